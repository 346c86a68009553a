// Register-manager primitives: status words, searches for an operand and for
// free registers, lookups in the candidate and block tables, loads,
// association moves and the comparison of register states.
//
// They read and write the current state (cg->regs.rm) and saved
// `register_info` snapshots; registers are scanned 0..6 and slots 0..7 unless
// stated, so the lowest number wins every tie.
#include <stdio.h>
#include <stdlib.h>

#include "codegen/cg_core.h"
#include "driver/driver.h"

[[noreturn]] void rm_fatal(const char* what)
{
    cg_internal_error("register manager: %s", what);
}

// ---------------------------------------------------------------------------
// Status words
// ---------------------------------------------------------------------------
u4 _ireg_status(codegen_context* cg, int r) { return sw_get(CUR(cg)->imask, r); }
void _set_ireg_status(codegen_context* cg, int r, u4 w) { sw_put(CUR(cg)->imask, r, w); }
u4 _init_ireg_status(codegen_context* cg, int r) { return sw_get(CUR(cg)->init_imask, r); }
void _set_init_ireg_status(codegen_context* cg, int r, u4 w) { sw_put(CUR(cg)->init_imask, r, w); }
u4 _reg_info_ireg_status(codegen_context*, register_info* ri, int r) { return sw_get(ri->imask, r); }
void _reg_info_set_ireg_status(codegen_context*, register_info* ri, int r, u4 w) { sw_put(ri->imask, r, w); }
u4 _reg_info_init_ireg_status(codegen_context*, register_info* ri, int r) { return sw_get(ri->init_imask, r); }
void _reg_info_set_init_ireg_status(codegen_context*, register_info* ri, int r, u4 w) { sw_put(ri->init_imask, r, w); }
u4 _freg_status(codegen_context* cg, int s) { return sw_get(CUR(cg)->fmask, s); }
void _set_freg_status(codegen_context* cg, int s, u4 w) { sw_put(CUR(cg)->fmask, s, w); }
u4 _init_freg_status(codegen_context* cg, int s) { return sw_get(CUR(cg)->init_fmask, s); }
void _set_init_freg_status(codegen_context* cg, int s, u4 w) { sw_put(CUR(cg)->init_fmask, s, w); }
u4 _reg_info_freg_status(codegen_context*, register_info* ri, int s) { return sw_get(ri->fmask, s); }
void _reg_info_set_freg_status(codegen_context*, register_info* ri, int s, u4 w) { sw_put(ri->fmask, s, w); }
u4 _reg_info_init_freg_status(codegen_context*, register_info* ri, int s) { return sw_get(ri->init_fmask, s); }
void _reg_info_set_init_freg_status(codegen_context*, register_info* ri, int s, u4 w) { sw_put(ri->init_fmask, s, w); }

int ireg_has_value(codegen_context* cg, int r)
{
    const u4* m = CUR(cg)->imask;
    return !sw_has(m, r, RS_PENDING) && !sw_has(m, r, RS_NOVALUE);
}
int freg_has_value(codegen_context* cg, int s)
{
    const u4* m = CUR(cg)->fmask;
    return !sw_has(m, s, RS_PENDING) && !sw_has(m, s, RS_NOVALUE);
}
void ireg_empty(codegen_context* cg, int r)
{
    entry_clear(&CUR(cg)->ient[r]);
    sw_clear(CUR(cg)->imask, r, SW_1_TO_9);
}
void freg_empty(codegen_context* cg, int s)
{
    entry_clear(&CUR(cg)->fent[s]);
    sw_clear(CUR(cg)->fmask, s, SW_1_TO_9);
}

// ---------------------------------------------------------------------------
// Searches for an operand
// ---------------------------------------------------------------------------
static int search_entries(const register_entry* e, const u4* m, int n, const reg_operand* op, int valid_only)
{
    for (int r = 0; r < n; r++) {
        if (!sw_has(m, r, RS_BUSY) || (valid_only && !sw_has(m, r, RS_VALID)))
            continue;
        if (entry_matches(&e[r], op))
            return r;
    }
    return -1;
}
static int simple_search_entries(const register_entry* e, const u4* m, int n, int kind, s4 index, int valid_only)
{
    for (int r = 0; r < n; r++) {
        if (!sw_has(m, r, RS_BUSY) || (valid_only && !sw_has(m, r, RS_VALID)))
            continue;
        if (e[r].kind == kind && e[r].index == index)
            return r;
    }
    return -1;
}

