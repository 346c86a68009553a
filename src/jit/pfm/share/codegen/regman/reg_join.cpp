// Register-state changes at block joins: the moves that turn the current
// register state into the state a block expects on entry.
//
// Integer registers: every current register whose value the target expects
// elsewhere gets a target register; the map is cut into chains (paths that end
// in a register whose value is not needed, and cycles), paths are emitted
// from their end backwards, cycles through a work register or with exchanges.
// Registers the target expects but nobody holds are loaded; registers holding
// what the target does not expect are written back and emptied.
//
// x87: positions are walked from the common bottom upward; at each position
// the expected operand is brought there by exchanges through st(0), pushed
// when nobody holds it, and entries the target does not hold are popped (or
// stored) from the top.
#include "codegen/regman/reg_manager.h"

// ---------------------------------------------------------------------------
// Chains of the integer move map
// ---------------------------------------------------------------------------
int create_int_register_dags(codegen_context*, register_info*, u4 mask, const s4* target, int* nchains,
                             s4 chains[][8], int* lengths, int* cycles)
{
    u4 visited = 0;
    int n = 0;
    for (int r = 0; r < RM_INT_REGS; r++) {
        if (!(mask >> r & 1) || (visited >> r & 1))
            continue;
        s4 cur[9];
        int len = 0;
        int cycle = 0;
        int merged = -1;
        s4 x = r;
        for (;;) {
            cur[len++] = x;
            visited |= 1u << x;
            s4 y = target[x];
            if (y < 0 || y >= RM_INT_REGS || !(mask >> y & 1)) {
                cur[len++] = y;          // a path: its end's value is not needed
                break;
            }
            if (visited >> y & 1) {
                if (y == cur[0]) {
                    cycle = 1;
                    break;
                }
                for (int k = 0; k < n; k++)
                    if (chains[k][0] == y)
                        merged = k;
                if (merged < 0)
                    rm_fatal("register move map is not a permutation");
                break;
            }
            x = y;
        }
        if (merged >= 0) {
            int total = len + lengths[merged];
            if (total > 8)
                rm_fatal("register move chain too long");
            for (int k = lengths[merged] - 1; k >= 0; k--)
                chains[merged][k + len] = chains[merged][k];
            for (int k = 0; k < len; k++)
                chains[merged][k] = cur[k];
            lengths[merged] = total;
            continue;
        }
        for (int k = 0; k < len; k++)
            chains[n][k] = cur[k];
        lengths[n] = len;
        cycles[n] = cycle;
        n++;
    }
    *nchains = n;
    return n;
}

static void move_and_swap(codegen_context* cg, int dst, int src)
{
    if (ireg_has_value(cg, src))
        gen_move_ireg_ireg(cg, dst, src);
    _swap_assoc_iregs(cg, dst, src, 0);
}

void gen_change_int_register_dags(codegen_context* cg, register_info*, u4 mask, const s4*, int nchains,
                                  s4 chains[][8], const int* lengths, const int* cycles)
{
    u4 remaining = mask;
    bool any_cycle = false;
    for (int k = 0; k < nchains; k++) {
        if (cycles[k]) {
            any_cycle = true;
            continue;
        }
        const s4* ch = chains[k];
        for (int j = lengths[k] - 1; j >= 1; j--) {
            move_and_swap(cg, ch[j], ch[j - 1]);
            remaining &= ~(1u << ch[j - 1]);
        }
    }
    if (!any_cycle)
        return;
    int w = -1;
    if (orva_processor_type != 5)
        w = alloc_work_ireg(cg, ~remaining & RM_ALL_INT);
    for (int k = 0; k < nchains; k++) {
        if (!cycles[k])
            continue;
        const s4* ch = chains[k];
        int last = lengths[k] - 1;
        if (w < 0) {
            for (int j = last; j >= 1; j--) {
                bool a = ireg_has_value(cg, ch[j]), b = ireg_has_value(cg, ch[j - 1]);
                if (a && b)
                    gen_swap_ireg_ireg(cg, ch[j], ch[j - 1]);
                else if (b)
                    gen_move_ireg_ireg(cg, ch[j], ch[j - 1]);
                else if (a)
                    gen_move_ireg_ireg(cg, ch[j - 1], ch[j]);
                _swap_assoc_iregs(cg, ch[j], ch[j - 1], 0);
            }
        } else {
            move_and_swap(cg, w, ch[last]);
            for (int j = last; j >= 1; j--)
                move_and_swap(cg, ch[j], ch[j - 1]);
            move_and_swap(cg, ch[0], w);
        }
    }
    if (w >= 0)
        free_work_ireg(cg, w);
}

