// Monitor hoisting out of loops, the loop phase of synchronization
// optimization (df_syncopt.cpp), run on a uniprocessor after the nested
// regions are gone.  When every iteration of a simple loop region enters the
// monitor of an object at its top and leaves it at its bottom, the enter
// moves into the region's pre-header and the exit into a new block after the
// loop, so the monitor is taken once for the whole loop.  In blocks off the
// expected path that hold an operation that may block or call out, the
// monitor is released at the block's start and taken again at its end.
//
// Two record bit sets per block over the first 64 records (record k is bit
// 63 - k): the exit side (forward from the loop's exits: "released here and
// nothing that may block since") and the enter side (backward from the
// enters: "nothing that may block before the enter").  The candidates are
// the header's enter side AND the latch's exit side.
//
// Exceptions: the hoisted monitor sits on the frame's monitor list for the
// whole loop, and the exception filter releases every listed monitor of a
// frame when an exception leaves or is caught in it.  An exception that
// leaves the loop therefore leaves with the monitor released, as the
// interpreter leaves the callee's monitor; but a handler of the method that
// catches inside the loop would run the rest of the loop without the monitor
// and then release it again after the loop.  So a region with a block inside
// a try range, or a handler block, is never transformed.
//
// The only call that counts as "cannot block" on the way to the enter is the
// constructor java/lang/Integer.<init>(I)V on an object created by a new in
// the method (the front end marks that call); any other constructor may
// synchronize or wait and keeps the loop as it is.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "dataflow/df_syncopt.h"
#include "frontend/qgen.h"
#include "loop/loop.h"

