// Records of the dataflow framework: the pass context that a pass driver hands
// to every pass, the per-block set record and the pass descriptor of the
// iterative solver, the sorted reference lists of the list form, the constant
// tables, and the compile-context words that the optimizer drivers, the
// flow-graph utilities and the constant table keep.
//
// Set forms (suffix of every form-specific operation): _B one 64-bit word held
// in the block record (items 0..63), _V a vector of 64-bit words outside the
// record (65 items or more), _R one sorted `varref_list` per item, _I one
// signed 16-bit value per item.  Item i of a 64-bit word is the bit 2^(63-i)
// (`ABIT_llshr[i]`): item 0 is the most significant bit.  In the vector form
// item i lies in word i / 64 at that position.
#ifndef ORVA_DATAFLOW_DF_RECORDS_H
#define ORVA_DATAFLOW_DF_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"
#include "driver/compile_context.h"

typedef uint64_t u8;

struct bbattr;
struct cins_info;
struct quadruple;

// ---------------------------------------------------------------------------
// Single-bit masks of 64-bit sets: entry i holds only bit 63 - i.
// ---------------------------------------------------------------------------
extern const u8 ABIT_llshr[64];

// ---------------------------------------------------------------------------
// Pass context: 25 words, zeroed by the driver that owns it and handed to
// every pass as its second argument.
// ---------------------------------------------------------------------------
struct dataflow_pass_context {
    u4 flags;                   // DFP_* bits
    u4 local_count;             // locals of the bytecode analyses (before update_maxstack_and_nlocals)
    u4 word3;                   // variable count of the exit and handler sets liveness made
    u4 word4;                   // commoning's exclude table (lives across its runs)
    u4* index_locals;           // one bit per local: used as an array index (bytecode null check)
    u4* array_locals;           // one bit per local: holds an array (bytecode null check)
    u4 nullcheck_blocks;        // blocks walked by the bytecode null check
    u4 handler_set[2];          // variables live into handlers: 64-bit set, or [0] a vector pointer
    u4 exit_set[2];             // exit set of the backward visitors, same form
    u4 deadstore_word;          // scratch of quadruple dead-store elimination
    u4 order_count;             // cached block-visiting order of the quadruple passes
    u4* order;                  // null = not built
    u4 movecopy_word;           // cleared before dataflow_Q_movecopy
    u1* arena1_base;            // arena 1: sets of the running pass, carved top down
    u4 arena1_size;
    u4 arena1_free;             // free offset; storage below it is unused
    u1* arena2_base;            // arena 2: per-block exit-set copies of the bytecode null check
    u4 arena2_size;
    u4 arena2_left;             // bytes left in the current chunk
    u4 orig_count;              // orig-bytecode local set: words, pointer
    u4* orig_set;
    u4 short_count;             // short-lifetime local set: words, pointer
    u4* short_set;
};
static_assert(sizeof(dataflow_pass_context) == 100);
static_assert(offsetof(dataflow_pass_context, flags) == 0);
static_assert(offsetof(dataflow_pass_context, local_count) == 4);
static_assert(offsetof(dataflow_pass_context, word3) == 8);
static_assert(offsetof(dataflow_pass_context, word4) == 12);
static_assert(offsetof(dataflow_pass_context, index_locals) == 16);
static_assert(offsetof(dataflow_pass_context, array_locals) == 20);
static_assert(offsetof(dataflow_pass_context, nullcheck_blocks) == 24);
static_assert(offsetof(dataflow_pass_context, handler_set) == 28);
static_assert(offsetof(dataflow_pass_context, exit_set) == 36);
static_assert(offsetof(dataflow_pass_context, deadstore_word) == 44);
static_assert(offsetof(dataflow_pass_context, order_count) == 48);
static_assert(offsetof(dataflow_pass_context, order) == 52);
static_assert(offsetof(dataflow_pass_context, movecopy_word) == 56);
static_assert(offsetof(dataflow_pass_context, arena1_base) == 60);
static_assert(offsetof(dataflow_pass_context, arena1_size) == 64);
static_assert(offsetof(dataflow_pass_context, arena1_free) == 68);
static_assert(offsetof(dataflow_pass_context, arena2_base) == 72);
static_assert(offsetof(dataflow_pass_context, arena2_size) == 76);
static_assert(offsetof(dataflow_pass_context, arena2_left) == 80);
static_assert(offsetof(dataflow_pass_context, orig_count) == 84);
static_assert(offsetof(dataflow_pass_context, orig_set) == 88);
static_assert(offsetof(dataflow_pass_context, short_count) == 92);
static_assert(offsetof(dataflow_pass_context, short_set) == 96);

