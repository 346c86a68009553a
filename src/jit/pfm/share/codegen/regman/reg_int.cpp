// Integer operand access: the operations through which the code generators
// obtain integer registers for quadruple operands.  A generator reads its
// sources (`_get_rd_int_oprnd`, `_set_rd_int_oprnd`), reserves the
// destination (`_get_wt_int_oprnd`, `_set_wt_int_oprnd`), emits its
// instruction, binds the destination (`_assoc_int_oprnd`) and releases the
// sources (`_free_int_reg`, `pop_int_oprnd`).  Every register handed out is
// locked (status bit 2) until it is released, so no spill takes it.
//
// "No value" below means status bit 4 (pending) or 7 (no value) is set:
// such a register is never the source of a move.
#include "codegen/regman/reg_manager.h"

static register_info* C(codegen_context* cg) { return CUR(cg); }
static void raise_int_stack(codegen_context* cg, s4 index)
{
    if (index + 1 > C(cg)->int_stack_count)
        C(cg)->int_stack_count = index + 1;
}
static void lower_int_stack(codegen_context* cg)
{
    if (C(cg)->int_stack_count > 0)
        C(cg)->int_stack_count--;
}
static void hand_out(codegen_context* cg, int r) { sw_set(C(cg)->imask, r, SW(RS_BUSY) | SW(RS_LOCKED)); }
static bool locked(codegen_context* cg, int r) { return sw_has(C(cg)->imask, r, RS_LOCKED); }
static u4 pref_of(const reg_operand* op) { return (u1)op->kind == RK_LOCAL ? opnd_pref(op->source) : 0; }

// ---------------------------------------------------------------------------
// Bindings
// ---------------------------------------------------------------------------

// Record that register r now holds the operand's value after a read.
void ireg_read_binding(codegen_context* cg, int r, const reg_operand* op)
{
    register_info* c = C(cg);
    _invalidate_iregs(cg, r, op);
    register_entry* e = &c->ient[r];
    switch ((u1)op->kind) {
    case RK_STACK:
        if ((s4)op->value >= c->int_stack_count) {
            e->kind = RK_STACK;
            e->type = (u1)op->type;
            e->second = op->aux;
            e->index = (s4)op->value;
            c->int_stack_count = (s4)op->value + 1;
        } else {
            entry_from_operand(e, op);
        }
        sw_set(c->imask, r, SW(0) | SW(1) | SW(2) | SW(3) | SW(RS_DIRTY));
        sw_clear(c->imask, r, SW(RS_PENDING) | SW(6) | SW(7) | SW(8) | SW(9));
        break;
    case RK_LOCAL:
        entry_from_operand(e, op);
        sw_set(c->imask, r, SW(0) | SW(1) | SW(2) | SW(3));
        sw_clear(c->imask, r, SW(4) | SW(5) | SW(6) | SW(7) | SW(8) | SW(9));
        break;
    case RK_CONST:
    case RK_XCONST:
    case RK_YCONST:
        entry_from_operand(e, op);
        sw_set(c->imask, r, SW(0) | SW(1) | SW(2) | SW(3) | SW(RS_CONST));
        sw_clear(c->imask, r, SW(4) | SW(5) | SW(7) | SW(8) | SW(9));
        break;
    default:
        break;
    }
}

// A register reserved to receive a value: a temporary, or a provisional
// operand-stack value that the caller's `_assoc_int_oprnd` turns into the
// real binding.
static void write_reservation(codegen_context* cg, int r, const reg_operand* op, int temp)
{
    register_info* c = C(cg);
    register_entry* e = &c->ient[r];
    if (temp) {
        e->kind = RK_TEMP;
        e->type = RT_INT;
        e->index = r;
        sw_set(c->imask, r, SW(0) | SW(1) | SW(2) | SW(3));
        sw_clear(c->imask, r, SW(4) | SW(5));
    } else {
        e->kind = RK_STACK;
        e->type = (u1)op->type;
        e->second = op->aux;
        e->index = (s4)op->value;
        e->opnd = op->source;
        raise_int_stack(cg, (s4)op->value);
        sw_set(c->imask, r, SW(0) | SW(1) | SW(2) | SW(3) | SW(RS_DIRTY));
        sw_clear(c->imask, r, SW(4));
    }
    sw_clear(c->imask, r, SW(6) | SW(7) | SW(8) | SW(9));
}

