// VM exceptions: making them (vm_throw, the body of orva_SignalError),
// finding their handlers in interpreted frames, the MMI handler search that
// the compiler's exception filter calls for an interpreter activation, and
// printing an uncaught one.
//
// Handler search (4.5 a): the frame's private exception table, entries
// whose [start, end) covers the frame's lastpc and whose catch type is 0 or
// names the thrown class or one of its superclasses.  Names are compared,
// no class is loaded; with a single loader a name is a class.
//
// vm_throw constructs the exception by running its constructor through
// vm_call_java (String constructor, or the no-argument one without a
// message); Throwable's constructors fill in the stack trace.  When the
// construction cannot even allocate, the preallocated OutOfMemoryError is
// pending instead.  StackOverflowError is made without running Java code:
// the stack that overflowed has no room for a constructor.
#include <unistd.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "interp.h"

namespace {

// Nesting of vm_throw on this thread: a failure while making an exception
// (its class cannot be loaded, its constructor throws the same way...)
// must not recurse without bound.
thread_local int throw_depth;

bool class_matches(classblock* cls, u4* cp, u2 catch_type)
{
    u1 tag = __atomic_load_n(&vm_cp_tags(cp)[catch_type], __ATOMIC_ACQUIRE);
    if (tag & CONSTANT_RESOLVED) {
        auto* target = reinterpret_cast<classblock*>(cp[catch_type]);
        for (classblock* c = cls; c; c = c->superclass)
            if (c == target)
                return true;
        return false;
    }
    const char* name = vm_cp_class_name(cp, catch_type);
    if (!name)
        return false;
    for (classblock* c = cls; c; c = c->superclass)
        if (std::strcmp(c->name, name) == 0)
            return true;
    return false;
}

u1* find_handler_for_class(JavaFrame* f, classblock* cls)
{
    methodblock* mb = f->method;
    if (!mb || !mb->code || !f->lastpc)
        return nullptr;
    u4 pc = static_cast<u4>(f->lastpc - mb->code);
    auto* e = reinterpret_cast<const exception_entry*>(mb->vm_exception_table);
    for (u4 i = 0; i < mb->vm_exception_table_length; ++i, ++e) {
        if (pc < e->start_pc || pc >= e->end_pc)
            continue;
        if (e->catch_type == 0 || class_matches(cls, f->constant_pool, e->catch_type))
            return mb->code + e->handler_pc;
    }
    return nullptr;
}

fieldblock* throwable_field(const char* name)
{
    classblock* t = vm_class_Throwable;
    if (!t)
        return nullptr;
    for (u4 i = 0; i < t->fields_count; ++i)
        if (std::strcmp(t->fields[i].name, name) == 0 && !(t->fields[i].access & ACC_STATIC))
            return &t->fields[i];
    return nullptr;
}

// Stand-in for exceptions raised before java/lang/Throwable exists (early
// bootstrap, unit tests of VM parts without the class library): a pending
// object with a class of its own, so that code inspecting the pending
// exception still finds a class and a name.
constinit classblock early_class = [] {
    classblock c{};
    c.name = "<exception before the class library>";
    return c;
}();
constinit method_table early_methodtable = {&early_class, {nullptr}};
alignas(8) constinit u4 early_object[4] = {0, 0, 0, 0};

void set_early_pending(EE* ee)
{
    early_object[1] = reinterpret_cast<u4>(&early_methodtable);
    vm_set_pending(ee, reinterpret_cast<jref>(&early_object[1]));
}

void set_fallback_pending(EE* ee)
{
    jref fallback = vm_preallocated_oom ? vm_preallocated_oom : vm_preallocated_internal;
    if (fallback) {
        vm_set_pending(ee, fallback);
    } else {
        std::fprintf(stderr, "Internal VM error: cannot make an exception object during start-up\n");
        _exit(134);
    }
}

void printable_name(classblock* cb, char* buf, size_t len)
{
    vm_class_name_dotted(cb, buf, len);
}

}  // namespace

