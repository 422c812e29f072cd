// The sandbox of a process that plays a module it does not trust: from the
// moment confine() returns, the process may compute, answer over what it
// already holds, and write to the standard streams it inherited, and
// nothing else. The one place that knows the platform's mechanisms.
//
// Linux: Landlock (ABI 6 or newer) with every file-system right it knows
// handled and none granted, TCP bind and connect refused, signals and
// abstract UNIX sockets scoped to the process; no new privileges; a
// seccomp filter that refuses new processes (threads are allowed), program
// execution, ptrace and the like, and new sockets, with EPERM; limits on
// the address space, open files and core dumps.
// Windows: a job object that allows one process and caps its memory, and
// the process's integrity level lowered, so that it cannot write where the
// user's processes write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrell::sandbox {

// The address space a confined process may have: 1 GiB for 32-bit code,
// 4 GiB for 64-bit.
constexpr std::uint64_t address_space_limit = sizeof(void *) == 4 ? (1ull << 30) : (4ull << 30);
// The descriptors (handles) it may hold open at once.
constexpr unsigned open_files_limit = 64;

// Confines this process from now on. Call it with no thread but the
// calling one running: threads started afterwards are confined too.
// Returns empty when it is confined, else what this system lacks ("Landlock
// ABI 6 or newer: this kernel offers ABI 3"); the process is then not to be
// trusted with a module, confined in part or not at all.
// `name_refusals`: refused calls are named (refusals()) instead of merely
// refused, and file operations are refused by the filter too, so that they
// can be named (aimodule-check); the answers are the same.
std::string confine(bool name_refusals = false);

// The calls refused since the last time this was asked, as
// `openat("/etc/hostname")` or `clone (a new process)`; empty where the
// platform cannot name them.
std::vector<std::string> refusals();

} // namespace vantrell::sandbox
