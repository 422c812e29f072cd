// GoogleTest's Notification for a MinGW whose C++ library has no std::mutex
// (the win32 threads model): the same class on a Windows event, so that
// GoogleTest keeps its thread-safe build, which its Windows death tests
// need. Included ahead of every file that uses GoogleTest.
#pragma once

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

// Lets threads wait until a controlling thread says they may go on.
class Notification {
public:
    Notification();
    ~Notification();
    Notification(const Notification &) = delete;
    Notification &operator=(const Notification &) = delete;

    void Notify();
    void WaitForNotification();

private:
    void *event_; // a manual-reset event, a HANDLE
};

} // namespace internal
} // namespace testing
