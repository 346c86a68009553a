// x87 compares: the flag-setting compare that feeds a conditional branch and
// the three-way compare (-1, 0, +1) of fcmpl/fcmpg.  Java's NaN rule is met
// by the choice of the operand in st(0) and of the condition bits tested:
// an unordered compare is false for every relation but not-equal.
#include <cstdio>
#include <cstdlib>

#include "codegen/cg_core.h"
#include "codegen/gen/gen_fp.h"

static u1* fc_jshort(codegen_context* cg, int cond)
{
    u1* p = cg->code;
    _gen_jmpcc(cg, cond, UNRESOLVED_TARGET, 1);
    return cg->pass == CG_PASS_WRITE ? p + 1 : nullptr;
}

static void fc_land(codegen_context* cg, u1* disp)
{
    if (disp == nullptr)
        return;
    s4 d = (s4)(cg->code - (disp + 1));
    if (d > 127) {
        cg_internal_error("short jump out of range (%d) in an x87 compare", (int)d);
    }
    *disp = (u1)d;
}

static int mirror(int cond)
{
    switch (cond) {
    case COND_LT: return COND_GT;
    case COND_GT: return COND_LT;
    case COND_LE: return COND_GE;
    case COND_GE: return COND_LE;
    }
    return cond;
}

void swap_fcmp_operands(int* first, int* second, int* rule, int* cond)
{
    int t = *first;
    *first = *second;
    *second = t;
    *rule = *rule == FCMP_NAN_LESS ? FCMP_NAN_GREATER : FCMP_NAN_LESS;
    *cond = mirror(*cond);
}

// Compares st(0) (register j) with register i and tests the condition bits:
// the answer holds when (bits & mask) == pattern, or its negation when
// branch_if_match is 0.  Bits: C0 0x01 (st(0) below), C3 0x40 (equal), C2
// 0x04; all three when unordered.
int fcmp_status_test(codegen_context* cg, int mask, int pattern, int branch_if_match, int i, int j, int pop)
{
    jit_assert(fr_stack_index(cg, j) == 0);
    int si = fr_stack_index(cg, i);
    if (fp_has_cmov() && (mask == 0x01 || mask == 0x41) && pattern == 0) {
        cg_close_window(cg);
        _gen_cmpi_fr_fr(cg, si, 0, pop);
        cg_open_window(cg);
        if (mask == 0x01)
            return branch_if_match ? COND_AE : COND_B;
        return branch_if_match ? COND_A : COND_BE;
    }
    int eax = _alloc_int_reg(cg, 0x01, 0);
    cg_close_window(cg);
    _gen_cmp_fr_fr(cg, si, 0, pop);
    _gen_fnstsw(cg);
    if ((mask & pattern) == 0) {
        _gen_ARITHMETIC_xgr_i4(cg, ALU_TEST, GR_AH, mask, SIZE_BYTE);
    } else {
        _gen_ARITHMETIC_xgr_i4(cg, ALU_AND, GR_EAX, mask << 8, SIZE_DWORD);
        _gen_cmp_gr_i4(cg, GR_EAX, (mask & pattern) << 8);
    }
    cg_open_window(cg);
    _free_int_reg(cg, eax, 0, 0, 0);
    return branch_if_match ? COND_EQ : COND_NE;
}

// The first operand in st(0): NaN counts as less (LT, LE and NE hold).
int fcmp_fr_fr_cond(codegen_context* cg, int rule, int cond, int first, int second, int pop)
{
    (void)rule;
    switch (cond) {
    case COND_EQ:
    case COND_NE: return fcmp_status_test(cg, 0x45, 0x40, cond == COND_EQ, second, first, pop);
    case COND_LE:
    case COND_GT: return fcmp_status_test(cg, 0x41, 0, cond == COND_GT, second, first, pop);
    case COND_LT:
    case COND_GE: return fcmp_status_test(cg, 0x01, 0, cond == COND_GE, second, first, pop);
    }
    cg_internal_error("fcmp_fr_fr_cond: bad condition %d", cond);
}

