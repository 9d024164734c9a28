// no-32-bit COMMAND [ARGS...]: runs COMMAND so that neither it nor anything it
// starts can run 32-bit x86 code, as on a kernel built or booted without IA-32
// emulation. Any system call made through the 32-bit ABI (a 32-bit program's
// first one, or int 0x80) kills the process. A developer's stand-in for such a
// host; build it with: gcc -O2 -o build/no-32-bit tools/no-32-bit.c
#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s COMMAND [ARGS...]\n", argv[0]);
        return 2;
    }
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_I386, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog program = {.len = sizeof filter / sizeof filter[0], .filter = filter};
    // Without this only root could install the filter; it also keeps set-uid
    // programs from gaining rights, which nothing here needs.
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        fprintf(stderr, "no-32-bit: PR_SET_NO_NEW_PRIVS: %s\n", strerror(errno));
        return 1;
    }
    if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        fprintf(stderr, "no-32-bit: seccomp filter: %s\n", strerror(errno));
        return 1;
    }
    execvp(argv[1], argv + 1);
    fprintf(stderr, "no-32-bit: %s: %s\n", argv[1], strerror(errno));
    return 127;
}
