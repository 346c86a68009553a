// Memory operands: the address-pattern tables that let a field, static or
// array-element access fold into the instruction that uses its value, the
// definition searches the dispatcher and generators ask, the register
// bookkeeping of a memop's base and index, and the two-operand operation on a
// memory operand (opcodes 149-151).
//
// Definition search: from a using quadruple at position p, the first earlier
// quadruple that is not deleted and whose result carries the folding flag
// (0x20) is the definer; the pair must match a row of the table of the
// operand's type class.  Through an F2D definer the search continues once.
#include <initializer_list>
#include <string.h>

#include "codegen/cg_core.h"
#include "driver/driver.h"

constexpr u1 QF_FOLD = 0x20;     // operand flag: the value folds into its user

const u1 MEMOP_ANY_USER[] = {0xFF, 0};

static const u1 users16[] = {4, 5, 9, 8, 43, 85, 86, 88, 89, 122, 145, 141, 142, 148, 13, 44, 0};
static const u1 users32[] = {39, 38, 47, 138, 145, 0};
static const u1 users32_mt[] = {166, 0};
static const u1 users32_mb[] = {165, 0};
static const u1 users48[] = {148, 13, 44, 88, 89, 0};
static const u1 users64[] = {147, 30, 46, 93, 94, 95, 125, 0};
static const u1 users80[] = {146, 22, 45, 90, 91, 92, 123, 147, 30, 46, 93, 94, 95, 125, 0};

// The handlers belong to the generators' subsystem; they are reached by
// pointer only, through these wrappers.
#define HANDLER(name)                                                                                        \
    int name(codegen_context* cg, memop* m, reg_operand* lo, reg_operand* hi, quadruple** slot, int a, int b, \
             int c, int d);
HANDLER(getregs_sizeload)
HANDLER(getregs_xaload)
HANDLER(getregs_xgetfield)
HANDLER(getregs_xgetstatic)
HANDLER(getregs_ldc)
HANDLER(getregs_methodtable)
HANDLER(getregs_methodblock)
#undef HANDLER

static const memop_pattern_row table16[] = {
    {83, users16, getregs_sizeload, 0}, {143, users16, getregs_xaload, 0}, {6, users16, getregs_xaload, 0},
    {113, users16, getregs_xaload, 0},  {60, users16, getregs_xgetfield, 0}, {70, users16, getregs_xgetstatic, 0},
    {0, nullptr, nullptr, 0}};
static const memop_pattern_row table32[] = {
    {40, users32, getregs_xaload, 0},      {113, users32, getregs_xaload, 0},    {64, users32, getregs_xgetfield, 0},
    {74, users32, getregs_xgetstatic, 0},  {105, users32, getregs_ldc, 0},       {158, users32_mt, getregs_methodtable, 0},
    {157, users32_mb, getregs_methodblock, 0}, {0, nullptr, nullptr, 0}};
static const memop_pattern_row table48[] = {
    {16, users48, getregs_xaload, 0},  {113, users48, getregs_xaload, 0}, {61, users48, getregs_xgetfield, 0},
    {71, users48, getregs_xgetstatic, 0}, {11, MEMOP_ANY_USER, nullptr, 0}, {0, nullptr, nullptr, 0}};
static const memop_pattern_row table64[] = {
    {32, users64, getregs_xaload, 0},  {113, users64, getregs_xaload, 0}, {63, users64, getregs_xgetfield, 0},
    {73, users64, getregs_xgetstatic, 0}, {28, MEMOP_ANY_USER, nullptr, 0}, {92, MEMOP_ANY_USER, nullptr, 0},
    {0, nullptr, nullptr, 0}};
static const memop_pattern_row table80[] = {
    {24, users80, getregs_xaload, 0},  {113, users80, getregs_xaload, 0}, {62, users80, getregs_xgetfield, 0},
    {72, users80, getregs_xgetstatic, 0}, {20, MEMOP_ANY_USER, nullptr, 0}, {0, nullptr, nullptr, 0}};

