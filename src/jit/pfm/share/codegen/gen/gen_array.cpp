// Array access: length, element loads and stores of every element type,
// bounds checks, element addresses, and the memory-operand descriptors of a
// length or element load folded into the instruction that uses it.
//
// Compiled code sees an array as: length at +0, header word at +4, elements
// from +8; element i of size s at 8 + i * s.  An access is one instruction
// with a base (the array), an index scaled by the element size and that
// displacement; a constant index goes into the displacement.  The null check
// and the bounds check are quadruples of their own in front of the access
// (the stack pass puts them there), so an access only reads or writes.
//
// A bounds check compares unsigned (a negative index is a huge one) and
// jumps to the raise path of ArrayIndexOutOfBoundsException, which reports
// the index: the index register, or the constant index.  (Fault mended: with
// a constant length the compare's immediate is the length, so the raise
// path is told explicitly which operand is the index.)
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "codegen/gen/gen_arith.h"
#include "codegen/regman/reg_records.h"

namespace {

constexpr s4 ARRAY_ELEMENTS = 8;             // first element's offset
constexpr u4 AF_LOAD = 0x10;                 // access flags of an element or length load
constexpr u4 AF_STORE = 0x11;                // of an element store
constexpr u4 AF_NULLCHECK = 0x10000000;      // the access may meet a null array
constexpr u4 SK_EADDR = 8;                   // store kind bit: the array operand is an element address

struct element {
    int size;          // 1, 2, 4 or 8
    bool is_signed;    // 1- and 2-byte loads sign-extend
    s4 base_disp;      // 8, or 0 through an element address
};

// Element of a load by opcode and type code.
element load_element(const quadruple* q)
{
    u4 type = q->subcode & QS_KIND_MASK;
    switch (q->opcode) {
    case OPC_LALOAD: case OPC_DALOAD: return {8, false, ARRAY_ELEMENTS};
    case OPC_FALOAD: case OPC_AALOAD: case OPC_PALOAD: return {4, false, ARRAY_ELEMENTS};
    case OPC_IALOAD:
        switch (type) {
        case 3: return {1, true, ARRAY_ELEMENTS};
        case 4: return {2, true, ARRAY_ELEMENTS};
        case 5: return {2, false, ARRAY_ELEMENTS};
        default: return {4, false, ARRAY_ELEMENTS};
        }
    case OPC_XALOAD: case OPC_MEMOP2_X: {
        // The read-modify-write form names the array itself; only XALOAD
        // works on an element address without header.
        s4 base = q->opcode == OPC_MEMOP2_X ? ARRAY_ELEMENTS : 0;
        switch (type) {
        case 5: return {2, false, base};
        case 7: case 11: return {8, false, base};
        case 8: return {1, true, base};
        case 9: return {2, true, base};
        default: return {4, false, base};
        }
    }
    default: return {4, false, ARRAY_ELEMENTS};
    }
}

bool null_checked_elsewhere(const quadruple* q) { return (q->subcode & QS_NO_NULLCHECK) != 0; }

// A store's access attributes: the access itself is the null check unless
// the address was computed apart or an earlier check already made it.
u4 element_store_attr(const quadruple* q, bool through_eaddr)
{
    return AF_STORE | (!through_eaddr && !null_checked_elsewhere(q) ? AF_NULLCHECK : 0);
}

// A base register and an index (register or constant) for an element:
// registers locked for the caller.
struct access {
    int rb = -1;        // manager index of the base
    int ri = -1;        // manager index of the index, -1 for a constant index
    u4 base = 0, index = 0;
    int scale = 0;
    s4 disp = 0;
};

// XALOAD and MEMOP2_X address element `constant` of an element address
// without header; the others element `index` of an array.
void read_access(codegen_context* cg, quadruple** slot, const reg_operand* array, const reg_operand* idx,
                 const element& e, u4 excluded, access* a)
{
    if (op_is_imm(idx)) {
        a->disp = e.base_disp + (s4)idx->value * e.size;
    } else {
        a->ri = gi_read(cg, idx, slot, RM_ALL_INT, excluded);
        a->index = gid(a->ri);
        a->scale = e.size;
        a->disp = e.base_disp;
    }
    a->rb = gi_read(cg, array, slot, RM_ALL_INT, excluded | rbit(a->ri));
    a->base = gid(a->rb);
}

void done_access(codegen_context* cg, reg_operand* array, reg_operand* idx, access* a)
{
    gi_done(cg, array, a->rb);
    if (a->ri >= 0)
        gi_done(cg, idx, a->ri);
}

u4 access_regs(const access* a) { return rbit(a->rb) | rbit(a->ri); }

void load_int(codegen_context* cg, int rd, const access* a, const element& e, u4 attr)
{
    if (e.size == 4)
        gen_move_gr_mem(cg, gid(rd), a->base, a->index, a->scale, a->disp, 4, attr);
    else if (e.is_signed)
        gen_movesx_gr_xmm(cg, gid(rd), a->base, a->index, a->scale, a->disp, e.size, attr);
    else
        gen_movezx_gr_xmm(cg, gid(rd), a->base, a->index, a->scale, a->disp, e.size, attr);
}

// A store through the null constant raises at once.
bool null_array(codegen_context* cg, const reg_operand* array)
{
    if (!op_is_imm(array) || array->value != 0)
        return false;
    _gen_test_and_throw_exception(cg, COND_ALWAYS, 0, 0, 0, 0, 0, 0xE000000Du, nullptr, 0);
    return true;
}

// The load or the store is folded into its user's memory operand.
bool folded(codegen_context* cg, reg_operand* d) { return d->source != nullptr && memop_is_defined(cg, d); }

// The access as a memory operand (the descriptor the folding user reads).
void fill_memop(memop* m, const access* a, const element& e)
{
    m->base = (s4)a->base;
    m->index = a->scale != 0 ? (s4)a->index : 0;
    m->scale = a->scale;
    m->disp = a->disp;
    m->size = e.size;
    m->is_signed = e.is_signed ? 1 : 0;
    m->disp2 = a->disp + 4;
    m->where = 'M';
    m->high_where = 'M';
}

// The value on the x87 stack top for a store (see gen_fputfield): answers
// the pop flag; *copied when a value below the top was copied up.
int fp_value_to_top(codegen_context* cg, const reg_operand* v, s4* counter, bool* copied)
{
    s4 c = _get_rd_fp_oprnd(cg, v, 0);
    *counter = c;
    int k = fr_stack_index(cg, c);
    *copied = k != 0;
    if (k != 0) {
        int reopen = (cg->flags & (CG_SCHED_OFF | CG_SCHED_WINDOW_OPEN)) == CG_SCHED_WINDOW_OPEN;
        cg_close_window(cg);
        // fld st(k): the copy is stored with a pop, the model is unchanged.
        u1* p = cg->code;
        if (cg->pass == CG_PASS_WRITE) {
            p[0] = FPU_D9;
            p[1] = fpu_reg_form(DIGIT_FLD, k);
            cg->code += 2;
        } else {
            cg_count_pass1(cg, 2);
        }
        if (reopen)
            cg_open_window(cg);
        return 1;
    }
    register_entry* e = &CUR(cg)->fent[fp_slot(c)];
    return e->kind == RK_STACK || e->kind == RK_TEMP;
}

void release_fp_value(codegen_context* cg, s4 c, int pop, bool copied)
{
    if (copied || !pop)
        sw_clear(CUR(cg)->fmask, fp_slot(c), SW(RS_LOCKED));
    else
        _free_fp_reg(cg, c, 0);
}

// Index and length of a bounds check: registers or constants.
void check_index(codegen_context* cg, quadruple** slot, reg_operand* idx, reg_operand* len)
{
    quadruple* q = *slot;
    (void)q;
    bool ki = op_is_imm(idx), kl = op_is_imm(len);
    if (ki && kl) {
        // Decided now: the raise is unconditional or there is nothing.
        if ((u4)idx->value >= (u4)len->value)
            gen_index_check(cg, COND_ALWAYS, THROW_CMP_REG_IMM, 0, 0, 0, idx->value, 1);
        return;
    }
    if (!kl && memop_is_used(cg, len->source, 0)) {
        // The length word of the array, read in the compare itself.
        memop m;
        _memop_getregs(cg, &m, len, slot, 0x7F, 0, 0x7F, 0);
        if (ki) {
            gen_index_check(cg, COND_BE, THROW_CMP_MEM_IMM, (s4)idx->value, m.base, m.disp, idx->value, 1);
        } else {
            int ri = gi_read(cg, idx, slot, RM_ALL_INT, memop_used_regbits(&m));
            gen_index_check(cg, COND_AE, THROW_CMP_REG_MEM, (s4)gid(ri), m.base, m.disp, gid(ri), 0);
            gi_done(cg, idx, ri);
        }
        memop_freeregs(cg, 0, 0, &m);
        return;
    }
    if (ki) {
        int rl = gi_read(cg, len, slot, RM_ALL_INT, 0);
        gen_index_check(cg, COND_BE, THROW_CMP_REG_IMM, (s4)gid(rl), 0, (s4)idx->value, idx->value, 1);
        gi_done(cg, len, rl);
        return;
    }
    int ri = gi_read(cg, idx, slot, RM_ALL_INT, 0);
    if (kl) {
        gen_index_check(cg, COND_AE, THROW_CMP_REG_IMM, (s4)gid(ri), 0, (s4)len->value, gid(ri), 0);
    } else {
        int rl = gi_read(cg, len, slot, RM_ALL_INT, rbit(ri));
        gen_index_check(cg, COND_AE, THROW_CMP_REG_REG, (s4)gid(ri), (s4)gid(rl), 0, gid(ri), 0);
        gi_done(cg, len, rl);
    }
    gi_done(cg, idx, ri);
}

}  // namespace

