// What the tools read from a module's file without loading it, on any
// machine: whether it is a Windows DLL (PE) or an ELF shared library, for
// which processor, the names it exports and which of them a lookup by name
// finds, the libraries it imports and whether it carries a copy of GCC's
// C++ runtime of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrell::diagnostics {

struct ModuleFile {
    enum Format { pe, elf } format = pe;
    std::string machine;  // "32-bit x86", "x86_64", "machine 183"
    int bits = 0;         // 32 or 64
    bool library = false; // a DLL or a shared object, not a program
    // Every name of the export table, in its order (ELF: the exported
    // definitions among the dynamic symbols, as export_names() lists them).
    std::vector<std::string> exports;
    // Those the bridge's lookup finds by their exact name once the module is
    // loaded, by the loader's own rules (ELF: the hash table, hidden
    // versions left out; PE: GetProcAddress's search).
    std::vector<std::string> found_by_name;
    std::vector<std::string> imported_libraries;
    bool carries_gcc_cxx_runtime = false;
    bool catches_own_end_game_exceptions = false; // built by add_ai_module for Windows
    bool registers_own_unwind_tables = false;     // built by add_ai_module for 32-bit Windows

    std::string kind() const; // "64-bit Windows DLL (x64)", "ELF shared library (x86_64)"
    bool finds(const std::string &name) const;
};

// The facts of the file at `path` (UTF-8), or nothing when it is neither a
// PE nor an ELF file. Every offset read from the file is checked against
// its size.
std::optional<ModuleFile> read_module_file(const std::string &path);

// Whether this program could load the file: the same format and processor.
bool loadable_here(const ModuleFile &file);

// What this program is built for, in the words of ModuleFile: its machine
// ("x86_64", "x64", ...), its bits, and the kind() of module it loads.
std::string this_process_machine();
int this_process_bits();
std::string this_process_kind();

// What an author must hear about the module's runtime before it ships.
std::vector<std::string> runtime_warnings(const ModuleFile &file);

} // namespace vantrell::diagnostics
