// Records shared by the files of the commoning pass (common-subexpression
// elimination over quadruples): the candidate record, the per-block set
// records, the flow nodes and the pass's working table, and the functions
// one phase hands to the next.  Nothing here is read by generated code; the
// table lives on the pass entry's frame and in the pass's scratch memory.
//
// Candidate sets are 64-bit words with candidate i at ABIT_llshr[i] (bit
// 63 - i), so candidate 0, the best scored, is the most significant bit.
#ifndef ORVA_DATAFLOW_DF_COMMONING_H
#define ORVA_DATAFLOW_DF_COMMONING_H

#include "dataflow/dataflow.h"
#include "frontend/quad.h"
#include "inline/inline.h"

// The memory kinds a called method may write (its store summary) are asked
// at each call through dynamic_reg_propa_if (inline/inline.h).
constexpr int CM_SUMMARY_MAY_THROW = 0x40000000;   // caller summary: the call lies in a try region

constexpr u4 CM_MAX = 64;                 // candidates kept (one 64-bit set)
constexpr u4 CM_BUCKETS = 131;
constexpr u4 CM_MAX_BLOCKS = 2048;        // more blocks: collect, but do not rewrite

// Key flags.
constexpr u2 CMK_A_NOT_LOCAL = 0x8000;    // operand_a is a constant (or none)
constexpr u2 CMK_B_NOT_LOCAL = 0x4000;    // operand_b is a constant, a field block or none
constexpr u2 CMK_TWO_SLOT    = 0x2000;    // the value takes two slots
constexpr u2 CMK_A_TWO_SLOT  = 0x1000;    // operand_a is a two-slot local
constexpr u2 CMK_B_TWO_SLOT  = 0x0800;    // operand_b is a two-slot local

// Categories.
constexpr u1 CMC_ARITH = 0, CMC_ARRAY = 1, CMC_FIELD = 2, CMC_STATIC = 3, CMC_UNARY = 4, CMC_ADDRESS = 5;
inline bool cm_memory_category(u1 c) { return c == CMC_ARRAY || c == CMC_FIELD || c == CMC_STATIC; }

// Element and field type codes (signature letters J I Z B S C F D L [).
constexpr u2 CME_LONG = 0, CME_INT = 1, CME_BOOLEAN = 2, CME_BYTE = 3, CME_SHORT = 4, CME_CHAR = 5,
             CME_FLOAT = 6, CME_DOUBLE = 7, CME_OBJECT = 8, CME_ARRAY = 9, CME_OTHER = 10;

struct commoning_key {
    u4 hash;
    s4 operand_a;
    s4 operand_b;
    u2 opcode;
    u2 subkey;
    u2 flags;
    u1 category;
    u1 type;                  // value type row; travels with the key, not compared
};

struct commoning_candidate {
    commoning_key key;
    u4 weight_a;              // occurrence weights of loads and expressions
    u4 weight_b;              // of field and static stores
    s4 score;
    s4 temporary;             // local holding the value; -1 none
    u4 memory_kinds;          // store kinds that change the value
    quadruple quad;           // template: a copy of one occurrence
};

// Sixteen sets per block: slots 0-2 local sets, 3-15 the global problem.
enum : u4 {
    CS_ANTLOC = 0, CS_COMP = 1, CS_KILL = 2, CS_ANTIN = 3, CS_ANTOUT = 4, CS_EARLIEST = 5, CS_ANTOUT_KILL = 6,
    CS_LATERIN = 7, CS_LATEROUT = 8, CS_AVIN = 9, CS_AVOUT = 10, CS_ISOLIN = 11, CS_ISOLOUT = 12,
    CS_INSERT = 13, CS_TAVIN = 14, CS_TAVOUT = 15, CS_SLOTS = 16
};
// Reused slots.
constexpr u4 CS_INSERT_ENTRY = CS_AVIN, CS_NOT_AV_ANT = CS_AVOUT, CS_INSERT_EXIT = CS_AVOUT;

struct commoning_block_sets {
    u8 s[CS_SLOTS];
};
static_assert(sizeof(commoning_block_sets) == 128);

struct commoning_flow_node {
    u4* preds;
    u4* succs;
    u2 pred_count;
    u2 succ_count;
    u4 flags;                 // CMF_* bits
};
constexpr u4 CMF_RARE_LAST = 0x20000000;     // two successors, ends in a guard: the last is rare

struct commoning_bucket {
    commoning_candidate* first;
    struct commoning_link* rest;
};
struct commoning_link {
    commoning_candidate* cand;
    commoning_link* next;
};

