#include "smoke.hpp"

#include "ai_module_list.h"
#include "contract.hpp"
#include "escaped_exception.hpp"
#include "guarded_call.hpp"
#include "thread_stack.hpp"

#include <cxxabi.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <type_traits>
#include <utility>

namespace vantrell::check {
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

// Parameter kinds, named as in the contract's list.
struct param_INT32 {};
struct param_FLAG {};
struct param_TEXT {};
struct param_MOVE_OUT {};
struct param_MOVE_IN {};

// The arguments of one call, and their description.
struct Arguments {
    ai_move move_out{};
    ai_move move_in{2, 6, 2, 5, 0};
    std::string text = "aimodule-check";

    int32_t get(param_INT32, const char *name) { return typical_number(name); }
    int32_t get(param_FLAG, const char *) { return 1; }
    const char *get(param_TEXT, const char *) { return text.c_str(); }
    ai_move *get(param_MOVE_OUT, const char *) { return &move_out; }
    ai_move *get(param_MOVE_IN, const char *) { return &move_in; }

    std::string show(param_INT32, const char *name) { return std::to_string(typical_number(name)); }
    std::string show(param_FLAG, const char *) { return "true"; }
    std::string show(param_TEXT, const char *) { return "\"" + text + "\""; }
    std::string show(param_MOVE_OUT, const char *) { return "move record"; }
    std::string show(param_MOVE_IN, const char *) { return move_text(move_in); }
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

// A text as the report shows it: quoted, one line, with control
// characters, quotes and backslashes escaped as in C (a text read from a
// dead frame can hold any byte).
std::string shown_text(const std::string &text) {
    std::string shown = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\')
            shown += {'\\', static_cast<char>(c)};
        else if (c == '\n')
            shown += "\\n";
        else if (c == '\t')
            shown += "\\t";
        else if (c == '\r')
            shown += "\\r";
        else if (c < 0x20 || c == 0x7F)
            shown += {'\\', 'x', "0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
        else
            shown += static_cast<char>(c);
    }
    return shown + "\"";
}

template <class Function>
std::string answer_of(const char *name, ResultKind kind, Function &&call, std::string &problem) {
    if constexpr (std::is_void_v<decltype(call())>) {
        // As the bridge calls it: an exception out of endGame ends there.
        if (std::strcmp(name, "endGame") == 0)
            return vantrell::platform::call_guarded(call)
                       ? "done"
                       : "threw an exception, which the bridge swallows (allowed for endGame)";
        call();
        return "done";
    } else if constexpr (std::is_pointer_v<decltype(call())>) {
        // A text is read once, at once, and what was read is both judged
        // and shown: a text in the returned function's frame may change
        // with the next thing this thread does. Room is made before the
        // call, so that no allocation runs between the return and the copy.
        std::string text;
        text.reserve(1024);
        const char *answer = call();
        if (!answer)
            return "null";
        for (const char *c = answer; *c; ++c)
            text += *c;
        if (in_this_threads_stack(answer))
            problem = "points into the stack of the function that returned it: gone when it returns";
        else if (std::string why = modified_utf8_problem(reinterpret_cast<const unsigned char *>(text.c_str()));
                 !why.empty())
            problem = "not modified UTF-8: " + why;
        return shown_text(text);
    } else {
        auto answer = call();
        if (kind == ResultKind::truth || kind == ResultKind::bool8)
            return truth(static_cast<long long>(answer));
        return std::to_string(answer);
    }
}

using Step = std::function<SmokeCall(std::size_t)>;

// The step of one contract function, as forward<Fn> is the bridge's: when
// the module exports it, a call with typical arguments of its parameters'
// kinds, described before it is made and answered after.
template <ResultKind kind, class Pointer, class... Kinds, std::size_t... I>
Step step_of(Pointer function, const char *name, std::array<const char *, sizeof...(Kinds)> names,
             const std::function<void(std::size_t, const SmokeCall &)> &before_each, std::index_sequence<I...>) {
    return [=, &before_each](std::size_t index) {
        Arguments args;
        std::string shown;
        ((shown += (I == 0 ? "" : ", ") + args.show(Kinds{}, names[I])), ...);
        SmokeCall call{name, std::string(name) + "(" + shown + ")", "", "", ""};
        before_each(index, call);
        try {
            call.answer = answer_of(
                name, kind, [&]() { return function(args.get(Kinds{}, names[I])...); }, call.problem);
        } catch (const abi::__forced_unwind &) {
            throw; // the module ended its thread: that unwind must go on
        } catch (...) {
            throw EscapedException{describe_escaped_exception()};
        }
        if ((std::is_same_v<Kinds, param_MOVE_OUT> || ...))
            call.answer += ", move " + move_text(args.move_out);
        return call;
    };
}

template <ResultKind kind, class Pointer, class... Kinds>
void add_step(std::vector<Step> &session, Step &last, vantrell::loader::ModuleHandle module, const char *name,
              const char *export_name, std::array<const char *, sizeof...(Kinds)> names,
              const std::function<void(std::size_t, const SmokeCall &)> &before_each) {
    auto function = reinterpret_cast<Pointer>(vantrell::loader::find_export(module, export_name));
    if (!function)
        return;
    Step step =
        step_of<kind, Pointer, Kinds...>(function, name, names, before_each, std::index_sequence_for<Kinds...>{});
    if (std::strcmp(name, "terminate") == 0)
        last = step;
    else
        session.push_back(step);
}

} // namespace

std::vector<SmokeCall> run_smoke_session(vantrell::loader::ModuleHandle module, std::size_t first_step,
                                         const std::function<void(std::size_t, const SmokeCall &)> &before_each,
                                         const std::function<void(const SmokeCall &)> &after_each) {
    std::vector<Step> session;
    Step last;
#define SMOKE_KIND(kind, name) , param_##kind
#define SMOKE_NAME_FIRST(kind, name) #name
#define SMOKE_NAME_NEXT(kind, name) , #name
#define SMOKE_ADD(result, name, bytes, params, missing)                                                           \
    add_step<AIMODULE_CHECK_KIND_##result, decltype(&::name) AI_PARAMS(bytes, params, , SMOKE_KIND, SMOKE_KIND)>( \
        session, last, module, #name, AI_EXPORT_NAME(name, bytes),                                                \
        {{AI_PARAMS(bytes, params, , SMOKE_NAME_FIRST, SMOKE_NAME_NEXT)}}, before_each);
    AI_MODULE_FUNCTIONS(SMOKE_ADD)
#undef SMOKE_ADD

    std::vector<SmokeCall> calls;
    if (last)
        session.push_back(last);
    for (std::size_t index = first_step; index < session.size(); ++index) {
        calls.push_back(session[index](index));
        after_each(calls.back());
    }
    return calls;
}

} // namespace vantrell::check
