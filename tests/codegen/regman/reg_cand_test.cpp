// Register candidates: sorting, the split into integer and floating tables,
// loops and tiles, the per-block lists of used locals and the register
// preferences written into quadruple operands.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "frontend/qgen.h"
#include "reg_test_util.h"

namespace {

// A method with blocks 0..n-1 (block n-1 the exit), usage tables per block.
struct cand_method {
    rm_fixture f;
    local_usage_entry usage[RM_TEST_BLOCKS][RM_TEST_LOCALS];
    u4 succ[RM_TEST_BLOCKS][2];

    void setup(int nblocks, int nlocals)
    {
        rm_setup(&f, nblocks, nlocals);
        std::memset(usage, 0, sizeof usage);
        for (int b = 0; b < nblocks; b++) {
            f.bb[b].var_table = usage[b];
            succ[b][0] = (u4)(b + 1);
            f.bb[b].succ = succ[b];
            f.bb[b].succ_count = b + 1 < nblocks ? 1 : 0;
        }
    }
    void use(int block, int local, u4 attr, s4 count)
    {
        usage[block][local].attr |= attr;
        usage[block][local].count += count;
        usage[0][local].attr |= attr;
        usage[0][local].count += count;
    }
};

}  // namespace

// Two halves of a long with equal counts stay adjacent and in order; the
// unstable sort takes the first of equal maxima.
TEST(RegCand, SortLocalTable)
{
    local_usage_entry t[5] = {{1, 0, 3, 0}, {2, LU_LONG_LO, 7, 0}, {3, LU_LONG_HI, 7, 0}, {4, 0, 9, 0}, {5, 0, 7, 0}};
    sort_local_tbl(nullptr, 5, t, 1);
    u4 order[5];
    for (int i = 0; i < 5; i++)
        order[i] = t[i].local;
    EXPECT_EQ((std::vector<u4>(order, order + 5)), (std::vector<u4>{4, 2, 3, 5, 1}));
    local_usage_entry u[4] = {{1, 0, 2, 0}, {2, 0, 5, 0}, {3, 0, 5, 0}, {4, 0, 1, 0}};
    sort_local_tbl(nullptr, 4, u, 0);
    EXPECT_EQ(u[0].local, 2u);
    EXPECT_EQ(u[1].local, 3u);
}

// Without loops: one tile; with the register-locals count 0 it has no
// candidates; otherwise integer-class and floating-class candidates split,
// a never-candidate local in neither.
TEST(RegCand, TilesWithoutLoops)
{
    cand_method c;
    c.setup(4, 6);
    c.use(1, 0, LU_INT, 5);
    c.use(1, 1, LU_FLOAT, 4);
    c.use(2, 2, LU_DOUBLE_LO, 2);
    c.use(2, 3, LU_DOUBLE_HI, 2);
    c.use(2, 4, LU_INT | LU_NEVER, 8);
    c.use(2, 5, LU_WORD, 9);
    ASSERT_EQ(tile_reg_alloc(&c.f.m, nullptr), 0);
    EXPECT_EQ(mcc_tile_count(&c.f.m), 1u);
    EXPECT_EQ(mcc_tiles(&c.f.m)->int_cands, nullptr);
    EXPECT_EQ(c.f.bb[1].tile_number, 1u);

    mcc_set_reg_locals(&c.f.m, 8);
    ASSERT_EQ(tile_reg_alloc(&c.f.m, reinterpret_cast<var_usage_entry*>(c.usage[0])), 0);
    const tile_record* t = mcc_tiles(&c.f.m);
    ASSERT_EQ(t->int_count, 2);
    EXPECT_EQ(t->int_cands[0].local, 5u);
    EXPECT_EQ(t->int_cands[1].local, 0u);
    ASSERT_EQ(t->fp_count, 3);
    EXPECT_EQ(t->fp_cands[0].local, 1u);
    for (u4 b = 0; b < 3; b++)
        EXPECT_EQ(c.f.bb[b].tile_number, 1u) << b;
}

