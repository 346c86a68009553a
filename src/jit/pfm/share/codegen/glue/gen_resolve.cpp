// Resolution sites and their out-of-line stubs (see gen_resolve.h).
//
// Stub of one site (or of a run of equal sites, which share it):
//     push eax; push ecx; push ebx
//     mov eax, A; mov ecx, x87 state; mov ebx, accessing method block
//     call <routine>
//     pop ebx; pop ecx; pop eax; ret
//     <template: the final instruction(s), displacement 0xDEADBEEF>
// The routine's resolver finds the template 4 bytes after its return
// address, rewrites the site and returns into the site's first byte.
#include "codegen/glue/gen_resolve.h"

#include <cstring>

#include "codegen/x86/x86_encode.h"
#include "driver/driver.h"

resolve_backpatch_anchor* resolve_anchor_list(method_compile_context* m)
{
    return reinterpret_cast<resolve_backpatch_anchor*>(m->cg_lists[MCC_LIST_RESOLVE_ANCHORS]);
}

static void set_anchor_list(method_compile_context* m, resolve_backpatch_anchor* a)
{
    m->cg_lists[MCC_LIST_RESOLVE_ANCHORS] = (u4)(uintptr_t)a;
}

void init_resolve_backpatch_anchor(method_compile_context* m) { set_anchor_list(m, nullptr); }

void cg_emit_raw(codegen_context* cg, const u1* bytes, int n)
{
    if (cg->pass == CG_PASS_MEASURE) {
        cg_count_pass1(cg, (u4)n);
        return;
    }
    memcpy(cg->code, bytes, (size_t)n);
    cg->code += n;
}

void register_resolve_backpatch_anchor(codegen_context* cg, u1* site_end, u2 opcode, u4 a, u4 x87_state, s4 b,
                                       s4 c, s4 d, u4 context)
{
    method_compile_context* m = cg->m;
    if (cg->pass == CG_PASS_MEASURE) {
        m->extra_code_size += RESOLVE_STUB_RESERVE;
        return;
    }
    auto* r = static_cast<resolve_backpatch_anchor*>(jit_wmem_alloc(m->pool1, sizeof(resolve_backpatch_anchor)));
    if (r == nullptr)
        cg_service_missing("resolve anchor memory");
    r->next = resolve_anchor_list(m);
    r->site_end = site_end;
    r->opcode = opcode;
    r->block = (u2)cg->cur_bb;
    r->context = context;
    r->a = a;
    r->x87_state = x87_state;
    r->b = b;
    r->c = c;
    r->d = d;
    r->sp_offset = (s2)(cg->mci->sp_offset - 4);
    r->quad = (u2)cg->cur_quad;
    set_anchor_list(m, r);
}

int same_resolve_backpatch_anchor(const resolve_backpatch_anchor* a, const resolve_backpatch_anchor* b)
{
    return a->opcode == b->opcode && a->a == b->a && a->x87_state == b->x87_state && a->b == b->b &&
           a->c == b->c && a->d == b->d && a->context == b->context && a->sp_offset == b->sp_offset;
}

void gen_resolution_site(codegen_context* cg, u2 opcode, u4 a, u4 x87_state, s4 b, s4 c, s4 d, u4 context,
                         int nops)
{
    if (orva_processor_num > 1)
        _prevent_DCU_splits_nbytes(cg, 0, 2);
    u1 call[5] = {0xE8};
    cg_write32(call + 1, CG_PLACEHOLDER);
    cg_emit_raw(cg, call, 5);
    u1* site_end = cg->code;
    if (nops > 0)
        _gen_nop(cg, nops);
    register_resolve_backpatch_anchor(cg, site_end, opcode, a, x87_state, b, c, d, context);
}

void _gen_execute_static_initializer(codegen_context* cg, classblock* cb)
{
    gen_resolution_site(cg, 172, (u4)(uintptr_t)cb, get_fp_live_status(cg), -1, -1, -1, 0, 1);
}

int gen_execute_static_initializer(codegen_context* cg, quadruple** slot, cg_operands*)
{
    quadruple* q = *slot;
    if (q->flags_a & QA_CLINIT_EMPTY)
        return 0;
    auto* cb = reinterpret_cast<classblock*>(q->value);
    if (cb == nullptr || (cb->state & CS_INITIALIZED))
        return 0;
    int reopen = (cg->flags & CG_SCHED_WINDOW_OPEN) != 0;
    if (reopen)
        cg_close_window(cg);
    _gen_execute_static_initializer(cg, cb);
    if (reopen)
        cg_open_window(cg);
    return 0;
}

// ---------------------------------------------------------------------------
// Templates
// ---------------------------------------------------------------------------
// One template instruction: opcode, the operand [base + 0xDEADBEEF] (32-bit
// displacement whatever the base) or [0xDEADBEEF] without a base, and an
// optional 32-bit immediate.
int emit_resolve_template_insn(codegen_context* cg, u1 opcode, int reg_field, int base_hw, bool with_imm, u4 imm)
{
    u1 b[16];
    int n = x86_encode_insn_mem(b, opcode, reg_field, base_hw < 0 ? X86_NO_BASE : base_hw, (s4)CG_TEMPLATE_DISP, 4,
                                with_imm, imm);
    cg_emit_raw(cg, b, n);
    return n;
}

