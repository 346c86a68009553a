// Records of the register manager, its status bits and register tables, and
// the one place where it reads fields of other subsystems' records.
//
// The manager keeps one current register state per compilation (hung on the
// code-generation context as `cg->regs.rm`) and one saved `register_info`
// per block.  Integer registers are numbered 0..6 (eax edx ecx ebx ebp esi
// edi); x87 registers are slots 0..7 of a ring named by counter values: the
// live slots are the counter values bottom .. top - 1, st(0) is top - 1 and
// counter c lives in slot c mod 8.  The current top counter is the emit
// layer's x87 depth (`cg->regs.fp_depth`), so an emitter given a counter value
// r writes st(top - 1 - r); the current cache counts are the context's two
// cached-register words.
//
// Every register carries ten status bits kept as ten masks (mask k holds bit
// k of every register); a register's status word packs them (bit k = its bit
// in mask k).
//
// Fields of the block, loop and compile-context records that the front end,
// the dataflow passes and the loop optimizer fill but that their headers do
// not name yet are read through the accessors at the end of this file, and
// only there.
#ifndef ORVA_CODEGEN_REG_RECORDS_H
#define ORVA_CODEGEN_REG_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#include "codegen/codegen.h"
#include "codegen/memop.h"
#include "driver/compile_context.h"
#include "frontend/bb.h"
#include "frontend/quad.h"
#include "loop/loop_records.h"

typedef uint64_t u8;

// ---------------------------------------------------------------------------
// Register numbers and tables
// ---------------------------------------------------------------------------
constexpr int RM_INT_REGS = 7;          // manager numbers 0..6
constexpr int RM_FP_SLOTS = 8;          // x87 ring slots 0..7
constexpr int RM_STATUS_BITS = 10;
constexpr u4 RM_ALL_INT = 0x7F;         // every allocatable integer register
constexpr u4 RM_ALL_FP = 0xFF;
constexpr u4 RM_KILL_REGS = 0x07;       // eax, edx, ecx: destroyed by a call
constexpr int RM_EAX = 0, RM_EDX = 1, RM_ECX = 2, RM_EBX = 3, RM_EBP = 4, RM_ESI = 5, RM_EDI = 6;

// Manager number to emitter register id (the eighth entry: none).
constexpr s4 int_reg_to_ia32[8] = {GR_EAX, GR_EDX, GR_ECX, GR_EBX, GR_EBP, GR_ESI, GR_EDI, -1};
// Emitter register id 0..8 to the manager's mask bit (esp 0x80: never allocated).
constexpr u4 ia32_to_int_reg_bit[9] = {0, 0x01, 0x02, 0x04, 0x08, 0x80, 0x10, 0x20, 0x40};
// The two top bits of a register number are flags, masked off before a lookup.
constexpr u4 RM_REG_FLAG_MASK = 0x3FFFFFFF;

// ---------------------------------------------------------------------------
// Status bits (bit k of a status word = the register's bit in mask k)
// ---------------------------------------------------------------------------
constexpr int RS_ASSIGNED = 0;   // has held a value in this block
constexpr int RS_BUSY = 1;       // not free (a cached local or constant stays busy after release)
constexpr int RS_LOCKED = 2;     // in use by the quadruple being generated: never spilled
constexpr int RS_VALID = 3;      // the entry's value is live
constexpr int RS_PENDING = 4;    // assigned at block entry, load not emitted yet (lazy load)
constexpr int RS_DIRTY = 5;      // newer than the operand's home
constexpr int RS_CONST = 6;      // holds a constant
constexpr int RS_NOVALUE = 7;    // assigned at block entry without a value yet
constexpr int RS_BIT8 = 8;       // carried and compared only
constexpr int RS_BIT9 = 9;       // carried and compared only

constexpr u4 SW(int bit) { return 1u << bit; }
constexpr u4 SW_ALL = 0x3FF;
constexpr u4 SW_1_TO_9 = 0x3FE;              // every bit but "assigned"
constexpr u4 SW_2_TO_9 = 0x3FC;
constexpr u4 SW_SAME_MASK = 0xFF7E;          // state comparison ignores assigned and no-value

