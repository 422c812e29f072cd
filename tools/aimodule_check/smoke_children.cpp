// The smoke session in child processes: each child runs the session from
// a step on and writes a record of each call; a child that crashes, hangs
// or throws ends there, and the next starts after its call.
#include "child_process.hpp"
#include "child_records.hpp"
#include "escaped_exception.hpp"
#include "smoke.hpp"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace vantrell::check {

namespace {

// One child's part of the session, from `first_step`: the calls that
// returned, and, when the child did not end well, the step it was in (or
// none: it failed loading or unloading) and how it ended.
struct ChildRun {
    std::vector<SmokeCall> calls;
    bool failed = false;
    bool in_step = false;
    std::size_t step = 0;
    SmokeCall pending;
    std::string how;
    bool threw = false;     // the pending call let an exception out, as `how` says
    std::string unconfined; // what this system lacks for the sandbox, when the child could not confine itself
};

ChildRun run_child(const std::string &module_path, bool print_calls, int call_timeout_seconds, std::size_t first_step,
                   bool sandboxed) {
    namespace fs = std::filesystem;
    std::error_code error;
    static int runs = 0;
    const fs::path records =
        fs::temp_directory_path(error) /
        ("aimodule-check-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
         std::to_string(++runs) + ".smoke");
    ChildRun run;
    std::cout.flush();
    auto child =
        ChildProcess::start({"--smoke-child", records.string(), print_calls ? "--print" : "--quiet",
                             std::to_string(first_step), sandboxed ? "--sandbox" : "--no-sandbox", module_path});
    if (!child) {
        run.failed = true;
        run.how = "the checker could not start a child process";
        return run;
    }
    using clock = std::chrono::steady_clock;
    auto last_progress = clock::now();
    std::size_t lines_seen = 0;
    bool hung = false;
    // The child's standard error, passed on as it comes, and kept.
    const fs::path errors = standard_error_file(records);
    std::size_t errors_read = 0;
    std::string standard_error;
    const auto pass_on_errors = [&] {
        const std::string text = read_on(errors, errors_read);
        std::cerr << text << std::flush;
        standard_error += text;
    };
    while (!child->wait_for(50)) {
        pass_on_errors();
        const std::size_t lines = record_lines(records).size();
        if (lines != lines_seen) {
            lines_seen = lines;
            last_progress = clock::now();
        } else if (clock::now() - last_progress > std::chrono::seconds(call_timeout_seconds)) {
            child->kill();
            child->wait_for(-1);
            hung = true;
            break;
        }
    }
    for (const std::string &line : record_lines(records)) {
        std::vector<std::string> fields = fields_of(line);
        if (fields.size() >= 4 && fields[0] == "begin") {
            run.step = std::strtoul(fields[1].c_str(), nullptr, 10);
            run.pending = SmokeCall{fields[2], fields[3], "", "", ""};
            run.in_step = true;
        } else if (fields.size() >= 4 && fields[0] == "call") {
            run.calls.push_back(SmokeCall{fields[1], fields[2], fields[3], fields.size() > 4 ? fields[4] : "",
                                          fields.size() > 5 ? fields[5] : ""});
            run.in_step = false;
        } else if (fields.size() >= 2 && fields[0] == "unconfined") {
            run.unconfined = fields[1];
        } else if (fields.size() >= 2 && fields[0] == "threw" && run.in_step) {
            run.threw = true;
            run.how = fields[1];
        }
    }
    pass_on_errors();
    fs::remove(records, error);
    fs::remove(errors, error);
    // An exception the child could not catch: one thrown by a module that
    // unwinds with a runtime of its own, which ends the process with words.
    if (!run.threw && !hung && run.in_step) {
        run.how = describe_uncaught_exception(standard_error);
        run.threw = !run.how.empty();
    }
    if (!run.threw)
        run.how =
            hung ? "no answer within " + std::to_string(call_timeout_seconds) + " s: stopped" : child->how_it_ended();
    run.failed = run.in_step || !run.how.empty();
    return run;
}

} // namespace

SmokeOutcome run_smoke_in_children(const std::string &module_path, bool print_calls, int call_timeout_seconds,
                                   bool sandboxed, const std::function<void(const SmokeFailure &)> &on_failure) {
    SmokeOutcome outcome;
    outcome.ran = true;
    for (std::size_t first_step = 0;;) {
        ChildRun run = run_child(module_path, print_calls, call_timeout_seconds, first_step, sandboxed);
        if (!run.unconfined.empty()) {
            outcome.ran = false;
            outcome.not_run = "the sandbox cannot be set up here: this system lacks " + run.unconfined +
                              "; a host that asks for the sandbox gets false from initializeLibrary";
            break;
        }
        outcome.calls.insert(outcome.calls.end(), run.calls.begin(), run.calls.end());
        if (!run.failed)
            break;
        SmokeFailure failure{run.in_step ? run.pending : SmokeCall{"", "loading or unloading the module", "", "", ""},
                             run.threw ? run.how
                                       : "never returned: " + (run.how.empty() ? "ended without a word" : run.how)};
        outcome.failures.push_back(failure);
        on_failure(failure);
        // A call that never returned or threw: the rest of the session goes
        // on in a fresh child. Anything else (the module did not load or unload)
        // would fail the same way again.
        if (!run.in_step)
            break;
        first_step = run.step + 1;
    }
    return outcome;
}

} // namespace vantrell::check
