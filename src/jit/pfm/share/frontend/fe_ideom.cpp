// Idiom pass over the block graph.
//
// Runs on the first-form quadruples, after the front end built the block
// graph and before loops are built (and again from the inliner after
// expansion).  A depth-first walk from the entry block looks at every block
// with two or more successors and collapses small if-then-else shapes into
// straight-line quadruples: a boolean value, a minimum or maximum, an
// absolute value, a conditional move.  Switch blocks go to the switch
// optimization and two-level branch chains to the short-circuit rewriting of
// the loop optimizer.
//
// Shapes (b the head, s0 the fall-through arm, s1 the branch arm, t the join):
//     b: ... branch -> s1        s0: value [store] goto t      s1: value [store]
// A rewritten head loses its branch and falls into t, or absorbs t when t
// has no other predecessor; the arms become dead blocks.
#include <string.h>

#include "driver/driver.h"
#include "frontend/fe_external.h"
#include "frontend/qgen.h"
#include "inline/mi_records.h"

namespace {

constexpr u2 OP_BOOLEAN = QOP_NOT;                // IOP1: 1 when the value is 0, else 0
constexpr u2 OP_MAX = QOP_MAX, OP_MIN = QOP_MIN;   // two-operand maximum / minimum
constexpr u2 OP_ABS = QOP_ABS;                    // one-operand absolute value
constexpr u2 OP_NEG = QOP_NEG;

struct walk_frame {
    u4 block;
    u4 next;        // successors still to look at (scanned downwards)
    u4 mode;
};
static_assert(sizeof(walk_frame) == 12);

bool visited(const u4* set, u4 b) { return mi_bit(set, b); }
void visit(u4* set, u4 b) { mi_set_bit(set, b); }

u4 abs_block(u4 s) { return static_cast<u4>(static_cast<s4>(s) < 0 ? -static_cast<s4>(s) : static_cast<s4>(s)); }

quadruple* last_of(const bbattr* b) { return b->quad_count != 0 ? b->catbl[b->quad_count - 1] : nullptr; }

bool is_value(const quadruple* q, bool constants_too)
{
    switch (q->opcode) {
    case OPC_ILOAD: case OPC_LLOAD: case OPC_FLOAD: case OPC_DLOAD: case OPC_ALOAD: return true;
    case OPC_ICONST: case OPC_LCONST: case OPC_FCONST: case OPC_DCONST: case OPC_ACONST: case OPC_LDC:
        return constants_too;
    default: return false;
    }
}

bool is_store(u1 op)
{
    return op == OPC_ISTORE || op == OPC_LSTORE || op == OPC_FSTORE || op == OPC_DSTORE || op == OPC_ASTORE;
}

// Same value: the same load of the same local, or the same constant.
bool same_value(const quadruple* a, const quadruple* b)
{
    if (a->opcode != b->opcode)
        return false;
    if (a->opcode == OPC_ILOAD || a->opcode == OPC_LLOAD || a->opcode == OPC_FLOAD || a->opcode == OPC_DLOAD
        || a->opcode == OPC_ALOAD)
        return a->op == b->op;
    return a->value == b->value;
}

quadruple* new_quad(method_compile_context* m, u1 opcode, u2 op)
{
    auto* q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
    quad_clear_fresh(q, -1);
    q->opcode = opcode;
    q->op = op;
    return q;
}

quadruple* copy_quad(method_compile_context* m, const quadruple* from)
{
    auto* q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
    memcpy(q, from, sizeof *q);
    return q;
}

u4 live_count(const bbattr* b) { return (b->flags & BB_DEAD) ? 0 : b->quad_count; }

// New list of b: `keep` first quadruples copied, then the extras, then the
// join's quadruples when `join` is given.
void rebuild(method_compile_context* m, bbattr* b, u4 keep, quadruple* const* extra, u4 n_extra, const bbattr* join)
{
    u4 join_n = join != nullptr && !(join->flags & BB_NO_JOIN_COPY) ? join->quad_count : 0;
    u4 total = keep + n_extra + join_n;
    auto** list = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, (total ? total : 1) * sizeof(quadruple*)));
    u4 k = 0;
    for (u4 i = 0; i < keep; i++)
        list[k++] = copy_quad(m, b->catbl[i]);
    for (u4 i = 0; i < n_extra; i++)
        list[k++] = extra[i];
    for (u4 i = 0; i < join_n; i++)
        list[k++] = copy_quad(m, join->catbl[i]);
    b->catbl = list;
    b->quad_count = k;
}

