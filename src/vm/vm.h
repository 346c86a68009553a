// vm.h - the host VM's internal interface.
//
// The records shared with the compiler are in vm_abi.h; this header declares
// the VM's own functions, grouped by the file (or group of files) that
// defines them.  All functions follow the VM's exception convention: a
// function that fails leaves an exception pending in the EE (exception_kind
// = 1, exception = the object) and returns 0 / false / nullptr, unless its
// comment says otherwise.  No C++ exceptions; nothing with a destructor lives
// on a frame that the restart or landing stubs can abandon.
#ifndef ORVA_VM_H
#define ORVA_VM_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "vm_abi.h"

typedef JHandle* jref;  // a Java reference (object, array or class block)

// ---------------------------------------------------------------------------
// Small inline helpers on the object model
// ---------------------------------------------------------------------------

inline u4& vm_preheader(jref o) { return reinterpret_cast<u4*>(o)[-1]; }
inline bool vm_is_array(jref o) { return (o->lockword & LOCK_HDR_ARRAY) != 0; }
inline int vm_array_type(jref o) { return (o->lockword & LOCK_HDR_MASK) >> 3; }
inline s4 vm_array_length(jref o) { return static_cast<s4>(o->word0); }
inline void* vm_array_data(jref o) { return reinterpret_cast<u1*>(o) + OBJ_HEADER_SIZE; }
template <typename T> inline T* vm_array_elems(jref o) { return static_cast<T*>(vm_array_data(o)); }
// Element class word of a reference array: the word after the last element.
inline classblock*& vm_array_element_class(jref o)
{
    return *reinterpret_cast<classblock**>(reinterpret_cast<u1*>(o) + OBJ_HEADER_SIZE
                                           + 4 * o->word0);
}
// Instance field at byte offset `off` from obj+8.
template <typename T> inline T& vm_field(jref o, u4 off)
{
    return *reinterpret_cast<T*>(reinterpret_cast<u1*>(o) + OBJ_HEADER_SIZE + off);
}
inline bool vm_exception_pending(EE* ee) { return ee->exception_kind != 0; }
inline jref vm_pending_exception(EE* ee) { return reinterpret_cast<jref>(ee->exception); }
inline void vm_set_pending(EE* ee, jref exc) { ee->exception = reinterpret_cast<u4>(exc); ee->exception_kind = 1; }
inline void vm_clear_pending(EE* ee) { ee->exception_kind = 0; ee->exception = 0; }

// Size in bytes of one element of an array of the given type code.
inline u4 vm_type_size(int type)
{
    switch (type) {
    case T_BOOLEAN: case T_BYTE: return 1;
    case T_CHAR: case T_SHORT: return 2;
    case T_DOUBLE: case T_LONG: return 8;
    default: return 4;
    }
}

// ---------------------------------------------------------------------------
// Global VM state (vm_globals.cpp)
// ---------------------------------------------------------------------------

struct vm_options {
    const char* classpath;          // user class path, ':'-separated directories
    const char* bootclasspath;      // the class library directory
    const char* compiler;           // 0 = default libjit.so; "NONE" = interpreter only
    u4 java_stack_size;             // -Xss, bytes
    u4 heap_size;                   // -Xmx, bytes
    int verbose_class;              // -verbose:class
    int nprops;                     // -D properties
    const char** prop_names;
    const char** prop_values;
    u4 threshold;                   // mixed-mode threshold (ZEK_MIXED_MODE_THRESHOLD)
};
extern vm_options vm_opts;

// Well-known classes, set during bootstrap.
extern classblock* vm_class_Object;
extern classblock* vm_class_Class;
extern classblock* vm_class_String;
extern classblock* vm_class_Throwable;
extern classblock* vm_class_Exception;
extern classblock* vm_class_RuntimeException;
extern classblock* vm_class_Cloneable;
extern classblock* vm_class_Serializable;
extern classblock* vm_class_Thread;

// Preallocated throwables.
extern jref vm_preallocated_oom;        // java/lang/OutOfMemoryError
extern jref vm_preallocated_internal;   // java/lang/InternalError

// ---------------------------------------------------------------------------
// Memory: metadata arena and heap (heap.cpp)
// ---------------------------------------------------------------------------

