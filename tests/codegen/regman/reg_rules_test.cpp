// Rules of the register manager that decide without emitting much: local
// sets, block-entry local maps, which cached locals may stay in a loop, the
// free-register search and its hint byte, spill choice, state comparison,
// jump targets, and the state records.
#include <gtest/gtest.h>

#include <cstring>

#include "reg_test_util.h"

namespace {

const u4 BUSY_VALID = SW(RS_ASSIGNED) | SW(RS_BUSY) | SW(RS_VALID);

// A loop (loop 0) whose candidate tables the test fills; block 2 is in it.
struct loop_fixture {
    rm_fixture f;
    loop_table_record rec;
    loopattribute body;
    loop_reg_info info;
    const_usage_entry consts[4];
    local_usage_entry ints[17], fps[17];
    void* table[1];

    void setup()
    {
        rm_setup(&f, 5, 16);
        rec = {};
        body = {};
        info = {};
        body.entry_id = 2;
        rec.body = &body;
        rec.lvattr_table = ints;
        rec.lvattr_table2 = fps;
        table[0] = &rec;
        f.m.loop_table = table;
        f.m.loop_count = 1;
        mcc_set_loop_regs(&f.m, &info);
        info.const_table = consts;
        f.bb[2].flags = BB_IN_LOOP;
        f.bb[2].loop_index = 0;
        f.bb[2].pred_count = 2;
    }
};

}  // namespace

// 61 locals use the 64-bit value in place, 62 the pointer form; local 0 is bit
// 63, local 63 bit 0, local 64 bit 63 of the second value.
TEST(RegRules, LocalSetForms)
{
    u4 in_place[2] = {0x00000001u, 0x80000000u};   // bits 0 and 63
    EXPECT_TRUE(local_set_has(in_place, 61, 0));
    EXPECT_TRUE(local_set_has(in_place, 61, 63));
    EXPECT_FALSE(local_set_has(in_place, 61, 1));
    u4 words[4] = {0, 0, 0, 0x80000000u};          // second value: local 64
    u4 ptr[2] = {(u4)(uintptr_t)words, 0};
    EXPECT_TRUE(local_set_has(ptr, 62, 64));
    EXPECT_FALSE(local_set_has(ptr, 62, 0));
    EXPECT_EQ(local_bit64[0][1], 0x80000000u);
    EXPECT_EQ(local_bit64[63][0], 1u);
}

// Loop candidates 9, 4 and 0: two cached locals, in registers 0 and 1, or 6
// and 5 when the register order is reversed; cache count 2.
TEST(RegRules, LoopLocalMapIntegers)
{
    for (int order : {0, 1}) {
        loop_fixture l;
        l.setup();
        l.ints[0] = {7, LU_INT, 9, 0};
        l.ints[1] = {3, LU_INT, 4, 0};
        l.ints[2] = {5, LU_INT, 0, 0};
        l.rec.lvattr_count = 3;
        mcc_register_order(&l.f.m) = (u4)order;
        register_info* ri = create_default_register_info(&l.f.cg, 2);
        EXPECT_EQ(ri->int_cache_count, 2);
        int r0 = order ? 6 : 0, r1 = order ? 5 : 1;
        EXPECT_EQ(ri->ient[r0].index, 7);
        EXPECT_EQ(ri->ient[r1].index, 3);
        EXPECT_TRUE(sw_has(ri->imask, r0, RS_DIRTY));   // two edges in, written in the region
    }
}

