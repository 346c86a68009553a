// The quadruple passes on small hand-made graphs: reaching definitions and
// the chains, liveness marks and sets, call dominance, meantime distances,
// exit paths, the IA-32 transformation (run through the quadruple
// interpreter), block removal, the chain-keeping no-operation, the constant
// evaluators and the local-variable characteristics.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "df_qpass_graph.h"
#include "df_vm_env.h"
#include "driver/options.h"
#include "driver/vmlink.h"
#include "frontend/catch.h"
#include "quad_interp.h"

namespace {

using namespace dftest;
using refs_t = std::vector<quad_ref>;

class QPasses : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

dataflow_pass_context pass_context(graph& g)
{
    dataflow_pass_context pc;
    df_init_pass_context(&g.m, &pc);
    return pc;
}

constexpr quad_ref PARAM = 0xFFFF0000u;
quad_ref at(u4 b, u4 k) { return make_quad_ref(b, k); }

} // namespace

// ---- reaching definitions -------------------------------------------------------

// Guards the entry seed: block 1 is both the method's first block and the
// target of a back edge.  The parameter's entry value must still reach the
// read in block 1 after the back edge arrives (it was once overwritten).
TEST_F(QPasses, ParameterReachesALoopHeadAlongsideTheBackEdge)
{
    run([&](EE*) {
        graph g;
        g.build(4, {{1}, {2}, {1, 3}});
        method_shape(g, 2, "(I)I", 1);
        fill(g, 1, {op2(OPC_IOP2, QOP_ADD, L(1), L(0), C(1))});
        fill(g, 2, {op2(OPC_IOP2, QOP_SUB, L(0), L(0), C(1)), op2(OPC_IFZ, 0, NONE(), L(0), NONE())});
        dfs(g);
        g.m.state_flags |= MCC_REACHDEF_STALE;
        dataflow_pass_context pc = pass_context(g);
        ASSERT_EQ(dataflow_Q_reachdef(&g.m, &pc), 0);
        EXPECT_FALSE(g.m.state_flags & MCC_REACHDEF_STALE);
        // Lists are ordered by the reference as a word (index, then block).
        EXPECT_EQ(refs(s1(g, 1, 0)), (refs_t{at(2, 0), PARAM}));
        // The decrement's definition reaches the add, itself (around the
        // loop) and the branch.
        EXPECT_EQ(refs(dest(g, 2, 0)), (refs_t{at(1, 0), at(2, 0), at(2, 1)}));
        g.release();
    });
}

// Inline and list forms; one entry for two reads by one quadruple; long
// definitions cover both slots; a local read before any store has no chain.
TEST_F(QPasses, ChainForms)
{
    run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        method_shape(g, 6, "(I)I", 1);
        fill(g, 1, {
                       op2(OPC_IOP2, QOP_MUL, L(1), L(0), L(0)),                 // 0: x = p * p
                       op2(OPC_LOP2, QOP_ADD, L(2, QT_LONG), L(4, QT_LONG), C(1, QT_LONG)),   // 1: long 2-3
                       op2(OPC_IOP2, QOP_ADD, L(5), L(3), L(1)),                 // 2: reads 3 (second slot) and x
                       ret(L(5)),
                   });
        dfs(g);
        dataflow_pass_context pc = pass_context(g);
        ASSERT_EQ(dataflow_Q_reachdef(&g.m, &pc), 0);
        EXPECT_TRUE(s1(g, 1, 0)->kind & DFO_SINGLE_REF);
        EXPECT_EQ(refs(s1(g, 1, 0)), (refs_t{PARAM}));
        EXPECT_EQ(refs(s1(g, 1, 1)), refs_t{});                 // local 4: never stored
        EXPECT_EQ(refs(s1(g, 1, 2)), (refs_t{at(1, 1)}));       // slot 3 of the long
        EXPECT_EQ(refs(dest(g, 1, 0)), (refs_t{at(1, 2)}));
        EXPECT_EQ(refs(dest(g, 1, 2)), (refs_t{at(1, 3)}));
        g.release();
    });
}

