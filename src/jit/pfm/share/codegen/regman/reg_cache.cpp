// Caching locals in registers: when a cached local is written back (flushed),
// dropped without a store (invalidated), allowed to stay cached inside a
// loop, which cache registers a block uses, the tick record of the last
// definition of each local, and the rule that writes through locals that an
// exception handler reads.
//
// x87 cached locals sit at the bottom of the x87 stack; a slot cannot leave
// the middle of the hardware stack, so x87 invalidation only clears status
// bits and keeps the entry.
#include "codegen/regman/reg_manager.h"
#include "frontend/qgen.h"

// 1 when an exception handler of the method reads the local: every local when
// the compile context says so, none without an exception table, else the
// method's handler-used set.
int is_EH_Use(codegen_context* cg, s4 local)
{
    if (all_locals_eh(cg))
        return 1;
    if (cg->mb == nullptr || cg->mb->exception_table_length == 0)
        return 0;
    return local_set_has(mcc_eh_set(cg->m), mcc_nlocals(cg->m), local);
}

// ---------------------------------------------------------------------------
// Tick record: for each local a quadruple defines, the quadruple's distance
// value and its number in the block.
// ---------------------------------------------------------------------------
static void tick_descriptor(codegen_context* cg, const u1* d)
{
    u2 kind_type = (u2)(d[0] | d[1] << 8);
    if ((kind_type & 0xF) != QK_VARIABLE)
        return;
    u2 local = (u2)(d[2] | d[3] << 8);
    s2 value = (s2)(d[6] | d[7] << 8);
    int n = mcc_nlocals(cg->m);
    int words = ((kind_type >> 4) & 0xF) == QT_LONG || ((kind_type >> 4) & 0xF) == QT_DOUBLE ? 2 : 1;
    for (int k = 0; k < words; k++) {
        if (local + k >= n)
            break;
        cg->tick_val[local + k] = value;
        cg->tick_pos[local + k] = (s2)cg->cur_quad;
    }
}

