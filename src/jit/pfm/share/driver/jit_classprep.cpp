// Invokers, class preparation and class unloading.
//
// Before a class's methods can be compiled every method needs an invoker that
// lets the VM decide when to compile it (one of the VM's invoker selectors),
// glue for its compiled-code entry, and, for a few library methods, a
// hand-written replacement body.  Classes are prepared when the VM announces
// them (`orva_InitializeForCompiler`) and, at start-up, in one walk over the
// classes already loaded, superclasses and interfaces first.  Unloaded classes
// have their compiled code revoked and freed through the delayed free.
#include <stdlib.h>
#include <string.h>

#include "driver/driver.h"
#include "inline/inline.h"

namespace {

EE* current_ee() { return vm.EE != nullptr ? vm.EE() : nullptr; }

bool is_clinit(const methodblock* mb) { return strcmp(mb->name, "<clinit>") == 0; }

void hist_class_line(const char* what, classblock* cb)
{
    jit_hist_printf("%s %8.8x [%s] %4.4x/%4.4x\n", what, reinterpret_cast<u4>(cb), cb->name, cb->access, cb->state);
}

// ---- the start-up walk --------------------------------------------------------

struct class_walk {
    classblock** classes;
    u4 capacity;
    u4 count;
    u1* state;              // 0 new, 1 in progress, 2 done
    u1* matrix;             // (i, j) = 1: class j is the superclass or an interface of class i
};

constexpr u1 WALK_NEW = 0, WALK_IN_PROGRESS = 1, WALK_DONE = 2;

void count_class(classblock*, void* arg) { ++*static_cast<u4*>(arg); }

void collect_class(classblock* cb, void* arg)
{
    auto* w = static_cast<class_walk*>(arg);
    if (w->count < w->capacity)
        w->classes[w->count++] = cb;
}

int index_of(const class_walk& w, const classblock* cb)
{
    for (u4 j = 0; j < w.count; j++)
        if (w.classes[j] == cb)
            return static_cast<int>(j);
    return -1;
}

classblock* interface_of(classblock* cb, u4 i)
{
    if (cb->implements == nullptr || cb->constantpool == nullptr)
        return nullptr;
    u2 index = cb->implements[i];
    if (index == 0 || index >= cb->constantpool_count)
        return nullptr;
    const u1* tags = reinterpret_cast<const u1*>(cb->constantpool[0]);
    if ((tags[index] & CONSTANT_TAG_MASK) != CONSTANT_Class || !(tags[index] & CONSTANT_RESOLVED))
        return nullptr;
    return reinterpret_cast<classblock*>(cb->constantpool[index]);
}

void prepare_in_order(class_walk& w, u4 i)
{
    w.state[i] = WALK_IN_PROGRESS;
    for (u4 j = 0; j < w.count; j++) {
        if (!w.matrix[i * w.count + j])
            continue;
        if (w.state[j] == WALK_NEW) {
            prepare_in_order(w, j);
        } else if (w.state[j] == WALK_IN_PROGRESS) {
            fprintf(stderr, "JIT: the loaded classes %s and %s form a cycle\n", w.classes[i]->name,
                    w.classes[j]->name);
            exit(-1);
        }
    }
    w.state[i] = WALK_DONE;
    _orva_InitializeForCompiler(w.classes[i], 1);
    AddClass(w.classes[i], 0, 1, 1);
}

void walk_free(class_walk& w)
{
    jit_vm_free(w.matrix);
    jit_vm_free(w.state);
    jit_vm_free(w.classes);
}

void profiler_event(u4 type, methodblock* mb, EE* ee)
{
    u4 record[8] = {type, reinterpret_cast<u4>(ee), reinterpret_cast<u4>(mb), 0, 0, 0, 0, 0};
    if (vm.jvmpi_generic_event != nullptr)
        vm.jvmpi_generic_event(record);
}

} // namespace

