// Field privatization over the bytecode-level instructions: the entry
// `dataflow_privatize`, the block walk with its simulated operand stack, and
// the choice of candidates.
//
// Runs in the bytecode pass driver after class flow and the null-check
// analysis, on methods without exception handlers.  Frequently read fields
// get a cache local: reads become local loads, the loads of the field are
// placed by lazy code motion (df_privatize_flow.cpp), and writes go to the
// cache local too, with the memory copy written back where it must be
// current (df_privatize_rewrite.cpp).  The pass adds locals and instructions,
// marks NOPs for `remove_nop` and raises the method's maximum stack.
//
// What may be cached, and why it is safe:
//   - fields of `this` (local 0 of an instance method whose receiver is fixed
//     and which never stores into local 0), so that a load placed earlier
//     than the reads it serves can neither throw nor read through another
//     object than they would;
//   - static fields of classes already initialized, so that no load moves a
//     class initialization;
//   - never volatile fields, never through an unresolved reference.
// Every access of a field through another base (another local, an object
// not held in a local) is recorded too: such a field, when written anywhere,
// is never left dirty in its cache local, and a write through the other base
// kills the cached value in every block (an alias may be the same object).
// Calls, monitors, class initialization and unresolved references kill every
// cached value; every instruction that may throw or leave the method is a
// point where the memory copy must be current.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_privatize.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "loop/loop_records.h"

