// Records shared by the two halves of synchronization optimization
// (df_syncopt.cpp: nested regions; df_synchoist.cpp: loops): the monitor
// record, its site lists, the per-loop site lists and the pass state.
#ifndef ORVA_DATAFLOW_DF_SYNCOPT_H
#define ORVA_DATAFLOW_DF_SYNCOPT_H

#include <stddef.h>

#include "vm_abi.h"
#include "dataflow/df_records.h"

// One record per monitor index of the method.  A site word is one position
// (block in the low half, quadruple index in the high half) while its inline
// bit is set, else the head of an ascending `sync_pos_node` list (0 = none).
struct monitor_record {
    u4 flags;                   // MR_* bits
    s4 object;                  // local number, the enter's value word (MR_NOT_LOCAL), -1 once deleted
    u4 enter;                   // enter sites
    u4 exit;                    // exit sites
    u4 nullchecks;              // null-check sites of the object inside a loop
    u4 saved_local;             // the enter's lock-record local (first of a pair)
};
static_assert(sizeof(monitor_record) == 24);
static_assert(offsetof(monitor_record, flags) == 0);
static_assert(offsetof(monitor_record, object) == 4);
static_assert(offsetof(monitor_record, enter) == 8);
static_assert(offsetof(monitor_record, exit) == 12);
static_assert(offsetof(monitor_record, nullchecks) == 16);
static_assert(offsetof(monitor_record, saved_local) == 20);

constexpr u4 MR_ONE_ENTER        = 0x80000000;   // exactly one enter, held inline
constexpr u4 MR_ONE_EXIT         = 0x40000000;   // exactly one exit, held inline
constexpr u4 MR_ONE_NULLCHECK    = 0x20000000;   // exactly one null-check site, held inline
constexpr u4 MR_DELETED          = 0x10000000;
constexpr u4 MR_NOT_LOCAL        = 0x08000000;   // the object is not a local variable
constexpr u4 MR_NULLCHECK_IN_LOOP = 0x04000000;  // the object has a null check inside the loop

struct sync_pos_node {
    u4 pos;
    sync_pos_node* next;
};
static_assert(sizeof(sync_pos_node) == 8);

// A monitor quadruple met in a block of a loop.
struct sync_loop_site {
    sync_loop_site* next;
    u4 block;
    u4 index;
    u4 record;
};
static_assert(sizeof(sync_loop_site) == 16);

struct sync_state {
    monitor_record* records;
    u4 count;
    u4 order_count;             // the block visiting order
    u4* order;
    sync_loop_site** loop_enters;   // per loop index; null when the method has no loops
    sync_loop_site** loop_exits;
    u8* exit_sets;              // per block, over the first 64 records (null between loops)
    u8* enter_sets;
    u8* off_path_sets;
    u4 eliminated;              // nested regions removed
    u4 hoisted;                 // monitors taken out of loops
};

// The compile-context state in which nested regions are left alone: reaching
// definitions out of date, or no synchronized callee inlined yet.
constexpr u4 SYNC_ELIMINATION_OFF = MCC_REACHDEF_STALE | MCC_CREATED;

// df_syncopt.cpp
void* sync_node(method_compile_context* m, dataflow_pass_context* pc, u4 bytes);
void sync_add_site(method_compile_context* m, dataflow_pass_context* pc, monitor_record* r, u4 inline_bit, u4* site,
                   u4 pos);
int sync_reaches_avoiding(method_compile_context* m, u4 from, u4 target, u4 barrier);
int collect_monitor_sites(method_compile_context* m, dataflow_pass_context* pc, sync_state* st);
int eliminate_nested_monitors(method_compile_context* m, dataflow_pass_context* pc, sync_state* st);
int compact_monitor_records(method_compile_context* m, dataflow_pass_context* pc, sync_state* st);
u4** create_dominator_bv(method_compile_context* m, dataflow_pass_context* pc, const u4* order, u4 count);
u4** create_post_dominator_bv(method_compile_context* m, dataflow_pass_context* pc, const u4* order, u4 count);
int Isnot_same_bitvec(const u4* a, const u4* b, u4 bits);

// df_synchoist.cpp
int optimize_monitors_in_loops(method_compile_context* m, dataflow_pass_context* pc, sync_state* st);

#endif // ORVA_DATAFLOW_DF_SYNCOPT_H
