/*
 * Tarrowby, the sample AI module: plays no game. Every function writes one
 * line naming the call and its arguments to standard output and gives a
 * fixed answer, so that a host and the bridge can be run end to end and the
 * console shows each call that reaches a module, in order.
 */
#include "ai_module.h"
#include "tarrowby_log.h"

int32_t AI_CALL initialize(const char *text) {
    (void)text;
    tarrowby_log("Tarrowby: initializing\n");
    return 1;
}

void AI_CALL terminate(void) { tarrowby_log("Tarrowby: terminating\n"); }

int32_t AI_CALL createGame(void) {
    tarrowby_log("Tarrowby: createGame\n");
    return 0;
}

int32_t AI_CALL joinGame(void) {
    tarrowby_log("Tarrowby: joinGame\n");
    return 0;
}

void AI_CALL gameCreated(void) { tarrowby_log("Tarrowby: gameCreated\n"); }

void AI_CALL gameJoined(void) { tarrowby_log("Tarrowby: gameJoined\n"); }

int32_t AI_CALL getCreateGameMode(void) {
    tarrowby_log("Tarrowby: getCreateGameMode\n");
    return 0;
}

int32_t AI_CALL getCreateGameOption(int32_t option) {
    tarrowby_log("Tarrowby: getCreateGameOption.  Option: %d\n", option);
    return 0;
}

int32_t AI_CALL newGameCreated(const char *owner, int32_t mode) {
    tarrowby_log("Tarrowby: newGameCreated.  Owner: %s  Mode: %d\n", owner, mode);
    return 0;
}

int32_t AI_CALL newGameOption(int32_t option, int32_t value) {
    tarrowby_log("Tarrowby: newGameOption.  Option: %d  Value: %d\n", option, value);
    return 1;
}

void AI_CALL setAIUsername(const char *name) { tarrowby_log("Tarrowby: AI name: %s\n", name); }

void AI_CALL setOpponentUsername(const char *name) { tarrowby_log("Tarrowby: opponent: %s\n", name); }

int32_t AI_CALL setGameMode(int32_t mode) {
    tarrowby_log("Tarrowby: setGameMode %d\n", mode);
    return 1;
}

int32_t AI_CALL setGameOption(int32_t option, int32_t value) {
    tarrowby_log("Tarrowby: setGameOption.  Option: %d  Value: %d\n", option, value);
    return 1;
}

void AI_CALL setGameAids(int32_t aids) { tarrowby_log("Tarrowby: setGameAids: %d\n", (int)aids); }

int32_t AI_CALL setSkillLevel(int32_t level) {
    tarrowby_log("Tarrowby: skill level: %d\n", level);
    return 1;
}

int32_t AI_CALL setMoveTimeLimit(int32_t limit) {
    tarrowby_log("Tarrowby: move time limit: %d\n", limit);
    return 1;
}

int32_t AI_CALL setCustomPieceCount(int32_t count1, int32_t count2, int32_t count3, int32_t count4, int32_t count5,
                                    int32_t count6, int32_t count7, int32_t count8, int32_t count9, int32_t count10,
                                    int32_t count11, int32_t count12) {
    tarrowby_log("Tarrowby: custom piece count: %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d\n", count1, count2,
                 count3, count4, count5, count6, count7, count8, count9, count10, count11, count12);
    return 0;
}

void AI_CALL initializeGame(void) { tarrowby_log("Tarrowby: initializeGame\n"); }

void AI_CALL createAISetup(int32_t color) { tarrowby_log("Tarrowby: createAISetup.  color: %d\n", color); }

int32_t AI_CALL getAISetupPiece(int32_t x, int32_t y) {
    tarrowby_log("Tarrowby: getAISetupPiece(%d,%d)\n", x, y);
    return 9;
}

void AI_CALL illegalSetup(int32_t x, int32_t y, int32_t rank) {
    tarrowby_log("Tarrowby: illegalSetup. (%d, %d)  Rank: %d\n", x, y, rank);
}

void AI_CALL setOpponentSetupPiece(int32_t first, int32_t second) {
    tarrowby_log("Tarrowby: setOpponentSetupPiece: %d, %d\n", first, second);
}

void AI_CALL startGame(void) { tarrowby_log("Tarrowby: startGame\n"); }

void AI_CALL getAIMove(ai_move *move) {
    move->fromX = 1;
    move->fromY = 2;
    move->toX = 3;
    move->toY = 4;
    move->special = 0;
    tarrowby_log("Tarrowby: getAIMove: (%d, %d) -> (%d, %d)  special: %d\n", 1, 2, 3, 4, 0);
}

ai_bool8 AI_CALL illegalMove(ai_move *move) {
    /* The bytes are unsigned: 255 prints as 255, not -1. */
    tarrowby_log("Tarrowby: illegalMove: (%d, %d) -> (%d, %d)  special: %d\n", (int)move->fromX, (int)move->fromY,
                 (int)move->toX, (int)move->toY, (int)move->special);
    return 0;
}

ai_bool8 AI_CALL submitAIMoveResult(int32_t rank, int32_t result) {
    tarrowby_log("Tarrowby: submitAIMoveResult.  rank: %d  result: %d\n", rank, result);
    return 0;
}

ai_bool8 AI_CALL submitOpponentMove(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY, int32_t rank,
                                    int32_t result) {
    tarrowby_log("Tarrowby: oppMove: (%d, %d) -> (%d, %d). rank: %d  result: %d\n", fromX, fromY, toX, toY, rank,
                 result);
    return 0;
}

void AI_CALL endGame(int32_t result, int32_t reason) {
    tarrowby_log("Tarrowby: endGame.  Result: %d   Reason: %d\n", result, reason);
}

void AI_CALL abortGame(int32_t reason) { tarrowby_log("Tarrowby: abortGame.  Reason: %d\n", reason); }

/* The texts are static: the same pointer on every call, never freed. */
static const char public_name[] = "Tarrowby";
static const char pre_game_chat[] = "good luck";
static const char post_game_chat[] = "good game";

const char *AI_CALL getPublicName(void) {
    tarrowby_log("Tarrowby: getPublicName\n");
    return public_name;
}

const char *AI_CALL getPreGameChat(void) {
    tarrowby_log("Tarrowby: getPreGameChat\n");
    return pre_game_chat;
}

const char *AI_CALL getPostGameChat(void) {
    tarrowby_log("Tarrowby: getPostGameChat\n");
    return post_game_chat;
}

void AI_CALL postGameLogStart(void) { tarrowby_log("Tarrowby: postGameLogStart()\n"); }

void AI_CALL postGameLogOriginalOpponentSetup(int32_t x, int32_t y, int32_t rank) {
    tarrowby_log("Tarrowby: postGameLogOriginalOpponentSetup.  (%d,%d)=%d\n", x, y, rank);
}

void AI_CALL postGameLogClose(void) { tarrowby_log("Tarrowby: postGameLogClose()\n"); }
