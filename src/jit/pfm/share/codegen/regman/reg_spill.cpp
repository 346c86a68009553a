// Spilling and allocation: writing registers back to their homes, choosing
// the register to give up when none is free, exchanging values between
// registers, scratch registers, pending (lazy) loads and the rebuilding of a
// block's x87 registers.
//
// An x87 slot can leave the hardware stack only from st(0): spills bring the
// slot to the top first (an exchange of the model entries and an fxch).
#include "codegen/regman/reg_manager.h"

// ---------------------------------------------------------------------------
// Writing registers back
// ---------------------------------------------------------------------------

// Store a dirty register (or, forced, any register but a constant) to its
// home: an operand-stack value to its slot, a local that has its value to
// the local.  The dirty bit is cleared.
void _spillout_ireg(codegen_context* cg, int r, int force)
{
    register_info* c = CUR(cg);
    if (!sw_has(c->imask, r, RS_BUSY))
        return;
    bool dirty = sw_has(c->imask, r, RS_DIRTY);
    if (!dirty && (!force || sw_has(c->imask, r, RS_CONST)))
        return;
    const register_entry& e = c->ient[r];
    bool narrow = e.type == RT_INT1 || e.type == RT_INT2;
    if (ireg_has_value(cg, r)) {
        if (e.kind == RK_STACK)
            gen_move_stack_ireg(cg, e.second, r);
        else if (e.kind == RK_LOCAL)
            gen_move_local_ireg(cg, e.index, r, narrow, e.type == RT_INT1);
    }
    sw_clear(c->imask, r, SW(RS_DIRTY));
}

// Exchange two x87 counter values in the model and, when either holds a live
// value, on the hardware stack.
static bool freg_live(codegen_context* cg, int s)
{
    return sw_has(CUR(cg)->fmask, s, RS_VALID) && freg_has_value(cg, s);
}
void rm_exchange_fregs(codegen_context* cg, s4 a, s4 b)
{
    if (a == b)
        return;
    int sa = fp_slot(a), sb = fp_slot(b);
    bool emit = freg_live(cg, sa) || freg_live(cg, sb);
    _swap_assoc_fregs(cg, sa, sb, 0);
    if (emit)
        gen_swap_freg_freg(cg, a, b);
}

// Take an x87 slot off the ring, storing it when its kind asks for it:
// an operand-stack value to its slot, a dirty (or forced) local to the
// local; anything else is popped.  A slot that is not st(0) is first
// exchanged with st(0).  An x87 temporary is popped too, so the hardware
// stack always loses the entry the model drops.
void _spillout_freg(codegen_context* cg, int slot, int force)
{
    register_info* c = CUR(cg);
    if (!sw_has(c->fmask, slot, RS_BUSY))
        return;
    s4 top1 = fp_top(cg) - 1;
    s4 v = _freg_num(cg, slot);
    if (v != top1) {
        rm_exchange_fregs(cg, v, top1);
        slot = fp_slot(top1);
    }
    const register_entry& e = c->fent[slot];
    int dbl = e.type == RT_DOUBLE;
    bool value = freg_has_value(cg, slot);
    bool stored = false;
    if (e.kind == RK_STACK && value) {
        gen_move_stack_freg(cg, e.second, top1, dbl);
        stored = true;
    } else if (e.kind == RK_LOCAL && value &&
               (sw_has(c->fmask, slot, RS_DIRTY) || (force && !sw_has(c->fmask, slot, RS_CONST)))) {
        gen_move_local_freg(cg, e.index, top1, dbl);
        stored = true;
    }
    if (!stored)
        gen_pop_fr(cg);
    freg_empty(cg, slot);
    fp_top(cg)--;
    sw_clear(c->fmask, fp_slot(fp_top(cg)), SW(RS_BUSY));
}

// ---------------------------------------------------------------------------
// Spill choice
// ---------------------------------------------------------------------------
struct spill_choice {
    int reg;          // register or slot, -1 none
    bool by_tick;     // chosen as a preferred-register local by its tick distance
    int rank;
    s4 d;             // tick distance
    s4 count;         // weighted use count in the local map
    s4 index;         // operand-stack index
    bool dirty;
};

