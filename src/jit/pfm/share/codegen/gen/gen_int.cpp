// Integer arithmetic generators: copies (gen_move_II), unary operators
// (gen_op1_II) and binary operators (gen_op2_III) including shifts,
// division and remainder.  Operands come from the register manager; every result is
// computed in a temporary and then bound to the destination, so a source
// held in a register (a cached local) is never overwritten behind the
// manager's back.
//
// Java semantics kept here beyond what IA-32 gives directly: shift counts
// are masked to 5 bits (the processor does it), MIN_VALUE / -1 is MIN_VALUE
// with remainder 0 (IDIV would fault: the divisor -1 is tested first),
// division by a constant 0 raises ArithmeticException through the raise path
// of the division-by-zero exception, and a zero divisor in a register
// reaches IDIV whose fault the run-time support turns into the exception.
#include "codegen/gen/gen_arith.h"

#include <cstdio>
#include <cstdlib>

#include "driver/vmlink.h"

// ---------------------------------------------------------------------------
// Shared helpers
// ---------------------------------------------------------------------------
static bool folded_load(codegen_context* cg, const reg_operand* op)
{
    return !op_is_imm(op) && op->source != nullptr && memop_is_used(cg, op->source, 0);
}

int gi_read(codegen_context* cg, const reg_operand* op, quadruple** slot, u4 mask, u4 excluded)
{
    mask &= RM_ALL_INT & ~excluded;
    if (folded_load(cg, op)) {
        memop m;
        _memop_getregs(cg, &m, const_cast<reg_operand*>(op), slot, 0, 0, 0, 0);
        _memop_assign_spill_offset(cg, &m, 3);
        s4 id = _memop_alloc_move_to_reg_w_rsvbits(cg, &m, mask, excluded, 0, 0, 0);
        if (id > 0 && reg_id_to_mgr[id] >= 0)
            return reg_id_to_mgr[id];
    }
    if (mask == RM_ALL_INT)
        return _get_rd_int_oprnd(cg, op, 0, -1);
    return _set_rd_int_oprnd(cg, op, mask, excluded, 0);
}

int gi_copy(codegen_context* cg, const reg_operand* op, quadruple** slot, u4 mask, u4 excluded)
{
    if (op_is_imm(op) || op->kind == OPND_ADDR) {
        int t = gi_alloc(cg, mask, excluded);
        gen_move_gr_i4(cg, gid(t), (s4)op->value);
        return t;
    }
    // The temporary first (so a fixed register is vacated), then the value.
    int t = gi_alloc(cg, mask, excluded);
    int r = gi_read(cg, op, slot, RM_ALL_INT, rbit(t));
    gen_move_gr_gr(cg, gid(t), gid(r));
    _free_int_reg(cg, r, 0, 0, 0);
    return t;
}

void gi_bind(codegen_context* cg, const reg_operand* dst, int r)
{
    if (r < 0)
        return;
    if (dst != nullptr && !op_absent(dst))
        _assoc_int_oprnd(cg, dst, r, 0, 0);
    _free_int_reg(cg, r, 0, 0, 0);
}

void gi_done(codegen_context* cg, reg_operand* op, int r)
{
    if (r >= 0)
        _free_int_reg(cg, r, 0, 0, 0);
    if (op != nullptr && !op_is_imm(op))
        invalidate_if_lastuse(cg, op);
}

void gi_seq_begin(codegen_context* cg, gi_seq* s)
{
    s->reopen = 0;
    if ((cg->flags & CG_SCHED_WINDOW_OPEN) && !(cg->flags & CG_SCHED_OFF)) {
        cg->flags &= ~CG_SCHED_WINDOW_OPEN;
        cg->code = cs_bb_finalize(cg);
        s->reopen = 1;
    }
}

void gi_seq_end(codegen_context* cg, gi_seq* s)
{
    if (s->reopen) {
        cg->flags |= CG_SCHED_WINDOW_OPEN;
        cs_bb_initialize(cg, cg->code);
    }
}

u1* gi_jshort(codegen_context* cg, int cond)
{
    u1* p = cg->code;
    _gen_jmpcc(cg, cond, UNRESOLVED_TARGET, 1);
    return cg->pass == CG_PASS_WRITE ? p + 1 : nullptr;
}

void gi_land(codegen_context* cg, u1* disp)
{
    if (disp == nullptr)
        return;
    s4 d = (s4)(cg->code - (disp + 1));
    if (d > 127) {
        cg_internal_error("short jump out of range (%d) in an integer sequence", (int)d);
    }
    *disp = (u1)d;
}

[[noreturn]] static void unsupported(const char* where, int op)
{
    fprintf(stderr, "not support operation %d in %s\n", op, where);
    exit(-1);
}