// Loops: a register-tile (collapsed) loop is a tile of its own; the gaps
// between loops are tiles; an ordinary loop's blocks get no tile and its
// candidates come from its member blocks.
TEST(RegCand, LoopsAndTiles)
{
    cand_method c;
    c.setup(8, 4);
    // Loop 0: blocks 2..3 (ordinary); loop 1: blocks 5..6 (collapsed region).
    static bbattr* members0[2];
    static bbattr* members1[2];
    members0[0] = &c.f.bb[2];
    members0[1] = &c.f.bb[3];
    members1[0] = &c.f.bb[5];
    members1[1] = &c.f.bb[6];
    static loopattribute body0, body1;
    body0 = {};
    body1 = {};
    body0.first_id = 2;
    body0.last_id = 3;
    body0.entry_id = 2;
    body0.block_count = 2;
    body0.blocks = members0;
    body1.first_id = 5;
    body1.last_id = 6;
    body1.entry_id = 5;
    body1.block_count = 2;
    body1.blocks = members1;
    static loop_table_record loops[2];
    loops[0] = {};
    loops[1] = {};
    loops[0].body = &body0;
    loops[1].body = &body1;
    loops[1].flags = LOOP_INVALID;
    static void* table[2] = {&loops[0], &loops[1]};
    c.f.m.loop_table = table;
    c.f.m.loop_count = 2;
    c.use(2, 1, LU_INT, 10);
    c.use(3, 1, LU_INT, 10);
    c.use(3, 2, LU_FLOAT, 3);
    c.use(1, 0, LU_INT, 1);
    ASSERT_EQ(loop_localreg_alloc(&c.f.m), 0);
    ASSERT_EQ(loops[0].lvattr_count, 1);
    EXPECT_EQ(static_cast<local_usage_entry*>(loops[0].lvattr_table)[0].count, 20);
    EXPECT_EQ(loops[0].lvattr_count2, 1);
    ASSERT_EQ(tile_reg_alloc(&c.f.m, reinterpret_cast<var_usage_entry*>(c.usage[0])), 0);
    EXPECT_EQ(c.f.bb[1].tile_number, 1u);   // the gap before loop 0
    EXPECT_EQ(c.f.bb[2].tile_number, 0u);   // ordinary loop: no tile of its own
    EXPECT_EQ(c.f.bb[4].tile_number, 3u);   // gap between the loops (tile 2 is the collapsed loop)
    EXPECT_EQ(c.f.bb[5].tile_number, 2u);
    EXPECT_EQ(mcc_tile_count(&c.f.m), 3u);
}

// The per-block list: count, an unused word, then (local, attributes) of the
// locals with a positive count, in order.
TEST(RegCand, LvattrList)
{
    cand_method c;
    c.setup(4, 6);
    c.use(1, 4, LU_INT | LU_READ, 2);
    c.use(1, 1, LU_FLOAT, 1);
    ASSERT_EQ(allocate_lvattr_tbl(&c.f.m, &c.f.bb[1]), 0);
    const u4* l = bb_reg_lvattr(&c.f.bb[1]);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l[0], 2u);
    EXPECT_EQ(l[2], 1u);
    EXPECT_EQ(l[4], 4u);
    EXPECT_EQ(l[5], LU_INT | LU_READ);
    ASSERT_EQ(allocate_lvattr_tbl(&c.f.m, &c.f.bb[2]), 0);
    EXPECT_EQ(bb_reg_lvattr(&c.f.bb[2]), nullptr);
}

// Shift counts prefer ecx, dividends eax (when it is their last use); a
// constant shift count and a non-local dividend get nothing.
TEST(RegCand, RegisterPreferences)
{
    cand_method c;
    c.setup(3, 4);
    quadruple q[4] = {};
    auto three = [](quadruple& x, u2 op, u1 k1, u2 n1, u1 k2, u2 n2) {
        x.opcode = OPC_IOP2;
        x.opcount = 2;
        x.op = op;
        quad_operand_set(x.result, 0x11, 3);
        quad_operand_set(x.src1, k1, n1);
        quad_operand_set(x.src2, k2, n2);
    };
    three(q[0], QOP_SHL, 0x11, 0, 0x11, 1);
    three(q[1], QOP_SHR, 0x11, 0, 0x13, 5);
    three(q[2], QOP_DIV, 0x11, 2, 0x11, 1);
    q[2].src1.flags |= 1;
    three(q[3], QOP_DIV, 0x13, 7, 0x11, 1);
    quadruple* ptrs[4] = {&q[0], &q[1], &q[2], &q[3]};
    c.f.bb[1].catbl = ptrs;
    c.f.bb[1].quad_count = 4;
    EXPECT_EQ(add_and_allocate_color(&c.f.m), 0);
    EXPECT_EQ(q[0].src2.reg, 4);
    EXPECT_EQ(q[1].src2.reg, 0);
    EXPECT_EQ(q[2].src1.reg, 1);
    EXPECT_EQ(q[3].src1.reg, 0);
}
