// The loader layer's lookup in a module's own export table, judged against
// the loader itself: dlsym, restricted to what the module itself defines
// (the address must belong to the module, as GetProcAddress reads only a
// DLL's own table).
#include "module_diagnostics.hpp"
#include "module_loader.hpp"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using vantrell::loader::export_name;
using vantrell::loader::find_export;

// Heap calls of this thread's program, counted where the sanitizers do not
// own the allocator.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LOOKUP_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define LOOKUP_TEST_SANITIZED 1
#endif

#if !defined(LOOKUP_TEST_SANITIZED)
thread_local unsigned long heap_calls = 0;
extern "C" void *__libc_malloc(std::size_t);
extern "C" void *__libc_calloc(std::size_t, std::size_t);
extern "C" void *__libc_realloc(void *, std::size_t);
extern "C" void *malloc(std::size_t size) {
    ++heap_calls;
    return __libc_malloc(size);
}
extern "C" void *calloc(std::size_t count, std::size_t size) {
    ++heap_calls;
    return __libc_calloc(count, size);
}
extern "C" void *realloc(void *block, std::size_t size) {
    ++heap_calls;
    return __libc_realloc(block, size);
}
#endif

// The loader's own answer, restricted to the module's exports.
void *loader_answer(void *module, const char *name) {
    void *address = dlsym(module, name);
    struct link_map *module_map = nullptr, *owner_map = nullptr;
    Dl_info info;
    if (!address || dlinfo(module, RTLD_DI_LINKMAP, &module_map) != 0 ||
        dladdr1(address, &info, reinterpret_cast<void **>(&owner_map), RTLD_DL_LINKMAP) == 0 || owner_map != module_map)
        return nullptr;
    return address;
}

int call(void *function) { return reinterpret_cast<int (*)()>(function)(); }

class Lookup : public testing::TestWithParam<const char *> {
protected:
    void SetUp() override {
        module = vantrell::diagnostics::load_module(std::string(GetParam()));
        ASSERT_NE(module, nullptr) << vantrell::diagnostics::last_error();
        table = vantrell::loader::export_table(module);
    }
    void TearDown() override {
        if (module)
            vantrell::loader::unload_module(module);
    }
    void *find(const char *name) const { return find_export(table, export_name(name)); }

    vantrell::loader::ModuleHandle module = nullptr;
    vantrell::loader::ExportTable table;
};

INSTANTIATE_TEST_SUITE_P(HashTables, Lookup, testing::Values(LOOKUP_GNU_PATH, LOOKUP_SYSV_PATH, LOOKUP_BOTH_PATH),
                         [](const testing::TestParamInfo<const char *> &info) {
                             const std::string path = info.param;
                             return path.find("gnu") != std::string::npos    ? std::string("GnuOnly")
                                    : path.find("sysv") != std::string::npos ? std::string("SysvOnly")
                                                                             : std::string("Both");
                         });

TEST_P(Lookup, FindsFunctionsObjectsAndWeakDefinitionsAsTheLoaderDoes) {
    for (const char *name : {"exported_function", "exported_object", "weak_function", "calls_dependency"}) {
        void *address = find(name);
        EXPECT_NE(address, nullptr) << name;
        EXPECT_EQ(address, loader_answer(module, name)) << name;
    }
    EXPECT_EQ(call(find("exported_function")), 1);
    EXPECT_EQ(*static_cast<int *>(find("exported_object")), 2);
}

// Assembly modules export labels without a symbol type; the loader takes
// them, and so must the lookup.
TEST_P(Lookup, FindsAnUntypedExportAsTheLoaderDoes) {
    void *address = find("untyped_function");
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(address, loader_answer(module, "untyped_function"));
    EXPECT_EQ(call(address), 5);
}

TEST_P(Lookup, CallsTheResolverOfAnIndirectFunction) {
    void *address = find("ifunc_function");
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(address, loader_answer(module, "ifunc_function"));
    EXPECT_EQ(call(address), 4);
}

TEST_P(Lookup, TakesTheDefaultVersionAndRefusesAHiddenOne) {
    ASSERT_NE(find("versioned"), nullptr);
    EXPECT_EQ(call(find("versioned")), 20) << "the default version, VERS_2";
    EXPECT_EQ(find("versioned"), loader_answer(module, "versioned"));
    EXPECT_EQ(find("hidden_only"), nullptr) << "defined only in a hidden version";
    EXPECT_EQ(loader_answer(module, "hidden_only"), nullptr);
}

TEST_P(Lookup, RefusesWhatOnlyADependencyExports) {
    EXPECT_NE(dlsym(module, "dependency_only_function"), nullptr) << "in the loader's search scope";
    EXPECT_EQ(find("dependency_only_function"), nullptr);
}

