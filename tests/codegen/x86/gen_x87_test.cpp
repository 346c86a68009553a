// Golden-table rows of the x87 emitters (see gen_raw_test.cpp for the
// method): loads and stores of every size, the stack-register forms, the
// compares, the two-register arithmetic rule in all three shapes and the
// memory-operand arithmetic.
#include <gtest/gtest.h>

#include <cstring>

#include "cg_test_util.h"

namespace {

constexpr u4 EAX = GR_EAX, ECX = GR_ECX, EBX = GR_EBX, ESP = GR_ESP, EBP = GR_EBP, ESI = GR_ESI, EDX = GR_EDX;

#define TWO_REG(name, fn)                                                                     \
    ROW(name "p st(2), st", fn(cg, 2, 0, 1)), ROW(name " st(3), st", fn(cg, 3, 5, 0)),         \
        ROW(name " st, st(4)", fn(cg, 0, 4, 1)), ROW(name " st, st(0)", fn(cg, 0, 0, 0)),      \
        ROW(name "p st(7), st", fn(cg, 7, 0, 1))

const golden_row x87_rows[] = {
    ROW("fld dword ptr [ebx+4]", _gen_move_fr_mm(cg, EBX, 0, 0, 4)),
    ROW("fld qword ptr [ebp-8]", _gen_move_fr8_mm(cg, EBP, 0, 0, -8)),
    ROW("fld qword ptr [ebx+ecx*8+16]", _gen_move_fr_xmm(cg, EBX, ECX, 8, 16, 0)),
    ROW("fld dword ptr [0x4000]", _gen_move_fr_xmm(cg, 0, 0, 0, 0x4000, 1)),
    ROW("fstp dword ptr [esp]", _gen_move_mm_fr(cg, ESP, 0, 0, 0, 1)),
    ROW("fst dword ptr [esp+4]", _gen_move_mm_fr(cg, ESP, 0, 0, 4, 0)),
    ROW("fstp qword ptr [ebp+0x100]", _gen_move_mm_fr8(cg, EBP, 0, 0, 0x100, 1)),
    ROW("fst qword ptr [ebx+eax*4]", _gen_move_xmm_fr(cg, EBX, EAX, 4, 0, 0, 0)),
    ROW("fild dword ptr [eax]", _gen_move_fri_mm(cg, EAX, 0, 0, 0, 4)),
    ROW("fild qword ptr [esp+8]", _gen_move_fri_mm(cg, ESP, 0, 0, 8, 8)),
    ROW("fild dword ptr [esi-4]", _gen_move_fr4i_mm(cg, ESI, -4)),
    ROW("fild qword ptr [esi-8]", _gen_move_fr8i_mm(cg, ESI, -8)),
    ROW("fistp qword ptr [ebp+16]", _gen_move_mm_fr8i(cg, EBP, 16)),
    ROW("fist dword ptr [esp]", _gen_move_mm_fr4i(cg, ESP, 0)),
    ROW("fistp dword ptr [esp]", _gen_move_mm_frxi(cg, ESP, 0, 1, 1)),
    ROW("fldz", _gen_move_fr_imm(cg, 0)),
    ROW("fld1", _gen_move_fr_imm(cg, 1)),
    ROW("fldcw word ptr [0x123402]", _gen_fldcw_mm(cg, 2)),
    // Stack registers.
    ROW("fld st(3)", _gen_move_fr_fr(cg, 0, 3, 0)),
    ROW("fld st(2)", _gen_move_fr_fr(cg, 2, 2, 0)),
    ROW("fld st(0)", _gen_move_fr_fr(cg, 0, 0, 1)),
    ROW("fstp st(3)", _gen_move_fr_fr(cg, 3, 0, 1)),
    ROW("fst st(3)", _gen_move_fr_fr(cg, 3, 1, 0)),
    ROW("fxch st(5)", _gen_xchg_fr_fr(cg, 0, 5)),
    ROW("fxch st(1)", _gen_xchg_fr_fr(cg, 1, 0)),
    ROW("fxch st(2); fxch st(3); fxch st(2)", _gen_xchg_fr_fr(cg, 2, 3)),
    ROW("fstp st(0)", _gen_pop_fr(cg)),
    ROW("fdecstp", _gen_fdecstp(cg)),
    ROW("fincstp", _gen_fincstp(cg)),
    ROW("fcompp", _gen_cmp_fr_fr(cg, 1, 0, 2)),
    ROW("fcomp st(1)", _gen_cmp_fr_fr(cg, 1, 0, 1)),
    ROW("fcom st(2)", _gen_cmp_fr_fr(cg, 2, 0, 0)),
    ROW("fcomi st, st(1)", _gen_cmpi_fr_fr(cg, 1, 0, 0)),
    ROW("fcomip st, st(3)", _gen_cmpi_fr_fr(cg, 3, 0, 1)),
    ROW("fcomip st, st(1); fstp st(0)", _gen_cmpi_fr_fr(cg, 1, 0, 2)),
    ROW("fnstsw ax", _gen_fnstsw(cg)),
    ROW("sahf", _gen_sahf(cg)),
    ROW("ftst", _gen_test_fr(cg)),
    ROW("fxam", _gen_fxam(cg)),
    ROW("fninit", _gen_finit(cg)),
    ROW("fchs", _gen_neg_fr(cg)),
    ROW("fabs", _gen_abs_fr(cg)),
    ROW("fsqrt", _gen_sqrt_fr(cg)),
    ROW("fprem", _gen_rem_fr_fr(cg)),
    ROW("fprem1", _gen_ieee_rem_fr_fr(cg)),
    ROW("fsin", _gen_math_fr(cg, FMATH_SIN)),
    ROW("fcos", _gen_math_fr(cg, FMATH_COS)),
    ROW("fptan", _gen_math_fr(cg, FMATH_TAN)),
    ROW("frndint", _gen_math_fr(cg, FMATH_RNDINT)),
    // Two-register arithmetic: st(dst) op= st(0) (popping or not), st(0) op= st(src).
    TWO_REG("fadd", _gen_add_fr_fr),
    TWO_REG("fmul", _gen_mul_fr_fr),
    TWO_REG("fsub", _gen_sub_fr_fr),
    TWO_REG("fsubr", _gen_subr_fr_fr),
    TWO_REG("fdiv", _gen_div_fr_fr),
    TWO_REG("fdivr", _gen_divr_fr_fr),
    // Memory-operand arithmetic, every op in both sizes.
#define FMEM(op, name)                                                                                 \
    ROW(name " dword ptr [ebx+8]", _gen_ARITHMETIC_fr_mm(cg, op, EBX, 0, 0, 8, 4)),                   \
        ROW(name " qword ptr [esp+ecx*8-8]", _gen_ARITHMETIC_fr_mm(cg, op, ESP, ECX, 8, -8, 8)),
    FMEM(FOP_ADD, "fadd") FMEM(FOP_SUB, "fsub") FMEM(FOP_MUL, "fmul") FMEM(FOP_DIV, "fdiv")
    FMEM(FOP_SUBR, "fsubr") FMEM(FOP_DIVR, "fdivr") FMEM(FOP_COM, "fcom") FMEM(FOP_COMP, "fcomp")
    ROW("fsubr qword ptr [ebp+8]", _gen_ARITHMETIC_fr_mm(cg, FOP_SUBR, EBP, 0, 0, 8, 8)),
};

TEST(GoldenX87, Encodings) { check_golden_rows(x87_rows, std::size(x87_rows)); }

// The spare push: fldz on processor class 5, fdecstp elsewhere.
TEST(X87Emitters, PushFrByProcessorClass)
{
    static cg_fixture f;
    for (int type : {3, 4, 5}) {
        processor_scope ps(type);
        cg_setup(&f, CG_PASS_WRITE);
        EXPECT_EQ(_gen_push_fr(&f.cg), 2);
        EXPECT_EQ(hex_bytes(f.buf, 2), type == 5 ? "D9 EE" : "D9 F6") << "type " << type;
    }
}

}  // namespace

