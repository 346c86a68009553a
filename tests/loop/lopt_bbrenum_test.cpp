// Block renumbering, merging and straightening on hand-made graphs, with
// appended blocks, deleted blocks and loops.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "df_graph.h"
#include "df_vm_env.h"

namespace {

using dftest::graph;
using list = std::vector<u4>;

class Blocks : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

list ids(graph& g)
{
    list v;
    for (u4 i = 0; i < g.m.bb_count; i++)
        v.push_back(g.block(i)->id);
    return v;
}

list succs(bbattr* b) { return list(b->succ, b->succ + b->succ_count); }

// The table as the original block numbers of its entries.
list layout(graph& g, const std::vector<bbattr*>& original)
{
    list v;
    for (u4 i = 0; i < g.m.bb_count; i++)
        for (u4 k = 0; k < original.size(); k++)
            if (g.block(i) == original[k])
                v.push_back(k);
    return v;
}

std::vector<bbattr*> snapshot(graph& g) { return std::vector<bbattr*>(g.m.bb_table, g.m.bb_table + g.m.bb_count); }

} // namespace

// Two insertions at one anchor, one before and one after it: the
// before-range, the anchor, the after-range; every block number the method
// holds follows.
TEST_F(Blocks, InsertionsBeforeAndAfterOneAnchor)
{
    dftest::run([&](EE*) {
        graph g;
        // Existing 1..3, appended 4 and 5, exit 6.  4 and 5 belong around 2.
        g.build(7, {{1}, {4}, {6}, {6}, {2}, {3}});
        g.set_quads(1, {OPC_OTHER, OPC_IFZ});
        g.block(1)->catbl[1]->target = 4;
        g.set_quads(5, {OPC_JSR, OPC_GOTO});
        g.block(5)->catbl[0]->target = 3;
        g.block(5)->catbl[1]->target = 3;
        g.m.state_flags |= MCC_MMI2JIT;
        g.m.frontend_words[TR_RESUME] = 3;
        auto original = snapshot(g);
        ASSERT_EQ(gen_cins_info(&g.m, 2, 5, 5, CINS_AFTER), 1);
        ASSERT_EQ(gen_cins_info(&g.m, 2, 4, 4, CINS_BEFORE), 1);
        ASSERT_EQ(bb_renumbering(&g.m, 0), 1);
        EXPECT_EQ(layout(g, original), (list{0, 1, 4, 2, 5, 3, 6}));
        EXPECT_EQ(ids(g), (list{0, 1, 2, 3, 4, 5, 6}));
        EXPECT_EQ(succs(g.block(1)), (list{2}));
        EXPECT_EQ(g.block(1)->catbl[1]->target, 2u);
        EXPECT_EQ(succs(g.block(2)), (list{3}));
        EXPECT_EQ(g.block(4)->catbl[0]->target, 5u);
        EXPECT_EQ(g.block(4)->catbl[1]->target, 5u);
        bbattr* exit = g.block(6);
        EXPECT_EQ(list(exit->succ, exit->succ + exit->pred_count), (list{3, 5}));
        EXPECT_EQ(mcc_cins_list(&g.m), nullptr);
        EXPECT_EQ(g.m.frontend_words[TR_RESUME], 5u);
        g.release();
    });
}

// A deleted block is dropped, and a reference to it resolves to the block
// placed just before it; a subroutine list loses it and keeps the others in
// order; negative entries of block 0 keep their sign.
TEST_F(Blocks, DeletedBlocksDropOut)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(7, {{1, -4}, {2}, {3}, {6}, {5}, {6}});
        g.subroutines(1);
        g.subroutine(0).block_count = 3;
        g.subroutine(0).blocks = static_cast<u4*>(jit_wmem_alloc(g.m.pool1, 12));
        g.subroutine(0).blocks[0] = 4;
        g.subroutine(0).blocks[1] = 2;
        g.subroutine(0).blocks[2] = 5;
        g.block(2)->flags |= BB_DEAD;
        auto original = snapshot(g);
        // Block 5 is "appended": it belongs right after block 1.
        ASSERT_EQ(gen_cins_info(&g.m, 1, 5, 5, CINS_AFTER), 1);
        ASSERT_EQ(bb_renumbering(&g.m, 0), 1);
        EXPECT_EQ(layout(g, original), (list{0, 1, 5, 3, 4, 6}));
        EXPECT_EQ(g.m.bb_count, 6u);
        EXPECT_EQ(succs(g.block(1)), (list{2}));        // the deleted 2 -> the block before it (old 5)
        EXPECT_EQ(succs(g.block(0)), (list{1, static_cast<u4>(-4)}));
        subroutine_info& s = g.subroutine(0);
        EXPECT_EQ(list(s.blocks, s.blocks + s.block_count), (list{4, 2}));
        g.release();
    });
}

