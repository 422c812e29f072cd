// What each kind of module parameter is on the Java side, and how a Java
// argument becomes the module's. An argument holds only the Java reference
// until acquire(), which runs after the module function has been found, so a
// default answer never touches the VM. Whatever acquire() borrows is released
// by the argument's destructor, inside the native method. For a module played
// through a companion, send() puts the argument on its channel and
// receive_back() takes back what the module may have written;
// `taken_from_vm` says whether acquire() asks the VM for anything.
#pragma once

#include "jni_guards.hpp"
#include "module_functions.hpp"
#include "protocol.hpp"

#include <cstdint>
#include <cstring>

namespace vantrell {

// The bridge-owned record handed to the module's getAIMove; it keeps the
// last bytes a module wrote, since a module may leave some unwritten.
inline ai_move move_buffer{};

template <class Kind> class Arg;

template <> class Arg<param_INT32> {
public:
    using java_type = jint;
    static constexpr bool taken_from_vm = false;
    explicit Arg(jint value) : value_(value) {}
    bool acquire(JNIEnv *) { return true; }
    std::int32_t get() const { return value_; }
    void after_call(JNIEnv *) {}
    bool send(channel::PayloadWriter &w) const { return w.put(get()); }
    bool receive_back(channel::PayloadReader &) { return true; }

private:
    jint value_;
};

// The host's boolean, widened to 32 bits with zero fill.
template <> class Arg<param_FLAG> {
public:
    using java_type = jboolean;
    static constexpr bool taken_from_vm = false;
    explicit Arg(jboolean value) : value_(value) {}
    bool acquire(JNIEnv *) { return true; }
    std::int32_t get() const { return static_cast<std::int32_t>(value_); }
    void after_call(JNIEnv *) {}
    bool send(channel::PayloadWriter &w) const { return w.put(get()); }
    bool receive_back(channel::PayloadReader &) { return true; }

private:
    jboolean value_;
};

// A Java string lent to the module as modified UTF-8 for the call.
template <> class Arg<param_TEXT> {
public:
    using java_type = jstring;
    static constexpr bool taken_from_vm = true;
    explicit Arg(jstring string) : string_(string) {}
    bool acquire(JNIEnv *env) { return string_ && chars_.acquire(env, string_); }
    const char *get() const { return chars_.get(); }
    void after_call(JNIEnv *) {}
    bool send(channel::PayloadWriter &w) const { return w.put_text(get()); }
    bool receive_back(channel::PayloadReader &) { return true; }

private:
    jstring string_;
    StringUtfChars chars_;
};

// An array too short to hold a move record is refused like a null one: the
// module would otherwise read or write past its end.
inline bool holds_move(JNIEnv *env, jbyteArray array) { return array && env->GetArrayLength(array) >= AI_MOVE_SIZE; }

// The host's move for the module to read: the module works on the array's
// elements themselves, and what it writes there reaches the host's array.
template <> class Arg<param_MOVE_IN> {
public:
    using java_type = jbyteArray;
    static constexpr bool taken_from_vm = true;
    explicit Arg(jbyteArray array) : array_(array) {}
    bool acquire(JNIEnv *env) { return holds_move(env, array_) && elements_.acquire(env, array_); }
    ai_move *get() const { return reinterpret_cast<ai_move *>(elements_.get()); }
    void after_call(JNIEnv *) {}
    bool send(channel::PayloadWriter &w) const { return w.write(get(), AI_MOVE_SIZE); }
    bool receive_back(channel::PayloadReader &r) { return r.read(get(), AI_MOVE_SIZE); }

private:
    jbyteArray array_;
    ByteArrayElements elements_;
};

// The module's move, written into the move buffer, which the module is
// handed before anything of the array is asked of the VM. After the call an
// array that holds a move gets the buffer's five bytes; one that cannot (null
// or short) is left as it was, and the move stays in the buffer.
template <> class Arg<param_MOVE_OUT> {
public:
    using java_type = jbyteArray;
    static constexpr bool taken_from_vm = false;
    explicit Arg(jbyteArray array) : array_(array) {}
    bool acquire(JNIEnv *) { return true; }
    ai_move *get() const { return &move_buffer; }
    bool send(channel::PayloadWriter &w) const { return w.write(get(), AI_MOVE_SIZE); }
    bool receive_back(channel::PayloadReader &r) { return r.read(get(), AI_MOVE_SIZE); }
    void after_call(JNIEnv *env) {
        ByteArrayElements elements;
        if (holds_move(env, array_) && elements.acquire(env, array_))
            std::memcpy(elements.get(), &move_buffer, AI_MOVE_SIZE);
    }

private:
    jbyteArray array_;
};

template <class Kind> using java_param_t = typename Arg<Kind>::java_type;

} // namespace vantrell
