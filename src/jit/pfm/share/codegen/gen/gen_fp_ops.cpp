// x87 precision control and the floating-point operators on stack
// registers: the control-word switches between 24-bit and 53-bit precision,
// the one-operand operators, the two-register and register-memory
// arithmetic, maximum and minimum with the run-time routine for the equal
// and unordered cases, and the remainders.
#include <cstdio>
#include <cstdlib>

#include "codegen/cg_core.h"
#include "codegen/gen/gen_fp.h"

// ---------------------------------------------------------------------------
// Small sequence helpers: short forward jumps patched when their target is
// reached, and EAX reserved for FNSTSW.
// ---------------------------------------------------------------------------
static u1* fp_jshort(codegen_context* cg, int cond)
{
    u1* p = cg->code;
    _gen_jmpcc(cg, cond, UNRESOLVED_TARGET, 1);
    return cg->pass == CG_PASS_WRITE ? p + 1 : nullptr;
}

static void fp_land(codegen_context* cg, u1* disp)
{
    if (disp == nullptr)
        return;
    s4 d = (s4)(cg->code - (disp + 1));
    if (d > 127) {
        cg_internal_error("short jump out of range (%d) in an x87 sequence", (int)d);
    }
    *disp = (u1)d;
}

// A short backward jump to `target` (a position in this sequence).
static void fp_jback(codegen_context* cg, int cond, u1* target)
{
    u1* disp = fp_jshort(cg, cond);
    if (disp != nullptr)
        *disp = (u1)(s4)(target - (disp + 1));
}

// Whether FCOMI and CMOV may be used.  The processor facts belong to the
// start-up code; binaries that link the emitters without it (the emitters'
// own tests) see a processor without CMOV.
#pragma weak orva_processor_cmov_support
int fp_has_cmov(void) { return &orva_processor_cmov_support != nullptr && orva_processor_cmov_support != 0; }

static int reserve_eax(codegen_context* cg) { return _alloc_int_reg(cg, 0x01, 0); }
static void release_eax(codegen_context* cg, int r) { _free_int_reg(cg, r, 0, 0, 0); }

// ---------------------------------------------------------------------------
// Precision control
// ---------------------------------------------------------------------------

// Switches the emitted code's precision to mode & FPM_MASK and answers the
// previous mode bits.  A request of 0 asks for the standard 53-bit precision
// (around calls and the like) without recording it, unless the method has
// been marked as left in 24-bit precision; 0 with FPM_LEFT_SINGLE marks it.
u4 gen_fp_set_mode(codegen_context* cg, u4 mode)
{
    u4 requested = mode & FPM_MASK, current = cg->flags & FPM_MASK;
    int record = 1;
    if (requested == 0) {
        if (mode & FPM_LEFT_SINGLE) {
            if (current == FPM_SINGLE)
                cg->flags |= FPM_LEFT_SINGLE;
            return current;
        }
        if (cg->flags & FPM_LEFT_SINGLE)
            return current;
        requested = FPM_DOUBLE;
        record = 0;
    }
    if (requested == FPM_SINGLE && current != FPM_SINGLE)
        gen_fldcw_mm(cg, FCW_SINGLE_NEAREST, 0);
    else if (requested == FPM_DOUBLE && current == FPM_SINGLE)
        gen_fldcw_mm(cg, FCW_DOUBLE_NEAREST, 0);
    if (record)
        cg->flags = (cg->flags & ~FPM_MASK) | requested;
    return current;
}

// The precision the method body starts in.  The method's floating-point
// work per block is not counted by the front end here, so no method is
// found worth the 24-bit mode and its control-word switches: every body
// runs in 53-bit precision.  The frame's x87 area: the measuring pass
// reserves the 8-byte slot; the writing pass keeps what the measuring
// pass's rounding requests (flags 0x800 with 0x20000 or 0x40000) need.
u4 gen_fp_decide_precision(codegen_context* cg)
{
    u4 mode = FPM_DOUBLE;
    u4 f = cg->flags & ~(FPM_SINGLE | FPM_LEFT_SINGLE | FPM_DOUBLE | CG_FP_PRECISION_4 | CG_FP_PRECISION_8);
    if (cg->pass == CG_PASS_MEASURE)
        f |= CG_FP_PRECISION_8;
    else if ((f & CG_FP_SPILL_ROUNDED) && (f & CG_FP_SPILL_ROUNDED_8))
        f |= CG_FP_PRECISION_8;
    if ((f & CG_FP_SPILL_ROUNDED) && (f & CG_FP_SPILL_ROUNDED_4))
        f |= CG_FP_PRECISION_4;
    cg->flags = f;
    return mode;
}

[[noreturn]] static void unsupported(const char* where, int op)
{
    fprintf(stderr, "not support operation %d in %s\n", op, where);
    exit(-1);
}

