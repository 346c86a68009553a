// The method's data table: constants and jump tables that the code reaches
// by absolute address, placed on a 32-byte boundary after the method body.
//
// An instruction that needs one writes a 4-byte address field (0xCAFEBABE
// or 0xDEADBEEF) and registers it (`register_datatable`) with what to place;
// `gen_datatable` places the entries in registration order and writes each
// entry's address into its field.  A run-time cell (DT_RUNTIME_CELL: a
// class-cache cell, an interface site's guess) is a word that compiled code
// or its stubs rewrite at run time: it has up to two address fields (a class
// cache's compare and store) and is placed not in the table but in a data
// piece of the compilation, off the pages that hold code (a store to such a
// page makes an emulator drop the code translated from it under the threads
// running it; a class cache that thrashes would do so repeatedly).
// Jump-table words go into the context's jump-table patch list, so the
// back-patcher writes the case blocks' addresses into them once every block
// is placed.
//
// Both passes register the same entries.  The measuring pass counts the
// table at its largest (full alignment, no shared constants) in the code
// size at the table's position, so everything after it keeps the same or a
// smaller distance in the writing pass, and appends the same jump-table
// records, so the patch list's records keep their positions in both passes.
#include <string.h>

#include "codegen/gen/gen_arith.h"
#include "driver/driver.h"

namespace {

// One registration: 24 bytes.
struct datatable_record {
    datatable_record* next;
    u1* slot;           // the address field to point at the entry (pass 2)
    quadruple* owner;   // the switch or ldctable quadruple (kinds 0-2)
    u4 word1;           // kinds 1, 2: the switch's block; 3, 4: the constant's (low) word; 5: the cell's
    u4 word2;           // kind 4: the constant's high word; 5: the second address field (pass 2)
    u4 kind;            // DT_*
};
static_assert(sizeof(datatable_record) == 24);
static_assert(offsetof(datatable_record, next) == 0);
static_assert(offsetof(datatable_record, slot) == 4);
static_assert(offsetof(datatable_record, owner) == 8);
static_assert(offsetof(datatable_record, word1) == 12);
static_assert(offsetof(datatable_record, word2) == 16);
static_assert(offsetof(datatable_record, kind) == 20);

struct datatable_state {
    datatable_record* head;
    datatable_record* tail;
    u4 bytes;        // sum of the registered sizes
    u4 placed;       // gen_datatable has run in this pass
};

constexpr u4 DATATABLE_ALIGN = 32;

datatable_state* state_of(method_compile_context* m)
{
    return reinterpret_cast<datatable_state*>((uintptr_t)m->cg_lists[MCC_LIST_DATATABLE]);
}

datatable_state* new_state(method_compile_context* m)
{
    auto* s = static_cast<datatable_state*>(jit_wmem_alloc(m->pool1, sizeof(datatable_state)));
    if (s == nullptr)
        return nullptr;
    memset(s, 0, sizeof *s);
    m->cg_lists[MCC_LIST_DATATABLE] = (u4)(uintptr_t)s;
    return s;
}

// A word of a jump table: the back-patcher writes the address of `block`
// into the 4 bytes before `end` (an absolute address: base differs from end).
void jump_table_word(codegen_context* cg, u4 block, u1* base)
{
    auto* rec = static_cast<backpatch_rec*>(cg->backpatch_cursor);
    if (cg_backpatch_limit != nullptr && rec >= cg_backpatch_limit)
        cg_service_missing("room in the back-patch table");
    _gen_addr(cg, UNRESOLVED_TARGET);
    rec->target = block;
    rec->is_short = 0;
    rec->reconcile = 0;
    if (cg->pass == CG_PASS_WRITE) {
        rec->site = cg->code;
        rec->position = (u4)(uintptr_t)base;
    } else {
        rec->site = nullptr;
        rec->position = cg->code_size;
    }
    cg->backpatch_cursor = rec + 1;
}

s4 be32_at(const u1* p) { return (s4)((u4)p[0] << 24 | (u4)p[1] << 16 | (u4)p[2] << 8 | (u4)p[3]); }

void place_tableswitch(codegen_context* cg, const datatable_record* r, u1* base)
{
    bbattr* bb = cg->bbtable[r->word1];
    u4 count = r->owner->second - r->owner->target + 1;
    for (u4 i = 0; i < count; i++)
        jump_table_word(cg, bb->succ[1 + i], base);
}

void place_lookupswitch(codegen_context* cg, const datatable_record* r, u1* base)
{
    bbattr* bb = cg->bbtable[r->word1];
    const u1* field = reinterpret_cast<const u1*>((uintptr_t)r->owner->second);
    u4 n = r->owner->target;
    s4 low = be32_at(field + 8);
    s4 high = be32_at(field + 8 + 8 * (n - 1));
    u4 pair = 0;
    for (s4 key = low;; key++) {
        u4 block = bb->succ[0];
        if (pair < n && be32_at(field + 8 + 8 * pair) == key)
            block = bb->succ[1 + pair++];
        jump_table_word(cg, block, base);
        if (key == high)
            break;
    }
}

void place_constants(codegen_context* cg, const datatable_record* r)
{
    const quadruple* q = r->owner;
    u4 type = q->subcode & QS_KIND_MASK;
    u4 words = q->target * (type == 7 || type == 11 ? 2 : 1);
    const u4* values = reinterpret_cast<const u4*>((uintptr_t)q->value);
    for (u4 i = 0; i < words; i++)
        _gen_addr(cg, values[i]);
}

}  // namespace

