// The x86 width a module file is built for, read from its header alone
// (ELF or PE), so that a caller can tell a module of the other width before
// the platform's loader refuses it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrell::loader {

// 32 or 64 for an ELF or PE file built for 32-bit x86 or x86_64; 0 for any
// other file, or one that cannot be read. The path is `count` UTF-16 units.
int x86_module_bits(const std::uint16_t *units, std::size_t count) noexcept;

// The same from the first `size` bytes of a file.
int x86_bits_of_header(const unsigned char *bytes, std::size_t size) noexcept;

} // namespace vantrell::loader