// ---------------------------------------------------------------------------
// One operand
// ---------------------------------------------------------------------------

// At least n x87 registers free above the top for the scratch entries of an
// instruction or routine: the model gives up (spills) the oldest entries
// when the stack is full.  Nothing is emitted when there is room.
static void fp_keep_free(codegen_context* cg, int n)
{
    if (cg->regs.rm == nullptr)
        return;
    s4 taken[3];
    for (int i = 0; i < n; i++)
        taken[i] = _alloc_fp_reg(cg, RM_ALL_FP, 0);
    for (int i = n - 1; i >= 0; i--)
        _free_fp_reg(cg, taken[i], 0);
}

static int fp_scratch_entries(int op)
{
    switch (op) {
    case FOPR_TAN: case FOPR_LOG: case FOPR_FLOOR: case FOPR_CEIL: return 1;
    case FOPR_EXP: case FOPR_POW: return 3;
    default: return 0;
    }
}

static int sequence_length(codegen_context* cg, u1* start, u4 before)
{
    return cg->pass == CG_PASS_WRITE ? (int)(cg->code - start) : (int)(cg->code_size - before);
}

// FSIN, FCOS, FPTAN on the top; C2 set (an argument beyond 2^63) sends the
// operation to the library call after the body.  FPTAN pushes 1.0 on
// success, dropped on the fast path.
static int gen_trig_fr(codegen_context* cg, int op)
{
    fp_keep_free(cg, fp_scratch_entries(op));
    int eax = reserve_eax(cg);
    cg_close_window(cg);
    u4 before = cg->code_size;
    u1* start = cg->code;
    _gen_math_fr(cg, op == FOPR_SIN ? FMATH_SIN : op == FOPR_COS ? FMATH_COS : FMATH_TAN);
    _gen_fnstsw(cg);
    _gen_sahf(cg);
    invalid_fop_record* r = register_invalid_fop_recovery(cg, COND_P, op);
    if (op == FOPR_TAN)
        _gen_pop_fr(cg);
    invalid_fop_resume_here(cg, r);
    release_eax(cg, eax);
    return sequence_length(cg, start, before);
}

// A run-time routine that answers eax = 0 when it declines (the operands
// left as they were), in which case the library call after the body
// computes the result.
static int gen_routine_with_recovery(codegen_context* cg, int op, int routine)
{
    fp_keep_free(cg, fp_scratch_entries(op));
    int eax = reserve_eax(cg);
    cg_close_window(cg);
    u4 before = cg->code_size;
    u1* start = cg->code;
    _gen_call(cg, routine);
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, GR_EAX, GR_EAX, SIZE_DWORD);
    invalid_fop_record* r = register_invalid_fop_recovery(cg, COND_EQ, op);
    invalid_fop_resume_here(cg, r);
    release_eax(cg, eax);
    return sequence_length(cg, start, before);
}

int gen_op_fr(codegen_context* cg, int op, int r)
{
    (void)r;
    int cmov = fp_has_cmov();
    if (op == FOPR_LOG || op == FOPR_FLOOR || op == FOPR_CEIL)
        fp_keep_free(cg, fp_scratch_entries(op));
    switch (op) {
    case FOPR_NEG: return gen_neg_fr(cg);
    case FOPR_ABS: return gen_abs_fr(cg);
    case FOPR_SQRT: return gen_sqrt_fr(cg);
    case FOPR_RINT: return gen_math_fr(cg, FMATH_RNDINT);
    case FOPR_LOG: return gen_call(cg, RT_LOGOF);
    case FOPR_FLOOR: return gen_call(cg, cmov ? RT_FLOOROF2 : RT_FLOOROF);
    case FOPR_CEIL: return gen_call(cg, cmov ? RT_CEILOF2 : RT_CEILOF);
    case FOPR_SIN:
    case FOPR_COS:
    case FOPR_TAN:
        return gen_trig_fr(cg, op);
    case FOPR_EXP:
        return gen_routine_with_recovery(cg, op, RT_EXPOF);
    }
    unsupported("gen_op_fr", op);
}

// ---------------------------------------------------------------------------
// Two stack registers
// ---------------------------------------------------------------------------
static void need_top_pair(const char* what, codegen_context* cg, int first, int second)
{
    if (fr_stack_index(cg, second) != 0 || fr_stack_index(cg, first) != 1) {
        cg_internal_error("%s: operands not in st(1), st(0)", what);
    }
}

