// The sample module called directly, as the bridge calls it: found by its
// export names, each call's line read back from standard output.
#include "ai_module.h"
#include "module_diagnostics.hpp"
#include "stdout_capture.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

vantrell::loader::ModuleHandle load(const std::string &path) { return vantrell::diagnostics::load_module(path); }

// Text written to standard output on Windows goes through the C runtime's
// text mode, which ends lines with CR LF; the module writes LF alone.
std::string lines(std::string text) {
#if defined(_WIN32)
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.erase(at, 1);
#endif
    return text;
}

class Tarrowby : public ::testing::Test {
protected:
    void SetUp() override {
        module = load(TARROWBY_PATH);
        ASSERT_NE(module, nullptr) << vantrell::diagnostics::last_error();
        output.take();
    }
    void TearDown() override {
        if (module)
            vantrell::loader::unload_module(module);
    }

    template <class Fn> Fn find(const char *name) {
        auto address = vantrell::loader::find_export(module, name);
        EXPECT_NE(address, nullptr) << name;
        return reinterpret_cast<Fn>(address);
    }

    StdoutCapture output;
    vantrell::loader::ModuleHandle module = nullptr;
};

#define CALL(name, bytes, ...) find<decltype(&::name)>(AI_EXPORT_NAME(name, bytes))(__VA_ARGS__)

TEST(TarrowbyLoading, AttachAndDetachLinesComeWithLoadAndUnload) {
    StdoutCapture output;
    auto module = load(TARROWBY_PATH);
    ASSERT_NE(module, nullptr) << vantrell::diagnostics::last_error();
    EXPECT_EQ(lines(output.take()), "Tarrowby: DLLMAIN - DLL_PROCESS_ATTACH\n");
    vantrell::loader::unload_module(module);
    EXPECT_EQ(lines(output.take()), "Tarrowby: DLLMAIN - DLL_PROCESS_DETACH\n");
}

TEST_F(Tarrowby, EveryFunctionWritesItsLineAndGivesItsAnswer) {
    ai_move move = {};
    const struct {
        std::string line;
        long long answer;
        long long expected;
    } calls[] = {
        {"Tarrowby: initializing\n", CALL(initialize, 4, "ignored"), 1},
        {"Tarrowby: createGame\n", CALL(createGame, 0), 0},
        {"Tarrowby: joinGame\n", CALL(joinGame, 0), 0},
        {"Tarrowby: getCreateGameMode\n", CALL(getCreateGameMode, 0), 0},
        {"Tarrowby: getCreateGameOption.  Option: -4\n", CALL(getCreateGameOption, 4, -4), 0},
        {"Tarrowby: newGameCreated.  Owner: Ann  Mode: 3\n", CALL(newGameCreated, 8, "Ann", 3), 0},
        {"Tarrowby: newGameOption.  Option: 1  Value: 2\n", CALL(newGameOption, 8, 1, 2), 1},
        {"Tarrowby: setGameMode 5\n", CALL(setGameMode, 4, 5), 1},
        {"Tarrowby: setGameOption.  Option: 6  Value: 7\n", CALL(setGameOption, 8, 6, 7), 1},
        {"Tarrowby: skill level: 8\n", CALL(setSkillLevel, 4, 8), 1},
        {"Tarrowby: move time limit: 90\n", CALL(setMoveTimeLimit, 4, 90), 1},
        {"Tarrowby: custom piece count: 1, 1, 8, 5, 4, 4, 4, 3, 2, 1, 1, 6\n",
         CALL(setCustomPieceCount, 48, 1, 1, 8, 5, 4, 4, 4, 3, 2, 1, 1, 6), 0},
        {"Tarrowby: getAISetupPiece(0,3)\n", CALL(getAISetupPiece, 8, 0, 3), 9},
        {"Tarrowby: getAISetupPiece(-1,99)\n", CALL(getAISetupPiece, 8, -1, 99), 9},
        {"Tarrowby: illegalMove: (0, 0) -> (0, 0)  special: 0\n", CALL(illegalMove, 4, &move), 0},
        {"Tarrowby: submitAIMoveResult.  rank: 3  result: 1\n", CALL(submitAIMoveResult, 8, 3, 1), 0},
        {"Tarrowby: oppMove: (1, 2) -> (3, 4). rank: 5  result: 6\n", CALL(submitOpponentMove, 24, 1, 2, 3, 4, 5, 6),
         0},
    };
    std::string expected;
    for (const auto &call : calls) {
        expected += call.line;
        EXPECT_EQ(call.answer, call.expected) << call.line;
    }
    EXPECT_EQ(lines(output.take()), expected);
}

