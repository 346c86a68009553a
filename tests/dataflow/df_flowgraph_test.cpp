// Flow-graph and loop-table utilities and the constant tables.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "df_graph.h"
#include "df_vm_env.h"

namespace {

using dftest::graph;
using list = std::vector<u4>;

class Flowgraph : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

quadruple* nop(method_compile_context* m)
{
    auto* q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
    memset(q, 0, sizeof *q);
    q->subcode = OTHER_NOP_DELETED;
    return q;
}

// One nest of two levels over blocks 2..4: level 0 (inner) {3, 4} headed by
// 3, level 1 (outer, the body) {2, 3, 4} headed by 2, exits from 4.
struct nest {
    loop_table_record rec;
    loopattribute inner, outer;
    loopattribute* levels[2];
    bbattr* inner_blocks[4];
    bbattr* outer_blocks[4];
    u4 exits[2];

    void build(graph& g)
    {
        memset(this, 0, sizeof *this);
        inner_blocks[0] = g.block(4);
        inner_blocks[1] = g.block(3);
        outer_blocks[0] = g.block(3);
        outer_blocks[1] = g.block(4);
        outer_blocks[2] = g.block(2);
        inner = {nullptr, 3, 3, nullptr, g.block(3), 4, 2, 2, inner_blocks, 0, 0, nullptr, nullptr};
        outer = {nullptr, 2, 2, nullptr, g.block(2), 4, 3, 3, outer_blocks, 1, 1, exits, nullptr};
        exits[0] = 4;
        levels[0] = &inner;
        levels[1] = &outer;
        rec.depth = 2;
        rec.body = &outer;
        rec.levels = levels;
        for (u4 b = 2; b <= 4; b++) {
            g.block(b)->flags |= BB_LOOP_MEMBER;
            g.block(b)->loop_index = 0;
            g.block(b)->loop_depth = b == 2 ? 1 : 0;
        }
        g.block(2)->flags |= BB_LOOP_FIRST | BB_LOOP_HEAD;
        g.block(4)->flags |= BB_LOOP_LAST | BB_LOOP_EXITING;
        g.m.loop_count = 1;
        g.m.loop_table = static_cast<void**>(jit_wmem_alloc(g.m.pool1, 4 * sizeof(void*)));
        g.m.loop_table[0] = &rec;
        mcc_loop_capacity(&g.m) = 1;
    }
};

} // namespace

// Growing by nothing reallocates nothing and leaves the out-flag; growing by
// two copies the table and the DFS list and sets it.
TEST_F(Flowgraph, TableExpansionGrowsOnlyWhenNeeded)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(4, {{1}, {2}, {3}});
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        bbattr** table = g.m.bb_table;
        int flag = 0;
        table_expansion(&g.m, 0, 0, 0, 0, 0, 0, &flag);
        EXPECT_EQ(flag, 0);
        EXPECT_EQ(g.m.bb_table, table);
        table_expansion(&g.m, 2, 0, 0, 0, 0, 0, &flag);
        EXPECT_EQ(flag, 1);
        EXPECT_NE(g.m.bb_table, table);
        EXPECT_EQ(g.m.bb_capacity, 6u);
        EXPECT_EQ(g.m.bb_table[3], table[3]);
        EXPECT_EQ(g.dfs(), (list{0, 1, 2, 3}));
        // Loops: fresh records after the last one, the count unchanged.
        g.m.loop_count = 0;
        table_expansion(&g.m, 0, 0, 2, 0, 0, 0, &flag);
        EXPECT_EQ(g.m.loop_count, 0u);
        ASSERT_EQ(mcc_loop_capacity(&g.m), 2u);
        EXPECT_EQ(mcc_loop(&g.m, 1)->id, 1u);
        EXPECT_EQ(mcc_loop(&g.m, 1)->flags, LOOP_FRESH);
        // Subroutines: copies keep their lists, their flags start clear; block
        // 0's list gets room.
        g.subroutines(1);
        g.subroutine(0).flags = SUBR_MAIN_FLOW;
        g.subroutine(0).block_count = 1;
        u4 only = 2;
        g.subroutine(0).blocks = &only;
        table_expansion(&g.m, 0, 1, 0, 0, 1, 0, &flag);
        EXPECT_EQ(mcc_subroutine_capacity(&g.m), 2u);
        EXPECT_EQ(g.subroutine(0).blocks, &only);
        EXPECT_EQ(g.subroutine(0).flags, 0);
        g.block(0)->succ[g.block(0)->succ_count + 1] = 9;      // room for two more
        g.release();
    });
}

