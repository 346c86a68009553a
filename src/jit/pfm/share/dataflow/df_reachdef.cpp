// Reaching definitions over the quadruples, left on the quadruples as chains:
// a use-def chain on each operand that reads a local (every definition that
// can reach the read) and a def-use chain on each defining quadruple's
// destination (every use it reaches).  A chain of one reference is held
// inline in the operand's chain word with the single-reference mark; longer
// chains are sorted `varref_list`s.  Pseudo definitions in block 0 stand for
// a parameter's value at entry (0xFFFF), any variable at a handler's entry
// (0xFFFD) and any variable after a jsr (0xFFFC).
//
// Variables are the locals of the quadruple form (the method-wide numbering
// holds the operand stack as locals too); argument slots are not variables.
// A long or double definition of n also defines n + 1.
//
// The forward problem is solved in the reference-list form: GEN holds a
// block's last definition of each variable, the meet is union.  Every entry
// the method has is seeded before the iteration and marked as reached, so a
// back edge into it merges with the entry facts instead of replacing them:
// block 1 with the parameters, each handler entry with 0xFFFD and each
// subroutine entry with 0xFFFC for every variable.
//
// Clears the reaching-definitions-stale state bit when it completes; sets it
// when it skips or fails.  Chain nodes come from the first work pool and live
// until the compilation ends.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "frontend/frontend.h"

namespace {

constexpr u4 SIZE_LIMIT = 10000;

u4 variable_count(const method_compile_context* m) { return m->local_count; }

bool walked(const bbattr* b) { return b->quad_count > 0 && !(b->flags & BB_DEAD); }

bool two_slot(const df_operand* o) { return opc_table_type[df_type(o) & 7].two_word != 0; }

varref_list* one_node(method_compile_context* m, dataflow_pass_context* pc, quad_ref r)
{
    auto* n = static_cast<varref_list*>(df_alloc(m, pc, sizeof(varref_list)));
    n->ref = r;
    n->next = nullptr;
    return n;
}

varref_list* pool_node(method_compile_context* m, quad_ref r, varref_list* next)
{
    auto* n = static_cast<varref_list*>(jit_wmem_alloc(m->pool1, sizeof(varref_list)));
    n->ref = r;
    n->next = next;
    return n;
}

// The variables quadruple q defines: calls fn(v) for each.
template <typename F> void definitions(method_compile_context* m, quadruple* q, F fn)
{
    df_operand* d = df_opnd(&q->result);
    if (!df_is_local(d))
        return;
    u4 n = d->number, nvars = variable_count(m);
    if (n < nvars)
        fn(n);
    if (two_slot(d) && n + 1 < nvars)
        fn(n + 1);
}

void erase_chains(quadruple* q)
{
    df_clear_chain(df_opnd(&q->result));
    if (df_shape(q) == QC_SRC_LIST) {
        for (quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
            df_clear_chain(df_opnd(e));
        // The list head stands in the first source's place; the first
        // source's value word holds the float tops and is no chain.
        return;
    }
    df_clear_chain(df_opnd(&q->src1));
    df_clear_chain(df_opnd(&q->src2));
}

// The exit or handler set that liveness left for this variable numbering;
// null when it left none (every variable counts then).
const u8* side_set(const method_compile_context* m, const dataflow_pass_context* pc, const u4* field)
{
    u4 made_for = pc->word3;
    if (made_for != m->local_count + 3u)
        return nullptr;
    if (made_for <= static_cast<u4>(DF_WORD_ITEMS))
        return reinterpret_cast<const u8*>(field);
    return reinterpret_cast<const u8*>(field[0]);
}
bool side_has(const u8* set, u4 v) { return set == nullptr || (set[v >> 6] & ABIT_llshr[v & 63]) != 0; }

void seed_all(method_compile_context* m, dataflow_pass_context* pc, varref_list** in, u4 nvars, u4 pseudo)
{
    for (u4 v = 0; v < nvars; v++)
        if (in[v] == nullptr)
            in[v] = one_node(m, pc, make_quad_ref(0, pseudo));
}

} // namespace

u4 count_parameter_words(method_compile_context* m)
{
    methodblock* mb = m->mb;
    if (mb->args_size != 0)
        return mb->args_size;
    return get_method_args_size(mb, mb->signature) + ((mb->access & ACC_STATIC) ? 0u : 1u);
}

void add_chain_ref(method_compile_context* m, dataflow_pass_context*, u4 block, u4 index, quad_ref use)
{
    if (block == 0 || block >= m->bb_count || index >= m->bb_table[block]->quad_count)
        return;
    df_operand* d = df_opnd(&m->bb_table[block]->catbl[index]->result);
    if (!(d->kind & DFO_SINGLE_REF) && d->chain == 0) {
        d->chain = use;
        d->kind |= DFO_SINGLE_REF;
        return;
    }
    if (d->kind & DFO_SINGLE_REF) {
        quad_ref r = d->chain;
        if (r == use)
            return;
        quad_ref lo = r < use ? r : use, hi = r < use ? use : r;
        d->chain = reinterpret_cast<u4>(pool_node(m, lo, pool_node(m, hi, nullptr)));
        d->kind &= static_cast<u2>(~DFO_SINGLE_REF);
        return;
    }
    auto** link = reinterpret_cast<varref_list**>(&d->chain);
    while (*link != nullptr && (*link)->ref < use)
        link = &(*link)->next;
    if (*link != nullptr && (*link)->ref == use)
        return;
    *link = pool_node(m, use, *link);
}

void add_use_to_def_chains(method_compile_context* m, dataflow_pass_context* pc, const varref_list* defs, u4 block,
                           u4 index)
{
    for (; defs != nullptr; defs = defs->next)
        if (quad_ref_block(defs->ref) != 0)
            add_chain_ref(m, pc, quad_ref_block(defs->ref), quad_ref_index(defs->ref), make_quad_ref(block, index));
}

void clear_quad_chains(method_compile_context* m)
{
    if (!(m->state_flags & MCC_MMI2JIT))
        return;
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if (!(b->flags2 & BB2_TRANSFER_POINT))
            continue;
        for (u4 k = 0; k < b->quad_count; k++)
            erase_chains(b->catbl[k]);
    }
}

