// Float and double quadruples on the x87 stack: moves (loads, constants,
// stores, widening and narrowing), binary operators and unary operators.
//
// Operand access goes through the register manager: a source is brought to
// a counter value (`_get_wt_fp_oprnd` gives a writable copy of a local or
// constant, or the operand-stack value itself), the result is left on the
// top of the x87 stack and bound to the destination with `_assoc_fp_oprnd`.
// Operand order of every quadruple: r[0] the destination, r[2] the first
// source, r[4] the second.
#include "codegen/cg_core.h"
#include "codegen/gen/gen_fp.h"
#include "codegen/gen/gen_arith.h"
#include "codegen/regman/reg_manager.h"
#include "frontend/quad.h"

namespace {

// Scheduling attribute of a load from a frame word (as the register
// manager's loads from locals).
constexpr u4 FRAME_LOAD_ATTR = 66;

s4 fp_top1(codegen_context* cg) { return fp_top(cg) - 1; }

// Kind of the model entry a counter value holds.
u1 entry_kind(codegen_context* cg, s4 c) { return CUR(cg)->fent[fp_slot(c)].kind; }

// A value the operation may consume (pop): an operand-stack value or a
// temporary, never a cached local or constant.
bool poppable(codegen_context* cg, s4 c)
{
    u1 k = entry_kind(cg, c);
    return k == RK_STACK || k == RK_TEMP;
}

// Bring counter value c to the top (fxch in code and model); returns the top.
s4 to_top(codegen_context* cg, s4 c)
{
    s4 t = fp_top1(cg);
    if (c != t)
        rm_exchange_fregs(cg, c, t);
    return t;
}

// A writable copy of a source (a local or constant is copied to a new top;
// an operand-stack value is used in place), left on the top.
s4 writable_on_top(codegen_context* cg, const reg_operand* src)
{
    s4 c = _get_wt_fp_oprnd(cg, src);
    return to_top(cg, c);
}

// Bind the top value to the destination.  A destination local cached in
// another slot receives the value there (fstp st(i)).
void bind_top(codegen_context* cg, const reg_operand* d, s4 t)
{
    if ((u1)d->kind == RK_LOCAL) {
        int held = _search_freg(cg, d, 0);
        if (held >= 0 && held != fp_slot(t)) {
            s4 x = _freg_num(cg, held);
            gen_move_fr_fr_p(cg, x, t, 1);
        }
    }
    _assoc_fp_oprnd(cg, d, t, 0, 0);
}

// Round the top value to float through the destination's home word (a
// local's slot or an operand-stack slot): fstp dword, fld dword.  A double
// narrowed to float must not keep its double bits while it stays on the
// x87 stack.
void round_top_to_float(codegen_context* cg, const reg_operand* d, s4 t)
{
    if ((u1)d->kind == RK_LOCAL) {
        gen_move_local_freg_p(cg, (s4)d->value, t, 0, 1);
        gen_move_freg_local(cg, t, (s4)d->value, 0);
    } else if ((u1)d->kind == RK_STACK) {
        // The reload pushes at the model's top: lower it over the store's pop.
        gen_move_stack_freg0(cg, d->aux, t, 0, 1);
        fp_top(cg)--;
        gen_spillin_freg_stack(cg, t, d->aux, 0);
    } else {
        cg_service_missing("gen_move_FF narrowing into a temporary");
    }
}

// The second source brought on the top above the first, already placed at
// ta, both poppable.  Returns the first's counter value (the second is the
// top).
s4 load_second(codegen_context* cg, const reg_operand* a, s4 ta, const reg_operand* b)
{
    s4 tb = _get_wt_fp_oprnd(cg, b);
    if (!poppable(cg, tb))
        cg_service_missing("second floating operand cannot be consumed");
    // The first source may have moved while the second was brought in
    // (an exchange or a spill below the top): find it again when it is an
    // operand-stack value; a fresh copy stays where it was pushed.
    if ((u1)a->kind == RK_STACK) {
        int s = _search_freg(cg, a, 0);
        if (s >= 0)
            ta = _freg_num(cg, s);
    }
    tb = to_top(cg, tb);
    if (ta == tb)
        cg_service_missing("floating operands share a register");
    if (ta != tb - 1) {
        rm_exchange_fregs(cg, ta, tb - 1);
        ta = tb - 1;
    }
    return ta;
}

// Both sources on the x87 stack, poppable: the second on the top, the first
// just below it.  Returns the first's counter value (the second is the top).
s4 load_pair(codegen_context* cg, const reg_operand* a, const reg_operand* b)
{
    return load_second(cg, a, writable_on_top(cg, a), b);
}

// The counter value of the x87 slot that holds a local's or constant's
// value, or -1 (an operand-stack value or temporary, or not held).
s4 held_in_place(codegen_context* cg, const reg_operand* op)
{
    u1 k = (u1)op->kind;
    if (k != RK_LOCAL && !rk_is_const(k))
        return -1;
    int s = _search_freg(cg, op, 0);
    if (s < 0 || !sw_has(CUR(cg)->fmask, s, RS_VALID) || !freg_has_value(cg, s))
        return -1;
    return _freg_num(cg, s);
}

// Operators with a register form st(0) = st(0) op st(i).
bool has_st0_form(int op)
{
    switch (op) {
    case FOPR_ADD: case FOPR_SUB: case FOPR_MUL: case FOPR_DIV: case FOPR_SUBR: case FOPR_DIVR:
        return true;
    }
    return false;
}

// esp-relative displacement of an operand's own frame word (a local's slot,
// or an operand-stack slot, which is first brought above esp by a store of
// `fill` when it lies below).
s4 home_disp(codegen_context* cg, const reg_operand* op)
{
    if ((u1)op->kind == RK_LOCAL)
        return C_Style_local(cg, (s4)op->value, 0) - cg->mci->sp_offset;
    if (C_Style_stack(cg, op->aux, 0) - cg->mci->sp_offset < 0)
        gen_move_stack_ival(cg, op->aux, 0);
    return C_Style_stack(cg, op->aux, 0) - cg->mci->sp_offset;
}

bool is_binary_operator(int op)
{
    switch (op) {
    case FOPR_ADD: case FOPR_SUB: case FOPR_MUL: case FOPR_DIV: case FOPR_SUBR: case FOPR_DIVR:
    case FOPR_MAX: case FOPR_MIN: case FOPR_REM: case FOPR_IEREM: case FOPR_POW:
        return true;
    }
    return false;
}

}  // namespace

