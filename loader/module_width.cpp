#include "module_width.hpp"

#include <cstdio>
#include <string>

#if defined(_WIN32)
#include <cwchar>
#else
#include "utf16_to_utf8.hpp"
#endif

namespace vantrell::loader {
namespace {

std::uint32_t little_endian(const unsigned char *bytes, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

} // namespace

int x86_bits_of_header(const unsigned char *bytes, std::size_t size) noexcept {
    // ELF: the class at 4, the machine at 18 (EM_386 3, EM_X86_64 62).
    if (size >= 20 && bytes[0] == 0x7F && bytes[1] == 'E' && bytes[2] == 'L' && bytes[3] == 'F') {
        const std::uint32_t machine = little_endian(bytes + 18, 2);
        if (bytes[4] == 1 && machine == 3)
            return 32;
        if (bytes[4] == 2 && machine == 62)
            return 64;
        return 0;
    }
    // PE: "MZ", the PE header's offset at 0x3C, its machine 4 bytes in
    // (IMAGE_FILE_MACHINE_I386 0x14C, IMAGE_FILE_MACHINE_AMD64 0x8664).
    if (size >= 0x40 && bytes[0] == 'M' && bytes[1] == 'Z') {
        const std::uint32_t pe = little_endian(bytes + 0x3C, 4);
        if (pe > size - 6 || bytes[pe] != 'P' || bytes[pe + 1] != 'E' || bytes[pe + 2] || bytes[pe + 3])
            return 0;
        const std::uint32_t machine = little_endian(bytes + pe + 4, 2);
        return machine == 0x14C ? 32 : machine == 0x8664 ? 64 : 0;
    }
    return 0;
}

int x86_module_bits(const std::uint16_t *units, std::size_t count) noexcept {
    std::FILE *file = nullptr;
    try {
#if defined(_WIN32)
        std::wstring path(units, units + count);
        if (path.find(L'\0') != std::wstring::npos)
            return 0;
        file = _wfopen(path.c_str(), L"rb");
#else
        std::string path;
        if (!utf16_to_utf8(units, count, path))
            return 0;
        file = std::fopen(path.c_str(), "rb");
#endif
    } catch (...) {
        return 0;
    }
    if (!file)
        return 0;
    unsigned char header[4096];
    const std::size_t size = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    return x86_bits_of_header(header, size);
}

} // namespace vantrell::loader
