// Call sites and the stubs after the method body (see gen_callsite.h).
//
// Direct site:        [DCU padding] E8 rel32      (to the callee, or its stub)
//   kind 3 stub:      push eax; push ebx; mov eax, index; mov ebx, method block
//                     call __invokestatic; pop ebx; pop eax; ret
//   every kind:       push imm32 callee; jmp __invokestatic_initial_target
//                     (the resolver writes the callee into that push and points
//                     the site at it; a later re-targeting points a site back)
// Unresolved virtual: [DCU padding] E8 rel32; nop; call [dest + 72]
//   stub:             push eax; push ebx; mov eax, index; mov ebx, method block
//                     call __invokevirtual; pop ebx; pop eax; ret
//                     8B /dest [base + disp32]   (the template of the 6-byte load)
// Object method:      test byte [eax + 4], 2; jne out-of-line; mov dest,
//                     [base + slot]; call [dest + 72]; the out-of-line path
//                     calls the callee directly (an array has no method table).
// Interface, guessed: loads through the receiver's interface table, a jg to
//                     its miss path when the class has more than one
//                     interface; the miss path asks the run time for the
//                     method block and jumps back.
#include "codegen/glue/gen_callsite.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "codegen/gen/gen_invoke.h"
#include "codegen/glue/gen_resolve.h"
#include "codegen/x86/x86_encode.h"
#include "driver/driver.h"

namespace {

bool writing(codegen_context* cg) { return cg->pass == CG_PASS_WRITE; }
bool multiprocessor(void) { return orva_processor_num > 1; }

void set_list(method_compile_context* m, int which, void* head) { m->cg_lists[which] = (u4)(uintptr_t)head; }

// E8/E9 rel32 to `target` (0xCAFEBABE: open), always the 5-byte form: sites
// and stubs are re-targeted by storing the displacement.
void emit_rel32(codegen_context* cg, u1 opcode, u4 target)
{
    u1 b[5];
    b[0] = opcode;
    u4 here = writing(cg) ? (u4)(uintptr_t)cg->code : 0;
    cg_write32(b + 1, target == CG_PLACEHOLDER ? CG_PLACEHOLDER : target - (here + 5));
    cg_emit_raw(cg, b, 5);
}

void emit_byte(codegen_context* cg, u1 v) { cg_emit_raw(cg, &v, 1); }

// push/pop of a register the stub saves around its call (the register's own
// use is not recorded).  The depth changes are recorded like the body's: a
// walk through the stub's call (the resolver may run Java code or raise)
// finds the caller's frame only with them.
void stub_push(codegen_context* cg, u4 reg) { _gen_push(cg, reg | REG_NOREC); }
void stub_pop(codegen_context* cg, u4 reg) { _gen_pop(cg, reg | REG_NOREC); }

void emit_push_imm32(codegen_context* cg, u4 v)
{
    u1 b[5] = {OP_PUSH_IMM32};
    cg_write32(b + 1, v);
    cg_emit_raw(cg, b, 5);
}

u4 routine(int k) { return (u4)(uintptr_t)_GET_DECODE_TABLE_BASE()[k]; }

// The writing pass's stack offset at a stub: the site's, less its return address.
void stub_stack_offset(codegen_context* cg, s2 sp)
{
    if (cg->mci->sp_offset != sp) {
        cg->mci->sp_offset = sp;
        update_sp_offset_table(cg, sp);
    }
}

// A displacement of a site (its rel32 ends at `end`) aimed at `target`.
void aim(u1* end, u1* target) { cg_write32(end - 4, (u4)(uintptr_t)target - (u4)(uintptr_t)end); }

void note_position(codegen_context* cg, u4 block, u4 quad)
{
    method_compile_context* m = cg->m;
    if (!writing(cg) || m == nullptr || !(m->state_flags & MCC_UNRESOLVED_BODY) || cg->bbtable == nullptr)
        return;
    bbattr* b = cg->bbtable[block];
    if (b == nullptr || quad >= b->quad_count)
        return;
    quadruple* q = b->catbl[quad];
    if (q->body != 0)
        register_inlined_method_frame(cg, q->body, cg->code, &cg->cp_list);
}

// Closes the scheduling window for an exact code position; answers whether to reopen.
int close_window(codegen_context* cg)
{
    int open = (cg->flags & (CG_SCHED_OFF | CG_SCHED_WINDOW_OPEN)) == CG_SCHED_WINDOW_OPEN;
    if (open)
        cg_close_window(cg);
    return open;
}
void reopen_window(codegen_context* cg, int open)
{
    if (open)
        cg_open_window(cg);
}

template <typename T>
T* new_record(codegen_context* cg)
{
    auto* r = static_cast<T*>(jit_wmem_alloc(cg->m->pool1, sizeof(T)));
    if (r == nullptr)
        cg_service_missing("call-site record memory");
    memset(r, 0, sizeof(T));
    return r;
}

} // namespace