namespace {

s4 disable_privatize = -1;

// Minimum read weight by type code: float and double are cached only when
// written (their reads alone never pay for the x87 traffic).
constexpr s4 kThreshold[5] = {3, 0x7fffffff, 2, 4, 0x7fffffff};

constexpr u4 kWeightOutside = 1;
constexpr u4 kWeightLoop = 10;

// Type code of a field-access opcode (60..79): rows int, long, float, double, ref.
u4 type_code_of(u1 op)
{
    static constexpr u4 kByRow[5] = {PVT_INT, PVT_LONG | PVT_TWO_SLOTS, PVT_FLOAT, PVT_DOUBLE | PVT_TWO_SLOTS,
                                     PVT_REF};
    return kByRow[(op - OPC_IGETFIELD) % 5];
}

u4 value_words(u1 op) { return ((op - OPC_IGETFIELD) % 5 == 1 || (op - OPC_IGETFIELD) % 5 == 3) ? 2 : 1; }

// ---- simulated operand stack ---------------------------------------------------

void st_clear(privatize_state* st) { st->depth = 0; }

void st_push(privatize_state* st, s4 kind, s4 value, u4 index, u4 words = 1)
{
    for (u4 w = 0; w < words; w++) {
        if (st->depth >= st->capacity) {
            st->depth = 0;      // overflow: no facts for the rest of the block
            return;
        }
        pv_slot& s = st->stack[st->depth++];
        s.kind = kind;
        s.upper = words == 2 ? 1 : 0;
        s.value = w == 0 ? value : 0;
        s.block = st->block;
        s.index = static_cast<s4>(index);
        s.flags = 0;
    }
}

// Pops `words` slots and answers the deepest of them (kind PVK_NONE when the
// stack runs out: the value was pushed before facts were lost).
pv_slot st_pop(privatize_state* st, u4 words)
{
    pv_slot none{PVK_NONE, 0, -1, -1, -1, 0};
    if (words == 0)
        return none;
    if (static_cast<u4>(st->depth) < words) {
        st->depth = 0;
        return none;
    }
    st->depth -= static_cast<s4>(words);
    return st->stack[st->depth];
}

// The JVM shuffles: `copied` slots on top are copied below `below` further
// slots (swap exchanges the top two).  Every slot they touch is marked.
void st_shuffle(privatize_state* st, u1 op)
{
    u4 copied = (op == OPC_DUP || op == OPC_DUP_X1 || op == OPC_DUP_X2) ? 1 : 2;
    u4 below = (op == OPC_DUP_X1 || op == OPC_DUP2_X1) ? 1 : (op == OPC_DUP_X2 || op == OPC_DUP2_X2) ? 2 : 0;
    if (op == OPC_SWAP) {
        if (st->depth < 2) {
            st->depth = 0;
            return;
        }
        pv_slot a = st->stack[st->depth - 2];
        pv_slot b = st->stack[st->depth - 1];
        a.flags |= PVS_SHUFFLED;
        b.flags |= PVS_SHUFFLED;
        st->stack[st->depth - 2] = b;
        st->stack[st->depth - 1] = a;
        return;
    }
    u4 d = static_cast<u4>(st->depth);
    if (d < copied + below || d + copied > static_cast<u4>(st->capacity)) {
        st->depth = 0;
        return;
    }
    pv_slot top[2], under[2];
    for (u4 i = 0; i < copied; i++) {
        top[i] = st->stack[d - copied + i];
        top[i].flags |= PVS_SHUFFLED;
    }
    for (u4 i = 0; i < below; i++) {
        under[i] = st->stack[d - copied - below + i];
        under[i].flags |= PVS_SHUFFLED;
    }
    u4 base = d - copied - below;
    for (u4 i = 0; i < copied; i++)
        st->stack[base + i] = top[i];
    for (u4 i = 0; i < below; i++)
        st->stack[base + copied + i] = under[i];
    for (u4 i = 0; i < copied; i++)
        st->stack[base + copied + below + i] = top[i];
    st->depth = static_cast<s4>(d + copied);
}

// ---- non-null facts ------------------------------------------------------------

bool local_nonnull(const privatize_state* st, s4 local) { return local >= 0 && local < 64 && (st->nonnull & pv_mask(local)); }

void set_nonnull(privatize_state* st, s4 local, bool on)
{
    if (local < 0 || local >= 64)
        return;
    if (on)
        st->nonnull |= pv_mask(local);
    else
        st->nonnull &= ~pv_mask(local);
}

bool proven_nonnull(const privatize_state* st, const pv_slot& ref, const quadruple* q)
{
    return ref.kind == PVK_FRESH || (ref.kind == PVK_LOCAL && local_nonnull(st, ref.value))
           || (quad_word0(q) & QW_NONNULL) != 0;
}

// After an access through `ref` that would have thrown on null.
void dereferenced(privatize_state* st, const pv_slot& ref)
{
    if (ref.kind == PVK_LOCAL)
        set_nonnull(st, ref.value, true);
}

void stored_local(privatize_state* st, pv_event* ev, s4 local, u4 words, const pv_slot* value)
{
    ev->store_local = local;
    ev->store_local2 = words == 2 ? local + 1 : -1;
    bool nonnull = value != nullptr
                   && (value->kind == PVK_FRESH || (value->kind == PVK_LOCAL && local_nonnull(st, value->value)));
    set_nonnull(st, local, nonnull);
    if (words == 2)
        set_nonnull(st, local + 1, false);
    // Stack copies of the old value no longer name the local.
    for (s4 i = 0; i < st->depth; i++)
        if (st->stack[i].kind == PVK_LOCAL && (st->stack[i].value == local || (words == 2 && st->stack[i].value == local + 1)))
            st->stack[i].kind = PVK_OPAQUE;
}

// ---- field facts ---------------------------------------------------------------

const methodblock* method_of_block(const privatize_state* st)
{
    const bbattr* b = st->m->bb_table[st->block];
    return b->mb != nullptr ? b->mb : st->m->mb;
}

fieldblock* field_of(const privatize_state* st, const quadruple* q, bool is_static)
{
    if (quad_unresolved(q))
        return nullptr;
    u4 index = is_static ? q->op : q->target;
    if (index == 0)
        return reinterpret_cast<fieldblock*>(q->aux);
    const methodblock* mb = method_of_block(st);
    if (mb == nullptr || mb->clazz == nullptr || mb->clazz->constantpool == nullptr)
        return nullptr;
    return reinterpret_cast<fieldblock*>(mb->clazz->constantpool[index]);
}

bool class_initialized(const classblock* cb) { return cb != nullptr && (cb->state & CS_INITIALIZED) != 0; }

void full_barrier(pv_event* ev)
{
    ev->full_kill = 1;
    ev->full_flush = 1;
}

void field_access(privatize_state* st, quadruple** catbl, u4 index, pv_event* ev)
{
    quadruple* q = catbl[index];
    u1 op = q->opcode;
    bool is_static = op >= OPC_IGETSTATIC;
    bool write = (op >= OPC_IPUTFIELD && op <= OPC_APUTFIELD) || op >= OPC_IPUTSTATIC;
    u4 words = value_words(op);
    ev->access = write ? PV_WRITE_ACCESS : PV_READ_ACCESS;
    ev->type_code = type_code_of(op);
    fieldblock* fb = field_of(st, q, is_static);
    ev->fb = fb;
    if (fb == nullptr) {
        // Resolving may load and initialize classes: anything can change.
        full_barrier(ev);
    } else if (is_static && !class_initialized(fb->clazz)) {
        full_barrier(ev);       // the access initializes the class
    }
    bool volatile_field = fb != nullptr && (fb->access & ACC_VOLATILE);
    ev->recordable = fb != nullptr && !volatile_field && !ev->full_kill;
    if (is_static) {
        ev->base = -1;
        if (write)
            st_pop(st, words);
        else
            st_push(st, PVK_OPAQUE, 0, index, words);
        return;
    }
    if (write)
        st_pop(st, words);
    pv_slot obj = st_pop(st, 1);
    ev->object = obj;
    ev->base = obj.kind == PVK_LOCAL ? obj.value : -2;
    if (!proven_nonnull(st, obj, q)) {
        ev->access_flush = 1;
        ev->full_flush = 1;
    }
    dereferenced(st, obj);
    if (!write)
        st_push(st, PVK_OPAQUE, 0, index, words);
}

// Array access: `below` further slots above the array reference.
void array_access(privatize_state* st, const quadruple* q, u4 pops, u4 pushes, pv_event* ev, u4 index,
                  bool always_flush)
{
    u4 depth_ref = pops;
    pv_slot ref{PVK_NONE, 0, -1, -1, -1, 0};
    if (static_cast<u4>(st->depth) >= depth_ref)
        ref = st->stack[st->depth - depth_ref];
    bool nonnull = proven_nonnull(st, ref, q);
    bool in_bounds = (quad_word0(q) & QW_NO_BOUNDCHECK) != 0;
    if (always_flush || !nonnull || !in_bounds)
        ev->full_flush = 1;
    st_pop(st, pops);
    dereferenced(st, ref);
    if (pushes != 0)
        st_push(st, PVK_OPAQUE, 0, index, pushes);
}

const classblock* allocated_class(const privatize_state* st, const quadruple* q)
{
    if (q->aux != 0)
        return reinterpret_cast<const classblock*>(q->aux);
    const methodblock* mb = method_of_block(st);
    if (mb == nullptr || mb->clazz == nullptr || mb->clazz->constantpool == nullptr || q->op == 0)
        return nullptr;
    return reinterpret_cast<const classblock*>(mb->clazz->constantpool[q->op]);
}

bool nonzero_divisor(const privatize_state* st)
{
    return st->depth > 0 && st->stack[st->depth - 1].kind == PVK_CONST && st->stack[st->depth - 1].value != 0;
}

// Instructions outside the set the walk models: no facts survive them.
void unknown_instruction(privatize_state* st, pv_event* ev)
{
    full_barrier(ev);
    st_clear(st);
}

} // namespace