int _search_ireg(codegen_context* cg, const reg_operand* op, int valid_only)
{
    return search_entries(CUR(cg)->ient, CUR(cg)->imask, RM_INT_REGS, op, valid_only);
}
int _search_freg(codegen_context* cg, const reg_operand* op, int valid_only)
{
    return search_entries(CUR(cg)->fent, CUR(cg)->fmask, RM_FP_SLOTS, op, valid_only);
}
int _search_init_ireg(codegen_context* cg, const reg_operand* op)
{
    return search_entries(CUR(cg)->init_ient, CUR(cg)->init_imask, RM_INT_REGS, op, 0);
}
int _search_init_freg(codegen_context* cg, const reg_operand* op)
{
    return search_entries(CUR(cg)->init_fent, CUR(cg)->init_fmask, RM_FP_SLOTS, op, 0);
}
int _reg_info_search_ireg(codegen_context*, register_info* ri, const reg_operand* op, int valid_only)
{
    return search_entries(ri->ient, ri->imask, RM_INT_REGS, op, valid_only);
}
int _reg_info_search_freg(codegen_context*, register_info* ri, const reg_operand* op, int valid_only)
{
    return search_entries(ri->fent, ri->fmask, RM_FP_SLOTS, op, valid_only);
}
int _simple_search_ireg(codegen_context* cg, int kind, s4 index, int valid_only)
{
    return simple_search_entries(CUR(cg)->ient, CUR(cg)->imask, RM_INT_REGS, kind, index, valid_only);
}
int _simple_search_freg(codegen_context* cg, int kind, s4 index, int valid_only)
{
    return simple_search_entries(CUR(cg)->fent, CUR(cg)->fmask, RM_FP_SLOTS, kind, index, valid_only);
}
int _reg_info_simple_search_ireg(codegen_context*, register_info* ri, int kind, s4 index, int valid_only)
{
    return simple_search_entries(ri->ient, ri->imask, RM_INT_REGS, kind, index, valid_only);
}
int _reg_info_simple_search_freg(codegen_context*, register_info* ri, int kind, s4 index, int valid_only)
{
    return simple_search_entries(ri->fent, ri->fmask, RM_FP_SLOTS, kind, index, valid_only);
}

// The register holding the operand; a pending lazy load is emitted now
// (unless the caller overwrites the register) and the pending bit cleared in
// the current and the block-entry masks.
int _search_valid_ireg(codegen_context* cg, const reg_operand* op, int no_load)
{
    int r = _search_ireg(cg, op, 0);
    if (r < 0)
        return -1;
    register_info* c = CUR(cg);
    if (sw_has(c->imask, r, RS_PENDING)) {
        if (!no_load)
            _load_int_oprnd(cg, r, op);
        sw_clear(c->imask, r, SW(RS_PENDING));
        sw_clear(c->init_imask, r, SW(RS_PENDING));
    }
    return r;
}
int _search_valid_freg(codegen_context* cg, const reg_operand* op, int no_load)
{
    int s = _search_freg(cg, op, 0);
    if (s < 0)
        return -1;
    register_info* c = CUR(cg);
    if (sw_has(c->fmask, s, RS_PENDING)) {
        if (!no_load)
            _load_fp_oprnd(cg, s, op);
        sw_clear(c->fmask, s, SW(RS_PENDING));
        sw_clear(c->init_fmask, s, SW(RS_PENDING));
    }
    return s;
}

int int_stack_is_spilled(codegen_context* cg, int depth) { return _simple_search_ireg(cg, RK_STACK, depth, 1) < 0; }
int fp_stack_is_spilled(codegen_context* cg, int depth) { return _simple_search_freg(cg, RK_STACK, depth, 1) < 0; }

// ---------------------------------------------------------------------------
// Free registers
// ---------------------------------------------------------------------------

