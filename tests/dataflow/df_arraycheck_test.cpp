// Bound-check elimination over quadruples: the fact rules on their own, and
// the pass on small hand-made graphs.  Every case names the fault it guards
// against: a check deleted or narrowed while an index it stood for may lie
// outside the array.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "df_qpass_graph.h"
#include "df_vm_env.h"
#include "dataflow/df_arraycheck.h"

namespace {

using namespace dftest;
using namespace arraycheck;

class ArrayCheck : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

// Facts of one index over one array, in their own storage.
struct one_pair {
    u1 storage[64];
    facts f;
    one_pair()
    {
        facts_bind(&f, storage, 1, 1);
        facts_clear(&f);
    }
};

// Array local 9, length temporaries from 20 up.
constexpr u2 ARRAY = 9;
qspec alen(u2 len, u2 array = ARRAY) { return op1(OPC_ARRAYLENGTH, 0, L(len), L(array, QT_REF)); }
qspec check(quad_operand index, u2 len)
{
    qspec s = op2(OPC_SIZECHECK, 0, NONE(), index, L(len));
    s.exception_class = 2;       // may raise an index exception
    return s;
}

// Runs the pass on graph g; the blocks that hold a check are marked as the
// front end marks them, the others not.
counters run_pass(graph& g)
{
    for (u4 b = 1; b + 1 < g.m.bb_count; b++)
        for (u4 k = 0; k < g.block(b)->quad_count; k++)
            if (g.block(b)->catbl[k]->opcode == OPC_SIZECHECK)
                g.block(b)->flags |= BB_ARRAY_ACCESS;
    g.m.state_flags |= MCC_QUAD_FORM | MCC_REACHDEF_STALE;
    dfs(g);
    dataflow_pass_context pc;
    df_init_pass_context(&g.m, &pc);
    counters c{};
    arraycheck_run(&g.m, &pc, &c);
    return c;
}

bool deleted_at(graph& g, u4 b, u4 k) { return df_deleted(g.block(b)->catbl[k]); }

} // namespace

// Shifting by an increment, meeting two paths, and the length a range
// implies.  Offsets are exact bytes: what leaves -128..127 keeps only the
// part that still fits, or drops the fact; it is never clamped onto offsets
// that were not checked.
TEST(ArrayCheckFacts, ShiftMeetAndConstant)
{
    struct row {
        s4 low, high, d;
        bool kept;
        s4 new_low, new_high;
    } rows[] = {
        {0, 0, 1, true, -1, -1},          // i + 1 is the old i + 0
        {0, 0, -100, true, 100, 100},
        {100, 100, -100, false, 0, 0},    // 200 fits no byte: dropped, not 127
        {100, 127, -20, true, 120, 127},  // the part that fits stays true
        {-128, 127, 1, true, -128, 126},
        {-128, -120, 10, false, 0, 0},
    };
    for (const row& r : rows) {
        one_pair p;
        facts_put(&p.f, 0, 0, r.low, r.high);
        facts_shift(&p.f, 0, r.d);
        s4 low = 0, high = 0;
        bool kept = facts_has(&p.f, 0, 0, &low, &high);
        EXPECT_EQ(kept, r.kept) << r.low << ".." << r.high << " by " << r.d;
        if (kept && r.kept) {
            EXPECT_EQ(low, r.new_low);
            EXPECT_EQ(high, r.new_high);
        }
    }

    // Meet: the intersection; disjoint ranges leave nothing.
    one_pair a, b;
    facts_put(&a.f, 0, 0, 0, 2);
    facts_put(&b.f, 0, 0, 1, 5);
    facts_meet(&a.f, &b.f);
    s4 low, high;
    ASSERT_TRUE(facts_has(&a.f, 0, 0, &low, &high));
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 2);
    facts_put(&b.f, 0, 0, 3, 3);
    facts_meet(&a.f, &b.f);
    EXPECT_FALSE(facts_has(&a.f, 0, 0, &low, &high));

    // Both ends of i + 2 .. i + 7 inside: the length exceeds 5.
    one_pair c;
    facts_put(&c.f, 0, 0, 2, 7);
    EXPECT_EQ(c.f.cmax[0], 5);
}

