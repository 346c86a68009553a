// The compiler's view of the host VM: the link-vector and mixed-mode
// interpreter (MMI) service slots, the record `vm` that holds the copies of
// the VM's functions and tables, the globals that hold the VM's variables,
// and the start-up facts (versions, processor, lock) that every subsystem
// reads.
//
// Start-up copies every service slot once: a VM function (or table) into its
// member of `vm` (vm.FindClass, vm.EE, ...), a VM variable's address into a
// global of its own (orva_classJavaLangObject, ...); the compiler calls or
// dereferences that copy ever after.  The record keeps the compiler's names
// apart from the VM's own functions, so the compiler and the VM link into one
// program.  One X-macro list per kind is the single source for the slot, the
// name and the type, so the copy loop, the record, the declarations and the
// assembly offsets cannot drift.  Everything here is written only by
// start-up, on one thread, before the compiler's hooks are published.
//
// Assembly includes this file for the offsets VM_<name> of the record's
// members (call *vm+VM_monitorEnter2, or vm+VM_name@GOTOFF(%reg)).
#ifndef ORVA_DRIVER_VMLINK_H
#define ORVA_DRIVER_VMLINK_H

#include "vm_abi.h"

#ifndef __ASSEMBLER__
#include <stddef.h>
#include <stdint.h>

// ---------------------------------------------------------------------------
// Service types (cdecl, as the VM defines them).
// ---------------------------------------------------------------------------
typedef void* (*orva_malloc_fn)(size_t);
typedef void* (*orva_calloc_fn)(size_t, size_t);
typedef void* (*orva_realloc_fn)(void*, size_t);
typedef char* (*orva_strdup_fn)(const char*);
typedef void (*orva_free_fn)(void*);
typedef EE* (*orva_EE_fn)(void);
typedef void (*orva_SignalError_fn)(EE*, const char* class_name, const char* message);
typedef u4 (*orva_exceptionInternalObject_fn)(int);
typedef const char* (*orva_GetClassConstantClassName_fn)(u4* cp, int index);
typedef classblock* (*orva_FindClass_fn)(EE*, const char* name, int init);
typedef classblock* (*orva_FindClassFromClass_fn)(EE*, const char* name, int init, classblock* from);
typedef int (*orva_ExecuteStaticInitializers_fn)(classblock*);
typedef int (*orva_ResolveClassConstant2_fn)(u4* cp, int index, EE*, u4 tag_mask, int init);
typedef int (*orva_ResolveClassConstantFromClass2_fn)(classblock*, int index, EE*, u4 tag_mask, int init);
typedef int (*orva_VerifyClassAccess_fn)(classblock* from, classblock* cb, int flag);
typedef int (*orva_VerifyFieldAccess_fn)(classblock* from, fieldblock* fb, int flag);
typedef int (*orva_is_subclass_of_fn)(classblock* cb, classblock* super, EE*);
typedef int (*orva_is_instance_of_fn)(u4 object, classblock* cb, EE*);
typedef char* (*orva_classname2string_fn)(const char* name, char* buffer, int length);
typedef u4 (*orva_AllocObject_fn)(EE*, classblock*);
typedef u4 (*orva_AllocArray_fn)(EE*, int type, int length);
typedef u4 (*orva_MultiArrayAlloc_fn)(int dims, classblock* array_class, s4* outermost);
typedef int (*orva_sizearray_fn)(int type, int length);
typedef void* (*orva_dynoLink_fn)(methodblock*, u4* out);
typedef int (*orva_monitorEnter2_fn)(EE*, u4 object);
typedef int (*orva_monitorExit2_fn)(EE*, u4 object);
typedef void (*orva_monitorRegister_fn)(void* monitor, const char* name);
typedef int (*orva_sysMonitorSizeof_fn)(void);
typedef void (*orva_sysMonitorEnter_fn)(void* sys_thread, void* monitor);
typedef void (*orva_sysMonitorExit_fn)(void* sys_thread, void* monitor);
typedef int (*orva_sysMonitorEntered_fn)(void* sys_thread, void* monitor);
typedef int64_t (*orva_now_fn)(void);
typedef int (*orva_java_profiler_isOn_fn)(void);
typedef int (*orva_jio_snprintf_fn)(char* buffer, size_t length, const char* format, ...);
typedef char* (*orva_javaString2CString_fn)(u4 string, char* buffer, int length);
typedef void (*orva_jvmpi_event_fn)(void* record);
typedef void (*orva_jvmpi_method_entry_fn)(EE*, u4 object, methodblock*);
typedef void (*orva_jvmpi_method_exit_fn)(EE*, methodblock*);
typedef char* (*orva_pc2string_fn)(u4 pc, methodblock*, char* buffer, int limit);
typedef int (*orva_isSpecialSuperCall_fn)(classblock*, methodblock*);
typedef int (*orva_sysGetMilliTicks_fn)(void);
typedef char* (*orva_Object2CString_fn)(u4 object, char* buffer, int length);
typedef void (*orva_sysMonitorInit_fn)(void* storage);
typedef void (*orva_monitorFlatExitForJIT_fn)(EE*, u4 object);
typedef void (*orva_class_visitor_fn)(classblock*, void* arg);
typedef void (*orva_EnumerateOverLoaderCache_fn)(EE*, orva_class_visitor_fn, void* arg);
typedef int (*orva_mmi_version_fn)(void);
typedef void (*orva_mmipJitInitialize_fn)(void);
typedef void (*orva_mmipGetInstructionAddressRange_fn)(EE*, u4 out[2]);
typedef void* (*orva_mmijGetCustomSelectInvoker_fn)(EE*, methodblock*, int flag);
typedef u4 (*orva_mmipExceptionMethodHandler_fn)(EE*, u4 state, methodblock*, classblock*, int* needs_object);
typedef void (*orva_mmijExceptionRegisterHandler_fn)(EE*, void* handler);
typedef int (*orva_fi_set_mode_fn)(EE*, int mode);
typedef void* orva_code_addr;        // an invoker, a selector or a stub: called, never read
#endif // __ASSEMBLER__

