// Object and array allocation: new, newarray, anewarray, multianewarray.
//
// A resolved allocation of a small object or array calls the collector's
// quick entry (GC link vector word 12, or 16 for an object that zeroing
// stores initialise) directly with (EE, word 0, header byte, block size);
// when it answers null, an out-of-line slow path after the method body
// calls the run-time allocation routine with the same request, which
// allocates through the VM or leaves the exception pending.  Allocations the
// quick entry must not serve (a large block, an allocation hook, an array
// length that is negative or too big) call the routine inline.  An
// unresolved new, and a new of a class not yet initialised, call the
// resolve stub __new, which resolves, initialises, allocates and points its
// call site at __new_quick.
//
// Block size: pre-header word + 8 header bytes + the data (+ the trailing
// element-class word of an object array), rounded up to 8: (data + 19) & ~7.
// The quick entry serves blocks below 0x180 bytes, so objects whose fields
// take 365 bytes or more always take the routine.
//
// Every register length is read into a callee-saved register, so it
// survives the quick call and is still there for the slow path.
#include "codegen/gen/gen_arith.h"
#include "codegen/glue/gen_glue.h"
#include "codegen/gen/gen_object.h"

#include <cstdio>
#include <cstdlib>

#include "driver/driver.h"

// Weak: test binaries link the generators without the VM binding; an
// allocation then takes the run-time routine.