void init_gen_datatable(method_compile_context* m)
{
    if (new_state(m) == nullptr)
        m->cg_lists[MCC_LIST_DATATABLE] = 0;
}

void register_datatable(codegen_context* cg, quadruple* owner, u1* slot, int kind, u4 word1, u4 word2, u4 size)
{
    datatable_state* s = state_of(cg->m);
    if (s == nullptr && (s = new_state(cg->m)) == nullptr)
        cg_service_missing("work memory for the data table");
    if (s->placed)
        cg_service_missing("a data-table entry after the table");
    auto* r = static_cast<datatable_record*>(jit_wmem_alloc(cg->m->pool1, sizeof(datatable_record)));
    if (r == nullptr)
        cg_service_missing("work memory for the data table");
    r->next = nullptr;
    r->slot = slot;
    r->owner = owner;
    r->word1 = word1;
    r->word2 = word2;
    r->kind = (u4)kind;
    if (s->tail != nullptr)
        s->tail->next = r;
    else
        s->head = r;
    s->tail = r;
    s->bytes += size;
}

// The register manager's form: a 32- or 64-bit constant whose words are at
// `words`, for the 4-byte address field `field` (0 while measuring).
void register_datatable(codegen_context* cg, int kind, const u4* words, int size, u1* field)
{
    register_datatable(cg, nullptr, field, kind, words[0], kind == DT_CONST64 ? words[1] : 0xFFFFFFFFu, (u4)size);
}

// The class-cache cells, in one data piece (writing pass); answers whether
// the table holds anything else.
static bool place_class_cache_cells(codegen_context* cg, const datatable_state* s)
{
    u4 cells = 0, others = 0;
    for (const datatable_record* r = s->head; r != nullptr; r = r->next)
        (r->kind == DT_RUNTIME_CELL ? cells : others)++;
    if (cells == 0 || cg->pass != CG_PASS_WRITE)
        return others != 0;
    void* piece = nullptr;
    jit_data_mem_alloc(&piece, cg->m, cells * 4);
    if (piece == nullptr)
        cg_service_missing("data memory for the class-cache cells");
    u4* cell = static_cast<u4*>(piece);
    for (const datatable_record* r = s->head; r != nullptr; r = r->next) {
        if (r->kind != DT_RUNTIME_CELL)
            continue;
        *cell = r->word1;
        if (r->slot != nullptr)
            cg_write32(r->slot, (u4)(uintptr_t)cell);
        if (r->word2 != 0)
            cg_write32(reinterpret_cast<u1*>((uintptr_t)r->word2), (u4)(uintptr_t)cell);
        cell++;
    }
    return others != 0;
}

