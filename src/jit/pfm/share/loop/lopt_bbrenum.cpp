// Code insertions and block renumbering.
//
// A transformation that adds blocks appends them before the exit block and
// records where they belong (`gen_cins_info`); blocks it absorbs stay in the
// table flagged 0x2000.  `bb_renumbering` then lays the table out again: the
// existing blocks in their order with each recorded range of appended blocks
// at its anchor, deleted blocks dropped (a reference to one resolves to the
// block placed just before it), the exit block last.  Every block number the
// method holds is rewritten: successor lists (negative entries keep their
// sign), branch targets, the exit block's predecessor list, the handler
// blocks of the catch frames, the loop table, the subroutine block lists and
// the block numbers of an interpreter transfer's record, and on request the
// DFS list.
//
// The new table is built in the second work pool, which is cleared at the end.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "loop/loop.h"

namespace {

static_assert(TR_ENTRY == 0 && TR_ENTRY2 == 1 && TR_PC_BLOCK == 2 && TR_RESUME == 3,
              "the transfer record's block numbers are its first four words");

bool deleted(const bbattr* b) { return (b->flags & BB_DEAD) != 0; }

// Sort key order: anchor ascending; before-records first at one anchor; then
// `first` ascending.  Equal keys keep their list order.
bool precedes(const cins_info* a, const cins_info* b)
{
    if (a->bbid != b->bbid)
        return a->bbid < b->bbid;
    bool a_before = a->kind != CINS_AFTER, b_before = b->kind != CINS_AFTER;
    if (a_before != b_before)
        return a_before;
    return a->first < b->first;
}

// Old block number -> new number, through the old table's ids.
struct renumber_map {
    bbattr** old;
    u4 count;
    u4 map(u4 v) const { return v < count ? old[v]->id : v; }
    u4 map_signed(u4 v) const
    {
        s4 s = static_cast<s4>(v);
        return s < 0 ? static_cast<u4>(-static_cast<s4>(map(static_cast<u4>(-s)))) : map(v);
    }
};

bool branch_opcode(u1 op)
{
    switch (op) {
    case OPC_IFZ: case OPC_IFCMP: case OPC_IFNULL: case OPC_IFACMP: case OPC_GOTO: case OPC_FCMP_BRANCH:
    case OPC_DCMP_BRANCH: case OPC_LCMP_BRANCH: case OPC_METHODBLOCKCHECK: case OPC_MTADDRESSCHECK:
        return true;
    default:
        return false;
    }
}

void rewrite_block(const renumber_map& r, bbattr* b)
{
    for (u4 i = 0; i < b->succ_count; i++)
        b->succ[i] = r.map_signed(b->succ[i]);
    if (b->id == 0 || b->quad_count == 0)
        return;
    for (u4 k = 0; k < b->quad_count; k++)
        if (b->catbl[k]->opcode == OPC_JSR)
            b->catbl[k]->target = r.map(b->catbl[k]->target);
    quadruple* last = b->catbl[b->quad_count - 1];
    if (branch_opcode(last->opcode)) {
        last->target = r.map(last->target);
        if (last->opcode == OPC_GOTO && (last->subcode & QS_KIND_MASK) != 0 && last->second != 0)
            last->second = r.map(last->second);
    } else if (last->opcode == OPC_CHA_GUARD) {
        last->target = r.map(last->target);
    }
}

void rewrite_level(const renumber_map& r, loopattribute* rec, bool full)
{
    if (rec == nullptr)
        return;
    rec->first_id = r.map(rec->first_id);
    rec->last_id = r.map(rec->last_id);
    if (full && static_cast<s4>(rec->entry_id) > 0)
        rec->entry_id = r.map(rec->entry_id);
    for (u4 i = 0; i < rec->block_count;) {
        if (deleted(rec->blocks[i])) {
            rec->blocks[i] = rec->blocks[rec->block_count - 1];
            rec->block_count--;
        } else {
            i++;
        }
    }
    if (rec->block_count == 0)
        return;
    u4 lo = rec->blocks[0]->id, hi = lo;
    for (u4 i = 1; i < rec->block_count; i++) {
        lo = rec->blocks[i]->id < lo ? rec->blocks[i]->id : lo;
        hi = rec->blocks[i]->id > hi ? rec->blocks[i]->id : hi;
    }
    rec->first_id = lo;
    rec->last_id = hi;
}

void rewrite_loops(method_compile_context* m, const renumber_map& r)
{
    for (u4 i = 0; i < m->loop_count; i++) {
        loop_table_record* loop = mcc_loop(m, i);
        if (loop == nullptr)
            continue;
        bool full = !(loop->flags & LOOP_INVALID);
        if (full && loop->levels != nullptr) {
            for (s4 k = 0; k < loop->depth; k++)
                rewrite_level(r, loop->levels[k], true);
            bool body_listed = loop->depth > 0 && loop->levels[loop->depth - 1] == loop->body;
            if (!body_listed)
                rewrite_level(r, loop->body, true);
        } else {
            rewrite_level(r, loop->body, full);
        }
        if (full && loop->body != nullptr && loop->body->exits != nullptr)
            for (s4 k = 0; k < loop->body->exit_count; k++)
                loop->body->exits[k] = r.map(loop->body->exits[k]);
    }
}

void rewrite_subroutines(method_compile_context* m, const renumber_map& r)
{
    auto* subs = static_cast<subroutine_info*>(m->subroutine_table);
    for (u4 s = 0; subs != nullptr && s < m->subroutine_count; s++) {
        u4 kept = 0;
        for (u4 k = 0; k < subs[s].block_count; k++) {
            u4 b = subs[s].blocks[k];
            if (b < r.count && deleted(r.old[b]))
                continue;
            subs[s].blocks[kept++] = r.map(b);
        }
        subs[s].block_count = kept;
    }
}

} // namespace

