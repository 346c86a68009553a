// Link-vector binding: the VM check, the copies of the VM's services, the
// mixed-mode interpreter (MMI) binding and the hooks written back.
//
// The link vector is an array of 32-bit words.  Slot 0 points at the version
// word (byte 3 the compiler-interface version, byte 2 the class-file major
// version, the low half the minor version); hook slots hold the address of a
// VM variable the compiler writes through; service slots hold a function
// pointer or the address of a VM variable, copied once into the record `vm`
// or a global; slot 108 points at the MMI table.
//
// Nothing is written into the VM until it has been accepted: the MMI hook
// variables, the GC callbacks and the link-vector hooks are all written by
// `jit_set_link_vector`, so a refused VM is left exactly as it wrote itself.
#include <stdlib.h>
#include <string.h>

#include "driver/driver.h"
#include "lib/lib.h"
#include "linux.h"

#define ORVA_DEFINE_VARIABLE(slot, name, type) type name;
ORVA_LV_VARIABLES(ORVA_DEFINE_VARIABLE)
#undef ORVA_DEFINE_VARIABLE

s4 orva_mmijVersion;
u4 orva_mmipIARLow;
u4 orva_mmipIARHigh;
s4 orva_compiler_version;
s4 orva_java_version;
s4 orva_java_minor_version;
classblock* classJavaLangObject;
u4 jit_jvmpi_internal_flags;
s4 jit_jvmpi_interpretted_method_events;

namespace {

constexpr u4 MMI_REQUIRED_VERSION = 0x02001001u;    // 2.1.1

// The two garbage-collector callbacks: the compiler keeps nothing in the heap
// that a collection must know about.
void gc_callback_start(EE*) {}
void gc_callback_end(EE*) {}

void refuse(const char* reason)
{
    fprintf(stderr,
            "\"Just-in-Time Compiler version %s\" cannot adapt to this Java Virtual Machine version %d-%d-%d. "
            "The reason is %s.\n",
            ORVA_JIT_VERSION, orva_java_version, orva_java_minor_version, orva_compiler_version, reason);
}

// Writes value into the VM variable whose address is in the slot.
void write_hook(u4* table, int index, u4 value)
{
    u4* variable = reinterpret_cast<u4*>(table[index]);
    if (variable != nullptr)
        *variable = value;
}

u4 fn(const void* f) { return reinterpret_cast<u4>(f); }

} // namespace

void* jit_vm_malloc(size_t size)
{
    return vm.malloc != nullptr ? vm.malloc(size) : malloc(size);
}

void jit_vm_free(void* p)
{
    if (p == nullptr)
        return;
    if (vm.free != nullptr)
        vm.free(p);
    else
        free(p);
}

void jit_monitor_enter(void* monitor)
{
    if (vm.sysMonitorEnter != nullptr)
        vm.sysMonitorEnter(orva_sys_thread(vm.EE != nullptr ? vm.EE() : nullptr), monitor);
}

void jit_monitor_exit(void* monitor)
{
    if (vm.sysMonitorExit != nullptr)
        vm.sysMonitorExit(orva_sys_thread(vm.EE != nullptr ? vm.EE() : nullptr), monitor);
}

void jit_store_versions(u4 version_word)
{
    orva_compiler_version = static_cast<int8_t>(version_word >> 24);
    orva_java_version = (version_word >> 16) & 0xFF;
    orva_java_minor_version = version_word & 0xFFFF;
}

int jit_check_java_vm(u4* link_vector)
{
    char reason[128];
    if (orva_java_version != 45) {
        snprintf(reason, sizeof reason, "orva_java_version=%d must be 45", orva_java_version);
        refuse(reason);
        return 1;
    }
    if (orva_java_minor_version != 3) {
        snprintf(reason, sizeof reason, "orva_java_minor_version=%d must be 3", orva_java_minor_version);
        refuse(reason);
        return 1;
    }
    if (orva_compiler_version != 6) {
        snprintf(reason, sizeof reason, "orva_compiler_version=%d is wrong", orva_compiler_version);
        refuse(reason);
        return 1;
    }
    if (jit_get_link_vector(link_vector) != 0) {
        refuse("get link vector failed");
        return 1;
    }
    const int* lossless = reinterpret_cast<const int*>(link_vector[LV_LOSSLESS_QUICK]);
    int value = lossless != nullptr ? *lossless : 0;
    if (value != 1) {
        snprintf(reason, sizeof reason, "GET_UseLossLess=%d must be %d", value, 1);
        fprintf(stderr,
                "\"Just-in-Time Compiler version %s\" cannot adapt to this Java Virtual Machine version %d-%d-%d "
                "(UseLosslessQuickOpcodes is %s). The reason is %s.\n",
                ORVA_JIT_VERSION, orva_java_version, orva_java_minor_version, orva_compiler_version,
                value != 0 ? "TRUE" : "FALSE", reason);
        return 1;
    }
    return 0;
}

int jit_get_link_vector(u4* link_vector)
{
    vm.CompileCodeLinkVector = link_vector;
#define ORVA_COPY_SERVICE(slot, name, type) vm.name = reinterpret_cast<type>(link_vector[slot]);
    ORVA_LV_SERVICES(ORVA_COPY_SERVICE)
#undef ORVA_COPY_SERVICE
#define ORVA_COPY_VARIABLE(slot, name, type) name = reinterpret_cast<type>(link_vector[slot]);
    ORVA_LV_VARIABLES(ORVA_COPY_VARIABLE)
#undef ORVA_COPY_VARIABLE
    if (jit_bind_mmi(reinterpret_cast<u4*>(link_vector[LV_MMI])) != 0)
        return 1;
    const jvmpi_info* profiler = orva_jvmpi_info;
    if (profiler != nullptr) {
        u4 w0 = profiler->words[0];
        u4 w1 = profiler->words[1];
        if (w1 & JVMPI_W1_INTERNAL) {
            // Bits 1, 2 and 3 of the second word name the internal flags 1, 4 and 8.
            if (w1 & 0x2)
                jit_jvmpi_internal_flags |= 1;
            if (w1 & 0x4)
                jit_jvmpi_internal_flags |= 4;
            if (w1 & 0x8)
                jit_jvmpi_internal_flags |= 8;
            jit_jvmpi_interpretted_method_events = 1;
        } else if (static_cast<s4>(w0) < 0) {
            jit_jvmpi_internal_flags |= 13;
            jit_jvmpi_interpretted_method_events = 1;
        }
    }
    return 0;
}

