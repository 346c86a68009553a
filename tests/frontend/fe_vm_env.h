// Test bridge to the host VM for the front-end tests.
//
// The VM's headers and the compiler's headers declare some of the same names
// with different types (the compiler keeps the VM's services in pointer
// variables named like the VM's functions), so no test file includes both:
// the VM side lives in fe_vm_env.cpp and is reached through this header.
// The compiler's objects are linked with those names made local to them
// (see CMakeLists.txt).
#ifndef ORVA_TESTS_FRONTEND_FE_VM_ENV_H
#define ORVA_TESTS_FRONTEND_FE_VM_ENV_H

#include <functional>
#include <string>
#include <vector>

#include "vm_abi.h"

namespace fetest {

// Boots the class library once per process (bootstrap and fixture classes on
// the class path), binds the compiler to the VM's link vector and starts its
// memory manager and quadruple tables.  False with the reason when it cannot.
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
// Calls a static method with int arguments through the interpreter; the
// result's words (low first) in result.  False when it threw.
bool call_static_words(EE* ee, methodblock* mb, const u4* args, int nargs, u4 result[2]);
// Runs name.main(new String[0]) through the interpreter on a thread that
// gets a java/lang/Thread and, once per process, an initialised System, as
// the launcher does; false when it threw (the exception is cleared).
bool run_main(EE* ee, const char* name);
// Defines a class from class-file bytes (null with the exception cleared).
classblock* define_class(EE* ee, const char* name, const std::vector<u1>& bytes);
// Resolves entry `index` of cb's constant pool (mask: 1 << tag); false when
// the VM refused (the exception is cleared).
bool resolve(EE* ee, classblock* cb, u4 index, u4 mask);
// The VM's java/lang/Class, java/lang/String and java/lang/Object.
classblock* class_Class();
classblock* class_String();
classblock* class_Object();

}  // namespace fetest

#define FE_REQUIRE_BOOT()                              \
    do {                                               \
        std::string why_;                              \
        ASSERT_TRUE(fetest::boot(&why_)) << why_;      \
    } while (0)

#endif  // ORVA_TESTS_FRONTEND_FE_VM_ENV_H
