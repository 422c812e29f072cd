// The guard on Windows, in two layers:
//  - a catch (...) for exceptions thrown by GCC code: on x86 they unwind
//    through GCC's own tables and never reach the operating system; on x64
//    GCC raises them as structured exceptions that its catch (...) takes,
//    even from a module with a private copy of GCC's runtime;
//  - under it, in a frame of the bridge's own (written in assembly, so that
//    its registration is exact), a structured-exception handler for the C++
//    exceptions of the platform's native compiler, whose throw is
//    RaiseException(0xE06D7363, ...) and which a GCC catch (...) never
//    sees. It unwinds the frames below it, running their cleanup, then
//    destroys the thrown object, as that compiler's own catch (...) would,
//    and resumes after the call. Any other exception code, processor faults
//    included, goes on to whoever is above. Being registered in this frame,
//    it sees an exception only after every handler of the module has
//    declined it.
#include "guarded_call.hpp"

#include <windows.h>

#include <cstdint>

// The catch path leaves call_catching's frame without unwinding it, which
// is sound only where GCC's unwinding keeps no state in frames (DWARF or
// SEH tables); setjmp/longjmp exceptions register every frame at run time.
#if defined(__USING_SJLJ_EXCEPTIONS__)
#error "the endGame guard needs a MinGW toolchain with DWARF (x86) or SEH (x64) exceptions, not SJLJ"
#endif

namespace {

// The native compiler's C++ exception code: 0xE0 | "msc".
constexpr DWORD native_cxx_exception = 0xE06D7363;

struct Call {
    void (*body)(void *);
    void *context;
    bool caught;
};

void call_catching(void *call) noexcept {
    auto *c = static_cast<Call *>(call);
    try {
        c->body(c->context);
    } catch (...) {
        c->caught = true;
    }
}

bool is_dispatch_of_native_cxx_exception(const EXCEPTION_RECORD *record) {
    return !(record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) &&
           record->ExceptionCode == native_cxx_exception;
}

// What that compiler's throw puts in the exception's parameters: a magic
// number of its runtime's version, the thrown object, the object's throw
// information and, on x64, the throwing image's base, against which the
// throw information's members are offsets. The throw information's second
// member names the object's destructor, or is 0 when it has none.
enum ThrowParameter { magic_number, thrown_object, throw_information, image_base };

struct ThrowInformation {
    std::uint32_t attributes;
#if defined(_WIN64)
    std::int32_t destructor;
#else
    void(__attribute__((thiscall)) * destructor)(void *);
#endif
};

// Destroys the thrown object as the catch (...) of its compiler does at the
// catch's end. A rethrow (no throw information) owns no object of its own.
void destroy_thrown_object(const EXCEPTION_RECORD *record) {
    const ULONG_PTR *parameters = record->ExceptionInformation;
#if defined(_WIN64)
    constexpr DWORD parameters_needed = 4;
#else
    constexpr DWORD parameters_needed = 3;
#endif
    if (record->NumberParameters < parameters_needed)
        return;
    ULONG_PTR magic = parameters[magic_number];
    if (magic < 0x19930520 || magic > 0x19930522)
        return;
    void *object = reinterpret_cast<void *>(parameters[thrown_object]);
    const auto *info = reinterpret_cast<const ThrowInformation *>(parameters[throw_information]);
    if (!object || !info || !info->destructor)
        return;
#if defined(_WIN64)
    auto destructor = reinterpret_cast<void (*)(void *)>(parameters[image_base] + info->destructor);
#else
    auto destructor = info->destructor;
#endif
    destructor(object);
}

} // namespace

extern "C" {
// Calls body(context) in the guarded frame; 0 when it returned, 1 when the
// handler caught an exception out of it.
int vantrell_guarded_frame(void (*body)(void *), void *context);
extern const char vantrell_guard_landing[];
}

#if defined(_WIN64)

namespace {

// Called by the unwind once every frame between the throw and the guarded
// frame has run its cleanup, still on the stack below them, where the
// thrown object lives: destroys it and names where to resume.
void *CALLBACK after_unwind(EXCEPTION_RECORD *consolidation) {
    destroy_thrown_object(reinterpret_cast<const EXCEPTION_RECORD *>(consolidation->ExceptionInformation[1]));
    return const_cast<char *>(vantrell_guard_landing);
}

} // namespace

