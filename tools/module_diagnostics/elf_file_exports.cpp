#include "elf_file_exports.hpp"

#include "elf_export_rule.hpp"
#include "export_name.hpp"

#include <optional>

namespace vantrell::diagnostics {
namespace {

constexpr std::uint64_t pt_load = 1, pt_dynamic = 2, pf_x = 1, pf_r = 4;
constexpr std::uint64_t dt_null = 0, dt_hash = 4, dt_strtab = 5, dt_symtab = 6, dt_strsz = 10, dt_syment = 11,
                        dt_gnu_hash = 0x6ffffef5, dt_versym = 0x6ffffff0;
constexpr std::uint64_t shn_abs = 0xfff1, stt_gnu_ifunc = 10;
// As many readable segments as the loader's lookup keeps.
constexpr std::size_t max_segments = 16;

// The module as the loader maps it, addressed by the file's own virtual
// addresses: its readable loaded segments, each zero past its file part.
// Whatever lies outside them reads as zero and is never `readable`.
class MappedImage {
public:
    MappedImage(const FileImage &file, bool elf64) : file_(file) {
        const std::uint64_t headers = elf64 ? file.u64(0x20) : file.u32(0x1C);
        const std::uint64_t entry_size = file.u16(elf64 ? 0x36 : 0x2A);
        const std::uint64_t count = file.u16(elf64 ? 0x38 : 0x2C);
        if (entry_size < (elf64 ? 56u : 32u))
            return;
        for (std::uint64_t i = 0; i < count && file.has(headers + i * entry_size, entry_size); ++i) {
            const std::uint64_t at = headers + i * entry_size;
            const std::uint64_t type = file.u32(at), flags = file.u32(at + (elf64 ? 4 : 24));
            const std::uint64_t offset = elf64 ? file.u64(at + 8) : file.u32(at + 4);
            const std::uint64_t address = elf64 ? file.u64(at + 16) : file.u32(at + 8);
            const std::uint64_t file_size = elf64 ? file.u64(at + 32) : file.u32(at + 16);
            const std::uint64_t memory_size = elf64 ? file.u64(at + 40) : file.u32(at + 20);
            if (type == pt_load && (flags & pf_r) && segments_.size() < max_segments)
                segments_.push_back({address, address + memory_size, offset, file_size, (flags & pf_x) != 0});
            else if (type == pt_dynamic) // the loader keeps the last one
                dynamic_ = Dynamic{address, memory_size};
        }
    }

    struct Dynamic {
        std::uint64_t address, size;
    };
    std::optional<Dynamic> dynamic() const { return dynamic_; }

    bool readable(std::uint64_t address, std::uint64_t size) const { return segment_of(address, size) != nullptr; }
    bool executable(std::uint64_t address) const {
        for (const Segment &segment : segments_)
            if (segment.executable && address >= segment.begin && address < segment.end)
                return true;
        return false;
    }
    // A little-endian value of `size` bytes, or 0 unless all of it is readable.
    std::uint64_t value(std::uint64_t address, unsigned size) const {
        const Segment *segment = segment_of(address, size);
        std::uint64_t value = 0;
        for (unsigned i = 0; segment && i < size; ++i) {
            const std::uint64_t offset = address - segment->begin + i;
            if (offset < segment->file_size)
                value |= file_.u8(segment->file_offset + offset) << (8 * i);
        }
        return value;
    }
    // A NUL-terminated string from `address`, ending before `limit`.
    std::optional<std::string> text(std::uint64_t address, std::uint64_t limit) const {
        std::string text;
        for (; address < limit && readable(address, 1); ++address) {
            const char c = static_cast<char>(value(address, 1));
            if (c == '\0')
                return text;
            text += c;
        }
        return std::nullopt;
    }

private:
    struct Segment {
        std::uint64_t begin, end, file_offset, file_size;
        bool executable;
    };
    // The loader's rule: the range lies in one segment.
    const Segment *segment_of(std::uint64_t address, std::uint64_t size) const {
        for (const Segment &segment : segments_)
            if (address >= segment.begin && address <= segment.end && size <= segment.end - address)
                return &segment;
        return nullptr;
    }

