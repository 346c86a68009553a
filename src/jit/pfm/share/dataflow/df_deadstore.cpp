// Dead-store elimination over the quadruples: a quadruple whose only effect
// is to write a local that nothing reads afterwards goes; one whose other
// effects must stay (a possible exception, a call, a memory write) keeps them
// and loses only its destination.
//
// Requires the quadruple form (state bit MCC_QUAD_FORM) and at least one
// local; runs from scratch on every call, without the chains (it keeps them
// exact through ChangeNOP when they are fresh).
//
// Sketch: a backward walk over the blocks in reverse visiting order keeps a
// running set L of locals read later.  The local scan carries L along
// straight chains of blocks (one successor, visited just before) and
// restarts with every local live anywhere else; when some block restarted,
// a liveness iteration over per-block GEN/KILL gives every block its OUT and
// a second (global) scan restarts each block from its OUT.
//
// Exceptions: inside a try range a quadruple that may raise reads every
// local that some handler reads (the handler-live set, found by a first run
// of the same scan and iteration without deletion), so a store whose value a
// handler can see stays live.  A jsr reads every local some subroutine reads
// and a ret reads everything.
//
// Quadruples that mark a place for the code generator (a handler's entry,
// register pinning, a jsr, a pin-down, a monitor of a synchronized method)
// stay whatever their destination: their code does more than write it.
//
// Mended: a dead new-array keeps its NegativeArraySizeException: a constant
// length is compared unsigned against the limit, so a negative constant
// never passes for a small one.
#include <string.h>

#include "driver/driver.h"
#include "driver/options.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"

