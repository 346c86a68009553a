// x87 stack model and floating-point operand access, executed where code is
// emitted: the live-state word of the resolve stubs, reads under a full ring,
// flushing and reloading cached locals, the stack left at a method return,
// spills of entries below the top, operand-stack values brought back in any
// order.
#include <gtest/gtest.h>

#include "reg_test_util.h"

namespace {

const u4 BUSY_VALID = SW(RS_ASSIGNED) | SW(RS_BUSY) | SW(RS_VALID);

void put_slot(codegen_context* cg, s4 counter, register_entry e, u4 status)
{
    int s = fp_slot(counter);
    CUR(cg)->fent[s] = e;
    CUR(cg)->init_fent[s] = e;
    sw_put(CUR(cg)->fmask, s, status);
    sw_put(CUR(cg)->init_fmask, s, status);
}

machine frame_with_floats()
{
    machine m = {};
    for (int k = 0; k < 64; k++)
        m.frame[k] = float_bits(1000.0f + (float)k);
    return m;
}

}  // namespace

TEST(RegX87, LiveStatusWord)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    EXPECT_EQ(get_fp_live_status(&f.cg), 0u);
    put_slot(&f.cg, 0, {RK_LOCAL, RT_FLOAT, 0, 1, nullptr}, BUSY_VALID);
    put_slot(&f.cg, 1, {RK_STACK, RT_DOUBLE, 0, 0, nullptr}, BUSY_VALID);
    fp_top(&f.cg) = 2;
    EXPECT_EQ(get_fp_live_status(&f.cg), 0x02400201u);
    rm_setup(&f, 4, 8);
    put_slot(&f.cg, 0, {RK_STACK, RT_DOUBLE, 0, 0, nullptr}, BUSY_VALID);
    fp_top(&f.cg) = 1;
    EXPECT_EQ(get_fp_live_status(&f.cg), 0x01800101u);
}

// A counter value of 9 names slot 1; with the top at 10, slot 2 is counter 2.
TEST(RegX87, CounterValuesOfSlots)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    fp_top(&f.cg) = 10;
    EXPECT_EQ(fp_slot(9), 1);
    EXPECT_EQ(_freg_num(&f.cg, 1), 9);
    EXPECT_EQ(_freg_num(&f.cg, 2), 2);
}

// Reading a float local when eight operand-stack values are live (no cached
// locals) spills the top value to its slot first.
TEST(RegX87, ReadUnderAFullRingSpillsTheTop)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    for (int k = 0; k < 8; k++)
        put_slot(&f.cg, k, {RK_STACK, RT_FLOAT, (u2)k, k, nullptr}, BUSY_VALID | SW(RS_DIRTY));
    CUR(&f.cg)->fp_stack_count = 8;
    fp_top(&f.cg) = 8;
    reg_operand l = local_op(2, 'F');
    s4 c = _get_rd_fp_oprnd(&f.cg, &l, 0);
    EXPECT_EQ(c, fp_top(&f.cg) - 1);
    EXPECT_EQ(fp_top(&f.cg) - fp_bottom(&f.cg), 8);
    machine in = frame_with_floats(), out;
    for (int k = 0; k < 8; k++)
        in.fp.push_back(50.0 + k);
    rm_run(&f, in, &out, 8);
    EXPECT_EQ(bits_float(out.frame[frame_word_of_stack(7)]), 57.0f);
    for (int k = 0; k < 7; k++)
        EXPECT_EQ(out.fp[k], 50.0 + k);
    EXPECT_EQ(out.fp[7], 1002.0);
}

