// Export names of a loaded ELF module, read from its dynamic symbol table
// in memory: the table the loader itself searches.
#include "module_diagnostics.hpp"

#include "elf_export_rule.hpp"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstdint>

namespace vantrell::diagnostics {

std::vector<std::string> export_names(ModuleHandle module) {
    std::vector<std::string> names;
    if (!module)
        return names;
    loader::export_table(module).for_each_symbol([&](const char *name, const ElfW(Sym) & symbol) {
        if (loader::is_exported_elf_definition(ELF64_ST_TYPE(symbol.st_info), ELF64_ST_BIND(symbol.st_info),
                                               symbol.st_shndx, symbol.st_value))
            names.emplace_back(name);
    });
    return names;
}

} // namespace vantrell::diagnostics

#include "module_file.hpp"

#include <filesystem>
#include <fstream>

namespace vantrell::diagnostics {

std::string likely_load_failure_cause(const std::string &path, const std::string &loader_error) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return "the path names a directory, not a library";
    if (!std::ifstream(path, std::ios::binary))
        return "there is no readable file at this path";
    const std::optional<ModuleFile> file = read_module_file(path);
    if (!file || file->format != ModuleFile::elf)
        return "the file is not a shared library of this platform (no ELF header)";
    const std::string here = this_process_machine();
    if (file->machine != here || file->bits != this_process_bits())
        return "the module is built for " + file->machine + ", but this process is " + here + ": rebuild it for " +
               here;
    if (loader_error.find("cannot open shared object file") != std::string::npos &&
        loader_error.compare(0, path.size(), path) != 0)
        return "a library the module depends on is missing: " + loader_error.substr(0, loader_error.find(':'));
    if (loader_error.find("undefined symbol") != std::string::npos)
        return "the module needs a symbol that no library loaded with it provides";
    return "the loader refused the module for the reason it gives";
}

} // namespace vantrell::diagnostics
