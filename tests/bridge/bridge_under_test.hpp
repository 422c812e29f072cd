// The bridge as a host's VM sees it: the library loaded by path, and each
// native method found by its exported JNI name and called with the JNI
// calling convention. The method types are spelled here from the Java side
// of each parameter kind, independently of the bridge's own sources.
#pragma once

#include "ai_module_list.h"

#include <jni.h>

#include <string>

namespace bridge_test {

template <class Kind> struct JavaType;
struct k_INT32;
struct k_FLAG;
struct k_TEXT;
struct k_MOVE_OUT;
struct k_MOVE_IN;
struct k_VOID;
struct k_TRUTH;
struct k_BOOL8;
struct k_VALUE;
template <> struct JavaType<k_INT32> { using type = jint; };
template <> struct JavaType<k_FLAG> { using type = jboolean; };
template <> struct JavaType<k_TEXT> { using type = jstring; };
template <> struct JavaType<k_MOVE_OUT> { using type = jbyteArray; };
template <> struct JavaType<k_MOVE_IN> { using type = jbyteArray; };
template <> struct JavaType<k_VOID> { using type = void; };
template <> struct JavaType<k_TRUTH> { using type = jboolean; };
template <> struct JavaType<k_BOOL8> { using type = jboolean; };
template <> struct JavaType<k_VALUE> { using type = jint; };

// The exported name of a native method: the JNI name, and on 32-bit Windows
// its __stdcall decoration (8 bytes for env and class, then the arguments).
std::string jni_export_name(const char *method, int argument_bytes);

#define BRIDGE_TEST_JAVA_PARAM(kind, name) , typename JavaType<k_##kind>::type
#define BRIDGE_TEST_METHOD(result, name, bytes, params, missing) \
    typename JavaType<k_##result>::type(JNICALL *name)(          \
        JNIEnv *, jclass AI_PARAMS(bytes, params, , BRIDGE_TEST_JAVA_PARAM, BRIDGE_TEST_JAVA_PARAM)) = nullptr;

struct Bridge {
    jboolean(JNICALL *initializeLibrary)(JNIEnv *, jclass, jstring) = nullptr;
    AI_MODULE_FUNCTIONS(BRIDGE_TEST_METHOD)

    // Loads the bridge (this build's, or the one at `path`) and finds every
    // method; names not found are listed in `missing` and left null.
    Bridge();
    explicit Bridge(const std::string &path);
    std::string missing;
};

#undef BRIDGE_TEST_METHOD
#undef BRIDGE_TEST_JAVA_PARAM

// The bridge loaded once per test program.
Bridge &bridge();

} // namespace bridge_test
