// The depth-first block order (DFS list) and the block lists of the
// subroutines, built by the classic builder; unreached blocks are flagged
// unreachable and taken out of the loop tables.
//
// The list starts with block 0 and ends with the terminal block.  A search
// fills the list from its end (reverse post-order) with an explicit frame
// stack; at each block the successor rule of `dfs_choose_next_successor`
// explores the successors that leave a loop or lead straight to the exit
// first, so that they land after the main path.  Order of the searches: the
// transfer entry block of an interpreter-to-compiled transfer compile, block
// 0's first successor, then every exception handler not yet reached (those
// blocks get flag 0x10000).  Each subroutine (block 0's negated entries) is
// then searched from the same snapshot of what the main searches reached; its
// blocks form the subroutine's block list and stay out of the DFS list.
//
// Requires: the block table with successor lists and predecessor counts,
// block 0's entry list (block 1, handlers, negated subroutine entries), the
// DFS array of block capacity.  Work storage from the second work pool.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "loop/loop.h"

namespace {

bool test_bit(const u4* set, u4 b) { return (set[b >> 5] >> (b & 31)) & 1; }
void set_bit(u4* set, u4 b) { set[b >> 5] |= 1u << (b & 31); }
void clear_bit(u4* set, u4 b) { set[b >> 5] &= ~(1u << (b & 31)); }
u4 set_bytes(u4 n) { return ((n + 63) / 64) * 8; }

// The block of the interpreter-to-compiled transfer entry (front-end words),
// or -1 when the compile is not a transfer compile or names no block.
s4 transfer_entry_block(const method_compile_context* m)
{
    if (!(m->state_flags & MCC_MMI2JIT))
        return -1;
    u4 b = m->frontend_words[TR_ENTRY];
    return b > 0 && b + 1 < m->bb_count ? static_cast<s4>(b) : -1;
}

// The block a transfer entry block jumps to.
s4 transfer_target_block(const method_compile_context* m)
{
    s4 e = transfer_entry_block(m);
    if (e < 0)
        return -1;
    const bbattr* b = m->bb_table[e];
    return b->succ_count > 0 ? static_cast<s4>(b->succ[0]) : -1;
}

// The compile's own count: a handler that became unreachable leaves block 0's
// list and the compile's tables, never the method block's.
u4 exception_entries(const method_compile_context* m) { return df_exception_entries(m); }

struct dfs_frame {
    u4 block;
    u4 position;    // position of the successor taken last
    u4 phase;
};

} // namespace

int dfs_choose_next_successor(method_compile_context* m, u4 block, const u4* visited, u4* position, u4* phase)
{
    const bbattr* b = m->bb_table[block];
    u4 n = m->bb_count;
    u4 terminal = n - 1;
    bool in_loop = (b->flags & BB_KIND_MASK) == BB_KIND_LOOP;
    auto candidate = [&](u4 i) -> s4 {
        u4 s = b->succ[i];
        if (s == 0 || s >= n || test_bit(visited, s))
            return -1;
        return static_cast<s4>(s);
    };
    // Phase 1: from the end of the list, a successor that leaves the block's
    // loop, or one that leads straight to the exit (position 0 only when the
    // block carries the branch-sense flag).
    for (u4 i = b->succ_count; i-- > 0;) {
        s4 s = candidate(i);
        if (s < 0)
            continue;
        const bbattr* sb = m->bb_table[s];
        if (in_loop && (!(sb->flags & BB_LOOP_MEMBER) || sb->loop_index != b->loop_index)) {
            *position = i;
            *phase = 1;
            return s;
        }
        bool take = (b->flags & BB_DFS_RULE) ? i == 0 : (sb->succ_count > 0 && sb->succ[0] == terminal);
        if (take) {
            *position = i;
            *phase = 1;
            return s;
        }
    }
    // Phase 2: the last unvisited successor in list order.
    for (u4 i = b->succ_count; i-- > 0;) {
        s4 s = candidate(i);
        if (s >= 0) {
            *position = i;
            *phase = 2;
            return s;
        }
    }
    return 0;
}

