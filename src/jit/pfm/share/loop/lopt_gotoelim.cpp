// Goto elimination, run once per compilation in the quadruple driver after
// NOP removal (it runs even under NALL).
//
// 1. If-conversion: B ends in an int zero-test or int compare branch whose
//    fall-through block S0 holds a single int store and then falls into the
//    branch target S1 (B and S0 being S1's only predecessors).  B's branch
//    becomes one conditional move (OPC_ICMOVE: operand list = the two
//    compared values, the store's destination, the store's source; "when the
//    condition does not hold, the destination takes the source"), S0 is
//    deleted and B flows straight into S1; the chains that result are merged
//    by `bb_straightening`.
// 2. Branch inversion: a conditional branch whose taken target is the block
//    laid out next (the next DFS position) gets the negated condition and its
//    successors exchanged, so that the taken edge becomes the fall-through.
//    A condition without a negation (1 "always" among them) is left alone:
//    exchanging the successors under an unchanged condition would send the
//    branch to the other block.
//
// Requires a valid DFS list; leaves it valid.  Answers 1 when a conversion
// changed the blocks (the driver then drops its cached visiting order).
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/qgen.h"
#include "loop/loop.h"

namespace {

bool deleted(const bbattr* b) { return (b->flags & BB_DEAD) != 0; }

quadruple* last_quad(const bbattr* b) { return b->quad_count > 0 ? b->catbl[b->quad_count - 1] : nullptr; }

bool conditional_branch(u1 op)
{
    switch (op) {
    case OPC_IFZ: case OPC_IFCMP: case OPC_FCMP: case OPC_IFNULL: case OPC_IFACMP: case OPC_FCMP_BRANCH:
    case OPC_DCMP_BRANCH: case OPC_LCMP_BRANCH:
        return true;
    default:
        return false;
    }
}

u1 kind_of(u1 kind_byte) { return kind_byte & QK_KIND_MASK; }
bool in_value_word(u1 kind_byte) { return kind_of(kind_byte) == QK_CONSTANT || kind_of(kind_byte) == QK_CONST_PTR; }

// A block ending in a conditional branch with both successors present.
quadruple* ending_branch(const bbattr* b)
{
    if (deleted(b) || b->succ_count < 2)
        return nullptr;
    quadruple* q = last_quad(b);
    return q != nullptr && conditional_branch(q->opcode) ? q : nullptr;
}

quad_operand_list_entry* entry(method_compile_context* m, u2 kind, u2 number)
{
    auto* e = static_cast<quad_operand_list_entry*>(jit_wmem_alloc(m->pool1, sizeof(quad_operand_list_entry)));
    memset(e, 0, sizeof *e);
    e->kind = kind;
    e->number = number;
    return e;
}

bool convertible(method_compile_context* m, bbattr* b, const quadruple* br, bbattr** s0_out, bbattr** s1_out)
{
    if (br->opcode != OPC_IFZ && br->opcode != OPC_IFCMP)
        return false;
    u4 a0 = b->succ[0], a1 = b->succ[1];
    if (a0 >= m->bb_count || a1 >= m->bb_count || a0 == a1)
        return false;
    bbattr* s0 = m->bb_table[a0];
    bbattr* s1 = m->bb_table[a1];
    if (deleted(s0) || deleted(s1) || s0->pred_count != 1 || is_empty_goto_block(s0))
        return false;
    if (s0->quad_count != 1 || s0->catbl[0]->opcode != OPC_ISTORE || (s0->catbl[0]->opcount & QC_DELETED))
        return false;
    if (s0->succ_count != 1 || s0->succ[0] != a1 || s1->pred_count != 2)
        return false;
    // The conditional move has one value word: a constant of the store and
    // a constant of the branch cannot both live in it.
    const quadruple* mv = s0->catbl[0];
    u4 forms = br->opcount & QC_SRC_MASK;
    bool branch_word = (forms >= 1 && in_value_word(br->src1.kind)) || (forms >= 2 && in_value_word(br->src2.kind));
    if (in_value_word(mv->src1.kind) && branch_word)
        return false;
    *s0_out = s0;
    *s1_out = s1;
    return true;
}

int convert_branches_to_conditional_moves(method_compile_context* m)
{
    int converted = 0;
    for (u4 pos = m->dfs_count >= 2 ? m->dfs_count - 2 : 0; pos >= 1 && pos < m->dfs_count; pos--) {
        u4 id = m->dfs_array[pos];
        if (id >= m->bb_count)
            continue;
        bbattr* b = m->bb_table[id];
        quadruple* br = ending_branch(b);
        bbattr *s0, *s1;
        if (br == nullptr || !convertible(m, b, br, &s0, &s1))
            continue;
        convert_to_conditional_move(m, b, s0, s1, br);
        converted = 1;
    }
    return converted;
}

void flip_expected_path(bbattr* b)
{
    if (b->flags & BB_BACKWARD_BRANCH) {
        b->flags &= ~BB_BACKWARD_BRANCH;
        b->flags2 |= BB2_FORWARD_BRANCH;
    } else if (b->flags2 & BB2_FORWARD_BRANCH) {
        b->flags |= BB_BACKWARD_BRANCH;
        b->flags2 &= ~BB2_FORWARD_BRANCH;
    }
}

int invert_branches_to_fall_through(method_compile_context* m)
{
    for (u4 pos = m->dfs_count >= 2 ? m->dfs_count - 2 : 0; pos >= 1 && pos < m->dfs_count; pos--) {
        u4 id = m->dfs_array[pos];
        if (id >= m->bb_count)
            continue;
        bbattr* b = m->bb_table[id];
        quadruple* br = ending_branch(b);
        if (br == nullptr || b->succ[1] != m->dfs_array[pos + 1])
            continue;
        u2 negated = reverse_branch_condition(br->op);
        if (negated == br->op)
            continue;
        br->op = negated;
        u4 first = b->succ[0];
        b->succ[0] = b->succ[1];
        b->succ[1] = first;
        br->target = first;
        flip_expected_path(b);
    }
    return 0;
}

} // namespace