static bool loadable(const reg_operand* op)
{
    u1 k = (u1)op->kind;
    return k == RK_STACK || k == RK_LOCAL || rk_is_const(k);
}

// ---------------------------------------------------------------------------
// Read access
// ---------------------------------------------------------------------------
int _get_rd_int_oprnd(codegen_context* cg, const reg_operand* op, int no_load, int hint)
{
    u4 p = pref_of(op) ? pref_of(op) : RM_ALL_INT;
    int r = _search_valid_ireg(cg, op, no_load);
    if (r >= 0) {
        if ((u1)op->kind == RK_STACK)
            raise_int_stack(cg, (s4)op->value);
    } else {
        if (hint >= 0 && hint < RM_INT_REGS && (p >> hint & 1))
            r = _search_free_ireg(cg, 1u << hint, nullptr, 1);
        if (r < 0)
            r = _search_free_ireg(cg, p, nullptr, 1);
        if (r < 0)
            r = _alloc_free_ireg(cg, RM_ALL_INT, 0, op);
        if (!no_load)
            _load_int_oprnd(cg, r, op);
        ireg_read_binding(cg, r, op);
    }
    hand_out(cg, r);
    return r;
}

// The operand is held by r0, outside the wanted mask W: bring it into W (a
// free register of the preference P, else of W; else vacate the spill
// candidate of W, moving its value to a free register outside or exchanging
// it with r0).
static int bring_into_mask(codegen_context* cg, const reg_operand* op, int r0, u4 p, u4 w, u4 e, int no_load)
{
    register_info* c = C(cg);
    int r = -1;
    if (p)
        r = _search_free_ireg(cg, p, nullptr, 1);
    if (r < 0 && (w & ~p))
        r = _search_free_ireg(cg, w & ~p, nullptr, 1);
    bool r0_value = ireg_has_value(cg, r0);
    if (r >= 0) {
        if (!no_load && r0_value)
            gen_move_ireg_ireg(cg, r, r0);
        _copy_assoc_iregs(cg, r, r0, 0);
        if (!locked(cg, r0))
            ireg_empty(cg, r0);
        return r;
    }
    int cand = spillout_candidate_ireg(cg, p ? p : w, op);
    if (cand < 0)
        rm_fatal("no register of the wanted mask can be vacated");
    reg_operand ce;
    operand_from_entry(&ce, &c->ient[cand]);
    int t = _search_free_ireg(cg, RM_ALL_INT & ~(1u << r0) & ~e, &ce, 3);
    if (t < 0 && !locked(cg, r0) && c->ient[cand].kind != RK_LOCAL) {
        if (!(e >> r0 & 1)) {
            bool a = ireg_has_value(cg, r0), b = ireg_has_value(cg, cand);
            if (a && b)
                gen_swap_ireg_ireg(cg, r0, cand);
            else if (a)
                gen_move_ireg_ireg(cg, cand, r0);
            else if (b)
                gen_move_ireg_ireg(cg, r0, cand);
            _swap_assoc_iregs(cg, r0, cand, 0);
            return cand;
        }
        _spillout_ireg(cg, cand, 0);
        if (!no_load && r0_value)
            gen_move_ireg_ireg(cg, cand, r0);
        _copy_assoc_iregs(cg, cand, r0, 0);
        ireg_empty(cg, r0);
        return cand;
    }
    if (t < 0) {
        _spillout_ireg(cg, cand, 0);
        if (!no_load && r0_value)
            gen_move_ireg_ireg(cg, cand, r0);
        _copy_assoc_iregs(cg, cand, r0, 0);
        if (!rk_is_const((u1)op->kind))
            ireg_empty(cg, r0);
        return cand;
    }
    if (ireg_has_value(cg, cand))
        gen_move_ireg_ireg(cg, t, cand);
    _copy_assoc_iregs(cg, t, cand, 0);
    if (!no_load && r0_value)
        gen_move_ireg_ireg(cg, cand, r0);
    _copy_assoc_iregs(cg, cand, r0, 0);
    ireg_empty(cg, r0);
    return cand;
}

