// The VM side of the front-end test bridge (see fe_vm_env.h).
#include "fe_vm_env.h"

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "vm.h"

// Compiler entries the bridge calls (their headers clash with vm.h).
int jit_get_link_vector(u4* link_vector);
int jit_init_memory_manager(void);
void jit_quadruple_initialize(void);
void jit_store_versions(u4 version_word);
extern classblock* classJavaLangObject;

namespace fetest {

namespace {

struct job {
    std::function<void(EE*)> fn;
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
};

void job_entry(EE* ee, void* arg)
{
    auto* j = static_cast<job*>(arg);
    j->fn(ee);
    std::lock_guard<std::mutex> g(j->m);
    j->done = true;
    j->cv.notify_all();
}

}  // namespace

bool run(const std::function<void(EE*)>& fn)
{
    job j;
    j.fn = fn;
    if (!vm_start_thread_area(job_entry, &j, true))
        return false;
    std::unique_lock<std::mutex> g(j.m);
    j.cv.wait(g, [&] { return j.done; });
    return true;
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

classblock* class_Class() { return vm_class_Class; }
classblock* class_String() { return vm_class_String; }
classblock* class_Object() { return vm_class_Object; }

}  // namespace fetest
