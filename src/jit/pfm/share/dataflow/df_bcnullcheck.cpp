// Null-check elimination over the bytecode-level instruction records.
//
// Before the quadruples are lowered (while the records still push and pop the
// Java operand stack) a forward must-analysis finds, per block, the locals
// known to hold a non-null reference.  Its transfer functions come from a
// simulation of the operand stack over each block: a dereference of a local
// proves it non-null past that point, a store makes its destination non-null
// only when the stored value is a fresh object or a non-null local.  The
// rewrite walk then marks the dereferences whose object is already known
// non-null (their null check is not needed), folds compares with null of such
// references, and removes explicit checks of them.  The first run also leaves
// hints for later analyses: locals used as arrays and as array indexes, and
// whether the method reads fields often enough for field privatization.
//
// What a fact may rest on: every entry of the method (the successors of
// block 0: the first block, the handlers, the subroutines, the interpreter's
// transfer entry) knows nothing but the receiver, which only the first block
// knows, in an instance method.  Entries are seeded as met, so that a back
// edge into an entry intersects with the entry's facts instead of becoming
// the block's only fact.  A stack slot that names a local's value stops
// naming it when the local is overwritten, so that a check of the old value
// proves nothing about the new one.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/qgen.h"
#include "dataflow/df_bcanalyses.h"
#include "dataflow/df_bcstack.h"
#include "frontend/frontend.h"

