#include "smoke.hpp"

#include "ai_module_list.h"
#include "child_process.hpp"
#include "console.hpp"
#include "guarded_call.hpp"
#include "module_diagnostics.hpp"
#include "output.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>

namespace aimodule_check {
namespace {

// Typical values by parameter name, as a host might send them.
int32_t typical_number(const std::string &parameter) {
    static const std::map<std::string, int32_t> values = {
        {"option", 1}, {"value", 2}, {"mode", 1},  {"level", 3},  {"limit", 60}, {"color", 0},
        {"x", 3},      {"y", 1},     {"rank", 5},  {"result", 1}, {"reason", 0}, {"first", 4},
        {"second", 7}, {"fromX", 2}, {"fromY", 6}, {"toX", 2},    {"toY", 5},
    };
    auto found = values.find(parameter);
    return found != values.end() ? found->second : 1; // the piece counts
}

std::string move_text(const ai_move &move) {
    return "[" + std::to_string(move.fromX) + " " + std::to_string(move.fromY) + " " + std::to_string(move.toX) + " " +
           std::to_string(move.toY) + " " + std::to_string(move.special) + "]";
}

// The arguments of one call, and their description.
struct Arguments {
    ai_move move_out{};
    ai_move move_in{2, 6, 2, 5, 0};
    std::string text = "aimodule-check";

    int32_t get_INT32(const char *name) { return typical_number(name); }
    int32_t get_FLAG(const char *) { return 1; }
    const char *get_TEXT(const char *) { return text.c_str(); }
    ai_move *get_MOVE_OUT(const char *) { return &move_out; }
    ai_move *get_MOVE_IN(const char *) { return &move_in; }

