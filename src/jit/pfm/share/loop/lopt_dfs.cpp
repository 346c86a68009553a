// The DFS list with the method's roots in their precise order, chosen by
// `generate_dfs_list` unless NNEWDFS.
//
// The classic builder walks the interpreter-transfer entry of a transfer
// compile first, so the main flow is entered in the middle of whatever loop
// holds the transfer point, and the DFS order no longer reads as a walk from
// the method's first block: a loop's header can come after blocks of its
// body, and the loop detection would see a second entry where there is none.
// Here the roots are walked in this order: the method's first block, every
// exception handler not yet reached (its blocks flagged as reached from a
// handler), and the transfer entry last.  Each walk uses the successor rule
// of the classic walk (loop exits and paths to the exit explored first, so
// they land after the main path), and the list reads, after block 0, the
// first block's walk, then each handler's, then the transfer entry's, then
// the exit block.
//
// Everything that does not depend on the order (which blocks are reached,
// the subroutine block lists, the sweep of unreached blocks, the loop tables
// of swept blocks) is left to the classic builder, which runs first: the set
// of blocks that the roots reach is the same whatever order they are walked
// in.
//
// Requires what the classic builder requires; work storage from the second
// work pool.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "loop/loop.h"

namespace {

void set_bit(u4* set, u4 b) { set[b >> 5] |= 1u << (b & 31); }
bool test_bit(const u4* set, u4 b) { return (set[b >> 5] >> (b & 31)) & 1; }

struct dfs_frame_words {
    u4 block, position, phase;
};

} // namespace

int generate_dfs_list_with_precise_ehandler(method_compile_context* m)
{
    if (generate_dfs_list_traditional(m) != 1)
        return 0;
    u4 n = m->bb_count;
    u4 terminal = n - 1;
    bool transfer = (m->state_flags & MCC_MMI2JIT) != 0;
    u4 handlers = df_exception_entries(m);
    if (!transfer && handlers == 0)
        return 1;               // one root: the classic order is the precise one

    u4 words = (n + 31) / 32;
    auto* visited = static_cast<u4*>(jit_wmem_alloc(m->pool2, words * 4));
    auto* frames = static_cast<u4*>(jit_wmem_alloc(m->pool2, n * sizeof(dfs_frame_words)));
    auto* walk = static_cast<u4*>(jit_wmem_alloc(m->pool2, n * 4));
    auto* order = static_cast<u4*>(jit_wmem_alloc(m->pool2, n * 4));
    if (visited == nullptr || frames == nullptr || walk == nullptr || order == nullptr)
        return 1;               // the classic order stands
    memset(visited, 0, words * 4);
    set_bit(visited, terminal);
    set_bit(visited, 0);
    // Blocks outside the classic list (subroutine bodies, unreached blocks)
    // stay outside this one too.
    auto* listed = static_cast<u1*>(jit_wmem_alloc(m->pool2, n));
    if (listed == nullptr)
        return 1;
    memset(listed, 0, n);
    for (u4 i = 0; i < m->dfs_count; i++)
        if (m->dfs_array[i] < n)
            listed[m->dfs_array[i]] = 1;
    for (u4 b = 0; b < n; b++)
        if (!listed[b])
            set_bit(visited, b);

    const bbattr* entry = m->bb_table[0];
    u4 count = 0;
    order[count++] = 0;
    // Walks one root into `walk` (filled from its end) and appends it.
    auto walk_root = [&](u4 root, bool from_handler) {
        if (root == 0 || root >= terminal || test_bit(visited, root))
            return;
        u4 dead = m->bb_table[root]->flags & BB_DEAD;
        u4 next_free = n;
        u4* saved = m->dfs_array;
        m->dfs_array = walk;
        dfs_search(m, root, visited, &next_free, frames);
        m->dfs_array = saved;
        m->bb_table[root]->flags |= dead;
        for (u4 k = next_free; k < n; k++) {
            if (from_handler)
                m->bb_table[walk[k]]->flags |= BB_FROM_HANDLER;
            order[count++] = walk[k];
        }
    };
    if (entry->succ_count > 0)
        walk_root(bb_succ_block(entry->succ[0]), false);
    for (u4 pos = 1; pos <= handlers && pos < entry->succ_count; pos++)
        if (static_cast<s4>(entry->succ[pos]) > 0)
            walk_root(entry->succ[pos], true);
    if (transfer) {
        u4 t = m->frontend_words[TR_ENTRY];
        if (t > 0 && t < terminal)
            walk_root(t, false);
    }
    // Anything the classic list held that no root reached here keeps its
    // place at the end (the classic builder has roots of its own).
    for (u4 i = 1; i + 1 < m->dfs_count; i++)
        if (!test_bit(visited, m->dfs_array[i])) {
            set_bit(visited, m->dfs_array[i]);
            order[count++] = m->dfs_array[i];
        }
    order[count++] = terminal;
    if (count != m->dfs_count)
        return 1;               // cannot happen; keep the classic order
    memcpy(m->dfs_array, order, count * 4);
    return 1;
}
