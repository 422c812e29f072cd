#include "confine.hpp"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace vantrell::sandbox {
namespace {

// Landlock, as the kernel's interface has it (the headers of an older
// system may lack the newer parts).
struct LandlockRulesetAttributes {
    std::uint64_t handled_access_fs;
    std::uint64_t handled_access_net;
    std::uint64_t scoped;
};
constexpr unsigned landlock_version_query = 1u << 0; // LANDLOCK_CREATE_RULESET_VERSION
constexpr int landlock_abi_needed = 6;               // scoping of signals and abstract sockets
// File-system rights by the ABI that introduced them: 1 (the first 13),
// 2 (refer), 3 (truncate), 5 (ioctl on devices).
std::uint64_t file_system_rights(int abi) {
    std::uint64_t rights = (1ull << 13) - 1;
    if (abi >= 2)
        rights |= 1ull << 13;
    if (abi >= 3)
        rights |= 1ull << 14;
    if (abi >= 5)
        rights |= 1ull << 15;
    return rights;
}
constexpr std::uint64_t net_bind_and_connect_tcp = (1ull << 0) | (1ull << 1);
constexpr std::uint64_t scope_abstract_sockets_and_signals = (1ull << 0) | (1ull << 1);

#if defined(__x86_64__)
constexpr std::uint32_t own_architecture = AUDIT_ARCH_X86_64;
constexpr std::uint32_t x32_bit = 0x40000000;
#elif defined(__i386__)
constexpr std::uint32_t own_architecture = AUDIT_ARCH_I386;
#else
#error "the sandbox knows the system calls of x86 only"
#endif
constexpr std::uint32_t clone_thread = 0x00010000; // CLONE_THREAD
// socketcall's numbers of socket(2) and socketpair(2) (i386).
constexpr std::uint32_t socketcall_socket = 1, socketcall_socketpair = 8;

// Calls that would make a process, run a program, reach into another
// process or open a new way out.
const int refused_calls[] = {
    __NR_fork,
    __NR_vfork,
    __NR_execve,
    __NR_execveat,
    __NR_ptrace,
    __NR_process_vm_readv,
    __NR_process_vm_writev,
    __NR_socket,
    __NR_socketpair,
};
// Calls that open, make or remove files, which Landlock refuses; named only
// when refusals are named.
const int file_calls[] = {
#if defined(__NR_open)
    __NR_open,
#endif
#if defined(__NR_creat)
    __NR_creat,
#endif
#if defined(__NR_mkdir)
    __NR_mkdir,   __NR_rmdir,    __NR_unlink,  __NR_rename,   __NR_link,      __NR_symlink, __NR_mknod,
#endif
    __NR_openat,  __NR_openat2,  __NR_mkdirat, __NR_unlinkat, __NR_renameat2, __NR_linkat,  __NR_symlinkat,
    __NR_mknodat, __NR_truncate,
};

const char *call_name(long number) {
    switch (number) {
    case __NR_fork: return "fork";
    case __NR_vfork: return "vfork";
    case __NR_clone: return "clone (a new process)";
    case __NR_execve: return "execve";
    case __NR_execveat: return "execveat";
    case __NR_ptrace: return "ptrace";
    case __NR_process_vm_readv: return "process_vm_readv";
    case __NR_process_vm_writev: return "process_vm_writev";
    case __NR_socket: return "socket";
    case __NR_socketpair: return "socketpair";
#if defined(__NR_socketcall)
    case __NR_socketcall: return "socket";
#endif
#if defined(__NR_open)
    case __NR_open: return "open";
#endif
#if defined(__NR_creat)
    case __NR_creat: return "creat";
#endif
#if defined(__NR_mkdir)
    case __NR_mkdir: return "mkdir";
    case __NR_rmdir: return "rmdir";
    case __NR_unlink: return "unlink";
    case __NR_rename: return "rename";
    case __NR_link: return "link";
    case __NR_symlink: return "symlink";
    case __NR_mknod: return "mknod";
#endif
    case __NR_openat: return "openat";
    case __NR_openat2: return "openat2";
    case __NR_mkdirat: return "mkdirat";
    case __NR_unlinkat: return "unlinkat";
    case __NR_renameat2: return "renameat2";
    case __NR_linkat: return "linkat";
    case __NR_symlinkat: return "symlinkat";
    case __NR_mknodat: return "mknodat";
    case __NR_truncate: return "truncate";
    default: return "a system call";
    }
}

// A seccomp filter, written as a list of instructions with forward jumps to
// named places.
class Filter {
public:
    enum Place { this_architecture, refuse, refuse_file, no_such_call, socketcall, clone_call, allow, places };
    void load(std::uint32_t offset) { code_.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset)); }
    // When the accumulator equals (or, `any_bit`, shares a bit with) `value`,
    // go to `place`; else on.
    void jump_if(std::uint32_t value, Place place, bool any_bit = false) {
        jumps_.push_back({code_.size(), place});
        code_.push_back(BPF_JUMP(BPF_JMP | (any_bit ? BPF_JSET : BPF_JEQ) | BPF_K, value, 0, 0));
    }
    void jump_if_at_least(std::uint32_t value, Place place) {
        jumps_.push_back({code_.size(), place});
        code_.push_back(BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, value, 0, 0));
    }
    void give(std::uint32_t answer) { code_.push_back(BPF_STMT(BPF_RET | BPF_K, answer)); }
    void mark(Place place) { at_[place] = code_.size(); }
    // The program, its jumps resolved; empty when one is too far.
    std::vector<sock_filter> program() {
        for (const auto &[from, place] : jumps_) {
            const std::size_t distance = at_[place] - from - 1;
            if (distance > 255)
                return {};
            code_[from].jt = static_cast<unsigned char>(distance);
        }
        return code_;
    }