namespace {

constexpr u4 SYNC_MAX_RECORDS = 64;
constexpr u4 OPA_MAY_BLOCK_EXIT_SIDE = OPA_CALL | OPA_GETFIELD | OPA_GETSTATIC;       // 0x2c00
constexpr u4 OPA_FIELD_STORES = OPA_PUTFIELD | OPA_PUTSTATIC;                         // 0x5000
constexpr u4 OPA_FIELD_ACCESS = OPA_GETFIELD | OPA_PUTFIELD | OPA_GETSTATIC | OPA_PUTSTATIC;   // 0x7800
constexpr u4 OPA_FIELD_LOADS = OPA_GETFIELD | OPA_GETSTATIC;                          // 0x2800
constexpr u2 FIELD_VOLATILE = 0x40;
constexpr u4 LOOP_NOT_HOISTED = 0x8000;        // loop flag under which the loop phase leaves a loop alone
constexpr u4 NEW_BLOCK_CLEARED_FLAGS = 0x4 | BB_LOOP_HEAD | BB_LOOP_FIRST | BB_LOOP_INNERMOST_HEAD;

bool single_region(const monitor_record* r)
{
    return (r->flags & MR_ONE_ENTER) && (r->flags & MR_ONE_EXIT) && !(r->flags & MR_DELETED);
}

u8 record_bit(u4 k) { return k < SYNC_MAX_RECORDS ? ABIT_llshr[k] : 0; }

bool opcode_in_range(const quadruple* q) { return q->opcode < OPC_COUNT; }
u4 attributes(const quadruple* q) { return opcode_in_range(q) ? opc_info_quadruple[q->opcode] : 0; }

// A field access the compiler could not resolve, or of a volatile field.
bool unresolved_or_volatile(const quadruple* q)
{
    const auto* fb = reinterpret_cast<const fieldblock*>(q->aux);
    return fb == nullptr || (q->subcode & QS_UNRESOLVED) || (fb->access & FIELD_VOLATILE);
}

// Every definition of the call's receiver is an object creation.
bool receiver_from_new(method_compile_context* m, quadruple* q)
{
    if (df_shape(q) != QC_SRC_LIST || (m->state_flags & MCC_REACHDEF_STALE))
        return false;
    quad_operand_list_entry* receiver = quad_list_head(q);
    if (receiver == nullptr || !df_is_local(df_opnd(receiver)))
        return false;
    bool any = false, all_new = true;
    df_for_each_ref(df_opnd(receiver), [&](quad_ref r) {
        any = true;
        u4 b = quad_ref_block(r), i = quad_ref_index(r);
        if (b == 0 || b >= m->bb_count || i >= m->bb_table[b]->quad_count
            || m->bb_table[b]->catbl[i]->opcode != OPC_NEW)
            all_new = false;
    });
    return any && all_new;
}

// Clears the records whose object or lock-record pair the quadruple writes or
// whose lock-record pair it reads.
void apply_kills(sync_state* st, quadruple* q, u8* set)
{
    u4 n = st->count < SYNC_MAX_RECORDS ? st->count : SYNC_MAX_RECORDS;
    auto touches = [](u4 local, u4 width, u4 other) { return other == local || (width == 2 && other == local + 1); };
    df_operand* d = df_opnd(&q->result);
    if (df_is_local(d)) {
        u4 width = df_two_slot_type(df_type(d)) ? 2 : 1;
        for (u4 k = 0; k < n; k++) {
            const monitor_record* r = &st->records[k];
            bool object = !(r->flags & MR_NOT_LOCAL) && r->object >= 0
                          && (touches(d->number, width, static_cast<u4>(r->object))
                              || touches(static_cast<u4>(r->object), 1, d->number));
            bool pair = touches(d->number, width, r->saved_local) || touches(d->number, width, r->saved_local + 1);
            if (object || pair)
                *set &= ~record_bit(k);
        }
    }
    df_for_each_source(q, [&](df_operand* o) {
        if (!df_is_local(o))
            return;
        u4 width = df_two_slot_type(df_type(o)) ? 2 : 1;
        for (u4 k = 0; k < n; k++) {
            const monitor_record* r = &st->records[k];
            if (touches(o->number, width, r->saved_local) || touches(o->number, width, r->saved_local + 1))
                *set &= ~record_bit(k);
        }
    });
}

// A blocking operation: off the expected path it marks the block, elsewhere
// it empties the running set.
void blocks(bbattr* b, sync_state* st, u8* set)
{
    if (b->flags2 & BB2_RARE)
        st->off_path_sets[b->id] |= *set;
    else
        *set = 0;
}

bool exit_side_blocks(const quadruple* q)
{
    u4 a = attributes(q);
    return (a & OPA_MAY_BLOCK_EXIT_SIDE) || ((a & OPA_FIELD_STORES) && unresolved_or_volatile(q));
}

bool enter_side_blocks(method_compile_context* m, quadruple* q)
{
    u4 a = attributes(q);
    if (a & OPA_CALL) {
        if (q->opcode == OPC_CLINIT && (q->flags_a & QA_STRING_OR_INTEGER))
            return false;
        // Only Integer.<init>(I)V on a fresh object: other constructors may block.
        if ((q->subcode & QS_INTEGER_INIT) && receiver_from_new(m, q))
            return false;
        return true;
    }
    return (a & OPA_FIELD_ACCESS) && ((a & OPA_FIELD_LOADS) || unresolved_or_volatile(q));
}

bool holds_site(const sync_loop_site* list, const sync_state* st, u4 block)
{
    for (; list != nullptr; list = list->next)
        if (list->block == block && list->record < st->count && !(st->records[list->record].flags & MR_DELETED))
            return true;
    return false;
}

bool allocate_sets(method_compile_context* m, sync_state* st)
{
    u4 bytes = m->bb_count * sizeof(u8);
    st->exit_sets = static_cast<u8*>(jit_wmem_alloc(m->pool2, bytes));
    st->enter_sets = static_cast<u8*>(jit_wmem_alloc(m->pool2, bytes));
    st->off_path_sets = static_cast<u8*>(jit_wmem_alloc(m->pool2, bytes));
    if (st->exit_sets == nullptr || st->enter_sets == nullptr || st->off_path_sets == nullptr)
        return false;
    memset(st->exit_sets, 0xFF, bytes);
    memset(st->enter_sets, 0xFF, bytes);
    memset(st->off_path_sets, 0, bytes);
    return true;
}

void drop_sets(sync_state* st) { st->exit_sets = st->enter_sets = st->off_path_sets = nullptr; }

void for_each_successor(method_compile_context* m, bbattr* b, void (*fn)(u8*, u4, u8), u8* sets, u8 value)
{
    if (b->id + 1 == m->bb_count)
        return;
    for (u4 j = 0; j < b->succ_count; j++) {
        u4 s = bb_succ_block(b->succ[j]);
        if (s < m->bb_count)
            fn(sets, s, value);
    }
}

void and_into(u8* sets, u4 s, u8 value) { sets[s] &= value; }

} // namespace