// ---------------------------------------------------------------------------
// Operand kinds and types of `reg_operand` and `register_entry`
// ---------------------------------------------------------------------------
constexpr u1 RK_NONE = 0, RK_LOCAL = 'L', RK_STACK = 'S', RK_CONST = 'C', RK_XCONST = 'X',
             RK_YCONST = 'Y', RK_TEMP = 'R', RK_ADDR = 'A';
constexpr u1 RT_INT = 'I', RT_REF = 'O', RT_INT1 = '1', RT_INT2 = '2', RT_FLOAT = 'F', RT_DOUBLE = 'D';

inline bool rk_is_const(int k) { return k == RK_CONST || k == RK_XCONST || k == RK_YCONST; }
inline bool rt_is_int_class(int t) { return t == RT_INT || t == RT_REF || t == RT_INT1 || t == RT_INT2; }
inline bool rt_is_fp(int t) { return t == RT_FLOAT || t == RT_DOUBLE; }

// ---------------------------------------------------------------------------
// One register's association: a copy of the first three words of the operand
// descriptor it holds.  Empty: kind 0, type 0, index -1.
// ---------------------------------------------------------------------------
struct register_entry {
    u1 kind;              // RK_*
    u1 type;              // RT_*
    u2 second;            // 'S': the slot's place in the frame
    s4 index;             // local, stack slot, constant value, or own register number ('R')
    quad_operand* opnd;   // the quadruple operand (byte 4: preferred registers)
};
static_assert(sizeof(register_entry) == 12);
static_assert(offsetof(register_entry, kind) == 0);
static_assert(offsetof(register_entry, type) == 1);
static_assert(offsetof(register_entry, second) == 2);
static_assert(offsetof(register_entry, index) == 4);
static_assert(offsetof(register_entry, opnd) == 8);

// ---------------------------------------------------------------------------
// Candidate records (loops and tiles) and constant records
// ---------------------------------------------------------------------------
struct local_usage_entry {
    u4 local;     // local number (candidate tables only)
    u4 attr;      // LU_* attribute bits
    s4 count;     // weighted use count
    u4 spare;
};
static_assert(sizeof(local_usage_entry) == 16);
static_assert(offsetof(local_usage_entry, local) == 0);
static_assert(offsetof(local_usage_entry, attr) == 4);
static_assert(offsetof(local_usage_entry, count) == 8);
static_assert(offsetof(local_usage_entry, spare) == 12);

constexpr u4 LU_INT = 0x1;               // used as an int
constexpr u4 LU_WORD = 0x2;              // other one-word integer-class value
constexpr u4 LU_REF_A = 0x4;             // reference facts
constexpr u4 LU_REF_B = 0x8;
constexpr u4 LU_LONG_LO = 0x20;          // low word of a long
constexpr u4 LU_LONG_HI = 0x40;          // high word of a long
constexpr u4 LU_INT_CLASS = 0x63;        // integer-class candidate
constexpr u4 LU_USED_INT_CACHE = 0x6F;   // bits that make a cached integer local "used" by a block
constexpr u4 LU_FLOAT = 0x400;
constexpr u4 LU_DOUBLE_LO = 0x800;
constexpr u4 LU_DOUBLE_HI = 0x1000;
constexpr u4 LU_FP_CLASS = 0x1C00;
constexpr u4 LU_NEVER = 0x08000000;      // never a register candidate
constexpr u4 LU_READ = 0x10000000;       // read in the region
constexpr u4 LU_WRITTEN = 0x20000000;    // written in the region
constexpr u4 LU_FIRST_READ = 0x40000000;
constexpr u4 LU_FIRST_WRITE = 0x80000000;