// A block made only of NOPs keeps one; otherwise the survivors move into the
// leading records in order and the freed records go onto the free list.
TEST_F(Flowgraph, RemoveNopSqueezesBlocks)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(4, {{1}, {2}, {3}}, 0);
        g.set_quads(1, {OPC_OTHER, OPC_IOP2, OPC_OTHER, OPC_GOTO});
        g.block(1)->catbl[0] = nop(&g.m);
        g.block(1)->catbl[2] = nop(&g.m);
        g.set_quads(2, {OPC_OTHER, OPC_OTHER});
        g.block(2)->catbl[0] = nop(&g.m);
        g.block(2)->catbl[1] = nop(&g.m);
        g.m.total_quad_count = 6;
        quadruple* first = g.block(1)->catbl[0];
        remove_nop(&g.m);
        ASSERT_EQ(g.block(1)->quad_count, 2u);
        EXPECT_EQ(g.block(1)->catbl[0], first);
        EXPECT_EQ(g.block(1)->catbl[0]->opcode, OPC_IOP2);
        EXPECT_EQ(g.block(1)->catbl[1]->opcode, OPC_GOTO);
        EXPECT_EQ(g.block(2)->quad_count, 1u);
        EXPECT_EQ(g.m.total_quad_count, 3u);
        u4 free = 0;
        for (quadruple* q = mcc_quad_free_list(&g.m); q != nullptr;) {
            free++;
            memcpy(&q, q, sizeof q);
        }
        EXPECT_EQ(free, 3u);
        g.release();
    });
}

// The local count and maximum stack only grow: an expanded body's blocks
// raise them by their bases.
TEST_F(Flowgraph, LocalCountAndMaxStackNeverShrink)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(4, {{1}, {2}, {3}});
        g.m.local_count = 5;
        g.m.max_stack = 4;
        g.block(1)->local_count = 2;
        g.block(1)->stack_word = 1;
        update_maxstack_and_nlocals(&g.m, nullptr);
        EXPECT_EQ(g.m.local_count, 5);
        EXPECT_EQ(g.m.max_stack, 4);
        g.block(2)->word_104 = 5 | (3u << 16);          // local base 5, stack base 3
        g.block(2)->local_count = 3;
        g.block(2)->stack_word = 2;
        update_maxstack_and_nlocals(&g.m, nullptr);
        EXPECT_EQ(g.m.local_count, 8);
        EXPECT_EQ(g.m.max_stack, 5);
        g.release();
    });
}

