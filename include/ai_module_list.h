/*
 * ai_module_list.h: the contract's functions as one list, for code that
 * handles all of them alike (the bridge, the build's export lists, the
 * checker, the tests). A module author needs only ai_module.h.
 *
 * In C++ every entry is checked against its declaration in ai_module.h, so
 * the two cannot drift apart.
 *
 * To add a function: declare it in ai_module.h, add its X(...) entry below,
 * and give NativeAIBridge.java its native method (and tests/contract_names.cmake
 * its export name); every export list, forwarding method and check follows.
 */
#ifndef AI_MODULE_LIST_H
#define AI_MODULE_LIST_H

#include "ai_module.h"

#ifdef __cplusplus
#include <type_traits>
#endif

/*
 * X(result, name, bytes, (kind, name, ...), missing)
 *
 *   result   the result kind:
 *              VOID   no result
 *              TRUTH  int32 truth: true when non-zero (judged on all 32 bits)
 *              BOOL8  one-byte truth, passed on unchanged
 *              VALUE  int32 value, passed on as a number
 *              TEXT   module-owned NUL-terminated modified UTF-8, or null
 *   name     the function name, identical to the host's method name
 *   bytes    total parameter size, 4 per parameter; part of the export name
 *            "_<name>@<bytes>" and checked against the parameter count
 *   params   kind and name of each parameter, in the order they are passed:
 *              INT32     signed 32-bit integer
 *              FLAG      the host's boolean as a 32-bit integer, 0 or 1
 *              TEXT      borrowed NUL-terminated modified UTF-8
 *              MOVE_OUT  bridge-owned move record for the module to fill
 *              MOVE_IN   the host's move record for the module to read
 *   missing  the host's answer when the module lacks the function or no
 *            module is loaded (false and null are 0; ignored for VOID)
 */
#define AI_MODULE_FUNCTIONS(X)                                                                                         \
    X(TRUTH, initialize, 4, (TEXT, text), 0)                                                                           \
    X(VOID, terminate, 0, (), 0)                                                                                       \
    X(TRUTH, createGame, 0, (), 0)                                                                                     \
    X(TRUTH, joinGame, 0, (), 0)                                                                                       \
    X(VOID, gameCreated, 0, (), 0)                                                                                     \
    X(VOID, gameJoined, 0, (), 0)                                                                                      \
    X(VALUE, getCreateGameMode, 0, (), 0)                                                                              \
    X(VALUE, getCreateGameOption, 4, (INT32, option), 0)                                                               \
    X(TRUTH, newGameCreated, 8, (TEXT, owner, INT32, mode), 0)                                                         \
    X(TRUTH, newGameOption, 8, (INT32, option, INT32, value), 0)                                                       \
    X(VOID, setAIUsername, 4, (TEXT, name), 0)                                                                         \
    X(VOID, setOpponentUsername, 4, (TEXT, name), 0)                                                                   \
    X(TRUTH, setGameMode, 4, (INT32, mode), 0)                                                                         \
    X(TRUTH, setGameOption, 8, (INT32, option, INT32, value), 0)                                                       \
    X(VOID, setGameAids, 4, (FLAG, aids), 0)                                                                           \
    X(TRUTH, setSkillLevel, 4, (INT32, level), 0)                                                                      \
    X(TRUTH, setMoveTimeLimit, 4, (INT32, limit), 0)                                                                   \
    X(TRUTH, setCustomPieceCount, 48,                                                                                  \
      (INT32, count1, INT32, count2, INT32, count3, INT32, count4, INT32, count5, INT32, count6, INT32, count7, INT32, \
       count8, INT32, count9, INT32, count10, INT32, count11, INT32, count12),                                         \
      0)                                                                                                               \
    X(VOID, initializeGame, 0, (), 0)                                                                                  \
    X(VOID, createAISetup, 4, (INT32, color), 0)                                                                       \
    X(VALUE, getAISetupPiece, 8, (INT32, x, INT32, y), -1)                                                             \
    X(VOID, illegalSetup, 12, (INT32, x, INT32, y, INT32, rank), 0)                                                    \
    X(VOID, setOpponentSetupPiece, 8, (INT32, first, INT32, second), 0)                                                \
    X(VOID, startGame, 0, (), 0)                                                                                       \
    X(VOID, getAIMove, 4, (MOVE_OUT, move), 0)                                                                         \
    X(BOOL8, illegalMove, 4, (MOVE_IN, move), 0)                                                                       \
    X(BOOL8, submitAIMoveResult, 8, (INT32, rank, INT32, result), 0)                                                   \
    X(BOOL8, submitOpponentMove, 24, (INT32, fromX, INT32, fromY, INT32, toX, INT32, toY, INT32, rank, INT32, result), \
      0)                                                                                                               \
    X(VOID, endGame, 8, (INT32, result, INT32, reason), 0)                                                             \
    X(VOID, abortGame, 4, (INT32, reason), 0)                                                                          \
    X(TEXT, getPublicName, 0, (), 0)                                                                                   \
    X(TEXT, getPreGameChat, 0, (), 0)                                                                                  \
    X(TEXT, getPostGameChat, 0, (), 0)                                                                                 \
    X(VOID, postGameLogStart, 0, (), 0)                                                                                \
    X(VOID, postGameLogOriginalOpponentSetup, 12, (INT32, x, INT32, y, INT32, rank), 0)                                \
    X(VOID, postGameLogClose, 0, (), 0)

