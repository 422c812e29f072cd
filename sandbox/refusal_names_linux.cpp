#include "refusal_names_linux.hpp"

#include "system_calls_linux.hpp"

#include <linux/audit.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

// The gate: a system call with the number and six arguments given,
// returning the kernel's answer (-errno on failure).
extern "C" long vantrell_sandbox_gate(long number, long a1, long a2, long a3, long a4, long a5, long a6);
extern "C" char vantrell_sandbox_gate_return[];

#if defined(__x86_64__)
asm(R"(
    .text
    .globl vantrell_sandbox_gate, vantrell_sandbox_gate_return
    .hidden vantrell_sandbox_gate, vantrell_sandbox_gate_return
    .type vantrell_sandbox_gate, @function
vantrell_sandbox_gate:
    mov %rdi, %rax
    mov %rsi, %rdi
    mov %rdx, %rsi
    mov %rcx, %rdx
    mov %r8, %r10
    mov %r9, %r8
    mov 8(%rsp), %r9
    syscall
vantrell_sandbox_gate_return:
    ret
    .size vantrell_sandbox_gate, .-vantrell_sandbox_gate
)");
#elif defined(__i386__)
asm(R"(
    .text
    .globl vantrell_sandbox_gate, vantrell_sandbox_gate_return
    .hidden vantrell_sandbox_gate, vantrell_sandbox_gate_return
    .type vantrell_sandbox_gate, @function
vantrell_sandbox_gate:
    push %ebp
    push %edi
    push %esi
    push %ebx
    mov 20(%esp), %eax
    mov 24(%esp), %ebx
    mov 28(%esp), %ecx
    mov 32(%esp), %edx
    mov 36(%esp), %esi
    mov 40(%esp), %edi
    mov 44(%esp), %ebp
    int $0x80
vantrell_sandbox_gate_return:
    pop %ebx
    pop %esi
    pop %edi
    pop %ebp
    ret
    .size vantrell_sandbox_gate, .-vantrell_sandbox_gate
)");
#endif

