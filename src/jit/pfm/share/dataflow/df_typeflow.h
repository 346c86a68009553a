// Records of the type-flow analysis over bytecode (df_typeflow.cpp) and of
// its rewriting walk (df_tfrewrite.cpp): the simulated stack entry, the
// per-local range record of each block, the per-block record with its
// transfer list, and the range arithmetic both halves share.
//
// Ranges are inclusive [lo, hi] over the int values; lo > hi stands for
// "no value reaches here" and is kept in the one form [MAX, MIN].
#ifndef ORVA_DATAFLOW_DF_TYPEFLOW_H
#define ORVA_DATAFLOW_DF_TYPEFLOW_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"

struct method_compile_context;
struct dataflow_pass_context;
struct bbattr;
struct quadruple;

constexpr s4 TF_MIN = INT32_MIN;
constexpr s4 TF_MAX = INT32_MAX;

// Value classes (low five bits of an entry's class word).
constexpr u4 TFC_NONE = 0;          // no knowledge; on a local copy: exactly the local
constexpr u4 TFC_INT = 1;           // an int with no recorded value
constexpr u4 TFC_CHAR = 3;          // 0..65535
constexpr u4 TFC_SHORT = 4;         // -32768..32767
constexpr u4 TFC_BYTE = 5;          // -128..127
constexpr u4 TFC_UBYTE = 6;         // 0..255
constexpr u4 TFC_BOOL = 7;          // 0..1
constexpr u4 TFC_CLAMP = 5;         // 8..12: the types of 3..7, as "at most this type"
constexpr u4 TFC_INTERSECT = 13;    // [min, max]
constexpr u4 TFC_RANGE = 14;        // [min, max]
constexpr u4 TFC_LOCAL_MAX = 15;    // local copy: max(local, c), c in the min word
constexpr u4 TFC_LOCAL_MIN = 16;    // local copy: min(local, c), c in the max word
constexpr u4 TFC_LOCAL_PLUS = 18;   // local copy: local + k, k in the min word
constexpr u4 TFC_MASK = 0x1F;
constexpr u4 TFC_DUP = 0x20;        // copied or moved by a stack shuffle
constexpr u4 TFC_LONG_INT = 0x40;   // two-slot long whose value lies in [min, max]

// Entry kinds.
constexpr s4 TFK_COMPUTED = 1, TFK_LOCAL = 2, TFK_CONST = 3, TFK_LONG_CONST = 4, TFK_STATIC = 6, TFK_FIELD = 7;

struct typeflow_stack_entry {
    s4 kind;            // TFK_*
    u4 two_slot;        // 1 in both slots of a long or double
    s4 number;          // local, constant, or -1
    u4 block;           // block where the value was pushed
    u4 position;        // index of the pushing quadruple in that block
    s4 min;             // range of the value (class 18: the offset)
    s4 max;
    u4 cls;             // TFC_* class and flag bits
};
static_assert(sizeof(typeflow_stack_entry) == 32);
static_assert(offsetof(typeflow_stack_entry, kind) == 0);
static_assert(offsetof(typeflow_stack_entry, two_slot) == 4);
static_assert(offsetof(typeflow_stack_entry, number) == 8);
static_assert(offsetof(typeflow_stack_entry, block) == 12);
static_assert(offsetof(typeflow_stack_entry, position) == 16);
static_assert(offsetof(typeflow_stack_entry, min) == 20);
static_assert(offsetof(typeflow_stack_entry, max) == 24);
static_assert(offsetof(typeflow_stack_entry, cls) == 28);

struct typeflow_stack {
    s4 depth;
    typeflow_stack_entry* slots;
    s4 capacity;
    u4 block;           // current block, copied into pushed entries
};

