/*
 * Runs a program on a system without Landlock, as far as the program can
 * tell: a seccomp filter, kept across exec, answers its landlock calls with
 * ENOSYS (as a kernel without Landlock does).
 *
 *   without_landlock <program> <arguments>...
 */
#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc < 2) {
        fputs("usage: without_landlock <program> <arguments>...\n", stderr);
        return 2;
    }
    struct sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, __NR_landlock_create_ruleset, 0, 2),
        BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, __NR_landlock_restrict_self, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog filter = {sizeof code / sizeof code[0], code};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0) {
        perror("without_landlock");
        return 2;
    }
    execv(argv[1], argv + 1);
    perror("without_landlock");
    return 2;
}
