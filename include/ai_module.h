/*
 * ai_module.h: the AI module contract.
 *
 * An AI module is a shared library that plays one side of the board game
 * for the host. It exports any subset of the 36 functions below; the bridge
 * looks each one up by its export name when the host calls the method of
 * the same name, and answers with the method's default result when the
 * module lacks it. The numeric codes that pass through (colors, ranks,
 * results, reasons, modes, options) are the host's: the contract gives them
 * no meaning.
 *
 * Define the functions you implement with exactly these signatures (in C++,
 * inside extern "C" or with this header included); build the module with
 * add_ai_module() (AiModule.cmake: find_package(AiModule), in the SDK's
 * lib/cmake/AiModule/), which gives them their export
 * names, "_<name>@<parameter bytes>" ("_abortGame@4") on every platform.
 *
 * Every function is called on the host's thread, one call at a time.
 * Compiles as C (C99 or later) and as C++.
 */
#ifndef AI_MODULE_H
#define AI_MODULE_H

#include <stdint.h>

/* The contract's version: the minor number grows with additions that keep
 * every module working, the major number with changes that do not. */
#define AI_MODULE_CONTRACT_VERSION_MAJOR 1
#define AI_MODULE_CONTRACT_VERSION_MINOR 1
#define AI_MODULE_CONTRACT_VERSION "1.1"

