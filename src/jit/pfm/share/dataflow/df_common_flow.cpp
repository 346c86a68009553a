// Commoning: what each quadruple does to the candidates, the per-block local
// sets, and the placement of the computations by lazy code motion over the
// pass's own flow graph.
//
// One function decides every quadruple's effect (`cm_quad_effect`); the local
// sets here and the rewrite walk (df_common_rewrite.cpp) both use it, so the
// walk never believes a value available that the analysis saw killed.
//
// Placement: anticipability (backward), availability (forward), earliest,
// later (forward), isolation (backward), the insertion sets, and the
// availability of the temporaries after insertion (forward), each solved by
// worklist sweeps over the visiting order.  Only candidates whose every
// occurrence cannot raise and whose template computes the value take part;
// an insertion is kept only where the value is anticipated at the block's
// end or not killed in it, so nothing is computed where the method would
// not have computed it.  Every other candidate is commoned inside a block.
#include <string.h>

#include "driver/driver.h"
#include "driver/options.h"
#include "dataflow/df_commoning.h"
#include "dataflow/df_operand.h"
#include "frontend/qgen.h"

namespace {

constexpr u8 ALL = ~0ull;

u1 kind_of(const quad_operand& o) { return o.kind & QK_KIND_MASK; }
bool is_local(const quad_operand& o) { return kind_of(o) == QK_VARIABLE; }

u8 memory_values(const commoning_table* t)
{
    return cm_category_set(t, CMC_ARRAY) | cm_category_set(t, CMC_FIELD) | cm_category_set(t, CMC_STATIC);
}

bool may_alias_element(const commoning_key& a, const commoning_key& b)
{
    if (a.type != b.type)
        return false;
    u2 x = a.subkey, y = b.subkey;
    if (x == y || x == CME_OTHER || y == CME_OTHER)
        return true;
    return (x == CME_BYTE && y == CME_BOOLEAN) || (x == CME_BOOLEAN && y == CME_BYTE);
}

// Other array candidates a store with this key may overwrite.
u8 array_store_kills(const commoning_table* t, const commoning_key& k)
{
    u8 set = 0;
    for (s4 i = 0; i < t->count; i++) {
        const commoning_key& c = t->cands[i].key;
        if (c.category != CMC_ARRAY || c.opcode == OPC_PALOAD || !may_alias_element(c, k))
            continue;
        if ((k.flags & CMK_B_NOT_LOCAL) && (c.flags & CMK_B_NOT_LOCAL) && c.operand_b != k.operand_b)
            continue;      // two different constant indexes
        set |= ABIT_llshr[i];
    }
    return set;
}

u8 field_kills(const commoning_table* t, u1 category, s4 field)
{
    u8 set = 0;
    for (s4 i = 0; i < t->count; i++)
        if (t->cands[i].key.category == category && t->cands[i].key.operand_b == field)
            set |= ABIT_llshr[i];
    return set;
}

bool field_access(u1 op) { return op >= OPC_IGETFIELD && op <= OPC_APUTSTATIC; }

// The value a store writes is the value a later load reads: not for the
// narrow kinds (the load widens what the store cut) nor for x87 values (the
// store rounds), and only from a local or a small constant.
bool store_forwards(const commoning_key& k, const quad_operand& value)
{
    if (k.type != QT_INT && k.type != QT_LONG && k.type != QT_REF)
        return false;
    u2 code = k.subkey & 0xF;
    if (k.category == CMC_ARRAY ? code != CME_INT && k.type == QT_INT
                                : code != CME_INT && code != CME_LONG && code != CME_OBJECT && code != CME_ARRAY)
        return false;
    u1 kind = kind_of(value);
    return kind == QK_VARIABLE || kind == QK_IMMEDIATE || kind == QK_NEG_IMMEDIATE;
}

void solve(commoning_table* t, bool forward, bool (*visit)(commoning_table*, u4))
{
    u4 n = t->order_count;
    u1* dirty = static_cast<u1*>(cm_alloc(t, t->nblocks + 1));
    memset(dirty, 1, t->nblocks + 1);
    bool changed = true;
    while (changed) {
        changed = false;
        for (u4 k = 0; k < n; k++) {
            u4 b = t->order[forward ? k : n - 1 - k];
            if (!dirty[b])
                continue;
            dirty[b] = 0;
            if (!visit(t, b))
                continue;
            changed = true;
            const commoning_flow_node& f = t->nodes[b];
            if (forward)
                for (u4 s = 0; s < f.succ_count; s++)
                    dirty[bb_succ_block(f.succs[s])] = 1;
            else
                for (u4 p = 0; p < f.pred_count; p++)
                    dirty[f.preds[p]] = 1;
        }
    }
}

commoning_block_sets& V(commoning_table* t, u4 b) { return t->values[b]; }
u4 succ_of(const commoning_flow_node& f, u4 s) { return bb_succ_block(f.succs[s]); }

// The intersection of `term` over b's predecessors, or over its first
// `count` successors; ALL over none.
template <typename F>
u8 meet_preds(commoning_table* t, const commoning_flow_node& f, F term)
{
    u8 x = ALL;
    for (u4 p = 0; p < f.pred_count; p++)
        x &= term(V(t, f.preds[p]));
    return x;
}
template <typename F>
u8 meet_succs(commoning_table* t, const commoning_flow_node& f, u4 count, F term)
{
    u8 x = ALL;
    for (u4 s = 0; s < count; s++)
        x &= term(V(t, succ_of(f, s)));
    return x;
}

// Stores a set; true when it changed.
bool update(u8& set, u8 value)
{
    bool changed = value != set;
    set = value;
    return changed;
}

bool visit_ant(commoning_table* t, u4 b)
{
    const commoning_flow_node& f = t->nodes[b];
    commoning_block_sets& v = V(t, b);
    u8 x = v.s[CS_ANTOUT];
    if (f.succ_count > 0) {
        auto antin = [](const commoning_block_sets& w) { return w.s[CS_ANTIN]; };
        x = meet_succs(t, f, f.succ_count, antin);
        // The rare successor may be left out for values that cannot raise.
        if ((f.flags & CMF_RARE_LAST) && f.succ_count > 1)
            x |= meet_succs(t, f, f.succ_count - 1, antin) & t->no_exception & ~t->may_raise;
    }
    v.s[CS_ANTOUT] = x | v.s[CS_COMP];
    return update(v.s[CS_ANTIN], (v.s[CS_ANTOUT] & ~v.s[CS_KILL]) | v.s[CS_ANTLOC]);
}

bool visit_av(commoning_table* t, u4 b)
{
    const commoning_flow_node& f = t->nodes[b];
    commoning_block_sets& v = V(t, b);
    if (f.pred_count > 0)
        v.s[CS_AVIN] = meet_preds(t, f, [](const commoning_block_sets& w) { return w.s[CS_COMP] | w.s[CS_AVOUT]; });
    return update(v.s[CS_AVOUT], (v.s[CS_ANTLOC] | v.s[CS_AVIN]) & ~v.s[CS_KILL]);
}

bool visit_later(commoning_table* t, u4 b)
{
    const commoning_flow_node& f = t->nodes[b];
    commoning_block_sets& v = V(t, b);
    if (f.pred_count > 0)
        v.s[CS_LATERIN] = meet_preds(t, f, [](const commoning_block_sets& w) { return w.s[CS_LATEROUT] & ~w.s[CS_COMP]; });
    v.s[CS_LATERIN] |= v.s[CS_EARLIEST];
    return update(v.s[CS_LATEROUT], (v.s[CS_LATERIN] & ~v.s[CS_ANTLOC]) | v.s[CS_ANTOUT_KILL]);
}

bool visit_isol(commoning_table* t, u4 b)
{
    const commoning_flow_node& f = t->nodes[b];
    commoning_block_sets& v = V(t, b);
    if (f.succ_count > 0)
        v.s[CS_ISOLOUT] = meet_succs(t, f, f.succ_count, [](const commoning_block_sets& w) {
            return w.s[CS_EARLIEST] | (~w.s[CS_ANTLOC] & w.s[CS_ISOLIN]);
        });
    return update(v.s[CS_ISOLIN], v.s[CS_ANTOUT_KILL] | v.s[CS_ISOLOUT]);
}

bool visit_tav(commoning_table* t, u4 b)
{
    const commoning_flow_node& f = t->nodes[b];
    commoning_block_sets& v = V(t, b);
    v.s[CS_TAVIN] = f.pred_count > 0 ? meet_preds(t, f, [](const commoning_block_sets& w) { return w.s[CS_TAVOUT]; }) : 0;
    return update(v.s[CS_TAVOUT], (v.s[CS_TAVIN] & ~v.s[CS_KILL]) | v.s[CS_INSERT]);
}

void build_flow_graph(commoning_table* t)
{
    method_compile_context* m = t->m;
    for (u4 n = 0; n < m->bb_count; n++) {
        bbattr* b = m->bb_table[n];
        commoning_flow_node& f = t->nodes[n];
        f.pred_count = 0;
        f.preds = nullptr;
        f.flags = 0;
        bool removed = (b->flags & BB_DEAD) != 0;
        // The exit block lists the blocks that reach it: it has no successors.
        f.succ_count = removed || n + 1 == m->bb_count ? 0 : static_cast<u2>(b->succ_count);
        f.succs = b->succ;
        if (f.succ_count == 2 && b->quad_count > 0) {
            const quadruple* last = b->catbl[b->quad_count - 1];
            if (last->opcode == OPC_CHA_GUARD)
                f.flags |= CMF_RARE_LAST;
        }
    }
    // Count, then fill the predecessor lists (each edge once per pair).
    u4* room = static_cast<u4*>(cm_alloc(t, m->bb_count * sizeof(u4)));
    memset(room, 0, m->bb_count * sizeof(u4));
    for (u4 k = 0; k < t->order_count; k++) {
        const commoning_flow_node& f = t->nodes[t->order[k]];
        for (u4 s = 0; s < f.succ_count; s++) {
            u4 to = succ_of(f, s);
            if (to < m->bb_count)
                room[to]++;
        }
    }
    for (u4 n = 0; n < m->bb_count; n++)
        if (room[n] > 0)
            t->nodes[n].preds = static_cast<u4*>(cm_alloc(t, room[n] * sizeof(u4)));
    for (u4 k = 0; k < t->order_count; k++) {
        u4 from = t->order[k];
        const commoning_flow_node& f = t->nodes[from];
        for (u4 s = 0; s < f.succ_count; s++) {
            u4 to = succ_of(f, s);
            if (to >= m->bb_count || (m->bb_table[to]->flags & BB_DEAD))
                continue;
            commoning_flow_node& g = t->nodes[to];
            if (g.pred_count > 0 && g.preds[g.pred_count - 1] == from)
                continue;
            g.preds[g.pred_count++] = from;
        }
    }
}

} // namespace