// ---------------------------------------------------------------------------
// Length and bounds checks
// ---------------------------------------------------------------------------
int gen_arraylength(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* d = &o->r[0];
    reg_operand* array = &o->r[2];
    if (op_absent(d) && null_checked_elsewhere(q))
        return 0;
    if (!op_absent(d) && folded(cg, d))
        return 0;
    if (op_is_imm(array) && array->value == 0) {
        _gen_test_and_throw_exception(cg, COND_ALWAYS, 0, 0, 0, 0, 0, 0xE000000Du, nullptr, 0);
        return 0;
    }
    int rb = gi_read(cg, array, slot, RM_ALL_INT, 0);
    int rd = gi_alloc(cg, RM_ALL_INT, 0);
    gen_move_gr_mem(cg, gid(rd), gid(rb), 0, 0, 0, 4, AF_LOAD | (null_checked_elsewhere(q) ? 0 : AF_NULLCHECK));
    gi_done(cg, array, rb);
    gi_bind(cg, d, rd);
    return 0;
}

int gen_sizecheck(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    check_index(cg, slot, &o->r[2], &o->r[4]);
    return 0;
}

// A range check: every index from index + low to index + high (signed byte
// offsets) lies inside the array.  Both ends are checked, so that what the
// array-check pass merged into one check stays exactly as strict:
//   low < 0:  cmp index, -low; jl raise     (index + low >= 0, no wrap)
//   low >= 0: index + low below the length, unsigned (wraps only upwards)
//   then index + high below the length, unsigned.
// The raise reports the end that failed.
int gen_sizecheck_range(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    s4 low = quad_range_low(q), high = quad_range_high(q);
    reg_operand* idx = &o->r[2];
    reg_operand* len = &o->r[4];
    if (op_is_imm(idx)) {
        // A constant index: the worse end decides (a negative one raises).
        int64_t first = static_cast<int64_t>(static_cast<s4>(idx->value)) + low;
        int64_t last = static_cast<int64_t>(static_cast<s4>(idx->value)) + high;
        reg_operand k = *idx;
        k.value = static_cast<u4>(first < 0 ? first : last);
        check_index(cg, slot, &k, len);
        return 0;
    }
    memop m;
    bool in_memory = !op_is_imm(len) && memop_is_used(cg, len->source, 0);
    u4 busy = 0;
    if (in_memory) {
        _memop_getregs(cg, &m, len, slot, 0x7F, 0, 0x7F, 0);
        busy = memop_used_regbits(&m);
    }
    int ri = gi_read(cg, idx, slot, RM_ALL_INT, busy);
    int rl = -1;
    if (!in_memory && !op_is_imm(len))
        rl = gi_read(cg, len, slot, RM_ALL_INT, busy | rbit(ri));
    int rt = gi_alloc(cg, RM_ALL_INT, busy | rbit(ri) | rbit(rl));
    auto below_length = [&](int r) {
        if (in_memory)
            gen_index_check(cg, COND_AE, THROW_CMP_REG_MEM, (s4)gid(r), m.base, m.disp, gid(r), 0);
        else if (op_is_imm(len))
            gen_index_check(cg, COND_AE, THROW_CMP_REG_IMM, (s4)gid(r), 0, (s4)len->value, gid(r), 0);
        else
            gen_index_check(cg, COND_AE, THROW_CMP_REG_REG, (s4)gid(r), (s4)gid(rl), 0, gid(r), 0);
    };
    if (low == 0) {
        below_length(ri);
    } else {
        gen_lea_gr_mm(cg, gid(rt), gid(ri), 0, 0, low);
        if (low < 0)
            gen_index_check(cg, COND_LT, THROW_CMP_REG_IMM, (s4)gid(ri), 0, -low, gid(rt), 0);
        else
            below_length(rt);
    }
    if (high != low) {
        if (high == 0) {
            below_length(ri);
        } else {
            gen_lea_gr_mm(cg, gid(rt), gid(ri), 0, 0, high);
            below_length(rt);
        }
    } else if (low < 0) {
        below_length(rt);
    }
    gi_bind(cg, &o->r[0], rt);
    if (in_memory)
        memop_freeregs(cg, 0, 0, &m);
    else if (rl >= 0)
        gi_done(cg, len, rl);
    gi_done(cg, idx, ri);
    return 0;
}