static void emit_template(codegen_context* cg, const resolve_backpatch_anchor* r)
{
    int op = r->opcode;
    bool field = op < 70;
    int base = field ? (int)(r->b & 7) : -1;
    bool none = r->a & RESOLVE_A_NO_RESULT;
    int k = field ? (op - 60) % 5 : (op - 70) % 5;   // 0 int, 1 long, 2 float, 3 double, 4 reference
    bool load = field ? op < 65 : op < 75;
    if (load) {
        if (none)
            return;
        switch (k) {
        case 0: case 4: emit_resolve_template_insn(cg, OP_MOV_R_RM, r->c, base, false, 0); break;
        case 1:
            emit_resolve_template_insn(cg, OP_MOV_R_RM, r->c, base, false, 0);
            if (!(r->a & RESOLVE_A_LOW_ONLY))
                emit_resolve_template_insn(cg, OP_MOV_R_RM, r->d, base, false, 0);
            break;
        case 2: emit_resolve_template_insn(cg, FPU_D9, DIGIT_FLD, base, false, 0); break;
        case 3: emit_resolve_template_insn(cg, FPU_DD, DIGIT_FLD, base, false, 0); break;
        }
        return;
    }
    bool constant = field ? (r->b & RESOLVE_B_CONST) != 0 : r->b == 1;
    switch (k) {
    case 0: case 4:
        if (constant)
            emit_resolve_template_insn(cg, OP_MOV_RM_IMM, 0, base, true, (u4)r->c);
        else
            emit_resolve_template_insn(cg, OP_MOV_RM_R, r->c, base, false, 0);
        break;
    case 1:
        if (constant) {
            emit_resolve_template_insn(cg, OP_MOV_RM_IMM, 0, base, true, (u4)r->c);
            emit_resolve_template_insn(cg, OP_MOV_RM_IMM, 0, base, true, (u4)r->d);
        } else {
            emit_resolve_template_insn(cg, OP_MOV_RM_R, r->c, base, false, 0);
            emit_resolve_template_insn(cg, OP_MOV_RM_R, r->d, base, false, 0);
        }
        break;
    case 2: emit_resolve_template_insn(cg, FPU_D9, r->d ? DIGIT_FSTP : DIGIT_FST, base, false, 0); break;
    case 3: emit_resolve_template_insn(cg, FPU_DD, r->d ? DIGIT_FSTP : DIGIT_FST, base, false, 0); break;
    }
}

static int routine_of(int opcode)
{
    if (opcode == 172)
        return RT_ENTRY_EXECUTE_CLINIT;
    if (opcode < 65)
        return RT_ENTRY_GETFIELD;
    if (opcode < 70)
        return RT_ENTRY_PUTFIELD;
    if (opcode < 75)
        return RT_ENTRY_GETSTATIC;
    return RT_ENTRY_PUTSTATIC;
}

static void point_site_here(codegen_context* cg, const resolve_backpatch_anchor* r)
{
    cg_write32(r->site_end - 4, (u4)(uintptr_t)cg->code - (u4)(uintptr_t)r->site_end);
}

static void emit_stub(codegen_context* cg, const resolve_backpatch_anchor* r)
{
    if (cg->mci->sp_offset != r->sp_offset) {
        cg->mci->sp_offset = r->sp_offset;
        update_sp_offset_table(cg, r->sp_offset);
    }
    // The saves are recorded as depth changes: a walk through the
    // resolver's call (it may run Java code or raise) needs them to find
    // the caller's frame.
    const u1 ret = 0xC3;
    _gen_push(cg, GR_EAX | REG_NOREC);
    _gen_push(cg, GR_ECX | REG_NOREC);
    if (r->context != 0)
        _gen_push(cg, GR_EBX | REG_NOREC);
    _gen_move_gr_i4(cg, GR_EAX | REG_NOREC, (s4)r->a);
    _gen_move_gr_i4(cg, GR_ECX | REG_NOREC, (s4)r->x87_state);
    if (r->context != 0)
        gen_move_gr_i4_5bytes(cg, GR_EBX | REG_NOREC, (s4)r->context);
    _gen_call(cg, routine_of(r->opcode));
    if (r->context != 0)
        _gen_pop(cg, GR_EBX | REG_NOREC);
    _gen_pop(cg, GR_ECX | REG_NOREC);
    _gen_pop(cg, GR_EAX | REG_NOREC);
    cg_emit_raw(cg, &ret, 1);
    if (r->opcode != 172)
        emit_template(cg, r);
}

void gen_call_runtime_resolver(codegen_context* cg)
{
    if (cg->pass != CG_PASS_WRITE)
        return;
    method_compile_context* m = cg->m;
    resolve_backpatch_anchor* r = resolve_anchor_list(m);
    if (r == nullptr)
        return;
    int reopen = (cg->flags & CG_SCHED_WINDOW_OPEN) != 0;
    if (reopen)
        cg_close_window(cg);
    for (; r != nullptr; r = r->next) {
        while (r->next != nullptr && same_resolve_backpatch_anchor(r, r->next)) {
            point_site_here(cg, r->next);
            r->next = r->next->next;
        }
        point_site_here(cg, r);
        emit_stub(cg, r);
    }
    if (reopen)
        cg_open_window(cg);
}
