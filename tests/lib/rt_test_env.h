// Support for the run-time support tests: the test copy of the compiler
// library, started by the VM as it starts a compiler, and the harnesses of
// rt_frames_test.S.
#ifndef ORVA_TESTS_LIB_RT_TEST_ENV_H
#define ORVA_TESTS_LIB_RT_TEST_ENV_H

#include <dlfcn.h>

#include <string>

#include "vm_test_env.h"

namespace rtt {

inline void* library()
{
    static void* handle = dlopen(RTT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    return handle;
}

template <typename T>
T sym(const char* name)
{
    return reinterpret_cast<T>(dlsym(library(), name));
}

// The run-time routine of table entry k.
inline void* routine(int k)
{
    return sym<void* (*)(int)>("rtt_routine")(k);
}

// Boots the class library and starts the test library as the compiler.
inline bool start(std::string* why)
{
    static bool done = false;
    static bool ok = false;
    static std::string reason;
    if (!done) {
        done = true;
        if (!vmtest::boot(&reason)) {
            *why = reason;
            return false;
        }
        vm_init_link_vector();
        vm_install_signal_handlers();
        vm_opts.compiler = RTT_LIBRARY;
        vmtest::run_java([&](EE* ee) {
            for (const char* name : {"java/lang/Object", "java/lang/String", "java/lang/Class",
                                     "java/lang/StackOverflowError"})
                vm_find_class(ee, name, 1);
            ok = vm_start_compiler(ee);
        });
        if (!ok)
            reason = "the compiler library did not start";
    }
    *why = reason;
    return ok;
}

}  // namespace rtt

extern "C" {
typedef unsigned long long u8;
u8 rtt_call_ll(void* fn, u4 alo, u4 ahi, u4 blo, u4 bhi);
u8 rtt_call_li(void* fn, u4 alo, u4 ahi, u4 b);
u4 rtt_call_x87_1(void* fn, double x, double* out);
u4 rtt_call_pow(void* fn, double x, double y, double* out);
void rtt_call_maxmin(void* fn, double x, double y, double* out);
u8 rtt_call_f2i(void* fn, double x);
u4 rtt_enter(void* fn, u4 a0, u4 a1, u4 a2);
int rtt_call_copy(void* fn, const void* src, void* dst, u4 count);
int rtt_call_lookupswitch(void* stub, const u4* pairs, s4 last, s4 key);
void rtt_call_xfer(void* xfer, u4 eax, u4* ebp, u4 esi, u4 edi, u4* out);
u4 rtt_sync_call(void* stub, u4 eax, u4 edx, u4 ecx, u4* x, double* fp, int nfp, u4* regs);
int rtt_frameless(void* fn, u4 a0, u4 a1, u4 a2, void* landing, void* handler, u4* result);
extern void* rtt_raiser_div0;
extern void* rtt_callback;
extern void* rtt_ll_div;
extern void* rtt_exception_handler;
extern char rtt_code_start[], rtt_code_end[];
extern char cf_catch[], cf_catch_d5[], cf_catch_catch[], cf_catch_end[];
extern char cf_fault[], cf_fault_d5[], cf_fault_catch[], cf_fault_end[];
extern char cf_div[], cf_div_d5[], cf_div_catch[], cf_div_end[];
extern char cf_inner[], cf_inner_d5[], cf_inner_end[];
extern char cf_outer[], cf_outer_d5[], cf_outer_catch[], cf_outer_end[];
extern char cf_callee[], cf_callee_d5[], cf_callee_end[];
}

#endif  // ORVA_TESTS_LIB_RT_TEST_ENV_H