// ---------------------------------------------------------------------------
// Loads
// ---------------------------------------------------------------------------
int gen_iaload(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* d = &o->r[0];
    reg_operand* array = &o->r[2];
    reg_operand* idx = &o->r[4];
    if (op_absent(d) && (null_checked_elsewhere(q) || q->opcode == OPC_XALOAD))
        return 0;
    if (!op_absent(d) && folded(cg, d))
        return 0;
    element e = load_element(q);
    if (op_is_imm(array) && array->value == 0) {
        _gen_test_and_throw_exception(cg, COND_ALWAYS, 0, 0, 0, 0, 0, 0xE000000Du, nullptr, 0);
        return 0;
    }
    u4 attr = AF_LOAD | (null_checked_elsewhere(q) ? 0 : AF_NULLCHECK);
    access a;
    read_access(cg, slot, array, idx, e, 0, &a);
    int rd = gi_alloc(cg, RM_ALL_INT, 0);
    load_int(cg, rd, &a, e, attr);
    done_access(cg, array, idx, &a);
    gi_bind(cg, d, rd);
    return 0;
}

int gen_laload(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* lo = &o->x[0];
    reg_operand* hi = &o->x[1];
    reg_operand* array = &o->r[2];
    reg_operand* idx = &o->r[4];
    if (op_absent(lo) && op_absent(hi) && null_checked_elsewhere(q))
        return 0;
    if (!op_absent(lo) && folded(cg, lo))
        return 0;
    element e = load_element(q);
    if (op_is_imm(array) && array->value == 0) {
        _gen_test_and_throw_exception(cg, COND_ALWAYS, 0, 0, 0, 0, 0, 0xE000000Du, nullptr, 0);
        return 0;
    }
    u4 attr = AF_LOAD | (null_checked_elsewhere(q) ? 0 : AF_NULLCHECK);
    access a;
    read_access(cg, slot, array, idx, e, 0, &a);
    // Neither word may land in the base or index before the high word is read.
    int rl = gi_alloc(cg, RM_ALL_INT, access_regs(&a));
    gen_move_gr_mem(cg, gid(rl), a.base, a.index, a.scale, a.disp, 4, attr);
    int rh = -1;
    if (!op_absent(hi)) {
        rh = gi_alloc(cg, RM_ALL_INT, access_regs(&a) | rbit(rl));
        gen_move_gr_mem(cg, gid(rh), a.base, a.index, a.scale, a.disp + 4, 4, attr);
    }
    done_access(cg, array, idx, &a);
    gi_bind(cg, lo, rl);
    gi_bind(cg, hi, rh);
    return 0;
}