// The current quadruple's register-hint byte; 0 in the first and the last
// block and outside the block's quadruples.
static u4 current_hint(codegen_context* cg)
{
    if (cg->bbtable == nullptr || cg->m == nullptr)
        return 0;
    s4 b = cg->cur_bb;
    if (b <= 0 || (u4)b >= cg->m->bb_count - 1)
        return 0;
    bbattr* bb = cg->bbtable[b];
    if (cg->cur_quad < 0 || (u4)cg->cur_quad >= bb->quad_count || bb->catbl == nullptr)
        return 0;
    return quad_reg_hint(bb->catbl[cg->cur_quad]);
}

// Mode 0: any free register of the mask.  Modes 1 and 3 avoid the current
// quadruple's hinted registers, modes 2 and 4 look for them; modes 1 and 2
// fall back to any free register of the mask, modes 3 and 4 do not.
int _search_free_ireg(codegen_context* cg, u4 mask, const reg_operand* op, int mode)
{
    register_info* c = CUR(cg);
    u4 h;
    if (mode == 0) {
        h = 0xFF;
    } else {
        u4 hint = current_hint(cg);
        h = (mode == 1 || mode == 3) ? (~hint & 0xFF) : hint;
    }
    u4 busy = c->imask[RS_BUSY];
    if (op != nullptr && cg->bbtable != nullptr && cg->m != nullptr) {
        bbattr* t = get_target_bbattr(cg, cg->cur_bb);
        register_info* tri = t ? bb_reginfo(t) : nullptr;
        if (tri != nullptr) {
            int r = _reg_info_search_ireg(cg, tri, op, 0);
            if (r >= 0 && (mask >> r & 1) && !(busy >> r & 1))
                return r;
        }
    }
    for (int r = 0; r < RM_INT_REGS; r++)
        if ((mask >> r & 1) && !(busy >> r & 1) && (h >> r & 1))
            return r;
    if (mode == 3 || mode == 4)
        return -1;
    for (int r = 0; r < RM_INT_REGS; r++)
        if ((mask >> r & 1) && !(busy >> r & 1))
            return r;
    return -1;
}

// Push a new x87 slot: mark the slot at the top busy and raise the top
// counter; -1 when the ring already holds 8 live slots.
int _search_free_freg(codegen_context* cg)
{
    if (fp_top(cg) - fp_bottom(cg) >= RM_FP_SLOTS)
        return -1;
    int s = fp_slot(fp_top(cg));
    sw_set(CUR(cg)->fmask, s, SW(RS_BUSY));
    fp_top(cg)++;
    return s;
}

int _reg_info_search_free_ireg(codegen_context*, register_info* ri, int, u4 mask)
{
    for (int r = 0; r < RM_INT_REGS; r++)
        if ((mask >> r & 1) && !sw_has(ri->imask, r, RS_BUSY))
            return r;
    return -1;
}
int _reg_info_search_init_free_ireg(codegen_context*, register_info* ri, int, u4 mask)
{
    for (int r = 0; r < RM_INT_REGS; r++)
        if ((mask >> r & 1) && !sw_has(ri->init_imask, r, RS_BUSY))
            return r;
    return -1;
}
int _reg_info_search_free_freg(codegen_context*, register_info* ri, int, u4 mask)
{
    for (int s = RM_FP_SLOTS - 1; s >= 0; s--)
        if ((mask >> s & 1) && !sw_has(ri->fmask, s, RS_BUSY))
            return s;
    return -1;
}
int _reg_info_search_init_free_freg(codegen_context*, register_info* ri, int, u4 mask)
{
    for (int s = RM_FP_SLOTS - 1; s >= 0; s--)
        if ((mask >> s & 1) && !sw_has(ri->init_fmask, s, RS_BUSY))
            return s;
    return -1;
}

// A live x87 slot that is not valid: the one whose entry matches the operand
// at once, else the highest counter value; slots whose operand was in an
// x87 register at block entry are skipped when asked.
int _search_invalid_freg(codegen_context* cg, const reg_operand* op, int check)
{
    register_info* c = CUR(cg);
    s4 found = -1;
    for (s4 v = fp_bottom(cg); v < fp_top(cg); v++) {
        int s = fp_slot(v);
        if (sw_has(c->fmask, s, RS_VALID))
            continue;
        if (op != nullptr && check) {
            reg_operand e;
            operand_from_entry(&e, &c->fent[s]);
            if (e.kind != 0 && is_initially_cached_fp_oprnd(cg, &e))
                continue;
        }
        if (op != nullptr && entry_matches(&c->fent[s], op))
            return v;
        found = v;
    }
    return found;
}

