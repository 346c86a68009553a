// The binding tables the compiler library is started with: the link vector
// (128 words), the MMI interface table (50 words), the frame-interface table
// (24 words), the GC link vector (52 words) with its quick allocation
// entries, the profiler state, and the hook variables the compiler writes.
//
// Slot kinds: a hook slot holds the address of a VM variable that the
// compiler writes (its entry points); a service slot holds a VM function or
// the address of a VM variable, which the compiler copies once.  The VM reads
// the hook variables only after java_lang_Compiler_start returned; a hook
// still 0 means the compiler did not install it.
//
// Everything is filled by vm_init_link_vector, in slot order, before the
// compiler is loaded; nothing here has a static constructor.
#include <cstring>

#include "vm.h"

// ---------------------------------------------------------------------------
// The tables
// ---------------------------------------------------------------------------

extern "C" {
void* orva_CompileCodeLinkVector[LV_SIZE];
void* orva_ZEKCompileCodeLinkVector[MMI_SIZE / 4];
void* orva_FrameIntf[FI_SIZE];
void* orva_GCLinkVector[GCV_SIZE];
jvmpi_info orva_jvmpi_state;            // all zero: no profiling, final before start-up
}

static_assert(MMI_SIZE == 50 * 4);
static_assert(FI_SIZE == 24);
static_assert(GCV_SIZE == 52);
static_assert(LV_SIZE == 128);

namespace {

const u4 link_vector_version = LV_VERSION_WORD;
const u4 mmi_version = MMI_VERSION_WORD;

}  // namespace

// ---------------------------------------------------------------------------
// Hook variables (written by the compiler)
// ---------------------------------------------------------------------------

extern "C" {
void* vm_hook_start_guard;              // slot 3 (the compiler writes 0)
void* vm_hook_compile;                  // slot 4: the compile trampoline
void* vm_hook_signal;                   // slot 5
void* vm_hook_free_class;               // slot 6: never called (no unloading)
void* vm_hook_compile_class;            // slot 9
void* vm_hook_compile_classes;          // slot 10
void* vm_hook_enable;                   // slot 11
void* vm_hook_disable;                  // slot 12
void* vm_hook_15;                       // slot 15 (the compiler writes 0)
void* vm_hook_pc_in_compiled;           // slot 16
void* vm_hook_compiled_pc;              // slot 17
void* vm_hook_18;                       // slot 18 (the compiler writes 0)
u4 vm_use_lossless_quick = 1;           // slot 19: UseLosslessQuickOpcodes
void* vm_hook_compiled_frame_update;    // slot 94
void* vm_hook_initialize_for_compiler;  // slot 101
void* vm_hook_compiler_load_class;      // slot 102
void* vm_hook_pc_to_line;               // slot 103
void* vm_hook_unused[4];                // slots 7, 8, 13, 14 (never written)
void* vm_mmi_compile_hook;              // MMI +180 (the trampoline again)
void* vm_mmi_compile_xfer_hook;         // MMI +184 (transfer compiles)
void* vm_mmi_xfer_hook;                 // MMI +188: _mmi2jit_xfer
void* vm_mmi_global_lock_hook;          // MMI +192
void* vm_mmi_global_unlock_hook;        // MMI +196
void* vm_exception_raiser;              // MMI +176 records it, nobody calls it
void* vm_exception_handler = reinterpret_cast<void*>(&vm_fallback_handler);
}

// ---------------------------------------------------------------------------
// GC link vector entries
// ---------------------------------------------------------------------------

// Quick allocation (GC vector words 12 and 16), called directly by compiled
// code: size is the block size, pre-header included, already rounded to 8;
// word0 is the method table (objects) or the length (arrays, flags bit 1
// set); flags is the lock word's header byte.  Never raises, never collects,
// never blocks: 0 sends the compiled code to its slow path.  The bump heap
// hands out memory the kernel zero-filled and never reuses it.
extern "C" void* orva_quick_alloc(EE* ee, u4 word0, u4 flags, u4 size)
{
    if (size < 12 || (size & 7) != 0)
        return nullptr;
    jref o = vm_heap_alloc_raw(size);
    if (!o)
        return nullptr;
    vm_preheader(o) = 0;
    o->word0 = word0;
    o->lockword = flags & LOCK_HDR_MASK;
    return o;
}

// The compiler replaces these with its own (which also do nothing).
extern "C" void orva_gc_callback_noop(EE* ee) {}

// ---------------------------------------------------------------------------
// Filling
// ---------------------------------------------------------------------------