// Block 0's subroutine entries are negated: the seed and the handler sets
// take their absolute value.  A subroutine entry starts with the after-jsr
// pseudo definition, and what it reads stays live across the jsr.
TEST_F(QPasses, SubroutineEntries)
{
    run([&](EE*) {
        graph g;
        g.build(5, {{1, static_cast<s4>(-3)}, {2}, {4}, {4}});
        method_shape(g, 2, "()I", 0);
        g.subroutines(1);
        fill(g, 1, {op2(OPC_IOP2, QOP_ADD, L(0), C(5), C(0)), op1(OPC_JSR, 0, L(1), NONE())});
        g.block(1)->catbl[1]->opcount = static_cast<u2>(15 << 12);
        fill(g, 2, {ret(L(0))});
        fill(g, 3, {op2(OPC_IOP2, QOP_ADD, L(1), L(0), C(1)), ret(L(1))});
        dfs(g);
        dataflow_pass_context pc = pass_context(g);
        ASSERT_EQ(dataflow_Q_livevar(&g.m, &pc), 0);
        EXPECT_FALSE(dest(g, 1, 0)->kind & DFO_DEAD);
        ASSERT_EQ(dataflow_Q_reachdef(&g.m, &pc), 0);
        EXPECT_EQ(refs(s1(g, 3, 0)), (refs_t{make_quad_ref(0, QREF_JSR)}));
        EXPECT_EQ(refs(s1(g, 2, 0)), (refs_t{make_quad_ref(0, QREF_JSR)}));
        // The jsr is a use of what the subroutine reads.
        EXPECT_EQ(refs(dest(g, 1, 0)), (refs_t{at(1, 1)}));
        g.release();
    });
}

// Inside a try range every quadruple that may raise is a use of what the
// handlers may read (every variable, when liveness left no handler set).
TEST_F(QPasses, RaisingQuadruplesInATryRangeUseTheHandlerVariables)
{
    run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        method_shape(g, 3, "()I", 0);
        fill(g, 1, {op2(OPC_IOP2, QOP_ADD, L(0), C(1), C(2)), op2(OPC_IOP2, QOP_DIV, L(1), L(2), C(3), 0),
                    ret(L(1))});
        g.block(1)->flags |= BB_IN_TRY;
        dfs(g);
        dataflow_pass_context pc = pass_context(g);
        ASSERT_EQ(dataflow_Q_reachdef(&g.m, &pc), 0);
        EXPECT_EQ(refs(dest(g, 1, 0)), (refs_t{at(1, 1)}));
        g.release();
    });
}

// ---- liveness --------------------------------------------------------------------

TEST_F(QPasses, DeadAfterMarks)
{
    run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        method_shape(g, 6, "(I)I", 1);
        fill(g, 1, {
                       op2(OPC_IOP2, QOP_ADD, L(1), L(0), C(1)),                   // 0: overwritten unread
                       op2(OPC_IOP2, QOP_ADD, L(1), L(0), L(0)),                   // 1: last use of p, twice
                       op2(OPC_LOP2, QOP_ADD, L(2, QT_LONG), L(2, QT_LONG), C(1, QT_LONG)),   // 2: reads 2-3 unset
                       op2(OPC_LOP2, QOP_ADD, L(4, QT_LONG), L(2, QT_LONG), C(1, QT_LONG)),   // 3: last use of 2-3
                       ret(L(1)),
                   });
        dfs(g);
        dataflow_pass_context pc = pass_context(g);
        ASSERT_EQ(dataflow_Q_livevar(&g.m, &pc), 0);
        EXPECT_FALSE(g.m.state_flags & MCC_LIVENESS_UNAVAILABLE);
        EXPECT_TRUE(dest(g, 1, 0)->kind & DFO_DEAD);
        EXPECT_FALSE(dest(g, 1, 1)->kind & DFO_DEAD);
        EXPECT_TRUE(s1(g, 1, 1)->kind & DFO_DEAD);
        EXPECT_FALSE(s2(g, 1, 1)->kind & DFO_DEAD);
        EXPECT_EQ(s1(g, 1, 3)->kind & (DFO_DEAD | DFO_DEAD2), DFO_DEAD | DFO_DEAD2);
        EXPECT_EQ(dest(g, 1, 3)->kind & (DFO_DEAD | DFO_DEAD2), DFO_DEAD | DFO_DEAD2);
        EXPECT_TRUE(s1(g, 1, 4)->kind & DFO_DEAD);
        // p (local 0) and the long read before its store are live into the block.
        u8 in = df_bb_live_in(g.block(1))[0] | static_cast<u8>(df_bb_live_in(g.block(1))[1]) << 32;
        EXPECT_EQ(in, ABIT_llshr[0] | ABIT_llshr[2] | ABIT_llshr[3]);
        EXPECT_EQ(bb_live_max(g.block(1)), 3u);
        g.release();
    });
}

