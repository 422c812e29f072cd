// The narrow layer between the bridge and the platform's module loader:
// load a library by path, find an export by its exact name, unload it.
// One implementation per platform; nothing outside this layer knows which.
#pragma once

#include "export_name.hpp"
#if !defined(_WIN32)
#include "elf_export_table.hpp"
#endif

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrell::platform {

using ModuleHandle = void *;

// Where a loaded module's own export table lies, read once after the load
// and kept beside its handle; it holds nothing about any function.
#if defined(_WIN32)
struct ExportTable {
    ModuleHandle module = nullptr;
};
#else
using ExportTable = ElfExportTable;
#endif

// Loads the library whose path is the `count` UTF-16 units at `units` (not
// terminated). Returns null when the path cannot name a file (an embedded
// U+0000, an unpaired surrogate on a platform with UTF-8 paths, an empty
// path) or when the loader refuses it.
ModuleHandle load_module(const std::uint16_t *units, std::size_t count) noexcept;

// The same for a UTF-8 path, as tools and tests name modules. Malformed
// UTF-8 becomes U+FFFD, so it names no file and fails in the loader.
ModuleHandle load_module(const std::string &utf8_path);

// The export table of a loaded module; one that finds nothing for null.
ExportTable export_table(ModuleHandle module) noexcept;

// The address of the export named exactly `name` in the module itself (not
// in a library it depends on), or null: looked up in the module's own
// export table on every call (GetProcAddress on Windows).
void *find_export(const ExportTable &table, const ExportName &name) noexcept;

// The same for tools, which name exports at run time; reads the table anew.
void *find_export(ModuleHandle module, const char *name) noexcept;

// Drops one load of the module; the loader unloads it with its last load.
void unload_module(ModuleHandle module) noexcept;

// The loader's own words for the most recent failure on this thread, or an
// explanation of why the path was refused before reaching the loader.
std::string last_error();

} // namespace vantrell::platform
