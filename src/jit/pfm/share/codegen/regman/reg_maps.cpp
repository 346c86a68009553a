// Default block states and block-entry local maps.
//
// A block that does not inherit the state of its first incoming edge gets a
// default state built from the candidate tables of its loop or tile: the
// integer-class candidates go into integer registers (0 upward, or 6
// downward when the compile context asks), floating candidates and, in
// loops, frequent floating constants to the bottom of the x87 ring, the
// highest count ending as st(0).
#include "codegen/regman/reg_manager.h"

// ---------------------------------------------------------------------------
// Status words of placed locals
// ---------------------------------------------------------------------------
struct map_context {
    codegen_context* cg;
    bbattr* b;
    loop_table_record* loop; // the block's loop record (a block inside a loop)
    loop_reg_info* info;     // its side record
    tile_record* tile;       // the block's tile record (a block outside loops)
    const u4* live;          // the live set that applies, or null
};

static u4 int_status(const map_context& x, u4 attr)
{
    bool single = bb_edge_count(x.b) == 1;
    bool is_const = (attr & LU_READ) && !(attr & LU_WRITTEN);
    u4 w = SW(RS_ASSIGNED) | SW(RS_BUSY) | SW(RS_VALID);
    if (is_const)
        w |= SW(RS_CONST);
    if (single)
        w |= SW(RS_PENDING);
    if (!single && !(x.b->flags & BB_HANDLER_COVERED) && !(x.b->flags2 & BB2_CONST_NOT_DIRTY) && !is_const)
        w |= SW(RS_DIRTY);
    return w;
}

static u4 fp_status(const map_context& x, u4 attr)
{
    bool single = bb_edge_count(x.b) == 1;
    u4 w = SW(RS_ASSIGNED) | SW(RS_BUSY) | SW(RS_VALID);
    if ((attr & LU_READ) && !(attr & LU_WRITTEN))
        w |= SW(RS_CONST);
    if (!single && !(x.b->flags & BB_HANDLER_COVERED))
        w |= SW(RS_DIRTY);
    return w;
}

static void place_int(codegen_context* cg, register_info* ri, int r, const register_entry& e, u4 w)
{
    ri->ient[r] = e;
    ri->init_ient[r] = e;
    _reg_info_set_ireg_status(cg, ri, r, w);
    _reg_info_set_init_ireg_status(cg, ri, r, w);
}
static void place_fp(codegen_context* cg, register_info* ri, int s, const register_entry& e, u4 w)
{
    ri->fent[s] = e;
    ri->init_fent[s] = e;
    _reg_info_set_freg_status(cg, ri, s, w);
    _reg_info_set_init_freg_status(cg, ri, s, w);
}

// ---------------------------------------------------------------------------
// Walk thresholds: a walk ends at the first record whose count is below them.
// ---------------------------------------------------------------------------
constexpr s4 NO_WALK = 0x7FFFFFFF;

static s4 int_threshold(const bbattr* b)
{
    u4 kind = b->flags & BB_KIND_MASK;
    if (kind == 1 || kind == 3)
        return 1;
    return b->tile_number ? 2 : NO_WALK;
}
static s4 fp_threshold(const bbattr* b, const tile_record* t)
{
    u4 kind = b->flags & BB_KIND_MASK;
    if (kind == 1 || kind == 3)
        return 1;
    if (!b->tile_number)
        return NO_WALK;
    return (t && (t->flag_byte2 & TR2_HOLDS_CALL)) ? NO_WALK : 3;
}

// ---------------------------------------------------------------------------
// setup_local_map
// ---------------------------------------------------------------------------
static void map_int_locals(const map_context& x, register_info* ri)
{
    codegen_context* cg = x.cg;
    bool down = mcc_register_order(cg->m) != 0;
    s4 limit = ri->int_cache_count;
    int next = down ? 6 : 0;
    s4 thr = int_threshold(x.b);
    for (s4 i = 0; i < ri->int_map_count && ri->int_map != nullptr; i++) {
        if (down ? next < 7 - limit : next >= limit)
            break;
        const local_usage_entry& rec = ri->int_map[i];
        if (rec.count < thr)
            break;
        if ((rec.attr & LU_NEVER) || !(rec.attr & (LU_LONG_LO | LU_LONG_HI | LU_INT | LU_WORD)))
            continue;
        register_entry e = {RK_LOCAL, RT_INT, 0, (s4)rec.local, nullptr};
        place_int(cg, ri, next, e, int_status(x, rec.attr));
        next += down ? -1 : 1;
    }
    ri->int_cache_count = down ? 6 - next : next;
}