// ---------------------------------------------------------------------------
// Link-vector service slots: X(slot, member of vm, type).  Slots 61, 63, 88,
// 92 are not read; the hook slots are written by `jit_set_link_vector`.
// ---------------------------------------------------------------------------
#define ORVA_LV_SERVICES(X) \
    X(LV_MALLOC, malloc, orva_malloc_fn) \
    X(LV_CALLOC, calloc, orva_calloc_fn) \
    X(LV_REALLOC, realloc, orva_realloc_fn) \
    X(LV_STRDUP, strdup, orva_strdup_fn) \
    X(LV_FREE, free, orva_free_fn) \
    X(LV_EE, EE, orva_EE_fn) \
    X(LV_SIGNAL_ERROR, SignalError, orva_SignalError_fn) \
    X(LV_EXCEPTION_INTERNAL_OBJECT, exceptionInternalObject, orva_exceptionInternalObject_fn) \
    X(LV_GET_CLASS_CONSTANT_CLASS_NAME, GetClassConstantClassName, orva_GetClassConstantClassName_fn) \
    X(LV_FIND_CLASS, FindClass, orva_FindClass_fn) \
    X(LV_FIND_CLASS_FROM_CLASS, FindClassFromClass, orva_FindClassFromClass_fn) \
    X(LV_EXECUTE_STATIC_INITIALIZERS, ExecuteStaticInitializers, orva_ExecuteStaticInitializers_fn) \
    X(LV_RESOLVE_CLASS_CONSTANT2, ResolveClassConstant2, orva_ResolveClassConstant2_fn) \
    X(LV_RESOLVE_CLASS_CONSTANT_FROM_CLASS2, ResolveClassConstantFromClass2, orva_ResolveClassConstantFromClass2_fn) \
    X(LV_VERIFY_CLASS_ACCESS, VerifyClassAccess, orva_VerifyClassAccess_fn) \
    X(LV_VERIFY_FIELD_ACCESS, VerifyFieldAccess, orva_VerifyFieldAccess_fn) \
    X(LV_IS_SUBCLASS_OF, is_subclass_of, orva_is_subclass_of_fn) \
    X(LV_IS_INSTANCE_OF, is_instance_of, orva_is_instance_of_fn) \
    X(LV_CLASSNAME2STRING, classname2string, orva_classname2string_fn) \
    X(LV_ALLOC_OBJECT, AllocObject, orva_AllocObject_fn) \
    X(LV_ALLOC_ARRAY, AllocArray, orva_AllocArray_fn) \
    X(LV_MULTI_ARRAY_ALLOC, MultiArrayAlloc, orva_MultiArrayAlloc_fn) \
    X(LV_SIZEARRAY, sizearray, orva_sizearray_fn) \
    X(LV_DYNO_LINK, dynoLink, orva_dynoLink_fn) \
    X(LV_EXECUTE_JAVA_METHOD_VARARG, do_execute_java_method_vararg, orva_code_addr) \
    X(LV_EXECUTE_JAVA_STATIC_METHOD, execute_java_static_method, orva_code_addr) \
    X(LV_INVOKE_JAVA_METHOD, invokeJavaMethod, orva_code_addr) \
    X(LV_INVOKE_SYNCHRONIZED_JAVA_METHOD, invokeSynchronizedJavaMethod, orva_code_addr) \
    X(LV_INVOKE_ABSTRACT_METHOD, invokeAbstractMethod, orva_code_addr) \
    X(LV_INVOKE_LAZY_NATIVE_METHOD, invokeLazyNativeMethod, orva_code_addr) \
    X(LV_INVOKE_COMPILED_METHOD, invokeCompiledMethod, orva_code_addr) \
    X(LV_INVOKE_JNI_NATIVE_METHOD, invokeJNINativeMethod, orva_code_addr) \
    X(LV_INVOKE_JNI_SYNCHRONIZED_NATIVE_METHOD, invokeJNISynchronizedNativeMethod, orva_code_addr) \
    X(LV_MONITOR_ENTER2, monitorEnter2, orva_monitorEnter2_fn) \
    X(LV_MONITOR_EXIT2, monitorExit2, orva_monitorExit2_fn) \
    X(LV_MONITOR_REGISTER, monitorRegister, orva_monitorRegister_fn) \
    X(LV_SYS_MONITOR_SIZEOF, sysMonitorSizeof, orva_sysMonitorSizeof_fn) \
    X(LV_SYS_MONITOR_ENTER, sysMonitorEnter, orva_sysMonitorEnter_fn) \
    X(LV_SYS_MONITOR_EXIT, sysMonitorExit, orva_sysMonitorExit_fn) \
    X(LV_SYS_MONITOR_ENTERED, sysMonitorEntered, orva_sysMonitorEntered_fn) \
    X(LV_DUMP_THREADS, DumpThreads, orva_code_addr) \
    X(LV_EXPAND_JAVA_STACK_FOR_JNI, ExpandJavaStackForJNI, orva_code_addr) \
    X(LV_EXPAND_JAVA_STACK, ExpandJavaStack, orva_code_addr) \
    X(LV_EXECUTE_JAVA, ExecuteJava, orva_code_addr) \
    X(LV_NOW, now, orva_now_fn) \
    X(LV_PROFILER_IS_ON, java_profiler_isOn, orva_java_profiler_isOn_fn) \
    X(LV_PROFILER_LOG, java_profiler_log, orva_code_addr) \
    X(LV_JAVA_STACK_SIZE, JavaStackSize, orva_code_addr) \
    X(LV_JIO_SNPRINTF, jio_snprintf, orva_jio_snprintf_fn) \
    X(LV_JAVASTRING2CSTRING, javaString2CString, orva_javaString2CString_fn) \
    X(LV_JNI_MKREFLOCAL, jni_mkRefLocal, orva_code_addr) \
    X(LV_JAVASOFTCACHE_ALLOC, javasoftcacheAlloc, orva_code_addr) \
    X(LV_GET_CUSTOM_INVOKER, getCustomInvoker, orva_code_addr) \
    X(LV_JVMPI_METHOD_ENTRY, jvmpi_method_entry, orva_jvmpi_method_entry_fn) \
    X(LV_JVMPI_METHOD_EXIT, jvmpi_method_exit, orva_jvmpi_method_exit_fn) \
    X(LV_JVMPI_LOAD_COMPILED_METHOD, jvmpi_load_compiled_method, orva_jvmpi_event_fn) \
    X(LV_JVMPI_GENERIC_EVENT, jvmpi_generic_event, orva_jvmpi_event_fn) \
    X(LV_MONITOR_WAIT2, monitorWait2, orva_code_addr) \
    X(LV_MONITOR_NOTIFY2, monitorNotify2, orva_code_addr) \
    X(LV_MONITOR_NOTIFYALL2, monitorNotifyAll2, orva_code_addr) \
    X(LV_SYS_MONITOR_WAIT, sysMonitorWait, orva_code_addr) \
    X(LV_SYS_MONITOR_NOTIFY, sysMonitorNotify, orva_code_addr) \
    X(LV_SYS_MONITOR_NOTIFYALL, sysMonitorNotifyAll, orva_code_addr) \
    X(LV_SYS_THREAD_SINGLE, sysThreadSingle, orva_code_addr) \
    X(LV_SYS_THREAD_MULTI, sysThreadMulti, orva_code_addr) \
    X(LV_SYS_THREAD_ENUMERATE_OVER, sysThreadEnumerateOver, orva_code_addr)

