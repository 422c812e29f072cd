// What aimodule-check reads from a Windows module's file without loading
// it, on any machine: the machine it is built for, the DLLs it imports and
// whether it carries a copy of GCC's C++ runtime of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace aimodule_check {

struct PeFacts {
    std::uint16_t machine = 0; // IMAGE_FILE_MACHINE_*: 0x14c x86, 0x8664 x64
    std::vector<std::string> imported_dlls;
    bool carries_gcc_cxx_runtime = false;
};

constexpr std::uint16_t pe_machine_x86 = 0x14c;
constexpr std::uint16_t pe_machine_x64 = 0x8664;

// The facts of the PE file at `path` (UTF-8), or nothing when it is not a
// PE file. Every offset read from the file is checked against its size.
std::optional<PeFacts> read_pe_facts(const std::string &path);

// What an author must hear about the module's runtime before it ships.
std::vector<std::string> runtime_warnings(const PeFacts &facts);

} // namespace aimodule_check
