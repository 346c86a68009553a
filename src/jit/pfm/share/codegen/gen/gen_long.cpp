// Long generators: moves (gen_move_LL), unary neg and abs (gen_op1_LL),
// add, sub, and, or, xor and mul (gen_op2_LLL), shifts by an int count
// (gen_op15_LLI) and the three-way compare lcmp (gen_cmp_ILL).  A long is a
// pair of int operands (low, high); an absent source high word means an int
// value, sign-extended.  As for ints, results are computed in temporaries
// and bound to the destination words afterwards.
//
// The 64-bit multiply is inline (three 32-bit multiplies).  Division and
// remainder by a divisor that fits 32 bits (an int, or a constant in the int
// range) use one IDIV when a guard shows the quotient fits 32 bits, and the
// run-time helpers `_li_div` / `_li_rem` otherwise; other divisors call
// `_ll_div` / `_ll_rem` (arguments b high, b low, a high, a low pushed in
// that order, result in edx:eax, the caller pops; a zero divisor raises
// ArithmeticException in the helper).  A constant zero divisor compiles to
// the raise path.  max and min compare the high words signed and the low
// words unsigned and copy the other pair when it wins.
#include "codegen/gen/gen_arith.h"

#include <cstdio>
#include <cstdlib>

// The 32-bit word of a constant long operand: 'C' holds it, 'X' and 'Y'
// point at it.
u4 get_imm_long_op(codegen_context*, reg_operand* op)
{
    if (op->kind == OPND_XCONST || op->kind == OPND_YCONST)
        return *reinterpret_cast<const u4*>((uintptr_t)op->value);
    return op->value;
}

