#include "child_process.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace vantrell::check {
namespace {

class PosixChild : public ChildProcess {
public:
    explicit PosixChild(pid_t pid) : pid_(pid) {}
    ~PosixChild() override {
        if (!ended_) {
            kill();
            wait_for(-1);
        }
    }

    bool wait_for(int milliseconds) override {
        for (int waited = 0; !ended_; waited += 10) {
            pid_t done = waitpid(pid_, &status_, milliseconds < 0 ? 0 : WNOHANG);
            if (done == pid_ || (done < 0 && errno != EINTR)) {
                ended_ = true;
                break;
            }
            if (milliseconds >= 0 && waited >= milliseconds)
                break;
            const timespec pause{0, 10 * 1000 * 1000};
            nanosleep(&pause, nullptr);
        }
        return ended_;
    }

    void kill() override {
        if (!ended_)
            ::kill(pid_, SIGKILL);
    }

    std::string how_it_ended() const override {
        if (WIFSIGNALED(status_)) {
            const int signal = WTERMSIG(status_);
            const char *name = strsignal(signal);
            return "signal " + std::to_string(signal) + (name ? std::string(" (") + name + ")" : "");
        }
        if (WIFEXITED(status_) && WEXITSTATUS(status_) != 0)
            return "exit status " + std::to_string(WEXITSTATUS(status_));
        return "";
    }

private:
    pid_t pid_;
    int status_ = 0;
    bool ended_ = false;
};

} // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string> &arguments) {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return nullptr;
    self[length] = '\0';
    std::vector<char *> argv{self};
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, self, nullptr, nullptr, argv.data(), environ) != 0)
        return nullptr;
    return std::make_unique<PosixChild>(pid);
}

std::string this_process_as_parent() { return std::to_string(getpid()); }

// The kernel's signal at the parent's end, asked for before looking at the
// parent, so that no end goes unseen. The sandbox keeps it: confining
// changes neither the effective user nor grants capabilities.
bool end_with_parent(const std::string &parent) {
    if (prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0)
        return false;
    char *end = nullptr;
    const long id = std::strtol(parent.c_str(), &end, 10);
    return !parent.empty() && *end == '\0' && id > 0 && getppid() == static_cast<pid_t>(id);
}

} // namespace vantrell::check