// Pass flags (word 1).
constexpr u4 DFP_BC_NULLCHECK     = 0x1;       // bytecode null check enabled
constexpr u4 DFP_ARRAY_HINT       = 0x2;       // array accesses worth an array check
constexpr u4 DFP_PROPAGATE_CONST  = 0x4;       // constants may be propagated
constexpr u4 DFP_INITIAL_8        = 0x8;       // set in the initial flags; read by nobody
constexpr u4 DFP_LOCAL_VECTORS    = 0x10;      // index_locals and array_locals exist
constexpr u4 DFP_BC_DEADSTORE     = 0x20;      // bytecode dead-store elimination enabled
constexpr u4 DFP_FLOW_CHANGED     = 0x40;      // the flow graph changed: rebuild the DFS order
constexpr u4 DFP_TYPEFLOW         = 0x80;      // type flow enabled
constexpr u4 DFP_NOPS_TO_REMOVE   = 0x100;     // a pass left NOP instructions behind
constexpr u4 DFP_DELETE_LOOPS     = 0x200;     // counted loops may be deleted (never set)
constexpr u4 DFP_FIELD_HINT       = 0x400;     // field reads worth a privatization
constexpr u4 DFP_COUNTED_CLASS    = 0x800;     // more than one quadruple of the counted class
constexpr u4 DFP_COPYPROPA_WANTED = 0x1000;    // commoning asks for copy propagation
constexpr u4 DFP_DEADSTORE_WANTED = 0x2000;    // quadruples changed: dead stores again
constexpr u4 DFP_NULLCHECK_WANTED = 0x4000;    // explicit null checks worth a pass
constexpr u4 DFP_BUSY             = 0x8000;    // a pass is running
constexpr u4 DFP_LIVE_BLOCKS_ONLY = 0x20000;   // liveness for the block sets only
constexpr u4 DFP_LIVE_ACCOUNTING  = 0x40000;   // liveness accounting only (never set)
constexpr u4 DFP_LVAR_SHRUNK      = 0x80000;   // the local-variable table has been shrunk
constexpr u4 DFP_LAST_USE_TABLE   = 0x100000;  // liveness builds the per-local last-use table

// The bytecode driver's initial pass flags.
constexpr u4 DFP_BYTECODE_INITIAL = DFP_BC_NULLCHECK | DFP_ARRAY_HINT | DFP_PROPAGATE_CONST | DFP_INITIAL_8
                                    | DFP_BC_DEADSTORE | DFP_TYPEFLOW | DFP_FIELD_HINT;
static_assert(DFP_BYTECODE_INITIAL == 0x4af);

// Arena sizes: each of the two arenas, by the method's block count.
constexpr u4 DF_ARENA_SIZE       = 0x40000;
constexpr u4 DF_ARENA_SIZE_LARGE = 0x80000;
constexpr u4 DF_ARENA_LARGE_BLOCKS = 150;    // more blocks than this take the large arenas

// ---------------------------------------------------------------------------
// Per-block set record (36 bytes), one per block, indexed by block number.
// In the bit-word form each slot is the set; in the other forms the low half
// of each slot points to the set's storage.  Block 0's record (never visited)
// doubles as scratch: forward visitors keep the previous OUT in its OUT slot,
// backward and dominance visitors the previous IN in its IN slot.
// ---------------------------------------------------------------------------
struct dataflow_block_sets {
    u8 in;
    u8 out;
    u8 gen;
    u8 kill;
    u4 touched;                 // 1 once a forward visitor has written IN
};
static_assert(sizeof(dataflow_block_sets) == 36);
static_assert(offsetof(dataflow_block_sets, in) == 0);
static_assert(offsetof(dataflow_block_sets, out) == 8);
static_assert(offsetof(dataflow_block_sets, gen) == 16);
static_assert(offsetof(dataflow_block_sets, kill) == 24);
static_assert(offsetof(dataflow_block_sets, touched) == 32);

// Storage pointers of the non-bit-word forms.
inline void* df_slot_ptr(const u8& slot) { return reinterpret_cast<void*>(static_cast<uintptr_t>(slot)); }
inline void df_set_slot_ptr(u8& slot, const void* p) { slot = reinterpret_cast<uintptr_t>(p); }
inline u8* df_vec(const u8& slot) { return static_cast<u8*>(df_slot_ptr(slot)); }
struct varref_list;
inline varref_list** df_refs(const u8& slot) { return static_cast<varref_list**>(df_slot_ptr(slot)); }
inline int16_t* df_ints(const u8& slot) { return static_cast<int16_t*>(df_slot_ptr(slot)); }