// More than 61 locals: the block fields point to word arrays (the register
// manager's reading of the sets), and a handler that the main flow reaches
// first (no reached-from-handler mark) still counts for the handler set.
TEST_F(QPasses, WideSetsAndHandlerSet)
{
    run([&](EE*) {
        graph g;
        g.build(5, {{1, 3}, {2, 4}, {4}, {4}});
        method_shape(g, 70, "(I)I", 1);
        fill(g, 1, {op2(OPC_IOP2, QOP_DIV, L(69), L(0), C(3), 0)});
        fill(g, 2, {ret(L(69))});
        fill(g, 3, {ret(L(68))});
        g.block(1)->flags |= BB_IN_TRY;
        g.block(3)->flags |= BB_HANDLER;
        g.mb.exception_table = reinterpret_cast<u2*>(&g.mb);
        g.mb.exception_table_length = 1;
        g.block(3)->pred_count = 1;
        dfs(g);
        dataflow_pass_context pc = pass_context(g);
        ASSERT_EQ(dataflow_Q_livevar(&g.m, &pc), 0);
        const u8* in1 = reinterpret_cast<const u8*>(df_bb_live_in(g.block(1))[0]);
        ASSERT_NE(in1, nullptr);
        EXPECT_TRUE(in1[68 / 64] & ABIT_llshr[68 % 64]);     // the handler reads 68
        EXPECT_TRUE(in1[0] & ABIT_llshr[0]);
        const u8* handler = reinterpret_cast<const u8*>(df_mcc_handler_set(&g.m)[0]);
        ASSERT_NE(handler, nullptr);
        EXPECT_TRUE(handler[1] & ABIT_llshr[68 - 64]);
        g.mb.exception_table = nullptr;
        g.mb.exception_table_length = 0;
        g.release();
    });
}

// ---- call dominance, meantime, exit paths --------------------------------------------

TEST_F(QPasses, CallDominatedAccesses)
{
    run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        method_shape(g, 2, "()I", 0);
        fill(g, 1, {
                       op2(OPC_IOP2, QOP_ADD, L(0), C(1), C(2)),   // 0: x stored
                       call({L(0)}),                               // 1: x passed; read again after
                       call({L(1)}),                               // 2: y's last use
                       ret(L(0)),
                   });
        dfs(g);
        dataflow_pass_context pc = pass_context(g);
        ASSERT_EQ(dataflow_Q_livevar(&g.m, &pc), 0);
        ASSERT_EQ(dataflow_Q_calldom(&g.m, &pc), 0);
        auto entry = [&](u4 k) { return df_opnd(quad_list_head(g.block(1)->catbl[k])); };
        EXPECT_TRUE(entry(1)->kind & DFO_CALLDOM);
        EXPECT_FALSE(dest(g, 1, 0)->kind & DFO_CALLDOM);
        EXPECT_FALSE(entry(2)->kind & DFO_CALLDOM);                 // last use
        EXPECT_FALSE(s1(g, 1, 3)->kind & DFO_CALLDOM);
        // With a handler nothing is marked.
        entry(1)->kind &= static_cast<u2>(~DFO_CALLDOM);
        g.mb.exception_table = reinterpret_cast<u2*>(&g.mb);
        g.mb.exception_table_length = 1;
        ASSERT_EQ(dataflow_Q_calldom(&g.m, &pc), 0);
        EXPECT_FALSE(entry(1)->kind & DFO_CALLDOM);
        g.mb.exception_table = nullptr;
        g.mb.exception_table_length = 0;
        g.release();
    });
}