int compute_monitor_exit_sets(method_compile_context* m, sync_state* st, const u4* positions, u4 count,
                              const sync_loop_site* exits)
{
    st->exit_sets[positions[0]] = 0;
    u4 k = 0;
    for (; k < count && !holds_site(exits, st, positions[k]); k++)
        for_each_successor(m, m->bb_table[positions[k]], and_into, st->exit_sets, 0);
    for (; k < count; k++) {
        bbattr* b = m->bb_table[positions[k]];
        if ((b->flags & BB_DEAD) || b->quad_count == 0)
            continue;
        u8 set = st->exit_sets[b->id];
        for (u4 i = 0; i < b->quad_count; i++) {
            quadruple* q = b->catbl[i];
            if (df_deleted(q))
                continue;
            apply_kills(st, q, &set);
            if (exit_side_blocks(q))
                blocks(b, st, &set);
            else if (q->opcode == OPC_SYNCENTER && set != 0 && q->op < SYNC_MAX_RECORDS)
                set = 0;
            else if (q->opcode == OPC_SYNCEXIT)
                set = record_bit(q->op);
        }
        // A block's exit-side set is the one at its end.
        st->exit_sets[b->id] = set;
        for_each_successor(m, b, and_into, st->exit_sets, set);
    }
    return 0;
}

int compute_monitor_enter_sets(method_compile_context* m, dataflow_pass_context* pc, sync_state* st,
                               const u4* positions, u4 count, const sync_loop_site* enters)
{
    for (u4 k = count; k-- > 0;) {
        st->enter_sets[positions[k]] = 0;
        if (holds_site(enters, st, positions[k]))
            break;
    }
    for (u4 k = count; k-- > 0;) {
        bbattr* b = m->bb_table[positions[k]];
        if ((b->flags & BB_DEAD) || b->quad_count == 0)
            continue;
        u8 set = st->enter_sets[b->id];
        // A path that leaves the region never reaches an enter of it: a
        // successor outside the positions counts as empty (otherwise a loop
        // that may exit before its enter would take the monitor, and test
        // its object, even when no iteration runs).
        if (b->id + 1 != m->bb_count)
            for (u4 j = 0; j < b->succ_count; j++) {
                u4 s = bb_succ_block(b->succ[j]);
                bool inside = false;
                for (u4 p = 0; p < count && !inside; p++)
                    inside = positions[p] == s;
                set &= inside ? st->enter_sets[s] : 0;
            }
        for (u4 i = b->quad_count; i-- > 0;) {
            quadruple* q = b->catbl[i];
            if (df_deleted(q))
                continue;
            apply_kills(st, q, &set);
            if (enter_side_blocks(m, q)) {
                blocks(b, st, &set);
            } else if (q->opcode == OPC_SYNCENTER) {
                set = record_bit(q->op);
            } else if (q->opcode == OPC_SYNCEXIT && set != 0 && q->op < SYNC_MAX_RECORDS) {
                set = 0;
            } else if (q->opcode == OPC_NULLCHECK && df_is_local(df_opnd(&q->src1))) {
                u4 n = st->count < SYNC_MAX_RECORDS ? st->count : SYNC_MAX_RECORDS;
                for (u4 r = 0; r < n; r++) {
                    monitor_record* rec = &st->records[r];
                    if ((rec->flags & MR_NOT_LOCAL) || rec->object != q->src1.number || !(set & record_bit(r)))
                        continue;
                    if (b->flags & BB_IN_TRY) {
                        set &= ~record_bit(r);
                        continue;
                    }
                    rec->flags |= MR_NULLCHECK_IN_LOOP;
                    sync_add_site(m, pc, rec, MR_ONE_NULLCHECK, &rec->nullchecks, make_quad_ref(b->id, i));
                }
            }
        }
        st->enter_sets[b->id] = set;
    }
    return 0;
}

