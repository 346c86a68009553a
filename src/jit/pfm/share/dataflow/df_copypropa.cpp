// Forward copy and constant propagation over the quadruples of one method.
//
// Requires the quadruple form; chains need not be fresh (the pass marks them
// stale when it changes anything).  Within a block, and along chains of blocks
// where a block's only predecessor is the block handled just before it, the
// pass keeps for every local what is known of its value (a copy of another
// local, or a constant; `copy_value_record`) and rewrites every later use to
// the source local or the constant; moves of a local onto itself and moves
// overwritten by the very next quadruple become no-operations, and a
// quadruple whose operand became constant is handed to the constant folder
// (df_calcconst.cpp).  Facts alive at the end of the block that made them
// become the candidates of a forward must-problem (available at a block's
// entry only when available at the end of every predecessor); after solving
// it a final phase walks the blocks again, each block that starts fresh
// seeded with the facts available at its entry.
//
// Two mends over the plain scheme, both conservative:
//  - a move made dead by the next quadruple is kept when that quadruple can
//    raise inside a try region (the handler may read the moved value) or is a
//    jsr (the subroutine may);
//  - a block that the debug range leaves alone still counts its definitions
//    as kills, so facts do not flow through it unchecked, and its records do
//    not flow on into a chained successor.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "driver/driver.h"
#include "driver/options.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "frontend/qgen.h"

