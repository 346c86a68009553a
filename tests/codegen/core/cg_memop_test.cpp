// Memory operands: the address-pattern tables, the definition searches and
// the register bits of a descriptor.
#include <gtest/gtest.h>

#include <string.h>

#include "cg_driver_fakes.h"

TEST(CgMemop, UsedRegisterBitsNeverCountEspOrAbsolute)
{
    memop m = {};
    EXPECT_EQ(memop_used_regbits(&m), 0u);          // absolute
    m.base = GR_ESP;
    EXPECT_EQ(memop_used_regbits(&m), 0u);          // frame slot
    m.base = GR_EBX;
    m.index = GR_ESI;
    m.scale = 0;
    EXPECT_EQ(memop_used_regbits(&m), reg_used_bit[GR_EBX]);   // index ignored without scale
    m.scale = 4;
    EXPECT_EQ(memop_used_regbits(&m), reg_used_bit[GR_EBX] | reg_used_bit[GR_ESI]);
}

TEST(CgMemop, PatternTablesByTypeClass)
{
    struct { u2 cls; u4 def; bool any_user; } rows[] = {
        {16, 83, false}, {16, 143, false}, {32, 105, false}, {96, 158, false}, {112, 157, false},
        {48, 11, true}, {64, 28, true}, {64, 92, true}, {80, 20, true}, {80, 62, false},
    };
    for (auto& r : rows) {
        const memop_pattern_row* t = memop_pattern_table(r.cls);
        ASSERT_NE(t, nullptr);
        while (t->def_opcode != 0 && t->def_opcode != r.def)
            t++;
        ASSERT_EQ(t->def_opcode, r.def) << r.cls;
        EXPECT_EQ(t->users == MEMOP_ANY_USER, r.any_user) << r.def;
        EXPECT_EQ(t->handler == nullptr, r.any_user) << r.def;
    }
    EXPECT_EQ(memop_pattern_table(0), nullptr);
}

// A block: a definer whose result folds, then a user whose first source
// carries the folding flag.
struct fold_block {
    quadruple def, mid, user;
    quadruple* catbl[3];
    bbattr bb;
};

static void make_fold(fold_block* f, u1 def_opcode, u1 user_opcode, u1 type)
{
    memset(f, 0, sizeof *f);
    f->def.opcode = def_opcode;
    f->def.result.flags = 0x20;
    f->mid.opcode = OPC_ILOAD;
    f->user.opcode = user_opcode;
    f->user.opcount = 1;
    f->user.src1.kind = (u1)(type << QT_SHIFT | QK_VARIABLE);
    f->user.src1.flags = 0x20;
    f->catbl[0] = &f->def;
    f->catbl[1] = &f->mid;
    f->catbl[2] = &f->user;
    f->bb.catbl = f->catbl;
    f->bb.quad_count = 3;
}

static u2 type_word(const quad_operand& op) { return (u2)(op.kind | op.flags << 8); }

TEST(CgMemop, DefinitionSearchFindsTheFoldedDefiner)
{
    fold_block f;
    make_fold(&f, OPC_IGETFIELD, OPC_IOP2, QT_INT);
    quadruple** slot = nullptr;
    EXPECT_NE(memop_definition_search(type_word(f.user.src1), &f.bb, 2, &slot, nullptr), nullptr);
    EXPECT_EQ(slot, &f.catbl[0]);
    EXPECT_EQ(Qmemop_is_used(type_word(f.user.src1), &f.bb, 2, nullptr), &f.catbl[0]);
    // The same definer from the other side.
    EXPECT_TRUE(Qmemop_is_defined((u2)(QT_INT << QT_SHIFT | QK_VARIABLE | 0x2000), &f.bb, 0, nullptr));
    // A user outside the definer's list: no folding.
    make_fold(&f, OPC_IGETFIELD, OPC_IASTORE, QT_INT);
    EXPECT_EQ(memop_definition_search(type_word(f.user.src1), &f.bb, 2, &slot, nullptr), nullptr);
    // Without the folding flag on the operand: nothing.
    make_fold(&f, OPC_IGETFIELD, OPC_IOP2, QT_INT);
    f.user.src1.flags = 0;
    EXPECT_EQ(memop_definition_search(type_word(f.user.src1), &f.bb, 2, &slot, nullptr), nullptr);
    // A deleted definer is passed over.
    make_fold(&f, OPC_IGETFIELD, OPC_IOP2, QT_INT);
    f.def.opcount |= QC_DELETED;
    EXPECT_EQ(memop_definition_search(type_word(f.user.src1), &f.bb, 2, &slot, nullptr), nullptr);
}

TEST(CgMemop, UnresolvedConstantLoadDoesNotFold)
{
    fold_block f;
    make_fold(&f, OPC_LDC, OPC_ARETURN, QT_REF);
    quadruple** slot = nullptr;
    EXPECT_NE(memop_definition_search(type_word(f.user.src1), &f.bb, 2, &slot, nullptr), nullptr);
    f.def.subcode |= QS_UNRESOLVED;
    EXPECT_EQ(memop_definition_search(type_word(f.user.src1), &f.bb, 2, &slot, nullptr), nullptr);
}

TEST(CgMemop, AluTablesByOperator)
{
    // operator 1 add, 2 subtract, 4 and, 5 or, 6 xor
    EXPECT_EQ(memop_alu_4[1], ALU_ADD);
    EXPECT_EQ(memop_alu_4[2], ALU_SUB);
    EXPECT_EQ(memop_alu_4[6], ALU_XOR);
    EXPECT_EQ(memop_alu_8lo[1], ALU_ADD2);
    EXPECT_EQ(memop_alu_8hi[1], ALU_ADC);
    EXPECT_EQ(memop_alu_8lo[2], ALU_SUB2);
    EXPECT_EQ(memop_alu_8hi[2], ALU_SBB);
    EXPECT_EQ(memop_alu_8hi[5], ALU_OR);
}

// Loading a field memop [ebx + 8] into a register: a fresh register that is
// not in the address, or the base itself when its local dies here.
TEST(CgMemop, LoadIntoRegisterPicksAFreeOrTheDyingBase)
{
    struct { bool last_use; u4 reg; u1 bytes[3]; } rows[] = {
        {false, GR_EAX, {0x8B, 0x43, 0x08}},   // mov eax, [ebx+8]
        {true, GR_EBX, {0x8B, 0x5B, 0x08}},    // mov ebx, [ebx+8]
    };
    for (auto& r : rows) {
        codegen_context cg = {};
        method_code_info mci = {};
        u1 buf[32] = {};
        cg.mci = &mci;
        cg.flags = CG_SCHED_OFF;
        cg.pass = CG_PASS_WRITE;
        cg.code = buf;
        mci.code_start = buf;
        quad_operand base_src = {};
        base_src.flags = r.last_use ? 0x01 : 0;
        memop m = {};
        m.base = GR_EBX;
        m.disp = 8;
        m.size = 4;
        m.where = 'M';
        m.type_class = 16;
        m.low = {OPND_LOCAL, 'I', 0, 3, &base_src};
        int got = _memop_alloc_move_to_reg_w_rsvbits(&cg, &m, 0x7F, 0, 0, 0, 0);
        EXPECT_EQ((u4)got, r.reg);
        EXPECT_EQ(cg.code - buf, 3);
        EXPECT_EQ(memcmp(buf, r.bytes, 3), 0) << r.last_use;
        EXPECT_EQ(m.where, 'R');
        EXPECT_EQ((u4)m.base, r.reg);
        EXPECT_EQ(m.index, -1);
    }
}
