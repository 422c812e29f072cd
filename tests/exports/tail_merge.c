/*
 * Two exports where one name is the tail of the other: linkers store such a
 * name once, inside the longer one, so renaming "_tail$4" in place would also
 * change "$4", which is no placeholder and must keep its name.
 */
__attribute__((visibility("default"))) int placeholder(void) __asm__("_tail$4");
__attribute__((visibility("default"))) int plain(void) __asm__("$4");

int placeholder(void) { return 1; }
int plain(void) { return 2; }
