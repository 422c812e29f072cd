// A smoke session the Linux checker cannot run itself, run by another
// checker of the SDK beside this program:
//  - a Windows module's, by the Windows checker for the module's bits
//    (aimodule-check-x86.exe or aimodule-check-x64.exe) under Wine, in a Wine
//    prefix of the checker's own in the user's cache folder, made on first
//    use. 32-bit Wine runs natively where this machine runs 32-bit
//    programs, else under the qemu-i386 emulation that
//    emulation/setup-i386-wine.sh sets up;
//  - a 32-bit Linux module's, by aimodule-check-i386, as a 64-bit host plays
//    it: in a 32-bit process; where that cannot start, why a host's companion
//    (vantrell-companion-i386) could not either.
#pragma once

#include "smoke.hpp"

#include <ostream>
#include <string>

namespace vantrell::check {

// What runs a module of `bits` here, or why nothing does.
struct OtherChecker {
    int bits = 0;
    std::string not_run;      // why it cannot run here (no such checker, no Wine), or empty
    std::string checker_name; // "aimodule-check-x64.exe", "aimodule-check-i386"
    std::string checker;      // its path
    std::string loader;       // Wine's loader for programs of `bits`; empty for a Linux checker
    std::string heading() const { return checker_name + (loader.empty() ? "" : " under Wine"); }
};
OtherChecker find_wine_smoke(int bits);
OtherChecker find_i386_smoke();

// Runs the session (in the sandbox, when `sandbox` asks for it: the paths
// it grants reach a Linux checker; Windows confines no reading); the first
// run of `bits` makes the Wine prefix and says so on `progress` first. The Windows checker's report is read back; the
// module's own output comes back as the outcome's module_output.
SmokeOutcome run_smoke_with(const OtherChecker &other, const std::string &module_path, int call_timeout_seconds,
                            const SessionSandbox &sandbox, std::ostream &progress);

} // namespace vantrell::check
