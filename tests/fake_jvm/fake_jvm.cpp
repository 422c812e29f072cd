#include "fake_jvm.hpp"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <unordered_map>
#include <utility>

namespace fakejvm {
namespace {

// ---------------------------------------------------------------------------
// Slot names, by position in the table. offsetof keeps the positions right
// for whichever jni.h this is compiled against.

#define FAKE_JVM_SLOTS(X)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                              \
    X(reserved0)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                       \
    X(reserved1) X(reserved2) X(reserved3) X(GetVersion) X(DefineClass) X(FindClass) X(FromReflectedMethod) X(FromReflectedField) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                   \
        ToReflectedMethod) X(GetSuperclass) X(IsAssignableFrom) X(ToReflectedField) X(Throw) X(ThrowNew) X(ExceptionOccurred)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                          \
        X(ExceptionDescribe) X(ExceptionClear) X(FatalError) X(PushLocalFrame) X(PopLocalFrame) X(NewGlobalRef) X(DeleteGlobalRef) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                  \
            DeleteLocalRef) X(IsSameObject) X(NewLocalRef) X(EnsureLocalCapacity) X(AllocObject)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                       \
            X(NewObject) X(NewObjectV) X(NewObjectA) X(GetObjectClass) X(IsInstanceOf) X(GetMethodID) X(CallObjectMethod) X(CallObjectMethodV) X(CallObjectMethodA) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                 \
                CallBooleanMethod) X(CallBooleanMethodV) X(CallBooleanMethodA) X(CallByteMethod) X(CallByteMethodV) X(CallByteMethodA) X(CallCharMethod)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                               \
                X(CallCharMethodV) X(CallCharMethodA) X(CallShortMethod) X(CallShortMethodV) X(CallShortMethodA) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                    \
                    CallIntMethod) X(CallIntMethodV) X(CallIntMethodA) X(CallLongMethod) X(CallLongMethodV) X(CallLongMethodA)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                         \
                    X(CallFloatMethod) X(CallFloatMethodV) X(CallFloatMethodA) X(CallDoubleMethod) X(CallDoubleMethodV) X(CallDoubleMethodA) X(CallVoidMethod) X(CallVoidMethodV) X(CallVoidMethodA) X(CallNonvirtualObjectMethod) X(CallNonvirtualObjectMethodV) X(CallNonvirtualObjectMethodA) X(CallNonvirtualBooleanMethod) X(CallNonvirtualBooleanMethodV) X(CallNonvirtualBooleanMethodA) X(CallNonvirtualByteMethod) X(CallNonvirtualByteMethodV) X(CallNonvirtualByteMethodA) X(CallNonvirtualCharMethod) X(CallNonvirtualCharMethodV) X(CallNonvirtualCharMethodA) X(CallNonvirtualShortMethod) X(CallNonvirtualShortMethodV) X(CallNonvirtualShortMethodA) X(CallNonvirtualIntMethod) X(CallNonvirtualIntMethodV) X(CallNonvirtualIntMethodA) X(CallNonvirtualLongMethod) X( \
                        CallNonvirtualLongMethodV) X(CallNonvirtualLongMethodA) X(CallNonvirtualFloatMethod) X(CallNonvirtualFloatMethodV) X(CallNonvirtualFloatMethodA) X(CallNonvirtualDoubleMethod) X(CallNonvirtualDoubleMethodV) X(CallNonvirtualDoubleMethodA) X(CallNonvirtualVoidMethod) X(CallNonvirtualVoidMethodV) X(CallNonvirtualVoidMethodA) X(GetFieldID) X(GetObjectField) X(GetBooleanField) X(GetByteField) X(GetCharField) X(GetShortField) X(GetIntField) X(GetLongField) X(GetFloatField) X(GetDoubleField) X(SetObjectField) X(SetBooleanField) X(SetByteField) X(SetCharField) X(SetShortField) X(SetIntField) X(SetLongField) X(SetFloatField) X(SetDoubleField) X(GetStaticMethodID) X(CallStaticObjectMethod) X(CallStaticObjectMethodV)                     \
                        X(CallStaticObjectMethodA) X(CallStaticBooleanMethod) X(CallStaticBooleanMethodV) X(CallStaticBooleanMethodA) X(CallStaticByteMethod) X(CallStaticByteMethodV) X(CallStaticByteMethodA) X(CallStaticCharMethod) X(CallStaticCharMethodV) X(CallStaticCharMethodA) X(CallStaticShortMethod) X(CallStaticShortMethodV) X(                                                                                                                                                                                                                                                                                                                                                                                                                                        \
                            CallStaticShortMethodA) X(CallStaticIntMethod) X(CallStaticIntMethodV) X(CallStaticIntMethodA) X(CallStaticLongMethod) X(CallStaticLongMethodV) X(CallStaticLongMethodA)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                   \
                            X(CallStaticFloatMethod) X(CallStaticFloatMethodV) X(CallStaticFloatMethodA) X(CallStaticDoubleMethod) X(CallStaticDoubleMethodV) X(CallStaticDoubleMethodA) X(CallStaticVoidMethod) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                    \
                                CallStaticVoidMethodV) X(CallStaticVoidMethodA) X(GetStaticFieldID) X(GetStaticObjectField) X(GetStaticBooleanField) X(GetStaticByteField)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                             \
                                X(GetStaticCharField) X(GetStaticShortField) X(GetStaticIntField) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                   \
                                    GetStaticLongField) X(GetStaticFloatField) X(GetStaticDoubleField) X(SetStaticObjectField) X(SetStaticBooleanField) X(SetStaticByteField)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                          \
                                    X(SetStaticCharField) X(SetStaticShortField) X(SetStaticIntField) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                               \
                                        SetStaticLongField) X(SetStaticFloatField) X(SetStaticDoubleField) X(NewString)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                \
                                        X(GetStringLength) X(GetStringChars) X(ReleaseStringChars) X(NewStringUTF) X(GetStringUTFLength) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                            \
                                            GetStringUTFChars) X(ReleaseStringUTFChars) X(GetArrayLength) X(NewObjectArray)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                            \
                                            X(GetObjectArrayElement) X(SetObjectArrayElement) X(NewBooleanArray) X(NewByteArray) X(NewCharArray) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                    \
                                                NewShortArray) X(NewIntArray) X(NewLongArray)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                          \
                                                X(NewFloatArray) X(NewDoubleArray) X(GetBooleanArrayElements) X(GetByteArrayElements) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                               \
                                                    GetCharArrayElements) X(GetShortArrayElements)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                     \
                                                    X(GetIntArrayElements) X(GetLongArrayElements) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                  \
                                                        GetFloatArrayElements) X(GetDoubleArrayElements)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                               \
                                                        X(ReleaseBooleanArrayElements) X(ReleaseByteArrayElements) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                  \
                                                            ReleaseCharArrayElements) X(ReleaseShortArrayElements)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                     \
                                                            X(ReleaseIntArrayElements) X(ReleaseLongArrayElements) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                  \
                                                                ReleaseFloatArrayElements) X(ReleaseDoubleArrayElements)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                               \
                                                                X(GetBooleanArrayRegion) X(GetByteArrayRegion) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                      \
                                                                    GetCharArrayRegion) X(GetShortArrayRegion)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                         \
                                                                    X(GetIntArrayRegion) X(GetLongArrayRegion) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                      \
                                                                        GetFloatArrayRegion) X(GetDoubleArrayRegion)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                   \
                                                                        X(SetBooleanArrayRegion) X(SetByteArrayRegion) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                              \
                                                                            SetCharArrayRegion) X(SetShortArrayRegion) X(SetIntArrayRegion)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                            \
                                                                            X(SetLongArrayRegion) X(SetFloatArrayRegion) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                            \
                                                                                SetDoubleArrayRegion) X(RegisterNatives)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                               \
                                                                                X(UnregisterNatives) X(MonitorEnter) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                \
                                                                                    MonitorExit) X(GetJavaVM) X(GetStringRegion)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                       \
                                                                                    X(GetStringUTFRegion) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                           \
                                                                                        GetPrimitiveArrayCritical)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                     \
                                                                                        X(ReleasePrimitiveArrayCritical) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                            \
                                                                                            GetStringCritical)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                         \
                                                                                            X(ReleaseStringCritical) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                \
                                                                                                NewWeakGlobalRef)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                      \
                                                                                                X(DeleteWeakGlobalRef) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                              \
                                                                                                    ExceptionCheck)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                    \
                                                                                                    X(NewDirectByteBuffer) X(                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                          \
                                                                                                        GetDirectBufferAddress)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                        \
                                                                                                        X(GetDirectBufferCapacity)                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                                     \
                                                                                                            X(GetObjectRefType)

