// Local-variable register candidates: before code generation, for every loop
// nest and every tile (a collapsed loop region, or a stretch of blocks between
// loops), the locals and constants most used there, as candidate tables
// sorted by weighted use count; the per-block lists of used locals; and the
// register preferences that some quadruples give their operands.
//
// Input: the per-block usage tables (`var_table`, one 16-byte record per
// local) and 4-entry constant tables that `generate_Q_lvar_tbl` fills.
// Output: the loop records' candidate tables (`lvattr_table`, integer class,
// and `lvattr_table2`, floating class) with the manager's side records
// (figures, constants, live-in set), the tile numbers of the blocks and the
// context's tile array, the blocks' lvattr lists.  Every step answers 0, or 1
// when work memory runs out.
#include <string.h>

#include "codegen/regman/reg_manager.h"
#include "driver/driver.h"
#include "frontend/qgen.h"

namespace {

constexpr u4 BB_SKIP_TILE = 0x12000;     // removed or skipped blocks take no tile
constexpr u4 BB_REMOVED_FLAG = 0x10000;
constexpr u4 BB_REACH_MARK = 0x20000000;

void* alloc(work_pool* pool, u4 size)
{
    void* p = size ? jit_wmem_alloc(pool, size) : nullptr;
    if (p != nullptr)
        memset(p, 0, size);
    return p;
}

// Region figures: F1 and F3 the maximum, F2 and F4 the minimum.
struct figures {
    s2 f[4];
    void start(const bbattr* b)
    {
        for (int k = 0; k < 4; k++)
            f[k] = bb_fig(b, k);
    }
    void fold(const bbattr* b)
    {
        for (int k = 0; k < 4; k++) {
            s2 v = bb_fig(b, k);
            if ((k % 2 == 0) ? v > f[k] : v < f[k])
                f[k] = v;
        }
    }
};

// Adds a block's usage (count times the weight, attribute bits ORed) into a
// sum table; records with a zero count take no part.
void _accumulate_local_usage(local_usage_entry* sum, const local_usage_entry* table, int n, s4 weight)
{
    if (table == nullptr)
        return;
    for (int i = 0; i < n; i++) {
        if (table[i].count == 0)
            continue;
        sum[i].count += table[i].count * weight;
        sum[i].attr |= table[i].attr;
    }
}

// Feeds a block's constant records into a region's table (at most 4 entries).
u2 _accumulate_const_usage(method_compile_context* m, const_usage_entry* region, u2 count, bbattr* b, s4 weight,
                           u4 block)
{
    const const_usage_entry* t = bb_const_table(b);
    if (t == nullptr || region == nullptr)
        return count;
    for (int i = 0; i < b->cand_count && i < RM_CONST_TABLE_ENTRIES; i++)
        count = (u2)put_const_tbl(m, count, reinterpret_cast<const_candidate*>(region), t[i].kind, t[i].value,
                                  (u4)(t[i].count * weight), block);
    return count;
}

// Splits a sum table into the integer-class and floating-class candidate
// tables (each nlocals + 1 records, the last a trailer with two figures) and
// sorts them by count.
void candidate_split(method_compile_context* m, const local_usage_entry* sum, int n, local_usage_entry* ints,
                     local_usage_entry* fps, u2* nint, u2* nfp)
{
    int ni = 0, nf = 0;
    bool stable = false;
    for (int i = 0; i < n; i++) {
        if (sum[i].count <= 0 || (sum[i].attr & LU_NEVER))
            continue;
        local_usage_entry e = {(u4)i, sum[i].attr, sum[i].count, 0};
        if (sum[i].attr & LU_INT_CLASS) {
            ints[ni++] = e;
            if (sum[i].attr & (LU_LONG_LO | LU_LONG_HI))
                stable = true;
        } else {
            fps[nf++] = e;
        }
    }
    sort_local_tbl(m, ni, ints, stable);
    sort_local_tbl(m, nf, fps, 0);
    *nint = (u2)ni;
    *nfp = (u2)nf;
}

void write_trailers(local_usage_entry* ints, local_usage_entry* fps, int n, const figures& f)
{
    ints[n].local = (u4)(s4)f.f[0];
    ints[n].attr = (u4)(s4)f.f[1];
    fps[n].local = (u4)(s4)f.f[2];
    fps[n].attr = (u4)(s4)f.f[3];
}

} // namespace

