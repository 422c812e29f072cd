/*
 * Loaded into every 32-bit Wine process that runs under qemu-i386 user
 * emulation (through the guest's /etc/ld.so.preload, see setup-i386-wine.sh).
 *
 * Wine turns a SIGSEGV into a Windows exception code by the trap number in
 * the signal's context: 14 (page fault) becomes an access violation
 * (c0000005), 13 (general protection) a privileged instruction or an access
 * violation. qemu leaves that number at -1, so Wine would report every
 * access violation as an illegal instruction (c000001d). This library wraps
 * sigaction() for SIGSEGV and sets the trap number from the signal's own
 * si_code before Wine's handler runs; every other signal is left alone.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <ucontext.h>

typedef int (*sigaction_fn)(int, const struct sigaction *, struct sigaction *);
typedef void (*siginfo_handler)(int, siginfo_t *, void *);

static siginfo_handler wine_segv_handler;

enum { trap_general_protection = 13, trap_page_fault = 14 };

static void set_trap_number_then_call_wine(int signal, siginfo_t *info, void *context) {
    ucontext_t *uc = context;
    if (uc && info) {
        int address_fault = info->si_code == SEGV_MAPERR || info->si_code == SEGV_ACCERR;
        uc->uc_mcontext.gregs[REG_TRAPNO] = address_fault ? trap_page_fault : trap_general_protection;
    }
    wine_segv_handler(signal, info, context);
}

static sigaction_fn real_sigaction(void) {
    static sigaction_fn real;
    if (!real)
        real = (sigaction_fn)dlsym(RTLD_NEXT, "sigaction");
    return real;
}

int sigaction(int signal, const struct sigaction *action, struct sigaction *old_action) {
    sigaction_fn real = real_sigaction();
    if (!real)
        return -1;
    int wraps_handler = signal == SIGSEGV && action && (action->sa_flags & SA_SIGINFO) && action->sa_sigaction;
    siginfo_handler previous = wine_segv_handler;
    int result;
    if (wraps_handler) {
        struct sigaction wrapped = *action;
        wrapped.sa_sigaction = set_trap_number_then_call_wine;
        wine_segv_handler = action->sa_sigaction;
        result = real(signal, &wrapped, old_action);
        if (result != 0)
            wine_segv_handler = previous;
    } else {
        result = real(signal, action, old_action);
    }
    /* The caller sees the handler it installed, never the wrapper. */
    if (result == 0 && signal == SIGSEGV && old_action && (old_action->sa_flags & SA_SIGINFO) &&
        old_action->sa_sigaction == set_trap_number_then_call_wine)
        old_action->sa_sigaction = previous;
    return result;
}
