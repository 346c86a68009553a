// Float and double to int and long with Java's rules: truncation toward
// zero, NaN to 0, saturation at the type's limits.  The fast path stores
// the value with FIST; the integer indefinite value (what FIST answers for
// NaN and out-of-range values) sends the conversion to run-time routine
// `__get_correct_f2i`, which classifies the value still on the x87 top.
#include <cstdio>
#include <cstdlib>

#include "codegen/cg_core.h"
#include "codegen/gen/gen_fp.h"

static u1* cv_jshort(codegen_context* cg, int cond)
{
    u1* p = cg->code;
    _gen_jmpcc(cg, cond, UNRESOLVED_TARGET, 1);
    return cg->pass == CG_PASS_WRITE ? p + 1 : nullptr;
}

static void cv_land(codegen_context* cg, u1* disp)
{
    if (disp == nullptr)
        return;
    s4 d = (s4)(cg->code - (disp + 1));
    if (d > 127) {
        cg_internal_error("short jump out of range (%d) in a conversion", (int)d);
    }
    *disp = (u1)d;
}

// The integer R in lo (and hi) and in the slot was rounded to nearest;
// bring it toward zero: x > 0 and R > x gives R - 1, x <= 0 and R < x gives
// R + 1.  A NaN compares unordered and leaves R alone.  x is on the top.
static void fix_rounding(codegen_context* cg, int is_long, u4 lo, u4 hi, u4 base, s4 disp)
{
    _gen_move_fr_imm(cg, 0);                 // fldz
    _gen_cmpi_fr_fr(cg, 1, 0, 1);            // fcomip st, st(1): 0.0 against x
    u1* not_positive = cv_jshort(cg, COND_AE);
    _gen_move_fri_mm(cg, base, 0, 0, disp, is_long ? 8 : 4);
    _gen_cmpi_fr_fr(cg, 1, 0, 1);            // R against x
    u1* fine1 = cv_jshort(cg, COND_BE);
    if (is_long) {
        _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB2, lo, 1, SIZE_DWORD);
        _gen_ARITHMETIC_xgr_i4(cg, ALU_SBB, hi, 0, SIZE_DWORD);
    } else {
        _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB2, lo, 1, SIZE_DWORD);
    }
    u1* end = cv_jshort(cg, COND_ALWAYS);
    cv_land(cg, not_positive);
    _gen_move_fri_mm(cg, base, 0, 0, disp, is_long ? 8 : 4);
    _gen_cmpi_fr_fr(cg, 1, 0, 1);
    u1* fine2 = cv_jshort(cg, COND_AE);
    if (is_long) {
        _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD2, lo, 1, SIZE_DWORD);
        _gen_ARITHMETIC_xgr_i4(cg, ALU_ADC, hi, 0, SIZE_DWORD);
    } else {
        _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD2, lo, 1, SIZE_DWORD);
    }
    cv_land(cg, fine1);
    cv_land(cg, fine2);
    cv_land(cg, end);
}

// The run-time routine's answer (EAX for int; EDX low, EAX high for long)
// into the result registers, EAX and EDX kept when they are not results.
static void recover(codegen_context* cg, int is_long, u4 lo, u4 hi)
{
    int eax_result = lo == GR_EAX || (is_long && hi == GR_EAX);
    int edx_result = lo == GR_EDX || (is_long && hi == GR_EDX);
    if (!eax_result)
        _gen_push(cg, GR_EAX);
    if (!edx_result)
        _gen_push(cg, GR_EDX);
    _gen_call(cg, RT_GET_CORRECT_F2I);
    if (!is_long) {
        if (lo != GR_EAX)
            _gen_move_gr_gr(cg, lo, GR_EAX);
    } else if (lo == GR_EAX && hi == GR_EDX) {
        _gen_xchg_gr_gr(cg, GR_EAX, GR_EDX);
    } else if (lo == GR_EAX) {
        _gen_move_gr_gr(cg, hi, GR_EAX);
        _gen_move_gr_gr(cg, GR_EAX, GR_EDX);
    } else if (hi == GR_EDX) {
        _gen_move_gr_gr(cg, lo, GR_EDX);
        _gen_move_gr_gr(cg, GR_EDX, GR_EAX);
    } else {
        if (lo != GR_EDX)
            _gen_move_gr_gr(cg, lo, GR_EDX);
        if (hi != GR_EAX)
            _gen_move_gr_gr(cg, hi, GR_EAX);
    }
    if (!edx_result)
        _gen_pop(cg, GR_EDX);
    if (!eax_result)
        _gen_pop(cg, GR_EAX);
}

int gen_f2i_fr(codegen_context* cg, int is_long, u4 lo, u4 hi, u4 base, s4 disp)
{
    int cmov = fp_has_cmov();
    int single = (cg->flags & FPM_MASK) == FPM_SINGLE;
    cg_close_window(cg);
    u4 before = cg->code_size;
    u1* start = cg->code;
    if (!cmov)
        _gen_fldcw_mm(cg, single ? FCW_SINGLE_TRUNC : FCW_DOUBLE_TRUNC);
    if (is_long) {
        // FISTP is the only 64-bit store: store a copy, the value stays.
        _gen_move_fr_fr(cg, 0, 0, 0);
        _gen_move_mm_fr8i(cg, base, disp);
    } else {
        _gen_move_mm_fr4i(cg, base, disp);
    }
    if (!cmov)
        _gen_fldcw_mm(cg, single ? FCW_SINGLE_NEAREST : FCW_DOUBLE_NEAREST);
    _gen_move_gr_mm(cg, lo, base, 0, 0, disp);
    if (is_long)
        _gen_move_gr_mm(cg, hi, base, 0, 0, disp + 4);
    if (cmov)
        fix_rounding(cg, is_long, lo, hi, base, disp);
    // Only the indefinite value itself (0x80000000, or 0x80000000:00000000)
    // goes to the routine; a valid long whose high word is 0x80000000 and
    // low word nonzero is kept.
    u1* ok_lo = nullptr;
    if (is_long) {
        _gen_cmp_gr_i4(cg, hi, (s4)0x80000000);
        u1* ok_hi = cv_jshort(cg, COND_NE);
        _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, lo, lo, SIZE_DWORD);
        ok_lo = cv_jshort(cg, COND_NE);
        recover(cg, is_long, lo, hi);
        cv_land(cg, ok_hi);
    } else {
        _gen_cmp_gr_i4(cg, lo, (s4)0x80000000);
        ok_lo = cv_jshort(cg, COND_NE);
        recover(cg, is_long, lo, hi);
    }
    cv_land(cg, ok_lo);
    cg_open_window(cg);
    return cg->pass == CG_PASS_WRITE ? (int)(cg->code - start) : (int)(cg->code_size - before);
}