/* The number of functions, counted from the list. */
#define AI_COUNT_ONE_(result, name, bytes, params, missing) +1
enum { AI_MODULE_FUNCTION_COUNT = 0 AI_MODULE_FUNCTIONS(AI_COUNT_ONE_) };

/* The C types of the result and parameter kinds. */
#define AI_RESULT_VOID void
#define AI_RESULT_TRUTH int32_t
#define AI_RESULT_BOOL8 ai_bool8
#define AI_RESULT_VALUE int32_t
#define AI_RESULT_TEXT const char *
#define AI_PARAM_INT32 int32_t
#define AI_PARAM_FLAG int32_t
#define AI_PARAM_TEXT const char *
#define AI_PARAM_MOVE_OUT ai_move *
#define AI_PARAM_MOVE_IN ai_move *

/*
 * AI_PARAMS(bytes, params, NONE, FIRST, NEXT) walks a parameter list:
 * NONE for an empty list, FIRST(kind, name) for the first parameter and
 * NEXT(kind, name) for each later one, up to 12 parameters. The walk goes
 * by the list's own length; bytes must be 4 per parameter, which C++
 * checks (below) and the export name carries.
 */
#define AI_PARAMS(bytes, params, NONE, FIRST, NEXT) \
    AI_PARAMS_WALK_(AI_PARAMS_ARITY_ params, NONE, FIRST, NEXT, AI_PARAMS_UNWRAP_ params)
#define AI_PARAMS_UNWRAP_(...) __VA_ARGS__
#define AI_PARAMS_CAT_(a, b) a##b
#define AI_PARAMS_WALK_(arity, N, F, X, ...) AI_PARAMS_CAT_(AI_PARAMS_W, arity)(N, F, X, __VA_ARGS__)
/* How many macro arguments a list holds: 1 for the empty list, else twice
 * the parameters (a kind and a name each). */
#define AI_PARAMS_ARITY_(...)                                                                                        \
    AI_PARAMS_PICK_(__VA_ARGS__, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, \
                    1, 0)
#define AI_PARAMS_PICK_(a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, \
                        a21, a22, a23, a24, n, ...)                                                                \
    n