// A double is a pair of adjacent locals n, n + 1 whose records carry the two
// double-word bits, one each; the entry names n.  Pairs that do not hold
// together, and records that mix float and double bits, are marked never to
// be candidates (in the table, for every later block of the region).
static bool double_pair_ok(codegen_context* cg, register_info* ri, s4 i, s4* partner)
{
    local_usage_entry* map = ri->fp_map;
    local_usage_entry& rec = map[i];
    u4 a = rec.attr;
    u4 mine = a & (LU_DOUBLE_LO | LU_DOUBLE_HI);
    if ((a & LU_FLOAT) && mine) {
        rec.attr |= LU_NEVER;
        return false;
    }
    if (mine == (LU_DOUBLE_LO | LU_DOUBLE_HI)) {
        rec.attr |= LU_NEVER;
        return false;
    }
    if (i == ri->fp_map_count - 1) {
        rec.attr |= LU_NEVER;
        return false;
    }
    s4 p = _reg_info_fp_local_index(cg, ri, (s4)rec.local + 1);
    u4 other = (LU_DOUBLE_LO | LU_DOUBLE_HI) & ~mine;
    if (p < 0 || !(map[p].attr & other)) {
        rec.attr |= LU_NEVER;
        return false;
    }
    if (map[p].attr & (LU_FLOAT | mine)) {
        rec.attr |= LU_NEVER;
        map[p].attr |= LU_NEVER;
        return false;
    }
    *partner = (s4)map[p].local;
    return true;
}

static int map_fp_locals(const map_context& x, register_info* ri)
{
    codegen_context* cg = x.cg;
    method_compile_context* m = cg->m;
    int n = 0;
    s4 thr = fp_threshold(x.b, x.tile);
    bool region_handler = x.loop ? loop_handler_block(x.loop) : x.tile ? (x.tile->flags & TR_HANDLER_BLOCK) != 0 : false;
    s4 skip_local = -1;   // the second word of a placed double
    for (s4 i = 0; i < ri->fp_map_count && ri->fp_map != nullptr && n < ri->fp_cache_count; i++) {
        local_usage_entry& rec = ri->fp_map[i];
        if (rec.count < thr)
            break;
        s4 local = (s4)rec.local;
        if (local == skip_local)
            continue;
        if (is_EH_Use(cg, local) && (rec.attr & LU_WRITTEN) && region_handler)
            continue;
        if (x.live && !local_set_has(x.live, mcc_nlocals(m), local))
            continue;
        s4 partner = -1;
        bool is_double = (rec.attr & (LU_DOUBLE_LO | LU_DOUBLE_HI)) != 0;
        if (is_double && !double_pair_ok(cg, ri, i, &partner))
            continue;
        if (rec.attr & LU_NEVER)
            continue;
        register_entry e = {RK_LOCAL, 0, 0, local, nullptr};
        if (rec.attr & LU_FLOAT) {
            e.type = RT_FLOAT;
        } else if (is_double) {
            e.type = RT_DOUBLE;
            skip_local = partner;
        } else {
            continue;
        }
        place_fp(cg, ri, n, e, fp_status(x, rec.attr));
        n++;
        if (!bb_in_loop(x.b) && x.b->tile_number != 0 && n < RM_FP_SLOTS) {
            entry_clear(&ri->init_fent[n]);
            sw_clear(ri->init_fmask, n, SW_1_TO_9);
        }
    }
    return n;
}

static int map_loop_constants(const map_context& x, register_info* ri, int n)
{
    loop_reg_info* l = x.info;
    if (l == nullptr || (x.b->flags & BB_KIND_MASK) != BB_IN_LOOP || l->const_table == nullptr)
        return n;
    for (int j = 0; j < l->const_count && n < ri->fp_cache_count; j++) {
        const const_usage_entry& cr = l->const_table[j];
        if (cr.count < 1)
            break;
        u4 kw = cr.kind;
        if (!(kw & (LU_FLOAT | LU_DOUBLE_LO | LU_DOUBLE_HI)) || (kw & LU_NEVER))
            continue;
        u4 kind = (kw >> 16) & 0xF;
        if (kind == 3 && cr.value <= 1)
            continue;
        if (!(kw & (LU_FLOAT | LU_DOUBLE_LO)))
            continue;
        register_entry e = {0, (u1)((kw & LU_FLOAT) ? RT_FLOAT : RT_DOUBLE), 0, (s4)cr.value, nullptr};
        switch (kind) {
        case 3: e.kind = RK_CONST; break;
        case 4: e.kind = RK_CONST; e.index = -(s4)cr.value; break;
        case 5: e.kind = RK_XCONST; break;
        case 6: e.kind = RK_YCONST; break;
        default: break;
        }
        place_fp(x.cg, ri, n, e, SW(RS_ASSIGNED) | SW(RS_BUSY) | SW(RS_VALID) | SW(RS_CONST));
        n++;
    }
    return n;
}

