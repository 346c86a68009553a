// Null checks over quadruples: three passes that share one vocabulary.
//
//  - `dataflow_Q_nullcheck` proves locals non-null (forward availability over
//    the blocks, seeded by checks, dereferences, allocations, constant loads,
//    a few String methods and copies of proven locals), deletes the explicit
//    checks of proven locals, folds null tests of them, marks checkcasts of
//    them, and places a check at the end of a block from which every path
//    checks the local anyway (backward anticipation), which makes those later
//    checks redundant.
//  - `dataflow_Q_eliminate_explicit_nullcheck` deletes checks flagged
//    `explicit` when a dereference of the same local raises the same
//    exception first on every path (before any barrier or redefinition).
//  - `dataflow_Q_nullexception_propa` deletes the unflagged checks: their
//    duty passes to the dereferences of the local that follow, which lose
//    their "raises no null-pointer exception" flag.
//
// Sets of locals are vectors of 64-bit words (local i is bit 63 - i of word
// i / 64); a method of up to 64 locals uses one word per set.  Each pass keeps
// one record of set slots per block.
//
// Walks share the block chain: blocks are taken in the visiting order,
// passing over block 0, empty blocks and removed ones; a block continues the
// chain of the block walked before it when it has exactly one predecessor and
// is that block's first or second successor, and a running set carries over
// only along a chain.
//
// What a proof may rest on: local 0 is the receiver only in an instance
// method whose receiver is fixed and whose local 0 nothing but the receiver's
// own copy defines; an incoming argument 0 is the receiver only under the
// same receiver test (a static method's argument 0 may be null).  Entries of
// the method (the successors of block 0: the first block, the handlers, the
// subroutines and the interpreter-transfer entry) know nothing but that
// receiver.
#include <string.h>

#include "driver/driver.h"
#include "driver/options.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"

