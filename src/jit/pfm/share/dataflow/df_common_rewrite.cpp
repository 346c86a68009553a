// Commoning: the rewrite walk and the block editor.
//
// The walk visits every block's quadruples once, in order, with `avail` the
// candidates whose value is at hand: in the temporary (from the block's
// entry set, or saved) or in the destination of an occurrence of this block
// not yet saved (`avail_pos`).  It records edits: an occurrence whose value
// is at hand becomes a copy from the temporary (kind 1); the occurrence that
// first computes a value others use, or a store whose value later loads
// read, saves the value into the temporary right after itself (kind 2); a
// block that must leave the value in the temporary without computing it
// after its last kill computes it at its end (kind 2 at the end, before the
// block's closing branch).
//
// A store whose value later code takes from the temporary may also wait
// there (kind 0 turns it into a save into the temporary): `pending` are the
// candidates whose newest value is in the temporary while memory may still
// hold an older one.  A waiting store is written (kind 3, from the
// temporary, right after the block's last store of it or before the block's
// first quadruple) before anything that reads or orders that memory, before
// the method is left, and at the end of a block with a successor that does
// not expect it waiting.
//
// The editor applies a block's sorted edits: copies in place, insertions by
// rebuilding the block's quadruple array.  Every written quadruple cannot
// raise; operands it names carry no chain or liveness marks (those results
// are recomputed after the pass).
#include <stdlib.h>
#include <string.h>

#include "driver/driver.h"
#include "driver/options.h"
#include "dataflow/df_commoning.h"
#include "dataflow/df_operand.h"
#include "frontend/qgen.h"