namespace {

// The x87 arithmetic rule run on the processor: f(in, out) with in = {a, b},
// each result stored to out[k].  st(dst) op= st(0) for dst != 0 (popping or
// not) and st(0) op= st(src) for dst 0.
TEST(X87EmittersRun, ArithmeticDirections)
{
    static cg_fixture f;
    cg_setup(&f, CG_PASS_WRITE);
    f.cg.code = exec_page() + 16384;
    u1* entry = f.cg.code;
    auto ld = [&](s4 disp) { _gen_move_fr8_mm(&f.cg, ECX, 0, 0, disp); };
    auto st = [&](int k) { _gen_move_mm_fr8(&f.cg, EDX, 0, 0, 8 * k, 1); };
    _gen_move_gr_mem(&f.cg, ECX, ESP, 0, 0, 4, 4, SEG_NONE);
    _gen_move_gr_mem(&f.cg, GR_EDX, ESP, 0, 0, 8, 4, SEG_NONE);
    // st1 = a, st0 = b
    ld(0); ld(8); _gen_sub_fr_fr(&f.cg, 1, 0, 1); st(0);     // fsubp st(1), st: a - b
    ld(0); ld(8); _gen_subr_fr_fr(&f.cg, 1, 0, 1); st(1);    // fsubrp: b - a
    ld(0); ld(8); _gen_div_fr_fr(&f.cg, 1, 0, 1); st(2);     // a / b
    ld(0); ld(8); _gen_divr_fr_fr(&f.cg, 1, 0, 1); st(3);    // b / a
    ld(8); ld(0); _gen_sub_fr_fr(&f.cg, 0, 1, 0); st(4); _gen_pop_fr(&f.cg);   // st0 = a - b
    ld(8); ld(0); _gen_divr_fr_fr(&f.cg, 0, 1, 0); st(5); _gen_pop_fr(&f.cg);  // st0 = b / a
    ld(0); ld(8); _gen_sub_fr_fr(&f.cg, 1, 0, 0); _gen_pop_fr(&f.cg); st(6);   // fsub st(1), st: a - b
    ld(0); _gen_ARITHMETIC_fr_mm(&f.cg, FOP_SUBR, ECX, 0, 0, 8, 8); st(7);    // b - a
    ld(0); _gen_ARITHMETIC_fr_mm(&f.cg, FOP_MUL, ECX, 0, 0, 8, 8); _gen_move_fr_imm(&f.cg, 1);
    _gen_add_fr_fr(&f.cg, 1, 0, 1); st(8);                                     // a * b + 1
    ld(0); _gen_move_mm_fr8i(&f.cg, EDX, 72);                                  // (long) a
    ld(8); ld(0); _gen_cmpi_fr_fr(&f.cg, 1, 0, 2);                             // a vs b
    _gen_move_gr_i4(&f.cg, GR_EAX, 0);
    _gen_setcc_gr(&f.cg, GR_EAX, COND_B, 1);                                   // a < b
    _gen_ret(&f.cg);
    double in[2] = {7.5, 2.5};
    double out[10] = {};
    int below = ((int (*)(double*, double*))entry)(in, out);
    EXPECT_EQ(out[0], 5.0);
    EXPECT_EQ(out[1], -5.0);
    EXPECT_EQ(out[2], 3.0);
    EXPECT_EQ(out[3], 2.5 / 7.5);
    EXPECT_EQ(out[4], 5.0);
    EXPECT_EQ(out[5], 2.5 / 7.5);
    EXPECT_EQ(out[6], 5.0);
    EXPECT_EQ(out[7], -5.0);
    EXPECT_EQ(out[8], 7.5 * 2.5 + 1);
    long long as_long;
    std::memcpy(&as_long, &out[9], 8);
    EXPECT_EQ(as_long, 8);   // round to nearest even: 7.5 -> 8
    EXPECT_EQ(below, 0);
}

}  // namespace
