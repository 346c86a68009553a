// The iterative dataflow solver: set storage, the forward and backward
// iterators over the DFS order (with the subroutine block lists appended),
// the standard visitors of the bit-word and bit-vector forms, the integer
// form, and the set utilities.
//
// A pass fills a `dataflow_pass_descriptor`, resets arena 1, and runs Alloc,
// Init, Iter, Final and Free.  Sets come from arena 1 of the pass context,
// carved from the top down, and from the method's first work pool when the
// arena is full; nothing is freed one by one.  The forward meet is
// intersection with the first arrival copied (the `touched` flag), so blocks
// not yet reached do not pull a successor's IN down to the empty set; the
// backward meet is union (intersection for the dominance visitor).
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"

namespace {

constexpr u8 abit(int i) { return u8{1} << (63 - i); }

struct abit_table {
    u8 v[64];
};
constexpr abit_table make_abit()
{
    abit_table t{};
    for (int i = 0; i < 64; i++)
        t.v[i] = abit(i);
    return t;
}
constexpr abit_table kAbit = make_abit();

// The mask of the first r items (1 <= r <= 64) of a 64-bit word.
u8 first_items(s4 r) { return r >= 64 ? ~u8{0} : ~(~u8{0} >> r); }

bool unreachable(const bbattr* b) { return (b->flags & BB_DEAD) != 0; }

// The subroutine records whose block lists follow the DFS order.
const subroutine_info* regions(const method_compile_context* m)
{
    return static_cast<const subroutine_info*>(m->subroutine_table);
}

// One sweep over the DFS order, forward or backward; true when a visit
// reported a change.
bool sweep(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
           dataflow_pass_descriptor* d, df_visit_fn visit, bool backward)
{
    if (visit == nullptr)
        return false;
    bool changed = false;
    u4 n = m->dfs_count;
    if (!backward) {
        for (u4 i = 1; i + 1 < n; i++)
            changed |= visit(m, pc, sets, m->dfs_array[i], d) != 0;
    } else {
        for (u4 i = n >= 2 ? n - 2 : 0; i >= 1 && i + 1 < n; i--)
            changed |= visit(m, pc, sets, m->dfs_array[i], d) != 0;
    }
    const subroutine_info* r = regions(m);
    for (u4 k = 0; r != nullptr && k < m->subroutine_count; k++) {
        if (!backward) {
            for (u4 j = 0; j < r[k].block_count; j++)
                changed |= visit(m, pc, sets, r[k].blocks[j], d) != 0;
        } else {
            for (u4 j = r[k].block_count; j-- > 0;)
                changed |= visit(m, pc, sets, r[k].blocks[j], d) != 0;
        }
    }
    return changed;
}

void iterate(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
             dataflow_pass_descriptor* d, df_visit_fn visit, bool backward)
{
    while (sweep(m, pc, sets, d, visit, backward)) {
    }
}

// The exit set of the backward visitors as a vector (V form) or a word.
u8 exit_word(const dataflow_pass_context* pc) { return pc->exit_set[0] | static_cast<u8>(pc->exit_set[1]) << 32; }

bool ends_in_jsr(const bbattr* b) { return b->quad_count >= 1 && b->catbl[b->quad_count - 1]->opcode == OPC_JSR; }

int call_phase(df_phase_fn fn, method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
               u4 nblocks, dataflow_pass_descriptor* d)
{
    return fn != nullptr ? fn(m, pc, sets, nblocks, d) : 0;
}

} // namespace

const u8 ABIT_llshr[64] = {
#define A8(i) kAbit.v[i], kAbit.v[i + 1], kAbit.v[i + 2], kAbit.v[i + 3], kAbit.v[i + 4], kAbit.v[i + 5], \
              kAbit.v[i + 6], kAbit.v[i + 7]
    A8(0), A8(8), A8(16), A8(24), A8(32), A8(40), A8(48), A8(56)
#undef A8
};

// ---- storage ------------------------------------------------------------------

void* df_alloc(method_compile_context* m, dataflow_pass_context* pc, u4 bytes)
{
    bytes = (bytes + 3u) & ~3u;
    if (bytes == 0)
        return nullptr;
    if (pc != nullptr && pc->arena1_base != nullptr && pc->arena1_free >= bytes) {
        pc->arena1_free -= bytes;
        return pc->arena1_base + pc->arena1_free;
    }
    return jit_wmem_alloc(m->pool1, bytes);
}

