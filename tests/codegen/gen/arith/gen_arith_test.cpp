// Integer and long generators, executed: each case builds one quadruple
// over locals (or constants), runs its generator through the register
// manager, writes the registers back to the frame, runs the code and
// compares the destination local with the Java result.
#include <gtest/gtest.h>

#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <cstring>

#include "regman/reg_test_util.h"
#include "codegen/gen/gen_arith.h"

// Processor facts read by code linked into this binary; weak so that a
// definition in the shared fixture takes precedence.
__attribute__((weak)) s4 orva_processor_cmov_support = 0;
__attribute__((weak)) s4 orva_processor_num = 2;

namespace {

using s8 = int64_t;
constexpr int NLOCALS = 8;

// Java int semantics.
s4 java_int(int op, s4 a, s4 b)
{
    u4 ua = (u4)a, ub = (u4)b;
    switch (op) {
    case 1: return (s4)(ua + ub);
    case 2: return (s4)(ua - ub);
    case 3: return (s4)(ua * ub);
    case 4: return a & b;
    case 5: return a | b;
    case 6: return a ^ b;
    case 7: return a > b ? a : b;
    case 8: return a < b ? a : b;
    case 12: return b == -1 ? (s4)(0u - ua) : a / b;
    case 13: return b == -1 ? 0 : a % b;
    case 14: return (s4)(ua << (b & 31));
    case 15: return a >> (b & 31);
    case 16: return (s4)(ua >> (b & 31));
    }
    return 0;
}

s8 java_long(int op, s8 a, s8 b)
{
    u8 ua = (u8)a, ub = (u8)b;
    switch (op) {
    case 1: return (s8)(ua + ub);
    case 2: return (s8)(ua - ub);
    case 3: return (s8)(ua * ub);
    case 4: return a & b;
    case 5: return a | b;
    case 6: return a ^ b;
    case 14: return (s8)(ua << (b & 63));
    case 15: return a >> (b & 63);
    case 16: return (s8)(ua >> (b & 63));
    }
    return 0;
}

struct run {
    rm_fixture f;
    quadruple q;
    quadruple* qp;
    cg_operands o;
    machine in;

    void setup(int op)
    {
        rm_setup(&f, 4, NLOCALS);
        std::memset(&q, 0, sizeof q);
        q.op = (u2)op;
        qp = &q;
        std::memset(&o, 0, sizeof o);
        in = {};
        for (int r = 0; r < 7; r++)
            in.reg[r] = 0xDEAD0000u + (u4)r;
    }
    void set_local(int l, u4 v) { in.frame[frame_word_of_local(l)] = v; }
    machine go()
    {
        _flush_all_int_regs(&f.cg, 0);
        machine out;
        rm_run(&f, in, &out, 0);
        return out;
    }
};

const s4 INT_VALUES[] = {0, 1, -1, 2, 7, -7, 31, 32, 33, 100, -100, 0x7FFFFFFF, (s4)0x80000000, 0x12345678, -3};

// r[0] local 0, r[2] local 1, r[4] local 2 (or a constant).
s4 run_int_op(int op, s4 a, s4 b, bool b_const, bool a_const = false)
{
    static run t;
    t.setup(op);
    t.o.r[0] = local_op(0);
    t.o.r[2] = a_const ? const_op(a) : local_op(1);
    t.o.r[4] = b_const ? const_op(b) : local_op(2);
    t.set_local(0, 0x5A5A5A5A);
    t.set_local(1, (u4)a);
    t.set_local(2, (u4)b);
    gen_op2_III(&t.f.cg, &t.qp, &t.o);
    machine out = t.go();
    EXPECT_EQ(out.frame[frame_word_of_local(1)], (u4)a) << "source a changed, op " << op;
    if (!b_const)
        EXPECT_EQ(out.frame[frame_word_of_local(2)], (u4)b) << "source b changed, op " << op;
    return (s4)out.frame[frame_word_of_local(0)];
}

}  // namespace

TEST(GenInt, BinaryOperatorsTruthTable)
{
    const int ops[] = {1, 2, 3, 4, 5, 6, 7, 8, 14, 15, 16};
    for (int op : ops)
        for (s4 a : INT_VALUES)
            for (s4 b : INT_VALUES) {
                EXPECT_EQ(run_int_op(op, a, b, false), java_int(op, a, b)) << "op " << op << " " << a << ", " << b;
                EXPECT_EQ(run_int_op(op, a, b, true), java_int(op, a, b))
                    << "op " << op << " " << a << ", const " << b;
            }
}

