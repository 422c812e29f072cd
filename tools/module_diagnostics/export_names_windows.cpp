// Export names of a loaded Windows module, read from the export directory
// of its image in memory: the table GetProcAddress searches.
#include "module_diagnostics.hpp"

#include <windows.h>

namespace vantrell::diagnostics {

std::vector<std::string> export_names(ModuleHandle module) {
    std::vector<std::string> names;
    if (!module)
        return names;
    auto base = static_cast<const unsigned char *>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.VirtualAddress == 0 || directory.Size == 0)
        return names;
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + directory.VirtualAddress);
    auto name_rvas = reinterpret_cast<const DWORD *>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.emplace_back(reinterpret_cast<const char *>(base + name_rvas[i]));
    return names;
}

} // namespace vantrell::diagnostics
