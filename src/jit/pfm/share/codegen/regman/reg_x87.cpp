// x87 stack model and floating-point operand access.
//
// The x87 register stack is a ring of 8 slots named by counter values
// (bottom .. top - 1 live, st(0) = top - 1).  Cached locals sit at the
// bottom (the x87 cache count says how many at block entry); operand-stack
// values and temporaries are pushed above them, operand-stack value i at
// counter value cache count + i where possible.  Every placement is a push,
// every release of the top a pop; values below the top are reached by
// exchanges or copied to the top.
#include "codegen/regman/reg_manager.h"
#include "frontend/qgen.h"

static register_info* C(codegen_context* cg) { return CUR(cg); }
static void raise_fp_stack(codegen_context* cg, s4 index)
{
    if (index + 1 > C(cg)->fp_stack_count)
        C(cg)->fp_stack_count = index + 1;
}
static void lower_fp_stack(codegen_context* cg)
{
    if (C(cg)->fp_stack_count > 0)
        C(cg)->fp_stack_count--;
}
// Pop the top slot off the model (no code): bits 1..9 cleared, top lowered.
static void model_pop(codegen_context* cg)
{
    fp_top(cg)--;
    freg_empty(cg, fp_slot(fp_top(cg)));
}
// An anonymous operand-stack value: what a loaded local or constant becomes
// on the x87 stack.
static void anonymous_stack_entry(codegen_context* cg, int s, const reg_operand* op)
{
    register_info* c = C(cg);
    register_entry* e = &c->fent[s];
    e->kind = RK_STACK;
    e->type = (u1)op->type;
    e->second = op->aux;
    e->index = c->fp_stack_count;
    e->opnd = op->source;
    c->fp_stack_count++;
    sw_set(c->fmask, s, SW(0) | SW(1) | SW(2) | SW(3) | SW(RS_DIRTY));
    sw_clear(c->fmask, s, SW(4) | SW(6) | SW(7) | SW(8) | SW(9));
}

// Bring an operand-stack value in from its slot (not held by any x87 slot).
// It goes to counter value cache count + index when that is the top or a
// free slot of the ring; a value whose place lies outside the live stack is
// pushed on the top instead.
static s4 bring_in_stack_value(codegen_context* cg, const reg_operand* op, bool* retry)
{
    register_info* c = C(cg);
    s4 index = (s4)op->value;
    *retry = false;
    if (fp_top(cg) != fp_bottom(cg) && fp_cache_count(cg) == 0 && fp_top(cg) - fp_bottom(cg) >= RM_FP_SLOTS) {
        if (fp_cache_count(cg) + index == fp_top(cg))
            spillout_hw_fp_stack_bottom(cg, 1);
        else
            _spillout_freg(cg, fp_slot(fp_top(cg) - 1), 0);
    }
    if (fp_top(cg) == fp_bottom(cg)) {
        if (fp_cache_count(cg) == 0) {
            fp_bottom(cg) = index;
            fp_top(cg) = index;
        } else {
            *retry = true;
            return -1;
        }
    }
    s4 target = fp_cache_count(cg) + index;
    bool in_place = target < fp_top(cg) && target >= fp_bottom(cg) && !sw_has(c->fmask, fp_slot(target), RS_VALID);
    if (!in_place)
        target = fp_top(cg);
    if (fp_top(cg) - fp_bottom(cg) >= RM_FP_SLOTS && target == fp_top(cg)) {
        // Make room: spill one slot and give the slot it pushes back.
        _spillout_and_alloc_freg(cg);
        model_pop(cg);
    }
    sw_set(c->fmask, fp_slot(target), SW(RS_BUSY));
    gen_spillin_freg_stack(cg, target, op->aux, op->type == RT_DOUBLE);
    int s = fp_slot(target);
    _invalidate_fregs(cg, s, op);
    entry_from_operand(&c->fent[s], op);
    raise_fp_stack(cg, index);
    sw_set(c->fmask, s, SW(0) | SW(1) | SW(2) | SW(3) | SW(RS_DIRTY));
    sw_clear(c->fmask, s, SW(4) | SW(6) | SW(7) | SW(8) | SW(9));
    return target;
}

