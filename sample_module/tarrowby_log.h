#ifndef TARROWBY_LOG_H
#define TARROWBY_LOG_H

/*
 * Writes one whole line to standard output and flushes it at once, so that
 * the lines keep their order with the host's own output on a pipe or in a
 * file, and none is lost in a buffer if the host dies.
 */
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void tarrowby_log(const char *format, ...);

#define TARROWBY_ATTACH_LINE "Tarrowby: DLLMAIN - DLL_PROCESS_ATTACH\n"
#define TARROWBY_DETACH_LINE "Tarrowby: DLLMAIN - DLL_PROCESS_DETACH\n"

#endif
