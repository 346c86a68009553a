// Start-up of the test-double compiler: java_lang_Compiler_start checks the
// link vector the way the compiler's binding does (version words, slot
// kinds, the MMI table and its version function), calls every service once
// with valid arguments and checks the documented results, writes its hooks,
// registers its exception handler through MMI +172 (and checks that the VM
// rewrote the registrations already on the thread), performs the compiler's
// start-up check of the thread-local area, and prepares the classes loaded
// so far by giving their methods the selectors.
//
// FAKEJIT_REFUSE=version|lossless|mmi makes it refuse the VM as the compiler
// would for a wrong version word, UseLosslessQuickOpcodes 0, or a VM without
// MMI: it prints the compiler's refusal text and installs nothing.
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "fakejit.h"

fj_services fj;

namespace {

void** lv;                      // the link vector
void** mmi;                     // the MMI table
int checks;
const char version_text[] = "3.6-(Vornel)-JDK1.2";

// Prepared classes, to check that superclasses and interfaces come first.
constexpr int MAX_PREPARED = 4096;
classblock* prepared[MAX_PREPARED];
int nprepared;

void check(bool ok, const char* what)
{
    checks++;
    if (!ok)
        fj_note_failure("start-up: %s", what);
}

template <typename F> F slot(int i) { return reinterpret_cast<F>(lv[i]); }
template <typename F> F mmi_at(int byte_offset) { return reinterpret_cast<F>(mmi[byte_offset / 4]); }

bool was_prepared(classblock* cb)
{
    for (int i = 0; i < nprepared; i++)
        if (prepared[i] == cb)
            return true;
    return false;
}

// The selectors a prepared method gets (setup_invoker).
void setup_invoker(EE* ee, methodblock* mb)
{
    if (std::strcmp(mb->name, "<clinit>") == 0)
        return;
    bool sync = (mb->access & ACC_SYNCHRONIZED) != 0;
    if (mb->access & (ACC_NATIVE | ACC_ABSTRACT)) {
        if ((mb->access & ACC_ABSTRACT) || !mb->invoker)
            return;
        if (mb->invoker == fj.invokers[4]) {
            mb->invoker = fj.selectors[4];
        } else if (sync) {
            mb->invoker = fj.selectors[6];
        } else {
            void* custom = fj.custom_select(ee, mb, 1);
            mb->invoker = custom ? custom : fj.selectors[5];
        }
        return;
    }
    bool with_catch = mb->exception_table_length != 0;
    mb->invoker = fj.selectors[(with_catch ? 2 : 0) + (sync ? 1 : 0)];
}

void prepare_class(EE* ee, classblock* cb)
{
    for (int i = 0; i < cb->methods_count; i++)
        setup_invoker(ee, &cb->methods[i]);
    for (int i = 0; i < cb->miranda_count; i++)
        setup_invoker(ee, &cb->mirandas[i]);
    if (nprepared < MAX_PREPARED)
        prepared[nprepared++] = cb;
}

extern "C" void fj_initialize_for_compiler(classblock* cb)
{
    EE* ee = fj.current_ee();
    if (!(cb->state & CS_LINKED))
        fj_note_failure("class %s announced before it was linked", cb->name);
    if (cb->superclass && !was_prepared(cb->superclass))
        fj_note_failure("class %s announced before its superclass %s", cb->name, cb->superclass->name);
    for (int i = 0; i < cb->implements_count; i++)
        if (cb->interfaces && cb->interfaces[i] && !was_prepared(cb->interfaces[i]))
            fj_note_failure("class %s announced before its interface %s", cb->name,
                            cb->interfaces[i]->name);
    prepare_class(ee, cb);
}

void collect_class(classblock* cb, void* arg)
{
    (*static_cast<int*>(arg))++;
    if (!(cb->state & CS_LINKED))
        fj_note_failure("start-up walk: class %s is not linked", cb->name);
    prepare_class(fj.current_ee(), cb);
}

// Hooks the VM may call; they do what the compiler's do.
extern "C" int fj_signal_hook(int, void*, void*) { return 0; }
extern "C" void fj_free_class(classblock*) {}
extern "C" int fj_compile_class(void*) { return 0; }
extern "C" int fj_compile_classes(void*) { return 0; }
extern "C" void fj_enable() {}
extern "C" void fj_disable() {}
extern "C" u4 fj_compiled_pc(u4* record) { return record ? record[6] : 0; }
extern "C" int fj_frame_update(void*) { return 0; }
extern "C" void fj_load_class(classblock*) {}
extern "C" int fj_pc_to_line(void*, void*) { return -1; }
extern "C" void fj_gc_callback(EE*) {}
extern "C" void fj_xfer()
{
    fj_note_failure("the VM called _mmi2jit_xfer");
    std::abort();
}
extern "C" void fj_global_lock(EE*) {}
extern "C" void fj_global_unlock(EE*) {}

bool refuse(int java, int minor, int iface, const char* reason, bool lossless)
{
    if (lossless)
        std::fprintf(stderr,
                     "\"Just-in-Time Compiler version %s\" cannot adapt to this Java Virtual Machine "
                     "version %d-%d-%d (UseLosslessQuickOpcodes is FALSE). The reason is %s.\n",
                     version_text, java, minor, iface, reason);
    else
        std::fprintf(stderr,
                     "\"Just-in-Time Compiler version %s\" cannot adapt to this Java Virtual Machine "
                     "version %d-%d-%d. The reason is %s.\n",
                     version_text, java, minor, iface, reason);
    return false;
}

// Version word, slot 19 and the MMI binding, as the compiler checks them.
bool accept_vm(const char* forced)
{
    u4 v = *static_cast<u4*>(lv[LV_VERSION]);
    int java = (v >> 16) & 0xFF, minor = v & 0xFFFF, iface = static_cast<int8_t>(v >> 24);
    char reason[96];
    if (forced && std::strcmp(forced, "version") == 0)
        java = 46;
    if (java != 45) {
        std::snprintf(reason, sizeof reason, "orva_java_version=%d must be 45", java);
        return refuse(java, minor, iface, reason, false);
    }
    if (minor != 3) {
        std::snprintf(reason, sizeof reason, "orva_java_minor_version=%d must be 3", minor);
        return refuse(java, minor, iface, reason, false);
    }
    if (iface != 6) {
        std::snprintf(reason, sizeof reason, "orva_compiler_version=%d is wrong", iface);
        return refuse(java, minor, iface, reason, false);
    }
    mmi = static_cast<void**>(lv[LV_MMI]);
    auto version_fn = mmi_at<u4 (*)()>(MMI_INTERFACE_VERSION);
    if (!version_fn || version_fn() == 0 || (forced && std::strcmp(forced, "mmi") == 0)) {
        std::fputs("The MMI JIT cannot be attached to this non-MMI JVM.\n", stderr);
        std::fflush(stderr);
        return refuse(java, minor, iface, "get link vector failed", false);
    }
    if (*mmi_at<u4*>(MMI_VERSION) != MMI_VERSION_WORD)
        return refuse(java, minor, iface, "get link vector failed", false);
    u4 lossless = *static_cast<u4*>(lv[LV_LOSSLESS_QUICK]);
    if (forced && std::strcmp(forced, "lossless") == 0)
        lossless = 0;
    if (lossless != 1) {
        std::snprintf(reason, sizeof reason, "GET_UseLossLess=%u must be %d", lossless, 1);
        return refuse(java, minor, iface, reason, true);
    }
    return true;
}

void check_slot_kinds()
{
    static const int hooks[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                                94, 101, 102, 103};
    for (int h : hooks) {
        char what[64];
        std::snprintf(what, sizeof what, "hook slot %d holds a variable", h);
        check(lv[h] != nullptr, what);
        if (lv[h]) {
            std::snprintf(what, sizeof what, "hook slot %d starts as %d", h, h == 19 ? 1 : 0);
            check(*static_cast<u4*>(lv[h]) == (h == 19 ? 1u : 0u), what);
        }
        for (int g : hooks)
            if (g < h && lv[g] == lv[h])
                check(false, "two hook slots share a variable");
    }
    static const int unused[] = {1, 2, 61, 63, 88, 92};
    for (int u : unused)
        check(lv[u] == nullptr, "an unread slot is not 0");
    for (int s = 20; s <= 108; s++) {
        bool is_hook = false;
        for (int h : hooks)
            is_hook |= h == s;
        bool is_unused = s == 61 || s == 63 || s == 88 || s == 92;
        if (!is_hook && !is_unused) {
            char what[48];
            std::snprintf(what, sizeof what, "service slot %d is filled", s);
            check(lv[s] != nullptr, what);
        }
    }
    for (int s = 109; s < LV_SIZE; s++)
        check(lv[s] == nullptr, "a spare slot is not 0");

    // Class variables behind slots 29-35.
    static const struct { int slot; const char* name; } classes[] = {
        {29, "java/lang/Class"}, {30, "java/lang/Object"}, {31, "java/lang/String"},
        {32, "java/lang/Throwable"}, {33, "java/lang/Exception"},
        {34, "java/lang/RuntimeException"}, {35, "java/lang/Cloneable"},
    };
    for (const auto& c : classes) {
        classblock* cb = *static_cast<classblock**>(lv[c.slot]);
        check(cb && std::strcmp(cb->name, c.name) == 0, c.name);
    }
    classblock** table = *static_cast<classblock***>(lv[LV_BINCLASSES]);
    int n = *static_cast<int*>(lv[LV_NBINCLASSES]);
    check(table && n > 0, "loaded-class table");
    const u4* jvmpi = static_cast<const u4*>(lv[LV_JVMPI_INFO]);
    for (int i = 0; i < 8; i++)
        check(jvmpi[i] == 0, "profiler state is zero");

    // Every invoker and selector is a distinct function.
    void* entries[] = {lv[57], lv[58], lv[59], lv[60], lv[62], lv[64], lv[65],
                       mmi[MMI_INVOKE_JAVA_WITH_CATCH / 4], mmi[MMI_INVOKE_SYNC_JAVA_WITH_CATCH / 4],
                       mmi[MMI_SELECT_JAVA / 4], mmi[MMI_SELECT_SYNC_JAVA / 4],
                       mmi[MMI_SELECT_JAVA_WITH_CATCH / 4], mmi[MMI_SELECT_SYNC_JAVA_WITH_CATCH / 4],
                       mmi[MMI_SELECT_LAZY_NATIVE / 4], mmi[MMI_SELECT_JNI_NATIVE / 4],
                       mmi[MMI_SELECT_JNI_SYNC_NATIVE / 4]};
    int nentries = sizeof entries / sizeof entries[0];
    for (int i = 0; i < nentries; i++) {
        check(entries[i] != nullptr, "an invoker or selector is missing");
        for (int j = 0; j < i; j++)
            if (entries[i] == entries[j])
                check(false, "two invokers or selectors share an address");
    }

    // MMI words that are not used are 0; the GC link vector.
    for (int off : {4, 8, 32, 36, 40, 44, 48, 52, 92, 96, 100})
        check(mmi[off / 4] == nullptr, "an unused MMI word is not 0");
    void** gc = mmi_at<void**>(MMI_GC_LINK_VECTOR);
    check(gc && reinterpret_cast<u4>(gc[GCV_VERSION]) == GCV_VERSION_WORD, "GC vector version");
    check(gc && gc[GCV_QUICK_ALLOC] && gc[GCV_QUICK_ALLOC_NEW], "quick allocation entries");
    check(gc && gc[GCV_CALLBACK_START] && gc[GCV_CALLBACK_END], "GC callbacks");
    void** fi = mmi_at<void**>(MMI_FRAME_INTF);
    check(fi && fi[FI_FRAME_ADDRESS], "frame-interface slot 18");
    for (int off : {MMI_HOOK_COMPILE, MMI_HOOK_COMPILE_XFER, MMI_HOOK_XFER, MMI_HOOK_GLOBAL_LOCK,
                    MMI_HOOK_GLOBAL_UNLOCK})
        check(mmi[off / 4] && *static_cast<u4*>(mmi[off / 4]) == 0, "MMI hook variable");
}

// Every service once, with valid arguments, against its documented result.
void check_services(EE* ee)
{
    auto find_class = slot<classblock* (*)(EE*, const char*, int)>(LV_FIND_CLASS);
    auto is_subclass = slot<int (*)(classblock*, classblock*, EE*)>(LV_IS_SUBCLASS_OF);
    auto is_instance = slot<int (*)(JHandle*, classblock*, EE*)>(LV_IS_INSTANCE_OF);
    auto snprintf_ = slot<int (*)(char*, size_t, const char*, ...)>(LV_JIO_SNPRINTF);
    auto classname = slot<char* (*)(const char*, char*, int)>(LV_CLASSNAME2STRING);
    auto make_string = mmi_at<JHandle* (*)(const char*)>(MMI_MAKE_JAVA_STRING_UTF);
    auto string2c = slot<char* (*)(JHandle*, char*, int)>(LV_JAVASTRING2CSTRING);
    auto object2c = mmi_at<char* (*)(JHandle*, char*, int)>(MMI_OBJECT2CSTRING);
    auto alloc_object = slot<JHandle* (*)(EE*, classblock*)>(LV_ALLOC_OBJECT);
    auto alloc_array = slot<JHandle* (*)(EE*, int, s4)>(LV_ALLOC_ARRAY);
    auto sizearray = slot<u4 (*)(int, s4)>(LV_SIZEARRAY);
    auto multi = slot<JHandle* (*)(int, classblock*, s4*)>(LV_MULTI_ARRAY_ALLOC);
    auto monitor_enter = slot<int (*)(EE*, JHandle*)>(LV_MONITOR_ENTER2);
    auto monitor_exit = slot<int (*)(EE*, JHandle*)>(LV_MONITOR_EXIT2);
    auto notify = slot<void (*)(EE*, JHandle*)>(LV_MONITOR_NOTIFY2);
    auto flat_exit = mmi_at<void (*)(EE*, JHandle*)>(MMI_MONITOR_FLAT_EXIT);
    auto sm_sizeof = slot<int (*)()>(LV_SYS_MONITOR_SIZEOF);
    auto sm_init = mmi_at<void (*)(void*)>(MMI_SYS_MONITOR_INIT);
    auto sm_enter = slot<void (*)(void*, void*)>(LV_SYS_MONITOR_ENTER);
    auto sm_exit = slot<void (*)(void*, void*)>(LV_SYS_MONITOR_EXIT);
    auto sm_entered = slot<int (*)(void*, void*)>(LV_SYS_MONITOR_ENTERED);
    auto sm_wait = slot<void (*)(void*, void*, int64_t)>(LV_SYS_MONITOR_WAIT);
    auto cp_class_name = slot<const char* (*)(u4*, int)>(LV_GET_CLASS_CONSTANT_CLASS_NAME);
    auto resolve = slot<int (*)(u4*, int, EE*, u4, int)>(LV_RESOLVE_CLASS_CONSTANT2);
    auto resolve_cb = slot<int (*)(classblock*, int, EE*, u4, int)>(LV_RESOLVE_CLASS_CONSTANT_FROM_CLASS2);
    auto verify_class = slot<int (*)(classblock*, classblock*, int)>(LV_VERIFY_CLASS_ACCESS);
    auto static_init = slot<int (*)(classblock*)>(LV_EXECUTE_STATIC_INITIALIZERS);
    auto link_class = mmi_at<int (*)(classblock*)>(MMI_LINK_CLASS);
    auto enumerate = mmi_at<void (*)(EE*, void (*)(classblock*, void*), void*)>(MMI_ENUMERATE_LOADER_CACHE);
    auto dyno = slot<void* (*)(methodblock*, u4*)>(LV_DYNO_LINK);
    auto custom = slot<void* (*)()>(LV_GET_CUSTOM_INVOKER);
    auto range = mmi_at<void (*)(EE*, u4*)>(MMI_INSTRUCTION_RANGE);
    auto internal = slot<JHandle* (*)(int)>(LV_EXCEPTION_INTERNAL_OBJECT);
    auto stack_size = slot<int (*)()>(LV_JAVA_STACK_SIZE);
    auto profiler_on = slot<int (*)()>(LV_PROFILER_IS_ON);
    auto stack_top = mmi_at<void* (*)(void*)>(MMI_SYS_THREAD_STACK_TOP);
    auto static_method = slot<u4 (*)(EE*, classblock*, const char*, const char*, ...)>(LV_EXECUTE_JAVA_STATIC_METHOD);
    auto now = slot<int64_t (*)()>(LV_NOW);
    auto ticks = mmi_at<s4 (*)()>(MMI_SYS_GET_MILLI_TICKS);
    auto pc2string = mmi_at<char* (*)(const u1*, methodblock*, char*, char*)>(MMI_PC2STRING);
    auto expand = slot<int (*)()>(LV_EXPAND_JAVA_STACK);
    auto mk_ref = slot<u4* (*)(EE*, JHandle*)>(LV_JNI_MKREFLOCAL);
    auto fill = mmi_at<void (*)(EE*, JHandle*)>(MMI_FILL_IN_STACK_TRACE);

    check(slot<EE* (*)()>(LV_EE)() == ee, "orva_EE is the TLA's EE");
    char buf[128];
    int n = snprintf_(buf, 8, "%s", "abcdefghij");
    check(n == 7 && std::strcmp(buf, "abcdefg") == 0, "jio_snprintf truncates and terminates");
    check(std::strcmp(classname("java/lang/String", buf, 10), "java.lang") == 0,
          "classname2string is bounded and dotted");

    classblock* object = *static_cast<classblock**>(lv[LV_CLASS_OBJECT]);
    classblock* string = *static_cast<classblock**>(lv[LV_CLASS_STRING]);
    check(find_class(ee, "java/lang/String", 0) == string, "FindClass java/lang/String");
    check(fj.FindClassFromClass(ee, "java/lang/Object", 1, nullptr) == object, "FindClassFromClass");
    check(find_class(ee, "no/such/Class", 0) == nullptr && ee->exception_kind == 1 && ee->exception,
          "FindClass of a missing class leaves an exception pending");
    ee->exception_kind = 0;
    ee->exception = 0;
    check(is_subclass(string, object, ee) == 1 && is_subclass(object, string, ee) == 0,
          "is_subclass_of answers 1 and 0");
    check(is_instance(nullptr, object, ee) == 0, "is_instance_of(null) is 0");
    JHandle* s = make_string("fakejit");
    check(s && is_instance(s, string, ee) == 1, "makeJavaStringUTF gives a String");
    check(s && std::strcmp(string2c(s, buf, sizeof buf), "fakejit") == 0, "javaString2CString");
    check(std::strcmp(object2c(nullptr, buf, sizeof buf), "null") == 0, "Object2CString(null)");
    JHandle* o = alloc_object(ee, object);
    check(o && o->word0 == reinterpret_cast<u4>(object->methodtable) && o->lockword == 0,
          "AllocObject header");
    JHandle* a = alloc_array(ee, T_INT, 5);
    check(a && a->word0 == 5 && a->lockword == (T_INT * 8 | LOCK_HDR_ARRAY), "AllocArray header");
    check(sizearray(T_LONG, 3) == 24 && sizearray(T_REFERENCE, 3) == 12, "sizearray");
    auto quick = reinterpret_cast<JHandle* (*)(EE*, u4, u4, u4)>(
        mmi_at<void**>(MMI_GC_LINK_VECTOR)[GCV_QUICK_ALLOC]);
    JHandle* q = quick(ee, 3, T_INT * 8 | LOCK_HDR_ARRAY, (3 * 4 + 19) & ~7u);
    check(q && q->word0 == 3 && q->lockword == (T_INT * 8 | LOCK_HDR_ARRAY)
              && reinterpret_cast<u4*>(q)[-1] == 0 && reinterpret_cast<u4*>(q)[2] == 0,
          "quick allocation of an int[3]");
    classblock* ii = find_class(ee, "[[I", 0);
    s4 dims[2] = {4, 3};                        // outermost 3 at the higher address
    JHandle* m = ii ? multi(2, ii, &dims[1]) : nullptr;
    check(m && m->word0 == 3 && reinterpret_cast<JHandle**>(m)[2]
              && reinterpret_cast<JHandle**>(m)[2]->word0 == 4,
          "MultiArrayAlloc [3][4]");

    check(monitor_enter(ee, o) == 1 && monitor_enter(ee, o) == 1, "monitorEnter2 twice");
    notify(ee, o);
    check(ee->exception_kind == 0, "monitorNotify2 by the owner");
    check(monitor_exit(ee, o) == 1 && monitor_exit(ee, o) == 1, "monitorExit2 twice");
    check(monitor_exit(ee, o) == 0 && ee->exception_kind == 1, "monitorExit2 by a non-owner");
    ee->exception_kind = 0;
    ee->exception = 0;
    flat_exit(ee, o);

    check(sm_sizeof() > 0 && sm_sizeof() <= 64, "sysMonitorSizeof");
    alignas(8) static u1 mon[64];
    sm_init(mon);
    sm_enter(ee->sys_thread, mon);
    sm_enter(ee->sys_thread, mon);
    check(sm_entered(ee->sys_thread, mon) == 1, "sysMonitorEntered");
    sm_wait(ee->sys_thread, mon, 1);
    sm_exit(ee->sys_thread, mon);
    check(sm_entered(ee->sys_thread, mon) == 1, "sysMonitor is re-entrant");
    sm_exit(ee->sys_thread, mon);
    check(sm_entered(ee->sys_thread, mon) == 0, "sysMonitorExit");
    for (int l : {LV_BINCLASS_LOCK, LV_LINKCLASS_LOCK, LV_CODE_LOCK, LV_QUEUE_LOCK}) {
        sm_enter(ee->sys_thread, lv[l]);
        check(sm_entered(ee->sys_thread, lv[l]) == 1, "VM lock can be entered");
        sm_exit(ee->sys_thread, lv[l]);
    }

    // A Class entry of String's constant pool.
    u4* cp = string->constantpool;
    int ci = 0;
    for (int i = 1; i < string->constantpool_count; i++)
        if ((reinterpret_cast<u1*>(cp[0])[i] & CONSTANT_TAG_MASK) == CONSTANT_Class) {
            ci = i;
            break;
        }
    check(ci != 0, "String's pool has a Class entry");
    if (ci) {
        const char* name = cp_class_name(cp, ci);
        check(name != nullptr, "GetClassConstantClassName");
        check(resolve(cp, ci, ee, 1u << CONSTANT_Class, 1) != 0
                  && (reinterpret_cast<u1*>(cp[0])[ci] & CONSTANT_RESOLVED)
                  && std::strcmp(reinterpret_cast<classblock*>(cp[ci])->name, name) == 0,
              "ResolveClassConstant2 stores the class");
        check(resolve_cb(string, ci, ee, 1u << CONSTANT_Class, 0) != 0,
              "ResolveClassConstantFromClass2");
        check(resolve(cp, ci, ee, 1u << CONSTANT_Fieldref, 0) == 0 && ee->exception_kind == 1,
              "a tag outside the mask is an error");
        ee->exception_kind = 0;
        ee->exception = 0;
    }
    check(verify_class(object, string, 0) == 1 && verify_class(object, string, 1) == 1,
          "VerifyClassAccess ignores its third argument");
    check(static_init(string) == 1 && link_class(string) == 1, "static initialisers, link");
    int count = 0;
    enumerate(ee, [](classblock* cb, void* arg) { (*static_cast<int*>(arg))++; }, &count);
    check(count >= *static_cast<int*>(lv[LV_NBINCLASSES]) && count > 0, "EnumerateOverLoaderCache");

    methodblock* native = nullptr;
    for (int i = 0; i < object->methods_count && !native; i++)
        if (object->methods[i].access & ACC_NATIVE)
            native = &object->methods[i];
    u4 out = 0;
    check(native && dyno(native, &out) != nullptr && out == 1, "dynoLink of an Object native");
    check(custom() == nullptr && fj.custom_select(ee, native, 1) == nullptr, "no custom invokers");
    u4 r[2] = {0, 0};
    range(ee, r);
    check(r[0] != 0 && r[0] < r[1], "interpreter code range");
    fj.interp_range[0] = r[0];
    fj.interp_range[1] = r[1];
    JHandle* ie = internal(1);
    classblock* internal_error = find_class(ee, "java/lang/InternalError", 0);
    check(ie && internal_error && is_instance(ie, internal_error, ee) == 1, "InternalError object");
    check(stack_size() > 0 && expand() == 1 && profiler_on() == 0, "stack size, profiler");
    check(reinterpret_cast<u4>(stack_top(ee->sys_thread)) == ee->area + THREAD_AREA_SIZE,
          "sysThreadStackTop");
    check(now() > 0 && ticks() != 0x7FFFFFFF, "clocks");
    check(pc2string(nullptr, nullptr, buf, buf + sizeof buf) == buf, "pc2string");
    check(mk_ref(ee, o) && *mk_ref(ee, o) == reinterpret_cast<u4>(o), "jni_mkRefLocal");

    classblock* integer = find_class(ee, "java/lang/Integer", 1);
    JHandle* digits = make_string("123");
    u4 value = integer ? static_method(ee, integer, "parseInt", "(Ljava/lang/String;)I", digits) : 0;
    check(value == 123 && ee->exception_kind == 0, "execute_java_static_method");

    fj.SignalError(ee, "java/lang/IllegalStateException", "probe");
    classblock* ise = find_class(ee, "java/lang/IllegalStateException", 0);
    check(ee->exception_kind == 1 && ise
              && is_instance(reinterpret_cast<JHandle*>(ee->exception), ise, ee) == 1,
          "SignalError makes the exception pending");
    if (ee->exception)
        fill(ee, reinterpret_cast<JHandle*>(ee->exception));
    ee->exception_kind = 0;
    ee->exception = 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) char* jit_CompilerVersion(char* buffer, int length)
{
    if (buffer && length > 0)
        std::strncpy(buffer, version_text, static_cast<size_t>(length));
    return buffer;
}

extern "C" __attribute__((visibility("default"))) void java_lang_Compiler_start(void** link_vector)
{
    static bool started;
    if (started)
        return;
    started = true;
    lv = link_vector;
    const char* forced = std::getenv("FAKEJIT_REFUSE");
    if (!accept_vm(forced))
        return;

    fj.current_ee = slot<EE* (*)()>(LV_EE);
    fj.SignalError = slot<void (*)(EE*, const char*, const char*)>(LV_SIGNAL_ERROR);
    fj.FindClassFromClass = slot<classblock* (*)(EE*, const char*, int, classblock*)>(LV_FIND_CLASS_FROM_CLASS);
    fj.execute_static = slot<u4 (*)(EE*, classblock*, const char*, const char*, ...)>(
        LV_EXECUTE_JAVA_STATIC_METHOD);
    fj.mmipExceptionMethodHandler =
        mmi_at<u1* (*)(EE*, void*, methodblock*, classblock*, int*)>(MMI_EXCEPTION_METHOD_HANDLER);
    fj.restart = mmi_at<void*>(MMI_EXCEPTION_EXECUTE_RESTART);
    fj.monitorExit2 = slot<int (*)(EE*, JHandle*)>(LV_MONITOR_EXIT2);
    fj.class_object = static_cast<classblock**>(lv[LV_CLASS_OBJECT]);
    fj.invokers[0] = lv[LV_INVOKE_JAVA_METHOD];
    fj.invokers[1] = lv[LV_INVOKE_SYNCHRONIZED_JAVA_METHOD];
    fj.invokers[2] = mmi_at<void*>(MMI_INVOKE_JAVA_WITH_CATCH);
    fj.invokers[3] = mmi_at<void*>(MMI_INVOKE_SYNC_JAVA_WITH_CATCH);
    fj.invokers[4] = lv[LV_INVOKE_LAZY_NATIVE_METHOD];
    fj.invokers[5] = lv[LV_INVOKE_JNI_NATIVE_METHOD];
    fj.invokers[6] = lv[LV_INVOKE_JNI_SYNCHRONIZED_NATIVE_METHOD];
    fj.invokers[7] = lv[LV_INVOKE_ABSTRACT_METHOD];
    for (int i = 0; i < 7; i++)
        fj.selectors[i] = mmi[(MMI_SELECT_JAVA + 4 * i) / 4];
    fj.custom_select = mmi_at<void* (*)(EE*, methodblock*, int)>(MMI_GET_CUSTOM_SELECT_INVOKER);
    void** fi = mmi_at<void**>(MMI_FRAME_INTF);
    fj.frame_address = reinterpret_cast<u4 (*)(void*)>(fi[FI_FRAME_ADDRESS]);

    EE* ee = fj.current_ee();
    check_slot_kinds();
    check_services(ee);

    // Frame interface, then the handler (MMI +172): the VM must rewrite the
    // handler word of the registrations already on this thread.
    fj_install_frame_interface(fi);
    fj.handler = reinterpret_cast<void*>(&fj_exception_handler);
    mmi_at<void (*)(EE*, void*)>(MMI_EXCEPTION_REGISTER_HANDLER)(ee, fj.handler);
    mmi_at<void (*)(EE*, void*)>(MMI_EXCEPTION_REGISTER_RAISER)(ee, reinterpret_cast<void*>(&fj_raise_thrown));
    auto* t = reinterpret_cast<tla*>(ee->area);
    int registrations = 0;
    for (u4 p = t->registration; p; p = *reinterpret_cast<u4*>(p)) {
        registrations++;
        check(*reinterpret_cast<u4*>(p + REG_HANDLER) == reinterpret_cast<u4>(fj.handler),
              "MMI +172 rewrote an existing registration");
    }
    check(registrations > 0, "the thread has a bottom registration");

    // Hooks.
    *static_cast<void**>(lv[LV_HOOK_START_GUARD]) = nullptr;
    *static_cast<void**>(lv[LV_HOOK_COMPILE]) = reinterpret_cast<void*>(&fj_trampoline);
    *static_cast<void**>(lv[LV_HOOK_SIGNAL]) = reinterpret_cast<void*>(&fj_signal_hook);
    *static_cast<void**>(lv[LV_HOOK_FREE_CLASS]) = reinterpret_cast<void*>(&fj_free_class);
    *static_cast<void**>(lv[LV_HOOK_COMPILE_CLASS]) = reinterpret_cast<void*>(&fj_compile_class);
    *static_cast<void**>(lv[LV_HOOK_COMPILE_CLASSES]) = reinterpret_cast<void*>(&fj_compile_classes);
    *static_cast<void**>(lv[LV_HOOK_ENABLE]) = reinterpret_cast<void*>(&fj_enable);
    *static_cast<void**>(lv[LV_HOOK_DISABLE]) = reinterpret_cast<void*>(&fj_disable);
    *static_cast<void**>(lv[LV_HOOK_15]) = nullptr;
    *static_cast<void**>(lv[LV_HOOK_PC_IN_COMPILED]) = reinterpret_cast<void*>(&fj_pc_in_compiled);
    *static_cast<void**>(lv[LV_HOOK_COMPILED_PC]) = reinterpret_cast<void*>(&fj_compiled_pc);
    *static_cast<void**>(lv[LV_HOOK_18]) = nullptr;
    *static_cast<u4*>(lv[LV_LOSSLESS_QUICK]) = 1;
    *static_cast<void**>(lv[LV_HOOK_COMPILED_FRAME_UPDATE]) = reinterpret_cast<void*>(&fj_frame_update);
    *static_cast<void**>(lv[LV_HOOK_INITIALIZE_FOR_COMPILER]) =
        reinterpret_cast<void*>(&fj_initialize_for_compiler);
    *static_cast<void**>(lv[LV_HOOK_COMPILER_LOAD_CLASS]) = reinterpret_cast<void*>(&fj_load_class);
    *static_cast<void**>(lv[LV_HOOK_PC_TO_LINE]) = reinterpret_cast<void*>(&fj_pc_to_line);
    *mmi_at<void**>(MMI_HOOK_COMPILE) = reinterpret_cast<void*>(&fj_trampoline);
    *mmi_at<void**>(MMI_HOOK_COMPILE_XFER) = reinterpret_cast<void*>(&fj_trampoline);
    *mmi_at<void**>(MMI_HOOK_XFER) = reinterpret_cast<void*>(&fj_xfer);
    *mmi_at<void**>(MMI_HOOK_GLOBAL_LOCK) = reinterpret_cast<void*>(&fj_global_lock);
    *mmi_at<void**>(MMI_HOOK_GLOBAL_UNLOCK) = reinterpret_cast<void*>(&fj_global_unlock);
    void** gc = mmi_at<void**>(MMI_GC_LINK_VECTOR);
    gc[GCV_CALLBACK_START] = reinterpret_cast<void*>(&fj_gc_callback);
    gc[GCV_CALLBACK_END] = reinterpret_cast<void*>(&fj_gc_callback);

    // The compiler's start-up check of the thread-local area.
    const char* error = nullptr;
    if (t->registration == 0)
        error = "no MMI handler";
    else if (*reinterpret_cast<EE**>(t->registration - 4) != ee)
        error = "incorrect MMI handler";
    else if (t->ee != ee)
        error = "incorrect TLE_EE";
    if (error) {
        std::fprintf(stderr, "\njit_init_linux: ERROR, %s\n\n", error);
        std::exit(1);
    }

    // Prepare the classes loaded so far, under the binclass lock.
    auto sm_enter = slot<void (*)(void*, void*)>(LV_SYS_MONITOR_ENTER);
    auto sm_exit = slot<void (*)(void*, void*)>(LV_SYS_MONITOR_EXIT);
    sm_enter(ee->sys_thread, lv[LV_BINCLASS_LOCK]);
    int count = 0;
    mmi_at<void (*)(EE*, void (*)(classblock*, void*), void*)>(MMI_ENUMERATE_LOADER_CACHE)(
        ee, collect_class, &count);
    sm_exit(ee->sys_thread, lv[LV_BINCLASS_LOCK]);

    mmi_at<int (*)(void (*)())>(MMI_AT_EXIT)(fj_summary);
    fj_print("fakejit: bound to the VM, %d start-up checks\n", checks);
}
