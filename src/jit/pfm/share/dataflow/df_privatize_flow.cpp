// Field privatization: block facts and the placement dataflow.
//
// Requires the candidates of the analysis (df_privatize.cpp); produces, per
// block, the sets the rewrite reads (INSERT, AVIN, KILL, FLUSH, WRITEOUT,
// EXITWB, the last kill point).  A block with a kill point gets a pseudo
// block that stands for the code after its last kill point, so that a load
// can be placed after the kill.  The loads are placed by lazy code motion
// (anticipability, possible unavailability, delay, isolation); availability
// follows the insertions; dirtiness and the coming-writes problem decide
// where a write may stay in the cache local only, and the write-backs before
// the method's exits.
//
// Two points where a plainer formulation goes wrong:
//   - a block that kills a candidate after inserting its load does not hand
//     the value on: AVOUT = (AVIN | INSERT) & ~KILL;
//   - a write may stay in the cache local only when no path reads the memory
//     copy before the next write or write-back: a block that reads the field
//     from memory (an insertion, or a read the cache does not serve) stops
//     the coming-writes problem like a flush point does.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_privatize.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"

namespace {

constexpr u8 ALL = ~0ull;

void kill_set(privatize_block_sets& b, u8 kills, u4 index)
{
    if (kills == 0)
        return;
    b.kill |= kills;
    b.flush |= kills;
    b.afterread &= ~kills;
    b.dirtygen &= ~kills;
    b.last_kill = static_cast<s4>(index);
}

void block_facts(privatize_state* st, u4 block, bool* any_antloc)
{
    bbattr* bb = st->m->bb_table[block];
    privatize_block_sets& b = st->sets[block];
    b.last_kill = -1;
    for (u4 i = 0; i < bb->quad_count; i++) {
        pv_event ev;
        pv_step(st, bb->catbl, i, &ev);
        if (ev.access != PV_NO_ACCESS) {
            s4 c = ev.recordable ? privatize_lookup_candidate(st, ev.base, ev.fb) : -1;
            if (c >= 0) {
                u8 m = pv_mask(c);
                if (ev.access_flush)
                    kill_set(b, m, i);
                if (ev.access == PV_READ_ACCESS) {
                    if (!(b.kill & m)) {
                        b.antloc |= m;
                        *any_antloc = true;
                    }
                    b.afterread |= m;
                } else {
                    if (!(b.flush & m))
                        b.writeup |= m;
                    b.dirtygen |= m;
                }
            }
                kill_set(b, pv_alias_kills(st, ev.base, ev.fb), i);
        }
        if (ev.store_local >= 0)
            kill_set(b, pv_local_kills(st, ev.store_local) | pv_local_kills(st, ev.store_local2), i);
        if (ev.full_kill) {
            b.kill = ALL;
            b.afterread = 0;
        }
        if (ev.full_kill || ev.full_flush) {
            b.flush = ALL;
            b.dirtygen = 0;
            b.last_kill = static_cast<s4>(i);
        }
    }
}

u4* node_list(privatize_state* st, u4 n)
{
    return n == 0 ? nullptr : static_cast<u4*>(jit_wmem_alloc(st->m->pool1, n * sizeof(u4)));
}

bool is_entry(const privatize_state* st, u4 x) { return x == 0 || st->edges[x].pred_count == 0; }

bool is_exit(const privatize_state* st, u4 x) { return x == st->real_blocks - 1 || st->edges[x].succ_count == 0; }

u8 meet_and(const privatize_state* st, const u4* list, u2 n, u8 privatize_block_sets::*field)
{
    u8 r = ALL;
    for (u2 i = 0; i < n; i++)
        r &= st->sets[list[i]].*field;
    return r;
}

u8 meet_or(const privatize_state* st, const u4* list, u2 n, u8 privatize_block_sets::*field)
{
    u8 r = 0;
    for (u2 i = 0; i < n; i++)
        r |= st->sets[list[i]].*field;
    return r;
}

// Iterates `visit` over the order (forward or backward) until a sweep
// changes nothing; `visit` answers whether the node's result changed.
template <typename F>
void solve_until_stable(privatize_state* st, bool forward, F visit)
{
    bool changed = true;
    while (changed) {
        changed = false;
        for (u4 k = 0; k < st->order_count; k++) {
            u4 x = st->order[forward ? k : st->order_count - 1 - k];
            if (visit(x))
                changed = true;
        }
    }
}

// The flow graph over blocks and pseudo blocks, and the visit order.
void build_graph(method_compile_context* m, privatize_state* st)
{
    st->order = node_list(st, st->total_blocks);
    st->order_count = 0;
    st->exit_pred = static_cast<u1*>(jit_wmem_alloc(m->pool1, st->real_blocks));
    memset(st->exit_pred, 0, st->real_blocks);
    u4 exit = st->real_blocks - 1;
    for (u4 k = 0; k < m->dfs_count; k++) {
        u4 x = m->dfs_array[k];
        bbattr* b = m->bb_table[x];
        if (b->flags & BB_DEAD)
            continue;
        st->order[st->order_count++] = x;
        u4 n = 0;
        // The exit block's list names its predecessors.
        u4 count = x == exit ? 0 : b->succ_count;
        u4* succs = node_list(st, count);
        for (u4 s = 0; s < count; s++) {
            u4 t = bb_succ_block(b->succ[s]);
            if (t >= m->bb_count || (m->bb_table[t]->flags & BB_DEAD))
                continue;
            succs[n++] = t;
            if (t == exit)
                st->exit_pred[x] = 1;
        }
        s4 p = st->edges[x].pseudo;
        if (p > 0) {
            st->order[st->order_count++] = static_cast<u4>(p);
            st->edges[p].succs = succs;
            st->edges[p].succ_count = static_cast<u2>(n);
            u4* one = node_list(st, 1);
            one[0] = static_cast<u4>(p);
            st->edges[x].succs = one;
            st->edges[x].succ_count = 1;
        } else {
            st->edges[x].succs = succs;
            st->edges[x].succ_count = static_cast<u2>(n);
        }
    }
    // Predecessor lists from the successor lists.
    for (u4 k = 0; k < st->order_count; k++) {
        const privatize_block_edges& e = st->edges[st->order[k]];
        for (u2 s = 0; s < e.succ_count; s++)
            st->edges[e.succs[s]].pred_count++;
    }
    for (u4 k = 0; k < st->order_count; k++) {
        privatize_block_edges& e = st->edges[st->order[k]];
        e.preds = node_list(st, e.pred_count);
        e.pred_count = 0;
    }
    for (u4 k = 0; k < st->order_count; k++) {
        u4 x = st->order[k];
        const privatize_block_edges& e = st->edges[x];
        for (u2 s = 0; s < e.succ_count; s++) {
            privatize_block_edges& t = st->edges[e.succs[s]];
            t.preds[t.pred_count++] = x;
        }
    }
}

} // namespace

