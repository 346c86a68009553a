// Dead stores over the stack-form quadruples, before quadruple generation:
// a store to a local whose value nobody reads goes with the quadruples of
// its block that computed the value, a pop goes with what it pops, and a
// counted loop that computes nothing used after it goes as a whole.
//
// The statement chains it reads: the reference chain of a local load (the
// definitions that reach it), of a store (the uses of its value) and of an
// increment (the definitions of the local it reads) is held in the
// quadruple's immediate word, one inline reference when the first word has
// bit 25; the uses of an increment's result are held in its second word,
// inline when its sub-kind is 1.  A reference is a quad_ref (block, slot);
// block 0 with slot 0xFFFF or 0xFFFE stands for the value at entry.
//
// In a loop, a store whose value only feeds the local's own next value
// around the loop (i = i + 1 read by nothing else) is dead: the definitions
// reaching the load it stores are followed until the cycle closes at the
// store the search began with.
//
// Mended: an operand tree that holds anything that may raise or act on the
// world (calls, field and array loads, allocation, casts, division) is never
// deleted: the store is then only marked done, so the exception or the call
// still happens.
//
// No driver runs the pass; flag DFP_DELETE_LOOPS of the pass context, with
// the per-block 16-bit arrays its third and fourth words name, lets it
// delete loops.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "loop/loop.h"

