// Float and double quadruple generators, executed: each case builds one
// quadruple over locals, operand-stack values or constants, runs its
// generator through the register manager, flushes the x87 stack to the
// frame, runs the code and compares the destination with the Java result.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "regman/reg_test_util.h"
#include "codegen/cg_core.h"
#include "codegen/gen/gen_arith.h"
#include "codegen/gen/gen_fp.h"
#include "frontend/quad.h"

// The run-time tables the conversions use: the x87 control words and the
// routine table (the float-to-int correction routine of the run-time
// arithmetic).
extern "C" {
void __get_correct_f2i(void);
// The division routines of the run-time arithmetic raise through this; no
// test here divides.
void THROW_EXCEPTION_DIV0(void) { std::abort(); }
}

namespace {

alignas(4) u2 control_words[4] = {0x027F, 0x0E7F, 0x007F, 0x0C7F};
void* decode[64];

}  // namespace

extern "C" void** _GET_DECODE_TABLE_BASE(void)
{
    decode[RT_GET_CORRECT_F2I] = reinterpret_cast<void*>(__get_correct_f2i);
    return decode;
}
extern "C" u1* _GET_FCONTROL_WORD_BASE(void) { return reinterpret_cast<u1*>(control_words); }

namespace {

const double INF = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();

struct frun {
    rm_fixture f;
    quadruple q;
    quadruple* qp;
    cg_operands o;
    machine in;