static bool tick_mode(codegen_context* cg)
{
    return cg->m != nullptr && !(cg->m->state_flags & MCC_NO_TICKS) && cg->tick_pos != nullptr &&
           cg->tick_val != nullptr;
}
static s4 tick_distance(codegen_context* cg, s4 local)
{
    if (local < 0 || local >= mcc_nlocals(cg->m))
        return 0;
    return (s4)cg->tick_pos[local] + (s4)cg->tick_val[local] - cg->cur_quad;
}

// Consider register r holding entry e for spilling (the rules of both register files).
static void consider(codegen_context* cg, spill_choice* best, int r, const register_entry& e, bool dirty, u4 pref,
                     bool tick, const local_usage_entry* map, s4 map_count)
{
    if (tick && (pref >> r & 1) && e.kind == RK_LOCAL) {
        s4 d = tick_distance(cg, e.index);
        if (!best->by_tick || d > best->d || (d == best->d && best->dirty && !dirty))
            *best = {r, true, 3, d, 0, 0, dirty};
        return;
    }
    if (best->by_tick)
        return;
    int rank = e.kind == RK_LOCAL ? 3 : e.kind == RK_STACK ? 2 : 4;
    spill_choice cand = {r, false, rank, 0, 0, e.index, dirty};
    if (rank == 3) {
        if (tick) {
            cand.d = tick_distance(cg, e.index);
        } else if (map != nullptr) {
            s4 i = -1;
            for (s4 k = 0; k < map_count; k++)
                if ((s4)map[k].local == e.index) {
                    i = k;
                    break;
                }
            cand.count = i >= 0 ? map[i].count : 0;
        }
    }
    if (best->reg < 0 || rank > best->rank) {
        *best = cand;
        return;
    }
    if (rank < best->rank)
        return;
    switch (rank) {
    case 2:
        if (cand.index < best->index)
            *best = cand;
        break;
    case 4:
        break;
    default:
        if (tick) {
            if (cand.d > best->d || (cand.d == best->d && best->dirty && !dirty))
                *best = cand;
        } else if (map != nullptr) {
            if (cand.count < best->count || (cand.count == best->count && best->dirty && !dirty))
                *best = cand;
        } else if (best->dirty && !dirty) {
            *best = cand;
        }
        break;
    }
}

int spillout_candidate_ireg(codegen_context* cg, u4 mask, const reg_operand* op)
{
    register_info* c = CUR(cg);
    mask &= RM_ALL_INT;
    int first = -1;
    if (ireg_bit_count(mask, &first) == 1)
        return sw_has(c->imask, first, RS_LOCKED) ? -1 : first;
    bool tick = tick_mode(cg);
    u4 pref = op ? opnd_pref(op->source) : 0;
    spill_choice best = {-1, false, -1, 0, 0, 0, false};
    for (int r = 0; r < RM_INT_REGS; r++) {
        if (!(mask >> r & 1) || sw_has(c->imask, r, RS_LOCKED))
            continue;
        consider(cg, &best, r, c->ient[r], sw_has(c->imask, r, RS_DIRTY), pref, tick, c->int_map, c->int_map_count);
    }
    return best.reg;
}

// The same over the live x87 slots, scanned from slot 7 down; the result is
// the chosen slot's counter value (with a single-slot mask, the slot).
s4 spillout_candidate_freg(codegen_context* cg, u4 mask, const reg_operand* op)
{
    register_info* c = CUR(cg);
    mask &= RM_ALL_FP;
    int first = -1;
    if (freg_bit_count(mask, &first) == 1)
        return sw_has(c->fmask, first, RS_LOCKED) ? -1 : first;
    bool tick = tick_mode(cg);
    u4 pref = op ? opnd_pref(op->source) : 0;
    spill_choice best = {-1, false, -1, 0, 0, 0, false};
    for (int s = RM_FP_SLOTS - 1; s >= 0; s--) {
        if (!(mask >> s & 1) || sw_has(c->fmask, s, RS_LOCKED) || !sw_has(c->fmask, s, RS_BUSY))
            continue;
        consider(cg, &best, s, c->fent[s], sw_has(c->fmask, s, RS_DIRTY), pref, tick, c->fp_map, c->fp_map_count);
    }
    return best.reg < 0 ? -1 : _freg_num(cg, best.reg);
}

