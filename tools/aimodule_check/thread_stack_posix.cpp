#include "thread_stack.hpp"

#include <cstdint>
#include <pthread.h>

namespace vantrell::check {

bool in_this_threads_stack(const void *address) {
    // glibc knows every thread's mapping, the main thread's included (from
    // its mappings and the stack size limit).
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0)
        return false;
    void *lowest = nullptr;
    std::size_t size = 0;
    const bool known = pthread_attr_getstack(&attributes, &lowest, &size) == 0;
    pthread_attr_destroy(&attributes);
    const auto at = reinterpret_cast<std::uintptr_t>(address), low = reinterpret_cast<std::uintptr_t>(lowest);
    return known && at >= low && at - low < size;
}

} // namespace vantrell::check
