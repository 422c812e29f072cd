// A Windows module's smoke session from the Linux checker: run by the SDK's
// Windows checker for the module's bits (aimodule-check-x86.exe or
// aimodule-check-x64.exe, beside this program) under Wine, in a Wine prefix
// of the checker's own in the user's cache folder. 32-bit Wine runs
// natively where this machine runs 32-bit programs, else under the
// qemu-i386 emulation that emulation/setup-i386-wine.sh sets up.
#pragma once

#include "smoke.hpp"

#include <string>

namespace vantrell::check {

// The session's outcome; when it cannot run, `ran` is false and `not_run`
// says why (no Windows checker, no Wine).
SmokeOutcome run_smoke_under_wine(const std::string &module_path, int bits, int call_timeout_seconds);

} // namespace vantrell::check
