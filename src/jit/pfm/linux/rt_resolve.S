/*
 * Resolve-and-retry stubs for field, static and call sites.
 *
 * A compiled site that refers to an unresolved constant-pool entry is first
 * a call into an out-of-line stub after the method body, which pushes what
 * it must keep, loads the index, the accessing method block and (for field
 * and static sites) the x87 live-state word, and calls one of these stubs.
 * The stub keeps every register of the compiled code, spills the live x87
 * entries around the call of its C resolver (which resolves through the VM
 * and rewrites the site into its final instruction), points the out-of-line
 * stub's return at the site's first byte, and returns: the site then runs
 * its final instruction.  A resolver answers 1 (retry), 0 (an exception is
 * pending) or the field or method block whose static-ness is wrong.
 *
 * __ldc serves the inline resolution block of a string constant: its
 * resolver redirects the short jump in front of the block past it, so the
 * block runs once.
 *
 * Entry state: eax = the index word, ebx = the accessing method block;
 * field and static stubs: ecx = the x87 live-state word, stack R1, saved
 * ebx, saved ecx, saved eax, R2; call stubs: stack R1, saved ebx, saved eax,
 * R2; __ldc: ecx = the x87 live-state word, stack R1, then the block's saved
 * registers.  R1 is this stub's return address, R2 - 5 the site.
 */
#include "vm_abi.h"
#include "driver/vmlink.h"

#define ENTRY(name) \
        .globl  name; \
        .hidden name; \
        .type   name, @function; \
name:

/* Spills the live x87 entries that ecx describes, top first (CH entries; bit i of CL = ST(i) is a double). */
.macro SPILL_X87
771:    testb   %ch, %ch
        jz      774f
        shrb    $1, %cl
        jc      772f
        subl    $4, %esp
        fstps   (%esp)
        jmp     773f
772:    subl    $8, %esp
        fstpl   (%esp)
773:    decb    %ch
        jmp     771b
774:
.endm

/* Reloads them from the reload half of the word (already shifted into cx). */
.macro RELOAD_X87
771:    testb   %ch, %ch
        jz      774f
        shlb    $1, %cl
        jc      772f
        flds    (%esp)
        addl    $4, %esp
        jmp     773f
772:    fldl    (%esp)
        addl    $8, %esp
773:    decb    %ch
        jmp     771b
774:
.endm

/* resolver(eax, edx = R1, esi = site, ebx, caller's ebp, ebp) on a 16-byte aligned stack; clobbers ecx. */
.macro CALL_RESOLVER resolver
        movl    %esp, %ecx
        andl    $-16, %esp
        subl    $4, %esp
        pushl   %ecx
        pushl   %ebp
        pushl   -4(%ebp)
        pushl   %ebx
        pushl   %esi
        pushl   %edx
        pushl   %eax
        call    \resolver
        movl    24(%esp), %esp
.endm

.macro FIELD_STUB name, resolver, raiser, kind
ENTRY(\name)
        pushl   %ebp
        leal    4(%esp), %ebp           /* ebp = &R1 */
        pushl   %edx
        pushl   %esi
        movl    (%ebp), %edx            /* R1 */
        movl    16(%ebp), %esi          /* R2 */
        subl    $5, %esi                /* the site */
        movl    %esi, 16(%ebp)          /* the out-of-line stub returns into the site */
        SPILL_X87
        pushl   %ecx
        CALL_RESOLVER \resolver
        popl    %ecx
        shrl    $16, %ecx
        RELOAD_X87
        popl    %esi
        popl    %edx
        cmpl    $1, %eax
        jne     1f
        leal    -4(%ebp), %esp
        popl    %ebp
        ret
1:      leal    -4(%ebp), %esp
        popl    %ebp
        testl   %eax, %eax
        jz      THROW_EXCEPTION_THROWN
        movl    %eax, %edx
        movl    $\kind, %ecx
        jmp     \raiser
        .size   \name, .-\name
.endm

.macro CALL_STUB name, resolver
ENTRY(\name)
        pushl   %ebp
        leal    4(%esp), %ebp
        pushl   %edx
        pushl   %ecx
        pushl   %esi
        movl    (%ebp), %edx            /* R1 */
        movl    12(%ebp), %esi          /* R2 */
        subl    $5, %esi
        movl    %esi, 12(%ebp)
        CALL_RESOLVER \resolver
        popl    %esi
        popl    %ecx
        popl    %edx
        cmpl    $1, %eax
        jne     1f
        leal    -4(%ebp), %esp
        popl    %ebp
        ret