TEST(GenInt, ConstantFirstSourceOfCommutativeOperators)
{
    for (int op : {1, 3, 4, 5, 6, 7, 8})
        for (s4 a : INT_VALUES)
            EXPECT_EQ(run_int_op(op, a, 77, false, true), java_int(op, a, 77)) << "op " << op;
}

TEST(GenInt, ConstantFirstSourceOfOtherOperators)
{
    for (int op : {2, 12, 13, 14, 15, 16})
        for (s4 b : INT_VALUES) {
            if (b == 0)
                continue;
            EXPECT_EQ(run_int_op(op, -1000, b, false, true), java_int(op, -1000, b)) << "op " << op << " by " << b;
        }
}

// The destination is one of the sources (x = x op y, y = x op y): the other
// source is read before the result replaces the destination's value.
TEST(GenInt, DestinationIsASource)
{
    static run t;
    for (int op : {2, 3, 12, 13, 14, 16})
        for (int which : {1, 2}) {
            const s4 a = -77777, b = 5;
            t.setup(op);
            t.o.r[0] = local_op(which);
            t.o.r[2] = local_op(1);
            t.o.r[4] = local_op(2);
            t.set_local(1, (u4)a);
            t.set_local(2, (u4)b);
            gen_op2_III(&t.f.cg, &t.qp, &t.o);
            machine out = t.go();
            EXPECT_EQ((s4)out.frame[which], java_int(op, a, b)) << "op " << op << " into local " << which;
            EXPECT_EQ((s4)out.frame[3 - which], which == 1 ? b : a);
        }
}

TEST(GenInt, MultiplyByConstantsStrengthReduced)
{
    for (s4 c : {0, 1, -1, 2, 3, 5, 9, 10, -10, 7, 1024, (s4)0x80000000, 0x40000000})
        for (s4 a : INT_VALUES)
            EXPECT_EQ(run_int_op(3, a, c, true), java_int(3, a, c)) << a << " * " << c;
}

TEST(GenInt, DivisionAndRemainderIncludingMinByMinusOne)
{
    for (int op : {12, 13})
        for (s4 a : INT_VALUES)
            for (s4 b : INT_VALUES) {
                if (b == 0)
                    continue;
                EXPECT_EQ(run_int_op(op, a, b, false), java_int(op, a, b)) << "op " << op << " " << a << ", " << b;
                EXPECT_EQ(run_int_op(op, a, b, true), java_int(op, a, b))
                    << "op " << op << " " << a << ", const " << b;
            }
    // Powers of two with negative dividends: -9 % 8 is -1, -9 / 8 is -1.
    EXPECT_EQ(run_int_op(13, -9, 8, true), -1);
    EXPECT_EQ(run_int_op(12, -9, 8, true), -1);
    for (s4 c : {2, 4, 8, 1 << 20, 1 << 30})
        for (s4 a : INT_VALUES) {
            EXPECT_EQ(run_int_op(12, a, c, true), java_int(12, a, c)) << a << " / " << c;
            EXPECT_EQ(run_int_op(13, a, c, true), java_int(13, a, c)) << a << " % " << c;
        }
}

namespace {
sigjmp_buf fpe_jump;
void on_fpe(int) { siglongjmp(fpe_jump, 1); }
}  // namespace

// A zero divisor in a register reaches IDIV, whose divide fault the run-time
// support turns into ArithmeticException.
TEST(GenInt, ZeroDivisorInRegisterFaults)
{
    struct sigaction sa = {}, old = {};
    sa.sa_handler = on_fpe;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGFPE, &sa, &old);
    for (int op : {12, 13}) {
        volatile int faulted = 0;
        if (sigsetjmp(fpe_jump, 1) == 0)
            run_int_op(op, 5, 0, false);
        else
            faulted = 1;
        EXPECT_TRUE(faulted) << "op " << op;
    }
    sigaction(SIGFPE, &old, nullptr);
}

