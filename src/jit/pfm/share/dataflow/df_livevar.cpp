// Live variables: a backward analysis over the quadruples that leaves, for
// code generation and register allocation, the live-in and live-out sets of
// every block, dead-after marks on every operand that reads or writes a
// tracked variable, each block's largest count of live variables and, on
// request, per-local lists of the places where a local's value dies.  The
// same walk records facts for code generation: which blocks hold calls, and
// whether any quadruple of the method may raise.
//
// Variables: the locals (kind 1) and three argument slots (kind 2, index 0
// to 2), nlocals + 3 in all; a long or double also covers the next variable.
// With at most 64 variables a set is one 64-bit word, else an array of them
// (item i at bit 63 - i mod 64 of word i / 64, the solver's numbering).
//
// Requires the quadruple form; invalidates nothing.  Callers clear the
// liveness-unavailable state bit first; it is set again when the analysis
// does not run to its end.
#include <string.h>

#include "codegen/cg_core.h"
#include "driver/driver.h"
#include "driver/vmlink.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"

namespace {

constexpr u4 EXTRA_SLOTS = 3;     // argument slots 0..2 are tracked after the locals

// A set as a pointer to its words: the slot itself in the word form.
u8* set_of(u8& slot, bool vec) { return vec ? df_vec(slot) : &slot; }

struct live_ctx {
    method_compile_context* m;
    dataflow_pass_context* pc;
    u4 nvars;
    u4 nlocals;
    u4 words;
    bool vec;
    const u8* exit;       // the pass context's exit set
    const u8* handler;    // its handler set
};

void set_add(u8* s, u4 v) { s[v >> 6] |= ABIT_llshr[v & 63]; }
void set_del(u8* s, u4 v) { s[v >> 6] &= ~ABIT_llshr[v & 63]; }
bool set_has(const u8* s, u4 v) { return (s[v >> 6] & ABIT_llshr[v & 63]) != 0; }
void set_or(u8* d, const u8* s, u4 w)
{
    for (u4 i = 0; i < w; i++)
        d[i] |= s[i];
}
void set_minus(u8* d, const u8* s, u4 w)
{
    for (u4 i = 0; i < w; i++)
        d[i] &= ~s[i];
}
void set_all(u8* d, u4 nvars, u4 w)
{
    for (u4 i = 0; i < w; i++) {
        u4 rest = nvars - 64 * i;
        d[i] = rest >= 64 ? ~u8{0} : ~(~u8{0} >> rest);
    }
}
u4 set_count(const u8* s, u4 w)
{
    u4 n = 0;
    for (u4 i = 0; i < w; i++)
        n += static_cast<u4>(__builtin_popcountll(s[i]));
    return n;
}

// The tracked variables of one operand: the first and, for a two-slot value,
// the second; -1 when the slot is not tracked.
void operand_vars(const live_ctx& c, const df_operand* o, s4* first, s4* second)
{
    *first = *second = -1;
    u1 t = df_type(o);
    if (df_kind(o) == QK_VARIABLE) {
        if (o->number >= c.nlocals)
            return;
        *first = o->number;
        if ((t == QT_LONG || t == QT_DOUBLE) && o->number + 1u < c.nlocals)
            *second = o->number + 1;
        return;
    }
    if (df_kind(o) != QK_ARGUMENT || !(t == 1 || t == 2 || t == 3 || t == 6 || t == 7))
        return;
    u4 b = o->number & 0xFF;
    if (b > 2)
        return;
    *first = static_cast<s4>(c.nlocals + b);
    if (t == QT_LONG && b + 1 <= 2)
        *second = static_cast<s4>(c.nlocals + b + 1);
}

bool in_try(const bbattr* b) { return (b->flags & BB_IN_TRY) != 0; }
bool may_raise(const quadruple* q) { return df_exception_class(q) != DF_CANNOT_RAISE; }
bool keeps_all_live(const quadruple* q) { return q->opcode == OPC_OTHER && quad_kind_nibble(q) == 2; }

void account(live_ctx& c, bbattr* b, quadruple* q)
{
    if (may_raise(q) && c.m->mb != nullptr)
        c.m->mb->compiled_flags |= MBC_MAY_RAISE;
    if (q->opcode >= OPC_ICALL && q->opcode <= OPC_CALL_MARK) {
        mcc_call_quads(c.m)++;
        u4 kind = quad_kind_nibble(q);
        if (kind == 10 || kind == 11)
            mcc_call_quads_10_11(c.m)++;
    }
    if (NeedCall(q)) {
        b->flags2 |= BB2_HOLDS_CALL;
        bool fp_call = q->opcode == OPC_DOP1 && (q->op == 31 || q->op == 32);
        bool cmov_compare = orva_processor_cmov_support != 0
                            && (q->opcode == OPC_FCMP || q->opcode == OPC_DCMP || q->opcode == OPC_FCMP_BRANCH
                                || q->opcode == OPC_DCMP_BRANCH);
        if (fp_call || cmov_compare)
            b->flags |= BB_HOLDS_CALL_KIND;
    }
}

// GEN and KILL of one block (null sets: accounting only).
void init_block(live_ctx& c, bbattr* b, u8* gen, u8* kill, bool accounting, bool sets)
{
    for (u4 k = b->quad_count; k-- > 0;) {
        quadruple* q = b->catbl[k];
        if (df_deleted(q))
            continue;
        if (accounting)
            account(c, b, q);
        if (!sets)
            continue;
        if (keeps_all_live(q)) {
            set_all(gen, c.nvars, c.words);
            memset(kill, 0, 8 * c.words);
        }
        if (q->opcode == OPC_JSR) {
            set_or(gen, c.exit, c.words);
            set_minus(kill, c.exit, c.words);
        }
        s4 dv[2];
        operand_vars(c, df_opnd(&q->result), &dv[0], &dv[1]);
        for (s4 v : dv)
            if (v >= 0) {
                set_del(gen, static_cast<u4>(v));
                set_add(kill, static_cast<u4>(v));
            }
        df_for_each_source(q, [&](df_operand* o) {
            s4 sv[2];
            operand_vars(c, o, &sv[0], &sv[1]);
            for (s4 v : sv)
                if (v >= 0) {
                    set_add(gen, static_cast<u4>(v));
                    set_del(kill, static_cast<u4>(v));
                }
        });
        if (in_try(b) && may_raise(q)) {
            set_or(gen, c.handler, c.words);
            set_minus(kill, c.handler, c.words);
        }
    }
}

bool block_walked(const method_compile_context* m, u4 i)
{
    const bbattr* b = m->bb_table[i];
    return b->quad_count > 0 && !(b->flags & BB_DEAD);
}

live_ctx context_of(method_compile_context* m, dataflow_pass_context* pc, dataflow_pass_descriptor* d, bool vec)
{
    live_ctx c{m, pc, static_cast<u4>(d->n), m->local_count, df_words(d->n), vec, nullptr, nullptr};
    c.exit = vec ? reinterpret_cast<const u8*>(pc->exit_set[0]) : reinterpret_cast<const u8*>(pc->exit_set);
    c.handler = vec ? reinterpret_cast<const u8*>(pc->handler_set[0]) : reinterpret_cast<const u8*>(pc->handler_set);
    return c;
}

int init_sets(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
              dataflow_pass_descriptor* d, bool vec)
{
    live_ctx c = context_of(m, pc, d, vec);
    bool accounting = !(pc->flags & DFP_LIVE_BLOCKS_ONLY);
    bool with_sets = !(pc->flags & DFP_LIVE_ACCOUNTING) && sets != nullptr;
    if (accounting) {
        mcc_call_quads(m) = 0;
        mcc_call_quads_10_11(m) = 0;
    }
    for (u4 i = 1; i + 1 < m->bb_count && i < nblocks; i++) {
        if (!block_walked(m, i))
            continue;
        u8* gen = with_sets ? set_of(sets[i].gen, vec) : nullptr;
        u8* kill = with_sets ? set_of(sets[i].kill, vec) : nullptr;
        if (with_sets) {
            memset(set_of(sets[i].in, vec), 0, 8 * c.words);
            memset(gen, 0, 8 * c.words);
            memset(kill, 0, 8 * c.words);
        }
        init_block(c, m->bb_table[i], gen, kill, accounting, with_sets);
    }
    return 0;
}

// The block fields the register manager reads.
void store_block_set(live_ctx& c, u4* field, const u8* set)
{
    if (!c.vec) {
        field[0] = static_cast<u4>(*set);
        field[1] = static_cast<u4>(*set >> 32);
        return;
    }
    auto* copy = static_cast<u8*>(jit_wmem_alloc(c.m->pool1, 8 * c.words));
    memcpy(copy, set, 8 * c.words);
    field[0] = reinterpret_cast<u4>(copy);
    field[1] = 0;
}

struct last_use_table {
    df_last_use*** rows;    // [local][block]
    bool on;
};

void note_last_use(method_compile_context* m, last_use_table& t, u4 local, u4 block, u4 index)
{
    if (!t.on || local >= m->local_count)
        return;
    auto* node = static_cast<df_last_use*>(jit_wmem_alloc(m->pool1, sizeof(df_last_use)));
    node->tag = 0xFFFF;
    node->index = static_cast<u2>(index);
    node->next = t.rows[local][block];
    t.rows[local][block] = node;
}

// Marks one access: a definition (dest) or a read.
void mark_access(live_ctx& c, last_use_table& t, df_operand* o, u8* live, bool dest, u4 block, u4 index)
{
    s4 vs[2];
    operand_vars(c, o, &vs[0], &vs[1]);
    for (int slot = 0; slot < 2; slot++) {
        s4 v = vs[slot];
        if (v < 0)
            continue;
        u2 bit = slot == 0 ? DFO_DEAD : DFO_DEAD2;
        bool is_live = set_has(live, static_cast<u4>(v));
        if (dest) {
            if (is_live) {
                o->kind &= static_cast<u2>(~bit);
                set_del(live, static_cast<u4>(v));
            } else {
                o->kind |= bit;
            }
        } else if (!is_live) {
            o->kind |= bit;
            set_add(live, static_cast<u4>(v));
            if (df_kind(o) == QK_VARIABLE)
                note_last_use(c.m, t, static_cast<u4>(v), block, index);
        } else {
            o->kind &= static_cast<u2>(~bit);
        }
    }
}

void final_block(live_ctx& c, last_use_table& t, u4 id, u8* live, const u8* in)
{
    bbattr* b = c.m->bb_table[id];
    u4 maximum = set_count(live, c.words);
    u8* before = static_cast<u8*>(__builtin_alloca(8 * c.words));
    for (u4 k = b->quad_count; k-- > 0;) {
        quadruple* q = b->catbl[k];
        if (df_deleted(q))
            continue;
        if (keeps_all_live(q))
            set_all(live, c.nvars, c.words);
        if (q->opcode == OPC_JSR)
            set_or(live, c.exit, c.words);
        mark_access(c, t, df_opnd(&q->result), live, true, id, k);
        df_for_each_source(q, [&](df_operand* o) { mark_access(c, t, o, live, false, id, k); });
        if (in_try(b) && may_raise(q)) {
            memcpy(before, live, 8 * c.words);
            set_or(live, c.handler, c.words);
            if (t.on)
                for (u4 v = 0; v < c.nlocals; v++)
                    if (!set_has(before, v) && set_has(live, v))
                        note_last_use(c.m, t, v, id, k);
        }
        u4 now = set_count(live, c.words);
        if (now > maximum)
            maximum = now;
    }
    bb_live_max(b) = maximum & 0xFFFF;
    if (t.on)
        for (u4 v = 0; v < c.nlocals; v++)
            if (set_has(in, v) && t.rows[v][id] == nullptr)
                t.rows[v][id] = reinterpret_cast<df_last_use*>(1);
}

int final_sets(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
               dataflow_pass_descriptor* d, bool vec)
{
    live_ctx c = context_of(m, pc, d, vec);
    bool marks = !(pc->flags & DFP_LIVE_BLOCKS_ONLY);
    last_use_table t{nullptr, marks && (pc->flags & DFP_LAST_USE_TABLE) != 0};
    if (t.on) {
        u4 nb = m->bb_count > 1 ? m->bb_count - 1 : 1;
        t.rows = static_cast<df_last_use***>(jit_wmem_alloc(m->pool1, (m->local_count + 1) * sizeof(void*)));
        for (u4 v = 0; v < m->local_count; v++) {
            t.rows[v] = static_cast<df_last_use**>(jit_wmem_alloc(m->pool1, nb * sizeof(void*)));
            memset(t.rows[v], 0, nb * sizeof(void*));
        }
        mcc_last_use_table(m) = reinterpret_cast<u4>(t.rows);
    }
    u8* live = static_cast<u8*>(jit_wmem_alloc(m->pool2, 8 * c.words));
    for (u4 i = 1; i + 1 < m->bb_count && i < nblocks; i++) {
        if (!block_walked(m, i))
            continue;
        bbattr* b = m->bb_table[i];
        const u8* in = set_of(sets[i].in, vec);
        const u8* out = set_of(sets[i].out, vec);
        store_block_set(c, df_bb_live_in(b), in);
        store_block_set(c, df_bb_live_out(b), out);
        if (!marks)
            continue;
        memcpy(live, out, 8 * c.words);
        final_block(c, t, i, live, in);
    }
    return 0;
}

int LiveVar_Q_Init_DataFlow_B(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* s, u4 n,
                              dataflow_pass_descriptor* d)
{
    return init_sets(m, pc, s, n, d, false);
}
int LiveVar_Q_Init_DataFlow_V(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* s, u4 n,
                              dataflow_pass_descriptor* d)
{
    return init_sets(m, pc, s, n, d, true);
}
int LiveVar_Q_Final_DataFlow_B(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* s, u4 n,
                               dataflow_pass_descriptor* d)
{
    return final_sets(m, pc, s, n, d, false);
}
int LiveVar_Q_Final_DataFlow_V(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* s, u4 n,
                               dataflow_pass_descriptor* d)
{
    return final_sets(m, pc, s, n, d, true);
}

// Gives the pass context an exit and a handler set for nvars variables (word
// form in place, else arrays from the first work pool: reaching definitions
// reads them after later passes have reused arena 1).  The exit set starts
// full or empty, the handler set empty.  pc->word3 records the variable
// count the sets were made for.
bool prepare_side_sets(method_compile_context* m, dataflow_pass_context* pc, u4 nvars, bool all)
{
    u4 w = df_words(static_cast<s4>(nvars));
    if (nvars <= static_cast<u4>(DF_WORD_ITEMS)) {
        u8 v = 0;
        if (all)
            set_all(&v, nvars, 1);
        pc->exit_set[0] = static_cast<u4>(v);
        pc->exit_set[1] = static_cast<u4>(v >> 32);
        pc->handler_set[0] = pc->handler_set[1] = 0;
    } else {
        auto* exit = static_cast<u8*>(jit_wmem_alloc(m->pool1, 8 * w));
        auto* handler = static_cast<u8*>(jit_wmem_alloc(m->pool1, 8 * w));
        if (exit == nullptr || handler == nullptr)
            return false;
        memset(handler, 0, 8 * w);
        if (all)
            set_all(exit, nvars, w);
        else
            memset(exit, 0, 8 * w);
        pc->exit_set[0] = reinterpret_cast<u4>(exit);
        pc->handler_set[0] = reinterpret_cast<u4>(handler);
        pc->exit_set[1] = pc->handler_set[1] = 0;
    }
    pc->word3 = nvars;
    return true;
}

void clear_block_sets(dataflow_block_sets* sets, u4 nblocks, u4 w, bool vec)
{
    for (u4 b = 0; b < nblocks; b++) {
        u8* slots[4] = {&sets[b].in, &sets[b].out, &sets[b].gen, &sets[b].kill};
        for (u8* s : slots)
            memset(set_of(*s, vec), 0, 8 * w);
        sets[b].touched = 0;
    }
}

bool has_handlers(const method_compile_context* m)
{
    return df_exception_entries(m) > 0 || m->subroutine_count > 0;
}

// The register manager's copy of the handler set (same form as a block set).
void publish_handler_set(method_compile_context* m, dataflow_pass_context* pc, u4 nvars)
{
    u4* field = df_mcc_handler_set(m);
    if (nvars <= static_cast<u4>(DF_WORD_ITEMS)) {
        field[0] = pc->handler_set[0];
        field[1] = pc->handler_set[1];
        return;
    }
    u4 w = df_words(static_cast<s4>(nvars));
    auto* copy = static_cast<u8*>(jit_wmem_alloc(m->pool1, 8 * w));
    memcpy(copy, reinterpret_cast<const u8*>(pc->handler_set[0]), 8 * w);
    field[0] = reinterpret_cast<u4>(copy);
    field[1] = 0;
}

} // namespace