// Link-vector slots holding the address of a VM variable (a class variable,
// a lock, the profiler's record): X(slot, global, type).
#define ORVA_LV_VARIABLES(X) \
    X(LV_BINCLASSES, orva_binclasses_p, classblock***) \
    X(LV_NBINCLASSES, orva_nbinclasses_p, int*) \
    X(LV_BINCLASS_LOCK, orva_binclass_lock, void*) \
    X(LV_LINKCLASS_LOCK, orva_linkclass_lock, void*) \
    X(LV_CLASS_CLASS, orva_classJavaLangClass, classblock**) \
    X(LV_CLASS_OBJECT, orva_classJavaLangObject, classblock**) \
    X(LV_CLASS_STRING, orva_classJavaLangString, classblock**) \
    X(LV_CLASS_THROWABLE, orva_classJavaLangThrowable, classblock**) \
    X(LV_CLASS_EXCEPTION, orva_classJavaLangException, classblock**) \
    X(LV_CLASS_RUNTIMEEXCEPTION, orva_classJavaLangRuntimeException, classblock**) \
    X(LV_CLASS_CLONEABLE, orva_interfaceJavaLangCloneable, classblock**) \
    X(LV_JVMPI_INFO, orva_jvmpi_info, jvmpi_info*) \
    X(LV_CODE_LOCK, orva_code_lock, void*) \
    X(LV_QUEUE_LOCK, orva_queue_lock, void*)

