// Run-time checks that raise Java exceptions, their out-of-line raise paths,
// athrow and jsr.
//
// A check is a compare (or test) and a conditional jump to a raise path that
// is written later, in a batch: after the method body, and by the dispatcher
// after every block that does not fall through, so that the paths stand near
// their jumps.  Each jump leaves a `throw_record`; its raise path loads the
// exception's operands into the registers the raiser reads (the run-time
// filter takes the index of ArrayIndexOutOfBoundsException from edx, for
// example) and calls the raiser, which never returns.
//
// Short or near: the measuring pass counts every jump near and, when it
// places the raise path, marks the jump short if the path lies at most 127
// bytes beyond the end of that near jump.  The writing pass replays the
// same records in the same order and takes the form from the mark.  Code
// only shrinks in the writing pass (alignment and line padding are counted
// at their largest when measuring), so a distance measured from the end of
// the near form never grows: the short form always reaches.
//
// The records live in the compilation's first work pool and are found
// through the compile context; `init_test_and_throw_exception` starts a pass
// (a fresh array when measuring, the same array rewound when writing).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "codegen/gen/gen_arith.h"
#include "codegen/glue/gen_glue.h"
#include "driver/driver.h"

namespace {

// One pending raise: 32 bytes.
struct throw_record {
    u1* jump_end;         // pass 2: the jump's displacement field; pass 1: code size after the near jump
    s4 cmp_operand;       // the compare's immediate or displacement
    u4 code;              // software exception code 0xE0000001..0xE0000012
    u4 arg1;              // register id or constant of the raise path
    u4 arg2;
    quadruple** quad;     // the checking quadruple's slot, 0 outside a block
    u2 cmp_kind;          // THROW_CMP_*
    u2 is_short;          // pass 1 decision: the jump is written in 2 bytes
    s2 sp_offset;         // stack offset at the jump
    u2 arg1_form;         // ARG1_*: how the raise path reads argument 1
};
static_assert(sizeof(throw_record) == 32);
static_assert(offsetof(throw_record, jump_end) == 0);
static_assert(offsetof(throw_record, cmp_operand) == 4);
static_assert(offsetof(throw_record, code) == 8);
static_assert(offsetof(throw_record, arg1) == 12);
static_assert(offsetof(throw_record, arg2) == 16);
static_assert(offsetof(throw_record, quad) == 20);
static_assert(offsetof(throw_record, cmp_kind) == 24);
static_assert(offsetof(throw_record, is_short) == 26);
static_assert(offsetof(throw_record, sp_offset) == 28);
static_assert(offsetof(throw_record, arg1_form) == 30);

// Argument 1 of an array-index raise: by the compare kind (an immediate
// compare names the index as its immediate), or said by the check itself.
constexpr u2 ARG1_BY_COMPARE = 0, ARG1_CONSTANT = 1, ARG1_REGISTER = 2;

// The records of one compilation: an array with its fill position and the
// first record whose raise path is not written yet.
struct throw_state {
    throw_record* rec;
    u4 fill;
    u4 capacity;
    u4 first_pending;
};

constexpr u4 THROW_INITIAL_CAPACITY = 16;

// Raiser table, one row per code - 0xE0000001: routine table entry, argument
// kind, first and second argument register.
struct raiser_row {
    u1 routine;
    u1 arg_kind;
    u1 reg1;
    u1 reg2;
};
constexpr raiser_row raisers[18] = {
    {43, 2, GR_ECX, 0},        // ABSTRACTMETHOD
    {44, 3, GR_EDX, 0},        // ARRAY_OUTOFBOUNDS
    {45, 0, 0, 0},             // ARRAYSTORE
    {46, 1, GR_ECX, 0},        // CHECKCAST
    {47, 1, GR_ECX, 0},        // GETPUTFIELD
    {48, 1, GR_ECX, 0},        // GETPUTSTATIC
    {53, 8, GR_EDX, GR_ECX},   // INCOMPATIBLE_CLASS_CHANGE_invokeinterface
    {54, 1, GR_ECX, 0},        // INTERFACE_FOUND
    {55, 4, GR_ECX, GR_EDX},   // INVOKEINTERFACE
    {56, 1, GR_ECX, 0},        // INVOKESTATIC
    {57, 1, GR_ECX, 0},        // INVOKEVIRTUAL
    {58, 2, GR_ECX, 0},        // LINKERROR
    {59, 0, 0, 0},             // NULL_POINTER
    {60, 0, 0, 0},             // THROWN
    {61, 0, 0, 0},             // DIV0
    {62, 0, 0, 0},             // NEGATIVE_ARRAYSIZE
    {63, 0, 0, 0},             // OUT_OF_MEMORY
    {64, 2, GR_ECX, 0},        // ILLEGAL_ACCESS
};

constexpr int RT_ATHROW = 42;

// The compilation's main pool; the method glue, compiled without the
// front end, has only its scratch pool.
work_pool* record_pool(codegen_context* cg) { return cg->m->pool1 != nullptr ? cg->m->pool1 : cg->m->pool2; }

throw_state* state_of(codegen_context* cg)
{
    return reinterpret_cast<throw_state*>((uintptr_t)cg->m->cg_lists[MCC_LIST_THROW_RECORDS]);
}

throw_state* new_state(codegen_context* cg)
{
    auto* s = static_cast<throw_state*>(jit_wmem_alloc(record_pool(cg), sizeof(throw_state)));
    if (s == nullptr)
        cg_service_missing("work memory for raise paths");
    memset(s, 0, sizeof *s);
    cg->m->cg_lists[MCC_LIST_THROW_RECORDS] = (u4)(uintptr_t)s;
    return s;
}

// The next record; in the writing pass it keeps the measuring pass's mark.
throw_record* next_record(codegen_context* cg)
{
    throw_state* s = state_of(cg);
    if (s == nullptr)
        s = new_state(cg);   // code written without a measuring pass (method glue)
    if (s->fill == s->capacity) {
        u4 n = s->capacity == 0 ? THROW_INITIAL_CAPACITY : 2 * s->capacity;
        auto* grown = static_cast<throw_record*>(jit_wmem_alloc(record_pool(cg), n * sizeof(throw_record)));
        if (grown == nullptr)
            cg_service_missing("work memory for raise paths");
        memset(grown, 0, n * sizeof(throw_record));
        if (s->fill != 0)
            memcpy(grown, s->rec, s->fill * sizeof(throw_record));
        s->rec = grown;
        s->capacity = n;
    }
    return &s->rec[s->fill++];
}

bool imm_compare(u2 kind) { return kind == THROW_CMP_REG_IMM || kind == THROW_CMP_MEM_IMM || kind == 7; }

void emit_compare(codegen_context* cg, int kind, int a, int b, int c, int d)
{
    switch (kind) {
    case THROW_CMP_REG_MEM: _gen_cmp_gr_mm(cg, (u4)a, (u4)b, c); break;
    case THROW_CMP_REG_REG: _gen_cmp_gr_gr(cg, (u4)a, (u4)b); break;
    case THROW_CMP_REG_IMM: _gen_cmp_gr_i4(cg, (u4)a, c); break;
    case THROW_CMP_TEST_REG:
        // d = 1: the byte form (test cl, cl of the native glue).
        _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, (u4)a, (u4)a, d == SIZE_BYTE ? SIZE_BYTE : SIZE_DWORD);
        break;
    case THROW_CMP_TEST_MEM_IMM: _gen_ARITHMETIC_xmm_i4(cg, ALU_TEST, (u4)b, 0, 0, c, a, SIZE_DWORD); break;
    case THROW_CMP_MEM_IMM: _gen_cmp_mm_i4(cg, (u4)b, c, a); break;
    case THROW_CMP_OR: _gen_ARITHMETIC_xgr_xgr(cg, ALU_OR, (u4)a, (u4)b, SIZE_DWORD); break;
    case THROW_CMP_XOR_IMM: _gen_ARITHMETIC_xgr_i4(cg, ALU_XOR, (u4)a, c, SIZE_DWORD); break;
    default: break;   // the flags of the code before
    }
}