namespace {

constexpr u4 QUICK_ALLOC_LIMIT = 0x180;       // blocks from this size take the routine
constexpr u4 ARRAY_LENGTH_LIMIT = 0x10000000u;  // lengths from 2^28 take the routine
constexpr u4 RM_CALLEE_SAVED = 0x78;          // ebx, ebp, esi, edi

// An allocation request (seven words, as the routine call needs it).
struct alloc_request {
    u1 is_object;            // 1 new, 0 an array
    u1 is_ref_array;         // 1 anewarray
    u1 nwords;               // argument words of the routine
    u1 const_length;         // the length is a constant
    u4 length;               // the constant, or the register id holding it
    u4 cls_or_type;          // new: the class block; newarray: the element type; anewarray: the cp index
    u4 routine;              // run-time routine table entry
    u4 cp;                   // anewarray: the constant pool
    u4 extra;                // reserved
    u4 element;              // anewarray: the element class (0 when unresolved)
};
static_assert(sizeof(alloc_request) == 28);
static_assert(offsetof(alloc_request, length) == 4);
static_assert(offsetof(alloc_request, cls_or_type) == 8);
static_assert(offsetof(alloc_request, routine) == 12);
static_assert(offsetof(alloc_request, cp) == 16);
static_assert(offsetof(alloc_request, element) == 24);

// One out-of-line slow path (48 bytes, compilation work pool).
struct allocation_slow_path_info {
    allocation_slow_path_info* next;
    u1* site;                // just after the je near of the fast path; also the return address
    void* regs;              // unused: the fast path has written every register back
    alloc_request req;
    s2 sp_offset;
    u2 block;
    u2 quad;
    u2 pad;
};
static_assert(sizeof(allocation_slow_path_info) == 48);
static_assert(offsetof(allocation_slow_path_info, site) == 4);
static_assert(offsetof(allocation_slow_path_info, req) == 12);
static_assert(offsetof(allocation_slow_path_info, sp_offset) == 40);
static_assert(offsetof(allocation_slow_path_info, block) == 42);
static_assert(offsetof(allocation_slow_path_info, quad) == 44);

allocation_slow_path_info* slow_path_list(method_compile_context* m)
{
    return reinterpret_cast<allocation_slow_path_info*>((uintptr_t)m->cg_lists[MCC_LIST_ALLOC_SLOW_PATH]);
}

int writing(codegen_context* cg) { return cg->pass == CG_PASS_WRITE; }

u4 element_size(u4 type)
{
    switch (type) {
    case T_BOOLEAN: case T_BYTE: return 1;
    case T_CHAR: case T_SHORT: return 2;
    case T_REFERENCE: case T_FLOAT: case T_INT: return 4;
    case T_DOUBLE: case T_LONG: return 8;
    default:
        fprintf(stderr, "Unknown TYPE found in gen_newarray (type=%d)\n", (int)type);
        exit(-1);
    }
}

int log2_of(u4 size) { return size == 1 ? 0 : size == 2 ? 1 : size == 4 ? 2 : 3; }

u4 header_flags(u4 type) { return (type & 31) << 3 | LOCK_HDR_ARRAY; }

// The collector's quick entry, or 0 when the VM offers none.
u4 quick_entry(codegen_context* cg)
{
    if (vm.GCLinkVector == nullptr)
        return 0;
    quadruple* q = cg->cur_bb > 0 ? cg->bbtable[cg->cur_bb]->catbl[cg->cur_quad] : nullptr;
    int word = q != nullptr && (q->flags_b & QB_ZERO_INIT) ? GCV_QUICK_ALLOC_NEW : GCV_QUICK_ALLOC;
    return vm.GCLinkVector[word];
}

void close_window(codegen_context* cg, int* reopen)
{
    *reopen = (cg->flags & CG_SCHED_WINDOW_OPEN) != 0;
    if (*reopen)
        cg_close_window(cg);
}

void open_window(codegen_context* cg, int reopen)
{
    if (reopen)
        cg_open_window(cg);
}

// The result in eax bound to its operand (or nothing when it is unused).
void bind_eax(codegen_context* cg, const reg_operand* res)
{
    if (op_absent(res))
        return;
    int r = _alloc_int_reg(cg, rbit(RM_EAX), 0);
    gi_bind(cg, res, r);
}

// Pushes the size (a constant or a register), the header byte, word 0 and
// the EE, calls the quick entry and pops the four words.
void gen_quick_alloc_call(codegen_context* cg, u4 entry, int size_in_reg, u4 size, u4 flags, int word0_in_reg,
                          u4 word0)
{
    if (size_in_reg)
        _gen_push(cg, size);
    else
        _gen_push_imm(cg, (s4)size);
    _gen_push_imm(cg, (s4)flags);
    if (word0_in_reg)
        _gen_push(cg, word0);
    else
        _gen_push_imm(cg, (s4)word0);
    _gen_push_ee(cg, GR_EAX);
    _gen_call_(cg, entry);
    obj_adjust_esp(cg, 16, 0);
}

// Calls the request's routine; eax = the new object or array, thrown when 0.
void gen_alloc_rtlib_call(codegen_context* cg, const alloc_request* req)
{
    s4 n = req->nwords;
    _gen_lea_gr_mm(cg, GR_EAX, GR_ESP, 0, 0, -4 - 4 * n);
    _gen_push(cg, GR_EAX);
    _gen_push(cg, GR_EBP);
    if (req->is_object) {
        _gen_push_imm(cg, (s4)req->cls_or_type);
    } else {
        if (req->is_ref_array)
            _gen_push_imm(cg, (s4)req->cp);
        if (req->const_length)
            _gen_push_imm(cg, (s4)req->length);
        else
            _gen_push(cg, req->length);
        _gen_push_imm(cg, (s4)req->cls_or_type);
    }
    _gen_call(cg, (int)req->routine);
    obj_note_inlined_position(cg);
    obj_adjust_esp(cg, 4 * n, 0);
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, GR_EAX, GR_EAX, SIZE_DWORD);
    obj_throw_if(cg, COND_EQ, EXC_THROWN);
}

void register_allocation_slow_path(codegen_context* cg, u1* site, const alloc_request* req)
{
    method_compile_context* m = cg->m;
    auto* s = static_cast<allocation_slow_path_info*>(jit_wmem_alloc(m->pool1, sizeof(allocation_slow_path_info)));
    if (s == nullptr)
        cg_service_missing("allocation slow-path memory");
    s->site = site;
    s->regs = nullptr;
    s->req = *req;
    s->sp_offset = cg->mci->sp_offset;
    s->block = (u2)cg->cur_bb;
    s->quad = (u2)cg->cur_quad;
    s->pad = 0;
    s->next = slow_path_list(m);
    m->cg_lists[MCC_LIST_ALLOC_SLOW_PATH] = (u4)(uintptr_t)s;
}

// test eax, eax; je near <slow path>; the path returns right after the je.
void quick_result_test(codegen_context* cg, const alloc_request* req)
{
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, GR_EAX, GR_EAX, SIZE_DWORD);
    _gen_jmpcc(cg, COND_EQ, UNRESOLVED_TARGET, 4);
    register_allocation_slow_path(cg, obj_site_here(cg), req);
}

