#include "thread_stack.hpp"

#include <windows.h>

#include <cstdint>

namespace vantrell::check {

bool in_this_threads_stack(const void *address) {
    // The thread's own record: StackBase is the top, StackLimit the lowest
    // committed page. A frame that has just returned was committed when it
    // was written, so it lies above StackLimit.
    const NT_TIB *tib = reinterpret_cast<const NT_TIB *>(NtCurrentTeb());
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    return at >= reinterpret_cast<std::uintptr_t>(tib->StackLimit) &&
           at < reinterpret_cast<std::uintptr_t>(tib->StackBase);
}

// The thread's record is read at each call; nothing to find beforehand.
void know_this_threads_stack() {}

} // namespace vantrell::check
