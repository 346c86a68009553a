// Block and quadruple copy utilities.
#include <gtest/gtest.h>

#include "inline/inline.h"
#include "loop_quads.h"

namespace {

using dftest::graph;
using namespace looptest;

class Copies : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

// catbl_ncopy shares the records, codeattr_ncopy rewrites the records the
// destination already points to, catbl_ncopy_with_allocation makes new ones;
// fill_nop_in_bb empties exactly the range asked for.
TEST_F(Copies, PointerContentAndFreshCopies)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        method_compile_context* m = &g.m;
        quadruple* a = quad(m, OPC_IOP2, QOP_ADD, opnd(INT_LOCAL, 1), opnd(INT_LOCAL, 2), opnd(INT_IMM, 3), 2);
        quadruple* b = quad(m, OPC_ISTORE, 0, opnd(INT_LOCAL, 4), opnd(INT_LOCAL, 1), none(), 1);
        quadruple* src[2] = {a, b};
        quadruple* shared[2] = {};
        catbl_ncopy(shared, src, 2);
        EXPECT_EQ(shared[0], a);
        EXPECT_EQ(shared[1], b);

        quadruple* other = quad(m, OPC_OTHER, 0, none(), none(), none(), 0);
        quadruple* into[1] = {other};
        codeattr_ncopy(into, src, 1);
        EXPECT_EQ(into[0], other);
        EXPECT_EQ(other->opcode, OPC_IOP2);
        EXPECT_EQ(other->src2.number, 3);

        quadruple* fresh[2] = {};
        catbl_ncopy_with_allocation(fresh, src, 2, m);
        EXPECT_NE(fresh[0], a);
        EXPECT_EQ(memcmp(fresh[1], b, sizeof(quadruple)), 0);
        catbl_ncopy_with_allocation(fresh, src, 0, m);    // nothing

        put(g, 1, {a, b, other});
        fill_nop_in_bb(g.block(1), 1, 1);
        EXPECT_EQ(a->opcode, OPC_IOP2);
        EXPECT_EQ(b->opcode, OPC_OTHER);
        EXPECT_EQ(quad_kind_nibble(b), OTHER_NOP_DELETED);
        EXPECT_EQ(b->target, 0xFFFFFFFFu);
        EXPECT_EQ(b->result.number, 0);
        EXPECT_EQ(quad_source_pc(b), -1);
        EXPECT_EQ(other->opcode, OPC_IOP2);
        g.release();
    });
}

// The duplicator: successors and branch targets move by the block offset,
// locals by the local offset; a return is redirected to the continuation
// (which gains a predecessor and whose copy's first block gets the jump
// mark), a throw stays linked to the terminal block, and an unreachable
// source block yields a block without quadruples and links.
TEST_F(Copies, DuplicatedBlocks)
{
    dftest::run([&](EE*) {
        graph g;
        // 0 -> 1 -> {2, 3}; 2 returns; 3 throws; 4 is the terminal block.
        g.build(9, {{1}, {2, 3}, {8}, {8}, {}, {}, {}, {}});
        method_compile_context* m = &g.m;
        quadruple* br = quad(m, OPC_IFZ, QCC_EQ, none(), none(), none(), 0);
        br->op = 1;           // front-end form: the local index
        br->target = 3;
        put(g, 1, {quad(m, OPC_ILOAD, 2, none(), none(), none(), 0), br});
        put(g, 2, {quad(m, OPC_IRETURN, 0, none(), none(), none(), 0)});
        put(g, 3, {quad(m, OPC_ATHROW, 0, none(), none(), none(), 0)});
        bbattr* call = g.block(1);
        bbattr* cont = g.block(7);
        bbattr* term = g.block(8);
        u4 cont_preds = cont->pred_count;
        u4 term_preds = term->pred_count;

        bbattr* d1 = duplicate_a_bbattr_for_inlining(5, g.block(1), 4, 10, 0, 0, call, cont, term, 8, m);
        EXPECT_EQ(d1->id, 5u);
        EXPECT_EQ(d1->succ[0], 6u);
        EXPECT_EQ(d1->succ[1], 7u);
        EXPECT_EQ(d1->catbl[0]->op, 12);           // local 2 + 10
        EXPECT_EQ(d1->catbl[1]->target, 7u);
        EXPECT_NE(d1->catbl[0], g.block(1)->catbl[0]);
        EXPECT_EQ(g.block(1)->catbl[0]->op, 2);    // the source is untouched

        bbattr* d2 = duplicate_a_bbattr_for_inlining(6, g.block(2), 4, 10, 0, 0, call, cont, term, 8, m);
        EXPECT_EQ(d2->succ[0], cont->id);
        EXPECT_EQ(cont->pred_count, cont_preds + 1);
        EXPECT_EQ(d2->catbl[0]->opcode, OPC_GOTO);
        EXPECT_EQ(quad_kind_nibble(d2->catbl[0]), 2u);
        EXPECT_EQ(d2->catbl[0]->target, cont->id);
        EXPECT_TRUE(d1->flags & 0x200000 || g.block(5)->flags & 0x200000 || d2->flags & 0x200000);

        bbattr* d3 = duplicate_a_bbattr_for_inlining(7, g.block(3), 4, 10, 0, 0, call, cont, term, 8, m);
        EXPECT_EQ(d3->succ[0], 8u);
        EXPECT_EQ(term->pred_count, term_preds + 1);
        EXPECT_EQ(term->succ[term->pred_count - 1], 7u);
        EXPECT_EQ(d3->catbl[0]->opcode, OPC_ATHROW);

        g.block(3)->flags |= BB_DEAD;
        bbattr* dead = duplicate_a_bbattr_for_inlining(7, g.block(3), 4, 10, 0, 0, call, cont, term, 8, m);
        EXPECT_EQ(dead->quad_count, 0u);
        EXPECT_EQ(dead->succ_count, 0u);
        EXPECT_TRUE(dead->flags & BB_DEAD);
        g.release();
    });
}

}  // namespace