// Loads the raise path's operands (argument kinds of the raiser table).
void load_arguments(codegen_context* cg, const raiser_row& row, const throw_record* r)
{
    switch (row.arg_kind) {
    case 1:
        if (r->arg1 != row.reg1)
            _gen_move_gr_gr(cg, row.reg1, r->arg1);
        break;
    case 2:
        _gen_move_gr_i4(cg, row.reg1, (s4)r->arg1);
        break;
    case 3:
        if (r->arg1_form == ARG1_CONSTANT || (r->arg1_form == ARG1_BY_COMPARE && imm_compare(r->cmp_kind)))
            _gen_move_gr_i4(cg, GR_EDX, (s4)r->arg1);
        else if (r->arg1 != GR_EDX)
            _gen_move_gr_gr(cg, GR_EDX, r->arg1);
        break;
    case 4:
        // Both moves may overlap (ecx <- edx, edx <- ecx): exchange then.
        if (r->arg1 == row.reg2 && r->arg2 == row.reg1) {
            _gen_xchg_gr_gr(cg, row.reg1, row.reg2);
        } else if (r->arg1 == row.reg2) {
            if (r->arg2 != row.reg2)
                _gen_move_gr_gr(cg, row.reg1, r->arg1);
            if (r->arg2 != row.reg2)
                _gen_move_gr_gr(cg, row.reg2, r->arg2);
        } else {
            if (r->arg2 != row.reg2)
                _gen_move_gr_gr(cg, row.reg2, r->arg2);
            if (r->arg1 != row.reg1)
                _gen_move_gr_gr(cg, row.reg1, r->arg1);
        }
        break;
    case 8:
        _gen_move_gr_mm(cg, GR_EDX, r->arg2, 0, 0, 0);
        _gen_move_gr_i4(cg, GR_ECX, (s4)(r->arg1 | 2));
        _gen_ARITHMETIC_xgr_i4(cg, ALU_OR, GR_EDX, 1, SIZE_DWORD);
        break;
    default:
        break;
    }
}

