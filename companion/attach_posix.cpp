#include "attach.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace vantrell::companion {
namespace {

// The parent of process `pid`, from its stat line ("pid (name) state
// ppid ..."; the name may hold anything, its last ')' ends it); 0 when
// unknown.
pid_t parent_of(const char *pid) {
    std::ifstream stat(std::string("/proc/") + pid + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto name_end = line.rfind(')');
    if (name_end == std::string::npos || name_end + 4 >= line.size())
        return 0;
    return static_cast<pid_t>(std::strtol(line.c_str() + name_end + 4, nullptr, 10));
}

// Kills every child of this process; whether there was one.
bool kill_children() {
    const pid_t self = getpid();
    bool found = false;
    if (DIR *processes = opendir("/proc")) {
        while (const dirent *entry = readdir(processes)) {
            if (entry->d_name[0] < '1' || entry->d_name[0] > '9' || parent_of(entry->d_name) != self)
                continue;
            kill(static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10)), SIGKILL);
            found = true;
        }
        closedir(processes);
    }
    return found;
}

// Each descendant ended lets its own children come to this process (a
// subreaper): killed and reaped until none is left.
void end_every_descendant() {
    for (;;) {
        kill_children();
        pid_t reaped = 0;
        while ((reaped = waitpid(-1, nullptr, WNOHANG)) > 0) {
        }
        if (reaped < 0 && errno == ECHILD)
            return;
        usleep(1000); // a child killed but not yet gone, or one just adopted
    }
}

// The warden's life: until its companion has ended, then every
// descendant; the companion's status, as a shell reports one.
int keep_watch(pid_t server, const sigset_t &watched) {
    int server_status = 0;
    for (bool ended = false; !ended;) {
        siginfo_t info{};
        if (sigwaitinfo(&watched, &info) == SIGTERM)
            kill(server, SIGKILL);
        int status = 0;
        for (pid_t reaped; (reaped = waitpid(-1, &status, WNOHANG)) > 0;)
            if (reaped == server) {
                server_status = status;
                ended = true;
            }
    }
    end_every_descendant();
    return WIFEXITED(server_status) ? WEXITSTATUS(server_status) : 128 + WTERMSIG(server_status);
}

} // namespace

// vantrell-companion-<width> <mapping descriptor> <socket descriptor>
Attachment attach(int argc, char **argv) {
    if (argc != 3)
        return {};
    const int mapping = static_cast<int>(std::strtol(argv[1], nullptr, 10));
    const int socket = static_cast<int>(std::strtol(argv[2], nullptr, 10));
    // Before anything else runs: a process the module starts inherits
    // neither.
    if (fcntl(mapping, F_SETFD, FD_CLOEXEC) != 0 || fcntl(socket, F_SETFD, FD_CLOEXEC) != 0)
        return {};
    void *area = mmap(nullptr, sizeof(channel::SharedArea), PROT_READ | PROT_WRITE, MAP_SHARED, mapping, 0);
    close(mapping);
    if (area == MAP_FAILED)
        return {};
    return {static_cast<channel::SharedArea *>(area), std::make_unique<channel::PeerLink>(socket)};
}

void serve_under_a_warden(Attachment &attached) {
    sigset_t watched, before;
    sigemptyset(&watched);
    sigaddset(&watched, SIGCHLD);
    sigaddset(&watched, SIGTERM);
    sigprocmask(SIG_BLOCK, &watched, &before);
    const pid_t warden = getpid();
    const pid_t server = prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0 ? fork() : -1;
    if (server <= 0) {
        if (server == 0) {
            // Dies with the warden, whatever ends it.
            prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
            if (getppid() != warden)
                _exit(1);
        }
        sigprocmask(SIG_SETMASK, &before, nullptr);
        return;
    }
    munmap(attached.area, sizeof(channel::SharedArea));
    attached.area = nullptr;
    attached.link.reset();
    _exit(keep_watch(server, watched));
}

void end_after_host(channel::PeerLink &link, channel::SharedArea &area, std::chrono::seconds grace) {
    std::thread([&link, &area, grace] {
        link.wait_until_peer_gone();
        // Woken again and again: a wake that comes before the waiting
        // thread sleeps is lost.
        constexpr auto between_wakes = std::chrono::milliseconds(2);
        for (auto waited = std::chrono::milliseconds(0); waited < grace; waited += between_wakes) {
            link.wake(area.request.sequence);
            std::this_thread::sleep_for(between_wakes);
        }
        _exit(0);
    }).detach();
}

} // namespace vantrell::companion
