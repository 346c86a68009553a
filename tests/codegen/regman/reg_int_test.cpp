// Integer operand access: random programs over more locals than registers
// (spilling under pressure, write-back of dirty locals, forced registers,
// temporaries), executed; and the rules of the individual operations.
#include <gtest/gtest.h>

#include "reg_program.h"

static machine initial_machine(int nlocals)
{
    machine m = {};
    for (int r = 0; r < 7; r++)
        m.reg[r] = 0xDEAD0000u + (u4)r;
    for (int l = 0; l < nlocals; l++)
        m.frame[frame_word_of_local(l)] = 0x100u * (u4)(l + 1);
    return m;
}

// Guards against values lost or read stale when registers are spilled,
// moved between registers or forced into a wanted register.
TEST(RegInt, RandomProgramsUnderRegisterPressure)
{
    const int nlocals = 12;
    for (uint32_t seed = 1; seed <= 150; seed++) {
        rm_fixture f;
        rm_setup(&f, 4, nlocals);
        // A third of the programs run with a local map (weighted counts: a
        // written local keeps a cached copy), a third with tick arrays.
        static local_usage_entry map[16];
        static s2 tick_val[16], tick_pos[16];
        if (seed % 3 == 1) {
            for (int l = 0; l < nlocals; l++)
                map[l] = {(u4)l, LU_INT, (s4)((l * 7) % 5), 0};
            CUR(&f.cg)->int_map = map;
            CUR(&f.cg)->int_map_count = nlocals;
        } else if (seed % 3 == 2) {
            f.m.state_flags &= ~MCC_MEANTIME_ABSENT;
            for (int l = 0; l < nlocals; l++) {
                tick_val[l] = (s2)((l * 13 + (int)seed) % 11);
                tick_pos[l] = 0;
            }
            f.cg.tick_val = tick_val;
            f.cg.tick_pos = tick_pos;
        }
        reg_program p = {&f, nlocals, seed};
        machine in = initial_machine(nlocals), out;
        prog_state st;
        for (int l = 0; l < nlocals; l++)
            st.value.push_back(in.frame[frame_word_of_local(l)]);
        for (int i = 0; i < 60; i++) {
            prog_op op = p.random_op();
            p.emit(op);
            eval(op, &st);
        }
        _flush_all_int_regs(&f.cg, 0);
        rm_run(&f, in, &out, 0);
        std::string what = "seed " + std::to_string(seed);
        if (!verify_program(st, out, nlocals, what.c_str()))
            break;
    }
}

// A pending (lazy) load is emitted once, at the first read, and cleared in
// both the current and the block-entry masks; with no-load nothing is
// emitted but the bit is cleared all the same.
TEST(RegInt, PendingLoadIsEmittedOnce)
{
    for (int no_load : {0, 1}) {
        rm_fixture f;
        rm_setup(&f, 4, 8);
        register_info* c = CUR(&f.cg);
        u4 st = SW(RS_ASSIGNED) | SW(RS_BUSY) | SW(RS_VALID) | SW(RS_PENDING);
        c->ient[RM_ESI] = {RK_LOCAL, RT_INT, 0, 5, nullptr};
        c->init_ient[RM_ESI] = c->ient[RM_ESI];
        sw_put(c->imask, RM_ESI, st);
        sw_put(c->init_imask, RM_ESI, st);
        reg_operand op = local_op(5);
        EXPECT_EQ(_get_rd_int_oprnd(&f.cg, &op, no_load, -1), RM_ESI);
        EXPECT_EQ(_get_rd_int_oprnd(&f.cg, &op, no_load, -1), RM_ESI);
        EXPECT_FALSE(sw_has(c->imask, RM_ESI, RS_PENDING));
        EXPECT_FALSE(sw_has(c->init_imask, RM_ESI, RS_PENDING));
        EXPECT_EQ(emitted_hex(&f), no_load ? "" : "8B 74 24 28");   // mov esi, [esp + 40] (local 5)
    }
}

// Preferred register ebx busy, eax free: the read takes a register outside
// the preference rather than spilling ebx.
TEST(RegInt, PreferenceFallsBackToAnyRegister)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    reg_operand other = local_op(1);
    EXPECT_EQ(_set_rd_int_oprnd(&f.cg, &other, 1u << RM_EBX, 0, 0), RM_EBX);
    quad_operand q = {};
    q.reg = 0x08;
    reg_operand op = local_op(2);
    op.source = &q;
    EXPECT_EQ(_get_rd_int_oprnd(&f.cg, &op, 0, -1), RM_EAX);
    EXPECT_EQ(query_int_oprnd(&f.cg, &other), RM_EBX);
}

// Operand-stack slots 3 and higher are stored at once when bound; slots 0 to
// 2 stay in their register, dirty.
TEST(RegInt, HighStackSlotsAreStoredAtOnce)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    for (int slot : {2, 3}) {
        reg_operand op = stack_op(slot, (u2)slot);
        int r = _get_wt_int_oprnd(&f.cg, &op, 1, 0);
        gen_move_ireg_rawimmediate(&f.cg, r, 40 + slot);
        _assoc_int_oprnd(&f.cg, &op, r, 0, 0);
        EXPECT_EQ(is_cached_int_oprnd(&f.cg, &op), slot <= 2) << slot;
    }
    machine in = initial_machine(8), out;
    rm_run(&f, in, &out, 0);
    EXPECT_EQ(out.frame[frame_word_of_stack(3)], 43u);
    EXPECT_NE(out.frame[frame_word_of_stack(2)], 42u);   // still only in its register
}

