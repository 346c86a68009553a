// Bytecode prescan, call-site registration, call-graph resolution, invoke
// kinds, the recognizers of special library calls and the register
// preference of the code generator: the functions of the inline folder that
// the front end and the code generator call on every compile, grouped by the
// file that defines them.  (The folder's other exports are in inline.h.)
//
// How the front end reads the prescan's record (`misinfo`, mi_records.h).
// The front-end driver names the root record's facts by its own words; they
// map onto the record as follows, and nowhere else is anything kept for them:
//
//   "first 16-bit flag word, negative"   bit 15 of `flags`.  The prescan never
//                                        sets it, so the front end's test is
//                                        never true for a prescanned record.
//   "flag 0x1, subroutines expanded"     MIS_SUBROUTINES_EXPANDED (set with
//                                        MIS_SUBROUTINE_EXPANSION only)
//   "flag 0x8, build loops directly"     MIS_IRREGULAR (unpaired ret, switch
//                                        offset below 1)
//   "number of live blocks"              `block_count`
//   "k1" (entry list, bounds subroutines) `jsr_count`
//   "k2" (exit list)                     `return_count` (returns and rets)
//   "spare quadruples per block"         `special_call_count`: 2 for every
//                                        registered call of Class.forName or
//                                        Class.newInstance (registration runs
//                                        only without NINLINING, which is also
//                                        the only case the reflective
//                                        replacement happens)
//   "three pc bit maps"                  `leaders`, `live_leaders`, `starts`
//   "fourth bit map, over the locals"    `argument_vector` (argument words)
//   "call sites, pc and flag byte 0x10"  `call_sites`, `mi_call_site::pc`,
//                                        MCS_CANDIDATE (bit 12, the second
//                                        flag byte's 0x10)
//
// `prescan_bytecode` takes (context, record, EE): the front-end driver passes
// the compiling thread's EE as its "prescan argument".
#ifndef ORVA_INLINE_MI_PRESCAN_H
#define ORVA_INLINE_MI_PRESCAN_H

#include <stdint.h>

#include "vm_abi.h"
#include "inline/mi_records.h"

struct method_compile_context;
struct method_unresolved_info;
struct codegen_context;
struct quadruple;
struct pc2bb_entry;
struct work_pool;

// ---------------------------------------------------------------------------
// Invoke kinds: the low four bits of a call site's flags and of a call
// quadruple's sub-code.  Kind 7 is never produced.
// ---------------------------------------------------------------------------
constexpr int MI_KIND_NONE         = 0;
constexpr int MI_KIND_STATIC       = 1;   // invokestatic
constexpr int MI_KIND_STATIC_QUICK = 2;   // invokestatic_quick
constexpr int MI_KIND_SPECIAL      = 3;   // invokespecial, target unresolved or unsuitable
constexpr int MI_KIND_NONVIRTUAL   = 4;   // invokespecial of the target itself; private/final virtual
constexpr int MI_KIND_SUPER        = 5;   // super call
constexpr int MI_KIND_VIRTUAL      = 6;   // invokevirtual
constexpr int MI_KIND_VIRTUAL_QUICK = 8;  // invokevirtual_quick, invokevirtual_quick_w
constexpr int MI_KIND_OBJECT       = 9;   // a method of java/lang/Object
constexpr int MI_KIND_INTERFACE    = 10;  // invokeinterface, unresolved or non-interface target
constexpr int MI_KIND_INTERFACE_RESOLVED = 11;