TEST(GenInt, UnaryOperators)
{
    struct {
        int op;
        s4 (*f)(s4);
    } cases[] = {
        {19, [](s4 a) { return (s4)(0u - (u4)a); }},
        {20, [](s4 a) { return (s4)(int8_t)a; }},
        {21, [](s4 a) { return (s4)(uint16_t)a; }},
        {22, [](s4 a) { return (s4)(int16_t)a; }},
        {23, [](s4 a) { return a < 0 ? (s4)(0u - (u4)a) : a; }},
        {24, [](s4 a) { return a == 0 ? 1 : 0; }},
        {40, [](s4 a) { return a != 0 ? 1 : 0; }},
        {42, [](s4 a) { return a ^ 1; }},
    };
    const s4 values[] = {0, 1, -1, 5, 127, 128, 255, 256, 0x8000, 0xFFFF, 0x10000, 0x7FFFFFFF, (s4)0x80000000, -129};
    static run t;
    for (auto& c : cases)
        for (s4 a : values) {
            t.setup(c.op);
            t.o.r[0] = local_op(0);
            t.o.r[2] = local_op(1);
            t.set_local(1, (u4)a);
            gen_op1_II(&t.f.cg, &t.qp, &t.o);
            machine out = t.go();
            EXPECT_EQ((s4)out.frame[0], c.f(a)) << "op " << c.op << " of " << a;
            EXPECT_EQ((s4)out.frame[1], a);
        }
}

// x = op x on a local that lives in its frame slot: i2z and boolnot write
// their normalised result back to the slot too (i2z of 5 there is 1, not 5).
TEST(GenInt, UnaryOperatorOnALocalInItsFrameSlot)
{
    struct {
        int op;
        s4 a, want;
    } cases[] = {
        {40, 5, 1}, {40, 0, 0}, {40, -1, 1}, {40, (s4)0x80000000, 1}, {40, 0x100, 1},
        {42, 1, 0}, {42, 0, 1}, {24, 7, 0}, {24, 0, 1}, {19, 5, -5},
    };
    static run t;
    for (auto& c : cases) {
        t.setup(c.op);
        t.o.r[0] = local_op(1);
        t.o.r[2] = local_op(1);
        t.set_local(1, (u4)c.a);
        gen_op1_II(&t.f.cg, &t.qp, &t.o);
        machine out = t.go();
        EXPECT_EQ((s4)out.frame[frame_word_of_local(1)], c.want) << "op " << c.op << " of " << c.a;
    }
}

TEST(GenInt, MoveOfLocalAndConstant)
{
    static run t;
    t.setup(0);
    t.o.r[0] = local_op(0);
    t.o.r[2] = local_op(1);
    t.set_local(1, 0xCAFE);
    gen_move_II(&t.f.cg, &t.qp, &t.o);
    t.o.r[0] = local_op(2);
    t.o.r[2] = const_op(-5);
    gen_move_II(&t.f.cg, &t.qp, &t.o);
    machine out = t.go();
    EXPECT_EQ(out.frame[0], 0xCAFEu);
    EXPECT_EQ(out.frame[1], 0xCAFEu);
    EXPECT_EQ((s4)out.frame[2], -5);
}

// Compare followed by setcc for every condition: the flags the generator
// leaves must be those of a signed (or, for A..BE, unsigned) compare.
TEST(GenCmp, EveryConditionAgainstRegisterAndConstant)
{
    const int conds[] = {COND_EQ, COND_NE, COND_LT, COND_LE, COND_GT, COND_GE, COND_A, COND_AE, COND_B, COND_BE};
    auto holds = [](int c, s4 a, s4 b) {
        u4 ua = (u4)a, ub = (u4)b;
        switch (c) {
        case COND_EQ: return a == b;
        case COND_NE: return a != b;
        case COND_LT: return a < b;
        case COND_LE: return a <= b;
        case COND_GT: return a > b;
        case COND_GE: return a >= b;
        case COND_A: return ua > ub;
        case COND_AE: return ua >= ub;
        case COND_B: return ua < ub;
        default: return ua <= ub;
        }
    };
    static run t;
    const s4 values[] = {0, 1, -1, 0x7FFFFFFF, (s4)0x80000000, 5};
    for (int cst = 0; cst < 2; cst++)
        for (s4 a : values)
            for (s4 b : values) {
                t.setup(0);
                t.o.r[2] = local_op(1);
                t.o.r[4] = cst ? const_op(b) : local_op(2);
                t.set_local(1, (u4)a);
                t.set_local(2, (u4)b);
                // One compare per condition, each result byte stored to a local.
                for (int k = 0; k < 10; k++) {
                    gen_cmp_II(&t.f.cg, &t.qp, &t.o);
                    int r = _alloc_int_reg(&t.f.cg, 0x0F, 0);
                    gen_setcc_gr(&t.f.cg, (u4)reg_mgr_to_id[r], conds[k], SIZE_BYTE);
                    gen_move_local_ireg(&t.f.cg, 3 + (k % 5), r, 1, 1);
                    _free_int_reg(&t.f.cg, r, 0, 0, 0);
                    if (k % 5 == 4) {
                        for (int l = 3; l < 8; l++)
                            t.in.frame[l] = 0;
                        machine out = t.go();
                        for (int j = 0; j < 5; j++) {
                            int c = conds[k - 4 + j];
                            EXPECT_EQ(out.frame[3 + j] & 0xFF, holds(c, a, b) ? 1u : 0u)
                                << "cond " << c << " " << a << ", " << b << (cst ? " const" : "");
                        }
                        t.setup(0);
                        t.o.r[2] = local_op(1);
                        t.o.r[4] = cst ? const_op(b) : local_op(2);
                        t.set_local(1, (u4)a);
                        t.set_local(2, (u4)b);
                    }
                }
            }
}

