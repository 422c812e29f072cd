#include "thread_stack.hpp"

#include <cstdint>
#include <pthread.h>

namespace vantrell::check {
namespace {

struct Bounds {
    std::uintptr_t low = 0;
    std::size_t size = 0;
    bool known = false;
};

// glibc knows every thread's mapping, the main thread's included (from
// /proc/self/maps and the stack size limit): found once per thread.
const Bounds &this_threads_stack() {
    thread_local Bounds bounds = [] {
        Bounds found;
        pthread_attr_t attributes;
        if (pthread_getattr_np(pthread_self(), &attributes) != 0)
            return found;
        void *lowest = nullptr;
        found.known = pthread_attr_getstack(&attributes, &lowest, &found.size) == 0;
        found.low = reinterpret_cast<std::uintptr_t>(lowest);
        pthread_attr_destroy(&attributes);
        return found;
    }();
    return bounds;
}

} // namespace

bool in_this_threads_stack(const void *address) {
    const Bounds &stack = this_threads_stack();
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    return stack.known && at >= stack.low && at - stack.low < stack.size;
}

void know_this_threads_stack() { this_threads_stack(); }

} // namespace vantrell::check
