// A short scripted session through every function a module exports, with
// typical arguments, so an author sees the module answer without a host.
#pragma once

#include "module_loader.hpp"

#include <functional>
#include <string>
#include <vector>

namespace vantrell::check {

struct SmokeCall {
    std::string function;
    std::string call;    // "setSkillLevel(3)"
    std::string answer;  // "true", "9", "\"good luck\"", "done", ...
    std::string problem; // what is wrong with the answer, or empty
    std::string refused; // in a sandbox: what it refused the module during the call, or empty
};

// Calls every function the module exports under its exact name, in the
// contract's order, with terminate last, from step `first_step` on;
// `before_each` sees each call and its step just before it is made,
// `after_each` the call as soon as it has returned. endGame is called
// under the bridge's own guard: an exception out of it is swallowed and
// said in its answer, as the contract allows; an exception out of any other
// function ends the session as EscapedException (escaped_exception.hpp).
// A text answer is read once, and that copy is judged and shown.
std::vector<SmokeCall> run_smoke_session(vantrell::loader::ModuleHandle module, std::size_t first_step,
                                         const std::function<void(std::size_t, const SmokeCall &)> &before_each,
                                         const std::function<void(const SmokeCall &)> &after_each);

// The same session in child processes (this program with --smoke-child),
// so that a module that crashes, hangs or throws is reported, not fatal: a
// call that never returns, or lets an exception out of any function but
// endGame, ends its child, and the session goes on with the next call in a
// fresh child, so that one run reports every function.
struct SmokeFailure {
    SmokeCall call;  // the call that failed, or "loading or unloading the module"
    std::string how; // "never returned: signal 11 (Segmentation fault)", "never returned: no answer within 10 s:
                     // stopped", "threw std::logic_error ("..."): only endGame may throw; ...", ...
};
struct SmokeOutcome {
    bool ran = false;             // whether a session could be run at all
    std::string not_run;          // why not
    std::vector<SmokeCall> calls; // the calls that returned, in order
    std::vector<SmokeFailure> failures;
    // The module's own output, when it could not be shown as it came (a
    // session run by another program): to be shown after the session.
    std::string module_output;
    bool completed() const { return ran && failures.empty(); }
};
// `sandboxed`: each child confines itself as a companion in a sandbox does
// once it has loaded the module (sandbox/confine.hpp), and names what the
// sandbox refused each call; when it cannot, the session is not run, and
// `not_run` says what this system lacks.
SmokeOutcome run_smoke_in_children(const std::string &module_path, bool print_calls, int call_timeout_seconds,
                                   bool sandboxed, const std::function<void(const SmokeFailure &)> &on_failure);

// The child's side: loads the module, runs the session from `first_step`,
// prints each call when `print_calls` (else the module's own output goes to
// standard error) and records each in `records`. Returns the process's
// exit status.
int smoke_child_main(const std::string &module_path, const std::string &records, bool print_calls,
                     std::size_t first_step, bool sandboxed);

} // namespace vantrell::check