int compute_handler_live_sets(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                              u4 nblocks, dataflow_pass_descriptor* d)
{
    u4 nvars = static_cast<u4>(d->n);
    bool vec = d->n > DF_WORD_ITEMS;
    u4 w = df_words(d->n);
    if (!prepare_side_sets(m, pc, nvars, true))
        return 0;
    Init_DataFlow(m, pc, sets, nblocks, d);
    Iter_DataFlow(m, pc, sets, nblocks, d);
    u8* exit = vec ? reinterpret_cast<u8*>(pc->exit_set[0]) : reinterpret_cast<u8*>(pc->exit_set);
    u8* handler = vec ? reinterpret_cast<u8*>(pc->handler_set[0]) : reinterpret_cast<u8*>(pc->handler_set);
    u8 exit_word = 0, handler_word = 0;
    u8* e = vec ? exit : &exit_word;
    u8* h = vec ? handler : &handler_word;
    memset(e, 0, 8 * w);
    memset(h, 0, 8 * w);
    bbattr* entry = m->bb_table[0];
    for (u4 k = 1; k < entry->succ_count; k++) {
        s4 s = static_cast<s4>(entry->succ[k]);
        u4 target = static_cast<u4>(s < 0 ? -s : s);
        if (target >= m->bb_count || target >= nblocks)
            continue;
        const u8* in = set_of(sets[target].in, vec);
        if (s <= 0) {
            set_or(e, in, w);
        } else if (m->bb_table[target]->flags & (BB_FROM_HANDLER | BB_HANDLER)) {
            // Every handler entry counts, also one the main flow reaches
            // first (it carries no reached-from-handler mark).
            set_or(h, in, w);
        }
    }
    if (!vec) {
        pc->exit_set[0] = static_cast<u4>(exit_word);
        pc->exit_set[1] = static_cast<u4>(exit_word >> 32);
        pc->handler_set[0] = static_cast<u4>(handler_word);
        pc->handler_set[1] = static_cast<u4>(handler_word >> 32);
    }
    clear_block_sets(sets, nblocks, w, vec);
    publish_handler_set(m, pc, nvars);
    return 1;
}