TEST_P(Lookup, RefusesNearMissesAndNamesNotExported) {
    for (const char *name : {"exported_functio", "exported_function_", "Exported_function", "exported_function@VERS_2",
                             "versioned@VERS_1", "versioned_new", "ifunc_implementation", "", "_"})
        EXPECT_EQ(find(name), nullptr) << "\"" << name << "\"";
}

TEST_P(Lookup, AMissingNameAllocatesNothing) {
#if defined(LOOKUP_TEST_SANITIZED)
    GTEST_SKIP() << "the sanitizer's allocator cannot be counted here";
#else
    const unsigned long before = heap_calls;
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(find("setMoveTimeLimit"), nullptr);
    EXPECT_EQ(heap_calls, before);
    // The counter sees the loader's own way, which formats an error message.
    dlsym(module, "setMoveTimeLimit");
    EXPECT_GT(heap_calls, before) << "the heap counter counts nothing";
#endif
}

// A module file's bytes, to patch, with its headers at hand.
struct ModuleFile {
    explicit ModuleFile(const char *path) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        if (bytes.size() > sizeof header)
            std::memcpy(&header, bytes.data(), sizeof header);
    }
    template <class T> T read(std::uint64_t offset) const {
        T value;
        std::memcpy(&value, bytes.data() + offset, sizeof value);
        return value;
    }
    template <class T> void write(std::uint64_t offset, const T &value) {
        std::memcpy(bytes.data() + offset, &value, sizeof value);
    }
    // The first section of the type, or a zeroed one.
    Elf64_Shdr section(std::uint32_t type) const {
        for (int i = 0; i < header.e_shnum; ++i) {
            auto section = read<Elf64_Shdr>(header.e_shoff + i * sizeof(Elf64_Shdr));
            if (section.sh_type == type)
                return section;
        }
        return Elf64_Shdr{};
    }
    std::string save(const char *name) const {
        const std::string path = testing::TempDir() + name;
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::vector<char> bytes;
    Elf64_Ehdr header{};
};

// A SysV hash table whose chain claims to run past the module's image: the
// loader itself never reads that far, so the module loads and works, but the
// lookup cannot trust the table and finds nothing, reading nothing outside.
TEST(LookupOfAMalformedTable, FindsNothing) {
    ModuleFile file(LOOKUP_SYSV_PATH);
    const Elf64_Shdr hash = file.section(SHT_HASH);
    ASSERT_NE(hash.sh_offset, 0u) << "no SysV hash table";
    file.write(hash.sh_offset + 4, std::uint32_t{0x40000000});
    const std::string path = file.save("liblookup_malformed.so");

    auto module = vantrell::diagnostics::load_module(path);
    ASSERT_NE(module, nullptr) << vantrell::diagnostics::last_error();
    EXPECT_NE(dlsym(module, "exported_function"), nullptr) << "the loader does not read the chain's length";
    EXPECT_EQ(find_export(vantrell::loader::export_table(module), export_name("exported_function")), nullptr);
    vantrell::loader::unload_module(module);
    std::remove(path.c_str());
}

