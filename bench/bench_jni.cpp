// The benchmark's own JNI library, behind com.quenbrook.ravo.tessel.bench.BareNative:
//   - nothing(): the cheapest native method there is, the floor every row is
//     compared with;
//   - allocateOnce(): one malloc and one free, the check that the allocation
//     counter sees what it should;
//   - access to the allocation counter of alloc_count_shim.c, when preloaded;
//   - component(): the pieces of the bridge's forwarding path, each timed in
//     a loop inside one native call, so their cost is free of the JNI
//     transition. The lookups call the bridge's own module loader layer;
//     the former lookup (dlsym, then dlinfo and dladdr1 to check that the
//     address is the module's own) and dlsym alone are there to compare.
#include "module_loader.hpp"

#include <jni.h>

#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <link.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

using count_begin_fn = void (*)();
using count_end_fn = void (*)(std::uint64_t *, std::uint64_t *);

// Found once: the shim is preloaded or it is not.
struct Counter {
    count_begin_fn begin = nullptr;
    count_end_fn end = nullptr;
    Counter() {
        begin = reinterpret_cast<count_begin_fn>(dlsym(RTLD_DEFAULT, "vantrell_bench_count_begin"));
        end = reinterpret_cast<count_end_fn>(dlsym(RTLD_DEFAULT, "vantrell_bench_count_end"));
        if (!begin || !end)
            begin = nullptr, end = nullptr;
    }
    bool available() const { return begin != nullptr; }
};

const Counter &counter() {
    static const Counter instance;
    return instance;
}

// Keeps the compiler from dropping the work whose cost is measured.
volatile std::uintptr_t sink;
void *volatile kept_block;

std::int64_t now_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Keep in step with BareNative.Component.
enum Component : jint {
    find_export_hit = 0,
    find_export_miss = 1,
    find_export_hit_large = 2,
    former_lookup_hit = 3,
    former_lookup_hit_large = 4,
    dlsym_hit = 5,
    dlsym_miss = 6,
    string_utf_chars = 7,
    string_utf_region = 8,
    byte_array_elements = 9,
    byte_array_region = 10,
    new_string_utf = 11,
};

constexpr const char *found_name = "_setSkillLevel@4";
constexpr const char *missing_name = "_setMoveTimeLimit@4";
// As the bridge has them: hashed at compile time.
constexpr vantrell::loader::ExportName found_export = vantrell::loader::export_name(found_name);
constexpr vantrell::loader::ExportName missing_export = vantrell::loader::export_name(missing_name);
constexpr const char *public_name = "Quiet benchmark module";

// The bridge's former lookup after dlsym: is the address the module's own?
bool owned_by(void *module, void *address) {
    struct link_map *module_map = nullptr;
    struct link_map *owner_map = nullptr;
    Dl_info info;
    return dlinfo(module, RTLD_DI_LINKMAP, &module_map) == 0 &&
           dladdr1(address, &info, reinterpret_cast<void **>(&owner_map), RTLD_DL_LINKMAP) != 0 &&
           owner_map == module_map;
}

// One pass of `count` repetitions of a component; false for an unknown one.
bool run_component(JNIEnv *env, jint which, void *module, jstring text, jbyteArray move, jint count) {
    std::uintptr_t acc = 0;
    static const std::uint8_t record[5] = {1, 2, 1, 3, 4};
    // Read once, as the bridge does at load.
    const vantrell::loader::ExportTable table = vantrell::loader::export_table(module);
    switch (which) {
    case find_export_hit:
    case find_export_hit_large:
        for (jint i = 0; i < count; ++i)
            acc += reinterpret_cast<std::uintptr_t>(vantrell::loader::find_export(table, found_export));
        break;
    case find_export_miss:
        for (jint i = 0; i < count; ++i)
            acc += reinterpret_cast<std::uintptr_t>(vantrell::loader::find_export(table, missing_export));
        break;
    case former_lookup_hit:
    case former_lookup_hit_large:
        for (jint i = 0; i < count; ++i) {
            void *address = dlsym(module, found_name);
            acc += address && owned_by(module, address);
        }
        break;
    case dlsym_hit:
        for (jint i = 0; i < count; ++i)
            acc += reinterpret_cast<std::uintptr_t>(dlsym(module, found_name));
        break;
    case dlsym_miss:
        for (jint i = 0; i < count; ++i)
            acc += reinterpret_cast<std::uintptr_t>(dlsym(module, missing_name));
        break;
    case string_utf_chars:
        for (jint i = 0; i < count; ++i) {
            const char *chars = env->GetStringUTFChars(text, nullptr);
            acc += static_cast<unsigned char>(chars[0]);
            env->ReleaseStringUTFChars(text, chars);
        }
        break;
    case string_utf_region:
        // The allocation-free way to the same NUL-terminated modified UTF-8,
        // for strings that fit a buffer on the stack.
        for (jint i = 0; i < count; ++i) {
            char buffer[256];
            jsize units = env->GetStringLength(text);
            jsize bytes = env->GetStringUTFLength(text);
            if (bytes >= static_cast<jsize>(sizeof buffer))
                return false;
            env->GetStringUTFRegion(text, 0, units, buffer);
            buffer[bytes] = '\0';
            acc += static_cast<unsigned char>(buffer[0]);
        }
        break;
    case byte_array_elements:
        // getAIMove's way of handing the move back: length check, then the
        // array's elements taken, written and released.
        for (jint i = 0; i < count; ++i) {
            if (env->GetArrayLength(move) < 5)
                return false;
            jbyte *elements = env->GetByteArrayElements(move, nullptr);
            std::memcpy(elements, record, 5);
            env->ReleaseByteArrayElements(move, elements, 0);
            acc += 1;
        }
        break;
    case byte_array_region:
        // The same result without taking the elements: one copy into the array.
        for (jint i = 0; i < count; ++i) {
            if (env->GetArrayLength(move) < 5)
                return false;
            env->SetByteArrayRegion(move, 0, 5, reinterpret_cast<const jbyte *>(record));
            acc += 1;
        }
        break;
    case new_string_utf:
        for (jint i = 0; i < count; ++i) {
            jstring made = env->NewStringUTF(public_name);
            acc += reinterpret_cast<std::uintptr_t>(made) & 1;
            env->DeleteLocalRef(made);
        }
        break;
    default: return false;
    }
    sink = sink + acc;
    return true;
}

} // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_quenbrook_ravo_tessel_bench_BareNative_nothing(JNIEnv *, jclass) {}

