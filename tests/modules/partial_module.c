/*
 * A module with only some exports and no terminate. Its truths are non-zero
 * values other than 1, and one has only high bits set, so a bridge that
 * judges a truth on its low byte answers false for joinGame.
 */
#include "ai_module.h"

int32_t AI_CALL createGame(void) { return 5; }

int32_t AI_CALL joinGame(void) { return 256; }

int32_t AI_CALL getCreateGameMode(void) { return 7; }

/* Wraps around like the host's int arithmetic instead of overflowing. */
int32_t AI_CALL getCreateGameOption(int32_t option) { return (int32_t)((uint32_t)option * 10u); }
