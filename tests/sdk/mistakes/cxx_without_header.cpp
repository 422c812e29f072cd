// Contract functions written without ai_module.h: C++ linkage, so their
// symbols are mangled and no bridge would find them.
#include <cstdint>

std::int32_t setSkillLevel(std::int32_t level) { return level > 0; }

const char *getPublicName() { return "Nameless"; }