// a[i], a[i + 1], a[i + 2] in one block: the first check takes the range
// 0..2 and the other two go.  A call between keeps the later check.
TEST_F(ArrayCheck, NeighbouringChecksMergeIntoTheFirst)
{
    run([&](EE*) {
        for (bool call_between : {false, true}) {
            graph g;
            g.build(3, {{1}, {2}});
            method_shape(g, 30, "([II)V", 2);
            std::vector<qspec> quads = {alen(20), check(L(1), 20), op2(OPC_IOP2, QOP_ADD, L(21), L(1), C(1)),
                                        alen(22), check(L(21), 22), op2(OPC_IOP2, QOP_ADD, L(23), L(1), C(2)),
                                        alen(24), check(L(23), 24)};
            if (call_between)
                quads.insert(quads.begin() + 5, call({}));
            fill(g, 1, quads);
            run_pass(g);
            quadruple* first = g.block(1)->catbl[1];
            if (!call_between) {
                EXPECT_EQ(first->opcode, OPC_SIZECHECK_RANGE);
                EXPECT_EQ(quad_range_low(first), 0);
                EXPECT_EQ(quad_range_high(first), 2);
                EXPECT_TRUE(deleted_at(g, 1, 4));
                EXPECT_TRUE(deleted_at(g, 1, 7));
            } else {
                // Widened to 0..1 only; the check after the call stays.
                EXPECT_EQ(quad_range_high(first), 1);
                EXPECT_TRUE(deleted_at(g, 1, 4));
                EXPECT_FALSE(deleted_at(g, 1, 8));
            }
            g.release();
        }
    });
}

// A block that only writes or increments i, with no check of its own, sits
// between two checks of a[i]: the second check must stay.  An empty block
// there lets it go.
TEST_F(ArrayCheck, BlocksWithoutChecksStillKill)
{
    run([&](EE*) {
        struct row {
            const char* what;
            std::vector<qspec> middle;
            bool second_deleted;
        } rows[] = {
            {"store", {op1(OPC_ICONST, 0, L(1), C(100))}, false},
            {"increment", {op2(OPC_IOP2, QOP_ADD, L(1), L(1), C(1))}, false},
            {"array store", {op1(OPC_ICONST, 0, L(ARRAY, QT_REF), C(0))}, false},
            {"nothing", {plain(OPC_OTHER)}, true},
        };
        for (const row& r : rows) {
            graph g;
            g.build(5, {{1}, {2}, {3}, {4}});
            method_shape(g, 30, "([II)V", 2);
            fill(g, 1, {alen(20), check(L(1), 20)});
            fill(g, 2, r.middle);
            fill(g, 3, {alen(21), check(L(1), 21)});
            run_pass(g);
            EXPECT_EQ(deleted_at(g, 3, 1), r.second_deleted) << r.what;
            g.release();
        }
    });
}

// t = x + 1 read as x + 1 only while neither t nor x changed: after
// x = y * z, the check of t says nothing of the new x + 1.
TEST_F(ArrayCheck, AdditionIsStaleOnceItsSourceChanges)
{
    run([&](EE*) {
        for (bool write_x : {false, true}) {
            graph g;
            g.build(3, {{1}, {2}});
            method_shape(g, 30, "([II)V", 2);
            std::vector<qspec> quads = {op2(OPC_IOP2, QOP_ADD, L(21), L(1), C(1)), alen(20), check(L(21), 20),
                                        op2(OPC_IOP2, QOP_ADD, L(23), L(1), C(1)), alen(22), check(L(23), 22)};
            if (write_x)
                quads.insert(quads.begin() + 1, op2(OPC_IOP2, QOP_MUL, L(1), L(5), L(6)));
            fill(g, 1, quads);
            run_pass(g);
            EXPECT_EQ(deleted_at(g, 1, write_x ? 6 : 5), !write_x);
            g.release();
        }
    });
}

// x = i % a.length is inside a only when i is known non-negative and the
// divisor is the length of a itself.
TEST_F(ArrayCheck, RemainderNeedsItsOwnLengthAndASign)
{
    run([&](EE*) {
        struct row {
            bool nonnegative;
            u2 divisor;
            u2 divisor_array;
            bool deleted;
        } rows[] = {
            {true, 20, ARRAY, true},
            {false, 20, ARRAY, false},    // -7 % 5 is -2
            {true, 5, ARRAY, false},      // some other divisor
            {true, 20, 8, false},         // the length of another array
        };
        for (const row& r : rows) {
            graph g;
            g.build(3, {{1}, {2}});
            method_shape(g, 30, "([I[III)V", 4);
            fill(g, 1, {alen(20, r.divisor_array), op2(OPC_IOP2, QOP_REM, L(3), L(1), L(r.divisor)), alen(22),
                        check(L(3), 22)});
            if (r.nonnegative)
                g.block(1)->catbl[1]->subcode |= QS_FIRST_NONNEGATIVE;
            run_pass(g);
            EXPECT_EQ(deleted_at(g, 1, 3), r.deleted) << r.nonnegative << " " << r.divisor << " " << r.divisor_array;
            g.release();
        }
    });
}