// Bytecodes the prescan, the flow scan and the call-graph walk name.
constexpr u1 BC_IINC_ = 132, BC_IFEQ_ = 153, BC_IF_ACMPNE_ = 166, BC_GOTO_ = 167, BC_JSR_ = 168, BC_RET_ = 169;
constexpr u1 BC_TABLESWITCH_ = 170, BC_LOOKUPSWITCH_ = 171, BC_IRETURN_ = 172, BC_RETURN_ = 177;
constexpr u1 BC_INVOKEVIRTUAL_ = 182, BC_INVOKESPECIAL_ = 183, BC_INVOKESTATIC_ = 184;
constexpr u1 BC_INVOKEINTERFACE_ = 185, BC_WIDE_ = 196, BC_IFNULL_ = 198, BC_IFNONNULL_ = 199;
constexpr u1 BC_GOTO_W_ = 200, BC_JSR_W_ = 201;
constexpr u1 BC_INVOKEVIRTUAL_QUICK_ = 214, BC_INVOKENONVIRTUAL_QUICK_ = 215, BC_INVOKESUPER_QUICK_ = 216;
constexpr u1 BC_INVOKESTATIC_QUICK_ = 217, BC_INVOKEINTERFACE_QUICK_ = 218, BC_INVOKEVIRTUALOBJECT_QUICK_ = 219;
constexpr u1 BC_INVOKEIGNORED_QUICK_ = 220, BC_INVOKEVIRTUAL_QUICK_W_ = 226;
constexpr u1 BC_VM_BRANCH_FIRST_ = 230, BC_VM_BRANCH_LAST_ = 253, BC_REWRITING_ = 254;

// Method-block compiler flag word bits (methodblock::jit_flags) written here.
constexpr u4 MBJ_TRIVIAL_INLINABLE = 0x100;      // trivial callee still inlinable; cleared with MBJ_NOT_INLINABLE
constexpr u4 MBJ_NOT_INLINABLE     = 0x400;
constexpr u4 MBJ_RECURSIVE         = 0x800;
constexpr u4 MBJ_EMPTY             = 0x1000;
constexpr u4 MBJ_FAST_CHECKED_OK   = 0x10000;
constexpr u4 MBJ_NO_EMPTY_MARKS    = 0x20000;
constexpr u4 MBJ_FRAME_SAFE        = 0x40000;    // stack-frame-traversal safe
constexpr u4 MBJ_FRAME_UNSAFE      = 0x80000;
constexpr u4 MBJ_RECURSION_CYCLE   = 0x100000;
constexpr u4 MBJ_FAST_CHECK_SEEN   = 0x800000;
constexpr u4 MBJ_PRESCAN_REJECTED  = 0x10000000; // the prescan refused the bytecode

// ---- mi_bcread.cpp: instruction lengths, reading protocol, flow scan --------
// Instruction lengths by opcode; 0 for the switches and wide, whose length
// comes from their operands (`mi_instruction_length`).
extern int16_t opcode_length[256];
// The instruction at pc read by the protocol the VM's quickening requires:
// one 4-byte load when 4 bytes remain (else one byte), again under the VM's
// code lock for a field or invoke instruction straddling a 32-byte line on a
// multiprocessor, and again after sleep(0) while the opcode reads as the
// transient 254.  `out` receives the bytes read (up to 4); returns the opcode.
u1 mi_read_instruction(EE* ee, const u1* code, u4 length, u4 pc, u1 out[4]);
// Length of the instruction at pc, switches and wide included; 0 when it
// would run past `length`.
u4 mi_instruction_length(const u1* code, u4 length, u4 pc);
bool mi_is_conditional_branch(u1 op);
// The reachability scan shared by the prescan and the call-graph walk: marks
// leaders (pc 0, handlers, targets, fall-throughs of conditional branches),
// reachable leaders and instruction starts.  `work` holds length + 1 words.
// 0 on success, 1 when a handler, target or fall-through lies outside the
// code (or an instruction runs past it).
int mi_flow_scan(EE* ee, methodblock* mb, u4* leaders, u4* live_leaders, u4* starts, u4* work);
inline s4 mi_be16(const u1* p) { return static_cast<int16_t>(p[0] << 8 | p[1]); }
inline u4 mi_be16u(const u1* p) { return static_cast<u4>(p[0] << 8 | p[1]); }
inline s4 mi_be32(const u1* p)
{
    return static_cast<s4>(static_cast<u4>(p[0]) << 24 | static_cast<u4>(p[1]) << 16 | static_cast<u4>(p[2]) << 8 | p[3]);
}

// ---- mi_prescan.cpp: the prescan ----------------------------------------------
int prescan_bytecode(method_compile_context* m, misinfo* mis, EE* ee);
misinfo* setup_misinfo_for_analyzed_invocation(method_compile_context* m, methodblock* mb, misinfo* caller,
                                               EE* ee);
