// The interpreter: vm_interpret and its dispatch loop.
//
// Entered only from the assembly entries (invokers, selectors and the
// activations vm_call_java starts through them) with an activation record
// whose registration, R_act and T are linked.  One run of the loop executes
// every interpreted frame of the activation: an invoke of a method that is
// interpreted too pushes a frame and continues here; compiled, replaced and
// abstract callees go out through their invoker (vm_callout); natives run
// through the JNI path of interp_invoke.cpp.
//
// Rules the loop keeps:
//  - frame->lastpc is the address of the instruction being executed, stored
//    before anything that can throw, call out or walk the stack;
//  - before a call-out the operand-stack pointer (below the arguments) is
//    in frame->saved_sp, and after it the loop reloads its state from the
//    current frame (EE+8), as it does after a restart;
//  - nothing faults by design: null references, array bounds, division by
//    zero, MIN / -1, casts and stack room are checked explicitly;
//  - float and double arithmetic is SSE (strict IEEE single and double);
//    f2i, d2i, f2l and d2l saturate and send NaN to 0;
//  - two-word values occupy slots w (HIGH half) and w+1 (LOW half).
//
// Exceptions raised here (4.5 messages) are searched in the current frame's
// private exception table, then in its callers within the activation; an
// exception not caught by the activation's first frame returns to the entry
// with the exception pending.  A raise from compiled code that one of this
// activation's frames catches comes back through the catch point
// (vm_catch_point) as a second return of vm_interpret.
#include <climits>
#include <cmath>
#include <cstring>

#include "interp.h"

namespace {

inline u2 rd_u2(const u1* p) { return static_cast<u2>((p[0] << 8) | p[1]); }
inline s4 rd_s2(const u1* p) { return static_cast<int16_t>(rd_u2(p)); }
inline s4 rd_s4(const u1* p)
{
    return static_cast<s4>((static_cast<u4>(p[0]) << 24) | (static_cast<u4>(p[1]) << 16)
                           | (static_cast<u4>(p[2]) << 8) | p[3]);
}

inline float as_float(u4 w)
{
    float f;
    std::memcpy(&f, &w, 4);
    return f;
}
inline u4 float_bits(float f)
{
    u4 w;
    std::memcpy(&w, &f, 4);
    return w;
}
inline double as_double(u8 b)
{
    double d;
    std::memcpy(&d, &b, 8);
    return d;
}
inline u8 double_bits(double d)
{
    u8 b;
    std::memcpy(&b, &d, 8);
    return b;
}

// Java's saturating conversions.
inline s4 java_f2i(float f)
{
    if (f != f) return 0;
    if (f >= 2147483648.0f) return INT_MAX;
    if (f <= -2147483648.0f) return INT_MIN;
    return static_cast<s4>(f);
}
inline s4 java_d2i(double d)
{
    if (d != d) return 0;
    if (d >= 2147483648.0) return INT_MAX;
    if (d <= -2147483648.0) return INT_MIN;
    return static_cast<s4>(d);
}
inline s8 java_f2l(float f)
{
    if (f != f) return 0;
    if (f >= 9223372036854775808.0f) return LLONG_MAX;
    if (f <= -9223372036854775808.0f) return LLONG_MIN;
    return static_cast<s8>(f);
}
inline s8 java_d2l(double d)
{
    if (d != d) return 0;
    if (d >= 9223372036854775808.0) return LLONG_MAX;
    if (d <= -9223372036854775808.0) return LLONG_MIN;
    return static_cast<s8>(d);
}

inline int fcmp(float a, float b, int nan)
{
    if (a > b) return 1;
    if (a == b) return 0;
    if (a < b) return -1;
    return nan;
}
inline int dcmp(double a, double b, int nan)
{
    if (a > b) return 1;
    if (a == b) return 0;
    if (a < b) return -1;
    return nan;
}

int return_code(char kind)
{
    switch (kind) {
    case 'V': return RK_VOID;
    case 'F': return RK_FLOAT;
    case 'D': return RK_DOUBLE;
    case 'J': return RK_LONG;
    default: return 'I';
    }
}

// Length of the invoke at pc (an invoke the frame is returning from).
VM_INTERP_TEXT u4 invoke_length(EE* ee, const u1* pc)
{
    u1 op = __atomic_load_n(pc, __ATOMIC_ACQUIRE);
    if (op == OPC_REWRITING) {
        vm_wait_rewrite(ee);
        op = __atomic_load_n(pc, __ATOMIC_ACQUIRE);
    }
    return (op == OPC_INVOKEINTERFACE || op == OPC_INVOKEINTERFACE_QUICK) ? 5 : 3;
}

// Field value transfer by signature character; every narrow field takes a
// 4-byte slot, long and double 8 bytes read and written as one access.
inline void push_field(u4*& sp, const void* addr, char sig)
{
    if (sig == 'J' || sig == 'D') {
        u8 v = __atomic_load_n(static_cast<const u8*>(addr), __ATOMIC_RELAXED);
        sp[0] = static_cast<u4>(v >> 32);
        sp[1] = static_cast<u4>(v);
        sp += 2;
    } else {
        *sp++ = *static_cast<const u4*>(addr);
    }
}
inline void pop_field(u4*& sp, void* addr, char sig)
{
    switch (sig) {
    case 'J':
    case 'D': {
        sp -= 2;
        u8 v = (static_cast<u8>(sp[0]) << 32) | sp[1];
        __atomic_store_n(static_cast<u8*>(addr), v, __ATOMIC_RELAXED);
        return;
    }
    case 'Z': *static_cast<u4*>(addr) = *--sp & 1; return;
    case 'B': *static_cast<s4*>(addr) = static_cast<int8_t>(*--sp); return;
    case 'C': *static_cast<u4*>(addr) = *--sp & 0xFFFF; return;
    case 'S': *static_cast<s4*>(addr) = static_cast<int16_t>(*--sp); return;
    default: *static_cast<u4*>(addr) = *--sp; return;
    }
}
inline u4 field_slots(const fieldblock* fb)
{
    return (fb->signature[0] == 'J' || fb->signature[0] == 'D') ? 2 : 1;
}
inline void* static_address(fieldblock* fb)
{
    return field_slots(fb) == 2 ? reinterpret_cast<void*>(fb->value) : static_cast<void*>(&fb->value);
}

inline void push_result(u4*& sp, const JValue& r, char kind)
{
    switch (kind) {
    case 'V':
        break;
    case 'J':
    case 'D':
        sp[0] = r.w[1];
        sp[1] = r.w[0];
        sp += 2;
        break;
    default:
        *sp++ = r.u;
        break;
    }
}

VM_INTERP_TEXT void throw_index(EE* ee, s4 index)
{
    vm_throwf(ee, "java/lang/ArrayIndexOutOfBoundsException", "%d", index);
}

VM_INTERP_TEXT void throw_class_cast(EE* ee, jref o)
{
    char buf[256];
    if (vm_is_array(o))
        std::strcpy(buf, "java.lang.Object");
    else
        vm_class_name_dotted(vm_class_of(o), buf, sizeof buf);
    vm_throw(ee, "java/lang/ClassCastException", buf);
}

VM_INTERP_TEXT void throw_final_field(EE* ee, fieldblock* fb)
{
    char buf[256];
    vm_class_name_dotted(fb->clazz, buf, sizeof buf);
    vm_throwf(ee, "java/lang/IllegalAccessError", "%s: field %s is final", buf, fb->name);
}

VM_INTERP_TEXT void throw_instantiation(EE* ee, classblock* cb)
{
    char buf[256];
    vm_class_name_dotted(cb, buf, sizeof buf);
    vm_throw(ee, "java/lang/InstantiationError", buf);
}

// multianewarray: the lengths are the top `dims` operand slots, outermost
// first.  Out of line, so that its length array does not sit in the loop's
// frame.
VM_INTERP_TEXT jref multi_array(EE* ee, classblock* cb, u4 dims, const u4* lengths)
{
    s4 lens[256];
    for (u4 i = 0; i < dims; ++i) {
        lens[i] = static_cast<s4>(lengths[i]);
        if (lens[i] < 0) {
            vm_throw(ee, "java/lang/NegativeArraySizeException", nullptr);
            return nullptr;
        }
    }
    return vm_new_multi_array(ee, cb, static_cast<int>(dims), lens);
}

// Quickening of the instruction at pc (opcode op) after its operand was
// resolved; nothing happens when the form is not available now.
VM_INTERP_TEXT void quicken(EE* ee, u1* pc, u1 op, u2 index, u4 resolved, classblock* caller, u1 guess)
{
    vm_quick_rewrite rw;
    if (vm_quick_form(op, index, resolved, caller, guess, &rw))
        vm_quicken_at(ee, pc, op, &rw);
}

VM_INTERP_TEXT u4 interp_run(vm_activation* act, int how);

}  // namespace

