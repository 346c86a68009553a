// Unresolved checkcast and instanceof, and string constants (ldc).
//
// An unresolved checkcast or instanceof calls its stub with the object in
// eax, the constant-pool index in edx and the constant pool in ecx; the stub
// resolves the class, does the test (checkcast raises ClassCastException
// itself) and redirects the call to its quick form, which takes the same
// registers.  The call's displacement is 4-byte aligned so that the
// redirection is one aligned store.  eax, ecx and edx are not kept.
//
// An unresolved string constant is loaded after an inline resolution block
// that a short jump in front of it skips once the resolver has run:
//     jmp +0                       (the resolver makes it jmp +26)
//     push eax; push ecx; push ebx
//     mov eax, index; mov ecx, x87 live state; mov ebx, method block
//     call __ldc
//     pop ebx; pop ecx; pop eax
//     mov reg, [constant-pool slot]
// The block has a fixed length of 26 bytes (5-byte moves only).
#include "codegen/gen/gen_arith.h"
#include "codegen/gen/gen_object.h"
#include "codegen/glue/gen_resolve.h"

#include "driver/driver.h"

namespace {

void bind_result_eax(codegen_context* cg, const reg_operand* res)
{
    if (op_absent(res))
        return;
    int r = _alloc_int_reg(cg, rbit(RM_EAX), 0);
    gi_bind(cg, res, r);
}

void gen_unresolved_type_check(codegen_context* cg, quadruple** slot, cg_operands* o, int routine)
{
    quadruple* q = *slot;
    reg_operand* obj = &o->r[2];
    u4* cp = quad_constant_pool(cg, q);
    if (cp == nullptr)
        cg_service_missing("type check without a constant pool");
    int reopen = (cg->flags & CG_SCHED_WINDOW_OPEN) != 0;
    if (op_is_imm(obj)) {
        obj_write_back_for_call(cg);
        if (reopen)
            cg_close_window(cg);
        _gen_move_gr_i4(cg, GR_EAX, (s4)obj->value);
    } else {
        // The object is read into eax; writing back the kill registers
        // empties eax in the model but leaves the value in the register.
        _set_rd_int_oprnd(cg, obj, rbit(RM_EAX), 0, 0);
        obj_write_back_for_call(cg);
        if (reopen)
            cg_close_window(cg);
    }
    _gen_move_gr_i4(cg, GR_EDX, (s4)(q->op & 0xFFFF));
    _gen_move_gr_i4(cg, GR_ECX, (s4)(uintptr_t)cp);
    _make_code_align(cg, 1, 4);
    _gen_call(cg, routine);
    obj_note_inlined_position(cg);
    if (routine == RT_ENTRY_INSTANCEOF) {
        if (!op_is_imm(obj))
            invalidate_if_lastuse(cg, obj);
        bind_result_eax(cg, &o->r[0]);
    }
    if (reopen)
        cg_open_window(cg);
}

// The constant-pool slot of a string constant.
u4 ldc_slot_address(codegen_context* cg, const quadruple* q)
{
    if (q->subcode & QS_UNRESOLVED)
        return q->value;
    u4* cp = quad_constant_pool(cg, q);
    if (cp == nullptr || q->target == 0)
        cg_service_missing("ldc without a constant pool");
    return (u4)(uintptr_t)&cp[q->target];
}

} // namespace

int gen_resolve_checkcast(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    gen_unresolved_type_check(cg, slot, o, RT_ENTRY_CHECKCAST);
    return 0;
}

int gen_resolve_instanceof(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    gen_unresolved_type_check(cg, slot, o, RT_ENTRY_INSTANCEOF);
    return 0;
}

int gen_ldc(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* res = &o->r[0];
    if (op_absent(res) || memop_is_defined(cg, res))
        return 0;
    int t = gi_alloc(cg, RM_ALL_INT, 0);
    gen_move_gr_mm(cg, gid(t), 0, 0, 0, (s4)ldc_slot_address(cg, q), 9);
    gi_bind(cg, res, t);
    return 0;
}

int gen_resolve_ldc(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* res = &o->r[0];
    methodblock* context = quad_context(cg, q);
    u4 address = ldc_slot_address(cg, q);
    // The result register first: its allocation may emit a spill, which
    // must come before the block the resolver measures from.
    int t = op_absent(res) ? -1 : gi_alloc(cg, RM_ALL_INT, 0);
    int reopen = (cg->flags & CG_SCHED_WINDOW_OPEN) != 0;
    if (reopen)
        cg_close_window(cg);
    const u1 skip[2] = {0xEB, 0x00};
    cg_emit_raw(cg, skip, 2);
    _gen_push(cg, GR_EAX);
    _gen_push(cg, GR_ECX);
    _gen_push(cg, GR_EBX);
    u1 moves[15];
    const u4 values[3] = {q->target & 0xFFFF, get_fp_live_status(cg), (u4)(uintptr_t)context};
    for (int i = 0; i < 3; i++) {
        moves[5 * i] = (u1)(0xB8 + reg_hw_number[i == 0 ? GR_EAX : i == 1 ? GR_ECX : GR_EBX]);
        cg_write32(moves + 5 * i + 1, values[i]);
    }
    cg_emit_raw(cg, moves, 15);
    _gen_call(cg, RT_ENTRY_LDC);
    obj_note_inlined_position(cg);
    _gen_pop(cg, GR_EBX);
    _gen_pop(cg, GR_ECX);
    _gen_pop(cg, GR_EAX);
    if (t >= 0)
        _gen_move_gr_mm(cg, gid(t), 0, 0, 0, (s4)address);
    if (reopen)
        cg_open_window(cg);
    if (t >= 0)
        gi_bind(cg, res, t);
    return 0;
}

// The load of a resolved string constant folded into its user: an absolute
// memory operand on the constant-pool slot.
int getregs_ldc(codegen_context* cg, memop* m, reg_operand*, reg_operand*, quadruple** slot, int, int, int, int)
{
    m->base = 0;
    m->index = 0;
    m->scale = 0;
    m->disp = (s4)ldc_slot_address(cg, *slot);
    m->size = 4;
    m->is_signed = 1;
    m->where = 'M';
    return 0;
}
