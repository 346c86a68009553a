// Operand descriptors: the conversion of a quadruple's operands into the
// register manager's `reg_operand` descriptors (one per 32-bit word, so a
// long becomes two), the call predicate the optimizer passes ask, the start-up
// hook of the code generator and small generators for exception regions.
#include <stdio.h>
#include <string.h>

#include "codegen/cg_core.h"
#include "driver/driver.h"
#include "frontend/qgen.h"
#include "lib/descriptor.h"

static u1 data_type(const quad_operand* op) { return op->kind >> QT_SHIFT; }
static u1 kind_of(const quad_operand* op) { return op->kind & QK_KIND_MASK; }

void set_ioperand(codegen_context* cg, quadruple** slot, reg_operand* out, quad_operand* op)
{
    quadruple* q = *slot;
    switch (kind_of(op)) {
    case QK_NONE: *out = CG_EMPTY_OPERAND; out->type = 'I'; return;
    case QK_VARIABLE:
        *out = {OPND_LOCAL, 'I', 0, (u4)op->number + (data_type(op) == QT_LONG ? 1u : 0u), op};
        return;
    case QK_ARGUMENT: *out = {OPND_ARG, 'I', (u2)(op->number >> 8), (u4)(op->number & 0xFF), op}; return;
    case QK_IMMEDIATE: *out = {OPND_CONST, 'I', 0, (u4)op->number, nullptr}; return;
    case QK_NEG_IMMEDIATE: *out = {OPND_CONST, 'I', 0, (u4)-(s4)op->number, nullptr}; return;
    case QK_CONSTANT:
        *out = {data_type(op) == QT_REF ? OPND_ADDR : OPND_CONST, 'I', 0, q->value, nullptr};
        return;
    case QK_CONST_PTR:
        *out = {OPND_CONST, 'I', 0, *reinterpret_cast<const u4*>((uintptr_t)q->value), nullptr};
        return;
    default: return;   // kinds 7 and above: left unchanged
    }
}

void set_3ioperands(codegen_context* cg, quadruple** slot, reg_operand* res, reg_operand* s1, reg_operand* s2)
{
    quadruple* q = *slot;
    if (res != nullptr)
        set_ioperand(cg, slot, res, &q->result);
    if (s1 != nullptr)
        set_ioperand(cg, slot, s1, &q->src1);
    if (s2 != nullptr)
        set_ioperand(cg, slot, s2, &q->src2);
}

void set_loperand(codegen_context* cg, quadruple** slot, reg_operand* lo, reg_operand* hi, quad_operand* op)
{
    quadruple* q = *slot;
    reg_operand empty = {0, 0, 0, 0xFFFFFFFFu, nullptr};
    switch (kind_of(op)) {
    case QK_NONE: *lo = empty; *hi = empty; return;
    case QK_VARIABLE:
        if (data_type(op) == QT_INT) {
            *lo = {OPND_LOCAL, 'I', 0, op->number, op};
            *hi = empty;
            return;
        }
        {
            auto* copies = static_cast<quad_operand*>(jit_wmem_alloc(cg->m->pool1, 2 * sizeof(quad_operand)));
            if (copies == nullptr) {
                fprintf(stderr, "this should not occur\n");
                *lo = {OPND_LOCAL, 'I', 0, (u4)op->number + 1, nullptr};
                *hi = {OPND_LOCAL, 'I', 0, op->number, op};
                return;
            }
            copies[0] = *op;
            copies[1] = *op;
            copies[1].reg = op->second;
            copies[1].flags = (u1)((op->flags & ~1u) | ((op->flags & 2) ? 1 : 0));
            *lo = {OPND_LOCAL, 'I', 0, (u4)op->number + 1, &copies[1]};
            *hi = {OPND_LOCAL, 'I', 0, op->number, &copies[0]};
            return;
        }
    case QK_ARGUMENT: {
        u2 index = op->number & 0xFF, pos = op->number >> 8;
        *lo = {OPND_ARG, 'I', (u2)(pos + 1), (u4)index + 1, op};
        *hi = {OPND_ARG, 'I', pos, index, op};
        return;
    }
    case QK_IMMEDIATE: *lo = {OPND_CONST, 'I', 0, op->number, nullptr}; *hi = {OPND_CONST, 'I', 0, 0, nullptr}; return;
    case QK_NEG_IMMEDIATE:
        *lo = {OPND_CONST, 'I', 0, (u4)-(s4)op->number, nullptr};
        *hi = {OPND_CONST, 'I', 0, 0xFFFFFFFFu, nullptr};
        return;
    case QK_CONSTANT:
        if (data_type(op) == QT_INT) {
            *lo = {OPND_CONST, 'I', 0, q->value, nullptr};
            *hi = {OPND_CONST, 'I', 0, (s4)q->value < 0 ? 0xFFFFFFFFu : 0u, nullptr};
        } else {
            *lo = {OPND_XCONST, 'I', 0, q->value, nullptr};
            *hi = {OPND_XCONST, 'I', 0, q->value + 4, nullptr};
        }
        return;
    case QK_CONST_PTR: {
        const u4* p = reinterpret_cast<const u4*>((uintptr_t)q->value);
        if (data_type(op) == QT_INT) {
            *lo = {OPND_CONST, 'I', 0, p[0], nullptr};
            *hi = {OPND_CONST, 'I', 0, (s4)p[0] < 0 ? 0xFFFFFFFFu : 0u, nullptr};
        } else {
            *lo = {OPND_CONST, 'I', 0, p[0], nullptr};
            *hi = {OPND_CONST, 'I', 0, p[1], nullptr};
        }
        return;
    }
    default: return;
    }
}

