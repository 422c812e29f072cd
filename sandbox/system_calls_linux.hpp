// The system calls a confined process may make: one list, each entry with
// the reason it is there, and the seccomp filter made from it. Anything not
// on the list is refused (EPERM), as are the listed calls whose arguments
// reach outside the process, and every call of another architecture.
#pragma once

#include <linux/filter.h>
#include <sys/types.h>

#include <cstdint>
#include <vector>

namespace vantrell::sandbox {

enum class Rule {
    allow,
    not_host_stream, // reading: not the host's standard output or error, which may be its terminal
    own_position,    // moving in a file: not in the standard streams, whose position the host shares
    own_process,     // only when its first argument names this process (or 0, itself)
    terminal_query,  // ioctl: only the requests a C library's stdio makes
    thread_only,     // clone: a thread of this process, nothing else
    thread_name,     // prctl: naming a thread, and the signal at its parent's end
    landlock,        // a file opened: Landlock decides what may be read
    no_such_call,    // answered ENOSYS, so that the C library falls back to a listed call
    signal_mask,     // allowed; when refusals are named, done by the trap handler, which never blocks SIGSYS
    signal_action,   // allowed; when refusals are named, SIGSYS's stays the trap handler's
    gate_copy,       // refused; when refusals are named, allowed at the gate on this process only (the
                     // handler's copies of the module's arguments)
};

struct AllowedCall {
    long number;
    const char *name;
    Rule rule;
    const char *why;
};

const std::vector<AllowedCall> &allowed_calls();

// The filter for a process `own` that refuses with EPERM or, when
// `name_refusals`, traps refused calls (SIGSYS) so that they can be named;
// opening a file then traps too, unless the call is made at `gate` (the
// address of the instruction after the system call that the trap handler
// makes it again with), so that a refused opening can be named as well;
// and so do the calls that would block SIGSYS or take its handler
// (refusal_names_linux.hpp), so that a trap never ends the process.
// Empty when the program cannot be made.
std::vector<sock_filter> filter_program(pid_t own, bool name_refusals, std::uintptr_t gate);

// The name of a system call of this architecture, for a refusal's report:
// "socket", "io_uring_setup", ...; "system call <n>" for one it cannot name.
const char *call_name(long number, char (&unknown)[32]);

} // namespace vantrell::sandbox
