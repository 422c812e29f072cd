// Bad input at the bridge's door, each with its defined outcome: module
// paths that name no usable library, paths the loader must never see as
// they are, loads and terminates in every order, and null or empty
// arguments where no module answers. The cases slot_test.cpp and
// marshalling_test.cpp already hold (a missing file, the empty path, a
// leading lone surrogate, ".", the first embedded U+0000 case, a folder with
// non-ASCII characters, null and refused texts, move arrays of length 0 to
// 4) are not repeated here.
//
// Portable: the same cases run on Linux and, under Wine, on Windows.
#include "bridge_fixture.hpp"

#include <filesystem>
#include <fstream>
#include <random>

namespace bridge_test {
namespace {

namespace fs = std::filesystem;

// A folder of its own for each test, removed afterwards.
class BadInput : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        dir = fs::temp_directory_path() / ("bridge-bad-input-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        BridgeTest::TearDown();
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // A file named like a module (lib*.so, *.dll) holding `bytes`.
    fs::path file_like_a_module(const std::string &bytes) {
        fs::path path = dir / ("not_a_module" + library_suffix());
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    static std::string library_suffix() { return fs::path(SCRIPTED_MODULE_PATH).extension().string(); }

    // The path fails to load, and a module loaded before is no longer
    // reached: the slot is empty after a failed load.
    void expect_refused(const std::u16string &path) {
        ASSERT_TRUE(load(SCRIPTED_MODULE_PATH));
        probe_set_answer("createGame", 1);
        EXPECT_FALSE(b.initializeLibrary(env, cls, vm.string(path)));
        EXPECT_FALSE(b.createGame(env, cls)) << "a failed load must leave the slot empty";
        EXPECT_EQ(module_calls(), Calls{}) << "loading calls no module function";
        EXPECT_EQ(vm.outstanding(), 0u);
        EXPECT_FALSE(vm.exception_pending()) << "a failed load raises nothing";
        // The module loaded first is unreachable but still counted by the
        // loader; once that load is given back, nothing else is held.
        release_leftover_loads();
        EXPECT_EQ(loads(), unloads()) << "a load of the refused path was kept";
    }

    static std::u16string utf16(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

    fs::path dir;
};

TEST_F(BadInput, FileThatIsNotALibraryIsRefused) {
    expect_refused(file_like_a_module("this is text, not a library\n").u16string());
}

TEST_F(BadInput, EmptyFileIsRefused) { expect_refused(file_like_a_module("").u16string()); }

// On ELF platforms a library of another architecture: the header of a
// 32-bit x86 object, which the loader reads and rejects by its class. On
// Windows the closest is a file without a PE header.
TEST_F(BadInput, LibraryOfAnotherArchitectureIsRefused) {
    std::string header(52, '\0');
    const unsigned char ident[] = {0x7F, 'E', 'L', 'F', 1 /* 32-bit */, 1 /* little-endian */, 1};
    header.replace(0, sizeof ident, reinterpret_cast<const char *>(ident), sizeof ident);
    header[16] = 3;  // ET_DYN
    header[18] = 3;  // EM_386
    header[20] = 1;  // EV_CURRENT
    header[40] = 52; // e_ehsize
    expect_refused(file_like_a_module(header).u16string());
}

TEST_F(BadInput, DirectoryNamedLikeALibraryIsRefused) {
    fs::path folder = dir / ("module" + library_suffix());
    fs::create_directories(folder);
    expect_refused(folder.u16string());
}

TEST_F(BadInput, VeryLongPathIsRefused) {
    std::u16string path = dir.u16string();
    while (path.size() < 5000)
        path += u"/abcdefghij";
    expect_refused(path);
}

TEST_F(BadInput, VeryLongFileNameIsRefused) {
    expect_refused((dir / fs::path(std::u16string(5000, u'm'))).u16string());
}

// A conversion that stops at U+0000, or that takes only the part before it,
// would load the real module.
TEST_F(BadInput, TrailingOrLeadingU0000IsRefusedWithoutLoadingTheRest) {
    const std::u16string real = utf16(SCRIPTED_MODULE_PATH);
    for (const std::u16string &path : {real + u'\0', u'\0' + real, real + u'\0' + u'\0'}) {
        EXPECT_FALSE(b.initializeLibrary(env, cls, vm.string(path)));
        EXPECT_EQ(loads(), 0) << "the path before or after the NUL was loaded";
    }
    EXPECT_FALSE(b.createGame(env, cls));
}

TEST_F(BadInput, UnpairedSurrogatesAnywhereAreRefused) {
    const std::u16string real = utf16(SCRIPTED_MODULE_PATH);
    const std::u16string paths[] = {
        real + u'\xD800',       // high surrogate at the end
        real + u'\xDC00',       // low surrogate at the end
        real + u"\xDC00\xD800", // a pair in the wrong order
        (dir / "x").u16string() + u'\xDBFF' + u"y" + utf16(library_suffix()),
    };
    for (const std::u16string &path : paths)
        expect_refused(path);
}

// A folder and a file name of two-, three- and four-byte characters; the
// same path with one character changed names nothing.
TEST_F(BadInput, NonAsciiFileNameLoadsAndOnlyItsExactSpelling) {
    fs::path folder = dir / fs::path(u"\u00E9\u6F22\U0001F600");
    fs::create_directories(folder);
    fs::path copy = folder / fs::path(u"m\u00F3dulo-\u6F22-\U0001F600" + utf16(library_suffix()));
    fs::copy_file(SCRIPTED_MODULE_PATH, copy);

    std::u16string near_miss = copy.u16string();
    near_miss[near_miss.find(u'\u00F3')] = u'o';
    EXPECT_FALSE(b.initializeLibrary(env, cls, vm.string(near_miss)));
    EXPECT_EQ(loads(), 0);

    probe_set_answer("setGameMode", 1);
    ASSERT_TRUE(b.initializeLibrary(env, cls, vm.string(copy.u16string())));
    EXPECT_TRUE(b.setGameMode(env, cls, 4));
    b.terminate(env, cls);
    EXPECT_EQ(module_calls(), (Calls{"setGameMode(4)", "terminate()"}));
    EXPECT_EQ(loads(), 1);
    EXPECT_EQ(unloads(), 1) << "the copy must be unloaded before its folder is removed";
}

// A library that exports no module function: it loads, every method gives
// its default, and terminate gives back the load. The bridge itself is one.
TEST_F(BadInput, LibraryThatIsNoModuleLoadsAndGivesDefaults) {
    ASSERT_TRUE(load(VANTRELL_PATH));
    jbyteArray move = vm.bytes({1, 2, 3, 4, 5});
    vm.clear_calls();
    EXPECT_FALSE(b.createGame(env, cls));
    EXPECT_EQ(b.getAISetupPiece(env, cls, 1, 1), -1);
    EXPECT_EQ(b.getPublicName(env, cls), nullptr);
    b.getAIMove(env, cls, move);
    EXPECT_FALSE(b.illegalMove(env, cls, move));
    b.terminate(env, cls);
    EXPECT_EQ(vm.calls(), std::vector<std::string>{});
    EXPECT_EQ(vm.contents(move), (std::vector<int8_t>{1, 2, 3, 4, 5}));
}

// Two loads and two terminates, in each of their six orders. A load into a
// full slot keeps the first load with the loader (slot_test.cpp); a
// terminate calls the module's terminate only when the slot holds it.
TEST_F(BadInput, TwoLoadsAndTwoTerminatesInEveryOrder) {
    for (const char *order : {"LLTT", "LTLT", "LTTL", "TLLT", "TLTL", "TTLL"}) {
        SCOPED_TRACE(order);
        const int loads_before = loads(), unloads_before = unloads();
        bool in_slot = false;
        int held = 0; // loads the loader counts
        int expected_loads = 0, expected_unloads = 0;
        Calls expected_calls;
        probe_reset();
        probe_set_answer("createGame", 1);
        for (const char *step = order; *step; ++step) {
            if (*step == 'L') {
                ASSERT_TRUE(load(SCRIPTED_MODULE_PATH));
                if (held++ == 0)
                    ++expected_loads;
                in_slot = true;
            } else {
                b.terminate(env, cls);
                if (in_slot) {
                    expected_calls.push_back("terminate()");
                    if (--held == 0)
                        ++expected_unloads;
                }
                in_slot = false;
            }
            EXPECT_EQ(b.createGame(env, cls), in_slot ? JNI_TRUE : JNI_FALSE) << "after step " << step - order;
            if (in_slot)
                expected_calls.push_back("createGame()");
            EXPECT_EQ(loads() - loads_before, expected_loads) << "after step " << step - order;
            EXPECT_EQ(unloads() - unloads_before, expected_unloads) << "after step " << step - order;
        }
        EXPECT_EQ(module_calls(), expected_calls);
        b.terminate(env, cls);
        release_leftover_loads();
        EXPECT_EQ(loads() - loads_before, unloads() - unloads_before) << "the module is still mapped";
    }
}

// After a failed load the slot is empty: terminate then calls nothing, and
// the module loaded before stays with the loader, unreachable.
TEST_F(BadInput, TerminateAfterAFailedLoadCallsNoModule) {
    ASSERT_TRUE(load(SCRIPTED_MODULE_PATH));
    EXPECT_FALSE(b.initializeLibrary(env, cls, vm.string(file_like_a_module("text").u16string())));
    b.terminate(env, cls);
    EXPECT_EQ(module_calls(), Calls{});
    EXPECT_EQ(unloads(), 0) << "the first module stays with the loader";
    release_leftover_loads();
    EXPECT_EQ(unloads(), 1);
}

// With no module to answer, every method gives its default for null and
// empty references too, and looks at none of them.
void expect_defaults_for_null_and_empty_arguments(Bridge &b, fakejvm::FakeVm &vm) {
    JNIEnv *env = vm.env();
    jclass cls = vm.klass();
    jstring empty_text = vm.string(std::string());
    jbyteArray empty_move = vm.bytes({});
    vm.clear_calls();
    for (jstring text : {jstring{}, empty_text}) {
        EXPECT_FALSE(b.initialize(env, cls, text));
        EXPECT_FALSE(b.newGameCreated(env, cls, text, 0));
        b.setAIUsername(env, cls, text);
        b.setOpponentUsername(env, cls, text);
    }
    for (jbyteArray move : {jbyteArray{}, empty_move}) {
        b.getAIMove(env, cls, move);
        EXPECT_FALSE(b.illegalMove(env, cls, move));
    }
    EXPECT_EQ(vm.calls(), std::vector<std::string>{}) << "the VM was touched on a default path";
    EXPECT_EQ(vm.contents(empty_move), std::vector<int8_t>{});
}

TEST_F(BadInput, NullAndEmptyArgumentsBeforeAnyLoadGiveDefaults) {
    expect_defaults_for_null_and_empty_arguments(b, vm);
}

TEST_F(BadInput, NullAndEmptyArgumentsAfterTerminateGiveDefaults) {
    ASSERT_TRUE(load(SCRIPTED_MODULE_PATH));
    b.terminate(env, cls);
    probe_reset();
    expect_defaults_for_null_and_empty_arguments(b, vm);
    EXPECT_EQ(module_calls(), Calls{});
}

// With the scripted module loaded, a null text never reaches it, for each
// of the four methods that take one (marshalling_test.cpp has three of
// them); an empty text does, as "".
TEST_F(BadInput, NullTextReachesNoModuleFunctionButEmptyTextDoes) {
    ASSERT_TRUE(load(SCRIPTED_MODULE_PATH));
    for (const char *name : {"initialize", "newGameCreated"})
        probe_set_answer(name, 1);
    EXPECT_FALSE(b.initialize(env, cls, nullptr));
    EXPECT_FALSE(b.newGameCreated(env, cls, nullptr, 2));
    b.setAIUsername(env, cls, nullptr);
    b.setOpponentUsername(env, cls, nullptr);
    EXPECT_EQ(module_calls(), Calls{});
    jstring empty = vm.string(std::string());
    EXPECT_TRUE(b.initialize(env, cls, empty));
    EXPECT_TRUE(b.newGameCreated(env, cls, empty, 2));
    b.setAIUsername(env, cls, empty);
    b.setOpponentUsername(env, cls, empty);
    // The probe's line shows an empty first argument as nothing at all.
    EXPECT_EQ(module_calls(), (Calls{"initialize()", "newGameCreated(2)", "setAIUsername()", "setOpponentUsername()"}));
}

} // namespace
} // namespace bridge_test