namespace {

constexpr u4 SIDE_EFFECT_MASK = 0x80078;        // attributes that keep a dead quadruple's work
constexpr u4 ARRAY_LENGTH_LIMIT = 0x1FFFFFFF;   // a constant length not above this cannot fail
constexpr u4 BB2_NOT_HANDLER_LIVE = BB2_EMPTY_ENTRY;   // an entry successor that is no handler

struct ds_pass {
    method_compile_context* m;
    u4 nlocals;
    u4 words;               // 64-bit words per set
    u8* sets;               // per block: in, out, gen, kill (words each)
    u8* handler_live;
    u8* subr_live;
    u8* all;
    u8* live;               // the running set L
    u4* order;
    u4 order_count;
    bool deleting;
};

u8* in_of(ds_pass& p, u4 b) { return p.sets + (static_cast<size_t>(b) * 4 + 0) * p.words; }
u8* out_of(ds_pass& p, u4 b) { return p.sets + (static_cast<size_t>(b) * 4 + 1) * p.words; }
u8* gen_of(ds_pass& p, u4 b) { return p.sets + (static_cast<size_t>(b) * 4 + 2) * p.words; }
u8* kill_of(ds_pass& p, u4 b) { return p.sets + (static_cast<size_t>(b) * 4 + 3) * p.words; }

void set_copy(u8* d, const u8* s, u4 w) { memcpy(d, s, w * sizeof(u8)); }
void set_or(u8* d, const u8* s, u4 w)
{
    for (u4 i = 0; i < w; i++)
        d[i] |= s[i];
}

bool two_slot(const df_operand* o) { return opc_table_type[df_type(o) & 7].two_word != 0; }

bool skipped_block(const bbattr* b) { return b->quad_count == 0 || (b->flags & BB_DEAD); }

// Slot s and, for long and double, s + 1.
void add_slots(ds_pass& p, u8* set, const df_operand* o)
{
    u4 s = o->number;
    if (s < p.nlocals)
        df_vset(set, s);
    if (two_slot(o) && s + 1 < p.nlocals)
        df_vset(set, s + 1);
}
void remove_slots(ds_pass& p, u8* set, const df_operand* o)
{
    u4 s = o->number;
    if (s < p.nlocals)
        df_vclear(set, s);
    if (two_slot(o) && s + 1 < p.nlocals)
        df_vclear(set, s + 1);
}
bool any_slot(ds_pass& p, const u8* set, const df_operand* o)
{
    u4 s = o->number;
    return (s < p.nlocals && df_vtest(set, s)) || (two_slot(o) && s + 1 < p.nlocals && df_vtest(set, s + 1));
}

void empty_destination(quadruple* q)
{
    q->result.kind = 0;
    q->result.flags = 0;
    q->result.number = QUAD_NO_NUMBER;
    q->result.value = 0;
}

// The class whose initialisation a dead allocation or static load would have
// started, or null when there is none to keep (initialised, or unknown).
classblock* class_to_initialise(const quadruple* q)
{
    classblock* cb = nullptr;
    const auto* mb = reinterpret_cast<const methodblock*>(q->context);
    if (q->opcode == OPC_NEW) {
        cb = reinterpret_cast<classblock*>(q->aux);
        if (cb == nullptr && mb != nullptr && mb->clazz != nullptr && mb->clazz->constantpool != nullptr)
            cb = reinterpret_cast<classblock*>(mb->clazz->constantpool[q->op]);
    } else {
        const fieldblock* fb = reinterpret_cast<const fieldblock*>(q->aux);
        if (fb == nullptr && mb != nullptr && mb->clazz != nullptr && mb->clazz->constantpool != nullptr
            && q->op != 0)
            fb = reinterpret_cast<const fieldblock*>(mb->clazz->constantpool[q->op]);
        cb = fb != nullptr ? fb->clazz : nullptr;
    }
    return cb;
}

// A dead allocation or static load of a class that is not initialised yet
// becomes the class initialisation alone.
void keep_class_initialisation(quadruple* q, classblock* cb)
{
    q->opcode = OPC_CLINIT;
    empty_destination(q);
    quad_operand_clear(q->src1);
    quad_operand_clear(q->src2);
    q->value = reinterpret_cast<u4>(cb);
    q->aux = 0;
    q->flags_a = 0;
    q->opcount = static_cast<u2>(q->opcount & ~QC_SRC_MASK);
    df_set_exception_class(q, 0);
}

bool is_named(const methodblock* callee, const char* name, const char* clazz, const char* sig_prefix)
{
    return callee != nullptr && callee->name != nullptr && strcmp(callee->name, name) == 0 && callee->clazz != nullptr
           && callee->clazz->name != nullptr && strcmp(callee->clazz->name, clazz) == 0 && callee->signature != nullptr
           && strncmp(callee->signature, sig_prefix, strlen(sig_prefix)) == 0;
}

// The argument pushes that fed a deleted side-effect-free call, back to the
// previous call.
void delete_argument_pushes(method_compile_context* m, u4 block, u4 index)
{
    bbattr* b = m->bb_table[block];
    for (s4 k = static_cast<s4>(index) - 1; k >= 0; k--) {
        quadruple* q = b->catbl[k];
        if (df_deleted(q))
            continue;
        u4 attr = opc_info_quadruple[q->opcode];
        if (attr & OPA_CALL)
            break;
        if (quad_operand_kind(q->result) == QK_ARGUMENT && (attr & OPA_ARGCOPY))
            ChangeNOP(m, static_cast<s4>(block), k);
    }
}

// A dead String.indexOf(String, ...) still raises NullPointerException for a
// null argument: it becomes an explicit null check of the argument.
bool indexof_to_nullcheck(method_compile_context* m, u4 block, u4 index)
{
    bbattr* b = m->bb_table[block];
    quadruple* q = b->catbl[index];
    if (q->opcode != OPC_ICALL || quad_unresolved(q))
        return false;
    const auto* callee = reinterpret_cast<const methodblock*>(q->value);
    if (!is_named(callee, "indexOf", "java/lang/String", "(Ljava/lang/String;"))
        return false;
    for (s4 k = static_cast<s4>(index) - 1; k >= 0; k--) {
        quadruple* a = b->catbl[k];
        if (df_deleted(a) || quad_operand_kind(a->result) != QK_ARGUMENT || (a->result.number >> 8) != 1)
            continue;
        quad_operand value = a->src1;
        u4 chain = df_opnd(&a->src1)->chain;
        u2 single = df_opnd(&a->src1)->kind & DFO_SINGLE_REF;
        // Its pushes go first (the chains of the call's list die with it).
        ChangeNOP(m, static_cast<s4>(block), static_cast<s4>(index));
        q->opcode = OPC_NULLCHECK;
        q->subcode = 0;
        q->flags_a = QA_NULLCHECK_VARIANT;
        q->flags_b = 0;
        q->src1 = value;
        df_opnd(&q->src1)->chain = 0;
        if (single == 0 || chain == 0)
            df_opnd(&q->src1)->kind &= static_cast<u2>(~DFO_SINGLE_REF);
        q->opcount = static_cast<u2>(1);
        df_set_exception_class(q, 13);
        // The null check reads the argument's value itself: its push may go,
        // but not what the push read.  The chains are stale from here on.
        m->state_flags |= MCC_REACHDEF_STALE;
        delete_argument_pushes(m, block, index);
        return true;
    }
    return false;
}

// A store found dead: drop what can go.  Returns true when the quadruple
// became a no-operation (its reads vanish with it).
bool dead_definition(ds_pass& p, u4 block, u4 index)
{
    method_compile_context* m = p.m;
    bbattr* b = m->bb_table[block];
    quadruple* q = b->catbl[index];
    u1 op = q->opcode;
    if (df_always_kept(op) || quad_unresolved(q))
        return false;
    u4 attr = opc_info_quadruple[op];
    if (!(attr & SIDE_EFFECT_MASK) && df_exception_class(q) == DF_CANNOT_RAISE) {
        if ((attr & OPA_MAY_RAISE) && index > 0) {
            quadruple* prev = b->catbl[index - 1];
            if (prev->opcode == OPC_NULLCHECK && !df_deleted(prev) && prev->src1.kind == q->src1.kind
                && prev->src1.number == q->src1.number)
                prev->flags_a |= QA_NULLCHECK_VARIANT;
        }
        if (op == OPC_NEW || (op >= OPC_IGETSTATIC && op <= OPC_AGETSTATIC)) {
            classblock* cb = class_to_initialise(q);
            if (cb == nullptr)
                return false;               // unknown class: keep it whole
            if (!(cb->state & CS_INITIALIZED)) {
                ChangeNOP(m, static_cast<s4>(block), static_cast<s4>(index));
                keep_class_initialisation(q, cb);
                return false;
            }
        }
        ChangeNOP(m, static_cast<s4>(block), static_cast<s4>(index));
        return true;
    }
    if (op == OPC_SYNCENTER)
        return false;
    if (!(q->flags_a & QA_STRING_OR_INTEGER) || op < OPC_ICALL || op > OPC_VCALL) {
        empty_destination(q);
        if ((op == OPC_IOP2 || op == OPC_LOP2) && (q->op == QOP_DIV || q->op == QOP_REM)) {
            // Only the division-by-zero test is left.
            quad_operand_set(q->src1, quad_kind_byte(QK_IMMEDIATE, op == OPC_IOP2 ? QT_INT : QT_LONG), 0);
        } else if ((op == OPC_NEWARRAY || op == OPC_ANEWARRAY) && !(b->flags & BB_IN_TRY)
                   && quad_operand_type(q->src1) == QT_INT) {
            u1 kind = quad_operand_kind(q->src1);
            // Unsigned: a negative length must still raise.
            bool small = kind == QK_IMMEDIATE
                         || (kind == QK_CONSTANT && q->value <= ARRAY_LENGTH_LIMIT && !(b->flags & BB_KIND_LOOP));
            if (small) {
                ChangeNOP(m, static_cast<s4>(block), static_cast<s4>(index));
                return true;
            }
        }
        return false;
    }
    if (indexof_to_nullcheck(m, block, index))
        return false;
    ChangeNOP(m, static_cast<s4>(block), static_cast<s4>(index));
    delete_argument_pushes(m, block, index);
    return true;
}

// The reads of a quadruple that stays: added to GEN and L.
void add_uses(ds_pass& p, u4 block, quadruple* q, u8* gen)
{
    const bbattr* b = p.m->bb_table[block];
    if (q->opcode == OPC_JSR) {
        set_or(gen, p.subr_live, p.words);
        set_or(p.live, p.subr_live, p.words);
    }
    if (q->opcode == OPC_OTHER && quad_kind_nibble(q) == OTHER_RET) {
        set_or(gen, p.all, p.words);
        set_or(p.live, p.all, p.words);
    }
    if ((b->flags & BB_IN_TRY) && df_exception_class(q) != DF_CANNOT_RAISE) {
        set_or(gen, p.handler_live, p.words);
        set_or(p.live, p.handler_live, p.words);
    }
    df_for_each_source(q, [&](df_operand* o) {
        if (df_is_local(o)) {
            add_slots(p, gen, o);
            add_slots(p, p.live, o);
        }
    });
}

void scan_block(ds_pass& p, u4 block)
{
    bbattr* b = p.m->bb_table[block];
    u8* gen = gen_of(p, block);
    u8* kill = kill_of(p, block);
    for (s4 k = static_cast<s4>(b->quad_count) - 1; k >= 0; k--) {
        quadruple* q = b->catbl[k];
        if (df_deleted(q))
            continue;
        df_operand* d = df_opnd(&q->result);
        if (df_is_local(d)) {
            remove_slots(p, gen, d);
            add_slots(p, kill, d);
            bool live = any_slot(p, p.live, d);
            remove_slots(p, p.live, d);
            if (!live && p.deleting && dead_definition(p, block, static_cast<u4>(k)))
                continue;
        }
        if (!df_deleted(q))
            add_uses(p, block, q, gen);
    }
}

// Local scan (global = false) or global scan; the local scan answers whether
// some block had to restart with every local live.
bool scan(ds_pass& p, bool global)
{
    bool restarted = false;
    s4 previous = -1;
    for (s4 i = static_cast<s4>(p.order_count) - 1; i >= 0; i--) {
        u4 block = p.order[i];
        if (block >= p.m->bb_count)
            continue;
        bbattr* b = p.m->bb_table[block];
        if (skipped_block(b))
            continue;
        bool chained = !(b->flags & BB_IN_TRY) && b->succ_count == 1 && previous >= 0
                       && bb_succ_block(b->succ[0]) == static_cast<u4>(previous);
        if (!chained) {
            if (global) {
                set_copy(p.live, out_of(p, block), p.words);
            } else {
                set_copy(p.live, p.all, p.words);
                restarted = true;
            }
        }
        scan_block(p, block);
        previous = static_cast<s4>(block);
    }
    return restarted;
}

void liveness(ds_pass& p)
{
    u8* old_in = p.live;        // scratch between the scans
    bool changed = true;
    while (changed) {
        changed = false;
        for (s4 i = static_cast<s4>(p.order_count) - 1; i >= 0; i--) {
            // Block 0 is only the list of entries; the exit block's list
            // names the blocks that reach it, and nothing is live after it.
            u4 block = p.order[i];
            if (block == 0 || block >= p.m->bb_count)
                continue;
            bbattr* b = p.m->bb_table[block];
            u8* out = out_of(p, block);
            memset(out, 0, p.words * sizeof(u8));
            u4 nsucc = block + 1 == p.m->bb_count ? 0 : b->succ_count;
            for (u4 s = 0; s < nsucc; s++) {
                u4 succ = bb_succ_block(b->succ[s]);
                if (succ < p.m->bb_count)
                    set_or(out, in_of(p, succ), p.words);
            }
            u8* in = in_of(p, block);
            set_copy(old_in, in, p.words);
            const u8* gen = gen_of(p, block);
            const u8* kill = kill_of(p, block);
            for (u4 w = 0; w < p.words; w++) {
                in[w] = gen[w] | (out[w] & ~kill[w]);
                if (in[w] != old_in[w])
                    changed = true;
            }
        }
    }
}

// Locals live into some handler and into some subroutine.
void preliminary(ds_pass& p)
{
    memset(p.handler_live, 0, p.words * sizeof(u8));
    set_copy(p.subr_live, p.all, p.words);
    p.deleting = false;
    scan(p, false);
    liveness(p);
    memset(p.subr_live, 0, p.words * sizeof(u8));
    const bbattr* entry = p.m->bb_table[0];
    for (u4 k = 0; k < entry->succ_count; k++) {
        s4 s = static_cast<s4>(entry->succ[k]);
        if (s > 0) {
            if (k == 0 || static_cast<u4>(s) >= p.m->bb_count
                || (p.m->bb_table[s]->flags2 & BB2_NOT_HANDLER_LIVE))
                continue;
            set_or(p.handler_live, in_of(p, static_cast<u4>(s)), p.words);
        } else if (static_cast<u4>(-s) < p.m->bb_count) {
            set_or(p.subr_live, in_of(p, static_cast<u4>(-s)), p.words);
        }
    }
    memset(p.sets, 0, static_cast<size_t>(p.m->bb_count) * 4 * p.words * sizeof(u8));
}

} // namespace

