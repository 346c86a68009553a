// Synchronization optimization over quadruples: the monitor regions of
// inlined synchronized callees (opcode 168 enters, 169 leaves; the operator
// word holds the monitor index, the enter's first source the object, its
// result the lock-record local pair).
//
// Nested regions: when a region on an object lies wholly inside another
// region on the same object (same reaching definitions of the object), the
// inner enter and exit are deleted, since the thread already holds the
// monitor.  "Wholly inside" is decided with dominators and post-dominators
// and, because dominance alone says nothing about the order of the two
// regions around a loop back edge, with two reachability tests: the outer
// exit must not reach the inner enter without passing the outer enter again,
// and the inner enter must not reach the outer exit without passing the
// inner exit.  (A loop "while (a.f()) b.g();" on one object puts the test's
// region in a block that dominates the body and post-dominates it, yet the
// body's region runs after the test has released the monitor.)
//
// Loops (df_synchoist.cpp): on a uniprocessor, a monitor taken at the top
// and released at the bottom of every iteration of a simple loop is taken
// once before the loop and released once after it.
//
// Requires fresh use-def chains (reaching definitions run just before);
// leaves the reaching definitions out of date and, when blocks were
// inserted, the blocks renumbered (the pass context's flow-changed mark asks
// the driver to rebuild the DFS list).
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "dataflow/df_syncopt.h"
#include "loop/loop.h"

namespace {

constexpr u4 SYNC_FRAME_RECORDS = 128;      // records kept in the pass's own frame

bool chains_fresh(const method_compile_context* m) { return !(m->state_flags & MCC_REACHDEF_STALE); }

// Highest monitor index + 1 over the live monitor quadruples; 0 when none.
u4 count_monitor_records(method_compile_context* m)
{
    u4 count = 0;
    for (u4 b = 0; b < m->bb_count; b++) {
        bbattr* bb = m->bb_table[b];
        if (bb->flags & BB_DEAD)
            continue;
        for (u4 i = 0; i < bb->quad_count; i++) {
            quadruple* q = bb->catbl[i];
            if (!df_deleted(q) && (q->opcode == OPC_SYNCENTER || q->opcode == OPC_SYNCEXIT) && q->op + 1u > count)
                count = q->op + 1u;
        }
    }
    return count;
}

} // namespace

// Adds a position to a site word (inline while it is the only one, else an
// ascending list).
void sync_add_site(method_compile_context* m, dataflow_pass_context* pc, monitor_record* r, u4 inline_bit, u4* site,
              u4 pos)
{
    if (!(r->flags & inline_bit) && *site == 0) {
        r->flags |= inline_bit;
        *site = pos;
        return;
    }
    auto* node = static_cast<sync_pos_node*>(sync_node(m, pc, sizeof(sync_pos_node)));
    node->pos = pos;
    node->next = nullptr;
    sync_pos_node* head;
    if (r->flags & inline_bit) {
        head = static_cast<sync_pos_node*>(sync_node(m, pc, sizeof(sync_pos_node)));
        head->pos = *site;
        head->next = nullptr;
        r->flags &= ~inline_bit;
    } else {
        head = reinterpret_cast<sync_pos_node*>(*site);
    }
    sync_pos_node** link = &head;
    while (*link != nullptr && (*link)->pos < pos)
        link = &(*link)->next;
    node->next = *link;
    *link = node;
    *site = reinterpret_cast<u4>(head);
}

namespace {

void push_loop_site(method_compile_context* m, dataflow_pass_context* pc, sync_state* st, sync_loop_site** lists,
                    u4 block, u4 index, u4 record)
{
    bbattr* b = m->bb_table[block];
    if ((b->flags & BB_KIND_MASK) != BB_KIND_LOOP || b->loop_index < 0
        || static_cast<u4>(b->loop_index) >= m->loop_count || b->loop_depth != 0)
        return;
    loop_table_record* loop = mcc_loop(m, static_cast<u4>(b->loop_index));
    if (loop->flags & LOOP_INVALID)
        return;
    auto* node = static_cast<sync_loop_site*>(sync_node(m, pc, sizeof(sync_loop_site)));
    node->block = block;
    node->index = index;
    node->record = record;
    node->next = lists[b->loop_index];
    lists[b->loop_index] = node;
}

} // namespace

