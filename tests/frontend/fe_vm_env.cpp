// The VM side of the front-end test bridge (see fe_vm_env.h).
#include "fe_vm_env.h"

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "vm.h"
#include "../vm/vm_test_env.h"

// Compiler entries the bridge calls (their headers clash with vm.h).
int jit_get_link_vector(u4* link_vector);
int jit_init_memory_manager(void);
void jit_quadruple_initialize(void);
void jit_store_versions(u4 version_word);
extern classblock* classJavaLangObject;

namespace fetest {

bool run(const std::function<void(EE*)>& fn)
{
    return vmtest::run_java(fn);
}

bool boot(std::string* why)
{
    static bool done = false;
    static bool ok = false;
    static std::string reason;
    if (!done) {
        done = true;
        vm_init_locks();
        vm_opts.bootclasspath = ORVA_CLASSES_DIR;
        vm_opts.classpath = FE_FIXTURE_CLASSES ":" FE_CORPUS_CLASSES;
        vm_opts.heap_size = 64u << 20;
        vm_heap_init(vm_opts.heap_size);
        vm_init_link_vector();
        bool ran = run([&](EE* ee) {
            ok = vm_bootstrap_classes(ee);
            if (!ok) {
                reason = "bootstrap failed";
                vm_clear_pending(ee);
                return;
            }
            u4* lv = reinterpret_cast<u4*>(orva_CompileCodeLinkVector);
            jit_store_versions(*reinterpret_cast<u4*>(lv[LV_VERSION]));
            if (jit_get_link_vector(lv) != 0 || jit_init_memory_manager() != 0) {
                ok = false;
                reason = "compiler binding failed";
                return;
            }
            classJavaLangObject = vm_class_Object;
            jit_quadruple_initialize();
        });
        if (!ran)
            reason = "no Java thread area";
    }
    if (why)
        *why = reason;
    return ok;
}

classblock* find_class(EE* ee, const char* name, bool init)
{
    classblock* cb = vm_find_class(ee, name, init ? 1 : 0);
    if (!cb)
        vm_clear_pending(ee);
    return cb;
}

methodblock* find_method(classblock* cb, const char* name, const char* sig)
{
    return cb ? vm_find_declared_method(cb, name, sig) : nullptr;
}

bool call_static(EE* ee, methodblock* mb, const int* args, int nargs)
{
    u4 argv[4] = {};
    for (int i = 0; i < nargs && i < 4; i++)
        argv[i] = static_cast<u4>(args[i]);
    if (!vm_init_class(ee, mb->clazz)) {
        vm_clear_pending(ee);
        return false;
    }
    JValue result;
    if (vm_call_java(ee, mb, argv, static_cast<u4>(nargs), &result))
        return true;
    vm_clear_pending(ee);
    return false;
}

bool call_static_words(EE* ee, methodblock* mb, const u4* args, int nargs, u4 result[2])
{
    if (!vm_init_class(ee, mb->clazz)) {
        vm_clear_pending(ee);
        return false;
    }
    JValue r;
    r.j = 0;
    if (!vm_call_java(ee, mb, args, static_cast<u4>(nargs), &r)) {
        vm_clear_pending(ee);
        return false;
    }
    result[0] = r.w[0];
    result[1] = r.w[1];
    return true;
}

classblock* define_class(EE* ee, const char* name, const std::vector<u1>& bytes)
{
    classblock* cb = vm_define_class(ee, name, bytes.data(), static_cast<u4>(bytes.size()));
    if (!cb)
        vm_clear_pending(ee);
    return cb;
}

bool resolve(EE* ee, classblock* cb, u4 index, u4 mask)
{
    if (vm_resolve_constant(ee, cb->constantpool, static_cast<u2>(index), mask))
        return true;
    vm_clear_pending(ee);
    return false;
}

namespace {

void set_int_field(jref obj, const char* name, const char* sig, u4 value)
{
    fieldblock* fb = vm_find_field(vm_class_of(obj), name, sig);
    if (fb && !(fb->access & ACC_STATIC))
        vm_field<u4>(obj, fb->value) = value;
}

// The thread's java/lang/Thread, made and constructed as the launcher makes
// the main thread's.
bool give_thread_object(EE* ee)
{
    if (ee->thread_object != 0)
        return true;
    classblock* tc = vm_class_Thread ? vm_class_Thread : vm_find_class(ee, "java/lang/Thread", 1);
    if (!tc || !vm_init_class(ee, tc))
        return false;
    jref t = vm_new_object(ee, tc);
    jref name = t ? vm_new_string_utf(ee, "main") : nullptr;
    methodblock* init = vm_find_declared_method(tc, "<init>", "(Ljava/lang/String;)V");
    if (!name || !init)
        return false;
    ee->thread_object = reinterpret_cast<u4>(t);
    set_int_field(t, "eetop", "I", reinterpret_cast<u4>(ee));
    set_int_field(t, "alive", "Z", 1);
    set_int_field(t, "started", "Z", 1);
    u4 argv[2] = {reinterpret_cast<u4>(t), reinterpret_cast<u4>(name)};
    return vm_call_java(ee, init, argv, 2, nullptr) != 0;
}

}  // namespace

bool run_main(EE* ee, const char* name)
{
    static bool system_ready = false;
    bool ok = give_thread_object(ee);
    if (ok && !system_ready) {
        classblock* sys = vm_find_class(ee, "java/lang/System", 1);
        ok = sys && vm_call_method(ee, nullptr, sys, "initializeSystemClass", "()V", nullptr) != 0;
        system_ready = ok;
    }
    classblock* cb = ok ? vm_find_class(ee, name, 1) : nullptr;
    methodblock* mb = cb ? vm_find_declared_method(cb, "main", "([Ljava/lang/String;)V") : nullptr;
    jref args = mb ? vm_new_object_array(ee, vm_class_String, 0) : nullptr;
    u4 argv[1] = {reinterpret_cast<u4>(args)};
    ok = args && vm_call_java(ee, mb, argv, 1, nullptr) != 0;
    vm_clear_pending(ee);
    return ok;
}

classblock* class_Class() { return vm_class_Class; }
classblock* class_String() { return vm_class_String; }
classblock* class_Object() { return vm_class_Object; }

}  // namespace fetest
