/*
 * Hand-written bodies of eight library methods: String.equals, Random.next
 * and six Vector methods (elementAt, indexOf(Object), indexOf(Object, int),
 * removeElementAt, removeElement, contains).  Class preparation binds them
 * in place of compiled bytecode (replace_methods.cpp).
 *
 * Each body is one contiguous piece of code, registered as the method's
 * committed code from its start to its end:
 *   start:  the interpreter entry (the method's invoker): loads the
 *           arguments the VM passed on the stack into eax, edx, ecx, marks
 *           the thread as running compiled code and jumps to the entry;
 *           zero padding, then the pre-header of compiled methods
 *           (call __backpatch_invocation and five padding bytes);
 *   entry:  the compiled entry point (eax = this, edx, ecx = arguments,
 *           result in eax);
 *   end:    directly after the body's last instruction; the body's
 *           stack-depth pairs {code address, stack offset from the entry
 *           stack pointer} follow it, each one naming the first
 *           instruction after a change of esp.
 *
 * The bodies and their data words live in one writable, executable section:
 * the data words are addressed absolutely (their relocations then land in
 * writable memory, never in text), and the install routines turn the nop in
 * front of each lock-word instruction into a lock prefix on
 * multiprocessors.  The addresses of those nops are listed in
 * rt_replace_lock_sites.
 *
 * The Vector bodies call the synchronized-method entry and exit stubs
 * through data words.  The words refer to the stubs weakly: a word that is
 * still 0 at class preparation keeps the bodies that need it unbound.
 */
#include "vm_abi.h"
#include "driver/vmlink.h"

#define SECTION         .orva_replaced
#define SFLAGS          "awx",@progbits

#define STR_VALUE       8
#define STR_OFFSET      12
#define STR_COUNT       16
#define VEC_MODCOUNT    8
#define VEC_DATA        12
#define VEC_COUNT       16
#define RND_SEED        8
#define CONTENTION      0x40000000
#define BORROWED        (LOCK_BORROWED_OWNER << LOCK_OWNER_SHIFT)

#define GLOBAL(name) \
        .globl  name; \
        .hidden name; \
name:

        .weak   __enter_sync_method_int2_fp0
        .weak   __enter_sync_method_int3_fp0
        .weak   __exit_sync_method_int
        .weak   __enter_sync_method_mp_int2_fp0
        .weak   __enter_sync_method_mp_int3_fp0
        .weak   __exit_sync_method_mp_int

/* ---- data words ------------------------------------------------------- */

        .section SECTION, SFLAGS
        .balign 4
GLOBAL(rt_string_class)         .long 0
GLOBAL(rt_string_equals_mb)     .long 0
GLOBAL(rt_string_pos_cache)     .long 0xDEADBEEF    /* a type word that is a String */
GLOBAL(rt_string_neg_cache)     .long 0xDEADBEEF    /* a type word that is not */
GLOBAL(rt_random_class)         .long 0
GLOBAL(rt_random_next_mb)       .long 0
GLOBAL(rt_equals_slot)          .long 2
GLOBAL(rt_vector_class)         .long 0
GLOBAL(rt_vector_mb)            .fill 6, 4, 0
GLOBAL(rt_vector_enter2)        .long __enter_sync_method_int2_fp0
GLOBAL(rt_vector_enter3)        .long __enter_sync_method_int3_fp0
GLOBAL(rt_vector_exit_int)      .long __exit_sync_method_int
/* The multiprocessor forms the install routines switch to. */
GLOBAL(rt_vector_mp_stubs)
        .long   __enter_sync_method_mp_int2_fp0
        .long   __enter_sync_method_mp_int3_fp0
        .long   __exit_sync_method_mp_int

        .pushsection .data.rt_replace_locks, "aw", @progbits
        .balign 4
GLOBAL(rt_replace_lock_sites)
        .popsection

/* ---- body frame macros -------------------------------------------------- */