// Deleting blocks from a nest: extremes and the header move on, with their
// marks; a nest left without blocks leaves the table; unreachable blocks and
// exits are taken out; sorting renumbers the blocks' loop index.
TEST_F(Flowgraph, LoopTableStaysConsistent)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(7, {{1}, {2}, {3}, {4}, {2, 5}, {6}});
        nest n;
        n.build(g);
        // The inner header 3 goes: the inner level's header becomes its
        // designated successor 4, which takes 3's header marks, and the
        // level's lowest block becomes 4.
        n.inner.entry_successor = g.block(4);
        g.block(3)->flags |= BB_LOOP_INNERMOST_HEAD;
        delete_bb_from_loop_bb_table(&n.rec, g.block(3));
        EXPECT_EQ(n.inner.block_count, 1u);
        EXPECT_EQ(n.inner.first_id, 4u);
        EXPECT_EQ(n.inner.entry_id, 4u);
        EXPECT_TRUE(g.block(4)->flags & BB_LOOP_INNERMOST_HEAD);
        EXPECT_EQ(n.outer.block_count, 2u);
        // Block 4 found unreachable: out of both levels and the exit list.
        g.block(4)->flags |= BB_DEAD;
        ASSERT_EQ(eliminate_unreachable_bb_from_loop_table(&g.m), 1);
        EXPECT_EQ(n.inner.block_count, 0u);
        EXPECT_EQ(n.outer.block_count, 1u);
        EXPECT_EQ(n.outer.exit_count, 0);
        EXPECT_TRUE(g.block(4)->flags & BB_LOOP_REMOVED);
        // Pre-entry links of the outer header.
        ASSERT_EQ(add_a_loop_pre_entry_link(&g.m, &n.rec, g.block(2), 1), 1);
        relink_loop_pre_entry_links(&n.rec, g.block(2), 9, 1);
        ASSERT_NE(n.outer.pre_entry, nullptr);
        EXPECT_EQ(n.outer.pre_entry->value, 9u);
        delete_a_loop_pre_entry_link(&n.rec, g.block(2), 9);
        EXPECT_EQ(n.outer.pre_entry, nullptr);
        // Rare path, outer-invalid id.
        g.block(2)->flags2 |= BB2_RARE;
        n.rec.outer_invalid_id = 3;
        detect_loops_within_rare_path(&g.m);
        EXPECT_TRUE(n.rec.flags & LOOP_RARE_PATH);
        EXPECT_EQ(search_outer_invalid_loop_id(&g.m, 2), 3);
        EXPECT_EQ(search_outer_invalid_loop_id(&g.m, 1), 0);
        // A second nest over block 1 sorts first and takes index 0.
        loopattribute early{};
        bbattr* early_blocks[1] = {g.block(1)};
        early.first_id = early.last_id = early.entry_id = 1;
        early.block_count = 1;
        early.blocks = early_blocks;
        loop_table_record second{};
        second.body = &early;
        second.flags = LOOP_INVALID;
        g.m.loop_table[1] = &second;
        g.m.loop_count = 2;
        sort_and_renumber_loops(&g.m);
        EXPECT_EQ(g.m.loop_table[0], &second);
        EXPECT_EQ(g.block(1)->loop_index, 0);
        EXPECT_EQ(g.block(1)->flags & (BB_LOOP_MEMBER | BB_LOOP_INVALID), BB_LOOP_MEMBER | BB_LOOP_INVALID);
        EXPECT_EQ(g.block(2)->loop_index, 1);
        s4 id = 0;
        n.outer.block_count = 0;
        delete_loop_from_loop_table(&g.m, &id);
        EXPECT_EQ(g.m.loop_count, 1u);
        EXPECT_EQ(g.m.loop_table[0], &n.rec);
        EXPECT_EQ(n.rec.id, 0u);
        g.release();
    });
}

// The folded-constant table: one address per value and kind, 16 words at
// first, then doubling, and addresses handed out before a growth stay valid.
TEST_F(Flowgraph, FoldedConstantTable)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        const_table t{};
        u4 one = 0x3F800000;       // 1.0f
        EXPECT_EQ(SearchConstTable(&g.m, &t, CONST_KIND_FLOAT, &one), nullptr);
        const u4* a = AddConstTable(&g.m, &t, CONST_KIND_FLOAT, &one);
        EXPECT_EQ(AddConstTable(&g.m, &t, CONST_KIND_FLOAT, &one), a);
        EXPECT_EQ(t.count, 1);
        EXPECT_EQ(t.capacity, 16);
        std::vector<const u4*> early;
        for (u4 i = 1; i < 15; i++) {
            u4 v = 0x40000000 + i;
            early.push_back(AddConstTable(&g.m, &t, CONST_KIND_FLOAT, &v));
        }
        EXPECT_EQ(t.count, 15);
        u4 last = 0x7F000000;
        AddConstTable(&g.m, &t, CONST_KIND_FLOAT, &last);       // the 16th word: no growth
        EXPECT_EQ(t.capacity, 16);
        u4 words[2] = {1, 2};
        t.count = 15;                                             // a long at count 15 grows first
        const u4* l = AddConstTable(&g.m, &t, CONST_KIND_LONG, words);
        EXPECT_EQ(t.capacity, 32);
        const u4* d = AddConstTable(&g.m, &t, CONST_KIND_DOUBLE, words);
        EXPECT_NE(l, d);
        EXPECT_EQ(SearchConstTable(&g.m, &t, CONST_KIND_LONG, words), l);
        EXPECT_EQ(*a, one);
        for (u4 i = 0; i < early.size(); i++)
            EXPECT_EQ(*early[i], 0x40000001 + i);
        EXPECT_EQ(const_table_hash(CONST_KIND_DOUBLE, words), (6u << 10) ^ 2 ^ 1);
        g.release();
    });
}

