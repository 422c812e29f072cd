#include "hostile.hpp"

#include "ai_module.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>

namespace hostile {
namespace {

std::mutex &report_lock() {
    static std::mutex lock;
    return lock;
}

std::string &report_text() {
    static std::string text;
    return text;
}

const std::map<std::string, std::string> &parameters() {
    static const std::map<std::string, std::string> values = [] {
        std::map<std::string, std::string> read;
        std::ifstream in(module_folder() + "/params");
        for (std::string line; std::getline(in, line);)
            if (const auto space = line.find(' '); space != std::string::npos)
                read[line.substr(0, space)] = line.substr(space + 1);
        return read;
    }();
    return values;
}

// Writes `text` to a new file; for the daemon, which has nothing else left.
void write_whole(const std::string &path, const std::string &text) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd >= 0) {
        (void)!write(fd, text.data(), text.size());
        close(fd);
    }
}

// The daemon's life: it waits for `host` to end, for a minute at most.
[[noreturn]] void be_a_daemon(pid_t host, const std::string &name, const std::string &pid_file,
                              const std::string &outlived) {
    prctl(PR_SET_NAME, name.c_str());
    // Nothing of the host's: its output pipes would keep the host's reader
    // waiting for this process.
    const int null = open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd)
        dup2(null, fd);
    syscall(SYS_close_range, 3u, ~0u, 0u);
    const std::string me = std::to_string(getpid()) + "\n";
    write_whole(pid_file, me);
    if (const int host_end = static_cast<int>(syscall(SYS_pidfd_open, host, 0)); host_end >= 0) {
        pollfd ended{host_end, POLLIN, 0};
        poll(&ended, 1, 60000);
    } else {
        for (int tenth = 0; tenth < 600 && kill(host, 0) == 0; ++tenth)
            usleep(100000);
    }
    write_whole(outlived, me);
    _exit(0);
}

// "done" when `child` ended well.
std::string waited_for(pid_t child, const std::string &what) {
    int status = 0;
    if (waitpid(child, &status, 0) != child)
        return outcome(false) + " (waitpid)";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return "done";
    return what + " failed (" +
           (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                              : "signal " + std::to_string(WTERMSIG(status))) +
           ")";
}

} // namespace

std::string module_folder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&module_folder), &info) || !info.dli_fname)
        return ".";
    const std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string parameter(const char *key, const std::string &fallback) {
    const auto found = parameters().find(key);
    return found == parameters().end() ? fallback : found->second;
}

long number_parameter(const char *key, long fallback) {
    const std::string text = parameter(key);
    return text.empty() ? fallback : std::strtol(text.c_str(), nullptr, 0);
}

void report(const std::string &who, const std::string &what, const std::string &outcome) {
    std::lock_guard<std::mutex> hold(report_lock());
    report_text() += who + ": " + what + ": " + outcome + "\n";
}

std::string error_name(int error) {
    const char *name = strerrorname_np(error);
    return name ? name : "error " + std::to_string(error);
}

std::string outcome(bool succeeded) { return succeeded ? "done" : error_name(errno); }

void read_file(const std::string &who, const std::string &path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return report(who, "read " + path, outcome(false));
    char buffer[256] = {};
    const ssize_t got = read(fd, buffer, sizeof buffer - 1);
    const int error = errno;
    close(fd);
    if (got < 0)
        return report(who, "read " + path, error_name(error) + " (read)");
    std::string first(buffer, static_cast<std::size_t>(got));
    report(who, "read " + path, "done: " + first.substr(0, first.find('\n')));
}

void create_file(const std::string &who, const std::string &path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return report(who, "create " + path, outcome(false));
    const bool written = write(fd, "hostile\n", 8) == 8;
    const int error = errno;
    close(fd);
    report(who, "create " + path, written ? "done" : error_name(error) + " (write)");
}

void connect_and_send(const std::string &who, int port, const std::string &text) {
    const std::string what = "connect to 127.0.0.1:" + std::to_string(port);
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return report(who, what, outcome(false) + " (socket)");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string result;
    if (connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        result = outcome(false) + " (connect)";
    else if (send(s, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size()))
        result = outcome(false) + " (send)";
    else
        result = "done";
    close(s);
    report(who, what, result);
}

void run_shell(const std::string &who, const std::string &command) {
    const pid_t child = fork();
    if (child < 0)
        return report(who, "run /bin/sh", outcome(false) + " (fork)");
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    report(who, "run /bin/sh", waited_for(child, "the shell"));
}

void start_daemon(const std::string &who, const std::string &folder) {
    const pid_t host = getpid();
    const std::string name = parameter("daemon_name", "hostile-daemon");
    const std::string pid_file = folder + "/daemon-pid", outlived = folder + "/daemon-outlived-host";
    const pid_t child = fork();
    if (child < 0)
        return report(who, "start a daemon", outcome(false) + " (fork)");
    if (child == 0) {
        setsid();
        const pid_t daemon = fork();
        if (daemon == 0)
            be_a_daemon(host, name, pid_file, outlived);
        _exit(daemon > 0 ? 0 : 1);
    }
    report(who, "start a daemon", waited_for(child, "the daemon's parent"));
}

} // namespace hostile

// The report so far; the host asks for it once the attempts are over.
const char *AI_CALL getPreGameChat(void) {
    static std::string answer;
    std::lock_guard<std::mutex> hold(hostile::report_lock());
    answer = hostile::report_text();
    return answer.c_str();
}
