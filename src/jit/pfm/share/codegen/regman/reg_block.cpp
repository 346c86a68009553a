// Register state at block boundaries: saving and restoring states, the state
// recorded for a block when a branch reaches it, the final target of a chain
// of jumps, and the changes emitted at a jump or before a conditional branch.
//
// A block's entry state (`register_info`, hung on the block) is decided by the
// first edge into it that reaches code generation; every later edge converts
// the current state into it (reg_join.cpp).  States live in work memory and
// are never freed one by one.
#include <string.h>

#include "codegen/regman/reg_manager.h"
#include "driver/driver.h"

// ---------------------------------------------------------------------------
// Allocation and copies
// ---------------------------------------------------------------------------
static void* rm_alloc(codegen_context* cg, u4 size)
{
    void* p = jit_wmem_alloc(RM(cg)->pool, size);
    if (p == nullptr)
        rm_fatal("no work memory for a register state");
    memset(p, 0, size);
    return p;
}

static void point_at_own_areas(register_info* ri, bool full)
{
    ri->ient = ri->ient_area;
    ri->fent = ri->fent_area;
    if (full) {
        ri->init_ient = ri->init_ient_area;
        ri->init_fent = ri->init_fent_area;
    }
}

register_info* allocate_register_info(codegen_context* cg)
{
    register_info* ri = static_cast<register_info*>(rm_alloc(cg, sizeof(register_info)));
    point_at_own_areas(ri, true);
    return ri;
}

register_info* allocate_kill_register_area(codegen_context* cg)
{
    register_info* ri = static_cast<register_info*>(rm_alloc(cg, REGISTER_INFO_SHORT_SIZE));
    point_at_own_areas(ri, false);
    return ri;
}

// Entries, masks and scalar items of a full-form state into another.
static void copy_state(register_info* dst, const register_info* src)
{
    memcpy(dst->ient, src->ient, sizeof(register_entry) * RM_INT_REGS);
    memcpy(dst->fent, src->fent, sizeof(register_entry) * RM_FP_SLOTS);
    memcpy(dst->imask, src->imask, sizeof dst->imask);
    memcpy(dst->fmask, src->fmask, sizeof dst->fmask);
    memcpy(dst->init_ient, src->init_ient, sizeof(register_entry) * RM_INT_REGS);
    memcpy(dst->init_fent, src->init_fent, sizeof(register_entry) * RM_FP_SLOTS);
    memcpy(dst->init_imask, src->init_imask, sizeof dst->init_imask);
    memcpy(dst->init_fmask, src->init_fmask, sizeof dst->init_fmask);
    dst->int_cache_count = src->int_cache_count;
    dst->fp_cache_count = src->fp_cache_count;
    dst->int_stack_count = src->int_stack_count;
    dst->fp_stack_count = src->fp_stack_count;
    dst->fp_top = src->fp_top;
    dst->fp_bottom = src->fp_bottom;
    dst->int_map = src->int_map;
    dst->fp_map = src->fp_map;
    dst->int_map_count = src->int_map_count;
    dst->fp_map_count = src->fp_map_count;
}

// Drop operand-stack values that are no longer busy.
void _drop_dead_stack_regs(codegen_context* cg)
{
    register_info* c = CUR(cg);
    for (int r = 0; r < RM_INT_REGS; r++)
        if (c->ient[r].kind == RK_STACK && !sw_has(c->imask, r, RS_BUSY))
            ireg_empty(cg, r);
    for (int s = 0; s < RM_FP_SLOTS; s++)
        if (c->fent[s].kind == RK_STACK && !sw_has(c->fmask, s, RS_BUSY))
            freg_empty(cg, s);
}

register_info* save_register_info(codegen_context* cg)
{
    _drop_dead_stack_regs(cg);
    register_info* ri = allocate_register_info(cg);
    copy_state(ri, CUR(cg));
    ri->int_cache_count = int_cache_count(cg);
    ri->fp_cache_count = fp_cache_count(cg);
    ri->fp_top = fp_top(cg);
    return ri;
}

void restore_register_info(codegen_context* cg, register_info* ri)
{
    register_info* c = CUR(cg);
    if (ri->init_ient == nullptr) {   // short form: entries and masks only
        memcpy(c->ient, ri->ient, sizeof(register_entry) * RM_INT_REGS);
        memcpy(c->fent, ri->fent, sizeof(register_entry) * RM_FP_SLOTS);
        memcpy(c->imask, ri->imask, sizeof c->imask);
        memcpy(c->fmask, ri->fmask, sizeof c->fmask);
        return;
    }
    clear_current_register_info(cg);
    copy_state(c, ri);
    int_cache_count(cg) = ri->int_cache_count;
    fp_cache_count(cg) = ri->fp_cache_count;
    fp_top(cg) = ri->fp_top;
}

register_info* duplicate_register_info(codegen_context* cg, register_info* ri)
{
    register_info* d = allocate_register_info(cg);
    copy_state(d, ri);
    return d;
}

void free_register_info(codegen_context*, register_info*) {}

