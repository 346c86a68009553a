// The loop table on small hand-made graphs (nests, a second entry, a loop
// that a handler re-enters) and the branch reversal along the DFS order.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "df_graph.h"
#include "df_vm_env.h"
#include "loop/loop.h"

namespace {

using dftest::graph;
using list = std::vector<u4>;

class LoopTable : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

exception_entry one_handler[1];

list blocks_of(const loopattribute* a)
{
    list v;
    for (u4 i = 0; i < a->block_count; i++)
        v.push_back(a->blocks[i]->id);
    return v;
}

list incoming_of(const loopattribute* a)
{
    list v;
    for (loop_link* l = a->pre_entry; l != nullptr; l = l->next)
        v.push_back(l->value);
    return v;
}

// Builds the DFS list and the loop table.
void build_table(graph& g)
{
    ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
    ASSERT_EQ(construct_loop_structure(&g.m), 1);
}

} // namespace

// A perfect nest of three loops is one record of three levels, level 0 the
// innermost; each level knows its header, range, blocks (header last),
// incoming blocks (latches included) and exits; every block ends with the
// level and marks of its innermost level.
TEST_F(LoopTable, PerfectNestIsOneRecordOfThreeLevels)
{
    dftest::run([&](EE*) {
        graph g;
        // 1 -> [2 -> [3 -> [4 -> 5 ->4?] ...
        //  2: outer header, 3: middle header, 4: inner header and latch,
        //  5: middle latch, 6: outer latch, 7: after the nest.
        g.build(9, {{1}, {2}, {3}, {4}, {5, 4}, {6, 3}, {7, 2}, {8}});
        build_table(g);
        ASSERT_EQ(g.m.loop_count, 1u);
        loop_table_record* loop = mcc_loop(&g.m, 0);
        EXPECT_EQ(loop->depth, 3);
        EXPECT_FALSE(loop->flags & LOOP_INVALID);
        ASSERT_NE(loop->levels, nullptr);
        EXPECT_EQ(loop->body, loop->levels[2]);
        struct {
            u4 header, first, last;
            list blocks;
            list incoming;
            s4 exits;
        } want[3] = {
            {4, 4, 4, {4}, {4, 3}, 1},
            {3, 3, 5, {4, 5, 3}, {5, 2}, 1},
            {2, 2, 6, {3, 4, 5, 6, 2}, {6, 1}, 1},
        };
        for (int k = 0; k < 3; k++) {
            loopattribute* a = loop->levels[k];
            EXPECT_EQ(a->level, k);
            EXPECT_EQ(a->entry_id, want[k].header) << k;
            EXPECT_EQ(a->first_id, want[k].first) << k;
            EXPECT_EQ(a->last_id, want[k].last) << k;
            EXPECT_EQ(blocks_of(a), want[k].blocks) << k;
            EXPECT_EQ(incoming_of(a), want[k].incoming) << k;
            EXPECT_EQ(a->exit_count, want[k].exits) << k;
        }
        ASSERT_EQ(loop->body->exit_count, 1);
        EXPECT_EQ(loop->body->exits[0], 6u);
        EXPECT_EQ(loop->levels[0]->exits, nullptr);
        // Levels and marks.
        const u4 depth[] = {0, 0, 2, 1, 0, 1, 2, 0};
        for (u4 b = 2; b <= 6; b++) {
            EXPECT_EQ(g.block(b)->loop_depth, depth[b]) << b;
            EXPECT_EQ(g.block(b)->loop_index, 0) << b;
            EXPECT_TRUE(g.block(b)->flags & BB_LOOP_MEMBER) << b;
        }
        for (u4 b : {1u, 7u})
            EXPECT_FALSE(g.block(b)->flags & BB_LOOP_MEMBER) << b;
        EXPECT_TRUE(g.block(4)->flags & BB_LOOP_INNERMOST_HEAD);
        EXPECT_TRUE(g.block(4)->flags & BB_INNERMOST_LOOP);
        EXPECT_TRUE(g.block(3)->flags & BB_LOOP_INNER_HEAD);
        EXPECT_FALSE(g.block(2)->flags & BB_LOOP_INNER_HEAD);
        for (u4 b : {2u, 3u, 4u})
            EXPECT_TRUE(g.block(b)->flags & BB_LOOP_HEADER) << b;
        EXPECT_TRUE(g.block(2)->flags & BB_LOOP_FIRST);
        EXPECT_TRUE(g.block(6)->flags & BB_LOOP_LAST);
        EXPECT_TRUE(g.block(6)->flags & BB_LOOP_EXITING);
        EXPECT_TRUE(g.block(4)->flags & BB_LOOP_INNERMOST_EXIT);
        EXPECT_TRUE(g.block(5)->flags & BB_LOOP_INNER_EXIT);
        g.release();
    });
}