namespace {

struct lpair {
    int lo, hi;   // manager registers (-1: none)
};

bool long_imm(const reg_operand* lo) { return op_is_imm(lo); }

// Constant words of a long (high word from the sign when absent).
void imm_words(codegen_context* cg, reg_operand* lo, reg_operand* hi, s4* wl, s4* wh)
{
    *wl = (s4)get_imm_long_op(cg, lo);
    *wh = op_absent(hi) ? (*wl < 0 ? -1 : 0) : (s4)get_imm_long_op(cg, hi);
}

// Temporaries holding a copy of the long value (the caller overwrites them).
lpair lcopy(codegen_context* cg, reg_operand* lo, reg_operand* hi, quadruple** slot, u4 excluded)
{
    lpair p;
    if (long_imm(lo)) {
        s4 wl, wh;
        imm_words(cg, lo, hi, &wl, &wh);
        p.lo = gi_alloc(cg, RM_ALL_INT, excluded);
        p.hi = gi_alloc(cg, RM_ALL_INT, excluded | rbit(p.lo));
        gen_move_gr_i4(cg, gid(p.lo), wl);
        gen_move_gr_i4(cg, gid(p.hi), wh);
        return p;
    }
    p.lo = gi_copy(cg, lo, slot, RM_ALL_INT, excluded);
    if (op_absent(hi)) {
        p.hi = gi_alloc(cg, RM_ALL_INT, excluded | rbit(p.lo));
        gen_move_gr_gr(cg, gid(p.hi), gid(p.lo));
        gen_shift_gr_i4(cg, SHIFT_SAR, gid(p.hi), 31);
    } else {
        p.hi = gi_copy(cg, hi, slot, RM_ALL_INT, excluded | rbit(p.lo));
    }
    return p;
}

// Registers holding the long value for reading (a temporary high word for
// an int source); release with lrelease.
lpair lread(codegen_context* cg, reg_operand* lo, reg_operand* hi, quadruple** slot, u4 excluded)
{
    if (long_imm(lo))
        return lcopy(cg, lo, hi, slot, excluded);
    lpair p;
    p.lo = gi_read(cg, lo, slot, RM_ALL_INT, excluded);
    if (op_absent(hi)) {
        p.hi = gi_alloc(cg, RM_ALL_INT, excluded | rbit(p.lo));
        gen_move_gr_gr(cg, gid(p.hi), gid(p.lo));
        gen_shift_gr_i4(cg, SHIFT_SAR, gid(p.hi), 31);
    } else if (op_same(lo, hi)) {
        p.hi = p.lo;
    } else {
        p.hi = gi_read(cg, hi, slot, RM_ALL_INT, excluded | rbit(p.lo));
    }
    return p;
}

void lrelease(codegen_context* cg, reg_operand* lo, reg_operand* hi, lpair p)
{
    if (p.hi != p.lo)
        gi_done(cg, op_absent(hi) ? nullptr : hi, p.hi);
    gi_done(cg, lo, p.lo);
}

void lbind(codegen_context* cg, reg_operand* dlo, reg_operand* dhi, lpair p)
{
    gi_bind(cg, dlo, p.lo);
    gi_bind(cg, op_absent(dhi) ? nullptr : dhi, p.hi);
}

[[noreturn]] void unsupported(const char* where, int op)
{
    fprintf(stderr, "not support operation %d in %s\n", op, where);
    exit(-1);
}

// lo:hi op= imm pair
void gen_op_gr8_i8(codegen_context* cg, int op, lpair t, s4 il, s4 ih)
{
    switch (op) {
    case QOP_ADD:
        gen_arithmetic_gr_i4(cg, ALU_ADD2, gid(t.lo), il);
        gen_arithmetic_gr_i4(cg, ALU_ADC, gid(t.hi), ih);
        return;
    case QOP_SUB:
        gen_arithmetic_gr_i4(cg, ALU_SUB2, gid(t.lo), il);
        gen_arithmetic_gr_i4(cg, ALU_SBB, gid(t.hi), ih);
        return;
    case QOP_AND: case QOP_OR: case QOP_XOR: {
        int alu = op == QOP_AND ? ALU_AND : op == QOP_OR ? ALU_OR : ALU_XOR;
        gen_arithmetic_gr_i4(cg, alu, gid(t.lo), il);
        gen_arithmetic_gr_i4(cg, alu, gid(t.hi), ih);
        return;
    }
    default:
        unsupported("gen_op_gr8_i8", op);
    }
}

void gen_op_gr8_gr8(codegen_context* cg, int op, lpair t, lpair b)
{
    switch (op) {
    case QOP_ADD:
        gen_arithmetic_gr_gr(cg, ALU_ADD2, gid(t.lo), gid(b.lo));
        gen_arithmetic_gr_gr(cg, ALU_ADC, gid(t.hi), gid(b.hi));
        return;
    case QOP_SUB:
        gen_arithmetic_gr_gr(cg, ALU_SUB2, gid(t.lo), gid(b.lo));
        gen_arithmetic_gr_gr(cg, ALU_SBB, gid(t.hi), gid(b.hi));
        return;
    case QOP_AND: case QOP_OR: case QOP_XOR: {
        int alu = op == QOP_AND ? ALU_AND : op == QOP_OR ? ALU_OR : ALU_XOR;
        gen_arithmetic_gr_gr(cg, alu, gid(t.lo), gid(b.lo));
        gen_arithmetic_gr_gr(cg, alu, gid(t.hi), gid(b.hi));
        return;
    }
    default:
        unsupported("gen_op_gr8", op);
    }
}

// 64-bit product: lo = low(al*bl), hi = high(al*bl) + al*bh + ah*bl.
void gen_mul_LLL(codegen_context* cg, reg_operand* d, reg_operand* a, reg_operand* b, quadruple** slot)
{
    lpair x = lcopy(cg, &a[0], &a[1], slot, 0x03);   // outside eax and edx
    lpair y = lcopy(cg, &b[0], &b[1], slot, 0x03 | rbit(x.lo) | rbit(x.hi));
    if (op_absent(&d[1])) {
        gen_mul_gr_gr(cg, gid(x.lo), gid(y.lo));
        _free_int_reg(cg, x.hi, 0, 0, 0);
        _free_int_reg(cg, y.lo, 0, 0, 0);
        _free_int_reg(cg, y.hi, 0, 0, 0);
        gi_done(cg, &a[0], -1);
        gi_done(cg, &b[0], -1);
        gi_bind(cg, &d[0], x.lo);
        return;
    }
    int eax = gi_alloc(cg, 0x01, 0);
    int edx = gi_alloc(cg, 0x02, 0);
    gen_mul_gr_gr(cg, gid(x.hi), gid(y.lo));
    gen_mul_gr_gr(cg, gid(y.hi), gid(x.lo));
    gen_arithmetic_gr_gr(cg, ALU_ADD, gid(x.hi), gid(y.hi));
    gen_move_gr_gr(cg, gid(eax), gid(x.lo));
    gen_umul_gr(cg, gid(y.lo));
    gen_arithmetic_gr_gr(cg, ALU_ADD, gid(edx), gid(x.hi));
    _free_int_reg(cg, x.lo, 0, 0, 0);
    _free_int_reg(cg, x.hi, 0, 0, 0);
    _free_int_reg(cg, y.lo, 0, 0, 0);
    _free_int_reg(cg, y.hi, 0, 0, 0);
    gi_done(cg, &a[0], -1);
    gi_done(cg, &a[1], -1);
    gi_done(cg, &b[0], -1);
    gi_done(cg, &b[1], -1);
    lbind(cg, &d[0], &d[1], lpair{eax, edx});
}

// Shift of a temporary pair by a constant count (masked to 6 bits).
void gen_shift_gr8_i(codegen_context* cg, int op, lpair t, int s)
{
    s &= 63;
    u4 lo = gid(t.lo), hi = gid(t.hi);
    if (s == 0)
        return;
    if (op == QOP_SHL) {
        if (s < 32) {
            gen_shift8_gr_gr_i4(cg, SHIFT_SHLD, hi, lo, s);
            gen_shift_gr_i4(cg, SHIFT_SHL, lo, s);
        } else {
            gen_move_gr_gr(cg, hi, lo);
            gen_move_gr_i4(cg, lo, 0);
            if (s > 32)
                gen_shift_gr_i4(cg, SHIFT_SHL, hi, s - 32);
        }
    } else if (op == QOP_SHR) {
        if (s < 32) {
            gen_shift8_gr_gr_i4(cg, SHIFT_SHRD, lo, hi, s);
            gen_shift_gr_i4(cg, SHIFT_SAR, hi, s);
        } else {
            gen_move_gr_gr(cg, lo, hi);
            gen_shift_gr_i4(cg, SHIFT_SAR, hi, 31);
            if (s > 32)
                gen_shift_gr_i4(cg, SHIFT_SAR, lo, s - 32);
        }
    } else {
        if (s < 32) {
            gen_shift8_gr_gr_i4(cg, SHIFT_SHRD, lo, hi, s);
            gen_shift_gr_i4(cg, SHIFT_SHR, hi, s);
        } else {
            gen_move_gr_gr(cg, lo, hi);
            gen_move_gr_i4(cg, hi, 0);
            if (s > 32)
                gen_shift_gr_i4(cg, SHIFT_SHR, lo, s - 32);
        }
    }
}

// Shift by the count in ecx (bit 5 of cl chooses the form; the processor
// masks cl to 5 bits, which gives the shift by s - 32 in the second form).
void gen_shift_gr8_cl(codegen_context* cg, int op, lpair t)
{
    u4 lo = gid(t.lo), hi = gid(t.hi);
    gi_seq s;
    gi_seq_begin(cg, &s);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_TEST, GR_ECX, 32, SIZE_DWORD);
    u1* big = gi_jshort(cg, COND_NE);
    if (op == QOP_SHL) {
        _gen_SHIFT8_gr_gr_gr(cg, SHIFT_SHLD, hi, lo);
        _gen_SHIFT_gr(cg, SHIFT_SHL, lo);
    } else {
        _gen_SHIFT8_gr_gr_gr(cg, SHIFT_SHRD, lo, hi);
        _gen_SHIFT_gr(cg, op == QOP_SHR ? SHIFT_SAR : SHIFT_SHR, hi);
    }
    u1* done = gi_jshort(cg, COND_ALWAYS);
    gi_land(cg, big);
    if (op == QOP_SHL) {
        _gen_move_gr_gr(cg, hi, lo);
        _gen_ARITHMETIC_xgr_xgr(cg, ALU_XOR, lo, lo, SIZE_DWORD);
        _gen_SHIFT_gr(cg, SHIFT_SHL, hi);
    } else if (op == QOP_SHR) {
        _gen_move_gr_gr(cg, lo, hi);
        _gen_SHIFT_gr_i4(cg, SHIFT_SAR, hi, 31);
        _gen_SHIFT_gr(cg, SHIFT_SAR, lo);
    } else {
        _gen_move_gr_gr(cg, lo, hi);
        _gen_ARITHMETIC_xgr_xgr(cg, ALU_XOR, hi, hi, SIZE_DWORD);
        _gen_SHIFT_gr(cg, SHIFT_SHR, lo);
    }
    gi_land(cg, done);
    gi_seq_end(cg, &s);
}

