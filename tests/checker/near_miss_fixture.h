/*
 * Modules misnamed on purpose. createGame comes from the contract's own
 * declaration; the misnamed function is declared by the fixture, under the
 * symbol given (with '$' for '@', which the post-link step rewrites).
 */
#define AI_MODULE_NO_DECLARATIONS
#include "ai_module.h"

#ifdef __cplusplus
extern "C" {
#endif
AI_VISIBLE int32_t AI_CALL createGame(void) AI_SYMBOL(createGame, 0);
#ifdef __cplusplus
}
#endif

/* On ELF the symbol is the export; on Windows the function gets an internal
 * name that the fixture's module-definition file exports under the
 * misnamed one. */
#if defined(_WIN32)
/* The linker's name is "fixture_<name>": the label carries the target's
 * prefix of C names ("_" on x86, none on x64). */
#define FIXTURE_STRING_(text) #text
#define FIXTURE_LABEL_(prefix, name) FIXTURE_STRING_(prefix) "fixture_" #name
#define FIXTURE_EXPORT(result, name, params, symbol) \
    result AI_CALL name params __asm__(FIXTURE_LABEL_(__USER_LABEL_PREFIX__, name))
#else
#define FIXTURE_EXPORT(result, name, params, symbol) AI_VISIBLE result AI_CALL name params __asm__(symbol)
#endif