struct NamedSlot {
    std::size_t index;
    const char *name;
};

#define FAKE_JVM_NAMED(member) NamedSlot{offsetof(JNINativeInterface_, member) / sizeof(void *), #member},

constexpr NamedSlot kNamedSlots[] = {FAKE_JVM_SLOTS(FAKE_JVM_NAMED)
#ifdef JNI_VERSION_9
                                         FAKE_JVM_NAMED(GetModule)
#endif
#ifdef JNI_VERSION_19
                                             FAKE_JVM_NAMED(IsVirtualThread)
#endif
#ifdef JNI_VERSION_24
                                                 FAKE_JVM_NAMED(GetStringUTFLengthAsLong)
#endif
};

// The table is a run of pointer-sized slots; the traps are stored into it
// byte-wise, everything the fake implements is then assigned by member name,
// which makes the compiler check each signature against jni.h.
using AnySlot = void(JNICALL *)(JNIEnv *);
static_assert(sizeof(AnySlot) == sizeof(void *), "function and data pointers differ");
static_assert(sizeof(JNINativeInterface_) % sizeof(void *) == 0, "unexpected table layout");
constexpr std::size_t kSlotCount = sizeof(JNINativeInterface_) / sizeof(void *);

const char *name_of_slot(std::size_t index) {
    for (const NamedSlot &slot : kNamedSlots)
        if (slot.index == index)
            return slot.name;
    return nullptr;
}

// One parameter list serves every slot, so a call through the slot's real
// type is a type mismatch: keep the sanitizer from reporting it as such,
// the trap's own message says more.
#if defined(__clang__)
#define FAKE_JVM_ANY_CALLER __attribute__((no_sanitize("function")))
#else
#define FAKE_JVM_ANY_CALLER
#endif

// Never returns: with __stdcall the callee pops its arguments, so a trap
// whose parameter list differs from the caller's must not go back.
template <std::size_t Index> FAKE_JVM_ANY_CALLER void JNICALL trap(JNIEnv *) {
    const char *name = name_of_slot(Index);
    std::string line = "fake_jvm: JNI function #" + std::to_string(Index) + " (" + (name ? name : "unnamed slot") +
                       ") is not implemented by the fake JVM\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    std::abort();
}

template <std::size_t... Index> void fill_with_traps(JNINativeInterface_ &table, std::index_sequence<Index...>) {
    auto *bytes = reinterpret_cast<unsigned char *>(&table);
    const AnySlot traps[] = {&trap<Index>...};
    std::memcpy(bytes, traps, sizeof(traps));
}

// ---------------------------------------------------------------------------
// Text conversions.

