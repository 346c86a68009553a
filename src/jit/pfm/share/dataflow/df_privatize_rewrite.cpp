// Field privatization: the rewrite of the block instructions and the
// renumbering of the cache locals.
//
// Requires the sets of the placement dataflow (df_privatize_flow.cpp).  Each
// block is scanned again with the simulated stack; every access of a
// candidate records edits (save a value into the cache local, turn a read
// into a local load, save a written value, turn a write into a local store,
// load or write back the field at the block's start or end), and the block
// is then rebuilt in one copy pass.  Pushes of `this` that only fed a
// rewritten access become NOPs for `remove_nop`.  The method's maximum stack
// grows by what the inserted sequences need on top of the stack they meet
// (a write-back of a long field of `this` needs three slots).
//
// Cache locals are numbered from the method's local count while the pass
// runs; at the end they move to the pass context's local count, and the
// locals that the front end added above it move up behind them.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_privatize.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"

namespace {

constexpr int COL_LOAD = 0, COL_STORE = 1, COL_GETFIELD = 2, COL_PUTFIELD = 3, COL_GETSTATIC = 4, COL_PUTSTATIC = 5;

bool two_slot(u4 type_code) { return (type_code & PVT_TWO_SLOTS) != 0; }

u4 slots_of(u4 type_code) { return two_slot(type_code) ? 2 : 1; }

s4 cache_local(privatize_state* st, s4 c)
{
    field_cache_candidate& e = st->cand[c];
    if (e.cache_local < 0) {
        e.cache_local = static_cast<s4>(st->m->local_count) + st->cache_locals;
        st->cache_locals += static_cast<s4>(slots_of(e.type_code));
        st->privatized++;
    }
    return e.cache_local;
}

void add_edit(privatize_state* st, u2 kind, s4 c, s4 position, s4 source_block, s4 source_index)
{
    privatize_make_room(st->m->pool1, st->edits, st->edit_capacity, st->edit_count);
    privatize_edit& e = st->edits[st->edit_count++];
    e.candidate = c;
    e.kind = kind;
    e.pad = 0;
    e.position = position;
    e.source_block = source_block;
    e.source_index = source_index;
    e.cache_local = cache_local(st, c);
    e.spare = 0;
}

// The push of the object: this block's instruction, -1 for a static field,
// 0/0 when a shuffle copied it (the push stays).
void source_of(const pv_event& ev, s4* block, s4* index)
{
    if (ev.base == -1) {
        *block = -1;
        *index = -1;
    } else if ((ev.object.flags & PVS_SHUFFLED) || ev.object.block < 0) {
        *block = 0;
        *index = 0;
    } else {
        *block = ev.object.block;
        *index = ev.object.index;
    }
}

struct block_scan {
    u4 block;
    privatize_block_sets* sets;
    privatize_block_sets* pseudo;   // sets of the block's pseudo block, or none
    u8 avin;                        // candidates whose value the cache local holds here
    s4 pos[PV_MAX_CANDIDATES];      // -2 nothing yet, -1 in the cache local, else the read that produced it
};

// Records the edits of one access; answers whether it was handled.
bool decide_access(privatize_state* st, block_scan& bs, s4 c, bool write, u4 i, const pv_event& ev)
{
    u4 type = st->cand[c].type_code;
    if (type & PVT_BELOW_THRESHOLD)
        return true;
    u8 m = pv_mask(c);
    s4 sb, si;
    source_of(ev, &sb, &si);
    s4 at = static_cast<s4>(i);
    const privatize_block_sets& b = *bs.sets;
    if (!(b.kill & m)) {
        if (!write) {
            if (bs.avin & m) {
                if (bs.pos[c] >= 0) {
                    add_edit(st, PVE_SAVE, c, bs.pos[c], -1, -1);
                    bs.pos[c] = -1;
                }
                add_edit(st, PVE_READ, c, at, sb, si);
            } else if (b.insert & m) {
                add_edit(st, PVE_SAVE, c, at, -1, -1);
            } else {
                bs.pos[c] = at;
            }
            return true;
        }
        if (!(bs.avin & m) && !(b.insert & m))
            return false;
        if (bs.pos[c] >= 0) {
            bs.avin &= ~m;
            bs.pos[c] = -1;
            return false;
        }
        if (b.last_kill < at && (b.writeout & m) && !(st->alias_summary & m))
            add_edit(st, PVE_DEFER, c, at, sb, si);
        else
            add_edit(st, PVE_WRITE, c, at, -1, -1);
        return true;
    }
    if (bs.pseudo == nullptr)
        return false;
    if (!write) {
        if (bs.avin & m) {
            if (bs.pos[c] >= 0) {
                add_edit(st, PVE_SAVE, c, bs.pos[c], -1, -1);
                bs.pos[c] = -1;
            }
            add_edit(st, PVE_READ, c, at, sb, si);
        } else {
            bs.pos[c] = at;
        }
        return true;
    }
    if (!(bs.avin & m))
        return false;
    if (bs.pos[c] < 0) {
        add_edit(st, PVE_WRITE, c, at, -1, -1);
        return true;
    }
    if (bs.pseudo->insert & m) {
        add_edit(st, PVE_SAVE, c, bs.pos[c], -1, -1);
        add_edit(st, PVE_WRITE, c, at, -1, -1);
        bs.pos[c] = -1;
        return true;
    }
    bs.avin &= ~m;
    bs.pos[c] = -1;
    return false;
}

void forget(block_scan& bs, u8 kills)
{
    bs.avin &= ~kills;
    for (u4 c = 0; c < PV_MAX_CANDIDATES; c++)
        if (kills & pv_mask(static_cast<s4>(c)))
            bs.pos[c] = -1;
}

// ---- rebuilding a block ----------------------------------------------------------

struct builder {
    privatize_state* st;
    quadruple** out;
    u4 n;
    s4 pc;              // source pc given to new instructions
};

quadruple* fresh(builder& b)
{
    auto* q = static_cast<quadruple*>(jit_wmem_alloc(b.st->m->pool1, sizeof(quadruple)));
    memset(q, 0, sizeof *q);
    quad_set_source_pc(q, b.pc);
    b.out[b.n++] = q;
    return q;
}

void emit_local(builder& b, u4 type, int col, s4 local)
{
    quadruple* q = fresh(b);
    q->opcode = pv_opcode_table[type & PVT_MASK][col];
    q->op = static_cast<u2>(local);
}

void emit_this(builder& b)
{
    quadruple* q = fresh(b);
    q->opcode = OPC_ALOAD;
    q->op = 0;
}

void emit_pop(builder& b)
{
    quadruple* q = fresh(b);
    q->opcode = OPC_POP;
}

void emit_field(builder& b, const field_cache_candidate& e, int col)
{
    quadruple* q = fresh(b);
    q->opcode = pv_opcode_table[e.type_code & PVT_MASK][col];
    q->aux = reinterpret_cast<u4>(e.fb);
    if (e.first_access != nullptr) {
        q->body = e.first_access->body;
        quad_set_source_pc(q, quad_source_pc(e.first_access));
    }
    // Only fields of `this` are cached: the object is never null.
    if (e.base != -1)
        q->subcode |= QS_NO_NULLCHECK;
}

void grow_stack(privatize_state* st, u4 need)
{
    if (need > st->stack_growth)
        st->stack_growth = need;
}

// A load of the field into its cache local at the block's start or end.
void emit_complete_load(builder& b, const field_cache_candidate& e, s4 local)
{
    u4 w = slots_of(e.type_code);
    if (e.base == -1) {
        emit_field(b, e, COL_GETSTATIC);
    } else {
        emit_this(b);
        emit_field(b, e, COL_GETFIELD);
    }
    emit_local(b, e.type_code, COL_STORE, local);
    grow_stack(b.st, w);
}

// A write-back of the cache local to the field.
void emit_write_back(builder& b, const field_cache_candidate& e, s4 local)
{
    u4 w = slots_of(e.type_code);
    if (e.base == -1) {
        emit_local(b, e.type_code, COL_LOAD, local);
        emit_field(b, e, COL_PUTSTATIC);
        grow_stack(b.st, w);
    } else {
        emit_this(b);
        emit_local(b, e.type_code, COL_LOAD, local);
        emit_field(b, e, COL_PUTFIELD);
        grow_stack(b.st, 1 + w);
    }
}

void emit_edge_edit(builder& b, const privatize_edit& ed)
{
    const field_cache_candidate& e = b.st->cand[ed.candidate];
    if (ed.kind == PVE_SAVE)
        emit_complete_load(b, e, ed.cache_local);
    else
        emit_write_back(b, e, ed.cache_local);
}

bool final_transfer(const quadruple* q)
{
    switch (q->opcode) {
    case OPC_IFZ: case OPC_IFCMP: case OPC_IFNULL: case OPC_IFACMP:
    case OPC_IRETURN: case OPC_LRETURN: case OPC_FRETURN: case OPC_DRETURN: case OPC_ARETURN:
    case OPC_SWITCH: case OPC_ATHROW: case OPC_GOTO: case OPC_CHA_GUARD:
        return true;
    case OPC_OTHER:
        return quad_kind_nibble(q) == OTHER_RETURN_VOID;
    default:
        return false;
    }
}

// Stable sort of the block's edits by position.
void sort_edits(privatize_state* st)
{
    for (u4 i = 1; i < st->edit_count; i++) {
        privatize_edit moved = st->edits[i];
        u4 j = i;
        while (j > 0 && st->edits[j - 1].position > moved.position) {
            st->edits[j] = st->edits[j - 1];
            j--;
        }
        st->edits[j] = moved;
    }
}

// Rebuilds the block; answers 1 when a rewritten read of a reference field
// is directly followed by a field read (the next round could cache it).
int apply_edits(method_compile_context* m, privatize_state* st, u4 block)
{
    bbattr* bb = m->bb_table[block];
    u4 old = bb->quad_count;
    int followed = 0;
    for (u4 k = 0; k < st->edit_count; k++) {
        const privatize_edit& ed = st->edits[k];
        if ((ed.kind == PVE_READ || ed.kind == PVE_DEFER) && ed.source_block == static_cast<s4>(block)
            && ed.source_index >= 0 && static_cast<u4>(ed.source_index) < old) {
            quad_make_nop(bb->catbl[ed.source_index], false);
            st->pc->flags |= DFP_NOPS_TO_REMOVE;
        }
    }
    u4 final = old;
    if (old > 0 && final_transfer(bb->catbl[old - 1]))
        final = old - 1;
    builder b{st, static_cast<quadruple**>(jit_wmem_alloc(m->pool1, (old + 4 * st->edit_count + 1) * sizeof(quadruple*))),
              0, old > 0 ? quad_source_pc(bb->catbl[0]) : -1};
    u4 k = 0;
    while (k < st->edit_count && st->edits[k].position == PV_AT_START)
        emit_edge_edit(b, st->edits[k++]);
    for (u4 i = 0; i < old; i++) {
        quadruple* q = bb->catbl[i];
        if (i == final) {
            b.pc = quad_source_pc(q);
            for (u4 j = k; j < st->edit_count; j++)
                if (st->edits[j].position == PV_AT_END)
                    emit_edge_edit(b, st->edits[j]);
        }
        b.pc = quad_source_pc(q);
        const privatize_edit* replace = nullptr;
        for (u4 j = k; j < st->edit_count && st->edits[j].position == static_cast<s4>(i); j++) {
            const privatize_edit& ed = st->edits[j];
            const field_cache_candidate& e = st->cand[ed.candidate];
            if (ed.kind == PVE_WRITE) {
                // The written value is saved and stays for the write.
                emit_local(b, e.type_code, COL_STORE, ed.cache_local);
                emit_local(b, e.type_code, COL_LOAD, ed.cache_local);
            } else if (ed.kind == PVE_READ || ed.kind == PVE_DEFER) {
                replace = &ed;
            }
        }
        if (replace == nullptr) {
            b.out[b.n++] = q;
        } else {
            const field_cache_candidate& e = st->cand[replace->candidate];
            bool push_here = replace->source_block == static_cast<s4>(block);
            bool has_push = replace->source_block != -1;
            if (replace->kind == PVE_READ) {
                if (has_push && !push_here)
                    emit_pop(b);
                emit_local(b, e.type_code, COL_LOAD, replace->cache_local);
                if ((e.type_code & PVT_MASK) == PVT_REF && i + 1 < old && bb->catbl[i + 1]->opcode >= OPC_IGETFIELD
                    && bb->catbl[i + 1]->opcode <= OPC_AGETFIELD)
                    followed = 1;
            } else {
                emit_local(b, e.type_code, COL_STORE, replace->cache_local);
                if (has_push && !push_here)
                    emit_pop(b);
            }
        }
        while (k < st->edit_count && st->edits[k].position == static_cast<s4>(i)) {
            const privatize_edit& ed = st->edits[k++];
            if (ed.kind == PVE_SAVE) {
                // The value read stays on the stack and is saved.
                const field_cache_candidate& e = st->cand[ed.candidate];
                emit_local(b, e.type_code, COL_STORE, ed.cache_local);
                emit_local(b, e.type_code, COL_LOAD, ed.cache_local);
            }
        }
    }
    if (final == old)
        for (u4 j = k; j < st->edit_count; j++)
            if (st->edits[j].position == PV_AT_END)
                emit_edge_edit(b, st->edits[j]);
    bb->catbl = b.out;
    bb->quad_count = b.n;
    m->total_quad_count += b.n - old;
    return followed;
}

int rewrite_block(method_compile_context* m, privatize_state* st, u4 block)
{
    bbattr* bb = m->bb_table[block];
    block_scan bs;
    bs.block = block;
    bs.sets = &st->sets[block];
    s4 p = st->edges[block].pseudo;
    bs.pseudo = p > 0 ? &st->sets[p] : nullptr;
    bs.avin = bs.sets->avin;
    for (u4 c = 0; c < PV_MAX_CANDIDATES; c++)
        bs.pos[c] = -2;
    st->edit_count = 0;
    u4 old = bb->quad_count;
    for (u4 i = 0; i < old; i++) {
        pv_event ev;
        pv_step(st, bb->catbl, i, &ev);
        if (ev.access != PV_NO_ACCESS) {
            s4 c = ev.recordable ? privatize_lookup_candidate(st, ev.base, ev.fb) : -1;
            if (c >= 0) {
                if (ev.access_flush)
                    forget(bs, pv_mask(c));
                if (decide_access(st, bs, c, ev.access == PV_WRITE_ACCESS, i, ev))
                    bs.avin |= pv_mask(c);
            }
            if (ev.access == PV_WRITE_ACCESS)
                forget(bs, pv_alias_kills(st, ev.base, ev.fb));
        }
        if (ev.store_local >= 0)
            forget(bs, pv_local_kills(st, ev.store_local) | pv_local_kills(st, ev.store_local2));
        if (ev.full_kill)
            forget(bs, ~0ull);
    }
    for (s4 c = 0; c < st->kept; c++) {
        const field_cache_candidate& e = st->cand[c];
        if (e.type_code & PVT_BELOW_THRESHOLD)
            continue;
        u8 m = pv_mask(c);
        // Loads go before the block's final transfer: memory is current
        // there whenever the cache local does not hold the value.
        if (!(bs.avin & m) && (bs.sets->insert & m))
            add_edit(st, PVE_SAVE, c, PV_AT_END, -1, -1);
        if (bs.pseudo != nullptr && (bs.pseudo->insert & m)) {
            if (bs.pos[c] >= 0)
                add_edit(st, PVE_SAVE, c, bs.pos[c], -1, -1);
            else if (!(bs.avin & m) && !(bs.sets->insert & m))
                add_edit(st, PVE_SAVE, c, PV_AT_END, -1, -1);
        }
        if (bs.sets->exitwb & m)
            add_edit(st, PVE_WRITE, c, PV_AT_START, -1, -1);
    }
    if (st->edit_count == 0)
        return 0;
    sort_edits(st);
    return apply_edits(m, st, block);
}

u2 map_local(u4 local, u4 p, u4 m, u4 n)
{
    if (local < p)
        return static_cast<u2>(local);
    if (local < m)
        return static_cast<u2>(local + n);
    return static_cast<u2>(local - m + p);
}

} // namespace

