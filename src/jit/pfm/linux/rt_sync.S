/*
 * Synchronized-method entry and exit stubs (run-time routine table entries
 * 65-140): a thin lock in the object's lock word (object + 4: bits 8-15 the
 * nesting count beyond the first entry, bits 16-31 the owner's thin-lock id
 * from EE+0x154), with every other case handed to the VM.
 *
 * Entry: eax = the lock object, ebp = E (the method's entry stack pointer).
 * The lock is taken first, then the frame's synchronization area {link,
 * object} (E-8/E-4, or E-28/E-24 for a method with an exception table) is
 * linked as a monitor-list node into the newest registration (the next-older
 * one with a table: the method's own registration is the newest).  Returns
 * eax = the object; edx (int2, int3), ecx (int3) and the top F x87 entries
 * are kept.
 *
 * Exit: ebp = E as at entry; the node is unlinked first, then the lock is
 * released (a waiting thread woken through the VM), or the count lowered, or
 * the VM's exit called through _jit_monitorExitQuicker.  The result (eax,
 * edx:eax or ST0) is kept.
 *
 * The _mp members use bus-locked instructions for the free/held changes.
 * The VM functions are compiled for 4-byte stack alignment.
 */
#include "vm_abi.h"
#include "lib/rt_support.h"
#include "driver/vmlink.h"

        .text

/* reg = the value of the hidden variable `sym` (position independent). */
.macro LOAD_VALUE sym, reg
        call    9f
9:      popl    \reg
        addl    $_GLOBAL_OFFSET_TABLE_+(.-9b), \reg
        movl    \sym@GOTOFF(\reg), \reg
.endm

/*
 * ENTER name, regs (1 int01, 2 int2, 3 int3), fp (0-4), try (0/1), mp (0/1)
 */
.macro ENTER name, regs, fp, try, mp
        .globl  \name
        .hidden \name
        .type   \name, @function
\name:
        .if \regs >= 2
        pushl   %edx
        .endif
        .if \regs >= 3
        pushl   %ecx
        .endif
        .if \fp > 0
        subl    $(8 * \fp), %esp
        .set    slot, 0
        .rept   \fp
        fstpl   slot(%esp)
        .set    slot, slot + 8
        .endr
        .endif
        .if \try
        movl    %eax, -24(%ebp)
        .else
        movl    %eax, -4(%ebp)
        .endif
        movl    %esp, %edx
        andl    $TLA_MASK, %edx
        movl    TLA_EE(%edx), %edx              /* the EE */
        movl    %eax, %ecx                      /* the object */
        movzbl  OBJ_LOCKWORD(%ecx), %eax        /* the header's low byte */
        movl    EE_THIN_LOCK_ID(%edx), %edx
        orl     %eax, %edx                      /* id | low byte */
        .if \mp
        lock
        .endif
        cmpxchgl %edx, OBJ_LOCKWORD(%ecx)
        je      1f                              /* it was free */
        xorl    %edx, %eax
        cmpl    $0xFF00, %eax
        jae     2f
        addl    $LOCK_COUNT_ONE, OBJ_LOCKWORD(%ecx)   /* nested, count below 255 */
        jmp     1f
2:      movl    %esp, %edx
        andl    $TLA_MASK, %edx
        pushl   %ecx
        pushl   TLA_EE(%edx)
        LOAD_VALUE vm+VM_monitorEnter2, %eax
        call    *%eax
        addl    $8, %esp
1:      movl    %esp, %edx
        andl    $TLA_MASK, %edx
        movl    TLA_REGISTRATION(%edx), %edx    /* R */
        .if \try
        movl    REG_NEXT(%edx), %edx            /* the next-older registration */
        movl    REG_MONITORS(%edx), %ecx
        movl    %ecx, -28(%ebp)
        leal    -28(%ebp), %ecx
        .else
        movl    REG_MONITORS(%edx), %ecx
        movl    %ecx, -8(%ebp)
        leal    -8(%ebp), %ecx
        .endif
        movl    %ecx, REG_MONITORS(%edx)
        .if \fp > 0
        .set    slot, 8 * (\fp - 1)
        .rept   \fp
        fldl    slot(%esp)
        .set    slot, slot - 8
        .endr
        addl    $(8 * \fp), %esp
        .endif
        .if \regs >= 3
        popl    %ecx
        .endif
        .if \regs >= 2
        popl    %edx
        .endif
        .if \try
        movl    -24(%ebp), %eax
        .else
        movl    -4(%ebp), %eax
        .endif
        ret
        .size   \name, .-\name
.endm