/* The number of parameters of a list. */
#define AI_PARAM_COUNT(params) (AI_PARAMS_ARITY_ params / 2)
#define AI_PARAMS_W1(N, F, X, empty) N
#define AI_PARAMS_W2(N, F, X, k1, a1) F(k1, a1)
#define AI_PARAMS_W4(N, F, X, k1, a1, ...) F(k1, a1) AI_PARAMS_X2_(X, __VA_ARGS__)
#define AI_PARAMS_W6(N, F, X, k1, a1, ...) F(k1, a1) AI_PARAMS_X4_(X, __VA_ARGS__)
#define AI_PARAMS_W8(N, F, X, k1, a1, ...) F(k1, a1) AI_PARAMS_X6_(X, __VA_ARGS__)
#define AI_PARAMS_W10(N, F, X, k1, a1, ...) F(k1, a1) AI_PARAMS_X8_(X, __VA_ARGS__)
#define AI_PARAMS_W12(N, F, X, k1, a1, ...) F(k1, a1) AI_PARAMS_X10_(X, __VA_ARGS__)
#define AI_PARAMS_W14(N, F, X, k1, a1, ...) F(k1, a1) AI_PARAMS_X12_(X, __VA_ARGS__)
#define AI_PARAMS_W16(N, F, X, k1, a1, ...) F(k1, a1) AI_PARAMS_X14_(X, __VA_ARGS__)
#define AI_PARAMS_W18(N, F, X, k1, a1, ...) F(k1, a1) AI_PARAMS_X16_(X, __VA_ARGS__)
#define AI_PARAMS_W20(N, F, X, k1, a1, ...) F(k1, a1) AI_PARAMS_X18_(X, __VA_ARGS__)
#define AI_PARAMS_W22(N, F, X, k1, a1, ...) F(k1, a1) AI_PARAMS_X20_(X, __VA_ARGS__)
#define AI_PARAMS_W24(N, F, X, k1, a1, ...) F(k1, a1) AI_PARAMS_X22_(X, __VA_ARGS__)
/* X for each of the remaining kind-name pairs. */
#define AI_PARAMS_X2_(X, k, a) X(k, a)
#define AI_PARAMS_X4_(X, k, a, ...) X(k, a) AI_PARAMS_X2_(X, __VA_ARGS__)
#define AI_PARAMS_X6_(X, k, a, ...) X(k, a) AI_PARAMS_X4_(X, __VA_ARGS__)
#define AI_PARAMS_X8_(X, k, a, ...) X(k, a) AI_PARAMS_X6_(X, __VA_ARGS__)
#define AI_PARAMS_X10_(X, k, a, ...) X(k, a) AI_PARAMS_X8_(X, __VA_ARGS__)
#define AI_PARAMS_X12_(X, k, a, ...) X(k, a) AI_PARAMS_X10_(X, __VA_ARGS__)
#define AI_PARAMS_X14_(X, k, a, ...) X(k, a) AI_PARAMS_X12_(X, __VA_ARGS__)
#define AI_PARAMS_X16_(X, k, a, ...) X(k, a) AI_PARAMS_X14_(X, __VA_ARGS__)
#define AI_PARAMS_X18_(X, k, a, ...) X(k, a) AI_PARAMS_X16_(X, __VA_ARGS__)
#define AI_PARAMS_X20_(X, k, a, ...) X(k, a) AI_PARAMS_X18_(X, __VA_ARGS__)
#define AI_PARAMS_X22_(X, k, a, ...) X(k, a) AI_PARAMS_X20_(X, __VA_ARGS__)

/* A C parameter declaration list: "void" or "int32_t x, int32_t y". */
#define AI_DECL_NONE_ void
#define AI_DECL_FIRST_(kind, name) AI_PARAM_##kind name
#define AI_DECL_NEXT_(kind, name) , AI_PARAM_##kind name
#define AI_DECL_PARAMS(bytes, params) AI_PARAMS(bytes, params, AI_DECL_NONE_, AI_DECL_FIRST_, AI_DECL_NEXT_)

#if defined(__cplusplus) && !defined(AI_MODULE_NO_DECLARATIONS)
/* Each entry against its declaration: result, convention and parameters. */
#define AI_CHECK_DECLARATION_(result, name, bytes, params, missing)                                           \
    static_assert(                                                                                            \
        std::is_same<decltype(&::name), AI_RESULT_##result(AI_CALL *)(AI_DECL_PARAMS(bytes, params))>::value, \
        "ai_module_list.h: the entry of " #name " differs from its declaration in ai_module.h");              \
    static_assert(bytes == 4 * AI_PARAM_COUNT(params),                                                        \
                  "ai_module_list.h: the bytes of " #name " are not 4 per parameter");
AI_MODULE_FUNCTIONS(AI_CHECK_DECLARATION_)
#undef AI_CHECK_DECLARATION_
#endif

#endif /* AI_MODULE_LIST_H */