// MMI table words copied by the binding: X(byte offset, member of vm, type).
#define ORVA_MMI_SERVICES(X) \
    X(MMI_FRAME_INTF, FrameIntf, u4*) \
    X(MMI_PC2STRING, pc2string, orva_pc2string_fn) \
    X(MMI_IS_SPECIAL_SUPER_CALL, isSpecialSuperCall, orva_isSpecialSuperCall_fn) \
    X(MMI_SYS_GET_MILLI_TICKS, sysGetMilliTicks, orva_sysGetMilliTicks_fn) \
    X(MMI_OBJECT2CSTRING, Object2CString, orva_Object2CString_fn) \
    X(MMI_GC_LINK_VECTOR, GCLinkVector, u4*) \
    X(MMI_FILL_IN_STACK_TRACE, fillInStackTrace, orva_code_addr) \
    X(MMI_MAKE_JAVA_STRING_UTF, makeJavaStringUTF, orva_code_addr) \
    X(MMI_SYS_MONITOR_INIT, sysMonitorInit, orva_sysMonitorInit_fn) \
    X(MMI_MONITOR_FLAT_EXIT, monitorFlatExitForJIT, orva_monitorFlatExitForJIT_fn) \
    X(MMI_AT_EXIT, AtExit, orva_code_addr) \
    X(MMI_LINK_CLASS, LinkClass, orva_code_addr) \
    X(MMI_ENUMERATE_LOADER_CACHE, EnumerateOverLoaderCache, orva_EnumerateOverLoaderCache_fn) \
    X(MMI_SYS_THREAD_STACK_TOP, sysThreadStackTop, orva_code_addr) \
    X(MMI_JIT_INITIALIZE, mmipJitInitialize, orva_mmipJitInitialize_fn) \
    X(MMI_INSTRUCTION_RANGE, mmipGetInstructionAddressRange, orva_mmipGetInstructionAddressRange_fn) \
    X(MMI_INVOKE_JAVA_WITH_CATCH, invokeJavaMethodWithCatch, orva_code_addr) \
    X(MMI_INVOKE_SYNC_JAVA_WITH_CATCH, invokeSynchronizedJavaMethodWithCatch, orva_code_addr) \
    X(MMI_SELECT_JAVA, SelectInvokeJavaMethod, orva_code_addr) \
    X(MMI_SELECT_SYNC_JAVA, SelectInvokeSynchronizedJavaMethod, orva_code_addr) \
    X(MMI_SELECT_JAVA_WITH_CATCH, SelectInvokeJavaMethodWithCatch, orva_code_addr) \
    X(MMI_SELECT_SYNC_JAVA_WITH_CATCH, SelectInvokeSynchronizedJavaMethodWithCatch, orva_code_addr) \
    X(MMI_SELECT_LAZY_NATIVE, SelectInvokeLazyNativeMethod, orva_code_addr) \
    X(MMI_SELECT_JNI_NATIVE, SelectInvokeJNINativeMethod, orva_code_addr) \
    X(MMI_SELECT_JNI_SYNC_NATIVE, SelectInvokeJNISynchronizedNativeMethod, orva_code_addr) \
    X(MMI_GET_CUSTOM_SELECT_INVOKER, mmijGetCustomSelectInvoker, orva_mmijGetCustomSelectInvoker_fn) \
    X(MMI_EXCEPTION_EXECUTE_RESTART, mmipExceptionExecuteRestart, orva_code_addr) \
    X(MMI_EXCEPTION_METHOD_HANDLER, mmipExceptionMethodHandler, orva_mmipExceptionMethodHandler_fn) \
    X(MMI_EXCEPTION_RELEASE_MONITOR, mmipExceptionReleaseMonitor, orva_code_addr) \
    X(MMI_EXCEPTION_RESTORE_CALLER, mmipExceptionRestoreCallerContext, orva_code_addr) \
    X(MMI_EXCEPTION_REGISTER_HANDLER, mmijExceptionRegisterHandler, orva_mmijExceptionRegisterHandler_fn) \
    X(MMI_EXCEPTION_REGISTER_RAISER, mmijExceptionRegisterRaiser, orva_code_addr)