int privatize_rewrite_method(method_compile_context* m, privatize_state* st)
{
    u4 prev = 0xFFFFFFFFu;
    for (u4 k = 0; k < m->dfs_count; k++) {
        u4 block = m->dfs_array[k];
        if (!pv_block_walked(m, block))
            continue;
        pv_begin_block(st, block, prev);
        prev = block;
        rewrite_block(m, st, block);
    }
    // Only fields of `this` and statics are cached, so a cached reference
    // never becomes the base of a later candidate: one round is enough.
    return 0;
}

// Every local operand of one instruction becomes map(local).
void pv_map_locals(quadruple* q, pv_local_map map, const u4* args)
{
    switch (q->opcode) {
    case OPC_ILOAD: case OPC_ISTORE: case OPC_LLOAD: case OPC_LSTORE: case OPC_FLOAD: case OPC_FSTORE:
    case OPC_DLOAD: case OPC_DSTORE: case OPC_ALOAD: case OPC_ASTORE: case OPC_IINC:
    case OPC_XALOAD: case OPC_XASTORE: case OPC_XSTORE:
        q->op = map(q->op, args);
        break;
    case OPC_OTHER:
        if (quad_kind_nibble(q) == OTHER_RET)
            q->op = map(q->op, args);
        break;
    case OPC_PLOAD: case OPC_PSTORE:
        q->count = map(q->count, args);
        break;
    case OPC_SYNCENTER: case OPC_SYNCEXIT:
        q->count = map(q->count, args);
        if ((q->src1.kind & QK_KIND_MASK) == QK_VARIABLE)
            q->src1.number = map(q->src1.number, args);
        break;
    default:
        break;
    }
}

