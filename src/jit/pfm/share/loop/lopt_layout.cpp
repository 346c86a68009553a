// Block layout by loops, and branch reversal along the DFS order.
//
// `bb_straightening_basedon_scc` renumbers the blocks so that the blocks of
// every loop form one run that starts at its header; everything else keeps
// its DFS order.  Each top-level loop's run is computed with the rest of the
// graph fenced off: the header is fenced while the inner parts are placed,
// each by a depth-first walk that writes blocks when it leaves them, from the
// end of the run backwards, so that a walk's blocks read in reverse
// post-order and the header, placed last, lands in front.  The runs are then
// merged into the DFS order at their headers, the blocks that the DFS list
// does not hold (subroutine bodies, unreachable blocks) follow in their old
// order, the exit block comes last, and every block number the method holds
// is rewritten.  Nothing is changed when the graph is not reducible.
//
// The stage walks the DFS list with its roots in precise order even under
// NNEWDFS: the classic order walks a transfer compile's entry first, which
// enters the main flow in the middle of the loop that holds the transfer
// point, and every such loop would look like a cycle with a second entry.
// The list the stage leaves behind is rebuilt by the caller as the option
// says.
//
// `reverse_cond_along_dfs` runs once after the layout and once after the
// loop table was built and the DFS list rebuilt from it.
// Requires a valid DFS list; changes only the last quadruple, the successor
// order and the branch-direction flags of blocks whose conditional branch
// jumps to the block that follows them in DFS order, so that the branch falls
// through there and jumps to the other successor instead.  The front-end form
// and the quadruple form keep the condition in the same field.
//
// A condition without a negation is left alone: exchanging the successors
// under an unchanged condition would send the branch to the other block.
#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "loop/loop.h"
#include "loop/lopt_scc.h"

#include <string.h>

namespace {

constexpr u2 CHA_SENSE_MASK = 0xF;      // the guard's sense: 1 jumps to successor 0, 2 to successor 1
constexpr u2 CHA_SENSE_FIRST = 1;
constexpr u2 CHA_SENSE_SECOND = 2;

bool reversible_branch(u1 op)
{
    switch (op) {
    case OPC_IFZ: case OPC_IFCMP: case OPC_FCMP: case OPC_IFNULL: case OPC_IFACMP: case OPC_FCMP_BRANCH:
    case OPC_DCMP_BRANCH: case OPC_LCMP_BRANCH: case OPC_CHA_GUARD:
        return true;
    default:
        return false;
    }
}

// The expected-path flags follow the successor that became the other one.
void swap_direction_flags(bbattr* b)
{
    bool backward = (b->flags & BB_BACKWARD_BRANCH) != 0;
    bool forward = (b->flags2 & BB2_FORWARD_BRANCH) != 0;
    if (forward && !backward) {
        b->flags |= BB_BACKWARD_BRANCH;
        b->flags2 &= ~BB2_FORWARD_BRANCH;
    } else if (backward && !forward) {
        b->flags2 |= BB2_FORWARD_BRANCH;
        b->flags &= ~BB_BACKWARD_BRANCH;
    }
}

} // namespace

u2 loop_reverse_condition(u2 code)
{
    switch (code) {
    case 2: return 3;
    case 3: return 2;
    case 4: return 7;
    case 7: return 4;
    case 5: return 6;
    case 6: return 5;
    case 8: return 11;
    case 11: return 8;
    case 9: return 10;
    case 10: return 9;
    case 18: return 21;
    case 21: return 18;
    case 19: return 20;
    case 20: return 19;
    default: return code;   // no negation
    }
}