u2 reverse_branch_condition(u2 code)
{
    switch (code) {
    case 2: return 3;
    case 3: return 2;
    case 4: return 7;
    case 5: return 6;
    case 6: return 5;
    case 7: return 4;
    case 8: return 11;
    case 9: return 10;
    case 10: return 9;
    case 11: return 8;
    case 12: return 13;     // carry / no carry
    case 13: return 12;
    case 14: return 15;     // sign / no sign
    case 15: return 14;
    case 16: return 17;     // parity / no parity
    case 17: return 16;
    case 18: return 21;
    case 19: return 20;
    case 20: return 19;
    case 21: return 18;
    default: return code;   // 0, 1 (always) and unknown codes have no negation
    }
}

bool is_empty_goto_block(const bbattr* b)
{
    if (b->quad_count != 1)
        return false;
    const quadruple* q = b->catbl[0];
    return q->opcode == OPC_OTHER && quad_kind_nibble(q) == OTHER_NOP_DELETED;
}

void convert_to_conditional_move(method_compile_context* m, bbattr* b, bbattr* s0, bbattr* s1, quadruple* br)
{
    quadruple* mv = s0->catbl[0];
    b->succ_count = 1;
    b->succ[0] = s1->id;
    s1->pred_count--;
    s0->pred_count--;
    s0->flags |= BB_DEAD;
    m->total_quad_count--;
    // B no longer ends in a branch.
    b->flags &= ~BB_BACKWARD_BRANCH;
    b->flags2 &= ~BB2_FORWARD_BRANCH;

    quad_operand_list_entry* a = entry(m, br->src1.kind | br->src1.flags << 8, br->src1.number);
    quad_operand_list_entry* c = (br->opcount & QC_SRC_MASK) >= 2
                                     ? entry(m, br->src2.kind | br->src2.flags << 8, br->src2.number)
                                     : entry(m, KB_INT_IMM, 0);
    quad_operand_list_entry* keep = entry(m, mv->result.kind, mv->result.number);
    quad_operand_list_entry* take = entry(m, mv->src1.kind | mv->src1.flags << 8, mv->src1.number);
    a->next = c;
    c->next = keep;
    keep->next = take;

    br->opcode = OPC_ICMOVE;
    br->result.kind = mv->result.kind;
    br->result.flags = 0;
    br->result.number = mv->result.number;
    br->result.reg = 0;
    br->result.second = 0;
    br->result.value = 0;
    if (in_value_word(mv->src1.kind)) {
        br->value = mv->value;
        br->flags_a |= QA_CONSTANT;
    }
    quad_set_list_head(br, a);
    br->opcount = static_cast<u2>((br->opcount & ~QC_SRC_MASK) | QC_SRC_LIST);
}

int bb_goto_elimination(method_compile_context* m)
{
    if (m->dfs_count < 3)
        return 0;
    int converted = convert_branches_to_conditional_moves(m);
    if (converted) {
        if (regenerate_dfs_list(m) == 0)
            return 1;
        if (m->loop_count > 0)
            eliminate_unreachable_bb_from_loop_table(m);
        int changed = 0;
        if (bb_straightening(m, 1, &changed) == 1)
            return 1;
        if (changed) {
            if (regenerate_dfs_list(m) == 0)
                return 1;
            if (m->loop_count > 0)
                eliminate_unreachable_bb_from_loop_table(m);
        }
    }
    invert_branches_to_fall_through(m);
    return converted;
}