// The counter value that currently names the slot: the one value from
// top - 8 to top - 1 equal to the slot modulo 8.
s4 _freg_num(codegen_context* cg, int slot)
{
    s4 top = fp_top(cg);
    s4 c = (top / 8) * 8 + slot;
    if (c >= top)
        c -= 8;
    return c;
}

int ireg_bit_count(u4 mask, int* first)
{
    int n = 0;
    for (int r = RM_INT_REGS - 1; r >= 0; r--)
        if (mask >> r & 1) {
            n++;
            if (first)
                *first = r;
        }
    return n;
}
int freg_bit_count(u4 mask, int* first)
{
    int n = 0;
    for (int s = RM_FP_SLOTS - 1; s >= 0; s--)
        if (mask >> s & 1) {
            n++;
            if (first)
                *first = s;
        }
    return n;
}

int is_same_status_word(const u4* a, const u4* b)
{
    for (int k = 0; k < RM_STATUS_BITS; k++)
        if (a[k] != b[k])
            return 0;
    return 1;
}

// ---------------------------------------------------------------------------
// Local sets and table lookups
// ---------------------------------------------------------------------------
static constexpr u8 bit64(int i) { return (u8)1 << (63 - i); }
#define LB2(i) {(u4)bit64(i), (u4)(bit64(i) >> 32)}
#define LB8(i) LB2(i), LB2(i + 1), LB2(i + 2), LB2(i + 3), LB2(i + 4), LB2(i + 5), LB2(i + 6), LB2(i + 7)
const u4 local_bit64[64][2] = {LB8(0), LB8(8), LB8(16), LB8(24), LB8(32), LB8(40), LB8(48), LB8(56)};
#undef LB8
#undef LB2

// A set of locals: one 64-bit value in place (low word first) when the local
// count plus 3 is at most 64, else a pointer to an array of them; local i is
// bit 63 - (i mod 64) of element i / 64.
int local_set_has(const u4* set, int nlocals, s4 local)
{
    if (set == nullptr || local < 0)
        return 0;
    const u4* w;
    if (nlocals + 3 <= 64) {
        if (local >= 64)
            return 0;
        w = set;
    } else {
        const u4* arr = reinterpret_cast<const u4*>((uintptr_t)set[0]);
        if (arr == nullptr)
            return 0;
        w = arr + 2 * (local / 64);
    }
    int i = local % 64;
    return ((w[0] & local_bit64[i][0]) | (w[1] & local_bit64[i][1])) != 0;
}

static int map_index(const local_usage_entry* map, s4 count, s4 local)
{
    if (map == nullptr)
        return -1;
    for (s4 i = 0; i < count; i++)
        if ((s4)map[i].local == local)
            return i;
    return -1;
}
int _int_local_index(codegen_context* cg, s4 local) { return map_index(CUR(cg)->int_map, CUR(cg)->int_map_count, local); }
int _fp_local_index(codegen_context* cg, s4 local) { return map_index(CUR(cg)->fp_map, CUR(cg)->fp_map_count, local); }
int _reg_info_int_local_index(codegen_context*, register_info* ri, s4 local)
{
    return map_index(ri->int_map, ri->int_map_count, local);
}
int _reg_info_fp_local_index(codegen_context*, register_info* ri, s4 local)
{
    return map_index(ri->fp_map, ri->fp_map_count, local);
}
int _loop_int_local_index(codegen_context* cg, int block, s4 local)
{
    bbattr* b = cg->bbtable[block];
    loop_table_record* l = bb_in_loop(b) ? rm_loop_record(cg->m, b->loop_index) : nullptr;
    return l ? map_index(loop_int_cands(l), l->lvattr_count, local) : -1;
}
int _loop_fp_local_index(codegen_context* cg, int block, s4 local)
{
    bbattr* b = cg->bbtable[block];
    loop_table_record* l = bb_in_loop(b) ? rm_loop_record(cg->m, b->loop_index) : nullptr;
    return l ? map_index(loop_fp_cands(l), l->lvattr_count2, local) : -1;
}