int privatize_local_facts(method_compile_context* m, privatize_state* st)
{
    bool any_antloc = false;
    u4 next_pseudo = st->real_blocks;
    st->writeup_union = 0;
    u4 prev = 0xFFFFFFFFu;
    for (u4 k = 0; k < m->dfs_count; k++) {
        u4 block = m->dfs_array[k];
        st->sets[block].last_kill = -1;
        if (!pv_block_walked(m, block))
            continue;
        pv_begin_block(st, block, prev);
        block_facts(st, block, &any_antloc);
        prev = block;
        privatize_block_sets& b = st->sets[block];
        if (b.kill != 0 && next_pseudo < st->alloc_blocks) {
            u4 p = next_pseudo++;
            st->edges[block].pseudo = static_cast<s4>(p);
            st->edges[p].pseudo = static_cast<s4>(block);
            st->sets[p].antloc = b.afterread & b.kill;
            st->sets[p].last_kill = -1;
        }
        st->writeup_union |= b.writeup;
    }
    st->total_blocks = next_pseudo;
    return any_antloc ? 1 : 0;
}

int privatize_solve(method_compile_context* m, privatize_state* st)
{
    build_graph(m, st);
    privatize_block_sets* s = st->sets;
    privatize_block_edges* e = st->edges;
    for (u4 k = 0; k < st->order_count; k++) {
        u4 x = st->order[k];
        s[x].antin = ALL;
        s[x].unavout = 0;
        s[x].later = ALL;
        s[x].isolin = ALL;
        s[x].avout = ALL;
        s[x].dirtyout = 0;
        s[x].writein = ALL;
    }
    // 1. Anticipability.
    solve_until_stable(st, false, [&](u4 x) {
        privatize_block_sets& b = s[x];
        b.antout = is_exit(st, x) ? 0 : meet_and(st, e[x].succs, e[x].succ_count, &privatize_block_sets::antin);
        u8 in = b.antloc | (b.antout & ~b.kill);
        bool changed = in != b.antin;
        b.antin = in;
        return changed;
    });
    // 2. Possible unavailability.
    solve_until_stable(st, true, [&](u4 x) {
        privatize_block_sets& b = s[x];
        b.unavin = is_entry(st, x) ? ALL : meet_or(st, e[x].preds, e[x].pred_count, &privatize_block_sets::unavout);
        u8 out = (b.unavin & ~b.antin) | b.kill;
        bool changed = out != b.unavout;
        b.unavout = out;
        return changed;
    });
    // 3. Earliest.
    for (u4 k = 0; k < st->order_count; k++) {
        u4 x = st->order[k];
        s[x].earliest = s[x].antin & s[x].unavin;
    }
    // 4. Delay.
    solve_until_stable(st, true, [&](u4 x) {
        privatize_block_sets& b = s[x];
        u8 in = is_entry(st, x) ? b.earliest
                                : meet_and(st, e[x].preds, e[x].pred_count, &privatize_block_sets::later) | b.earliest;
        b.laterin = in;
        u8 out = in & ~b.antloc;
        bool changed = out != b.later;
        b.later = out;
        return changed;
    });
    // 5. Latest.
    for (u4 k = 0; k < st->order_count; k++) {
        u4 x = st->order[k];
        u8 succ_laterin = meet_and(st, e[x].succs, e[x].succ_count, &privatize_block_sets::laterin);
        s[x].latest = s[x].laterin & (s[x].antloc | ~succ_laterin);
    }
    // 6. Isolation.
    solve_until_stable(st, false, [&](u4 x) {
        privatize_block_sets& b = s[x];
        b.isolout = is_exit(st, x) ? ALL : meet_and(st, e[x].succs, e[x].succ_count, &privatize_block_sets::isolin);
        u8 in = (b.isolout & ~b.antloc) | b.latest;
        bool changed = in != b.isolin;
        b.isolin = in;
        return changed;
    });
    // 7. Insertions; none in the entry block.
    for (u4 k = 0; k < st->order_count; k++) {
        u4 x = st->order[k];
        s[x].insert = is_entry(st, x) ? 0 : s[x].latest & ~s[x].isolout;
    }
    // 8. Availability after the insertions.
    solve_until_stable(st, true, [&](u4 x) {
        privatize_block_sets& b = s[x];
        b.avin = is_entry(st, x) ? 0 : meet_and(st, e[x].preds, e[x].pred_count, &privatize_block_sets::avout);
        u8 out = (b.avin | b.insert) & ~b.kill;
        bool changed = out != b.avout;
        b.avout = out;
        return changed;
    });
    // 9. Drop insertions of values already available.
    st->insert_union = 0;
    for (u4 k = 0; k < st->order_count; k++) {
        u4 x = st->order[k];
        s[x].insert &= ~(s[x].avin & ~s[x].kill);
        st->insert_union |= s[x].insert;
    }
    if (st->insert_union == 0 || st->writeup_union == 0)
        return st->insert_union != 0;
    // 10. A write counts as coming only where the cache local holds the value.
    for (u4 k = 0; k < st->order_count; k++) {
        u4 x = st->order[k];
        s[x].writeup &= s[x].avin;
    }
    // 11. Dirtiness.
    solve_until_stable(st, true, [&](u4 x) {
        privatize_block_sets& b = s[x];
        b.dirtyin = is_entry(st, x) ? 0 : meet_or(st, e[x].preds, e[x].pred_count, &privatize_block_sets::dirtyout);
        u8 out = (b.dirtyin & ~b.flush) | b.dirtygen;
        bool changed = out != b.dirtyout;
        b.dirtyout = out;
        return changed;
    });
    // 12. Write-backs at the start of the blocks that leave the method.
    for (u4 k = 0; k < st->order_count; k++) {
        u4 x = st->order[k];
        if (x >= st->real_blocks || !st->exit_pred[x])
            continue;
        s[x].exitwb = s[x].avin & s[x].dirtyin & ~s[x].writeup;
        s[x].writeup |= s[x].exitwb;
    }
    // 13. Coming writes: every path meets a write (or a write-back) before
    // memory is read or must be current.
    solve_until_stable(st, false, [&](u4 x) {
        privatize_block_sets& b = s[x];
        b.writeout = is_exit(st, x) ? 0 : meet_and(st, e[x].succs, e[x].succ_count, &privatize_block_sets::writein);
        u8 barrier = b.flush | b.insert | (b.antloc & ~b.avin);
        u8 in = (b.writeout & ~barrier) | b.writeup;
        bool changed = in != b.writein;
        b.writein = in;
        return changed;
    });
    return 1;
}