// ---- the effect of one quadruple -------------------------------------------------

u8 cm_call_kills(commoning_table* t, const quadruple* q, bool exception_mode, bool* exact)
{
    *exact = false;
    u8 memory = memory_values(t);
    u4 kind = quad_kind_nibble(q);
    if (quad_unresolved(q) || (kind != 1 && kind != 4) || q->value == 0)
        return memory;
    *exact = true;
    auto* callee = reinterpret_cast<methodblock*>(q->value);
    int written = dynamic_reg_propa_if(t->m, 0, callee, static_cast<int>(t->memory_union),
                                       exception_mode ? CM_SUMMARY_MAY_THROW : 0);
    u8 set = 0;
    for (s4 i = 0; i < t->count; i++)
        if (t->cands[i].memory_kinds & static_cast<u4>(written))
            set |= ABIT_llshr[i];
    return set;
}

u8 cm_memory_kills(commoning_table* t, const quadruple* q, bool exception_mode, u8* store_kills, bool* call_like)
{
    *store_kills = 0;
    *call_like = false;
    u1 op = q->opcode;
    u8 all_array = cm_category_set(t, CMC_ARRAY);
    switch (op) {
    case OPC_JSR:
        *store_kills = ALL;
        return ALL;
    case OPC_MONITOR: case OPC_SYNCENTER: case OPC_SYNCEXIT:
        // Another thread may have written any field or element meanwhile.
        *store_kills = ALL;
        return memory_values(t);
    case OPC_NULLCHECK:
        return is_local(q->src1) ? cm_local_readers(t, q->src1.number) : 0;
    case OPC_SIZECHECK: case OPC_SIZECHECK_RANGE:
        return is_local(q->src1) ? cm_local_readers(t, q->src1.number) & all_array : all_array;
    case OPC_XASTORE: case OPC_ARRAYCOPY:
        *store_kills = all_array;
        return all_array;
    case OPC_CLINIT:
        *store_kills = ALL;
        return memory_values(t);
    case OPC_OTHER:
        if (quad_kind_nibble(q) == OTHER_CLINIT) {
            *store_kills = ALL;
            return memory_values(t);
        }
        return 0;
    default:
        break;
    }
    u4 attr = opc_info_quadruple[op];
    if (attr & OPA_CALL) {
        bool exact = false;
        *call_like = true;
        *store_kills = ALL;
        return cm_call_kills(t, q, exception_mode, &exact);
    }
    if (field_access(op)) {
        const auto* fb = reinterpret_cast<const fieldblock*>(q->aux);
        bool stat = op >= OPC_IGETSTATIC;
        bool put = (attr & (OPA_PUTFIELD | OPA_PUTSTATIC)) != 0;
        if ((q->subcode & 0xC000) || fb == nullptr) {
            if (!put) {
                // A read of the field: deferred stores it may see go first.
                *store_kills = cm_category_set(t, stat ? CMC_STATIC : CMC_FIELD);
                return 0;
            }
            u8 set = cm_category_set(t, stat ? CMC_STATIC : CMC_FIELD);
            *store_kills = set;
            return set;
        }
        if (fb->access & ACC_VOLATILE) {
            // An ordering point: later reads must see other threads' writes.
            *store_kills = ALL;
            return memory_values(t);
        }
        if (!put) {
            *store_kills = field_kills(t, stat ? CMC_STATIC : CMC_FIELD, static_cast<s4>(q->aux));
            return 0;
        }
        u8 set = field_kills(t, stat ? CMC_STATIC : CMC_FIELD, static_cast<s4>(q->aux));
        *store_kills = set;
        return set;
    }
    if (attr & OPA_ARRAY_LOAD) {
        commoning_key k;
        bool store = false;
        *store_kills = cm_build_key(t->m, q, &k, &store) ? array_store_kills(t, k) : all_array;
        return 0;
    }
    if (attr & OPA_ARRAY_STORE) {
        commoning_key k;
        bool store = false;
        if (!cm_build_key(t->m, q, &k, &store)) {
            *store_kills = all_array;
            return all_array;
        }
        u8 set = array_store_kills(t, k);
        *store_kills = set;
        return set;
    }
    if (attr & OPA_SIDE_EFFECT) {
        // Any other writer of memory.
        *store_kills = ALL;
        return memory_values(t);
    }
    // Deferred stores are written before anything else that reads memory
    // and before the method is left.
    if ((attr & (OPA_READS_MEMORY | OPA_CALL | OPA_LEAVES)) || op == OPC_OTHER)
        *store_kills = ALL;
    return 0;
}

