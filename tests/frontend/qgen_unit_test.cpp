// Quadruple-generation services on small hand-made inputs: the parameter
// marks, the constant candidates, the stack lists, the operand lists and
// the position shift of widened float-stack slots.
#include <gtest/gtest.h>

#include <string.h>

#include "driver/driver.h"
#include "frontend/qgen.h"

namespace {

struct pool_scope {
    method_compile_context m{};
    pool_scope() { m.pool1 = jit_wmem_init(0); m.pool2 = jit_wmem_init(0); }
    ~pool_scope()
    {
        jit_wmem_free(m.pool2);
        jit_wmem_free(m.pool1);
    }
};

} // namespace

// Signature walk: Z parameters lose the parameter mark, a long takes two
// entries, the receiver of an instance method is never marked.
TEST(QgenUnit, ParameterLocals)
{
    struct row {
        const char* sig;
        u2 access;
        u4 locals;
        u4 marked;      // bit i: local i carries 0x200
    } rows[] = {
        {"(IJZ[Ljava/lang/String;)V", ACC_STATIC, 5, 0x17},
        {"(IJZ[Ljava/lang/String;)V", 0, 6, 0x2E},
        {"([[ID)V", ACC_STATIC, 3, 0x7},
        {"()V", 0, 1, 0x0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.sig);
        methodblock mb{};
        mb.signature = r.sig;
        mb.access = r.access;
        method_compile_context m{};
        m.mb = &mb;
        m.local_count = static_cast<u2>(r.locals);
        lvattr_entry table[16] = {};
        // Z clears what was there before.
        for (auto& e : table)
            e.attr = 0;
        mark_parameter_locals(&m, table);
        u4 got = 0;
        for (u4 i = 0; i < r.locals; i++)
            if (table[i].attr & LVA_PARAMETER)
                got |= 1u << i;
        EXPECT_EQ(got, r.marked);
    }
}

// At most four distinct constants per table; a known one still counts.
TEST(QgenUnit, ConstantCandidatesHoldFour)
{
    const_candidate t[CONST_CANDIDATES] = {};
    u4 n = 0;
    for (u4 v = 10; v < 15; v++)
        n = put_const_tbl(nullptr, n, t, 1, v, 1, 3);
    EXPECT_EQ(n, 4u);
    n = put_const_tbl(nullptr, n, t, 1, 10, 2, 7);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(t[0].count, 3u);
    EXPECT_EQ(t[0].block, 3u);
    EXPECT_EQ(t[3].key2, 13u);
    EXPECT_EQ(put_const_tbl(nullptr, 0, nullptr, 1, 1, 1, 1), 0u);
}

// A list asked for fewer entries keeps its last ones, moved to the front;
// an int word pushed by a constant carries its range, an empty stack no list.
TEST(QgenUnit, StackListsAndRanges)
{
    pool_scope p;
    quadruple call{};
    quadruple konst{};
    konst.opcode = OPC_ICONST;
    konst.value = 7;
    quadruple* kslot = &konst;
    quadruple* slot = &call;
    stack_word stack[5];
    for (u4 i = 0; i < 5; i++)
        stack[i] = stack_word{i == 4 ? SK_INT : SK_REF, -1, i == 4 ? &kslot : nullptr, 0};
    ASSERT_EQ(set_invoke_args(&p.m, &slot, stack, 5), 0);
    stack_list* l = quad_stack_list(&call);
    ASSERT_NE(l, nullptr);
    ASSERT_EQ(l->count, 5u);
    ASSERT_NE(l->entries[4].range, nullptr);
    const u4* range = reinterpret_cast<const u4*>(l->entries[4].range);
    EXPECT_EQ(range[1], 7u);
    EXPECT_EQ(range[2], 7u);
    EXPECT_EQ(l->entries[0].range, nullptr);
    l->entries[2].kind = 1024;
    stack_list* r = resize_arg_list(&p.m, &slot, 3);
    ASSERT_EQ(r, l);
    EXPECT_EQ(r->count, 3u);
    EXPECT_EQ(r->entries[0].kind, 1024u);
    EXPECT_EQ(r->entries[2].kind, SK_INT);
    ASSERT_EQ(set_invoke_args(&p.m, &slot, stack, 0), 0);
    EXPECT_EQ(quad_stack_list(&call), nullptr);
}

// Operand lists append at the tail; the pair form packs index and position.
TEST(QgenUnit, OperandListsAppendAtTheTail)
{
    pool_scope p;
    quadruple q{};
    ASSERT_EQ(Set_OPRAND(KB_REF, 4, &q, &p.m), 0);
    ASSERT_EQ(Set_OPRAND_byte(KB_INT, 5, 2, 1, &q, &p.m), 0);
    ASSERT_EQ(Set_OPRAND_pair(48, 3, 1, 0, 0, &q, &p.m), 0);
    const quad_operand_list_entry* e = quad_list_head(&q);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->kind, KB_REF);
    EXPECT_EQ(e->number, 4u);
    e = e->next;
    EXPECT_EQ(e->kind, KB_INT | QL_FIXED);
    EXPECT_EQ(e->extra, 2u);
    e = e->next;
    EXPECT_EQ(e->kind, 50u);
    EXPECT_EQ(e->number, 0x0301u);
    EXPECT_EQ(e->next, nullptr);
}

TEST(QgenUnit, PositionShiftOfWidenedSlots)
{
    const int8_t widen[4] = {1, 0, 1, 0};
    EXPECT_EQ(sum_signed_bytes(nullptr, widen, 0), 0);
    EXPECT_EQ(sum_signed_bytes(nullptr, widen, 1), 2);
    EXPECT_EQ(sum_signed_bytes(nullptr, widen, 3), 5);
    EXPECT_EQ(sum_signed_bytes_plus_count(nullptr, widen, 4), 6);
    u4 one = 1, four = 4, zero = 0;
    EXPECT_EQ(is_small_count(nullptr, &one), 1);
    EXPECT_EQ(is_small_count(nullptr, &four), 0);
    EXPECT_EQ(is_small_count(nullptr, &zero), 0);
}