struct const_usage_entry {
    u4 kind;      // kind word: bits 16-19 the operand kind (3..6), low bits type (0x400 float, 0x800 double)
    s4 count;
    u4 value;
    u4 block;     // block where it was first seen
};
static_assert(sizeof(const_usage_entry) == 16);
static_assert(offsetof(const_usage_entry, kind) == 0);
static_assert(offsetof(const_usage_entry, count) == 4);
static_assert(offsetof(const_usage_entry, value) == 8);
static_assert(offsetof(const_usage_entry, block) == 12);

constexpr int RM_CONST_TABLE_ENTRIES = 4;

// A tile: a run of blocks the manager treats as one region (record k - 1
// describes tile k).  Before code generation the pipeline ORs facts of the
// tile's blocks into the first bytes (and a 16-bit value at offset 4).
struct tile_record {
    u2 flags;                      // TR_* (0 when made)
    u1 flag_byte2;                 // TR2_* (0 when made)
    u1 flag_byte3;
    u4 tile;                       // tile number, from 1 (the pipeline may overwrite its low half)
    local_usage_entry* int_cands;  // integer candidate table
    local_usage_entry* fp_cands;   // floating candidate table
    u2 int_count;
    u2 fp_count;
    u2 zero;
    u2 unset;
};
static_assert(sizeof(tile_record) == 24);
static_assert(offsetof(tile_record, flags) == 0);
static_assert(offsetof(tile_record, flag_byte2) == 2);
static_assert(offsetof(tile_record, tile) == 4);
static_assert(offsetof(tile_record, int_cands) == 8);
static_assert(offsetof(tile_record, fp_cands) == 12);
static_assert(offsetof(tile_record, int_count) == 16);
static_assert(offsetof(tile_record, fp_count) == 18);
static_assert(offsetof(tile_record, zero) == 20);

constexpr u2 TR_HANDLER_BLOCK = 0x8000;     // a block of the tile is covered by a handler
constexpr u1 TR2_HOLDS_CALL = 0x08;         // a block of the tile holds a call (BB2_HOLDS_CALL): no x87 candidates

// The register manager's side record of one loop nest (an array indexed by
// loop number, hung on the compile context).  The nest's candidate tables and
// counts live in the loop record itself (`lvattr_table`, `lvattr_table2`).
struct loop_reg_info {
    u4 live_in[2];                 // live-in set of locals (form of a block's)
    s2 fig[4];                     // register figures F1..F4
    u2 const_count;
    u1 flags2;                     // LR2_* bits
    u1 pad;
    const_usage_entry* const_table;   // 4 entries
};
static_assert(sizeof(loop_reg_info) == 24);
static_assert(offsetof(loop_reg_info, live_in) == 0);
static_assert(offsetof(loop_reg_info, fig) == 8);
static_assert(offsetof(loop_reg_info, const_count) == 16);
static_assert(offsetof(loop_reg_info, flags2) == 18);
static_assert(offsetof(loop_reg_info, const_table) == 20);

constexpr u1 LR2_LIVE_COPIED = 0x40;     // cleared by initialize_reg_alloc

