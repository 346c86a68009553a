// Routines every quadruple pass shares: the block-visiting order (cached in
// the pass context), turning a quadruple into a no-operation while keeping
// the use-def and def-use chains exact, opening no-operation slots in a
// block, stepping over no-operations, and the literal-range question of the
// constant passes.
//
// Chains are only followed while reaching definitions are fresh (state bit
// MCC_REACHDEF_STALE clear); a reference into a block flagged unreachable is
// not followed.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "frontend/frontend.h"

namespace {

bool chains_fresh(const method_compile_context* m) { return !(m->state_flags & MCC_REACHDEF_STALE); }

// Removes the first reference equal to key from one chain; a list left with
// one node becomes the inline form.
void unlink_ref(df_operand* o, quad_ref key)
{
    if (o->kind & DFO_SINGLE_REF) {
        if (o->chain == key)
            o->chain = 0;
        return;
    }
    auto** link = reinterpret_cast<varref_list**>(&o->chain);
    for (varref_list* l = *link; l != nullptr; link = &l->next, l = l->next)
        if (l->ref == key) {
            *link = l->next;
            break;
        }
    const varref_list* head = reinterpret_cast<const varref_list*>(o->chain);
    if (head != nullptr && head->next == nullptr) {
        o->chain = head->ref;
        o->kind |= DFO_SINGLE_REF;
    }
}

// The quadruple a reference names, or null when it is not to be followed.
quadruple* referenced(method_compile_context* m, quad_ref r)
{
    if (r == 0 || !chains_fresh(m))
        return nullptr;
    u4 block = quad_ref_block(r), index = quad_ref_index(r);
    if (block == 0 || block >= m->bb_count)
        return nullptr;
    bbattr* b = m->bb_table[block];
    if ((b->flags & BB_DEAD) || index >= b->quad_count)
        return nullptr;
    return b->catbl[index];
}

void clear_nop_operand(quad_operand& o)
{
    o.kind = 0;
    o.number = QUAD_NO_NUMBER;
}

} // namespace

void CreateDFSforDFQuadruple(method_compile_context* m, dataflow_pass_context* pc, u4* count, u4** order)
{
    if (pc->order == nullptr) {
        if (m->subroutine_count == 0 || m->subroutine_table == nullptr) {
            pc->order = m->dfs_array;
            pc->order_count = m->dfs_count;
        } else {
            u4* list = static_cast<u4*>(jit_wmem_alloc(m->pool1, (m->bb_count + 1) * sizeof(u4)));
            u4 n = 0;
            for (u4 i = 0; i + 1 < m->dfs_count; i++)
                list[n++] = m->dfs_array[i];
            const auto* regions = static_cast<const subroutine_info*>(m->subroutine_table);
            for (u4 r = 0; r < m->subroutine_count; r++)
                for (u4 k = 0; k < regions[r].block_count && n < m->bb_count; k++)
                    list[n++] = regions[r].blocks[k];
            if (n < m->bb_count + 1)
                list[n++] = m->bb_count - 1;
            pc->order = list;
            pc->order_count = n;
        }
    }
    *count = pc->order_count;
    *order = pc->order;
}

void ChangeNOP(method_compile_context* m, s4 block, s4 index)
{
    if (block < 0 || static_cast<u4>(block) >= m->bb_count)
        return;
    bbattr* b = m->bb_table[block];
    if (index < 0 || static_cast<u4>(index) >= b->quad_count)
        return;
    quadruple* q = b->catbl[index];
    quad_ref key = make_quad_ref(static_cast<u4>(block), static_cast<u4>(index));
    if (chains_fresh(m)) {
        // Its uses forget this definition...
        df_for_each_ref(df_opnd(&q->result), [&](quad_ref r) {
            quadruple* use = referenced(m, r);
            if (use != nullptr)
                df_for_each_source(use, [&](df_operand* o) { unlink_ref(o, key); });
        });
        // ...and its definitions forget this use.
        df_for_each_source(q, [&](df_operand* o) {
            df_for_each_ref(o, [&](quad_ref r) {
                quadruple* def = referenced(m, r);
                if (def != nullptr)
                    unlink_ref(df_opnd(&def->result), key);
            });
        });
    }
    q->opcount = static_cast<u2>((q->opcount & ~QC_SRC_MASK) | QC_DELETED);
    clear_nop_operand(q->result);
    clear_nop_operand(q->src1);
    clear_nop_operand(q->src2);
    q->opcode = OPC_OTHER;
    q->pad1 = 0;
    q->subcode = OTHER_NOP_DELETED;
    q->target = 0;
    q->second = 0;
    q->op = 0;
    q->count = 0;
    q->aux = 0;
    q->context = 0;
    q->body = 0;
    q->result.value = 0;
    q->src1.value = 0;
    q->src2.value = 0xFFFFFFFFu;
}

u4 InsertNOP_codeattr(method_compile_context* m, u4 block, u4 position, u4 before, u4 after, u4* shift)
{
    *shift = 0;
    bbattr* b = m->bb_table[block];
    u4 n = b->quad_count;
    u4 total = n + before + after;
    if (total <= n)
        return 1;
    auto** array = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, total * sizeof(quadruple*)));
    u4 fresh_count = before + after;
    quadruple* fresh = nullptr;
    if (fresh_count == 1 && mcc_quad_free_list(m) != nullptr) {
        fresh = mcc_quad_free_list(m);
        quadruple* next;
        memcpy(&next, fresh, sizeof next);
        mcc_set_quad_free_list(m, next);
    } else {
        fresh = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, fresh_count * sizeof(quadruple)));
    }
    if (array == nullptr || fresh == nullptr)
        return 0;
    for (u4 k = 0; k < fresh_count; k++) {
        quadruple* q = &fresh[k];
        memset(q, 0, sizeof *q);
        q->opcode = OPC_OTHER;
        q->subcode = OTHER_NOP_DELETED;
        q->opcount = static_cast<u2>(QC_DELETED | DF_CANNOT_RAISE << 12);
        clear_nop_operand(q->result);
        clear_nop_operand(q->auxop);
        clear_nop_operand(q->src1);
        clear_nop_operand(q->src2);
        q->src2.value = 0xFFFFFFFFu;
    }
    if (position > n)
        position = n;
    u4 w = 0, f = 0;
    for (u4 k = 0; k < position; k++)
        array[w++] = b->catbl[k];
    for (u4 k = 0; k < before; k++)
        array[w++] = &fresh[f++];
    if (position < n)
        array[w++] = b->catbl[position];
    for (u4 k = 0; k < after; k++)
        array[w++] = &fresh[f++];
    for (u4 k = position + 1; k < n; k++)
        array[w++] = b->catbl[k];
    b->catbl = array;
    b->quad_count = w;
    m->total_quad_count += w - n;
    *shift = before;
    return 1;
}

quadruple** SkipNopForward(quadruple** from, quadruple** last)
{
    for (; from <= last; from++)
        if (!df_deleted(*from))
            return from;
    return nullptr;
}

quadruple** SkipNopBackward(quadruple** from, quadruple** first)
{
    for (; from >= first; from--)
        if (!df_deleted(*from))
            return from;
    return nullptr;
}

// Every 32-bit constant may stand as an immediate on IA-32.
int IsLiteralRangeArchitecture(quadruple**, s4, int) { return 1; }

// The move-copy pass of the repeat cycle has nothing to do on this target:
// it answers 0 and leaves the quadruples as they are.
int dataflow_Q_movecopy(method_compile_context* m, dataflow_pass_context* pc) { return 0; }
