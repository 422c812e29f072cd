// UTF-16 to UTF-8 for loaders that take narrow paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrell::loader {

// Appends the standard UTF-8 form of the units to `out` (a surrogate pair
// becomes one four-byte sequence). Returns false, leaving `out` unspecified,
// for an unpaired surrogate or a U+0000, neither of which a path can hold.
bool utf16_to_utf8(const std::uint16_t *units, std::size_t count, std::string &out);

} // namespace vantrell::loader