// Kills before the quadruple's own occurrence, its own candidate (-1 none),
// whether the occurrence is a store, and the kills of its definitions.
void cm_quad_effect(commoning_table* t, const quadruple* q, bool exception_mode, cm_effect* e)
{
    e->kill = 0;
    e->store_kill = 0;
    e->cand = -1;
    e->store = false;
    e->store_defer = false;
    e->kill_after = 0;
    e->call = false;
    if (df_exception_class(q) != DF_CANNOT_RAISE) {
        e->store_kill = ALL;
        if (exception_mode)
            e->kill = ALL;
    }
    u8 store_kills = 0;
    bool call = false;
    e->kill |= cm_memory_kills(t, q, exception_mode, &store_kills, &call);
    e->store_kill |= store_kills;
    e->call = call;
    commoning_key k;
    bool store = false;
    if (q->opcode != OPC_JSR && cm_build_key(t->m, q, &k, &store)) {
        s4 c = commoning_lookup(t, &k);
        if (c >= 0) {
            if (store) {
                quad_operand v{};
                if (df_shape(q) == QC_SRC_LIST) {
                    const quad_operand_list_entry* x = quad_list_head(q)->next->next;
                    v.kind = static_cast<u1>(x->kind);
                    v.number = x->number;
                } else {
                    v = q->opcode >= OPC_IPUTSTATIC && q->opcode <= OPC_APUTSTATIC ? q->src1 : q->src2;
                }
                if (store_forwards(k, v)) {
                    e->cand = c;
                    e->store = true;
                    // Only a store that cannot raise may wait in the
                    // temporary: the exception would otherwise move.
                    e->store_defer = df_exception_class(q) == DF_CANNOT_RAISE && df_shape(q) != QC_SRC_LIST;
                    if (!e->store_defer)
                        e->store_kill |= ABIT_llshr[c];
                } else {
                    e->kill |= ABIT_llshr[c];
                    e->store_kill |= ABIT_llshr[c];
                }
            } else {
                e->cand = c;
                if (k.category == CMC_UNARY && df_exception_class(q) != DF_CANNOT_RAISE)
                    e->kill |= cm_local_readers(t, q->src1.number);
            }
            // A load's own value is generated after the kills; a store
            // ends the old value of its place and makes the stored one
            // available (it is no use of the old value).
            if (e->cand >= 0 && !e->store)
                e->kill &= ~ABIT_llshr[e->cand];
            else if (e->cand >= 0)
                e->kill |= ABIT_llshr[e->cand];
        }
    }
    // Every kill of a value also writes its deferred store.  A load of its
    // own candidate is settled by the store problem (the temporary holds the
    // value, or the store is written first); a deferrable store overwrites
    // its own pending store.
    e->store_kill |= e->kill;
    if (e->cand >= 0 && (!e->store || e->store_defer) && df_exception_class(q) == DF_CANNOT_RAISE)
        e->store_kill &= ~ABIT_llshr[e->cand];
    auto defines = [&](const quad_operand& d) {
        if (!is_local(d))
            return;
        e->kill_after |= cm_local_readers(t, d.number);
        if (cm_two_slot_operand(d))
            e->kill_after |= cm_local_readers(t, d.number + 1u);
    };
    defines(q->result);
    defines(q->auxop);
}