constexpr int RT_LL_DIV = 27, RT_LL_REM = 28, RT_LI_DIV = 29, RT_LI_REM = 30;

// The dividend in eax (low) and edx (high), copies the caller overwrites.
lpair dividend_in_eax_edx(codegen_context* cg, reg_operand* a, quadruple** slot, u4 excluded)
{
    lpair p;
    if (long_imm(&a[0])) {
        s4 wl, wh;
        imm_words(cg, &a[0], &a[1], &wl, &wh);
        p.lo = gi_alloc(cg, 0x01, excluded);
        p.hi = gi_alloc(cg, 0x02, excluded);
        gen_move_gr_i4(cg, gid(p.lo), wl);
        gen_move_gr_i4(cg, gid(p.hi), wh);
        return p;
    }
    p.hi = gi_alloc(cg, 0x02, excluded);   // edx vacated before the low word is read
    p.lo = gi_copy(cg, &a[0], slot, 0x01, excluded | 0x02);
    if (op_absent(&a[1])) {
        gen_move_gr_gr(cg, gid(p.hi), gid(p.lo));
        gen_shift_gr_i4(cg, SHIFT_SAR, gid(p.hi), 31);
    } else {
        int r = gi_read(cg, &a[1], slot, RM_ALL_INT, excluded | 0x03);
        gen_move_gr_gr(cg, gid(p.hi), gid(r));
        _free_int_reg(cg, r, 0, 0, 0);
    }
    return p;
}

