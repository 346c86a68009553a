// Code-generation context: the records every emitter of one method receives.
//
// `codegen_context` holds the output position, the pass (1 = measure, 2 =
// write), the running code size, the method and block being generated, the
// tables the code-generation driver carves for the method, the register
// manager's state and the instruction scheduler's window.  `method_code_info`
// collects what the emitters learn about the method's code as they go (used
// registers, the current stack offset, the code start, stub queues, the
// handler entry).  The driver builds one pair per compiled method in its own
// frame (the native-method glue builds its own pair); both die with the call.
//
// The scheduler's records (`cs_slot`, `cs_window`) live here too: the
// scheduling-aware emit layer fills the scratch slot that the context points
// to, and the scheduler moves the slots within its window.
//
// Nothing here has a constructor or destructor: the records live on frames a
// longjmp out of the compile may abandon.
#ifndef ORVA_CODEGEN_CONTEXT_H
#define ORVA_CODEGEN_CONTEXT_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"

typedef int16_t s2;

struct method_compile_context;   // the driver's record of one compilation
struct bbattr;                   // a basic block
struct sp_offset_info;           // one recorded stack-pointer change (method glue)
struct cs_window;
struct reg_manager;              // the register manager's state (reg_records.h)

// ---------------------------------------------------------------------------
// codegen_context.flags
// ---------------------------------------------------------------------------
constexpr u4 CG_SCHED_WINDOW_OPEN   = 0x01;        // a scheduling window is open
constexpr u4 CG_SCHED_OFF           = 0x10;        // instruction scheduling is off (always in pass 1)
constexpr u4 CG_FLOAT_SPECIAL_CONST = 0x100;       // the method uses a float special constant
constexpr u4 CG_FP_SPILL_ROUNDED    = 0x800;       // an x87 value was rounded through the spill area
constexpr u4 CG_DOUBLE_SPECIAL_CONST = 0x1000;     // the method uses a double special constant
constexpr u4 CG_FP_PRECISION_4      = 0x4000;      // x87 precision decision: 4 more frame bytes
constexpr u4 CG_FP_PRECISION_8      = 0x8000;      // x87 precision decision: 8 more frame bytes
constexpr u4 CG_FP_SPILL_ROUNDED_8  = 0x20000;     // rounding through the spill area, size other than 4
constexpr u4 CG_FP_SPILL_ROUNDED_4  = 0x40000;     // rounding through the spill area, size 4
constexpr u4 CG_KEEP_FLAGS          = 0x20000000;  // condition flags live: no flag-changing short forms

// Pass numbers of codegen_context.pass.
constexpr u2 CG_PASS_MEASURE = 1;
constexpr u2 CG_PASS_WRITE   = 2;

// Size of the pass-1 scratch area `code` points to while measuring; it must
// hold the longest single instruction any emitter writes in one piece.
constexpr u4 CG_PASS1_SCRATCH_SIZE = 16;

// ---------------------------------------------------------------------------
// Code-position list node: one attribution of a code offset to an inlined
// method frame (or an exception path).  Pushed at the head of one of the two
// lists of the context, in the compilation's main work pool.
// ---------------------------------------------------------------------------
struct cp_node {
    cp_node* next;
    u4 offset;   // position in the code buffer minus the method's code start
    u4 value;    // inlined-method frame entry that applies from that offset
};
static_assert(sizeof(cp_node) == 12);
static_assert(offsetof(cp_node, next) == 0);
static_assert(offsetof(cp_node, offset) == 4);
static_assert(offsetof(cp_node, value) == 8);

// ---------------------------------------------------------------------------
// Register-manager state inside the context.  Its inner layout belongs to the
// register manager; the emit layer reads only `fp_depth` (model register r is
// stack index depth - 1 - r).
// ---------------------------------------------------------------------------
struct reg_entry {
    u1 kind;        // what the register holds (0 = nothing)
    u1 type;        // operand type of the held value
    u2 flags;       // manager's per-entry bits (dirty, locked, ...)
    s4 index;       // variable or stack-slot number of the held operand
    u4 typeinfo;    // further type information of the held operand
};
static_assert(sizeof(reg_entry) == 12);
static_assert(offsetof(reg_entry, kind) == 0);
static_assert(offsetof(reg_entry, type) == 1);
static_assert(offsetof(reg_entry, flags) == 2);
static_assert(offsetof(reg_entry, index) == 4);
static_assert(offsetof(reg_entry, typeinfo) == 8);

