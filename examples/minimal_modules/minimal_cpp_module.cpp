// The same player in C++: the declarations in ai_module.h carry C linkage,
// so definitions need no extern "C" of their own.
#include "ai_module.h"

#include <string>

namespace {
std::string opponent;
}

void AI_CALL setOpponentUsername(const char *name) { opponent = name ? name : ""; }

ai_bool8 AI_CALL submitOpponentMove(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) { return 1; }

void AI_CALL endGame(int32_t, int32_t) { opponent.clear(); }

const char *AI_CALL getPostGameChat(void) { return "well played"; }

void AI_CALL terminate(void) {}