// The length checks of an allocation whose result nobody uses.
void check_array_length(codegen_context* cg, const reg_operand* len, quadruple** slot)
{
    if (op_is_imm(len)) {
        if ((s4)len->value < 0)
            obj_throw_if(cg, COND_ALWAYS, EXC_NEGATIVE_ARRAYSIZE);
        return;
    }
    // The raise helper emits the compare itself, after it has closed the
    // scheduling window: a compare left in the window could be scheduled
    // away from its jump, behind an instruction that sets the flags.
    int r = gi_read(cg, len, slot, RM_ALL_INT, 0);
    _gen_test_and_throw_exception(cg, COND_LT, THROW_CMP_REG_IMM, (int)gid(r), 0, 0, 0, EXC_NEGATIVE_ARRAYSIZE,
                                  cg->mb, 0);
    gi_done(cg, const_cast<reg_operand*>(len), r);
}

// The array allocation proper; `len` is a constant or in callee-saved `lr`.
void gen_array_alloc_body(codegen_context* cg, alloc_request* req, u4 type, int lr)
{
    u4 entry = quick_entry(cg);
    int ref = req->is_ref_array;
    if (req->routine == RT_ENTRY_ANEWARRAY || (ref && req->element != 0 &&
                                               reinterpret_cast<classblock*>(req->element)->alloc_hook != 0) ||
        entry == 0) {
        gen_alloc_rtlib_call(cg, req);
        return;
    }
    u4 esize = element_size(type);
    if (req->const_length) {
        s4 length = (s4)req->length;
        if (length < 0) {
            obj_throw_if(cg, COND_ALWAYS, EXC_NEGATIVE_ARRAYSIZE);
            return;
        }
        if ((u4)length >= ARRAY_LENGTH_LIMIT) {
            gen_alloc_rtlib_call(cg, req);
            return;
        }
        u4 size = ((u4)length * esize + (ref ? 4 : 0) + 19) & ~7u;
        if (size >= QUICK_ALLOC_LIMIT) {
            gen_alloc_rtlib_call(cg, req);
            return;
        }
        gen_quick_alloc_call(cg, entry, 0, size, header_flags(type), 0, (u4)length);
        quick_result_test(cg, req);
        if (ref)
            _gen_move_mm_i4(cg, GR_EAX, 0, 0, OBJ_HEADER_SIZE + 4 * length, (s4)req->element, SIZE_DWORD);
        return;
    }
    // Length in a register: sizes of lengths below 2^28 fit in 32 bits.
    u4 len = gid(lr);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_TEST, len, (s4)0xF0000000, SIZE_DWORD);
    _gen_jmpcc(cg, COND_NE, UNRESOLVED_TARGET, 1);
    u1* big = obj_site_here(cg);
    _gen_move_gr_gr(cg, GR_EAX, len);
    if (esize > 1)
        _gen_SHIFT_gr_i4(cg, SHIFT_SHL, GR_EAX, log2_of(esize));
    _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_EAX, ref ? 23 : 19, SIZE_DWORD);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_AND, GR_EAX, (s4)0xFFFFFFF8, SIZE_DWORD);
    _gen_cmp_gr_i4(cg, GR_EAX, (s4)QUICK_ALLOC_LIMIT);
    _gen_jmpcc(cg, COND_AE, UNRESOLVED_TARGET, 1);
    u1* large = obj_site_here(cg);
    gen_quick_alloc_call(cg, entry, 1, GR_EAX, header_flags(type), 1, len);
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, GR_EAX, GR_EAX, SIZE_DWORD);
    _gen_jmpcc(cg, COND_EQ, UNRESOLVED_TARGET, 1);
    u1* refused = obj_site_here(cg);
    if (ref)
        _gen_move_mm_i4(cg, GR_EAX, len, 4, OBJ_HEADER_SIZE, (s4)req->element, SIZE_DWORD);
    _gen_jmpcc(cg, COND_ALWAYS, UNRESOLVED_TARGET, 1);
    u1* done = obj_site_here(cg);
    obj_aim_short_here(cg, big);
    obj_aim_short_here(cg, large);
    obj_aim_short_here(cg, refused);
    gen_alloc_rtlib_call(cg, req);
    obj_aim_short_here(cg, done);
}