// Dirty cached locals are stored and stay in place, clean; after a flush of
// the whole stack the cached locals are reloaded by the next read.
TEST(RegX87, FlushAndReloadCachedLocals)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    put_slot(&f.cg, 0, {RK_LOCAL, RT_FLOAT, 0, 3, nullptr}, BUSY_VALID | SW(RS_DIRTY));
    put_slot(&f.cg, 1, {RK_LOCAL, RT_FLOAT, 0, 4, nullptr}, BUSY_VALID);
    fp_top(&f.cg) = 2;
    fp_cache_count(&f.cg) = 2;
    _flush_fp_cache_regs(&f.cg, 0);
    EXPECT_FALSE(sw_has(CUR(&f.cg)->fmask, 0, RS_DIRTY));
    EXPECT_EQ(fp_top(&f.cg), 2);
    _flush_all_fp_regs(&f.cg, 0);
    EXPECT_EQ(fp_top(&f.cg), fp_bottom(&f.cg));
    reg_operand l4 = local_op(4, 'F');
    s4 c = _get_rd_fp_oprnd(&f.cg, &l4, 0);   // reloads both cached locals
    EXPECT_EQ(c, 1);
    EXPECT_EQ(fp_top(&f.cg), 2);
    machine in = frame_with_floats(), out;
    in.fp = {7.0, 1004.0};   // local 3 dirty (7), local 4 clean (equal to its slot)
    rm_run(&f, in, &out, 2);
    EXPECT_EQ(bits_float(out.frame[frame_word_of_local(3)]), 7.0f);
    EXPECT_EQ(out.fp[0], 7.0);
    EXPECT_EQ(out.fp[1], 1004.0);
}

// At a return with a result above two cached locals only the result stays.
TEST(RegX87, ReturnLeavesOnlyTheResult)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    put_slot(&f.cg, 0, {RK_LOCAL, RT_FLOAT, 0, 3, nullptr}, BUSY_VALID);
    put_slot(&f.cg, 1, {RK_LOCAL, RT_FLOAT, 0, 4, nullptr}, BUSY_VALID);
    put_slot(&f.cg, 2, {RK_STACK, RT_DOUBLE, 0, 0, nullptr}, BUSY_VALID);
    CUR(&f.cg)->fp_stack_count = 1;
    fp_top(&f.cg) = 3;
    fp_cache_count(&f.cg) = 2;
    pop_fp_cache_regs(&f.cg, 1);
    EXPECT_EQ(fp_top(&f.cg) - fp_bottom(&f.cg), 1);
    EXPECT_EQ(CUR(&f.cg)->fent[fp_slot(fp_bottom(&f.cg))].kind, RK_STACK);
    machine in = frame_with_floats(), out;
    in.fp = {1003.0, 1004.0, 42.5};
    rm_run(&f, in, &out, 1);
    EXPECT_EQ(out.fp[0], 42.5);
    EXPECT_EQ((out.fpu_status >> 11) & 7, 0);
}

// A local cached below the top is spilled from st(0): it is exchanged to the
// top first, so the right value reaches its slot and the model still matches
// the hardware stack.
TEST(RegX87, SpillBelowTheTop)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    put_slot(&f.cg, 0, {RK_LOCAL, RT_FLOAT, 0, 5, nullptr}, BUSY_VALID | SW(RS_DIRTY));
    put_slot(&f.cg, 1, {RK_STACK, RT_FLOAT, 1, 0, nullptr}, BUSY_VALID);
    CUR(&f.cg)->fp_stack_count = 1;
    fp_top(&f.cg) = 2;
    reg_operand l5 = local_op(5, 'F');
    EXPECT_EQ(_spillout_fp_oprnd(&f.cg, &l5), 5);
    EXPECT_EQ(fp_top(&f.cg), 1);
    EXPECT_EQ(CUR(&f.cg)->fent[0].kind, RK_STACK);
    machine in = frame_with_floats(), out;
    in.fp = {9.0, 11.0};
    rm_run(&f, in, &out, 1);
    EXPECT_EQ(bits_float(out.frame[frame_word_of_local(5)]), 9.0f);
    EXPECT_EQ(out.fp[0], 11.0);
}

