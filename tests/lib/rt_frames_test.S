/*
 * Hand-written "compiled" frames and the harnesses that call them, for the
 * run-time support tests.  The program is linked without PIE, so absolute
 * addresses are used freely.
 *
 * A compiled frame builds its exception registration at E-20..E-1 (E = the
 * stack pointer at entry): [E-20] EE, [E-16] next (P = E-16), [E-12] the
 * handler word (an address inside the method's code), [E-8] the monitor-list
 * head, [E-4] the try-region index.  The handler word names a jump, after
 * the body, to the run-time exception handler.  Arguments arrive in eax,
 * edx, ecx.
 * Every method's stack depth is 0 words up to its label *_d5 and 5 words
 * from there on (the tests register those two table entries).
 */
#include "vm_abi.h"

#define FUNC(name) \
        .globl  name; \
        .type   name, @function; \
name:

/* Builds the registration with try index `try` and monitor head `mon`. */
.macro REGISTRATION try, mon, handler
        pushl   \try
        pushl   \mon
        pushl   $\handler
        movl    %esp, %ebx
        andl    $TLA_MASK, %ebx
        pushl   TLA_REGISTRATION(%ebx)
        pushl   TLA_EE(%ebx)
        leal    4(%esp), %edi
        movl    %edi, TLA_REGISTRATION(%ebx)
.endm

/* Unlinks it (esp = E-20) and returns. */
.macro UNREGISTER_RETURN
        movl    %esp, %ebx
        andl    $TLA_MASK, %ebx
        movl    4(%esp), %edi
        movl    %edi, TLA_REGISTRATION(%ebx)
        addl    $20, %esp
        ret
.endm

        .data
        .globl  rtt_raiser_div0
rtt_raiser_div0:        .long 0         /* set by the test */
        .globl  rtt_callback
rtt_callback:           .long 0
        .globl  rtt_ll_div
rtt_ll_div:             .long 0
        .globl  rtt_exception_handler
rtt_exception_handler:  .long 0

        .text
        .globl  rtt_code_start
rtt_code_start:

/*
 * cf_catch: eax = a raiser, edx and ecx passed to it.  Try region 0; the
 * catch block returns the exception (eax) it resumes with.
 */
        .balign 16
FUNC(cf_catch)
        REGISTRATION $0, $0, cf_catch_handler
        .globl  cf_catch_d5
cf_catch_d5:
        call    *%eax
        .globl  cf_catch_catch
cf_catch_catch:
        UNREGISTER_RETURN
cf_catch_handler:                       /* the jump to the run-time handler */
        jmp     *rtt_exception_handler
        .globl  cf_catch_end
cf_catch_end:

/*
 * cf_fault: ecx = base, edx = index: mov eax, [ecx + edx*4 + 8] under try
 * region 0, then `idiv` forms: edx = 1 divides 0x80000000 by ecx, edx = 2
 * by edx (-1 in both).  The catch block returns the exception; a normal end
 * returns eax with edx in the high half.
 */
        .balign 16
FUNC(cf_fault)
        REGISTRATION $0, $0, cf_fault_handler
        .globl  cf_fault_d5
cf_fault_d5:
        cmpl    $0x7FFF0001, %eax
        je      1f
        cmpl    $0x7FFF0002, %eax
        je      2f
        movl    8(%ecx,%edx,4), %eax
        jmp     3f
1:      movl    $0x80000000, %eax
        movl    $-1, %edx
        movl    $-1, %ecx
        idivl   %ecx
        jmp     3f
2:      movl    $0x80000000, %eax
        movl    $-1, %edx
        idivl   %edx
3:      movl    %esp, %ebx
        andl    $TLA_MASK, %ebx
        movl    4(%esp), %edi
        movl    %edi, TLA_REGISTRATION(%ebx)
        addl    $20, %esp
        ret
        .globl  cf_fault_catch
cf_fault_catch:
        xorl    %edx, %edx
        UNREGISTER_RETURN
cf_fault_handler:                       /* the jump to the run-time handler */
        jmp     *rtt_exception_handler
        .globl  cf_fault_end
cf_fault_end:

/*
 * cf_div: edx:eax divided by 0 through _ll_div (which must raise
 * THROW_EXCEPTION_DIV0 at this call site); try region 0.
 */
        .balign 16
FUNC(cf_div)
        REGISTRATION $0, $0, cf_div_handler
        .globl  cf_div_d5
