// Synchronization optimization on small hand-made block graphs: nested
// monitor regions, and monitors taken out of a loop of a hand-built loop
// table (the loop-structure pass does not build one yet).
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "df_qpass_graph.h"
#include "df_vm_env.h"
#include "driver/vmlink.h"
#include "dataflow/df_syncopt.h"

namespace {

using namespace dftest;

qspec enter(u2 index, u2 object, u2 lock)
{
    return {OPC_SYNCENTER, index, L(lock, QT_LONG), L(object, QT_REF), NONE(), 1};
}
qspec leave(u2 index, u2 lock) { return {OPC_SYNCEXIT, index, NONE(), L(lock, QT_LONG), NONE(), 1}; }
qspec branch() { return plain(OPC_IFZ); }

void set_order(graph& g, const std::vector<u4>& order)
{
    g.m.dfs_count = static_cast<u4>(order.size());
    for (u4 k = 0; k < order.size(); k++)
        g.m.dfs_array[k] = order[k];
}

int run_syncopt(graph& g)
{
    dataflow_pass_context pc;
    df_init_pass_context(&g.m, &pc);
    return dataflow_Q_syncopt(&g.m, &pc);
}

// Live monitor quadruples as (block, opcode, monitor index).
struct site {
    u4 block;
    u1 opcode;
    u2 index;
    bool operator==(const site& o) const { return block == o.block && opcode == o.opcode && index == o.index; }
};
std::vector<site> live_monitors(graph& g)
{
    std::vector<site> v;
    for (u4 b = 0; b < g.m.bb_count; b++)
        for (u4 i = 0; i < g.block(b)->quad_count; i++) {
            quadruple* q = g.block(b)->catbl[i];
            if (!df_deleted(q) && (q->opcode == OPC_SYNCENTER || q->opcode == OPC_SYNCEXIT))
                v.push_back({b, q->opcode, q->op});
        }
    return v;
}

class SyncOpt : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

} // namespace

// A region on local 1 inside another region on local 1 loses its enter and
// exit; the remaining region is renumbered to index 0.  A region on another
// object stays.
TEST_F(SyncOpt, NestedRegionOnSameObjectIsRemoved)
{
    dftest::run([&](EE*) {
        for (u2 inner_object : {1, 2}) {
            graph g;
            g.build(4, {{1}, {2}, {3}});
            fill(g, 1, {enter(1, 1, 10), enter(0, inner_object, 12)});
            fill(g, 2, {leave(0, 12), leave(1, 10)});
            set_order(g, {0, 1, 2, 3});
            ASSERT_EQ(run_syncopt(g), 0);
            std::vector<site> expected = inner_object == 1
                ? std::vector<site>{{1, OPC_SYNCENTER, 0}, {2, OPC_SYNCEXIT, 0}}
                : std::vector<site>{{1, OPC_SYNCENTER, 1}, {1, OPC_SYNCENTER, 0}, {2, OPC_SYNCEXIT, 0},
                                    {2, OPC_SYNCEXIT, 1}};
            EXPECT_EQ(live_monitors(g), expected) << inner_object;
            g.release();
        }
    });
}

// Fault guarded: "while (o.test()) o.work();" with both calls inlined puts the
// test's region in a block that dominates the body and post-dominates it,
// though the body's region runs after the test has released the monitor.
// Across the back edge neither region is inside the other: both stay.
TEST_F(SyncOpt, RegionsAroundALoopBackEdgeStay)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(5, {{1}, {3}, {3}, {4, 2}});
        fill(g, 2, {enter(0, 1, 12), leave(0, 12)});
        fill(g, 3, {enter(1, 1, 10), leave(1, 10), branch()});
        g.block(3)->catbl[2]->target = 2;
        set_order(g, {0, 1, 3, 2, 4});
        ASSERT_EQ(run_syncopt(g), 0);
        EXPECT_EQ(live_monitors(g).size(), 4u);
        g.release();
    });
}

namespace {

// pre-header 1 -> header 2 -> latch 3 -> (2 | 4) -> exit 5, with a loop
// record for blocks 2 and 3.  The header creates an object and calls a
// constructor on it before it enters the monitor of local 1; the latch leaves
// it.
struct loop_graph {
    graph g;
    loopattribute level;
    loop_table_record loop;
    loopattribute* levels[1];
    loop_link pre_entry, entering;
    void* table[1];