int collect_monitor_sites(method_compile_context* m, dataflow_pass_context* pc, sync_state* st)
{
    if (m->loop_count > 0) {
        u4 bytes = m->loop_count * sizeof(sync_loop_site*);
        st->loop_enters = static_cast<sync_loop_site**>(jit_wmem_alloc(m->pool2, bytes));
        st->loop_exits = static_cast<sync_loop_site**>(jit_wmem_alloc(m->pool2, bytes));
        if (st->loop_enters == nullptr || st->loop_exits == nullptr)
            return 1;
        memset(st->loop_enters, 0, bytes);
        memset(st->loop_exits, 0, bytes);
    }
    for (u4 k = 0; k < st->order_count; k++) {
        u4 b = st->order[k];
        bbattr* bb = m->bb_table[b];
        if ((bb->flags & BB_DEAD) || bb->quad_count == 0 || b + 1 >= m->bb_count)
            continue;
        for (u4 i = 0; i < bb->quad_count; i++) {
            quadruple* q = bb->catbl[i];
            if (df_deleted(q) || (q->opcode != OPC_SYNCENTER && q->opcode != OPC_SYNCEXIT) || q->op >= st->count)
                continue;
            monitor_record* r = &st->records[q->op];
            u4 pos = make_quad_ref(b, i);
            if (q->opcode == OPC_SYNCENTER) {
                sync_add_site(m, pc, r, MR_ONE_ENTER, &r->enter, pos);
                if (df_is_local(df_opnd(&q->src1)) && !(q->flags_a & QA_CONSTANT)) {
                    r->object = q->src1.number;
                } else {
                    r->flags |= MR_NOT_LOCAL;
                    r->object = static_cast<s4>(q->value);
                }
                r->saved_local = q->result.number;
                if (st->loop_enters != nullptr)
                    push_loop_site(m, pc, st, st->loop_enters, b, i, q->op);
            } else {
                sync_add_site(m, pc, r, MR_ONE_EXIT, &r->exit, pos);
                if (st->loop_exits != nullptr)
                    push_loop_site(m, pc, st, st->loop_exits, b, i, q->op);
            }
        }
    }
    return 0;
}

namespace {

u4 bv_words(const method_compile_context* m) { return (m->bb_count + 31) / 32; }
bool bv_test(const u4* v, u4 bit) { return (v[bit >> 5] >> (bit & 31)) & 1; }
void bv_set(u4* v, u4 bit) { v[bit >> 5] |= 1u << (bit & 31); }

u4** allocate_block_sets(method_compile_context* m, u4 fill)
{
    u4 words = bv_words(m);
    auto** sets = static_cast<u4**>(jit_wmem_alloc(m->pool2, m->bb_count * sizeof(u4*)));
    auto* storage = static_cast<u4*>(jit_wmem_alloc(m->pool2, m->bb_count * words * 4));
    if (sets == nullptr || storage == nullptr)
        return nullptr;
    memset(storage, fill ? 0xFF : 0, m->bb_count * words * 4);
    for (u4 b = 0; b < m->bb_count; b++)
        sets[b] = storage + b * words;
    return sets;
}

bool in_try(const bbattr* b) { return (b->flags & BB_IN_TRY) != 0; }
bool is_terminal(const method_compile_context* m, u4 b) { return b + 1 == m->bb_count; }

} // namespace

