#include "endpoint.hpp"

#include <algorithm>

namespace vantrell::channel {
namespace {

// A sleeping side wakes this often to see whether the other side is still
// there (a process that dies wakes nobody).
constexpr std::chrono::milliseconds sleep_slice{10};
// How often the spin looks at the clock and yields: about a microsecond of
// pauses.
constexpr unsigned pauses_between_yields = 16;

} // namespace

Endpoint::Endpoint(SharedArea &area, bool bridge_side, PeerLink &link, std::chrono::microseconds spin)
    : incoming_signal_(bridge_side ? area.reply_signal : area.request_signal),
      outgoing_signal_(bridge_side ? area.request_signal : area.reply_signal),
      incoming_(bridge_side ? area.reply : area.request), outgoing_(bridge_side ? &area.request : &area.reply),
      link_(link), spin_(spin) {}

void Endpoint::publish(std::uint32_t sequence) {
    // Sequentially consistent on both sides: of this store and the reader's
    // store to `sleeping`, each side sees the other's, so a reader that
    // went to sleep is always woken.
    outgoing_signal_.sequence.store(sequence);
    if (outgoing_signal_.sleeping.load())
        link_.wake(outgoing_signal_.sequence);
}

Endpoint::Wait Endpoint::wait(std::uint32_t sequence, std::optional<Clock::time_point> deadline) {
    // The word moves from the number before to `sequence`, and to nothing
    // else.
    auto look = [&](std::uint32_t seen) {
        return seen == sequence ? Wait::ready : seen == sequence - 1 ? Wait::timed_out : Wait::gone;
    };
    const auto spin_until = Clock::now() + spin_;
    for (unsigned pauses = 1;; ++pauses) {
        const Wait now = look(incoming_signal_.sequence.load(std::memory_order_acquire));
        if (now != Wait::timed_out)
            return now;
        pause_processor();
        if (pauses % pauses_between_yields == 0) {
            if (Clock::now() >= spin_until)
                break;
            yield_processor();
        }
    }
    incoming_signal_.sleeping.store(1);
    Wait result = Wait::timed_out;
    for (;;) {
        const std::uint32_t seen = incoming_signal_.sequence.load();
        result = look(seen);
        if (result != Wait::timed_out)
            break;
        auto slice = sleep_slice;
        if (deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left.count() <= 0)
                break;
            slice = std::min(slice, left + std::chrono::milliseconds(1));
        }
        if (!link_.sleep(incoming_signal_.sequence, seen, slice)) {
            // Gone, unless its last act was to answer.
            result = look(incoming_signal_.sequence.load()) == Wait::ready ? Wait::ready : Wait::gone;
            break;
        }
    }
    incoming_signal_.sleeping.store(0);
    return result;
}

bool Endpoint::take(std::uint32_t sequence, Header &header) {
    header = incoming_.header;
    if (header.sequence != sequence || header.length > payload_capacity)
        return false;
    if (copy_.size() < header.length)
        copy_.resize(header.length);
    std::copy_n(incoming_.payload, header.length, copy_.data());
    copy_length_ = header.length;
    return true;
}

} // namespace vantrell::channel