// The second operand in st(0) (loaded for the compare, always popped), the
// first in register `first`.  Rule 6 tests "second below first" where the
// quadruple asks "first above second", so NaN falls on the greater side;
// rule 4 exchanges the two first and applies the st(0)-first table.
int fcmp_fr_fr_cond_loaded(codegen_context* cg, int rule, int cond, int first, int second, int pop_first)
{
    int pop = pop_first ? 2 : 1;
    int eqne = cond == COND_EQ || cond == COND_NE;
    if (rule == FCMP_NAN_LESS) {
        if (eqne)
            return fcmp_status_test(cg, 0x45, 0x40, cond == COND_EQ, first, second, pop);
        // FXCH: the first operand's value comes to st(0), the second's to
        // `first`'s place; the compare below reads them in that order.
        gen_xchg_fr_fr(cg, first, second);
        if (cond == COND_LT || cond == COND_GE)
            return fcmp_status_test(cg, 0x01, 0, cond == COND_GE, first, second, pop);
        return fcmp_status_test(cg, 0x41, 0, cond == COND_GT, first, second, pop);
    }
    if (rule == FCMP_NAN_GREATER) {
        if (eqne)
            return fcmp_status_test(cg, 0x45, 0x40, cond == COND_EQ, first, second, pop);
        if (cond == COND_LE || cond == COND_GT)
            return fcmp_status_test(cg, 0x01, 0, cond == COND_LE, first, second, pop);
        return fcmp_status_test(cg, 0x41, 0, cond == COND_LT, first, second, pop);
    }
    return cond;
}

// Three-way compare, the second operand in st(0) and the first in `first`:
// reg = -1, 0, +1 for first below, equal to, above second (constants
// exchanged when the generator exchanged the operands), NaN -1 under rule 4
// and +1 under rule 6.  Written as a jump sequence on every processor
// (FCOMI's flags on CMOV processors, FNSTSW/SAHF elsewhere).
int fcmp3_fr_loaded(codegen_context* cg, int rule, u4 reg, int first, int exchanged, int pop_both)
{
    if (rule != FCMP_NAN_LESS && rule != FCMP_NAN_GREATER)
        return 0;
    s4 L = exchanged ? -1 : 1, G = -L;      // L: the answer when st(0) = second is below
    int si = fr_stack_index(cg, first);
    int pop = pop_both ? 2 : 1;
    int eax = -1;
    int cmov = fp_has_cmov();
    if (!cmov && reg != GR_EAX)
        eax = _alloc_int_reg(cg, 0x01, 0);
    cg_close_window(cg);
    u4 before = cg->code_size;
    u1* start = cg->code;
    s4 x = G, y = L;
    if (rule == FCMP_NAN_LESS) {
        // first to st(0): below means first below second.
        _gen_xchg_fr_fr(cg, 0, si);
        x = L;
        y = G;
    }
    if (cmov) {
        _gen_cmpi_fr_fr(cg, si, 0, pop);
    } else {
        _gen_cmp_fr_fr(cg, si, 0, pop);
        _gen_fnstsw(cg);
        _gen_sahf(cg);
    }
    // CF: st(0) below (or unordered); ZF: equal (or unordered).
    u1* l1 = fc_jshort(cg, COND_C);
    u1* l2 = fc_jshort(cg, COND_EQ);
    _gen_move_gr_i4(cg, reg, x);
    u1* end1 = fc_jshort(cg, COND_ALWAYS);
    fc_land(cg, l1);
    _gen_move_gr_i4(cg, reg, y);
    u1* end2 = fc_jshort(cg, COND_ALWAYS);
    fc_land(cg, l2);
    _gen_move_gr_i4(cg, reg, 0);
    fc_land(cg, end1);
    fc_land(cg, end2);
    cg_open_window(cg);
    if (eax >= 0)
        _free_int_reg(cg, eax, 0, 0, 0);
    return cg->pass == CG_PASS_WRITE ? (int)(cg->code - start) : (int)(cg->code_size - before);
}
