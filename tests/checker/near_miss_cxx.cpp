// abortGame defined with C++ linkage, so exported under a mangled name.
#include "near_miss_fixture.h"

extern "C" int32_t AI_CALL createGame(void) { return 1; }

#if !defined(_WIN32)
__attribute__((visibility("default")))
#endif
void AI_CALL
abortGame(int32_t reason) {
    (void)reason;
}
