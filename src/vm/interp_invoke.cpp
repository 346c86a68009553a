// Calls into, out of and inside the interpreter: activation set-up for the
// assembly entries (registration, R_act, T), the call-in marker of
// vm_call_java, the thread base, interpreter frames on the Java stack, the
// JNI path of native methods, the selectors' counter rule and interface
// dispatch.
//
// Frames on the Java stack (growing upward):
//   [locals: max_locals slots][JavaFrame, 64 bytes][operand stack]
// An interpreted callee's locals start at its arguments on the caller's
// operand stack, so a call copies nothing.  EE+0x30 (Java stack top) is the
// end of the running frame's operand area; a nested activation (a call from
// native code back into Java) starts there.
//
// Nothing here keeps an object with a destructor on the stack: the restart
// and landing stubs may abandon any frame below an activation's entry.
#include <sys/mman.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "interp.h"

// ---------------------------------------------------------------------------
// Activations
// ---------------------------------------------------------------------------

extern "C" void vm_act_open(vm_activation* a, EE* ee, methodblock* mb, u4 bound, u4 caller_ebp)
{
    tla* t = vm_tla_of(ee);
    std::memset(a, 0, offsetof(vm_activation, reserved_88));
    a->reg.resume = mb ? 0 : reinterpret_cast<u4>(&vm_frameless_landing);
    a->reg.ee = ee;
    a->reg.next = t->registration;
    a->reg.handler = reinterpret_cast<u4>(vm_exception_handler);
    a->reg.bound = bound;
    a->reg.method = mb;
    a->reg.state = mb ? reinterpret_cast<u4>(a) : 0;
    a->ract.prev = ee->transition;
    a->ract.frame = reinterpret_cast<u4>(a->t);
    a->ract.word2 = reinterpret_cast<u4>(a->t);
    a->ract.caller_ebp = caller_ebp;
    a->t[8] = ACT_T_MARKER;
    a->jstack_top = ee->jstack_top;
    a->entry_frame = ee->current_frame;
    a->entry_mode = ee->mode;
    t->registration = vm_reg_address(a);
    ee->transition = reinterpret_cast<u4>(&a->ract);
    ee->mode = EE_MODE_INTERPRETER;
}

extern "C" void vm_act_close(vm_activation* a)
{
    EE* ee = a->reg.ee;
    vm_tla_of(ee)->registration = a->reg.next;
    ee->transition = a->ract.prev;
    ee->mode = a->entry_mode;
}

// Link and trans of the first frame of an activation (or of a call-in
// marker), from the transition head at call-in.
void vm_set_first_frame_links(EE* ee, JavaFrame* f, JavaFrame* caller, u4 head)
{
    head &= ~TR_TAG_MASK;
    f->trans = head;
    f->link = reinterpret_cast<u4>(caller);
    if (head == 0)
        return;                 // nothing but VM code below (thread base)
    if (caller && caller->activation
        && reinterpret_cast<u4>(&caller->activation->ract) == head)
        return;                 // called from the caller's own activation
    u4 frame = reinterpret_cast<transition_record*>(head)->frame & ~TR_TAG_MASK;
    // A link below 4 that differs from prev would stop the iterator.
    if (frame >= 4)
        f->link = frame | 1;
}

extern "C" int vm_callin_begin(vm_activation* a)
{
    EE* ee = a->reg.ee;
    JavaFrame* caller = ee->current_frame;
    u4 top = ee->jstack_top;
    if (top + JF_SIZE + VM_JSTACK_SLACK > ee->jstack_limit) {
        vm_act_close(a);
        vm_throw_stack_overflow(ee);
        return 0;
    }
    auto* m = reinterpret_cast<JavaFrame*>(top);
    std::memset(m, 0, sizeof(JavaFrame));
    m->prev = caller;
    m->jni_top = caller ? caller->jni_top : ee->jni_locals;
    m->flags = JFF_CALLIN;
    m->activation = a;
    m->locals = m->optop_base = m->saved_sp = reinterpret_cast<u4*>(m + 1);
    vm_set_first_frame_links(ee, m, caller, a->ract.prev);
    a->first_frame = m;
    ee->current_frame = m;
    ee->jstack_top = top + JF_SIZE;
    return 1;
}