u8 cm_block_entry_kill(const bbattr* b)
{
    // Handlers and interpreter transfer points are entered with values the
    // temporaries do not hold.
    return (b->flags & BB_HANDLER) || (b->flags2 & BB2_TRANSFER_POINT) ? ALL : 0;
}

// ---- local sets ----------------------------------------------------------------

u8 Commoning_Init_Dataflow_B(method_compile_context* m, commoning_table* t)
{
    for (u4 o = 0; o < t->order_count; o++) {
        u4 n = t->order[o];
        bbattr* b = m->bb_table[n];
        if (b->quad_count == 0 || (b->flags & BB_DEAD))
            continue;
        commoning_block_sets& a = t->values[n];
        commoning_block_sets& s = t->stores[n];
        bool exception_mode = (b->flags & BB_IN_TRY) != 0;
        auto kill = [](commoning_block_sets& x, u8 set) {
            x.s[CS_KILL] |= set;
            x.s[CS_COMP] &= ~set;
        };
        auto gen = [](commoning_block_sets& x, u8 set) {
            x.s[CS_ANTLOC] |= set & ~x.s[CS_KILL];
            x.s[CS_COMP] |= set;
        };
        u8 entry = cm_block_entry_kill(b);
        kill(a, entry);
        kill(s, entry);
        for (u4 i = 0; i < b->quad_count; i++) {
            const quadruple* q = b->catbl[i];
            if (df_deleted(q))
                continue;
            cm_effect e;
            cm_quad_effect(t, q, exception_mode, &e);
            kill(a, e.kill);
            kill(s, e.store_kill);
            if (e.cand >= 0 && !e.store) {
                gen(a, ABIT_llshr[e.cand]);
            } else if (e.cand >= 0) {
                a.s[CS_COMP] |= ABIT_llshr[e.cand];
                if (e.store_defer) {
                    gen(s, ABIT_llshr[e.cand]);
                    if (t->store_model[e.cand] == nullptr) {
                        auto* model = static_cast<quadruple*>(cm_alloc(t, sizeof(quadruple)));
                        *model = *q;
                        t->store_model[e.cand] = model;
                    }
                }
            }
            kill(a, e.kill_after);
            kill(s, e.kill_after);
        }
        t->store_union |= s.s[CS_ANTLOC] | s.s[CS_COMP];
    }
    return static_cast<u8>(t->count);
}

