// Class-cache type checks: resolved checkcast, instanceof and the store
// check of aastore.
//
// Inline, each checkcast and instanceof site compares the object's method
// table with its cache cell, `cmp t, [cell]` (the cell holds 0xDEADBEEF at
// first, never a method table); a hit costs a load and a compare.  A miss
// goes out of line, after the method body, to the full test, which stores
// the method table into the cell when the test passes (instanceof also keeps
// a second, negative cell, compared and filled there).
//
// Design decision of this compiler: the cells are aligned words of the
// method's data table, not the 32-bit immediate of the compare itself.  A
// fill is then a plain aligned store to data, never a write to an
// instruction another thread may be running, so the caches are filled on
// multiprocessors too (rewriting the immediate under a running thread is
// cross-modifying code; under user-mode emulation it was seen to corrupt
// the other thread's registers).  The compare takes the same 6 bytes, and
// each cell is registered once, with the address fields of its compare and
// of its store.
//
// Objects whose header marks them as arrays take a detour first: an object
// array is represented by its element class (the word after its last
// element), any other array by its header byte masked with 0xF8, so a cache
// can also learn array types; both values are never method tables.
//
// The store check compares the value's class, and then its direct
// superclass, with the array's element class, and calls the VM's instance
// test when both differ.
//
// The miss paths keep every register: eax, ecx and edx (except the
// instanceof result) are pushed around the call, and the x87 stack is
// spilled and reloaded, so the fast path continues with the register
// manager's state unchanged.  Flags set before a pop survive it, and the
// reload moves esp with lea, so the raise test can follow the restores.
#include "codegen/gen/gen_arith.h"
#include "codegen/gen/gen_object.h"
#include "codegen/glue/gen_resolve.h"
#include "codegen/x86/x86_encode.h"

#include <initializer_list>

#include "driver/driver.h"

namespace {

int writing(codegen_context* cg) { return cg->pass == CG_PASS_WRITE; }

class_cache_info* cache_list(method_compile_context* m)
{
    return reinterpret_cast<class_cache_info*>((uintptr_t)m->cg_lists[MCC_LIST_CLASS_CACHE]);
}

u4 hw(u4 reg) { return reg_hw_number[reg & REG_ID_MASK]; }

// The compare of a cell at its site: answers the address of the compare's
// address field (0 in the measuring pass); the data table writes the cell's
// address there.
u1* emit_cache_compare(codegen_context* cg, u4 t, u1** compare)
{
    *compare = obj_site_here(cg);
    emit_class_cache_compare(cg, t, CLASS_CACHE_EMPTY);
    return *compare != nullptr ? cg->code - 4 : nullptr;
}

// A kill register outside `a` and `b` (ids).
u4 free_kill_reg(u4 a, u4 b, u4 c = 0)
{
    for (u4 r : {GR_EAX, GR_ECX, GR_EDX})
        if (r != (a & REG_ID_MASK) && r != (b & REG_ID_MASK) && r != (c & REG_ID_MASK))
            return r;
    return GR_EAX;
}

void push_all_kill(codegen_context* cg)
{
    _gen_push(cg, GR_EAX);
    _gen_push(cg, GR_ECX);
    _gen_push(cg, GR_EDX);
}

void pop_all_kill(codegen_context* cg)
{
    _gen_pop(cg, GR_EDX);
    _gen_pop(cg, GR_ECX);
    _gen_pop(cg, GR_EAX);
}

// The fill of a cell whose compare's address field is `compare_field`:
// mov [cell], reg, and the cell's data-table entry, which points both
// address fields at the cell.
void store_cell(codegen_context* cg, u1* compare_field, u4 reg)
{
    emit_class_cache_store(cg, CLASS_CACHE_EMPTY, reg);
    u1* store_field = writing(cg) ? cg->code - 4 : nullptr;
    register_datatable(cg, nullptr, compare_field, DT_RUNTIME_CELL, CLASS_CACHE_EMPTY, (u4)(uintptr_t)store_field, 4);
}

// Checkcast: _jit_checkcast (object, class, ebp, return-address slot).
void miss_checkcast(codegen_context* cg, class_cache_info* c)
{
    u4 o = c->obj_reg, t = c->scratch;
    obj_spill_x87(cg, c->fp_live);
    push_all_kill(cg);
    u4 r = free_kill_reg(o, 0);
    _gen_lea_gr_mm(cg, r, GR_ESP, 0, 0, -20);
    _gen_push(cg, r);
    _gen_push(cg, GR_EBP);
    _gen_push_imm(cg, (s4)c->cls);
    _gen_push(cg, o);
    _gen_call(cg, RT_ENTRY_JIT_CHECKCAST);
    obj_note_inlined_position(cg);
    obj_adjust_esp(cg, 16, 0);
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, GR_EAX, GR_EAX, SIZE_DWORD);
    pop_all_kill(cg);
    obj_reload_x87(cg, c->fp_live);
    obj_throw_if(cg, COND_EQ, EXC_THROWN);
    store_cell(cg, c->cell, t);
}

