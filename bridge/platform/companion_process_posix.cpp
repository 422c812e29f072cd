#include "companion_process.hpp"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

extern char **environ;

namespace vantrell::platform {
namespace {

// The folder of the bridge's own file, as an absolute path: the loader's
// name for it when that is absolute, else the file the process maps at the
// bridge's address. Empty when neither is known.
std::string bridge_folder() {
    Dl_info info{};
    const void *self = reinterpret_cast<const void *>(&bridge_folder);
    std::string path;
    if (dladdr(self, &info) && info.dli_fname && info.dli_fname[0] == '/') {
        path = info.dli_fname;
    } else {
        std::ifstream maps("/proc/self/maps");
        for (std::string line; path.empty() && std::getline(maps, line);) {
            unsigned long from = 0, to = 0;
            if (std::sscanf(line.c_str(), "%lx-%lx", &from, &to) != 2)
                continue;
            const auto at = reinterpret_cast<unsigned long>(self);
            const auto slash = line.find('/');
            if (at >= from && at < to && slash != std::string::npos)
                path = line.substr(slash);
        }
    }
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

// A descriptor that reads as ended once process `pid` has ended, or -1
// where this kernel has none (before Linux 5.3).
int process_descriptor(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

class PosixCompanion : public CompanionProcess {
public:
    // `warden`: the process is the companion's warden, which ends it and
    // all it started when asked to (SIGTERM), and is reaped once it has.
    PosixCompanion(pid_t pid, bool warden, channel::SharedArea *area, int socket)
        : pid_(pid), warden_(warden), watch_(process_descriptor(pid)), area_(area),
          link_(socket, watch_ >= 0 ? fcntl(watch_, F_DUPFD_CLOEXEC, 0) : -1) {}
    ~PosixCompanion() override {
        end();
        if (!wait_for_end(std::chrono::seconds(2)))
            kill(pid_, SIGKILL); // a warden that does not answer (stopped, say)
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        if (watch_ >= 0)
            close(watch_);
        munmap(area_, sizeof *area_);
    }
    channel::SharedArea &area() override { return *area_; }
    channel::PeerLink &link() override { return link_; }

    // Through its pidfd where there is one: the signal reaches this process
    // or none, even if a host that ignores SIGCHLD let it be reaped.
    void end() noexcept override {
        if (warden_) {
            send(SIGCONT);
            send(SIGTERM);
        } else {
            send(SIGKILL);
        }
    }

    bool wait_for_end(std::chrono::milliseconds limit) noexcept override {
        if (watch_ >= 0) {
            pollfd entry{watch_, POLLIN, 0};
            const auto until = std::chrono::steady_clock::now() + limit;
            for (;;) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
                const int ready = poll(&entry, 1, static_cast<int>(std::max<long long>(0, left.count())));
                if (ready >= 0 || errno != EINTR)
                    return ready > 0;
            }
        }
        // Without a pidfd: looked at every 10 ms, the process left unreaped.
        for (auto waited = std::chrono::milliseconds(0);; waited += std::chrono::milliseconds(10)) {
            siginfo_t info{};
            if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid_)
                return true;
            if (waited >= limit)
                return false;
            usleep(10000);
        }
    }

private:
    void send(int number) noexcept {
        if (watch_ < 0 || syscall(SYS_pidfd_send_signal, watch_, number, nullptr, 0) != 0)
            kill(pid_, number);
    }

    pid_t pid_;
    bool warden_;
    int watch_;
    channel::SharedArea *area_;
    channel::PeerLink link_;
};

// Whether "NAME=value" sets the locale: LANG, LANGUAGE, LC_ALL or one of
// the C library's categories (not any LC_ name: a remote shell passes
// those through, whatever they hold).
bool is_locale_variable(const char *variable) {
    static const char *const names[] = {"LANG",    "LANGUAGE",   "LC_ALL",       "LC_CTYPE",       "LC_NUMERIC",
                                        "LC_TIME", "LC_COLLATE", "LC_MONETARY",  "LC_MESSAGES",    "LC_PAPER",
                                        "LC_NAME", "LC_ADDRESS", "LC_TELEPHONE", "LC_MEASUREMENT", "LC_IDENTIFICATION"};
    for (const char *name : names) {
        const std::size_t length = std::strlen(name);
        if (std::strncmp(variable, name, length) == 0 && variable[length] == '=')
            return true;
    }
    return false;
}

// Closes a descriptor when it goes out of scope, unless released.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0)
            close(fd);
    }
    int release() { return std::exchange(fd, -1); }
};

} // namespace

std::unique_ptr<CompanionProcess> CompanionProcess::start(int bits, bool sandboxed) {
    const std::string folder = bridge_folder();
    if (folder.empty() || (bits != 32 && bits != 64))
        return nullptr;
    const std::string program = folder + "/vantrell-companion-" + (bits == 32 ? "i386" : "x86_64");
    if (access(program.c_str(), X_OK) != 0)
        return nullptr;

    Descriptor memory{memfd_create("vantrell-companion", MFD_CLOEXEC)};
    if (memory.fd < 0 || ftruncate(memory.fd, sizeof(channel::SharedArea)) != 0)
        return nullptr;
    void *mapped = mmap(nullptr, sizeof(channel::SharedArea), PROT_READ | PROT_WRITE, MAP_SHARED, memory.fd, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    auto *area = static_cast<channel::SharedArea *>(mapped);
    area->magic = channel::protocol_magic;
    area->version = channel::protocol_version;
    area->sandboxed = sandboxed ? 1 : 0;
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        munmap(mapped, sizeof *area);
        return nullptr;
    }
    Descriptor own_end{ends[0]}, companion_end{ends[1]};

    // The mapping becomes its descriptor 3 and the socket its 4; nothing
    // else of the host's reaches it but the standard streams. No signal is
    // blocked or ignored for it, whatever the host's thread had. It starts
    // in a session of its own, so that the terminal's signals (an
    // interrupt) reach the host alone, which then ends it with its output
    // kept. A sandboxed one gets only the host's locale of its environment
    // (which may hold secrets a module's chat could carry off); its empty
    // standard input it makes itself as it confines itself.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, memory.fd, 3);
    posix_spawn_file_actions_adddup2(&actions, companion_end.fd, 4);
    posix_spawn_file_actions_addclosefrom_np(&actions, 5);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID));
    char mapping_fd[] = "3", socket_fd[] = "4";
    char *argv[] = {const_cast<char *>(program.c_str()), mapping_fd, socket_fd, nullptr};
    std::vector<char *> locale_only;
    for (char **variable = environ; variable && *variable; ++variable)
        if (is_locale_variable(*variable))
            locale_only.push_back(*variable);
    locale_only.push_back(nullptr);
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, sandboxed ? locale_only.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        munmap(mapped, sizeof *area);
        return nullptr;
    }
    return std::make_unique<PosixCompanion>(pid, !sandboxed, area, own_end.release());
}

} // namespace vantrell::platform
