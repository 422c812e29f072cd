// The child of a smoke session (this program with --smoke-child): it stays
// with its parent, confines itself first when asked (as a sandboxed
// companion does, so that none of the module's code runs unconfined), then
// loads the module and runs the session, and writes a record of each step
// for the parent, which reads them as they come.
#include "smoke.hpp"

#include "child_process.hpp"
#include "child_records.hpp"
#include "confine.hpp"
#include "console.hpp"
#include "escaped_exception.hpp"
#include "module_diagnostics.hpp"
#include "output.hpp"
#include "thread_stack.hpp"

#include <cstdio>
#include <iostream>

namespace vantrell::check {
namespace {

// The records file, each record flushed as it is written, so that it
// survives the child's end.
class Records {
public:
    explicit Records(const std::string &path) : file_(std::fopen(path.c_str(), "wb")) {}
    ~Records() {
        if (file_)
            std::fclose(file_);
    }
    Records(const Records &) = delete;
    Records &operator=(const Records &) = delete;

    bool open() const { return file_ != nullptr; }
    void write(const std::vector<std::string> &fields) {
        std::fputs(record_line(fields).c_str(), file_);
        std::fputc('\n', file_);
        std::fflush(file_);
    }

private:
    std::FILE *file_;
};

// What the sandbox refused since it was last asked, as one text.
std::string refused_so_far() {
    std::string refused;
    for (const std::string &refusal : sandbox::refusals())
        refused += (refused.empty() ? "" : ", ") + refusal;
    return refused;
}

} // namespace

int smoke_child_main(const SmokeChild &child) {
    if (!standard_error_to_file(standard_error_file(child.records).string()))
        return 2;
    ModuleOutputToStderr quiet(!child.print_calls);
    Records records(child.records);
    if (!records.open())
        return 2;
    if (!end_with_parent(child.parent))
        return 6;
    // What the checker itself needs of the world (its stack's bounds) it
    // takes before the sandbox closes. It runs one thread of its own: the
    // module may start as many as in a companion.
    if (child.sandbox.confined) {
        know_this_threads_stack();
        if (const std::string missing = sandbox::confine({child.module_path, child.sandbox.granted}, true, 1);
            !missing.empty()) {
            records.write({"unconfined", missing});
            return 5;
        }
    }
    // The load's refusals are the load's (the loader's search, the module's
    // constructors), never its first call's.
    records.write({"loading"});
    auto module = vantrell::diagnostics::load_module(child.module_path);
    const std::string load_refused = refused_so_far();
    if (!module) {
        records.write({"load-failed", vantrell::diagnostics::last_error(), load_refused});
        return 3;
    }
    records.write({"loaded", load_refused});
    if (child.print_calls && child.first_step == 0)
        print_refusals(std::cout, "loading the module", load_refused);
    try {
        run_smoke_session(
            module, child.first_step,
            [&](std::size_t step, const SmokeCall &call) {
                std::cout.flush();
                records.write({"begin", std::to_string(step), call.function, call.call});
            },
            [&](const SmokeCall &done) {
                SmokeCall call = done;
                call.refused = refused_so_far();
                if (child.print_calls)
                    print_smoke_call(std::cout, call);
                records.write({"call", call.function, call.call, call.answer, call.problem, call.refused});
            });
    } catch (const EscapedException &escaped) {
        // A host would be gone by now; the parent goes on in a fresh child.
        std::cout.flush();
        records.write({"threw", escaped.description});
        return 4;
    }
    std::cout.flush();
    records.write({"unloading"});
    vantrell::loader::unload_module(module);
    const std::string unload_refused = refused_so_far();
    if (child.print_calls)
        print_refusals(std::cout, "unloading the module", unload_refused);
    records.write({"unloaded", unload_refused});
    return 0;
}

} // namespace vantrell::check
