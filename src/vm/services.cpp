// The VM services the compiler library calls through the link vector and the
// MMI table: thin wrappers over the VM's internal API with the argument
// orders, results and guarantees the compiler relies on.
//
// Conventions (all services): cdecl, callee-saved registers preserved,
// possibly entered with only 4-byte stack alignment (the whole VM is built
// for that).  A service that fails leaves an exception pending and answers 0
// unless its comment says otherwise.  The "direct" services (instance test,
// quick allocation, monitor enter and flat exit, profiler entries) are called
// from compiled code without a transition record: they never raise, never
// run Java code and never walk the stack.
#include <time.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vm.h"

// ---------------------------------------------------------------------------
// Memory and environment
// ---------------------------------------------------------------------------

extern "C" void* orva_malloc(size_t n) { return std::malloc(n); }
extern "C" void* orva_calloc(size_t n, size_t size) { return std::calloc(n, size); }
extern "C" void* orva_realloc(void* p, size_t n) { return std::realloc(p, n); }
extern "C" char* orva_strdup(const char* s) { return s ? ::strdup(s) : nullptr; }
extern "C" void orva_free(void* p) { std::free(p); }

extern "C" EE* orva_EE()
{
    return vm_current_ee();
}

extern "C" int64_t orva_now()
{
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

extern "C" s4 orva_sysGetMilliTicks()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<s4>(static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000);
}

// Characters stored (the terminating NUL not counted); the text is always
// NUL-terminated within `len` (nothing is stored when len is 0).
extern "C" int orva_jio_snprintf(char* buf, size_t len, const char* format, ...)
{
    if (!buf || len == 0)
        return 0;
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(buf, len, format, ap);
    va_end(ap);
    buf[len - 1] = '\0';
    if (n < 0) {
        buf[0] = '\0';
        return 0;
    }
    return n < static_cast<int>(len) ? n : static_cast<int>(len) - 1;
}

// "java/lang/String" -> "java.lang.String", bounded and NUL-terminated.
extern "C" char* orva_classname2string(const char* name, char* buf, int len)
{
    if (!buf || len <= 0)
        return buf;
    int i = 0;
    for (; name && name[i] && i < len - 1; i++)
        buf[i] = name[i] == '/' ? '.' : name[i];
    buf[i] = '\0';
    return buf;
}

extern "C" char* orva_javaString2CString(jref s, char* buf, int len)
{
    if (!buf || len <= 0)
        return buf;
    return vm_string_to_utf(s, buf, static_cast<size_t>(len));
}

extern "C" jref orva_makeJavaStringUTF(const char* utf8)
{
    return vm_new_string_utf(vm_current_ee(), utf8);
}

// A toString-like text that runs no Java code: the characters of a String,
// "class X" for a class, "X@hash" for anything else, "null".
extern "C" char* orva_Object2CString(jref o, char* buf, int len)
{
    if (!buf || len <= 0)
        return buf;
    if (!o) {
        orva_jio_snprintf(buf, static_cast<size_t>(len), "null");
        return buf;
    }
    classblock* cb = vm_class_of(o);
    if (cb == vm_class_String)
        return vm_string_to_utf(o, buf, static_cast<size_t>(len));
    char name[256];
    if (cb == vm_class_Class) {
        vm_class_name_dotted(reinterpret_cast<classblock*>(o), name, sizeof name);
        orva_jio_snprintf(buf, static_cast<size_t>(len), "class %s", name);
        return buf;
    }
    vm_class_name_dotted(cb, name, sizeof name);
    orva_jio_snprintf(buf, static_cast<size_t>(len), "%s@%x", name, vm_identity_hash(o));
    return buf;
}

extern "C" char* orva_pc2string(const u1* pc, methodblock* mb, char* buf, char* limit)
{
    if (!buf)
        return buf;
    // A length is always below any buffer address; an end pointer above it.
    u4 l = reinterpret_cast<u4>(limit);
    u4 size = l > reinterpret_cast<u4>(buf) ? l - reinterpret_cast<u4>(buf) : l;
    if (size == 0)
        return buf;
    if (mb && mb->code && pc >= mb->code && pc < mb->code + mb->code_length)
        return vm_frame_text(mb, pc, buf, size);
    if (mb)
        return vm_frame_text(mb, reinterpret_cast<const u1*>(1), buf, size);
    orva_jio_snprintf(buf, size, "(Compiled Code)");
    return buf;
}

