// What counts as an exported definition in an ELF module's dynamic symbol
// table: the dynamic loader's rule, less thread-local symbols, whose value
// is no address. Untyped symbols count (assemblers leave a label without a
// type unless told), as do common ones. Written with the ELF constants'
// values, so that code reading ELF files on any platform (no <elf.h>) uses
// the same rule as the loader.
#pragma once

#include <cstdint>

namespace vantrell::loader {

constexpr bool is_exported_elf_definition(unsigned type, unsigned binding, std::uint32_t section, std::uint64_t value) {
    // STT_NOTYPE, STT_OBJECT, STT_FUNC, STT_COMMON, STT_GNU_IFUNC.
    const bool typed = type == 0 || type == 1 || type == 2 || type == 5 || type == 10;
    // STB_GLOBAL, STB_WEAK, STB_GNU_UNIQUE.
    const bool bound = binding == 1 || binding == 2 || binding == 10;
    constexpr std::uint32_t undefined = 0, absolute = 0xfff1; // SHN_UNDEF, SHN_ABS
    return typed && bound && section != undefined && (value != 0 || section == absolute);
}

} // namespace vantrell::loader