// Three float candidates placed a, b, c end with c in slot 0 and a in slot 2,
// top 3; a double whose second word has no record is never cached, and the
// mark stays in the table; loop constants: kind 3 value 1 is not cached,
// kind 4 value 5 becomes {'C', -5}.
TEST(RegRules, LoopLocalMapX87)
{
    loop_fixture l;
    l.setup();
    l.fps[0] = {1, LU_FLOAT, 30, 0};
    l.fps[1] = {9, LU_DOUBLE_LO, 25, 0};
    l.fps[2] = {2, LU_FLOAT, 20, 0};
    l.fps[3] = {3, LU_FLOAT, 10, 0};
    l.rec.lvattr_count2 = 4;
    l.consts[0] = {0x30400, 8, 1, 2};
    l.consts[1] = {0x40400, 5, 5, 2};
    l.info.const_count = 2;
    register_info* ri = create_default_register_info(&l.f.cg, 2);
    EXPECT_EQ(ri->fp_top, 4);
    EXPECT_EQ(ri->fp_cache_count, 4);
    EXPECT_EQ(ri->fent[0].kind, RK_CONST);
    EXPECT_EQ(ri->fent[0].index, -5);
    EXPECT_EQ(ri->fent[1].index, 3);
    EXPECT_EQ(ri->fent[3].index, 1);   // the highest count is st(0)
    EXPECT_TRUE(l.fps[1].attr & LU_NEVER);
}

// A tile block: integer candidates need a count of 2, x87 ones 3, and none
// when the tile carries the flags2 0x20 fact.
TEST(RegRules, TileThresholds)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    local_usage_entry ints[3] = {{1, LU_INT, 5, 0}, {2, LU_INT, 1, 0}, {}};
    local_usage_entry fps[3] = {{3, LU_FLOAT, 3, 0}, {4, LU_FLOAT, 2, 0}, {}};
    tile_record t = {};
    t.tile = 1;
    t.int_cands = ints;
    t.int_count = 2;
    t.fp_cands = fps;
    t.fp_count = 2;
    mcc_set_tiles(&f.m, &t);
    mcc_tile_count(&f.m) = 1;
    f.bb[2].tile_number = 1;
    register_info* ri = create_default_register_info(&f.cg, 2);
    EXPECT_EQ(ri->int_cache_count, 1);
    EXPECT_EQ(ri->fp_top, 1);
    t.flag_byte2 = TR2_HOLDS_CALL;
    ri = create_default_register_info(&f.cg, 2);
    EXPECT_EQ(ri->fp_top, 0);
}

