// The same player in C++: the declarations in ai_module.h carry C linkage,
// so definitions need no extern "C" of their own.
#include "ai_module.h"

#include <map>
#include <stdexcept>
#include <string>

namespace {
std::string opponent;
std::map<int32_t, int32_t> options;
} // namespace

void AI_CALL setOpponentUsername(const char *name) { opponent = name ? name : ""; }

int32_t AI_CALL setGameOption(int32_t option, int32_t value) {
    options[option] = value;
    return 1;
}

// An exception out of any function but endGame would reach the host:
// catch your own.
int32_t AI_CALL getCreateGameOption(int32_t option) {
    try {
        return options.at(option);
    } catch (const std::out_of_range &) {
        return 0;
    }
}

ai_bool8 AI_CALL submitOpponentMove(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) { return 1; }

// endGame is the one function whose exceptions the contract allows: one
// that leaves it ends there, never in the host.
void AI_CALL endGame(int32_t result, int32_t) {
    opponent.clear();
    if (result < 0)
        throw std::invalid_argument("no such result");
}

const char *AI_CALL getPostGameChat(void) { return "well played"; }

void AI_CALL terminate(void) {}
