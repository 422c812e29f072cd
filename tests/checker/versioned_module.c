/* Exports under symbol versions (versioned_module.map), which a lookup by
 * name treats as the loader does: a name defined in a hidden version only
 * is not found; of a name with a hidden and a default version, the default
 * one is. */
int old_and_new_old(void) { return 1; }
int old_and_new_new(void) { return 2; }
__asm__(".symver old_and_new_old, old_and_new@VERS_1");
__asm__(".symver old_and_new_new, old_and_new@@VERS_2");

int hidden_only_implementation(void) { return 3; }
__asm__(".symver hidden_only_implementation, hidden_only@VERS_1");

int in_vers_2_only(void) { return 4; }