// Operand-stack values spilled by a flush come back in any order of reads:
// the lower one read second goes on the top rather than outside the live
// stack.
TEST(RegX87, StackValuesBroughtBackOutOfOrder)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    CUR(&f.cg)->fp_stack_count = 2;
    reg_operand s1 = stack_op(1, 1, 'F'), s0 = stack_op(0, 0, 'F');
    s4 c1 = _get_rd_fp_oprnd(&f.cg, &s1, 0);
    s4 c0 = _get_rd_fp_oprnd(&f.cg, &s0, 0);
    EXPECT_NE(c0, c1);
    EXPECT_EQ(fp_top(&f.cg) - fp_bottom(&f.cg), 2);
    EXPECT_EQ(_search_freg(&f.cg, &s1, 1), fp_slot(c1));
    EXPECT_EQ(_search_freg(&f.cg, &s0, 1), fp_slot(c0));
    // Store both back through the model, top first, and read the slots.
    _flush_all_fp_regs(&f.cg, 1);
    machine in = frame_with_floats(), out;
    in.frame[frame_word_of_stack(0)] = float_bits(3.0f);
    in.frame[frame_word_of_stack(1)] = float_bits(4.0f);
    rm_run(&f, in, &out, 0);
    EXPECT_EQ(bits_float(out.frame[frame_word_of_stack(0)]), 3.0f);
    EXPECT_EQ(bits_float(out.frame[frame_word_of_stack(1)]), 4.0f);
    EXPECT_EQ((out.fpu_status >> 11) & 7, 0);
}

// Two operands exchange their places: both slots dirty, the values swapped.
TEST(RegX87, ReverseStackOperands)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    put_slot(&f.cg, 0, {RK_STACK, RT_FLOAT, 0, 0, nullptr}, BUSY_VALID | SW(RS_DIRTY));
    put_slot(&f.cg, 1, {RK_STACK, RT_FLOAT, 1, 1, nullptr}, BUSY_VALID | SW(RS_DIRTY));
    CUR(&f.cg)->fp_stack_count = 2;
    fp_top(&f.cg) = 2;
    reg_operand a = stack_op(0, 0, 'F'), b = stack_op(1, 1, 'F');
    reverse_fp_stack_oprnds(&f.cg, &a, &b);
    EXPECT_EQ(_search_freg(&f.cg, &a, 1), 1);
    EXPECT_EQ(_search_freg(&f.cg, &b, 1), 0);
    machine in = frame_with_floats(), out;
    in.fp = {1.5, 2.5};
    rm_run(&f, in, &out, 2);
    EXPECT_EQ(out.fp[0], 2.5);
    EXPECT_EQ(out.fp[1], 1.5);
}

// The small x87 constants 0, 1 and 2 of both types come out exact (2.0 is a
// float in the run time's table: a qword load there read garbage).
TEST(RegX87, SmallConstants)
{
    for (char type : {'F', 'D'}) {
        rm_fixture f;
        rm_setup(&f, 4, 8);
        for (s4 v = 0; v <= 2; v++) {
            reg_operand k = const_op(v, type);
            _get_wt_fp_oprnd(&f.cg, &k);
        }
        EXPECT_EQ(fp_top(&f.cg) - fp_bottom(&f.cg), 3);
        machine in = frame_with_floats(), out;
        rm_run(&f, in, &out, 3);
        EXPECT_EQ(out.fp, (std::vector<double>{0.0, 1.0, 2.0})) << type;
    }
}

// A value loaded onto the top for a variable that a lower slot still caches
// (an older value left there) goes into that slot: the model and the
// hardware stack keep the same depth, and the slot holds the new value.
TEST(RegX87, LoadForAVariableCachedBelow)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    put_slot(&f.cg, 0, {RK_LOCAL, RT_FLOAT, 0, 3, nullptr}, SW(RS_ASSIGNED) | SW(RS_BUSY));
    put_slot(&f.cg, 1, {RK_LOCAL, RT_FLOAT, 0, 4, nullptr}, BUSY_VALID);
    fp_top(&f.cg) = 2;
    gen_move_freg_local(&f.cg, fp_top(&f.cg), 6, 0);   // fld dword [local 6], the new value
    reg_operand l3 = local_op(3, 'F');
    alloc_and_assoc_fp_stack_top_oprnd(&f.cg, &l3);
    EXPECT_EQ(fp_top(&f.cg) - fp_bottom(&f.cg), 2);
    int s = _search_valid_freg(&f.cg, &l3, 0);
    ASSERT_GE(s, 0);
    EXPECT_EQ(_freg_num(&f.cg, s), 0);
    machine in = frame_with_floats(), out;
    in.fp = {-1.0, 1004.0};
    rm_run(&f, in, &out, 2);
    EXPECT_EQ(out.fp, (std::vector<double>{1006.0, 1004.0}));
}
