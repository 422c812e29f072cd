// Export names of a loaded ELF module, read from its dynamic symbol table
// in memory: the table the loader itself searches.
#include "module_diagnostics.hpp"

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
        int binding = ELF64_ST_BIND(symbol.st_info);
        int type = ELF64_ST_TYPE(symbol.st_info);
        int visibility = ELF64_ST_VISIBILITY(symbol.st_other);
        if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK) ||
            (type != STT_FUNC && type != STT_OBJECT && type != STT_GNU_IFUNC && type != STT_NOTYPE) ||
            (visibility != STV_DEFAULT && visibility != STV_PROTECTED))
            return;
        names.emplace_back(name);
    });
    return names;
}

} // namespace vantrell::diagnostics

#include <filesystem>
#include <fstream>

namespace vantrell::diagnostics {
namespace {

#if defined(__x86_64__)
constexpr unsigned this_machine = EM_X86_64;
constexpr const char *this_machine_name = "x86_64";
#elif defined(__i386__)
constexpr unsigned this_machine = EM_386;
constexpr const char *this_machine_name = "32-bit x86";
#elif defined(__aarch64__)
constexpr unsigned this_machine = EM_AARCH64;
constexpr const char *this_machine_name = "arm64";
#else
constexpr unsigned this_machine = EM_NONE;
constexpr const char *this_machine_name = "this machine";
#endif

std::string machine_name(unsigned machine, unsigned char elf_class) {
    switch (machine) {
    case EM_X86_64: return "x86_64";
    case EM_386: return "32-bit x86";
    case EM_AARCH64: return "arm64";
    case EM_ARM: return "32-bit arm";
    default: return "machine " + std::to_string(machine) + (elf_class == ELFCLASS32 ? " (32-bit)" : " (64-bit)");
    }
}

} // namespace

std::string likely_load_failure_cause(const std::string &path, const std::string &loader_error) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return "the path names a directory, not a library";
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return "there is no readable file at this path";
    unsigned char header[20] = {};
    file.read(reinterpret_cast<char *>(header), sizeof header);
    if (file.gcount() < static_cast<std::streamsize>(sizeof header) || header[0] != 0x7F || header[1] != 'E' ||
        header[2] != 'L' || header[3] != 'F')
        return "the file is not a shared library of this platform (no ELF header)";
    unsigned machine = header[18] | (header[19] << 8);
    unsigned char elf_class = header[EI_CLASS];
    unsigned char this_class = sizeof(void *) == 8 ? ELFCLASS64 : ELFCLASS32;
    if (machine != this_machine || elf_class != this_class)
        return "the module is built for " + machine_name(machine, elf_class) + ", but this process is " +
               this_machine_name + ": rebuild it for " + this_machine_name;
    if (loader_error.find("cannot open shared object file") != std::string::npos &&
        loader_error.compare(0, path.size(), path) != 0)
        return "a library the module depends on is missing: " + loader_error.substr(0, loader_error.find(':'));
    if (loader_error.find("undefined symbol") != std::string::npos)
        return "the module needs a symbol that no library loaded with it provides";
    return "the loader refused the module for the reason it gives";
}

} // namespace vantrell::diagnostics