namespace {

s4 disable_nullcheck = -1;

// Values of a stack slot of this analysis.
constexpr s4 NC_FRESH = -100;       // a freshly allocated object
constexpr s4 NC_UNKNOWN = -1;       // no tracked source
constexpr s4 NC_KIND_OTHER = 1;     // a value that is not a local's
constexpr s4 NC_KIND_REF = 2;       // a local's value, a fresh object or an untracked reference

struct nc_slot {
    s4 kind;
    u4 two;                 // both slots of a two-slot value
    s4 value;               // local number, NC_FRESH or NC_UNKNOWN
    s4 producer;            // index in its block of the record that pushed it
    u4 flags;               // bit 0: copied or moved by a dup or swap
    u4 block;               // block that pushed it
    void mark() { flags |= 1; }
};

enum nc_phase { NC_INIT, NC_FINAL };

struct nc_walk {
    method_compile_context* m;
    dataflow_pass_context* pc;
    dataflow_block_sets* sets;
    nc_phase phase;
    bool vector;            // more than 64 locals: sets are word arrays
    u4 nlocals;
    u4 words;
    abstract_stack<nc_slot> st;
    u4 block;               // block being walked
    u4 index;               // record being walked
    // Init: the block's GEN and KILL.  Final: the running set.
    u8* gen;
    u8* kill;
    u8* running;
    u4 field_weight;
    u4 static_weight;
    u4 array_accesses;
    bool stop;              // Final: a compare the rules do not cover ended the walk
};

bool is_local(const nc_walk& w, s4 v) { return v >= 0 && static_cast<u4>(v) < w.nlocals; }

bool test(const u8* set, u4 i) { return (set[i >> 6] & ABIT_llshr[i & 63]) != 0; }
void add(u8* set, u4 i) { set[i >> 6] |= ABIT_llshr[i & 63]; }
void drop(u8* set, u4 i) { set[i >> 6] &= ~ABIT_llshr[i & 63]; }

u8* gen_of(nc_walk& w, u4 b) { return w.vector ? df_vec(w.sets[b].gen) : &w.sets[b].gen; }
u8* kill_of(nc_walk& w, u4 b) { return w.vector ? df_vec(w.sets[b].kill) : &w.sets[b].kill; }
u8* in_of(nc_walk& w, u4 b) { return w.vector ? df_vec(w.sets[b].in) : &w.sets[b].in; }

// ---- the simulated stack ---------------------------------------------------------

void push(nc_walk& w, s4 kind, s4 value)
{
    nc_slot* s = w.st.push_slot();
    if (s != nullptr)
        *s = nc_slot{kind, 0, value, static_cast<s4>(w.index), 0, w.block};
}
void push_one(nc_walk& w) { push(w, NC_KIND_OTHER, NC_UNKNOWN); }
void push_two(nc_walk& w) { w.st.push2(nc_slot{NC_KIND_OTHER, 0, NC_UNKNOWN, static_cast<s4>(w.index), 0, w.block}); }

// The value word of a popped slot: a local, NC_FRESH, or NC_UNKNOWN.
s4 value_of(const nc_slot* s)
{
    return s != nullptr && s->kind == NC_KIND_REF && !s->two ? s->value : NC_UNKNOWN;
}
s4 pop(nc_walk& w) { return value_of(w.st.pop_any()); }
s4 pop_with_origin(nc_walk& w, s4* producer, u4* block)
{
    nc_slot* s = w.st.pop_any();
    *producer = s != nullptr && !(s->flags & 1) ? s->producer : -1;
    *block = s != nullptr ? s->block : w.block;
    return value_of(s);
}
s4 pop2(nc_walk& w)
{
    nc_slot* s = w.st.pop2();
    return s != nullptr && s->kind == NC_KIND_REF && s->two && s->value >= 0 ? s->value : NC_UNKNOWN;
}
s4 pop_n(nc_walk& w, s4 n)
{
    if (n < 1)
        return NC_UNKNOWN;
    return value_of(w.st.pop_n(n));
}

// After a store into local L no slot may go on naming L's old value.
void forget_local(nc_walk& w, u4 local)
{
    w.st.forget_if([local](const nc_slot& s) { return s.kind == NC_KIND_REF && s.value == static_cast<s4>(local); },
                   [](nc_slot& s) { s.value = NC_UNKNOWN; });
}

// ---- the rules -------------------------------------------------------------------

// A dereference of value v by the record q.
void deref(nc_walk& w, quadruple* q, s4 v)
{
    if (w.phase == NC_INIT) {
        if (is_local(w, v)) {
            add(w.gen, static_cast<u4>(v));
            drop(w.kill, static_cast<u4>(v));
        }
        return;
    }
    if (v == NC_FRESH || (is_local(w, v) && test(w.running, static_cast<u4>(v))))
        q->subcode |= QS_NO_NULLCHECK;
    else if (is_local(w, v))
        add(w.running, static_cast<u4>(v));
}

void store(nc_walk& w, u4 dest, s4 v)
{
    if (dest >= w.nlocals)
        return;
    if (w.phase == NC_INIT) {
        if (v == NC_FRESH || (is_local(w, v) && test(w.gen, static_cast<u4>(v)))) {
            add(w.gen, dest);
            drop(w.kill, dest);
            if (v == NC_FRESH) {
                w.pc->flags |= DFP_ARRAY_HINT;
                if (w.pc->array_locals != nullptr)
                    w.pc->array_locals[dest >> 5] |= 1u << (dest & 31);
            }
        } else {
            drop(w.gen, dest);
            add(w.kill, dest);
        }
    } else {
        if (v == NC_FRESH || (is_local(w, v) && test(w.running, static_cast<u4>(v))))
            add(w.running, dest);
        else
            drop(w.running, dest);
    }
}

void overwrite(nc_walk& w, u4 local)
{
    if (local >= w.nlocals)
        return;
    if (w.phase == NC_INIT) {
        drop(w.gen, local);
        add(w.kill, local);
    } else {
        drop(w.running, local);
    }
}

void forget_all(nc_walk& w)
{
    if (w.phase == NC_INIT) {
        memset(w.gen, 0, 8 * w.words);
        memset(w.kill, 0xFF, 8 * w.words);
    } else {
        memset(w.running, 0, 8 * w.words);
    }
}

// An array access: index i and array a popped.
void array_access(nc_walk& w, quadruple* q, s4 index, s4 array)
{
    deref(w, q, array);
    if (w.phase != NC_INIT)
        return;
    if (is_local(w, array)) {
        if (w.pc->array_locals != nullptr)
            w.pc->array_locals[array >> 5] |= 1u << (array & 31);
        if (++w.array_accesses >= 2)
            w.pc->flags |= DFP_ARRAY_HINT;
    }
    if (is_local(w, index) && w.pc->index_locals != nullptr)
        w.pc->index_locals[index >> 5] |= 1u << (index & 31);
}

void compare(nc_walk& w, quadruple** slot)
{
    quadruple* q = *slot;
    s4 producer;
    u4 pblock;
    s4 v = pop_with_origin(w, &producer, &pblock);
    u4 kind = q->subcode & QS_KIND_MASK;
    if (kind == 1 || kind == 2)
        return;
    if (v == NC_FRESH) {
        q->subcode |= QS_NO_NULLCHECK;
        return;
    }
    if (!is_local(w, v) || !test(w.running, static_cast<u4>(v)))
        return;
    if (producer < 0) {
        q->subcode |= QS_NO_NULLCHECK;
        return;
    }
    if (q->op != QCC_EQ && q->op != QCC_NE) {
        w.stop = true;
        return;
    }
    if (ResolveACMP1(w.m, w.block, slot, pblock, static_cast<u4>(producer), q->op == QCC_NE) == 1)
        w.pc->flags |= DFP_FLOW_CHANGED;
}

// An explicit check of the `count` top slots.
void explicit_check(nc_walk& w, bbattr* b, quadruple* q)
{
    s4 n = q->op;
    s4 v = pop_n(w, n);
    if (w.phase != NC_FINAL) {
        if ((q->subcode & QS_KIND_MASK) != 0)
            deref(w, q, v);
        return;
    }
    if ((q->subcode & QS_KIND_MASK) == 0 || !(v == NC_FRESH || is_local(w, v)))
        return;
    bool known = v == NC_FRESH || test(w.running, static_cast<u4>(v));
    if (n == 1 && w.index > 0 && known) {
        quadruple* prev = b->catbl[w.index - 1];
        if (prev->opcode == OPC_ALOAD) {
            quad_make_nop(q, false);
            Delete_Load(w.m, w.block, w.index - 1, 1);
            return;
        }
        if (prev->opcode == OPC_DUP) {
            quad_make_nop(q, false);
            quad_make_nop(prev, false);
            return;
        }
    }
    deref(w, q, v);
}

void invoke(nc_walk& w, quadruple* q)
{
    s4 receiver = pop_n(w, q->count & 0xFF);
    if (Get_INVOKE_NULLCHECK(&q))
        deref(w, q, receiver);
    switch (q->opcode) {
    case OPC_ICALL: case OPC_FCALL: push_one(w); break;
    case OPC_LCALL: case OPC_DCALL: push_two(w); break;
    case OPC_ACALL: push(w, NC_KIND_REF, NC_UNKNOWN); break;
    default: break;
    }
}

void add_weight(nc_walk& w, const bbattr* b, u4* weight)
{
    if (w.phase == NC_INIT)
        *weight += (b->flags & BB_KIND_LOOP) ? 10 : 1;
}

void simulate(nc_walk& w, bbattr* b, quadruple** slot)
{
    quadruple* q = *slot;
    u1 op = q->opcode;
    if (op > 183)
        return;
    switch (op) {
    case OPC_OTHER: {
        u4 kind = q->subcode & QS_KIND_MASK;
        if (kind == 1 || kind == 2)
            w.st.clear();
        break;
    }
    case OPC_ALOAD:
        push(w, NC_KIND_REF, q->op);
        break;
    case OPC_ILOAD:
        if (w.phase == NC_INIT)
            push(w, NC_KIND_REF, q->op);
        else
            push_one(w);
        break;
    case OPC_ICONST: case OPC_FLOAD: case OPC_FCONST: case OPC_PLOAD: case OPC_XALOAD:
        push_one(w);
        break;
    case OPC_IGETSTATIC: case OPC_FGETSTATIC:
        add_weight(w, b, &w.static_weight);
        push_one(w);
        break;
    case OPC_AGETSTATIC:
        add_weight(w, b, &w.static_weight);
        if (w.phase == NC_INIT)
            push_one(w);
        else
            push(w, NC_KIND_REF, NC_UNKNOWN);
        break;
    case OPC_LGETSTATIC: case OPC_DGETSTATIC:
        add_weight(w, b, &w.static_weight);
        push_two(w);
        break;
    case OPC_LLOAD: case OPC_LCONST: case OPC_DLOAD: case OPC_DCONST:
        push_two(w);
        break;
    case OPC_ACONST:
        push(w, NC_KIND_REF, NC_UNKNOWN);
        break;
    case OPC_NEW: case OPC_LDC:
        push(w, NC_KIND_REF, NC_FRESH);
        break;
    case OPC_NEWARRAY: case OPC_ANEWARRAY:
        pop(w);
        push(w, NC_KIND_REF, NC_FRESH);
        break;
    case OPC_MULTIANEWARRAY:
        pop_n(w, q->count);
        push(w, NC_KIND_REF, NC_FRESH);
        break;
    case OPC_ISTORE: case OPC_IFZ: case OPC_FSTORE: case OPC_SWITCH: case OPC_IPUTSTATIC:
    case OPC_FPUTSTATIC: case OPC_APUTSTATIC: case OPC_POP: case OPC_PSTORE: case OPC_XASTORE:
        pop(w);
        break;
    case OPC_IFNULL:
        if (w.phase == NC_INIT)
            pop(w);
        else
            compare(w, slot);
        break;
    case OPC_IFCMP: case OPC_IFACMP:
        pop(w);
        pop(w);
        break;
    case OPC_IOP1: case OPC_FOP1: case OPC_INSTANCEOF: case OPC_I2F: case OPC_F2I: case OPC_LDCTABLE:
        pop(w);
        push_one(w);
        break;
    case OPC_FOP2: case OPC_FCMP:
        pop(w);
        pop(w);
        push_one(w);
        break;
    case OPC_IOP2: {
        s4 y = pop(w);
        s4 x = pop(w);
        if (w.phase == NC_INIT && is_local(w, x) != is_local(w, y)) {
            if (is_local(w, x) && (q->op == QOP_ADD || q->op == QOP_SUB)) {
                push(w, NC_KIND_REF, x);
                break;
            }
            if (is_local(w, y) && q->op == QOP_ADD) {
                push(w, NC_KIND_REF, y);
                break;
            }
        }
        push_one(w);
        break;
    }
    case OPC_LSTORE: case OPC_DSTORE: case OPC_LPUTSTATIC: case OPC_DPUTSTATIC: case OPC_POP2:
        pop2(w);
        break;
    case OPC_LOP2: case OPC_DOP2:
        pop2(w);
        pop2(w);
        push_two(w);
        break;
    case OPC_LSHIFT:
        pop(w);
        pop2(w);
        push_two(w);
        break;
    case OPC_LOP1: case OPC_DOP1: case OPC_L2D: case OPC_D2L:
        pop2(w);
        push_two(w);
        break;
    case OPC_LCMP: case OPC_DCMP:
        pop2(w);
        pop2(w);
        push_one(w);
        break;
    case OPC_I2L: case OPC_I2D: case OPC_F2L: case OPC_F2D:
        pop(w);
        push_two(w);
        break;
    case OPC_L2I: case OPC_L2F: case OPC_D2I: case OPC_D2F:
        pop2(w);
        push_one(w);
        break;
    case OPC_ACMOVE: case OPC_ICMOVE: case OPC_FCMOVE:
        pop_n(w, 4);
        push_one(w);
        break;
    case OPC_LCMOVE: case OPC_DCMOVE:
        pop2(w);
        pop2(w);
        pop(w);
        pop(w);
        push_one(w);
        break;
    case OPC_IRETURN: case OPC_FRETURN: case OPC_ARETURN:
        pop(w);
        w.st.clear();
        break;
    case OPC_LRETURN: case OPC_DRETURN:
        pop2(w);
        w.st.clear();
        break;
    case OPC_DUP: w.st.dup(); break;
    case OPC_DUP2: w.st.dup2(); break;
    case OPC_DUP_X1: w.st.dup_x1(); break;
    case OPC_DUP2_X1: w.st.dup2_x1(); break;
    case OPC_DUP_X2: w.st.dup_x2(); break;
    case OPC_DUP2_X2: w.st.dup2_x2(); break;
    case OPC_SWAP: w.st.swap(); break;
    case OPC_ASTORE: {
        s4 v = pop(w);
        store(w, q->op, v);
        forget_local(w, q->op);
        break;
    }
    case OPC_XSTORE:
        overwrite(w, q->op);
        forget_local(w, q->op);
        if (w.phase == NC_FINAL && !w.st.empty()) {
            w.st.top()->producer = static_cast<s4>(w.index);
            w.st.top()->block = w.block;
        }
        break;
    case OPC_ATHROW:
        if (w.phase == NC_FINAL)
            deref(w, q, pop(w));
        w.st.clear();
        break;
    case OPC_JSR:
        push_one(w);
        forget_all(w);
        w.st.clear();
        break;
    case OPC_IALOAD: case OPC_FALOAD: case OPC_AALOAD: {
        s4 i = pop(w);
        s4 a = pop(w);
        array_access(w, q, i, a);
        push_one(w);
        break;
    }
    case OPC_LALOAD: case OPC_DALOAD: {
        s4 i = pop(w);
        s4 a = pop(w);
        array_access(w, q, i, a);
        push_two(w);
        break;
    }
    case OPC_IASTORE: case OPC_FASTORE: case OPC_AASTORE: {
        pop(w);
        s4 i = pop(w);
        s4 a = pop(w);
        array_access(w, q, i, a);
        break;
    }
    case OPC_LASTORE: case OPC_DASTORE: {
        pop2(w);
        s4 i = pop(w);
        s4 a = pop(w);
        array_access(w, q, i, a);
        break;
    }
    case OPC_MONITOR:
        deref(w, q, pop(w));
        break;
    case OPC_ARRAYLENGTH:
        deref(w, q, pop(w));
        push_one(w);
        break;
    case OPC_EADDR: {
        pop(w);
        deref(w, q, pop(w));
        push_one(w);
        break;
    }
    case OPC_IGETFIELD: case OPC_FGETFIELD: case OPC_AGETFIELD:
        add_weight(w, b, &w.field_weight);
        deref(w, q, pop(w));
        push_one(w);
        break;
    case OPC_LGETFIELD: case OPC_DGETFIELD:
        add_weight(w, b, &w.field_weight);
        deref(w, q, pop(w));
        push_two(w);
        break;
    case OPC_IPUTFIELD: case OPC_FPUTFIELD: case OPC_APUTFIELD:
        pop(w);
        deref(w, q, pop(w));
        break;
    case OPC_LPUTFIELD: case OPC_DPUTFIELD:
        pop2(w);
        deref(w, q, pop(w));
        break;
    case OPC_ICALL: case OPC_LCALL: case OPC_FCALL: case OPC_DCALL: case OPC_ACALL: case OPC_VCALL:
    case OPC_CALL_MARK:
        invoke(w, q);
        break;
    case OPC_NULLCHECK_MARK:
        explicit_check(w, b, q);
        break;
    default:
        break;
    }
}

// The block walk shared by Init and Final.
void walk(nc_walk& w)
{
    method_compile_context* m = w.m;
    u4 previous = 0;
    for (u4 i = 0; i < m->dfs_count && !w.stop; i++) {
        u4 id = m->dfs_array[i];
        if (id >= m->bb_count)
            continue;
        bbattr* b = m->bb_table[id];
        if (b->quad_count == 0 || (b->flags & BB_DEAD))
            continue;
        const bbattr* prev = m->bb_table[previous];
        bool chained = b->pred_count == 1
                       && ((prev->succ_count >= 1 && prev->succ[0] == id) || (prev->succ_count >= 2 && prev->succ[1] == id));
        if (!chained)
            w.st.clear();
        w.block = id;
        if (w.phase == NC_INIT) {
            w.pc->nullcheck_blocks++;
            w.gen = gen_of(w, id);
            w.kill = kill_of(w, id);
        } else {
            memcpy(w.running, in_of(w, id), 8 * w.words);
        }
        for (u4 k = 0; k < b->quad_count && !w.stop; k++) {
            w.index = k;
            simulate(w, b, &b->catbl[k]);
        }
        previous = id;
    }
}

bool static_method(const method_compile_context* m) { return m->mb == nullptr || (m->mb->access & ACC_STATIC); }

// Every entry of the method starts with nothing known and counts as met.
void seed_entries(nc_walk& w)
{
    method_compile_context* m = w.m;
    const bbattr* entry = m->bb_table[0];
    for (u4 k = 0; k < entry->succ_count; k++) {
        u4 s = bb_succ_block(entry->succ[k]);
        if (s == 0 || s >= m->bb_count)
            continue;
        memset(in_of(w, s), 0, 8 * w.words);
        df_seed_touched(w.sets, s);
    }
}

int init_sets(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
              dataflow_pass_descriptor* d, bool vector)
{
    if (m->max_stack == 0)
        return 0;
    u4 nlocals = static_cast<u4>(d->n);
    if (!(pc->flags & DFP_LOCAL_VECTORS)) {
        u4 bytes = 4 * ((nlocals + 31) / 32);
        pc->index_locals = static_cast<u4*>(jit_wmem_alloc(m->pool1, bytes));
        pc->array_locals = static_cast<u4*>(jit_wmem_alloc(m->pool1, bytes));
        if (pc->index_locals != nullptr)
            memset(pc->index_locals, 0, bytes);
        if (pc->array_locals != nullptr)
            memset(pc->array_locals, 0, bytes);
        pc->flags |= DFP_LOCAL_VECTORS;
    }
    pc->flags &= ~(DFP_ARRAY_HINT | DFP_FIELD_HINT);
    pc->nullcheck_blocks = 0;

    nc_slot frame[64];
    nc_walk w{};
    w.m = m;
    w.pc = pc;
    w.sets = sets;
    w.phase = NC_INIT;
    w.vector = vector;
    w.nlocals = nlocals;
    w.words = vector ? df_words(d->n) : 1;
    w.st.slots = m->max_stack > 64 ? static_cast<nc_slot*>(jit_wmem_alloc(m->pool1, m->max_stack * sizeof(nc_slot)))
                                   : frame;
    w.st.capacity = m->max_stack;
    walk(w);
    if (w.field_weight > 1 || w.static_weight > 1)
        pc->flags |= DFP_FIELD_HINT;

    seed_entries(w);
    if (!static_method(m) && nblocks >= 2) {
        if (vector)
            Recv_Init_DataFlow_V(m, pc, sets, nblocks, d);
        else
            Recv_Init_DataFlow_B(m, pc, sets, nblocks, d);
    }
    return 0;
}

int final_sets(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4,
               dataflow_pass_descriptor* d, bool vector)
{
    if (m->max_stack == 0)
        return 0;
    nc_slot frame[64];
    u8 running_word;
    nc_walk w{};
    w.m = m;
    w.pc = pc;
    w.sets = sets;
    w.phase = NC_FINAL;
    w.vector = vector;
    w.nlocals = static_cast<u4>(d->n);
    w.words = vector ? df_words(d->n) : 1;
    w.running = vector ? static_cast<u8*>(jit_wmem_alloc(m->pool1, 8 * w.words)) : &running_word;
    w.st.slots = m->max_stack > 64 ? static_cast<nc_slot*>(jit_wmem_alloc(m->pool1, m->max_stack * sizeof(nc_slot)))
                                   : frame;
    w.st.capacity = m->max_stack;
    walk(w);
    return 0;
}

} // namespace

