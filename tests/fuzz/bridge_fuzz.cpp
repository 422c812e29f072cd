// libFuzzer target: the bridge's exported JNI functions driven through the
// fake VM by a program read from the fuzz input. Each input is a sequence of
// operations (see Op below; tests/fuzz/make_corpus.py writes inputs in the
// same encoding): calls of any native method with any arguments, loads of
// good and bad module paths, terminate, the scripted module's answers, and
// VM refusals. A model of the bridge's state (the slot, the loader's counts
// of each module, the bridge's move buffer, the VM's refusals) predicts what
// each call must do; after every call the harness checks:
//
//   - the VM saw no misuse and every Get was released within the call;
//   - a default answer touched nothing of the VM, and otherwise each borrowed
//     argument was taken exactly once;
//   - an exception is pending only after a refusal, and it is the VM's own;
//   - the module was called exactly when the contract says, with the host's
//     arguments as the module must see them;
//   - the answer is the contract's: the default, or the module's answer
//     converted (int32 truth judged on all 32 bits, bool8 byte unchanged,
//     values unchanged, text as a new string of the same modified UTF-8);
//   - the host's byte arrays changed only in elements 0-4 and only where the
//     module's move reaches them;
//   - loads and unloads of the module files happened as the loader counts.
//
// A broken expectation prints what differed and aborts.
#include "ai_module_list.h"
#include "bridge_under_test.hpp"
#include "fake_jvm.hpp"
#include "probe.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using bridge_test::Bridge;