// Releasing a cached local keeps it busy and holding the local; releasing a
// temporary empties it.
TEST(RegInt, ReleaseKeepsCachedLocals)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    reg_operand op = local_op(3);
    int r = _get_rd_int_oprnd(&f.cg, &op, 0, -1);
    int t = _alloc_int_reg(&f.cg, RM_ALL_INT, 0);
    _free_int_reg(&f.cg, r, 0, 0, 0);
    _free_int_reg(&f.cg, t, 0, 0, 1);
    register_info* c = CUR(&f.cg);
    EXPECT_TRUE(sw_has(c->imask, r, RS_BUSY));
    EXPECT_FALSE(sw_has(c->imask, r, RS_LOCKED));
    EXPECT_EQ(c->ient[r].index, 3);
    EXPECT_FALSE(sw_has(c->imask, t, RS_BUSY));
    EXPECT_EQ(c->ient[t].kind, 0);
    EXPECT_EQ(_num_of_free_int_regs(&f.cg, -1), 6);
}

// Flushing the kill registers moves their values to free callee-saved
// registers (outside the current quadruple's hint byte) when there are any,
// and stores them only when there are none.
TEST(RegInt, FlushKillRegistersMovesToCalleeSaved)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    quadruple q = {};
    quadruple* qs[1] = {&q};
    f.bb[1].catbl = qs;
    f.bb[1].quad_count = 1;
    q.byte81 = 1u << RM_EBX;   // hint: keep ebx out
    reg_operand a = local_op(1), b = local_op(2);
    int ra = _set_rd_int_oprnd(&f.cg, &a, 1u << RM_EAX, 0, 0);
    int rb = _set_rd_int_oprnd(&f.cg, &b, 1u << RM_EDX, 0, 0);
    _free_int_reg(&f.cg, ra, 0, 0, 0);
    _free_int_reg(&f.cg, rb, 0, 0, 0);
    _flush_int_regs(&f.cg, RM_KILL_REGS, 0, 0, 0);
    EXPECT_EQ(query_int_oprnd(&f.cg, &a), RM_EBP);
    EXPECT_EQ(query_int_oprnd(&f.cg, &b), RM_ESI);
    // Every callee-saved register busy: the value is stored.
    rm_setup(&f, 4, 8);
    for (int r = RM_EBX; r <= RM_EDI; r++) {
        reg_operand o = local_op(r);
        _free_int_reg(&f.cg, _set_rd_int_oprnd(&f.cg, &o, 1u << r, 0, 0), 0, 0, 0);
    }
    reg_operand w = local_op(7);
    int r = _set_wt_int_oprnd(&f.cg, &w, 1u << RM_EAX, 0, 1, 0);
    EXPECT_EQ(r, RM_EAX);
    gen_move_ireg_rawimmediate(&f.cg, r, 99);
    _assoc_int_oprnd(&f.cg, &w, r, 0, 0);
    _free_int_reg(&f.cg, r, 0, 0, 0);
    _flush_int_regs(&f.cg, RM_KILL_REGS, 0, 0, 0);
    EXPECT_FALSE(is_cached_int_oprnd(&f.cg, &w));
    machine in = initial_machine(8), out;
    rm_run(&f, in, &out, 0);
    EXPECT_EQ(out.frame[frame_word_of_local(7)], 99u);
}

// The operand more worth a register comes first.
TEST(RegInt, ReorderCommutativeOperands)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    reg_operand c = const_op(5), l = local_op(1), l2 = local_op(2);
    const reg_operand* a = &c;
    const reg_operand* b = &l;
    reorder_commutative_oprnds(&f.cg, &a, &b);
    EXPECT_EQ(a, &l);
    EXPECT_EQ(b, &c);
    a = &l;
    b = &l2;
    reorder_commutative_oprnds(&f.cg, &a, &b);
    EXPECT_EQ(a, &l);
}

// Temporaries in edx and ecx survive a call: pushed edx, ecx and popped ecx,
// edx; the save area records no cached local.
TEST(RegInt, KillRegistersAroundACall)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    reg_operand l = local_op(1);
    EXPECT_EQ(_set_rd_int_oprnd(&f.cg, &l, 1u << RM_EAX, 0, 0), RM_EAX);
    EXPECT_EQ(_alloc_int_reg(&f.cg, 1u << RM_EDX, 0), RM_EDX);
    EXPECT_EQ(_alloc_int_reg(&f.cg, 1u << RM_ECX, 0), RM_ECX);
    u4 saved = 0;
    register_info* area = save_kill_registers(&f.cg, &saved);
    EXPECT_EQ(saved, 0x6u);
    u1* before = f.cg.code;
    push_kill_registers(&f.cg, area);
    pop_kill_registers(&f.cg, area);
    std::string hex = emitted_hex(&f);
    EXPECT_EQ(hex.substr(hex.size() - 11), "52 51 59 5A");
    (void)before;
    ireg_empty(&f.cg, RM_EDX);
    ireg_empty(&f.cg, RM_ECX);
    restore_kill_registers(&f.cg, area);
    EXPECT_EQ(CUR(&f.cg)->ient[RM_EDX].kind, RK_TEMP);
    EXPECT_TRUE(sw_has(CUR(&f.cg)->imask, RM_ECX, RS_VALID));
}
