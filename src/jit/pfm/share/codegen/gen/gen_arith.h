// Shared pieces of the integer and long generators (gen_int.cpp,
// gen_cmp.cpp, gen_long.cpp): operand tests, register-id conversion, the
// reading of an operand that may be a folded memory load, and short forward
// jumps written outside the scheduling window.
#ifndef ORVA_CODEGEN_GEN_ARITH_H
#define ORVA_CODEGEN_GEN_ARITH_H

#include "codegen/cg_core.h"

// Register-manager index to emitter register id.
inline u4 gid(int r) { return (u4)reg_mgr_to_id[r & 7]; }
inline u4 rbit(int r) { return r >= 0 ? 1u << r : 0u; }

inline bool op_is_imm(const reg_operand* op)
{
    return op->kind == OPND_CONST || op->kind == OPND_XCONST || op->kind == OPND_YCONST;
}
inline bool op_absent(const reg_operand* op) { return op->kind == OPND_NONE; }
inline bool op_same(const reg_operand* a, const reg_operand* b)
{
    return a->kind == b->kind && a->type == b->type && a->value == b->value;
}
// This quadruple is the operand's last use.
inline bool op_last_use(const reg_operand* op) { return op->source != nullptr && (op->source->flags & 0x01); }

// A temporary of `mask` outside `excluded` (locked for the caller).
inline int gi_alloc(codegen_context* cg, u4 mask, u4 excluded)
{
    return _alloc_int_reg(cg, mask & ~excluded & RM_ALL_INT, (int)excluded);
}

// A register (manager index) holding the operand's value, locked for the
// caller: the operand's own register, or the folded memory load (field or
// array element) read into a register of `mask` outside `excluded`.
int gi_read(codegen_context* cg, const reg_operand* op, quadruple** slot, u4 mask, u4 excluded);
// A fresh temporary of `mask` outside `excluded` holding a copy of the
// operand's value (the caller may overwrite it).
int gi_copy(codegen_context* cg, const reg_operand* op, quadruple** slot, u4 mask, u4 excluded);
// Binds the destination to r (a temporary of the caller) and unlocks it;
// with no destination r is just released.
void gi_bind(codegen_context* cg, const reg_operand* dst, int r);
// Unlocks a register from gi_read, then releases the operand after its last use.
void gi_done(codegen_context* cg, reg_operand* op, int r);

// Short forward jumps inside a sequence written with the window closed.
struct gi_seq {
    int reopen;
};
void gi_seq_begin(codegen_context* cg, gi_seq* s);
void gi_seq_end(codegen_context* cg, gi_seq* s);
// A 2-byte jump with an open target; answers its displacement byte (0 in
// the measuring pass).
u1* gi_jshort(codegen_context* cg, int cond);
// Points a jump from gi_jshort at the current position.
void gi_land(codegen_context* cg, u1* disp);


// Flags of a long compare (a, b: low and high word operands) for the
// condition EQ .. GE; answers the condition a single jump then tests.
int gen_lcmp_flags(codegen_context* cg, int cond, reg_operand* a, reg_operand* b, quadruple** slot);

#endif // ORVA_CODEGEN_GEN_ARITH_H
