// Register preference propagation over the use-def chains and the
// block-to-DFS map it reads.
#include <gtest/gtest.h>

#include <string.h>

#include "codegen/codegen.h"
#include "df_graph.h"
#include "df_vm_env.h"
#include "inline/mi_prescan.h"

namespace {

using dftest::graph;

class RegPref : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

varref_list* chain(graph& g, std::initializer_list<quad_ref> refs)
{
    varref_list* head = nullptr;
    for (quad_ref r : refs)
        ADD_VARREF(&g.m, nullptr, &head, 0, quad_ref_block(r), quad_ref_index(r));
    return head;
}

void local_use(quadruple* q, u2 number, varref_list* links)
{
    q->opcount = 1;
    q->src1.kind = 0x11;            // an int local
    q->src1.number = number;
    q->src1.value = reinterpret_cast<u4>(links);
}

} // namespace

// Only quadruples in blocks later in DFS order than the one being generated
// get the preference; long results take none; the register comes back
// unchanged, and nothing happens while the chains are stale.
TEST_F(RegPref, PreferenceGoesOnlyToLaterBlocks)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(5, {{1}, {2}, {3}, {4}}, 3);
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        ASSERT_EQ(setup_bb_to_dfs_map(&g.m), 0);
        EXPECT_EQ(mcc_bb_to_dfs_map(&g.m)[3], 3);
        quadruple* current = g.block(2)->catbl[0];
        quadruple* use = g.block(3)->catbl[0];
        local_use(current, 5, chain(g, {make_quad_ref(3, 0)}));
        local_use(use, 5, chain(g, {make_quad_ref(1, 0), make_quad_ref(2, 1), make_quad_ref(3, 1), make_quad_ref(3, 2)}));
        g.block(3)->catbl[2]->result.kind = 0x31;      // a long result
        codegen_context cg;
        memset(&cg, 0, sizeof cg);
        cg.m = &g.m;
        cg.cur_bb = 2;
        u4 ops[3] = {'L', 5, reinterpret_cast<u4>(&current->src1)};
        EXPECT_EQ(optim_set(&cg, 4, ops), 4);
        EXPECT_EQ(g.block(3)->catbl[1]->result.reg, 0x10);
        EXPECT_TRUE(g.block(3)->catbl[1]->result.flags & 0x10);
        EXPECT_EQ(g.block(3)->catbl[2]->result.reg, 0);
        EXPECT_EQ(g.block(1)->catbl[0]->result.reg, 0);
        EXPECT_EQ(g.block(2)->catbl[1]->result.reg, 0);
        // Stale chains: nothing is followed.
        g.block(3)->catbl[1]->result.reg = 0;
        g.m.state_flags |= MCC_REACHDEF_STALE;
        EXPECT_EQ(optim_set(&cg, 4, ops), 4);
        EXPECT_EQ(g.block(3)->catbl[1]->result.reg, 0);
        g.release();
    });
}

// A call's operand list hangs from the start of its first source, whose value
// word holds the float tops: the matching list entry is found through the
// list head, and its links pass the preference on.
TEST_F(RegPref, ListEntriesOfACallMatch)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(6, {{1}, {2}, {3}, {4}, {5}}, 2);
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        ASSERT_EQ(setup_bb_to_dfs_map(&g.m), 0);
        quadruple* current = g.block(2)->catbl[0];
        quadruple* call = g.block(3)->catbl[0];
        local_use(current, 5, chain(g, {make_quad_ref(3, 0)}));
        auto* entries = static_cast<quad_operand_list_entry*>(jit_wmem_alloc(g.m.pool1, 2 * sizeof(quad_operand_list_entry)));
        memset(entries, 0, 2 * sizeof(quad_operand_list_entry));
        entries[0].kind = 0x11;
        entries[0].number = 7;
        entries[0].next = &entries[1];
        entries[1].kind = 0x11;
        entries[1].number = 5;
        entries[1].aux = reinterpret_cast<u4>(chain(g, {make_quad_ref(4, 1)}));
        quad_set_list_head(call, entries);
        call->opcount = QC_SRC_LIST;
        call->src1.value = 0x00020001u;     // float tops before and after
        codegen_context cg;
        memset(&cg, 0, sizeof cg);
        cg.m = &g.m;
        cg.cur_bb = 2;
        u4 ops[3] = {'L', 5, reinterpret_cast<u4>(&current->src1)};
        EXPECT_EQ(optim_set(&cg, 1, ops), 1);
        EXPECT_EQ(g.block(4)->catbl[1]->result.reg, 0x02);
        EXPECT_TRUE(g.block(4)->catbl[1]->result.flags & 0x10);
        EXPECT_EQ(call->src1.value, 0x00020001u);
        g.release();
    });
}