// Load, constant, store, widening (F2D: the x87 value is already exact) and
// narrowing (D2F: rounded to float).
int gen_move_FF(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    const reg_operand* d = &o->r[0];
    const reg_operand* a = &o->r[2];
    s4 t = writable_on_top(cg, a);
    if ((*slot)->opcode == OPC_D2F || ((u1)d->type == RT_FLOAT && (u1)a->type == RT_DOUBLE))
        round_top_to_float(cg, d, t);
    bind_top(cg, d, t);
    return 0;
}

// d = a op b.  The first source becomes a writable value on the top.  A
// second source that is a local or constant already held in an x87 slot is
// used where it is (op st(0),st(i): no copy, nothing popped); any other is
// brought on the top above the first (a copy when it is a cached local or
// a constant, so that it can be popped), and the operation pops it.
int gen_op2_FFF(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    int op = (*slot)->op;
    if (!is_binary_operator(op))
        cg_service_missing("unsupported floating binary operator");
    const reg_operand* d = &o->r[0];
    const reg_operand* a = &o->r[2];
    const reg_operand* b = &o->r[4];
    s4 ta = writable_on_top(cg, a);
    s4 tb = has_st0_form(op) ? held_in_place(cg, b) : -1;
    if (tb >= 0 && tb != ta) {
        gen_op_fr_fr(cg, op, ta, tb, 0);   // st(0) = st(0) op st(i)
    } else {
        ta = load_second(cg, a, ta, b);
        tb = ta + 1;
        gen_op_fr_fr(cg, op, ta, tb, 1);
        _free_fp_reg(cg, tb, 0);
    }
    // A local destination is always left cached in the x87 register.
    if (tobe_truncated(cg, d, op, 1))
        spilloutin_fr(cg, ta, d, 0);
    bind_top(cg, d, ta);
    return 0;
}