void single_successor(method_compile_context* m, bbattr* b, bbattr* t)
{
    b->succ = static_cast<u4*>(jit_wmem_alloc(m->pool1, 4));
    b->succ[0] = t->id;
    b->succ_count = 1;
}

// Ends a rewriting: the join is absorbed when only the two arms reached it,
// otherwise b falls into it; the arms die.
void finish(method_compile_context* m, bbattr* b, bbattr* s0, bbattr* s1, bbattr* t, bool absorb)
{
    if (absorb) {
        merge_bb_into(m, b, t);
        invalidate_bb(t);
    } else {
        single_successor(m, b, t);
        t->pred_count--;
    }
    if (s0 != t)
        invalidate_bb(s0);
    if (s1 != t)
        invalidate_bb(s1);
    b->flags &= ~BB_BACKWARD_BRANCH;
    b->flags2 &= ~BB2_FORWARD_BRANCH;
}

int replace_boolean_diamond(method_compile_context* m, bbattr* b, bbattr* s0, bbattr* s1, bbattr* t)
{
    quadruple* br = last_of(b);
    if (br == nullptr || br->opcode != OPC_IFZ || br->op != QCC_EQ || s0->quad_count != 2 || s1->quad_count != 1)
        return 0;
    const quadruple* a0 = s0->catbl[0];
    const quadruple* a1 = s1->catbl[0];
    if (a0->opcode != OPC_ICONST || a0->value != 0 || s0->catbl[1]->opcode != OPC_GOTO || a1->opcode != OPC_ICONST
        || a1->value != 1)
        return 0;
    if (t->pred_count == 2) {
        quadruple* op = new_quad(m, OPC_IOP1, OP_BOOLEAN);
        rebuild(m, b, b->quad_count - 1, &op, 1, t);
        finish(m, b, s0, s1, t, true);
        b->flags |= BB_ABSORBED_DIAMOND;
        return 1;
    }
    // The join has other predecessors: the branch itself computes the value
    // and the arms become empty blocks on the way to the join.
    br->opcode = OPC_IOP1;
    br->op = OP_BOOLEAN;
    br->target = 0;
    b->succ_count = 1;
    if (s0->quad_count > 0)
        fill_nop_in_bb(s0, 0, s0->quad_count - 1);
    if (s1->quad_count > 0)
        fill_nop_in_bb(s1, 0, s1->quad_count - 1);
    s0->succ[0] = s1->id;
    s1->pred_count = 1;
    t->pred_count--;
    b->flags &= ~BB_BACKWARD_BRANCH;
    b->flags2 &= ~BB2_FORWARD_BRANCH;
    return 1;
}

// The arms' shapes: value [store] goto / value [store].
bool arm_shape(const bbattr* s0, const bbattr* s1, bool allow_store, const quadruple** v0, const quadruple** v1,
               const quadruple** store)
{
    *store = nullptr;
    if (s0->quad_count == 2 && s1->quad_count == 1 && s0->catbl[1]->opcode == OPC_GOTO) {
        *v0 = s0->catbl[0];
        *v1 = s1->catbl[0];
        return true;
    }
    if (allow_store && s0->quad_count == 3 && s1->quad_count == 2 && s0->catbl[2]->opcode == OPC_GOTO
        && is_store(s0->catbl[1]->opcode) && s0->catbl[1]->opcode == s1->catbl[1]->opcode
        && s0->catbl[1]->op == s1->catbl[1]->op) {
        *v0 = s0->catbl[0];
        *v1 = s1->catbl[0];
        *store = s0->catbl[1];
        return true;
    }
    return false;
}