// A float local that a handler uses and the loop writes is cached unless a
// block of the loop is covered by a handler.
TEST(RegRules, HandlerWrittenFloatInALoop)
{
    for (bool covered : {false, true}) {
        loop_fixture l;
        l.setup();
        l.f.mb.exception_table_length = 1;
        l.f.m.state_flags &= ~MCC_LIVENESS_UNAVAILABLE;   // live sets known (all live), handler-used set applies
        u4 all[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
        std::memcpy(l.info.live_in, all, sizeof all);
        l.f.m.regman_words[1] = 0x80000000u;   // local 0 is handler-used
        l.fps[0] = {0, LU_FLOAT | LU_WRITTEN, 9, 0};
        l.rec.lvattr_count2 = 1;
        if (covered)
            reinterpret_cast<u1*>(&l.rec)[1] |= 0x80;
        register_info* ri = create_default_register_info(&l.f.cg, 2);
        EXPECT_EQ(ri->fp_top, covered ? 0 : 1);
    }
}

// Which integer cached locals may stay in a loop: three hot locals leave room
// for four more; a local of count 33281 may stay at position 7, not at 8.
TEST(RegRules, CacheRoomInALoop)
{
    loop_fixture l;
    l.setup();
    for (int i = 0; i < 3; i++)
        l.ints[i] = {(u4)i, LU_INT, 40000, 0};
    for (int i = 3; i < 10; i++)
        l.ints[i] = {(u4)i, LU_INT, 100 - i, 0};
    l.rec.lvattr_count = 10;
    for (int i = 3; i < 8; i++) {   // five low-count locals in registers
        reg_operand o = local_op(i);
        _free_int_reg(&l.f.cg, _get_rd_int_oprnd(&l.f.cg, &o, 0, -1), 0, 0, 0);
    }
    reg_operand fourth = local_op(6), fifth = local_op(7);
    EXPECT_EQ(canbe_cached_int_oprnd(&l.f.cg, &fourth, 2), 1);
    EXPECT_EQ(canbe_cached_int_oprnd(&l.f.cg, &fifth, 2), 0);

    loop_fixture h;
    h.setup();
    for (int i = 0; i < 9; i++)
        h.ints[i] = {(u4)i, LU_INT, 33281, 0};
    h.rec.lvattr_count = 9;
    for (int i : {7, 8}) {
        reg_operand o = local_op(i);
        _free_int_reg(&h.f.cg, _get_rd_int_oprnd(&h.f.cg, &o, 0, -1), 0, 0, 0);
    }
    reg_operand at7 = local_op(7), at8 = local_op(8);
    EXPECT_EQ(canbe_cached_int_oprnd(&h.f.cg, &at7, 2), 1);
    EXPECT_EQ(canbe_cached_int_oprnd(&h.f.cg, &at8, 2), 0);
}

// With every free register of the mask in the hint byte, mode 1 takes the
// lowest free one and mode 3 none; in the first and last block the hint
// counts as 0.
TEST(RegRules, FreeRegisterSearchAndHint)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    quadruple q = {};
    q.byte81 = 0x7F;
    quadruple* qs[1] = {&q};
    f.bb[1].catbl = qs;
    f.bb[1].quad_count = 1;
    EXPECT_EQ(_search_free_ireg(&f.cg, 0x0C, nullptr, 1), 2);
    EXPECT_EQ(_search_free_ireg(&f.cg, 0x0C, nullptr, 3), -1);
    EXPECT_EQ(_search_free_ireg(&f.cg, 0x0C, nullptr, 4), 2);
    f.cg.cur_bb = 0;
    f.bb[0].catbl = qs;
    f.bb[0].quad_count = 1;
    EXPECT_EQ(_search_free_ireg(&f.cg, 0x0C, nullptr, 3), 2);
}

// A mask with a single locked register yields no spill candidate; operand-
// stack values go before locals, the smaller stack index first.
TEST(RegRules, SpillCandidates)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    int t = _alloc_int_reg(&f.cg, 1u << RM_EBX, 0);
    EXPECT_EQ(spillout_candidate_ireg(&f.cg, 1u << t, nullptr), -1);
    register_info* c = CUR(&f.cg);
    c->ient[RM_EAX] = {RK_LOCAL, RT_INT, 0, 1, nullptr};
    c->ient[RM_EDX] = {RK_STACK, RT_INT, 2, 2, nullptr};
    c->ient[RM_ECX] = {RK_STACK, RT_INT, 1, 1, nullptr};
    for (int r = RM_EAX; r <= RM_ECX; r++)
        sw_put(c->imask, r, BUSY_VALID);
    EXPECT_EQ(spillout_candidate_ireg(&f.cg, 0x0F, nullptr), RM_EAX);   // a local (rank 3) over stack values
    c->ient[RM_EAX].kind = RK_CONST;
    EXPECT_EQ(spillout_candidate_ireg(&f.cg, 0x0F, nullptr), RM_EAX);   // a constant (rank 4)
    EXPECT_EQ(spillout_candidate_ireg(&f.cg, 0x06, nullptr), RM_ECX);   // the smaller stack index
}

// States that differ only in the assigned bit or the no-value bit compare
// equal; a dirty bit makes them differ.
TEST(RegRules, StateComparison)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    register_info* c = CUR(&f.cg);
    c->ient[RM_ESI] = {RK_LOCAL, RT_INT, 0, 4, nullptr};
    sw_put(c->imask, RM_ESI, BUSY_VALID);
    register_info* ri = save_register_info(&f.cg);
    sw_put(ri->imask, RM_ESI, (BUSY_VALID | SW(RS_NOVALUE)) & ~SW(RS_ASSIGNED));
    EXPECT_EQ(is_same_int_register_info(&f.cg, ri), 1);
    sw_set(ri->imask, RM_ESI, SW(RS_DIRTY));
    EXPECT_EQ(is_same_int_register_info(&f.cg, ri), 0);
}

