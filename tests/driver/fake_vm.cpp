// The fake host VM of the driver tests (see fake_vm.h).
#include "fake_vm.h"

#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include "driver/driver.h"
#include "frontend/frontend.h"

fake_vm* g_vm;
thread_local EE* fake_current_ee;

namespace {

char fake_code_bytes[FK_CODE_COUNT * 16];

struct fake_monitor {
    pthread_mutex_t mutex;
    int depth;
};
static_assert(sizeof(fake_monitor) <= SYS_MONITOR_SIZE);

void mon_init(void* storage)
{
    auto* m = static_cast<fake_monitor*>(storage);
    pthread_mutexattr_t a;
    pthread_mutexattr_init(&a);
    pthread_mutexattr_settype(&a, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m->mutex, &a);
    m->depth = 0;
}

void mon_enter(void*, void* storage)
{
    auto* m = static_cast<fake_monitor*>(storage);
    pthread_mutex_lock(&m->mutex);
    m->depth++;
    if (g_vm != nullptr && g_vm->on_monitor_enter)
        g_vm->on_monitor_enter(storage);
}

void mon_exit(void*, void* storage)
{
    auto* m = static_cast<fake_monitor*>(storage);
    m->depth--;
    pthread_mutex_unlock(&m->mutex);
}

int mon_entered(void*, void* storage) { return static_cast<fake_monitor*>(storage)->depth > 0; }
int mon_sizeof() { return SYS_MONITOR_SIZE; }

EE* fake_EE() { return fake_current_ee; }
void signal_error(EE* ee, const char*, const char*)
{
    ee->exception = 0xE0E0E0E0u;
    ee->exception_kind = 1;
}
u4 internal_object(int) { return 0xABCD0000u; }

const char* class_constant_name(u4* cp, int index)
{
    const u1* tags = reinterpret_cast<const u1*>(cp[0]);
    if (tags[index] & CONSTANT_RESOLVED)
        return reinterpret_cast<classblock*>(cp[index])->name;
    return reinterpret_cast<const char*>(cp[cp[index]]);
}

classblock* find_class(EE*, const char* name, int)
{
    return g_vm != nullptr && g_vm->find_class ? g_vm->find_class(name) : nullptr;
}
classblock* find_class_from(EE* ee, const char* name, int init, classblock*) { return find_class(ee, name, init); }
int static_init(classblock*) { return 1; }
int resolve2(u4*, int, EE*, u4, int) { return 0; }
int resolve_from_class2(classblock*, int, EE*, u4, int) { return 0; }
int verify_access(classblock*, classblock*, int) { return 1; }
int verify_field(classblock*, fieldblock*, int) { return 1; }
int subclass_of(classblock* cb, classblock* super, EE*)
{
    for (classblock* c = cb; c != nullptr; c = c->superclass)
        if (c == super)
            return 1;
    return 0;
}
int instance_of(u4, classblock*, EE*) { return 0; }
char* name2string(const char* name, char* buffer, int length)
{
    snprintf(buffer, static_cast<size_t>(length), "%s", name);
    return buffer;
}
u4 alloc_object(EE*, classblock*) { return 0; }
u4 alloc_array(EE*, int, int) { return 0; }
u4 multi_alloc(int, classblock*, s4*) { return 0; }
int size_array(int, int len) { return len * 4; }
void* dyno_link(methodblock*, u4* ok)
{
    *ok = 0;
    return nullptr;
}
int monitor_enter2(EE*, u4) { return 1; }
int monitor_exit2(EE*, u4) { return 1; }
void monitor_register(void*, const char*) {}
int64_t now_ms() { return 0; }
int profiler_on() { return 0; }
int jio_snprintf(char* buffer, size_t length, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(buffer, length, format, ap);
    va_end(ap);
    return n;
}
char* string2cstring(u4, char* buffer, int) { return buffer; }
void jvmpi_event(void*) {}
void jvmpi_entry(EE*, u4, methodblock*) {}
void jvmpi_exit(EE*, methodblock*) {}
char* pc2string(u4, methodblock*, char* buffer, int) { return buffer; }
int special_super(classblock*, methodblock*) { return 0; }
int milli_ticks() { return 1234; }
char* object2cstring(u4, char* buffer, int) { return buffer; }
void flat_exit(EE*, u4) {}
void enumerate(EE* ee, orva_class_visitor_fn fn, void* arg)
{
    g_vm->enumerations++;
    for (classblock* cb : g_vm->loaded)
        fn(cb, arg);
}
int mmi_version() { return g_vm->mmi_version_answer; }
void jit_initialize() {}
void instruction_range(EE*, u4 out[2])
{
    out[0] = 0x1000;
    out[1] = 0x2000;
}
void* custom_select(EE*, methodblock*, int) { return nullptr; }
u4 method_handler(EE*, u4, methodblock*, classblock*, int*) { return 0; }
void register_handler(EE*, void*) { g_vm->handler_registrations++; }
int set_mode(EE* ee, int mode)
{
    int old = static_cast<int>(ee->mode);
    ee->mode = static_cast<u4>(mode);
    return old;
}
void unused_fi() {}

u4 fn(const void* f) { return reinterpret_cast<u4>(f); }

} // namespace