namespace {

// Settings, read once per process (-1 until read).
s4 disable_propagate_between_bb = -1;
s4 disable_copypropa_final = -1;
s4 skip_bb_from = -1;
s4 skip_bb_upto = -1;
bool settings_read = false;

// Debug-selector rows that name this pass's two phases.
constexpr int SELECT_LOCAL = 7;     // BBCOPYPROPA
constexpr int SELECT_FINAL = 8;     // BBCOPYFINAL

constexpr u4 BB2_NO_FACTS = 0x100000;      // with BB2_TRANSFER_POINT: starts with no facts
constexpr u4 BB2_TRANSPARENT = BB2_ENDS_IN_BRANCH;   // passes on every fact it does not kill
constexpr u4 NODE_REFILL = 32;
constexpr u1 OPC_JSR_ = OPC_JSR;

void read_settings()
{
    if (settings_read)
        return;
    settings_read = true;
    df_calc_const_disabled();
    df_env_switch(&disable_propagate_between_bb, "DISABLE_PROPAGATE_BETWEEN_BB");
    df_env_switch(&disable_copypropa_final, "DISABLE_COPYPROPA_FINAL");
    if (skipsubopt != SELECT_LOCAL && skipsubopt != SELECT_FINAL)
        return;
    if (skipsubopt == SELECT_LOCAL) {
        disable_copypropa_final = 1;
        disable_propagate_between_bb = 1;
    }
    const char* from = getenv("ORVA_SKIPBBFROM");
    const char* upto = getenv("ORVA_SKIPBBUPTO");
    if (from != nullptr)
        skip_bb_from = static_cast<s4>(strtol(from, nullptr, 10));
    if (upto != nullptr)
        skip_bb_upto = static_cast<s4>(strtol(upto, nullptr, 10));
    if (from == nullptr && upto == nullptr)
        return;
    if (from == nullptr)
        skip_bb_from = 0;
    if (upto == nullptr)
        skip_bb_upto = 65535;
    printf(skipsubopt == SELECT_LOCAL ? "disable_local_copypropa : from BB[%d] upto BB[%d]\n"
                                      : "disable_copypropa_final : from BB[%d] upto BB[%d]\n",
           skip_bb_from, skip_bb_upto);
}

u1 debug_byte(const method_compile_context* m) { return static_cast<u1>(m->selector & 0xFF); }

bool in_debug_range(const method_compile_context* m, int selector, u4 block)
{
    return debug_byte(m) == selector && skip_bb_from >= 0 && static_cast<s4>(block) >= skip_bb_from
           && static_cast<s4>(block) <= skip_bb_upto;
}

bool two_word(u4 type) { return type < 8 && opc_table_type[type].two_word != 0; }
u1 type_of(u2 kind) { return static_cast<u1>((kind >> QT_SHIFT) & 0xF); }
u1 kind_of(u2 kind) { return static_cast<u1>(kind & QK_KIND_MASK); }
bool is_move(const quadruple* q) { return (opc_info_quadruple[q->opcode] & OPA_COPY) != 0; }
bool foldable(const quadruple* q) { return (opc_info_quadruple[q->opcode] & OPA_OPERATOR) != 0; }

// Constants of these types may be recorded from a kind 5 or 6 operand (the
// value word of a reference constant names an object or a pool entry).
bool table_constant_type(u1 type) { return type == QT_INT || type == QT_LONG || type == QT_FLOAT || type == QT_DOUBLE; }

// Opcodes whose immediate word carries nothing of their own, so that a
// propagated constant may take it.
bool immediate_word_unused_by(u1 opcode)
{
    switch (opcode) {
    case OPC_ILOAD: case OPC_ISTORE: case OPC_IOP2: case OPC_IOP1: case OPC_IFZ: case OPC_IFCMP:
    case OPC_LLOAD: case OPC_LSTORE: case OPC_LOP2: case OPC_LSHIFT: case OPC_LOP1: case OPC_LCMP:
    case OPC_FLOAD: case OPC_FSTORE: case OPC_FOP2: case OPC_FOP1: case OPC_FCMP:
    case OPC_DLOAD: case OPC_DSTORE: case OPC_DOP2: case OPC_DOP1: case OPC_DCMP:
    case OPC_IRETURN: case OPC_LRETURN: case OPC_FRETURN: case OPC_DRETURN:
    case OPC_I2L: case OPC_I2F: case OPC_I2D: case OPC_L2I: case OPC_L2F: case OPC_L2D:
    case OPC_F2I: case OPC_F2L: case OPC_F2D: case OPC_D2I: case OPC_D2L: case OPC_D2F:
    case OPC_IMOVE: case OPC_FMOVE: case OPC_LMOVE: case OPC_DMOVE:
    case OPC_FCMP_BRANCH: case OPC_DCMP_BRANCH: case OPC_LCMP_BRANCH:
        return true;
    default:
        return false;
    }
}

bool holds_immediate(const quad_operand& o) { return kind_of(o.kind) == QK_CONSTANT || kind_of(o.kind) == QK_CONST_PTR; }

bool immediate_word_free(const quadruple* q)
{
    if ((q->flags_a & QA_CONSTANT) || !immediate_word_unused_by(q->opcode) || df_shape(q) == QC_SRC_LIST)
        return false;
    return !holds_immediate(q->result) && !holds_immediate(q->src1) && !(df_shape(q) == 2 && holds_immediate(q->src2));
}

// ---- the run ---------------------------------------------------------------------

struct cp_run {
    copypropa_work w;               // first: the public record
    method_compile_context* m;
    s4* small_const;                // per local: array length carried, -1 none (null until needed)
    u4** defined;                   // per block: the locals it writes
    u4 vec_words;
    u4 vec_bytes;                   // all defined-locals vectors together
    bool any_record;
    bool dropped;                   // records were dropped at a block boundary
    bool changed;                   // an operand was rewritten
    bool final_phase;
    s4 lo, hi;                      // locals that received a record in this block
    u4 field_count;
    u4 nullcheck_count;
    u4 weight;
    quadruple* prev;
    u4 block;
    u1* done;                       // per block: handled in this phase
};

cp_run* run_of(copypropa_work* w) { return reinterpret_cast<cp_run*>(w); }

copy_dependent_node* new_node(cp_run* r)
{
    if (r->w.free_nodes == nullptr) {
        auto* nodes = static_cast<copy_dependent_node*>(
            df_alloc(r->m, r->w.pc, NODE_REFILL * sizeof(copy_dependent_node)));
        for (u4 i = 0; i < NODE_REFILL; i++) {
            nodes[i].next = r->w.free_nodes;
            r->w.free_nodes = &nodes[i];
        }
    }
    copy_dependent_node* n = r->w.free_nodes;
    r->w.free_nodes = n->next;
    return n;
}

void push_dependent(cp_run* r, u4 source, u4 local)
{
    copy_dependent_node* n = new_node(r);
    n->local = local;
    n->next = r->w.dependents[source];
    r->w.dependents[source] = n;
}

// Clears the records that say "copy of s" (filtered by `pred`), returning
// the whole list of s to the free list when `release` holds.
template <typename P> void clear_copies_of(cp_run* r, u4 s, bool release, P pred)
{
    if (s >= r->w.nlocals)
        return;
    copy_dependent_node** link = &r->w.dependents[s];
    while (*link != nullptr) {
        copy_dependent_node* n = *link;
        copy_value_record& d = r->w.records[n->local];
        bool copies = d.kind == CPV_LOCAL && d.value == s;
        if (copies && pred(d))
            memset(&d, 0, sizeof d);
        if (release || !copies) {
            *link = n->next;
            n->next = r->w.free_nodes;
            r->w.free_nodes = n;
        } else {
            link = &n->next;
        }
    }
}

void clear_all(cp_run* r)
{
    if (!r->any_record)
        return;
    memset(r->w.records, 0, r->w.records_bytes);
    for (u4 s = 0; s < r->w.nlocals; s++)
        clear_copies_of(r, s, true, [](const copy_value_record&) { return true; });
    r->any_record = false;
}

void reset_small_constants(cp_run* r)
{
    if (r->small_const != nullptr)
        memset(r->small_const, 0xFF, r->w.nlocals * sizeof(s4));
}

void mark_defined(cp_run* r, u4 local)
{
    if (r->final_phase || local >= r->w.nlocals || r->defined == nullptr)
        return;
    u4* v = r->defined[r->block];
    v[local >> 5] |= 1u << (local & 31);
}

bool is_defined(const cp_run* r, u4 block, u4 local)
{
    return local < r->w.nlocals && (r->defined[block][local >> 5] >> (local & 31) & 1) != 0;
}

// A definition of x (and x + 1 for a two-word value): its facts and every
// fact that depends on it go.
void kill_definition(cp_run* r, u4 x, bool wide)
{
    for (u4 y = x; y <= x + (wide ? 1u : 0u) && y < r->w.nlocals; y++) {
        mark_defined(r, y);
        memset(&r->w.records[y], 0, sizeof(copy_value_record));
        clear_copies_of(r, y, true, [](const copy_value_record&) { return true; });
        if (r->small_const != nullptr)
            r->small_const[y] = -1;
    }
    if (x > 0 && x - 1 < r->w.nlocals) {
        // The second word of a two-word value that starts at x - 1.
        copy_value_record& below = r->w.records[x - 1];
        if (below.kind != CPV_NONE && two_word(below.dst_row))
            memset(&below, 0, sizeof below);
        clear_copies_of(r, x - 1, false, [](const copy_value_record& d) { return two_word(d.src_type); });
    }
}

void note_record(cp_run* r, u4 local)
{
    r->any_record = true;
    if (r->lo < 0 || static_cast<s4>(local) < r->lo)
        r->lo = static_cast<s4>(local);
    if (static_cast<s4>(local) > r->hi)
        r->hi = static_cast<s4>(local);
}

void ensure_small_constants(cp_run* r)
{
    if (r->small_const == nullptr) {
        r->small_const = static_cast<s4*>(df_alloc(r->m, r->w.pc, r->w.nlocals * sizeof(s4)));
        memset(r->small_const, 0xFF, r->w.nlocals * sizeof(s4));
    }
}

// ---- step: uses ------------------------------------------------------------------

struct value_pair {
    s4 kind;
    u4 value;
};

value_pair pair_of(const quadruple* q, u2 kind, u2 number)
{
    switch (kind_of(kind)) {
    case QK_VARIABLE: return {CPV_LOCAL, number};
    case QK_IMMEDIATE: return {CPV_INT, number};
    case QK_NEG_IMMEDIATE: return {CPV_INT, static_cast<u4>(-static_cast<s4>(number))};
    case QK_CONSTANT: return {type_of(kind) == QT_INT ? static_cast<s4>(CPV_INT) : static_cast<s4>(CPV_IMM), q->value};
    case QK_CONST_PTR: return {CPV_PTR, q->value};
    default: return {CPV_NONE, 0};
    }
}

bool is_constant_pair(const value_pair& p) { return p.kind == CPV_INT || p.kind == CPV_IMM || p.kind == CPV_PTR; }

// Rewrites one local operand (kind halfword and number) from its record.
// `place` says whether the immediate word may be taken.  Returns the pair
// handed to folding.
value_pair rewrite_use(cp_run* r, quadruple* q, u2* kind, u2* number, bool in_list, bool single_source)
{
    value_pair plain = {CPV_LOCAL, *number};
    if (kind_of(*kind) != QK_VARIABLE || *number >= r->w.nlocals)
        return pair_of(q, *kind, *number);
    const copy_value_record& rec = r->w.records[*number];
    u1 type = type_of(*kind);
    switch (rec.kind) {
    case CPV_LOCAL:
        if (two_word(type) != two_word(rec.src_type))
            return plain;
        *number = static_cast<u2>(rec.value);
        *kind = static_cast<u2>((*kind & ~0xF0u) | (rec.src_type & 0xF) << QT_SHIFT);
        r->changed = true;
        return {CPV_LOCAL, rec.value};
    case CPV_INT: {
        s4 v = static_cast<s4>(rec.value);
        if (v >= -65535 && v <= 65535) {
            *kind = static_cast<u2>((*kind & ~0xFu) | (v >= 0 ? QK_IMMEDIATE : QK_NEG_IMMEDIATE));
            *number = static_cast<u2>(v >= 0 ? v : -v);
            r->changed = true;
            return {CPV_INT, rec.value};
        }
        break;
    }
    case CPV_IMM: case CPV_PTR: break;
    default: return plain;
    }
    // A constant that needs the immediate word.
    value_pair constant = {static_cast<s4>(rec.kind), rec.value};
    bool same_type = type == rec.src_type;
    (void)single_source;
    if (!in_list && same_type && immediate_word_free(q)
        && IsLiteralRangeArchitecture(nullptr, static_cast<s4>(rec.value), 1)) {
        *kind = static_cast<u2>((*kind & ~0xFu) | (rec.kind == CPV_PTR ? QK_CONST_PTR : QK_CONSTANT));
        *number = QUAD_NO_NUMBER;
        q->value = rec.value;
        q->flags_a |= QA_CONSTANT;
        r->changed = true;
        return constant;
    }
    return same_type ? constant : plain;
}

// Step 7: rewrites the uses of q; fills the two pairs for folding.
void rewrite_uses(cp_run* r, quadruple* q, value_pair* p1, value_pair* p2)
{
    *p1 = {CPV_NONE, 0};
    *p2 = {CPV_NONE, 0};
    u4 shape = df_shape(q);
    // The entry block's copies name a local of the method's own numbering in
    // their source; they are left as they are.
    if (opc_info_quadruple[q->opcode] & OPA_LOCAL_COPY)
        return;
    if (shape == QC_SRC_LIST) {
        for (quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next) {
            if (kind_of(e->kind) != QK_VARIABLE || e->number >= r->w.nlocals)
                continue;
            const copy_value_record& rec = r->w.records[e->number];
            if (rec.kind == CPV_LOCAL || rec.kind == CPV_INT)
                rewrite_use(r, q, &e->kind, &e->number, true, false);
        }
        return;
    }
    if (shape >= 1) {
        u2 kind = q->src1.kind | static_cast<u2>(q->src1.flags) << 8;
        u2 number = q->src1.number;
        *p1 = rewrite_use(r, q, &kind, &number, false, shape == 1);
        q->src1.kind = static_cast<u1>(kind);
        q->src1.number = number;
    }
    if (shape == 2) {
        u2 kind = q->src2.kind | static_cast<u2>(q->src2.flags) << 8;
        u2 number = q->src2.number;
        *p2 = rewrite_use(r, q, &kind, &number, false, false);
        q->src2.kind = static_cast<u1>(kind);
        q->src2.number = number;
        u1 k2 = kind_of(q->src2.kind);
        if (((p2->kind == CPV_INT && p2->value != 0) && (q->opcode == OPC_IOP2 || q->opcode == OPC_LOP2))
            || (q->opcode == OPC_LOP2 && (k2 == QK_IMMEDIATE || k2 == QK_NEG_IMMEDIATE) && q->src2.number != 0))
            q->opcount |= QC_PERMISSIONS;
    }
}

// ---- step: definitions -------------------------------------------------------------

bool in_try_and_may_raise(const cp_run* r, const quadruple* q)
{
    return (r->m->bb_table[r->block]->flags & BB_IN_TRY) && df_exception_class(q) != DF_CANNOT_RAISE;
}

bool reads_local(const quadruple* q, u4 x)
{
    bool reads = false;
    u4 shape = df_shape(q);
    if (shape == QC_SRC_LIST)
        return true;
    if (shape >= 1 && kind_of(q->src1.kind) == QK_VARIABLE && q->src1.number == x)
        reads = true;
    if (shape == 2 && kind_of(q->src2.kind) == QK_VARIABLE && q->src2.number == x)
        reads = true;
    return reads;
}

void nop_quad(cp_run* r, quadruple** slot)
{
    bbattr* b = r->m->bb_table[r->block];
    ChangeNOP(r->m, static_cast<s4>(r->block), static_cast<s4>(slot - b->catbl));
    r->changed = true;
}

quadruple** slot_of(cp_run* r, const quadruple* q)
{
    bbattr* b = r->m->bb_table[r->block];
    for (u4 i = 0; i < b->quad_count; i++)
        if (b->catbl[i] == q)
            return &b->catbl[i];
    return nullptr;
}

void record_copy(cp_run* r, u4 x, u4 t, u4 index, u1 src_type, u1 dst_row)
{
    copy_value_record& rec = r->w.records[x];
    rec.kind = CPV_LOCAL;
    rec.value = t;
    rec.block = static_cast<u2>(r->block);
    rec.index = static_cast<u2>(index);
    rec.src_type = src_type;
    rec.dst_row = dst_row;
    push_dependent(r, t, x);
    if (r->small_const != nullptr)
        r->small_const[x] = r->small_const[t];
    note_record(r, x);
}

void record_constant(cp_run* r, u4 x, u4 kind, u4 value, u4 index, u1 src_type, u1 dst_row)
{
    copy_value_record& rec = r->w.records[x];
    rec.kind = kind;
    rec.value = value;
    rec.block = static_cast<u2>(r->block);
    rec.index = static_cast<u2>(index);
    rec.src_type = src_type;
    rec.dst_row = dst_row;
    note_record(r, x);
}

// Do a two-word and a one-word value overlap (or two two-word values)?
bool overlap(u4 x, bool x_wide, u4 t, bool t_wide)
{
    if (x_wide && t_wide)
        return t == x || t == x + 1 || t + 1 == x;
    if (t_wide)
        return x == t || x == t + 1;
    if (x_wide)
        return t == x || t == x + 1;
    return false;
}

// Steps 9 and 10 for quadruple q at `index`.
void process_definition(cp_run* r, quadruple* q, u4 index)
{
    u4 nlocals = r->w.nlocals;
    if (q->opcode == OPC_JSR_) {
        for (u4 v = 0; v < nlocals; v++)
            mark_defined(r, v);
        memset(r->w.records, 0, r->w.records_bytes);
        memset(r->w.dependents, 0, r->w.dependents_bytes);
        r->any_record = false;
        reset_small_constants(r);
        return;
    }
    if (kind_of(q->result.kind) != QK_VARIABLE || q->result.number >= nlocals)
        return;
    u4 x = q->result.number;
    u1 dst = type_of(q->result.kind);
    bool wide = two_word(dst);
    u4 shape = df_shape(q);
    // The move just before, overwritten here before any use, is dead.
    quadruple* p = r->prev;
    if (p != nullptr && shape != QC_SRC_LIST && !reads_local(q, x) && !in_try_and_may_raise(r, q) && is_move(p)
        && !df_deleted(p) && kind_of(p->result.kind) == QK_VARIABLE && p->result.number == x
        && type_of(p->result.kind) == dst && type_of(p->src1.kind) == dst && df_shape(p) == 1) {
        quadruple** ps = slot_of(r, p);
        if (ps != nullptr)
            nop_quad(r, ps);
    }
    kill_definition(r, x, wide);
    if (shape == QC_SRC_LIST || shape == 0)
        return;
    const quad_operand& s = q->src1;
    u1 sk = kind_of(s.kind), st = type_of(s.kind);
    u4 attr = opc_info_quadruple[q->opcode];
    bool constants = (r->w.pc->flags & DFP_PROPAGATE_CONST) != 0;
    switch (sk) {
    case QK_VARIABLE: {
        if (!(attr & OPA_COPY) || (attr & OPA_LOCAL_COPY) || shape != 1 || s.number >= nlocals || st != dst)
            return;
        u4 t = s.number;
        if (overlap(x, wide, t, two_word(st)) || t == x)
            return;
        const dataflow_pass_context* pc = r->w.pc;
        quadruple* pv = r->prev;
        bool swap = r->w.swap_allowed && pv != nullptr && !df_deleted(pv)
                    && !df_local_in_set(pc->short_count, pc->short_set, x)
                    && df_local_in_set(pc->short_count, pc->short_set, t)
                    && kind_of(pv->result.kind) == QK_VARIABLE && pv->result.number == t
                    && !(pv->result.flags & (DFO_CONSUMED >> 8)) && df_retargetable(pv)
                    && type_of(pv->result.kind) == dst;
        if (swap) {
            // t = a op b; x = t  becomes  x = a op b; t = x.
            pv->result.number = static_cast<u2>(x);
            q->result.number = static_cast<u2>(t);
            q->src1.number = static_cast<u2>(x);
            r->changed = true;
            kill_definition(r, t, wide);
            record_copy(r, t, x, index, st, dst);
        } else {
            record_copy(r, x, t, index, st, dst);
        }
        return;
    }
    case QK_IMMEDIATE: case QK_NEG_IMMEDIATE:
        if (constants && (attr & (OPA_COPY | OPA_SIMPLE_ASSIGN)) && shape == 1) {
            s4 v = sk == QK_IMMEDIATE ? s.number : -static_cast<s4>(s.number);
            record_constant(r, x, CPV_INT, static_cast<u4>(v), index, st, dst);
        }
        if ((q->opcode == OPC_NEWARRAY || q->opcode == OPC_ANEWARRAY) && sk == QK_IMMEDIATE) {
            ensure_small_constants(r);
            r->small_const[x] = s.number;
        }
        return;
    case QK_CONSTANT:
        if (constants && (attr & OPA_SIMPLE_ASSIGN) && shape == 1 && table_constant_type(st)
            && (st == QT_INT || q->value != 0))
            record_constant(r, x, st == QT_INT ? CPV_INT : CPV_IMM, q->value, index, st, dst);
        return;
    case QK_CONST_PTR:
        if (constants && (attr & OPA_SIMPLE_ASSIGN) && shape == 1 && table_constant_type(st) && q->value != 0)
            record_constant(r, x, CPV_PTR, q->value, index, st, dst);
        return;
    default: return;
    }
}

// Step 8: the moves that change nothing.  True when q became a no-operation.
bool redundant_move(cp_run* r, quadruple** slot, const value_pair& p1)
{
    quadruple* q = *slot;
    if (kind_of(q->result.kind) != QK_VARIABLE || df_shape(q) != 1 || q->result.number >= r->w.nlocals)
        return false;
    u4 x = q->result.number;
    u1 dst = type_of(q->result.kind);
    if (is_move(q) && kind_of(q->src1.kind) == QK_VARIABLE && q->src1.number == x && type_of(q->src1.kind) == dst) {
        nop_quad(r, slot);
        return true;
    }
    const copy_value_record& rec = r->w.records[x];
    if ((opc_info_quadruple[q->opcode] & (OPA_COPY | OPA_SIMPLE_ASSIGN)) && is_constant_pair(p1)
        && kind_of(q->src1.kind) != QK_VARIABLE && rec.kind != CPV_NONE && rec.kind != CPV_LOCAL
        && static_cast<s4>(rec.kind) == p1.kind && rec.value == p1.value && rec.src_type == type_of(q->src1.kind)
        && rec.dst_row == dst) {
        nop_quad(r, slot);
        return true;
    }
    return false;
}

// An array length known from the allocation that made the array.
void known_array_length(cp_run* r, quadruple* q)
{
    if (q->opcode != OPC_ARRAYLENGTH || r->small_const == nullptr || df_shape(q) != 1
        || kind_of(q->src1.kind) != QK_VARIABLE || q->src1.number >= r->w.nlocals)
        return;
    s4 n = r->small_const[q->src1.number];
    if (n < 0)
        return;
    q->opcode = OPC_IMOVE;
    q->subcode = 0;
    q->src1.kind = KB_INT_IMM;
    q->src1.flags = 0;
    q->src1.number = static_cast<u2>(n);
    q->opcount |= QC_PERMISSIONS;
    r->changed = true;
}

// The final phase's narrowing: compare-branches of two ints, and a long
// compare of two ints whose result the next quadruple tests against zero.
void narrow_compares(cp_run* r, u4 index)
{
    bbattr* b = r->m->bb_table[r->block];
    quadruple* q = b->catbl[index];
    if (q->opcode == OPC_LCMP_BRANCH && kind_of(q->result.kind) != QK_VARIABLE && df_shape(q) == 2
        && type_of(q->src1.kind) == QT_INT && type_of(q->src2.kind) == QT_INT) {
        q->opcode = OPC_IFCMP;
        r->changed = true;
        return;
    }
    if (q->opcode != OPC_LCMP || df_shape(q) != 2 || type_of(q->src1.kind) != QT_INT
        || type_of(q->src2.kind) != QT_INT || kind_of(q->result.kind) != QK_VARIABLE)
        return;
    quadruple** last = b->catbl + b->quad_count - 1;
    quadruple** next = index + 1 < b->quad_count ? SkipNopForward(b->catbl + index + 1, last) : nullptr;
    if (next == nullptr || (*next)->opcode != OPC_IFZ || df_shape(*next) != 1
        || kind_of((*next)->src1.kind) != QK_VARIABLE || (*next)->src1.number != q->result.number
        || df_local_in_set(r->w.pc->orig_count, r->w.pc->orig_set, q->result.number))
        return;
    quadruple* br = *next;
    q->opcode = OPC_IFCMP;
    q->op = br->op;
    q->target = br->target;
    quad_operand_clear(q->result);
    ChangeNOP(r->m, static_cast<s4>(r->block), static_cast<s4>(next - b->catbl));
    r->changed = true;
}

// Steps 6 to 11 over one block.
void process_block(cp_run* r, u4 block)
{
    bbattr* b = r->m->bb_table[block];
    for (u4 i = 0; i < b->quad_count; i++) {
        quadruple** slot = &b->catbl[i];
        quadruple* q = *slot;
        if (df_deleted(q))
            continue;
        value_pair p1, p2;
        rewrite_uses(r, q, &p1, &p2);
        if (df_shape(q) == QC_SRC_LIST) {
            if (foldable(q))
                df_calc_select(r->m, r->w.pc, block, slot);
        }
        if (redundant_move(r, slot, p1))
            continue;
        known_array_length(r, q);
        if ((is_constant_pair(p1) || is_constant_pair(p2)) && foldable(q) && df_shape(q) != QC_SRC_LIST) {
            df_calc_const_quad(r->m, r->w.pc, block, slot, p1.kind, p1.value, p2.kind, p2.value);
            r->changed = true;
            if (df_deleted(q))
                continue;
        }
        process_definition(r, q, i);
        if (r->final_phase)
            narrow_compares(r, i);
        if (!df_deleted(q) && (df_shape(q) != 0 || kind_of(q->result.kind) == QK_VARIABLE))
            r->prev = q;
        if (!r->final_phase) {
            u4 attr = opc_info_quadruple[q->opcode];
            if (attr & (OPA_GETFIELD | OPA_PUTFIELD | OPA_GETSTATIC | OPA_PUTSTATIC))
                r->field_count++;
            if (q->opcode == OPC_NULLCHECK)
                r->nullcheck_count += r->weight;
        }
    }
}

// A block the debug range leaves alone: its definitions still kill.
void skip_block(cp_run* r, u4 block)
{
    bbattr* b = r->m->bb_table[block];
    for (u4 i = 0; i < b->quad_count; i++) {
        quadruple* q = b->catbl[i];
        if (df_deleted(q))
            continue;
        if (q->opcode == OPC_JSR_) {
            for (u4 v = 0; v < r->w.nlocals; v++)
                mark_defined(r, v);
        } else if (kind_of(q->result.kind) == QK_VARIABLE && q->result.number < r->w.nlocals) {
            mark_defined(r, q->result.number);
            if (two_word(type_of(q->result.kind)))
                mark_defined(r, q->result.number + 1u);
        }
    }
    clear_all(r);
    r->prev = nullptr;
}

// Block-entry reset: the compiler's own locals carry nothing into the block.
void entry_reset(cp_run* r, bbattr* b)
{
    if (!(b->flags2 & BB2_TRANSFER_POINT))
        return;
    const dataflow_pass_context* pc = r->w.pc;
    for (u4 v = 0; v < r->w.nlocals; v++) {
        if (df_local_in_set(pc->orig_count, pc->orig_set, v))
            continue;
        mark_defined(r, v);
        memset(&r->w.records[v], 0, sizeof(copy_value_record));
        clear_copies_of(r, v, true, [](const copy_value_record&) { return true; });
    }
}

// Does `b` continue the chain of the block handled just before?
bool continues_chain(cp_run* r, bbattr* b, s4 last)
{
    if (disable_propagate_between_bb != 0 || last < 0 || b->pred_count != 1)
        return false;
    bbattr* p = r->m->bb_table[last];
    return (p->succ_count >= 1 && bb_succ_block(p->succ[0]) == b->id)
           || (p->succ_count >= 2 && bb_succ_block(p->succ[1]) == b->id);
}

bool walked(const bbattr* b) { return b->quad_count != 0 && !(b->flags & BB_DEAD); }

void append_candidates(cp_run* r)
{
    if (!r->any_record || r->lo < 0)
        return;
    for (s4 v = r->lo; v <= r->hi; v++) {
        const copy_value_record& rec = r->w.records[v];
        if (rec.kind == CPV_NONE || rec.block != r->block)
            continue;
        copypropa_work& w = r->w;
        if (w.candidates == nullptr || w.candidate_count == w.candidate_capacity) {
            s4 capacity;
            if (w.candidates == nullptr) {
                u4 k = (r->m->total_quad_count * 2 + r->vec_bytes) / 2048;
                capacity = k == 0 ? 256 : k <= 2 ? 512 : 1024;
            } else {
                capacity = w.candidate_capacity * 2;
            }
            auto* grown = static_cast<copy_candidate*>(df_alloc(r->m, w.pc, capacity * sizeof(copy_candidate)));
            if (w.candidates != nullptr)
                memcpy(grown, w.candidates, w.candidate_count * sizeof(copy_candidate));
            w.candidates = grown;
            w.candidate_capacity = capacity;
        }
        copy_candidate& c = w.candidates[w.candidate_count++];
        c.kind = static_cast<u2>(rec.kind);
        c.local = static_cast<u2>(v);
        c.value = rec.value;
        c.block = static_cast<u2>(r->block);
        c.src_type = rec.src_type;
        c.dst_row = rec.dst_row;
        c.pad = 0;
    }
}

// ---- between-block sets ---------------------------------------------------------------

u4 set_words(const copypropa_work* w) { return w->candidate_count <= DF_WORD_ITEMS ? 1u : df_words(w->candidate_count); }

void set_bit(u8* v, u4 i) { v[i >> 6] |= ABIT_llshr[i & 63]; }
bool test_bit(const u8* v, u4 i) { return (v[i >> 6] & ABIT_llshr[i & 63]) != 0; }

void build_sets(cp_run* r)
{
    copypropa_work& w = r->w;
    method_compile_context* m = r->m;
    u4 n = m->bb_count, words = set_words(&w);
    bool grouped = w.candidate_count <= DF_WORD_ITEMS;
    w.sets = static_cast<copy_block_sets*>(df_alloc(m, w.pc, n * sizeof(copy_block_sets)));
    auto* storage = static_cast<u8*>(df_alloc(m, w.pc, n * 4 * words * sizeof(u8)));
    memset(storage, 0, n * 4 * words * sizeof(u8));
    for (u4 b = 0; b < n; b++) {
        u8* base = storage + b * 4 * words;
        w.sets[b] = {base, base + words, base + 2 * words, base + 3 * words};
    }
    // Masks: a group of equal candidates shares its members' bits.
    auto* masks = static_cast<u8*>(df_alloc(m, w.pc, w.candidate_count * words * sizeof(u8)));
    memset(masks, 0, w.candidate_count * words * sizeof(u8));
    for (s4 i = w.candidate_count - 1; i >= 0; i--)
        set_bit(masks + i * words, static_cast<u4>(i));
    if (grouped) {
        auto* grouped_flag = static_cast<u1*>(df_alloc(m, w.pc, static_cast<u4>(w.candidate_count)));
        memset(grouped_flag, 0, static_cast<u4>(w.candidate_count));
        for (s4 i = w.candidate_count - 1; i >= 0; i--) {
            if (grouped_flag[i])
                continue;
            const copy_candidate& ci = w.candidates[i];
            u8 mask = masks[i];
            for (s4 j = i - 1; j >= 0; j--) {
                const copy_candidate& cj = w.candidates[j];
                if (!grouped_flag[j] && cj.kind == ci.kind && cj.local == ci.local && cj.value == ci.value
                    && cj.src_type == ci.src_type && cj.dst_row == ci.dst_row) {
                    grouped_flag[j] = 1;
                    mask |= masks[j];
                }
            }
            masks[i] = mask;
            for (s4 j = i - 1; j >= 0; j--)
                if (grouped_flag[j] && (mask & ABIT_llshr[j]))
                    masks[j] = mask;
        }
    }
    for (s4 i = w.candidate_count - 1; i >= 0; i--) {
        const copy_candidate& c = w.candidates[i];
        const u8* mask = masks + i * words;
        for (u4 k = 0; k < words; k++)
            w.sets[c.block].gen[k] |= mask[k];
        for (u4 b = 1; b + 1 < n; b++) {
            bool kills = is_defined(r, b, c.local) || (two_word(c.dst_row) && is_defined(r, b, c.local + 1u));
            if (c.kind == CPV_LOCAL)
                kills = kills || is_defined(r, b, c.value) || (two_word(c.src_type) && is_defined(r, b, c.value + 1));
            if (kills)
                for (u4 k = 0; k < words; k++)
                    w.sets[b].kill[k] |= mask[k];
        }
    }
}

// The visiting order, then every live block it does not name (so that no
// edge escapes the meet).
u4* iteration_list(cp_run* r, u4* count)
{
    method_compile_context* m = r->m;
    u4 n = m->bb_count;
    auto* list = static_cast<u4*>(df_alloc(m, r->w.pc, (static_cast<u4>(r->w.order_count) + n) * sizeof(u4)));
    memset(r->done, 0, n);
    u4 k = 0;
    for (s4 i = 0; i < r->w.order_count; i++) {
        u4 b = r->w.order[i];
        if (b < n && !r->done[b]) {
            r->done[b] = 1;
            list[k++] = b;
        }
    }
    for (u4 b = 0; b < n; b++)
        if (!r->done[b] && !(m->bb_table[b]->flags & BB_DEAD))
            list[k++] = b;
    *count = k;
    return list;
}

int iterate(cp_run* r)
{
    copypropa_work& w = r->w;
    method_compile_context* m = r->m;
    u4 words = set_words(&w), n = m->bb_count;
    u1* work = static_cast<u1*>(df_alloc(m, w.pc, n));
    memset(work, 0, n);
    u4 count;
    u4* list = iteration_list(r, &count);
    // Nothing is known at the method's entry, nor at the entry of a handler
    // or a subroutine (the entry block's successors).
    for (u4 i = 0; i < count; i++) {
        work[list[i]] = 1;
        if (list[i] != 0)
            memset(w.sets[list[i]].in, 0xFF, words * sizeof(u8));
    }
    bbattr* entry = m->bb_table[0];
    for (u4 j = 0; j < entry->succ_count; j++) {
        u4 t = bb_succ_block(entry->succ[j]);
        if (t < n)
            memset(w.sets[t].in, 0, words * sizeof(u8));
    }
    // Where an interpreter frame continues in compiled code only the method's
    // own locals arrive (the transfer entry passes on every fact about them:
    // the interpreter computed the same values); a fact that names one of
    // the compiler's locals does not hold there.
    u8* foreign = static_cast<u8*>(df_alloc(m, w.pc, words * sizeof(u8)));
    memset(foreign, 0, words * sizeof(u8));
    const dataflow_pass_context* pc = w.pc;
    for (s4 i = 0; i < w.candidate_count; i++) {
        const copy_candidate& c = w.candidates[i];
        if (!df_local_in_set(pc->orig_count, pc->orig_set, c.local)
            || (c.kind == CPV_LOCAL && !df_local_in_set(pc->orig_count, pc->orig_set, c.value)))
            set_bit(foreign, static_cast<u4>(i));
    }
    bool changed = true;
    while (changed) {
        changed = false;
        for (u4 i = 0; i < count; i++) {
            u4 b = list[i];
            if (b >= n || !work[b])
                continue;
            work[b] = 0;
            bbattr* bb = m->bb_table[b];
            if (bb->flags & BB_DEAD)
                continue;
            copy_block_sets& s = w.sets[b];
            if ((bb->flags2 & BB2_NO_FACTS) && (bb->flags2 & BB2_TRANSFER_POINT))
                memset(s.in, 0, words * sizeof(u8));
            if (bb->flags2 & BB2_TRANSFER_POINT)
                for (u4 k = 0; k < words; k++)
                    s.in[k] &= ~foreign[k];
            for (u4 k = 0; k < words; k++) {
                u8 out = (bb->flags2 & BB2_TRANSPARENT) && !(bb->flags2 & BB2_NO_FACTS)
                             ? ~s.kill[k] | s.gen[k]
                             : (s.in[k] & ~s.kill[k]) | s.gen[k];
                if (out != s.out[k]) {
                    s.out[k] = out;
                    changed = true;
                }
            }
            for (u4 j = 0; j < bb->succ_count; j++) {
                u4 t = bb_succ_block(bb->succ[j]);
                if (t >= n)
                    continue;
                u8* in = w.sets[t].in;
                bool moved = false;
                for (u4 k = 0; k < words; k++) {
                    u8 v = in[k] & s.out[k];
                    if (v != in[k]) {
                        in[k] = v;
                        moved = true;
                    }
                }
                if (moved)
                    changed = true;
                if (changed)
                    work[t] = 1;
            }
        }
    }
    return 1;
}

void seed_from_in(cp_run* r, u4 block)
{
    copypropa_work& w = r->w;
    const u8* in = w.sets[block].in;
    for (s4 i = w.candidate_count - 1; i >= 0; i--) {
        if (!test_bit(in, static_cast<u4>(i)))
            continue;
        const copy_candidate& c = w.candidates[i];
        copy_value_record& rec = w.records[c.local];
        if (rec.kind != CPV_NONE)
            continue;
        rec.kind = c.kind;
        rec.value = c.value;
        rec.block = static_cast<u2>(block);
        rec.index = static_cast<u2>(i);
        rec.src_type = c.src_type;
        rec.dst_row = c.dst_row;
        if (c.kind == CPV_LOCAL)
            push_dependent(r, c.value, c.local);
        r->any_record = true;
    }
}

// The walk shared by the local and the final phase.
void walk_blocks(cp_run* r)
{
    method_compile_context* m = r->m;
    memset(r->done, 0, m->bb_count);
    s4 last = -1;
    for (s4 i = 0; i < r->w.order_count; i++) {
        u4 block = r->w.order[i];
        if (block >= m->bb_count || r->done[block])
            continue;
        bbattr* b = m->bb_table[block];
        if (!walked(b))
            continue;
        r->done[block] = 1;
        bool chained = continues_chain(r, b, last);
        if (!chained || m->bb_table[last]->succ_count != 1)
            r->prev = nullptr;
        if (!chained) {
            if (r->any_record)
                r->dropped = true;
            clear_all(r);
            reset_small_constants(r);
            if (r->final_phase)
                seed_from_in(r, block);
        }
        r->block = block;
        r->weight = (b->flags & BB_KIND_LOOP) ? 10 : 1;
        r->lo = -1;
        r->hi = -1;
        entry_reset(r, b);
        last = static_cast<s4>(block);
        if (in_debug_range(m, r->final_phase ? SELECT_FINAL : SELECT_LOCAL, block)) {
            skip_block(r, block);
            continue;
        }
        process_block(r, block);
        if (!r->final_phase)
            append_candidates(r);
    }
}

void setup(cp_run* r, method_compile_context* m, dataflow_pass_context* pc)
{
    memset(r, 0, sizeof *r);
    r->m = m;
    copypropa_work& w = r->w;
    w.pc = pc;
    w.nlocals = m->local_count;
    w.records_bytes = w.nlocals * sizeof(copy_value_record);
    w.dependents_bytes = w.nlocals * sizeof(copy_dependent_node*);
    w.records = static_cast<copy_value_record*>(df_alloc(m, pc, w.records_bytes));
    w.dependents = static_cast<copy_dependent_node**>(df_alloc(m, pc, w.dependents_bytes));
    memset(w.records, 0, w.records_bytes);
    memset(w.dependents, 0, w.dependents_bytes);
    u4 count;
    u4* order;
    CreateDFSforDFQuadruple(m, pc, &count, &order);
    w.order_count = static_cast<s4>(count);
    w.order = order;
    r->done = static_cast<u1*>(df_alloc(m, pc, m->bb_count));
    r->lo = r->hi = -1;
}

void final_phase(cp_run* r)
{
    if (disable_copypropa_final != 0)
        return;
    r->final_phase = true;
    r->any_record = true;
    clear_all(r);
    r->small_const = nullptr;
    r->prev = nullptr;
    walk_blocks(r);
    if (r->changed)
        r->w.pc->flags |= DFP_DEADSTORE_WANTED;
}

} // namespace