void vm_heap_init(u4 heap_bytes);
// Metadata arena: zeroed, 8-byte aligned, never freed, never moved.
void* vm_meta_alloc(size_t bytes);
char* vm_meta_strdup(const char* s);
// Raw allocation of `size` bytes (already rounded, pre-header included);
// returns the object pointer (block + 4) or 0 when the arena is exhausted.
jref vm_heap_alloc_raw(u4 size);
// orva_AllocObject / orva_AllocArray semantics: zeroed, header set, 0 WITHOUT
// raising on exhaustion.  Type 2 arrays reserve the trailing element-class
// word, which the caller stores.
jref vm_alloc_object_noraise(classblock* cb);
jref vm_alloc_array_noraise(int type, s4 length);
// Raising forms: OutOfMemoryError / NegativeArraySizeException pending on failure.
jref vm_new_object(EE* ee, classblock* cb);
jref vm_new_array(EE* ee, int type, s4 length);
jref vm_new_object_array(EE* ee, classblock* element_class, s4 length);
// Multi-dimensional array of array class `cb` with `ndims` lengths (dims[0]
// outermost).  Negative lengths raise NegativeArraySizeException.
jref vm_new_multi_array(EE* ee, classblock* cb, int ndims, const s4* dims);
// Block size of an object / array as compiled code computes it.
u4 vm_object_block_size(classblock* cb);
u4 vm_array_block_size(int type, s4 length);
bool vm_heap_contains(const void* p);
u4 vm_identity_hash(jref o);

// ---------------------------------------------------------------------------
// Classes: loading, linking, lookup, initialisation
//   (classfile.cpp, verify.cpp, link.cpp, classtable.cpp, resolve.cpp, init.cpp)
// ---------------------------------------------------------------------------

// Loaded-class table (the compiler reads it through link-vector slots 25/26).
extern classblock** vm_binclasses;      // every loaded class, in load order
extern int vm_nbinclasses;

// Bootstrap: loads and links java/lang/Object, Class (with the word-0 patch),
// String, the exception classes, primitive classes; preallocates OOM and
// InternalError; initialises StackOverflowError.  Returns false on failure
// (with a message on stderr).
bool vm_bootstrap_classes(EE* ee);

// Finds (loading and linking if needed) the class with the given internal
// name ("java/lang/String", "[I", "[Ljava/lang/Object;").  init != 0 also
// initialises it.  Failure: NoClassDefFoundError (or ClassFormatError,
// VerifyError, ...) pending, returns 0.
classblock* vm_find_class(EE* ee, const char* name, int init);
// Already loaded class, or 0.  Never loads, never raises.
classblock* vm_lookup_class(const char* name);
// Parses, verifies and links a class from bytes (used by the loader and by
// tests).  Failure: ClassFormatError / VerifyError / ... pending, returns 0.
classblock* vm_define_class(EE* ee, const char* expected_name, const u1* bytes, u4 length);
// Array class whose elements are `element` (cached in element->array_class).
classblock* vm_array_class_of(EE* ee, classblock* element);
// Primitive array class for a type code (T_INT, ...).
classblock* vm_primitive_array_class(int type);
// Primitive class for a descriptor char ('I', 'Z', 'V', ...), or 0.
classblock* vm_primitive_class(char sig);
// JLS initialisation procedure.  True when initialised (or being
// initialised by this thread); false with the exception pending.
bool vm_init_class(EE* ee, classblock* cb);
// Subtype tests (same class, subclass, implemented interface, arrays).
bool vm_is_subclass_of(classblock* cb, classblock* target);
bool vm_is_instance_of(jref o, classblock* target);   // false for null
// The class block of an object (arrays get their array class).
classblock* vm_class_of(jref o);
// Method / field lookup by name and signature, searching superclasses (and,
// for methods, superinterfaces).  Return 0 without raising when absent.
methodblock* vm_find_method(classblock* cb, const char* name, const char* sig);
methodblock* vm_find_declared_method(classblock* cb, const char* name, const char* sig);
fieldblock* vm_find_field(classblock* cb, const char* name, const char* sig);
// Constant-pool resolution under the linkclass lock (word first, then the
// tag with 0x80).  `mask` is a set of 1 << tag.  Returns the resolved word
// (class block, field block, method block, String) or 0 with an exception
// pending.  Never initialises.
u4 vm_resolve_constant(EE* ee, u4* cp, u2 index, u4 mask);
inline classblock* vm_cp_class_of(u4* cp) { return reinterpret_cast<classblock*>(cp[-1]); }
inline u1* vm_cp_tags(u4* cp) { return reinterpret_cast<u1*>(cp[0]); }
// Name of the class in a Class entry, resolved or not.
const char* vm_cp_class_name(u4* cp, u2 index);
// Access checks.
bool vm_class_accessible(classblock* from, classblock* cb);
bool vm_field_accessible(classblock* from, fieldblock* fb);
// Is invokespecial of mb from `caller` a super call (ACC_SUPER semantics)?
bool vm_is_special_super_call(classblock* caller, methodblock* mb);
// Visits every loaded and linked class once (including array classes).
void vm_enumerate_classes(void (*fn)(classblock*, void*), void* arg);
// Class-preparation hook: called for every class prepared after the compiler
// started (set by the platform layer once the compiler is loaded).
extern void (*vm_class_prepared_hook)(classblock* cb);
// Dotted class name into a buffer ("java.lang.String", "[I").
char* vm_class_name_dotted(classblock* cb, char* buf, size_t len);
// Line number of a pc in a method, or -1.
int vm_line_number(methodblock* mb, const u1* pc);