void set_sp_offset(codegen_context* cg, s2 sp)
{
    s2 previous = cg->mci->sp_offset;
    cg->mci->sp_offset = sp;
    if (cg->pass == CG_PASS_WRITE && sp != previous)
        update_sp_offset_table(cg, sp);
}

struct window {
    int reopen;
};
void window_close(codegen_context* cg, window* w)
{
    w->reopen = (cg->flags & (CG_SCHED_OFF | CG_SCHED_WINDOW_OPEN)) == CG_SCHED_WINDOW_OPEN;
    if (w->reopen)
        cg_close_window(cg);
}
void window_reopen(codegen_context* cg, window* w)
{
    if (w->reopen)
        cg_open_window(cg);
}

}  // namespace

void init_test_and_throw_exception(codegen_context* cg)
{
    throw_state* s = state_of(cg);
    if (cg->pass == CG_PASS_MEASURE || s == nullptr) {
        new_state(cg);
        return;
    }
    s->fill = 0;
    s->first_pending = 0;
}

namespace {

void test_and_throw(codegen_context* cg, int cond, int kind, int a, int b, int c, int d, u4 code, u4 arg1, u4 arg2,
                    u2 arg1_form)
{
    if (code < 0xE0000001u || code > 0xE0000012u) {
        cg_internal_error("not support exception code %x in _gen_test_and_throw_exception", code);
    }
    window w;
    window_close(cg, &w);
    if (cond != (int)COND_ALWAYS)
        emit_compare(cg, kind, a, b, c, d);
    throw_record* r = next_record(cg);
    r->cmp_operand = kind == THROW_CMP_REG_IMM || kind == THROW_CMP_XOR_IMM || kind == THROW_CMP_REG_MEM ? c : a;
    r->code = code;
    r->arg1 = arg1;
    r->arg2 = arg2;
    r->arg1_form = arg1_form;
    r->cmp_kind = (u2)kind;
    r->sp_offset = cg->mci->sp_offset;
    r->quad = nullptr;
    if (cg->cur_bb > 0 && cg->bbtable != nullptr) {
        bbattr* bb = cg->bbtable[cg->cur_bb];
        if (bb != nullptr && (u4)cg->cur_quad < bb->quad_count)
            r->quad = &bb->catbl[cg->cur_quad];
    }
    if (cg->pass == CG_PASS_MEASURE) {
        r->is_short = 0;
        _gen_jmpcc(cg, cond, UNRESOLVED_TARGET, 2);
        r->jump_end = reinterpret_cast<u1*>((uintptr_t)cg->code_size);
    } else {
        _gen_jmpcc(cg, cond, UNRESOLVED_TARGET, r->is_short ? 1 : 2);
        r->jump_end = cg->code - (r->is_short ? 1 : 4);
    }
    window_reopen(cg, &w);
}

}  // namespace

void _gen_test_and_throw_exception(codegen_context* cg, int cond, int kind, int a, int b, int c, int d, u4 code,
                                   methodblock* arg1, int arg2)
{
    test_and_throw(cg, cond, kind, a, b, c, d, code, (u4)(uintptr_t)arg1, (u4)arg2, ARG1_BY_COMPARE);
}

// An index check: the raise path reports `index`, a register id or (when
// `index_is_constant`) the index value itself, whatever the compare names.
void gen_index_check(codegen_context* cg, int cond, int kind, int a, int b, int c, u4 index, int index_is_constant)
{
    test_and_throw(cg, cond, kind, a, b, c, 0, 0xE0000002u, index, 0,
                   index_is_constant ? ARG1_CONSTANT : ARG1_REGISTER);
}

