// Bytecode to quadruples: the front-end driver, the per-block builder, the
// stack pre-allocation and the conversion to the final quadruple form.
//
// This header declares the records these stages share with the stack pass,
// the optimizer drivers and the register manager, the entry points defined in
// the files named in each group, and the per-instruction translation entries
// that the builder calls for the member-access and invocation bytecodes.
//
// Operand numbering, one convention for every pass: a quadruple has a result
// (`q->result`, the value defined), an auxiliary slot (`q->auxop`) and two
// sources (`q->src1`, `q->src2`); when the source count is 3 the sources are
// the operand list hanging from `q->src1` (`quad_list_head`).  Texts that say
// "operand 1 = result, 2 and 3 = sources" and texts that say "destination,
// operand 1, operand 2" both mean result, src1, src2 here.
//
// Operand kind 2 (QK_ARGUMENT) is one kind: an argument slot, whether an
// outgoing argument in a call's list or the incoming argument of an argument
// copy; "operand-stack slot" texts that call it kind 2 mean the same slot.
//
// Long and double variables take two consecutive numbers n and n+1; the
// descriptor names n.  The high word lives in n and the low word in n+1 (the
// code generator takes the higher number for the low word), so every table
// indexed by variable number marks the high-word bit on n and the low-word bit
// on n+1 (`quad_long_low_number`).
//
// Compile-context words these stages keep (driver/compile_context.h names
// them by role):
//   frontend_words[TR_*]   the transfer record of an interpreter-transfer compile
//   frontend_word          capacity of the subroutine table (= its count)
//   subroutine_table       subroutine_info records, subroutine_count of them
//   max_stack              raised by the temporaries the builder and the idiom
//                          pass need (the "second 16-bit count" of the texts)
//   qgen_pass_words[0..1]  QGF_* flag words of the simulation and conversion
//   mark_array, float_slot_count   slot marks of the simulation (max-stack
//                          bytes); generate_quadruple uses them as the
//                          widening table (float_slot_table)
//   bb_table_pool          pool of the per-block lvattr tables, then of the
//                          per-block usage tables
//   split_map, split_word, locals_before_split   the local splitting
//   int_stack_size, float_stack_size, previous_local_count, extra_counts,
//   arg_remap_bound        the variable numbering of generate_quadruple
#ifndef ORVA_FRONTEND_QGEN_H
#define ORVA_FRONTEND_QGEN_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"
#include "frontend/bb.h"
#include "frontend/quad.h"

struct method_compile_context;
struct misinfo;
struct mi_call_site;
struct work_pool;

// ---------------------------------------------------------------------------
// Quadruple accessors.
// ---------------------------------------------------------------------------

// The record's first word: opcode, pad byte, sub-code word.  Several stages
// set flags in it by their first-word value (0x800000 = sub-code 0x80, ...).
inline u4 quad_word0(const quadruple* q)
{
    return static_cast<u4>(q->opcode) | static_cast<u4>(q->pad1) << 8 | static_cast<u4>(q->subcode) << 16;
}
inline void quad_set_word0(quadruple* q, u4 w)
{
    q->opcode = static_cast<u1>(w);
    q->pad1 = static_cast<u1>(w >> 8);
    q->subcode = static_cast<u2>(w >> 16);
}
inline void quad_or_word0(quadruple* q, u4 bits) { quad_set_word0(q, quad_word0(q) | bits); }
inline bool quad_unresolved(const quadruple* q) { return (q->subcode & QS_UNRESOLVED) != 0; }
inline u4 quad_kind_nibble(const quadruple* q) { return q->subcode & QS_KIND_MASK; }
inline void quad_set_kind_nibble(quadruple* q, u4 k)
{
    q->subcode = static_cast<u2>((q->subcode & ~QS_KIND_MASK) | (k & QS_KIND_MASK));
}

// First-word flag bits that the stack simulation and the stack pass exchange.
constexpr u4 QW_PRODUCER_REF     = 0x00200000;  // array store: the reference's producer
constexpr u4 QW_PRODUCER_INDEX   = 0x00400000;  // array store: the index's producer
constexpr u4 QW_NONNULL          = 0x00800000;  // the reference is known non-null
constexpr u4 QW_NO_BOUNDCHECK    = 0x01000000;  // bounds work not needed (String char access)
constexpr u4 QW_REF_ARGUMENT     = 0x02000000;  // producer of a reference argument word
constexpr u4 QW_BASE_PRODUCER    = 0x04000000;  // producer of an object or array base
constexpr u4 QW_ARRAY_PRODUCER   = 0x08000000;  // producer of an array base (with 0x4000000)
constexpr u4 QW_UNRESOLVED       = 0x80000000;  // sub-code bit 15