std::string to_modified_utf8(std::u16string_view units) {
    std::string out;
    for (char16_t u : units) {
        if (u != 0 && u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) { // includes U+0000 as C0 80
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else { // surrogates too, each on its own
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

bool continuation(const std::string &s, std::size_t i) {
    return i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80;
}

// Decodes modified UTF-8; on malformed input sets `error` (first problem
// only) and substitutes U+FFFD for the offending byte.
std::u16string from_modified_utf8(const std::string &s, std::string &error) {
    std::u16string out;
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            i += 1;
            continue;
        }
        if ((b & 0xE0) == 0xC0 && continuation(s, i + 1)) {
            const unsigned v = ((b & 0x1F) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3F);
            if (v == 0 || v >= 0x80) {
                out += static_cast<char16_t>(v);
                i += 2;
                continue;
            }
        } else if ((b & 0xF0) == 0xE0 && continuation(s, i + 1) && continuation(s, i + 2)) {
            const unsigned v = ((b & 0x0F) << 12) | ((static_cast<unsigned char>(s[i + 1]) & 0x3F) << 6) |
                               (static_cast<unsigned char>(s[i + 2]) & 0x3F);
            if (v >= 0x800) {
                out += static_cast<char16_t>(v);
                i += 3;
                continue;
            }
        }
        if (error.empty()) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", b);
            error = "input is not modified UTF-8 (byte " + std::string(hex) + " at offset " + std::to_string(i) +
                    (b >= 0xF0 ? "; a supplementary character must be two 3-byte surrogates)" : ")");
        }
        out += u'\uFFFD';
        i += 1;
    }
    return out;
}

std::u16string from_standard_utf8(std::string_view s) {
    std::u16string out;
    std::size_t i = 0;
    auto fail = [&] { throw std::invalid_argument("fakejvm: malformed UTF-8 at offset " + std::to_string(i)); };
    auto cont = [&](std::size_t k) -> unsigned {
        if (k >= s.size() || (static_cast<unsigned char>(s[k]) & 0xC0) != 0x80)
            fail();
        return static_cast<unsigned char>(s[k]) & 0x3F;
    };
    while (i < s.size()) {
        const unsigned b = static_cast<unsigned char>(s[i]);
        char32_t cp = 0;
        std::size_t n = 1;
        if (b < 0x80) {
            cp = b, n = 1;
        } else if (b >= 0xC2 && b < 0xE0) {
            cp = ((b & 0x1F) << 6) | cont(i + 1), n = 2;
        } else if ((b & 0xF0) == 0xE0) {
            cp = ((b & 0x0F) << 12) | (cont(i + 1) << 6) | cont(i + 2), n = 3;
            if (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))
                fail();
        } else if (b >= 0xF0 && b < 0xF5) {
            cp = ((b & 0x07) << 18) | (cont(i + 1) << 12) | (cont(i + 2) << 6) | cont(i + 3), n = 4;
            if (cp < 0x10000 || cp > 0x10FFFF)
                fail();
        } else {
            fail();
        }
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += n;
    }
    return out;
}

// ---------------------------------------------------------------------------
// Objects and loans.

enum class Kind { Class, String, ByteArray, Throwable };

struct Object {
    Kind kind;
    bool deleted = false; // DeleteLocalRef was called on it
    std::u16string text;  // String
    bool from_new_string_utf = false;
    std::string utf_bytes;        // String: the bytes given to NewStringUTF
    std::vector<int8_t> elements; // ByteArray
    std::string class_name;       // Class: its name; Throwable: its class
    std::string message;          // Throwable
};

enum class LoanKind { StringChars, StringUtfChars, StringCritical, ArrayElements, ArrayCritical };

const char *get_name(LoanKind k) {
    switch (k) {
    case LoanKind::StringChars: return "GetStringChars";
    case LoanKind::StringUtfChars: return "GetStringUTFChars";
    case LoanKind::StringCritical: return "GetStringCritical";
    case LoanKind::ArrayElements: return "GetByteArrayElements";
    case LoanKind::ArrayCritical: return "GetPrimitiveArrayCritical";
    }
    return "?";
}

const char *release_name(LoanKind k) {
    switch (k) {
    case LoanKind::StringChars: return "ReleaseStringChars";
    case LoanKind::StringUtfChars: return "ReleaseStringUTFChars";
    case LoanKind::StringCritical: return "ReleaseStringCritical";
    case LoanKind::ArrayElements: return "ReleaseByteArrayElements";
    case LoanKind::ArrayCritical: return "ReleasePrimitiveArrayCritical";
    }
    return "?";
}

bool is_array(LoanKind k) { return k == LoanKind::ArrayElements || k == LoanKind::ArrayCritical; }

bool is_critical(LoanKind k) { return k == LoanKind::StringCritical || k == LoanKind::ArrayCritical; }

// Guard bytes on both sides of an array copy, so that writes just outside
// the elements land in memory the fake checks on release.
constexpr std::size_t kCanary = 16;
constexpr unsigned char kCanaryByte = 0xA5;
// Stands where a terminator would be after GetStringChars: code that scans
// for a zero unit reads it, and then runs off the end of the allocation.
constexpr char16_t kNoTerminator = 0xFFFF;

// A buffer handed to the native code, kept byte-for-byte as given (strings)
// so writes into read-only buffers are noticed.
struct Loan {
    LoanKind kind;
    Object *object;
    std::unique_ptr<unsigned char[]> storage;
    std::size_t size;
    std::vector<unsigned char> original; // strings only: the bytes handed out
};

struct Refusal {
    bool limited = false;
    std::size_t successes_left = 0;
    bool refuse() {
        if (!limited)
            return false;
        if (successes_left == 0)
            return true;
        --successes_left;
        return false;
    }
    void set(bool refuse_all) { limited = refuse_all, successes_left = 0; }
    void after(std::size_t n) { limited = true, successes_left = n; }
};