// A GNU hash table of two buckets whose highest bucket's chain lies in the
// executable segment, where it ends, while the other bucket's chain starts
// in the unmapped gap before it; the symbol table is pointed at a large
// zero-filled object so that it fits a mapped segment. The loader maps this
// module; the lookup must refuse the table rather than read the gap.
TEST(LookupOfAMalformedTable, RefusesAChainThatCrossesAnUnmappedGap) {
    ModuleFile file(LOOKUP_GAP_PATH);
    const Elf64_Shdr gnu_hash = file.section(SHT_GNU_HASH), dynamic = file.section(SHT_DYNAMIC),
                     bss = file.section(SHT_NOBITS);
    ASSERT_NE(gnu_hash.sh_offset, 0u);
    ASSERT_NE(dynamic.sh_offset, 0u);
    ASSERT_GE(bss.sh_size, 1u << 20);
    // The first loaded segment holds the table; the gap runs from its last
    // page to the executable segment.
    std::uint64_t first_end = 0, chain_end = 0;
    for (int i = 0; i < file.header.e_phnum; ++i) {
        auto segment = file.read<Elf64_Phdr>(file.header.e_phoff + i * sizeof(Elf64_Phdr));
        if (segment.p_type != PT_LOAD)
            continue;
        if (first_end == 0)
            first_end = (segment.p_vaddr + segment.p_memsz + 0xfff) & ~std::uint64_t(0xfff);
        else if ((segment.p_flags & PF_X) && chain_end == 0)
            // gap_module.c puts a word there that ends a chain.
            for (std::uint64_t at = segment.p_vaddr; at + 4 <= segment.p_vaddr + segment.p_memsz && !chain_end; at += 4)
                if (file.read<std::uint32_t>(segment.p_offset + (at - segment.p_vaddr)) & 1)
                    chain_end = at;
    }
    ASSERT_NE(chain_end, 0u) << "no word in the executable segment that ends a chain";
    ASSERT_GT(chain_end, first_end + 0x1000) << "no gap between the segments";
    ASSERT_EQ(gnu_hash.sh_offset, gnu_hash.sh_addr);

    const std::uint32_t first_hashed = file.read<std::uint32_t>(gnu_hash.sh_offset + 4);
    const std::uint32_t bloom_words = file.read<std::uint32_t>(gnu_hash.sh_offset + 8);
    const std::uint64_t buckets = gnu_hash.sh_addr + 16 + 8 * std::uint64_t(bloom_words), chain = buckets + 8;
    auto chain_index_at = [&](std::uint64_t address) {
        return static_cast<std::uint32_t>(first_hashed + (address - chain) / 4);
    };
    file.write(gnu_hash.sh_offset, std::uint32_t{2});
    for (std::uint32_t word = 0; word < bloom_words; ++word)
        file.write(gnu_hash.sh_offset + 16 + 8 * word, ~std::uint64_t{0});
    file.write(buckets, chain_index_at(first_end + 0x1000));
    file.write(buckets + 4, chain_index_at(chain_end));
    for (std::uint64_t entry = dynamic.sh_offset; entry < dynamic.sh_offset + dynamic.sh_size;
         entry += sizeof(Elf64_Dyn))
        if (file.read<Elf64_Dyn>(entry).d_tag == DT_SYMTAB)
            file.write(entry + offsetof(Elf64_Dyn, d_un), bss.sh_addr);
    const std::string path = file.save("liblookup_gap.so");

    auto module = vantrell::diagnostics::load_module(path);
    ASSERT_NE(module, nullptr) << vantrell::diagnostics::last_error();
    auto table = vantrell::loader::export_table(module);
    // Names of both buckets, the gap's (an even hash) among them.
    int gap_bucket_names = 0;
    for (const char *name : {"_createGame@0", "_endGame@8", "_getAIMove@4", "_terminate@0", "gap_module_function"}) {
        gap_bucket_names += export_name(name).gnu_hash % 2 == 0;
        EXPECT_EQ(find_export(table, export_name(name)), nullptr) << name;
    }
    EXPECT_GT(gap_bucket_names, 0) << "no name looked up in the gap's bucket";
    vantrell::loader::unload_module(module);
    std::remove(path.c_str());
}

// Every dynamic symbol of real libraries, and names close to them, looked up
// both ways. The one difference allowed: indirect functions whose resolver
// picks code outside the module (libc's time() in the vDSO), which the
// loader finds too, but whose address the ownership check refuses.
TEST(LookupAgreesWithTheLoader, OnEverySymbolOfRealLibrariesAndOnNamesNearThem) {
    std::mt19937 random(20261209);
    for (const char *path : {"libc.so.6", "libm.so.6", "libstdc++.so.6", "libgcc_s.so.1", VANTRELL_PATH, TARROWBY_PATH,
                             LOOKUP_GNU_PATH, LOOKUP_SYSV_PATH}) {
        auto module = vantrell::diagnostics::load_module(std::string(path));
        ASSERT_NE(module, nullptr) << path;
        auto table = vantrell::loader::export_table(module);
        std::set<std::string> names;
        // Every symbol name of the table, exported or not.
        table.for_each_symbol([&](const char *name, const ElfW(Sym) &) { names.insert(name); });
        ASSERT_FALSE(names.empty()) << path;
        std::vector<std::string> probes(names.begin(), names.end());
        for (const std::string &name : names) {
            std::string changed = name;
            changed[random() % changed.size()] ^= 1 + random() % 31;
            probes.push_back(changed);
            probes.push_back(name.substr(0, name.size() - 1));
            probes.push_back(name + "x");
        }
        int compared = 0, resolved_outside = 0;
        for (const std::string &name : probes) {
            void *ours = find_export(table, export_name(name.c_str()));
            void *theirs = loader_answer(module, name.c_str());
            ++compared;
            if (ours == theirs)
                continue;
            if (ours && !theirs && dlsym(module, name.c_str()) == ours) {
                ++resolved_outside;
                continue;
            }
            ADD_FAILURE() << path << ": \"" << name << "\": lookup " << ours << ", loader " << theirs;
        }
        std::cout << path << ": " << names.size() << " symbols, " << compared << " names compared, " << resolved_outside
                  << " indirect functions resolved outside the module" << std::endl;
        vantrell::loader::unload_module(module);
    }
}

} // namespace
