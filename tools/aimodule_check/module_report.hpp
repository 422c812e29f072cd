// Judges each of the contract's functions in a module: exported under its
// exact name, missing, or exported under a near-miss name the bridge will
// never find; from the module loaded exactly as the bridge loads it, or
// from its file alone, when no code of the module may run in this process.
#pragma once

#include "module_loader.hpp"
#include "near_miss.hpp"

#include <string>
#include <vector>

namespace vantrell::check {

struct FoundNearMiss {
    std::string exported;
    NearMiss miss;
};

struct FunctionReport {
    const ContractFunction *function;
    enum Status { exact, missing, near_miss } status;
    std::vector<FoundNearMiss> near_misses; // also listed beside an exact export
};

struct Report {
    std::string path;
    std::string kind;                 // "64-bit Windows DLL (x64)", ... when the file is one
    std::vector<std::string> imports; // the DLLs a Windows module imports
    bool loaded = false;              // the loader took it: here, or with load_in_sandbox in the sandbox
    std::string load_error;           // the loader's own words
    std::string likely_cause;         // judged from the file
    // Why the module is judged from its file alone: it is for another
    // platform or processor than this checker's.
    std::string not_loaded_here;
    // Then, what runs it: said when no smoke session was asked for.
    std::string smoke_elsewhere;
    // The checker that runs its smoke session here, when one does
    // ("aimodule-check-x64.exe under Wine").
    std::string smoke_runner;
    // Judged from its file, to be loaded in the sandbox only (--sandbox):
    // whether it loads is known once its session has run there.
    bool load_in_sandbox = false;
    std::vector<std::string> warnings; // read from the file, whether it loads or not
    std::vector<FunctionReport> functions;

    bool judged() const { return loaded || !not_loaded_here.empty(); }
    int count(FunctionReport::Status status) const;
    // Why the bridge would find nothing in the module, or empty.
    std::string problem() const;
};

// Loads the module at `path` (UTF-8) into `module`, which the caller
// unloads, and reports on it; a module for another platform is judged from
// its file and not loaded.
Report inspect(const std::string &path, vantrell::loader::ModuleHandle &module);

// Judges the module at `path` (UTF-8) from its file alone, loading
// nothing, for a session in the sandbox: no code of the module may run
// outside it. A module for another platform is judged as by inspect().
Report inspect_file(const std::string &path);

// The status as a word: "exact", "missing", "near miss".
const char *status_word(FunctionReport::Status status);

} // namespace vantrell::check
