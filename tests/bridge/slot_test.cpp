// The module slot: loading, default results, unloading.
#include "bridge_fixture.hpp"

#include <filesystem>

namespace bridge_test {
namespace {

using Slot = BridgeTest;

// Every forwarding method gives its default result, touching nothing of
// the VM: not the strings, not the arrays.
void expect_all_defaults(Bridge &b, fakejvm::FakeVm &vm) {
    JNIEnv *env = vm.env();
    jclass cls = vm.klass();
    jstring text = vm.string(std::string("text"));
    jbyteArray move = vm.bytes({9, 8, 7, 6, 5, 4});
    vm.clear_calls();

    EXPECT_FALSE(b.initialize(env, cls, text));
    EXPECT_FALSE(b.createGame(env, cls));
    EXPECT_FALSE(b.joinGame(env, cls));
    b.gameCreated(env, cls);
    b.gameJoined(env, cls);
    EXPECT_EQ(b.getCreateGameMode(env, cls), 0);
    EXPECT_EQ(b.getCreateGameOption(env, cls, 3), 0);
    EXPECT_FALSE(b.newGameCreated(env, cls, text, 3));
    EXPECT_FALSE(b.newGameOption(env, cls, 1, 2));
    b.setAIUsername(env, cls, text);
    b.setOpponentUsername(env, cls, text);
    EXPECT_FALSE(b.setGameMode(env, cls, 1));
    EXPECT_FALSE(b.setGameOption(env, cls, 1, 2));
    b.setGameAids(env, cls, JNI_TRUE);
    EXPECT_FALSE(b.setSkillLevel(env, cls, 4));
    EXPECT_FALSE(b.setMoveTimeLimit(env, cls, 30));
    EXPECT_FALSE(b.setCustomPieceCount(env, cls, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12));
    b.initializeGame(env, cls);
    b.createAISetup(env, cls, 0);
    EXPECT_EQ(b.getAISetupPiece(env, cls, 0, 0), -1);
    b.illegalSetup(env, cls, 1, 2, 3);
    b.setOpponentSetupPiece(env, cls, 1, 2);
    b.startGame(env, cls);
    b.getAIMove(env, cls, move);
    EXPECT_FALSE(b.illegalMove(env, cls, move));
    EXPECT_FALSE(b.submitAIMoveResult(env, cls, 1, 2));
    EXPECT_FALSE(b.submitOpponentMove(env, cls, 1, 2, 3, 4, 5, 6));
    b.endGame(env, cls, 1, 2);
    b.abortGame(env, cls, 1);
    EXPECT_EQ(b.getPublicName(env, cls), nullptr);
    EXPECT_EQ(b.getPreGameChat(env, cls), nullptr);
    EXPECT_EQ(b.getPostGameChat(env, cls), nullptr);
    b.postGameLogStart(env, cls);
    b.postGameLogOriginalOpponentSetup(env, cls, 1, 2, 3);
    b.postGameLogClose(env, cls);
    b.terminate(env, cls);

    EXPECT_EQ(vm.calls(), std::vector<std::string>{}) << "the VM was touched on a default path";
    EXPECT_EQ(vm.contents(move), (std::vector<int8_t>{9, 8, 7, 6, 5, 4}));
}

TEST_F(Slot, BeforeAnyLoadEveryMethodGivesItsDefault) { expect_all_defaults(b, vm); }

TEST_F(Slot, AfterTerminateEveryMethodGivesItsDefault) {
    ASSERT_TRUE(load(SCRIPTED_MODULE_PATH));
    b.terminate(env, cls);
    probe_reset();
    expect_all_defaults(b, vm);
    EXPECT_EQ(module_calls(), Calls{});
}

TEST_F(Slot, MissingExportGivesTheDefaultWithoutTouchingTheVm) {
    ASSERT_TRUE(load(PARTIAL_MODULE_PATH));
    jstring text = vm.string(std::string("text"));
    jbyteArray move = vm.bytes({9, 8, 7, 6, 5});
    vm.clear_calls();
    EXPECT_FALSE(b.initialize(env, cls, text));
    EXPECT_FALSE(b.newGameCreated(env, cls, text, 1));
    b.setAIUsername(env, cls, text);
    EXPECT_EQ(b.getPublicName(env, cls), nullptr);
    b.getAIMove(env, cls, move);
    EXPECT_FALSE(b.illegalMove(env, cls, move));
    EXPECT_EQ(b.getAISetupPiece(env, cls, 0, 0), -1);
    EXPECT_EQ(vm.calls(), std::vector<std::string>{});
    EXPECT_EQ(vm.contents(move), (std::vector<int8_t>{9, 8, 7, 6, 5}));
}

TEST_F(Slot, LoadingReleasesThePathAndCallsNoModuleFunction) {
    jstring path = vm.string(std::string(SCRIPTED_MODULE_PATH));
    EXPECT_EQ(b.initializeLibrary(env, cls, path), JNI_TRUE);
    EXPECT_EQ(vm.outstanding(), 0u);
    EXPECT_EQ(module_calls(), Calls{}) << "loading must not call initialize";
    EXPECT_EQ(loads(), 1);
}

TEST_F(Slot, PathsThatCannotBeLoadedFailAndEmptyTheSlot) {
    const std::u16string bad_paths[] = {
        u"/nonexistent/module.so",
        u"",                  // would otherwise name the main program
        u"\xD800module.so",   // unpaired surrogate
        std::u16string(u"."), // a directory
    };
    for (const auto &path : bad_paths) {
        ASSERT_TRUE(load(SCRIPTED_MODULE_PATH));
        EXPECT_FALSE(b.initializeLibrary(env, cls, vm.string(path)));
        EXPECT_FALSE(b.createGame(env, cls)) << "a failed load must leave the slot empty";
    }
    EXPECT_EQ(vm.outstanding(), 0u);
}

TEST_F(Slot, PathWithEmbeddedNulNeverLoadsThePartBeforeIt) {
    std::string real(SCRIPTED_MODULE_PATH);
    std::u16string path(real.begin(), real.end());
    path += u'\0';
    path += u"ignored";
    EXPECT_FALSE(b.initializeLibrary(env, cls, vm.string(path)));
    EXPECT_EQ(loads(), 0);
}

TEST_F(Slot, NullPathIsAFailedLoadThatTouchesNothing) {
    ASSERT_TRUE(load(SCRIPTED_MODULE_PATH));
    vm.clear_calls();
    EXPECT_FALSE(b.initializeLibrary(env, cls, nullptr));
    EXPECT_EQ(vm.calls(), std::vector<std::string>{});
    EXPECT_FALSE(b.createGame(env, cls));
}

TEST_F(Slot, PathTheVmCannotHandOutIsAFailedLoadWithTheExceptionLeftPending) {
    jstring path = vm.string(std::string(SCRIPTED_MODULE_PATH));
    vm.refuse_string_chars(true);
    EXPECT_FALSE(b.initializeLibrary(env, cls, path));
    EXPECT_TRUE(vm.exception_pending()) << "the VM's exception belongs to the host";
    EXPECT_EQ(loads(), 0);
    vm.clear_exception();
}

TEST_F(Slot, NonAsciiPathCrossesToTheLoader) {
    // A folder name with a two-byte, a three-byte and a four-byte character.
    std::u16string folder_name = u"m\u00F3dulo-\u6F22-\U0001F600";
    auto dir = std::filesystem::temp_directory_path() / std::filesystem::path(folder_name);
    std::filesystem::create_directories(dir);
    auto copy = dir / std::filesystem::path(SCRIPTED_MODULE_PATH).filename();
    std::filesystem::copy_file(SCRIPTED_MODULE_PATH, copy, std::filesystem::copy_options::overwrite_existing);

    EXPECT_TRUE(b.initializeLibrary(env, cls, vm.string(copy.u16string())));
    b.setGameMode(env, cls, 2);
    EXPECT_EQ(module_calls(), Calls{"setGameMode(2)"});
    b.terminate(env, cls);
    std::filesystem::remove_all(dir);
}

TEST_F(Slot, TerminateCallsTheModuleThenUnloadsAndASecondDoesNothing) {
    ASSERT_TRUE(load(SCRIPTED_MODULE_PATH));
    b.terminate(env, cls);
    EXPECT_EQ(module_calls(), Calls{"terminate()"});
    EXPECT_EQ(unloads(), 1);
    b.terminate(env, cls);
    EXPECT_EQ(module_calls(), Calls{"terminate()"});
    EXPECT_EQ(unloads(), 1);
}

TEST_F(Slot, TerminateUnloadsAModuleThatHasNoTerminate) {
    ASSERT_TRUE(load(PARTIAL_MODULE_PATH));
    ASSERT_EQ(loads(), 1);
    b.terminate(env, cls);
    EXPECT_EQ(unloads(), 1);
    EXPECT_FALSE(b.createGame(env, cls));
}

TEST_F(Slot, SecondLoadOfTheSameModuleKeepsItLoadedAfterOneTerminate) {
    ASSERT_TRUE(load(SCRIPTED_MODULE_PATH));
    ASSERT_TRUE(load(SCRIPTED_MODULE_PATH));
    b.terminate(env, cls);
    EXPECT_EQ(module_calls(), Calls{"terminate()"});
    EXPECT_EQ(loads(), 1);
    EXPECT_EQ(unloads(), 0) << "the loader still counts the first load";
    EXPECT_FALSE(b.createGame(env, cls)) << "the slot is empty all the same";
    release_leftover_loads();
    EXPECT_EQ(unloads(), 1);
}

TEST_F(Slot, LoadingAnotherModuleLeavesTheFirstLoadedButUnreachable) {
    ASSERT_TRUE(load(SCRIPTED_MODULE_PATH));
    ASSERT_TRUE(load(PARTIAL_MODULE_PATH));
    EXPECT_EQ(b.getCreateGameMode(env, cls), 7) << "the partial module answers now";
    b.terminate(env, cls);
    EXPECT_EQ(module_calls(), Calls{}) << "the scripted module is no longer reached";
    EXPECT_EQ(loads(), 2);
    EXPECT_EQ(unloads(), 1);
    release_leftover_loads();
    EXPECT_EQ(unloads(), 2);
}

} // namespace
} // namespace bridge_test
