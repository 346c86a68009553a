// Exit-path analysis: marks each block of the DFS list when every path from
// it to the method's exit ends in an athrow (flags2 0x1) and when every such
// path passes a block that holds a call (flags2 0x2, from liveness's
// holds-a-call mark).  A backward must-analysis with its own small
// iteration over items 0 and 1 of the solver's bit numbering; the register
// search of the code generator reads the two marks.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"

namespace {

constexpr u8 ITEM_THROW = u8{1} << 63;    // item 0: the path ends in an athrow
constexpr u8 ITEM_CALL = u8{1} << 62;     // item 1: the path passes a call

struct exit_sets {
    u8 own;
    u8 result;
    u8 meet;
};

} // namespace

int dataflow_athrow(method_compile_context* m, dataflow_pass_context*)
{
    u4 n = m->bb_count;
    if (n == 0 || m->dfs_count == 0)
        return 0;
    auto* s = static_cast<exit_sets*>(jit_wmem_alloc(m->pool2, n * sizeof(exit_sets)));
    if (s == nullptr)
        return 1;
    for (u4 b = 0; b < n; b++)
        s[b] = {0, ~u8{0}, 0};
    bbattr* exit = m->bb_table[n - 1];
    for (u4 k = 0; k < exit->pred_count; k++) {
        u4 p = exit->succ[k];
        if (p >= n)
            continue;
        bbattr* b = m->bb_table[p];
        if (b->quad_count > 0 && b->catbl[b->quad_count - 1]->opcode == OPC_ATHROW)
            s[p].own |= ITEM_THROW;
    }
    for (u4 i = 0; i < m->dfs_count; i++)
        if (m->bb_table[m->dfs_array[i]]->flags2 & BB2_HOLDS_CALL)
            s[m->dfs_array[i]].own |= ITEM_CALL;
    s[n - 1].meet = 0;
    s[n - 1].result = s[n - 1].own;
    for (bool changed = true; changed;) {
        changed = false;
        for (u4 i = m->dfs_count - 1; i >= 1; i--) {
            u4 id = m->dfs_array[i];
            bbattr* b = m->bb_table[id];
            if (id != n - 1 && b->succ_count > 0) {
                u8 meet = ~u8{0};
                for (u4 k = 0; k < b->succ_count; k++)
                    if (b->succ[k] < n)
                        meet &= s[b->succ[k]].result;
                s[id].meet = meet;
            }
            u8 now = s[id].own | s[id].meet;
            if (now != s[id].result) {
                s[id].result = now;
                changed = true;
            }
        }
    }
    for (u4 i = 0; i < m->dfs_count; i++) {
        u4 id = m->dfs_array[i];
        bbattr* b = m->bb_table[id];
        if (s[id].result & ITEM_THROW)
            b->flags2 |= BB2_EXITS_BY_THROW;
        if (s[id].result & ITEM_CALL)
            b->flags2 |= BB2_EXITS_PAST_CALL;
    }
    return 0;
}