// A chain's inner gotos disappear and the method's quadruple total drops by
// their number; the last block's goto stays as an empty quadruple of kind 5;
// the first block takes the last one's successors and marks.
TEST_F(Blocks, MergeDropsInnerGotos)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(6, {{1}, {2}, {3}, {4}, {5}});
        g.set_quads(2, {OPC_OTHER, OPC_GOTO});
        g.set_quads(3, {OPC_IOP2, OPC_GOTO});
        g.set_quads(4, {OPC_IOP1, OPC_GOTO});
        g.block(4)->flags |= BB_DFS_RULE | BB_LOOP_EXITING;
        g.block(4)->flags2 |= BB2_TRANSFER_PC;
        u4 total = g.m.total_quad_count;
        bb_chain_node n4{4, nullptr}, n3{3, &n4}, n2{2, &n3};
        ASSERT_EQ(bb_merge(&g.m, &n2), 1);
        bbattr* a = g.block(2);
        ASSERT_EQ(a->quad_count, 4u);
        EXPECT_EQ(a->catbl[0]->opcode, OPC_OTHER);
        EXPECT_EQ(a->catbl[1]->opcode, OPC_IOP2);
        EXPECT_EQ(a->catbl[2]->opcode, OPC_IOP1);
        EXPECT_EQ(a->catbl[3]->opcode, OPC_OTHER);
        EXPECT_EQ(a->catbl[3]->subcode & QS_KIND_MASK, OTHER_NOP_DELETED);
        EXPECT_EQ(static_cast<s4>(a->catbl[3]->src2.value), -1);
        EXPECT_EQ(g.m.total_quad_count, total - 2);
        EXPECT_EQ(succs(a), (list{5}));
        EXPECT_TRUE(a->flags & BB_DFS_RULE);
        EXPECT_TRUE(a->flags & BB_LOOP_EXITING);
        EXPECT_TRUE(a->flags2 & BB2_TRANSFER_PC);
        EXPECT_FALSE(g.block(4)->flags2 & BB2_TRANSFER_PC);
        EXPECT_TRUE(g.block(3)->flags & BB_DEAD);
        EXPECT_TRUE(g.block(4)->flags & BB_DEAD);
        // remove_nop squeezes the empty quadruple out.
        remove_nop(&g.m);
        EXPECT_EQ(a->quad_count, 3u);
        g.release();
    });
}

// Fewer than four blocks: nothing happens.  Block 1 (the entry pad) never
// joins; a block whose successor has another predecessor does not continue.
TEST_F(Blocks, StraighteningChains)
{
    dftest::run([&](EE*) {
        graph small;
        small.build(3, {{1}, {2}});
        ASSERT_EQ(generate_dfs_list_traditional(&small.m), 1);
        int changed = 7;
        EXPECT_EQ(bb_straightening(&small.m, 1, &changed), 0);
        EXPECT_EQ(changed, 0);

        graph g;
        // 1 -> 2 -> 3 -> {4, 5}; 4 -> 6; 5 -> 6; 6 -> 7 -> exit 9; 8 unreached.
        g.build(10, {{1}, {2}, {3}, {4, 5}, {6}, {6}, {7}, {9}, {9}});
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        EXPECT_TRUE(g.block(8)->flags & BB_DEAD);
        ASSERT_EQ(bb_straightening(&g.m, 1, &changed), 0);
        EXPECT_EQ(changed, 1);
        EXPECT_FALSE(g.block(1)->flags & BB_DEAD);
        EXPECT_FALSE(g.block(2)->flags & BB_DEAD);
        EXPECT_TRUE(g.block(3)->flags & BB_DEAD);       // 2 + 3
        EXPECT_EQ(g.block(2)->quad_count, 2u);
        EXPECT_EQ(succs(g.block(2)), (list{4, 5}));
        EXPECT_FALSE(g.block(6)->flags & BB_DEAD);      // two predecessors
        EXPECT_TRUE(g.block(7)->flags & BB_DEAD);       // 6 + 7
        EXPECT_EQ(succs(g.block(6)), (list{9}));
        bbattr* exit = g.block(9);
        EXPECT_EQ(list(exit->succ, exit->succ + exit->pred_count), (list{6}));
        ASSERT_EQ(regenerate_dfs_list(&g.m), 1);
        g.release();
    });
}

// Blocks of different loops, or one in a loop and one outside, never merge.
TEST_F(Blocks, LoopBoundariesStopChains)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(7, {{1}, {2}, {3}, {4}, {5}, {6}});
        for (u4 b : {3u, 4u}) {
            g.block(b)->flags |= BB_LOOP_MEMBER;
            g.block(b)->loop_index = 0;
        }
        g.block(5)->flags |= BB_LOOP_MEMBER;
        g.block(5)->loop_index = 1;
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        int changed = 0;
        ASSERT_EQ(bb_straightening(&g.m, 1, &changed), 0);
        EXPECT_FALSE(g.block(3)->flags & BB_DEAD);      // 2 outside, 3 inside
        EXPECT_TRUE(g.block(4)->flags & BB_DEAD);       // 3 + 4, same loop
        EXPECT_FALSE(g.block(5)->flags & BB_DEAD);      // another loop
        g.release();
    });
}

// Fault guarded: a failed merge must not go unnoticed after the maps were
// rewritten.  Every merged array is taken before anything is rewritten, and
// a chain without quadruples needs none: two empty blocks merge cleanly.
TEST_F(Blocks, EmptyChainMergesWithoutAnArray)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(6, {{1}, {2}, {3}, {4}, {5}}, 0);
        g.set_quads(1, {OPC_OTHER});
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        int changed = 0;
        testing::internal::CaptureStderr();
        EXPECT_EQ(bb_straightening(&g.m, 1, &changed), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(g.block(3)->flags & BB_DEAD);
        EXPECT_TRUE(g.block(4)->flags & BB_DEAD);
        EXPECT_EQ(g.block(2)->quad_count, 0u);
        EXPECT_EQ(succs(g.block(2)), (list{5}));
        g.release();
    });
}