// ---------------------------------------------------------------------------
// Block register state.  The full form holds everything of the current
// state; the short form (kill-register save area) only entries and masks,
// its initial fields zero and its initial entry areas absent.
// ---------------------------------------------------------------------------
struct register_info {
    register_entry* ient;          // its own 7 integer entries
    register_entry* fent;          // its own 8 x87 entries
    u4 imask[RM_STATUS_BITS];      // integer status masks
    u4 fmask[RM_STATUS_BITS];      // x87 status masks
    register_entry* init_ient;     // block-entry copies (full form only)
    register_entry* init_fent;
    u4 init_imask[RM_STATUS_BITS];
    u4 init_fmask[RM_STATUS_BITS];
    s4 int_cache_count;            // integer registers given to cached locals at block entry
    s4 fp_cache_count;             // x87 slots at the bottom holding cached locals at block entry
    s4 int_stack_count;            // Java operand-stack slots known in integer registers
    s4 fp_stack_count;             // the same on the x87 stack
    s4 fp_top;                     // x87 top counter
    s4 fp_bottom;                  // x87 bottom counter
    local_usage_entry* int_map;    // candidate table of the block's loop or tile
    local_usage_entry* fp_map;
    s4 int_map_count;              // -1 when cleared
    s4 fp_map_count;
    register_entry ient_area[RM_INT_REGS];
    register_entry fent_area[RM_FP_SLOTS];
    register_entry init_ient_area[RM_INT_REGS];
    register_entry init_fent_area[RM_FP_SLOTS];
};
static_assert(offsetof(register_info, ient) == 0);
static_assert(offsetof(register_info, fent) == 4);
static_assert(offsetof(register_info, imask) == 8);
static_assert(offsetof(register_info, fmask) == 48);
static_assert(offsetof(register_info, init_ient) == 88);
static_assert(offsetof(register_info, init_fent) == 92);
static_assert(offsetof(register_info, init_imask) == 96);
static_assert(offsetof(register_info, init_fmask) == 136);
static_assert(offsetof(register_info, int_cache_count) == 176);
static_assert(offsetof(register_info, fp_cache_count) == 180);
static_assert(offsetof(register_info, int_stack_count) == 184);
static_assert(offsetof(register_info, fp_stack_count) == 188);
static_assert(offsetof(register_info, fp_top) == 192);
static_assert(offsetof(register_info, fp_bottom) == 196);
static_assert(offsetof(register_info, int_map) == 200);
static_assert(offsetof(register_info, fp_map) == 204);
static_assert(offsetof(register_info, int_map_count) == 208);
static_assert(offsetof(register_info, fp_map_count) == 212);
static_assert(offsetof(register_info, ient_area) == 216);
static_assert(offsetof(register_info, fent_area) == 300);
static_assert(offsetof(register_info, init_ient_area) == 396);
static_assert(offsetof(register_info, init_fent_area) == 480);
static_assert(sizeof(register_info) == 576);
constexpr u4 REGISTER_INFO_SHORT_SIZE = offsetof(register_info, init_ient_area);

// ---------------------------------------------------------------------------
// The current state.  `cur` is a full-form register_info whose fp_top and
// cache counts are not used: the current top counter is cg->regs.fp_depth and
// the current cache counts are cg->regs.cached_int / cached_fp.
// ---------------------------------------------------------------------------
struct reg_manager {
    register_info cur;
    s4 pushed_words;       // words pushed by the manager's push emitters, less pops
    s4 fp_spill_count;     // x87 entries spilled to the operand stack
    work_pool* pool;       // where states are allocated (the compile context's first pool)
};

// ---------------------------------------------------------------------------
// Status-mask helpers
// ---------------------------------------------------------------------------
inline u4 sw_get(const u4* m, int r)
{
    u4 w = 0;
    for (int k = 0; k < RM_STATUS_BITS; k++)
        w |= ((m[k] >> r) & 1u) << k;
    return w;
}
inline void sw_put(u4* m, int r, u4 w)
{
    for (int k = 0; k < RM_STATUS_BITS; k++) {
        if ((w >> k) & 1u)
            m[k] |= 1u << r;
        else
            m[k] &= ~(1u << r);
    }
}
inline void sw_set(u4* m, int r, u4 bits)
{
    for (int k = 0; k < RM_STATUS_BITS; k++)
        if ((bits >> k) & 1u)
            m[k] |= 1u << r;
}
inline void sw_clear(u4* m, int r, u4 bits)
{
    for (int k = 0; k < RM_STATUS_BITS; k++)
        if ((bits >> k) & 1u)
            m[k] &= ~(1u << r);
}
inline bool sw_has(const u4* m, int r, int bit) { return ((m[bit] >> r) & 1u) != 0; }

