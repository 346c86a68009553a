// tableswitch and lookupswitch.
//
// Shapes: a compare chain (lookupswitch up to 8 pairs, tableswitch up to 4
// cases), a dense jump table (tableswitch of more cases; lookupswitch of
// more than 8 pairs filling at least 67 percent of its key range), a
// compare tree whose leaves are chains of at most 10 pairs (sparse
// lookupswitch up to 99 pairs) and the run-time binary search of
// `__lookupswitch` (sparse, 100 pairs or more).
//
// Targets: a switch entry block (every edge into it comes from this switch)
// is branched to directly and converts the register state saved at the
// switch when its own code begins; any other target is reached through an
// edge stub written after the shape, which converts the state and jumps.
// Jumps and table words to stubs are `branch_patch_record`s (the context's
// back-patch record form) resolved against the stub address table in the
// writing pass.
//
// Short jumps to stubs and the tree's forward jumps: the measuring pass
// writes them near and notes, per jump, whether the target lay within 127
// bytes of the near jump's end; the writing pass takes the short form only
// then.  The marks are kept in the switch quadruple's aux word (unused by
// switches), one bit per such jump in emission order.  Code between such a
// jump and its target only shrinks in the writing pass, so the short form
// always reaches.  (Fault mended: a chain's or leaf's short jump could pass
// 127 bytes when register-state conversions or many compares lay between.)
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "codegen/gen/gen_arith.h"
#include "driver/driver.h"
#include "driver/memory.h"

