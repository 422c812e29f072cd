// The smoke session in child processes: each child loads the module, runs
// the session from a step on and writes a record of each step; a child
// that crashes, hangs or throws ends there, and the next starts after its
// call. What a child records is read as untrusted: the module runs in it.
#include "child_process.hpp"
#include "child_records.hpp"
#include "escaped_exception.hpp"
#include "smoke.hpp"

#include "ai_module_list.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace vantrell::check {

namespace {

// How much of a child's standard error is kept: enough for a runtime's last
// words.
constexpr std::size_t kept_errors = 64 * 1024;

// One child's part of the session, from `first_step`: how its load went,
// the calls that returned, and, when the child did not end well, the step
// it was in (or none) and how it ended.
struct ChildRun {
    std::string unconfined; // what this system lacks for the sandbox, when the child could not confine itself
    bool loading = false;   // it began to load the module
    bool loaded = false;
    std::string load_error; // the loader's words, when it refused the module
    std::string load_refused;
    std::vector<SmokeCall> calls;
    bool in_step = false;
    std::size_t step = 0;
    SmokeCall pending;
    bool unloading = false;
    bool unloaded = false;
    std::string unload_refused;
    bool failed = false;
    bool hung = false;
    std::string how;
    bool threw = false; // the pending call let an exception out, as `how` says
};

// What the records say; a record that makes no sense (a step outside the
// session's, fields missing) is left out.
void read_records(const std::filesystem::path &records, std::size_t first_step, ChildRun &run) {
    for (const std::string &line : record_lines(records)) {
        const std::vector<std::string> fields = fields_of(line);
        const std::string kind = fields.empty() ? "" : fields[0];
        const std::string second = fields.size() > 1 ? fields[1] : "", third = fields.size() > 2 ? fields[2] : "";
        if (kind == "unconfined" && fields.size() >= 2) {
            run.unconfined = second;
        } else if (kind == "loading") {
            run.loading = true;
        } else if (kind == "loaded") {
            run.loaded = true;
            run.load_refused = second;
        } else if (kind == "load-failed") {
            run.load_error = second.empty() ? "the loader refused it without a word" : second;
            run.load_refused = third;
        } else if (kind == "begin" && fields.size() >= 4) {
            const unsigned long step = std::strtoul(second.c_str(), nullptr, 10);
            if (step < first_step || step >= AI_MODULE_FUNCTION_COUNT)
                continue;
            run.step = step;
            run.pending = SmokeCall{third, fields[3], "", "", ""};
            run.in_step = true;
        } else if (kind == "call" && fields.size() >= 4) {
            run.calls.push_back(SmokeCall{second, third, fields[3], fields.size() > 4 ? fields[4] : "",
                                          fields.size() > 5 ? fields[5] : ""});
            run.in_step = false;
        } else if (kind == "threw" && fields.size() >= 2 && run.in_step) {
            run.threw = true;
            run.how = second;
        } else if (kind == "unloading") {
            run.unloading = true;
        } else if (kind == "unloaded") {
            run.unloaded = true;
            run.unload_refused = second;
        }
    }
}

ChildRun run_child(SmokeChild child, int call_timeout_seconds) {
    namespace fs = std::filesystem;
    std::error_code error;
    static int runs = 0;
    const fs::path records =
        fs::temp_directory_path(error) /
        ("aimodule-check-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
         std::to_string(++runs) + ".smoke");
    child.records = records.string();
    child.parent = this_process_as_parent();
    ChildRun run;
    std::cout.flush();
    auto process = ChildProcess::start(smoke_child_arguments(child));
    if (!process) {
        run.failed = true;
        run.how = "the checker could not start a child process";
        return run;
    }
    using clock = std::chrono::steady_clock;
    auto last_progress = clock::now();
    std::size_t lines_seen = 0;
    // The child's standard error, passed on as it comes (at most a bounded
    // part each time); its end kept, for what a runtime says on its way out.
    const fs::path errors = standard_error_file(records);
    std::size_t errors_read = 0;
    std::string standard_error;
    const auto pass_on_errors = [&] {
        const std::string text = read_on(errors, errors_read);
        std::cerr << text << std::flush;
        standard_error += text;
        if (standard_error.size() > kept_errors)
            standard_error.erase(0, standard_error.size() - kept_errors);
        return !text.empty();
    };
    while (!process->wait_for(50)) {
        pass_on_errors();
        const std::size_t lines = record_lines(records).size();
        if (lines != lines_seen) {
            lines_seen = lines;
            last_progress = clock::now();
        } else if (clock::now() - last_progress > std::chrono::seconds(call_timeout_seconds)) {
            process->kill();
            process->wait_for(-1);
            run.hung = true;
            break;
        }
    }
    read_records(records, child.first_step, run);
    while (pass_on_errors()) { // all of it, now that the child has ended
    }
    fs::remove(records, error);
    fs::remove(errors, error);
    // An exception the child could not catch: one thrown by a module that
    // unwinds with a runtime of its own, which ends the process with words.
    if (!run.threw && !run.hung && run.in_step) {
        run.how = describe_uncaught_exception(standard_error);
        run.threw = !run.how.empty();
    }
    if (!run.threw)
        run.how = run.hung ? "no answer within " + std::to_string(call_timeout_seconds) + " s: stopped"
                           : process->how_it_ended();
    run.failed = run.in_step || !run.how.empty();
    return run;
}

// Why a child that began to load the module has no module loaded.
std::string load_error_of(const ChildRun &run) {
    if (!run.load_error.empty())
        return run.load_error;
    if (run.hung)
        return "the load did not end: " + run.how;
    return "the load ended the process (" + (run.how.empty() ? std::string("exit status 0") : run.how) +
           "): the module's constructors, or those of a library it needs";
}

// What failed in a child that did not end well, and how.
SmokeFailure failure_of(const ChildRun &run) {
    const std::string ended = run.how.empty() ? "ended without a word" : run.how;
    auto outside_calls = [](const char *what) { return SmokeCall{"", what, "", "", ""}; };
    if (run.in_step)
        return {run.pending, run.threw ? run.how : "never returned: " + ended};
    if (!run.loading)
        return {outside_calls("starting the session's child process"), "failed: " + ended};
    if (!run.loaded)
        return {outside_calls("loading the module again"), "does not load: " + load_error_of(run)};
    if (run.unloaded)
        return {outside_calls("ending the child process, after the unload"), "failed: " + ended};
    if (run.unloading)
        return {outside_calls("unloading the module"), "never returned: " + ended};
    return {outside_calls("between two calls"), "the process ended: " + ended};
}

// `more`'s refusals that `refused` does not name yet, added to it.
void add_refusals(std::string &refused, const std::string &more) {
    std::size_t start = 0;
    for (std::size_t end; start < more.size(); start = end + 2) {
        end = more.find(", ", start);
        if (end == std::string::npos)
            end = more.size();
        const std::string one = more.substr(start, end - start);
        if (refused.find(one) == std::string::npos)
            refused += (refused.empty() ? "" : ", ") + one;
    }
}

} // namespace