    std::string show_INT32(const char *name) { return std::to_string(typical_number(name)); }
    std::string show_FLAG(const char *) { return "true"; }
    std::string show_TEXT(const char *) { return "\"" + text + "\""; }
    std::string show_MOVE_OUT(const char *) { return "move record"; }
    std::string show_MOVE_IN(const char *) { return move_text(move_in); }
};

std::string truth(long long answer) {
    std::string word = answer ? "true" : "false";
    return answer == 0 || answer == 1 ? word : word + " (" + std::to_string(answer) + ")";
}

// Why `text` is not modified UTF-8 (the JNI's: no NUL byte inside, U+0000
// as C0 80, code points above U+FFFF as two encoded surrogates, never as
// four bytes), or empty when it is.
std::string modified_utf8_problem(const unsigned char *text) {
    for (std::size_t i = 0; text[i];) {
        const unsigned char lead = text[i];
        const int length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 0;
        if (length == 0)
            return "byte " + std::to_string(i) + " (0x" + "0123456789ABCDEF"[lead >> 4] +
                   "0123456789ABCDEF"[lead & 15] + ") starts no modified UTF-8 sequence" +
                   (lead >= 0xF0 && lead < 0xF8 ? " (four-byte UTF-8: encode as two surrogates)" : "");
        for (int k = 1; k < length; ++k)
            if ((text[i + k] & 0xC0) != 0x80)
                return "the sequence at byte " + std::to_string(i) + " is cut short";
        const unsigned code = length == 1   ? lead
                              : length == 2 ? (lead & 0x1Fu) << 6 | (text[i + 1] & 0x3Fu)
                                            : (lead & 0x0Fu) << 12 | (text[i + 1] & 0x3Fu) << 6 | (text[i + 2] & 0x3Fu);
        const unsigned smallest = length == 3 ? 0x800 : length == 2 ? 0x80 : 0;
        if (code < smallest && !(length == 2 && code == 0))
            return "the sequence at byte " + std::to_string(i) + " is overlong";
        i += length;
    }
    return "";
}

template <class Function>
std::string answer_of(const char *name, const char *kind, Function &&call, std::string &problem) {
    const std::string k = kind;
    if constexpr (std::is_void_v<decltype(call())>) {
        // As the bridge calls it: an exception out of endGame ends there.
        if (std::strcmp(name, "endGame") == 0)
            return vantrell::platform::call_guarded(call)
                       ? "done"
                       : "threw an exception, which the bridge swallows (allowed for endGame)";
        call();
        return "done";
    } else {
        auto answer = call();
        if constexpr (std::is_pointer_v<decltype(answer)>) {
            if (answer)
                problem = modified_utf8_problem(reinterpret_cast<const unsigned char *>(answer));
            if (!problem.empty())
                problem = "not modified UTF-8: " + problem;
            return answer ? "\"" + std::string(answer) + "\"" : "null";
        } else if (k == "TRUTH" || k == "BOOL8")
            return truth(static_cast<long long>(answer));
        else
            return std::to_string(answer);
    }
}

} // namespace

std::vector<SmokeCall> run_smoke_session(vantrell::loader::ModuleHandle module, std::size_t first_step,
                                         const std::function<void(std::size_t, const SmokeCall &)> &before_each,
                                         const std::function<void(const SmokeCall &)> &after_each) {
    std::vector<std::function<SmokeCall(std::size_t)>> session;
    std::function<SmokeCall(std::size_t)> last;

#define SMOKE_GET_FIRST(kind, name) args.get_##kind(#name)
#define SMOKE_GET_NEXT(kind, name) , args.get_##kind(#name)
#define SMOKE_SHOW_FIRST(kind, name) shown += args.show_##kind(#name);
#define SMOKE_SHOW_NEXT(kind, name) shown += ", " + args.show_##kind(#name);
#define SMOKE_STEP(result, name, bytes, params, missing)                                                               \
    if (auto function =                                                                                                \
            reinterpret_cast<decltype(&::name)>(vantrell::loader::find_export(module, AI_EXPORT_NAME(name, bytes)))) { \
        auto step = [function, &before_each](std::size_t index) {                                                      \
            Arguments args;                                                                                            \
            std::string shown;                                                                                         \
            AI_PARAMS(bytes, params, , SMOKE_SHOW_FIRST, SMOKE_SHOW_NEXT)                                              \
            SmokeCall call{#name, #name "(" + shown + ")", "", ""};                                                    \
            before_each(index, call);                                                                                  \
            call.answer = answer_of(                                                                                   \
                #name, #result,                                                                                        \
                [&]() { return function(AI_PARAMS(bytes, params, , SMOKE_GET_FIRST, SMOKE_GET_NEXT)); },               \
                call.problem);                                                                                         \
            if (call.call.find("move record") != std::string::npos)                                                    \
                call.answer += ", move " + move_text(args.move_out);                                                   \
            return call;                                                                                               \
        };                                                                                                             \
        if (std::string(#name) == "terminate")                                                                         \
            last = step;                                                                                               \
        else                                                                                                           \
            session.push_back(step);                                                                                   \
    }
    AI_MODULE_FUNCTIONS(SMOKE_STEP)

    std::vector<SmokeCall> calls;
    if (last)
        session.push_back(last);
    for (std::size_t index = first_step; index < session.size(); ++index) {
        calls.push_back(session[index](index));
        after_each(calls.back());
    }
    return calls;
}

namespace {

// The records a child writes for its parent, one line each, fields split by
// tabs: "begin <step> <function> <call>" before a call, "call <function>
// <call> <answer> <problem>" after it. Tabs, newlines and backslashes in a
// field are escaped.
std::string escaped(const std::string &field) {
    std::string text;
    for (char c : field)
        text += c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\\' ? "\\\\" : std::string(1, c);
    return text;
}

std::string unescaped(const std::string &field) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            text += field[i];
            continue;
        }
        const char c = field[++i];
        text += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return text;
}

std::vector<std::string> fields_of(const std::string &line) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, '\t');)
        fields.push_back(unescaped(field));
    return fields;
}

// The complete lines of the records file so far.
std::vector<std::string> record_lines(const std::filesystem::path &records) {
    std::ifstream in(records, std::ios::binary);
    std::vector<std::string> lines;
    std::string text((std::istreambuf_iterator<char>(in)), {});
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

} // namespace