const u1 pv_opcode_table[5][6] = {
    {OPC_ILOAD, OPC_ISTORE, OPC_IGETFIELD, OPC_IPUTFIELD, OPC_IGETSTATIC, OPC_IPUTSTATIC},
    {OPC_FLOAD, OPC_FSTORE, OPC_FGETFIELD, OPC_FPUTFIELD, OPC_FGETSTATIC, OPC_FPUTSTATIC},
    {OPC_ALOAD, OPC_ASTORE, OPC_AGETFIELD, OPC_APUTFIELD, OPC_AGETSTATIC, OPC_APUTSTATIC},
    {OPC_LLOAD, OPC_LSTORE, OPC_LGETFIELD, OPC_LPUTFIELD, OPC_LGETSTATIC, OPC_LPUTSTATIC},
    {OPC_DLOAD, OPC_DSTORE, OPC_DGETFIELD, OPC_DPUTFIELD, OPC_DGETSTATIC, OPC_DPUTSTATIC},
};

u8 pv_mask(s4 index) { return ABIT_llshr[index & 63]; }

bool pv_block_walked(const method_compile_context* m, u4 block)
{
    const bbattr* b = m->bb_table[block];
    return b != nullptr && b->quad_count > 0 && !(b->flags & BB_DEAD);
}

// The method's start set of non-null locals: `this` when it is the receiver
// throughout (local 0 is never stored into).
bool local0_stored(const method_compile_context* m)
{
    for (u4 k = 0; k < m->dfs_count; k++) {
        u4 block = m->dfs_array[k];
        if (block >= m->bb_count || !pv_block_walked(m, block))
            continue;
        const bbattr* b = m->bb_table[block];
        for (u4 i = 0; i < b->quad_count; i++) {
            const quadruple* q = b->catbl[i];
            switch (q->opcode) {
            case OPC_ISTORE: case OPC_LSTORE: case OPC_FSTORE: case OPC_DSTORE: case OPC_ASTORE: case OPC_IINC:
            case OPC_XSTORE:
                if (q->op == 0)
                    return true;
                break;
            case OPC_PSTORE: case OPC_SYNCENTER:
                if (q->count == 0)
                    return true;
                break;
            default:
                break;
            }
        }
    }
    return false;
}

// Carries the stack and the non-null facts over from the previous block only
// along a straight edge into a block with no other predecessor.
void pv_begin_block(privatize_state* st, u4 block, u4 prev_block)
{
    const bbattr* b = st->m->bb_table[block];
    bool carry = false;
    if (prev_block != 0xFFFFFFFFu && st->walk_preds[block] == 1) {
        const bbattr* p = st->m->bb_table[prev_block];
        for (u4 i = 0; i < p->succ_count && i < 2; i++)
            if (bb_succ_block(p->succ[i]) == block)
                carry = true;
    }
    if (b->flags2 & BB2_TRANSFER_POINT)
        carry = false;
    st->block = static_cast<s4>(block);
    if (!carry) {
        st_clear(st);
        st->nonnull = st->nonnull_at_start;
    }
}

