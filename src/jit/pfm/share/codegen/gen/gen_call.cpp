// Invocation quadruples: the copies of incoming register arguments into
// their locals, the outgoing argument copies, the call of each invocation
// kind, the binding of the result, and the loads and compares that guard a
// devirtualized call.
//
// Convention of compiled code: integer-class argument words 0, 1, 2 travel
// in eax, edx, ecx; every other word (and every float or double) lies in the
// caller's outgoing-argument slot of its position, the last one at [esp] at
// the call.  eax, edx and ecx do not survive a call; the callee keeps ebx,
// ebp, esi and edi; the x87 stack is empty at the call (the result comes back
// in st(0)).  Before the call instruction every other value leaves the
// argument registers and the x87 stack (to a callee-saved register or its
// home), and after it the register manager forgets the argument registers.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "codegen/gen/gen_arith.h"
#include "codegen/glue/gen_callsite.h"
#include "codegen/gen/gen_invoke.h"
#include "codegen/glue/gen_resolve.h"
#include "codegen/regman/reg_manager.h"
#include "driver/driver.h"
#include "frontend/frontend.h"

// Neighbours absent from the code generator's own test binaries.
#pragma weak get_method_name_sig_and_clname

namespace {

constexpr u4 KILL_REGS = 0x07;            // eax, edx, ecx (manager bits)
constexpr u4 CALLEE_SAVED = 0x78;         // ebx, ebp, esi, edi
constexpr u4 NULLCHECK_SITE_ATTR = 0x10000088u;   // a load whose fault is a NullPointerException
constexpr u4 FRAME_LOAD_ATTR = 66;
constexpr u4 THROW_NULL_POINTER = 0xE000000Du;

// Invocation kinds (the sub-code of a call quadruple).
constexpr int IK_STATIC = 1, IK_STATIC_QUICK = 2, IK_SPECIAL = 3, IK_DIRECT = 4, IK_SUPER = 5,
              IK_VIRTUAL = 6, IK_VIRTUAL_MB = 7, IK_VIRTUAL_QUICK = 8, IK_OBJECT = 9, IK_INTERFACE = 10,
              IK_INTERFACE_QUICK = 11;

bool is_int_class(const reg_operand* op) { return op->type != 'F' && op->type != 'D'; }
bool is_target(const reg_operand* op) { return op->kind == OPND_LOCAL; }

[[noreturn]] void fatal(const char* format, int value)
{
    fprintf(stderr, format, value);
    exit(-1);
}

s4 imm_value(const reg_operand* op)
{
    if (op->kind == OPND_XCONST || op->kind == OPND_YCONST)
        return *reinterpret_cast<const s4*>((uintptr_t)op->value);
    return (s4)op->value;
}

// A temporary of `mask` holding the source's value.
int value_in(codegen_context* cg, const reg_operand* src, quadruple** slot, u4 mask)
{
    if (src->kind == OPND_ADDR) {
        int t = gi_alloc(cg, mask, 0);
        gen_move_gr_mem(cg, gid(t), 0, 0, 0, (s4)src->value, SIZE_DWORD, FRAME_LOAD_ATTR);
        return t;
    }
    if (src->kind == OPND_XCONST || src->kind == OPND_YCONST) {
        int t = gi_alloc(cg, mask, 0);
        gen_move_gr_i4(cg, gid(t), imm_value(src));
        return t;
    }
    return gi_copy(cg, src, slot, mask, 0);
}

// One integer word of an outgoing argument.
void copy_int_argument(codegen_context* cg, const reg_operand* arg, reg_operand* src, quadruple** slot)
{
    if (arg->kind != OPND_ARG || src->kind == OPND_NONE)
        return;
    if (arg->value >= 3 && src->kind == OPND_CONST) {
        gen_move_stack_ival(cg, arg->aux, (s4)src->value);
        return;
    }
    u4 mask = arg->value < 3 ? 1u << arg->value : RM_ALL_INT;
    int t = value_in(cg, src, slot, mask);
    gi_done(cg, src, -1);
    // Bound, the argument stays in its register until the call (a word
    // beyond the third is stored into its slot at once).
    _assoc_int_oprnd(cg, arg, t, 0, 0);
}

void copy_fp_argument(codegen_context* cg, const reg_operand* arg, reg_operand* src)
{
    s4 c = _get_wt_fp_oprnd(cg, src);
    s4 top = fp_top(cg) - 1;
    if (c != top)
        rm_exchange_fregs(cg, c, top);
    gen_move_stack_freg0(cg, arg->aux, top, arg->type == 'D', 1);
    _free_fp_reg(cg, top, 0);
    invalidate_if_lastuse(cg, src);
}

// Registers that carry this call's integer argument words 0..2.
u4 argument_registers(const cg_operands* o)
{
    u4 mask = 0;
    for (int i = 0; i < o->list_n; i++) {
        const reg_operand* op = &o->list[i];
        if (op->kind == OPND_ARG && is_int_class(op) && op->value < 3)
            mask |= 1u << op->value;
    }
    return mask;
}

// Everything but the argument words leaves eax, edx, ecx and the x87 stack.
void clear_for_call(codegen_context* cg, const cg_operands* o)
{
    u4 args = argument_registers(o);
    _flush_int_regs(cg, KILL_REGS & ~args, KILL_REGS, 1, 0);
    _flush_all_fp_regs(cg, 1);
}

// After the call: the argument words are consumed and eax, edx, ecx hold
// nothing the manager knows.
void after_call(codegen_context* cg, const cg_operands* o)
{
    for (int i = 0; i < o->list_n; i++)
        if (o->list[i].kind == OPND_ARG && is_int_class(&o->list[i]))
            pop_int_oprnd(cg, &o->list[i]);
    for (int r = 0; r < 3; r++)
        _free_int_reg(cg, r, 1, 1 << r, 0);
}

// The call's first list entry: the method table or method block a virtual
// call goes through.
reg_operand* call_target(cg_operands* o)
{
    if (o->list_n > 0 && is_target(&o->list[0]))
        return &o->list[0];
    cg_service_missing("the method table or method block of a virtual call");
}

// The target's register among ebx, ebp, esi, edi (never an argument register).
int target_register(codegen_context* cg, reg_operand* target)
{
    return _set_rd_int_oprnd(cg, target, CALLEE_SAVED, KILL_REGS, 0);
}

int scratch_register(codegen_context* cg, int keep)
{
    return _alloc_int_reg(cg, CALLEE_SAVED & ~rbit(keep), (int)(KILL_REGS | rbit(keep)));
}

methodblock* context_method(codegen_context* cg, const quadruple* q)
{
    auto* mb = reinterpret_cast<methodblock*>((uintptr_t)q->context);
    return mb != nullptr ? mb : cg->mb;
}

// The address of the guess byte an interface site shares with the
// interpreter: byte 4 of the invokeinterface instruction.
u4 interface_guess_address(codegen_context* cg, const quadruple* q)
{
    methodblock* mb = context_method(cg, q);
    u4 pc = q->src2.value & 0xFFFF;
    if (mb->code == nullptr || pc + 4 >= mb->code_length)
        cg_service_missing("the guess byte of an interface call");
    return (u4)(uintptr_t)(mb->code + pc + 4);
}

struct window_guard {
    int reopen;
};
window_guard close(codegen_context* cg)
{
    int open = (cg->flags & (CG_SCHED_OFF | CG_SCHED_WINDOW_OPEN)) == CG_SCHED_WINDOW_OPEN;
    if (open)
        cg_close_window(cg);
    return {open};
}
void reopen(codegen_context* cg, window_guard g)
{
    if (g.reopen)
        cg_open_window(cg);
}

void direct_call(codegen_context* cg, methodblock* m) { gen_invokestatic_quick_core(cg, m, 0, INVOKE_SITE_COMPILED); }

} // namespace

