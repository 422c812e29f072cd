#include "tarrowby_log.h"

#include <stdarg.h>
#include <stdio.h>

void tarrowby_log(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(stdout, format, args);
    va_end(args);
    fflush(stdout);
}
