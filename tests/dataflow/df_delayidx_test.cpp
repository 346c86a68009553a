// Call marking and delayed indexing.
#include <gtest/gtest.h>

#include "loop_quads.h"

namespace {

using dftest::graph;
using namespace looptest;

class LatePasses : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

constexpr u1 LAST_USE = 0x01, USE_POSITION = 0x08;

// Each block's last call-class quadruple is marked, a class initialisation
// never; methods of fewer than three blocks are left alone.
TEST_F(LatePasses, CallMarking)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(4, {{1}, {2}, {3}});
        method_compile_context* m = &g.m;
        quadruple* c1 = quad(m, OPC_VCALL, 0, none(), none(), none(), 0);
        quadruple* c2 = quad(m, OPC_ICALL, 0, opnd(INT_LOCAL, 0), none(), none(), 0);
        quadruple* tail = quad(m, OPC_IOP2, QOP_ADD, opnd(INT_LOCAL, 0), opnd(INT_LOCAL, 0), opnd(INT_IMM, 1), 2);
        put(g, 1, {c1, c2, tail});
        quadruple* clinit = quad(m, OPC_CLINIT, 0, none(), none(), none(), 0);
        put(g, 2, {clinit});
        EXPECT_EQ(dataflow_Q_spoptimize(m), 0);
        EXPECT_FALSE(c1->flags_a & QA_LAST_CALL);
        EXPECT_TRUE(c2->flags_a & QA_LAST_CALL);
        EXPECT_FALSE(clinit->flags_a & QA_LAST_CALL);
        c2->flags_a = 0;
        m->bb_count = 2;
        dataflow_Q_spoptimize(m);
        EXPECT_FALSE(c2->flags_a & QA_LAST_CALL);
        g.release();
    });
}

// Block 1: p = the int operation, q = the zero test of its result.
struct fusion {
    graph g;
    quadruple* p;
    quadruple* q;
    void build(u2 op, quad_operand source, u2 cond, u1 test_flags)
    {
        g.build(4, {{1}, {3, 2}, {3}});
        method_compile_context* m = &g.m;
        p = quad(m, OPC_IOP2, op, opnd(INT_LOCAL, 0), source, opnd(INT_IMM, 1), 2);
        q = quad(m, OPC_IFZ, cond, none(), opnd(INT_LOCAL, 0, test_flags), none(), 1);
        q->target = 2;
        put(g, 1, {p, q});
    }
};

// An operation whose result the next branch tests fuses with it when it
// works in place, or when its result dies at the branch and the generator's
// bare compare or test gives the same answer: a subtraction only for the
// equality tests, since a compare of the sources disagrees with "a - b < 0"
// when the subtraction overflows.
TEST_F(LatePasses, OperationAndBranchFuse)
{
    struct row {
        const char* what;
        u2 op;
        bool in_place;
        u2 cond;
        u1 flags;
        bool fused;
    };
    const row rows[] = {
        {"increment tested for less", QOP_ADD, true, QCC_LT, 0, true},
        {"in-place shift", QOP_SHL, true, QCC_GT, 0, true},
        {"multiplication", QOP_MUL, true, QCC_EQ, 0, false},
        {"difference that dies, equality", QOP_SUB, false, QCC_EQ, LAST_USE, true},
        {"difference that dies, less", QOP_SUB, false, QCC_LT, LAST_USE, false},
        {"difference that dies, greater or equal", QOP_SUB, false, QCC_GE, LAST_USE, false},
        {"and that dies, less", QOP_AND, false, QCC_LT, LAST_USE, true},
        {"difference that lives on", QOP_SUB, false, QCC_EQ, 0, false},
        {"sum that dies", QOP_ADD, false, QCC_EQ, LAST_USE, false},
    };
    options o(0, 0, 0);
    dftest::run([&](EE*) {
        for (const row& r : rows) {
            SCOPED_TRACE(r.what);
            fusion f;
            f.build(r.op, opnd(INT_LOCAL, r.in_place ? 0 : 5), r.cond, r.flags);
            EXPECT_EQ(dataflow_Q_delayed_index(&f.g.m), 0);
            bbattr* b = f.g.block(1);
            if (r.fused) {
                EXPECT_EQ(b->quad_count, 1u);
                EXPECT_EQ(f.p->opcode, OPC_IOP2_BRANCH);
                EXPECT_EQ(f.p->op, r.op);
                EXPECT_EQ(f.p->count, r.cond);
                EXPECT_EQ(f.p->target, 2u);
            } else {
                EXPECT_EQ(b->quad_count, 2u);
                EXPECT_EQ(f.p->opcode, OPC_IOP2);
            }
            f.g.release();
        }
    });
}