void* fake_code(fake_code_id id) { return &fake_code_bytes[id * 16]; }

int fake_monitor_depth(void* monitor) { return static_cast<fake_monitor*>(monitor)->depth; }

fake_vm* fake_vm_new()
{
    auto* vm = new fake_vm;
    g_vm = vm;
    memset(vm->lv, 0, sizeof vm->lv);
    memset(vm->hook_vars, 0, sizeof vm->hook_vars);
    memset(vm->mmi, 0, sizeof vm->mmi);
    memset(vm->mmi_vars, 0, sizeof vm->mmi_vars);
    memset(vm->gcv, 0, sizeof vm->gcv);
    for (u1* m : {vm->binclass_lock, vm->linkclass_lock, vm->code_lock, vm->queue_lock})
        mon_init(m);
    u4* lv = vm->lv;
    lv[LV_VERSION] = fn(&vm->version_word);
    for (int slot : {3, 4, 5, 6, 9, 10, 11, 12, 15, 16, 17, 18, 94, 101, 102, 103})
        lv[slot] = fn(&vm->hook_vars[slot]);
    lv[LV_LOSSLESS_QUICK] = fn(&vm->lossless);
    lv[LV_MALLOC] = fn(reinterpret_cast<void*>(static_cast<void* (*)(size_t)>(malloc)));
    lv[LV_CALLOC] = fn(reinterpret_cast<void*>(static_cast<void* (*)(size_t, size_t)>(calloc)));
    lv[LV_REALLOC] = fn(reinterpret_cast<void*>(static_cast<void* (*)(void*, size_t)>(realloc)));
    lv[LV_STRDUP] = fn(reinterpret_cast<void*>(static_cast<char* (*)(const char*)>(strdup)));
    lv[LV_FREE] = fn(reinterpret_cast<void*>(static_cast<void (*)(void*)>(free)));
    lv[LV_BINCLASS_LOCK] = fn(vm->binclass_lock);
    lv[LV_LINKCLASS_LOCK] = fn(vm->linkclass_lock);
    for (int i = 0; i < 7; i++)
        lv[LV_CLASS_CLASS + i] = fn(&vm->class_vars[i]);
    lv[LV_EE] = fn(reinterpret_cast<void*>(fake_EE));
    lv[LV_SIGNAL_ERROR] = fn(reinterpret_cast<void*>(signal_error));
    lv[LV_EXCEPTION_INTERNAL_OBJECT] = fn(reinterpret_cast<void*>(internal_object));
    lv[LV_GET_CLASS_CONSTANT_CLASS_NAME] = fn(reinterpret_cast<void*>(class_constant_name));
    lv[LV_FIND_CLASS] = fn(reinterpret_cast<void*>(find_class));
    lv[LV_FIND_CLASS_FROM_CLASS] = fn(reinterpret_cast<void*>(find_class_from));
    lv[LV_EXECUTE_STATIC_INITIALIZERS] = fn(reinterpret_cast<void*>(static_init));
    lv[LV_RESOLVE_CLASS_CONSTANT2] = fn(reinterpret_cast<void*>(resolve2));
    lv[LV_RESOLVE_CLASS_CONSTANT_FROM_CLASS2] = fn(reinterpret_cast<void*>(resolve_from_class2));
    lv[LV_VERIFY_CLASS_ACCESS] = fn(reinterpret_cast<void*>(verify_access));
    lv[LV_VERIFY_FIELD_ACCESS] = fn(reinterpret_cast<void*>(verify_field));
    lv[LV_IS_SUBCLASS_OF] = fn(reinterpret_cast<void*>(subclass_of));
    lv[LV_IS_INSTANCE_OF] = fn(reinterpret_cast<void*>(instance_of));
    lv[LV_CLASSNAME2STRING] = fn(reinterpret_cast<void*>(name2string));
    lv[LV_ALLOC_OBJECT] = fn(reinterpret_cast<void*>(alloc_object));
    lv[LV_ALLOC_ARRAY] = fn(reinterpret_cast<void*>(alloc_array));
    lv[LV_MULTI_ARRAY_ALLOC] = fn(reinterpret_cast<void*>(multi_alloc));
    lv[LV_SIZEARRAY] = fn(reinterpret_cast<void*>(size_array));
    lv[LV_DYNO_LINK] = fn(reinterpret_cast<void*>(dyno_link));
    lv[LV_INVOKE_JAVA_METHOD] = fn(fake_code(FK_INVOKE_JAVA));
    lv[LV_INVOKE_SYNCHRONIZED_JAVA_METHOD] = fn(fake_code(FK_INVOKE_SYNC_JAVA));
    lv[LV_INVOKE_ABSTRACT_METHOD] = fn(fake_code(FK_INVOKE_ABSTRACT));
    lv[LV_INVOKE_LAZY_NATIVE_METHOD] = fn(fake_code(FK_INVOKE_LAZY_NATIVE));
    lv[LV_INVOKE_COMPILED_METHOD] = fn(fake_code(FK_INVOKE_COMPILED));
    lv[LV_INVOKE_JNI_NATIVE_METHOD] = fn(fake_code(FK_INVOKE_JNI));
    lv[LV_INVOKE_JNI_SYNCHRONIZED_NATIVE_METHOD] = fn(fake_code(FK_INVOKE_JNI_SYNC));
    lv[LV_MONITOR_ENTER2] = fn(reinterpret_cast<void*>(monitor_enter2));
    lv[LV_MONITOR_EXIT2] = fn(reinterpret_cast<void*>(monitor_exit2));
    lv[LV_MONITOR_REGISTER] = fn(reinterpret_cast<void*>(monitor_register));
    lv[LV_SYS_MONITOR_SIZEOF] = fn(reinterpret_cast<void*>(mon_sizeof));
    lv[LV_SYS_MONITOR_ENTER] = fn(reinterpret_cast<void*>(mon_enter));
    lv[LV_SYS_MONITOR_EXIT] = fn(reinterpret_cast<void*>(mon_exit));
    lv[LV_SYS_MONITOR_ENTERED] = fn(reinterpret_cast<void*>(mon_entered));
    lv[LV_NOW] = fn(reinterpret_cast<void*>(now_ms));
    lv[LV_PROFILER_IS_ON] = fn(reinterpret_cast<void*>(profiler_on));
    lv[LV_JIO_SNPRINTF] = fn(reinterpret_cast<void*>(jio_snprintf));
    lv[LV_JAVASTRING2CSTRING] = fn(reinterpret_cast<void*>(string2cstring));
    lv[LV_JVMPI_INFO] = fn(&vm->profiler);
    lv[LV_CODE_LOCK] = fn(vm->code_lock);
    lv[LV_JVMPI_METHOD_ENTRY] = fn(reinterpret_cast<void*>(jvmpi_entry));
    lv[LV_JVMPI_METHOD_EXIT] = fn(reinterpret_cast<void*>(jvmpi_exit));
    lv[LV_JVMPI_LOAD_COMPILED_METHOD] = fn(reinterpret_cast<void*>(jvmpi_event));
    lv[LV_JVMPI_GENERIC_EVENT] = fn(reinterpret_cast<void*>(jvmpi_event));
    lv[LV_QUEUE_LOCK] = fn(vm->queue_lock);
    lv[LV_MMI] = fn(vm->mmi);

    u4* mmi = vm->mmi;
    mmi[MMI_VERSION / 4] = fn(&vm->mmi_version_word);
    mmi[MMI_FRAME_INTF / 4] = fn(vm->frame_intf);
    mmi[MMI_PC2STRING / 4] = fn(reinterpret_cast<void*>(pc2string));
    mmi[MMI_IS_SPECIAL_SUPER_CALL / 4] = fn(reinterpret_cast<void*>(special_super));
    mmi[MMI_SYS_GET_MILLI_TICKS / 4] = fn(reinterpret_cast<void*>(milli_ticks));
    mmi[MMI_OBJECT2CSTRING / 4] = fn(reinterpret_cast<void*>(object2cstring));
    mmi[MMI_GC_LINK_VECTOR / 4] = fn(vm->gcv);
    mmi[MMI_SYS_MONITOR_INIT / 4] = fn(reinterpret_cast<void*>(mon_init));
    mmi[MMI_MONITOR_FLAT_EXIT / 4] = fn(reinterpret_cast<void*>(flat_exit));
    mmi[MMI_ENUMERATE_LOADER_CACHE / 4] = fn(reinterpret_cast<void*>(enumerate));
    mmi[MMI_INTERFACE_VERSION / 4] = fn(reinterpret_cast<void*>(mmi_version));
    mmi[MMI_JIT_INITIALIZE / 4] = fn(reinterpret_cast<void*>(jit_initialize));
    mmi[MMI_INSTRUCTION_RANGE / 4] = fn(reinterpret_cast<void*>(instruction_range));
    mmi[MMI_INVOKE_JAVA_WITH_CATCH / 4] = fn(fake_code(FK_INVOKE_JAVA_CATCH));
    mmi[MMI_INVOKE_SYNC_JAVA_WITH_CATCH / 4] = fn(fake_code(FK_INVOKE_SYNC_JAVA_CATCH));
    mmi[MMI_SELECT_JAVA / 4] = fn(fake_code(FK_SELECT_JAVA));
    mmi[MMI_SELECT_SYNC_JAVA / 4] = fn(fake_code(FK_SELECT_SYNC_JAVA));
    mmi[MMI_SELECT_JAVA_WITH_CATCH / 4] = fn(fake_code(FK_SELECT_JAVA_CATCH));
    mmi[MMI_SELECT_SYNC_JAVA_WITH_CATCH / 4] = fn(fake_code(FK_SELECT_SYNC_JAVA_CATCH));
    mmi[MMI_SELECT_LAZY_NATIVE / 4] = fn(fake_code(FK_SELECT_LAZY_NATIVE));
    mmi[MMI_SELECT_JNI_NATIVE / 4] = fn(fake_code(FK_SELECT_JNI));
    mmi[MMI_SELECT_JNI_SYNC_NATIVE / 4] = fn(fake_code(FK_SELECT_JNI_SYNC));
    mmi[MMI_GET_CUSTOM_SELECT_INVOKER / 4] = fn(reinterpret_cast<void*>(custom_select));
    mmi[MMI_EXCEPTION_METHOD_HANDLER / 4] = fn(reinterpret_cast<void*>(method_handler));
    mmi[MMI_EXCEPTION_REGISTER_HANDLER / 4] = fn(reinterpret_cast<void*>(register_handler));
    for (int off : {MMI_HOOK_COMPILE, MMI_HOOK_COMPILE_XFER, MMI_HOOK_XFER, MMI_HOOK_GLOBAL_LOCK, MMI_HOOK_GLOBAL_UNLOCK})
        mmi[off / 4] = fn(&vm->mmi_vars[off / 4]);

    for (u4& slot : vm->frame_intf)
        slot = fn(reinterpret_cast<void*>(unused_fi));
    vm->frame_intf[FI_SET_MODE] = fn(reinterpret_cast<void*>(set_mode));
    vm->gcv[GCV_VERSION] = GCV_VERSION_WORD;
    return vm;
}

