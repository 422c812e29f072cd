/* A module that makes calls the sandbox refuses from where every signal is
 * blocked, as the C library does around the process system() starts and
 * as many worker threads do: the sandbox refuses them, and the checker's
 * sandboxed session names them without ending the module. */
#include "ai_module.h"

#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

static void *open_with_signals_blocked(void *unused) {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, NULL);
    FILE *file = fopen("/etc/hostname", "r");
    if (file)
        fclose(file);
    return unused;
}

int32_t AI_CALL getCreateGameOption(int32_t option) {
    pthread_t worker;
    (void)system("true");
    if (pthread_create(&worker, NULL, open_with_signals_blocked, NULL) == 0)
        pthread_join(worker, NULL);
    return option;
}