// newarray and anewarray after the request is built.
void gen_array_alloc(codegen_context* cg, quadruple** slot, reg_operand* res, reg_operand* len, alloc_request* req,
                     u4 type)
{
    if (op_absent(res) && req->routine != RT_ENTRY_ANEWARRAY) {
        if (!(op_is_imm(len) && (u4)len->value >= ARRAY_LENGTH_LIMIT && (s4)len->value >= 0)) {
            check_array_length(cg, len, slot);
            return;
        }
    }
    int reopen;
    int lr = -1;
    if (op_is_imm(len)) {
        req->const_length = 1;
        req->length = len->value;
    } else {
        lr = gi_read(cg, len, slot, RM_CALLEE_SAVED, 0);
        req->const_length = 0;
        req->length = gid(lr);
    }
    close_window(cg, &reopen);
    obj_write_back_for_call(cg);
    gen_array_alloc_body(cg, req, type, lr);
    if (lr >= 0)
        gi_done(cg, len, lr);
    bind_eax(cg, res);
    open_window(cg, reopen);
}

} // namespace

// ---------------------------------------------------------------------------
// Shared helpers
// ---------------------------------------------------------------------------
u1* obj_site_here(codegen_context* cg) { return writing(cg) ? cg->code : nullptr; }

void obj_aim_near_here(codegen_context* cg, u1* site)
{
    if (writing(cg) && site != nullptr)
        cg_write32(site - 4, (u4)(cg->code - site));
}

void obj_aim_short_here(codegen_context* cg, u1* site)
{
    if (!writing(cg) || site == nullptr)
        return;
    s4 rel = (s4)(cg->code - site);
    if (rel > 127) {
        cg_internal_error("object sequence: short jump out of range (%d)", (int)rel);
    }
    site[-1] = (u1)rel;
}

void obj_jmp_to(codegen_context* cg, int cond, u1* target)
{
    _gen_jmpcc(cg, cond, writing(cg) && target != nullptr ? (u4)(uintptr_t)target : UNRESOLVED_TARGET, 4);
}

void obj_write_back_for_call(codegen_context* cg)
{
    _flush_int_regs(cg, RM_KILL_REGS, 0, 0, 0);
    _flush_all_fp_regs(cg, 0);
}

void obj_adjust_esp(codegen_context* cg, s4 delta, int keep_flags)
{
    if (delta == 0)
        return;
    // add and sub on esp keep the tracked depth themselves; lea does not.
    if (!keep_flags) {
        if (delta > 0)
            _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ESP, delta, SIZE_DWORD);
        else
            _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, GR_ESP, -delta, SIZE_DWORD);
        return;
    }
    _gen_lea_gr_mm(cg, GR_ESP, GR_ESP, 0, 0, delta);
    cg->mci->sp_offset = (s2)(cg->mci->sp_offset + delta);
    cg_sp_changed(cg);
}

void obj_spill_x87(codegen_context* cg, u4 live)
{
    u4 n = (live >> 8) & 0xFF, doubles = live & 0xFF;
    for (u4 i = 0; i < n; i++) {
        int wide = (doubles >> i) & 1;
        obj_adjust_esp(cg, wide ? -8 : -4, 0);
        if (wide)
            _gen_move_mm_fr8(cg, GR_ESP, 0, 0, 0, 1);
        else
            _gen_move_mm_fr(cg, GR_ESP, 0, 0, 0, 1);
    }
}

void obj_reload_x87(codegen_context* cg, u4 live)
{
    s4 n = (s4)((live >> 8) & 0xFF);
    u4 doubles = live & 0xFF;
    for (s4 i = n - 1; i >= 0; i--) {
        int wide = (doubles >> i) & 1;
        if (wide)
            _gen_move_fr8_mm(cg, GR_ESP, 0, 0, 0);
        else
            _gen_move_fr_mm(cg, GR_ESP, 0, 0, 0);
        obj_adjust_esp(cg, wide ? 8 : 4, 1);
    }
}

void obj_note_inlined_position(codegen_context* cg)
{
    if (!writing(cg) || cg->m == nullptr || !(cg->m->state_flags & MCC_UNRESOLVED_BODY) || cg->cur_bb <= 0)
        return;
    quadruple* q = cg->bbtable[cg->cur_bb]->catbl[cg->cur_quad];
    if (q->body != 0)
        register_inlined_method_frame(cg, q->body, cg->code, &cg->cp_list);
}