bool df_retargetable(const quadruple* q)
{
    if (opc_info_quadruple[q->opcode] & (OPA_LOCAL_COPY | OPA_ARGCOPY))
        return false;
    return q->opcode != OPC_JSR && q->opcode != OPC_CATCH;
}

int CopyPropa_Local_Q(method_compile_context* m, copypropa_work* w)
{
    cp_run* r = run_of(w);
    u4 n = m->bb_count;
    r->vec_words = (w->nlocals + 31) / 32;
    r->vec_bytes = n * r->vec_words * 4;
    r->defined = static_cast<u4**>(df_alloc(m, w->pc, n * sizeof(u4*)));
    auto* vectors = static_cast<u4*>(df_alloc(m, w->pc, r->vec_bytes));
    memset(vectors, 0, r->vec_bytes);
    for (u4 b = 0; b < n; b++)
        r->defined[b] = vectors + b * r->vec_words;
    memset(w->records, 0, w->records_bytes);
    memset(w->dependents, 0, w->dependents_bytes);
    w->pc->flags &= ~(DFP_COUNTED_CLASS | DFP_NULLCHECK_WANTED);
    r->final_phase = false;
    walk_blocks(r);
    // Live blocks the order does not name still kill what they define.
    for (u4 b = 1; b + 1 < n; b++) {
        bbattr* bb = m->bb_table[b];
        if (!r->done[b] && walked(bb)) {
            r->block = b;
            skip_block(r, b);
        }
    }
    if (w->candidate_count > 0)
        build_sets(r);
    if (r->field_count > 1)
        w->pc->flags |= DFP_COUNTED_CLASS;
    if (r->nullcheck_count > 1)
        w->pc->flags |= DFP_NULLCHECK_WANTED;
    if (r->changed)
        w->pc->flags |= DFP_DEADSTORE_WANTED;
    return r->dropped && w->candidate_count > 0 ? 1 : 0;
}

