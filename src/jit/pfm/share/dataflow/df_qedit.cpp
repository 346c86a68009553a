// Editing of the block graph and of single instructions for the passes that
// delete branches, blocks and instructions: losing an edge (and with it,
// when no edge is left, the block and everything only it reached), removing
// an unreachable block from the exit block's predecessors, the exception
// tables and the loop records, clearing the rare-path mark, and turning
// bytecode-level loads and increments into no-operations.
//
// The exception tables edited are the compile's own block-level table and
// catch-frame directory; the VM's method block (its exception table and its
// entry count) is never written, so a removed handler changes nothing the
// interpreter or a later compile of the method sees.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/qgen.h"
#include "dataflow/df_operand.h"
#include "frontend/catch.h"
#include "frontend/frontend.h"

namespace {

bool removed(const bbattr* b) { return (b->flags & BB_DEAD) != 0; }

loop_table_record* loop_of(method_compile_context* m, const bbattr* b)
{
    if (!(b->flags & BB_LOOP_MEMBER) || b->loop_index < 0 || static_cast<u4>(b->loop_index) >= m->loop_count)
        return nullptr;
    return mcc_loop(m, static_cast<u4>(b->loop_index));
}

// Drops every occurrence of value from a list of count entries (later
// entries move down); the new count.
u4 drop_entry(u4* list, u4 count, u4 value)
{
    u4 w = 0;
    for (u4 r = 0; r < count; r++)
        if (list[r] != value)
            list[w++] = list[r];
    return w;
}

// Removes the handler block from the compile's exception tables: its
// block-0 successor entry, every block-level entry and catch-directory slot
// whose handler it is, and the handler records naming such an entry.
void remove_handler(method_compile_context* m, u4 block)
{
    bbattr* entry = m->bb_table[0];
    u4 handlers = df_exception_entries(m);
    u4 kept = 1;
    for (u4 k = 1; k < entry->succ_count; k++)
        if (!(entry->succ[k] == block && k <= handlers))
            entry->succ[kept++] = entry->succ[k];
    if (entry->succ_count > 0)
        entry->succ_count = kept;
    auto* table = static_cast<bb_exception_entry*>(m->exc_bb_table);
    auto* dir = static_cast<catch_directory_slot*>(m->catch_frame_table);
    if (table == nullptr)
        return;
    void* directory = table[0].directory;
    for (u4 pos = 0; pos < m->exc_count;) {
        if (table[pos].handler_bb != block) {
            pos++;
            continue;
        }
        for (u4 j = pos; j + 1 < m->exc_count; j++) {
            table[j] = table[j + 1];
            if (dir != nullptr)
                dir[j] = dir[j + 1];
        }
        m->exc_count--;
        // Handler records name entries by position.
        for (u4 j = 0; dir != nullptr && j < m->exc_count; j++) {
            s4 w = 0;
            for (s4 r = 0; r < dir[j].count; r++) {
                catch_handler_record rec = dir[j].records[r];
                if (rec.handler == pos)
                    continue;
                if (rec.handler > pos)
                    rec.handler--;
                dir[j].records[w++] = rec;
            }
            if (dir[j].count > 0)
                dir[j].count = w;
        }
        for (u4 i = 0; i < m->bb_count; i++)
            if (m->bb_table[i]->try_region > static_cast<s4>(pos))
                m->bb_table[i]->try_region--;
    }
    if (m->exc_count > 0)
        table[0].directory = directory;
}

// Moves a loop bound over removed blocks of the same loop.
void move_bound(method_compile_context* m, loopattribute* body, u4 block, s4 loop_index)
{
    auto walk = [&](u4 from, s4 step) -> u4 {
        for (s4 i = static_cast<s4>(from) + step; i > 0 && static_cast<u4>(i) + 1 < m->bb_count; i += step) {
            const bbattr* b = m->bb_table[i];
            if (!(b->flags & BB_LOOP_MEMBER) || b->loop_index != loop_index)
                return from;
            if (!removed(b))
                return static_cast<u4>(i);
        }
        return from;
    };
    if (body->last_id == block)
        body->last_id = walk(block, -1);
    if (body->first_id == block)
        body->first_id = walk(block, 1);
}

void leave_loop(method_compile_context* m, bbattr* b)
{
    loop_table_record* loop = loop_of(m, b);
    if (loop == nullptr || loop->body == nullptr)
        return;
    loopattribute* body = loop->body;
    move_bound(m, body, b->id, b->loop_index);
    u4 w = 0;
    for (u4 k = 0; k < body->block_count; k++)
        if (body->blocks[k] != b)
            body->blocks[w++] = body->blocks[k];
    body->block_count = w;
}

} // namespace

u4 df_exception_entries(const method_compile_context* m)
{
    if (m->exc_bb_table != nullptr)
        return m->exc_count;
    return m->mb != nullptr && m->mb->exception_table != nullptr ? m->mb->exception_table_length : 0;
}