struct Pending {
    std::string class_name, message;
};

struct EnvBlock {
    JNIEnv_ jni; // first member: a JNIEnv* is also a pointer to the block
    FakeVm::Impl *impl;
};

} // namespace

struct FakeVm::Impl {
    JNINativeInterface_ table;
    EnvBlock env;
    std::unordered_map<const void *, std::unique_ptr<Object>> objects;
    std::map<const void *, Loan> loans;
    std::set<const void *> released; // freed loans whose address is not reused yet
    std::vector<std::string> calls, violations;
    std::function<void(const char *)> observer;
    std::vector<jint> modes;
    std::unique_ptr<Pending> pending;
    int critical_depth = 0;
    Refusal string_chars, array_elements, new_strings, new_arrays;
    std::map<std::u16string, std::u16string> properties; // System.getProperty's

    void violate(const char *fn, const std::string &what) { violations.push_back(std::string(fn) + ": " + what); }

    Object *make(Kind kind) {
        auto object = std::make_unique<Object>();
        object->kind = kind;
        Object *raw = object.get();
        objects.emplace(raw, std::move(object));
        return raw;
    }

    // The object behind a reference the native code passed in; nullptr (and
    // a violation) for anything a real VM would crash on.
    Object *use(const char *fn, const void *ref, Kind kind, const char *what) {
        if (!ref) {
            violate(fn, std::string("null ") + what);
            return nullptr;
        }
        auto it = objects.find(ref);
        if (it == objects.end()) {
            violate(fn, std::string(what) + " is not a reference this VM handed out");
            return nullptr;
        }
        Object *object = it->second.get();
        if (object->deleted) {
            violate(fn, std::string(what) + " is a deleted local reference");
            return nullptr;
        }
        if (object->kind != kind) {
            violate(fn, std::string("argument is not a ") + what);
            return nullptr;
        }
        return object;
    }

    const Object &inspect(const void *ref, Kind kind) const {
        auto it = objects.find(ref);
        if (!ref || it == objects.end() || it->second->kind != kind)
            throw std::invalid_argument("fakejvm: not a reference of the expected kind from this VM");
        return *it->second;
    }

    void raise(const char *class_name, std::string message) {
        pending = std::make_unique<Pending>(Pending{class_name, std::move(message)});
    }

    void refuse(const char *fn) { raise("java/lang/OutOfMemoryError", std::string(fn) + " refused by the test"); }

    void *lend(LoanKind kind, Object *object, std::vector<unsigned char> image, std::size_t offset,
               bool keep_original) {
        Loan loan{kind, object, std::make_unique<unsigned char[]>(image.size()), image.size(), {}};
        if (!image.empty())
            std::memcpy(loan.storage.get(), image.data(), image.size());
        if (keep_original)
            loan.original = std::move(image);
        void *handed_out = loan.storage.get() + offset;
        released.erase(handed_out);
        loans.emplace(handed_out, std::move(loan));
        if (is_critical(kind))
            ++critical_depth;
        return handed_out;
    }

    // The loan `buffer` belongs to, if it is one; violations for a buffer
    // released with the wrong function or for the wrong object.
    Loan *find_loan(const char *fn, const void *buffer, LoanKind expected, const Object *object) {
        if (!buffer) {
            violate(fn, "null buffer");
            return nullptr;
        }
        auto it = loans.find(buffer);
        if (it == loans.end()) {
            violate(fn, released.count(buffer) ? std::string("buffer released twice")
                                               : std::string("buffer was not handed out by ") + get_name(expected));
            return nullptr;
        }
        Loan &loan = it->second;
        if (loan.kind != expected)
            violate(fn, std::string("buffer came from ") + get_name(loan.kind) + ", not from " + get_name(expected));
        if (object && loan.object != object)
            violate(fn, "buffer belongs to a different object than the one passed");
        return &loan;
    }

    void end_loan(const void *buffer) {
        auto it = loans.find(buffer);
        if (is_critical(it->second.kind))
            --critical_depth;
        loans.erase(it);
        released.insert(buffer);
    }

    // Checks (and repairs, so each damage is reported once) the guard bytes.
    static std::vector<std::string> canary_damage(Loan &loan, bool repair) {
        std::vector<std::string> found;
        unsigned char *front = loan.storage.get();
        unsigned char *back = front + loan.size - kCanary;
        const std::size_t n = loan.size - 2 * kCanary;
        for (unsigned char *guard : {front, back}) {
            bool intact = true;
            for (std::size_t i = 0; i < kCanary; ++i)
                intact &= guard[i] == kCanaryByte;
            if (intact)
                continue;
            found.push_back(std::string(guard == back ? "write past the end" : "write before the start") +
                            " of the array (" + std::to_string(n) + " elements) from " + get_name(loan.kind));
            if (repair)
                std::memset(guard, kCanaryByte, kCanary);
        }
        return found;
    }

    void release_string(const char *fn, const void *ref, const void *buffer, LoanKind kind) {
        Object *object = use(fn, ref, Kind::String, "jstring");
        Loan *loan = find_loan(fn, buffer, kind, object);
        if (!loan)
            return;
        if (!is_array(loan->kind) && std::memcmp(loan->original.data(), loan->storage.get(), loan->size) != 0)
            violate(fn, std::string("native code wrote into the read-only buffer from ") + get_name(loan->kind));
        end_loan(buffer);
    }