inline void entry_clear(register_entry* e)
{
    e->kind = 0;
    e->type = 0;
    e->index = -1;
}
inline void entry_from_operand(register_entry* e, const reg_operand* op)
{
    e->kind = (u1)op->kind;
    e->type = (u1)op->type;
    e->second = op->aux;
    e->index = (s4)op->value;
    e->opnd = op->source;
}
inline void operand_from_entry(reg_operand* op, const register_entry* e)
{
    op->kind = (char)e->kind;
    op->type = (char)e->type;
    op->aux = e->second;
    op->value = (u4)e->index;
    op->source = e->opnd;
}
// Kind and type (one 16-bit unit) and index equal.
inline bool entry_matches(const register_entry* e, const reg_operand* op)
{
    return e->kind == (u1)op->kind && e->type == (u1)op->type && e->index == (s4)op->value;
}
inline bool entries_match(const register_entry* a, const register_entry* b)
{
    return a->kind == b->kind && a->type == b->type && a->index == b->index;
}

// Slot of an x87 counter value.
inline int fp_slot(s4 c) { return (int)(((c % 8) + 8) % 8); }

// ---------------------------------------------------------------------------
// Access to the current state
// ---------------------------------------------------------------------------
inline reg_manager* RM(codegen_context* cg) { return cg->regs.rm; }
inline register_info* CUR(codegen_context* cg) { return &cg->regs.rm->cur; }
inline s4& fp_top(codegen_context* cg) { return cg->regs.fp_depth; }
inline s4& fp_bottom(codegen_context* cg) { return cg->regs.rm->cur.fp_bottom; }
inline s4& int_cache_count(codegen_context* cg) { return *reinterpret_cast<s4*>(&cg->regs.cached_int); }
inline s4& fp_cache_count(codegen_context* cg) { return *reinterpret_cast<s4*>(&cg->regs.cached_fp); }

// ---------------------------------------------------------------------------
// Fields of other subsystems' records.  Block words that `bb.h` reserves for
// "register state and loop data" (later_108) are assigned here:
//   [0] the block's entry register_info      [1] jump-target cache word
//   [5],[6] live-in set                       [7],[8] live-out set
//   [9] per-local 16-bit distance array       ([3],[4] and [13] are others')
// The lvattr list is the block's later_52 (its count later_56), as the
// dataflow driver clears them.  Compile-context words: regman_words[0..1]
// the handler-used locals set; pass_word the live-information pointer;
// loop_regman_words[0] the register-locals count (low 16 bits), [1] the tile
// count; the last words of `reserved` the fields named below (mcc_tail).
// ---------------------------------------------------------------------------
constexpr u4 BB_IN_LOOP = 1;                         // (flags & 3) == 1
constexpr u4 BB_HANDLER_COVERED = 0x20000;           // third flag byte 0x02: inside a try range
constexpr u4 BB_NO_DEFAULT_ASSIGN = 0x20000000;      // fourth flag byte 0x20
constexpr u4 BB_EMPTY_DEFAULT = 0x1000;              // second flag byte 0x10: empty default state
constexpr u4 BB2_NO_TRANSFER_DIRT = 0x04;            // second flag word 0x04 (BB_reg_finalize)
constexpr u4 BB2_DROP_DEAD_ON_JOIN = 0x40;           // second flag word 0x40 (BB_reg_finalize)
constexpr u4 BB2_NO_SPILL_MOVE = 0x01;               // second flag word 0x01: spill without moving
constexpr u4 BB2_CONST_NOT_DIRTY = 0x400;            // sixth flag byte 0x04
constexpr u4 BB2_INTERFERE_AT_ENTRY = 0x1000;        // treated like BB_HANDLER by the colouring