namespace {

constexpr int MAX_ATEXIT = 64;
void (*atexit_functions[MAX_ATEXIT])();
int atexit_count;
bool atexit_ran;

}  // namespace

extern "C" int orva_AtExit(void (*fn)())
{
    int i = __atomic_fetch_add(&atexit_count, 1, __ATOMIC_SEQ_CST);
    if (i < MAX_ATEXIT)
        atexit_functions[i] = fn;
    return 0;
}

void vm_run_atexit_functions()
{
    if (__atomic_exchange_n(&atexit_ran, true, __ATOMIC_SEQ_CST))
        return;
    int n = atexit_count < MAX_ATEXIT ? atexit_count : MAX_ATEXIT;
    for (int i = n - 1; i >= 0; i--)
        if (atexit_functions[i])
            atexit_functions[i]();
}

// ---------------------------------------------------------------------------
// Classes, constant pools, checks
// ---------------------------------------------------------------------------

extern "C" classblock* orva_FindClass(EE* ee, const char* name, int init)
{
    return vm_find_class(ee ? ee : vm_current_ee(), name, init);
}

// One loader: the requesting class does not change the answer.
extern "C" classblock* orva_FindClassFromClass(EE* ee, const char* name, int init, classblock* from)
{
    return vm_find_class(ee ? ee : vm_current_ee(), name, init);
}

extern "C" const char* orva_GetClassConstantClassName(u4* cp, int index)
{
    return vm_cp_class_name(cp, static_cast<u2>(index));
}

namespace {

int resolve(u4* cp, int index, EE* ee, u4 mask)
{
    if (!ee)
        ee = vm_current_ee();
    u1 tag = vm_cp_tags(cp)[index];
    // Resolved entries are read without a lock (word stored before the tag).
    if ((tag & CONSTANT_RESOLVED) && (mask & (1u << (tag & CONSTANT_TAG_MASK))))
        return 1;
    return vm_resolve_constant(ee, cp, static_cast<u2>(index), mask) != 0 ? 1 : 0;
}

}  // namespace

// Resolution links but never initialises: `init` is ignored (callers that
// need initialisation call orva_ExecuteStaticInitializers themselves).
extern "C" int orva_ResolveClassConstant2(u4* cp, int index, EE* ee, u4 mask, int init)
{
    return resolve(cp, index, ee, mask);
}

extern "C" int orva_ResolveClassConstantFromClass2(classblock* cb, int index, EE* ee, u4 mask, int init)
{
    return resolve(cb->constantpool, index, ee, mask);
}

extern "C" int orva_ExecuteStaticInitializers(classblock* cb)
{
    if (cb->state & CS_INITIALIZED)
        return 1;
    return vm_init_class(vm_current_ee(), cb) ? 1 : 0;
}

extern "C" int orva_LinkClass(classblock* cb)
{
    if (cb->state & CS_LINKED)
        return 1;
    return vm_link_class(vm_current_ee(), cb) ? 1 : 0;
}

extern "C" void orva_EnumerateOverLoaderCache(EE* ee, void (*fn)(classblock*, void*), void* arg)
{
    vm_enumerate_classes(fn, arg);
}

extern "C" int orva_VerifyClassAccess(classblock* from, classblock* cb, int flag)
{
    return vm_class_accessible(from, cb) ? 1 : 0;
}

extern "C" int orva_VerifyFieldAccess(classblock* from, fieldblock* fb, int flag)
{
    return vm_field_accessible(from, fb) ? 1 : 0;
}

extern "C" int orva_is_subclass_of(classblock* cb, classblock* super_class, EE* ee)
{
    return vm_is_subclass_of(cb, super_class) ? 1 : 0;
}

extern "C" int orva_is_instance_of(jref o, classblock* cb, EE* ee)
{
    return o && vm_is_instance_of(o, cb) ? 1 : 0;
}

