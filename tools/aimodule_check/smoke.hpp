// A short scripted session through every function a module exports, with
// typical arguments, so an author sees the module answer without a host.
#pragma once

#include "module_loader.hpp"

#include <functional>
#include <optional>
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
    SmokeCall call;  // the call that failed, or "unloading the module", "loading the module again", ...
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
    // The load that begins the session: whether the module loaded, and if
    // not why (the loader's words, or how the load ended the process); what
    // the sandbox refused while it loaded and while it unloaded.
    bool loaded = false;
    std::string load_error;
    std::string load_refused;
    std::string unload_refused;
    bool completed() const { return ran && failures.empty(); }
};

// The sandbox a session runs in, when it does: the one a host asks for with
// -Dvantrell.isolation=sandbox, where the module may read (Linux) its own
// file, the system's library folders and the paths granted, as the host's
// -Dvantrell.sandbox.read grants them.
struct SessionSandbox {
    bool confined = false;
    std::vector<std::string> granted;
};

// A list of paths as --sandbox-read and -Dvantrell.sandbox.read take it:
// separated by ':' (';' on Windows), empty parts left out; and back.
#if defined(_WIN32)
constexpr char path_list_separator = ';';
#else
constexpr char path_list_separator = ':';
#endif
std::vector<std::string> split_path_list(const std::string &text);
std::string join_path_list(const std::vector<std::string> &paths);

// In a sandbox each child confines itself before it loads the module, as a
// sandboxed companion does (sandbox/confine.hpp), so that none of the
// module's code runs unconfined, and names what the sandbox refused the
// load, each call and the unload; when it cannot, the session is not run,
// and `not_run` says what this system lacks. A module that does not load
// gives a session not run, with `load_error`.
SmokeOutcome run_smoke_in_children(const std::string &module_path, bool print_calls, int call_timeout_seconds,
                                   const SessionSandbox &sandbox,
                                   const std::function<void(const SmokeFailure &)> &on_failure);

// What a child process of the session is told: the module, where to write
// its records (child_records.hpp), whether it prints each call (else the
// module's own output goes to standard error), the step it starts at, its
// sandbox and its parent (child_process.hpp).
struct SmokeChild {
    std::string module_path;
    std::string records;
    bool print_calls = false;
    std::size_t first_step = 0;
    SessionSandbox sandbox;
    std::string parent;
};
// This program's arguments for a child, and the child read back from them
// (nothing when they are not a child's).
std::vector<std::string> smoke_child_arguments(const SmokeChild &child);
std::optional<SmokeChild> smoke_child_from(int argc, char **argv);

// The child's side: stays with its parent, confines itself when asked,
// loads the module, runs the session from its first step and records each
// step. Returns the process's exit status.
int smoke_child_main(const SmokeChild &child);

} // namespace vantrell::check
