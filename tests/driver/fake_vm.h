// A fake host VM for the driver tests: a link vector with every service slot
// the compiler copies, the MMI table, the frame-interface table and GC vector,
// re-entrant system monitors, an EE per thread, and builders for class and
// method blocks.  Java threads are imitated by running a function on a
// pthread whose stack lies in a 256 KB-aligned thread area with its TLA page
// filled in, as the real VM does.
#ifndef ORVA_TESTS_FAKE_VM_H
#define ORVA_TESTS_FAKE_VM_H

#include <functional>
#include <string>
#include <vector>

#include "vm_abi.h"

struct fake_method_spec {
    std::string name;
    std::string signature;
    u2 access = ACC_PUBLIC;
    std::vector<u1> code;
    int exception_entries = 0;
};

struct fake_vm {
    u4 lv[LV_SIZE];
    u4 hook_vars[LV_SIZE];          // the variables behind the hook slots
    u4 version_word = LV_VERSION_WORD;
    int lossless = 1;
    u4 mmi[MMI_SIZE / 4];
    u4 mmi_vars[MMI_SIZE / 4];      // the variables behind +180 .. +196
    u4 mmi_version_word = MMI_VERSION_WORD;
    int mmi_version_answer = 0x02001001;
    u4 frame_intf[FI_SIZE];
    u4 gcv[GCV_SIZE];
    jvmpi_info profiler{};
    u1 binclass_lock[SYS_MONITOR_MAX_SIZE];
    u1 linkclass_lock[SYS_MONITOR_MAX_SIZE];
    u1 code_lock[SYS_MONITOR_MAX_SIZE];
    u1 queue_lock[SYS_MONITOR_MAX_SIZE];
    classblock* class_vars[7] = {};  // Class, Object, String, Throwable, Exception, RuntimeException, Cloneable
    std::vector<classblock*> loaded; // what EnumerateOverLoaderCache visits
    int enumerations = 0;
    int handler_registrations = 0;
    std::function<void(void*)> on_monitor_enter;   // called after a sysMonitorEnter
    std::function<classblock*(const char*)> find_class;
};

extern fake_vm* g_vm;

// The fake invokers and selectors: distinct addresses, never called.
enum fake_code_id {
    FK_INVOKE_JAVA, FK_INVOKE_SYNC_JAVA, FK_INVOKE_ABSTRACT, FK_INVOKE_LAZY_NATIVE, FK_INVOKE_COMPILED,
    FK_INVOKE_JNI, FK_INVOKE_JNI_SYNC, FK_INVOKE_JAVA_CATCH, FK_INVOKE_SYNC_JAVA_CATCH,
    FK_SELECT_JAVA, FK_SELECT_SYNC_JAVA, FK_SELECT_JAVA_CATCH, FK_SELECT_SYNC_JAVA_CATCH,
    FK_SELECT_LAZY_NATIVE, FK_SELECT_JNI, FK_SELECT_JNI_SYNC, FK_CODE_COUNT
};
void* fake_code(fake_code_id id);

// Builds a fresh fake VM (and makes it g_vm) and binds the compiler's service
// globals to it as start-up would, without running start-up.
fake_vm* fake_vm_new();
void fake_vm_bind(fake_vm* vm);
// Binds, then initialises the memory manager, the registry and the tables.
void fake_vm_bind_and_init(fake_vm* vm);

// The EE the fake ::vm.EE answers on this thread.
extern thread_local EE* fake_current_ee;
EE* fake_ee_new();                  // a zeroed EE outside any thread area

// Runs fn on a "Java thread": a pthread in an aligned thread area whose TLA
// holds the EE and a registration whose EE word is that EE.
void run_on_java_thread(const std::function<void(EE*)>& fn);

// Depth of a fake monitor held by any thread.
int fake_monitor_depth(void* monitor);

// Class and method builders (never freed).
classblock* fake_class(const std::string& name, classblock* super, const std::vector<fake_method_spec>& methods,
                       u2 access = ACC_PUBLIC);
// Gives the class a method table: the superclass's slots, then its own
// non-static methods other than <init> and <clinit> (overrides reuse slots).
void fake_build_method_table(classblock* cb);
// A constant pool of `count` entries with a tag table; entries are set by the test.
void fake_constant_pool(classblock* cb, u4 count);
void fake_cp_set(classblock* cb, u4 index, u1 tag, u4 word);
// Adds a direct interface (a resolved class entry) and an interface-table entry.
void fake_implements(classblock* cb, classblock* iface);
// Rebuilds the interface method table from the class, its superclasses and interfaces.
void fake_build_interface_table(classblock* cb);

#endif // ORVA_TESTS_FAKE_VM_H
