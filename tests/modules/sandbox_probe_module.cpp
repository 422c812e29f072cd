// A module that tries what a sandbox refuses. getCreateGameOption(what)
// answers 1 when it could, 0 when it could not:
//   1  read a file outside its folder
//   2  write a file in the working folder (removed again)
//   3  connect a TCP socket to the host's own port, which setGameOption(1,
//      port) gave it
//   4  start a process
//   5  allocate more than a sandboxed process may have
//   6  run a thread (which a sandbox allows)
#include "ai_module.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

int32_t host_port = 0;

bool read_outside() {
#if defined(_WIN32)
    std::FILE *file = std::fopen("C:\\windows\\win.ini", "rb");
#else
    std::FILE *file = std::fopen("/etc/hostname", "rb");
#endif
    if (file)
        std::fclose(file);
    return file != nullptr;
}

bool write_here() {
    std::FILE *file = std::fopen("sandbox-probe-was-here.txt", "wb");
    if (!file)
        return false;
    std::fclose(file);
    std::remove("sandbox-probe-was-here.txt");
    return true;
}

bool connect_to_host() {
#if defined(_WIN32)
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
        return false;
#else
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return false;
#endif
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(host_port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
#if defined(_WIN32)
    closesocket(s);
#else
    close(s);
#endif
    return connected;
}

bool start_process() {
#if defined(_WIN32)
    wchar_t command[] = L"cmd.exe /c exit 0";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
#else
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return true;
#endif
}

bool allocate_past_the_limit() {
    // More than the sandbox's address space: 1 GiB for 32-bit code, 4 GiB
    // for 64-bit.
    const std::size_t size = sizeof(void *) == 4 ? (std::size_t{3} << 29) : (std::size_t{6} << 30);
    void *block = std::malloc(size);
    std::free(block);
    return block != nullptr;
}

#if defined(_WIN32)
DWORD WINAPI mark(void *ran) {
    *static_cast<volatile bool *>(ran) = true;
    return 0;
}
#else
void *mark(void *ran) {
    *static_cast<volatile bool *>(ran) = true;
    return nullptr;
}
#endif

bool run_thread() {
    volatile bool ran = false;
#if defined(_WIN32)
    HANDLE thread = CreateThread(nullptr, 0, mark, const_cast<bool *>(&ran), 0, nullptr);
    if (!thread)
        return false;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
#else
    pthread_t thread;
    if (pthread_create(&thread, nullptr, mark, const_cast<bool *>(&ran)) != 0)
        return false;
    pthread_join(thread, nullptr);
#endif
    return ran;
}

} // namespace

extern "C" int32_t AI_CALL setGameOption(int32_t option, int32_t value) {
    if (option == 1)
        host_port = value;
    return 1;
}

extern "C" int32_t AI_CALL getCreateGameOption(int32_t what) {
    switch (what) {
    case 1: return read_outside();
    case 2: return write_here();
    case 3: return connect_to_host();
    case 4: return start_process();
    case 5: return allocate_past_the_limit();
    case 6: return run_thread();
    default: return -1;
    }
}
