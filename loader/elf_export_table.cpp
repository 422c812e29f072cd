#include "elf_export_table.hpp"

#include "elf_export_rule.hpp"

#include <elf.h>

#include <cstring>

namespace vantrell::loader {
namespace {

constexpr unsigned bloom_word_bits = sizeof(ElfW(Addr)) * 8;

// What the module's program headers say: its loaded segments and whether
// its dynamic section is writable, which tells whether the loader has
// already added the load address to the table addresses in it.
struct Layout {
    const struct link_map *map;
    const ElfW(Phdr) *headers = nullptr;
    ElfW(Half) header_count = 0;
    const ElfW(Dyn) *dynamic_end = nullptr;
    bool dynamic_writable = false;
    bool found = false;
};

// The object whose dynamic section is the one the link map names.
int find_layout(struct dl_phdr_info *info, std::size_t, void *data) {
    auto *layout = static_cast<Layout *>(data);
    if (info->dlpi_addr != layout->map->l_addr)
        return 0;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr) &header = info->dlpi_phdr[i];
        if (header.p_type == PT_DYNAMIC &&
            info->dlpi_addr + header.p_vaddr == reinterpret_cast<std::uintptr_t>(layout->map->l_ld)) {
            layout->headers = info->dlpi_phdr;
            layout->header_count = info->dlpi_phnum;
            layout->dynamic_end = layout->map->l_ld + header.p_memsz / sizeof(ElfW(Dyn));
            layout->dynamic_writable = (header.p_flags & PF_W) != 0;
            layout->found = true;
            return 1;
        }
    }
    return 0;
}

// The same bits in 32-bit and 64-bit ELF.
unsigned type_of(const ElfW(Sym) & symbol) { return ELF64_ST_TYPE(symbol.st_info); }
unsigned binding_of(const ElfW(Sym) & symbol) { return ELF64_ST_BIND(symbol.st_info); }

bool is_exported_definition(const ElfW(Sym) & symbol) {
    return is_exported_elf_definition(type_of(symbol), binding_of(symbol), symbol.st_shndx, symbol.st_value);
}

} // namespace

ElfExportTable ElfExportTable::of(const struct link_map *map) noexcept {
    ElfExportTable table;
    if (!map || !map->l_ld)
        return table;
    Layout layout{map};
    dl_iterate_phdr(find_layout, &layout);
    if (!layout.found)
        return table;
    table.bias_ = map->l_addr;
    for (ElfW(Half) i = 0; i < layout.header_count && table.segment_count_ < max_segments; ++i) {
        const ElfW(Phdr) &header = layout.headers[i];
        if (header.p_type == PT_LOAD && (header.p_flags & PF_R))
            table.segments_[table.segment_count_++] = {table.bias_ + header.p_vaddr,
                                                       table.bias_ + header.p_vaddr + header.p_memsz,
                                                       (header.p_flags & PF_X) != 0};
    }

    // The loader adds the load address to these entries in place when the
    // dynamic section is writable; otherwise they are offsets from it.
    const bool relocated = table.bias_ != 0 && layout.dynamic_writable;
    auto address = [&](ElfW(Addr) value) {
        return reinterpret_cast<const void *>(relocated ? value : table.bias_ + value);
    };
    const void *symbols = nullptr, *strings = nullptr, *versions = nullptr;
    const void *gnu_hash = nullptr, *sysv_hash = nullptr;
    std::uint64_t strings_size = 0, symbol_size = 0;
    for (const ElfW(Dyn) *entry = map->l_ld;
         entry < layout.dynamic_end && table.readable(entry, sizeof *entry) && entry->d_tag != DT_NULL; ++entry) {
        switch (entry->d_tag) {
        case DT_SYMTAB: symbols = address(entry->d_un.d_ptr); break;
        case DT_STRTAB: strings = address(entry->d_un.d_ptr); break;
        case DT_VERSYM: versions = address(entry->d_un.d_ptr); break;
        case DT_GNU_HASH: gnu_hash = address(entry->d_un.d_ptr); break;
        case DT_HASH: sysv_hash = address(entry->d_un.d_ptr); break;
        case DT_STRSZ: strings_size = entry->d_un.d_val; break;
        case DT_SYMENT: symbol_size = entry->d_un.d_val; break;
        default: break;
        }
    }
    if (!symbols || symbol_size != sizeof(ElfW(Sym)) || !strings || !table.readable(strings, strings_size))
        return ElfExportTable();
    table.symbols_ = static_cast<const ElfW(Sym) *>(symbols);
    table.strings_ = static_cast<const char *>(strings);
    table.strings_size_ = strings_size;
    // As for the loader, a GNU table is the only one searched when there is
    // one, whatever it holds.
    const bool taken = gnu_hash ? table.take_gnu_hash(static_cast<const std::uint32_t *>(gnu_hash))
                                : table.take_sysv_hash(static_cast<const std::uint32_t *>(sysv_hash));
    if (!taken)
        return ElfExportTable();
    if (!table.readable(table.symbols_, std::uint64_t(table.symbol_count_) * sizeof(ElfW(Sym))))
        return ElfExportTable();
    if (versions && table.readable(versions, std::uint64_t(table.symbol_count_) * sizeof(std::uint16_t)))
        table.versions_ = static_cast<const std::uint16_t *>(versions);
    else if (versions)
        return ElfExportTable();
    return table;
}

