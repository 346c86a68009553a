// Field and static access generators.
//
// Resolved forms load or store through the field block known at compile
// time: an instance field at [object + 8 + offset] (word 0 of an object is
// its method table, word 1 its header), a 32-bit static in the field block's
// value word itself, a 64-bit static through the pointer that word holds.
// Narrow Java types (byte, char, short, boolean) occupy a full 4-byte slot,
// so every int-class access is a 32-bit move.
//
// Unresolved forms emit a resolution site (gen_resolve.h) whose registers
// and operand kinds are recorded in its anchor, so the stub's template is
// the very access the resolved form would have emitted.
//
// An instance access through a null object register faults on the access
// itself and the run-time signal path raises NullPointerException; an access
// through the null constant is not compiled (the method stays interpreted).
#include "codegen/gen/gen_arith.h"
#include "codegen/glue/gen_resolve.h"

namespace {

// Memory-access flags of a field or static move.
constexpr u4 FA_BASE = 9;
constexpr u4 FA_NULLCHECK = 0x10000000;
constexpr u4 FA_QUAD_NIBBLE = 0x00100000;

// The quadruple knows its object reference is non-null.
bool known_nonnull(const quadruple* q) { return (q->flags_b >> 4) == 0xF; }

fieldblock* field_of(const quadruple* q, bool is_static)
{
    if (q->aux != 0)
        return reinterpret_cast<fieldblock*>(q->aux);
    u4 index = is_static ? q->op : q->target;
    auto* mb = reinterpret_cast<methodblock*>(q->context);
    if (index == 0 || mb == nullptr)
        return nullptr;
    return reinterpret_cast<fieldblock*>(mb->clazz->constantpool[index]);
}

u4 cp_index_of(const quadruple* q, bool is_static) { return (is_static ? q->op : q->target) & 0xFFFF; }

u4 access_flags(const quadruple* q, const fieldblock*, bool instance)
{
    u4 f = FA_BASE;
    if (instance && !known_nonnull(q))
        f |= FA_NULLCHECK;
    if (instance && (q->flags_a & 0x0F))
        f |= FA_QUAD_NIBBLE;
    return f;
}

// Address of a static: the value word for 32-bit statics, the 8-byte
// value's address for long and double.
s4 static_address(const fieldblock* fb, bool wide)
{
    return wide ? (s4)fb->value : (s4)(uintptr_t)&fb->value;
}

// The load is already folded into its user's memory operand.
bool folded_into_user(codegen_context* cg, reg_operand* d)
{
    return d->source != nullptr && memop_is_defined(cg, d);
}

u4 hw(int r) { return reg_hw_number[gid(r)]; }

bool null_constant(const reg_operand* obj)
{
    if (!op_is_imm(obj))
        return false;
    cg_service_missing("field access through the null constant");
}

void record_used(codegen_context* cg, int r)
{
    if (r >= 0)
        cg_record_reg(cg, gid(r));
}

// Window handling around a resolution site.
struct site_window {
    int reopen;
};
void site_begin(codegen_context* cg, site_window* w)
{
    w->reopen = (cg->flags & CG_SCHED_WINDOW_OPEN) != 0;
    if (w->reopen)
        cg_close_window(cg);
}
void site_end(codegen_context* cg, site_window* w)
{
    if (w->reopen)
        cg_open_window(cg);
}

// The value on the x87 stack top for a store: answers the pop flag of the
// store and whether the model register is left to the caller to free.
// A value below the top is copied to the top (fld st(k)) and stored with a
// pop, so the model stays unchanged.
// The live-state word of the resolve stubs (see get_fp_live_status) for n
// entries whose double flags are `doubles` (bit i: st(i)).
u4 fp_live_word(u4 n, u4 doubles)
{
    u4 w = (doubles & 0xFF) | n << 8 | n << 24;
    for (u4 i = 0; i < n; i++)
        if (doubles & (1u << i))
            w |= 1u << (24 - n + i);
    return w;
}

int fp_value_to_top(codegen_context* cg, const reg_operand* v, s4* counter, bool* copied, u4* live = nullptr)
{
    s4 c = _get_rd_fp_oprnd(cg, v, 0);
    *counter = c;
    int k = fr_stack_index(cg, c);
    *copied = k != 0;
    if (live != nullptr) {
        // The stack as the site sees it, including a copy pushed below.
        u4 w = get_fp_live_status(cg);
        if (k != 0)
            w = fp_live_word(((w >> 8) & 0xFF) + 1, (w << 1 | (v->type == 'D' ? 1u : 0u)) & 0xFF);
        *live = w;
    }
    if (k != 0) {
        int reopen = (cg->flags & CG_SCHED_WINDOW_OPEN) != 0;
        if (reopen)
            cg_close_window(cg);
        const u1 fld[2] = {FPU_D9, fpu_reg_form(DIGIT_FLD, k)};
        cg_emit_raw(cg, fld, 2);
        if (reopen)
            cg_open_window(cg);
        return 1;
    }
    register_entry* e = &CUR(cg)->fent[fp_slot(c)];
    return e->kind == RK_STACK || e->kind == RK_TEMP;
}

// ---- resolved loads and stores through a base register (0: absolute) ----
void load32(codegen_context* cg, int rd, u4 base, s4 disp, u4 attr)
{
    gen_move_gr_mem(cg, gid(rd), base, 0, 0, disp, 4, attr);
}

// A long value's two words as registers or constants.
struct long_value {
    int lo, hi;       // registers (-1 for constants); hi may be a fresh temporary
    s4 clo, chi;      // constants
    bool constant;
    bool hi_temp;     // hi is a temporary of ours
};

// Reads a long store's value: constants as they are (a constant low word
// with a non-constant high operand takes the sign of the low word), a
// missing high half widened from the low register.
long_value read_long_value(codegen_context* cg, reg_operand* lo, reg_operand* hi, quadruple** slot, u4 excluded)
{
    long_value v = {-1, -1, 0, 0, false, false};
    if (op_is_imm(lo)) {
        v.constant = true;
        v.clo = (s4)lo->value;
        v.chi = (!op_absent(hi) && op_is_imm(hi)) ? (s4)hi->value : (v.clo < 0 ? -1 : 0);
        return v;
    }
    v.lo = gi_read(cg, lo, slot, RM_ALL_INT, excluded);
    if (!op_absent(hi) && !op_is_imm(hi)) {
        v.hi = gi_read(cg, hi, slot, RM_ALL_INT, excluded | rbit(v.lo));
    } else if (!op_absent(hi) && op_is_imm(hi)) {
        v.hi = gi_alloc(cg, RM_ALL_INT, excluded | rbit(v.lo));
        gen_move_gr_i4(cg, gid(v.hi), (s4)hi->value);
        v.hi_temp = true;
    } else {
        v.hi = gi_alloc(cg, RM_ALL_INT, excluded | rbit(v.lo));
        gen_move_gr_gr(cg, gid(v.hi), gid(v.lo));
        gen_shift_gr_i4(cg, SHIFT_SAR, gid(v.hi), 31);
        v.hi_temp = true;
    }
    return v;
}

void done_long_value(codegen_context* cg, long_value* v, reg_operand* lo, reg_operand* hi)
{
    if (v->constant)
        return;
    gi_done(cg, lo, v->lo);
    if (v->hi_temp)
        _free_int_reg(cg, v->hi, 0, 0, 0);
    else
        gi_done(cg, hi, v->hi);
}

}  // namespace

