// Call sequences of compiled code and the library calls replaced by inline
// code or by direct calls into the math library.
//
// Compiled-code calling convention: argument words in signature order,
// `this` first; words 0, 1, 2 of integer class in eax, edx, ecx; every
// other word (and every float or double) in the caller's operand-stack
// slot, so that word i of an n-word callee lies at E + 4 x (n - i).  The
// caller pops nothing: the argument area is part of its frame.  Results:
// eax, edx:eax (long) or st(0) (float, double).
#ifndef ORVA_CODEGEN_GEN_INVOKE_H
#define ORVA_CODEGEN_GEN_INVOKE_H

#include "codegen/cg_core.h"

constexpr s4 INVOKE_OBJ_FLAGS = 4;          // object flag byte (low byte of the lock word)
constexpr s4 INVOKE_OBJ_FLAG_ARRAY = 2;     // word 0 is a length, not a method table
constexpr s4 INVOKE_CB_NAME_STRING = 0x44;  // class block: cached name String, 0 until made
constexpr s4 INVOKE_MB_COMPILED = 0x48;     // method block: compiled entry or the gate

// call dword [mb + 0x48]: the method's compiled entry, or its gate while it
// is not compiled.
void gen_call_compiled_slot(codegen_context* cg, methodblock* mb);
// Virtual call on the receiver in `recv` through method-table slot `slot`:
// mov t, [recv] (a null-check site); mov t, [t + 4 + 4 x slot];
// call dword [t + 0x48].  t must differ from the argument registers the
// call carries (the receiver's register may be t).
void gen_call_virtual_slot(codegen_context* cg, u4 recv, u4 t, u4 slot);
// cmp reg, dword [reg]: faults on a null reference (a null-check site).
void gen_explicit_nullpointer_check_reg(codegen_context* cg, u4 reg);

// 1 when the call of `m` (receiver, if any, in eax; arguments in place) was
// emitted whole as inline code or a math-library call, else 0.
int gen_intrinsic_invoke(codegen_context* cg, methodblock* m);
int gen_special_JNI_math_call(codegen_context* cg, const char* cls, const char* name, const char* sig);

#endif // ORVA_CODEGEN_GEN_INVOKE_H