u1* vm_find_handler(JavaFrame* f, jref exc)
{
    return find_handler_for_class(f, vm_class_of(exc));
}

void vm_throw(EE* ee, const char* class_name, const char* message)
{
    vm_clear_pending(ee);
    if (std::strcmp(class_name, "java/lang/StackOverflowError") == 0 && !message) {
        vm_throw_stack_overflow(ee);
        return;
    }
    if (!vm_class_Throwable) {
        set_early_pending(ee);
        return;
    }
    if (throw_depth > 4) {
        set_fallback_pending(ee);
        return;
    }
    throw_depth++;
    classblock* cb = vm_find_class(ee, class_name, 1);
    if (!cb) {
        if (!ee->exception_kind)
            set_fallback_pending(ee);
        throw_depth--;
        return;
    }
    jref msg = nullptr;
    if (message) {
        msg = vm_new_string_utf(ee, message);
        if (!msg) {
            if (!ee->exception_kind)
                set_fallback_pending(ee);
            throw_depth--;
            return;
        }
    }
    jref exc = vm_alloc_object_noraise(cb);
    if (!exc) {
        set_fallback_pending(ee);
        throw_depth--;
        return;
    }
    methodblock* init = vm_find_declared_method(cb, "<init>", msg ? "(Ljava/lang/String;)V" : "()V");
    if (!init && msg)
        init = vm_find_declared_method(cb, "<init>", "()V");
    if (init) {
        u4 argv[2] = {reinterpret_cast<u4>(exc), reinterpret_cast<u4>(msg)};
        u4 nargs = init->args_size;
        if (!vm_call_java(ee, init, argv, nargs, nullptr)) {
            throw_depth--;
            return;   // the constructor's own exception is pending
        }
    }
    if (fieldblock* bt = throwable_field("backtrace")) {
        if (!vm_field<u4>(exc, bt->value))
            vm_fill_in_stack_trace(ee, exc);
    }
    if (msg && (!init || std::strcmp(init->signature, "()V") == 0)) {
        if (fieldblock* dm = throwable_field("detailMessage"))
            vm_field<u4>(exc, dm->value) = reinterpret_cast<u4>(msg);
    }
    throw_depth--;
    vm_set_pending(ee, exc);
}

void vm_throwf(EE* ee, const char* class_name, const char* format, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    vm_throw(ee, class_name, buf);
}

void vm_throw_stack_overflow(EE* ee)
{
    vm_clear_pending(ee);
    classblock* cb = vm_lookup_class("java/lang/StackOverflowError");
    jref exc = cb ? vm_alloc_object_noraise(cb) : nullptr;
    if (!exc) {
        if (!vm_class_Throwable)
            set_early_pending(ee);
        else
            set_fallback_pending(ee);
        return;
    }
    // What Throwable's field initialiser would have stored: "cause not set".
    if (fieldblock* cause = throwable_field("cause"))
        vm_field<u4>(exc, cause->value) = reinterpret_cast<u4>(exc);
    vm_fill_in_stack_trace(ee, exc);
    vm_set_pending(ee, exc);
}

void vm_throw_static_mismatch_field(EE* ee, fieldblock* fb, bool used_to_be_static)
{
    char cls[256];
    printable_name(fb->clazz, cls, sizeof cls);
    vm_throwf(ee, "java/lang/IncompatibleClassChangeError", "%s: field %s%s used to be static", cls,
              fb->name, used_to_be_static ? "" : " did not");
}

void vm_throw_static_mismatch_method(EE* ee, methodblock* mb, bool used_to_be_static)
{
    char cls[256];
    printable_name(mb->clazz, cls, sizeof cls);
    vm_throwf(ee, "java/lang/IncompatibleClassChangeError", "%s: method %s%s%s used to be static", cls,
              mb->name, mb->signature, used_to_be_static ? "" : " did not");
}

