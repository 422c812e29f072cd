/* A module whose constructor (DllMain on Windows) does what the environment
 * variable CONSTRUCTOR_MODULE_DOES says: "read" reads a file outside its
 * folder, "crash" crashes. With --sandbox the checker must run none of it
 * in its own process, name the read as the load's, and say that the load
 * ended its child. */
#include "ai_module.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <stdlib.h>
#endif

static const char *answer = "Constructed";

static void construct(void) {
    char does[16] = "";
#if defined(_WIN32)
    GetEnvironmentVariableA("CONSTRUCTOR_MODULE_DOES", does, sizeof does);
    const char *outside = "C:\\windows\\win.ini";
#else
    const char *named = getenv("CONSTRUCTOR_MODULE_DOES");
    if (named)
        strncpy(does, named, sizeof does - 1);
    const char *outside = "/etc/hostname";
#endif
    if (strcmp(does, "read") == 0) {
        FILE *file = fopen(outside, "rb");
        if (file)
            fclose(file);
    } else if (strcmp(does, "crash") == 0) {
        /* Read at run time, so that the compiler keeps the store. */
        volatile uintptr_t unmapped = 16;
        *(volatile int32_t *)unmapped = 1;
    }
}

#if defined(_WIN32)
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance, (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        construct();
    return TRUE;
}
#else
__attribute__((constructor)) static void constructed(void) { construct(); }
#endif

const char *AI_CALL getPublicName(void) { return answer; }
