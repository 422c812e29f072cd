/* A library the lookup modules depend on: its export is in their search
 * scope for dlsym, but not in their own export tables. */
int dependency_only_function(void) { return 100; }