int reverse_cond_along_dfs(method_compile_context* m)
{
    if (m->dfs_count < 3)
        return 1;
    for (u4 i = m->dfs_count - 2; i >= 1; i--) {
        u4 id = m->dfs_array[i];
        if (id >= m->bb_count)
            continue;
        bbattr* b = m->bb_table[id];
        if ((b->flags & BB_DEAD) || b->quad_count == 0 || b->succ_count < 2)
            continue;
        quadruple* q = b->catbl[b->quad_count - 1];
        if (!reversible_branch(q->opcode) || b->succ[1] != m->dfs_array[i + 1] || b->succ[0] == b->succ[1])
            continue;
        if (q->opcode == OPC_CHA_GUARD) {
            u2 sense = q->op & CHA_SENSE_MASK;
            if (sense != CHA_SENSE_FIRST && sense != CHA_SENSE_SECOND)
                continue;
            sense = sense == CHA_SENSE_FIRST ? CHA_SENSE_SECOND : CHA_SENSE_FIRST;
            q->op = static_cast<u2>((q->op & ~CHA_SENSE_MASK) | sense);
            // The guard keeps jumping to the same block, which the swap below
            // moves to the position the new sense names.
            q->target = sense == CHA_SENSE_SECOND ? b->succ[0] : b->succ[1];
        } else {
            u2 negated = loop_reverse_condition(q->op);
            if (negated == q->op)
                continue;
            q->op = negated;
            q->target = b->succ[0];
        }
        u4 first = b->succ[0];
        b->succ[0] = b->succ[1];
        b->succ[1] = first;
        swap_direction_flags(b);
    }
    return 1;
}

