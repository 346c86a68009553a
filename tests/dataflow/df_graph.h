// Hand-made block graphs for the dataflow tests: a compile context with its
// two work pools, a block table whose blocks carry the given successor lists
// (block 0's list may hold handler blocks and negated subroutine entries),
// predecessor counts computed from them, and the exit block's list of the
// blocks that reach it.  Runs on a Java thread (the work pools need one).
#ifndef ORVA_TESTS_DATAFLOW_DF_GRAPH_H
#define ORVA_TESTS_DATAFLOW_DF_GRAPH_H

#include <string.h>

#include <vector>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "loop/loop.h"

namespace dftest {

struct graph {
    method_compile_context m;
    methodblock mb;
    classblock cb;

    // succ[b] for blocks 0 .. n-2; the last block is the exit block.  Every
    // block but 0 and the exit gets `quads` quadruples (no-operation kind 4).
    void build(u4 n, const std::vector<std::vector<s4>>& succ, u4 quads = 1)
    {
        memset(&m, 0, sizeof m);
        memset(&mb, 0, sizeof mb);
        memset(&cb, 0, sizeof cb);
        cb.name = "DfGraph";
        mb.clazz = &cb;
        mb.name = "graph";
        mb.signature = "()V";
        mb.access = ACC_STATIC;
        m.mb = &mb;
        m.root = &m;
        m.pool1 = jit_wmem_init(0);
        m.pool2 = jit_wmem_init(0);
        m.bb_count = n;
        m.bb_capacity = n;
        m.bb_table = static_cast<bbattr**>(jit_wmem_alloc(m.pool1, n * sizeof(bbattr*)));
        m.dfs_array = static_cast<u4*>(jit_wmem_alloc(m.pool1, n * sizeof(u4)));
        memset(m.dfs_array, 0, n * sizeof(u4));
        for (u4 i = 0; i < n; i++) {
            auto* b = static_cast<bbattr*>(jit_wmem_alloc(m.pool1, sizeof(bbattr)));
            memset(b, 0, sizeof *b);
            b->id = i;
            b->try_region = -1;
            b->loop_index = -1;
            b->mb = &mb;
            m.bb_table[i] = b;
        }
        std::vector<u4> exit_preds;
        for (u4 i = 0; i + 1 < n && i < succ.size(); i++) {
            bbattr* b = m.bb_table[i];
            b->succ_count = static_cast<u4>(succ[i].size());
            b->succ = static_cast<u4*>(jit_wmem_alloc(m.pool1, (b->succ_count + 1) * sizeof(u4)));
            for (u4 k = 0; k < b->succ_count; k++) {
                s4 s = succ[i][k];
                b->succ[k] = static_cast<u4>(s);
                if (s == static_cast<s4>(n - 1))
                    exit_preds.push_back(i);
                else if (s > 0)
                    m.bb_table[s]->pred_count++;
            }
        }
        bbattr* exit = m.bb_table[n - 1];
        exit->pred_count = static_cast<u4>(exit_preds.size());
        exit->succ = static_cast<u4*>(jit_wmem_alloc(m.pool1, (exit_preds.size() + 1) * sizeof(u4)));
        for (u4 k = 0; k < exit_preds.size(); k++)
            exit->succ[k] = exit_preds[k];
        for (u4 i = 1; i + 1 < n; i++)
            set_quads(i, std::vector<u1>(quads, OPC_OTHER));
    }

    // Gives block b fresh quadruples with these opcodes (opcode 0 gets the
    // plain no-operation kind 4).
    void set_quads(u4 block, const std::vector<u1>& opcodes)
    {
        bbattr* b = m.bb_table[block];
        b->quad_count = static_cast<u4>(opcodes.size());
        b->catbl = static_cast<quadruple**>(jit_wmem_alloc(m.pool1, (opcodes.size() + 1) * sizeof(quadruple*)));
        for (u4 k = 0; k < opcodes.size(); k++) {
            auto* q = static_cast<quadruple*>(jit_wmem_alloc(m.pool1, sizeof(quadruple)));
            memset(q, 0, sizeof *q);
            q->opcode = opcodes[k];
            if (opcodes[k] == OPC_OTHER)
                q->subcode = OTHER_NOP;
            q->src2.value = block * 100 + k;       // a recognisable source pc
            b->catbl[k] = q;
        }
        m.total_quad_count = 0;
        for (u4 i = 0; i < m.bb_count; i++)
            m.total_quad_count += m.bb_table[i]->quad_count;
    }

    bbattr* block(u4 b) { return m.bb_table[b]; }

    std::vector<u4> dfs() const { return std::vector<u4>(m.dfs_array, m.dfs_array + m.dfs_count); }

    // Subroutine records for the negated entries of block 0.
    void subroutines(u4 count)
    {
        m.subroutine_count = count;
        auto* subs = static_cast<subroutine_info*>(jit_wmem_alloc(m.pool1, count * sizeof(subroutine_info)));
        memset(subs, 0, count * sizeof(subroutine_info));
        m.subroutine_table = subs;
        mcc_set_subroutine_capacity(&m, count);
    }
    subroutine_info& subroutine(u4 r) { return static_cast<subroutine_info*>(m.subroutine_table)[r]; }

    void release()
    {
        jit_wmem_free(m.pool1);
        jit_wmem_free(m.pool2);
    }
};

// Frees everything a compile context of init_method_compile_context holds
// (the pipeline's use count is what makes the workspace free its pools).
inline void release_context(method_compile_context* m)
{
    if (m == nullptr)
        return;
    if (m->pool2 != nullptr) {
        jit_wmem_free(m->pool2);
        m->pool2 = nullptr;
    }
    m->use_count = 1;
    jit_fast_compile_free_workspace(m);
}

}  // namespace dftest

#endif  // ORVA_TESTS_DATAFLOW_DF_GRAPH_H
