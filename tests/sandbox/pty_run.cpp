// Runs a program in a pseudo-terminal of its own, so that what a module
// types into its terminal lands there, and says what was typed:
//
//   pty-run [--input <text>] <program> [<argument>...]
//
// --input: <text> waits on the terminal's input before the program starts,
// as if the user had typed it ahead.
//
// The program runs with the pseudo-terminal, in raw mode (no echo, no line
// editing), as its controlling terminal and its standard streams. Once it
// has ended, the session's leader (a process of pty-run's) reads what waits
// on the terminal's input, which only a program that typed into it could
// have put there, and writes "pty-run: typed into the terminal: <text>"
// (non-printing characters escaped). Everything written to the terminal
// comes out on this process's standard output; it ends with the program's
// exit status, once every holder of the terminal has let it go (at most
// 30 s after the program).
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>

namespace {

int exit_status(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// The session's leader: the terminal is its controlling one (and so the
// program's), and it outlives the program, so that the terminal is not hung
// up (which discards its input) before it has been read.
[[noreturn]] void lead(int master, int slave, char **program) {
    close(master);
    if (setsid() < 0 || ioctl(slave, TIOCSCTTY, 0) != 0) {
        std::perror("pty-run: the terminal as the controlling one");
        _exit(2);
    }
    for (int fd = 0; fd < 3; ++fd)
        dup2(slave, fd);
    const pid_t child = fork();
    if (child == 0) {
        execvp(program[0], program);
        std::perror("pty-run: exec");
        _exit(127);
    }
    int status = 0;
    while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int waiting = 0;
    std::string typed;
    if (ioctl(STDIN_FILENO, FIONREAD, &waiting) == 0 && waiting > 0) {
        typed.resize(static_cast<std::size_t>(waiting));
        const ssize_t got = read(STDIN_FILENO, typed.data(), typed.size());
        typed.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    std::string shown;
    for (unsigned char c : typed) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, c == '\n' ? "\\n" : c < 0x20 || c > 0x7e ? "\\x%02x" : "%c", c);
        shown += escaped;
    }
    std::printf("pty-run: typed into the terminal: %s\n", shown.c_str());
    std::fflush(stdout);
    _exit(child > 0 ? exit_status(status) : 2);
}

} // namespace

int main(int argc, char **argv) {
    const bool typed_ahead = argc > 2 && std::string(argv[1]) == "--input";
    const char *input = typed_ahead ? argv[2] : "";
    if (typed_ahead)
        argv += 2, argc -= 2;
    if (argc < 2) {
        std::fprintf(stderr, "usage: pty-run [--input <text>] <program> [<argument>...]\n");
        return 2;
    }
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("pty-run: a pseudo-terminal");
        return 2;
    }
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (slave < 0 || tcgetattr(slave, &raw) != 0) {
        std::perror("pty-run: its terminal side");
        return 2;
    }
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    const std::string ahead = input;
    if (!ahead.empty() && write(master, ahead.data(), ahead.size()) != static_cast<ssize_t>(ahead.size())) {
        std::perror("pty-run: the input typed ahead");
        return 2;
    }
    const pid_t leader = fork();
    if (leader == 0)
        lead(master, slave, argv + 1);
    close(slave);
    if (leader < 0) {
        std::perror("pty-run: fork");
        return 2;
    }
    int status = 0;
    bool ended = false;
    auto ended_at = std::chrono::steady_clock::now();
    for (;;) {
        if (!ended && waitpid(leader, &status, WNOHANG) == leader) {
            ended = true;
            ended_at = std::chrono::steady_clock::now();
        }
        if (ended && std::chrono::steady_clock::now() - ended_at > std::chrono::seconds(30))
            break; // a holder of the terminal that does not let go
        pollfd readable{master, POLLIN, 0};
        if (poll(&readable, 1, 100) <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // EIO: nobody holds the terminal any more
        if (write(STDOUT_FILENO, buffer, static_cast<std::size_t>(got)) != got)
            break;
    }
    if (!ended)
        waitpid(leader, &status, 0);
    return exit_status(status);
}