int gen_faload(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* d = &o->x[0];
    reg_operand* array = &o->r[2];
    reg_operand* idx = &o->r[4];
    if (op_absent(d) && null_checked_elsewhere(q))
        return 0;
    if (!op_absent(d) && folded(cg, d))
        return 0;
    element e = load_element(q);
    bool dbl = q->opcode == OPC_DALOAD || (q->opcode == OPC_XALOAD && (q->subcode & QS_KIND_MASK) == 7);
    if (dbl)
        e.size = 8;
    if (op_is_imm(array) && array->value == 0) {
        _gen_test_and_throw_exception(cg, COND_ALWAYS, 0, 0, 0, 0, 0, 0xE000000Du, nullptr, 0);
        return 0;
    }
    u4 attr = AF_LOAD | (null_checked_elsewhere(q) ? 0 : AF_NULLCHECK);
    access a;
    read_access(cg, slot, array, idx, e, 0, &a);
    if (op_absent(d)) {
        int t = gi_alloc(cg, RM_ALL_INT, access_regs(&a));   // the read only checks the reference
        gen_move_gr_mem(cg, gid(t), a.base, a.index, a.scale, a.disp, 4, attr);
        _free_int_reg(cg, t, 0, 0, 0);
    } else {
        if (dbl)
            gen_move_fr8_mm(cg, a.base, a.index, a.scale, a.disp, attr);
        else
            gen_move_fr_mm(cg, a.base, a.index, a.scale, a.disp, attr);
        alloc_and_assoc_fp_stack_top_oprnd(cg, d);
    }
    done_access(cg, array, idx, &a);
    return 0;
}