namespace {

u1 kind_of(const quad_operand& o) { return o.kind & QK_KIND_MASK; }
u1 type_of(const quad_operand& o) { return o.kind >> QT_SHIFT; }
bool is_local(const quad_operand& o) { return kind_of(o) == QK_VARIABLE; }

void set_operand(quad_operand& o, u1 kind_byte, u2 number)
{
    o.kind = kind_byte;
    o.flags = 0;
    o.number = number;
    o.reg = 0;
    o.second = 0;
    o.pad6 = 0;
    o.value = 0;
}
void clear_operand(quad_operand& o) { set_operand(o, 0, QUAD_NO_NUMBER); }

struct walk {
    commoning_table* t;
    u4 block;
    u8 avail;
    u8 kill;          // the block's kill set
    u8 insert;
    s4 avail_pos[CM_MAX];
    bool put;         // stores may wait in their temporaries
    u8 deferrable;    // candidates whose stores may wait
    u8 pending;       // waiting stores
    s4 store_pos[CM_MAX];   // the block's last store of a waiting candidate; -1 none
    u8 temp_read;     // copies from the temporary since the candidate's last store
};

u4 temp_of(commoning_table* t, s4 c)
{
    commoning_candidate* cand = &t->cands[c];
    if (cand->temporary < 0) {
        cand->temporary = static_cast<s4>(t->m->local_count + t->new_locals);
        t->new_locals += (cand->key.flags & CMK_TWO_SLOT) ? 2 : 1;
    }
    return static_cast<u4>(cand->temporary);
}

void add_edit(commoning_table* t, int16_t kind, s4 c, s4 position)
{
    temp_of(t, c);
    if (t->edit_count > 0) {
        const commoning_edit& last = t->edits[t->edit_count - 1];
        if (last.cand == c && last.kind == kind && last.position == position)
            return;
    }
    if (t->edit_count + 1 >= t->edit_capacity) {
        u4 capacity = t->edit_capacity * 2;
        auto* grown = static_cast<commoning_edit*>(cm_alloc(t, capacity * sizeof(commoning_edit)));
        memcpy(grown, t->edits, t->edit_count * sizeof(commoning_edit));
        t->edits = grown;
        t->edit_capacity = capacity;
    }
    t->edits[t->edit_count++] = {static_cast<int16_t>(c), kind, position};
    if (kind != CE_COPY)
        t->replacements_only = 0;
    if (kind == CE_SAVE || kind == CE_EMIT_STORE)
        t->new_quad_count++;
}

void kill(walk& w, u8 set)
{
    if ((w.avail & set) == 0) {
        return;
    }
    for (s4 c = 0; c < w.t->count; c++)
        if (set & ABIT_llshr[c])
            w.avail_pos[c] = -1;
    w.avail &= ~set;
}


// Writes c's waiting store to memory.
void flush(walk& w, s4 c)
{
    u8 bit = ABIT_llshr[c];
    if (!(w.pending & bit))
        return;
    w.pending &= ~bit;
    s4 p = w.store_pos[c];
    w.store_pos[c] = -1;
    if (p < 0) {
        add_edit(w.t, CE_EMIT_STORE, c, -1);
        return;
    }
    // Written right after the block's own store: the store stays as it is,
    // and the temporary takes its value only where a copy reads it.
    for (u4 i = w.t->edit_count; i-- > 0;) {
        commoning_edit& e = w.t->edits[i];
        if (e.kind == CE_STORE_SAVE && e.cand == c && e.position == p) {
            e.kind = CE_CANCELLED;
            break;
        }
    }
    if (w.temp_read & bit)
        add_edit(w.t, CE_SAVE, c, p);
    else if (w.avail & bit)
        w.avail_pos[c] = p;
}

void flush_set(walk& w, u8 set)
{
    set &= w.pending;
    for (s4 c = 0; set != 0 && c < w.t->count; c++)
        if (set & ABIT_llshr[c]) {
            flush(w, c);
            set &= ~ABIT_llshr[c];
        }
}

void save(walk& w, s4 c)
{
    if (w.avail_pos[c] >= 0)
        add_edit(w.t, CE_SAVE, c, w.avail_pos[c]);
    w.avail_pos[c] = -1;
}

void occurrence(walk& w, s4 c, bool store, s4 p)
{
    u8 bit = ABIT_llshr[c];
    if (!store) {
        if (w.avail & bit) {
            save(w, c);
            add_edit(w.t, CE_COPY, c, p);
            w.temp_read |= bit;
            w.t->commoned++;
        } else if (!(w.kill & bit) && (w.insert & bit)) {
            add_edit(w.t, CE_SAVE, c, p);
            w.avail_pos[c] = -1;
        } else {
            w.avail_pos[c] = p;
        }
    } else if (w.put && (w.deferrable & bit)) {
        // The store becomes a save into the temporary and waits.
        add_edit(w.t, CE_STORE_SAVE, c, p);
        w.pending |= bit;
        w.temp_read &= ~bit;
        w.store_pos[c] = p;
        w.avail_pos[c] = -1;
    } else {
        // The store (which killed the old value) holds the new one.
        w.avail_pos[c] = p;
    }
    w.avail |= bit;
}

int compare_edits(const void* a, const void* b)
{
    const auto* x = static_cast<const commoning_edit*>(a);
    const auto* y = static_cast<const commoning_edit*>(b);
    if (x->position != y->position)
        return x->position < y->position ? -1 : 1;
    if (x->kind != y->kind)
        return x->kind < y->kind ? -1 : 1;
    return 0;
}

void sort_edits(commoning_table* t)
{
    // Stable: equal keys keep their order (an insertion sort; lists are short).
    for (u4 i = 1; i < t->edit_count; i++) {
        commoning_edit e = t->edits[i];
        u4 j = i;
        while (j > 0 && compare_edits(&t->edits[j - 1], &e) > 0) {
            t->edits[j] = t->edits[j - 1];
            j--;
        }
        t->edits[j] = e;
    }
    for (u4 i = 1; i < t->edit_count; i++) {
        commoning_edit& a = t->edits[i - 1];
        commoning_edit& b = t->edits[i];
        if (a.position != b.position || a.cand != b.cand || a.kind == CE_CANCELLED)
            continue;
        if (a.kind == b.kind)
            b.kind = CE_CANCELLED;
    }
    if (compile_option3_flag & OPT3_NQCOMMONING_PUT)
        for (u4 i = 0; i < t->edit_count; i++)
            if (t->edits[i].kind == CE_STORE_SAVE || t->edits[i].kind == CE_EMIT_STORE)
                t->edits[i].kind = CE_CANCELLED;
}

// ---- the editor ---------------------------------------------------------------------

u1 kb(u1 kind, u1 type) { return static_cast<u1>(kind | type << QT_SHIFT); }

void make_copy(quadruple* q, const quadruple* model, u1 type, const quad_operand& dst, const quad_operand& src)
{
    memset(q, 0, sizeof *q);
    u1 k = kind_of(src);
    bool constant = k == QK_IMMEDIATE || k == QK_NEG_IMMEDIATE;
    q->opcode = constant ? opc_table_type[type].constant : opc_table_type[type].move;
    q->opcount = static_cast<u2>(1 | DF_CANNOT_RAISE << 12);
    q->result = dst;
    q->result.flags = 0;
    q->result.value = 0;
    set_operand(q->src1, src.kind, src.number);
    clear_operand(q->auxop);
    clear_operand(q->src2);
    if (constant) {
        q->value = k == QK_IMMEDIATE ? src.number : static_cast<u4>(-static_cast<s4>(src.number));
        q->flags_a = QA_CONSTANT;
    }
    q->context = model->context;
    q->body = model->body;
    quad_set_source_pc(q, quad_source_pc(model));
}

// The value a store writes.
quad_operand stored_value(const quadruple* q)
{
    if (df_shape(q) == QC_SRC_LIST) {
        const quad_operand_list_entry* x = quad_list_head(q)->next->next;
        quad_operand o{};
        o.kind = static_cast<u1>(x->kind);
        o.number = x->number;
        return o;
    }
    return q->opcode >= OPC_IPUTSTATIC && q->opcode <= OPC_APUTSTATIC ? q->src1 : q->src2;
}

bool is_store(const quadruple* q) { return (opc_info_quadruple[q->opcode] & (OPA_PUTFIELD | OPA_PUTSTATIC | OPA_ARRAY_STORE)) != 0; }

quadruple* new_quad(commoning_table* t)
{
    auto* q = static_cast<quadruple*>(jit_wmem_alloc(t->m->pool1, sizeof(quadruple)));
    memset(q, 0, sizeof *q);
    return q;
}

quad_operand temp_operand(commoning_table* t, s4 c)
{
    quad_operand o{};
    set_operand(o, kb(QK_VARIABLE, t->cands[c].key.type), static_cast<u2>(temp_of(t, c)));
    return o;
}

// Occurrence q becomes `destination = temporary`.
void replace_by_copy(commoning_table* t, quadruple* q, s4 c)
{
    quadruple model = *q;
    make_copy(q, &model, type_of(model.result), model.result, temp_operand(t, c));
    q->result = model.result;
}

// After q (the occurrence at the save position): the value into the
// temporary.  Returns the quadruple to place after q, or null.
quadruple* save_after(commoning_table* t, quadruple* q, s4 c)
{
    quad_operand temp = temp_operand(t, c);
    if (is_store(q)) {
        quadruple* s = new_quad(t);
        make_copy(s, q, t->cands[c].key.type, temp, stored_value(q));
        return s;
    }
    if (is_local(q->result) && q->result.number == temp.number)
        return nullptr;
    quad_operand destination = q->result;
    quadruple* s = new_quad(t);
    make_copy(s, q, type_of(destination), destination, temp);
    s->result = destination;
    q->result.kind = temp.kind;
    q->result.number = temp.number;
    q->result.flags = 0;
    q->result.value = 0;
    return s;
}

// The store of candidate c, with the temporary as the value.
quadruple* emit_store(commoning_table* t, s4 c)
{
    quadruple* q = new_quad(t);
    *q = *t->store_model[c];
    q->opcount = static_cast<u2>((q->opcount & ~(QC_DELETED | QC_PERMISSIONS)) | DF_CANNOT_RAISE << 12);
    quad_operand temp = temp_operand(t, c);
    quad_operand& value = q->opcode >= OPC_IPUTSTATIC && q->opcode <= OPC_APUTSTATIC ? q->src1 : q->src2;
    value.kind = temp.kind;
    value.number = temp.number;
    quad_operand* operands[] = {&q->result, &q->src1, &q->src2, &q->auxop};
    for (quad_operand* o : operands) {
        o->flags = 0;
        o->value = 0;
    }
    q->flags_a &= static_cast<u1>(~QA_LAST_CALL);
    return q;
}

// The store at `index` of b stops touching memory.  A null check of its
// object whose exception the store was left to raise (the check without the
// explicit flag) must now raise it itself: otherwise the exception would
// pass to a later access of the object, perhaps in another try region or
// after other effects, or be lost when nothing accesses it any more.  The
// check is the nearest one before the store, unless the object is defined
// or accessed in between (that access raises the exception).
void keep_null_check(bbattr* b, u4 index)
{
    const quad_operand& object = b->catbl[index]->src1;
    if (!is_local(object))
        return;
    for (u4 k = index; k-- > 0;) {
        quadruple* q = b->catbl[k];
        if (df_deleted(q))
            continue;
        bool names_object = is_local(q->src1) && q->src1.number == object.number;
        if (q->opcode == OPC_NULLCHECK) {
            if (names_object) {
                q->flags_a |= QA_NULLCHECK_VARIANT;
                return;
            }
            continue;
        }
        if (names_object && (opc_info_quadruple[q->opcode] & OPA_MAY_RAISE))
            return;
        if (is_local(q->result) && (q->result.number == object.number
                                    || (cm_two_slot_operand(q->result) && q->result.number + 1u == object.number)))
            return;
    }
}

// The store at q becomes `temporary = stored value`.
void store_to_save(commoning_table* t, quadruple* q, s4 c)
{
    quadruple model = *q;
    make_copy(q, &model, t->cands[c].key.type, temp_operand(t, c), stored_value(&model));
}

// A fresh computation of candidate c into its temporary, from its template.
quadruple* compute(commoning_table* t, s4 c)
{
    quadruple* q = new_quad(t);
    *q = t->cands[c].quad;
    q->opcount = static_cast<u2>((q->opcount & ~(QC_DELETED | QC_PERMISSIONS)) | DF_CANNOT_RAISE << 12);
    quad_operand temp = temp_operand(t, c);
    q->result.kind = temp.kind;
    q->result.number = temp.number;
    q->result.flags = 0;
    q->result.value = 0;
    q->src1.flags = 0;
    q->src1.value = 0;
    q->src2.flags = 0;
    q->flags_a &= static_cast<u1>(~QA_LAST_CALL);
    return q;
}

bool ends_block(const quadruple* q) { return (opc_info_quadruple[q->opcode] & OPA_ENDS_BLOCK) && !df_deleted(q); }

} // namespace

