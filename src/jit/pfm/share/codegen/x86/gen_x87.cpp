// Raw x87 emitters: loads and stores, stack register operations, compares,
// arithmetic on the register stack and with memory operands.
//
// Register operands are stack indexes 0..7 (st(0)..st(7)); the wrappers
// convert the register manager's x87 model registers to them.  Memory
// operands go through `modrm_and_sib` with the opcode's /digit as an
// unrecorded register id; every memory form is absolute when the base is not
// a general register, and an ebp base takes the DS rule.  The emission
// contract is the integer emitters' (gen_modrm.cpp).
#include "codegen/codegen.h"

static int abs_b18(u4 base)
{
    u4 id = base & REG_ID_MASK;
    return id < 1 || id > 8;
}

// One x87 opcode byte with a memory operand.
static int fpu_mem(codegen_context* cg, u1 opcode, int digit, u4 base, u4 index, int scale, s4 disp)
{
    u1* p = cg->code;
    int n = cg_mem_prefix(cg, p, base, SEG_NONE);
    p[n++] = opcode;
    n += modrm_and_sib(cg, p + n, DIGIT(digit), base, index, scale, disp, 0, abs_b18(base));
    return cg_emitted(cg, n);
}

static int fpu2(codegen_context* cg, u1 b0, u1 b1)
{
    cg->code[0] = b0;
    cg->code[1] = b1;
    return cg_emitted(cg, 2);
}

// ---------------------------------------------------------------------------
// Loads and stores
// ---------------------------------------------------------------------------

// fld dword/qword [mem]  (D9 /0, DD /0)
int _gen_move_fr_xmm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int single)
{
    return fpu_mem(cg, single ? FPU_D9 : FPU_DD, DIGIT_FLD, base, index, scale, disp);
}
int _gen_move_fr_mm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp)
{
    return _gen_move_fr_xmm(cg, base, index, scale, disp, 1);
}
int _gen_move_fr8_mm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp)
{
    return _gen_move_fr_xmm(cg, base, index, scale, disp, 0);
}

// fst/fstp dword/qword [mem]  (/2 fst, /3 fstp)
int _gen_move_xmm_fr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int pop, int single)
{
    return fpu_mem(cg, single ? FPU_D9 : FPU_DD, pop ? DIGIT_FSTP : DIGIT_FST, base, index, scale, disp);
}
int _gen_move_mm_fr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int pop)
{
    return _gen_move_xmm_fr(cg, base, index, scale, disp, pop, 1);
}
int _gen_move_mm_fr8(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int pop)
{
    return _gen_move_xmm_fr(cg, base, index, scale, disp, pop, 0);
}

// fild dword [mem] (DB /0) / fild qword [mem] (DF /5)
int _gen_move_fri_mm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int size)
{
    if (size == SIZE_DWORD)
        return fpu_mem(cg, FPU_DB, DIGIT_FILD, base, index, scale, disp);
    return fpu_mem(cg, FPU_DF, DIGIT_FILD64, base, index, scale, disp);
}
int _gen_move_fr4i_mm(codegen_context* cg, u4 base, s4 disp) { return _gen_move_fri_mm(cg, base, 0, 0, disp, 4); }
int _gen_move_fr8i_mm(codegen_context* cg, u4 base, s4 disp) { return _gen_move_fri_mm(cg, base, 0, 0, disp, 8); }

// fistp dword [mem] (DB /3), fistp qword [mem] (DF /7), fist dword [mem] (DB /2)
int _gen_move_mm_frxi(codegen_context* cg, u4 base, s4 disp, int pop, int is32)
{
    int digit = pop ? (is32 ? DIGIT_FISTP : DIGIT_FISTP64) : DIGIT_FIST;
    return fpu_mem(cg, is32 ? FPU_DB : FPU_DF, digit, base, 0, 0, disp);
}
// fist dword [mem]: the value stays on the stack
int _gen_move_mm_fr4i(codegen_context* cg, u4 base, s4 disp) { return _gen_move_mm_frxi(cg, base, disp, 0, 1); }
// fistp qword [mem]
int _gen_move_mm_fr8i(codegen_context* cg, u4 base, s4 disp) { return _gen_move_mm_frxi(cg, base, disp, 1, 0); }