// ---------------------------------------------------------------------------
// Pass descriptor: ten words.  Item counts below 65 select the bit-word
// callbacks (slots 3-6), others the bit-vector ones (7-10); the list and
// integer forms use slots 3-6.
// ---------------------------------------------------------------------------
struct dataflow_pass_descriptor;
typedef int (*df_phase_fn)(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                           u4 block_count, dataflow_pass_descriptor* d);
typedef int (*df_visit_fn)(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                           u4 block, dataflow_pass_descriptor* d);

struct dataflow_pass_descriptor {
    s4 n;                       // item count
    u4 repeat;                  // low half: sweeps of RDFS_Iter_DataFlow_I
    df_phase_fn init_B;
    df_phase_fn iter_B;
    df_visit_fn visit_B;
    df_phase_fn final_B;
    df_phase_fn init_V;
    df_phase_fn iter_V;
    df_visit_fn visit_V;
    df_phase_fn final_V;
};
static_assert(sizeof(dataflow_pass_descriptor) == 40);
static_assert(offsetof(dataflow_pass_descriptor, n) == 0);
static_assert(offsetof(dataflow_pass_descriptor, repeat) == 4);
static_assert(offsetof(dataflow_pass_descriptor, init_B) == 8);
static_assert(offsetof(dataflow_pass_descriptor, iter_B) == 12);
static_assert(offsetof(dataflow_pass_descriptor, visit_B) == 16);
static_assert(offsetof(dataflow_pass_descriptor, final_B) == 20);
static_assert(offsetof(dataflow_pass_descriptor, init_V) == 24);
static_assert(offsetof(dataflow_pass_descriptor, iter_V) == 28);
static_assert(offsetof(dataflow_pass_descriptor, visit_V) == 32);
static_assert(offsetof(dataflow_pass_descriptor, final_V) == 36);

constexpr s4 DF_WORD_ITEMS = 64;                    // the bit-word form holds up to 64 items
constexpr u4 DF_VECTOR_LIMIT = 0x40000;             // Alloc_DataFlow: bytes of all vectors
constexpr u4 DF_REFS_LIMIT = 0x100000;              // Alloc_DataFlow_R: bytes of all list heads
inline u4 df_words(s4 n) { return n <= 0 ? 0 : static_cast<u4>((n + 63) / 64); }

// ---------------------------------------------------------------------------
// Reference lists: sorted ascending by the reference as an unsigned word
// (index in the high half first, then block), no duplicates; null = empty.
// ---------------------------------------------------------------------------
typedef u4 quad_ref;                        // block in the low half, catbl index in the high half
inline quad_ref make_quad_ref(u4 block, u4 index) { return (block & 0xFFFF) | (index & 0xFFFF) << 16; }
inline u4 quad_ref_block(quad_ref r) { return r & 0xFFFF; }
inline u4 quad_ref_index(quad_ref r) { return r >> 16; }

struct varref_list {
    quad_ref ref;
    varref_list* next;
};
static_assert(sizeof(varref_list) == 8);
static_assert(offsetof(varref_list, ref) == 0);
static_assert(offsetof(varref_list, next) == 4);

// ---------------------------------------------------------------------------
// Constant tables: one for the constant-pool constants (reference mode: the
// entries point at the pool's own words) and one for folded constants (copy
// mode: the values live in the table's value array).
// ---------------------------------------------------------------------------
constexpr u4 CONST_TABLE_BUCKETS = 67;
constexpr s4 CONST_KIND_FLOAT = 4, CONST_KIND_LONG = 5, CONST_KIND_DOUBLE = 6;
constexpr u4 CONST_TABLE_FIRST_CAPACITY = 16;

struct const_table_entry {
    const u4* value;            // first word; the second follows for long and double
    u4 hash;
    s4 kind;                    // CONST_KIND_*
    const_table_entry* next;    // next entry of the bucket
};
static_assert(sizeof(const_table_entry) == 16);
static_assert(offsetof(const_table_entry, value) == 0);
static_assert(offsetof(const_table_entry, hash) == 4);
static_assert(offsetof(const_table_entry, kind) == 8);
static_assert(offsetof(const_table_entry, next) == 12);