// Instanceof: the negative cache, then the VM's test (object, class, EE).
void miss_instanceof(codegen_context* cg, class_cache_info* c)
{
    u4 o = c->obj_reg, t = c->scratch;
    u1* negative_compare;
    u1* negative = emit_cache_compare(cg, t, &negative_compare);
    _gen_jmpcc(cg, COND_NE, UNRESOLVED_TARGET, 1);
    u1* full = obj_site_here(cg);
    obj_aim_near_here(cg, c->null_site);
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_XOR, t, t, SIZE_DWORD);
    obj_jmp_to(cg, COND_ALWAYS, c->continue_address);
    obj_aim_short_here(cg, full);

    obj_spill_x87(cg, c->fp_live);
    const u4 kill[3] = {GR_EAX, GR_ECX, GR_EDX};
    for (u4 r : kill)
        if (r != t)
            _gen_push(cg, r);
    _gen_push(cg, t);                       // the method table, for the caches
    _gen_push_ee(cg, free_kill_reg(o, t));
    _gen_push_imm(cg, (s4)c->cls);
    _gen_push(cg, o);
    if (vm.is_instance_of == nullptr)
        cg_service_missing("vm.is_instance_of");
    _gen_call_(cg, (u4)(uintptr_t)vm.is_instance_of);
    obj_note_inlined_position(cg);
    obj_adjust_esp(cg, 12, 0);
    u4 s = t == GR_ECX ? GR_EDX : GR_ECX;
    _gen_pop(cg, s);
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, GR_EAX, GR_EAX, SIZE_DWORD);
    _gen_jmpcc(cg, COND_EQ, UNRESOLVED_TARGET, 1);
    u1* not_instance = obj_site_here(cg);
    store_cell(cg, c->cell, s);
    _gen_move_gr_i4(cg, t, 1);
    _gen_jmpcc(cg, COND_ALWAYS, UNRESOLVED_TARGET, 1);
    u1* set = obj_site_here(cg);
    obj_aim_short_here(cg, not_instance);
    store_cell(cg, negative, s);
    _gen_move_gr_i4(cg, t, 0);
    obj_aim_short_here(cg, set);
    for (int i = 2; i >= 0; i--)
        if (kill[i] != t)
            _gen_pop(cg, kill[i]);
    obj_reload_x87(cg, c->fp_live);
}

// Store check: the VM's test (value, element class, EE); ArrayStoreException.
void miss_store_check(codegen_context* cg, class_cache_info* c)
{
    u4 o = c->obj_reg, e = c->cls;
    obj_spill_x87(cg, c->fp_live);
    push_all_kill(cg);
    _gen_push_ee(cg, free_kill_reg(o, e));
    _gen_push(cg, e);
    _gen_push(cg, o);
    if (vm.is_instance_of == nullptr)
        cg_service_missing("vm.is_instance_of");
    _gen_call_(cg, (u4)(uintptr_t)vm.is_instance_of);
    obj_note_inlined_position(cg);
    obj_adjust_esp(cg, 12, 0);
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, GR_EAX, GR_EAX, SIZE_DWORD);
    pop_all_kill(cg);
    obj_reload_x87(cg, c->fp_live);
    obj_throw_if(cg, COND_EQ, EXC_ARRAYSTORE);
}

