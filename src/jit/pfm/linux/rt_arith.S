/*
 * Arithmetic helpers called from compiled code (run-time routine table
 * entries 26 to 40): 64-bit multiply, divide and remainder, and the x87
 * forms of pow, log, exp, max, min, floor and ceil, and the fix-up of a
 * failed float-to-integer conversion.  All are leaves; stack arguments are
 * popped by the caller.  Each changes only the registers its entry names.
 *
 * Division by zero: generated code tests the divisor before it calls, but a
 * zero divisor that reaches a helper would fault inside this library, where
 * the VM treats a fault as fatal.  The divide helpers therefore test the
 * divisor themselves and raise THROW_EXCEPTION_DIV0 with their caller's
 * return address on top, exactly as if the call site had raised it.
 *
 * x87 operand classes come from FXAM: C3 0x4000, C2 0x0400, C1 (sign)
 * 0x0200, C0 0x0100.  NaN, infinity and an empty register all have C0.
 */
#include "vm_abi.h"
#include "lib/rt_support.h"

#define C0      0x0100
#define C1      0x0200
#define C3      0x4000
#define CLASS_MASK      0x4700
#define CLASS_NAN       0x0100
#define CLASS_NEG_NAN   0x0300
#define CLASS_INF       0x0500
#define CLASS_NEG_INF   0x0700
#define CLASS_NEG_NORM  0x0600

        .section .rodata
        .balign 8
arith_one:
        .double 1.0
arith_minus650:
        .double -650.0
arith_cw_ext:
        .short  0x037F                  /* 64-bit significand, nearest, masked */

        .text

#define ENTRY(name) \
        .globl  name; \
        .hidden name; \
        .type   name, @function; \
name:

/* eax = address of `sym` (position independent). */
#define LOAD_ADDRESS(sym) \
        call    9f; \
9:      popl    %eax; \
        addl    $_GLOBAL_OFFSET_TABLE_+(.-9b), %eax; \
        leal    sym@GOTOFF(%eax), %eax

/* -(hi:lo) in place; `hi` is a scratch register holding the high word. */
#define NEG64_MEM(lo_mem, hi_mem, hi) \
        movl    hi_mem, hi; \
        negl    lo_mem; \
        adcl    $0, hi; \
        negl    hi; \
        movl    hi, hi_mem

/* -(edx:eax) */
#define NEG64 \
        negl    %eax; \
        adcl    $0, %edx; \
        negl    %edx

/* ------------------------------------------------------------------------ */
/* _ll_mul: edx:eax = a * b (low 64 bits).                                  */
/* ------------------------------------------------------------------------ */
ENTRY(_ll_mul)
        movl    8(%esp), %eax
        orl     16(%esp), %eax
        jnz     1f
        movl    4(%esp), %eax
        mull    12(%esp)
        ret
1:      pushl   %ecx
        movl    12(%esp), %eax          /* a high */
        imull   16(%esp), %eax          /* x b low */
        movl    %eax, %ecx
        movl    8(%esp), %eax           /* a low */
        imull   20(%esp), %eax          /* x b high */
        addl    %eax, %ecx
        movl    8(%esp), %eax
        mull    16(%esp)                /* a low x b low */
        addl    %ecx, %edx
        popl    %ecx
        ret
        .size   _ll_mul, .-_ll_mul

/*
 * Signed 64-bit division or remainder.  After the four saved registers the
 * arguments are a low at 20(%esp), a high 24, b low 28, b high 32.  edi
 * counts the operands whose sign the result takes (the dividend; for a
 * quotient also the divisor); an odd count negates the result.
 */
#define A_LO    20(%esp)
#define A_HI    24(%esp)
#define B_LO    28(%esp)
#define B_HI    32(%esp)

