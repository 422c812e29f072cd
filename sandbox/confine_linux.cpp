#include "confine.hpp"

#include "credentials_linux.hpp"
#include "landlock_linux.hpp"
#include "refusal_names_linux.hpp"
#include "system_calls_linux.hpp"

#include <fcntl.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace vantrell::sandbox {
namespace {

std::string failure(const char *what) { return std::string(what) + " (" + std::strerror(errno) + ")"; }

// The threads of this process, as the kernel counts them; 0 when unknown.
int thread_count() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Threads:", 0) == 0)
            return std::atoi(line.c_str() + 8);
    return 0;
}

// A session of its own, so that no terminal is its controlling one (a
// process that is not a session leader could be handed one), and nothing
// to read on its standard input.
std::string away_from_the_terminal() {
    if (setsid() < 0 && getsid(0) != getpid())
        return failure("a session of its own");
    const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal >= 0) {
        close(terminal);
        return "a session without a controlling terminal";
    }
    const int empty = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const bool moved = empty >= 0 && dup2(empty, STDIN_FILENO) == STDIN_FILENO;
    if (empty > STDIN_FILENO)
        close(empty);
    return moved ? "" : failure("an empty standard input");
}

std::string limits() {
    const rlimit address_space{address_space_limit, address_space_limit}, no_core{0, 0},
        files{open_files_limit, open_files_limit};
    if (setrlimit(RLIMIT_AS, &address_space) != 0 || setrlimit(RLIMIT_CORE, &no_core) != 0 ||
        setrlimit(RLIMIT_NOFILE, &files) != 0)
        return failure("resource limits");
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return failure("no_new_privs");
    return "";
}

// The filter, on every thread at once (there should be only this one).
std::string seccomp(bool name_refusals) {
    const std::vector<sock_filter> program = filter_program(getpid(), name_refusals, gate_address());
    if (program.empty())
        return "seccomp: the filter could not be made";
    if (name_refusals)
        name_refusals_from_now_on();
    const sock_fprog filter{static_cast<unsigned short>(program.size()), const_cast<sock_filter *>(program.data())};
    const long applied = syscall(__NR_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_TSYNC, &filter);
    if (applied > 0)
        return "seccomp on every thread (thread " + std::to_string(applied) + " could not take the filter)";
    if (applied != 0)
        return failure("seccomp filters with thread synchronisation");
    return "";
}

} // namespace

std::string confine(const Readable &readable, bool name_refusals, unsigned own_threads) {
    // What the kernel must offer, before anything changes.
    const int abi = landlock_abi();
    if (abi < landlock_abi_needed)
        return "Landlock ABI " + std::to_string(landlock_abi_needed) + " or newer: this kernel offers " +
               (abi < 0 ? std::string("none") : "ABI " + std::to_string(abi));
    if (prctl(PR_GET_SECCOMP, 0, 0, 0, 0) < 0)
        return failure("seccomp");
    if (const int threads = thread_count(); threads != 1)
        return "a process of one thread to confine (it runs " +
               (threads > 0 ? std::to_string(threads) : std::string("an unknown number of")) + " threads)";
    // Each step only once the one before it held.
    std::string missing = away_from_the_terminal();
    if (missing.empty())
        missing = give_up_privileges(thread_limit + own_threads);
    if (missing.empty())
        missing = limits();
    if (missing.empty())
        missing = restrict_to_reading(readable, abi);
    if (missing.empty())
        missing = seccomp(name_refusals);
    return missing;
}

std::vector<std::string> refusals() { return take_refusals(); }

} // namespace vantrell::sandbox
