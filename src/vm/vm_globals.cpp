// Global VM state: the options the launcher fills in, the well-known classes
// the bootstrap sets, the preallocated throwables and the loaded-class table
// variables the compiler reads through link-vector slots 25 and 26.
//
// Everything here is constant-initialised (no static constructors): the
// launcher overwrites the option defaults before anything else runs.
#include "vm.h"

constinit vm_options vm_opts = {
    /* classpath */ nullptr,
    /* bootclasspath */ nullptr,
    /* compiler */ nullptr,
    /* java_stack_size */ 2u << 20,
    /* heap_size */ 256u << 20,
    /* verbose_class */ 0,
    /* nprops */ 0,
    /* prop_names */ nullptr,
    /* prop_values */ nullptr,
    /* threshold */ 2000,
};

// Link-vector slots 29-35 hold the addresses of these variables.
constinit classblock* vm_class_Object = nullptr;
constinit classblock* vm_class_Class = nullptr;
constinit classblock* vm_class_String = nullptr;
constinit classblock* vm_class_Throwable = nullptr;
constinit classblock* vm_class_Exception = nullptr;
constinit classblock* vm_class_RuntimeException = nullptr;
constinit classblock* vm_class_Cloneable = nullptr;
constinit classblock* vm_class_Serializable = nullptr;
constinit classblock* vm_class_Thread = nullptr;

constinit jref vm_preallocated_oom = nullptr;
constinit jref vm_preallocated_internal = nullptr;

// Every loaded class in load order.  The array lives in the metadata arena
// and is replaced (never freed) when it grows, so a reader holding an old
// pointer still sees valid class blocks.
constinit classblock** vm_binclasses = nullptr;
constinit int vm_nbinclasses = 0;

void (*vm_class_prepared_hook)(classblock* cb) = nullptr;