// Power of two of at least 1 (2^k, k >= 0): k; else -1.
static int exact_log2(s4 c)
{
    if (c <= 0 || (c & (c - 1)) != 0)
        return -1;
    int k = 0;
    while ((1 << k) != c)
        k++;
    return k;
}

static bool commutative(int op)
{
    return op == QOP_ADD || op == QOP_MUL || op == QOP_AND || op == QOP_OR || op == QOP_XOR || op == QOP_MAX
           || op == QOP_MIN;
}

static int alu_of(int op)
{
    switch (op) {
    case QOP_ADD: return ALU_ADD;
    case QOP_SUB: return ALU_SUB;
    case QOP_AND: return ALU_AND;
    case QOP_OR: return ALU_OR;
    case QOP_XOR: return ALU_XOR;
    default: return -1;
    }
}

// ---------------------------------------------------------------------------
// Register forms
// ---------------------------------------------------------------------------

// reg op= imm  (operators 1..8)
static void gen_op_gr_i4(codegen_context* cg, int op, int r, s4 imm)
{
    u4 g = gid(r);
    int alu = alu_of(op);
    if (alu >= 0) {
        gen_arithmetic_gr_i4(cg, alu, g, imm);
        return;
    }
    switch (op) {
    case QOP_MUL: {
        if (imm == 0) {
            gen_move_gr_i4(cg, g, 0);
        } else if (imm == 1) {
        } else if (imm == -1) {
            gen_neg_gr(cg, g);
        } else if (exact_log2(imm) > 0) {
            gen_shift_gr_i4(cg, SHIFT_SHL, g, exact_log2(imm));
        } else if (imm == 3 || imm == 5 || imm == 9) {
            gen_lea_gr_mm(cg, g, g, g, imm - 1, 0);
        } else {
            gen_mul_gr_i4(cg, g, imm);
        }
        return;
    }
    case QOP_MAX:   // keep r unless r < imm
        gen_cmp_gr_i4_jmp_move_gr_i4(cg, g, imm, COND_GE, g, imm);
        return;
    case QOP_MIN:   // keep r unless r > imm
        gen_cmp_gr_i4_jmp_move_gr_i4(cg, g, imm, COND_LE, g, imm);
        return;
    default:
        unsupported("gen_op_gr_i4", op);
    }
}

// r1 op= r2  (operators 1..8)
static void gen_op_gr_gr(codegen_context* cg, int op, int r1, int r2)
{
    u4 a = gid(r1), b = gid(r2);
    int alu = alu_of(op);
    if (alu >= 0) {
        gen_arithmetic_gr_gr(cg, alu, a, b);
        return;
    }
    switch (op) {
    case QOP_MUL:
        gen_mul_gr_gr(cg, a, b);
        return;
    case QOP_MAX:
        if (r1 != r2)
            gen_cmp_gr_gr_jmp_move_gr_gr(cg, a, b, COND_GE, a, b);
        return;
    case QOP_MIN:
        if (r1 != r2)
            gen_cmp_gr_gr_jmp_move_gr_gr(cg, a, b, COND_LE, a, b);
        return;
    default:
        unsupported("gen_op_gr_gr", op);
    }
}

// ---------------------------------------------------------------------------
// Shifts
// ---------------------------------------------------------------------------
static int shift_kind(int op) { return op == QOP_SHL ? SHIFT_SHL : op == QOP_SHR ? SHIFT_SAR : SHIFT_SHR; }

static void gen_shift_III(codegen_context* cg, int op, reg_operand* d, reg_operand* a, reg_operand* b, quadruple** slot)
{
    int kind = shift_kind(op);
    if (op_is_imm(b)) {
        int t = gi_copy(cg, a, slot, RM_ALL_INT, 0);
        int count = (int)(b->value & 31);
        if (count != 0)
            gen_shift_gr_i4(cg, kind, gid(t), count);
        gi_done(cg, a, -1);
        gi_bind(cg, d, t);
        return;
    }
    // The count goes to ecx; the shifted value to any other register.
    int rc = gi_read(cg, b, slot, 0x04, 0);
    int t = gi_copy(cg, a, slot, 0x7B, 0x04);
    gen_shift_gr(cg, kind, gid(t));
    gi_done(cg, b, rc);
    gi_done(cg, a, -1);
    gi_bind(cg, d, t);
}

// ---------------------------------------------------------------------------
// Division and remainder
// ---------------------------------------------------------------------------
static void raise_div0(codegen_context* cg)
{
    _gen_test_and_throw_exception(cg, COND_ALWAYS, 0, 0, 0, 0, 0, 0xE000000Fu, cg->mb, 0);
}

