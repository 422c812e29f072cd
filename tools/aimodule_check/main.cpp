// aimodule-check: tells a module author what the bridge will find in a
// module, before any host loads it.
//
//   aimodule-check [--json] [--smoke] <module path>
//
// Exit status: 0 when every function the module exports is found under its
// exact name, 1 for a near miss or a module that does not load, 2 for bad
// usage.
#include "console.hpp"
#include "module_report.hpp"
#include "output.hpp"
#include "smoke.hpp"

#include <iostream>
#include <string>

namespace {

int usage(const char *problem) {
    std::cerr << "aimodule-check: " << problem << "\n"
              << "usage: aimodule-check [--json] [--smoke] <module path>\n";
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    bool json = false, smoke = false;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--json")
            json = true;
        else if (arg == "--smoke")
            smoke = true;
        else if (arg == "--help" || arg == "-h")
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

    using namespace aimodule_check;
    // In text mode the module's own lines interleave with the report, as
    // the author would see them under a host; a JSON report stays clean.
    ModuleOutputToStderr quiet(json);
    vantrell::loader::ModuleHandle module = nullptr;
    Report report = inspect(path, module);
    if (!json)
        print_text(std::cout, report);
    std::vector<SmokeCall> calls;
    if (smoke && module) {
        if (!json)
            std::cout << "smoke session:" << std::endl;
        calls = run_smoke_session(module, [json](const SmokeCall &call) {
            if (!json)
                print_smoke_call(std::cout, call);
        });
    }
    if (module)
        vantrell::loader::unload_module(module);
    if (json) {
        quiet.restore();
        print_json(std::cout, report, smoke ? &calls : nullptr);
    }
    return report.exit_status();
}