void _TICK(codegen_context* cg, quadruple** slot, int flags)
{
    if (cg->tick_pos == nullptr || cg->tick_val == nullptr)
        return;
    quadruple* q;
    if (slot != nullptr) {
        q = *slot;
    } else {
        bbattr* b = cg->bbtable[cg->cur_bb];
        if (cg->cur_quad < 0 || (u4)cg->cur_quad >= b->quad_count)
            return;
        q = b->catbl[cg->cur_quad];
    }
    int layout = q->opcount & QC_SRC_MASK;
    if (flags & 1) {
        if (layout == 1) {
            tick_descriptor(cg, reinterpret_cast<const u1*>(&q->src1));
        } else if (layout == 2) {
            tick_descriptor(cg, reinterpret_cast<const u1*>(&q->src1));
            tick_descriptor(cg, reinterpret_cast<const u1*>(&q->src2));
        } else if (layout == 3) {
            for (quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
                tick_descriptor(cg, reinterpret_cast<const u1*>(e));
        }
    }
    if (flags & 2)
        tick_descriptor(cg, reinterpret_cast<const u1*>(&q->result));
}

// ---------------------------------------------------------------------------
// Caching inside loops
// ---------------------------------------------------------------------------
constexpr s4 RM_HOT_COUNT = 33280;   // above it a local is accessed in the innermost loop

// 1 when the operand is cached and may stay so in the block: outside loops
// always; in a loop only the candidates with counts above RM_HOT_COUNT among
// the first eight, and then as many further candidates as keep the loop at
// seven cache registers, in table order.
int canbe_cached_int_oprnd(codegen_context* cg, const reg_operand* op, int block)
{
    int c = is_cached_int_oprnd(cg, op);
    bbattr* b = cg->bbtable[block];
    if (!bb_in_loop(b))
        return c;
    int j = _loop_int_local_index(cg, block, (s4)op->value);
    if (j < 0)
        return 0;
    loop_table_record* l = rm_loop_record(cg->m, b->loop_index);
    const local_usage_entry* t = loop_int_cands(l);
    int n = l->lvattr_count;
    if (t[j].count > RM_HOT_COUNT)
        return j < 8 ? c : 0;
    int h = 0;
    while (h < n && t[h].count > RM_HOT_COUNT)
        h++;
    int k = 7 - h > 0 ? 7 - h : 0;
    int held = 0;
    for (int i = h; i < n; i++) {
        if (held >= k)
            return 0;
        if (i == j)
            return c;
        if (_simple_search_ireg(cg, RK_LOCAL, (s4)t[i].local, 1) >= 0)
            held++;
    }
    return c;
}

int int_access_within_innermost_loop(codegen_context* cg, int block, s4 local)
{
    int j = _loop_int_local_index(cg, block, local);
    if (j < 0)
        return 0;
    return loop_int_cands(rm_loop_record(cg->m, cg->bbtable[block]->loop_index))[j].count > RM_HOT_COUNT;
}
int fp_access_within_innermost_loop(codegen_context* cg, int block, s4 local)
{
    int j = _loop_fp_local_index(cg, block, local);
    if (j < 0)
        return 0;
    return loop_fp_cands(rm_loop_record(cg->m, cg->bbtable[block]->loop_index))[j].count > RM_HOT_COUNT;
}

// ---------------------------------------------------------------------------
// Flushing
// ---------------------------------------------------------------------------
void _flush_int_cache_regs(codegen_context* cg, int skip, int drop, int handler_only)
{
    if (skip)
        return;
    register_info* c = CUR(cg);
    for (int r = 0; r < RM_INT_REGS; r++) {
        const register_entry& e = c->ient[r];
        if (e.kind != RK_LOCAL || !sw_has(c->imask, r, RS_BUSY))
            continue;
        if (sw_has(c->imask, r, RS_DIRTY) && (!handler_only || is_EH_Use(cg, e.index))) {
            if (ireg_has_value(cg, r))
                gen_move_local_ireg(cg, e.index, r, e.type == RT_INT1 || e.type == RT_INT2, e.type == RT_INT1);
            sw_clear(c->imask, r, SW(RS_DIRTY));
        }
        if (drop)
            ireg_empty(cg, r);
    }
}

// Store each dirty x87 cached local; the slot stays in place, now clean.
// The value is copied to a new top and stored from there with a pop; with a
// full ring (no room for the copy) it is exchanged to st(0), stored without
// a pop and exchanged back.
void _flush_fp_cache_regs(codegen_context* cg, int skip)
{
    if (skip)
        return;
    register_info* c = CUR(cg);
    for (s4 v = fp_top(cg) - 1; v >= fp_bottom(cg); v--) {
        int s = fp_slot(v);
        const register_entry& e = c->fent[s];
        if (e.kind != RK_LOCAL || !sw_has(c->fmask, s, RS_DIRTY))
            continue;
        int dbl = e.type == RT_DOUBLE;
        if (!sw_has(c->fmask, s, RS_VALID) || !freg_has_value(cg, s)) {
            sw_clear(c->fmask, s, SW(RS_DIRTY));
            continue;
        }
        if (fp_top(cg) - fp_bottom(cg) >= RM_FP_SLOTS) {
            s4 top1 = fp_top(cg) - 1;
            gen_swap_freg_freg(cg, v, top1);
            gen_move_local_freg_p(cg, e.index, top1, dbl, 0);
            gen_swap_freg_freg(cg, v, top1);
        } else {
            s4 n = fp_top(cg);
            sw_set(c->fmask, fp_slot(n), SW(RS_BUSY));
            fp_top(cg)++;
            gen_move_freg_freg(cg, n, v);
            gen_move_local_freg(cg, e.index, n, dbl);
            freg_empty(cg, fp_slot(n));
            fp_top(cg)--;
        }
        sw_clear(c->fmask, s, SW(RS_DIRTY));
    }
}

void _flush_cache(codegen_context* cg, int skip, int drop, int handler_only)
{
    _flush_int_cache_regs(cg, skip, drop, handler_only);
    _flush_fp_cache_regs(cg, skip);
}

void flush_cache_innermost_loop(codegen_context* cg, int, int block)
{
    register_info* c = CUR(cg);
    for (int r = 0; r < RM_INT_REGS; r++) {
        if (c->ient[r].kind != RK_LOCAL || !sw_has(c->imask, r, RS_BUSY))
            continue;
        reg_operand op;
        operand_from_entry(&op, &c->ient[r]);
        if (canbe_cached_int_oprnd(cg, &op, block))
            continue;
        _spillout_ireg(cg, r, 0);
        ireg_empty(cg, r);
    }
}

// ---------------------------------------------------------------------------
// Invalidation
// ---------------------------------------------------------------------------
void _invalidate_int_cache_regs(codegen_context* cg, u4 keep)
{
    register_info* c = CUR(cg);
    for (int r = 0; r < RM_INT_REGS; r++)
        if (!(keep >> r & 1) && c->ient[r].kind == RK_LOCAL)
            ireg_empty(cg, r);
}
void _invalidate_fp_cache_regs(codegen_context* cg, u4 keep)
{
    register_info* c = CUR(cg);
    for (int s = 0; s < RM_FP_SLOTS; s++)
        if (!(keep >> s & 1) && c->fent[s].kind == RK_LOCAL)
            sw_clear(c->fmask, s, SW_2_TO_9);
}
void _invalidate_cache_regs(codegen_context* cg, u4 int_keep, u4 fp_keep)
{
    _invalidate_int_cache_regs(cg, int_keep);
    _invalidate_fp_cache_regs(cg, fp_keep);
}

// ---------------------------------------------------------------------------
// Cache registers a block uses
// ---------------------------------------------------------------------------

// -1 (all) in an interpreter-to-compiled transfer compile when the block has
// no local table, 0 otherwise without one, 0 for a lone void return outside
// a synchronized instance method.
static bool uses_no_cache(codegen_context* cg, int block, u4* answer)
{
    bbattr* b = cg->bbtable[block];
    if (bb_reg_lvattr(b) == nullptr) {
        *answer = (cg->m->state_flags & MCC_TRANSFER_COMPILE) ? 0xFFFFFFFFu : 0;
        return true;
    }
    if (b->quad_count == 1 && b->catbl != nullptr) {
        const quadruple* q = b->catbl[0];
        bool sync_instance = cg->mb != nullptr && (cg->mb->access & 0x28) == 0x20;
        if (q->opcode == OPC_OTHER && (q->subcode & QS_KIND_MASK) == OTHER_RETURN_VOID && !sync_instance) {
            *answer = 0;
            return true;
        }
    }
    return false;
}

u4 used_int_cache_regs(codegen_context* cg, int block)
{
    u4 answer;
    if (uses_no_cache(cg, block, &answer))
        return answer;
    register_info* c = CUR(cg);
    u4 mask = 0;
    for (int r = 0; r < RM_INT_REGS; r++)
        if (c->ient[r].kind == RK_LOCAL && sw_has(c->imask, r, RS_VALID) &&
            (_BB_LOCAL_TBL_attrib(cg, block, c->ient[r].index) & LU_USED_INT_CACHE))
            mask |= 1u << r;
    return mask;
}
u4 used_fp_cache_regs(codegen_context* cg, int block)
{
    u4 answer;
    if (uses_no_cache(cg, block, &answer))
        return answer;
    register_info* c = CUR(cg);
    u4 mask = 0;
    for (int s = 0; s < RM_FP_SLOTS; s++)
        if (c->fent[s].kind == RK_LOCAL && sw_has(c->fmask, s, RS_VALID) &&
            ((_BB_LOCAL_TBL_attrib(cg, block, c->fent[s].index) >> 8) & 0x1C))
            mask |= 1u << s;
    return mask;
}

// ---------------------------------------------------------------------------
// Dead cache registers
// ---------------------------------------------------------------------------
static void drop_dead_against(codegen_context* cg, const u4* live)
{
    register_info* c = CUR(cg);
    int n = mcc_nlocals(cg->m);
    for (int r = 0; r < RM_INT_REGS; r++)
        if (c->ient[r].kind == RK_LOCAL && sw_has(c->imask, r, RS_BUSY) && !local_set_has(live, n, c->ient[r].index))
            ireg_empty(cg, r);
    for (int s = 0; s < RM_FP_SLOTS; s++)
        if (c->fent[s].kind == RK_LOCAL && sw_has(c->fmask, s, RS_BUSY) && !local_set_has(live, n, c->fent[s].index))
            sw_clear(c->fmask, s, SW_2_TO_9);
}

void _drop_dead_cache_regs_at_bb(codegen_context* cg, int block)
{
    if (mcc_no_live_sets(cg->m) || block < 0)
        return;
    drop_dead_against(cg, bb_live_in(cg->bbtable[block]));
}

void _exit_invalidate_dead_cache_regs(codegen_context* cg, int)
{
    if (mcc_no_live_sets(cg->m) || all_locals_eh(cg))
        return;
    drop_dead_against(cg, bb_live_out(cg->bbtable[cg->cur_bb]));
}

void _reg_info_drop_dead_cache_regs(codegen_context* cg, register_info* ri, int block, int pop)
{
    if (mcc_no_live_sets(cg->m) || block < 0)
        return;
    const u4* live = bb_live_in(cg->bbtable[block]);
    int n = mcc_nlocals(cg->m);
    for (int r = 0; r < RM_INT_REGS; r++)
        if (ri->ient[r].kind == RK_LOCAL && !local_set_has(live, n, ri->ient[r].index)) {
            entry_clear(&ri->ient[r]);
            sw_clear(ri->imask, r, SW_1_TO_9);
        }
    bool popping = pop && block != cg->cur_bb;
    int popped = 0;
    for (s4 v = ri->fp_top - 1; v >= ri->fp_bottom; v--) {
        int s = fp_slot(v);
        bool dead = ri->fent[s].kind == RK_LOCAL && !local_set_has(live, n, ri->fent[s].index);
        if (popping && dead) {
            entry_clear(&ri->fent[s]);
            sw_clear(ri->fmask, s, SW_1_TO_9);
            popped++;
            continue;
        }
        popping = false;
        if (dead)
            sw_clear(ri->fmask, s, SW_2_TO_9);
    }
    ri->fp_top -= popped;
}

// ---------------------------------------------------------------------------
// Cleaning
// ---------------------------------------------------------------------------
void _clean_eh_int_cache_regs(codegen_context* cg)
{
    register_info* c = CUR(cg);
    for (int r = 0; r < RM_INT_REGS; r++)
        if (c->ient[r].kind == RK_LOCAL && is_EH_Use(cg, c->ient[r].index))
            sw_clear(c->imask, r, SW(RS_DIRTY));
}
void _clean_fp_cache_regs(codegen_context* cg)
{
    register_info* c = CUR(cg);
    for (s4 v = fp_bottom(cg); v < fp_top(cg); v++)
        if (c->fent[fp_slot(v)].kind == RK_LOCAL)
            sw_clear(c->fmask, fp_slot(v), SW(RS_DIRTY));
}
void _clean_cache_regs(codegen_context* cg)
{
    _clean_eh_int_cache_regs(cg);
    _clean_fp_cache_regs(cg);
}
void _reg_info_clean_int_cache_regs(codegen_context*, register_info* ri)
{
    for (int r = 0; r < RM_INT_REGS; r++)
        if (ri->ient[r].kind == RK_LOCAL)
            sw_clear(ri->imask, r, SW(RS_DIRTY));
}
void _reg_info_clean_fp_cache_regs(codegen_context*, register_info* ri)
{
    for (int s = 0; s < RM_FP_SLOTS; s++)
        if (ri->fent[s].kind == RK_LOCAL)
            sw_clear(ri->fmask, s, SW(RS_DIRTY));
}
void _reg_info_clean_cache_regs(codegen_context* cg, register_info* ri)
{
    _reg_info_clean_int_cache_regs(cg, ri);
    _reg_info_clean_fp_cache_regs(cg, ri);
}
