// A module whose endGame leaves by an exception, or has one inside it, as
// its first argument says; the other functions show that the module keeps
// working after the bridge caught it, and what ran in the module, and
// getCreateGameOption throws and catches one of its own.
//   1  throws a C++ exception (this compiler's)
//   2  Windows: raises the C++ exception of the platform's native compiler
//      (the structured exception its throw becomes, with a thrown object
//      whose destructor its throw information names) from a frame that,
//      like that compiler's frames with something to destroy, has an unwind
//      handler
//   3  throws and catches a C++ exception inside, then returns
//   4  writes to an address no process can write: a processor fault
//   5  POSIX: ends its thread (pthread_exit), which unwinds the thread
#include "ai_module.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace {

int32_t frames_cleaned_up = 0;
int32_t caught_inside = 0;
int32_t native_frames_unwound = 0;
int32_t thrown_objects_destroyed = 0;

// Counts the end of endGame's frame, however it ends: a return or an
// unwind that runs its cleanup.
struct FrameCleanup {
    ~FrameCleanup() { ++frames_cleaned_up; }
};

} // namespace

#if defined(_WIN32)

// The unwind handler of the native frame: its cleanup.
extern "C" EXCEPTION_DISPOSITION count_native_unwind(EXCEPTION_RECORD *record, void *, CONTEXT *, void *) {
    if (record->ExceptionFlags & EXCEPTION_UNWINDING)
        ++native_frames_unwound;
    return ExceptionContinueSearch;
}

// The native compiler's thrown object and the throw information that names
// its destructor (a thiscall on x86; on x64 an offset from the image base,
// which the throw passes as its fourth parameter).
struct ThrownObject {
    std::uint32_t marker;
};
constexpr std::uint32_t kThrownMarker = 0x7E57AB1E;

#if defined(_WIN64)
extern "C" IMAGE_DOS_HEADER __ImageBase;
extern "C" void destroy_thrown_object(ThrownObject *object) {
#else
extern "C" void __attribute__((thiscall)) destroy_thrown_object(ThrownObject *object) {
#endif
    if (object->marker == kThrownMarker)
        ++thrown_objects_destroyed;
}

struct ThrowInformation {
    std::uint32_t attributes;
#if defined(_WIN64)
    std::int32_t destructor;
#else
    void *destructor;
#endif
    std::uintptr_t unused[2];
};

// The native compiler's throw: code 0xE06D7363, its magic number, the
// object and its throw information (the object's type is not needed to
// catch it).
extern "C" [[noreturn]] void raise_native_cxx_exception() {
    ThrownObject object{kThrownMarker};
#if defined(_WIN64)
    auto base = reinterpret_cast<std::uintptr_t>(&__ImageBase);
    static const ThrowInformation info{
        0, static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(&destroy_thrown_object) - base), {}};
    const ULONG_PTR parameters[4] = {0x19930520, reinterpret_cast<ULONG_PTR>(&object),
                                     reinterpret_cast<ULONG_PTR>(&info), base};
#else
    static const ThrowInformation info{0, reinterpret_cast<void *>(&destroy_thrown_object), {}};
    const ULONG_PTR parameters[3] = {0x19930520, reinterpret_cast<ULONG_PTR>(&object),
                                     reinterpret_cast<ULONG_PTR>(&info)};
#endif
    RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, sizeof parameters / sizeof parameters[0], parameters);
    throw std::logic_error("RaiseException returned");
}

#if defined(_WIN64)
// x64: the handler is named by the frame's unwind data (@unwind: called
// only while unwinding).
extern "C" void raise_from_native_frame();
__asm__(R"(
    .text
    .def raise_from_native_frame; .scl 2; .type 32; .endef
    .seh_proc raise_from_native_frame
raise_from_native_frame:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    .seh_handler count_native_unwind, @unwind
    callq raise_native_cxx_exception
    nop
    addq $40, %rsp
    retq
    .seh_endproc
)");
#else
// x86: the frame registers its handler on the thread's chain (fs:0); the
// unwind that passes it takes it off.
extern "C" void raise_from_native_frame() {
    struct {
        void *previous;
        void *handler;
    } record = {reinterpret_cast<void *>(__readfsdword(0)), reinterpret_cast<void *>(&count_native_unwind)};
    __asm__ __volatile__("" : : "r"(&record) : "memory");
    __writefsdword(0, reinterpret_cast<DWORD>(&record));
    raise_native_cxx_exception();
}
#endif

#endif

extern "C" void AI_CALL endGame(int32_t result, int32_t) {
    switch (result) {
    case 1: {
        FrameCleanup cleanup;
        throw std::runtime_error("endGame failed");
    }
#if defined(_WIN32)
    case 2: raise_from_native_frame(); break;
#endif
    case 3: {
        FrameCleanup cleanup;
        try {
            throw std::runtime_error("handled inside");
        } catch (const std::runtime_error &) {
            ++caught_inside;
        }
        break;
    }
    case 4: {
        // Read at run time, so that the compiler cannot see a null store
        // and put a trap of its own in its place.
        volatile std::uintptr_t unmapped = 16;
        *reinterpret_cast<volatile int32_t *>(unmapped) = result;
        break;
    }
#if !defined(_WIN32)
    case 5: {
        FrameCleanup cleanup;
        pthread_exit(nullptr);
    }
#endif
    }
}

// A negative option is looked up by an exception the module catches itself.
// With TEST_MODULE_THROWS_OUT set, every call lets one out, for a test that
// can only run the module (the checker's smoke session).
extern "C" int32_t AI_CALL getCreateGameOption(int32_t option) {
    if (std::getenv("TEST_MODULE_THROWS_OUT"))
        throw std::logic_error("no option here");
    if (option < 0) {
        try {
            throw std::out_of_range("no such option");
        } catch (const std::out_of_range &) {
            return -option;
        }
    }
    return option + 1;
}

// How many of endGame's frames ended, by a return or by an unwind that ran
// their cleanup.
extern "C" int32_t AI_CALL getCreateGameMode(void) { return frames_cleaned_up; }

// (0, _): exceptions caught inside endGame; (1, _): native frames unwound;
// (2, _): native thrown objects destroyed.
extern "C" int32_t AI_CALL getAISetupPiece(int32_t which, int32_t) {
    switch (which) {
    case 0: return caught_inside;
    case 1: return native_frames_unwound;
    default: return thrown_objects_destroyed;
    }
}
