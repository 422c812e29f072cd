/*
 * Exports of every kind the module lookup must tell apart, built with a GNU
 * hash table, a SysV one or both (tests/loader/CMakeLists.txt). Each
 * function answers its own number, so a test can tell which it was given.
 */
int dependency_only_function(void);

int exported_function(void) { return 1; }
int exported_object = 2;
__attribute__((weak)) int weak_function(void) { return 3; }

/* An indirect function: the loader calls the resolver for its address. */
static int ifunc_implementation(void) { return 4; }
static int (*resolve_ifunc_function(void))(void) { return ifunc_implementation; }
int ifunc_function(void) __attribute__((ifunc("resolve_ifunc_function")));

/* Two versions of one name: VERS_1 hidden, VERS_2 the default. */
int versioned_old(void) { return 10; }
int versioned_new(void) { return 20; }
__asm__(".symver versioned_old, versioned@VERS_1");
__asm__(".symver versioned_new, versioned@@VERS_2");

/* A name that exists only in a hidden version. */
int hidden_only_implementation(void) { return 30; }
__asm__(".symver hidden_only_implementation, hidden_only@VERS_1");

/* A label with no symbol type, as assemblers leave one unless told. */
__asm__(".text\n"
        ".globl untyped_function\n"
        "untyped_function:\n"
        "    movl $5, %eax\n"
        "    ret\n");

/* Needs the dependency, so that the loader maps it with the module. */
int calls_dependency(void) { return dependency_only_function(); }
