// The iterative dataflow solver on small hand-made graphs, in its four set
// forms: the standard visitors' meets, the seed of block 1 and a back edge
// into it, the iteration order with subroutine lists, the size limits and
// the set utilities.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "df_graph.h"
#include "df_vm_env.h"

namespace {

using dftest::graph;

class Solver : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

u8 items(std::initializer_list<u4> list)
{
    u8 w = 0;
    for (u4 i : list)
        w |= ABIT_llshr[i];
    return w;
}

dataflow_pass_descriptor forward_descriptor(s4 n)
{
    dataflow_pass_descriptor d{};
    d.n = n;
    d.iter_B = DFS_Iter_DataFlow_B;
    d.visit_B = Fwd_Visit_DataFlow_B;
    d.iter_V = DFS_Iter_DataFlow_V;
    d.visit_V = Fwd_Visit_DataFlow_V;
    return d;
}

// A union meet that honours the touched flag, as the reaching-definitions
// pass's own visitor does.
int union_visit(method_compile_context* m, dataflow_pass_context*, dataflow_block_sets* sets, u4 block,
                dataflow_pass_descriptor*)
{
    bbattr* b = m->bb_table[block];
    dataflow_block_sets& s = sets[block];
    u8 old = s.out;
    s.out = (s.in & ~s.kill) | s.gen;
    for (u4 i = 0; i < b->succ_count; i++) {
        dataflow_block_sets& t = sets[b->succ[i]];
        if (t.touched) {
            t.in |= s.out;
        } else {
            t.touched = 1;
            t.in = s.out;
        }
    }
    return s.out != old;
}

std::vector<u4> visit_log;
int logging_visit(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4 block,
                  dataflow_pass_descriptor*)
{
    visit_log.push_back(block);
    return 0;
}

int init_b_calls, init_v_calls;
int count_init_b(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4, dataflow_pass_descriptor*)
{
    return ++init_b_calls;
}
int count_init_v(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4, dataflow_pass_descriptor*)
{
    return ++init_v_calls;
}

} // namespace

// Fault guarded: a forward problem must not pull a join's IN down to the
// empty set because one predecessor was not visited yet; the first arrival
// is copied, the later ones intersect.
TEST_F(Solver, ForwardMeetCopiesFirstArrivalThenIntersects)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(6, {{1}, {2, 3}, {4}, {4}, {5}});
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        std::vector<dataflow_block_sets> sets(6);
        memset(sets.data(), 0, sets.size() * sizeof sets[0]);
        sets[2].gen = items({0, 1});
        sets[3].gen = items({0, 2});
        dataflow_pass_descriptor d = forward_descriptor(3);
        Iter_DataFlow(&g.m, nullptr, sets.data(), 6, &d);
        EXPECT_EQ(sets[4].in, items({0}));
        EXPECT_EQ(sets[4].out, items({0}));
        g.release();
    });
}

// Fault guarded: seeding IN of block 1 must mark it touched, so that a back
// edge into block 1 meets the entry facts instead of overwriting them.
// Intersection: a fact made only inside the loop must not hold at its head.
TEST_F(Solver, BackEdgeIntoBlockOneIntersectsWithTheSeed)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(5, {{1}, {2}, {1, 3}, {4}});
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        for (s4 n : {3, 70}) {
            SCOPED_TRACE(n);
            std::vector<dataflow_block_sets> sets(5);
            memset(sets.data(), 0, sets.size() * sizeof sets[0]);
            dataflow_pass_context pc{};
            dataflow_pass_descriptor d = forward_descriptor(n);
            d.init_B = Recv_Init_DataFlow_B;
            d.init_V = Recv_Init_DataFlow_V;
            ASSERT_EQ(Alloc_DataFlow(&g.m, &pc, sets.data(), 5, &d), 1);
            if (n < 65) {
                sets[2].gen = items({1});
            } else {
                df_vset(df_vec(sets[2].gen), 1);
                df_vset(df_vec(sets[2].gen), 69);
            }
            Init_DataFlow(&g.m, &pc, sets.data(), 5, &d);
            EXPECT_EQ(sets[1].touched, 1u);
            Iter_DataFlow(&g.m, &pc, sets.data(), 5, &d);
            if (n < 65) {
                EXPECT_EQ(sets[1].in, items({0}));
                EXPECT_EQ(sets[3].in, items({0, 1}));
            } else {
                const u8* in1 = df_vec(sets[1].in);
                EXPECT_TRUE(df_vtest(in1, 0));
                EXPECT_FALSE(df_vtest(in1, 1));
                EXPECT_FALSE(df_vtest(in1, 69));
                EXPECT_TRUE(df_vtest(df_vec(sets[3].in), 69));
            }
        }
        g.release();
    });
}

