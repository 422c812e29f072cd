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
    std::string call;    // "setSkillLevel(3)"
    std::string answer;  // "true", "9", "\"good luck\"", "done", ...
    std::string problem; // what is wrong with the answer, or empty
};

// Calls every function the module exports under its exact name, in the
// contract's order, with terminate last; `before_each` sees each call just
// before it is made, `after_each` as soon as it has returned.
std::vector<SmokeCall> run_smoke_session(vantrell::loader::ModuleHandle module,
                                         const std::function<void(const SmokeCall &)> &before_each,
                                         const std::function<void(const SmokeCall &)> &after_each);

// The same session in a child process (this program with --smoke-child), so
// that a module that crashes or hangs is reported, not fatal: the calls
// that returned, and the one that did not with how the child ended.
struct SmokeOutcome {
    std::vector<SmokeCall> calls;
    bool completed = false;
    SmokeCall failed; // the call that never returned, when not completed
    std::string how;  // "signal 11 (Segmentation fault)", "no answer within 10 s", ...
};
SmokeOutcome run_smoke_in_child(const std::string &module_path, bool print_calls, int call_timeout_seconds);

// The child's side: loads the module, runs the session, prints each call
// when `print_calls` (else the module's own output goes to standard error)
// and records each in `records`. Returns the process's exit status.
int smoke_child_main(const std::string &module_path, const std::string &records, bool print_calls);

} // namespace aimodule_check
