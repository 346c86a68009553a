// The classic DFS list builder on hand-made graphs: the order it produces,
// handler groups, the block lists of subroutines, a transfer compile's
// target inside a subroutine, and the sweeps that flag unreached blocks.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "df_graph.h"
#include "df_vm_env.h"

namespace {

using dftest::graph;
using list = std::vector<u4>;

class Dfs : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

exception_entry one_handler[1];

} // namespace

// Every block reached from the entry: block 0 first, the exit last, and a
// successor that leads straight to the exit is explored first, so it lands
// after the main path.
TEST_F(Dfs, ReversePostOrderWithExitLeadingSuccessorsLast)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(6, {{1}, {2, 3}, {4}, {5}, {5}});
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        EXPECT_EQ(g.dfs(), (list{0, 1, 2, 4, 3, 5}));
        EXPECT_EQ(g.block(0)->pred_count, 0u);
        EXPECT_EQ(g.block(5)->succ_count, 0u);
        for (u4 b = 0; b < 6; b++)
            EXPECT_FALSE(g.block(b)->flags & BB_DEAD) << b;
        // The branch-sense flag takes position 0 first instead.
        g.build(6, {{1}, {2, 3}, {4}, {5}, {5}});
        g.block(1)->flags |= BB_DFS_RULE;
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        EXPECT_EQ(g.dfs(), (list{0, 1, 3, 2, 4, 5}));
        g.release();
    });
}

// A handler reached only from block 0: its group follows the main path and
// its blocks carry the reached-from-handler flag.
TEST_F(Dfs, HandlerGroupsFollowTheMainPath)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(7, {{1, 4}, {2}, {3}, {6}, {5}, {6}});
        g.mb.exception_table = reinterpret_cast<u2*>(one_handler);
        g.mb.exception_table_length = 1;
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        EXPECT_EQ(g.dfs(), (list{0, 1, 2, 3, 4, 5, 6}));
        for (u4 b : {4u, 5u})
            EXPECT_TRUE(g.block(b)->flags & BB_FROM_HANDLER) << b;
        for (u4 b : {1u, 2u, 3u})
            EXPECT_FALSE(g.block(b)->flags & BB_FROM_HANDLER) << b;
        g.release();
    });
}

// A subroutine whose entry only its region reaches: its blocks form its list,
// stay out of the DFS list and are not flagged unreachable.  One whose entry
// the main flow reaches gets the main-flow flag and no blocks, and keeps
// none when the main flow no longer reaches it.
TEST_F(Dfs, SubroutineListsAndTheMainFlowFlag)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(8, {{1, -4, -3}, {2}, {3}, {7}, {5}, {6}, {7}});
        g.subroutines(2);
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        EXPECT_EQ(g.dfs(), (list{0, 1, 2, 3, 7}));
        subroutine_info& own = g.subroutine(0);
        subroutine_info& reached = g.subroutine(1);
        EXPECT_EQ(list(own.blocks, own.blocks + own.block_count), (list{4, 5, 6}));
        EXPECT_FALSE(own.flags & SUBR_MAIN_FLOW);
        EXPECT_TRUE(reached.flags & SUBR_MAIN_FLOW);
        EXPECT_EQ(reached.block_count, 0u);
        for (u4 b = 4; b <= 6; b++)
            EXPECT_FALSE(g.block(b)->flags & BB_DEAD) << b;
        // Block 2 now returns: block 3 is reached only as subroutine 1's entry.
        g.block(2)->succ[0] = 7;
        g.block(3)->pred_count = 0;
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        EXPECT_EQ(reached.block_count, 0u);
        EXPECT_FALSE(g.block(3)->flags & BB_DEAD);
        g.release();
    });
}

// A transfer compile whose target block lies in a subroutine cannot be built.
TEST_F(Dfs, TransferTargetInsideASubroutineFails)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(7, {{1, -4, 5}, {2}, {3}, {6}, {6}, {4}});
        g.subroutines(1);
        g.m.state_flags |= MCC_MMI2JIT;
        g.m.frontend_words[TR_ENTRY] = 5;
        EXPECT_EQ(generate_dfs_list_traditional(&g.m), 0);
        g.m.frontend_words[TR_ENTRY] = 0;
        EXPECT_EQ(generate_dfs_list_traditional(&g.m), 1);
        g.release();
    });
}

// Unreached blocks are flagged, their quadruples leave the method's count,
// a successor left without predecessors follows (in the same sweep when it
// comes later, in another sweep when it comes earlier), and a returning
// block leaves the exit block's list.
TEST_F(Dfs, UnreachedBlocksCascade)
{
    dftest::run([&](EE*) {
        graph g;
        // 1 -> 7(exit); 2 <- 5 (earlier, only pred 5); 5 -> 6 (later, only pred 5); 6 returns.
        g.build(8, {{1}, {7}, {3}, {7}, {7}, {2, 6}, {7}});
        g.set_quads(5, {OPC_OTHER, OPC_OTHER, OPC_OTHER});
        u4 total = g.m.total_quad_count;
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        EXPECT_EQ(g.dfs(), (list{0, 1, 7}));
        for (u4 b = 2; b <= 6; b++)
            EXPECT_TRUE(g.block(b)->flags & BB_DEAD) << b;
        EXPECT_EQ(g.m.total_quad_count, total - 7);
        bbattr* exit = g.block(7);
        EXPECT_EQ(list(exit->succ, exit->succ + exit->pred_count), (list{1}));
        g.release();
    });
}
