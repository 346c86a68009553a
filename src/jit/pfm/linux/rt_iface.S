/*
 * Interface dispatch stubs.
 *
 * Plain site (written by the code generator): mov ebx, constant pool;
 * mov edi, index; call rel32 (to __invokeinterface, later to
 * __invokeinterface_quick); then three data words at the return address R:
 * the interface method block (0xCAFEBABE until resolved), the address of the
 * guess cell, and a descriptor.  eax = the receiver; edx and ecx are kept.
 * The stubs jump to the implementing method's compiled code with R + 12 as
 * its return address.
 *
 * The guess is rewritten whenever the interface is found at another position
 * than the last one, so a polymorphic site would store into it again and
 * again.  It therefore lives off the code pages, in a word of the
 * compilation's data piece: after the one-time back-patching of the call
 * (rel32 and the method block) no run-time path stores into code pages.
 *
 * __get_invokeinterf_mb_and_set_guess (fast-path miss): eax = the receiver
 * (not null), edx = the interface method block, ecx = the address of a
 * one-byte guess; returns the implementing method block in eax, keeping the
 * other registers.  A class that does not implement the interface raises
 * IncompatibleClassChangeError with ecx = interface | 2, edx = class | 1.
 */
#include "vm_abi.h"
#include "lib/rt_support.h"
#include "driver/vmlink.h"

        .text

#define ENTRY(name) \
        .globl  name; \
        .hidden name; \
        .type   name, @function; \
name:

/* reg = the value of the hidden variable `sym`. */
.macro LOAD_VALUE sym, reg
        call    9f
9:      popl    \reg
        addl    $_GLOBAL_OFFSET_TABLE_+(.-9b), \reg
        movl    \sym@GOTOFF(\reg), \reg
.endm

/* reg = the address of `sym`. */
.macro LOAD_ADDRESS sym, reg
        call    9f
9:      popl    \reg
        addl    $_GLOBAL_OFFSET_TABLE_+(.-9b), \reg
        leal    \sym@GOTOFF(\reg), \reg
.endm

/* Stub frame, spare word, saved eax, edx, ecx:
 * [ebp] R, [ebp-4] caller's ebp, [ebp-8] spare, [ebp-12] eax, [ebp-16] edx,
 * [ebp-20] ecx. */
.macro FRAME
        pushl   %ebp
        leal    4(%esp), %ebp
        pushl   $0
        pushl   %eax
        pushl   %edx
        pushl   %ecx
.endm

ENTRY(__invokeinterface)
        FRAME
        movl    %esp, %ecx
        andl    $TLA_MASK, %ecx
        movl    TLA_EE(%ecx), %ecx
        pushl   -4(%ebp)                /* transition record */
        pushl   %ebp
        pushl   %ebp
        orl     $1, (%esp)
        pushl   EE_TRANSITION(%ecx)
        movl    %esp, EE_TRANSITION(%ecx)
        pushl   $1
        pushl   $(1 << CONSTANT_InterfaceMethodref)
        pushl   %ecx
        pushl   %edi
        pushl   %ebx
        LOAD_VALUE vm+VM_ResolveClassConstant2, %eax
        call    *%eax
        addl    $20, %esp
        movl    %esp, %ecx
        andl    $TLA_MASK, %ecx
        movl    TLA_EE(%ecx), %ecx
        movl    (%esp), %edx
        andl    $~3, %edx
        movl    %edx, EE_TRANSITION(%ecx)
        addl    $16, %esp
        testl   %eax, %eax
        jz      .Lraise
        movl    (%ebp), %ecx            /* R */
        movl    (%ebx,%edi,4), %edx     /* the interface method block */
        movl    %edx, (%ecx)
        LOAD_ADDRESS __invokeinterface_quick, %edx
        subl    %ecx, %edx
        movl    %edx, -4(%ecx)          /* the site now calls the quick stub */
        jmp     .Lquick
        .size   __invokeinterface, .-__invokeinterface

ENTRY(__invokeinterface_quick)
        FRAME
.Lquick:
        movl    (%ebp), %ecx            /* R */
        leal    12(%ecx), %edx
        movl    %edx, (%ebp)            /* return past the data words */
        pushl   %ebp
        pushl   -4(%ebp)
        pushl   (%ecx)                  /* the interface method block */
        pushl   -12(%ebp)               /* the receiver */
        pushl   4(%ecx)                 /* the guess cell's address */
        call    _jit_get_mb_from_methodtable
        addl    $20, %esp
        testl   %eax, %eax
        jz      .Lraise_quick
        movl    MB_COMPILED_CODE(%eax), %eax
        movl    %eax, -8(%ebp)          /* the target */
        popl    %ecx
        popl    %edx
        popl    %eax
        movl    4(%esp), %ebp           /* the caller's ebp */
        ret     $4                      /* to the target; R + 12 on top */
.Lraise_quick:
        subl    $12, (%ebp)             /* raise at the call site */
.Lraise:
        popl    %ecx
        popl    %edx
        popl    %eax
        addl    $4, %esp
        popl    %ebp
        jmp     THROW_EXCEPTION_THROWN
        .size   __invokeinterface_quick, .-__invokeinterface_quick

ENTRY(__get_invokeinterf_mb_and_set_guess)
        pushl   %ebx
        pushl   %ecx
        pushl   %edx
        pushl   %esi
        pushl   %edi
        movl    OBJ_WORD0(%eax), %esi   /* the method table */
        movl    (%esi), %ebx            /* the receiver's class */
        movl    CB_IMETHODTABLE(%ebx), %ebx
        movl    MB_CLASS(%edx), %edi    /* the interface */
        movzbl  (%ecx), %eax            /* the guess */
        cmpl    (%ebx), %eax
        jae     1f
        cmpl    4(%ebx,%eax,8), %edi
        je      3f
1:      movl    (%ebx), %eax
2:      decl    %eax
        js      4f
        cmpl    4(%ebx,%eax,8), %edi
        jne     2b
        movb    %al, (%ecx)
3:      movl    8(%ebx,%eax,8), %eax    /* the interface's slot indexes */
        movl    MB_SLOT(%edx), %edx
        movzwl  (%eax,%edx,2), %eax
        movl    4(%esi,%eax,4), %eax    /* the implementing method */
        popl    %edi
        popl    %esi
        popl    %edx
        popl    %ecx
        popl    %ebx
        ret
4:      movl    (%esi), %edx
        orl     $1, %edx                /* the class | 1 */
        movl    %edi, %ecx
        orl     $2, %ecx                /* the interface | 2 */
        popl    %edi
        popl    %esi
        addl    $8, %esp
        popl    %ebx
        jmp     THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokeinterface
        .size   __get_invokeinterf_mb_and_set_guess, .-__get_invokeinterf_mb_and_set_guess

        .section .note.GNU-stack,"",@progbits
