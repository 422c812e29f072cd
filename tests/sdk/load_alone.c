/*
 * A host with nothing beside it: loads the module given by its absolute
 * path, as a JVM loads a bridge and the bridge a module, asks it for an
 * option it does not know (which it looks up with an exception it catches
 * itself) and calls its endGame with a result the module throws on. Given a
 * second DLL, it loads that first, as a host may have loaded GCC's shared
 * unwinder before (libgcc_s_dw2-1.dll, which a module built with the shared
 * runtime brings). Exit status 0 when the module loaded (so every DLL it
 * imports came from Windows itself) and both exceptions stayed inside it;
 * 2 when it did not load, with the error. Windows only; C, so that it needs
 * no runtime DLL of its own.
 *
 *   load_alone <module.dll> [<DLL to load first>]
 */
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

typedef int(__stdcall *option_fn)(int);
typedef void(__stdcall *end_game_fn)(int, int);

int wmain(int argc, wchar_t **argv) {
    if (argc != 2 && argc != 3) {
        fwprintf(stderr, L"usage: load_alone <module.dll> [<DLL to load first>]\n");
        return 1;
    }
    if (argc == 3 && !LoadLibraryW(argv[2])) {
        fwprintf(stderr, L"load_alone: LoadLibraryW(%ls) failed with error %lu\n", argv[2], GetLastError());
        return 2;
    }
    HMODULE module = LoadLibraryW(argv[1]);
    if (!module) {
        fwprintf(stderr, L"load_alone: LoadLibraryW(%ls) failed with error %lu\n", argv[1], GetLastError());
        return 2;
    }
    option_fn option = (option_fn)(void *)GetProcAddress(module, "_getCreateGameOption@4");
    end_game_fn end_game = (end_game_fn)(void *)GetProcAddress(module, "_endGame@8");
    if (!option || !end_game) {
        fwprintf(stderr, L"load_alone: the module exports no _getCreateGameOption@4 or _endGame@8\n");
        return 1;
    }
    printf("load_alone: getCreateGameOption(99) returned %d\n", option(99));
    end_game(-1, 0);
    printf("load_alone: endGame returned\n");
    FreeLibrary(module);
    return 0;
}
