#include "credentials_linux.hpp"

#include <grp.h>
#include <linux/capability.h>
#include <linux/securebits.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

namespace vantrell::sandbox {
namespace {

std::string failure(const char *what) { return std::string(what) + " (" + std::strerror(errno) + ")"; }

// The user the kernel shows for an unmapped one: nobody.
uid_t overflow_user() {
    std::ifstream in("/proc/sys/kernel/overflowuid");
    long user = 65534;
    in >> user;
    return user > 0 ? static_cast<uid_t>(user) : 65534;
}

// Whether every capability set of this process reads empty.
bool no_capability_left() {
    std::ifstream status("/proc/self/status");
    int sets = 0;
    for (std::string line; std::getline(status, line);) {
        for (const char *set : {"CapInh:", "CapPrm:", "CapEff:", "CapBnd:", "CapAmb:"}) {
            if (line.rfind(set, 0) != 0)
                continue;
            if (line.find_first_not_of("0 \t", std::strlen(set)) != std::string::npos)
                return false;
            ++sets;
        }
    }
    return sets == 5;
}

} // namespace

std::string give_up_privileges(unsigned most_tasks) {
    if (getuid() == 0) {
        if (setgroups(0, nullptr) != 0)
            return failure("leaving root's groups");
        if (setresuid(overflow_user(), static_cast<uid_t>(-1), static_cast<uid_t>(-1)) != 0)
            return failure("a real user other than root");
    }
    if (unshare(CLONE_NEWUSER) != 0)
        return failure("a user namespace of its own");
    // Every capability of the new namespace is held for a moment: enough
    // to lock them away for good.
    constexpr unsigned long locked = SECBIT_NOROOT | SECBIT_NOROOT_LOCKED | SECBIT_NO_SETUID_FIXUP |
                                     SECBIT_NO_SETUID_FIXUP_LOCKED | SECBIT_KEEP_CAPS_LOCKED |
                                     SECBIT_NO_CAP_AMBIENT_RAISE | SECBIT_NO_CAP_AMBIENT_RAISE_LOCKED;
    if (prctl(PR_SET_SECUREBITS, locked, 0, 0, 0) != 0)
        return failure("locked capability rules");
    for (unsigned long capability = 0; prctl(PR_CAPBSET_READ, capability, 0, 0, 0) >= 0; ++capability)
        if (prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0)
            return failure("an empty bounding set");
    if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0)
        return failure("an empty ambient set");
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(__NR_capset, &header, none) != 0)
        return failure("no capabilities");
    if (!no_capability_left())
        return "no capabilities (a set still holds one)";
    // No other process of the user may look into this one.
    if (prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0)
        return failure("a process others cannot inspect");
    const rlimit tasks{most_tasks, most_tasks};
    if (setrlimit(RLIMIT_NPROC, &tasks) != 0)
        return failure("a bound on threads");
    return "";
}

} // namespace vantrell::sandbox