// t := t / 2^k rounded toward zero (k >= 1), branch-free:
// bias = (t >> 31) >>> (32 - k); t = (t + bias) >> k.
static void gen_div_by_pow2(codegen_context* cg, int t, int k)
{
    int b = gi_alloc(cg, RM_ALL_INT, rbit(t));
    gen_move_gr_gr(cg, gid(b), gid(t));
    gen_shift_gr_i4(cg, SHIFT_SAR, gid(b), 31);
    gen_shift_gr_i4(cg, SHIFT_SHR, gid(b), 32 - k);
    gen_arithmetic_gr_gr(cg, ALU_ADD, gid(t), gid(b));
    gen_shift_gr_i4(cg, SHIFT_SAR, gid(t), k);
    _free_int_reg(cg, b, 0, 0, 0);
}

// t := t % 2^k with the sign of the dividend: ((t + bias) & mask) - bias.
static void gen_rem_by_pow2(codegen_context* cg, int t, int k)
{
    int b = gi_alloc(cg, RM_ALL_INT, rbit(t));
    gen_move_gr_gr(cg, gid(b), gid(t));
    gen_shift_gr_i4(cg, SHIFT_SAR, gid(b), 31);
    gen_shift_gr_i4(cg, SHIFT_SHR, gid(b), 32 - k);
    gen_arithmetic_gr_gr(cg, ALU_ADD, gid(t), gid(b));
    gen_arithmetic_gr_i4(cg, ALU_AND, gid(t), (s4)(0xFFFFFFFFu >> (32 - k)));
    gen_arithmetic_gr_gr(cg, ALU_SUB, gid(t), gid(b));
    _free_int_reg(cg, b, 0, 0, 0);
}

static void gen_divrem_III(codegen_context* cg, int op, reg_operand* d, reg_operand* a, reg_operand* b,
                           quadruple** slot)
{
    bool rem = op == QOP_REM;
    if (op_is_imm(b)) {
        s4 c = (s4)b->value;
        if (c == 0) {
            // The dividend is still consumed (an operand-stack value is popped).
            if (!op_is_imm(a))
                gi_done(cg, a, gi_read(cg, a, slot, RM_ALL_INT, 0));
            raise_div0(cg);
            return;
        }
        if (c == 1 || c == -1) {
            int t;
            if (rem) {
                t = gi_alloc(cg, RM_ALL_INT, 0);
                gen_move_gr_i4(cg, gid(t), 0);
            } else {
                t = gi_copy(cg, a, slot, RM_ALL_INT, 0);
                if (c == -1)
                    gen_neg_gr(cg, gid(t));   // MIN_VALUE / -1 wraps to MIN_VALUE as in Java
            }
            gi_done(cg, a, -1);
            gi_bind(cg, d, t);
            return;
        }
        int k = exact_log2(c);
        if (k > 0) {
            int t = gi_copy(cg, a, slot, RM_ALL_INT, 0);
            if (rem)
                gen_rem_by_pow2(cg, t, k);
            else
                gen_div_by_pow2(cg, t, k);
            gi_done(cg, a, -1);
            gi_bind(cg, d, t);
            return;
        }
        // Any other constant (never -1 or 0): idiv by a temporary.
        int eax = gi_copy(cg, a, slot, 0x01, 0);
        int edx = gi_alloc(cg, 0x02, 0);
        int t = gi_alloc(cg, 0x7C, 0);
        gen_move_gr_i4(cg, gid(t), c);
        gen_cdq(cg);
        gen_div_gr(cg, gid(t));
        _free_int_reg(cg, t, 0, 0, 0);
        gi_done(cg, a, -1);
        if (rem) {
            _free_int_reg(cg, eax, 0, 0, 0);
            gi_bind(cg, d, edx);
        } else {
            _free_int_reg(cg, edx, 0, 0, 0);
            gi_bind(cg, d, eax);
        }
        return;
    }
    // Divisor in a register other than eax and edx; dividend in eax.
    int rb = gi_read(cg, b, slot, 0x7C, 0x03);
    int eax = gi_copy(cg, a, slot, 0x01, rbit(rb));
    int edx = gi_alloc(cg, 0x02, rbit(rb));
    // divisor -1: IDIV of MIN_VALUE would fault; Java wants the negation
    // (quotient) and 0 (remainder).
    gi_seq s;
    gi_seq_begin(cg, &s);
    _gen_cmp_gr_i4(cg, gid(rb), -1);
    u1* not_m1 = gi_jshort(cg, COND_NE);
    if (rem)
        _gen_move_gr_i4(cg, gid(edx), 0);
    else
        _gen_neg_gr(cg, gid(eax));
    u1* done = gi_jshort(cg, COND_ALWAYS);
    gi_land(cg, not_m1);
    _gen_cdq(cg);
    _gen_div_gr(cg, gid(rb));
    gi_land(cg, done);
    gi_seq_end(cg, &s);
    gi_done(cg, b, rb);
    gi_done(cg, a, -1);
    if (rem) {
        _free_int_reg(cg, eax, 0, 0, 0);
        gi_bind(cg, d, edx);
    } else {
        _free_int_reg(cg, edx, 0, 0, 0);
        gi_bind(cg, d, eax);
    }
}