// One instruction: fills `ev` and applies the instruction's effect on the
// simulated stack and the non-null facts.
void pv_step(privatize_state* st, quadruple** catbl, u4 index, pv_event* ev)
{
    memset(ev, 0, sizeof *ev);
    ev->store_local = -1;
    ev->store_local2 = -1;
    ev->base = -2;
    quadruple* q = catbl[index];
    u1 op = q->opcode;
    if (quad_unresolved(q) && !(op >= OPC_IGETFIELD && op <= OPC_APUTSTATIC)) {
        // Resolution may run class loaders and initializers.
        full_barrier(ev);
    }
    switch (op) {
    case OPC_ILOAD: case OPC_ALOAD:
        st_push(st, PVK_LOCAL, q->op, index);
        return;
    case OPC_FLOAD:
        st_push(st, PVK_OPAQUE, 0, index);
        return;
    case OPC_LLOAD: case OPC_DLOAD:
        st_push(st, PVK_OPAQUE, 0, index, 2);
        return;
    case OPC_ICONST: case OPC_ACONST:
        st_push(st, PVK_CONST, static_cast<s4>(q->value), index);
        return;
    case OPC_FCONST: case OPC_LDC:
        st_push(st, PVK_OPAQUE, 0, index);
        return;
    case OPC_LCONST: case OPC_DCONST:
        st_push(st, PVK_OPAQUE, 0, index, 2);
        return;
    case OPC_ISTORE: case OPC_FSTORE: case OPC_ASTORE: {
        pv_slot v = st_pop(st, 1);
        stored_local(st, ev, q->op, 1, op == OPC_ASTORE ? &v : nullptr);
        return;
    }
    case OPC_LSTORE: case OPC_DSTORE:
        st_pop(st, 2);
        stored_local(st, ev, q->op, 2, nullptr);
        return;
    case OPC_IINC:
        stored_local(st, ev, q->op, 1, nullptr);
        return;
    case OPC_IOP2:
        if ((q->op == QOP_DIV || q->op == QOP_REM) && !nonzero_divisor(st))
            ev->full_flush = 1;
        st_pop(st, 2);
        st_push(st, PVK_OPAQUE, 0, index);
        return;
    case OPC_LOP2:
        if (q->op == QOP_DIV || q->op == QOP_REM)
            ev->full_flush = 1;
        st_pop(st, 4);
        st_push(st, PVK_OPAQUE, 0, index, 2);
        return;
    case OPC_IOP1: case OPC_FOP1: case OPC_I2F: case OPC_F2I: case OPC_INSTANCEOF:
        st_pop(st, 1);
        st_push(st, PVK_OPAQUE, 0, index);
        return;
    case OPC_FOP2: case OPC_FCMP:
        st_pop(st, 2);
        st_push(st, PVK_OPAQUE, 0, index);
        return;
    case OPC_L2I: case OPC_D2I: case OPC_L2F: case OPC_D2F:
        st_pop(st, 2);
        st_push(st, PVK_OPAQUE, 0, index);
        return;
    case OPC_LCMP: case OPC_DCMP:
        st_pop(st, 4);
        st_push(st, PVK_OPAQUE, 0, index);
        return;
    case OPC_DOP2:
        st_pop(st, 4);
        st_push(st, PVK_OPAQUE, 0, index, 2);
        return;
    case OPC_LSHIFT:
        st_pop(st, 3);
        st_push(st, PVK_OPAQUE, 0, index, 2);
        return;
    case OPC_LOP1: case OPC_DOP1: case OPC_L2D: case OPC_D2L:
        st_pop(st, 2);
        st_push(st, PVK_OPAQUE, 0, index, 2);
        return;
    case OPC_I2L: case OPC_I2D: case OPC_F2L: case OPC_F2D:
        st_pop(st, 1);
        st_push(st, PVK_OPAQUE, 0, index, 2);
        return;
    case OPC_IALOAD: case OPC_FALOAD: case OPC_AALOAD:
        array_access(st, q, 2, 1, ev, index, false);
        return;
    case OPC_LALOAD: case OPC_DALOAD:
        array_access(st, q, 2, 2, ev, index, false);
        return;
    case OPC_IASTORE: case OPC_FASTORE:
        array_access(st, q, 3, 0, ev, index, false);
        return;
    case OPC_AASTORE:
        // May raise ArrayStoreException whatever the null and bounds facts.
        array_access(st, q, 3, 0, ev, index, true);
        return;
    case OPC_LASTORE: case OPC_DASTORE:
        array_access(st, q, 4, 0, ev, index, false);
        return;
    case OPC_ARRAYLENGTH: {
        pv_slot ref = st->depth > 0 ? st->stack[st->depth - 1] : pv_slot{PVK_NONE, 0, -1, -1, -1, 0};
        if (!proven_nonnull(st, ref, q))
            ev->full_flush = 1;
        st_pop(st, 1);
        dereferenced(st, ref);
        st_push(st, PVK_OPAQUE, 0, index);
        return;
    }
    case OPC_IFZ: case OPC_IFNULL: case OPC_SWITCH:
        st_pop(st, 1);
        return;
    case OPC_IFCMP: case OPC_IFACMP:
        st_pop(st, 2);
        return;
    case OPC_POP:
        st_pop(st, 1);
        return;
    case OPC_POP2:
        st_pop(st, 2);
        return;
    case OPC_DUP: case OPC_DUP2: case OPC_DUP_X1: case OPC_DUP2_X1: case OPC_DUP_X2: case OPC_DUP2_X2:
    case OPC_SWAP:
        st_shuffle(st, op);
        return;
    case OPC_IGETFIELD: case OPC_LGETFIELD: case OPC_FGETFIELD: case OPC_DGETFIELD: case OPC_AGETFIELD:
    case OPC_IPUTFIELD: case OPC_LPUTFIELD: case OPC_FPUTFIELD: case OPC_DPUTFIELD: case OPC_APUTFIELD:
    case OPC_IGETSTATIC: case OPC_LGETSTATIC: case OPC_FGETSTATIC: case OPC_DGETSTATIC: case OPC_AGETSTATIC:
    case OPC_IPUTSTATIC: case OPC_LPUTSTATIC: case OPC_FPUTSTATIC: case OPC_DPUTSTATIC: case OPC_APUTSTATIC:
        if (q->flags_b & QB_ZERO_INIT) {
            unknown_instruction(st, ev);
            return;
        }
        field_access(st, catbl, index, ev);
        return;
    case OPC_CHECKCAST:
        // ClassCastException: a flush point whatever the object.
        ev->full_flush = 1;
        st_pop(st, 1);
        st_push(st, PVK_OPAQUE, 0, index);
        return;
    case OPC_NEW: {
        ev->full_flush = 1;     // OutOfMemoryError, and the class's initialization
        const classblock* cb = quad_unresolved(q) ? nullptr : allocated_class(st, q);
        if (!class_initialized(cb))
            ev->full_kill = 1;
        st_push(st, PVK_FRESH, 0, index);
        return;
    }
    case OPC_NEWARRAY: case OPC_ANEWARRAY:
        ev->full_flush = 1;
        st_pop(st, 1);
        st_push(st, PVK_FRESH, 0, index);
        return;
    case OPC_MULTIANEWARRAY:
        ev->full_flush = 1;
        st_pop(st, q->count);
        st_push(st, PVK_FRESH, 0, index);
        return;
    case OPC_MONITOR:
        full_barrier(ev);
        st_pop(st, 1);
        return;
    case OPC_ICALL: case OPC_LCALL: case OPC_FCALL: case OPC_DCALL: case OPC_ACALL: case OPC_VCALL: {
        full_barrier(ev);
        st_pop(st, q->count & 0xFF);
        static constexpr u1 kResultWords[6] = {1, 2, 1, 2, 1, 0};
        u4 words = kResultWords[op - OPC_ICALL];
        if (words != 0)
            st_push(st, PVK_OPAQUE, 0, index, words);
        return;
    }
    case OPC_NULLCHECK_MARK:
        ev->full_flush = 1;
        st_pop(st, q->op);
        return;
    case OPC_IRETURN: case OPC_LRETURN: case OPC_FRETURN: case OPC_DRETURN: case OPC_ARETURN: case OPC_ATHROW:
        // Leaving the method: memory must hold every value written.
        ev->full_flush = 1;
        st_clear(st);
        return;
    case OPC_GOTO:
        if (quad_kind_nibble(q) != 0)
            unknown_instruction(st, ev);    // carries a value into a join
        return;
    case OPC_OTHER:
        switch (quad_kind_nibble(q)) {
        case OTHER_NOP: case OTHER_NOP_DELETED:
            return;
        case OTHER_RETURN_VOID:
            ev->full_flush = 1;
            st_clear(st);
            return;
        default:        // ret, class initialization
            unknown_instruction(st, ev);
            return;
        }
    default:
        if (op > OPC_DCMOVE)
            printf("%d\n", op);
        unknown_instruction(st, ev);
        return;
    }
}

