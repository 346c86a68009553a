// Dead stores over bytecode on hand-made stack-form blocks: a store nobody
// reads goes with its operand tree, but not one whose operand calls out; in a
// loop a store that only feeds its own next value closes its cycle and goes,
// while one whose reaching definitions were all passed over stays; counted
// loops are deletable only with one exit, a bound from outside the loop, the
// increment first in the exit test and the pass flag 0x200.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "df_graph.h"
#include "df_vm_env.h"

namespace {

using dftest::graph;

class BcDeadStore : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

constexpr u2 CHAIN_INLINE = 0x0200;   // first-word bit 25
constexpr u2 STORE_DONE = 0x0010;     // first-word bit 20

struct q {
    u1 opcode;
    u2 op;          // local, operator or condition
    u2 count = 0;   // increment
};

void fill(graph& g, u4 block, const std::vector<q>& quads)
{
    std::vector<u1> ops;
    for (const q& x : quads)
        ops.push_back(x.opcode);
    g.set_quads(block, ops);
    for (u4 k = 0; k < quads.size(); k++) {
        g.block(block)->catbl[k]->op = quads[k].op;
        g.block(block)->catbl[k]->count = quads[k].count;
    }
}

quadruple* at(graph& g, u4 block, u4 index) { return g.block(block)->catbl[index]; }

void inline_chain(quadruple* x, quad_ref r)
{
    x->value = r;
    x->subcode |= CHAIN_INLINE;
}

void list_chain(graph& g, quadruple* x, const std::vector<quad_ref>& refs)
{
    varref_list* head = nullptr;
    for (size_t i = refs.size(); i-- > 0;) {
        auto* n = static_cast<varref_list*>(jit_wmem_alloc(g.m.pool1, sizeof(varref_list)));
        n->ref = refs[i];
        n->next = head;
        head = n;
    }
    x->value = reinterpret_cast<u4>(head);
    x->subcode &= static_cast<u2>(~CHAIN_INLINE);
}

bool deleted(const quadruple* x) { return x->opcode == OPC_OTHER && quad_kind_nibble(x) == OTHER_NOP_DELETED; }

void in_loop(graph& g, u4 block, int16_t depth)
{
    g.block(block)->flags |= BB_KIND_LOOP;
    g.block(block)->loop_index = 0;
    g.block(block)->loop_depth = depth;
}

// x2 = x1 + 1 in block 1 with no use of x2.
TEST_F(BcDeadStore, StoreWithoutUsesGoesWithItsTree)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        fill(g, 1, {{OPC_ILOAD, 1}, {OPC_ICONST, 0}, {OPC_IOP2, QOP_ADD}, {OPC_ISTORE, 2}, {OPC_ICONST, 0}});
        s4 stop;
        EXPECT_EQ(bytecode_dead_store(&g.m, 1, 3, &stop), 1);
        for (u4 k = 0; k < 4; k++)
            EXPECT_TRUE(deleted(at(g, 1, k))) << k;
        EXPECT_FALSE(deleted(at(g, 1, 4)));
        EXPECT_EQ(stop, -1);
        g.release();
    });
}

// x2 = f() + 1 with no use of x2: the call stays, the store is marked done;
// a division that may raise keeps its tree the same way.
TEST_F(BcDeadStore, OperandThatCallsOrRaisesStays)
{
    dftest::run([&](EE*) {
        for (u1 op : {OPC_ICALL, OPC_IGETFIELD}) {
            graph g;
            g.build(3, {{1}, {2}});
            fill(g, 1, {{op, 0}, {OPC_ICONST, 0}, {OPC_IOP2, QOP_ADD}, {OPC_ISTORE, 2}});
            s4 stop;
            EXPECT_EQ(bytecode_dead_store(&g.m, 1, 3, &stop), 0);
            for (u4 k = 0; k < 4; k++)
                EXPECT_FALSE(deleted(at(g, 1, k))) << k;
            EXPECT_TRUE(at(g, 1, 3)->subcode & STORE_DONE);
            g.release();
        }
        graph g;
        g.build(3, {{1}, {2}});
        fill(g, 1, {{OPC_ILOAD, 1}, {OPC_ILOAD, 3}, {OPC_IOP2, QOP_DIV}, {OPC_ISTORE, 2}});
        s4 stop;
        EXPECT_EQ(bytecode_dead_store(&g.m, 1, 3, &stop), 0);
        EXPECT_FALSE(deleted(at(g, 1, 2)));
        g.release();
    });
}