/* A nop that becomes the lock prefix of the next instruction on multiprocessors. */
.macro LOCKNOP
771:    nop
        .pushsection .data.rt_replace_locks, "aw", @progbits
        .long   771b
        .popsection
.endm

/* Starts body \k (code in subsection 2k+2, its pairs in 2k+3). */
.macro BODY_BEGIN k, name, third
        .subsection 2*\k+3
\name\()_end:
        .subsection 2*\k+2
        .balign 16, 0
\name\()_start:
        leal    (%esp,%ecx,4), %edi     /* argument word 0 */
        movl    %esp, %esi
        andl    $TLA_MASK, %esi
        movl    TLA_EE(%esi), %esi
        movl    $EE_MODE_COMPILED, EE_MODE(%esi)
.if \third
        movl    -8(%edi), %ecx
.endif
        movl    -4(%edi), %edx
        movl    (%edi), %eax
        jmp     \name\()_entry
        .balign 16, 0
        .fill   12, 1, 0
        .byte   0x8D, 0x24, 0x24, 0x8D, 0x24, 0x24, 0x8D, 0x24, 0x24, 0x90
        call    __backpatch_invocation
        .byte   0x8D, 0x24, 0x24, 0x90, 0x90
\name\()_entry:
        SP      \k, 0
.endm

.macro BODY_END k, name
        .subsection 2*\k+2
        .subsection 2*\k+3
\name\()_pairs_end:
        .subsection 2*\k+2
        .globl  \name\()_start, \name\()_end, \name\()_entry, \name\()_pairs_end
        .hidden \name\()_start, \name\()_end, \name\()_entry, \name\()_pairs_end
.endm

/* Stack-depth pair of body \k at the current address: depth in bytes (<= 0). */
.macro SP k, depth
772:
        .subsection 2*\k+3
        .long   772b
        .long   \depth
        .subsection 2*\k+2
.endm

/* eax = the current thread's EE (from the thread area that holds esp). */
.macro LOAD_EE reg
        movl    %esp, \reg
        andl    $TLA_MASK, \reg
        movl    TLA_EE(\reg), \reg
.endm

/* ---- String.equals ---------------------------------------------------- */
/*
 * eax = this, edx = the argument.  Arrays are never Strings: an array
 * argument answers false before anything of it beyond its header is read.
 * Other objects are checked once per class with the VM's instance test, the
 * answer kept in a one-class positive and a one-class negative cache.
 */
        BODY_BEGIN 0, rt_string_equals, 0
        cmpl    %edx, %eax
        je      9f
        testl   %edx, %edx
        jz      8f
        testb   $LOCK_HDR_ARRAY, OBJ_LOCKWORD(%edx)
        jnz     8f
        pushl   %ebx
        SP      0, -4
        pushl   %esi
        SP      0, -8
        pushl   %edi
        SP      0, -12
        movl    OBJ_WORD0(%edx), %ebx           /* type word: the method table */
        cmpl    rt_string_pos_cache, %ebx
        je      2f
        cmpl    rt_string_neg_cache, %ebx
        je      6f
        pushl   %eax
        SP      0, -16
        pushl   %ecx
        SP      0, -20
        pushl   %edx
        SP      0, -24
        LOAD_EE %esi
        pushl   %esi
        SP      0, -28
        pushl   rt_string_class
        SP      0, -32
        pushl   %edx
        SP      0, -36
        call    *vm+VM_is_instance_of
        addl    $12, %esp
        SP      0, -24
        testb   %al, %al
        popl    %edx
        SP      0, -20
        popl    %ecx
        SP      0, -16
        popl    %eax
        SP      0, -12
        jz      1f
        movl    %ebx, rt_string_pos_cache
        jmp     2f
1:      movl    %ebx, rt_string_neg_cache
        jmp     6f