void cg_register_inlined_position(codegen_context* cg) { note_position(cg, (u4)cg->cur_bb, (u4)cg->cur_quad); }

// ---------------------------------------------------------------------------
// Lists
// ---------------------------------------------------------------------------
invoke_back_patch_record* invoke_back_patch_list(method_compile_context* m)
{
    return reinterpret_cast<invoke_back_patch_record*>((uintptr_t)m->cg_lists[MCC_LIST_INVOKE_BACK_PATCH]);
}

invokevirtualobject_record* invokevirtualobject_list(method_compile_context* m)
{
    return reinterpret_cast<invokevirtualobject_record*>((uintptr_t)m->cg_lists[MCC_LIST_INVOKEVIRTUALOBJECT]);
}

void init_invoke_back_patch(method_compile_context* m) { set_list(m, MCC_LIST_INVOKE_BACK_PATCH, nullptr); }
void init_invokevirtualobject(method_compile_context* m) { set_list(m, MCC_LIST_INVOKEVIRTUALOBJECT, nullptr); }

void register_invoke_back_patch(codegen_context* cg, u1* site, u4 x, u4 y, u2 kind)
{
    method_compile_context* m = cg->m;
    if (!writing(cg)) {
        m->extra_code_size += kind == INVOKE_SITE_UNRESOLVED ? INVOKE_STUB_RESERVE_UNRESOLVED : INVOKE_STUB_RESERVE_DIRECT;
        return;
    }
    auto* r = new_record<invoke_back_patch_record>(cg);
    r->next = invoke_back_patch_list(m);
    r->site = site;
    r->x = x;
    r->y = y;
    r->kind = kind;
    r->sp_offset = (s2)(cg->mci->sp_offset - 4);
    r->block = (u2)cg->cur_bb;
    r->quad = (u2)cg->cur_quad;
    set_list(m, MCC_LIST_INVOKE_BACK_PATCH, r);
}

void register_invokevirtualobject_site(u1* site_end, u4 rr, u4 x, u4 y, codegen_context* cg, u1 kind)
{
    method_compile_context* m = cg->m;
    if (!writing(cg)) {
        m->extra_code_size += kind == VOBJ_UNRESOLVED ? VOBJ_STUB_RESERVE_UNRESOLVED : VOBJ_STUB_RESERVE_OUT_OF_LINE;
        return;
    }
    auto* r = new_record<invokevirtualobject_record>(cg);
    r->next = invokevirtualobject_list(m);
    r->site_end = site_end;
    r->r = rr;
    r->x = x;
    r->y = y;
    r->m = m;
    r->sp_offset = (s2)(cg->mci->sp_offset - (kind == VOBJ_UNRESOLVED ? 4 : 0));
    r->block = (u2)cg->cur_bb;
    r->quad = (u2)cg->cur_quad;
    r->kind = kind;
    set_list(m, MCC_LIST_INVOKEVIRTUALOBJECT, r);
}