int _set_rd_int_oprnd(codegen_context* cg, const reg_operand* op, u4 wanted, u4 excluded, int no_load)
{
    wanted &= RM_ALL_INT;
    u4 p = wanted;
    if (pref_of(op))
        p &= pref_of(op);
    int r = _search_valid_ireg(cg, op, no_load);
    if (r < 0) {
        u4 mask = (p && _num_of_free_int_regs(cg, (int)p) > 0) ? p : wanted;
        r = _alloc_free_ireg(cg, mask, excluded, op);
        if (!no_load)
            _load_int_oprnd(cg, r, op);
        ireg_read_binding(cg, r, op);
    } else if (!(wanted >> r & 1)) {
        r = bring_into_mask(cg, op, r, p, wanted, excluded, no_load);
    }
    if ((u1)op->kind == RK_STACK)
        raise_int_stack(cg, (s4)op->value);
    hand_out(cg, r);
    return r;
}

// ---------------------------------------------------------------------------
// Write access
// ---------------------------------------------------------------------------

// The local's weighted count in the current integer local map (0 when absent).
static s4 map_count(codegen_context* cg, s4 local)
{
    int i = _int_local_index(cg, local);
    return i >= 0 ? C(cg)->int_map[i].count : 0;
}

// Write access to a register r0 within the mask that already holds the operand.
static int write_held(codegen_context* cg, const reg_operand* op, int r0, int no_load, int temp, u4 w, u4 e, bool set)
{
    switch ((u1)op->kind) {
    case RK_STACK:
        raise_int_stack(cg, (s4)op->value);
        return r0;
    case RK_LOCAL: {
        bool others_free = _num_of_free_int_regs(cg, (int)(RM_ALL_INT & ~(1u << r0))) >= 1;
        if (others_free && C(cg)->int_map != nullptr && map_count(cg, (s4)op->value) > 1) {
            bool lk = locked(cg, r0);
            bool swap = set ? (!lk && !temp) : (!lk && !temp && prefer_swap_iregs(cg, r0));
            u4 from = set ? (swap ? RM_ALL_INT & ~(1u << r0) & ~e : w & ~(1u << r0)) : RM_ALL_INT & ~(1u << r0);
            int r = _alloc_free_ireg(cg, from, set ? e : 0, swap ? op : nullptr);
            bool value = ireg_has_value(cg, r0);
            write_reservation(cg, r, op, temp);
            if (!no_load && value)
                gen_move_ireg_ireg(cg, r, r0);
            if (swap) {
                _swap_assoc_iregs(cg, r, r0, 0);
                return r0;
            }
            return r;
        }
        _spillout_ireg(cg, r0, 0);
        write_reservation(cg, r0, op, temp);
        return r0;
    }
    case RK_CONST:
    case RK_XCONST:
    case RK_YCONST:
        write_reservation(cg, r0, op, temp);
        return r0;
    default:
        return r0;
    }
}

// Write access when no register holds the operand.
static int write_fresh(codegen_context* cg, const reg_operand* op, int no_load, int temp, u4 w, u4 e, bool set)
{
    u1 k = (u1)op->kind;
    if (k == RK_STACK) {
        int r = _alloc_free_ireg(cg, w, e, op);
        ireg_read_binding(cg, r, op);
        return r;
    }
    if (k == RK_LOCAL && !set && _num_of_free_int_regs(cg, (int)RM_ALL_INT) > 1) {
        // Keep a cached copy of the local beside the register that receives it.
        int r0 = _alloc_free_ireg(cg, RM_ALL_INT, 0, op);
        _load_int_oprnd(cg, r0, op);
        ireg_read_binding(cg, r0, op);
        int r = _alloc_free_ireg(cg, RM_ALL_INT & ~(1u << r0), 0, nullptr);
        write_reservation(cg, r, op, temp);
        if (!no_load && ireg_has_value(cg, r0))
            gen_move_ireg_ireg(cg, r, r0);
        _swap_assoc_iregs(cg, r, r0, 0);
        // The cached copy is not handed out: unlocked, the binding of the
        // new value drops it.
        sw_clear(C(cg)->imask, r, SW(RS_LOCKED));
        return r0;
    }
    // Other locals and constants; any other kind gets a temporary (the
    // caller does not rely on its content).
    int r = _alloc_free_ireg(cg, w, e, op);
    if (!no_load && loadable(op))
        _load_int_oprnd(cg, r, op);
    write_reservation(cg, r, op, loadable(op) ? temp : 1);
    return r;
}