const memop_pattern_row* memop_pattern_table(u2 type_word)
{
    switch (type_word & 0xF0) {
    case 16: return table16;
    case 32: case 96: case 112: return table32;
    case 48: return table48;
    case 64: return table64;
    case 80: return table80;
    default: return nullptr;
    }
}

static int accepts(const u1* users, u1 opcode)
{
    if (users == MEMOP_ANY_USER)
        return 1;
    for (const u1* u = users; *u != 0; u++)
        if (*u == opcode)
            return 1;
    return 0;
}

// The row that pairs definer and user in the type class, or none.  The first
// row with the defining opcode decides.
static const memop_pattern_row* match(u2 type_word, const quadruple* def, const quadruple* user)
{
    const memop_pattern_row* t = memop_pattern_table(type_word);
    if (t == nullptr)
        return nullptr;
    if ((def->subcode & QS_UNRESOLVED) &&
        (def->opcode == OPC_LDC || ((opc_info_quadruple[def->opcode] >> 8) & 0x78)))
        return nullptr;
    for (; t->def_opcode != 0; t++)
        if (t->def_opcode == def->opcode)
            return accepts(t->users, user->opcode) ? t : nullptr;
    return nullptr;
}

static u2 type_word_of(const quad_operand* op) { return (u2)(op->kind | op->flags << 8); }
static int folds(u2 type_word) { return (type_word & 0x200F) == 0x2001; }

const memop_pattern_row* memop_definition_search(u2 type_word, bbattr* b, s4 pos, quadruple*** slot,
                                                 codegen_context* cg)
{
    if (!folds(type_word) || b == nullptr || pos <= 0 || (u4)pos > b->quad_count)
        return nullptr;
    quadruple* user = b->catbl[pos];
    s4 d = pos - 1;
    for (; d >= 0; d--) {
        quadruple* q = b->catbl[d];
        if (!(q->opcount & QC_DELETED) && (q->result.flags & QF_FOLD))
            break;
    }
    if (d < 0)
        return nullptr;
    quadruple* def = b->catbl[d];
    const memop_pattern_row* row = match(type_word, def, user);
    if (row == nullptr)
        return nullptr;
    if (slot != nullptr)
        *slot = &b->catbl[d];
    if (cg != nullptr && def->opcode == OPC_F2D) {
        quadruple** second = nullptr;
        const memop_pattern_row* r2 = memop_definition_search(type_word_of(&def->src1), b, d, &second, nullptr);
        if (r2 == nullptr || second == nullptr)
            return row;
        const memop_pattern_row* r3 = match(type_word, *second, user);
        if (r3 != nullptr && slot != nullptr)
            *slot = second;
        return r3;
    }
    return row;
}

quadruple** Qmemop_is_used(u2 type_word, bbattr* b, s4 pos, codegen_context* cg)
{
    quadruple** slot = nullptr;
    return memop_definition_search(type_word, b, pos, &slot, cg) != nullptr ? slot : nullptr;
}

int memop_is_used(codegen_context* cg, quad_operand* op, u4 reg)
{
    if (op == nullptr || cg->cur_bb <= 0)
        return 0;
    return Qmemop_is_used(type_word_of(op), cg->bbtable[cg->cur_bb], cg->cur_quad, cg) != nullptr;
}

int Qmemop_is_defined(u2 type_word, bbattr* b, s4 pos, codegen_context* cg)
{
    if (b == nullptr || pos < 0 || (u4)pos >= b->quad_count)
        return 0;
    quadruple* def = b->catbl[pos];
    if ((def->opcount & QC_SRC_MASK) == QC_SRC_LIST || type_word == 0 || !folds(type_word))
        return 0;
    for (u4 u = (u4)pos + 1; u < b->quad_count; u++) {
        quadruple* q = b->catbl[u];
        if (q->opcount & QC_DELETED)
            continue;
        u4 n = q->opcount & QC_SRC_MASK;
        int uses = (n == 1 && (q->src1.flags & QF_FOLD)) || (n == 2 && ((q->src1.flags | q->src2.flags) & QF_FOLD));
        if (!uses)
            continue;
        if (match(type_word, def, q) == nullptr)
            return 0;
        if (cg == nullptr || def->opcode != OPC_F2D)
            return 1;
        return memop_definition_search(type_word_of(&q->src1), b, (s4)u, nullptr, cg) != nullptr;
    }
    return 0;
}

