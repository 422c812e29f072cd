/*
 * One-byte truths returned in a full register whose upper bits are not
 * zero: only the low byte is the answer. Declared here as 32-bit returns on
 * purpose, under the contract's export names. And two texts a host must not
 * be given: one in standard UTF-8 that is not modified UTF-8 (a code point
 * above U+FFFF in four bytes), and one in the returning function's own stack
 * frame.
 */
#define AI_MODULE_NO_DECLARATIONS
#include "ai_module.h"

/* Low byte 0xA7: passed on as it is, read as true. */
AI_VISIBLE int32_t AI_CALL submitAIMoveResult(int32_t rank, int32_t result) AI_SYMBOL(submitAIMoveResult, 8);
/* Low byte 0x00 under set upper bits: false. */
AI_VISIBLE int32_t AI_CALL submitOpponentMove(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY, int32_t rank,
                                              int32_t result) AI_SYMBOL(submitOpponentMove, 24);
/* Low byte 0x01 under set upper bits: true. */
AI_VISIBLE int32_t AI_CALL illegalMove(void *move) AI_SYMBOL(illegalMove, 4);
/* U+1F600 in four bytes, where modified UTF-8 has two surrogates of three. */
AI_VISIBLE const char *AI_CALL getPublicName(void) AI_SYMBOL(getPublicName, 0);
/* Sound text, in a frame that is gone when the caller reads it. */
AI_VISIBLE const char *AI_CALL getPreGameChat(void) AI_SYMBOL(getPreGameChat, 0);

int32_t AI_CALL submitAIMoveResult(int32_t rank, int32_t result) {
    (void)rank;
    (void)result;
    return 0x12A7;
}

int32_t AI_CALL submitOpponentMove(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY, int32_t rank,
                                   int32_t result) {
    (void)fromX, (void)fromY, (void)toX, (void)toY, (void)rank, (void)result;
    return 0x7F00;
}

int32_t AI_CALL illegalMove(void *move) {
    (void)move;
    return 0x5501;
}

const char *AI_CALL getPublicName(void) { return "Wide \xF0\x9F\x98\x80"; }

/* Not instrumented, so that a sanitizer keeps the frame on the thread's own
 * stack; the volatile pointer keeps the compiler from returning null in
 * place of a local's address. */
#if defined(__clang__) || defined(__GNUC__)
__attribute__((no_sanitize_address, noinline))
#endif
const char *AI_CALL
getPreGameChat(void) {
    char chat[16] = "gone soon";
    const char *volatile escaped = chat;
    return escaped;
}