extern "C" int vm_callin_end(vm_activation* a, int landed, JValue* result)
{
    EE* ee = a->reg.ee;
    ee->current_frame = a->entry_frame;
    ee->jstack_top = a->jstack_top;
    vm_act_close(a);
    if (landed) {
        if (result)
            result->j = 0;
        if (!ee->exception_kind)
            vm_throw(ee, "java/lang/InternalError", "raise landed without an exception");
        return 0;
    }
    return ee->exception_kind == 0;
}

// ---------------------------------------------------------------------------
// Thread base
// ---------------------------------------------------------------------------

extern "C" void vm_thread_base_open(vm_activation* a, EE* ee, u4 bound)
{
    tla* t = vm_tla_of(ee);
    std::memset(a, 0, sizeof(vm_activation));
    a->reg.resume = reinterpret_cast<u4>(&vm_thread_bottom_landing);
    a->reg.ee = ee;
    a->reg.next = 0;
    a->reg.handler = reinterpret_cast<u4>(vm_exception_handler);
    a->reg.bound = bound;
    act_entry(a) = ENTRY_THREAD_BASE;
    t->registration = vm_reg_address(a);

    auto* base = reinterpret_cast<JavaFrame*>(ee->jstack_base);
    std::memset(base, 0, sizeof(JavaFrame));
    base->flags = JFF_BASE;
    base->jni_top = ee->jni_locals;
    base->locals = base->optop_base = base->saved_sp = reinterpret_cast<u4*>(base + 1);
    ee->current_frame = base;
    ee->base_frame = base;
    ee->jstack_top = reinterpret_cast<u4>(base + 1);
    ee->mode = EE_MODE_INTERPRETER;
    ee->transition = 0;
    a->jstack_top = ee->jstack_top;
    a->entry_frame = base;
    a->first_frame = base;
}

extern "C" void vm_thread_base_close(vm_activation* a, int landed)
{
    EE* ee = a->reg.ee;
    ee->current_frame = ee->base_frame;
    ee->jstack_top = a->jstack_top;
    ee->transition = 0;
    ee->mode = EE_MODE_INTERPRETER;
    vm_tla_of(ee)->registration = 0;
    if (landed && !ee->exception_kind)
        vm_throw(ee, "java/lang/InternalError", "raise landed without an exception");
}

// ---------------------------------------------------------------------------
// Stack room
// ---------------------------------------------------------------------------

bool vm_native_room(EE* ee, u4 need)
{
    u4 sp = reinterpret_cast<u4>(__builtin_frame_address(0));
    // While an overflow is being handled the yellow zone is usable stack:
    // the ordinary checks then want 8 KB above the red zone.
    if (vm_tla_of(ee)->yellow_state && need <= VM_NSTACK_ROOM)
        return sp >= ee->nstack_limit - THREAD_AREA_YELLOW_SIZE + VM_NSTACK_ROOM_YELLOW;
    return sp >= ee->nstack_limit + need;
}

// ---------------------------------------------------------------------------
// Interpreter frames
// ---------------------------------------------------------------------------

void vm_enter_method_monitor(EE* ee, JavaFrame* f)
{
    methodblock* mb = f->method;
    jref lock = (mb->access & ACC_STATIC) ? reinterpret_cast<jref>(mb->clazz)
                                          : reinterpret_cast<jref>(f->locals[0]);
    orva_monitorEnter2(ee, lock);
    f->monitor = reinterpret_cast<u4>(lock);
}

// ---------------------------------------------------------------------------
// Initial invokers
// ---------------------------------------------------------------------------

void* vm_initial_invoker(const methodblock* mb)
{
    if (mb->access & ACC_NATIVE)
        return reinterpret_cast<void*>(&orva_invokeLazyNativeMethod);
    if (mb->access & ACC_ABSTRACT)
        return reinterpret_cast<void*>(&orva_invokeAbstractMethod);
    bool sync = (mb->access & ACC_SYNCHRONIZED) != 0;
    bool handlers = mb->exception_table_length != 0 || mb->vm_exception_table_length != 0;
    if (handlers)
        return sync ? reinterpret_cast<void*>(&orva_invokeSynchronizedJavaMethodWithCatch)
                    : reinterpret_cast<void*>(&orva_invokeJavaMethodWithCatch);
    return sync ? reinterpret_cast<void*>(&orva_invokeSynchronizedJavaMethod)
                : reinterpret_cast<void*>(&orva_invokeJavaMethod);
}