// The local's attribute word in the block's lvattr list (count, unused word,
// then (local, attribute) pairs); 0 when absent.
u4 _BB_LOCAL_TBL_attrib(codegen_context* cg, int block, s4 local)
{
    const u4* t = bb_reg_lvattr(cg->bbtable[block]);
    if (t == nullptr)
        return 0;
    for (u4 i = 0; i < t[0]; i++)
        if ((s4)t[2 + 2 * i] == local)
            return t[3 + 2 * i];
    return 0;
}

// 1 when `other` enters `block` by a forward (non-exception) edge.
int _within_fwd_entry(codegen_context* cg, int block, int other)
{
    if (other < 0 || (u4)other >= cg->m->bb_count)
        return 0;
    bbattr* o = cg->bbtable[other];
    for (u4 i = 0; i < o->succ_count; i++)
        if (bb_succ_block(o->succ[i]) == (u4)block)
            return 1;
    return 0;
}

bbattr* get_target_bbattr(codegen_context* cg, int block)
{
    if (block < 0 || cg->m == nullptr || (u4)block >= cg->m->bb_count)
        return nullptr;
    bbattr* b = cg->bbtable[block];
    if (!bb_in_loop(b))
        return nullptr;
    loop_table_record* l = rm_loop_record(cg->m, b->loop_index);
    s4 h = l ? loop_header_block(l) : -1;
    if (h < 0 || (u4)h >= cg->m->bb_count)
        return nullptr;
    return cg->bbtable[h];
}

// The predecessor whose state the block inherits: the only one; with two,
// the first, or the loop's pre-entry block when it is one of them; else -1.
int dominant_bb_minfo(method_compile_context* m, int block)
{
    s4 preds[3];
    int n = 0;
    for (u4 b = 0; b < m->bb_count && n < 3; b++) {
        bbattr* p = m->bb_table[b];
        for (u4 i = 0; i < p->succ_count; i++)
            if (bb_succ_block(p->succ[i]) == (u4)block) {
                preds[n++] = (s4)b;
                break;
            }
    }
    if (n == 1)
        return preds[0];
    if (n != 2)
        return -1;
    bbattr* bb = m->bb_table[block];
    if (bb_in_loop(bb)) {
        loop_table_record* l = rm_loop_record(m, bb->loop_index);
        s4 pre = l ? loop_pre_entry_block(l) : -1;
        if (pre >= 0 && (pre == preds[0] || pre == preds[1]))
            return pre;
    }
    return preds[0];
}

// ---------------------------------------------------------------------------
// State comparison: registers busy in either state must agree in their
// current and block-entry entries and status words (ignoring the assigned
// and no-value bits), then the cache count, the map size and the map.
// ---------------------------------------------------------------------------
static int same_regs(const register_info* a, const register_info* b, int n, bool fp)
{
    const u4* am = fp ? a->fmask : a->imask;
    const u4* bm = fp ? b->fmask : b->imask;
    const u4* aim = fp ? a->init_fmask : a->init_imask;
    const u4* bim = fp ? b->init_fmask : b->init_imask;
    const register_entry* ae = fp ? a->fent : a->ient;
    const register_entry* be = fp ? b->fent : b->ient;
    const register_entry* aie = fp ? a->init_fent : a->init_ient;
    const register_entry* bie = fp ? b->init_fent : b->init_ient;
    for (int r = 0; r < n; r++) {
        if (!sw_has(am, r, RS_BUSY) && !sw_has(bm, r, RS_BUSY))
            continue;
        if (!entries_match(&ae[r], &be[r]) || !entries_match(&aie[r], &bie[r]))
            return 0;
        if ((sw_get(am, r) & SW_SAME_MASK) != (sw_get(bm, r) & SW_SAME_MASK))
            return 0;
        if ((sw_get(aim, r) & SW_SAME_MASK) != (sw_get(bim, r) & SW_SAME_MASK))
            return 0;
    }
    return 1;
}

