// Commoning on small hand-made graphs (run in loop_tests, where the real
// pass links): what it may delete, when local 0 counts as non-null, which
// quadruples end the life of a kept field value, and placement at a join.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "loop_quads.h"
#include "dataflow/df_operand.h"
#include "driver/options.h"

namespace {

using dftest::graph;
using namespace looptest;

class Commoning : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

constexpr u1 ARG_SLOT = 0x12;      // an int argument slot (kind 2)
constexpr u2 CANNOT_RAISE = 0xF000;

fieldblock plain_field = {nullptr, "f", "I", 0, 0, 8};
fieldblock other_field = {nullptr, "g", "I", 0, 1, 12};
fieldblock volatile_field = {nullptr, "v", "I", ACC_VOLATILE, 2, 16};

quadruple* op2(graph& g, u1 opcode, u2 op, quad_operand x, quad_operand a, quad_operand b)
{
    return quad(&g.m, opcode, op, x, a, b, static_cast<u2>(2 | CANNOT_RAISE));
}
quadruple* getfield(graph& g, u2 result, u2 object, fieldblock* fb)
{
    quadruple* q = quad(&g.m, OPC_IGETFIELD, 0, opnd(INT_LOCAL, result), opnd(REF_LOCAL, object), none(),
                        static_cast<u2>(1 | CANNOT_RAISE));
    q->aux = reinterpret_cast<u4>(fb);
    return q;
}
quadruple* putfield(graph& g, u2 object, u2 value, fieldblock* fb)
{
    quadruple* q = quad(&g.m, OPC_IPUTFIELD, 0, none(), opnd(REF_LOCAL, object), opnd(INT_LOCAL, value),
                        static_cast<u2>(2 | CANNOT_RAISE));
    q->aux = reinterpret_cast<u4>(fb);
    return q;
}
quadruple* plain(graph& g, u1 opcode, quad_operand a = none(), u2 sources = 0)
{
    return quad(&g.m, opcode, 0, none(), a, none(), static_cast<u2>(sources | CANNOT_RAISE));
}

// Entry, the blocks of `succ` and the exit; `order` is the DFS order.
void method(graph& g, u4 blocks, const std::vector<std::vector<s4>>& succ, const std::vector<u4>& order,
            u2 locals, bool is_static)
{
    g.build(blocks, succ);
    g.mb.access = is_static ? ACC_STATIC : 0;
    g.m.local_count = locals;
    g.m.state_flags |= MCC_QUAD_FORM;
    dfs(g, order);
}

int run(graph& g, dataflow_pass_context* pc)
{
    df_init_pass_context(&g.m, pc);
    return dataflow_Q_commoning(&g.m, pc);
}

// Guards against deleting a computation whose result the method still
// reads: only a result with no destination at all is dead.  A result in an
// argument slot (the operand stack of the call that follows) is read by the
// call although it is no local.
TEST_F(Commoning, OnlyAComputationWithoutDestinationIsDeleted)
{
    options o(0, 0, 0);
    struct row {
        const char* what;
        quad_operand result;
        bool deleted;
    } rows[] = {
        {"no destination", none(), true},
        {"argument slot", opnd(ARG_SLOT, 0), false},
        {"local", opnd(INT_LOCAL, 2), false},
    };
    for (const row& r : rows) {
        graph g;
        method(g, 3, {{1}, {2}}, {0, 1, 2}, 3, true);
        quadruple* add = op2(g, OPC_IOP2, QOP_ADD, r.result, opnd(INT_LOCAL, 0), opnd(INT_LOCAL, 1));
        quadruple* call = plain(g, OPC_VCALL);
        operand_list(&g.m, call, {{ARG_SLOT, 0}});
        put(g, 1, {add, call});
        dataflow_pass_context pc;
        EXPECT_EQ(run(g, &pc), 0);
        EXPECT_EQ(df_deleted(add), r.deleted) << r.what;
        g.release();
    }
}

// Guards against taking local 0 for the non-null receiver at a join after
// a path stored into it: the explicit null check there must stay.  Without
// any store into local 0 the check of the receiver goes.
TEST_F(Commoning, ReceiverIsNonNullAtAJoinOnlyWhenNeverStored)
{
    options o(0, 0, 0);
    for (bool stored : {false, true}) {
        graph g;
        // 1 -> {2, 3} -> 4 (the join) -> exit 5
        method(g, 6, {{1}, {2, 3}, {4}, {4}, {5}}, {0, 1, 2, 3, 4, 5}, 3, false);
        put(g, 1, {plain(g, OPC_OTHER)});
        if (stored)
            put(g, 2, {quad(&g.m, OPC_AMOVE, 0, opnd(REF_LOCAL, 0), opnd(REF_LOCAL, 1), none(),
                            static_cast<u2>(1 | CANNOT_RAISE))});
        else
            put(g, 2, {plain(g, OPC_OTHER)});
        put(g, 3, {plain(g, OPC_OTHER)});
        quadruple* check = quad(&g.m, OPC_NULLCHECK, 0, none(), opnd(REF_LOCAL, 0), none(), 1);
        put(g, 4, {check});
        dataflow_pass_context pc;
        run(g, &pc);
        EXPECT_EQ(df_deleted(check), !stored) << (stored ? "local 0 stored" : "never stored");
        g.release();
    }
}

// A field value kept from one load to the next: what stands between decides
// whether the second load may copy the first.  Monitors (another thread may
// have written the field), calls whose summary says they may write ints,
// unresolved calls, volatile reads and stores to the same field through any
// object end it; a store to another field does not.  Volatile fields are
// never kept at all.
TEST_F(Commoning, WhatEndsAKeptFieldValue)
{
    options o(0, 0, 0);
    graph* current = nullptr;
    auto call = [&](bool resolved) {
        quadruple* q = plain(*current, OPC_VCALL);
        operand_list(&current->m, q, {});
        quad_set_kind_nibble(q, 1);
        if (resolved)
            q->value = reinterpret_cast<u4>(&current->mb);
        else
            q->subcode |= QS_UNRESOLVED;
        return q;
    };
    struct row {
        const char* what;
        std::function<quadruple*()> between;
        fieldblock* field;
        bool commoned;
    } rows[] = {
        {"nothing", [&] { return plain(*current, OPC_OTHER); }, &plain_field, true},
        {"store to another field", [&] { return putfield(*current, 1, 4, &other_field); }, &plain_field, true},
        {"monitor enter", [&] { return plain(*current, OPC_MONITOR, opnd(REF_LOCAL, 1), 1); }, &plain_field, false},
        {"synchronized exit", [&] { return plain(*current, OPC_SYNCEXIT, opnd(LONG_LOCAL, 5), 1); }, &plain_field,
         false},
        {"resolved static call", [&] { return call(true); }, &plain_field, false},
        {"unresolved call", [&] { return call(false); }, &plain_field, false},
        {"volatile read", [&] { return getfield(*current, 4, 1, &volatile_field); }, &plain_field, false},
        {"store to the field of another object", [&] { return putfield(*current, 0, 4, &plain_field); },
         &plain_field, false},
        {"nothing, volatile field", [&] { return plain(*current, OPC_OTHER); }, &volatile_field, false},
    };
    for (const row& r : rows) {
        graph g;
        current = &g;
        method(g, 3, {{1}, {2}}, {0, 1, 2}, 8, true);
        quadruple* first = getfield(g, 2, 1, r.field);
        quadruple* second = getfield(g, 3, 1, r.field);
        quadruple* ret = plain(g, OPC_IRETURN, opnd(INT_LOCAL, 3), 1);
        put(g, 1, {first, r.between(), second, ret});
        dataflow_pass_context pc;
        run(g, &pc);
        EXPECT_EQ(second->opcode == OPC_IMOVE, r.commoned) << r.what;
        EXPECT_EQ(g.m.local_count, r.commoned ? 9 : 8) << r.what;
        EXPECT_EQ((pc.flags & DFP_COPYPROPA_WANTED) != 0, r.commoned) << r.what;
        if (r.commoned) {
            // The first load fills the temporary and hands it on.
            bbattr* b = g.block(1);
            ASSERT_EQ(b->catbl[0], first);
            EXPECT_EQ(first->result.number, 8);
            EXPECT_EQ(b->catbl[1]->opcode, OPC_IMOVE);
            EXPECT_EQ(b->catbl[1]->result.number, 2);
            EXPECT_EQ(second->src1.number, 8);
        }
        g.release();
    }
}

// Two stores to the same field of the same object: the first is dropped
// (it becomes a save into the temporary) only when nothing between can see
// memory or order it; the last is always written before the method returns.
TEST_F(Commoning, AnOverwrittenStoreGoesOnlyWhenNothingCanSeeIt)
{
    graph* current = nullptr;
    auto call = [&](bool resolved) {
        quadruple* q = plain(*current, OPC_VCALL);
        operand_list(&current->m, q, {});
        quad_set_kind_nibble(q, 1);
        if (resolved)
            q->value = reinterpret_cast<u4>(&current->mb);
        else
            q->subcode |= QS_UNRESOLVED;
        return q;
    };
    auto add = [&](u2 opcount) {
        return quad(&current->m, OPC_IOP2, QOP_ADD, opnd(INT_LOCAL, 6), opnd(INT_LOCAL, 4), opnd(INT_LOCAL, 5),
                    opcount);
    };
    struct row {
        const char* what;
        std::function<quadruple*()> between;
        u4 option3;
        bool dropped;
    } rows[] = {
        {"arithmetic", [&] { return add(static_cast<u2>(2 | CANNOT_RAISE)); }, 0, true},
        {"store to another field", [&] { return putfield(*current, 1, 4, &other_field); }, 0, true},
        {"arithmetic, stores not deferred", [&] { return add(static_cast<u2>(2 | CANNOT_RAISE)); },
         OPT3_NQCOMMONING_PUT, false},
        {"arithmetic that may raise", [&] { return add(2); }, 0, false},
        {"load of the field of another object", [&] { return getfield(*current, 4, 0, &plain_field); }, 0, false},
        {"monitor enter", [&] { return plain(*current, OPC_MONITOR, opnd(REF_LOCAL, 1), 1); }, 0, false},
        {"resolved call", [&] { return call(true); }, 0, false},
        {"unresolved call", [&] { return call(false); }, 0, false},
        {"volatile read", [&] { return getfield(*current, 4, 1, &volatile_field); }, 0, false},
        {"volatile store", [&] { return putfield(*current, 1, 4, &volatile_field); }, 0, false},
        {"object local redefined", [&] { return getfield(*current, 1, 0, &other_field); }, 0, false},
    };
    for (const row& r : rows) {
        options o(0, 0, r.option3);
        graph g;
        current = &g;
        method(g, 3, {{1}, {2}}, {0, 1, 2}, 8, true);
        quadruple* first = putfield(g, 1, 2, &plain_field);
        quadruple* between = r.between();
        quadruple* second = putfield(g, 1, 3, &plain_field);
        put(g, 1, {first, between, second, plain(g, OPC_IRETURN, opnd(INT_LOCAL, 3), 1)});
        dataflow_pass_context pc;
        run(g, &pc);
        EXPECT_EQ(first->opcode, r.dropped ? OPC_IMOVE : OPC_IPUTFIELD) << r.what;
        // The last store is written, with its own value, before the return.
        u4 stores = 0;
        const bbattr* b = g.block(1);
        for (u4 i = 0; i < b->quad_count; i++)
            if (b->catbl[i]->opcode == OPC_IPUTFIELD && b->catbl[i]->aux == reinterpret_cast<u4>(&plain_field)) {
                stores++;
                EXPECT_EQ(b->catbl[i]->src2.number, i + 1 < b->quad_count && b->catbl[i] == first ? 2 : 3)
                    << r.what;
            }
        EXPECT_EQ(stores, r.dropped ? 1u : 2u) << r.what;
        EXPECT_EQ(second->opcode, OPC_IPUTFIELD) << r.what;
        g.release();
    }
}

// A store that becomes a save into its temporary no longer touches the
// object, so the null check that left its exception to the store must raise
// it itself (flagged explicit); otherwise the exception would move to the
// next access of the object, here in the next block (which may lie in a
// try region), or be lost.  A check of another local is no business of the
// store.
TEST_F(Commoning, ADeferredStoreKeepsTheNullCheckOfItsObject)
{
    for (u4 option3 : {0u, static_cast<u4>(OPT3_NQCOMMONING_PUT)}) {
        options o(0, 0, option3);
        graph g;
        // 1 (check, store) -> 2 (store, return) -> exit 3
        method(g, 4, {{1}, {2}, {3}}, {0, 1, 2, 3}, 8, true);
        quadruple* check = quad(&g.m, OPC_NULLCHECK, 0, none(), opnd(REF_LOCAL, 1), none(), 1);
        quadruple* other = quad(&g.m, OPC_NULLCHECK, 0, none(), opnd(REF_LOCAL, 0), none(), 1);
        quadruple* first = putfield(g, 1, 2, &plain_field);
        put(g, 1, {check, other, first});
        put(g, 2, {putfield(g, 1, 3, &plain_field), plain(g, OPC_IRETURN, opnd(INT_LOCAL, 3), 1)});
        dataflow_pass_context pc;
        run(g, &pc);
        bool deferred = option3 == 0;
        const char* what = deferred ? "stores deferred" : "stores not deferred";
        EXPECT_EQ(first->opcode, deferred ? OPC_IMOVE : OPC_IPUTFIELD) << what;
        EXPECT_EQ((check->flags_a & QA_NULLCHECK_VARIANT) != 0, deferred) << what;
        EXPECT_EQ(other->flags_a & QA_NULLCHECK_VARIANT, 0) << what;
        g.release();
    }
}

// Placement: a + b computed on one arm of a diamond and twice at the join.
// The other arm computes it into the temporary before its closing jump, so
// both computations at the join become copies; the computing arm saves its
// result into the temporary.
TEST_F(Commoning, PartialRedundancyAtAJoinIsInsertedOnTheOtherArm)
{
    options o(0, 0, 0);
    graph g;
    // 1 -> {2, 3} -> 4 -> exit 5
    method(g, 6, {{1}, {2, 3}, {4}, {4}, {5}}, {0, 1, 2, 3, 4, 5}, 6, true);
    put(g, 1, {plain(g, OPC_IFZ, opnd(INT_LOCAL, 2), 1)});
    quadruple* arm = op2(g, OPC_IOP2, QOP_ADD, opnd(INT_LOCAL, 3), opnd(INT_LOCAL, 0), opnd(INT_LOCAL, 1));
    put(g, 2, {arm});
    quadruple* jump = plain(g, OPC_GOTO);
    put(g, 3, {jump});
    quadruple* x = op2(g, OPC_IOP2, QOP_ADD, opnd(INT_LOCAL, 4), opnd(INT_LOCAL, 0), opnd(INT_LOCAL, 1));
    quadruple* y = op2(g, OPC_IOP2, QOP_ADD, opnd(INT_LOCAL, 5), opnd(INT_LOCAL, 0), opnd(INT_LOCAL, 1));
    put(g, 4, {x, y});
    dataflow_pass_context pc;
    run(g, &pc);
    ASSERT_EQ(g.m.local_count, 7);
    EXPECT_EQ(x->opcode, OPC_IMOVE);
    EXPECT_EQ(y->opcode, OPC_IMOVE);
    EXPECT_EQ(x->src1.number, 6);
    // The computing arm: its add writes the temporary, a copy hands it on.
    ASSERT_EQ(g.block(2)->quad_count, 2u);
    EXPECT_EQ(arm->result.number, 6);
    EXPECT_EQ(g.block(2)->catbl[1]->result.number, 3);
    // The other arm computes it before its jump.
    bbattr* other = g.block(3);
    ASSERT_EQ(other->quad_count, 2u);
    EXPECT_EQ(other->catbl[0]->opcode, OPC_IOP2);
    EXPECT_EQ(other->catbl[0]->result.number, 6);
    EXPECT_EQ(other->catbl[1], jump);
    g.release();
}

} // namespace
