// Goto elimination: if-conversion into a conditional move, and branch
// inversion along the layout order.
#include <gtest/gtest.h>

#include "loop_quads.h"

namespace {

using dftest::graph;
using namespace looptest;

class GotoElim : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

// Block 2: if (a <cond> b) goto 4; block 3: dst = src; block 4: return dst.
// Block numbers: 0 entry, 1 the entry pad, 2 branch, 3 move, 4 join, 5 exit.
constexpr u4 B = 2, S0 = 3, S1 = 4;
void diamond(graph& g, quad_operand move_source, quad_operand b_operand = opnd(INT_LOCAL, 1))
{
    g.build(6, {{1}, {2}, {3, 4}, {4}, {5}});
    method_compile_context* m = &g.m;
    quadruple* br = quad(m, OPC_IFCMP, QCC_LT, none(), opnd(INT_LOCAL, 0), b_operand, 2);
    br->target = S1;
    put(g, B, {br});
    put(g, S0, {quad(m, OPC_ISTORE, 0, opnd(INT_LOCAL, 2), move_source, none(), 1)});
    put(g, S1, {quad(m, OPC_IRETURN, 0, opnd(0x19, 0), opnd(INT_LOCAL, 2), none(), 1)});
    ASSERT_EQ(generate_dfs_list(m), 1);
}

// The shape it is made for becomes one conditional move: the branch's
// values, the destination kept when the condition holds, the store's source
// taken otherwise; the move block is gone and the chain is merged.
TEST_F(GotoElim, SkippedMoveBecomesConditionalMove)
{
    dftest::run([&](EE*) {
        graph g;
        diamond(g, opnd(INT_LOCAL, 5));
        u4 quads = g.m.total_quad_count;
        EXPECT_EQ(bb_goto_elimination(&g.m), 1);
        EXPECT_TRUE(g.block(S0)->flags & BB_DEAD);
        EXPECT_EQ(g.m.total_quad_count, quads - 1);
        const quadruple* cm = g.block(B)->catbl[0];
        ASSERT_EQ(cm->opcode, OPC_ICMOVE);
        EXPECT_EQ(cm->op, QCC_LT);
        EXPECT_EQ(cm->result.kind, INT_LOCAL);
        EXPECT_EQ(cm->result.number, 2);
        ASSERT_EQ(cm->opcount & QC_SRC_MASK, QC_SRC_LIST);
        auto l = list_of(cm);
        ASSERT_EQ(l.size(), 4u);
        const u2 want[4][2] = {{INT_LOCAL, 0}, {INT_LOCAL, 1}, {INT_LOCAL, 2}, {INT_LOCAL, 5}};
        for (int i = 0; i < 4; i++) {
            EXPECT_EQ(l[i]->kind & 0xFF, want[i][0]) << i;
            EXPECT_EQ(l[i]->number, want[i][1]) << i;
        }
        // Straightened: the join's return now ends block 1.
        EXPECT_EQ(g.block(B)->catbl[g.block(B)->quad_count - 1]->opcode, OPC_IRETURN);
        g.release();
    });
}

// A zero test compares with the immediate 0; a constant source travels in
// the conditional move's value word.
TEST_F(GotoElim, ZeroTestAndConstantSource)
{
    dftest::run([&](EE*) {
        graph g;
        diamond(g, opnd(INT_CONST, 0));
        quadruple* br = g.block(B)->catbl[0];
        br->opcode = OPC_IFZ;
        br->opcount = 1;
        g.block(S0)->catbl[0]->value = 123456;
        EXPECT_EQ(bb_goto_elimination(&g.m), 1);
        const quadruple* cm = g.block(B)->catbl[0];
        ASSERT_EQ(cm->opcode, OPC_ICMOVE);
        auto l = list_of(cm);
        ASSERT_EQ(l.size(), 4u);
        EXPECT_EQ(l[1]->kind, INT_IMM);
        EXPECT_EQ(l[1]->number, 0);
        EXPECT_EQ(l[3]->kind & 0xFF, INT_CONST);
        EXPECT_EQ(cm->value, 123456u);
        EXPECT_TRUE(cm->flags_a & QA_CONSTANT);
        g.release();
    });
}

// Shapes that must stay branches.
TEST_F(GotoElim, RefusedShapes)
{
    struct row {
        const char* what;
        void (*spoil)(graph&);
    };
    const row rows[] = {
        {"join with a third predecessor", [](graph& g) { g.block(S1)->pred_count = 3; }},
        {"move block with two quadruples",
         [](graph& g) {
             method_compile_context* m = &g.m;
             put(g, S0, {quad(m, OPC_ISTORE, 0, opnd(INT_LOCAL, 2), opnd(INT_LOCAL, 5), none(), 1),
                        quad(m, OPC_ISTORE, 0, opnd(INT_LOCAL, 3), opnd(INT_LOCAL, 5), none(), 1)});
         }},
        {"empty goto block",
         [](graph& g) {
             quadruple* q = quad(&g.m, OPC_OTHER, 0, none(), none(), none(), 0);
             q->subcode = OTHER_NOP_DELETED;
             put(g, S0, {q});
         }},
        {"a reference compare", [](graph& g) { g.block(B)->catbl[0]->opcode = OPC_IFACMP; }},
        // Both the compare and the store would need the one value word.
        {"constants on both sides",
         [](graph& g) {
             g.block(B)->catbl[0]->src2 = opnd(INT_CONST, 0);
             g.block(S0)->catbl[0]->src1 = opnd(INT_CONST, 0);
         }},
    };
    dftest::run([&](EE*) {
        for (const row& r : rows) {
            SCOPED_TRACE(r.what);
            graph g;
            diamond(g, opnd(INT_LOCAL, 5));
            r.spoil(g);
            EXPECT_EQ(bb_goto_elimination(&g.m), 0);
            EXPECT_NE(g.block(B)->catbl[0]->opcode, OPC_ICMOVE);
            EXPECT_FALSE(g.block(S0)->flags & BB_DEAD);
            g.release();
        }
    });
}

// Guards against exchanging the successors under a condition that was not
// negated: "always" (1) and the unknown codes stay as they are, and the
// carry, sign and parity pairs (12-17) negate like the others.
TEST_F(GotoElim, BranchInversionNegatesOrLeavesAlone)
{
    dftest::run([&](EE*) {
        for (u2 code = 0; code <= 23; code++) {
            SCOPED_TRACE(code);
            graph g;
            // Block 1 falls through to 3 and branches to 2, laid out next.
            g.build(5, {{1}, {3, 2}, {4}, {4}});
            quadruple* br = quad(&g.m, OPC_IFZ, code, none(), opnd(INT_LOCAL, 0), none(), 1);
            br->target = 2;
            put(g, 1, {br});
            dfs(g, {0, 1, 2, 3, 4});
            g.block(1)->flags2 |= BB2_FORWARD_BRANCH;
            EXPECT_EQ(bb_goto_elimination(&g.m), 0);
            u2 negated = reverse_branch_condition(code);
            bool has_negation = negated != code;
            EXPECT_EQ(has_negation, code >= 2 && code <= 21);
            EXPECT_EQ(reverse_branch_condition(negated), code);
            EXPECT_EQ(br->op, negated);
            EXPECT_EQ(g.block(1)->succ[0], has_negation ? 2u : 3u);
            EXPECT_EQ(g.block(1)->succ[1], has_negation ? 3u : 2u);
            EXPECT_EQ(br->target, g.block(1)->succ[1]);
            // The expected-path mark follows the exchanged successors.
            EXPECT_EQ((g.block(1)->flags & BB_BACKWARD_BRANCH) != 0, has_negation);
            EXPECT_EQ((g.block(1)->flags2 & BB2_FORWARD_BRANCH) != 0, !has_negation);
            g.release();
        }
    });
}

// Condition 4 (less) with the taken target next in layout: 7 (greater or
// equal), successors exchanged, target the former fall-through; a method of
// fewer than three DFS entries is left alone.
TEST_F(GotoElim, InversionOfLessAndTinyMethods)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(5, {{1}, {3, 2}, {4}, {4}});
        quadruple* br = quad(&g.m, OPC_IFCMP, QCC_LT, none(), opnd(INT_LOCAL, 0), opnd(INT_LOCAL, 1), 2);
        br->target = 2;
        put(g, 1, {br});
        dfs(g, {0, 1, 2, 3, 4});
        bb_goto_elimination(&g.m);
        EXPECT_EQ(br->op, QCC_GE);
        EXPECT_EQ(br->target, 3u);
        dfs(g, {0, 1});
        bb_goto_elimination(&g.m);
        EXPECT_EQ(br->op, QCC_GE);
        g.release();
    });
}

}  // namespace
