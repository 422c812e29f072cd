// A plain mutual-exclusion lock for the bridge's own state, usable with
// std::lock_guard and std::unique_lock. Windows: a slim reader/writer lock
// (the MinGW runtime's win32 thread model has no std::mutex); elsewhere
// std::mutex.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <mutex>
#endif

namespace vantrell::platform {

#if defined(_WIN32)
class Lock {
public:
    Lock() = default;
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};
#else
using Lock = std::mutex;
#endif

} // namespace vantrell::platform