namespace {

constexpr int RT_LOOKUPSWITCH = 1;
constexpr u4 CHAIN_MAX_PAIRS = 8;
constexpr u4 TABLE_CHAIN_MAX_CASES = 4;
constexpr u4 TREE_MAX_PAIRS = 99;
constexpr u4 LEAF_MAX_PAIRS = 10;
constexpr s4 DENSE_PERCENT = 67;
constexpr int TABLE_ALIGN = 32;
constexpr u4 MAX_DECISIONS = 32;

s4 be32_at(const u1* p) { return (s4)((u4)p[0] << 24 | (u4)p[1] << 16 | (u4)p[2] << 8 | (u4)p[3]); }

struct switch_gen {
    codegen_context* cg;
    quadruple* q;
    bbattr* bb;
    u4 cur;
    s4 next;
    bool lookup;          // lookupswitch (else tableswitch)
    u4 n;                 // pairs (lookup) or cases (table)
    s4 low, high;
    const u1* pairs;      // lookupswitch: the first match/offset pair
    work_pool* pool;
    backpatch_rec* rec;   // pending records
    u4 nrec;
    u4 rec_cap;
    u4* table;            // stub address table
    u4 table_n;
    register_info* saved;
    int k;                // key register (manager index)
    u4 decision;          // writing pass: the measuring pass's short marks
    u4 decision_k;        // next decidable jump
};

// Code position: the address in the writing pass, the size so far when measuring.
u4 here(const switch_gen* s) { return s->cg->pass == CG_PASS_WRITE ? (u4)(uintptr_t)s->cg->code : s->cg->code_size; }

s4 match(const switch_gen* s, u4 i) { return s->lookup ? be32_at(s->pairs + 8 * i) : s->low + (s4)i; }
u4 target(const switch_gen* s, u4 position) { return s->bb->succ[position]; }
bool entry_block(const switch_gen* s, u4 block) { return (s->cg->bbtable[block]->flags & BB_SWITCH_ENTRY) != 0; }

// Successor position of key v in a dense table (walking the pairs).
struct key_walk {
    u4 pair = 0;
};
u4 position_of_key(const switch_gen* s, key_walk* w, s4 v)
{
    if (!s->lookup)
        return 1 + (u4)(v - s->low);
    if (w->pair < s->n && match(s, w->pair) == v)
        return 1 + w->pair++;
    return 0;
}

void restore_saved(switch_gen* s) { restore_register_info(s->cg, s->saved); }

// The bookkeeping of a table word that goes straight to a switch entry block.
void enter_directly(switch_gen* s, u4 block)
{
    codegen_context* cg = s->cg;
    auto* links = static_cast<bb_link*>(cg->link_table);
    bb_link* l = &links[s->cur];
    if (l->saved == nullptr)
        l->saved = save_register_info(cg);
    l->target = block;
    links[block].waiting = s->cur;
    l->pending = 1;
    l->sp_offset = cg->mci->sp_offset;
    bbattr* t = cg->bbtable[block];
    t->entry_state = (t->entry_state & ~0xFFu) | 1;
    t->entry_stack_offset = (u2)cg->mci->sp_offset;
}

backpatch_rec* add_record(switch_gen* s, u4 index, u4 base, int is_short, u4 decision_bit)
{
    if (s->nrec == s->rec_cap)
        cg_service_missing("room for switch records");
    backpatch_rec* r = &s->rec[s->nrec++];
    u4 end = here(s);
    r->site = s->cg->pass == CG_PASS_WRITE ? s->cg->code : nullptr;
    r->target = index;
    r->position = base == 0 ? end : base;
    r->is_short = (u2)is_short;
    r->reconcile = (u2)decision_bit;
    if (s->cg->pass == CG_PASS_MEASURE)
        r->site = reinterpret_cast<u1*>((uintptr_t)end);
    return r;
}

// The next decidable jump: its bit (1-based, 0 when none is left) and
// whether the writing pass writes it short.
u4 next_decision(switch_gen* s, int* is_short)
{
    u4 k = s->decision_k++;
    *is_short = 0;
    if (k >= MAX_DECISIONS)
        return 0;
    if (s->cg->pass == CG_PASS_WRITE)
        *is_short = (s->decision >> k) & 1;
    return k + 1;
}

void mark_short(switch_gen* s, u4 bit)
{
    if (bit != 0 && s->cg->pass == CG_PASS_MEASURE)
        s->q->aux |= 1u << (bit - 1);
}

// A conditional jump to the stub of table index `index`.
void jump_to_stub(switch_gen* s, u4 cond, u4 index, bool decidable)
{
    int is_short = 0;
    u4 bit = decidable ? next_decision(s, &is_short) : 0;
    _gen_jmpcc(s->cg, (int)cond, UNRESOLVED_TARGET, is_short ? 1 : 2);
    add_record(s, index, 0, is_short, bit);
}

// A forward jump patched by land(); answers its end and decision bit.
struct forward_jump {
    u4 end;
    u4 bit;
    int is_short;
};
forward_jump jump_forward(switch_gen* s, u4 cond, bool decidable)
{
    forward_jump j = {0, 0, 0};
    if (decidable)
        j.bit = next_decision(s, &j.is_short);
    _gen_jmpcc(s->cg, (int)cond, UNRESOLVED_TARGET, j.is_short ? 1 : 2);
    j.end = here(s);
    return j;
}
void land(switch_gen* s, const forward_jump& j)
{
    u4 d = here(s) - j.end;
    if (s->cg->pass == CG_PASS_MEASURE) {
        if (d <= 127)
            mark_short(s, j.bit);
        return;
    }
    u1* end = reinterpret_cast<u1*>((uintptr_t)j.end);
    if (j.is_short) {
        if (d > 127) {
            cg_internal_error("gen_lookupswitch: short jump out of range (%d)", (int)d);
        }
        end[-1] = (u1)d;
    } else {
        cg_write32(end - 4, d);
    }
}

// Pool and arrays: only when some target is reached through a stub.
int make_pool(switch_gen* s, u4 records, u4 entries)
{
    bool needed = !entry_block(s, target(s, 0));
    for (u4 i = 0; !needed && i < s->n; i++)
        needed = !entry_block(s, target(s, 1 + i));
    if (!needed)
        return 0;
    s->pool = jit_wmem_init(WMEM_SEGMENT_SIZE);
    if (s->pool == nullptr)
        return 1;
    s->rec = static_cast<backpatch_rec*>(jit_wmem_alloc(s->pool, records * sizeof(backpatch_rec)));
    s->table = static_cast<u4*>(jit_wmem_alloc(s->pool, entries * sizeof(u4)));
    if (s->rec == nullptr || s->table == nullptr) {
        jit_wmem_free(s->pool);
        s->pool = nullptr;
        return 1;
    }
    memset(s->table, 0, entries * sizeof(u4));
    s->rec_cap = records;
    s->table_n = entries;
    return 0;
}

// Edge stubs for the table indexes, ascending; `position_of` gives an
// index's successor position.  Consecutive indexes with one target share a
// stub; every index of the default shares the default's.
template <typename F>
void edge_stubs(switch_gen* s, u4 first, u4 last, F position_of)
{
    if (s->nrec == 0)
        return;
    codegen_context* cg = s->cg;
    u4 last_target = 0xFFFFFFFFu, last_address = 0;
    u4 default_address = 0;
    bool have_default = false;
    for (u4 i = first; i <= last; i++) {
        u4 pos = position_of(i);
        u4 t = target(s, pos);
        if (entry_block(s, t))
            continue;
        if (t == last_target) {
            s->table[i] = last_address;
            continue;
        }
        if (pos == 0 && have_default) {
            s->table[i] = default_address;
            continue;
        }
        cg_close_window(cg);
        u4 at = here(s);
        restore_saved(s);
        gen_jmp_and_patch(cg, COND_ALWAYS, t, s->cur, s->next, 0);
        cg_close_window(cg);
        s->table[i] = at;
        last_target = t;
        last_address = at;
        if (pos == 0) {
            have_default = true;
            default_address = at;
        }
    }
    restore_saved(s);
}

// Resolves the pending records: the writing pass patches them; the
// measuring pass marks the decidable jumps whose stub lay near enough.
void resolve(switch_gen* s)
{
    if (s->nrec == 0)
        return;
    if (s->cg->pass == CG_PASS_WRITE) {
        JITbackPatch(s->rec, s->rec + s->nrec, s->table);
        return;
    }
    for (u4 i = 0; i < s->nrec; i++) {
        backpatch_rec* r = &s->rec[i];
        if (r->reconcile != 0 && s->table[r->target] - (u4)(uintptr_t)r->site <= 127)
            mark_short(s, r->reconcile);
    }
}

// The jump to the default after a chain (and at the end of a tree leaf).
void jump_to_default(switch_gen* s, int fall)
{
    u4 d = target(s, 0);
    if (entry_block(s, d))
        gen_switch_and_patch(s->cg, COND_ALWAYS, d, s->cur, s->next, fall);
    else
        gen_jmp_and_patch(s->cg, COND_ALWAYS, d, s->cur, s->next, fall && (s4)d == s->next);
    cg_close_window(s->cg);
}

// ---- compare chain: record index i = pair i ----
void chain(switch_gen* s)
{
    for (u4 i = 0; i < s->n; i++) {
        _gen_cmp_gr_i4(s->cg, gid(s->k), match(s, i));
        u4 t = target(s, 1 + i);
        if (entry_block(s, t)) {
            gen_switch_and_patch(s->cg, COND_EQ, t, s->cur, s->next, 0);
            cg_close_window(s->cg);
            restore_saved(s);
        } else {
            jump_to_stub(s, COND_EQ, i, true);
        }
    }
    jump_to_default(s, s->nrec == 0);
    edge_stubs(s, 0, s->n == 0 ? 0 : s->n - 1, [&](u4 i) { return 1 + i; });
    if (s->n == 0)
        restore_saved(s);
}

// ---- compare tree: record index = successor position ----
void leaf(switch_gen* s, u4 a, s4 b)
{
    for (s4 j = (s4)a; j <= b; j++) {
        _gen_cmp_gr_i4(s->cg, gid(s->k), match(s, (u4)j));
        u4 t = target(s, 1 + (u4)j);
        if (entry_block(s, t)) {
            restore_saved(s);
            gen_switch_and_patch(s->cg, COND_EQ, t, s->cur, s->next, 0);
            cg_close_window(s->cg);
        } else {
            jump_to_stub(s, COND_EQ, 1 + (u4)j, false);
        }
    }
    restore_saved(s);
    jump_to_default(s, 0);
    restore_saved(s);
}

void tree(switch_gen* s, u4 a, u4 b)
{
    u4 m = (a + b) / 2;
    _gen_cmp_gr_i4(s->cg, gid(s->k), match(s, m));
    if (m - a + 1 >= LEAF_MAX_PAIRS + 1) {
        forward_jump jg = jump_forward(s, COND_GT, false);
        tree(s, a, m);
        land(s, jg);
        tree(s, m + 1, b);
        return;
    }
    forward_jump jg = jump_forward(s, COND_GT, true);
    leaf(s, a, (s4)m);
    land(s, jg);
    leaf(s, m + 1, (s4)b);
}

// A table entry aimed straight at a block entered without reconciliation:
// the back-patch table fills its address once the block's is known.
void link_table_entry(switch_gen* s, backpatch_rec* rec, u4 block, u4 table_start)
{
    codegen_context* cg = s->cg;
    if (cg_backpatch_limit != nullptr && rec >= cg_backpatch_limit)
        cg_service_missing("room in the back-patch table");
    rec->site = cg->pass == CG_PASS_WRITE ? cg->code : nullptr;
    rec->target = block;
    rec->position = table_start;
    rec->is_short = 0;
    rec->reconcile = 0;
    enter_directly(s, block);
}

// ---- dense table: record index 0 the default, 1 + (v - low) key v ----
void dense(switch_gen* s, reg_operand* key, quadruple** slot)
{
    codegen_context* cg = s->cg;
    u4 range = (u4)s->high - (u4)s->low + 1;
    int k = gi_copy(cg, key, slot, RM_ALL_INT, 0);
    cg_close_window(cg);
    if (s->low != 0)
        _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, gid(k), s->low, SIZE_DWORD);
    int t = gi_alloc(cg, RM_ALL_INT, rbit(k));
    _free_int_reg(cg, t, 0, 0, 0);
    _free_int_reg(cg, k, 0, 0, 0);
    s->saved = save_register_info(cg);
    cg_close_window(cg);
    _gen_cmp_gr_i4(cg, gid(k), (s4)(range - 1));
    u4 d = target(s, 0);
    if (entry_block(s, d)) {
        gen_switch_and_patch(cg, COND_A, d, s->cur, s->next, 0);
        cg_close_window(cg);
        restore_saved(s);
    } else {
        jump_to_stub(s, COND_A, 0, false);
    }
    _gen_move_gr_i4(cg, gid(t), (s4)UNRESOLVED_TARGET);
    u1* imm = cg->code - 4;
    _gen_move_gr_mem(cg, gid(k), gid(t), gid(k), 4, 0, SIZE_DWORD, SEG_NONE);
    _gen_jmp_gr(cg, 0, 0, gid(k));
    if (s->pool == nullptr) {
        key_walk w;
        for (u4 i = 0; i < range; i++)
            enter_directly(s, target(s, position_of_key(s, &w, s->low + (s4)i)));
        register_datatable(cg, s->q, cg->pass == CG_PASS_WRITE ? imm : nullptr,
                           s->lookup ? DT_LOOKUPSWITCH : DT_TABLESWITCH, s->cur, here(s), (range + 1) * 4 + 32);
        return;
    }
    _make_code_align(cg, 0, TABLE_ALIGN);
    u4 start = here(s);
    if (cg->pass == CG_PASS_WRITE)
        cg_write32(imm, start);
    key_walk w;
    auto* links_rec = static_cast<backpatch_rec*>(cg->backpatch_cursor);
    for (u4 i = 0; i < range; i++) {
        u4 pos = position_of_key(s, &w, s->low + (s4)i);
        u4 block = target(s, pos);
        _gen_addr(cg, UNRESOLVED_TARGET);
        if (entry_block(s, block)) {
            link_table_entry(s, links_rec++, block, start);
        } else {
            add_record(s, pos == 0 ? 0 : 1 + i, start, 0, 0);
        }
    }
    cg->backpatch_cursor = links_rec;
    key_walk w2;
    edge_stubs(s, 0, range, [&](u4 i) { return i == 0 ? 0u : position_of_key(s, &w2, s->low + (s4)(i - 1)); });
}