// ---------------------------------------------------------------------------
// Strings (string.cpp)
// ---------------------------------------------------------------------------

jref vm_new_string_utf(EE* ee, const char* utf8);       // modified UTF-8 input
jref vm_new_string_chars(EE* ee, const u2* chars, s4 n);
jref vm_intern(EE* ee, jref str);                       // the canonical instance
jref vm_intern_utf(EE* ee, const char* utf8);
// Bounded, NUL-terminated UTF-8 copy of a String (null prints "null").
char* vm_string_to_utf(jref str, char* buf, size_t len);
// Fresh malloc'd UTF-8 copy; the caller frees it.
char* vm_string_to_utf_alloc(jref str);
s4 vm_string_length(jref str);
const u2* vm_string_chars(jref str);                    // value + offset

// ---------------------------------------------------------------------------
// Interpreter, calls into Java, exceptions (interp.cpp, invoke.cpp,
// exceptions.cpp, vm_stubs.S)
// ---------------------------------------------------------------------------

// Calls a Java method (any kind: interpreted, native, compiled) from C++.
// argv holds the argument slots in Java slot order (receiver first; a long or
// double takes two slots, HIGH half first).  Returns 1 on normal completion
// with the result in *result (may be null), 0 with the exception pending.
extern "C" int vm_call_java(EE* ee, methodblock* mb, const u4* argv, u4 nargs, JValue* result);
// Convenience: look up by name/signature and call (static when obj is null).
int vm_call_method(EE* ee, jref obj, classblock* cb, const char* name, const char* sig,
                   JValue* result, ...);
// The interpreter loop, entered only from the assembly entry routines.
extern "C" u4 vm_interpret(vm_activation* act);

// Makes a new exception of class `class_name` pending, constructed with the
// detail message (0: no-argument constructor), its stack trace filled in.
// If that fails, the failure's exception is pending instead (the
// preallocated OutOfMemoryError when allocation fails).
void vm_throw(EE* ee, const char* class_name, const char* message);
void vm_throwf(EE* ee, const char* class_name, const char* format, ...);
// Prints an uncaught exception like a JVM: 'Exception in thread "name" ' and
// the stack trace, on stderr.
void vm_print_uncaught(EE* ee, jref exc);
// Fills a Throwable's backtrace from the current stack.
void vm_fill_in_stack_trace(EE* ee, jref throwable);

// ---------------------------------------------------------------------------
// Natives (natives_*.cpp)
// ---------------------------------------------------------------------------

// Calling convention of every native method (the JNI convention, the same
// whether the interpreter or compiled glue calls it): cdecl,
//   result fn(EE* env, u4* cls_or_this, arg1, arg2, ...)
// where cls_or_this is the address of a word holding the class block (static
// methods) or the receiver; every reference argument is the address of a word
// holding it, or 0 for null; a long or double argument is an ordinary 8-byte
// value; int-class results come back in eax (the caller narrows Z B C S),
// long in edx:eax, float/double in st(0), and a reference result is a handle
// (address of a word holding it) or 0.  A native signals an exception by
// leaving it pending.  Our natives use the VM's C++ API on the EE directly.
typedef u4* jhandle;
inline jref vm_deref(jhandle h) { return h ? reinterpret_cast<jref>(*h) : nullptr; }
// New local reference in the current native frame (0 for null).  Dropped when
// the native returns.
jhandle vm_jni_ref(EE* ee, jref o);

// A native function of the class library, bound by (class, name, signature).
struct vm_native {
    const char* clazz;
    const char* name;
    const char* signature;
    void* fn;
};
// Looks up the function of a native method (0 when unknown); also stores it
// in mb->native_code and mb->native_entry.  (natives_table.cpp)
void* vm_bind_native(methodblock* mb);
// The JNI function table (EE word 0).
extern const void* const vm_jni_function_table[];

