#include "bench_round_trips.hpp"

#include <windows.h>
// After windows.h.
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {
namespace {

HANDLE inheritable(HANDLE handle) {
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return handle;
}

std::string number(HANDLE handle) { return std::to_string(reinterpret_cast<std::uintptr_t>(handle)); }
HANDLE handle_of(const char *text) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::strtoull(text, nullptr, 10)));
}

// This program again, with `arguments` and every inheritable handle.
HANDLE start_child(const char *self, const std::string &arguments) {
    std::string command = std::string("\"") + self + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

// kind "spin" or "events": ping, pong through a shared mapping, the child
// answering each; with events, each side sleeps on its event.
double memory_round_trip(const char *self, long count, bool events) {
    HANDLE mapping =
        inheritable(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Shared), nullptr));
    auto *shared = static_cast<Shared *>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)));
    HANDLE ping = inheritable(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    HANDLE pong = inheritable(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    HANDLE child = start_child(self, std::string("--round-trip ") + (events ? "events " : "spin ") + number(mapping) +
                                         " " + number(ping) + " " + number(pong) + " " + std::to_string(count));
    std::vector<double> times;
    for (std::uint32_t i = 1; child && i <= static_cast<std::uint32_t>(count); ++i) {
        const auto start = Clock::now();
        shared->ping.value.store(i, std::memory_order_release);
        if (events) {
            SetEvent(ping);
            while (shared->pong.value.load(std::memory_order_acquire) != i)
                WaitForSingleObject(pong, INFINITE);
        } else {
            while (shared->pong.value.load(std::memory_order_acquire) != i)
                __builtin_ia32_pause();
        }
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    if (child) {
        WaitForSingleObject(child, INFINITE);
        CloseHandle(child);
    }
    UnmapViewOfFile(shared);
    for (HANDLE h : {mapping, ping, pong})
        CloseHandle(h);
    return median(times);
}

double pipe_round_trip(const char *self, long count) {
    HANDLE to_child_read, to_child_write, from_child_read, from_child_write;
    CreatePipe(&to_child_read, &to_child_write, nullptr, 0);
    CreatePipe(&from_child_read, &from_child_write, nullptr, 0);
    HANDLE child = start_child(self, "--round-trip pipes " + number(inheritable(to_child_read)) + " " +
                                         number(inheritable(from_child_write)) + " 0 " + std::to_string(count));
    CloseHandle(to_child_read);
    CloseHandle(from_child_write);
    std::vector<double> times;
    char byte = 1;
    DWORD moved = 0;
    for (long i = 0; child && i < count; ++i) {
        const auto start = Clock::now();
        if (!WriteFile(to_child_write, &byte, 1, &moved, nullptr) ||
            !ReadFile(from_child_read, &byte, 1, &moved, nullptr))
            break;
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    CloseHandle(to_child_write);
    CloseHandle(from_child_read);
    if (child) {
        WaitForSingleObject(child, INFINITE);
        CloseHandle(child);
    }
    return median(times);
}

// 100-nanosecond units of processor time of this process's children.
long long children_processor_units() {
    long long total = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID != GetCurrentProcessId())
            continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        FILETIME created, ended, kernel, user;
        if (process && GetProcessTimes(process, &created, &ended, &kernel, &user))
            total += (static_cast<long long>(kernel.dwHighDateTime) << 32 | kernel.dwLowDateTime) +
                     (static_cast<long long>(user.dwHighDateTime) << 32 | user.dwLowDateTime);
        if (process)
            CloseHandle(process);
    }
    CloseHandle(snapshot);
    return total;
}

} // namespace

std::vector<RoundTrip> round_trips(const char *self, long count) {
    return {{"shared memory, both sides spinning", memory_round_trip(self, count, false)},
            {"shared memory, events", memory_round_trip(self, count, true)},
            {"two anonymous pipes, one byte", pipe_round_trip(self, count)}};
}

// --round-trip <kind> <handle> <handle> <handle> <count>
bool serve_round_trips(int argc, char **argv) {
    if (argc != 7 || std::string(argv[1]) != "--round-trip")
        return false;
    const std::string kind = argv[2];
    const long count = std::strtol(argv[6], nullptr, 10);
    if (kind == "pipes") {
        HANDLE in = handle_of(argv[3]), out = handle_of(argv[4]);
        char byte;
        DWORD moved = 0;
        while (ReadFile(in, &byte, 1, &moved, nullptr) && moved == 1 && WriteFile(out, &byte, 1, &moved, nullptr)) {
        }
        return true;
    }
    auto *shared = static_cast<Shared *>(MapViewOfFile(handle_of(argv[3]), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)));
    HANDLE ping = handle_of(argv[4]), pong = handle_of(argv[5]);
    for (std::uint32_t i = 1; shared && i <= static_cast<std::uint32_t>(count); ++i) {
        if (kind == "events") {
            while (shared->ping.value.load(std::memory_order_acquire) != i)
                WaitForSingleObject(ping, INFINITE);
            shared->pong.value.store(i, std::memory_order_release);
            SetEvent(pong);
        } else {
            while (shared->ping.value.load(std::memory_order_acquire) != i)
                __builtin_ia32_pause();
            shared->pong.value.store(i, std::memory_order_release);
        }
    }
    return true;
}

double children_processor_ms_while_idle(int seconds) {
    const long long before = children_processor_units();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return (children_processor_units() - before) / 1e4;
}

} // namespace bench