// ---------------------------------------------------------------------------
// Direct calls
// ---------------------------------------------------------------------------
void gen_invokestatic_quick_core(codegen_context* cg, methodblock* mb, u4 cp_index, int kind)
{
    if (multiprocessor())
        _prevent_DCU_splits_nbytes(cg, 1, 4);
    u1* site = cg->code;
    if (kind == INVOKE_SITE_UNRESOLVED) {
        u4 context = (u4)(uintptr_t)cg->bbtable[cg->cur_bb]->catbl[cg->cur_quad]->context;
        register_invoke_back_patch(cg, site, cp_index, context, INVOKE_SITE_UNRESOLVED);
        emit_rel32(cg, OP_CALL_REL32, CG_PLACEHOLDER);
    } else {
        u4 slot = (u4)(uintptr_t)&mb->compiled_code;
        if (mb->access & ACC_CODE_INSTALLED_MARK) {
            register_invoke_back_patch(cg, site, slot, 0, INVOKE_SITE_COMPILED);
            emit_rel32(cg, OP_CALL_REL32, (u4)(uintptr_t)mb->compiled_code);
        } else {
            register_invoke_back_patch(cg, site, slot, 0, INVOKE_SITE_NOT_COMPILED);
            emit_rel32(cg, OP_CALL_REL32, CG_PLACEHOLDER);
        }
    }
    cg_register_inlined_position(cg);
}

void gen_invokestatic_quick(codegen_context* cg, methodblock* mb, u4 cp_index, int kind)
{
    int open = close_window(cg);
    gen_invokestatic_quick_core(cg, mb, cp_index, kind);
    reopen_window(cg, open);
}

static void invoke_back_patch_stubs(codegen_context* cg)
{
    method_compile_context* m = cg->m;
    invoke_back_patch_record* head = invoke_back_patch_list(m);
    u4 count = 0;
    for (invoke_back_patch_record* r = head; r != nullptr; r = r->next) {
        count++;
        stub_stack_offset(cg, r->sp_offset);
        if (r->kind == INVOKE_SITE_UNRESOLVED) {
            aim(r->site + 5, cg->code);
            stub_push(cg, GR_EAX);
            stub_push(cg, GR_EBX);
            _gen_move_gr_i4(cg, GR_EAX | REG_NOREC, (s4)r->x);
            gen_move_gr_i4_5bytes(cg, GR_EBX | REG_NOREC, (s4)r->y);
            _gen_call(cg, RT_ENTRY_INVOKESTATIC);
            note_position(cg, r->block, r->quad);
            stub_pop(cg, GR_EBX);
            stub_pop(cg, GR_EAX);
            emit_byte(cg, OP_RET);
            // The resolver stores the callee into the push that follows.
            r->x = CG_PLACEHOLDER;
        } else if (r->kind == INVOKE_SITE_NOT_COMPILED) {
            aim(r->site + 5, cg->code);
        }
        r->stub = cg->code;
        emit_push_imm32(cg, r->x - MB_COMPILED_SLOT);
        emit_rel32(cg, OP_JMP_REL32, routine(RT_ENTRY_INITIAL_TARGET));
    }
    (void)count;
}

// ---------------------------------------------------------------------------
// Virtual calls
// ---------------------------------------------------------------------------
void gen_invokevirtual_quick_core(codegen_context* cg, u4 base, u4 dest, u4 slot_or_index, u4 y, int kind)
{
    if (kind == VOBJ_SLOT_KNOWN) {
        _gen_move_gr_mm(cg, dest, base, 0, 0, (s4)(4 + 4 * slot_or_index));
    } else if (kind == VOBJ_UNRESOLVED) {
        if (multiprocessor())
            _prevent_DCU_splits_nbytes(cg, 0, 2);
        emit_rel32(cg, OP_CALL_REL32, CG_PLACEHOLDER);
        u4 rr = (reg_hw_number[base & REG_ID_MASK] << 8) | reg_hw_number[dest & REG_ID_MASK];
        register_invokevirtualobject_site(cg->code, rr, slot_or_index, y, cg, VOBJ_UNRESOLVED);
        cg_record_reg(cg, base);
        cg_record_reg(cg, dest);
        _gen_nop(cg, 1);
    }
    _gen_call_indirect(cg, dest, MB_COMPILED_SLOT);
    cg_register_inlined_position(cg);
}

