// Test bridge to the host VM for the dataflow tests.
//
// The VM's headers and the compiler's headers declare some of the same names
// with different types (the compiler keeps the VM's services in pointer
// variables named like the VM's functions), so no test file includes both:
// the VM side lives in df_vm_env.cpp and is reached through this header.
#ifndef ORVA_TESTS_DATAFLOW_DF_VM_ENV_H
#define ORVA_TESTS_DATAFLOW_DF_VM_ENV_H

#include <functional>
#include <string>

#include "vm_abi.h"

namespace dftest {

// Boots the class library once per process (bootstrap and fixture classes on
// the class path), binds the compiler to the VM's link vector and starts its
// memory manager, committed-code registry and quadruple tables.  False with
// the reason when it cannot.
bool boot(std::string* why);

// Runs fn on a Java thread (every compiler service expects one) and waits.
bool run(const std::function<void(EE*)>& fn);

// A class by internal name, loaded and linked (and initialised when `init`),
// or null with the pending exception cleared.
classblock* find_class(EE* ee, const char* name, bool init);
// A method declared by the class, or null.
methodblock* find_method(classblock* cb, const char* name, const char* sig);
// Calls a static method with up to four int arguments through the
// interpreter (which quickens what it executes); false when it threw.
bool call_static(EE* ee, methodblock* mb, const int* args, int nargs);
// Where the fixture classes and the class library's classes were compiled.
std::string fixture_dir();
std::string classes_dir();

}  // namespace dftest

#define DF_REQUIRE_BOOT()                              \
    do {                                               \
        std::string why_;                              \
        ASSERT_TRUE(dftest::boot(&why_)) << why_;      \
    } while (0)

#endif  // ORVA_TESTS_DATAFLOW_DF_VM_ENV_H
