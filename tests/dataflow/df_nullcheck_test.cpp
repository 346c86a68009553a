// Null checks over quadruples: proofs of non-null locals and what they may
// rest on, the placing of checks, and the two passes that hand a check's
// exception to the dereference that follows it.
#include <gtest/gtest.h>

#include "loop_quads.h"

namespace {

using dftest::graph;
using namespace looptest;

class NullCheck : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

constexpr u1 REF_ARGUMENT = 0x22;
constexpr u2 CANNOT_RAISE = 0xF000, NO_NULL_EXCEPTION = 0x2000;

quadruple* check(method_compile_context* m, u2 local, bool flagged)
{
    quadruple* q = quad(m, OPC_NULLCHECK, 0, none(), opnd(REF_LOCAL, local), none(), 1);
    q->opcount |= 0xD000;
    if (flagged)
        q->flags_a |= QA_NULLCHECK_VARIANT;
    return q;
}
quadruple* getfield(method_compile_context* m, u2 result, u2 object)
{
    quadruple* q = quad(m, OPC_AGETFIELD, 0, opnd(REF_LOCAL, result), opnd(REF_LOCAL, object), none(), 1);
    q->opcount |= 0x3000;
    return q;
}
quadruple* ret(method_compile_context* m) { return quad(m, OPC_OTHER, 0, none(), none(), none(), 0 | CANNOT_RAISE); }
quadruple* jump(method_compile_context* m, u4 target)
{
    quadruple* q = quad(m, OPC_GOTO, 0, none(), none(), none(), CANNOT_RAISE);
    q->target = target;
    return q;
}
quadruple* branch(method_compile_context* m, u2 local, u4 target)
{
    quadruple* q = quad(m, OPC_IFZ, QCC_NE, none(), opnd(INT_LOCAL, local), none(), 1 | CANNOT_RAISE);
    q->target = target;
    return q;
}

bool deleted(const quadruple* q) { return (q->opcount & QC_DELETED) != 0; }

void quad_form(graph& g, u2 locals, bool is_static)
{
    g.m.local_count = locals;
    g.m.state_flags |= MCC_QUAD_FORM;
    g.mb.access = is_static ? ACC_STATIC : 0;
}

int run_nullcheck(graph& g)
{
    dataflow_pass_context pc;
    df_init_pass_context(&g.m, &pc);
    pc.flags |= DFP_NULLCHECK_WANTED;
    return dataflow_Q_nullcheck(&g.m, &pc);
}

// Guards against proving a local from the copy of incoming argument 0, or
// from local 0 at a block where a walk restarts, when it need not hold the
// receiver: a static method's first argument may be null, the receiver may
// be declared not fixed, and a store into local 0 ends what it knew.
TEST_F(NullCheck, ReceiverProofs)
{
    options o(0, 0, 0);
    struct receiver_case {
        const char* name;
        bool is_static;
        bool not_fixed;
        bool stored;        // local 0 is overwritten in the first block
        bool first_kept;    // the check right after the copy of argument 0
        bool later_kept;    // the check where a walk restarts
    } cases[] = {
        {"instance method, receiver copy", false, false, false, false, false},
        {"static method, argument 0 copy", true, false, false, true, false},
        {"receiver not fixed", false, true, false, true, false},
        {"local 0 overwritten", false, false, true, false, true},
    };
    dftest::run([&](EE*) {
        for (const receiver_case& c : cases) {
            // 1 -> {2, 3}, 2 -> 3: block 3 starts a walk of its own.
            graph g;
            g.build(5, {{1}, {2, 3}, {3}, {4}});
            quad_form(g, 3, c.is_static);
            if (c.not_fixed)
                g.m.state_flags |= MCC_RECEIVER_NOT_FIXED;
            method_compile_context* m = &g.m;
            quadruple* copy = quad(m, OPC_ALOCALCOPY, 0, opnd(REF_LOCAL, 0), opnd(REF_ARGUMENT, 0), none(),
                                   1 | CANNOT_RAISE);
            quadruple* first = check(m, 0, true);
            quadruple* store = quad(m, OPC_AMOVE, 0, opnd(REF_LOCAL, 0), opnd(REF_LOCAL, 1), none(), 1 | CANNOT_RAISE);
            std::vector<quadruple*> entry = {copy, first};
            if (c.stored)
                entry.push_back(store);
            entry.push_back(branch(m, 2, 3));
            put(g, 1, entry);
            put(g, 2, {jump(m, 3)});
            quadruple* later = check(m, 0, true);
            put(g, 3, {later, ret(m)});
            dfs(g, {0, 1, 2, 3, 4});
            ASSERT_EQ(run_nullcheck(g), 0);
            EXPECT_EQ(!deleted(first), c.first_kept) << c.name;
            EXPECT_EQ(!deleted(later), c.later_kept) << c.name;
            g.release();
        }
    });
}

// Guards against taking the interpreter-transfer entry for a block that
// holds every fact: a local proven on the compiled path into the resume
// block may be null in the interpreter's frame.
TEST_F(NullCheck, TransferEntryKnowsNothing)
{
    options o(0, 0, 0);
    dftest::run([&](EE*) {
        for (bool transfer : {false, true}) {
            // 0 -> {1, 3}; 1 -> 2; 3 (the transfer entry) -> 2.
            graph g;
            g.build(5, {{1, 3}, {2}, {4}, {2}});
            quad_form(g, 2, true);
            method_compile_context* m = &g.m;
            put(g, 1, {quad(m, OPC_NEW, 0, opnd(REF_LOCAL, 1), none(), none(), 0), jump(m, 2)});
            quadruple* resumed = check(m, 1, true);
            put(g, 2, {resumed, ret(m)});
            if (transfer) {
                put(g, 3, {jump(m, 2)});
                g.block(3)->flags2 |= BB2_EMPTY_ENTRY | BB2_ENDS_IN_BRANCH | BB2_RARE;
            } else {
                // The same flow from a block that proves nothing: the check stays.
                put(g, 3, {quad(m, OPC_AMOVE, 0, opnd(REF_LOCAL, 1), opnd(REF_LOCAL, 0), none(), 1), jump(m, 2)});
            }
            dfs(g, {0, 1, 3, 2, 4});
            ASSERT_EQ(run_nullcheck(g), 0);
            EXPECT_FALSE(deleted(resumed)) << (transfer ? "transfer entry" : "plain block");
            g.release();
        }
    });
}

// A check both arms of an if perform on x moves to the block before the if
// (and the later null-exception pass drops it, leaving the exception to the
// dereferences); a flagged check ahead keeps everything in place, since a
// moved check would raise at another place than the program.
TEST_F(NullCheck, ChecksOfBothArmsMoveUp)
{
    options o(0, 0, 0);
    dftest::run([&](EE*) {
        for (bool flagged : {false, true}) {
            graph g;
            g.build(6, {{1}, {2, 3}, {4}, {4}, {5}});
            quad_form(g, 4, true);
            method_compile_context* m = &g.m;
            put(g, 1, {branch(m, 2, 3)});
            quadruple* left = check(m, 1, flagged);
            quadruple* right = check(m, 1, flagged);
            put(g, 2, {left, getfield(m, 3, 1), jump(m, 4)});
            put(g, 3, {right, getfield(m, 3, 1)});
            put(g, 4, {ret(m)});
            dfs(g, {0, 1, 2, 3, 4, 5});
            ASSERT_EQ(run_nullcheck(g), 0);
            bbattr* b = g.block(1);
            if (!flagged) {
                ASSERT_EQ(b->quad_count, 2u);
                EXPECT_EQ(b->catbl[0]->opcode, OPC_NULLCHECK);     // before the branch
                EXPECT_EQ(b->catbl[0]->src1.number, 1);
                EXPECT_TRUE(deleted(left));
                EXPECT_TRUE(deleted(right));
            } else {
                EXPECT_EQ(b->quad_count, 1u);
                EXPECT_FALSE(deleted(left));
                EXPECT_FALSE(deleted(right));
            }
            g.release();
        }
    });
}

// After a dereference of x a test of x against null is decided: taken when
// null, the branch goes; taken when non-null, it becomes a jump.  The dead
// edge leaves the flow graph.
TEST_F(NullCheck, NullTestsOfProvenLocalsFold)
{
    options o(0, 0, 0);
    dftest::run([&](EE*) {
        for (u2 cond : {QCC_EQ, QCC_NE}) {
            graph g;
            g.build(5, {{1}, {2, 3}, {4}, {4}});
            quad_form(g, 3, true);
            method_compile_context* m = &g.m;
            quadruple* test = quad(m, OPC_IFNULL, cond, none(), opnd(REF_LOCAL, 1), none(), 1 | CANNOT_RAISE);
            test->target = 3;
            put(g, 1, {getfield(m, 2, 1), test});
            put(g, 2, {ret(m)});
            put(g, 3, {ret(m)});
            dfs(g, {0, 1, 2, 3, 4});
            // Two walks: block 2 and 3 have one predecessor each but 3 is not
            // walked right after 1.
            ASSERT_EQ(run_nullcheck(g), 0);
            bbattr* b = g.block(1);
            ASSERT_EQ(b->succ_count, 1u) << cond;
            if (cond == QCC_EQ) {
                EXPECT_TRUE(deleted(test));
                EXPECT_EQ(b->succ[0], 2u);
                EXPECT_TRUE(g.block(3)->flags & BB_DEAD);
            } else {
                EXPECT_EQ(test->opcode, OPC_GOTO);
                EXPECT_EQ(b->succ[0], 3u);
                EXPECT_TRUE(g.block(2)->flags & BB_DEAD);
            }
            g.release();
        }
    });
}

// The late pass drops unflagged checks and makes the dereferences after
// them raise; flagged checks stay.  The early pass drops a flagged check
// only when a dereference of the same local raises first, with no barrier
// or other exception between.
TEST_F(NullCheck, ExceptionsPassToDereferences)
{
    options o(0, 0, 0);
    dftest::run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        quad_form(g, 4, true);
        method_compile_context* m = &g.m;
        quadruple* plain = check(m, 1, false);
        quadruple* load = getfield(m, 3, 1);
        quadruple* kept = check(m, 2, true);
        quadruple* load2 = getfield(m, 3, 2);
        put(g, 1, {plain, load, kept, load2, ret(m)});
        dfs(g, {0, 1, 2});
        dataflow_pass_context pc;
        df_init_pass_context(m, &pc);
        ASSERT_EQ(dataflow_Q_nullexception_propa(m, &pc), 0);
        EXPECT_TRUE(deleted(plain));
        EXPECT_EQ(load->opcount & NO_NULL_EXCEPTION, 0);
        EXPECT_FALSE(deleted(kept));
        EXPECT_NE(load2->opcount & NO_NULL_EXCEPTION, 0);
        g.release();
    });
    struct explicit_case {
        const char* name;
        bool call_between;
        bool other_load_between;
        bool removed;
    } cases[] = {
        {"load right after", false, false, true},
        {"a call between", true, false, false},
        {"a load through another local between", false, true, false},
    };
    dftest::run([&](EE*) {
        for (const explicit_case& c : cases) {
            graph g;
            g.build(3, {{1}, {2}});
            quad_form(g, 4, true);
            method_compile_context* m = &g.m;
            quadruple* flagged = check(m, 1, true);
            std::vector<quadruple*> quads = {flagged};
            if (c.call_between)
                quads.push_back(quad(m, OPC_VCALL, 0, none(), none(), none(), 0));
            if (c.other_load_between)
                quads.push_back(getfield(m, 3, 2));
            quads.push_back(getfield(m, 3, 1));
            quads.push_back(ret(m));
            put(g, 1, quads);
            dfs(g, {0, 1, 2});
            dataflow_pass_context pc;
            df_init_pass_context(m, &pc);
            ASSERT_EQ(dataflow_Q_eliminate_explicit_nullcheck(m, &pc), 0);
            EXPECT_EQ(deleted(flagged), c.removed) << c.name;
            g.release();
        }
    });
}

}  // namespace