int is_same_int_register_info(codegen_context* cg, register_info* ri)
{
    register_info* c = CUR(cg);
    if (!same_regs(c, ri, RM_INT_REGS, false))
        return 0;
    return int_cache_count(cg) == ri->int_cache_count && c->int_map_count == ri->int_map_count &&
           c->int_map == ri->int_map;
}
int is_same_fp_register_info(codegen_context* cg, register_info* ri)
{
    register_info* c = CUR(cg);
    if (!same_regs(c, ri, RM_FP_SLOTS, true))
        return 0;
    return fp_top(cg) == ri->fp_top && fp_bottom(cg) == ri->fp_bottom && fp_cache_count(cg) == ri->fp_cache_count &&
           c->fp_map_count == ri->fp_map_count && c->fp_map == ri->fp_map;
}
int is_same_register_info(codegen_context* cg, register_info* ri)
{
    return is_same_int_register_info(cg, ri) && is_same_fp_register_info(cg, ri);
}

// ---------------------------------------------------------------------------
// Loads
// ---------------------------------------------------------------------------
void _load_int_oprnd(codegen_context* cg, int r, const reg_operand* op)
{
    switch ((u1)op->kind) {
    case RK_LOCAL:
        gen_move_ireg_local(cg, r, (s4)op->value, op->type == RT_INT1 || op->type == RT_INT2, op->type == RT_INT1);
        break;
    case RK_CONST:
        gen_move_ireg_rawimmediate(cg, r, (s4)op->value);
        break;
    case RK_XCONST:
    case RK_YCONST:
        gen_move_ireg_memimmediate(cg, r, op->value);
        break;
    default:
        break;   // an operand-stack value is already in place
    }
}

// A small integer constant other than 0, 1 and 2 has no load of its own: it
// goes into the data table as a double (the x87 rounds a float result on its
// store).
static u4 fp_small_constant(codegen_context* cg, s4 v)
{
    double* d = static_cast<double*>(jit_wmem_alloc(RM(cg)->pool, sizeof(double)));
    if (d == nullptr)
        rm_fatal("no work memory for an x87 constant");
    *d = (double)v;
    return (u4)(uintptr_t)d;
}