bool ElfExportTable::readable(const void *start, std::uint64_t size) const noexcept {
    const auto begin = reinterpret_cast<std::uintptr_t>(start);
    for (int i = 0; i < segment_count_; ++i)
        if (begin >= segments_[i].begin && begin <= segments_[i].end && size <= segments_[i].end - begin)
            return true;
    return false;
}

bool ElfExportTable::executable(std::uintptr_t address) const noexcept {
    for (int i = 0; i < segment_count_; ++i)
        if (segments_[i].executable && address >= segments_[i].begin && address < segments_[i].end)
            return true;
    return false;
}

// nbuckets, first hashed symbol, Bloom filter words, Bloom shift; the
// filter; the buckets; one chain word per hashed symbol, bit 0 ending a
// chain. The table says how many symbols there are only through the end of
// the chain of its highest bucket. Refused (nothing found, as the loader
// finds nothing in a table of no buckets) unless the filter, the buckets
// and the whole chain lie in one mapped segment each.
bool ElfExportTable::take_gnu_hash(const std::uint32_t *table) noexcept {
    if (!table || !readable(table, 16))
        return false;
    const std::uint32_t bucket_count = table[0], first = table[1], bloom_words = table[2], shift = table[3];
    if (bucket_count == 0 || bloom_words == 0)
        return false;
    auto bloom = reinterpret_cast<const ElfW(Addr) *>(table + 4);
    auto buckets = reinterpret_cast<const std::uint32_t *>(bloom + bloom_words);
    if (!readable(bloom, std::uint64_t(bloom_words) * sizeof(ElfW(Addr))) ||
        !readable(buckets, std::uint64_t(bucket_count) * 4))
        return false;
    const std::uint32_t *chain = buckets + bucket_count;
    std::uint32_t last = 0;
    for (std::uint32_t i = 0; i < bucket_count; ++i)
        last = buckets[i] > last ? buckets[i] : last;
    std::uint32_t count = first;
    if (last >= first) {
        for (;; ++last) {
            if (last == UINT32_MAX || !readable(chain + (last - first), 4))
                return false;
            if (chain[last - first] & 1)
                break;
        }
        count = last + 1;
        // Any bucket's chain starts anywhere from the first hashed symbol on.
        if (!readable(chain, std::uint64_t(count - first) * 4))
            return false;
    }
    bloom_ = bloom;
    // The loader masks the filter's index by its size less one, which stays
    // inside the filter whatever the size.
    bloom_mask_ = bloom_words - 1;
    bloom_shift_ = shift;
    gnu_buckets_ = buckets;
    gnu_bucket_count_ = bucket_count;
    gnu_first_symbol_ = first;
    gnu_chain_ = chain;
    symbol_count_ = count;
    return true;
}

