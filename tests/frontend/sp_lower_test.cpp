// Array, field, class-initialisation, allocation, guard and multi-slot pop
// lowering in the stack pass, on hand-made quadruples.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "fe_vm_env.h"
#include "sp_test_util.h"

namespace {

using namespace sptest;

struct array_case {
    const char* name;
    u1 opcode;
    u2 subcode;
    int P;
    std::vector<int> want;
    int A, J;       // operands of the checks (-1: not checked here)
    int16_t height;
};

TEST(ArrayLowering, ChecksByAccess)
{
    FE_REQUIRE_BOOT();
    const array_case cases[] = {
        {"iaload, both checks", OPC_IALOAD, 1, 5, {OPC_NULLCHECK, OPC_ARRAYLENGTH_MARK, OPC_SIZECHECK, OPC_IALOAD}, 4, 5, 7},
        {"iaload, null check only", OPC_IALOAD, 1 | QS_NO_BOUNDCHECK, 5, {OPC_NULLCHECK, OPC_IALOAD}, 4, -1, 3},
        {"iaload, bounds only", OPC_IALOAD, 1 | QS_NO_NULLCHECK, 5, {OPC_ARRAYLENGTH_MARK, OPC_SIZECHECK, OPC_IALOAD}, 4, 5, 7},
        {"caload of String", OPC_IALOAD, 5 | QS_NO_NULLCHECK | QS_NO_BOUNDCHECK, 5, {OPC_IALOAD}, -1, -1, 3},
        {"lastore", OPC_LASTORE, 0, 5, {OPC_NULLCHECK, OPC_ARRAYLENGTH_MARK, OPC_SIZECHECK, OPC_LASTORE}, 2, 3, 7},
        {"iastore", OPC_IASTORE, 1, 5, {OPC_NULLCHECK, OPC_ARRAYLENGTH_MARK, OPC_SIZECHECK, OPC_IASTORE}, 3, 4, 7},
        {"fastore", OPC_FASTORE, 0, 5, {OPC_NULLCHECK, OPC_ARRAYLENGTH_MARK, OPC_SIZECHECK, OPC_FASTORE}, 4, 5, 7},
        {"aastore, both", OPC_AASTORE, 2, 5,
         {OPC_NULLCHECK, OPC_ARRAYLENGTH_MARK, OPC_SIZECHECK, OPC_PALOAD, OPC_CLASSTYPECHECK, OPC_AASTORE}, 3, 4, 7},
        {"aastore, neither", OPC_AASTORE, 2 | QS_NO_NULLCHECK | QS_NO_BOUNDCHECK, 5,
         {OPC_ARRAYLENGTH_MARK, OPC_PALOAD, OPC_CLASSTYPECHECK, OPC_AASTORE}, 3, -1, 7},
    };
    fetest::run([&](EE*) {
        for (const array_case& c : cases) {
            fake_method fm("()V", ACC_STATIC, 0);
            method_compile_context* m = new_context(&fm.mb);
            m->max_stack = 6;
            quadruple* q = quad(m, c.opcode, c.P, c.P - 1);
            q->subcode = c.subcode;
            make_blocks(m, {{q}});
            bbattr* b = m->bb_table[1];
            b->max_int_height = 3;
            ASSERT_EQ(dup2copy(m), 0) << c.name;
            EXPECT_EQ(opcodes(b), c.want) << c.name;
            EXPECT_EQ(b->max_int_height, c.height) << c.name;
            EXPECT_EQ(m->max_stack, c.height == 7 ? 10 : 6) << c.name;     // 6 + (7 - 3)
            for (u4 i = 0; i < b->quad_count; i++) {
                const quadruple* x = b->catbl[i];
                switch (x->opcode) {
                case OPC_NULLCHECK:
                    EXPECT_EQ(x->src1.number, c.A) << c.name;
                    break;
                case OPC_ARRAYLENGTH_MARK:
                    EXPECT_EQ(x->src1.number, c.A < 0 ? 3 : c.A) << c.name;
                    EXPECT_EQ(x->result.number, c.P + 1) << c.name;
                    break;
                case OPC_SIZECHECK:
                    EXPECT_EQ(x->src1.number, c.J) << c.name;
                    EXPECT_EQ(x->src2.number, c.P + 1) << c.name;
                    break;
                case OPC_CLASSTYPECHECK:
                    EXPECT_EQ(x->src1.number, c.P + 1) << c.name;
                    EXPECT_EQ(x->src2.number, c.P) << c.name;
                    break;
                default:
                    break;
                }
            }
            free_context(m);
        }
    });
}

TEST(ArrayLowering, EaddrOfARangeGetsTheRangeCheck)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        method_compile_context* m = new_context(&fm.mb);
        quadruple* single = quad(m, OPC_EADDR, 3, 2);
        quadruple* range = quad(m, OPC_EADDR, 3, 2);
        range->target = 0x0101;
        make_blocks(m, {{single, range}});
        ASSERT_EQ(dup2copy(m), 0);
        const std::vector<int> want = {OPC_NULLCHECK, OPC_ARRAYLENGTH_MARK, OPC_SIZECHECK, OPC_EADDR,
                                       OPC_NULLCHECK, OPC_ARRAYLENGTH_MARK, OPC_SIZECHECK_RANGE, OPC_EADDR};
        EXPECT_EQ(opcodes(m->bb_table[1]), want);
        free_context(m);
    });
}