inline bool bb_in_loop(const bbattr* b) { return (b->flags & BB_KIND_MASK) == BB_IN_LOOP; }
inline register_info* bb_reginfo(const bbattr* b) { return reinterpret_cast<register_info*>((uintptr_t)b->later_108[0]); }
inline void bb_set_reginfo(bbattr* b, register_info* ri) { b->later_108[0] = (u4)(uintptr_t)ri; }
inline s4& bb_jump_target(bbattr* b) { return *reinterpret_cast<s4*>(&b->later_108[1]); }
inline u4* bb_live_in(bbattr* b) { return &b->later_108[5]; }
inline u4* bb_live_out(bbattr* b) { return &b->later_108[7]; }
inline s2* bb_distance(const bbattr* b) { return reinterpret_cast<s2*>((uintptr_t)b->later_108[9]); }
inline void bb_set_distance(bbattr* b, s2* d) { b->later_108[9] = (u4)(uintptr_t)d; }
inline u4* bb_reg_lvattr(const bbattr* b) { return reinterpret_cast<u4*>((uintptr_t)b->later_52); }
inline void bb_set_reg_lvattr(bbattr* b, u4* list) { b->later_52 = (u4)(uintptr_t)list; }
inline u4& bb_reg_lvattr_count(bbattr* b) { return b->later_56; }
inline u4 bb_edge_count(const bbattr* b) { return b->pred_count; }
inline local_usage_entry* bb_usage_table(const bbattr* b) { return static_cast<local_usage_entry*>(b->var_table); }
inline const_usage_entry* bb_const_table(const bbattr* b) { return static_cast<const_usage_entry*>(b->cand_table); }
inline s2 bb_fig(const bbattr* b, int k)
{
    switch (k) {
    case 0: return b->max_int_height;
    case 1: return (s2)b->stack_word;
    case 2: return b->max_float_height;
    default: return b->min_float_height;
    }
}

// The quadruple's register-hint byte (a mask in manager numbering).
inline u1 quad_reg_hint(const quadruple* q) { return q->byte81; }
// Preferred registers of an operand's quadruple operand (byte 4).
inline u1 opnd_pref(const quad_operand* o) { return o ? o->reg : 0; }

// Compile-context flags as the manager reads them.
constexpr u4 MCC_TRANSFER_COMPILE = MCC_MMI2JIT;     // "top bit": the state word read as s16
constexpr u4 MCC_NO_LOCAL_REGS = 0x80000000;         // bit 31: no local lives in a register
constexpr u4 MCC_ALL_LOCALS_EH = MCC_LIVENESS_UNAVAILABLE;       // third byte 0x04: every local is handler-used
constexpr u4 MCC_NO_LOOP_LIVE_COPY = MCC_LIVENESS_UNAVAILABLE;   // bit 18: skip the loop live-in copy
constexpr u4 MCC_NO_TICKS = MCC_MEANTIME_ABSENT;                 // bit 21 / third byte 0x20: no tick arrays

inline method_compile_context* MCC(codegen_context* cg) { return cg->m; }
inline bool all_locals_eh(codegen_context* cg) { return (cg->m->state_flags & MCC_ALL_LOCALS_EH) != 0; }
inline int mcc_nlocals(const method_compile_context* m) { return m->local_count; }
inline u4* mcc_eh_set(method_compile_context* m) { return &m->regman_words[0]; }
inline void mcc_set_live_info(method_compile_context* m, void* p) { m->pass_word = (u4)(uintptr_t)p; }
inline u2 mcc_reg_locals(const method_compile_context* m) { return (u2)m->loop_regman_words[0]; }
inline void mcc_set_reg_locals(method_compile_context* m, u2 v) { m->loop_regman_words[0] = v; }
inline u4& mcc_tile_count(method_compile_context* m) { return m->loop_regman_words[1]; }
inline tile_record* mcc_tiles(const method_compile_context* m) { return reinterpret_cast<tile_record*>(m->tile_table); }
inline void mcc_set_tiles(method_compile_context* m, tile_record* t) { m->tile_table = reinterpret_cast<u1*>(t); }

