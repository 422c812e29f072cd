/*
 * Load and unload lines from the library's entry point: the loader calls it
 * when it maps the module into the process and when it unmaps it (the last
 * FreeLibrary, or the end of the process).
 */
#include <windows.h>

#include "tarrowby_log.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    /* Thread notices are not about the module: nothing to say. */
    if (reason == DLL_PROCESS_ATTACH)
        tarrowby_log(TARROWBY_ATTACH_LINE);
    else if (reason == DLL_PROCESS_DETACH)
        tarrowby_log(TARROWBY_DETACH_LINE);
    return TRUE;
}
