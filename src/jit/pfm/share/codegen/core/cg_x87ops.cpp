// x87 stack model operand handling: the small services the floating-point
// generators call to ask the register manager's x87 model for operands
// (allocate, read, write, query, pop, release on last use).  Positions count
// upwards from the bottom of the stack; the emit layer turns a position r
// into st(top - 1 - r).
#include "codegen/cg_core.h"
#include "codegen/regman/reg_records.h"

int _is_pop_allowed_local(codegen_context* cg, reg_operand* op, int flag)
{
    if (op->type != 'F' && op->type != 'D')
        return 0;
    if (is_initially_cached_fp_oprnd(cg, op) || op->source == nullptr)
        return 0;
    return flag || (op->source->flags & 0x01);
}

int is_pop_allowed_local(codegen_context* cg, reg_operand* op) { return _is_pop_allowed_local(cg, op, 0); }

void change_fplocalreg_as_work(codegen_context* cg, int position)
{
    if (cg->regs.rm == nullptr)
        return;
    register_entry* e = &cg->regs.rm->cur.fent[position & 7];
    e->kind = (u1)OPND_FREG;
    e->index = position;
}

// ---------------------------------------------------------------------------
// Making room on a full hardware stack.  The register manager's model keeps
// the entries in push order from its bottom counter up; its bottom-spill
// writes the oldest entries to their homes (dirty locals first stored) and
// raises the bottom.  The entry chosen is never a locked one (locked entries
// belong to the quadruple being generated) and never one of the top entries
// reserved for the current results: the oldest unlocked entry, the one whose
// next use lies farthest back in the push order.
// ---------------------------------------------------------------------------
static int model_ready(codegen_context* cg) { return cg->regs.rm != nullptr; }

static int fp_locked(codegen_context* cg, s4 position)
{
    return sw_has(CUR(cg)->fmask, fp_slot(position), RS_LOCKED);
}

int fp86_make_room(codegen_context* cg, reg_operand* op, int mode)
{
    if (!model_ready(cg))
        return -1;
    if ((op != nullptr && is_cached_fp_oprnd(cg, op)) || fp_top(cg) - fp_bottom(cg) != 8)
        return -1;
    s4 candidate = -1;
    for (s4 p = fp_bottom(cg); p < fp_top(cg); p++) {
        if (!fp_locked(cg, p) && CUR(cg)->fent[fp_slot(p)].kind != RK_TEMP) {
            candidate = p;
            break;
        }
    }
    if (mode == 1 || candidate < 0)
        return candidate;
    // Bring the candidate to the bottom, then let the manager spill it.
    if (candidate != fp_bottom(cg)) {
        gen_xchg_fr_fr(cg, (int)candidate, (int)fp_bottom(cg));
        _swap_assoc_fregs(cg, fp_slot(candidate), fp_slot(fp_bottom(cg)), 0);
    }
    s4 spilled = fp_bottom(cg);
    spillout_hw_fp_stack_bottom(cg, 1);
    return spilled;
}

int alloc_fp86_reg(codegen_context* cg, u4 mask)
{
    fp86_make_room(cg, nullptr, 0);
    return _alloc_fp_reg(cg, mask, 0);
}

int get_rd_fp86_oprnd(codegen_context* cg, reg_operand* op)
{
    fp86_make_room(cg, op, 0);
    return _get_rd_fp_oprnd(cg, op, 0);
}

int get_wt_fp86_oprnd(codegen_context* cg, reg_operand* op)
{
    fp86_make_room(cg, op->kind == OPND_ARG ? op : nullptr, 0);
    return _get_wt_fp_oprnd(cg, op);
}

