// The constant folders' tables of Java edge values: what they fold must be
// what Java computes at run time, and what they cannot compute exactly they
// must refuse.
#include <gtest/gtest.h>

#include <string.h>

#include "dataflow/dataflow.h"

namespace {

constexpr int64_t LMIN = INT64_MIN, LMAX = INT64_MAX;

u4 fbits(float f)
{
    u4 w;
    memcpy(&w, &f, 4);
    return w;
}
u8 dbits(double d)
{
    u8 w;
    memcpy(&w, &d, 8);
    return w;
}
float ffrom(u4 w)
{
    float f;
    memcpy(&f, &w, 4);
    return f;
}
double dfrom(u8 w)
{
    double d;
    memcpy(&d, &w, 8);
    return d;
}

u2 control_word()
{
    u2 cw;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
}

// Guards long folding against the overflowing and trapping cases: MIN / -1
// wraps, a zero divisor is refused, shift counts use their low six bits.
TEST(FoldTable, LongEdgeValues)
{
    struct row {
        s4 op;
        int64_t a, b;
        int ok;
        int64_t want;
    };
    const row binary[] = {
        {DF_OP_DIV, LMIN, -1, 1, LMIN},  {DF_OP_REM, LMIN, -1, 1, 0},     {DF_OP_DIV, 7, 0, 0, 0},
        {DF_OP_REM, 7, 0, 0, 0},         {DF_OP_ADD, LMAX, 1, 1, LMIN},   {DF_OP_MUL, LMIN, -1, 1, LMIN},
        {DF_OP_DIV, -7, 2, 1, -3},       {DF_OP_REM, -7, 2, 1, -1},       {DF_OP_REM, 7, -2, 1, 1},
        {DF_OP_MAX, -1, 1, 1, 1},        {DF_OP_MIN, -1, 1, 1, -1},       {DF_OP_SUB, LMIN, 1, 1, LMAX},
        {DF_OP_ROTL, 1, 1, 0, 0},
    };
    for (const row& r : binary) {
        int64_t got = 0;
        EXPECT_EQ(df_calc_long_op2(r.op, r.a, r.b, &got), r.ok) << r.op << " " << r.a << " " << r.b;
        if (r.ok)
            EXPECT_EQ(got, r.want) << r.op << " " << r.a << " " << r.b;
    }
    const row shifts[] = {
        {DF_OP_SHL, 1, 64, 1, 1},         {DF_OP_SHL, 1, 65, 1, 2},         {DF_OP_SHL, 1, -1, 1, LMIN},
        {DF_OP_SHR, -16, 2, 1, -4},       {DF_OP_USHR, -16, 65, 1, LMAX - 7}, {DF_OP_SHR, LMIN, 63, 1, -1},
    };
    for (const row& r : shifts) {
        int64_t got = 0;
        EXPECT_EQ(df_calc_long_shift(r.op, r.a, static_cast<s4>(r.b), &got), r.ok) << r.op << " " << r.b;
        EXPECT_EQ(got, r.want) << r.op << " " << r.a << " " << r.b;
    }
    int64_t got = 0;
    EXPECT_TRUE(df_calc_long_op1(DF_OP_NEG, LMIN, &got) && got == LMIN);
    EXPECT_TRUE(df_calc_long_op1(DF_OP_ABS, LMIN, &got) && got == LMIN);
    EXPECT_TRUE(df_calc_long_op1(DF_OP_ABS, -5, &got) && got == 5);
}

// Guards the floating-point folders: Math.max and Math.min order -0.0 below
// +0.0 whichever side it is on; every result is rounded once to its type
// (the double product below differs in its last bit when computed in
// extended precision and stored); non-finite and subnormal values are
// refused; the processor's control word is left as it was.
TEST(FoldTable, FloatAndDoubleFollowJava)
{
    const u2 cw = control_word();
    struct drow {
        s4 op;
        double a, b;
        int ok;
        u8 want;
    };
    const double nz = -0.0, inf = dfrom(0x7FF0000000000000ull), nan = dfrom(0x7FF8000000000000ull);
    const double sub = dfrom(0x0000000000000001ull);
    const drow doubles[] = {
        {DF_OP_MAX, nz, 0.0, 1, 0},                            {DF_OP_MAX, 0.0, nz, 1, 0},
        {DF_OP_MIN, nz, 0.0, 1, 0x8000000000000000ull},       {DF_OP_MIN, 0.0, nz, 1, 0x8000000000000000ull},
        {DF_OP_MAX, nz, nz, 1, 0x8000000000000000ull},        {DF_OP_MAX, 2.0, 3.0, 1, dbits(3.0)},
        {DF_OP_MAX, nan, 1.0, 0, 0},                           {DF_OP_MIN, 1.0, nan, 0, 0},
        {DF_OP_MUL, dfrom(0x3FF69395228D272Aull), dfrom(0x3FF5C172F50B82E6ull), 1, 0x3FFEB2AA2994BA09ull},
        {DF_OP_DIV, 1.0, 3.0, 1, 0x3FD5555555555555ull},      {DF_OP_ADD, 0.1, 0.2, 1, 0x3FD3333333333334ull},
        {DF_OP_DIV, 1.0, 0.0, 0, 0},                           {DF_OP_ADD, inf, 1.0, 0, 0},
        {DF_OP_MUL, sub, 1.0, 0, 0},                           {DF_OP_MUL, 1e300, 1e300, 0, 0},
        {DF_OP_MUL, 1e-300, 1e-300, 0, 0},                     {DF_OP_SUB, 1.0, 1.0, 1, 0},
        {DF_OP_REM, 5.0, 3.0, 0, 0},
    };
    for (const drow& r : doubles) {
        double got = 0;
        EXPECT_EQ(df_calc_double_op2(r.op, r.a, r.b, &got), r.ok) << r.op << " " << r.a << " " << r.b;
        if (r.ok)
            EXPECT_EQ(dbits(got), r.want) << r.op << " " << r.a << " " << r.b;
    }
    struct frow {
        s4 op;
        float a, b;
        int ok;
        u4 want;
    };
    const float fnz = -0.0f, fnan = ffrom(0x7FC00000u), fsub = ffrom(0x00000001u);
    const frow floats[] = {
        {DF_OP_MAX, fnz, 0.0f, 1, 0},               {DF_OP_MAX, 0.0f, fnz, 1, 0},
        {DF_OP_MIN, 0.0f, fnz, 1, 0x80000000u},     {DF_OP_MIN, fnz, 0.0f, 1, 0x80000000u},
        {DF_OP_MAX, fnan, 1.0f, 0, 0},              {DF_OP_DIV, 1.0f, 3.0f, 1, 0x3EAAAAABu},
        {DF_OP_ADD, 16777216.0f, 1.0f, 1, 0x4B800000u}, {DF_OP_MUL, 3.0f, 1.1f, 1, 0x40533334u},
        {DF_OP_MUL, 3.0e38f, 10.0f, 0, 0},          {DF_OP_MUL, fsub, 1.0f, 0, 0},
        {DF_OP_DIV, 1.0f, 0.0f, 0, 0},              {DF_OP_MUL, 1e-30f, 1e-30f, 0, 0},
        {DF_OP_SUB, 1.5f, 1.5f, 1, 0},
    };
    for (const frow& r : floats) {
        float got = 0;
        EXPECT_EQ(df_calc_float_op2(r.op, r.a, r.b, &got), r.ok) << r.op << " " << r.a << " " << r.b;
        if (r.ok)
            EXPECT_EQ(fbits(got), r.want) << r.op << " " << r.a << " " << r.b;
    }
    double d = 1;
    float f = 1;
    EXPECT_TRUE(df_calc_double_op1(DF_OP_ABS, nz, &d) && dbits(d) == 0);
    EXPECT_TRUE(df_calc_double_op1(DF_OP_NEG, 0.0, &d) && dbits(d) == 0x8000000000000000ull);
    EXPECT_TRUE(df_calc_float_op1(DF_OP_ABS, fnz, &f) && fbits(f) == 0);
    EXPECT_FALSE(df_calc_float_op1(DF_OP_NEG, fnan, &f));
    EXPECT_EQ(control_word(), cw);
}

// Guards the one-constant int rules: which operations reduce to the other
// operand, which to a constant, and that 0 - x and x / 0 stay as they are.
TEST(FoldTable, IntIdentities)
{
    struct row {
        s4 op;
        bool constant_first;
        s4 c;
        int folded;
        int identity;
        s4 want;
    };
    const row rows[] = {
        {DF_OP_MUL, false, 1, 0, 1, 0},  {DF_OP_ADD, false, 0, 0, 1, 0},  {DF_OP_ADD, true, 0, 0, 1, 0},
        {DF_OP_SUB, false, 0, 0, 1, 0},  {DF_OP_SUB, true, 0, 0, 0, 0},   {DF_OP_DIV, false, 1, 0, 1, 0},
        {DF_OP_DIV, true, 1, 0, 0, 0},   {DF_OP_OR, false, 0, 0, 1, 0},   {DF_OP_AND, true, -1, 0, 1, 0},
        {DF_OP_SHL, false, 32, 0, 1, 0}, {DF_OP_SHR, false, 33, 0, 0, 0}, {DF_OP_MUL, true, 0, 1, 0, 0},
        {DF_OP_AND, false, 0, 1, 0, 0},  {DF_OP_REM, false, 1, 1, 0, 0},  {DF_OP_OR, true, -1, 1, 0, -1},
        {DF_OP_DIV, false, 0, 0, 0, 0},  {DF_OP_XOR, false, 0, 0, 0, 0},
    };
    for (const row& r : rows) {
        int identity = -1;
        s4 got = 12345;
        int folded = df_calc_op2_const1(nullptr, r.op, &identity, r.constant_first ? &r.c : nullptr,
                                        r.constant_first ? nullptr : &r.c, &got);
        EXPECT_EQ(folded, r.folded) << r.op << " " << r.c << " first " << r.constant_first;
        EXPECT_EQ(identity, r.identity) << r.op << " " << r.c << " first " << r.constant_first;
        if (folded)
            EXPECT_EQ(got, r.want) << r.op << " " << r.c;
    }
}

} // namespace