// Two sibling loops inside one outer loop: the nest is one collapsed record
// with only its main attribute, every block of it marked collapsed.
TEST_F(LoopTable, SiblingInnerLoopsCollapseTheNest)
{
    dftest::run([&](EE*) {
        graph g;
        // 2: outer header; 3 and 4 two self loops; 5 the outer latch.
        g.build(8, {{1}, {2}, {3}, {4, 3}, {5, 4}, {6, 2}, {7}});
        build_table(g);
        ASSERT_EQ(g.m.loop_count, 1u);
        loop_table_record* loop = mcc_loop(&g.m, 0);
        EXPECT_TRUE(loop->flags & LOOP_INVALID);
        EXPECT_EQ(loop->levels, nullptr);
        EXPECT_EQ(loop->depth, 1);
        EXPECT_EQ(loop->body->entry_id, 2u);
        EXPECT_EQ(loop->body->block_count, 4u);
        EXPECT_EQ(loop->body->blocks[3]->id, 2u);
        for (u4 b = 2; b <= 5; b++)
            EXPECT_EQ(g.block(b)->flags & (BB_LOOP_MEMBER | BB_LOOP_INVALID), BB_LOOP_MEMBER | BB_LOOP_INVALID) << b;
        g.release();
    });
}

// A cycle with two entries is not reducible: no loops at all, and no block
// keeps a loop mark.
TEST_F(LoopTable, SecondEntryMeansNoLoops)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(7, {{1}, {2, 3}, {3}, {4, 2}, {5, 3}, {6}});
        build_table(g);
        EXPECT_EQ(g.m.loop_count, 0u);
        for (u4 b = 0; b < 7; b++)
            EXPECT_FALSE(g.block(b)->flags & BB_LOOP_MEMBER) << b;
        // Adding a proper loop elsewhere still gives none.
        g.build(8, {{1}, {2, 3}, {3}, {4, 2}, {5, 3}, {6}, {7, 6}});
        build_table(g);
        EXPECT_EQ(g.m.loop_count, 0u);
        g.release();
    });
}

// A handler that re-enters a loop makes it a collapsed region; a handler
// whose blocks lie within the loop's block range leaves the loop without a
// record (every user reads a loop as the range of its blocks).
TEST_F(LoopTable, HandlerReenteringALoop)
{
    dftest::run([&](EE*) {
        graph g;
        // Loop 2..4 (latch 4); handler 6 jumps back to 4.
        g.build(8, {{1, 6}, {2}, {3}, {4}, {5, 2}, {7}, {4}});
        g.mb.exception_table = reinterpret_cast<u2*>(one_handler);
        g.mb.exception_table_length = 1;
        g.block(6)->flags |= BB_HANDLER;
        build_table(g);
        ASSERT_EQ(g.m.loop_count, 1u);
        loop_table_record* loop = mcc_loop(&g.m, 0);
        EXPECT_TRUE(loop->flags & LOOP_INVALID);
        EXPECT_EQ(loop->body->first_id, 2u);
        EXPECT_EQ(loop->body->last_id, 4u);
        EXPECT_FALSE(g.block(6)->flags & BB_LOOP_MEMBER);
        // The same loop with the handler numbered among its blocks.
        g.build(8, {{1, 3}, {2}, {4}, {4}, {5, 2}, {6}, {7}});
        g.mb.exception_table = reinterpret_cast<u2*>(one_handler);
        g.mb.exception_table_length = 1;
        g.block(3)->flags |= BB_HANDLER;
        build_table(g);
        EXPECT_EQ(g.m.loop_count, 0u);
        g.release();
    });
}

