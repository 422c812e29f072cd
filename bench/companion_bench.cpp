// The cost of a call through the companion process against the same call
// in-process: a forwarded numeric call (setSkillLevel) and a text call
// (getPublicName), through the fake VM, and for scale the channel's bare
// round trip (one byte to a child process over a socket pair and back).
// The companion here is of the bridge's own width (a build for
// measurements), so the figures are native; a 32-bit module's companion
// costs the same where the kernel runs it natively.
//
//   companion_bench [calls]        (default 200000)
//
// Prints microseconds per call; fails only when an answer is wrong.
#include "bridge_under_test.hpp"
#include "fake_jvm.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using clock_type = std::chrono::steady_clock;
constexpr long batch = 10000; // calls per fake VM, which keeps what it hands out

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "companion_bench: %s\n", what.c_str());
    std::exit(1);
}

// Microseconds per call of `call(bridge, vm)` over `calls` calls.
template <class Call> double per_call(bridge_test::Bridge &b, long calls, Call call) {
    const auto start = clock_type::now();
    for (long done = 0; done < calls; done += batch) {
        fakejvm::FakeVm vm;
        for (long i = 0; i < batch && done + i < calls; ++i)
            call(b, vm);
    }
    return std::chrono::duration<double, std::micro>(clock_type::now() - start).count() / calls;
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

// One byte to a child and back over a socket pair, `count` times.
double round_trip(long count) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0)
        fail("socketpair");
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        char byte;
        while (read(ends[1], &byte, 1) == 1 && write(ends[1], &byte, 1) == 1) {
        }
        _exit(0);
    }
    close(ends[1]);
    const auto start = clock_type::now();
    char byte = 1;
    for (long i = 0; i < count; ++i)
        if (write(ends[0], &byte, 1) != 1 || read(ends[0], &byte, 1) != 1)
            fail("round trip");
    const double micros = std::chrono::duration<double, std::micro>(clock_type::now() - start).count() / count;
    close(ends[0]);
    waitpid(child, nullptr, 0);
    return micros;
}

} // namespace

int main(int argc, char **argv) {
    const long calls = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 200000;
    if (calls < 1)
        fail("usage: companion_bench [calls]");
    bridge_test::Bridge in_process(IN_PROCESS_BRIDGE), companion(COMPANION_BRIDGE);
    if (!in_process.missing.empty() || !companion.missing.empty())
        fail("a bridge lacks native methods");
    std::printf("%-44s %12s %12s\n", "call", "in-process", "companion");
    struct Row {
        const char *name;
        double (*measure)(bridge_test::Bridge &, long);
    };
    const Row rows[] = {
        {"setSkillLevel(3), numeric, us/call",
         [](bridge_test::Bridge &b, long n) {
             return per_call(b, n, [](bridge_test::Bridge &b, fakejvm::FakeVm &vm) {
                 if (b.setSkillLevel(vm.env(), vm.klass(), 3) != JNI_TRUE)
                     fail("setSkillLevel answered false");
             });
         }},
        {"getPublicName(), text, us/call",
         [](bridge_test::Bridge &b, long n) {
             return per_call(b, n, [](bridge_test::Bridge &b, fakejvm::FakeVm &vm) {
                 jstring name = b.getPublicName(vm.env(), vm.klass());
                 if (!name || vm.modified_utf8(name) != "Quiet benchmark module")
                     fail("getPublicName answered another text");
             });
         }},
        {"setMoveTimeLimit(5), not exported, us/call",
         [](bridge_test::Bridge &b, long n) {
             return per_call(b, n, [](bridge_test::Bridge &b, fakejvm::FakeVm &vm) {
                 if (b.setMoveTimeLimit(vm.env(), vm.klass(), 5) != JNI_FALSE)
                     fail("setMoveTimeLimit answered true");
             });
         }},
    };
    load(in_process);
    load(companion);
    for (const Row &row : rows)
        std::printf("%-44s %12.3f %12.3f\n", row.name, row.measure(in_process, calls), row.measure(companion, calls));
    unload(in_process);
    unload(companion);
    std::printf("%-44s %12s %12.3f\n", "bare round trip over a socket pair, us", "", round_trip(calls));
    return 0;
}