extern "C" int orva_isSpecialSuperCall(classblock* caller, methodblock* mb)
{
    return vm_is_special_super_call(caller, mb) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Allocation
// ---------------------------------------------------------------------------

extern "C" jref orva_AllocObject(EE* ee, classblock* cb)
{
    return vm_alloc_object_noraise(cb);
}

extern "C" jref orva_AllocArray(EE* ee, int type, s4 length)
{
    return vm_alloc_array_noraise(type, length);
}

extern "C" jref orva_MultiArrayAlloc(int ndims, classblock* array_class, s4* dims)
{
    if (ndims <= 0 || ndims > 255 || !dims)
        return nullptr;
    s4 lengths[255];
    for (int i = 0; i < ndims; i++) {
        lengths[i] = dims[-i];
        if (lengths[i] < 0)
            return nullptr;
    }
    EE* ee = vm_current_ee();
    // The caller raises OutOfMemoryError itself: answer 0 with nothing pending
    // and any exception that was pending before left as it was.
    u4 kind = ee->exception_kind, exc = ee->exception;
    jref a = vm_new_multi_array(ee, array_class, ndims, lengths);
    ee->exception_kind = kind;
    ee->exception = exc;
    return a;
}

extern "C" u4 orva_sizearray(int type, s4 length)
{
    return static_cast<u4>(length) * vm_type_size(type);
}

extern "C" void* orva_javasoftcacheAlloc()
{
    return nullptr;
}

// ---------------------------------------------------------------------------
// Exceptions
// ---------------------------------------------------------------------------

extern "C" void orva_SignalError(EE* ee, const char* class_name, const char* message)
{
    vm_throw(ee ? ee : vm_current_ee(), class_name, message);
}

extern "C" jref orva_exceptionInternalObject(int which)
{
    return vm_preallocated_internal;
}

extern "C" void orva_fillInStackTrace(EE* ee, jref throwable)
{
    vm_fill_in_stack_trace(ee ? ee : vm_current_ee(), throwable);
}

// ---------------------------------------------------------------------------
// Monitors, threads, Java stacks
// ---------------------------------------------------------------------------

extern "C" void orva_monitorRegister(void* monitor, const char* name) {}

namespace {

void dump_one_thread(EE* ee, void* self)
{
    char name[128] = "?";
    jref thread = reinterpret_cast<jref>(ee->thread_object);
    if (thread) {
        fieldblock* fb = vm_find_field(vm_class_of(thread), "name", "Ljava/lang/String;");
        if (fb && !(fb->access & ACC_STATIC))
            vm_string_to_utf(vm_field<jref>(thread, fb->value), name, sizeof name);
    }
    std::fprintf(stderr, "\"%s\" (thread %u)%s\n", name, ee->thread_index,
                 ee == self ? "" : " (stack not shown: the thread is running)");
    // Another thread's stack can be walked only while it is suspended.
    if (ee == self)
        vm_dump_java_stack(ee, 2);
}

}  // namespace

extern "C" void orva_DumpThreads()
{
    std::fflush(stderr);
    vm_enumerate_threads(dump_one_thread, vm_current_ee());
}

extern "C" int orva_ExpandJavaStack() { return 1; }
extern "C" int orva_ExpandJavaStackForJNI() { return 1; }

extern "C" int orva_JavaStackSize()
{
    EE* ee = vm_current_ee();
    if (ee)
        return static_cast<int>(ee->jstack_limit - ee->jstack_base);
    return static_cast<int>(vm_opts.java_stack_size);
}

extern "C" void orva_ExecuteJava()
{
    std::fputs("orva_ExecuteJava: unsupported\n", stderr);
    std::abort();
}

// ---------------------------------------------------------------------------
// Invocation and natives
// ---------------------------------------------------------------------------

extern "C" void* orva_dynoLink(methodblock* mb, u4* out)
{
    void* f = mb->native_code ? mb->native_code : vm_bind_native(mb);
    if (f && out)
        *out = 1;
    return f;
}

extern "C" void* orva_getCustomInvoker() { return nullptr; }

extern "C" void* orva_mmijGetCustomSelectInvoker(EE* ee, methodblock* mb, int flag)
{
    return nullptr;
}

// Calls a method with C arguments taken from `args` by its signature (int
// classes and references as int, long as int64_t, float and double as
// double, as C varargs promote them).  Answers the low result word.
extern "C" u4 orva_do_execute_java_method_vararg(EE* ee, jref obj, const char* name, const char* sig,
                                                 methodblock* mb, int is_static, va_list args)
{
    if (!ee)
        ee = vm_current_ee();
    if (!mb) {
        classblock* cb = is_static ? reinterpret_cast<classblock*>(obj) : vm_class_of(obj);
        mb = cb ? vm_find_method(cb, name, sig) : nullptr;
        if (!mb) {
            vm_throw(ee, "java/lang/NoSuchMethodError", name);
            return 0;
        }
    }
    u4 argv[256];
    u4 n = 0;
    if (!is_static)
        argv[n++] = reinterpret_cast<u4>(obj);
    const char* p = mb->signature + 1;
    while (*p && *p != ')' && n < 254) {
        char c = *p;
        const char* next = p;
        if (!vm_skip_field_sig(next))
            break;
        if (c == 'J' || c == 'D') {
            JValue v;
            if (c == 'J')
                v.j = va_arg(args, int64_t);
            else
                v.d = va_arg(args, double);
            argv[n++] = v.w[1];             // high half in the lower slot
            argv[n++] = v.w[0];
        } else if (c == 'F') {
            JValue v;
            v.f = static_cast<float>(va_arg(args, double));
            argv[n++] = v.u;
        } else {
            argv[n++] = va_arg(args, u4);
        }
        p = next;
    }
    JValue result = {};
    if (!vm_call_java(ee, mb, argv, n, &result))
        return 0;
    return result.u;
}

extern "C" u4 orva_execute_java_static_method(EE* ee, classblock* cb, const char* name,
                                              const char* sig, ...)
{
    va_list ap;
    va_start(ap, sig);
    u4 r = orva_do_execute_java_method_vararg(ee, reinterpret_cast<jref>(cb), name, sig, nullptr, 1, ap);
    va_end(ap);
    return r;
}

extern "C" jhandle orva_jni_mkRefLocal(EE* ee, jref o)
{
    return vm_jni_ref(ee ? ee : vm_current_ee(), o);
}

// ---------------------------------------------------------------------------
// MMI interface
// ---------------------------------------------------------------------------

extern "C" u4 orva_mmiInterfaceVersion()
{
    return MMI_VERSION_WORD;
}

extern "C" void orva_mmipJitInitialize() {}

extern "C" void orva_mmipGetInstructionAddressRange(EE* ee, u4 out[2])
{
    vm_interpreter_range(out);
}

extern "C" int orva_mmipExceptionRestoreCallerContext()
{
    return 0;
}

// The compiler's handler stands in every interpreter registration from now
// on; registrations already on this thread's chain get it too (at start-up
// that is the bottom registration and those of running VM activations, which
// all carry the previous value).
extern "C" void orva_mmijExceptionRegisterHandler(EE* ee, void* handler)
{
    void* old = vm_exception_handler;
    vm_exception_handler = handler;
    if (!ee)
        ee = vm_current_ee();
    if (!ee)
        return;
    auto* t = reinterpret_cast<tla*>(ee->area);
    for (u4 p = t->registration; p; p = *reinterpret_cast<u4*>(p)) {
        u4* handler_word = reinterpret_cast<u4*>(p + REG_HANDLER);
        if (*handler_word == reinterpret_cast<u4>(old))
            *handler_word = reinterpret_cast<u4>(handler);
    }
}

extern "C" void orva_mmijExceptionRegisterRaiser(EE* ee, void* raiser)
{
    vm_exception_raiser = raiser;
}

// ---------------------------------------------------------------------------
// Profiler interface: the state behind slot 85 is all zero, so none of these
// has anything to report.
// ---------------------------------------------------------------------------

extern "C" int orva_java_profiler_isOn() { return 0; }
extern "C" void orva_java_profiler_log(...) {}
extern "C" void orva_jvmpi_method_entry(EE* ee, jref obj_or_class, methodblock* mb) {}
extern "C" void orva_jvmpi_method_exit(EE* ee, methodblock* mb) {}
extern "C" void orva_jvmpi_load_compiled_method(void* record) {}
extern "C" void orva_jvmpi_generic_event(void* record) {}