.macro LONG_DIVIDE remainder, wide
        movl    12(%esp), %eax
        .if \wide
        orl     16(%esp), %eax
        .else
        testl   %eax, %eax
        .endif
        jz      THROW_EXCEPTION_DIV0    /* the caller's return address is on top */
        pushl   %ebx
        pushl   %ecx
        pushl   %esi
        pushl   %edi
        xorl    %edi, %edi
        cmpl    $0, A_HI
        jge     1f
        NEG64_MEM(A_LO, A_HI, %edx)
        incl    %edi
1:
        .if \wide
        cmpl    $0, B_HI
        jge     2f
        NEG64_MEM(B_LO, B_HI, %edx)
        .else
        cmpl    $0, B_LO
        jge     2f
        negl    B_LO
        .endif
        .if \remainder == 0
        incl    %edi
        .endif
2:
        .if \wide
        movl    B_HI, %ecx
        testl   %ecx, %ecx
        jnz     3f
        .endif
        /* Divisor below 2^32: two 32-bit divides. */
        movl    B_LO, %ebx
        movl    A_HI, %eax
        xorl    %edx, %edx
        divl    %ebx                    /* eax = quotient high, edx = carry */
        movl    %eax, %ecx
        movl    A_LO, %eax
        divl    %ebx                    /* eax = quotient low, edx = remainder */
        .if \remainder
        movl    %edx, %eax
        xorl    %edx, %edx
        .else
        movl    %ecx, %edx
        .endif
        jmp     4f
        .if \wide
3:      /* Divisor of 2^32 or more: estimate from b and a shifted until b
         * fits 32 bits; the estimate is exact or one too large. */
        movl    B_LO, %ebx
        movl    A_HI, %edx
        movl    A_LO, %eax
5:      shrl    $1, %ecx
        rcrl    $1, %ebx
        shrl    $1, %edx
        rcrl    $1, %eax
        testl   %ecx, %ecx
        jnz     5b
        divl    %ebx                    /* edx < ebx: b's top bit is in ebx */
        movl    %eax, %esi              /* q */
        mull    B_HI
        movl    %eax, %ecx
        movl    %edx, %ebx              /* non-zero: q x b passes 2^64 */
        movl    %esi, %eax
        mull    B_LO
        addl    %ecx, %edx
        adcl    $0, %ebx
        jnz     6f                      /* q x b > a */
        cmpl    A_HI, %edx
        ja      6f
        jb      7f
        cmpl    A_LO, %eax
        jbe     7f
6:      /* one too large */
        decl    %esi
        subl    B_LO, %eax
        sbbl    B_HI, %edx
7:
        .if \remainder
        /* a - q x b */
        negl    %eax
        adcl    $0, %edx
        negl    %edx
        addl    A_LO, %eax
        adcl    A_HI, %edx
        .else
        movl    %esi, %eax
        xorl    %edx, %edx
        .endif
        .endif
4:      testl   $1, %edi
        jz      8f
        NEG64
8:      popl    %edi
        popl    %esi
        popl    %ecx
        popl    %ebx
        ret
.endm

ENTRY(_ll_div)
        LONG_DIVIDE 0, 1
        .size   _ll_div, .-_ll_div

ENTRY(_ll_rem)
        LONG_DIVIDE 1, 1
        .size   _ll_rem, .-_ll_rem

ENTRY(_li_div)
        LONG_DIVIDE 0, 0
        .size   _li_div, .-_li_div

ENTRY(_li_rem)
        LONG_DIVIDE 1, 0
        .size   _li_rem, .-_li_rem

/* st0 = 2^st0 for a finite st0: n = round(t), f = t - n, (2^f - 1 + 1) x 2^n. */
#define POWER_OF_TWO \
        fld     %st(0); \
        frndint; \
        fxch; \
        fsub    %st(1), %st; \
        f2xm1; \
        fld1; \
        faddp; \
        fscale; \
        fstp    %st(1)

