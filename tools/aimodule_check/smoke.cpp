#include "smoke.hpp"

#include "ai_module_list.h"

#include <functional>
#include <map>

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

template <class Function> std::string answer_of(const char *kind, Function &&call) {
    const std::string k = kind;
    if constexpr (std::is_void_v<decltype(call())>) {
        call();
        return "done";
    } else {
        auto answer = call();
        if constexpr (std::is_pointer_v<decltype(answer)>)
            return answer ? "\"" + std::string(answer) + "\"" : "null";
        else if (k == "TRUTH" || k == "BOOL8")
            return truth(static_cast<long long>(answer));
        else
            return std::to_string(answer);
    }
}

} // namespace

std::vector<SmokeCall> run_smoke_session(vantrell::loader::ModuleHandle module,
                                         const std::function<void(const SmokeCall &)> &after_each) {
    std::vector<std::function<SmokeCall()>> session;
    std::function<SmokeCall()> last;

#define SMOKE_GET_FIRST(kind, name) args.get_##kind(#name)
#define SMOKE_GET_NEXT(kind, name) , args.get_##kind(#name)
#define SMOKE_SHOW_FIRST(kind, name) shown += args.show_##kind(#name);
#define SMOKE_SHOW_NEXT(kind, name) shown += ", " + args.show_##kind(#name);
#define SMOKE_STEP(result, name, bytes, params, missing)                                                               \
    if (auto function =                                                                                                \
            reinterpret_cast<decltype(&::name)>(vantrell::loader::find_export(module, AI_EXPORT_NAME(name, bytes)))) { \
        auto step = [function]() {                                                                                     \
            Arguments args;                                                                                            \
            std::string shown;                                                                                         \
            AI_PARAMS(bytes, params, , SMOKE_SHOW_FIRST, SMOKE_SHOW_NEXT)                                              \
            SmokeCall call{#name, #name "(" + shown + ")", ""};                                                        \
            call.answer = answer_of(                                                                                   \
                #result, [&]() { return function(AI_PARAMS(bytes, params, , SMOKE_GET_FIRST, SMOKE_GET_NEXT)); });     \
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
    for (auto &step : session) {
        calls.push_back(step());
        after_each(calls.back());
    }
    return calls;
}

} // namespace aimodule_check
