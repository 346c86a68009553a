// Numeric conversion quadruples between int, long and the x87 types:
// int to long and long to int (long moves with an absent word), long to
// float or double (FILD of the 64-bit value, rounded once to the target
// width) and float or double to long (Java truncation, NaN to 0,
// saturation; the sequence of gen_fp_conv.cpp).
//
// Operand sets: I2L and L2I come with the int set-up in r[] and the long
// set-up in x[]; L2F with the long set-up in r[]; F2L with the long set-up
// in x[].  The float operand of L2F and F2L is set up here, since the
// dispatcher's second set-up is an integer one.
#include "codegen/gen/gen_arith.h"
#include "codegen/gen/gen_fp.h"

namespace {

constexpr reg_operand ABSENT = {OPND_NONE, 0, 0, 0xFFFFFFFFu, nullptr};

// Scheduling attributes of loads from and stores into the machine stack.
constexpr u4 STACK_LOAD_ATTR = 66, STACK_STORE_ATTR = 3;

// Binds the value on the x87 top to the destination; a destination local
// already cached in another register receives the value there.
void bind_fp_top(codegen_context* cg, const reg_operand* d, s4 t)
{
    if (d->kind == OPND_LOCAL) {
        int held = _search_freg(cg, d, 0);
        if (held >= 0 && held != fp_slot(t)) {
            s4 x = _freg_num(cg, held);
            gen_move_fr_fr_p(cg, x, t, 1);
        }
    }
    _assoc_fp_oprnd(cg, d, t, 0, 0);
}

// The float or double source on the x87 top, as a value the caller may
// consume: a folded field or array load is loaded, a local or constant is
// copied, an operand-stack value is used in place.
s4 fp_source_on_top(codegen_context* cg, const reg_operand* a, quadruple** slot)
{
    s4 c;
    if (a->source != nullptr && !op_is_imm(a) && memop_is_used(cg, a->source, 0)) {
        memop m;
        _memop_getregs(cg, &m, const_cast<reg_operand*>(a), slot, 0x7F, 0, 0x7F, 0);
        c = _memop_alloc_move_to_reg(cg, &m, 0x7F, 0, 0x7F, 0, 0, 0);
    } else {
        c = _get_wt_fp_oprnd(cg, a);
    }
    s4 top = fp_top(cg) - 1;
    if (c != top)
        rm_exchange_fregs(cg, c, top);
    return top;
}

// Makes `n` x87 registers free: the deepest entries are spilled (to their
// operand-stack slots or locals) when the stack is too full.  Done before
// the source is fetched, so the source is reloaded if it was among them.
void fp_reserve(codegen_context* cg, int n)
{
    int excess = fp_top(cg) - fp_bottom(cg) + n - RM_FP_SLOTS;
    if (excess > 0)
        spillout_hw_fp_stack_bottom(cg, excess);
}

}  // namespace

// int d = (int) float or double a: truncation toward zero, NaN to 0,
// saturation at the int range.  The value is stored through a scratch word:
// the destination's own frame word when it has one (about to be overwritten
// by the result), else the frame's x87 spill area.  The conversion's
// rounding fix-up pushes one value (fldz, fild) above the source, and the
// source itself may be a pushed copy of a local or a folded field or array
// load (or an operand-stack value reloaded), so those registers are made
// free first: with all eight in use the push would overflow the x87 stack.
int gen_F2I(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    reg_operand* d = &o->r[0];
    reg_operand* a = &o->x[2];
    fp_reserve(cg, (fp_has_cmov() ? 1 : 0) + 1);
    s4 t = fp_source_on_top(cg, a, slot);
    s4 disp;
    if ((u1)d->kind == RK_LOCAL) {
        disp = C_Style_local(cg, (s4)d->value, 0) - cg->mci->sp_offset;
    } else if ((u1)d->kind == RK_STACK && C_Style_stack(cg, d->aux, 0) - cg->mci->sp_offset >= 0) {
        disp = C_Style_stack(cg, d->aux, 0) - cg->mci->sp_offset;
    } else {
        disp = get_offset_of_fpspillarea_in_frame_w_check(cg, 4) - cg->mci->sp_offset;
    }
    int r = gi_alloc(cg, RM_ALL_INT, 0);
    gen_f2i_fr(cg, 0, gid(r), 0, GR_ESP, disp);
    gen_pop_fr(cg);
    _free_fp_reg(cg, t, 0);
    if (!op_is_imm(a))
        invalidate_if_lastuse(cg, a);
    gi_bind(cg, op_absent(d) ? nullptr : d, r);
    return 0;
}