// ---- run-time search: record index = successor position ----
void runtime_search(switch_gen* s, reg_operand* key, quadruple** slot)
{
    codegen_context* cg = s->cg;
    int kc = gi_read(cg, key, slot, 0x04, 0);
    int ra = gi_alloc(cg, 0x01, 0x04);
    int rd = gi_alloc(cg, 0x02, 0x05);
    cg_close_window(cg);
    _gen_move_gr_i4(cg, GR_EAX, (s4)(uintptr_t)s->pairs);
    _gen_move_gr_i4(cg, GR_EDX, (s4)(s->n - 1));
    _free_int_reg(cg, rd, 0, 0, 0);
    _free_int_reg(cg, ra, 0, 0, 0);
    _free_int_reg(cg, kc, 0, 0, 0);
    cg_close_window(cg);
    _gen_call(cg, RT_LOOKUPSWITCH);
    u4 start = here(s);
    auto* links_rec = static_cast<backpatch_rec*>(cg->backpatch_cursor);
    for (u4 i = 0; i <= s->n; i++) {
        u4 block = target(s, i);
        _gen_addr(cg, UNRESOLVED_TARGET);
        if (entry_block(s, block)) {
            link_table_entry(s, links_rec++, block, start);
        } else {
            add_record(s, i, start, 0, 0);
        }
    }
    cg->backpatch_cursor = links_rec;
    s->saved = save_register_info(cg);
    edge_stubs(s, 0, s->n, [](u4 i) { return i; });
}