// The same seed under a union meet (reaching definitions): the entry
// definition still reaches the loop head after the back edge arrives.
TEST_F(Solver, BackEdgeIntoBlockOneUnitesWithTheSeed)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(5, {{1}, {2}, {1, 3}, {4}});
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        std::vector<dataflow_block_sets> sets(5);
        memset(sets.data(), 0, sets.size() * sizeof sets[0]);
        sets[2].gen = items({1});
        sets[2].kill = items({0});
        dataflow_pass_descriptor d{};
        d.n = 2;
        d.init_B = Recv_Init_DataFlow_B;
        d.iter_B = DFS_Iter_DataFlow_B;
        d.visit_B = union_visit;
        Init_DataFlow(&g.m, nullptr, sets.data(), 5, &d);
        Iter_DataFlow(&g.m, nullptr, sets.data(), 5, &d);
        EXPECT_EQ(sets[1].in, items({0, 1}));
        EXPECT_EQ(sets[3].in, items({1}));
        g.release();
    });
}

TEST_F(Solver, UnreachableBlockComputesButPassesNothing)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(5, {{1}, {2, 3}, {4}, {4}});
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        g.block(2)->flags |= BB_DEAD;
        std::vector<dataflow_block_sets> sets(5);
        memset(sets.data(), 0, sets.size() * sizeof sets[0]);
        sets[2].in = items({5});
        sets[2].gen = items({7});
        dataflow_pass_descriptor d = forward_descriptor(8);
        Fwd_Visit_DataFlow_B(&g.m, nullptr, sets.data(), 2, &d);
        EXPECT_EQ(sets[2].out, items({5, 7}));
        EXPECT_EQ(sets[4].touched, 0u);
        EXPECT_EQ(sets[4].in, 0u);
        g.release();
    });
}

// Backward: union of the successors' IN; a jsr block takes the exit set as
// its OUT; the dominance visitor intersects.
TEST_F(Solver, BackwardVisitorsUniteIntersectAndHonourJsr)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(6, {{1}, {2, 3}, {4}, {4}, {5}});
        std::vector<dataflow_block_sets> sets(6);
        memset(sets.data(), 0, sets.size() * sizeof sets[0]);
        sets[2].in = items({1, 2});
        sets[3].in = items({2, 3});
        dataflow_pass_context pc{};
        pc.exit_set[0] = 0;
        pc.exit_set[1] = 0x40000000;      // item 1
        dataflow_pass_descriptor d{};
        d.n = 8;
        EXPECT_EQ(Bwd_Visit_DataFlow_B(&g.m, &pc, sets.data(), 1, &d), 1);
        EXPECT_EQ(sets[1].out, items({1, 2, 3}));
        EXPECT_EQ(Dom_Visit_DataFlow_B(&g.m, &pc, sets.data(), 1, &d), 1);
        EXPECT_EQ(sets[1].out, items({2}));
        g.set_quads(1, {OPC_OTHER, OPC_JSR});
        sets[1].gen = items({7});
        Bwd_Visit_DataFlow_B(&g.m, &pc, sets.data(), 1, &d);
        EXPECT_EQ(sets[1].out, items({1}));
        EXPECT_EQ(sets[1].in, items({1, 7}));
        g.release();
    });
}

// Forward sweeps take DFS entries 1 .. count-2 and then every subroutine's
// list; backward sweeps the reverse, each list from its end.
TEST_F(Solver, IteratorsVisitDfsOrderThenSubroutineLists)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(7, {{1, -5}, {2}, {3}, {6}, {}, {6}});
        g.subroutines(1);
        ASSERT_EQ(generate_dfs_list_traditional(&g.m), 1);
        ASSERT_EQ(g.subroutine(0).block_count, 1u);
        dataflow_pass_descriptor d{};
        d.n = 1;
        d.visit_B = logging_visit;
        visit_log.clear();
        DFS_Iter_DataFlow_B(&g.m, nullptr, nullptr, 7, &d);
        std::vector<u4> forward(g.m.dfs_array + 1, g.m.dfs_array + g.m.dfs_count - 1);
        forward.push_back(5);
        EXPECT_EQ(visit_log, forward);
        visit_log.clear();
        RDFS_Iter_DataFlow_B(&g.m, nullptr, nullptr, 7, &d);
        std::vector<u4> backward(forward.rbegin() + 1, forward.rend());
        backward.push_back(5);
        EXPECT_EQ(visit_log, backward);
        visit_log.clear();
        d.repeat = 3;
        RDFS_Iter_DataFlow_I(&g.m, nullptr, nullptr, 7, &d);
        EXPECT_EQ(visit_log.size(), 3 * backward.size());
        g.release();
    });
}