// ---------------------------------------------------------------------------
// Stores: list[0] the array (or element address), list[1] the index,
// list[2] (and list[3] for long) the value.
// ---------------------------------------------------------------------------
int gen_iastore(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    u4 kind = q->opcode == OPC_XASTORE ? o->long_flag : (q->subcode & QS_KIND_MASK);
    bool through_eaddr = (kind & SK_EADDR) != 0;
    int size = (kind & 7) == 3 ? 1 : (kind & 7) == 4 || (kind & 7) == 5 ? 2 : 4;
    reg_operand* array = &o->list[0];
    reg_operand* idx = &o->list[1];
    reg_operand* v = &o->list[2];
    if (null_array(cg, array))
        return 0;
    element e = {size, false, through_eaddr ? 0 : ARRAY_ELEMENTS};
    u4 attr = element_store_attr(q, through_eaddr);
    // A byte store needs a register with a low byte: eax, edx, ecx, ebx.
    const u4 value_mask = size == 1 ? 0x0Fu : RM_ALL_INT;
    int rv = -1;
    bool imm_store = op_is_imm(v) && (size == 1 || v->value != 0);
    if (!imm_store) {
        if (op_is_imm(v)) {
            rv = gi_alloc(cg, value_mask, 0);
            gen_move_gr_i4(cg, gid(rv), 0);
        } else {
            rv = gi_read(cg, v, slot, value_mask, 0);
        }
    }
    access a;
    read_access(cg, slot, array, idx, e, rbit(rv), &a);
    if (imm_store)
        gen_move_mm_i4(cg, a.base, a.index, a.scale, a.disp, (s4)v->value, size, attr);
    else
        gen_move_mm_gr(cg, a.base, a.index, a.scale, a.disp, gid(rv), size, attr);
    done_access(cg, array, idx, &a);
    if (rv >= 0) {
        if (op_is_imm(v))
            _free_int_reg(cg, rv, 0, 0, 0);
        else
            gi_done(cg, v, rv);
    }
    return 0;
}