/* ------------------------------------------------------------------------ */
/* __powerof: ST0 = y, ST1 = x.  eax = 1: ST0 = x^y (both popped);          */
/* eax = 0: declined, stack as on entry.                                    */
/* ------------------------------------------------------------------------ */
ENTRY(__powerof)
        fxam
        fnstsw  %ax
        testw   $C0, %ax
        jnz     .Lpow_decline
        fxch                            /* st0 = x, st1 = y */
        fxam
        fnstsw  %ax
        testw   $C0, %ax
        jnz     .Lpow_decline_xch
        ftst
        fnstsw  %ax
        testw   $C3, %ax
        jnz     .Lpow_zero
        testw   $C0, %ax
        jnz     .Lpow_negative
        pushl   $0                      /* result sign */
        jmp     .Lpow_compute
.Lpow_zero:
        fxch                            /* st0 = y */
        ftst
        fnstsw  %ax
        testw   $C0, %ax
        jnz     .Lpow_decline           /* 0 to a negative power */
        fstp    %st(0)
        fstp    %st(0)
        testw   $C3, %ax
        jz      1f
        fld1                            /* 0^0 */
        jmp     2f
1:      fldz
2:      movl    $1, %eax
        ret
.Lpow_negative:
        fxch                            /* st0 = y, st1 = x */
        subl    $8, %esp
        fstl    (%esp)
        frndint
        fcompl  (%esp)
        fnstsw  %ax
        fldl    (%esp)                  /* y again */
        andw    $0x4500, %ax
        cmpw    $C3, %ax
        jne     .Lpow_decline_pop8      /* not an integer */
        /* Parity from a 64-bit integer: a 32-bit store would give the
         * indefinite value (even) for odd powers from 2^31 up to 2^53. */
        fld     %st(0)
        fistpll (%esp)
        movl    (%esp), %eax
        addl    $8, %esp
        andl    $1, %eax
        pushl   %eax                    /* 1: negate the result */
        fxch                            /* st0 = x */
        fabs
.Lpow_compute:
        fyl2x                           /* y x log2(x) */
        POWER_OF_TWO
        popl    %eax
        testl   %eax, %eax
        jz      3f
        fchs
3:      movl    $1, %eax
        ret
.Lpow_decline_pop8:
        addl    $8, %esp
        jmp     .Lpow_decline
.Lpow_decline_xch:
        fxch
.Lpow_decline:
        xorl    %eax, %eax
        ret
        .size   __powerof, .-__powerof

/* __logof: ST0 = ln(x). */
ENTRY(__logof)
        fldln2
        fxch
        fyl2x
        ret
        .size   __logof, .-__logof

/* __expof: eax = 1: ST0 = e^x; eax = 0: declined, ST0 = x. */
ENTRY(__expof)
        fxam
        fnstsw  %ax
        testw   $C0, %ax
        jnz     1f
        LOAD_ADDRESS(arith_minus650)
        fcoml   (%eax)
        fnstsw  %ax
        testw   $C0, %ax
        jnz     1f                      /* below -650.0 */
        subl    $4, %esp
        fnstcw  (%esp)
        LOAD_ADDRESS(arith_cw_ext)
        fldcw   (%eax)
        fldl2e
        fmulp
        POWER_OF_TWO
        fldcw   (%esp)
        addl    $4, %esp
        movl    $1, %eax
        ret
1:      xorl    %eax, %eax
        ret
        .size   __expof, .-__expof

/*
 * __maxof, __minof: x = ST0, y = ST1, CF from the caller's compare (set:
 * unordered, clear: equal).  The kept value is left in ST1; the caller pops
 * ST0.  max(+0, -0) = +0, min = -0, and a NaN operand is the result.
 */
.macro MAXMIN is_max
        jc      .Lunordered\@
        fxam
        fnstsw  %ax
        testw   $C3, %ax
        jz      .Lkeep_y\@              /* equal and not zero */
        testw   $C1, %ax
        .if \is_max
        jz      .Lkeep_x\@              /* x is +0 */
        .else
        jnz     .Lkeep_x\@              /* x is -0 */
        .endif
        fxch
        fxam
        fnstsw  %ax
        fxch
        andw    $(CLASS_MASK), %ax
        .if \is_max
        cmpw    $C3, %ax                /* y is +0 */
        .else
        cmpw    $(C3 | C1), %ax         /* y is -0 */
        .endif
        je      .Lkeep_y\@
        jmp     .Lkeep_x\@