// ===========================================================================
// Resolved forms
// ===========================================================================
int gen_igetfield(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* d = &o->r[0];
    reg_operand* obj = &o->r[2];
    if (null_constant(obj))
        return 1;
    if (op_absent(d) && known_nonnull(q))
        return 0;
    if (!op_absent(d) && folded_into_user(cg, d))
        return 0;
    fieldblock* fb = field_of(q, false);
    int rb = gi_read(cg, obj, slot, RM_ALL_INT, 0);
    int rd = gi_alloc(cg, RM_ALL_INT, 0);
    load32(cg, rd, gid(rb), OBJ_HEADER_SIZE + (s4)fb->value, access_flags(q, fb, true));
    gi_done(cg, obj, rb);
    gi_bind(cg, d, rd);
    return 0;
}

int gen_lgetfield(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* lo = &o->x[0];
    reg_operand* hi = &o->x[1];
    reg_operand* obj = &o->r[2];
    if (null_constant(obj))
        return 1;
    if (op_absent(lo) && known_nonnull(q))
        return 0;
    if (!op_absent(lo) && folded_into_user(cg, lo))
        return 0;
    fieldblock* fb = field_of(q, false);
    s4 disp = OBJ_HEADER_SIZE + (s4)fb->value;
    u4 attr = access_flags(q, fb, true);
    int rb = gi_read(cg, obj, slot, RM_ALL_INT, 0);
    // The base must survive the low load: the low word never goes to its register.
    int rl = gi_alloc(cg, RM_ALL_INT, rbit(rb));
    load32(cg, rl, gid(rb), disp, attr);
    int rh = -1;
    if (!op_absent(hi)) {
        rh = gi_alloc(cg, RM_ALL_INT, rbit(rl) | rbit(rb));
        load32(cg, rh, gid(rb), disp + 4, attr);
    }
    gi_done(cg, obj, rb);
    gi_bind(cg, lo, rl);
    gi_bind(cg, hi, rh);
    return 0;
}

