/*
 * A module whose loaded segments have an unmapped gap between them (the
 * link options in CMakeLists.txt), and a large zero-filled object, which
 * the test makes its symbol table so that a table of many symbols still
 * fits a mapped segment. The test patches its GNU hash table so that one
 * bucket's chain starts in the gap.
 */
char zero_filled[1 << 20];

int gap_module_function(void) { return 7; }

/* A word in the executable segment that ends a hash chain (bit 0 set). */
__asm__(".text\n.p2align 2\n.long 0xffffffff\n");
