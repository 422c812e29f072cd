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

// A SysV hash table whose chain claims to run past the module's image: the
// loader itself never reads that far, so the module loads and works, but the
// lookup cannot trust the table and finds nothing, reading nothing outside.
TEST(LookupOfAMalformedTable, FindsNothing) {
    std::ifstream in(LOOKUP_SYSV_PATH, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(bytes.size(), sizeof(Elf64_Ehdr));
    Elf64_Ehdr header;
    std::memcpy(&header, bytes.data(), sizeof header);
    bool patched = false;
    for (int i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr section;
        std::memcpy(&section, bytes.data() + header.e_shoff + i * sizeof section, sizeof section);
        if (section.sh_type == SHT_HASH) {
            const std::uint32_t huge_chain = 0x40000000;
            std::memcpy(bytes.data() + section.sh_offset + 4, &huge_chain, 4);
            patched = true;
        }
    }
    ASSERT_TRUE(patched) << "no SysV hash table";
    const std::string path = testing::TempDir() + "liblookup_malformed.so";
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

    auto module = vantrell::diagnostics::load_module(path);
    ASSERT_NE(module, nullptr) << vantrell::diagnostics::last_error();
    EXPECT_NE(dlsym(module, "exported_function"), nullptr) << "the loader does not read the chain's length";
    EXPECT_EQ(find_export(vantrell::loader::export_table(module), export_name("exported_function")), nullptr);
    vantrell::loader::unload_module(module);
    std::remove(path.c_str());
}

// Every dynamic symbol of real libraries, and names close to them, looked up
// both ways. The differences allowed: symbols that are neither functions
// nor objects (NOTYPE markers such as _end), which the lookup refuses; and
// indirect functions whose resolver picks code outside the module (libc's
// time() in the vDSO), which the loader finds too, but whose address the
// ownership check refuses.
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
        int compared = 0, refused_markers = 0, resolved_outside = 0;
        for (const std::string &name : probes) {
            void *ours = find_export(table, export_name(name.c_str()));
            void *theirs = loader_answer(module, name.c_str());
            ++compared;
            if (ours == theirs)
                continue;
            Dl_info info;
            ElfW(Sym) *symbol = nullptr;
            const bool marker = !ours && dladdr1(theirs, &info, reinterpret_cast<void **>(&symbol), RTLD_DL_SYMENT) &&
                                symbol && ELF64_ST_TYPE(symbol->st_info) == STT_NOTYPE;
            if (marker) {
                ++refused_markers;
                continue;
            }
            if (ours && !theirs && dlsym(module, name.c_str()) == ours) {
                ++resolved_outside;
                continue;
            }
            ADD_FAILURE() << path << ": \"" << name << "\": lookup " << ours << ", loader " << theirs;
        }
        std::cout << path << ": " << names.size() << " symbols, " << compared << " names compared, " << refused_markers
                  << " NOTYPE markers refused, " << resolved_outside
                  << " indirect functions resolved outside the module" << std::endl;
        vantrell::loader::unload_module(module);
    }
}

} // namespace