    void release_array(const char *fn, const void *ref, void *buffer, jint mode, LoanKind kind) {
        Object *object = use(fn, ref, Kind::ByteArray, "jbyteArray");
        modes.push_back(mode);
        Loan *loan = find_loan(fn, buffer, kind, object);
        if (!loan)
            return;
        if (!is_array(loan->kind))
            return end_loan(buffer); // already reported
        for (std::string &damage : canary_damage(*loan, true))
            violate(fn, damage);
        auto copy_back = [&] {
            if (!loan->object->elements.empty())
                std::memcpy(loan->object->elements.data(), loan->storage.get() + kCanary,
                            loan->object->elements.size());
        };
        switch (mode) {
        case 0:
            copy_back();
            end_loan(buffer);
            break;
        case JNI_COMMIT: copy_back(); break;
        case JNI_ABORT: end_loan(buffer); break;
        default: violate(fn, "invalid release mode " + std::to_string(mode)); end_loan(buffer);
        }
    }
};

namespace {

// Which rules a function is exempt from: the few a real VM allows while an
// exception is pending (so cleanup after a failure is legal), and the ones
// allowed between Get*Critical and its release.
enum Allow : unsigned { kNone = 0, kWithException = 1, kInCritical = 2 };

FakeVm::Impl &enter(JNIEnv *env, const char *fn, unsigned allow) {
    FakeVm::Impl &vm = *reinterpret_cast<EnvBlock *>(env)->impl;
    vm.calls.emplace_back(fn);
    if (vm.observer)
        vm.observer(fn);
    if (vm.pending && !(allow & kWithException))
        vm.violate(fn, "JNI call with a pending exception (" + vm.pending->class_name + ")");
    if (vm.critical_depth > 0 && !(allow & kInCritical))
        vm.violate(fn, "JNI call inside a critical region");
    return vm;
}

#define FAKE_JVM_ENTER(allow) FakeVm::Impl &vm = enter(env, __func__, allow)

jobject ref(Object *object) { return reinterpret_cast<jobject>(object); }

std::vector<unsigned char> image_of_chars(const std::u16string &text) {
    std::vector<unsigned char> image((text.size() + 1) * sizeof(jchar));
    std::memcpy(image.data(), text.data(), text.size() * sizeof(jchar));
    std::memcpy(image.data() + text.size() * sizeof(jchar), &kNoTerminator, sizeof(jchar));
    return image;
}

std::vector<unsigned char> image_of_elements(const std::vector<int8_t> &elements) {
    std::vector<unsigned char> image(elements.size() + 2 * kCanary, kCanaryByte);
    if (!elements.empty())
        std::memcpy(image.data() + kCanary, elements.data(), elements.size());
    return image;
}

namespace fn {

jint JNICALL GetVersion(JNIEnv *env) {
    FAKE_JVM_ENTER(kNone);
    (void)vm;
    return JNI_VERSION_1_8;
}

jclass JNICALL FindClass(JNIEnv *env, const char *name) {
    FAKE_JVM_ENTER(kNone);
    if (!name) {
        vm.violate(__func__, "null class name");
        return nullptr;
    }
    Object *klass = vm.make(Kind::Class);
    klass->class_name = name;
    return static_cast<jclass>(ref(klass));
}

jint JNICALL Throw(JNIEnv *env, jthrowable throwable) {
    FAKE_JVM_ENTER(kNone);
    Object *object = vm.use(__func__, throwable, Kind::Throwable, "jthrowable");
    if (!object)
        return -1;
    vm.raise(object->class_name.c_str(), object->message);
    return 0;
}

jint JNICALL ThrowNew(JNIEnv *env, jclass klass, const char *message) {
    FAKE_JVM_ENTER(kNone);
    Object *object = vm.use(__func__, klass, Kind::Class, "jclass");
    if (!object)
        return -1;
    vm.raise(object->class_name.c_str(), message ? message : "");
    return 0;
}

jthrowable JNICALL ExceptionOccurred(JNIEnv *env) {
    FAKE_JVM_ENTER(kWithException);
    if (!vm.pending)
        return nullptr;
    Object *throwable = vm.make(Kind::Throwable);
    throwable->class_name = vm.pending->class_name;
    throwable->message = vm.pending->message;
    return static_cast<jthrowable>(ref(throwable));
}

void JNICALL ExceptionDescribe(JNIEnv *env) {
    FAKE_JVM_ENTER(kWithException);
    if (!vm.pending)
        return;
    std::fprintf(stderr, "fake_jvm: exception %s: %s\n", vm.pending->class_name.c_str(), vm.pending->message.c_str());
    vm.pending.reset();
}

void JNICALL ExceptionClear(JNIEnv *env) {
    FAKE_JVM_ENTER(kWithException);
    vm.pending.reset();
}

jboolean JNICALL ExceptionCheck(JNIEnv *env) {
    FAKE_JVM_ENTER(kWithException);
    return vm.pending ? JNI_TRUE : JNI_FALSE;
}

void JNICALL FatalError(JNIEnv *env, const char *message) {
    FAKE_JVM_ENTER(kWithException | kInCritical);
    (void)vm;
    std::fprintf(stderr, "fake_jvm: FatalError: %s\n", message ? message : "(null)");
    std::fflush(stderr);
    std::abort();
}

void JNICALL DeleteLocalRef(JNIEnv *env, jobject object) {
    FAKE_JVM_ENTER(kWithException);
    if (!object)
        return; // allowed, does nothing
    auto it = vm.objects.find(object);
    if (it == vm.objects.end())
        vm.violate(__func__, "not a reference this VM handed out");
    else if (it->second->deleted)
        vm.violate(__func__, "local reference deleted twice");
    else
        it->second->deleted = true;
}

jstring JNICALL NewString(JNIEnv *env, const jchar *units, jsize length) {
    FAKE_JVM_ENTER(kNone);
    if (length < 0 || (!units && length > 0)) {
        vm.violate(__func__, "null characters or negative length");
        return nullptr;
    }
    if (vm.new_strings.refuse()) {
        vm.refuse(__func__);
        return nullptr;
    }
    Object *string = vm.make(Kind::String);
    string->text.assign(reinterpret_cast<const char16_t *>(units), static_cast<std::size_t>(length));
    return static_cast<jstring>(ref(string));
}

jsize JNICALL GetStringLength(JNIEnv *env, jstring string) {
    FAKE_JVM_ENTER(kNone);
    Object *object = vm.use(__func__, string, Kind::String, "jstring");
    return object ? static_cast<jsize>(object->text.size()) : 0;
}

const jchar *chars(FakeVm::Impl &vm, const char *fn, jstring string, jboolean *is_copy, LoanKind kind) {
    Object *object = vm.use(fn, string, Kind::String, "jstring");
    if (!object)
        return nullptr;
    if (vm.string_chars.refuse()) {
        vm.refuse(fn);
        return nullptr;
    }
    if (is_copy)
        *is_copy = JNI_TRUE;
    return static_cast<const jchar *>(vm.lend(kind, object, image_of_chars(object->text), 0, true));
}

const jchar *JNICALL GetStringChars(JNIEnv *env, jstring string, jboolean *is_copy) {
    FAKE_JVM_ENTER(kNone);
    return chars(vm, __func__, string, is_copy, LoanKind::StringChars);
}

void JNICALL ReleaseStringChars(JNIEnv *env, jstring string, const jchar *buffer) {
    FAKE_JVM_ENTER(kWithException);
    vm.release_string(__func__, string, buffer, LoanKind::StringChars);
}

const jchar *JNICALL GetStringCritical(JNIEnv *env, jstring string, jboolean *is_copy) {
    FAKE_JVM_ENTER(kInCritical);
    return chars(vm, __func__, string, is_copy, LoanKind::StringCritical);
}

void JNICALL ReleaseStringCritical(JNIEnv *env, jstring string, const jchar *buffer) {
    FAKE_JVM_ENTER(kWithException | kInCritical);
    vm.release_string(__func__, string, buffer, LoanKind::StringCritical);
}

jstring JNICALL NewStringUTF(JNIEnv *env, const char *bytes) {
    FAKE_JVM_ENTER(kNone);
    if (!bytes) {
        vm.violate(__func__, "null bytes");
        return nullptr;
    }
    if (vm.new_strings.refuse()) {
        vm.refuse(__func__);
        return nullptr;
    }
    Object *string = vm.make(Kind::String);
    string->from_new_string_utf = true;
    string->utf_bytes = bytes;
    std::string error;
    string->text = from_modified_utf8(string->utf_bytes, error);
    if (!error.empty())
        vm.violate(__func__, error);
    return static_cast<jstring>(ref(string));
}

jsize JNICALL GetStringUTFLength(JNIEnv *env, jstring string) {
    FAKE_JVM_ENTER(kNone);
    Object *object = vm.use(__func__, string, Kind::String, "jstring");
    return object ? static_cast<jsize>(to_modified_utf8(object->text).size()) : 0;
}

const char *JNICALL GetStringUTFChars(JNIEnv *env, jstring string, jboolean *is_copy) {
    FAKE_JVM_ENTER(kNone);
    Object *object = vm.use(__func__, string, Kind::String, "jstring");
    if (!object)
        return nullptr;
    if (vm.string_chars.refuse()) {
        vm.refuse(__func__);
        return nullptr;
    }
    if (is_copy)
        *is_copy = JNI_TRUE;
    const std::string utf = to_modified_utf8(object->text);
    std::vector<unsigned char> image(utf.begin(), utf.end());
    image.push_back(0);
    return static_cast<const char *>(vm.lend(LoanKind::StringUtfChars, object, std::move(image), 0, true));
}

void JNICALL ReleaseStringUTFChars(JNIEnv *env, jstring string, const char *buffer) {
    FAKE_JVM_ENTER(kWithException);
    vm.release_string(__func__, string, buffer, LoanKind::StringUtfChars);
}

void JNICALL GetStringRegion(JNIEnv *env, jstring string, jsize start, jsize length, jchar *buffer) {
    FAKE_JVM_ENTER(kNone);
    Object *object = vm.use(__func__, string, Kind::String, "jstring");
    if (!object)
        return;
    const auto size = static_cast<jsize>(object->text.size());
    if (start < 0 || length < 0 || start > size - length) {
        vm.raise("java/lang/StringIndexOutOfBoundsException", "GetStringRegion");
        return;
    }
    if (length > 0 && !buffer)
        return vm.violate(__func__, "null buffer");
    if (length > 0)
        std::memcpy(buffer, object->text.data() + start, static_cast<std::size_t>(length) * 2);
}

// Writes a terminating NUL after the bytes, as at least one real VM does,
// so a buffer sized without room for it overflows here too.
void JNICALL GetStringUTFRegion(JNIEnv *env, jstring string, jsize start, jsize length, char *buffer) {
    FAKE_JVM_ENTER(kNone);
    Object *object = vm.use(__func__, string, Kind::String, "jstring");
    if (!object)
        return;
    const auto size = static_cast<jsize>(object->text.size());
    if (start < 0 || length < 0 || start > size - length) {
        vm.raise("java/lang/StringIndexOutOfBoundsException", "GetStringUTFRegion");
        return;
    }
    if (!buffer)
        return vm.violate(__func__, "null buffer");
    const std::string utf = to_modified_utf8(
        std::u16string_view(object->text).substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length)));
    std::memcpy(buffer, utf.c_str(), utf.size() + 1);
}

