/* A module that crashes in one call of the smoke session, with calls on
 * either side of it that return: the session must report them all. */
#include "ai_module.h"

#include <stdint.h>

int32_t AI_CALL createGame(void) { return 1; }

int32_t AI_CALL getCreateGameMode(void) {
    /* Read at run time, so that the compiler keeps the store. */
    volatile uintptr_t unmapped = 16;
    *(volatile int32_t *)unmapped = 1;
    return 0;
}

const char *AI_CALL getPublicName(void) { return "Crasher"; }

void AI_CALL terminate(void) {}