// ---------------------------------------------------------------------------
// Longs: local pair (hi = n, lo = n + 1) as the operand setup makes them.
// ---------------------------------------------------------------------------
namespace {

using s8 = int64_t;
const s8 LONG_VALUES[] = {0, 1, -1, 2, 0x7FFFFFFF, 0x80000000LL, 0xFFFFFFFFLL, 0x100000000LL, -0x100000000LL,
                          INT64_MAX, INT64_MIN, 0x123456789ABCDEFLL, -12345678901LL};

void set_long(run* t, int hi_local, s8 v)
{
    t->set_local(hi_local, (u4)((u8)v >> 32));
    t->set_local(hi_local + 1, (u4)(u8)v);
}
s8 get_long(const machine& m, int hi_local)
{
    return (s8)(((u8)m.frame[hi_local] << 32) | m.frame[hi_local + 1]);
}
void long_ops(reg_operand* lo_hi, int hi_local)
{
    lo_hi[0] = local_op(hi_local + 1);
    lo_hi[1] = local_op(hi_local);
}
void long_const(reg_operand* lo_hi, s8 v)
{
    lo_hi[0] = const_op((s4)(u4)(u8)v);
    lo_hi[1] = const_op((s4)(u4)((u8)v >> 32));
}

s8 run_long_op(int op, s8 a, s8 b, bool b_const)
{
    static run t;
    t.setup(op);
    long_ops(&t.o.r[0], 0);
    long_ops(&t.o.r[2], 2);
    if (b_const)
        long_const(&t.o.r[4], b);
    else
        long_ops(&t.o.r[4], 4);
    set_long(&t, 2, a);
    set_long(&t, 4, b);
    gen_op2_LLL(&t.f.cg, &t.qp, &t.o);
    machine out = t.go();
    EXPECT_EQ(get_long(out, 2), a);
    return get_long(out, 0);
}

}  // namespace

TEST(GenLong, BinaryOperatorsTruthTable)
{
    for (int op : {1, 2, 3, 4, 5, 6})
        for (s8 a : LONG_VALUES)
            for (s8 b : LONG_VALUES) {
                EXPECT_EQ(run_long_op(op, a, b, false), java_long(op, a, b)) << "op " << op << " " << a << ", " << b;
                EXPECT_EQ(run_long_op(op, a, b, true), java_long(op, a, b))
                    << "op " << op << " " << a << ", const " << b;
            }
}

TEST(GenLong, ShiftsByConstantAndVariableCounts)
{
    const s4 counts[] = {0, 1, 31, 32, 33, 63, 64, 65, -1, 127};
    static run t;
    for (int op : {14, 15, 16})
        for (s8 a : LONG_VALUES)
            for (s4 c : counts)
                for (int cst = 0; cst < 2; cst++) {
                    t.setup(op);
                    long_ops(&t.o.r[0], 0);
                    long_ops(&t.o.r[2], 2);
                    t.o.x[4] = cst ? const_op(c) : local_op(4);
                    set_long(&t, 2, a);
                    t.set_local(4, (u4)c);
                    gen_op15_LLI(&t.f.cg, &t.qp, &t.o);
                    machine out = t.go();
                    EXPECT_EQ(get_long(out, 0), java_long(op, a, c))
                        << "op " << op << " " << a << " by " << c << (cst ? " const" : "");
                }
}

