// Colouring of local-variable slots: locals whose live ranges never overlap
// are merged into one slot, so that fewer locals compete for registers and
// the frame shrinks.  Runs in the quadruple pass driver after the loop
// optimizer, before the register candidates are chosen.
//
// Sketch: type masks and class sets (integer class, floating class) from
// every local operand; an interference graph per class, built backward over
// each block from its live-out set (a defined local interferes with every
// local live after the definition, a monitor-enter definition with every
// local of its class, a handler entry's live-in locals with each other);
// coalescing in eleven rounds of decreasing similarity until each class is
// down to its register count (7 integer, 8 floating), two-word values only as
// whole runs, parameters never; then the locals are renumbered in every
// quadruple and in the interpreter-transfer map.
//
// Locals sets: one bit per local, local i at bit 63 - (i mod 64) of word
// i / 64.  Tables come from the compile context's first work pool.
#include <string.h>

#include "codegen/regman/reg_manager.h"
#include "dataflow/dataflow.h"
#include "driver/driver.h"
#include "driver/options.h"
#include "frontend/qgen.h"

namespace {

u1 bitnum_table[256];

void conv_val_to_bitnum()
{
    for (int v = 0; v < 256; v++)
        bitnum_table[v] = (u1)__builtin_popcount((unsigned)v);
}

constexpr u2 TM_INT = 0x1, TM_WORD = 0x2, TM_LONG_1 = 0x20, TM_LONG_2 = 0x40, TM_FLOAT = 0x400,
             TM_DOUBLE_1 = 0x800, TM_DOUBLE_2 = 0x1000;
constexpr u2 TM_INT_CLASS = 0x63, TM_FP_CLASS = 0x1C00, TM_SECOND = 0x1040, TM_FIRST = 0x820;
constexpr u4 BB_SKIP = 0x2000;

struct bitset {
    u8* w;
    int nw;
    bool has(int i) const { return (w[i >> 6] >> (63 - (i & 63))) & 1; }
    void set(int i) { w[i >> 6] |= (u8)1 << (63 - (i & 63)); }
    void clear(int i) { w[i >> 6] &= ~((u8)1 << (63 - (i & 63))); }
};

struct coloring {
    method_compile_context* m;
    int n;                 // locals
    int nw;                // 64-bit words per set
    int params;            // argument words: never merged
    u2* types;             // per-local type mask
    u8* int_set;           // class sets
    u8* fp_set;
    u8* int_adj;           // n rows of nw words (integer matrix)
    u8* fp_adj;            // (floating matrix)
    u8* color_map;         // n rows: the locals merged into each
    u8* bin_rep;           // representatives
    u8* bin_absorbed;      // absorbed locals
    u8* scratch;           // one set
    bool merged;
};

bitset row(const coloring& c, u8* base, int i) { return {base + (size_t)i * c.nw, c.nw}; }
bitset set_of(const coloring& c, u8* base) { return {base, c.nw}; }

u8* alloc_sets(coloring& c, int count)
{
    u4 bytes = (u4)count * (u4)c.nw * 8;
    u8* p = static_cast<u8*>(jit_wmem_alloc(c.m->pool1, bytes ? bytes : 8));
    if (p)
        memset(p, 0, bytes ? bytes : 8);
    return p;
}

// ---------------------------------------------------------------------------
// Preliminary information
// ---------------------------------------------------------------------------
void note_local(coloring& c, u1 kind_byte, u2 number)
{
    if ((kind_byte & QK_KIND_MASK) != QK_VARIABLE || number >= c.n)
        return;
    u1 type = kind_byte >> QT_SHIFT;
    u2 first = 0, second = 0;
    switch (type) {
    case QT_INT: first = TM_INT; break;
    case QT_LONG: first = TM_LONG_1; second = TM_LONG_2; break;
    case QT_DOUBLE: first = TM_DOUBLE_1; second = TM_DOUBLE_2; break;
    case QT_FLOAT: first = TM_FLOAT; break;
    default: first = TM_WORD; break;
    }
    auto mark = [&](int i, u2 bits) {
        if (i >= c.n)
            return;
        c.types[i] |= bits;
        if (bits & TM_INT_CLASS)
            set_of(c, c.int_set).set(i);
        if (bits & TM_FP_CLASS)
            set_of(c, c.fp_set).set(i);
    };
    mark(number, first);
    if (second)
        mark(number + 1, second);
}

template <typename F>
void for_each_source(quadruple* q, F f)
{
    int layout = q->opcount & QC_SRC_MASK;
    if (layout == 1 || layout == 2)
        f(q->src1.kind, q->src1.number);
    if (layout == 2)
        f(q->src2.kind, q->src2.number);
    if (layout == 3)
        for (quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
            f((u1)e->kind, e->number);
}

bool live_block(const bbattr* b) { return !(b->flags & BB_SKIP); }

void create_preliminary_info_for_coloring(coloring& c)
{
    method_compile_context* m = c.m;
    for (u4 b = 1; b + 1 < m->bb_count; b++) {
        bbattr* bb = m->bb_table[b];
        if (!live_block(bb))
            continue;
        for (u4 k = 0; k < bb->quad_count; k++) {
            quadruple* q = bb->catbl[k];
            if (q->opcount & QC_DELETED)
                continue;
            for_each_source(q, [&](u1 kind, u2 number) { note_local(c, kind, number); });
            note_local(c, q->result.kind, q->result.number);
        }
    }
}

// ---------------------------------------------------------------------------
// Interference graph
// ---------------------------------------------------------------------------
void add_edge(coloring& c, int a, int b)
{
    if (a == b || a >= c.n || b >= c.n)
        return;
    bool ia = c.types[a] & TM_INT_CLASS, ib = c.types[b] & TM_INT_CLASS;
    bool fa = c.types[a] & TM_FP_CLASS, fb = c.types[b] & TM_FP_CLASS;
    u8* adj = (ia && ib) ? c.int_adj : (fa && fb) ? c.fp_adj : nullptr;
    if (adj == nullptr)
        return;
    row(c, adj, a).set(b);
    row(c, adj, b).set(a);
}

int words_of(u1 kind_byte)
{
    u1 t = kind_byte >> QT_SHIFT;
    return (t == QT_LONG || t == QT_DOUBLE) ? 2 : 1;
}

// A defined local against every local live at that point.
void _add_interference_at(coloring& c, int d, const bitset& live)
{
    for (int w = 0; w < c.n; w++)
        if (live.has(w))
            add_edge(c, d, w);
}

// A defined local against every other local.
void _add_interference_all(coloring& c, int d)
{
    for (int w = 0; w < c.n; w++)
        add_edge(c, d, w);
}

// Copy a block's set of locals (the block form: one 64-bit value in place,
// or a pointer to words when there are more than 61 locals) into a set.
void load_block_set(coloring& c, const u4* set, bitset out)
{
    memset(out.w, 0, (size_t)out.nw * 8);
    for (int i = 0; i < c.n; i++)
        if (local_set_has(set, c.n, i))
            out.set(i);
}

int create_interference_graph(coloring& c)
{
    method_compile_context* m = c.m;
    bool any_int = false, any_fp = false;
    for (int i = 0; i < c.nw; i++) {
        any_int |= c.int_set[i] != 0;
        any_fp |= c.fp_set[i] != 0;
    }
    if (any_int && (c.int_adj = alloc_sets(c, c.n)) == nullptr)
        return 1;
    if (any_fp && (c.fp_adj = alloc_sets(c, c.n)) == nullptr)
        return 1;
    u8* live_w = alloc_sets(c, 1);
    u8* entry_w = alloc_sets(c, 1);
    u8* handler_w = alloc_sets(c, 1);
    if (live_w == nullptr || entry_w == nullptr || handler_w == nullptr)
        return 1;
    bitset live = {live_w, c.nw}, entry = {entry_w, c.nw}, handler = {handler_w, c.nw};
    // Locals live into any handler: live at every quadruple of a block
    // covered by a handler.
    for (u4 b = 1; b + 1 < m->bb_count; b++)
        if (m->bb_table[b]->flags & BB_HANDLER) {
            load_block_set(c, bb_live_in(m->bb_table[b]), entry);
            for (int i = 0; i < c.nw; i++)
                handler.w[i] |= entry.w[i];
        }
    for (u4 b = 1; b + 1 < m->bb_count; b++) {
        bbattr* bb = m->bb_table[b];
        if (!live_block(bb))
            continue;
        if ((bb->flags & BB_HANDLER) || (bb->flags2 & BB2_INTERFERE_AT_ENTRY)) {
            load_block_set(c, bb_live_in(bb), entry);
            for (int v = 0; v < c.n; v++)
                if (entry.has(v))
                    _add_interference_at(c, v, entry);
        }
        load_block_set(c, bb_live_out(bb), live);
        bool covered = (bb->flags & BB_HANDLER_COVERED) != 0;
        for (u4 k = bb->quad_count; k-- > 0;) {
            quadruple* q = bb->catbl[k];
            if (q->opcount & QC_DELETED)
                continue;
            if (covered)
                for (int i = 0; i < c.nw; i++)
                    live.w[i] |= handler.w[i];
            if (q->opcode == OPC_OTHER && (q->subcode & QS_KIND_MASK) == OTHER_RET)
                for (int i = 0; i < c.n; i++)
                    live.set(i);
            const quad_operand& r = q->result;
            if ((r.kind & QK_KIND_MASK) == QK_VARIABLE && r.number < c.n) {
                int words = words_of(r.kind);
                for (int k2 = 0; k2 < words; k2++) {
                    int d = r.number + k2;
                    if (d >= c.n)
                        break;
                    if (q->opcode == OPC_SYNCENTER)
                        _add_interference_all(c, d);
                    else
                        _add_interference_at(c, d, live);
                }
                for (int k2 = 0; k2 < words && r.number + k2 < c.n; k2++)
                    live.clear(r.number + k2);
            }
            for_each_source(q, [&](u1 kind, u2 number) {
                if ((kind & QK_KIND_MASK) != QK_VARIABLE)
                    return;
                for (int k2 = 0; k2 < words_of(kind) && number + k2 < c.n; k2++)
                    live.set(number + k2);
            });
        }
    }
    return 0;
}

int allocate_bin_info(coloring& c)
{
    c.color_map = alloc_sets(c, c.n);
    c.bin_rep = alloc_sets(c, 1);
    c.bin_absorbed = alloc_sets(c, 1);
    c.scratch = alloc_sets(c, 1);
    return (c.color_map && c.bin_rep && c.bin_absorbed && c.scratch) ? 0 : 1;
}

// ---------------------------------------------------------------------------
// Coalescing
// ---------------------------------------------------------------------------
double _coloring_similarity(const coloring& c, u8* adj, int v, int w)
{
    bitset a = row(c, adj, v), b = row(c, adj, w);
    int common = 0, na = 0, nb = 0;
    for (int i = 0; i < c.nw; i++) {
        u8 x = a.w[i], y = b.w[i], z = x & y;
        for (int k = 0; k < 8; k++) {
            common += bitnum_table[(z >> (8 * k)) & 0xFF];
            na += bitnum_table[(x >> (8 * k)) & 0xFF];
            nb += bitnum_table[(y >> (8 * k)) & 0xFF];
        }
    }
    int mn = na < nb ? na : nb;
    return mn == 0 ? 1.0 : (double)common / mn;
}

bool interferes(const coloring& c, u8* adj, int a, int b) { return row(c, adj, a).has(b) || row(c, adj, b).has(a); }

// Merges w (and the words of its run) into v.  v takes over w's edges in
// both directions: each neighbour's row names v where it named w.  Edges left
// pointing at an absorbed local would hide an interference between two
// representatives (a local merged into one that clashes with a local merged
// into the other) and let the two share a slot.
void _coalesce_locals(coloring& c, u8* set, u8* adj, int v, int w, int len, int* n_left)
{
    for (int k = 0; k < len; k++) {
        bitset av = row(c, adj, v + k), aw = row(c, adj, w + k);
        for (int i = 0; i < c.nw; i++) {
            av.w[i] |= aw.w[i];
            aw.w[i] = 0;
        }
        av.clear(v + k);
        av.clear(w + k);
        for (int x = 0; x < c.n; x++) {
            bitset ax = row(c, adj, x);
            if (!ax.has(w + k))
                continue;
            ax.clear(w + k);
            if (x != v + k)
                ax.set(v + k);
        }
        set_of(c, set).clear(w + k);
        row(c, c.color_map, v + k).set(w + k);
        bitset wm = row(c, c.color_map, w + k);
        for (int i = 0; i < c.nw; i++) {   // w's own members follow it
            row(c, c.color_map, v + k).w[i] |= wm.w[i];
            wm.w[i] = 0;
        }
        set_of(c, c.bin_rep).set(v + k);
        set_of(c, c.bin_absorbed).set(w + k);
    }
    *n_left -= len;
}

// Length of the two-word run that starts at first word w: its two words and
// the words that are both first and second words after it.
int run_length(const coloring& c, int w)
{
    int len = 2;
    while (w + len < c.n && (c.types[w + len - 1] & TM_FIRST) && (c.types[w + len - 1] & TM_SECOND) &&
           (c.types[w + len] & TM_SECOND))
        len++;
    return len;
}

bool in_set(const coloring& c, const u8* set, int i) { return (set[i >> 6] >> (63 - (i & 63))) & 1; }

}  // namespace

int count_set_bits(const u8* set, int nlocals)
{
    int k = 0;
    for (int i = 0; i < nlocals; i++)
        k += (set[i >> 6] >> (63 - (i & 63))) & 1;
    return k;
}

namespace {

void coloring_quadruple(coloring& c, u8* set, u8* adj, int regs)
{
    int n_left = 0;
    for (int i = c.params; i < c.n; i++)
        n_left += in_set(c, set, i);
    int start = n_left;
    bool done = false;
    for (double t = 1.0; t > 0 && !done; t -= 0.1) {
        for (int v = c.params; v < c.n && !done; v++) {
            if (!in_set(c, set, v) || ((c.types[v] & TM_SECOND) && !(c.types[v] & TM_FIRST)))
                continue;
            bool v_two = (c.types[v] & TM_FIRST) != 0;
            for (int w = v + 1; w < c.n; w++) {
                if (n_left <= regs) {
                    done = true;
                    break;
                }
                if (!in_set(c, set, w) || !in_set(c, set, v))
                    continue;
                bool w_first = (c.types[w] & TM_FIRST) != 0;
                if ((c.types[w] & TM_SECOND) && !w_first)
                    continue;
                if (!w_first) {
                    if (v_two || interferes(c, adj, v, w) || _coloring_similarity(c, adj, v, w) < t)
                        continue;
                    _coalesce_locals(c, set, adj, v, w, 1, &n_left);
                    continue;
                }
                if (!v_two)
                    continue;
                int len = run_length(c, w);
                if (len > w - v)
                    len = w - v;
                if (len < 2)
                    continue;
                bool ok = true;
                for (int k = 0; k < len && ok; k++) {
                    int a = v + k, b = w + k;
                    if (a >= c.n || b >= c.n || !in_set(c, set, a) || !in_set(c, set, b) ||
                        ((c.types[a] ^ c.types[b]) & (TM_FIRST | TM_SECOND)) || interferes(c, adj, a, b) ||
                        _coloring_similarity(c, adj, a, b) < t)
                        ok = false;
                }
                if (ok)
                    _coalesce_locals(c, set, adj, v, w, len, &n_left);
            }
        }
    }
    if (n_left < start)
        c.merged = true;
}

// The new number of every local: parameters keep theirs; every local still
// in a class set, with the locals merged into it, takes the next number.
s4* make_map(coloring& c, int* new_count)
{
    s4* map = static_cast<s4*>(jit_wmem_alloc(c.m->pool1, (u4)c.n * 4));
    if (map == nullptr)
        return nullptr;
    for (int i = 0; i < c.n; i++)
        map[i] = i < c.params ? i : -1;
    int counter = c.params;
    for (int i = c.params; i < c.n; i++) {
        if (!in_set(c, c.int_set, i) && !in_set(c, c.fp_set, i))
            continue;
        map[i] = counter;
        if (in_set(c, c.bin_rep, i))
            for (int w = 0; w < c.n; w++)
                if (row(c, c.color_map, i).has(w))
                    map[w] = counter;
        counter++;
    }
    *new_count = counter;
    return map;
}

void rewrite_operand(u1 kind, u2* number, const s4* map, int n)
{
    if ((kind & QK_KIND_MASK) == QK_VARIABLE && *number < n && map[*number] >= 0)
        *number = (u2)map[*number];
}

void shrink_quadruple_with_coloring(coloring& c, const s4* map, int new_count)
{
    method_compile_context* m = c.m;
    for (u4 b = 0; b < m->bb_count; b++) {
        bbattr* bb = m->bb_table[b];
        // A dead block may still list quadruples that a merge moved into a
        // live one: rewriting them twice would renumber them again.
        if (!live_block(bb))
            continue;
        for (u4 k = 0; k < bb->quad_count; k++) {
            quadruple* q = bb->catbl[k];
            rewrite_operand(q->result.kind, &q->result.number, map, c.n);
            int layout = q->opcount & QC_SRC_MASK;
            if (layout == 1 || layout == 2)
                rewrite_operand(q->src1.kind, &q->src1.number, map, c.n);
            if (layout == 2)
                rewrite_operand(q->src2.kind, &q->src2.number, map, c.n);
            if (layout == 3)
                for (quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
                    rewrite_operand((u1)e->kind, &e->number, map, c.n);
        }
    }
    m->local_count = (u2)new_count;
    s4* tmap = mcc_transfer_map(m);
    for (u4 i = 0; tmap && i < mcc_transfer_map_count(m); i++)
        if (tmap[i] >= 0 && tmap[i] < c.n)
            tmap[i] = map[tmap[i]];
}

// The interpreter-transfer bookkeeping: which old locals share a slot with
// which representative, and which transfer locals are live at the transfer.
int set_tpentry_coloring_info(coloring& c)
{
    method_compile_context* m = c.m;
    if (m->transfer_point == 0)
        return 0;
    u2* alias = static_cast<u2*>(jit_wmem_alloc(m->pool1, (u4)c.n * 2));
    if (alias == nullptr)
        return 1;
    for (int i = 0; i < c.n; i++) {
        alias[i] = (u2)i;
        if (in_set(c, c.bin_rep, i))
            for (int w = 0; w < c.n; w++)
                if (row(c, c.color_map, i).has(w))
                    alias[w] = (u2)i;
    }
    mcc_set_alias_table(m, alias);
    u4 count = mcc_transfer_map_count(m);
    u8* live = static_cast<u8*>(jit_wmem_alloc(m->pool1, ((count + 63) / 64) * 8 + 8));
    if (live == nullptr)
        return 1;
    memset(live, 0, ((count + 63) / 64) * 8 + 8);
    // Live at the transfer: live into the block where the transfer resumes.
    // Merged locals share a frame slot, so a dead one must not be carried
    // over a live one.
    s4 tb = mcc_transfer_block(m) != 0 ? mcc_transfer_block(m) : (s4)m->frontend_words[TR_RESUME];
    const u4* live_in = (tb > 0 && (u4)tb < m->bb_count) ? bb_live_in(m->bb_table[tb]) : nullptr;
    s4* tmap = mcc_transfer_map(m);
    for (u4 i = 0; tmap && i < count; i++)
        if (tmap[i] >= 0 && (live_in == nullptr || local_set_has(live_in, c.n, tmap[i])))
            live[i >> 6] |= (u8)1 << (63 - (i & 63));
    mcc_set_transfer_live(m, reinterpret_cast<u4*>(live));
    return 0;
}

}  // namespace

int coloring_driver(method_compile_context* m, dataflow_pass_context* pc)
{
    mcc_set_live_info(m, nullptr);
    if ((compile_option_flag & OPT1_NSHRINKLVAR) || (compile_option3_flag & OPT3_NCOLORQUAD))
        return 0;
    if (m->bb_count > 65537 || m->local_count == 0)
        return 0;
    for (u4 b = 0; b + 1 < m->bb_count; b++)
        if (m->bb_table[b]->quad_count > 65535)
            return 0;
    remove_nop(m);
    conv_val_to_bitnum();
    pc->flags |= DFP_LAST_USE_TABLE;
    m->state_flags &= ~MCC_LIVENESS_UNAVAILABLE;
    if (dataflow_Q_livevar(m, pc) == 1)
        return 1;
    // Without live sets nothing can be merged safely: the method is left as it is.
    if (m->state_flags & MCC_LIVENESS_UNAVAILABLE)
        return 0;

    coloring c = {};
    c.m = m;
    c.n = m->local_count;
    c.nw = (c.n + 63) / 64;
    c.params = m->mb ? m->mb->args_size : 0;
    c.types = static_cast<u2*>(jit_wmem_alloc(m->pool1, (u4)c.n * 2));
    c.int_set = alloc_sets(c, 1);
    c.fp_set = alloc_sets(c, 1);
    if (c.types == nullptr || c.int_set == nullptr || c.fp_set == nullptr)
        return 1;
    memset(c.types, 0, (size_t)c.n * 2);
    create_preliminary_info_for_coloring(c);
    if (create_interference_graph(c) || allocate_bin_info(c))
        return 1;
    if (c.int_adj)
        coloring_quadruple(c, c.int_set, c.int_adj, 7);
    if (c.fp_adj)
        coloring_quadruple(c, c.fp_set, c.fp_adj, 8);
    if (!c.merged) {
        u4 count = mcc_transfer_map_count(m);
        u8* all = static_cast<u8*>(jit_wmem_alloc(m->pool1, ((count + 63) / 64) * 8 + 8));
        if (all == nullptr)
            return 1;
        memset(all, 0xFF, ((count + 63) / 64) * 8 + 8);
        mcc_set_transfer_live(m, reinterpret_cast<u4*>(all));
        return 0;
    }
    if (set_tpentry_coloring_info(c))
        return 1;
    int new_count = 0;
    s4* map = make_map(c, &new_count);
    if (map == nullptr)
        return 1;
    shrink_quadruple_with_coloring(c, map, new_count);
    return 0;
}

// Whether interpreter local i is live at the transfer and where its slot is
// now: stores the frame offset in the locals map and answers 1, else 0.
int set_rmmi_locals_map_with_coloring(codegen_context* cg, method_compile_context* m, void*, s4* locals_map, void*,
                                      int local)
{
    s4* tmap = mcc_transfer_map(m);
    u2* alias = mcc_alias_table(m);
    const u8* live = reinterpret_cast<const u8*>(mcc_transfer_live(m));
    if (tmap == nullptr || local < 0 || (u4)local >= mcc_transfer_map_count(m))
        return 0;
    auto live_at = [&](int i) { return live == nullptr || ((live[i >> 6] >> (63 - (i & 63))) & 1); };
    bool is_live = live_at(local);
    if (!is_live && alias != nullptr && alias[local] != local && (u4)alias[local] < mcc_transfer_map_count(m))
        is_live = live_at(alias[local]);
    if (!is_live)
        return 0;
    s4 slot = tmap[local];
    if (slot < 0 && alias != nullptr && (u4)alias[local] < mcc_transfer_map_count(m))
        slot = tmap[alias[local]];
    if (slot < 0)
        return 0;
    locals_map[local] = C_Style_local(cg, slot, 0);
    return 1;
}

// Debugging aid: a set as "0"/"1" text, a blank after every `group` bits.
const char* Conv_bit(const u8* set, int nbits, int group)
{
    static char text[1024];
    int k = 0;
    for (int i = 0; i < nbits && k < (int)sizeof text - 2; i++) {
        text[k++] = ((set[i >> 6] >> (63 - (i & 63))) & 1) ? '1' : '0';
        if (group > 0 && (i + 1) % group == 0 && k < (int)sizeof text - 2)
            text[k++] = ' ';
    }
    text[k] = 0;
    return text;
}