namespace {

constexpr u2 SUB_CHAIN_INLINE = 0x0200;    // first-word bit 25
constexpr u2 SUB_STORE_DONE = 0x0010;      // first-word bit 20
constexpr u4 LOOP_STORE_KEPT = 0x400;
constexpr u4 NODE_KEEP = 0x1, NODE_TWO_SLOT = 0x2;
constexpr u4 S_KEEP = 0x1, S_WATCHED = 0x2, S_INLINE = 0x4, S_STOP = 0x8;
constexpr int RECURSION_LIMIT = 64;

s4 disable_deadstore = -1;

struct search_state {
    s4 watched;
    u4 status;
    u4* chain;
};

bool is_store(u1 op)
{
    return op == OPC_ISTORE || op == OPC_LSTORE || op == OPC_FSTORE || op == OPC_DSTORE || op == OPC_ASTORE;
}

bool is_load(u1 op)
{
    return op == OPC_ILOAD || op == OPC_LLOAD || op == OPC_FLOAD || op == OPC_DLOAD || op == OPC_ALOAD;
}

// Children of an operand node that may go, or -1: a leaf is 0.  Anything
// that may raise, call out or start a class's initialisation stops the
// search like a store does.
s4 pure_children(const quadruple* q)
{
    switch (q->opcode) {
    case OPC_ICONST: case OPC_FCONST: case OPC_ACONST: case OPC_LCONST: case OPC_DCONST: case OPC_DUP:
        return 0;
    case OPC_IOP2: case OPC_LOP2:
        return q->op == QOP_DIV || q->op == QOP_REM ? -1 : 2;
    case OPC_FOP2: case OPC_DOP2: case OPC_LSHIFT:
        return 2;
    case OPC_IOP1: case OPC_FOP1: case OPC_LOP1: case OPC_DOP1: case OPC_I2L: case OPC_I2F: case OPC_I2D:
    case OPC_L2I: case OPC_L2F: case OPC_L2D: case OPC_F2I: case OPC_F2L: case OPC_F2D: case OPC_D2I:
    case OPC_D2L: case OPC_D2F:
        return 1;
    default:
        return -1;
    }
}

bool skipped(const quadruple* q)
{
    return q->opcode == OPC_IINC || (q->opcode == OPC_OTHER && quad_kind_nibble(q) == OTHER_NOP_DELETED);
}

bool chain_inline(const quadruple* q) { return (q->subcode & SUB_CHAIN_INLINE) != 0; }

// The uses of the value a store or increment defines: the word and its form.
u4* value_uses(quadruple* q, bool* inline_form)
{
    if (q->opcode == OPC_IINC) {
        *inline_form = quad_kind_nibble(q) == 1;
        return &q->target;
    }
    *inline_form = chain_inline(q);
    return &q->value;
}

template <typename F> void for_each_ref(u4 word, bool inline_form, F fn)
{
    if (inline_form) {
        if (word != 0)
            fn(static_cast<quad_ref>(word));
        return;
    }
    for (const varref_list* l = reinterpret_cast<const varref_list*>(word); l != nullptr; l = l->next)
        fn(l->ref);
}

bool pseudo(quad_ref r) { return quad_ref_block(r) == 0 && (quad_ref_index(r) == 0xFFFF || quad_ref_index(r) == 0xFFFE); }

struct tree_node {
    s4 child_count;
    tree_node** children;
    bbattr* block;
    quadruple** slot;
    u4 flags;
};

tree_node* new_node(method_compile_context* m, bbattr* b, quadruple** slot, s4 children, u4 flags)
{
    auto* n = static_cast<tree_node*>(jit_wmem_alloc(m->pool1, sizeof(tree_node)));
    n->child_count = children;
    n->children = nullptr;
    if (children > 0) {
        n->children = static_cast<tree_node**>(jit_wmem_alloc(m->pool1, children * sizeof(tree_node*)));
        memset(n->children, 0, children * sizeof(tree_node*));
    }
    n->block = b;
    n->slot = slot;
    n->flags = flags;
    return n;
}

// Builds the tree of one operand that ends at or before slot `from`;
// answers the slot where the search stopped (the one before the tree).
s4 search(method_compile_context* m, bbattr* b, s4 from, search_state* s, u4 parent_flags, tree_node** out,
          int depth)
{
    *out = nullptr;
    while (from >= 0 && skipped(b->catbl[from]))
        from--;
    if (from < 0 || depth > RECURSION_LIMIT) {
        s->status |= S_STOP;
        return -1;
    }
    quadruple* q = b->catbl[from];
    u4 flags = parent_flags & NODE_KEEP;
    if (is_load(q->opcode)) {
        if (q->opcode == OPC_LLOAD || q->opcode == OPC_DLOAD)
            flags |= NODE_TWO_SLOT;
        if (s->watched >= 0 && q->op == static_cast<u4>(s->watched)) {
            s->status |= S_WATCHED;
            if (flags & NODE_KEEP)
                s->status |= S_STOP;
            s->chain = &q->value;
            if (chain_inline(q))
                s->status |= S_INLINE;
        }
        *out = new_node(m, b, &b->catbl[from], 0, flags);
        return from - 1;
    }
    if (is_store(q->opcode)) {
        s->status |= S_STOP;
        return from + 1;
    }
    s4 k = pure_children(q);
    if (k < 0) {
        s->status |= S_STOP;
        return from;
    }
    tree_node* n = new_node(m, b, &b->catbl[from], k, flags);
    *out = n;
    s4 at = from - 1;
    for (s4 c = 0; c < k && !(s->status & S_STOP); c++)
        at = search(m, b, at, s, flags, &n->children[c], depth + 1);
    return at;
}

// Deletes (or, without `perform`, only walks) a tree.
void delete_tree(method_compile_context* m, tree_node* n, bool perform)
{
    if (n == nullptr || (n->flags & NODE_KEEP))
        return;
    quadruple* q = *n->slot;
    u4 block = n->block->id, index = static_cast<u4>(n->slot - n->block->catbl);
    if (is_load(q->opcode))
        Delete_Load(m, block, index, perform ? 1 : 0);
    else if (q->opcode == OPC_IINC)
        Delete_IINC(m, block, index, perform ? 1 : 0);
    else if (perform)
        quad_make_nop(q, false);
    for (s4 c = 0; c < n->child_count; c++)
        delete_tree(m, n->children[c], perform);
}

// Operand trees of a store or pop at `index`: children of the root.
tree_node* operand_tree(method_compile_context* m, bbattr* b, u4 index, search_state* s, s4* stop)
{
    quadruple* q = b->catbl[index];
    s4 children = q->opcode == OPC_IINC ? 0 : q->opcode == OPC_POP2 ? 2 : 1;
    tree_node* root = new_node(m, b, &b->catbl[index], children, 0);
    s4 at = static_cast<s4>(index) - 1;
    for (s4 c = 0; c < root->child_count && !(s->status & S_STOP); c++) {
        at = search(m, b, at, s, 0, &root->children[c], 1);
        // A long or double load fills both words of a pop2.
        if (q->opcode == OPC_POP2 && c == 0 && root->children[0] != nullptr
            && (root->children[0]->flags & NODE_TWO_SLOT))
            root->child_count = 1;
    }
    *stop = at;
    return root;
}

struct ds_call {
    method_compile_context* m;
    quad_ref start;
    int depth;
};

int dead_store(ds_call& c, u4 block, u4 index, s4* stop);

// Every use of D's value lies in block `block` between `low` and `high`:
// then the verdict on D, or 1 when D closes the cycle.
int definition_test(ds_call& c, quad_ref v, u4 block, s4 low, s4 high, bool* failed)
{
    *failed = true;
    u4 db = quad_ref_block(v), di = quad_ref_index(v);
    if (db == 0 || db >= c.m->bb_count || di >= c.m->bb_table[db]->quad_count)
        return 0;
    quadruple* d = c.m->bb_table[db]->catbl[di];
    if (!is_store(d->opcode) && d->opcode != OPC_IINC)
        return 0;
    bool inline_form;
    u4* uses = value_uses(d, &inline_form);
    bool inside = true;
    for_each_ref(*uses, inline_form, [&](quad_ref u) {
        s4 k = static_cast<s4>(quad_ref_index(u));
        if (quad_ref_block(u) != block || k < low || k > high)
            inside = false;
    });
    if (!inside)
        return 0;
    *failed = false;
    if (v == c.start)
        return 1;
    if (c.depth >= RECURSION_LIMIT)
        return 0;
    c.depth++;
    s4 ignored;
    int r = dead_store(c, db, di, &ignored);
    c.depth--;
    return r;
}

// The in-loop check of a store or increment whose value is still read.
int cycle_verdict(ds_call& c, u4 block, u4 index, search_state* s, s4 low)
{
    const bbattr* b = c.m->bb_table[block];
    quadruple* q = b->catbl[index];
    u4 chain;
    bool inline_form;
    if (q->opcode == OPC_IINC) {
        chain = q->value;
        inline_form = chain_inline(q);
    } else {
        if (s->status & S_STOP)
            return 0;
        if (!(s->status & S_WATCHED))
            return 2;
        chain = *s->chain;
        inline_form = (s->status & S_INLINE) != 0;
    }
    s4 high = static_cast<s4>(index);
    bool failed;
    if (inline_form) {
        if (chain == 0 || pseudo(chain))
            return 0;
        int r = definition_test(c, chain, block, low, high, &failed);
        return failed ? 0 : r;
    }
    int result = 0;
    for (const varref_list* l = reinterpret_cast<const varref_list*>(chain); l != nullptr; l = l->next) {
        if (pseudo(l->ref))
            return 0;
        u4 vb = quad_ref_block(l->ref);
        if (vb == 0 || vb >= c.m->bb_count)
            continue;
        const bbattr* d = c.m->bb_table[vb];
        if (!(d->flags & BB_KIND_LOOP) || d->loop_index != b->loop_index)
            continue;
        if (d->loop_depth == b->loop_depth) {
            int r = definition_test(c, l->ref, block, low, high, &failed);
            if (failed || r == 0)
                return 0;
            result = r;
        } else if (d->loop_depth < b->loop_depth) {
            return 0;
        }
    }
    return result;
}

// Drops the uses in unreachable blocks from a store's or increment's chain.
void prune_uses(method_compile_context* m, quadruple* q)
{
    bool inline_form;
    u4* uses = value_uses(q, &inline_form);
    auto unreachable = [&](quad_ref r) {
        u4 b = quad_ref_block(r);
        return b != 0 && b < m->bb_count && (m->bb_table[b]->flags & BB_DEAD);
    };
    if (inline_form) {
        if (*uses != 0 && unreachable(*uses))
            *uses = 0;
        return;
    }
    auto** link = reinterpret_cast<varref_list**>(uses);
    while (*link != nullptr) {
        if (unreachable((*link)->ref))
            *link = (*link)->next;
        else
            link = &(*link)->next;
    }
    const varref_list* head = reinterpret_cast<const varref_list*>(*uses);
    if (head != nullptr && head->next == nullptr) {
        *uses = head->ref;
        if (q->opcode == OPC_IINC)
            quad_set_kind_nibble(q, 1);
        else
            q->subcode |= SUB_CHAIN_INLINE;
    }
}

int dead_store(ds_call& c, u4 block, u4 index, s4* stop)
{
    bbattr* b = c.m->bb_table[block];
    quadruple* q = b->catbl[index];
    *stop = static_cast<s4>(index) - 1;
    if (b->flags & BB_DEAD)
        return 2;
    if (is_store(q->opcode) && (q->subcode & SUB_STORE_DONE))
        return 1;
    bool pop = q->opcode == OPC_POP || q->opcode == OPC_POP2;
    search_state s{};
    s.watched = pop ? -1 : static_cast<s4>(q->op);
    int result;
    tree_node* tree = nullptr;
    bool has_uses = false;
    if (!pop) {
        prune_uses(c.m, q);
        bool inline_form;
        has_uses = *value_uses(q, &inline_form) != 0;
    }
    if (!has_uses) {
        tree = operand_tree(c.m, b, index, &s, stop);
        if (s.status & S_STOP)
            s.status |= S_KEEP;
        result = 1;
    } else if (!(b->flags & BB_KIND_LOOP)) {
        return 0;
    } else {
        s4 low = static_cast<s4>(index);
        if (q->opcode != OPC_IINC) {
            tree = operand_tree(c.m, b, index, &s, stop);
            low = *stop;
        }
        result = cycle_verdict(c, block, index, &s, low);
    }
    if (result != 1 || c.depth > 0)
        return result;
    if (tree == nullptr)
        tree = new_node(c.m, b, &b->catbl[index], 0, 0);
    if (s.status & S_KEEP) {
        delete_tree(c.m, tree, false);
        if (is_store(q->opcode)) {
            q->subcode |= SUB_STORE_DONE;
            if ((b->flags & BB_KIND_LOOP) && b->loop_index >= 0 && static_cast<u4>(b->loop_index) < c.m->loop_count)
                mcc_loop(c.m, static_cast<u4>(b->loop_index))->flags |= LOOP_STORE_KEPT;
        }
        return 0;
    }
    delete_tree(c.m, tree, true);
    return 1;
}

// The uses of a store's or increment's value all stay in its loop level.
bool uses_stay_in_loop(const method_compile_context* m, quadruple* q, const bbattr* b)
{
    bool inline_form;
    u4* uses = value_uses(q, &inline_form);
    bool stay = true;
    for_each_ref(*uses, inline_form, [&](quad_ref u) {
        u4 ub = quad_ref_block(u);
        const bbattr* x = ub < m->bb_count ? m->bb_table[ub] : nullptr;
        if (x == nullptr || !(x->flags & BB_KIND_LOOP) || x->loop_index != b->loop_index
            || x->loop_depth != b->loop_depth)
            stay = false;
    });
    return stay;
}

// Does this quadruple keep its loop from going?
bool keeps_loop(const quadruple* q)
{
    switch (q->opcode) {
    case OPC_IOP2: case OPC_LOP2:
        return q->op == QOP_DIV || q->op == QOP_REM;
    case OPC_IALOAD: case OPC_IASTORE: case OPC_LALOAD: case OPC_LASTORE: case OPC_FALOAD: case OPC_FASTORE:
    case OPC_DALOAD: case OPC_DASTORE: case OPC_AALOAD: case OPC_AASTORE:
    case OPC_FOP2: case OPC_IRETURN: case OPC_LRETURN: case OPC_FRETURN: case OPC_DRETURN: case OPC_ARETURN:
    case OPC_NEW: case OPC_CHECKCAST: case OPC_MONITOR: case OPC_ICALL: case OPC_LCALL: case OPC_FCALL:
    case OPC_DCALL: case OPC_ACALL: case OPC_VCALL: case OPC_CALL_MARK: case OPC_NEWARRAY: case OPC_ANEWARRAY:
    case OPC_MULTIANEWARRAY: case OPC_ARRAYLENGTH: case OPC_ATHROW: case OPC_NULLCHECK_MARK: case OPC_EADDR:
        return true;
    case OPC_IPUTFIELD: case OPC_LPUTFIELD: case OPC_FPUTFIELD: case OPC_DPUTFIELD: case OPC_APUTFIELD:
    case OPC_IPUTSTATIC: case OPC_LPUTSTATIC: case OPC_FPUTSTATIC: case OPC_DPUTSTATIC: case OPC_APUTSTATIC:
        return true;
    case OPC_IGETFIELD: case OPC_LGETFIELD: case OPC_FGETFIELD: case OPC_DGETFIELD: case OPC_AGETFIELD:
        return (quad_word0(q) & 0xC0800000u) != 0x800000u;
    case OPC_IGETSTATIC: case OPC_LGETSTATIC: case OPC_FGETSTATIC: case OPC_DGETSTATIC: case OPC_AGETSTATIC:
        return (quad_word0(q) & 0xC0000000u) != 0;
    default:
        return false;
    }
}

bool improvable_by_typeflow(const quadruple* q, const quadruple* prev)
{
    switch (q->opcode) {
    case OPC_IOP2: return q->op == QOP_DIV || q->op == QOP_REM;
    case OPC_IOP1: return q->op >= QOP_I2B && q->op <= QOP_ABS;
    case OPC_IALOAD: case OPC_IASTORE: case OPC_LALOAD: case OPC_LASTORE: case OPC_FALOAD: case OPC_FASTORE:
    case OPC_DALOAD: case OPC_DASTORE: case OPC_AALOAD: case OPC_AASTORE:
        return true;
    case OPC_SWITCH: return prev != nullptr && prev->opcode == OPC_ILOAD;
    default: return false;
    }
}

u4 exit_target(const method_compile_context* m, const bbattr* e, u4 first, u4 last)
{
    for (s4 k = static_cast<s4>(e->succ_count) - 1; k >= 0; k--) {
        u4 s = bb_succ_block(e->succ[k]);
        if (s < first || s > last)
            return s;
    }
    return 0;
}

// No entry of a chain lies in the range but in block `except`.
bool chain_outside(u4 word, bool inline_form, u4 low, u4 high, u4 except)
{
    bool outside = true;
    for_each_ref(word, inline_form, [&](quad_ref r) {
        u4 b = quad_ref_block(r);
        if (b != except && b >= low && b <= high)
            outside = false;
    });
    return outside;
}

} // namespace

