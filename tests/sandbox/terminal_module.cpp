// A module that types into the terminal it was started from: in
// initialize, TIOCSTI on its standard streams and on /dev/tty, one
// harmless line each (": INJECTED-BY-<stream>", a shell's no-op), and
// TIOCLINUX's selection paste on its standard streams. And one that reads
// what the user types: getCreateGameOption(1) reads what waits on its
// standard output and error (the host's terminal, open both ways), then on
// its standard input.
#include "hostile.hpp"

#include "ai_module.h"

#include <fcntl.h>
#include <linux/tiocl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

const std::string who = "terminal";

// Types `text` into the terminal of `fd`, one character a call.
std::string type_into(int fd, const std::string &text) {
    for (char c : text)
        if (ioctl(fd, TIOCSTI, &c) != 0)
            return hostile::outcome(false);
    return "done";
}

} // namespace

int32_t AI_CALL initialize(const char *) {
    const char *const streams[] = {"FD-0", "FD-1", "FD-2"};
    for (int fd = 0; fd < 3; ++fd)
        hostile::report(who, "TIOCSTI on fd " + std::to_string(fd),
                        type_into(fd, std::string(": INJECTED-BY-") + streams[fd] + "\n"));
    const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) {
        hostile::report(who, "TIOCSTI on /dev/tty", hostile::outcome(false) + " (open)");
    } else {
        hostile::report(who, "TIOCSTI on /dev/tty", type_into(terminal, ": INJECTED-BY-DEV-TTY\n"));
        close(terminal);
    }
    for (int fd = 0; fd < 3; ++fd) {
        char paste_selection = TIOCL_PASTESEL;
        hostile::report(who, "TIOCLINUX on fd " + std::to_string(fd),
                        hostile::outcome(ioctl(fd, TIOCLINUX, &paste_selection) == 0));
    }
    return 1;
}

int32_t AI_CALL getCreateGameOption(int32_t) {
    for (int fd : {1, 2, 0}) {
        pollfd waiting{fd, POLLIN, 0};
        std::string outcome = "nothing to read";
        if (poll(&waiting, 1, 0) > 0) {
            char text[64];
            const ssize_t got = read(fd, text, sizeof text);
            if (got > 0)
                outcome = "done: " + std::string(text, static_cast<std::size_t>(got));
            else if (got < 0)
                outcome = hostile::outcome(false);
        }
        hostile::report(who, "read fd " + std::to_string(fd), outcome);
    }
    return 1;
}

const char *AI_CALL getPublicName(void) { return "terminal"; }