void gen_datatable(codegen_context* cg)
{
    datatable_state* s = state_of(cg->m);
    if (s == nullptr || s->head == nullptr) {
        if (s != nullptr)
            s->placed = 1;
        return;
    }
    s->placed = 1;
    if (!place_class_cache_cells(cg, s))
        return;
    int reopen = (cg->flags & (CG_SCHED_OFF | CG_SCHED_WINDOW_OPEN)) == CG_SCHED_WINDOW_OPEN;
    cg_close_window(cg);
    _make_code_align(cg, 0, (int)DATATABLE_ALIGN);
    const datatable_record* previous = nullptr;
    u1* previous_at = nullptr;
    for (const datatable_record* r = s->head; r != nullptr; r = r->next) {
        if (r->kind == DT_RUNTIME_CELL)
            continue;
        u1* at = cg->code;
        bool shared = previous != nullptr && (r->kind == DT_CONST32 || r->kind == DT_CONST64) &&
                      r->kind == previous->kind && r->word1 == previous->word1 &&
                      (r->kind == DT_CONST32 || r->word2 == previous->word2);
        if (shared && cg->pass == CG_PASS_WRITE)
            at = previous_at;
        if (cg->pass == CG_PASS_WRITE && r->slot != nullptr)
            cg_write32(r->slot, (u4)(uintptr_t)at);
        if (!shared || cg->pass == CG_PASS_MEASURE) {
            switch (r->kind) {
            case DT_CONST_TABLE: place_constants(cg, r); break;
            case DT_TABLESWITCH: place_tableswitch(cg, r, at); break;
            case DT_LOOKUPSWITCH: place_lookupswitch(cg, r, at); break;
            case DT_CONST32: _gen_addr(cg, r->word1); break;
            case DT_CONST64:
                _gen_addr(cg, r->word1);
                _gen_addr(cg, r->word2);
                break;
            default: cg_service_missing("a data-table entry of an unknown kind");
            }
        }
        previous = r;
        previous_at = at;
    }
    if (reopen)
        cg_open_window(cg);
}

// Element `index` of the constant table the quadruple carries (its value
// word points at the constants, its target word holds their count).
int gen_ldctable(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    u4 type = q->subcode & QS_KIND_MASK;
    reg_operand idx;
    set_ioperand(cg, slot, &idx, &q->src1);
    reg_operand* d = &o->r[0];
    if (op_absent(d))
        return 0;
    int size = type == 7 || type == 11 ? 8 : 4;
    u4 kept = 0;
    int ri = -1;
    if (!op_is_imm(&idx)) {
        ri = gi_read(cg, &idx, slot, RM_ALL_INT, 0);
        kept = rbit(ri);
    }
    int t = gi_alloc(cg, RM_ALL_INT, kept);
    int reopen = (cg->flags & (CG_SCHED_OFF | CG_SCHED_WINDOW_OPEN)) == CG_SCHED_WINDOW_OPEN;
    cg_close_window(cg);
    gen_move_gr_i4_5bytes(cg, gid(t), (s4)UNRESOLVED_TARGET);
    u1* field = cg->pass == CG_PASS_WRITE ? cg->code - 4 : nullptr;
    if (reopen)
        cg_open_window(cg);
    u4 index = ri >= 0 ? gid(ri) : 0;
    int scale = ri >= 0 ? size : 0;
    s4 disp = ri >= 0 ? 0 : (s4)idx.value * size;
    u4 attr = 0x10;
    switch (type) {
    case 6:
        gen_move_fr_mm(cg, gid(t), index, scale, disp, attr);
        _free_int_reg(cg, t, 0, 0, 0);
        alloc_and_assoc_fp_stack_top_oprnd(cg, d);
        break;
    case 7:
        gen_move_fr8_mm(cg, gid(t), index, scale, disp, attr);
        _free_int_reg(cg, t, 0, 0, 0);
        alloc_and_assoc_fp_stack_top_oprnd(cg, d);
        break;
    case 11: {
        reg_operand* hi = &o->r[1];
        int rl = gi_alloc(cg, RM_ALL_INT, kept | rbit(t));
        gen_move_gr_mem(cg, gid(rl), gid(t), index, scale, disp, 4, attr);
        int rh = -1;
        if (!op_absent(hi)) {
            rh = gi_alloc(cg, RM_ALL_INT, kept | rbit(t) | rbit(rl));
            gen_move_gr_mem(cg, gid(rh), gid(t), index, scale, disp + 4, 4, attr);
        }
        _free_int_reg(cg, t, 0, 0, 0);
        gi_bind(cg, d, rl);
        gi_bind(cg, hi, rh);
        break;
    }
    default: {
        int rd = gi_alloc(cg, RM_ALL_INT, kept | rbit(t));
        gen_move_gr_mem(cg, gid(rd), gid(t), index, scale, disp, 4, attr);
        _free_int_reg(cg, t, 0, 0, 0);
        gi_bind(cg, d, rd);
        break;
    }
    }
    if (ri >= 0)
        gi_done(cg, &idx, ri);
    register_datatable(cg, q, field, DT_CONST_TABLE, 0, 0, (u4)size * q->target);
    return 0;
}