TEST_F(Tarrowby, VoidFunctionsWriteTheirLines) {
    CALL(terminate, 0);
    CALL(gameCreated, 0);
    CALL(gameJoined, 0);
    CALL(setAIUsername, 4, "Computer");
    CALL(setOpponentUsername, 4, "Ann \xC3\xA9");
    CALL(setGameAids, 4, 1);
    CALL(initializeGame, 0);
    CALL(createAISetup, 4, 1);
    CALL(illegalSetup, 12, 4, 5, 6);
    CALL(setOpponentSetupPiece, 8, 7, 8);
    CALL(startGame, 0);
    CALL(endGame, 8, 1, 2);
    CALL(abortGame, 4, 3);
    CALL(postGameLogStart, 0);
    CALL(postGameLogOriginalOpponentSetup, 12, 9, 0, 11);
    CALL(postGameLogClose, 0);
    EXPECT_EQ(lines(output.take()), "Tarrowby: terminating\n"
                                    "Tarrowby: gameCreated\n"
                                    "Tarrowby: gameJoined\n"
                                    "Tarrowby: AI name: Computer\n"
                                    "Tarrowby: opponent: Ann \xC3\xA9\n"
                                    "Tarrowby: setGameAids: 1\n"
                                    "Tarrowby: initializeGame\n"
                                    "Tarrowby: createAISetup.  color: 1\n"
                                    "Tarrowby: illegalSetup. (4, 5)  Rank: 6\n"
                                    "Tarrowby: setOpponentSetupPiece: 7, 8\n"
                                    "Tarrowby: startGame\n"
                                    "Tarrowby: endGame.  Result: 1   Reason: 2\n"
                                    "Tarrowby: abortGame.  Reason: 3\n"
                                    "Tarrowby: postGameLogStart()\n"
                                    "Tarrowby: postGameLogOriginalOpponentSetup.  (9,0)=11\n"
                                    "Tarrowby: postGameLogClose()\n");
}

TEST_F(Tarrowby, AIMoveWritesOneTwoThreeFourZeroWhateverTheRecordHeld) {
    ai_move move = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    CALL(getAIMove, 4, &move);
    EXPECT_EQ(move.fromX, 1);
    EXPECT_EQ(move.fromY, 2);
    EXPECT_EQ(move.toX, 3);
    EXPECT_EQ(move.toY, 4);
    EXPECT_EQ(move.special, 0);
    EXPECT_EQ(lines(output.take()), "Tarrowby: getAIMove: (1, 2) -> (3, 4)  special: 0\n");
}

TEST_F(Tarrowby, IllegalMovePrintsItsBytesUnsigned) {
    ai_move move = {255, 255, 255, 255, 255};
    EXPECT_EQ(CALL(illegalMove, 4, &move), 0);
    ai_move mixed = {200, 0, 128, 127, 1};
    CALL(illegalMove, 4, &mixed);
    EXPECT_EQ(lines(output.take()), "Tarrowby: illegalMove: (255, 255) -> (255, 255)  special: 255\n"
                                    "Tarrowby: illegalMove: (200, 0) -> (128, 127)  special: 1\n");
}

TEST_F(Tarrowby, TextsAreStaticAndTheSameOnEveryCall) {
    const char *name = CALL(getPublicName, 0);
    const char *pre = CALL(getPreGameChat, 0);
    const char *post = CALL(getPostGameChat, 0);
    EXPECT_STREQ(name, "Tarrowby");
    EXPECT_STREQ(pre, "good luck");
    EXPECT_STREQ(post, "good game");
    EXPECT_EQ(CALL(getPublicName, 0), name);
    EXPECT_EQ(CALL(getPreGameChat, 0), pre);
    EXPECT_EQ(CALL(getPostGameChat, 0), post);
    EXPECT_EQ(lines(output.take()), "Tarrowby: getPublicName\nTarrowby: getPreGameChat\nTarrowby: getPostGameChat\n"
                                    "Tarrowby: getPublicName\nTarrowby: getPreGameChat\nTarrowby: getPostGameChat\n");
}

} // namespace
