// What tools need to tell a module author what the loader sees: the names
// a loaded module exports, and the likely cause of a failed load. The
// bridge itself uses neither.
#pragma once

#include "module_loader.hpp"

#include <string>
#include <vector>

namespace vantrell::platform {

// Every name the module itself exports (not its dependencies), in the
// order of its export table.
std::vector<std::string> export_names(ModuleHandle module);

// Why the file at `path` (UTF-8) most likely failed to load, judged from
// the file itself and the loader's words: missing, not a library, built for
// another architecture, or a library it needs is missing.
std::string likely_load_failure_cause(const std::string &path, const std::string &loader_error);

} // namespace vantrell::platform
