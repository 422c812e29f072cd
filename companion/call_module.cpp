#include "call_module.hpp"

#include "guarded_call.hpp"
#include "module_functions.hpp"

#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>

namespace vantrell::companion {
namespace {

using channel::PayloadReader;
using channel::PayloadWriter;
using channel::Status;

// An argument as the companion holds it for one call.
template <class Kind> struct Value;
template <> struct Value<param_INT32> {
    std::int32_t number = 0;
    bool receive(PayloadReader &r) { return r.get(number); }
    std::int32_t argument() { return number; }
    bool send_back(PayloadWriter &) { return true; }
};
template <> struct Value<param_FLAG> : Value<param_INT32> {};
template <> struct Value<param_TEXT> {
    std::string text;
    bool is_null = false;
    bool receive(PayloadReader &r) { return r.get_text(text, is_null); }
    const char *argument() { return is_null ? nullptr : text.c_str(); }
    bool send_back(PayloadWriter &) { return true; }
};
template <> struct Value<param_MOVE_IN> {
    ai_move move{};
    bool receive(PayloadReader &r) { return r.read(&move, AI_MOVE_SIZE); }
    ai_move *argument() { return &move; }
    bool send_back(PayloadWriter &w) { return w.write(&move, AI_MOVE_SIZE); }
};
template <> struct Value<param_MOVE_OUT> : Value<param_MOVE_IN> {};

bool put_result(PayloadWriter &w, std::int32_t answer) { return w.put(answer); }
bool put_result(PayloadWriter &w, ai_bool8 answer) { return w.put(answer); }
bool put_result(PayloadWriter &w, const char *answer) { return w.put_text(answer); }

template <class Fn, class... Kinds>
Status call(const loader::ExportTable &exports, PayloadReader &r, PayloadWriter &w, kinds<void, Kinds...> *) {
    auto function = reinterpret_cast<typename Fn::pointer>(loader::find_export(exports, Fn::export_name));
    if (!function)
        return Status::missing;
    std::tuple<Value<Kinds>...> values;
    const bool received = std::apply([&](auto &...v) { return (v.receive(r) && ...); }, values);
    if (!received || !r.done())
        return Status::failed;
    auto invoke = [&] { return std::apply([&](auto &...v) { return function(v.argument()...); }, values); };
    if constexpr (std::is_void_v<decltype(invoke())>) {
        // endGame's exceptions end here, as in the bridge.
        if constexpr (std::is_same_v<Fn, fn::endGame>)
            platform::call_guarded(invoke);
        else
            invoke();
    } else {
        const auto answer = invoke();
        if constexpr (std::is_pointer_v<decltype(answer)>) {
            if (answer && std::strlen(answer) > channel::max_text)
                return Status::too_long;
        }
        put_result(w, answer);
    }
    const bool sent = std::apply([&](auto &...v) { return (v.send_back(w) && ...); }, values);
    return sent && w.ok() ? Status::ok : Status::failed;
}

using Caller = Status (*)(const loader::ExportTable &, PayloadReader &, PayloadWriter &);
#define VANTRELL_COMPANION_CALLER(result, name, bytes, params, missing)                \
    [](const loader::ExportTable &e, PayloadReader &r, PayloadWriter &w) {             \
        return call<fn::name>(e, r, w, static_cast<fn::name::param_kinds *>(nullptr)); \
    },
const Caller callers[] = {AI_MODULE_FUNCTIONS(VANTRELL_COMPANION_CALLER)};
#undef VANTRELL_COMPANION_CALLER

#define VANTRELL_EXPORT_NAME(result, name, bytes, params, missing) fn::name::export_name,
const loader::ExportName export_names[] = {AI_MODULE_FUNCTIONS(VANTRELL_EXPORT_NAME)};
#undef VANTRELL_EXPORT_NAME

constexpr std::size_t function_count = sizeof callers / sizeof callers[0];

} // namespace

bool exports_function(const loader::ExportTable &exports, std::uint8_t index) {
    return index < function_count && loader::find_export(exports, export_names[index]);
}

Status call_module(const loader::ExportTable &exports, std::uint8_t index, PayloadReader &arguments,
                   PayloadWriter &answer) {
    return index < function_count ? callers[index](exports, arguments, answer) : Status::missing;
}

} // namespace vantrell::companion