// ---------------------------------------------------------------------------
// Permutations: for each current register whose value the state expects,
// the register that expects it.
// ---------------------------------------------------------------------------
u4 _int_reg_permutation(codegen_context* cg, register_info* ri, s4* out)
{
    u4 p = 0;
    for (int r = 0; r < RM_INT_REGS; r++) {
        if (ri->ient[r].kind == 0 || !sw_has(ri->imask, r, RS_BUSY))
            continue;
        reg_operand op;
        operand_from_entry(&op, &ri->ient[r]);
        int c = _search_ireg(cg, &op, 0);
        if (c >= 0) {
            out[c] = r;
            p |= 1u << c;
        }
    }
    return p;
}
u4 _fp_reg_permutation(codegen_context* cg, register_info* ri, s4* out)
{
    u4 p = 0;
    for (int s = 0; s < RM_FP_SLOTS; s++) {
        if (ri->fent[s].kind == 0 || !sw_has(ri->fmask, s, RS_BUSY))
            continue;
        reg_operand op;
        operand_from_entry(&op, &ri->fent[s]);
        int c = _search_freg(cg, &op, 0);
        if (c >= 0) {
            out[c] = s;
            p |= 1u << c;
        }
    }
    return p;
}

// ---------------------------------------------------------------------------
// Integer change
// ---------------------------------------------------------------------------
static bool live_sets_usable(codegen_context* cg) { return !all_locals_eh(cg) && !mcc_no_live_sets(cg->m); }

// Whether an expected local must be loaded into its register on this edge:
// not when it is dead into the target, when block 0 has no value for it yet,
// or when the target marks it pending or without value.  (A rule that would
// also skip locals missing from a third set of the source block is not
// applied: it leaves the register without the value the target's state
// promises, and the pass driver turns it off before code generation anyway.)
static bool load_expected(codegen_context* cg, register_info* ri, int r, const register_entry& e, int edge, int f,
                          int t)
{
    if (e.kind != RK_LOCAL)
        return true;
    method_compile_context* m = cg->m;
    if (edge && live_sets_usable(cg) && t >= 0 && !local_set_has(bb_live_in(cg->bbtable[t]), mcc_nlocals(m), e.index))
        return false;
    if (f == 0 && cg->mb != nullptr && e.index >= (s4)cg->mb->args_size)
        return false;
    if (sw_has(ri->imask, r, RS_NOVALUE) || sw_has(ri->imask, r, RS_PENDING))
        return false;
    return true;
}

