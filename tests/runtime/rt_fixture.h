// Test fixture of the replacement bodies and the gates: a fake thread area
// with an EE, hand-made objects, and the records of the stand-ins that the
// assembly under test calls.
#ifndef ORVA_TESTS_RUNTIME_RT_FIXTURE_H
#define ORVA_TESTS_RUNTIME_RT_FIXTURE_H

#include <functional>

#include "vm_abi.h"

extern "C" {
// rt_fixture_stubs.S
u4 rtf_call(void* entry, u4 eax, u4 edx, u4 ecx);       // compiled convention; edx out in rtf_edx
u4 rtf_call_invoker(void* invoker, u4 nwords, const u4* words);  // VM invoker convention, word 0 first
// Jumps to a hand-made call site with eax, edx, ecx and the argument area
// (word i of n at E + 4 x (n - i)); the site ends with jmp [rtf_site_continue].
u4 rtf_run_site(void* site, u4 eax, u4 edx, u4 ecx, u4 nwords, const u4* words);
void rtf_invoker(void);                 // records its entry state, answers eax 0x1234, edx 0x5678
extern u4 rtf_edx;
extern void* rtf_site_continue;
extern u4 rtf_enter_calls, rtf_exit_calls;
extern u4 rtf_enter_lockword;           // the lock word seen by the entry stub
extern u4 rtf_raised_index;             // edx at the array-bounds raise
extern u4 rtf_raise_lockword;           // the Vector's lock word at the raise
extern void* rtf_raise_vector;          // the Vector whose lock word is reported
extern u4 rtf_thrown_calls;
// What rtf_invoker saw: eax, ebx, ecx, edx, the EE mode word, then the words
// above its return address (up to 16).
extern u4 rtf_invoker_seen[5];
extern u4 rtf_invoker_args[16];
extern u4 rtf_invoker_calls;

// Stand-ins (rt_fixture.cpp) the assembly calls; rt_fixture.cpp also
// defines the VM's instance test and flat-exit service words.
int _jit_fast_compile(methodblock* mb, EE* ee, u4 transfer_point, u4 extra);
void rtf_on_raise(void);                // longjmps back into rtf_run
}

// The EE of the fake thread area.
EE* rtf_ee();
// Runs fn on a thread whose stack lies in a fake thread area (TLA word 1 = the EE).
// Returns false when the run ended in a raise (rtf_raised_index / rtf_thrown_calls tell which).
bool rtf_run(const std::function<void()>& fn);

// Hand-made objects: a class with a method table of `slots` entries.
struct rtf_class {
    classblock cb;
    method_table* mt;
};
rtf_class* rtf_make_class(const char* name, int slots);
u4* rtf_new_object(rtf_class* c, int field_words);      // lock word 0, fields zero
u4* rtf_new_array(int type, int length, int elem_size, classblock* elem_class);
extern int rtf_instance_calls;          // calls of the instance test
extern method_table* rtf_string_mt;     // the instance test says yes for this table only
extern int rtf_flat_exit_calls;
extern int (*rtf_compile_hook)(methodblock* mb);

#endif