void setup_invoker(methodblock* mb)
{
    EE* ee = current_ee();
    if (mb->access & (ACC_NATIVE | ACC_ABSTRACT)) {
        if ((mb->access & ACC_ABSTRACT) || mb->invoker == nullptr)
            return;
        if (mb->invoker == vm.invokeLazyNativeMethod) {
            mb->invoker = vm.SelectInvokeLazyNativeMethod;
        } else if (mb->access & ACC_SYNCHRONIZED) {
            mb->invoker = vm.SelectInvokeJNISynchronizedNativeMethod;
        } else {
            void* custom = vm.mmijGetCustomSelectInvoker != nullptr ? vm.mmijGetCustomSelectInvoker(ee, mb, 1) : nullptr;
            mb->invoker = custom != nullptr ? custom : vm.SelectInvokeJNINativeMethod;
        }
        return;
    }
    bool sync = mb->access & ACC_SYNCHRONIZED;
    if (mb->exception_table_length != 0)
        mb->invoker = sync ? vm.SelectInvokeSynchronizedJavaMethodWithCatch : vm.SelectInvokeJavaMethodWithCatch;
    else
        mb->invoker = sync ? vm.SelectInvokeSynchronizedJavaMethod : vm.SelectInvokeJavaMethod;
}

int jit_setup_a_mb(methodblock* mb)
{
    mb->compiled_flags = 0;
    if (!is_clinit(mb))
        setup_invoker(mb);
    return JITGenCode_glue(mb);
}

void jit_setup_methods(classblock* cb, EE* ee)
{
    vm.monitorEnter2(ee, reinterpret_cast<u4>(cb));
    jit_nccb_malloc(cb);
    int class_index = (compile_option3_flag & OPT3_NBUILTIN) ? -1 : get_class_index_for_replacing(cb);
    for (u2 i = 0; i < cb->methods_count; i++) {
        methodblock* mb = &cb->methods[i];
        int entry = class_index == -1 ? -1 : is_method_replaced(class_index, mb);
        if (entry == -1
            || (skipsubopt == SKIPSUB_NBUILTIN && matching_skipcbname_skipmbname(cb->name, mb->name)))
            jit_setup_a_mb(mb);
        else
            replace_a_method(mb, class_index, entry);
    }
    for (u2 i = 0; i < cb->miranda_count; i++)
        jit_setup_a_mb(&cb->mirandas[i]);
    vm.monitorExit2(ee, reinterpret_cast<u4>(cb));
    search_bytecode_in_a_class(cb);
}

int _orva_InitializeForCompiler(classblock* cb, int flag)
{
    hist_class_line("Resolving", cb);
    jit_setup_methods(cb, current_ee());
    return AddClass(cb, 1, 0, flag);
}

extern "C" int orva_InitializeForCompiler(classblock* cb)
{
    return _orva_InitializeForCompiler(cb, 0);
}

extern "C" void orva_CompilerFreeClass(classblock* cb)
{
    hist_class_line("Unloading", cb);
    if (!(cb->state & CS_LINKED))
        return;     // never prepared
    revoke_committed_codes(cb);
    DeleteClass(cb);
    for (u2 i = 0; i < cb->methods_count; i++) {
        cb->methods[i].compiled_code = nullptr;
        cb->methods[i].compiled_code_info = nullptr;
    }
}

extern "C" int orva_CompilerCompileClass(classblock* cb) { return 0; }
extern "C" int orva_CompilerCompileClasses(u4 name) { return 0; }
extern "C" void orva_CompilerEnable(void) {}
extern "C" void orva_CompilerDisable(void) {}
int orva_CompilerRegisterNatives(void) { return 0; }
int orva_CompilerUnregisterNatives(void) { return 0; }
void jit_before_compile(void) {}