namespace {

// ---- sets -----------------------------------------------------------------------------

struct block_slots {
    u8* base = nullptr;
    u4 words = 1;       // 64-bit words per set
    u4 slots = 0;       // sets per block
    u8* at(u4 block, u4 slot) const { return base + (static_cast<size_t>(block) * slots + slot) * words; }
};

// Sets of `slots` slots for every block; false when they would pass `limit`
// bytes (0: no limit), counted as `counted` slots per block.
bool alloc_slots(method_compile_context* m, dataflow_pass_context* pc, block_slots* s, u4 nvars, u4 slots,
                 u4 limit, u4 counted = 0)
{
    s->words = nvars > 64 ? df_words(static_cast<s4>(nvars)) : 1;
    s->slots = slots;
    u8 bytes = static_cast<u8>(m->bb_count) * slots * s->words * 8;
    u8 measured = static_cast<u8>(m->bb_count) * (counted != 0 ? counted : slots) * s->words * 8;
    if (limit != 0 && measured > limit)
        return false;
    s->base = static_cast<u8*>(df_alloc(m, pc, static_cast<u4>(bytes)));
    if (s->base == nullptr)
        return false;
    memset(s->base, 0, static_cast<size_t>(bytes));
    return true;
}

inline bool has(const u8* v, u4 x) { return df_vtest(v, x); }
inline void add(u8* v, u4 x) { df_vset(v, x); }
inline void drop(u8* v, u4 x) { df_vclear(v, x); }
inline void fill(u8* v, u4 w, u8 value) { for (u4 i = 0; i < w; i++) v[i] = value; }
inline void copy(u8* d, const u8* a, u4 w) { memcpy(d, a, w * 8); }
inline bool empty(const u8* v, u4 w)
{
    for (u4 i = 0; i < w; i++)
        if (v[i] != 0)
            return false;
    return true;
}
inline bool same(const u8* a, const u8* b, u4 w) { return memcmp(a, b, w * 8) == 0; }
// d = a | (b & ~c)
inline void gen_kill(u8* d, const u8* a, const u8* b, const u8* c, u4 w)
{
    for (u4 i = 0; i < w; i++)
        d[i] = a[i] | (b[i] & ~c[i]);
}

// ---- quadruple facts --------------------------------------------------------------------

constexpr u1 KIND_REF_LOCAL = QK_VARIABLE | QT_REF << QT_SHIFT;     // 0x21
constexpr u2 NO_NULL_EXCEPTION = 0x2000;
constexpr u4 BB2_REMOVED_FACTS = 0x2000;      // holds every fact (check passes), passes nothing on
constexpr u4 BB2_FACTS_RESET = 0x100000;

u4 attr(const quadruple* q) { return opc_info_quadruple[q->opcode]; }
bool flagged(const quadruple* q) { return (q->flags_a & QA_NULLCHECK_VARIANT) != 0; }
void set_flagged(quadruple* q) { q->flags_a |= QA_NULLCHECK_VARIANT; }
bool walked(const bbattr* b) { return b->quad_count != 0 && !(b->flags & BB_DEAD); }

// A local of the method's numbering, or -1.
s4 local_of(const quad_operand& o, u4 nvars)
{
    return (o.kind & QK_KIND_MASK) == QK_VARIABLE && o.number < nvars ? o.number : -1;
}

bool null_constant(const quad_operand& o) { return (o.kind & QK_KIND_MASK) == QK_IMMEDIATE && o.number == 0; }

// The object operand of a dereference: the first source, or with an operand
// list its first entry.  `ref_only` asks for the reference kind byte.
s4 object_local(const quadruple* q, u4 nvars, bool ref_only)
{
    u1 kind;
    u2 number;
    if (df_shape(q) == QC_SRC_LIST) {
        const quad_operand_list_entry* e = quad_list_head(q);
        if (e == nullptr)
            return -1;
        kind = static_cast<u1>(e->kind & 0xFF);
        number = e->number;
    } else {
        kind = q->src1.kind;
        number = q->src1.number;
    }
    if (ref_only ? kind != KIND_REF_LOCAL : (kind & QK_KIND_MASK) != QK_VARIABLE)
        return -1;
    return number < nvars ? number : -1;
}

bool dereferences(const quadruple* q) { return (attr(q) & OPA_MAY_RAISE) != 0; }

// A quadruple past which no check moves: a side effect, or another exception.
bool barrier(const quadruple* q)
{
    return q->opcode != OPC_NULLCHECK && ((attr(q) & OPA_SIDE_EFFECT) || df_exception_class(q) != DF_CANNOT_RAISE);
}

// The local a quadruple defines, or -1; *two when it takes two slots.
s4 defined_local(const quadruple* q, u4 nvars, bool* two)
{
    s4 x = local_of(q->result, nvars);
    *two = x >= 0 && df_two_slot_type((q->result.kind >> QT_SHIFT) & 0xF);
    return x;
}

void kill(u8* v, s4 x, bool two, u4 nvars)
{
    drop(v, static_cast<u4>(x));
    if (two && static_cast<u4>(x) + 1 < nvars)
        drop(v, static_cast<u4>(x) + 1);
}
void define(u8* v, s4 x, bool two, u4 nvars)
{
    add(v, static_cast<u4>(x));
    if (two && static_cast<u4>(x) + 1 < nvars)
        add(v, static_cast<u4>(x) + 1);
}

// The receiver is a fact only in an instance method whose local 0 keeps it.
bool receiver_fixed(const method_compile_context* m)
{
    return m->mb != nullptr && !(m->mb->access & ACC_STATIC) && !(m->state_flags & MCC_RECEIVER_NOT_FIXED);
}

// The copy of incoming argument 0 into a local: the receiver under the
// receiver test, any value otherwise.
bool receiver_copy(const method_compile_context* m, const quadruple* q)
{
    return receiver_fixed(m) && (attr(q) & OPA_LOCAL_COPY) && (q->src1.kind & QK_KIND_MASK) == QK_ARGUMENT
           && q->src1.number == 0;
}

// Local 0 starts a walk proven only while nothing but the receiver's copy
// ever stores into it.
bool local0_holds_receiver(method_compile_context* m, const u4* order, u4 count)
{
    if (!receiver_fixed(m) || m->local_count == 0)
        return false;
    for (u4 i = 1; i < count; i++) {
        bbattr* b = m->bb_table[order[i]];
        if (!walked(b))
            continue;
        for (u4 k = 0; k < b->quad_count; k++) {
            const quadruple* q = b->catbl[k];
            bool two;
            if (!df_deleted(q) && defined_local(q, m->local_count, &two) == 0 && !receiver_copy(m, q))
                return false;
        }
    }
    return true;
}

bool is_entry(const method_compile_context* m, u4 block)
{
    const bbattr* e = m->bb_table[0];
    for (u4 k = 0; k < e->succ_count; k++)
        if (bb_succ_block(e->succ[k]) == block)
            return true;
    return false;
}

// A removed block that holds every fact; never an entry of the method (the
// interpreter-transfer entry carries the same flag and knows nothing).
bool holds_every_fact(const method_compile_context* m, const bbattr* b)
{
    return (b->flags2 & BB2_REMOVED_FACTS) && !(b->flags2 & BB2_FACTS_RESET) && !(b->flags2 & BB2_EMPTY_ENTRY)
           && !is_entry(m, b->id);
}

// The method's known String methods: their result is never null.
bool known_string_method(const bbattr* b, const quadruple* q)
{
    if (q->opcode != OPC_ACALL || (q->subcode & QS_UNRESOLVED))
        return false;
    const methodblock* callee = nullptr;
    if (q->op == 0) {
        callee = reinterpret_cast<const methodblock*>(q->value);
    } else {
        const classblock* cb = b->mb != nullptr ? b->mb->clazz : nullptr;
        if (cb == nullptr || cb->constantpool == nullptr || q->op >= cb->constantpool_count)
            return false;
        const u1* tags = reinterpret_cast<const u1*>(cb->constantpool[0]);
        if (tags[q->op] != (CONSTANT_RESOLVED | CONSTANT_Methodref))
            return false;
        callee = reinterpret_cast<const methodblock*>(cb->constantpool[q->op]);
    }
    if (callee == nullptr || callee->clazz == nullptr || callee->name == nullptr)
        return false;
    const classblock* cls = callee->clazz;
    if (!(cls->access & ACC_FINAL) || cls->name == nullptr || strncmp(cls->name, "java/lang/String", 16) != 0)
        return false;
    static const char* const names[] = {"append", "valueOf", "toString", "substring"};
    for (const char* n : names)
        if (strcmp(callee->name, n) == 0)
            return true;
    return false;
}

// The block chain: whether block b continues the walk of `prev`.
bool continues_chain(const bbattr* b, const bbattr* prev)
{
    if (prev == nullptr || b->pred_count != 1 || (b->flags & BB_HANDLER))
        return false;
    return (prev->succ_count > 0 && prev->succ[0] == b->id) || (prev->succ_count > 1 && prev->succ[1] == b->id);
}

// ---- the proving pass -------------------------------------------------------------------

enum { S_EARLY, S_BARRED, S_IN, S_OUT, S_INSERT, S_PROVEN, S_DEFINED, S_ANTIC };
enum { E_IN_BLOCK, E_AHEAD_ENTRY, E_AHEAD_EXIT };

struct branch_fact {
    u2 successor;
    u2 local;
};

struct nullcheck_pass {
    method_compile_context* m;
    dataflow_pass_context* pc;
    u4 nvars;
    u4 w;
    block_slots sets;
    block_slots explicit_sets;          // base null until a flagged check is seen
    branch_fact* facts;                 // null until a null test is seen
    const u4* order;
    u4 count;
    bool start_has_receiver;
    bool single_chain;
    u8* scratch;
    u4 removed;
    u4 inserted;
    u4 folded;
};

u8* slot(nullcheck_pass& p, u4 b, u4 s) { return p.sets.at(b, s); }

void note_flagged(nullcheck_pass& p, u4 block, u4 x)
{
    if (p.explicit_sets.base == nullptr
        && !alloc_slots(p.m, p.pc, &p.explicit_sets, p.nvars, 3, 0))
        return;
    add(p.explicit_sets.at(block, E_IN_BLOCK), x);
}

void note_branch(nullcheck_pass& p, u4 block, u4 successor, u4 x)
{
    if (p.facts == nullptr) {
        p.facts = static_cast<branch_fact*>(df_alloc(p.m, p.pc, p.m->bb_count * sizeof(branch_fact)));
        if (p.facts == nullptr)
            return;
        memset(p.facts, 0, p.m->bb_count * sizeof(branch_fact));
    }
    p.facts[block] = {static_cast<u2>(successor), static_cast<u2>(x)};
}

// The tested local of a null test ending the block and the successor on
// whose edge it is non-null; -1 when the quadruple is none.
s4 null_test(nullcheck_pass& p, const bbattr* b, u4 k, u4* successor, bool* taken_when_null)
{
    const quadruple* q = b->catbl[k];
    s4 x = -1;
    if (q->opcode == OPC_IFNULL) {
        x = local_of(q->src1, p.nvars);
    } else if (q->opcode == OPC_IFZ) {
        // `if (r != 0)` right after `r = y instanceof C`: y is tested.
        s4 r = local_of(q->src1, p.nvars);
        const quadruple* prev = nullptr;
        for (u4 j = k; j-- > 0;)
            if (!df_deleted(b->catbl[j])) {
                prev = b->catbl[j];
                break;
            }
        if (r >= 0 && prev != nullptr && prev->opcode == OPC_INSTANCEOF && local_of(prev->result, p.nvars) == r
            && local_of(prev->src1, p.nvars) >= 0 && local_of(prev->src1, p.nvars) != r)
            x = local_of(prev->src1, p.nvars);
    }
    if (x < 0 || (q->op != QCC_EQ && q->op != QCC_NE) || b->succ_count != 2)
        return -1;
    *taken_when_null = q->op == QCC_EQ;
    u4 target = q->target;
    u4 other = b->succ[0] == target ? b->succ[1] : b->succ[0];
    if (b->succ[0] == b->succ[1] || (b->succ[0] != target && b->succ[1] != target))
        return -1;
    *successor = *taken_when_null ? other : target;
    return x;
}

// Definition of x by q: x leaves the running set, then comes back when the
// value is never null.  `running` is P or R.
void apply_definition(nullcheck_pass& p, const bbattr* b, quadruple* q, u8* running, u8* proven, u8* barred,
                      u8* defined)
{
    bool two;
    s4 x = defined_local(q, p.nvars, &two);
    if (x < 0)
        return;
    s4 y = local_of(q->src1, p.nvars);
    bool copy_of_proven = (attr(q) & OPA_COPY) && y >= 0 && has(running, static_cast<u4>(y));
    if (barred != nullptr)
        define(barred, x, two, p.nvars);
    if (defined != nullptr)
        define(defined, x, two, p.nvars);
    if (proven != nullptr)
        kill(proven, x, two, p.nvars);
    kill(running, x, two, p.nvars);
    bool never_null = false;
    switch (q->opcode) {
    case OPC_NEW: case OPC_NEWARRAY: case OPC_ANEWARRAY: case OPC_MULTIANEWARRAY: case OPC_LDC:
        never_null = true;
        break;
    case OPC_ACALL:
        if (known_string_method(b, q)) {
            never_null = true;
            p.pc->flags |= DFP_DEADSTORE_WANTED;
        }
        break;
    default:
        never_null = copy_of_proven || receiver_copy(p.m, q);
        break;
    }
    if (never_null) {
        add(running, static_cast<u4>(x));
        if (proven != nullptr)
            add(proven, static_cast<u4>(x));
    }
}

int nc_init(nullcheck_pass& p)
{
    u8* P = p.scratch;
    const bbattr* prev = nullptr;
    bool anything = false;
    p.single_chain = true;
    for (u4 i = 1; i < p.count; i++) {
        u4 id = p.order[i];
        bbattr* b = p.m->bb_table[id];
        if (!walked(b))
            continue;
        if (!continues_chain(b, prev)) {
            fill(P, p.w, 0);
            if (p.start_has_receiver)
                add(P, 0);
            if (prev != nullptr)
                p.single_chain = false;
        }
        prev = b;
        u8* early = slot(p, id, S_EARLY);
        u8* barred = slot(p, id, S_BARRED);
        u8* proven = slot(p, id, S_PROVEN);
        u8* defined = slot(p, id, S_DEFINED);
        bool had_flagged = false;
        for (u4 k = 0; k < b->quad_count; k++) {
            quadruple* q = b->catbl[k];
            if (df_deleted(q))
                continue;
            if (q->opcode == OPC_NULLCHECK) {
                s4 x = local_of(q->src1, p.nvars);
                if (x < 0) {
                    // A check of no local may raise all the same: no check
                    // moves across it.
                    if (null_constant(q->src1))
                        set_flagged(q);
                    fill(barred, p.w, ~0ULL);
                    continue;
                }
                if (has(P, static_cast<u4>(x))) {
                    ChangeNOP(p.m, static_cast<s4>(id), static_cast<s4>(k));
                    p.removed++;
                    continue;
                }
                if (!has(barred, static_cast<u4>(x)))
                    add(early, static_cast<u4>(x));
                if (flagged(q)) {
                    note_flagged(p, id, static_cast<u4>(x));
                    had_flagged = true;
                }
                add(proven, static_cast<u4>(x));
                add(P, static_cast<u4>(x));
                continue;
            }
            if (dereferences(q)) {
                s4 x = object_local(q, p.nvars, true);
                if (x >= 0) {
                    if (!has(barred, static_cast<u4>(x)))
                        add(early, static_cast<u4>(x));
                    add(proven, static_cast<u4>(x));
                    add(P, static_cast<u4>(x));
                }
            }
            apply_definition(p, b, q, P, proven, barred, defined);
            u4 successor;
            bool when_null;
            s4 t = null_test(p, b, k, &successor, &when_null);
            if (t >= 0)
                note_branch(p, id, successor, static_cast<u4>(t));
            if (barrier(q))
                fill(barred, p.w, ~0ULL);
        }
        if (!empty(early, p.w) || !empty(proven, p.w) || had_flagged)
            anything = true;
    }
    return anything && !p.single_chain;
}

void nc_solve(nullcheck_pass& p)
{
    method_compile_context* m = p.m;
    const u4 w = p.w;
    u8* tmp = p.scratch;
    bool no_handlers = df_exception_entries(m) == 0 && m->subroutine_count == 0;
    auto only_self = [](const bbattr* b) { return b->succ_count == 1 && b->succ[0] == b->id; };

    // Anticipation of checks, backward.
    for (u4 i = 1; i < p.count; i++) {
        const bbattr* b = m->bb_table[p.order[i]];
        fill(slot(p, b->id, S_ANTIC), w, only_self(b) ? 0 : ~0ULL);
    }
    if (no_handlers) {
        for (bool changed = true; changed;) {
            changed = false;
            for (u4 i = p.count; i-- > 1;) {
                u4 id = p.order[i];
                const bbattr* b = m->bb_table[id];
                if (b->flags & BB_DEAD)
                    continue;
                u8* out = slot(p, id, S_OUT);
                if (b->succ_count > 0) {
                    fill(out, w, ~0ULL);
                    for (u4 k = 0; k < b->succ_count; k++) {
                        const u8* in = slot(p, bb_succ_block(b->succ[k]), S_ANTIC);
                        for (u4 j = 0; j < w; j++)
                            out[j] &= in[j];
                    }
                }
                gen_kill(tmp, slot(p, id, S_EARLY), out, slot(p, id, S_BARRED), w);
                u8* antic = slot(p, id, S_ANTIC);
                if (!same(tmp, antic, w)) {
                    copy(antic, tmp, w);
                    changed = true;
                }
                if (p.explicit_sets.base != nullptr) {
                    u8* ahead_exit = p.explicit_sets.at(id, E_AHEAD_EXIT);
                    fill(ahead_exit, w, 0);
                    for (u4 k = 0; k < b->succ_count; k++) {
                        const u8* a = p.explicit_sets.at(bb_succ_block(b->succ[k]), E_AHEAD_ENTRY);
                        for (u4 j = 0; j < w; j++)
                            ahead_exit[j] |= a[j];
                    }
                    gen_kill(tmp, p.explicit_sets.at(id, E_IN_BLOCK), ahead_exit, slot(p, id, S_BARRED), w);
                    u8* ahead = p.explicit_sets.at(id, E_AHEAD_ENTRY);
                    if (!same(tmp, ahead, w)) {
                        copy(ahead, tmp, w);
                        changed = true;
                    }
                }
            }
        }

        // Insertion points.  A check whose exception a flagged check ahead
        // would have to raise is not placed: a placed check raises at its own
        // place, while an unflagged one is dropped again later and leaves the
        // exception to the dereferences that follow it, where the program
        // raised it anyway.
        const bbattr* entry = m->bb_table[0];
        for (u4 k = 0; k < entry->succ_count; k++)
            fill(slot(p, bb_succ_block(entry->succ[k]), S_INSERT), w, ~0ULL);
        for (u4 i = 1; i < p.count; i++) {
            const bbattr* b = m->bb_table[p.order[i]];
            if (b->flags & BB_DEAD)
                continue;
            const u8* out = slot(p, b->id, S_OUT);
            for (u4 k = 0; k < b->succ_count; k++) {
                u8* ins = slot(p, bb_succ_block(b->succ[k]), S_INSERT);
                for (u4 j = 0; j < w; j++)
                    ins[j] |= ~out[j];
            }
        }
        for (u4 i = 1; i < p.count; i++) {
            u4 id = p.order[i];
            u8* ins = slot(p, id, S_INSERT);
            const u8* out = slot(p, id, S_OUT);
            u8* proven = slot(p, id, S_PROVEN);
            const u8* ahead = p.explicit_sets.base != nullptr ? p.explicit_sets.at(id, E_AHEAD_EXIT) : nullptr;
            for (u4 j = 0; j < w; j++) {
                ins[j] &= out[j] & ~proven[j];
                if (ahead != nullptr)
                    ins[j] &= ~ahead[j];
            }
            if (!walked(m->bb_table[id]) || m->bb_table[id]->succ_count == 0)
                fill(ins, w, 0);
            for (u4 j = 0; j < w; j++)
                proven[j] |= ins[j];
        }
    } else {
        for (u4 i = 1; i < p.count; i++)
            fill(slot(p, p.order[i], S_INSERT), w, 0);
    }

    // Availability of non-null locals, forward.
    for (u4 i = 1; i < p.count; i++) {
        const bbattr* b = m->bb_table[p.order[i]];
        fill(slot(p, b->id, S_IN), w, only_self(b) ? 0 : ~0ULL);
    }
    // Every entry (the first block, a handler, a subroutine, the transfer
    // from the interpreter) knows the receiver when local 0 always holds it,
    // and nothing else.
    const bbattr* entry = m->bb_table[0];
    for (u4 k = 0; k < entry->succ_count; k++) {
        u8* in = slot(p, bb_succ_block(entry->succ[k]), S_IN);
        fill(in, w, 0);
        if (p.start_has_receiver)
            add(in, 0);
    }
    for (bool changed = true; changed;) {
        changed = false;
        for (u4 i = 1; i < p.count; i++) {
            u4 id = p.order[i];
            const bbattr* b = m->bb_table[id];
            if (b->flags & BB_DEAD)
                continue;
            u8* in = slot(p, id, S_IN);
            u8* out = slot(p, id, S_OUT);
            if (holds_every_fact(m, b))
                fill(tmp, w, ~0ULL);
            else
                copy(tmp, in, w);
            gen_kill(out, slot(p, id, S_PROVEN), tmp, slot(p, id, S_DEFINED), w);
            for (u4 k = 0; k < b->succ_count; k++) {
                u4 s = bb_succ_block(b->succ[k]);
                if (s == 0)
                    continue;
                u8* sin = slot(p, s, S_IN);
                s4 extra = p.facts != nullptr && p.facts[id].successor == s && s != 0 ? p.facts[id].local : -1;
                for (u4 j = 0; j < w; j++) {
                    u8 o = out[j];
                    if (extra >= 0 && static_cast<u4>(extra) >> 6 == j)
                        o |= ABIT_llshr[extra & 63];
                    u8 v = sin[j] & o;
                    if (v != sin[j]) {
                        sin[j] = v;
                        changed = true;
                    }
                }
            }
        }
    }
}

quadruple* fresh_check(method_compile_context* m, u4 x, const quadruple* like)
{
    quadruple* q = mcc_quad_free_list(m);
    if (q != nullptr) {
        quadruple* next;
        memcpy(&next, q, sizeof next);
        mcc_set_quad_free_list(m, next);
    } else {
        q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
    }
    memset(q, 0, sizeof *q);
    q->opcode = OPC_NULLCHECK;
    q->src1.kind = KIND_REF_LOCAL;
    q->src1.number = static_cast<u2>(x);
    q->result.number = QUAD_NO_NUMBER;
    q->auxop.number = QUAD_NO_NUMBER;
    q->src2.number = QUAD_NO_NUMBER;
    q->opcount = static_cast<u2>(1 | (QC_PERMISSIONS & ~NO_NULL_EXCEPTION));
    // Where it stands in the source: the place of the quadruple it precedes.
    if (like != nullptr) {
        q->src2.value = like->src2.value;
        q->context = like->context;
        q->body = like->body;
    }
    return q;
}

// Puts checks of the locals of `missing` before the block's closing run of
// block-ending quadruples.
void insert_checks(nullcheck_pass& p, bbattr* b, const u8* missing)
{
    method_compile_context* m = p.m;
    u4 n = 0;
    for (u4 x = 0; x < p.nvars; x++)
        if (has(missing, x))
            n++;
    if (n == 0)
        return;
    u4 at = b->quad_count;
    while (at > 0 && (df_deleted(b->catbl[at - 1]) || (attr(b->catbl[at - 1]) & OPA_ENDS_BLOCK)))
        at--;
    const quadruple* like = at < b->quad_count ? b->catbl[at] : b->catbl[b->quad_count - 1];
    auto** table = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, (b->quad_count + n) * sizeof(quadruple*)));
    memcpy(table, b->catbl, at * sizeof(quadruple*));
    u4 put = at;
    for (u4 x = 0; x < p.nvars; x++)
        if (has(missing, x))
            table[put++] = fresh_check(m, x, like);
    memcpy(table + put, b->catbl + at, (b->quad_count - at) * sizeof(quadruple*));
    b->catbl = table;
    b->quad_count += n;
    m->total_quad_count += n;
    p.inserted += n;
    // Indexes behind the insertion moved: the chains no longer name them.
    m->state_flags |= MCC_REACHDEF_STALE;
}

