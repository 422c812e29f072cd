// A short scripted session through every function a module exports, with
// typical arguments, so an author sees the module answer without a host.
#pragma once

#include "module_loader.hpp"

#include <functional>
#include <string>
#include <vector>

namespace aimodule_check {

struct SmokeCall {
    std::string function;
    std::string call;   // "setSkillLevel(3)"
    std::string answer; // "true", "9", "\"good luck\"", "done", ...
};

// Calls every function the module exports under its exact name, in the
// contract's order, with terminate last; `after_each` sees each call as soon
// as it has returned.
std::vector<SmokeCall> run_smoke_session(vantrell::loader::ModuleHandle module,
                                         const std::function<void(const SmokeCall &)> &after_each);

} // namespace aimodule_check
