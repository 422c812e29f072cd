#include "module_file.hpp"

#include "elf_file_exports.hpp"
#include "file_image.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace vantrell::diagnostics {
namespace {

constexpr std::uint16_t pe_machine_x86 = 0x14c;
constexpr std::uint16_t pe_machine_x64 = 0x8664;
constexpr std::uint16_t elf_machine_x86 = 3;
constexpr std::uint16_t elf_machine_arm = 40;
constexpr std::uint16_t elf_machine_x86_64 = 62;
constexpr std::uint16_t elf_machine_arm64 = 183;

std::optional<std::vector<unsigned char>> read_file(const std::string &path) {
    std::error_code error;
    const auto file_path = std::filesystem::u8path(path);
    if (!std::filesystem::is_regular_file(file_path, error))
        return std::nullopt;
    try {
        std::ifstream file(file_path, std::ios::binary);
        if (!file)
            return std::nullopt;
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {});
    } catch (const std::exception &) { // a read error, or no memory for the file
        return std::nullopt;
    }
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

struct Section {
    std::uint64_t address, size, file_offset;
};

// The file offset of a relative virtual address, or nothing outside every
// section's data.
std::optional<std::uint64_t> offset_of(const std::vector<Section> &sections, std::uint64_t rva) {
    for (const Section &section : sections)
        if (rva >= section.address && rva - section.address < section.size)
            return section.file_offset + (rva - section.address);
    return std::nullopt;
}

// The export directory's names, and those GetProcAddress finds: it
// searches the name table, which the linker sorts, by halves (a name out of
// order may be listed and never found), and takes the function of the
// name's ordinal, which must exist. A forwarded export counts as found:
// whether its target resolves is known only by loading the DLL it names.
void read_pe_exports(const FileImage &image, const std::vector<Section> &sections, std::uint64_t directory,
                     ModuleFile &file) {
    const auto exports = offset_of(sections, directory);
    if (!exports)
        return;
    const std::uint64_t function_count = image.u32(*exports + 20), name_count = image.u32(*exports + 24);
    const auto functions = offset_of(sections, image.u32(*exports + 28));
    const auto names = offset_of(sections, image.u32(*exports + 32));
    const auto ordinals = offset_of(sections, image.u32(*exports + 36));
    auto name_at = [&](std::uint64_t i) -> std::optional<std::string> {
        const auto offset =
            names && image.has(*names + 4 * i, 4) ? offset_of(sections, image.u32(*names + 4 * i)) : std::nullopt;
        return offset ? image.text(*offset) : std::nullopt;
    };
    auto found = [&](const std::string &name) {
        for (std::uint64_t low = 0, high = name_count; low < high;) {
            const std::uint64_t middle = low + (high - low) / 2;
            const int order = name_at(middle).value_or("").compare(name);
            if (order < 0) {
                low = middle + 1;
            } else if (order > 0) {
                high = middle;
            } else {
                const std::uint64_t ordinal =
                    ordinals && image.has(*ordinals + 2 * middle, 2) ? image.u16(*ordinals + 2 * middle) : UINT64_MAX;
                return ordinal < function_count && functions && image.u32(*functions + 4 * ordinal) != 0;
            }
        }
        return false;
    };
    for (std::uint64_t i = 0; names && i < name_count && image.has(*names + 4 * i, 4); ++i)
        if (auto name = name_at(i)) {
            file.exports.push_back(*name);
            if (found(*name))
                file.found_by_name.push_back(*name);
        }
}

std::optional<ModuleFile> read_pe(const FileImage &image) {
    const std::uint64_t pe = image.u32(0x3C);
    if (!image.has(pe, 24) || image.u32(pe) != 0x00004550) // "PE\0\0"
        return std::nullopt;
    ModuleFile file;
    file.format = ModuleFile::pe;
    const auto machine = static_cast<std::uint16_t>(image.u16(pe + 4));
    file.machine = machine == pe_machine_x86   ? "32-bit x86"
                   : machine == pe_machine_x64 ? "x64"
                                               : "machine " + std::to_string(machine);
    file.library = (image.u16(pe + 22) & 0x2000) != 0; // IMAGE_FILE_DLL
    const std::uint64_t optional_header = pe + 24;
    const bool pe32_plus = image.u16(optional_header) == 0x20B;
    file.bits = pe32_plus ? 64 : 32;
    const std::uint64_t section_table = optional_header + image.u16(pe + 20);
    std::vector<Section> sections;
    for (std::uint64_t i = 0, count = image.u16(pe + 6); i < count && image.has(section_table + 40 * i, 40); ++i) {
        const std::uint64_t entry = section_table + 40 * i;
        sections.push_back(
            {image.u32(entry + 12), std::max(image.u32(entry + 8), image.u32(entry + 16)), image.u32(entry + 20)});
    }
    // Data directories after 96 bytes of a PE32 optional header or 112 of a
    // PE32+ one: 0 exports, 1 imports.
    const std::uint64_t directories = optional_header + (pe32_plus ? 112 : 96);
    const std::uint64_t directory_count = image.u32(optional_header + (pe32_plus ? 108 : 92));
    if (directory_count > 0)
        read_pe_exports(image, sections, image.u32(directories), file);
    if (directory_count > 1) {
        if (auto imports = offset_of(sections, image.u32(directories + 8))) {
            // Descriptors of 20 bytes, the name's address at 12; a zeroed one ends them.
            for (std::uint64_t entry = *imports; image.has(entry, 20) && image.u32(entry + 12); entry += 20) {
                auto name_offset = offset_of(sections, image.u32(entry + 12));
                auto name = name_offset ? image.text(*name_offset) : std::nullopt;
                if (!name)
                    break;
                file.imported_libraries.push_back(*name);
            }
        }
    }
    return file;
}

std::optional<ModuleFile> read_elf(const FileImage &image) {
    const bool elf64 = image.u8(4) == 2;
    if (image.u8(5) != 1) // little-endian only: the targets this project builds for
        return std::nullopt;
    ModuleFile file;
    file.format = ModuleFile::elf;
    file.bits = elf64 ? 64 : 32;
    const auto machine = static_cast<std::uint16_t>(image.u16(18));
    file.machine = machine == elf_machine_x86_64  ? "x86_64"
                   : machine == elf_machine_x86   ? "32-bit x86"
                   : machine == elf_machine_arm64 ? "arm64"
                   : machine == elf_machine_arm   ? "32-bit arm"
                                                  : "machine " + std::to_string(machine);
    file.library = image.u16(16) == 3; // ET_DYN
    ElfFileExports exports = read_elf_exports(image, elf64);
    file.exports = std::move(exports.exported);
    file.found_by_name = std::move(exports.found);
    return file;
}

} // namespace

