// Rounding an x87 value to its declared width through memory: a store of
// the value as a float or double and a reload.  A float or double local is
// rounded through its own frame slot (which so receives the value); any
// other value through the frame's x87 spill area, the 4- or 8-byte slot
// below the callee-saved registers that the precision decision reserves
// (gen_fp_decide_precision).  A request made in the measuring pass sets the
// flag bits that keep the slot reserved in the writing pass.
#include "codegen/cg_core.h"
#include "codegen/gen/gen_fp.h"

namespace {

constexpr u4 SPILL_LOAD_ATTR = 66, SPILL_STORE_ATTR = 67;

// Stores the top and loads it back at `size` bytes at [esp + disp].
void round_top_through(codegen_context* cg, s4 disp, int size)
{
    if (size == 4) {
        gen_move_mm_fr(cg, GR_ESP, 0, 0, disp, 1, SPILL_STORE_ATTR);
        gen_move_fr_mm(cg, GR_ESP, 0, 0, disp, SPILL_LOAD_ATTR);
    } else {
        gen_move_mm_fr8(cg, GR_ESP, 0, 0, disp, 1, SPILL_STORE_ATTR);
        gen_move_fr8_mm(cg, GR_ESP, 0, 0, disp, SPILL_LOAD_ATTR);
    }
}

}  // namespace

// Frame offset (from the entry stack pointer) of the x87 spill area.
s4 get_offset_of_fpspillarea_in_frame(codegen_context* cg)
{
    s4 saved = cg->pass == CG_PASS_MEASURE ? 4 : cg->mci->saved_count;
    return -getFrameSizeWithoutLocals(cg) + 4 * saved;
}

s4 get_offset_of_fpspillarea_in_frame_w_check(codegen_context* cg, int size)
{
    cg->flags |= CG_FP_SPILL_ROUNDED | (size == 4 ? CG_FP_SPILL_ROUNDED_4 : CG_FP_SPILL_ROUNDED_8);
    return get_offset_of_fpspillarea_in_frame(cg);
}

// Rounds the x87 entry `position` to `size` bytes (0: 4 for a float operand,
// else 8).  A float local (any local when the size is 8) goes through its
// frame slot; everything else through the spill area.
void spilloutin_fr(codegen_context* cg, int position, const reg_operand* op, int size)
{
    if (size == 0)
        size = op != nullptr && op->type == 'F' ? 4 : 8;
    s4 top = fp_top(cg) - 1;
    if (position != top)
        gen_xchg_fr_fr(cg, position, top);
    if (op != nullptr && op->kind == OPND_LOCAL && (op->type == 'F' || size == 8)) {
        gen_move_local_freg_p(cg, (s4)op->value, top, size == 8, 1);
        gen_move_freg_local(cg, top, (s4)op->value, size == 8);
    } else {
        s4 disp = get_offset_of_fpspillarea_in_frame_w_check(cg, size) - cg->mci->sp_offset;
        round_top_through(cg, disp, size);
    }
    if (position != top)
        gen_xchg_fr_fr(cg, position, top);
}

void spilloutin_fr_w_check(codegen_context* cg, int position, int size)
{
    cg->flags |= CG_FP_SPILL_ROUNDED | (size == 4 ? CG_FP_SPILL_ROUNDED_4 : CG_FP_SPILL_ROUNDED_8);
    spilloutin_fr(cg, position, nullptr, size);
}

void spilloutin_fr_op_w_check(codegen_context* cg, int position, const reg_operand* op)
{
    int size = op->type == 'F' ? 4 : 8;
    if (op->kind == OPND_LOCAL)
        spilloutin_fr(cg, position, op, size);
    else
        spilloutin_fr_w_check(cg, position, size);
}
