/*
 * Method gates and call binding.
 *
 * Every method has two 10-byte gate stubs in its glue area: at +0
 * `push mb; jmp __bp_gate_code`, at +10 `push mb; jmp __gate_code`; its
 * compiled-code slot points at the second until the method is compiled.
 * A gate is entered with [esp] = the method block, [esp+4] = the compiled
 * caller's return address R and the argument registers eax, edx, ecx live.
 * It enters the method's code when there is some, compiles the method when
 * its interpreter counter has run out, and otherwise calls the method's
 * invoker with the arguments copied into the VM's order.  __bp_gate_code also
 * points the caller's call (the 4 bytes before R) at the code.
 *
 * Gate frame (ebp = the address of R, as in every stub that calls C):
 *   [ebp-4]  the caller's ebp (in the slot the method block came in)
 *   [ebp-8]  the caller's ebp, pushed
 *   [ebp-12] the caller's ebx
 *   [ebp-16] the method block
 *   [ebp-20] the method's invoker
 */
#include "vm_abi.h"

#define ENTRY(name) \
        .globl  name; \
        .hidden name; \
        .type   name, @function; \
name:

#define G_MB            -16
#define G_INVOKER       -20

.macro LOAD_EE reg
        movl    %esp, \reg
        andl    $TLA_MASK, \reg
        movl    TLA_EE(\reg), \reg
.endm

/* Builds the gate frame from [esp] = mb, [esp+4] = R. */
.macro GATE_FRAME
        pushl   %ebp
        pushl   %ebx
        movl    8(%esp), %ebx           /* the method block */
        movl    %ebp, 8(%esp)
        leal    12(%esp), %ebp          /* the address of R */
        pushl   %ebx
        pushl   MB_INVOKER(%ebx)
.endm

/*
 * Compiles the method of the gate frame: eax = 0 when it now has code.
 * Keeps eax, edx, ecx of the caller in the frame while the compiler runs
 * (with a transition record linked) and restores them; the invoker slot
 * is reloaded, since compilation may change the invoker.  Result in ebx.
 */
.macro GATE_COMPILE
        pushl   %esi
        xorl    %esi, %esi
        cmpl    %eax, -0x1000(%esp)     /* stack probes, as the compile trampoline */
        cmpl    %eax, -0x2000(%esp)
        subl    $0x2000, %esp
        cmpl    %eax, -0x1000(%esp)
        cmpl    %eax, -0x2000(%esp)
        addl    $0x2000, %esp
        pushl   %eax
        pushl   %edx
        pushl   %ecx
        LOAD_EE %ebx
        pushl   -4(%ebp)                /* transition record */
        pushl   %ebp
        pushl   %ebp
        orl     $1, (%esp)
        pushl   EE_TRANSITION(%ebx)
        movl    %esp, EE_TRANSITION(%ebx)
        movl    %esp, %edx              /* _jit_fast_compile(mb, EE, 0, 0), stack aligned */
        andl    $-16, %esp
        subl    $12, %esp
        pushl   %edx
        pushl   $0
        pushl   $0
        pushl   %ebx
        pushl   G_MB(%ebp)
        call    _jit_fast_compile
        movl    16(%esp), %esp
        LOAD_EE %ecx
        movl    (%esp), %edx
        andl    $~3, %edx
        movl    %edx, EE_TRANSITION(%ecx)
        addl    $16, %esp
        movl    %eax, %ebx
        popl    %ecx
        popl    %edx
        popl    %eax
        movl    G_MB(%ebp), %esi
        movl    MB_INVOKER(%esi), %esi
        movl    %esi, G_INVOKER(%ebp)
        popl    %esi
.endm

/* Leaves the gate for `reg` with the caller's return address on top. */
.macro GATE_LEAVE_TO reg
        movl    \reg, -4(%ebp)
        addl    $8, %esp
        popl    %ebx
        popl    %ebp
        ret
.endm

        .text

ENTRY(__gate_code)
        GATE_FRAME
        testw   $ACC_COMPILED, MB_ACCESS(%ebx)
        jnz     1f
        cmpw    $0, MB_COUNTER(%ebx)
        jne     gate_call_interpreter
        GATE_COMPILE
        testl   %ebx, %ebx
        jnz     gate_call_interpreter
1:      movl    G_MB(%ebp), %ebx
        movl    MB_COMPILED_CODE(%ebx), %ebx
        GATE_LEAVE_TO %ebx
        .size   __gate_code, .-__gate_code

ENTRY(__bp_gate_code)
        GATE_FRAME
        testw   $ACC_COMPILED, MB_ACCESS(%ebx)
        jnz     2f
        cmpw    $0, MB_COUNTER(%ebx)
        jne     gate_call_interpreter
        GATE_COMPILE
        testl   %ebx, %ebx
        jnz     gate_call_interpreter
        movl    G_MB(%ebp), %ebx
        movl    MB_COMPILED_CODE(%ebx), %ebx
        pushl   %ecx
        movl    (%ebp), %ecx            /* R */
        subl    %ecx, %ebx
        movl    %ebx, -4(%ecx)          /* the caller now calls the code */
        addl    %ecx, %ebx
        popl    %ecx
        GATE_LEAVE_TO %ebx