// ---- placement ---------------------------------------------------------------------

int Commoning_Iterate_Dataflow_B(method_compile_context* m, commoning_table* t)
{
    build_flow_graph(t);
    for (s4 i = 0; i < t->count; i++)
        t->cands[i].temporary = -1;
    for (u4 k = 0; k < t->order_count; k++) {
        commoning_block_sets& v = V(t, t->order[k]);
        v.s[CS_ANTIN] = v.s[CS_AVOUT] = v.s[CS_LATEROUT] = v.s[CS_ISOLIN] = v.s[CS_TAVOUT] = ALL;
        v.s[CS_ANTOUT] = v.s[CS_EARLIEST] = v.s[CS_ANTOUT_KILL] = v.s[CS_LATERIN] = 0;
        v.s[CS_AVIN] = v.s[CS_ISOLOUT] = v.s[CS_INSERT] = v.s[CS_TAVIN] = 0;
    }
    solve(t, false, visit_ant);
    solve(t, true, visit_av);
    for (u4 k = 0; k < t->order_count; k++) {
        commoning_block_sets& v = V(t, t->order[k]);
        v.s[CS_NOT_AV_ANT] = ~(v.s[CS_AVOUT] | v.s[CS_ANTOUT]);
    }
    // Earliest: one pass in visiting order.
    for (u4 k = 0; k < t->order_count; k++) {
        u4 b = t->order[k];
        const commoning_flow_node& f = t->nodes[b];
        commoning_block_sets& v = V(t, b);
        u8 e = b == 0 ? ALL : 0;
        for (u4 p = 0; p < f.pred_count; p++)
            e |= V(t, f.preds[p]).s[CS_NOT_AV_ANT];
        v.s[CS_EARLIEST] = e & v.s[CS_ANTIN];
        v.s[CS_ANTOUT_KILL] = v.s[CS_ANTOUT] & v.s[CS_KILL];
    }
    solve(t, true, visit_later);
    // Insertion points; the insertion sets below replace avin and avout.
    u8* exit_insert = static_cast<u8*>(cm_alloc(t, t->nblocks * sizeof(u8)));
    for (u4 k = 0; k < t->order_count; k++) {
        u4 b = t->order[k];
        const commoning_flow_node& f = t->nodes[b];
        commoning_block_sets& v = V(t, b);
        u8 y = v.s[CS_NOT_AV_ANT];
        if (f.succ_count > 0) {
            y = ALL;
            for (u4 s = 0; s < f.succ_count; s++)
                y &= V(t, succ_of(f, s)).s[CS_LATERIN];
        }
        exit_insert[b] = v.s[CS_LATEROUT] & (~y | v.s[CS_COMP]);
        v.s[CS_INSERT_ENTRY] = v.s[CS_LATERIN] & v.s[CS_ANTLOC];
        v.s[CS_INSERT_EXIT] = exit_insert[b];
    }
    V(t, m->bb_count - 1).s[CS_ISOLOUT] = ALL;
    solve(t, false, visit_isol);
    // Only values that cannot raise and whose template computes them move.
    u8 placeable = ~t->may_raise;
    for (s4 i = 0; i < t->count; i++) {
        commoning_key k;
        bool store = false;
        if (!cm_build_key(m, &t->cands[i].quad, &k, &store) || store)
            placeable &= ~ABIT_llshr[i];
    }
    t->insert_union = 0;
    for (u4 k = 0; k < t->order_count; k++) {
        u4 b = t->order[k];
        commoning_block_sets& v = V(t, b);
        u8 insert = 0;
        if (k > 0) {
            insert = (v.s[CS_INSERT_ENTRY] & ~v.s[CS_ISOLIN]) | (v.s[CS_INSERT_EXIT] & ~v.s[CS_ISOLOUT]);
            // A value killed in the block is recomputed at its end only
            // where the method computes it further on.
            insert &= ~(v.s[CS_KILL] & ~v.s[CS_ANTOUT]);
            insert &= placeable;
        }
        v.s[CS_INSERT] = insert;
        t->insert_union |= insert;
    }
    int result = t->insert_union != 0;
    if (t->insert_union != 0) {
        for (u4 k = 0; k < t->order_count; k++)
            V(t, t->order[k]).s[CS_INSERT] &= t->debug_keep;
        solve(t, true, visit_tav);
        for (u4 k = 0; k < t->order_count; k++) {
            commoning_block_sets& v = V(t, t->order[k]);
            v.s[CS_TAVIN] &= placeable;
            v.s[CS_INSERT] &= ~(v.s[CS_TAVIN] & ~v.s[CS_KILL]);
        }
    } else {
        for (u4 k = 0; k < t->order_count; k++)
            V(t, t->order[k]).s[CS_TAVIN] = 0;
    }
    if (t->store_union != 0)
        result |= commoning_store_dataflow(m, t);
    return result;
}