// A loop without an exit edge has an exit count of 0.
TEST_F(LoopTable, LoopWithoutExit)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(5, {{1}, {2}, {3}, {2}});
        build_table(g);
        ASSERT_EQ(g.m.loop_count, 1u);
        EXPECT_EQ(mcc_loop(&g.m, 0)->body->exit_count, 0);
        EXPECT_EQ(mcc_loop(&g.m, 0)->body->exits, nullptr);
        g.release();
    });
}

// Branch reversal: a conditional branch whose target follows it in DFS
// order gets the negated condition, its successors exchanged and its
// direction flags swapped; the class-hierarchy guard switches its sense.  A
// condition without a negation (here 12, and 1 "always") is never swapped:
// under an unchanged condition that would send the branch to the other block.
TEST_F(LoopTable, BranchReversalAlongTheDfsOrder)
{
    dftest::run([&](EE*) {
        struct {
            u1 opcode;
            u2 op;
            bool swapped;
            u2 op_after;
        } rows[] = {
            {OPC_IFZ, QCC_LT, true, QCC_GE},
            {OPC_IFCMP, QCC_NE, true, QCC_EQ},
            {OPC_LCMP_BRANCH, 9, true, 10},
            {OPC_DCMP_BRANCH, 19, true, 20},
            {OPC_IFZ, 12, false, 12},
            {OPC_IFCMP, QCC_ALWAYS, false, QCC_ALWAYS},
            {OPC_CHA_GUARD, 1, true, 2},
            {OPC_CHA_GUARD, 2, true, 1},
            {OPC_GOTO, QCC_ALWAYS, false, QCC_ALWAYS},
        };
        for (auto& row : rows) {
            graph g;
            g.build(6, {{1}, {3, 2}, {4}, {4}, {5}});
            g.set_quads(1, {row.opcode});
            quadruple* q = g.block(1)->catbl[0];
            q->op = row.op;
            q->target = 2;
            g.block(1)->flags2 |= BB2_FORWARD_BRANCH;
            const u4 order[] = {0, 1, 2, 3, 4, 5};
            memcpy(g.m.dfs_array, order, sizeof order);
            g.m.dfs_count = 6;
            ASSERT_EQ(reverse_cond_along_dfs(&g.m), 1);
            bbattr* b = g.block(1);
            EXPECT_EQ(q->op, row.op_after) << int(row.opcode) << " " << row.op;
            if (row.swapped) {
                EXPECT_EQ(b->succ[0], 2u);
                EXPECT_EQ(b->succ[1], 3u);
                EXPECT_TRUE(b->flags & BB_BACKWARD_BRANCH);
                EXPECT_FALSE(b->flags2 & BB2_FORWARD_BRANCH);
                // Taken, the branch still reaches the block it reached (a
                // guard: the one its sense names).
                if (row.opcode == OPC_CHA_GUARD)
                    EXPECT_EQ(q->target, b->succ[(q->op & 0xF) - 1]);
                else
                    EXPECT_EQ(q->target, 3u);
            } else {
                EXPECT_EQ(b->succ[0], 3u) << int(row.opcode) << " " << row.op;
                EXPECT_EQ(b->succ[1], 2u);
                EXPECT_EQ(q->target, 2u);
                EXPECT_TRUE(b->flags2 & BB2_FORWARD_BRANCH);
            }
            g.release();
        }
    });
}

