// A bounded soak of the bridge through the fake VM: load-and-unload cycles
// of the scripted module, then a long run of forwarded calls of each kind,
// with the process's resident memory and open handles read before (after a
// warm-up) and after each phase. Fails when either grew beyond a small fixed
// bound, when a call gave another answer than the contract's, when a cycle
// did not really unload the module, or when the VM saw misuse.
//
//   bridge_soak [--cycles N] [--calls N]     (defaults 10000 and 1000000)
//
// The fake VM keeps every object and call it saw until it is destroyed, and
// the probe records every module call, so both are renewed every batch:
// what stays is what the bridge, the module and the loader keep.
#include "bridge_under_test.hpp"
#include "fake_jvm.hpp"
#include "probe.h"
#include "process_usage.hpp"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using bridge_test::Bridge;

constexpr std::uint64_t kResidentBound = 4u << 20; // bytes
constexpr std::uint64_t kHandleBound = 4;
constexpr long kBatch = 10000; // calls per fake VM

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "bridge_soak: FAILED: %s\n", what.c_str());
    std::exit(1);
}

void check(bool condition, const char *kind, const char *what) {
    if (!condition)
        fail(std::string(kind) + ": " + what);
}

// Each batch runs on a fresh VM and must leave it clean.
void check_clean(const fakejvm::FakeVm &vm, const char *phase) {
    auto violations = vm.violations();
    if (!violations.empty() || vm.outstanding() != 0)
        fail(std::string(phase) + ": VM misuse: " + (violations.empty() ? "Get not released" : violations[0]));
}

bool load(Bridge &b, const char *path) {
    fakejvm::FakeVm vm;
    bool loaded = b.initializeLibrary(vm.env(), vm.klass(), vm.string(std::string(path))) != 0;
    check_clean(vm, "load");
    return loaded;
}

void unload(Bridge &b) {
    fakejvm::FakeVm vm;
    b.terminate(vm.env(), vm.klass());
}

// One kind of forwarded call: the module it needs in the slot (null for an
// empty slot), the probe script it runs under and `count` calls on one VM.
struct CallKind {
    const char *name;
    const char *module;
    void (*script)();
    void (*run)(Bridge &, fakejvm::FakeVm &, long count);
};

void no_script() {}

