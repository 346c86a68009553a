// Quadruple builders for the loop tests: operands of the final quadruple
// form (kind byte = kind | type << 4) placed into the blocks of a
// dftest::graph.
#ifndef ORVA_TESTS_LOOP_LOOP_QUADS_H
#define ORVA_TESTS_LOOP_LOOP_QUADS_H

#include <string.h>

#include <vector>

#include "df_graph.h"
#include "df_vm_env.h"

namespace looptest {

constexpr u1 INT_LOCAL = 0x11, LONG_LOCAL = 0x31, REF_LOCAL = 0x21, INT_IMM = 0x13, INT_CONST = 0x15;

inline quad_operand opnd(u1 kind, u2 number, u1 flags = 0, u1 reg = 0)
{
    quad_operand o = {};
    o.kind = kind;
    o.flags = flags;
    o.number = number;
    o.reg = reg;
    return o;
}
inline quad_operand none() { return opnd(0, QUAD_NO_NUMBER); }

inline quadruple* quad(method_compile_context* m, u1 opcode, u2 op, quad_operand result, quad_operand a,
                       quad_operand b, u2 sources)
{
    auto* q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
    memset(q, 0, sizeof *q);
    q->opcode = opcode;
    q->op = op;
    q->result = result;
    q->src1 = a;
    q->src2 = b;
    q->opcount = sources;
    return q;
}

// An operand list of the given (kind, number) pairs on q.
inline void operand_list(method_compile_context* m, quadruple* q, const std::vector<std::pair<u2, u2>>& entries)
{
    quad_operand_list_entry* head = nullptr;
    quad_operand_list_entry** tail = &head;
    for (auto& e : entries) {
        auto* x = static_cast<quad_operand_list_entry*>(jit_wmem_alloc(m->pool1, sizeof(quad_operand_list_entry)));
        memset(x, 0, sizeof *x);
        x->kind = e.first;
        x->number = e.second;
        *tail = x;
        tail = &x->next;
    }
    quad_set_list_head(q, head);
    q->opcount = static_cast<u2>((q->opcount & ~QC_SRC_MASK) | QC_SRC_LIST);
}

inline std::vector<quad_operand_list_entry*> list_of(const quadruple* q)
{
    std::vector<quad_operand_list_entry*> v;
    for (quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
        v.push_back(e);
    return v;
}

// Replaces block b's quadruples.
inline void put(dftest::graph& g, u4 b, const std::vector<quadruple*>& quads)
{
    bbattr* bb = g.block(b);
    bb->quad_count = static_cast<u4>(quads.size());
    bb->catbl = static_cast<quadruple**>(jit_wmem_alloc(g.m.pool1, (quads.size() + 1) * sizeof(quadruple*)));
    for (u4 k = 0; k < quads.size(); k++)
        bb->catbl[k] = quads[k];
    g.m.total_quad_count = 0;
    for (u4 i = 0; i < g.m.bb_count; i++)
        g.m.total_quad_count += g.m.bb_table[i]->quad_count;
}

inline void dfs(dftest::graph& g, const std::vector<u4>& order)
{
    for (u4 i = 0; i < order.size(); i++)
        g.m.dfs_array[i] = order[i];
    g.m.dfs_count = static_cast<u4>(order.size());
}

// Sets the three option words for one test and restores them after.
struct options {
    u4 saved[3];
    options(u4 a, u4 b, u4 c)
    {
        saved[0] = compile_option_flag;
        saved[1] = compile_option2_flag;
        saved[2] = compile_option3_flag;
        compile_option_flag = a;
        compile_option2_flag = b;
        compile_option3_flag = c;
    }
    ~options()
    {
        compile_option_flag = saved[0];
        compile_option2_flag = saved[1];
        compile_option3_flag = saved[2];
    }
};

}  // namespace looptest

#endif  // ORVA_TESTS_LOOP_LOOP_QUADS_H
