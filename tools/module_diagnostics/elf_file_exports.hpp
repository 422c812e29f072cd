// An ELF module's exports read from its file the way the loader reads them
// once the module is mapped: through the program headers and the dynamic
// section (the section headers, which a stripped file may lack, are never
// read), with the lookup rules of loader/elf_export_table.hpp, so that the
// checker can judge a module it must not load.
#pragma once

#include "file_image.hpp"

#include <string>
#include <vector>

namespace vantrell::diagnostics {

struct ElfFileExports {
    // Every exported definition among the dynamic symbols the hash table
    // covers, in the table's order: what export_names() lists for the
    // module once loaded.
    std::vector<std::string> exported;
    // Those a lookup by exact name finds (loader::find_export).
    std::vector<std::string> found;
};

// Little-endian files only, as the rest of module_file.cpp. Nothing for a
// file without a dynamic section, or with tables the loader's lookup would
// refuse (it then finds nothing either).
ElfFileExports read_elf_exports(const FileImage &image, bool elf64);

} // namespace vantrell::diagnostics