jsize JNICALL GetArrayLength(JNIEnv *env, jarray array) {
    FAKE_JVM_ENTER(kNone);
    Object *object = vm.use(__func__, array, Kind::ByteArray, "jarray");
    return object ? static_cast<jsize>(object->elements.size()) : 0;
}

jbyteArray JNICALL NewByteArray(JNIEnv *env, jsize length) {
    FAKE_JVM_ENTER(kNone);
    if (length < 0) {
        vm.raise("java/lang/NegativeArraySizeException", std::to_string(length));
        return nullptr;
    }
    if (vm.new_arrays.refuse()) {
        vm.refuse(__func__);
        return nullptr;
    }
    Object *array = vm.make(Kind::ByteArray);
    array->elements.assign(static_cast<std::size_t>(length), 0);
    return static_cast<jbyteArray>(ref(array));
}

void *elements(FakeVm::Impl &vm, const char *fn, jarray array, jboolean *is_copy, LoanKind kind) {
    Object *object = vm.use(fn, array, Kind::ByteArray, "jbyteArray");
    if (!object)
        return nullptr;
    if (vm.array_elements.refuse()) {
        vm.refuse(fn);
        return nullptr;
    }
    if (is_copy)
        *is_copy = JNI_TRUE;
    return vm.lend(kind, object, image_of_elements(object->elements), kCanary, false);
}

