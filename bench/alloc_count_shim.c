/*
 * Counts native heap allocations made by one thread while it asks for it.
 *
 * Preloaded (LD_PRELOAD) into the benchmark's VM, this library stands in for
 * the C heap functions and hands each call on to the C library's own
 * implementation (__libc_malloc and friends, which are not interposable, so
 * there is no lookup and no recursion at start-up). A thread calls
 * vantrell_bench_count_begin(), runs the calls it wants measured, then
 * vantrell_bench_count_end(); only that thread's heap calls between the two
 * are counted. The VM's own threads (compilers, collector) allocate all the
 * time, which is why the counters are thread-local rather than global.
 *
 * The benchmark's JNI library finds the two functions with dlsym at run
 * time; without the preload it reports the counts as unavailable.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <unistd.h>

extern void *__libc_malloc(size_t size);
extern void *__libc_calloc(size_t count, size_t size);
extern void *__libc_realloc(void *pointer, size_t size);
extern void __libc_free(void *pointer);
extern void *__libc_memalign(size_t alignment, size_t size);

#define SHIM_EXPORT __attribute__((visibility("default")))
/* A preloaded library's thread-locals live in the static block, so the
 * initial-exec model needs no call to reach them, even inside malloc. */
#define SHIM_TLS __thread __attribute__((tls_model("initial-exec")))

static SHIM_TLS int counting;
static SHIM_TLS uint64_t allocations;
static SHIM_TLS uint64_t releases;

static inline void note_allocation(void) {
    if (counting)
        ++allocations;
}

static inline void note_release(void *pointer) {
    if (counting && pointer)
        ++releases;
}

SHIM_EXPORT void vantrell_bench_count_begin(void) {
    allocations = 0;
    releases = 0;
    counting = 1;
}

SHIM_EXPORT void vantrell_bench_count_end(uint64_t *allocated, uint64_t *released) {
    counting = 0;
    *allocated = allocations;
    *released = releases;
}

SHIM_EXPORT void *malloc(size_t size) {
    note_allocation();
    return __libc_malloc(size);
}

SHIM_EXPORT void *calloc(size_t count, size_t size) {
    note_allocation();
    return __libc_calloc(count, size);
}

/* A realloc of null allocates and one to size 0 releases; any other realloc
 * counts as one allocation, since it may move the block. */
SHIM_EXPORT void *realloc(void *pointer, size_t size) {
    if (pointer && size == 0)
        note_release(pointer);
    else
        note_allocation();
    return __libc_realloc(pointer, size);
}

SHIM_EXPORT void *reallocarray(void *pointer, size_t count, size_t size) {
    size_t total;
    if (__builtin_mul_overflow(count, size, &total)) {
        errno = ENOMEM;
        return NULL;
    }
    return realloc(pointer, total);
}

SHIM_EXPORT void free(void *pointer) {
    note_release(pointer);
    __libc_free(pointer);
}

SHIM_EXPORT void *memalign(size_t alignment, size_t size) {
    note_allocation();
    return __libc_memalign(alignment, size);
}

SHIM_EXPORT void *aligned_alloc(size_t alignment, size_t size) {
    note_allocation();
    return __libc_memalign(alignment, size);
}

SHIM_EXPORT int posix_memalign(void **result, size_t alignment, size_t size) {
    if (alignment < sizeof(void *) || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    note_allocation();
    void *pointer = __libc_memalign(alignment, size);
    if (!pointer && size != 0)
        return ENOMEM;
    *result = pointer;
    return 0;
}

SHIM_EXPORT void *valloc(size_t size) {
    note_allocation();
    return __libc_memalign((size_t)sysconf(_SC_PAGESIZE), size);
}

SHIM_EXPORT void *pvalloc(size_t size) {
    size_t page = (size_t)sysconf(_SC_PAGESIZE);
    note_allocation();
    return __libc_memalign(page, (size + page - 1) & ~(page - 1));
}