cf_div_d5:
        pushl   $0
        pushl   $0
        pushl   %edx
        pushl   %eax
        call    *rtt_ll_div
        addl    $16, %esp
        .globl  cf_div_catch
cf_div_catch:
        UNREGISTER_RETURN
cf_div_handler:                       /* the jump to the run-time handler */
        jmp     *rtt_exception_handler
        .globl  cf_div_end
cf_div_end:

/*
 * cf_inner: ecx = an object whose monitor is held; the frame links a
 * monitor-list node for it into its own registration (try index -1: it
 * catches nothing) and raises with the raiser in eax.
 */
        .balign 16
FUNC(cf_inner)
        pushl   %ecx                    /* node: object */
        pushl   $0                      /* node: next */
        movl    %esp, %esi              /* the node */
        REGISTRATION $-1, %esi, cf_inner_handler
        .globl  cf_inner_d5             /* depth 7 from here */
cf_inner_d5:
        call    *%eax
        hlt
cf_inner_handler:                       /* the jump to the run-time handler */
        jmp     *rtt_exception_handler
        .globl  cf_inner_end
cf_inner_end:

/* cf_outer: calls cf_inner (eax, ecx passed on) under try region 0. */
        .balign 16
FUNC(cf_outer)
        REGISTRATION $0, $0, cf_outer_handler
        .globl  cf_outer_d5
cf_outer_d5:
        call    cf_inner
        .globl  cf_outer_catch
cf_outer_catch:
        UNREGISTER_RETURN
cf_outer_handler:                       /* the jump to the run-time handler */
        jmp     *rtt_exception_handler
        .globl  cf_outer_end
cf_outer_end:

/*
 * cf_callee: the compiled body of RtHandover.callee(I)I, entered with the
 * invoker convention (argument at [esp+4]).  0 raises DIV0, 2 calls the
 * test's callback through a stub (with a transition record), anything else
 * is returned.  No try region.
 */
        .balign 16
FUNC(cf_callee)
        movl    %esp, %ebx
        andl    $TLA_MASK, %ebx
        movl    TLA_EE(%ebx), %ebx
        movl    $EE_MODE_COMPILED, EE_MODE(%ebx)
        movl    4(%esp), %ecx
        REGISTRATION $-1, $0, cf_callee_handler
        .globl  cf_callee_d5
cf_callee_d5:
        testl   %ecx, %ecx
        jnz     1f
        call    *rtt_raiser_div0
1:      movl    %ecx, %eax
        cmpl    $2, %ecx
        jne     2f
        call    rtt_stub_callback
        movl    $2, %eax
2:      movl    %esp, %ebx
        andl    $TLA_MASK, %ebx
        movl    4(%esp), %edi
        movl    %edi, TLA_REGISTRATION(%ebx)
        addl    $20, %esp
        ret
cf_callee_handler:                       /* the jump to the run-time handler */
        jmp     *rtt_exception_handler
        .globl  cf_callee_end
cf_callee_end:

        .globl  rtt_code_end
rtt_code_end:

/*
 * A stub as the run-time routines build it: frame push ebp / lea ebp,
 * [esp+4], a transition record {previous head, frame | 1, frame, caller's
 * ebp}, the C call, unlink.
 */
        .balign 16
FUNC(rtt_stub_callback)
        pushl   %ebp
        leal    4(%esp), %ebp
        pushl   %eax
        pushl   %ecx
        pushl   %edx
        movl    %esp, %ecx
        andl    $TLA_MASK, %ecx
        movl    TLA_EE(%ecx), %ecx
        pushl   -4(%ebp)
        pushl   %ebp
        pushl   %ebp
        orl     $1, (%esp)
        pushl   EE_TRANSITION(%ecx)
        movl    %esp, EE_TRANSITION(%ecx)
        call    *rtt_callback
        movl    %esp, %ecx
        andl    $TLA_MASK, %ecx
        movl    TLA_EE(%ecx), %ecx
        movl    (%esp), %edx
        andl    $~3, %edx
        movl    %edx, EE_TRANSITION(%ecx)
        addl    $16, %esp
        popl    %edx
        popl    %ecx
        popl    %eax
        popl    %ebp
        ret

/*
 * u4 rtt_enter(fn, a0, a1, a2): calls fn with eax = a0, edx = a1, ecx = a2
 * and ebp = T + 32 for a transition frame area T whose word 8 is 0xDEADBEEF,
 * as a VM activation calls out.  Returns fn's eax.
 */