void* sync_node(method_compile_context* m, dataflow_pass_context* pc, u4 bytes)
{
    // Nodes are cut from the end of chunks of the first work pool.
    if (pc->arena2_left < bytes || pc->arena2_base == nullptr) {
        u4 chunk = 4096;
        pc->arena2_base = static_cast<u1*>(jit_wmem_alloc(m->pool1, chunk));
        pc->arena2_size = chunk;
        pc->arena2_left = chunk;
    }
    pc->arena2_left -= bytes;
    return pc->arena2_base + pc->arena2_left;
}

int Isnot_same_bitvec(const u4* a, const u4* b, u4 bits)
{
    return memcmp(a, b, ((bits + 31) / 32) * 4) != 0 ? 1 : 0;
}

u4** create_dominator_bv(method_compile_context* m, dataflow_pass_context* pc, const u4* order, u4 count)
{
    u4** dom = allocate_block_sets(m, 1);
    if (dom == nullptr)
        return nullptr;
    u4 words = bv_words(m);
    memset(dom[0], 0, words * 4);
    auto* seen = static_cast<u4*>(jit_wmem_alloc(m->pool2, words * 4));
    auto* before = static_cast<u4*>(jit_wmem_alloc(m->pool2, words * 4));
    for (int again = 1; again;) {
        again = 0;
        memset(seen, 0, words * 4);
        for (u4 k = 0; k < count; k++) {
            u4 b = order[k];
            if (is_terminal(m, b))
                continue;
            bv_set(seen, b);
            bbattr* bb = m->bb_table[b];
            for (u4 j = bb->succ_count; j-- > 0;) {
                u4 s = bb_succ_block(bb->succ[j]);
                if (s >= m->bb_count)
                    continue;
                int check = !again && bv_test(seen, s);
                if (check)
                    memcpy(before, dom[s], words * 4);
                if (in_try(m->bb_table[s])) {
                    memset(dom[s], 0, words * 4);
                } else {
                    for (u4 w = 0; w < words; w++)
                        dom[s][w] &= dom[b][w];
                    bv_set(dom[s], s);
                }
                if (check && Isnot_same_bitvec(before, dom[s], m->bb_count))
                    again = 1;
            }
        }
    }
    return dom;
}

u4** create_post_dominator_bv(method_compile_context* m, dataflow_pass_context* pc, const u4* order, u4 count)
{
    u4** pdom = allocate_block_sets(m, 1);
    if (pdom == nullptr)
        return nullptr;
    u4 words = bv_words(m);
    memset(pdom[m->bb_count - 1], 0, words * 4);
    auto* before = static_cast<u4*>(jit_wmem_alloc(m->pool2, words * 4));
    for (int changed = 1; changed;) {
        changed = 0;
        for (u4 k = count; k-- > 0;) {
            u4 b = order[k];
            if (is_terminal(m, b))
                continue;
            bbattr* bb = m->bb_table[b];
            memcpy(before, pdom[b], words * 4);
            if (in_try(bb)) {
                memset(pdom[b], 0, words * 4);
            } else if (bb->succ_count == 0) {
                memset(pdom[b], 0, words * 4);
                bv_set(pdom[b], b);
            } else {
                for (u4 j = 0; j < bb->succ_count; j++) {
                    u4 s = bb_succ_block(bb->succ[j]);
                    if (s >= m->bb_count)
                        continue;
                    for (u4 w = 0; w < words; w++)
                        pdom[b][w] &= pdom[s][w];
                    if (in_try(m->bb_table[s]))
                        pdom[b][s >> 5] &= ~(1u << (s & 31));
                }
                bv_set(pdom[b], b);
            }
            if (Isnot_same_bitvec(before, pdom[b], m->bb_count))
                changed = 1;
        }
    }
    return pdom;
}

