#include "bench_round_trips.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {
namespace {

void futex(std::atomic<std::uint32_t> &word, int operation, std::uint32_t value) {
    syscall(SYS_futex, reinterpret_cast<std::uint32_t *>(&word), operation, value, nullptr, nullptr, 0);
}

void wait_for(std::atomic<std::uint32_t> &word, std::uint32_t expected, bool sleep) {
    for (std::uint32_t seen; (seen = word.load(std::memory_order_acquire)) != expected;) {
        if (sleep)
            futex(word, FUTEX_WAIT, seen);
        else
            __builtin_ia32_pause();
    }
}

void post(std::atomic<std::uint32_t> &word, std::uint32_t value, bool wake) {
    word.store(value, std::memory_order_release);
    if (wake)
        futex(word, FUTEX_WAKE, INT_MAX);
}

// Shared memory: the child answers each ping with a pong, spinning or
// sleeping on a futex.
double memory_round_trip(long count, bool sleep) {
    void *mapped = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    auto *shared = new (mapped) Shared{};
    const pid_t child = fork();
    if (child == 0) {
        for (std::uint32_t i = 1; i <= static_cast<std::uint32_t>(count); ++i) {
            wait_for(shared->ping.value, i, sleep);
            post(shared->pong.value, i, sleep);
        }
        _exit(0);
    }
    std::vector<double> times;
    for (std::uint32_t i = 1; i <= static_cast<std::uint32_t>(count); ++i) {
        const auto start = Clock::now();
        post(shared->ping.value, i, sleep);
        wait_for(shared->pong.value, i, sleep);
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    waitpid(child, nullptr, 0);
    munmap(mapped, sizeof(Shared));
    return median(times);
}

double socket_round_trip(long count) {
    int ends[2];
    socketpair(AF_UNIX, SOCK_STREAM, 0, ends);
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        char byte;
        while (read(ends[1], &byte, 1) == 1 && write(ends[1], &byte, 1) == 1) {
        }
        _exit(0);
    }
    close(ends[1]);
    std::vector<double> times;
    char byte = 1;
    for (long i = 0; i < count; ++i) {
        const auto start = Clock::now();
        if (write(ends[0], &byte, 1) != 1 || read(ends[0], &byte, 1) != 1)
            break;
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    close(ends[0]);
    waitpid(child, nullptr, 0);
    return median(times);
}

// Nanoseconds of processor time that the children of this process's
// threads have used, all their threads together.
long long children_processor_ns() {
    long long total = 0;
    DIR *tasks = opendir("/proc/self/task");
    for (dirent *task; tasks && (task = readdir(tasks));) {
        std::ifstream children(std::string("/proc/self/task/") + task->d_name + "/children");
        for (long pid; children >> pid;) {
            const std::string folder = "/proc/" + std::to_string(pid) + "/task";
            DIR *threads = opendir(folder.c_str());
            for (dirent *thread; threads && (thread = readdir(threads));) {
                std::ifstream schedstat(folder + "/" + thread->d_name + "/schedstat");
                long long on_processor = 0;
                if (schedstat >> on_processor)
                    total += on_processor;
            }
            if (threads)
                closedir(threads);
        }
    }
    if (tasks)
        closedir(tasks);
    return total;
}

} // namespace

std::vector<RoundTrip> round_trips(const char *, long count) {
    return {{"shared memory, both sides spinning", memory_round_trip(count, false)},
            {"shared memory, futex sleep and wake", memory_round_trip(count, true)},
            {"socket pair, one byte", socket_round_trip(count)}};
}

bool serve_round_trips(int, char **) { return false; }

double children_processor_ms_while_idle(int seconds) {
    const long long before = children_processor_ns();
    sleep(static_cast<unsigned>(seconds));
    return (children_processor_ns() - before) / 1e6;
}

} // namespace bench