int ReachDef_Q_Init_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                               u4 nblocks, dataflow_pass_descriptor* d)
{
    if (m->max_stack == 0)
        return 0;
    u4 nvars = static_cast<u4>(d->n);
    for (u4 i = 1; i + 1 < m->bb_count && i < nblocks; i++) {
        bbattr* b = m->bb_table[i];
        if (!walked(b))
            continue;
        varref_list** gen = df_refs(sets[i].gen);
        varref_list** out = df_refs(sets[i].out);
        if (b->flags & BB_HANDLER)
            for (u4 v = 0; v < nvars; v++)
                gen[v] = one_node(m, pc, make_quad_ref(0, QREF_HANDLER));
        for (u4 k = 0; k < b->quad_count; k++) {
            quadruple* q = b->catbl[k];
            if (df_deleted(q))
                continue;
            erase_chains(q);
            if (q->opcode == OPC_JSR) {
                for (u4 v = 0; v < nvars; v++)
                    gen[v] = one_node(m, pc, make_quad_ref(0, QREF_JSR));
                continue;
            }
            definitions(m, q, [&](u4 v) { gen[v] = one_node(m, pc, make_quad_ref(i, k)); });
        }
        for (u4 v = 0; v < nvars; v++)
            if (gen[v] != nullptr)
                out[v] = gen[v];
    }
    // Seed every entry of the method and mark it reached.
    bbattr* entry = m->bb_table[0];
    for (u4 k = 0; k < entry->succ_count; k++) {
        s4 s = static_cast<s4>(entry->succ[k]);
        u4 target = static_cast<u4>(s < 0 ? -s : s);
        if (target == 0 || target + 1 >= m->bb_count || target >= nblocks)
            continue;
        varref_list** in = df_refs(sets[target].in);
        if (k == 0) {
            u4 params = count_parameter_words(m);
            for (u4 v = 0; v < params && v < nvars; v++)
                if (in[v] == nullptr)
                    in[v] = one_node(m, pc, make_quad_ref(0, QREF_PARAMETER));
        } else {
            seed_all(m, pc, in, nvars, s < 0 ? QREF_JSR : QREF_HANDLER);
        }
        df_seed_touched(sets, target);
    }
    return 0;
}

int ReachDef_Q_Fwd_Visit_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc,
                                    dataflow_block_sets* sets, u4 block, dataflow_pass_descriptor* d)
{
    s4 nvars = d->n;
    bbattr* b = m->bb_table[block];
    varref_list** in = df_refs(sets[block].in);
    varref_list** out = df_refs(sets[block].out);
    varref_list** gen = df_refs(sets[block].gen);
    varref_list** saved = df_refs(sets[0].out);
    if (nvars <= 0)
        return 0;
    memcpy(saved, out, static_cast<size_t>(nvars) * sizeof(varref_list*));
    for (s4 v = 0; v < nvars; v++)
        if (gen[v] == nullptr)
            out[v] = in[v];
    int changed = 0;
    if (!(b->flags & BB_DEAD)) {
        for (u4 k = 0; k < b->succ_count; k++) {
            u4 s = b->succ[k];
            if (s >= m->bb_count)
                continue;
            varref_list** sin = df_refs(sets[s].in);
            if (sets[s].touched) {
                changed |= MERGE_VARREF(m, pc, sin, out, nvars);
            } else {
                sets[s].touched = 1;
                DUP_VARREF(m, pc, sin, out, nvars);
                changed = 1;
            }
        }
    }
    if (!SAME_VARREF(saved, out, nvars))
        changed = 1;
    return changed;
}