struct typeflow_local_range {
    s4 in_min, in_max;          // at block entry (the solver's fact)
    s4 out_min, out_max;        // at block end, fall-through and unconditional edges
    s4 taken_min, taken_max;    // on the branch-taken edge
    s4 prev_out_min, prev_out_max;
    s4 prev_taken_min, prev_taken_max;
    s4 target;                  // block of the taken edge that refined this local; 0 none
};
static_assert(sizeof(typeflow_local_range) == 44);
static_assert(offsetof(typeflow_local_range, in_min) == 0);
static_assert(offsetof(typeflow_local_range, out_min) == 8);
static_assert(offsetof(typeflow_local_range, taken_min) == 16);
static_assert(offsetof(typeflow_local_range, prev_out_min) == 24);
static_assert(offsetof(typeflow_local_range, prev_taken_min) == 32);
static_assert(offsetof(typeflow_local_range, target) == 40);

struct typeflow_block_record {
    typeflow_local_range* ranges;   // one per local; null: block not analysed
    u1* list;                       // transfer list
    u2 length;                      // bytes used
    u2 capacity;                    // bytes allocated
    s4 switch_local;                // local tested by the block's table switch, -1 none
    s4* switch_values;              // case value per successor (entry 0 unused); null none
};
static_assert(sizeof(typeflow_block_record) == 20);
static_assert(offsetof(typeflow_block_record, ranges) == 0);
static_assert(offsetof(typeflow_block_record, list) == 4);
static_assert(offsetof(typeflow_block_record, length) == 8);
static_assert(offsetof(typeflow_block_record, capacity) == 10);
static_assert(offsetof(typeflow_block_record, switch_local) == 12);
static_assert(offsetof(typeflow_block_record, switch_values) == 16);

// Transfer codes (first byte of each entry; fields little-endian, unaligned).
constexpr u1 TF_FULL = 1;           // local u2
constexpr u1 TF_KEEP = 2;           // local u2
constexpr u1 TF_SET_TYPE = 3;       // 3..7: local u2; set to the type's range
constexpr u1 TF_CLAMP_TYPE = 8;     // 8..12: local u2; intersect with the type's range
constexpr u1 TF_INTERSECT = 13;     // local u2, min i4, max i4
constexpr u1 TF_SET = 14;           // local u2, min i4, max i4
constexpr u1 TF_SET_MIN = 15;       // local u2, value i4
constexpr u1 TF_SET_MAX = 16;       // local u2, value i4
constexpr u1 TF_CONST = 17;         // local u2, value i4
constexpr u1 TF_ADD = 18;           // local u2, increment i4; wraps to full
constexpr u1 TF_REFINE_LOCALS = 19; // cond u1, target u2, local a u2, local b u2
constexpr u1 TF_REFINE_CONST = 20;  // cond u1, target u2, local u2, constant i4
constexpr u1 TF_REFINE_TYPE = 21;   // cond u1, target u2, local u2, class u1
constexpr u1 TF_COPY = 22;          // destination u2, source u2
// Codes of this implementation beyond the original set (see df_typeflow.cpp):
constexpr u1 TF_WIDEN = 23;         // local u2, increment i4: loop increment, widened
constexpr u1 TF_REFINE_PLUS = 24;   // cond u1, target u2, local u2, constant i4, offset i4
constexpr u1 TF_MAX_CONST = 25;     // local u2, c i4: max(local, c)
constexpr u1 TF_MIN_CONST = 26;     // local u2, c i4: min(local, c)

// Condition codes of compare-and-branch quadruples.
constexpr u1 TFCC_EQ = 2, TFCC_NE = 3, TFCC_LT = 4, TFCC_LE = 5, TFCC_GT = 6, TFCC_GE = 7;
constexpr u1 TFCC_UGT = 8, TFCC_ULT = 10;

