#include "endpoint.hpp"

#include <algorithm>

namespace vantrell::channel {
namespace {

// How often the spin looks at the clock and yields: about a microsecond of
// pauses.
constexpr unsigned pauses_between_yields = 16;
// How long the spin keeps the processor before it starts yielding: a quick
// answer comes within it, and a yield (a system call, a microsecond on a
// virtual machine) would only delay it; a slow one comes while the spin
// lets others run.
constexpr std::chrono::microseconds quiet_spin{3};

} // namespace

Endpoint::Endpoint(SharedArea &area, bool bridge_side, PeerLink &link, std::chrono::microseconds spin,
                   std::chrono::milliseconds slice)
    : incoming_(bridge_side ? area.reply : area.request),
      incoming_sleeper_(bridge_side ? area.reply_sleeper : area.request_sleeper),
      outgoing_(bridge_side ? area.request : area.reply),
      outgoing_sleeper_(bridge_side ? area.request_sleeper : area.reply_sleeper), link_(link), spin_(spin),
      slice_(slice) {}

void Endpoint::publish(std::uint32_t sequence) {
    // Sequentially consistent on both sides: of this store and the reader's
    // store to `sleeping`, each side sees the other's, so a reader that
    // went to sleep is always woken.
    outgoing_.sequence.store(sequence);
    if (outgoing_sleeper_.sleeping.load())
        link_.wake(outgoing_.sequence);
}

Endpoint::Wait Endpoint::wait(std::uint32_t sequence, std::optional<Clock::time_point> deadline) {
    // The word moves from the number before to `sequence`, and to nothing
    // else.
    auto look = [&](std::uint32_t seen) {
        return seen == sequence ? Wait::ready : seen == sequence - 1 ? Wait::timed_out : Wait::gone;
    };
    const auto start = Clock::now();
    const auto yield_from = start + quiet_spin;
    const auto spin_until = start + spin_;
    for (unsigned pauses = 1;; ++pauses) {
        const Wait now = look(incoming_.sequence.load(std::memory_order_acquire));
        if (now != Wait::timed_out)
            return now;
        pause_processor();
        if (pauses % pauses_between_yields == 0) {
            const auto time = Clock::now();
            if (time >= spin_until)
                break;
            if (time >= yield_from)
                yield_processor();
        }
    }
    incoming_sleeper_.sleeping.store(1);
    Wait result = Wait::timed_out;
    for (;;) {
        const std::uint32_t seen = incoming_.sequence.load();
        result = look(seen);
        if (result != Wait::timed_out)
            break;
        auto slice = slice_;
        if (deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left.count() <= 0)
                break;
            slice = std::min(slice, left + std::chrono::milliseconds(1));
        }
        if (!link_.sleep(incoming_.sequence, seen, slice)) {
            // Gone, unless its last act was to answer.
            result = look(incoming_.sequence.load()) == Wait::ready ? Wait::ready : Wait::gone;
            break;
        }
    }
    incoming_sleeper_.sleeping.store(0);
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
