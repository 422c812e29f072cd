// elf-export-names: gives the exports of a linked ELF shared object their
// decorated names.
//
// ELF linkers read '@' in a symbol name as a version, so AI modules are
// compiled with a same-length placeholder, '$' in place of '@'
// ("_abortGame$4"). This tool rewrites those names in place in the string
// tables ("_abortGame@4") and rebuilds the SysV hash table, through which the
// dynamic loader finds a symbol by name. Nothing moves and no size changes,
// so every other part of the file stays valid.
//
//   elf-export-names [-v] <file.so>
//
// The file is replaced atomically (temporary file in the same directory,
// then rename) and only when something changed, so a second run is a no-op.

#include "export_name.hpp"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Fields are read with plain loads, which is only right on a little-endian
// host; the accepted files are all little-endian.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "needs a little-endian host");

class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void refuse(const std::string &why) { throw Refusal(why); }

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

// Bounds-checked access to the file image: a malformed file is refused,
// never read or written past its end.
class Image {
public:
    explicit Image(std::vector<unsigned char> &data) : data_(data) {}

    void require(uint64_t offset, uint64_t length, const std::string &what) const {
        if (offset > data_.size() || length > data_.size() - offset)
            refuse(what + " lies outside the file");
    }

    template <typename T> T load(uint64_t offset, const std::string &what) const {
        require(offset, sizeof(T), what);
        T value;
        std::memcpy(&value, data_.data() + offset, sizeof value);
        return value;
    }

    template <typename T> void store(uint64_t offset, const T &value) {
        require(offset, sizeof(T), "hash table word");
        std::memcpy(data_.data() + offset, &value, sizeof value);
    }

    unsigned char *at(uint64_t offset) { return data_.data() + offset; }
    const unsigned char *at(uint64_t offset) const { return data_.data() + offset; }

private:
    std::vector<unsigned char> &data_;
};

struct Elf32Types {
    using Ehdr = Elf32_Ehdr;
    using Phdr = Elf32_Phdr;
    using Shdr = Elf32_Shdr;
    using Sym = Elf32_Sym;
    using Dyn = Elf32_Dyn;
    using Verdef = Elf32_Verdef;
    using Verdaux = Elf32_Verdaux;
    using Verneed = Elf32_Verneed;
    using Vernaux = Elf32_Vernaux;
    static constexpr bool is64 = false;
};

struct Elf64Types {
    using Ehdr = Elf64_Ehdr;
    using Phdr = Elf64_Phdr;
    using Shdr = Elf64_Shdr;
    using Sym = Elf64_Sym;
    using Dyn = Elf64_Dyn;
    using Verdef = Elf64_Verdef;
    using Verdaux = Elf64_Verdaux;
    using Verneed = Elf64_Verneed;
    using Vernaux = Elf64_Vernaux;
    static constexpr bool is64 = true;
};

enum class RefKind { DynamicSymbol, Symbol, Other };

// One use of a string table offset: a symbol's st_name, a DT_NEEDED value, a
// version name, a section name.
struct Reference {
    uint64_t offset;
    RefKind kind;
    std::string owner;
};

struct StringTable {
    std::string name;
    uint64_t file_offset = 0;
    uint64_t size = 0;
    std::vector<Reference> references;
};

struct Counts {
    unsigned dynamic = 0;
    unsigned other = 0;
};

bool is_ascii_letter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_ascii_digit(unsigned char c) { return c >= '0' && c <= '9'; }

// For a name of the form <C identifier>$<decimal digits>, the index of its
// '$'; otherwise npos. The contract's names all start with '_'; any
// identifier is accepted so that deliberately misnamed test modules
// ("abortGame@4") can be built the same way.
size_t placeholder_dollar(const unsigned char *name, size_t length) {
    constexpr size_t npos = static_cast<size_t>(-1);
    if (length < 3 || !(is_ascii_letter(name[0]) || name[0] == '_'))
        return npos;
    size_t i = 1;
    while (i < length && (is_ascii_letter(name[i]) || is_ascii_digit(name[i]) || name[i] == '_'))
        ++i;
    if (i + 1 >= length || name[i] != '$')
        return npos;
    const size_t dollar = i;
    for (++i; i < length; ++i)
        if (!is_ascii_digit(name[i]))
            return npos;
    return dollar;
}

