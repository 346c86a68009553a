// Branches between blocks, back-patching and block linkage.
//
// A block-ending branch is written before its target's address is known: the
// jump gets a back-patch record (pass 1: the code size after it; pass 2: the
// address after it) and `JITbackPatch` writes the displacement once pass 2
// has placed every block.  Between the passes `JITbackPatch0` decides, from
// the pass-1 offsets, which jumps pass 2 writes in the 2-byte form.
//
// The register state at the end of a block may differ from what the target
// expects.  For a conditional branch the reconciliation is deferred: the state
// is saved in the block's link record and the branch jumps to a linkage stub
// (target index b + nBB) that `gen_bb_linkage` emits after the blocks, or
// that is emitted in line at the target's entry when the target has one
// predecessor (`gen_single_bb_linkage`); a stub without code is dropped and
// its jump redirected to the target.
#include "codegen/cg_core.h"

backpatch_rec* cg_backpatch_limit;

// The next back-patch record.  The table holds 3 per block and one per switch
// target; a generator that records more jumps than that ends the compile
// softly instead of writing past the table.
static backpatch_rec* next_record(codegen_context* cg)
{
    auto* rec = static_cast<backpatch_rec*>(cg->backpatch_cursor);
    if (cg_backpatch_limit != nullptr && rec >= cg_backpatch_limit)
        cg_service_missing("room in the back-patch table");
    return rec;
}

static bb_link* links_of(codegen_context* cg) { return static_cast<bb_link*>(cg->link_table); }
static u4 nbb(codegen_context* cg) { return cg->m->bb_count; }
static bbattr* block(codegen_context* cg, u4 b) { return b < nbb(cg) ? cg->bbtable[b] : nullptr; }

// Every condition the emitters know has its negation; "always" and unknown
// codes come back unchanged, and a branch on them is never reversed.
u4 reverse_jump_cond(u4 cond)
{
    switch (cond) {
    case COND_EQ: return COND_NE;
    case COND_NE: return COND_EQ;
    case COND_LT: return COND_GE;
    case COND_GE: return COND_LT;
    case COND_LE: return COND_GT;
    case COND_GT: return COND_LE;
    case COND_A: return COND_BE;
    case COND_BE: return COND_A;
    case COND_AE: return COND_B;
    case COND_B: return COND_AE;
    case COND_C: return COND_NC;
    case COND_NC: return COND_C;
    case COND_S: return COND_NS;
    case COND_NS: return COND_S;
    case COND_P: return COND_NP;
    case COND_NP: return COND_P;
    default: return cond;
    }
}

u4 reverse_jump(codegen_context* cg, u4 cond, u4 b, u4 new_first)
{
    bbattr* bb = cg->bbtable[b];
    quadruple* q = bb->catbl[cg->branch_quad];
    if (q->subcode & QS_UNRESOLVED)
        return cond;   // already reversed once
    if (reverse_jump_cond(cond) == cond)
        return cond;   // no negation: swapping the successors alone would invert the branch
    u4 old_first = bb->succ_count != 0 ? bb->succ[0] : q->target;
    if (bb->succ_count >= 2) {
        bb->succ[1] = old_first;
        bb->succ[0] = new_first;
    }
    if (bb->flags & BB_BACKWARD_BRANCH) {
        bb->flags &= ~BB_BACKWARD_BRANCH;
        bb->flags2 |= BB2_FORWARD_BRANCH;
    } else if (bb->flags2 & BB2_FORWARD_BRANCH) {
        bb->flags2 &= ~BB2_FORWARD_BRANCH;
        bb->flags |= BB_BACKWARD_BRANCH;
    }
    u4 reversed = reverse_jump_cond(cond);
    if (q->opcode == OPC_IOP2_BRANCH)
        q->count = (u2)reversed;
    else
        q->op = (u2)reversed;
    q->target = old_first;
    q->subcode |= QS_UNRESOLVED;
    return reversed;
}

// Drops the cached registers the target does not need.
static void drop_unneeded_caches(codegen_context* cg, u4 target)
{
    s4 r = invalidate_target_bb(cg, target);
    if (r >= 0) {
        _invalidate_int_cache_regs(cg, used_int_cache_regs(cg, r));
        _invalidate_fp_cache_regs(cg, used_fp_cache_regs(cg, r));
    }
}

static u1* exact_code(codegen_context* cg)
{
    cg_close_window(cg);
    return cg->code;
}

