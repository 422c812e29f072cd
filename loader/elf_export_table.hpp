// A loaded ELF module's own export table: its dynamic symbols, their names
// and versions, and the hash table the loader searches (GNU or SysV), found
// once from the module's dynamic section, each table's extent checked
// against the module's mapped segments. A lookup then reads only the
// module's own tables, as GetProcAddress reads only a DLL's: a bucket, a
// short chain and one string compare, with no lock, no allocation and no
// error text. A malformed table gives "not found", never a read outside
// the mapped image.
#pragma once

#include "export_name.hpp"

#include <link.h>

#include <cstdint>

namespace vantrell::loader {

class ElfExportTable {
public:
    // The tables of the module `map` describes; an empty table, which finds
    // nothing, when they are missing or malformed.
    static ElfExportTable of(const struct link_map *map) noexcept;

    // The address of the defined, exported (global, weak or unique) function,
    // object or untyped label named exactly `name`, by the loader's rules:
    // a GNU hash table, when there is one, is the only one searched; for
    // versioned names, an unversioned definition or one in the base version
    // is taken at once, otherwise the one definition not hidden, if there is
    // exactly one. An indirect function's resolver is called for its
    // address, as the loader does. Null when there is none.
    void *find(const ExportName &name) const noexcept;

    // Every dynamic symbol but the first with its name, for tools; symbols
    // whose name lies outside the string table are left out.
    template <class Visit> void for_each_symbol(Visit visit) const {
        for (std::uint32_t i = 1; i < symbol_count_; ++i)
            if (const char *text = name_of(symbols_[i]))
                visit(text, symbols_[i]);
    }

private:
    struct Segment {
        std::uintptr_t begin = 0, end = 0;
        bool executable = false;
    };
    static constexpr int max_segments = 16;

    bool readable(const void *start, std::uint64_t size) const noexcept;
    bool executable(std::uintptr_t address) const noexcept;
    bool take_gnu_hash(const std::uint32_t *table) noexcept;
    bool take_sysv_hash(const std::uint32_t *table) noexcept;
    const char *name_of(const ElfW(Sym) & symbol) const noexcept;
    void *address_of(const ElfW(Sym) & symbol) const noexcept;

    // The version rule's state over one chain.
    struct Candidates {
        const ElfW(Sym) *versioned = nullptr;
        int versions = 0;
    };
    const ElfW(Sym) * consider(std::uint32_t index, const ExportName &name, Candidates &candidates) const noexcept;

    std::uintptr_t bias_ = 0;
    Segment segments_[max_segments];
    int segment_count_ = 0;

    const ElfW(Sym) *symbols_ = nullptr;
    std::uint32_t symbol_count_ = 0;
    const char *strings_ = nullptr;
    std::uint64_t strings_size_ = 0;
    const std::uint16_t *versions_ = nullptr;

    // GNU hash table, when the module has one (preferred, as by the loader).
    const ElfW(Addr) *bloom_ = nullptr;
    std::uint32_t bloom_mask_ = 0, bloom_shift_ = 0;
    const std::uint32_t *gnu_buckets_ = nullptr;
    std::uint32_t gnu_bucket_count_ = 0, gnu_first_symbol_ = 0;
    const std::uint32_t *gnu_chain_ = nullptr;

    // SysV hash table otherwise.
    const std::uint32_t *sysv_buckets_ = nullptr;
    std::uint32_t sysv_bucket_count_ = 0;
    const std::uint32_t *sysv_chain_ = nullptr;
};

} // namespace vantrell::loader
