/*
 * 20,000 more exported functions for the benchmark's large module: a C++
 * module built with default visibility easily exports that many. They are
 * named like contract functions ("_extra10000$0", made "_extra10000@0" by
 * the export naming step).
 */
#include "ai_module.h"

#define EXTRA(n)                                              \
    AI_VISIBLE void extra##n(void) __asm__("_extra" #n "$0"); \
    void extra##n(void) {}
#define EXTRA10(n) \
    EXTRA(n##0)    \
    EXTRA(n##1) EXTRA(n##2) EXTRA(n##3) EXTRA(n##4) EXTRA(n##5) EXTRA(n##6) EXTRA(n##7) EXTRA(n##8) EXTRA(n##9)
#define EXTRA100(n) \
    EXTRA10(n##0)   \
    EXTRA10(n##1)   \
    EXTRA10(n##2) EXTRA10(n##3) EXTRA10(n##4) EXTRA10(n##5) EXTRA10(n##6) EXTRA10(n##7) EXTRA10(n##8) EXTRA10(n##9)
#define EXTRA1000(n)                                                                                         \
    EXTRA100(n##0)                                                                                           \
    EXTRA100(n##1)                                                                                           \
    EXTRA100(n##2) EXTRA100(n##3) EXTRA100(n##4) EXTRA100(n##5) EXTRA100(n##6) EXTRA100(n##7) EXTRA100(n##8) \
        EXTRA100(n##9)

EXTRA1000(10)
EXTRA1000(11)
EXTRA1000(12) EXTRA1000(13) EXTRA1000(14) EXTRA1000(15) EXTRA1000(16) EXTRA1000(17) EXTRA1000(18) EXTRA1000(19)
    EXTRA1000(20) EXTRA1000(21) EXTRA1000(22) EXTRA1000(23) EXTRA1000(24) EXTRA1000(25) EXTRA1000(26) EXTRA1000(27)
        EXTRA1000(28) EXTRA1000(29)