namespace vantrell::sandbox {
namespace {

#if defined(__x86_64__)
constexpr std::uint32_t own_architecture = AUDIT_ARCH_X86_64;
constexpr int argument_registers[] = {REG_RDI, REG_RSI, REG_RDX, REG_R10, REG_R8, REG_R9};
constexpr int answer_register = REG_RAX;
#else
constexpr std::uint32_t own_architecture = AUDIT_ARCH_I386;
constexpr int argument_registers[] = {REG_EBX, REG_ECX, REG_EDX, REG_ESI, REG_EDI, REG_EBP};
constexpr int answer_register = REG_EAX;
#endif

long own_pid = 0;

// Written by the handler, on any thread; read between calls.
constexpr int most_refusals = 64;
constexpr int longest_refusal = 200;
char texts[most_refusals][longest_refusal];
std::atomic<int> count{0};

void note(const char *name, const char *detail, const char *path) {
    const int at = count.fetch_add(1);
    if (at >= most_refusals)
        return;
    char *text = texts[at];
    std::size_t used = 0;
    auto append = [&](const char *part) {
        for (; *part && used + 1 < longest_refusal; ++part)
            text[used++] = *part;
    };
    append(name);
    if (detail)
        append(detail);
    if (path) {
        append("(\"");
        append(path);
        append("\")");
    }
    text[used] = '\0';
}

bool opens_a_file(long number) {
#if defined(__NR_open)
    if (number == __NR_open)
        return true;
#endif
    return number == __NR_openat;
}

// Which argument of a refused call is the path it names, or -1.
int path_argument(long number) {
    switch (number) {
    case __NR_openat:
    case __NR_openat2:
    case __NR_mkdirat:
    case __NR_unlinkat:
    case __NR_renameat2:
    case __NR_mknodat:
    case __NR_linkat: return 1;
    case __NR_truncate:
#if defined(__NR_mkdir)
    case __NR_open:
    case __NR_creat:
    case __NR_mkdir:
    case __NR_rmdir:
    case __NR_unlink:
    case __NR_rename:
    case __NR_link:
    case __NR_symlink:
    case __NR_mknod:
#endif
        return 0;
    default: return -1;
    }
}

// What a refused call with an allowed number was refused for.
const char *detail_of(long number) {
    if (number == __NR_clone)
        return " (a new process)";
    if (number == __NR_kill || number == __NR_tgkill || number == __NR_prlimit64 || number == __NR_sched_getaffinity)
        return " (another process)";
    if (number == __NR_ioctl)
        return " (a request other than a terminal's attributes or size)";
    if (number == __NR_prctl)
        return " (an option other than a thread's name)";
    return nullptr;
}

// Copies between the handler and the module's memory, through the gate
// (process_vm_readv and _writev on this process, which the filter lets
// through there only): a pointer that points nowhere gives a short count,
// never a fault in the handler. The number of bytes copied.
long copy_from_module(void *to, const void *from, std::size_t size) {
    iovec here{to, size}, there{const_cast<void *>(from), size};
    return vantrell_sandbox_gate(__NR_process_vm_readv, own_pid, reinterpret_cast<long>(&here), 1,
                                 reinterpret_cast<long>(&there), 1, 0);
}
long copy_to_module(void *to, const void *from, std::size_t size) {
    iovec here{const_cast<void *>(from), size}, there{to, size};
    return vantrell_sandbox_gate(__NR_process_vm_writev, own_pid, reinterpret_cast<long>(&here), 1,
                                 reinterpret_cast<long>(&there), 1, 0);
}

// The path a refused call names, as far as it can be read; empty when none.
void path_of(long pointer, char (&path)[longest_refusal]) {
    path[0] = '\0';
    if (pointer == 0)
        return;
    const long read = copy_from_module(path, reinterpret_cast<const void *>(pointer), sizeof path - 1);
    path[read > 0 ? read : 0] = '\0';
}

// The kernel's signal set: a bit for each signal, from 1.
using KernelSignals = std::uint64_t;
constexpr KernelSignals bit(int signal) { return KernelSignals{1} << (signal - 1); }

// rt_sigprocmask, done here on the mask the thread gets back when the
// handler returns, SIGSYS never blocked: a trap in a thread that blocks it
// would end the process, where the sandbox would merely refuse.
long change_signal_mask(ucontext_t &context, const long (&arguments)[6]) {
    const long how = arguments[0];
    const auto *set = reinterpret_cast<const void *>(arguments[1]);
    void *old = reinterpret_cast<void *>(arguments[2]);
    if (arguments[3] != sizeof(KernelSignals))
        return -EINVAL;
    KernelSignals current = 0, asked = 0;
    std::memcpy(&current, &context.uc_sigmask, sizeof current);
    KernelSignals next = current;
    if (set) {
        if (copy_from_module(&asked, set, sizeof asked) != sizeof asked)
            return -EFAULT;
        if (how == SIG_BLOCK)
            next = current | asked;
        else if (how == SIG_UNBLOCK)
            next = current & ~asked;
        else if (how == SIG_SETMASK)
            next = asked;
        else
            return -EINVAL;
    }
    if (old && copy_to_module(old, &current, sizeof current) != sizeof current)
        return -EFAULT;
    next &= ~(bit(SIGSYS) | bit(SIGKILL) | bit(SIGSTOP));
    std::memcpy(&context.uc_sigmask, &next, sizeof next);
    return 0;
}

void on_trapped_call(int, siginfo_t *info, void *raw_context) {
    ucontext_t &context = *static_cast<ucontext_t *>(raw_context);
    greg_t *registers = context.uc_mcontext.gregs;
    const long number = info->si_syscall;
    if (info->si_arch != own_architecture) {
        registers[answer_register] = -EPERM;
        note("a system call of another architecture", nullptr, nullptr);
        return;
    }
    long arguments[6];
    for (int i = 0; i < 6; ++i)
        arguments[i] = static_cast<long>(registers[argument_registers[i]]);
    // Done here, as the kernel would: never a refusal.
    if (number == __NR_rt_sigprocmask) {
        registers[answer_register] = change_signal_mask(context, arguments);
        return;
    }
    if (number == __NR_rt_sigaction) { // for SIGSYS, which stays this handler's
        registers[answer_register] = 0;
        return;
    }
    char path[longest_refusal];
    const int path_at = path_argument(number);
    path_of(path_at >= 0 ? arguments[path_at] : 0, path);
    char unknown[32];
    if (opens_a_file(number)) {
        const long answer = vantrell_sandbox_gate(number, arguments[0], arguments[1], arguments[2], arguments[3],
                                                  arguments[4], arguments[5]);
        registers[answer_register] = answer;
        if (answer == -EACCES)
            note(call_name(number, unknown), nullptr, path);
        return;
    }
    registers[answer_register] = path_at >= 0 ? -EACCES : -EPERM;
    note(call_name(number, unknown), detail_of(number), path_at >= 0 ? path : nullptr);
}

} // namespace

std::uintptr_t gate_address() { return reinterpret_cast<std::uintptr_t>(vantrell_sandbox_gate_return); }

void name_refusals_from_now_on() {
    own_pid = getpid();
    struct sigaction action {};
    action.sa_sigaction = on_trapped_call;
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGSYS, &action, nullptr);
}

std::vector<std::string> take_refusals() {
    std::vector<std::string> named;
    const int taken = count.exchange(0);
    for (int i = 0; i < taken && i < most_refusals; ++i)
        named.emplace_back(texts[i]);
    return named;
}

} // namespace vantrell::sandbox