constexpr int CG_INT_REGS = 7;   // manager indexes 0..6: eax edx ecx ebx ebp esi edi
constexpr int CG_FP_REGS  = 8;   // x87 model entries

struct reg_state {
    reg_entry int_reg[CG_INT_REGS];   // integer register entries, by manager index
    reg_entry fp_reg[CG_FP_REGS];     // x87 register entries, by model position
    u4 int_mask[2];                   // integer register masks (free, cached)
    u4 fp_mask[2];                    // x87 register masks (free, cached)
    s4 fp_depth;                      // current x87 stack depth of the model
    u4 cached_int;                    // cached-register word copied from a successor's state
    u4 cached_fp;                     // cached-register word copied from a successor's state
    reg_manager* rm;                  // the register manager's full state (work memory)
};
static_assert(sizeof(reg_state) == 12 * 15 + 4 * 8);
static_assert(offsetof(reg_state, int_reg) == 0);
static_assert(offsetof(reg_state, fp_reg) == 84);
static_assert(offsetof(reg_state, int_mask) == 180);
static_assert(offsetof(reg_state, fp_mask) == 188);
static_assert(offsetof(reg_state, fp_depth) == 196);
static_assert(offsetof(reg_state, cached_int) == 200);
static_assert(offsetof(reg_state, cached_fp) == 204);
static_assert(offsetof(reg_state, rm) == 208);

// ---------------------------------------------------------------------------
// method_code_info: what the emitters learn about the method's code.
// ---------------------------------------------------------------------------
struct method_code_info {
    u2 slot_count;                 // L + max operand-stack depth + 11, set at every block start
    u2 pad0;
    void* cp_table;                // code-position table (also kept in the compile context)
    void* iface_state;             // interface-call planner state
    void* guess_stub_head;         // first queued out-of-line interface-guess stub record
    void* guess_stub_end;          // end of that queue
    sp_offset_info* sp_list;       // stack-offset records; cleared before pass 2
    u1* code_start;                // first byte of the method's code buffer (pass 2)
    u1 used_regs;                  // used-register bits of every register the code names
    u1 saved_regs;                 // callee-saved registers the prologue saves
    u1 saved_count;                // how many: 4 in pass 1, the count of saved_regs in pass 2
    u1 search_state[2];            // register search state, set at every block start
    u1 pad1;
    s2 sp_offset;                  // current stack offset in bytes from the frame base (negative below)
    u1 int_arg_words;              // integer-class argument words of the method
    u1 reg_linkage;                // 1: at most 3 integer argument words and no float/double argument
    u2 pad2;
    u4 fp_pop_pending;             // pop the x87 stack at block end; cleared at every block start
    void* slot_list;               // small record allocated with this one
    u4 glue_word;                  // method glue and data table
    u4 slow_sync_state;            // slow synchronisation planner
    u4 cha_lists[3];               // class-hierarchy patch lists
    u4* handler_entry_slot;        // word receiving the address of the jump to the common handler
    u1* handler_entry;             // address of that jump
};
static_assert(sizeof(method_code_info) == 76);
static_assert(offsetof(method_code_info, slot_count) == 0);
static_assert(offsetof(method_code_info, cp_table) == 4);
static_assert(offsetof(method_code_info, iface_state) == 8);
static_assert(offsetof(method_code_info, guess_stub_head) == 12);
static_assert(offsetof(method_code_info, guess_stub_end) == 16);
static_assert(offsetof(method_code_info, sp_list) == 20);
static_assert(offsetof(method_code_info, code_start) == 24);
static_assert(offsetof(method_code_info, used_regs) == 28);
static_assert(offsetof(method_code_info, saved_regs) == 29);
static_assert(offsetof(method_code_info, saved_count) == 30);
static_assert(offsetof(method_code_info, search_state) == 31);
static_assert(offsetof(method_code_info, sp_offset) == 34);
static_assert(offsetof(method_code_info, int_arg_words) == 36);
static_assert(offsetof(method_code_info, reg_linkage) == 37);
static_assert(offsetof(method_code_info, fp_pop_pending) == 40);
static_assert(offsetof(method_code_info, slot_list) == 44);
static_assert(offsetof(method_code_info, glue_word) == 48);
static_assert(offsetof(method_code_info, slow_sync_state) == 52);
static_assert(offsetof(method_code_info, cha_lists) == 56);
static_assert(offsetof(method_code_info, handler_entry_slot) == 68);
static_assert(offsetof(method_code_info, handler_entry) == 72);

