// Meantime analysis: for every occurrence of a local (use or definition) the
// number of quadruples to the next occurrence of the same local, written into
// the operand's meantime field (32767: none, or a value never read again),
// each block's expected distance from its entry to each local's first
// occurrence (the block's distance array, which the register manager loads
// when it enters the block), and, on the calls of blocks in a loop, up to
// four register-candidate locals whose next occurrence after the call is
// nearest.
//
// Across blocks the distance is estimated backward in the integer form of
// the solver: a block without an occurrence adds its length to what its
// successors give, a join takes the mean of its successors (the -1 of "no
// occurrence" takes part as it is), over a fixed number of sweeps (deepest
// loop level plus one) instead of to a fixed point.
//
// Requires liveness (its dead-after marks and the call count); clears the
// meantime-absent state bit only through its caller.
#include <string.h>

#include "codegen/cg_core.h"
#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"

namespace {

constexpr s4 NONE = -1;
constexpr int MAX_CANDIDATES = 4;
constexpr u4 LVA_KIND_BITS = 0x1FFF;        // the attribute's type bits
constexpr u4 LVA_CACHEABLE = 0x6F;          // integer-class types a register may hold

bool walked(const bbattr* b) { return b->quad_count > 0 && !(b->flags & BB_DEAD); }

// An operand marked dead after a definition/read: nothing follows it.
bool never_read_again(const df_operand* o) { return (o->kind & 0x10F) == 0x101; }

int16_t clamp(s4 v) { return static_cast<int16_t>(v > DF_MEANTIME_NONE ? DF_MEANTIME_NONE : v); }

// The operands of q that are occurrences, in the backward order of its form:
// form 0 the destination; 1 destination, first source; 2 destination, second
// source, first source; 3 destination, then the list from its last entry.
template <typename F> void occurrences(quadruple* q, F fn)
{
    fn(df_opnd(&q->result), true);
    switch (df_shape(q)) {
    case 1: fn(df_opnd(&q->src1), false); break;
    case 2:
        fn(df_opnd(&q->src2), false);
        fn(df_opnd(&q->src1), false);
        break;
    case 3: {
        quad_operand_list_entry* stack[256];
        int n = 0;
        for (quad_operand_list_entry* e = quad_list_head(q); e != nullptr && n < 256; e = e->next)
            stack[n++] = e;
        while (n-- > 0)
            fn(df_opnd(stack[n]), false);
        break;
    }
    default: break;
    }
}

template <typename F> void local_slots(const df_operand* o, u4 nlocals, F fn)
{
    if (!df_is_local(o) || o->number >= nlocals)
        return;
    fn(static_cast<u4>(o->number));
    if (df_two_slot_type(df_type(o)) && o->number + 1u < nlocals)
        fn(static_cast<u4>(o->number) + 1);
}

int16_t* scratch(method_compile_context* m, dataflow_pass_context* pc, u4 n)
{
    return static_cast<int16_t*>(df_alloc(m, pc, 2 * n + 2));
}

int init_block(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 id, u4 n,
               int16_t* next)
{
    bbattr* b = m->bb_table[id];
    int16_t* gen = df_ints(sets[id].gen);
    int16_t* in = df_ints(sets[id].in);
    for (u4 v = 0; v < n; v++)
        next[v] = NONE;
    for (u4 k = b->quad_count; k-- > 0;) {
        quadruple* q = b->catbl[k];
        if (df_deleted(q))
            continue;
        occurrences(q, [&](df_operand* o, bool) {
            local_slots(o, n, [&](u4 v) {
                if (gen[v] == NONE)
                    gen[v] = static_cast<int16_t>(k);
                if (next[v] != NONE)
                    o->meantime = never_read_again(o) ? DF_MEANTIME_NONE : clamp(next[v] - static_cast<s4>(k));
                next[v] = static_cast<int16_t>(k);
            });
        });
    }
    for (u4 v = 0; v < n; v++)
        if (next[v] != NONE)
            in[v] = next[v];
    (void)pc;
    return 0;
}

// The entry attribute of local v in block 0's attribute list (0: none).
u4 entry_attribute(method_compile_context* m, u4 v)
{
    bbattr* entry = m->bb_table[0];
    const auto* list = reinterpret_cast<const u4*>(bb_lvattr_list(entry));
    u4 count = bb_lvattr_count(entry);
    for (u4 i = 0; list != nullptr && i < count; i++)
        if (list[4 * i] == v)
            return list[4 * i + 1];
    return 0;
}

meantime_call_candidates* pick_candidates(method_compile_context* m, const int16_t* running, u4 n, s4 position)
{
    auto* rec = static_cast<meantime_call_candidates*>(jit_wmem_alloc(m->pool1, sizeof(meantime_call_candidates)));
    rec->locals = static_cast<u2*>(jit_wmem_alloc(m->pool1, 2 * MAX_CANDIDATES));
    rec->locals2 = nullptr;
    rec->count = 0;
    rec->count2 = 0;
    rec->pad = 0;
    u4 words = (n + 31) / 32;
    u4* taken = static_cast<u4*>(jit_wmem_alloc(m->pool2, 4 * words + 4));
    memset(taken, 0, 4 * words + 4);
    int appended = 0;
    while (appended < MAX_CANDIDATES) {
        s4 best = -1, best_d = DF_MEANTIME_NONE;
        for (u4 v = 0; v < n; v++) {
            if (taken[v >> 5] >> (v & 31) & 1)
                continue;
            if ((entry_attribute(m, v) & LVA_KIND_BITS) == 0 || running[v] == NONE) {
                taken[v >> 5] |= 1u << (v & 31);
                continue;
            }
            s4 d = static_cast<int16_t>(running[v] - position);
            if (d < best_d) {
                best_d = d;
                best = static_cast<s4>(v);
            }
        }
        if (best < 0)
            break;
        taken[best >> 5] |= 1u << (best & 31);
        if (entry_attribute(m, static_cast<u4>(best)) & LVA_CACHEABLE)
            rec->locals[appended++] = static_cast<u2>(best);
        else
            continue;
    }
    rec->count = static_cast<u1>(appended);
    return rec;
}

void call_candidates(method_compile_context* m, dataflow_pass_context* pc, u4 id, const int16_t* out, u4 n, int16_t* running)
{
    bbattr* b = m->bb_table[id];
    s4 len = static_cast<s4>(b->quad_count);
    for (u4 v = 0; v < n; v++)
        running[v] = out[v] >= 0 ? clamp(out[v] + len) : NONE;
    for (u4 k = b->quad_count; k-- > 0;) {
        quadruple* q = b->catbl[k];
        if (df_deleted(q))
            continue;
        local_slots(df_opnd(&q->result), n, [&](u4 v) { running[v] = NONE; });
        if (NeedCall(q))
            quad_set_call_candidates(q, pick_candidates(m, running, n, static_cast<s4>(k)));
        occurrences(q, [&](df_operand* o, bool dest) {
            if (!dest)
                local_slots(o, n, [&](u4 v) { running[v] = static_cast<int16_t>(k); });
        });
    }
    (void)pc;
}

} // namespace

