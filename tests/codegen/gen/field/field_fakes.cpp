// VM services and run-time routines the field tests link against: the
// constant-pool resolution answers from a prepared pool, the routine table
// holds the real resolve stubs.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "codegen/cg_core.h"
#include "driver/vmlink.h"
#include "lib/rt_stubs.h"

s4 orva_processor_num = 1;
s4 orva_processor_cmov_support = 1;
extern "C" int _jit_monitorExitQuicker(u4, EE*, u4, u4) { __builtin_trap(); }

int field_fake_resolutions;

static int fake_resolve(u4*, int, EE*, u4, int) { field_fake_resolutions++; return 1; }
static int fake_clinit(classblock*) { return 0; }
static void fake_signal(EE*, const char*, const char*) {}
static char* fake_classname(const char* name, char* buffer, int length)
{
    snprintf(buffer, (size_t)length, "%s", name);
    return buffer;
}
static int fake_snprintf(char* buffer, size_t length, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(buffer, length, format, ap);
    va_end(ap);
    return n;
}
static int fake_super(classblock*, methodblock*) { return 0; }

// The fakes go into the record of the VM's services before any test runs
// (the monitor services stay null: no test here takes a monitor).
static const bool fakes_bound = [] {
    vm.ResolveClassConstant2 = fake_resolve;
    vm.ExecuteStaticInitializers = fake_clinit;
    vm.SignalError = fake_signal;
    vm.classname2string = fake_classname;
    vm.jio_snprintf = fake_snprintf;
    vm.isSpecialSuperCall = fake_super;
    return true;
}();
classblock** orva_classJavaLangObject = nullptr;

static EE fake_ee;
extern "C" EE* _orva_getee(void) { return &fake_ee; }
extern "C" methodblock* fi_current_frame_method(EE*) { return nullptr; }

// Raise paths and the other resolvers the stub file names: never reached.
extern "C" {
void THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_field(void) { __builtin_trap(); }
void THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokevirtual(void) { __builtin_trap(); }
void THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_static(void) { __builtin_trap(); }
void THROW_EXCEPTION_THROWN(void) { __builtin_trap(); }
void _jit_New(void) { __builtin_trap(); }
void _jit_checkcast(void) { __builtin_trap(); }
void _orva_ExecuteStaticInitializers(void) { __builtin_trap(); }
void _orva_ObjAlloc(void) { __builtin_trap(); }
void _orva_is_instance_of(void) { __builtin_trap(); }
}

// The routine table: the resolve stubs at their entries.
extern "C" void** _GET_DECODE_TABLE_BASE(void)
{
    static void* table[160];
    table[2] = reinterpret_cast<void*>(&__getstatic);
    table[3] = reinterpret_cast<void*>(&__putstatic);
    table[4] = reinterpret_cast<void*>(&__getfield);
    table[5] = reinterpret_cast<void*>(&__putfield);
    table[155] = reinterpret_cast<void*>(&__execute_clinit);
    return table;
}