// A divisor that fits 32 bits (t, or the constant c when t < 0): one IDIV
// when the quotient fits 32 bits, else `_li_div` / `_li_rem`.  The guard:
// with u = |divisor| / 2, a dividend whose high word is below u (unsigned,
// so every negative dividend fails) is below |divisor| x 2^31, and its
// quotient lies strictly inside the int range.  u is halved with a logical
// shift: |0x80000000| is 0x80000000 as an unsigned word, and an arithmetic
// shift would make u 0xC0000000 and let IDIV overflow.
void gen_divrem_by_int(codegen_context* cg, int op, reg_operand* d, reg_operand* a, reg_operand* b,
                       quadruple** slot, bool constant, s4 c)
{
    int t = constant ? gi_alloc(cg, 0x7C, 0) : gi_read(cg, &b[0], slot, 0x7C, 0x03);
    if (constant)
        gen_move_gr_i4(cg, gid(t), c);
    lpair x = dividend_in_eax_edx(cg, a, slot, rbit(t));
    int u = constant ? -1 : gi_alloc(cg, RM_ALL_INT, 0x03 | rbit(t));
    u4 eax = gid(x.lo), edx = gid(x.hi), tg = gid(t);
    gi_seq s;
    gi_seq_begin(cg, &s);
    if (constant) {
        u4 half = (c < 0 ? 0u - (u4)c : (u4)c) >> 1;
        _gen_cmp_gr_i4(cg, edx, (s4)half);
    } else {
        _gen_move_gr_gr(cg, gid(u), tg);
        _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, gid(u), gid(u), SIZE_DWORD);
        u1* positive = gi_jshort(cg, COND_GE);
        _gen_neg_gr(cg, gid(u));
        gi_land(cg, positive);
        _gen_SHIFT_gr_i4(cg, SHIFT_SHR, gid(u), 1);
        _gen_cmp_gr_gr(cg, edx, gid(u));
    }
    u1* slow = gi_jshort(cg, COND_AE);
    _gen_div_gr(cg, tg);
    if (op == QOP_DIV)
        _gen_move_gr_gr(cg, edx, eax);
    else
        _gen_move_gr_gr(cg, eax, edx);
    _gen_SHIFT_gr_i4(cg, SHIFT_SAR, edx, 31);
    u1* done = gi_jshort(cg, COND_ALWAYS);
    gi_land(cg, slow);
    _gen_push(cg, tg);
    _gen_push(cg, edx);
    _gen_push(cg, eax);
    _gen_call(cg, op == QOP_DIV ? RT_LI_DIV : RT_LI_REM);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ESP, 12, SIZE_DWORD);
    gi_land(cg, done);
    gi_seq_end(cg, &s);
    if (u >= 0)
        _free_int_reg(cg, u, 0, 0, 0);
    if (constant)
        _free_int_reg(cg, t, 0, 0, 0);
    else
        gi_done(cg, &b[0], t);
    gi_done(cg, &a[0], -1);
    if (!op_absent(&a[1]))
        gi_done(cg, &a[1], -1);
    lbind(cg, &d[0], &d[1], x);
}

