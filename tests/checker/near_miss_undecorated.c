/* abortGame exported as plain "abortGame". */
#include "near_miss_fixture.h"

int32_t AI_CALL createGame(void) { return 1; }

FIXTURE_EXPORT(void, abortGame, (int32_t reason), "abortGame");
void AI_CALL abortGame(int32_t reason) { (void)reason; }