// Guards against wrapping 16-bit counters: past 32768 words the capacity
// would wrap to 0 and the next growth would store past a zero-sized array.
// Every address handed out keeps its value.
TEST_F(Flowgraph, FoldedConstantTableBeyondSixteenBits)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        const_table t{};
        std::vector<const u4*> addresses;
        const u4 n = 70000;
        for (u4 i = 0; i < n; i++) {
            u4 v = 0x10000000 + i;
            addresses.push_back(AddConstTable(&g.m, &t, CONST_KIND_FLOAT, &v));
        }
        EXPECT_EQ(t.count, n);
        EXPECT_GE(t.capacity, n);
        for (u4 i = 0; i < n; i += 997)
            EXPECT_EQ(*addresses[i], 0x10000000 + i);
        u4 last = 0x10000000 + n - 1;
        EXPECT_EQ(SearchConstTable(&g.m, &t, CONST_KIND_FLOAT, &last), addresses.back());
        g.release();
    });
}

// The constant-pool table of a real class: its float, long and double
// entries by address; blocks flagged 0x2000 or empty add nothing.
TEST_F(Flowgraph, PoolConstantTableOfARealClass)
{
    dftest::run([&](EE* ee) {
        classblock* cb = dftest::find_class(ee, "DfShapes", false);
        ASSERT_NE(cb, nullptr);
        graph g;
        g.build(4, {{1}, {2}, {3}});
        g.mb.clazz = cb;
        classblock* other = dftest::find_class(ee, "java/lang/Math", false);
        ASSERT_NE(other, nullptr);
        methodblock other_mb{};
        other_mb.clazz = other;
        g.block(2)->mb = &other_mb;
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        g.block(2)->flags |= BB_DEAD;               // listed, but flagged: skipped
        Initialize_const_table(&g.m);
        const_table* pool = mcc_pool_constants(&g.m);
        EXPECT_LT(pool->mode, 0);
        const u4* cp = cb->constantpool;
        const u1* tags = reinterpret_cast<const u1*>(cp[0]);
        u4 seen = 0;
        for (u4 i = 1; i < cb->constantpool_count; i++) {
            u1 tag = tags[i] & CONSTANT_TAG_MASK;
            if (tag == CONSTANT_Float || tag == CONSTANT_Long || tag == CONSTANT_Double) {
                EXPECT_EQ(SearchConstTable(&g.m, pool, tag, &cp[i]), &cp[i]) << i;
                seen++;
                if (tag != CONSTANT_Float)
                    i++;
            }
        }
        EXPECT_GE(seen, 3u);
        // Math's constants (PI, E) were not entered.
        const u4* mcp = other->constantpool;
        const u1* mtags = reinterpret_cast<const u1*>(mcp[0]);
        for (u4 i = 1; i < other->constantpool_count; i++)
            if ((mtags[i] & CONSTANT_TAG_MASK) == CONSTANT_Double) {
                const u4* hit = SearchConstTable(&g.m, pool, CONST_KIND_DOUBLE, &mcp[i]);
                EXPECT_TRUE(hit == nullptr || (hit >= cp && hit < cp + cb->constantpool_count));
            }
        EXPECT_EQ(mcc_folded_constants(&g.m)->count, 0);
        g.release();
    });
}