namespace {

bool test_bit(const u4* set, u4 b) { return (set[b >> 5] >> (b & 31)) & 1; }
void set_bit(u4* set, u4 b) { set[b >> 5] |= 1u << (b & 31); }
void clear_bit(u4* set, u4 b) { set[b >> 5] &= ~(1u << (b & 31)); }

template <typename T> T* scratch(method_compile_context* m, u4 count)
{
    auto* p = static_cast<T*>(jit_wmem_alloc(m->pool2, (count ? count : 1) * sizeof(T)));
    memset(p, 0, (count ? count : 1) * sizeof(T));
    return p;
}

// The run of one top-level loop, filled from its end.
struct run_builder {
    method_compile_context* m;
    scc_graph* g;
    u4* placed;                 // bit set over block numbers
    u4* run;
    u4 cursor;                  // next free position + 1 (fills downwards)
    u4* frames;                 // the walk's stack: block, next successor position
    scc_nodelist** exit_targets;    // by loop index in g->loops
};

// Depth-first walk from `start` over unplaced blocks; each block is written
// when the walk leaves it.
void place_by_dfs(run_builder& rb, u4 start)
{
    if (test_bit(rb.placed, start))
        return;
    method_compile_context* m = rb.m;
    u4 sp = 0;
    set_bit(rb.placed, start);
    rb.frames[0] = start;
    rb.frames[1] = m->bb_table[start]->succ_count;
    sp = 1;
    while (sp > 0) {
        u4* f = rb.frames + 2 * (sp - 1);
        const bbattr* b = m->bb_table[f[0]];
        bool descended = false;
        while (f[1] > 0) {
            u4 s = bb_succ_block(b->succ[--f[1]]);
            if (s >= m->bb_count || test_bit(rb.placed, s))
                continue;
            set_bit(rb.placed, s);
            u4* nf = rb.frames + 2 * sp++;
            nf[0] = s;
            nf[1] = m->bb_table[s]->succ_count;
            descended = true;
            break;
        }
        if (descended)
            continue;
        rb.run[--rb.cursor] = f[0];
        sp--;
    }
}

u4 loop_index(const scc_graph* g, const scc_loop* l) { return static_cast<u4>(l - g->loops); }

// Places one loop and its inner loops.
void traverse_proper_loop(run_builder& rb, scc_loop* loop)
{
    u4 h = loop->header->id;
    scc_nodelist* targets = rb.exit_targets[loop_index(rb.g, loop)];
    if (loop->flags & SCC_LOOP_MANY_INNER) {
        // Exit targets and inner loops by decreasing DFS position.
        scc_nodelist* t = targets;
        scc_loop* c = loop->child;
        while (t != nullptr || c != nullptr) {
            bool take_child = c != nullptr && (t == nullptr || c->header->dfs_pos > t->item->dfs_pos);
            if (take_child) {
                set_bit(rb.placed, h);
                traverse_proper_loop(rb, c);
                clear_bit(rb.placed, h);
                c = c->sibling;
            } else {
                set_bit(rb.placed, h);
                place_by_dfs(rb, t->item->id);
                clear_bit(rb.placed, h);
                t = t->next;
            }
        }
        place_by_dfs(rb, h);
        return;
    }
    if (test_bit(rb.placed, h))
        return;
    set_bit(rb.placed, h);
    for (scc_nodelist* t = targets; t != nullptr; t = t->next)
        place_by_dfs(rb, t->item->id);
    for (scc_loop* c = loop->child; c != nullptr; c = c->sibling)
        traverse_proper_loop(rb, c);
    clear_bit(rb.placed, h);
    place_by_dfs(rb, h);
}

// Marks the nodes of a loop's subtree.
void mark_subtree(scc_loop* loop, u1* in)
{
    in[loop->header->dfs_pos] = 1;
    for (scc_nodelist* b = loop->body; b != nullptr; b = b->next)
        in[b->item->dfs_pos] = 1;
    for (scc_loop* c = loop->child; c != nullptr; c = c->sibling)
        mark_subtree(c, in);
}

// Exit targets of inner loops, per loop they land in, by decreasing DFS
// position, without repeats.
void collect_exit_targets(run_builder& rb)
{
    scc_graph* g = rb.g;
    // Innermost loop record of each node.
    auto* loop_of = scratch<scc_loop*>(rb.m, g->count);
    for (u4 k = 1; k <= g->loop_count; k++) {
        scc_loop* l = &g->loops[k];
        loop_of[l->header->dfs_pos] = l;
        for (scc_nodelist* b = l->body; b != nullptr; b = b->next)
            loop_of[b->item->dfs_pos] = l;
    }
    for (u4 i = 0; i < g->count; i++) {
        scc_node* s = g->order[i];
        if (s->loop == 0)
            continue;
        for (scc_link* l = s->succs; l != nullptr; l = l->next) {
            scc_node* t = l->target;
            if (t->region != s->region || (t->loop != 0 && t->loop <= s->loop))
                continue;
            scc_loop* into = loop_of[t->dfs_pos] != nullptr ? loop_of[t->dfs_pos] : &g->loops[0];
            scc_nodelist** head = &rb.exit_targets[loop_index(g, into)];
            bool seen = false;
            for (scc_nodelist* x = *head; x != nullptr; x = x->next)
                seen = seen || x->item == t;
            if (seen)
                continue;
            while (*head != nullptr && (*head)->item->dfs_pos > t->dfs_pos)
                head = &(*head)->next;
            auto* n = scratch<scc_nodelist>(rb.m, 1);
            n->item = t;
            n->next = *head;
            *head = n;
        }
    }
}

bool renumbered_branch(u1 op)
{
    switch (op) {
    case OPC_IFZ: case OPC_IFCMP: case OPC_IFNULL: case OPC_IFACMP: case OPC_GOTO: case OPC_FCMP_BRANCH:
    case OPC_DCMP_BRANCH: case OPC_LCMP_BRANCH: case OPC_METHODBLOCKCHECK: case OPC_MTADDRESSCHECK:
    case OPC_CHA_GUARD:
        return true;
    default:
        return false;
    }
}

// Gives block old_order[i] the number i and rewrites every block number the
// method holds.  The order holds every block once, the exit block last.
void apply_order(method_compile_context* m, const u4* order)
{
    u4 n = m->bb_count;
    auto* map = scratch<u4>(m, n);
    for (u4 i = 0; i < n; i++)
        map[order[i]] = i;
    auto to = [&](u4 v) { return v < n ? map[v] : v; };
    auto to_signed = [&](u4 v) {
        s4 s = static_cast<s4>(v);
        return s < 0 ? static_cast<u4>(-static_cast<s4>(to(static_cast<u4>(-s)))) : to(v);
    };
    for (u4 i = 0; i + 1 < n; i++) {
        bbattr* b = m->bb_table[i];
        for (u4 k = 0; k < b->succ_count; k++)
            b->succ[k] = to_signed(b->succ[k]);
        if (i == 0 || b->quad_count == 0)
            continue;
        for (u4 k = 0; k < b->quad_count; k++)
            if (b->catbl[k]->opcode == OPC_JSR)
                b->catbl[k]->target = to(b->catbl[k]->target);
        quadruple* last = b->catbl[b->quad_count - 1];
        if (renumbered_branch(last->opcode)) {
            last->target = to(last->target);
            if (last->opcode == OPC_GOTO && (last->subcode & QS_KIND_MASK) != 0 && last->second != 0)
                last->second = to(last->second);
        }
    }
    bbattr* exit = m->bb_table[n - 1];
    for (u4 i = 0; i < exit->pred_count; i++)
        exit->succ[i] = to(exit->succ[i]);
    auto* catches = static_cast<bb_exception_entry*>(m->exc_bb_table);
    for (u4 i = 0; catches != nullptr && i < m->exc_count; i++)
        catches[i].handler_bb = static_cast<u2>(to(catches[i].handler_bb));
    auto* subs = static_cast<subroutine_info*>(m->subroutine_table);
    for (u4 s = 0; subs != nullptr && s < m->subroutine_count; s++)
        for (u4 k = 0; k < subs[s].block_count; k++)
            subs[s].blocks[k] = to(subs[s].blocks[k]);
    if (m->state_flags & MCC_MMI2JIT)
        for (int k = TR_ENTRY; k <= TR_RESUME; k++)
            m->frontend_words[k] = to(m->frontend_words[k]);
    auto* table = scratch<bbattr*>(m, n);
    for (u4 i = 0; i < n; i++) {
        table[i] = m->bb_table[order[i]];
        table[i]->id = i;
    }
    memcpy(m->bb_table, table, n * sizeof(bbattr*));
}

} // namespace