void gen_invokevirtualobject_quick_core(codegen_context* cg, u4 base, u4 scratch, methodblock* mb, int kind)
{
    _gen_ARITHMETIC_xmm_i4(cg, ALU_TEST, GR_EAX, 0, 0, 4, 2, SIZE_BYTE);
    u1 jne[6] = {OP_TWO_BYTE, jcc_near_opcode(COND_NE)};
    cg_write32(jne + 2, CG_PLACEHOLDER);
    cg_emit_raw(cg, jne, 6);
    u1* jne_end = cg->code;
    gen_invokevirtual_quick_core(cg, base, scratch, mb->slot, 0, VOBJ_SLOT_KNOWN);
    if (kind == VOBJ_SLOT_KNOWN) {
        u1 jmp[2] = {OP_JMP_REL8, 0};
        cg_emit_raw(cg, jmp, 2);
        u1* jmp_end = cg->code;
        if (writing(cg))
            aim(jne_end, cg->code);
        gen_call_compiled_slot(cg, mb);
        if (writing(cg))
            jmp_end[-1] = (u1)(cg->code - jmp_end);
        return;
    }
    register_invokevirtualobject_site(jne_end, (u4)(uintptr_t)cg->code, mb->slot, (u4)(uintptr_t)mb, cg,
                                      VOBJ_OUT_OF_LINE);
}

void gen_invokevirtualobject_quick(codegen_context* cg, u4 base, u4 scratch, methodblock* mb)
{
    int open = close_window(cg);
    gen_invokevirtualobject_quick_core(cg, base, scratch, mb, VOBJ_OUT_OF_LINE);
    reopen_window(cg, open);
}

static int same_virtual_site(const invokevirtualobject_record* a, const invokevirtualobject_record* b)
{
    return a->x == b->x && a->y == b->y && a->kind == b->kind && a->r == b->r && a->sp_offset == b->sp_offset;
}

static void invokevirtualobject_stubs(codegen_context* cg)
{
    for (invokevirtualobject_record* r = invokevirtualobject_list(cg->m); r != nullptr; r = r->next) {
        stub_stack_offset(cg, r->sp_offset);
        aim(r->site_end, cg->code);
        if (r->kind == VOBJ_UNRESOLVED) {
            while (r->next != nullptr && same_virtual_site(r, r->next)) {
                aim(r->next->site_end, cg->code);
                r->next = r->next->next;
            }
            stub_push(cg, GR_EAX);
            stub_push(cg, GR_EBX);
            _gen_move_gr_i4(cg, GR_EAX | REG_NOREC, (s4)r->x);
            gen_move_gr_i4_5bytes(cg, GR_EBX | REG_NOREC, (s4)r->y);
            _gen_call(cg, RT_ENTRY_INVOKEVIRTUAL);
            note_position(cg, r->block, r->quad);
            stub_pop(cg, GR_EBX);
            stub_pop(cg, GR_EAX);
            emit_byte(cg, OP_RET);
            // mov dest, [base + disp32]: the resolver copies its first two bytes.
            u1 t[8];
            int n = x86_encode_insn_mem(t, OP_MOV_R_RM, (int)(r->r & 7), (int)(r->r >> 8 & 7),
                                        (s4)CG_PLACEHOLDER, 4);
            cg_emit_raw(cg, t, n);
            continue;
        }
        // An array receiver: Object's method, called directly.
        auto* callee = reinterpret_cast<methodblock*>((uintptr_t)r->y);
        if (multiprocessor())
            _prevent_DCU_splits_nbytes(cg, 1, 4);
        u4 saved_bb = (u4)cg->cur_bb, saved_q = (u4)cg->cur_quad;
        cg->cur_bb = r->block;
        cg->cur_quad = r->quad;
        register_invoke_back_patch(cg, cg->code, (u4)(uintptr_t)&callee->compiled_code, 0, INVOKE_SITE_NOT_COMPILED);
        cg->cur_bb = (s4)saved_bb;
        cg->cur_quad = (s4)saved_q;
        emit_rel32(cg, OP_CALL_REL32, CG_PLACEHOLDER);
        note_position(cg, r->block, r->quad);
        emit_rel32(cg, OP_JMP_REL32, r->r);
    }
}

// ---------------------------------------------------------------------------
// Interface calls
// ---------------------------------------------------------------------------
namespace {
struct iface_cursor {
    invokeinterface_site_record* start;
    invokeinterface_site_record* emit;   // first entry whose miss path is not written
    invokeinterface_site_record* fill;   // where the next registration writes
};
iface_cursor iface(codegen_context* cg)
{
    method_code_info* mci = cg->mci;
    return {static_cast<invokeinterface_site_record*>(mci->iface_state),
            static_cast<invokeinterface_site_record*>(mci->guess_stub_head),
            static_cast<invokeinterface_site_record*>(mci->guess_stub_end)};
}
} // namespace

