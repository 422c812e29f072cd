// Whether an address lies in the stack of the thread that asks: a text a
// module function returns from there lived in that function's own frame,
// which its return gave back.
#pragma once

namespace vantrell::check {

// True when `address` is inside the calling thread's whole stack (not only
// the part in use); false when it is not, or the stack's bounds are unknown.
bool in_this_threads_stack(const void *address);

// Finds the calling thread's stack bounds now, while the process may still
// read what that takes (a confined one may not), for later calls of
// in_this_threads_stack on this thread.
void know_this_threads_stack();

} // namespace vantrell::check