int gen_lastore(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* array = &o->list[0];
    reg_operand* idx = &o->list[1];
    reg_operand* lo = &o->list[2];
    reg_operand* hi = &o->list[3];
    if (null_array(cg, array))
        return 0;
    bool through_eaddr = q->opcode == OPC_XASTORE;
    element e = {8, false, through_eaddr ? 0 : ARRAY_ELEMENTS};
    u4 attr = element_store_attr(q, through_eaddr);
    int rl = -1, rh = -1;
    bool hi_temp = false;
    s4 clo = 0, chi = 0;
    bool constant = op_is_imm(lo);
    if (constant) {
        clo = (s4)lo->value;
        chi = !op_absent(hi) && op_is_imm(hi) ? (s4)hi->value : (clo < 0 ? -1 : 0);
    } else {
        rl = gi_read(cg, lo, slot, RM_ALL_INT, 0);
        if (!op_absent(hi) && !op_is_imm(hi)) {
            rh = gi_read(cg, hi, slot, RM_ALL_INT, rbit(rl));
        } else {
            // An int-typed value (no high operand) widens by its sign;
            // a constant high word is loaded as it is.
            rh = gi_alloc(cg, RM_ALL_INT, rbit(rl));
            hi_temp = true;
            if (!op_absent(hi)) {
                gen_move_gr_i4(cg, gid(rh), (s4)hi->value);
            } else {
                gen_move_gr_gr(cg, gid(rh), gid(rl));
                gen_shift_gr_i4(cg, SHIFT_SAR, gid(rh), 31);
            }
        }
    }
    access a;
    read_access(cg, slot, array, idx, e, rbit(rl) | rbit(rh), &a);
    if (constant) {
        gen_move_mm_i4(cg, a.base, a.index, a.scale, a.disp, clo, 4, attr);
        gen_move_mm_i4(cg, a.base, a.index, a.scale, a.disp + 4, chi, 4, attr);
    } else {
        gen_move_mm_gr(cg, a.base, a.index, a.scale, a.disp, gid(rl), 4, attr);
        gen_move_mm_gr(cg, a.base, a.index, a.scale, a.disp + 4, gid(rh), 4, attr);
    }
    done_access(cg, array, idx, &a);
    if (!constant) {
        gi_done(cg, lo, rl);
        if (hi_temp)
            _free_int_reg(cg, rh, 0, 0, 0);
        else
            gi_done(cg, hi, rh);
    }
    return 0;
}

int gen_fastore(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* array = &o->list[0];
    reg_operand* idx = &o->list[1];
    reg_operand* v = &o->list[2];
    if (null_array(cg, array))
        return 0;
    bool through_eaddr = q->opcode == OPC_XASTORE;
    bool dbl = q->opcode == OPC_DASTORE || (through_eaddr && (q->subcode & QS_KIND_MASK) == 7) || v->type == 'D';
    element e = {dbl ? 8 : 4, false, through_eaddr ? 0 : ARRAY_ELEMENTS};
    u4 attr = element_store_attr(q, through_eaddr);
    access a;
    read_access(cg, slot, array, idx, e, 0, &a);
    s4 c;
    bool copied;
    int pop = fp_value_to_top(cg, v, &c, &copied);
    if (dbl)
        gen_move_mm_fr8(cg, a.base, a.index, a.scale, a.disp, pop, attr);
    else
        gen_move_mm_fr(cg, a.base, a.index, a.scale, a.disp, pop, attr);
    release_fp_value(cg, c, pop, copied);
    done_access(cg, array, idx, &a);
    return 0;
}

