// Flow-graph and loop-table utilities shared by the optimizer drivers, the
// front end, the inliner and the loop optimizer: growing the block, loop,
// subroutine and entry tables; moving the terminal block; keeping the loop
// tables consistent when blocks are deleted or found unreachable; deleting
// NOP quadruples; recomputing the method's local count and maximum stack.
//
// All new storage comes from the method's first work pool; old arrays are
// copied, never freed.  The loop table holds `loop_table_record` pointers; a
// nest's levels are indexed by a block's level (bbattr.loop_depth), level 0
// innermost, the main attribute (`body`) being the outermost level.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"

namespace {

template <typename T> T* pool_array(method_compile_context* m, u4 count)
{
    return count != 0 ? static_cast<T*>(jit_wmem_alloc(m->pool1, count * sizeof(T))) : nullptr;
}

bool is_nop(const quadruple* q) { return q->opcode == OPC_OTHER && (q->subcode & QS_KIND_MASK) == OTHER_NOP_DELETED; }

// The level record of a nest at level k (the body record for a collapsed
// region or a nest without a level array).
loopattribute* level_record(loop_table_record* loop, s4 k)
{
    if (loop->levels == nullptr || (loop->flags & LOOP_INVALID))
        return loop->body;
    if (k < 0 || k >= loop->depth)
        return nullptr;
    return loop->levels[k];
}

// Removes entry i of an array of n entries by moving the last one into it.
template <typename T> void remove_at(T* array, u4& n, u4 i)
{
    array[i] = array[n - 1];
    n--;
}

void remove_dead_blocks(loopattribute* rec, bool flag_removed)
{
    if (rec == nullptr)
        return;
    for (u4 i = 0; i < rec->block_count;) {
        bbattr* b = rec->blocks[i];
        if (b != nullptr && (b->flags & BB_DEAD)) {
            if (flag_removed)
                b->flags |= BB_LOOP_REMOVED;
            remove_at(rec->blocks, rec->block_count, i);
        } else {
            i++;
        }
    }
}

void remove_dead_exits(method_compile_context* m, loopattribute* rec)
{
    if (rec == nullptr || rec->exits == nullptr)
        return;
    u4 n = rec->exit_count > 0 ? static_cast<u4>(rec->exit_count) : 0;
    for (u4 i = 0; i < n;) {
        u4 id = rec->exits[i];
        if (id < m->bb_count && (m->bb_table[id]->flags & BB_DEAD))
            remove_at(rec->exits, n, i);
        else
            i++;
    }
    rec->exit_count = static_cast<int16_t>(n);
}

// Applies fn to every level record from the header's level up to the nest's
// depth, while the record's header is the header block.
template <typename F> void for_header_levels(loop_table_record* loop, bbattr* header, F fn)
{
    s4 top = (loop->flags & LOOP_INVALID) || loop->levels == nullptr ? 1 : loop->depth;
    for (s4 k = header->loop_depth; k < top; k++) {
        loopattribute* rec = level_record(loop, k);
        if (rec == nullptr || rec->entry_id != header->id)
            break;
        fn(rec);
    }
}

} // namespace

void relink_terminal_link(method_compile_context* m, bbattr* terminal, u4 index)
{
    m->bb_table[index] = terminal;
    terminal->id = index;
    for (u4 i = 0; i < terminal->pred_count; i++) {
        u4 p = terminal->succ[i];
        if (p < m->bb_count && m->bb_table[p] != nullptr && m->bb_table[p]->succ_count > 0)
            m->bb_table[p]->succ[0] = index;
    }
}

void relink_loop_pre_entry_links(loop_table_record* loop, bbattr* header, u4 new_value, u4 old_value)
{
    for_header_levels(loop, header, [&](loopattribute* rec) {
        for (loop_link* l = rec->pre_entry; l != nullptr; l = l->next)
            if (l->value == old_value) {
                l->value = new_value;
                break;
            }
    });
}

int add_a_loop_pre_entry_link(method_compile_context* m, loop_table_record* loop, bbattr* header, u4 value)
{
    int ok = 1;
    for_header_levels(loop, header, [&](loopattribute* rec) {
        auto* l = static_cast<loop_link*>(jit_wmem_alloc(m->pool1, sizeof(loop_link)));
        if (l == nullptr) {
            ok = 0;
            return;
        }
        l->value = value;
        l->next = rec->pre_entry;
        rec->pre_entry = l;
    });
    return ok;
}

void delete_a_loop_pre_entry_link(loop_table_record* loop, bbattr* header, u4 value)
{
    for_header_levels(loop, header, [&](loopattribute* rec) {
        for (loop_link** l = &rec->pre_entry; *l != nullptr; l = &(*l)->next)
            if ((*l)->value == value) {
                *l = (*l)->next;
                break;
            }
    });
}

