// Integer compares: the compare that precedes a conditional branch on int
// operands (gen_cmp_II; the dispatcher emits the jump) and TEST
// (gen_test_II).  Only register unlocks follow the compare, so the flags
// reach the jump intact.
#include "codegen/gen/gen_arith.h"

int gen_cmp_II(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    reg_operand* a = &o->r[2];
    reg_operand* b = &o->r[4];
    int ra = gi_read(cg, a, slot, RM_ALL_INT, 0);
    int rb = -1;
    if (op_is_imm(b)) {
        gen_cmp_gr_i4(cg, gid(ra), (s4)b->value);
    } else {
        rb = op_same(a, b) ? ra : gi_read(cg, b, slot, RM_ALL_INT, 0);
        gen_cmp_gr_gr(cg, gid(ra), gid(rb));
    }
    if (rb >= 0 && rb != ra)
        gi_done(cg, b, rb);
    else if (!op_is_imm(b) && !op_same(a, b))
        invalidate_if_lastuse(cg, b);
    gi_done(cg, a, ra);
    return 0;
}

int gen_test_II(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    reg_operand* a = &o->r[2];
    reg_operand* b = &o->r[4];
    if (op_is_imm(a) && !op_is_imm(b)) {
        reg_operand* t = a;
        a = b;
        b = t;
    }
    int ra = gi_read(cg, a, slot, RM_ALL_INT, 0);
    int rb = -1;
    if (op_is_imm(b)) {
        gen_test_gr_i4(cg, gid(ra), (s4)b->value, SIZE_DWORD);
    } else {
        rb = op_same(a, b) ? ra : gi_read(cg, b, slot, RM_ALL_INT, 0);
        gen_test_gr_gr(cg, gid(ra), gid(rb), SIZE_DWORD);
    }
    if (rb >= 0 && rb != ra)
        gi_done(cg, b, rb);
    gi_done(cg, a, ra);
    return 0;
}