static void hand_out(codegen_context* cg, s4 c) { sw_set(C(cg)->fmask, fp_slot(c), SW(RS_BUSY) | SW(RS_LOCKED)); }

// ---------------------------------------------------------------------------
// Read and write access
// ---------------------------------------------------------------------------
s4 _get_rd_fp_oprnd(codegen_context* cg, const reg_operand* op, int no_load)
{
    u1 k = (u1)op->kind;
    s4 result = -1;
    for (int tries = 0; tries < 2 && result < 0; tries++) {
        int s = _search_valid_freg(cg, op, no_load);
        if (s >= 0) {
            result = _freg_num(cg, s);
            if (k == RK_STACK)
                raise_fp_stack(cg, (s4)op->value);
            break;
        }
        bool empty_with_cache = fp_top(cg) == fp_bottom(cg) && fp_cache_count(cg) > 0;
        if (empty_with_cache && tries == 0) {
            restore_spilled_fp_cache_regs(cg);
            continue;
        }
        if (k == RK_LOCAL || rk_is_const(k)) {
            result = _alloc_free_freg(cg, RM_ALL_FP, 0);
            int ns = fp_slot(result);
            _load_fp_oprnd(cg, ns, op);
            _invalidate_fregs(cg, ns, op);
            anonymous_stack_entry(cg, ns, op);
        } else {
            bool retry;
            result = bring_in_stack_value(cg, op, &retry);
            if (retry)
                rm_fatal("x87 stack value cannot be brought in");
        }
    }
    hand_out(cg, result);
    return result;
}

s4 _get_wt_fp_oprnd(codegen_context* cg, const reg_operand* op)
{
    u1 k = (u1)op->kind;
    s4 result;
    int s = _search_valid_freg(cg, op, 0);
    if (s >= 0 && k == RK_STACK) {
        raise_fp_stack(cg, (s4)op->value);
        result = _freg_num(cg, s);
    } else if (k == RK_LOCAL || rk_is_const(k)) {
        // The local or constant keeps its slot; the operation works on a copy.
        result = _alloc_free_freg(cg, RM_ALL_FP, 0);
        int ns = fp_slot(result);
        anonymous_stack_entry(cg, ns, op);
        int held = _search_freg(cg, op, 0);
        if (held >= 0 && sw_has(C(cg)->fmask, held, RS_VALID) && freg_has_value(cg, held))
            gen_move_freg_freg(cg, result, _freg_num(cg, held));
        else
            _load_fp_oprnd(cg, ns, op);
    } else if (s >= 0) {
        result = _freg_num(cg, s);
    } else if (k == RK_STACK) {
        bool retry;
        result = bring_in_stack_value(cg, op, &retry);
        if (retry) {
            restore_spilled_fp_cache_regs(cg);
            result = bring_in_stack_value(cg, op, &retry);
            if (retry)
                rm_fatal("x87 stack value cannot be brought in");
        }
    } else {
        result = _alloc_fp_reg(cg, RM_ALL_FP, 0);   // any other kind: a temporary
    }
    hand_out(cg, result);
    return result;
}

s4 _alloc_fp_reg(codegen_context* cg, u4 wanted, u4 excluded)
{
    s4 c = _alloc_free_freg(cg, wanted, excluded);
    int s = fp_slot(c);
    register_entry* e = &C(cg)->fent[s];
    e->kind = RK_TEMP;
    e->type = RT_FLOAT;
    e->index = s;
    sw_set(C(cg)->fmask, s, SW(0) | SW(1) | SW(2) | SW(3));
    sw_clear(C(cg)->fmask, s, SW(4) | SW(5) | SW(6) | SW(7) | SW(8) | SW(9));
    return c;
}

