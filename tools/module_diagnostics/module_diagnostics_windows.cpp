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

#include "module_file.hpp"

#include <filesystem>
#include <fstream>

namespace vantrell::diagnostics {

std::string likely_load_failure_cause(const std::string &path, const std::string &loader_error) {
    (void)loader_error;
    auto file_path = std::filesystem::u8path(path);
    std::error_code error;
    if (std::filesystem::is_directory(file_path, error))
        return "the path names a directory, not a library";
    if (!std::ifstream(file_path, std::ios::binary))
        return "there is no readable file at this path";
    const std::optional<ModuleFile> file = read_module_file(path);
    if (!file || file->format != ModuleFile::pe)
        return "the file is not a Windows library (no executable header)";
    const std::string here = this_process_machine();
    if (file->machine != here) {
        if (file->machine == "32-bit x86" || file->machine == "x64")
            return "the module is a " + std::to_string(file->bits) + "-bit DLL, but this process is " +
                   std::to_string(this_process_bits()) + "-bit: rebuild it for " + here;
        return "the module is built for " + file->machine + ", not " + here;
    }
    if (!file->library)
        return "the file is a program, not a DLL";
    return "a DLL the module depends on is missing, or the module's entry point refused to load";
}

} // namespace vantrell::diagnostics