// x = (y + z) / 2 is inside a when y and z are, and the sum cannot wrap:
// the unsigned shift always; a signed halving only with a non-negative
// range on the sum.  y + 1 inside a says nothing of y.
TEST_F(ArrayCheck, MidpointNeedsItsEndsInsideAndNoWrap)
{
    run([&](EE*) {
        struct row {
            const char* what;
            u2 op;
            s4 by;
            s4 y_offset;
            bool ranged_sum;
            bool deleted;
        } rows[] = {
            {">>> 1", QOP_USHR, 1, 0, false, true},
            {"/ 2", QOP_DIV, 2, 0, false, false},
            {"/ 2, sum known >= 0", QOP_DIV, 2, 0, true, true},
            {">> 1", QOP_SHR, 1, 0, false, false},
            {">>> 1 of y + 1", QOP_USHR, 1, 1, false, false},
        };
        for (const row& r : rows) {
            graph g;
            g.build(3, {{1}, {2}});
            method_shape(g, 30, "([III)V", 3);
            // y (local 1) checked as itself or as y + 1, z (local 2) as itself.
            std::vector<qspec> quads = {op2(OPC_IOP2, QOP_ADD, L(24), L(1), C(r.y_offset)), alen(20),
                                        check(L(24), 20), alen(21), check(L(2), 21),
                                        op2(OPC_IOP2, QOP_ADD, L(25), L(1), L(2)),
                                        op2(OPC_IOP2, r.op, L(3), L(25), C(r.by)), alen(22), check(L(3), 22)};
            if (r.y_offset == 0) {
                quads[0] = plain(OPC_OTHER);
                quads[2] = check(L(1), 20);
            }
            fill(g, 1, quads);
            if (r.ranged_sum) {
                quadruple* sum = g.block(1)->catbl[5];
                sum->subcode |= QS_VALUE_RANGE;
                sum->target = 0;
            }
            run_pass(g);
            EXPECT_EQ(deleted_at(g, 1, 8), r.deleted) << r.what;
            g.release();
        }
    });
}

// Facts meet at a loop head: the check there goes only when the entry and
// the back edge both bring a[i].  The optimistic start of the solution must
// not survive an increment around the loop, and a block the interpreter may
// enter mid-method (a transfer point) starts with nothing.
TEST_F(ArrayCheck, LoopHeadTakesOnlyWhatEveryPathBrings)
{
    run([&](EE*) {
        struct row {
            const char* what;
            std::vector<qspec> body;
            bool transfer_point;
            bool head_deleted;
        } rows[] = {
            {"body keeps i", {plain(OPC_OTHER)}, false, true},
            {"body increments i", {op2(OPC_IOP2, QOP_ADD, L(1), L(1), C(1))}, false, false},
            {"body decrements and increments i",
             {op2(OPC_IOP2, QOP_SUB, L(1), L(1), C(1)), op2(OPC_IOP2, QOP_ADD, L(1), L(1), C(1))}, false, true},
            {"head is a transfer point", {plain(OPC_OTHER)}, true, false},
        };
        for (const row& r : rows) {
            graph g;
            g.build(5, {{1}, {2}, {3, 4}, {2}});
            method_shape(g, 30, "([II)V", 2);
            fill(g, 1, {alen(20), check(L(1), 20)});
            fill(g, 2, {alen(21), check(L(1), 21), op2(OPC_IFZ, 0, NONE(), L(2), NONE())});
            fill(g, 3, r.body);
            if (r.transfer_point)
                g.block(2)->flags2 |= BB2_TRANSFER_POINT;
            run_pass(g);
            EXPECT_EQ(deleted_at(g, 2, 1), r.head_deleted) << r.what;
            g.release();
        }
    });
}