void gen_divrem_LLL(codegen_context* cg, int op, reg_operand* d, reg_operand* a, reg_operand* b, quadruple** slot)
{
    if (long_imm(&b[0])) {
        s4 wl, wh;
        imm_words(cg, &b[0], &b[1], &wl, &wh);
        if (wl == 0 && wh == 0) {
            if (!long_imm(&a[0]))
                lrelease(cg, &a[0], &a[1], lread(cg, &a[0], &a[1], slot, 0));
            _gen_test_and_throw_exception(cg, COND_ALWAYS, 0, 0, 0, 0, 0, 0xE000000Fu, cg->mb, 0);
            return;
        }
        if (wh == (wl < 0 ? -1 : 0)) {
            gen_divrem_by_int(cg, op, d, a, b, slot, true, wl);
            return;
        }
    } else if (op_absent(&b[1])) {
        gen_divrem_by_int(cg, op, d, a, b, slot, false, 0);
        return;
    }
    // eax and edx receive the result; the helper keeps every other register.
    int eax = gi_alloc(cg, 0x01, 0);
    int edx = gi_alloc(cg, 0x02, 0);
    lpair y = lread(cg, &b[0], &b[1], slot, 0x03);
    lpair x = lread(cg, &a[0], &a[1], slot, 0x03 | rbit(y.lo) | rbit(y.hi));
    gi_seq s;
    gi_seq_begin(cg, &s);
    _gen_push(cg, gid(y.hi));
    _gen_push(cg, gid(y.lo));
    _gen_push(cg, gid(x.hi));
    _gen_push(cg, gid(x.lo));
    _gen_call(cg, op == QOP_DIV ? RT_LL_DIV : RT_LL_REM);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ESP, 16, SIZE_DWORD);   // tracks the stack offset itself
    gi_seq_end(cg, &s);
    lrelease(cg, &a[0], &a[1], x);
    lrelease(cg, &b[0], &b[1], y);
    lbind(cg, &d[0], &d[1], lpair{eax, edx});
}

// max or min of a and b: the pair of a is kept unless b wins, then
// b's words are copied over it.  High words compare signed, low words
// unsigned.
void gen_maxmin_LLL(codegen_context* cg, int op, reg_operand* d, reg_operand* a, reg_operand* b, quadruple** slot)
{
    lpair t = lcopy(cg, &a[0], &a[1], slot, 0);
    bool bi = long_imm(&b[0]);
    s4 wl = 0, wh = 0;
    lpair y = {-1, -1};
    if (bi)
        imm_words(cg, &b[0], &b[1], &wl, &wh);
    else
        y = lread(cg, &b[0], &b[1], slot, rbit(t.lo) | rbit(t.hi));
    bool is_max = op == QOP_MAX;
    gi_seq s;
    gi_seq_begin(cg, &s);
    if (bi)
        _gen_cmp_gr_i4(cg, gid(t.hi), wh);
    else
        _gen_cmp_gr_gr(cg, gid(t.hi), gid(y.hi));
    u1* keep1 = gi_jshort(cg, is_max ? COND_GT : COND_LT);
    u1* take = gi_jshort(cg, is_max ? COND_LT : COND_GT);
    if (bi)
        _gen_cmp_gr_i4(cg, gid(t.lo), wl);
    else
        _gen_cmp_gr_gr(cg, gid(t.lo), gid(y.lo));
    u1* keep2 = gi_jshort(cg, is_max ? COND_AE : COND_BE);
    gi_land(cg, take);
    if (bi) {
        _gen_move_gr_i4(cg, gid(t.hi), wh);
        _gen_move_gr_i4(cg, gid(t.lo), wl);
    } else {
        _gen_move_gr_gr(cg, gid(t.hi), gid(y.hi));
        _gen_move_gr_gr(cg, gid(t.lo), gid(y.lo));
    }
    gi_land(cg, keep1);
    gi_land(cg, keep2);
    gi_seq_end(cg, &s);
    if (!bi)
        lrelease(cg, &b[0], &b[1], y);
    gi_done(cg, &a[0], -1);
    if (!op_absent(&a[1]))
        gi_done(cg, &a[1], -1);
    lbind(cg, &d[0], &d[1], t);
}

}  // namespace