TEST(GenLong, NegAbsAndMoveWithIntSource)
{
    static run t;
    for (s8 a : LONG_VALUES)
        for (int op : {19, 23}) {
            t.setup(op);
            long_ops(&t.o.r[0], 0);
            long_ops(&t.o.r[2], 2);
            set_long(&t, 2, a);
            gen_op1_LL(&t.f.cg, &t.qp, &t.o);
            machine out = t.go();
            s8 want = (op == 19 || a < 0) ? (s8)(0 - (u8)a) : a;
            EXPECT_EQ(get_long(out, 0), want) << "op " << op << " of " << a;
        }
    // i2l through the long move: an int source without a high word.
    for (s4 v : INT_VALUES) {
        t.setup(0);
        long_ops(&t.o.r[0], 0);
        t.o.r[2] = local_op(4);
        t.o.r[3] = CG_EMPTY_OPERAND;
        t.o.r[3].kind = 0;
        t.set_local(4, (u4)v);
        gen_move_LL(&t.f.cg, &t.qp, &t.o);
        machine out = t.go();
        EXPECT_EQ(get_long(out, 0), (s8)v);
    }
}

TEST(GenLong, ThreeWayCompare)
{
    static run t;
    for (int cst = 0; cst < 2; cst++)
        for (s8 a : LONG_VALUES)
            for (s8 b : LONG_VALUES) {
                t.setup(0);
                // As the dispatcher sets it up: long sources in r, the int
                // result in x.
                t.o.x[0] = local_op(0);
                long_ops(&t.o.r[2], 2);
                if (cst)
                    long_const(&t.o.r[4], b);
                else
                    long_ops(&t.o.r[4], 4);
                set_long(&t, 2, a);
                set_long(&t, 4, b);
                gen_cmp_ILL(&t.f.cg, &t.qp, &t.o);
                machine out = t.go();
                EXPECT_EQ((s4)out.frame[0], a < b ? -1 : a == b ? 0 : 1) << a << " lcmp " << b;
            }
}

// ---------------------------------------------------------------------------
// Returns: the result reaches eax (edx:eax: -1 in edx is written `or edx,-1`)
// before the frame is released and the sequence ends in ret.
// ---------------------------------------------------------------------------
TEST(GenReturn, EmittedSequences)
{
    static run t;
    t.setup(0);
    t.o.r[2] = const_op(7);
    gen_method_ireturn(&t.f.cg, &t.qp, &t.o);
    std::string hex = emitted_hex(&t.f);
    EXPECT_EQ(hex.substr(0, 14), "B8 07 00 00 00");
    EXPECT_EQ(hex.substr(hex.size() - 2), "C3");

    t.setup(0);
    long_const(&t.o.r[2], -2);
    gen_method_lreturn(&t.f.cg, &t.qp, &t.o);
    hex = emitted_hex(&t.f);
    EXPECT_NE(hex.find("B8 FE FF FF FF"), std::string::npos) << hex;
    EXPECT_NE(hex.find("83 CA FF"), std::string::npos) << hex;
    EXPECT_EQ(hex.substr(hex.size() - 2), "C3");

    t.setup(0);
    gen_method_return(&t.f.cg, &t.qp, &t.o);
    EXPECT_EQ(emitted_hex(&t.f).substr(emitted_hex(&t.f).size() - 2), "C3");
}

// ---------------------------------------------------------------------------
// Long division and remainder: the helpers of the run-time routine table
// (entries 27 and 28) are stood in for by C functions with the same stack
// convention (a low, a high, b low, b high from [esp+4] up; edx:eax).
// ---------------------------------------------------------------------------
namespace {
int helper_calls;
extern "C" __attribute__((cdecl)) int64_t fake_ll_div(int64_t a, int64_t b)
{
    helper_calls++;
    return b == -1 ? (int64_t)(0 - (uint64_t)a) : a / b;
}
extern "C" __attribute__((cdecl)) int64_t fake_ll_rem(int64_t a, int64_t b)
{
    helper_calls++;
    return b == -1 ? 0 : a % b;
}
// _li_div / _li_rem: (a low, a high, 32-bit b) from [esp+4]; the real
// helpers keep ecx, which the C stand-ins may not: a thunk saves it.
int li_calls;
extern "C" __attribute__((cdecl, used)) int64_t fake_li_div_c(int64_t a, int32_t b)
{
    li_calls++;
    return b == -1 ? (int64_t)(0 - (uint64_t)a) : a / b;
}
extern "C" __attribute__((cdecl, used)) int64_t fake_li_rem_c(int64_t a, int32_t b)
{
    li_calls++;
    return b == -1 ? 0 : a % b;
}
#define LI_THUNK(name, target)                                                                       \
    asm(".text\n.globl " #name "\n" #name ":\n"                                                   \
        "pushl %ecx\n pushl 16(%esp)\n pushl 16(%esp)\n pushl 16(%esp)\n call " #target "\n" \
        "addl $12, %esp\n popl %ecx\n ret\n");
LI_THUNK(fake_li_div, fake_li_div_c)
LI_THUNK(fake_li_rem, fake_li_rem_c)
extern "C" void fake_li_div(void);
extern "C" void fake_li_rem(void);
void* fake_decode[160];
}  // namespace

