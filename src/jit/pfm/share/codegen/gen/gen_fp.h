// x87 floating-point generators below the quadruple level: precision
// control, operators on stack registers, compares that feed a branch or
// give -1/0/+1, and the float-to-integer conversion with Java's truncation
// and saturation.
//
// Registers are the register manager's x87 model registers (counter values);
// an instruction names st(fp_depth - 1 - r).  These routines emit code only:
// the caller keeps the model (a register popped here is released by the
// caller), except where a routine says otherwise.
#ifndef ORVA_CODEGEN_GEN_FP_H
#define ORVA_CODEGEN_GEN_FP_H

#include "codegen/codegen.h"

// Precision-mode bits of codegen_context.flags (and of a mode argument).
constexpr u4 FPM_SINGLE = 0x200;        // code emitted so far runs in 24-bit precision
constexpr u4 FPM_LEFT_SINGLE = 0x400;   // the method is left in 24-bit precision after its main blocks
constexpr u4 FPM_DOUBLE = 0x2000;       // 53-bit precision
constexpr u4 FPM_MASK = 0x2200;

// Byte offsets of the x87 control words (all exceptions masked) in the table
// at _GET_FCONTROL_WORD_BASE().
constexpr s4 FCW_DOUBLE_NEAREST = 0;    // 0x027F
constexpr s4 FCW_DOUBLE_TRUNC = 2;      // 0x0E7F
constexpr s4 FCW_SINGLE_NEAREST = 4;    // 0x007F
constexpr s4 FCW_SINGLE_TRUNC = 6;      // 0x0C7F

// Floating operator codes.
enum : int {
    FOPR_ADD = 1, FOPR_SUB = 2, FOPR_MUL = 3, FOPR_MAX = 7, FOPR_MIN = 8, FOPR_IEREM = 9, FOPR_POW = 11,
    FOPR_DIV = 12, FOPR_REM = 13, FOPR_NEG = 19, FOPR_ABS = 23, FOPR_SIN = 25, FOPR_COS = 26, FOPR_TAN = 27,
    FOPR_EXP = 31, FOPR_LOG = 32, FOPR_SQRT = 33, FOPR_CEIL = 34, FOPR_FLOOR = 35, FOPR_RINT = 36,
    FOPR_SUBR = 45, FOPR_DIVR = 46,
};

// Run-time routines of the routine table used here.
constexpr int RT_POWEROF = 31, RT_LOGOF = 32, RT_EXPOF = 33, RT_MAXOF = 34, RT_MINOF = 35, RT_FLOOROF = 36,
              RT_FLOOROF2 = 37, RT_CEILOF = 38, RT_CEILOF2 = 39, RT_GET_CORRECT_F2I = 40;

// NaN rules of a floating compare: NaN compares as less (fcmpl) or greater (fcmpg).
constexpr int FCMP_NAN_LESS = 4, FCMP_NAN_GREATER = 6;

// Whether the processor has FCOMI and CMOV.
int fp_has_cmov(void);

// gen_fp_set_mode is declared in cg_core.h (u4 gen_fp_set_mode(codegen_context*, u4)).
u4 gen_fp_set_mode(codegen_context* cg, u4 mode);

// Operators.  gen_op_fr: on register r (the top).  gen_op_fr_fr: first op=
// second, the result in `first`; with pop the second (the top) is popped.
// max, min, rem and IErem need the second operand on the top and the first
// just below it and always pop the second.  gen_op_fr_mm: the top op= a
// float (size 4) or double (size 8) in memory.
int gen_op_fr(codegen_context* cg, int op, int r);
int gen_op_fr_fr(codegen_context* cg, int op, int first, int second, int pop);
int gen_op_fr_mm(codegen_context* cg, int op, int r, u4 base, u4 index, int scale, s4 disp, int size);
int gen_fp_max(codegen_context* cg, int first, int second);
int gen_fp_min(codegen_context* cg, int first, int second);
int gen_fp_rem(codegen_context* cg, int op, int first, int second);

// Compares.  The returned condition (COND_*) holds, after the emitted code,
// when the first operand stands in the asked relation to the second.
void swap_fcmp_operands(int* first, int* second, int* rule, int* cond);
int fcmp_status_test(codegen_context* cg, int mask, int pattern, int branch_if_match, int i, int j, int pop);
int fcmp_fr_fr_cond(codegen_context* cg, int rule, int cond, int first, int second, int pop);
int fcmp_fr_fr_cond_loaded(codegen_context* cg, int rule, int cond, int first, int second, int pop_first);
// -1/0/+1 into integer register `reg` (hw id): the second operand on the
// top, the first at `first`; `exchanged` negates the result constants.
int fcmp3_fr_loaded(codegen_context* cg, int rule, u4 reg, int first, int exchanged, int pop_both);

// Float to int (`is_long` 0: result in `lo`) or long (lo, hi) with Java
// truncation toward zero, NaN to 0 and saturation; the value stays on the
// top.  [base+disp] is a scratch slot of 4 (int) or 8 (long) bytes; the long
// form needs one free x87 register (it stores a copy with FISTP).
int gen_f2i_fr(codegen_context* cg, int is_long, u4 lo, u4 hi, u4 base, s4 disp);

// gen_fp_round.cpp: rounding an x87 entry to float (4) or double (8)
// through memory: a float local's own slot, else the frame's spill area.
s4 get_offset_of_fpspillarea_in_frame(codegen_context* cg);
s4 get_offset_of_fpspillarea_in_frame_w_check(codegen_context* cg, int size);
struct reg_operand;
void spilloutin_fr(codegen_context* cg, int position, const reg_operand* op, int size);
void spilloutin_fr_op_w_check(codegen_context* cg, int position, const reg_operand* op);

// gen_fp_recovery.cpp: a check that jumps (near, on `cond`) to recovery code
// after the body, which computes operator `op` of the operand(s) on the x87
// top by the library call; the recovery jumps back to where
// invalid_fop_resume_here is called.
struct invalid_fop_record;
invalid_fop_record* register_invalid_fop_recovery(codegen_context* cg, int cond, int op);
void invalid_fop_resume_here(codegen_context* cg, invalid_fop_record* r);

// gen_fp_truncate.cpp: whether a result written to `d` by operator `op`
// (0: a move) must be rounded to its declared width now; assume_cached: a
// local destination will be held in an x87 register.
struct quadruple;
int tobe_truncated(codegen_context* cg, const reg_operand* d, int op, int assume_cached);
int use_rounds_value(codegen_context* cg, quadruple** slot);

#endif // ORVA_CODEGEN_GEN_FP_H