struct const_table {
    const_table_entry* buckets[CONST_TABLE_BUCKETS];
    u4* values;                 // copy mode: the value array (null until the first copy)
    u4 count;                   // value words entered (1 per float, 2 per long or double)
    u4 capacity;                // words of the value array
    s4 mode;                    // negative: reference mode; else copy mode
};
// The counters are full words: a method folding more than 32768 words of
// constants must not wrap them (a wrapped capacity would make the next
// growth allocate nothing and store past it).
static_assert(sizeof(const_table) == 284);
static_assert(offsetof(const_table, buckets) == 0);
static_assert(offsetof(const_table, values) == 268);
static_assert(offsetof(const_table, count) == 272);
static_assert(offsetof(const_table, capacity) == 276);
static_assert(offsetof(const_table, mode) == 280);

// ---------------------------------------------------------------------------
// Compile-context words kept by the optimizer drivers, the flow-graph
// utilities, the block renumbering and the constant table.  The context's
// record (driver/compile_context.h) names them by role only; these accessors
// fix which word holds what.  Every word used here is zeroed when a compile
// attempt creates its context (`init_method_compile_context`), so nothing of
// an abandoned attempt survives into the retry.
//
//   five_words[0]  head of the code-insertion list (`gen_cins_info`)
//   five_words[1]  the block-to-DFS map (`setup_bb_to_dfs_map`)
//   five_words[2]  the two constant tables (`Initialize_const_table`)
//   five_words[3]  free list of released quadruple records (`remove_nop`),
//                  linked through their first word
//   loop_word2     capacity of the loop table
//   frontend_word  capacity of the subroutine table (the front end sets it
//                  equal to the subroutine count; a smaller value is read as
//                  the count)
//   optimizer_byte quadruple-stage marker: 1 once straightening has run
// ---------------------------------------------------------------------------
inline cins_info* mcc_cins_list(const method_compile_context* m)
{
    return reinterpret_cast<cins_info*>(m->five_words[0]);
}
inline void mcc_set_cins_list(method_compile_context* m, cins_info* c) { m->five_words[0] = reinterpret_cast<u4>(c); }
inline s4* mcc_bb_to_dfs_map(const method_compile_context* m) { return reinterpret_cast<s4*>(m->five_words[1]); }
inline void mcc_set_bb_to_dfs_map(method_compile_context* m, s4* map) { m->five_words[1] = reinterpret_cast<u4>(map); }
inline const_table* mcc_const_tables(const method_compile_context* m)
{
    return reinterpret_cast<const_table*>(m->five_words[2]);
}
inline void mcc_set_const_tables(method_compile_context* m, const_table* t)
{
    m->five_words[2] = reinterpret_cast<u4>(t);
}
inline quadruple* mcc_quad_free_list(const method_compile_context* m)
{
    return reinterpret_cast<quadruple*>(m->five_words[3]);
}
inline void mcc_set_quad_free_list(method_compile_context* m, quadruple* q)
{
    m->five_words[3] = reinterpret_cast<u4>(q);
}
inline u4& mcc_loop_capacity(method_compile_context* m) { return m->loop_word2; }
inline u4 mcc_subroutine_capacity(const method_compile_context* m)
{
    return m->frontend_word > m->subroutine_count ? m->frontend_word : m->subroutine_count;
}
inline void mcc_set_subroutine_capacity(method_compile_context* m, u4 capacity) { m->frontend_word = capacity; }
constexpr u1 MCC_STAGE_STRAIGHTENED = 1;

// State bits of the compile context that the optimizer drivers set or test
// (the context's own header names the ones the pipeline shares).
constexpr u4 MCC_LVAR_TABLES_BUILT      = 0x4000;      // per-block attribute tables are being built
constexpr u4 MCC_STMT_CHAINS_NOT_KEPT   = 0x20000;     // statement chains not kept
constexpr u4 MCC_NULLCHECK_SKIPPED      = 0x80000;     // the bytecode null check did not run
constexpr u4 MCC_MANY_LOCALS            = 0x100000;    // more than 64 locals
constexpr u4 MCC_REACHDEF_STALE         = 0x800000;    // use-def chains missing or out of date
constexpr u4 MCC_RECEIVER_NOT_FIXED     = 0x1000000;   // local 0 may not hold the receiver
constexpr u4 MCC_BYTECODE_ANALYSES_OFF  = 0x4000000;   // no bytecode analyses, no entry block
constexpr u4 MCC_RESTRICTED_OPT         = 0x8000000;   // restricted optimization
constexpr u4 MCC_NO_LVAR_TABLE          = 0x80000000;  // the method has no local-variable table
static_assert(MCC_RESTRICTED_OPT == MCC_NO_IDIOMS && MCC_NO_LVAR_TABLE == MCC_NO_USAGE_TABLE);