// Maximum (is_max) or minimum: compare, keep the larger (smaller) of two
// ordered distinct values by exchanging them when needed; equal and
// unordered values (signed zeros, NaN) go to the run-time routine, which
// leaves the kept value in st(1).  The top is popped.
static int fp_maxmin(codegen_context* cg, int first, int second, int is_max)
{
    need_top_pair(is_max ? "gen_fp_max" : "gen_fp_min", cg, first, second);
    int eax = reserve_eax(cg);
    cg_close_window(cg);
    u4 before = cg->code_size;
    u1* start = cg->code;
    if (fp_has_cmov()) {
        _gen_cmpi_fr_fr(cg, 1, 0, 0);
    } else {
        _gen_cmp_fr_fr(cg, 1, 0, 0);
        _gen_fnstsw(cg);
        _gen_sahf(cg);
    }
    u1* to_l1 = fp_jshort(cg, COND_NE);
    _gen_call(cg, is_max ? RT_MAXOF : RT_MINOF);
    u1* to_l2 = fp_jshort(cg, COND_ALWAYS);
    fp_land(cg, to_l1);
    // st(0) = second, st(1) = first; CF: second below first.
    u1* keep = fp_jshort(cg, is_max ? COND_B : COND_A);
    _gen_xchg_fr_fr(cg, 0, 1);
    fp_land(cg, to_l2);
    fp_land(cg, keep);
    _gen_pop_fr(cg);
    cg_open_window(cg);
    release_eax(cg, eax);
    return cg->pass == CG_PASS_WRITE ? (int)(cg->code - start) : (int)(cg->code_size - before);
}

int gen_fp_max(codegen_context* cg, int first, int second) { return fp_maxmin(cg, first, second, 1); }
int gen_fp_min(codegen_context* cg, int first, int second) { return fp_maxmin(cg, first, second, 0); }

// Remainder (FPREM, Java's %) or IEEE remainder (FPREM1) of first by second.
// The partial remainder instruction is repeated until C2 reports the
// reduction complete, so the result is exact for every exponent distance.
// The result is left in `first`'s register and the top is popped.
int gen_fp_rem(codegen_context* cg, int op, int first, int second)
{
    need_top_pair("gen_fp_rem", cg, first, second);
    int eax = reserve_eax(cg);
    cg_close_window(cg);
    u4 before = cg->code_size;
    u1* start = cg->code;
    _gen_xchg_fr_fr(cg, 0, 1);               // st(0) = dividend, st(1) = divisor
    u1* loop = cg->code;
    if (op == FOPR_REM)
        _gen_rem_fr_fr(cg);
    else
        _gen_ieee_rem_fr_fr(cg);
    _gen_fnstsw(cg);
    _gen_sahf(cg);
    fp_jback(cg, COND_P, loop);
    _gen_move_fr_fr(cg, 1, 0, 1);            // fstp st(1)
    cg_open_window(cg);
    release_eax(cg, eax);
    return cg->pass == CG_PASS_WRITE ? (int)(cg->code - start) : (int)(cg->code_size - before);
}

int gen_op_fr_fr(codegen_context* cg, int op, int first, int second, int pop)
{
    switch (op) {
    case FOPR_ADD: return gen_add_fr_fr(cg, first, second, pop);
    case FOPR_SUB: return gen_sub_fr_fr(cg, first, second, pop);
    case FOPR_MUL: return gen_mul_fr_fr(cg, first, second, pop);
    case FOPR_DIV: return gen_div_fr_fr(cg, first, second, pop);
    case FOPR_SUBR: return gen_subr_fr_fr(cg, first, second, pop);
    case FOPR_DIVR: return gen_divr_fr_fr(cg, first, second, pop);
    case FOPR_MAX: return gen_fp_max(cg, first, second);
    case FOPR_MIN: return gen_fp_min(cg, first, second);
    case FOPR_REM:
    case FOPR_IEREM: return gen_fp_rem(cg, op, first, second);
    case FOPR_POW:
        // st(1) = x, st(0) = y: both popped, x^y pushed.
        need_top_pair("gen_op_fr_fr pow", cg, first, second);
        return gen_routine_with_recovery(cg, op, RT_POWEROF);
    }
    unsupported("gen_op_fr_fr", op);
}

// ---------------------------------------------------------------------------
// Memory second operand
// ---------------------------------------------------------------------------
int gen_op_fr_mm(codegen_context* cg, int op, int r, u4 base, u4 index, int scale, s4 disp, int size)
{
    switch (op) {
    case FOPR_ADD: return gen_add_fr_mm(cg, r, base, index, scale, disp, size);
    case FOPR_SUB: return gen_sub_fr_mm(cg, r, base, index, scale, disp, size);
    case FOPR_MUL: return gen_mul_fr_mm(cg, r, base, index, scale, disp, size);
    case FOPR_DIV: return gen_div_fr_mm(cg, r, base, index, scale, disp, size);
    case FOPR_SUBR: return gen_subr_fr_mm(cg, r, base, index, scale, disp, size);
    case FOPR_DIVR: return gen_divr_fr_mm(cg, r, base, index, scale, disp, size);
    }
    unsupported("gen_op_fr_mm", op);
}