// The final target of jumps: a returning block is its own; a goto block
// leads to its successor's; a cycle of gotos and a synchronized instance
// method give none.
TEST(RegRules, FinalJumpTargets)
{
    rm_fixture f;
    rm_setup(&f, 6, 8);
    quadruple ret = {}, jump = {}, jump2 = {};
    ret.opcode = OPC_IRETURN;
    jump.opcode = OPC_GOTO;
    jump2.opcode = OPC_GOTO;
    quadruple* b1[1] = {&jump};
    quadruple* b2[1] = {&ret};
    quadruple* b3[1] = {&jump2};
    u4 s1[1] = {2}, s3[1] = {4}, s4[1] = {3};
    quadruple* b4[1] = {&jump2};
    f.bb[1] = {};
    f.bb[1].catbl = b1;
    f.bb[1].quad_count = 1;
    f.bb[1].succ = s1;
    f.bb[1].succ_count = 1;
    f.bb[2].catbl = b2;
    f.bb[2].quad_count = 1;
    f.bb[3].catbl = b3;
    f.bb[3].quad_count = 1;
    f.bb[3].succ = s3;
    f.bb[3].succ_count = 1;
    f.bb[4].catbl = b4;
    f.bb[4].quad_count = 1;
    f.bb[4].succ = s4;
    f.bb[4].succ_count = 1;
    EXPECT_EQ(_final_jump_target_bb(&f.cg, 1), 2);
    EXPECT_EQ(_final_jump_target_bb(&f.cg, 3), -1);
    rm_setup(&f, 6, 8);
    f.mb.access = 0x20;
    f.bb[2].catbl = b2;
    f.bb[2].quad_count = 1;
    EXPECT_EQ(_final_jump_target_bb(&f.cg, 2), -1);
}

// Clearing the current state keeps the two stack counts; a short-form state
// restores only entries and masks; a method exit without the flush flag
// emits nothing.
TEST(RegRules, StateRecords)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    CUR(&f.cg)->int_stack_count = 3;
    CUR(&f.cg)->fp_stack_count = 2;
    fp_top(&f.cg) = 5;
    clear_current_register_info(&f.cg);
    EXPECT_EQ(CUR(&f.cg)->int_stack_count, 3);
    EXPECT_EQ(CUR(&f.cg)->fp_stack_count, 2);
    EXPECT_EQ(fp_top(&f.cg), 0);
    EXPECT_EQ(CUR(&f.cg)->int_map_count, -1);

    register_info* area = allocate_kill_register_area(&f.cg);
    EXPECT_EQ(area->init_ient, nullptr);
    area->ient[RM_EDI] = {RK_TEMP, RT_INT, 0, RM_EDI, nullptr};
    sw_put(area->imask, RM_EDI, BUSY_VALID);
    int_cache_count(&f.cg) = 4;
    restore_register_info(&f.cg, area);
    EXPECT_EQ(CUR(&f.cg)->ient[RM_EDI].kind, RK_TEMP);
    EXPECT_EQ(int_cache_count(&f.cg), 4);

    reg_operand o = local_op(1);
    int r = _get_wt_int_oprnd(&f.cg, &o, 1, 0);
    _assoc_int_oprnd(&f.cg, &o, r, 0, 0);
    u1* before = f.cg.code;
    BB_reg_finalize(&f.cg, 1, -1, 0);
    EXPECT_EQ(f.cg.code, before);
    BB_reg_finalize(&f.cg, 1, -1, 1);
    EXPECT_NE(f.cg.code, before);
}