int init_invokeinterface_before_1st_pass(codegen_context* cg, void* state, void* scratch)
{
    method_compile_context* m = cg->m;
    // Every call counts: an upper bound of the interface sites.
    u4 n = m->invocation_count;
    u4 bytes = n * (u4)sizeof(invokeinterface_site_record);
    void* array = nullptr;
    if (n != 0) {
        // The driver's buffer holds two entries; more go to the compile's
        // main pool, which lives as long as both passes.
        if (bytes <= IFACE_SCRATCH_BYTES && scratch != nullptr)
            array = scratch;
        else
            array = jit_wmem_alloc(m->pool1, bytes);
        if (array == nullptr) {
            fprintf(stderr, "JIT GENCODE: Out of Memory (2)\n");
            return 1;
        }
        memset(array, 0, bytes);
    }
    *static_cast<void**>(state) = array;
    cg->mci->guess_stub_head = array;
    cg->mci->guess_stub_end = array;
    return 0;
}

void init_invokeinterface_before_2nd_pass(codegen_context* cg, void* state)
{
    void* array = *static_cast<void**>(state);
    cg->mci->guess_stub_head = array;
    cg->mci->guess_stub_end = array;
}

void register_invokeinterface_site(codegen_context* cg, methodblock* imb, u1* site, u4 ecx_value, u4 reg, u1* back)
{
    iface_cursor c = iface(cg);
    if (c.fill == nullptr)
        cg_service_missing("interface call-site array");
    invokeinterface_site_record* e = c.fill;
    if (!writing(cg)) {
        e->imb = imb;
        e->jump = site;   // the jump's own offset: its reach is measured from there
        e->ecx_value = ecx_value;
    } else {
        e->jump = site;
        e->back = back;
    }
    e->reg = reg;
    e->sp_offset = cg->mci->sp_offset;
    cg->mci->guess_stub_end = e + 1;
}

void gen_invokeinterface_core(codegen_context* cg, u4 descriptor, u4 cp_index, methodblock* context)
{
    classblock* cb = context != nullptr ? context->clazz : nullptr;
    gen_move_gr_i4_5bytes(cg, GR_EBX, (s4)(uintptr_t)(cb != nullptr ? cb->constantpool : nullptr));
    gen_move_gr_i4_5bytes(cg, GR_EDI, (s4)cp_index);
    _gen_call(cg, RT_ENTRY_INVOKEINTERFACE);
    cg_register_inlined_position(cg);
    _gen_addr(cg, CG_PLACEHOLDER);
    // The guess word the stub rewrites lives off the code pages, in a cell
    // of the compilation's data piece (initially 0): stores into code pages
    // are avoided after the first patching, and a polymorphic site rewrites
    // its guess again and again.  The site holds the cell's address.
    _gen_addr(cg, CG_PLACEHOLDER);
    u1* guess_field = writing(cg) ? cg->code - 4 : nullptr;
    register_datatable(cg, nullptr, guess_field, DT_RUNTIME_CELL, 0, 0, 4);
    _gen_addr(cg, descriptor);
}

static int lowest_bit(u4 mask)
{
    for (int i = 0; i < 7; i++)
        if (mask >> i & 1)
            return i;
    return -1;
}