void free_saved_register_info(codegen_context* cg)
{
    for (u4 b = 0; b < cg->m->bb_count; b++)
        if (bb_reginfo(cg->bbtable[b]) != nullptr)
            free_register_info(cg, bb_reginfo(cg->bbtable[b]));
}

void clear_register_info(codegen_context*, register_info* ri)
{
    for (int r = 0; r < RM_INT_REGS; r++)
        entry_clear(&ri->ient[r]);
    for (int s = 0; s < RM_FP_SLOTS; s++)
        entry_clear(&ri->fent[s]);
    memset(ri->imask, 0, sizeof ri->imask);
    memset(ri->fmask, 0, sizeof ri->fmask);
    if (ri->init_ient != nullptr) {
        for (int r = 0; r < RM_INT_REGS; r++)
            entry_clear(&ri->init_ient[r]);
        for (int s = 0; s < RM_FP_SLOTS; s++)
            entry_clear(&ri->init_fent[s]);
        memset(ri->init_imask, 0, sizeof ri->init_imask);
        memset(ri->init_fmask, 0, sizeof ri->init_fmask);
    }
}

// Items 1 to 6, the x87 counters and the maps; the stack counts stay.
void clear_current_register_info(codegen_context* cg)
{
    register_info* c = CUR(cg);
    clear_register_info(cg, c);
    int_cache_count(cg) = 0;
    fp_cache_count(cg) = 0;
    fp_top(cg) = 0;
    c->fp_bottom = 0;
    c->int_map = nullptr;
    c->fp_map = nullptr;
    c->int_map_count = -1;
    c->fp_map_count = -1;
}

// ---------------------------------------------------------------------------
// The state saved for a block
// ---------------------------------------------------------------------------
register_info* BB_save_register_info(codegen_context* cg, int block)
{
    register_info* snapshot = save_register_info(cg);
    register_info* c = CUR(cg);
    method_compile_context* m = cg->m;
    if (!all_locals_eh(cg) && !mcc_no_live_sets(m)) {
        const u4* live = bb_live_in(cg->bbtable[block]);
        for (int r = 0; r < RM_INT_REGS; r++)
            if (sw_has(c->imask, r, RS_BUSY) && c->ient[r].kind == RK_LOCAL &&
                !local_set_has(live, mcc_nlocals(m), c->ient[r].index))
                ireg_empty(cg, r);
        for (int s = 0; s < RM_FP_SLOTS; s++)
            if (sw_has(c->fmask, s, RS_BUSY) && c->fent[s].kind == RK_LOCAL &&
                !local_set_has(live, mcc_nlocals(m), c->fent[s].index))
                sw_clear(c->fmask, s, SW_2_TO_9);
    }
    int t = _final_jump_target_bb(cg, block);
    if (t >= 0)
        _invalidate_int_cache_regs(cg, used_int_cache_regs(cg, t));
    register_info* ri = save_register_info(cg);
    restore_register_info(cg, snapshot);
    return ri;
}

static bool synchronized_instance(codegen_context* cg)
{
    return cg->mb != nullptr && (cg->mb->access & 0x28) == 0x20;
}

// The block a jump to `block` finally reaches when that block only returns
// or only jumps on; -1 when there is none (or the jumps form a cycle).  The
// answer is cached in the block (0 unknown, -2 being computed).
int _final_jump_target_bb(codegen_context* cg, int block)
{
    if (block < 0 || (u4)block >= cg->m->bb_count)
        return -1;
    bbattr* b = cg->bbtable[block];
    s4& cache = bb_jump_target(b);
    if (cache == -2)
        return -1;
    if (cache != 0)
        return cache;
    if (b->flags & BB_HANDLER_COVERED)
        return cache = -1;
    if (b->quad_count == 0 || b->catbl == nullptr)
        return cache = -1;
    const quadruple* last = b->catbl[b->quad_count - 1];
    bool ret = (last->opcode >= OPC_IRETURN && last->opcode <= OPC_ARETURN) ||
               (last->opcode == OPC_OTHER && (last->subcode & QS_KIND_MASK) == OTHER_RETURN_VOID);
    if (ret)
        return cache = synchronized_instance(cg) ? -1 : block;
    if (b->quad_count == 1 && last->opcode == OPC_GOTO && b->succ_count > 0) {
        cache = -2;
        int t = _final_jump_target_bb(cg, (int)bb_succ_block(b->succ[0]));
        return cache = t;
    }
    return cache = -1;
}

int invalidate_target_bb(codegen_context* cg, int block) { return _final_jump_target_bb(cg, block); }

// ---------------------------------------------------------------------------
// Changes toward a block's state
// ---------------------------------------------------------------------------
static int last_block(codegen_context* cg) { return (int)cg->m->bb_count - 1; }