int jit_bind_mmi(u4* mmi)
{
    auto version_fn = mmi != nullptr ? reinterpret_cast<orva_mmi_version_fn>(mmi[MMI_INTERFACE_VERSION / 4]) : nullptr;
    if (version_fn == nullptr || version_fn() == 0) {
        fprintf(stderr, "The MMI JIT cannot be attached to this non-MMI JVM.\n");
        fflush(stderr);
        return 1;
    }
    vm.ZEKCompileCodeLinkVector = mmi;
    const u4* version = reinterpret_cast<const u4*>(mmi[MMI_VERSION / 4]);
    if (version == nullptr || *version != MMI_REQUIRED_VERSION)
        return 1;
#define ORVA_COPY_MMI(offset, name, type) vm.name = reinterpret_cast<type>(mmi[(offset) / 4]);
    ORVA_MMI_SERVICES(ORVA_COPY_MMI)
#undef ORVA_COPY_MMI
    orva_mmijVersion = version_fn();
    if (orva_mmijVersion <= 0)
        return 1;
    if (vm.mmipGetInstructionAddressRange != nullptr) {
        u4 range[2] = {0, 0};
        vm.mmipGetInstructionAddressRange(vm.EE != nullptr ? vm.EE() : nullptr, range);
        orva_mmipIARLow = range[0];
        orva_mmipIARHigh = range[1];
    }
    return 0;
}

int jit_set_link_vector(u4* lv)
{
    write_hook(lv, LV_HOOK_START_GUARD, 0);
    write_hook(lv, LV_HOOK_COMPILE, fn(reinterpret_cast<void*>(jit_invokeCompiledEntryMethod)));
    write_hook(lv, LV_HOOK_SIGNAL, fn(reinterpret_cast<void*>(jit_CompiledCodeSignalHandler)));
    write_hook(lv, LV_HOOK_FREE_CLASS, fn(reinterpret_cast<void*>(orva_CompilerFreeClass)));
    write_hook(lv, LV_HOOK_COMPILE_CLASS, fn(reinterpret_cast<void*>(orva_CompilerCompileClass)));
    write_hook(lv, LV_HOOK_COMPILE_CLASSES, fn(reinterpret_cast<void*>(orva_CompilerCompileClasses)));
    write_hook(lv, LV_HOOK_ENABLE, fn(reinterpret_cast<void*>(orva_CompilerEnable)));
    write_hook(lv, LV_HOOK_DISABLE, fn(reinterpret_cast<void*>(orva_CompilerDisable)));
    write_hook(lv, LV_HOOK_15, 0);
    write_hook(lv, LV_HOOK_PC_IN_COMPILED, fn(reinterpret_cast<void*>(jit_PCinCompiledCode)));
    write_hook(lv, LV_HOOK_COMPILED_PC, fn(reinterpret_cast<void*>(jit_CompiledCodePC)));
    write_hook(lv, LV_HOOK_18, 0);
    write_hook(lv, LV_LOSSLESS_QUICK, 1);
    write_hook(lv, LV_HOOK_COMPILED_FRAME_UPDATE, fn(reinterpret_cast<void*>(jit_CompiledFrameUpdate)));
    write_hook(lv, LV_HOOK_INITIALIZE_FOR_COMPILER, fn(reinterpret_cast<void*>(orva_InitializeForCompiler)));
    write_hook(lv, LV_HOOK_COMPILER_LOAD_CLASS, fn(reinterpret_cast<void*>(jit_CompilerLoadClass)));
    write_hook(lv, LV_HOOK_PC_TO_LINE, fn(reinterpret_cast<void*>(jit_CompiledCodePCtoLineNo)));

    // The MMI's variables and the GC callbacks.
    u4* mmi = vm.ZEKCompileCodeLinkVector;
    u4 trampoline = fn(reinterpret_cast<void*>(jit_invokeCompiledEntryMethod));
    write_hook(mmi, MMI_HOOK_COMPILE / 4, trampoline);
    write_hook(mmi, MMI_HOOK_COMPILE_XFER / 4, trampoline);
    if (void* xfer = jit_mmi2jit_entry())
        write_hook(mmi, MMI_HOOK_XFER / 4, fn(xfer));
    write_hook(mmi, MMI_HOOK_GLOBAL_LOCK / 4, fn(reinterpret_cast<void*>(jit_mmi_global_compile_lock)));
    write_hook(mmi, MMI_HOOK_GLOBAL_UNLOCK / 4, fn(reinterpret_cast<void*>(jit_mmi_global_compile_unlock)));
    if (vm.GCLinkVector != nullptr) {
        vm.GCLinkVector[GCV_CALLBACK_START] = fn(reinterpret_cast<void*>(gc_callback_start));
        vm.GCLinkVector[GCV_CALLBACK_END] = fn(reinterpret_cast<void*>(gc_callback_end));
    }
    jit_fill_frame_interface(vm.FrameIntf);
    jit_register_exception_handler(vm.EE != nullptr ? vm.EE() : nullptr);
    return 0;
}
