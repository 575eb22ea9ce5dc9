/* Preloaded into the 32-bit x86 programs that run under qemu-i386 user-mode emulation.

   qemu writes -1 as the trap number into the signal frames it builds for i386 guests, and an
   instruction fetch from an unmapped page arrives without the kernel's instruction-fetch bit in
   the error code. Wine decides which exception a signal is from those two fields, so under qemu
   every access violation would reach Windows code as an illegal instruction and a division by
   zero as a floating-point fault. This library wraps the handlers that a program installs for
   the synchronous fault signals and, before calling them, fills in what the kernel would have
   given, from the signal, its si_code and the faulting address. On a real kernel the trap number
   is already there and nothing is changed.

   Freestanding: no C library headers, no stack protector (it would read %gs, which belongs to
   whichever code the signal interrupted). Built with -nostdlib; the real sigaction is glibc's
   __sigaction, resolved when the library is loaded into a process that links glibc. */

typedef unsigned int u32;

enum {
    SIGILL_ = 4, SIGTRAP_ = 5, SIGBUS_ = 7, SIGFPE_ = 8, SIGSEGV_ = 11,
    SIGNAL_SLOTS = 32,
    SA_SIGINFO_ = 4,
};

/* x86 exception vectors, as the kernel reports them in the trap number. */
enum {
    TRAP_DIVIDE = 0, TRAP_DEBUG = 1, TRAP_BREAKPOINT = 3, TRAP_OVERFLOW = 4,
    TRAP_INVALID_OPCODE = 6, TRAP_GENERAL_PROTECTION = 13, TRAP_PAGE_FAULT = 14,
    TRAP_X87 = 16, TRAP_ALIGNMENT = 17,
};

/* Page-fault error code bits. */
enum { PF_WRITE = 2, PF_USER = 4, PF_INSTRUCTION = 16 };

/* si_code values (asm-generic/siginfo.h). */
enum {
    SI_KERNEL_ = 0x80,
    FPE_INTDIV_ = 1, FPE_INTOVF_ = 2,
    TRAP_TRACE_ = 2,
    BUS_ADRALN_ = 1,
};

/* glibc's i386 struct sigaction. */
typedef void (*siginfo_handler)(int, void *, void *);
struct glibc_sigaction {
    siginfo_handler handler; /* sa_handler or sa_sigaction */
    u32 mask[32];            /* sigset_t, 1024 bits */
    int flags;
    void (*restorer)(void);
};

/* The start of the i386 siginfo_t and ucontext_t. */
struct siginfo_head {
    int signo;
    int errnum;
    int code;
    void *addr; /* si_addr of the fault signals */
};
enum { REG_TRAPNO_ = 12, REG_ERR_ = 13, REG_EIP_ = 14 };
struct ucontext_head {
    u32 flags;
    void *link;
    void *stack_sp;
    int stack_flags;
    u32 stack_size;
    u32 gregs[19];
};

extern int __sigaction(int sig, const struct glibc_sigaction *act, struct glibc_sigaction *oldact);

/* The program's own handlers, by signal. Written only by sigaction, which programs call while
   setting up; read in the wrapper. */
static siginfo_handler program_handler[SIGNAL_SLOTS];

static int is_fault_signal(int sig)
{
    return sig == SIGSEGV_ || sig == SIGBUS_ || sig == SIGFPE_ || sig == SIGTRAP_ || sig == SIGILL_;
}

static u32 trap_for(int sig, const struct siginfo_head *info)
{
    switch (sig) {
    case SIGSEGV_:
        /* The kernel sends SI_KERNEL for a general-protection fault, a fault code otherwise. */
        return info->code == SI_KERNEL_ ? TRAP_GENERAL_PROTECTION : TRAP_PAGE_FAULT;
    case SIGBUS_:
        return info->code == BUS_ADRALN_ ? TRAP_ALIGNMENT : TRAP_PAGE_FAULT;
    case SIGFPE_:
        if (info->code == FPE_INTDIV_)
            return TRAP_DIVIDE;
        return info->code == FPE_INTOVF_ ? TRAP_OVERFLOW : TRAP_X87;
    case SIGTRAP_:
        return info->code == TRAP_TRACE_ ? TRAP_DEBUG : TRAP_BREAKPOINT;
    default:
        return TRAP_INVALID_OPCODE;
    }
}

static void fault_wrapper(int sig, void *info, void *context)
{
    struct ucontext_head *uc = (struct ucontext_head *)context;
    const struct siginfo_head *si = (const struct siginfo_head *)info;
    if (uc->gregs[REG_TRAPNO_] == (u32)-1) {
        u32 trap = trap_for(sig, si);
        uc->gregs[REG_TRAPNO_] = trap;
        /* A fault at the instruction pointer itself is the fetch of that instruction. */
        if (trap == TRAP_PAGE_FAULT && (u32)si->addr == uc->gregs[REG_EIP_])
            uc->gregs[REG_ERR_] = (uc->gregs[REG_ERR_] & ~(u32)PF_WRITE) | PF_INSTRUCTION | PF_USER;
    }
    siginfo_handler handler = program_handler[sig];
    if (handler)
        handler(sig, info, context);
}

int sigaction(int sig, const struct glibc_sigaction *act, struct glibc_sigaction *oldact)
{
    if (sig <= 0 || sig >= SIGNAL_SLOTS || !is_fault_signal(sig))
        return __sigaction(sig, act, oldact);

    siginfo_handler previous = program_handler[sig];
    int result;
    /* SIG_DFL and SIG_IGN (0 and 1) and plain handlers are installed as they are. */
    if (act && (act->flags & SA_SIGINFO_) && (u32)act->handler > 1) {
        struct glibc_sigaction wrapped = *act;
        wrapped.handler = fault_wrapper;
        program_handler[sig] = act->handler;
        result = __sigaction(sig, &wrapped, oldact);
        if (result != 0)
            program_handler[sig] = previous;
    } else {
        result = __sigaction(sig, act, oldact);
        if (result == 0 && act)
            program_handler[sig] = 0;
    }
    /* The program sees its own handler where the wrapper stands in for it. */
    if (result == 0 && oldact && oldact->handler == fault_wrapper)
        oldact->handler = previous;
    return result;
}
