/*
 * The benchmark's module: the five functions the benchmark times, plus
 * terminate, each doing next to nothing and printing nothing, so that what
 * is measured is the path to the module rather than the module. Every other
 * function of the contract is left out on purpose: the benchmark times the
 * bridge's answer for a function the module lacks (setMoveTimeLimit).
 */
#include "ai_module.h"

#include <stddef.h>

static int32_t skill_level;
static uint8_t move_counter;

int32_t AI_CALL initialize(const char *text) { return text != NULL && text[0] != '\0'; }

void AI_CALL terminate(void) {
    skill_level = 0;
    move_counter = 0;
}

int32_t AI_CALL setSkillLevel(int32_t level) {
    skill_level = level;
    return 1;
}

ai_bool8 AI_CALL submitOpponentMove(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY, int32_t rank,
                                    int32_t result) {
    /* A move onto its own square is refused; everything else is accepted. */
    (void)rank;
    (void)result;
    return (ai_bool8)(fromX != toX || fromY != toY);
}

const char *AI_CALL getPublicName(void) { return "Quiet benchmark module"; }

void AI_CALL getAIMove(ai_move *move) {
    /* Changes between calls, so a caller that kept a stale copy would show. */
    ++move_counter;
    move->fromX = 1;
    move->fromY = 2;
    move->toX = 1;
    move->toY = 3;
    move->special = move_counter;
}
