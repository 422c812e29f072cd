// Windows module loader: LoadLibraryW with the path's UTF-16 units as they
// are, terminated.
#include "module_loader.hpp"

#include <windows.h>

#include <string>

namespace vantrell::platform {
namespace {

static_assert(sizeof(wchar_t) == sizeof(std::uint16_t), "Windows paths are UTF-16 units");

// Set when a path is refused before it reaches the loader, so last_error()
// can say why.
thread_local const char *refused_path_reason = nullptr;
// The loader's error code for the last failure, kept at once: any later
// system call may overwrite GetLastError().
thread_local DWORD failure_code = 0;

ModuleHandle fail_with(const char *reason) {
    refused_path_reason = reason;
    return nullptr;
}

std::string utf8_from(const wchar_t *text, int length) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], size, nullptr, nullptr);
    return utf8;
}

} // namespace

ModuleHandle load_module(const std::uint16_t *units, std::size_t count) noexcept {
    refused_path_reason = nullptr;
    failure_code = 0;
    // LoadLibraryW(L"") is not a file either.
    if (count == 0)
        return fail_with("the path is empty");
    std::wstring path;
    try {
        path.assign(units, units + count);
    } catch (...) { // out of memory: a failed load like any other
        return fail_with("out of memory copying the path");
    }
    // The loader would read only the part before it.
    if (path.find(L'\0') != std::wstring::npos)
        return fail_with("the path holds U+0000");
    // No "cannot load" dialog box for the host's user: the failure is the
    // host's to report.
    DWORD previous_mode = 0;
    BOOL mode_set = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_mode);
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module)
        failure_code = GetLastError();
    if (mode_set)
        SetThreadErrorMode(previous_mode, nullptr);
    return module;
}

ExportTable export_table(ModuleHandle module) noexcept { return ExportTable{module}; }

void *find_export(const ExportTable &table, const ExportName &name) noexcept {
    return table.module ? find_export(table.module, name.text) : nullptr;
}

void *find_export(ModuleHandle module, const char *name) noexcept {
    // GetProcAddress searches the module's own export table only.
    FARPROC address = GetProcAddress(static_cast<HMODULE>(module), name);
    if (!address)
        failure_code = GetLastError();
    return reinterpret_cast<void *>(address);
}

void unload_module(ModuleHandle module) noexcept { FreeLibrary(static_cast<HMODULE>(module)); }

std::string last_error() {
    if (refused_path_reason)
        return refused_path_reason;
    if (failure_code == 0)
        return "";
    wchar_t *text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, failure_code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string message = length ? utf8_from(text, static_cast<int>(length)) : std::string();
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    if (message.empty())
        message = "error";
    return message + " (error " + std::to_string(failure_code) + ")";
}

} // namespace vantrell::platform
