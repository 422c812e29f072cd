/*
 * A module with three of the contract's functions. Their results depend on
 * every argument and on state shared between them, so a caller reaching the
 * wrong function, or losing or reordering an argument, gets a wrong answer.
 */
#include "ai_module.h"

static int32_t last_abort_reason;

/* Neither is in the contract: both must stay out of the exports. */
int32_t exports_test_helper(void) { return 42; }
int32_t exports_test_counter = 3;

int32_t createGame(void) { return 1; }

void abortGame(int32_t reason) { last_abort_reason = reason; }

/* Sum of position * count, plus 1000 times the last abort reason. */
int32_t setCustomPieceCount(int32_t count1, int32_t count2, int32_t count3, int32_t count4, int32_t count5,
                            int32_t count6, int32_t count7, int32_t count8, int32_t count9, int32_t count10,
                            int32_t count11, int32_t count12) {
    return 1 * count1 + 2 * count2 + 3 * count3 + 4 * count4 + 5 * count5 + 6 * count6 + 7 * count7 + 8 * count8 +
           9 * count9 + 10 * count10 + 11 * count11 + 12 * count12 + 1000 * last_abort_reason;
}