namespace {

// ---- candidates ------------------------------------------------------------------

u4 field_hash(const fieldblock* fb, s4 base)
{
    const char* name = fb->name != nullptr ? fb->name : "";
    const char* sig = fb->signature != nullptr ? fb->signature : "";
    u4 a = static_cast<u1>(name[0] - 'A');
    u4 b = name[0] != 0 ? static_cast<u1>(name[1] - 'A') : 0;
    u4 c = static_cast<u1>(sig[0] - 'A');
    u4 d = sig[0] != 0 ? static_cast<u1>(sig[1] - 'A') : 0;
    u4 h = a << 26 ^ b << 20 ^ c << 14 ^ d << 8;
    if (base != -1)
        h ^= fb->value >> 2;
    else
        h ^= reinterpret_cast<u4>(fb) >> 2;
    return h;
}

bool same_field(const field_cache_candidate& e, u4 hash, const fieldblock* fb)
{
    if (e.hash != hash || e.fb->value != fb->value)
        return false;
    if (e.fb == fb)
        return true;
    return e.fb->name != nullptr && fb->name != nullptr && strcmp(e.fb->name, fb->name) == 0;
}

// Every entry with the same field (any base) answers through `fn`.
template <typename F>
void for_each_same_field(privatize_state* st, s4 base, const fieldblock* fb, F fn)
{
    u4 hash = field_hash(fb, base);
    for (s4 i = st->buckets[hash % PV_BUCKETS]; i >= 0; i = st->cand[i].next)
        if (same_field(st->cand[i], hash, fb) && (st->cand[i].base == -1) == (base == -1))
            fn(i);
}

s4 find_entry(privatize_state* st, s4 base, const fieldblock* fb)
{
    s4 found = -1;
    for_each_same_field(st, base, fb, [&](s4 i) {
        if (found < 0 && st->cand[i].base == base)
            found = i;
    });
    return found;
}

void rebuild_buckets(privatize_state* st)
{
    for (u4 i = 0; i < PV_BUCKETS; i++)
        st->buckets[i] = -1;
    // Kept candidates first in each chain, in index order.
    for (s4 i = st->count - 1; i >= 0; i--) {
        field_cache_candidate& e = st->cand[i];
        e.next = st->buckets[e.hash % PV_BUCKETS];
        st->buckets[e.hash % PV_BUCKETS] = i;
    }
}

u4 block_weight(privatize_state* st, u4 block)
{
    if (st->weights[block] != 0)
        return st->weights[block];
    method_compile_context* m = st->m;
    const bbattr* b = m->bb_table[block];
    u4 w = kWeightOutside;
    if ((b->flags & BB_KIND_MASK) == BB_KIND_LOOP && m->loop_table != nullptr && b->loop_index >= 0
        && static_cast<u4>(b->loop_index) < m->loop_count) {
        auto* l = static_cast<const loop_table_record*>(m->loop_table[b->loop_index]);
        if (l == nullptr || (l->flags & LOOP_INVALID)) {
            w = kWeightLoop;
        } else {
            s4 d = l->depth - static_cast<s4>(b->loop_depth);
            if (l->levels != nullptr && b->loop_depth < static_cast<u4>(l->depth)
                && l->levels[b->loop_depth] != nullptr && l->levels[b->loop_depth]->entry_id == block)
                d--;
            w = 1;
            for (s4 i = 0; i < d && w < 10000; i++)
                w *= kWeightLoop;
        }
        if (search_outer_invalid_loop_id(m, block) != 0 && w < 10000)
            w *= kWeightLoop;
    }
    st->weights[block] = static_cast<u2>(w);
    return w;
}

void record_access(privatize_state* st, const pv_event& ev, quadruple* q, u4 block)
{
    s4 base = ev.base;
    bool write = ev.access == PV_WRITE_ACCESS;
    s4 i = find_entry(st, base, ev.fb);
    // Reads through an object not held in a local only mark the field as
    // reached through another base.
    s4 weight = base == -2 ? 0 : static_cast<s4>(block_weight(st, block));
    if (i >= 0) {
        if (write)
            st->cand[i].write_count++;
        else
            st->cand[i].read_weight += weight;
        return;
    }
    privatize_make_room(st->m->pool1, st->cand, st->capacity_cand, static_cast<u4>(st->count));
    field_cache_candidate& e = st->cand[st->count];
    memset(&e, 0, sizeof e);
    e.cp_index = 0;
    e.base = static_cast<int16_t>(base);
    e.hash = field_hash(ev.fb, base);
    e.read_weight = write ? 0 : weight;
    e.write_count = write ? 1 : 0;
    e.method = st->m->bb_table[block]->mb;
    e.fb = ev.fb;
    e.type_code = ev.type_code;
    e.cache_local = -1;
    e.first_access = q;
    e.next = st->buckets[e.hash % PV_BUCKETS];
    st->buckets[e.hash % PV_BUCKETS] = st->count;
    st->count++;
}

bool eligible(const privatize_state* st, const field_cache_candidate& e)
{
    return e.base == -1 || (e.base == 0 && st->instance_ok);
}

int compare_candidates(const void* a, const void* b)
{
    auto* x = static_cast<const field_cache_candidate*>(a);
    auto* y = static_cast<const field_cache_candidate*>(b);
    if (x->score != y->score)
        return x->score > y->score ? -1 : 1;
    if (x->base != y->base)
        return x->base < y->base ? -1 : 1;
    return x->first_access < y->first_access ? -1 : x->first_access > y->first_access ? 1 : 0;
}

// Scoring and selection: eligible entries that reach their threshold or are
// written come first (kept), ordered by score; every other entry stays
// behind them for the alias questions.  Answers the kept count.
s4 select_candidates(privatize_state* st)
{
    bool reached = false;
    for (s4 i = 0; i < st->count; i++) {
        field_cache_candidate& e = st->cand[i];
        bool below = e.read_weight < kThreshold[e.type_code & PVT_MASK];
        if (below)
            e.type_code |= PVT_BELOW_THRESHOLD;
        else if (eligible(st, e))
            reached = true;
        if (below && e.write_count == 0)
            e.score = static_cast<s4>(0x80000000u);
        else if (e.base == -1)
            e.score = e.read_weight;
        else
            e.score = e.write_count * 10000 + e.read_weight;
    }
    if (!reached)
        return 0;
    auto keep = [&](const field_cache_candidate& e) {
        return eligible(st, e) && (e.score > 1 || (e.base != -1 && e.write_count > 0));
    };
    // Kept entries to the front, the rest after them in their order.
    s4 kept = 0;
    auto* tmp = static_cast<field_cache_candidate*>(jit_wmem_alloc(st->m->pool1, st->count * sizeof(field_cache_candidate)));
    for (s4 i = 0; i < st->count; i++)
        if (keep(st->cand[i]))
            tmp[kept++] = st->cand[i];
    s4 n = kept;
    for (s4 i = 0; i < st->count; i++)
        if (!keep(st->cand[i]))
            tmp[n++] = st->cand[i];
    memcpy(st->cand, tmp, st->count * sizeof(field_cache_candidate));
    qsort(st->cand, kept, sizeof(field_cache_candidate), compare_candidates);
    if (kept > static_cast<s4>(PV_MAX_CANDIDATES))
        kept = PV_MAX_CANDIDATES;
    st->kept = kept;
    rebuild_buckets(st);
    // A kept instance field that is also reached through another base, and
    // written through some base, may be the same memory as that access.
    st->alias_summary = 0;
    for (s4 c = 0; c < kept; c++) {
        field_cache_candidate& e = st->cand[c];
        if (e.base == -1)
            continue;
        bool other = false, written = e.write_count > 0;
        for_each_same_field(st, e.base, e.fb, [&](s4 i) {
            if (st->cand[i].base != e.base) {
                other = true;
                written |= st->cand[i].write_count > 0;
            }
        });
        if (other && written)
            st->alias_summary |= pv_mask(c);
    }
    return kept;
}

// Forms the walk does not take at all: subroutines, an interpreter transfer
// point (a second entry whose cache locals would be empty).
bool unsupported_method(const method_compile_context* m)
{
    if (m->transfer_point != 0 || (m->state_flags & MCC_MMI2JIT))
        return true;
    for (u4 k = 0; k < m->dfs_count; k++) {
        u4 block = m->dfs_array[k];
        if (block >= m->bb_count || m->bb_table[block] == nullptr)
            return true;
        const bbattr* b = m->bb_table[block];
        if (b->flags2 & BB2_TRANSFER_POINT)
            return true;
        if (b->flags & BB_DEAD)
            continue;
        for (u4 i = 0; i < b->quad_count; i++) {
            const quadruple* q = b->catbl[i];
            if (q->opcode == OPC_JSR || (q->opcode == OPC_OTHER && quad_kind_nibble(q) == OTHER_RET))
                return true;
        }
    }
    return false;
}

// Predecessor counts over the walked graph, for the carry-over rule.
void count_predecessors(privatize_state* st)
{
    method_compile_context* m = st->m;
    for (u4 k = 0; k < m->dfs_count; k++) {
        u4 block = m->dfs_array[k];
        const bbattr* b = m->bb_table[block];
        // The exit block's list names its predecessors.
        if ((b->flags & BB_DEAD) || block == m->bb_count - 1)
            continue;
        for (u4 s = 0; s < b->succ_count; s++) {
            u4 t = bb_succ_block(b->succ[s]);
            if (t < m->bb_count)
                st->walk_preds[t]++;
        }
    }
}

s4 collect_candidates(method_compile_context* m, privatize_state* st)
{
    st->count = 0;
    st->kept = 0;
    for (u4 i = 0; i < PV_BUCKETS; i++)
        st->buckets[i] = -1;
    u4 prev = 0xFFFFFFFFu;
    for (u4 k = 0; k < m->dfs_count; k++) {
        u4 block = m->dfs_array[k];
        if (!pv_block_walked(m, block))
            continue;
        pv_begin_block(st, block, prev);
        bbattr* b = m->bb_table[block];
        for (u4 i = 0; i < b->quad_count; i++) {
            pv_event ev;
            pv_step(st, b->catbl, i, &ev);
            if (ev.access != PV_NO_ACCESS && ev.recordable)
                record_access(st, ev, b->catbl[i], block);
        }
        prev = block;
    }
    return select_candidates(st);
}

} // namespace