private:
    std::vector<sock_filter> code_;
    std::vector<std::pair<std::size_t, Place>> jumps_;
    std::size_t at_[places] = {};
};

constexpr std::uint32_t answer_errno(int error) {
    return SECCOMP_RET_ERRNO | (static_cast<std::uint32_t>(error) & 0xFFFF);
}

std::vector<sock_filter> seccomp_program(bool name_refusals) {
    const std::uint32_t refusal = name_refusals ? SECCOMP_RET_TRAP : answer_errno(EPERM);
    Filter f;
    f.load(offsetof(seccomp_data, arch));
    f.jump_if(own_architecture, Filter::this_architecture);
    // Another architecture's calls, which this filter cannot judge.
    f.give(answer_errno(EPERM));
    f.mark(Filter::this_architecture);
    f.load(offsetof(seccomp_data, nr));
#if defined(__x86_64__)
    f.jump_if_at_least(x32_bit, Filter::refuse);
#endif
    for (int call : refused_calls)
        f.jump_if(static_cast<std::uint32_t>(call), Filter::refuse);
    if (name_refusals)
        for (int call : file_calls)
            f.jump_if(static_cast<std::uint32_t>(call), Filter::refuse_file);
    // clone3 passes its flags in memory the filter cannot read: glibc then
    // uses clone, which it can.
    f.jump_if(__NR_clone3, Filter::no_such_call);
#if defined(__NR_socketcall)
    f.jump_if(__NR_socketcall, Filter::socketcall);
#endif
    f.jump_if(__NR_clone, Filter::clone_call);
    f.give(SECCOMP_RET_ALLOW);
    f.mark(Filter::refuse);
    f.give(refusal);
    f.mark(Filter::refuse_file);
    f.give(SECCOMP_RET_TRAP);
    f.mark(Filter::no_such_call);
    f.give(answer_errno(ENOSYS));
    f.mark(Filter::socketcall);
#if defined(__NR_socketcall)
    f.load(offsetof(seccomp_data, args[0]));
    f.jump_if(socketcall_socket, Filter::refuse);
    f.jump_if(socketcall_socketpair, Filter::refuse);
    f.give(SECCOMP_RET_ALLOW);
#endif
    // A new thread shares the process: allowed; anything else is a new
    // process.
    f.mark(Filter::clone_call);
    f.load(offsetof(seccomp_data, args[0]));
    f.jump_if(clone_thread, Filter::allow, true);
    f.give(refusal);
    f.mark(Filter::allow);
    f.give(SECCOMP_RET_ALLOW);
    return f.program();
}

// What a trapped call is answered, and named by, in the process itself.
constexpr int most_refusals = 64;
constexpr int longest_refusal = 200;
char refusal_texts[most_refusals][longest_refusal];
std::atomic<int> refusal_count{0};

