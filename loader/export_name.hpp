// An export name with what a lookup needs ready: its length and its ELF
// hashes (SysV and GNU). The bridge's names are constants, so all of it is
// computed at compile time; the per-call work is then the table's own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrell::loader {

// The SysV ELF hash (DT_HASH).
constexpr std::uint32_t elf_sysv_hash(const char *name) {
    std::uint32_t h = 0;
    for (; *name; ++name) {
        h = (h << 4) + static_cast<unsigned char>(*name);
        const std::uint32_t high = h & 0xf0000000u;
        if (high)
            h ^= high >> 24;
        h &= ~high;
    }
    return h;
}

// The GNU hash (DT_GNU_HASH): h * 33 + c from 5381.
constexpr std::uint32_t elf_gnu_hash(const char *name) {
    std::uint32_t h = 5381;
    for (; *name; ++name)
        h = h * 33 + static_cast<unsigned char>(*name);
    return h;
}

constexpr std::size_t text_length(const char *text) {
    std::size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

struct ExportName {
    const char *text;
    std::size_t length;
    std::uint32_t sysv_hash;
    std::uint32_t gnu_hash;
};

constexpr ExportName export_name(const char *text) {
    return ExportName{text, text_length(text), elf_sysv_hash(text), elf_gnu_hash(text)};
}

} // namespace vantrell::loader