int replace_min_max_diamond(method_compile_context* m, bbattr* b, bbattr* s0, bbattr* s1, bbattr* t)
{
    if (b->quad_count < 2)
        return 0;
    quadruple* br = last_of(b);
    u2 cond = br->op;
    if (cond != QCC_LT && cond != QCC_LE && cond != QCC_GT && cond != QCC_GE)
        return 0;
    u4 keep;            // quadruples of b kept (through the second compared value)
    u1 op2;
    const quadruple *x, *y;
    bool int_form = br->opcode == OPC_IFCMP;
    if (int_form) {
        if (b->quad_count < 3)
            return 0;
        x = b->catbl[b->quad_count - 3];
        y = b->catbl[b->quad_count - 2];
        if ((x->opcode != OPC_ILOAD && x->opcode != OPC_ICONST)
            || (y->opcode != OPC_ILOAD && y->opcode != OPC_ICONST))
            return 0;
        keep = b->quad_count - 1;
        op2 = OPC_IOP2;
    } else if (br->opcode == OPC_IFZ && b->quad_count >= 4) {
        const quadruple* cmp = b->catbl[b->quad_count - 2];
        x = b->catbl[b->quad_count - 4];
        y = b->catbl[b->quad_count - 3];
        u1 load, cnst;
        // Only long compares: a float or double diamond is not Math.max or
        // Math.min, which order -0.0 below +0.0 and let NaN win, while
        // a < b ? b : a keeps a for equal zeros and for NaN (fault mended).
        if (cmp->opcode == OPC_LCMP) { op2 = OPC_LOP2; load = OPC_LLOAD; cnst = OPC_LCONST; }
        else return 0;
        if ((x->opcode != load && x->opcode != cnst) || (y->opcode != load && y->opcode != cnst))
            return 0;
        keep = b->quad_count - 2;
    } else {
        return 0;
    }
    const quadruple *v0, *v1, *store;
    if (!arm_shape(s0, s1, int_form, &v0, &v1, &store))
        return 0;
    bool lt = cond == QCC_LT || cond == QCC_LE;
    u2 which;
    if (same_value(v0, x) && same_value(v1, y))
        which = lt ? OP_MAX : OP_MIN;
    else if (same_value(v0, y) && same_value(v1, x))
        which = lt ? OP_MIN : OP_MAX;
    else
        return 0;
    quadruple* extra[2];
    u4 n = 0;
    extra[n++] = new_quad(m, op2, which);
    if (store != nullptr)
        extra[n++] = copy_quad(m, store);
    bool absorb = t->pred_count == 2;
    rebuild(m, b, keep, extra, n, absorb ? t : nullptr);
    finish(m, b, s0, s1, t, absorb);
    return 1;
}

int replace_abs_diamond(method_compile_context* m, bbattr* b, bbattr* s0, bbattr* s1, bbattr* t)
{
    if (b->quad_count < 2)
        return 0;
    quadruple* br = last_of(b);
    u2 cond = br->op;
    if (br->opcode != OPC_IFZ || (cond != QCC_LT && cond != QCC_LE && cond != QCC_GT && cond != QCC_GE))
        return 0;
    const quadruple* load;
    u4 keep;
    u1 op1;
    bool load_first = true;
    const quadruple* tested = b->catbl[b->quad_count - 2];
    if (tested->opcode == OPC_ILOAD) {
        load = tested;
        keep = b->quad_count - 1;
        op1 = OPC_IOP1;
    } else {
        if (b->quad_count < 4)
            return 0;
        const quadruple* a = b->catbl[b->quad_count - 4];
        const quadruple* c = b->catbl[b->quad_count - 3];
        u1 ld, cn;
        // Only long compares: x < 0 ? -x : x keeps -0.0 where Math.abs
        // gives +0.0 (fault mended for float and double).
        if (tested->opcode == OPC_LCMP) { ld = OPC_LLOAD; cn = OPC_LCONST; op1 = OPC_LOP1; }
        else return 0;
        if (a->opcode == ld && c->opcode == cn && c->value == 0) {
            load = a;
        } else if (a->opcode == cn && a->value == 0 && c->opcode == ld) {
            load = c;
            load_first = false;
        } else {
            return 0;
        }
        keep = b->quad_count - 4;
    }
    // s0 (fall-through) runs for values below zero when the branch skips it
    // for the others.
    bool s0_negative = (cond == QCC_GT || cond == QCC_GE) == load_first;
    bool shape1 = s0->quad_count == 3 && s1->quad_count == 1 && s0->catbl[2]->opcode == OPC_GOTO
                  && s0->catbl[1]->op == OP_NEG && s0->catbl[1]->opcode == op1 && s0_negative;
    bool shape2 = s0->quad_count == 2 && s1->quad_count == 2 && s0->catbl[1]->opcode == OPC_GOTO
                  && s1->catbl[1]->op == OP_NEG && s1->catbl[1]->opcode == op1 && !s0_negative;
    if (!(shape1 || shape2) || !same_value(s0->catbl[0], load) || !same_value(s1->catbl[0], load))
        return 0;
    quadruple* extra[2];
    u4 n = 0;
    if (tested->opcode != OPC_ILOAD)
        extra[n++] = copy_quad(m, load);
    extra[n++] = new_quad(m, op1, OP_ABS);
    bool absorb = t->pred_count == 2;
    rebuild(m, b, keep, extra, n, absorb ? t : nullptr);
    finish(m, b, s0, s1, t, absorb);
    return 1;
}

