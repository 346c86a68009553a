/*
 * Software exception raisers, the thread-local-area mask and the run-time
 * constants that generated code addresses.
 *
 * A raiser is entered by a 5-byte call from compiled code or a stub (or by a
 * jmp from a stub, which leaves the stub's return address on top).  It lays
 * a raise area below the stack pointer: the exception record at esp and the
 * register context 0x14 bytes above it, calls the handler of the newest
 * registration (handler(record, registration, context), caller pops) and
 * resumes from the context: eip, esp, eax, ebp, ebx, esi, edi and the x87
 * control word.  ecx and edx are not taken from the context: on resume ecx
 * holds the abandoned context and edx the resume address.
 *
 * Every raiser is the same 160-byte sequence with its own code, so they
 * follow each other at a 160-byte stride; THROW_EXCEPTION_THREAD_DEATH is
 * the one after THROW_EXCEPTION_ILLEGAL_ACCESS.  The context is addressed
 * from a base 0x80 bytes into it so that every store is a disp8 form; that
 * leaves room for the one thing the sequence adds: the handler's answer is
 * checked, and a raise that no registration handled ends the process in
 * rt_unhandled_raise instead of jumping to an Eip nobody set.
 *
 * The area mask is used as an immediate: it is the constant in
 * orva_tla_mask, which nothing writes, and an absolute load of it from this
 * position-independent library would need a text relocation.
 */
#include "vm_abi.h"
#include "lib/rt_support.h"

#define CB      0x80                    /* context base offset used below */

        .data
        .globl  orva_tla_mask
        .hidden orva_tla_mask
        .type   orva_tla_mask, @object
        .balign 4
orva_tla_mask:
        .long   TLA_MASK
        .size   orva_tla_mask, 4

/*
 * Constants that generated x87 code loads by absolute address, the x87
 * control words, and the data the resolvers copy into rewritten sites.
 */
        .globl  fconst_table
        .hidden fconst_table
        .type   fconst_table, @object
        .balign 8
fconst_table:
        .float  0.0                     /* +0 */
        .float  1.0                     /* +4 */
        .float  2.0                     /* +8 */
        .double 0.0                     /* +12 */
        .double 1.0                     /* +20 */
        .size   fconst_table, 28
        .globl  rt_nop6
        .hidden rt_nop6
rt_nop6:                                /* lea eax, [eax+0] */
        .byte   0x8D, 0x80, 0x00, 0x00, 0x00, 0x00
        .globl  rt_nop4
        .hidden rt_nop4
rt_nop4:                                /* lea esp, [esp+0] */
        .byte   0x8D, 0x64, 0x24, 0x00
        .globl  rt_spin2
        .hidden rt_spin2
rt_spin2:                               /* jmp $ */
        .byte   0xEB, 0xFE
        .balign 4
        .globl  rt_object_header_size
        .hidden rt_object_header_size
rt_object_header_size:
        .long   OBJ_HEADER_SIZE

        .globl  fcontrol_words
        .hidden fcontrol_words
        .balign 4
fcontrol_words:
        .short  0x027F                  /* 53-bit, nearest, all masked */
        .short  0x0E7F                  /* 53-bit, toward zero */
        .short  0x007F                  /* 24-bit, nearest */
        .short  0x0C7F                  /* 24-bit, toward zero */

        .text

/* eax = address of `sym` (position independent). */
#define LOAD_ADDRESS(sym) \
        call    9f; \
9:      popl    %eax; \
        addl    $_GLOBAL_OFFSET_TABLE_+(.-9b), %eax; \
        leal    sym@GOTOFF(%eax), %eax

#define ENTRY(name) \
        .globl  name; \
        .hidden name; \
        .type   name, @function; \
name:

ENTRY(_GET_FCONST_BASE)
        LOAD_ADDRESS(fconst_table)
        ret
        .size   _GET_FCONST_BASE, .-_GET_FCONST_BASE

ENTRY(_GET_FCONTROL_WORD_BASE)
        LOAD_ADDRESS(fcontrol_words)
        ret
        .size   _GET_FCONTROL_WORD_BASE, .-_GET_FCONTROL_WORD_BASE

/* Loads 0x027F into the x87 control word; no register changes. */
ENTRY(_RESET_FCONTROL_WORD)
        pushl   %eax
        LOAD_ADDRESS(fcontrol_words)
        fldcw   (%eax)
        popl    %eax
        ret
        .size   _RESET_FCONTROL_WORD, .-_RESET_FCONTROL_WORD

/* The current thread's EE from the stack pointer; changes only eax. */
ENTRY(_orva_getee)
ENTRY(_orva_GetEE)
        movl    %esp, %eax
        andl    $TLA_MASK, %eax
        movl    TLA_EE(%eax), %eax
        ret
        .size   _orva_getee, .-_orva_getee

/*
 * The raise sequence with exception code `code`: 160 bytes.
 */
