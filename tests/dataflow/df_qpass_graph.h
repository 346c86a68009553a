// Quadruples for hand-made block graphs (df_graph.h): operands and the
// shapes the quadruple passes read, so that a test writes `x = a op b`
// instead of filling records field by field.
#ifndef ORVA_TESTS_DATAFLOW_DF_QPASS_GRAPH_H
#define ORVA_TESTS_DATAFLOW_DF_QPASS_GRAPH_H

#include <string.h>

#include <vector>

#include "df_graph.h"
#include "dataflow/df_operand.h"

namespace dftest {

// Local n of a type (int unless said otherwise).
inline quad_operand L(u2 n, u1 type = QT_INT)
{
    quad_operand o{};
    o.kind = static_cast<u1>(QK_VARIABLE | type << QT_SHIFT);
    o.number = n;
    return o;
}
// A small constant (kinds 3 and 4).
inline quad_operand C(s4 v, u1 type = QT_INT)
{
    quad_operand o{};
    o.kind = static_cast<u1>((v >= 0 ? QK_IMMEDIATE : QK_NEG_IMMEDIATE) | type << QT_SHIFT);
    o.number = static_cast<u2>(v >= 0 ? v : -v);
    return o;
}
inline quad_operand NONE()
{
    quad_operand o{};
    o.number = QUAD_NO_NUMBER;
    return o;
}

struct qspec {
    u1 opcode;
    u2 op;
    quad_operand result, src1, src2;
    u4 shape;                  // 0, 1, 2 (3: `list` holds the operands)
    u4 exception_class = 15;   // 15: cannot raise
    std::vector<quad_operand> list = {};
};

inline qspec op2(u1 opcode, u2 op, quad_operand x, quad_operand a, quad_operand b, u4 exc = 15)
{
    return {opcode, op, x, a, b, 2, exc};
}
inline qspec op1(u1 opcode, u2 op, quad_operand x, quad_operand a) { return {opcode, op, x, a, NONE(), 1}; }
inline qspec ret(quad_operand a, u1 opcode = OPC_IRETURN) { return {opcode, 0, NONE(), a, NONE(), 1}; }
inline qspec call(std::vector<quad_operand> args, quad_operand x = NONE())
{
    qspec s{OPC_VCALL, 0, x, NONE(), NONE(), 3, 0};
    s.list = args;
    return s;
}
inline qspec plain(u1 opcode) { return {opcode, 0, NONE(), NONE(), NONE(), 0}; }

// Gives block b these quadruples.
inline void fill(graph& g, u4 b, const std::vector<qspec>& quads)
{
    std::vector<u1> opcodes;
    for (const qspec& s : quads)
        opcodes.push_back(s.opcode);
    g.set_quads(b, opcodes);
    for (u4 k = 0; k < quads.size(); k++) {
        quadruple* q = g.block(b)->catbl[k];
        const qspec& s = quads[k];
        q->op = s.op;
        q->subcode = 0;
        q->result = s.result;
        q->auxop = NONE();
        q->src1 = s.src1;
        q->src2 = s.src2;
        q->opcount = static_cast<u2>(s.shape | s.exception_class << 12);
        if (s.shape == 3) {
            quad_operand_list_entry* head = nullptr;
            quad_operand_list_entry** tail = &head;
            for (const quad_operand& a : s.list) {
                auto* e = static_cast<quad_operand_list_entry*>(jit_wmem_alloc(g.m.pool1, sizeof(quad_operand_list_entry)));
                memset(e, 0, sizeof *e);
                e->kind = a.kind;
                e->number = a.number;
                *tail = e;
                tail = &e->next;
            }
            quad_set_list_head(q, head);
        }
    }
}

// A method of `locals` locals with the given signature (static).
inline void method_shape(graph& g, u2 locals, const char* signature, u2 arg_words)
{
    g.mb.signature = signature;
    g.mb.args_size = arg_words;
    g.mb.nlocals = locals;
    g.m.local_count = locals;
    g.m.previous_local_count = locals;
    g.m.max_stack = 2;
}

inline df_operand* dest(graph& g, u4 b, u4 k) { return df_opnd(&g.block(b)->catbl[k]->result); }
inline df_operand* s1(graph& g, u4 b, u4 k) { return df_opnd(&g.block(b)->catbl[k]->src1); }
inline df_operand* s2(graph& g, u4 b, u4 k) { return df_opnd(&g.block(b)->catbl[k]->src2); }

// The references of a chain, in order.
inline std::vector<quad_ref> refs(const df_operand* o)
{
    std::vector<quad_ref> out;
    df_for_each_ref(o, [&](quad_ref r) { out.push_back(r); });
    return out;
}

// Builds the DFS list the way the drivers do.
inline void dfs(graph& g) { generate_dfs_list_traditional(&g.m); }

}  // namespace dftest

#endif  // ORVA_TESTS_DATAFLOW_DF_QPASS_GRAPH_H