extern "C" thread_compile_record* orva_replace_a_method(methodblock* mb, u1* start, u1* end, void* entry, u4 pairs,
                                                       u4 saved_regs, void* invoker)
{
    if (mb->access & ACC_COMPILED)
        return nullptr;
    EE* ee = current_ee();
    thread_compile_record rec;
    memset(&rec, 0, sizeof rec);
    rec.prev = jit_compile_record(ee);
    ee->compile_record = &rec;
    method_compile_context m;
    memset(&m, 0, sizeof m);
    m.mb = mb;
    void* record = nullptr;
    jit_code_mem_alloc(&record, &m, static_cast<u4>(sizeof_rcc));
    if (record != nullptr) {
        jit_code_mem_partial_free(record, static_cast<u1*>(record) + sizeof_rcc);
        create_sp_offset_info_for_replaced_method(&m, start, end, pairs);
        if (saved_regs != 0)
            rec.md_word0 = (saved_regs & TCR_MD_VALUE_MASK) | TCR_MD_KIND_REPLACED;
        register_committed_code(static_cast<rcc*>(record), &m, start, end, nullptr, nullptr);
        mb->compiled_flags |= MBC_REPLACED_BODY;
        mb->compiled_code = entry;
        mb->invoker = invoker;
        mb->access |= ACC_COMPILED | ACC_REPLACED_BODY;
    } else {
        fprintf(stderr, "JIT: no code memory for the replacement body of %s.%s\n", mb->clazz->name, mb->name);
    }
    // Pools the body's tables were built in go with the record.
    jit_wmem_clean_after_compilation(ee);
    ee->compile_record = rec.prev;
    return rec.prev;
}

void revoke_committed_codes(classblock* cb)
{
    if (cb->methods_count == 0) {
        jit_commit_delayed_free();
        return;
    }
    EE* ee = current_ee();
    jit_cc_read_lock();
    for (u2 i = 0; i < cb->methods_count; i++) {
        methodblock* mb = &cb->methods[i];
        if (!(mb->access & ACC_COMPILED) || !(mb->compiled_flags & MBC_CODE_INSTALLED))
            continue;
        if (orva_jvmpi_info != nullptr && (orva_jvmpi_info->words[0] & JVMPI_W0_UNLOAD_EVENTS))
            profiler_event(JVMPI_EVENT_COMPILED_METHOD_UNLOAD, mb, ee);
        jit_mem_delayed_free1(mb->compiled_code);
    }
    jit_mem_delayed_free2(cb->methods[0].compiled_code_info);
    jit_cc_read_unlock();
    jit_commit_delayed_free();
}

void search_bytecode_in_a_class(classblock* cb)
{
    trivJudgeTrivialInvokers(cb);
    fflush(stdout);
}

int jit_prepare_loaded_classes(void)
{
    EE* ee = current_ee();
    if (vm.EnumerateOverLoaderCache == nullptr)
        return 0;
    vm.sysMonitorEnter(orva_sys_thread(ee), orva_binclass_lock);
    class_walk w{};
    u4 n = 0;
    vm.EnumerateOverLoaderCache(ee, count_class, &n);
    int result = 0;
    if (n != 0) {
        // The array lives on the heap: a large class set must not exhaust the stack.
        w.classes = static_cast<classblock**>(jit_vm_malloc(n * sizeof(classblock*)));
        w.capacity = n;
        if (w.classes != nullptr)
            vm.EnumerateOverLoaderCache(ee, collect_class, &w);
        u4 cells = w.count * w.count;
        bool overflow = w.count != 0 && cells / w.count != w.count;
        w.state = w.classes != nullptr ? static_cast<u1*>(jit_vm_malloc(w.count)) : nullptr;
        w.matrix = w.state != nullptr && !overflow ? static_cast<u1*>(jit_vm_malloc(cells)) : nullptr;
        if (w.classes == nullptr || w.state == nullptr || w.matrix == nullptr) {
            fprintf(stderr, "JIT: out of memory preparing %u loaded classes\n", n);
            result = 1;
        } else {
            memset(w.state, 0, w.count);
            memset(w.matrix, 0, cells);
            for (u4 i = 0; i < w.count; i++) {
                classblock* cb = w.classes[i];
                int j = cb->superclass != nullptr ? index_of(w, cb->superclass) : -1;
                if (j >= 0)
                    w.matrix[i * w.count + static_cast<u4>(j)] = 1;
                for (u4 k = 0; k < cb->implements_count; k++) {
                    classblock* iface = interface_of(cb, k);
                    int f = iface != nullptr ? index_of(w, iface) : -1;
                    if (f >= 0)
                        w.matrix[i * w.count + static_cast<u4>(f)] = 1;
                }
            }
            for (u4 i = 0; i < w.count; i++)
                if (w.state[i] == WALK_NEW)
                    prepare_in_order(w, i);
        }
        walk_free(w);
    }
    vm.sysMonitorExit(orva_sys_thread(ee), orva_binclass_lock);
    return result;
}