// ---- range arithmetic (df_typeflow.cpp) -----------------------------------------------
struct tf_range {
    s4 lo, hi;
};
constexpr tf_range TF_FULL_RANGE = {TF_MIN, TF_MAX};
constexpr tf_range TF_EMPTY_RANGE = {TF_MAX, TF_MIN};
inline bool tf_empty(tf_range r) { return r.lo > r.hi; }
inline bool tf_full(tf_range r) { return r.lo == TF_MIN && r.hi == TF_MAX; }
// The range of a narrow-type class 3..12.
tf_range tf_class_range(u4 cls);
// Intersection with [lo, hi] given in 64 bits (bounds past the int range allowed).
tf_range tf_narrow(tf_range r, int64_t lo, int64_t hi);
// Both bounds plus k; full when either leaves the int range.
tf_range tf_add_const(tf_range r, int64_t k);
// Union (an empty side contributes nothing).
tf_range tf_join(tf_range a, tf_range b);
// Narrows TAKEN and OUT of a local compared with the constant c (in 64 bits,
// so that a refinement through local + k may pass a bound past the int range).
void tf_refine_const(u1 cond, int64_t c, tf_range* taken, tf_range* out);
// Narrows TAKEN and OUT of a local compared with a value in [lo, hi].
void tf_refine_range(u1 cond, tf_range v, tf_range* taken, tf_range* out);
// Result range of an int two-operand operation on values in x and y; `yconst`
// says y is the constant y.lo.  Full when nothing better is known.
tf_range tf_binop_range(u2 op, tf_range x, tf_range y, bool yconst);
// Loop increment: [lo, MAX] for k > 0 and [MIN, hi] for k < 0 when no value
// of r can wrap, else full.
tf_range tf_widen_increment(tf_range r, s4 k);

// ---- the pass's shared state -------------------------------------------------------------
struct typeflow_state {
    method_compile_context* m;
    dataflow_pass_context* pc;
    typeflow_block_record* blocks;
    typeflow_stack stack;
    u4 locals;
};

// Stack operations (df_typeflow.cpp).
void tf_stack_reset(typeflow_stack* s);
void tf_push(typeflow_stack* s, s4 kind, s4 number, u4 position, u4 cls, tf_range r);
void tf_push2(typeflow_stack* s, s4 kind, s4 number, u4 position, u4 cls, tf_range r);
// Pops one one-slot entry into *out; false (and an emptied stack) when there is none.
bool tf_pop(typeflow_stack* s, typeflow_stack_entry* out);
bool tf_pop2(typeflow_stack* s, typeflow_stack_entry* out);
void tf_drop(typeflow_stack* s, s4 n);
void tf_forget_local(typeflow_stack* s, s4 local);
// The shared stack effect of the opcodes that neither half models itself.
void tf_generic_effect(typeflow_stack* s, const quadruple* q, u4 position);
// Range of the value a narrow-type class stands for (full for the others).
tf_range tf_entry_range(const typeflow_stack_entry& e);
// Return / field type character to class (B 5, C 3, S 4, Z 7, else 1).
u4 tf_class_of_type(char t);
// Class of the int value pushed by an invocation or a field load; 1 unknown.
u4 tf_member_class(const quadruple* q);
// Whether the stack carries over from `prev` into `block` in the DFS walk.
bool tf_stack_carries(method_compile_context* m, u4 prev, u4 block);

// Replays block `block`'s transfer list over its IN; bit 0 when some OUT
// moved, bit 1 when some TAKEN of a refined local moved.
int typeflow_apply(typeflow_state* st, u4 block);

// The rewriting walk (df_tfrewrite.cpp); `cyclic` marks the blocks on a
// cycle of the flow graph.
void typeflow_rewrite(typeflow_state* st, const u1* cyclic);
// Folds the compare-and-branch at (block, index) on operands x and y (y null:
// against zero) when the ranges decide it; 1 when it did.
int typeflow_fold_branch(method_compile_context* m, u4 block, u4 index, const typeflow_stack_entry* x,
                         const typeflow_stack_entry* y, bool cyclic);

#endif // ORVA_DATAFLOW_DF_TYPEFLOW_H