const CallKind kCallKinds[] = {
    {"numeric", SCRIPTED_MODULE_PATH, [] { probe_set_answer("getCreateGameOption", -123456789); },
     [](Bridge &b, fakejvm::FakeVm &vm, long count) {
         JNIEnv *env = vm.env();
         jclass cls = vm.klass();
         for (long i = 0; i < count; ++i)
             check(b.getCreateGameOption(env, cls, static_cast<jint>(i)) == -123456789, "numeric", "wrong value");
         check(probe_call_count() == static_cast<std::size_t>(count), "numeric", "module not called every time");
     }},
    {"bool8", SCRIPTED_MODULE_PATH, [] { probe_set_answer("submitAIMoveResult", 0xA7); },
     [](Bridge &b, fakejvm::FakeVm &vm, long count) {
         JNIEnv *env = vm.env();
         jclass cls = vm.klass();
         for (long i = 0; i < count; ++i)
             check(b.submitAIMoveResult(env, cls, 1, 2) == 0xA7, "bool8", "byte not passed on unchanged");
     }},
    {"string in", SCRIPTED_MODULE_PATH, no_script,
     [](Bridge &b, fakejvm::FakeVm &vm, long count) {
         JNIEnv *env = vm.env();
         jclass cls = vm.klass();
         jstring name = vm.string(std::u16string(u"Comp\u00E9ter \U0001F600"));
         for (long i = 0; i < count; ++i)
             b.setAIUsername(env, cls, name);
         check(probe_call_count() == static_cast<std::size_t>(count), "string in", "module not called every time");
         check(std::strcmp(probe_call(0), "setAIUsername(Comp\xC3\xA9ter \xED\xA0\xBD\xED\xB8\x80)") == 0, "string in",
               "text did not arrive in modified UTF-8");
     }},
    {"string out", SCRIPTED_MODULE_PATH, [] { probe_set_text("getPublicName", "Computer \xC3\xA9\xC0\x80"); },
     [](Bridge &b, fakejvm::FakeVm &vm, long count) {
         JNIEnv *env = vm.env();
         jclass cls = vm.klass();
         for (long i = 0; i < count; ++i) {
             jstring name = b.getPublicName(env, cls);
             check(name && vm.modified_utf8(name) == "Computer \xC3\xA9\xC0\x80", "string out", "wrong text");
         }
     }},
    {"move out", SCRIPTED_MODULE_PATH,
     [] {
         const std::uint8_t bytes[5] = {1, 200, 3, 4, 0};
         probe_set_move(bytes, 0x1F);
     },
     [](Bridge &b, fakejvm::FakeVm &vm, long count) {
         JNIEnv *env = vm.env();
         jclass cls = vm.klass();
         jbyteArray move = vm.bytes({9, 9, 9, 9, 9, 77});
         const std::vector<std::int8_t> expected{1, -56, 3, 4, 0, 77};
         for (long i = 0; i < count; ++i) {
             b.getAIMove(env, cls, move);
             check(vm.contents(move) == expected, "move out", "elements other than the move's changed");
         }
     }},
    {"move in", SCRIPTED_MODULE_PATH,
     [] {
         const std::uint8_t bytes[5] = {0, 0, 0, 0, 201};
         probe_set_move(bytes, 0x10);
         probe_set_answer("illegalMove", 1);
     },
     [](Bridge &b, fakejvm::FakeVm &vm, long count) {
         JNIEnv *env = vm.env();
         jclass cls = vm.klass();
         jbyteArray move = vm.bytes({10, 20, 30, 40, 50, 60});
         const std::vector<std::int8_t> expected{10, 20, 30, 40, -55, 60};
         for (long i = 0; i < count; ++i) {
             check(b.illegalMove(env, cls, move) == 1, "move in", "wrong answer");
             check(vm.contents(move) == expected, "move in", "bytes the module did not write changed");
         }
     }},
    {"missing export", PARTIAL_MODULE_PATH, no_script,
     [](Bridge &b, fakejvm::FakeVm &vm, long count) {
         JNIEnv *env = vm.env();
         jclass cls = vm.klass();
         jstring text = vm.string(std::string("text"));
         for (long i = 0; i < count; ++i) {
             check(!b.setSkillLevel(env, cls, 3), "missing export", "not the default");
             check(b.getPublicName(env, cls) == nullptr, "missing export", "not null");
             b.setAIUsername(env, cls, text);
         }
         check(vm.calls().empty(), "missing export", "the VM was touched on a default path");
     }},
    {"empty slot", nullptr, no_script,
     [](Bridge &b, fakejvm::FakeVm &vm, long count) {
         JNIEnv *env = vm.env();
         jclass cls = vm.klass();
         jbyteArray move = vm.bytes({5, 5, 5, 5, 5});
         for (long i = 0; i < count; ++i) {
             check(!b.createGame(env, cls), "empty slot", "not false");
             check(b.getAISetupPiece(env, cls, 1, 2) == -1, "empty slot", "not -1");
             b.getAIMove(env, cls, move);
         }
         check(vm.calls().empty(), "empty slot", "the VM was touched on a default path");
     }},
};

void run_calls(Bridge &b, const CallKind &kind, long count) {
    if (kind.module && !load(b, kind.module))
        fail(std::string(kind.name) + ": cannot load " + kind.module);
    for (long done = 0; done < count; done += kBatch) {
        probe_reset();
        kind.script();
        auto vm = std::make_unique<fakejvm::FakeVm>();
        kind.run(b, *vm, std::min(kBatch, count - done));
        check_clean(*vm, kind.name);
    }
    probe_reset();
    unload(b);
}

