// Block 0's successor list names block 1, the exception handlers and, negated,
// the subroutine entries.  The register manager reads every entry by the block
// it names: block 0 enters a subroutine entry as it enters block 1 or a
// handler, whatever the sign of the entry.
#include <gtest/gtest.h>

#include "reg_test_util.h"

namespace {

// 0 -> 1, handler 5, subroutine entry 3 (listed negated); 1 -> 2; 2 jsr -> 3;
// 3 -> 4; 4 and 5 -> exit 6.
struct entry_graph {
    rm_fixture f;
    u4 succ0[3] = {1, 5, (u4)-3};
    u4 succ1[1] = {2}, succ2[1] = {3}, succ3[1] = {4}, succ4[1] = {6}, succ5[1] = {6};
    u4 dfs[7] = {0, 1, 2, 3, 4, 5, 6};
};

void set_up(entry_graph* g)
{
    rm_setup(&g->f, 7, 4);
    bbattr* bb = g->f.bb;
    u4* lists[6] = {g->succ0, g->succ1, g->succ2, g->succ3, g->succ4, g->succ5};
    const u4 counts[6] = {3, 1, 1, 1, 1, 1};
    for (int b = 0; b < 6; b++) {
        bb[b].succ = lists[b];
        bb[b].succ_count = counts[b];
    }
    bb[3].flags |= BB_SUBROUTINE;
    bb[5].flags |= BB_HANDLER;
    g->f.m.dfs_array = g->dfs;
    g->f.m.dfs_count = 7;
}

}  // namespace

TEST(RegEntryList, ForwardEntryAndDominantPredecessorReadNegatedEntries)
{
    entry_graph g;
    set_up(&g);
    codegen_context* cg = &g.f.cg;
    struct { int block, other, entered; } cases[] = {
        {1, 0, 1}, {5, 0, 1}, {3, 0, 1},    // every entry of block 0, the negated one too
        {3, 2, 1},                          // the jsr edge
        {2, 0, 0}, {4, 0, 0}, {4, 2, 0},    // no edge
    };
    for (const auto& c : cases)
        EXPECT_EQ(_within_fwd_entry(cg, c.block, c.other), c.entered) << c.other << " -> " << c.block;
    // The subroutine entry has two predecessors, block 0 and the jsr block;
    // outside a loop the first of them is the dominant one.
    EXPECT_EQ(dominant_bb_minfo(&g.f.m, 3), 0);
    EXPECT_EQ(dominant_bb_minfo(&g.f.m, 1), 0);
    EXPECT_EQ(dominant_bb_minfo(&g.f.m, 4), 3);
}

// Every block that block 0 enters gets a default entry state before code
// generation, the negated subroutine entry too; blocks entered only from
// other blocks get theirs on their first edge.
TEST(RegEntryList, PreparationGivesEveryEntryOfBlock0AState)
{
    entry_graph g;
    set_up(&g);
    prepare_reg_alloc(&g.f.cg);
    for (int b : {0, 1, 3, 5})
        EXPECT_NE(bb_reginfo(&g.f.bb[b]), nullptr) << "block " << b;
    for (int b : {2, 4})
        EXPECT_EQ(bb_reginfo(&g.f.bb[b]), nullptr) << "block " << b;
}