int _get_wt_int_oprnd(codegen_context* cg, const reg_operand* op, int no_load, int temp)
{
    int r0 = _search_valid_ireg(cg, op, 0);
    int r = r0 >= 0 ? write_held(cg, op, r0, no_load, temp, RM_ALL_INT, 0, false)
                    : write_fresh(cg, op, no_load, temp, RM_ALL_INT, 0, false);
    hand_out(cg, r);
    return r;
}

int _set_wt_int_oprnd(codegen_context* cg, const reg_operand* op, u4 wanted, u4 excluded, int no_load, int temp)
{
    wanted &= RM_ALL_INT;
    int r0 = _search_valid_ireg(cg, op, 0);
    int r;
    if (r0 < 0) {
        r = write_fresh(cg, op, no_load, temp, wanted, excluded, true);
    } else if (wanted >> r0 & 1) {
        r = write_held(cg, op, r0, no_load, temp, wanted, excluded, true);
    } else if ((u1)op->kind == RK_STACK) {
        r = bring_into_mask(cg, op, r0, 0, wanted, excluded, no_load);
        raise_int_stack(cg, (s4)op->value);
    } else {
        _spillout_ireg(cg, r0, 0);
        ireg_empty(cg, r0);
        r = _alloc_free_ireg(cg, wanted, excluded, op);
        if (!no_load && loadable(op))
            _load_int_oprnd(cg, r, op);
        write_reservation(cg, r, op, loadable(op) ? temp : 1);
    }
    hand_out(cg, r);
    return r;
}

// ---------------------------------------------------------------------------
// Temporaries, release and binding
// ---------------------------------------------------------------------------
int _alloc_int_reg(codegen_context* cg, u4 wanted, int excluded)
{
    int r = _alloc_free_ireg(cg, wanted & RM_ALL_INT, (u4)excluded, nullptr);
    register_entry* e = &C(cg)->ient[r];
    e->kind = RK_TEMP;
    e->type = RT_INT;
    e->index = r;
    sw_set(C(cg)->imask, r, SW(0) | SW(1) | SW(2) | SW(3));
    sw_clear(C(cg)->imask, r, SW(4) | SW(5) | SW(6) | SW(7) | SW(8) | SW(9));
    return r;
}

// Release a register.  A cached local or constant stays busy (reusable);
// with the clear flag and r in the spill mask the register is emptied, a
// local stored first when asked.
void _free_int_reg(codegen_context* cg, int r, int clear, int spill_mask, int store_local)
{
    if (r < 0 || r >= RM_INT_REGS)
        return;
    register_info* c = C(cg);
    u1 k = c->ient[r].kind;
    if (k == RK_STACK) {
        lower_int_stack(cg);
        if (clear)
            ireg_empty(cg, r);
    } else if (k == RK_TEMP) {
        ireg_empty(cg, r);
    }
    k = c->ient[r].kind;
    if (k != RK_LOCAL && !rk_is_const(k))
        sw_clear(c->imask, r, SW(RS_BUSY));
    sw_clear(c->imask, r, SW(RS_LOCKED) | SW(RS_BIT8));
    if (clear && ((u4)spill_mask >> r & 1)) {
        if (c->ient[r].kind == RK_LOCAL && store_local)
            _spillout_ireg(cg, r, 0);
        ireg_empty(cg, r);
    }
}