int commoning_apply_edits(method_compile_context* m, commoning_table* t, u4 block)
{
    bbattr* b = m->bb_table[block];
    if (t->replacements_only) {
        for (u4 i = 0; i < t->edit_count; i++) {
            const commoning_edit& e = t->edits[i];
            if (e.kind == CE_COPY && e.position >= 0 && static_cast<u4>(e.position) < b->quad_count)
                replace_by_copy(t, b->catbl[e.position], e.cand);
        }
        return 0;
    }
    u4 old_count = b->quad_count;
    u4 need = old_count + t->new_quad_count + 1;
    if (t->rebuild_capacity < need) {
        u4 capacity = t->rebuild_capacity == 0 ? 64 : t->rebuild_capacity;
        while (capacity < need)
            capacity *= 2;
        t->rebuild = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, capacity * sizeof(quadruple*)));
        t->rebuild_capacity = capacity;
    }
    // Where the end-of-block insertions go: before the closing branches.
    u4 end = old_count;
    while (end > 0 && ends_block(b->catbl[end - 1]))
        end--;
    u4 n = 0, next = 0;
    auto copy_up_to = [&](u4 limit) {   // old quadruples [next, limit)
        while (next < limit && next < old_count)
            t->rebuild[n++] = b->catbl[next++];
    };
    for (u4 i = 0; i < t->edit_count; i++) {
        const commoning_edit& e = t->edits[i];
        if (e.kind == CE_CANCELLED)
            continue;
        if (e.kind == CE_STORE_SAVE) {
            copy_up_to(static_cast<u4>(e.position) + 1);
            keep_null_check(b, static_cast<u4>(e.position));
            store_to_save(t, b->catbl[e.position], e.cand);
        } else if (e.kind == CE_EMIT_STORE) {
            copy_up_to(static_cast<u4>(e.position + 1));
            t->rebuild[n++] = emit_store(t, e.cand);
        } else if (e.kind == CE_COPY) {
            copy_up_to(static_cast<u4>(e.position) + 1);
            replace_by_copy(t, b->catbl[e.position], e.cand);
        } else if (e.kind == CE_SAVE && e.position == CE_AT_END) {
            copy_up_to(end);
            t->rebuild[n++] = compute(t, e.cand);
        } else if (e.kind == CE_SAVE && e.position >= 0) {
            copy_up_to(static_cast<u4>(e.position) + 1);
            quadruple* s = save_after(t, b->catbl[e.position], e.cand);
            if (s != nullptr)
                t->rebuild[n++] = s;
        }
    }
    copy_up_to(old_count);
    if (n > old_count) {
        auto** grown = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, (n + 1) * sizeof(quadruple*)));
        if (grown == nullptr)
            return 1;
        b->catbl = grown;
    }
    memcpy(b->catbl, t->rebuild, n * sizeof(quadruple*));
    m->total_quad_count += n - old_count;
    b->quad_count = n;
    return 0;
}

