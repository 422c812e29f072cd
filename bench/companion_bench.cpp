// The cost of a call through the companion process against the same call
// in-process, through the fake VM: a numeric call (setSkillLevel), a text
// call (getPublicName) and a move call (getAIMove), in a burst and spaced by
// 100 us and 1 ms of host work; the companion's processor time while the
// host is idle; and for reference the bare round trips between two processes
// of this machine: shared memory with both sides spinning (the limit), the
// platform's sleep and wake (futex / events), and a socket pair / two pipes.
// The bridge is the one built for isolation, with the companion of its own
// width beside it, so the figures are native (or all under Wine).
//
//   companion_bench [calls]        (default 200000; a tenth of them spaced)
//
// Prints medians in microseconds; fails only when an answer is wrong.
#include "bench_round_trips.hpp"
#include "bridge_under_test.hpp"
#include "fake_jvm.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using bench::Clock;
using bench::median;
constexpr long batch = 10000; // calls per fake VM, which keeps what it hands out

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "companion_bench: %s\n", what.c_str());
    std::exit(1);
}

// The host's work between two calls: its thread busy for `gap`, while the
// companion waits.
void work_for(std::chrono::microseconds gap) {
    const auto until = Clock::now() + gap;
    while (Clock::now() < until) {
    }
}

// The median microseconds of `call(bridge, vm)` over `calls` calls, each
// after `gap`. Without a gap, calls are timed a hundred at a time (the
// clock would weigh on an in-process call).
template <class Call> double median_call(bridge_test::Bridge &b, long calls, std::chrono::microseconds gap, Call call) {
    const long group = gap.count() > 0 ? 1 : 100;
    std::vector<double> times;
    for (long done = 0; done < calls; done += batch) {
        fakejvm::FakeVm vm;
        for (long i = 0; i < batch && done + i < calls; i += group) {
            work_for(gap);
            const auto start = Clock::now();
            for (long k = 0; k < group; ++k)
                call(b, vm);
            times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / group);
        }
    }
    return median(times);
}

void load(bridge_test::Bridge &b) {
    fakejvm::FakeVm vm;
    if (!b.initializeLibrary(vm.env(), vm.klass(), vm.string(std::string(MODULE))))
        fail("cannot load " + std::string(MODULE));
}

void unload(bridge_test::Bridge &b) {
    fakejvm::FakeVm vm;
    b.terminate(vm.env(), vm.klass());
}

struct Row {
    const char *name;
    void (*call)(bridge_test::Bridge &, fakejvm::FakeVm &);
};

const Row rows[] = {
    {"setSkillLevel(3), numeric",
     [](bridge_test::Bridge &b, fakejvm::FakeVm &vm) {
         if (b.setSkillLevel(vm.env(), vm.klass(), 3) != JNI_TRUE)
             fail("setSkillLevel answered false");
     }},
    {"getPublicName(), text",
     [](bridge_test::Bridge &b, fakejvm::FakeVm &vm) {
         jstring name = b.getPublicName(vm.env(), vm.klass());
         if (!name || vm.modified_utf8(name) != "Quiet benchmark module")
             fail("getPublicName answered another text");
     }},
    {"getAIMove(move), move",
     [](bridge_test::Bridge &b, fakejvm::FakeVm &vm) {
         jbyteArray move = vm.bytes({0, 0, 0, 0, 0});
         b.getAIMove(vm.env(), vm.klass(), move);
         if (vm.contents(move)[0] != 1)
             fail("getAIMove wrote another move");
     }},
};

} // namespace

int main(int argc, char **argv) {
    if (argc > 1 && bench::serve_round_trips(argc, argv))
        return 0;
    const long calls = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 200000;
    if (calls < 100)
        fail("usage: companion_bench [calls, at least 100]");
    bridge_test::Bridge in_process(IN_PROCESS_BRIDGE), companion(COMPANION_BRIDGE);
    if (!in_process.missing.empty() || !companion.missing.empty())
        fail("a bridge lacks native methods");
    load(in_process);
    load(companion);
    using std::chrono::microseconds;
    std::printf("%-26s %11s %11s %14s %12s\n", "median us per call", "in-process", "companion,", "companion,",
                "companion,");
    std::printf("%-26s %11s %11s %14s %12s\n", "", "", "burst", "100 us apart", "1 ms apart");
    for (const Row &row : rows) {
        const double own = median_call(in_process, calls, microseconds(0), row.call);
        const double burst = median_call(companion, calls, microseconds(0), row.call);
        const double spaced = median_call(companion, calls / 10, microseconds(100), row.call);
        const double apart = median_call(companion, calls / 100, microseconds(1000), row.call);
        std::printf("%-26s %11.3f %11.3f %14.3f %12.3f\n", row.name, own, burst, spaced, apart);
    }
    const double idle_ms = bench::children_processor_ms_while_idle(2);
    std::printf("the companion's processor time while the host is idle for 2 s: %.1f ms\n", idle_ms);
    unload(in_process);
    unload(companion);
    std::printf("bare round trips between two processes, median us:\n");
    for (const bench::RoundTrip &trip : bench::round_trips(argv[0], calls / 4))
        std::printf("  %-44s %10.3f\n", trip.name.c_str(), trip.median_us);
    return 0;
}