// 1 when a register's value (an integer-class one) should be moved rather
// than stored when the register is taken: outside loops always; in a loop
// when the loop's target state does not expect it in this very register.
int prefer_swap_iregs(codegen_context* cg, int r)
{
    const register_entry& e = CUR(cg)->ient[r];
    if (!rt_is_int_class(e.type))
        return 0;
    bbattr* t = get_target_bbattr(cg, cg->cur_bb);
    if (t == nullptr)
        return 1;
    register_info* tri = bb_reginfo(t);
    if (tri == nullptr)
        return 0;
    reg_operand op;
    operand_from_entry(&op, &e);
    return _reg_info_search_ireg(cg, tri, &op, 0) != r;
}
int prefer_swap_fregs(codegen_context* cg, int slot)
{
    const register_entry& e = CUR(cg)->fent[slot];
    if (!rt_is_fp(e.type))
        return 0;
    bbattr* t = get_target_bbattr(cg, cg->cur_bb);
    if (t == nullptr)
        return 1;
    register_info* tri = bb_reginfo(t);
    if (tri == nullptr)
        return 0;
    reg_operand op;
    operand_from_entry(&op, &e);
    return _reg_info_search_freg(cg, tri, &op, 0) != slot;
}

// ---------------------------------------------------------------------------
// Allocation
// ---------------------------------------------------------------------------

// Give up the spill candidate of the mask: its value moves to a free register
// outside it (and the excluded ones) when that is preferred and possible, else
// it is written back.  The register is returned empty.
int _spillout_and_alloc_ireg(codegen_context* cg, u4 mask, u4 exclude, const reg_operand* op)
{
    int r = spillout_candidate_ireg(cg, mask, op);
    if (r < 0)
        rm_fatal("every integer register of the mask is locked");
    int w = -1;
    if (prefer_swap_iregs(cg, r)) {
        reg_operand e;
        operand_from_entry(&e, &CUR(cg)->ient[r]);
        w = _search_free_ireg(cg, ~((1u << r) | exclude) & RM_ALL_INT, &e, 3);
    }
    if (w >= 0) {
        if (ireg_has_value(cg, r))
            gen_move_ireg_ireg(cg, w, r);
        _copy_assoc_iregs(cg, w, r, 0);
    } else {
        _spillout_ireg(cg, r, 0);
    }
    ireg_empty(cg, r);
    return r;
}

int _alloc_free_ireg(codegen_context* cg, u4 mask, u4 exclude, const reg_operand* op)
{
    int r = _search_free_ireg(cg, mask, nullptr, 1);
    if (r >= 0)
        return r;
    bbattr* b = cg->bbtable ? cg->bbtable[cg->cur_bb] : nullptr;
    if (b && (b->flags2 & BB2_NO_SPILL_MOVE))
        exclude = 0xFFFF;
    return _spillout_and_alloc_ireg(cg, mask, exclude, op);
}

// Full ring: spill one slot.  U is the highest unlocked counter value, V
// (the victim) the highest unlocked one without a valid value, else U.  V is
// exchanged to st(0) and spilled; then the entries between are rotated so
// that the locked top entries keep their order.  A new slot is pushed.
s4 _spillout_and_alloc_freg(codegen_context* cg)
{
    register_info* c = CUR(cg);
    s4 u = -1, v = -1;
    for (s4 k = fp_top(cg) - 1; k >= fp_bottom(cg); k--) {
        int s = fp_slot(k);
        if (sw_has(c->fmask, s, RS_LOCKED))
            continue;
        if (u < 0)
            u = k;
        if (v < 0 && !sw_has(c->fmask, s, RS_VALID))
            v = k;
    }
    if (v < 0)
        v = u;
    if (v < 0)
        rm_fatal("every x87 register is locked");
    if (v != fp_top(cg) - 1)
        rm_exchange_fregs(cg, v, fp_top(cg) - 1);
    _spillout_freg(cg, fp_slot(fp_top(cg) - 1), 0);
    s4 top1 = fp_top(cg) - 1;
    if (top1 > v) {
        for (s4 k = fp_top(cg) - 2; k >= u + 1; k--)
            rm_exchange_fregs(cg, top1, k);
        rm_exchange_fregs(cg, top1, v);
    }
    sw_set(c->fmask, fp_slot(fp_top(cg)), SW(RS_BUSY));
    return fp_top(cg)++;
}