    const FileImage &file_;
    std::vector<Segment> segments_;
    std::optional<Dynamic> dynamic_;
};

// The dynamic symbols, their names and versions, and the hash table that
// bounds and indexes them, taken and searched as ElfExportTable takes and
// searches them in memory.
class Tables {
public:
    Tables(const MappedImage &image, bool elf64)
        : image_(image), elf64_(elf64), word_(elf64 ? 8 : 4), symbol_size_(elf64 ? 24 : 16) {
        usable_ = take();
    }

    template <class Visit> void for_each_exported(Visit visit) const {
        for (std::uint32_t i = 1; usable_ && i < count_; ++i)
            if (auto name = name_of(i); name && exported(i))
                visit(*name);
    }

    bool finds(const std::string &name) const {
        if (!usable_)
            return false;
        const loader::ExportName wanted = loader::export_name(name.c_str());
        std::optional<std::uint32_t> found, versioned;
        int versions = 0;
        // ElfExportTable::consider.
        auto consider = [&](std::uint32_t index) {
            if (!exported(index) || name_of(index) != name)
                return false;
            const std::uint64_t version = has_versions_ ? image_.value(versions_ + 2 * std::uint64_t(index), 2) : 0;
            if ((version & 0x7fff) < 2)
                return found = index, true;
            if (!(version & 0x8000) && versions++ == 0)
                versioned = index;
            return false;
        };
        if (gnu_) {
            const std::uint64_t bits = 8 * word_, hash = wanted.gnu_hash;
            const std::uint64_t word = image_.value(bloom_ + word_ * ((hash / bits) & (bloom_words_ - 1)), word_);
            const std::uint64_t mask = std::uint64_t(1) << (hash % bits) | std::uint64_t(1)
                                                                               << ((hash >> (shift_ % bits)) % bits);
            if ((word & mask) != mask)
                return false;
            const std::uint32_t start = word32(buckets_ + 4 * (hash % bucket_count_));
            for (std::uint32_t index = start; start != 0 && index >= first_ && index < count_; ++index) {
                const std::uint32_t chain_hash = word32(chain_ + 4 * std::uint64_t(index - first_));
                if (((chain_hash ^ wanted.gnu_hash) >> 1) == 0 && consider(index))
                    break;
                if (chain_hash & 1)
                    break;
            }
        } else {
            std::uint32_t steps = 0;
            for (std::uint32_t index = word32(buckets_ + 4 * (wanted.sysv_hash % bucket_count_));
                 index != 0 && index < count_ && steps++ < count_; index = word32(chain_ + 4 * std::uint64_t(index)))
                if (consider(index))
                    break;
        }
        if (!found && versions == 1)
            found = versioned;
        return found && has_address(*found);
    }

private:
    std::uint32_t word32(std::uint64_t address) const { return static_cast<std::uint32_t>(image_.value(address, 4)); }
    std::uint64_t symbol(std::uint32_t index) const { return symbols_ + symbol_size_ * std::uint64_t(index); }
    std::uint64_t info(std::uint32_t index) const { return image_.value(symbol(index) + (elf64_ ? 4 : 12), 1); }
    std::uint64_t section(std::uint32_t index) const { return image_.value(symbol(index) + (elf64_ ? 6 : 14), 2); }
    std::uint64_t address(std::uint32_t index) const { return image_.value(symbol(index) + (elf64_ ? 8 : 4), word_); }

    bool exported(std::uint32_t index) const {
        return loader::is_exported_elf_definition(static_cast<unsigned>(info(index) & 15),
                                                  static_cast<unsigned>(info(index) >> 4),
                                                  static_cast<std::uint32_t>(section(index)), address(index));
    }
    std::optional<std::string> name_of(std::uint32_t index) const {
        const std::uint64_t offset = word32(symbol(index));
        if (offset >= strings_size_)
            return std::nullopt;
        return image_.text(strings_ + offset, strings_ + strings_size_);
    }
    // ElfExportTable::address_of: an absolute symbol at 0 is a null address;
    // an indirect function's resolver must be the module's own code (what it
    // answers is known only by running it, which the file cannot tell).
    bool has_address(std::uint32_t index) const {
        if ((info(index) & 15) == stt_gnu_ifunc)
            return image_.executable(address(index));
        return section(index) != shn_abs || address(index) != 0;
    }

