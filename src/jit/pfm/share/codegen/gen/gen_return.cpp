// Method returns: void, int/reference (result in eax) and long (edx:eax).
// The epilogue unlinks the method's exception registration, empties the
// x87 cache, leaves the monitor of a synchronized method (keeping the
// result registers), restores the callee-saved registers, releases the
// frame and returns.
//
// The registration is unlinked before the result is bound: unlinking goes
// through eax, so binding first would lose the result.
#include "codegen/gen/gen_arith.h"
#include "codegen/glue/gen_glue.h"

namespace {

void unlink_registration(codegen_context* cg)
{
    if (cg->mb->exception_table_length != 0)
        gen_uninstall_exc_handler(cg);
}

void epilogue(codegen_context* cg, int kind)
{
    gi_seq s;
    gi_seq_begin(cg, &s);
    pop_fp_cache_regs(cg, 0);
    if (cg->mb->access & GLUE_ACC_SYNCHRONIZED)
        gen_monitor_exit(cg, kind);
    restore_callee_saved_regs(cg);
    gen_frame_deallocation(cg);
    _gen_ret(cg);
    gi_seq_end(cg, &s);
}

}  // namespace

int gen_method_return(codegen_context* cg, quadruple**, cg_operands*)
{
    unlink_registration(cg);
    epilogue(cg, 'V');
    return 0;
}

int gen_method_ireturn(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    unlink_registration(cg);
    reg_operand* v = &o->r[2];
    int r;
    if (op_is_imm(v) || v->kind == OPND_ADDR) {
        r = gi_alloc(cg, 0x01, 0);
        gen_move_gr_i4(cg, GR_EAX, (s4)v->value);
    } else {
        r = gi_read(cg, v, slot, 0x01, 0);
    }
    epilogue(cg, 'I');
    _free_int_reg(cg, r, 0, 0, 0);
    return 0;
}

int gen_method_lreturn(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    unlink_registration(cg);
    reg_operand* lo = &o->r[2];
    reg_operand* hi = &o->r[3];
    int eax, edx;
    if (op_is_imm(lo)) {
        s4 wl = (s4)get_imm_long_op(cg, lo);
        s4 wh = op_absent(hi) ? (wl < 0 ? -1 : 0) : (s4)get_imm_long_op(cg, hi);
        eax = gi_alloc(cg, 0x01, 0);
        edx = gi_alloc(cg, 0x02, 0);
        gen_move_gr_i4(cg, GR_EAX, wl);
        gen_move_gr_i4(cg, GR_EDX, wh);
    } else {
        // The high word first into edx, then the low word into eax (an
        // int source: edx from the sign of eax).
        edx = gi_alloc(cg, 0x02, 0);
        eax = gi_read(cg, lo, slot, 0x01, 0x02);
        if (op_absent(hi)) {
            gen_move_gr_gr(cg, GR_EDX, GR_EAX);
            gen_shift_gr_i4(cg, SHIFT_SAR, GR_EDX, 31);
        } else {
            int r = gi_read(cg, hi, slot, RM_ALL_INT, 0x03);
            gen_move_gr_gr(cg, GR_EDX, gid(r));
            _free_int_reg(cg, r, 0, 0, 0);
        }
    }
    epilogue(cg, 'J');
    _free_int_reg(cg, eax, 0, 0, 0);
    _free_int_reg(cg, edx, 0, 0, 0);
    return 0;
}