2:      movl    STR_COUNT(%eax), %ecx
        cmpl    STR_COUNT(%edx), %ecx
        jne     6f
        testl   %ecx, %ecx
        jz      7f
        movl    STR_VALUE(%eax), %esi
        movl    STR_OFFSET(%eax), %edi
        leal    OBJ_HEADER_SIZE(%esi,%edi,2), %esi
        movl    STR_VALUE(%edx), %edi
        movl    STR_OFFSET(%edx), %ebx
        leal    OBJ_HEADER_SIZE(%edi,%ebx,2), %edi
        shrl    $1, %ecx                        /* pairs; CF = an odd char */
        jnc     4f
        movw    (%esi), %bx
        cmpw    (%edi), %bx
        jne     6f
        addl    $2, %esi
        addl    $2, %edi
4:      testl   %ecx, %ecx
        jz      7f
5:      movl    (%esi), %ebx
        cmpl    (%edi), %ebx
        jne     6f
        addl    $4, %esi
        addl    $4, %edi
        decl    %ecx
        jnz     5b
7:      popl    %edi
        SP      0, -8
        popl    %esi
        SP      0, -4
        popl    %ebx
        SP      0, 0
9:      movl    $1, %eax
        ret
6:      SP      0, -12
        popl    %edi
        SP      0, -8
        popl    %esi
        SP      0, -4
        popl    %ebx
        SP      0, 0
8:      xorl    %eax, %eax
        ret
        BODY_END 0, rt_string_equals

/* ---- Random.next -------------------------------------------------------- */
/*
 * eax = this, edx = bits.  seed = (seed * 0x5DEECE66D + 0xB) mod 2^48 with
 * one 8-byte compare-and-exchange (retried when another thread changed the
 * seed meanwhile); the answer is new seed >>> ((48 - bits) AND 63), low word.
 */
        BODY_BEGIN 1, rt_random_next, 0
        pushl   %ebx
        SP      1, -4
        pushl   %esi
        SP      1, -8
        pushl   %edi
        SP      1, -12
        pushl   %ebp
        SP      1, -16
        movl    %eax, %edi                      /* this */
        movl    %edx, %ebp                      /* bits */
1:      movl    RND_SEED(%edi), %esi            /* low */
        movl    RND_SEED+4(%edi), %edx          /* high */
        imull   $0xDEECE66D, %edx, %ecx         /* low32(high * m) */
        leal    (%esi,%esi,4), %ebx             /* low32(low * 5) */
        addl    %ebx, %ecx
        pushl   %edx
        SP      1, -20
        movl    $0xDEECE66D, %eax
        mull    %esi
        addl    %edx, %ecx                      /* + high32(low * m) */
        movl    %eax, %ebx
        addl    $0xB, %ebx
        adcl    $0, %ecx
        andl    $0xFFFF, %ecx
        popl    %edx
        SP      1, -16
        movl    %esi, %eax
        LOCKNOP
        cmpxchg8b RND_SEED(%edi)
        jne     1b
        movl    %ecx, %edx
        movl    %ebx, %eax
        movl    $48, %ecx
        subl    %ebp, %ecx
        andl    $63, %ecx
        cmpl    $32, %ecx
        jae     2f
        shrdl   %cl, %edx, %eax
        jmp     3f
2:      movl    %edx, %eax
        shrl    %cl, %eax                       /* by (s - 32): the count is taken mod 32 */
3:      popl    %ebp
        SP      1, -12
        popl    %edi
        SP      1, -8
        popl    %esi
        SP      1, -4
        popl    %ebx
        SP      1, 0
        ret
        BODY_END 1, rt_random_next

/* ---- Vector: shared pieces ---------------------------------------------- */

/*
 * Releases the borrowed lock of the Vector in ecx and, when a thread waits
 * for it, lets the VM wake it.  Keeps eax and edx.  \k, \depth: the body
 * and the stack depth at this point.
 */