std::vector<std::string> split_path_list(const std::string &text) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    for (std::size_t end; start <= text.size(); start = end + 1) {
        end = text.find(path_list_separator, start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            paths.push_back(text.substr(start, end - start));
    }
    return paths;
}

std::string join_path_list(const std::vector<std::string> &paths) {
    std::string text;
    for (const std::string &path : paths)
        text += (text.empty() ? "" : std::string(1, path_list_separator)) + path;
    return text;
}

// --smoke-child <records> --print|--quiet <first step> --sandbox|--no-sandbox <granted paths> <parent> <module>
std::vector<std::string> smoke_child_arguments(const SmokeChild &child) {
    return {"--smoke-child",
            child.records,
            child.print_calls ? "--print" : "--quiet",
            std::to_string(child.first_step),
            child.sandbox.confined ? "--sandbox" : "--no-sandbox",
            join_path_list(child.sandbox.granted),
            child.parent,
            child.module_path};
}

std::optional<SmokeChild> smoke_child_from(int argc, char **argv) {
    if (argc != 9 || std::string(argv[1]) != "--smoke-child")
        return std::nullopt;
    SmokeChild child;
    child.records = argv[2];
    child.print_calls = std::string(argv[3]) == "--print";
    child.first_step = std::strtoul(argv[4], nullptr, 10);
    child.sandbox.confined = std::string(argv[5]) == "--sandbox";
    child.sandbox.granted = split_path_list(argv[6]);
    child.parent = argv[7];
    child.module_path = argv[8];
    return child;
}

SmokeOutcome run_smoke_in_children(const std::string &module_path, bool print_calls, int call_timeout_seconds,
                                   const SessionSandbox &sandbox,
                                   const std::function<void(const SmokeFailure &)> &on_failure) {
    SmokeOutcome outcome;
    outcome.ran = true;
    for (std::size_t first_step = 0;;) {
        const ChildRun run =
            run_child(SmokeChild{module_path, "", print_calls, first_step, sandbox, ""}, call_timeout_seconds);
        if (!run.unconfined.empty()) {
            outcome.ran = false;
            outcome.not_run = "the sandbox cannot be set up here: this system lacks " + run.unconfined +
                              "; a host that asks for the sandbox gets false from initializeLibrary";
            break;
        }
        add_refusals(outcome.load_refused, run.load_refused);
        // The first load is the module's: one that fails ends the session
        // before it began. A later one fails where the module did not.
        if (run.loading && !run.loaded && first_step == 0) {
            outcome.ran = false;
            outcome.load_error = load_error_of(run);
            outcome.not_run = "the module does not load" + std::string(sandbox.confined ? " in the sandbox" : "");
            break;
        }
        outcome.loaded = outcome.loaded || run.loaded;
        outcome.calls.insert(outcome.calls.end(), run.calls.begin(), run.calls.end());
        add_refusals(outcome.unload_refused, run.unload_refused);
        if (!run.failed)
            break;
        const SmokeFailure failure = failure_of(run);
        outcome.failures.push_back(failure);
        on_failure(failure);
        // A call that never returned or threw: the rest of the session goes
        // on in a fresh child. Anything else would fail the same way again.
        if (!run.in_step || !run.loaded)
            break;
        first_step = run.step + 1;
    }
    return outcome;
}

} // namespace vantrell::check