// Drop every other register's copy of an operand that register r now holds
// with a new value.  A copy still locked by the quadruple being generated
// (one of its sources) keeps its register, as a temporary that its release
// empties: were it left as the operand's copy, later reads could take the
// old value.
static void drop_stale_copies(codegen_context* cg, int r, const reg_operand* op)
{
    register_info* c = C(cg);
    _invalidate_iregs(cg, r, op);
    for (int k = 0; k < RM_INT_REGS; k++) {
        if (k == r || !entry_matches(&c->ient[k], op))
            continue;
        c->ient[k] = {RK_TEMP, RT_INT, 0, k, nullptr};
        sw_clear(c->imask, k, SW(RS_PENDING) | SW(RS_DIRTY) | SW(RS_CONST) | SW(RS_NOVALUE));
    }
}

// Bind the operand to register r (after a write).  Operand-stack slots above
// 2 are stored at once; a local written in a block covered by a handler that
// reads it is stored through (or always, with force-store).  The clean flag
// says the home already holds the value.
int _assoc_int_oprnd(codegen_context* cg, const reg_operand* op, int r, int force_store, int clean)
{
    register_info* c = C(cg);
    switch ((u1)op->kind) {
    case RK_STACK:
    case RK_LOCAL: {
        bool local = (u1)op->kind == RK_LOCAL;
        if (local) {
            if (c->ient[r].kind == RK_STACK)
                lower_int_stack(cg);
        } else {
            raise_int_stack(cg, (s4)op->value);
        }
        if (local && !clean)
            _drop_overlapping_local_copies(cg, op);
        drop_stale_copies(cg, r, op);
        entry_from_operand(&c->ient[r], op);
        sw_set(c->imask, r, SW(0) | SW(1) | SW(3));
        sw_clear(c->imask, r, SW(2) | SW(4) | SW(7) | SW(8) | SW(9));
        if (clean) {
            sw_clear(c->imask, r, SW(RS_DIRTY));
        } else {
            sw_set(c->imask, r, SW(RS_DIRTY));
            sw_clear(c->imask, r, SW(RS_CONST));
        }
        if (!local) {
            if ((s4)op->value > 2) {
                _spillout_ireg(cg, r, 0);
                ireg_empty(cg, r);
            }
            break;
        }
        bbattr* b = cg->bbtable ? cg->bbtable[cg->cur_bb] : nullptr;
        bool through = b && (b->flags & BB_HANDLER_COVERED) && sw_has(c->imask, r, RS_DIRTY) &&
                       is_EH_Use(cg, (s4)op->value);
        if (!clean && (through || force_store)) {
            gen_move_local_ireg(cg, (s4)op->value, r, op->type == RT_INT1 || op->type == RT_INT2, op->type == RT_INT1);
            sw_clear(c->imask, r, SW(RS_DIRTY));
        }
        break;
    }
    default:
        sw_set(c->imask, r, SW(0) | SW(1) | SW(3));
        sw_clear(c->imask, r, SW(2) | SW(4) | SW(7) | SW(8) | SW(9));
        break;
    }
    return 0;
}

int _spillout_int_oprnd(codegen_context* cg, const reg_operand* op, int drop_local)
{
    u1 k = (u1)op->kind;
    int home = k == RK_STACK ? op->aux : k == RK_LOCAL ? (s4)op->value : -1;
    int r = _search_ireg(cg, op, 0);
    if (r < 0)
        return home;
    _spillout_ireg(cg, r, 0);
    if (k != RK_LOCAL || drop_local)
        ireg_empty(cg, r);
    return home;
}

// Empty the busy registers of the mask: values of the drop mask are
// discarded, others move to a free register outside the mask (and the
// excluded ones, and outside the current quadruple's hint) or are stored.
void _flush_int_regs(codegen_context* cg, u4 mask, u4 excluded, int spill, u4 drop)
{
    register_info* c = C(cg);
    for (int r = 0; r < RM_INT_REGS; r++) {
        if (!(mask >> r & 1) || !sw_has(c->imask, r, RS_BUSY))
            continue;
        if (!(drop >> r & 1)) {
            reg_operand e;
            operand_from_entry(&e, &c->ient[r]);
            int t = _search_free_ireg(cg, RM_ALL_INT & ~mask & ~excluded, &e, 3);
            if (t >= 0) {
                if (ireg_has_value(cg, r))
                    gen_move_ireg_ireg(cg, t, r);
                _copy_assoc_iregs(cg, t, r, 0);
            } else {
                _spillout_ireg(cg, r, spill != 0);
            }
        }
        ireg_empty(cg, r);
    }
}