// The scheduled variant: compares and jumps are written with the window
// closed here as well, so the recorded displacement is final at once.
void gen_test_and_throw_exception(codegen_context* cg, int cond, int kind, int a, int b, int c, int d, u4 code,
                                  u4 arg1, u4 arg2)
{
    _gen_test_and_throw_exception(cg, cond, kind, a, b, c, d, code,
                                  reinterpret_cast<methodblock*>((uintptr_t)arg1), (int)arg2);
}

void throw_records_moved(codegen_context* cg, u1* old_disp, u1* end)
{
    throw_state* s = state_of(cg);
    if (s == nullptr)
        return;
    for (u4 i = 0; i < s->fill; i++) {
        throw_record* r = &s->rec[i];
        if (r->jump_end == old_disp)
            r->jump_end = end - (r->is_short ? 1 : 4);
    }
}

void gen_call_rtlib_to_throw_exception(codegen_context* cg, int native, int saved)
{
    throw_state* s = state_of(cg);
    if (s == nullptr || s->first_pending == s->fill)
        return;
    window w;
    window_close(cg, &w);
    s2 sp_before = cg->mci->sp_offset;
    for (u4 i = s->first_pending; i < s->fill; i++) {
        throw_record* r = &s->rec[i];
        const raiser_row& row = raisers[r->code - 0xE0000001u];
        u1* path = cg->code;
        u4 path_size = cg->code_size;
        set_sp_offset(cg, r->sp_offset);
        load_arguments(cg, row, r);
        if (native)
            restore_callee_saved_regs_nm(cg, 0, (u4)saved);
        _gen_call(cg, row.routine);
        if (cg->pass == CG_PASS_WRITE && r->quad != nullptr && (*r->quad)->body != 0)
            register_inlined_method_frame(cg, (*r->quad)->body, cg->code, &cg->cp_list_aux);
        _gen_nop(cg, 1);
        if (cg->pass == CG_PASS_MEASURE) {
            u4 end = (u4)(uintptr_t)r->jump_end;
            r->is_short = path_size - end <= 127 ? 1 : 0;
        } else if (r->is_short) {
            s4 rel = (s4)(path - (r->jump_end + 1));
            if (rel > 127) {
                cg_internal_error("gen_call_rtlib_to_throw_exception: short jump out of range (%d)", (int)rel);
            }
            *r->jump_end = (u1)rel;
        } else {
            cg_write32(r->jump_end, (u4)(path - (r->jump_end + 4)));
        }
    }
    s->first_pending = s->fill;
    set_sp_offset(cg, sp_before);
    window_reopen(cg, &w);
}

// athrow: the exception object in eax, then the raise of the run time,
// which makes it pending and never returns.
int gen_athrow(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    reg_operand* v = &o->r[2];
    (void)slot;
    int r;
    if (op_is_imm(v) || v->kind == OPND_ADDR) {
        r = gi_alloc(cg, 0x01, 0);
        gen_move_gr_i4(cg, GR_EAX, (s4)v->value);
    } else {
        r = _set_rd_int_oprnd(cg, v, 0x01, 0, 0);
    }
    window w;
    window_close(cg, &w);
    _gen_call(cg, RT_ATHROW);
    _gen_nop(cg, 1);
    window_reopen(cg, &w);
    _free_int_reg(cg, r, 0, 0, 0);
    if (!op_is_imm(v))
        invalidate_if_lastuse(cg, v);
    return 0;
}

// jsr: the return address (the position right after the jump to the
// subroutine) goes into the result's register, then the jump.
int gen_jsr(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* d = &o->r[0];
    int r = _get_wt_int_oprnd(cg, d, 1, 0);
    window w;
    window_close(cg, &w);
    _gen_move_gr_i4(cg, gid(r), (s4)UNRESOLVED_TARGET);
    u1* imm = cg->code - 4;
    _assoc_int_oprnd(cg, d, r, 0, 0);
    _free_int_reg(cg, r, 0, 0, 0);
    bbattr* bb = cg->bbtable[cg->cur_bb];
    u4 target = q->target;
    // The register state is handed to the subroutine as at any jump.
    gen_jmp_and_patch(cg, COND_ALWAYS, target, (u4)cg->cur_bb, -1, 0);
    cg_close_window(cg);
    if (cg->pass == CG_PASS_WRITE)
        cg_write32(imm, (u4)(uintptr_t)cg->code);
    (void)bb;
    window_reopen(cg, &w);
    return 0;
}