// Block 1 sets x1 = 0; block 2 (a loop on itself) does x1 = x1 + 1, read
// only by its own load around the loop.
struct counting_loop {
    graph g;
    void build(bool outside_only)
    {
        g.build(4, {{1}, {2}, {3, 2}});
        fill(g, 1, {{OPC_ICONST, 0}, {OPC_ISTORE, 1}});
        fill(g, 2, {{OPC_ILOAD, 1}, {OPC_ICONST, 0}, {OPC_IOP2, QOP_ADD}, {OPC_ISTORE, 1}, {OPC_GOTO, 0}});
        in_loop(g, 2, 0);
        inline_chain(at(g, 1, 1), make_quad_ref(2, 0));
        inline_chain(at(g, 2, 3), make_quad_ref(2, 0));
        if (outside_only) {
            // Every definition reaching the load is passed over: one before
            // the loop, one in a block of the loop with a higher level.
            g.set_quads(3, {OPC_OTHER, OPC_ISTORE});
            in_loop(g, 3, 1);
            list_chain(g, at(g, 2, 0), {make_quad_ref(1, 1), make_quad_ref(3, 1)});
        } else {
            list_chain(g, at(g, 2, 0), {make_quad_ref(1, 1), make_quad_ref(2, 3)});
        }
    }
};

TEST_F(BcDeadStore, StoreInALoopClosingItsCycleIsDead)
{
    dftest::run([&](EE*) {
        counting_loop l;
        l.build(false);
        s4 stop;
        EXPECT_EQ(bytecode_dead_store(&l.g.m, 2, 3, &stop), 1);
        for (u4 k = 0; k < 4; k++)
            EXPECT_TRUE(deleted(at(l.g, 2, k))) << k;
        EXPECT_FALSE(deleted(at(l.g, 2, 4)));
        EXPECT_FALSE(deleted(at(l.g, 1, 1)));
        l.g.release();
    });
}

TEST_F(BcDeadStore, ListOfPassedOverDefinitionsStaysLive)
{
    dftest::run([&](EE*) {
        counting_loop l;
        l.build(true);
        s4 stop;
        EXPECT_EQ(bytecode_dead_store(&l.g.m, 2, 3, &stop), 0);
        for (u4 k = 0; k < 4; k++)
            EXPECT_FALSE(deleted(at(l.g, 2, k))) << k;
        l.g.release();
    });
}

// 0 -> 1 (before the loop) -> 2 (body, stores x3) -> 3 (exit test:
// x1 += 1; x1 < bound) -> {4, 2}; 4 -> exit 5.
struct counted {
    graph g;
    loop_table_record rec;
    loopattribute body;
    loopattribute* levels[1];
    loop_link pre_outside, pre_inside;
    u4 exits[2];
    std::vector<u2> at_exit, at_pred;
    dataflow_pass_context pc;

    void build()
    {
        g.build(6, {{1}, {2}, {3}, {4, 2}, {5}});
        fill(g, 1, {{OPC_ICONST, 0}, {OPC_ISTORE, 1}, {OPC_GOTO, 0}});
        at(g, 1, 2)->target = 2;
        fill(g, 2, {{OPC_ILOAD, 1}, {OPC_ISTORE, 3}});
        fill(g, 3, {{OPC_IINC, 1, 1}, {OPC_ILOAD, 1}, {OPC_ILOAD, 4}, {OPC_IFCMP, QCC_LT}});
        for (u4 b : {2u, 3u})
            in_loop(g, b, 0);
        inline_chain(at(g, 3, 0), make_quad_ref(1, 1));
        inline_chain(at(g, 3, 2), make_quad_ref(1, 1));
        memset(&rec, 0, sizeof rec);
        memset(&body, 0, sizeof body);
        pre_outside = {1, &pre_inside};
        pre_inside = {3, nullptr};
        body.pre_entry = &pre_outside;
        body.first_id = 2;
        body.entry_id = 2;
        body.entry_successor = g.block(2);
        body.last_id = 3;
        body.exit_count = 1;
        exits[0] = 3;
        body.exits = exits;
        levels[0] = &body;
        rec.depth = 1;
        rec.state = 1;
        rec.body = &body;
        rec.levels = levels;
        g.m.loop_count = 1;
        g.m.loop_table = static_cast<void**>(jit_wmem_alloc(g.m.pool1, sizeof(void*)));
        g.m.loop_table[0] = &rec;
        mcc_loop_capacity(&g.m) = 1;
        at_exit.assign(6, 0);
        at_pred.assign(6, 0);
        memset(&pc, 0, sizeof pc);
        pc.flags = DFP_DELETE_LOOPS;
        pc.word3 = reinterpret_cast<u4>(at_exit.data());
        pc.word4 = reinterpret_cast<u4>(at_pred.data());
    }
};