struct field_case {
    const char* name;
    u1 opcode;
    u2 subcode;
    int object;     // null-checked position relative to P, or 99 for none
    bool variant;
};

TEST(ObjectLowering, NullChecksInFrontOfObjectOperations)
{
    FE_REQUIRE_BOOT();
    const field_case cases[] = {
        {"getfield", OPC_IGETFIELD, 0, 0, false},
        {"getfield of a known object", OPC_AGETFIELD, QS_NO_NULLCHECK, 99, false},
        {"iputfield", OPC_IPUTFIELD, 0, -1, false},
        {"aputfield", OPC_APUTFIELD, 0, -1, false},
        {"lputfield", OPC_LPUTFIELD, 0, -2, false},
        {"fputfield", OPC_FPUTFIELD, 0, 0, false},
        {"dputfield", OPC_DPUTFIELD, 0, 0, false},
        {"monitor", OPC_MONITOR, 0, 0, false},
        {"arraylength", OPC_ARRAYLENGTH, 0, 0, false},
        {"athrow", OPC_ATHROW, 0, 0, true},
    };
    fetest::run([&](EE*) {
        for (const field_case& c : cases) {
            fake_method fm("()V", ACC_STATIC, 0);
            method_compile_context* m = new_context(&fm.mb);
            quadruple* q = quad(m, c.opcode, 4, 2);
            q->subcode = c.subcode;
            make_blocks(m, {{q}});
            ASSERT_EQ(dup2copy(m), 0) << c.name;
            bbattr* b = m->bb_table[1];
            if (c.object == 99) {
                EXPECT_EQ(b->quad_count, 1u) << c.name;
            } else {
                ASSERT_EQ(b->quad_count, 2u) << c.name;
                EXPECT_EQ(b->catbl[0]->opcode, OPC_NULLCHECK) << c.name;
                EXPECT_EQ(b->catbl[0]->src1.number, 4 + c.object) << c.name;
                EXPECT_EQ((b->catbl[0]->flags_a & QA_NULLCHECK_VARIANT) != 0, c.variant) << c.name;
                EXPECT_EQ(b->catbl[1], q) << c.name;
            }
            free_context(m);
        }
    });
}

