// Run-time support written in C: the folder's public functions, grouped by the
// file that defines them.
#ifndef ORVA_LIB_LIB_H
#define ORVA_LIB_LIB_H

#include "vm_abi.h"

extern "C" {

// ---- rt_hooks.cpp: program-counter and frame hooks for the VM ---------------
int jit_PCinCompiledCode(u4 pc, methodblock* mb);
u4 jit_CompiledCodePC(JavaFrame* frame);
int jit_CompiledFrameUpdate(void* ignored);
void jit_CompilerLoadClass(void* ignored);
int jit_CompiledCodePCtoLineNo(u4 ignored);

}

#endif // ORVA_LIB_LIB_H