// Whether a path from just after `from` reaches `target` without passing
// `barrier` (positions: block in the low half, index in the high half).
int sync_reaches_avoiding(method_compile_context* m, u4 from, u4 target, u4 barrier)
{
    u4 words = bv_words(m);
    auto* visited = static_cast<u4*>(jit_wmem_alloc(m->pool2, words * 4));
    auto* stack = static_cast<u4*>(jit_wmem_alloc(m->pool2, (m->bb_count + 1) * 4));
    memset(visited, 0, words * 4);
    u4 depth = 0;
    // 1 reached, -1 blocked, 0 ran off the block's end.
    auto walk = [&](u4 b, u4 start) -> int {
        bbattr* bb = m->bb_table[b];
        for (u4 i = start; i < bb->quad_count; i++) {
            u4 pos = make_quad_ref(b, i);
            if (pos == target)
                return 1;
            if (pos == barrier)
                return -1;
        }
        return 0;
    };
    auto push_successors = [&](u4 b) {
        if (is_terminal(m, b))
            return;
        bbattr* bb = m->bb_table[b];
        for (u4 j = 0; j < bb->succ_count; j++) {
            u4 s = bb_succ_block(bb->succ[j]);
            if (s < m->bb_count && !bv_test(visited, s)) {
                bv_set(visited, s);
                stack[depth++] = s;
            }
        }
    };
    u4 fb = quad_ref_block(from);
    int r = walk(fb, quad_ref_index(from) + 1);
    if (r != 0)
        return r > 0;
    push_successors(fb);
    while (depth > 0) {
        u4 b = stack[--depth];
        r = walk(b, 0);
        if (r > 0)
            return 1;
        if (r == 0)
            push_successors(b);
    }
    return 0;
}

namespace {

bool single_region(const monitor_record* r)
{
    return (r->flags & MR_ONE_ENTER) && (r->flags & MR_ONE_EXIT) && !(r->flags & MR_DELETED);
}

// The enter quadruple of a record with one enter site.
quadruple* enter_quad(method_compile_context* m, const monitor_record* r)
{
    return m->bb_table[quad_ref_block(r->enter)]->catbl[quad_ref_index(r->enter)];
}

bool same_object(method_compile_context* m, const monitor_record* a, const monitor_record* b)
{
    if (a->object != b->object || ((a->flags ^ b->flags) & MR_NOT_LOCAL))
        return false;
    if (a->flags & MR_NOT_LOCAL)
        return true;
    df_operand* oa = df_opnd(&enter_quad(m, a)->src1);
    df_operand* ob = df_opnd(&enter_quad(m, b)->src1);
    return SAME_CHAIN(oa->chain, ob->chain, oa->kind & DFO_SINGLE_REF, ob->kind & DFO_SINGLE_REF) != 0;
}

// p comes first: another block, or earlier in the same block.
bool apart_or_before(u4 p, u4 q)
{
    return quad_ref_block(p) != quad_ref_block(q) || quad_ref_index(p) < quad_ref_index(q);
}

// The inner region (enter b, exit y) lies inside the outer one (enter a,
// exit x).
bool nested_inside(method_compile_context* m, u4** dom, u4** pdom, u4 a, u4 x, u4 b, u4 y)
{
    if (!apart_or_before(a, b) || !bv_test(dom[quad_ref_block(b)], quad_ref_block(a)))
        return false;
    if (!apart_or_before(y, x) || !bv_test(pdom[quad_ref_block(y)], quad_ref_block(x)))
        return false;
    // Around a back edge the outer exit may come before the inner enter.
    return !sync_reaches_avoiding(m, x, b, a) && !sync_reaches_avoiding(m, b, x, y);
}

void delete_region(method_compile_context* m, monitor_record* r)
{
    ChangeNOP(m, static_cast<s4>(quad_ref_block(r->enter)), static_cast<s4>(quad_ref_index(r->enter)));
    ChangeNOP(m, static_cast<s4>(quad_ref_block(r->exit)), static_cast<s4>(quad_ref_index(r->exit)));
    r->flags |= MR_DELETED;
    r->object = -1;
}

} // namespace

