// POSIX module loader: dlopen with the path converted to UTF-8; lookups in
// the module's own export table (elf_export_table.hpp).
#include "module_loader.hpp"
#include "refusal.hpp"
#include "utf16_to_utf8.hpp"

#include <dlfcn.h>
#include <link.h>

#include <string>

namespace vantrell::loader {

ModuleHandle load_module(const std::uint16_t *units, std::size_t count, LoadFailure *failure) noexcept {
    std::string path;
    try {
        if (!utf16_to_utf8(units, count, path))
            return refuse(failure, "the path holds U+0000 or an unpaired surrogate");
    } catch (...) { // out of memory: a failed load like any other
        return refuse(failure, "out of memory converting the path");
    }
    // dlopen("") hands back the main program, whose global scope would then
    // answer lookups meant for a module.
    if (path.empty())
        return refuse(failure, "the path is empty");
    // RTLD_NOW: a module with unresolved references fails here, as it would
    // under a loader that binds imports at load time, not mid-game.
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module && failure)
        failure->loader_message = dlerror();
    return module;
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

} // namespace vantrell::loader