void df_reset_arena1(dataflow_pass_context* pc) { pc->arena1_free = pc->arena1_size; }

dataflow_block_sets* df_block_sets(method_compile_context* m, dataflow_block_sets* frame, u4 frame_count)
{
    u4 nblocks = m->bb_count;
    dataflow_block_sets* sets = frame;
    if (nblocks > frame_count) {
        sets = static_cast<dataflow_block_sets*>(jit_wmem_alloc(m->pool2, nblocks * sizeof(dataflow_block_sets)));
        if (sets == nullptr)
            return nullptr;
    }
    memset(sets, 0, nblocks * sizeof(dataflow_block_sets));
    return sets;
}

int Alloc_DataFlow(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                   dataflow_pass_descriptor* d)
{
    if (d->n < DF_WORD_ITEMS + 1)
        return 1;
    u4 w = df_words(d->n);
    u8 total = u8{32} * w * nblocks;
    if (total > DF_VECTOR_LIMIT)
        return 0;
    auto* storage = static_cast<u8*>(df_alloc(m, pc, static_cast<u4>(total)));
    memset(storage, 0, static_cast<size_t>(total));
    for (u4 b = 0; b < nblocks; b++) {
        u8* base = storage + 4 * w * b;
        df_set_slot_ptr(sets[b].in, base);
        df_set_slot_ptr(sets[b].out, base + w);
        df_set_slot_ptr(sets[b].gen, base + 2 * w);
        df_set_slot_ptr(sets[b].kill, base + 3 * w);
    }
    return 1;
}

int Alloc_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                     dataflow_pass_descriptor* d, s4 initial)
{
    u4 n = d->n > 0 ? static_cast<u4>(d->n) : 0;
    u4 bytes = (2 * n + 3u) & ~3u;
    for (u4 b = 0; b < nblocks; b++) {
        u8* slots[4] = {&sets[b].in, &sets[b].out, &sets[b].gen, &sets[b].kill};
        for (u8* slot : slots) {
            auto* v = static_cast<int16_t*>(bytes != 0 ? df_alloc(m, pc, bytes) : nullptr);
            for (u4 i = 0; i < n; i++)
                v[i] = static_cast<int16_t>(initial);
            df_set_slot_ptr(*slot, v);
        }
    }
    return 1;
}

// ---- phase dispatch -----------------------------------------------------------

int Init_DataFlow(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                  dataflow_pass_descriptor* d)
{
    return call_phase(d->n < DF_WORD_ITEMS + 1 ? d->init_B : d->init_V, m, pc, sets, nblocks, d);
}

int Iter_DataFlow(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                  dataflow_pass_descriptor* d)
{
    return call_phase(d->n < DF_WORD_ITEMS + 1 ? d->iter_B : d->iter_V, m, pc, sets, nblocks, d);
}

int Final_DataFlow(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                   dataflow_pass_descriptor* d)
{
    return call_phase(d->n < DF_WORD_ITEMS + 1 ? d->final_B : d->final_V, m, pc, sets, nblocks, d);
}

int Init_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                    dataflow_pass_descriptor* d)
{
    return call_phase(d->init_B, m, pc, sets, nblocks, d);
}

int Iter_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                    dataflow_pass_descriptor* d)
{
    return call_phase(d->iter_B, m, pc, sets, nblocks, d);
}

int Final_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                     dataflow_pass_descriptor* d)
{
    return call_phase(d->final_B, m, pc, sets, nblocks, d);
}

// Set storage goes with the arena and the work pools.
void Free_DataFlow(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                   dataflow_pass_descriptor*)
{
}
void Free_DataFlow_I(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                     dataflow_pass_descriptor*)
{
}

int Dummy_Final_DataFlow_B(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                           dataflow_pass_descriptor*)
{
    return 0;
}
int Dummy_Final_DataFlow_V(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                           dataflow_pass_descriptor*)
{
    return 0;
}
int Dummy_Final_DataFlow_I(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                           dataflow_pass_descriptor*)
{
    return 0;
}

// ---- iterators ----------------------------------------------------------------

int DFS_Iter_DataFlow_B(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4,
                        dataflow_pass_descriptor* d)
{
    iterate(m, pc, sets, d, d->visit_B, false);
    return 0;
}

int DFS_Iter_DataFlow_V(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4,
                        dataflow_pass_descriptor* d)
{
    iterate(m, pc, sets, d, d->visit_V, false);
    return 0;
}