// nbucket, nchain; the buckets; the chain, one word per symbol.
bool ElfExportTable::take_sysv_hash(const std::uint32_t *table) noexcept {
    if (!table || !readable(table, 8))
        return false;
    const std::uint32_t bucket_count = table[0], count = table[1];
    if (bucket_count == 0 || !readable(table + 2, (std::uint64_t(bucket_count) + count) * 4))
        return false;
    sysv_buckets_ = table + 2;
    sysv_bucket_count_ = bucket_count;
    sysv_chain_ = table + 2 + bucket_count;
    symbol_count_ = count;
    return true;
}

const char *ElfExportTable::name_of(const ElfW(Sym) & symbol) const noexcept {
    if (symbol.st_name >= strings_size_)
        return nullptr;
    const char *text = strings_ + symbol.st_name;
    return std::memchr(text, '\0', strings_size_ - symbol.st_name) ? text : nullptr;
}

void *ElfExportTable::address_of(const ElfW(Sym) & symbol) const noexcept {
    const std::uintptr_t address = (symbol.st_shndx == SHN_ABS ? 0 : bias_) + symbol.st_value;
    if (type_of(symbol) != STT_GNU_IFUNC)
        return reinterpret_cast<void *>(address);
    // The resolver picks the implementation; only code of the module's own
    // is called.
    if (!executable(address))
        return nullptr;
    return reinterpret_cast<void *(*)()>(address)();
}

const ElfW(Sym) * ElfExportTable::consider(std::uint32_t index, const ExportName &name,
                                           Candidates &candidates) const noexcept {
    const ElfW(Sym) &symbol = symbols_[index];
    if (!is_exported_definition(symbol) || symbol.st_name >= strings_size_ ||
        strings_size_ - symbol.st_name <= name.length ||
        std::memcmp(strings_ + symbol.st_name, name.text, name.length + 1) != 0)
        return nullptr;
    // Version 0 is local, 1 the base version: no choice to make.
    if (!versions_ || (versions_[index] & 0x7fff) < 2)
        return &symbol;
    if (!(versions_[index] & 0x8000) && candidates.versions++ == 0)
        candidates.versioned = &symbol;
    return nullptr;
}

void *ElfExportTable::find(const ExportName &name) const noexcept {
    Candidates candidates;
    const ElfW(Sym) *found = nullptr;
    if (gnu_chain_) {
        const std::uint32_t hash = name.gnu_hash;
        const ElfW(Addr) word = bloom_[(hash / bloom_word_bits) & bloom_mask_];
        // The loader shifts the hash as a word of the filter's width, by the
        // count the processor takes (modulo that width) for any shift.
        const ElfW(Addr) shifted = ElfW(Addr)(hash) >> (bloom_shift_ % bloom_word_bits);
        const ElfW(Addr) bits = ElfW(Addr)(1) << (hash % bloom_word_bits) | ElfW(Addr)(1)
                                                                                << (shifted % bloom_word_bits);
        if ((word & bits) != bits)
            return nullptr;
        // Bucket 0 is empty, even where hashed symbols start at 0.
        const std::uint32_t start = gnu_buckets_[hash % gnu_bucket_count_];
        for (std::uint32_t index = start; start != 0 && index >= gnu_first_symbol_ && index < symbol_count_; ++index) {
            const std::uint32_t chain_hash = gnu_chain_[index - gnu_first_symbol_];
            if (((chain_hash ^ hash) >> 1) == 0 && (found = consider(index, name, candidates)))
                break;
            if (chain_hash & 1)
                break;
        }
    } else if (sysv_chain_) {
        // At most one visit per symbol, whatever a malformed chain says.
        std::uint32_t steps = 0;
        for (std::uint32_t index = sysv_buckets_[name.sysv_hash % sysv_bucket_count_];
             index != STN_UNDEF && index < symbol_count_ && steps++ < symbol_count_; index = sysv_chain_[index])
            if ((found = consider(index, name, candidates)))
                break;
    }
    if (!found && candidates.versions == 1)
        found = candidates.versioned;
    return found ? address_of(*found) : nullptr;
}

} // namespace vantrell::loader
