// Loading by a UTF-8 path: decoded to the UTF-16 units the loader layer
// takes from the host, so every platform loads it exactly as the bridge does.
#include "module_loader.hpp"

namespace vantrell::platform {
namespace {

constexpr char16_t replacement = 0xFFFD;

// The code point starting at text[i], advancing i; U+FFFD for a malformed,
// overlong or truncated sequence, or a surrogate.
char32_t next_code_point(const std::string &text, std::size_t &i) {
    const unsigned char lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80)
        return lead;
    const int length = lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0)
        return replacement;
    char32_t cp = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        if (i == text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            return replacement;
        cp = (cp << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < smallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return replacement;
    return cp;
}

} // namespace

ModuleHandle load_module(const std::string &utf8_path) {
    std::u16string units;
    for (std::size_t i = 0; i < utf8_path.size();) {
        char32_t cp = next_code_point(utf8_path, i);
        if (cp >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(cp);
        }
    }
    return load_module(reinterpret_cast<const std::uint16_t *>(units.data()), units.size());
}

} // namespace vantrell::platform
