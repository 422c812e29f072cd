/* A module that says when it is loaded and unloaded, as modules often do,
 * through the C library's buffered standard output and nothing else: those
 * lines reach the host only if whoever loads the module lets the buffer be
 * written before the process ends. */
#include "ai_module.h"

#include <stdio.h>

__attribute__((constructor)) static void loaded(void) { printf("logging module: loaded\n"); }

__attribute__((destructor)) static void unloaded(void) { printf("logging module: unloaded\n"); }

const char *AI_CALL getPublicName(void) { return "logging module"; }