s4 privatize_lookup_candidate(privatize_state* st, s4 base, const fieldblock* fb)
{
    if (fb == nullptr || base == -2)
        return -1;
    s4 i = find_entry(st, base, fb);
    return i >= 0 && i < st->kept ? i : -1;
}

// Kept candidates whose value a write of (`base`, `fb`) may change through
// another base.
u8 pv_alias_kills(privatize_state* st, s4 base, const fieldblock* fb)
{
    if (fb == nullptr || base == -1)
        return 0;
    u8 kills = 0;
    for_each_same_field(st, base, fb, [&](s4 i) {
        if (i < st->kept && st->cand[i].base != base)
            kills |= pv_mask(i);
    });
    return kills;
}

// Kept candidates based on `local`.
u8 pv_local_kills(privatize_state* st, s4 local)
{
    u8 kills = 0;
    if (local < 0)
        return 0;
    for (s4 i = 0; i < st->kept; i++)
        if (st->cand[i].base == local)
            kills |= pv_mask(i);
    return kills;
}

int dataflow_privatize(method_compile_context* m, dataflow_pass_context* pc)
{
    if (df_env_switch(&disable_privatize, "DISABLE_PRIVATIZE") != 0)
        return 0;
    if (!(pc->flags & DFP_FIELD_HINT) || m->max_stack == 0 || m->mb == nullptr)
        return 0;
    if (m->mb->exception_table_length > 0 || m->exc_count > 0 || m->subroutine_count > 0)
        return 0;
    if (m->dfs_count == 0 || unsupported_method(m))
        return 0;

    privatize_state st;
    memset(&st, 0, sizeof st);
    st.m = m;
    st.pc = pc;
    st.instance_ok = !(m->mb->access & ACC_STATIC) && !(m->state_flags & MCC_RECEIVER_NOT_FIXED) && !local0_stored(m);
    st.nonnull_at_start = st.instance_ok ? pv_mask(0) : 0;
    st.weights = static_cast<u2*>(jit_wmem_alloc(m->pool1, (m->bb_count + 1) * sizeof(u2)));
    memset(st.weights, 0, (m->bb_count + 1) * sizeof(u2));
    st.walk_preds = static_cast<u2*>(jit_wmem_alloc(m->pool1, (m->bb_count + 1) * sizeof(u2)));

    for (int iteration = 0; iteration < 3; iteration++) {
        // Room for the stack the rewrite may have deepened.
        st.capacity = static_cast<s4>(m->max_stack) + 8;
        st.stack = static_cast<pv_slot*>(jit_wmem_alloc(m->pool1, st.capacity * sizeof(pv_slot)));
        st.depth = 0;
        u4 blocks = m->bb_count;
        st.real_blocks = blocks;
        if (2 * blocks > st.alloc_blocks) {
            st.alloc_blocks = 2 * blocks;
            st.sets = static_cast<privatize_block_sets*>(jit_wmem_alloc(m->pool1, st.alloc_blocks * sizeof(privatize_block_sets)));
            st.edges = static_cast<privatize_block_edges*>(jit_wmem_alloc(m->pool1, st.alloc_blocks * sizeof(privatize_block_edges)));
        }
        memset(st.sets, 0, st.alloc_blocks * sizeof(privatize_block_sets));
        memset(st.edges, 0, st.alloc_blocks * sizeof(privatize_block_edges));
        memset(st.walk_preds, 0, (m->bb_count + 1) * sizeof(u2));
        count_predecessors(&st);
        if (collect_candidates(m, &st) == 0)
            break;
        if (privatize_local_facts(m, &st) == 0)
            break;
        privatize_solve(m, &st);
        if (privatize_rewrite_method(m, &st) == 0)
            break;
    }
    if (st.cache_locals > 0) {
        pc->flags &= ~DFP_LOCAL_VECTORS;
        privatize_renumber_locals(m, &st);
        pc->local_count += static_cast<u4>(st.cache_locals);
        m->local_count = static_cast<u2>(m->local_count + st.cache_locals);
        m->max_stack = static_cast<u2>(m->max_stack + st.stack_growth);
    }
    return 0;
}