void setup_local_map(codegen_context* cg, int block, register_info* ri)
{
    method_compile_context* m = cg->m;
    map_context x = {cg, cg->bbtable[block], nullptr, nullptr, nullptr, nullptr};
    if (bb_in_loop(x.b)) {
        x.loop = rm_loop_record(m, x.b->loop_index);
        x.info = rm_loop_info(m, x.b->loop_index);
    }
    else if (x.b->tile_number != 0 && mcc_tiles(m) != nullptr && x.b->tile_number <= mcc_tile_count(m))
        x.tile = &mcc_tiles(m)[x.b->tile_number - 1];
    if (!mcc_no_live_sets(m)) {
        if (x.info)
            x.live = x.info->live_in;
        else if (x.b->tile_number != 0)
            x.live = bb_live_in(x.b);
    }
    map_int_locals(x, ri);
    int n = map_fp_locals(x, ri);
    n = map_loop_constants(x, ri, n);
    // Highest count at st(0): reverse the placed slots.
    for (int i = 0, j = n - 1; i < j; i++, j--) {
        register_entry t = ri->fent[i];
        ri->fent[i] = ri->fent[j];
        ri->fent[j] = t;
        t = ri->init_fent[i];
        ri->init_fent[i] = ri->init_fent[j];
        ri->init_fent[j] = t;
        u4 wi = sw_get(ri->fmask, i), wj = sw_get(ri->fmask, j);
        sw_put(ri->fmask, i, wj);
        sw_put(ri->fmask, j, wi);
        wi = sw_get(ri->init_fmask, i);
        wj = sw_get(ri->init_fmask, j);
        sw_put(ri->init_fmask, i, wj);
        sw_put(ri->init_fmask, j, wi);
    }
    ri->fp_cache_count = n;
    ri->fp_top = n;
    ri->fp_bottom = 0;
}

void create_stack_map(codegen_context*, int, register_info* ri)
{
    ri->int_stack_count = 0;
    ri->fp_stack_count = 0;
}
void setup_stack_map(codegen_context* cg, int block, register_info* ri) { create_stack_map(cg, block, ri); }

// ---------------------------------------------------------------------------
// Default states
// ---------------------------------------------------------------------------

// Keep the current registers of the state's cached locals where the current
// state already holds them (so the edge needs no move), and with pass_status
// carry their dirty and pending bits over.
void _build_default_reg_assignment(codegen_context* cg, register_info* ri, int, int keep_current, int pass_status)
{
    if (!keep_current)
        return;
    register_info* c = CUR(cg);
    u4 fixed = 0;   // registers already matched with the current state
    for (int r = 0; r < RM_INT_REGS; r++) {
        if (ri->ient[r].kind != RK_LOCAL || !sw_has(ri->imask, r, RS_BUSY))
            continue;
        reg_operand op;
        operand_from_entry(&op, &ri->ient[r]);
        int h = _search_ireg(cg, &op, 1);
        if (h < 0 || (fixed >> h & 1))
            continue;
        if (h != r) {
            register_entry t = ri->ient[r];
            ri->ient[r] = ri->ient[h];
            ri->ient[h] = t;
            t = ri->init_ient[r];
            ri->init_ient[r] = ri->init_ient[h];
            ri->init_ient[h] = t;
            u4 a = sw_get(ri->imask, r), b = sw_get(ri->imask, h);
            sw_put(ri->imask, r, b);
            sw_put(ri->imask, h, a);
            a = sw_get(ri->init_imask, r);
            b = sw_get(ri->init_imask, h);
            sw_put(ri->init_imask, r, b);
            sw_put(ri->init_imask, h, a);
            if (h > r)
                r--;   // the entry moved into r is looked at again
        }
        fixed |= 1u << h;
        if (pass_status) {
            u4 w = _reg_info_ireg_status(cg, ri, h) & ~(SW(RS_DIRTY) | SW(RS_PENDING));
            if (sw_has(c->imask, h, RS_DIRTY))
                w |= SW(RS_DIRTY);
            if (sw_has(c->imask, h, RS_PENDING))
                w |= SW(RS_PENDING);
            _reg_info_set_ireg_status(cg, ri, h, w);
            _reg_info_set_init_ireg_status(cg, ri, h, w);
        }
    }
}