// long d = (long) int a
int gen_I2L(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    cg_operands m = *o;
    m.r[0] = o->x[0];
    m.r[1] = o->x[1];
    m.r[2] = o->r[2];
    m.r[3] = ABSENT;
    return gen_move_LL(cg, slot, &m);
}

// int d = (int) long a: the low word.
int gen_L2I(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    cg_operands m = *o;
    m.r[0] = o->r[0];
    m.r[1] = ABSENT;
    m.r[2] = o->x[2];
    m.r[3] = o->x[3];
    return gen_move_LL(cg, slot, &m);
}

// float or double d = long a.  The pair goes to the machine stack, FILD loads
// it exactly (64-bit significand), and a store and reload through the same
// eight bytes rounds it once to the destination's width: a value kept with
// more precision would compare and compute unlike Java's.
int gen_L2F(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    reg_operand* a = &o->r[2];
    reg_operand d;
    set_3foperands(cg, slot, &d, nullptr, nullptr);
    bool is_float = d.type == 'F';
    if (op_is_imm(&a[0])) {
        s4 wl = (s4)get_imm_long_op(cg, &a[0]);
        s4 wh = op_absent(&a[1]) ? (wl < 0 ? -1 : 0) : (s4)get_imm_long_op(cg, &a[1]);
        gen_push_imm(cg, wh, 0, 0);
        gen_push_imm(cg, wl, 0, 0);
    } else {
        int lo = gi_read(cg, &a[0], slot, RM_ALL_INT, 0);
        if (op_absent(&a[1])) {
            int hi = gi_alloc(cg, RM_ALL_INT, rbit(lo));
            gen_move_gr_gr(cg, gid(hi), gid(lo));
            gen_shift_gr_i4(cg, SHIFT_SAR, gid(hi), 31);
            gen_push(cg, gid(hi), 0, 0);
            _free_int_reg(cg, hi, 0, 0, 0);
        } else {
            int hi = gi_read(cg, &a[1], slot, RM_ALL_INT, rbit(lo));
            gen_push(cg, gid(hi), 0, 0);
            gi_done(cg, &a[1], hi);
        }
        gen_push(cg, gid(lo), 0, 0);
        gi_done(cg, &a[0], lo);
    }
    s4 t = _alloc_fp_reg(cg, RM_ALL_FP, 0);
    gen_move_fri_mm(cg, GR_ESP, 0, 0, 0, 8, STACK_LOAD_ATTR);
    if (is_float) {
        gen_move_mm_fr(cg, GR_ESP, 0, 0, 0, 1, STACK_STORE_ATTR);
        gen_move_fr_mm(cg, GR_ESP, 0, 0, 0, STACK_LOAD_ATTR);
    } else {
        gen_move_mm_fr8(cg, GR_ESP, 0, 0, 0, 1, STACK_STORE_ATTR);
        gen_move_fr8_mm(cg, GR_ESP, 0, 0, 0, STACK_LOAD_ATTR);
    }
    gen_arithmetic_gr_i4(cg, ALU_ADD, GR_ESP, 8);
    bind_fp_top(cg, &d, t);
    return 0;
}

// long d = (long) float or double a, through an 8-byte scratch area below
// the frame's stack words.  The conversion stores a copy of the value with
// FISTP, so one x87 register is kept free for it.
int gen_F2L(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    reg_operand* d = &o->x[0];
    reg_operand a;
    set_3foperands(cg, slot, nullptr, &a, nullptr);
    s4 t = fp_source_on_top(cg, &a, slot);
    s4 room = _alloc_fp_reg(cg, RM_ALL_FP, 0);
    int lo = gi_alloc(cg, RM_ALL_INT, 0);
    int hi = gi_alloc(cg, RM_ALL_INT, rbit(lo));
    gen_arithmetic_gr_i4(cg, ALU_SUB, GR_ESP, 8);
    gen_f2i_fr(cg, 1, gid(lo), gid(hi), GR_ESP, 0);
    gen_arithmetic_gr_i4(cg, ALU_ADD, GR_ESP, 8);
    _free_fp_reg(cg, room, 0);
    gen_pop_fr(cg);
    _free_fp_reg(cg, t, 0);
    if (!op_is_imm(&a) && !op_same(&a, &d[0]))
        invalidate_if_lastuse(cg, &a);
    gi_bind(cg, &d[0], lo);
    gi_bind(cg, op_absent(&d[1]) ? nullptr : &d[1], hi);
    return 0;
}