// ---------------------------------------------------------------------------
// Selectors: the mixed-mode counter
// ---------------------------------------------------------------------------

int vm_selector_rule(EE* ee, vm_activation* act, methodblock* mb)
{
    if (mb->access & ACC_COMPILED)
        return vm_is_vm_entry(mb->invoker) ? 0 : 1;
    u2 count = mb->counter;
    if (count == MB_COUNTER_NEVER)
        return 0;
    if (count > 0) {
        mb->counter = static_cast<u2>(count - 1);   // plain store: a race only shifts the moment
        return 0;
    }
    void* trampoline = vm_hook_compile;
    if (!trampoline || !vm_compiler_active() || ee->exception_kind || ee->compile_record
        || !vm_native_room(ee, VM_NSTACK_ROOM_COMPILE))
        return 0;               // not now; retried at the next call
    int compiled = vm_request_compile(act, mb, trampoline, nullptr);
    ee->mode = EE_MODE_INTERPRETER;
    if (compiled && (mb->access & ACC_COMPILED) && !vm_is_vm_entry(mb->invoker))
        return 1;
    // A refusal by a skip filter leaves the selector in place: never ask again.
    if (vm_is_selector(mb->invoker))
        mb->counter = MB_COUNTER_NEVER;
    return 0;
}

// ---------------------------------------------------------------------------
// Transfers: a long loop of an interpreted activation continues compiled
// ---------------------------------------------------------------------------

namespace {

int return_kind_code(const methodblock* mb)
{
    switch (mb->return_kind) {
    case 'V': return RK_VOID;
    case 'F': return RK_FLOAT;
    case 'D': return RK_DOUBLE;
    case 'J': return RK_LONG;
    default: return 'I';
    }
}

}  // namespace