jbyte *JNICALL GetByteArrayElements(JNIEnv *env, jbyteArray array, jboolean *is_copy) {
    FAKE_JVM_ENTER(kNone);
    return static_cast<jbyte *>(elements(vm, __func__, array, is_copy, LoanKind::ArrayElements));
}

void JNICALL ReleaseByteArrayElements(JNIEnv *env, jbyteArray array, jbyte *buffer, jint mode) {
    FAKE_JVM_ENTER(kWithException);
    vm.release_array(__func__, array, buffer, mode, LoanKind::ArrayElements);
}

void *JNICALL GetPrimitiveArrayCritical(JNIEnv *env, jarray array, jboolean *is_copy) {
    FAKE_JVM_ENTER(kInCritical);
    return elements(vm, __func__, array, is_copy, LoanKind::ArrayCritical);
}

void JNICALL ReleasePrimitiveArrayCritical(JNIEnv *env, jarray array, void *buffer, jint mode) {
    FAKE_JVM_ENTER(kWithException | kInCritical);
    vm.release_array(__func__, array, buffer, mode, LoanKind::ArrayCritical);
}

// Shared by Get/SetByteArrayRegion: the array's elements when the range is
// valid, else nullptr with the violation or exception a VM would give.
std::vector<int8_t> *region(FakeVm::Impl &vm, const char *fn, jbyteArray array, jsize start, jsize length,
                            const void *buffer) {
    Object *object = vm.use(fn, array, Kind::ByteArray, "jbyteArray");
    if (!object)
        return nullptr;
    const auto size = static_cast<jsize>(object->elements.size());
    if (start < 0 || length < 0 || start > size - length) {
        vm.raise("java/lang/ArrayIndexOutOfBoundsException", fn);
        return nullptr;
    }
    if (length > 0 && !buffer) {
        vm.violate(fn, "null buffer");
        return nullptr;
    }
    return &object->elements;
}

void JNICALL GetByteArrayRegion(JNIEnv *env, jbyteArray array, jsize start, jsize length, jbyte *buffer) {
    FAKE_JVM_ENTER(kNone);
    if (auto *elements = region(vm, __func__, array, start, length, buffer); elements && length)
        std::memcpy(buffer, elements->data() + start, static_cast<std::size_t>(length));
}

void JNICALL SetByteArrayRegion(JNIEnv *env, jbyteArray array, jsize start, jsize length, const jbyte *buffer) {
    FAKE_JVM_ENTER(kNone);
    if (auto *elements = region(vm, __func__, array, start, length, buffer); elements && length)
        std::memcpy(elements->data() + start, buffer, static_cast<std::size_t>(length));
}

// System.getProperty is the one static method this VM knows.
char get_property_method;
constexpr const char *get_property_signature = "(Ljava/lang/String;)Ljava/lang/String;";

jmethodID JNICALL GetStaticMethodID(JNIEnv *env, jclass klass, const char *name, const char *signature) {
    FAKE_JVM_ENTER(kNone);
    Object *object = vm.use(__func__, klass, Kind::Class, "jclass");
    if (!object || !name || !signature)
        return nullptr;
    if (object->class_name != "java/lang/System" || std::string(name) != "getProperty" ||
        std::string(signature) != get_property_signature) {
        vm.raise("java/lang/NoSuchMethodError", name);
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(&get_property_method);
}

jobject JNICALL CallStaticObjectMethodA(JNIEnv *env, jclass klass, jmethodID method, const jvalue *arguments) {
    FAKE_JVM_ENTER(kNone);
    if (!vm.use(__func__, klass, Kind::Class, "jclass"))
        return nullptr;
    if (method != reinterpret_cast<jmethodID>(&get_property_method) || !arguments) {
        vm.violate(__func__, "not a method this VM handed out");
        return nullptr;
    }
    Object *key = vm.use(__func__, arguments[0].l, Kind::String, "jstring");
    if (!key)
        return nullptr;
    const auto found = vm.properties.find(key->text);
    if (found == vm.properties.end())
        return nullptr;
    Object *value = vm.make(Kind::String);
    value->text = found->second;
    return ref(value);
}

} // namespace fn
} // namespace

// ---------------------------------------------------------------------------