extern "C" {
void __orva_system_arraycopy_1byte_r(void);
void __orva_system_arraycopy_2byte_r(void);
void __orva_system_arraycopy_4byte_r(void);
void __orva_system_arraycopy_8byte_r(void);
}

extern "C" void** _GET_DECODE_TABLE_BASE(void)
{
    // The backward array movers (gen_arraycopy_test.cpp).
    fake_decode[145] = reinterpret_cast<void*>(__orva_system_arraycopy_1byte_r);
    fake_decode[146] = reinterpret_cast<void*>(__orva_system_arraycopy_2byte_r);
    fake_decode[147] = reinterpret_cast<void*>(__orva_system_arraycopy_4byte_r);
    fake_decode[148] = reinterpret_cast<void*>(__orva_system_arraycopy_8byte_r);
    fake_decode[27] = reinterpret_cast<void*>(fake_ll_div);
    fake_decode[28] = reinterpret_cast<void*>(fake_ll_rem);
    fake_decode[29] = reinterpret_cast<void*>(fake_li_div);
    fake_decode[30] = reinterpret_cast<void*>(fake_li_rem);
    return fake_decode;
}

TEST(GenLong, DivisionAndRemainderThroughHelpers)
{
    for (int op : {12, 13})
        for (s8 a : LONG_VALUES)
            for (s8 b : LONG_VALUES) {
                if (b == 0)
                    continue;
                s8 q = b == -1 ? (s8)(0 - (uint64_t)a) : a / b;
                s8 r = b == -1 ? 0 : a % b;
                for (int cst = 0; cst < 2; cst++) {
                    helper_calls = 0;
                    EXPECT_EQ(run_long_op(op, a, b, cst != 0), op == 12 ? q : r)
                        << "op " << op << " " << a << ", " << b << (cst ? " const" : "");
                    // A constant in the int range takes the 32-bit divisor sequence.
                    bool int_const = cst && b == (s8)(s4)b;
                    EXPECT_EQ(helper_calls, int_const ? 0 : 1);
                }
            }
}

// A divisor without a high word (an int widened to long): IDIV when the
// quotient fits 32 bits, `_li_div` / `_li_rem` otherwise.  The guard halves
// |divisor| with a logical shift: for 0x80000000 an arithmetic shift gave
// 0xC0000000, let 0x7FFFFFFF_FFFFFFFF through to IDIV and faulted.
TEST(GenLong, DivisionByAnIntDivisor)
{
    static run t;
    const s4 divisors[] = {1, -1, 2, -2, 3, 7, -7, 0x7FFFFFFF, (s4)0x80000000, (s4)0x80000001, 0x40000000, 100000};
    for (int op : {12, 13})
        for (s8 a : LONG_VALUES)
            for (s4 b : divisors) {
                t.setup(op);
                long_ops(&t.o.r[0], 0);
                long_ops(&t.o.r[2], 2);
                t.o.r[4] = local_op(4);
                t.o.r[5] = CG_EMPTY_OPERAND;
                t.o.r[5].kind = 0;
                set_long(&t, 2, a);
                t.set_local(4, (u4)b);
                li_calls = helper_calls = 0;
                gen_op2_LLL(&t.f.cg, &t.qp, &t.o);
                machine out = t.go();
                s8 q = b == -1 ? (s8)(0 - (u8)a) : a / b;
                s8 r = b == -1 ? 0 : a % b;
                EXPECT_EQ(get_long(out, 0), op == 12 ? q : r) << "op " << op << " " << a << ", " << b;
                EXPECT_EQ(helper_calls, 0);
                // Non-negative dividends below |b| x 2^31 never call.
                u8 half = (b < 0 ? 0u - (u4)b : (u4)b) >> 1;
                if (a >= 0 && (u8)a >> 32 < half)
                    EXPECT_EQ(li_calls, 0) << a << ", " << b;
            }
}

TEST(GenLong, MaxAndMin)
{
    auto want = [](int op, s8 a, s8 b) { return op == 7 ? (a > b ? a : b) : (a < b ? a : b); };
    for (int op : {7, 8})
        for (s8 a : LONG_VALUES)
            for (s8 b : LONG_VALUES)
                for (int cst = 0; cst < 2; cst++)
                    EXPECT_EQ(run_long_op(op, a, b, cst != 0), want(op, a, b))
                        << "op " << op << " " << a << ", " << b << (cst ? " const" : "");
}