// ---------------------------------------------------------------------------
// Threads, monitors, signals (thread.cpp, monitor.cpp, sysmonitor.cpp,
// signals.cpp)
// ---------------------------------------------------------------------------

// The current thread's EE (0 off Java threads).
EE* vm_current_ee();
// Creates a thread area (1.9) with its TLA and EE and runs fn(ee, arg) on a
// new pthread whose stack lies in that area.  Returns the EE or 0.
EE* vm_start_thread_area(void (*fn)(EE*, void*), void* arg, bool daemon);

// Java monitors (thin locks, inflation, wait/notify).
extern "C" int orva_monitorEnter2(EE* ee, jref o);
extern "C" int orva_monitorExit2(EE* ee, jref o);
extern "C" void orva_monitorFlatExitForJIT(EE* ee, jref o);
int vm_monitor_wait(EE* ee, jref o, int64_t millis);
int vm_monitor_notify(EE* ee, jref o, bool all);
bool vm_holds_lock(EE* ee, jref o);

// System monitors (re-entrant, at most 64 bytes of caller storage).
struct sys_thread;
extern "C" int orva_sysMonitorSizeof();
extern "C" void orva_sysMonitorInit(void* mon);
extern "C" void orva_sysMonitorEnter(sys_thread* self, void* mon);
extern "C" void orva_sysMonitorExit(sys_thread* self, void* mon);
extern "C" int orva_sysMonitorEntered(sys_thread* self, void* mon);
extern "C" void orva_sysMonitorWait(sys_thread* self, void* mon, int64_t millis);
extern "C" void orva_sysMonitorNotify(sys_thread* self, void* mon);
extern "C" void orva_sysMonitorNotifyAll(sys_thread* self, void* mon);
// VM locks exported through the link vector.
extern u1 vm_binclass_lock[SYS_MONITOR_MAX_SIZE];
extern u1 vm_linkclass_lock[SYS_MONITOR_MAX_SIZE];
extern u1 vm_code_lock[SYS_MONITOR_MAX_SIZE];
extern u1 vm_queue_lock[SYS_MONITOR_MAX_SIZE];
inline sys_thread* vm_self(EE* ee) { return static_cast<sys_thread*>(ee->sys_thread); }


// ---------------------------------------------------------------------------
// Binding surface (linkvector.cpp, services.cpp, compiler_load.cpp)
// ---------------------------------------------------------------------------

extern "C" void* orva_CompileCodeLinkVector[LV_SIZE];
extern "C" void* orva_ZEKCompileCodeLinkVector[MMI_SIZE / 4];
extern "C" void* orva_FrameIntf[FI_SIZE];
extern "C" void* orva_GCLinkVector[GCV_SIZE];
extern "C" jvmpi_info orva_jvmpi_state;
// Hook variables the compiler writes (0 = not installed).
extern "C" void* vm_hook_compile;               // slot 4: the compile trampoline
extern "C" void* vm_hook_pc_in_compiled;        // slot 16: jit_PCinCompiledCode(pc, mb)
extern "C" void* vm_hook_initialize_for_compiler; // slot 101
// Handler word stored in every interpreter registration: the compiler's
// handler once registered, vm_fallback_handler before.
extern "C" void* vm_exception_handler;
extern "C" int vm_fallback_handler(void* record, void* registration, void* context);
// Builds the link vector and the tables it points to (call once at boot).
void vm_init_link_vector();
// Loads and starts the compiler library unless -Xint / -Djava.compiler=NONE.
// Prints one warning line and returns false when it cannot; the VM then
// runs interpreted.
bool vm_start_compiler(EE* ee);
bool vm_compiler_active();
// Frame walking through the frame-interface table (works with and without a
// compiler).  The VM's own interpreter-only walkers, installed in slots 0-17
// at boot and in slot 18 for good (defined with the interpreter):
extern "C" void vm_fi_init(EE* ee, frame_iterator* it);
extern "C" void vm_fi_clone(frame_iterator* src, frame_iterator* dst);
extern "C" void vm_fi_prev(frame_iterator* it);
extern "C" int vm_fi_more(frame_iterator* it);
extern "C" methodblock* vm_fi_method(frame_iterator* it);
extern "C" u1* vm_fi_lastpc(frame_iterator* it);
extern "C" u4 vm_fi_frame_address(frame_iterator* it);
// Installs the signal handlers (SIGSEGV, SIGBUS, SIGFPE; SIGPIPE ignored).
void vm_install_signal_handlers();

#endif  // ORVA_VM_H