// ---------------------------------------------------------------------------
// codegen_context
// ---------------------------------------------------------------------------
struct codegen_context {
    u4 flags;                      // CG_* bits above
    u4 word1;                      // cleared when the driver sets the context up
    u1* code;                      // pass 2: next byte to write; pass 1: the scratch area, never advanced
    cp_node* cp_list_aux;          // exception-path code-position list; cleared before pass 2
    cp_node* cp_list;              // inlined-method code-position list; cleared before pass 2
    cs_window* cs;                 // scheduler state, present only when scheduling is on
    methodblock* mb;               // the method being compiled
    method_compile_context* m;     // its compile context
    bbattr** bbtable;              // block table
    void** loop_table;             // loop records, indexed by a block's loop index
    void* backpatch_cursor;        // next free back-patch record; reset before pass 2
    u4* bb_address;                // block address table: 2 words per block
    s4 cur_bb;                     // block being generated; 0 outside blocks
    s4 cur_quad;                   // quadruple being generated within the block
    s4 branch_quad;                // compare-and-branch quadruple being generated
    s2 quad_start;                 // 1 before each quadruple's generator runs
    u2 pad0;
    u4 code_size;                  // pass 1: bytes so far; after pass 1 the total
    u2 pass;                       // CG_PASS_MEASURE or CG_PASS_WRITE
    u1 spset_done;                 // stack-pointer set-up of the current call sequence emitted
    u1 pad1;
    reg_state regs;                // register manager's words
    u4* local_table;               // one word per local variable
    s4 frame_locals;               // locals that keep a frame slot after compaction
    void* link_table;              // block link records, one per block
    s2* tick_pos;                  // per-local last-definition positions
    s2* tick_val;                  // per-local last-definition values
    void* bb_scratch;              // driver-frame record; first word -1 at every block start
    method_code_info* mci;         // the method's code information
};
static_assert(offsetof(codegen_context, flags) == 0);
static_assert(offsetof(codegen_context, word1) == 4);
static_assert(offsetof(codegen_context, code) == 8);
static_assert(offsetof(codegen_context, cp_list_aux) == 12);
static_assert(offsetof(codegen_context, cp_list) == 16);
static_assert(offsetof(codegen_context, cs) == 20);
static_assert(offsetof(codegen_context, mb) == 24);
static_assert(offsetof(codegen_context, m) == 28);
static_assert(offsetof(codegen_context, bbtable) == 32);
static_assert(offsetof(codegen_context, loop_table) == 36);
static_assert(offsetof(codegen_context, backpatch_cursor) == 40);
static_assert(offsetof(codegen_context, bb_address) == 44);
static_assert(offsetof(codegen_context, cur_bb) == 48);
static_assert(offsetof(codegen_context, cur_quad) == 52);
static_assert(offsetof(codegen_context, branch_quad) == 56);
static_assert(offsetof(codegen_context, quad_start) == 60);
static_assert(offsetof(codegen_context, code_size) == 64);
static_assert(offsetof(codegen_context, pass) == 68);
static_assert(offsetof(codegen_context, spset_done) == 70);
static_assert(offsetof(codegen_context, regs) == 72);
static_assert(offsetof(codegen_context, local_table) == 72 + sizeof(reg_state));
static_assert(offsetof(codegen_context, frame_locals) == 76 + sizeof(reg_state));
static_assert(offsetof(codegen_context, link_table) == 80 + sizeof(reg_state));
static_assert(offsetof(codegen_context, tick_pos) == 84 + sizeof(reg_state));
static_assert(offsetof(codegen_context, tick_val) == 88 + sizeof(reg_state));
static_assert(offsetof(codegen_context, bb_scratch) == 92 + sizeof(reg_state));
static_assert(offsetof(codegen_context, mci) == 96 + sizeof(reg_state));
static_assert(sizeof(codegen_context) == 100 + sizeof(reg_state));

// ---------------------------------------------------------------------------
// Instruction scheduler records.
//
// A slot holds one encoded instruction with what it reads, writes and needs;
// a stage (issue group) is 2 slots, or 3 on processor class 5; the window is
// a ring of 8 pending stages.  Slots move by pointer, never by copy, so a
// pointer into a pending slot's bytes (a jump displacement) stays valid until
// the slot is flushed.
// ---------------------------------------------------------------------------