// fldz (k 0) / fld1 (k 1)
int _gen_move_fr_imm(codegen_context* cg, int k) { return fpu2(cg, FPU_D9, k == 0 ? 0xEE : 0xE8); }

// fldcw [control-word save area + offset]  (D9 /5, absolute address)
int _gen_fldcw_mm(codegen_context* cg, s4 offset)
{
    u1* p = cg->code;
    u4 addr = (u4)(uintptr_t)_GET_FCONTROL_WORD_BASE() + (u4)offset;
    p[0] = FPU_D9;
    int n = 1 + modrm_and_sib(cg, p + 1, DIGIT(DIGIT_FLDCW), 0, 0, 0, (s4)addr, 0, 1);
    return cg_emitted(cg, n);
}

// ---------------------------------------------------------------------------
// Stack register operations
// ---------------------------------------------------------------------------

// src >= dst: fld st(src) (pushes: the old st(src) is st(src+1) after);
// src < dst: fstp st(dst) when pop, else fst st(dst)
int _gen_move_fr_fr(codegen_context* cg, int dst, int src, int pop)
{
    if (src >= dst)
        return fpu2(cg, FPU_D9, fpu_reg_form(DIGIT_FLD, src));
    return fpu2(cg, FPU_DD, fpu_reg_form(pop ? DIGIT_FSTP : DIGIT_FST, dst));
}

// fxch st(other) when i or j is 0; else exchange st(i) and st(j) through
// st(0): fxch st(i); fxch st(j); fxch st(i)
int _gen_xchg_fr_fr(codegen_context* cg, int i, int j)
{
    if (i == 0 || j == 0)
        return fpu2(cg, FPU_D9, fpu_reg_form(DIGIT_FXCH, i == 0 ? j : i));
    int n = fpu2(cg, FPU_D9, fpu_reg_form(DIGIT_FXCH, i));
    n += fpu2(cg, FPU_D9, fpu_reg_form(DIGIT_FXCH, j));
    n += fpu2(cg, FPU_D9, fpu_reg_form(DIGIT_FXCH, i));
    return n;
}

// fstp st(0): drop the top
int _gen_pop_fr(codegen_context* cg) { return fpu2(cg, FPU_DD, fpu_reg_form(DIGIT_FSTP, 0)); }

// Make room on top of the stack: fldz on processor class 5, fdecstp elsewhere.
int _gen_push_fr(codegen_context* cg)
{
    if (orva_processor_type == 5)
        return _gen_move_fr_imm(cg, 0);
    return _gen_fdecstp(cg);
}

int _gen_fdecstp(codegen_context* cg) { return fpu2(cg, FPU_D9, 0xF6); }
int _gen_fincstp(codegen_context* cg) { return fpu2(cg, FPU_D9, 0xF7); }

// fcompp (pop 2) / fcomp st(i) (pop 1) / fcom st(i)
int _gen_cmp_fr_fr(codegen_context* cg, int i, int ignored, int pop)
{
    if (pop == 2)
        return fpu2(cg, FPU_DE, fpu_reg_form(DIGIT_FCOMP, 1));   // DE D9: fcompp
    return fpu2(cg, FPU_D8, fpu_reg_form(pop == 1 ? DIGIT_FCOMP : DIGIT_FCOM, i));
}

// fcomi st(i) (pop 0) / fcomip st(i) (pop 1) / fcomip st(i); fstp st(0) (pop 2)
int _gen_cmpi_fr_fr(codegen_context* cg, int i, int ignored, int pop)
{
    if (pop == 0)
        return fpu2(cg, FPU_DB, fpu_reg_form(DIGIT_FCOMI, i));
    int n = fpu2(cg, FPU_DF, fpu_reg_form(DIGIT_FCOMI, i));
    if (pop == 2)
        n += _gen_pop_fr(cg);
    return n;
}

// fnstsw ax
int _gen_fnstsw(codegen_context* cg) { return fpu2(cg, FPU_DF, 0xE0); }

// sahf
int _gen_sahf(codegen_context* cg)
{
    cg->code[0] = 0x9E;
    return cg_emitted(cg, 1);
}