int bb_straightening_basedon_scc(method_compile_context* m)
{
    if (generate_dfs_list_with_precise_ehandler(m) != 1 || m->dfs_count < 3)
        return 0;
    auto* g = scratch<scc_graph>(m, 1);
    if (init_node_and_link(m, g) == 0)
        return 0;
    if (detect_scc(m, g) == nullptr)
        return 1;
    if (g->loop_count == 0)
        return 0;
    u4 n = m->bb_count;
    run_builder rb;
    rb.m = m;
    rb.g = g;
    rb.placed = scratch<u4>(m, (n + 31) / 32);
    rb.run = scratch<u4>(m, n);
    rb.frames = scratch<u4>(m, 2 * n);
    rb.exit_targets = scratch<scc_nodelist*>(m, g->loop_count + 1);
    collect_exit_targets(rb);

    // The run of each top-level loop, the rest of the graph fenced off.
    auto* run_of = scratch<u4*>(m, g->count);      // by header DFS position
    auto* run_len = scratch<u4>(m, g->count);
    auto* in = scratch<u1>(m, g->count);
    for (scc_loop* t = g->loops[0].child; t != nullptr; t = t->sibling) {
        memset(in, 0, g->count);
        mark_subtree(t, in);
        memset(rb.placed, 0xFF, ((n + 31) / 32) * 4);
        u4 size = 0;
        for (u4 i = 0; i < g->count; i++)
            if (in[i]) {
                clear_bit(rb.placed, g->order[i]->id);
                size++;
            }
        rb.cursor = size;
        traverse_proper_loop(rb, t);
        if (rb.cursor != 0 || rb.run[0] != t->header->id)
            return 1;           // a loop block the walks did not reach           // a loop block the walks did not reach
        u4* copy = scratch<u4>(m, size);
        memcpy(copy, rb.run, size * 4);
        run_of[t->header->dfs_pos] = copy;
        run_len[t->header->dfs_pos] = size;
    }

    // Merge with the DFS order; then the blocks the list does not hold.
    auto* order = scratch<u4>(m, n);
    auto* taken = scratch<u1>(m, n);
    u4 count = 0;
    order[count++] = 0;
    taken[0] = 1;
    taken[n - 1] = 1;
    for (u4 i = 1; i < g->count; i++) {
        scc_node* x = g->order[i];
        if (taken[x->id])
            continue;
        if (run_of[i] != nullptr) {
            for (u4 k = 0; k < run_len[i]; k++) {
                u4 b = run_of[i][k];
                if (!taken[b]) {
                    taken[b] = 1;
                    order[count++] = b;
                }
            }
            continue;
        }
        taken[x->id] = 1;
        order[count++] = x->id;
    }
    for (u4 b = 1; b + 1 < n; b++)
        if (!taken[b]) {
            taken[b] = 1;
            order[count++] = b;
        }
    order[count++] = n - 1;
    bool same = true;
    for (u4 i = 0; i < n; i++)
        same = same && order[i] == i;
    if (!same) {
        apply_order(m, order);
        generate_dfs_list_with_precise_ehandler(m);
    }
    jit_wmem_clear(m->pool2);
    return 0;
}