// j = i + 4 and an array load through j `gap` quadruples later.
struct indexing {
    graph g;
    quadruple* add;
    quadruple* load;
    void build(u4 gap, u1 source_flags, u2 source = 1)
    {
        g.build(3, {{1}, {2}});
        method_compile_context* m = &g.m;
        std::vector<quadruple*> quads;
        add = quad(m, OPC_IOP2, QOP_ADD, opnd(INT_LOCAL, 2, USE_POSITION), opnd(INT_LOCAL, source, source_flags),
                   opnd(INT_IMM, 4), 2);
        add->result.value = make_quad_ref(1, gap);
        quads.push_back(add);
        for (u4 k = 1; k < gap; k++)
            quads.push_back(quad(m, OPC_IOP2, QOP_ADD, opnd(INT_LOCAL, 7), opnd(INT_LOCAL, 8), opnd(INT_IMM, 1), 2));
        load = quad(m, OPC_IALOAD, 0, opnd(INT_LOCAL, 3), opnd(REF_LOCAL, 4), opnd(INT_LOCAL, 2), 2);
        quads.push_back(load);
        put(g, 1, quads);
    }
    bool marked() const { return (add->flags_b & QB_NO_CODE) && (load->flags_b & QB_NO_CODE); }
    bool untouched() const { return !(add->flags_b & QB_NO_CODE) && !(load->flags_b & QB_NO_CODE); }
};

TEST_F(LatePasses, IndexAdditionMarkedWithItsAccess)
{
    options o(0, 0, 0);
    dftest::run([&](EE*) {
        struct row {
            const char* what;
            u4 gap;
            u1 flags;
            u2 source;
            bool marked;
        };
        const row rows[] = {
            {"next quadruple", 1, 0, 1, true},
            {"three apart", 3, 0, 1, true},
            {"41 apart, source lives on", 41, 0, 1, false},
            {"41 apart, source dies", 41, LAST_USE, 1, true},
            {"201 apart, source dies", 201, LAST_USE, 1, false},
            {"writes its own source", 3, 0, 2, false},
        };
        for (const row& r : rows) {
            SCOPED_TRACE(r.what);
            indexing x;
            x.build(r.gap, r.flags, r.source);
            dataflow_Q_delayed_index(&x.g.m);
            EXPECT_EQ(x.marked(), r.marked);
            if (!r.marked)
                EXPECT_TRUE(x.untouched());
            x.g.release();
        }
        // A redefinition of the source in between refuses the pair.
        indexing x;
        x.build(3, 0);
        x.g.block(1)->catbl[1]->result.number = 1;
        dataflow_Q_delayed_index(&x.g.m);
        EXPECT_TRUE(x.untouched());
        x.g.release();
    });
}

// With NQDELAYEDINDEX, or with stale reaching definitions, nothing changes.
TEST_F(LatePasses, DelayedIndexingGates)
{
    dftest::run([&](EE*) {
        for (int stale = 0; stale < 2; stale++) {
            options o(0, 0, stale ? 0 : OPT3_NQDELAYEDINDEX);
            fusion f;
            f.build(QOP_ADD, opnd(INT_LOCAL, 0), QCC_LT, 0);
            if (stale)
                f.g.m.state_flags |= MCC_REACHDEF_STALE;
            dataflow_Q_delayed_index(&f.g.m);
            EXPECT_EQ(f.g.block(1)->quad_count, 2u);
            EXPECT_EQ(f.p->opcode, OPC_IOP2);
            f.g.release();
        }
    });
}

}  // namespace