std::string quoted(const unsigned char *text, size_t length) {
    return "\"" + std::string(reinterpret_cast<const char *>(text), length) + "\"";
}

// Replaces '$' by '@' in every placeholder named by a symbol of the table.
// Linkers store a string that is the tail of another only once, so a name may
// be shared with other references: renaming is refused when a reference that
// is not itself a renamed symbol name shares bytes with a renamed name.
// Returns nothing, changes nothing, when it refuses.
void rename_placeholders(Image &image, const StringTable &table, Counts &counts) {
    unsigned char *base = image.at(table.file_offset);
    struct Use {
        uint64_t end; // offset of the terminating NUL
        size_t dollar;
    };
    std::vector<Use> uses;
    uses.reserve(table.references.size());
    std::map<uint64_t, uint64_t> renamed_by_end; // NUL offset -> start of a renamed name
    for (const Reference &ref : table.references) {
        if (ref.offset >= table.size)
            refuse(ref.owner + " names offset " + hex(ref.offset) + ", outside " + table.name);
        const void *nul = std::memchr(base + ref.offset, 0, table.size - ref.offset);
        if (nul == nullptr)
            refuse(ref.owner + " names a string that runs past the end of " + table.name);
        const uint64_t end = static_cast<const unsigned char *>(nul) - base;
        size_t dollar = static_cast<size_t>(-1);
        if (ref.kind != RefKind::Other)
            dollar = placeholder_dollar(base + ref.offset, end - ref.offset);
        uses.push_back(Use{end, dollar});
        if (dollar != static_cast<size_t>(-1))
            renamed_by_end.emplace(end, ref.offset);
    }
    for (size_t i = 0; i < uses.size(); ++i) {
        const Reference &ref = table.references[i];
        if (uses[i].dollar != static_cast<size_t>(-1) || uses[i].end == ref.offset)
            continue;
        const auto shared = renamed_by_end.find(uses[i].end);
        if (shared == renamed_by_end.end())
            continue;
        refuse(ref.owner + " (" + quoted(base + ref.offset, uses[i].end - ref.offset) + ") shares its bytes in " +
               table.name + " with the placeholder " + quoted(base + shared->second, uses[i].end - shared->second) +
               " (the linker merged string tails); renaming the placeholder would change it too");
    }
    for (size_t i = 0; i < uses.size(); ++i) {
        if (uses[i].dollar == static_cast<size_t>(-1))
            continue;
        base[table.references[i].offset + uses[i].dollar] = '@';
        if (table.references[i].kind == RefKind::DynamicSymbol)
            ++counts.dynamic;
        else
            ++counts.other;
    }
}

