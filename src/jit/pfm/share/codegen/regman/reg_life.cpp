// The register manager's method lifecycle and calls.
//
// Per method and pass: `initialize_reg_alloc`, the prologue sets up block 0's
// state, `prepare_reg_alloc`, then for each block in code order
// `BB_reg_initialize`, the quadruples, `BB_reg_finalize` on each way out of
// the block, and `finalize_reg_alloc`.  Both passes run this identically.
//
// Around a call in the middle of a quadruple, live integer temporaries in
// the kill registers (eax, edx, ecx) are saved in a short-form state and on
// the machine stack: save, push, call, pop, restore.
#include <string.h>

#include "codegen/regman/reg_manager.h"
#include "driver/driver.h"

// ---------------------------------------------------------------------------
// Method lifecycle
// ---------------------------------------------------------------------------
int initialize_reg_alloc(codegen_context* cg, work_pool* pool)
{
    reg_manager* rm = static_cast<reg_manager*>(jit_wmem_alloc(pool, sizeof(reg_manager)));
    if (rm == nullptr)
        rm_fatal("no work memory for the register state");
    memset(rm, 0, sizeof *rm);
    rm->cur.ient = rm->cur.ient_area;
    rm->cur.fent = rm->cur.fent_area;
    rm->cur.init_ient = rm->cur.init_ient_area;
    rm->cur.init_fent = rm->cur.init_fent_area;
    rm->pool = pool;
    cg->regs.rm = rm;
    clear_current_register_info(cg);

    method_compile_context* m = cg->m;
    int n = mcc_nlocals(m);
    cg->tick_pos = nullptr;
    cg->tick_val = nullptr;
    if (!(m->state_flags & MCC_NO_TICKS) && n > 0) {
        cg->tick_val = static_cast<s2*>(jit_wmem_alloc(pool, (u4)n * 2));
        cg->tick_pos = static_cast<s2*>(jit_wmem_alloc(pool, (u4)n * 2));
        if (cg->tick_val == nullptr || cg->tick_pos == nullptr)
            rm_fatal("no work memory for the tick arrays");
        memset(cg->tick_val, 0, (size_t)n * 2);
        memset(cg->tick_pos, 0, (size_t)n * 2);
    }
    if (!(m->state_flags & MCC_NO_LOOP_LIVE_COPY)) {
        for (u4 i = 0; i < m->loop_count; i++) {
            loop_table_record* rec = rm_loop_record(m, (int)i);
            loop_reg_info* l = rm_loop_info(m, (int)i);
            if (l == nullptr || loop_reg_tile(rec))
                continue;
            s4 h = loop_header_block(rec);
            if (h >= 0 && (u4)h < m->bb_count) {
                const u4* live = bb_live_in(m->bb_table[h]);
                l->live_in[0] = live[0];
                l->live_in[1] = live[1];
            } else {
                l->live_in[0] = l->live_in[1] = 0;
            }
            l->flags2 &= (u1)~LR2_LIVE_COPIED;
        }
    }
    if (m->bb_count > 0)
        cg->bbtable[0]->tile_number = 0;
    for (u4 b = 0; b + 1 < m->bb_count; b++) {
        bb_set_reginfo(cg->bbtable[b], nullptr);
        bb_jump_target(cg->bbtable[b]) = 0;
    }
    return 0;
}

static bool in_list(const bbattr* b, s4 block)
{
    for (u4 i = 0; i < b->succ_count; i++)
        if (bb_succ_block(b->succ[i]) == (u4)block)
            return true;
    return false;
}

void prepare_reg_alloc(codegen_context* cg)
{
    method_compile_context* m = cg->m;
    if (m->bb_count < 2)
        return;
    bbattr* b0 = cg->bbtable[0];
    bbattr* b1 = cg->bbtable[1];
    if (bb_reginfo(b0) != nullptr && m->bb_count > 2) {
        if (bb_in_loop(b1) || b1->tile_number != 0) {
            bb_set_reginfo(b1, create_default_register_info(cg, 1));
            restore_register_info(cg, bb_reginfo(b0));
            _build_default_reg_assignment(cg, bb_reginfo(b1), 1, 1, 1);
            bb_set_reginfo(b0, save_register_info(cg));
        } else {
            restore_register_info(cg, bb_reginfo(b0));
            bb_set_reginfo(b1, save_register_info(cg));
        }
        if (b1->flags & BB_HANDLER_COVERED)
            _reg_info_clean_cache_regs(cg, bb_reginfo(b1));
    }
    if (m->dfs_array != nullptr)
        for (u4 i = 1; i + 1 < m->dfs_count; i++) {
            s4 b = (s4)m->dfs_array[i];
            if (b > 0 && (u4)b + 1 < m->bb_count && in_list(b0, b) && bb_reginfo(cg->bbtable[b]) == nullptr)
                bb_set_reginfo(cg->bbtable[b], create_default_register_info(cg, b));
        }
    for (u4 r = 0; r < rm_try_count(m); r++) {
        const u4* blocks = rm_try_blocks(m, r);
        if (blocks != nullptr)
            for (u4 i = 0; i < rm_try_block_count(m, r); i++) {
                s4 b = (s4)blocks[i];
                if (b > 0 && (u4)b + 1 < m->bb_count && in_list(b0, b) && bb_reginfo(cg->bbtable[b]) == nullptr)
                    bb_set_reginfo(cg->bbtable[b], create_default_register_info(cg, b));
            }
    }
    if (bb_reginfo(b0) == nullptr)
        bb_set_reginfo(b0, allocate_register_info(cg));
}

