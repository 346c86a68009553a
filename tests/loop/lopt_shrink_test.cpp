// Local-variable table shrinking: the map from old to new local numbers, the
// rewritten operands, the sorted usage tables and the composition of the two
// steps.
#include <gtest/gtest.h>

#include "codegen/regman/reg_records.h"
#include "loop_quads.h"

namespace {

using dftest::graph;
using namespace looptest;

class Shrink : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

std::vector<s4> shrink_map(method_compile_context* m)
{
    s4* map = mcc_transfer_map(m);
    if (map == nullptr)
        return {};
    return std::vector<s4>(map, map + mcc_transfer_map_count(m));
}

// One parameter (local 0) and locals 1..6: 1 unused, 2 read, 3-4 a long
// nobody names, 5 only written (its definition still names it), 6 read as
// the low word of... nothing: unused.  Block 1: l5 = l0 + l2; return l2.
void method(graph& g, u2 locals)
{
    g.build(3, {{1}, {2}});
    g.mb.args_size = 1;
    g.m.local_count = locals;
    method_compile_context* m = &g.m;
    put(g, 1, {quad(m, OPC_IOP2, QOP_ADD, opnd(INT_LOCAL, 5), opnd(INT_LOCAL, 0), opnd(INT_LOCAL, 2), 2),
               quad(m, OPC_IRETURN, 0, opnd(0x19, 0), opnd(INT_LOCAL, 2), none(), 1)});
}

TEST_F(Shrink, QuadrupleStepKeepsNamedLocals)
{
    options o(0, 0, 0);
    dftest::run([&](EE*) {
        graph g;
        method(g, 7);
        ASSERT_EQ(do_shrinking_quadruple(&g.m, nullptr), 0);
        EXPECT_EQ(shrink_map(&g.m), (std::vector<s4>{0, -1, 1, -1, -1, 2, -1}));
        EXPECT_EQ(g.m.local_count, 3);
        const quadruple* add = g.block(1)->catbl[0];
        EXPECT_EQ(add->result.number, 2);
        EXPECT_EQ(add->src1.number, 0);
        EXPECT_EQ(add->src2.number, 1);
        EXPECT_EQ(g.block(1)->catbl[1]->src1.number, 1);
        g.release();
    });
}

// A used long keeps its two slots adjacent; an operand list is renumbered.
TEST_F(Shrink, LongPairsAndOperandLists)
{
    options o(0, 0, 0);
    dftest::run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        g.mb.args_size = 0;
        g.m.local_count = 6;
        method_compile_context* m = &g.m;
        quadruple* call = quad(m, OPC_VCALL, 0, none(), none(), none(), 0);
        operand_list(m, call, {{LONG_LOCAL, 3}, {INT_LOCAL, 1}});
        put(g, 1, {call});
        ASSERT_EQ(do_shrinking_quadruple(m, nullptr), 0);
        EXPECT_EQ(shrink_map(m), (std::vector<s4>{-1, 0, -1, 1, 2, -1}));
        auto l = list_of(call);
        EXPECT_EQ(l[0]->number, 1);
        EXPECT_EQ(l[1]->number, 0);
        EXPECT_EQ(m->local_count, 3);
        g.release();
    });
}

// Under NSHRINKLVAR the context holds no map and nothing is renumbered; a
// method whose locals are all parameters keeps an identity map.
TEST_F(Shrink, SwitchedOffAndParametersOnly)
{
    dftest::run([&](EE*) {
        {
            options o(OPT1_NSHRINKLVAR, 0, 0);
            graph g;
            method(g, 7);
            ASSERT_EQ(do_shrinking_quadruple(&g.m, nullptr), 0);
            EXPECT_TRUE(shrink_map(&g.m).empty());
            EXPECT_EQ(g.m.local_count, 7);
            EXPECT_EQ(g.block(1)->catbl[0]->result.number, 5);
            g.release();
        }
        options o(0, 0, 0);
        graph g;
        method(g, 6);
        g.mb.args_size = 6;
        ASSERT_EQ(do_shrinking_quadruple(&g.m, nullptr), 0);
        EXPECT_EQ(shrink_map(&g.m), (std::vector<s4>{0, 1, 2, 3, 4, 5}));
        EXPECT_EQ(g.m.local_count, 6);
        g.release();
    });
}