int dataflow_Q_deadstore(method_compile_context* m, dataflow_pass_context* pc)
{
    if ((compile_option2_flag & OPT2_NQDEADSTORE) || !(m->state_flags & MCC_QUAD_FORM) || m->local_count == 0)
        return 0;
    ds_pass p{};
    p.m = m;
    p.nlocals = m->local_count;
    p.words = df_words(static_cast<s4>(p.nlocals));
    size_t set_bytes = static_cast<size_t>(p.words) * sizeof(u8);
    size_t total = (static_cast<size_t>(m->bb_count) * 4 + 4) * set_bytes;
    auto* area = static_cast<u8*>(jit_wmem_alloc(m->pool1, static_cast<u4>(total)));
    if (area == nullptr)
        return 1;
    memset(area, 0, total);
    p.sets = area;
    u8* extra = area + static_cast<size_t>(m->bb_count) * 4 * p.words;
    p.handler_live = extra;
    p.subr_live = extra + p.words;
    p.all = extra + 2 * p.words;
    p.live = extra + 3 * p.words;
    for (u4 s = 0; s < p.nlocals; s++)
        df_vset(p.all, s);
    CreateDFSforDFQuadruple(m, pc, &p.order_count, &p.order);
    set_copy(p.subr_live, p.all, p.words);
    if (df_exception_entries(m) > 0 || m->subroutine_count > 0)
        preliminary(p);
    p.deleting = true;
    if (scan(p, false)) {
        liveness(p);
        scan(p, true);
    }
    return 0;
}