    void setup(int opcode, int op)
    {
        rm_setup(&f, 4, 8);
        std::memset(&q, 0, sizeof q);
        q.opcode = (u1)opcode;
        q.op = (u2)op;
        qp = &q;
        std::memset(&o, 0, sizeof o);
        in = {};
        for (int k = 0; k < 64; k++)
            in.frame[k] = 0x7FC00001u;   // a NaN pattern: an unwritten destination shows
    }
    void set_float(int word, float v) { in.frame[word] = float_bits(v); }
    machine go()
    {
        _flush_all_fp_regs(&f.cg, 0);
        _flush_all_int_regs(&f.cg, 0);
        EXPECT_EQ(fp_top(&f.cg), fp_bottom(&f.cg)) << "x87 model not empty after the flush";
        machine out;
        rm_run(&f, in, &out, 0);
        EXPECT_EQ((out.fpu_status >> 11) & 7, 0) << "x87 stack not balanced";
        return out;
    }
};

// A double at local l occupies locals l and l + 1: its high word is local
// l's frame word, its low word local l + 1's, the word below.
int double_lo_word(int l) { return frame_word_of_local(l + 1); }

void put_double(machine* m, int lo_word, double v)
{
    u8 bits;
    std::memcpy(&bits, &v, 8);
    m->frame[lo_word] = (u4)bits;
    m->frame[lo_word - 1] = (u4)(bits >> 32);
}
double get_double(const machine& m, int lo_word)
{
    u8 bits = (u8)m.frame[lo_word] | ((u8)m.frame[lo_word - 1] << 32);
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

double java_binary(int op, double a, double b, bool is_float)
{
    volatile double r = 0;
    switch (op) {
    case FOPR_ADD: r = a + b; break;
    case FOPR_SUB: r = a - b; break;
    case FOPR_MUL: r = a * b; break;
    case FOPR_DIV: r = a / b; break;
    case FOPR_REM: r = std::fmod(a, b); break;
    }
    double d = r;
    return is_float ? (double)(float)d : d;
}

bool same(double x, double y)
{
    if (std::isnan(x) || std::isnan(y))
        return std::isnan(x) && std::isnan(y);
    return x == y && std::signbit(x) == std::signbit(y);
}

const float FLOATS[] = {0.0f, -0.0f, 1.0f, -1.5f, 3.0f, 0.1f, 7.25f, -3.4e38f, 3.4e38f, 1e-40f, (float)INF, (float)NaN};
const double DOUBLES[] = {0.0, -0.0, 1.0, -1.5, 3.0, 0.1, 7.25, -1e300, 1e308, 4.9e-324, 123456789.125, -INF, NaN};

// Operand placements of the two sources: locals, an operand-stack value
// first, a constant second.
enum placement { LOCALS, STACK_FIRST, LOCAL_SAME };

float run_float_op(int op, float a, float b, int place = LOCALS)
{
    static frun t;
    t.setup(OPC_FOP2, op);
    t.o.r[0] = local_op(0, 'F');
    t.o.r[2] = place == STACK_FIRST ? stack_op(0, 0, 'F') : local_op(1, 'F');
    t.o.r[4] = place == LOCAL_SAME ? local_op(1, 'F') : local_op(2, 'F');
    CUR(&t.f.cg)->fp_stack_count = place == STACK_FIRST ? 1 : 0;
    t.set_float(frame_word_of_local(1), a);
    t.set_float(frame_word_of_local(2), b);
    t.set_float(frame_word_of_stack(0), a);
    gen_op2_FFF(&t.f.cg, &t.qp, &t.o);
    machine out = t.go();
    if (place != STACK_FIRST) {
        EXPECT_EQ(out.frame[frame_word_of_local(1)], float_bits(a)) << "source changed";
    }
    EXPECT_EQ(out.frame[frame_word_of_local(2)], float_bits(b)) << "source changed";
    return bits_float(out.frame[frame_word_of_local(0)]);
}

double run_double_op(int op, double a, double b)
{
    static frun t;
    t.setup(OPC_FOP2 + 8, op);   // the double operator quadruple
    t.o.r[0] = local_op(1, 'D');
    t.o.r[2] = local_op(3, 'D');
    t.o.r[4] = local_op(5, 'D');
    put_double(&t.in, double_lo_word(3), a);
    put_double(&t.in, double_lo_word(5), b);
    gen_op2_FFF(&t.f.cg, &t.qp, &t.o);
    machine out = t.go();
    EXPECT_TRUE(same(get_double(out, double_lo_word(3)), a)) << "source changed";
    return get_double(out, double_lo_word(1));
}

}  // namespace

TEST(GenFloat, FloatBinaryOperatorsOverLocals)
{
    for (int op : {FOPR_ADD, FOPR_SUB, FOPR_MUL, FOPR_DIV})
        for (float a : FLOATS)
            for (float b : FLOATS)
                EXPECT_TRUE(same(run_float_op(op, a, b), java_binary(op, a, b, true)))
                    << "op " << op << " " << a << ", " << b << " gave " << run_float_op(op, a, b);
}

TEST(GenFloat, DoubleBinaryOperatorsOverLocals)
{
    for (int op : {FOPR_ADD, FOPR_SUB, FOPR_MUL, FOPR_DIV})
        for (double a : DOUBLES)
            for (double b : DOUBLES)
                EXPECT_TRUE(same(run_double_op(op, a, b), java_binary(op, a, b, false)))
                    << "op " << op << " " << a << ", " << b << " gave " << run_double_op(op, a, b);
}

// The first source an operand-stack value, or both sources the same local
// (x * x): the sources are read once each and nothing is left behind.
TEST(GenFloat, OperandPlacements)
{
    for (int op : {FOPR_SUB, FOPR_DIV, FOPR_MUL}) {
        EXPECT_TRUE(same(run_float_op(op, 7.5f, -2.0f, STACK_FIRST), java_binary(op, 7.5f, -2.0f, true)))
            << "op " << op;
        EXPECT_TRUE(same(run_float_op(op, 7.5f, -2.0f, LOCAL_SAME), java_binary(op, 7.5f, 7.5f, true)))
            << "op " << op;
    }
}

TEST(GenFloat, RemainderOfFloats)
{
    for (float a : {7.5f, -7.5f, 1e10f, 0.0f})
        for (float b : {2.0f, -3.25f, 0.0f})
            EXPECT_TRUE(same(run_float_op(FOPR_REM, a, b), java_binary(FOPR_REM, a, b, true))) << a << " % " << b;
}

TEST(GenFloat, NegateFloatAndDouble)
{
    static frun t;
    for (float a : FLOATS) {
        t.setup(OPC_FOP1, FOPR_NEG);
        t.o.r[0] = local_op(0, 'F');
        t.o.r[2] = local_op(1, 'F');
        t.set_float(frame_word_of_local(1), a);
        gen_op1_FF(&t.f.cg, &t.qp, &t.o);
        machine out = t.go();
        EXPECT_TRUE(same(bits_float(out.frame[frame_word_of_local(0)]), -a)) << a;
    }
    for (double a : DOUBLES) {
        t.setup(OPC_FOP1 + 8, FOPR_NEG);
        t.o.r[0] = local_op(1, 'D');
        t.o.r[2] = local_op(3, 'D');
        put_double(&t.in, double_lo_word(3), a);
        gen_op1_FF(&t.f.cg, &t.qp, &t.o);
        machine out = t.go();
        EXPECT_TRUE(same(get_double(out, double_lo_word(1)), -a)) << a;
    }
}

// Loads, stores and the conversions between float and double: a double
// narrowed to float is rounded (and saturates to infinity).
TEST(GenFloat, MovesAndWidthConversions)
{
    static frun t;
    // float local to operand stack, then stack to another local.
    t.setup(OPC_FLOAD, 0);
    t.o.r[0] = stack_op(0, 0, 'F');
    t.o.r[2] = local_op(1, 'F');
    t.set_float(frame_word_of_local(1), -2.75f);
    gen_move_FF(&t.f.cg, &t.qp, &t.o);
    t.q.opcode = OPC_FSTORE;
    t.o.r[0] = local_op(4, 'F');
    t.o.r[2] = stack_op(0, 0, 'F');
    gen_move_FF(&t.f.cg, &t.qp, &t.o);
    machine out = t.go();
    EXPECT_EQ(bits_float(out.frame[frame_word_of_local(4)]), -2.75f);

    for (float a : FLOATS) {
        t.setup(OPC_F2D, 0);
        t.o.r[0] = local_op(2, 'D');
        t.o.r[2] = local_op(4, 'F');
        t.set_float(frame_word_of_local(4), a);
        gen_move_FF(&t.f.cg, &t.qp, &t.o);
        out = t.go();
        EXPECT_TRUE(same(get_double(out, double_lo_word(2)), (double)a)) << a;
    }
    for (double a : DOUBLES) {
        t.setup(OPC_D2F, 0);
        t.o.r[0] = local_op(5, 'F');
        t.o.r[2] = local_op(2, 'D');
        put_double(&t.in, double_lo_word(2), a);
        gen_move_FF(&t.f.cg, &t.qp, &t.o);
        out = t.go();
        EXPECT_TRUE(same(bits_float(out.frame[frame_word_of_local(5)]), (float)a)) << a;
    }
}

// A narrowed value used again before it reaches memory is the float value:
// (float)d * 3.0f with d = 0.1.
TEST(GenFloat, NarrowedValueRoundedBeforeReuse)
{
    static frun t;
    t.setup(OPC_D2F, 0);
    t.o.r[0] = stack_op(0, 0, 'F');
    t.o.r[2] = local_op(2, 'D');
    put_double(&t.in, double_lo_word(2), 0.1);
    gen_move_FF(&t.f.cg, &t.qp, &t.o);
    t.q.opcode = OPC_FOP2 + 8;
    t.q.op = FOPR_MUL;
    t.o.r[0] = local_op(4, 'D');
    t.o.r[2] = stack_op(0, 0, 'F');
    t.o.r[4] = local_op(6, 'D');
    put_double(&t.in, double_lo_word(6), 3.0);
    gen_op2_FFF(&t.f.cg, &t.qp, &t.o);
    machine out = t.go();
    volatile float nf = (float)0.1;
    volatile double expect = (double)nf * 3.0;
    EXPECT_EQ(get_double(out, double_lo_word(4)), (double)expect);
}

// Float results that stay in x87 registers are rounded to float where they
// are made, whatever precision the x87 computes in: a product whose exact
// value needs 25 bits, and a product that overflows the float range, each
// used again from its register.  Without the rounding the first chain gives
// 1 instead of 0 and the second gives 3e38 instead of infinity.
TEST(GenFloat, FloatChainRoundsEachResult)
{
    struct chain {
        float a, b, c;
        int second;   // operator of the second step
        int dest;     // 0: local destination, 1: operand-stack destination
    };
    const chain cases[] = {
        {4097.0f, 4097.0f, -16785408.0f, FOPR_ADD, 0},
        {3e38f, 10.0f, 0.1f, FOPR_MUL, 0},
        {4097.0f, 4097.0f, -16785408.0f, FOPR_ADD, 1},
        {3e38f, 10.0f, 0.1f, FOPR_MUL, 1},
        {1e-30f, 1e-20f, 1e30f, FOPR_MUL, 0},   // underflow to 0 must stick
    };
    static frun t;
    for (const chain& k : cases) {
        t.setup(OPC_FOP2, FOPR_MUL);
        reg_operand mid = k.dest == 0 ? local_op(0, 'F') : stack_op(0, 0, 'F');
        t.o.r[0] = mid;
        t.o.r[2] = local_op(1, 'F');
        t.o.r[4] = local_op(2, 'F');
        t.set_float(frame_word_of_local(1), k.a);
        t.set_float(frame_word_of_local(2), k.b);
        t.set_float(frame_word_of_local(3), k.c);
        gen_op2_FFF(&t.f.cg, &t.qp, &t.o);
        t.q.op = (u2)k.second;
        t.o.r[0] = local_op(4, 'F');
        t.o.r[2] = mid;
        t.o.r[4] = local_op(3, 'F');
        gen_op2_FFF(&t.f.cg, &t.qp, &t.o);
        machine out = t.go();
        volatile float m = k.a * k.b;
        volatile float e = k.second == FOPR_ADD ? m + k.c : m * k.c;
        EXPECT_TRUE(same(bits_float(out.frame[frame_word_of_local(4)]), e))
            << k.a << " * " << k.b << " then op " << k.second << " " << k.c << " (dest " << k.dest << ") gave "
            << bits_float(out.frame[frame_word_of_local(4)]);
    }
}

extern s4 orva_processor_cmov_support;

// float-to-int with every x87 register holding a cached local: the
// conversion's rounding fix-up pushes a value, so a register is given up
// (spilled) first.  Without that the push overflows the stack, the fix-up
// compares against the invalid value (2.75f converts to 3) and the bottom
// register's value is lost.
TEST(GenFloat, FloatToIntWithAFullStack)
{
    static frun t;
    for (s4 cmov : {1, 0}) {
        const s4 saved = orva_processor_cmov_support;
        orva_processor_cmov_support = cmov;
        rm_setup(&t.f, 4, 16);
        std::memset(&t.q, 0, sizeof t.q);
        t.q.opcode = OPC_F2I;
        t.qp = &t.q;
        t.in = {};
        for (int l = 8; l < 16; l++) {
            reg_operand c = local_op(l, 'F');
            t.in.frame[frame_word_of_local(l)] = float_bits(100.0f + (float)l);
            s4 r = _get_rd_fp_oprnd(&t.f.cg, &c, 0);
            _assoc_fp_oprnd(&t.f.cg, &c, r, 0, 0);
            _free_fp_reg(&t.f.cg, r, 0);
        }
        ASSERT_EQ(fp_top(&t.f.cg) - fp_bottom(&t.f.cg), 8);
        t.set_float(frame_word_of_local(1), 2.75f);
        std::memset(&t.o, 0, sizeof t.o);
        t.o.r[0] = local_op(0);
        t.o.x[2] = local_op(1, 'F');
        gen_F2I(&t.f.cg, &t.qp, &t.o);
        // Then every cached local converted in turn: each still has its value.
        for (int l = 8; l < 16; l++) {
            t.o.r[0] = local_op(l - 6);
            t.o.x[2] = local_op(l, 'F');
            gen_F2I(&t.f.cg, &t.qp, &t.o);
        }
        machine out = t.go();
        EXPECT_EQ((s4)out.frame[frame_word_of_local(0)], 2) << "cmov " << cmov;
        for (int l = 8; l < 16; l++)
            EXPECT_EQ((s4)out.frame[frame_word_of_local(l - 6)], 100 + l) << "local " << l << " cmov " << cmov;
        orva_processor_cmov_support = saved;
    }
}

// The rounding decision: max, min, negation and absolute value never round;
// a float result in 53-bit precision rounds; a double result in 53-bit
// precision, or any result in 24-bit precision, rounds in the writing pass
// only when the method uses the special constants; a strict method rounds
// everything else.
TEST(GenFloat, RoundingDecision)
{
    rm_fixture f;
    struct row {
        int op;
        char type;
        u4 mode;
        u4 special;
        u2 access;
        int expect;
    };
    const row rows[] = {
        {FOPR_MAX, 'F', FPM_DOUBLE, 0, 0, 0},          {FOPR_NEG, 'F', FPM_DOUBLE, 0, ACC_STRICT, 0},
        {FOPR_ABS, 'D', FPM_DOUBLE, 0, ACC_STRICT, 0}, {FOPR_MUL, 'F', FPM_DOUBLE, 0, 0, 1},
        {FOPR_MUL, 'D', FPM_DOUBLE, 0, 0, 0},          {FOPR_MUL, 'F', FPM_SINGLE, 0, 0, 0},
        {FOPR_MUL, 'F', FPM_SINGLE, CG_FLOAT_SPECIAL_CONST, 0, 1},
        {FOPR_ADD, 'D', FPM_DOUBLE, CG_DOUBLE_SPECIAL_CONST, 0, 1},
        {FOPR_ADD, 'D', FPM_DOUBLE, 0, ACC_STRICT, 1},
    };
    for (const row& r : rows) {
        rm_setup(&f, 4, 8);
        f.cg.flags = (f.cg.flags & ~FPM_MASK) | r.mode | r.special;
        f.mb.access = r.access;
        reg_operand d = local_op(0, r.type);
        EXPECT_EQ(tobe_truncated(&f.cg, &d, r.op, 1), r.expect)
            << "op " << r.op << " type " << r.type << " mode " << r.mode << " special " << r.special;
    }
}

extern s4 orva_processor_cmov_support;

namespace {
s4 java_fcmp(int rule, double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return rule == QOP_CMPL ? -1 : 1;
    return a < b ? -1 : a > b ? 1 : 0;
}
}  // namespace

// fcmpl / fcmpg of floats and doubles into an int local, NaN on either side.
static void check_three_way()
{
    static frun t;
    for (int rule : {(int)QOP_CMPL, (int)QOP_CMPG}) {
        for (float a : FLOATS)
            for (float b : FLOATS) {
                t.setup(OPC_FCMP, rule);
                t.o.r[0] = local_op(0);
                t.o.x[2] = local_op(1, 'F');
                t.o.x[4] = local_op(2, 'F');
                t.set_float(frame_word_of_local(1), a);
                t.set_float(frame_word_of_local(2), b);
                gen_fcmpu_IFF(&t.f.cg, &t.qp, &t.o);
                machine out = t.go();
                EXPECT_EQ((s4)out.frame[frame_word_of_local(0)], java_fcmp(rule, a, b))
                    << "rule " << rule << " " << a << ", " << b;
            }
        for (double a : DOUBLES)
            for (double b : {0.0, -0.0, 1.0, -INF, NaN}) {
                t.setup(OPC_DCMP, rule);
                t.o.r[0] = local_op(0);
                t.o.x[2] = local_op(2, 'D');
                t.o.x[4] = stack_op(0, 1, 'D');
                CUR(&t.f.cg)->fp_stack_count = 1;
                put_double(&t.in, double_lo_word(2), a);
                put_double(&t.in, frame_word_of_stack(2), b);   // slots 1 and 2, addressed at 2
                gen_fcmpu_IFF(&t.f.cg, &t.qp, &t.o);
                machine out = t.go();
                EXPECT_EQ((s4)out.frame[frame_word_of_local(0)], java_fcmp(rule, a, b))
                    << "rule " << rule << " " << a << ", stack " << b;
            }
    }
}

// int to float (rounded: 2^24 + 1 is not a float) and to double (exact),
// from a local and from a constant.
TEST(GenFloat, IntToFloatAndDouble)
{
    static frun t;
    for (s4 v : {0, 1, -1, 16777217, 0x7FFFFFFF, (s4)0x80000000, -123456789}) {
        for (bool constant : {false, true}) {
            t.setup(OPC_I2F, 0);
            t.o.x[0] = local_op(3, 'F');
            t.o.r[2] = constant ? const_op(v) : local_op(1);
            t.in.frame[frame_word_of_local(1)] = (u4)v;
            gen_I2F(&t.f.cg, &t.qp, &t.o);
            machine out = t.go();
            EXPECT_EQ(bits_float(out.frame[frame_word_of_local(3)]), (float)v) << v << (constant ? " const" : "");
            EXPECT_EQ((s4)out.frame[frame_word_of_local(1)], v);

            t.setup(OPC_I2D, 0);
            t.o.x[0] = local_op(4, 'D');
            t.o.r[2] = constant ? const_op(v) : local_op(1);
            t.in.frame[frame_word_of_local(1)] = (u4)v;
            gen_I2F(&t.f.cg, &t.qp, &t.o);
            out = t.go();
            EXPECT_EQ(get_double(out, double_lo_word(4)), (double)v) << v << (constant ? " const" : "");
        }
    }
}

// Compare-and-branch: every condition under both NaN rules, the branch taken
// exactly when the three-way result stands in the condition to 0.
static void check_compare_branch()
{
    static frun t;
    const int conds[] = {COND_EQ, COND_NE, COND_LT, COND_GE, COND_LE, COND_GT};
    const float vals[] = {-1.0f, 0.0f, -0.0f, 2.5f, (float)INF, (float)NaN};
    for (int rule : {(int)QOP_CMPL, (int)QOP_CMPG})
        for (int cond : conds)
            for (float a : vals)
                for (float b : vals) {
                    t.setup(OPC_FCMP_BRANCH, cond);
                    t.q.count = (u2)rule;
                    t.o.r[2] = local_op(1, 'F');
                    t.o.r[4] = local_op(2, 'F');
                    t.set_float(frame_word_of_local(1), a);
                    t.set_float(frame_word_of_local(2), b);
                    int c = gen_fcmpu_CFF(&t.f.cg, &t.qp, &t.o);
                    gi_seq s;
                    gi_seq_begin(&t.f.cg, &s);
                    gen_move_local_immediate(&t.f.cg, 0, 1);
                    u1* taken = gi_jshort(&t.f.cg, c);
                    gen_move_local_immediate(&t.f.cg, 0, 0);
                    gi_land(&t.f.cg, taken);
                    gi_seq_end(&t.f.cg, &s);
                    machine out = t.go();
                    s4 r = java_fcmp(rule, a, b);
                    bool expect = cond == COND_EQ ? r == 0 : cond == COND_NE ? r != 0 : cond == COND_LT ? r < 0
                                : cond == COND_GE ? r >= 0 : cond == COND_LE ? r <= 0 : r > 0;
                    EXPECT_EQ(out.frame[frame_word_of_local(0)], expect ? 1u : 0u)
                        << "rule " << rule << " cond " << cond << " " << a << ", " << b;
                }
}

// Both processor paths: FCOMI (CMOV processors) and FNSTSW/SAHF.
TEST(GenFloat, ThreeWayCompare)
{
    const s4 saved = orva_processor_cmov_support;
    for (s4 cmov : {1, 0}) {
        orva_processor_cmov_support = cmov;
        SCOPED_TRACE(cmov ? "fcomi" : "fnstsw");
        check_three_way();
    }
    orva_processor_cmov_support = saved;
}

TEST(GenFloat, CompareAndBranchConditions)
{
    const s4 saved = orva_processor_cmov_support;
    for (s4 cmov : {1, 0}) {
        orva_processor_cmov_support = cmov;
        SCOPED_TRACE(cmov ? "fcomi" : "fnstsw");
        check_compare_branch();
    }
    orva_processor_cmov_support = saved;
}

namespace {
s4 java_f2i(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return 0x7FFFFFFF;
    if (v <= -2147483648.0)
        return (s4)0x80000000;
    return (s4)v;
}
}  // namespace

// float and double to int: truncation, NaN to 0, saturation, on both
// processor paths.
TEST(GenFloat, FloatAndDoubleToInt)
{
    static frun t;
    const s4 saved = orva_processor_cmov_support;
    const double values[] = {0.0, -0.0, 1.5, -1.5, 2.9999, -2.9999, 1e10, -1e10, 2147483647.0, 2147483648.0,
                             -2147483648.0, -2147483649.0, 123456.75, INF, -INF, NaN};
    for (s4 cmov : {1, 0}) {
        orva_processor_cmov_support = cmov;
        for (double v : values) {
            t.setup(OPC_D2I, 0);
            t.o.r[0] = local_op(0);
            t.o.x[2] = local_op(2, 'D');
            put_double(&t.in, double_lo_word(2), v);
            gen_F2I(&t.f.cg, &t.qp, &t.o);
            machine out = t.go();
            EXPECT_EQ((s4)out.frame[frame_word_of_local(0)], java_f2i(v)) << v << " cmov " << cmov;

            float f = (float)v;
            t.setup(OPC_F2I, 0);
            t.o.r[0] = local_op(3);
            t.o.x[2] = local_op(1, 'F');
            t.set_float(frame_word_of_local(1), f);
            gen_F2I(&t.f.cg, &t.qp, &t.o);
            out = t.go();
            EXPECT_EQ((s4)out.frame[frame_word_of_local(3)], java_f2i(f)) << f << " cmov " << cmov;
            EXPECT_EQ(out.frame[frame_word_of_local(1)], float_bits(f));
        }
    }
    orva_processor_cmov_support = saved;
}

// x = x op y with x cached on the x87 stack: the result replaces the cached
// value in its slot (and reaches the local's slot at the flush); sqrt and
// abs of a cached local leave the local unchanged.
TEST(GenFloat, DestinationCachedOnTheStack)
{
    static frun t;
    const u4 busy_valid = SW(RS_ASSIGNED) | SW(RS_BUSY) | SW(RS_VALID);
    for (int op : {FOPR_MUL, FOPR_SUB, FOPR_DIV}) {
        t.setup(OPC_FOP2, op);
        register_entry e = {RK_LOCAL, RT_FLOAT, 0, 1, nullptr};
        CUR(&t.f.cg)->fent[0] = e;
        CUR(&t.f.cg)->init_fent[0] = e;
        sw_put(CUR(&t.f.cg)->fmask, 0, busy_valid);
        sw_put(CUR(&t.f.cg)->init_fmask, 0, busy_valid);
        fp_top(&t.f.cg) = 1;
        fp_cache_count(&t.f.cg) = 1;
        t.o.r[0] = local_op(1, 'F');
        t.o.r[2] = local_op(1, 'F');
        t.o.r[4] = local_op(2, 'F');
        t.set_float(frame_word_of_local(1), 6.0f);   // the slot agrees with the clean cached value
        t.set_float(frame_word_of_local(2), 4.0f);
        t.in.fp = {6.0};
        gen_op2_FFF(&t.f.cg, &t.qp, &t.o);
        EXPECT_EQ(fp_top(&t.f.cg), 1) << "op " << op;
        machine out = t.go();
        EXPECT_EQ(bits_float(out.frame[frame_word_of_local(1)]), (float)java_binary(op, 6.0, 4.0, true)) << "op " << op;
    }
    for (int op : {FOPR_SQRT, FOPR_ABS}) {
        t.setup(OPC_FOP1, op);
        t.o.r[0] = local_op(0, 'F');
        t.o.r[2] = local_op(1, 'F');
        t.set_float(frame_word_of_local(1), op == FOPR_ABS ? -2.25f : 2.25f);
        gen_op1_FF(&t.f.cg, &t.qp, &t.o);
        machine out = t.go();
        EXPECT_EQ(bits_float(out.frame[frame_word_of_local(0)]), op == FOPR_ABS ? 2.25f : 1.5f) << "op " << op;
    }
}

// d = a op b with both sources locals cached on the x87 stack: the second is
// read where it is (op st(0),st(i)), not copied to the top to be popped.  A
// wrong operand order shows in sub, div and their reversed forms; a copy of
// b shows as a second fld st(i).
TEST(GenFloat, CachedSecondSourceReadInPlace)
{
    static frun t;
    const u4 busy_valid = SW(RS_ASSIGNED) | SW(RS_BUSY) | SW(RS_VALID);
    const float a = 7.5f, b = -2.0f;
    struct {
        int op;
        float want;
        u1 modrm;   // D8 /r form with st(1), b's place once a's copy is on the top
    } cases[] = {
        {FOPR_ADD, a + b, 0xC1}, {FOPR_SUB, a - b, 0xE1}, {FOPR_MUL, a * b, 0xC9},
        {FOPR_DIV, a / b, 0xF1}, {FOPR_SUBR, b - a, 0xE9}, {FOPR_DIVR, b / a, 0xF9},
    };
    for (const auto& c : cases) {
        t.setup(OPC_FOP2, c.op);
        for (int s = 0; s < 2; s++) {
            register_entry e = {RK_LOCAL, RT_FLOAT, 0, s + 1, nullptr};
            CUR(&t.f.cg)->fent[s] = e;
            CUR(&t.f.cg)->init_fent[s] = e;
            sw_put(CUR(&t.f.cg)->fmask, s, busy_valid);
            sw_put(CUR(&t.f.cg)->init_fmask, s, busy_valid);
        }
        fp_top(&t.f.cg) = 2;
        fp_cache_count(&t.f.cg) = 2;
        t.o.r[0] = local_op(0, 'F');
        t.o.r[2] = local_op(1, 'F');
        t.o.r[4] = local_op(2, 'F');
        t.set_float(frame_word_of_local(1), a);
        t.set_float(frame_word_of_local(2), b);
        t.in.fp = {a, b};
        gen_op2_FFF(&t.f.cg, &t.qp, &t.o);
        std::string hex = emitted_hex(&t.f);
        int copies = 0;
        for (size_t i = 0; i + 4 < hex.size(); i += 3)
            if (hex.compare(i, 4, "D9 C") == 0)
                copies++;
        EXPECT_EQ(copies, 1) << "op " << c.op << ": " << hex;
        char form[8];
        std::snprintf(form, sizeof form, "D8 %02X", c.modrm);
        EXPECT_NE(hex.find(form), std::string::npos) << "op " << c.op << ": " << hex;
        machine out = t.go();
        EXPECT_EQ(bits_float(out.frame[frame_word_of_local(0)]), c.want) << "op " << c.op;
        EXPECT_EQ(bits_float(out.frame[frame_word_of_local(1)]), a) << "op " << c.op;
        EXPECT_EQ(bits_float(out.frame[frame_word_of_local(2)]), b) << "op " << c.op;
    }
}

// Conversions whose destination is an operand-stack value: int to double on
// the stack, then the stack value back to int on the stack.
TEST(GenFloat, ConversionsIntoOperandStackValues)
{
    static frun t;
    for (s4 v : {0, -7, 16777217, (s4)0x80000000}) {
        t.setup(OPC_I2D, 0);
        t.o.x[0] = stack_op(0, 1, 'D');
        t.o.r[2] = local_op(1);
        t.in.frame[frame_word_of_local(1)] = (u4)v;
        gen_I2F(&t.f.cg, &t.qp, &t.o);
        t.q.opcode = OPC_D2I;
        t.o.r[0] = stack_op(0, 0);
        t.o.x[2] = stack_op(0, 1, 'D');
        gen_F2I(&t.f.cg, &t.qp, &t.o);
        machine out = t.go();
        EXPECT_EQ((s4)out.frame[frame_word_of_stack(0)], v);
    }
}

// ---------------------------------------------------------------------------
// long <-> float and double.  The x87 operand of these quadruples is set up
// by the generator from the quadruple itself.
// ---------------------------------------------------------------------------
namespace {

using s8 = int64_t;

void put_long(machine* m, int hi_local, s8 v)
{
    m->frame[frame_word_of_local(hi_local)] = (u4)((u8)v >> 32);
    m->frame[frame_word_of_local(hi_local + 1)] = (u4)(u8)v;
}
s8 get_long(const machine& m, int hi_local)
{
    return (s8)(((u8)m.frame[frame_word_of_local(hi_local)] << 32) | m.frame[frame_word_of_local(hi_local + 1)]);
}
void fp_local(quad_operand* q, int local, bool is_float)
{
    q->kind = (u1)(((is_float ? QT_FLOAT : QT_DOUBLE) << QT_SHIFT) | QK_VARIABLE);
    q->number = (u2)local;
}

float af_of(double a)
{
    volatile float f = (float)a;
    return f;
}

s8 java_d2l(double d)
{
    if (std::isnan(d))
        return 0;
    if (d >= 9223372036854775807.0)
        return INT64_MAX;
    if (d <= -9223372036854775808.0)
        return INT64_MIN;
    return (s8)d;
}

}  // namespace

// (float) and (double) of a long round once, to nearest even: 2^53 + 1
// becomes 2^53 as a double, 2^24 + 1 becomes 2^24 as a float, and the
// result is the rounded value even while it stays on the x87 stack (here:
// stored, then compared through a second conversion of the same width).
TEST(GenFloat, LongToFloatAndDouble)
{
    static frun t;
    const s8 values[] = {0, 1, -1, (1LL << 53) + 1, (1LL << 24) + 1, -((1LL << 53) + 3), INT64_MAX, INT64_MIN,
                         0x123456789ABCDEFLL, 0xFFFFFFFFLL, -0x100000001LL};
    for (int is_float = 0; is_float < 2; is_float++)
        for (s8 v : values)
            for (int cst = 0; cst < 2; cst++) {
                t.setup(is_float ? OPC_L2F : OPC_L2D, 0);
                fp_local(&t.q.result, 4, is_float);
                if (cst) {
                    t.o.r[2] = const_op((s4)(u4)(u8)v);
                    t.o.r[3] = const_op((s4)(u4)((u8)v >> 32));
                } else {
                    t.o.r[2] = local_op(3);
                    t.o.r[3] = local_op(2);
                }
                put_long(&t.in, 2, v);
                gen_L2F(&t.f.cg, &t.qp, &t.o);
                // Multiply by 1 in x87 precision: an unrounded value shows.
                t.q.opcode = OPC_DOP2;
                t.q.op = FOPR_MUL;
                t.o.r[0] = local_op(6, 'D');
                t.o.r[2] = local_op(4, is_float ? 'F' : 'D');
                t.o.r[4] = const_op(1, 'D');
                gen_op2_FFF(&t.f.cg, &t.qp, &t.o);
                machine out = t.go();
                volatile float vf = (float)v;   // stored: rounded, whatever the host's x87 precision
                volatile double vd = (double)v;
                double want = is_float ? (double)vf : (double)vd;
                EXPECT_EQ(get_double(out, double_lo_word(6)), want) << v << (is_float ? " float" : " double");
                EXPECT_EQ(get_long(out, 2), v);
            }
}

// (long) of a double or float: truncation, NaN 0, saturation.  Only the
// integer indefinite value itself (0x80000000_00000000) goes to the
// correction routine; -2^63 + 2048, whose high word is 0x80000000 too, is a
// valid result and stays.
TEST(GenFloat, DoubleAndFloatToLong)
{
    static frun t;
    const double values[] = {0.0, -0.0, 2.5, -2.5, 3.7, -3.7, 1e10, -1e10, 9.2233720368547748e18, 1e19, -1e19,
                             -9223372036854775808.0, -9223372036854773760.0, INF, -INF, NaN, 4.9e-324, 0.999999999};
    for (int cmov = 0; cmov < 2; cmov++) {
        orva_processor_cmov_support = cmov;
        for (double a : values)
            for (int is_float = 0; is_float < 2; is_float++) {
                t.setup(is_float ? OPC_F2L : OPC_D2L, 0);
                fp_local(&t.q.src1, 4, is_float);
                t.o.x[0] = local_op(1);
                t.o.x[1] = local_op(0);
                if (is_float)
                    t.set_float(frame_word_of_local(4), af_of(a));
                else
                    put_double(&t.in, double_lo_word(4), a);
                gen_F2L(&t.f.cg, &t.qp, &t.o);
                machine out = t.go();
                volatile float af = (float)a;
                double v = is_float ? (double)af : a;
                EXPECT_EQ(get_long(out, 0), java_d2l(v)) << a << (is_float ? " float" : "") << " cmov " << cmov;
            }
    }
    orva_processor_cmov_support = 1;
}
