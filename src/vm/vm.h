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
// The first allocation of the 16 MB-aligned metadata arena, set aside at
// vm_heap_init for java/lang/Class's method table (bit 23 of its address is
// then 0).  Returns 0 when `bytes` exceeds the reserve or it was taken.
void* vm_meta_alloc_class_methodtable(size_t bytes);
// Class blocks (and primitive class blocks) come from the metadata arena with
// a pre-header word; word 0 is the Class method table, or 0 (and the block is
// remembered for the bootstrap patch) while java/lang/Class is not linked.
classblock* vm_meta_alloc_classblock();
// Writes word 0 of every class block allocated before the Class method
// table existed.  Called once by the bootstrap.
void vm_patch_classblock_word0(method_table* class_mt);
// Bytes of heap in use / reserved (Runtime.freeMemory, totalMemory).
u4 vm_heap_used();
u4 vm_heap_capacity();
// The heap arena [start, end) (GC link vector words 1 and 2); 0, 0 before
// vm_heap_init.
void vm_heap_bounds(u4* start, u4* end);

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
// The class of a (non-array) name for the verifier's hierarchy questions,
// without linking it when it is not loaded yet: a loaded class, one being
// loaded by this thread, or one read ahead (CS_LOADED: name, super_name and
// access are valid; superclass may be 0).  Loading such a class later uses
// the same class block.  Failure: NoClassDefFoundError / ClassFormatError
// pending, returns 0.
classblock* vm_class_for_verifier(EE* ee, const char* name);
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
// The constant pool's words as the class file gave them (Class, String: the
// Utf8 index; member references: class index << 16 | NameAndType index;
// NameAndType: name << 16 | descriptor), kept after the tag table because
// resolution overwrites cp[i].  Never changes once the class is read.
inline u4 vm_cp_raw_offset(u4 count) { return (count + 3u) & ~3u; }
inline const u4* vm_cp_raw(u4* cp)
{
    return reinterpret_cast<const u4*>(vm_cp_tags(cp) + vm_cp_raw_offset(vm_cp_class_of(cp)->constantpool_count));
}
// Name of the class in a Class entry, resolved or not.
const char* vm_cp_class_name(u4* cp, u2 index);
// Access checks.
// Do two class names (a/b/C form) lie in the same package?
bool vm_same_package(const char* a, const char* b);
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
// Loading and linking without running Java code: Object, Class (with the
// word-0 patch), String and the other bootstrap classes, primitive classes.
// vm_bootstrap_classes runs this first, then the Java part (preallocated
// throwables, StackOverflowError initialised).
bool vm_bootstrap_load_classes(EE* ee);
bool vm_method_accessible(classblock* from, methodblock* mb);
// The class-loading lock (recursive, outermost of the VM's class locks).
void vm_classload_lock();
void vm_classload_unlock();

