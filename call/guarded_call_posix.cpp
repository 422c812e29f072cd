#include "guarded_call.hpp"

#include <cxxabi.h>

namespace vantrell::platform {

// Thread cancellation and pthread_exit unwind the thread as a "forced
// unwind", which the C library requires every catch to let through; only
// real exceptions end here.
bool call_guarded(void (*body)(void *), void *context) {
    try {
        body(context);
        return true;
    } catch (abi::__forced_unwind &) {
        throw;
    } catch (...) {
        return false;
    }
}

} // namespace vantrell::platform