TEST(ObjectLowering, GuardsLoadTheMethodTable)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        method_compile_context* m = new_context(&fm.mb);
        quadruple* mt = quad(m, OPC_IFNULL, 2, 1);
        quad_set_kind_nibble(mt, 2);
        quadruple* mb = quad(m, OPC_IFNULL, 2, 1);
        quad_set_kind_nibble(mb, 1);
        mb->src2.value = 0x00010009;
        quadruple* plain = quad(m, OPC_IFNULL, 2, 1);
        make_blocks(m, {{mt}, {mb}, {plain}});
        m->bb_table[1]->max_int_height = 0;
        m->bb_table[2]->max_int_height = 0;
        ASSERT_EQ(dup2copy(m), 0);
        const std::vector<int> want1 = {OPC_NULLCHECK, OPC_LOAD_METHODTABLE, OPC_MTADDRESSCHECK};
        const std::vector<int> want2 = {OPC_NULLCHECK, OPC_LOAD_METHODTABLE, OPC_LOAD_METHODBLOCK,
                                        OPC_METHODBLOCKCHECK};
        EXPECT_EQ(opcodes(m->bb_table[1]), want1);
        EXPECT_EQ(opcodes(m->bb_table[2]), want2);
        EXPECT_EQ(opcodes(m->bb_table[3]), std::vector<int>{OPC_IFNULL});
        EXPECT_EQ(m->bb_table[1]->max_int_height, 4);
        EXPECT_EQ(m->bb_table[2]->max_int_height, 5);
        quadruple** q = m->bb_table[2]->catbl;
        EXPECT_EQ(q[1]->src1.number, 2);
        EXPECT_EQ(q[1]->result.number, 3);
        EXPECT_EQ(q[2]->src1.number, 3);
        EXPECT_EQ(q[2]->src2.number, 9);
        EXPECT_EQ(q[2]->result.number, 4);
        EXPECT_EQ(q[3]->src1.number, 4);
        free_context(m);
    });
}

TEST(ObjectLowering, MultiSlotPop)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        method_compile_context* m = new_context(&fm.mb);
        // Pops a float and three integer words; the deepest is a receiver.
        quadruple* checked = quad(m, OPC_NULLCHECK_MARK, 4, 1, 2, 1);
        checked->op = 4;
        quad_set_kind_nibble(checked, 1);
        quadruple* plain = quad(m, OPC_NULLCHECK_MARK, 1, -1, -1, -1);
        plain->op = 2;
        quadruple* none = quad(m, OPC_NULLCHECK_MARK, 1, 1);
        make_blocks(m, {{checked}, {plain}, {none}});
        ASSERT_EQ(dup2copy(m), 0);
        quadruple** a = m->bb_table[1]->catbl;
        const std::vector<int> want1 = {OPC_POP, OPC_POP, OPC_POP, OPC_NULLCHECK_MARK};
        EXPECT_EQ(opcodes(m->bb_table[1]), want1);
        EXPECT_EQ(quad_ftop_before(a[0]), 2);
        EXPECT_EQ(quad_ftop_after(a[0]), 1);
        EXPECT_EQ(quad_itop_before(a[1]), 4);
        EXPECT_EQ(quad_itop_after(a[1]), 3);
        EXPECT_EQ(quad_itop_before(a[2]), 3);
        EXPECT_EQ(a[3], checked);
        EXPECT_EQ(quad_itop_before(a[3]), 2);      // the receiver
        EXPECT_EQ(quad_itop_after(a[3]), 1);
        EXPECT_EQ(a[1]->subcode & QS_KIND_MASK, 1u);
        EXPECT_EQ(opcodes(m->bb_table[2]), (std::vector<int>{OPC_POP, OPC_POP}));
        EXPECT_EQ(opcodes(m->bb_table[3]), std::vector<int>{OPC_OTHER});
        EXPECT_EQ(m->bb_table[3]->quad_count, 1u);
        free_context(m);
    });
}

