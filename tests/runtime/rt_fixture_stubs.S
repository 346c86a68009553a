/*
 * Call thunks and stand-ins for the routines that the replacement bodies
 * and the gates call: the synchronized-method entry and exit stubs (they
 * only count and keep the synchronization area as the real ones do), the
 * raisers (record and leave through rtf_on_raise) and a VM invoker that
 * records how it was called.
 */
#include "vm_abi.h"

#define ENTRY(name) .globl name; .type name, @function; name:
#define WORD(name) .globl name; name: .long 0

        .data
        .balign 4
WORD(rtf_edx)
WORD(rtf_site_continue)
WORD(rtf_enter_calls)
WORD(rtf_exit_calls)
WORD(rtf_enter_lockword)
WORD(rtf_raised_index)
WORD(rtf_raise_lockword)
WORD(rtf_raise_vector)
WORD(rtf_thrown_calls)
WORD(rtf_invoker_calls)
        .globl  rtf_invoker_seen
rtf_invoker_seen: .fill 5, 4, 0
        .globl  rtf_invoker_args
rtf_invoker_args: .fill 16, 4, 0
saved_esp:      .long 0

        .text
/* u4 rtf_call(entry, eax, edx, ecx) */
ENTRY(rtf_call)
        pushl   %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    20(%esp), %edi
        movl    24(%esp), %eax
        movl    28(%esp), %edx
        movl    32(%esp), %ecx
        call    *%edi
        movl    %edx, rtf_edx
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

/* u4 rtf_call_invoker(invoker, n, words): word 0 pushed first (highest). */
ENTRY(rtf_call_invoker)
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    12(%ebp), %ecx
        movl    16(%ebp), %esi
        xorl    %edx, %edx
1:      cmpl    %ecx, %edx
        jae     2f
        pushl   (%esi,%edx,4)
        incl    %edx
        jmp     1b
2:      xorl    %eax, %eax
        call    *8(%ebp)
        movl    %edx, rtf_edx
        leal    -12(%ebp), %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

/* u4 rtf_run_site(site, eax, edx, ecx, n, words): argument word i at E + 4(n - i). */
ENTRY(rtf_run_site)
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    %esp, saved_esp
        movl    24(%ebp), %ecx          /* n */
        movl    28(%ebp), %esi
        xorl    %edx, %edx
1:      cmpl    %ecx, %edx
        jae     2f
        pushl   (%esi,%edx,4)           /* word 0 first: highest */
        incl    %edx
        jmp     1b
2:      movl    $3f, rtf_site_continue
        movl    12(%ebp), %eax
        movl    16(%ebp), %edx
        movl    20(%ebp), %ecx
        jmp     *8(%ebp)
3:      movl    saved_esp, %esp
        movl    %edx, rtf_edx
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

/* Synchronized entry: eax = the object, ebp = E; keeps edx (and ecx). */
ENTRY(__enter_sync_method_int2_fp0)
ENTRY(__enter_sync_method_int3_fp0)
        incl    rtf_enter_calls
        movl    %eax, -4(%ebp)
        movl    $0, -8(%ebp)
        pushl   %ecx
        movl    OBJ_LOCKWORD(%eax), %ecx
        movl    %ecx, rtf_enter_lockword
        popl    %ecx
        ret

/* Synchronized exit, integer result: keeps eax; the area holds the object. */
ENTRY(__exit_sync_method_int)
        incl    rtf_exit_calls
        ret

ENTRY(THROW_EXCEPTION_ARRAY_OUTOFBOUNDS)
        movl    %edx, rtf_raised_index
        movl    rtf_raise_vector, %eax
        testl   %eax, %eax
        jz      1f
        movl    OBJ_LOCKWORD(%eax), %eax
        movl    %eax, rtf_raise_lockword
1:      call    rtf_on_raise

ENTRY(THROW_EXCEPTION_THROWN)
        incl    rtf_thrown_calls
        call    rtf_on_raise

/* A VM invoker: records eax, ebx, ecx, edx, the mode word and the argument
   words from [esp+4] up; answers eax 0x1234, edx 0x5678. */
ENTRY(rtf_invoker)
        incl    rtf_invoker_calls
        movl    %eax, rtf_invoker_seen
        movl    %ebx, rtf_invoker_seen+4
        movl    %ecx, rtf_invoker_seen+8
        movl    %edx, rtf_invoker_seen+12
        movl    %esp, %eax
        andl    $TLA_MASK, %eax
        movl    TLA_EE(%eax), %eax
        movl    EE_MODE(%eax), %eax
        movl    %eax, rtf_invoker_seen+16
        xorl    %edx, %edx
1:      cmpl    $16, %edx
        jae     2f
        movl    4(%esp,%edx,4), %eax
        movl    %eax, rtf_invoker_args(,%edx,4)
        incl    %edx
        jmp     1b
2:      movl    $0x1234, %eax
        movl    $0x5678, %edx
        ret


        .data
WORD(rtf_icc_edx)
WORD(rtf_icc_ecx)
WORD(rtf_icc_kind)
        .text
.macro ICC_RAISER name, kind
ENTRY(\name)
        movl    %edx, rtf_icc_edx
        movl    %ecx, rtf_icc_ecx
        movl    $\kind, rtf_icc_kind
        call    rtf_on_raise
.endm
        ICC_RAISER THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_field, 1
        ICC_RAISER THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_static, 2
        ICC_RAISER THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokevirtual, 3
        ICC_RAISER THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokeinterface, 4

        .section .note.GNU-stack,"",@progbits