// A new x87 slot on the top.  An empty ring without cached locals starts at
// the x87 stack count, so that operand-stack value i keeps counter value i.
s4 _alloc_free_freg(codegen_context* cg, u4, u4)
{
    if (fp_top(cg) != fp_bottom(cg)) {
        int s = _search_free_freg(cg);
        if (s >= 0)
            return fp_top(cg) - 1;
        return _spillout_and_alloc_freg(cg);
    }
    if (fp_cache_count(cg) == 0) {
        fp_bottom(cg) = CUR(cg)->fp_stack_count;
        fp_top(cg) = CUR(cg)->fp_stack_count;
    }
    sw_set(CUR(cg)->fmask, fp_slot(fp_top(cg)), SW(RS_BUSY));
    return fp_top(cg)++;
}

// Exchange the values of r and the spill candidate of the mask, with their
// associations; returns the candidate.
int _swap_assoc_value_iregs(codegen_context* cg, int r, u4 mask, const reg_operand* op)
{
    int s = spillout_candidate_ireg(cg, mask, op);
    if (s < 0)
        rm_fatal("no register to exchange with");
    bool rv = ireg_has_value(cg, r), sv = ireg_has_value(cg, s);
    if (rv && sv)
        gen_swap_ireg_ireg(cg, r, s);
    else if (rv)
        gen_move_ireg_ireg(cg, s, r);
    else if (sv)
        gen_move_ireg_ireg(cg, r, s);
    _swap_assoc_iregs(cg, r, s, 0);
    return s;
}
int _swap_assoc_value_fregs(codegen_context* cg, int r, u4 mask, const reg_operand* op)
{
    s4 cv = spillout_candidate_freg(cg, mask, op);
    if (cv < 0)
        rm_fatal("no x87 register to exchange with");
    int s = fp_slot(cv);
    rm_exchange_fregs(cg, _freg_num(cg, r), _freg_num(cg, s));
    return s;
}

// Spill the n deepest x87 entries.  Operand-stack values go to their slots,
// dirty locals to their locals (stored in place first), the rest is dropped;
// the remaining entries keep their order and the bottom counter rises by n,
// since the spilled entries are gone from the hardware stack.
void spillout_hw_fp_stack_bottom(codegen_context* cg, int n)
{
    register_info* c = CUR(cg);
    if (n > fp_top(cg) - fp_bottom(cg))
        n = fp_top(cg) - fp_bottom(cg);
    int slots[RM_FP_SLOTS] = {};
    s4 regs[RM_FP_SLOTS] = {};
    int dbls[RM_FP_SLOTS] = {};
    for (int k = 0; k < n; k++) {
        s4 v = fp_bottom(cg) + k;
        int s = fp_slot(v);
        const register_entry& e = c->fent[s];
        regs[k] = v;
        dbls[k] = e.type == RT_DOUBLE;
        bool value = sw_has(c->fmask, s, RS_BUSY) && freg_has_value(cg, s);
        if (e.kind == RK_STACK && value) {
            slots[k] = e.second;
        } else {
            if (e.kind == RK_LOCAL && value && sw_has(c->fmask, s, RS_DIRTY)) {
                s4 top1 = fp_top(cg) - 1;
                gen_swap_freg_freg(cg, v, top1);
                gen_move_local_freg_p(cg, e.index, top1, dbls[k], 0);
                gen_swap_freg_freg(cg, v, top1);
            }
            slots[k] = -1;
        }
    }
    gen_spillout_stack_freg(cg, n, slots, regs, dbls);
    for (int k = 0; k < n; k++)
        freg_empty(cg, fp_slot(regs[k]));
    fp_bottom(cg) += n;
}