register_info* create_default_register_info(codegen_context* cg, int block)
{
    method_compile_context* m = cg->m;
    bbattr* b = cg->bbtable[block];
    register_info* ri = allocate_register_info(cg);
    clear_register_info(cg, ri);
    ri->int_map_count = -1;
    ri->fp_map_count = -1;
    if (b->flags & BB_EMPTY_DEFAULT)
        return ri;
    if (bb_in_loop(b)) {
        loop_table_record* l = rm_loop_record(m, b->loop_index);
        if (l && loop_int_cands(l)) {
            ri->int_map = loop_int_cands(l);
            ri->int_map_count = l->lvattr_count;
            ri->int_cache_count = 7;
        }
        if (l && loop_fp_cands(l)) {
            ri->fp_map = loop_fp_cands(l);
            ri->fp_map_count = l->lvattr_count2;
            ri->fp_cache_count = loop_no_fp_cache(l) ? 0 : 7;
        }
    } else if (b->tile_number != 0 && mcc_tiles(m) != nullptr && b->tile_number <= mcc_tile_count(m)) {
        const tile_record& t = mcc_tiles(m)[b->tile_number - 1];
        if (t.int_cands) {
            ri->int_map = t.int_cands;
            ri->int_map_count = t.int_count;
            ri->int_cache_count = 7;
        }
        if (t.fp_cands) {
            ri->fp_map = t.fp_cands;
            ri->fp_map_count = t.fp_count;
            ri->fp_cache_count = 7;
        }
    }
    if (block != 1)
        setup_local_map(cg, block, ri);
    else
        clear_register_info(cg, ri);
    setup_stack_map(cg, block, ri);
    if (!(b->flags & BB_NO_DEFAULT_ASSIGN))
        _build_default_reg_assignment(cg, ri, block, 0, 0);

    if (bb_edge_count(b) == 1 && ri->int_map != nullptr) {
        register_info* c = CUR(cg);
        u4 matched = 0;
        for (int r = 0; r < RM_INT_REGS; r++) {
            if (c->ient[r].kind != RK_LOCAL || !sw_has(c->imask, r, RS_VALID))
                continue;
            reg_operand op;
            operand_from_entry(&op, &c->ient[r]);
            int h = _reg_info_search_ireg(cg, ri, &op, 0);
            if (h < 0)
                continue;
            matched |= 1u << h;
            u4 w = _reg_info_ireg_status(cg, ri, h) & ~(SW(RS_DIRTY) | SW(RS_PENDING));
            if (sw_has(c->imask, r, RS_DIRTY) && !(b->flags & BB_HANDLER_COVERED))
                w |= SW(RS_DIRTY);
            if (sw_has(c->imask, r, RS_PENDING))
                w |= SW(RS_PENDING);
            _reg_info_set_ireg_status(cg, ri, h, w);
            _reg_info_set_init_ireg_status(cg, ri, h, w);
        }
        for (int r = 0; r < RM_INT_REGS; r++) {
            if ((matched >> r & 1) || ri->ient[r].kind != RK_LOCAL || !sw_has(ri->imask, r, RS_BUSY))
                continue;
            if (block == 1) {
                int i = _reg_info_int_local_index(cg, ri, ri->ient[r].index);
                if (i < 0 || !(ri->int_map[i].attr & LU_READ))
                    continue;
            }
            u4 w = (_reg_info_ireg_status(cg, ri, r) | SW(RS_PENDING)) & ~SW(RS_DIRTY);
            _reg_info_set_ireg_status(cg, ri, r, w);
            _reg_info_set_init_ireg_status(cg, ri, r, w);
        }
    }
    if (!all_locals_eh(cg))
        _reg_info_drop_dead_cache_regs(cg, ri, block, 0);
    return ri;
}