// Stable: insertion sort, a record moves down past every earlier record with
// a strictly smaller count (the two halves of a long stay adjacent, in
// order).  Otherwise selection sort, the first of equal maxima winning.
void sort_local_tbl(method_compile_context*, int n, local_usage_entry* t, int stable)
{
    auto swap = [&](int a, int b) {
        local_usage_entry x = t[a];
        t[a].local = t[b].local;
        t[a].attr = t[b].attr;
        t[a].count = t[b].count;
        t[b].local = x.local;
        t[b].attr = x.attr;
        t[b].count = x.count;
    };
    if (stable) {
        for (int i = 1; i < n; i++)
            for (int j = i; j > 0 && t[j - 1].count < t[j].count; j--)
                swap(j - 1, j);
        return;
    }
    for (int i = 0; i < n; i++) {
        int best = i;
        for (int j = i + 1; j < n; j++)
            if (t[j].count > t[best].count)
                best = j;
        if (best != i)
            swap(i, best);
    }
}

// ---------------------------------------------------------------------------
// Loops
// ---------------------------------------------------------------------------
int loop_localreg_alloc(method_compile_context* m)
{
    if (m->state_flags & MCC_NO_LOCAL_REGS)
        return 0;
    int n = m->local_count;
    local_usage_entry* sum = nullptr;
    if (n > 0 && (sum = static_cast<local_usage_entry*>(alloc(m->pool2, (u4)n * 16))) == nullptr)
        return 1;
    if (m->loop_count > 0) {
        loop_reg_info* side = static_cast<loop_reg_info*>(alloc(m->pool1, m->loop_count * sizeof(loop_reg_info)));
        if (side == nullptr)
            return 1;
        mcc_set_loop_regs(m, side);
    }
    for (u4 li = 0; li < m->loop_count; li++) {
        loop_table_record* rec = rm_loop_record(m, (int)li);
        loop_reg_info* info = rm_loop_info(m, (int)li);
        if (rec == nullptr || info == nullptr || rec->body == nullptr)
            continue;
        if (sum)
            memset(sum, 0, (size_t)n * 16);
        auto* tables = static_cast<local_usage_entry*>(alloc(m->pool1, (u4)(n + 1) * 32));
        auto* consts = static_cast<const_usage_entry*>(alloc(m->pool1, 64));
        if (tables == nullptr || consts == nullptr)
            return 1;
        local_usage_entry* ints = tables;
        local_usage_entry* fps = tables + n + 1;
        loopattribute* body = rec->body;
        figures f = {};
        if (body->block_count > 0)
            f.start(body->blocks[0]);
        u2 nconst = 0;
        for (u4 k = 0; k < body->block_count; k++) {
            bbattr* b = body->blocks[k];
            b->flags |= BB_REACH_MARK;
            _accumulate_local_usage(sum, bb_usage_table(b), n, 1);
            nconst = _accumulate_const_usage(m, consts, nconst, b, 1, b->id);
            f.fold(b);
        }
        u2 nint = 0, nfp = 0;
        candidate_split(m, sum, n, ints, fps, &nint, &nfp);
        write_trailers(ints, fps, n, f);
        for (int k = 0; k < 4; k++)
            info->fig[k] = f.f[k];
        info->const_table = consts;
        info->const_count = nconst;
        rec->lvattr_table = ints;
        rec->lvattr_count = nint;
        rec->lvattr_table2 = fps;
        rec->lvattr_count2 = nfp;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Tiles
// ---------------------------------------------------------------------------
namespace {

struct tile_builder {
    method_compile_context* m;
    int n;
    local_usage_entry* sum;
    tile_record* records;
    u4 next;   // next tile number
};

// Sums the usage of a list of blocks and builds one tile from them.
int build_tile(tile_builder& t, const u4* list, u4 count)
{
    method_compile_context* m = t.m;
    if (count == 0)
        return 0;
    if (t.sum)
        memset(t.sum, 0, (size_t)t.n * 16);
    auto* tables = static_cast<local_usage_entry*>(alloc(m->pool1, (u4)(t.n + 1) * 32));
    if (tables == nullptr)
        return 1;
    figures f = {};
    f.start(m->bb_table[list[0]]);
    for (u4 i = 0; i < count; i++) {
        bbattr* b = m->bb_table[list[i]];
        _accumulate_local_usage(t.sum, bb_usage_table(b), t.n, 1);
        f.fold(b);
    }
    tile_record& r = t.records[t.next - 1];
    r = {};
    r.tile = t.next;
    r.int_cands = tables;
    r.fp_cands = tables + t.n + 1;
    candidate_split(m, t.sum, t.n, r.int_cands, r.fp_cands, &r.int_count, &r.fp_count);
    write_trailers(r.int_cands, r.fp_cands, t.n, f);
    for (u4 i = 0; i < count; i++)
        m->bb_table[list[i]]->tile_number = t.next;
    t.next++;
    return 0;
}

u4 _collect_unflagged_bbs_in_range(method_compile_context* m, u4 from, u4 to, u4* list)
{
    u4 k = 0;
    for (u4 b = from; b <= to && b + 1 < m->bb_count; b++)
        if (!(m->bb_table[b]->flags & BB_SKIP_TILE))
            list[k++] = b;
    return k;
}

void _mark_reachable_bbs_in_range(method_compile_context* m, u4 block, u4 from, u4 to)
{
    if (block < from || block > to)
        return;
    bbattr* b = m->bb_table[block];
    if ((b->flags & BB_SKIP_TILE) || (b->flags & BB_REACH_MARK))
        return;
    b->flags |= BB_REACH_MARK;
    for (u4 i = 0; i < b->succ_count; i++)
        _mark_reachable_bbs_in_range(m, bb_succ_block(b->succ[i]), from, to);
}

// Keeps the blocks reachable from the gap's first block (within the gap) in
// `list` and moves the others to `rest`; returns how many moved.
u4 _split_gap_by_reachability(method_compile_context* m, u4* list, u4* count, u4* rest, u4 from, u4 to)
{
    for (u4 i = 0; i < *count; i++)
        m->bb_table[list[i]]->flags &= ~BB_REACH_MARK;
    _mark_reachable_bbs_in_range(m, list[0], from, to);
    u4 kept = 0, moved = 0;
    for (u4 i = 0; i < *count; i++) {
        if (m->bb_table[list[i]]->flags & BB_REACH_MARK)
            list[kept++] = list[i];
        else
            rest[moved++] = list[i];
    }
    *count = kept;
    return moved;
}

} // namespace

int tile_reg_alloc(method_compile_context* m, var_usage_entry* method_table)
{
    const local_usage_entry* method_usage = reinterpret_cast<const local_usage_entry*>(method_table);
    u4 nb = m->bb_count;
    if (m->state_flags & MCC_NO_LOCAL_REGS) {
        for (u4 b = 0; b < nb; b++) {
            m->bb_table[b]->tile_number = 0;
            m->bb_table[b]->flags &= 0xBFFF7000u;
        }
        mcc_tile_count(m) = 0;
        mcc_set_tiles(m, nullptr);
        return 0;
    }
    int n = m->local_count;
    if (m->loop_count == 0) {
        auto* rec = static_cast<tile_record*>(alloc(m->pool1, sizeof(tile_record)));
        if (rec == nullptr)
            return 1;
        rec->tile = 1;
        if (mcc_reg_locals(m) == 0) {
            for (u4 b = 0; b < nb; b++)
                if (!(m->bb_table[b]->flags & BB_SKIP_TILE))
                    m->bb_table[b]->tile_number = 1;
        } else {
            auto* tables = static_cast<local_usage_entry*>(alloc(m->pool1, (u4)(n + 1) * 32));
            if (tables == nullptr)
                return 1;
            figures f = {};
            for (u4 b = 1; b + 1 < nb; b++)
                if (!(m->bb_table[b]->flags & BB_SKIP_TILE))
                    f.fold(m->bb_table[b]);
            rec->int_cands = tables;
            rec->fp_cands = tables + n + 1;
            if (method_usage != nullptr)
                candidate_split(m, method_usage, n, rec->int_cands, rec->fp_cands, &rec->int_count, &rec->fp_count);
            write_trailers(rec->int_cands, rec->fp_cands, n, f);
            for (u4 b = 0; b + 1 < nb; b++)
                if (!(m->bb_table[b]->flags & BB_SKIP_TILE))
                    m->bb_table[b]->tile_number = 1;
        }
        m->bb_table[0]->tile_number = 1;
        mcc_tile_count(m) = 1;
        mcc_set_tiles(m, rec);
        return 0;
    }

    tile_builder t = {m, n, nullptr, nullptr, 1};
    t.sum = static_cast<local_usage_entry*>(alloc(m->pool2, (u4)(n > 0 ? n : 1) * 16));
    u4* list = static_cast<u4*>(alloc(m->pool2, nb * 4));
    u4* rest = static_cast<u4*>(alloc(m->pool2, nb * 4));
    t.records = static_cast<tile_record*>(alloc(m->pool2, nb * sizeof(tile_record)));
    if (t.sum == nullptr || list == nullptr || rest == nullptr || t.records == nullptr)
        return 1;
    u4 next_free = 1;
    for (u4 li = 0; li < m->loop_count; li++) {
        loop_table_record* rec = rm_loop_record(m, (int)li);
        if (rec == nullptr || rec->body == nullptr)
            continue;
        loopattribute* body = rec->body;
        if (loop_reg_tile(rec)) {
            for (u4 k = 0; k < body->block_count; k++)
                if (!(body->blocks[k]->flags & BB_SKIP_TILE))
                    body->blocks[k]->tile_number = t.next;
            tile_record& r = t.records[t.next - 1];
            r = {};
            r.tile = t.next;
            r.int_cands = loop_int_cands(rec);
            r.fp_cands = loop_fp_cands(rec);
            r.int_count = rec->lvattr_count;
            r.fp_count = rec->lvattr_count2;
            t.next++;
        }
        if (next_free <= body->last_id) {
            u4 count = body->first_id > 0 ? _collect_unflagged_bbs_in_range(m, next_free, body->first_id - 1, list) : 0;
            if (count > 0) {
                if (li == 0) {
                    if (build_tile(t, list, count))
                        return 1;
                } else {
                    u4 moved = _split_gap_by_reachability(m, list, &count, rest, next_free, body->first_id - 1);
                    if (build_tile(t, list, count) || build_tile(t, rest, moved))
                        return 1;
                }
            }
            next_free = body->last_id + 1;
        }
    }
    if (next_free + 1 < nb) {
        u4 count = _collect_unflagged_bbs_in_range(m, next_free, nb - 2, list);
        if (build_tile(t, list, count))
            return 1;
    }
    u4 tiles = t.next - 1;
    m->bb_table[0]->tile_number = tiles;
    mcc_tile_count(m) = tiles;
    tile_record* records = nullptr;
    if (tiles > 0) {
        records = static_cast<tile_record*>(alloc(m->pool1, tiles * sizeof(tile_record)));
        if (records == nullptr)
            return 1;
        memcpy(records, t.records, tiles * sizeof(tile_record));
    }
    mcc_set_tiles(m, records);
    return 0;
}

// ---------------------------------------------------------------------------
// Per-block lists of used locals: count n, an unset word, then n pairs
// (local, attribute bits) of the locals with a positive count, in order.
// ---------------------------------------------------------------------------
int allocate_lvattr_tbl(method_compile_context* m, void* record)
{
    bbattr* b = static_cast<bbattr*>(record);
    if (b == nullptr)
        return 0;
    const local_usage_entry* t = bb_usage_table(b);
    bb_set_reg_lvattr(b, nullptr);
    bb_reg_lvattr_count(b) = 0;
    if (t == nullptr)
        return 0;
    u4 n = 0;
    for (u4 i = 0; i < m->local_count; i++)
        if (t[i].count > 0)
            n++;
    if (n == 0)
        return 0;
    u4* list = static_cast<u4*>(jit_wmem_alloc(m->pool1, n * 8 + 8));
    if (list == nullptr)
        return 1;
    list[0] = n;
    list[1] = 0;
    u4 k = 0;
    for (u4 i = 0; i < m->local_count; i++)
        if (t[i].count > 0) {
            list[2 + 2 * k] = i;
            list[3 + 2 * k] = t[i].attr;
            k++;
        }
    bb_set_reg_lvattr(b, list);
    bb_reg_lvattr_count(b) = n;
    return 0;
}

// ---------------------------------------------------------------------------
// Register preferences of operands that some instructions need in a fixed
// register (divisions in eax, shift counts in ecx, long halves in edx:eax).
// ---------------------------------------------------------------------------
namespace {

constexpr u1 KB_INT_LOCAL = 0x11, KB_REF_LOCAL = 0x21, KB_LONG_LOCAL = 0x31;
constexpr u1 QF_PREF_GIVEN = 0x10;
constexpr u1 QF_LASTUSE = 0x01;

void prefer(quad_operand& o, u1 first, u1 second)
{
    o.reg = first;
    o.second = second;
    o.flags |= QF_PREF_GIVEN;
}

bool is_shift(u2 op) { return op == QOP_SHL || op == QOP_SHR || op == QOP_USHR; }

void preferences_of(quadruple* q)
{
    int layout = q->opcount & QC_SRC_MASK;
    if (layout == 1) {
        if (q->opcode == OPC_LRETURN && q->src1.kind == KB_LONG_LOCAL) {
            prefer(q->src1, 2, 1);
        } else if (q->opcode == OPC_LARGCOPY && q->src1.kind == KB_LONG_LOCAL) {
            static const u1 pairs[3][2] = {{1, 2}, {2, 4}, {4, 0}};
            if (q->result.number <= 2)
                prefer(q->src1, pairs[q->result.number][0], pairs[q->result.number][1]);
        } else if (q->opcode == OPC_MONITOR && q->src1.kind == KB_REF_LOCAL) {
            prefer(q->src1, 6, q->src1.second);
        }
    } else if (layout == 2) {
        if (q->opcode == OPC_IOP2) {
            if (is_shift(q->op) && q->src2.kind == KB_INT_LOCAL)
                prefer(q->src2, 4, q->src2.second);
            else if ((q->op == QOP_DIV || q->op == QOP_REM) && q->src1.kind == KB_INT_LOCAL && (q->src1.flags & QF_LASTUSE))
                prefer(q->src1, 1, q->src1.second);
        } else if (q->opcode == OPC_LOP2) {
            if ((q->op == QOP_MUL || q->op == QOP_DIV || q->op == QOP_REM) && q->src1.kind == KB_LONG_LOCAL &&
                (q->src1.flags & QF_LASTUSE))
                prefer(q->src1, 2, 1);
        } else if (q->opcode == OPC_LSHIFT) {
            if (is_shift(q->op) && q->src2.kind == KB_INT_LOCAL)
                prefer(q->src2, 4, q->src2.second);
        }
    }
}

} // namespace

int add_and_allocate_color(method_compile_context* m)
{
    for (u4 b = m->bb_count >= 2 ? m->bb_count - 2 : 0; b >= 1 && b + 1 < m->bb_count; b--) {
        bbattr* bb = m->bb_table[b];
        if (bb->flags & BB_DEAD)
            continue;
        for (u4 k = bb->quad_count; k-- > 0;) {
            quadruple* q = bb->catbl[k];
            if (!(q->opcount & QC_DELETED))
                preferences_of(q);
        }
    }
    return 0;
}
