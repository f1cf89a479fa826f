/* Written in C so that no C++ unwinding data competes with the hand-made exception frame. */
#include "seh_guard.h"

#if defined(__x86_64__)

/* x86_64: a scope entry of the function's unwind data sends the exception to the filter below,
   which asks the guard's accept function; a taken exception makes the system unwind to the end
   label, where execution goes on. */

/* Each call's own state, a local of the guard: nested guards never share one. */
typedef struct GuardState {
    BriskoGuardAccept accept;
    DWORD code;
} GuardState;

/* The filter finds the guard's state through the establisher frame it is given: the distance
   from that frame to the guard's local is fixed by the function's layout, and measured by each
   call. */
static volatile LONG_PTR stateOffset;

/* After an exception the callee-saved registers are only as good as the unwind data of the
   frames it passed through; naming them all as clobbered makes this function save them on entry
   and restore them on return, so its caller never sees what the raising code left. */
#define BRISKO_CALLEE_SAVED "rbx", "rsi", "rdi", "r12", "r13", "r14", "r15", "xmm6", "xmm7", "xmm8", \
    "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15", "memory"

LONG BriskoGuardFilter(EXCEPTION_POINTERS* pointers, void* frame) {
    volatile GuardState* state = (volatile GuardState*)((char*)frame + stateOffset);
    if (state->accept && !state->accept(pointers->ExceptionRecord)) return EXCEPTION_CONTINUE_SEARCH;
    state->code = pointers->ExceptionRecord->ExceptionCode;
    return EXCEPTION_EXECUTE_HANDLER;
}

/* The establisher frame of the caller, as the exception dispatcher computes it. */
static __attribute__((noinline)) char* CallerEstablisherFrame(void) {
    CONTEXT context;
    RtlCaptureContext(&context);
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, NULL);
    void* handlerData = NULL;
    DWORD64 frame = 0;
    /* From this function's own frame to its caller's: the caller's context is then current. */
    RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData, &frame, NULL);
    function = RtlLookupFunctionEntry(context.Rip, &imageBase, NULL);
    RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData, &frame, NULL);
    return (char*)(ULONG_PTR)frame;
}

__attribute__((noinline)) DWORD BriskoRunGuarded(void (*call)(void* context), void* context,
                                                 BriskoGuardAccept accept) {
    volatile GuardState state = {accept, 0};
    stateOffset = (char*)&state - CallerEstablisherFrame();
    __asm__ __volatile__(
        ".l_brisko_guard_start:\n"
        "\t.seh_handler __C_specific_handler, @except\n"
        "\t.seh_handlerdata\n"
        "\t.long 1\n"
        "\t.rva .l_brisko_guard_start, .l_brisko_guard_end, BriskoGuardFilter, .l_brisko_guard_end\n"
        "\t.text\n" ::: BRISKO_CALLEE_SAVED);
    call(context);
    __asm__ __volatile__("\tnop\n.l_brisko_guard_end:\n\tnop\n" ::: BRISKO_CALLEE_SAVED);
    return state.code;
}

#elif defined(__i386__)

/* i686: an exception registration record of our own at the head of FS:[0]. Its handler asks the
   accept function; for a taken exception it unwinds the frames above it (running their handlers)
   and jumps back into the guard. */
typedef struct GuardFrame {
    EXCEPTION_REGISTRATION_RECORD record; /* must come first: the system sees this address */
    void* resume[5];
    BriskoGuardAccept accept;
    DWORD code;
} GuardFrame;

static EXCEPTION_DISPOSITION NTAPI GuardHandler(EXCEPTION_RECORD* exception, void* establisher, CONTEXT* context,
                                                void* dispatcher) {
    (void)context;
    (void)dispatcher;
    if (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
    GuardFrame* frame = (GuardFrame*)establisher;
    if (frame->accept && !frame->accept(exception)) return ExceptionContinueSearch;
    frame->code = exception->ExceptionCode;
    RtlUnwind(establisher, NULL, exception, NULL);
    __builtin_longjmp(frame->resume, 1);
}

__attribute__((noinline)) DWORD BriskoRunGuarded(void (*call)(void* context), void* context,
                                                 BriskoGuardAccept accept) {
    GuardFrame frame;
    frame.code = 0;
    frame.accept = accept;
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
