/*
 * The compile trampoline, written into the VM's compile hook.
 *
 * Entered by the VM with eax = the method block to compile and esi = the
 * transfer point (0 for an ordinary request).  It touches the four stack pages
 * below the stack pointer, so that a stack overflow faults here and not
 * inside the compiler, links a transition record at EE+0x18C (the frames
 * above its return address are the caller's), and calls
 * _jit_fast_compile(mb, EE, esi, 0).  It returns with every register as on
 * entry and the answer in the zero flag: ZF set when the method now has
 * compiled code.
 *
 * The EE is found without a VM call: esp AND TLA_MASK is the thread area's
 * base, whose word 1 is the EE.
 */
#include "vm_abi.h"

        .text
        .globl  jit_invokeCompiledEntryMethod
        .hidden jit_invokeCompiledEntryMethod
        .type   jit_invokeCompiledEntryMethod, @function
jit_invokeCompiledEntryMethod:
        pushl   %ebp
        leal    4(%esp), %ebp           /* ebp = the return-address slot */
        pushl   %ebx
        movl    %eax, %ebx              /* the method block */

        /* Stack probes at esp-0x1000 .. esp-0x4000. */
        cmpl    %eax, -0x1000(%esp)
        cmpl    %eax, -0x2000(%esp)
        subl    $0x2000, %esp
        cmpl    %eax, -0x1000(%esp)
        cmpl    %eax, -0x2000(%esp)
        addl    $0x2000, %esp

        pushl   %eax
        pushl   %edx
        pushl   %ecx

        /* Transition record {previous head, frame | 1, frame, caller's ebp}. */
        movl    %esp, %ecx
        andl    $TLA_MASK, %ecx
        movl    TLA_EE(%ecx), %ecx      /* ecx = EE */
        pushl   -4(%ebp)                /* the caller's ebp */
        pushl   %ebp
        pushl   %ebp
        orl     $1, (%esp)
        pushl   EE_TRANSITION(%ecx)
        movl    %esp, EE_TRANSITION(%ecx)

        /* _jit_fast_compile(mb, EE, esi, 0) on a 16-byte aligned stack. */
        movl    %esp, %edx
        andl    $-16, %esp
        subl    $12, %esp
        pushl   %edx                    /* esp before the alignment */
        pushl   $0
        pushl   %esi
        pushl   %ecx
        pushl   %ebx
        call    _jit_fast_compile
        movl    16(%esp), %esp

        /* Unlink: head = word 0 of the record without its tag bits. */
        movl    %esp, %ecx
        andl    $TLA_MASK, %ecx
        movl    TLA_EE(%ecx), %ecx
        movl    (%esp), %edx
        andl    $~3, %edx
        movl    %edx, EE_TRANSITION(%ecx)
        addl    $16, %esp

        testl   %eax, %eax              /* ZF: compiled */
        popl    %ecx
        popl    %edx
        popl    %eax
        popl    %ebx
        popl    %ebp
        ret
        .size   jit_invokeCompiledEntryMethod, .-jit_invokeCompiledEntryMethod

        .section .note.GNU-stack,"",@progbits