int memop_is_defined(codegen_context* cg, reg_operand* op)
{
    if (cg->cur_bb <= 0)
        return 0;
    bbattr* b = cg->bbtable[cg->cur_bb];
    quadruple* q = b->catbl[cg->cur_quad];
    return Qmemop_is_defined(type_word_of(&q->result), b, cg->cur_quad, cg);
}

int _memop_getregs(codegen_context* cg, memop* m, reg_operand* op, quadruple** slot, int a, int b, int c, int d)
{
    memset(m, 0, sizeof(*m));
    if (op->kind == OPND_LOCAL && op->source != nullptr)
        m->type_class = type_word_of(op->source);
    if (op->source != nullptr && cg->cur_bb > 0) {
        quadruple** def = nullptr;
        const memop_pattern_row* row =
            memop_definition_search(type_word_of(op->source), cg->bbtable[cg->cur_bb], cg->cur_quad, &def, cg);
        if (row != nullptr && row->handler != nullptr) {
            m->low.type = 'I';
            m->high.type = 'I';
            reg_operand res, s1, s2;
            set_3ioperands(cg, def, &res, &s1, &s2);
            return row->handler(cg, m, &m->low, &m->high, def, a, b, c, d);
        }
    }
    m->low = *op;
    switch (op->kind) {
    case OPND_LOCAL: {
        u2 cls = m->type_class & 0xF0;
        m->base = GR_ESP;
        m->size = cls == 48 || cls == 64 ? 8 : 4;
        m->form = MEMOP_FORM_LOCAL;
        int cached = cls == 64 || cls == 80 ? is_cached_fp_oprnd(cg, op) : is_cached_int_oprnd(cg, op);
        m->where = cached ? 'R' : 'M';
        if (cls == 48) {
            m->high = *op;
            m->high.value = op->value - 1;
            m->high_where = is_cached_int_oprnd(cg, &m->high) ? 'R' : 'M';
        }
        return 0;
    }
    default:
        if ((op->type == 'F' || op->type == 'D') && !is_cached_fp_oprnd(cg, op)) {
            m->size = op->type == 'F' ? 4 : 8;
            m->where = 'M';
            if (op->kind == OPND_YCONST) {
                m->disp = (s4)MEMOP_DISP_IN_DISP2;
                m->disp2 = (s4)op->value;
                m->form = MEMOP_FORM_CONST;
            } else if (op->kind == OPND_CONST) {
                m->disp = (s4)(4 * op->value);
                m->form = MEMOP_FORM_CONST;
            } else {
                m->disp = (s4)op->value;
                m->form = MEMOP_FORM_REG_OR_SLOT;
            }
            return 0;
        }
        if (op->kind != OPND_CONST && op->kind != OPND_XCONST && op->kind != OPND_YCONST) {
            m->where = 'R';
            int r = query_int_oprnd(cg, op);
            m->base = r >= 0 ? reg_mgr_to_id[r & 7] : 0;
        }
        return 0;
    }
}

void _memop_assign_spill_offset(codegen_context* cg, memop* m, int which)
{
    if (m->base != (s4)GR_ESP)
        return;
    // A long local is the pair (high n, low n + 1): its low word is the
    // slot of `low`, its high word the slot of n, 4 bytes above.  A double's
    // eight bytes start at its second slot, the one at the lower address.
    u2 cls = m->type_class & 0xF0;
    if (which & 1)
        m->disp = C_Style_local(cg, (s4)m->low.value, cls == 64 ? 1 : 0) - cg->mci->sp_offset;
    if (which & 2) {
        if (cls == 48)
            m->disp2 = C_Style_local(cg, (s4)m->low.value - 1, 0) - cg->mci->sp_offset;
        else
            m->disp2 = C_Style_local(cg, (s4)m->low.value, 1) - cg->mci->sp_offset;
    }
}