// The two passes take the same decisions: a random program measured in pass
// 1 counts exactly the bytes pass 2 writes.
TEST(RegRules, MeasuringAndWritingAgree)
{
    for (int pass : {CG_PASS_MEASURE, CG_PASS_WRITE}) {
        static u4 sizes[2];
        rm_fixture f;
        rm_setup(&f, 4, 12, pass);
        for (int i = 0; i < 40; i++) {
            reg_operand a = local_op(i % 12), b = local_op((i * 5) % 12);
            int ra = _get_rd_int_oprnd(&f.cg, &a, 0, -1);
            int rb = _get_wt_int_oprnd(&f.cg, &b, 1, 0);
            gen_move_ireg_ireg(&f.cg, rb, ra);
            _assoc_int_oprnd(&f.cg, &b, rb, 0, 0);
            _free_int_reg(&f.cg, ra, 0, 0, 0);
            _free_int_reg(&f.cg, rb, 0, 0, 0);
        }
        _flush_all_regs(&f.cg, 0);
        sizes[pass - 1] = pass == CG_PASS_MEASURE ? f.cg.code_size : (u4)(f.cg.code - f.start);
        if (pass == CG_PASS_WRITE) {
            EXPECT_EQ(sizes[0], sizes[1]);
        }
    }
}

// The tick record: a three-operand quadruple defining both sources records
// their distances at the current quadruple; a long local sets both words.
TEST(RegRules, TickRecordsDefinitions)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    static s2 val[8], pos[8];
    f.cg.tick_val = val;
    f.cg.tick_pos = pos;
    quadruple q = {};
    q.opcount = 2;
    q.src1 = {0x11, 0, 2, 0, 0, 7, 0};
    q.src2 = {0x31, 0, 4, 0, 0, 9, 0};
    std::memcpy(reinterpret_cast<u1*>(&q.src1) + 6, "\x07\x00", 2);
    std::memcpy(reinterpret_cast<u1*>(&q.src2) + 6, "\x09\x00", 2);
    quadruple* slot = &q;
    f.cg.cur_quad = 5;
    _TICK(&f.cg, &slot, 1);
    EXPECT_EQ(val[2], 7);
    EXPECT_EQ(pos[2], 5);
    EXPECT_EQ(val[4], 9);
    EXPECT_EQ(val[5], 9);
    EXPECT_EQ(pos[5], 5);
}

// An edge into a block covered by a handler stores the dirty cached locals
// that handlers read, and only those.
TEST(RegRules, HandlerBlockEdgeStoresHandlerLocals)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    f.m.state_flags &= ~MCC_LIVENESS_UNAVAILABLE;
    f.mb.exception_table_length = 1;
    f.m.regman_words[1] = 0x40000000u;   // local 1 is handler-used (bit 62)
    f.bb[2].flags = BB_HANDLER_COVERED;
    register_info* c = CUR(&f.cg);
    c->ient[RM_EBX] = {RK_LOCAL, RT_INT, 0, 1, nullptr};
    c->ient[RM_ESI] = {RK_LOCAL, RT_INT, 0, 3, nullptr};
    sw_put(c->imask, RM_EBX, BUSY_VALID | SW(RS_DIRTY));
    sw_put(c->imask, RM_ESI, BUSY_VALID | SW(RS_DIRTY));
    _flush_cache(&f.cg, 0, 0, 1);
    EXPECT_FALSE(sw_has(c->imask, RM_EBX, RS_DIRTY));
    EXPECT_TRUE(sw_has(c->imask, RM_ESI, RS_DIRTY));
    machine in = {}, out;
    in.reg[RM_EBX] = 77;
    in.reg[RM_ESI] = 88;
    rm_run(&f, in, &out, 0);
    // With an exception table the frame holds the handler registration:
    // the locals lie 20 bytes further down.
    auto word_of = [&](s4 local) { return (-C_Style_local(&f.cg, local, 0) - 4) / 4; };
    EXPECT_EQ(out.frame[word_of(1)], 77u);
    EXPECT_EQ(out.frame[word_of(3)], 0u);
}
