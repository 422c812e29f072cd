#include "companion.hpp"

namespace vantrell {
namespace {

using namespace std::chrono_literals;
using channel::Kind;
using channel::Status;

// How long the bridge spins for an answer before it sleeps: a module's
// quick answer is there before the bridge has given up the processor.
constexpr auto spin_for_answers = 200us;
// How soon a sleeping bridge finds out that its companion has ended.
constexpr auto look_for_an_end = 10ms;
// How long a companion may take to start and say hello (one started under
// an emulator takes a second or so).
constexpr auto start_limit = 30s;

// The statuses each kind of request may be answered with.
bool allowed(Kind kind, Status status) {
    switch (kind) {
    case Kind::hello: return status == Status::ok;
    case Kind::load: return status == Status::ok || status == Status::failed;
    case Kind::probe: return status == Status::ok || status == Status::missing;
    case Kind::call: return status == Status::ok || status == Status::missing || status == Status::too_long;
    case Kind::unload: return status == Status::ok;
    }
    return false;
}

} // namespace

Companion::Companion(std::unique_ptr<platform::CompanionProcess> process)
    : process_(std::move(process)),
      endpoint_(process_->area(), true, process_->link(), spin_for_answers, look_for_an_end) {}

std::shared_ptr<Companion> Companion::start(int bits, bool sandboxed) {
    auto process = platform::CompanionProcess::start(bits, sandboxed);
    if (!process)
        return nullptr;
    std::shared_ptr<Companion> companion(new Companion(std::move(process)));
    const Reply hello = companion->ask(Kind::hello, 0, 0, no_payload, channel::Clock::now() + start_limit);
    std::uint32_t version = 0;
    channel::PayloadReader answer = companion->payload();
    if (hello.outcome != Outcome::answered || !answer.get(version) || !answer.done() ||
        version != channel::protocol_version)
        return nullptr;
    return companion;
}

Companion::Reply Companion::exchange(std::optional<channel::Clock::time_point> deadline) {
    const channel::Header request = endpoint_.outgoing().header;
    endpoint_.publish(next_);
    const std::uint32_t sequence = next_++;
    if (endpoint_.wait(sequence, deadline) != channel::Endpoint::Wait::ready || !endpoint_.take(sequence, reply_) ||
        reply_.kind != request.kind || reply_.index != request.index || !allowed(request.kind, reply_.status) ||
        (reply_.status != Status::ok && reply_.length != 0))
        return {Outcome::lost, Status::failed};
    return {Outcome::answered, reply_.status};
}

} // namespace vantrell