// ---------------------------------------------------------------------------
// Pending loads and block-entry x87 loads
// ---------------------------------------------------------------------------
u4 _load_lazy_registers(codegen_context* cg, u4* int_loaded, u4* fp_loaded)
{
    register_info* c = CUR(cg);
    u4 loaded = 0;
    for (int r = 0; r < RM_INT_REGS; r++) {
        if (!sw_has(c->imask, r, RS_BUSY) || !sw_has(c->imask, r, RS_PENDING))
            continue;
        reg_operand op;
        operand_from_entry(&op, &c->ient[r]);
        _load_int_oprnd(cg, r, &op);
        sw_clear(c->imask, r, SW(RS_PENDING));
        sw_clear(c->init_imask, r, SW(RS_PENDING));
        loaded |= 1u << r;
    }
    if (int_loaded)
        *int_loaded = loaded;
    if (fp_loaded)
        *fp_loaded = 0;
    return loaded;
}

// Rebuild a snapshot's x87 registers on an empty x87 stack, bottom upward.
// A local that is not live into the block (when asked and live sets exist)
// gets a placeholder push instead of its load.
void _load_fp_regs(codegen_context* cg, register_info* ri, int live_set, int block)
{
    register_info* c = CUR(cg);
    method_compile_context* m = cg->m;
    fp_bottom(cg) = ri->fp_bottom;
    fp_top(cg) = ri->fp_bottom;
    for (s4 v = ri->fp_bottom; v < ri->fp_top; v++) {
        int s = fp_slot(v);
        const register_entry& e = ri->fent[s];
        reg_operand op;
        operand_from_entry(&op, &e);
        if (e.kind == RK_LOCAL) {
            if (live_set && !mcc_no_live_sets(m) && block >= 0 &&
                !local_set_has(bb_live_in(cg->bbtable[block]), mcc_nlocals(m), e.index)) {
                gen_push_freg(cg);
            } else {
                sw_set(c->fmask, fp_slot(fp_top(cg)), SW(RS_BUSY));
                fp_top(cg)++;
                _load_fp_oprnd(cg, s, &op);
            }
        } else if (e.kind == RK_STACK || rk_is_const(e.kind)) {
            sw_set(c->fmask, fp_slot(fp_top(cg)), SW(RS_BUSY));
            fp_top(cg)++;
            _load_fp_oprnd(cg, s, &op);
        } else {
            // A hole of the state still takes its hardware register: without
            // the placeholder the entries above would land one register low.
            gen_push_freg(cg);
            c->fent[s] = e;
            sw_put(c->fmask, s, sw_get(ri->fmask, s));
            continue;
        }
        _invalidate_fregs(cg, s, &op);
        c->fent[s] = e;
        sw_put(c->fmask, s, sw_get(ri->fmask, s));
    }
}

// Reload the x87 cached locals of the block entry onto an empty stack.
void restore_spilled_fp_cache_regs(codegen_context* cg) { restore_spilled_fp_regs(cg, 0, 0); }

// ---------------------------------------------------------------------------
// Scratch registers
// ---------------------------------------------------------------------------

// A register of the mask for a short scratch use: a free one, else a clean
// cached local (reloaded afterwards), else a dirty cached local (stored
// first), else any register of the mask, pushed.
int alloc_work_ireg(codegen_context* cg, u4 mask)
{
    register_info* c = CUR(cg);
    mask &= RM_ALL_INT;
    int r = _search_free_ireg(cg, mask, nullptr, 1);
    if (r >= 0)
        return r;
    for (r = 0; r < RM_INT_REGS; r++)
        if ((mask >> r & 1) && c->ient[r].kind == RK_LOCAL && !sw_has(c->imask, r, RS_DIRTY))
            return r;
    for (r = 0; r < RM_INT_REGS; r++)
        if ((mask >> r & 1) && c->ient[r].kind == RK_LOCAL) {
            _spillout_ireg(cg, r, 0);
            return r;
        }
    for (r = 0; r < RM_INT_REGS; r++)
        if (mask >> r & 1) {
            gen_push_ireg(cg, r);
            return r;
        }
    return -1;
}

void free_work_ireg(codegen_context* cg, int r)
{
    register_info* c = CUR(cg);
    if (r < 0 || !sw_has(c->imask, r, RS_BUSY))
        return;
    if (c->ient[r].kind == RK_LOCAL) {
        if (ireg_has_value(cg, r)) {
            reg_operand op;
            operand_from_entry(&op, &c->ient[r]);
            _load_int_oprnd(cg, r, &op);
        }
        sw_clear(c->imask, r, SW(RS_DIRTY));
    } else {
        gen_pop_ireg(cg, r);
    }
}
