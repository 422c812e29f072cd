// A contract function defined with ai_module.h included but other
// parameters: in C++ that is another function, with C++ linkage.
#include "ai_module.h"

int32_t AI_CALL setSkillLevel(int32_t level, int32_t speed) { return level + speed > 0; }

const char *AI_CALL getPublicName(void) { return "Two levels"; }