// ---------------------------------------------------------------------------
// Incoming and outgoing arguments
// ---------------------------------------------------------------------------
static void bind_parameter(codegen_context* cg, const reg_operand* local, const reg_operand* param)
{
    if (local->kind != OPND_LOCAL || param->kind != OPND_ARG || param->value > 2)
        return;
    int r = _alloc_int_reg(cg, 1u << param->value, 0);
    if (r != (int)param->value)
        cg_service_missing("argument register of a parameter");
    // Dirty: the caller left the value in the register only.
    _assoc_int_oprnd(cg, local, r, 0, 0);
    _free_int_reg(cg, r, 0, 0, 0);
}

int gen_localcopy(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    bind_parameter(cg, &o->r[0], &o->r[2]);
    if ((*slot)->opcode == OPC_LLOCALCOPY)
        bind_parameter(cg, &o->r[1], &o->r[3]);
    return 0;
}

int gen_argcopy(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    switch ((*slot)->opcode) {
    case OPC_FARGCOPY:
    case OPC_DARGCOPY:
        copy_fp_argument(cg, &o->r[0], &o->r[2]);
        break;
    case OPC_LARGCOPY:
        copy_int_argument(cg, &o->r[1], &o->r[3], slot);
        copy_int_argument(cg, &o->r[0], &o->r[2], slot);
        break;
    default:
        copy_int_argument(cg, &o->r[0], &o->r[2], slot);
        break;
    }
    return 0;
}

