// The rewriting walk of the type flow (df_typeflow.cpp): with the solved
// range of every int local at every block entry, one more pass over the
// stack-form quadruples keeps a running range per local and
// - turns an int load of a local known to hold one value into a constant;
// - folds an int operation on two (or one) constants into one constant;
// - folds a compare-and-branch whose outcome the ranges decide into a jump
//   or a no-operation, dropping the dead edge and the operand trees;
// - leaves the carried value range on int loads, int stores and int
//   two-operand operations (sub-code bit 15, bounds in `target` and `aux`)
//   and the operand-not-negative bits on the latter, for the array-check
//   passes and the argument ranges of quadruple generation.
//
// A branch is folded only on operands pushed in its own block without a
// stack shuffle, whose trees can be deleted whole (Delete_BytecodeTree), and
// never when an operand's range is empty (a path the solver found
// infeasible: nothing is gained, and a fault elsewhere would show here).
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_typeflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "loop/loop_records.h"

namespace {

constexpr u2 QS_CARRIES_RANGE = 0x8000;      // carried value range: low in `target`, high in `aux`
constexpr u2 QS_X_NONNEGATIVE = 0x0020;      // int two-operand: first operand >= 0
constexpr u2 QS_Y_NONNEGATIVE = 0x0040;      // int two-operand: second operand >= 0

void carry_range(quadruple* q, tf_range r)
{
    if (tf_full(r) || tf_empty(r))
        return;
    q->subcode |= QS_CARRIES_RANGE;
    q->target = static_cast<u4>(r.lo);
    q->aux = static_cast<u4>(r.hi);
}

void make_constant(quadruple* q, s4 v)
{
    q->opcode = OPC_ICONST;
    q->pad1 = 0;
    q->subcode = 0;
    q->target = 0;
    q->second = 0;
    q->op = 0;
    q->count = 0;
    q->aux = 0;
    q->value = static_cast<u4>(v);
    q->flags_a |= QA_CONSTANT;
}

// Successor of `block` reached first in DFS order, scanning from the start
// and stopping at the block itself; -1 when none comes before it.
s4 earlier_successor(method_compile_context* m, const bbattr* b)
{
    for (u4 d = 0; d < m->dfs_count; d++) {
        u4 x = m->dfs_array[d];
        if (x == b->id)
            return b->succ[0] == x || b->succ[1] == x ? static_cast<s4>(x) : -1;
        if (b->succ[0] == x || b->succ[1] == x)
            return static_cast<s4>(x);
    }
    return -1;
}

// 1 always taken, 0 never, -1 undecided.
int decide(u1 cond, tf_range x, tf_range y)
{
    switch (cond) {
    case 2:
        if (x.lo == x.hi && y.lo == y.hi && x.lo == y.lo)
            return 1;
        return x.hi < y.lo || y.hi < x.lo ? 0 : -1;
    case 3:
        if (x.lo == x.hi && y.lo == y.hi && x.lo == y.lo)
            return 0;
        return x.hi < y.lo || y.hi < x.lo ? 1 : -1;
    case 4: return x.hi < y.lo ? 1 : x.lo >= y.hi ? 0 : -1;
    case 5: return x.hi <= y.lo ? 1 : x.lo > y.hi ? 0 : -1;
    case 6: return x.lo > y.hi ? 1 : x.hi <= y.lo ? 0 : -1;
    case 7: return x.lo >= y.hi ? 1 : x.hi < y.lo ? 0 : -1;
    default: return -1;
    }
}

} // namespace