[[noreturn]] void broken(const std::string &what) {
    std::fprintf(stderr, "bridge_fuzz: broken invariant: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

void expect(bool condition, const std::string &what) {
    if (!condition)
        broken(what);
}

// BRIDGE_FUZZ_TRACE=1 in the environment lists each operation as it runs,
// for reading what a failing input does.
void trace(const std::string &operation) {
    static const bool on = std::getenv("BRIDGE_FUZZ_TRACE") != nullptr;
    if (on)
        std::fprintf(stderr, "bridge_fuzz: %s\n", operation.c_str());
}

// ---------------------------------------------------------------------------
// Text as the VM and the module see it.

// The JNI's modified UTF-8: U+0000 as C0 80, every surrogate on its own.
std::string modified_utf8(const std::u16string &units) {
    std::string out;
    for (char16_t u : units) {
        if (u != 0 && u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

// Any UTF-16: ASCII (NUL included), lone high or low surrogates, any unit;
// now and then repeated into a long text.
std::u16string consume_utf16(FuzzedDataProvider &data) {
    std::u16string units;
    const auto length = data.ConsumeIntegralInRange<std::uint8_t>(0, 64);
    for (unsigned i = 0; i < length; ++i) {
        const auto selector = data.ConsumeIntegral<std::uint8_t>();
        if (selector < 0x80)
            units += static_cast<char16_t>(selector);
        else if (selector < 0xA0)
            units += static_cast<char16_t>(0xD800 | (data.ConsumeIntegral<std::uint16_t>() & 0x3FF));
        else if (selector < 0xC0)
            units += static_cast<char16_t>(0xDC00 | (data.ConsumeIntegral<std::uint16_t>() & 0x3FF));
        else
            units += static_cast<char16_t>(data.ConsumeIntegral<std::uint16_t>());
    }
    if (data.ConsumeIntegralInRange<std::uint8_t>(0, 15) == 15) {
        std::u16string repeated;
        for (int i = 0; i < 1000; ++i)
            repeated += units;
        units = repeated;
    }
    return units;
}

// ---------------------------------------------------------------------------
// The modules and paths the fuzzer loads.

enum class Module { None, Scripted, ScriptedCopy, Partial };

struct Files {
    fs::path work;
    std::u16string scripted, scripted_copy, partial, directory, not_a_library, foreign_arch, missing;

    Files() {
        work = fs::temp_directory_path() / ("bridge_fuzz-" + std::to_string(std::random_device{}()));
        fs::create_directories(work);
        scripted = fs::path(SCRIPTED_MODULE_PATH).u16string();
        partial = fs::path(PARTIAL_MODULE_PATH).u16string();
        // A copy in a folder named with a two-, a three- and a four-byte
        // character: a different file to the loader, with counts of its own.
        fs::path folder = work / fs::path(u"m\u00F3dulo-\u6F22-\U0001F600");
        fs::create_directories(folder);
        fs::path copy = folder / fs::path(SCRIPTED_MODULE_PATH).filename();
        fs::copy_file(SCRIPTED_MODULE_PATH, copy, fs::copy_options::overwrite_existing);
        scripted_copy = copy.u16string();
        directory = work.u16string();
        not_a_library = fs::path(NOT_A_LIBRARY_PATH).u16string();
        // An ELF header of a 32-bit x86 relocatable object: the loader reads
        // it as ELF and refuses the class.
        fs::path foreign = work / "foreign_arch.so";
        unsigned char header[52] = {0x7F, 'E', 'L', 'F', 1, 1, 1};
        header[16] = 1;  // ET_REL
        header[18] = 3;  // EM_386
        header[20] = 1;  // EV_CURRENT
        header[40] = 52; // e_ehsize
        std::ofstream(foreign, std::ios::binary).write(reinterpret_cast<const char *>(header), sizeof header);
        foreign_arch = foreign.u16string();
        // Nothing below a missing folder loads, whatever follows it ("..", a
        // bare library name): the path walk stops at the missing folder.
        missing = (work / "no-such-folder").u16string() + u"/";
    }
    ~Files() {
        std::error_code ignored;
        fs::remove_all(work, ignored);
    }
};

Files &files() {
    static Files instance;
    return instance;
}

// Which functions a module exports, and how its answers come about.
bool exports(Module module, const char *name) {
    switch (module) {
    case Module::None: return false;
    case Module::Scripted:
    case Module::ScriptedCopy: return true;
    case Module::Partial:
        for (const char *exported : {"createGame", "joinGame", "getCreateGameMode", "getCreateGameOption"})
            if (std::strcmp(name, exported) == 0)
                return true;
        return false;
    }
    return false;
}

bool scripted(Module module) { return module == Module::Scripted || module == Module::ScriptedCopy; }

// ---------------------------------------------------------------------------
// The model: what the bridge, the loader and the VM hold across calls.

struct Refusal { // mirrors the fake VM's own counting
    bool limited = false;
    std::size_t successes_left = 0;
    bool refuse() {
        if (!limited)
            return false;
        if (successes_left == 0)
            return true;
        --successes_left;
        return false;
    }
};

// Kept across inputs, as the bridge and the loader keep their state; the
// move buffer is brought back to zeros before each input (see reset_buffer)
// so that an input replayed alone meets the bridge as it met it here.
struct Persistent {
    Module slot = Module::None;
    std::map<Module, int> references; // the loader's count of each module file
    int loads = 0, unloads = 0;       // load notices the modules must have given
    std::array<std::uint8_t, AI_MOVE_SIZE> buffer{};
};

Persistent &state() {
    static Persistent instance;
    return instance;
}

class Run {
public:
    Run(Bridge &bridge, FuzzedDataProvider &data)
        : b(bridge), data(data), env(vm.env()), cls(vm.klass()), records(probe_call_count()) {}

    Bridge &b;
    FuzzedDataProvider &data;
    fakejvm::FakeVm vm;
    JNIEnv *env;
    jclass cls;
    Refusal string_chars, array_elements, new_strings;
    std::size_t records; // module calls recorded by the probe so far

    // After every operation: nothing misused or outstanding, the VM's own
    // exception when one was expected, the module's load notices.
    void check_after(const std::string &what, bool refusal_expected) {
        auto violations = vm.violations();
        if (!violations.empty())
            broken(what + ": VM misuse: " + violations.front());
        expect(vm.outstanding() == 0, what + ": a Get was not released within the call");
        if (refusal_expected) {
            expect(vm.exception_pending() && vm.exception_class() == "java/lang/OutOfMemoryError",
                   what + ": the VM's refusal should have left its OutOfMemoryError pending");
            vm.clear_exception(); // the host throws it and carries on
        } else {
            expect(!vm.exception_pending(), what + ": an exception is pending without a refusal: " +
                                                vm.exception_class() + " " + vm.exception_message());
        }
        expect(probe_loads() == state().loads && probe_unloads() == state().unloads,
               what + ": module loads/unloads " + std::to_string(probe_loads()) + "/" +
                   std::to_string(probe_unloads()) + ", expected " + std::to_string(state().loads) + "/" +
                   std::to_string(state().unloads));
        vm.clear_calls();
    }

    void expect_records(const std::string &what, const std::string *line) {
        const std::size_t now = probe_call_count();
        if (!line) {
            expect(now == records, what + ": the module was called, though it must not be");
            return;
        }
        expect(now == records + 1, what + ": the module was not called once");
        expect(*line == probe_call(records),
               what + ": the module saw \"" + probe_call(records) + "\", expected \"" + *line + "\"");
        records = now;
    }

    // JNI functions of one kind the native code called since clear_calls.
    std::size_t vm_calls(std::initializer_list<const char *> names) const {
        std::size_t count = 0;
        for (const std::string &call : vm.calls())
            for (const char *name : names)
                count += call == name;
        return count;
    }
};

// ---------------------------------------------------------------------------
// Loading and unloading, on the model as on the bridge.

void model_loaded(Module module) {
    Persistent &s = state();
    if (s.references[module]++ == 0)
        ++s.loads;
    s.slot = module;
}

void model_terminated() {
    Persistent &s = state();
    if (s.slot == Module::None)
        return;
    if (--s.references[s.slot] == 0)
        ++s.unloads;
    s.slot = Module::None;
}

void terminate(Run &run) {
    trace("terminate");
    const bool module_terminate = scripted(state().slot);
    run.b.terminate(run.env, run.cls);
    const std::string line = "terminate()";
    run.expect_records("terminate", module_terminate ? &line : nullptr);
    model_terminated();
    expect(run.vm.calls().empty(), "terminate touched the VM");
    run.check_after("terminate", false);
}

enum LoadKind : std::uint8_t {
    kScripted,
    kPartial,
    kScriptedCopy,
    kNull,
    kMissingFile,
    kDirectory,
    kNotALibrary,
    kForeignArch,
    kEmpty,
    kLongPath,
    kEmbeddedNul,
    kLoneSurrogate,
    kAnyUnderMissingFolder,
    kLoadKinds
};

void load(Run &run, LoadKind kind) {
    Files &f = files();
    std::u16string path;
    Module module = Module::None;
    switch (kind) {
    case kScripted: path = f.scripted, module = Module::Scripted; break;
    case kPartial: path = f.partial, module = Module::Partial; break;
    case kScriptedCopy: path = f.scripted_copy, module = Module::ScriptedCopy; break;
    case kNull: break;
    case kMissingFile: path = f.missing + u"libabsent.so"; break;
    case kDirectory: path = f.directory; break;
    case kNotALibrary: path = f.not_a_library; break;
    case kForeignArch: path = f.foreign_arch; break;
    case kEmpty: break;
    case kLongPath:
        for (int i = 0; i < 2500; ++i)
            path += u"/a";
        break;
    // Must not load the module named by the part before the NUL.
    case kEmbeddedNul: path = f.scripted + u'\0' + u"ignored"; break;
    case kLoneSurrogate: path = f.scripted + u'\xD800'; break;
    case kAnyUnderMissingFolder: path = f.missing + consume_utf16(run.data); break;
    case kLoadKinds: break;
    }
    jstring java_path = kind == kNull ? nullptr : run.vm.string(path);
    bool refused = false;
    if (java_path)
        refused = run.string_chars.refuse();
    const bool loads = java_path && !refused && module != Module::None;

    const std::string what = "initializeLibrary(kind " + std::to_string(kind) + ")";
    trace(what);
    const jboolean answer = run.b.initializeLibrary(run.env, run.cls, java_path);
    expect(answer == (loads ? JNI_TRUE : JNI_FALSE), what + ": answered " + std::to_string(answer));
    // Loading calls no module function, and a failed load empties the slot
    // without unloading what was there: the loader still counts it.
    run.expect_records(what, nullptr);
    if (loads)
        model_loaded(module);
    else
        state().slot = Module::None;
    expect(run.vm_calls({"GetStringChars", "GetStringUTFChars", "GetStringCritical"}) == (java_path ? 1u : 0u),
           what + ": the path's characters were not taken exactly once");
    run.check_after(what, refused);
}

// ---------------------------------------------------------------------------
// One forwarded call: each argument made from the fuzz data, the call's
// outcome predicted from the model, the call made and compared.

struct p_INT32 {};
struct p_FLAG {};
struct p_TEXT {};
struct p_MOVE_OUT {};
struct p_MOVE_IN {};

// What one call is expected to do, built up by its arguments.
struct Prediction {
    Run &run;
    const char *name;
    bool found;
    bool acquired = true;
    bool refused = false;
    std::size_t string_gets = 0, array_gets = 0, new_strings = 0;
    std::string line;

    Prediction(Run &run, const char *name) : run(run), name(name), found(exports(state().slot, name)) {
        line = std::string(name) + "(";
    }
    void record(const std::string &argument) {
        if (line.back() != '(')
            line += ',';
        line += argument;
    }
    bool called() const { return found && acquired; }
};

// The bytes the scripted module writes into a move record it is handed.
void apply_scripted_move(std::uint8_t *record) {
    std::uint8_t bytes[AI_MOVE_SIZE];
    const unsigned mask = probe_move(bytes);
    for (int i = 0; i < AI_MOVE_SIZE; ++i)
        if (mask & (1u << i))
            record[i] = bytes[i];
}

std::string move_text(const std::uint8_t *bytes) {
    std::string text = "[";
    for (int i = 0; i < AI_MOVE_SIZE; ++i)
        text += (i ? " " : "") + std::to_string(bytes[i]);
    return text + "]";
}

template <class Kind> class Arg;

template <> class Arg<p_INT32> {
public:
    explicit Arg(Run &run) : java(run.data.ConsumeIntegral<std::int32_t>()) {}
    bool acquire(Prediction &) { return true; }
    void record(Prediction &p) { p.record(std::to_string(java)); }
    void after_module(Prediction &) {}
    void check(Prediction &) {}
    jint java;
};

template <> class Arg<p_FLAG> {
public:
    // Any byte: the bridge widens it with zero fill whatever it holds.
    explicit Arg(Run &run) : java(run.data.ConsumeIntegral<std::uint8_t>()) {}
    bool acquire(Prediction &) { return true; }
    void record(Prediction &p) { p.record(std::to_string(static_cast<unsigned>(java))); }
    void after_module(Prediction &) {}
    void check(Prediction &) {}
    jboolean java;
};

template <> class Arg<p_TEXT> {
public:
    explicit Arg(Run &run) {
        if (run.data.ConsumeIntegralInRange<std::uint8_t>(0, 7) == 0)
            return;
        units = consume_utf16(run.data);
        java = run.vm.string(units);
    }
    // Null text gives the default; otherwise the characters are taken once.
    bool acquire(Prediction &p) {
        if (!java)
            return false;
        ++p.string_gets;
        if (p.run.string_chars.refuse())
            return p.refused = true, false;
        return true;
    }
    void record(Prediction &p) { p.record(modified_utf8(units)); }
    void after_module(Prediction &) {}
    void check(Prediction &p) {
        if (java)
            expect(p.run.vm.utf16(java) == units, std::string(p.name) + ": the host's string changed");
    }
    std::u16string units;
    jstring java = nullptr;
};

// A host array: null, too short for a move, or long enough, with elements
// past the fifth that must never change.
class MoveArray {
public:
    explicit MoveArray(Run &run) {
        if (run.data.ConsumeIntegralInRange<std::uint8_t>(0, 7) == 0)
            return;
        const auto length = run.data.ConsumeIntegralInRange<std::uint8_t>(0, 8);
        for (unsigned i = 0; i < length; ++i)
            expected.push_back(run.data.ConsumeIntegral<std::int8_t>());
        java = run.vm.bytes(expected);
    }
    bool holds_move() const { return java && expected.size() >= AI_MOVE_SIZE; }
    void check(Prediction &p) {
        if (java)
            expect(p.run.vm.contents(java) == expected,
                   std::string(p.name) + ": the host's array holds other bytes than the contract allows");
    }
    std::vector<std::int8_t> expected;
    jbyteArray java = nullptr;
};

// getAIMove: the module writes into the bridge's buffer, whatever the
// array; the five bytes then go to the host's array if it holds a move and
// its elements are handed out.
template <> class Arg<p_MOVE_OUT> : public MoveArray {
public:
    using MoveArray::MoveArray;
    bool acquire(Prediction &) { return true; }
    void record(Prediction &p) { p.record(move_text(state().buffer.data())); }
    void after_module(Prediction &p) {
        apply_scripted_move(state().buffer.data());
        if (!holds_move())
            return;
        ++p.array_gets;
        if (p.run.array_elements.refuse()) {
            p.refused = true;
            return;
        }
        std::memcpy(expected.data(), state().buffer.data(), AI_MOVE_SIZE);
    }
};

// illegalMove: the module works on the host's elements themselves.
template <> class Arg<p_MOVE_IN> : public MoveArray {
public:
    using MoveArray::MoveArray;
    bool acquire(Prediction &p) {
        if (!holds_move())
            return false;
        ++p.array_gets;
        if (p.run.array_elements.refuse())
            return p.refused = true, false;
        return true;
    }
    void record(Prediction &p) {
        std::uint8_t bytes[AI_MOVE_SIZE];
        std::memcpy(bytes, expected.data(), AI_MOVE_SIZE);
        p.record(move_text(bytes));
    }
    void after_module(Prediction &) { apply_scripted_move(reinterpret_cast<std::uint8_t *>(expected.data())); }
};

// The module's answer as its own function would give it.
std::int32_t module_number(Module module, const char *name, std::int32_t first_int) {
    if (module == Module::Partial) {
        if (std::strcmp(name, "createGame") == 0)
            return 5;
        if (std::strcmp(name, "joinGame") == 0)
            return 256;
        if (std::strcmp(name, "getCreateGameMode") == 0)
            return 7;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(first_int) * 10u); // getCreateGameOption
    }
    return probe_answer(name, 0);
}

struct r_VOID {};
struct r_TRUTH {};
struct r_BOOL8 {};
struct r_VALUE {};
struct r_TEXT {};

template <class Method, class... JavaArgs>
void call_and_check(r_VOID, Prediction &p, int, std::int32_t, Method method, JavaArgs... args) {
    method(p.run.env, p.run.cls, args...);
}

template <class Method, class... JavaArgs>
void call_and_check(r_TRUTH, Prediction &p, int, std::int32_t first_int, Method method, JavaArgs... args) {
    const jboolean expected = p.called() && module_number(state().slot, p.name, first_int) != 0;
    const jboolean answer = method(p.run.env, p.run.cls, args...);
    expect(answer == expected,
           std::string(p.name) + ": answered " + std::to_string(answer) + ", expected " + std::to_string(expected));
}

template <class Method, class... JavaArgs>
void call_and_check(r_BOOL8, Prediction &p, int, std::int32_t first_int, Method method, JavaArgs... args) {
    const jboolean expected =
        p.called() ? static_cast<ai_bool8>(module_number(state().slot, p.name, first_int)) : JNI_FALSE;
    const jboolean answer = method(p.run.env, p.run.cls, args...);
    expect(answer == expected,
           std::string(p.name) + ": answered " + std::to_string(answer) + ", expected " + std::to_string(expected));
}

template <class Method, class... JavaArgs>
void call_and_check(r_VALUE, Prediction &p, int missing, std::int32_t first_int, Method method, JavaArgs... args) {
    const jint expected = p.called() ? module_number(state().slot, p.name, first_int) : missing;
    const jint answer = method(p.run.env, p.run.cls, args...);
    expect(answer == expected,
           std::string(p.name) + ": answered " + std::to_string(answer) + ", expected " + std::to_string(expected));
}

template <class Method, class... JavaArgs>
void call_and_check(r_TEXT, Prediction &p, int, std::int32_t, Method method, JavaArgs... args) {
    // Copied now: the text belongs to the module.
    const char *scripted_text = p.called() ? probe_text(p.name, p.name) : nullptr;
    const bool has_text = scripted_text != nullptr;
    const std::string text = has_text ? scripted_text : "";
    bool made = false;
    if (has_text) {
        ++p.new_strings;
        if (p.run.new_strings.refuse())
            p.refused = true;
        else
            made = true;
    }
    const jstring answer = method(p.run.env, p.run.cls, args...);
    if (!made) {
        expect(answer == nullptr, std::string(p.name) + ": answered a string, expected null");
        return;
    }
    expect(answer != nullptr, std::string(p.name) + ": answered null, expected \"" + text + "\"");
    expect(p.run.vm.modified_utf8(answer) == text,
           std::string(p.name) + ": answered \"" + p.run.vm.modified_utf8(answer) + "\", expected \"" + text + "\"");
}

void finish(Prediction &p) {
    const std::string what = p.name;
    // Only the scripted module records; a copy left mapped by an earlier
    // load must not be reached when another module is in the slot.
    const std::string line = p.line + ")";
    p.run.expect_records(what, scripted(state().slot) && p.called() ? &line : nullptr);
    if (!p.found) {
        expect(p.run.vm.calls().empty(), what + ": a default answer touched the VM");
    } else {
        expect(p.run.vm_calls({"GetStringChars", "GetStringUTFChars", "GetStringCritical"}) == p.string_gets,
               what + ": strings taken " +
                   std::to_string(p.run.vm_calls({"GetStringChars", "GetStringUTFChars", "GetStringCritical"})) +
                   " times, expected " + std::to_string(p.string_gets));
        expect(p.run.vm_calls({"GetByteArrayElements", "GetPrimitiveArrayCritical"}) == p.array_gets,
               what + ": array elements taken " +
                   std::to_string(p.run.vm_calls({"GetByteArrayElements", "GetPrimitiveArrayCritical"})) +
                   " times, expected " + std::to_string(p.array_gets));
        expect(p.run.vm_calls({"NewStringUTF", "NewString"}) == p.new_strings, what + ": strings made not as expected");
    }
    p.run.check_after(what, p.refused);
}

#define FUZZ_NONE
#define FUZZ_DECLARE(kind, name) Arg<p_##kind> name(run);
#define FUZZ_ACQUIRE(kind, name) p.acquired = p.acquired && name.acquire(p);
#define FUZZ_RECORD(kind, name) name.record(p);
#define FUZZ_AFTER(kind, name) name.after_module(p);
#define FUZZ_CHECK(kind, name) name.check(p);
#define FUZZ_JAVA(kind, name) , name.java
#define FUZZ_FIRST_INT(kind, name) first_int_of(name),

template <class A> std::int32_t first_int_of(const A &) { return 0; }
std::int32_t first_int_of(const Arg<p_INT32> &arg) { return arg.java; }

#define FUZZ_CALL(result, name, bytes, params, missing)                                                      \
    void call_##name(Run &run) {                                                                             \
        AI_PARAMS(bytes, params, FUZZ_NONE, FUZZ_DECLARE, FUZZ_DECLARE)                                      \
        Prediction p(run, #name);                                                                            \
        const std::int32_t ints[] = {AI_PARAMS(bytes, params, FUZZ_NONE, FUZZ_FIRST_INT, FUZZ_FIRST_INT) 0}; \
        if (p.found) {                                                                                       \
            AI_PARAMS(bytes, params, FUZZ_NONE, FUZZ_ACQUIRE, FUZZ_ACQUIRE)                                  \
            if (p.acquired) {                                                                                \
                AI_PARAMS(bytes, params, FUZZ_NONE, FUZZ_RECORD, FUZZ_RECORD)                                \
                AI_PARAMS(bytes, params, FUZZ_NONE, FUZZ_AFTER, FUZZ_AFTER)                                  \
            }                                                                                                \
        }                                                                                                    \
        call_and_check(r_##result{}, p, missing, ints[0],                                                    \
                       run.b.name AI_PARAMS(bytes, params, FUZZ_NONE, FUZZ_JAVA, FUZZ_JAVA));                \
        AI_PARAMS(bytes, params, FUZZ_NONE, FUZZ_CHECK, FUZZ_CHECK)                                          \
        finish(p);                                                                                           \
    }
AI_MODULE_FUNCTIONS(FUZZ_CALL)

using CallFunction = void (*)(Run &);
#define FUZZ_ENTRY(result, name, bytes, params, missing) {#name, call_##name},
const struct {
    const char *name;
    CallFunction call;
} kFunctions[] = {AI_MODULE_FUNCTIONS(FUZZ_ENTRY)};
static_assert(sizeof kFunctions / sizeof kFunctions[0] == AI_MODULE_FUNCTION_COUNT, "one entry per function");

void call(Run &run, std::uint8_t index) {
    trace(std::string("call ") + kFunctions[index].name);
    if (std::strcmp(kFunctions[index].name, "terminate") == 0)
        return terminate(run);
    kFunctions[index].call(run);
}

// ---------------------------------------------------------------------------
// The scripted module's answers and the VM's refusals.

void configure_refusal(Run &run) {
    const auto which = run.data.ConsumeIntegralInRange<std::uint8_t>(0, 2);
    const auto mode = run.data.ConsumeIntegralInRange<std::uint8_t>(0, 2);
    const auto successes = run.data.ConsumeIntegralInRange<std::uint8_t>(0, 3);
    Refusal &mirror = which == 0 ? run.string_chars : which == 1 ? run.array_elements : run.new_strings;
    mirror.limited = mode != 0;
    mirror.successes_left = mode == 2 ? successes : 0;
    using Set = void (fakejvm::FakeVm::*)(bool);
    using After = void (fakejvm::FakeVm::*)(std::size_t);
    const Set set[] = {&fakejvm::FakeVm::refuse_string_chars, &fakejvm::FakeVm::refuse_array_elements,
                       &fakejvm::FakeVm::refuse_new_strings};
    const After after[] = {&fakejvm::FakeVm::refuse_string_chars_after, &fakejvm::FakeVm::refuse_array_elements_after,
                           &fakejvm::FakeVm::refuse_new_strings_after};
    if (mode == 2)
        (run.vm.*after[which])(successes);
    else
        (run.vm.*set[which])(mode == 1);
}

void script_text(Run &run) {
    static const char *const text_functions[] = {"getPublicName", "getPreGameChat", "getPostGameChat"};
    const char *name = text_functions[run.data.ConsumeIntegralInRange<std::uint8_t>(0, 2)];
    if (run.data.ConsumeIntegralInRange<std::uint8_t>(0, 7) == 0)
        probe_set_text(name, nullptr);
    else
        probe_set_text(name, modified_utf8(consume_utf16(run.data)).c_str());
}

void script_move(Run &run) {
    std::uint8_t bytes[AI_MOVE_SIZE];
    for (std::uint8_t &byte : bytes)
        byte = run.data.ConsumeIntegral<std::uint8_t>();
    probe_set_move(bytes, run.data.ConsumeIntegral<std::uint8_t>());
}

// The operations of an input. Keep in step with make_corpus.py.
enum Op : std::uint8_t {
    kCall,         // function index 0-35 (the contract's order), then its arguments
    kLoad,         // LoadKind
    kTerminate,    //
    kScriptAnswer, // function index, int32 answer
    kScriptText,   // text function 0-2, null (1 in 8) or UTF-16
    kScriptMove,   // five bytes, mask
    kThrowEndGame, //
    kRefuse,       // which (strings, arrays, new strings), mode (none, all, after n), n
    kOps
};

constexpr int kMaxOps = 256;

// Brings the bridge's move buffer back to zeros through the bridge itself.
void reset_buffer(Bridge &b) {
    if (state().buffer == std::array<std::uint8_t, AI_MOVE_SIZE>{})
        return;
    FuzzedDataProvider none(nullptr, 0);
    Run run(b, none);
    const std::uint8_t zeros[AI_MOVE_SIZE] = {};
    probe_set_move(zeros, 0x1F);
    load(run, kScripted);
    jbyteArray move = run.vm.bytes(std::vector<std::int8_t>(AI_MOVE_SIZE, 1));
    b.getAIMove(run.env, run.cls, move);
    expect(run.vm.contents(move) == std::vector<std::int8_t>(AI_MOVE_SIZE, 0), "the move buffer was not reset");
    state().buffer = {};
    run.records = probe_call_count();
    run.check_after("resetting the move buffer", false);
    terminate(run);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size) {
    Bridge &b = bridge_test::bridge();
    if (!b.missing.empty())
        broken("native methods not exported: " + b.missing);
    files();
    probe_reset();
    {
        // Every input starts with an empty slot and an empty script.
        FuzzedDataProvider none(nullptr, 0);
        Run start(b, none);
        terminate(start);
    }
    reset_buffer(b);
    probe_reset();

    FuzzedDataProvider data(bytes, size);
    Run run(b, data);
    for (int ops = 0; ops < kMaxOps && data.remaining_bytes() > 0; ++ops) {
        switch (data.ConsumeIntegralInRange<std::uint8_t>(0, kOps - 1)) {
        case kCall: call(run, data.ConsumeIntegralInRange<std::uint8_t>(0, AI_MODULE_FUNCTION_COUNT - 1)); break;
        case kLoad:
            load(run, static_cast<LoadKind>(data.ConsumeIntegralInRange<std::uint8_t>(0, kLoadKinds - 1)));
            break;
        case kTerminate: terminate(run); break;
        case kScriptAnswer: {
            const char *name =
                kFunctions[data.ConsumeIntegralInRange<std::uint8_t>(0, AI_MODULE_FUNCTION_COUNT - 1)].name;
            probe_set_answer(name, data.ConsumeIntegral<std::int32_t>());
            break;
        }
        case kScriptText: script_text(run); break;
        case kScriptMove: script_move(run); break;
        case kThrowEndGame: probe_set_throws("endGame"); break;
        case kRefuse: configure_refusal(run); break;
        }
    }
    // Leaves the VM (about to go) with nothing to answer for.
    run.check_after("end of input", false);
    return 0;
}