// A recorded jump (pass 1: its longest form; pass 2: the form JITbackPatch0
// chose) to `target` (a block, or b + nBB for block b's linkage stub).
static void recorded_jump(codegen_context* cg, u4 cond, u4 target)
{
    backpatch_rec* rec = next_record(cg);
    rec->target = target;
    if (cg->pass == CG_PASS_MEASURE) {
        gen_jmp(cg, (int)cond, UNRESOLVED_TARGET);
        rec->position = cg->code_size;
        rec->site = nullptr;
    } else {
        if (rec->is_short)
            gen_jmp_short(cg, (int)cond, UNRESOLVED_TARGET);
        else
            gen_jmp(cg, (int)cond, UNRESOLVED_TARGET);
        u1* site = exact_code(cg);
        rec->site = site;
        rec->position = (u4)(uintptr_t)site;
        cg_open_window(cg);
    }
    cg->backpatch_cursor = rec + 1;
}

static int in_loop_reconcile(codegen_context* cg, bbattr* src, bbattr* tgt)
{
    if (src == nullptr || !(tgt->flags & BB_LOOP_HEADER))
        return 0;
    if ((src->flags & BB_KIND_MASK) != BB_KIND_LOOP || (tgt->flags & BB_KIND_MASK) != BB_KIND_LOOP)
        return 0;
    if (src->loop_index != tgt->loop_index || src->loop_depth > tgt->loop_depth)
        return 0;
    s4 j = cg->cur_quad + cg->quad_start - 1;
    if (j >= 0 && (u4)j < src->quad_count) {
        u1 opc = src->catbl[j]->opcode;
        if (opc == OPC_FCMP_BRANCH || opc == OPC_DCMP_BRANCH || opc == OPC_LCMP_BRANCH)
            return 0;
    }
    return 1;
}

// Reconciliation code in line: skipped by a reversed short branch, or by a
// reversed near branch when the code and the jump after it could pass 127
// bytes (fault mended: the short skip's displacement wrapped and the branch
// landed inside the reconciliation code).
constexpr u2 RECONCILE_SHORT_SKIP = 1, RECONCILE_NEAR_SKIP = 2;
constexpr u4 JMP_NEAR_LENGTH = 5;

// A conditional branch inside one innermost loop: the reconciliation code is
// written in line, skipped by a reversed branch.
static void gen_loop_branch(codegen_context* cg, u4 cond, u4 source, u4 target)
{
    backpatch_rec* rec = next_record(cg);
    rec->target = target;
    if (cg->pass == CG_PASS_MEASURE) {
        // Counted as a near conditional jump, whichever form pass 2 writes.
        gen_jmp(cg, (int)cond, UNRESOLVED_TARGET);
        u4 before = cg->code_size;
        register_info* st = save_register_info(cg);
        BB_change_register_info(cg, source, target);
        restore_register_info(cg, st);
        free_register_info(cg, st);
        u4 length = cg->code_size - before;
        rec->reconcile = length == 0                       ? 0
                         : length + JMP_NEAR_LENGTH <= 127 ? RECONCILE_SHORT_SKIP
                                                           : RECONCILE_NEAR_SKIP;
        if (rec->reconcile == RECONCILE_SHORT_SKIP)
            _gen_jmpcc(cg, COND_ALWAYS, UNRESOLVED_TARGET, 1);
        else if (rec->reconcile == RECONCILE_NEAR_SKIP)
            gen_jmp(cg, COND_ALWAYS, UNRESOLVED_TARGET);
        rec->position = cg->code_size;
    } else {
        u1* skip = nullptr;
        if (rec->reconcile) {
            if (rec->reconcile == RECONCILE_NEAR_SKIP)
                gen_jmp(cg, (int)reverse_jump_cond(cond), UNRESOLVED_TARGET);
            else
                gen_jmp_short(cg, (int)reverse_jump_cond(cond), UNRESOLVED_TARGET);
            skip = exact_code(cg);
            cg_open_window(cg);
            register_info* st = save_register_info(cg);
            BB_change_register_info(cg, source, target);
            restore_register_info(cg, st);
            free_register_info(cg, st);
            cond = COND_ALWAYS;
        }
        if (rec->is_short)
            gen_jmp_short(cg, (int)cond, UNRESOLVED_TARGET);
        else
            gen_jmp(cg, (int)cond, UNRESOLVED_TARGET);
        u1* site = exact_code(cg);
        if (skip != nullptr && rec->reconcile == RECONCILE_NEAR_SKIP)
            cg_write32(skip - 4, (u4)(site - skip));
        else if (skip != nullptr)
            skip[-1] = (u1)(site - skip);
        rec->site = site;
        rec->position = (u4)(uintptr_t)site;
        cg_open_window(cg);
    }
    cg->backpatch_cursor = rec + 1;
}