// d = op a: negation, absolute value, square root, rounding and the
// library functions, on the top.
int gen_op1_FF(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    int op = (*slot)->op;
    const reg_operand* d = &o->r[0];
    const reg_operand* a = &o->r[2];
    s4 t = writable_on_top(cg, a);
    gen_op_fr(cg, op, t);
    if (tobe_truncated(cg, d, op, 1))
        spilloutin_fr(cg, t, d, 0);
    bind_top(cg, d, t);
    return 0;
}

// d = fcmpl/fcmpg(a, b): -1, 0 or +1 in an integer register; NaN gives -1
// (fcmpl) or +1 (fcmpg).  Both sources are popped by the compare.
int gen_fcmpu_IFF(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    int rule = (*slot)->op;
    if (rule != QOP_CMPL && rule != QOP_CMPG)
        cg_service_missing("floating compare with an unknown NaN rule");
    const reg_operand* d = &o->r[0];
    const reg_operand* a = &o->x[2];
    const reg_operand* b = &o->x[4];
    s4 ta = load_pair(cg, a, b);
    s4 tb = ta + 1;
    int r = gi_alloc(cg, RM_ALL_INT, 0);
    fcmp3_fr_loaded(cg, rule == QOP_CMPL ? FCMP_NAN_LESS : FCMP_NAN_GREATER, gid(r), ta, 0, 1);
    _free_fp_reg(cg, tb, 0);
    _free_fp_reg(cg, ta, 0);
    gi_bind(cg, d, r);
    return 0;
}

// d = (float or double) a for an int a: the int is written to the
// destination's own frame word (about to be overwritten by the result) and
// loaded from there with FILD.
int gen_I2F(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    const reg_operand* d = &o->x[0];
    const reg_operand* a = &o->r[2];
    u1 k = (u1)d->kind;
    if (k != RK_LOCAL && k != RK_STACK)
        cg_service_missing("gen_I2F into a temporary");
    if (op_is_imm(a)) {
        if (k == RK_LOCAL)
            gen_move_local_immediate(cg, (s4)d->value, (s4)a->value);
        else
            gen_move_stack_ival(cg, d->aux, (s4)a->value);
    } else {
        int r = gi_read(cg, a, slot, RM_ALL_INT, 0);
        if (k == RK_LOCAL)
            gen_move_local_ireg(cg, (s4)d->value, r, 0, 0);
        else
            gen_move_stack_ireg(cg, d->aux, r);
        gi_done(cg, const_cast<reg_operand*>(a), r);
    }
    s4 disp = home_disp(cg, d);
    s4 t = _alloc_fp_reg(cg, RM_ALL_FP, 0);
    gen_move_fri_mm(cg, GR_ESP, 0, 0, disp, SIZE_DWORD, FRAME_LOAD_ATTR);
    // FILD is exact; an int with more than 24 significant bits must become
    // the float Java rounds it to before anything computes with it.
    if ((u1)d->type == RT_FLOAT)
        round_top_to_float(cg, d, t);
    bind_top(cg, d, t);
    return 0;
}

// The compare of a compare-and-branch quadruple: the branch condition in the
// operator word (over the three-way result: a cond b), the NaN rule
// (QOP_CMPL / QOP_CMPG) in the count word.  Both sources are popped; the
// returned condition holds after the emitted code exactly when the branch is
// taken.
int gen_fcmpu_CFF(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    int cond = (*slot)->op;
    int rule = (*slot)->count;
    if (rule != QOP_CMPL && rule != QOP_CMPG)
        cg_service_missing("floating compare-and-branch with an unknown NaN rule");
    if (cond != COND_EQ && cond != COND_NE && cond != COND_LT && cond != COND_GE && cond != COND_LE &&
        cond != COND_GT)
        cg_service_missing("floating compare-and-branch with an unknown condition");
    const reg_operand* a = &o->r[2];
    const reg_operand* b = &o->r[4];
    s4 ta = load_pair(cg, a, b);
    s4 tb = ta + 1;
    int c = fcmp_fr_fr_cond_loaded(cg, rule == QOP_CMPL ? FCMP_NAN_LESS : FCMP_NAN_GREATER, cond, ta, tb, 1);
    _free_fp_reg(cg, tb, 0);
    _free_fp_reg(cg, ta, 0);
    return c;
}