// Fault guarded against: the checks the lowering puts in front of an array
// access or a guard had numbers but no operand kinds, so the conversion to
// the final form neither moved them past the locals nor counted them as
// operands (the element-class load of a reference store read and wrote
// "no operand"), and the array length read the stack top (the index or the
// stored value) instead of the array.  Every operand must come out as a
// variable (or the method-table slot immediate) at the locals' base plus its
// stack position.
TEST(Lowering, ChecksReachTheFinalFormAsVariablesAboveTheLocals)
{
    FE_REQUIRE_BOOT();
    struct opd {
        int kind;       // 0: no operand
        int slot;       // stack position; an immediate's value
    };
    struct row {
        int block, index;
        u1 opcode;
        opd result, src1, src2;
    };
    constexpr int B = 3;        // locals
    const opd no{0, 0};
    const row rows[] = {
        // aastore at P = 5: array 3, index 4, value 5, temporary 6
        {1, 0, OPC_NULLCHECK, no, {KB_REF, 3}, no},
        {1, 1, OPC_ARRAYLENGTH, {KB_INT, 6}, {KB_REF, 3}, no},
        {1, 2, OPC_SIZECHECK, no, {KB_INT, 4}, {KB_INT, 6}},
        {1, 3, OPC_PALOAD, {KB_INT, 6}, {KB_REF, 3}, {KB_INT, 6}},
        {1, 4, OPC_CLASSTYPECHECK, no, {KB_INT, 6}, {KB_REF, 5}},
        // iaload at P = 5: array 4, index 5
        {2, 1, OPC_ARRAYLENGTH, {KB_INT, 6}, {KB_REF, 4}, no},
        {2, 2, OPC_SIZECHECK, no, {KB_INT, 5}, {KB_INT, 6}},
        // lastore at P = 5: array 2, index 3
        {3, 1, OPC_ARRAYLENGTH, {KB_INT, 6}, {KB_REF, 2}, no},
        {3, 2, OPC_SIZECHECK, no, {KB_INT, 3}, {KB_INT, 6}},
        // method-block guard on the receiver at P = 2
        {4, 0, OPC_NULLCHECK, no, {KB_REF, 2}, no},
        {4, 1, OPC_LOAD_METHODTABLE, {KB_VMPTR, 3}, {KB_REF, 2}, no},
        {4, 2, OPC_LOAD_METHODBLOCK, {KB_VMPTR, 4}, {KB_VMPTR, 3}, {KB_INT_IMM, 9}},
        {4, 3, OPC_METHODBLOCKCHECK, no, {KB_VMPTR, 4}, no},
        // method-table guard
        {5, 1, OPC_LOAD_METHODTABLE, {KB_VMPTR, 3}, {KB_REF, 2}, no},
        {5, 2, OPC_MTADDRESSCHECK, no, {KB_VMPTR, 3}, no},
    };
    fetest::run([&](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        method_compile_context* m = new_context(&fm.mb);
        m->local_count = B;
        quadruple* aastore = quad(m, OPC_AASTORE, 5, 2);
        quadruple* iaload = quad(m, OPC_IALOAD, 5, 4);
        quadruple* lastore = quad(m, OPC_LASTORE, 5, 1);
        quadruple* mb_guard = quad(m, OPC_IFNULL, 2, 1);
        quad_set_kind_nibble(mb_guard, 1);
        mb_guard->src2.value = 9;
        quadruple* mt_guard = quad(m, OPC_IFNULL, 2, 1);
        quad_set_kind_nibble(mt_guard, 2);
        make_blocks(m, {{aastore}, {iaload}, {lastore}, {mb_guard}, {mt_guard}});
        ASSERT_EQ(dup2copy(m), 0);
        ASSERT_EQ(generate_quadruple(m), 0);
        for (const row& r : rows) {
            const quadruple* q = m->bb_table[r.block]->catbl[r.index];
            std::string at = "block " + std::to_string(r.block) + " quadruple " + std::to_string(r.index);
            ASSERT_EQ(q->opcode, r.opcode) << at;
            const quad_operand* have[3] = {&q->result, &q->src1, &q->src2};
            const opd want[3] = {r.result, r.src1, r.src2};
            for (int i = 0; i < 3; i++) {
                std::string which = at + " operand " + std::to_string(i);
                EXPECT_EQ(have[i]->kind, want[i].kind) << which;
                int number = want[i].kind == 0                             ? QUAD_NO_NUMBER
                             : (want[i].kind & QK_KIND_MASK) == QK_VARIABLE ? B + want[i].slot
                                                                            : want[i].slot;
                EXPECT_EQ(have[i]->number, number) << which;
            }
        }
        free_context(m);
    });
}

}  // namespace
