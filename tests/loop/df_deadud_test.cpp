// Dead stores, the use-def chain pass and dead counted loops on small
// hand-made graphs, where a Java program cannot reach the shape yet (no loop
// table, no propagated constants): which counter steps let a dead loop go,
// which read-modify-write shapes fuse, and which dead new-arrays may vanish.
#include <gtest/gtest.h>

#include "df_qpass_graph.h"
#include "df_vm_env.h"
#include "driver/options.h"
#include "driver/vmlink.h"

namespace {

using namespace dftest;

class DeadUd : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

dataflow_pass_context pass_context(graph& g)
{
    dataflow_pass_context pc;
    df_init_pass_context(&g.m, &pc);
    return pc;
}

// Block 1 sets the counter (local 0) and the bound (local 1) and enters the
// loop, block 2 is the whole loop (step, then compare and branch back), block
// 3 follows it: the shape of `for (i = 0; i < n; i op= k);`.
bool counted_loop_removable(u2 op, quad_operand step)
{
    bool answer = false;
    run([&](EE*) {
        graph g;
        g.build(5, {{1}, {2}, {3, 2}, {4}});
        method_shape(g, 2, "(I)V", 1);
        fill(g, 1, {op1(OPC_IMOVE, 0, L(0), C(0))});
        fill(g, 2, {op2(OPC_IOP2, op, L(0), L(0), step), op2(OPC_IFCMP, QCC_LT, NONE(), L(0), L(1))});
        fill(g, 3, {plain(OPC_OTHER)});
        g.block(2)->flags |= BB_KIND_LOOP;
        g.block(2)->loop_index = 0;
        dfs(g);
        g.m.state_flags |= MCC_REACHDEF_STALE;
        dataflow_pass_context pc = pass_context(g);
        dataflow_Q_reachdef(&g.m, &pc);

        auto* level = static_cast<loopattribute*>(jit_wmem_alloc(g.m.pool1, sizeof(loopattribute)));
        memset(level, 0, sizeof *level);
        auto* into = static_cast<loop_link*>(jit_wmem_alloc(g.m.pool1, 2 * sizeof(loop_link)));
        into[0] = {1, &into[1]};
        into[1] = {2, nullptr};
        level->pre_entry = into;
        level->first_id = level->entry_id = level->last_id = 2;
        level->entry_successor = g.block(2);
        level->exit_count = 1;
        auto* loop = static_cast<loop_table_record*>(jit_wmem_alloc(g.m.pool1, sizeof(loop_table_record)));
        memset(loop, 0, sizeof *loop);
        loop->depth = 1;
        loop->body = level;
        loop->levels = static_cast<loopattribute**>(jit_wmem_alloc(g.m.pool1, sizeof(loopattribute*)));
        loop->levels[0] = level;
        g.m.loop_table = static_cast<void**>(jit_wmem_alloc(g.m.pool1, sizeof(void*)));
        g.m.loop_table[0] = loop;
        g.m.loop_count = 1;
        answer = CheckDeleteLoopQuad(&g.m, 0, 0) == 1;
        g.release();
    });
    return answer;
}

} // namespace

