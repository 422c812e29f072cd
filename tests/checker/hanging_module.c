/* A module whose getPublicName never returns: the checker's smoke session
 * must stop it after its time limit and say which call hung. */
#include "ai_module.h"

const char *AI_CALL getPublicName(void) {
    volatile int forever = 1;
    while (forever) {
    }
    return "never";
}
