// Transformation of the quadruples into shapes that suit IA-32 code
// generation, late in the optimizer:
//   - integer multiplication by a constant becomes shifts with at most one
//     addition or subtraction (not on processors of type 5);
//   - int and long two-operand operations become two-address operations
//     (destination equal to the first operand) with a copy in front where
//     needed, or the form t = b; x = a; x = x op t when x is b;
//   - an operation that may raise inside a try range writes a temporary
//     first, so that its destination keeps the old value when it raises;
//   - integer absolute value reads a separate input local.
// Temporaries are new locals, made on first need and reused within the run.
// Slots come from neighbouring no-operations or from InsertNOP_codeattr.
//
// Chains are not kept: when anything changed, reaching definitions are
// marked stale.  The float and double operations keep their three-address
// form here (the register manager keeps their values on the x87 stack).
#include <string.h>

#include "driver/driver.h"
#include "driver/vmlink.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"

namespace {

constexpr s4 PROCESSOR_TYPE_NO_SHIFTS = 5;      // multiplication is fast: keep it

struct arch_run {
    method_compile_context* m;
    dataflow_pass_context* pc;
    s4 temp_one;          // one-slot two-address / try-range temporary
    s4 temp_two;          // two-slot temporary
    s4 temp_abs;          // absolute-value input
    s4 temp_mul[2];       // multiplication temporaries
    bool changed;
};

s4 new_local(arch_run& r, u4 slots)
{
    s4 n = r.m->local_count;
    r.m->local_count = static_cast<u2>(n + static_cast<s4>(slots));
    return n;
}
s4 temp_for(arch_run& r, u1 type)
{
    s4& t = df_two_slot_type(type) ? r.temp_two : r.temp_one;
    if (t < 0)
        t = new_local(r, df_two_slot_type(type) ? 2 : 1);
    return t;
}
s4 mul_temp(arch_run& r, int which)
{
    if (r.temp_mul[which] < 0)
        r.temp_mul[which] = new_local(r, 1);
    return r.temp_mul[which];
}

bool is_const_small(const quad_operand& o)
{
    u1 k = o.kind & QK_KIND_MASK;
    return k == QK_IMMEDIATE || k == QK_NEG_IMMEDIATE;
}
bool is_const(const quad_operand& o)
{
    u1 k = o.kind & QK_KIND_MASK;
    return k == QK_IMMEDIATE || k == QK_NEG_IMMEDIATE || k == QK_CONSTANT || k == QK_CONST_PTR;
}
bool is_local(const quad_operand& o) { return (o.kind & QK_KIND_MASK) == QK_VARIABLE; }
s4 small_value(const quad_operand& o)
{
    return (o.kind & QK_KIND_MASK) == QK_IMMEDIATE ? static_cast<s4>(o.number) : -static_cast<s4>(o.number);
}
bool same_local(const quad_operand& a, const quad_operand& b)
{
    return is_local(a) && is_local(b) && a.number == b.number;
}
// Slots of two locals overlap: equal, or one apart with the lower a long/double.
bool overlap(const quad_operand& a, const quad_operand& b)
{
    if (!is_local(a) || !is_local(b))
        return false;
    if (a.number == b.number)
        return true;
    const quad_operand& lo = a.number < b.number ? a : b;
    const quad_operand& hi = a.number < b.number ? b : a;
    return hi.number == lo.number + 1 && df_two_slot_type(lo.kind >> QT_SHIFT);
}
bool commutative(u2 op) { return op == DF_OP_ADD || (op >= DF_OP_MUL && op <= DF_OP_MIN); }

void set_operand(quad_operand& o, u1 kind_byte, u2 number)
{
    o.kind = kind_byte;
    o.flags = 0;
    o.number = number;
    o.reg = 0;
    o.second = 0;
    o.pad6 = 0;
    o.value = 0;
}
void clear_operand(quad_operand& o) { set_operand(o, 0, QUAD_NO_NUMBER); }
u1 kind_byte(u1 kind, u1 type) { return static_cast<u1>(kind | type << QT_SHIFT); }

// Fills slot q with `dst = src` of the type (a copy, or a constant load when
// src is a constant), raising no exception.
void make_copy(quadruple* q, const quadruple* model, u1 type, const quad_operand& dst, const quad_operand& src)
{
    memset(q, 0, sizeof *q);
    bool constant = is_const(src);
    q->opcode = constant ? opc_table_type[type].constant : opc_table_type[type].move;
    q->opcount = static_cast<u2>(1 | DF_CANNOT_RAISE << 12);
    set_operand(q->result, dst.kind, dst.number);
    set_operand(q->src1, src.kind, src.number);
    clear_operand(q->auxop);
    clear_operand(q->src2);
    if (constant)
        q->value = (src.kind & QK_KIND_MASK) == QK_CONSTANT || (src.kind & QK_KIND_MASK) == QK_CONST_PTR
                       ? model->value
                       : static_cast<u4>(small_value(src));
    q->context = model->context;
    q->body = model->body;
}

bool reusable(const quadruple* q) { return q->opcode == OPC_OTHER && quad_kind_nibble(q) == OTHER_NOP_DELETED; }

// Makes a free slot right before position k of the block; returns the new
// position of the quadruple that stood at k (-1 when memory failed).
s4 slot_before(arch_run& r, bbattr* b, u4 k)
{
    if (k > 0 && reusable(b->catbl[k - 1]))
        return static_cast<s4>(k);
    u4 shift;
    if (InsertNOP_codeattr(r.m, b->id, k, 1, 0, &shift) == 0)
        return -1;
    return static_cast<s4>(k + shift);
}
// Makes a free slot right after position k; its position, or -1.
s4 slot_after(arch_run& r, bbattr* b, u4 k)
{
    if (k + 1 < b->quad_count && reusable(b->catbl[k + 1]))
        return static_cast<s4>(k + 1);
    u4 shift;
    if (InsertNOP_codeattr(r.m, b->id, k, 0, 1, &shift) == 0)
        return -1;
    return static_cast<s4>(k + 1);
}

bool in_try(const bbattr* b) { return (b->flags & BB_IN_TRY) != 0; }
bool short_lived(const arch_run& r, const quad_operand& o)
{
    return is_local(o) && df_local_in_set(r.pc->short_count, r.pc->short_set, o.number);
}

// x = a op b on positions; returns the position of the operation after the
// rewrite, or -1 when memory failed.
s4 two_address(arch_run& r, bbattr* b, u4 k)
{
    quadruple* q = b->catbl[k];
    if (df_shape(q) != 2 || !is_local(q->result) || (q->flags_b & QB_NO_CODE))
        return static_cast<s4>(k);
    u1 type = q->result.kind >> QT_SHIFT;
    bool a_ok = is_local(q->src1) || is_const(q->src1);
    bool b_ok = is_local(q->src2) || is_const(q->src2);
    if (!a_ok || !b_ok)
        return static_cast<s4>(k);
    if (orva_processor_type == PROCESSOR_TYPE_NO_SHIFTS && q->opcode == OPC_IOP2
        && (q->op == DF_OP_ADD || (q->op == DF_OP_SUB && is_local(q->src1) && is_const_small(q->src2))))
        return static_cast<s4>(k);
    // An operation that may raise inside a try range must not write its
    // destination before it completes: it writes a temporary, copied after.
    if (!same_local(q->result, q->src1) && df_exception_class(q) != DF_CANNOT_RAISE && in_try(b)) {
        s4 after = slot_after(r, b, k);
        if (after < 0)
            return -1;
        quad_operand t = q->result;
        t.number = static_cast<u2>(temp_for(r, type));
        make_copy(b->catbl[after], q, type, q->result, t);
        q->result.number = t.number;
        q->result.flags = 0;
        r.changed = true;
    }
    if (same_local(q->result, q->src1))
        return static_cast<s4>(k);
    bool temp_form = false;
    if (same_local(q->result, q->src2)) {
        if (commutative(q->op)) {
            quad_operand a = q->src1;
            q->src1 = q->src2;
            q->src2 = a;
            r.changed = true;
            return static_cast<s4>(k);
        }
        temp_form = true;
    } else if (overlap(q->src2, q->result)) {
        temp_form = true;
    }
    if (temp_form) {
        // t = b; x = a; x = x op t (each slot filled before the next is made)
        quad_operand t = q->src2;
        t.kind = kind_byte(QK_VARIABLE, type);
        t.number = static_cast<u2>(temp_for(r, type));
        s4 at = slot_before(r, b, k);
        if (at < 0)
            return -1;
        k = static_cast<u4>(at);
        make_copy(b->catbl[k - 1], q, type, t, q->src2);
        at = slot_before(r, b, k);
        if (at < 0)
            return -1;
        k = static_cast<u4>(at);
        make_copy(b->catbl[k - 1], q, type, q->result, q->src1);
        q->src1 = q->result;
        q->src1.flags = 0;
        q->src2 = t;
        q->src2.flags = 0;
        r.changed = true;
        return static_cast<s4>(k);
    }
    if (commutative(q->op) && !df_two_slot_type(type) && is_local(q->src2)
        && !(is_local(q->src1) && q->src1.number >= q->src2.number)) {
        quad_operand a = q->src1;
        q->src1 = q->src2;
        q->src2 = a;
    }
    s4 at = slot_before(r, b, k);
    if (at < 0)
        return -1;
    k = static_cast<u4>(at);
    quadruple* copy = b->catbl[k - 1];
    make_copy(copy, q, type, q->result, q->src1);
    // A short-lived compiler local a written just before the copy: its
    // producer writes x directly and the copy becomes a = x.
    if (k >= 2 && is_local(q->src1) && short_lived(r, q->src1) && !short_lived(r, q->result)) {
        quadruple* p = b->catbl[k - 2];
        u1 pop = p->opcode;
        if (!df_deleted(p) && pop != OPC_IOP2 && pop != OPC_LOP2 && pop != OPC_FOP2 && pop != OPC_DOP2
            && !(opc_info_quadruple[pop] & OPA_LOCAL_COPY) && df_shape(p) != QC_SRC_LIST
            && same_local(p->result, q->src1) && !(df_opnd(&p->result)->kind & DFO_CONSUMED)
            && (p->result.kind >> QT_SHIFT) == type && (q->src1.kind >> QT_SHIFT) == type) {
            u2 a = p->result.number;
            p->result.number = q->result.number;
            copy->result.number = a;
            copy->src1.number = q->result.number;
        }
    }
    q->src1 = q->result;
    q->src1.flags = 0;
    r.changed = true;
    return static_cast<s4>(k);
}

// x = a * c: shifts with at most one addition or subtraction.  Returns the
// position of the last quadruple of the rewrite, or -1.
s4 multiply(arch_run& r, bbattr* b, u4 k)
{
    quadruple* q = b->catbl[k];
    if (df_shape(q) != 2 || !is_local(q->result) || (q->result.kind >> QT_SHIFT) != QT_INT)
        return static_cast<s4>(k);
    quad_operand a, c;
    if (is_local(q->src1) && is_const_small(q->src2)) {
        a = q->src1;
        c = q->src2;
    } else if (is_local(q->src2) && is_const_small(q->src1)) {
        a = q->src2;
        c = q->src1;
    } else {
        return static_cast<s4>(k);
    }
    u1 shifts[32];
    int8_t signs[32];
    int n = decompose_multiplier(shifts, signs, static_cast<u4>(small_value(c)));
    if (n < 1 || n > 2 || (n == 2 && signs[1] < 0))
        return static_cast<s4>(k);
    quadruple model = *q;
    quad_operand x = q->result;
    auto shl = [&](quadruple* t, const quad_operand& dst, const quad_operand& src, u1 amount) {
        make_copy(t, &model, QT_INT, dst, src);
        if (amount == 0)
            return;
        t->opcode = OPC_IOP2;
        t->op = DF_OP_SHL;
        t->opcount = static_cast<u2>(2 | DF_CANNOT_RAISE << 12);
        set_operand(t->src2, kind_byte(QK_IMMEDIATE, QT_INT), amount);
    };
    if (n == 1) {
        if (shifts[0] == 0 && signs[0] < 0) {
            q->opcode = OPC_IOP1;
            q->op = static_cast<u2>(DF_OP_NEG);
            q->src1 = a;
            q->src1.flags = 0;
            clear_operand(q->src2);
            q->opcount = static_cast<u2>((q->opcount & ~QC_SRC_MASK) | 1);
        } else {
            shl(q, x, a, shifts[0]);
        }
        if (signs[0] < 0 && shifts[0] > 0) {
            s4 after = slot_after(r, b, k);
            if (after < 0)
                return -1;
            quadruple* neg = b->catbl[after];
            make_copy(neg, &model, QT_INT, x, x);
            neg->opcode = OPC_IOP1;
            neg->op = static_cast<u2>(DF_OP_NEG);
        }
        r.changed = true;
        return static_cast<s4>(k);
    }
    // t = a SHL p1; u = a SHL p0; x = t ADD/SUB u, where a shift by 0 is
    // left out and reads a itself.  t is x unless x is a; u is always a
    // temporary (x is a or t).
    quad_operand t = x, u = x;
    if (same_local(x, a))
        t.number = static_cast<u2>(mul_temp(r, 0));
    u.number = static_cast<u2>(mul_temp(r, 1));
    quad_operand t_src = shifts[1] == 0 ? a : t;
    quad_operand u_src = shifts[0] == 0 ? a : u;
    const quad_operand* dst[2] = {&t, &u};
    const u1 amount[2] = {shifts[1], shifts[0]};
    for (int j = 0; j < 2; j++) {
        if (amount[j] == 0)
            continue;
        s4 at = slot_before(r, b, k);
        if (at < 0)
            return -1;
        k = static_cast<u4>(at);
        shl(b->catbl[k - 1], *dst[j], a, amount[j]);
    }
    q->op = static_cast<u2>(signs[0] < 0 ? DF_OP_SUB : DF_OP_ADD);
    q->src1 = t_src;
    q->src2 = u_src;
    q->src1.flags = q->src2.flags = 0;
    q->opcount = static_cast<u2>((q->opcount & 0x0FFF) | DF_CANNOT_RAISE << 12);
    r.changed = true;
    return static_cast<s4>(k);
}

// x = ABS x on a local: the operation reads a copy.
s4 absolute(arch_run& r, bbattr* b, u4 k)
{
    quadruple* q = b->catbl[k];
    if (!same_local(q->result, q->src1) || (q->result.kind >> QT_SHIFT) != QT_INT)
        return static_cast<s4>(k);
    s4 at = slot_before(r, b, k);
    if (at < 0)
        return -1;
    k = static_cast<u4>(at);
    if (r.temp_abs < 0)
        r.temp_abs = new_local(r, 1);
    quad_operand t = q->src1;
    t.number = static_cast<u2>(r.temp_abs);
    make_copy(b->catbl[k - 1], q, QT_INT, t, q->src1);
    q->src1 = t;
    q->src1.flags = 0;
    r.changed = true;
    return static_cast<s4>(k);
}

bool exception_free_opcode(u1 op)
{
    return (op >= OPC_ILOCALCOPY && op <= OPC_ALOCALCOPY) || op == OPC_CATCH || op == OPC_SYNCEXIT;
}

} // namespace