FakeVm::FakeVm() : impl_(std::make_unique<Impl>()) {
    JNINativeInterface_ &t = impl_->table;
    fill_with_traps(t, std::make_index_sequence<kSlotCount>());
    t.GetVersion = fn::GetVersion;
    t.FindClass = fn::FindClass;
    t.GetStaticMethodID = fn::GetStaticMethodID;
    t.CallStaticObjectMethodA = fn::CallStaticObjectMethodA;
    t.Throw = fn::Throw;
    t.ThrowNew = fn::ThrowNew;
    t.ExceptionOccurred = fn::ExceptionOccurred;
    t.ExceptionDescribe = fn::ExceptionDescribe;
    t.ExceptionClear = fn::ExceptionClear;
    t.ExceptionCheck = fn::ExceptionCheck;
    t.FatalError = fn::FatalError;
    t.DeleteLocalRef = fn::DeleteLocalRef;
    t.NewString = fn::NewString;
    t.GetStringLength = fn::GetStringLength;
    t.GetStringChars = fn::GetStringChars;
    t.ReleaseStringChars = fn::ReleaseStringChars;
    t.GetStringCritical = fn::GetStringCritical;
    t.ReleaseStringCritical = fn::ReleaseStringCritical;
    t.NewStringUTF = fn::NewStringUTF;
    t.GetStringUTFLength = fn::GetStringUTFLength;
    t.GetStringUTFChars = fn::GetStringUTFChars;
    t.ReleaseStringUTFChars = fn::ReleaseStringUTFChars;
    t.GetStringRegion = fn::GetStringRegion;
    t.GetStringUTFRegion = fn::GetStringUTFRegion;
    t.GetArrayLength = fn::GetArrayLength;
    t.NewByteArray = fn::NewByteArray;
    t.GetByteArrayElements = fn::GetByteArrayElements;
    t.ReleaseByteArrayElements = fn::ReleaseByteArrayElements;
    t.GetPrimitiveArrayCritical = fn::GetPrimitiveArrayCritical;
    t.ReleasePrimitiveArrayCritical = fn::ReleasePrimitiveArrayCritical;
    t.GetByteArrayRegion = fn::GetByteArrayRegion;
    t.SetByteArrayRegion = fn::SetByteArrayRegion;
    impl_->env.jni.functions = &impl_->table;
    impl_->env.impl = impl_.get();
}

FakeVm::~FakeVm() = default;

JNIEnv *FakeVm::env() { return &impl_->env.jni; }

jclass FakeVm::klass() {
    Object *klass = impl_->make(Kind::Class);
    klass->class_name = "fakejvm/NativeMethods";
    return static_cast<jclass>(ref(klass));
}

jstring FakeVm::string(std::u16string_view utf16) {
    Object *string = impl_->make(Kind::String);
    string->text = utf16;
    return static_cast<jstring>(ref(string));
}

jstring FakeVm::string(std::string_view utf8) { return string(from_standard_utf8(utf8)); }

void FakeVm::set_property(std::string_view name, std::string_view value) {
    impl_->properties[from_standard_utf8(name)] = from_standard_utf8(value);
}

jbyteArray FakeVm::bytes(std::vector<int8_t> elements) {
    Object *array = impl_->make(Kind::ByteArray);
    array->elements = std::move(elements);
    return static_cast<jbyteArray>(ref(array));
}

std::vector<int8_t> FakeVm::contents(jbyteArray array) const { return impl_->inspect(array, Kind::ByteArray).elements; }

std::string FakeVm::modified_utf8(jstring string) const {
    const Object &object = impl_->inspect(string, Kind::String);
    return object.from_new_string_utf ? object.utf_bytes : to_modified_utf8(object.text);
}

std::u16string FakeVm::utf16(jstring string) const { return impl_->inspect(string, Kind::String).text; }

void FakeVm::refuse_string_chars(bool refuse) { impl_->string_chars.set(refuse); }
void FakeVm::refuse_string_chars_after(std::size_t n) { impl_->string_chars.after(n); }
void FakeVm::refuse_array_elements(bool refuse) { impl_->array_elements.set(refuse); }
void FakeVm::refuse_array_elements_after(std::size_t n) { impl_->array_elements.after(n); }
void FakeVm::refuse_new_strings(bool refuse) { impl_->new_strings.set(refuse); }
void FakeVm::refuse_new_strings_after(std::size_t n) { impl_->new_strings.after(n); }
void FakeVm::refuse_new_arrays(bool refuse) { impl_->new_arrays.set(refuse); }
void FakeVm::refuse_new_arrays_after(std::size_t n) { impl_->new_arrays.after(n); }

bool FakeVm::exception_pending() const { return impl_->pending != nullptr; }
std::string FakeVm::exception_class() const { return impl_->pending ? impl_->pending->class_name : std::string(); }
std::string FakeVm::exception_message() const { return impl_->pending ? impl_->pending->message : std::string(); }
void FakeVm::clear_exception() { impl_->pending.reset(); }

std::vector<std::string> FakeVm::calls() const { return impl_->calls; }
void FakeVm::clear_calls() { impl_->calls.clear(); }
void FakeVm::observe_calls(std::function<void(const char *)> observer) { impl_->observer = std::move(observer); }
std::size_t FakeVm::outstanding() const { return impl_->loans.size(); }
std::vector<jint> FakeVm::array_release_modes() const { return impl_->modes; }

std::vector<std::string> FakeVm::violations() const {
    std::vector<std::string> all = impl_->violations;
    for (auto &[buffer, loan] : impl_->loans) {
        all.push_back(std::string(get_name(loan.kind)) + " without " + release_name(loan.kind));
        if (is_array(loan.kind))
            for (std::string &damage : Impl::canary_damage(loan, false))
                all.push_back(damage);
    }
    return all;
}

const char *FakeVm::slot_name(std::size_t index) { return name_of_slot(index); }
std::size_t FakeVm::slot_count() { return kSlotCount; }

} // namespace fakejvm