// Front-end form: the four stack tops (index of the topmost word of the
// class, 0xFFFF when empty).
constexpr u2 QTOP_EMPTY = 0xFFFF;
inline u2 quad_itop_before(const quadruple* q) { return static_cast<u2>(q->result.value); }
inline u2 quad_itop_after(const quadruple* q) { return static_cast<u2>(q->result.value >> 16); }
inline u2 quad_ftop_before(const quadruple* q) { return static_cast<u2>(q->src1.value); }
inline u2 quad_ftop_after(const quadruple* q) { return static_cast<u2>(q->src1.value >> 16); }
inline void quad_set_itops(quadruple* q, u2 before, u2 after) { q->result.value = before | static_cast<u4>(after) << 16; }
inline void quad_set_ftops(quadruple* q, u2 before, u2 after) { q->src1.value = before | static_cast<u4>(after) << 16; }

// Source pc: the second source's value word.
inline s4 quad_source_pc(const quadruple* q) { return static_cast<s4>(q->src2.value); }
inline void quad_set_source_pc(quadruple* q, s4 pc) { q->src2.value = static_cast<u4>(pc); }

// Operand list head (source count 3).
inline quad_operand_list_entry* quad_list_head(const quadruple* q)
{
    quad_operand_list_entry* head;
    __builtin_memcpy(&head, &q->src1, sizeof head);
    return head;
}
inline void quad_set_list_head(quadruple* q, quad_operand_list_entry* head)
{
    __builtin_memcpy(&q->src1, &head, sizeof head);
}

inline u1 quad_kind_byte(u1 kind, u1 type) { return static_cast<u1>(kind | type << QT_SHIFT); }
inline u1 quad_operand_kind(const quad_operand& o) { return o.kind & QK_KIND_MASK; }
inline u1 quad_operand_type(const quad_operand& o) { return o.kind >> QT_SHIFT; }
inline void quad_operand_set(quad_operand& o, u1 kind_byte, u2 number)
{
    o.kind = kind_byte;
    o.number = number;
}
inline void quad_operand_clear(quad_operand& o)
{
    o.kind = 0;
    o.number = QUAD_NO_NUMBER;
}

// OPC_FCMP_BRANCH / OPC_DCMP_BRANCH (a three-way compare fused with the
// branch after it): the branch condition in the operator word, the compare's
// NaN rule (QOP_CMPL 4: NaN compares as less, QOP_CMPG 6: as greater) in the
// count word.

// Numbers of the two words of a long or double variable named n.
inline u2 quad_long_high_number(u2 n) { return n; }
inline u2 quad_long_low_number(u2 n) { return static_cast<u2>(n + 1); }

// Kind bytes used throughout (kind | type << 4).
constexpr u1 KB_INT = 17, KB_REF = 33, KB_LONG = 49, KB_DOUBLE = 65, KB_FLOAT = 81;
constexpr u1 KB_EADDR = 97, KB_VMPTR = 113;
constexpr u1 KB_INT_IMM = 19, KB_INT_NEGIMM = 20, KB_INT_CONST = 21;

// A fresh record (cleared as a pass starting from scratch prepares it) with
// the given source pc.
void quad_clear_fresh(quadruple* q, s4 source_pc);
// Turn a quadruple into a deleted no-operation.
void quad_make_nop(quadruple* q, bool deleted);

// ---------------------------------------------------------------------------
// Local-variable attribute table (`lvattr_tbl`): 16-byte entries; a table of
// the full road has 2n entries (n attribute entries, then n array-base
// entries).
// ---------------------------------------------------------------------------
struct lvattr_entry {
    u4 first;       // zero here; carried along when a local is split
    u4 attr;        // LVA_* bits
    u4 count;       // use count (array-base entry: accesses through the local)
    u4 count2;      // array-base entry: accesses needing checks; copied on split
};
static_assert(sizeof(lvattr_entry) == 16);
static_assert(offsetof(lvattr_entry, first) == 0);
static_assert(offsetof(lvattr_entry, attr) == 4);
static_assert(offsetof(lvattr_entry, count) == 8);
static_assert(offsetof(lvattr_entry, count2) == 12);