int Meantime_Q_Init_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                               u4 nblocks, dataflow_pass_descriptor* d)
{
    u4 n = static_cast<u4>(d->n);
    int16_t* next = scratch(m, pc, n);
    for (u4 i = 1; i + 1 < m->bb_count && i < nblocks; i++)
        if (walked(m->bb_table[i]))
            init_block(m, pc, sets, i, n, next);
    return 0;
}

int Meantime_Q_Bwd_Visit_DataFlow_I(method_compile_context* m, dataflow_pass_context*, dataflow_block_sets* sets,
                                    u4 block, dataflow_pass_descriptor* d)
{
    bbattr* b = m->bb_table[block];
    u4 n = static_cast<u4>(d->n), ns = b->succ_count;
    if (ns == 0)
        return 0;
    int16_t* out = df_ints(sets[block].out);
    int16_t* in = df_ints(sets[block].in);
    const int16_t* gen = df_ints(sets[block].gen);
    for (u4 v = 0; v < n; v++) {
        s4 sum = 0;
        for (u4 k = 0; k < ns; k++) {
            u4 s = b->succ[k];
            sum += s < m->bb_count ? df_ints(sets[s].in)[v] : NONE;
        }
        // The mean of the successors (truncating toward zero).
        out[v] = static_cast<int16_t>(sum / static_cast<s4>(ns));
    }
    s4 len = static_cast<s4>(b->quad_count);
    for (u4 v = 0; v < n; v++)
        if (gen[v] == NONE && out[v] >= 0)
            in[v] = clamp(out[v] + len);
    return 0;
}

