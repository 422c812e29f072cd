// Numbers and truths crossing to the module and back.
#include "bridge_fixture.hpp"

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace bridge_test {
namespace {

class Forwarding : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        ASSERT_TRUE(load(SCRIPTED_MODULE_PATH));
        vm.clear_calls();
    }
};

TEST_F(Forwarding, ArgumentsReachTheModuleInTheHostsOrder) {
    b.getCreateGameOption(env, cls, -3);
    b.newGameOption(env, cls, 4, -5);
    b.setGameMode(env, cls, 6);
    b.setGameOption(env, cls, 7, 8);
    b.setSkillLevel(env, cls, 9);
    b.setMoveTimeLimit(env, cls, 2147483647);
    b.setCustomPieceCount(env, cls, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -12);
    b.createAISetup(env, cls, 1);
    b.getAISetupPiece(env, cls, 3, 4);
    b.illegalSetup(env, cls, 5, 6, 7);
    b.setOpponentSetupPiece(env, cls, 8, 9);
    b.submitAIMoveResult(env, cls, 10, 11);
    b.submitOpponentMove(env, cls, 1, 2, 3, 4, 5, 6);
    b.endGame(env, cls, 12, 13);
    b.abortGame(env, cls, -2147483647 - 1);
    b.postGameLogOriginalOpponentSetup(env, cls, 7, 8, 9);
    b.gameCreated(env, cls);
    b.gameJoined(env, cls);
    b.initializeGame(env, cls);
    b.startGame(env, cls);
    b.postGameLogStart(env, cls);
    b.postGameLogClose(env, cls);
    EXPECT_EQ(module_calls(), (Calls{
                                  "getCreateGameOption(-3)",
                                  "newGameOption(4,-5)",
                                  "setGameMode(6)",
                                  "setGameOption(7,8)",
                                  "setSkillLevel(9)",
                                  "setMoveTimeLimit(2147483647)",
                                  "setCustomPieceCount(1,2,3,4,5,6,7,8,9,10,11,-12)",
                                  "createAISetup(1)",
                                  "getAISetupPiece(3,4)",
                                  "illegalSetup(5,6,7)",
                                  "setOpponentSetupPiece(8,9)",
                                  "submitAIMoveResult(10,11)",
                                  "submitOpponentMove(1,2,3,4,5,6)",
                                  "endGame(12,13)",
                                  "abortGame(-2147483648)",
                                  "postGameLogOriginalOpponentSetup(7,8,9)",
                                  "gameCreated()",
                                  "gameJoined()",
                                  "initializeGame()",
                                  "startGame()",
                                  "postGameLogStart()",
                                  "postGameLogClose()",
                              }));
    EXPECT_EQ(vm.calls(), std::vector<std::string>{}) << "numbers need nothing from the VM";
}

TEST_F(Forwarding, HostBooleanIsWidenedWithZeroFill) {
    b.setGameAids(env, cls, JNI_TRUE);
    b.setGameAids(env, cls, JNI_FALSE);
    b.setGameAids(env, cls, static_cast<jboolean>(0xFF));
    EXPECT_EQ(module_calls(), (Calls{"setGameAids(1)", "setGameAids(0)", "setGameAids(255)"}));
}

TEST_F(Forwarding, Int32TruthIsJudgedOnAllThirtyTwoBits) {
    using Truth = jboolean(JNICALL *)(JNIEnv *, jclass);
    const std::pair<const char *, Truth> truths[] = {{"createGame", b.createGame}, {"joinGame", b.joinGame}};
    for (auto [name, method] : truths) {
        for (int32_t answer : {5, 256, 0x10000, -2147483647 - 1, 1}) {
            probe_set_answer(name, answer);
            EXPECT_EQ(method(env, cls), JNI_TRUE) << name << " answering " << answer;
        }
        probe_set_answer(name, 0);
        EXPECT_EQ(method(env, cls), JNI_FALSE) << name << " answering 0";
    }
    probe_set_answer("setGameMode", 256);
    EXPECT_EQ(b.setGameMode(env, cls, 1), JNI_TRUE);
    probe_set_answer("setCustomPieceCount", 512);
    EXPECT_EQ(b.setCustomPieceCount(env, cls, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12), JNI_TRUE);
}

TEST_F(Forwarding, Int32ValuesPassUnchanged) {
    probe_set_answer("getCreateGameMode", -7);
    probe_set_answer("getCreateGameOption", 123456789);
    probe_set_answer("getAISetupPiece", -1);
    EXPECT_EQ(b.getCreateGameMode(env, cls), -7);
    EXPECT_EQ(b.getCreateGameOption(env, cls, 1), 123456789);
    EXPECT_EQ(b.getAISetupPiece(env, cls, 0, 0), -1);
    probe_set_answer("getAISetupPiece", 9);
    EXPECT_EQ(b.getAISetupPiece(env, cls, 0, 0), 9);
}