// Distances inside a block, across a block without the local, and the mean
// at a join; the distance arrays the register manager loads.
TEST_F(QPasses, MeantimeDistances)
{
    run([&](EE*) {
        graph g;
        g.build(6, {{1}, {2, 3}, {4}, {4}, {5}});
        method_shape(g, 2, "(I)I", 1);
        std::vector<qspec> ten(10, op2(OPC_IOP2, QOP_ADD, L(1), C(1), C(2)));
        ten[3] = op2(OPC_IOP2, QOP_ADD, L(1), L(0), C(1));
        ten[7] = op2(OPC_IOP2, QOP_ADD, L(1), L(0), C(2));
        ten[9] = op2(OPC_IFZ, 0, NONE(), L(1), NONE());
        fill(g, 1, ten);
        std::vector<qspec> two(6, op2(OPC_IOP2, QOP_ADD, L(1), C(1), C(2)));
        two[2] = op2(OPC_IOP2, QOP_ADD, L(1), L(0), C(3));
        fill(g, 2, two);                                               // p first used at 2
        std::vector<qspec> eight(10, op2(OPC_IOP2, QOP_ADD, L(1), C(1), C(2)));
        eight[8] = op2(OPC_IOP2, QOP_ADD, L(1), L(0), C(3));
        fill(g, 3, eight);                                             // p first used at 8
        fill(g, 4, {ret(L(1))});
        dfs(g);
        dataflow_pass_context pc = pass_context(g);
        ASSERT_EQ(dataflow_Q_livevar(&g.m, &pc), 0);
        ASSERT_EQ(dataflow_Q_meantime(&g.m, &pc), 0);
        EXPECT_EQ(s1(g, 1, 3)->meantime, 4);
        // After position 7: the mean of 2 and 8, plus the rest of block 1.
        EXPECT_EQ(s1(g, 1, 7)->meantime, (2 + 8) / 2 + 10 - 7);
        EXPECT_EQ(df_bb_distance(g.block(2))[0], 2);
        EXPECT_EQ(df_bb_distance(g.block(1))[0], 3);
        EXPECT_EQ(df_bb_distance(g.block(4))[0], -1);
        g.release();
    });
}

TEST_F(QPasses, ExitPathMarks)
{
    run([&](EE*) {
        graph g;
        g.build(6, {{1}, {2, 3}, {5}, {4, 5}, {5}});
        method_shape(g, 1, "()V", 0);
        fill(g, 1, {plain(OPC_IFZ)});
        fill(g, 2, {call({}), plain(OPC_ATHROW)});
        fill(g, 3, {plain(OPC_IFZ)});
        fill(g, 4, {plain(OPC_ATHROW)});
        g.block(3)->succ_count = 2;
        dfs(g);
        dataflow_pass_context pc = pass_context(g);
        ASSERT_EQ(dataflow_Q_livevar(&g.m, &pc), 0);
        ASSERT_EQ(dataflow_athrow(&g.m, &pc), 0);
        EXPECT_EQ(g.block(2)->flags2 & 3, BB2_EXITS_BY_THROW | BB2_EXITS_PAST_CALL);
        EXPECT_EQ(g.block(4)->flags2 & 3, BB2_EXITS_BY_THROW);
        EXPECT_EQ(g.block(3)->flags2 & 3, 0u);          // one path returns
        EXPECT_EQ(g.block(1)->flags2 & 3, 0u);
        g.release();
    });
}

// ---- the IA-32 transformation ------------------------------------------------------