void finalize_reg_alloc(codegen_context*) {}

void BB_reg_initialize(codegen_context* cg, int block)
{
    cg->cur_quad = 0;
    bbattr* b = cg->bbtable[block];
    register_info* c = CUR(cg);
    if (bb_reginfo(b) != nullptr) {
        restore_register_info(cg, bb_reginfo(b));
        for (int r = 0; r < RM_INT_REGS; r++)
            if (sw_has(c->imask, r, RS_BUSY) && c->ient[r].kind == RK_LOCAL) {
                sw_clear(c->imask, r, SW(RS_NOVALUE));
                sw_clear(c->init_imask, r, SW(RS_NOVALUE));
            }
        for (int s = 0; s < RM_FP_SLOTS; s++)
            if (sw_has(c->fmask, s, RS_BUSY) && c->fent[s].kind == RK_LOCAL) {
                sw_clear(c->fmask, s, SW(RS_NOVALUE));
                sw_clear(c->init_fmask, s, SW(RS_NOVALUE));
            }
    }
    if (!(cg->m->state_flags & MCC_NO_TICKS) && cg->tick_val != nullptr) {
        const s2* dist = bb_distance(b);
        int n = mcc_nlocals(cg->m);
        for (int i = 0; i < n; i++) {
            cg->tick_val[i] = dist ? dist[i] : 0;
            cg->tick_pos[i] = 0;
        }
    }
    for (int r = 0; r < RM_INT_REGS; r++)
        if (!sw_has(c->imask, r, RS_BUSY))
            sw_clear(c->imask, r, SW(RS_ASSIGNED));
    for (int s = 0; s < RM_FP_SLOTS; s++)
        if (!sw_has(c->fmask, s, RS_BUSY))
            sw_clear(c->fmask, s, SW(RS_ASSIGNED));
}

// Every busy, valid cached local of a state that the region writes becomes
// dirty (integer entries unless asked otherwise).
static void mark_written_locals_dirty(codegen_context* cg, register_info* ri, bool ints)
{
    if (ints)
        for (int r = 0; r < RM_INT_REGS; r++) {
            if (ri->ient[r].kind != RK_LOCAL || !sw_has(ri->imask, r, RS_BUSY) || !sw_has(ri->imask, r, RS_VALID))
                continue;
            int i = _reg_info_int_local_index(cg, ri, ri->ient[r].index);
            if (i >= 0 && (ri->int_map[i].attr & LU_WRITTEN))
                sw_set(ri->imask, r, SW(RS_DIRTY));
        }
    for (int s = 0; s < RM_FP_SLOTS; s++) {
        if (ri->fent[s].kind != RK_LOCAL || !sw_has(ri->fmask, s, RS_BUSY) || !sw_has(ri->fmask, s, RS_VALID))
            continue;
        int i = _reg_info_fp_local_index(cg, ri, ri->fent[s].index);
        if (i >= 0 && (ri->fp_map[i].attr & LU_WRITTEN))
            sw_set(ri->fmask, s, SW(RS_DIRTY));
    }
}