int Meantime_Q_Final_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                                u4 nblocks, dataflow_pass_descriptor* d)
{
    u4 n = static_cast<u4>(d->n);
    int16_t* running = scratch(m, pc, n);
    for (u4 i = 1; i + 1 < m->bb_count && i < nblocks; i++) {
        bbattr* b = m->bb_table[i];
        if (!walked(b))
            continue;
        const int16_t* in = df_ints(sets[i].in);
        const int16_t* out = df_ints(sets[i].out);
        const int16_t* gen = df_ints(sets[i].gen);
        auto* distances = static_cast<int16_t*>(jit_wmem_alloc(m->pool1, 2 * n + 2));
        memcpy(distances, in, 2 * n);
        b->later_108[9] = reinterpret_cast<u4>(distances);
        s4 len = static_cast<s4>(b->quad_count);
        for (u4 v = 0; v < n; v++) {
            if (gen[v] < 0)
                continue;
            int16_t dist = out[v] >= 0 ? clamp(out[v] + len - gen[v]) : DF_MEANTIME_NONE;
            quadruple* q = b->catbl[gen[v]];
            occurrences(q, [&](df_operand* o, bool) {
                if (!df_is_local(o))
                    return;
                bool names = o->number == v || (df_two_slot_type(df_type(o)) && o->number + 1u == v);
                if (names)
                    o->meantime = never_read_again(o) ? DF_MEANTIME_NONE : dist;
            });
        }
        bool in_loop = (b->flags & BB_LOOP_MEMBER) && !(b->flags & BB_LOOP_INVALID);
        if (mcc_call_quads(m) != 0 && in_loop) {
            call_candidates(m, pc, i, out, n, running);
        } else {
            for (u4 k = 0; k < b->quad_count; k++)
                if (!df_deleted(b->catbl[k]) && NeedCall(b->catbl[k]))
                    quad_set_call_candidates(b->catbl[k], nullptr);
        }
    }
    return 0;
}

int dataflow_Q_meantime(method_compile_context* m, dataflow_pass_context* pc)
{
    if (m->max_stack == 0 || m->local_count == 0) {
        m->state_flags |= MCC_MEANTIME_ABSENT;
        return 0;
    }
    u4 nblocks = m->bb_count;
    dataflow_block_sets frame[DF_FRAME_SETS];
    dataflow_block_sets* sets = df_block_sets(m, frame, DF_FRAME_SETS);
    if (sets == nullptr) {
        m->state_flags |= MCC_MEANTIME_ABSENT;
        return 1;
    }
    s4 deepest = 0;
    for (u4 i = 0; i < m->loop_count; i++) {
        loop_table_record* loop = mcc_loop(m, i);
        if (loop == nullptr || (loop->flags & LOOP_INVALID))
            continue;
        for (s4 k = 0; loop->levels != nullptr && k < loop->depth; k++)
            if (loop->levels[k] != nullptr && loop->levels[k]->level > deepest)
                deepest = loop->levels[k]->level;
        if (loop->depth - 1 > deepest)
            deepest = loop->depth - 1;
    }
    dataflow_pass_descriptor d{};
    d.n = m->local_count;
    d.repeat = static_cast<u4>(deepest + 1) & 0xFFFF;
    d.init_B = Meantime_Q_Init_DataFlow_I;
    d.iter_B = RDFS_Iter_DataFlow_I;
    d.visit_B = Meantime_Q_Bwd_Visit_DataFlow_I;
    d.final_B = Meantime_Q_Final_DataFlow_I;
    pc->flags |= DFP_BUSY;
    df_reset_arena1(pc);
    if (Alloc_DataFlow_I(m, pc, sets, nblocks, &d, NONE) == 0) {
        m->state_flags |= MCC_MEANTIME_ABSENT;
        pc->flags &= ~DFP_BUSY;
        return 1;
    }
    Init_DataFlow_I(m, pc, sets, nblocks, &d);
    Iter_DataFlow_I(m, pc, sets, nblocks, &d);
    Final_DataFlow_I(m, pc, sets, nblocks, &d);
    Free_DataFlow_I(m, pc, sets, nblocks, &d);
    pc->flags &= ~DFP_BUSY;
    return 0;
}