namespace {

// Runs the transformation on block 1 and interprets the method for each
// argument list; `want` gives the Java result.  "" when all agree and the
// int and long operations are in the two-address form (but for the shifts a
// multiplication leaves in front of its addition).
std::string transform_and_run(const std::vector<qspec>& quads, u2 locals, u4 nargs,
                              const std::vector<std::vector<u4>>& args,
                              const std::function<u8(const std::vector<u4>&)>& want, bool in_try = false,
                              std::vector<u1>* opcodes_after = nullptr)
{
    graph g;
    g.build(3, {{1}, {2}});
    method_shape(g, locals, "()I", static_cast<u2>(nargs));
    fill(g, 1, quads);
    if (in_try)
        g.block(1)->flags |= BB_IN_TRY;
    dfs(g);
    dataflow_pass_context pc = pass_context(g);
    Initialize_lvar_characteristics(&g.m, &pc);
    std::string why;
    if (TransformForArchitecture(&g.m, &pc) != 0)
        why = "transformation failed";
    bbattr* b = g.block(1);
    for (u4 k = 0; k < b->quad_count && why.empty(); k++) {
        quadruple* q = b->catbl[k];
        if (opcodes_after != nullptr && !df_deleted(q))
            opcodes_after->push_back(q->opcode == OPC_IOP2 ? static_cast<u1>(200 + q->op) : q->opcode);
        if ((q->opcode == OPC_IOP2 || q->opcode == OPC_LOP2) && !df_deleted(q) && orva_processor_type != 5
            && q->op != QOP_SHL && q->src1.number != q->result.number)
            why = "not two-address at " + std::to_string(k);
    }
    for (const auto& a : args) {
        if (!why.empty())
            break;
        quad_interp_result r = quad_interpret(&g.m, a.data(), static_cast<u4>(a.size()), 1000);
        if (!r.ok) {
            why = r.why;
            break;
        }
        u8 got = r.value[0] | static_cast<u8>(r.value[1]) << 32;
        if (got != want(a))
            why = "wrong result for " + std::to_string(a[0]);
    }
    g.release();
    return why;
}

const std::vector<std::vector<u4>> kInts = {{0, 0}, {1, 2}, {7, 3}, {0xFFFFFFF9u, 5}, {100000, 0xFFFFFC18u},
                                            {0x7FFFFFFFu, 0x80000000u}, {0x80000000u, 1}};
u8 i32(u4 v) { return v; }

struct processor_scope {
    s4 saved = orva_processor_type;
    explicit processor_scope(s4 t) { orva_processor_type = t; }
    ~processor_scope() { orva_processor_type = saved; }
};

} // namespace

// x = a * c for many constants, into another local and in place, with the
// constant on either side: shifts, adds and negations compute a * c.
TEST_F(QPasses, MultiplicationByConstants)
{
    run([&](EE*) {
        const s4 constants[] = {3, 5, 6, 7, 8, 9, 10, 11, 2, 1, 0, -1, -2, -7, -8, 65535, -65535, 0x7FFF, 24};
        for (s4 processor : {4, 5}) {
            processor_scope ps(processor);
            for (s4 c : constants) {
                SCOPED_TRACE(testing::Message() << "c = " << c << ", processor " << processor);
                auto want = [c](const std::vector<u4>& a) { return i32(a[0] * static_cast<u4>(c)); };
                std::vector<u1> ops;
                EXPECT_EQ(transform_and_run({op2(OPC_IOP2, QOP_MUL, L(1), L(0), C(c)), ret(L(1))}, 2, 2, kInts, want,
                                            false, &ops),
                          "");
                bool multiplies = false;
                for (u1 o : ops)
                    multiplies |= o == 200 + QOP_MUL;
                // 8 is one shift, 7 and 10 two terms; on type 5 nothing changes.
                if (c == 8 || c == 7 || c == 10 || c == -1)
                    EXPECT_EQ(multiplies, processor == 5);
                EXPECT_EQ(transform_and_run({op2(OPC_IOP2, QOP_MUL, L(0), L(0), C(c)), ret(L(0))}, 2, 2, kInts, want),
                          "");
                EXPECT_EQ(transform_and_run({op2(OPC_IOP2, QOP_MUL, L(1), C(c), L(0)), ret(L(1))}, 2, 2, kInts, want),
                          "");
            }
        }
    });
}