int gen_move_LL(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    reg_operand* d = &o->r[0];
    reg_operand* a = &o->r[2];
    if (op_absent(&d[0]) || (op_same(&d[0], &a[0]) && op_same(&d[1], &a[1])))
        return 0;
    lpair t = lcopy(cg, &a[0], &a[1], slot, 0);
    gi_done(cg, &a[0], -1);
    if (!op_absent(&a[1]))
        gi_done(cg, &a[1], -1);
    lbind(cg, &d[0], &d[1], t);
    return 0;
}

int gen_op1_LL(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    int op = (*slot)->op;
    reg_operand* d = &o->r[0];
    reg_operand* a = &o->r[2];
    lpair t = lcopy(cg, &a[0], &a[1], slot, 0);
    switch (op) {
    case QOP_NEG:
        gen_neg_gr(cg, gid(t.lo));
        gen_arithmetic_gr_i4(cg, ALU_ADC, gid(t.hi), 0);
        gen_neg_gr(cg, gid(t.hi));
        break;
    case QOP_ABS: {
        int s = gi_alloc(cg, RM_ALL_INT, rbit(t.lo) | rbit(t.hi));
        gen_move_gr_gr(cg, gid(s), gid(t.hi));
        gen_shift_gr_i4(cg, SHIFT_SAR, gid(s), 31);
        gen_arithmetic_gr_gr(cg, ALU_XOR, gid(t.hi), gid(s));
        gen_arithmetic_gr_gr(cg, ALU_XOR, gid(t.lo), gid(s));
        gen_arithmetic_gr_gr(cg, ALU_SUB2, gid(t.lo), gid(s));
        gen_arithmetic_gr_gr(cg, ALU_SBB, gid(t.hi), gid(s));
        _free_int_reg(cg, s, 0, 0, 0);
        break;
    }
    default:
        unsupported("gen_op_gr8", op);
    }
    gi_done(cg, &a[0], -1);
    if (!op_absent(&a[1]))
        gi_done(cg, &a[1], -1);
    lbind(cg, &d[0], &d[1], t);
    return 0;
}

