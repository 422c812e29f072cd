#include "utf16_to_utf8.hpp"

namespace vantrell::loader {
namespace {

bool is_high_surrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void append_code_point(std::uint32_t cp, std::string &out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

bool utf16_to_utf8(const std::uint16_t *units, std::size_t count, std::string &out) {
    out.reserve(out.size() + count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t unit = units[i];
        if (unit == 0 || is_low_surrogate(unit))
            return false;
        if (is_high_surrogate(unit)) {
            if (i + 1 == count || !is_low_surrogate(units[i + 1]))
                return false;
            std::uint32_t low = units[++i];
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        append_code_point(unit, out);
    }
    return true;
}

} // namespace vantrell::loader
