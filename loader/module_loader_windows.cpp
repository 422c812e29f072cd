// Windows module loader: LoadLibraryW with the path's UTF-16 units as they
// are, terminated; GetProcAddress, which reads only the module's own export
// table.
#include "module_loader.hpp"
#include "refusal.hpp"

#include <windows.h>

#include <string>

namespace vantrell::loader {

static_assert(sizeof(wchar_t) == sizeof(std::uint16_t), "Windows paths are UTF-16 units");

ModuleHandle load_module(const std::uint16_t *units, std::size_t count, LoadFailure *failure) noexcept {
    // LoadLibraryW(L"") is not a file either.
    if (count == 0)
        return refuse(failure, "the path is empty");
    std::wstring path;
    try {
        path.assign(units, units + count);
    } catch (...) { // out of memory: a failed load like any other
        return refuse(failure, "out of memory copying the path");
    }
    // The loader would read only the part before it.
    if (path.find(L'\0') != std::wstring::npos)
        return refuse(failure, "the path holds U+0000");
    // No "cannot load" dialog box for the host's user: the failure is the
    // host's to report.
    DWORD previous_mode = 0;
    BOOL mode_set = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_mode);
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module && failure)
        failure->code = GetLastError();
    if (mode_set)
        SetThreadErrorMode(previous_mode, nullptr);
    return module;
}

ExportTable export_table(ModuleHandle module) noexcept { return ExportTable{module}; }

void *find_export(const ExportTable &table, const ExportName &name) noexcept {
    return table.module ? find_export(table.module, name.text) : nullptr;
}

void *find_export(ModuleHandle module, const char *name) noexcept {
    if (!module || !name)
        return nullptr;
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void unload_module(ModuleHandle module) noexcept { FreeLibrary(static_cast<HMODULE>(module)); }

} // namespace vantrell::loader