void SetQuadrupleWorking(quadruple** slot)
{
    (*slot)->byte80 = 0;
    (*slot)->auxop.number = QUAD_NO_NUMBER;
}

int decompose_multiplier(u1* shifts, int8_t* signs, u4 multiplier)
{
    int n = 0;
    int run_start = -1, run_length = 0, run_term = -1;
    auto add = [&](int bit, int8_t sign) {
        shifts[n] = static_cast<u1>(bit);
        signs[n] = sign;
        return n++;
    };
    auto close_run = [&](int end) {
        if (run_length >= 3) {
            signs[run_term] = -1;
            add(end, 1);
        } else if (run_length == 2) {
            add(run_start + 1, 1);
        }
        run_length = 0;
    };
    int top = multiplier == 0 ? -1 : 31 - __builtin_clz(multiplier);
    for (int bit = 0; bit <= top; bit++) {
        if (multiplier >> bit & 1) {
            if (run_length == 0) {
                run_start = bit;
                run_term = add(bit, 1);
            }
            run_length++;
        } else if (run_length > 0) {
            close_run(bit);
        }
    }
    if (run_length >= 3 && top + 1 == 32) {
        // The run ends at bit 31: 2^32 is 0 modulo 2^32, so the run is just
        // -2^start.  (The scheme's rearrangement around an earlier positive
        // term is not needed for the sum.)
        signs[run_term] = -1;
        run_length = 0;
    } else if (run_length > 0) {
        close_run(top + 1);
    }
    return n;
}