int NullCheck_Init_DataFlow_B(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                              u4 nblocks, dataflow_pass_descriptor* d)
{
    return init_sets(m, pc, sets, nblocks, d, false);
}

int NullCheck_Init_DataFlow_V(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                              u4 nblocks, dataflow_pass_descriptor* d)
{
    return init_sets(m, pc, sets, nblocks, d, true);
}

int NullCheck_Final_DataFlow_B(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                               u4 nblocks, dataflow_pass_descriptor* d)
{
    return final_sets(m, pc, sets, nblocks, d, false);
}

int NullCheck_Final_DataFlow_V(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                               u4 nblocks, dataflow_pass_descriptor* d)
{
    return final_sets(m, pc, sets, nblocks, d, true);
}

int Get_INVOKE_NULLCHECK(quadruple** slot)
{
    if (slot == nullptr || *slot == nullptr)
        return 0;
    u4 kind = (*slot)->subcode & QS_KIND_MASK;
    return kind >= 3 && kind <= 11 ? 1 : 0;
}

int ResolveACMP1(method_compile_context* m, u4 block, quadruple** slot, u4 producer_block, u4 producer,
                 int always_taken)
{
    bbattr* b = m->bb_table[block];
    quadruple* q = *slot;
    if ((b->flags & 0x3u) == 0x3u)
        return 0;
    u4 target = q->target;
    if (b->succ_count != 2 || b->succ[0] == b->succ[1] || (b->succ[0] != target && b->succ[1] != target))
        return 0;
    u4 kept = always_taken ? target : (b->succ[0] == target ? b->succ[1] : b->succ[0]);
    u4 dropped = always_taken ? (b->succ[0] == target ? b->succ[1] : b->succ[0]) : target;
    if (dropped + 1 >= m->bb_count)
        return 0;
    if (producer_block == block) {
        if (producer >= b->quad_count)
            return 0;
        quadruple* p = b->catbl[producer];
        if (p->opcode == OPC_ALOAD) {
            quad_make_nop(p, false);
        } else if (p->opcode == OPC_XSTORE) {
            u2 local = p->op;
            u4 pc_word = p->src2.value;
            memset(p, 0, 28);
            p->opcode = OPC_ASTORE;
            p->op = local;
            p->src2.value = pc_word;
        } else {
            return 0;
        }
        if (always_taken) {
            q->opcode = OPC_GOTO;
            q->subcode &= ~QS_KIND_MASK;
            q->target = target;
        } else {
            quad_make_nop(q, false);
        }
    } else {
        if (always_taken)
            return 0;
        u4 pc_word = q->src2.value;
        u4 context = q->context;
        memset(q, 0, 28);
        q->opcode = OPC_POP;
        q->src2.value = pc_word;
        q->context = context;
    }
    b->succ[0] = kept;
    b->succ_count = 1;
    b->flags2 &= ~BB2_FORWARD_BRANCH;
    b->flags &= ~BB_BACKWARD_BRANCH;
    if (!(b->flags2 & BB2_RARE))
        ClearRarePath(m, kept);
    DecrementBackward(m, block, dropped);
    return 1;
}