template <typename E> class Rewriter {
public:
    explicit Rewriter(Image &image) : image_(image) {}

    Counts run() {
        const auto header = image_.load<typename E::Ehdr>(0, "ELF header");
        if (header.e_type != ET_DYN)
            refuse("not a shared object (ELF type " + std::to_string(header.e_type) + ")");
        if (E::is64 && header.e_machine != EM_X86_64)
            refuse("64-bit ELF for machine " + std::to_string(header.e_machine) + "; only x86_64 is supported");
        read_sections(header);
        read_segments(header);
        read_dynamic();

        for (const auto &section : sections_)
            if (section.sh_type == SHT_GNU_HASH)
                gnu_hash_ = true;
        if (gnu_hash_)
            refuse("has a GNU hash table (DT_GNU_HASH), which cannot be rebuilt without reordering "
                   "the dynamic symbols; link with -Wl,--hash-style=sysv");
        if (tags_.count(DT_HASH) == 0)
            refuse("has no SysV hash table (DT_HASH); link with -Wl,--hash-style=sysv");

        collect_dynamic_references();
        collect_section_references();

        Counts counts;
        for (auto &entry : tables_)
            rename_placeholders(image_, entry.second, counts);
        if (counts.dynamic > 0)
            rebuild_hash();
        return counts;
    }

private:
    using Sym = typename E::Sym;

    void read_sections(const typename E::Ehdr &header) {
        if (header.e_shoff == 0)
            return;
        if (header.e_shentsize != sizeof(typename E::Shdr))
            refuse("unexpected section header size");
        uint64_t count = header.e_shnum;
        uint64_t names = header.e_shstrndx;
        const auto first = image_.load<typename E::Shdr>(header.e_shoff, "section header 0");
        if (count == 0)
            count = first.sh_size; // more sections than e_shnum can hold
        if (names == SHN_XINDEX)
            names = first.sh_link;
        image_.require(header.e_shoff, count * sizeof(typename E::Shdr), "section header table");
        for (uint64_t i = 0; i < count; ++i)
            sections_.push_back(
                image_.load<typename E::Shdr>(header.e_shoff + i * sizeof(typename E::Shdr), "section header"));
        section_names_ = names < count ? static_cast<int64_t>(names) : -1;
    }

    void read_segments(const typename E::Ehdr &header) {
        if (header.e_phnum == 0)
            refuse("has no program headers; not a linked shared object");
        if (header.e_phentsize != sizeof(typename E::Phdr))
            refuse("unexpected program header size");
        bool dynamic = false;
        for (uint64_t i = 0; i < header.e_phnum; ++i) {
            const auto segment =
                image_.load<typename E::Phdr>(header.e_phoff + i * sizeof(typename E::Phdr), "program header");
            if (segment.p_type == PT_LOAD)
                loads_.push_back(segment);
            if (segment.p_type == PT_DYNAMIC && !dynamic) {
                dynamic = true;
                dynamic_ = segment;
            }
        }
        if (!dynamic)
            refuse("has no dynamic section; not a shared library");
    }

    void read_dynamic() {
        image_.require(dynamic_.p_offset, dynamic_.p_filesz, "dynamic section");
        const uint64_t end = dynamic_.p_offset + dynamic_.p_filesz;
        for (uint64_t at = dynamic_.p_offset; end - at >= sizeof(typename E::Dyn); at += sizeof(typename E::Dyn)) {
            const auto entry = image_.load<typename E::Dyn>(at, "dynamic entry");
            const int64_t tag = entry.d_tag;
            const uint64_t value = entry.d_un.d_val;
            if (tag == DT_NULL)
                break;
            if (const char *name = string_tag_name(tag))
                string_tags_.push_back(Reference{value, RefKind::Other, name});
            else
                tags_.emplace(tag, value);
            if (tag == DT_GNU_HASH)
                gnu_hash_ = true;
        }
    }

    // Dynamic tags whose value is an offset into the dynamic string table.
    static const char *string_tag_name(int64_t tag) {
        switch (tag) {
        case DT_NEEDED: return "DT_NEEDED";
        case DT_SONAME: return "DT_SONAME";
        case DT_RPATH: return "DT_RPATH";
        case DT_RUNPATH: return "DT_RUNPATH";
        case DT_AUXILIARY: return "DT_AUXILIARY";
        case DT_FILTER: return "DT_FILTER";
        case DT_CONFIG: return "DT_CONFIG";
        case DT_DEPAUDIT: return "DT_DEPAUDIT";
        case DT_AUDIT: return "DT_AUDIT";
        default: return nullptr;
        }
    }

    uint64_t tag(int64_t which, const char *name) const {
        const auto found = tags_.find(which);
        if (found == tags_.end())
            refuse(std::string("has no ") + name + " dynamic entry");
        return found->second;
    }

    // File offset of [address, address + length) in the loaded image.
    uint64_t file_offset(uint64_t address, uint64_t length, const std::string &what) const {
        for (const auto &load : loads_) {
            if (address < load.p_vaddr)
                continue;
            const uint64_t into = address - load.p_vaddr;
            if (into >= load.p_filesz || length > load.p_filesz - into)
                continue;
            image_.require(load.p_offset + into, length, what);
            return load.p_offset + into;
        }
        refuse(what + " at address " + hex(address) + " is not in the file part of a loaded segment");
    }

    StringTable &table_at(uint64_t offset, uint64_t size, const std::string &name) {
        image_.require(offset, size, name);
        auto placed = tables_.try_emplace(offset);
        StringTable &table = placed.first->second;
        if (placed.second) {
            table.name = name;
            table.file_offset = offset;
            table.size = size;
        } else if (table.size != size) {
            refuse(name + " and " + table.name + " start at the same place with different sizes");
        }
        return table;
    }

    void collect_dynamic_references() {
        hash_offset_ = file_offset(tag(DT_HASH, "DT_HASH"), 8, "hash table");
        nbucket_ = image_.load<uint32_t>(hash_offset_, "hash table");
        nchain_ = image_.load<uint32_t>(hash_offset_ + 4, "hash table");
        if (nbucket_ == 0)
            refuse("hash table has no buckets");
        file_offset(tag(DT_HASH, "DT_HASH"), 8 + 4 * (uint64_t{nbucket_} + nchain_), "hash table");
        if (tags_.count(DT_SYMENT) != 0 && tags_.at(DT_SYMENT) != sizeof(Sym))
            refuse("unexpected dynamic symbol size (DT_SYMENT)");
        // The hash table has one chain entry per dynamic symbol: nchain is the
        // symbol count the loader works with.
        dynsym_offset_ =
            file_offset(tag(DT_SYMTAB, "DT_SYMTAB"), uint64_t{nchain_} * sizeof(Sym), "dynamic symbol table");
        const uint64_t strsz = tag(DT_STRSZ, "DT_STRSZ");
        dynstr_offset_ = file_offset(tag(DT_STRTAB, "DT_STRTAB"), strsz, "dynamic string table");
        StringTable &dynstr = table_at(dynstr_offset_, strsz, ".dynstr");

        for (uint32_t i = 0; i < nchain_; ++i) {
            const auto symbol = image_.load<Sym>(dynsym_offset_ + uint64_t{i} * sizeof(Sym), "dynamic symbol");
            dynstr.references.push_back(
                Reference{symbol.st_name, RefKind::DynamicSymbol, "dynamic symbol " + std::to_string(i)});
        }
        for (const Reference &ref : string_tags_)
            dynstr.references.push_back(ref);
        if (tags_.count(DT_VERDEF) != 0)
            walk_version_definitions(
                file_offset(tags_.at(DT_VERDEF), sizeof(typename E::Verdef), "version definitions"),
                tag(DT_VERDEFNUM, "DT_VERDEFNUM"), dynstr);
        if (tags_.count(DT_VERNEED) != 0)
            walk_version_needs(file_offset(tags_.at(DT_VERNEED), sizeof(typename E::Verneed), "version needs"),
                               tag(DT_VERNEEDNUM, "DT_VERNEEDNUM"), dynstr);
    }

    void walk_version_definitions(uint64_t at, uint64_t count, StringTable &table) {
        for (uint64_t n = 0; n < count; ++n) {
            const auto definition = image_.load<typename E::Verdef>(at, "version definition");
            uint64_t aux = at + definition.vd_aux;
            for (unsigned k = 0; k < definition.vd_cnt; ++k) {
                const auto name = image_.load<typename E::Verdaux>(aux, "version definition name");
                table.references.push_back(Reference{name.vda_name, RefKind::Other, "version definition"});
                if (name.vda_next == 0)
                    break;
                aux += name.vda_next;
            }
            if (definition.vd_next == 0)
                break;
            at += definition.vd_next;
        }
    }

    void walk_version_needs(uint64_t at, uint64_t count, StringTable &table) {
        for (uint64_t n = 0; n < count; ++n) {
            const auto need = image_.load<typename E::Verneed>(at, "version need");
            table.references.push_back(Reference{need.vn_file, RefKind::Other, "version need file"});
            uint64_t aux = at + need.vn_aux;
            for (unsigned k = 0; k < need.vn_cnt; ++k) {
                const auto name = image_.load<typename E::Vernaux>(aux, "version need name");
                table.references.push_back(Reference{name.vna_name, RefKind::Other, "version need"});
                if (name.vna_next == 0)
                    break;
                aux += name.vna_next;
            }
            if (need.vn_next == 0)
                break;
            at += need.vn_next;
        }
    }

    const typename E::Shdr &linked_strings(const typename E::Shdr &section, const std::string &what) const {
        if (section.sh_link >= sections_.size() || sections_[section.sh_link].sh_type != SHT_STRTAB)
            refuse(what + " does not link to a string table");
        return sections_[section.sh_link];
    }

    std::string section_name(const typename E::Shdr &section, const char *fallback) const {
        if (section_names_ < 0)
            return fallback;
        const auto &names = sections_[section_names_];
        if (section.sh_name >= names.sh_size || names.sh_type == SHT_NOBITS)
            return fallback;
        image_.require(names.sh_offset, names.sh_size, "section name table");
        const char *start = reinterpret_cast<const char *>(image_.at(names.sh_offset)) + section.sh_name;
        return std::string(start, strnlen(start, names.sh_size - section.sh_name));
    }

    // The section headers describe the same dynamic tables (checked to agree)
    // plus the static symbol table, whose names are renamed too so that
    // debuggers and nm show what the loader sees.
    void collect_section_references() {
        for (size_t index = 0; index < sections_.size(); ++index) {
            const auto &section = sections_[index];
            if (section.sh_type == SHT_DYNSYM) {
                const auto &strings = linked_strings(section, ".dynsym");
                if (section.sh_offset != dynsym_offset_ || section.sh_size != uint64_t{nchain_} * sizeof(Sym) ||
                    strings.sh_offset != dynstr_offset_)
                    refuse(".dynsym section disagrees with the dynamic entries (DT_SYMTAB, DT_HASH, DT_STRTAB)");
                table_at(strings.sh_offset, strings.sh_size, ".dynstr");
            } else if (section.sh_type == SHT_HASH && section.sh_offset != hash_offset_) {
                refuse(".hash section disagrees with DT_HASH");
            } else if (section.sh_type == SHT_GNU_verdef || section.sh_type == SHT_GNU_verneed) {
                const auto &strings = linked_strings(section, "version section");
                StringTable &table = table_at(strings.sh_offset, strings.sh_size, section_name(strings, ".dynstr"));
                if (section.sh_type == SHT_GNU_verdef)
                    walk_version_definitions(section.sh_offset, section.sh_info, table);
                else
                    walk_version_needs(section.sh_offset, section.sh_info, table);
            } else if (section.sh_type == SHT_SYMTAB) {
                const std::string name = section_name(section, ".symtab");
                if (section.sh_entsize != sizeof(Sym))
                    refuse("unexpected symbol size in " + name);
                const auto &strings = linked_strings(section, name);
                if (strings.sh_type == SHT_NOBITS)
                    continue;
                StringTable &table = table_at(strings.sh_offset, strings.sh_size, section_name(strings, ".strtab"));
                const uint64_t count = section.sh_size / sizeof(Sym);
                image_.require(section.sh_offset, count * sizeof(Sym), name);
                for (uint64_t i = 0; i < count; ++i) {
                    const auto symbol = image_.load<Sym>(section.sh_offset + i * sizeof(Sym), "symbol");
                    table.references.push_back(
                        Reference{symbol.st_name, RefKind::Symbol, "symbol " + std::to_string(i) + " of " + name});
                }
            }
        }
        // Section names normally have a table of their own; when they share
        // one with symbols they must be protected like any other reference.
        if (section_names_ >= 0) {
            const auto found = tables_.find(sections_[section_names_].sh_offset);
            if (found != tables_.end())
                for (size_t index = 0; index < sections_.size(); ++index)
                    found->second.references.push_back(Reference{sections_[index].sh_name, RefKind::Other,
                                                                 "name of section " + std::to_string(index)});
        }
    }

    // Standard SysV layout: nbucket, nchain, bucket[nbucket], chain[nchain].
    // Each symbol is pushed on the front of its bucket's chain.
    void rebuild_hash() {
        std::vector<uint32_t> buckets(nbucket_, 0);
        std::vector<uint32_t> chains(nchain_, 0);
        for (uint32_t i = 1; i < nchain_; ++i) {
            const auto symbol = image_.load<Sym>(dynsym_offset_ + uint64_t{i} * sizeof(Sym), "dynamic symbol");
            const uint32_t bucket = vantrell::loader::elf_sysv_hash(
                                        reinterpret_cast<const char *>(image_.at(dynstr_offset_ + symbol.st_name))) %
                                    nbucket_;
            chains[i] = buckets[bucket];
            buckets[bucket] = i;
        }
        uint64_t at = hash_offset_ + 8;
        for (uint32_t word : buckets)
            image_.store(at, word), at += 4;
        for (uint32_t word : chains)
            image_.store(at, word), at += 4;
    }

    Image &image_;
    std::vector<typename E::Shdr> sections_;
    int64_t section_names_ = -1;
    std::vector<typename E::Phdr> loads_;
    typename E::Phdr dynamic_{};
    std::map<int64_t, uint64_t> tags_;
    std::vector<Reference> string_tags_;
    bool gnu_hash_ = false;
    std::map<uint64_t, StringTable> tables_; // by file offset, so a table named twice is one
    uint64_t hash_offset_ = 0;
    uint32_t nbucket_ = 0;
    uint32_t nchain_ = 0;
    uint64_t dynsym_offset_ = 0;
    uint64_t dynstr_offset_ = 0;
};