.macro BORROW_RELEASE k, depth
        LOCKNOP
        andl    $LOCK_HDR_MASK, OBJ_LOCKWORD(%ecx)
        testl   $CONTENTION, OBJ_PREHEADER(%ecx)
        jz      773f
        pushl   %eax
        SP      \k, \depth-4
        pushl   %edx
        SP      \k, \depth-8
        pushl   %ecx
        SP      \k, \depth-12
        LOAD_EE %eax
        pushl   %eax
        SP      \k, \depth-16
        call    *vm+VM_monitorFlatExitForJIT
        addl    $8, %esp
        SP      \k, \depth-8
        popl    %edx
        SP      \k, \depth-4
        popl    %eax
        SP      \k, \depth
773:
.endm

/*
 * Removes element edx of the Vector in ecx: later elements move down by one,
 * the freed slot is cleared, elementCount - 1.  Clobbers eax and edx.
 */
.macro SHIFT_ROUTINE k, depth
        pushl   %esi
        SP      \k, \depth-4
        pushl   %ebx
        SP      \k, \depth-8
        movl    VEC_COUNT(%ecx), %ebx
        decl    %ebx
        movl    %ebx, VEC_COUNT(%ecx)
        movl    VEC_DATA(%ecx), %esi
        leal    OBJ_HEADER_SIZE(%esi,%edx,4), %esi
        subl    %edx, %ebx                      /* elements to move */
        jz      776f
774:    cmpl    $2, %ebx
        jb      775f
        movl    4(%esi), %eax
        movl    %eax, (%esi)
        movl    8(%esi), %eax
        movl    %eax, 4(%esi)
        addl    $8, %esi
        subl    $2, %ebx
        jnz     774b
        jmp     776f
775:    movl    4(%esi), %eax
        movl    %eax, (%esi)
        addl    $4, %esi
776:    movl    $0, (%esi)
        popl    %ebx
        SP      \k, \depth-4
        popl    %esi
        SP      \k, \depth
.endm

/*
 * The search of indexOf, contains and removeElement: eax = this,
 * edx = o, ecx = start; ecx = the first index >= start whose element
 * matches, or -1.  null and arrays match by identity; otherwise
 * o.equals(element) decides (the String body directly when o is a String).
 * Called with the stack at \depth; clobbers eax, edx, ebx, esi, edi.
 */
.macro SEARCH_ROUTINE k, depth
        pushl   VEC_COUNT(%eax)
        SP      \k, \depth-4
        pushl   %edx
        SP      \k, \depth-8
        movl    VEC_DATA(%eax), %esi
        movl    %ecx, %edi
        cmpl    4(%esp), %edi
        jge     786f
        testl   %edx, %edx
        jz      783f
        testb   $LOCK_HDR_ARRAY, OBJ_LOCKWORD(%edx)
        jnz     783f
        movl    OBJ_WORD0(%edx), %ebx
        movl    rt_equals_slot, %eax
        movl    4(%ebx,%eax,4), %ebx            /* o's equals */
        cmpl    rt_string_equals_mb, %ebx
        jne     782f
781:    movl    (%esp), %eax
        movl    OBJ_HEADER_SIZE(%esi,%edi,4), %edx
        call    rt_string_equals_entry
        testl   %eax, %eax
        jnz     787f
        incl    %edi
        cmpl    4(%esp), %edi
        jl      781b
        jmp     786f
782:    movl    (%esp), %eax
        movl    OBJ_HEADER_SIZE(%esi,%edi,4), %edx
        /* Compiled code keeps its register arguments in the caller's words
           above its return address: two words for this and o, so that
           the count and o above stay intact. */
        subl    $8, %esp
        SP      \k, \depth-16
        call    *MB_COMPILED_CODE(%ebx)
        addl    $8, %esp
        SP      \k, \depth-8
        testl   %eax, %eax
        jnz     787f
        incl    %edi
        cmpl    4(%esp), %edi
        jl      782b
        jmp     786f