void detect_loops_within_rare_path(method_compile_context* m)
{
    for (u4 i = 0; i < m->loop_count; i++) {
        loop_table_record* loop = mcc_loop(m, i);
        if (loop == nullptr || loop->body == nullptr)
            continue;
        u4 key = (loop->flags & LOOP_INVALID) ? loop->body->last_id : loop->body->entry_id;
        if (key < m->bb_count && (m->bb_table[key]->flags2 & BB2_RARE))
            loop->flags |= LOOP_RARE_PATH;
    }
}

s4 search_outer_invalid_loop_id(method_compile_context* m, u4 block)
{
    if (block >= m->bb_count)
        return 0;
    const bbattr* b = m->bb_table[block];
    if ((b->flags & BB_KIND_MASK) != BB_KIND_LOOP || b->loop_index < 0
        || static_cast<u4>(b->loop_index) >= m->loop_count)
        return 0;
    return mcc_loop(m, static_cast<u4>(b->loop_index))->outer_invalid_id;
}

void table_expansion(method_compile_context* m, u4 extra_blocks, u4 extra_entry_successors, u4 extra_loops,
                     u4 extra_terminal_links, u4 extra_subroutines, int grow_loop_bodies, int* out_flag)
{
    // Blocks, and a DFS array of the same capacity.
    if (m->bb_count + extra_blocks > m->bb_capacity) {
        u4 capacity = m->bb_count + extra_blocks;
        auto* table = pool_array<bbattr*>(m, capacity);
        memset(table, 0, capacity * sizeof(bbattr*));
        memcpy(table, m->bb_table, m->bb_count * sizeof(bbattr*));
        auto* dfs = pool_array<u4>(m, capacity);
        memset(dfs, 0, capacity * sizeof(u4));
        if (m->dfs_array != nullptr && m->dfs_count <= capacity)
            memcpy(dfs, m->dfs_array, m->dfs_count * sizeof(u4));
        m->bb_table = table;
        m->dfs_array = dfs;
        m->bb_capacity = capacity;
        if (out_flag != nullptr)
            *out_flag = 1;
    }
    // Room for more predecessors in the terminal block's list.
    if (extra_terminal_links > 0 && m->bb_count > 0) {
        bbattr* t = m->bb_table[m->bb_count - 1];
        auto* list = pool_array<u4>(m, t->pred_count + extra_terminal_links);
        if (t->pred_count > 0)
            memcpy(list, t->succ, t->pred_count * sizeof(u4));
        t->succ = list;
    }
    // Loop bodies that a transformation will grow.
    if (grow_loop_bodies) {
        for (u4 i = 0; i < m->loop_count; i++) {
            loop_table_record* loop = mcc_loop(m, i);
            if (loop == nullptr || loop->pending_blocks <= 0)
                continue;
            u4 extra = static_cast<u4>(loop->pending_blocks);
            auto grow = [&](loopattribute* rec) {
                if (rec == nullptr)
                    return;
                auto* blocks = pool_array<bbattr*>(m, rec->block_count + extra);
                if (rec->block_count > 0)
                    memcpy(blocks, rec->blocks, rec->block_count * sizeof(bbattr*));
                rec->blocks = blocks;
                rec->capacity = rec->block_count + extra;
            };
            grow(loop->body);
            if (loop->depth > 1 && loop->levels != nullptr)
                for (s4 k = 0; k < loop->depth - 1; k++)
                    if (loop->levels[k] != loop->body)
                        grow(loop->levels[k]);
        }
    }
    // Fresh loop records after the last loop (the count is not raised).
    if (extra_loops > 0) {
        u4 capacity = mcc_loop_capacity(m);
        if (m->loop_count + extra_loops > capacity) {
            u4 grown = m->loop_count + extra_loops;
            auto* table = pool_array<void*>(m, grown);
            memset(table, 0, grown * sizeof(void*));
            if (m->loop_count > 0)
                memcpy(table, m->loop_table, m->loop_count * sizeof(void*));
            m->loop_table = table;
            mcc_loop_capacity(m) = grown;
        }
        for (u4 k = 0; k < extra_loops; k++) {
            auto* loop = static_cast<loop_table_record*>(jit_wmem_alloc(m->pool1, sizeof(loop_table_record)));
            memset(loop, 0, sizeof *loop);
            loop->id = m->loop_count + k;
            loop->flags = LOOP_FRESH;
            m->loop_table[m->loop_count + k] = loop;
        }
    }
    // Subroutine records: copies keep their block lists; the flag fields of
    // the copies start clear.
    if (m->subroutine_count + extra_subroutines > mcc_subroutine_capacity(m)) {
        u4 capacity = m->subroutine_count + extra_subroutines;
        auto* table = pool_array<subroutine_info>(m, capacity);
        memset(table, 0, capacity * sizeof(subroutine_info));
        const auto* old = static_cast<const subroutine_info*>(m->subroutine_table);
        for (u4 r = 0; old != nullptr && r < m->subroutine_count; r++) {
            table[r].block_count = old[r].block_count;
            table[r].blocks = old[r].blocks;
        }
        m->subroutine_table = table;
        mcc_set_subroutine_capacity(m, capacity);
    }
    // Room in block 0's successor list.
    if (extra_subroutines + extra_entry_successors >= 1 && m->bb_count > 0) {
        bbattr* entry = m->bb_table[0];
        auto* list = pool_array<u4>(m, entry->succ_count + extra_subroutines + extra_entry_successors);
        if (entry->succ_count > 0)
            memcpy(list, entry->succ, entry->succ_count * sizeof(u4));
        entry->succ = list;
    }
}