void obj_throw_if(codegen_context* cg, int cond, u4 code)
{
    _gen_test_and_throw_exception(cg, cond, THROW_CMP_NONE, 0, 0, 0, 0, code, cg->mb, 0);
}

methodblock* quad_context(codegen_context* cg, const quadruple* q)
{
    return q->context != 0 ? reinterpret_cast<methodblock*>((uintptr_t)q->context) : cg->mb;
}

u4* quad_constant_pool(codegen_context* cg, const quadruple* q)
{
    methodblock* mb = quad_context(cg, q);
    return mb != nullptr && mb->clazz != nullptr ? mb->clazz->constantpool : nullptr;
}

classblock* quad_class(const quadruple* q)
{
    if (q->subcode & QS_UNRESOLVED)
        return nullptr;
    if (q->aux != 0)
        return reinterpret_cast<classblock*>((uintptr_t)q->aux);
    auto* mb = reinterpret_cast<methodblock*>((uintptr_t)q->context);
    if (mb == nullptr || mb->clazz == nullptr || mb->clazz->constantpool == nullptr || q->op == 0)
        return nullptr;
    return reinterpret_cast<classblock*>((uintptr_t)mb->clazz->constantpool[q->op]);
}

// ---------------------------------------------------------------------------
// new
// ---------------------------------------------------------------------------
int gen_resolve_new(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    methodblock* context = quad_context(cg, q);
    u4* cp = quad_constant_pool(cg, q);
    if (context == nullptr || cp == nullptr)
        cg_service_missing("new without a constant pool");
    int reopen;
    close_window(cg, &reopen);
    obj_write_back_for_call(cg);
    _gen_move_gr_i4(cg, GR_EAX, (s4)(q->op & 0xFFFF));
    _gen_move_gr_i4(cg, GR_EDX, (s4)(uintptr_t)context);
    _gen_move_gr_i4(cg, GR_ECX, (s4)(uintptr_t)cp);
    // The stub redirects this call to __new_quick with one aligned store.
    _make_code_align(cg, 1, 4);
    _gen_call(cg, RT_ENTRY_NEW);
    obj_note_inlined_position(cg);
    bind_eax(cg, &o->r[0]);
    open_window(cg, reopen);
    return 0;
}

int gen_new(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    classblock* cls = quad_class(q);
    // A class not yet initialised is initialised by the stub's routine
    // before the first allocation (and the site then allocates directly).
    if (cls == nullptr || !(cls->state & CS_INITIALIZED))
        return gen_resolve_new(cg, slot, o);
    reg_operand* res = &o->r[0];
    u4 size = ((u4)cls->instance_size + 19) & ~7u;
    if (op_absent(res) && cls->alloc_hook == 0)
        return 0;
    int reopen;
    close_window(cg, &reopen);
    obj_write_back_for_call(cg);
    alloc_request req = {};
    req.is_object = 1;
    req.nwords = 3;
    req.cls_or_type = (u4)(uintptr_t)cls;
    req.routine = RT_ENTRY_OBJ_ALLOC;
    u4 entry = quick_entry(cg);
    if ((s2)cls->state < 0 || cls->alloc_hook != 0 || size >= QUICK_ALLOC_LIMIT || entry == 0) {
        gen_alloc_rtlib_call(cg, &req);
    } else {
        gen_quick_alloc_call(cg, entry, 0, size, 0, 0, (u4)(uintptr_t)cls->methodtable);
        quick_result_test(cg, &req);
    }
    bind_eax(cg, res);
    open_window(cg, reopen);
    return 0;
}

// ---------------------------------------------------------------------------
// newarray, anewarray
// ---------------------------------------------------------------------------
int gen_newarray(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    u4 type = q->op;
    element_size(type);   // rejects an impossible type code
    alloc_request req = {};
    req.nwords = 4;
    req.cls_or_type = type;
    req.routine = RT_ENTRY_NEWARRAY;
    gen_array_alloc(cg, slot, &o->r[0], &o->r[2], &req, type);
    return 0;
}

int gen_anewarray(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    u4* cp = quad_constant_pool(cg, q);
    if (cp == nullptr)
        cg_service_missing("anewarray without a constant pool");
    classblock* element = quad_class(q);
    alloc_request req = {};
    req.is_ref_array = 1;
    req.nwords = 5;
    req.cls_or_type = q->op & 0xFFFF;
    req.cp = (u4)(uintptr_t)cp;
    req.element = (u4)(uintptr_t)element;
    req.routine = element != nullptr ? RT_ENTRY_ANEWARRAY_QUICK : RT_ENTRY_ANEWARRAY;
    gen_array_alloc(cg, slot, &o->r[0], &o->r[2], &req, T_REFERENCE);
    return 0;
}

