/* A computer player that always offers the same opening move and accepts
 * every setting. Functions it leaves out get the host's default answer. */
#include "ai_module.h"

int32_t AI_CALL initialize(const char *text) {
    (void)text;
    return 1;
}

int32_t AI_CALL setSkillLevel(int32_t level) { return level >= 0; }

/* The host's boolean, 0 or 1, as a plain int32_t. */
static int32_t game_aids;
void AI_CALL setGameAids(int32_t aids) { game_aids = aids; }

int32_t AI_CALL getAISetupPiece(int32_t x, int32_t y) { return (x + y) % 12; }

void AI_CALL getAIMove(ai_move *move) {
    move->fromX = 0;
    move->fromY = 3;
    move->toX = 0;
    move->toY = 4;
    move->special = 0;
}

const char *AI_CALL getPublicName(void) { return "Minimal C player"; }