void invalidate_a_loop(loop_table_record* loop)
{
    loop->flags |= LOOP_INVALID;
    loop->state = 1;
    loop->depth = 1;
    remove_dead_blocks(loop->body, false);
    if (loop->body != nullptr)
        for (u4 i = 0; i < loop->body->block_count; i++)
            loop->body->blocks[i]->flags |= BB_LOOP_INVALID;
    loop->levels = nullptr;
}

// Bubble sort by each nest's lowest block number (ties keep their order),
// then every nest takes its table index as its id and its blocks' loop index.
// The blocks keep their levels: the level records still index by them.
void sort_and_renumber_loops(method_compile_context* m)
{
    u4 n = m->loop_count;
    auto first_of = [&](u4 i) { return mcc_loop(m, i)->body != nullptr ? mcc_loop(m, i)->body->first_id : 0u; };
    for (bool swapped = true; swapped;) {
        swapped = false;
        for (u4 i = 0; i + 1 < n; i++) {
            if (first_of(i) > first_of(i + 1)) {
                void* t = m->loop_table[i];
                m->loop_table[i] = m->loop_table[i + 1];
                m->loop_table[i + 1] = t;
                swapped = true;
            }
        }
    }
    for (u4 i = 0; i < n; i++) {
        loop_table_record* loop = mcc_loop(m, i);
        loop->id = i;
        loopattribute* body = loop->body;
        if (body == nullptr)
            continue;
        bool invalid = (loop->flags & LOOP_INVALID) != 0;
        for (u4 k = 0; k < body->block_count; k++) {
            bbattr* b = body->blocks[k];
            b->loop_index = static_cast<int16_t>(i);
            if (invalid)
                b->flags |= BB_LOOP_MEMBER | BB_LOOP_INVALID;
        }
    }
}

void update_maxstack_and_nlocals(method_compile_context* m, void*)
{
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        const bbattr* b = m->bb_table[i];
        s4 locals = bb_local_base(b) + static_cast<int16_t>(b->local_count);
        if (locals > static_cast<s4>(m->local_count))
            m->local_count = static_cast<u2>(locals);
        s4 stack = bb_stack_base(b) + static_cast<int16_t>(b->stack_word);
        if (stack > static_cast<s4>(m->max_stack))
            m->max_stack = static_cast<u2>(stack);
    }
}

void update_loop_body_extremes(loopattribute* body, bbattr* block)
{
    if (body->block_count == 0)
        return;
    bbattr* first = body->blocks[0];
    bbattr* last = body->blocks[0];
    for (u4 i = 1; i < body->block_count; i++) {
        if (body->blocks[i]->id < first->id)
            first = body->blocks[i];
        if (body->blocks[i]->id > last->id)
            last = body->blocks[i];
    }
    body->first_id = first->id;
    body->last_id = last->id;
    first->flags |= block->flags & BB_LOOP_FIRST;
    last->flags |= block->flags & BB_LOOP_LAST;
}

void update_loop_entry_block(loopattribute* body, bbattr* block)
{
    if (body->entry_id != block->id || body->entry_successor == nullptr)
        return;
    body->entry_id = body->entry_successor->id;
    body->entry_successor->flags |= block->flags & BB_LOOP_ENTRY_MARKS;
}

void remove_bb_from_loop_body(loopattribute* body, bbattr* block)
{
    if (body == nullptr)
        return;
    for (u4 i = 0; i < body->block_count; i++) {
        if (body->blocks[i] != block)
            continue;
        remove_at(body->blocks, body->block_count, i);
        if (block->id == body->first_id || block->id == body->last_id)
            update_loop_body_extremes(body, block);
        if (block->id == body->entry_id)
            update_loop_entry_block(body, block);
        return;
    }
}