void gen_change_int_registers(codegen_context* cg, register_info* ri, int edge, int f, int t, int spill)
{
    register_info* c = CUR(cg);
    bool single = false, sticky = false;
    if (edge && t >= 0) {
        bbattr* tb = cg->bbtable[t];
        single = bb_edge_count(tb) == 1;
        sticky = (tb->flags & 0x20000000) != 0;
    }
    s4 target[RM_INT_REGS];
    for (int r = 0; r < RM_INT_REGS; r++)
        target[r] = -1;
    s4 saved_quad = cg->cur_quad;
    cg->cur_quad = -1;
    u4 p = _int_reg_permutation(cg, ri, target);
    _flush_int_regs(cg, ~p & RM_ALL_INT, RM_ALL_INT, spill, 0);

    for (int k = 0; k < RM_INT_REGS; k++) {
        if (!(p >> k & 1))
            continue;
        int r = target[k];
        if (sw_has(c->imask, k, RS_DIRTY)) {
            if (edge && !sticky && single && !sw_has(ri->imask, r, RS_PENDING)) {
                sw_set(ri->imask, r, SW(RS_DIRTY));
                sw_set(ri->init_imask, r, SW(RS_DIRTY));
                sw_clear(ri->init_imask, r, SW(RS_PENDING));
            } else if (c->ient[k].kind == RK_LOCAL && !sw_has(ri->imask, r, RS_DIRTY)) {
                _spillout_ireg(cg, k, 0);
            }
        }
        if (sw_has(ri->imask, r, RS_PENDING)) {
            if (!sw_has(c->imask, k, RS_PENDING)) {
                sw_clear(ri->imask, r, SW(RS_PENDING));
                sw_clear(ri->init_imask, r, SW(RS_PENDING));
            }
        } else if (sw_has(c->imask, k, RS_PENDING)) {
            reg_operand op;
            operand_from_entry(&op, &c->ient[k]);
            _load_int_oprnd(cg, k, &op);
            sw_clear(c->imask, k, SW(RS_PENDING));
            sw_clear(c->init_imask, k, SW(RS_PENDING));
        }
    }

    u4 moves = p;
    for (int k = 0; k < RM_INT_REGS; k++)
        if ((moves >> k & 1) && target[k] == k)
            moves &= ~(1u << k);
    if (moves) {
        s4 chains[RM_INT_REGS][8];
        int lengths[RM_INT_REGS], cycles[RM_INT_REGS], n = 0;
        create_int_register_dags(cg, ri, moves, target, &n, chains, lengths, cycles);
        gen_change_int_register_dags(cg, ri, moves, target, n, chains, lengths, cycles);
    }

    for (int r = 0; r < RM_INT_REGS; r++) {
        const register_entry& e = ri->ient[r];
        if (sw_has(c->imask, r, RS_BUSY) || e.kind == 0 || !sw_has(ri->imask, r, RS_BUSY))
            continue;
        bool tracked = e.kind == RK_STACK || e.kind == RK_LOCAL || rk_is_const(e.kind);
        reg_operand op;
        operand_from_entry(&op, &e);
        if (load_expected(cg, ri, r, e, edge, f, t))
            _load_int_oprnd(cg, r, &op);
        if (tracked)
            _invalidate_iregs(cg, r, &op);
        c->ient[r] = e;
        if (e.kind == RK_STACK)
            ireg_read_binding(cg, r, &op);
        if (tracked)
            _set_ireg_status(cg, r, _reg_info_ireg_status(cg, ri, r));
    }
    cg->cur_quad = saved_quad;
}

// ---------------------------------------------------------------------------
// x87 change
// ---------------------------------------------------------------------------
struct fp_change {
    codegen_context* cg;
    register_info* ri;
    int edge, f, t;
};

static bool dead_leaving(const fp_change& x, const register_entry& e)
{
    return e.kind == RK_LOCAL && x.edge && live_sets_usable(x.cg) && x.f >= 0 &&
           !local_set_has(bb_live_out(x.cg->bbtable[x.f]), mcc_nlocals(x.cg->m), e.index);
}
static bool dead_entering(const fp_change& x, const register_entry& e)
{
    return e.kind == RK_LOCAL && x.edge && live_sets_usable(x.cg) && x.t >= 0 &&
           !local_set_has(bb_live_in(x.cg->bbtable[x.t]), mcc_nlocals(x.cg->m), e.index);
}