static void jmp_core(codegen_context* cg, u4 cond, u4 target, u4 source, s4 next, int fall, int from_switch, int cha)
{
    bb_link* links = links_of(cg);
    bbattr* src = block(cg, source);
    register_info* saved = nullptr;
    if (cond != COND_ALWAYS) {
        if (!from_switch && !cha && (s4)target == next && src != nullptr && reverse_jump_cond(cond) != cond) {
            cond = reverse_jump(cg, cond, source, target);
            target = src->succ_count >= 2 ? src->succ[1] : target;
        }
        bbattr* tgt = cg->bbtable[target];
        if (!from_switch) {
            if (!(cg->m->state_flags & MCC_LIVENESS_UNAVAILABLE))
                _exit_invalidate_dead_cache_regs(cg, 0);
            s4 r = invalidate_target_bb(cg, target);
            if (r >= 0) {
                saved = save_register_info(cg);
                _invalidate_int_cache_regs(cg, used_int_cache_regs(cg, r));
                _invalidate_fp_cache_regs(cg, used_fp_cache_regs(cg, r));
            } else {
                _load_lazy_registers(cg, nullptr, nullptr);
            }
            BB_set_register_info(cg, source, target, fall);
        }
        if (!from_switch && !cha && in_loop_reconcile(cg, src, tgt)) {
            gen_loop_branch(cg, cond, source, target);
        } else {
            if (!from_switch) {
                bb_link* l = &links[source];
                l->saved = save_register_info(cg);
                l->target = target;
                links[target].waiting = source;
                l->bp = cha ? nullptr : static_cast<backpatch_rec*>(cg->backpatch_cursor);
                l->pending = 1;
                l->sp_offset = cg->mci->sp_offset;
            }
            if (!cha)
                recorded_jump(cg, cond, from_switch ? target : source + nbb(cg));
        }
    } else {
        bbattr* tgt = cg->bbtable[target];
        if (!from_switch) {
            drop_unneeded_caches(cg, target);
            if (src != nullptr && (src->flags & 0x8003) != 0x8001 && (tgt->flags & 0x8003) == 0x8001)
                flush_cache_innermost_loop(cg, source, target);
            BB_reg_finalize(cg, source, target, fall);
        }
        tgt->entry_state = (tgt->entry_state & ~0xFFu) | 1;
        tgt->entry_stack_offset = (u2)cg->mci->sp_offset;
        if (!((s4)target == next && fall) && !cha) {
            if (tgt->flags & BB_GENERATED)
                gen_jmp(cg, COND_ALWAYS, cg->bb_address[target]);
            else
                recorded_jump(cg, COND_ALWAYS, target);
        }
    }
    if (saved != nullptr) {
        restore_register_info(cg, saved);
        free_register_info(cg, saved);
    }
}

void gen_jmp_and_patch(codegen_context* cg, u4 cond, u4 target, u4 source, s4 next, int fall)
{
    jmp_core(cg, cond, target, source, next, fall, 0, 0);
}

void gen_jmp_and_patch_cha(codegen_context* cg, u4 target, u4 source, s4 next, int flag)
{
    jmp_core(cg, flag ? COND_ALWAYS : COND_C, target, source, next, 1, 0, 1);
}

void gen_switch_and_patch(codegen_context* cg, u4 cond, u4 target, u4 source, s4 next, int flag)
{
    bb_link* l = &links_of(cg)[source];
    if (l->saved == nullptr)
        l->saved = save_register_info(cg);
    l->target = target;
    links_of(cg)[target].waiting = source;
    l->pending = 1;
    l->sp_offset = cg->mci->sp_offset;
    jmp_core(cg, cond, target, source, next, flag, 1, 0);
}

static void restore_sp(codegen_context* cg, s2 s)
{
    s2 previous = cg->mci->sp_offset;
    cg->mci->sp_offset = s;
    if (cg->pass == CG_PASS_WRITE && s != previous) {
        cg_close_window(cg);
        update_sp_offset_table(cg, s);
        cg_open_window(cg);
    }
}

static void redirect(bb_link* l, u4 target)
{
    if (l->bp != nullptr)
        l->bp->target = target;
    if (l->bp2 != nullptr)
        l->bp2->target = target;
}