// A long source folded from an OPC_LCONST definition is read from that
// quadruple's first source instead.
static quad_operand* long_source(codegen_context* cg, quad_operand* op)
{
    if (cg->cur_bb <= 0)
        return op;
    bbattr* bb = cg->bbtable[cg->cur_bb];
    quadruple** def = Qmemop_is_used(*reinterpret_cast<u2*>(op), bb, cg->cur_quad, cg);
    if (def != nullptr && (*def)->opcode == OPC_LCONST)
        return &(*def)->src1;
    return op;
}

void set_3loperands(codegen_context* cg, quadruple** slot, reg_operand* rl, reg_operand* rh, reg_operand* s1l,
                    reg_operand* s1h, reg_operand* s2l, reg_operand* s2h)
{
    quadruple* q = *slot;
    if (rl != nullptr && rh != nullptr)
        set_loperand(cg, slot, rl, rh, &q->result);
    if (s1l != nullptr && s1h != nullptr)
        set_loperand(cg, slot, s1l, s1h, long_source(cg, &q->src1));
    if (s2l != nullptr && s2h != nullptr)
        set_loperand(cg, slot, s2l, s2h, long_source(cg, &q->src2));
}

static void mark_special_constant(codegen_context* cg, u1 type, const u4* p)
{
    if (p == nullptr)
        return;
    if (type == QT_DOUBLE) {
        u4 lo = p[0], hi = p[1];
        if (((hi & ~0x300000u) == 0x7FCFFFFFu && lo == 0xFFFFFFFFu) ||
            ((hi == 0x7FF00000u || hi == 0xFFF00000u) && lo == 0) || ((lo & 0x11111100u) == 0 && hi == 0))
            cg->flags |= CG_DOUBLE_SPECIAL_CONST;
    } else {
        u4 v = p[0];
        if (v == 0x7F7FFFFFu || v == 0x7F800000u || v == 0xFF800000u || v == 1)
            cg->flags |= CG_FLOAT_SPECIAL_CONST;
    }
}

void set_foperand(codegen_context* cg, quadruple** slot, reg_operand* out, quad_operand* op, s4 spare)
{
    quadruple* q = *slot;
    char type = data_type(op) == QT_FLOAT ? 'F' : 'D';
    switch (kind_of(op)) {
    case QK_NONE: *out = CG_EMPTY_OPERAND; return;
    case QK_VARIABLE: *out = {OPND_LOCAL, type, 0, op->number, op}; return;
    case QK_ARGUMENT: *out = {OPND_ARG, type, (u2)(op->number >> 8), (u4)(op->number & 0xFF), op}; return;
    case QK_IMMEDIATE: *out = {OPND_CONST, type, 0, op->number, nullptr}; return;
    case QK_NEG_IMMEDIATE: *out = {OPND_CONST, type, 0, (u4)-(s4)op->number, nullptr}; return;
    case QK_CONSTANT:
        *out = {OPND_XCONST, type, 0, q->value, nullptr};
        mark_special_constant(cg, data_type(op), reinterpret_cast<const u4*>((uintptr_t)q->value));
        return;
    case QK_CONST_PTR: *out = {OPND_YCONST, type, 0, q->value, nullptr}; return;
    case 12:
        *out = {OPND_ARG, type, 0, (u4)spare, op};
        if (!(q->flags_a & QA_KEEP_FP_POP))
            cg->mci->fp_pop_pending = 0;
        return;
    default: return;
    }
}

s4 cg_fp_spare_index(codegen_context* cg, quadruple* q)
{
    if (q->opcode == OPC_FCALL || q->opcode == OPC_DCALL)
        return 0;
    // The register manager's x87 model keeps no reserved top entries between
    // quadruples, so the spare slot is the top one; a pending pop does not
    // make it negative.
    s4 reserved = 0;
    s4 spare = reserved - (cg->mci->fp_pop_pending ? 1 : 0);
    return spare < 0 ? 0 : spare;
}

static quad_operand* float_source(codegen_context* cg, quad_operand* op)
{
    if (cg->cur_bb <= 0)
        return op;
    bbattr* bb = cg->bbtable[cg->cur_bb];
    quadruple** def = Qmemop_is_used(*reinterpret_cast<u2*>(op), bb, cg->cur_quad, cg);
    if (def != nullptr) {
        u1 opc = (*def)->opcode;
        if (opc == OPC_FCONST || opc == OPC_DCONST || opc == OPC_F2D)
            return &(*def)->src1;
    }
    return op;
}