1:      leal    -4(%ebp), %esp
        popl    %ebp
        testl   %eax, %eax
        jz      THROW_EXCEPTION_THROWN
        movl    %eax, %edx
        movl    $2, %ecx
        jmp     THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokevirtual
        .size   \name, .-\name
.endm

        .text
        FIELD_STUB __getfield, _orva_ResolveClassConstant_getfield, THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_field, 0
        FIELD_STUB __putfield, _orva_ResolveClassConstant_putfield, THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_field, 0
        FIELD_STUB __getstatic, _orva_ResolveClassConstant_getstatic, THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_static, 1
        FIELD_STUB __putstatic, _orva_ResolveClassConstant_putstatic, THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_static, 1
        CALL_STUB __invokevirtual, _orva_ResolveClassConstant_invoke
        CALL_STUB __invokestatic, _orva_ResolveClassConstant_invokestatic

ENTRY(__ldc)
        pushl   %ebp
        leal    4(%esp), %ebp
        pushl   %edx
        movl    (%ebp), %edx            /* R1 */
        SPILL_X87
        pushl   %ecx
        movl    %esp, %ecx              /* resolver(index, R1, ebx, caller's ebp, ebp), aligned */
        andl    $-16, %esp
        subl    $8, %esp
        pushl   %ecx
        pushl   %ebp
        pushl   -4(%ebp)
        pushl   %ebx
        pushl   %edx
        pushl   %eax
        call    _orva_ResolveClassConstant_string
        movl    20(%esp), %esp
        popl    %ecx
        shrl    $16, %ecx
        RELOAD_X87
        popl    %edx
        leal    -4(%ebp), %esp
        popl    %ebp
        testl   %eax, %eax
        jz      THROW_EXCEPTION_THROWN
        movl    $1, %eax
        ret
        .size   __ldc, .-__ldc

/*
 * Static initializer at a site: eax = the class, ecx = the x87 live-state
 * word; stack R1, saved ecx, saved eax, R2.  Runs the initializers unless
 * they have run, then turns the site into the 6-byte no-operation and
 * returns past it.
 */
ENTRY(__execute_clinit)
        testb   $CS_INITIALIZED, CB_STATE(%eax)
        jz      1f
        pushl   %ebp
        leal    4(%esp), %ebp
        jmp     2f
1:      pushl   %ebp
        leal    4(%esp), %ebp
        SPILL_X87
        pushl   %edx
        pushl   %ecx
        pushl   %eax
        pushl   %ebp                    /* _orva_ExecuteStaticInitializers(class, caller's ebp, ebp) */
        pushl   -4(%ebp)
        pushl   %eax
        call    _orva_ExecuteStaticInitializers
        addl    $12, %esp
        movl    %eax, %edx
        popl    %eax
        testl   %edx, %edx
        popl    %ecx
        popl    %edx
        jz      3f
        shrl    $16, %ecx
        RELOAD_X87
2:      pushl   %ecx
        pushl   %eax
        pushl   %edx
        movl    12(%ebp), %ecx          /* R2 = site + 5 */
        incl    12(%ebp)                /* the out-of-line stub returns to site + 6 */
        movzwl  -5(%ecx), %eax          /* only the thread that turns the call */
        cmpb    $0xE8, %al              /* into jmp $ rewrites the site */
        jne     4f
        movl    $0xFEEB, %edx
        lock cmpxchgw %dx, -5(%ecx)     /* jmp $ while the site changes */
        jne     4f
        movl    $0, -3(%ecx)
        movw    $0x808D, -5(%ecx)       /* lea eax, [eax+0] */
4:      popl    %edx
        popl    %eax
        popl    %ecx
        leal    -4(%ebp), %esp
        popl    %ebp
        ret
3:      leal    -4(%ebp), %esp
        popl    %ebp
        jmp     THROW_EXCEPTION_THROWN
        .size   __execute_clinit, .-__execute_clinit

/* Points the call that entered this stub (return address at [ebp]) at `quick`. */
.macro REDIRECT_CALLER quick
        pushl   %ecx
        pushl   %edx
        movl    (%ebp), %ecx
        call    775f
775:    popl    %edx
        addl    $(\quick - 775b), %edx /* the quick stub, position independent */
        subl    %ecx, %edx
        movl    %edx, -4(%ecx)
        popl    %edx
        popl    %ecx
.endm

/* new of an unresolved class: eax = index, edx = the accessing method, ecx = the pool. */
ENTRY(__new)
        pushl   %ebp
        leal    4(%esp), %ebp
        pushl   %ebp
        pushl   -4(%ebp)
        pushl   %ecx
        pushl   %edx
        pushl   %eax
        call    _jit_New
        addl    $20, %esp
        testl   %eax, %eax
        jz      9f
        REDIRECT_CALLER __new_quick
        leal    -4(%ebp), %esp
        popl    %ebp
        ret