void delete_bb_from_loop_bb_table(loop_table_record* loop, bbattr* block)
{
    if ((loop->flags & LOOP_INVALID) || loop->levels == nullptr) {
        remove_bb_from_loop_body(loop->body, block);
        return;
    }
    for (s4 k = block->loop_depth; k < loop->depth; k++)
        remove_bb_from_loop_body(loop->levels[k], block);
}

void delete_loop_from_loop_table(method_compile_context* m, s4* loop_id)
{
    if (m->loop_count == 0 || *loop_id < 0 || static_cast<u4>(*loop_id) >= m->loop_count)
        return;
    u4 i = static_cast<u4>(*loop_id);
    u4 last = m->loop_count - 1;
    if (i != last) {
        m->loop_table[i] = m->loop_table[last];
        loop_table_record* moved = mcc_loop(m, i);
        moved->id = i;
        if (moved->body != nullptr)
            for (u4 k = 0; k < moved->body->block_count; k++)
                moved->body->blocks[k]->loop_index = static_cast<int16_t>(i);
    }
    m->loop_table[last] = nullptr;
    m->loop_count = last;
}

void delete_bb_from_loop_exit_table(loop_table_record* loop, bbattr* block)
{
    loopattribute* body = loop->body;
    if (body == nullptr || body->exits == nullptr)
        return;
    u4 n = body->exit_count > 0 ? static_cast<u4>(body->exit_count) : 0;
    for (u4 i = 0; i < n;) {
        if (body->exits[i] == block->id)
            remove_at(body->exits, n, i);
        else
            i++;
    }
    body->exit_count = static_cast<int16_t>(n);
}

int eliminate_unreachable_bb_from_loop_table(method_compile_context* m)
{
    u4 words = (m->loop_count + 31) / 32;
    u4 on_stack[8];
    u4* treated = on_stack;
    if (m->loop_count >= 256) {
        treated = static_cast<u4*>(jit_wmem_alloc(m->pool2, words * 4));
        if (treated == nullptr)
            return 0;
    }
    memset(treated, 0, words * 4);
    for (u4 i = 0; i < m->bb_count; i++) {
        const bbattr* b = m->bb_table[i];
        if ((b->flags & (BB_DEAD | BB_LOOP_MEMBER | BB_LOOP_REMOVED)) != (BB_DEAD | BB_LOOP_MEMBER))
            continue;
        if (b->loop_index < 0 || static_cast<u4>(b->loop_index) >= m->loop_count)
            continue;
        u4 l = static_cast<u4>(b->loop_index);
        if (treated[l / 32] & (1u << (l % 32)))
            continue;
        treated[l / 32] |= 1u << (l % 32);
        loop_table_record* loop = mcc_loop(m, l);
        if ((loop->flags & LOOP_INVALID) || loop->levels == nullptr) {
            remove_dead_blocks(loop->body, true);
            remove_dead_exits(m, loop->body);
            continue;
        }
        for (s4 k = 0; k < loop->depth; k++) {
            remove_dead_blocks(loop->levels[k], true);
            remove_dead_exits(m, loop->levels[k]);
        }
        if (loop->body != nullptr && (loop->depth <= 0 || loop->body != loop->levels[loop->depth - 1])) {
            remove_dead_blocks(loop->body, true);
            remove_dead_exits(m, loop->body);
        }
    }
    return 1;
}

// Squeezes the NOP quadruples (opcode 0, kind 5) out of every live block.
// The survivors are copied into the block's leading records, so the pointer
// array stays where it is; a block keeps at least one quadruple.  The records
// freed at the end go onto the context's free list.
void remove_nop(method_compile_context* m)
{
    for (u4 i = 0; i < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if (b == nullptr || b->quad_count == 0 || (b->flags & BB_DEAD))
            continue;
        u4 kept = 0;
        for (u4 k = 0; k < b->quad_count; k++) {
            if (is_nop(b->catbl[k]))
                continue;
            if (kept != k)
                *b->catbl[kept] = *b->catbl[k];
            kept++;
        }
        if (kept == 0)
            kept = 1;
        if (kept == b->quad_count)
            continue;
        for (u4 k = kept; k < b->quad_count; k++) {
            quadruple* q = b->catbl[k];
            quadruple* head = mcc_quad_free_list(m);
            memcpy(q, &head, sizeof head);
            mcc_set_quad_free_list(m, q);
        }
        m->total_quad_count -= b->quad_count - kept;
        b->quad_count = kept;
    }
}