Counts rewrite(std::vector<unsigned char> &data) {
    Image image(data);
    if (data.size() < EI_NIDENT || std::memcmp(data.data(), ELFMAG, SELFMAG) != 0)
        refuse("not an ELF file");
    if (data[EI_DATA] != ELFDATA2LSB)
        refuse("not a little-endian ELF file; only little-endian is supported");
    if (data[EI_VERSION] != EV_CURRENT)
        refuse("unknown ELF version");
    switch (data[EI_CLASS]) {
    case ELFCLASS32: return Rewriter<Elf32Types>(image).run();
    case ELFCLASS64: return Rewriter<Elf64Types>(image).run();
    default: refuse("unknown ELF class");
    }
}

std::string system_error(const std::string &what) { return what + ": " + std::strerror(errno); }

std::vector<unsigned char> read_file(const std::string &path, mode_t &mode) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        refuse(system_error("cannot open"));
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        refuse("not a regular file");
    }
    mode = info.st_mode & 07777;
    std::vector<unsigned char> data(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t got = ::read(fd, data.data() + done, data.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            const std::string why = got < 0 ? system_error("cannot read") : "file shrank while being read";
            ::close(fd);
            refuse(why);
        }
        done += static_cast<size_t>(got);
    }
    ::close(fd);
    return data;
}