void BB_change_register_info(codegen_context* cg, int from, int to)
{
    if (to == -1) {
        _load_lazy_registers(cg, nullptr, nullptr);
        _flush_all_regs(cg, 0);
        return;
    }
    if (to >= last_block(cg))
        return;
    bbattr* tb = cg->bbtable[to];
    if (tb->flags & BB_HANDLER_COVERED)
        _flush_cache(cg, 0, 0, 1);
    register_info* ri = bb_reginfo(tb);
    if (ri == nullptr)
        return;
    bool dropped = false;
    if (!is_same_int_register_info(cg, ri)) {
        if (!all_locals_eh(cg)) {
            _drop_dead_cache_regs_at_bb(cg, to);
            dropped = true;
        }
        _change_int_registers_to_bb(cg, from, to, 0);
    }
    if (!is_same_fp_register_info(cg, ri)) {
        if (!dropped && !all_locals_eh(cg))
            _drop_dead_cache_regs_at_bb(cg, to);
        _change_fp_registers_to_bb(cg, from, to, 0);
    }
}

constexpr u4 CG_CHANGE_BEFORE_BRANCH = 0x20;   // codegen_context.flags: a change before a branch is emitted

// The change is emitted before the branch, so it runs on both paths: the
// target's state is widened by the cached locals the current state keeps (so
// that the fall-through path keeps them), in a copy that stands in for the
// target's state while the change is emitted.  A local the target may need
// but does not expect in a register is stored first when dirty, so that its
// value is not lost on the taken path.
void BB_change_register_info_before_branch(codegen_context* cg, int from, int to)
{
    _exit_invalidate_dead_cache_regs(cg, 0);
    if (to < 0 || to >= last_block(cg))
        return;
    bbattr* tb = cg->bbtable[to];
    register_info* ri = bb_reginfo(tb);
    if (ri == nullptr)
        return;
    register_info* c = CUR(cg);
    method_compile_context* m = cg->m;
    register_info* copy = nullptr;
    bool use_live = !mcc_no_live_sets(m);
    for (int r = 0; r < RM_INT_REGS; r++) {
        if (!sw_has(c->imask, r, RS_BUSY) || !sw_has(c->imask, r, RS_VALID) || c->ient[r].kind != RK_LOCAL)
            continue;
        if (!use_live || local_set_has(bb_live_in(tb), mcc_nlocals(m), c->ient[r].index))
            continue;
        // Only into a register the target leaves free: a register the target
        // expects something in keeps that expectation, else the target would
        // find the dead local where it expects its own value.
        register_info* tri = copy ? copy : ri;
        if (sw_has(tri->imask, r, RS_BUSY) && sw_has(tri->imask, r, RS_VALID))
            continue;
        if (copy == nullptr)
            copy = duplicate_register_info(cg, ri);
        copy->ient[r] = c->ient[r];
        sw_put(copy->imask, r, _ireg_status(cg, r));
    }
    for (int r = 0; r < RM_INT_REGS; r++) {
        if (!sw_has(c->imask, r, RS_BUSY) || !sw_has(c->imask, r, RS_VALID) || c->ient[r].kind != RK_LOCAL)
            continue;
        register_info* tri = copy ? copy : ri;
        reg_operand e;
        operand_from_entry(&e, &c->ient[r]);
        if (_reg_info_search_ireg(cg, tri, &e, 1) >= 0)
            continue;
        int at = r;
        if (sw_has(tri->imask, r, RS_BUSY) && sw_has(tri->imask, r, RS_VALID))
            at = _reg_info_search_free_ireg(cg, tri, 0, RM_ALL_INT);
        if (at < 0)
            continue;
        if (copy == nullptr) {
            copy = duplicate_register_info(cg, ri);
            tri = copy;
        }
        _spillout_ireg(cg, r, 0);
        copy->ient[at] = c->ient[r];
        sw_put(copy->imask, at, _ireg_status(cg, r));
    }
    if (copy != nullptr)
        bb_set_reginfo(tb, copy);
    cg->flags |= CG_CHANGE_BEFORE_BRANCH;
    register_info* target = bb_reginfo(tb);
    if (!is_same_int_register_info(cg, target))
        _change_int_registers_to_bb(cg, from, to, 0);
    if (!is_same_fp_register_info(cg, target))
        _change_fp_registers_to_bb(cg, from, to, 0);
    cg->flags &= ~CG_CHANGE_BEFORE_BRANCH;
    bb_set_reginfo(tb, ri);
}

// Record the target's state at a branch without converting to it.
void BB_set_register_info(codegen_context* cg, int from, int to, int flush)
{
    if (to == -1)
        return;
    if (from == 0 && bb_reginfo(cg->bbtable[0]) != nullptr)
        restore_register_info(cg, bb_reginfo(cg->bbtable[0]));
    _load_lazy_registers(cg, nullptr, nullptr);
    if (to >= last_block(cg))
        return;
    bbattr* tb = cg->bbtable[to];
    register_info* snapshot = nullptr;
    if (tb->flags & BB_HANDLER_COVERED) {
        snapshot = save_register_info(cg);
        _clean_cache_regs(cg);
    }
    if (bb_reginfo(tb) == nullptr)
        choose_target_register_info(cg, from, to, flush);
    if (snapshot != nullptr)
        restore_register_info(cg, snapshot);
}