int replace_select_diamond(method_compile_context* m, bbattr* b, bbattr* s0, bbattr* s1, bbattr* t)
{
    quadruple* br = last_of(b);
    if (br == nullptr)
        return 0;
    switch (br->opcode) {
    case OPC_IFZ: case OPC_IFCMP: case OPC_IFNULL: case OPC_IFACMP: case OPC_LCMP_BRANCH: case OPC_FCMP_BRANCH:
    case OPC_DCMP_BRANCH: case OPC_METHODBLOCKCHECK: case OPC_MTADDRESSCHECK: break;
    default: return 0;
    }
    const quadruple *v0, *v1, *store;
    if (!arm_shape(s0, s1, true, &v0, &v1, &store) || !is_value(v0, true) || !is_value(v1, true))
        return 0;
    auto ref_or_int = [](u1 op) -> int {
        if (op == OPC_ILOAD || op == OPC_ICONST) return 1;
        if (op == OPC_ALOAD || op == OPC_ACONST || op == OPC_LDC) return 2;
        return 0;
    };
    int k0 = ref_or_int(v0->opcode), k1 = ref_or_int(v1->opcode);
    if (k0 == 0 || k0 != k1)
        return 0;
    // A constant whose reference is unresolved belongs to its own method.
    const quadruple* values[2] = {v0, v1};
    for (const quadruple* v : values)
        if (quad_unresolved(v) && (s0->mb != b->mb || s1->mb != b->mb))
            return 0;
    quadruple* extra[5];
    u4 n = 0;
    bool zero = br->opcode == OPC_IFZ || br->opcode == OPC_IFNULL;
    if (zero) {
        quadruple* z = new_quad(m, br->opcode == OPC_IFZ ? OPC_ICONST : OPC_ACONST, 0);
        z->flags_a |= QA_CONSTANT;
        extra[n++] = z;
    }
    extra[n++] = copy_quad(m, v1);
    extra[n++] = copy_quad(m, v0);
    extra[n++] = new_quad(m, k0 == 1 ? OPC_ICMOVE : OPC_ACMOVE, br->op);
    if (store != nullptr)
        extra[n++] = copy_quad(m, store);
    rebuild(m, b, b->quad_count - 1, extra, n, nullptr);
    m->max_stack = static_cast<u2>(m->max_stack + (zero ? 3 : 2));
    finish(m, b, s0, s1, t, false);
    return 1;
}

int try_diamond_idioms(method_compile_context* m, bbattr* b, bbattr* s0, bbattr* s1, bbattr* t)
{
    if (s0->succ_count == 1 && s0->succ[0] == s1->id)
        return 0;
    u4 before = live_count(b) + live_count(s0) + live_count(s1) + live_count(t);
    int (*const matchers[])(method_compile_context*, bbattr*, bbattr*, bbattr*, bbattr*) = {
        replace_boolean_diamond, replace_min_max_diamond, replace_abs_diamond, replace_select_diamond};
    for (auto match : matchers) {
        if (match(m, b, s0, s1, t)) {
            u4 after = live_count(b) + live_count(s0) + live_count(s1) + live_count(t);
            m->total_quad_count += after - before;
            return 1;
        }
    }
    return 0;
}

bool leaves_loop(const bbattr* b, const bbattr* s)
{
    return (b->flags & BB_KIND_MASK) == BB_KIND_LOOP
           && ((s->flags & BB_KIND_MASK) != BB_KIND_LOOP || s->loop_index != b->loop_index);
}

// Picks the next successor to walk: mode 1 prefers edges that leave the
// loop or lead straight to the exit, mode 2 takes the highest-indexed one.
bool next_unvisited_successor(method_compile_context* m, const u4* set, bbattr* b, u4* out)
{
    u4 exit = m->bb_count - 1;
    for (u4 i = b->succ_count; i-- > 0;) {
        bbattr* s = m->bb_table[abs_block(b->succ[i])];
        if (visited(set, s->id))
            continue;
        bool take;
        if (leaves_loop(b, s))
            take = true;
        else if (!(b->flags & BB_BACKWARD_BRANCH))
            take = s->succ_count > 0 && s->succ[0] == exit;
        else
            take = i == 0;
        if (take) {
            *out = s->id;
            return true;
        }
    }
    for (u4 i = b->succ_count; i-- > 0;) {
        u4 s = abs_block(b->succ[i]);
        if (!visited(set, s)) {
            *out = s;
            return true;
        }
    }
    return false;
}