int gen_fgetfield(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* d = &o->x[0];
    reg_operand* obj = &o->r[2];
    if (null_constant(obj))
        return 1;
    if (op_absent(d) && known_nonnull(q))
        return 0;
    if (!op_absent(d) && folded_into_user(cg, d))
        return 0;
    fieldblock* fb = field_of(q, false);
    s4 disp = OBJ_HEADER_SIZE + (s4)fb->value;
    u4 attr = access_flags(q, fb, true);
    int rb = gi_read(cg, obj, slot, RM_ALL_INT, 0);
    if (op_absent(d)) {
        int t = gi_alloc(cg, RM_ALL_INT, 0);   // the access only checks the reference
        load32(cg, t, gid(rb), disp, attr);
        _free_int_reg(cg, t, 0, 0, 0);
    } else if (q->opcode == 63) {
        gen_move_fr8_mm(cg, gid(rb), 0, 0, disp, attr);
        alloc_and_assoc_fp_stack_top_oprnd(cg, d);
    } else {
        gen_move_fr_mm(cg, gid(rb), 0, 0, disp, attr);
        alloc_and_assoc_fp_stack_top_oprnd(cg, d);
    }
    gi_done(cg, obj, rb);
    return 0;
}

int gen_iputfield(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* obj = &o->r[2];
    reg_operand* v = &o->r[4];
    if (null_constant(obj))
        return 1;
    fieldblock* fb = field_of(q, false);
    s4 disp = OBJ_HEADER_SIZE + (s4)fb->value;
    u4 attr = access_flags(q, fb, true);
    int rb = gi_read(cg, obj, slot, RM_ALL_INT, 0);
    if (op_is_imm(v)) {
        gen_move_mm_i4(cg, gid(rb), 0, 0, disp, (s4)v->value, 4, attr);
    } else if (op_same(v, obj)) {
        gen_move_mm_gr(cg, gid(rb), 0, 0, disp, gid(rb), 4, attr);
    } else {
        int rv = gi_read(cg, v, slot, RM_ALL_INT, rbit(rb));
        gen_move_mm_gr(cg, gid(rb), 0, 0, disp, gid(rv), 4, attr);
        gi_done(cg, v, rv);
    }
    gi_done(cg, obj, rb);
    return 0;
}

int gen_lputfield(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* obj = &o->r[2];
    if (null_constant(obj))
        return 1;
    fieldblock* fb = field_of(q, false);
    s4 disp = OBJ_HEADER_SIZE + (s4)fb->value;
    u4 attr = access_flags(q, fb, true);
    int rb = gi_read(cg, obj, slot, RM_ALL_INT, 0);
    long_value v = read_long_value(cg, &o->x[4], &o->x[5], slot, rbit(rb));
    if (v.constant) {
        gen_move_mm_i4(cg, gid(rb), 0, 0, disp, v.clo, 4, attr);
        gen_move_mm_i4(cg, gid(rb), 0, 0, disp + 4, v.chi, 4, attr);
    } else {
        gen_move_mm_gr(cg, gid(rb), 0, 0, disp, gid(v.lo), 4, attr);
        gen_move_mm_gr(cg, gid(rb), 0, 0, disp + 4, gid(v.hi), 4, attr);
    }
    done_long_value(cg, &v, &o->x[4], &o->x[5]);
    gi_done(cg, obj, rb);
    return 0;
}

