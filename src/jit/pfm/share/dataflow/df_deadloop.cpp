// Removal of dead counted loops: when the use-def chain pass has shown that
// nothing a loop computes is needed after it, a loop of the counted shape
// goes as a whole: its entry edge is sent straight to the loop's exit.  The
// synchronization optimization asks the same test.
//
// The shape: one way in from outside, a latch that steps a local by exactly
// one (an add or subtract of the constant 1 or -1) and compares that same
// local at its end, and no other definition of the counter in the body.  A
// step of one in either direction meets every int value, so the loop ends
// whatever its bound; any other step (a multiply by -1, a shift, an or)
// may cycle for ever, and a loop that never ends must not vanish (mended).
//
// Requires fresh chains; the removal keeps them (the loop's quadruples lose
// their only way in).
#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "frontend/frontend.h"

namespace {

// The level record of loop `loop_no` that `entry` names.
loopattribute* loop_entry(method_compile_context* m, u4 loop_no, u4 entry)
{
    if (m->loop_table == nullptr || loop_no >= m->loop_count)
        return nullptr;
    loop_table_record* loop = mcc_loop(m, loop_no);
    if (loop == nullptr)
        return nullptr;
    if (loop->levels != nullptr && entry < static_cast<u4>(loop->depth > 0 ? loop->depth : 0))
        return loop->levels[entry];
    return entry == 0 ? loop->body : nullptr;
}

struct loop_shape {
    u4 first, last, header;
    u4 outside;     // the one predecessor of the header outside the range
    u4 latch;       // the last one inside
    u4 exit;
};

bool in_range(const loop_shape& s, u4 b) { return b >= s.first && b <= s.last; }

// Header predecessors and the exit; false when the loop is not entered once.
bool find_shape(method_compile_context* m, const loopattribute* e, loop_shape* s)
{
    s->first = e->first_id;
    s->last = e->last_id;
    s->header = e->entry_id;
    if (s->last >= m->bb_count || s->first > s->last)
        return false;
    u4 outside = 0, inside = 0;
    for (const loop_link* l = e->pre_entry; l != nullptr; l = l->next) {
        if (in_range(*s, l->value)) {
            s->latch = l->value;
            inside++;
        } else {
            if (outside == 0)
                s->outside = l->value;
            outside++;
        }
    }
    if (outside != 1 || inside == 0)
        return false;
    const bbattr* last = m->bb_table[s->last];
    for (s4 k = static_cast<s4>(last->succ_count) - 1; k >= 0; k--) {
        u4 succ = bb_succ_block(last->succ[k]);
        if (!in_range(*s, succ)) {
            s->exit = succ;
            return succ >= 1 && succ + 1 < m->bb_count;
        }
    }
    return false;
}

quadruple* last_live(const bbattr* b)
{
    if (b->quad_count == 0)
        return nullptr;
    quadruple** slot = SkipNopBackward(&b->catbl[b->quad_count - 1], &b->catbl[0]);
    return slot != nullptr ? *slot : nullptr;
}

// The counter step: x = x + 1, x = x - 1, x = x + -1 or x = x - -1.
bool unit_step(const quadruple* q)
{
    if (q->op != QOP_ADD && q->op != QOP_SUB)
        return false;
    if (quad_operand_kind(q->result) != QK_VARIABLE || quad_operand_kind(q->src1) != QK_VARIABLE
        || q->src1.number != q->result.number)
        return false;
    u1 k = quad_operand_kind(q->src2);
    return (k == QK_IMMEDIATE || k == QK_NEG_IMMEDIATE) && q->src2.number == 1;
}

} // namespace

int CheckDeleteLoopQuad(method_compile_context* m, u4 loop_no, u4 entry)
{
    if (m->state_flags & MCC_REACHDEF_STALE)
        return 0;
    loopattribute* e = loop_entry(m, loop_no, entry);
    if (e == nullptr || (mcc_loop(m, loop_no)->flags & LOOP_INVALID) || e->exit_count != 1)
        return 0;
    loop_shape s{};
    if (!find_shape(m, e, &s))
        return 0;
    const bbattr* latch = m->bb_table[s.latch];
    if (latch->quad_count < 2)
        return 0;
    const quadruple* step = nullptr;
    for (u4 k = 0; k < latch->quad_count && step == nullptr; k++) {
        const quadruple* q = latch->catbl[k];
        if (!df_deleted(q) && q->opcode == OPC_IOP2)
            step = q;
    }
    const quadruple* test = last_live(latch);
    if (step == nullptr || test == nullptr || !unit_step(step))
        return 0;
    if (test->opcode != OPC_IFZ && !(test->opcode == OPC_IFCMP && (test->op == QCC_LT || test->op == QCC_GT)))
        return 0;
    if (quad_operand_kind(test->src1) != QK_VARIABLE || test->src1.number != step->result.number)
        return 0;
    // The counter's definitions: a list, none in the body but the latch's.
    const df_operand* use = df_opnd(const_cast<quad_operand*>(&step->src1));
    if ((use->kind & DFO_SINGLE_REF) || use->chain == 0)
        return 0;
    u4 body_start = e->entry_successor != nullptr ? e->entry_successor->id : s.first;
    bool other_def = false;
    df_for_each_ref(use, [&](quad_ref r) {
        u4 b = quad_ref_block(r);
        if (b >= body_start && b <= s.last && b != s.latch)
            other_def = true;
    });
    if (other_def)
        return 0;
    const bbattr* pre = m->bb_table[s.outside];
    for (u4 k = 0; k < pre->succ_count; k++)
        if (bb_succ_block(pre->succ[k]) == s.header)
            return 1;
    return 0;
}

int remove_counted_loop(method_compile_context* m, u4 loop_no, u4 entry)
{
    if (m->state_flags & MCC_REACHDEF_STALE)
        return 0;
    loopattribute* e = loop_entry(m, loop_no, entry);
    loop_shape s{};
    if (e == nullptr || !find_shape(m, e, &s))
        return 0;
    bbattr* pre = m->bb_table[s.outside];
    bool replaced = false;
    for (s4 k = static_cast<s4>(pre->succ_count) - 1; k >= 0 && !replaced; k--)
        if (pre->succ[k] == s.header) {
            pre->succ[k] = s.exit;
            replaced = true;
        }
    if (!replaced)
        return 0;
    bbattr* exit = m->bb_table[s.exit];
    exit->pred_count++;
    DecrementBackward(m, s.outside, s.header);
    quadruple* last = last_live(pre);
    if (pre->succ_count == 2 && pre->succ[0] == s.exit && pre->succ[1] == s.exit) {
        if (last != nullptr && (last->opcode == OPC_IFZ || last->opcode == OPC_IFCMP)) {
            quadruple** slot = SkipNopBackward(&pre->catbl[pre->quad_count - 1], &pre->catbl[0]);
            ChangeNOP(m, static_cast<s4>(s.outside), static_cast<s4>(slot - pre->catbl));
            pre->succ_count = 1;
            exit->pred_count--;
        }
    } else if (pre->succ_count == 1 && last != nullptr && last->opcode == OPC_GOTO) {
        last->target = s.exit;
    }
    return 1;
}
