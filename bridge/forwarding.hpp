// The forwarding rule: with a module in the slot that exports the function,
// call it with the host's arguments and convert its answer; otherwise answer
// with the function's default result.
#pragma once

#include "guarded_call.hpp"
#include "java_args.hpp"
#include "module_slot.hpp"

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

namespace vantrell {

template <class Kind> struct JavaResult;
template <> struct JavaResult<kind_VOID> { using type = void; };
template <> struct JavaResult<kind_TRUTH> { using type = jboolean; };
template <> struct JavaResult<kind_BOOL8> { using type = jboolean; };
template <> struct JavaResult<kind_VALUE> { using type = jint; };
template <> struct JavaResult<kind_TEXT> { using type = jstring; };
template <class Kind> using java_result_t = typename JavaResult<Kind>::type;

// An int32 truth is judged on all 32 bits.
inline jboolean to_java(kind_TRUTH, JNIEnv *, std::int32_t answer) { return answer != 0 ? JNI_TRUE : JNI_FALSE; }
// Of a bool8 truth only its byte is read, and passed on as it is.
inline jboolean to_java(kind_BOOL8, JNIEnv *, ai_bool8 answer) { return answer; }
inline jint to_java(kind_VALUE, JNIEnv *, std::int32_t answer) { return answer; }
// The module keeps its text; the host gets a new string made from it.
inline jstring to_java(kind_TEXT, JNIEnv *env, const char *answer) {
    return answer ? env->NewStringUTF(answer) : nullptr;
}

template <class Fn> java_result_t<typename Fn::kind> default_result() {
    using Result = java_result_t<typename Fn::kind>;
    if constexpr (std::is_pointer_v<Result>)
        return nullptr;
    else if constexpr (!std::is_void_v<Result>)
        return static_cast<Result>(Fn::missing_answer);
}

// Whether exceptions out of the module function are caught and discarded
// (platform::call_guarded says which).
template <class Fn> inline constexpr bool swallows_exceptions = false;
template <> inline constexpr bool swallows_exceptions<fn::endGame> = true;

// The forwarding rule through the companion: the same answers, and the same
// moments at which the VM is asked for anything, as in-process
// (channel/protocol.hpp). The caller holds the turn (module_slot::Turn). A
// companion whose reply is not believed, or does not come before the
// host's deadline, is ended and the slot emptied; that call and every later
// one give their defaults.
template <class Fn, class... Args>
java_result_t<typename Fn::kind> forward_to_companion(const module_slot::Playing &playing, JNIEnv *env, Args &...args) {
    using Result = java_result_t<typename Fn::kind>;
    Companion &c = *playing.companion;
    const auto deadline = playing.deadline();
    auto lost = [&] {
        module_slot::lost(playing.companion);
        return default_result<Fn>();
    };
    if constexpr ((std::decay_t<Args>::taken_from_vm || ...)) {
        const Companion::Reply probe = c.ask(channel::Kind::probe, Fn::index, playing.module, no_payload, deadline);
        if (probe.outcome != Companion::Outcome::answered || !c.payload().done())
            return lost();
        if (probe.status != channel::Status::ok || !(args.acquire(env) && ...))
            return default_result<Fn>();
    } else {
        (args.acquire(env), ...); // nothing of the VM's
    }
    const Companion::Reply reply = c.ask(
        channel::Kind::call, Fn::index, playing.module,
        [&](channel::PayloadWriter &w) { return (args.send(w) && ...); }, deadline);
    if (reply.outcome == Companion::Outcome::not_sent)
        return default_result<Fn>(); // a text of the host's over the limit
    if (reply.outcome == Companion::Outcome::lost)
        return lost();
    if (reply.status != channel::Status::ok)
        return default_result<Fn>(); // missing, or a text answer over the limit
    channel::PayloadReader r = c.payload();
    if constexpr (std::is_void_v<Result>) {
        if (!(args.receive_back(r) && ...) || !r.done())
            return lost();
        (args.after_call(env), ...);
    } else if constexpr (std::is_same_v<typename Fn::kind, kind_TEXT>) {
        std::string &text = c.text_buffer();
        bool is_null = false;
        if (!r.get_text(text, is_null) || !(args.receive_back(r) && ...) || !r.done())
            return lost();
        (args.after_call(env), ...);
        return to_java(kind_TEXT{}, env, is_null ? nullptr : text.c_str());
    } else {
        std::conditional_t<std::is_same_v<typename Fn::kind, kind_BOOL8>, ai_bool8, std::int32_t> answer{};
        if (!r.get(answer) || !(args.receive_back(r) && ...) || !r.done())
            return lost();
        (args.after_call(env), ...);
        return to_java(typename Fn::kind{}, env, answer);
    }
}

template <class Fn, class... Args> java_result_t<typename Fn::kind> forward(JNIEnv *env, Args &&...args) {
    if (module_slot::through_companion()) {
        if (const module_slot::Playing playing = module_slot::playing(); playing.companion) {
            const module_slot::Turn turn(playing);
            // A load or terminate may have come first.
            if (!turn.still_playing())
                return default_result<Fn>();
            return forward_to_companion<Fn>(playing, env, args...);
        }
    }
    auto function = reinterpret_cast<typename Fn::pointer>(module_slot::find(Fn::export_name));
    if (!function)
        return default_result<Fn>();
    if (!(args.acquire(env) && ...))
        return default_result<Fn>();
    if constexpr (swallows_exceptions<Fn>) {
        static_assert(std::is_void_v<java_result_t<typename Fn::kind>>);
        auto call = [&] { function(args.get()...); };
        platform::call_guarded(call);
        (args.after_call(env), ...);
    } else if constexpr (std::is_void_v<java_result_t<typename Fn::kind>>) {
        function(args.get()...);
        (args.after_call(env), ...);
    } else {
        auto answer = function(args.get()...);
        (args.after_call(env), ...);
        return to_java(typename Fn::kind{}, env, answer);
    }
}

// The native method behind each module function; terminate's also unloads.
template <class Fn> struct NativeMethod {
    template <class... Args> static auto call(JNIEnv *env, Args &&...args) {
        return forward<Fn>(env, std::forward<Args>(args)...);
    }
};
template <> struct NativeMethod<fn::terminate> {
    static void call(JNIEnv *) { module_slot::terminate(); }
};

} // namespace vantrell