void name_refusal(int number, const char *path) {
    const int at = refusal_count.load();
    if (at >= most_refusals)
        return;
    char *text = refusal_texts[at];
    std::size_t used = 0;
    auto append = [&](const char *part) {
        for (; *part && used + 1 < longest_refusal; ++part)
            text[used++] = *part;
    };
    append(call_name(number));
    if (path) {
        append("(\"");
        append(path);
        append("\")");
    }
    text[used] = '\0';
    refusal_count.store(at + 1);
}

bool is_file_call(long number) {
    for (int call : file_calls)
        if (call == number)
            return true;
    return false;
}

// The trapped call's answer is the one the sandbox gives, set where the
// call's result goes; the call is named.
void on_trapped_call(int, siginfo_t *info, void *context) {
    auto *registers = static_cast<ucontext_t *>(context)->uc_mcontext.gregs;
    const long number = info->si_syscall;
    const bool file = is_file_call(number);
    // The path is the first argument, or the second after a directory.
    const bool after_a_directory = number == __NR_openat || number == __NR_openat2 || number == __NR_mkdirat ||
                                   number == __NR_unlinkat || number == __NR_renameat2 || number == __NR_mknodat;
#if defined(__x86_64__)
    const greg_t path = registers[after_a_directory ? REG_RSI : REG_RDI];
    registers[REG_RAX] = file ? -EACCES : -EPERM;
#else
    // i386 passes the arguments in ebx, ecx, ...
    const greg_t path = registers[after_a_directory ? REG_ECX : REG_EBX];
    registers[REG_EAX] = file ? -EACCES : -EPERM;
#endif
    name_refusal(static_cast<int>(number), file ? reinterpret_cast<const char *>(path) : nullptr);
}

std::string landlock() {
    const long abi = syscall(__NR_landlock_create_ruleset, nullptr, 0, landlock_version_query);
    if (abi < landlock_abi_needed)
        return "Landlock ABI " + std::to_string(landlock_abi_needed) + " or newer: this kernel offers " +
               (abi < 0 ? std::string("none") : "ABI " + std::to_string(abi));
    const LandlockRulesetAttributes attributes{file_system_rights(static_cast<int>(abi)), net_bind_and_connect_tcp,
                                               scope_abstract_sockets_and_signals};
    const long ruleset = syscall(__NR_landlock_create_ruleset, &attributes, sizeof attributes, 0);
    if (ruleset < 0)
        return std::string("Landlock: the ruleset was refused (") + std::strerror(errno) + ")";
    const long restricted = syscall(__NR_landlock_restrict_self, ruleset, 0);
    close(static_cast<int>(ruleset));
    if (restricted != 0)
        return std::string("Landlock: the process could not be restricted (") + std::strerror(errno) + ")";
    return "";
}

std::string seccomp(bool name_refusals) {
    std::vector<sock_filter> program = seccomp_program(name_refusals);
    if (program.empty())
        return "seccomp: the filter is too long";
    if (name_refusals) {
        struct sigaction action {};
        action.sa_sigaction = on_trapped_call;
        action.sa_flags = SA_SIGINFO;
        sigaction(SIGSYS, &action, nullptr);
    }
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter, 0, 0) != 0)
        return std::string("seccomp filters (") + std::strerror(errno) + ")";
    return "";
}

} // namespace

std::string confine(bool name_refusals) {
    const rlimit address_space{address_space_limit, address_space_limit}, no_core{0, 0},
        files{open_files_limit, open_files_limit};
    if (setrlimit(RLIMIT_AS, &address_space) != 0 || setrlimit(RLIMIT_CORE, &no_core) != 0 ||
        setrlimit(RLIMIT_NOFILE, &files) != 0)
        return std::string("resource limits (") + std::strerror(errno) + ")";
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return std::string("no_new_privs (") + std::strerror(errno) + ")";
    if (std::string missing = landlock(); !missing.empty())
        return missing;
    return seccomp(name_refusals);
}

std::vector<std::string> refusals() {
    std::vector<std::string> named;
    const int count = refusal_count.exchange(0);
    for (int i = 0; i < count && i < most_refusals; ++i)
        named.emplace_back(refusal_texts[i]);
    return named;
}

} // namespace vantrell::sandbox