int ReachDef_Q_Final_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                                u4 nblocks, dataflow_pass_descriptor* d)
{
    if (m->max_stack == 0)
        return 0;
    u4 nvars = static_cast<u4>(d->n);
    if (nvars == 0)
        return 0;
    const u8* exit = side_set(m, pc, pc->exit_set);
    const u8* handler = side_set(m, pc, pc->handler_set);
    auto** cur = static_cast<varref_list**>(df_alloc(m, pc, nvars * sizeof(varref_list*)));
    for (u4 i = 1; i + 1 < m->bb_count && i < nblocks; i++) {
        bbattr* b = m->bb_table[i];
        if (!walked(b))
            continue;
        memcpy(cur, df_refs(sets[i].in), nvars * sizeof(varref_list*));
        for (u4 k = 0; k < b->quad_count; k++) {
            quadruple* q = b->catbl[k];
            if (df_deleted(q))
                continue;
            if (q->opcode == OPC_JSR) {
                for (u4 v = 0; v < nvars; v++)
                    if (side_has(exit, v))
                        add_use_to_def_chains(m, pc, cur[v], i, k);
            } else {
                df_for_each_source(q, [&](df_operand* o) {
                    if (!df_is_local(o) || o->number >= nvars)
                        return;
                    const varref_list* list = cur[o->number];
                    if (list != nullptr && list->next == nullptr) {
                        o->chain = list->ref;
                        o->kind |= DFO_SINGLE_REF;
                    } else if (list != nullptr) {
                        varref_list* copy = nullptr;
                        varref_list** tail = &copy;
                        for (const varref_list* l = list; l != nullptr; l = l->next) {
                            *tail = pool_node(m, l->ref, nullptr);
                            tail = &(*tail)->next;
                        }
                        o->chain = reinterpret_cast<u4>(copy);
                        o->kind &= static_cast<u2>(~DFO_SINGLE_REF);
                    }
                    add_use_to_def_chains(m, pc, list, i, k);
                });
            }
            if ((b->flags & BB_IN_TRY) && df_exception_class(q) != DF_CANNOT_RAISE)
                for (u4 v = 0; v < nvars; v++)
                    if (side_has(handler, v))
                        add_use_to_def_chains(m, pc, cur[v], i, k);
            if (q->opcode == OPC_JSR) {
                varref_list* after = one_node(m, pc, make_quad_ref(0, QREF_JSR));
                for (u4 v = 0; v < nvars; v++)
                    cur[v] = after;
                continue;
            }
            definitions(m, q, [&](u4 v) { cur[v] = one_node(m, pc, make_quad_ref(i, k)); });
        }
    }
    return 0;
}

int dataflow_Q_reachdef(method_compile_context* m, dataflow_pass_context* pc)
{
    u4 size = m->total_quad_count;
    if (df_exception_entries(m) > 0 || m->subroutine_count > 0)
        size *= 4;
    if (m->max_stack == 0 || m->bb_count > 0xFFFF || size > SIZE_LIMIT) {
        m->state_flags |= MCC_REACHDEF_STALE;
        return 0;
    }
    u4 nblocks = m->bb_count;
    dataflow_block_sets frame[DF_FRAME_SETS];
    dataflow_block_sets* sets = df_block_sets(m, frame, DF_FRAME_SETS);
    if (sets == nullptr) {
        m->state_flags |= MCC_REACHDEF_STALE;
        return 1;
    }
    dataflow_pass_descriptor d{};
    d.n = static_cast<s4>(variable_count(m));
    d.init_B = ReachDef_Q_Init_DataFlow_R;
    d.iter_B = DFS_Iter_DataFlow_R;
    d.visit_B = ReachDef_Q_Fwd_Visit_DataFlow_R;
    d.final_B = ReachDef_Q_Final_DataFlow_R;
    pc->flags |= DFP_BUSY;
    df_reset_arena1(pc);
    if (Alloc_DataFlow_R(m, pc, sets, nblocks, &d) == 0) {
        m->state_flags |= MCC_REACHDEF_STALE;
        pc->flags &= ~DFP_BUSY;
        return 1;
    }
    Init_DataFlow_R(m, pc, sets, nblocks, &d);
    Iter_DataFlow_R(m, pc, sets, nblocks, &d);
    Final_DataFlow_R(m, pc, sets, nblocks, &d);
    Free_DataFlow_R(m, pc, sets, nblocks, &d);
    pc->flags &= ~DFP_BUSY;
    m->state_flags &= ~MCC_REACHDEF_STALE;
    return 0;
}