static u4 alloc_bit(s4 reg)
{
    if (reg < 1 || reg >= (s4)GR_COUNT || reg == (s4)GR_ESP)
        return 0;
    return reg_used_bit[reg];
}

u4 memop_used_regbits(const memop* m)
{
    u4 bits = alloc_bit(m->base);
    if (m->scale != 0)
        bits |= alloc_bit(m->index);
    return bits;
}

void memop_freeregs_w_rsvbits(codegen_context* cg, u4 reserved, memop* m)
{
    if (m->where != 'M')
        return;
    for (s4 r : {m->base, m->scale != 0 ? m->index : 0}) {
        u4 bit = alloc_bit(r);
        if (bit != 0 && !(bit & reserved))
            _free_int_reg(cg, reg_id_to_mgr[r], 0, 0, 1);
    }
}

void memop_freeregs(codegen_context* cg, u4 a, u4 b, memop* m)
{
    memop_freeregs_w_rsvbits(cg, alloc_bit((s4)a) | alloc_bit((s4)b), m);
}

void memop_invalidate_if_lastuse(codegen_context* cg, u4 a, u4 b, memop* m)
{
    if (m->where != 'M' || m->base == (s4)GR_ESP)
        return;
    for (reg_operand* op : {&m->low, &m->high}) {
        if (op->kind == OPND_NONE)
            continue;
        int r = query_int_oprnd(cg, op);
        if (r < 0)
            continue;
        u4 id = (u4)reg_mgr_to_id[r & 7];
        if (id != a && id != b)
            invalidate_if_lastuse(cg, op);
    }
}

// ALU operations by operator code (0..6).
const u1 memop_alu_4[7] = {ALU_ADD, ALU_ADD, ALU_SUB, ALU_ADD, ALU_AND, ALU_OR, ALU_XOR};
const u1 memop_alu_8lo[7] = {ALU_ADD, ALU_ADD2, ALU_SUB2, ALU_ADD, ALU_AND, ALU_OR, ALU_XOR};
const u1 memop_alu_8hi[7] = {ALU_ADD, ALU_ADC, ALU_SBB, ALU_ADD, ALU_AND, ALU_OR, ALU_XOR};

static int is_const(const reg_operand* op)
{
    return op->kind == OPND_CONST || op->kind == OPND_XCONST || op->kind == OPND_YCONST;
}