int bytecode_dead_store(method_compile_context* m, u4 block, u4 index, s4* stop)
{
    ds_call c{m, make_quad_ref(block, index), 0};
    return dead_store(c, block, index, stop);
}

int CheckDeleteLoop(method_compile_context* m, u4 loop_no, dataflow_pass_context* pc)
{
    if (loop_no >= m->loop_count)
        return 0;
    const loop_table_record* loop = mcc_loop(m, loop_no);
    const loopattribute* body = loop != nullptr ? loop->body : nullptr;
    if (body == nullptr || loop->state != 1 || (loop->flags & LOOP_INVALID) || body->exit_count != 1
        || body->exits == nullptr)
        return 0;
    u4 e_id = body->exits[0], first = body->first_id, last = body->last_id;
    if (e_id >= m->bb_count || last >= m->bb_count)
        return 0;
    u4 p_id = 0;
    bool found = false;
    for (const loop_link* l = body->pre_entry; l != nullptr && !found; l = l->next)
        if (l->value < first || l->value > last) {
            p_id = l->value;
            found = true;
        }
    if (!found || p_id >= m->bb_count)
        return 0;
    const bbattr* e = m->bb_table[e_id];
    u4 t_id = exit_target(m, e, first, last);
    if (t_id == 0 || t_id >= m->bb_count)
        return 0;
    if (!(pc->flags & DFP_DELETE_LOOPS))
        return 0;
    const u2* at_pred = reinterpret_cast<const u2*>(pc->word4);
    const u2* at_exit = reinterpret_cast<const u2*>(pc->word3);
    if (at_pred == nullptr || at_exit == nullptr || at_pred[p_id] != 0 || at_exit[t_id] != 0 || at_exit[e_id] != 0)
        return 0;
    // The exit test: increment by one, load of the counter, compare.
    if (e->quad_count < 4)
        return 0;
    const quadruple* seq[4];
    u4 n = 0;
    for (u4 k = 0; k < e->quad_count && n < 4; k++) {
        const quadruple* q = e->catbl[k];
        if (q->opcode == OPC_OTHER && quad_kind_nibble(q) == OTHER_NOP_DELETED)
            continue;
        seq[n++] = q;
    }
    if (n < 3)
        return 0;
    const quadruple* inc = seq[0];
    if (inc->opcode != OPC_IINC || (inc->count != 1 && inc->count != 0xFFFF))
        return 0;
    if (seq[1]->opcode != OPC_ILOAD || seq[1]->op != inc->op)
        return 0;
    const quadruple* bound = nullptr;
    if (seq[2]->opcode != OPC_IFZ) {
        if (n < 4 || seq[3]->opcode != OPC_IFCMP || (seq[3]->op != QCC_LT && seq[3]->op != QCC_GT))
            return 0;
        bound = seq[2];
    }
    u4 low = body->entry_successor != nullptr ? body->entry_successor->id : first;
    if (!chain_outside(inc->value, chain_inline(inc), low, last, e_id))
        return 0;
    if (bound != nullptr) {
        if (bound->opcode == OPC_ILOAD) {
            if (!chain_outside(bound->value, chain_inline(bound), low, last, e_id))
                return 0;
        } else if (bound->opcode != OPC_ICONST) {
            return 0;
        }
    }
    const bbattr* p = m->bb_table[p_id];
    for (u4 k = 0; k < p->succ_count; k++)
        if (bb_succ_block(p->succ[k]) == body->entry_id)
            return 1;
    return 0;
}

