/*
 * The probe: a small shared library that the scripted test module and the
 * test program both link, so a test can script the module's answers and
 * read back what reached it, while the module itself exports nothing but
 * the contract's names.
 */
#ifndef TEST_PROBE_H
#define TEST_PROBE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(TEST_PROBE_BUILDING)
#define PROBE_API __declspec(dllexport)
#else
#define PROBE_API __declspec(dllimport)
#endif
#else
#define PROBE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Forgets every recorded call and scripted answer. */
PROBE_API void probe_reset(void);

/* Calls recorded by the module, one line each: "name(arg,arg)". */
PROBE_API void probe_record(const char *line);
/* Tells `observer` of every line as it is recorded (null: nobody). */
PROBE_API void probe_observe(void (*observer)(const char *line, void *context), void *context);
PROBE_API size_t probe_call_count(void);
PROBE_API const char *probe_call(size_t index);

/* The numeric answer of a function; `fallback` when none was scripted. */
PROBE_API void probe_set_answer(const char *function, int32_t answer);
PROBE_API int32_t probe_answer(const char *function, int32_t fallback);

/* The text answer of a function (null allowed); `fallback` when unscripted. */
PROBE_API void probe_set_text(const char *function, const char *text);
PROBE_API const char *probe_text(const char *function, const char *fallback);

/* The bytes getAIMove and illegalMove write: byte i when bit i of mask. */
PROBE_API void probe_set_move(const uint8_t bytes[5], unsigned mask);
PROBE_API unsigned probe_move(uint8_t bytes[5]);

/* Makes the named function throw a C++ exception; so does the environment
 * variable TEST_PROBE_THROWS=<function>. */
PROBE_API void probe_set_throws(const char *function);
PROBE_API int probe_throws(const char *function);

/* Load and unload notices of the module. */
PROBE_API void probe_module_loaded(int loaded);
PROBE_API int probe_loads(void);
PROBE_API int probe_unloads(void);

#ifdef __cplusplus
}
#endif

#endif