.macro RAISE code
        subl    $RAISE_AREA_SIZE, %esp
        movl    $\code, XREC_CODE(%esp)
        movl    $0, XREC_FLAGS(%esp)
        movl    RAISE_AREA_SIZE(%esp), %eax     /* return address */
        subl    $5, %eax                        /* the call instruction */
        movl    %eax, XREC_ADDRESS(%esp)
        leal    RAISE_CONTEXT+CB(%esp), %eax    /* context + 0x80 */
        movl    %ebx, XCTX_EBX-CB(%eax)
        movl    %esi, XCTX_ESI-CB(%eax)
        movl    %edi, XCTX_EDI-CB(%eax)
        movl    %ecx, XCTX_ECX-CB(%eax)
        movl    %edx, XCTX_EDX-CB(%eax)
        movl    %ebp, XCTX_EBP-CB(%eax)
        leal    RAISE_AREA_SIZE+4(%esp), %edx   /* the caller's esp before its call */
        movl    %edx, XCTX_ESP-CB(%eax)
        addl    $-CB, %eax                      /* the context */
        movl    %esp, %edx
        andl    $TLA_MASK, %edx
        movl    TLA_REGISTRATION(%edx), %edx    /* newest registration */
        movl    %esp, %ecx                      /* the record */
        pushl   %eax
        pushl   %edx
        pushl   %ecx
        call    *REG_HANDLER(%edx)
        addl    $12, %esp
        testl   %eax, %eax
        jnz     rt_raise_unhandled
        leal    RAISE_CONTEXT+CB(%esp), %ecx
        fldcw   XCTX_CONTROL_WORD-CB(%ecx)
        movl    XCTX_EBP-CB(%ecx), %ebp
        movl    XCTX_EAX-CB(%ecx), %eax
        movl    XCTX_EIP-CB(%ecx), %edx
        movl    XCTX_EBX-CB(%ecx), %ebx
        movl    XCTX_ESI-CB(%ecx), %esi
        movl    XCTX_EDI-CB(%ecx), %edi
        movl    XCTX_ESP-CB(%ecx), %esp
        addl    $-CB, %ecx                      /* ecx = the abandoned context */
        jmp     *%edx
.endm

.macro RAISER name, code
        .balign 16
ENTRY(\name)
        RAISE   \code
        .org    \name + RAISER_SIZE, 0xCC
        .size   \name, RAISER_SIZE
.endm

/*
 * _jit_Athrow: eax = the object to throw.  It becomes the pending exception
 * (kind 1, object eax) and is raised as THROWN; the context's Ecx holds it.
 */
        .balign 16
ENTRY(_jit_Athrow)
        movl    %eax, %ecx
        movl    %esp, %eax
        andl    $TLA_MASK, %eax
        movl    TLA_EE(%eax), %eax
        movl    $1, EE_EXCEPTION_KIND(%eax)
        movl    %ecx, EE_EXCEPTION(%eax)
        RAISE   SWX_THROWN
        .org    _jit_Athrow + ATHROW_SIZE, 0xCC
        .size   _jit_Athrow, ATHROW_SIZE

        RAISER  THROW_EXCEPTION_ABSTRACTMETHOD, SWX_ABSTRACTMETHOD
        RAISER  THROW_EXCEPTION_ARRAY_OUTOFBOUNDS, SWX_ARRAY_OUTOFBOUNDS
        RAISER  THROW_EXCEPTION_ARRAYSTORE, SWX_ARRAYSTORE
        RAISER  THROW_EXCEPTION_CHECKCAST, SWX_CHECKCAST
        RAISER  THROW_EXCEPTION_GETPUTFIELD, SWX_GETPUTFIELD
        RAISER  THROW_EXCEPTION_GETPUTSTATIC, SWX_GETPUTSTATIC
        RAISER  THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_field, SWX_INCOMPATIBLE_CLASS_CHANGE
        RAISER  THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_static, SWX_INCOMPATIBLE_CLASS_CHANGE
        RAISER  THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokevirtual, SWX_INCOMPATIBLE_CLASS_CHANGE
        RAISER  THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokestatic, SWX_INCOMPATIBLE_CLASS_CHANGE
        RAISER  THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokeinterface, SWX_INCOMPATIBLE_CLASS_CHANGE
        RAISER  THROW_EXCEPTION_INTERFACE_FOUND, SWX_INTERFACE_FOUND
        RAISER  THROW_EXCEPTION_INVOKEINTERFACE, SWX_INVOKEINTERFACE
        RAISER  THROW_EXCEPTION_INVOKESTATIC, SWX_INVOKESTATIC
        RAISER  THROW_EXCEPTION_INVOKEVIRTUAL, SWX_INVOKEVIRTUAL
        RAISER  THROW_EXCEPTION_LINKERROR, SWX_LINKERROR
        RAISER  THROW_EXCEPTION_NULL_POINTER, SWX_NULL_POINTER
        RAISER  THROW_EXCEPTION_THROWN, SWX_THROWN
        RAISER  THROW_EXCEPTION_DIV0, SWX_DIV0
        RAISER  THROW_EXCEPTION_NEGATIVE_ARRAYSIZE, SWX_NEGATIVE_ARRAYSIZE
        RAISER  THROW_EXCEPTION_OUT_OF_MEMORY, SWX_OUT_OF_MEMORY
        RAISER  THROW_EXCEPTION_ILLEGAL_ACCESS, SWX_ILLEGAL_ACCESS
        RAISER  THROW_EXCEPTION_THREAD_DEATH, SWX_THROWN

/* No registration handled the raise: esp = the record, eax = the answer. */
rt_raise_unhandled:
        movl    %esp, %ecx
        pushl   %eax
        pushl   %ecx
        call    rt_unhandled_raise
        hlt

        .section .note.GNU-stack,"",@progbits