/* One group of 15: index = group start + 3 F + I. */
.macro ENTER_GROUP prefix, try, mp
        ENTER   \prefix\()int01_fp0, 1, 0, \try, \mp
        ENTER   \prefix\()int2_fp0, 2, 0, \try, \mp
        ENTER   \prefix\()int3_fp0, 3, 0, \try, \mp
        ENTER   \prefix\()int01_fp1, 1, 1, \try, \mp
        ENTER   \prefix\()int2_fp1, 2, 1, \try, \mp
        ENTER   \prefix\()int3_fp1, 3, 1, \try, \mp
        ENTER   \prefix\()int01_fp2, 1, 2, \try, \mp
        ENTER   \prefix\()int2_fp2, 2, 2, \try, \mp
        ENTER   \prefix\()int3_fp2, 3, 2, \try, \mp
        ENTER   \prefix\()int01_fp3, 1, 3, \try, \mp
        ENTER   \prefix\()int2_fp3, 2, 3, \try, \mp
        ENTER   \prefix\()int3_fp3, 3, 3, \try, \mp
        ENTER   \prefix\()int01_fp4, 1, 4, \try, \mp
        ENTER   \prefix\()int2_fp4, 2, 4, \try, \mp
        ENTER   \prefix\()int3_fp4, 3, 4, \try, \mp
.endm

        ENTER_GROUP __enter_sync_method_, 0, 0
        ENTER_GROUP __enter_sync_method_with_try_, 1, 0
        ENTER_GROUP __enter_sync_method_mp_, 0, 1
        ENTER_GROUP __enter_sync_method_mp_with_try_, 1, 1

/*
 * EXIT name, kind (0 void, 1 int, 2 long, 3 fp), try, mp
 */
.macro EXIT name, kind, try, mp
        .globl  \name
        .hidden \name
        .type   \name, @function
\name:
        .if \kind == 2
        pushl   %edx
        .endif
        movl    %esp, %edx
        andl    $TLA_MASK, %edx
        movl    TLA_REGISTRATION(%edx), %edx    /* R */
        .if \try
        movl    -28(%ebp), %ecx
        movl    %ecx, REG_MONITORS(%edx)
        movl    -24(%ebp), %ecx
        .else
        movl    -8(%ebp), %ecx
        movl    %ecx, REG_MONITORS(%edx)
        movl    -4(%ebp), %ecx
        .endif
        .if \kind == 1 || \kind == 2
        pushl   %eax
        .endif
        .if \kind == 3
        subl    $8, %esp
        fstpl   (%esp)
        .endif
        movl    REG_EE(%edx), %edx              /* the EE */
        movl    OBJ_LOCKWORD(%ecx), %eax
        xorl    EE_THIN_LOCK_ID(%edx), %eax
        cmpl    $0xFF, %eax
        ja      2f
        /* Owner, count 0: release, then wake a waiter through the VM. */
        .if \mp
        lock
        andl    $LOCK_HDR_MASK, OBJ_LOCKWORD(%ecx)
        .else
        movw    $0, OBJ_LOCKWORD + 2(%ecx)
        .endif
        testl   $PREHDR_CONTENTION, OBJ_PREHEADER(%ecx)
        jz      1f
        pushl   %ecx
        pushl   %edx
        LOAD_VALUE vm+VM_monitorFlatExitForJIT, %eax
        call    *%eax
        addl    $8, %esp
        jmp     1f
2:      cmpl    $0xFFFF, %eax
        ja      3f
        decb    OBJ_LOCKWORD + 1(%ecx)          /* owner, count 1 to 255 */
        jmp     1f
3:      /* _jit_monitorExitQuicker(object, EE, ebp, the return-address slot) */
        .if \kind == 0
        leal    0(%esp), %eax
        .elseif \kind == 1
        leal    4(%esp), %eax
        .else
        leal    8(%esp), %eax
        .endif
        pushl   %eax
        pushl   %ebp
        pushl   %edx
        pushl   %ecx
        call    _jit_monitorExitQuicker
        addl    $16, %esp
1:
        .if \kind == 3
        fldl    (%esp)
        addl    $8, %esp
        .endif
        .if \kind == 1 || \kind == 2
        popl    %eax
        .endif
        .if \kind == 2
        popl    %edx
        .endif
        ret
        .size   \name, .-\name
.endm

.macro EXIT_GROUP prefix, try, mp
        EXIT    \prefix, 0, \try, \mp
        EXIT    \prefix\()_int, 1, \try, \mp
        EXIT    \prefix\()_long, 2, \try, \mp
        EXIT    \prefix\()_fp, 3, \try, \mp
.endm

        EXIT_GROUP __exit_sync_method, 0, 0
        EXIT_GROUP __exit_sync_method_with_try, 1, 0
        EXIT_GROUP __exit_sync_method_mp, 0, 1
        EXIT_GROUP __exit_sync_method_mp_with_try, 1, 1

        .section .note.GNU-stack,"",@progbits
