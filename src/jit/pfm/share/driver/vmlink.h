// The compiler's view of the host VM: the link-vector and mixed-mode
// interpreter (MMI) service slots, the globals that hold the copies, and the
// start-up facts (versions, processor, lock) that every subsystem reads.
//
// Start-up copies every service slot once into a global of its own; the
// compiler calls or dereferences that global ever after.  One X-macro list
// per table is the single source for the slot, the global's name and its
// type, so the copy loop, the declarations and the definitions cannot drift.
// Everything here is written only by start-up, on one thread, before the
// compiler's hooks are published.
#ifndef ORVA_DRIVER_VMLINK_H
#define ORVA_DRIVER_VMLINK_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"

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

// ---------------------------------------------------------------------------
// Link-vector service slots: X(slot, global, type).  Slots 61, 63, 88, 92 are
// not read; the hook slots are written by `jit_set_link_vector`.
// ---------------------------------------------------------------------------
#define ORVA_LV_SERVICES(X) \
    X(LV_MALLOC, orva_malloc, orva_malloc_fn) \
    X(LV_CALLOC, orva_calloc, orva_calloc_fn) \
    X(LV_REALLOC, orva_realloc, orva_realloc_fn) \
    X(LV_STRDUP, orva_strdup, orva_strdup_fn) \
    X(LV_FREE, orva_free, orva_free_fn) \
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
    X(LV_EE, orva_EE, orva_EE_fn) \
    X(LV_SIGNAL_ERROR, orva_SignalError, orva_SignalError_fn) \
    X(LV_EXCEPTION_INTERNAL_OBJECT, orva_exceptionInternalObject, orva_exceptionInternalObject_fn) \
    X(LV_GET_CLASS_CONSTANT_CLASS_NAME, orva_GetClassConstantClassName, orva_GetClassConstantClassName_fn) \
    X(LV_FIND_CLASS, orva_FindClass, orva_FindClass_fn) \
    X(LV_FIND_CLASS_FROM_CLASS, orva_FindClassFromClass, orva_FindClassFromClass_fn) \
    X(LV_EXECUTE_STATIC_INITIALIZERS, orva_ExecuteStaticInitializers, orva_ExecuteStaticInitializers_fn) \
    X(LV_RESOLVE_CLASS_CONSTANT2, orva_ResolveClassConstant2, orva_ResolveClassConstant2_fn) \
    X(LV_RESOLVE_CLASS_CONSTANT_FROM_CLASS2, orva_ResolveClassConstantFromClass2, orva_ResolveClassConstantFromClass2_fn) \
    X(LV_VERIFY_CLASS_ACCESS, orva_VerifyClassAccess, orva_VerifyClassAccess_fn) \
    X(LV_VERIFY_FIELD_ACCESS, orva_VerifyFieldAccess, orva_VerifyFieldAccess_fn) \
    X(LV_IS_SUBCLASS_OF, orva_is_subclass_of, orva_is_subclass_of_fn) \
    X(LV_IS_INSTANCE_OF, orva_is_instance_of, orva_is_instance_of_fn) \
    X(LV_CLASSNAME2STRING, orva_classname2string, orva_classname2string_fn) \
    X(LV_ALLOC_OBJECT, orva_AllocObject, orva_AllocObject_fn) \
    X(LV_ALLOC_ARRAY, orva_AllocArray, orva_AllocArray_fn) \
    X(LV_MULTI_ARRAY_ALLOC, orva_MultiArrayAlloc, orva_MultiArrayAlloc_fn) \
    X(LV_SIZEARRAY, orva_sizearray, orva_sizearray_fn) \
    X(LV_DYNO_LINK, orva_dynoLink, orva_dynoLink_fn) \
    X(LV_EXECUTE_JAVA_METHOD_VARARG, orva_do_execute_java_method_vararg, orva_code_addr) \
    X(LV_EXECUTE_JAVA_STATIC_METHOD, orva_execute_java_static_method, orva_code_addr) \
    X(LV_INVOKE_JAVA_METHOD, orva_invokeJavaMethod, orva_code_addr) \
    X(LV_INVOKE_SYNCHRONIZED_JAVA_METHOD, orva_invokeSynchronizedJavaMethod, orva_code_addr) \
    X(LV_INVOKE_ABSTRACT_METHOD, orva_invokeAbstractMethod, orva_code_addr) \
    X(LV_INVOKE_LAZY_NATIVE_METHOD, orva_invokeLazyNativeMethod, orva_code_addr) \
    X(LV_INVOKE_COMPILED_METHOD, orva_invokeCompiledMethod, orva_code_addr) \
    X(LV_INVOKE_JNI_NATIVE_METHOD, orva_invokeJNINativeMethod, orva_code_addr) \
    X(LV_INVOKE_JNI_SYNCHRONIZED_NATIVE_METHOD, orva_invokeJNISynchronizedNativeMethod, orva_code_addr) \
    X(LV_MONITOR_ENTER2, orva_monitorEnter2, orva_monitorEnter2_fn) \
    X(LV_MONITOR_EXIT2, orva_monitorExit2, orva_monitorExit2_fn) \
    X(LV_MONITOR_REGISTER, orva_monitorRegister, orva_monitorRegister_fn) \
    X(LV_SYS_MONITOR_SIZEOF, orva_sysMonitorSizeof, orva_sysMonitorSizeof_fn) \
    X(LV_SYS_MONITOR_ENTER, orva_sysMonitorEnter, orva_sysMonitorEnter_fn) \
    X(LV_SYS_MONITOR_EXIT, orva_sysMonitorExit, orva_sysMonitorExit_fn) \
    X(LV_SYS_MONITOR_ENTERED, orva_sysMonitorEntered, orva_sysMonitorEntered_fn) \
    X(LV_DUMP_THREADS, orva_DumpThreads, orva_code_addr) \
    X(LV_EXPAND_JAVA_STACK_FOR_JNI, orva_ExpandJavaStackForJNI, orva_code_addr) \
    X(LV_EXPAND_JAVA_STACK, orva_ExpandJavaStack, orva_code_addr) \
    X(LV_EXECUTE_JAVA, orva_ExecuteJava, orva_code_addr) \
    X(LV_NOW, orva_now, orva_now_fn) \
    X(LV_PROFILER_IS_ON, orva_java_profiler_isOn, orva_java_profiler_isOn_fn) \
    X(LV_PROFILER_LOG, orva_java_profiler_log, orva_code_addr) \
    X(LV_JAVA_STACK_SIZE, orva_JavaStackSize, orva_code_addr) \
    X(LV_JIO_SNPRINTF, orva_jio_snprintf, orva_jio_snprintf_fn) \
    X(LV_JAVASTRING2CSTRING, orva_javaString2CString, orva_javaString2CString_fn) \
    X(LV_JNI_MKREFLOCAL, orva_jni_mkRefLocal, orva_code_addr) \
    X(LV_JAVASOFTCACHE_ALLOC, orva_javasoftcacheAlloc, orva_code_addr) \
    X(LV_JVMPI_INFO, orva_jvmpi_info, jvmpi_info*) \
    X(LV_GET_CUSTOM_INVOKER, orva_getCustomInvoker, orva_code_addr) \
    X(LV_CODE_LOCK, orva_code_lock, void*) \
    X(LV_JVMPI_METHOD_ENTRY, orva_jvmpi_method_entry, orva_jvmpi_method_entry_fn) \
    X(LV_JVMPI_METHOD_EXIT, orva_jvmpi_method_exit, orva_jvmpi_method_exit_fn) \
    X(LV_JVMPI_LOAD_COMPILED_METHOD, orva_jvmpi_load_compiled_method, orva_jvmpi_event_fn) \
    X(LV_JVMPI_GENERIC_EVENT, orva_jvmpi_generic_event, orva_jvmpi_event_fn) \
    X(LV_MONITOR_WAIT2, orva_monitorWait2, orva_code_addr) \
    X(LV_MONITOR_NOTIFY2, orva_monitorNotify2, orva_code_addr) \
    X(LV_MONITOR_NOTIFYALL2, orva_monitorNotifyAll2, orva_code_addr) \
    X(LV_SYS_MONITOR_WAIT, orva_sysMonitorWait, orva_code_addr) \
    X(LV_SYS_MONITOR_NOTIFY, orva_sysMonitorNotify, orva_code_addr) \
    X(LV_SYS_MONITOR_NOTIFYALL, orva_sysMonitorNotifyAll, orva_code_addr) \
    X(LV_QUEUE_LOCK, orva_queue_lock, void*) \
    X(LV_SYS_THREAD_SINGLE, orva_sysThreadSingle, orva_code_addr) \
    X(LV_SYS_THREAD_MULTI, orva_sysThreadMulti, orva_code_addr) \
    X(LV_SYS_THREAD_ENUMERATE_OVER, orva_sysThreadEnumerateOver, orva_code_addr)