int dfs_search(method_compile_context* m, u4 start, u4* visited, u4* next_free, u4* frames)
{
    u4 terminal = m->bb_count - 1;
    auto* stack = reinterpret_cast<dfs_frame*>(frames);
    u4 sp = 0;
    set_bit(visited, start);
    m->bb_table[start]->flags &= ~BB_DEAD;
    stack[sp++] = {start, 0, 0};
    while (sp > 0) {
        dfs_frame& f = stack[sp - 1];
        u4 position = 0, phase = 0;
        s4 s = f.block == terminal ? 0 : dfs_choose_next_successor(m, f.block, visited, &position, &phase);
        if (s > 0) {
            f.position = position;
            f.phase = phase;
            set_bit(visited, static_cast<u4>(s));
            m->bb_table[s]->flags &= ~BB_DEAD;
            stack[sp++] = {static_cast<u4>(s), 0, 0};
            continue;
        }
        --*next_free;
        m->dfs_array[*next_free] = f.block;
        sp--;
    }
    return 1;
}

namespace {

// Step 7: blocks neither reached nor already unreachable become unreachable;
// their successors lose a predecessor, and a successor left with none is
// treated as unreached too (in this sweep when it comes later, else in the
// next one).
void sweep_unreachable(method_compile_context* m, u4* visited)
{
    u4 n = m->bb_count;
    u4 terminal = n - 1;
    bbattr* exit = m->bb_table[terminal];
    for (bool again = true; again;) {
        again = false;
        for (u4 i = 1; i + 1 < n; i++) {
            bbattr* b = m->bb_table[i];
            if ((b->flags & BB_DEAD) || test_bit(visited, i))
                continue;
            b->flags |= BB_DEAD;
            m->total_quad_count -= b->quad_count;
            if ((b->flags & BB_LOOP_MEMBER) && b->loop_index >= 0 && static_cast<u4>(b->loop_index) < m->loop_count) {
                s4 id = b->loop_index;
                loop_table_record* loop = mcc_loop(m, static_cast<u4>(id));
                delete_bb_from_loop_bb_table(loop, b);
                if (loop->body != nullptr && loop->body->block_count == 0)
                    delete_loop_from_loop_table(m, &id);
                else if (!(b->flags & BB_LOOP_INVALID) && (b->flags & BB_LOOP_EXIT_MARKS))
                    delete_bb_from_loop_exit_table(loop, b);
            }
            for (u4 k = 0; k < b->succ_count; k++) {
                u4 s = b->succ[k];
                if (s >= n)
                    continue;
                if (s != terminal) {
                    bbattr* sb = m->bb_table[s];
                    if (sb->pred_count > 0)
                        sb->pred_count--;
                    if (sb->pred_count == 0 && test_bit(visited, s)) {
                        clear_bit(visited, s);
                        if (s < i)
                            again = true;
                    }
                } else {
                    // The block's further link word would keep it listed;
                    // no block record carries one, so it reads as 0.
                    for (u4 p = 0; p < exit->pred_count; p++) {
                        if (exit->succ[p] != i)
                            continue;
                        exit->succ[p] = exit->succ[exit->pred_count - 1];
                        exit->pred_count--;
                        break;
                    }
                }
            }
            b->succ_count = 0;
        }
    }
}

// Step 6: the block lists of the subroutines.  0 when the scratch list cannot
// be had or a transfer compile's target block lies in a subroutine.
int build_subroutine_lists(method_compile_context* m, u4* visited, u4* frames, u4 e)
{
    u4 n = m->bb_count;
    u4 bytes = set_bytes(n);
    auto* snapshot = static_cast<u4*>(jit_wmem_alloc(m->pool2, bytes));
    auto* region = static_cast<u4*>(jit_wmem_alloc(m->pool2, bytes));
    auto* scratch = static_cast<u4*>(jit_wmem_alloc(m->pool2, n * 4));
    if (snapshot == nullptr || region == nullptr || scratch == nullptr)
        return 0;
    memcpy(snapshot, visited, bytes);
    u4* saved = m->dfs_array;
    m->dfs_array = scratch;
    auto* subs = static_cast<subroutine_info*>(m->subroutine_table);
    const bbattr* entry = m->bb_table[0];
    s4 target = transfer_target_block(m);
    int result = 1;
    for (u4 r = 0; r < m->subroutine_count; r++) {
        subroutine_info& s = subs[r];
        u4 next_free = n - 1;
        memcpy(region, snapshot, bytes);
        u4 pos = 1 + e + r;
        s4 h = pos < entry->succ_count ? -static_cast<s4>(entry->succ[pos]) : 0;
        if (h <= 0 || static_cast<u4>(h) + 1 >= n) {
            s.block_count = 0;
            continue;
        }
        if (test_bit(snapshot, static_cast<u4>(h))) {
            s.flags |= SUBR_MAIN_FLOW;
            scratch[--next_free] = static_cast<u4>(h);
        } else {
            dfs_search(m, static_cast<u4>(h), region, &next_free, frames);
        }
        u4 c = n - 1 - next_free;
        if (s.block_count < c)
            s.blocks = static_cast<u4*>(jit_wmem_alloc(m->pool1, c * 4));
        memcpy(s.blocks, scratch + next_free, c * 4);
        s.block_count = c;
        if (target >= 0)
            for (u4 k = 0; k < c; k++)
                if (scratch[next_free + k] == static_cast<u4>(target))
                    result = 0;
        if (result == 0)
            break;
        if (s.flags & SUBR_MAIN_FLOW)
            s.block_count = 0;
        for (u4 w = 0; w < bytes / 4; w++)
            visited[w] |= region[w];
    }
    m->dfs_array = saved;
    return result;
}

} // namespace

