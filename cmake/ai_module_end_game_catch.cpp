// Added by add_ai_module to every C++ module it builds for Windows: the
// module's exported endGame is this function, which runs the author's
// endGame and lets no exception out of it. The bridge swallows such an
// exception too, but on 32-bit Windows it can catch only exceptions that
// unwind through the GCC runtime DLL it shares; a module that carries its
// own runtime, as add_ai_module builds it, must catch them itself.
#include "ai_module.h"

// Weak: a module without an endGame of its own still links; this function
// is then not exported (the export list names it only when the module
// defines endGame).
extern "C" void AI_CALL endGame(int32_t result, int32_t reason) __attribute__((weak));

extern "C" void AI_CALL ai_module_caught_endGame(int32_t result, int32_t reason) {
    try {
        if (endGame)
            endGame(result, reason);
    } catch (...) {
    }
}

// What tells aimodule-check, from the file alone, that the module catches
// its own endGame exceptions.
extern "C" __attribute__((used)) const char ai_module_end_game_catch_mark[] =
    "ai_module: endGame catches its own exceptions";
