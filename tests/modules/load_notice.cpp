// Tells the probe when the loader maps and unmaps the scripted module, so a
// test can see whether an unload really happened.
#include "probe.h"

#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH || reason == DLL_PROCESS_DETACH)
        probe_module_loaded(reason == DLL_PROCESS_ATTACH);
    return TRUE;
}
#else
__attribute__((constructor)) static void module_loaded() { probe_module_loaded(1); }
__attribute__((destructor)) static void module_unloaded() { probe_module_loaded(0); }
#endif