namespace {

quadruple* fresh_quadruple(method_compile_context* m)
{
    quadruple* q = mcc_quad_free_list(m);
    if (q != nullptr) {
        quadruple* next;
        memcpy(&next, q, sizeof next);
        mcc_set_quad_free_list(m, next);
    } else {
        q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
    }
    return q;
}

// Opens a slot at `at` in the block's quadruple array and puts q there.
bool insert_quad(method_compile_context* m, bbattr* b, u4 at, quadruple* q)
{
    auto** table = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, (b->quad_count + 2) * sizeof(quadruple*)));
    if (table == nullptr)
        return false;
    memcpy(table, b->catbl, at * sizeof(quadruple*));
    table[at] = q;
    memcpy(table + at + 1, b->catbl + at, (b->quad_count - at) * sizeof(quadruple*));
    b->catbl = table;
    b->quad_count++;
    m->total_quad_count++;
    return true;
}

// The index in front of the block's closing jump quadruples.
u4 before_closing_jumps(const bbattr* b)
{
    u4 at = b->quad_count;
    while (at > 0 && (attributes(b->catbl[at - 1]) & OPA_ENDS_BLOCK))
        at--;
    return at;
}

quadruple* copy_of(method_compile_context* m, const quadruple* q)
{
    quadruple* c = fresh_quadruple(m);
    if (c != nullptr)
        memcpy(c, q, sizeof *c);
    return c;
}

void push_site(method_compile_context* m, dataflow_pass_context* pc, sync_loop_site** list, u4 block, u4 index,
               u4 record)
{
    auto* node = static_cast<sync_loop_site*>(sync_node(m, pc, sizeof(sync_loop_site)));
    node->block = block;
    node->index = index;
    node->record = record;
    node->next = *list;
    *list = node;
}

// Positions of the block at or after `from` move up by one (a quadruple is
// about to be inserted there), so that the sites keep naming their
// quadruples when the records are compacted.
bool shift_sites_after(sync_state* st, u4 block, u4 from)
{
    for (u4 k = 0; k < st->count; k++) {
        monitor_record* r = &st->records[k];
        auto shift = [&](u4& pos) {
            if (quad_ref_block(pos) == block && quad_ref_index(pos) >= from)
                pos = make_quad_ref(block, quad_ref_index(pos) + 1);
        };
        auto shift_all = [&](u4 inline_bit, u4& site) {
            if (r->flags & inline_bit) {
                shift(site);
                return;
            }
            for (auto* n = reinterpret_cast<sync_pos_node*>(site); n != nullptr; n = n->next)
                shift(n->pos);
        };
        shift_all(MR_ONE_ENTER, r->enter);
        shift_all(MR_ONE_EXIT, r->exit);
        shift_all(MR_ONE_NULLCHECK, r->nullchecks);
    }
    return true;
}

bbattr* quad_block(method_compile_context* m, u4 pos) { return m->bb_table[quad_ref_block(pos)]; }
quadruple* quad_at(method_compile_context* m, u4 pos) { return quad_block(m, pos)->catbl[quad_ref_index(pos)]; }

