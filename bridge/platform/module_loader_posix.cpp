// POSIX module loader: dlopen with the path converted to UTF-8; lookups in
// the module's own export table (elf_export_table.hpp).
#include "module_loader.hpp"
#include "utf16_to_utf8.hpp"

#include <dlfcn.h>
#include <link.h>

namespace vantrell::platform {
namespace {

// Set when a path is refused before it reaches dlopen, so last_error() can
// say why; dlerror() knows nothing of those refusals.
thread_local const char *refused_path_reason = nullptr;

} // namespace

ModuleHandle load_module(const std::uint16_t *units, std::size_t count) noexcept {
    refused_path_reason = nullptr;
    std::string path;
    try {
        if (!utf16_to_utf8(units, count, path)) {
            refused_path_reason = "the path holds U+0000 or an unpaired surrogate";
            return nullptr;
        }
    } catch (...) { // out of memory: a failed load like any other
        refused_path_reason = "out of memory converting the path";
        return nullptr;
    }
    // dlopen("") hands back the main program, whose global scope would then
    // answer lookups meant for a module.
    if (path.empty()) {
        refused_path_reason = "the path is empty";
        return nullptr;
    }
    // RTLD_NOW: a module with unresolved references fails here, as it would
    // under a loader that binds imports at load time, not mid-game.
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

ExportTable export_table(ModuleHandle module) noexcept {
    struct link_map *map = nullptr;
    if (!module || dlinfo(module, RTLD_DI_LINKMAP, &map) != 0)
        return ExportTable();
    return ElfExportTable::of(map);
}

void *find_export(const ExportTable &table, const ExportName &name) noexcept { return table.find(name); }

void *find_export(ModuleHandle module, const char *name) noexcept {
    return name ? export_table(module).find(export_name(name)) : nullptr;
}

void unload_module(ModuleHandle module) noexcept { dlclose(module); }

std::string last_error() {
    if (refused_path_reason)
        return refused_path_reason;
    const char *text = dlerror();
    return text ? text : "";
}

} // namespace vantrell::platform