struct commoning_edit {
    int16_t cand;
    int16_t kind;             // CE_* kinds
    s4 position;              // catbl index; -1 before the first; CE_AT_END at the end
};
constexpr int16_t CE_STORE_SAVE = 0, CE_COPY = 1, CE_SAVE = 2, CE_EMIT_STORE = 3, CE_CANCELLED = 4;
constexpr s4 CE_AT_END = 0x7fffffff;

struct commoning_table {
    method_compile_context* m;
    dataflow_pass_context* pc;
    commoning_candidate* cands;
    s4 count;
    s4 capacity;
    commoning_bucket hash[CM_BUCKETS];
    commoning_bucket* by_local;          // one bucket per local: the candidates reading it
    u4 local_limit;                      // entries of by_local
    commoning_block_sets* values;        // per block: the value problem
    commoning_block_sets* stores;        // per block: the store problem
    commoning_flow_node* nodes;
    u4 nblocks;
    u4 order_count;
    u4* order;                           // visiting order without removed blocks
    u2* weights;                         // per block; 0 = not yet computed
    u4 memory_union;                     // OR of the candidates' memory kinds
    u8 no_exception;                     // candidates whose occurrences cannot raise
    u8 may_raise;                        // candidates whose occurrences may raise
    u8 store_union;                      // union of the store problem's antloc and comp
    u8 store_rewrite;                    // union of the store rewrite sets
    u8 insert_union;                     // union of the value insertion sets
    u8 debug_keep;                       // candidates the debug range leaves enabled
    quadruple* store_model[CM_MAX];      // per candidate: a copy of one deferrable store
    // Rewrite walk.
    commoning_edit* edits;
    u4 edit_count;
    u4 edit_capacity;
    u4 replacements_only;
    u4 new_quad_count;
    quadruple** rebuild;                 // the block editor's array
    u4 rebuild_capacity;
    u4 new_locals;                       // slots made for temporaries
    u4 commoned;                         // occurrences replaced by copies (counted for the history)
};

// ---- df_common_table.cpp: the pass entry, candidates and the exclude table ----
void* cm_alloc(commoning_table* t, u4 bytes);
// Builds the key of a quadruple's value, or false when it is no candidate.
// `store` is set for the store forms (keyed under the load of their type).
bool cm_build_key(const method_compile_context* m, const quadruple* q, commoning_key* k, bool* store);
s4 commoning_lookup(commoning_table* t, commoning_key* k);
s4 Commoning_Create_Table(method_compile_context* m, commoning_table* t);
u2 commoning_block_weight(commoning_table* t, u4 block);
// Kills: every candidate of a category, by type and element or field code.
u8 cm_category_set(const commoning_table* t, u1 category);
// The value of a two-operand operation cannot raise and is not a local:
// turn it into a no-operation?  Only when nothing reads its destination.
bool cm_dead_computation(const quadruple* q);
u8 cm_local_readers(const commoning_table* t, u4 local);
bool cm_two_slot_operand(const quad_operand& o);

// ---- df_common_flow.cpp: effects, local sets, placement and the store problem ----
// What one quadruple does: candidates killed before its own occurrence (value
// and store problems), its own candidate (-1 none; `store` for a store whose
// value later loads may take), and the candidates its definitions kill.
struct cm_effect {
    u8 kill;
    u8 store_kill;            // deferred stores to emit before the quadruple
    s4 cand;
    bool store;
    bool store_defer;         // a store that may be deferred (it cannot raise)
    bool call;
    u8 kill_after;
};
void cm_quad_effect(commoning_table* t, const quadruple* q, bool exception_mode, cm_effect* e);
// Everything, for a block entered from a handler edge or an interpreter transfer.
u8 cm_block_entry_kill(const bbattr* b);
// Candidates killed by a call (by its store summary, or every memory value).
u8 cm_call_kills(commoning_table* t, const quadruple* q, bool exception_mode, bool* exact);
// Reads of the quadruple's memory, stores of it and exceptions: candidates a
// quadruple kills beyond its own key, shared by the local sets and the walk.
u8 cm_memory_kills(commoning_table* t, const quadruple* q, bool exception_mode, u8* store_kills,
                   bool* call_like);
u8 Commoning_Init_Dataflow_B(method_compile_context* m, commoning_table* t);
int Commoning_Iterate_Dataflow_B(method_compile_context* m, commoning_table* t);
int commoning_store_dataflow(method_compile_context* m, commoning_table* t);

// ---- df_common_rewrite.cpp: the rewrite walk and the block editor -----------------
int Commoning_Final_Dataflow_B(method_compile_context* m, commoning_table* t);
int commoning_apply_edits(method_compile_context* m, commoning_table* t, u4 block);

#endif // ORVA_DATAFLOW_DF_COMMONING_H
