// Array bound-check elimination over bytecode on hand-made blocks of
// front-end quadruples: which accesses it proves, and the cases where a
// plain reading of its rules would prove an access that can fail.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "df_graph.h"
#include "df_pass_wraps.h"
#include "df_vm_env.h"

namespace {

using dftest::graph;

// The pass is reached through the test wraps: run it for real whatever the
// driver tests before left in them.
class BcArrayCheck : public testing::Test {
protected:
    void SetUp() override
    {
        DF_REQUIRE_BOOT();
        dftest::stub_passes = false;
        dftest::failing_pass.clear();
    }
};

// One front-end quadruple: opcode and its one or two fields.
struct ins {
    u1 opcode;
    s4 a = 0;           // local, constant, operator
    s4 b = 0;           // increment, type code
};

ins iload(s4 l) { return {OPC_ILOAD, l}; }
ins aload(s4 l) { return {OPC_ALOAD, l}; }
ins istore(s4 l) { return {OPC_ISTORE, l}; }
ins iconst(s4 v) { return {OPC_ICONST, v}; }
ins iinc(s4 l, s4 d) { return {OPC_IINC, l, d}; }
ins add() { return {OPC_IOP2, QOP_ADD}; }
ins sub() { return {OPC_IOP2, QOP_SUB}; }
ins iaload() { return {OPC_IALOAD}; }
ins iastore() { return {OPC_IASTORE}; }
ins pop() { return {OPC_POP}; }
ins ifz() { return {OPC_IFZ}; }
ins newarray() { return {OPC_NEWARRAY, 0, 10}; }
ins xstore_ref(s4 l) { return {OPC_XSTORE, l, 2}; }

// Locals of every method here: 0 and 1 arrays, 2 and 3 indexes, 4 an int.
constexpr s4 A = 0, B = 1, I = 2, C = 4;

struct method {
    graph g;
    dataflow_pass_context pc;
    u4 index_vector = 1u << I | 1u << 3;
    u4 array_vector = 1u << A | 1u << B;

    // succ lists for blocks 0 .. n-2; the DFS order is block order.
    method(u4 n, const std::vector<std::vector<s4>>& succ)
    {
        g.build(n, succ);
        g.m.max_stack = 8;
        g.m.local_count = 5;
        g.m.dfs_count = n;
        for (u4 b = 0; b < n; b++)
            g.m.dfs_array[b] = b;
        memset(&pc, 0, sizeof pc);
        pc.flags = DFP_ARRAY_HINT | DFP_LOCAL_VECTORS;
        pc.local_count = 5;
        pc.index_locals = &index_vector;
        pc.array_locals = &array_vector;
    }
    ~method() { g.release(); }

    void code(u4 block, const std::vector<ins>& list)
    {
        std::vector<u1> ops;
        for (const ins& x : list)
            ops.push_back(x.opcode);
        g.set_quads(block, ops);
        for (u4 k = 0; k < list.size(); k++) {
            quadruple* q = g.block(block)->catbl[k];
            switch (q->opcode) {
            case OPC_ICONST: q->value = static_cast<u4>(list[k].a); break;
            case OPC_IOP2: q->op = static_cast<u2>(list[k].a); break;
            case OPC_IINC: q->op = static_cast<u2>(list[k].a); q->count = static_cast<u2>(list[k].b); break;
            case OPC_NEWARRAY: case OPC_XSTORE: q->op = static_cast<u2>(list[k].a); q->subcode = static_cast<u2>(list[k].b); break;
            default: q->op = static_cast<u2>(list[k].a); break;
            }
        }
    }

    int run() { return dataflow_arraycheck(&g.m, &pc); }

    // Which array accesses of the block were proven, in order.
    std::vector<bool> proven(u4 block)
    {
        std::vector<bool> v;
        bbattr* b = g.block(block);
        for (u4 k = 0; k < b->quad_count; k++)
            if (opc_info_quadruple[b->catbl[k]->opcode] & (OPA_ARRAY_LOAD | OPA_ARRAY_STORE))
                v.push_back((b->catbl[k]->subcode & QS_NO_BOUNDCHECK) != 0);
        return v;
    }
};

using proof = std::vector<bool>;

// Concatenates instruction lists.
std::vector<ins> seq(std::initializer_list<std::vector<ins>> parts)
{
    std::vector<ins> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}
std::vector<ins> load(s4 arr, std::vector<ins> index) { return seq({{aload(arr)}, index, {iaload(), pop()}}); }

} // namespace