int gen_fputfield(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* obj = &o->r[2];
    reg_operand* v = &o->x[4];
    if (null_constant(obj))
        return 1;
    fieldblock* fb = field_of(q, false);
    s4 disp = OBJ_HEADER_SIZE + (s4)fb->value;
    u4 attr = access_flags(q, fb, true);
    int rb = gi_read(cg, obj, slot, RM_ALL_INT, 0);
    s4 c;
    bool copied;
    int pop = fp_value_to_top(cg, v, &c, &copied);
    if (q->opcode == 68)
        gen_move_mm_fr8(cg, gid(rb), 0, 0, disp, pop, attr);
    else
        gen_move_mm_fr(cg, gid(rb), 0, 0, disp, pop, attr);
    if (copied || !pop)
        sw_clear(CUR(cg)->fmask, fp_slot(c), SW(RS_LOCKED));
    else
        _free_fp_reg(cg, c, 0);
    gi_done(cg, obj, rb);
    return 0;
}

int gen_igetstatic(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* d = &o->r[0];
    if (op_absent(d) || folded_into_user(cg, d))
        return 0;
    fieldblock* fb = field_of(q, true);
    int rd = gi_alloc(cg, RM_ALL_INT, 0);
    load32(cg, rd, 0, static_address(fb, false), access_flags(q, fb, false));
    gi_bind(cg, d, rd);
    return 0;
}

int gen_lgetstatic(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* lo = &o->r[0];
    reg_operand* hi = &o->r[1];
    if (op_absent(lo) || folded_into_user(cg, lo))
        return 0;
    fieldblock* fb = field_of(q, true);
    s4 addr = static_address(fb, true);
    u4 attr = access_flags(q, fb, false);
    int rl = gi_alloc(cg, RM_ALL_INT, 0);
    load32(cg, rl, 0, addr, attr);
    int rh = -1;
    if (!op_absent(hi)) {
        rh = gi_alloc(cg, RM_ALL_INT, rbit(rl));
        load32(cg, rh, 0, addr + 4, attr);
    }
    gi_bind(cg, lo, rl);
    gi_bind(cg, hi, rh);
    return 0;
}

int gen_fgetstatic(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* d = &o->r[0];
    if (op_absent(d) || folded_into_user(cg, d))
        return 0;
    fieldblock* fb = field_of(q, true);
    u4 attr = access_flags(q, fb, false);
    if (q->opcode == 73)
        gen_move_fr8_mm(cg, 0, 0, 0, static_address(fb, true), attr);
    else
        gen_move_fr_mm(cg, 0, 0, 0, static_address(fb, false), attr);
    alloc_and_assoc_fp_stack_top_oprnd(cg, d);
    return 0;
}

int gen_iputstatic(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* v = &o->r[2];
    fieldblock* fb = field_of(q, true);
    s4 addr = static_address(fb, false);
    u4 attr = access_flags(q, fb, false);
    if (op_is_imm(v)) {
        gen_move_mm_i4(cg, 0, 0, 0, addr, (s4)v->value, 4, attr);
        return 0;
    }
    int rv = gi_read(cg, v, slot, RM_ALL_INT, 0);
    gen_move_mm_gr(cg, 0, 0, 0, addr, gid(rv), 4, attr);
    gi_done(cg, v, rv);
    return 0;
}

int gen_lputstatic(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    fieldblock* fb = field_of(q, true);
    s4 addr = static_address(fb, true);
    u4 attr = access_flags(q, fb, false);
    long_value v = read_long_value(cg, &o->r[2], &o->r[3], slot, 0);
    if (v.constant) {
        gen_move_mm_i4(cg, 0, 0, 0, addr, v.clo, 4, attr);
        gen_move_mm_i4(cg, 0, 0, 0, addr + 4, v.chi, 4, attr);
    } else {
        gen_move_mm_gr(cg, 0, 0, 0, addr, gid(v.lo), 4, attr);
        gen_move_mm_gr(cg, 0, 0, 0, addr + 4, gid(v.hi), 4, attr);
    }
    done_long_value(cg, &v, &o->r[2], &o->r[3]);
    return 0;
}