int dataflow_Q_livevar(method_compile_context* m, dataflow_pass_context* pc)
{
    u4 nvars = m->local_count + EXTRA_SLOTS;
    dataflow_pass_descriptor d{};
    d.n = static_cast<s4>(nvars);
    d.init_B = LiveVar_Q_Init_DataFlow_B;
    d.iter_B = RDFS_Iter_DataFlow_B;
    d.visit_B = Bwd_Visit_DataFlow_B;
    d.final_B = LiveVar_Q_Final_DataFlow_B;
    d.init_V = LiveVar_Q_Init_DataFlow_V;
    d.iter_V = RDFS_Iter_DataFlow_V;
    d.visit_V = Bwd_Visit_DataFlow_V;
    d.final_V = LiveVar_Q_Final_DataFlow_V;
    if (pc->flags & DFP_LIVE_ACCOUNTING) {
        init_sets(m, pc, nullptr, m->bb_count, &d, false);
        m->state_flags |= MCC_LIVENESS_UNAVAILABLE;
        return 0;
    }
    u4 nblocks = m->bb_count;
    dataflow_block_sets frame[DF_FRAME_SETS];
    dataflow_block_sets* sets = df_block_sets(m, frame, DF_FRAME_SETS);
    if (sets == nullptr)
        return 1;
    pc->flags |= DFP_BUSY;
    df_reset_arena1(pc);
    if (Alloc_DataFlow(m, pc, sets, nblocks, &d) == 0) {
        m->state_flags |= MCC_LIVENESS_UNAVAILABLE;
        pc->flags &= ~DFP_BUSY;
        return 1;
    }
    if (has_handlers(m)) {
        if (compute_handler_live_sets(m, pc, sets, nblocks, &d) == 0) {
            m->state_flags |= MCC_LIVENESS_UNAVAILABLE;
            pc->flags &= ~DFP_BUSY;
            return 0;
        }
    } else {
        // No jsr and no try range: both sets empty, for this variable count.
        prepare_side_sets(m, pc, nvars, false);
        u4* field = df_mcc_handler_set(m);
        field[0] = field[1] = 0;
    }
    Init_DataFlow(m, pc, sets, nblocks, &d);
    Iter_DataFlow(m, pc, sets, nblocks, &d);
    Final_DataFlow(m, pc, sets, nblocks, &d);
    Free_DataFlow(m, pc, sets, nblocks, &d);
    pc->flags &= ~DFP_BUSY;
    return 0;
}
