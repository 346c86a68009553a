// Compiler start-up: the two exported entry points of libjit.so.
//
// The VM calls `java_lang_Compiler_start` once with its link vector.  That
// call reads the environment (name filters, compile history, option words),
// checks and binds the VM, reads the inlining limits, detects the processor,
// initialises every subsystem and the memory managers, prepares the classes
// the VM has already loaded, and only then writes the compiler's hooks into
// the VM.  Nothing of the compiler runs before it: there are no static
// constructors, every table is constant or filled here, in this order.
//
// A second call returns at once.  (The hook slot 3 that an older guard tested
// is the one the compiler itself writes 0 into, so that guard never fired.)
#include <stdlib.h>
#include <string.h>

#include "driver/driver.h"
#include "frontend/frontend.h"
#include "inline/inline.h"
#include "linux.h"

s4 orva_processor_type;
s4 orva_processor_mmx;
s4 orva_processor_cmov_support;
s4 orva_os_type;
s4 orva_processor_num;
void* orva_global_lock;
s4 jit_unwind_stack;
int jit_started;

extern "C" __attribute__((visibility("default"))) char* jit_CompilerVersion(char* buffer, int length)
{
    // A bounded copy: no terminator when the buffer is not longer than the
    // string.  The VM passes a large buffer and terminates it itself.
    if (buffer == nullptr || length <= 0)
        return buffer;
    strncpy(buffer, ORVA_JIT_VERSION, static_cast<size_t>(length));
    return buffer;
}

void jit_processor_type_from(int cpuid, u4 signature, const char* override_text, s4* type, s4* mmx,
                             s4* cmov)
{
    *mmx = 0;
    *cmov = 0;
    if (!cpuid) {
        *type = PROCESSOR_TYPE_NO_CPUID;
        return;
    }
    *mmx = (signature >> 23) & 1;
    *cmov = (signature >> 15) & 1;
    if (override_text != nullptr) {
        // Not a number converts as 0, which gives type 0.
        switch (strtol(override_text, nullptr, 10)) {
        case 4:
            *type = PROCESSOR_TYPE_486;
            *mmx = 0;
            *cmov = 0;
            break;
        case 5:
            *type = PROCESSOR_TYPE_PENTIUM;
            *cmov = 0;
            break;
        case 6:
        case 7:
            *type = PROCESSOR_TYPE_P6;
            break;
        default:
            *type = 0;
            break;
        }
        return;
    }
    // Only the low three bits of the family count: family 15 reads as 7.
    switch (signature & 0x700) {
    case 0x400:
        *type = PROCESSOR_TYPE_486;
        break;
    case 0x500:
        *type = PROCESSOR_TYPE_PENTIUM;
        break;
    case 0x600:
    case 0x700:
        *type = PROCESSOR_TYPE_P6;
        break;
    default:
        *type = 0;
        break;
    }
}

void jit_detect_processor(void)
{
    int cpuid = _CPUID_SUPPORT();
    u4 signature = cpuid ? _GET_CPU_TYPE() : 0;
    jit_processor_type_from(cpuid, signature, cpuid ? getenv("ORVA_PROCESSOR_TYPE") : nullptr,
                            &orva_processor_type, &orva_processor_mmx, &orva_processor_cmov_support);
}

int jit_count_bogomips(const char* path)
{
    FILE* fp = fopen(path, "r");
    if (fp == nullptr)
        return 0;
    char line[200];
    int count = 0;
    bool line_start = true;
    while (fgets(line, sizeof line, fp) != nullptr) {
        // A line longer than the buffer arrives in pieces; only its first
        // piece is a line start.
        if (line_start && strncasecmp(line, "bogomips", 8) == 0)
            count++;
        line_start = strchr(line, '\n') != nullptr;
    }
    fclose(fp);
    return count;
}

void jit_count_processors(const char* path)
{
    orva_processor_num = jit_count_bogomips(path);
    if (orva_processor_num == 0) {
        fprintf(stderr, "JIT cannot get processor_num. Assuming SMP...\n");
        orva_processor_num = 2;
    }
}

// The test-and-set is a locked compare-and-exchange on every processor count:
// the lock prefix costs little on one processor, and the library's text is
// not writable, so it cannot be patched in at start-up.
extern "C" u4 AtomicTestAndSet(volatile u4* word)
{
    return __sync_val_compare_and_swap(word, 0u, 1u);
}

void InitAtomicTestAndSet(void)
{
}

int now(void)
{
    return vm.sysGetMilliTicks != nullptr ? vm.sysGetMilliTicks() : 0;
}

char* jit_pc2string(u4 pc, char* buffer, int limit)
{
    return vm.pc2string != nullptr ? vm.pc2string(pc, nullptr, buffer, limit) : buffer;
}

void jit_machine_dependent_init(void)
{
}

static void jit_init_class_unloading(void)
{
}

extern "C" __attribute__((visibility("default"))) void java_lang_Compiler_start(void** link_vector)
{
    auto* lv = reinterpret_cast<u4*>(link_vector);
    if (jit_started || lv == nullptr)
        return;
    const u4* hook101 = reinterpret_cast<const u4*>(lv[LV_HOOK_INITIALIZE_FOR_COMPILER]);
    if (hook101 != nullptr && *hook101 == reinterpret_cast<u4>(orva_InitializeForCompiler))
        return;
    jit_started = 1;

    const char* stop_method = getenv("ORVA_STOPMBNAME");
    const char* stop_class = getenv("ORVA_STOPCBNAME");
    const char* selector = getenv("ORVA_SKIPSUBOPT");
    const char* skip_method = getenv("ORVA_SKIPMBNAME");
    const char* skip_class = getenv("ORVA_SKIPCBNAME");
    jit_skipsubopt_init(skip_class, skip_method, selector, stop_class, stop_method);
    jit_hist_initialize(getenv("ORVA_COMPILING"));
    jit_setup_compile_options(getenv("ORVA_COMPILEOPT"));

    const u4* version = reinterpret_cast<const u4*>(lv[LV_VERSION]);
    jit_store_versions(version != nullptr ? *version : 0);
    if (jit_check_java_vm(lv) != 0)
        return;
    classJavaLangObject = orva_class(orva_classJavaLangObject);

    jit_machine_dependent_init();
    jit_intialize_method_inlining();
    jit_detect_processor();
    orva_os_type = ORVA_OS_TYPE_LINUX;
    jit_count_processors("/proc/cpuinfo");
    InitAtomicTestAndSet();

    jit_init_class_unloading();
    jit_quadruple_initialize();
    jit_init_register_committed_code();
    if (jit_init_memory_manager() != 0) {
        fprintf(stderr, "JIT: start-up failed, the compiler stays off\n");
        return;
    }
    int monitor_size = vm.sysMonitorSizeof();
    orva_global_lock = monitor_size > 0 ? jit_mem_alloc(static_cast<u4>(monitor_size), JMEM_MONITOR) : nullptr;
    if (orva_global_lock == nullptr) {
        fprintf(stderr, "JIT: no memory for the global compile lock, the compiler stays off\n");
        return;
    }
    vm.sysMonitorInit(orva_global_lock);

    jit_InitializeCodeGen();
    jit_init_cha();
    if (jit_prepare_loaded_classes() != 0) {
        fprintf(stderr, "JIT: start-up failed, the compiler stays off\n");
        return;
    }
    jit_unwind_stack = (compile_option2_flag & OPT2_UNWIND_STACK) ? 1 : 0;

    jit_set_link_vector(lv);
    jit_compile_time_init();
    jit_init_linux();
    setCompileOptions(getenv("ORVA_COMPILEOPT"));
}
