#include "notification.h"

#include <windows.h>

#include <cstdlib>

namespace testing {
namespace internal {

Notification::Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!event_)
        std::abort();
}

Notification::~Notification() { CloseHandle(event_); }

void Notification::Notify() { SetEvent(event_); }

void Notification::WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

} // namespace internal
} // namespace testing