void _load_fp_oprnd(codegen_context* cg, int slot, const reg_operand* op)
{
    s4 c = _freg_num(cg, slot);
    int dbl = op->type == RT_DOUBLE;
    switch ((u1)op->kind) {
    case RK_LOCAL:
        gen_move_freg_local(cg, c, (s4)op->value, dbl);
        break;
    case RK_CONST:
        if ((s4)op->value >= 0 && (s4)op->value <= 2)
            gen_move_freg_rawimmediate(cg, c, (s4)op->value);
        else
            gen_move_freg_genimmediate(cg, c, fp_small_constant(cg, (s4)op->value), 1);
        break;
    case RK_XCONST:
        gen_move_freg_idximmediate(cg, c, op->value, dbl);
        break;
    case RK_YCONST:
        gen_move_freg_genimmediate(cg, c, op->value, dbl);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// Association moves
// ---------------------------------------------------------------------------

// Drop the stale copies of an operand from other unlocked registers (bit 0
// stays).  Constants match by kind, type and value; the rest by kind and index.
static int invalidate_in(register_entry* e, u4* m, int n, int kept, const reg_operand* op)
{
    int count = 0;
    bool is_const = rk_is_const((u1)op->kind);
    for (int r = 0; r < n; r++) {
        if (r == kept || sw_has(m, r, RS_LOCKED))
            continue;
        if (e[r].kind != (u1)op->kind || e[r].index != (s4)op->value)
            continue;
        if (is_const && e[r].type != (u1)op->type)
            continue;
        entry_clear(&e[r]);
        sw_clear(m, r, SW_1_TO_9);
        count++;
    }
    return count;
}
int _invalidate_iregs(codegen_context* cg, int kept, const reg_operand* op)
{
    return invalidate_in(CUR(cg)->ient, CUR(cg)->imask, RM_INT_REGS, kept, op);
}
int _invalidate_fregs(codegen_context* cg, int kept, const reg_operand* op)
{
    return invalidate_in(CUR(cg)->fent, CUR(cg)->fmask, RM_FP_SLOTS, kept, op);
}

// A new value written to a local ends every copy, in either register file,
// of a local whose words it overlaps under another type (a double covers its
// local and the next): the front end reuses its temporary locals with
// different types, and a dirty old copy left behind would be stored over the
// new value by a later flush.  Copies with the written operand's own type and
// index are the caller's business.  An unlocked copy is dropped; one still
// locked by the quadruple being generated keeps its register but loses its
// dirty state (an integer one becomes a temporary), so nothing stores it.
static int local_words(const register_entry& e) { return e.type == RT_DOUBLE ? 2 : 1; }
void _drop_overlapping_local_copies(codegen_context* cg, const reg_operand* op)
{
    if ((u1)op->kind != RK_LOCAL)
        return;
    register_info* c = CUR(cg);
    s4 lo = (s4)op->value;
    s4 hi = lo + ((u1)op->type == RT_DOUBLE ? 2 : 1);
    auto overlaps = [&](const register_entry& e) {
        return e.kind == RK_LOCAL && !entry_matches(&e, op) && e.index < hi && e.index + local_words(e) > lo;
    };
    for (int s = 0; s < RM_FP_SLOTS; s++) {
        if (!sw_has(c->fmask, s, RS_BUSY) || !overlaps(c->fent[s]))
            continue;
        if (sw_has(c->fmask, s, RS_LOCKED)) {
            sw_clear(c->fmask, s, SW(RS_DIRTY));
            continue;
        }
        entry_clear(&c->fent[s]);
        sw_clear(c->fmask, s, SW_1_TO_9);
    }
    for (int r = 0; r < RM_INT_REGS; r++) {
        if (!sw_has(c->imask, r, RS_BUSY) || !overlaps(c->ient[r]))
            continue;
        if (sw_has(c->imask, r, RS_LOCKED)) {
            c->ient[r] = {RK_TEMP, RT_INT, 0, r, nullptr};
            sw_clear(c->imask, r, SW(RS_PENDING) | SW(RS_DIRTY) | SW(RS_CONST) | SW(RS_NOVALUE));
            continue;
        }
        entry_clear(&c->ient[r]);
        sw_clear(c->imask, r, SW_1_TO_9);
    }
}

static void swap_in(register_entry* e, u4* m, int a, int b)
{
    register_entry t = e[a];
    e[a] = e[b];
    e[b] = t;
    u4 wa = sw_get(m, a), wb = sw_get(m, b);
    sw_put(m, a, wb);
    sw_put(m, b, wa);
}
static void copy_in(register_entry* e, u4* m, int dst, int src)
{
    e[dst] = e[src];
    sw_put(m, dst, sw_get(m, src));
}

void _swap_assoc_iregs(codegen_context* cg, int a, int b, int also_init)
{
    register_info* c = CUR(cg);
    swap_in(c->ient, c->imask, a, b);
    if (also_init)
        swap_in(c->init_ient, c->init_imask, a, b);
}
void _swap_assoc_fregs(codegen_context* cg, int a, int b, int also_init)
{
    register_info* c = CUR(cg);
    swap_in(c->fent, c->fmask, a, b);
    if (also_init)
        swap_in(c->init_fent, c->init_fmask, a, b);
}
void _copy_assoc_iregs(codegen_context* cg, int dst, int src, int also_init)
{
    register_info* c = CUR(cg);
    copy_in(c->ient, c->imask, dst, src);
    if (also_init)
        copy_in(c->init_ient, c->init_imask, dst, src);
}
void _copy_assoc_fregs(codegen_context* cg, int dst, int src, int also_init)
{
    register_info* c = CUR(cg);
    copy_in(c->fent, c->fmask, dst, src);
    if (also_init)
        copy_in(c->init_fent, c->init_fmask, dst, src);
}
void _reg_info_swap_assoc_iregs(codegen_context*, register_info* ri, int a, int b) { swap_in(ri->ient, ri->imask, a, b); }
void _reg_info_swap_assoc_fregs(codegen_context*, register_info* ri, int a, int b) { swap_in(ri->fent, ri->fmask, a, b); }
