// Records shared by the three files of field privatization over the
// bytecode-level instructions: the analysis (df_privatize.cpp), the placement
// dataflow (df_privatize_flow.cpp) and the rewrite (df_privatize_rewrite.cpp).
//
// Nothing here is addressed by generated code; the records live in the
// compilation's work memory or on the pass's frame for one call of
// `dataflow_privatize`.
#ifndef ORVA_DATAFLOW_DF_PRIVATIZE_H
#define ORVA_DATAFLOW_DF_PRIVATIZE_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "driver/driver.h"
#include "vm_abi.h"

struct method_compile_context;
struct dataflow_pass_context;
struct quadruple;
struct bbattr;

// ---------------------------------------------------------------------------
// One slot of the simulated operand stack.
// ---------------------------------------------------------------------------
struct pv_slot {
    s4 kind;        // PVK_*
    s4 upper;       // 1 on both slots of a long or double
    s4 value;       // local number (PVK_LOCAL) or constant (PVK_CONST)
    s4 block;       // block of the instruction that pushed it
    s4 index;       // its index in that block
    u4 flags;       // PVS_* bits
};
static_assert(sizeof(pv_slot) == 24);
static_assert(offsetof(pv_slot, kind) == 0);
static_assert(offsetof(pv_slot, upper) == 4);
static_assert(offsetof(pv_slot, value) == 8);
static_assert(offsetof(pv_slot, block) == 12);
static_assert(offsetof(pv_slot, index) == 16);
static_assert(offsetof(pv_slot, flags) == 20);

constexpr s4 PVK_NONE = 0;          // nothing known (stack underflow)
constexpr s4 PVK_OPAQUE = 1;        // a computed value
constexpr s4 PVK_LOCAL = 2;         // a copy of a local
constexpr s4 PVK_CONST = 3;         // an int or reference constant
constexpr s4 PVK_FRESH = 4;         // a newly allocated object or array
constexpr u4 PVS_SHUFFLED = 0x1;    // moved or copied by a dup or swap: its push must stay

// ---------------------------------------------------------------------------
// A field value that may be kept in a cache local (keyed by field and base).
// ---------------------------------------------------------------------------
struct field_cache_candidate {
    u2 cp_index;            // constant-pool index of the first access (0: the access carries its field block)
    int16_t base;           // local holding the object; -1 static; -2 an object not held in a local
    u4 hash;
    s4 read_weight;         // summed block weights of the reads
    s4 write_count;
    s4 score;
    methodblock* method;    // method of the first access's block
    fieldblock* fb;
    u4 type_code;           // PVT_* in the low bits, PVT_TWO_SLOTS, PVT_BELOW_THRESHOLD
    s4 cache_local;         // -1 until one is assigned
    s4 next;                // next entry of the same hash bucket, -1 none
    quadruple* first_access;    // template of the accesses the rewrite makes
};
static_assert(sizeof(field_cache_candidate) == 44);
static_assert(offsetof(field_cache_candidate, cp_index) == 0);
static_assert(offsetof(field_cache_candidate, base) == 2);
static_assert(offsetof(field_cache_candidate, hash) == 4);
static_assert(offsetof(field_cache_candidate, read_weight) == 8);
static_assert(offsetof(field_cache_candidate, write_count) == 12);
static_assert(offsetof(field_cache_candidate, score) == 16);
static_assert(offsetof(field_cache_candidate, method) == 20);
static_assert(offsetof(field_cache_candidate, fb) == 24);
static_assert(offsetof(field_cache_candidate, type_code) == 28);
static_assert(offsetof(field_cache_candidate, cache_local) == 32);
static_assert(offsetof(field_cache_candidate, next) == 36);
static_assert(offsetof(field_cache_candidate, first_access) == 40);

constexpr u4 PVT_INT = 0, PVT_FLOAT = 1, PVT_REF = 2, PVT_LONG = 3, PVT_DOUBLE = 4;
constexpr u4 PVT_MASK = 0x7;
constexpr u4 PVT_TWO_SLOTS = 0x80000000u;       // long or double: two cache-local slots
constexpr u4 PVT_BELOW_THRESHOLD = 0x40000000u; // read too rarely to be cached

// ---------------------------------------------------------------------------
// Per-block facts of the placement dataflow (one per block and per pseudo
// block, the part of a block after its last kill point).  Bit i is the mask
// of candidate i in the MSB-first table (`ABIT_llshr`).
// ---------------------------------------------------------------------------
struct privatize_block_sets {
    u8 antloc, kill, antin, antout, unavin, unavout, earliest, afterread;
    u8 laterin, later, latest, isolin, isolout, insert, avin, avout;
    u8 writeup, flush, writein, writeout, dirtygen, dirtyin, dirtyout, exitwb;
    s4 last_kill;           // index of the block's last kill or flush point, -1 none
    u4 pad;
};
static_assert(sizeof(privatize_block_sets) == 24 * 8 + 8);

struct privatize_block_edges {
    u4* preds;
    u4* succs;
    u2 pred_count;
    u2 succ_count;
    s4 pseudo;              // block: its pseudo block; pseudo block: its block; 0 none
};
static_assert(sizeof(privatize_block_edges) == 16);

// ---------------------------------------------------------------------------
// One recorded change of a block.
// ---------------------------------------------------------------------------
struct privatize_edit {
    s4 candidate;
    u2 kind;                // PVE_*
    u2 pad;
    s4 position;            // instruction index, PV_AT_START or PV_AT_END
    s4 source_block;        // push of the object reference; -1 none; 0 one that must stay
    s4 source_index;
    s4 cache_local;
    s4 spare;
};
static_assert(sizeof(privatize_edit) == 28);