void vm_throw_not_implemented(EE* ee, classblock* cls, classblock* iface)
{
    char c[256], i[256];
    printable_name(cls, c, sizeof c);
    printable_name(iface, i, sizeof i);
    vm_throwf(ee, "java/lang/IncompatibleClassChangeError", "class %s does not implement interface %s", c, i);
}

// ---------------------------------------------------------------------------
// MMI +160: the compiler's filter asks an interpreter activation to catch
// ---------------------------------------------------------------------------

extern "C" u1* orva_mmipExceptionMethodHandler(EE* ee, vm_activation* act, methodblock* mb,
                                               classblock* cls, int* needs_object)
{
    JavaFrame* first = act->first_frame;
    // No first frame: the activation's only frame was handed over to compiled
    // code, and nothing of the activation is left to catch.
    JavaFrame* f = first ? ee->current_frame : nullptr;
    while (f) {
        u1* handler = (f->flags & JFF_NATIVE) ? nullptr : find_handler_for_class(f, cls);
        if (handler) {
            ee->current_frame = f;
            ee->jstack_top = reinterpret_cast<u4>(f->optop_base + f->method->maxstack);
            f->saved_sp = f->optop_base;
            act->handler_pc = handler;
            if (needs_object)
                *needs_object = 1;
            return handler;
        }
        if (f->monitor) {
            jref lock = reinterpret_cast<jref>(f->monitor);
            f->monitor = 0;
            if (ee->exception_kind) {
                jref exc = vm_pending_exception(ee);
                vm_clear_pending(ee);
                if (orva_monitorExit2(ee, lock))
                    vm_set_pending(ee, exc);
                else if (ee->exception_kind)
                    cls = vm_class_of(vm_pending_exception(ee));
            } else {
                orva_monitorExit2(ee, lock);
            }
        }
        if (f == first)
            break;
        f = f->prev;
    }
    ee->current_frame = first ? first->prev : act->entry_frame;
    ee->jstack_top = act->jstack_top;
    act->entry_flags |= ACTF_UNWOUND;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Uncaught exceptions
// ---------------------------------------------------------------------------

void vm_print_uncaught(EE* ee, jref exc)
{
    vm_clear_pending(ee);
    if (!exc)
        return;
    if (vm_class_of(exc) == &early_class) {
        std::fprintf(stderr, "Internal VM error: exception before the class library was loaded\n");
        return;
    }
    char name[256] = "main";
    if (jref thread = reinterpret_cast<jref>(ee->thread_object)) {
        JValue r;
        r.j = 0;
        if (vm_call_method(ee, thread, nullptr, "getName", "()Ljava/lang/String;", &r) && r.u)
            vm_string_to_utf(reinterpret_cast<jref>(r.u), name, sizeof name);
        vm_clear_pending(ee);
    }
    // System.out first, so that what the program printed comes before the
    // report when both streams go to one place.
    if (classblock* sys = vm_lookup_class("java/lang/System")) {
        if (sys->state & CS_INITIALIZED)
            vm_call_method(ee, nullptr, sys, "flushStreams", "()V", nullptr);
        vm_clear_pending(ee);
    }
    std::fflush(stdout);
    std::fprintf(stderr, "Exception in thread \"%s\" ", name);
    std::fflush(stderr);
    if (vm_call_method(ee, exc, nullptr, "printStackTrace", "()V", nullptr))
        return;
    // printStackTrace itself failed: the VM's own rendering.
    vm_clear_pending(ee);
    char cls[256];
    vm_class_name_dotted(vm_class_of(exc), cls, sizeof cls);
    std::fprintf(stderr, "%s\n", cls);
    char line[512];
    int depth = vm_backtrace_depth(exc);
    for (int i = 0; i < depth; ++i)
        if (vm_backtrace_line(exc, i, line, sizeof line))
            std::fprintf(stderr, "\tat %s\n", line);
    std::fflush(stderr);
}