// The two-address form: x = a - x (temporary), x = a + x (exchange),
// x = c - a (constant copy), long operations whose slots overlap, a division
// inside a try range (temporary, then the copy), and x = ABS x.
TEST_F(QPasses, TwoAddressForms)
{
    run([&](EE*) {
        processor_scope ps(4);
        auto i = [](const std::vector<u4>& a, int k) { return a[k]; };
        EXPECT_EQ(transform_and_run({op2(OPC_IOP2, QOP_SUB, L(1), L(0), L(1)), ret(L(1))}, 2, 2, kInts,
                                    [&](const std::vector<u4>& a) { return i32(i(a, 0) - i(a, 1)); }),
                  "");
        EXPECT_EQ(transform_and_run({op2(OPC_IOP2, QOP_ADD, L(1), L(0), L(1)), ret(L(1))}, 2, 2, kInts,
                                    [&](const std::vector<u4>& a) { return i32(i(a, 0) + i(a, 1)); }),
                  "");
        EXPECT_EQ(transform_and_run({op2(OPC_IOP2, QOP_SUB, L(2), C(100), L(0)), ret(L(2))}, 3, 2, kInts,
                                    [&](const std::vector<u4>& a) { return i32(100 - i(a, 0)); }),
                  "");
        EXPECT_EQ(transform_and_run({op2(OPC_IOP2, QOP_SHL, L(2), L(1), L(0)), ret(L(2))}, 3, 2, kInts,
                                    [&](const std::vector<u4>& a) { return i32(i(a, 1) << (i(a, 0) & 31)); }),
                  "");
        // Longs: a in 0-1, x in 2-3; x = a - x, and y (1-2) overlapping both.
        const std::vector<std::vector<u4>> longs = {{0, 5, 0, 3}, {1, 0, 0xFFFFFFFFu, 7}, {0x80000000u, 0, 0, 1}};
        auto l = [](const std::vector<u4>& a, int k) { return static_cast<u8>(a[k]) << 32 | a[k + 1]; };
        EXPECT_EQ(transform_and_run({op2(OPC_LOP2, QOP_SUB, L(2, QT_LONG), L(0, QT_LONG), L(2, QT_LONG)),
                                     ret(L(2, QT_LONG), OPC_LRETURN)},
                                    4, 4, longs, [&](const std::vector<u4>& a) { return l(a, 0) - l(a, 2); }),
                  "");
        EXPECT_EQ(transform_and_run({op2(OPC_LOP2, QOP_SUB, L(1, QT_LONG), L(3, QT_LONG), L(0, QT_LONG)),
                                     ret(L(1, QT_LONG), OPC_LRETURN)},
                                    5, 4, {{0, 5, 0, 3}, {1, 2, 3, 4}},
                                    [&](const std::vector<u4>& a) {
                                        u8 hi3 = static_cast<u8>(a[3]) << 32;
                                        return hi3 - l(a, 0);
                                    }),
                  "");
        std::vector<u1> ops;
        EXPECT_EQ(transform_and_run({op2(OPC_IOP2, QOP_DIV, L(1), L(0), C(3), 0), ret(L(1))}, 2, 2, kInts,
                                    [&](const std::vector<u4>& a) {
                                        return i32(static_cast<u4>(static_cast<s4>(a[0]) / 3));
                                    },
                                    true, &ops),
                  "");
        // The division writes a temporary; a copy into x follows it.
        ASSERT_GE(ops.size(), 3u);
        EXPECT_EQ(ops[ops.size() - 2], OPC_IMOVE);
        EXPECT_EQ(transform_and_run({op1(OPC_IOP1, 23, L(0), L(0)), ret(L(0))}, 1, 1, kInts,
                                    [&](const std::vector<u4>& a) {
                                        return i32(static_cast<s4>(a[0]) < 0 ? 0u - a[0] : a[0]);
                                    }),
                  "");
    });
}

// ---- editing ---------------------------------------------------------------------------