// Folds the null test ending block b, whose local is proven non-null.
void fold_test(nullcheck_pass& p, bbattr* b, u4 k, bool taken_when_null)
{
    method_compile_context* m = p.m;
    quadruple* q = b->catbl[k];
    u4 target = q->target;
    u4 dropped;
    if (taken_when_null) {
        dropped = target;
        ChangeNOP(m, static_cast<s4>(b->id), static_cast<s4>(k));
        if (b->succ[0] == target)
            b->succ[0] = b->succ[1];
    } else {
        dropped = b->succ[0] == target ? b->succ[1] : b->succ[0];
        q->opcode = OPC_GOTO;
        q->target = target;
        q->second = 0;
        q->op = 0;
        q->count = 0;
        q->aux = 0;
        q->value = 0;
        q->subcode = 0;
        q->opcount = static_cast<u2>(q->opcount & ~QC_SRC_MASK);
        memset(&q->result, 0, sizeof q->result);
        memset(&q->src1, 0, sizeof q->src1);
        q->result.number = QUAD_NO_NUMBER;
        q->src1.number = QUAD_NO_NUMBER;
        q->src2.kind = 0;
        q->src2.number = QUAD_NO_NUMBER;
        b->succ[0] = target;
    }
    b->succ_count = 1;
    m->state_flags |= MCC_REACHDEF_STALE;
    if (!(b->flags2 & BB2_RARE))
        ClearRarePath(m, b->succ[0]);
    DecrementBackward(m, b->id, dropped);
    p.pc->flags |= DFP_FLOW_CHANGED;
    p.pc->order = nullptr;
    p.pc->order_count = 0;
    p.folded++;
}