int dataflow_nullcheck(method_compile_context* m, dataflow_pass_context* pc)
{
    if (df_env_switch(&disable_nullcheck, "DISABLE_NULLCHECK") != 0 || !(pc->flags & DFP_BC_NULLCHECK)) {
        m->state_flags |= MCC_NULLCHECK_SKIPPED;
        return 0;
    }
    dataflow_block_sets frame[DF_FRAME_SETS];
    dataflow_block_sets* sets = df_block_sets(m, frame, DF_FRAME_SETS);
    if (sets == nullptr)
        return 1;
    u4 nblocks = m->bb_count;
    dataflow_pass_descriptor d{};
    d.n = static_cast<s4>(m->local_count > pc->local_count ? m->local_count : pc->local_count);
    d.init_B = NullCheck_Init_DataFlow_B;
    d.iter_B = DFS_Iter_DataFlow_B;
    d.visit_B = Fwd_Visit_DataFlow_B;
    d.final_B = NullCheck_Final_DataFlow_B;
    d.init_V = NullCheck_Init_DataFlow_V;
    d.iter_V = DFS_Iter_DataFlow_V;
    d.visit_V = Fwd_Visit_DataFlow_V;
    d.final_V = NullCheck_Final_DataFlow_V;
    if (d.n <= 0) {
        m->state_flags |= MCC_NULLCHECK_SKIPPED;
        return 0;
    }
    pc->flags |= DFP_BUSY;
    df_reset_arena1(pc);
    if (Alloc_DataFlow(m, pc, sets, nblocks, &d) == 0) {
        m->state_flags |= MCC_NULLCHECK_SKIPPED;
        pc->flags &= ~DFP_BUSY;
        return 1;
    }
    Init_DataFlow(m, pc, sets, nblocks, &d);
    if (nblocks > 3)
        Iter_DataFlow(m, pc, sets, nblocks, &d);
    Final_DataFlow(m, pc, sets, nblocks, &d);
    Free_DataFlow(m, pc, sets, nblocks, &d);
    pc->flags &= ~DFP_BUSY;
    return 0;
}