int _gen_test_fr(codegen_context* cg) { return fpu2(cg, FPU_D9, 0xE4); }         // ftst
int _gen_fxam(codegen_context* cg) { return fpu2(cg, FPU_D9, 0xE5); }            // fxam
int _gen_finit(codegen_context* cg) { return fpu2(cg, FPU_DB, 0xE3); }           // fninit (no wait prefix)
int _gen_neg_fr(codegen_context* cg) { return fpu2(cg, FPU_D9, 0xE0); }          // fchs
int _gen_abs_fr(codegen_context* cg) { return fpu2(cg, FPU_D9, 0xE1); }          // fabs
int _gen_sqrt_fr(codegen_context* cg) { return fpu2(cg, FPU_D9, 0xFA); }         // fsqrt
int _gen_rem_fr_fr(codegen_context* cg) { return fpu2(cg, FPU_D9, 0xF8); }       // fprem
int _gen_ieee_rem_fr_fr(codegen_context* cg) { return fpu2(cg, FPU_D9, 0xF5); }  // fprem1

// fsin (25) / fcos (26) / fptan (27) / frndint (36)
int _gen_math_fr(codegen_context* cg, int k)
{
    u1 b = 0;
    switch (k) {
    case FMATH_SIN: b = 0xFE; break;
    case FMATH_COS: b = 0xFF; break;
    case FMATH_TAN: b = 0xF2; break;
    case FMATH_RNDINT: b = 0xFC; break;
    default: break;
    }
    return fpu2(cg, FPU_D9, b);
}

// ---------------------------------------------------------------------------
// Two-register arithmetic.  dst != 0: st(dst) = st(dst) op st(0), DE (popping)
// or DC, whose register forms give sub and subr, div and divr each other's
// digit; dst == 0: st(0) = st(0) op st(src), D8 (pop ignored).
// ---------------------------------------------------------------------------
static int fpu_arith(codegen_context* cg, u1 digit, int dst, int src, int pop)
{
    if (dst != 0) {
        u1 dc_digit = digit >= DIGIT_FSUB ? (u1)(digit ^ 1) : digit;
        return fpu2(cg, pop ? FPU_DE : FPU_DC, fpu_reg_form(dc_digit, dst));
    }
    return fpu2(cg, FPU_D8, fpu_reg_form(digit, src));
}

int _gen_add_fr_fr(codegen_context* cg, int dst, int src, int pop) { return fpu_arith(cg, DIGIT_FADD, dst, src, pop); }
int _gen_mul_fr_fr(codegen_context* cg, int dst, int src, int pop) { return fpu_arith(cg, DIGIT_FMUL, dst, src, pop); }
int _gen_sub_fr_fr(codegen_context* cg, int dst, int src, int pop) { return fpu_arith(cg, DIGIT_FSUB, dst, src, pop); }
int _gen_subr_fr_fr(codegen_context* cg, int dst, int src, int pop) { return fpu_arith(cg, DIGIT_FSUBR, dst, src, pop); }
int _gen_div_fr_fr(codegen_context* cg, int dst, int src, int pop) { return fpu_arith(cg, DIGIT_FDIV, dst, src, pop); }
int _gen_divr_fr_fr(codegen_context* cg, int dst, int src, int pop) { return fpu_arith(cg, DIGIT_FDIVR, dst, src, pop); }

// fadd/fsub/fmul/fdiv/fsubr/fdivr/fcom/fcomp dword (size 4) or qword [mem]
int _gen_ARITHMETIC_fr_mm(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, int size)
{
    static constexpr u1 digit_by_op[8] = {DIGIT_FADD,  DIGIT_FSUB,  DIGIT_FMUL, DIGIT_FDIV,
                                          DIGIT_FSUBR, DIGIT_FDIVR, DIGIT_FCOM, DIGIT_FCOMP};
    static_assert(FOP_ADD == 0 && FOP_SUB == 1 && FOP_MUL == 2 && FOP_DIV == 3 && FOP_SUBR == 4 && FOP_DIVR == 5
                  && FOP_COM == 6 && FOP_COMP == 7);
    return fpu_mem(cg, size == SIZE_DWORD ? FPU_D8 : FPU_DC, digit_by_op[op], base, index, scale, disp);
}