std::string ModuleFile::kind() const {
    if (format == pe)
        return std::to_string(bits) + "-bit Windows " + (library ? "DLL" : "program") + " (" + machine + ")";
    return std::string("ELF ") + (library ? "shared library" : "file") + " (" + machine + ")";
}

bool ModuleFile::finds(const std::string &name) const {
    return std::find(found_by_name.begin(), found_by_name.end(), name) != found_by_name.end();
}

std::optional<ModuleFile> read_module_file(const std::string &path) {
    auto bytes = read_file(path);
    if (!bytes)
        return std::nullopt;
    FileImage image(std::move(*bytes));
    std::optional<ModuleFile> file;
    if (image.u16(0) == 0x5A4D) // "MZ"
        file = read_pe(image);
    else if (image.u32(0) == 0x464C457F) // "\x7F" "ELF"
        file = read_elf(image);
    // The default terminate handler of GCC's C++ runtime: linked into the
    // module whenever it can throw and carries that runtime itself.
    if (file) {
        file->carries_gcc_cxx_runtime = image.contains("terminate called after throwing");
        // The mark of add_ai_module's catch around endGame.
        file->catches_own_end_game_exceptions = image.contains("ai_module: endGame catches its own exceptions");
        // The mark of add_ai_module's registration of a 32-bit module's
        // unwind tables with its own unwinder.
        file->registers_own_unwind_tables =
            image.contains("ai_module: registers its unwind tables with its own unwinder");
    }
    return file;
}