// Facts within one block: a repeated access, a range that grows and then
// covers, stores to the index or the array between accesses, constant
// indexes against the largest proven one, and a fresh array of constant
// length accessed directly.
TEST_F(BcArrayCheck, FactsWithinOneBlock)
{
    struct row {
        const char* what;
        std::vector<ins> code;
        proof expect;
    };
    const std::vector<row> rows = {
        {"a[i] a[i]", seq({load(A, {iload(I)}), load(A, {iload(I)})}), {false, true}},
        {"a[i+1] a[i-1] a[i]",
         seq({load(A, {iload(I), iconst(1), add()}), load(A, {iload(I), iconst(1), sub()}), load(A, {iload(I)})}),
         {false, false, true}},
        {"a[i] i=c a[i]", seq({load(A, {iload(I)}), {iload(C), istore(I)}, load(A, {iload(I)})}), {false, false}},
        {"a[i] a=b a[i]", seq({load(A, {iload(I)}), {aload(B), {OPC_ASTORE, A}}, load(A, {iload(I)})}), {false, false}},
        {"a[i] b[i]", seq({load(A, {iload(I)}), load(B, {iload(I)})}), {false, false}},
        {"a[3] a[2]", seq({load(A, {iconst(3)}), load(A, {iconst(2)})}), {false, true}},
        {"a[2] a[3]", seq({load(A, {iconst(2)}), load(A, {iconst(3)})}), {false, false}},
        {"new int[10][9] [10]",
         seq({{iconst(10), newarray(), iconst(9), iaload(), pop()}, {iconst(10), newarray(), iconst(10), iaload(), pop()},
              load(A, {iload(I)})}),
         {true, false, false}},
    };
    for (const row& r : rows) {
        dftest::run([&](EE*) {
            method m(5, {{1}, {2}, {3}, {4}});
            m.code(1, r.code);
            m.code(2, {{OPC_GOTO}});
            m.code(3, {{OPC_GOTO}});
            EXPECT_EQ(m.run(), 0) << r.what;
            EXPECT_EQ(m.proven(1), r.expect) << r.what;
        });
    }
}

// Facts across blocks: a pair proven before a straight edge holds after it;
// at a join it holds only when every path proved it; nothing runs without
// the null check's hints.
TEST_F(BcArrayCheck, FactsAcrossBlocks)
{
    dftest::run([&](EE*) {
        // 1 -> 2 -> 4, 1 -> 3 -> 4; a[i] in 1, in 2 only, then in 4.
        method m(6, {{1}, {2, 3}, {4}, {4}, {5}});
        m.code(1, seq({load(A, {iload(I)}), {iload(C), ifz()}}));
        m.code(2, seq({load(A, {iload(I)}), load(B, {iload(I)}), {{OPC_GOTO}}}));
        m.code(3, {{OPC_GOTO}});
        m.code(4, seq({load(A, {iload(I)}), load(B, {iload(I)})}));
        EXPECT_EQ(m.run(), 0);
        EXPECT_EQ(m.proven(2), (proof{true, false}));
        EXPECT_EQ(m.proven(4), (proof{true, false}));
    });
    dftest::run([&](EE*) {
        method m(5, {{1}, {2}, {3}, {4}});
        m.pc.flags = DFP_LOCAL_VECTORS;
        m.code(1, seq({load(A, {iload(I)}), load(A, {iload(I)})}));
        m.code(2, {{OPC_GOTO}});
        m.code(3, {{OPC_GOTO}});
        EXPECT_EQ(m.run(), 0);
        EXPECT_EQ(m.proven(1), (proof{false, false}));
    });
}

