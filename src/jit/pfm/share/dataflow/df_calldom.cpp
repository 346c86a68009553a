// Call dominance: marks each access to a local after which, on every path, a
// call comes before the local is accessed again (kind-halfword mark 0x400),
// so that register allocation may treat the value as one that has to
// survive a call.  A backward must-analysis over the locals: GEN holds the
// locals for which a call comes first walking back from the block's end,
// KILL those accessed after the block's last call; the meet is intersection
// (the solver's dominance visitor).  A last use (liveness mark) is never
// marked.  Methods with exception-table entries are left unmarked.
//
// Requires liveness marks; only ever sets the mark.  Each block's IN and OUT
// are kept as pointers to word arrays (bb_calldom_in / bb_calldom_out).
#include <string.h>

#include "codegen/cg_core.h"
#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"

namespace {

u8* set_of(u8& slot, bool vec) { return vec ? df_vec(slot) : &slot; }
void set_add(u8* s, u4 v) { s[v >> 6] |= ABIT_llshr[v & 63]; }
void set_del(u8* s, u4 v) { s[v >> 6] &= ~ABIT_llshr[v & 63]; }
bool set_has(const u8* s, u4 v) { return (s[v >> 6] & ABIT_llshr[v & 63]) != 0; }
void set_all(u8* d, u4 n, u4 w)
{
    for (u4 i = 0; i < w; i++) {
        u4 rest = n - 64 * i;
        d[i] = rest >= 64 ? ~u8{0} : ~(~u8{0} >> rest);
    }
}

bool walked(const bbattr* b) { return b->quad_count > 0 && !(b->flags & BB_DEAD); }

// The locals an operand accesses (the second slot of a long or double too).
template <typename F> void accesses(const df_operand* o, u4 nlocals, F fn)
{
    if (!df_is_local(o) || o->number >= nlocals)
        return;
    fn(static_cast<u4>(o->number), 0);
    if (df_two_slot_type(df_type(o)) && o->number + 1u < nlocals)
        fn(static_cast<u4>(o->number) + 1, 1);
}

// The walk of Init and Final, last quadruple first: destination, call, sources.
template <typename A, typename C> void walk_block(bbattr* b, A on_access, C on_call)
{
    for (u4 k = b->quad_count; k-- > 0;) {
        quadruple* q = b->catbl[k];
        if (df_deleted(q))
            continue;
        on_access(df_opnd(&q->result));
        if (NeedCall(q))
            on_call();
        df_for_each_source(q, [&](df_operand* o) { on_access(o); });
    }
}

int init_sets(method_compile_context* m, dataflow_block_sets* sets, u4 nblocks, dataflow_pass_descriptor* d,
              bool vec)
{
    u4 n = static_cast<u4>(d->n), w = df_words(d->n);
    for (u4 i = 1; i + 1 < m->bb_count && i < nblocks; i++) {
        if (!walked(m->bb_table[i]))
            continue;
        u8* gen = set_of(sets[i].gen, vec);
        u8* kill = set_of(sets[i].kill, vec);
        memset(gen, 0, 8 * w);
        memset(kill, 0, 8 * w);
        auto access = [&](const df_operand* o) {
            accesses(o, n, [&](u4 v, int) {
                set_del(gen, v);
                set_add(kill, v);
            });
        };
        walk_block(m->bb_table[i], access, [&] {
            set_all(gen, n, w);
            memset(kill, 0, 8 * w);
        });
    }
    return 0;
}

u4 keep_copy(method_compile_context* m, const u8* set, u4 w)
{
    auto* copy = static_cast<u8*>(jit_wmem_alloc(m->pool1, 8 * w));
    memcpy(copy, set, 8 * w);
    return reinterpret_cast<u4>(copy);
}

int final_sets(method_compile_context* m, dataflow_block_sets* sets, u4 nblocks, dataflow_pass_descriptor* d,
               bool vec)
{
    u4 n = static_cast<u4>(d->n), w = df_words(d->n);
    u8* running = static_cast<u8*>(jit_wmem_alloc(m->pool2, 8 * w));
    for (u4 i = 1; i + 1 < m->bb_count && i < nblocks; i++) {
        bbattr* b = m->bb_table[i];
        if (!walked(b))
            continue;
        const u8* out = set_of(sets[i].out, vec);
        bb_calldom_in(b) = keep_copy(m, set_of(sets[i].in, vec), w);
        bb_calldom_out(b) = keep_copy(m, out, w);
        memcpy(running, out, 8 * w);
        auto access = [&](df_operand* o) {
            accesses(o, n, [&](u4 v, int slot) {
                u2 last_use = slot == 0 ? DFO_DEAD : DFO_DEAD2;
                if (set_has(running, v) && !(o->kind & last_use))
                    o->kind |= DFO_CALLDOM;
                set_del(running, v);
            });
        };
        walk_block(b, access, [&] { set_all(running, n, w); });
    }
    return 0;
}

int CallDom_Q_Init_DataFlow_B(method_compile_context* m, dataflow_pass_context*, dataflow_block_sets* s, u4 n,
                              dataflow_pass_descriptor* d)
{
    return init_sets(m, s, n, d, false);
}
int CallDom_Q_Init_DataFlow_V(method_compile_context* m, dataflow_pass_context*, dataflow_block_sets* s, u4 n,
                              dataflow_pass_descriptor* d)
{
    return init_sets(m, s, n, d, true);
}
int CallDom_Q_Final_DataFlow_B(method_compile_context* m, dataflow_pass_context*, dataflow_block_sets* s, u4 n,
                               dataflow_pass_descriptor* d)
{
    return final_sets(m, s, n, d, false);
}
int CallDom_Q_Final_DataFlow_V(method_compile_context* m, dataflow_pass_context*, dataflow_block_sets* s, u4 n,
                               dataflow_pass_descriptor* d)
{
    return final_sets(m, s, n, d, true);
}

} // namespace

int dataflow_Q_calldom(method_compile_context* m, dataflow_pass_context* pc)
{
    if (df_exception_entries(m) > 0 || m->local_count == 0)
        return 0;
    u4 nblocks = m->bb_count;
    dataflow_block_sets frame[DF_FRAME_SETS];
    dataflow_block_sets* sets = df_block_sets(m, frame, DF_FRAME_SETS);
    if (sets == nullptr)
        return 1;
    dataflow_pass_descriptor d{};
    d.n = m->local_count;
    d.init_B = CallDom_Q_Init_DataFlow_B;
    d.iter_B = RDFS_Iter_DataFlow_B;
    d.visit_B = Dom_Visit_DataFlow_B;
    d.final_B = CallDom_Q_Final_DataFlow_B;
    d.init_V = CallDom_Q_Init_DataFlow_V;
    d.iter_V = RDFS_Iter_DataFlow_V;
    d.visit_V = Dom_Visit_DataFlow_V;
    d.final_V = CallDom_Q_Final_DataFlow_V;
    pc->flags |= DFP_BUSY;
    df_reset_arena1(pc);
    if (Alloc_DataFlow(m, pc, sets, nblocks, &d) == 0) {
        pc->flags &= ~DFP_BUSY;
        return 1;
    }
    Init_DataFlow(m, pc, sets, nblocks, &d);
    Iter_DataFlow(m, pc, sets, nblocks, &d);
    Final_DataFlow(m, pc, sets, nblocks, &d);
    Free_DataFlow(m, pc, sets, nblocks, &d);
    pc->flags &= ~DFP_BUSY;
    return 0;
}