void nc_rewrite(nullcheck_pass& p)
{
    method_compile_context* m = p.m;
    u8* R = p.scratch;
    const bbattr* prev = nullptr;
    for (u4 i = 1; i < p.count; i++) {
        u4 id = p.order[i];
        bbattr* b = m->bb_table[id];
        if (!walked(b))
            continue;
        if (!continues_chain(b, prev)) {
            if (holds_every_fact(m, b))
                fill(R, p.w, ~0ULL);
            else
                copy(R, slot(p, id, S_IN), p.w);
        }
        prev = b;
        for (u4 k = 0; k < b->quad_count; k++) {
            quadruple* q = b->catbl[k];
            if (df_deleted(q))
                continue;
            if (q->opcode == OPC_NULLCHECK) {
                s4 x = local_of(q->src1, p.nvars);
                if (x < 0) {
                    if (null_constant(q->src1))
                        set_flagged(q);
                } else if (has(R, static_cast<u4>(x))) {
                    ChangeNOP(m, static_cast<s4>(id), static_cast<s4>(k));
                    p.removed++;
                } else {
                    add(R, static_cast<u4>(x));
                }
                continue;
            }
            if (q->opcode == OPC_CHECKCAST) {
                s4 x = local_of(q->src1, p.nvars);
                if (x >= 0 && has(R, static_cast<u4>(x)))
                    q->subcode |= QS_NO_NULLCHECK;      // the operand is known non-null
                else if (null_constant(q->src1) && (q->result.kind & QK_KIND_MASK) == QK_NONE) {
                    ChangeNOP(m, static_cast<s4>(id), static_cast<s4>(k));
                    continue;
                }
            }
            if (dereferences(q)) {
                s4 x = object_local(q, p.nvars, true);
                if (x >= 0)
                    add(R, static_cast<u4>(x));
            }
            u4 successor;
            bool when_null;
            s4 t = null_test(p, b, k, &successor, &when_null);
            if (t >= 0 && q->opcode == OPC_IFNULL && has(R, static_cast<u4>(t))) {
                fold_test(p, b, k, when_null);
                continue;
            }
            apply_definition(p, b, q, R, nullptr, nullptr, nullptr);
        }
        u8* missing = slot(p, id, S_INSERT);
        for (u4 j = 0; j < p.w; j++)
            missing[j] &= ~R[j];
        insert_checks(p, b, missing);
        for (u4 j = 0; j < p.w; j++)
            R[j] |= missing[j];
    }
}

} // namespace

