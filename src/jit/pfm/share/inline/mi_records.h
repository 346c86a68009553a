// Records of the inlining analysis: the per-compilation `inlining_context`,
// the method-invocation record `misinfo` (one per distinct method met in the
// call tree), its call-site records and the work-queue item of the walks.
// They live in the compilation's work memory and die with it.
#ifndef ORVA_INLINE_MI_RECORDS_H
#define ORVA_INLINE_MI_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"

struct method_compile_context;
struct pc2bb_entry;
struct mi_call_site;
struct mi_queue_item;
struct ipa_summary_record;
struct call_site_param_record;

// A caller of a misinfo, entered once.
struct mi_caller_node {
    mi_caller_node* next;
    struct misinfo* caller;
};

// Method-invocation record.
struct misinfo {
    u4 flags;                   // MIS_* bits
    methodblock* mb;
    mi_caller_node* callers;
    u4 instruction_count;       // reachable bytecode instructions (first budget)
    u4 special_call_count;      // +2 per recognised forName / newInstance call
    u4 allocation_count;        // new, newarray, anewarray, multianewarray
    u4 block_count;             // leaders of reachable blocks (second budget)
    u4 invoke_count;
    u4 return_count;
    u4 jsr_count;
    s4 subroutine_pc;           // filled at the first jsr
    s4 subroutine_after;
    u4* argument_vector;        // bit i: the method stores into argument local i
    u4* leaders;                // pc bit vector of block leaders
    u4* live_leaders;           // pc bit vector of reachable-block leaders
    u4* starts;                 // pc bit vector of instruction starts
    mi_call_site* call_sites;   // in bytecode order
    misinfo* hash_next;         // next record of the same bucket
    ipa_summary_record* store_summary;  // the method's store summary (ipa_store.cpp), or null
};
static_assert(sizeof(misinfo) == 76);
static_assert(offsetof(misinfo, flags) == 0);
static_assert(offsetof(misinfo, mb) == 4);
static_assert(offsetof(misinfo, callers) == 8);
static_assert(offsetof(misinfo, instruction_count) == 12);
static_assert(offsetof(misinfo, subroutine_pc) == 40);
static_assert(offsetof(misinfo, argument_vector) == 48);
static_assert(offsetof(misinfo, leaders) == 52);
static_assert(offsetof(misinfo, live_leaders) == 56);
static_assert(offsetof(misinfo, starts) == 60);
static_assert(offsetof(misinfo, call_sites) == 64);
static_assert(offsetof(misinfo, hash_next) == 68);
static_assert(offsetof(misinfo, store_summary) == 72);

// misinfo.flags
constexpr u4 MIS_SUBROUTINES_EXPANDED = 0x1;   // the front end expands the one subroutine inline
constexpr u4 MIS_SUBROUTINE_EXPANSION = 0x2;   // expansion allowed: a first jsr to an astore sets 0x1
constexpr u4 MIS_IRREGULAR      = 0x8;          // unpaired ret, switch offset below 1
constexpr u4 MIS_GUARDED_LOOP   = 0x10;
constexpr u4 MIS_GUARDED_NONREC = 0x20;
constexpr u4 MIS_RECURSIVE      = 0x80;
constexpr u4 MIS_VISIT_INHERIT  = 0x1000;
constexpr u4 MIS_VISIT_CLASSIFY = 0x2000;
constexpr u4 MIS_VISIT_ARGS     = 0x4000;
constexpr u4 MIS_UNRESOLVED_STRING = 0x10000;
constexpr u4 MIS_UNRESOLVED_REF = 0x20000;
constexpr u4 MIS_STORES_RECEIVER = 0x40000;
constexpr u4 MIS_MAY_THROW      = 0x200000;

// Bit vectors over pcs (and over argument words): 64-bit words, bit p of the
// vector is bit p % 64 of word p / 64, which on this little-endian machine is
// bit p % 32 of 32-bit word p / 32.
inline bool mi_bit(const u4* vector, u4 p) { return (vector[p >> 5] >> (p & 31)) & 1; }
inline void mi_set_bit(u4* vector, u4 p) { vector[p >> 5] |= 1u << (p & 31); }
inline u4 mi_pc_vector_bytes(u4 code_length) { return 8 * ((code_length + 64) / 64); }