// The table step: kept locals sorted by ascending weight (a long pair by the
// average of its two weights, moving as one), a local that is only written
// kept (weight 0), the method's table permuted, the block tables rebuilt,
// and the map composed with the earlier step's.
TEST_F(Shrink, TableStepSortsAndComposes)
{
    options o(0, 0, 0);
    dftest::run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        g.mb.args_size = 1;
        method_compile_context* m = &g.m;
        m->local_count = 6;
        // Locals: 0 parameter, 1 weight 9, 2-3 long weights 4 and 2 (average
        // 3), 4 unused, 5 written only.
        put(g, 1, {quad(m, OPC_IOP2, QOP_ADD, opnd(INT_LOCAL, 5), opnd(INT_LOCAL, 1), opnd(INT_LOCAL, 1), 2),
                   quad(m, OPC_LRETURN, 0, opnd(0x39, 0), opnd(LONG_LOCAL, 2), none(), 1)});
        auto* table = static_cast<var_usage_entry*>(jit_wmem_alloc(m->pool1, 6 * sizeof(var_usage_entry)));
        memset(table, 0, 6 * sizeof(var_usage_entry));
        table[0] = {0, VU_INT | VU_USED, 5, 0};
        table[1] = {0, VU_INT | VU_USED, 9, 0};
        table[2] = {0, VU_LONG_HIGH | VU_USED, 4, 0};
        table[3] = {0, VU_LONG_LOW | VU_USED, 2, 0};
        table[5] = {0, VU_INT | VU_DEFINED, 0, 0};
        g.block(0)->var_table = table;
        auto* block_table = static_cast<var_usage_entry*>(jit_wmem_alloc(m->pool1, 6 * sizeof(var_usage_entry)));
        memcpy(block_table, table, 6 * sizeof(var_usage_entry));
        g.block(1)->var_table = block_table;
        // An earlier step mapped old locals 0..7 onto these six.
        s4 earlier[8] = {0, 5, -1, 1, 2, 3, -1, 4};
        mcc_set_transfer_map(m, earlier);
        mcc_transfer_map_count(m) = 8;

        ASSERT_EQ(do_shrinking_and_sorting_lvar_tbl(m), 0);
        // Sorted: 5 (0), pair 2-3 (3), 1 (9) -> new numbers 1, 2-3, 4.
        EXPECT_EQ(m->local_count, 5);
        EXPECT_EQ(shrink_map(m), (std::vector<s4>{0, 1, -1, 4, 2, 3, -1, -1}));
        const quadruple* add = g.block(1)->catbl[0];
        EXPECT_EQ(add->result.number, 1);
        EXPECT_EQ(add->src1.number, 4);
        EXPECT_EQ(g.block(1)->catbl[1]->src1.number, 2);
        EXPECT_EQ(table[1].flags, VU_INT | VU_DEFINED);
        EXPECT_EQ(table[2].use_count, 4u);
        EXPECT_EQ(table[3].use_count, 2u);
        EXPECT_EQ(table[4].use_count, 9u);
        auto* rebuilt = static_cast<var_usage_entry*>(g.block(1)->var_table);
        EXPECT_NE(rebuilt, block_table);
        EXPECT_EQ(rebuilt[4].use_count, 9u);
        EXPECT_EQ(rebuilt[2].flags, VU_LONG_HIGH | VU_USED);
        if (m->bb_table_pool != nullptr)
            jit_wmem_free(static_cast<work_pool*>(m->bb_table_pool));
        g.release();
    });
}

// Slots reused across scopes (or merged by colouring) can hold a long at 1-2
// in one place and another at 2-3 elsewhere: the three slots are one run.
// Sorting them as the pair 1-2 and the single 3 gave the second long's words
// numbers that were no neighbours, so its high word read another local.
TEST_F(Shrink, TableStepKeepsOverlappingPairsTogether)
{
    options o(0, 0, 0);
    dftest::run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        g.mb.args_size = 0;
        method_compile_context* m = &g.m;
        m->local_count = 5;
        quadruple* first = quad(m, OPC_LCONST, 0, opnd(LONG_LOCAL, 1), opnd(INT_IMM, 0), none(), 1);
        quadruple* second = quad(m, OPC_LCONST, 0, opnd(LONG_LOCAL, 2), opnd(INT_IMM, 0), none(), 1);
        quadruple* word = quad(m, OPC_IOP2, QOP_ADD, opnd(INT_LOCAL, 4), opnd(INT_LOCAL, 2), opnd(INT_LOCAL, 0), 2);
        put(g, 1, {first, second, word});
        auto* table = static_cast<var_usage_entry*>(jit_wmem_alloc(m->pool1, 5 * sizeof(var_usage_entry)));
        memset(table, 0, 5 * sizeof(var_usage_entry));
        table[0] = {0, VU_INT | VU_USED, 9, 0};
        table[1] = {0, VU_LONG_HIGH | VU_USED, 1, 0};
        table[2] = {0, VU_LONG_LOW | VU_LONG_HIGH | VU_INT | VU_USED, 3, 0};
        table[3] = {0, VU_LONG_LOW | VU_USED, 2, 0};
        table[4] = {0, VU_INT | VU_USED, 5, 0};
        g.block(0)->var_table = table;
        mcc_set_transfer_map(m, nullptr);

        ASSERT_EQ(do_shrinking_and_sorting_lvar_tbl(m), 0);
        // Sorted: run 1-3 (average 2), 4 (5), 0 (9).
        EXPECT_EQ(shrink_map(m), (std::vector<s4>{4, 0, 1, 2, 3}));
        EXPECT_EQ(first->result.number + 1, second->result.number);
        EXPECT_EQ(word->src1.number, second->result.number);
        EXPECT_EQ(table[1].flags, VU_LONG_LOW | VU_LONG_HIGH | VU_INT | VU_USED);
        if (m->bb_table_pool != nullptr)
            jit_wmem_free(static_cast<work_pool*>(m->bb_table_pool));
        g.release();
    });
}

// Without an earlier map the table step's own map is kept, so the code
// generator still finds where each old local went.
TEST_F(Shrink, TableStepAloneKeepsItsMap)
{
    options o(0, 0, 0);
    dftest::run([&](EE*) {
        graph g;
        method(g, 6);
        method_compile_context* m = &g.m;
        auto* table = static_cast<var_usage_entry*>(jit_wmem_alloc(m->pool1, 6 * sizeof(var_usage_entry)));
        memset(table, 0, 6 * sizeof(var_usage_entry));
        table[2] = {0, VU_INT | VU_USED, 7, 0};
        table[5] = {0, VU_INT | VU_DEFINED, 0, 0};
        g.block(0)->var_table = table;
        mcc_set_transfer_map(m, nullptr);
        ASSERT_EQ(do_shrinking_and_sorting_lvar_tbl(m), 0);
        EXPECT_EQ(shrink_map(m), (std::vector<s4>{0, -1, 2, -1, -1, 1}));
        EXPECT_EQ(m->local_count, 3);
        if (m->bb_table_pool != nullptr)
            jit_wmem_free(static_cast<work_pool*>(m->bb_table_pool));
        g.release();
    });
}

}  // namespace
