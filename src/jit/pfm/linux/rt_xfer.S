/*
 * _mmi2jit_xfer: the interpreter hands a running activation over to the
 * compiled code of the same method at a transfer point.
 *
 * Entered by the interpreter with eax = the value it passes first (handed on
 * unchanged), ebp = its frame, whose state area is ebp-0x20 .. ebp-0x18 (the
 * method block at ebp-0x1C), esi = the bytecode position and edi = the
 * locals.  The code generator's transfer support decides whether the point
 * is valid (mmiVerifyTpAndGetWorkSize, giving the stack address at which to
 * build the compiled frame) and builds the frame (mmiGenerateJitFrame, giving
 * the stack address to resume from).  From there this entry pops the
 * compiled code's ebx, esi, edi, the new registration head, eax and ebp, and
 * returns into the compiled method.  A refused transfer sets the mode word
 * to 0 and returns to the interpreter with ebx, esi and edi as they were.
 */
#include "vm_abi.h"
#include "lib/rt_support.h"

#define STATE_AREA      (-0x20)
#define STATE_METHOD    (-0x1C)
#define STATE_PC        (-0x18)

        .text
        .globl  _mmi2jit_xfer
        .hidden _mmi2jit_xfer
        .type   _mmi2jit_xfer, @function
_mmi2jit_xfer:
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    %esi, STATE_PC(%ebp)
        movl    %esp, %ebx              /* [ebx] edi, [ebx+4] esi, [ebx+8] ebx */
        leal    12(%esp), %ecx          /* the interpreter's stack above them */
        pushl   %ecx
        pushl   %esi
        pushl   %edi
        leal    STATE_AREA(%ebp), %edx
        pushl   %edx
        pushl   %eax
        call    mmiVerifyTpAndGetWorkSize
        addl    $20, %esp
        testl   %eax, %eax
        jnz     1f
        movl    %esp, %ecx
        andl    $TLA_MASK, %ecx
        movl    TLA_EE(%ecx), %ecx
        movl    $0, EE_MODE(%ecx)
        popl    %edi
        popl    %esi
        popl    %ebx
        ret
1:      movl    %eax, %esp              /* the work area */
        movl    STATE_METHOD(%ebp), %ecx
        movzwl  MB_MAX_LOCALS(%ecx), %edx
        leal    0x1C(%esp,%edx,4), %edx /* the operand area above the locals */
        leal    12(%ebx), %eax
        pushl   %eax                    /* interpreter stack */
        pushl   4(%ebx)                 /* the saved esi */
        pushl   %edi
        pushl   %edx
        leal    STATE_AREA(%ebp), %eax
        pushl   %eax
        movl    %ebx, %eax
        andl    $TLA_MASK, %eax
        pushl   TLA_REGISTRATION(%eax)  /* current registration head */
        pushl   %ecx
        call    mmiGenerateJitFrame
        movl    %eax, %esp
        popl    %ebx
        popl    %esi
        popl    %edi
        movl    %esp, %ecx
        andl    $TLA_MASK, %ecx
        popl    TLA_REGISTRATION(%ecx)  /* the compiled frame's registration */
        popl    %eax
        popl    %ebp
        ret
        .size   _mmi2jit_xfer, .-_mmi2jit_xfer

        .section .note.GNU-stack,"",@progbits