namespace {

template <typename F> inline void* fn(F* f) { return reinterpret_cast<void*>(f); }
inline void* var(void* v) { return v; }

void init_frame_interface()
{
    // Interpreter-only walkers until the compiler installs its own in slots
    // 0-17; slot 18 is the VM's for good.
    orva_FrameIntf[FI_INIT] = fn(vm_fi_init);
    orva_FrameIntf[FI_CLONE] = fn(vm_fi_clone);
    orva_FrameIntf[FI_PREV] = fn(vm_fi_prev);
    orva_FrameIntf[FI_MORE] = fn(vm_fi_more);
    orva_FrameIntf[FI_METHOD] = fn(vm_fi_method);
    orva_FrameIntf[FI_LASTPC] = fn(vm_fi_lastpc);
    orva_FrameIntf[FI_TARGET] = fn(vm_fi_target);
    // Slot 7 (fi_args) returns a structure through a hidden pointer; the VM
    // never calls it and has no walker of its own for it.
    orva_FrameIntf[FI_CURRENT_FRAME_EXISTS] = fn(vm_fi_current_frame_exists);
    orva_FrameIntf[FI_CURRENT_FRAME_METHOD] = fn(vm_fi_current_frame_method);
    orva_FrameIntf[FI_CURRENT_FRAME_LASTPC] = fn(vm_fi_current_frame_lastpc);
    orva_FrameIntf[FI_CURRENT_FRAME_ADDRESS] = fn(vm_fi_current_frame_address);
    orva_FrameIntf[FI_SET_MODE] = fn(vm_fi_set_mode);
    orva_FrameIntf[FI_GET_MODE] = fn(vm_fi_get_mode);
    orva_FrameIntf[FI_THREAD_POST_EXCEPTION] = fn(vm_fi_thread_post_exception);
    orva_FrameIntf[FI_IS_JIT_FRAME] = fn(vm_fi_is_jit_frame);
    orva_FrameIntf[FI_GET_ID] = fn(vm_fi_get_id);
    orva_FrameIntf[FI_SET] = fn(vm_fi_set);
    orva_FrameIntf[FI_FRAME_ADDRESS] = fn(vm_fi_frame_address);
}

void init_gc_vector()
{
    orva_GCLinkVector[GCV_VERSION] = reinterpret_cast<void*>(GCV_VERSION_WORD);
    u4 heap_start = 0, heap_end = 0;
    vm_heap_bounds(&heap_start, &heap_end);     // 0, 0 before the heap exists
    orva_GCLinkVector[GCV_HEAP_START] = reinterpret_cast<void*>(heap_start);
    orva_GCLinkVector[GCV_HEAP_END] = reinterpret_cast<void*>(heap_end);
    orva_GCLinkVector[GCV_QUICK_ALLOC] = fn(orva_quick_alloc);
    orva_GCLinkVector[GCV_QUICK_ALLOC_NEW] = fn(orva_quick_alloc);
    orva_GCLinkVector[GCV_CALLBACK_START] = fn(orva_gc_callback_noop);
    orva_GCLinkVector[GCV_CALLBACK_END] = fn(orva_gc_callback_noop);
}

void init_mmi()
{
    void** m = orva_ZEKCompileCodeLinkVector;
    auto at = [m](int byte_offset) -> void*& { return m[byte_offset / 4]; };
    at(MMI_VERSION) = var(const_cast<u4*>(&mmi_version));
    at(MMI_FRAME_INTF) = var(orva_FrameIntf);
    at(MMI_PC2STRING) = fn(orva_pc2string);
    at(MMI_IS_SPECIAL_SUPER_CALL) = fn(orva_isSpecialSuperCall);
    at(MMI_SYS_GET_MILLI_TICKS) = fn(orva_sysGetMilliTicks);
    at(MMI_OBJECT2CSTRING) = fn(orva_Object2CString);
    at(MMI_GC_LINK_VECTOR) = var(orva_GCLinkVector);
    at(MMI_FILL_IN_STACK_TRACE) = fn(orva_fillInStackTrace);
    at(MMI_MAKE_JAVA_STRING_UTF) = fn(orva_makeJavaStringUTF);
    at(MMI_SYS_MONITOR_INIT) = fn(orva_sysMonitorInit);
    at(MMI_MONITOR_FLAT_EXIT) = fn(orva_monitorFlatExitForJIT);
    at(MMI_AT_EXIT) = fn(orva_AtExit);
    at(MMI_LINK_CLASS) = fn(orva_LinkClass);
    at(MMI_ENUMERATE_LOADER_CACHE) = fn(orva_EnumerateOverLoaderCache);
    at(MMI_SYS_THREAD_STACK_TOP) = fn(orva_sysThreadStackTop);
    at(MMI_INTERFACE_VERSION) = fn(orva_mmiInterfaceVersion);
    at(MMI_JIT_INITIALIZE) = fn(orva_mmipJitInitialize);
    at(MMI_INSTRUCTION_RANGE) = fn(orva_mmipGetInstructionAddressRange);
    at(MMI_INVOKE_JAVA_WITH_CATCH) = fn(orva_invokeJavaMethodWithCatch);
    at(MMI_INVOKE_SYNC_JAVA_WITH_CATCH) = fn(orva_invokeSynchronizedJavaMethodWithCatch);
    at(MMI_SELECT_JAVA) = fn(orva_SelectInvokeJavaMethod);
    at(MMI_SELECT_SYNC_JAVA) = fn(orva_SelectInvokeSynchronizedJavaMethod);
    at(MMI_SELECT_JAVA_WITH_CATCH) = fn(orva_SelectInvokeJavaMethodWithCatch);
    at(MMI_SELECT_SYNC_JAVA_WITH_CATCH) = fn(orva_SelectInvokeSynchronizedJavaMethodWithCatch);
    at(MMI_SELECT_LAZY_NATIVE) = fn(orva_SelectInvokeLazyNativeMethod);
    at(MMI_SELECT_JNI_NATIVE) = fn(orva_SelectInvokeJNINativeMethod);
    at(MMI_SELECT_JNI_SYNC_NATIVE) = fn(orva_SelectInvokeJNISynchronizedNativeMethod);
    at(MMI_GET_CUSTOM_SELECT_INVOKER) = fn(orva_mmijGetCustomSelectInvoker);
    at(MMI_EXCEPTION_EXECUTE_RESTART) = fn(orva_mmipExceptionExecuteRestart);
    at(MMI_EXCEPTION_METHOD_HANDLER) = fn(orva_mmipExceptionMethodHandler);
    at(MMI_EXCEPTION_RELEASE_MONITOR) = fn(orva_monitorExit2);
    at(MMI_EXCEPTION_RESTORE_CALLER) = fn(orva_mmipExceptionRestoreCallerContext);
    at(MMI_EXCEPTION_REGISTER_HANDLER) = fn(orva_mmijExceptionRegisterHandler);
    at(MMI_EXCEPTION_REGISTER_RAISER) = fn(orva_mmijExceptionRegisterRaiser);
    at(MMI_HOOK_COMPILE) = var(&vm_mmi_compile_hook);
    at(MMI_HOOK_COMPILE_XFER) = var(&vm_mmi_compile_xfer_hook);
    at(MMI_HOOK_XFER) = var(&vm_mmi_xfer_hook);
    at(MMI_HOOK_GLOBAL_LOCK) = var(&vm_mmi_global_lock_hook);
    at(MMI_HOOK_GLOBAL_UNLOCK) = var(&vm_mmi_global_unlock_hook);
}

void init_link_vector()
{
    void** lv = orva_CompileCodeLinkVector;
    lv[LV_VERSION] = var(const_cast<u4*>(&link_vector_version));
    lv[LV_HOOK_START_GUARD] = var(&vm_hook_start_guard);
    lv[LV_HOOK_COMPILE] = var(&vm_hook_compile);
    lv[LV_HOOK_SIGNAL] = var(&vm_hook_signal);
    lv[LV_HOOK_FREE_CLASS] = var(&vm_hook_free_class);
    lv[7] = var(&vm_hook_unused[0]);
    lv[8] = var(&vm_hook_unused[1]);
    lv[LV_HOOK_COMPILE_CLASS] = var(&vm_hook_compile_class);
    lv[LV_HOOK_COMPILE_CLASSES] = var(&vm_hook_compile_classes);
    lv[LV_HOOK_ENABLE] = var(&vm_hook_enable);
    lv[LV_HOOK_DISABLE] = var(&vm_hook_disable);
    lv[13] = var(&vm_hook_unused[2]);
    lv[14] = var(&vm_hook_unused[3]);
    lv[LV_HOOK_15] = var(&vm_hook_15);
    lv[LV_HOOK_PC_IN_COMPILED] = var(&vm_hook_pc_in_compiled);
    lv[LV_HOOK_COMPILED_PC] = var(&vm_hook_compiled_pc);
    lv[LV_HOOK_18] = var(&vm_hook_18);
    lv[LV_LOSSLESS_QUICK] = var(&vm_use_lossless_quick);
    lv[LV_MALLOC] = fn(orva_malloc);
    lv[LV_CALLOC] = fn(orva_calloc);
    lv[LV_REALLOC] = fn(orva_realloc);
    lv[LV_STRDUP] = fn(orva_strdup);
    lv[LV_FREE] = fn(orva_free);
    lv[LV_BINCLASSES] = var(&vm_binclasses);
    lv[LV_NBINCLASSES] = var(&vm_nbinclasses);
    lv[LV_BINCLASS_LOCK] = var(vm_binclass_lock);
    lv[LV_LINKCLASS_LOCK] = var(vm_linkclass_lock);
    lv[LV_CLASS_CLASS] = var(&vm_class_Class);
    lv[LV_CLASS_OBJECT] = var(&vm_class_Object);
    lv[LV_CLASS_STRING] = var(&vm_class_String);
    lv[LV_CLASS_THROWABLE] = var(&vm_class_Throwable);
    lv[LV_CLASS_EXCEPTION] = var(&vm_class_Exception);
    lv[LV_CLASS_RUNTIMEEXCEPTION] = var(&vm_class_RuntimeException);
    lv[LV_CLASS_CLONEABLE] = var(&vm_class_Cloneable);
    lv[LV_EE] = fn(orva_EE);
    lv[LV_SIGNAL_ERROR] = fn(orva_SignalError);
    lv[LV_EXCEPTION_INTERNAL_OBJECT] = fn(orva_exceptionInternalObject);
    lv[LV_GET_CLASS_CONSTANT_CLASS_NAME] = fn(orva_GetClassConstantClassName);
    lv[LV_FIND_CLASS] = fn(orva_FindClass);
    lv[LV_FIND_CLASS_FROM_CLASS] = fn(orva_FindClassFromClass);
    lv[LV_EXECUTE_STATIC_INITIALIZERS] = fn(orva_ExecuteStaticInitializers);
    lv[LV_RESOLVE_CLASS_CONSTANT2] = fn(orva_ResolveClassConstant2);
    lv[LV_RESOLVE_CLASS_CONSTANT_FROM_CLASS2] = fn(orva_ResolveClassConstantFromClass2);
    lv[LV_VERIFY_CLASS_ACCESS] = fn(orva_VerifyClassAccess);
    lv[LV_VERIFY_FIELD_ACCESS] = fn(orva_VerifyFieldAccess);
    lv[LV_IS_SUBCLASS_OF] = fn(orva_is_subclass_of);
    lv[LV_IS_INSTANCE_OF] = fn(orva_is_instance_of);
    lv[LV_CLASSNAME2STRING] = fn(orva_classname2string);
    lv[LV_ALLOC_OBJECT] = fn(orva_AllocObject);
    lv[LV_ALLOC_ARRAY] = fn(orva_AllocArray);
    lv[LV_MULTI_ARRAY_ALLOC] = fn(orva_MultiArrayAlloc);
    lv[LV_SIZEARRAY] = fn(orva_sizearray);
    lv[LV_DYNO_LINK] = fn(orva_dynoLink);
    lv[LV_EXECUTE_JAVA_METHOD_VARARG] = fn(orva_do_execute_java_method_vararg);
    lv[LV_EXECUTE_JAVA_STATIC_METHOD] = fn(orva_execute_java_static_method);
    lv[LV_INVOKE_JAVA_METHOD] = fn(orva_invokeJavaMethod);
    lv[LV_INVOKE_SYNCHRONIZED_JAVA_METHOD] = fn(orva_invokeSynchronizedJavaMethod);
    lv[LV_INVOKE_ABSTRACT_METHOD] = fn(orva_invokeAbstractMethod);
    lv[LV_INVOKE_LAZY_NATIVE_METHOD] = fn(orva_invokeLazyNativeMethod);
    lv[LV_INVOKE_COMPILED_METHOD] = fn(orva_invokeCompiledMethod);
    lv[LV_INVOKE_JNI_NATIVE_METHOD] = fn(orva_invokeJNINativeMethod);
    lv[LV_INVOKE_JNI_SYNCHRONIZED_NATIVE_METHOD] = fn(orva_invokeJNISynchronizedNativeMethod);
    lv[LV_MONITOR_ENTER2] = fn(orva_monitorEnter2);
    lv[LV_MONITOR_EXIT2] = fn(orva_monitorExit2);
    lv[LV_MONITOR_REGISTER] = fn(orva_monitorRegister);
    lv[LV_SYS_MONITOR_SIZEOF] = fn(orva_sysMonitorSizeof);
    lv[LV_SYS_MONITOR_ENTER] = fn(orva_sysMonitorEnter);
    lv[LV_SYS_MONITOR_EXIT] = fn(orva_sysMonitorExit);
    lv[LV_SYS_MONITOR_ENTERED] = fn(orva_sysMonitorEntered);
    lv[LV_DUMP_THREADS] = fn(orva_DumpThreads);
    lv[LV_EXPAND_JAVA_STACK_FOR_JNI] = fn(orva_ExpandJavaStackForJNI);
    lv[LV_EXPAND_JAVA_STACK] = fn(orva_ExpandJavaStack);
    lv[LV_EXECUTE_JAVA] = fn(orva_ExecuteJava);
    lv[LV_NOW] = fn(orva_now);
    lv[LV_PROFILER_IS_ON] = fn(orva_java_profiler_isOn);
    lv[LV_PROFILER_LOG] = fn(orva_java_profiler_log);
    lv[LV_JAVA_STACK_SIZE] = fn(orva_JavaStackSize);
    lv[LV_JIO_SNPRINTF] = fn(orva_jio_snprintf);
    lv[LV_JAVASTRING2CSTRING] = fn(orva_javaString2CString);
    lv[LV_JNI_MKREFLOCAL] = fn(orva_jni_mkRefLocal);
    lv[LV_JAVASOFTCACHE_ALLOC] = fn(orva_javasoftcacheAlloc);
    lv[LV_JVMPI_INFO] = var(&orva_jvmpi_state);
    lv[LV_GET_CUSTOM_INVOKER] = fn(orva_getCustomInvoker);
    lv[LV_CODE_LOCK] = var(vm_code_lock);
    lv[LV_JVMPI_METHOD_ENTRY] = fn(orva_jvmpi_method_entry);
    lv[LV_JVMPI_METHOD_EXIT] = fn(orva_jvmpi_method_exit);
    lv[LV_JVMPI_LOAD_COMPILED_METHOD] = fn(orva_jvmpi_load_compiled_method);
    lv[LV_JVMPI_GENERIC_EVENT] = fn(orva_jvmpi_generic_event);
    lv[LV_HOOK_COMPILED_FRAME_UPDATE] = var(&vm_hook_compiled_frame_update);
    lv[LV_MONITOR_WAIT2] = fn(orva_monitorWait2);
    lv[LV_MONITOR_NOTIFY2] = fn(orva_monitorNotify2);
    lv[LV_MONITOR_NOTIFYALL2] = fn(orva_monitorNotifyAll2);
    lv[LV_SYS_MONITOR_WAIT] = fn(orva_sysMonitorWait);
    lv[LV_SYS_MONITOR_NOTIFY] = fn(orva_sysMonitorNotify);
    lv[LV_SYS_MONITOR_NOTIFYALL] = fn(orva_sysMonitorNotifyAll);
    lv[LV_HOOK_INITIALIZE_FOR_COMPILER] = var(&vm_hook_initialize_for_compiler);
    lv[LV_HOOK_COMPILER_LOAD_CLASS] = var(&vm_hook_compiler_load_class);
    lv[LV_HOOK_PC_TO_LINE] = var(&vm_hook_pc_to_line);
    lv[LV_QUEUE_LOCK] = var(vm_queue_lock);
    lv[LV_SYS_THREAD_SINGLE] = fn(orva_sysThreadSingle);
    lv[LV_SYS_THREAD_MULTI] = fn(orva_sysThreadMulti);
    lv[LV_SYS_THREAD_ENUMERATE_OVER] = fn(orva_sysThreadEnumerateOver);
    lv[LV_MMI] = var(orva_ZEKCompileCodeLinkVector);
}

}  // namespace

void vm_init_link_vector()
{
    std::memset(orva_CompileCodeLinkVector, 0, sizeof orva_CompileCodeLinkVector);
    std::memset(orva_ZEKCompileCodeLinkVector, 0, sizeof orva_ZEKCompileCodeLinkVector);
    std::memset(orva_FrameIntf, 0, sizeof orva_FrameIntf);
    std::memset(orva_GCLinkVector, 0, sizeof orva_GCLinkVector);
    std::memset(&orva_jvmpi_state, 0, sizeof orva_jvmpi_state);
    vm_use_lossless_quick = 1;
    init_frame_interface();
    init_gc_vector();
    init_mmi();
    init_link_vector();
}