void gen_one_miss_path(codegen_context* cg, class_cache_info* c)
{
    if (cg->mci->sp_offset != c->sp_offset) {
        cg->mci->sp_offset = c->sp_offset;
        cg_sp_changed(cg);
    }
    cg->cur_bb = c->block;
    cg->cur_quad = c->quad;
    u4 o = c->obj_reg, t = c->scratch;
    if (c->kind != OPC_CLASSTYPECHECK) {
        if (c->flags & CACHE_HEADER_TEST) {
            // An array: its element class (object arrays) or its header byte.
            obj_aim_near_here(cg, c->header_site);
            _gen_move_gr_mm(cg, t, o, 0, 0, OBJ_LOCKWORD);
            _gen_ARITHMETIC_xgr_i4(cg, ALU_AND, t, OBJ_HEADER_TYPE_MASK, SIZE_DWORD);
            _gen_cmp_gr_i4(cg, t, OBJ_HEADER_OBJECT_ARRAY);
            obj_jmp_to(cg, COND_NE, c->compare);
            _gen_move_gr_mm(cg, t, o, 0, 0, OBJ_WORD0);
            _gen_move_gr_mm(cg, t, o, t, 4, OBJ_HEADER_SIZE);
            obj_jmp_to(cg, COND_ALWAYS, c->compare);
        }
    } else {
        obj_aim_near_here(cg, c->header_site);
    }
    obj_aim_near_here(cg, c->miss_site);
    switch (c->kind) {
    case OPC_CHECKCAST: miss_checkcast(cg, c); break;
    case OPC_INSTANCEOF: miss_instanceof(cg, c); break;
    default: miss_store_check(cg, c); break;
    }
    obj_jmp_to(cg, COND_ALWAYS, c->continue_address);
}

} // namespace

// cmp reg, [cell]: 3B /r with the disp32-only ModRM form (mod 00, r/m 101).
int emit_class_cache_compare(codegen_context* cg, u4 reg, u4 cell)
{
    u1 b[8];
    int n = x86_encode_insn_mem(b, 0x3B, (int)hw(reg), X86_NO_BASE, (s4)cell, 4);
    cg_record_reg(cg, reg);
    cg_emit_raw(cg, b, n);
    return n;
}

// mov [cell], reg: A3 moffs32 for eax (the form assemblers pick), else
// 89 /r with the disp32-only ModRM form.  The cell is 4-byte aligned, so the
// store is a single access other processors see whole.
int emit_class_cache_store(codegen_context* cg, u4 cell, u4 reg)
{
    u1 b[8];
    int n = x86_encode_insn_mem(b, OP_MOV_RM_R, (int)hw(reg), X86_NO_BASE, (s4)cell, 4);
    cg_record_reg(cg, reg);
    if (hw(reg) == 0) {
        u1 a[5] = {0xA3};
        cg_write32(a + 1, cell);
        cg_emit_raw(cg, a, 5);
        return 5;
    }
    cg_emit_raw(cg, b, n);
    return n;
}

void init_class_cache(method_compile_context* m) { m->cg_lists[MCC_LIST_CLASS_CACHE] = 0; }

void emit_class_cache_check(codegen_context* cg, u4 kind, u4 cls, u4 o, u4 t)
{
    method_compile_context* m = cg->m;
    auto* c = static_cast<class_cache_info*>(jit_wmem_alloc(m->pool1, sizeof(class_cache_info)));
    if (c == nullptr)
        cg_service_missing("class cache memory");
    *c = {};
    c->kind = kind;
    c->cls = cls;
    c->obj_reg = o & REG_ID_MASK;
    c->scratch = t & REG_ID_MASK;
    c->next = cache_list(m);
    m->cg_lists[MCC_LIST_CLASS_CACHE] = (u4)(uintptr_t)c;

    int reopen = (cg->flags & CG_SCHED_WINDOW_OPEN) != 0;
    if (reopen)
        cg_close_window(cg);
    c->sp_offset = cg->mci->sp_offset;
    c->block = (u2)cg->cur_bb;
    c->quad = (u2)cg->cur_quad;
    c->fp_live = get_fp_live_status(cg);
    quadruple* q = cg->cur_bb > 0 ? cg->bbtable[cg->cur_bb]->catbl[cg->cur_quad] : nullptr;
    u2 sub = q != nullptr ? q->subcode : 0;

    u1* null_short = nullptr;
    if (kind == OPC_INSTANCEOF) {
        _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, o, o, SIZE_DWORD);
        _gen_jmpcc(cg, COND_EQ, UNRESOLVED_TARGET, 4);
        c->null_site = obj_site_here(cg);
    } else if (kind == OPC_CLASSTYPECHECK || !(sub & QS_CAST_NONNULL)) {
        _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, o, o, SIZE_DWORD);
        _gen_jmpcc(cg, COND_EQ, UNRESOLVED_TARGET, 1);
        null_short = obj_site_here(cg);
    }
    int header_test = !(kind == OPC_CHECKCAST && (sub & (QS_CAST_NOT_ARRAY | QS_CAST_ARRAY)) == QS_CAST_NOT_ARRAY);
    if (header_test) {
        c->flags |= CACHE_HEADER_TEST;
        _gen_ARITHMETIC_xmm_i4(cg, ALU_TEST, o, 0, 0, OBJ_LOCKWORD, LOCK_HDR_ARRAY, SIZE_BYTE);
        _gen_jmpcc(cg, COND_NE, UNRESOLVED_TARGET, 4);
        c->header_site = obj_site_here(cg);
    }
    _gen_move_gr_mm(cg, t, o, 0, 0, OBJ_WORD0);
    u1* hit_short = nullptr;
    if (kind == OPC_CLASSTYPECHECK) {
        _gen_move_gr_mm(cg, t, t, 0, 0, 0);
        _gen_cmp_gr_gr(cg, t, cls);
        _gen_jmpcc(cg, COND_EQ, UNRESOLVED_TARGET, 1);
        hit_short = obj_site_here(cg);
        _gen_cmp_gr_mm(cg, cls, t, CB_SUPERCLASS_WORD);
    } else {
        c->cell = emit_cache_compare(cg, t, &c->compare);
    }
    _gen_jmpcc(cg, COND_NE, UNRESOLVED_TARGET, 4);
    c->miss_site = obj_site_here(cg);
    if (kind == OPC_INSTANCEOF)
        _gen_move_gr_i4(cg, t, 1);
    obj_aim_short_here(cg, null_short);
    obj_aim_short_here(cg, hit_short);
    c->continue_address = obj_site_here(cg);
    if (reopen)
        cg_open_window(cg);
}