#ifdef __cplusplus
extern "C" {
#endif

/* The platform's callee-cleans convention for exported functions. */
#if defined(_WIN32) && !defined(_WIN64)
#define AI_CALL __stdcall
#else
#define AI_CALL
#endif

/*
 * The move record: five unsigned bytes with no header and no padding, in the
 * order of the host's byte arrays. Squares are (x, y) throughout, x first.
 */
typedef struct ai_move {
    uint8_t fromX; /* the square moved from */
    uint8_t fromY;
    uint8_t toX; /* the square moved to */
    uint8_t toY;
    uint8_t special; /* a move flag; its values are the host's */
} ai_move;

#define AI_MOVE_SIZE 5

/* Fails to compile, in C99 as in C++, unless the record is exactly five bytes. */
typedef char ai_move_is_five_bytes_[sizeof(ai_move) == AI_MOVE_SIZE ? 1 : -1];

/* A one-byte truth value: only its low 8 bits are meaningful. */
typedef uint8_t ai_bool8;

/*
 * How a definition gets its export name.
 *
 * On Windows the build names every export in a module-definition file
 * (MinGW drops the leading underscore of __stdcall names, and x64 has no
 * decoration at all). ELF linkers read '@' in a symbol as a version, so on
 * ELF platforms each function is compiled under a placeholder of the same
 * length, '$' for '@' ("_abortGame$4"), made visible, and add_ai_module's
 * post-link step rewrites the placeholders to the real export names.
 */
#if defined(_WIN32)
#define AI_SYMBOL(name, bytes)
#define AI_VISIBLE
#elif defined(__GNUC__)
#define AI_SYMBOL(name, bytes) __asm__("_" #name "$" #bytes)
#define AI_VISIBLE __attribute__((visibility("default")))
#else
#error "ai_module.h needs a compiler that supports asm labels on this platform"
#endif

/* The decorated export name, a string literal: AI_EXPORT_NAME(abortGame, 4) is "_abortGame@4". */
#define AI_EXPORT_NAME(name, bytes) "_" #name "@" #bytes

/*
 * The functions, grouped as the host uses them. "Truth" results are true
 * when non-zero (all 32 bits count); ai_bool8 results are passed to the host
 * as their one byte. Text passed in is the host's, valid during the call
 * only: copy what you keep. Text returned stays yours: it must stay valid
 * until the function has returned (static strings do), and the bridge never
 * frees it; return null for no text. Texts are NUL-terminated modified
 * UTF-8. In brackets: what the host gets when the module lacks the function.
 * Define AI_MODULE_NO_DECLARATIONS to declare the functions yourself.
 */
#ifndef AI_MODULE_NO_DECLARATIONS

/* Lifecycle */

/* Called after the module is loaded, with a text of the host's choosing; true when the module is ready. [false] */
AI_VISIBLE int32_t AI_CALL initialize(const char *text) AI_SYMBOL(initialize, 4);
/* The last call before the module is unloaded. */
AI_VISIBLE void AI_CALL terminate(void) AI_SYMBOL(terminate, 0);

/* Creating and joining games */

/* Whether the module wants to create a game. [false] */
AI_VISIBLE int32_t AI_CALL createGame(void) AI_SYMBOL(createGame, 0);
/* Whether the module wants to join a game. [false] */
AI_VISIBLE int32_t AI_CALL joinGame(void) AI_SYMBOL(joinGame, 0);
/* The game the module asked for was created. */
AI_VISIBLE void AI_CALL gameCreated(void) AI_SYMBOL(gameCreated, 0);
/* The module joined a game. */
AI_VISIBLE void AI_CALL gameJoined(void) AI_SYMBOL(gameJoined, 0);
/* The mode of the game the module wants to create. [0] */
AI_VISIBLE int32_t AI_CALL getCreateGameMode(void) AI_SYMBOL(getCreateGameMode, 0);
/* The value the module wants for an option of the game it creates. [0] */
AI_VISIBLE int32_t AI_CALL getCreateGameOption(int32_t option) AI_SYMBOL(getCreateGameOption, 4);
/* A game was created by `owner` (borrowed) in `mode`; true to take part. [false] */
AI_VISIBLE int32_t AI_CALL newGameCreated(const char *owner, int32_t mode) AI_SYMBOL(newGameCreated, 8);
/* An option of the new game; true when the module accepts it. [false] */
AI_VISIBLE int32_t AI_CALL newGameOption(int32_t option, int32_t value) AI_SYMBOL(newGameOption, 8);

/* Game settings */

/* The module's own user name (borrowed). */
AI_VISIBLE void AI_CALL setAIUsername(const char *name) AI_SYMBOL(setAIUsername, 4);
/* The opponent's user name (borrowed). */
AI_VISIBLE void AI_CALL setOpponentUsername(const char *name) AI_SYMBOL(setOpponentUsername, 4);
/* The game's mode; true when the module can play it. [false] */
AI_VISIBLE int32_t AI_CALL setGameMode(int32_t mode) AI_SYMBOL(setGameMode, 4);
/* One of the game's options; true when the module accepts it. [false] */
AI_VISIBLE int32_t AI_CALL setGameOption(int32_t option, int32_t value) AI_SYMBOL(setGameOption, 8);
/* Whether game aids are on: the host's boolean, 0 or 1. */
AI_VISIBLE void AI_CALL setGameAids(int32_t aids) AI_SYMBOL(setGameAids, 4);
/* The skill level to play at; true when the module accepts it. [false] */
AI_VISIBLE int32_t AI_CALL setSkillLevel(int32_t level) AI_SYMBOL(setSkillLevel, 4);
/* The time limit for a move; true when the module accepts it. [false] */
AI_VISIBLE int32_t AI_CALL setMoveTimeLimit(int32_t limit) AI_SYMBOL(setMoveTimeLimit, 4);
/* The twelve custom piece counts; true when the module accepts them. [false] */
AI_VISIBLE int32_t AI_CALL setCustomPieceCount(int32_t count1, int32_t count2, int32_t count3, int32_t count4,
                                               int32_t count5, int32_t count6, int32_t count7, int32_t count8,
                                               int32_t count9, int32_t count10, int32_t count11, int32_t count12)
    AI_SYMBOL(setCustomPieceCount, 48);

/* Setup and play */

/* A new game begins: forget the last one. */
AI_VISIBLE void AI_CALL initializeGame(void) AI_SYMBOL(initializeGame, 0);
/* Make the module's setup, playing `color`. */
AI_VISIBLE void AI_CALL createAISetup(int32_t color) AI_SYMBOL(createAISetup, 4);
/* The piece of the module's setup on square (x, y). [-1] */
AI_VISIBLE int32_t AI_CALL getAISetupPiece(int32_t x, int32_t y) AI_SYMBOL(getAISetupPiece, 8);
/* The host refused the piece of `rank` on square (x, y). */
AI_VISIBLE void AI_CALL illegalSetup(int32_t x, int32_t y, int32_t rank) AI_SYMBOL(illegalSetup, 12);
/* One piece of the opponent's setup, described by two values of the host's. */
AI_VISIBLE void AI_CALL setOpponentSetupPiece(int32_t first, int32_t second) AI_SYMBOL(setOpponentSetupPiece, 8);
/* Play begins. */
AI_VISIBLE void AI_CALL startGame(void) AI_SYMBOL(startGame, 0);
/* The module's move: fill all five bytes of `move` (the bridge's, valid during the call; bytes left
 * unwritten keep the previous move's). [the host's array is left as it was] */
AI_VISIBLE void AI_CALL getAIMove(ai_move *move) AI_SYMBOL(getAIMove, 4);
/* The host refused the module's move, given in `move` (the host's record: what the module writes there
 * goes back to the host). [false] */
AI_VISIBLE ai_bool8 AI_CALL illegalMove(ai_move *move) AI_SYMBOL(illegalMove, 4);
/* The result of the module's last move, against a piece of `rank`. [false] */
AI_VISIBLE ai_bool8 AI_CALL submitAIMoveResult(int32_t rank, int32_t result) AI_SYMBOL(submitAIMoveResult, 8);
/* The opponent's move from (fromX, fromY) to (toX, toY), with the rank and result it met. [false] */
AI_VISIBLE ai_bool8 AI_CALL submitOpponentMove(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY, int32_t rank,
                                               int32_t result) AI_SYMBOL(submitOpponentMove, 24);
/* The game is over, with `result` for `reason`. The one call whose C++ exceptions the bridge catches. */
AI_VISIBLE void AI_CALL endGame(int32_t result, int32_t reason) AI_SYMBOL(endGame, 8);
/* The game was broken off for `reason`. */
AI_VISIBLE void AI_CALL abortGame(int32_t reason) AI_SYMBOL(abortGame, 4);

/* Identity and chat: texts returned stay the module's. */

/* The module's name as players see it. [null] */
AI_VISIBLE const char *AI_CALL getPublicName(void) AI_SYMBOL(getPublicName, 0);
/* A chat line before the game, or null. [null] */
AI_VISIBLE const char *AI_CALL getPreGameChat(void) AI_SYMBOL(getPreGameChat, 0);
/* A chat line after the game, or null. [null] */
AI_VISIBLE const char *AI_CALL getPostGameChat(void) AI_SYMBOL(getPostGameChat, 0);

/* Post-game log: the opponent's original setup, square by square. */

/* The log begins. */
AI_VISIBLE void AI_CALL postGameLogStart(void) AI_SYMBOL(postGameLogStart, 0);
/* The opponent's piece of `rank` stood on square (x, y) at the start. */
AI_VISIBLE void AI_CALL postGameLogOriginalOpponentSetup(int32_t x, int32_t y, int32_t rank)
    AI_SYMBOL(postGameLogOriginalOpponentSetup, 12);
/* The log ends. */
AI_VISIBLE void AI_CALL postGameLogClose(void) AI_SYMBOL(postGameLogClose, 0);

#endif /* AI_MODULE_NO_DECLARATIONS */

#ifdef __cplusplus
}
#endif

#endif /* AI_MODULE_H */