// The new block after the region's latch T; 1 on failure.
int make_loop_exit_pad(method_compile_context* m, dataflow_pass_context* pc, sync_state* st, loopattribute* region,
                       bbattr* pre, bbattr* latch, bbattr** out)
{
    int moved = 0;
    table_expansion(m, 1, 0, 0, 1, 0, 0, &moved);
    if (m->bb_count >= m->bb_capacity)
        return 1;
    u4 slot = m->bb_count - 1;
    bbattr* terminal = m->bb_table[slot];
    auto* pad = static_cast<bbattr*>(jit_wmem_alloc(m->pool1, sizeof(bbattr)));
    quadruple* q = fresh_quadruple(m);
    auto** table = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, 2 * sizeof(quadruple*)));
    auto* succ = static_cast<u4*>(jit_wmem_alloc(m->pool1, 2 * sizeof(u4)));
    if (pad == nullptr || q == nullptr || table == nullptr || succ == nullptr)
        return 1;
    memcpy(pad, pre, sizeof *pad);
    pad->flags &= ~NEW_BLOCK_CLEARED_FLAGS;
    pad->flags2 &= ~BB2_RARE;
    pad->id = slot;
    pad->pred_count = 1;
    pad->succ_count = 1;
    pad->succ = succ;
    quad_clear_fresh(q, -1);
    q->subcode = OTHER_NOP_DELETED;
    q->context = reinterpret_cast<u4>(pre->mb);
    table[0] = q;
    pad->catbl = table;
    pad->quad_count = 1;
    m->total_quad_count++;
    m->bb_table[slot] = pad;
    relink_terminal_link(m, terminal, slot + 1);
    m->bb_count = slot + 2;
    if (latch->flags2 & BB2_RARE) {
        latch->flags2 &= ~BB2_RARE;
        pad->flags2 |= BB2_RARE;
    }
    if (gen_cins_info(m, static_cast<s4>(latch->id), static_cast<s4>(slot), static_cast<s4>(slot), CINS_AFTER) == 0)
        return 1;
    // The pad follows the latch in the visiting order.
    auto* order = static_cast<u4*>(jit_wmem_alloc(m->pool1, (st->order_count + 1) * sizeof(u4)));
    u4 n = 0;
    for (u4 k = 0; k < st->order_count; k++) {
        order[n++] = st->order[k];
        if (st->order[k] == latch->id)
            order[n++] = slot;
    }
    st->order = order;
    st->order_count = n;
    pc->order = order;
    pc->order_count = n;
    // The latch's exit edge now runs through the pad.
    u4 edge = latch->succ_count > 1 && !(latch->succ[0] > latch->id) ? 1 : 0;
    u4 old_target = latch->succ[edge];
    succ[0] = old_target;
    latch->succ[edge] = slot;
    if (old_target == slot + 1) {
        for (u4 j = 0; j < terminal->pred_count; j++)
            if (terminal->succ[j] == latch->id)
                terminal->succ[j] = slot;
    }
    if (edge == 1) {
        u4 at = latch->quad_count;
        while (at > 0 && df_deleted(latch->catbl[at - 1]))
            at--;
        if (at > 0 && latch->catbl[at - 1]->target == old_target)
            latch->catbl[at - 1]->target = slot;
    }
    if (region->block_count >= region->capacity) {
        u4 capacity = region->capacity + 1;
        auto** blocks = static_cast<bbattr**>(jit_wmem_alloc(m->pool1, capacity * sizeof(bbattr*)));
        if (blocks == nullptr)
            return 1;
        memcpy(blocks, region->blocks, region->block_count * sizeof(bbattr*));
        region->blocks = blocks;
        region->capacity = capacity;
    }
    region->blocks[region->block_count++] = pad;
    region->last_id = slot;
    m->state_flags |= MCC_REACHDEF_STALE;
    *out = pad;
    return 0;
}

