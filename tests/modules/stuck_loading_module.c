/* A module whose constructor never returns: loading it never ends. */
#include "ai_module.h"

#include <unistd.h>

__attribute__((constructor)) static void never_done(void) {
    for (;;)
        sleep(1);
}

const char *AI_CALL getPublicName(void) { return "never loaded"; }