// Error found while reading, verifying or linking a class: the exception
// class to raise (slash form) and its detail message.  The low-level entry
// points below report through it so that they run without an EE.
struct vm_load_error {
    const char* exception;      // 0 = no error
    char message[256];
};
void vm_load_error_set(vm_load_error* err, const char* exception, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Parses and structurally verifies a class file into a class block (state
// CS_LOADED, nothing resolved).  expected_name may be 0.  (classfile.cpp)
classblock* vm_parse_class(const u1* bytes, u4 length, const char* expected_name,
                           vm_load_error* err);
// Structural verification of one method's code (verify.cpp).
bool vm_verify_method(classblock* cb, methodblock* mb, int major_version, vm_load_error* err);
// Length of the instruction at pc of code that passed the structural
// verifier, or 0 when it runs past `length`.  (verify.cpp)
u4 vm_bytecode_length(const u1* code, u4 length, u4 pc);
// Type-level verification of every method of a class whose supertypes are
// linked (verify_types.cpp); the last step of vm_link_class.  False with
// VerifyError (or the error of reading a class the check needed) pending.
bool vm_verify_class_types(EE* ee, classblock* cb);
// Links a parsed class: superclass and interfaces first, implements entries
// resolved, fields, statics, method table, interface table, reference map;
// sets CS_LINKED.  Failure: exception pending.  (link.cpp)
bool vm_link_class(EE* ee, classblock* cb);
// Array class for a descriptor element, created on first use; never raises
// (metadata exhaustion is fatal).
classblock* vm_array_class_noraise(classblock* element);
// The shared interface method table {0, 0, 0} of classes without interfaces.
imethod_table* vm_empty_imethod_table();
// Makes the primitive classes and their array classes (bootstrap).
void vm_make_primitive_classes(EE* ee);
// Stores the String ConstantValues of classes linked before java/lang/String
// (bootstrap, once String is linked).
bool vm_link_deferred_string_constants(EE* ee);
// Descriptor helpers (classfile.cpp).  vm_skip_field_sig advances past one
// field type and answers false when it is malformed.
bool vm_skip_field_sig(const char*& s);
bool vm_valid_field_sig(const char* s);
bool vm_valid_method_sig(const char* s);
int vm_sig_arg_words(const char* method_sig);       // receiver not counted
char vm_sig_return_kind(const char* method_sig);    // V Z B C S I J F D L
// Size of a field of this descriptor in 32-bit words (2 for J and D).
inline int vm_sig_words(const char* field_sig) { return *field_sig == 'J' || *field_sig == 'D' ? 2 : 1; }

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
// Interpreter, calls into Java, exceptions (interp.cpp, interp_invoke.cpp,
// quicken.cpp, exceptions.cpp, stackwalk.cpp, vm_stubs.S; private records
// and helpers in interp.h)
// ---------------------------------------------------------------------------

// Calls a Java method (any kind: interpreted, native, compiled) from C++.
// argv holds the argument slots in Java slot order (receiver first; a long or
// double takes two slots, HIGH half first).  Returns 1 on normal completion
// with the result in *result (may be null), 0 with the exception pending.
extern "C" int vm_call_java(EE* ee, methodblock* mb, const u4* argv, u4 nargs, JValue* result);
// Convenience: look up by name/signature and call (static when obj is null:
// the class is initialised first; otherwise virtual dispatch on obj's class).
// The variadic arguments follow the signature after the receiver: int for
// I Z B C S, int64_t for J, double for F and D, jref for references.
int vm_call_method(EE* ee, jref obj, classblock* cb, const char* name, const char* sig,
                   JValue* result, ...);
// The interpreter loop, entered only from the assembly entry routines.
extern "C" u4 vm_interpret(vm_activation* act);

// Makes a new exception of class `class_name` pending, constructed with the
// detail message (0: no-argument constructor), its stack trace filled in.
// If that fails, the failure's exception is pending instead (the
// preallocated OutOfMemoryError when allocation fails).  This is the body of
// orva_SignalError; a message-less StackOverflowError is made without
// running Java code (vm_throw_stack_overflow).
void vm_throw(EE* ee, const char* class_name, const char* message);
void vm_throwf(EE* ee, const char* class_name, const char* format, ...);
// Prints an uncaught exception like a JVM: System.out flushed, then
// 'Exception in thread "name" ' and the exception's printStackTrace() on
// stderr.  Clears the pending exception.
void vm_print_uncaught(EE* ee, jref exc);
// Fills a Throwable's backtrace from the current stack (through the
// frame-interface table), leaving out fillInStackTrace and the throwable's
// own constructors; at most 1024 frames.
void vm_fill_in_stack_trace(EE* ee, jref throwable);

// Invoker and selector values (vm_stubs.S, interpreter code range).  Each is
// entered with the invoker ABI: eax = method block, ecx = argument words,
// argument word i at [esp + 4 * (ecx - i)]; the caller pops.  Class loading
// stores one of the first four (or the lazy-native / abstract one) into every
// method block it makes; vm_initial_invoker picks it.
extern "C" void orva_invokeJavaMethod();
extern "C" void orva_invokeSynchronizedJavaMethod();
extern "C" void orva_invokeJavaMethodWithCatch();
extern "C" void orva_invokeSynchronizedJavaMethodWithCatch();
extern "C" void orva_invokeAbstractMethod();
extern "C" void orva_invokeLazyNativeMethod();
extern "C" void orva_invokeCompiledMethod();
extern "C" void orva_invokeJNINativeMethod();
extern "C" void orva_invokeJNISynchronizedNativeMethod();
extern "C" void orva_SelectInvokeJavaMethod();
extern "C" void orva_SelectInvokeSynchronizedJavaMethod();
extern "C" void orva_SelectInvokeJavaMethodWithCatch();
extern "C" void orva_SelectInvokeSynchronizedJavaMethodWithCatch();
extern "C" void orva_SelectInvokeLazyNativeMethod();
extern "C" void orva_SelectInvokeJNINativeMethod();
extern "C" void orva_SelectInvokeJNISynchronizedNativeMethod();
// The invoker a freshly loaded method starts with (access flags, exception
// table): interpreter invoker, lazy native or abstract.
void* vm_initial_invoker(const methodblock* mb);
// Restart stub (MMI +156) and the frame-less landing stubs: entry points
// only, never called from C++.
extern "C" void orva_mmipExceptionExecuteRestart();
extern "C" void vm_frameless_landing();
extern "C" void vm_thread_bottom_landing();
// MMI +160: called by the compiler's exception filter for the method-kind
// registration of an interpreter activation (`state`).  Searches the
// activation's frames from EE+8 down for a handler of `cls`; returns the
// handler's bytecode address (frames above it popped, *needs_object = 1) or
// 0 after popping every frame of the activation.
extern "C" u1* orva_mmipExceptionMethodHandler(EE* ee, vm_activation* state, methodblock* mb,
                                               classblock* cls, int* needs_object);
// StackOverflowError made pending without running Java code (the object is
// allocated directly and its backtrace filled in).
extern "C" void vm_throw_stack_overflow(EE* ee);

// Stack traces (stackwalk.cpp).  A Throwable's backtrace is an int[] of
// (method block, pc word) pairs, pc word = bytecode address for an
// interpreted frame, 0 for a native method, 1 for compiled code.
int vm_backtrace_depth(jref throwable);
// "Class.method(File:line)", "Class.method(Native Method)",
// "Class.method(Compiled Code)" or "Class.method(Unknown Source)" of entry
// `index` (0 = newest); 0 when out of range.
char* vm_backtrace_line(jref throwable, int index, char* buf, size_t len);
// The same text for one frame (pc as in the backtrace words).
char* vm_frame_text(methodblock* mb, const u1* pc, char* buf, size_t len);
// Writes the current thread's Java stack to file descriptor fd, one
// "\tat ..." line per frame (thread dumps, fatal-error reports).
void vm_dump_java_stack(EE* ee, int fd);

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
// Looks up the function of a native method: the natives table by (class,
// name, signature), else an exported JNI symbol "Java_<class>_<name>" (then
// with "__<arguments>").  0 when unknown; otherwise also stored in
// mb->native_code, with the table position + 1 (0 for a JNI symbol) in
// mb->native_entry.  (natives_table.cpp)
void* vm_bind_native(methodblock* mb);
// Opens a user's JNI library (System.load, System.loadLibrary) whose
// natives vm_bind_native then finds; loading it again does nothing.  False
// with UnsatisfiedLinkError pending ("Can't load library: <path>" when there
// is no such file, else the dynamic loader's reason).  (natives_table.cpp)
bool vm_load_library(EE* ee, const char* path);
// The JNI function table (EE word 0).
extern const void* const vm_jni_function_table[];
// Parts of the natives table, one per natives_*.cpp file, each ended by an
// entry whose clazz is 0; vm_bind_native searches them in this order.
extern const vm_native vm_natives_lang[];       // natives_lang.cpp
extern const vm_native vm_natives_math[];       // natives_math.cpp
extern const vm_native vm_natives_io[];         // natives_io.cpp
extern const vm_native vm_natives_reflect[];    // natives_reflect.cpp
extern const vm_native vm_natives_file[];       // natives_file.cpp
// Ends the process with `status` (Runtime.exit0): on a Java thread whose
// System class is initialised, System.flushStreams() first; then the
// orva_AtExit functions (vm_run_atexit_functions), C stdio, and _exit.
// Other threads are not waited for.  (natives_lang.cpp)
[[noreturn]] void vm_exit(EE* ee, int status);
// The dotted class name as an interned String, made on first use and kept
// at class block +0x44; 0 with OutOfMemoryError pending.  Compiled code
// reads +0x44 directly for Class.getName(), so the class loader should call
// this for every class before the compiler can see it.  (natives_lang.cpp)
jref vm_class_name_string(EE* ee, classblock* cb);

// Floating-point text conversions (natives_fpconv.cpp): pure functions that
// need no EE.  Java's Double.toString / Float.toString text (shortest digits
// that read back, Java layout) into buf, which holds at least
// VM_FP_TEXT_MAX bytes; returns the length.
#define VM_FP_TEXT_MAX 32
int vm_double_to_string(double d, char* buf);
int vm_float_to_string(float f, char* buf);
// Double.parseDouble / Float.parseFloat on UTF-16 text: trims characters
// <= ' ', accepts the Java grammar (sign, NaN, Infinity, decimal and
// hexadecimal forms, f/F/d/D suffix).  *trim_start / *trim_end (either may
// be null) receive the trimmed range, which the error message quotes.
// Errors: EMPTY ("empty String"), MULTIPLE_POINTS ("multiple points": a
// second '.' among the leading decimal digits), BAD (`For input string`).
enum { FP_PARSE_OK = 0, FP_PARSE_EMPTY = 1, FP_PARSE_BAD = 2, FP_PARSE_MULTIPLE_POINTS = 3 };
int vm_parse_double(const u2* chars, s4 n, double* out, s4* trim_start, s4* trim_end);
int vm_parse_float(const u2* chars, s4 n, float* out, s4* trim_start, s4* trim_end);

// ---------------------------------------------------------------------------
// Threads, monitors, signals (thread.cpp, monitor.cpp, sysmonitor.cpp,
// signals.cpp)
// ---------------------------------------------------------------------------

// The current thread's EE (0 off Java threads).
EE* vm_current_ee();
// Creates a thread area (1.9) with its TLA and EE and runs fn(ee, arg) on a
// new pthread whose stack lies in that area.  Returns the EE or 0.
EE* vm_start_thread_area(void (*fn)(EE*, void*), void* arg, bool daemon);
// Thread base (assembly, with the interpreter's stubs): called by the thread
// entry of every area on the new thread, after the TLA, the __thread EE, the
// alternate signal stack and the x87 state are set up.  It builds the bottom
// registration (frame-less kind, resume word vm_thread_bottom_landing, handler
// vm_exception_handler) at the lowest addresses of its frame and links it at
// TLA word 0, pushes the thread base frame at the Java stack base (EE+8 and
// EE+0xC), sets EE+0x188 = 0 and EE+0x18C = 0, calls fn(ee, arg), unlinks and
// returns.  A raise that lands on the bottom registration abandons fn and
// returns from here with the exception pending; the thread entry prints it as
// uncaught.
extern "C" void vm_thread_base(EE* ee, void (*fn)(EE*, void*), void* arg);
// Blocks the caller (the launcher's process thread) until every non-daemon
// thread started with vm_start_thread_area has ended.
void vm_wait_non_daemon_threads();
// True when the first thread made by vm_start_thread_area (the main Java
// thread) ended through a raise that reached its bottom registration (the
// thread entry printed it as uncaught); the launcher's exit status is then 1.
bool vm_first_thread_ended_uncaught();
// Starts a java.lang.Thread: a new area whose function calls the object's
// run() through vm_call_java, prints an uncaught exception, then sets the
// object's `alive` false and notifies all waiters on it (join).  0 with
// OutOfMemoryError pending when no area can be made.
EE* vm_start_java_thread(EE* ee, jref thread_object, bool daemon);
// Ends the current thread as a Java thread: its Thread object's alive flag
// cleared and every thread waiting on the object (join) notified.  The
// thread-start function and the main thread (once main returned) call it;
// a second call does nothing.  A pending exception stays pending.
void vm_end_java_thread(EE* ee);
// Sleeps; interruptible (returns 0 with InterruptedException pending and
// the interrupted flag cleared).
int vm_thread_sleep(EE* ee, int64_t millis);
// Sets the target's interrupted flag and wakes it from sleep or wait.
void vm_thread_interrupt(EE* target);
// Reads (and optionally clears) the interrupted flag.
bool vm_thread_interrupted(EE* ee, bool clear);
// Calls fn for every live Java thread, under the queue lock.
void vm_enumerate_threads(void (*fn)(EE*, void*), void* arg);
// EE+0x44 values.
enum vm_thread_state : u4 {
    VM_THREAD_NEW = 0,
    VM_THREAD_RUNNABLE = 1,
    VM_THREAD_BLOCKED = 2,      // entering a contended monitor
    VM_THREAD_WAITING = 3,      // Object.wait, sleep, join
    VM_THREAD_TERMINATED = 4,
};

// Java monitors (thin locks, inflation, wait/notify).
extern "C" int orva_monitorEnter2(EE* ee, jref o);
extern "C" int orva_monitorExit2(EE* ee, jref o);
extern "C" void orva_monitorFlatExitForJIT(EE* ee, jref o);
int vm_monitor_wait(EE* ee, jref o, int64_t millis);
int vm_monitor_notify(EE* ee, jref o, bool all);
bool vm_holds_lock(EE* ee, jref o);
// Wakes `target` from Object.wait so that it sees its interrupted flag.
void vm_monitor_wake_waiter(EE* target);

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
// Thread services of the link vector (thread.cpp).
extern "C" void orva_sysThreadSingle();
extern "C" void orva_sysThreadMulti();
extern "C" void orva_sysThreadEnumerateOver(void (*fn)(sys_thread*, void*), void* arg);
extern "C" void* orva_sysThreadStackTop(sys_thread* st);
// Zero lock storage is already a valid monitor; this only marks the four VM
// locks.  Called first by the launcher; nothing breaks if it is not.
void vm_init_locks();


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
extern "C" void* vm_hook_signal;                // slot 5: jit_CompiledCodeSignalHandler
extern "C" void* vm_hook_compiler_load_class;   // slot 102
extern "C" void* vm_hook_pc_to_line;            // slot 103
extern "C" void* vm_hook_start_guard;           // slot 3
extern "C" void* vm_hook_compiled_pc;           // slot 17
extern "C" void* vm_hook_compile_class;         // slots 9-12: java.lang.Compiler natives
extern "C" void* vm_hook_compile_classes;
extern "C" void* vm_hook_enable;
extern "C" void* vm_hook_disable;
extern "C" u4 vm_use_lossless_quick;            // slot 19: UseLosslessQuickOpcodes (1)
// Text range of the loaded compiler library (0, 0 without one): its stubs
// and the compile trampoline probe the stack (compiler_load.cpp).
extern u4 vm_compiler_text_start;
extern u4 vm_compiler_text_end;
// Handler word stored in every interpreter registration: the compiler's
// handler once registered, vm_fallback_handler before.
extern "C" void* vm_exception_handler;
// The raiser the compiler registered through MMI +176 (recorded, unused).
extern "C" void* vm_exception_raiser;
extern "C" int vm_fallback_handler(void* record, void* registration, void* context);
// Builds the link vector and the tables it points to (call once at boot).
void vm_init_link_vector();
// GC link vector words 12 and 16: quick allocation for compiled code.
extern "C" void* orva_quick_alloc(EE* ee, u4 word0, u4 flags, u4 size);

// VM services of the link vector and the MMI table (services.cpp).  C
// calling convention, exactly the argument orders and results the compiler
// relies on.  "Direct" services never raise, run Java code or collect.
extern "C" {
void* orva_malloc(size_t n);
void* orva_calloc(size_t n, size_t size);
void* orva_realloc(void* p, size_t n);
char* orva_strdup(const char* s);
void orva_free(void* p);
EE* orva_EE();
int64_t orva_now();                                     // wall clock, ms
s4 orva_sysGetMilliTicks();                             // monotonic, ms
int orva_jio_snprintf(char* buf, size_t len, const char* format, ...)
    __attribute__((format(printf, 3, 4)));              // always NUL-terminated
char* orva_classname2string(const char* name, char* buf, int len);
char* orva_javaString2CString(jref s, char* buf, int len);
jref orva_makeJavaStringUTF(const char* utf8);
char* orva_Object2CString(jref o, char* buf, int len);
// limit: the buffer's length, or its end address (both forms are accepted).
char* orva_pc2string(const u1* pc, methodblock* mb, char* buf, char* limit);
int orva_AtExit(void (*fn)());
classblock* orva_FindClass(EE* ee, const char* name, int init);
classblock* orva_FindClassFromClass(EE* ee, const char* name, int init, classblock* from);
const char* orva_GetClassConstantClassName(u4* cp, int index);
int orva_ResolveClassConstant2(u4* cp, int index, EE* ee, u4 mask, int init);
int orva_ResolveClassConstantFromClass2(classblock* cb, int index, EE* ee, u4 mask, int init);
int orva_ExecuteStaticInitializers(classblock* cb);
int orva_LinkClass(classblock* cb);
void orva_EnumerateOverLoaderCache(EE* ee, void (*fn)(classblock*, void*), void* arg);
int orva_VerifyClassAccess(classblock* from, classblock* cb, int flag);
int orva_VerifyFieldAccess(classblock* from, fieldblock* fb, int flag);
int orva_is_subclass_of(classblock* cb, classblock* super_class, EE* ee);
int orva_is_instance_of(jref o, classblock* cb, EE* ee);  // direct; exactly 0 or 1
int orva_isSpecialSuperCall(classblock* caller, methodblock* mb);
jref orva_AllocObject(EE* ee, classblock* cb);              // 0 WITHOUT raising
jref orva_AllocArray(EE* ee, int type, s4 length);          // 0 WITHOUT raising
// dims points at the outermost length; the others follow at decreasing addresses.
jref orva_MultiArrayAlloc(int ndims, classblock* array_class, s4* dims);
u4 orva_sizearray(int type, s4 length);
void* orva_javasoftcacheAlloc();
void orva_SignalError(EE* ee, const char* class_name, const char* message);
jref orva_exceptionInternalObject(int which);
void orva_fillInStackTrace(EE* ee, jref throwable);
void orva_monitorWait2(EE* ee, jref o, int64_t millis);
void orva_monitorNotify2(EE* ee, jref o);
void orva_monitorNotifyAll2(EE* ee, jref o);
void orva_monitorRegister(void* monitor, const char* name);
void orva_DumpThreads();
int orva_ExpandJavaStack();
int orva_ExpandJavaStackForJNI();
int orva_JavaStackSize();
void orva_ExecuteJava();
void* orva_dynoLink(methodblock* mb, u4* out);
void* orva_getCustomInvoker();
void* orva_mmijGetCustomSelectInvoker(EE* ee, methodblock* mb, int flag);
u4 orva_do_execute_java_method_vararg(EE* ee, jref obj, const char* name, const char* sig,
                                      methodblock* mb, int is_static, va_list args);
u4 orva_execute_java_static_method(EE* ee, classblock* cb, const char* name, const char* sig, ...);
jhandle orva_jni_mkRefLocal(EE* ee, jref o);
u4 orva_mmiInterfaceVersion();                              // MMI +104
void orva_mmipJitInitialize();
void orva_mmipGetInstructionAddressRange(EE* ee, u4 out[2]);
int orva_mmipExceptionRestoreCallerContext();
void orva_mmijExceptionRegisterHandler(EE* ee, void* handler);
void orva_mmijExceptionRegisterRaiser(EE* ee, void* raiser);
int orva_java_profiler_isOn();
void orva_java_profiler_log(...);
void orva_jvmpi_method_entry(EE* ee, jref obj_or_class, methodblock* mb);
void orva_jvmpi_method_exit(EE* ee, methodblock* mb);
void orva_jvmpi_load_compiled_method(void* record);
void orva_jvmpi_generic_event(void* record);
}
// Runs the orva_AtExit functions, newest first, once (System.exit and the
// launcher's normal end).
void vm_run_atexit_functions();
// Loads and starts the compiler library unless -Xint / -Djava.compiler=NONE.
// Prints one warning line and returns false when it cannot; the VM then
// runs interpreted.
bool vm_start_compiler(EE* ee);
bool vm_compiler_active();
// The loaded compiler's version string (jit_CompilerVersion), or 0.
const char* vm_compiler_version();
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
// The remaining slots of the VM's own frame interface (6, 8-17); slot 7
// (fi_args) is never called and stays 0.
extern "C" void* vm_fi_target(frame_iterator* it);
extern "C" int vm_fi_current_frame_exists(EE* ee);
extern "C" methodblock* vm_fi_current_frame_method(EE* ee);
extern "C" u1* vm_fi_current_frame_lastpc(EE* ee);
extern "C" u4 vm_fi_current_frame_address(EE* ee);
extern "C" int vm_fi_set_mode(EE* ee, int mode);
extern "C" int vm_fi_get_mode(EE* ee);
extern "C" void vm_fi_thread_post_exception(EE* ee, jref exc);
extern "C" int vm_fi_is_jit_frame(frame_iterator* it);
extern "C" u4 vm_fi_get_id(frame_iterator* it);
extern "C" void vm_fi_set(frame_iterator* it, u4 id);
// Installs the signal handlers (SIGSEGV, SIGBUS, SIGFPE; SIGPIPE ignored).
void vm_install_signal_handlers();

// Fault classification and stack zones (signals.cpp, fault_raiser.S).
struct vm_fault_site {
    int signal;
    int si_code;
    u4 fault_addr;              // si_addr
    u4 area;                    // the faulting thread's area base
    bool yellow_open;           // TLA +0x1C
    bool in_compiled;           // eip in committed code (link-vector slot 16)
    bool in_interpreter;        // eip in the interpreter's code range
    bool in_compiler_text;      // eip in the compiler library's text
};
// The code the fault is raised with (FAULT_ARITHMETIC, FAULT_MEMORY,
// FAULT_STACK_OVERFLOW), or 0 when it is fatal.
u4 vm_classify_fault(const vm_fault_site& site);
// The interpreter's code range [start, end) (section vm_interp_text).
bool vm_pc_in_interpreter(u4 pc);
void vm_interpreter_range(u4 out[2]);
// Protects the yellow zone again after a handled stack overflow, when the
// caller's frame lies at least VM_YELLOW_REPROTECT_ROOM above the zone.  Call
// on the thread itself (restart and landing continuations, call-outs).
#define VM_YELLOW_REPROTECT_ROOM 0x10000u
void vm_reprotect_yellow_zone(EE* ee);
// Prints "Internal VM error: <text>", the thread and its Java stack, aborts.
[[noreturn]] void vm_fatal_error(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif  // ORVA_VM_H