// The members of `vm` bound outside the lists: the tables themselves.
#define ORVA_VM_TABLES(X) \
    X(-, CompileCodeLinkVector, u4*)      /* the VM's link vector (128 words) */ \
    X(-, ZEKCompileCodeLinkVector, u4*)   /* the MMI table (slot 108) */

#ifdef __ASSEMBLER__
// The record's layout for assembly: VM_<name> is the offset of vm.<name>.
#define ORVA_VM_OFFSET(slot, name, type) VM_##name: .skip 4;
        .struct 0
ORVA_LV_SERVICES(ORVA_VM_OFFSET)
ORVA_MMI_SERVICES(ORVA_VM_OFFSET)
ORVA_VM_TABLES(ORVA_VM_OFFSET)
VM_SERVICES_SIZE:
        .text
#undef ORVA_VM_OFFSET
#else

// The VM's functions and tables, one member per slot (all words, in list
// order: the assembly offsets above rely on it).
struct vm_services {
#define ORVA_VM_MEMBER(slot, name, type) type name;
    ORVA_LV_SERVICES(ORVA_VM_MEMBER)
    ORVA_MMI_SERVICES(ORVA_VM_MEMBER)
    ORVA_VM_TABLES(ORVA_VM_MEMBER)
#undef ORVA_VM_MEMBER
};
extern vm_services vm;

