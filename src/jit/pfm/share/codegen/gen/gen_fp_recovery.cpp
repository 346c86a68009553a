// Recovery of x87 operations that can fail to give the Java result: FSIN,
// FCOS and FPTAN with an argument out of their range (C2 set), and the
// exponential and power routines when they decline (NaN, infinite or huge
// arguments).  The check at the operation jumps (near) to recovery code
// emitted after the method body, which computes the result with the math
// library call of java.lang.Math and jumps back.
//
// The recovery code works on the machine state as the check leaves it, not
// on the register manager's model: the integer registers a C call clobbers
// (eax, ecx, edx) are pushed, the operand(s) are stored as the call's
// arguments, the x87 entries below them are parked in the same area (the C
// library expects an empty x87 stack), the call is made, and the entries and
// then the result are loaded back, so the x87 stack holds what the code
// after the check expects: the entries below, and the result where the
// operand(s) were.
//
// Records live in the compilation's main work pool for one pass: emptied
// before the pass, filled while the body is written, consumed after it.
#include <stdio.h>
#include <stdlib.h>

#include "codegen/cg_core.h"
#include "codegen/gen/gen_fp.h"
#include "codegen/gen/gen_invoke.h"
#include "driver/driver.h"

struct invalid_fop_record {
    invalid_fop_record* next;
    u1* patch;            // pass 2: the rel32 of the near jump to the recovery code
    u1* resume;           // pass 2: where the recovery code jumps back to
    u4 below;             // x87 entries live below the operand(s) at the check
    u2 op;                // operator code (FOPR_*)
    s2 sp_offset;         // the method's stack offset at the check
};

// One compilation at a time (under the compile lock): the list of the pass.
static invalid_fop_record* fop_records;

void init_invalid_fop_exception(method_compile_context*) { fop_records = nullptr; }

static int fop_args(int op) { return op == FOPR_POW || op == FOPR_REM || op == FOPR_IEREM ? 2 : 1; }

static const char* fop_method(int op)
{
    switch (op) {
    case FOPR_SIN: return "sin";
    case FOPR_COS: return "cos";
    case FOPR_TAN: return "tan";
    case FOPR_EXP: return "exp";
    case FOPR_POW: return "pow";
    case FOPR_IEREM: return "IEEEremainder";
    case FOPR_REM: return "fmod";
    default: return "";
    }
}

// Emits `jcc near` to the recovery code of operator `op`; the operand(s)
// are the x87 top (and, for two operands, the entry below it).  The caller
// then emits what follows the check on the fast path and calls
// invalid_fop_resume_here where the recovery code comes back.
invalid_fop_record* register_invalid_fop_recovery(codegen_context* cg, int cond, int op)
{
    cg_close_window(cg);
    _gen_jmpcc(cg, cond, UNRESOLVED_TARGET, 2);
    auto* r = static_cast<invalid_fop_record*>(jit_wmem_alloc(cg->m->pool1, sizeof(invalid_fop_record)));
    if (r == nullptr)
        cg_service_missing("work memory for the recovery records");
    r->patch = cg->pass == CG_PASS_WRITE ? cg->code - 4 : nullptr;
    r->resume = nullptr;
    s4 depth = fp_top(cg) - (cg->regs.rm != nullptr ? fp_bottom(cg) : 0);
    s4 below = depth - fop_args(op);
    r->below = below > 0 ? (u4)below : 0;
    r->op = (u2)op;
    r->sp_offset = cg->mci->sp_offset;
    r->next = fop_records;
    fop_records = r;
    return r;
}

void invalid_fop_resume_here(codegen_context* cg, invalid_fop_record* r)
{
    cg_close_window(cg);
    if (cg->pass == CG_PASS_WRITE)
        r->resume = cg->code;
    cg_open_window(cg);
}

static void emit_recovery(codegen_context* cg, invalid_fop_record* r)
{
    if (cg->pass == CG_PASS_WRITE && r->patch != nullptr)
        cg_write32(r->patch, (u4)(cg->code - (r->patch + 4)));
    if (cg->mci->sp_offset != r->sp_offset) {
        cg->mci->sp_offset = r->sp_offset;
        if (cg->pass == CG_PASS_WRITE)
            update_sp_offset_table(cg, r->sp_offset);
    }
    int nargs = fop_args(r->op);
    s4 area = 8 * (s4)(nargs + r->below);
    _gen_push(cg, GR_EAX);
    _gen_push(cg, GR_ECX);
    _gen_push(cg, GR_EDX);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, GR_ESP, area, SIZE_DWORD);
    // Arguments: the top at [esp], a second operand (the first of pow) at
    // [esp + 8], where the Java calling order puts them.
    for (int i = 0; i < nargs; i++)
        _gen_move_mm_fr8(cg, GR_ESP, 0, 0, 8 * i, 1);
    for (u4 j = 0; j < r->below; j++)
        _gen_move_mm_fr8(cg, GR_ESP, 0, 0, 8 * (nargs + (s4)j), 1);
    const char* sig = nargs == 2 ? "(DD)D" : "(D)D";
    if (!gen_special_JNI_math_call(cg, "java/lang/Math", fop_method(r->op), sig))
        cg_service_missing("math library call of an x87 recovery");
    if (r->below != 0) {
        _gen_move_mm_fr8(cg, GR_ESP, 0, 0, 0, 1);    // park the result
        for (s4 j = (s4)r->below - 1; j >= 0; j--)
            _gen_move_fr8_mm(cg, GR_ESP, 0, 0, 8 * (nargs + j));
        _gen_move_fr8_mm(cg, GR_ESP, 0, 0, 0);
    }
    _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ESP, area, SIZE_DWORD);
    _gen_pop(cg, GR_EDX);
    _gen_pop(cg, GR_ECX);
    _gen_pop(cg, GR_EAX);
    u1* site = cg->code;
    _gen_jmpcc(cg, COND_ALWAYS, UNRESOLVED_TARGET, 2);
    if (cg->pass == CG_PASS_WRITE && r->resume != nullptr)
        cg_write32(site + 1, (u4)(r->resume - (site + 5)));
}

void gen_invalid_fop_recovery(codegen_context* cg)
{
    if (fop_records == nullptr)
        return;
    cg_close_window(cg);
    s2 saved = cg->mci->sp_offset;
    for (invalid_fop_record* r = fop_records; r != nullptr; r = r->next)
        emit_recovery(cg, r);
    if (cg->mci->sp_offset != saved) {
        cg->mci->sp_offset = saved;
        if (cg->pass == CG_PASS_WRITE)
            update_sp_offset_table(cg, saved);
    }
    cg_open_window(cg);
}