int generate_dfs_list_traditional(method_compile_context* m)
{
    u4 n = m->bb_count;
    if (n < 2 || m->dfs_array == nullptr)
        return 0;
    u4 terminal = n - 1;
    u4 bytes = set_bytes(n);
    auto* visited = static_cast<u4*>(jit_wmem_alloc(m->pool2, bytes));
    auto* frames = static_cast<u4*>(jit_wmem_alloc(m->pool2, n * sizeof(dfs_frame)));
    if (visited == nullptr || frames == nullptr)
        return 0;
    memset(visited, 0, bytes);
    set_bit(visited, terminal);
    u4* dfs = m->dfs_array;
    dfs[terminal] = terminal;
    u4 next_free = terminal;
    bbattr* entry = m->bb_table[0];

    s4 transfer = transfer_entry_block(m);
    if (transfer > 0 && !test_bit(visited, static_cast<u4>(transfer)))
        dfs_search(m, static_cast<u4>(transfer), visited, &next_free, frames);
    if (entry->succ_count > 0) {
        u4 first = entry->succ[0];
        if (first > 0 && first < terminal && !test_bit(visited, first))
            dfs_search(m, first, visited, &next_free, frames);
    }

    u4 e = exception_entries(m);
    if (e > 0) {
        u4 main_count = terminal - next_free;
        memmove(dfs + 1, dfs + next_free, main_count * 4);
        next_free = terminal;
        for (u4 pos = 1; pos <= e && pos < entry->succ_count; pos++) {
            u4 h = entry->succ[pos];
            if (h == 0 || h >= terminal || test_bit(visited, h))
                continue;
            u4 before = next_free;
            dfs_search(m, h, visited, &next_free, frames);
            for (u4 k = next_free; k < before; k++)
                m->bb_table[dfs[k]]->flags |= BB_FROM_HANDLER;
        }
        memmove(dfs + next_free - main_count, dfs + 1, main_count * 4);
        next_free -= main_count;
    }

    dfs[--next_free] = 0;
    set_bit(visited, 0);
    entry->pred_count = 0;
    m->dfs_count = n - next_free;
    memmove(dfs, dfs + next_free, m->dfs_count * 4);
    m->bb_table[terminal]->succ_count = 0;

    if (m->subroutine_count > 0 && m->subroutine_table != nullptr
        && !build_subroutine_lists(m, visited, frames, e))
        return 0;
    sweep_unreachable(m, visited);
    return 1;
}

int generate_dfs_list(method_compile_context* m)
{
    if (compile_option3_flag & OPT3_NNEWDFS)
        return generate_dfs_list_traditional(m);
    return generate_dfs_list_with_precise_ehandler(m);
}

int regenerate_dfs_list(method_compile_context* m) { return generate_dfs_list(m); }
