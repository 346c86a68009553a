// Inline monitor enter and exit: the thin-lock fast paths written where a
// monitor quadruple stands, and the out-of-line slow paths (one record per
// fast path, emitted after the method body) that call the VM.
//
// Lock word (object + 4): low byte the object's own flags, bits 8..15 the
// recursion count (byte at object + 5), bits 16..31 the owner's thread id;
// the owning thread's EE holds id << 16 at EE_THIN_LOCK_ID.  Bit 31 set
// means an inflated monitor.  The word below the object carries the
// contention flag (bit 30, byte object - 1 bit 0x40).
#ifndef ORVA_CODEGEN_GEN_SYNC_H
#define ORVA_CODEGEN_GEN_SYNC_H

#include "codegen/cg_core.h"

// Slow-path kinds.
constexpr u4 SLOW_SYNC_ENTER = 0;        // monitor enter (both forms)
constexpr u4 SLOW_SYNC_REGION_EXIT = 1;  // exit of a synchronized region
constexpr u4 SLOW_SYNC_EXIT = 2;         // monitorexit

// Lock-word facts the fast paths encode.
constexpr s4 SYNC_LOCK_WORD = 4;          // object + 4
constexpr s4 SYNC_COUNT_BYTE = 5;         // recursion count
constexpr s4 SYNC_OWNER_HALF = 6;         // owner id, bits 16..31
constexpr s4 SYNC_CONTENTION_BYTE = -1;   // byte holding bit 30 of the word below the object
constexpr s4 SYNC_CONTENTION_BIT = 0x40;
constexpr s4 SYNC_EE_PENDING = 16;        // EE word: an exception is pending

// One slow path (40 bytes, compilation work pool; list head in
// method_code_info::slow_sync_state, newest first).
struct slow_sync_info {
    slow_sync_info* next;
    u2 obj_reg;              // object register id
    s2 ee_reg;               // EE register id, -1 when none
    s4 scratch_reg;          // scratch register id, -1 when none
    u1* first_site;          // just after the near jump taken when the contention flag is set; 0 none
    u4 kind;                 // SLOW_SYNC_*
    register_info* regs;     // register manager state at the fast path
    u1* second_site;         // just after the near jump into the slow path
    u1* return_address;      // where the fast path continues
    u4 live_mask;            // register-manager bits of the registers the sequence uses
    s2 sp_offset;            // stack offset at the fast path
    u2 pad;
};
static_assert(sizeof(slow_sync_info) == 40);
static_assert(offsetof(slow_sync_info, obj_reg) == 4);
static_assert(offsetof(slow_sync_info, ee_reg) == 6);
static_assert(offsetof(slow_sync_info, scratch_reg) == 8);
static_assert(offsetof(slow_sync_info, first_site) == 12);
static_assert(offsetof(slow_sync_info, kind) == 16);
static_assert(offsetof(slow_sync_info, regs) == 20);
static_assert(offsetof(slow_sync_info, second_site) == 24);
static_assert(offsetof(slow_sync_info, return_address) == 28);
static_assert(offsetof(slow_sync_info, live_mask) == 32);
static_assert(offsetof(slow_sync_info, sp_offset) == 36);

// The object is in eax, ecx or edx; the caller has written back eax, ecx,
// edx and the x87 registers.  Afterwards eax, ecx and edx hold nothing the
// register manager may rely on, except that the object's register (edx
// when it was eax for enter) still holds the object.
void gen_BBmonitor_enter(codegen_context* cg, u4 obj);
void gen_BBmonitor_exit(codegen_context* cg, u4 obj);

slow_sync_info* register_slow_sync(codegen_context* cg, u4 obj, s4 ee, s4 scratch, u1* first_site,
                                   u1* second_site, u1* return_address, u4 live_mask, u4 kind);
// init_slow_sync, gen_slow_sync_target: cg_core.h.

// Register-manager bit of a register id (eax 1, edx 2, ecx 4, ebx 8, ebp
// 0x10, esi 0x20, edi 0x40; 0 for others).
u4 sync_reg_bit(u4 reg);

#endif // ORVA_CODEGEN_GEN_SYNC_H