int hoist_monitor_out_of_loop(method_compile_context* m, dataflow_pass_context* pc, sync_state* st, u4 loop,
                              loopattribute* region, bbattr* pre, bbattr* latch, u4 k)
{
    monitor_record* r = &st->records[k];
    quadruple* enter = quad_at(m, r->enter);
    quadruple* copy = copy_of(m, enter);
    if (copy == nullptr)
        return 1;
    if (r->flags & MR_NULLCHECK_IN_LOOP) {
        copy->flags_a |= QA_NULLCHECK_VARIANT;
        if (r->flags & MR_ONE_NULLCHECK)
            quad_at(m, r->nullchecks)->flags_a |= QA_NULLCHECK_VARIANT;
        for (auto* n = (r->flags & MR_ONE_NULLCHECK) ? nullptr : reinterpret_cast<sync_pos_node*>(r->nullchecks);
             n != nullptr; n = n->next)
            quad_at(m, n->pos)->flags_a |= QA_NULLCHECK_VARIANT;
    }
    u4 at = before_closing_jumps(pre);
    ChangeNOP(m, static_cast<s4>(quad_ref_block(r->enter)), static_cast<s4>(quad_ref_index(r->enter)));
    shift_sites_after(st, pre->id, at);
    if (!insert_quad(m, pre, at, copy))
        return 1;
    r->enter = make_quad_ref(pre->id, at);
    push_site(m, pc, &st->loop_enters[loop], pre->id, at, k);
    bbattr* pad = nullptr;
    if (make_loop_exit_pad(m, pc, st, region, pre, latch, &pad) != 0)
        return 1;
    quadruple* exit = quad_at(m, r->exit);
    memcpy(pad->catbl[0], exit, sizeof(quadruple));
    ChangeNOP(m, static_cast<s4>(quad_ref_block(r->exit)), static_cast<s4>(quad_ref_index(r->exit)));
    r->exit = make_quad_ref(pad->id, 0);
    push_site(m, pc, &st->loop_exits[loop], pad->id, 0, k);
    st->hoisted++;
    return 0;
}

int release_monitor_around_block(method_compile_context* m, dataflow_pass_context* pc, sync_state* st, u4 loop,
                                 bbattr* b, u8 candidates)
{
    u8 set = st->off_path_sets[b->id] & candidates;
    if (set == 0)
        return 0;
    u4 k = static_cast<u4>(63 - __builtin_ctzll(set));
    monitor_record* r = &st->records[k];
    quadruple* exit = copy_of(m, quad_at(m, r->exit));
    quadruple* enter = copy_of(m, quad_at(m, r->enter));
    if (exit == nullptr || enter == nullptr)
        return 1;
    shift_sites_after(st, b->id, 0);
    if (!insert_quad(m, b, 0, exit))
        return 1;
    u4 at = before_closing_jumps(b);
    shift_sites_after(st, b->id, at);
    if (!insert_quad(m, b, at, enter))
        return 1;
    sync_add_site(m, pc, r, MR_ONE_EXIT, &r->exit, make_quad_ref(b->id, 0));
    sync_add_site(m, pc, r, MR_ONE_ENTER, &r->enter, make_quad_ref(b->id, at));
    push_site(m, pc, &st->loop_exits[loop], b->id, 0, k);
    push_site(m, pc, &st->loop_enters[loop], b->id, at, k);
    m->state_flags |= MCC_REACHDEF_STALE;
    return 0;
}

// The loop region is one unit with a single way in from outside and a
// compare-and-branch at its bottom.
bool simple_loop_region(method_compile_context* m, loop_table_record* loop, loopattribute* region, bbattr* latch)
{
    if ((m->state_flags & MCC_REACHDEF_STALE) || (loop->flags & LOOP_INVALID))
        return false;
    u4 outside = 0, inside = 0;
    for (loop_link* l = region->pre_entry; l != nullptr; l = l->next) {
        if (l->value >= region->first_id && l->value <= region->last_id)
            inside++;
        else
            outside++;
    }
    for (loop_link* l = region->entering; l != nullptr; l = l->next)
        if (l->value >= region->first_id && l->value <= region->last_id)
            inside++;
    if (outside != 1 || inside == 0)
        return false;
    u4 at = latch->quad_count;
    while (at > 0 && df_deleted(latch->catbl[at - 1]))
        at--;
    if (at == 0)
        return false;
    quadruple* last = latch->catbl[at - 1];
    return (attributes(last) & OPA_ENDS_BLOCK) && last->opcode != OPC_GOTO && latch->succ_count == 2
           && (bb_succ_block(latch->succ[0]) == region->entry_id || bb_succ_block(latch->succ[1]) == region->entry_id);
}