// A dead loop may go only when it ends for certain: a counter stepped by
// exactly one in either direction meets every value.  A multiply by -1, a
// shift or an or by one can cycle for ever (the step's operation was once
// not looked at).
TEST_F(DeadUd, DeadLoopNeedsAUnitAddOrSubtractStep)
{
    const struct {
        u2 op;
        s4 step;
        bool removable;
    } cases[] = {
        {QOP_ADD, 1, true}, {QOP_SUB, 1, true}, {QOP_ADD, -1, true}, {QOP_SUB, -1, true},
        {QOP_ADD, 2, false}, {QOP_MUL, -1, false}, {QOP_MUL, 1, false}, {QOP_SHL, 1, false},
        {QOP_OR, 1, false}, {QOP_XOR, 1, false}, {QOP_AND, -1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(counted_loop_removable(c.op, C(c.step)), c.removable) << "op " << c.op << " step " << c.step;
}

// t = a[i]; then the operation; then a[i] = its result.  Only `t = t op b`
// followed by a store of t is a read-modify-write of a[i]: `u = u - t` stores
// u - a[i], and `u = t - b` into another local is no update of t (both once
// fused into a[i] op= b).
TEST_F(DeadUd, ReadModifyWriteNeedsTheLoadedValueAsFirstOperandAndDestination)
{
    const struct {
        const char* shape;
        quad_operand dest, a, b;
        bool fused;
    } cases[] = {
        {"t = t - b", L(3), L(3), L(2), true},
        {"u = u - t", L(2), L(2), L(3), false},
        {"u = t - b", L(4), L(3), L(2), false},
    };
    s4 saved_type = orva_processor_type;
    orva_processor_type = 5;
    for (const auto& c : cases) {
        run([&](EE*) {
            graph g;
            g.build(3, {{1}, {2}});
            method_shape(g, 5, "([III)V", 3);
            fill(g, 1, {op2(OPC_IALOAD, 0, L(3), L(0, QT_REF), L(1)), op2(OPC_IOP2, QOP_SUB, c.dest, c.a, c.b),
                        call({L(0, QT_REF), L(1), c.dest}), ret(C(0))});
            bbattr* b = g.block(1);
            b->catbl[0]->subcode = 1;
            b->catbl[2]->opcode = OPC_IASTORE;
            b->catbl[2]->subcode = 1;
            b->catbl[2]->opcount = static_cast<u2>(QC_SRC_LIST | DF_CANNOT_RAISE << 12);
            dfs(g);
            g.m.state_flags |= MCC_REACHDEF_STALE;
            dataflow_pass_context pc = pass_context(g);
            dataflow_Q_reachdef(&g.m, &pc);
            ASSERT_FALSE(g.m.state_flags & MCC_REACHDEF_STALE);
            ASSERT_EQ(dataflow_Q_UD_DU(&g.m, &pc), 0);
            bool fused = b->catbl[0]->opcode == OPC_MEMOP2_X;
            EXPECT_EQ(fused, c.fused) << c.shape;
            if (fused) {
                EXPECT_EQ(b->catbl[0]->op, QOP_SUB);
                EXPECT_TRUE(df_deleted(b->catbl[1]) && df_deleted(b->catbl[2])) << c.shape;
                std::vector<quad_operand_list_entry*> list;
                for (auto* e = quad_list_head(b->catbl[0]); e != nullptr; e = e->next)
                    list.push_back(e);
                ASSERT_EQ(list.size(), 3u);
                EXPECT_EQ(list[2]->number, 2) << "the value operand is b";
            } else {
                EXPECT_EQ(b->catbl[2]->opcode, OPC_IASTORE) << c.shape;
            }
            g.release();
        });
    }
    orva_processor_type = saved_type;
}

// A dead new-array may vanish only when its length cannot be negative: a
// small constant, or a 32-bit constant not above 0x1FFFFFFF read unsigned
// (-7 read signed once passed for a small length and lost its
// NegativeArraySizeException).
TEST_F(DeadUd, DeadNewArrayKeepsANegativeLength)
{
    const struct {
        u1 kind;
        u4 value;
        bool removed;
    } cases[] = {
        {QK_IMMEDIATE, 3, true},       {QK_NEG_IMMEDIATE, 3, false}, {QK_CONSTANT, 100000, true},
        {QK_CONSTANT, 0x1FFFFFFF, true}, {QK_CONSTANT, 0x20000000, false}, {QK_CONSTANT, 0xFFFFFFF9u, false},
        {QK_CONSTANT, 0x80000000u, false},
    };
    for (const auto& c : cases) {
        run([&](EE*) {
            graph g;
            g.build(3, {{1}, {2}});
            method_shape(g, 2, "()I", 0);
            quad_operand length{};
            length.kind = static_cast<u1>(c.kind | QT_INT << QT_SHIFT);
            length.number = c.kind == QK_CONSTANT ? 0 : static_cast<u2>(c.value);
            fill(g, 1, {{OPC_NEWARRAY, 10, L(1, QT_REF), length, NONE(), 1, 3}, ret(C(0))});
            g.block(1)->catbl[0]->value = c.value;
            g.m.state_flags |= MCC_QUAD_FORM;
            dfs(g);
            dataflow_pass_context pc = pass_context(g);
            ASSERT_EQ(dataflow_Q_deadstore(&g.m, &pc), 0);
            const quadruple* q = g.block(1)->catbl[0];
            EXPECT_EQ(df_deleted(q), c.removed) << "kind " << int(c.kind) << " value " << c.value;
            if (!c.removed)
                EXPECT_EQ(q->opcode, OPC_NEWARRAY);
            g.release();
        });
    }
}