int dataflow_Q_nullcheck(method_compile_context* m, dataflow_pass_context* pc)
{
    if ((compile_option2_flag & OPT2_NQNULLCHECK) || !(pc->flags & DFP_NULLCHECK_WANTED)
        || !(m->state_flags & MCC_QUAD_FORM))
        return 0;
    pc->flags &= ~DFP_NULLCHECK_WANTED;
    pc->flags |= DFP_BUSY;
    df_reset_arena1(pc);
    nullcheck_pass p{};
    p.m = m;
    p.pc = pc;
    p.nvars = m->local_count;
    u4 count;
    u4* order;
    CreateDFSforDFQuadruple(m, pc, &count, &order);
    p.order = order;
    p.count = count;
    if (p.nvars == 0 || count < 2 || !alloc_slots(m, pc, &p.sets, p.nvars, 8, 0)) {
        pc->flags &= ~DFP_BUSY;
        return 0;
    }
    p.w = p.sets.words;
    p.scratch = static_cast<u8*>(df_alloc(m, pc, p.w * 8));
    p.start_has_receiver = local0_holds_receiver(m, order, count);
    if (nc_init(p)) {
        nc_solve(p);
        nc_rewrite(p);
    }
    pc->flags &= ~DFP_BUSY;
    return 0;
}