// No block of the region may be caught inside the method: a handler would
// release the hoisted monitor and run on without it.
bool region_outside_try_ranges(method_compile_context* m, const u4* positions, u4 count)
{
    for (u4 k = 0; k < count; k++)
        if (m->bb_table[positions[k]]->flags & (BB_IN_TRY | BB_HANDLER))
            return false;
    return true;
}

// 1 ends the pass; *done says whether the region was transformed.
int optimize_region(method_compile_context* m, dataflow_pass_context* pc, sync_state* st, u4 loop_id,
                    loopattribute* region, int* done)
{
    *done = 0;
    loop_table_record* loop = mcc_loop(m, loop_id);
    bbattr* pre = region->entry_block;
    if (region->exit_count != 1 || pre == nullptr || pre->succ_count != 1
        || bb_succ_block(pre->succ[0]) != region->entry_id || region->block_count < 2
        || region->last_id >= m->bb_count)
        return 0;
    bbattr* latch = nullptr;
    for (u4 i = 0; i < region->block_count; i++)
        if (region->blocks[i]->id == region->last_id)
            latch = region->blocks[i];
    if (latch == nullptr || !simple_loop_region(m, loop, region, latch))
        return 0;
    u4 start = st->order_count;
    for (u4 k = 0; k < st->order_count; k++)
        if (st->order[k] == pre->id)
            start = k;
    u4 end = start;
    while (end < st->order_count && st->order[end] != region->last_id)
        end++;
    if (end >= st->order_count)
        return 0;
    const u4* positions = st->order + start;
    u4 count = end - start + 1;
    if (!region_outside_try_ranges(m, positions + 1, count - 1))
        return 0;
    if (!allocate_sets(m, st))
        return 1;
    compute_monitor_exit_sets(m, st, positions, count, st->loop_exits[loop_id]);
    compute_monitor_enter_sets(m, pc, st, positions, count, st->loop_enters[loop_id]);
    u8 candidates = st->enter_sets[region->entry_id] & st->exit_sets[latch->id];
    u4 limit = st->count < SYNC_MAX_RECORDS ? st->count : SYNC_MAX_RECORDS;
    u4 k = limit;
    for (u4 r = limit; r-- > 0;)
        if (candidates & record_bit(r)) {
            k = r;
            break;
        }
    if (k == limit || !single_region(&st->records[k])) {
        drop_sets(st);
        return 0;
    }
    // Copy the positions: the hoisting rebuilds the visiting order.
    auto* blocks = static_cast<u4*>(jit_wmem_alloc(m->pool2, count * sizeof(u4)));
    memcpy(blocks, positions, count * sizeof(u4));
    if (hoist_monitor_out_of_loop(m, pc, st, loop_id, region, pre, latch, k) != 0)
        return 1;
    for (u4 i = 1; i < count; i++) {
        bbattr* b = m->bb_table[blocks[i]];
        if (st->off_path_sets[b->id] != 0 && release_monitor_around_block(m, pc, st, loop_id, b, candidates) != 0)
            return 1;
    }
    drop_sets(st);
    *done = 1;
    return 0;
}

} // namespace

int optimize_monitors_in_loop(method_compile_context* m, dataflow_pass_context* pc, sync_state* st, u4 loop_id)
{
    loop_table_record* loop = mcc_loop(m, loop_id);
    if (st->loop_enters[loop_id] == nullptr || st->loop_exits[loop_id] == nullptr)
        return 0;
    if (loop->flags & (LOOP_INVALID | LOOP_NOT_HOISTED | LOOP_RARE_PATH) || loop->levels == nullptr)
        return 0;
    for (s4 level = 0; level < loop->depth; level++) {
        int done = 0;
        if (optimize_region(m, pc, st, loop_id, loop->levels[level], &done) != 0)
            return 1;
        if (!done)
            break;
    }
    return 0;
}

int optimize_monitors_in_loops(method_compile_context* m, dataflow_pass_context* pc, sync_state* st)
{
    if (st->loop_enters == nullptr || st->loop_exits == nullptr)
        return 0;
    for (u4 l = m->loop_count; l-- > 0;)
        if (optimize_monitors_in_loop(m, pc, st, l) != 0)
            return 1;
    return 0;
}