// A shift whose count is a long (the shift quadruple routed to gen_op2_LLL):
// only the low six bits of the count's low word matter.
TEST(GenLong, ShiftByALongCount)
{
    const s8 counts[] = {0, 1, 31, 32, 63, 64, 65, -1, 0x100000021LL};
    for (int op : {14, 15, 16})
        for (s8 a : LONG_VALUES)
            for (s8 c : counts)
                for (int cst = 0; cst < 2; cst++)
                    EXPECT_EQ(run_long_op(op, a, c, cst != 0), java_long(op, a, c))
                        << "op " << op << " " << a << " by " << c << (cst ? " const" : "");
}

// The flags of a long compare-and-branch: one jump condition per Java
// condition, checked with setcc over a table of values (words differing
// only in the low word compare unsigned there).
TEST(GenLong, CompareForBranchEveryCondition)
{
    const int conds[] = {COND_EQ, COND_NE, COND_LT, COND_LE, COND_GT, COND_GE};
    auto holds = [](int c, s8 a, s8 b) {
        switch (c) {
        case COND_EQ: return a == b;
        case COND_NE: return a != b;
        case COND_LT: return a < b;
        case COND_LE: return a <= b;
        case COND_GT: return a > b;
        default: return a >= b;
        }
    };
    static run t;
    for (int cst = 0; cst < 2; cst++)
        for (s8 a : LONG_VALUES)
            for (s8 b : LONG_VALUES) {
                t.setup(0);
                reg_operand ra[2], rb[2];
                long_ops(ra, 2);
                if (cst)
                    long_const(rb, b);
                else
                    long_ops(rb, 4);
                set_long(&t, 2, a);
                set_long(&t, 4, b);
                for (int k = 0; k < 6; k++) {
                    int jc = gen_lcmp_flags(&t.f.cg, conds[k], ra, rb, &t.qp);
                    int r = _alloc_int_reg(&t.f.cg, 0x0F, 0);
                    gen_setcc_gr(&t.f.cg, (u4)reg_mgr_to_id[r], jc, SIZE_BYTE);
                    gen_move_local_ireg(&t.f.cg, 6 + (k % 2), r, 1, 1);
                    _free_int_reg(&t.f.cg, r, 0, 0, 0);
                    if (k % 2 == 1) {
                        t.in.frame[6] = t.in.frame[7] = 0;
                        machine out = t.go();
                        for (int j = 0; j < 2; j++)
                            EXPECT_EQ(out.frame[6 + j] & 0xFF, holds(conds[k - 1 + j], a, b) ? 1u : 0u)
                                << "cond " << conds[k - 1 + j] << " " << a << ", " << b << (cst ? " const" : "");
                        EXPECT_EQ(get_long(out, 2), a);
                        t.setup(0);
                        set_long(&t, 2, a);
                        set_long(&t, 4, b);
                    }
                }
            }
}

// ---------------------------------------------------------------------------
// Operations with a memory destination (a field or static updated in place)
// and the store of a value into a local's frame slot.
// ---------------------------------------------------------------------------
namespace {
u4 mem_words[4];

memop absolute_memop(void* p, int size)
{
    memop m;
    std::memset(&m, 0, sizeof m);
    m.base = 0;
    m.disp = (s4)(uintptr_t)p;
    m.disp2 = m.disp + 4;
    m.size = size;
    m.where = 'M';
    return m;
}
}  // namespace

