// The rounding rule of x87 results.  The x87 computes a float at 53 (or 64)
// bits when the method does not run in 24-bit precision, and a result kept
// on the stack keeps those bits: a chain of float operations then rounds
// once at its end instead of after every operation, and Java sees a value
// no float can hold (and an overflow that should have been infinity).
// `tobe_truncated` decides whether one result must be rounded to its
// declared width now (through memory, gen_fp_round.cpp); a result whose
// only use rounds it anyway (a store of its width) is left alone.
//
// Requires: the current block and quadruple index of the context (the
// consumer of an operand-stack result is searched from there).  Sets the
// spill-area request bits of the context flag word, which the measuring pass
// leaves for the writing pass so that the frame reserves the slot.
#include "codegen/cg_core.h"
#include "codegen/gen/gen_fp.h"
#include "frontend/qgen.h"
#include "vm_abi.h"

namespace {

// Access kind of a quadruple operand that is the x87 operand-stack value.
constexpr u1 QK_FP_STACK = 12;

bool is_fp_stack(const quad_operand& op) { return (op.kind & QK_KIND_MASK) == QK_FP_STACK; }

// The stored value (the last entry) of an array store's operand list is the
// x87 operand-stack value.
bool list_stores_fp_stack(const quadruple* q)
{
    const quad_operand_list_entry* last = nullptr;
    for (const quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
        last = e;
    return last != nullptr && (last->kind & QK_KIND_MASK) == QK_FP_STACK;
}

// A consumer that writes the value with its declared width, so that the
// store itself rounds it.  Conversions to int or long are not among them:
// they truncate the unrounded value (4097f * 4097f is 16785409 at 53 bits,
// but the float Java computes is 16785408).
bool consumer_rounds(u1 opcode)
{
    switch (opcode) {
    case OPC_FASTORE: case OPC_DASTORE:
    case OPC_FPUTFIELD: case OPC_DPUTFIELD:
    case OPC_FPUTSTATIC: case OPC_DPUTSTATIC:
    case OPC_D2F:
        return true;
    default:
        return false;
    }
}

bool is_fp_move(u1 opcode)
{
    switch (opcode) {
    case OPC_FLOAD: case OPC_FCONST: case OPC_FSTORE: case OPC_DLOAD: case OPC_DCONST: case OPC_DSTORE:
    case OPC_F2D: case OPC_FMOVE: case OPC_DMOVE:
        return true;
    default:
        return false;
    }
}

// R for an operand-stack destination: the first quadruple after the current
// one in the block that reads the x87 operand-stack value decides.
int stack_result_needs_rounding(codegen_context* cg)
{
    if (cg->cur_bb <= 0 || cg->bbtable == nullptr)
        return 1;
    bbattr* b = cg->bbtable[cg->cur_bb];
    if (b == nullptr || b->catbl == nullptr)
        return 1;
    for (u4 i = (u4)cg->cur_quad + 1; i < b->quad_count; i++) {
        quadruple** slot = &b->catbl[i];
        const quadruple* q = *slot;
        if (q->opcount & QC_DELETED)
            continue;
        if ((q->opcount & QC_SRC_MASK) == QC_SRC_LIST) {
            if ((q->opcode == OPC_FASTORE || q->opcode == OPC_DASTORE) && list_stores_fp_stack(q))
                return (q->flags_a & QA_KEEP_FP_POP) ? 1 : 0;
            continue;
        }
        if ((q->opcode == OPC_FOP1 || q->opcode == OPC_DOP1) && (q->op == FOPR_NEG || q->op == FOPR_ABS))
            continue;   // exact: the value passes through unchanged in precision
        if (!is_fp_stack(q->src1) && !is_fp_stack(q->src2))
            continue;
        if (q->flags_a & QA_KEEP_FP_POP)
            return 1;
        if (consumer_rounds(q->opcode))
            return 0;
        if (is_fp_move(q->opcode))
            return use_rounds_value(cg, slot) ? 0 : 1;
        return 1;
    }
    return 1;
}

}  // namespace

// Whether the value the quadruple at `slot` defines reaches, through moves
// only, a quadruple that rounds it.  That needs the inline def-use links of
// the single use, which no optimization pass of this compiler builds: the
// answer is 0, so such values are rounded where they are made.
int use_rounds_value(codegen_context*, quadruple**)
{
    return 0;
}

int tobe_truncated(codegen_context* cg, const reg_operand* d, int op, int assume_cached)
{
    // Negation, absolute value, max and min of a rounded value are exact.
    if (op == FOPR_MAX || op == FOPR_MIN || op == FOPR_NEG || op == FOPR_ABS)
        return 0;
    int strict = cg->mb != nullptr && (cg->mb->access & ACC_STRICT) ? 1 : 0;
    int r = 0;
    if ((u1)d->kind == RK_LOCAL) {
        if (assume_cached || is_cached_fp_oprnd(cg, d)) {
            quadruple** slot = nullptr;
            if (cg->cur_bb > 0 && cg->bbtable != nullptr && cg->bbtable[cg->cur_bb]->catbl != nullptr)
                slot = &cg->bbtable[cg->cur_bb]->catbl[cg->cur_quad];
            r = slot != nullptr && use_rounds_value(cg, slot) ? 0 : 1;
        }
    } else if ((u1)d->kind == RK_STACK) {
        r = stack_result_needs_rounding(cg);
    }
    if (op == 0) {
        if (r)
            cg->flags |= CG_FP_SPILL_ROUNDED | ((u1)d->type == RT_FLOAT ? CG_FP_SPILL_ROUNDED_4 : CG_FP_SPILL_ROUNDED_8);
        return r | strict;
    }
    // A result made in 24-bit precision, or a double made in 53-bit
    // precision, already has its width unless the method's special constants
    // (the float or double extremes) say that the exponent range matters.
    bool exact_width = (cg->flags & FPM_MASK) == FPM_SINGLE || (u1)d->type == RT_DOUBLE;
    if (exact_width && !(cg->flags & (CG_FLOAT_SPECIAL_CONST | CG_DOUBLE_SPECIAL_CONST))) {
        cg->flags |= CG_FP_SPILL_ROUNDED;
        if (cg->pass != CG_PASS_MEASURE)
            return strict;
    }
    return r | strict;
}
