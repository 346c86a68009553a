// Linux IA-32 run-time support: the folder's public functions, grouped by the
// file that defines them.  Entries written in assembly use the C calling
// convention and C names.
#ifndef ORVA_LINUX_LINUX_H
#define ORVA_LINUX_LINUX_H

#include "vm_abi.h"

extern "C" {

// ---- cpu_probe.S: processor probes -----------------------------------------
// 1 when bit 21 (ID) of EFLAGS can be toggled, i.e. CPUID exists.
int _CPUID_SUPPORT(void);
// CPUID leaf 1: (EAX & 0xFF0) | (EDX & 0x808000): family, model, CMOV, MMX.
u4 _GET_CPU_TYPE(void);
// The 64-bit time-stamp counter.
unsigned long long __x86_rd_time_stamp_counter(void);

// ---- jit_trampoline.S: the compile trampoline ------------------------------
// Entered by the VM with eax = the method block and esi = the transfer point;
// returns with every register as on entry and ZF set when the method now has
// compiled code.  Not callable from C.
void jit_invokeCompiledEntryMethod(void);

// ---- jit_linux.cpp: start-up check of the thread-local area ----------------
int jit_init_linux(void);
int jit_checkpoint_linux(int n);
u4 get_tla_data(int offset);
int jit_CompiledCodeSignalHandler(void);

}

#endif // ORVA_LINUX_LINUX_H
