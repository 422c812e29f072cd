// A module that uses the privileges of the user who started the host: in
// initialize, every call a root host's module could make, each chosen so
// that it leaves nothing behind where it works (namespaces of the calling
// thread's own, a map and counters closed at once, a priority only of the
// calling thread). Two are made to stop at the kernel's argument check:
// acct of a path that does not exist (ENOENT once allowed) and reboot with
// a wrong magic number (EINVAL once allowed); sethostname outside a new
// namespace of its own gets a name one byte too long (EINVAL). The host
// names its process first (setGameOption(1, pid)).
#include "hostile.hpp"

#include "ai_module.h"

#include <fcntl.h>
#include <linux/bpf.h>
#include <linux/perf_event.h>
#include <sched.h>
#include <sys/klog.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace {

const std::string who = "privileged";
pid_t host = 0;

// The outcome of a call that returns a descriptor, which is closed.
std::string descriptor(long fd) {
    if (fd < 0)
        return hostile::outcome(false);
    close(static_cast<int>(fd));
    return "done";
}

std::string bpf_map() {
    bpf_attr attributes{};
    attributes.map_type = BPF_MAP_TYPE_ARRAY;
    attributes.key_size = 4;
    attributes.value_size = 4;
    attributes.max_entries = 1;
    return descriptor(syscall(__NR_bpf, BPF_MAP_CREATE, &attributes, sizeof attributes));
}

std::string performance_counter(pid_t pid, int cpu) {
    perf_event_attr attributes{};
    attributes.size = sizeof attributes;
    attributes.type = PERF_TYPE_SOFTWARE;
    attributes.config = pid == -1 ? PERF_COUNT_SW_CPU_CLOCK : PERF_COUNT_SW_TASK_CLOCK;
    attributes.disabled = 1;
    return descriptor(syscall(__NR_perf_event_open, &attributes, pid, cpu, -1, 0));
}

std::string host_name() {
    if (unshare(CLONE_NEWUTS) == 0) {
        const char name[] = "hostile-uts";
        return "new UTS namespace, " + hostile::outcome(sethostname(name, sizeof name - 1) == 0);
    }
    char too_long[65];
    std::memset(too_long, 'x', sizeof too_long);
    return hostile::outcome(sethostname(too_long, sizeof too_long) == 0);
}

} // namespace

int32_t AI_CALL setGameOption(int32_t option, int32_t value) {
    if (option == 1)
        host = value;
    return 1;
}

int32_t AI_CALL initialize(const char *) {
    auto report = [](const std::string &what, const std::string &outcome) { hostile::report(who, what, outcome); };
    report("unshare(CLONE_NEWNET)", hostile::outcome(unshare(CLONE_NEWNET) == 0));
    report("unshare(CLONE_NEWNS)", hostile::outcome(unshare(CLONE_NEWNS) == 0));
    report("chroot", hostile::outcome(chroot("/") == 0));
    report("bpf(BPF_MAP_CREATE)", bpf_map());
    report("perf_event_open on the host", performance_counter(host, -1));
    report("perf_event_open CPU-wide", performance_counter(-1, 0));
    report("sethostname", host_name());
    report("setpriority(-20)", hostile::outcome(setpriority(PRIO_PROCESS, 0, -20) == 0));
    report("acct", hostile::outcome(acct("/nonexistent/hostile-accounting") == 0));
    report("syslog", hostile::outcome(klogctl(9 /* SYSLOG_ACTION_SIZE_UNREAD */, nullptr, 0) >= 0));
    report("userfaultfd", descriptor(syscall(__NR_userfaultfd, O_CLOEXEC)));
    report("reboot", hostile::outcome(syscall(__NR_reboot, 0, 0, 0, nullptr) == 0));
    return 1;
}

const char *AI_CALL getPublicName(void) { return "privileged"; }
