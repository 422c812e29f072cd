#include "guarded_call.hpp"

namespace vantrell::platform {

void call_guarded(void (*body)(void *), void *context) noexcept {
    try {
        body(context);
    } catch (...) {
    }
}

} // namespace vantrell::platform