// n = 64 is one word held in the record (bit-word callbacks); n = 65 takes
// two words per set (bit-vector callbacks), 32 x 2 x 4096 bytes fit the limit
// and 4097 blocks do not.
TEST_F(Solver, FormSelectionAndAllocationLimit)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        dataflow_pass_descriptor d{};
        d.init_B = count_init_b;
        d.init_V = count_init_v;
        std::vector<dataflow_block_sets> sets(4097);
        init_b_calls = init_v_calls = 0;
        d.n = 64;
        EXPECT_EQ(Alloc_DataFlow(&g.m, nullptr, sets.data(), 4097, &d), 1);
        Init_DataFlow(&g.m, nullptr, sets.data(), 3, &d);
        d.n = 65;
        Init_DataFlow(&g.m, nullptr, sets.data(), 3, &d);
        EXPECT_EQ(init_b_calls, 1);
        EXPECT_EQ(init_v_calls, 1);
        memset(sets.data(), 0, sets.size() * sizeof sets[0]);
        EXPECT_EQ(Alloc_DataFlow(&g.m, nullptr, sets.data(), 4097, &d), 0);
        EXPECT_EQ(sets[0].in, 0u);
        EXPECT_EQ(Alloc_DataFlow(&g.m, nullptr, sets.data(), 4096, &d), 1);
        EXPECT_NE(df_vec(sets[4095].kill), nullptr);
        EXPECT_EQ(df_vec(sets[1].in) - df_vec(sets[0].in), 8);
        g.release();
    });
}

TEST_F(Solver, VectorCompareAndCountIgnoreBitsBeyondTheItems)
{
    u8 a[2] = {~u8{0}, ABIT_llshr[0] | 0x1234};
    u8 b[2] = {~u8{0}, ABIT_llshr[0]};
    EXPECT_EQ(SAME_BITVEC(a, b, 65), 1);
    EXPECT_EQ(NSETS_BITVEC(a, 65), 65);
    EXPECT_EQ(SAME_BITVEC(a, b, 128), 0);
    EXPECT_EQ(NSETS_BITVEC(a, 128), 64 + 1 + __builtin_popcountll(0x1234));
    EXPECT_EQ(SAME_BITVEC(a, b, 0), 1);
    EXPECT_EQ(NSETS_BITVEC(a, -3), 0);
    EXPECT_EQ(NSETS_BASE(ABIT_llshr[0] | ABIT_llshr[10] | 1, 10), 1);
    EXPECT_EQ(NSETS_BASE(ABIT_llshr[0] | ABIT_llshr[10] | 1, 64), 3);
    EXPECT_EQ(ABIT_llshr[63], u8{1});
}

TEST_F(Solver, ReferenceListsStaySortedWithoutDuplicates)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        varref_list* heads[2] = {nullptr, nullptr};
        ADD_VARREF(&g.m, nullptr, heads, 0, 3, 1);
        ADD_VARREF(&g.m, nullptr, heads, 0, 7, 0);
        ADD_VARREF(&g.m, nullptr, heads, 0, 2, 1);
        ADD_VARREF(&g.m, nullptr, heads, 0, 3, 1);
        std::vector<quad_ref> refs;
        for (varref_list* l = heads[0]; l != nullptr; l = l->next)
            refs.push_back(l->ref);
        EXPECT_EQ(refs, (std::vector<quad_ref>{make_quad_ref(7, 0), make_quad_ref(2, 1), make_quad_ref(3, 1)}));
        varref_list* other[2] = {nullptr, nullptr};
        ADD_VARREF(&g.m, nullptr, other, 0, 5, 0);
        ADD_VARREF(&g.m, nullptr, other, 0, 2, 1);
        EXPECT_EQ(MERGE_VARREF(&g.m, nullptr, heads, other, 2), 1);
        EXPECT_EQ(MERGE_VARREF(&g.m, nullptr, heads, other, 2), 0);
        varref_list* copy[2] = {nullptr, nullptr};
        DUP_VARREF(&g.m, nullptr, copy, heads, 2);
        EXPECT_EQ(SAME_VARREF(copy, heads, 2), 1);
        EXPECT_NE(copy[0], heads[0]);
        EXPECT_EQ(SAME_VARREF0(copy[0], other[0]), 0);
        EXPECT_EQ(SAME_VARREF(copy, other, 0), 1);
        EXPECT_EQ(SAME_CHAIN(make_quad_ref(2, 1), make_quad_ref(2, 1), 1, 1), 1);
        EXPECT_EQ(SAME_CHAIN(make_quad_ref(2, 1), make_quad_ref(2, 1), 1, 0), 0);
        EXPECT_EQ(SAME_CHAIN(reinterpret_cast<u4>(copy[0]), reinterpret_cast<u4>(heads[0]), 0, 0), 1);
        g.release();
    });
}

TEST_F(Solver, IntegerFormStartsFromTheInitialValue)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        std::vector<dataflow_block_sets> sets(3);
        dataflow_pass_descriptor d{};
        d.n = 3;
        dataflow_pass_context pc{};
        df_init_pass_context(&g.m, &pc);
        EXPECT_EQ(pc.arena1_size, 0x40000u);
        Alloc_DataFlow_I(&g.m, &pc, sets.data(), 3, &d, -1);
        for (u4 b = 0; b < 3; b++)
            for (u4 i = 0; i < 3; i++)
                EXPECT_EQ(df_ints(sets[b].kill)[i], -1);
        EXPECT_LT(pc.arena1_free, pc.arena1_size);
        g.release();
    });
}
