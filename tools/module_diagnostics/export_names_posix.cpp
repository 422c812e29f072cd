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