constexpr u2 PVE_SAVE = 0;          // bring the field's value into the cache local
constexpr u2 PVE_READ = 1;          // a read becomes a load of the cache local
constexpr u2 PVE_WRITE = 2;         // a written value into the cache local / write-back
constexpr u2 PVE_DEFER = 3;         // a write becomes a store to the cache local
constexpr s4 PV_AT_START = -1;
constexpr s4 PV_AT_END = 0x7fffffff;

constexpr u4 PV_MAX_CANDIDATES = 64;
constexpr u4 PV_BUCKETS = 67;

// What one instruction does, as the three phases see it.
struct pv_event {
    u1 access;              // PV_NO_ACCESS, PV_READ_ACCESS, PV_WRITE_ACCESS
    u1 full_kill;           // every cached value may be stale after it
    u1 full_flush;          // may throw or leave: memory must be current before it
    u1 recordable;          // a resolved, non-volatile access the analysis may cache
    s4 store_local;         // locals the instruction writes, -1 none
    s4 store_local2;
    s4 base;                // access: local of the object, -1 static, -2 other
    u4 type_code;
    fieldblock* fb;
    pv_slot object;         // access of an instance field: the object's slot
    u1 access_flush;        // the access itself may throw
    u1 pad[3];
};

constexpr u1 PV_NO_ACCESS = 0, PV_READ_ACCESS = 1, PV_WRITE_ACCESS = 2;

struct privatize_state {
    method_compile_context* m;
    dataflow_pass_context* pc;
    // Simulated operand stack of the block walk.
    pv_slot* stack;
    s4 depth;
    s4 capacity;
    s4 block;               // block being walked
    u8 nonnull;             // locals (below 64) known to hold non-null references
    u8 nonnull_at_start;    // the set a block starts with when nothing carries over
    bool instance_ok;       // fields of local 0 may be cached (it is `this` throughout)
    bool gave_up;           // an instruction form the pass does not take
    u1 pad_bools[2];
    // Candidates: the kept ones first (0 .. kept-1), then every other entry.
    field_cache_candidate* cand;
    s4 count;
    s4 capacity_cand;
    s4 kept;
    s4 buckets[PV_BUCKETS];
    u8 alias_summary;       // kept candidates whose field is also reached through another base
    // Placement dataflow.
    privatize_block_sets* sets;
    privatize_block_edges* edges;
    u4 real_blocks;
    u4 total_blocks;
    u4 alloc_blocks;
    u4* order;
    u4 order_count;
    u1* exit_pred;          // real blocks with an edge to the exit block
    u8 insert_union;
    u8 writeup_union;
    // Rewrite.
    privatize_edit* edits;
    u4 edit_count;
    u4 edit_capacity;
    bool in_place;
    u1 pad_rw[3];
    u4 new_length;
    s4 cache_locals;        // running count of cache-local slots
    u4 stack_growth;        // largest operand-stack need of an inserted sequence
    u2* weights;            // block weight cache, 0 = not computed
    u2* walk_preds;         // predecessors of each block in the walked graph
    u4 privatized;          // candidates that received a cache local
};

// ---- df_privatize.cpp: the block walk shared by the phases ---------------------
void pv_begin_block(privatize_state* st, u4 block, u4 prev_block);
void pv_step(privatize_state* st, quadruple** catbl, u4 index, pv_event* ev);
s4 privatize_lookup_candidate(privatize_state* st, s4 base, const fieldblock* fb);
u8 pv_alias_kills(privatize_state* st, s4 base, const fieldblock* fb);
u8 pv_local_kills(privatize_state* st, s4 local);
u8 pv_mask(s4 index);
bool pv_block_walked(const method_compile_context* m, u4 block);
extern const u1 pv_opcode_table[5][6];      // by type code: load, store, getfield, putfield, getstatic, putstatic

// ---- df_privatize_flow.cpp: block facts and the placement dataflow -----------
int privatize_local_facts(method_compile_context* m, privatize_state* st);
int privatize_solve(method_compile_context* m, privatize_state* st);

// ---- df_privatize_rewrite.cpp: the rewrite and the local renumbering ---------
int privatize_rewrite_method(method_compile_context* m, privatize_state* st);
void privatize_renumber_locals(method_compile_context* m, privatize_state* st);
// Every local operand of one instruction becomes map(local, args).
typedef u2 (*pv_local_map)(u4 local, const u4* args);
void pv_map_locals(quadruple* q, pv_local_map map, const u4* args);
// Writes to `out` the instructions that load the field of `e` (a field of
// `this`, base 0, or a static field, base -1) into `local`; answers their
// count (at most 3) and raises *stack_need to the operand-stack words used.
u4 pv_emit_cache_load(method_compile_context* m, const field_cache_candidate& e, s4 local, quadruple** out,
                      u4* stack_need);
// True when some instruction of a walked block stores into local 0.
bool local0_stored(const method_compile_context* m);

// Makes room for one more item in a pool array that doubles (64 at first).
template <typename T, typename N>
void privatize_make_room(work_pool* pool, T*& items, N& capacity, u4 count)
{
    if (count < static_cast<u4>(capacity))
        return;
    N cap = capacity == 0 ? 64 : capacity * 2;
    auto* grown = static_cast<T*>(jit_wmem_alloc(pool, static_cast<u4>(cap) * sizeof(T)));
    if (count > 0)
        memcpy(grown, items, count * sizeof(T));
    items = grown;
    capacity = cap;
}

#endif // ORVA_DATAFLOW_DF_PRIVATIZE_H