int eliminate_nested_monitors(method_compile_context* m, dataflow_pass_context* pc, sync_state* st)
{
    if ((m->state_flags & SYNC_ELIMINATION_OFF) || st->count < 2)
        return 0;
    u4** dom = create_dominator_bv(m, pc, st->order, st->order_count);
    u4** pdom = dom != nullptr ? create_post_dominator_bv(m, pc, st->order, st->order_count) : nullptr;
    if (pdom == nullptr)
        return 1;
    for (u4 ia = st->count; ia-- > 1;) {
        monitor_record* A = &st->records[ia];
        if (!single_region(A))
            continue;
        for (u4 ib = ia; ib-- > 0;) {
            monitor_record* B = &st->records[ib];
            if (!single_region(B) || !same_object(m, A, B))
                continue;
            u4 a = A->enter, x = A->exit, b = B->enter, y = B->exit;
            if (apart_or_before(a, b) && bv_test(dom[quad_ref_block(b)], quad_ref_block(a))) {
                if (nested_inside(m, dom, pdom, a, x, b, y)) {
                    delete_region(m, B);
                    st->eliminated++;
                }
                continue;
            }
            if (nested_inside(m, dom, pdom, b, y, a, x)) {
                delete_region(m, A);
                st->eliminated++;
                break;
            }
        }
    }
    return 0;
}

namespace {

void renumber_site(method_compile_context* m, u4 flags, u4 inline_bit, u4 site, u4 index)
{
    auto rename = [&](u4 pos) {
        bbattr* b = m->bb_table[quad_ref_block(pos)];
        if (quad_ref_index(pos) < b->quad_count)
            b->catbl[quad_ref_index(pos)]->op = static_cast<u2>(index);
    };
    if (flags & inline_bit) {
        rename(site);
        return;
    }
    for (auto* n = reinterpret_cast<sync_pos_node*>(site); n != nullptr; n = n->next)
        rename(n->pos);
}

} // namespace

int compact_monitor_records(method_compile_context* m, dataflow_pass_context* pc, sync_state* st)
{
    u4 next = 0;
    for (u4 i = 0; i < st->count; i++) {
        monitor_record* r = &st->records[i];
        if (r->flags & MR_DELETED)
            continue;
        if (i != next) {
            renumber_site(m, r->flags, MR_ONE_ENTER, r->enter, next);
            renumber_site(m, r->flags, MR_ONE_EXIT, r->exit, next);
            st->records[next] = *r;
        }
        next++;
    }
    st->count = next;
    return 0;
}

int dataflow_Q_syncopt(method_compile_context* m, dataflow_pass_context* pc)
{
    if (compile_option2_flag & OPT2_NQSYNCOPT)
        return 0;
    u4 count = count_monitor_records(m);
    if (count == 0)
        return 0;
    pc->flags |= DFP_BUSY;
    monitor_record frame[SYNC_FRAME_RECORDS];
    sync_state st;
    memset(&st, 0, sizeof st);
    st.count = count;
    st.records = frame;
    if (count > SYNC_FRAME_RECORDS) {
        st.records = static_cast<monitor_record*>(jit_wmem_alloc(m->pool2, count * sizeof(monitor_record)));
        if (st.records == nullptr) {
            pc->flags &= ~DFP_BUSY;
            return 1;
        }
    }
    memset(st.records, 0, count * sizeof(monitor_record));
    CreateDFSforDFQuadruple(m, pc, &st.order_count, &st.order);
    int result = collect_monitor_sites(m, pc, &st);
    // Regions are compared through the objects' reaching definitions.
    if (result == 0 && chains_fresh(m))
        result = eliminate_nested_monitors(m, pc, &st);
    if (result == 0 && orva_processor_num == 1)
        result = optimize_monitors_in_loops(m, pc, &st);
    if (result == 0)
        compact_monitor_records(m, pc, &st);
    if (result == 0 && mcc_cins_list(m) != nullptr) {
        bb_renumbering(m, 1);
        pc->flags |= DFP_FLOW_CHANGED;
        m->state_flags |= MCC_REACHDEF_STALE;
    }
    pc->flags &= ~DFP_BUSY;
    return result;
}
