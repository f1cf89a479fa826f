/* Written in C so that no C++ unwinding data competes with the hand-made exception frame. */
#include "seh_guard.h"

#if defined(__x86_64__)

/* x86_64: a scope entry of the function's unwind data sends the exception to the filter below,
   which records the code; the system then unwinds to the end label and execution goes on. */
static __thread DWORD guardedCode;

/* After an exception the callee-saved registers are only as good as the unwind data of the
   frames it passed through; naming them all as clobbered makes this function save them on entry
   and restore them on return, so its caller never sees what the raising code left. */
#define BRISKO_CALLEE_SAVED "rbx", "rsi", "rdi", "r12", "r13", "r14", "r15", "xmm6", "xmm7", "xmm8", \
    "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15", "memory"

LONG BriskoGuardFilter(EXCEPTION_POINTERS* pointers, void* frame) {
    (void)frame;
    guardedCode = pointers->ExceptionRecord->ExceptionCode;
    return EXCEPTION_EXECUTE_HANDLER;
}

__attribute__((noinline)) DWORD BriskoRunGuarded(void (*call)(void* context), void* context) {
    guardedCode = 0;
    __asm__ __volatile__(
        ".l_brisko_guard_start:\n"
        "\t.seh_handler __C_specific_handler, @except\n"
        "\t.seh_handlerdata\n"
        "\t.long 1\n"
        "\t.rva .l_brisko_guard_start, .l_brisko_guard_end, BriskoGuardFilter, .l_brisko_guard_end\n"
        "\t.text\n" ::: BRISKO_CALLEE_SAVED);
    call(context);
    __asm__ __volatile__("\tnop\n.l_brisko_guard_end:\n\tnop\n" ::: BRISKO_CALLEE_SAVED);
    return guardedCode;
}

#elif defined(__i386__)

/* i686: an exception registration record of our own at the head of FS:[0]. Its handler
   unwinds the frames above it (running their handlers) and jumps back into the guard. */
typedef struct GuardFrame {
    EXCEPTION_REGISTRATION_RECORD record; /* must come first: the system sees this address */
    void* resume[5];
    DWORD code;
} GuardFrame;

static EXCEPTION_DISPOSITION NTAPI GuardHandler(EXCEPTION_RECORD* exception, void* establisher, CONTEXT* context,
                                                void* dispatcher) {
    (void)context;
    (void)dispatcher;
    if (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
    GuardFrame* frame = (GuardFrame*)establisher;
    frame->code = exception->ExceptionCode;
    RtlUnwind(establisher, NULL, exception, NULL);
    __builtin_longjmp(frame->resume, 1);
}

__attribute__((noinline)) DWORD BriskoRunGuarded(void (*call)(void* context), void* context) {
    GuardFrame frame;
    frame.code = 0;
    frame.record.Handler = GuardHandler;
    frame.record.Next = (EXCEPTION_REGISTRATION_RECORD*)__readfsdword(0);
    if (__builtin_setjmp(frame.resume) == 0) {
        __writefsdword(0, (DWORD)(ULONG_PTR)&frame.record);
        call(context);
    }
    __writefsdword(0, (DWORD)(ULONG_PTR)frame.record.Next);
    return frame.code;
}

#else
#error "no exception guard for this architecture"
#endif