int generate(codegen_context* cg, quadruple** slot, cg_operands* o, bool lookup)
{
    switch_gen s;
    memset(&s, 0, sizeof s);
    s.cg = cg;
    s.q = *slot;
    s.cur = (u4)cg->cur_bb;
    s.bb = cg->bbtable[s.cur];
    s.lookup = lookup;
    // The dispatcher passes the next block through the compile context's
    // block order: the block that follows this one in code order.
    // The main body is dfs_array[1 .. count - 2]; a handler block gets -1
    // (the default is then always jumped to).
    s.next = -1;
    for (u4 i = 1; i + 2 < cg->m->dfs_count; i++)
        if (cg->m->dfs_array[i] == s.cur) {
            s.next = (s4)cg->m->dfs_array[i + 1];
            break;
        }
    if (cg->pass == CG_PASS_MEASURE)
        s.q->aux = 0;
    s.decision = s.q->aux;
    if (lookup) {
        s.n = s.q->target;
        s.pairs = reinterpret_cast<const u1*>((uintptr_t)s.q->second) + 8;
        s.low = s.n != 0 ? match(&s, 0) : 0;
        s.high = s.n != 0 ? match(&s, s.n - 1) : 0;
    } else {
        s.low = (s4)s.q->target;
        s.high = (s4)s.q->second;
        s.n = (u4)s.high - (u4)s.low + 1;
    }
    reg_operand* key = &o->r[2];
    int reopen = (cg->flags & (CG_SCHED_OFF | CG_SCHED_WINDOW_OPEN)) == CG_SCHED_WINDOW_OPEN;

    s4 range = (s4)((u4)s.high - (u4)s.low + 1);
    enum { CHAIN, DENSE, TREE, SEARCH } shape;
    if (!lookup)
        shape = s.n <= TABLE_CHAIN_MAX_CASES ? CHAIN : DENSE;
    else if (s.n <= CHAIN_MAX_PAIRS)
        shape = CHAIN;
    else if (range >= 1 && (s4)(s.n * 100) / range >= DENSE_PERCENT)
        shape = DENSE;
    else if (s.n <= TREE_MAX_PAIRS)
        shape = TREE;
    else
        shape = SEARCH;

    u4 entries = shape == DENSE ? (u4)range + 1 : s.n + 1;
    if (make_pool(&s, entries, entries) != 0)
        return 1;
    switch (shape) {
    case CHAIN:
    case TREE:
        s.k = gi_read(cg, key, slot, RM_ALL_INT, 0);
        cg_close_window(cg);
        _free_int_reg(cg, s.k, 0, 0, 0);
        s.saved = save_register_info(cg);
        cg_close_window(cg);
        if (shape == CHAIN) {
            chain(&s);
        } else {
            tree(&s, 0, s.n - 1);
            edge_stubs(&s, 1, s.n, [](u4 i) { return i; });
        }
        break;
    case DENSE: dense(&s, key, slot); break;
    case SEARCH: runtime_search(&s, key, slot); break;
    }
    resolve(&s);
    if (s.saved != nullptr)
        free_register_info(cg, s.saved);
    if (reopen)
        cg_open_window(cg);
    if (s.pool != nullptr)
        jit_wmem_free(s.pool);
    return 0;
}

}  // namespace

int gen_tableswitch(codegen_context* cg, quadruple** slot, cg_operands* o) { return generate(cg, slot, o, false); }

int gen_lookupswitch(codegen_context* cg, quadruple** slot, cg_operands* o) { return generate(cg, slot, o, true); }