783:    cmpl    %edx, OBJ_HEADER_SIZE(%esi,%edi,4)
        je      787f
        incl    %edi
        cmpl    4(%esp), %edi
        jl      783b
786:    movl    $-1, %edi
787:    movl    %edi, %ecx
        addl    $8, %esp
        SP      \k, \depth
.endm

/* Frame of the bodies that hold the monitor: synchronization area at
   E-8 .. E-1, then ebp, ebx, esi, edi; ebp = E. */
.macro MONITOR_FRAME k
        subl    $8, %esp
        SP      \k, -8
        pushl   %ebp
        SP      \k, -12
        pushl   %ebx
        SP      \k, -16
        pushl   %esi
        SP      \k, -20
        pushl   %edi
        SP      \k, -24
        leal    24(%esp), %ebp
.endm

.macro MONITOR_RETURN k
        popl    %edi
        SP      \k, -20
        popl    %esi
        SP      \k, -16
        popl    %ebx
        SP      \k, -12
        popl    %ebp
        SP      \k, -8
        addl    $8, %esp
        SP      \k, 0
        ret
.endm

/* ---- Vector.elementAt(int) ------------------------------------------------ */
/*
 * Fast path: the free lock is borrowed under the fixed owner 0x7FFF; the
 * element is read without any call.  A lock that is held (by anyone) goes to
 * the VM's monitor through the entry stub.
 */
        BODY_BEGIN 2, rt_vector_elementAt, 0
        pushl   %edx                            /* the index */
        SP      2, -4
        movl    %eax, %ecx
        movzbl  OBJ_LOCKWORD(%ecx), %eax
        leal    BORROWED(%eax), %edx
        LOCKNOP
        cmpxchgl %edx, OBJ_LOCKWORD(%ecx)
        jne     5f
        movl    (%esp), %edx
        cmpl    VEC_COUNT(%ecx), %edx
        jae     2f
        movl    VEC_DATA(%ecx), %eax
        movl    OBJ_HEADER_SIZE(%eax,%edx,4), %eax
        BORROW_RELEASE 2, -4
        addl    $4, %esp
        SP      2, 0
        ret
2:      SP      2, -4
        BORROW_RELEASE 2, -4
        movl    (%esp), %edx
        call    THROW_EXCEPTION_ARRAY_OUTOFBOUNDS
5:      SP      2, -4
        popl    %edx
        SP      2, 0
        movl    %ecx, %eax
        pushl   %ebp
        SP      2, -4
        movl    %esp, %ebp
        subl    $8, %esp
        SP      2, -12
        call    *rt_vector_enter2
        cmpl    VEC_COUNT(%eax), %edx
        jae     6f
        movl    VEC_DATA(%eax), %ecx
        movl    OBJ_HEADER_SIZE(%ecx,%edx,4), %eax
        call    *rt_vector_exit_int
        movl    %ebp, %esp
        SP      2, -4
        popl    %ebp
        SP      2, 0
        ret
6:      SP      2, -12
        movl    (%ebp), %ebp                    /* the caller's ebp */
        call    THROW_EXCEPTION_ARRAY_OUTOFBOUNDS
        BODY_END 2, rt_vector_elementAt

/* ---- Vector.removeElementAt(int) ------------------------------------------ */

        BODY_BEGIN 3, rt_vector_removeElementAt, 0
        incl    VEC_MODCOUNT(%eax)
        pushl   %edx
        SP      3, -4
        movl    %eax, %ecx
        movzbl  OBJ_LOCKWORD(%ecx), %eax
        leal    BORROWED(%eax), %edx
        LOCKNOP
        cmpxchgl %edx, OBJ_LOCKWORD(%ecx)
        jne     5f
        movl    (%esp), %edx
        cmpl    VEC_COUNT(%ecx), %edx
        jae     2f
        SHIFT_ROUTINE 3, -4
        BORROW_RELEASE 3, -4
        addl    $4, %esp
        SP      3, 0
        ret