// ---------------------------------------------------------------------------
// Generators
// ---------------------------------------------------------------------------
int gen_op2_III(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    int op = (*slot)->op;
    reg_operand* d = &o->r[0];
    reg_operand* a = &o->r[2];
    reg_operand* b = &o->r[4];
    if (op == QOP_SHL || op == QOP_SHR || op == QOP_USHR) {
        gen_shift_III(cg, op, d, a, b, slot);
        return 0;
    }
    if (op == QOP_DIV || op == QOP_REM) {
        gen_divrem_III(cg, op, d, a, b, slot);
        return 0;
    }
    if (op < QOP_ADD || op > QOP_MIN) {
        fprintf(stderr, "not support operation %d in gen_op2_III\n", op);
        exit(-1);
    }
    // A commutative operation with a constant first source: the constant
    // becomes the immediate.
    if (commutative(op) && op_is_imm(a) && !op_is_imm(b)) {
        reg_operand* t = a;
        a = b;
        b = t;
    }
    int t = gi_copy(cg, a, slot, RM_ALL_INT, 0);
    if (op_is_imm(b)) {
        gen_op_gr_i4(cg, op, t, (s4)b->value);
    } else {
        int rb = gi_read(cg, b, slot, RM_ALL_INT, rbit(t));
        gen_op_gr_gr(cg, op, t, rb);
        gi_done(cg, b, rb);
    }
    gi_done(cg, a, -1);
    gi_bind(cg, d, t);
    return 0;
}

// Unary register forms.
static void gen_op_gr(codegen_context* cg, int op, int r)
{
    u4 g = gid(r);
    switch (op) {
    case QOP_NEG:
        gen_neg_gr(cg, g);
        return;
    case QOP_I2B:
        gen_shift_gr_i4(cg, SHIFT_SHL, g, 24);
        gen_shift_gr_i4(cg, SHIFT_SAR, g, 24);
        return;
    case QOP_I2C:
        gen_arithmetic_gr_i4(cg, ALU_AND, g, 0xFFFF);
        return;
    case QOP_I2S:
        gen_shift_gr_i4(cg, SHIFT_SHL, g, 16);
        gen_shift_gr_i4(cg, SHIFT_SAR, g, 16);
        return;
    case QOP_ABS: {
        int t = gi_alloc(cg, RM_ALL_INT, rbit(r));
        gen_move_gr_gr(cg, gid(t), g);
        gen_shift_gr_i4(cg, SHIFT_SAR, gid(t), 31);
        gen_arithmetic_gr_gr(cg, ALU_XOR, g, gid(t));
        gen_arithmetic_gr_gr(cg, ALU_SUB, g, gid(t));
        _free_int_reg(cg, t, 0, 0, 0);
        return;
    }
    default:
        unsupported("gen_op_gr", op);
    }
}

static void gen_op_bool_gr(codegen_context* cg, int op, int r)
{
    u4 g = gid(r);
    switch (op) {
    case QOP_NOT:   // 1 when r is 0, else 0
        gen_cmp_gr_i4(cg, g, 1);
        gen_arithmetic_gr_gr(cg, ALU_SBB, g, g);
        gen_neg_gr(cg, g);
        return;
    case QOP_I2Z:   // 0 when r is 0, else 1 (neg sets the carry for any nonzero r)
        gen_neg_gr(cg, g);
        gen_arithmetic_gr_gr(cg, ALU_SBB, g, g);
        gen_neg_gr(cg, g);
        return;
    case QOP_BOOLNOT:
        gen_arithmetic_gr_i4(cg, ALU_XOR, g, 1);
        return;
    default:
        unsupported("gen_op_bool_gr", op);
    }
}

int gen_op1_II(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    int op = (*slot)->op;
    reg_operand* d = &o->r[0];
    reg_operand* a = &o->r[2];
    int t = gi_copy(cg, a, slot, RM_ALL_INT, 0);
    if (op == QOP_NOT || op == QOP_I2Z || op == QOP_BOOLNOT)
        gen_op_bool_gr(cg, op, t);
    else
        gen_op_gr(cg, op, t);
    gi_done(cg, a, -1);
    gi_bind(cg, d, t);
    return 0;
}

int gen_move_II(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    reg_operand* d = &o->r[0];
    reg_operand* s = &o->r[2];
    if (op_absent(d) || op_same(d, s))
        return 0;
    int t = gi_copy(cg, s, slot, RM_ALL_INT, 0);
    gi_done(cg, s, -1);
    gi_bind(cg, d, t);
    return 0;
}