void _flush_all_int_regs(codegen_context* cg, int spill) { _flush_int_regs(cg, 0xFFFFFFFFu, 0xFFFFFFFFu, spill, 0); }

void _flush_all_regs(codegen_context* cg, int spill)
{
    _flush_all_int_regs(cg, spill);
    _flush_all_fp_regs(cg, spill);
}

// ---------------------------------------------------------------------------
// Operand-stack pops and queries
// ---------------------------------------------------------------------------
void pop_int_oprnd(codegen_context* cg, const reg_operand* op)
{
    if ((u1)op->kind != RK_STACK)
        return;
    int r = _search_ireg(cg, op, 0);
    if (r >= 0)
        sw_clear(C(cg)->imask, r, SW(RS_BUSY));
    lower_int_stack(cg);
}

void pop_stack(codegen_context* cg, int n, int m)
{
    for (int i = 0; i < n; i++) {
        int r = _simple_search_ireg(cg, RK_STACK, C(cg)->int_stack_count - 1, 0);
        if (r >= 0)
            sw_clear(C(cg)->imask, r, SW(RS_BUSY));
        lower_int_stack(cg);
    }
    for (int i = 0; i < m; i++) {
        register_info* c = C(cg);
        int s = _simple_search_freg(cg, RK_STACK, c->fp_stack_count - 1, 0);
        if (s >= 0)
            sw_clear(c->fmask, s, SW(RS_BUSY));
        if (c->fp_stack_count > 0)
            c->fp_stack_count--;
        if (s >= 0) {
            fp_top(cg)--;
            sw_clear(c->fmask, fp_slot(fp_top(cg)), SW(RS_BUSY));
        }
    }
}

int is_cached_int_oprnd(codegen_context* cg, const reg_operand* op) { return _search_ireg(cg, op, 0) >= 0; }
int query_int_oprnd(codegen_context* cg, const reg_operand* op) { return _search_ireg(cg, op, 1); }
int is_hot_int_oprnd(codegen_context* cg, const reg_operand* op, int r)
{
    return r >= 0 && r < RM_INT_REGS && locked(cg, r) && query_int_oprnd(cg, op) == r;
}

void pindown_int_local_oprnd(codegen_context* cg, const reg_operand* op, int r)
{
    gen_move_local_ireg(cg, (s4)op->value, r, op->type == RT_INT1 || op->type == RT_INT2, op->type == RT_INT1);
}

int _num_of_free_int_regs(codegen_context* cg, int mask)
{
    u4 busy = C(cg)->imask[RS_BUSY];
    return __builtin_popcount((u4)mask & RM_ALL_INT & ~busy);
}

// The operand more worth a register first: a temporary, a local, a stack
// slot, a constant.
static int commutative_rank(const reg_operand* op)
{
    switch ((u1)op->kind) {
    case RK_CONST:
    case RK_XCONST:
    case RK_YCONST:
        return 0;
    case RK_STACK:
        return 2;
    case RK_LOCAL:
        return 3;
    default:
        return 4;
    }
}
void reorder_commutative_int_oprnds(codegen_context*, const reg_operand** a, const reg_operand** b)
{
    if (commutative_rank(*a) < commutative_rank(*b)) {
        const reg_operand* t = *a;
        *a = *b;
        *b = t;
    }
}
void reorder_commutative_fp_oprnds(codegen_context*, const reg_operand**, const reg_operand**) {}
void reorder_commutative_oprnds(codegen_context* cg, const reg_operand** a, const reg_operand** b)
{
    if (rt_is_int_class((u1)(*a)->type) && rt_is_int_class((u1)(*b)->type))
        reorder_commutative_int_oprnds(cg, a, b);
    else
        reorder_commutative_fp_oprnds(cg, a, b);
}