int gen_fputstatic(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* v = &o->r[2];
    fieldblock* fb = field_of(q, true);
    u4 attr = access_flags(q, fb, false);
    bool single = opc_takes_float(q->opcode);   // a float for the float-typed opcodes, else a double
    s4 c;
    bool copied;
    int pop = fp_value_to_top(cg, v, &c, &copied);
    if (single)
        gen_move_mm_fr(cg, 0, 0, 0, static_address(fb, false), pop, attr);
    else
        gen_move_mm_fr8(cg, 0, 0, 0, static_address(fb, true), pop, attr);
    if (copied || !pop)
        sw_clear(CUR(cg)->fmask, fp_slot(c), SW(RS_LOCKED));
    else
        _free_fp_reg(cg, c, 0);
    return 0;
}

int gen_classfieldload(codegen_context* cg, quadruple**, cg_operands* o)
{
    reg_operand* d = &o->r[0];
    if (op_absent(d))
        return 0;
    int rd = gi_alloc(cg, RM_ALL_INT, 0);
    load32(cg, rd, 0, (s4)(o->r[2].value + o->r[4].value), FA_BASE);
    gi_bind(cg, d, rd);
    return 0;
}

// ===========================================================================
// Unresolved forms
// ===========================================================================
int gen_resolve_igetfield(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* d = &o->r[0];
    reg_operand* obj = &o->r[2];
    if (null_constant(obj))
        return 1;
    u4 a = cp_index_of(q, false);
    int rb = gi_read(cg, obj, slot, RM_ALL_INT, 0);
    int rd = -1;
    if (op_absent(d) && known_nonnull(q))
        a |= RESOLVE_A_NO_RESULT;
    else
        rd = gi_alloc(cg, RM_ALL_INT, 0);
    record_used(cg, rb);
    record_used(cg, rd);
    site_window w;
    site_begin(cg, &w);
    gen_resolution_site(cg, q->opcode, a, get_fp_live_status(cg), (s4)hw(rb), rd < 0 ? -1 : (s4)hw(rd), -1,
                        q->context, 1);
    site_end(cg, &w);
    gi_done(cg, obj, rb);
    gi_bind(cg, d, rd);
    return 0;
}

int gen_resolve_lgetfield(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* lo = &o->x[0];
    reg_operand* hi = &o->x[1];
    reg_operand* obj = &o->r[2];
    if (null_constant(obj))
        return 1;
    u4 a = cp_index_of(q, false);
    int rb = gi_read(cg, obj, slot, RM_ALL_INT, 0);
    int rl = -1, rh = -1;
    if (op_absent(lo) && known_nonnull(q)) {
        a |= RESOLVE_A_NO_RESULT;
    } else {
        // The template's low load must not overwrite the base its high load uses.
        rl = gi_alloc(cg, RM_ALL_INT, rbit(rb));
        if (!op_absent(hi))
            rh = gi_alloc(cg, RM_ALL_INT, rbit(rl) | rbit(rb));
        else
            a |= RESOLVE_A_LOW_ONLY;
    }
    record_used(cg, rb);
    record_used(cg, rl);
    record_used(cg, rh);
    site_window w;
    site_begin(cg, &w);
    gen_resolution_site(cg, q->opcode, a, get_fp_live_status(cg), (s4)hw(rb), rl < 0 ? -1 : (s4)hw(rl),
                        rh < 0 ? -1 : (s4)hw(rh), q->context, rh < 0 ? 1 : 7);
    site_end(cg, &w);
    gi_done(cg, obj, rb);
    gi_bind(cg, lo, rl);
    gi_bind(cg, hi, rh);
    return 0;
}

int gen_resolve_fgetfield(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* d = &o->x[0];
    reg_operand* obj = &o->r[2];
    if (null_constant(obj))
        return 1;
    u4 a = cp_index_of(q, false);
    int rb = gi_read(cg, obj, slot, RM_ALL_INT, 0);
    bool none = op_absent(d);
    if (none)
        a |= RESOLVE_A_NO_RESULT;   // resolution only; the template is empty
    record_used(cg, rb);
    u4 live = get_fp_live_status(cg);
    site_window w;
    site_begin(cg, &w);
    gen_resolution_site(cg, q->opcode, a, live, (s4)hw(rb), none ? -1 : cg->regs.fp_depth, -1, q->context, 1);
    site_end(cg, &w);
    if (none && !known_nonnull(q)) {
        int t = gi_alloc(cg, RM_ALL_INT, 0);   // the null check the load would have made
        load32(cg, t, gid(rb), 0, FA_BASE | FA_NULLCHECK);
        _free_int_reg(cg, t, 0, 0, 0);
    }
    if (!none)
        alloc_and_assoc_fp_stack_top_oprnd(cg, d);
    gi_done(cg, obj, rb);
    return 0;
}