// ---- null-exception propagation ----------------------------------------------------------

namespace {

enum { P_SUMMARY, P_TOUCHED, P_IN, P_OUT, P_UNUSED4, P_PENDING, P_KILL };

struct propagation {
    method_compile_context* m;
    u4 nvars;
    u4 w;
    block_slots sets;
    const u4* order;
    u4 count;
    u8* P;
    u4 removed;
};

// One walk of a block: unflagged checks of locals go (in the first walk),
// their locals become pending, and dereferences of pending locals take the
// exception over.
void propagate_block(propagation& p, u4 id, bool first_walk)
{
    bbattr* b = p.m->bb_table[id];
    u8* touched = p.sets.at(id, P_TOUCHED);
    u8* pending = p.sets.at(id, P_PENDING);
    u8* kill_set = p.sets.at(id, P_KILL);
    for (u4 k = 0; k < b->quad_count; k++) {
        quadruple* q = b->catbl[k];
        if (df_deleted(q))
            continue;
        if (q->opcode == OPC_NULLCHECK) {
            if (flagged(q))
                continue;
            s4 x = local_of(q->src1, p.nvars);
            if (x < 0) {
                if (null_constant(q->src1))
                    set_flagged(q);
                continue;
            }
            if (!has(p.P, static_cast<u4>(x))) {
                add(pending, static_cast<u4>(x));
                add(p.P, static_cast<u4>(x));
            }
            if (first_walk) {
                ChangeNOP(p.m, static_cast<s4>(id), static_cast<s4>(k));
                p.removed++;
            }
            continue;
        }
        if (dereferences(q)) {
            s4 x = object_local(q, p.nvars, false);
            if (x >= 0) {
                if (has(p.P, static_cast<u4>(x)))
                    q->opcount = static_cast<u2>(q->opcount & ~NO_NULL_EXCEPTION);
                add(touched, static_cast<u4>(x));
                add(kill_set, static_cast<u4>(x));
                drop(pending, static_cast<u4>(x));
                drop(p.P, static_cast<u4>(x));
            }
        }
        bool two;
        s4 x = defined_local(q, p.nvars, &two);
        if (x >= 0) {
            s4 y = local_of(q->src1, p.nvars);
            bool carries = (attr(q) & OPA_COPY) && y >= 0 && has(p.P, static_cast<u4>(y));
            define(touched, x, two, p.nvars);
            define(kill_set, x, two, p.nvars);
            kill(pending, x, two, p.nvars);
            kill(p.P, x, two, p.nvars);
            if (carries) {
                add(pending, static_cast<u4>(x));
                add(p.P, static_cast<u4>(x));
            }
        }
    }
}

// Both passes run on quadruples with locals, unless NQNULLCHECK; the block
// order is the depth-first list.  False when the pass does not run.
bool start_pass(method_compile_context* m, dataflow_pass_context* pc, u4* count, u4** order)
{
    if ((compile_option2_flag & OPT2_NQNULLCHECK) || !(m->state_flags & MCC_QUAD_FORM) || m->local_count == 0)
        return false;
    pc->flags |= DFP_BUSY;
    df_reset_arena1(pc);
    CreateDFSforDFQuadruple(m, pc, count, order);
    return true;
}

} // namespace

