// A module whose endGame throws a C++ exception; the other functions show
// that the module keeps working after the bridge swallowed it.
#include "ai_module.h"

#include <stdexcept>

extern "C" void AI_CALL endGame(int32_t, int32_t) { throw std::runtime_error("endGame failed"); }

extern "C" int32_t AI_CALL getCreateGameOption(int32_t option) { return option + 1; }