FUNC(rtt_enter)
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        pushl   $ACT_T_MARKER
        pushl   $0
        pushl   $0
        pushl   $0
        pushl   $0
        pushl   $0
        pushl   $0
        pushl   $0
        pushl   $0
        movl    8(%ebp), %ebx
        movl    12(%ebp), %eax
        movl    16(%ebp), %edx
        movl    20(%ebp), %ecx
        pushl   %ebp
        leal    36(%esp), %ebp
        call    *%ebx
        popl    %ebp
        addl    $36, %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

/*
 * int rtt_frameless(fn, a0, a1, a2, landing, handler, u4* result): as
 * rtt_enter, under a frame-less interpreter registration of our own whose
 * resume word is the VM's landing stub.  Returns 1 after a normal return
 * (fn's eax in *result), 2 when the landing was taken.
 */
FUNC(rtt_frameless)
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        subl    $0x38, %esp             /* S: resume word at S, P = S + 8 */
        movl    %esp, %ebx
        andl    $TLA_MASK, %ebx
        movl    24(%ebp), %eax
        movl    %eax, 0(%esp)           /* P-8 resume: the landing */
        movl    TLA_EE(%ebx), %eax
        movl    %eax, 4(%esp)           /* P-4 EE */
        movl    TLA_REGISTRATION(%ebx), %eax
        movl    %eax, 8(%esp)           /* P next */
        movl    28(%ebp), %eax
        movl    %eax, 12(%esp)          /* P+4 handler */
        movl    $0, 16(%esp)            /* P+8 monitors */
        leal    8(%ebp), %eax
        movl    %eax, 20(%esp)          /* P+12 bound */
        movl    $0, 24(%esp)            /* P+16 frame-less */
        movl    $0, 28(%esp)            /* P+20 */
        movl    %ebx, 32(%esp)          /* P+24 .. P+44: the catch point */
        movl    %esi, 36(%esp)
        movl    %edi, 40(%esp)
        movl    %ebp, 44(%esp)
        movl    %esp, 48(%esp)
        movl    $1f, 52(%esp)
        leal    8(%esp), %eax
        movl    %eax, TLA_REGISTRATION(%ebx)
        pushl   $ACT_T_MARKER
        pushl   $0
        pushl   $0
        pushl   $0
        pushl   $0
        pushl   $0
        pushl   $0
        pushl   $0
        pushl   $0
        movl    8(%ebp), %ebx
        movl    12(%ebp), %eax
        movl    16(%ebp), %edx
        movl    20(%ebp), %ecx
        pushl   %ebp
        leal    36(%esp), %ebp
        call    *%ebx
        popl    %ebp
        addl    $36, %esp
        movl    32(%ebp), %ecx
        movl    %eax, (%ecx)
        movl    $1, %eax
1:      movl    %esp, %ecx
        andl    $TLA_MASK, %ecx
        movl    8(%esp), %edx
        movl    %edx, TLA_REGISTRATION(%ecx)
        addl    $0x38, %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

/*
 * u4 rtt_sync_call(stub, eax, edx, ecx, X, double* fp, int nfp, u4* regs):
 * calls a synchronization stub with those registers, ebp = X and fp[0] ..
 * fp[nfp-1] as ST0 .. ST(nfp-1); afterwards regs = {eax, edx, ecx} and fp
 * holds the x87 entries again.
 */
FUNC(rtt_sync_call)
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    28(%ebp), %esi
        movl    32(%ebp), %ecx
1:      testl   %ecx, %ecx
        jz      2f
        decl    %ecx
        fldl    (%esi,%ecx,8)
        jmp     1b
2:      movl    8(%ebp), %ebx
        movl    12(%ebp), %eax
        movl    16(%ebp), %edx
        movl    20(%ebp), %ecx
        pushl   %ebp
        movl    24(%ebp), %ebp
        call    *%ebx
        popl    %ebp
        movl    36(%ebp), %ebx
        movl    %eax, (%ebx)
        movl    %edx, 4(%ebx)
        movl    %ecx, 8(%ebx)
        movl    28(%ebp), %esi
        movl    32(%ebp), %edi
        xorl    %ecx, %ecx
3:      cmpl    %edi, %ecx
        jge     4f
        fstpl   (%esi,%ecx,8)
        incl    %ecx
        jmp     3b
4:      popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

/*
 * void rtt_call_xfer(xfer, eax, ebp, esi, edi, u4* out): enters the
 * transfer entry as the interpreter does; out = {ebx, esi, edi} afterwards.
 */
