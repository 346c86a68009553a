// Expression-tree deletion over the stack-form quadruples of one block:
// `Delete_BytecodeTree` removes a quadruple together with the quadruples of
// the same block that computed its operands, and only when every one of
// them can go without changing what the method does.
//
// Works before quadruple generation, on a block whose stack operands are
// implicit: the operand of a quadruple is the tree that ends at the slot
// before it (no-operations and increments skipped), the next operand the
// tree before that one.  The search stops, and nothing is deleted, at
// anything that is not a pure one-slot value: a store, a branch, a call, a
// stack shuffle, an operand from another block.
//
// A tree is deleted only when none of its nodes can raise or act on the
// world: invocations, array and field loads, casts, arraylength,
// allocation, integer division and remainder, explicit null checks
// (opcode 108) and class-resolving references are all kept, so that the
// exception (or the class initialisation) they cause still happens.  The
// first design let such trees go, losing a NullPointerException or an
// ArithmeticException with the branch they fed.
#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"

namespace {

constexpr u4 TREE_MAX_NODES = 64;
constexpr u4 TREE_MAX_DEPTH = 32;

struct tree {
    u4 nodes[TREE_MAX_NODES];
    u4 count;
    bool refused;
};

// Operands of a pure one-slot value; -1 when the quadruple is not one.
s4 pure_operands(const quadruple* q)
{
    switch (q->opcode) {
    case OPC_ILOAD: case OPC_ICONST: case OPC_FLOAD: case OPC_FCONST: case OPC_ALOAD: case OPC_ACONST:
        return 0;
    case OPC_IOP2: return q->op == QOP_DIV || q->op == QOP_REM ? -1 : 2;
    case OPC_FOP2: return 2;
    case OPC_IOP1: case OPC_FOP1: case OPC_I2F: case OPC_F2I: return 1;
    default: return -1;
    }
}

bool skipped(const quadruple* q)
{
    return (q->opcount & QC_DELETED) || q->opcode == OPC_IINC
           || (q->opcode == OPC_OTHER && quad_kind_nibble(q) == OTHER_NOP_DELETED);
}

// Finds the tree that ends at or before slot `from`; answers the slot before
// its first quadruple (-1 at the start of the block).
s4 search(const bbattr* b, s4 from, tree* t, u4 depth)
{
    while (from >= 0 && skipped(b->catbl[from]))
        from--;
    if (from < 0 || depth > TREE_MAX_DEPTH || t->count >= TREE_MAX_NODES) {
        t->refused = true;
        return -1;
    }
    s4 k = pure_operands(b->catbl[from]);
    if (k < 0) {
        t->refused = true;
        return -1;
    }
    t->nodes[t->count++] = static_cast<u4>(from);
    s4 at = from - 1;
    for (s4 c = 0; c < k && !t->refused; c++)
        at = search(b, at, t, depth + 1);
    return at;
}

bool is_local_load(u1 op) { return op == OPC_ILOAD || op == OPC_FLOAD || op == OPC_ALOAD; }

} // namespace

int Delete_BytecodeTree(method_compile_context* m, u4 block, u4 index, int perform)
{
    if (block >= m->bb_count)
        return 0;
    bbattr* b = m->bb_table[block];
    if ((b->flags & BB_DEAD) || index >= b->quad_count)
        return 0;
    quadruple* q = b->catbl[index];
    if (q->opcode == 0 || q->opcode > OPC_LDC || (q->opcount & QC_DELETED))
        return 0;
    tree t;
    t.count = 0;
    t.refused = false;
    s4 k;
    if (q->opcode == OPC_IFZ)
        k = 1;
    else if (q->opcode == OPC_IFCMP)
        k = 2;
    else
        k = pure_operands(q);
    if (k < 0)
        return 0;
    t.nodes[t.count++] = index;
    s4 at = static_cast<s4>(index) - 1;
    for (s4 c = 0; c < k && !t.refused; c++)
        at = search(b, at, &t, 1);
    if (t.refused)
        return 0;
    if (!perform)
        return 1;
    for (u4 i = 0; i < t.count; i++) {
        quadruple* n = b->catbl[t.nodes[i]];
        if (is_local_load(n->opcode))
            Delete_Load(m, block, t.nodes[i], 1);
        else
            quad_make_nop(n, false);
    }
    return 1;
}
