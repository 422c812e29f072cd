// Naming what the sandbox refuses (aimodule-check): the filter traps each
// refused call instead of answering it, and the handler here answers it as
// the sandbox would (EPERM) and writes down its name. Opening a file traps
// too; the handler opens it again through the gate, a system call the
// filter lets through, so that Landlock judges it as always and a refused
// opening (EACCES) is named with its path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrell::sandbox {

// The address the filter knows the gate's system call by.
std::uintptr_t gate_address();

// Installs the handler of trapped calls (SIGSYS) for this process.
void name_refusals_from_now_on();

// The refusals named since the last time this was asked.
std::vector<std::string> take_refusals();

} // namespace vantrell::sandbox
