// Bootstrap of the class model, on the main Java thread before any other
// Java code runs.
//
// Loading part (no Java code): java/lang/Object, then java/lang/Class whose
// method table takes the reserved first block of the 16 MB-aligned metadata
// arena (bit 23 of its address is 0), then word 0 of every class block made
// before it is patched; then String (its value/offset/count fields checked
// against the offsets compiled code uses), the interfaces arrays implement,
// the throwables the VM raises, the primitive classes and their array
// classes, and the String constants of classes linked before String.
//
// Java part: String and the throwable hierarchy initialised, the
// OutOfMemoryError and InternalError instances preallocated (constructed
// while memory is plentiful) and StackOverflowError initialised, so that
// raising it later does not run <clinit> on an exhausted stack.
#include <cstdio>
#include <cstring>

#include "vm.h"

namespace {

struct boot_class {
    const char* name;
    classblock** var;    // well-known class variable, or 0
    bool required;
};

// Loaded in this order after Object and Class.
constexpr boot_class BOOT_CLASSES[] = {
    {"java/lang/String", &vm_class_String, true},
    {"java/lang/Cloneable", &vm_class_Cloneable, true},
    {"java/io/Serializable", &vm_class_Serializable, true},
    {"java/lang/Throwable", &vm_class_Throwable, true},
    {"java/lang/Exception", &vm_class_Exception, true},
    {"java/lang/RuntimeException", &vm_class_RuntimeException, true},
    {"java/lang/Error", nullptr, true},
    {"java/lang/OutOfMemoryError", nullptr, true},
    {"java/lang/InternalError", nullptr, true},
    {"java/lang/StackOverflowError", nullptr, true},
    {"java/lang/Thread", &vm_class_Thread, false},
    // Raised by the VM itself; loaded early so that raising them needs no
    // class loading in a low-memory or deep-stack situation.
    {"java/lang/NullPointerException", nullptr, false},
    {"java/lang/ArithmeticException", nullptr, false},
    {"java/lang/ArrayIndexOutOfBoundsException", nullptr, false},
    {"java/lang/ArrayStoreException", nullptr, false},
    {"java/lang/ClassCastException", nullptr, false},
    {"java/lang/NegativeArraySizeException", nullptr, false},
    {"java/lang/IllegalMonitorStateException", nullptr, false},
    {"java/lang/NoClassDefFoundError", nullptr, false},
    {"java/lang/ClassFormatError", nullptr, false},
    {"java/lang/VerifyError", nullptr, false},
    {"java/lang/ClassCircularityError", nullptr, false},
    {"java/lang/ExceptionInInitializerError", nullptr, false},
    {"java/lang/IncompatibleClassChangeError", nullptr, false},
    {"java/lang/AbstractMethodError", nullptr, false},
    {"java/lang/IllegalAccessError", nullptr, false},
    {"java/lang/InstantiationError", nullptr, false},
    {"java/lang/NoSuchFieldError", nullptr, false},
    {"java/lang/NoSuchMethodError", nullptr, false},
    {"java/lang/UnsatisfiedLinkError", nullptr, false},
};

bool boot_failed(EE* ee, const char* what, const char* name)
{
    std::fprintf(stderr, "Error occurred during initialization of VM\n%s %s", what, name);
    if (ee && vm_exception_pending(ee)) {
        jref exc = vm_pending_exception(ee);
        char cls[256];
        std::fprintf(stderr, " (%s)", vm_class_name_dotted(vm_class_of(exc), cls, sizeof cls));
    }
    std::fputc('\n', stderr);
    return false;
}

bool check_string_layout(EE* ee)
{
    struct expected { const char* name; const char* sig; u4 offset; };
    constexpr expected FIELDS[] = {{"value", "[C", 0}, {"offset", "I", 4}, {"count", "I", 8}};
    for (const expected& e : FIELDS) {
        fieldblock* fb = vm_find_field(vm_class_String, e.name, e.sig);
        if (!fb || (fb->access & ACC_STATIC) || fb->value != e.offset)
            return boot_failed(ee, "java/lang/String does not start with value, offset, count:", e.name);
    }
    return true;
}

// Allocates and constructs (no-argument constructor) a throwable.
jref preallocate(EE* ee, const char* name)
{
    classblock* cb = vm_find_class(ee, name, 1);
    if (!cb)
        return nullptr;
    jref obj = vm_new_object(ee, cb);
    if (!obj)
        return nullptr;
    methodblock* ctor = vm_find_declared_method(cb, "<init>", "()V");
    u4 self = reinterpret_cast<u4>(obj);
    if (ctor && !vm_call_java(ee, ctor, &self, 1, nullptr))
        return nullptr;
    return obj;
}

}  // namespace

bool vm_bootstrap_load_classes(EE* ee)
{
    vm_heap_init(vm_opts.heap_size);
    if (!vm_class_Object) {
        vm_class_Object = vm_find_class(ee, "java/lang/Object", 0);
        if (!vm_class_Object)
            return boot_failed(ee, "cannot load", "java/lang/Object");
    }
    if (!vm_class_Class) {
        classblock* cls = vm_find_class(ee, "java/lang/Class", 0);
        if (!cls)
            return boot_failed(ee, "cannot load", "java/lang/Class");
        if (reinterpret_cast<uintptr_t>(cls->methodtable) & (1u << 23))
            return boot_failed(ee, "method table of java/lang/Class has address bit 23 set:", "too many methods");
        vm_patch_classblock_word0(cls->methodtable);
        vm_class_Class = cls;
    }
    for (const boot_class& b : BOOT_CLASSES) {
        classblock* cb = vm_find_class(ee, b.name, 0);
        if (!cb) {
            if (b.required)
                return boot_failed(ee, "cannot load", b.name);
            vm_clear_pending(ee);
            continue;
        }
        if (b.var)
            *b.var = cb;
    }
    if (!check_string_layout(ee))
        return false;
    vm_make_primitive_classes(ee);
    if (!vm_link_deferred_string_constants(ee))
        return boot_failed(ee, "cannot make the string constants of", "the bootstrap classes");
    return true;
}

bool vm_bootstrap_classes(EE* ee)
{
    if (!vm_bootstrap_load_classes(ee))
        return false;
    constexpr const char* INITIALISED[] = {"java/lang/Object", "java/lang/String", "java/lang/Class",
                                           "java/lang/StackOverflowError"};
    for (const char* name : INITIALISED) {
        if (!vm_find_class(ee, name, 1))
            return boot_failed(ee, "cannot initialise", name);
    }
    if (!vm_preallocated_oom) {
        vm_preallocated_oom = preallocate(ee, "java/lang/OutOfMemoryError");
        if (!vm_preallocated_oom)
            return boot_failed(ee, "cannot preallocate", "java/lang/OutOfMemoryError");
    }
    if (!vm_preallocated_internal) {
        vm_preallocated_internal = preallocate(ee, "java/lang/InternalError");
        if (!vm_preallocated_internal)
            return boot_failed(ee, "cannot preallocate", "java/lang/InternalError");
    }
    return true;
}