    bool take() {
        const auto dynamic = image_.dynamic();
        if (!dynamic)
            return false;
        const std::uint64_t entry_size = 2 * word_;
        bool symbols = false, strings = false, gnu = false, sysv = false;
        std::uint64_t symbol_size = 0, gnu_table = 0, sysv_table = 0;
        for (std::uint64_t entry = dynamic->address;
             entry - dynamic->address < dynamic->size && dynamic->size - (entry - dynamic->address) >= entry_size &&
             image_.readable(entry, entry_size);
             entry += entry_size) {
            const std::uint64_t tag = image_.value(entry, word_), value = image_.value(entry + word_, word_);
            if (tag == dt_null)
                break;
            switch (tag) {
            case dt_symtab: symbols = true, symbols_ = value; break;
            case dt_strtab: strings = true, strings_ = value; break;
            case dt_versym: has_versions_ = true, versions_ = value; break;
            case dt_gnu_hash: gnu = true, gnu_table = value; break;
            case dt_hash: sysv = true, sysv_table = value; break;
            case dt_strsz: strings_size_ = value; break;
            case dt_syment: symbol_size = value; break;
            default: break;
            }
        }
        if (!symbols || symbol_size != symbol_size_ || !strings || !image_.readable(strings_, strings_size_))
            return false;
        // A GNU table, when there is one, is the only one searched.
        gnu_ = gnu;
        if (!(gnu ? take_gnu_hash(gnu_table) : sysv && take_sysv_hash(sysv_table)))
            return false;
        if (!image_.readable(symbols_, symbol_size_ * std::uint64_t(count_)))
            return false;
        return !has_versions_ || image_.readable(versions_, 2 * std::uint64_t(count_));
    }

    bool take_gnu_hash(std::uint64_t table) {
        if (!image_.readable(table, 16))
            return false;
        bucket_count_ = word32(table);
        first_ = word32(table + 4);
        bloom_words_ = word32(table + 8);
        shift_ = word32(table + 12);
        if (bucket_count_ == 0 || bloom_words_ == 0)
            return false;
        bloom_ = table + 16;
        buckets_ = bloom_ + word_ * std::uint64_t(bloom_words_);
        if (!image_.readable(bloom_, word_ * std::uint64_t(bloom_words_)) ||
            !image_.readable(buckets_, 4 * std::uint64_t(bucket_count_)))
            return false;
        chain_ = buckets_ + 4 * std::uint64_t(bucket_count_);
        std::uint32_t last = 0;
        for (std::uint32_t i = 0; i < bucket_count_; ++i)
            last = std::max(last, word32(buckets_ + 4 * std::uint64_t(i)));
        count_ = first_;
        if (last < first_)
            return true;
        for (;; ++last) {
            const std::uint64_t link = chain_ + 4 * std::uint64_t(last - first_);
            if (last == UINT32_MAX || !image_.readable(link, 4))
                return false;
            if (word32(link) & 1)
                break;
        }
        count_ = last + 1;
        return image_.readable(chain_, 4 * std::uint64_t(count_ - first_));
    }

    bool take_sysv_hash(std::uint64_t table) {
        if (!image_.readable(table, 8))
            return false;
        bucket_count_ = word32(table);
        count_ = word32(table + 4);
        buckets_ = table + 8;
        chain_ = buckets_ + 4 * std::uint64_t(bucket_count_);
        return bucket_count_ != 0 && image_.readable(buckets_, 4 * (std::uint64_t(bucket_count_) + count_));
    }

    const MappedImage &image_;
    const bool elf64_;
    const unsigned word_, symbol_size_;
    bool usable_ = false, gnu_ = false, has_versions_ = false;
    std::uint64_t symbols_ = 0, strings_ = 0, strings_size_ = 0, versions_ = 0;
    std::uint32_t count_ = 0, bucket_count_ = 0, first_ = 0, bloom_words_ = 0, shift_ = 0;
    std::uint64_t bloom_ = 0, buckets_ = 0, chain_ = 0;
};

} // namespace

ElfFileExports read_elf_exports(const FileImage &file, bool elf64) {
    const MappedImage image(file, elf64);
    const Tables tables(image, elf64);
    ElfFileExports exports;
    tables.for_each_exported([&](const std::string &name) {
        exports.exported.push_back(name);
        if (tables.finds(name))
            exports.found.push_back(name);
    });
    return exports;
}

} // namespace vantrell::diagnostics