void replace_file(const std::string &path, const std::vector<unsigned char> &data, mode_t mode) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = dir + "." + base + ".XXXXXX";
    const int fd = ::mkstemp(&temp[0]);
    if (fd < 0)
        refuse(system_error("cannot create a temporary file in the file's directory"));
    std::string failure;
    size_t done = 0;
    while (failure.empty() && done < data.size()) {
        const ssize_t put = ::write(fd, data.data() + done, data.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            failure = system_error("cannot write " + temp);
        else
            done += static_cast<size_t>(put);
    }
    if (failure.empty() && ::fchmod(fd, mode) != 0)
        failure = system_error("cannot set the mode of " + temp);
    if (failure.empty() && ::fsync(fd) != 0)
        failure = system_error("cannot flush " + temp);
    if (::close(fd) != 0 && failure.empty())
        failure = system_error("cannot close " + temp);
    if (failure.empty() && ::rename(temp.c_str(), path.c_str()) != 0)
        failure = system_error("cannot replace the file");
    if (!failure.empty()) {
        ::unlink(temp.c_str());
        refuse(failure);
    }
}

void usage(std::FILE *to) {
    std::fprintf(to, "usage: elf-export-names [-v] <file.so>\n"
                     "Renames the placeholder exports _<name>$<bytes> of an ELF shared object\n"
                     "to _<name>@<bytes> in place and rebuilds its SysV hash table.\n"
                     "  -v  print how many symbols were renamed\n");
}

} // namespace

