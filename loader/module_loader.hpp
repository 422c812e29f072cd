// The module loader: load a library by path, find an export by its exact
// name in the library's own export table, unload it. One implementation per
// platform; nothing outside this component knows which. It keeps no state
// of its own: what a failed load says goes to the caller who asks.
#pragma once

#include "export_name.hpp"
#if !defined(_WIN32)
#include "elf_export_table.hpp"
#endif

#include <cstddef>
#include <cstdint>

namespace vantrell::loader {

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

// Why a load failed, for callers that explain it (the tools); the bridge
// passes none.
struct LoadFailure {
    const char *refusal = nullptr;        // the path never reached the loader, and why
    const char *loader_message = nullptr; // POSIX: the loader's words, valid until its next call
    unsigned long code = 0;               // Windows: the loader's error code
};

// Loads the library whose path is the `count` UTF-16 units at `units` (not
// terminated). Returns null when the path cannot name a file (an embedded
// U+0000, an unpaired surrogate on a platform with UTF-8 paths, an empty
// path) or when the loader refuses it; then fills `failure` when given.
ModuleHandle load_module(const std::uint16_t *units, std::size_t count, LoadFailure *failure = nullptr) noexcept;

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

} // namespace vantrell::loader
