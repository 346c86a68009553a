// Short-circuit chains: the rewritten block graph of `a || b || c`, and the
// chains that must stay (a middle block reached from elsewhere, a middle test
// that is not against zero).
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "df_graph.h"
#include "df_vm_env.h"
#include "frontend/fe_external.h"

namespace {

using dftest::graph;

class ShortCircuit : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

// Block b: iload local; ifz cond (the branch target is the block's second successor).
void test_block(graph& g, u4 b, u2 local, u2 cond)
{
    g.set_quads(b, {OPC_ILOAD, OPC_IFZ});
    g.block(b)->catbl[0]->op = local;
    g.block(b)->catbl[1]->op = cond;
    g.block(b)->catbl[1]->target = g.block(b)->succ[1];
}

// 1: ifne l0 -> 4; 2: ifne l1 -> 4; 3: ifeq l2 -> 5 (falls into 4); 4 and 5 return.
void chain(graph& g, const std::vector<std::vector<s4>>& succ)
{
    g.build(7, succ);
    g.m.max_stack = 1;
    g.mb.maxstack = 1;
    test_block(g, 1, 0, QCC_NE);
    test_block(g, 2, 1, QCC_NE);
    test_block(g, 3, 2, QCC_EQ);
}

} // namespace

TEST_F(ShortCircuit, ChainBecomesOneTestOfTheOr)
{
    dftest::run([&](EE*) {
        graph g;
        chain(g, {{1}, {2, 4}, {3, 4}, {4, 5}, {6}, {6}});
        ASSERT_EQ(check_and_transform_short_circuit_evaluation(&g.m, g.block(1)), 1);
        EXPECT_EQ(g.block(1)->succ_count, 1u);
        EXPECT_EQ(g.block(1)->succ[0], 3u);
        EXPECT_TRUE(g.block(2)->flags & BB_DEAD);
        EXPECT_EQ(g.block(4)->pred_count, 1u);
        EXPECT_EQ(g.block(3)->pred_count, 1u);
        const bbattr* l = g.block(3);
        ASSERT_EQ(l->quad_count, 6u);
        const u1 ops[6] = {OPC_ILOAD, OPC_ILOAD, OPC_IOP2, OPC_ILOAD, OPC_IOP2, OPC_IFZ};
        const u2 fields[6] = {0, 1, QOP_OR, 2, QOP_OR, QCC_EQ};
        for (u4 k = 0; k < 6; k++) {
            EXPECT_EQ(l->catbl[k]->opcode, ops[k]) << k;
            EXPECT_EQ(l->catbl[k]->op, fields[k]) << k;
        }
        EXPECT_EQ(l->catbl[5]->target, 5u);
        EXPECT_EQ(l->succ[0], 4u);
        EXPECT_EQ(l->succ[1], 5u);
        // B held only its test: one deleted quadruple is left.
        ASSERT_EQ(g.block(1)->quad_count, 1u);
        EXPECT_EQ(g.block(1)->catbl[0]->opcode, OPC_OTHER);
        EXPECT_EQ(g.m.max_stack, 2);
        g.release();
    });
}

TEST_F(ShortCircuit, ChainsThatStay)
{
    dftest::run([&](EE*) {
        // Block 5 also jumps to the middle block 2.
        graph g;
        chain(g, {{1}, {2, 4}, {3, 4}, {4, 5}, {6}, {2}});
        ASSERT_EQ(check_and_transform_short_circuit_evaluation(&g.m, g.block(1)), 0);
        EXPECT_EQ(g.block(1)->succ_count, 2u);
        EXPECT_EQ(g.block(2)->quad_count, 2u);
        g.release();
    });
    dftest::run([&](EE*) {
        // The middle test compares with a constant.
        graph g;
        chain(g, {{1}, {2, 4}, {3, 4}, {4, 5}, {6}, {6}});
        g.set_quads(2, {OPC_ILOAD, OPC_ICONST, OPC_IFCMP});
        ASSERT_EQ(check_and_transform_short_circuit_evaluation(&g.m, g.block(1)), 0);
        EXPECT_EQ(g.block(1)->succ_count, 2u);
        EXPECT_EQ(g.block(3)->quad_count, 2u);
        g.release();
    });
}