void fake_vm_bind(fake_vm* vm)
{
    g_vm = vm;
    jit_store_versions(vm->version_word);
    jit_get_link_vector(vm->lv);
    classJavaLangObject = orva_class(orva_classJavaLangObject);
}

void fake_vm_bind_and_init(fake_vm* vm)
{
    fake_vm_bind(vm);
    if (fake_current_ee == nullptr)
        fake_current_ee = fake_ee_new();
    jit_quadruple_initialize();
    jit_init_register_committed_code();
    jit_setup_buf_size("64k");
    jit_init_memory_manager();
    orva_global_lock = jit_mem_alloc(SYS_MONITOR_SIZE, JMEM_MONITOR);
    ::vm.sysMonitorInit(orva_global_lock);
}

EE* fake_ee_new()
{
    auto* ee = static_cast<EE*>(calloc(1, sizeof(EE)));
    ee->sys_thread = ee;    // any unique non-null handle
    return ee;
}

namespace {

struct java_thread_args {
    const std::function<void(EE*)>* fn;
    EE* ee;
};

void* java_thread_main(void* p)
{
    auto* a = static_cast<java_thread_args*>(p);
    fake_current_ee = a->ee;
    (*a->fn)(a->ee);
    return nullptr;
}

} // namespace

void run_on_java_thread(const std::function<void(EE*)>& fn)
{
    void* raw = mmap(nullptr, 2 * THREAD_AREA_SIZE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        abort();
    u4 base = (reinterpret_cast<u4>(raw) + THREAD_AREA_SIZE - 1) & TLA_MASK;
    auto* t = reinterpret_cast<tla*>(base);
    memset(t, 0, 0x1000);
    EE* ee = &t->ee_storage;
    t->ee = ee;
    t->magic = TLA_MAGIC_VALUE;
    ee->sys_thread = ee;
    auto* reg = reinterpret_cast<vm_registration*>(base + 0x400);
    reg->ee = ee;
    t->registration = reinterpret_cast<u4>(&reg->next);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstack(&attr, reinterpret_cast<void*>(base + THREAD_AREA_STACK), THREAD_AREA_SIZE - THREAD_AREA_STACK);
    java_thread_args args{&fn, ee};
    pthread_t th;
    if (pthread_create(&th, &attr, java_thread_main, &args) != 0)
        abort();
    pthread_join(th, nullptr);
    pthread_attr_destroy(&attr);
    munmap(raw, 2 * THREAD_AREA_SIZE);
}

// ---- class builders ---------------------------------------------------------

classblock* fake_class(const std::string& name, classblock* super, const std::vector<fake_method_spec>& methods,
                       u2 access)
{
    auto* cb = static_cast<classblock*>(calloc(1, sizeof(classblock)));
    cb->name = strdup(name.c_str());
    cb->super_name = super != nullptr ? super->name : nullptr;
    cb->superclass = super;
    cb->access = access;
    cb->state = CS_LOADED | CS_LINKED;
    cb->methods_count = static_cast<u2>(methods.size());
    cb->methods = static_cast<methodblock*>(calloc(methods.size() + 1, sizeof(methodblock)));
    static const imethod_table empty_itable = {0, {{nullptr, nullptr}}};
    cb->imethodtable = const_cast<imethod_table*>(&empty_itable);
    for (size_t i = 0; i < methods.size(); i++) {
        const fake_method_spec& s = methods[i];
        methodblock* mb = &cb->methods[i];
        mb->clazz = cb;
        mb->name = strdup(s.name.c_str());
        mb->signature = strdup(s.signature.c_str());
        mb->access = s.access;
        mb->index = static_cast<u2>(i);
        mb->args_size = get_method_args_size(mb, mb->signature) + ((s.access & ACC_STATIC) ? 0 : 1);
        if (!s.code.empty() || !(s.access & (ACC_NATIVE | ACC_ABSTRACT))) {
            size_t len = s.code.size();
            auto* code = static_cast<u1*>(aligned_alloc(4, (len + 4 + 3) & ~size_t{3}));
            memset(code, 0, (len + 4 + 3) & ~size_t{3});
            if (len != 0)
                memcpy(code, s.code.data(), len);
            mb->code = code;
            mb->code_length = static_cast<u4>(len);
        }
        if (s.exception_entries != 0) {
            mb->exception_table = static_cast<u2*>(calloc(static_cast<size_t>(s.exception_entries), EXC_ENTRY_SIZE));
            mb->exception_table_length = static_cast<u2>(s.exception_entries);
        }
        if (s.access & ACC_ABSTRACT)
            mb->invoker = fake_code(FK_INVOKE_ABSTRACT);
        else if (s.access & ACC_NATIVE)
            mb->invoker = fake_code(FK_INVOKE_LAZY_NATIVE);
        else if (s.exception_entries != 0)
            mb->invoker = fake_code((s.access & ACC_SYNCHRONIZED) ? FK_INVOKE_SYNC_JAVA_CATCH : FK_INVOKE_JAVA_CATCH);
        else
            mb->invoker = fake_code((s.access & ACC_SYNCHRONIZED) ? FK_INVOKE_SYNC_JAVA : FK_INVOKE_JAVA);
        mb->counter = 2000;
    }
    fake_build_method_table(cb);
    return cb;
}

void fake_build_method_table(classblock* cb)
{
    std::vector<methodblock*> slots;
    if (cb->superclass != nullptr && cb->superclass->methodtable != nullptr)
        for (u4 s = 0; s < cb->superclass->methodtable_size; s++)
            slots.push_back(cb->superclass->methodtable->methods[s]);
    for (u2 i = 0; i < cb->methods_count; i++) {
        methodblock* mb = &cb->methods[i];
        if ((mb->access & (ACC_STATIC | ACC_PRIVATE)) || mb->name[0] == '<')
            continue;
        bool placed = false;
        for (size_t s = 0; s < slots.size(); s++) {
            if (strcmp(slots[s]->name, mb->name) == 0 && strcmp(slots[s]->signature, mb->signature) == 0) {
                slots[s] = mb;
                mb->slot = static_cast<u4>(s);
                placed = true;
                break;
            }
        }
        if (!placed) {
            mb->slot = static_cast<u4>(slots.size());
            slots.push_back(mb);
        }
    }
    auto* mt = static_cast<method_table*>(calloc(slots.size() + 1, 4));
    mt->classdescriptor = cb;
    for (size_t s = 0; s < slots.size(); s++)
        mt->methods[s] = slots[s];
    cb->methodtable = mt;
    cb->methodtable_size = static_cast<u2>(slots.size());
}

void fake_constant_pool(classblock* cb, u4 count)
{
    auto* words = static_cast<u4*>(calloc(count + 1, 4));
    words[0] = reinterpret_cast<u4>(cb);
    cb->constantpool = words + 1;
    cb->constantpool[0] = reinterpret_cast<u4>(calloc(count, 1));
    cb->constantpool_count = static_cast<u2>(count);
}

void fake_cp_set(classblock* cb, u4 index, u1 tag, u4 word)
{
    reinterpret_cast<u1*>(cb->constantpool[0])[index] = tag;
    cb->constantpool[index] = word;
}

void fake_implements(classblock* cb, classblock* iface)
{
    if (cb->constantpool == nullptr)
        fake_constant_pool(cb, 32);
    u1* tags = reinterpret_cast<u1*>(cb->constantpool[0]);
    u4 index = 1;
    while (index < cb->constantpool_count && tags[index] != 0)
        index++;
    fake_cp_set(cb, index, CONSTANT_Class | CONSTANT_RESOLVED, reinterpret_cast<u4>(iface));
    auto* list = static_cast<u2*>(calloc(cb->implements_count + 1u, 2));
    if (cb->implements != nullptr)
        memcpy(list, cb->implements, cb->implements_count * 2u);
    list[cb->implements_count] = static_cast<u2>(index);
    cb->implements = list;
    cb->implements_count++;
    fake_build_interface_table(cb);
}

namespace {

void collect_interfaces(classblock* cb, std::vector<classblock*>& out)
{
    for (u2 i = 0; i < cb->implements_count; i++) {
        auto* iface = reinterpret_cast<classblock*>(cb->constantpool[cb->implements[i]]);
        bool seen = false;
        for (classblock* c : out)
            seen = seen || c == iface;
        if (!seen) {
            out.push_back(iface);
            collect_interfaces(iface, out);
        }
    }
}

} // namespace

void fake_build_interface_table(classblock* cb)
{
    std::vector<classblock*> ifaces;
    if (cb->access & ACC_INTERFACE)
        ifaces.push_back(cb);
    for (classblock* c = cb; c != nullptr; c = c->superclass)
        collect_interfaces(c, ifaces);
    auto* it = static_cast<imethod_table*>(calloc(1, 4 + 8 * (ifaces.size() + 1)));
    it->icount = static_cast<u4>(ifaces.size());
    for (size_t i = 0; i < ifaces.size(); i++)
        it->itable[i].classdescriptor = ifaces[i];
    cb->imethodtable = it;
}
