/* getAIMove misspelt: it builds, but no host would ever call it. */
#include "ai_module.h"

void AI_CALL getAiMove(ai_move *move) { move->special = 0; }

const char *AI_CALL getPublicName(void) { return "Misspelt"; }