int smoke_child_main(const std::string &module_path, const std::string &records, bool print_calls,
                     std::size_t first_step) {
    ModuleOutputToStderr quiet(!print_calls);
    std::FILE *out = std::fopen(records.c_str(), "wb");
    if (!out)
        return 2;
    auto module = vantrell::diagnostics::load_module(module_path);
    if (!module)
        return 3;
    auto record = [out](const std::string &line) {
        std::fputs(line.c_str(), out);
        std::fputc('\n', out);
        std::fflush(out);
    };
    run_smoke_session(
        module, first_step,
        [&](std::size_t step, const SmokeCall &call) {
            std::cout.flush();
            record("begin\t" + std::to_string(step) + "\t" + escaped(call.function) + "\t" + escaped(call.call));
        },
        [&](const SmokeCall &call) {
            if (print_calls)
                print_smoke_call(std::cout, call);
            record("call\t" + escaped(call.function) + "\t" + escaped(call.call) + "\t" + escaped(call.answer) + "\t" +
                   escaped(call.problem));
        });
    std::cout.flush();
    vantrell::loader::unload_module(module);
    std::fclose(out);
    return 0;
}

namespace {

// One child's part of the session, from `first_step`: the calls that
// returned, and, when the child did not end well, the step it was in (or
// none: it failed loading or unloading) and how it ended.
struct ChildRun {
    std::vector<SmokeCall> calls;
    bool failed = false;
    bool in_step = false;
    std::size_t step = 0;
    SmokeCall pending;
    std::string how;
};

ChildRun run_child(const std::string &module_path, bool print_calls, int call_timeout_seconds, std::size_t first_step) {
    namespace fs = std::filesystem;
    std::error_code error;
    static int runs = 0;
    const fs::path records =
        fs::temp_directory_path(error) /
        ("aimodule-check-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
         std::to_string(++runs) + ".smoke");
    ChildRun run;
    std::cout.flush();
    auto child = ChildProcess::start({"--smoke-child", records.string(), print_calls ? "--print" : "--quiet",
                                      std::to_string(first_step), module_path});
    if (!child) {
        run.failed = true;
        run.how = "the checker could not start a child process";
        return run;
    }
    using clock = std::chrono::steady_clock;
    auto last_progress = clock::now();
    std::size_t lines_seen = 0;
    bool hung = false;
    while (!child->wait_for(50)) {
        const std::size_t lines = record_lines(records).size();
        if (lines != lines_seen) {
            lines_seen = lines;
            last_progress = clock::now();
        } else if (clock::now() - last_progress > std::chrono::seconds(call_timeout_seconds)) {
            child->kill();
            child->wait_for(-1);
            hung = true;
            break;
        }
    }
    for (const std::string &line : record_lines(records)) {
        std::vector<std::string> fields = fields_of(line);
        if (fields.size() >= 4 && fields[0] == "begin") {
            run.step = std::strtoul(fields[1].c_str(), nullptr, 10);
            run.pending = SmokeCall{fields[2], fields[3], "", ""};
            run.in_step = true;
        } else if (fields.size() >= 4 && fields[0] == "call") {
            run.calls.push_back(SmokeCall{fields[1], fields[2], fields[3], fields.size() > 4 ? fields[4] : ""});
            run.in_step = false;
        }
    }
    fs::remove(records, error);
    run.how = hung ? "no answer within " + std::to_string(call_timeout_seconds) + " s: stopped" : child->how_it_ended();
    run.failed = run.in_step || !run.how.empty();
    return run;
}

} // namespace

SmokeOutcome run_smoke_in_children(const std::string &module_path, bool print_calls, int call_timeout_seconds,
                                   const std::function<void(const SmokeFailure &)> &on_failure) {
    SmokeOutcome outcome;
    outcome.ran = true;
    for (std::size_t first_step = 0;;) {
        ChildRun run = run_child(module_path, print_calls, call_timeout_seconds, first_step);
        outcome.calls.insert(outcome.calls.end(), run.calls.begin(), run.calls.end());
        if (!run.failed)
            break;
        SmokeFailure failure{run.in_step ? run.pending : SmokeCall{"", "loading or unloading the module", "", ""},
                             run.how.empty() ? "ended without a word" : run.how};
        outcome.failures.push_back(failure);
        on_failure(failure);
        // A call that never returned: the rest of the session goes on in a
        // fresh child. Anything else (the module did not load or unload)
        // would fail the same way again.
        if (!run.in_step)
            break;
        first_step = run.step + 1;
    }
    return outcome;
}

} // namespace aimodule_check
