// A stand-in for a Java VM that native methods can be driven through in
// tests: a complete JNINativeInterface_ table, a handful of implemented
// functions that behave the way a real VM is allowed to behave at its least
// convenient (copies, no terminators, refusals), and bookkeeping of every
// call so that misuse shows up as a list of violations.
//
// Deliberately free of any test framework so a fuzz target can use it too.
// Single-threaded: one JNIEnv, used from one thread.
#pragma once

#include <jni.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fakejvm {

class FakeVm {
public:
    FakeVm();
    ~FakeVm();
    FakeVm(const FakeVm &) = delete;
    FakeVm &operator=(const FakeVm &) = delete;

    JNIEnv *env();
    // The class whose static native methods are called (their 2nd argument).
    jclass klass();

    // Objects the test passes in as arguments. They stay alive (and readable
    // through the accessors below) until the FakeVm is destroyed.
    jstring string(std::u16string_view utf16);
    // Standard UTF-8 is converted to UTF-16; malformed input throws
    // std::invalid_argument. Use the u16 overload for lone surrogates.
    jstring string(std::string_view utf8);
    jbyteArray bytes(std::vector<int8_t> elements);

    // A system property the native code may read (System.getProperty, the
    // one static method this VM knows); unset ones read as null.
    void set_property(std::string_view name, std::string_view value);

    // Inspection. Unknown or null references throw std::invalid_argument.
    std::vector<int8_t> contents(jbyteArray array) const;
    // For a string made by NewStringUTF: the bytes exactly as passed in.
    // For any other string: its modified UTF-8 encoding.
    std::string modified_utf8(jstring string) const;
    std::u16string utf16(jstring string) const;

    // Failure injection. A refused call returns null and leaves an
    // OutOfMemoryError pending. `refuse_x(true)` refuses every later call,
    // `refuse_x(false)` none, `refuse_x_after(n)` lets n more calls succeed and
    // refuses the rest, so a test can fail the second of two Gets.
    void refuse_string_chars(bool refuse); // GetStringChars/UTFChars/Critical
    void refuse_string_chars_after(std::size_t successes);
    void refuse_array_elements(bool refuse); // GetByteArrayElements, ...Critical
    void refuse_array_elements_after(std::size_t successes);
    void refuse_new_strings(bool refuse); // NewStringUTF, NewString
    void refuse_new_strings_after(std::size_t successes);
    void refuse_new_arrays(bool refuse); // NewByteArray
    void refuse_new_arrays_after(std::size_t successes);

    // The exception left pending by the native code (or by a refusal).
    bool exception_pending() const;
    std::string exception_class() const;   // e.g. "java/lang/OutOfMemoryError"
    std::string exception_message() const; // as given to ThrowNew
    void clear_exception();

    // Accounting.
    std::vector<std::string> calls() const; // JNI functions called, in order
    void clear_calls();
    // Told the name of every JNI function as it is called, so that a test can
    // interleave the VM's calls with other events (the module's calls).
    void observe_calls(std::function<void(const char *function)> observer);
    std::size_t outstanding() const; // Get*Chars/Elements/Critical not released
    // Modes passed to ReleaseByteArrayElements and ReleasePrimitiveArrayCritical.
    std::vector<jint> array_release_modes() const;
    // Misuse seen so far plus one entry per outstanding Get; empty when clean.
    std::vector<std::string> violations() const;

    // Name of the JNINativeInterface_ slot `index` counts from the start of the
    // table (reserved slots included); nullptr past the names this build knows.
    static const char *slot_name(std::size_t index);
    static std::size_t slot_count();

    // Internal; public only so the JNI functions in fake_jvm.cpp can name it.
    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace fakejvm