int gen_op2_memopX(codegen_context* cg, int op, reg_operand* a, reg_operand* b, reg_operand* src_lo,
                   reg_operand* src_hi, quadruple** slot)
{
    memop m;
    memset(&m, 0, sizeof(m));
    switch ((*slot)->opcode) {
    case OPC_MEMOP2_I: getregs_xgetfield(cg, &m, a, b, slot, 127, 0, 0, 0); break;
    case OPC_MEMOP2_L: getregs_xgetstatic(cg, &m, a, b, slot, 0, 0, 0, 0); break;
    default: getregs_xaload(cg, &m, a, b, slot, 127, 0, 127, 0); break;
    }
    m.form |= MEMOP_FORM_USED;
    if (m.size != 8) {
        if (is_const(src_lo)) {
            gen_op_memop_i4(cg, op, &m, (s4)src_lo->value);
        } else {
            int r = _get_rd_int_oprnd(cg, src_lo, 0, -1);
            gen_op_memop_gr4(cg, op, &m, (u4)reg_mgr_to_id[r & 7]);
            _free_int_reg(cg, r, 0, 0, 1);
        }
    } else if (is_const(src_lo)) {
        s4 lo = (s4)get_imm_long_op(cg, src_lo);
        s4 hi = src_hi != nullptr && src_hi->kind != 0 ? (s4)get_imm_long_op(cg, src_hi) : (lo < 0 ? -1 : 0);
        gen_op_memop8_i8(cg, op, &m, lo, hi);
    } else {
        int rl = _get_rd_int_oprnd(cg, src_lo, 0, -1);
        int rh;
        if (src_hi != nullptr && src_hi->kind != 0) {
            rh = _get_rd_int_oprnd(cg, src_hi, 0, -1);
        } else {
            rh = _alloc_int_reg(cg, 127, 0);
            gen_move_gr_gr(cg, (u4)reg_mgr_to_id[rh & 7], (u4)reg_mgr_to_id[rl & 7]);
            gen_shift_gr_i4(cg, SHIFT_SAR, (u4)reg_mgr_to_id[rh & 7], 31);
        }
        _free_int_reg(cg, rh, 0, 0, 1);
        _free_int_reg(cg, rl, 0, 0, 1);
        gen_op_memop8_gr(cg, op, &m, (u4)reg_mgr_to_id[rl & 7], (u4)reg_mgr_to_id[rh & 7]);
    }
    if (src_lo != nullptr)
        invalidate_if_lastuse(cg, src_lo);
    if (src_hi != nullptr && src_hi->kind != 0)
        invalidate_if_lastuse(cg, src_hi);
    m.low = a != nullptr ? *a : reg_operand{0, 'I', 0, 0xFFFFFFFFu, nullptr};
    m.high = b != nullptr ? *b : reg_operand{0, 'I', 0, 0xFFFFFFFFu, nullptr};
    memop_freeregs(cg, 0, 0, &m);
    memop_invalidate_if_lastuse(cg, 0, 0, &m);
    return 0;
}

// ---------------------------------------------------------------------------
// Loading a descriptor's value into registers.  Integer results are register
// ids (the manager index of a register id r is reg_id_to_mgr[r]); x87 results
// are model positions.  Masks are manager-index masks, which coincide with
// the used-register bits of the same registers.
// ---------------------------------------------------------------------------
static s4 mgr_id(int mgr) { return mgr >= 0 && mgr < 7 ? reg_mgr_to_id[mgr] : -1; }

// The base (or index) register when its operand is a local at its last use
// and the register is in `mask`: reused for the result, its manager entry
// turned into a work entry.
static s4 reuse_address_reg(codegen_context* cg, memop* m, u4 mask, u4* reserved, int skip_id)
{
    struct { s4 reg; reg_operand* op; } cands[2] = {{m->base, &m->low}, {m->scale != 0 ? m->index : 0, &m->high}};
    for (auto& c : cands) {
        u4 bit = alloc_bit(c.reg);
        if (bit == 0 || c.reg == skip_id || !(bit & mask) || (bit & *reserved))
            continue;
        if (c.op->kind != OPND_LOCAL || c.op->source == nullptr || !(c.op->source->flags & 0x01))
            continue;
        int mgr = reg_id_to_mgr[c.reg];
        reg_operand work = {OPND_FREG, 'I', 0, (u4)mgr, nullptr};
        _assoc_int_oprnd(cg, &work, mgr, 0, 1);
        *reserved |= bit;
        return c.reg;
    }
    return -1;
}

static int narrows_to_float(const quadruple* q)
{
    if (opc_takes_float(q->opcode))
        return 1;
    return q->opcode == OPC_XASTORE && (q->subcode & QS_KIND_MASK) == 6;
}