JNIEXPORT void JNICALL Java_com_quenbrook_ravo_tessel_bench_BareNative_allocateOnce(JNIEnv *, jclass) {
    // Through a volatile pointer: the compiler may drop a malloc whose block
    // is freed unused.
    kept_block = std::malloc(16);
    std::free(kept_block);
}

JNIEXPORT jboolean JNICALL Java_com_quenbrook_ravo_tessel_bench_BareNative_countingAvailable(JNIEnv *, jclass) {
    return counter().available() ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT void JNICALL Java_com_quenbrook_ravo_tessel_bench_BareNative_countBegin(JNIEnv *, jclass) {
    if (counter().available())
        counter().begin();
}

// out[0]: allocations, out[1]: releases, since countBegin on this thread.
JNIEXPORT void JNICALL Java_com_quenbrook_ravo_tessel_bench_BareNative_countEnd(JNIEnv *env, jclass, jlongArray out) {
    std::uint64_t allocated = 0, released = 0;
    if (counter().available())
        counter().end(&allocated, &released);
    jlong values[2] = {static_cast<jlong>(allocated), static_cast<jlong>(released)};
    env->SetLongArrayRegion(out, 0, 2, values);
}

JNIEXPORT jstring JNICALL Java_com_quenbrook_ravo_tessel_bench_BareNative_libcVersion(JNIEnv *env, jclass) {
    return env->NewStringUTF(gnu_get_libc_version());
}

// Times `iterations` repetitions of a component against the module at
// `modulePath` and returns the elapsed nanoseconds, or -1 when the component
// cannot run. When counting is available, a second pass of `counted`
// repetitions is counted into counts[0] (allocations) and counts[1]
// (releases); otherwise both are -1.
JNIEXPORT jlong JNICALL Java_com_quenbrook_ravo_tessel_bench_BareNative_component(JNIEnv *env, jclass, jint which,
                                                                                  jstring modulePath, jstring text,
                                                                                  jbyteArray move, jint iterations,
                                                                                  jint counted, jlongArray counts) {
    const char *path = env->GetStringUTFChars(modulePath, nullptr);
    if (!path)
        return -1;
    // The same flags as the bridge; a module the bridge has loaded comes back
    // with the same handle.
    void *module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    env->ReleaseStringUTFChars(modulePath, path);
    if (!module)
        return -1;

    jlong elapsed = -1;
    jlong values[2] = {-1, -1};
    if (run_component(env, which, module, text, move, iterations > 0 ? iterations / 10 + 1 : 0)) {
        std::int64_t start = now_ns();
        run_component(env, which, module, text, move, iterations);
        elapsed = now_ns() - start;
        if (counter().available() && counted > 0) {
            std::uint64_t allocated = 0, released = 0;
            counter().begin();
            run_component(env, which, module, text, move, counted);
            counter().end(&allocated, &released);
            values[0] = static_cast<jlong>(allocated);
            values[1] = static_cast<jlong>(released);
        }
    }
    dlclose(module);
    env->SetLongArrayRegion(counts, 0, 2, values);
    return elapsed;
}

} // extern "C"
