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
// through the null constant (a propagated aconst_null) is replaced by an
// unconditional raise of NullPointerException.
#include "codegen/gen/gen_arith.h"
#include "codegen/glue/gen_resolve.h"

namespace {

// Memory-access flags of a field or static move.
constexpr u4 FA_BASE = 9;
constexpr u4 FA_NULLCHECK = 0x10000000;
constexpr u4 FA_QUAD_NIBBLE = 0x00100000;
constexpr u4 THROW_NULL_POINTER = 0xE000000Du;

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

// The object is the null constant: only the raise is emitted.
bool raised_null_constant(codegen_context* cg, const reg_operand* obj)
{
    if (!op_is_imm(obj))
        return false;
    _gen_test_and_throw_exception(cg, COND_ALWAYS, 0, 0, 0, 0, 0, THROW_NULL_POINTER, nullptr, 0);
    return true;
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

// ---- access kinds ----
// A field access is one of four shapes (resolved load, resolved store, and
// the resolution site of each) applied to a kind: the value's class and
// whether the field lives in an object or in its field block.
enum field_class : u1 { FC_INT, FC_LONG, FC_FP };

struct field_kind {
    field_class cls;
    bool instance;
};

// Operand positions: an instance access has the object in r[2] and its long
// or x87 result/value in the second set-up; a static access has its value
// right after the result.
reg_operand* result_of(cg_operands* o, field_kind k) { return k.instance && k.cls != FC_INT ? o->x : o->r; }
reg_operand* value_of(cg_operands* o, field_kind k) { return result_of(o, k) + (k.instance ? 4 : 2); }

// An x87 access moves a double for the double-typed opcodes, else a float.
bool fp_double(const quadruple* q)
{
    return q->opcode == OPC_DGETFIELD || q->opcode == OPC_DPUTFIELD || q->opcode == OPC_DGETSTATIC ||
           q->opcode == OPC_DPUTSTATIC;
}

// The field's displacement from its base register (the object), or the
// absolute address of a static.
s4 field_disp(const quadruple* q, const fieldblock* fb, field_kind k)
{
    if (k.instance)
        return OBJ_HEADER_SIZE + (s4)fb->value;
    return static_address(fb, k.cls == FC_LONG || (k.cls == FC_FP && fp_double(q)));
}

// Releases the x87 value of a store (see fp_value_to_top).
void fp_store_done(codegen_context* cg, s4 c, bool copied, int pop)
{
    if (copied || !pop)
        sw_clear(CUR(cg)->fmask, fp_slot(c), SW(RS_LOCKED));
    else
        _free_fp_reg(cg, c, 0);
}

// A resolution site with the scheduling window closed around it; a null
// `live` reads the x87 live state once the window is closed.
void emit_site(codegen_context* cg, const quadruple* q, u4 a, const u4* live, s4 b, s4 c, s4 d, int nops)
{
    site_window w;
    site_begin(cg, &w);
    gen_resolution_site(cg, q->opcode, a, live != nullptr ? *live : get_fp_live_status(cg), b, c, d, q->context,
                        nops);
    site_end(cg, &w);
}

// ---- resolved load ----
int field_load(codegen_context* cg, quadruple** slot, cg_operands* o, field_kind k)
{
    quadruple* q = *slot;
    reg_operand* d = result_of(o, k);
    reg_operand* obj = &o->r[2];
    if (k.instance) {
        if (raised_null_constant(cg, obj))
            return 0;
        if (op_absent(d) && known_nonnull(q))
            return 0;
        if (!op_absent(d) && folded_into_user(cg, d))
            return 0;
    } else if (op_absent(d) || folded_into_user(cg, d)) {
        return 0;
    }
    fieldblock* fb = field_of(q, !k.instance);
    s4 disp = field_disp(q, fb, k);
    u4 attr = access_flags(q, fb, k.instance);
    int rb = k.instance ? gi_read(cg, obj, slot, RM_ALL_INT, 0) : -1;
    u4 base = k.instance ? gid(rb) : 0;
    int rl = -1, rh = -1;
    if (k.cls == FC_INT) {
        rl = gi_alloc(cg, RM_ALL_INT, 0);
        load32(cg, rl, base, disp, attr);
    } else if (k.cls == FC_LONG) {
        // The base must survive the low load: the low word never goes to its register.
        u4 excluded = k.instance ? rbit(rb) : 0;
        rl = gi_alloc(cg, RM_ALL_INT, excluded);
        load32(cg, rl, base, disp, attr);
        if (!op_absent(d + 1)) {
            rh = gi_alloc(cg, RM_ALL_INT, rbit(rl) | excluded);
            load32(cg, rh, base, disp + 4, attr);
        }
    } else if (op_absent(d)) {
        int t = gi_alloc(cg, RM_ALL_INT, 0);   // the access only checks the reference
        load32(cg, t, base, disp, attr);
        _free_int_reg(cg, t, 0, 0, 0);
    } else {
        if (fp_double(q))
            gen_move_fr8_mm(cg, base, 0, 0, disp, attr);
        else
            gen_move_fr_mm(cg, base, 0, 0, disp, attr);
        alloc_and_assoc_fp_stack_top_oprnd(cg, d);
    }
    if (k.instance)
        gi_done(cg, obj, rb);
    if (k.cls != FC_FP) {
        gi_bind(cg, d, rl);
        if (k.cls == FC_LONG)
            gi_bind(cg, d + 1, rh);
    }
    return 0;
}

// ---- resolved store ----
int field_store(codegen_context* cg, quadruple** slot, cg_operands* o, field_kind k)
{
    quadruple* q = *slot;
    reg_operand* obj = &o->r[2];
    reg_operand* v = value_of(o, k);
    if (k.instance && raised_null_constant(cg, obj))
        return 0;
    fieldblock* fb = field_of(q, !k.instance);
    s4 disp = field_disp(q, fb, k);
    u4 attr = access_flags(q, fb, k.instance);
    int rb = k.instance ? gi_read(cg, obj, slot, RM_ALL_INT, 0) : -1;
    u4 base = k.instance ? gid(rb) : 0;
    u4 excluded = k.instance ? rbit(rb) : 0;
    if (k.cls == FC_INT) {
        if (op_is_imm(v)) {
            gen_move_mm_i4(cg, base, 0, 0, disp, (s4)v->value, 4, attr);
        } else if (k.instance && op_same(v, obj)) {
            gen_move_mm_gr(cg, base, 0, 0, disp, base, 4, attr);
        } else {
            int rv = gi_read(cg, v, slot, RM_ALL_INT, excluded);
            gen_move_mm_gr(cg, base, 0, 0, disp, gid(rv), 4, attr);
            gi_done(cg, v, rv);
        }
    } else if (k.cls == FC_LONG) {
        long_value lv = read_long_value(cg, v, v + 1, slot, excluded);
        if (lv.constant) {
            gen_move_mm_i4(cg, base, 0, 0, disp, lv.clo, 4, attr);
            gen_move_mm_i4(cg, base, 0, 0, disp + 4, lv.chi, 4, attr);
        } else {
            gen_move_mm_gr(cg, base, 0, 0, disp, gid(lv.lo), 4, attr);
            gen_move_mm_gr(cg, base, 0, 0, disp + 4, gid(lv.hi), 4, attr);
        }
        done_long_value(cg, &lv, v, v + 1);
    } else {
        s4 c;
        bool copied;
        int pop = fp_value_to_top(cg, v, &c, &copied);
        if (fp_double(q))
            gen_move_mm_fr8(cg, base, 0, 0, disp, pop, attr);
        else
            gen_move_mm_fr(cg, base, 0, 0, disp, pop, attr);
        fp_store_done(cg, c, copied, pop);
    }
    if (k.instance)
        gi_done(cg, obj, rb);
    return 0;
}

// ---- resolution site of a load ----
int field_resolve_load(codegen_context* cg, quadruple** slot, cg_operands* o, field_kind k)
{
    quadruple* q = *slot;
    reg_operand* d = result_of(o, k);
    reg_operand* obj = &o->r[2];
    if (k.instance && raised_null_constant(cg, obj))
        return 0;
    u4 a = cp_index_of(q, !k.instance);
    int rb = k.instance ? gi_read(cg, obj, slot, RM_ALL_INT, 0) : -1;
    s4 b = k.instance ? (s4)hw(rb) : -1;
    if (k.cls == FC_FP) {
        bool none = op_absent(d);
        if (none)
            a |= RESOLVE_A_NO_RESULT;   // resolution only; the template is empty
        record_used(cg, rb);
        u4 live = get_fp_live_status(cg);
        emit_site(cg, q, a, &live, b, none ? -1 : cg->regs.fp_depth, -1, 1);
        if (k.instance && none && !known_nonnull(q)) {
            int t = gi_alloc(cg, RM_ALL_INT, 0);   // the null check the load would have made
            load32(cg, t, gid(rb), 0, FA_BASE | FA_NULLCHECK);
            _free_int_reg(cg, t, 0, 0, 0);
        }
        if (!none)
            alloc_and_assoc_fp_stack_top_oprnd(cg, d);
        if (k.instance)
            gi_done(cg, obj, rb);
        return 0;
    }
    int rl = -1, rh = -1;
    if (op_absent(d) && (!k.instance || known_nonnull(q))) {
        a |= RESOLVE_A_NO_RESULT;
    } else if (k.cls == FC_INT) {
        rl = gi_alloc(cg, RM_ALL_INT, 0);
    } else {
        // The template's low load must not overwrite the base its high load uses.
        u4 excluded = k.instance ? rbit(rb) : 0;
        rl = gi_alloc(cg, RM_ALL_INT, excluded);
        if (!op_absent(d + 1))
            rh = gi_alloc(cg, RM_ALL_INT, rbit(rl) | excluded);
        else
            a |= RESOLVE_A_LOW_ONLY;
    }
    record_used(cg, rb);
    record_used(cg, rl);
    record_used(cg, rh);
    emit_site(cg, q, a, nullptr, b, rl < 0 ? -1 : (s4)hw(rl), rh < 0 ? -1 : (s4)hw(rh), rh < 0 ? 1 : 7);
    if (k.instance)
        gi_done(cg, obj, rb);
    gi_bind(cg, d, rl);
    if (k.cls == FC_LONG)
        gi_bind(cg, d + 1, rh);
    return 0;
}

// ---- resolution site of a store ----
// A constant value travels in the site: an instance site flags it in its base
// operand, a static site has 1 for its base.
int field_resolve_store(codegen_context* cg, quadruple** slot, cg_operands* o, field_kind k)
{
    quadruple* q = *slot;
    reg_operand* obj = &o->r[2];
    reg_operand* v = value_of(o, k);
    if (k.instance && raised_null_constant(cg, obj))
        return 0;
    u4 a = cp_index_of(q, !k.instance);
    int rb = k.instance ? gi_read(cg, obj, slot, RM_ALL_INT, 0) : -1;
    s4 b = k.instance ? (s4)hw(rb) : 0;
    s4 const_b = k.instance ? b | (s4)RESOLVE_B_CONST : 1;
    if (k.cls == FC_FP) {
        s4 c;
        bool copied;
        u4 live;
        int pop = fp_value_to_top(cg, v, &c, &copied, &live);
        record_used(cg, rb);
        emit_site(cg, q, a, &live, k.instance ? b : -1, fr_stack_index(cg, c), pop, 1);
        fp_store_done(cg, c, copied, pop);
    } else if (k.cls == FC_LONG) {
        long_value lv = read_long_value(cg, v, v + 1, slot, k.instance ? rbit(rb) : 0);
        if (!lv.constant) {
            record_used(cg, lv.lo);
            record_used(cg, lv.hi);
        }
        record_used(cg, rb);
        emit_site(cg, q, a, nullptr, lv.constant ? const_b : b, lv.constant ? lv.clo : (s4)hw(lv.lo),
                  lv.constant ? lv.chi : (s4)hw(lv.hi), lv.constant ? 15 : 7);
        done_long_value(cg, &lv, v, v + 1);
    } else {
        s4 c;
        int rv = -1;
        bool temp = false, inline_const = false;
        if (k.instance && op_same(v, obj)) {
            c = b;
        } else if (op_is_imm(v) && (!k.instance || _num_of_free_int_regs(cg, RM_ALL_INT & ~rbit(rb)) == 0)) {
            b = const_b;
            c = (s4)v->value;
            inline_const = true;
        } else if (op_is_imm(v)) {
            // An instance site keeps its constant in a register while one is free.
            rv = gi_alloc(cg, RM_ALL_INT, rbit(rb));
            gen_move_gr_i4(cg, gid(rv), (s4)v->value);
            c = (s4)hw(rv);
            temp = true;
        } else {
            rv = gi_read(cg, v, slot, RM_ALL_INT, k.instance ? rbit(rb) : 0);
            c = (s4)hw(rv);
        }
        record_used(cg, rb);
        record_used(cg, rv);
        emit_site(cg, q, a, nullptr, b, c, -1, inline_const ? 5 : 1);
        if (temp)
            _free_int_reg(cg, rv, 0, 0, 0);
        else if (rv >= 0)
            gi_done(cg, v, rv);
    }
    if (k.instance)
        gi_done(cg, obj, rb);
    return 0;
}

constexpr field_kind INT_FIELD = {FC_INT, true}, LONG_FIELD = {FC_LONG, true}, FP_FIELD = {FC_FP, true};
constexpr field_kind INT_STATIC = {FC_INT, false}, LONG_STATIC = {FC_LONG, false}, FP_STATIC = {FC_FP, false};

}  // namespace

// The dispatcher's entry points: each is a shape applied to an access kind.
#define FIELD_GENERATORS(X)                                     \
    X(gen_igetfield, field_load, INT_FIELD)                     \
    X(gen_lgetfield, field_load, LONG_FIELD)                    \
    X(gen_fgetfield, field_load, FP_FIELD)                      \
    X(gen_igetstatic, field_load, INT_STATIC)                   \
    X(gen_lgetstatic, field_load, LONG_STATIC)                  \
    X(gen_fgetstatic, field_load, FP_STATIC)                    \
    X(gen_iputfield, field_store, INT_FIELD)                    \
    X(gen_lputfield, field_store, LONG_FIELD)                   \
    X(gen_fputfield, field_store, FP_FIELD)                     \
    X(gen_iputstatic, field_store, INT_STATIC)                  \
    X(gen_lputstatic, field_store, LONG_STATIC)                 \
    X(gen_fputstatic, field_store, FP_STATIC)                   \
    X(gen_resolve_igetfield, field_resolve_load, INT_FIELD)     \
    X(gen_resolve_lgetfield, field_resolve_load, LONG_FIELD)    \
    X(gen_resolve_fgetfield, field_resolve_load, FP_FIELD)      \
    X(gen_resolve_igetstatic, field_resolve_load, INT_STATIC)   \
    X(gen_resolve_lgetstatic, field_resolve_load, LONG_STATIC)  \
    X(gen_resolve_fgetstatic, field_resolve_load, FP_STATIC)    \
    X(gen_resolve_iputfield, field_resolve_store, INT_FIELD)    \
    X(gen_resolve_lputfield, field_resolve_store, LONG_FIELD)   \
    X(gen_resolve_fputfield, field_resolve_store, FP_FIELD)     \
    X(gen_resolve_iputstatic, field_resolve_store, INT_STATIC)  \
    X(gen_resolve_lputstatic, field_resolve_store, LONG_STATIC) \
    X(gen_resolve_fputstatic, field_resolve_store, FP_STATIC)

#define FIELD_ENTRY(name, shape, kind) \
    int name(codegen_context* cg, quadruple** slot, cg_operands* o) { return shape(cg, slot, o, kind); }
FIELD_GENERATORS(FIELD_ENTRY)
#undef FIELD_ENTRY
#undef FIELD_GENERATORS

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

