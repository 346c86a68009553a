// Short-circuit chains of int tests into one test of their OR.
//
// Called by the front end's idiom pass for a block of two successors, on the
// first-form quadruples before loops are built.  The code of `a || b || c`
// over int locals is a chain of blocks that each load a local and branch to
// the same target when it is not zero, ended by a block that branches away
// when its local is zero and falls into that target otherwise:
//     B:  ... iload a; ifne T          (falls into C1)
//     C1: iload b; ifne T              (one predecessor; falls into C2)
//     L:  iload c; ifeq E              (one predecessor; falls into T)
// becomes B falling into L, L = iload a; iload b; ior; iload c; ior; ifeq E,
// and the middle blocks die.  Loading locals has no effect of its own, so
// evaluating every operand is the same as stopping at the first nonzero one.
#include <string.h>

#include "driver/driver.h"
#include "frontend/fe_external.h"
#include "frontend/qgen.h"
#include "loop/loop.h"

namespace {

bool same_loop(const bbattr* a, const bbattr* b)
{
    bool la = (a->flags & BB_KIND_MASK) == BB_KIND_LOOP;
    bool lb = (b->flags & BB_KIND_MASK) == BB_KIND_LOOP;
    return la == lb && (!la || a->loop_index == b->loop_index);
}

// iload x; ifz with the given condition, as the block's last two quadruples.
bool ends_in_test(const bbattr* b, u2 cond)
{
    if (b->quad_count < 2)
        return false;
    const quadruple* load = b->catbl[b->quad_count - 2];
    const quadruple* test = b->catbl[b->quad_count - 1];
    return load->opcode == OPC_ILOAD && test->opcode == OPC_IFZ && test->op == cond;
}

quadruple* copy_of(method_compile_context* m, const quadruple* from)
{
    auto* q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
    memcpy(q, from, sizeof *q);
    return q;
}

} // namespace

int check_and_transform_short_circuit_evaluation(method_compile_context* m, bbattr* b)
{
    if (b->succ_count != 2 || b->quad_count < 2 || !ends_in_test(b, QCC_NE))
        return 0;
    u4 target = b->succ[1];
    if (target == 0 || target >= m->bb_count - 1)
        return 0;
    // The chain after B: blocks C1..Cn of "ifne T", then L of "ifeq", falling into T.
    u4 n = 0;
    bbattr* last = nullptr;
    for (u4 next = b->succ[0]; n <= m->bb_count;) {
        if (next == 0 || next >= m->bb_count - 1 || next == b->id)
            return 0;
        bbattr* c = m->bb_table[next];
        if (c->quad_count != 2 || c->pred_count != 1 || c->succ_count != 2 || !same_loop(b, c)
            || (c->flags & BB_DEAD) || c->mb != b->mb)
            return 0;
        if (ends_in_test(c, QCC_NE) && c->succ[1] == target) {
            n++;
            next = c->succ[0];
            continue;
        }
        if (ends_in_test(c, QCC_EQ) && c->succ[0] == target) {
            last = c;
            break;
        }
        return 0;
    }
    if (last == nullptr)
        return 0;
    // L's new code: every local ORed in chain order, then "ifeq" to L's target.
    u4 count = 2 * n + 4;
    auto** list = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, count * sizeof(quadruple*)));
    u4 k = 0;
    list[k++] = copy_of(m, b->catbl[b->quad_count - 2]);
    bbattr* c = m->bb_table[b->succ[0]];
    for (u4 i = 0; i <= n; i++) {
        list[k++] = copy_of(m, c->catbl[0]);
        quadruple* ior = copy_of(m, c->catbl[0]);
        quad_clear_fresh(ior, quad_source_pc(c->catbl[0]));
        ior->opcode = OPC_IOP2;
        ior->op = QOP_OR;
        list[k++] = ior;
        if (i < n)
            c = m->bb_table[c->succ[0]];
    }
    list[k++] = copy_of(m, last->catbl[1]);
    // The middle blocks die; B falls into L.
    u4 removed = 0;
    for (bbattr* d = m->bb_table[b->succ[0]]; d != last;) {
        bbattr* following = m->bb_table[d->succ[0]];
        removed += d->quad_count;
        invalidate_bb(d);
        d = following;
    }
    if (b->quad_count == 2) {
        quadruple* nop = b->catbl[0];
        quad_clear_fresh(nop, quad_source_pc(nop));
        nop->opcode = OPC_OTHER;
        quad_set_kind_nibble(nop, OTHER_NOP_DELETED);
        b->quad_count = 1;
        removed += 1;
    } else {
        b->quad_count -= 2;
        removed += 2;
    }
    removed += last->quad_count;
    last->catbl = list;
    last->quad_count = count;
    m->bb_table[target]->pred_count -= n + 1;
    b->succ[0] = last->id;
    b->succ_count = 1;
    b->flags &= ~BB_BACKWARD_BRANCH;
    b->flags2 &= ~(BB2_FORWARD_BRANCH | BB2_ENDS_IN_BRANCH);
    last->pred_count = 1;
    m->total_quad_count = m->total_quad_count + count - removed;
    if (m->mb != nullptr && m->max_stack == m->mb->maxstack)
        m->max_stack = static_cast<u2>(m->max_stack + 1);
    return 1;
}