constexpr u4 LVA_INT          = 0x1;          // read or written as an int
constexpr u4 LVA_REF          = 0x2;          // as a reference (or ret's local)
constexpr u4 LVA_NEW_OBJECT   = 0x4;          // got a new object / supplied a field access object
constexpr u4 LVA_ARRAY_BASE   = 0x8;          // array base, or got a new array
constexpr u4 LVA_LONG_FIRST   = 0x20;         // first word of a long
constexpr u4 LVA_LONG_SECOND  = 0x40;         // second word of a long (local i + 1)
constexpr u4 LVA_PARAMETER    = 0x200;        // method table: parameter or value without producer
constexpr u4 LVA_FLOAT        = 0x400;
constexpr u4 LVA_DOUBLE_FIRST = 0x800;
constexpr u4 LVA_DOUBLE_SECOND = 0x1000;
constexpr u4 LVA_NONNULL      = 0x400000;     // block tables: known non-null
constexpr u4 LVA_NONNULL_2    = 0x800000;     // cleared with LVA_NONNULL by a reference store
constexpr u4 LVA_PINNED_STORE = 0x4000000;    // stored by a store with count-word bit 0x2
constexpr u4 LVA_ACCESSED     = 0x10000000;
constexpr u4 LVA_WRITTEN      = 0x20000000;
constexpr u4 LVA_FIRST_READ   = 0x40000000;   // block tables: first access is a read
constexpr u4 LVA_FIRST_WRITE  = 0x80000000;   // block tables: first access is a write
constexpr u4 LVA_INT_CLASS    = 0x63;
constexpr u4 LVA_FLOAT_CLASS  = 0x1c00;

// ---------------------------------------------------------------------------
// Operand-stack simulation.
// ---------------------------------------------------------------------------
struct stack_word {
    u4 kind;                // SK_* kind
    s4 local;               // local mirrored, or -1
    quadruple** producer;   // catbl slot of the pushing quadruple, or none
    u4 fourth;              // 0
};
static_assert(sizeof(stack_word) == 16);
static_assert(offsetof(stack_word, kind) == 0);
static_assert(offsetof(stack_word, local) == 4);
static_assert(offsetof(stack_word, producer) == 8);
static_assert(offsetof(stack_word, fourth) == 12);

constexpr u4 SK_INT = 1, SK_REF = 2, SK_NEW = 6, SK_NEWARRAY = 10;
constexpr u4 SK_LONG1 = 32, SK_LONG2 = 64;
constexpr u4 SK_FLOAT = 1024, SK_DOUBLE1 = 2048, SK_DOUBLE2 = 4096;
inline bool sk_int_class(u4 kind) { return kind == SK_INT || kind == SK_REF || kind == SK_NEW || kind == SK_NEWARRAY || kind == SK_LONG1 || kind == SK_LONG2; }
inline bool sk_float_register(u4 kind) { return kind == SK_FLOAT || kind == SK_DOUBLE1; }

// Subroutine record (24 bytes; the context's subroutine table).
struct subroutine_info {
    u4 block_count;         // blocks of the subroutine
    u4* blocks;             // their numbers, entry block first
    u1 flags;               // SUBR_* bits
    u1 flags2;              // cleared with flags
    u2 visited;             // 1 once simulated
    u2 drop;                // entry depth minus the lowest depth inside
    u2 exit_fheight;
    u2 exit_iheight;
    u2 exit_depth;
    stack_word* exit_stack; // max-stack words
};
static_assert(sizeof(subroutine_info) == 24);
static_assert(offsetof(subroutine_info, block_count) == 0);
static_assert(offsetof(subroutine_info, blocks) == 4);
static_assert(offsetof(subroutine_info, flags) == 8);
static_assert(offsetof(subroutine_info, visited) == 10);
static_assert(offsetof(subroutine_info, drop) == 12);
static_assert(offsetof(subroutine_info, exit_fheight) == 14);
static_assert(offsetof(subroutine_info, exit_iheight) == 16);
static_assert(offsetof(subroutine_info, exit_depth) == 18);
static_assert(offsetof(subroutine_info, exit_stack) == 20);

constexpr u1 SUBR_NEVER_RETURNS = 0x2;  // the subroutine never reaches its ret
constexpr u1 SUBR_NO_SIMULATE   = 0x4;  // not simulated from its callers