// The store problem: where a store may wait in its candidate's temporary
// instead of being written to memory at once.  Slots of the store records:
// 0-2 the local sets (antloc, comp, kill), 3 and 4 the stores waiting at the
// block's entry and exit, 13 the waiting stores the block writes.
//
// A store waits only where it waits along every path: a block passes a
// waiting store on only when every successor takes it waiting, and a block
// takes it only when every predecessor passes it on.  So a waiting store is
// always one the method made, written once, never a write of a value the
// method only read (another thread's store in between would be lost).
// The rewrite walk writes a waiting store before anything that reads or
// orders that memory (a load that does not find the value in the
// temporary, aliasing stores, calls, monitors, volatile accesses,
// quadruples that may raise, redefinitions of the address locals, the
// method's exits) and at the end of a block that does not pass it on.
int commoning_store_dataflow(method_compile_context* m, commoning_table* t)
{
    if (compile_option3_flag & OPT3_NQCOMMONING_PUT)
        return 0;
    const u4 n = t->order_count;
    const u4* order = t->order;
    const u4 last = m->bb_count - 1;
    auto S = [t](u4 b) -> u8* { return t->stores[b].s; };
    auto A = [t](u4 b) -> u8* { return t->values[b].s; };
    // Blocks the walk does not visit pass nothing on; nothing waits where
    // the method, a handler or the interpreter enters.
    auto skipped = [&](u4 b) {
        const bbattr* x = m->bb_table[b];
        return x->quad_count == 0 || (x->flags & BB_DEAD) != 0;
    };
    auto no_entry = [&](u4 b) {
        return b == 0 || skipped(b) || cm_block_entry_kill(m->bb_table[b]) != 0 || t->nodes[b].pred_count == 0;
    };
    auto no_exit = [&](u4 b) {
        const commoning_flow_node& f = t->nodes[b];
        if (skipped(b) || f.succ_count == 0)
            return true;
        for (u4 x = 0; x < f.succ_count; x++)
            if (succ_of(f, x) == last || succ_of(f, x) >= t->nblocks)
                return true;
        return false;
    };
    for (u4 k = 0; k < n; k++) {
        u4 b = order[k];
        u8* s = S(b);
        const u8* a = A(b);
        s[1] &= t->debug_keep;
        s[0] &= t->debug_keep;
        // A value computed into the temporary at the block's end, and a
        // load that finds the value neither in the temporary nor earlier in
        // the block, read memory: a waiting store is written first.
        u8 reads = a[CS_INSERT] | (a[CS_ANTLOC] & ~(a[CS_TAVIN] & ~cm_block_entry_kill(m->bb_table[b])));
        s[2] |= reads;
        s[0] &= ~reads;
        s[3] = no_entry(b) ? 0 : ALL;
        s[4] = no_exit(b) ? 0 : ALL;
    }
    // Both directions at once, from all-waiting down to the largest
    // consistent solution.
    for (bool changed = true; changed;) {
        changed = false;
        for (u4 k = 0; k < n; k++) {
            u4 b = order[k];
            u8* s = S(b);
            const commoning_flow_node& f = t->nodes[b];
            if (!no_entry(b)) {
                u8 in = ALL;
                for (u4 p = 0; p < f.pred_count; p++)
                    in &= S(f.preds[p])[4];
                changed |= in != s[3];
                s[3] = in;
            }
            if (!no_exit(b)) {
                u8 out = (s[3] & ~s[2]) | s[1];
                for (u4 x = 0; x < f.succ_count; x++)
                    out &= S(succ_of(f, x))[3];
                changed |= out != s[4];
                s[4] = out;
            }
        }
    }
    u8 R = 0;
    for (u4 k = 0; k < n; k++) {
        u8* s = S(order[k]);
        s[13] = ((s[3] & s[2]) | s[1] | s[0]) & ~s[4];
        R |= s[0] | s[1];
    }
    t->store_rewrite = R;
    return R != 0;
}
