// The guard on Windows, in two layers:
//  - a catch (...) for exceptions thrown by GCC code: on x86 they unwind
//    through GCC's own tables and never reach the operating system; on x64
//    GCC raises them as structured exceptions that its catch (...) takes,
//    even from a module with a private copy of GCC's runtime;
//  - under it, in a frame of the bridge's own (written in assembly, so that
//    its registration is exact), a structured-exception handler for the C++
//    exceptions of the platform's native compiler, whose throw is
//    RaiseException(0xE06D7363, ...) and which a GCC catch (...) never
//    sees. It unwinds the frames below it, running their cleanup as that
//    compiler's own catch (...) would, and resumes after the call. Any
//    other exception code, processor faults included, goes on to whoever
//    is above. Being registered in this frame, it sees an exception only
//    after every handler of the module has declined it.
#include "guarded_call.hpp"

#include <windows.h>

namespace {

// The native compiler's C++ exception code: 0xE0 | "msc".
constexpr DWORD native_cxx_exception = 0xE06D7363;

struct Call {
    void (*body)(void *);
    void *context;
};

void call_catching(void *call) noexcept {
    auto *c = static_cast<Call *>(call);
    try {
        c->body(c->context);
    } catch (...) {
    }
}

bool is_dispatch_of_native_cxx_exception(const EXCEPTION_RECORD *record) {
    return !(record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) &&
           record->ExceptionCode == native_cxx_exception;
}

} // namespace

extern "C" {
// Calls body(context) in the guarded frame; 0 when it returned, 1 when the
// handler caught an exception out of it.
int vantrell_guarded_frame(void (*body)(void *), void *context);
extern const char vantrell_guard_landing[];
}

#if defined(_WIN64)

extern "C" EXCEPTION_DISPOSITION vantrell_guard_handler(EXCEPTION_RECORD *record, void *frame, CONTEXT *context,
                                                        DISPATCHER_CONTEXT *dispatch) {
    if (!is_dispatch_of_native_cxx_exception(record))
        return ExceptionContinueSearch;
    // Runs the unwind handlers of every frame between the throw and this
    // one, then continues at the landing with this frame's stack and
    // registers, and 1 in rax. Does not return.
    RtlUnwindEx(frame, const_cast<char *>(vantrell_guard_landing), record, reinterpret_cast<void *>(1), context,
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
// and resumes at the landing with that frame's stack. Does not return.
extern "C" [[noreturn]] void vantrell_guard_catch(void *frame, EXCEPTION_RECORD *record);

extern "C" EXCEPTION_DISPOSITION vantrell_guard_handler(EXCEPTION_RECORD *record, void *frame, CONTEXT *, void *) {
    if (!is_dispatch_of_native_cxx_exception(record))
        return ExceptionContinueSearch;
    vantrell_guard_catch(frame, record);
}

// The frame registers a record on the thread's handler chain (fs:0): the
// previous record, the handler, then this frame's ebp for the way back.
// The landing finds the record at the top of the stack, takes it off the
// chain and returns through the saved registers. RtlUnwind keeps no
// register but esp, so vantrell_guard_catch keeps the record's address on
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
    pushl 12(%ebp)
    call *8(%ebp)
    addl $4, %esp
    xorl %eax, %eax
    .globl _vantrell_guard_landing
_vantrell_guard_landing:
    movl (%esp), %ecx
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
    pushl $0
    pushl %ecx
    pushl $1f
    pushl %eax
    call _RtlUnwind@16
1:
    popl %eax
    movl %eax, %esp
    movl 8(%esp), %ebp
    movl $1, %eax
    jmp _vantrell_guard_landing
)");

#endif

namespace vantrell::platform {

void call_guarded(void (*body)(void *), void *context) noexcept {
    Call call{body, context};
    vantrell_guarded_frame(call_catching, &call);
}

} // namespace vantrell::platform