// Constant candidate (put_const_tbl): 4 entries per table.
struct const_candidate {
    u4 key1;                // class code: 1 int/null, 32 long, 1024 float, 2048 double, 16 ldc
    u4 count;               // pushes seen
    u4 key2;                // the constant value
    u4 block;               // block where it was first recorded
};
static_assert(sizeof(const_candidate) == 16);
constexpr u4 CONST_CANDIDATES = 4;
constexpr u4 CONST_TABLE_BYTES = 64;

// Stack list of an invocation quadruple, and the form code of a shuffle:
// both live in the record's second 32-bit word, the target word (q->target).
struct stack_list_entry {
    quad_operand* range;    // value range of a constant or ranged int word, or none
    u4 kind;                // SK_* kind of the word
    quadruple** producer;   // producing catbl slot, or none
};
static_assert(sizeof(stack_list_entry) == 12);
struct stack_list {
    u4 count;
    u4 word1;
    u4 word2;
    stack_list_entry entries[1];
};
static_assert(offsetof(stack_list, entries) == 12);
inline stack_list* quad_stack_list(const quadruple* q) { return reinterpret_cast<stack_list*>(q->target); }

// Flag words of the stack simulation (the context's qgen_pass_words[0]) and
// of the conversion (qgen_pass_words[1]).
constexpr u4 QGF_CLASS_INIT_PENDING = 0x4;  // some class may still need initialisation
constexpr u4 QGF_STACK_ARGUMENTS    = 0x1;  // [1]: some incoming argument is passed on the stack

// ---------------------------------------------------------------------------
// The per-block builder's state, handed to every translation routine.
// ---------------------------------------------------------------------------

// Inline record of an inlined body: argument words, one flag byte per word
// (0x02: the argument is a constant quadruple of the caller) and one entry per
// word plus one (a local number, a negative base offset, or the constant's
// quadruple).
struct inline_arg_record {
    u4 arg_words;
    const u1* arg_flags;
    const s4* entries;
};
constexpr u1 INLINE_ARG_CONSTANT = 0x02;

// Arguments of generate_cattr_from_bytecode (the method being compiled or an
// inlined body).
struct cattr_gen_args {
    u4 first_block;                 // number of the body's first block
    s4* subroutine_list;            // entry block's subroutine slots (negated numbers)
    u4* subroutine_count;           // in/out
    u4* exit_list;                  // exit block's predecessor list
    u4* exit_count;                 // in/out
    u4 exit_block;                  // number of the exit block
    pc2bb_entry* pc_map;
    u4 inline_flag;                 // nonzero: an inlined body
    const inline_arg_record* inline_record;
    u4 continuation_block;          // inlined body: block that replaces the returns
    u2 local_base;                  // inlined body: base of its locals in the caller
    u2 body_number;                 // 0 for the method itself
    u4 caller_class_word;           // passed to the native recognizer
    mi_call_site* call_sites;       // sites chosen for inlining (cursor start)
    u4* temporaries;                // out: extra operand-stack words needed
};

struct cattr_builder {
    method_compile_context* m;
    misinfo* mis;                   // call-site record of the body
    bbattr* block;
    methodblock* body;              // method whose bytecode is translated
    classblock* cb;                 // its class
    const u1* code;                 // start of the body's bytecode
    EE* ee;
    quadruple** slots;              // the block's catbl
    u4 slot_limit;                  // records available in the block
    u4 used;                        // index of the current slot
    const cattr_gen_args* args;
    mi_call_site* site_cursor;      // next call-site entry not yet passed
    u4 temporaries;                 // extra operand-stack words the body needs
    bool bad_target;                // a branch target lies outside the body
};

// Translation entries of the member-access, object-creation, type-check and
// invocation bytecodes (their own file).  Both work on the quadruple in
// b->slots[b->used], already cleared, with its source pc set; `ins` points
// at the instruction's opcode byte.  0 = done, 1 = the block fails.
//   gen_cattr_member: 178..181, 187, 189, 192, 193, 197, 206..213, 220..225,
//                     227..229 (getstatic .. putfield, new, anewarray,
//                     checkcast, instanceof, multianewarray and quick forms,
//                     invokeignored_quick, nonnull_quick).
//   gen_cattr_invoke: 182..185, 214..219, 226.  A reflective replacement
//                     fills two more slots and advances b->used by 2 (the
//                     builder sizes every block with 2 spare records per
//                     invoke), raising b->temporaries to at least 2.  The
//                     builder then moves the pc map (update_pc2bb_table) by
//                     the extra slots; the routine does not.
int gen_cattr_member(cattr_builder* b, const u1* ins, u4 pc);
int gen_cattr_invoke(cattr_builder* b, const u1* ins, u4 pc);