// ---------------------------------------------------------------------------
// Element address: lea result, [array + index * size + 8]
// ---------------------------------------------------------------------------
int gen_eaddr(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    u4 type = q->subcode & QS_KIND_MASK;
    int size;
    switch (type) {
    case 2: case 6: case 10: size = 4; break;
    case 5: case 9: size = 2; break;
    case 7: case 11: size = 8; break;
    case 8: size = 1; break;
    default:
        fprintf(stderr, "Unknown TYPE found in gen_eaddr (type=%d)\n", (int)type);
        exit(-1);
    }
    reg_operand* d = &o->r[0];
    reg_operand* array = &o->r[2];
    reg_operand* idx = &o->r[4];
    if (op_absent(d))
        return 0;
    element e = {size, false, ARRAY_ELEMENTS};
    access a;
    read_access(cg, slot, array, idx, e, 0, &a);
    int rd = gi_alloc(cg, RM_ALL_INT, 0);
    gen_lea_gr_mm(cg, gid(rd), a.base, a.index, a.scale, a.disp);
    done_access(cg, array, idx, &a);
    gi_bind(cg, d, rd);
    return 0;
}

// ---------------------------------------------------------------------------
// Folded loads: the descriptors the using instruction reads.  `def` is the
// slot of the defining load; a/b and c/d the masks and excluded registers
// of the base and of the index.
// ---------------------------------------------------------------------------
int getregs_sizeload(codegen_context* cg, memop* m, reg_operand*, reg_operand*, quadruple** def, int a, int b, int,
                     int)
{
    reg_operand array;
    set_ioperand(cg, def, &array, &(*def)->src1);
    u4 mask = a != 0 ? (u4)a & RM_ALL_INT : RM_ALL_INT;
    int rb = gi_read(cg, &array, def, mask, (u4)b);
    m->base = (s4)gid(rb);
    m->index = 0;
    m->scale = 0;
    m->disp = 0;
    m->size = 4;
    m->where = 'M';
    m->low = array;
    return 1;
}

int getregs_xaload(codegen_context* cg, memop* m, reg_operand* lo, reg_operand* hi, quadruple** def, int a, int b,
                   int c, int d)
{
    quadruple* q = *def;
    reg_operand array, idx;
    if (q->opcode == OPC_MEMOP2_X) {
        // Array and index are the first two entries of the operand list
        // (the list head occupies the first source word).
        if (lo == nullptr || hi == nullptr)
            cg_service_missing("read-modify-write element without array and index");
        array = *lo;
        idx = *hi;
    } else {
        set_ioperand(cg, def, &array, &q->src1);
        set_ioperand(cg, def, &idx, &q->src2);
    }
    element e = load_element(q);
    access acc;
    u4 base_mask = a != 0 ? (u4)a & RM_ALL_INT : RM_ALL_INT;
    u4 index_mask = c != 0 ? (u4)c & RM_ALL_INT : RM_ALL_INT;
    if (op_is_imm(&idx)) {
        acc.disp = e.base_disp + (s4)idx.value * e.size;
    } else {
        acc.ri = gi_read(cg, &idx, def, index_mask, (u4)d);
        acc.index = gid(acc.ri);
        acc.scale = e.size;
        acc.disp = e.base_disp;
    }
    acc.rb = gi_read(cg, &array, def, base_mask, (u4)b | rbit(acc.ri));
    acc.base = gid(acc.rb);
    fill_memop(m, &acc, e);
    m->low = array;
    return 1;
}