int DFS_Iter_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4,
                        dataflow_pass_descriptor* d)
{
    iterate(m, pc, sets, d, d->visit_B, false);
    return 0;
}

int RDFS_Iter_DataFlow_B(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4,
                         dataflow_pass_descriptor* d)
{
    iterate(m, pc, sets, d, d->visit_B, true);
    return 0;
}

int RDFS_Iter_DataFlow_V(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4,
                         dataflow_pass_descriptor* d)
{
    iterate(m, pc, sets, d, d->visit_V, true);
    return 0;
}

int RDFS_Iter_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4,
                         dataflow_pass_descriptor* d)
{
    for (u4 k = d->repeat & 0xFFFF; k > 0; k--)
        sweep(m, pc, sets, d, d->visit_B, true);
    return 0;
}

// ---- visitors of the bit-word form -------------------------------------------------

int Fwd_Visit_DataFlow_B(method_compile_context* m, dataflow_pass_context*, dataflow_block_sets* sets, u4 block,
                         dataflow_pass_descriptor*)
{
    bbattr* b = m->bb_table[block];
    dataflow_block_sets& s = sets[block];
    sets[0].out = s.out;
    s.out = (s.in & ~s.kill) | s.gen;
    if (!unreachable(b)) {
        for (u4 i = 0; i < b->succ_count; i++) {
            dataflow_block_sets& t = sets[b->succ[i]];
            if (t.touched) {
                t.in &= s.out;
            } else {
                t.touched = 1;
                t.in = s.out;
            }
        }
    }
    return s.out != sets[0].out;
}

int Bwd_Visit_DataFlow_B(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                         u4 block, dataflow_pass_descriptor*)
{
    bbattr* b = m->bb_table[block];
    dataflow_block_sets& s = sets[block];
    sets[0].in = s.in;
    if (b->succ_count > 0) {
        u8 out = 0;
        for (u4 i = 0; i < b->succ_count; i++)
            out |= sets[b->succ[i]].in;
        s.out = out;
    }
    if (ends_in_jsr(b))
        s.out = exit_word(pc);
    s.in = (s.out & ~s.kill) | s.gen;
    return s.in != sets[0].in;
}

int Dom_Visit_DataFlow_B(method_compile_context* m, dataflow_pass_context*, dataflow_block_sets* sets, u4 block,
                         dataflow_pass_descriptor*)
{
    bbattr* b = m->bb_table[block];
    dataflow_block_sets& s = sets[block];
    sets[0].in = s.in;
    if (b->succ_count > 0) {
        u8 out = ~u8{0};
        for (u4 i = 0; i < b->succ_count; i++)
            out &= sets[b->succ[i]].in;
        s.out = out;
    }
    s.in = (s.out & ~s.kill) | s.gen;
    return s.in != sets[0].in;
}

// ---- visitors of the bit-vector form ------------------------------------------------

int Fwd_Visit_DataFlow_V(method_compile_context* m, dataflow_pass_context*, dataflow_block_sets* sets, u4 block,
                         dataflow_pass_descriptor* d)
{
    bbattr* b = m->bb_table[block];
    u4 w = df_words(d->n);
    dataflow_block_sets& s = sets[block];
    u8* old = df_vec(sets[0].out);
    u8* in = df_vec(s.in);
    u8* out = df_vec(s.out);
    u8* gen = df_vec(s.gen);
    u8* kill = df_vec(s.kill);
    memcpy(old, out, 8 * w);
    for (u4 i = 0; i < w; i++)
        out[i] = (in[i] & ~kill[i]) | gen[i];
    if (!unreachable(b)) {
        for (u4 k = 0; k < b->succ_count; k++) {
            dataflow_block_sets& t = sets[b->succ[k]];
            u8* tin = df_vec(t.in);
            if (t.touched) {
                for (u4 i = 0; i < w; i++)
                    tin[i] &= out[i];
            } else {
                t.touched = 1;
                memcpy(tin, out, 8 * w);
            }
        }
    }
    return !SAME_BITVEC(old, out, d->n);
}

