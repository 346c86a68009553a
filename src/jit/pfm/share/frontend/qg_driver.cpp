// Quadruple-generation driver: the pipeline step between the bytecode
// optimizations and the quadruple optimizations.
//
// A method that uses its operand stack gets the full pre-allocation: the
// method lvattr table, the parameter marks, the operand-stack simulation of
// every block, the splitting of mixed-class locals, then the stack pass.  A
// method whose max stack is 0 gets no simulation: a one-entry record of the
// receiver's use for a synchronized instance method, the stack pass, and a
// count of its invocations.  Everything lives in the context's work pools.
#include <string.h>

#include "driver/driver.h"
#include "frontend/fe_external.h"
#include "frontend/qgen.h"

namespace {

constexpr u4 SYNC_RECEIVER_ATTR = LVA_ACCESSED | LVA_REF;

bool synchronized_instance(const methodblock* mb)
{
    return (mb->access & (ACC_SYNCHRONIZED | ACC_STATIC)) == ACC_SYNCHRONIZED;
}

} // namespace

bool qgen_string_method(const methodblock* mb)
{
    return mb->clazz != nullptr && mb->clazz->name != nullptr && memcmp(mb->clazz->name, "java/lang/String", 17) == 0;
}

void free_BB_stack_regalloc(method_compile_context* m) {}

void count_BB_invocations(method_compile_context* m, const u4* blocks, u4 n, u1* visited, int string_method)
{
    auto* subs = static_cast<subroutine_info*>(m->subroutine_table);
    for (u4 k = 0; k < n; k++) {
        u4 id = blocks[k];
        if (id >= m->bb_count)
            continue;
        bbattr* b = m->bb_table[id];
        b->invocation_count = 0;
        for (u4 i = 0; i < b->quad_count; i++) {
            quadruple* q = b->catbl[i];
            if (q->opcode >= OPC_ICALL && q->opcode <= OPC_CALL_MARK) {
                m->invocation_count++;
                b->invocation_count++;
                u4 kind = quad_kind_nibble(q);
                if (kind == 10 || kind == 11)
                    m->float_invocation_count++;
            } else if (q->opcode == OPC_IALOAD || q->opcode == OPC_IASTORE) {
                if (quad_kind_nibble(q) == 5 && string_method)
                    quad_or_word0(q, QW_NO_BOUNDCHECK);
            } else if (q->opcode == OPC_JSR && subs != nullptr && q->op < m->subroutine_count) {
                subroutine_info* s = &subs[q->op];
                if ((s->flags & SUBR_NO_SIMULATE) || visited == nullptr || visited[q->op])
                    continue;
                visited[q->op] = 1;
                count_BB_invocations(m, s->blocks, s->block_count, visited, string_method);
            }
        }
    }
}

int count_method_invocations(method_compile_context* m, int string_method)
{
    u1* visited = nullptr;
    if (m->subroutine_count != 0) {
        visited = static_cast<u1*>(jit_wmem_alloc(m->pool1, m->subroutine_count));
        if (visited == nullptr)
            return 1;
        memset(visited, 0, m->subroutine_count);
    }
    m->invocation_count = 0;
    m->float_invocation_count = 0;
    count_BB_invocations(m, m->dfs_array, m->dfs_count, visited, string_method);
    return 0;
}

int BB_stack_regalloc(method_compile_context* m)
{
    m->invocation_count = 0;
    m->float_invocation_count = 0;
    m->qgen_pass_words[0] = 0;
    m->qgen_pass_words[1] = 0;
    int string_method = qgen_string_method(m->mb) ? 1 : 0;
    if (m->local_count == 0)
        m->local_count = 1;
    u4 n = m->local_count;
    bbattr* entry = m->bb_table[0];
    if (m->max_stack != 0) {
        u4 bytes = n * 2 * sizeof(lvattr_entry);
        auto* table = static_cast<lvattr_entry*>(jit_wmem_alloc(m->pool1, bytes));
        if (table == nullptr)
            return 1;
        memset(table, 0, bytes);
        mark_parameter_locals(m, table);
        if (BB_stack_regalloc_walk(m, m->bb_count, m->dfs_count, m->dfs_array, m->bb_table, table) == 1)
            return 1;
        if (method_regalloc(m) == 1)
            return 1;
        return dup2copy(m) == 1 ? 1 : 0;
    }
    lvattr_entry* table = nullptr;
    if (synchronized_instance(m->mb)) {
        table = static_cast<lvattr_entry*>(jit_wmem_alloc(m->pool1, n * sizeof(lvattr_entry)));
        if (table != nullptr) {
            memset(table, 0, n * sizeof(lvattr_entry));
            table[0].count++;
            table[0].attr |= SYNC_RECEIVER_ATTR;
        }
    }
    entry->var_table = table;
    entry->cand_table = nullptr;
    if (dup2copy(m) == 1)
        return 1;
    return count_method_invocations(m, string_method) == 1 ? 1 : 0;
}