void detect_invocations_within_loop(misinfo* mis, inlining_context* ic);
void update_location_info_of_method_invocation_info(mi_call_site* site, pc2bb_entry* table);
// Operand routines of the argument analysis.
int generate_xconst_from_bytecode(quadruple** out, const u1* bytecode, method_compile_context* m);
s4 get_xload_index(const u1* bytecode);
// The quadruple generator's two table loads: when the quadruple's first word
// is not negative (resolved), its resolved-reference word (`aux`) receives
// table[index]; the second variant stores the VM's java/lang/String class for
// an index below 1.  The first argument is not used.
void store_table_word_in_record(method_compile_context* ignored, quadruple** slot, u4* table, u4 index);
void store_table_word_or_vm_default_in_record(method_compile_context* ignored, quadruple** slot, u4* table,
                                              u4 index);

// ---- mi_callsite.cpp: call-site registration ----------------------------------
// Makes one call-site record and pushes it on the caller's list; 1 only when
// work memory answers 0.
int check_and_register_invocation_info(method_compile_context* m, misinfo* caller, int resolved,
                                       methodblock* target, const char* signature, int kind, u4 pc, int tail,
                                       int quick);

// ---- mi_callgraph.cpp: call-graph resolution and invoke kinds ------------------
// The invoke kind of an instruction and its target.  May clear the target and
// the resolved flag; for a super call replaces the target and writes the slot
// of the method the instruction names into *slot.
int resolve_a_method(u1 op, int* resolved, methodblock* caller, methodblock** target, u4* slot);
methodblock* JIT_quickSelectionSuperMethod(methodblock* caller, methodblock* target);
void resolve_method_call_graph(methodblock* mb, method_unresolved_info* info, EE* ee);

// ---- mi_special.cpp: recognizers of special library calls -----------------------
// 1 when the call in *slot was replaced by a non-call quadruple.  `loader_slot`
// points to the word holding the class loader of the method being compiled
// (null: no getCallerClassLoader replacement).
int is_specific_native_invocation(quadruple** slot, methodblock* mb, u4* loader_slot, const char* class_name,
                                  const char* name, const char* signature);
int is_newIncetance(methodblock* mb);
int is_forName(methodblock* mb);
methodblock* get_newInstance1(void);
methodblock* get_forName0(void);
void check_unresolved_method_invocation(quadruple** slot, const char* class_name, const char* name,
                                        const char* signature);
int build_math_replacement_table(classblock* cb);
int find_math_replacement(quadruple** slot, methodblock* mb);
int find_math_replacement_by_name(quadruple** slot, const char* class_name, const char* name,
                                  const char* signature);
int replace_getCallerClassLoader(quadruple** slot, methodblock* mb, u4* loader_slot);
// Forgets the cached method blocks and the Math table (tests).
void mi_special_reset(void);

// ---- mi_regpref.cpp: register preference and the block-to-DFS map ----------------
int setup_bb_to_dfs_map(method_compile_context* m);
// optim_set: declared in codegen/codegen.h.
extern const u1 register_preference_mask[9];
extern const u1 register_preference_index[7];

// ---- mi_pending.cpp: checks of the inlining analysis still to come --------------
// (weak stand-ins; the inlinability and class-hierarchy Parts replace them)
int is_inlinable_method_invocation(methodblock* caller, methodblock** target, int kind, int nested, int* refused,
                                   work_pool* pool);
methodblock* select_devirtualization_target(methodblock* mb, int* guessed, work_pool* pool);
int check_known_overridden_library_method(methodblock* mb);
int is_inlinable_interface_class(methodblock* mb);
int check_recursive_invocation_cycle(misinfo* caller, methodblock* mb);
int is_direct_inlinable_method_by_fast_check(methodblock* mb, inlining_context* ic);
methodblock* IsDirectBindIntf(method_compile_context* m, methodblock* imb, classblock* receiver, int* kind,
                              methodblock** impl);

#endif // ORVA_INLINE_MI_PRESCAN_H