// Release an x87 slot.  An operand-stack value or temporary (which the
// caller's instruction has popped) leaves the model from the top; a cached
// local or constant stays.
void _free_fp_reg(codegen_context* cg, s4 c, int)
{
    register_info* ri = C(cg);
    int s = fp_slot(c);
    u1 k = ri->fent[s].kind;
    if (k == RK_STACK || k == RK_TEMP) {
        if (k == RK_STACK)
            lower_fp_stack(cg);
        freg_empty(cg, s);
        fp_top(cg)--;
        sw_clear(ri->fmask, fp_slot(fp_top(cg)), SW(RS_BUSY));
    }
    k = ri->fent[s].kind;
    if (k != RK_LOCAL && !rk_is_const(k))
        sw_clear(ri->fmask, s, SW(RS_BUSY));
    sw_clear(ri->fmask, s, SW(RS_LOCKED) | SW(RS_BIT8));
}

// Store a slot's value into its local without popping it.
static void store_through(codegen_context* cg, int s)
{
    const register_entry& e = C(cg)->fent[s];
    s4 v = _freg_num(cg, s), top1 = fp_top(cg) - 1;
    if (v != top1)
        gen_swap_freg_freg(cg, v, top1);
    gen_move_local_freg_p(cg, e.index, top1, e.type == RT_DOUBLE, 0);
    if (v != top1)
        gen_swap_freg_freg(cg, v, top1);
}

static void bind_bits(codegen_context* cg, int s, int clean)
{
    register_info* c = C(cg);
    sw_set(c->fmask, s, SW(0) | SW(1) | SW(3));
    sw_clear(c->fmask, s, SW(2) | SW(4) | SW(7) | SW(8) | SW(9));
    if (clean) {
        sw_clear(c->fmask, s, SW(RS_DIRTY));
    } else {
        sw_set(c->fmask, s, SW(RS_DIRTY));
        sw_clear(c->fmask, s, SW(RS_CONST));
    }
}

// A written local is stored through in a block covered by a handler that
// reads it, and always with force-store.
static void write_through(codegen_context* cg, int s, s4 local, int force_store)
{
    register_info* c = C(cg);
    bbattr* b = cg->bbtable ? cg->bbtable[cg->cur_bb] : nullptr;
    bool through = b && (b->flags & BB_HANDLER_COVERED) && sw_has(c->fmask, s, RS_DIRTY) && is_EH_Use(cg, local);
    if (through || (force_store && sw_has(c->fmask, s, RS_DIRTY))) {
        store_through(cg, s);
        sw_clear(c->fmask, s, SW(RS_DIRTY));
    }
}

void _assoc_fp_oprnd(codegen_context* cg, const reg_operand* op, s4 cv, int force_store, int clean)
{
    register_info* c = C(cg);
    int s = fp_slot(cv);
    u1 k = (u1)op->kind;
    if (k == RK_STACK) {
        raise_fp_stack(cg, (s4)op->value);
        _invalidate_fregs(cg, s, op);
        entry_from_operand(&c->fent[s], op);
        bind_bits(cg, s, clean);
        return;
    }
    if (k == RK_LOCAL && !clean)
        _drop_overlapping_local_copies(cg, op);
    int cached = _search_freg(cg, op, 0);
    if (cached >= 0 && cached != s) {
        // The caller's instruction stored the value into the cached slot and
        // popped s: the slot now has the value (it may have been assigned
        // at block entry without one).
        sw_set(c->fmask, cached, SW(RS_DIRTY) | SW(RS_VALID));
        sw_clear(c->fmask, cached, SW(RS_PENDING) | SW(RS_NOVALUE));
        lower_fp_stack(cg);
        freg_empty(cg, s);
        fp_top(cg)--;
        sw_clear(c->fmask, fp_slot(fp_top(cg)), SW(RS_BUSY));
        return;
    }
    if (cached == s) {
        if (rk_is_const(k)) {
            sw_set(c->fmask, s, SW(0) | SW(1) | SW(3));
            sw_clear(c->fmask, s, SW(2) | SW(4) | SW(7) | SW(8) | SW(9));
        } else if (k == RK_LOCAL) {
            entry_from_operand(&c->fent[s], op);
            bind_bits(cg, s, clean);
            if (!clean)
                write_through(cg, s, (s4)op->value, force_store);
        }
        return;
    }
    if (k != RK_LOCAL) {
        lower_fp_stack(cg);
        freg_empty(cg, s);
        fp_top(cg)--;
        sw_clear(c->fmask, fp_slot(fp_top(cg)), SW(RS_BUSY));
        return;
    }
    u1 held = c->fent[s].kind;
    if (sw_has(c->fmask, s, RS_VALID) && held != RK_STACK && held != RK_TEMP && held != 0)
        return;
    if (held == RK_STACK)
        lower_fp_stack(cg);
    entry_from_operand(&c->fent[s], op);
    bind_bits(cg, s, clean);
    if (!clean)
        write_through(cg, s, (s4)op->value, force_store);
    // With one operand-stack value left just below, the cached local settles
    // below it.
    s4 top1 = fp_top(cg) - 1;
    if (c->fp_stack_count == 1 && fp_top(cg) - fp_bottom(cg) >= 2 && cv == top1) {
        int below = fp_slot(top1 - 1);
        if (c->fent[below].kind == RK_STACK) {
            bool value = sw_has(c->fmask, below, RS_VALID) && freg_has_value(cg, below);
            _swap_assoc_fregs(cg, s, below, 0);
            if (value)
                gen_swap_freg_freg(cg, top1, top1 - 1);
        }
    }
}

