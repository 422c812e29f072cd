// A module that does to its companion what a module can do to a process:
// getCreateGameOption(option), by its option,
//   1  starts a child that outlives it by a minute (POSIX), takes long enough
//      for the bridge to have gone to sleep, then crashes;
//   2  returns, and its process ends a moment later, between two calls;
//   3  says whether a signal is blocked in the calling thread (POSIX);
//   4  writes a wrong number into the shared area's reply word, and returns
//      after long enough for the bridge to have seen it;
//   5  starts a daemon (POSIX: a grandchild in a session of its own, which
//      holds whatever the companion held, the channel included, and lives
//      five minutes), writes its process id on a line of its own
//      ("daemon <pid>", flushed), then crashes;
//   6  never returns (it sleeps);
//   7  stops its own process (POSIX: SIGSTOP), and returns once continued;
//   8  leaves 4,000 bytes in its standard output's buffer ("x" lines);
//   other: option + 1.
// initialize leaves a line in its standard output's buffer, unflushed;
// setSkillLevel(1) makes its unload take a minute; getPostGameChat answers
// with a text over the channel's limit.
#include "ai_module.h"
#include "protocol.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fstream>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#endif

namespace {

void crash() {
    // Read at run time, so that the compiler keeps the store.
    volatile std::uintptr_t unmapped = 16;
    *reinterpret_cast<volatile std::int32_t *>(unmapped) = 1;
}

#if defined(_WIN32)
DWORD WINAPI end_after_a_moment(void *) {
    Sleep(200);
    TerminateProcess(GetCurrentProcess(), 9);
    return 0;
}
#endif

void end_this_process_soon() {
#if defined(_WIN32)
    if (HANDLE thread = CreateThread(nullptr, 0, end_after_a_moment, nullptr, 0, nullptr))
        CloseHandle(thread);
#else
    std::thread([] {
        usleep(200000);
        _exit(9);
    }).detach();
#endif
}

void sleep_milliseconds(int milliseconds) {
#if defined(_WIN32)
    Sleep(static_cast<DWORD>(milliseconds));
#else
    usleep(static_cast<useconds_t>(milliseconds) * 1000);
#endif
}

// The area this process shares with the bridge, found as a module could:
// the mapping of the companion's memory file (POSIX), the mapping named on
// its command line (Windows).
vantrell::channel::SharedArea *shared_area() {
#if defined(_WIN32)
    const std::string command = GetCommandLineA();
    const auto name = command.find("Local\\");
    HANDLE mapping = name == std::string::npos
                         ? nullptr
                         : OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, command.substr(name).c_str());
    return mapping ? static_cast<vantrell::channel::SharedArea *>(
                         MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(vantrell::channel::SharedArea)))
                   : nullptr;
#else
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.find("/memfd:vantrell-companion") != std::string::npos)
            return reinterpret_cast<vantrell::channel::SharedArea *>(std::stoul(line, nullptr, 16));
    return nullptr;
#endif
}

#if !defined(_WIN32)
// A grandchild in a session of its own, as a daemon is started: its parent
// ends at once, and nothing it inherited is closed.
void start_daemon() {
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        const pid_t daemon = fork();
        if (daemon == 0) {
            sleep(300);
            _exit(0);
        }
        std::printf("daemon %d\n", static_cast<int>(daemon));
        std::fflush(stdout);
        _exit(0);
    }
    if (child > 0)
        waitpid(child, nullptr, 0);
}
#endif

bool slow_unload = false;

// Destroyed when the module is unloaded.
struct Teardown {
    ~Teardown() {
        if (slow_unload) {
#if defined(_WIN32)
            Sleep(60000);
#else
            sleep(60);
#endif
        }
    }
} teardown;

} // namespace

extern "C" int32_t AI_CALL getCreateGameOption(int32_t option) {
    switch (option) {
    case 1:
#if !defined(_WIN32)
        // Holding none of the standard streams, so that only what it
        // inherits beyond them could keep anyone waiting.
        std::system("sleep 60 </dev/null >/dev/null 2>&1 &");
#endif
        sleep_milliseconds(50);
        crash();
        return 0;
    case 2: end_this_process_soon(); return 2;
#if !defined(_WIN32)
    case 3: {
        sigset_t blocked;
        pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
        return sigismember(&blocked, SIGQUIT);
    }
#endif
    case 4:
        if (vantrell::channel::SharedArea *area = shared_area())
            area->reply.sequence.store(0xDEADBEEF);
        sleep_milliseconds(50);
        return 4;
#if !defined(_WIN32)
    case 5:
        start_daemon();
        crash();
        return 0;
    case 7: raise(SIGSTOP); return 7;
#endif
    case 6:
        for (;;)
            sleep_milliseconds(1000);
    case 8:
        for (int line = 0; line < 40; ++line)
            std::printf("%099d\n", line);
        return 8;
    default: return option + 1;
    }
}

extern "C" int32_t AI_CALL initialize(const char *) {
    std::printf("companion faults: a line left in the buffer\n");
    return 1;
}

extern "C" int32_t AI_CALL setSkillLevel(int32_t level) {
    slow_unload = level == 1;
    return 1;
}

extern "C" const char *AI_CALL getPostGameChat(void) {
    static const std::string too_long((1u << 20) + 1, 'x');
    return too_long.c_str();
}

extern "C" const char *AI_CALL getPublicName(void) { return "companion faults"; }