namespace {

int backward_visit_V(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 block,
                     dataflow_pass_descriptor* d, bool dominance)
{
    bbattr* b = m->bb_table[block];
    u4 w = df_words(d->n);
    dataflow_block_sets& s = sets[block];
    u8* old = df_vec(sets[0].in);
    u8* in = df_vec(s.in);
    u8* out = df_vec(s.out);
    u8* gen = df_vec(s.gen);
    u8* kill = df_vec(s.kill);
    memcpy(old, in, 8 * w);
    if (b->succ_count > 0) {
        for (u4 i = 0; i < w; i++)
            out[i] = dominance ? ~u8{0} : 0;
        for (u4 k = 0; k < b->succ_count; k++) {
            const u8* sin = df_vec(sets[b->succ[k]].in);
            for (u4 i = 0; i < w; i++)
                out[i] = dominance ? (out[i] & sin[i]) : (out[i] | sin[i]);
        }
    }
    if (!dominance && ends_in_jsr(b)) {
        const u8* exit = reinterpret_cast<const u8*>(pc->exit_set[0]);
        if (exit != nullptr)
            memcpy(out, exit, 8 * w);
    }
    for (u4 i = 0; i < w; i++)
        in[i] = (out[i] & ~kill[i]) | gen[i];
    return !SAME_BITVEC(old, in, d->n);
}

} // namespace

int Bwd_Visit_DataFlow_V(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                         u4 block, dataflow_pass_descriptor* d)
{
    return backward_visit_V(m, pc, sets, block, d, false);
}

int Dom_Visit_DataFlow_V(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                         u4 block, dataflow_pass_descriptor* d)
{
    return backward_visit_V(m, pc, sets, block, d, true);
}

// Passes of the integer form bring their own visitors.
int Fwd_Visit_DataFlow_I(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*)
{
    return 0;
}
int Bwd_Visit_DataFlow_I(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*)
{
    return 0;
}

// ---- receiver seed ------------------------------------------------------------------
// Block 1 is entered from the method's entry and, in a method whose first
// block heads a loop, again along a back edge.  Marking its IN as written
// makes the back edge meet the entry facts (intersect, or unite for the
// passes that bring a union visitor) instead of overwriting them.

int Recv_Init_DataFlow_B(method_compile_context* m, dataflow_pass_context*, dataflow_block_sets* sets, u4 nblocks,
                         dataflow_pass_descriptor*)
{
    if (nblocks < 2 || m->bb_count < 2)
        return 0;
    dataflow_block_sets& s = sets[1];
    s.in |= ABIT_llshr[0];
    s.touched = 1;
    s.out = (s.in & ~s.kill) | s.gen;
    return 0;
}

int Recv_Init_DataFlow_V(method_compile_context* m, dataflow_pass_context*, dataflow_block_sets* sets, u4 nblocks,
                         dataflow_pass_descriptor* d)
{
    if (nblocks < 2 || m->bb_count < 2)
        return 0;
    u4 w = df_words(d->n);
    dataflow_block_sets& s = sets[1];
    u8* in = df_vec(s.in);
    u8* out = df_vec(s.out);
    const u8* gen = df_vec(s.gen);
    const u8* kill = df_vec(s.kill);
    in[0] |= ABIT_llshr[0];
    s.touched = 1;
    for (u4 i = 0; i < w; i++)
        out[i] = (in[i] & ~kill[i]) | gen[i];
    return 0;
}

int Recv_Init_DataFlow_I(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*)
{
    return 0;
}

// ---- set utilities --------------------------------------------------------------------

int SAME_BITVEC(const u8* a, const u8* b, s4 n)
{
    if (n <= 0)
        return 1;
    u4 w = df_words(n);
    for (u4 i = 0; i + 1 < w; i++)
        if (a[i] != b[i])
            return 0;
    u8 mask = first_items(n - 64 * static_cast<s4>(w - 1));
    return ((a[w - 1] ^ b[w - 1]) & mask) == 0;
}

s4 NSETS_BASE(u8 word, s4 n)
{
    s4 count = 0;
    for (s4 i = 0; i < n && i < 64; i++)
        if (word & ABIT_llshr[i])
            count++;
    return count;
}

s4 NSETS_BITVEC(const u8* v, s4 n)
{
    if (n <= 0)
        return 0;
    u4 w = df_words(n);
    s4 count = 0;
    for (u4 i = 0; i + 1 < w; i++)
        count += __builtin_popcountll(v[i]);
    return count + __builtin_popcountll(v[w - 1] & first_items(n - 64 * static_cast<s4>(w - 1)));
}

// Debug hooks: they walk the sets and print nothing.
void Dump_DataFlow(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                   dataflow_pass_descriptor*)
{
}
void Dump_DataFlow_I(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                     dataflow_pass_descriptor*)
{
}
