#include "system_calls_linux.hpp"

#include "bpf_program.hpp"

#include <csignal>
#include <linux/audit.h>
#include <linux/prctl.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <map>

namespace vantrell::sandbox {
namespace {

#if defined(__x86_64__)
constexpr std::uint32_t own_architecture = AUDIT_ARCH_X86_64;
constexpr std::uint32_t x32_bit = 0x40000000;
#elif defined(__i386__)
constexpr std::uint32_t own_architecture = AUDIT_ARCH_I386;
#else
#error "the sandbox knows the system calls of x86 only"
#endif

#define CALL(name) __NR_##name, #name

// Every call a module that computes, allocates, runs threads and prints
// needs, and the loader that maps it and its system libraries.
const std::vector<AllowedCall> calls = {
    // What it holds: its standard streams, and the files Landlock lets it open.
    // Reading: not the host's standard output or error, which may be the
    // host's terminal, open for reading too (its standard input is empty).
    {CALL(read), Rule::not_host_stream, "reads a descriptor it holds"},
    {CALL(readv), Rule::not_host_stream, "reads a descriptor it holds (stdio)"},
    {CALL(pread64), Rule::not_host_stream, "reads a library at an offset (the loader)"},
    {CALL(write), Rule::allow, "writes to a descriptor it holds: its standard output and error"},
    {CALL(writev), Rule::allow, "writes to a descriptor it holds (stdio)"},
#if defined(__NR__llseek)
    {CALL(_llseek), Rule::own_position, "moves in a file it reads"},
#endif
    {CALL(lseek), Rule::own_position,
     "moves in a file it reads (not in a standard stream, whose position the "
     "host shares)"},
    {CALL(close), Rule::allow, "closes what it opened"},
#if defined(__NR_open)
    {CALL(open), Rule::landlock,
     "opens a file: Landlock lets it read its module, the system's libraries and what the "
     "host granted, and nothing else"},
#endif
    {CALL(openat), Rule::landlock, "opens a file, as open"},
    {CALL(getdents64), Rule::allow, "lists a folder it may read"},
    {CALL(getcwd), Rule::allow, "the working folder's name: the loader makes a relative module path absolute"},
#if defined(__NR_readlink)
    {CALL(readlink), Rule::allow, "a link's target (realpath): metadata, as a path's status"},
    {CALL(access), Rule::allow, "whether a path may be read: metadata, as a path's status"},
#endif
    {CALL(readlinkat), Rule::allow, "the same, the newer call"},
    {CALL(faccessat), Rule::allow, "the same, the newer call"},
    {CALL(faccessat2), Rule::allow, "the same, the newer call"},
#if defined(__NR_fstat64)
    {CALL(fstat64), Rule::allow, "the kind and size of a descriptor (stdio, the loader)"},
    {CALL(fstatat64), Rule::allow, "the same through a path: a path's metadata is visible, never its contents"},
#else
    {CALL(fstat), Rule::allow, "the kind and size of a descriptor (stdio, the loader)"},
    {CALL(newfstatat), Rule::allow, "the same through a path: a path's metadata is visible, never its contents"},
#endif
    {CALL(statx), Rule::allow, "the same, the newer call"},

    // Memory.
    {CALL(brk), Rule::allow, "grows the heap"},
#if defined(__NR_mmap2)
    {CALL(mmap2), Rule::allow, "maps memory, and the libraries it loads"},
#else
    {CALL(mmap), Rule::allow, "maps memory, and the libraries it loads"},
#endif
    {CALL(munmap), Rule::allow, "frees mapped memory"},
    {CALL(mprotect), Rule::allow, "sets a mapping's protection (the loader, thread stacks' guard pages)"},
    {CALL(mremap), Rule::allow, "grows a mapping (realloc)"},
    {CALL(madvise), Rule::allow, "gives unused memory back (malloc, a thread's end)"},

    // Threads of its own.
    {CALL(clone), Rule::thread_only, "starts a thread: no process, no namespace"},
    {CALL(clone3), Rule::no_such_call,
     "its flags lie in memory the filter cannot read: ENOSYS, and the C library "
     "falls back to clone"},
    {CALL(futex), Rule::allow, "waits and wakes: mutexes, condition variables, joins"},
#if defined(__NR_futex_time64)
    {CALL(futex_time64), Rule::allow, "the same with 64-bit times"},
#endif
    {CALL(set_robust_list), Rule::allow, "a new thread's list of the locks it holds"},
    {CALL(set_tid_address), Rule::allow, "where a thread's end is announced (joins)"},
    {CALL(rseq), Rule::allow, "a new thread's restartable sequences (the C library)"},
#if defined(__NR_arch_prctl)
    {CALL(arch_prctl), Rule::allow, "a thread's own register for thread-local storage"},
#endif
#if defined(__NR_set_thread_area)
    {CALL(set_thread_area), Rule::allow, "a thread's own segment for thread-local storage"},
    {CALL(get_thread_area), Rule::allow, "reads it"},
#endif
    {CALL(exit), Rule::allow, "ends a thread"},
    {CALL(exit_group), Rule::allow, "ends the process"},
    {CALL(gettid), Rule::allow, "its thread's id"},
    {CALL(getpid), Rule::allow, "its own id"},
    {CALL(getppid), Rule::allow, "its parent's id"},
    {CALL(process_vm_readv), Rule::gate_copy, "only the checker's trap handler, reading the module's arguments"},
    {CALL(process_vm_writev), Rule::gate_copy, "only the checker's trap handler, writing a call's answer"},
    {CALL(sched_yield), Rule::allow, "gives up the processor"},
    {CALL(sched_getaffinity), Rule::own_process, "its own processors: how many threads are worth starting"},

    // Time.
    {CALL(clock_gettime), Rule::allow, "reads a clock, its own processor time included"},
    {CALL(clock_getres), Rule::allow, "a clock's resolution"},
#if defined(__NR_clock_gettime64)
    {CALL(clock_gettime64), Rule::allow, "the same with 64-bit times"},
    {CALL(clock_getres_time64), Rule::allow, "the same with 64-bit times"},
    {CALL(clock_nanosleep_time64), Rule::allow, "the same with 64-bit times"},
#endif
    {CALL(gettimeofday), Rule::allow, "reads the clock"},
    {CALL(time), Rule::allow, "reads the clock"},
    {CALL(nanosleep), Rule::allow, "sleeps"},
    {CALL(clock_nanosleep), Rule::allow, "sleeps"},
    {CALL(getrusage), Rule::allow, "its own processor time and memory"},

    // Signals within itself.
    {CALL(rt_sigaction), Rule::signal_action, "handles a signal"},
    {CALL(rt_sigprocmask), Rule::signal_mask, "blocks a signal in a thread"},
    {CALL(rt_sigreturn), Rule::allow, "returns from a signal handler"},
#if defined(__NR_sigreturn)
    {CALL(sigreturn), Rule::allow, "returns from a signal handler"},
#endif
    {CALL(sigaltstack), Rule::allow, "a stack for signal handlers"},
    {CALL(rt_sigtimedwait), Rule::allow, "waits for a signal"},
#if defined(__NR_rt_sigtimedwait_time64)
    {CALL(rt_sigtimedwait_time64), Rule::allow, "the same with 64-bit times"},
#endif
    {CALL(rt_sigsuspend), Rule::allow, "waits for a signal"},
    {CALL(restart_syscall), Rule::allow, "resumes a sleep a signal interrupted"},
    {CALL(kill), Rule::own_process, "signals itself"},
    {CALL(tgkill), Rule::own_process, "signals one of its threads (raise, abort)"},

    // Printing and waiting.
    {CALL(ioctl), Rule::terminal_query, "asks whether a stream is a terminal, and its size (stdio): no other request"},
    {CALL(poll), Rule::allow, "waits on descriptors it holds, or sleeps"},
    {CALL(ppoll), Rule::allow, "the same"},
#if defined(__NR_ppoll_time64)
    {CALL(ppoll_time64), Rule::allow, "the same with 64-bit times"},
#endif

    // The rest of a computing process's life.
    {CALL(getrandom), Rule::allow, "random numbers"},
    {CALL(sysinfo), Rule::allow, "the machine's memory: how big a table to make"},
    {CALL(prlimit64), Rule::own_process, "its own resource limits, which it can only lower"},
    {CALL(getrlimit), Rule::allow, "reads its resource limits"},
#if defined(__NR_ugetrlimit)
    {CALL(ugetrlimit), Rule::allow, "reads its resource limits"},
#endif
    {CALL(prctl), Rule::thread_name, "names a thread"},
#if defined(__NR_getuid32)
    {CALL(getuid32), Rule::allow, "who it runs as"},
    {CALL(geteuid32), Rule::allow, "who it runs as"},
    {CALL(getgid32), Rule::allow, "who it runs as"},
    {CALL(getegid32), Rule::allow, "who it runs as"},
#endif
    {CALL(getuid), Rule::allow, "who it runs as"},
    {CALL(geteuid), Rule::allow, "who it runs as"},
    {CALL(getgid), Rule::allow, "who it runs as"},
    {CALL(getegid), Rule::allow, "who it runs as"},
};

// A thread shares the process's memory, signal handlers and identity, and
// makes nothing new.
constexpr std::uint32_t thread_flags = CLONE_THREAD | CLONE_SIGHAND | CLONE_VM;
constexpr std::uint32_t never_with_a_thread = CLONE_NEWNS | CLONE_NEWCGROUP | CLONE_NEWUTS | CLONE_NEWIPC |
                                              CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET | CLONE_PARENT |
                                              CLONE_PTRACE | CLONE_UNTRACED | CLONE_VFORK | 0x80 /* CLONE_NEWTIME */;

constexpr std::uint32_t answer_errno(int error) {
    return SECCOMP_RET_ERRNO | (static_cast<std::uint32_t>(error) & SECCOMP_RET_DATA);
}
// The low word of argument `i` (the kernel reads an int, or an unsigned int
// request, from every argument the filter judges).
constexpr std::uint32_t argument(int i) { return static_cast<std::uint32_t>(offsetof(seccomp_data, args) + 8 * i); }
constexpr std::uint32_t instruction_pointer_low = offsetof(seccomp_data, instruction_pointer);

} // namespace

const std::vector<AllowedCall> &allowed_calls() { return calls; }

std::vector<sock_filter> filter_program(pid_t own, bool name_refusals, std::uintptr_t gate) {
    const std::uint32_t refusal = name_refusals ? SECCOMP_RET_TRAP : answer_errno(EPERM);
    BpfProgram f;
    const auto allow = f.place(), refuse = f.place(), no_such_call = f.place();
    std::map<Rule, BpfProgram::Place> rules;
    for (Rule rule :
         {Rule::not_host_stream, Rule::own_position, Rule::own_process, Rule::terminal_query, Rule::thread_only,
          Rule::thread_name, Rule::landlock, Rule::signal_mask, Rule::signal_action, Rule::gate_copy})
        rules[rule] = f.place();
    const auto trap = f.place();
    rules[Rule::allow] = allow;
    rules[Rule::no_such_call] = no_such_call;

    // Another architecture's calls (int 0x80 in a 64-bit process), which
    // this list does not name.
    f.load(offsetof(seccomp_data, arch));
    f.if_equal(own_architecture, BpfProgram::next, refuse);
    f.load(offsetof(seccomp_data, nr));
#if defined(__x86_64__)
    f.if_at_least(x32_bit, refuse);
#endif
    for (const AllowedCall &call : calls)
        f.if_equal(static_cast<std::uint32_t>(call.number), rules[call.rule]);
    f.give(refusal);

    f.mark(rules[Rule::not_host_stream]);
    f.load(argument(0));
    f.if_equal(STDOUT_FILENO, refuse);
    f.if_equal(STDERR_FILENO, refuse, allow);

    f.mark(rules[Rule::own_position]);
    f.load(argument(0));
    f.if_at_least(STDERR_FILENO + 1, allow, refuse);

    f.mark(rules[Rule::signal_mask]);
    f.give(name_refusals ? SECCOMP_RET_TRAP : SECCOMP_RET_ALLOW);

    f.mark(rules[Rule::signal_action]);
    f.load(argument(0));
    f.if_equal(SIGSYS, name_refusals ? trap : allow, allow);

    f.mark(rules[Rule::own_process]);
    f.load(argument(0));
    f.if_equal(static_cast<std::uint32_t>(own), allow);
    f.if_equal(0, allow, refuse);

    f.mark(rules[Rule::terminal_query]);
    f.load(argument(1));
    f.if_equal(TCGETS, allow);
    f.if_equal(TIOCGWINSZ, allow, refuse);

    f.mark(rules[Rule::thread_only]);
    f.load(argument(0));
    f.and_mask(thread_flags);
    f.if_equal(thread_flags, BpfProgram::next, refuse);
    f.load(argument(0));
    f.and_mask(never_with_a_thread);
    f.if_equal(0, allow, refuse);

    f.mark(rules[Rule::thread_name]);
    f.load(argument(0));
    f.if_equal(PR_SET_NAME, allow);
    f.if_equal(PR_GET_NAME, allow);
    f.if_equal(PR_SET_PDEATHSIG, allow, refuse);

    // At the gate: the trap handler's own calls.
    const auto at_the_gate = [&](BpfProgram::Place yes) {
        f.load(instruction_pointer_low);
#if defined(__x86_64__)
        f.if_equal(static_cast<std::uint32_t>(gate), BpfProgram::next, refuse);
        f.load(instruction_pointer_low + 4);
        f.if_equal(static_cast<std::uint32_t>(gate >> 32), yes, refuse);
#else
        f.if_equal(static_cast<std::uint32_t>(gate), yes, refuse);
#endif
    };
    f.mark(rules[Rule::landlock]);
    if (name_refusals) {
        // Made again by the trap handler at the gate, so that a refusal is
        // seen and named; Landlock judges it either way.
        at_the_gate(allow);
    } else {
        f.give(SECCOMP_RET_ALLOW);
    }

    f.mark(rules[Rule::gate_copy]);
    if (name_refusals) {
        const auto on_itself = f.place();
        at_the_gate(on_itself);
        f.mark(on_itself);
        f.load(argument(0));
        f.if_equal(static_cast<std::uint32_t>(own), allow, refuse);
    } else {
        f.give(refusal);
    }

    // The answers, last: a filter jumps forward only.
    f.mark(refuse);
    f.give(refusal);
    f.mark(trap);
    f.give(SECCOMP_RET_TRAP);
    f.mark(allow);
    f.give(SECCOMP_RET_ALLOW);
    f.mark(no_such_call);
    f.give(answer_errno(ENOSYS));
    return f.resolved();
}

const char *call_name(long number, char (&unknown)[32]) {
    for (const AllowedCall &call : calls)
        if (call.number == number)
            return call.name;
#define NAMED(name) \
    case __NR_##name: return #name;
    switch (number) {
#if defined(__NR_fork)
        NAMED(fork)
#endif
        NAMED(vfork)
        NAMED(execve)
        NAMED(execveat)
        NAMED(ptrace)
#if defined(__NR_socketcall)
        NAMED(socketcall)
#endif
        NAMED(socket)
        NAMED(socketpair)
        NAMED(connect)
        NAMED(bind)
        NAMED(sendto)
        NAMED(sendmsg)
        NAMED(io_uring_setup)
        NAMED(io_uring_enter)
        NAMED(io_uring_register)
#if defined(__NR_ipc)
        NAMED(ipc)
#endif
        NAMED(msgget)
        NAMED(msgsnd)
        NAMED(shmget)
        NAMED(shmat)
        NAMED(semget)
        NAMED(add_key)
        NAMED(keyctl)
        NAMED(request_key)
        NAMED(bpf)
        NAMED(perf_event_open)
        NAMED(unshare)
        NAMED(setns)
        NAMED(chroot)
        NAMED(mount)
        NAMED(umount2)
        NAMED(reboot)
        NAMED(acct)
        NAMED(syslog)
        NAMED(userfaultfd)
        NAMED(setpriority)
        NAMED(sethostname)
        NAMED(setuid)
        NAMED(setresuid)
        NAMED(capset)
        NAMED(memfd_create)
        NAMED(pipe2)
        NAMED(dup)
        NAMED(dup3)
        NAMED(fcntl)
        NAMED(uname)
        NAMED(openat2)
        NAMED(mkdirat)
        NAMED(unlinkat)
        NAMED(renameat2)
        NAMED(linkat)
        NAMED(symlinkat)
        NAMED(mknodat)
        NAMED(truncate)
        NAMED(ftruncate)
        NAMED(tkill)
        NAMED(wait4)
        NAMED(pidfd_open)
        NAMED(pidfd_send_signal)
#if defined(__NR_mkdir)
        NAMED(mkdir)
        NAMED(rmdir)
        NAMED(unlink)
        NAMED(rename)
        NAMED(link)
        NAMED(symlink)
        NAMED(mknod)
        NAMED(creat)
#endif
    default: break;
    }
#undef NAMED
    // Written by hand: this runs in a signal handler.
    char digits[24];
    int count = 0;
    for (unsigned long left = static_cast<unsigned long>(number); count == 0 || left > 0; left /= 10)
        digits[count++] = static_cast<char>('0' + left % 10);
    const char prefix[] = "system call ";
    std::size_t used = 0;
    for (const char *c = prefix; *c; ++c)
        unknown[used++] = *c;
    while (count > 0 && used + 1 < sizeof unknown)
        unknown[used++] = digits[--count];
    unknown[used] = '\0';
    return unknown;
}

} // namespace vantrell::sandbox
