// What companion_bench measures of the platform itself: the bare round
// trips between two processes that the companion's channel is made of, and
// the processor time of this program's children (the companion).
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct RoundTrip {
    std::string name;
    double median_us;
};

// Each kind of round trip, `count` times, with a child process of its own
// (on Windows this program again, started by `self`).
std::vector<RoundTrip> round_trips(const char *self, long count);

// True when this program was started as a round trip's child, which it has
// then served.
bool serve_round_trips(int argc, char **argv);

// The processor time, in milliseconds, that this program's child processes
// use while this program sleeps for `seconds`.
double children_processor_ms_while_idle(int seconds);

// What both platforms' round trips are made of: the two words a ping and
// its pong cross in (each on a cache line of its own), and the median of
// their times.
using Clock = std::chrono::steady_clock;
struct alignas(64) Word {
    std::atomic<std::uint32_t> value;
};
struct Shared {
    Word ping, pong;
};
inline double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

} // namespace bench
