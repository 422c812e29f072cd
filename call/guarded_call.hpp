// The one guarded call of the bridge: a C++ exception that leaves the body,
// whatever runtime threw it, ends there and the call returns normally.
// Processor faults (an access violation, a division by zero) are not C++
// exceptions and pass through untouched, and so, on POSIX, does the unwind
// of a thread that is cancelled or calls pthread_exit: none of this is
// noexcept, so that it can pass.
#pragma once

namespace vantrell::platform {

// Calls body(context) under the guard; false when an exception left it and
// was swallowed. On Windows the guard also catches
// the structured exception of the platform's native C++ compiler (code
// 0xE06D7363), unwinding the frames below it as that compiler's catch (...)
// would; elsewhere it is a catch (...).
bool call_guarded(void (*body)(void *), void *context);

template <class Body> bool call_guarded(Body &body) {
    return call_guarded([](void *context) { (*static_cast<Body *>(context))(); }, &body);
}

} // namespace vantrell::platform