int gen_op2_LLL(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    int op = (*slot)->op;
    reg_operand* d = &o->r[0];
    reg_operand* a = &o->r[2];
    reg_operand* b = &o->r[4];
    switch (op) {
    case QOP_MUL:
        gen_mul_LLL(cg, d, a, b, slot);
        return 0;
    case QOP_DIV:
    case QOP_REM:
        gen_divrem_LLL(cg, op, d, a, b, slot);
        return 0;
    case QOP_MAX:
    case QOP_MIN:
        gen_maxmin_LLL(cg, op, d, a, b, slot);
        return 0;
    case QOP_SHL: case QOP_SHR: case QOP_USHR: {
        // A shift quadruple routed here: the count is the low word of the
        // second source (a long count is masked like an int one).
        if (op_is_imm(&b[0])) {
            lpair t = lcopy(cg, &a[0], &a[1], slot, 0);
            gen_shift_gr8_i(cg, op, t, (int)get_imm_long_op(cg, &b[0]));
            gi_done(cg, &a[0], -1);
            if (!op_absent(&a[1]))
                gi_done(cg, &a[1], -1);
            lbind(cg, &d[0], &d[1], t);
            return 0;
        }
        int rc = gi_read(cg, &b[0], slot, 0x04, 0);
        lpair t = lcopy(cg, &a[0], &a[1], slot, 0x04);
        gen_shift_gr8_cl(cg, op, t);
        gi_done(cg, &b[0], rc);
        if (!op_absent(&b[1]))
            gi_done(cg, &b[1], -1);
        gi_done(cg, &a[0], -1);
        if (!op_absent(&a[1]))
            gi_done(cg, &a[1], -1);
        lbind(cg, &d[0], &d[1], t);
        return 0;
    }
    default:
        break;
    }
    lpair t = lcopy(cg, &a[0], &a[1], slot, 0);
    if (long_imm(&b[0])) {
        s4 wl, wh;
        imm_words(cg, &b[0], &b[1], &wl, &wh);
        gen_op_gr8_i8(cg, op, t, wl, wh);
    } else {
        lpair y = lread(cg, &b[0], &b[1], slot, rbit(t.lo) | rbit(t.hi));
        gen_op_gr8_gr8(cg, op, t, y);
        lrelease(cg, &b[0], &b[1], y);
    }
    gi_done(cg, &a[0], -1);
    if (!op_absent(&a[1]))
        gi_done(cg, &a[1], -1);
    lbind(cg, &d[0], &d[1], t);
    return 0;
}

int gen_op15_LLI(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    int op = (*slot)->op;
    reg_operand* d = &o->r[0];
    reg_operand* a = &o->r[2];
    reg_operand* count = &o->x[4];
    if (op < QOP_SHL || op > QOP_USHR) {
        fprintf(stderr, "not support operation %d in gen_op15_LLI\n", op);
        exit(-1);
    }
    if (op_is_imm(count)) {
        lpair t = lcopy(cg, &a[0], &a[1], slot, 0);
        gen_shift_gr8_i(cg, op, t, (int)count->value);
        gi_done(cg, &a[0], -1);
        if (!op_absent(&a[1]))
            gi_done(cg, &a[1], -1);
        lbind(cg, &d[0], &d[1], t);
        return 0;
    }
    int rc = gi_read(cg, count, slot, 0x04, 0);
    lpair t = lcopy(cg, &a[0], &a[1], slot, 0x04);
    gen_shift_gr8_cl(cg, op, t);
    gi_done(cg, count, rc);
    gi_done(cg, &a[0], -1);
    if (!op_absent(&a[1]))
        gi_done(cg, &a[1], -1);
    lbind(cg, &d[0], &d[1], t);
    return 0;
}

// lcmp: d = -1, 0 or 1 as a < b, a == b, a > b (high words signed, low
// words unsigned).  The long set-up (r) holds the sources with both words;
// the int set-up (x) holds the int result (its view of a source has no high
// word).
int gen_cmp_ILL(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    reg_operand* d = &o->x[0];
    reg_operand* a = &o->r[2];
    reg_operand* b = &o->r[4];
    lpair x = lread(cg, &a[0], &a[1], slot, 0);
    bool bi = long_imm(&b[0]);
    s4 wl = 0, wh = 0;
    lpair y = {-1, -1};
    if (bi)
        imm_words(cg, &b[0], &b[1], &wl, &wh);
    else
        y = lread(cg, &b[0], &b[1], slot, rbit(x.lo) | rbit(x.hi));
    int r = gi_alloc(cg, RM_ALL_INT, rbit(x.lo) | rbit(x.hi) | rbit(y.lo) | rbit(y.hi));
    gi_seq s;
    gi_seq_begin(cg, &s);
    if (bi)
        _gen_cmp_gr_i4(cg, gid(x.hi), wh);
    else
        _gen_cmp_gr_gr(cg, gid(x.hi), gid(y.hi));
    u1* less1 = gi_jshort(cg, COND_LT);
    u1* more1 = gi_jshort(cg, COND_GT);
    if (bi)
        _gen_cmp_gr_i4(cg, gid(x.lo), wl);
    else
        _gen_cmp_gr_gr(cg, gid(x.lo), gid(y.lo));
    u1* less2 = gi_jshort(cg, COND_B);
    u1* more2 = gi_jshort(cg, COND_A);
    _gen_move_gr_i4(cg, gid(r), 0);
    u1* end1 = gi_jshort(cg, COND_ALWAYS);
    gi_land(cg, less1);
    gi_land(cg, less2);
    _gen_move_gr_i4(cg, gid(r), -1);
    u1* end2 = gi_jshort(cg, COND_ALWAYS);
    gi_land(cg, more1);
    gi_land(cg, more2);
    _gen_move_gr_i4(cg, gid(r), 1);
    gi_land(cg, end1);
    gi_land(cg, end2);
    gi_seq_end(cg, &s);
    lrelease(cg, &a[0], &a[1], x);
    if (!bi)
        lrelease(cg, &b[0], &b[1], y);
    gi_bind(cg, d, r);
    return 0;
}