void look_at_block(method_compile_context* m, bbattr* b)
{
    u4 exit = m->bb_count - 1;
    if (!(compile_option_flag & OPT1_NPSEUDOOP) && !(m->state_flags & MCC_NO_IDIOMS) && b->succ_count > 1) {
        quadruple* last = last_of(b);
        if (last != nullptr && last->opcode == OPC_SWITCH)
            do_switch_optimization(m, b);
        while (b->succ_count == 2) {
            bbattr* s0 = m->bb_table[b->succ[0]];
            bbattr* s1 = m->bb_table[b->succ[1]];
            if (s0->succ_count != 1 || s0->pred_count != 1)
                break;
            bbattr* t = m->bb_table[s0->succ[0]];
            if (t->id == exit)
                break;
            if (t != s1 && !(s1->pred_count == 1 && s1->succ_count == 1 && s1->succ[0] == t->id))
                break;
            if (!try_diamond_idioms(m, b, s0, s1, t))
                break;
        }
    }
    if (!(compile_option_flag & OPT1_NSCEVAL) && b->succ_count == 2) {
        bbattr* f = m->bb_table[b->succ[0]];
        if (f->succ_count == 2 && (b->succ[1] == f->succ[0] || b->succ[1] == f->succ[1]))
            check_and_transform_short_circuit_evaluation(m, b);
    }
}

void ideom_dfs_walk(method_compile_context* m, u4 start, u4* set, walk_frame* stack)
{
    u4 sp = 0;
    visit(set, start);
    look_at_block(m, m->bb_table[start]);
    stack[sp++] = walk_frame{start, 0, 1};
    while (sp > 0) {
        bbattr* b = m->bb_table[stack[sp - 1].block];
        u4 next;
        if (!next_unvisited_successor(m, set, b, &next)) {
            sp--;
            continue;
        }
        visit(set, next);
        look_at_block(m, m->bb_table[next]);
        stack[sp++] = walk_frame{next, 0, 1};
    }
}

} // namespace

void invalidate_bb(bbattr* b)
{
    b->pred_count = 0;
    b->succ_count = 0;
    b->succ = nullptr;
    b->quad_count = 0;
    b->pass1_offset = 0;
    b->pass1_link_offset = 0;
    b->flags |= BB_DEAD;
}

void merge_bb_into(method_compile_context* m, bbattr* head, bbattr* absorbed)
{
    constexpr u4 kept = BB_ARRAY_ACCESS | BB_IN_TRY;
    head->flags |= absorbed->flags & kept;
    head->flags2 |= absorbed->flags2 & (BB2_ENDS_IN_BRANCH | BB2_FORWARD_BRANCH);
    head->flags |= absorbed->flags & BB_BACKWARD_BRANCH;
    head->succ = absorbed->succ;
    head->succ_count = absorbed->succ_count;
    // The exit block's list and the branch targets name blocks by number.
    bbattr* exit = m->bb_table[m->bb_count - 1];
    for (u4 i = 0; i < exit->pred_count; i++)
        if (exit->succ != nullptr && exit->succ[i] == absorbed->id)
            exit->succ[i] = head->id;
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if (b == absorbed || (b->flags & BB_DEAD))
            continue;
        for (u4 s = 0; s < b->succ_count; s++)
            if (b->succ[s] == absorbed->id)
                b->succ[s] = head->id;
        quadruple* last = last_of(b);
        if (last != nullptr && last->target == absorbed->id
            && (opc_info_quadruple[last->opcode] & OPA_ENDS_BLOCK) && last->opcode != OPC_SWITCH)
            last->target = head->id;
    }
}

void check_and_replace_ideom_pattern(method_compile_context* m)
{
    u4 n = m->bb_count;
    u4 bytes = ((n + 63) / 64) * 8;
    auto* set = static_cast<u4*>(jit_wmem_alloc(m->pool2, bytes));
    auto* stack = static_cast<walk_frame*>(jit_wmem_alloc(m->pool2, n * sizeof(walk_frame)));
    memset(set, 0, bytes);
    visit(set, 0);
    visit(set, n - 1);
    bbattr* entry = m->bb_table[0];
    for (u4 i = 0; i < entry->succ_count; i++) {
        u4 s = abs_block(entry->succ[i]);
        if (s < n && !visited(set, s))
            ideom_dfs_walk(m, s, set, stack);
    }
}
