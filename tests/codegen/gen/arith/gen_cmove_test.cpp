// Conditional move of ints, executed: dest = (a cond b) ? t : f for every
// condition, with b, t and f as locals or constants, the one-sided forms
// (t or f absent: the destination keeps its value), and a destination that
// is also a source; with and without CMOV.
#include <gtest/gtest.h>

#include <cstring>

#include "regman/reg_test_util.h"
#include "codegen/gen/gen_arith.h"

extern s4 orva_processor_cmov_support;

namespace {

bool holds(int c, s4 a, s4 b)
{
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
}

// Operand forms: 0 local, 1 constant, 2 absent (t and f only), 3 the destination itself.
struct cm_case {
    int b_form, t_form, f_form;
};

std::string last_hex;
bool a_is_dest = false;  // the destination is also the compared value a

constexpr u4 DEST_INIT = 0x5A5A5A5A;
constexpr s4 T_VAL = 1111, F_VAL = -2222;

// Locals: 0 destination, 1 a, 2 b, 3 t, 4 f.
u4 run_cmove(int cond, s4 a, s4 b, cm_case k, s4 tv, s4 fv, machine* out_all = nullptr)
{
    static rm_fixture f;
    rm_setup(&f, 4, 8);
    quadruple q;
    std::memset(&q, 0, sizeof q);
    q.opcode = 179;
    q.op = (u2)cond;
    quadruple* qp = &q;
    cg_operands o;
    std::memset(&o, 0, sizeof o);
    o.r[0] = local_op(0);
    o.list[0] = a_is_dest ? local_op(0) : local_op(1);
    o.list[1] = k.b_form == 1 ? const_op(b) : local_op(2);
    auto form = [&](int fm, int local, s4 v) {
        switch (fm) {
        case 0: return local_op(local);
        case 1: return const_op(v);
        case 2: return CG_EMPTY_OPERAND;
        default: return local_op(0);
        }
    };
    o.list[2] = form(k.t_form, 3, tv);
    o.list[3] = form(k.f_form, 4, fv);
    o.list_n = 4;
    machine in = {};
    for (int r = 0; r < 7; r++)
        in.reg[r] = 0xDEAD0000u + (u4)r;
    in.frame[frame_word_of_local(0)] = a_is_dest ? (u4)a : DEST_INIT;
    in.frame[frame_word_of_local(1)] = (u4)a;
    in.frame[frame_word_of_local(2)] = (u4)b;
    in.frame[frame_word_of_local(3)] = (u4)tv;
    in.frame[frame_word_of_local(4)] = (u4)fv;
    EXPECT_EQ(gen_cmove_IIIII(&f.cg, &qp, &o), 0);
    _flush_all_int_regs(&f.cg, 0);
    machine out;
    rm_run(&f, in, &out, 0);
    if (!a_is_dest)
        EXPECT_EQ(out.frame[frame_word_of_local(1)], (u4)a);
    EXPECT_EQ(out.frame[frame_word_of_local(2)], (u4)b);
    if (out_all != nullptr)
        *out_all = out;
    last_hex = emitted_hex(&f);
    return out.frame[frame_word_of_local(0)];
}

u4 expected(int cond, s4 a, s4 b, cm_case k, s4 tv, s4 fv)
{
    auto val = [](int fm, s4 v) { return fm >= 2 ? DEST_INIT : (u4)v; };
    return holds(cond, a, b) ? val(k.t_form, tv) : val(k.f_form, fv);
}

const int CONDS[] = {COND_EQ, COND_NE, COND_LT, COND_LE, COND_GT, COND_GE, COND_A, COND_AE, COND_B, COND_BE};
const s4 VALUES[] = {0, 1, -1, 5, 0x7FFFFFFF, (s4)0x80000000};

void every_condition(const cm_case& k, s4 tv, s4 fv)
{
    for (int c : CONDS)
        for (s4 a : VALUES)
            for (s4 b : VALUES)
                EXPECT_EQ(run_cmove(c, a, b, k, tv, fv), expected(c, a, b, k, tv, fv))
                    << "cond " << c << " a " << a << " b " << b << " forms " << k.b_form << k.t_form << k.f_form;
}

const cm_case FORMS[] = {
    {0, 0, 0}, {1, 0, 0}, {0, 1, 1}, {1, 1, 0}, {0, 0, 1}, {0, 2, 0}, {0, 0, 2}, {1, 2, 1},
    {1, 1, 2}, {0, 3, 0}, {0, 0, 3}, {0, 1, 3},
};

}  // namespace

TEST(GenCmove, EveryConditionAndOperandFormWithoutCmov)
{
    orva_processor_cmov_support = 0;
    for (const cm_case& k : FORMS)
        every_condition(k, T_VAL, F_VAL);
}

TEST(GenCmove, EveryConditionAndOperandFormWithCmov)
{
    orva_processor_cmov_support = 1;
    for (const cm_case& k : FORMS)
        every_condition(k, T_VAL, F_VAL);
    // Register sources use CMOVcc (0F 4x), no jump.
    run_cmove(COND_LT, 1, 2, {0, 0, 0}, T_VAL, F_VAL);
    EXPECT_NE(last_hex.find("0F 4C"), std::string::npos) << last_hex;
    orva_processor_cmov_support = 0;
}

// Zero and one as values (an emitter may write zero with XOR) and a
// destination that is also a compared value.
TEST(GenCmove, ZeroOneValuesAndDestinationAsSource)
{
    for (int cmov = 0; cmov < 2; cmov++) {
        orva_processor_cmov_support = cmov;
        every_condition({1, 1, 1}, 0, 1);
        every_condition({1, 1, 1}, 1, 0);
        every_condition({0, 1, 0}, 0, -1);
    }
    orva_processor_cmov_support = 0;
}

TEST(GenCmove, InvalidConditionIsRefused)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    quadruple q;
    std::memset(&q, 0, sizeof q);
    q.op = 40;
    quadruple* qp = &q;
    cg_operands o;
    std::memset(&o, 0, sizeof o);
    o.r[0] = local_op(0);
    o.list[0] = local_op(1);
    o.list[1] = local_op(2);
    o.list_n = 2;
    EXPECT_EQ(gen_cmove_IIIII(&f.cg, &qp, &o), 1);
}

// dest = (dest cond b) ? t : f: the compare reads the destination's old value.
TEST(GenCmove, DestinationIsTheComparedValue)
{
    a_is_dest = true;
    for (int cmov = 0; cmov < 2; cmov++) {
        orva_processor_cmov_support = cmov;
        for (int c : CONDS)
            for (s4 a : VALUES)
                for (s4 b : VALUES)
                    for (const cm_case& k : {cm_case{0, 0, 0}, cm_case{1, 1, 0}})
                        EXPECT_EQ(run_cmove(c, a, b, k, T_VAL, F_VAL), holds(c, a, b) ? (u4)T_VAL : (u4)F_VAL)
                            << "cond " << c << " a " << a << " b " << b;
    }
    a_is_dest = false;
    orva_processor_cmov_support = 0;
}
