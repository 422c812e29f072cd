/* abortGame exported as "abortGame@4": decorated, but without the leading
 * underscore. createGame is exported correctly. */
#include "near_miss_fixture.h"

int32_t AI_CALL createGame(void) { return 1; }

FIXTURE_EXPORT(void, abortGame, (int32_t reason), "abortGame$4");
void AI_CALL abortGame(int32_t reason) { (void)reason; }
