// The bridge's side of a companion (channel/protocol.hpp): requests out,
// and each reply checked before a byte of it is believed. A companion that
// does not answer, answers another request, or answers with a payload its
// request does not allow is lost: the caller drops it. One request at a
// time: the caller serialises them (module_slot); ending it is allowed
// from any thread at any moment.
#pragma once

#include "companion_process.hpp"
#include "endpoint.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vantrell {

// The payload of a request that carries none (hello, probe, unload).
inline constexpr auto no_payload = [](channel::PayloadWriter &) { return true; };

class Companion {
public:
    // Starts the companion for `bits`-bit modules (sandboxed: see
    // CompanionProcess) and has it say hello within a bounded time; null
    // when it did not. Shared by whoever uses it: the last owner ends and
    // reaps it.
    static std::shared_ptr<Companion> start(int bits, bool sandboxed);

    enum class Outcome { answered, not_sent, lost };
    struct Reply {
        Outcome outcome;
        channel::Status status;
    };
    // Sends a request whose payload `write` puts into a PayloadWriter
    // (not_sent, and nothing sent, when it cannot: a text over the limit),
    // waits for the reply (until `deadline`, else as long as the companion
    // lives) and checks its sequence, kind, index and status. The reply's
    // payload is then payload().
    template <class Write>
    Reply ask(channel::Kind kind, std::uint8_t index, std::uint32_t module, Write &&write,
              std::optional<channel::Clock::time_point> deadline = std::nullopt) {
        channel::Message &request = endpoint_.outgoing();
        channel::PayloadWriter writer(request);
        if (!write(writer) || !writer.ok())
            return {Outcome::not_sent, channel::Status::failed};
        request.header = channel::Header{next_, kind, index, {}, 0, module, writer.length()};
        return exchange(deadline);
    }
    channel::PayloadReader payload() const { return endpoint_.payload(); }
    // Room for a text answer, kept from call to call so that a text call
    // allocates nothing once the longest text has been seen.
    std::string &text_buffer() { return text_; }
    channel::Header reply_header() const { return reply_; }

    // Whether it may still be alive: a companion that ended since its last
    // answer is found out here, before a request is wasted on it.
    bool alive() { return process_->link().peer_alive(); }

    // From any thread, while another may wait for a reply: ends the
    // companion and all it started (that wait then ends, lost).
    void end() noexcept { process_->end(); }
    // Tells it that the host is leaving: it ends by itself, its modules'
    // output written, unless a module call keeps it.
    void say_host_is_leaving() noexcept { process_->link().say_leaving(); }
    bool wait_for_end(std::chrono::milliseconds limit) noexcept { return process_->wait_for_end(limit); }

private:
    explicit Companion(std::unique_ptr<platform::CompanionProcess> process);
    Reply exchange(std::optional<channel::Clock::time_point> deadline);

    std::unique_ptr<platform::CompanionProcess> process_;
    channel::Endpoint endpoint_;
    std::uint32_t next_ = 1;
    channel::Header reply_{};
    std::string text_;
};

} // namespace vantrell
