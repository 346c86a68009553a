// The two x87 operand services of the floating-point generators that need
// the register manager's exchanges and the rounding through memory:
// bringing an operand to the top as a value an operation may consume, and
// making a value left in an entry the destination's (stored into a local's
// frame slot, or bound to the entry), rounded first when asked.
#include "codegen/cg_core.h"
#include "codegen/gen/gen_fp.h"

// The operand on the top of the stack as a value the operation may consume:
// an operand-stack value in place, a local or constant as a copy (its cache
// entry stays).  popped answers 1: the entry is the caller's to pop.
int get_top_fp86_oprnd(codegen_context* cg, reg_operand* op, int* popped, quadruple**)
{
    s4 c = get_wt_fp86_oprnd(cg, op);
    s4 top = fp_top(cg) - 1;
    if (c != top)
        rm_exchange_fregs(cg, c, top);
    if (popped != nullptr)
        *popped = 1;
    return top;
}

// Makes the value in entry `position` the destination's: a local receives
// it in its frame slot (popped with `pop`, else the entry stays as its
// cache); any other operand is bound to the entry when it is released to
// it (`pop`).  truncate: the value is rounded through memory first.
// Answers whether the value is rounded (now or by the caller before).
int _assoc_fp86_oprnd(codegen_context* cg, reg_operand* op, int position, int pop, int rounded, int truncate)
{
    if (truncate)
        spilloutin_fr(cg, position, op, 0);
    if (op->kind != OPND_LOCAL) {
        if (pop)
            _assoc_fp_oprnd(cg, op, position, 0, 0);
        return rounded || truncate;
    }
    s4 top = fp_top(cg) - 1;
    if (position != top)
        rm_exchange_fregs(cg, position, top);
    if (pop) {
        int held = _search_freg(cg, op, 0);
        if (held >= 0 && held != fp_slot(top)) {
            gen_move_fr_fr_p(cg, _freg_num(cg, held), top, 1);   // into the local's cache entry
            _free_fp_reg(cg, top, 0);
            _assoc_fp_oprnd(cg, op, _freg_num(cg, held), 0, 0);
        } else {
            gen_move_local_freg_p(cg, (s4)op->value, top, op->type == 'D', 1);
            _free_fp_reg(cg, top, 0);
        }
    } else {
        _assoc_fp_oprnd(cg, op, top, 0, 0);
    }
    return rounded || truncate;
}