void gen_call_rtlib_in_class_cache_miss(codegen_context* cg)
{
    class_cache_info* c = cache_list(cg->m);
    if (c == nullptr)
        return;
    int reopen = (cg->flags & CG_SCHED_WINDOW_OPEN) != 0;
    if (reopen)
        cg_close_window(cg);
    s4 saved_bb = cg->cur_bb, saved_quad = cg->cur_quad;
    for (; c != nullptr; c = c->next)
        gen_one_miss_path(cg, c);
    cg->cur_bb = saved_bb;
    cg->cur_quad = saved_quad;
    if (reopen)
        cg_open_window(cg);
}

// Resolved checkcast (opcode 50) and instanceof (51).
int gen_and_register_class_cache(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    u4 kind = q->opcode;
    reg_operand* obj = &o->r[2];
    reg_operand* res = &o->r[0];
    if (kind == OPC_INSTANCEOF && op_absent(res))
        return 0;
    if (op_is_imm(obj)) {
        // The null constant: checkcast passes, instanceof answers 0.
        if (kind == OPC_INSTANCEOF) {
            int t = gi_alloc(cg, RM_ALL_INT, 0);
            gen_move_gr_i4(cg, gid(t), 0);
            gi_bind(cg, res, t);
        }
        return 0;
    }
    classblock* cls = quad_class(q);
    if (cls == nullptr)
        cg_service_missing("type check of an unknown class");
    int ro = gi_read(cg, obj, slot, RM_ALL_INT, 0);
    int t = gi_alloc(cg, 0x7E, rbit(ro));
    emit_class_cache_check(cg, kind, (u4)(uintptr_t)cls, gid(ro), gid(t));
    gi_done(cg, obj, ro);
    if (kind == OPC_INSTANCEOF)
        gi_bind(cg, res, t);
    else
        _free_int_reg(cg, t, 0, 0, 0);
    return 0;
}

// The store check of aastore: the element class (first source) and the
// value (second source).
int gen_classtypecheck(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    reg_operand* element = &o->r[2];
    reg_operand* value = &o->r[4];
    if (op_is_imm(value))
        return 0;   // null is stored into any array
    int re = gi_read(cg, element, slot, RM_ALL_INT, 0);
    int rv = gi_read(cg, value, slot, RM_ALL_INT, rbit(re));
    int t = gi_alloc(cg, 0x7E, rbit(re) | rbit(rv));
    emit_class_cache_check(cg, OPC_CLASSTYPECHECK, gid(re), gid(rv), gid(t));
    _free_int_reg(cg, t, 0, 0, 0);
    gi_done(cg, value, rv);
    gi_done(cg, element, re);
    return 0;
}