int _spillout_fp_oprnd(codegen_context* cg, const reg_operand* op)
{
    u1 k = (u1)op->kind;
    int home = k == RK_STACK ? op->aux : k == RK_LOCAL ? (s4)op->value : -1;
    int s = _search_freg(cg, op, 0);
    if (s >= 0)
        _spillout_freg(cg, s, 0);
    return home;
}

// Whether a quadruple of the current block after the current one names
// local `local` (either word of a two-word value) as a variable operand.
static bool named_later_in_block(codegen_context* cg, u4 local)
{
    auto names = [local](u1 kind, u2 number) {
        return (kind & QK_KIND_MASK) == QK_VARIABLE && (number == local || number + 1u == local || number == local + 1u);
    };
    bbattr* bb = cg->bbtable[cg->cur_bb];
    for (u4 j = (u4)cg->cur_quad + 1; j < bb->quad_count; j++) {
        const quadruple* q = bb->catbl[j];
        if (q->opcount & QC_DELETED)
            continue;
        u4 n = q->opcount & QC_SRC_MASK;
        if (n == QC_SRC_LIST) {
            for (const quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
                if (names((u1)e->kind, e->number))
                    return true;
        } else if ((n >= 1 && names(q->src1.kind, q->src1.number)) || (n >= 2 && names(q->src2.kind, q->src2.number))) {
            return true;
        }
    }
    return false;
}

// Write back and pop every live slot, top first.  With the dead-local flag a
// local that is not live out of block b is just popped, unless the flush is
// made in the middle of b (around a call) and a later quadruple of b still
// reads the local: the live-out set says nothing about the rest of the
// block.  (Fault mended: a double local stored before a call and printed
// after it was dropped at the call.)
void _flush_fp_regs(codegen_context* cg, u4, u4, int spill, u4, int dead_local, int block)
{
    register_info* c = C(cg);
    method_compile_context* m = cg->m;
    bool live_known = dead_local && !all_locals_eh(cg) && !mcc_no_live_sets(m) && block >= 0;
    while (fp_top(cg) > fp_bottom(cg)) {
        int s = fp_slot(fp_top(cg) - 1);
        const register_entry& e = c->fent[s];
        bool dead = live_known && e.kind == RK_LOCAL &&
                    !local_set_has(bb_live_out(cg->bbtable[block]), mcc_nlocals(m), e.index) &&
                    !(block == cg->cur_bb && named_later_in_block(cg, e.index));
        if (dead || !sw_has(c->fmask, s, RS_BUSY)) {
            gen_pop_freg(cg);
            freg_empty(cg, s);
        } else {
            _spillout_freg(cg, s, spill);
        }
    }
}

void _flush_all_fp_regs(codegen_context* cg, int spill)
{
    _flush_fp_regs(cg, RM_ALL_FP, RM_ALL_FP, spill, 0, 1, cg->cur_bb);
}

void pop_fp_oprnd(codegen_context* cg, const reg_operand* op)
{
    if ((u1)op->kind != RK_STACK)
        return;
    int s = _search_freg(cg, op, 0);
    if (s >= 0)
        sw_clear(C(cg)->fmask, s, SW(RS_BUSY));
    lower_fp_stack(cg);
    if (s >= 0) {
        fp_top(cg)--;
        sw_clear(C(cg)->fmask, fp_slot(fp_top(cg)), SW(RS_BUSY));
    }
}

// Exchange two operands' places (b read first), both marked dirty.
void reverse_fp_stack_oprnds(codegen_context* cg, const reg_operand* a, const reg_operand* b)
{
    s4 cb = _get_rd_fp_oprnd(cg, b, 0);
    s4 ca = _get_rd_fp_oprnd(cg, a, 0);
    int sbv = _search_freg(cg, b, 0);   // reading a may have moved b
    if (sbv >= 0)
        cb = _freg_num(cg, sbv);
    int sa = fp_slot(ca), sb = fp_slot(cb);
    register_info* c = C(cg);
    sw_set(c->fmask, sa, SW(RS_DIRTY));
    sw_set(c->fmask, sb, SW(RS_DIRTY));
    bool value = freg_has_value(cg, sa) || freg_has_value(cg, sb);
    _swap_assoc_fregs(cg, sa, sb, 0);
    if (value)
        gen_swap_freg_freg(cg, ca, cb);
    _assoc_fp_oprnd(cg, b, ca, 0, 0);
    _assoc_fp_oprnd(cg, a, cb, 0, 0);
}

// Bits 0-7: doubles from st(0) upward; bits 8-15: the live count n; bits
// 24 - n to 23: the double flags again with st(n-1)'s at bit 23; bits
// 24-31: n.  What the resolve stubs save and restore around a call.
u4 get_fp_live_status(codegen_context* cg)
{
    s4 n = fp_top(cg) - fp_bottom(cg);
    if (n <= 0)
        return 0;
    u4 d = 0;
    int i = 0;
    for (s4 v = fp_top(cg) - 1; v >= fp_bottom(cg); v--, i++)
        if (C(cg)->fent[fp_slot(v)].type == RT_DOUBLE)
            d |= 1u << i;
    return d | (d << (24 - n)) | ((u4)n << 8) | ((u4)n << 24);
}

// Reload the k cached locals of the block entry onto an empty stack.  With
// `exchange` a call's result is already on the hardware stack, outside the
// model: every reload is exchanged below it (fxch st(1)), so the result ends
// on top of the k locals, where the caller then binds it.
void restore_spilled_fp_regs(codegen_context* cg, int, int exchange)
{
    register_info* c = C(cg);
    s4 k = fp_cache_count(cg);
    if (k <= 0)
        return;
    fp_bottom(cg) = 0;
    fp_top(cg) = 0;
    for (int i = 0; i < k && i < RM_FP_SLOTS; i++) {
        sw_set(c->fmask, fp_slot(fp_top(cg)), SW(RS_BUSY));
        fp_top(cg)++;
        const register_entry e = c->init_fent[i];
        reg_operand op;
        operand_from_entry(&op, &e);
        _load_fp_oprnd(cg, i, &op);
        _invalidate_fregs(cg, i, &op);
        c->fent[i] = e;
        sw_set(c->fmask, i, SW(0) | SW(1) | SW(2) | SW(3));
        sw_clear(c->fmask, i, SW(4) | SW(5) | SW(7) | SW(8) | SW(9));
        if (rk_is_const(e.kind))
            sw_set(c->fmask, i, SW(RS_CONST));
        else
            sw_clear(c->fmask, i, SW(RS_CONST));
        _set_freg_status(cg, i, _init_freg_status(cg, i) | SW(RS_BUSY));
        sw_clear(c->fmask, i, SW(RS_DIRTY) | SW(RS_PENDING) | SW(RS_NOVALUE));
        if (exchange)
            gen_swap_freg_freg(cg, i, i - 1);
    }
}

// An instruction left its result on st(0): push it in the model and bind it.
void alloc_and_assoc_fp_stack_top_oprnd(codegen_context* cg, const reg_operand* op)
{
    register_info* c = C(cg);
    int s = fp_slot(fp_top(cg));
    sw_set(c->fmask, s, SW(RS_BUSY));
    fp_top(cg)++;
    register_entry* e = &c->fent[s];
    e->kind = RK_TEMP;
    e->type = RT_FLOAT;
    e->index = s;
    sw_set(c->fmask, s, SW(0) | SW(1) | SW(2) | SW(3));
    sw_clear(c->fmask, s, SW(4) | SW(5) | SW(6) | SW(7) | SW(8) | SW(9));
    // A variable that another slot still caches (an older value left there)
    // receives the new value in that slot, as binding expects: fstp st(i).
    // Binding alone would pop the model's top while the loaded value stays
    // on the hardware stack.
    if ((u1)op->kind == RK_LOCAL) {
        int held = _search_freg(cg, op, 0);
        if (held >= 0 && held != s)
            gen_move_fr_fr_p(cg, _freg_num(cg, held), fp_top(cg) - 1, 1);
    }
    _assoc_fp_oprnd(cg, op, fp_top(cg) - 1, 0, 0);
}

// Before a method return: leave only the result (keep set) or nothing on
// the x87 stack.
void pop_fp_cache_regs(codegen_context* cg, int keep)
{
    register_info* c = C(cg);
    if (keep) {
        if (c->fp_stack_count > 1) {
            reg_operand top_op, low_op;
            operand_from_entry(&top_op, &c->fent[fp_slot(fp_top(cg) - 1)]);
            operand_from_entry(&low_op, &c->fent[fp_slot(fp_cache_count(cg))]);
            reverse_fp_stack_oprnds(cg, &top_op, &low_op);
            s4 extra = c->fp_stack_count - 1;
            for (s4 i = 0; i < extra && fp_top(cg) > fp_bottom(cg); i++) {
                gen_pop_freg(cg);
                freg_empty(cg, fp_slot(fp_top(cg)));
                lower_fp_stack(cg);
            }
        }
        if (fp_top(cg) - fp_bottom(cg) > 1) {
            int ts = fp_slot(fp_top(cg) - 1);
            register_entry kept = c->fent[ts];
            u4 status = _freg_status(cg, ts);
            gen_swap_freg_freg(cg, fp_top(cg) - 1, fp_bottom(cg));
            while (fp_top(cg) - 1 > fp_bottom(cg)) {
                gen_pop_freg(cg);
                freg_empty(cg, fp_slot(fp_top(cg)));
            }
            int bs = fp_slot(fp_bottom(cg));
            c->fent[bs] = kept;
            _set_freg_status(cg, bs, status);
        }
        return;
    }
    for (s4 i = 0; i < c->fp_stack_count && fp_top(cg) > fp_bottom(cg); i++) {
        gen_pop_freg(cg);
        freg_empty(cg, fp_slot(fp_top(cg)));
    }
    while (fp_top(cg) > fp_bottom(cg)) {
        gen_pop_freg(cg);
        freg_empty(cg, fp_slot(fp_top(cg)));
    }
}

// ---------------------------------------------------------------------------
// Queries
// ---------------------------------------------------------------------------
int is_cached_fp_oprnd(codegen_context* cg, const reg_operand* op) { return _search_freg(cg, op, 0) >= 0; }
s4 query_fp_oprnd(codegen_context* cg, const reg_operand* op)
{
    int s = _search_freg(cg, op, 1);
    return s < 0 ? -1 : _freg_num(cg, s);
}
int is_hot_fp_oprnd(codegen_context* cg, const reg_operand* op, s4 c)
{
    return sw_has(C(cg)->fmask, fp_slot(c), RS_LOCKED) && query_fp_oprnd(cg, op) == c;
}
int is_initially_cached_fp_oprnd(codegen_context* cg, const reg_operand* op) { return _search_init_freg(cg, op) >= 0; }
int _num_of_free_fp_regs(codegen_context* cg, int mask)
{
    return __builtin_popcount((u4)mask & RM_ALL_FP & ~C(cg)->fmask[RS_BUSY]);
}
