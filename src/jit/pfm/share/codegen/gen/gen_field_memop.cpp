// Field and static loads as memory operands: the address-pattern handlers
// through which a resolved getfield or getstatic folds into the instruction
// that uses its value (the user reads [object + 8 + offset] or [static]
// directly), and through which the typed field and static operations
// (opcodes 149 and 150) address their field.
//
// The handler is given the defining quadruple.  It takes the object into a
// register (locked for the user, who frees it with memop_freeregs and
// releases the object at its last use through the descriptor's low operand)
// and fills the descriptor; the getfield or getstatic itself emits nothing
// (its generator sees memop_is_defined).
#include <string.h>

#include "codegen/cg_core.h"
#include "frontend/qgen.h"

namespace {

// Memory-access attribute of a field or static move (as the resolved
// generators give it to the scheduler).
constexpr u1 FIELD_ACCESS_ATTR = 9;

constexpr reg_operand NO_OPERAND = {OPND_NONE, 'I', 0, 0xFFFFFFFFu, nullptr};

fieldblock* field_block(const quadruple* q, bool is_static)
{
    if (q->aux != 0 || q->opcode == OPC_MEMOP2_I || q->opcode == OPC_MEMOP2_L)
        return reinterpret_cast<fieldblock*>(q->aux);
    u4 index = (is_static ? q->op : q->target) & 0xFFFF;
    auto* mb = reinterpret_cast<methodblock*>(q->context);
    if (index == 0 || mb == nullptr)
        return nullptr;
    return reinterpret_cast<fieldblock*>(mb->clazz->constantpool[index]);
}

// Size and signedness of the value by opcode, or for the typed operations
// by the type code of the quadruple's sub-code.
void value_size(const quadruple* q, memop* m)
{
    m->is_signed = 0;
    switch (q->opcode) {
    case OPC_LGETFIELD: case OPC_DGETFIELD: case OPC_LGETSTATIC: case OPC_DGETSTATIC:
        m->size = 8;
        return;
    case OPC_MEMOP2_I: case OPC_MEMOP2_L:
        break;
    default:
        m->size = 4;
        return;
    }
    switch (q->subcode & QS_KIND_MASK) {
    case 4: m->size = 1; break;                         // boolean
    case 5: m->size = 2; break;                         // char
    case 8: m->size = 1; m->is_signed = 1; break;       // byte
    case 9: m->size = 2; m->is_signed = 1; break;       // short
    case 7: case 11: m->size = 8; break;                // double, long
    default: m->size = 4; break;                        // int, float, reference
    }
}

void fill_common(memop* m, const quadruple* q, s4 disp)
{
    value_size(q, m);
    m->scale = 0;
    m->index = 0;
    m->disp = disp;
    m->disp2 = m->size == 8 ? disp + 4 : 0;
    m->where = 'M';
    m->form = FIELD_ACCESS_ATTR;
    m->type_class = (u2)(q->result.kind | q->result.flags << 8);
    m->high = NO_OPERAND;
}

}  // namespace

// [object + 8 + offset].  `lo`: the object operand when the caller has set
// it up (the typed operation), else it is read from the quadruple's first
// source.  a, b: the registers the object may take and must avoid (a of 0
// or 127: any).
int getregs_xgetfield(codegen_context* cg, memop* m, reg_operand* lo, reg_operand*, quadruple** slot, int a, int b,
                      int, int)
{
    quadruple* q = *slot;
    reg_operand obj;
    if (lo != nullptr && lo->kind != OPND_NONE)
        obj = *lo;
    else
        set_ioperand(cg, slot, &obj, &q->src1);
    // A null-constant object: the load's own generator has already raised
    // NullPointerException, so this access is never reached; the constant
    // still goes into a register to give the instruction its base.
    fieldblock* fb = field_block(q, false);
    if (fb == nullptr)
        cg_service_missing("folded field access without its field block");
    u4 mask = (u4)a & RM_ALL_INT;
    int r = mask == 0 || mask == RM_ALL_INT ? _get_rd_int_oprnd(cg, &obj, 0, -1)
                                            : _set_rd_int_oprnd(cg, &obj, mask, (u4)b, 0);
    memset(m, 0, sizeof *m);
    fill_common(m, q, OBJ_HEADER_SIZE + (s4)fb->value);
    m->base = (s4)reg_mgr_to_id[r & 7];
    m->low = obj;
    return 1;
}

// A 32-bit static at the field block's value word; a 64-bit static at the
// address that word holds.  No register is taken.
int getregs_xgetstatic(codegen_context*, memop* m, reg_operand*, reg_operand*, quadruple** slot, int, int, int, int)
{
    quadruple* q = *slot;
    fieldblock* fb = field_block(q, true);
    if (fb == nullptr)
        cg_service_missing("folded static access without its field block");
    memset(m, 0, sizeof *m);
    value_size(q, m);
    s4 address = m->size == 8 ? (s4)fb->value : (s4)(uintptr_t)&fb->value;
    fill_common(m, q, address);
    m->base = 0;
    m->low = NO_OPERAND;
    return 1;
}
