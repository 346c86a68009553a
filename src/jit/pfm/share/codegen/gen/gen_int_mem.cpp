// Integer operations whose destination is memory: one ALU instruction on a
// field, static or array element in place (`gen_op_memop_i4`,
// `gen_op_memop_gr4`), the two-word forms for longs (`gen_op_memop8_i8`,
// `gen_op_memop8_gr`: low word then high word, the carry chained through
// add/adc and sub/sbb), and the store of a value into a local's frame slot
// (`gen_pindown`).
//
// Operator codes are those of the arithmetic quadruples (1 add, 2 sub,
// 4 and, 5 or, 6 xor); a memop's registers are emitter register ids.
#include "codegen/gen/gen_arith.h"

namespace {

// Memory-access attribute of a read-modify-write on the memop.
u4 rmw_attr(const memop* m) { return (u4)m->form | 0x81u; }

u4 memop_index(const memop* m) { return m->scale != 0 ? (u4)m->index : 0u; }

int alu_index(int op) { return op >= 0 && op <= QOP_XOR ? op : 0; }

}  // namespace

// op [mem], imm  (width min(size, 4))
void gen_op_memop_i4(codegen_context* cg, int op, memop* m, s4 imm)
{
    _memop_assign_spill_offset(cg, m, 3);
    int size = m->size < 4 ? m->size : 4;
    gen_arithmetic_xmm_i4(cg, memop_alu_4[alu_index(op)], (u4)m->base, memop_index(m), m->scale, m->disp, imm, size,
                          rmw_attr(m));
}

// op [mem], reg  (width min(size, 4))
void gen_op_memop_gr4(codegen_context* cg, int op, memop* m, u4 reg)
{
    _memop_assign_spill_offset(cg, m, 3);
    int size = m->size < 4 ? m->size : 4;
    gen_arithmetic_xmm_gr(cg, memop_alu_4[alu_index(op)], (u4)m->base, memop_index(m), m->scale, m->disp, reg, size,
                          rmw_attr(m));
}

// op [mem], lo; op' [mem + 4], hi  (add/adc, sub/sbb, and/or/xor on both)
void gen_op_memop8_i8(codegen_context* cg, int op, memop* m, s4 lo, s4 hi)
{
    _memop_assign_spill_offset(cg, m, 3);
    int k = alu_index(op);
    u4 index = memop_index(m);
    gen_arithmetic_xmm_i4(cg, memop_alu_8lo[k], (u4)m->base, index, m->scale, m->disp, lo, SIZE_DWORD, rmw_attr(m));
    gen_arithmetic_xmm_i4(cg, memop_alu_8hi[k], (u4)m->base, index, m->scale, m->disp2, hi, SIZE_DWORD, rmw_attr(m));
}

// The same with a register pair; hi 0 stands for the sign of lo, made in a
// temporary (the value was an int widened to long).
void gen_op_memop8_gr(codegen_context* cg, int op, memop* m, u4 lo, u4 hi)
{
    _memop_assign_spill_offset(cg, m, 3);
    int k = alu_index(op);
    u4 index = memop_index(m);
    int t = -1;
    if (hi == 0) {
        u4 busy = rbit(reg_id_to_mgr[lo & REG_ID_MASK]) | memop_used_regbits(m);
        t = gi_alloc(cg, RM_ALL_INT, busy);
        hi = gid(t);
        gen_move_gr_gr(cg, hi, lo);
        gen_shift_gr_i4(cg, SHIFT_SAR, hi, 31);
    }
    gen_arithmetic_xmm_gr(cg, memop_alu_8lo[k], (u4)m->base, index, m->scale, m->disp, lo, SIZE_DWORD, rmw_attr(m));
    gen_arithmetic_xmm_gr(cg, memop_alu_8hi[k], (u4)m->base, index, m->scale, m->disp2, hi, SIZE_DWORD, rmw_attr(m));
    if (t >= 0)
        _free_int_reg(cg, t, 0, 0, 0);
}

// local := source, in the local's frame slot (the local must live in memory
// from here on: a handler or a subroutine return reads it there).  A
// register that caches the local keeps the same value, now clean.
int gen_pindown(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    reg_operand* local = &o->r[0];
    reg_operand* src = &o->r[2];
    if (op_absent(local))
        return 0;
    if (op_is_imm(src) && !is_cached_int_oprnd(cg, local)) {
        gen_move_local_immediate(cg, (s4)local->value, (s4)src->value);
        return 0;
    }
    int r = op_is_imm(src) ? gi_copy(cg, src, slot, RM_ALL_INT, 0) : gi_read(cg, src, slot, RM_ALL_INT, 0);
    gen_move_local_ireg(cg, (s4)local->value, r, 0, 0);
    if (!op_same(local, src) && is_cached_int_oprnd(cg, local)) {
        // The cached copy is stale now; r holds the stored value.
        int t = gi_alloc(cg, RM_ALL_INT, rbit(r));
        gen_move_gr_gr(cg, gid(t), gid(r));
        _assoc_int_oprnd(cg, local, t, 0, 1);
        _free_int_reg(cg, t, 0, 0, 0);
    }
    _free_int_reg(cg, r, 0, 0, 0);
    if (!op_is_imm(src) && !op_same(local, src))
        invalidate_if_lastuse(cg, src);
    return 0;
}
