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

#include <cstdint>
#include <filesystem>
#include <fstream>

namespace vantrell::diagnostics {

std::string likely_load_failure_cause(const std::string &path, const std::string &loader_error) {
    (void)loader_error;
    auto file_path = std::filesystem::u8path(path);
    std::error_code error;
    if (std::filesystem::is_directory(file_path, error))
        return "the path names a directory, not a library";
    std::ifstream file(file_path, std::ios::binary);
    if (!file)
        return "there is no readable file at this path";
    unsigned char dos[64] = {};
    file.read(reinterpret_cast<char *>(dos), sizeof dos);
    if (file.gcount() < static_cast<std::streamsize>(sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return "the file is not a Windows library (no executable header)";
    std::uint32_t pe_offset = dos[0x3C] | (dos[0x3D] << 8) | (dos[0x3E] << 16) | (std::uint32_t(dos[0x3F]) << 24);
    unsigned char pe[24] = {};
    file.seekg(pe_offset);
    file.read(reinterpret_cast<char *>(pe), sizeof pe);
    if (file.gcount() < static_cast<std::streamsize>(sizeof pe) || pe[0] != 'P' || pe[1] != 'E' || pe[2] || pe[3])
        return "the file is not a Windows library (no PE header)";
    unsigned machine = pe[4] | (pe[5] << 8);
    unsigned characteristics = pe[22] | (pe[23] << 8);
#if defined(_WIN64)
    if (machine != IMAGE_FILE_MACHINE_AMD64)
        return machine == IMAGE_FILE_MACHINE_I386
                   ? "the module is a 32-bit DLL, but this process is 64-bit: rebuild it for x64"
                   : "the module is built for machine " + std::to_string(machine) + ", not x64";
#else
    if (machine != IMAGE_FILE_MACHINE_I386)
        return machine == IMAGE_FILE_MACHINE_AMD64
                   ? "the module is a 64-bit DLL, but this process is 32-bit: rebuild it for 32-bit x86"
                   : "the module is built for machine " + std::to_string(machine) + ", not 32-bit x86";
#endif
    if (!(characteristics & IMAGE_FILE_DLL))
        return "the file is a program, not a DLL";
    return "a DLL the module depends on is missing, or the module's entry point refused to load";
}

} // namespace vantrell::diagnostics