// `a[i++] = x; if (c) a[i] = y;` (and `a[i]` after `a[(i = c)]`): the
// entry pushed before the index local changed still named it, so the access
// established the pair for the new value of i.
TEST_F(BcArrayCheck, IndexOnTheStackWhenTheLocalChanges)
{
    dftest::run([&](EE*) {
        method m(5, {{1}, {2, 3}, {3}, {4}});
        m.code(1, {aload(A), iload(I), iinc(I, 1), iload(C), iastore(), iload(C), ifz()});
        m.code(2, {aload(A), iload(I), iconst(0), iastore(), {OPC_GOTO}});
        m.code(3, seq({{aload(A), iload(I), iconst(7), istore(I), iaload(), pop()}, load(A, {iload(I)})}));
        EXPECT_EQ(m.run(), 0);
        EXPECT_EQ(m.proven(1), (proof{false}));
        EXPECT_EQ(m.proven(2), (proof{false}));
        EXPECT_EQ(m.proven(3), (proof{false, false}));
    });
}

// A reference stored into an array local by XSTORE replaces the array: what
// was proven of the old one does not hold for the new one.
TEST_F(BcArrayCheck, ReferenceXstoreKillsTheArrayFacts)
{
    dftest::run([&](EE*) {
        method m(5, {{1}, {2}, {3}, {4}});
        m.code(1, seq({load(A, {iconst(3)}), load(A, {iload(I)}), {aload(B), xstore_ref(A)}, load(A, {iconst(2)}),
                       load(A, {iload(I)})}));
        m.code(2, {{OPC_GOTO}});
        m.code(3, {{OPC_GOTO}});
        EXPECT_EQ(m.run(), 0);
        EXPECT_EQ(m.proven(1), (proof{false, false, false, false}));
    });
}

// `a[i] = 0; if (c) { i++; a[i] = 1; }` with i never used at an offset: the
// pair reaches the inner block with the range [0, 0], which the increment
// moves to [-1, -1]; a placeholder range there would cover a[i].
TEST_F(BcArrayCheck, IncrementAfterAPairFromAnotherBlock)
{
    dftest::run([&](EE*) {
        method m(5, {{1}, {2, 3}, {3}, {4}});
        m.code(1, {aload(A), iload(I), iconst(0), iastore(), iload(C), ifz()});
        m.code(2, {iinc(I, 1), aload(A), iload(I), iconst(1), iastore(), {OPC_GOTO}});
        m.code(3, {aload(A), iload(I), iconst(1), iastore()});
        EXPECT_EQ(m.run(), 0);
        EXPECT_EQ(m.proven(2), (proof{false}));
        // Both paths into the join proved a[i] for the i they leave.
        EXPECT_EQ(m.proven(3), (proof{true}));
    });
}

// Offsets past -128..127 (a constant added to the index, an increment that
// moves a range) drop the fact: a[i + 200] proves nothing about a[i + 127]
// (i may be -150).
TEST_F(BcArrayCheck, OffsetsOutsideTheByteRangeDropTheFact)
{
    struct row {
        const char* what;
        std::vector<ins> code;
        proof expect;
    };
    const std::vector<row> rows = {
        {"a[i+200] a[i+127]", seq({load(A, {iload(I), iconst(200), add()}), load(A, {iload(I), iconst(127), add()})}),
         {false, false}},
        {"a[i-300] a[i-128]", seq({load(A, {iload(I), iconst(300), sub()}), load(A, {iload(I), iconst(128), sub()})}),
         {false, false}},
        {"a[i] i-=200 a[i+127]", seq({load(A, {iload(I)}), {iinc(I, -200)}, load(A, {iload(I), iconst(127), add()})}),
         {false, false}},
        {"a[i] i+=1 a[i-1]", seq({load(A, {iload(I)}), {iinc(I, 1)}, load(A, {iload(I), iconst(1), sub()})}),
         {false, true}},
    };
    for (const row& r : rows) {
        dftest::run([&](EE*) {
            method m(5, {{1}, {2}, {3}, {4}});
            m.code(1, r.code);
            m.code(2, {{OPC_GOTO}});
            m.code(3, {{OPC_GOTO}});
            EXPECT_EQ(m.run(), 0) << r.what;
            EXPECT_EQ(m.proven(1), r.expect) << r.what;
        });
    }
}