int CopyPropa_Iter_B(method_compile_context*, copypropa_work* w) { return iterate(run_of(w)); }
int CopyPropa_Iter_V(method_compile_context*, copypropa_work* w) { return iterate(run_of(w)); }
void CopyPropa_Final_B(method_compile_context*, copypropa_work* w) { final_phase(run_of(w)); }
void CopyPropa_Final_V(method_compile_context*, copypropa_work* w) { final_phase(run_of(w)); }

int dataflow_Q_copypropa(method_compile_context* m, dataflow_pass_context* pc, int first_run)
{
    read_settings();
    if ((compile_option2_flag & OPT2_NQCOPYPROPA) || !(m->state_flags & MCC_QUAD_FORM) || m->local_count == 0)
        return 0;
    pc->flags |= DFP_BUSY;
    df_reset_arena1(pc);
    cp_run run;
    setup(&run, m, pc);
    run.w.swap_allowed = 1;
    run.w.first_run = static_cast<u4>(first_run);
    if (CopyPropa_Local_Q(m, &run.w) == 1) {
        if (run.w.candidate_count > DF_WORD_ITEMS) {
            if (CopyPropa_Iter_V(m, &run.w) != 0)
                CopyPropa_Final_V(m, &run.w);
        } else if (CopyPropa_Iter_B(m, &run.w) != 0) {
            CopyPropa_Final_B(m, &run.w);
        }
    }
    if (run.changed)
        m->state_flags |= MCC_REACHDEF_STALE;
    df_reset_arena1(pc);
    pc->flags &= ~(DFP_COPYPROPA_WANTED | DFP_BUSY);
    return 0;
}