    void build(u2 call_subcode, u4 latch_flags)
    {
        g.build(6, {{1}, {2}, {3}, {4, 2}, {5}});
        qspec make{OPC_NEW, 0, L(5, QT_REF), NONE(), NONE(), 0};
        qspec init = call({L(5, QT_REF)});
        fill(g, 2, {make, init, enter(0, 1, 10)});
        fill(g, 3, {leave(0, 10), branch()});
        quadruple* ctor = g.block(2)->catbl[1];
        ctor->subcode = call_subcode;
        df_operand* receiver = df_opnd(quad_list_head(ctor));
        receiver->kind |= DFO_SINGLE_REF;
        receiver->chain = make_quad_ref(2, 0);
        g.block(3)->catbl[1]->target = 2;
        g.block(3)->flags |= latch_flags;
        for (u4 b : {2u, 3u}) {
            g.block(b)->flags |= BB_KIND_LOOP;
            g.block(b)->loop_index = 0;
        }
        memset(&level, 0, sizeof level);
        memset(&loop, 0, sizeof loop);
        pre_entry = {1, nullptr};
        entering = {3, nullptr};
        level.pre_entry = &pre_entry;
        level.entering = &entering;
        level.first_id = 2;
        level.entry_id = 2;
        level.entry_block = g.block(1);
        level.last_id = 3;
        level.block_count = 2;
        level.capacity = 2;
        level.blocks = static_cast<bbattr**>(jit_wmem_alloc(g.m.pool1, 2 * sizeof(bbattr*)));
        level.blocks[0] = g.block(3);
        level.blocks[1] = g.block(2);
        level.exit_count = 1;
        levels[0] = &level;
        loop.depth = 1;
        loop.body = &level;
        loop.levels = levels;
        table[0] = &loop;
        g.m.loop_table = table;
        g.m.loop_count = 1;
        mcc_loop_capacity(&g.m) = 1;
        set_order(g, {0, 1, 2, 3, 4, 5});
    }
};

} // namespace

// Faults guarded: only Integer.<init>(I)V on a fresh object counts as a call
// that cannot block before the enter (any other constructor may synchronize
// or wait); and a loop that a handler of the method covers keeps its monitor
// inside, since the handler would run on with the monitor released by the
// exception filter and the exit after the loop would release it again.
TEST_F(SyncOpt, MonitorTakenOutOfSimpleLoop)
{
    struct {
        const char* what;
        u2 call_subcode;
        u4 latch_flags;
        bool hoisted;
    } rows[] = {
        {"Integer.<init> on a new object", QS_INTEGER_INIT, 0, true},
        {"another constructor", 0, 0, false},
        {"latch inside a try range", QS_INTEGER_INIT, BB_IN_TRY, false},
    };
    s4 saved = orva_processor_num;
    dftest::run([&](EE*) {
        for (const auto& r : rows) {
            SCOPED_TRACE(r.what);
            loop_graph lg;
            lg.build(r.call_subcode, r.latch_flags);
            orva_processor_num = 1;
            ASSERT_EQ(run_syncopt(lg.g), 0);
            orva_processor_num = saved;
            std::vector<site> monitors = live_monitors(lg.g);
            ASSERT_EQ(monitors.size(), 2u);
            if (!r.hoisted) {
                EXPECT_EQ(lg.g.m.bb_count, 6u);
                EXPECT_EQ(monitors[0], (site{2, OPC_SYNCENTER, 0}));
                EXPECT_EQ(monitors[1], (site{3, OPC_SYNCEXIT, 0}));
                continue;
            }
            // Enter in the pre-header, exit in a new block right after the
            // latch, which leads on to the loop's old exit.
            EXPECT_EQ(lg.g.m.bb_count, 7u);
            EXPECT_EQ(monitors[0], (site{1, OPC_SYNCENTER, 0}));
            EXPECT_EQ(monitors[1], (site{4, OPC_SYNCEXIT, 0}));
            EXPECT_EQ(lg.g.block(3)->succ[0], 4u);
            EXPECT_EQ(lg.g.block(4)->succ[0], 5u);
        }
    });
    orva_processor_num = saved;
}

// A multiprocessor never runs the loop phase.
TEST_F(SyncOpt, MultiprocessorKeepsLoopMonitors)
{
    s4 saved = orva_processor_num;
    dftest::run([&](EE*) {
        loop_graph lg;
        lg.build(QS_INTEGER_INIT, 0);
        orva_processor_num = 2;
        ASSERT_EQ(run_syncopt(lg.g), 0);
        orva_processor_num = saved;
        EXPECT_EQ(lg.g.m.bb_count, 6u);
        EXPECT_EQ(live_monitors(lg.g).size(), 2u);
    });
    orva_processor_num = saved;
}