int typeflow_fold_branch(method_compile_context* m, u4 block, u4 index, const typeflow_stack_entry* x,
                         const typeflow_stack_entry* y, bool cyclic)
{
    bbattr* b = m->bb_table[block];
    quadruple* q = b->catbl[index];
    u1 cond = static_cast<u1>(q->op);
    if (x->block != block || (y != nullptr && y->block != block))
        return 0;
    if ((b->flags & (BB_LOOP_MEMBER | BB_LOOP_INVALID)) == (BB_LOOP_MEMBER | BB_LOOP_INVALID))
        return 0;
    if (cond < 2 || cond > 7 || b->succ_count != 2)
        return 0;
    tf_range rx = tf_entry_range(*x);
    tf_range ry = y != nullptr ? tf_entry_range(*y) : tf_range{0, 0};
    if (tf_empty(rx) || tf_empty(ry))
        return 0;
    int taken = decide(cond, rx, ry);
    if (taken < 0)
        return 0;
    // Keep a loop's exit: the surviving edge must not be the one back to an
    // earlier block of the loop.
    if ((b->flags & BB_LOOP_MEMBER) || cyclic) {
        s4 first = earlier_successor(m, b);
        if (first >= 0 && ((taken == 1 && static_cast<u4>(first) == q->target)
                           || (taken == 0 && static_cast<u4>(first) == b->succ[0])))
            return 0;
    }
    if (y != nullptr) {
        if (!Delete_BytecodeTree(m, block, x->position, 0) || !Delete_BytecodeTree(m, block, y->position, 1))
            return 0;
        Delete_BytecodeTree(m, block, x->position, 1);
    } else if (!Delete_BytecodeTree(m, block, x->position, 1)) {
        return 0;
    }
    u4 removed;
    if (taken == 1) {
        u4 target = q->target;
        removed = b->succ[0];
        quad_make_nop(q, false);
        q->opcode = OPC_GOTO;
        q->subcode = 0;
        q->target = target;
        b->succ[0] = b->succ[1];
    } else {
        removed = b->succ[1];
        quad_make_nop(q, false);
    }
    b->succ_count = 1;
    b->flags2 &= ~BB2_FORWARD_BRANCH;
    b->flags &= ~BB_BACKWARD_BRANCH;
    if (!(b->flags2 & BB2_RARE))
        ClearRarePath(m, b->succ[0]);
    DecrementBackward(m, block, removed);
    return 1;
}

