/* abortGame left under the build's placeholder "_abortGame$4", as when the
 * post-link naming step does not run. */
#include "near_miss_fixture.h"

int32_t AI_CALL createGame(void) { return 1; }

FIXTURE_EXPORT(void, abortGame, (int32_t reason), "_abortGame$4");
void AI_CALL abortGame(int32_t reason) { (void)reason; }