void run_cycles(Bridge &b, long cycles) {
    fakejvm::FakeVm vm;
    JNIEnv *env = vm.env();
    jclass cls = vm.klass();
    jstring path = vm.string(std::string(SCRIPTED_MODULE_PATH));
    const int loads = probe_loads(), unloads = probe_unloads();
    for (long i = 0; i < cycles; ++i) {
        check(b.initializeLibrary(env, cls, path) == JNI_TRUE, "cycles", "initializeLibrary failed");
        b.terminate(env, cls);
        // The module's terminate is recorded; keep the record from growing.
        if (i % kBatch == kBatch - 1)
            probe_reset();
    }
    check_clean(vm, "cycles");
    check(probe_loads() - loads == cycles && probe_unloads() - unloads == cycles, "cycles",
          "the loader did not map and unmap the module once per cycle");
    probe_reset();
}

double mib(std::int64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

struct Meter {
    soak::ProcessUsage baseline;
    std::chrono::steady_clock::time_point phase_start = std::chrono::steady_clock::now();
    bool over = false;

    void start() {
        baseline = soak::current_usage();
        std::printf("baseline after warm-up: resident %.2f MiB, handles %llu\n", mib(baseline.resident_bytes),
                    static_cast<unsigned long long>(baseline.open_handles));
        // A process always holds some: none means the platform does not
        // count them (Wine's GetProcessHandleCount), and that bound holds
        // trivially.
        if (baseline.open_handles == 0)
            std::printf("note: this platform reports no open handles; only resident memory is bounded here\n");
        phase_start = std::chrono::steady_clock::now();
    }
    // Figures of a phase, against the baseline.
    void report(const std::string &phase) {
        auto now = std::chrono::steady_clock::now();
        soak::ProcessUsage usage = soak::current_usage();
        auto resident = static_cast<std::int64_t>(usage.resident_bytes - baseline.resident_bytes);
        auto handles = static_cast<std::int64_t>(usage.open_handles) - static_cast<std::int64_t>(baseline.open_handles);
        std::printf("%-34s resident %.2f MiB (%+.2f), handles %llu (%+lld), %.1f s\n", phase.c_str(),
                    mib(usage.resident_bytes), mib(resident), static_cast<unsigned long long>(usage.open_handles),
                    static_cast<long long>(handles), std::chrono::duration<double>(now - phase_start).count());
        std::fflush(stdout);
        if (resident > static_cast<std::int64_t>(kResidentBound) || handles > static_cast<std::int64_t>(kHandleBound))
            over = true;
        phase_start = std::chrono::steady_clock::now();
    }
};

long count_argument(int argc, char **argv, int &i) {
    if (i + 1 >= argc)
        fail(std::string(argv[i]) + " needs a count");
    char *end = nullptr;
    long value = std::strtol(argv[++i], &end, 10);
    if (!*argv[i] || *end || value < 1)
        fail(std::string("not a positive count: ") + argv[i]);
    return value;
}

} // namespace

int main(int argc, char **argv) {
    long cycles = 10000, calls = 1000000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cycles") == 0)
            cycles = count_argument(argc, argv, i);
        else if (std::strcmp(argv[i], "--calls") == 0)
            calls = count_argument(argc, argv, i);
        else
            fail(std::string("unknown argument ") + argv[i] + " (usage: bridge_soak [--cycles N] [--calls N])");
    }
    Bridge &b = bridge_test::bridge();
    if (!b.missing.empty())
        fail("native methods not exported: " + b.missing);

    // Everything once on a small scale first: the loader's caches, the
    // allocator's pools and the lazily bound functions settle here.
    run_cycles(b, std::min(cycles, 200L));
    for (const CallKind &kind : kCallKinds)
        run_calls(b, kind, std::min(calls, 2 * kBatch));

    Meter meter;
    meter.start();
    run_cycles(b, cycles);
    meter.report(std::to_string(cycles) + " load/terminate cycles");
    for (const CallKind &kind : kCallKinds) {
        run_calls(b, kind, calls);
        meter.report(std::to_string(calls) + " calls, " + kind.name);
    }
    if (meter.over) {
        std::fprintf(stderr, "bridge_soak: FAILED: growth beyond the bounds (resident +%.0f MiB, handles +%llu)\n",
                     mib(kResidentBound), static_cast<unsigned long long>(kHandleBound));
        return 1;
    }
    std::printf("bridge_soak: passed (bounds: resident +%.0f MiB, handles +%llu)\n", mib(kResidentBound),
                static_cast<unsigned long long>(kHandleBound));
    return 0;
}