// The loop stage on a for loop as the front end meets it (a jump to the test
// at the bottom): the loop becomes one run that starts at its test, every
// block number moves with its block, and the test then falls through into
// the body and jumps out of the loop.
TEST_F(LoopTable, ForLoopIsLaidOutFromItsTest)
{
    dftest::run([&](EE*) {
        graph g;
        // 1 jumps to the test 4; body 2, 3; 4 loops back to 2 or leaves to 5.
        g.build(7, {{1}, {4}, {3}, {4}, {5, 2}, {6}});
        g.set_quads(1, {OPC_GOTO});
        g.set_quads(3, {OPC_GOTO});
        g.set_quads(4, {OPC_IFZ});
        g.block(1)->catbl[0]->target = 4;
        g.block(3)->catbl[0]->target = 4;
        quadruple* test = g.block(4)->catbl[0];
        test->op = QCC_LT;
        test->target = 2;
        bbattr* old[7];
        for (u4 b = 0; b < 7; b++)
            old[b] = g.block(b);
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        ASSERT_EQ(construct_loops(&g.m), 0);
        // New numbers: the test 2, the body 3 and 4.
        EXPECT_EQ(g.block(2), old[4]);
        EXPECT_EQ(g.block(3), old[2]);
        EXPECT_EQ(g.block(4), old[3]);
        for (u4 b = 0; b < 7; b++)
            EXPECT_EQ(g.block(b)->id, b);
        EXPECT_EQ(g.block(1)->catbl[0]->target, 2u);
        EXPECT_EQ(g.block(4)->catbl[0]->target, 2u);
        EXPECT_EQ(g.block(4)->succ[0], 2u);
        // The test falls into the body and leaves under the negated condition.
        EXPECT_EQ(g.block(2)->succ[0], 3u);
        EXPECT_EQ(g.block(2)->succ[1], 5u);
        EXPECT_EQ(test->op, QCC_GE);
        EXPECT_EQ(test->target, 5u);
        ASSERT_EQ(g.m.loop_count, 1u);
        loopattribute* body = mcc_loop(&g.m, 0)->body;
        EXPECT_EQ(body->entry_id, 2u);
        EXPECT_EQ(body->first_id, 2u);
        EXPECT_EQ(body->last_id, 4u);
        EXPECT_EQ(incoming_of(body), (list{4, 1}));
        EXPECT_EQ(g.dfs(), (list{0, 1, 2, 3, 4, 5, 6}));
        g.release();
    });
}

// The DFS list of a transfer compile with a handler: the first block's walk,
// then the handler's, then the transfer entry.  The classic list walks the
// transfer entry first and so enters the loop in its middle; on that order
// the loop would look like a cycle with two entries and get no record.
TEST_F(LoopTable, PreciseDfsWalksTheTransferEntryLast)
{
    dftest::run([&](EE*) {
        graph g;
        // Loop 2 -> 3 -> 2; handler 5; transfer entry 6 jumps into 3.
        auto build = [&] {
            g.build(8, {{1, 5, 6}, {2}, {3}, {4, 2}, {7}, {4}, {3}});
            g.mb.exception_table = reinterpret_cast<u2*>(one_handler);
            g.mb.exception_table_length = 1;
            g.block(5)->flags |= BB_HANDLER;
            g.block(6)->flags2 |= BB2_EMPTY_ENTRY;
            g.m.state_flags |= MCC_MMI2JIT;
            g.m.frontend_words[TR_ENTRY] = 6;
        };
        build();
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        list classic = g.dfs();
        EXPECT_NE(classic, (list{0, 1, 2, 3, 4, 5, 6, 7}));
        ASSERT_EQ(construct_loop_structure(&g.m), 1);
        EXPECT_EQ(g.m.loop_count, 0u);

        build();
        ASSERT_EQ(generate_dfs_list_with_precise_ehandler(&g.m), 1);
        EXPECT_EQ(g.dfs(), (list{0, 1, 2, 3, 4, 5, 6, 7}));
        EXPECT_TRUE(g.block(5)->flags & BB_FROM_HANDLER);
        EXPECT_FALSE(g.block(2)->flags & BB_FROM_HANDLER);
        ASSERT_EQ(construct_loop_structure(&g.m), 1);
        ASSERT_EQ(g.m.loop_count, 1u);
        EXPECT_EQ(mcc_loop(&g.m, 0)->body->entry_id, 2u);
        EXPECT_EQ(blocks_of(mcc_loop(&g.m, 0)->body), (list{3, 2}));
        g.release();
    });
}
