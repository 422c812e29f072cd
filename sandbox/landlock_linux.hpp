// Landlock: the files a confined process may read, and nothing it may
// write, make, remove or run; no TCP bind or connect; signals and abstract
// UNIX sockets kept within the process.
#pragma once

#include "confine.hpp"

#include <string>

namespace vantrell::sandbox {

// The Landlock ABI this sandbox needs at least: 6, for the scoping of
// signals and abstract sockets.
constexpr int landlock_abi_needed = 6;

// The ABI this kernel offers, or -1 when it offers none.
int landlock_abi();

// Restricts this process (and the threads it starts from now on) to
// reading the module's file, the system's library folders and the loader's
// cache, a few harmless devices, and what the host grants. Empty when done,
// else what failed.
std::string restrict_to_reading(const Readable &readable, int abi);

} // namespace vantrell::sandbox