void gen_bb_linkage(codegen_context* cg, int all)
{
    bb_link* links = links_of(cg);
    u4 n = nbb(cg);
    for (u4 b = 1; b + 1 < n; b++) {
        bb_link* l = &links[b];
        if (l->saved == nullptr)
            continue;
        bbattr* bb = cg->bbtable[b];
        u4 t = l->target;
        bbattr* tgt = cg->bbtable[t];
        if (cg->pass == CG_PASS_MEASURE)
            bb->pass1_link_offset = cg->code_size;
        if (tgt->flags & BB_SWITCH_ENTRY) {
            if (all)
                l->saved = nullptr;
            continue;
        }
        if (!all && tgt->pred_count == 1)
            continue;   // emitted at the target's entry
        restore_register_info(cg, static_cast<register_info*>(l->saved));
        free_register_info(cg, static_cast<register_info*>(l->saved));
        l->saved = nullptr;
        cg->bb_address[n + b] = (u4)(uintptr_t)exact_code(cg);
        restore_sp(cg, l->sp_offset);
        drop_unneeded_caches(cg, t);
        cg_open_window(cg);
        u4 size_before = cg->code_size;
        u1* code_before = cg->code;
        BB_change_register_info(cg, b, t);
        cg_close_window(cg);
        int empty = cg->pass == CG_PASS_MEASURE ? cg->code_size == size_before : cg->code == code_before;
        if (empty) {
            if (l->bp != nullptr || l->bp2 != nullptr)
                redirect(l, t);
            else
                cg->bb_address[n + b] = 0;
        } else {
            gen_jmp_and_patch(cg, COND_ALWAYS, t, b + n, -1, 1);
        }
    }
}

void gen_single_bb_linkage(codegen_context* cg, u4 source, u4 target, int patch)
{
    bb_link* l = &links_of(cg)[source];
    if (l->pending)
        restore_sp(cg, l->sp_offset);
    if (l->saved != nullptr) {
        if (cg->pass == CG_PASS_MEASURE && source < nbb(cg))
            cg->bbtable[source]->pass1_link_offset = cg->code_size;
        cg->bb_address[nbb(cg) + source] = (u4)(uintptr_t)cg->code;
        restore_register_info(cg, static_cast<register_info*>(l->saved));
        free_register_info(cg, static_cast<register_info*>(l->saved));
        l->saved = nullptr;
        drop_unneeded_caches(cg, target);
        BB_change_register_info(cg, source, target);
        if (patch)
            redirect(l, target);
    }
    if (l->pending) {
        bbattr* tgt = cg->bbtable[target];
        tgt->entry_state = (tgt->entry_state & ~0xFFu) | 1;
        tgt->entry_stack_offset = (u2)cg->mci->sp_offset;
        l->pending = 0;   // emitted once: a later entry must not emit it again
    }
}

void gen_switch_entry_bb_linkage(codegen_context* cg, u4 source, u4 target)
{
    bb_link* l = &links_of(cg)[source];
    if (l->pending)
        restore_sp(cg, l->sp_offset);
    if (l->saved != nullptr) {
        if (cg->pass == CG_PASS_MEASURE && source < nbb(cg))
            cg->bbtable[source]->pass1_link_offset = cg->code_size;
        cg->bb_address[nbb(cg) + source] = (u4)(uintptr_t)cg->code;
        restore_register_info(cg, static_cast<register_info*>(l->saved));
        drop_unneeded_caches(cg, target);
        bbattr* src = block(cg, source);
        bbattr* tgt = cg->bbtable[target];
        if (src != nullptr && (src->flags & 0x8003) != 0x8001 && (tgt->flags & 0x8003) == 0x8001)
            flush_cache_innermost_loop(cg, source, target);
        BB_reg_finalize(cg, source, target, 0);
    }
    if (l->pending) {
        bbattr* tgt = cg->bbtable[target];
        tgt->entry_state = (tgt->entry_state & ~0xFFu) | 1;
        tgt->entry_stack_offset = (u2)cg->mci->sp_offset;
    }
}

// Short or near, from the pass-1 offsets.  Pass 2 only shrinks code, so a
// backward distance never grows in magnitude; a forward one measured from the
// end of a 5- or 6-byte jump grows by up to 4 bytes when the jump itself
// becomes 2 bytes long, so a forward jump is short only with 4 bytes to spare.
void JITbackPatch0(codegen_context* cg, backpatch_rec* table)
{
    auto* end = static_cast<backpatch_rec*>(cg->backpatch_cursor);
    u4 n = nbb(cg);
    for (backpatch_rec* r = end; r-- > table;) {
        u4 target_offset = r->target >= n ? cg->bbtable[r->target - n]->pass1_link_offset
                                          : cg->bbtable[r->target]->pass1_offset;
        s4 d = (s4)(target_offset - r->position);
        if (d > 0)
            d += 4;
        r->is_short = (u4)(d + 128) <= 255 ? 1 : 0;
    }
}