// ---- fe_bctable.cpp: translation of the bytecodes 0x00..0x98 ------------------
// Fills b->slots[b->used] for a bytecode of 0x00..0x98 other than iinc; 0 or
// 1 (an ldc of a constant type the compiler cannot load).
int gen_cattr_basic(cattr_builder* b, u1 opcode, const u1* ins, u4 pc);
// Local index of a load, store or iinc of the body, renumbered for an inlined
// body.  Loads of a constant argument answer -1 after copying the constant
// into q.
s4 remap_body_local(cattr_builder* b, quadruple* q, u4 local, bool is_load);

// ---- fe_cattr.cpp: per-block quadruple builder ----------------------------------
int generate_cattr_from_bytecode(method_compile_context* m, misinfo* mis, cattr_gen_args* args);
int gen_bb_cattr_from_bytecode(cattr_builder* b, u4 start_pc, u4 instruction_count);
// Bytecode reading protocol: the instruction at pc, re-read under the code
// lock or after sleep(0) as the VM may be rewriting it; fills `out` with up to
// 4 bytes and returns the opcode.
u1 read_bytecode_instruction(EE* ee, const u1* code, u4 code_length, u4 pc, u1 out[4]);
// Extra quadruple records a block needs beyond one per instruction.
u4 count_spare_quadruples(const u1* code, u4 code_length, u4 start_pc, u4 end_pc);

// ---- fe_traverse.cpp: the front-end driver --------------------------------------
int JITTraverseByteCode(method_compile_context* m, EE* ee, int flag);
void mark_nonreturning_subroutines(method_compile_context* m, u4* bitset);
int subroutine_reaches_return(method_compile_context* m, u4 block, u4* bitset);
void redirect_jsr_of_nonreturning_subroutines(method_compile_context* m);
// The front end's reading of the root call-site record (see the file).
bool mis_subroutines_expanded(const misinfo* mis);
bool mis_builds_loops_directly(const misinfo* mis);
bool mis_first_word_negative(const misinfo* mis);
u4 mis_entry_list_bound(const misinfo* mis);   // k1: bounds the subroutines
u4 mis_exit_list_bound(const misinfo* mis);    // k2
constexpr u4 MCC_PRESCAN_NEGATIVE = 0x400;     // context flag: record's first word negative

// ---- fe_transfer.cpp: interpreter-to-compiled transfer points -------------------
int initialize_lvar_access_for_mmi2jit(method_compile_context* m);
void attach_mmi_transfer_block(method_compile_context* m, bbattr* x, pc2bb_entry* pc_map);
void move_mmi_tp_to_succeeding_bb(method_compile_context* m, void* loop, u4* transfer_record);
void move_tp_to_entry_pad(method_compile_context* m, void* loop, bbattr* block, u4* edge);
// Transfer record in the context's front-end words.
constexpr int TR_ENTRY = 0, TR_ENTRY2 = 1, TR_PC_BLOCK = 2, TR_RESUME = 3, TR_CLEARED = 4, TR_TRY = 5;

// ---- fe_ideom.cpp: idiom pass ----------------------------------------------------
void check_and_replace_ideom_pattern(method_compile_context* m);
void invalidate_bb(bbattr* b);
void merge_bb_into(method_compile_context* m, bbattr* head, bbattr* absorbed);

// ---- qg_opnd.cpp: operand lists and quadruple-building services ----------------
int Set_OPRAND(u2 kind, u2 number, quadruple* q, method_compile_context* m);
int Set_OPRAND_byte(u2 kind, u2 number, u1 extra, int flag, quadruple* q, method_compile_context* m);
int Set_OPRAND_pair(u2 type, u1 position, u1 index, u1 extra, int flag, quadruple* q, method_compile_context* m);
s4 sum_signed_bytes(method_compile_context* m, const int8_t* table, u4 n);
s4 sum_signed_bytes_plus_count(method_compile_context* m, const int8_t* table, u4 n);
int is_small_count(method_compile_context* m, const u4* count);
int is_small_primitive_instance(method_compile_context* m, classblock* cb, u4* count);
quadruple** gen_instance_field_init_quads(method_compile_context* m, quadruple** cursor, quadruple* tmpl,
                                          u2 object, classblock* cb);
