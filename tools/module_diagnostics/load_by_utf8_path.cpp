// Loading by a UTF-8 path: decoded to the UTF-16 units the loader takes
// from the host, so every platform loads it exactly as the bridge does; the
// reason of a failure kept for last_error().
#include "module_diagnostics.hpp"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace vantrell::diagnostics {
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

thread_local std::string last_failure;

#if defined(_WIN32)
std::string utf8_from(const wchar_t *text, int length) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], size, nullptr, nullptr);
    return utf8;
}
#endif

// The loader's words for a failure, in the platform's terms.
std::string explain(const loader::LoadFailure &failure) {
    if (failure.refusal)
        return failure.refusal;
#if defined(_WIN32)
    if (failure.code == 0)
        return "";
    wchar_t *text = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(failure.code), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string message = length ? utf8_from(text, static_cast<int>(length)) : std::string();
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    if (message.empty())
        message = "error";
    return message + " (error " + std::to_string(failure.code) + ")";
#else
    return failure.loader_message ? failure.loader_message : "";
#endif
}

} // namespace

std::string last_error() { return last_failure; }

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
    loader::LoadFailure failure;
    ModuleHandle module =
        loader::load_module(reinterpret_cast<const std::uint16_t *>(units.data()), units.size(), &failure);
    last_failure = module ? std::string() : explain(failure);
    return module;
}

} // namespace vantrell::diagnostics