// Removing the only edge into a chain removes every block of the chain and
// the exit loses the last one as a predecessor.  A removed handler leaves
// the compile's own exception tables; the VM's method block keeps its
// exception table and count.
TEST_F(QPasses, RemovingBlocksAndHandlers)
{
    run([&](EE*) {
        graph g;
        g.build(7, {{1, 5, 4}, {2, 6}, {3}, {6}, {6}, {6}});
        method_shape(g, 1, "()V", 0);
        g.block(4)->flags |= BB_HANDLER;
        g.block(5)->flags |= BB_HANDLER;
        g.block(4)->pred_count = g.block(5)->pred_count = 1;
        u2 vm_table[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        g.mb.exception_table = vm_table;
        g.mb.exception_table_length = 2;
        bb_exception_entry table[2] = {};
        table[0].handler_bb = 5;
        table[1].handler_bb = 4;
        int directory_marker = 0;
        table[0].directory = &directory_marker;
        g.m.exc_bb_table = table;
        g.m.exc_count = 2;
        g.m.total_quad_count = 5;
        g.block(2)->try_region = 0;
        g.block(3)->try_region = 1;

        DecrementBackward(&g.m, 1, 2);
        EXPECT_TRUE(g.block(2)->flags & BB_DEAD);
        EXPECT_TRUE(g.block(3)->flags & BB_DEAD);
        EXPECT_EQ(g.block(6)->pred_count, 3u);             // 1, 4, 5 remain
        for (u4 k = 0; k < g.block(6)->pred_count; k++)
            EXPECT_NE(g.block(6)->succ[k], 3u);
        EXPECT_EQ(g.m.total_quad_count, 3u);

        remove_unreachable_bb(&g.m, 5);
        EXPECT_EQ(g.m.exc_count, 1u);
        EXPECT_EQ(table[0].handler_bb, 4);
        EXPECT_EQ(table[0].directory, &directory_marker);
        EXPECT_EQ(g.block(0)->succ_count, 2u);
        EXPECT_EQ(g.block(0)->succ[1], 4u);
        EXPECT_EQ(g.block(3)->try_region, 0);
        EXPECT_EQ(df_exception_entries(&g.m), 1u);
        EXPECT_EQ(g.mb.exception_table_length, 2);
        EXPECT_EQ(g.mb.exception_table, vm_table);
        for (u2 k = 0; k < 16; k++)
            EXPECT_EQ(vm_table[k], k + 1);
        g.mb.exception_table = nullptr;
        g.mb.exception_table_length = 0;
        g.release();
    });
}

// A no-operation made while the chains are fresh leaves them exact: a
// two-entry list drops to the inline form, an inline chain to empty (its
// single-reference mark kept).
TEST_F(QPasses, NoOperationKeepsChainsExact)
{
    run([&](EE*) {
        graph g;
        g.build(4, {{1}, {2, 3}, {3}});
        method_shape(g, 2, "(I)I", 1);
        fill(g, 1, {op2(OPC_IOP2, QOP_ADD, L(0), L(0), C(1)), op2(OPC_IFZ, 0, NONE(), L(0), NONE())});
        fill(g, 2, {op2(OPC_IOP2, QOP_ADD, L(0), L(0), C(1)), ret(L(0))});
        dfs(g);
        dataflow_pass_context pc = pass_context(g);
        ASSERT_EQ(dataflow_Q_reachdef(&g.m, &pc), 0);
        ASSERT_EQ(refs(dest(g, 1, 0)), (refs_t{at(2, 0), at(1, 1)}));
        ChangeNOP(&g.m, 1, 1);
        EXPECT_TRUE(dest(g, 1, 0)->kind & DFO_SINGLE_REF);
        EXPECT_EQ(refs(dest(g, 1, 0)), (refs_t{at(2, 0)}));
        ChangeNOP(&g.m, 2, 0);
        EXPECT_TRUE(dest(g, 1, 0)->kind & DFO_SINGLE_REF);
        EXPECT_EQ(refs(dest(g, 1, 0)), refs_t{});
        quadruple* q = g.block(2)->catbl[0];
        EXPECT_TRUE(df_deleted(q));
        EXPECT_EQ(q->opcode, OPC_OTHER);
        EXPECT_EQ(quad_kind_nibble(q), OTHER_NOP_DELETED);
        ChangeNOP(&g.m, 2, 7);                 // outside the block: nothing
        u4 shift = 9;
        EXPECT_EQ(InsertNOP_codeattr(&g.m, 2, 0, 0, 0, &shift), 1u);
        EXPECT_EQ(shift, 0u);
        EXPECT_EQ(InsertNOP_codeattr(&g.m, 2, 1, 2, 1, &shift), 1u);
        EXPECT_EQ(shift, 2u);
        EXPECT_EQ(g.block(2)->quad_count, 5u);
        EXPECT_EQ(g.block(2)->catbl[3]->opcode, OPC_IRETURN);
        EXPECT_EQ(df_exception_class(g.block(2)->catbl[2]), DF_CANNOT_RAISE);
        g.release();
    });
}

// ---- constant evaluation and local characteristics ------------------------------------

TEST(QConst, Operators)
{
    struct row {
        s4 code, a, b;
        int folded;
        s4 result;
    };
    const s4 MIN = INT32_MIN;
    const row two[] = {
        {DF_OP_ADD, 0x7FFFFFFF, 1, 1, MIN}, {DF_OP_DIV, 7, -2, 1, -3}, {DF_OP_REM, 7, -2, 1, 1},
        {DF_OP_REM, -7, 2, 1, -1},          {DF_OP_DIV, 5, 0, 0, 0},   {DF_OP_DIV, MIN, 3, 0, 0},
        {DF_OP_REM, 3, MIN, 0, 0},          {DF_OP_SHL, 3, 33, 1, 6},  {DF_OP_SHR, -8, 1, 0, 0},
        {DF_OP_USHR, 8, 33, 1, 4},          {DF_OP_MAX, 4, 4, 1, 4},   {DF_OP_MIN, 2, 9, 1, 2},
        {DF_OP_SHL2, 1, 31, 1, MIN},        {DF_OP_ROTL, 1, 1, 0, 0},  {9, 1, 1, 0, 0},
        {44, 1, 1, 0, 0},                   {DF_OP_MUL, 0x10000, 0x10000, 1, 0},
    };
    for (const row& r : two) {
        s4 out = 12345;
        EXPECT_EQ(df_calc_op2(0, r.code, r.a, r.b, &out), r.folded) << r.code << " " << r.a << " " << r.b;
        EXPECT_EQ(out, r.folded ? r.result : 12345) << r.code;
    }
    const row one[] = {
        {DF_OP_NEG, MIN, 0, 1, MIN}, {DF_OP_2C, -1, 0, 1, 0xFFFF}, {DF_OP_2B, 0x80, 0, 1, -128},
        {DF_OP_2S, 0x18000, 0, 1, -32768}, {DF_OP_ABS, MIN, 0, 1, MIN}, {DF_OP_NOT, 0, 0, 1, 1},
        {DF_OP_2Z, -5, 0, 1, 1}, {DF_OP_NOT2, 3, 0, 1, 0}, {DF_OP_SIN, 1, 0, 0, 0}, {41, 1, 0, 0, 0},
    };
    for (const row& r : one) {
        s4 out = 12345;
        EXPECT_EQ(df_calc_op1(0, r.code, r.a, &out), r.folded) << r.code;
        EXPECT_EQ(out, r.folded ? r.result : 12345) << r.code;
    }
}

TEST_F(QPasses, LocalCharacteristics)
{
    run([&](EE*) {
        graph g;
        g.build(3, {{1}, {2}});
        method_shape(g, 5, "()V", 0);
        g.m.previous_local_count = 3;
        g.mb.nlocals = 3;
        dataflow_pass_context pc = pass_context(g);
        Initialize_lvar_characteristics(&g.m, &pc);
        for (u4 v = 0; v < 5; v++) {
            EXPECT_EQ(df_local_in_set(pc.orig_count, pc.orig_set, v), v < 3) << v;
            EXPECT_EQ(df_local_in_set(pc.short_count, pc.short_set, v), v >= 3) << v;
        }
        // Shrunk: the map carries the sets over, unless NSHRINKLVAR is set.
        s4 map[5] = {1, -1, 0, 2, 3};
        mcc_set_shrink_map(&g.m, map);
        pc.flags |= DFP_LVAR_SHRUNK;
        g.m.local_count = 4;
        Initialize_lvar_characteristics(&g.m, &pc);
        EXPECT_TRUE(df_local_in_set(pc.orig_count, pc.orig_set, 0));
        EXPECT_TRUE(df_local_in_set(pc.orig_count, pc.orig_set, 1));
        EXPECT_FALSE(df_local_in_set(pc.orig_count, pc.orig_set, 2));
        u4 saved = compile_option_flag;
        compile_option_flag |= OPT1_NSHRINKLVAR;
        Initialize_lvar_characteristics(&g.m, &pc);
        EXPECT_TRUE(df_local_in_set(pc.orig_count, pc.orig_set, 2));
        compile_option_flag = saved;
        g.m.local_count = 0;
        Initialize_lvar_characteristics(&g.m, &pc);
        EXPECT_EQ(pc.short_set, nullptr);
        EXPECT_EQ(pc.short_count, 0u);
        g.release();
    });
}