2:      movl    MB_COMPILED_CODE(%ebx), %ebx
        subl    $10, %ebx               /* the pre-header back-patches the caller */
        GATE_LEAVE_TO %ebx
        .size   __bp_gate_code, .-__bp_gate_code

/* The interpreter-call path as an entry of its own (same stack as a gate). */
ENTRY(__bp_gate_code_interpreter)
        GATE_FRAME
        /* fall through */

/*
 * Calls the method through its invoker: links the two-word interpreter-call
 * record {previous head, address of R}, copies the arguments into the VM's
 * order below the stack (argument word 0 highest, a count word above it),
 * and calls the invoker with ecx = the word count, eax = the method block,
 * ebx = 1 and edx = the class (static) or ebx = 0 and edx = the receiver.
 * A pending exception afterwards is raised in the caller.
 */
gate_call_interpreter:
        LOAD_EE %ebx
        pushl   %ebp
        pushl   EE_TRANSITION(%ebx)
        movl    %esp, EE_TRANSITION(%ebx)
        pushl   %esi
        pushl   %edi
        movl    G_MB(%ebp), %esi
        testw   $ACC_NATIVE, MB_ACCESS(%esi)
        jnz     1f
        movl    $EE_MODE_INTERPRETER, EE_MODE(%ebx)
1:      movzwl  MB_ARGS_SIZE(%esi), %edi
        leal    4(,%edi,4), %edi
        subl    %edi, %esp
        movl    %esp, %edi              /* the copied arguments */
        pushl   %ecx
        pushl   %edx
        pushl   %eax
        movl    %esp, %eax
        pushl   %ebp                    /* rt_gate_copy_args(mb, area, regs, E) */
        pushl   %eax
        pushl   %edi
        pushl   %esi
        call    rt_gate_copy_args
        addl    $16, %esp
        popl    %eax
        popl    %edx
        popl    %ecx
        movzwl  MB_ARGS_SIZE(%esi), %ecx
        testw   $ACC_STATIC, MB_ACCESS(%esi)
        jz      2f
        movl    MB_CLASS(%esi), %edx
        movl    $1, %ebx
        jmp     3f
2:      movl    %eax, %edx
        xorl    %ebx, %ebx
3:      movl    %esi, %eax
        call    *G_INVOKER(%ebp)
        LOAD_EE %ecx
        movl    $EE_MODE_COMPILED, EE_MODE(%ecx)
        leal    -36(%ebp), %esp         /* drop the copied arguments */
        popl    %edi
        popl    %esi
        popl    %ebx
        movl    %ebx, EE_TRANSITION(%ecx)
        addl    $4, %esp
        cmpb    $0, EE_EXCEPTION_KIND(%ecx)
        leal    -12(%ebp), %esp
        popl    %ebx
        popl    %ebp
        leal    4(%esp), %esp           /* R on top; flags kept */
        jne     4f
        ret
4:      jmp     THROW_EXCEPTION_THROWN
        .size   __bp_gate_code_interpreter, .-__bp_gate_code_interpreter

/*
 * Called from the pre-header 10 bytes before a compiled entry point (call,
 * then five padding bytes).  With P its own return address (entry point =
 * P + 5) and R the return address of the pre-header's caller, it points the
 * caller's call at the entry point, (P + 5) - R into the 4 bytes before R,
 * and returns into the padding, which falls into the entry point.  Every
 * register is kept.
 */
ENTRY(__backpatch_invocation)
        pushl   %eax
        pushl   %edx
        movl    8(%esp), %eax           /* P */
        addl    $5, %eax                /* the entry point */
        movl    12(%esp), %edx          /* R */
        subl    %edx, %eax
        movl    %eax, -4(%edx)
        popl    %edx
        popl    %eax
        ret
        .size   __backpatch_invocation, .-__backpatch_invocation

/* [esp] = method block, [esp+4] = R: goes to the method's gate or code - 10. */
ENTRY(__invokestatic_initial_target)
        pushl   %eax
        movl    4(%esp), %eax
        movl    MB_COMPILED_CODE(%eax), %eax
        subl    $10, %eax
        movl    %eax, 4(%esp)
        popl    %eax
        ret
        .size   __invokestatic_initial_target, .-__invokestatic_initial_target

/*
 * eax = the receiver, [esp] = a method-table slot: the slot's method block
 * m of the receiver's class takes the slot's place and control goes to
 * m's compiled-code address - 10.  eax, ecx and edx are kept.
 */
ENTRY(__invokevirtual_initial_target)
ENTRY(__correct_direct_binding)
        pushl   %ecx
        movl    OBJ_WORD0(%eax), %ecx   /* the method table */
        pushl   %edx
        movl    8(%esp), %edx
        movl    4(%ecx,%edx,4), %ecx    /* m */
        movl    %ecx, 8(%esp)
        movl    MB_COMPILED_CODE(%ecx), %ecx
        subl    $10, %ecx
        popl    %edx
        xchgl   %ecx, (%esp)
        ret
        .size   __invokevirtual_initial_target, .-__invokevirtual_initial_target

        .section .note.GNU-stack,"",@progbits
