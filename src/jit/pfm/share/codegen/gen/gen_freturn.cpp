// Float and double method return: the result leaves on the x87 stack top
// (st(0)) with everything else popped.  The result is brought to the top
// of the model stack first (loaded from its local or constant, or
// exchanged up from a deeper cached register); emptying the x87 cache then
// keeps the top entry only.  The rest of the epilogue is that of the other
// returns, the monitor exit of a synchronized method keeping st(0).
#include "codegen/gen/gen_arith.h"
#include "codegen/glue/gen_glue.h"
#include "codegen/regman/reg_manager.h"
#include "codegen/regman/reg_records.h"

int gen_method_freturn(codegen_context* cg, quadruple**, cg_operands* o)
{
    if (cg->mb->exception_table_length != 0)
        gen_uninstall_exc_handler(cg);
    reg_operand* v = &o->r[2];
    s4 c = _get_rd_fp_oprnd(cg, v, 0);
    s4 top = fp_top(cg) - 1;
    if (c != top) {
        _swap_assoc_fregs(cg, fp_slot(c), fp_slot(top), 0);
        gen_swap_freg_freg(cg, c, top);
    }
    gi_seq s;
    gi_seq_begin(cg, &s);
    pop_fp_cache_regs(cg, 1);
    if (cg->mb->access & GLUE_ACC_SYNCHRONIZED)
        gen_monitor_exit(cg, 'D');
    restore_callee_saved_regs(cg);
    gen_frame_deallocation(cg);
    _gen_ret(cg);
    gi_seq_end(cg, &s);
    return 0;
}