int set_return_register(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    switch ((*slot)->opcode) {
    case OPC_ICALL:
    case OPC_ACALL:
        if (o->r[0].kind != OPND_NONE)
            gi_bind(cg, &o->r[0], _alloc_int_reg(cg, 0x01, 0));
        break;
    case OPC_LCALL: {
        int lo = _alloc_int_reg(cg, 0x01, 0);
        int hi = _alloc_int_reg(cg, 0x02, 0);
        if (o->r[0].kind != OPND_NONE)
            _assoc_int_oprnd(cg, &o->r[0], lo, 0, 0);
        if (o->r[1].kind != OPND_NONE)
            _assoc_int_oprnd(cg, &o->r[1], hi, 0, 0);
        _free_int_reg(cg, lo, 0, 0, 0);
        _free_int_reg(cg, hi, 0, 0, 0);
        break;
    }
    case OPC_FCALL:
    case OPC_DCALL:
        if (o->r[0].kind == OPND_NONE)
            gen_pop_fr(cg);   // fstp st(0): the result nobody reads
        restore_spilled_fp_regs(cg, 0, 1);
        if (o->r[0].kind != OPND_NONE)
            alloc_and_assoc_fp_stack_top_oprnd(cg, &o->r[0]);
        break;
    default:
        break;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Calls
// ---------------------------------------------------------------------------
int gen_normal_invoke(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    window_guard w = close(cg);
    int kind = q->subcode & QS_KIND_MASK;
    methodblock* context = context_method(cg, q);
    u4 index = q->op;
    clear_for_call(cg, o);
    switch (kind) {
    case IK_STATIC: {
        const char *name = nullptr, *sig = nullptr, *cls = nullptr;
        if (&get_method_name_sig_and_clname != nullptr)
            get_method_name_sig_and_clname(context->clazz, index, cg->m, 0, &name, &sig, &cls);
        if (cls != nullptr && (strcmp(cls, "java/lang/StrictMath") == 0 || strcmp(cls, "java/lang/Math") == 0) &&
            gen_special_JNI_math_call(cg, cls, name, sig))
            break;
        gen_invokestatic_quick_core(cg, nullptr, index | INVOKE_INDEX_STATIC, INVOKE_SITE_UNRESOLVED);
        break;
    }
    case IK_SPECIAL:
        gen_invokestatic_quick_core(cg, nullptr, index, INVOKE_SITE_UNRESOLVED);
        break;
    case IK_VIRTUAL: {
        int base = target_register(cg, call_target(o));
        int dest = scratch_register(cg, base);
        gen_invokevirtual_quick_core(cg, gid(base), gid(dest), index, (u4)(uintptr_t)context, VOBJ_UNRESOLVED);
        _free_int_reg(cg, dest, 0, 0, 0);
        _free_int_reg(cg, base, 0, 0, 0);
        break;
    }
    case IK_INTERFACE: {
        // The run-time stub takes the constant pool in ebx and the index in edi.
        _flush_int_regs(cg, 0x08 | 0x40, KILL_REGS | 0x08 | 0x40, 1, 0);
        gen_invokeinterface_core(cg, (q->count >> 8) & 0xFF, index, context);
        break;
    }
    default:
        fatal("Incorrent normal INVOKE : op=%d !!\n", kind);
    }
    after_call(cg, o);
    reopen(cg, w);
    return 0;
}

int gen_optimized_invoke(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    int kind = q->subcode & QS_KIND_MASK;
    auto* m = reinterpret_cast<methodblock*>((uintptr_t)q->value);
    if (kind == 0 || kind > IK_INTERFACE_QUICK)
        fatal("Incorrect optimized INVOKE : op=%d !!\n", kind);
    if (m == nullptr)
        cg_service_missing("the method block of a resolved call");
    window_guard w = close(cg);
    clear_for_call(cg, o);
    switch (kind) {
    case IK_STATIC:
    case IK_STATIC_QUICK:
        direct_call(cg, m);
        break;
    case IK_SPECIAL: {
        classblock* caller = context_method(cg, q)->clazz;
        if (vm.isSpecialSuperCall != nullptr && caller != nullptr && caller->superclass != nullptr &&
            vm.isSpecialSuperCall(caller, m)) {
            methodblock* super = caller->superclass->methodtable->methods[m->slot];
            if (super != m) {
                direct_call(cg, super);
                break;
            }
        }
        if (!gen_intrinsic_invoke(cg, m))
            direct_call(cg, m);
        break;
    }
    case IK_DIRECT:
        if (!gen_intrinsic_invoke(cg, m))
            direct_call(cg, m);
        break;
    case IK_SUPER:
        if (m->clazz != nullptr && !(m->clazz->state & CS_INITIALIZED))
            _gen_execute_static_initializer(cg, m->clazz);
        direct_call(cg, m);
        break;
    case IK_VIRTUAL:
    case IK_VIRTUAL_MB:
    case IK_VIRTUAL_QUICK: {
        int base = target_register(cg, call_target(o));
        gen_invokevirtual_quick_core(cg, 0, gid(base), 0, 0, 0);
        _free_int_reg(cg, base, 0, 0, 0);
        break;
    }
    case IK_OBJECT: {
        int base = target_register(cg, call_target(o));
        int scratch = scratch_register(cg, base);
        gen_invokevirtualobject_quick_core(cg, gid(base), gid(scratch), m, VOBJ_OUT_OF_LINE);
        _free_int_reg(cg, scratch, 0, 0, 0);
        _free_int_reg(cg, base, 0, 0, 0);
        break;
    }
    case IK_INTERFACE:
    case IK_INTERFACE_QUICK: {
        u4 free_mask = CALLEE_SAVED & ~CUR(cg)->imask[RS_BUSY];
        if (__builtin_popcount(free_mask) < 2) {
            // Two callee-saved registers for the dispatch: vacate them.
            _flush_int_regs(cg, CALLEE_SAVED, KILL_REGS, 1, 0);
            free_mask = CALLEE_SAVED & ~CUR(cg)->imask[RS_BUSY];
        }
        gen_fast_invokeinterface(cg, m, interface_guess_address(cg, q), free_mask);
        break;
    }
    default:
        fatal("Incorrect optimized INVOKE : op=%d !!\n", kind);
    }
    after_call(cg, o);
    reopen(cg, w);
    return 0;
}

// ---------------------------------------------------------------------------
// Null checks and the guards of devirtualized calls
// ---------------------------------------------------------------------------
static void gen_explicit_nullpointer_check_at(codegen_context* cg, u4 reg)
{
    gen_cmp_gr_xmm(cg, reg, reg, 0, 0, 0, SIZE_DWORD, NULLCHECK_SITE_ATTR);
}

int gen_explicit_nullpointer_check(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    int r = gi_read(cg, &o->r[2], slot, RM_ALL_INT, 0);
    gen_explicit_nullpointer_check_at(cg, gid(r));
    _free_int_reg(cg, r, 0, 0, 0);
    return 0;
}

static u4 load_attr(const quadruple* q)
{
    return (q->src2.value & 0xF000) == 0xF000 ? FRAME_LOAD_ATTR : NULLCHECK_SITE_ATTR;
}

int gen_load_methodtable(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* d = &o->r[0];
    reg_operand* recv = &o->r[2];
    if (op_is_imm(recv)) {
        _gen_test_and_throw_exception(cg, COND_ALWAYS, 0, 0, 0, 0, 0, THROW_NULL_POINTER, cg->mb, 0);
        return 0;
    }
    if (memop_is_defined(cg, d))
        return 0;
    int r = gi_read(cg, recv, slot, RM_ALL_INT, 0);
    int t = gi_alloc(cg, RM_ALL_INT, 0);
    gen_move_gr_mem(cg, gid(t), gid(r), 0, 0, 0, SIZE_DWORD, load_attr(q));
    gi_done(cg, recv, r);
    gi_bind(cg, d, t);
    return 0;
}

int gen_load_methodblock(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* d = &o->r[0];
    reg_operand* mt = &o->r[2];
    if (memop_is_defined(cg, d))
        return 0;
    int r = gi_read(cg, mt, slot, RM_ALL_INT, 0);
    int t = gi_alloc(cg, RM_ALL_INT, 0);
    gen_move_gr_mem(cg, gid(t), gid(r), 0, 0, (s4)(4 + 4 * (u4)q->src2.number), SIZE_DWORD, FRAME_LOAD_ATTR);
    gi_done(cg, mt, r);
    gi_bind(cg, d, t);
    return 0;
}

// cmp x, expected: the guard's expected method block (or method table) is
// the quadruple's third word.
static void compare_expected(codegen_context* cg, quadruple** slot, reg_operand* x)
{
    s4 expected = (s4)(*slot)->second;
    int r = gi_read(cg, x, slot, RM_ALL_INT, 0);
    gen_cmp_gr_i4(cg, gid(r), expected);
    gi_done(cg, x, r);
}

int gen_methodblockcheck(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    compare_expected(cg, slot, &o->r[2]);
    return 0;
}

int gen_mtaddresscheck(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    compare_expected(cg, slot, &o->r[2]);
    return 0;
}