void gen_fast_invokeinterface(codegen_context* cg, methodblock* imb, u4 ecx_value, u4 free_mask)
{
    int open = close_window(cg);
    int a = lowest_bit(free_mask);
    int b = lowest_bit(free_mask & ~(1u << (a < 0 ? 0 : a)));
    if (a < 0 || b < 0)
        cg_service_missing("two free registers for an interface call");
    u4 ra = (u4)reg_mgr_to_id[a], rb = (u4)reg_mgr_to_id[b];
    _gen_move_gr_mm(cg, ra, GR_EAX, 0, 0, 0);
    _gen_move_gr_mm(cg, rb, ra, 0, 0, 0);
    _gen_move_gr_mm(cg, rb, rb, 0, 0, CB_INTERFACE_TABLE);
    _gen_cmp_mm_imm(cg, rb, 0, 0, 0, 1, SIZE_DWORD);
    // The jump's form was chosen in the measuring pass; the writing pass keeps it.
    iface_cursor c = iface(cg);
    if (c.fill == nullptr)
        cg_service_missing("interface call-site array");
    int is_short = writing(cg) ? (c.fill->is_short & 0xFF) != 0 : 0;
    u1* jump = cg->code;
    u4 pass1_jump = cg->code_size;
    if (is_short) {
        u1 j[2] = {jcc_short_opcode[COND_GT], 0};
        cg_emit_raw(cg, j, 2);
    } else {
        u1 j[6] = {OP_TWO_BYTE, jcc_near_opcode(COND_GT)};
        cg_write32(j + 2, CG_PLACEHOLDER);
        cg_emit_raw(cg, j, 6);
    }
    _gen_cmp_mm_imm(cg, rb, 0, 0, 4, (s4)(uintptr_t)imb->clazz, SIZE_DWORD);
    // The jne reads the flags of that compare (compare kind 0 would emit a
    // compare of its own).  Its raise path reports the interface (argument
    // 1) and the receiver's class, read through the method table in ra.
    _gen_test_and_throw_exception(cg, COND_NE, THROW_CMP_FLAGS, 0, 0, 0, 0, 0xE0000007u,
                                  reinterpret_cast<methodblock*>(imb->clazz), (int)ra);
    _gen_move_gr_mm(cg, rb, rb, 0, 0, 8);
    _gen_movezx_gr_xmm(cg, rb, rb, 0, 0, (s4)(2 * imb->slot), SIZE_WORD);
    _gen_move_gr_mem(cg, rb, ra, rb, 4, 4, SIZE_DWORD, SEG_NONE);
    register_invokeinterface_site(cg, imb, writing(cg) ? jump : reinterpret_cast<u1*>((uintptr_t)pass1_jump),
                                  ecx_value, rb, cg->code);
    _gen_call_indirect(cg, rb, MB_COMPILED_SLOT);
    cg_register_inlined_position(cg);
    reopen_window(cg, open);
}

void gen_guess_and_load_mb(codegen_context* cg)
{
    iface_cursor c = iface(cg);
    if (c.emit == nullptr || c.emit == c.fill)
        return;
    int open = close_window(cg);
    s2 resume = cg->mci->sp_offset;
    for (invokeinterface_site_record* e = c.emit; e != c.fill; e++) {
        if (!writing(cg)) {
            // The short form when the miss path lies within reach of a rel8
            // (the measured distance from the jump, which is at most 6 bytes long).
            u4 distance = cg->code_size - (u4)(uintptr_t)e->jump;
            e->is_short = distance + 128 <= 255 - 6 ? 1 : 0;
        } else {
            stub_stack_offset(cg, (s2)e->sp_offset);
            if (e->is_short & 0xFF)
                e->jump[1] = (u1)(cg->code - (e->jump + 2));
            else
                aim(e->jump + 6, cg->code);
        }
        stub_push(cg, GR_EAX);
        stub_push(cg, GR_EDX);
        stub_push(cg, GR_ECX);
        gen_move_gr_i4_5bytes(cg, GR_EDX | REG_NOREC, (s4)(uintptr_t)e->imb);
        gen_move_gr_i4_5bytes(cg, GR_ECX | REG_NOREC, (s4)e->ecx_value);
        _gen_call(cg, RT_ENTRY_IFACE_GUESS);
        stub_pop(cg, GR_ECX);
        stub_pop(cg, GR_EDX);
        _gen_move_gr_gr(cg, e->reg, GR_EAX | REG_NOREC);
        stub_pop(cg, GR_EAX);
        emit_rel32(cg, OP_JMP_REL32, writing(cg) ? (u4)(uintptr_t)e->back : 0);
    }
    cg->mci->guess_stub_head = c.fill;
    // Between blocks the code after the miss paths continues at the depth it had.
    if (writing(cg))
        stub_stack_offset(cg, resume);
    reopen_window(cg, open);
}

// ---------------------------------------------------------------------------
// The stub passes after the body
// ---------------------------------------------------------------------------
void gen_invoke_initial_target(method_compile_context* m, codegen_context* cg)
{
    (void)m;
    gen_guess_and_load_mb(cg);
    if (!writing(cg))
        return;
    int open = close_window(cg);
    invokevirtualobject_stubs(cg);
    invoke_back_patch_stubs(cg);
    reopen_window(cg, open);
}