int gen_resolve_iputfield(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* obj = &o->r[2];
    reg_operand* v = &o->r[4];
    if (null_constant(obj))
        return 1;
    int rb = gi_read(cg, obj, slot, RM_ALL_INT, 0);
    s4 b = (s4)hw(rb), c;
    int rv = -1;
    int nops = 1;
    if (op_same(v, obj)) {
        c = b;
    } else if (op_is_imm(v) && _num_of_free_int_regs(cg, RM_ALL_INT & ~rbit(rb)) == 0) {
        b |= (s4)RESOLVE_B_CONST;
        c = (s4)v->value;
        nops = 5;
    } else if (op_is_imm(v)) {
        rv = gi_alloc(cg, RM_ALL_INT, rbit(rb));
        gen_move_gr_i4(cg, gid(rv), (s4)v->value);
        c = (s4)hw(rv);
    } else {
        rv = gi_read(cg, v, slot, RM_ALL_INT, rbit(rb));
        c = (s4)hw(rv);
    }
    record_used(cg, rb);
    record_used(cg, rv);
    site_window w;
    site_begin(cg, &w);
    gen_resolution_site(cg, q->opcode, cp_index_of(q, false), get_fp_live_status(cg), b, c, -1, q->context, nops);
    site_end(cg, &w);
    if (rv >= 0) {
        if (op_is_imm(v))
            _free_int_reg(cg, rv, 0, 0, 0);
        else
            gi_done(cg, v, rv);
    }
    gi_done(cg, obj, rb);
    return 0;
}

int gen_resolve_lputfield(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* obj = &o->r[2];
    if (null_constant(obj))
        return 1;
    int rb = gi_read(cg, obj, slot, RM_ALL_INT, 0);
    long_value v = read_long_value(cg, &o->x[4], &o->x[5], slot, rbit(rb));
    s4 b = (s4)hw(rb);
    s4 c, d;
    if (v.constant) {
        b |= (s4)RESOLVE_B_CONST;
        c = v.clo;
        d = v.chi;
    } else {
        c = (s4)hw(v.lo);
        d = (s4)hw(v.hi);
        record_used(cg, v.lo);
        record_used(cg, v.hi);
    }
    record_used(cg, rb);
    site_window w;
    site_begin(cg, &w);
    gen_resolution_site(cg, q->opcode, cp_index_of(q, false), get_fp_live_status(cg), b, c, d, q->context,
                        v.constant ? 15 : 7);
    site_end(cg, &w);
    done_long_value(cg, &v, &o->x[4], &o->x[5]);
    gi_done(cg, obj, rb);
    return 0;
}

int gen_resolve_fputfield(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* obj = &o->r[2];
    reg_operand* v = &o->x[4];
    if (null_constant(obj))
        return 1;
    int rb = gi_read(cg, obj, slot, RM_ALL_INT, 0);
    s4 c;
    bool copied;
    u4 live;
    int pop = fp_value_to_top(cg, v, &c, &copied, &live);
    record_used(cg, rb);
    site_window w;
    site_begin(cg, &w);
    gen_resolution_site(cg, q->opcode, cp_index_of(q, false), live, (s4)hw(rb), fr_stack_index(cg, c), pop,
                        q->context, 1);
    site_end(cg, &w);
    if (copied || !pop)
        sw_clear(CUR(cg)->fmask, fp_slot(c), SW(RS_LOCKED));
    else
        _free_fp_reg(cg, c, 0);
    gi_done(cg, obj, rb);
    return 0;
}