u4 pv_emit_cache_load(method_compile_context* m, const field_cache_candidate& e, s4 local, quadruple** out,
                      u4* stack_need)
{
    privatize_state st;
    memset(&st, 0, sizeof st);
    st.m = m;
    builder b{&st, out, 0, e.first_access != nullptr ? quad_source_pc(e.first_access) : -1};
    emit_complete_load(b, e, local);
    if (st.stack_growth > *stack_need)
        *stack_need = st.stack_growth;
    return b.n;
}

void privatize_renumber_locals(method_compile_context* m, privatize_state* st)
{
    u4 n = static_cast<u4>(st->cache_locals);
    u4 p = st->pc->local_count;
    u4 top = m->local_count;
    if (n == 0 || p == top)
        return;
    const u4 args[3] = {p, top, n};
    auto map = [](u4 local, const u4* a) { return map_local(local, a[0], a[1], a[2]); };
    for (u4 k = 0; k < m->dfs_count; k++) {
        bbattr* b = m->bb_table[m->dfs_array[k]];
        if (b == nullptr)
            continue;
        for (u4 i = 0; i < b->quad_count; i++)
            pv_map_locals(b->catbl[i], map, args);
    }
    // The candidates' bases follow their locals.
    for (s4 c = 0; c < st->count; c++)
        if (st->cand[c].base >= 0)
            st->cand[c].base = static_cast<int16_t>(map_local(static_cast<u4>(st->cand[c].base), p, top, n));
}