9:      leal    -4(%ebp), %esp
        popl    %ebp
        jmp     THROW_EXCEPTION_THROWN
        .size   __new, .-__new

/* new of a resolved class: eax = index, ecx = the pool. */
ENTRY(__new_quick)
        pushl   %ebp
        leal    4(%esp), %ebp
        pushl   %ebp
        pushl   -4(%ebp)
        pushl   (%ecx,%eax,4)
        call    _orva_ObjAlloc
        addl    $12, %esp
        leal    -4(%ebp), %esp
        popl    %ebp
        testl   %eax, %eax
        jz      THROW_EXCEPTION_THROWN
        ret
        .size   __new_quick, .-__new_quick

/*
 * Resolves class entry edx of the pool in ecx (eax, edx, ecx kept); an
 * exception leaves through THROW_EXCEPTION_THROWN.  Needs the stub frame.
 */
.macro RESOLVE_CLASS
        pushl   %eax
        pushl   %edx
        pushl   %ecx
        movl    %esp, %eax
        andl    $TLA_MASK, %eax
        movl    TLA_EE(%eax), %eax      /* transition record */
        pushl   -4(%ebp)
        pushl   %ebp
        pushl   %ebp
        orl     $1, (%esp)
        pushl   EE_TRANSITION(%eax)
        movl    %esp, EE_TRANSITION(%eax)
        pushl   $1                      /* vm.ResolveClassConstant2(cp, index, EE, 0x80, 1) */
        pushl   $0x80
        pushl   %eax
        pushl   %edx
        pushl   %ecx
        call    776f
776:    popl    %edx
        addl    $_GLOBAL_OFFSET_TABLE_+(.-776b), %edx
        call    *vm+VM_ResolveClassConstant2@GOTOFF(%edx)
        addl    $20, %esp
        movl    %esp, %ecx
        andl    $TLA_MASK, %ecx
        movl    TLA_EE(%ecx), %ecx
        movl    (%esp), %edx
        andl    $~3, %edx
        movl    %edx, EE_TRANSITION(%ecx)
        addl    $16, %esp
        popl    %ecx
        popl    %edx
        testl   %eax, %eax
        popl    %eax
        jz      9f
.endm

/* checkcast: eax = the object, edx = index, ecx = the pool; eax non-zero on success. */
.macro CHECKCAST_BODY
        pushl   %ebp
        pushl   -4(%ebp)
        pushl   (%ecx,%edx,4)
        pushl   %eax
        call    _jit_checkcast
        addl    $16, %esp
        testl   %eax, %eax
        jz      9f
.endm

ENTRY(__checkcast)
        pushl   %ebp
        leal    4(%esp), %ebp
        RESOLVE_CLASS
        CHECKCAST_BODY
        REDIRECT_CALLER __checkcast_quick
        leal    -4(%ebp), %esp
        popl    %ebp
        ret
9:      leal    -4(%ebp), %esp
        popl    %ebp
        jmp     THROW_EXCEPTION_THROWN
        .size   __checkcast, .-__checkcast

ENTRY(__checkcast_quick)
        pushl   %ebp
        leal    4(%esp), %ebp
        CHECKCAST_BODY
        leal    -4(%ebp), %esp
        popl    %ebp
        ret
9:      leal    -4(%ebp), %esp
        popl    %ebp
        jmp     THROW_EXCEPTION_THROWN
        .size   __checkcast_quick, .-__checkcast_quick

/* instanceof: as checkcast; eax = 1 or 0; the site is redirected whatever the answer. */
ENTRY(__instanceof)
        pushl   %ebp
        leal    4(%esp), %ebp
        RESOLVE_CLASS
        pushl   (%ecx,%edx,4)
        pushl   %eax
        call    _orva_is_instance_of
        addl    $8, %esp
        REDIRECT_CALLER __instanceof_quick
        leal    -4(%ebp), %esp
        popl    %ebp
        ret
9:      leal    -4(%ebp), %esp
        popl    %ebp
        jmp     THROW_EXCEPTION_THROWN
        .size   __instanceof, .-__instanceof

ENTRY(__instanceof_quick)
        pushl   (%ecx,%edx,4)
        pushl   %eax
        call    _orva_is_instance_of
        addl    $8, %esp
        ret
        .size   __instanceof_quick, .-__instanceof_quick

        .section .note.GNU-stack,"",@progbits