FUNC(rtt_call_xfer)
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    $0x0B0B0B0B, %ebx
        movl    8(%ebp), %ecx
        movl    12(%ebp), %eax
        movl    20(%ebp), %esi
        movl    24(%ebp), %edi
        pushl   %ebp
        movl    16(%ebp), %ebp
        call    *%ecx
        popl    %ebp
        movl    28(%ebp), %ecx
        movl    %ebx, (%ecx)
        movl    %esi, 4(%ecx)
        movl    %edi, 8(%ecx)
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

/*
 * int rtt_call_lookupswitch(stub, pairs, n - 1, key): the index of the
 * jump-table word the stub selected (0 default, 1 + i pair i); 0x100 is
 * added when ecx did not come back as the key or ebx was changed.
 */
FUNC(rtt_call_lookupswitch)
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    $0x0B0B0B0B, %ebx
        movl    12(%ebp), %eax
        movl    16(%ebp), %edx
        movl    20(%ebp), %ecx
        call    *8(%ebp)
        .long   T0, T1, T2, T3, T4, T5, T6, T7, T8
T0:     movl    $0, %eax
        jmp     9f
T1:     movl    $1, %eax
        jmp     9f
T2:     movl    $2, %eax
        jmp     9f
T3:     movl    $3, %eax
        jmp     9f
T4:     movl    $4, %eax
        jmp     9f
T5:     movl    $5, %eax
        jmp     9f
T6:     movl    $6, %eax
        jmp     9f
T7:     movl    $7, %eax
        jmp     9f
T8:     movl    $8, %eax
        jmp     9f
9:      cmpl    20(%ebp), %ecx
        jne     8f
        cmpl    $0x0B0B0B0B, %ebx
        je      7f
8:      orl     $0x100, %eax
7:      popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

/*
 * int rtt_call_copy(fn, src, dst, count): an array copy routine with esi,
 * edi, ebx; returns 1 when esi and edi came back unchanged.
 */
FUNC(rtt_call_copy)
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    12(%ebp), %esi
        movl    16(%ebp), %edi
        movl    20(%ebp), %ebx
        call    *8(%ebp)
        xorl    %eax, %eax
        cmpl    12(%ebp), %esi
        jne     1f
        cmpl    16(%ebp), %edi
        jne     1f
        movl    $1, %eax
1:      popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

/* u64 rtt_call_ll(fn, a lo, a hi, b lo, b hi) and rtt_call_li(fn, a lo, a hi, b). */
FUNC(rtt_call_ll)
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        pushl   24(%ebp)
        pushl   20(%ebp)
        pushl   16(%ebp)
        pushl   12(%ebp)
        call    *8(%ebp)
        addl    $16, %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

FUNC(rtt_call_li)
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        pushl   20(%ebp)
        pushl   16(%ebp)
        pushl   12(%ebp)
        call    *8(%ebp)
        addl    $12, %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

/* u4 rtt_call_x87_1(fn, double x, double* out): ST0 = x; *out = ST0 after;
 * returns eax. */
FUNC(rtt_call_x87_1)
        fldl    8(%esp)
        call    *4(%esp)
        movl    16(%esp), %ecx
        fstpl   (%ecx)
        ret

/* u4 rtt_call_pow(fn, double x, double y, double* out): ST0 = y, ST1 = x;
 * out[0] = ST0 after, and out[1] = ST1 when eax = 0 (declined). */
FUNC(rtt_call_pow)
        fldl    8(%esp)
        fldl    16(%esp)
        call    *4(%esp)
        movl    24(%esp), %ecx
        fstpl   (%ecx)
        testl   %eax, %eax
        jnz     1f
        fstpl   8(%ecx)
1:      ret

/* void rtt_call_maxmin(fn, double x, double y, double* out): ST0 = x,
 * ST1 = y, flags of their compare; *out = the kept value. */
FUNC(rtt_call_maxmin)
        fldl    16(%esp)
        fldl    8(%esp)
        fucomi  %st(1), %st
        call    *4(%esp)
        fstp    %st(0)
        movl    24(%esp), %ecx
        fstpl   (%ecx)
        ret

/* u64 rtt_call_f2i(fn, double x): edx:eax of the helper; ST0 popped. */
FUNC(rtt_call_f2i)
        fldl    8(%esp)
        call    *4(%esp)
        fstp    %st(0)
        ret

        .section .note.GNU-stack,"",@progbits