// MMI table words copied by the binding: X(byte offset, global, type).
#define ORVA_MMI_SERVICES(X) \
    X(MMI_PC2STRING, orva_pc2string, orva_pc2string_fn) \
    X(MMI_IS_SPECIAL_SUPER_CALL, orva_isSpecialSuperCall, orva_isSpecialSuperCall_fn) \
    X(MMI_SYS_GET_MILLI_TICKS, orva_sysGetMilliTicks, orva_sysGetMilliTicks_fn) \
    X(MMI_OBJECT2CSTRING, orva_Object2CString, orva_Object2CString_fn) \
    X(MMI_GC_LINK_VECTOR, orva_GCLinkVector, u4*) \
    X(MMI_FILL_IN_STACK_TRACE, orva_fillInStackTrace, orva_code_addr) \
    X(MMI_MAKE_JAVA_STRING_UTF, orva_makeJavaStringUTF, orva_code_addr) \
    X(MMI_SYS_MONITOR_INIT, orva_sysMonitorInit, orva_sysMonitorInit_fn) \
    X(MMI_MONITOR_FLAT_EXIT, orva_monitorFlatExitForJIT, orva_monitorFlatExitForJIT_fn) \
    X(MMI_AT_EXIT, orva_AtExit, orva_code_addr) \
    X(MMI_LINK_CLASS, orva_LinkClass, orva_code_addr) \
    X(MMI_ENUMERATE_LOADER_CACHE, orva_EnumerateOverLoaderCache, orva_EnumerateOverLoaderCache_fn) \
    X(MMI_SYS_THREAD_STACK_TOP, orva_sysThreadStackTop, orva_code_addr) \
    X(MMI_JIT_INITIALIZE, orva_mmipJitInitialize, orva_mmipJitInitialize_fn) \
    X(MMI_INSTRUCTION_RANGE, orva_mmipGetInstructionAddressRange, orva_mmipGetInstructionAddressRange_fn) \
    X(MMI_INVOKE_JAVA_WITH_CATCH, orva_invokeJavaMethodWithCatch, orva_code_addr) \
    X(MMI_INVOKE_SYNC_JAVA_WITH_CATCH, orva_invokeSynchronizedJavaMethodWithCatch, orva_code_addr) \
    X(MMI_SELECT_JAVA, orva_SelectInvokeJavaMethod, orva_code_addr) \
    X(MMI_SELECT_SYNC_JAVA, orva_SelectInvokeSynchronizedJavaMethod, orva_code_addr) \
    X(MMI_SELECT_JAVA_WITH_CATCH, orva_SelectInvokeJavaMethodWithCatch, orva_code_addr) \
    X(MMI_SELECT_SYNC_JAVA_WITH_CATCH, orva_SelectInvokeSynchronizedJavaMethodWithCatch, orva_code_addr) \
    X(MMI_SELECT_LAZY_NATIVE, orva_SelectInvokeLazyNativeMethod, orva_code_addr) \
    X(MMI_SELECT_JNI_NATIVE, orva_SelectInvokeJNINativeMethod, orva_code_addr) \
    X(MMI_SELECT_JNI_SYNC_NATIVE, orva_SelectInvokeJNISynchronizedNativeMethod, orva_code_addr) \
    X(MMI_GET_CUSTOM_SELECT_INVOKER, orva_mmijGetCustomSelectInvoker, orva_mmijGetCustomSelectInvoker_fn) \
    X(MMI_EXCEPTION_EXECUTE_RESTART, orva_mmipExceptionExecuteRestart, orva_code_addr) \
    X(MMI_EXCEPTION_METHOD_HANDLER, orva_mmipExceptionMethodHandler, orva_mmipExceptionMethodHandler_fn) \
    X(MMI_EXCEPTION_RELEASE_MONITOR, orva_mmipExceptionReleaseMonitor, orva_code_addr) \
    X(MMI_EXCEPTION_RESTORE_CALLER, orva_mmipExceptionRestoreCallerContext, orva_code_addr) \
    X(MMI_EXCEPTION_REGISTER_HANDLER, orva_mmijExceptionRegisterHandler, orva_mmijExceptionRegisterHandler_fn) \
    X(MMI_EXCEPTION_REGISTER_RAISER, orva_mmijExceptionRegisterRaiser, orva_code_addr)

#define ORVA_DECLARE_SERVICE(slot, name, type) extern type name;
ORVA_LV_SERVICES(ORVA_DECLARE_SERVICE)
ORVA_MMI_SERVICES(ORVA_DECLARE_SERVICE)
#undef ORVA_DECLARE_SERVICE

// ---------------------------------------------------------------------------
// Start-up facts.
// ---------------------------------------------------------------------------
extern u4* orva_CompileCodeLinkVector;     // the VM's link vector (128 words)
extern u4* orva_ZEKCompileCodeLinkVector;  // the MMI table (slot 108)
extern u4* orva_FrameIntf;                 // the VM's frame-interface table (24 words)
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

// The VM's heap (orva_malloc / orva_free); the C library's before start-up
// has bound the VM, so option parsing in tests needs no VM.
void* jit_vm_malloc(size_t size);
void jit_vm_free(void* p);

// Enter and exit a VM system monitor with the current thread.
void jit_monitor_enter(void* monitor);
void jit_monitor_exit(void* monitor);

#endif // ORVA_DRIVER_VMLINK_H
