// The C++ runtime linked into the companion refers to arc4random (for
// std::random_device), which glibc has only since 2.36, while nothing else
// of the companion needs more than 2.34, the oldest the packages promise.
// The companion never asks for a random device; should anything, this
// gives it the kernel's randomness.
#include <sys/random.h>

#include <cerrno>
#include <cstdint>

extern "C" std::uint32_t arc4random(void) {
    std::uint32_t value = 0;
    while (getrandom(&value, sizeof value, 0) < 0 && errno == EINTR) {
    }
    return value;
}
