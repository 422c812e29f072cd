// aimodule-check: tells a module author what the bridge will find in a
// module, before any host loads it.
//
//   aimodule-check [--json] [--smoke [--sandbox [--sandbox-read PATHS]]] [--call-timeout SECONDS] <module path>
//   aimodule-check --version
//
// Any module file is judged from its export table, a Windows DLL or an ELF
// library alike; a module this checker can load is also loaded as the
// bridge loads it and, with --smoke, driven through every function it
// exports in a child process, so that a crash, a hang or an exception out
// of a function other than endGame is reported with the function that
// caused it. With --sandbox no code of the module runs outside the sandbox:
// it is judged from its file, and loaded only in the confined children of
// its session.
//
// Exit status: 0 when the module exports at least one function and each
// under its exact name (and, with --smoke, the session ran and every call
// returned with a sound answer; an exception out of endGame, which the
// bridge swallows, is no fault); 1 otherwise; 2 for bad usage.
#include "ai_module.h"
#include "console.hpp"
#include "module_diagnostics.hpp"
#include "module_report.hpp"
#include "output.hpp"
#include "smoke.hpp"
#include "verdict.hpp"
#if !defined(_WIN32)
#include "module_file.hpp"
#include "smoke_under_wine.hpp"
#endif

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

int usage(const char *problem) {
    std::cerr << "aimodule-check: " << problem << "\n"
              << "usage: aimodule-check [--json] [--smoke [--sandbox [--sandbox-read PATHS]]] [--call-timeout SECONDS] "
                 "<module path>\n"
              << "       aimodule-check --version\n"
              << "  --sandbox-read PATHS  what the sandboxed module may read besides its own file and the system's "
                 "libraries,\n"
              << "                        as a host grants it with -Dvantrell.sandbox.read: paths separated by '"
              << vantrell::check::path_list_separator << "'\n";
    return 2;
}

// The load that began the session: with --sandbox, the report learns from
// it whether the module loads; and why not, when it did not.
void learn_the_load(vantrell::check::Report &report, const vantrell::check::SmokeOutcome &outcome) {
    if (report.load_in_sandbox)
        report.loaded = outcome.loaded;
    if (outcome.load_error.empty())
        return;
    report.load_error = outcome.load_error;
    report.likely_cause = outcome.load_refused.empty()
                              ? vantrell::diagnostics::likely_load_failure_cause(report.path, outcome.load_error)
                              : "the sandbox lets a module read only its own file, the system's library folders and "
                                "what the host grants (-Dvantrell.sandbox.read; here --sandbox-read): carry what it "
                                "needs in the module, or have the host grant it; a host that asks for the sandbox "
                                "gets false from initializeLibrary";
}

} // namespace

int main(int argc, char **argv) {
    using namespace vantrell::check;
    if (argc > 1 && std::string(argv[1]) == "--smoke-child") {
        const auto child = smoke_child_from(argc, argv);
        return child ? smoke_child_main(*child) : 2;
    }

    bool json = false, smoke = false;
    SessionSandbox sandbox;
    int call_timeout = 10;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--json")
            json = true;
        else if (arg == "--smoke")
            smoke = true;
        else if (arg == "--sandbox")
            sandbox.confined = true;
        else if (arg == "--sandbox-read") {
            const std::vector<std::string> paths =
                i + 1 < argc ? split_path_list(argv[++i]) : std::vector<std::string>();
            if (paths.empty())
                return usage("--sandbox-read needs the paths it grants");
            sandbox.granted.insert(sandbox.granted.end(), paths.begin(), paths.end());
        } else if (arg == "--call-timeout" && i + 1 < argc && std::atoi(argv[i + 1]) > 0)
            call_timeout = std::atoi(argv[++i]);
        else if (arg == "--version") {
            std::cout << "aimodule-check " << AIMODULE_CHECK_VERSION << " (module contract "
                      << AI_MODULE_CONTRACT_VERSION << ")\n";
            return 0;
        } else if (arg == "--help" || arg == "-h")
            return usage("checks an AI module's exports against the contract"), 0;
        else if (!arg.empty() && arg[0] == '-')
            return usage(("unknown option " + arg).c_str());
        else if (!path.empty())
            return usage("one module at a time");
        else
            path = arg;
    }
    if (path.empty())
        return usage("no module path given");
    if (sandbox.confined && !smoke)
        return usage("--sandbox goes with --smoke");
    if (!sandbox.granted.empty() && !sandbox.confined)
        return usage("--sandbox-read goes with --sandbox");

    // With --sandbox the module is judged from its file: its code runs in
    // the sandbox only. Else it is loaded here as the bridge loads it; in
    // text mode its own lines interleave with the report, as the author
    // would see them under a host, while a JSON report stays clean.
    Report report;
    if (sandbox.confined) {
        report = inspect_file(path);
    } else {
        ModuleOutputToStderr quiet(json);
        vantrell::loader::ModuleHandle module = nullptr;
        report = inspect(path, module);
        if (module)
            vantrell::loader::unload_module(module);
    }
#if !defined(_WIN32)
    // A Windows module's session runs under Wine, when Wine and the SDK's
    // Windows checker are here, and a 32-bit Linux module's in the SDK's
    // 32-bit checker; the report says so once, in its heading.
    OtherChecker other;
    if (smoke && !report.not_loaded_here.empty()) {
        const auto file = vantrell::diagnostics::read_module_file(path);
        if (file && file->format == vantrell::diagnostics::ModuleFile::pe && file->library)
            other = find_wine_smoke(file->bits);
        else if (file && file->library && file->machine == "32-bit x86" && sizeof(void *) == 8)
            other = find_i386_smoke();
        if (other.bits && other.not_run.empty())
            report.smoke_runner = other.heading();
    }
#endif
    if (smoke)
        report.smoke_elsewhere.clear(); // the smoke session's lines say what ran
    if (!json)
        print_text(std::cout, report);

    SmokeOutcome outcome;
    if (smoke && (report.loaded || report.load_in_sandbox)) {
        if (!json)
            std::cout << (sandbox.confined
                              ? "smoke session, in the sandbox a host asks for with -Dvantrell.isolation=sandbox:"
                              : "smoke session:")
                      << std::endl;
        outcome = run_smoke_in_children(path, !json, call_timeout, sandbox, [json](const SmokeFailure &failure) {
            if (!json)
                print_smoke_failure(std::cout, failure);
        });
        learn_the_load(report, outcome);
        if (!json && !outcome.load_error.empty())
            print_load_failure(std::cout, report, outcome);
        else if (!outcome.ran && !json)
            std::cout << "smoke session: not run, " << outcome.not_run << std::endl;
    } else if (smoke) {
        outcome.not_run = "the module is not loaded here";
#if !defined(_WIN32)
        if (!other.not_run.empty())
            outcome.not_run = other.not_run;
        else if (!report.smoke_runner.empty()) {
            if (!json)
                std::cout << "smoke session, " << report.smoke_runner << ":" << std::endl;
            outcome = run_smoke_with(other, path, call_timeout, sandbox, json ? std::cerr : std::cout);
            if (outcome.ran && !json)
                print_smoke_session(std::cout, outcome);
            else if (outcome.ran)
                std::cerr << outcome.module_output;
        }
#endif
        if (!outcome.ran && !json)
            std::cout << "smoke session: not run, " << outcome.not_run << std::endl;
    }
    const int status = exit_status(report, smoke ? &outcome : nullptr);
    if (json)
        print_json(std::cout, report, smoke ? &outcome : nullptr, status);
    return status;
}