TEST_F(BcDeadStore, CountedLoopDeletion)
{
    dftest::run([&](EE*) {
        struct variant {
            const char* name;
            void (*change)(counted&);
            int deletable;
        };
        const variant variants[] = {
            {"as built", [](counted&) {}, 1},
            {"no flag 0x200", [](counted& c) { c.pc.flags = 0; }, 0},
            {"two exits", [](counted& c) { c.body.exit_count = 2; c.exits[1] = 2; }, 0},
            {"bound stored in the loop, inline", [](counted& c) { inline_chain(at(c.g, 3, 2), make_quad_ref(2, 1)); }, 0},
            {"bound stored in the loop, list",
             [](counted& c) { list_chain(c.g, at(c.g, 3, 2), {make_quad_ref(1, 1), make_quad_ref(2, 1)}); }, 0},
            {"bound stored in the exit test", [](counted& c) { inline_chain(at(c.g, 3, 2), make_quad_ref(3, 0)); }, 1},
            {"increment not first", [](counted& c) { at(c.g, 3, 0)->opcode = OPC_ICONST; }, 0},
            {"step of two", [](counted& c) { at(c.g, 3, 0)->count = 2; }, 0},
            {"counter set in the body", [](counted& c) { inline_chain(at(c.g, 3, 0), make_quad_ref(2, 1)); }, 0},
            {"exit target in use", [](counted& c) { c.at_exit[4] = 1; }, 0},
            {"invalid loop", [](counted& c) { c.rec.flags |= 0x20; }, 0},
        };
        for (const variant& v : variants) {
            counted c;
            c.build();
            v.change(c);
            EXPECT_EQ(CheckDeleteLoop(&c.g.m, 0, &c.pc), v.deletable) << v.name;
            c.g.release();
        }
        counted c;
        c.build();
        ASSERT_EQ(CheckDeleteLoop(&c.g.m, 0, &c.pc), 1);
        u4 exit_preds = c.g.block(4)->pred_count;
        ASSERT_EQ(DeleteLoop(&c.g.m, 0), 1);
        EXPECT_EQ(c.g.block(1)->succ[0], 4u);
        EXPECT_EQ(at(c.g, 1, 2)->target, 4u);
        EXPECT_EQ(c.g.block(4)->pred_count, exit_preds + 1);
        c.g.release();
    });
}

// The pass runs only with its pass flag and kept statement chains; it
// deletes the dead store and asks for type flow on a division.
TEST_F(BcDeadStore, PassGates)
{
    dftest::run([&](EE*) {
        for (int gate = 0; gate < 3; gate++) {
            graph g;
            g.build(3, {{1}, {2}});
            fill(g, 1, {{OPC_ILOAD, 1}, {OPC_ISTORE, 2}, {OPC_ILOAD, 1}, {OPC_ILOAD, 3}, {OPC_IOP2, QOP_DIV},
                        {OPC_ISTORE, 4}});
            inline_chain(at(g, 1, 5), make_quad_ref(1, 0));
            u4 order[3] = {0, 1, 2};
            g.m.dfs_array = order;
            g.m.dfs_count = 3;
            dataflow_pass_context pc;
            memset(&pc, 0, sizeof pc);
            pc.flags = gate == 1 ? 0 : DFP_BC_DEADSTORE;
            if (gate == 2)
                g.m.state_flags |= MCC_STMT_CHAINS_NOT_KEPT;
            EXPECT_EQ(dataflow_deadstore(&g.m, &pc), 0);
            EXPECT_EQ(deleted(at(g, 1, 1)), gate == 0) << gate;
            EXPECT_EQ((pc.flags & DFP_TYPEFLOW) != 0, gate == 0) << gate;
            EXPECT_FALSE(deleted(at(g, 1, 4)));
            g.release();
        }
    });
}

} // namespace