2:      SP      3, -4
        BORROW_RELEASE 3, -4
        movl    (%esp), %edx
        call    THROW_EXCEPTION_ARRAY_OUTOFBOUNDS
5:      SP      3, -4
        popl    %edx
        SP      3, 0
        movl    %ecx, %eax
        pushl   %ebp
        SP      3, -4
        movl    %esp, %ebp
        subl    $8, %esp
        SP      3, -12
        call    *rt_vector_enter2
        cmpl    VEC_COUNT(%eax), %edx
        jae     6f
        movl    %eax, %ecx
        SHIFT_ROUTINE 3, -12
        call    *rt_vector_exit_int
        movl    %ebp, %esp
        SP      3, -4
        popl    %ebp
        SP      3, 0
        ret
6:      SP      3, -12
        movl    (%ebp), %ebp                    /* the caller's ebp */
        call    THROW_EXCEPTION_ARRAY_OUTOFBOUNDS
        BODY_END 3, rt_vector_removeElementAt

/* ---- Vector.indexOf(Object) ------------------------------------------------ */

        BODY_BEGIN 4, rt_vector_indexOf, 0
        MONITOR_FRAME 4
        call    *rt_vector_enter2
        xorl    %ecx, %ecx
        call    1f
        movl    %ecx, %eax
        call    *rt_vector_exit_int
        MONITOR_RETURN 4
1:      SP      4, -28
        SEARCH_ROUTINE 4, -28
        ret
        BODY_END 4, rt_vector_indexOf

/* ---- Vector.indexOf(Object, int) ------------------------------------------- */

        BODY_BEGIN 5, rt_vector_indexOfFrom, 1
        MONITOR_FRAME 5
        call    *rt_vector_enter3
        testl   %ecx, %ecx
        js      2f
        call    1f
        movl    %ecx, %eax
        call    *rt_vector_exit_int
        MONITOR_RETURN 5
2:      SP      5, -24
        movl    %ecx, %edx
        call    THROW_EXCEPTION_ARRAY_OUTOFBOUNDS
1:      SP      5, -28
        SEARCH_ROUTINE 5, -28
        ret
        BODY_END 5, rt_vector_indexOfFrom

/* ---- Vector.removeElement(Object) ------------------------------------------ */

        BODY_BEGIN 6, rt_vector_removeElement, 0
        MONITOR_FRAME 6
        call    *rt_vector_enter2
        incl    VEC_MODCOUNT(%eax)
        xorl    %ecx, %ecx
        call    1f
        xorl    %eax, %eax
        testl   %ecx, %ecx
        js      2f
        movl    %ecx, %edx
        movl    -4(%ebp), %ecx                  /* this, from the synchronization area */
        SHIFT_ROUTINE 6, -24
        movl    $1, %eax
2:      call    *rt_vector_exit_int
        MONITOR_RETURN 6
1:      SP      6, -28
        SEARCH_ROUTINE 6, -28
        ret
        BODY_END 6, rt_vector_removeElement

/* ---- Vector.contains(Object) ------------------------------------------------ */

        BODY_BEGIN 7, rt_vector_contains, 0
        MONITOR_FRAME 7
        call    *rt_vector_enter2
        xorl    %ecx, %ecx
        call    1f
        xorl    %eax, %eax
        testl   %ecx, %ecx
        setns   %al
        call    *rt_vector_exit_int
        MONITOR_RETURN 7
1:      SP      7, -28
        SEARCH_ROUTINE 7, -28
        ret
        BODY_END 7, rt_vector_contains

        .pushsection .data.rt_replace_locks, "aw", @progbits
GLOBAL(rt_replace_lock_sites_end)
        .popsection

        .section .note.GNU-stack,"",@progbits