int dataflow_Q_nullexception_propa(method_compile_context* m, dataflow_pass_context* pc)
{
    u4 count;
    u4* order;
    if (!start_pass(m, pc, &count, &order))
        return 0;
    propagation p{};
    p.m = m;
    p.nvars = m->local_count;
    p.order = order;
    p.count = count;
    // Six sets of a block count against the limit of the vector form.
    u4 limit = p.nvars > 64 ? DF_VECTOR_LIMIT : 0;
    if (count < 2 || !alloc_slots(m, pc, &p.sets, p.nvars, 7, limit, 6)) {
        pc->flags &= ~DFP_BUSY;
        return 0;
    }
    p.w = p.sets.words;
    p.P = static_cast<u8*>(df_alloc(m, pc, p.w * 8));
    u8* tmp = static_cast<u8*>(df_alloc(m, pc, p.w * 8));

    // Init: the checks go, and each block's own pending and kill sets.
    bool anything = false, single_chain = true;
    const bbattr* prev = nullptr;
    for (u4 i = 1; i < count; i++) {
        u4 id = order[i];
        bbattr* b = m->bb_table[id];
        if (!walked(b))
            continue;
        if (!continues_chain(b, prev)) {
            fill(p.P, p.w, 0);
            if (prev != nullptr)
                single_chain = false;
        }
        prev = b;
        propagate_block(p, id, true);
        if (!empty(p.sets.at(id, P_SUMMARY), p.w) || !empty(p.sets.at(id, P_TOUCHED), p.w)
            || !empty(p.sets.at(id, P_PENDING), p.w))
            anything = true;
    }
    if (anything && !single_chain) {
        // Solve: a local is pending at a block's entry when it is pending at
        // the end of some predecessor.
        for (bool changed = true; changed;) {
            changed = false;
            for (u4 i = 1; i < count; i++) {
                u4 id = order[i];
                const bbattr* b = m->bb_table[id];
                if (b->flags & BB_DEAD)
                    continue;
                u8* out = p.sets.at(id, P_OUT);
                gen_kill(out, p.sets.at(id, P_PENDING), p.sets.at(id, P_IN), p.sets.at(id, P_KILL), p.w);
                if (holds_every_fact(m, b))
                    continue;
                for (u4 k = 0; k < b->succ_count; k++) {
                    u4 s = bb_succ_block(b->succ[k]);
                    if (s == 0)
                        continue;
                    u8* sin = p.sets.at(s, P_IN);
                    for (u4 j = 0; j < p.w; j++) {
                        u8 v = sin[j] | out[j];
                        if (v != sin[j]) {
                            sin[j] = v;
                            changed = true;
                        }
                    }
                }
            }
        }
        // Rewrite: the walk again, each chain starting from its entry set.
        prev = nullptr;
        for (u4 i = 1; i < count; i++) {
            u4 id = order[i];
            bbattr* b = m->bb_table[id];
            if (!walked(b))
                continue;
            if (!continues_chain(b, prev))
                copy(p.P, p.sets.at(id, P_IN), p.w);
            prev = b;
            copy(tmp, p.sets.at(id, P_PENDING), p.w);
            propagate_block(p, id, false);
            copy(p.sets.at(id, P_PENDING), tmp, p.w);
        }
    }
    pc->flags &= ~DFP_BUSY;
    return 0;
}

// ---- explicit null-check removal --------------------------------------------------------