// ---------------------------------------------------------------------------
// multianewarray: the dimension words are pushed (first dimension first, so
// the last lies at the lowest address), the routine gets their address.
// ---------------------------------------------------------------------------
static int dimension_operands(quadruple* q, cg_operands* o, reg_operand** dims)
{
    u4 d = q->count;
    if ((q->opcount & QC_SRC_MASK) == QC_SRC_LIST) {
        if ((int)d > o->list_n)
            cg_service_missing("multianewarray dimension list");
        for (u4 i = 0; i < d; i++)
            dims[i] = &o->list[i];
    } else {
        if (d > 2)
            cg_service_missing("multianewarray dimension list");
        if (d >= 1)
            dims[0] = &o->r[2];
        if (d >= 2)
            dims[1] = &o->r[4];
    }
    return (int)d;
}

int gen_argset_multianewarray(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* dims[256];
    int d = dimension_operands(q, o, dims);
    int reopen;
    close_window(cg, &reopen);
    for (int i = 0; i < d; i++) {
        if (op_is_imm(dims[i])) {
            _gen_push_imm(cg, (s4)dims[i]->value);
            continue;
        }
        int r = gi_read(cg, dims[i], slot, RM_ALL_INT, 0);
        _gen_push(cg, gid(r));
        gi_done(cg, dims[i], r);
    }
    open_window(cg, reopen);
    return 0;
}

int gen_multianewarray(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    u4* cp = quad_constant_pool(cg, q);
    if (cp == nullptr)
        cg_service_missing("multianewarray without a constant pool");
    s4 d = q->count;
    int quick = !(q->subcode & QS_UNRESOLVED) && quad_class(q) != nullptr;
    int reopen;
    close_window(cg, &reopen);
    obj_write_back_for_call(cg);
    // (index, dimensions, pool, address of the dimension words, ebp, return-address slot)
    _gen_lea_gr_mm(cg, GR_EAX, GR_ESP, 0, 0, -28);
    _gen_push(cg, GR_EAX);
    _gen_push(cg, GR_EBP);
    _gen_lea_gr_mm(cg, GR_EAX, GR_ESP, 0, 0, 8);
    _gen_push(cg, GR_EAX);
    _gen_push_imm(cg, (s4)(uintptr_t)cp);
    _gen_push_imm(cg, d);
    _gen_push_imm(cg, (s4)(q->op & 0xFFFF));
    _gen_call(cg, quick ? RT_ENTRY_MULTIANEWARRAY_QUICK : RT_ENTRY_MULTIANEWARRAY);
    obj_note_inlined_position(cg);
    obj_adjust_esp(cg, 24 + 4 * d, 0);
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, GR_EAX, GR_EAX, SIZE_DWORD);
    obj_throw_if(cg, COND_EQ, EXC_THROWN);
    bind_eax(cg, &o->r[0]);
    open_window(cg, reopen);
    return 0;
}

// ---------------------------------------------------------------------------
// Slow paths
// ---------------------------------------------------------------------------
void init_allocation_slow_path_anchor(method_compile_context* m) { m->cg_lists[MCC_LIST_ALLOC_SLOW_PATH] = 0; }

void gen_call_allocation_slow_path(codegen_context* cg)
{
    allocation_slow_path_info* s = slow_path_list(cg->m);
    if (s == nullptr)
        return;
    int reopen;
    close_window(cg, &reopen);
    s4 saved_bb = cg->cur_bb, saved_quad = cg->cur_quad;
    for (; s != nullptr; s = s->next) {
        obj_aim_near_here(cg, s->site);
        if (cg->mci->sp_offset != s->sp_offset) {
            cg->mci->sp_offset = s->sp_offset;
            cg_sp_changed(cg);
        }
        cg->cur_bb = s->block;
        cg->cur_quad = s->quad;
        gen_alloc_rtlib_call(cg, &s->req);
        obj_jmp_to(cg, COND_ALWAYS, s->site);
    }
    cg->cur_bb = saved_bb;
    cg->cur_quad = saved_quad;
    open_window(cg, reopen);
}