// Flags for a long compare-and-branch on `cond` (EQ .. GE), from one 64-bit
// subtraction (ordered conditions) or the or of the words' differences
// (EQ, NE); answers the condition the single jump tests.  GT and LE
// subtract the other way round and test LT and GE.
int gen_lcmp_flags(codegen_context* cg, int cond, reg_operand* a, reg_operand* b, quadruple** slot)
{
    if (cond < COND_EQ || cond > COND_GE) {
        fprintf(stderr, "not support condition %d in gen_cmp_CLL\n", cond);
        exit(-1);
    }
    bool swap = cond == COND_GT || cond == COND_LE;
    reg_operand* x = swap ? b : a;
    reg_operand* y = swap ? a : b;
    lpair p = lread(cg, &x[0], &x[1], slot, 0);
    lpair q = lread(cg, &y[0], &y[1], slot, rbit(p.lo) | rbit(p.hi));
    u4 busy = rbit(p.lo) | rbit(p.hi) | rbit(q.lo) | rbit(q.hi);
    int t = gi_alloc(cg, RM_ALL_INT, busy);
    int t2 = cond == COND_EQ || cond == COND_NE ? gi_alloc(cg, RM_ALL_INT, busy | rbit(t)) : -1;
    int out;
    gi_seq s;
    gi_seq_begin(cg, &s);
    if (t2 >= 0) {
        _gen_move_gr_gr(cg, gid(t), gid(p.lo));
        _gen_ARITHMETIC_xgr_xgr(cg, ALU_XOR, gid(t), gid(q.lo), SIZE_DWORD);
        _gen_move_gr_gr(cg, gid(t2), gid(p.hi));
        _gen_ARITHMETIC_xgr_xgr(cg, ALU_XOR, gid(t2), gid(q.hi), SIZE_DWORD);
        _gen_ARITHMETIC_xgr_xgr(cg, ALU_OR, gid(t), gid(t2), SIZE_DWORD);
        out = cond;
    } else {
        _gen_move_gr_gr(cg, gid(t), gid(p.hi));
        _gen_cmp_gr_gr(cg, gid(p.lo), gid(q.lo));
        _gen_ARITHMETIC_xgr_xgr(cg, ALU_SBB, gid(t), gid(q.hi), SIZE_DWORD);
        out = cond == COND_LT || cond == COND_GT ? COND_LT : COND_GE;
    }
    gi_seq_end(cg, &s);
    _free_int_reg(cg, t, 0, 0, 0);
    if (t2 >= 0)
        _free_int_reg(cg, t2, 0, 0, 0);
    lrelease(cg, &y[0], &y[1], q);
    lrelease(cg, &x[0], &x[1], p);
    return out;
}

// Long compare and branch to the quadruple's target block.
int gen_cmp_CLL(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    cg->branch_quad = cg->cur_quad;
    int cond = gen_lcmp_flags(cg, q->op, &o->r[2], &o->r[4], slot);
    u4 b = (u4)cg->cur_bb;
    bbattr* bb = cg->bbtable[b];
    u4 target = q->target;
    u4 fall = bb->succ_count != 0 ? bb->succ[0] : target;
    if (bb->flags2 & BB2_FORWARD_BRANCH)
        BB_change_register_info_before_branch(cg, (int)b, (int)fall);
    else if (bb->flags & BB_BACKWARD_BRANCH)
        BB_change_register_info_before_branch(cg, (int)b, (int)target);
    gen_jmp_and_patch(cg, (u4)cond, target, b, -1, 0);
    return 0;
}
