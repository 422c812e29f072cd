// Scoped holders of what the bridge borrows from the VM. Each takes one
// resource in acquire() and gives it back in its destructor, so every Get is
// matched by its Release in the same native method, on every path out of it.
// A failed acquire() leaves nothing to release.
#pragma once

#include <jni.h>

namespace vantrell {

// A string's UTF-16 units (GetStringChars), not terminated.
class StringChars {
public:
    StringChars() = default;
    StringChars(const StringChars &) = delete;
    StringChars &operator=(const StringChars &) = delete;
    ~StringChars() {
        if (chars_)
            env_->ReleaseStringChars(string_, chars_);
    }

    bool acquire(JNIEnv *env, jstring string) {
        env_ = env;
        string_ = string;
        length_ = env->GetStringLength(string);
        chars_ = env->GetStringChars(string, nullptr);
        return chars_ != nullptr;
    }
    const jchar *data() const { return chars_; }
    jsize length() const { return length_; }

private:
    JNIEnv *env_ = nullptr;
    jstring string_ = nullptr;
    jsize length_ = 0;
    const jchar *chars_ = nullptr;
};

// A string's modified UTF-8 characters, NUL-terminated (GetStringUTFChars).
class StringUtfChars {
public:
    StringUtfChars() = default;
    StringUtfChars(const StringUtfChars &) = delete;
    StringUtfChars &operator=(const StringUtfChars &) = delete;
    ~StringUtfChars() {
        if (chars_)
            env_->ReleaseStringUTFChars(string_, chars_);
    }

    bool acquire(JNIEnv *env, jstring string) {
        env_ = env;
        string_ = string;
        chars_ = env->GetStringUTFChars(string, nullptr);
        return chars_ != nullptr;
    }
    const char *get() const { return chars_; }

private:
    JNIEnv *env_ = nullptr;
    jstring string_ = nullptr;
    const char *chars_ = nullptr;
};

// A byte array's elements (GetByteArrayElements), released with mode 0 so
// that whatever was written reaches the Java array, copy or not.
class ByteArrayElements {
public:
    ByteArrayElements() = default;
    ByteArrayElements(const ByteArrayElements &) = delete;
    ByteArrayElements &operator=(const ByteArrayElements &) = delete;
    ~ByteArrayElements() {
        if (elements_)
            env_->ReleaseByteArrayElements(array_, elements_, 0);
    }

    bool acquire(JNIEnv *env, jbyteArray array) {
        env_ = env;
        array_ = array;
        elements_ = env->GetByteArrayElements(array, nullptr);
        return elements_ != nullptr;
    }
    jbyte *get() const { return elements_; }

private:
    JNIEnv *env_ = nullptr;
    jbyteArray array_ = nullptr;
    jbyte *elements_ = nullptr;
};

// A local reference the bridge made itself (a class, a string), deleted
// when it goes out of scope, so that a native method leaves the VM's local
// frame as it found it.
template <class Reference> class LocalRef {
public:
    LocalRef(JNIEnv *env, Reference reference) : env_(env), reference_(reference) {}
    LocalRef(const LocalRef &) = delete;
    LocalRef &operator=(const LocalRef &) = delete;
    ~LocalRef() {
        if (reference_)
            env_->DeleteLocalRef(reference_);
    }
    Reference get() const { return reference_; }

private:
    JNIEnv *env_;
    Reference reference_;
};

} // namespace vantrell
