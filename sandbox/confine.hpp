// The sandbox of a process that plays a module it does not trust. The
// process confines itself before the module's first instruction (its
// constructors, its static initialisers, the threads they start): from
// then on it may compute, allocate, run a bounded number of threads, answer
// over what it already holds, write to the standard streams it inherited,
// and read its module, the system's libraries and what the host granted;
// nothing else. The one place that knows the platform's mechanisms.
//
// Linux, in this order:
//  - a session of its own, without a controlling terminal, and an empty
//    standard input;
//  - no capability in any set, whatever user started it, in a user
//    namespace of its own where the kernel bounds its threads
//    (credentials_linux.hpp);
//  - limits on the address space, open files and core dumps; no new
//    privileges;
//  - Landlock (ABI 6 or newer): reading only the module's file, the
//    system's library folders and what the host grants; no TCP bind or
//    connect; signals and abstract sockets kept within the process
//    (landlock_linux.hpp);
//  - a seccomp filter that allows the system calls on one list and refuses
//    every other (system_calls_linux.hpp), on every thread.
// Windows: a job object that allows one process and caps its memory, and a
// low integrity level, so that it cannot write where the user's processes
// write. Windows has no per-process bound on threads; the memory cap bounds
// them. Reading is not confined there: a low integrity level reads what
// the user reads.
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
// The threads a module may start (Linux); beyond them a new thread fails
// (EAGAIN). The process's own (a companion's first thread, and the one
// that watches for the host's end) come on top.
constexpr unsigned thread_limit = 64;
constexpr unsigned companion_threads = 2;

// What a confined process may read (Linux): the module's file, and files
// and folders the host grants, read-only (a folder with all beneath it).
// The system's library folders are always readable, so that the module's
// system libraries load. A path that names nothing is left out.
struct Readable {
    std::string module;
    std::vector<std::string> granted;
};

// Confines this process from now on, with every thread it will start.
// Call it while the process runs one thread only (it refuses otherwise).
// Returns empty when it is confined, else what this system lacks ("Landlock
// ABI 6 or newer: this kernel offers ABI 3"); the process is then not to be
// trusted with a module, confined in part or not at all.
// `name_refusals`: refused calls are named (refusals()) instead of merely
// refused (aimodule-check); the answers are the same. `own_threads`: the
// threads the process runs besides the module's, its first included, so
// that the module may start exactly thread_limit.
std::string confine(const Readable &readable, bool name_refusals = false, unsigned own_threads = companion_threads);

// The calls refused since the last time this was asked, as
// `openat("/etc/hostname")` or `clone (a new process)`; empty where the
// platform cannot name them.
std::vector<std::string> refusals();

} // namespace vantrell::sandbox