int DeleteLoop(method_compile_context* m, u4 loop_no)
{
    if (loop_no >= m->loop_count)
        return 0;
    const loop_table_record* loop = mcc_loop(m, loop_no);
    const loopattribute* body = loop != nullptr ? loop->body : nullptr;
    if (body == nullptr || body->exit_count < 1 || body->exits == nullptr)
        return 0;
    u4 first = body->first_id, last = body->last_id;
    u4 p_id = 0;
    bool found = false;
    for (const loop_link* l = body->pre_entry; l != nullptr && !found; l = l->next)
        if (l->value < first || l->value > last) {
            p_id = l->value;
            found = true;
        }
    u4 t_id = body->exits[0] < m->bb_count ? exit_target(m, m->bb_table[body->exits[0]], first, last) : 0;
    if (!found || p_id >= m->bb_count || t_id == 0 || t_id >= m->bb_count)
        return 0;
    bbattr* p = m->bb_table[p_id];
    bool redirected = false;
    for (s4 k = static_cast<s4>(p->succ_count) - 1; k >= 0 && !redirected; k--)
        if (bb_succ_block(p->succ[k]) == body->entry_id) {
            p->succ[k] = t_id;
            redirected = true;
        }
    if (!redirected)
        return 0;
    bbattr* t = m->bb_table[t_id];
    t->pred_count++;
    DecrementBackward(m, p_id, body->entry_id);
    quadruple** last_slot = p->quad_count > 0 ? &p->catbl[p->quad_count - 1] : nullptr;
    while (last_slot != nullptr && last_slot >= p->catbl && skipped(*last_slot))
        last_slot = last_slot > p->catbl ? last_slot - 1 : nullptr;
    quadruple* jump = last_slot != nullptr ? *last_slot : nullptr;
    if (p->succ_count == 1 && jump != nullptr && jump->opcode == OPC_GOTO) {
        jump->target = t_id;
    } else if (p->succ_count == 2 && p->succ[0] == p->succ[1] && jump != nullptr
               && (jump->opcode == OPC_IFZ || jump->opcode == OPC_IFCMP)) {
        u4 index = static_cast<u4>(last_slot - p->catbl);
        if (!Delete_BytecodeTree(m, p_id, index, 1)) {
            u1 pop = jump->opcode == OPC_IFZ ? OPC_POP : OPC_POP2;
            quad_make_nop(jump, false);
            jump->opcode = pop;
        }
        p->succ_count = 1;
        t->pred_count--;
    }
    return 1;
}

