// One side of the shared area: it writes its outgoing messages and waits for
// the other side's. A message is published by setting its direction's
// sequence word; the reader spins for it a while (pausing, and yielding the
// processor about every microsecond, so that on a machine of two processors
// the writer is not kept from running), then sleeps on the word until the
// writer wakes it, which the writer does only when the reader said it sleeps.
// A side that sleeps checks between its slices of sleep that the other side
// is still there.
#pragma once

#include "peer_link.hpp"
#include "protocol.hpp"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace vantrell::channel {

using Clock = std::chrono::steady_clock;

class Endpoint {
public:
    // `bridge_side`: this side writes requests and reads replies (else the
    // reverse). `spin`: how long to spin for a message before sleeping;
    // `slice`: how long to sleep before looking whether the other side is
    // still there (a process that ends wakes nobody).
    Endpoint(SharedArea &area, bool bridge_side, PeerLink &link, std::chrono::microseconds spin,
             std::chrono::milliseconds slice);

    // The message to fill, then publish() under the next sequence number.
    Message &outgoing() { return outgoing_; }
    void publish(std::uint32_t sequence);

    enum class Wait { ready, gone, timed_out };
    // Waits until the other side has published `sequence`, it is gone (or
    // published a number that is neither that nor the one before it), or
    // `deadline` has passed. Then take() copies the message out.
    Wait wait(std::uint32_t sequence, std::optional<Clock::time_point> deadline = std::nullopt);

    // The incoming message's header and payload, copied out of the shared
    // area once (the other side may change it at any moment): false when
    // its header does not carry `sequence` or its length is over
    // payload_capacity. The payload stays in this endpoint until the next
    // take().
    bool take(std::uint32_t sequence, Header &header);
    PayloadReader payload() const { return PayloadReader(copy_.data(), copy_length_); }

private:
    Message &incoming_;
    Sleeper &incoming_sleeper_;
    Message &outgoing_;
    Sleeper &outgoing_sleeper_;
    PeerLink &link_;
    std::chrono::microseconds spin_;
    std::chrono::milliseconds slice_;
    std::vector<unsigned char> copy_;
    std::uint32_t copy_length_ = 0;
};

} // namespace vantrell::channel