extern "C" VM_INTERP_TEXT u4 vm_interpret(vm_activation* act)
{
    int how = vm_catch_point(&act->reg.next);
    if (how == 0)
        act->reg.resume = act->reg.save_esp;
    return interp_run(act, how);
}

namespace {

#define LOAD_FRAME()                                                                     \
    do {                                                                                 \
        mb = frame->method;                                                              \
        locals = frame->locals;                                                          \
        cp = frame->constant_pool;                                                       \
    } while (0)
#define NEXT(n)                                                                          \
    {                                                                                    \
        pc += (n);                                                                       \
        continue;                                                                        \
    }
#define THROW(cls, msg)                                                                  \
    do {                                                                                 \
        vm_throw(ee, cls, msg);                                                          \
        goto exception;                                                                  \
    } while (0)
#define NPE() THROW("java/lang/NullPointerException", nullptr)
#define NULL_CHECK(o)                                                                    \
    if (!(o))                                                                            \
    NPE()
#define POPL() (sp -= 2, (static_cast<u8>(sp[0]) << 32) | sp[1])
#define PUSHL(v)                                                                         \
    do {                                                                                 \
        u8 v_ = (v);                                                                     \
        sp[0] = static_cast<u4>(v_ >> 32);                                               \
        sp[1] = static_cast<u4>(v_);                                                     \
        sp += 2;                                                                         \
    } while (0)
#define POPF() as_float(*--sp)
#define PUSHF(f) (*sp++ = float_bits(f))
#define POPD() as_double(POPL())
#define PUSHD(d) PUSHL(double_bits(d))
// Array element access after the null and bounds checks.
#define ARRAY_AT(T, arr, idx) (vm_array_elems<T>(arr)[idx])
#define ARRAY_CHECK(arr, idx)                                                            \
    do {                                                                                 \
        if (!(arr))                                                                      \
            NPE();                                                                       \
        if (static_cast<u4>(idx) >= static_cast<u4>(vm_array_length(arr))) {             \
            throw_index(ee, idx);                                                        \
            goto exception;                                                              \
        }                                                                                \
    } while (0)
#define ARRAY_LOAD(T)                                                                    \
    {                                                                                    \
        s4 i_ = static_cast<s4>(sp[-1]);                                                 \
        jref a_ = reinterpret_cast<jref>(sp[-2]);                                        \
        ARRAY_CHECK(a_, i_);                                                             \
        sp[-2] = static_cast<u4>(static_cast<s4>(ARRAY_AT(T, a_, i_)));                  \
        sp--;                                                                            \
        NEXT(1);                                                                         \
    }
#define ARRAY_STORE(T)                                                                   \
    {                                                                                    \
        s4 i_ = static_cast<s4>(sp[-2]);                                                 \
        jref a_ = reinterpret_cast<jref>(sp[-3]);                                        \
        ARRAY_CHECK(a_, i_);                                                             \
        ARRAY_AT(T, a_, i_) = static_cast<T>(sp[-1]);                                    \
        sp -= 3;                                                                         \
        NEXT(1);                                                                         \
    }
#define IBINOP(expr)                                                                     \
    {                                                                                    \
        s4 b = static_cast<s4>(sp[-1]);                                                  \
        s4 a = static_cast<s4>(sp[-2]);                                                  \
        sp[-2] = static_cast<u4>(expr);                                                  \
        sp--;                                                                            \
        NEXT(1);                                                                         \
    }
#define LBINOP(expr)                                                                     \
    {                                                                                    \
        s8 b = static_cast<s8>(POPL());                                                  \
        s8 a = static_cast<s8>(POPL());                                                  \
        PUSHL(static_cast<u8>(expr));                                                    \
        NEXT(1);                                                                         \
    }
#define FBINOP(expr)                                                                     \
    {                                                                                    \
        float b = POPF();                                                                \
        float a = POPF();                                                                \
        PUSHF(expr);                                                                     \
        NEXT(1);                                                                         \
    }
#define DBINOP(expr)                                                                     \
    {                                                                                    \
        double b = POPD();                                                               \
        double a = POPD();                                                               \
        PUSHD(expr);                                                                     \
        NEXT(1);                                                                         \
    }
// A taken branch; a backward one goes through the transfer offer.
#define BRANCH(off)                                                                      \
    {                                                                                    \
        s4 off_ = (off);                                                                 \
        if (off_ <= 0) {                                                                 \
            boff = off_;                                                                 \
            goto backward;                                                               \
        }                                                                                \
        NEXT(off_);                                                                      \
    }
#define IF_CMP(cond)                                                                     \
    {                                                                                    \
        s4 b = static_cast<s4>(sp[-1]);                                                  \
        s4 a = static_cast<s4>(sp[-2]);                                                  \
        sp -= 2;                                                                         \
        if (cond)                                                                        \
            BRANCH(rd_s2(pc + 1));                                                       \
        NEXT(3);                                                                         \
    }
#define IF_ZERO(cond)                                                                    \
    {                                                                                    \
        s4 a = static_cast<s4>(*--sp);                                                   \
        if (cond)                                                                        \
            BRANCH(rd_s2(pc + 1));                                                       \
        NEXT(3);                                                                         \
    }

VM_INTERP_TEXT u4 interp_run(vm_activation* act, int how)
{
    EE* ee = act->reg.ee;
    JavaFrame* frame;
    methodblock* mb;
    u4* locals;
    u4* cp;
    u4* sp;
    u1* pc;
    // The invoke in progress (set before `goto invoke`).
    methodblock* callee = nullptr;
    u4 ilen = 3;
    // The value a return instruction hands to the caller.
    JValue rv;
    rv.j = 0;
    // The offset of a taken backward branch (set before `goto backward`).
    s4 boff = 0;

    if (how != 0) {
        // Second return of the catch point: a frame of this activation
        // catches a raise from compiled code.  orva_mmipExceptionMethodHandler
        // made that frame current and left the handler in the activation.
        frame = ee->current_frame;
        ee->mode = EE_MODE_INTERPRETER;
        jref exc = reinterpret_cast<jref>(act->exc_object);
        vm_clear_pending(ee);
        vm_reprotect_yellow_zone(ee);
        LOAD_FRAME();
        sp = frame->optop_base;
        *sp++ = reinterpret_cast<u4>(exc);
        pc = act->handler_pc;
        ee->jstack_top = reinterpret_cast<u4>(frame->optop_base + mb->maxstack);
        goto next;
    }

    {
        methodblock* target = act_method(act);
        u4 entry = act_entry(act);
        if (entry == ENTRY_ABSTRACT
            || (target->access & (ACC_ABSTRACT | ACC_COMPILED)) == ACC_ABSTRACT) {
            vm_throw(ee, "java/lang/AbstractMethodError", target->name);
            return INTERP_EXCEPTION;
        }
        if (entry == ENTRY_SELECT && vm_selector_rule(ee, act, target))
            return INTERP_TAIL_CALL;
        // The caller's argument words (word 0 highest) become locals on the
        // Java stack.
        u4 n = act_nargs(act);
        const u4* argw = reinterpret_cast<const u4*>(act_args(act));
        u4* base = reinterpret_cast<u4*>(ee->jstack_top);
        if (reinterpret_cast<u4>(base + n) + JF_SIZE + VM_JSTACK_SLACK > ee->jstack_limit) {
            vm_throw_stack_overflow(ee);
            return INTERP_EXCEPTION;
        }
        for (u4 i = 0; i < n; ++i)
            base[i] = *(argw - i);
        JavaFrame* caller = ee->current_frame;
        if (target->access & ACC_NATIVE) {
            act->entry_flags |= ACTF_NATIVE_ONLY;
            JValue r;
            int ok = vm_native_invoke(ee, act, target, base, &r, true);
            act_set_result(act, r);
            return ok ? INTERP_RETURNED : INTERP_EXCEPTION;
        }
        frame = vm_push_frame(ee, act, target, base, caller);
        if (!frame)
            return INTERP_EXCEPTION;
        vm_set_first_frame_links(ee, frame, caller, act->ract.prev);
        act->first_frame = frame;
        if (target->access & ACC_SYNCHRONIZED)
            vm_enter_method_monitor(ee, frame);
        LOAD_FRAME();
        sp = frame->optop_base;
        pc = mb->code;
    }

next:
    for (;;) {
        frame->lastpc = pc;
        // One read of the opcode: another thread may quicken the instruction
        // at any moment, and a case must not see a second, different value.
        const u1 opcode = __atomic_load_n(pc, __ATOMIC_ACQUIRE);
        switch (opcode) {
        case OPC_NOP: NEXT(1);
        case OPC_ACONST_NULL: *sp++ = 0; NEXT(1);
        case OPC_ICONST_M1: case OPC_ICONST_0: case OPC_ICONST_1: case OPC_ICONST_2:
        case OPC_ICONST_3: case OPC_ICONST_4: case OPC_ICONST_5:
            *sp++ = static_cast<u4>(static_cast<s4>(opcode) - OPC_ICONST_0);
            NEXT(1);
        case OPC_LCONST_0: case OPC_LCONST_1:
            PUSHL(static_cast<u8>(opcode - OPC_LCONST_0));
            NEXT(1);
        case OPC_FCONST_0: case OPC_FCONST_1: case OPC_FCONST_2:
            PUSHF(static_cast<float>(opcode - OPC_FCONST_0));
            NEXT(1);
        case OPC_DCONST_0: case OPC_DCONST_1:
            PUSHD(static_cast<double>(opcode - OPC_DCONST_0));
            NEXT(1);
        case OPC_BIPUSH: *sp++ = static_cast<u4>(static_cast<s4>(static_cast<int8_t>(pc[1]))); NEXT(2);
        case OPC_SIPUSH: *sp++ = static_cast<u4>(rd_s2(pc + 1)); NEXT(3);

        case OPC_LDC:
        case OPC_LDC_W: {
            u1 op = opcode;
            u2 idx = op == OPC_LDC ? pc[1] : rd_u2(pc + 1);
            u1 tag = __atomic_load_n(&vm_cp_tags(cp)[idx], __ATOMIC_ACQUIRE);
            u4 value;
            if ((tag & CONSTANT_RESOLVED) || (tag & CONSTANT_TAG_MASK) == CONSTANT_Integer
                || (tag & CONSTANT_TAG_MASK) == CONSTANT_Float) {
                value = cp[idx];
            } else {
                value = vm_resolve_constant(ee, cp, idx, (1u << CONSTANT_String) | (1u << CONSTANT_Class));
                if (!value)
                    goto exception;
            }
            quicken(ee, pc, op, idx, value, mb->clazz, 0);
            *sp++ = value;
            NEXT(op == OPC_LDC ? 2 : 3);
        }
        case OPC_LDC2_W: {
            u2 idx = rd_u2(pc + 1);
            quicken(ee, pc, OPC_LDC2_W, idx, 0, mb->clazz, 0);
            sp[0] = cp[idx + 1];
            sp[1] = cp[idx];
            sp += 2;
            NEXT(3);
        }
        case OPC_LDC_QUICK: *sp++ = cp[pc[1]]; NEXT(2);
        case OPC_LDC_W_QUICK: *sp++ = cp[rd_u2(pc + 1)]; NEXT(3);
        case OPC_LDC2_W_QUICK: {
            u2 idx = rd_u2(pc + 1);
            sp[0] = cp[idx + 1];
            sp[1] = cp[idx];
            sp += 2;
            NEXT(3);
        }

        case OPC_ILOAD: case OPC_FLOAD: case OPC_ALOAD: *sp++ = locals[pc[1]]; NEXT(2);
        case OPC_LLOAD: case OPC_DLOAD:
            sp[0] = locals[pc[1]];
            sp[1] = locals[pc[1] + 1];
            sp += 2;
            NEXT(2);
        case OPC_ILOAD_0: case OPC_ILOAD_1: case OPC_ILOAD_2: case OPC_ILOAD_3:
            *sp++ = locals[opcode - OPC_ILOAD_0]; NEXT(1);
        case OPC_FLOAD_0: case OPC_FLOAD_1: case OPC_FLOAD_2: case OPC_FLOAD_3:
            *sp++ = locals[opcode - OPC_FLOAD_0]; NEXT(1);
        case OPC_ALOAD_0: case OPC_ALOAD_1: case OPC_ALOAD_2: case OPC_ALOAD_3:
            *sp++ = locals[opcode - OPC_ALOAD_0]; NEXT(1);
        case OPC_LLOAD_0: case OPC_LLOAD_1: case OPC_LLOAD_2: case OPC_LLOAD_3: {
            u4 i = opcode - OPC_LLOAD_0;
            sp[0] = locals[i];
            sp[1] = locals[i + 1];
            sp += 2;
            NEXT(1);
        }
        case OPC_DLOAD_0: case OPC_DLOAD_1: case OPC_DLOAD_2: case OPC_DLOAD_3: {
            u4 i = opcode - OPC_DLOAD_0;
            sp[0] = locals[i];
            sp[1] = locals[i + 1];
            sp += 2;
            NEXT(1);
        }

        case OPC_IALOAD: ARRAY_LOAD(s4)
        case OPC_FALOAD: ARRAY_LOAD(u4)
        case OPC_AALOAD: ARRAY_LOAD(u4)
        case OPC_BALOAD: ARRAY_LOAD(int8_t)
        case OPC_CALOAD: ARRAY_LOAD(u2)
        case OPC_SALOAD: ARRAY_LOAD(int16_t)
        case OPC_LALOAD:
        case OPC_DALOAD: {
            s4 i = static_cast<s4>(sp[-1]);
            jref a = reinterpret_cast<jref>(sp[-2]);
            ARRAY_CHECK(a, i);
            u8 v = ARRAY_AT(u8, a, i);
            sp -= 2;
            PUSHL(v);
            NEXT(1);
        }

        case OPC_ISTORE: case OPC_FSTORE: case OPC_ASTORE: locals[pc[1]] = *--sp; NEXT(2);
        case OPC_LSTORE: case OPC_DSTORE:
            sp -= 2;
            locals[pc[1]] = sp[0];
            locals[pc[1] + 1] = sp[1];
            NEXT(2);
        case OPC_ISTORE_0: case OPC_ISTORE_1: case OPC_ISTORE_2: case OPC_ISTORE_3:
            locals[opcode - OPC_ISTORE_0] = *--sp; NEXT(1);
        case OPC_FSTORE_0: case OPC_FSTORE_1: case OPC_FSTORE_2: case OPC_FSTORE_3:
            locals[opcode - OPC_FSTORE_0] = *--sp; NEXT(1);
        case OPC_ASTORE_0: case OPC_ASTORE_1: case OPC_ASTORE_2: case OPC_ASTORE_3:
            locals[opcode - OPC_ASTORE_0] = *--sp; NEXT(1);
        case OPC_LSTORE_0: case OPC_LSTORE_1: case OPC_LSTORE_2: case OPC_LSTORE_3: {
            u4 i = opcode - OPC_LSTORE_0;
            sp -= 2;
            locals[i] = sp[0];
            locals[i + 1] = sp[1];
            NEXT(1);
        }
        case OPC_DSTORE_0: case OPC_DSTORE_1: case OPC_DSTORE_2: case OPC_DSTORE_3: {
            u4 i = opcode - OPC_DSTORE_0;
            sp -= 2;
            locals[i] = sp[0];
            locals[i + 1] = sp[1];
            NEXT(1);
        }

        case OPC_IASTORE: ARRAY_STORE(s4)
        case OPC_FASTORE: ARRAY_STORE(u4)
        case OPC_CASTORE: ARRAY_STORE(u2)
        case OPC_SASTORE: ARRAY_STORE(int16_t)
        case OPC_BASTORE: {
            s4 i = static_cast<s4>(sp[-2]);
            jref a = reinterpret_cast<jref>(sp[-3]);
            ARRAY_CHECK(a, i);
            u1 v = static_cast<u1>(sp[-1]);
            if (vm_array_type(a) == T_BOOLEAN)
                v &= 1;
            ARRAY_AT(u1, a, i) = v;
            sp -= 3;
            NEXT(1);
        }
        case OPC_LASTORE:
        case OPC_DASTORE: {
            u8 v = POPL();
            s4 i = static_cast<s4>(sp[-1]);
            jref a = reinterpret_cast<jref>(sp[-2]);
            ARRAY_CHECK(a, i);
            ARRAY_AT(u8, a, i) = v;
            sp -= 2;
            NEXT(1);
        }
        case OPC_AASTORE: {
            jref v = reinterpret_cast<jref>(sp[-1]);
            s4 i = static_cast<s4>(sp[-2]);
            jref a = reinterpret_cast<jref>(sp[-3]);
            ARRAY_CHECK(a, i);
            if (v && !vm_is_instance_of(v, vm_array_element_class(a)))
                THROW("java/lang/ArrayStoreException", nullptr);
            ARRAY_AT(u4, a, i) = reinterpret_cast<u4>(v);
            sp -= 3;
            NEXT(1);
        }

        case OPC_POP: sp--; NEXT(1);
        case OPC_POP2: sp -= 2; NEXT(1);
        case OPC_DUP: sp[0] = sp[-1]; sp++; NEXT(1);
        case OPC_DUP_X1: {
            u4 v1 = sp[-1], v2 = sp[-2];
            sp[-2] = v1; sp[-1] = v2; sp[0] = v1;
            sp++;
            NEXT(1);
        }
        case OPC_DUP_X2: {
            u4 v1 = sp[-1], v2 = sp[-2], v3 = sp[-3];
            sp[-3] = v1; sp[-2] = v3; sp[-1] = v2; sp[0] = v1;
            sp++;
            NEXT(1);
        }
        case OPC_DUP2: sp[0] = sp[-2]; sp[1] = sp[-1]; sp += 2; NEXT(1);
        case OPC_DUP2_X1: {
            u4 v1 = sp[-1], v2 = sp[-2], v3 = sp[-3];
            sp[-3] = v2; sp[-2] = v1; sp[-1] = v3; sp[0] = v2; sp[1] = v1;
            sp += 2;
            NEXT(1);
        }
        case OPC_DUP2_X2: {
            u4 v1 = sp[-1], v2 = sp[-2], v3 = sp[-3], v4 = sp[-4];
            sp[-4] = v2; sp[-3] = v1; sp[-2] = v4; sp[-1] = v3; sp[0] = v2; sp[1] = v1;
            sp += 2;
            NEXT(1);
        }
        case OPC_SWAP: {
            u4 v = sp[-1];
            sp[-1] = sp[-2];
            sp[-2] = v;
            NEXT(1);
        }

        case OPC_IADD: IBINOP(static_cast<u4>(a) + static_cast<u4>(b))
        case OPC_ISUB: IBINOP(static_cast<u4>(a) - static_cast<u4>(b))
        case OPC_IMUL: IBINOP(static_cast<u4>(a) * static_cast<u4>(b))
        case OPC_IAND: IBINOP(a & b)
        case OPC_IOR: IBINOP(a | b)
        case OPC_IXOR: IBINOP(a ^ b)
        case OPC_ISHL: IBINOP(static_cast<u4>(a) << (b & 31))
        case OPC_ISHR: IBINOP(a >> (b & 31))
        case OPC_IUSHR: IBINOP(static_cast<u4>(a) >> (b & 31))
        case OPC_IDIV:
        case OPC_IREM: {
            s4 b = static_cast<s4>(sp[-1]);
            s4 a = static_cast<s4>(sp[-2]);
            if (b == 0)
                THROW("java/lang/ArithmeticException", "/ by zero");
            s4 r;
            if (b == -1)
                r = opcode == OPC_IDIV ? static_cast<s4>(0u - static_cast<u4>(a)) : 0;
            else
                r = opcode == OPC_IDIV ? a / b : a % b;
            sp[-2] = static_cast<u4>(r);
            sp--;
            NEXT(1);
        }
        case OPC_INEG: sp[-1] = 0u - sp[-1]; NEXT(1);

        case OPC_LADD: LBINOP(static_cast<u8>(a) + static_cast<u8>(b))
        case OPC_LSUB: LBINOP(static_cast<u8>(a) - static_cast<u8>(b))
        case OPC_LMUL: LBINOP(static_cast<u8>(a) * static_cast<u8>(b))
        case OPC_LAND: LBINOP(a & b)
        case OPC_LOR: LBINOP(a | b)
        case OPC_LXOR: LBINOP(a ^ b)
        case OPC_LDIV:
        case OPC_LREM: {
            s8 b = static_cast<s8>(POPL());
            s8 a = static_cast<s8>(POPL());
            if (b == 0)
                THROW("java/lang/ArithmeticException", "/ by zero");
            s8 r;
            if (b == -1)
                r = opcode == OPC_LDIV ? static_cast<s8>(0ull - static_cast<u8>(a)) : 0;
            else
                r = opcode == OPC_LDIV ? a / b : a % b;
            PUSHL(static_cast<u8>(r));
            NEXT(1);
        }
        case OPC_LNEG: {
            u8 v = POPL();
            PUSHL(0ull - v);
            NEXT(1);
        }
        case OPC_LSHL: {
            u4 s = *--sp & 63;
            u8 v = POPL();
            PUSHL(v << s);
            NEXT(1);
        }
        case OPC_LSHR: {
            u4 s = *--sp & 63;
            s8 v = static_cast<s8>(POPL());
            PUSHL(static_cast<u8>(v >> s));
            NEXT(1);
        }
        case OPC_LUSHR: {
            u4 s = *--sp & 63;
            u8 v = POPL();
            PUSHL(v >> s);
            NEXT(1);
        }

        case OPC_FADD: FBINOP(a + b)
        case OPC_FSUB: FBINOP(a - b)
        case OPC_FMUL: FBINOP(a * b)
        case OPC_FDIV: FBINOP(a / b)
        case OPC_FREM: FBINOP(std::fmod(a, b))
        case OPC_FNEG: sp[-1] ^= 0x80000000u; NEXT(1);
        case OPC_DADD: DBINOP(a + b)
        case OPC_DSUB: DBINOP(a - b)
        case OPC_DMUL: DBINOP(a * b)
        case OPC_DDIV: DBINOP(a / b)
        case OPC_DREM: DBINOP(std::fmod(a, b))
        case OPC_DNEG: sp[-2] ^= 0x80000000u; NEXT(1);

        case OPC_IINC: locals[pc[1]] += static_cast<u4>(static_cast<s4>(static_cast<int8_t>(pc[2]))); NEXT(3);

        case OPC_I2L: {
            s4 v = static_cast<s4>(*--sp);
            PUSHL(static_cast<u8>(static_cast<s8>(v)));
            NEXT(1);
        }
        case OPC_I2F: sp[-1] = float_bits(static_cast<float>(static_cast<s4>(sp[-1]))); NEXT(1);
        case OPC_I2D: {
            s4 v = static_cast<s4>(*--sp);
            PUSHD(static_cast<double>(v));
            NEXT(1);
        }
        case OPC_L2I: {
            u8 v = POPL();
            *sp++ = static_cast<u4>(v);
            NEXT(1);
        }
        case OPC_L2F: {
            s8 v = static_cast<s8>(POPL());
            PUSHF(static_cast<float>(v));
            NEXT(1);
        }
        case OPC_L2D: {
            s8 v = static_cast<s8>(POPL());
            PUSHD(static_cast<double>(v));
            NEXT(1);
        }
        case OPC_F2I: sp[-1] = static_cast<u4>(java_f2i(as_float(sp[-1]))); NEXT(1);
        case OPC_F2L: {
            float f = POPF();
            PUSHL(static_cast<u8>(java_f2l(f)));
            NEXT(1);
        }
        case OPC_F2D: {
            float f = POPF();
            PUSHD(static_cast<double>(f));
            NEXT(1);
        }
        case OPC_D2I: {
            double d = POPD();
            *sp++ = static_cast<u4>(java_d2i(d));
            NEXT(1);
        }
        case OPC_D2L: {
            double d = POPD();
            PUSHL(static_cast<u8>(java_d2l(d)));
            NEXT(1);
        }
        case OPC_D2F: {
            double d = POPD();
            PUSHF(static_cast<float>(d));
            NEXT(1);
        }
        case OPC_I2B: sp[-1] = static_cast<u4>(static_cast<s4>(static_cast<int8_t>(sp[-1]))); NEXT(1);
        case OPC_I2C: sp[-1] &= 0xFFFF; NEXT(1);
        case OPC_I2S: sp[-1] = static_cast<u4>(static_cast<s4>(static_cast<int16_t>(sp[-1]))); NEXT(1);

        case OPC_LCMP: {
            s8 b = static_cast<s8>(POPL());
            s8 a = static_cast<s8>(POPL());
            *sp++ = static_cast<u4>(a > b ? 1 : a == b ? 0 : -1);
            NEXT(1);
        }
        case OPC_FCMPL:
        case OPC_FCMPG: {
            float b = POPF();
            float a = POPF();
            *sp++ = static_cast<u4>(fcmp(a, b, opcode == OPC_FCMPL ? -1 : 1));
            NEXT(1);
        }
        case OPC_DCMPL:
        case OPC_DCMPG: {
            double b = POPD();
            double a = POPD();
            *sp++ = static_cast<u4>(dcmp(a, b, opcode == OPC_DCMPL ? -1 : 1));
            NEXT(1);
        }

        case OPC_IFEQ: IF_ZERO(a == 0)
        case OPC_IFNE: IF_ZERO(a != 0)
        case OPC_IFLT: IF_ZERO(a < 0)
        case OPC_IFGE: IF_ZERO(a >= 0)
        case OPC_IFGT: IF_ZERO(a > 0)
        case OPC_IFLE: IF_ZERO(a <= 0)
        case OPC_IF_ICMPEQ: IF_CMP(a == b)
        case OPC_IF_ICMPNE: IF_CMP(a != b)
        case OPC_IF_ICMPLT: IF_CMP(a < b)
        case OPC_IF_ICMPGE: IF_CMP(a >= b)
        case OPC_IF_ICMPGT: IF_CMP(a > b)
        case OPC_IF_ICMPLE: IF_CMP(a <= b)
        case OPC_IF_ACMPEQ: IF_CMP(a == b)
        case OPC_IF_ACMPNE: IF_CMP(a != b)
        case OPC_IFNULL: IF_ZERO(a == 0)
        case OPC_IFNONNULL: IF_ZERO(a != 0)
        case OPC_GOTO: BRANCH(rd_s2(pc + 1));
        case OPC_GOTO_W: BRANCH(rd_s4(pc + 1));
        case OPC_JSR:
            *sp++ = static_cast<u4>(pc - mb->code) + 3;
            NEXT(rd_s2(pc + 1));
        case OPC_JSR_W:
            *sp++ = static_cast<u4>(pc - mb->code) + 5;
            NEXT(rd_s4(pc + 1));
        case OPC_RET:
            pc = mb->code + locals[pc[1]];
            continue;

        case OPC_TABLESWITCH: {
            const u1* p = reinterpret_cast<const u1*>((reinterpret_cast<u4>(pc) + 4) & ~3u);
            s4 def = rd_s4(p);
            s4 lo = rd_s4(p + 4);
            s4 hi = rd_s4(p + 8);
            s4 key = static_cast<s4>(*--sp);
            if (key < lo || key > hi)
                NEXT(def);
            NEXT(rd_s4(p + 12 + 4 * static_cast<u4>(key - lo)));
        }
        case OPC_LOOKUPSWITCH: {
            const u1* p = reinterpret_cast<const u1*>((reinterpret_cast<u4>(pc) + 4) & ~3u);
            s4 def = rd_s4(p);
            s4 n = rd_s4(p + 4);
            s4 key = static_cast<s4>(*--sp);
            // pairs are sorted by match value
            s4 lo = 0, hi = n - 1, off = def;
            while (lo <= hi) {
                s4 mid = lo + (hi - lo) / 2;
                s4 m = rd_s4(p + 8 + 8 * mid);
                if (m == key) {
                    off = rd_s4(p + 12 + 8 * mid);
                    break;
                }
                if (m < key)
                    lo = mid + 1;
                else
                    hi = mid - 1;
            }
            NEXT(off);
        }

        case OPC_IRETURN:
        case OPC_ARETURN:
        case OPC_FRETURN:
            rv.j = 0;
            rv.u = sp[-1];
            goto do_return;
        case OPC_LRETURN:
        case OPC_DRETURN:
            rv.w[1] = sp[-2];
            rv.w[0] = sp[-1];
            goto do_return;
        case OPC_RETURN:
            rv.j = 0;
            goto do_return;

        // ---- fields -----------------------------------------------------
        case OPC_GETFIELD:
        case OPC_PUTFIELD: {
            u1 op = opcode;
            u1 ops[4];
            if (!vm_lock_operands(ee, pc, op, ops))
                continue;   // quickened meanwhile: dispatch the new form
            u2 idx = static_cast<u2>((ops[0] << 8) | ops[1]);
            auto* fb = reinterpret_cast<fieldblock*>(vm_resolve_constant(ee, cp, idx, 1u << CONSTANT_Fieldref));
            if (!fb)
                goto exception;
            if (fb->access & ACC_STATIC) {
                vm_throw_static_mismatch_field(ee, fb, false);
                goto exception;
            }
            if (op == OPC_PUTFIELD && (fb->access & ACC_FINAL) && fb->clazz != mb->clazz) {
                throw_final_field(ee, fb);
                goto exception;
            }
            quicken(ee, pc, op, idx, reinterpret_cast<u4>(fb), mb->clazz, 0);
            char sig = fb->signature[0];
            if (op == OPC_GETFIELD) {
                jref o = reinterpret_cast<jref>(*--sp);
                NULL_CHECK(o);
                push_field(sp, &vm_field<u4>(o, fb->value), sig);
            } else {
                jref o = reinterpret_cast<jref>(sp[-1 - static_cast<s4>(field_slots(fb))]);
                NULL_CHECK(o);
                pop_field(sp, &vm_field<u4>(o, fb->value), sig);
                sp--;
            }
            NEXT(3);
        }
        case OPC_GETFIELD_QUICK: {
            jref o = reinterpret_cast<jref>(sp[-1]);
            NULL_CHECK(o);
            sp[-1] = vm_field<u4>(o, pc[1] * 4u);
            NEXT(3);
        }
        case OPC_GETFIELD2_QUICK: {
            jref o = reinterpret_cast<jref>(*--sp);
            NULL_CHECK(o);
            push_field(sp, &vm_field<u4>(o, pc[1] * 4u), 'J');
            NEXT(3);
        }
        case OPC_PUTFIELD_QUICK: {
            jref o = reinterpret_cast<jref>(sp[-2]);
            NULL_CHECK(o);
            auto* fb = reinterpret_cast<fieldblock*>(cp[pc[2]]);
            pop_field(sp, &vm_field<u4>(o, pc[1] * 4u), fb->signature[0]);
            sp--;
            NEXT(3);
        }
        case OPC_PUTFIELD2_QUICK: {
            jref o = reinterpret_cast<jref>(sp[-3]);
            NULL_CHECK(o);
            pop_field(sp, &vm_field<u4>(o, pc[1] * 4u), 'J');
            sp--;
            NEXT(3);
        }
        case OPC_GETFIELD_QUICK_W: {
            auto* fb = reinterpret_cast<fieldblock*>(cp[rd_u2(pc + 1)]);
            jref o = reinterpret_cast<jref>(*--sp);
            NULL_CHECK(o);
            push_field(sp, &vm_field<u4>(o, fb->value), fb->signature[0]);
            NEXT(3);
        }
        case OPC_PUTFIELD_QUICK_W: {
            auto* fb = reinterpret_cast<fieldblock*>(cp[rd_u2(pc + 1)]);
            jref o = reinterpret_cast<jref>(sp[-1 - static_cast<s4>(field_slots(fb))]);
            NULL_CHECK(o);
            pop_field(sp, &vm_field<u4>(o, fb->value), fb->signature[0]);
            sp--;
            NEXT(3);
        }

        case OPC_GETSTATIC:
        case OPC_PUTSTATIC: {
            u1 op = opcode;
            u2 idx = rd_u2(pc + 1);
            auto* fb = reinterpret_cast<fieldblock*>(vm_resolve_constant(ee, cp, idx, 1u << CONSTANT_Fieldref));
            if (!fb)
                goto exception;
            if (!(fb->access & ACC_STATIC)) {
                vm_throw_static_mismatch_field(ee, fb, true);
                goto exception;
            }
            if (op == OPC_PUTSTATIC && (fb->access & ACC_FINAL) && fb->clazz != mb->clazz) {
                throw_final_field(ee, fb);
                goto exception;
            }
            if (!(fb->clazz->state & CS_INITIALIZED) && !vm_init_class(ee, fb->clazz))
                goto exception;
            quicken(ee, pc, op, idx, reinterpret_cast<u4>(fb), mb->clazz, 0);
            if (op == OPC_GETSTATIC)
                push_field(sp, static_address(fb), fb->signature[0]);
            else
                pop_field(sp, static_address(fb), fb->signature[0]);
            NEXT(3);
        }
        case OPC_GETSTATIC_QUICK:
            *sp++ = reinterpret_cast<fieldblock*>(cp[rd_u2(pc + 1)])->value;
            NEXT(3);
        case OPC_GETSTATIC2_QUICK: {
            auto* fb = reinterpret_cast<fieldblock*>(cp[rd_u2(pc + 1)]);
            push_field(sp, reinterpret_cast<void*>(fb->value), 'J');
            NEXT(3);
        }
        case OPC_PUTSTATIC_QUICK: {
            auto* fb = reinterpret_cast<fieldblock*>(cp[rd_u2(pc + 1)]);
            pop_field(sp, &fb->value, fb->signature[0]);
            NEXT(3);
        }
        case OPC_PUTSTATIC2_QUICK: {
            auto* fb = reinterpret_cast<fieldblock*>(cp[rd_u2(pc + 1)]);
            pop_field(sp, reinterpret_cast<void*>(fb->value), 'J');
            NEXT(3);
        }

        // ---- invocations ------------------------------------------------
        case OPC_INVOKEVIRTUAL: {
            u1 ops[4];
            if (!vm_lock_operands(ee, pc, OPC_INVOKEVIRTUAL, ops))
                continue;
            u2 idx = static_cast<u2>((ops[0] << 8) | ops[1]);
            auto* m = reinterpret_cast<methodblock*>(vm_resolve_constant(ee, cp, idx, 1u << CONSTANT_Methodref));
            if (!m)
                goto exception;
            if (m->access & ACC_STATIC) {
                vm_throw_static_mismatch_method(ee, m, false);
                goto exception;
            }
            quicken(ee, pc, OPC_INVOKEVIRTUAL, idx, reinterpret_cast<u4>(m), mb->clazz, 0);
            jref recv = reinterpret_cast<jref>(sp[-static_cast<s4>(m->args_size)]);
            NULL_CHECK(recv);
            if ((m->access & (ACC_PRIVATE | ACC_FINAL)) || (m->clazz->access & ACC_FINAL))
                callee = m;
            else
                callee = vm_dispatch_table(recv)->methods[m->slot];
            ilen = 3;
            goto invoke;
        }
        case OPC_INVOKEVIRTUAL_QUICK:
        case OPC_INVOKEVIRTUALOBJECT_QUICK: {
            auto* m = reinterpret_cast<methodblock*>(cp[pc[2]]);
            jref recv = reinterpret_cast<jref>(sp[-static_cast<s4>(m->args_size)]);
            NULL_CHECK(recv);
            callee = vm_dispatch_table(recv)->methods[pc[1]];
            ilen = 3;
            goto invoke;
        }
        case OPC_INVOKEVIRTUAL_QUICK_W: {
            auto* m = reinterpret_cast<methodblock*>(cp[rd_u2(pc + 1)]);
            jref recv = reinterpret_cast<jref>(sp[-static_cast<s4>(m->args_size)]);
            NULL_CHECK(recv);
            callee = vm_dispatch_table(recv)->methods[m->slot];
            ilen = 3;
            goto invoke;
        }
        case OPC_INVOKESPECIAL: {
            u1 ops[4];
            if (!vm_lock_operands(ee, pc, OPC_INVOKESPECIAL, ops))
                continue;
            u2 idx = static_cast<u2>((ops[0] << 8) | ops[1]);
            auto* m = reinterpret_cast<methodblock*>(
                vm_resolve_constant(ee, cp, idx, (1u << CONSTANT_Methodref) | (1u << CONSTANT_InterfaceMethodref)));
            if (!m)
                goto exception;
            if (m->access & ACC_STATIC) {
                vm_throw_static_mismatch_method(ee, m, false);
                goto exception;
            }
            quicken(ee, pc, OPC_INVOKESPECIAL, idx, reinterpret_cast<u4>(m), mb->clazz, 0);
            if (vm_is_special_super_call(mb->clazz, m))
                callee = mb->clazz->superclass->methodtable->methods[m->slot];
            else
                callee = m;
            jref recv = reinterpret_cast<jref>(sp[-static_cast<s4>(callee->args_size)]);
            NULL_CHECK(recv);
            ilen = 3;
            goto invoke;
        }
        case OPC_INVOKENONVIRTUAL_QUICK: {
            callee = reinterpret_cast<methodblock*>(cp[rd_u2(pc + 1)]);
            jref recv = reinterpret_cast<jref>(sp[-static_cast<s4>(callee->args_size)]);
            NULL_CHECK(recv);
            ilen = 3;
            goto invoke;
        }
        case OPC_INVOKESUPER_QUICK: {
            callee = mb->clazz->superclass->methodtable->methods[rd_u2(pc + 1)];
            jref recv = reinterpret_cast<jref>(sp[-static_cast<s4>(callee->args_size)]);
            NULL_CHECK(recv);
            ilen = 3;
            goto invoke;
        }
        case OPC_INVOKESTATIC: {
            u2 idx = rd_u2(pc + 1);
            auto* m = reinterpret_cast<methodblock*>(
                vm_resolve_constant(ee, cp, idx, (1u << CONSTANT_Methodref) | (1u << CONSTANT_InterfaceMethodref)));
            if (!m)
                goto exception;
            if (!(m->access & ACC_STATIC)) {
                vm_throw_static_mismatch_method(ee, m, true);
                goto exception;
            }
            if (!(m->clazz->state & CS_INITIALIZED) && !vm_init_class(ee, m->clazz))
                goto exception;
            quicken(ee, pc, OPC_INVOKESTATIC, idx, reinterpret_cast<u4>(m), mb->clazz, 0);
            callee = m;
            ilen = 3;
            goto invoke;
        }
        case OPC_INVOKESTATIC_QUICK:
            callee = reinterpret_cast<methodblock*>(cp[rd_u2(pc + 1)]);
            ilen = 3;
            goto invoke;
        case OPC_INVOKEINTERFACE: {
            u2 idx = rd_u2(pc + 1);
            auto* m = reinterpret_cast<methodblock*>(vm_resolve_constant(
                ee, cp, idx, (1u << CONSTANT_InterfaceMethodref) | (1u << CONSTANT_Methodref)));
            if (!m)
                goto exception;
            if (m->access & ACC_STATIC) {
                vm_throw_static_mismatch_method(ee, m, false);
                goto exception;
            }
            jref recv = reinterpret_cast<jref>(sp[-static_cast<s4>(m->args_size)]);
            NULL_CHECK(recv);
            u1 guess = 0;
            callee = vm_interface_target(ee, recv, m, &guess);
            if (!callee)
                goto exception;
            quicken(ee, pc, OPC_INVOKEINTERFACE, idx, reinterpret_cast<u4>(m), mb->clazz, guess);
            ilen = 5;
            goto invoke;
        }
        case OPC_INVOKEINTERFACE_QUICK: {
            auto* m = reinterpret_cast<methodblock*>(cp[rd_u2(pc + 1)]);
            jref recv = reinterpret_cast<jref>(sp[-static_cast<s4>(m->args_size)]);
            NULL_CHECK(recv);
            callee = vm_interface_target(ee, recv, m, pc + 4);
            if (!callee)
                goto exception;
            ilen = 5;
            goto invoke;
        }
        case OPC_INVOKEDYNAMIC:
            THROW("java/lang/IncompatibleClassChangeError", "invokedynamic is not supported");

        // ---- objects and arrays ----------------------------------------
        case OPC_NEW: {
            u2 idx = rd_u2(pc + 1);
            auto* cb = reinterpret_cast<classblock*>(vm_resolve_constant(ee, cp, idx, 1u << CONSTANT_Class));
            if (!cb)
                goto exception;
            if (cb->access & (ACC_INTERFACE | ACC_ABSTRACT)) {
                throw_instantiation(ee, cb);
                goto exception;
            }
            if (!(cb->state & CS_INITIALIZED) && !vm_init_class(ee, cb))
                goto exception;
            quicken(ee, pc, OPC_NEW, idx, reinterpret_cast<u4>(cb), mb->clazz, 0);
            jref o = vm_new_object(ee, cb);
            if (!o)
                goto exception;
            *sp++ = reinterpret_cast<u4>(o);
            NEXT(3);
        }
        case OPC_NEW_QUICK: {
            jref o = vm_new_object(ee, reinterpret_cast<classblock*>(cp[rd_u2(pc + 1)]));
            if (!o)
                goto exception;
            *sp++ = reinterpret_cast<u4>(o);
            NEXT(3);
        }
        case OPC_NEWARRAY: {
            s4 n = static_cast<s4>(sp[-1]);
            if (n < 0)
                THROW("java/lang/NegativeArraySizeException", nullptr);
            jref a = vm_new_array(ee, pc[1], n);
            if (!a)
                goto exception;
            sp[-1] = reinterpret_cast<u4>(a);
            NEXT(2);
        }
        case OPC_ANEWARRAY:
        case OPC_ANEWARRAY_QUICK: {
            u2 idx = rd_u2(pc + 1);
            classblock* cb;
            if (opcode == OPC_ANEWARRAY) {
                cb = reinterpret_cast<classblock*>(vm_resolve_constant(ee, cp, idx, 1u << CONSTANT_Class));
                if (!cb)
                    goto exception;
                quicken(ee, pc, OPC_ANEWARRAY, idx, reinterpret_cast<u4>(cb), mb->clazz, 0);
            } else {
                cb = reinterpret_cast<classblock*>(cp[idx]);
            }
            s4 n = static_cast<s4>(sp[-1]);
            if (n < 0)
                THROW("java/lang/NegativeArraySizeException", nullptr);
            jref a = vm_new_object_array(ee, cb, n);
            if (!a)
                goto exception;
            sp[-1] = reinterpret_cast<u4>(a);
            NEXT(3);
        }
        case OPC_MULTIANEWARRAY:
        case OPC_MULTIANEWARRAY_QUICK: {
            u2 idx = rd_u2(pc + 1);
            u4 dims = pc[3];
            classblock* cb;
            if (opcode == OPC_MULTIANEWARRAY) {
                cb = reinterpret_cast<classblock*>(vm_resolve_constant(ee, cp, idx, 1u << CONSTANT_Class));
                if (!cb)
                    goto exception;
                quicken(ee, pc, OPC_MULTIANEWARRAY, idx, reinterpret_cast<u4>(cb), mb->clazz, 0);
            } else {
                cb = reinterpret_cast<classblock*>(cp[idx]);
            }
            jref a = multi_array(ee, cb, dims, sp - dims);
            if (!a)
                goto exception;
            sp -= dims;
            *sp++ = reinterpret_cast<u4>(a);
            NEXT(4);
        }
        case OPC_ARRAYLENGTH: {
            jref a = reinterpret_cast<jref>(sp[-1]);
            NULL_CHECK(a);
            sp[-1] = a->word0;
            NEXT(1);
        }
        case OPC_CHECKCAST:
        case OPC_CHECKCAST_QUICK: {
            jref o = reinterpret_cast<jref>(sp[-1]);
            if (!o)
                NEXT(3);
            u2 idx = rd_u2(pc + 1);
            classblock* cb;
            if (opcode == OPC_CHECKCAST) {
                cb = reinterpret_cast<classblock*>(vm_resolve_constant(ee, cp, idx, 1u << CONSTANT_Class));
                if (!cb)
                    goto exception;
                quicken(ee, pc, OPC_CHECKCAST, idx, reinterpret_cast<u4>(cb), mb->clazz, 0);
            } else {
                cb = reinterpret_cast<classblock*>(cp[idx]);
            }
            if (!vm_is_instance_of(o, cb)) {
                throw_class_cast(ee, o);
                goto exception;
            }
            NEXT(3);
        }
        case OPC_INSTANCEOF:
        case OPC_INSTANCEOF_QUICK: {
            jref o = reinterpret_cast<jref>(sp[-1]);
            if (!o)
                NEXT(3);   // null is an instance of nothing: the 0 stays
            u2 idx = rd_u2(pc + 1);
            classblock* cb;
            if (opcode == OPC_INSTANCEOF) {
                cb = reinterpret_cast<classblock*>(vm_resolve_constant(ee, cp, idx, 1u << CONSTANT_Class));
                if (!cb)
                    goto exception;
                quicken(ee, pc, OPC_INSTANCEOF, idx, reinterpret_cast<u4>(cb), mb->clazz, 0);
            } else {
                cb = reinterpret_cast<classblock*>(cp[idx]);
            }
            sp[-1] = vm_is_instance_of(o, cb) ? 1 : 0;
            NEXT(3);
        }
        case OPC_ATHROW: {
            jref o = reinterpret_cast<jref>(sp[-1]);
            NULL_CHECK(o);
            vm_set_pending(ee, o);
            goto exception;
        }
        case OPC_MONITORENTER: {
            jref o = reinterpret_cast<jref>(sp[-1]);
            NULL_CHECK(o);
            orva_monitorEnter2(ee, o);
            sp--;
            NEXT(1);
        }
        case OPC_MONITOREXIT: {
            jref o = reinterpret_cast<jref>(sp[-1]);
            NULL_CHECK(o);
            if (!orva_monitorExit2(ee, o))
                goto exception;
            sp--;
            NEXT(1);
        }

        case OPC_WIDE: {
            u2 idx = rd_u2(pc + 2);
            switch (pc[1]) {
            case OPC_ILOAD: case OPC_FLOAD: case OPC_ALOAD:
                *sp++ = locals[idx];
                NEXT(4);
            case OPC_LLOAD: case OPC_DLOAD:
                sp[0] = locals[idx];
                sp[1] = locals[idx + 1];
                sp += 2;
                NEXT(4);
            case OPC_ISTORE: case OPC_FSTORE: case OPC_ASTORE:
                locals[idx] = *--sp;
                NEXT(4);
            case OPC_LSTORE: case OPC_DSTORE:
                sp -= 2;
                locals[idx] = sp[0];
                locals[idx + 1] = sp[1];
                NEXT(4);
            case OPC_IINC:
                locals[idx] += static_cast<u4>(rd_s2(pc + 4));
                NEXT(6);
            case OPC_RET:
                pc = mb->code + locals[idx];
                continue;
            default:
                break;
            }
            vm_throwf(ee, "java/lang/VerifyError", "bad wide opcode %u in %s.%s", pc[1], mb->clazz->name, mb->name);
            goto exception;
        }

        case OPC_REWRITING:
            // Another thread is quickening this instruction: wait for it and
            // dispatch what it wrote.
            vm_wait_rewrite(ee);
            continue;

        default:
            vm_throwf(ee, "java/lang/InternalError", "unknown bytecode %u in %s.%s", opcode, mb->clazz->name, mb->name);
            goto exception;
        }
    }

invoke:
    // callee resolved, its receiver (if any) checked; ilen = the invoke's length.
    {
        u4 nargs = callee->args_size;
        u4* args = sp - nargs;
        frame->saved_sp = args;
        if (vm_runs_in_loop(callee)) {
            if (vm_is_selector(callee->invoker) && vm_selector_rule(ee, act, callee))
                goto callout;
            JavaFrame* nf = vm_push_frame(ee, act, callee, args, frame);
            if (!nf)
                goto exception;
            if (callee->access & ACC_SYNCHRONIZED)
                vm_enter_method_monitor(ee, nf);
            frame = nf;
            LOAD_FRAME();
            sp = frame->optop_base;
            pc = mb->code;
            goto next;
        }
        if (vm_native_in_loop(callee)) {
            if (vm_is_selector(callee->invoker) && vm_selector_rule(ee, act, callee))
                goto callout;
            JValue r;
            int ok = vm_native_invoke(ee, act, callee, args, &r, false);
            sp = args;
            if (!ok)
                goto exception;
            push_result(sp, r, static_cast<char>(callee->return_kind));
            pc += ilen;
            goto next;
        }
        if (!(callee->access & ACC_COMPILED)
            && callee->invoker == reinterpret_cast<void*>(&orva_invokeAbstractMethod)) {
            vm_throw(ee, "java/lang/AbstractMethodError", callee->name);
            goto exception;
        }
    }
callout:
    {
        u4 nargs = callee->args_size;
        u4* args = sp - nargs;
        if (!vm_native_room(ee, VM_NSTACK_ROOM)) {
            vm_throw_stack_overflow(ee);
            goto exception;
        }
        JValue r;
        r.j = 0;
        vm_callout(act, callee, args, nargs, &r, return_code(static_cast<char>(callee->return_kind)));
        // Everything from memory: the callee returned to this frame.
        frame = ee->current_frame;
        LOAD_FRAME();
        sp = frame->saved_sp;
        pc = frame->lastpc;
        vm_reprotect_yellow_zone(ee);
        if (ee->exception_kind)
            goto exception;
        push_result(sp, r, static_cast<char>(callee->return_kind));
        pc += ilen;
        goto next;
    }

backward:
    // A taken backward branch at pc, its operands popped.  With the operand
    // stack empty the activation may continue in compiled code from here.
    if (sp == frame->optop_base && mb->backedge_count != MB_BACKEDGE_NEVER) {
        frame->saved_sp = sp;
        if (vm_offer_transfer(ee, act, frame, pc, &rv)) {
            // The compiled code finished the frame: it returns as if from
            // here (its monitor has gone with the compiled frame).
            if (!ee->exception_kind)
                goto do_return;
            if (frame == act->first_frame) {
                ee->current_frame = frame->prev;
                ee->jstack_top = act->jstack_top;
                return INTERP_EXCEPTION;
            }
            frame = frame->prev;
            ee->current_frame = frame;
            LOAD_FRAME();
            goto exception;
        }
    }
    pc += boff;
    goto next;

do_return:
    // rv holds the value of the return instruction at pc.
    if (frame->monitor) {
        jref lock = reinterpret_cast<jref>(frame->monitor);
        frame->monitor = 0;
        if (!orva_monitorExit2(ee, lock))
            goto exception;
    }
    if (frame == act->first_frame) {
        ee->current_frame = frame->prev;
        ee->jstack_top = act->jstack_top;
        act_set_result(act, rv);
        return INTERP_RETURNED;
    }
    {
        char kind = static_cast<char>(mb->return_kind);
        frame = frame->prev;
        ee->current_frame = frame;
        LOAD_FRAME();
        ee->jstack_top = reinterpret_cast<u4>(frame->optop_base + mb->maxstack);
        sp = frame->saved_sp;
        push_result(sp, rv, kind);
        pc = frame->lastpc;
        pc += invoke_length(ee, pc);
        goto next;
    }

exception:
    // Pending exception: search this frame, then its callers within the
    // activation.
    for (;;) {
        jref exc = vm_pending_exception(ee);
        if (!exc) {
            vm_throw(ee, "java/lang/InternalError", "exception pending without an object");
            exc = vm_pending_exception(ee);
        }
        u1* handler = (frame->flags & JFF_NATIVE) || !frame->method ? nullptr : vm_find_handler(frame, exc);
        if (handler) {
            vm_clear_pending(ee);
            LOAD_FRAME();
            ee->current_frame = frame;
            ee->jstack_top = reinterpret_cast<u4>(frame->optop_base + mb->maxstack);
            sp = frame->optop_base;
            *sp++ = reinterpret_cast<u4>(exc);
            pc = handler;
            goto next;
        }
        if (frame->monitor) {
            // An exception of the exit itself replaces the current one.
            jref lock = reinterpret_cast<jref>(frame->monitor);
            frame->monitor = 0;
            vm_clear_pending(ee);
            if (orva_monitorExit2(ee, lock))
                vm_set_pending(ee, exc);
        }
        if (frame == act->first_frame) {
            ee->current_frame = frame->prev;
            ee->jstack_top = act->jstack_top;
            JValue zero;
            zero.j = 0;
            act_set_result(act, zero);
            return INTERP_EXCEPTION;
        }
        frame = frame->prev;
        ee->current_frame = frame;
    }
}

}  // namespace