// Take the top entry off: a dead local is popped, anything else spilled.
static void leave_top(const fp_change& x)
{
    codegen_context* cg = x.cg;
    int s = fp_slot(fp_top(cg) - 1);
    register_entry& e = CUR(cg)->fent[s];
    if (dead_leaving(x, e) || !sw_has(CUR(cg)->fmask, s, RS_BUSY)) {
        gen_pop_freg(cg);
        freg_empty(cg, s);
    } else {
        _spillout_freg(cg, s, 0);
    }
    sw_clear(CUR(cg)->fmask, s, SW_ALL);
}

// fld of an operand-stack value from its slot, which stays allocated.
static void load_stack_value(codegen_context* cg, const register_entry& e)
{
    s4 d = C_Style_stack(cg, e.second, 0) - cg->mci->sp_offset;
    if (e.type == RT_DOUBLE)
        gen_move_fr8_mm(cg, GR_ESP, 0, 0, d, 66);
    else
        gen_move_fr_mm(cg, GR_ESP, 0, 0, d, 66);
}

// Push the entry the target expects at its slot s onto the top.  A hole of
// the target (a slot without an operand) still occupies a hardware
// register there: it gets a placeholder push, like a dead local.
static void push_expected(const fp_change& x, int s)
{
    codegen_context* cg = x.cg;
    const register_entry& e = x.ri->fent[s];
    reg_operand op;
    operand_from_entry(&op, &e);
    if (e.kind == RK_NONE || dead_entering(x, e)) {
        gen_push_freg(cg);
    } else {
        fp_top(cg)++;
        int ns = fp_slot(fp_top(cg) - 1);
        if (e.kind == RK_STACK)
            load_stack_value(cg, e);
        else
            _load_fp_oprnd(cg, ns, &op);
    }
    int ns = fp_slot(fp_top(cg) - 1);
    CUR(cg)->fent[ns] = e;
    _set_freg_status(cg, ns, _reg_info_freg_status(cg, x.ri, s));
}

static bool ri_holds(const fp_change& x, const register_entry& e)
{
    if (e.kind == 0)
        return false;
    reg_operand op;
    operand_from_entry(&op, &e);
    return _reg_info_search_freg(x.cg, x.ri, &op, 0) >= 0;
}

// Store the dirty entry at position p without popping it.
static void store_in_place(const fp_change& x, s4 p)
{
    codegen_context* cg = x.cg;
    s4 top1 = fp_top(cg) - 1;
    const register_entry e = CUR(cg)->fent[fp_slot(p)];
    int dbl = e.type == RT_DOUBLE;
    bool local = e.kind == RK_LOCAL && !dead_leaving(x, e);
    if (!local && e.kind != RK_STACK)
        return;
    if (p != top1)
        gen_swap_freg_freg(cg, p, top1);
    if (local)
        gen_move_local_freg_p(cg, e.index, top1, dbl, 0);
    else
        gen_move_stack_freg0(cg, e.second, top1, dbl, 0);
    if (p != top1)
        gen_swap_freg_freg(cg, p, top1);
}

// The whole x87 state is rebuilt when the stacks do not line up: written
// back and reloaded, unless every assigned slot already agrees.
static void _load_fp_regs_for_change(const fp_change& x)
{
    codegen_context* cg = x.cg;
    register_info* c = CUR(cg);
    register_info* ri = x.ri;
    bool differs = fp_top(cg) != ri->fp_top || fp_bottom(cg) != ri->fp_bottom;
    for (int s = 0; s < RM_FP_SLOTS && !differs; s++) {
        if (!sw_has(c->fmask, s, RS_ASSIGNED) && !sw_has(ri->fmask, s, RS_ASSIGNED) &&
            !sw_has(c->fmask, s, RS_BUSY) && !sw_has(ri->fmask, s, RS_BUSY))
            continue;
        const u4 bits = SW(RS_BUSY) | SW(RS_VALID) | SW(RS_PENDING);
        if (!entries_match(&c->fent[s], &ri->fent[s]) || (sw_get(c->fmask, s) & bits) != (sw_get(ri->fmask, s) & bits) ||
            (sw_has(c->fmask, s, RS_DIRTY) && !sw_has(ri->fmask, s, RS_DIRTY)))
            differs = true;
    }
    if (!differs)
        return;
    _flush_fp_regs(cg, RM_ALL_FP, RM_ALL_FP, 0, 0, x.edge, x.f);
    _load_fp_regs(cg, ri, x.edge, x.t);
}