// Choose the entry state of `to` on its first edge (from f): inherited from
// the current state when both blocks share their loop or tile (or neither
// has one), else a default state.
void choose_target_register_info(codegen_context* cg, int f, int to, int flush)
{
    method_compile_context* m = cg->m;
    bbattr* fb = cg->bbtable[f];
    bbattr* tb = cg->bbtable[to];
    if (!_within_fwd_entry(cg, to, f)) {
        bb_set_reginfo(tb, create_default_register_info(cg, to));
        return;
    }
    bool in_f = bb_in_loop(fb), in_t = bb_in_loop(tb);
    bool same_loop = in_f && in_t && fb->loop_index == tb->loop_index;
    bool same_tile = !in_f && fb->tile_number != 0 && !in_t && tb->tile_number == fb->tile_number;
    bool no_regions = !in_f && !in_t && fb->tile_number == 0 && tb->tile_number == 0;
    bool single = bb_edge_count(tb) == 1;
    bool inherit;
    if (!single) {
        loop_table_record* l = same_loop ? rm_loop_record(m, tb->loop_index) : nullptr;
        inherit = (same_loop && !(l && loop_no_fp_cache(l))) || same_tile || no_regions ||
                  (tb->flags2 & BB2_NO_TRANSFER_DIRT);
    } else {
        inherit = same_loop || same_tile || no_regions;
    }
    if (!inherit) {
        bb_set_reginfo(tb, create_default_register_info(cg, to));
        return;
    }
    if (single && flush) {
        if (!all_locals_eh(cg))
            _drop_dead_cache_regs_at_bb(cg, to);
        return;
    }
    register_info* ri = BB_save_register_info(cg, to);
    bb_set_reginfo(tb, ri);
    if (!all_locals_eh(cg) && (tb->flags2 & BB2_DROP_DEAD_ON_JOIN) && dominant_bb_minfo(m, to) != f)
        _reg_info_drop_dead_cache_regs(cg, ri, to, 1);
    if (!single && !(tb->flags & BB_HANDLER_COVERED))
        mark_written_locals_dirty(cg, ri, !(tb->flags2 & BB2_NO_TRANSFER_DIRT));
}

void BB_reg_finalize(codegen_context* cg, int from, int to, int flush)
{
    int f = from == -1 ? 0 : from;
    if (to == -1) {
        if (flush) {
            _load_lazy_registers(cg, nullptr, nullptr);
            _flush_all_regs(cg, 0);
        }
        return;
    }
    if (from == -1 && bb_reginfo(cg->bbtable[0]) != nullptr)
        restore_register_info(cg, bb_reginfo(cg->bbtable[0]));
    u4 loaded = 0;
    _load_lazy_registers(cg, &loaded, nullptr);
    if ((u4)to + 1 >= cg->m->bb_count)
        return;
    bbattr* tb = cg->bbtable[to];
    if (tb->flags & BB_HANDLER_COVERED)
        _flush_cache(cg, 0, 0, 1);
    if (bb_reginfo(tb) == nullptr)
        choose_target_register_info(cg, f, to, flush);
    register_info* ri = bb_reginfo(tb);
    if (ri == nullptr)
        return;
    bool dropped = false;
    if (!is_same_int_register_info(cg, ri)) {
        if (!all_locals_eh(cg)) {
            _drop_dead_cache_regs_at_bb(cg, to);
            dropped = true;
        }
        _change_int_registers_to_bb(cg, f, to, loaded);
    }
    if (!is_same_fp_register_info(cg, ri)) {
        if (!dropped && !all_locals_eh(cg))
            _drop_dead_cache_regs_at_bb(cg, to);
        _change_fp_registers_to_bb(cg, f, to, 0);
    }
}

// ---------------------------------------------------------------------------
// Kill registers around a call
// ---------------------------------------------------------------------------
register_info* save_kill_registers(codegen_context* cg, u4* saved)
{
    register_info* area = allocate_kill_register_area(cg);
    register_info* c = CUR(cg);
    u4 mask = 0;
    for (int r = RM_EAX; r <= RM_ECX; r++)
        if (c->ient[r].kind == RK_TEMP && sw_has(c->imask, r, RS_VALID)) {
            area->ient[r] = c->ient[r];
            _reg_info_set_ireg_status(cg, area, r, _ireg_status(cg, r));
            mask |= 1u << r;
        }
    if (saved)
        *saved = mask;
    return area;
}

void push_kill_registers(codegen_context* cg, register_info* area)
{
    for (int r = RM_EAX; r <= RM_ECX; r++)
        if (area->ient[r].kind == RK_TEMP)
            gen_push_ireg(cg, r);
}

void pop_kill_registers(codegen_context* cg, register_info* area)
{
    for (int r = RM_ECX; r >= RM_EAX; r--)
        if (area->ient[r].kind == RK_TEMP)
            gen_pop_ireg(cg, r);
}

void restore_kill_registers(codegen_context* cg, register_info* area)
{
    register_info* c = CUR(cg);
    for (int r = RM_EAX; r <= RM_ECX; r++)
        if (area->ient[r].kind == RK_TEMP) {
            c->ient[r] = area->ient[r];
            _set_ireg_status(cg, r, _reg_info_ireg_status(cg, area, r));
        }
}