// Resource bits of the read, address and write sets: the used-register bits
// of the registers (x86_defs.h), plus these two.
constexpr u4 CS_RES_FLAGS = 0x100;   // condition flags
constexpr u4 CS_RES_X87   = 0x200;   // the x87 stack
constexpr u4 CS_RES_MEMORY = 0x400; // memory: loads read it, stores write it

// Slot attribute bits (the memory operand's attribute word, or the values the
// emit layer sets).  0 marks an empty slot.
constexpr u4 CS_ATTR_NO_MEMORY  = 0x100;        // exactly this value: no memory operand, pairs freely
constexpr u4 CS_ATTR_MEM_KIND   = 0x1E;         // memory kind bits; 0x02, 0x04, 0x08 are data accesses
constexpr u4 CS_ATTR_MEM_READ   = 0x01;         // pairing rule bit: reads memory
constexpr u4 CS_ATTR_PAIR_A     = 0x08;         // pairing rule bit
constexpr u4 CS_ATTR_PAIR_B     = 0x10;         // pairing rule bit
constexpr u4 CS_ATTR_NO_SPLIT   = 0x80;         // no free integer register: not splittable
constexpr u4 CS_ATTR_PAIR_C     = 0x01000000;   // pairing rule bit
constexpr u4 CS_ATTR_SERIAL     = 0x10000000;   // branch or divide: never two in one stage
constexpr u4 CS_ATTR_KEEP_ORDER = 0x20000000;   // placed after the newest stage's last occupied slot

constexpr int CS_STAGES = 8;                    // pending stages in the ring
constexpr int CS_MAX_WIDTH = 3;                 // slots per stage on processor class 5
constexpr int CS_SLOTS = CS_STAGES * CS_MAX_WIDTH + 1;   // plus the first scratch slot
constexpr u4 CS_SLOT_BYTES = 32;

struct cs_slot {
    u4 read;                 // resources read
    u4 addr;                 // base and index registers of the memory operand
    u4 write;                // resources written
    u4 cls;                  // pairing class (low 16 bits; upper half: class-5 pairing)
    s4 latency;              // stages during which its results are in flight
    u4 attr;                 // 0 = empty; else the attribute bits above
    s4 disp;                 // displacement of the memory operand
    u4 length;               // encoded bytes
    u1 bytes[CS_SLOT_BYTES]; // the encoded instruction
    u1* jmp_patch;           // jump displacement inside `bytes` to re-target, or null
    cp_node* cp_ref;         // code-position node to correct with the start, or null
    sp_offset_info* sp_ref;  // stack-offset record to correct with the end, or null
};
static_assert(sizeof(cs_slot) == 76);
static_assert(offsetof(cs_slot, read) == 0);
static_assert(offsetof(cs_slot, addr) == 4);
static_assert(offsetof(cs_slot, write) == 8);
static_assert(offsetof(cs_slot, cls) == 12);
static_assert(offsetof(cs_slot, latency) == 16);
static_assert(offsetof(cs_slot, attr) == 20);
static_assert(offsetof(cs_slot, disp) == 24);
static_assert(offsetof(cs_slot, length) == 28);
static_assert(offsetof(cs_slot, bytes) == 32);
static_assert(offsetof(cs_slot, jmp_patch) == 64);
static_assert(offsetof(cs_slot, cp_ref) == 68);
static_assert(offsetof(cs_slot, sp_ref) == 72);

struct cs_window {
    s4 ring_start;                               // stage number (0..7) of the oldest pending stage
    s4 pending;                                  // pending stages, 0..8
    u4 busy[CS_STAGES];                          // per stage: resources still in flight
    u1* output;                                  // where the next flushed byte goes
    cs_slot* stage[CS_STAGES][CS_MAX_WIDTH];     // per stage, its slots (2 or 3 used)
    cs_slot slots[CS_SLOTS];                     // the slot records
    cs_slot* scratch;                            // the slot the emit layer encodes into next
};
static_assert(offsetof(cs_window, ring_start) == 0);
static_assert(offsetof(cs_window, pending) == 4);
static_assert(offsetof(cs_window, busy) == 8);
static_assert(offsetof(cs_window, output) == 40);
static_assert(offsetof(cs_window, stage) == 44);
static_assert(offsetof(cs_window, slots) == 44 + 4 * CS_STAGES * CS_MAX_WIDTH);
static_assert(offsetof(cs_window, scratch) == 140 + sizeof(cs_slot) * CS_SLOTS);
static_assert(sizeof(cs_window) == 144 + sizeof(cs_slot) * CS_SLOTS);

#endif // ORVA_CODEGEN_CONTEXT_H