// Hoisting into a branching block: when both arms of block 1 begin with a
// check of a[i], block 1 checks it behind its last barrier or write of i or
// a (a length load into a fresh local, then the check) and the arms' checks
// go.  Nothing moves when an arm does not check first thing, when something
// that may raise or write memory comes first in an arm, when an arm can be
// entered from elsewhere, or when one arm may never reach a check at all.
TEST_F(ArrayCheck, ChecksOfEveryArmMoveIntoTheBranch)
{
    run([&](EE*) {
        struct row {
            const char* what;
            std::vector<std::vector<s4>> edges;
            std::vector<qspec> head;
            std::vector<qspec> left;
            std::vector<qspec> right;
            s4 slot;            // catbl index of the inserted length load in block 1; -1 none
        } rows[] = {
            {"both arms", {{1}, {2, 3}, {4}, {4}, {5}}, {op2(OPC_IFZ, 0, NONE(), L(2), NONE())},
             {alen(20), check(L(1), 20)}, {alen(21), check(L(1), 21)}, 0},
            {"behind a write of i", {{1}, {2, 3}, {4}, {4}, {5}},
             {call({}), op2(OPC_IOP2, QOP_MUL, L(1), L(5), L(6)), op2(OPC_IFZ, 0, NONE(), L(2), NONE())},
             {alen(20), check(L(1), 20)}, {alen(21), check(L(1), 21)}, 2},
            {"one arm only", {{1}, {2, 3}, {4}, {4}, {5}}, {op2(OPC_IFZ, 0, NONE(), L(2), NONE())},
             {alen(20), check(L(1), 20)}, {plain(OPC_OTHER)}, -1},
            {"call first in an arm", {{1}, {2, 3}, {4}, {4}, {5}}, {op2(OPC_IFZ, 0, NONE(), L(2), NONE())},
             {alen(20), check(L(1), 20)}, {call({}), alen(21), check(L(1), 21)}, -1},
            {"arm joined from the other", {{1}, {2, 3}, {3}, {4}}, {op2(OPC_IFZ, 0, NONE(), L(2), NONE())},
             {alen(20), check(L(1), 20)}, {alen(21), check(L(1), 21)}, -1},
            {"endless arm", {{1}, {2, 3}, {4}, {5}, {4}}, {op2(OPC_IFZ, 0, NONE(), L(2), NONE())},
             {plain(OPC_OTHER)}, {alen(21), check(L(1), 21)}, -1},
        };
        for (const row& r : rows) {
            graph g;
            g.build(static_cast<u4>(r.edges.size() + 1), r.edges);
            method_shape(g, 30, "([III)V", 3);
            fill(g, 1, r.head);
            fill(g, 2, r.left);
            fill(g, 3, r.right);
            u4 before = g.block(1)->quad_count;
            u4 locals = g.m.local_count;
            counters c = run_pass(g);
            bbattr* head = g.block(1);
            if (r.slot < 0) {
                EXPECT_EQ(head->quad_count, before) << r.what;
                EXPECT_EQ(c.hoisted, 0u) << r.what;
                EXPECT_FALSE(deleted_at(g, 3, r.right.size() - 1)) << r.what;
            } else {
                ASSERT_EQ(head->quad_count, before + 2) << r.what;
                EXPECT_EQ(c.hoisted, 1u) << r.what;
                EXPECT_EQ(g.m.local_count, locals + 1) << r.what;
                const quadruple* length = head->catbl[r.slot];
                const quadruple* chk = head->catbl[r.slot + 1];
                EXPECT_EQ(length->opcode, OPC_ARRAYLENGTH) << r.what;
                EXPECT_EQ(length->src1.number, ARRAY) << r.what;
                EXPECT_EQ(length->result.number, locals) << r.what;
                EXPECT_EQ(chk->opcode, OPC_SIZECHECK) << r.what;
                EXPECT_EQ(chk->src1.number, 1) << r.what;
                EXPECT_EQ(chk->src2.number, locals) << r.what;
                EXPECT_FALSE(df_deleted(length) || df_deleted(chk)) << r.what;
                EXPECT_EQ(head->catbl[head->quad_count - 1]->opcode, OPC_IFZ) << r.what;
                EXPECT_TRUE(deleted_at(g, 2, 1)) << r.what;
                EXPECT_TRUE(deleted_at(g, 3, 1)) << r.what;
            }
            g.release();
        }
    });
}