int TransformForArchitecture(method_compile_context* m, dataflow_pass_context* pc)
{
    arch_run r{m, pc, -1, -1, -1, {-1, -1}, false};
    u4 count;
    u4* order;
    CreateDFSforDFQuadruple(m, pc, &count, &order);
    for (u4 i = 0; i < count; i++) {
        u4 id = order[i];
        if (id == 0 || id >= m->bb_count)
            continue;
        bbattr* b = m->bb_table[id];
        if (b->quad_count == 0 || (b->flags & BB_DEAD))
            continue;
        for (u4 k = 0; k < b->quad_count; k++) {
            quadruple* q = b->catbl[k];
            if (df_deleted(q))
                continue;
            SetQuadrupleWorking(&b->catbl[k]);
            if (exception_free_opcode(q->opcode))
                df_set_exception_class(q, DF_CANNOT_RAISE);
            s4 at = static_cast<s4>(k);
            if (q->opcode == OPC_IOP2 && q->op == DF_OP_MUL && orva_processor_type != PROCESSOR_TYPE_NO_SHIFTS) {
                at = multiply(r, b, k);
                // The shifts the rewrite put before the operation (positions
                // k to at - 1) take the two-address form too.
                for (s4 p = static_cast<s4>(k); at >= 0 && p < at; p++) {
                    if (b->catbl[p]->opcode != OPC_IOP2)
                        continue;
                    u4 before = b->quad_count;
                    s4 moved = two_address(r, b, static_cast<u4>(p));
                    if (moved < 0) {
                        at = -1;
                        break;
                    }
                    at += static_cast<s4>(b->quad_count - before);
                    p = moved;
                }
            }
            if (at >= 0 && (q->opcode == OPC_IOP2 || q->opcode == OPC_LOP2))
                at = two_address(r, b, static_cast<u4>(at));
            else if (at >= 0 && q->opcode == OPC_IOP1 && q->op == DF_OP_ABS)
                at = absolute(r, b, k);
            if (at < 0)
                return 1;
            k = static_cast<u4>(at);
        }
    }
    if (r.changed)
        m->state_flags |= MCC_REACHDEF_STALE;
    return 0;
}