TEST(GenMemop, IntAndLongReadModifyWrite)
{
    static run t;
    for (int op : {1, 2, 4, 5, 6})
        for (s4 a : INT_VALUES)
            for (s4 b : {0, 1, -1, 0x7FFFFFFF, (s4)0x80000000, 12345}) {
                t.setup(op);
                memop m = absolute_memop(&mem_words[0], 4);
                gen_op_memop_i4(&t.f.cg, op, &m, b);
                m = absolute_memop(&mem_words[1], 4);
                gen_move_ireg_local(&t.f.cg, RM_ESI, 2, 0, 0);
                gen_op_memop_gr4(&t.f.cg, op, &m, GR_ESI);
                t.set_local(2, (u4)b);
                mem_words[0] = mem_words[1] = (u4)a;
                t.go();
                EXPECT_EQ((s4)mem_words[0], java_int(op, a, b)) << "op " << op << " " << a << ", imm " << b;
                EXPECT_EQ((s4)mem_words[1], java_int(op, a, b)) << "op " << op << " " << a << ", reg " << b;
            }
    // A 2-byte memop is updated as 16 bits: the word above is untouched.
    t.setup(1);
    memop m = absolute_memop(&mem_words[0], 2);
    gen_op_memop_i4(&t.f.cg, 1, &m, 1);
    mem_words[0] = 0x1234FFFF;
    t.go();
    EXPECT_EQ(mem_words[0], 0x12340000u);

    for (int op : {1, 2, 4, 5, 6})
        for (s8 a : LONG_VALUES)
            for (s8 b : LONG_VALUES) {
                t.setup(op);
                memop m8 = absolute_memop(&mem_words[0], 8);
                gen_op_memop8_i8(&t.f.cg, op, &m8, (s4)(u4)(u8)b, (s4)(u4)((u8)b >> 32));
                m8 = absolute_memop(&mem_words[2], 8);
                gen_move_ireg_local(&t.f.cg, RM_ESI, 5, 0, 0);
                gen_move_ireg_local(&t.f.cg, RM_EDI, 4, 0, 0);
                gen_op_memop8_gr(&t.f.cg, op, &m8, GR_ESI, GR_EDI);
                set_long(&t, 4, b);
                std::memcpy(&mem_words[0], &a, 8);
                std::memcpy(&mem_words[2], &a, 8);
                t.go();
                s8 r0, r1;
                std::memcpy(&r0, &mem_words[0], 8);
                std::memcpy(&r1, &mem_words[2], 8);
                EXPECT_EQ(r0, java_long(op, a, b)) << "op " << op << " " << a << ", imm " << b;
                EXPECT_EQ(r1, java_long(op, a, b)) << "op " << op << " " << a << ", regs " << b;
            }
    // High register 0: the int in the low register is widened.
    for (s4 b : {-5, 5}) {
        t.setup(1);
        memop m8 = absolute_memop(&mem_words[0], 8);
        gen_move_ireg_local(&t.f.cg, RM_ESI, 2, 0, 0);
        gen_op_memop8_gr(&t.f.cg, 1, &m8, GR_ESI, 0);
        t.set_local(2, (u4)b);
        s8 a = 0x100000000LL;
        std::memcpy(&mem_words[0], &a, 8);
        t.go();
        s8 r;
        std::memcpy(&r, &mem_words[0], 8);
        EXPECT_EQ(r, a + b);
    }
}

// The value reaches the local's frame slot, and a register caching the
// local does not keep the old value.
TEST(GenInt, PindownStoresIntoTheFrameSlot)
{
    static run t;
    for (int cached = 0; cached < 2; cached++) {
        t.setup(0);
        t.o.r[0] = local_op(3);
        t.o.r[2] = local_op(1);
        t.set_local(1, 0xBEEF);
        t.set_local(3, 7);
        if (cached)
            _get_rd_int_oprnd(&t.f.cg, &t.o.r[0], 0, -1);   // local 3 now in a register
        gen_pindown(&t.f.cg, &t.qp, &t.o);
        // Read the local back through the manager.
        int r = _get_rd_int_oprnd(&t.f.cg, &t.o.r[0], 0, -1);
        gen_move_local_ireg(&t.f.cg, 5, r, 0, 0);
        _free_int_reg(&t.f.cg, r, 0, 0, 0);
        machine out = t.go();
        EXPECT_EQ(out.frame[3], 0xBEEFu) << cached;
        EXPECT_EQ(out.frame[5], 0xBEEFu) << cached;
    }
}

// i2l and l2i are long moves with an absent word.
TEST(GenConv, IntToLongAndBack)
{
    static run t;
    for (s4 v : INT_VALUES) {
        t.setup(0);
        long_ops(&t.o.x[0], 0);
        t.o.r[2] = local_op(4);
        t.set_local(4, (u4)v);
        gen_I2L(&t.f.cg, &t.qp, &t.o);
        machine out = t.go();
        EXPECT_EQ(get_long(out, 0), (s8)v);
    }
    for (s8 v : LONG_VALUES) {
        t.setup(0);
        t.o.r[0] = local_op(0);
        long_ops(&t.o.x[2], 2);
        set_long(&t, 2, v);
        gen_L2I(&t.f.cg, &t.qp, &t.o);
        machine out = t.go();
        EXPECT_EQ((s4)out.frame[0], (s4)v);
        EXPECT_EQ(get_long(out, 2), v);
    }
}
