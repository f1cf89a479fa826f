/* Whether this kernel still takes the 32-bit system call entry (int $0x80) from a 64-bit process.
 * Wine's WoW64 mode runs 32-bit Windows programs inside 64-bit Wine with no 32-bit Linux code, but
 * at the start of every thread it makes one such call (set_thread_area) for the 32-bit %fs
 * selector; a kernel that refuses 32-bit programs may refuse that call too.
 * Built with the host's `gcc -static`; exit 0 when the entry works, 1 when it is refused. */
#define _GNU_SOURCE
#include <asm/ldt.h>
#include <setjmp.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>

static sigjmp_buf refused;
static volatile sig_atomic_t signalNumber;

static void onSignal(int number) {
    signalNumber = number;
    siglongjmp(refused, 1);
}

int main(void) {
    /* The 32-bit call can only pass a pointer below 4 GiB. */
    struct user_desc* entry = mmap(NULL, 4096, PROT_READ | PROT_WRITE,
                                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (entry == MAP_FAILED) {
        perror("ia32 entry probe: mmap below 4 GiB");
        return 1;
    }
    memset(entry, 0, sizeof *entry);
    entry->entry_number = (unsigned)-1;
    entry->base_addr = (unsigned)(unsigned long)entry;
    entry->limit = 0xfffff;
    entry->seg_32bit = 1;
    entry->limit_in_pages = 1;
    entry->useable = 1;

    const int watched[] = {SIGSEGV, SIGSYS, SIGILL, SIGBUS};
    for (size_t i = 0; i < sizeof watched / sizeof watched[0]; ++i) signal(watched[i], onSignal);
    if (sigsetjmp(refused, 1)) {
        printf("ia32 system call entry: refused (%s)\n", strsignal(signalNumber));
        return 1;
    }
    long result = 243; /* set_thread_area in the 32-bit call table */
    __asm__ volatile("int $0x80" : "+a"(result) : "b"(entry) : "memory");
    if (result < 0) {
        printf("ia32 system call entry: refused (set_thread_area answered %ld)\n", result);
        return 1;
    }
    printf("ia32 system call entry: works\n");
    return 0;
}
