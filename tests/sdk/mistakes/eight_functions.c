/* Eight contract functions, defined as they should be. */
#include "ai_module.h"

int32_t AI_CALL initialize(const char *text) { return text != 0; }
int32_t AI_CALL setSkillLevel(int32_t level) { return level > 0; }
void AI_CALL setGameAids(int32_t aids) { (void)aids; }
int32_t AI_CALL getAISetupPiece(int32_t x, int32_t y) { return x + y; }
void AI_CALL getAIMove(ai_move *move) { move->special = 0; }
const char *AI_CALL getPublicName(void) { return "Eight"; }
void AI_CALL endGame(int32_t result, int32_t reason) { (void)result, (void)reason; }
void AI_CALL terminate(void) {}