inline u4& mcc_tail(method_compile_context* m, int k) { return m->reserved[MCC_RESERVED_WORDS - 1 - k]; }
inline u4& mcc_register_order(method_compile_context* m) { return mcc_tail(m, 0); }   // non-zero: 6 downward
// No live sets are read when liveness did not run (the same bit makes every
// local count as handler-used).
inline bool mcc_no_live_sets(const method_compile_context* m)
{
    return (m->state_flags & MCC_LIVENESS_UNAVAILABLE) != 0;
}
inline s4* mcc_transfer_map(method_compile_context* m) { return mcc_shrink_map(m); }
inline void mcc_set_transfer_map(method_compile_context* m, s4* p) { mcc_set_shrink_map(m, p); }
inline u4& mcc_transfer_map_count(method_compile_context* m) { return mcc_tail(m, 4); }
inline u2* mcc_alias_table(method_compile_context* m) { return reinterpret_cast<u2*>((uintptr_t)mcc_tail(m, 5)); }
inline void mcc_set_alias_table(method_compile_context* m, u2* p) { mcc_tail(m, 5) = (u4)(uintptr_t)p; }
inline u4* mcc_transfer_live(method_compile_context* m) { return reinterpret_cast<u4*>((uintptr_t)mcc_tail(m, 6)); }
inline void mcc_set_transfer_live(method_compile_context* m, void* p) { mcc_tail(m, 6) = (u4)(uintptr_t)p; }
inline s4& mcc_transfer_block(method_compile_context* m) { return *reinterpret_cast<s4*>(&mcc_tail(m, 7)); }
inline loop_reg_info* mcc_loop_regs(method_compile_context* m) { return reinterpret_cast<loop_reg_info*>((uintptr_t)mcc_tail(m, 8)); }
inline void mcc_set_loop_regs(method_compile_context* m, loop_reg_info* p) { mcc_tail(m, 8) = (u4)(uintptr_t)p; }

// ---------------------------------------------------------------------------
// Loop nests as the manager sees them.  The pipeline ORs block facts into the
// loop record's first bytes: byte 1 bit 0x80 (a member block is covered by a
// handler), byte 2 bit 0x08 (a member block has flags2 0x20: no x87 cache).
// A collapsed region (LOOP_INVALID) is a register tile.
// ---------------------------------------------------------------------------
inline loop_table_record* rm_loop_record(const method_compile_context* m, int loop_index)
{
    if (m->loop_table == nullptr || loop_index < 0 || (u4)loop_index >= m->loop_count)
        return nullptr;
    return static_cast<loop_table_record*>(m->loop_table[loop_index]);
}
inline loop_reg_info* rm_loop_info(method_compile_context* m, int loop_index)
{
    if (mcc_loop_regs(m) == nullptr || rm_loop_record(m, loop_index) == nullptr)
        return nullptr;
    return &mcc_loop_regs(m)[loop_index];
}
inline bool loop_handler_block(const loop_table_record* l) { return (reinterpret_cast<const u1*>(l)[1] & 0x80) != 0; }
inline bool loop_no_fp_cache(const loop_table_record* l) { return (reinterpret_cast<const u1*>(l)[2] & 0x08) != 0; }
inline bool loop_reg_tile(const loop_table_record* l) { return (l->flags & LOOP_INVALID) != 0; }
inline local_usage_entry* loop_int_cands(const loop_table_record* l) { return static_cast<local_usage_entry*>(l->lvattr_table); }
inline local_usage_entry* loop_fp_cands(const loop_table_record* l) { return static_cast<local_usage_entry*>(l->lvattr_table2); }
inline s4 loop_header_block(const loop_table_record* l) { return l->body ? (s4)l->body->entry_id : -1; }
inline s4 loop_pre_entry_block(const loop_table_record* l)
{
    return (l->body && l->body->pre_entry) ? (s4)l->body->pre_entry->value : -1;
}

// The try regions (the context's subroutine records: a block count and the
// block numbers, 24 bytes each).
constexpr u4 RM_SUBROUTINE_RECORD = 24;
inline u4 rm_try_count(const method_compile_context* m) { return m->subroutine_table ? m->subroutine_count : 0; }
inline u4 rm_try_block_count(const method_compile_context* m, u4 r)
{
    return *reinterpret_cast<const u4*>(static_cast<const u1*>(m->subroutine_table) + r * RM_SUBROUTINE_RECORD);
}
inline const u4* rm_try_blocks(const method_compile_context* m, u4 r)
{
    return *reinterpret_cast<u4* const*>(static_cast<const u1*>(m->subroutine_table) + r * RM_SUBROUTINE_RECORD + 4);
}

#endif // ORVA_CODEGEN_REG_RECORDS_H