int gen_resolve_igetstatic(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* d = &o->r[0];
    u4 a = cp_index_of(q, true);
    int rd = -1;
    if (op_absent(d))
        a |= RESOLVE_A_NO_RESULT;
    else
        rd = gi_alloc(cg, RM_ALL_INT, 0);
    record_used(cg, rd);
    site_window w;
    site_begin(cg, &w);
    gen_resolution_site(cg, q->opcode, a, get_fp_live_status(cg), -1, rd < 0 ? -1 : (s4)hw(rd), -1, q->context, 1);
    site_end(cg, &w);
    gi_bind(cg, d, rd);
    return 0;
}

int gen_resolve_lgetstatic(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* lo = &o->r[0];
    reg_operand* hi = &o->r[1];
    u4 a = cp_index_of(q, true);
    int rl = -1, rh = -1;
    if (op_absent(lo)) {
        a |= RESOLVE_A_NO_RESULT;
    } else {
        rl = gi_alloc(cg, RM_ALL_INT, 0);
        if (!op_absent(hi))
            rh = gi_alloc(cg, RM_ALL_INT, rbit(rl));
        else
            a |= RESOLVE_A_LOW_ONLY;
    }
    record_used(cg, rl);
    record_used(cg, rh);
    site_window w;
    site_begin(cg, &w);
    gen_resolution_site(cg, q->opcode, a, get_fp_live_status(cg), -1, rl < 0 ? -1 : (s4)hw(rl),
                        rh < 0 ? -1 : (s4)hw(rh), q->context, rh < 0 ? 1 : 7);
    site_end(cg, &w);
    gi_bind(cg, lo, rl);
    gi_bind(cg, hi, rh);
    return 0;
}

int gen_resolve_fgetstatic(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* d = &o->r[0];
    u4 a = cp_index_of(q, true);
    bool none = op_absent(d);
    if (none)
        a |= RESOLVE_A_NO_RESULT;
    u4 live = get_fp_live_status(cg);
    site_window w;
    site_begin(cg, &w);
    gen_resolution_site(cg, q->opcode, a, live, -1, none ? -1 : cg->regs.fp_depth, -1, q->context, 1);
    site_end(cg, &w);
    if (!none)
        alloc_and_assoc_fp_stack_top_oprnd(cg, d);
    return 0;
}

int gen_resolve_iputstatic(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* v = &o->r[2];
    s4 b = 0, c;
    int rv = -1;
    if (op_is_imm(v)) {
        b = 1;
        c = (s4)v->value;
    } else {
        rv = gi_read(cg, v, slot, RM_ALL_INT, 0);
        c = (s4)hw(rv);
        record_used(cg, rv);
    }
    site_window w;
    site_begin(cg, &w);
    gen_resolution_site(cg, q->opcode, cp_index_of(q, true), get_fp_live_status(cg), b, c, -1, q->context,
                        b ? 5 : 1);
    site_end(cg, &w);
    if (rv >= 0)
        gi_done(cg, v, rv);
    return 0;
}

int gen_resolve_lputstatic(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    long_value v = read_long_value(cg, &o->r[2], &o->r[3], slot, 0);
    s4 b = v.constant ? 1 : 0;
    s4 c = v.constant ? v.clo : (s4)hw(v.lo);
    s4 d = v.constant ? v.chi : (s4)hw(v.hi);
    if (!v.constant) {
        record_used(cg, v.lo);
        record_used(cg, v.hi);
    }
    site_window w;
    site_begin(cg, &w);
    gen_resolution_site(cg, q->opcode, cp_index_of(q, true), get_fp_live_status(cg), b, c, d, q->context,
                        v.constant ? 15 : 7);
    site_end(cg, &w);
    done_long_value(cg, &v, &o->r[2], &o->r[3]);
    return 0;
}

int gen_resolve_fputstatic(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* v = &o->r[2];
    s4 c;
    bool copied;
    u4 live;
    int pop = fp_value_to_top(cg, v, &c, &copied, &live);
    site_window w;
    site_begin(cg, &w);
    gen_resolution_site(cg, q->opcode, cp_index_of(q, true), live, -1, fr_stack_index(cg, c), pop, q->context, 1);
    site_end(cg, &w);
    if (copied || !pop)
        sw_clear(CUR(cg)->fmask, fp_slot(c), SW(RS_LOCKED));
    else
        _free_fp_reg(cg, c, 0);
    return 0;
}