// The entry that is to cache a value (read form: one above the top; write
// form: the top), or a free entry the manager finds.
int fp86_find_entry(codegen_context* cg, reg_operand* op, int for_write)
{
    if (!model_ready(cg))
        return -1;
    bbattr* bb = cg->bbtable[cg->cur_bb];
    if ((bb->flags & BB_IN_TRY) && op->kind == OPND_LOCAL && is_EH_Use(cg, (s4)op->value))
        return -1;
    s4 free_entries = 8 - (fp_top(cg) - fp_bottom(cg));
    int strict;
    if ((bb->flags & BB_KIND_MASK) == BB_KIND_LOOP) {
        const u1* loop = cg->loop_table != nullptr ? static_cast<const u1*>(cg->loop_table[bb->loop_index]) : nullptr;
        strict = loop == nullptr || !(loop[6] & 0x02);
    } else {
        const u1* tiles = cg->m->tile_table;
        strict = bb->tile_number == 0 || tiles == nullptr || !(tiles[24 * (bb->tile_number - 1) + 2] & 0x02);
    }
    if (for_write) {
        if (free_entries >= (strict ? 1 : 0))
            return fp_top(cg) - 1;
    } else if (free_entries >= (strict ? 2 : 1)) {
        if (fp_top(cg) - fp_bottom(cg) != 8 || fp86_make_room(cg, op, 1) != -1)
            return fp_top(cg);
    }
    return _search_invalid_freg(cg, op, 1);
}

// Releases the entry at `position`.  discard 0: the operand stays associated
// with it.  Otherwise the entry is freed, and the entries above it that hold
// dead float locals not cached at block entry are popped.
void free_fp86_reg(codegen_context* cg, int position, int discard)
{
    if (!model_ready(cg))
        return;
    reg_operand op;
    operand_from_entry(&op, &CUR(cg)->fent[fp_slot(position)]);
    if (!discard) {
        _assoc_fp_oprnd(cg, &op, position, 0, 1);
        return;
    }
    _free_fp_reg(cg, position, 1);
    if (op.kind == OPND_CONST || op.kind == OPND_XCONST || op.kind == OPND_YCONST)
        return;
    while (fp_top(cg) > fp_bottom(cg)) {
        s4 top = fp_top(cg) - 1;
        reg_operand t;
        operand_from_entry(&t, &CUR(cg)->fent[fp_slot(top)]);
        if (t.kind != OPND_LOCAL || (t.type != 'F' && t.type != 'D') || is_initially_cached_fp_oprnd(cg, &t) ||
            sw_has(CUR(cg)->fmask, fp_slot(top), RS_VALID))
            break;
        gen_pop_freg(cg);
    }
}

// get_top_fp86_oprnd and _assoc_fp86_oprnd, which lean on the register
// manager's exchanges and the rounding through memory, are in
// gen_fp_oprnd.cpp.

int query_fp_dest_oprnd(codegen_context* cg, reg_operand* op)
{
    if (!is_cached_fp_oprnd(cg, op))
        return -1;
    int pos = _search_freg(cg, op, 0);
    return pos < 0 ? -1 : _freg_num(cg, pos);
}

int is_op_FPR0_nonST(codegen_context* cg, reg_operand* op)
{
    if (op->kind == OPND_ARG)
        return 0;
    int r = query_fp_oprnd(cg, op);
    return r >= 0 && r + 1 == cg->regs.fp_depth;
}

// The model's top counter is cg->regs.fp_depth, its bottom counter the
// register manager's.
void pop_stack_md(codegen_context* cg, int, int n)
{
    int depth = cg->regs.fp_depth - (cg->regs.rm != nullptr ? cg->regs.rm->cur.fp_bottom : 0);
    for (int i = 0; i < n && i < depth; i++)
        gen_pop_freg(cg);
}

void invalidate_if_lastuse(codegen_context* cg, reg_operand* op)
{
    if (op == nullptr || op->source == nullptr || !(op->source->flags & 0x01))
        return;
    if (op->type == 'I' || op->type == 'O' || op->type == '1' || op->type == '2') {
        int r = query_int_oprnd(cg, op);
        if (r >= 0)
            _invalidate_int_cache_regs(cg, 0x7Fu & ~(1u << r));
    } else {
        int r = query_fp_oprnd(cg, op);
        if (r >= 0)
            _invalidate_fp_cache_regs(cg, 0xFFu & ~(1u << (r & 7)));
    }
}