.Lunordered\@:
        fxam
        fnstsw  %ax
        andw    $(C3 | 0x0400 | C0), %ax
        cmpw    $C0, %ax
        je      .Lkeep_x\@              /* x is NaN */
        fxch
        fxam
        fnstsw  %ax
        fxch
        andw    $(CLASS_MASK), %ax
        movw    %ax, %dx
        andw    $(C3 | 0x0400 | C0), %dx
        cmpw    $C0, %dx
        je      .Lkeep_y\@              /* y is NaN */
        .if \is_max
        cmpw    $CLASS_INF, %ax
        .else
        cmpw    $CLASS_NEG_INF, %ax
        .endif
        je      .Lkeep_y\@
.Lkeep_x\@:
        fst     %st(1)
.Lkeep_y\@:
        ret
.endm

ENTRY(__maxof)
        pushl   %edx
        call    1f
        popl    %edx
        ret
1:      MAXMIN  1
        .size   __maxof, .-__maxof

ENTRY(__minof)
        pushl   %edx
        call    1f
        popl    %edx
        ret
1:      MAXMIN  0
        .size   __minof, .-__minof

/* floor and ceiling: r = round(x); floor: x < r gives r - 1; ceiling:
 * x > r gives r + 1.  A NaN stays NaN. */
ENTRY(__floorof)
        fld     %st(0)
        frndint                         /* r, x */
        fxch
        fcomp   %st(1)                  /* x against r; st0 = r */
        fnstsw  %ax
        sahf
        jae     1f
        fld1
        fsubr   %st(1), %st             /* r - 1 */
        fstp    %st(1)
1:      ret
        .size   __floorof, .-__floorof

ENTRY(__floorof2)
        fld     %st(0)
        frndint
        fxch
        fcomip  %st(1), %st
        jae     1f
        fld1
        fsubr   %st(1), %st
        fstp    %st(1)
1:      ret
        .size   __floorof2, .-__floorof2

ENTRY(__ceilof)
        fld     %st(0)
        frndint
        fxch
        fcomp   %st(1)
        fnstsw  %ax
        sahf
        jbe     1f                      /* x <= r, or unordered */
        fld1
        fadd    %st(1), %st
        fstp    %st(1)
1:      ret
        .size   __ceilof, .-__ceilof

ENTRY(__ceilof2)
        fld     %st(0)
        frndint
        fxch
        fcomip  %st(1), %st
        jbe     1f
        fld1
        fadd    %st(1), %st
        fstp    %st(1)
1:      ret
        .size   __ceilof2, .-__ceilof2

/*
 * __get_correct_f2i: the Java result of a conversion that gave the integer
 * indefinite value, by the class of ST0: NaN 0; negative infinity or finite
 * 0x80000000 (edx 0); anything else 0x7FFFFFFF (edx 0xFFFFFFFF).  For a long
 * eax is the high word.  The condition codes are read before FNCLEX, which
 * leaves them undefined.
 */
ENTRY(__get_correct_f2i)
        fxam
        fnstsw  %ax
        fnclex
        andl    $CLASS_MASK, %eax
        cmpl    $CLASS_NAN, %eax
        je      1f
        cmpl    $CLASS_NEG_NAN, %eax
        je      1f
        cmpl    $CLASS_NEG_INF, %eax
        je      2f
        cmpl    $CLASS_NEG_NORM, %eax
        je      2f
        movl    $0x7FFFFFFF, %eax
        movl    $0xFFFFFFFF, %edx
        ret
1:      xorl    %eax, %eax
        xorl    %edx, %edx
        ret
2:      movl    $0x80000000, %eax
        xorl    %edx, %edx
        ret
        .size   __get_correct_f2i, .-__get_correct_f2i

        .section .note.GNU-stack,"",@progbits