void JITbackPatch(backpatch_rec* start, backpatch_rec* end, const u4* addresses)
{
    for (backpatch_rec* r = end; r-- > start;) {
        if (r->site == nullptr)
            continue;
        u4 value = addresses[r->target];
        if ((u4)(uintptr_t)r->site == r->position)
            value -= r->position;
        if (r->is_short)
            r->site[-1] = (u1)value;
        else
            cg_write32(r->site - 4, value);
    }
}

// ---------------------------------------------------------------------------
// Which integer operands a generator takes from registers.
// ---------------------------------------------------------------------------
static int is_imm(const reg_operand* op)
{
    return op->kind == OPND_CONST || op->kind == OPND_XCONST || op->kind == OPND_YCONST;
}

static int in_block_var_set(codegen_context* cg, const reg_operand* op)
{
    if (cg->m->state_flags & MCC_LIVENESS_UNAVAILABLE)
        return 0;
    if (op->kind != OPND_LOCAL)
        return 0;
    bbattr* bb = cg->bbtable[cg->cur_bb];
    u4 v = op->value;
    u4 nvars = cg->m->local_count;
    if (nvars > 61) {
        auto* sets = reinterpret_cast<const u4*>((uintptr_t)bb->later_108[3]);
        if (sets == nullptr)
            return 0;
        return (sets[(v / 64) * 2 + ((v % 64) >= 32)] >> (v % 32)) & 1;
    }
    u4 word = v < 32 ? bb->later_108[3] : bb->later_108[4];
    return v < 64 ? (word >> (v % 32)) & 1 : 0;
}

static int memory_used(codegen_context* cg, const reg_operand* op, quadruple** slot)
{
    return op->source != nullptr && memop_is_used(cg, op->source, 0);
}

int use_ireg_oprnd1(codegen_context* cg, reg_operand* op, quadruple** slot)
{
    if (memory_used(cg, op, slot))
        return 0;
    if (op->kind == OPND_ARG || is_imm(op) || is_cached_int_oprnd(cg, op))
        return 1;
    if (in_block_var_set(cg, op))
        return 1;
    if (orva_processor_type == 5)
        return 0;
    return _num_of_free_int_regs(cg, -1) > 0;
}

int use_ireg_oprnd2(codegen_context* cg, reg_operand* op1, reg_operand* op2, quadruple** slot)
{
    int imm = is_imm(op2) ? 8 : 0;
    if (memory_used(cg, op1, slot))
        return imm | 4;
    if (memory_used(cg, op2, slot))
        return 2;
    if (is_imm(op1) && imm && op1->value == op2->value)
        return 6;
    if (orva_processor_type != 5)
        return imm | 6;
    if (op1->kind == op2->kind && op1->type == op2->type && op1->value == op2->value)
        return 6;
    int c1 = op1->kind == OPND_ARG || is_cached_int_oprnd(cg, op1);
    int c2 = op2->kind == OPND_ARG || is_cached_int_oprnd(cg, op2);
    if (c1)
        return c2 ? imm | 6 : imm | 2;
    if (c2)
        return imm | 4;
    int v1 = in_block_var_set(cg, op1), v2 = in_block_var_set(cg, op2);
    if (v1 && v2)
        return imm | 6;
    if (v2)
        return imm | 4;
    if (v1)
        return imm | 2;
    if (!imm) {
        if (canbe_cached_int_oprnd(cg, op1, (u4)cg->cur_bb))
            return 2;
        if (canbe_cached_int_oprnd(cg, op2, (u4)cg->cur_bb))
            return 4;
        return 2;
    }
    bbattr* bb = cg->bbtable[cg->cur_bb];
    if ((bb->flags & 0x8003) == 0x8001 && _num_of_free_int_regs(cg, -1) > 0)
        return imm | 2;
    if (!canbe_cached_int_oprnd(cg, op1, (u4)cg->cur_bb))
        return imm;
    return imm | 2;
}

int use_ireg_oprnd2_for_long(codegen_context* cg, reg_operand* op1, reg_operand* op2, quadruple** slot)
{
    if (op1 == nullptr || op1->kind == OPND_NONE) {
        if (is_imm(op2))
            return 10;
        return use_ireg_oprnd1(cg, op2, slot) ? 6 : 2;
    }
    if (op2 == nullptr || op2->kind == OPND_NONE)
        return use_ireg_oprnd1(cg, op1, slot) ? 6 : 4;
    return use_ireg_oprnd2(cg, op1, op2, slot);
}