int gen_cins_info(method_compile_context* m, s4 bbid, s4 first, s4 last, s4 kind)
{
    auto* c = static_cast<cins_info*>(jit_wmem_alloc(m->pool1, sizeof(cins_info)));
    if (c == nullptr)
        return 0;
    c->kind = kind;
    c->bbid = bbid;
    c->first = first;
    c->last = last;
    c->next = mcc_cins_list(m);
    mcc_set_cins_list(m, c);
    return 1;
}

s4 sort_cins_list_and_get_first_insert_bbid(method_compile_context* m)
{
    // Stable insertion sort of the linked list.
    cins_info* sorted = nullptr;
    for (cins_info* c = mcc_cins_list(m); c != nullptr;) {
        cins_info* next = c->next;
        cins_info** link = &sorted;
        while (*link != nullptr && !precedes(c, *link))
            link = &(*link)->next;
        c->next = *link;
        *link = c;
        c = next;
    }
    mcc_set_cins_list(m, sorted);
    s4 first = -1;
    for (cins_info* c = sorted; c != nullptr; c = c->next)
        if (first < 0 || c->first < first)
            first = c->first;
    return first;
}

bbattr** change_bb_id_and_gen_new_bb_table(method_compile_context* m, s4 last_existing, u4* out_count)
{
    u4 n = m->bb_count;
    auto* table = static_cast<bbattr**>(jit_wmem_alloc(m->pool2, m->bb_capacity * sizeof(bbattr*)));
    if (table == nullptr)
        return nullptr;
    u4 next = 0;
    auto place = [&](u4 b) {
        bbattr* bb = m->bb_table[b];
        if (deleted(bb)) {
            bb->id = next > 0 ? next - 1 : 0;
            return;
        }
        bb->id = next;
        table[next++] = bb;
    };
    place(0);
    u4 cursor = 1;
    u4 limit = last_existing >= 0 ? static_cast<u4>(last_existing) : 0;
    for (cins_info* c = mcc_cins_list(m); c != nullptr; c = c->next) {
        u4 anchor = c->bbid > 0 ? static_cast<u4>(c->bbid) : 0;
        u4 upto = c->kind != CINS_AFTER ? anchor : anchor + 1;   // existing blocks cursor .. upto - 1
        if (upto > limit + 1)
            upto = limit + 1;
        for (; cursor < upto; cursor++)
            place(cursor);
        for (s4 b = c->first; b <= c->last; b++)
            if (b > 0 && static_cast<u4>(b) + 1 < n)
                place(static_cast<u4>(b));
    }
    for (; cursor <= limit; cursor++)
        place(cursor);
    bbattr* exit = m->bb_table[n - 1];
    exit->id = next;
    table[next++] = exit;
    *out_count = next;
    return table;
}

void copy_back_bb_table(method_compile_context* m, bbattr** table, u4 count)
{
    memcpy(m->bb_table, table, count * sizeof(bbattr*));
    m->bb_count = count;
}

int bb_renumbering(method_compile_context* m, int renumber_dfs)
{
    u4 n = m->bb_count;
    if (n < 2 || mcc_cins_list(m) == nullptr)
        return 0;
    s4 first = sort_cins_list_and_get_first_insert_bbid(m);
    // The old table stays readable (its blocks now carry their new ids)
    // until every reference has gone through it.
    auto* old = static_cast<bbattr**>(jit_wmem_alloc(m->pool2, n * sizeof(bbattr*)));
    if (old == nullptr)
        return 0;
    memcpy(old, m->bb_table, n * sizeof(bbattr*));
    u4 count = 0;
    bbattr** table = change_bb_id_and_gen_new_bb_table(m, first - 1, &count);
    if (table == nullptr)
        return 0;
    renumber_map r{old, n};

    for (u4 i = 0; i + 1 < n; i++)
        if (!deleted(old[i]))
            rewrite_block(r, old[i]);
    bbattr* exit = old[n - 1];
    for (u4 i = 0; i < exit->pred_count; i++)
        exit->succ[i] = r.map(exit->succ[i]);
    if (renumber_dfs)
        for (u4 i = 0; i < m->dfs_count; i++)
            m->dfs_array[i] = r.map(m->dfs_array[i]);
    auto* catches = static_cast<bb_exception_entry*>(m->exc_bb_table);
    for (u4 i = 0; catches != nullptr && i < m->exc_count; i++)
        catches[i].handler_bb = static_cast<u2>(r.map(catches[i].handler_bb));
    rewrite_loops(m, r);
    rewrite_subroutines(m, r);
    // The transfer record's block numbers.
    if (m->state_flags & MCC_MMI2JIT)
        for (int k = TR_ENTRY; k <= TR_RESUME; k++)
            m->frontend_words[k] = r.map(m->frontend_words[k]);

    copy_back_bb_table(m, table, count);
    mcc_set_cins_list(m, nullptr);
    jit_wmem_clear(m->pool2);
    return 1;
}