// ---------------------------------------------------------------------------
// Copy propagation (df_copypropa.cpp, df_bwdcopy.cpp).  What is known of a
// local's value at one point: a copy of another local or a constant.
// ---------------------------------------------------------------------------
constexpr u4 CPV_NONE = 0;      // nothing known
constexpr u4 CPV_LOCAL = 1;     // a copy of another local (value: its number)
constexpr u4 CPV_INT = 2;       // an integer-valued constant (value: the constant)
constexpr u4 CPV_IMM = 3;       // a non-int constant a kind 5 operand held (value: its immediate word)
constexpr u4 CPV_PTR = 4;       // a constant a kind 6 operand held (value: the pointer)

struct copy_value_record {
    u4 kind;                    // CPV_*
    u4 value;
    u2 block;                   // where the fact was made: block and quadruple index
    u2 index;
    u2 src_type;                // type bits of the source operand
    u2 dst_row;                 // type of the destination (type table row)
};
static_assert(sizeof(copy_value_record) == 16);
static_assert(offsetof(copy_value_record, value) == 4);
static_assert(offsetof(copy_value_record, block) == 8);
static_assert(offsetof(copy_value_record, index) == 10);
static_assert(offsetof(copy_value_record, src_type) == 12);
static_assert(offsetof(copy_value_record, dst_row) == 14);

// One local whose record says it is a copy of the list's owner.
struct copy_dependent_node {
    u4 local;
    copy_dependent_node* next;
};
static_assert(sizeof(copy_dependent_node) == 8);
static_assert(offsetof(copy_dependent_node, next) == 4);

// A fact that holds at the end of the block that made it: an item of the
// between-block problem.
struct copy_candidate {
    u2 kind;                    // CPV_*
    u2 local;
    u4 value;
    u2 block;                   // defining block
    u2 src_type;
    u2 dst_row;
    u2 pad;
};
static_assert(sizeof(copy_candidate) == 16);
static_assert(offsetof(copy_candidate, local) == 2);
static_assert(offsetof(copy_candidate, value) == 4);
static_assert(offsetof(copy_candidate, block) == 8);
static_assert(offsetof(copy_candidate, src_type) == 10);
static_assert(offsetof(copy_candidate, dst_row) == 12);

// GEN, KILL, IN and OUT of one block in the between-block problem: one
// word each (64 candidates or fewer) or vectors of words.
struct copy_block_sets {
    u8* gen;
    u8* kill;
    u8* in;
    u8* out;
};
static_assert(sizeof(copy_block_sets) == 16);

// The state of one run of forward or backward copy propagation.
struct copypropa_work {
    dataflow_pass_context* pc;
    copy_block_sets* sets;          // per block, for the between-block problem
    u4 nlocals;
    copy_dependent_node* free_nodes;
    copy_candidate* candidates;
    s4 candidate_count;
    s4 candidate_capacity;
    copy_dependent_node** dependents;   // per local: the locals that copy it
    u4 dependents_bytes;
    copy_value_record* records;     // per local
    u4 records_bytes;
    u4 swap_allowed;                // the forward swap may run
    u4 first_run;                   // the entry's third argument
    s4 order_count;                 // block visiting order
    u4* order;
};
static_assert(sizeof(copypropa_work) == 60);
static_assert(offsetof(copypropa_work, sets) == 4);
static_assert(offsetof(copypropa_work, nlocals) == 8);
static_assert(offsetof(copypropa_work, free_nodes) == 12);
static_assert(offsetof(copypropa_work, candidates) == 16);
static_assert(offsetof(copypropa_work, candidate_count) == 20);
static_assert(offsetof(copypropa_work, candidate_capacity) == 24);
static_assert(offsetof(copypropa_work, dependents) == 28);
static_assert(offsetof(copypropa_work, dependents_bytes) == 32);
static_assert(offsetof(copypropa_work, records) == 36);
static_assert(offsetof(copypropa_work, records_bytes) == 40);
static_assert(offsetof(copypropa_work, swap_allowed) == 44);
static_assert(offsetof(copypropa_work, first_run) == 48);
static_assert(offsetof(copypropa_work, order_count) == 52);
static_assert(offsetof(copypropa_work, order) == 56);

#endif // ORVA_DATAFLOW_DF_RECORDS_H
