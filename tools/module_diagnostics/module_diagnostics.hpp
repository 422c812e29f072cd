// What tools and tests need to tell a module author what the loader sees:
// loading by a UTF-8 path with the reason of a failure, the names a loaded
// module exports, and the likely cause of a failed load. The bridge itself
// uses none of it.
#pragma once

#include "module_loader.hpp"

#include <string>
#include <vector>

namespace vantrell::diagnostics {

using loader::ModuleHandle;

// Loads the module at a UTF-8 path exactly as the bridge loads the host's
// UTF-16 path. Malformed UTF-8 becomes U+FFFD, so it names no file and
// fails in the loader.
ModuleHandle load_module(const std::string &utf8_path);

// Why the most recent load_module() of this thread failed: the loader's own
// words, or why the path never reached the loader.
std::string last_error();

// Every name the module itself exports (not its dependencies), in the
// order of its export table.
std::vector<std::string> export_names(ModuleHandle module);

// Why the file at `path` (UTF-8) most likely failed to load, judged from
// the file itself and the loader's words: missing, not a library, built for
// another architecture, a library it needs is missing, or (POSIX) a name
// without a slash, which the loader looks for in the library path only.
std::string likely_load_failure_cause(const std::string &path, const std::string &loader_error);

} // namespace vantrell::diagnostics