std::string this_process_machine() {
#if defined(_WIN64)
    return "x64";
#elif defined(__x86_64__)
    return "x86_64";
#elif defined(__i386__)
    return "32-bit x86";
#elif defined(__aarch64__)
    return "arm64";
#else
    return "this machine";
#endif
}

int this_process_bits() { return sizeof(void *) == 8 ? 64 : 32; }

std::string this_process_kind() {
    ModuleFile self;
#if defined(_WIN32)
    self.format = ModuleFile::pe;
#else
    self.format = ModuleFile::elf;
#endif
    self.machine = this_process_machine();
    self.bits = this_process_bits();
    self.library = true;
    return self.kind();
}

bool loadable_here(const ModuleFile &file) { return file.library && file.kind() == this_process_kind(); }

namespace {

// DLLs that every Windows has in its system folder, where a host's
// LoadLibraryW finds them.
bool provided_by_windows(const std::string &dll) {
    static const char *const system_dlls[] = {
        "kernel32.dll", "user32.dll",   "gdi32.dll",    "advapi32.dll", "shell32.dll",  "ole32.dll",
        "oleaut32.dll", "msvcrt.dll",   "ucrtbase.dll", "ntdll.dll",    "ws2_32.dll",   "winmm.dll",
        "shlwapi.dll",  "version.dll",  "bcrypt.dll",   "crypt32.dll",  "comctl32.dll", "comdlg32.dll",
        "imm32.dll",    "psapi.dll",    "dbghelp.dll",  "secur32.dll",  "userenv.dll",  "rpcrt4.dll",
        "setupapi.dll", "iphlpapi.dll", "winhttp.dll",  "wininet.dll",  "opengl32.dll", "uxtheme.dll",
    };
    const std::string name = lowercase(dll);
    if (name.rfind("api-ms-win-", 0) == 0 || name.rfind("ext-ms-win-", 0) == 0)
        return true;
    return std::any_of(std::begin(system_dlls), std::end(system_dlls),
                       [&](const char *system_dll) { return name == system_dll; });
}

} // namespace

std::vector<std::string> runtime_warnings(const ModuleFile &file) {
    std::vector<std::string> warnings;
    if (file.format != ModuleFile::pe)
        return warnings;
    for (const std::string &dll : file.imported_libraries)
        if (!provided_by_windows(dll))
            warnings.push_back("the module imports " + dll +
                               ", which Windows does not provide: a host's LoadLibraryW looks for it beside the "
                               "host's program, in the system folders, the working directory and on PATH, never "
                               "beside the module, so the load fails with error 126 wherever the host does not "
                               "happen to have it. Link it in (add_ai_module links GCC's and the C++ runtime "
                               "statically) or have the host's installation provide it.");
    const bool imports_libgcc =
        std::any_of(file.imported_libraries.begin(), file.imported_libraries.end(),
                    [](const std::string &dll) { return lowercase(dll).rfind("libgcc_s_", 0) == 0; });
    // On x86 a GCC exception unwinds through the tables of the libgcc that
    // threw it: with a private copy, the bridge's guard is never reached.
    if (file.bits == 32 && file.carries_gcc_cxx_runtime && !imports_libgcc && !file.catches_own_end_game_exceptions)
        warnings.push_back("this 32-bit module carries its own copy of GCC's exception runtime: a C++ exception "
                           "that leaves endGame will end the host instead of reaching the bridge's guard. Build "
                           "it with add_ai_module, whose exported endGame catches the module's own exceptions, or "
                           "catch every exception inside endGame.");
    // Its start-up code hands its unwind tables to libgcc_s_dw2-1.dll when
    // that is already in the process (the bridge's is), and its own
    // unwinder then finds none.
    if (file.bits == 32 && file.carries_gcc_cxx_runtime && !imports_libgcc && !file.registers_own_unwind_tables)
        warnings.push_back("this 32-bit module carries its own copy of GCC's exception runtime without giving it "
                           "its unwind tables: in a process that holds GCC's shared unwinder, libgcc_s_dw2-1.dll "
                           "(the 32-bit bridge brings it), every exception it throws, even one it catches "
                           "itself, ends the host. Build it with add_ai_module, which adds that registration "
                           "(ai_module_unwind_tables.cpp), or link it with -shared-libgcc.");
    return warnings;
}

} // namespace vantrell::diagnostics