#define ORVA_DECLARE_VARIABLE(slot, name, type) extern type name;
ORVA_LV_VARIABLES(ORVA_DECLARE_VARIABLE)
#undef ORVA_DECLARE_VARIABLE

// ---------------------------------------------------------------------------
// Start-up facts.
// ---------------------------------------------------------------------------
extern s4 orva_mmijVersion;                // the MMI's interface version, positive
extern u4 orva_mmipIARLow;                 // the interpreter's code range [low, high)
extern u4 orva_mmipIARHigh;

extern s4 orva_compiler_version;           // version word byte 3, sign-extended; must be 6
extern s4 orva_java_version;               // version word byte 2; must be 45
extern s4 orva_java_minor_version;         // version word low half; must be 3
extern classblock* classJavaLangObject;    // java/lang/Object, read once at start-up

// Processor facts.
extern s4 orva_processor_type;             // 3 = family 4, 4 = family 5, 5 = family 6/7, 1 = no CPUID, else 0
extern s4 orva_processor_mmx;              // CPUID feature bit 23
extern s4 orva_processor_cmov_support;     // CPUID feature bit 15
extern s4 orva_os_type;                    // always 12
extern s4 orva_processor_num;              // "bogomips" lines of /proc/cpuinfo; 2 when none

constexpr s4 PROCESSOR_TYPE_NO_CPUID = 1;
constexpr s4 PROCESSOR_TYPE_486      = 3;  // family 4
constexpr s4 PROCESSOR_TYPE_PENTIUM  = 4;  // family 5
constexpr s4 PROCESSOR_TYPE_P6       = 5;  // family 6 or 7 (low three bits of the family)
constexpr s4 ORVA_OS_TYPE_LINUX      = 12;

extern void* orva_global_lock;             // the global compile lock (a VM system monitor)
extern s4 jit_unwind_stack;                // UNWIND_STACK was set by ORVA_COMPILEOPT
extern u4 jit_jvmpi_internal_flags;        // profiler event bits 1, 4, 8
extern s4 jit_jvmpi_interpretted_method_events;

// Profiler state bits read by the driver (the VM's record behind slot 85).
constexpr u4 JVMPI_W0_LOAD_EVENTS   = 0x80;      // byte 0 bit 7: compiled-method-load events
constexpr u4 JVMPI_W0_UNLOAD_EVENTS = 0x100;     // compiled-method-unload events
constexpr u4 JVMPI_W1_INTERNAL      = 0x1;       // bits 1-3 name the internal flags
constexpr u4 JVMPI_W1_COMPILE_START_EVENTS = 0x2000;  // byte 5 bit 0x20: compile-start events (2013)
constexpr u4 JVMPI_W1_COMPILE_END_EVENTS   = 0x4000;  // byte 5 bit 0x40: compile-end events (2014)
constexpr u4 JVMPI_EVENT_COMPILE_START = 2013;
constexpr u4 JVMPI_EVENT_COMPILE_END   = 2014;
constexpr u4 JVMPI_EVENT_COMPILED_METHOD_UNLOAD = 8;

// Reading a VM class variable behind a class slot (one indirection).
inline classblock* orva_class(classblock** variable) { return variable ? *variable : nullptr; }

// The current thread's system thread, the first argument of the sysMonitor
// services.
inline void* orva_sys_thread(EE* ee) { return ee ? ee->sys_thread : nullptr; }

// The VM's heap (vm.malloc / vm.free); the C library's before start-up
// has bound the VM, so option parsing in tests needs no VM.
void* jit_vm_malloc(size_t size);
void jit_vm_free(void* p);

// Enter and exit a VM system monitor with the current thread.
void jit_monitor_enter(void* monitor);
void jit_monitor_exit(void* monitor);

#endif // __ASSEMBLER__
#endif // ORVA_DRIVER_VMLINK_H