int dataflow_deadstore(method_compile_context* m, dataflow_pass_context* pc)
{
    if (df_env_switch(&disable_deadstore, "DISABLE_DEADSTORE") != 0)
        return 0;
    if ((m->state_flags & MCC_STMT_CHAINS_NOT_KEPT) || !(pc->flags & DFP_BC_DEADSTORE)
        || (m->mb != nullptr && m->mb->exception_table_length != 0))
        return 0;
    u1* deletable = nullptr;
    if (m->loop_count > 0) {
        deletable = static_cast<u1*>(jit_wmem_alloc(m->pool1, m->loop_count * sizeof(u4)));
        if (deletable == nullptr)
            return 1;
    }
    pc->flags &= ~DFP_TYPEFLOW;
    bool deleted_loop = true;
    while (deleted_loop) {
        deleted_loop = false;
        if (deletable != nullptr)
            memset(deletable, 1, m->loop_count);
        auto keep = [&](const bbattr* b) {
            if (deletable != nullptr && (b->flags & BB_KIND_LOOP) && b->loop_index >= 0
                && static_cast<u4>(b->loop_index) < m->loop_count)
                deletable[b->loop_index] = 0;
        };
        for (s4 i = static_cast<s4>(m->dfs_count) - 1; i >= 0; i--) {
            u4 block = m->dfs_array[i];
            if (block >= m->bb_count)
                continue;
            bbattr* b = m->bb_table[block];
            if (b->flags & BB_DEAD)
                continue;
            for (s4 k = static_cast<s4>(b->quad_count) - 1; k >= 0; k--) {
                quadruple* q = b->catbl[k];
                const quadruple* prev = k > 0 ? b->catbl[k - 1] : nullptr;
                if (is_store(q->opcode) || q->opcode == OPC_IINC || q->opcode == OPC_POP || q->opcode == OPC_POP2) {
                    s4 stop;
                    if (bytecode_dead_store(m, block, static_cast<u4>(k), &stop) == 1) {
                        pc->flags |= DFP_NOPS_TO_REMOVE;
                        continue;
                    }
                    if (q->opcode != OPC_POP && q->opcode != OPC_POP2 && (b->flags & BB_KIND_LOOP)
                        && !uses_stay_in_loop(m, q, b))
                        keep(b);
                    continue;
                }
                if (improvable_by_typeflow(q, prev))
                    pc->flags |= DFP_TYPEFLOW;
                if (keeps_loop(q))
                    keep(b);
            }
        }
        for (s4 i = static_cast<s4>(m->loop_count) - 1; i >= 0 && deletable != nullptr; i--) {
            if (!deletable[i] || !CheckDeleteLoop(m, static_cast<u4>(i), pc))
                continue;
            loop_table_record* loop = mcc_loop(m, static_cast<u4>(i));
            if ((loop->flags & LOOP_HAS_MARKED) && !(loop->flags & LOOP_VERSIONED))
                continue;
            if (loop->flags & (LOOP_HAS_MARKED | LOOP_ABOVE_LIMIT))
                move_mmi_tp_to_succeeding_bb(m, loop, m->frontend_words);
            if (DeleteLoop(m, static_cast<u4>(i))) {
                pc->flags |= DFP_FLOW_CHANGED;
                deleted_loop = true;
            }
        }
    }
    return 0;
}
