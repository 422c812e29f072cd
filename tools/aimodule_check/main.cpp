// aimodule-check: tells a module author what the bridge will find in a
// module, before any host loads it.
//
//   aimodule-check [--json] [--smoke [--sandbox]] [--call-timeout SECONDS] <module path>
//   aimodule-check --version
//
// Any module file is judged from its export table, a Windows DLL or an ELF
// library alike; a module this checker can load is also loaded as the
// bridge loads it and, with --smoke, driven through every function it
// exports in a child process, so that a crash, a hang or an exception out
// of a function other than endGame is reported with the function that
// caused it.
//
// Exit status: 0 when the module exports at least one function and each
// under its exact name (and, with --smoke, the session ran and every call
// returned with a sound answer; an exception out of endGame, which the
// bridge swallows, is no fault); 1 otherwise; 2 for bad usage.
#include "ai_module.h"
#include "console.hpp"
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
              << "usage: aimodule-check [--json] [--smoke [--sandbox]] [--call-timeout SECONDS] <module path>\n"
              << "       aimodule-check --version\n";
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    using namespace vantrell::check;
    // The child of --smoke:
    // --smoke-child <records> --print|--quiet <first step> --sandbox|--no-sandbox <module>.
    if (argc == 7 && std::string(argv[1]) == "--smoke-child")
        return smoke_child_main(argv[6], argv[2], std::string(argv[3]) == "--print", std::strtoul(argv[4], nullptr, 10),
                                std::string(argv[5]) == "--sandbox");

    bool json = false, smoke = false, sandboxed = false;
    int call_timeout = 10;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--json")
            json = true;
        else if (arg == "--smoke")
            smoke = true;
        else if (arg == "--sandbox")
            sandboxed = true;
        else if (arg == "--call-timeout" && i + 1 < argc && std::atoi(argv[i + 1]) > 0)
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
    if (sandboxed && !smoke)
        return usage("--sandbox goes with --smoke");

    // In text mode the module's own lines interleave with the report, as
    // the author would see them under a host; a JSON report stays clean.
    ModuleOutputToStderr quiet(json);
    vantrell::loader::ModuleHandle module = nullptr;
    Report report = inspect(path, module);
    if (module)
        vantrell::loader::unload_module(module);
    quiet.restore();
#if !defined(_WIN32)
    // A Windows module's session runs under Wine, when Wine and the SDK's
    // Windows checker are here, and a 32-bit Linux module's in the SDK's
    // 32-bit checker; the report says so once, in its heading.
    OtherChecker other;
    if (smoke && !report.loaded) {
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
    if (smoke && report.loaded) {
        if (!json)
            std::cout << (sandboxed ? "smoke session, in the sandbox a host asks for with -Dvantrell.isolation=sandbox:"
                                    : "smoke session:")
                      << std::endl;
        outcome = run_smoke_in_children(path, !json, call_timeout, sandboxed, [json](const SmokeFailure &failure) {
            if (!json)
                print_smoke_failure(std::cout, failure);
        });
        if (!outcome.ran && !json)
            std::cout << "smoke session: not run, " << outcome.not_run << std::endl;
    } else if (smoke) {
        outcome.not_run = "the module is not loaded here";
#if !defined(_WIN32)
        if (!other.not_run.empty())
            outcome.not_run = other.not_run;
        else if (!report.smoke_runner.empty()) {
            if (!json)
                std::cout << "smoke session, " << report.smoke_runner << ":" << std::endl;
            outcome = run_smoke_with(other, path, call_timeout, sandboxed, json ? std::cerr : std::cout);
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