quadruple** gen_array_zero_init_quads(method_compile_context* m, u4 ignored, quadruple** cursor,
                                      quadruple* tmpl, u2 array, u4 count);
// Stack-value type record made by the stack pass for a simulated value.
struct stack_value_type {
    u1 form;                // 0, 1: records with a descriptor word; 2: counted string
    u1 flags;               // bit 0: see check_system_arraycopy
    u2 pad;
    const void* source;     // the descriptor source
    u4 length;              // form 2: the string's length
};
int get_array_element_type_code(method_compile_context* m, const stack_value_type* v, const char** descriptor);
// The common element type code when the call in *slot is an array copy the
// stack pass may make an OPC_ARRAYCOPY, else -1 (*out_flag: the extra flag).
int check_system_arraycopy(method_compile_context* m, bbattr* b, quadruple** slot, u4* out_flag);

// ---- qg_genquad.cpp: conversion to final quadruple form ---------------------------
int generate_quadruple(method_compile_context* m);

// ---- qg_lvartbl.cpp: variable usage tables ---------------------------------------
struct var_usage_entry {
    u4 word0;
    u4 flags;       // VU_* bits
    u4 use_count;   // sum of the block weights of the uses
    u4 word3;
};
static_assert(sizeof(var_usage_entry) == 16);
constexpr u4 VU_INT = 0x1, VU_ADDR = 0x2, VU_REF = 0xE, VU_LONG_LOW = 0x20, VU_LONG_HIGH = 0x40;
constexpr u4 VU_FLOAT = 0x400, VU_DOUBLE_LOW = 0x800, VU_DOUBLE_HIGH = 0x1000;
constexpr u4 VU_OUTSIDE_LOOP_DEF = 0x04000000;
constexpr u4 VU_USED = 0x10000000, VU_DEFINED = 0x20000000;
constexpr u4 VU_USE_FIRST = 0x40000000, VU_DEF_FIRST = 0x80000000;
int generate_Q_lvar_tbl(method_compile_context* m);

// ---- qg_driver.cpp: quadruple-generation driver -----------------------------------
int BB_stack_regalloc(method_compile_context* m);
void free_BB_stack_regalloc(method_compile_context* m);
int count_method_invocations(method_compile_context* m, int string_method);
void count_BB_invocations(method_compile_context* m, const u4* blocks, u4 n, u1* visited, int string_method);
bool qgen_string_method(const methodblock* mb);

// ---- qg_lvattr.cpp: local-variable attribute table --------------------------------
void mark_parameter_locals(method_compile_context* m, lvattr_entry* table);
int method_regalloc(method_compile_context* m);
void rewrite_split_locals(method_compile_context* m, const u2* use_map, const u2* split_map);

// ---- qg_stacksim.cpp: operand-stack simulation ------------------------------------
int BB_stack_regalloc_walk(method_compile_context* m, u4 block_count, u4 dfs_count, const u4* dfs,
                           bbattr** table, lvattr_entry* method_table);
int BB_stack_simulate(method_compile_context* m, bbattr** table, u4 block, u2* depth, u2* iheight,
                      u2* fheight, u1* marks, stack_word* stack);
int visit_subroutine(method_compile_context* m, subroutine_info* subs, u4 index, stack_word* stack,
                     u2 depth, u2 iheight, u2 fheight);
int subroutine_stack_regalloc(method_compile_context* m, subroutine_info* s, stack_word* stack, u2 depth,
                              u2 iheight, u2 fheight);

// ---- qg_invoke.cpp: invocation operand lists and constant candidates ---------------
u4 put_const_tbl(method_compile_context* m, u4 n, const_candidate* table, u4 key1, u4 key2, u4 inc, u4 block);
int set_invoke_args(method_compile_context* m, quadruple** slot, const stack_word* stack, s4 n);
void count_invoke_args(method_compile_context* m, quadruple** slot, stack_word* stack, u4 depth, u4 n,
                       lvattr_entry* block_table, u4* iregs, u4* fregs);
void forget_ref_locals(method_compile_context* m, stack_word* stack, u4 depth);
int set_stack_snapshot(method_compile_context* m, const stack_word* stack, u4 depth, u2 iheight, u2 fheight,
                       quadruple** slot);
stack_list* resize_arg_list(method_compile_context* m, quadruple** slot, u4 n);
void dump_trace_stack(method_compile_context* m, const stack_word* stack, u4 depth);

#endif // ORVA_FRONTEND_QGEN_H