namespace {

struct walker {
    typeflow_state* st;
    const u1* cyclic;
    typeflow_local_range* running;
    u4 block;
};

tf_range running_of(walker* w, u4 n) { return {w->running[n].in_min, w->running[n].in_max}; }
void set_running(walker* w, u4 n, tf_range r) { w->running[n].in_min = r.lo, w->running[n].in_max = r.hi; }

bool foldable_const(walker* w, const typeflow_stack_entry& e)
{
    return e.kind == TFK_CONST && !(e.cls & TFC_DUP) && e.block == w->block && !e.two_slot;
}

void binop(walker* w, quadruple* q, u4 i)
{
    typeflow_stack* s = &w->st->stack;
    method_compile_context* m = w->st->m;
    typeflow_stack_entry x, y;
    bool have_y = tf_pop(s, &y);
    bool have_x = tf_pop(s, &x);
    s4 folded;
    if (have_x && have_y && foldable_const(w, x) && foldable_const(w, y)
        && df_calc_op2(0, q->op, x.number, y.number, &folded)) {
        bbattr* b = m->bb_table[w->block];
        quad_make_nop(b->catbl[x.position], false);
        quad_make_nop(b->catbl[y.position], false);
        make_constant(q, folded);
        tf_push(s, TFK_CONST, folded, i, TFC_NONE, {folded, folded});
        return;
    }
    tf_range rx = have_x ? tf_entry_range(x) : TF_FULL_RANGE;
    tf_range ry = have_y ? tf_entry_range(y) : TF_FULL_RANGE;
    if (have_x && !tf_empty(rx) && rx.lo >= 0)
        q->subcode |= QS_X_NONNEGATIVE;
    if (have_y && !tf_empty(ry) && ry.lo >= 0)
        q->subcode |= QS_Y_NONNEGATIVE;
    tf_range r = TF_FULL_RANGE;
    if (have_x && have_y) {
        u2 op = q->op;
        if (x.kind == TFK_CONST && y.kind != TFK_CONST
            && (op == QOP_ADD || op == QOP_AND || op == QOP_MAX || op == QOP_MIN))
            r = tf_binop_range(op, ry, rx, true);
        else
            r = tf_binop_range(op, rx, ry, y.kind == TFK_CONST);
    }
    carry_range(q, r);
    tf_push(s, TFK_COMPUTED, -1, i, tf_full(r) ? TFC_INT : TFC_RANGE, r);
}

tf_range unary_range(u2 op, tf_range v)
{
    auto within = [](tf_range v, tf_range t) { return !tf_empty(v) && v.lo >= t.lo && v.hi <= t.hi ? v : t; };
    switch (op) {
    case QOP_I2B: return within(v, tf_class_range(TFC_BYTE));
    case QOP_I2C: return within(v, tf_class_range(TFC_CHAR));
    case QOP_I2S: return within(v, tf_class_range(TFC_SHORT));
    case QOP_I2Z: case QOP_NOT: return {0, 1};
    case QOP_NEG: return tf_empty(v) || v.lo == TF_MIN ? TF_FULL_RANGE : tf_range{-v.hi, -v.lo};
    default: return TF_FULL_RANGE;
    }
}

void unop(walker* w, quadruple* q, u4 i)
{
    typeflow_stack* s = &w->st->stack;
    typeflow_stack_entry v;
    bool have = tf_pop(s, &v);
    s4 folded;
    if (have && foldable_const(w, v) && df_calc_op1(0, q->op, v.number, &folded)) {
        quad_make_nop(w->st->m->bb_table[w->block]->catbl[v.position], false);
        make_constant(q, folded);
        tf_push(s, TFK_CONST, folded, i, TFC_NONE, {folded, folded});
        return;
    }
    tf_range r = unary_range(q->op, have ? tf_entry_range(v) : TF_FULL_RANGE);
    tf_push(s, TFK_COMPUTED, -1, i, tf_full(r) ? TFC_INT : TFC_RANGE, r);
}

void branch(walker* w, u4 i, bool two)
{
    typeflow_stack* s = &w->st->stack;
    typeflow_stack_entry x, y;
    bool have_y = two ? tf_pop(s, &y) : true;
    bool have_x = tf_pop(s, &x);
    if (!have_x || !have_y || (x.cls & TFC_DUP) || (two && (y.cls & TFC_DUP)))
        return;
    if (typeflow_fold_branch(w->st->m, w->block, i, &x, two ? &y : nullptr, w->cyclic[w->block] != 0))
        w->st->pc->flags |= DFP_FLOW_CHANGED;
}

void walk_block(walker* w)
{
    method_compile_context* m = w->st->m;
    bbattr* b = m->bb_table[w->block];
    typeflow_stack* s = &w->st->stack;
    u4 L = w->st->locals;
    s->block = w->block;
    for (u4 i = 0; i < b->quad_count; i++) {
        quadruple* q = b->catbl[i];
        if (q->opcount & QC_DELETED)
            continue;
        typeflow_stack_entry v;
        switch (q->opcode) {
        case OPC_ILOAD: {
            u4 n = q->op;
            if (n >= L) {
                tf_generic_effect(s, q, i);
                break;
            }
            tf_range r = running_of(w, n);
            if (r.lo == r.hi) {
                Delete_Load(m, w->block, i, 0);
                make_constant(q, r.lo);
                        tf_push(s, TFK_CONST, r.lo, i, TFC_NONE, r);
            } else {
                carry_range(q, r);
                tf_push(s, TFK_LOCAL, static_cast<s4>(n), i, TFC_NONE, r);
            }
            break;
        }
        case OPC_ISTORE: {
            bool popped = tf_pop(s, &v);
            u4 n = q->op;
            tf_range r = popped ? tf_entry_range(v) : TF_FULL_RANGE;
            if (popped)
                carry_range(q, r);
            if (n < L) {
                set_running(w, n, r);
                tf_forget_local(s, static_cast<s4>(n));
            }
            break;
        }
        case OPC_IINC: {
            u4 n = q->op;
            if (n < L) {
                set_running(w, n, tf_add_const(running_of(w, n), static_cast<int16_t>(q->count)));
                tf_forget_local(s, static_cast<s4>(n));
            }
            break;
        }
        case OPC_IOP2: binop(w, q, i); break;
        case OPC_IOP1: unop(w, q, i); break;
        case OPC_IFZ: branch(w, i, false); break;
        case OPC_IFCMP: branch(w, i, true); break;
        default: tf_generic_effect(s, q, i); break;
        }
    }
}

} // namespace

void typeflow_rewrite(typeflow_state* st, const u1* cyclic)
{
    method_compile_context* m = st->m;
    u4 B = m->bb_count;
    walker w{st, cyclic, nullptr, 0};
    u4 prev = B;
    for (u4 d = 0; d < m->dfs_count; d++) {
        u4 block = m->dfs_array[d];
        if (block >= B - 1)
            continue;
        bbattr* b = m->bb_table[block];
        if (st->blocks[block].ranges == nullptr || (b->flags & BB_DEAD) || b->quad_count == 0)
            continue;
        if (!tf_stack_carries(m, prev, block))
            tf_stack_reset(&st->stack);
        w.block = block;
        w.running = st->blocks[block].ranges;
        walk_block(&w);
        prev = block;
    }
}
