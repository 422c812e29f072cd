#include "companion_process.hpp"

#include "socket_channel.hpp"

#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

extern char **environ;

namespace vantrell::platform {
namespace {

// The companion for modules of `bits`, beside the bridge's own file: i386
// for 32-bit modules (x86_64 only in a build for measurements).
std::string companion_program(int bits) {
    if (bits != 32 && bits != 64)
        return "";
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&companion_program), &info) || !info.dli_fname)
        return "";
    std::string bridge = info.dli_fname;
    const auto slash = bridge.rfind('/');
    return (slash == std::string::npos ? std::string(".") : bridge.substr(0, slash)) + "/vantrell-companion-" +
           (bits == 32 ? "i386" : "x86_64");
}

class PosixCompanion : public CompanionProcess {
public:
    PosixCompanion(pid_t pid, int socket) : pid_(pid), channel_(socket) {}
    ~PosixCompanion() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            wait();
        }
    }
    bool read(void *data, std::size_t size) override { return channel_.read(data, size); }
    bool write(const void *data, std::size_t size) override { return channel_.write(data, size); }
    bool flush() override { return channel_.flush(); }
    void wait() override {
        while (pid_ > 0 && waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        pid_ = 0;
    }

private:
    pid_t pid_;
    companion::SocketChannel channel_;
};

} // namespace

std::unique_ptr<CompanionProcess> CompanionProcess::start(int bits, const std::uint16_t *path, std::size_t count) {
    const std::string program = companion_program(bits);
    if (program.empty() || access(program.c_str(), X_OK) != 0)
        return nullptr;
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return nullptr;
    // The companion's end becomes its descriptor 3, and nothing else of the
    // host's but the standard streams reaches it.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 3);
    posix_spawn_file_actions_addclosefrom_np(&actions, 4);
    const std::string host = std::to_string(getpid());
    char descriptor[] = "3";
    char *argv[] = {const_cast<char *>(program.c_str()), descriptor, const_cast<char *>(host.c_str()), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    if (spawned != 0) {
        close(ends[0]);
        return nullptr;
    }
    std::unique_ptr<CompanionProcess> process = std::make_unique<PosixCompanion>(pid, ends[0]);
    if (!companion::start_session(*process, path, count))
        return nullptr; // the destructor ends and reaps it
    return process;
}

} // namespace vantrell::platform
