// The VM side of the dataflow test bridge (see df_vm_env.h).
#include "df_vm_env.h"

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "vm.h"
#include "../vm/vm_test_env.h"

// Compiler entries the bridge calls (their headers clash with vm.h).
int jit_get_link_vector(u4* link_vector);
int jit_init_memory_manager(void);
void jit_init_register_committed_code(void);
void jit_quadruple_initialize(void);
void jit_intialize_method_inlining(void);
void jit_store_versions(u4 version_word);
extern classblock* classJavaLangObject;

namespace dftest {

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
        vm_opts.classpath = DF_FIXTURE_CLASSES;
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
            jit_init_register_committed_code();
            jit_quadruple_initialize();
            jit_intialize_method_inlining();
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

std::string fixture_dir() { return DF_FIXTURE_CLASSES; }
std::string classes_dir() { return ORVA_CLASSES_DIR; }

}  // namespace dftest
