// What both platforms' loaders answer for a path that never reaches the
// operating system's loader: no module, and why, for a caller that asks.
#pragma once

#include "module_loader.hpp"

namespace vantrell::loader {

inline ModuleHandle refuse(LoadFailure *failure, const char *reason) noexcept {
    if (failure)
        failure->refusal = reason;
    return nullptr;
}

} // namespace vantrell::loader