void gen_change_fp_registers(codegen_context* cg, register_info* ri, int edge, int f, int t)
{
    fp_change x = {cg, ri, edge, f, t};
    register_info* c = CUR(cg);
    if (fp_top(cg) == fp_bottom(cg) || ri->fp_top == ri->fp_bottom || fp_bottom(cg) != ri->fp_bottom) {
        _load_fp_regs_for_change(x);
        return;
    }
    bool keep_dirt = edge && t >= 0 && !(cg->bbtable[t]->flags & BB_HANDLER_COVERED) &&
                     bb_edge_count(cg->bbtable[t]) == 1;
    for (s4 p = fp_bottom(cg); p < fp_top(cg) && p < ri->fp_top; p++) {
        while (fp_top(cg) > p && !ri_holds(x, c->fent[fp_slot(fp_top(cg) - 1)]))
            leave_top(x);
        if (p >= fp_top(cg))
            break;
        int sp = fp_slot(p);
        const register_entry& want = ri->fent[sp];
        if (!entries_match(&c->fent[sp], &want)) {
            s4 found = -1;
            for (s4 v = p + 1; v < fp_top(cg); v++)
                if (entries_match(&c->fent[fp_slot(v)], &want) && sw_has(c->fmask, fp_slot(v), RS_BUSY)) {
                    found = v;
                    break;
                }
            if (found >= 0) {
                rm_exchange_fregs(cg, found, fp_top(cg) - 1);
                rm_exchange_fregs(cg, p, fp_top(cg) - 1);
            } else {
                if (fp_top(cg) - fp_bottom(cg) >= RM_FP_SLOTS) {
                    s4 victim = p;
                    for (s4 v = p + 1; v < fp_top(cg); v++)
                        if (!ri_holds(x, c->fent[fp_slot(v)])) {
                            victim = v;
                            break;
                        }
                    rm_exchange_fregs(cg, victim, fp_top(cg) - 1);
                    leave_top(x);
                }
                push_expected(x, sp);
                if (p != fp_top(cg) - 1)
                    rm_exchange_fregs(cg, p, fp_top(cg) - 1);
            }
        }
        if (sw_has(c->fmask, sp, RS_DIRTY) && !sw_has(ri->fmask, sp, RS_DIRTY)) {
            if (keep_dirt) {
                sw_set(ri->fmask, sp, SW(RS_DIRTY));
                sw_set(ri->init_fmask, sp, SW(RS_DIRTY));
            } else {
                store_in_place(x, p);
                sw_clear(c->fmask, sp, SW(RS_DIRTY));
            }
        }
    }
    while (fp_top(cg) > ri->fp_top)
        leave_top(x);
    for (s4 p = fp_top(cg); p < ri->fp_top; p++)
        push_expected(x, fp_slot(p));
}

// ---------------------------------------------------------------------------
// Entry points toward a block's state
// ---------------------------------------------------------------------------
void _change_int_registers_to_bb(codegen_context* cg, int from, int to, u4)
{
    register_info* ri = bb_reginfo(cg->bbtable[to]);
    if (ri != nullptr)
        gen_change_int_registers(cg, ri, 1, from, to, 0);
}
void _change_fp_registers_to_bb(codegen_context* cg, int from, int to, u4)
{
    register_info* ri = bb_reginfo(cg->bbtable[to]);
    if (ri != nullptr)
        gen_change_fp_registers(cg, ri, 1, from, to);
}
void gen_change_registers(codegen_context* cg, register_info* ri, int edge, int from, int to)
{
    gen_change_int_registers(cg, ri, edge, from, to, 0);
    gen_change_fp_registers(cg, ri, edge, from, to);
}
