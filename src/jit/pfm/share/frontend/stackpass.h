// The stack pass (`dup2copy`) and its cases: the per-block rewriting that
// removes the operand-stack shuffles and makes the implicit work of calls,
// field and array accesses, allocations and guards explicit.  Also the
// translation of the member-access and invocation bytecodes, whose entries
// (`gen_cattr_member`, `gen_cattr_invoke`) the builder's header qgen.h
// declares.
//
// Frame of one block (sp_frame.cpp): every case runs twice.  The count case
// returns how many quadruples the block gains; the transform case stores the
// rewritten quadruple(s) through `sp_store` and returns 0, or 1 after printing
// its message (the pass then fails).  A transform case never stores more than
// its count case reserved: `sp_store` refuses (message, failure) instead of
// writing past the block's new array.
#ifndef ORVA_FRONTEND_STACKPASS_H
#define ORVA_FRONTEND_STACKPASS_H

#include <stdint.h>

#include "vm_abi.h"
#include "frontend/bb.h"
#include "frontend/qgen.h"
#include "frontend/quad.h"

struct method_compile_context;

// ---------------------------------------------------------------------------
// State of the pass while it works on one block.
// ---------------------------------------------------------------------------
struct stack_pass_state {
    method_compile_context* m;
    bbattr* block;
    quadruple** old_catbl;      // the block's array before the pass
    u4 old_count;
    quadruple** read;           // slot of the current quadruple in old_catbl
    quadruple** write;          // next free slot of the new array
    quadruple** write_limit;    // one past the last slot a case may fill
    quadruple** array_end;      // one past the new array
    // Stack tops of the current quadruple, saved before its clearing
    // (index of the topmost word of the class, 0xFFFF when empty).
    u2 P, Pa, F, Fa;
    // Method-level running values of the invocation cases.
    u4 invocation_count;
    u2 arg_high_water;
};

// ---- sp_frame.cpp: the pass and its frame ------------------------------------------
int dup2copy(method_compile_context* m);
// A fresh quadruple from the main pool holding a copy of q.
quadruple* sp_clone(stack_pass_state* s, const quadruple* q);
// Stores q at the write position; 1 (after a message) when the case stores
// more than its count case reserved.
int sp_store(stack_pass_state* s, quadruple* q);
// Raises the block's max integer height to v; the compile context's max
// stack follows by the rule of the invocation lowering.
void sp_raise_int_height(stack_pass_state* s, s4 v);
// Turns q into the no-operation the later stages delete (OPC_OTHER, sub-code 5).
void sp_make_placeholder(quadruple* q);
// Incoming-argument copies of a method: the number of copies, and, when
// `store` is set, the copies themselves (clones of tmpl) stored at the write
// position.  *reg_args receives the register-argument count.
int sp_argument_walk(stack_pass_state* s, const methodblock* mb, const quadruple* tmpl, bool store, u4* copies,
                     u2* reg_args);
// The compile context's fields written by the pass (see sp_frame.cpp).
u2 sp_register_argument_count(const method_compile_context* m);
u2 sp_invocation_arg_high_water(const method_compile_context* m);

// ---- sp_shuffle.cpp: stack shuffle rewriting ---------------------------------------
// The form code the stack simulation leaves on a shuffle quadruple.
inline u4 shuffle_form_code(const quadruple* q)
{
    // The same "second word" as a call's stack list (one accessor for both).
    return reinterpret_cast<u4>(quad_stack_list(q));
}
// One move of a shuffle row: `kind` is 'w' (int or reference word), 'l',
// 'f' or 'd'; a slot is base + offset with base 'P', 'F' or 'A' (Pa).
struct shuffle_move {
    char kind;
    char dst_base;
    int8_t dst_offset;
    char src_base;
    int8_t src_offset;
};
constexpr int SHUFFLE_MAX_MOVES = 6;
struct shuffle_row {
    u1 opcode;                  // OPC_DUP .. OPC_SWAP
    char copied[2];             // top value first: 'w', 'l', 'f', 'd' or 0
    char skipped[2];            // the values the copy goes under, top first
    u1 move_count;              // 0: the shuffle becomes a no-operation
    shuffle_move moves[SHUFFLE_MAX_MOVES];
};
const shuffle_row* shuffle_rows(u4* count);
// The row of the table for a shuffle opcode and its form code, or none.
const shuffle_row* find_shuffle_row(u1 opcode, u4 form);
u4 sp_count_shuffle(stack_pass_state* s, quadruple* q);
int sp_transform_shuffle(stack_pass_state* s, quadruple* q);

// ---- sp_invoke.cpp: invocation lowering ------------------------------------------------
// Argument type codes of a call's stack list (the stack-word kinds).
constexpr u4 ARG_INT = 0x1, ARG_REF = 0x2, ARG_NEW = 0x6, ARG_NEWARRAY = 0xA, ARG_LONG1 = 0x20, ARG_LONG2 = 0x40;
constexpr u4 ARG_FLOAT = 0x400, ARG_DOUBLE1 = 0x800, ARG_DOUBLE2 = 0x1000;
// Invocation kinds (the sub-code nibble of a call).
constexpr u4 INVK_STATIC = 1, INVK_STATIC_QUICK = 2, INVK_SPECIAL_UNRESOLVED = 3, INVK_DIRECT = 4,
             INVK_SUPER = 5, INVK_VIRTUAL = 6, INVK_VIRTUAL_GUARDED = 7, INVK_VIRTUAL_QUICK = 8,
             INVK_OBJECT = 9, INVK_INTERFACE_UNRESOLVED = 10, INVK_INTERFACE = 11, INVK_NONE = 12;
// The callee of a call quadruple of block b, or none (unresolved, or an
// entry that does not hold a method block).
methodblock* sp_callee_of(const bbattr* b, const quadruple* q);
// A class block counts as initialised with VM state flag 0x10.
inline bool sp_class_initialised(const classblock* cb) { return (cb->state & CS_INITIALIZED) != 0; }
u4 sp_count_invoke(stack_pass_state* s, quadruple* q);
int sp_transform_invoke(stack_pass_state* s, quadruple* q);
// The String methods the code generators treat specially (kind-4 calls).
bool sp_is_recognised_string_call(const bbattr* b, const quadruple* q, const methodblock* callee);

// ---- sp_lower.cpp: array, field, class-initialisation, allocation and guard lowering
u4 sp_count_array(stack_pass_state* s, quadruple* q);
int sp_transform_array(stack_pass_state* s, quadruple* q);
u4 sp_count_object(stack_pass_state* s, quadruple* q);
int sp_transform_object(stack_pass_state* s, quadruple* q);
// Class block named by a static-field quadruple, or none when unresolved.
classblock* sp_static_field_class(const bbattr* b, const quadruple* q);

// ---- fe_member.cpp, fe_invoke.cpp: member-access and invocation bytecodes ---------
// gen_cattr_member and gen_cattr_invoke are declared in qgen.h.

#endif // ORVA_FRONTEND_STACKPASS_H
