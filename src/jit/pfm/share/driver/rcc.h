// The committed-code record (`rcc`): one per compiled method (and one on the
// stack for each compile request in progress), kept in a balanced search tree
// keyed by code start.  Hand-written stubs and the frame iterator address the
// record through the published offsets, so the layout is pinned here and the
// offsets are also published as integer globals at start-up.
#ifndef ORVA_DRIVER_RCC_H
#define ORVA_DRIVER_RCC_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"

struct rcc {
    rcc* same_next;             // next record with the same code start (shares the node)
    s4 balance;                 // -1 left higher, 0 equal, +1 right higher
    u4 count;                   // records sharing this node (meaningful on the node)
    rcc* left;
    rcc* right;
    methodblock* mb;            // RCC_MB
    u1* start;                  // RCC_START: first byte of the code
    u1* end;                    // RCC_END: inclusive in lookups
    u4 flags;                   // RCC_F_*; reused as the unmarked-list link
    void* cp2imf;               // RCC_CP2IMF: inlined-method map or 0
    void* exc_cp2imf;           // RCC_EXC_CP2IMF: exception-path map or 0
    u4 md[3];                   // RCC_MD: compile record words 11, 12, 13
};

#define RCC_MB          20
#define RCC_START       24
#define RCC_END         28
#define RCC_FLAGS       32
#define RCC_CP2IMF      36
#define RCC_EXC_CP2IMF  40
#define RCC_MD          44
#define RCC_SIZE        56

static_assert(sizeof(rcc) == RCC_SIZE);
static_assert(offsetof(rcc, same_next) == 0);
static_assert(offsetof(rcc, balance) == 4);
static_assert(offsetof(rcc, count) == 8);
static_assert(offsetof(rcc, left) == 12);
static_assert(offsetof(rcc, right) == 16);
static_assert(offsetof(rcc, mb) == RCC_MB);
static_assert(offsetof(rcc, start) == RCC_START);
static_assert(offsetof(rcc, end) == RCC_END);
static_assert(offsetof(rcc, flags) == RCC_FLAGS);
static_assert(offsetof(rcc, cp2imf) == RCC_CP2IMF);
static_assert(offsetof(rcc, exc_cp2imf) == RCC_EXC_CP2IMF);
static_assert(offsetof(rcc, md) == RCC_MD);

constexpr u4 RCC_F_DELAYED_FREE = 0x1;  // queued for the delayed free
constexpr u4 RCC_F_MARKED       = 0x2;  // marked by mark_committed_code_by_pc

// Published layout facts (set by jit_init_register_committed_code).
extern s4 sizeof_rcc;
extern s4 rcc_mb_offset;
extern s4 rcc_start_offset;
extern s4 rcc_end_offset;
extern s4 rcc_cp2imf_offset;
extern s4 rcc_exc_cp2imf_offset;
extern s4 rcc_md_offset;

// Packed code-position table (`cp2imf`, `exc_cp2imf`) in code memory.
struct cp2imf_table {
    u4 width;                   // bytes per code offset: 0, 1, 2 or 4
    u4 count;                   // entries
    u1* offsets;                // = this + 12 + 4 * count
    u4 values[1];               // count values, then count offsets of `width` bytes
};
static_assert(offsetof(cp2imf_table, width) == 0);
static_assert(offsetof(cp2imf_table, count) == 4);
static_assert(offsetof(cp2imf_table, offsets) == 8);
static_assert(offsetof(cp2imf_table, values) == 12);

#endif // ORVA_DRIVER_RCC_H