int _memop_alloc_move_to_reg_w_rsvbits(codegen_context* cg, memop* m, u4 lo_mask, u4 lo_avoid, u4 hi_mask,
                                       u4 hi_avoid, u4 reserved)
{
    u2 cls = m->type_class & 0xF0;
    s4 lo = -1, hi = -1;
    int register_path = 0;
    if (m->base == (s4)GR_ESP) {
        if (cls == 16 || cls == 32) {
            lo = mgr_id(_set_wt_int_oprnd(cg, &m->low, lo_mask, lo_avoid, 0, 1));
        } else if (cls == 48) {
            hi = mgr_id(_set_wt_int_oprnd(cg, &m->high, hi_mask, hi_avoid, 0, 1));
            lo = mgr_id(_set_wt_int_oprnd(cg, &m->low, lo_mask, lo_avoid, 0, 1));
        } else if (cls == 64 || cls == 80) {
            lo = get_wt_fp86_oprnd(cg, &m->low);
        }
    } else if (m->where == 'I' || (m->where == 'M' && m->type_class == 0)) {
        lo = get_wt_fp86_oprnd(cg, &m->low);
    } else {
        register_path = 1;
        u4 used = memop_used_regbits(m);
        if ((cls == 16 || cls == 32) && hi_mask == 0) {
            lo = reuse_address_reg(cg, m, lo_mask, &reserved, -1);
            memop_freeregs_w_rsvbits(cg, reserved, m);
            memop_invalidate_if_lastuse(cg, 0, 0, m);
            if (lo < 0)
                lo = mgr_id(_alloc_int_reg(cg, lo_mask, (int)(lo_avoid | used)));
            gen_move_gr4_memop(cg, (u4)lo, m);
        } else if (cls == 16 || cls == 32 || cls == 48) {
            lo = reuse_address_reg(cg, m, lo_mask, &reserved, -1);
            hi = reuse_address_reg(cg, m, hi_mask, &reserved, lo);
            memop_freeregs_w_rsvbits(cg, reserved, m);
            memop_invalidate_if_lastuse(cg, 0, 0, m);
            if (lo < 0)
                lo = mgr_id(_alloc_int_reg(cg, lo_mask, (int)(lo_avoid | used)));
            if (hi < 0)
                hi = mgr_id(_alloc_int_reg(cg, hi_mask, (int)(hi_avoid | used)));
            gen_move_gr8_memop(cg, (u4)lo, (u4)hi, m);
        } else if (cls == 64 || cls == 80) {
            memop_freeregs_w_rsvbits(cg, reserved, m);
            memop_invalidate_if_lastuse(cg, 0, 0, m);
            lo = alloc_fp86_reg(cg, 127);
            gen_move_fr_memop(cg, m);
        }
    }
    if (!register_path && cls == 16 && hi_mask != 0 && lo >= 0) {
        // The high word of an int widened to long: the sign of the low word.
        hi = mgr_id(_alloc_int_reg(cg, hi_mask, (int)hi_avoid));
        gen_move_gr_gr(cg, (u4)hi, (u4)lo);
        gen_shift_gr_i4(cg, SHIFT_SAR, (u4)hi, 31);
    }
    if (cls == 64 && cg->cur_bb > 0 && narrows_to_float(cg->bbtable[cg->cur_bb]->catbl[cg->cur_quad]))
        spilloutin_fr_w_check(cg, lo, 4);
    m->where = 'R';
    m->base = lo;
    m->index = hi;
    return lo;
}

int _memop_alloc_move_to_reg(codegen_context* cg, memop* m, u4 lo_mask, u4 lo_avoid, u4 hi_mask, u4 hi_avoid,
                             u4 reg1, u4 reg2)
{
    u4 reserved = alloc_bit((s4)(reg1 & REG_ID_MASK)) | alloc_bit((s4)(reg2 & REG_ID_MASK));
    return _memop_alloc_move_to_reg_w_rsvbits(cg, m, lo_mask, lo_avoid, hi_mask, hi_avoid, reserved);
}

void memop_move_to_destregs_(codegen_context* cg, memop* m, u4 dst, u4 dst_hi)
{
    if (m->size == 8)
        gen_move_gr8_memop(cg, dst, dst_hi, m);
    else
        gen_move_gr4_memop(cg, dst, m);
    m->where = 'R';
    m->base = (s4)dst;
    m->index = m->size == 8 ? (s4)dst_hi : -1;
    m->scale = 0;
}