void set_3foperands(codegen_context* cg, quadruple** slot, reg_operand* res, reg_operand* s1, reg_operand* s2)
{
    quadruple* q = *slot;
    s4 spare = cg_fp_spare_index(cg, q);
    if (s1 != nullptr)
        set_foperand(cg, slot, s1, float_source(cg, &q->src1), spare);
    if (s2 != nullptr)
        set_foperand(cg, slot, s2, float_source(cg, &q->src2), spare);
    if (res != nullptr) {
        set_foperand(cg, slot, res, &q->result, spare);
        if (kind_of(&q->result) == 12)
            cg->mci->fp_pop_pending = 1;
    }
}

int set_operand_list(codegen_context* cg, quadruple** slot, reg_operand* out, int n)
{
    quadruple* q = *slot;
    int k = 0;
    if ((q->opcount & QC_SRC_MASK) == QC_SRC_LIST) {
        quad_operand_list_entry* e = quad_list_head(q);
        for (; e != nullptr && k < n; e = e->next) {
            quad_operand op = {};
            op.kind = (u1)e->kind;
            op.number = e->number;
            // The descriptor keeps a pointer to its source: give it a copy
            // that outlives this walk.
            auto* copy = static_cast<quad_operand*>(jit_wmem_alloc(cg->m->pool1, sizeof(quad_operand)));
            quad_operand* src = copy != nullptr ? copy : nullptr;
            if (copy != nullptr)
                *copy = op;
            u1 t = op.kind >> QT_SHIFT;
            // A long argument is one entry that stands for two argument
            // words wherever it lies in a call's list; any other long entry
            // is split only as the list's last (the stored value of a store).
            bool argument = (op.kind & QK_KIND_MASK) == QK_ARGUMENT;
            if (t == QT_LONG && (e->next == nullptr || argument) && n - k >= 2) {
                set_loperand(cg, slot, &out[k], &out[k + 1], src != nullptr ? src : &op);
                k += 2;
            } else if (t == QT_DOUBLE || t == QT_FLOAT) {
                set_foperand(cg, slot, &out[k++], src != nullptr ? src : &op, 0);
            } else {
                set_ioperand(cg, slot, &out[k++], src != nullptr ? src : &op);
            }
            if (src == nullptr)
                out[k - 1].source = nullptr;
        }
    }
    for (int i = k; i < n; i++)
        out[i] = {0, 0, 0, 0xFFFFFFFFu, nullptr};
    return k;
}

int NeedCall(quadruple* q)
{
    u2 s = q->op;
    switch (q->opcode) {
    case OPC_NEW: case OPC_ICALL: case OPC_LCALL: case OPC_FCALL: case OPC_DCALL: case OPC_ACALL:
    case OPC_VCALL: case OPC_CALL_MARK: case OPC_NEWARRAY: case OPC_ANEWARRAY: case OPC_MULTIANEWARRAY:
    case OPC_CLINIT:
        return 1;
    case OPC_LOP2:
        if (q->src1.kind == 0x11 && q->src2.kind == 0x11)
            return 0;
        return s == 12 || s == 13 || s == 3;
    case OPC_FOP2: case OPC_DOP2: return s == 11;
    case OPC_FOP1: case OPC_DOP1: return s == 31 || s == 32;
    default: return 0;
    }
}

void jit_InitializeCodeGen(void) { init_optlink(); }

void gen_uninstall_exc_handler(codegen_context* cg)
{
    int r = _alloc_int_reg(cg, 1, 0);
    gen_move_gr_mem(cg, GR_EAX, GR_ESP, 0, 0, -16 - cg->mci->sp_offset, 0, 2);
    gen_move_fs_eax(cg);
    _free_int_reg(cg, r, 0, 0, 1);
}

void gen_init_try_region(codegen_context* cg, u4 value)
{
    bbattr* bb = cg->bbtable[cg->cur_bb];
    u4 attr = (bb->flags & BB_IN_TRY) ? 0x1000003u : 3u;
    gen_move_mm_i4(cg, GR_ESP, 0, 0, -4 - cg->mci->sp_offset, (s4)value, SIZE_DWORD, attr);
}

void gen_load_exception_object(codegen_context* cg, reg_operand* op)
{
    // The object arrives in a register only: its local's home does not hold
    // it, so the register is bound dirty and a spill writes it back.
    int r = _set_rd_int_oprnd(cg, op, 1, 0, 1);
    _assoc_int_oprnd(cg, op, optim_set(cg, r, op), 0, 0);
}

// 0 void, 1 integer class, 2 long, 3 float, 4 double; `fallback` when the
// descriptor is malformed.
int signature_return_kind(int fallback, methodblock* mb)
{
    switch (desc_return_of(mb->signature).kind) {
    case DK_VOID: return 0;
    case DK_LONG: return 2;
    case DK_FLOAT: return 3;
    case DK_DOUBLE: return 4;
    case DK_MALFORMED: return fallback;
    default: return 1;
    }
}
