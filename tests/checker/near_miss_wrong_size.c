/* abortGame declared with two parameters, so exported as "_abortGame@8". */
#include "near_miss_fixture.h"

int32_t AI_CALL createGame(void) { return 1; }

FIXTURE_EXPORT(void, abortGame, (int32_t reason, int32_t extra), "_abortGame$8");
void AI_CALL abortGame(int32_t reason, int32_t extra) { (void)reason, (void)extra; }