int main(int argc, char **argv) {
    bool verbose = false;
    const char *path = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-v" || arg == "--verbose") {
            verbose = true;
        } else if (arg == "-h" || arg == "--help") {
            usage(stdout);
            return 0;
        } else if ((arg.size() > 1 && arg[0] == '-') || path != nullptr) {
            usage(stderr);
            return 2;
        } else {
            path = argv[i];
        }
    }
    if (path == nullptr) {
        usage(stderr);
        return 2;
    }
    try {
        // Rewrite the file a symbolic link points to, not the link.
        char resolved[PATH_MAX];
        if (::realpath(path, resolved) == nullptr)
            refuse(system_error("cannot resolve the path"));
        mode_t mode = 0;
        std::vector<unsigned char> data = read_file(resolved, mode);
        const std::vector<unsigned char> original = data;
        const Counts counts = rewrite(data);
        if (data != original)
            replace_file(resolved, data, mode);
        if (verbose)
            std::printf("elf-export-names: %s: renamed %u dynamic and %u static symbols\n", path, counts.dynamic,
                        counts.other);
    } catch (const Refusal &refusal) {
        std::fprintf(stderr, "elf-export-names: %s: %s\n", path, refusal.what());
        return 1;
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "elf-export-names: %s: out of memory\n", path);
        return 1;
    }
    return 0;
}
