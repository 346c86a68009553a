// Compiled frame layout and local addressing.
//
// Compiled frames have no frame pointer: every slot is addressed from esp
// with a displacement computed from the slot's offset from E (the stack
// pointer at the method's entry point) minus the current stack offset.  From
// E downward lie the exception registration (20 bytes, methods with
// handlers), the synchronization area (8, synchronized methods), the x87
// control-word slot (4 or 8), the callee-saved register save area (FSWL ends
// there), the non-argument locals and the operand-stack slots.
//
// The measuring pass gives every local a slot and counts its uses; between
// the passes the used locals get consecutive frame indices, so the writing
// pass's displacements are never larger than the measured ones.
#include "codegen/cg_core.h"
#include "codegen/glue/gen_glue.h"
#include "frontend/bb.h"

// Local slot table word: low 16 bits the squeezed frame index, high 16 bits
// the use weight.
static u4 slot_index(u4 word) { return word & 0xFFFF; }
static u4 slot_weight(u4 word) { return word >> 16; }

static u4 method_nargs(codegen_context* cg) { return cg->mb->args_size; }
static u4 method_nlocals(codegen_context* cg) { return cg->m != nullptr ? cg->m->local_count : cg->mb->nlocals; }

s4 getFrameSizeWithoutLocals(codegen_context* cg)
{
    methodblock* mb = cg->mb;
    u4 size = 0;
    if (mb->access & GLUE_ACC_SYNCHRONIZED)
        size += 8;
    if (mb->exception_table_length != 0)
        size += 20;
    if (cg->flags & CG_FP_PRECISION_8)
        size += 8;
    else if (cg->flags & CG_FP_PRECISION_4)
        size += 4;
    u4 saved = cg->pass == CG_PASS_MEASURE ? 4 : cg->mci->saved_count;
    size += 4 * saved;
    return (s4)size;
}

// Whole frame: FSWL plus one word per non-argument local that has a slot.
u4 glue_frame_size(codegen_context* cg)
{
    u4 nargs = method_nargs(cg);
    u4 locals = cg->pass == CG_PASS_MEASURE ? method_nlocals(cg) : (u4)cg->frame_locals;
    u4 extra = locals > nargs ? locals - nargs : 0;
    return (u4)getFrameSizeWithoutLocals(cg) + 4 * extra;
}

s4 count_and_map_local(codegen_context* cg, s4 local, int wide)
{
    if (cg->pass != CG_PASS_MEASURE)
        return (s4)slot_index(cg->local_table[local]);
    u4 weight = 1;
    if (cg->bbtable != nullptr && cg->cur_bb >= 0 && cg->bbtable[cg->cur_bb] != nullptr) {
        u4 f = cg->bbtable[cg->cur_bb]->flags;
        if ((f & 1) && !(f & 2))
            weight = 256;
    }
    u4 nlocals = method_nlocals(cg);
    for (int k = 0; k <= (wide ? 1 : 0); k++) {
        u4 i = (u4)local + (u4)k;
        if (i >= nlocals)
            break;
        // The weight saturates: a count that wrapped to 0 would take the
        // local's frame slot away while code still addresses it.
        u4 w = slot_weight(cg->local_table[i]) + weight;
        if (w > 0xFFFF)
            w = 0xFFFF;
        cg->local_table[i] = (w << 16) | slot_index(cg->local_table[i]);
    }
    return local;
}

s4 C_Style_local(codegen_context* cg, s4 local, int wide)
{
    s4 nargs = (s4)method_nargs(cg);
    if (local < nargs)
        return 4 * (nargs - local) - (wide ? 4 : 0);
    s4 k = count_and_map_local(cg, local, wide);
    return 4 * nargs - getFrameSizeWithoutLocals(cg) - 4 * k - (wide ? 8 : 4);
}

s4 C_Style_stack(codegen_context* cg, s4 slot, int wide)
{
    s4 nargs = (s4)method_nargs(cg);
    s4 locals = cg->pass == CG_PASS_MEASURE ? (s4)method_nlocals(cg) : cg->frame_locals;
    s4 base = -(getFrameSizeWithoutLocals(cg) + 4 * (locals - nargs));
    return base - 4 * slot - (wide ? 8 : 4);
}

void squeeze_local_variable_index(codegen_context* cg)
{
    u4 nargs = method_nargs(cg);
    u4 nlocals = method_nlocals(cg);
    u4 next = nargs;
    for (u4 i = nargs; i < nlocals; i++) {
        u4 word = cg->local_table[i];
        if (slot_weight(word) != 0) {
            cg->local_table[i] = (word & 0xFFFF0000u) | next;
            next++;
        }
    }
    cg->frame_locals = (s4)next;
}