int Commoning_Final_Dataflow_B(method_compile_context* m, commoning_table* t)
{
    commoning_edit frame[128];
    t->edits = frame;
    t->edit_capacity = 128;
    int result = 0;
    walk w;
    w.t = t;
    w.put = t->store_rewrite != 0 && !(compile_option3_flag & OPT3_NQCOMMONING_PUT);
    w.deferrable = 0;
    for (s4 c = 0; w.put && c < t->count; c++)
        if (t->store_model[c] != nullptr && (t->store_rewrite & ABIT_llshr[c]))
            w.deferrable |= ABIT_llshr[c];
    for (u4 o = 0; o < t->order_count; o++) {
        u4 n = t->order[o];
        bbattr* b = m->bb_table[n];
        if (b->quad_count == 0 || (b->flags & BB_DEAD))
            continue;
        const commoning_block_sets& v = t->values[n];
        w.block = n;
        w.kill = v.s[CS_KILL];
        w.insert = v.s[CS_INSERT];
        u8 entry_kill = cm_block_entry_kill(b);
        w.avail = v.s[CS_TAVIN] & ~entry_kill;
        for (u4 c = 0; c < CM_MAX; c++) {
            w.avail_pos[c] = -2;
            w.store_pos[c] = -1;
        }
        w.temp_read = 0;
        w.pending = w.put ? t->stores[n].s[CS_ANTIN] & w.deferrable & ~entry_kill : 0;
        t->edit_count = 0;
        t->replacements_only = 1;
        t->new_quad_count = 0;
        bool exception_mode = (b->flags & BB_IN_TRY) != 0;
        for (u4 i = 0; i < b->quad_count; i++) {
            quadruple* q = b->catbl[i];
            if (df_deleted(q))
                continue;
            if (cm_dead_computation(q)) {
                ChangeNOP(m, static_cast<s4>(n), static_cast<s4>(i));
                continue;
            }
            cm_effect e;
            cm_quad_effect(t, q, exception_mode, &e);
            flush_set(w, e.store_kill);
            kill(w, e.kill);
            if (e.cand >= 0) {
                u8 bit = ABIT_llshr[e.cand];
                // A load that does not find the value at hand reads memory.
                if (!e.store && !(w.avail & bit))
                    flush(w, e.cand);
                if (e.store && !e.store_defer)
                    flush(w, e.cand);
                bool was_deferrable = (w.deferrable & bit) != 0;
                if (e.store && !e.store_defer)
                    w.deferrable &= ~bit;
                occurrence(w, e.cand, e.store, static_cast<s4>(i));
                if (was_deferrable)
                    w.deferrable |= bit;
            }
            flush_set(w, e.kill_after);
            kill(w, e.kill_after);
        }
        if (w.pending != 0) {
            // Written here unless every successor expects them waiting.
            const commoning_flow_node& f = t->nodes[n];
            u8 keep = f.succ_count > 0 ? w.pending : 0;
            for (u4 s = 0; s < f.succ_count; s++) {
                u4 to = bb_succ_block(f.succs[s]);
                keep &= to < t->nblocks && to + 1 != m->bb_count ? t->stores[to].s[CS_ANTIN] : 0;
            }
            keep &= t->stores[n].s[CS_ANTOUT];
            flush_set(w, w.pending & ~keep);
        }
        for (s4 c = 0; c < t->count; c++) {
            u8 bit = ABIT_llshr[c];
            if (!(w.insert & bit))
                continue;
            if (!(w.avail & bit)) {
                flush(w, c);
                add_edit(t, CE_SAVE, c, CE_AT_END);
            }
            else if (w.avail_pos[c] >= 0 && (w.kill & bit))
                add_edit(t, CE_SAVE, c, w.avail_pos[c]);
        }
        if (t->edit_count > 0) {
            sort_edits(t);
            result |= commoning_apply_edits(m, t, n);
        }
    }
    return result;
}