int vm_offer_transfer(EE* ee, vm_activation* act, JavaFrame* f, u1* pc, JValue* result)
{
    methodblock* mb = f->method;
    u4 count = mb->backedge_count;
    if (count == MB_BACKEDGE_NEVER)
        return 0;
    if (count < vm_opts.threshold) {
        mb->backedge_count = count + 1;       // plain store: a race only shifts the moment
        return 0;
    }
    void* trampoline = vm_mmi_compile_xfer_hook;
    void* entry = vm_mmi_xfer_hook;
    if (!trampoline || !entry || !vm_compiler_active() || ee->exception_kind || ee->compile_record || !vm_native_room(ee, VM_NSTACK_ROOM_COMPILE)) {
        mb->backedge_count = 0;             // not now (no compiler yet); asked again after another round
        return 0;
    }
    // One request per method: a refusal (the method compiled meanwhile
    // without this point, a skip filter, a failed compile) is final.
    mb->backedge_count = MB_BACKEDGE_NEVER;
    int compiled = vm_request_compile(act, mb, trampoline, pc);
    ee->mode = EE_MODE_INTERPRETER;
    if (!compiled || !(mb->access & ACC_COMPILED))
        return 0;

    // The compiled frame takes f's place: f leaves the frame chain (a raise
    // the compiled code does not catch is looked for in f's callers, never in
    // f), its monitor moves into the compiled frame, and a first frame leaves
    // the activation without frames; a caller of f in compiled code stays
    // reachable for frame walkers through T.
    bool first = f == act->first_frame;
    u4 lock = f->monitor;
    u4 t8 = act->t[8];
    ee->current_frame = f->prev;
    f->monitor = 0;
    if (first) {
        act->first_frame = nullptr;
        if ((f->link & ~TR_TAG_MASK) != reinterpret_cast<u4>(f->prev) && f->link >= 4)
            act->t[8] = f->link & ~TR_TAG_MASK;
    }
    result->j = 0;
    int done = vm_transfer(act, f, pc, lock, result, return_kind_code(mb), entry);
    act->t[8] = t8;
    if (first)
        act->first_frame = f;
    if (!done) {
        ee->current_frame = f;
        f->monitor = lock;
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Interface dispatch
// ---------------------------------------------------------------------------

methodblock* vm_interface_target(EE* ee, jref recv, methodblock* imb, u1* guess)
{
    classblock* icls = imb->clazz;
    method_table* mt = vm_dispatch_table(recv);
    if (!(icls->access & ACC_INTERFACE))
        return mt->methods[imb->slot];     // a java/lang/Object method named through an interface
    classblock* rc = vm_class_of(recv);
    imethod_table* t = rc->imethodtable;
    u4 n = t->icount;
    u4 g = guess ? *guess : 0xFFFFFFFFu;
    u4 e;
    if (g < n && t->itable[g].classdescriptor == icls) {
        e = g;
    } else {
        e = n;
        for (u4 i = n; i-- > 0;) {
            if (t->itable[i].classdescriptor == icls) {
                e = i;
                break;
            }
        }
        if (e == n) {
            vm_throw_not_implemented(ee, rc, icls);
            return nullptr;
        }
        if (guess && e <= 0xFF)
            *guess = static_cast<u1>(e);
    }
    return mt->methods[t->itable[e].offsets[imb->slot]];
}

// ---------------------------------------------------------------------------
// Native methods (JNI convention)
// ---------------------------------------------------------------------------

jhandle vm_jni_ref(EE* ee, jref o)
{
    if (!o)
        return nullptr;
    JavaFrame* f = ee->current_frame;
    u4* slot = f->jni_top;
    if (!slot || slot >= ee->jni_locals + ee->jni_capacity) {
        std::fprintf(stderr, "Internal VM error: JNI local reference table overflow (%u entries)\n",
                     ee->jni_capacity);
        std::abort();
    }
    *slot = reinterpret_cast<u4>(o);
    f->jni_top = slot + 1;
    return slot;
}

static int return_code(char kind)
{
    switch (kind) {
    case 'V': return RK_VOID;
    case 'F': return RK_FLOAT;
    case 'D': return RK_DOUBLE;
    case 'J': return RK_LONG;
    default: return 'I';
    }
}

// Native frame on top of the current frame.  `first` makes it the first
// frame of a native-only activation (links from the transition head).
static JavaFrame* push_native_frame(EE* ee, vm_activation* act, methodblock* mb, u4* args,
                                    bool first)
{
    JavaFrame* caller = ee->current_frame;
    u4 at = reinterpret_cast<u4>(args + mb->args_size);
    if (at < ee->jstack_top && first)
        at = ee->jstack_top;
    if (at + JF_SIZE + VM_JSTACK_SLACK > ee->jstack_limit) {
        vm_throw_stack_overflow(ee);
        return nullptr;
    }
    auto* f = reinterpret_cast<JavaFrame*>(at);
    std::memset(f, 0, sizeof(JavaFrame));
    f->prev = caller;
    f->jni_top = caller->jni_top;
    f->method = mb;
    if (first) {
        vm_set_first_frame_links(ee, f, caller, act->ract.prev);
        act->first_frame = f;
    } else {
        f->trans = caller->trans;
        f->link = reinterpret_cast<u4>(caller);
    }
    f->locals = args;
    f->optop_base = f->saved_sp = reinterpret_cast<u4*>(f + 1);
    f->constant_pool = mb->clazz->constantpool;
    f->activation = act;
    f->flags = JFF_NATIVE;
    ee->current_frame = f;
    ee->jstack_top = reinterpret_cast<u4>(f + 1);
    return f;
}

int vm_native_invoke(EE* ee, vm_activation* act, methodblock* mb, u4* args, JValue* result,
                     bool first)
{
    result->j = 0;
    void* fn = mb->native_code;
    if (!fn)
        fn = vm_bind_native(mb);
    if (!fn) {
        vm_throw(ee, "java/lang/UnsatisfiedLinkError", mb->name);
        return 0;
    }
    JavaFrame* caller = ee->current_frame;
    u4 saved_top = ee->jstack_top;
    JavaFrame* f = push_native_frame(ee, act, mb, args, first);
    if (!f)
        return 0;

    // Marshal: env, class-or-receiver handle, one C word per Java word; a
    // two-word value low word first; references as handles (their slots).
    u4* cargs = static_cast<u4*>(__builtin_alloca(4u * (mb->args_size + 2u)));
    u4 n = 0;
    u4 ai = 0;
    cargs[n++] = reinterpret_cast<u4>(ee);
    if (mb->access & ACC_STATIC) {
        cargs[n++] = reinterpret_cast<u4>(vm_jni_ref(ee, reinterpret_cast<jref>(mb->clazz)));
    } else {
        cargs[n++] = reinterpret_cast<u4>(&args[0]);
        ai = 1;
    }
    for (const char* s = mb->signature + 1; *s && *s != ')' && ai < mb->args_size; ++s) {
        switch (*s) {
        case 'J':
        case 'D':
            cargs[n++] = args[ai + 1];
            cargs[n++] = args[ai];
            ai += 2;
            break;
        case 'L':
            cargs[n++] = args[ai] ? reinterpret_cast<u4>(&args[ai]) : 0;
            ai++;
            while (*s && *s != ';')
                ++s;
            break;
        case '[':
            cargs[n++] = args[ai] ? reinterpret_cast<u4>(&args[ai]) : 0;
            ai++;
            while (*s == '[')
                ++s;
            if (*s == 'L')
                while (*s && *s != ';')
                    ++s;
            break;
        default:
            cargs[n++] = args[ai++];
            break;
        }
    }

    if (mb->access & ACC_SYNCHRONIZED)
        vm_enter_method_monitor(ee, f);

    char kind = static_cast<char>(mb->return_kind);
    JValue r;
    r.j = 0;
    vm_native_call(act, fn, cargs, n, &r, return_code(kind));
    ee->mode = EE_MODE_INTERPRETER;
    switch (kind) {
    case 'Z': r.u &= 0xFF; break;
    case 'B': r.i = static_cast<int8_t>(r.u); break;
    case 'C': r.u &= 0xFFFF; break;
    case 'S': r.i = static_cast<int16_t>(r.u); break;
    case 'L': case '[': r.u = r.u ? *reinterpret_cast<u4*>(r.u) : 0; break;
    default: break;
    }
    if (ee->exception_kind)
        r.j = 0;
    if (f->monitor) {
        jref lock = reinterpret_cast<jref>(f->monitor);
        f->monitor = 0;
        if (ee->exception_kind) {
            // keep the native's exception; a failing exit cannot replace it
            jref exc = vm_pending_exception(ee);
            vm_clear_pending(ee);
            orva_monitorExit2(ee, lock);
            vm_set_pending(ee, exc);
        } else {
            orva_monitorExit2(ee, lock);
        }
    }
    ee->current_frame = caller;
    ee->jstack_top = saved_top;
    *result = r;
    return ee->exception_kind == 0;
}

// ---------------------------------------------------------------------------
// C++ conveniences
// ---------------------------------------------------------------------------

int vm_call_method(EE* ee, jref obj, classblock* cb, const char* name, const char* sig,
                   JValue* result, ...)
{
    if (obj)
        cb = vm_class_of(obj);
    methodblock* mb = vm_find_method(cb, name, sig);
    if (!mb) {
        vm_throw(ee, "java/lang/NoSuchMethodError", name);
        return 0;
    }
    if (!obj && !(mb->access & ACC_STATIC)) {
        vm_throw(ee, "java/lang/NullPointerException", nullptr);
        return 0;
    }
    if (!obj && !vm_init_class(ee, mb->clazz))
        return 0;
    u4 argv[256];
    u4 n = 0;
    if (obj)
        argv[n++] = reinterpret_cast<u4>(obj);
    va_list ap;
    va_start(ap, result);
    for (const char* s = sig + 1; *s && *s != ')' && n < 254; ++s) {
        switch (*s) {
        case 'J': {
            int64_t v = va_arg(ap, int64_t);
            argv[n++] = static_cast<u4>(static_cast<uint64_t>(v) >> 32);
            argv[n++] = static_cast<u4>(v);
            break;
        }
        case 'D': {
            double d = va_arg(ap, double);
            uint64_t b;
            std::memcpy(&b, &d, 8);
            argv[n++] = static_cast<u4>(b >> 32);
            argv[n++] = static_cast<u4>(b);
            break;
        }
        case 'F': {
            float f = static_cast<float>(va_arg(ap, double));
            std::memcpy(&argv[n++], &f, 4);
            break;
        }
        case 'L':
            argv[n++] = reinterpret_cast<u4>(va_arg(ap, jref));
            while (*s && *s != ';')
                ++s;
            break;
        case '[':
            argv[n++] = reinterpret_cast<u4>(va_arg(ap, jref));
            while (*s == '[')
                ++s;
            if (*s == 'L')
                while (*s && *s != ';')
                    ++s;
            break;
        default:
            argv[n++] = static_cast<u4>(va_arg(ap, int));
            break;
        }
    }
    va_end(ap);
    return vm_call_java(ee, mb, argv, n, result);
}
