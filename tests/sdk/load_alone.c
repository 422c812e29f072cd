/*
 * A host with nothing beside it: loads the module given by its absolute
 * path, as a JVM loads a bridge and the bridge a module, and calls its
 * endGame with a result the module throws on. Exit status 0 when the
 * module loaded (so every DLL it imports came from Windows itself) and the
 * exception stayed inside it; 2 when it did not load, with the error.
 * Windows only; C, so that it needs no runtime DLL of its own.
 *
 *   load_alone <module.dll>
 */
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

typedef void(__stdcall *end_game_fn)(int, int);

int wmain(int argc, wchar_t **argv) {
    if (argc != 2) {
        fwprintf(stderr, L"usage: load_alone <module.dll>\n");
        return 1;
    }
    HMODULE module = LoadLibraryW(argv[1]);
    if (!module) {
        fwprintf(stderr, L"load_alone: LoadLibraryW(%ls) failed with error %lu\n", argv[1], GetLastError());
        return 2;
    }
    end_game_fn end_game = (end_game_fn)(void *)GetProcAddress(module, "_endGame@8");
    if (!end_game) {
        fwprintf(stderr, L"load_alone: the module exports no _endGame@8\n");
        return 1;
    }
    end_game(-1, 0);
    printf("load_alone: endGame returned\n");
    FreeLibrary(module);
    return 0;
}
