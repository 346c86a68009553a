// Register constraint back-propagation: preferred registers of local
// operands, the per-quadruple hint byte and the entry colours of joins.
// Registers in the register manager's numbering: eax 1, edx 2, ecx 4, ebx 8,
// ebp 0x10, esi 0x20, edi 0x40; bit 0x80 marks a fixed requirement.
#include <gtest/gtest.h>

#include "loop_quads.h"

namespace {

using dftest::graph;
using namespace looptest;

class Constraint : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

constexpr u1 EAX = 0x01, CALLER_SAVED = 0x07, CALLEE_SAVED = 0x78, FIXED = 0x80;

// One block between entry and exit; its quadruples come after.
void single_block(graph& g, u2 locals)
{
    g.build(3, {{1}, {2}});
    g.m.local_count = locals;
    g.m.state_flags |= MCC_QUAD_FORM;
    dfs(g, {0, 1, 2});
}

quad_operand returned(u2 n) { return opnd(INT_LOCAL, n, QF_FIXED_REG, EAX); }

// Guards against losing a fixed requirement at a call: x, returned in eax
// after a call, is defined before the call; the call destroys eax, edx and
// ecx, so the definition is steered to the registers that survive it, and
// the call's hint byte holds eax for the value the return needs.
TEST_F(Constraint, FixedUseAcrossACall)
{
    options o(0, 0, 0);
    dftest::run([&](EE*) {
        graph g;
        single_block(g, 2);
        method_compile_context* m = &g.m;
        quadruple* def = quad(m, OPC_IOP2, QOP_ADD, opnd(INT_LOCAL, 0), opnd(INT_LOCAL, 1), opnd(INT_IMM, 1), 2);
        quadruple* call = quad(m, OPC_VCALL, 0, none(), none(), none(), 0);
        quadruple* ret = quad(m, OPC_IRETURN, 0, opnd(0x19, 0), returned(0), none(), 1);
        put(g, 1, {def, call, ret});
        ASSERT_EQ(dataflow_Q_constraint_back_propa(m, nullptr), 0);
        EXPECT_EQ(ret->src1.reg, EAX | FIXED);
        EXPECT_EQ(ret->byte81, 0);
        EXPECT_EQ(call->byte81, EAX);
        EXPECT_EQ(def->result.reg, CALLEE_SAVED);
        // Local 1, read before anything is busy, may take any register.
        EXPECT_EQ(def->src1.reg, 0x7F);
        g.release();
    });
}

// A quadruple that reads and writes the same local keeps the local's colour
// live above it; a copy whose source dies hands the destination's colour to
// the source.
TEST_F(Constraint, IncrementAndTransferringCopy)
{
    options o(0, 0, 0);
    dftest::run([&](EE*) {
        graph g;
        single_block(g, 4);
        method_compile_context* m = &g.m;
        quadruple* first = quad(m, OPC_IOP2, QOP_MUL, opnd(INT_LOCAL, 2), opnd(INT_LOCAL, 3), opnd(INT_LOCAL, 3), 2);
        quadruple* copy = quad(m, OPC_IMOVE, 0, opnd(INT_LOCAL, 0), opnd(INT_LOCAL, 2, 0x01), none(), 1);
        quadruple* inc = quad(m, OPC_IOP2, QOP_ADD, opnd(INT_LOCAL, 0), opnd(INT_LOCAL, 0), opnd(INT_IMM, 1), 2);
        quadruple* ret = quad(m, OPC_IRETURN, 0, opnd(0x19, 0), returned(0), none(), 1);
        put(g, 1, {first, copy, inc, ret});
        ASSERT_EQ(dataflow_Q_constraint_back_propa(m, nullptr), 0);
        EXPECT_EQ(inc->result.reg, EAX | FIXED);
        EXPECT_EQ(inc->src1.reg, EAX | FIXED);
        EXPECT_EQ(copy->result.reg, EAX | FIXED);
        EXPECT_EQ(copy->src1.reg, EAX | FIXED);
        // Local 2 carries the requirement up to where it is made.
        EXPECT_EQ(first->result.reg, EAX | FIXED);
        // While local 0 or 2 is bound for eax, eax is busy.
        EXPECT_EQ(first->byte81, EAX);
        EXPECT_EQ(copy->byte81, EAX);
        g.release();
    });
}

// An array allocation's length goes to a callee-saved register.
TEST_F(Constraint, ArrayLengthAvoidsTheCallRegisters)
{
    options o(0, 0, 0);
    dftest::run([&](EE*) {
        graph g;
        single_block(g, 2);
        method_compile_context* m = &g.m;
        quadruple* alloc = quad(m, OPC_NEWARRAY, 0, opnd(REF_LOCAL, 1), opnd(INT_LOCAL, 0), none(), 1);
        put(g, 1, {alloc});
        ASSERT_EQ(dataflow_Q_constraint_back_propa(m, nullptr), 0);
        EXPECT_EQ(alloc->src1.reg, CALLEE_SAVED);
        g.release();
    });
}

// A join block keeps its entry colours; at a branch the colours of both
// successors meet.  With the option off, or before quadruple generation,
// the hint bytes are cleared and no join carries colours.
TEST_F(Constraint, JoinColoursAndTheGate)
{
    dftest::run([&](EE*) {
        for (int off = 0; off < 2; off++) {
            SCOPED_TRACE(off);
            options o(0, off ? OPT2_NQCONSTRAINTPROPA : 0, 0);
            graph g;
            // 1 branches to 2 or 3, both go to 4, which returns local 0.
            g.build(6, {{1}, {2, 3}, {4}, {4}, {5}});
            method_compile_context* m = &g.m;
            m->local_count = 2;
            m->state_flags |= MCC_QUAD_FORM;
            quadruple* br = quad(m, OPC_IFZ, QCC_EQ, none(), opnd(INT_LOCAL, 1), none(), 1);
            br->target = 3;
            put(g, 1, {br});
            quadruple* two = quad(m, OPC_ISTORE, 0, opnd(INT_LOCAL, 0), opnd(INT_IMM, 2), none(), 1);
            quadruple* three = quad(m, OPC_ISTORE, 0, opnd(INT_LOCAL, 0), opnd(INT_IMM, 3), none(), 1);
            put(g, 2, {two});
            put(g, 3, {three});
            quadruple* ret = quad(m, OPC_IRETURN, 0, opnd(0x19, 0), returned(0), none(), 1);
            put(g, 4, {ret});
            br->byte80 = br->byte81 = 0x55;
            dfs(g, {0, 1, 2, 3, 4, 5});
            ASSERT_EQ(dataflow_Q_constraint_back_propa(m, nullptr), 0);
            EXPECT_EQ(br->byte80, 0);
            const u1* join = reinterpret_cast<const u1*>(bb_constraint_word(g.block(4)));
            if (off) {
                EXPECT_EQ(join, nullptr);
                EXPECT_EQ(br->byte81, 0);
                EXPECT_EQ(two->result.reg, 0);
            } else {
                ASSERT_NE(join, nullptr);
                EXPECT_EQ(join[0], EAX | FIXED);
                EXPECT_EQ(two->result.reg, EAX | FIXED);
                EXPECT_EQ(three->result.reg, EAX | FIXED);
                EXPECT_EQ(bb_constraint_word(g.block(2)), 0u);      // one predecessor
            }
            g.release();
        }
    });
}

// The colour helpers: a kill that leaves a fixed local no register falls
// back to the registers neither killed nor busy.
TEST_F(Constraint, KillFallsBackToFreeRegisters)
{
    dftest::run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        g.m.local_count = 3;
        u1 colors[3] = {EAX | FIXED, 0x08 | FIXED, 0x06};
        EXPECT_EQ(collect_fixed_colors(&g.m, colors), 0x09);
        u1 busy = 0x09;
        kill_colors(&g.m, CALLER_SAVED, &busy, colors);
        EXPECT_EQ(colors[0], 0x70);              // not eax..ecx, not ebx (busy), not fixed
        EXPECT_EQ(colors[1], 0x08 | FIXED);
        EXPECT_EQ(colors[2], 0x00);
        EXPECT_EQ(busy, 0x08);
        g.release();
    });
}

}  // namespace
