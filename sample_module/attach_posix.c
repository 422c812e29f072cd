/*
 * Load and unload lines where the platform has no library entry point:
 * the loader runs these when it maps the module and when it really unmaps
 * it, which dlclose does on the last close (the module is built without
 * unique symbols or no-delete, which would pin it until process exit).
 */
#include "tarrowby_log.h"

__attribute__((constructor)) static void tarrowby_attached(void) { tarrowby_log(TARROWBY_ATTACH_LINE); }

__attribute__((destructor)) static void tarrowby_detached(void) { tarrowby_log(TARROWBY_DETACH_LINE); }
