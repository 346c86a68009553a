// Backward copy propagation: in `d = expression; ...; r = d`, where nothing
// between reads or writes d or r, the expression writes r directly and the
// copy turns round into `d = r`, which dead-store elimination can drop once
// d is no longer needed.
//
// Requires the quadruple form.  Works within blocks and along chains of
// blocks (a block whose only successor has this block as its only
// predecessor), walking the visiting order and each block backwards.  The
// record of a local d says that d's current value is copied into r by the
// move at (block, index) below and that neither is touched in between; a jsr,
// or a quadruple that can raise inside a try region, forgets everything (a
// subroutine or a handler may read either local).
#include <string.h>

#include "driver/driver.h"
#include "driver/options.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "frontend/qgen.h"

namespace {

constexpr int SELECT_LOCAL = 7;     // the debug selector that stops this pass

struct bwd_run {
    copypropa_work w;
    method_compile_context* m;
    u4* used_below;                 // one bit per local: read further down before any write
    u4 used_words;
    bool any_record;
};

bool two_word(u4 type) { return type < 8 && opc_table_type[type].two_word != 0; }
u1 type_of(u1 kind) { return static_cast<u1>(kind >> QT_SHIFT); }
u1 kind_of(u1 kind) { return static_cast<u1>(kind & QK_KIND_MASK); }

bool test_used(const bwd_run* r, u4 v) { return (r->used_below[v >> 5] >> (v & 31) & 1) != 0; }
void set_used(bwd_run* r, u4 v) { r->used_below[v >> 5] |= 1u << (v & 31); }
void clear_used(bwd_run* r, u4 v) { r->used_below[v >> 5] &= ~(1u << (v & 31)); }

void release_list(bwd_run* r, u4 owner, bool clear_records)
{
    copy_dependent_node* n = r->w.dependents[owner];
    while (n != nullptr) {
        copy_dependent_node* next = n->next;
        copy_value_record& d = r->w.records[n->local];
        if (clear_records && d.kind == CPV_LOCAL && d.value == owner)
            memset(&d, 0, sizeof d);
        n->next = r->w.free_nodes;
        r->w.free_nodes = n;
        n = next;
    }
    r->w.dependents[owner] = nullptr;
}

void clear_all(bwd_run* r)
{
    if (!r->any_record)
        return;
    memset(r->w.records, 0, r->w.records_bytes);
    for (u4 v = 0; v < r->w.nlocals; v++)
        release_list(r, v, false);
    r->any_record = false;
}

// A definition or a use of v: v's record and every record naming v go.
void touch(bwd_run* r, u4 v)
{
    if (v >= r->w.nlocals)
        return;
    memset(&r->w.records[v], 0, sizeof(copy_value_record));
    release_list(r, v, true);
}

copy_dependent_node* new_node(bwd_run* r)
{
    if (r->w.free_nodes == nullptr) {
        constexpr u4 refill = 32;
        auto* nodes = static_cast<copy_dependent_node*>(df_alloc(r->m, r->w.pc, refill * sizeof(copy_dependent_node)));
        for (u4 i = 0; i < refill; i++) {
            nodes[i].next = r->w.free_nodes;
            r->w.free_nodes = &nodes[i];
        }
    }
    copy_dependent_node* n = r->w.free_nodes;
    r->w.free_nodes = n->next;
    return n;
}

// Step a: `q` defines d and d's value is copied into r further down.
bool retarget(bwd_run* r, quadruple* q)
{
    if (kind_of(q->result.kind) != QK_VARIABLE || q->result.number >= r->w.nlocals || !df_retargetable(q))
        return false;
    u4 d = q->result.number;
    const copy_value_record& rec = r->w.records[d];
    if (rec.kind != CPV_LOCAL || rec.block >= r->m->bb_count)
        return false;
    bbattr* cb = r->m->bb_table[rec.block];
    if (rec.index >= cb->quad_count)
        return false;
    quadruple* copy = cb->catbl[rec.index];
    u1 t = type_of(q->result.kind);
    if (df_deleted(copy) || kind_of(copy->src1.kind) != QK_VARIABLE || copy->src1.number != d
        || kind_of(copy->result.kind) != QK_VARIABLE || copy->result.number != rec.value)
        return false;
    if (t != type_of(copy->src1.kind) || t != type_of(copy->result.kind))
        return false;
    u4 target = rec.value;
    q->result.number = static_cast<u2>(target);
    q->result.kind = static_cast<u1>((q->result.kind & 0x0F) | (rec.src_type & 0xF) << QT_SHIFT);
    copy->src1.number = static_cast<u2>(target);
    copy->result.number = static_cast<u2>(d);
    set_used(r, target);
    return true;
}

void block_walk(bwd_run* r, u4 block, bool* changed)
{
    bbattr* b = r->m->bb_table[block];
    bool in_try = (b->flags & BB_IN_TRY) != 0;
    u4 nlocals = r->w.nlocals;
    for (u4 i = b->quad_count; i-- > 0;) {
        quadruple* q = b->catbl[i];
        if (df_deleted(q))
            continue;
        if (retarget(r, q))
            *changed = true;
        if (q->opcode == OPC_JSR || (in_try && df_exception_class(q) != DF_CANNOT_RAISE)) {
            clear_all(r);
            continue;
        }
        // Definition.
        if (kind_of(q->result.kind) == QK_VARIABLE && q->result.number < nlocals) {
            u4 x = q->result.number;
            bool wide = two_word(type_of(q->result.kind));
            for (u4 y = x; y <= x + (wide ? 1u : 0u) && y < nlocals; y++) {
                touch(r, y);
                clear_used(r, y);
            }
        }
        // Uses.
        bool first_was_used = false;
        u4 first = 0xFFFFFFFFu;
        auto use = [&](u2 kind, u2 number, bool is_first) {
            if ((kind & QK_KIND_MASK) != QK_VARIABLE || number >= nlocals)
                return;
            bool wide = two_word((kind >> QT_SHIFT) & 0xF);
            if (is_first) {
                first = number;
                first_was_used = test_used(r, number);
            }
            for (u4 y = number; y <= number + (wide ? 1u : 0u) && y < nlocals; y++) {
                touch(r, y);
                set_used(r, y);
            }
        };
        switch (df_shape(q)) {
        case 1: use(q->src1.kind, q->src1.number, true); break;
        case 2:
            use(q->src1.kind, q->src1.number, true);
            use(q->src2.kind, q->src2.number, false);
            break;
        case 3:
            for (quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
                use(e->kind, e->number, false);
            break;
        default: break;
        }
        // A new record: the move x = u.
        u4 attr = opc_info_quadruple[q->opcode];
        if (!(attr & OPA_COPY) || (attr & OPA_LOCAL_COPY) || df_shape(q) != 1 || first == 0xFFFFFFFFu
            || first_was_used || kind_of(q->result.kind) != QK_VARIABLE || q->result.number >= nlocals)
            continue;
        u4 x = q->result.number, u = first;
        u1 t = type_of(q->result.kind);
        if (u == x || t != type_of(q->src1.kind))
            continue;
        if (two_word(t) && (u == x + 1 || x == u + 1))
            continue;
        copy_value_record& rec = r->w.records[u];
        rec.kind = CPV_LOCAL;
        rec.value = x;
        rec.block = static_cast<u2>(block);
        rec.index = static_cast<u2>(i);
        rec.src_type = t;
        rec.dst_row = t;
        copy_dependent_node* n = new_node(r);
        n->local = u;
        n->next = r->w.dependents[x];
        r->w.dependents[x] = n;
        r->any_record = true;
    }
    if (b->flags2 & BB2_TRANSFER_POINT) {
        const dataflow_pass_context* pc = r->w.pc;
        for (u4 v = 0; v < nlocals; v++)
            if (!df_local_in_set(pc->orig_count, pc->orig_set, v))
                touch(r, v);
    }
}

} // namespace

int BwdCopyPropa_Q(method_compile_context* m, copypropa_work* w)
{
    bwd_run* r = reinterpret_cast<bwd_run*>(w);
    bool changed = false;
    s4 last = -1;
    for (s4 k = w->order_count; k-- > 0;) {
        u4 block = w->order[k];
        if (block >= m->bb_count)
            continue;
        bbattr* b = m->bb_table[block];
        if (b->quad_count == 0 || (b->flags & BB_DEAD))
            continue;
        bool chained = last >= 0 && b->succ_count == 1 && bb_succ_block(b->succ[0]) == static_cast<u4>(last)
                       && m->bb_table[last]->pred_count == 1;
        if (!chained) {
            clear_all(r);
            memset(r->used_below, 0, r->used_words * sizeof(u4));
        }
        last = static_cast<s4>(block);
        block_walk(r, block, &changed);
    }
    return changed ? 1 : 0;
}

int dataflow_Q_bwd_copypropa(method_compile_context* m, dataflow_pass_context* pc)
{
    if ((compile_option2_flag & OPT2_NQCOPYPROPA) || (m->selector & 0xFF) == SELECT_LOCAL
        || !(m->state_flags & MCC_QUAD_FORM) || m->local_count == 0)
        return 0;
    pc->flags |= DFP_BUSY;
    df_reset_arena1(pc);
    bwd_run run;
    memset(&run, 0, sizeof run);
    run.m = m;
    copypropa_work& w = run.w;
    w.pc = pc;
    w.nlocals = m->local_count;
    w.records_bytes = w.nlocals * sizeof(copy_value_record);
    w.dependents_bytes = w.nlocals * sizeof(copy_dependent_node*);
    w.records = static_cast<copy_value_record*>(df_alloc(m, pc, w.records_bytes));
    w.dependents = static_cast<copy_dependent_node**>(df_alloc(m, pc, w.dependents_bytes));
    memset(w.records, 0, w.records_bytes);
    memset(w.dependents, 0, w.dependents_bytes);
    run.used_words = (w.nlocals + 31) / 32;
    run.used_below = static_cast<u4*>(df_alloc(m, pc, run.used_words * sizeof(u4)));
    memset(run.used_below, 0, run.used_words * sizeof(u4));
    u4 count;
    u4* order;
    CreateDFSforDFQuadruple(m, pc, &count, &order);
    w.order_count = static_cast<s4>(count);
    w.order = order;
    if (BwdCopyPropa_Q(m, &w) == 1) {
        pc->flags |= DFP_DEADSTORE_WANTED;
        m->state_flags |= MCC_REACHDEF_STALE;
    }
    df_reset_arena1(pc);
    pc->flags &= ~DFP_BUSY;
    return 0;
}