void DecrementBackward(method_compile_context* m, u4 pred, u4 block)
{
    if (block >= m->bb_count)
        return;
    bbattr* b = m->bb_table[block];
    if (b->pred_count == 0 || removed(b))
        return;
    b->pred_count--;
    if (b->flags & BB_LOOP_MEMBER)
        update_loops_for_lost_entry(m, pred, block);
    if (!removed(b) && b->pred_count == 0) {
        DecrementAllForward(m, block);
        remove_unreachable_bb(m, block);
    }
}

void DecrementAllForward(method_compile_context* m, u4 block)
{
    bbattr* b = m->bb_table[block];
    u4 exit_id = m->bb_count - 1;
    // The list may shrink under a cascade; walk a copy of the count.
    u4 n = b->succ_count;
    for (u4 k = 0; k < n && k < b->succ_count; k++) {
        u4 s = b->succ[k];
        if (s >= m->bb_count)
            continue;
        if (s != exit_id) {
            DecrementBackward(m, block, s);
        } else {
            bbattr* exit = m->bb_table[exit_id];
            u4 before = exit->pred_count;
            exit->pred_count = drop_entry(exit->succ, before, block);
        }
    }
}

void remove_unreachable_bb(method_compile_context* m, u4 block)
{
    bbattr* b = m->bb_table[block];
    if (removed(b))
        return;
    m->total_quad_count -= b->quad_count;
    if (b->flags & BB_HANDLER)
        remove_handler(m, block);
    if (b->flags & (BB_LOOP_MEMBER | BB_LOOP_INVALID))
        leave_loop(m, b);
    b->pred_count = 0;
    b->succ_count = 0;
    b->quad_count = 0;
    b->flags |= BB_DEAD;
}

void update_loops_for_lost_entry(method_compile_context* m, u4 pred, u4 block)
{
    bbattr* b = m->bb_table[block];
    loop_table_record* loop = loop_of(m, b);
    if (loop == nullptr || loop->body == nullptr || (loop->flags & LOOP_INVALID))
        return;
    loopattribute* body = loop->body;
    if (body->entry_id != block)
        return;
    auto inside = [&](u4 x) { return x >= body->first_id && x <= body->last_id; };
    // Forget the lost edge, then count what enters from outside and what
    // comes back from inside.
    loop_link** link = body->pre_entry != nullptr ? &body->pre_entry : &body->entering;
    bool was_outside = !inside(pred);
    for (loop_link** l = link; *l != nullptr; l = &(*l)->next)
        if ((*l)->value == pred) {
            *l = (*l)->next;
            break;
        }
    u4 outside_left = 0;
    for (loop_link* l = *link; l != nullptr; l = l->next)
        if (!inside(l->value))
            outside_left++;
    u4 back_left = 0;
    for (u4 k = 0; k < body->block_count; k++) {
        bbattr* member = body->blocks[k];
        if (removed(member))
            continue;
        for (u4 s = 0; s < member->succ_count; s++)
            if (member->succ[s] == block && member->id != pred)
                back_left++;
    }
    if (was_outside && outside_left == 0 && b->pred_count <= back_left) {
        // Nothing enters the loop any more: its blocks go with it.
        for (u4 k = body->block_count; k-- > 0;) {
            bbattr* member = body->blocks[k];
            if (removed(member))
                continue;
            member->flags &= ~(BB_LOOP_MEMBER | BB_LOOP_INVALID);
            DecrementAllForward(m, member->id);
            remove_unreachable_bb(m, member->id);
        }
        invalidate_a_loop(loop);
    } else if (!was_outside && back_left == 0) {
        // No back edge left: the nest is a loop no more and is kept only as
        // a collapsed region, which every pass treats as straight-line code.
        invalidate_a_loop(loop);
    }
}

void ClearRarePath(method_compile_context* m, u4 block)
{
    if (block >= m->bb_count)
        return;
    bbattr* b = m->bb_table[block];
    if (!(b->flags2 & BB2_RARE))
        return;
    b->flags2 &= ~BB2_RARE;
    if (block == m->bb_count - 1)
        return;
    for (u4 k = 0; k < b->succ_count; k++)
        ClearRarePath(m, b->succ[k]);
}

namespace {

void make_bytecode_nop(method_compile_context* m, u4 block, u4 index)
{
    if (block >= m->bb_count || index >= m->bb_table[block]->quad_count)
        return;
    quad_make_nop(m->bb_table[block]->catbl[index], false);
}

} // namespace

void Delete_Load(method_compile_context* m, u4 block, u4 index, int make_nop)
{
    if (make_nop)
        make_bytecode_nop(m, block, index);
}

void Delete_IINC(method_compile_context* m, u4 block, u4 index, int make_nop)
{
    if (make_nop)
        make_bytecode_nop(m, block, index);
}
