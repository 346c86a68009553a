// Floating-point generators executed: operators on float and double (NaN,
// infinities, signed zeros, 24-bit precision through the control word),
// every compare-and-branch condition and the three-way compares against
// less, equal, greater and NaN, and the conversions to int and long
// against Java's rules, on both processor paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fpu_control.h>
#include <limits>

#include "regman/reg_test_util.h"
#include "codegen/cg_core.h"
#include "codegen/gen/gen_fp.h"

// The arithmetic routines of the run-time support (rt_arith.S).
extern "C" {
void __maxof(void);
void __minof(void);
void __logof(void);
void __floorof(void);
void __floorof2(void);
void __ceilof(void);
void __ceilof2(void);
void __get_correct_f2i(void);
void __expof(void);
void __powerof(void);
double jsin(double);
double jcos(double);
double jtan(double);
double jexp(double);
double jpow(double, double);
void THROW_EXCEPTION_DIV0(void) { std::abort(); }
}

namespace {

using s8 = int64_t;
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double INF = std::numeric_limits<double>::infinity();

void* decode[160];
alignas(4) u2 control_words[4] = {0x027F, 0x0E7F, 0x007F, 0x0C7F};

// Expectations are computed in 53-bit precision, as Java's double
// arithmetic; float results are the double result rounded once (exact for
// + - * / since 53 >= 2 * 24 + 2).
void host_double_precision()
{
    fpu_control_t cw = 0x027F;
    _FPU_SETCW(cw);
}

struct fp_run {
    rm_fixture f;
    codegen_context* cg = &f.cg;
};

// Frame word k relative to esp of the code under test.
s4 slot_disp(const fp_run& t, int k) { return -4 - 4 * k - t.f.start_sp; }

void begin(fp_run& t, int depth, int cmov, u4 mode)
{
    rm_setup(&t.f, 4, 8);
    orva_processor_cmov_support = cmov;
    cg_close_window(t.cg);
    // The VM runs compiled code in 53-bit precision.
    _gen_fldcw_mm(t.cg, FCW_DOUBLE_NEAREST);
    t.cg->flags = (t.cg->flags & ~FPM_MASK) | FPM_DOUBLE;
    if (mode == FPM_SINGLE)
        gen_fp_set_mode(t.cg, FPM_SINGLE);
    t.cg->regs.fp_depth = depth;
    cg_close_window(t.cg);
}

// Stores the top into frame words 0 (float) or 1:0 (double) and pops it.
void store_top(fp_run& t, int is_float)
{
    cg_close_window(t.cg);
    if (is_float)
        _gen_move_mm_fr(t.cg, GR_ESP, 0, 0, slot_disp(t, 0), 1);
    else
        _gen_move_mm_fr8(t.cg, GR_ESP, 0, 0, slot_disp(t, 1), 1);
    t.cg->regs.fp_depth--;
}

double read_result(const machine& out, int is_float)
{
    if (is_float)
        return bits_float(out.frame[0]);
    u8 bits = (u8)out.frame[1] | (u8)out.frame[0] << 32;
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

bool same(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return a == b && std::signbit(a) == std::signbit(b);
}

double java_maxmin(double a, double b, int is_max)
{
    if (std::isnan(a) || std::isnan(b))
        return NaN;
    if (a == 0 && b == 0)
        return is_max ? (std::signbit(a) ? b : a) : (std::signbit(a) ? a : b);
    return is_max ? (a > b ? a : b) : (a < b ? a : b);
}

double java_op(int op, double a, double b, int is_float)
{
    host_double_precision();
    volatile double r = 0;
    switch (op) {
    case FOPR_ADD: r = a + b; break;
    case FOPR_SUB: r = a - b; break;
    case FOPR_MUL: r = a * b; break;
    case FOPR_DIV: r = a / b; break;
    case FOPR_SUBR: r = b - a; break;
    case FOPR_DIVR: r = b / a; break;
    case FOPR_REM: r = std::fmod(a, b); break;
    case FOPR_IEREM: r = std::remainder(a, b); break;
    case FOPR_MAX: r = java_maxmin(a, b, 1); break;
    case FOPR_MIN: r = java_maxmin(a, b, 0); break;
    case FOPR_NEG: r = -a; break;
    }
    double d = r;
    return is_float ? (double)(float)d : d;
}

const double DOUBLE_VALUES[] = {0.0, -0.0, 1.0, -1.5, 3.0, 0.1, 7.25, -1e300, 1e308, 4.9e-324, 1e-310,
                                123456789.125, INF, -INF, NaN};
const float FLOAT_VALUES[] = {0.0f, -0.0f, 1.0f, -1.5f, 3.0f, 0.1f, 7.25f, -3.4e38f, 3.4e38f, 1.4e-45f,
                              1e-40f, 16777217.0f, (float)INF, (float)-INF, (float)NaN};

double run_binary(int op, double a, double b, int is_float, int cmov, u4 mode = FPM_DOUBLE)
{
    fp_run t;
    begin(t, 2, cmov, mode);
    gen_op_fr_fr(t.cg, op, 0, 1, 1);
    t.cg->regs.fp_depth = 1;
    store_top(t, is_float);
    machine in = {}, out;
    in.fp = {a, b};
    in.reg[0] = 0x11111111;
    rm_run(&t.f, in, &out, 0);
    EXPECT_EQ((out.fpu_status >> 11) & 7, 0) << "x87 stack not balanced";
    return read_result(out, is_float);
}

}  // namespace

extern "C" void** _GET_DECODE_TABLE_BASE(void)
{
    decode[RT_MAXOF] = reinterpret_cast<void*>(__maxof);
    decode[RT_MINOF] = reinterpret_cast<void*>(__minof);
    decode[RT_LOGOF] = reinterpret_cast<void*>(__logof);
    decode[RT_FLOOROF2] = reinterpret_cast<void*>(__floorof2);
    decode[RT_CEILOF2] = reinterpret_cast<void*>(__ceilof2);
    decode[RT_FLOOROF] = reinterpret_cast<void*>(__floorof);
    decode[RT_CEILOF] = reinterpret_cast<void*>(__ceilof);
    decode[RT_GET_CORRECT_F2I] = reinterpret_cast<void*>(__get_correct_f2i);
    decode[RT_EXPOF] = reinterpret_cast<void*>(__expof);
    decode[RT_POWEROF] = reinterpret_cast<void*>(__powerof);
    return decode;
}
s4 orva_processor_cmov_support = 0;
extern "C" u1* _GET_FCONTROL_WORD_BASE(void) { return reinterpret_cast<u1*>(control_words); }

// + - * / subr divr rem IErem max min over every pair of special and
// ordinary values, double and float, on both processor paths.
TEST(X87Ops, BinaryTruthTables)
{
    const int ops[] = {FOPR_ADD, FOPR_SUB, FOPR_MUL, FOPR_DIV, FOPR_SUBR, FOPR_DIVR,
                       FOPR_REM, FOPR_IEREM, FOPR_MAX, FOPR_MIN};
    for (int cmov = 0; cmov < 2; cmov++)
        for (int is_float = 0; is_float < 2; is_float++)
            for (int op : ops)
                for (size_t i = 0; i < std::size(DOUBLE_VALUES); i++)
                    for (size_t j = 0; j < std::size(DOUBLE_VALUES); j++) {
                        double a = is_float ? FLOAT_VALUES[i] : DOUBLE_VALUES[i];
                        double b = is_float ? FLOAT_VALUES[j] : DOUBLE_VALUES[j];
                        double want = java_op(op, a, b, is_float);
                        double got = run_binary(op, a, b, is_float, cmov);
                        EXPECT_TRUE(same(got, want)) << "op " << op << (is_float ? " float " : " double ") << a
                                                     << ", " << b << ": " << got << " want " << want
                                                     << " cmov " << cmov;
                    }
}

// Float operators in 24-bit precision give the same results, except that a
// result below the float normal range is rounded twice (to 24 bits with the
// x87 exponent range, then to the subnormal at the store), which Java
// allows outside strict methods; the rounding rule stores strict results.
TEST(X87Ops, FloatOperatorsIn24BitPrecision)
{
    const int ops[] = {FOPR_ADD, FOPR_SUB, FOPR_MUL, FOPR_DIV, FOPR_SUBR, FOPR_DIVR, FOPR_REM, FOPR_MAX, FOPR_MIN};
    for (int op : ops)
        for (float a : FLOAT_VALUES)
            for (float b : FLOAT_VALUES) {
                double want = java_op(op, a, b, 1);
                if (want != 0 && std::fabs(want) < 1.1754944e-38)
                    continue;
                EXPECT_TRUE(same(run_binary(op, a, b, 1, 0, FPM_SINGLE), want)) << op << " " << a << ", " << b;
            }
}

// A remainder whose exponents lie far apart needs many partial reductions.
TEST(X87Ops, RemainderFarApartExponents)
{
    for (double a : {1e308, -1.7e308, 3e300})
        for (double b : {3.0, 0.1, -7e-300, 4.9e-324})
            EXPECT_TRUE(same(run_binary(FOPR_REM, a, b, 0, 0), java_op(FOPR_REM, a, b, 0))) << a << " % " << b;
}

// In 24-bit precision a sum is rounded to float precision by the adder
// itself; in 53-bit precision it keeps double precision.
TEST(X87Ops, PrecisionControlWord)
{
    const double a = 1.0, b = std::ldexp(1.0, -30);
    EXPECT_EQ(run_binary(FOPR_ADD, a, b, 0, 0), 1.0 + b);
    fp_run t;
    begin(t, 2, 0, FPM_SINGLE);
    gen_op_fr_fr(t.cg, FOPR_ADD, 0, 1, 1);
    t.cg->regs.fp_depth = 1;
    store_top(t, 0);   // stored as a double: only the control word rounded it
    machine in = {}, out;
    in.fp = {a, b};
    rm_run(&t.f, in, &out, 0);
    EXPECT_EQ(read_result(out, 0), 1.0);
}

TEST(X87Ops, SetModeSwitchesOnlyOnChange)
{
    fp_run t;
    rm_setup(&t.f, 4, 8);
    t.cg->flags |= FPM_DOUBLE;
    u1* p = t.cg->code;
    EXPECT_EQ(gen_fp_set_mode(t.cg, FPM_DOUBLE), FPM_DOUBLE);
    EXPECT_EQ(t.cg->code, p);
    EXPECT_EQ(gen_fp_set_mode(t.cg, FPM_SINGLE), FPM_DOUBLE);
    EXPECT_EQ(t.cg->code - p, 6);   // fldcw [base+4]
    EXPECT_EQ(t.cg->flags & FPM_MASK, FPM_SINGLE);
    p = t.cg->code;
    gen_fp_set_mode(t.cg, FPM_SINGLE);
    EXPECT_EQ(t.cg->code, p);
    // A standard-precision request switches without recording...
    gen_fp_set_mode(t.cg, 0);
    EXPECT_EQ(t.cg->code - p, 6);
    EXPECT_EQ(t.cg->flags & FPM_MASK, FPM_SINGLE);
    // ...unless the method is marked as left in 24-bit precision.
    p = t.cg->code;
    gen_fp_set_mode(t.cg, FPM_LEFT_SINGLE);
    EXPECT_TRUE(t.cg->flags & FPM_LEFT_SINGLE);
    gen_fp_set_mode(t.cg, 0);
    EXPECT_EQ(t.cg->code, p);
}

TEST(X87Ops, NegateAndAbs)
{
    for (int is_float = 0; is_float < 2; is_float++)
        for (double a : DOUBLE_VALUES) {
            if (is_float)
                a = (float)a;
            for (int op : {FOPR_NEG, FOPR_ABS}) {
                fp_run t;
                begin(t, 1, 0, is_float ? FPM_SINGLE : FPM_DOUBLE);
                gen_op_fr(t.cg, op, 0);
                store_top(t, is_float);
                machine in = {}, out;
                in.fp = {a};
                rm_run(&t.f, in, &out, 0);
                double want = op == FOPR_NEG ? -a : std::fabs(a);
                if (is_float)
                    want = (float)want;
                EXPECT_TRUE(same(read_result(out, is_float), want)) << op << " " << a;
            }
        }
}

// Memory second operand: st(0) op= [mem] of both widths.
TEST(X87Ops, MemoryOperand)
{
    const int ops[] = {FOPR_ADD, FOPR_SUB, FOPR_MUL, FOPR_DIV, FOPR_SUBR, FOPR_DIVR};
    for (int size : {4, 8})
        for (int op : ops)
            for (double a : {3.0, -0.0, INF, NaN})
                for (double b : {0.5, -0.0, INF, 7.0}) {
                    fp_run t;
                    begin(t, 1, 0, FPM_DOUBLE);
                    gen_op_fr_mm(t.cg, op, 0, GR_ESP, 0, 0, slot_disp(t, size == 4 ? 4 : 5), size);
                    store_top(t, 0);
                    machine in = {}, out;
                    in.fp = {a};
                    if (size == 4) {
                        in.frame[4] = float_bits((float)b);
                    } else {
                        u8 bits;
                        std::memcpy(&bits, &b, 8);
                        in.frame[5] = (u4)bits;
                        in.frame[4] = (u4)(bits >> 32);
                    }
                    rm_run(&t.f, in, &out, 0);
                    EXPECT_TRUE(same(read_result(out, 0), java_op(op, a, b, 0))) << op << " " << a << ", " << b;
                }
}

// ---------------------------------------------------------------------------
// Compares
// ---------------------------------------------------------------------------
namespace {

int java_three_way(double a, double b, int rule)
{
    if (std::isnan(a) || std::isnan(b))
        return rule == FCMP_NAN_LESS ? -1 : 1;
    return a < b ? -1 : a > b ? 1 : 0;
}

bool holds(int cond, int r)
{
    switch (cond) {
    case COND_EQ: return r == 0;
    case COND_NE: return r != 0;
    case COND_LT: return r < 0;
    case COND_LE: return r <= 0;
    case COND_GT: return r > 0;
    case COND_GE: return r >= 0;
    }
    return false;
}

const double CMP_VALUES[] = {-1.0, 0.0, -0.0, 2.5, INF, -INF, NaN};
const int CONDS[] = {COND_EQ, COND_NE, COND_LT, COND_LE, COND_GT, COND_GE};

// Runs a branch compare and answers whether the branch would be taken
// (SETcc into CL of the returned condition).
bool run_branch(double a, double b, int rule, int cond, int loaded, int cmov)
{
    fp_run t;
    begin(t, 2, cmov, FPM_DOUBLE);
    int c;
    machine in = {}, out;
    if (loaded) {
        in.fp = {a, b};    // second on the top
        c = fcmp_fr_fr_cond_loaded(t.cg, rule, cond, 0, 1, 1);
    } else {
        in.fp = {b, a};    // first on the top
        c = fcmp_fr_fr_cond(t.cg, rule, cond, 1, 0, 2);
    }
    cg_close_window(t.cg);
    _gen_setcc_gr(t.cg, GR_ECX, c, SIZE_BYTE);
    rm_run(&t.f, in, &out, 0);
    EXPECT_EQ((out.fpu_status >> 11) & 7, 0) << "x87 stack not balanced";
    return (out.reg[2] & 0xFF) != 0;
}

}  // namespace

// Every condition under both NaN rules (second operand loaded), and with
// the first operand in st(0) (NaN as less), against less, equal, greater
// and unordered operands.
TEST(X87Cmp, BranchConditions)
{
    for (int cmov = 0; cmov < 2; cmov++)
        for (int cond : CONDS)
            for (double a : CMP_VALUES)
                for (double b : CMP_VALUES) {
                    for (int rule : {FCMP_NAN_LESS, FCMP_NAN_GREATER})
                        EXPECT_EQ(run_branch(a, b, rule, cond, 1, cmov), holds(cond, java_three_way(a, b, rule)))
                            << "loaded rule " << rule << " cond " << cond << " " << a << ", " << b << " cmov " << cmov;
                    EXPECT_EQ(run_branch(a, b, FCMP_NAN_LESS, cond, 0, cmov),
                              holds(cond, java_three_way(a, b, FCMP_NAN_LESS)))
                        << "top cond " << cond << " " << a << ", " << b << " cmov " << cmov;
                }
}

// The operand exchange keeps the answer: (b, a) with the mirrored
// condition and the other rule is the same question.
TEST(X87Cmp, SwapOperandsMirrors)
{
    for (int cond : CONDS)
        for (int rule : {FCMP_NAN_LESS, FCMP_NAN_GREATER})
            for (double a : CMP_VALUES)
                for (double b : CMP_VALUES) {
                    int first = 0, second = 1, r = rule, c = cond;
                    swap_fcmp_operands(&first, &second, &r, &c);
                    EXPECT_EQ(first, 1);
                    EXPECT_EQ(holds(c, java_three_way(b, a, r)), holds(cond, java_three_way(a, b, rule)));
                }
}

// fcmpl / fcmpg: -1, 0, +1, NaN by the rule, constants exchanged when the
// generator exchanged the operands.
TEST(X87Cmp, ThreeWay)
{
    for (int cmov = 0; cmov < 2; cmov++)
        for (int rule : {FCMP_NAN_LESS, FCMP_NAN_GREATER})
            for (int exchanged = 0; exchanged < 2; exchanged++)
                for (u4 reg : {GR_ECX, GR_EAX})
                    for (double a : CMP_VALUES)
                        for (double b : CMP_VALUES) {
                            fp_run t;
                            begin(t, 2, cmov, FPM_DOUBLE);
                            fcmp3_fr_loaded(t.cg, rule, reg, 0, exchanged, 1);
                            machine in = {}, out;
                            in.fp = {a, b};
                            in.reg[2] = in.reg[0] = 0x55555555;
                            rm_run(&t.f, in, &out, 0);
                            s4 got = (s4)out.reg[reg == GR_EAX ? 0 : 2];
                            int want = java_three_way(a, b, rule);
                            if (exchanged)
                                want = -want;
                            EXPECT_EQ(got, want) << "rule " << rule << " " << a << ", " << b << " exch "
                                                 << exchanged << " cmov " << cmov;
                            EXPECT_EQ((out.fpu_status >> 11) & 7, 0);
                        }
}

// ---------------------------------------------------------------------------
// Conversions
// ---------------------------------------------------------------------------
namespace {

s8 java_f2l(double x, int is_long)
{
    if (std::isnan(x))
        return 0;
    double lim = is_long ? 9223372036854775808.0 : 2147483648.0;
    if (x >= lim)
        return is_long ? INT64_MAX : INT32_MAX;
    if (x <= -lim)
        return is_long ? INT64_MIN : INT32_MIN;
    return (s8)std::trunc(x);
}

const double CONV_VALUES[] = {0.0, -0.0, 3.7, -3.7, 2.5, -2.5, 0.5, -0.5, 1e10, -1e10, 2147483647.0,
                              2147483647.6, -2147483648.0, -2147483648.4, -2147483648.6, -2147483647.6,
                              2147483646.6, 9.2233720368547758e18, -9.2233720368547758e18,
                              -9223372036854771712.0, 9223372036854774784.0, 4503599627370497.5, 1e300,
                              -1e300, INF, -INF, NaN};

constexpr u4 HW_OF_MGR[7] = {GR_EAX, GR_EDX, GR_ECX, GR_EBX, GR_EBP, GR_ESI, GR_EDI};
int mgr_of(u4 hw)
{
    for (int k = 0; k < 7; k++)
        if (HW_OF_MGR[k] == hw)
            return k;
    return -1;
}

}  // namespace

// (int) and (long) of float and double values: truncation toward zero on
// both processor paths and both precisions, NaN 0, saturation through the
// run-time routine; EAX and EDX survive unless they are results; the value
// stays on the x87 top.
TEST(X87Conv, FloatingToIntegerJavaSemantics)
{
    struct regs {
        u4 lo, hi;
    };
    const regs shapes[] = {{GR_ECX, GR_EBX}, {GR_EAX, GR_EDX}, {GR_EDX, GR_EAX}, {GR_EAX, GR_ECX},
                           {GR_ESI, GR_EDX}};
    for (int cmov = 0; cmov < 2; cmov++)
        for (u4 mode : {FPM_DOUBLE, FPM_SINGLE})
            for (int is_long = 0; is_long < 2; is_long++)
                for (const regs& rg : shapes)
                    for (int is_float = 0; is_float < 2; is_float++)
                        for (double x0 : CONV_VALUES) {
                            double x = is_float ? (double)(float)x0 : x0;
                            fp_run t;
                            begin(t, 1, cmov, mode);
                            gen_f2i_fr(t.cg, is_long, rg.lo, rg.hi, GR_ESP, slot_disp(t, 7));
                            machine in = {}, out;
                            in.fp = {x};
                            for (int k = 0; k < 7; k++)
                                in.reg[k] = 0xA0A0A000u + k;
                            rm_run(&t.f, in, &out, 1);
                            u4 lo = out.reg[mgr_of(rg.lo)];
                            s8 got = is_long ? (s8)((u8)out.reg[mgr_of(rg.hi)] << 32 | lo) : (s8)(s4)lo;
                            EXPECT_EQ(got, java_f2l(x, is_long))
                                << (is_long ? "long " : "int ") << x << " cmov " << cmov << " mode " << mode;
                            for (u4 keep : {GR_EAX, GR_EDX})
                                if (keep != rg.lo && (!is_long || keep != rg.hi)) {
                                    EXPECT_EQ(out.reg[mgr_of(keep)], 0xA0A0A000u + mgr_of(keep));
                                }
                            EXPECT_TRUE(same(out.fp[0], x));
                        }
}

// int and long to float and double load exactly (FILD) and round once at
// the store; float to double and back are the store widths.
TEST(X87Conv, IntegerToFloatingAndWidths)
{
    const s8 values[] = {0, 1, -1, 16777217, -16777217, INT32_MAX, INT32_MIN, (s8)1 << 60 | 1,
                         INT64_MAX, INT64_MIN, 9007199254740993LL};
    for (int is_float = 0; is_float < 2; is_float++)
        for (u4 mode : {FPM_DOUBLE, FPM_SINGLE})
            for (s8 v : values) {
                fp_run t;
                begin(t, 0, 0, mode);
                _gen_move_fri_mm(t.cg, GR_ESP, 0, 0, slot_disp(t, 7), 8);
                t.cg->regs.fp_depth = 1;
                store_top(t, is_float);
                machine in = {}, out;
                in.frame[7] = (u4)(u8)v;
                in.frame[6] = (u4)((u8)v >> 32);
                rm_run(&t.f, in, &out, 0);
                volatile float vf = (float)v;    // stored: no excess precision
                volatile double vd = (double)v;
                double want = is_float ? (double)vf : (double)vd;
                EXPECT_EQ(read_result(out, is_float), want) << v;
            }
    // d2f rounds once and overflows to infinity; f2d is exact.
    for (double d : {0.1, 1e300, -1e-300, 3.4028235677973366e38, NaN}) {
        fp_run t;
        begin(t, 1, 0, FPM_DOUBLE);
        store_top(t, 1);
        machine in = {}, out;
        in.fp = {d};
        rm_run(&t.f, in, &out, 0);
        EXPECT_TRUE(same(read_result(out, 1), (double)(float)d)) << d;
    }
}

// `f == f` compares st(0) with itself: a NaN fails EQ and passes NE.
TEST(X87Cmp, SameOperandOnBothSides)
{
    for (int cmov = 0; cmov < 2; cmov++)
        for (int cond : CONDS)
            for (double a : CMP_VALUES) {
                fp_run t;
                begin(t, 1, cmov, FPM_DOUBLE);
                int c = fcmp_fr_fr_cond(t.cg, FCMP_NAN_LESS, cond, 0, 0, 1);
                cg_close_window(t.cg);
                _gen_setcc_gr(t.cg, GR_ECX, c, SIZE_BYTE);
                machine in = {}, out;
                in.fp = {a};
                rm_run(&t.f, in, &out, 0);
                EXPECT_EQ((out.reg[2] & 0xFF) != 0, holds(cond, java_three_way(a, a, FCMP_NAN_LESS)))
                    << cond << " " << a << " cmov " << cmov;
                EXPECT_EQ((out.fpu_status >> 11) & 7, 0);
            }
}

// The measuring pass counts exactly the bytes the writing pass writes, so
// that block addresses and jumps agree between the passes.
TEST(X87Ops, MeasuringPassCountsTheWrittenBytes)
{
    auto emit_all = [](codegen_context* cg) {
        gen_op_fr_fr(cg, FOPR_MAX, 0, 1, 1);
        gen_op_fr_fr(cg, FOPR_MIN, 0, 1, 1);
        gen_fp_rem(cg, FOPR_REM, 0, 1);
        gen_fp_rem(cg, FOPR_IEREM, 0, 1);
        fcmp3_fr_loaded(cg, FCMP_NAN_LESS, GR_ECX, 0, 0, 1);
        fcmp3_fr_loaded(cg, FCMP_NAN_GREATER, GR_EAX, 0, 1, 0);
        fcmp_fr_fr_cond_loaded(cg, FCMP_NAN_LESS, COND_LT, 0, 1, 1);
        fcmp_fr_fr_cond(cg, FCMP_NAN_LESS, COND_EQ, 1, 0, 0);
        gen_f2i_fr(cg, 0, GR_ECX, 0, GR_ESP, 8);
        gen_f2i_fr(cg, 1, GR_EAX, GR_EDX, GR_ESP, 8);
        gen_f2i_fr(cg, 1, GR_ESI, GR_EDI, GR_ESP, 8);
        gen_fp_set_mode(cg, FPM_SINGLE);
        gen_f2i_fr(cg, 1, GR_ECX, GR_EBX, GR_ESP, 8);
    };
    for (int cmov = 0; cmov < 2; cmov++) {
        rm_fixture w, m;
        rm_setup(&w, 4, 8, CG_PASS_WRITE);
        rm_setup(&m, 4, 8, CG_PASS_MEASURE);
        orva_processor_cmov_support = cmov;
        for (rm_fixture* f : {&w, &m}) {
            cg_close_window(&f->cg);
            f->cg.regs.fp_depth = 2;
            f->cg.flags |= FPM_DOUBLE;
        }
        u1* start = w.cg.code;
        u4 before = m.cg.code_size;
        emit_all(&w.cg);
        emit_all(&m.cg);
        EXPECT_EQ(m.cg.code_size - before, (u4)(w.cg.code - start)) << "cmov " << cmov;
    }
}

// ---------------------------------------------------------------------------
// Recovery of sin, cos, tan, exp and pow: arguments the x87 instruction or
// the run-time routine cannot take go to the math library call after the
// body, and come back with the result where the operand was and the entries
// below it (7.0 here) and the integer registers as they were.
// ---------------------------------------------------------------------------
namespace {

struct fop_case {
    int op;
    double x, y;
};

double library_result(const fop_case& c)
{
    host_double_precision();   // the library computes in double precision, as in the VM
    switch (c.op) {
    case FOPR_SIN: return jsin(c.x);
    case FOPR_COS: return jcos(c.x);
    case FOPR_TAN: return jtan(c.x);
    case FOPR_EXP: return jexp(c.x);
    default: return jpow(c.x, c.y);
    }
}

}  // namespace

TEST(X87Ops, LibraryRecoveryAfterTheBody)
{
    const fop_case cases[] = {
        {FOPR_SIN, 0.5, 0},   {FOPR_SIN, 1e300, 0}, {FOPR_SIN, 1e19, 0}, {FOPR_SIN, -1e19, 0}, {FOPR_COS, 1e19, 0}, {FOPR_COS, 1e300, 0},
        {FOPR_TAN, 1e19, 0},  {FOPR_COS, -0.0, 0},  {FOPR_SIN, -0.0, 0},  {FOPR_SIN, INF, 0},
        {FOPR_SIN, NaN, 0},   {FOPR_TAN, 0.25, 0}, {FOPR_EXP, INF, 0},   {FOPR_EXP, -INF, 0},  {FOPR_EXP, -700, 0},
        {FOPR_EXP, NaN, 0},   {FOPR_EXP, 0.0, 0},  {FOPR_EXP, 710, 0},   {FOPR_POW, 2, 10},    {FOPR_POW, -8, 1.0 / 3},
        {FOPR_POW, 0, -1},    {FOPR_POW, NaN, 0},  {FOPR_POW, -2, 3},    {FOPR_POW, INF, -1},  {FOPR_POW, 1, NaN},
    };
    for (const fop_case& c : cases) {
        fp_run t;
        int two = c.op == FOPR_POW;
        begin(t, two ? 3 : 2, 1, FPM_DOUBLE);
        init_invalid_fop_exception(&t.f.m);
        if (two)
            gen_op_fr_fr(t.cg, c.op, 1, 2, 1);
        else
            gen_op_fr(t.cg, c.op, 1);
        t.cg->regs.fp_depth = 2;
        store_top(t, 0);
        // The entry below: 7.0 into frame words 3:2.
        _gen_move_mm_fr8(t.cg, GR_ESP, 0, 0, slot_disp(t, 3), 1);
        t.cg->regs.fp_depth = 1;
        u1* over = t.cg->code;
        _gen_jmpcc(t.cg, COND_ALWAYS, UNRESOLVED_TARGET, 2);
        gen_invalid_fop_recovery(t.cg);
        cg_write32(over + 1, (u4)(t.cg->code - (over + 5)));
        machine in = {}, out;
        in.fp = two ? std::vector<double>{7.0, c.x, c.y} : std::vector<double>{7.0, c.x};
        in.reg[1] = 0x22222222;
        in.reg[2] = 0x33333333;
        rm_run(&t.f, in, &out, 0);
        double want = library_result(c);
        double got = read_result(out, 0);
        if (std::isnan(want) || std::isinf(want) || want == 0)
            EXPECT_TRUE(same(got, want)) << c.op << " (" << c.x << ", " << c.y << ") gave " << got;
        else
            EXPECT_NEAR(got, want, std::fabs(want) * 1e-15) << c.op << " (" << c.x << ", " << c.y << ")";
        u8 below = (u8)out.frame[3] | (u8)out.frame[2] << 32;
        EXPECT_EQ(below, 0x401C000000000000ull) << "the entry below the operand";
        EXPECT_EQ(out.reg[1], 0x22222222u);
        EXPECT_EQ(out.reg[2], 0x33333333u);
        EXPECT_EQ((out.fpu_status >> 11) & 7, 0) << "x87 stack not balanced";
    }
}