extern "C" EXCEPTION_DISPOSITION vantrell_guard_handler(EXCEPTION_RECORD *record, void *frame, CONTEXT *context,
                                                        DISPATCHER_CONTEXT *dispatch) {
    if (!is_dispatch_of_native_cxx_exception(record))
        return ExceptionContinueSearch;
    // Runs the unwind handlers of every frame between the throw and this
    // one, then after_unwind, then continues at the landing with this
    // frame's stack and registers, and 1 in rax. Does not return. This is
    // the consolidated unwind the native compiler's runtime uses for the
    // same purpose.
    EXCEPTION_RECORD consolidation{};
    consolidation.ExceptionCode = STATUS_UNWIND_CONSOLIDATE;
    consolidation.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
    consolidation.NumberParameters = 2;
    consolidation.ExceptionInformation[0] = reinterpret_cast<ULONG_PTR>(&after_unwind);
    consolidation.ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(record);
    RtlUnwindEx(frame, const_cast<char *>(vantrell_guard_landing), &consolidation, reinterpret_cast<void *>(1), context,
                dispatch->HistoryTable);
    return ExceptionContinueSearch;
}

// The frame: 32 bytes of home space for the callee plus 8 to keep the stack
// 16-byte aligned; its unwind data names the handler (@except: it is called
// to find a handler, not while unwinding).
__asm__(R"(
    .text
    .globl vantrell_guarded_frame
    .def vantrell_guarded_frame; .scl 2; .type 32; .endef
    .seh_proc vantrell_guarded_frame
vantrell_guarded_frame:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    .seh_handler vantrell_guard_handler, @except
    movq %rcx, %rax
    movq %rdx, %rcx
    callq *%rax
    xorl %eax, %eax
    .globl vantrell_guard_landing
vantrell_guard_landing:
    addq $40, %rsp
    retq
    .seh_endproc
)");

#else

// Unwinds the frames registered below `frame`, the guarded frame's record,
// destroys the thrown object and resumes at the landing with that frame's
// registers. Does not return.
extern "C" [[noreturn]] void vantrell_guard_catch(void *frame, EXCEPTION_RECORD *record);

extern "C" EXCEPTION_DISPOSITION vantrell_guard_handler(EXCEPTION_RECORD *record, void *frame, CONTEXT *, void *) {
    if (!is_dispatch_of_native_cxx_exception(record))
        return ExceptionContinueSearch;
    vantrell_guard_catch(frame, record);
}

// Still below the unwound frames, where the thrown object lives.
extern "C" void vantrell_guard_destroy_thrown_object(const EXCEPTION_RECORD *record) { destroy_thrown_object(record); }

// The frame saves the registers a callee keeps, then registers a record on
// the thread's handler chain (fs:0): the previous record, the handler, and
// this frame's ebp for the way back, at ebp-24. The body is called with the
// stack 16-byte aligned, whatever the caller's alignment. The landing, on
// either path, finds everything from ebp: it takes the record off the
// chain and returns through the saved registers.
//
// The catch path: RtlUnwind keeps no register but esp, so
// vantrell_guard_catch keeps the record's and the exception's addresses on
// the stack across it; it passes the address after the call as the target
// (the unwind returns there, as the platform's own runtime has it).
__asm__(R"(
    .text
    .globl _vantrell_guarded_frame
    .def _vantrell_guarded_frame; .scl 2; .type 32; .endef
_vantrell_guarded_frame:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    pushl %ebp
    pushl $_vantrell_guard_handler
    pushl %fs:0
    movl %esp, %fs:0
    andl $-16, %esp
    subl $12, %esp
    pushl 12(%ebp)
    call *8(%ebp)
    xorl %eax, %eax
    .globl _vantrell_guard_landing
_vantrell_guard_landing:
    movl -24(%ebp), %ecx
    movl %ecx, %fs:0
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

    .globl _vantrell_guard_catch
    .def _vantrell_guard_catch; .scl 2; .type 32; .endef
_vantrell_guard_catch:
    movl 4(%esp), %eax
    movl 8(%esp), %ecx
    pushl %eax
    pushl %ecx
    pushl $0
    pushl %ecx
    pushl $1f
    pushl %eax
    call _RtlUnwind@16
1:
    call _vantrell_guard_destroy_thrown_object
    addl $4, %esp
    popl %eax
    movl 8(%eax), %ebp
    movl %eax, %esp
    movl $1, %eax
    jmp _vantrell_guard_landing
)");

#endif

namespace vantrell::platform {

bool call_guarded(void (*body)(void *), void *context) {
    Call call{body, context, false};
    const bool caught_by_handler = vantrell_guarded_frame(call_catching, &call) != 0;
    return !caught_by_handler && !call.caught;
}

} // namespace vantrell::platform
