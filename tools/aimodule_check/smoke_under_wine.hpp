// A Windows module's smoke session from the Linux checker: run by the SDK's
// Windows checker for the module's bits (aimodule-check-x86.exe or
// aimodule-check-x64.exe, beside this program) under Wine, in a Wine prefix
// of the checker's own in the user's cache folder, made on first use.
// 32-bit Wine runs natively where this machine runs 32-bit programs, else
// under the qemu-i386 emulation that emulation/setup-i386-wine.sh sets up.
#pragma once

#include "smoke.hpp"

#include <ostream>
#include <string>

namespace vantrell::check {

// What runs a module of `bits` here, or why nothing does.
struct WineSmoke {
    int bits = 0;
    std::string not_run;      // why it cannot run here (no Windows checker, no Wine), or empty
    std::string checker_name; // "aimodule-check-x64.exe"
    std::string checker;      // its path
    std::string loader;       // Wine's loader for programs of `bits`
};
WineSmoke find_wine_smoke(int bits);

// Runs the session; the first run of `bits` makes the Wine prefix and says
// so on `progress` first. The Windows checker's report is read back; the
// module's own output comes back as the outcome's module_output.
SmokeOutcome run_smoke_under_wine(const WineSmoke &wine, const std::string &module_path, int call_timeout_seconds,
                                  std::ostream &progress);

} // namespace vantrell::check