// Call-site record.
struct mi_call_site {
    mi_call_site* next;
    u4 flags;                   // MCS_* bits and fields
    int16_t slot;               // the callee's method-table slot, or -1
    u2 pad10;
    u4 pc;                      // pc of the invoke
    int16_t block;              // location after update_location_info_...
    int16_t position;
    call_site_param_record* params;
    void* target;               // signature, method block or misinfo (MCS_TARGET_*)
    methodblock* interface_mb;  // interface calls only
};
static_assert(sizeof(mi_call_site) == 32);

constexpr u4 MCS_KIND_MASK      = 0xF;
constexpr u4 MCS_DECISION_SHIFT = 4;
constexpr u4 MCS_DECISION_MASK  = 0x70;
constexpr u4 MCS_FRAME_ENTRY    = 0x80;
constexpr u4 MCS_TARGET_MASK    = 0x300;        // 0 signature, 1 method block, 2 misinfo
constexpr u4 MCS_STALE_LOCATION = 0x400;
constexpr u4 MCS_SPLITS_BLOCK   = 0x800;
constexpr u4 MCS_CANDIDATE      = 0x1000;
constexpr u4 MCS_ANALYSE        = 0x2000;
constexpr u4 MCS_EMPTY_CALLEE   = 0x4000;
constexpr u4 MCS_TRIVIAL_CALLEE = 0x8000;
constexpr u4 MCS_SMALL_CALLEE   = 0x10000;
constexpr u4 MCS_DIRECT_SMALL   = 0x20000;
constexpr u4 MCS_SELF_RECURSIVE = 0x40000;
constexpr u4 MCS_SYNCHRONIZED   = 0x80000;
constexpr u4 MCS_DISPATCH_MASK  = 0x700000;
constexpr u4 MCS_SAFETY_JUDGED  = 0x800000;
constexpr u4 MCS_CHA_BOUND      = 0x1000000;
constexpr u4 MCS_FINAL_IMPL     = 0x2000000;
constexpr u4 MCS_GUESS          = 0x4000000;
constexpr u4 MCS_IN_LOOP        = 0x8000000;
constexpr u4 MCS_KIND_RANGE     = 0x10000000;
constexpr u4 MCS_TAIL           = 0x20000000;
constexpr u4 MCS_EXPANDED       = 0x40000000;
constexpr u4 MCS_RESOLVED       = 0x80000000;

// Work-queue item of the breadth-first walks.
struct mi_queue_item {
    mi_queue_item* next;
    void* item;                 // misinfo (or call-site record in the expansion sizing)
    mi_call_site* sites;        // call sites still to visit
    s4 depth;                   // the root is 0
    s4 max_stack;               // accumulated along the path
    s4 locals;
};

constexpr int MI_BUCKETS = 8;

// Per-compilation inlining state.
struct inlining_context {
    u4 flags;                           // MIC_* bits
    method_compile_context* m;          // the context it belongs to
    method_compile_context* m2;         // specialisation by this: the fresh context
    misinfo root;                       // the method being compiled
    misinfo* buckets[MI_BUCKETS];       // by callee bytecode length & 7
    void* root_calls;                   // copied call-site list of the root
    mi_queue_item* queue_head;
    mi_queue_item* queue_tail;
    mi_queue_item* queue_free;
    u4 pc_vector_capacity;              // scratch pc bit vector, reused
    u4* pc_vector;
    u4 word_array_capacity;             // scratch word array, reused
    u4* word_array;
    EE* ee;                             // the compiling thread
    s4 budgets[4];                      // instructions, blocks, max stack, locals
    s4 sums[4];                         // running sums, same order
    u4 expansion[4];                    // added blocks, jsr copies, handler entries, returns
    s4 inlined_frames;                  // entries of the inlined-method frame table
    u4 pc2bb_capacity;                  // reusable pc-to-block table (entries)
    pc2bb_entry* pc2bb_buffer;
};

constexpr u4 MIC_NOT_FRAME_SAFE = 0x1;  // root not marked stack-frame-traversal safe

// Start-up limits.
extern s4 mi_analysis_depth;                // ORVA_INLINEDEPTH, 4
extern s4 mi_empty_analysis_depth;          // ORVA_EMPTYDEPTH, 10
extern s4 mi_sm_check_depth;                // ORVA_SMCDEPTH, 10
extern s4 mi_sm_check_bc_size;              // ORVA_SMCBCSIZE, 128
extern s4 mi_mmi_before_compile;            // ZEK_MIXED_MODE_THRESHOLD, 2000
extern s4 mi_nested_vinvoke_analysis_depth; // ORVA_NVINLINEDEPTH, 2

#endif // ORVA_INLINE_MI_RECORDS_H