TEST_F(Forwarding, Bool8ByteIsPassedOnWithoutComparingItWithZero) {
    probe_set_answer("submitAIMoveResult", 0xA7);
    probe_set_answer("submitOpponentMove", 1);
    EXPECT_EQ(b.submitAIMoveResult(env, cls, 0, 0), 0xA7);
    EXPECT_EQ(b.submitOpponentMove(env, cls, 0, 0, 0, 0, 0, 0), 1);
    probe_set_answer("submitOpponentMove", 0);
    EXPECT_EQ(b.submitOpponentMove(env, cls, 0, 0, 0, 0, 0, 0), 0);
}

TEST_F(Forwarding, Bool8ReadsOnlyTheLowByteOfTheReturnRegister) {
    ASSERT_TRUE(load(WIDE_BOOL_MODULE_PATH));
    EXPECT_EQ(b.submitAIMoveResult(env, cls, 1, 2), 0xA7);
    EXPECT_EQ(b.submitOpponentMove(env, cls, 1, 2, 3, 4, 5, 6), 0) << "0x7F00 is false: its byte is 0";
    EXPECT_EQ(b.illegalMove(env, cls, vm.bytes({1, 2, 3, 4, 5})), 1);
}

TEST_F(Forwarding, ExceptionOutOfEndGameIsSwallowed) {
    probe_set_throws("endGame");
    b.endGame(env, cls, 1, 2);
    probe_set_answer("createGame", 1);
    EXPECT_TRUE(b.createGame(env, cls)) << "the module is still reachable";
    EXPECT_EQ(module_calls(), (Calls{"endGame(1,2)", "createGame()"}));
}

TEST_F(Forwarding, ExceptionOutOfAnotherModuleEndGameIsSwallowed) {
    ASSERT_TRUE(load(THROWING_MODULE_PATH));
    b.endGame(env, cls, 1, 2);
    EXPECT_EQ(b.getCreateGameOption(env, cls, 41), 42);
    EXPECT_EQ(b.getCreateGameMode(env, cls), 1) << "endGame's frame was cleaned up";
}

#if defined(_WIN32)
// The structured exception that the native compiler's throw becomes, which
// a GCC catch (...) never sees: caught, the module's frames unwound and the
// thrown object destroyed, once.
TEST_F(Forwarding, NativeCompilersExceptionOutOfEndGameIsSwallowed) {
    ASSERT_TRUE(load(THROWING_MODULE_PATH));
    b.endGame(env, cls, 2, 0);
    EXPECT_EQ(b.getCreateGameOption(env, cls, 41), 42) << "the module is still reachable";
    EXPECT_EQ(b.getAISetupPiece(env, cls, 1, 0), 1) << "the module's frame was unwound";
    EXPECT_EQ(b.getAISetupPiece(env, cls, 2, 0), 1) << "the thrown object was destroyed once";
    b.endGame(env, cls, 2, 0);
    EXPECT_EQ(b.getAISetupPiece(env, cls, 1, 0), 2) << "the guard holds on every call";
    EXPECT_EQ(b.getAISetupPiece(env, cls, 2, 0), 2);
}
#endif

#if !defined(_WIN32)
// A thread that ends inside endGame (pthread_exit, or cancellation) unwinds
// through the guard, which lets it pass: it is no exception to swallow, and
// the C library ends the process if it is stopped.
TEST_F(Forwarding, ThreadEndingInsideEndGamePassesTheGuard) {
    ASSERT_TRUE(load(THROWING_MODULE_PATH));
    struct Call {
        Bridge &b;
        JNIEnv *env;
        jclass cls;
        bool returned;
    } call{b, env, cls, false};
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, nullptr,
                  [](void *context) -> void * {
                      auto *c = static_cast<Call *>(context);
                      c->b.endGame(c->env, c->cls, 5, 0);
                      c->returned = true;
                      return nullptr;
                  },
                  &call),
              0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    EXPECT_FALSE(call.returned) << "the thread ended inside endGame";
    EXPECT_EQ(b.getCreateGameMode(env, cls), 1) << "endGame's frame was cleaned up on the way";
}
#endif

TEST_F(Forwarding, ExceptionCaughtInsideEndGameStaysWithTheModule) {
    ASSERT_TRUE(load(THROWING_MODULE_PATH));
    b.endGame(env, cls, 3, 0);
    EXPECT_EQ(b.getAISetupPiece(env, cls, 0, 0), 1) << "the module's own catch took it";
    EXPECT_EQ(b.getCreateGameMode(env, cls), 1) << "endGame returned";
}

TEST_F(Forwarding, PartialModuleAnswersWhatItExports) {
    ASSERT_TRUE(load(PARTIAL_MODULE_PATH));
    EXPECT_EQ(b.createGame(env, cls), JNI_TRUE) << "5 is true";
    EXPECT_EQ(b.joinGame(env, cls), JNI_TRUE) << "256 is true";
    EXPECT_EQ(b.getCreateGameMode(env, cls), 7);
    EXPECT_EQ(b.getCreateGameOption(env, cls, 4), 40);
    EXPECT_EQ(b.getAISetupPiece(env, cls, 1, 1), -1);
    EXPECT_EQ(b.setSkillLevel(env, cls, 3), JNI_FALSE);
}

} // namespace
} // namespace bridge_test