namespace {

enum { X_EARLY, X_BARRED, X_IN, X_OUT };

struct explicit_removal {
    method_compile_context* m;
    u4 nvars;
    u4 w;
    block_slots sets;
    u8* A;
    bool seen_flagged;
    u4 removed;
};

// Dereferences that raise the exception of a null object themselves.
bool raising_dereference(const quadruple* q)
{
    if (!dereferences(q) || q->opcode == OPC_ATHROW || q->opcode == OPC_NULLCHECK_MARK)
        return false;
    if (q->opcode >= OPC_ICALL && q->opcode <= OPC_CALL_MARK) {
        u4 sub = q->subcode & QS_KIND_MASK;
        if (sub == 3 || sub == 4)
            return false;
    }
    return true;
}

// Walks block id from its last quadruple to its first with the running set A.
void remove_block(explicit_removal& e, u4 id, bool rewrite)
{
    bbattr* b = e.m->bb_table[id];
    u8* early = e.sets.at(id, X_EARLY);
    u8* barred = e.sets.at(id, X_BARRED);
    for (u4 k = b->quad_count; k-- > 0;) {
        quadruple* q = b->catbl[k];
        if (df_deleted(q))
            continue;
        if (q->opcode == OPC_NULLCHECK) {
            s4 x = local_of(q->src1, e.nvars);
            if (x < 0) {
                if (!rewrite) {
                    fill(barred, e.w, ~0ULL);
                    fill(early, e.w, 0);
                }
                fill(e.A, e.w, 0);
                continue;
            }
            if (flagged(q)) {
                e.seen_flagged = true;
                if (has(e.A, static_cast<u4>(x))) {
                    ChangeNOP(e.m, static_cast<s4>(id), static_cast<s4>(k));
                    e.removed++;
                }
            }
            if (!rewrite)
                add(early, static_cast<u4>(x));
            add(e.A, static_cast<u4>(x));
            continue;
        }
        bool two;
        s4 x = defined_local(q, e.nvars, &two);
        if (x >= 0) {
            if (!rewrite) {
                define(barred, x, two, e.nvars);
                kill(early, x, two, e.nvars);
            }
            kill(e.A, x, two, e.nvars);
        }
        if (barrier(q)) {
            if (!rewrite) {
                fill(barred, e.w, ~0ULL);
                fill(early, e.w, 0);
            }
            fill(e.A, e.w, 0);
        }
        if (raising_dereference(q)) {
            s4 y = object_local(q, e.nvars, false);
            if (y >= 0) {
                if (!rewrite)
                    add(early, static_cast<u4>(y));
                add(e.A, static_cast<u4>(y));
            }
        }
    }
}

bool continues_backward(const bbattr* b, const bbattr* prev)
{
    return prev != nullptr && b->succ_count == 1 && b->succ[0] == prev->id && b->try_region == prev->try_region;
}

} // namespace

int dataflow_Q_eliminate_explicit_nullcheck(method_compile_context* m, dataflow_pass_context* pc)
{
    u4 count;
    u4* order;
    if (!start_pass(m, pc, &count, &order))
        return 0;
    explicit_removal e{};
    e.m = m;
    e.nvars = m->local_count;
    // The limit: four vectors a block, or 64 bytes a block above 128 blocks.
    u4 limit = e.nvars > 64 || m->bb_count > 128 ? DF_VECTOR_LIMIT : 0;
    if (count < 2 || !alloc_slots(m, pc, &e.sets, e.nvars, 4, limit, e.nvars > 64 ? 4 : 8)) {
        pc->flags &= ~DFP_BUSY;
        return 0;
    }
    e.w = e.sets.words;
    e.A = static_cast<u8*>(df_alloc(m, pc, e.w * 8));
    u8* tmp = static_cast<u8*>(df_alloc(m, pc, e.w * 8));

    bool anything = false, single_chain = true;
    const bbattr* prev = nullptr;
    for (u4 i = count; i-- > 1;) {
        u4 id = order[i];
        const bbattr* b = m->bb_table[id];
        if (!walked(b))
            continue;
        if (!continues_backward(b, prev)) {
            fill(e.A, e.w, 0);
            if (prev != nullptr)
                single_chain = false;
        }
        prev = b;
        remove_block(e, id, false);
        if (!empty(e.sets.at(id, X_EARLY), e.w))
            anything = true;
    }
    if (e.seen_flagged && anything && !single_chain) {
        // Dereferences anticipated at block boundaries: a local counts at a
        // block's exit when every successor dereferences it first.  A
        // successor in another try region raises into another handler.
        for (bool changed = true; changed;) {
            changed = false;
            for (u4 i = count; i-- > 1;) {
                u4 id = order[i];
                const bbattr* b = m->bb_table[id];
                if (b->flags & BB_DEAD)
                    continue;
                u8* out = e.sets.at(id, X_OUT);
                if (b->succ_count > 0) {
                    fill(out, e.w, ~0ULL);
                    for (u4 k = 0; k < b->succ_count; k++) {
                        u4 s = bb_succ_block(b->succ[k]);
                        const bbattr* sb = m->bb_table[s];
                        const u8* in = e.sets.at(s, X_IN);
                        for (u4 j = 0; j < e.w; j++)
                            out[j] &= sb->try_region == b->try_region ? in[j] : 0;
                    }
                }
                gen_kill(tmp, e.sets.at(id, X_EARLY), out, e.sets.at(id, X_BARRED), e.w);
                u8* in = e.sets.at(id, X_IN);
                if (!same(tmp, in, e.w)) {
                    copy(in, tmp, e.w);
                    changed = true;
                }
            }
        }
        prev = nullptr;
        for (u4 i = count; i-- > 1;) {
            u4 id = order[i];
            const bbattr* b = m->bb_table[id];
            if (!walked(b))
                continue;
            if (!continues_backward(b, prev))
                copy(e.A, e.sets.at(id, X_OUT), e.w);
            prev = b;
            remove_block(e, id, true);
        }
    }
    pc->flags &= ~DFP_BUSY;
    return 0;
}
