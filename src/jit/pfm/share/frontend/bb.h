// Basic blocks: the `bbattr` record, its flag bits and the pc-to-block map.
//
// Every compiled method is a graph of blocks held in the compile context's
// block table (`bb_table`, an array of `bbattr` pointers indexed by block
// number).  Block 0 is the entry block (no quadruples; successors block 1,
// the handlers and the negated subroutine entries), blocks 1..n are the live
// bytecode blocks in pc order, an interpreter-transfer compile adds the
// transfer entry block n+1, and the last block is the exit block.  Each block
// owns its `catbl`, the array of pointers to its quadruples.  Everything lives
// in the compilation's work memory.
#ifndef ORVA_FRONTEND_BB_H
#define ORVA_FRONTEND_BB_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"

struct quadruple;

struct bbattr {
    u4 flags;                   // BB_* bits; low two bits the block's kind
    u4 flags2;                  // BB2_* bits
    u2 loop_depth;              // nesting depth of the block's loop
    int16_t loop_index;         // loop-table index when (flags & 3) == 1
    u4 id;                      // block number (index in the block table)
    u4 pred_count;              // predecessors; exit block: entries of `succ`
    u4 succ_count;              // successors
    u4* succ;                   // successor numbers; entry: negated subroutine entries
    u4 quad_count;              // entries of `catbl`
    u4 pass1_offset;            // code offset measured in pass 1 (read by the back-patcher)
    u4 pass1_link_offset;       // measured offset of the out-of-line linkage code
    quadruple** catbl;          // quadruples in execution order
    methodblock* mb;            // method whose bytecode the block came from
    void* var_table;            // lvattr_tbl, later the variable usage table
    u4 later_52;                // two words of later stages
    u4 later_56;
    u4 tile_number;             // 1-based tile record index; 0 = none
    void* cand_table;           // 64-byte constant-candidate table
    u2 cand_count;              // entries of the candidate table
    u2 later_70;                // set by later stages
    u4 start_pc;                // bytecode pc where the block starts
    u4 stack_table;             // entry operand stack
    u2 entry_depth;             // entry operand-stack depth
    u2 entry_int_height;        // entry integer height (rewritten before register allocation)
    u2 entry_float_height;      // entry floating height (likewise)
    u2 max_depth;               // max operand-stack depth
    u2 local_count;             // locals at creation; later the block's min depth
    int16_t max_int_height;     // compared as signed
    u2 stack_word;              // second 16-bit count of the context; later min int height
    int16_t max_float_height;   // compared as signed
    int16_t min_float_height;   // compared as signed
    u2 later_98;               // set by later stages
    int32_t try_region;         // innermost exception-table entry covering the block; -1 none
    u4 word_104;                // zero at creation
    u4 later_108[14];           // register state and loop data; [3], [4]: variable set
    u4 invocation_count;        // calls kept in the block
    u4 word_168;                // zero at creation
    u1 later_172[6];            // set by later stages
    u2 carry_value;             // carried into the loop or tile record before code generation
    u4 entry_stack_offset;      // stack offset at block entry (16-bit value)
    u4 entry_state;             // entry offset and register state recorded
    u4 code_offset;             // offset of the block's first instruction
    u4 code_size;               // size measured by the first pass
};
static_assert(sizeof(bbattr) == 196);
static_assert(offsetof(bbattr, flags) == 0);
static_assert(offsetof(bbattr, flags2) == 4);
static_assert(offsetof(bbattr, loop_depth) == 8);
static_assert(offsetof(bbattr, loop_index) == 10);
static_assert(offsetof(bbattr, id) == 12);
static_assert(offsetof(bbattr, pred_count) == 16);
static_assert(offsetof(bbattr, succ_count) == 20);
static_assert(offsetof(bbattr, succ) == 24);
static_assert(offsetof(bbattr, quad_count) == 28);
static_assert(offsetof(bbattr, pass1_offset) == 32);
static_assert(offsetof(bbattr, pass1_link_offset) == 36);
static_assert(offsetof(bbattr, catbl) == 40);
static_assert(offsetof(bbattr, mb) == 44);
static_assert(offsetof(bbattr, var_table) == 48);
static_assert(offsetof(bbattr, later_52) == 52);
static_assert(offsetof(bbattr, later_56) == 56);
static_assert(offsetof(bbattr, tile_number) == 60);
static_assert(offsetof(bbattr, cand_table) == 64);
static_assert(offsetof(bbattr, cand_count) == 68);
static_assert(offsetof(bbattr, later_70) == 70);
static_assert(offsetof(bbattr, start_pc) == 72);
static_assert(offsetof(bbattr, stack_table) == 76);
static_assert(offsetof(bbattr, entry_depth) == 80);
static_assert(offsetof(bbattr, entry_int_height) == 82);
static_assert(offsetof(bbattr, entry_float_height) == 84);
static_assert(offsetof(bbattr, max_depth) == 86);
static_assert(offsetof(bbattr, local_count) == 88);
static_assert(offsetof(bbattr, max_int_height) == 90);
static_assert(offsetof(bbattr, stack_word) == 92);
static_assert(offsetof(bbattr, max_float_height) == 94);
static_assert(offsetof(bbattr, min_float_height) == 96);
static_assert(offsetof(bbattr, later_98) == 98);
static_assert(offsetof(bbattr, try_region) == 100);
static_assert(offsetof(bbattr, word_104) == 104);
static_assert(offsetof(bbattr, later_108) == 108);
static_assert(offsetof(bbattr, invocation_count) == 164);
static_assert(offsetof(bbattr, word_168) == 168);
static_assert(offsetof(bbattr, later_172) == 172);
static_assert(offsetof(bbattr, carry_value) == 178);
static_assert(offsetof(bbattr, entry_stack_offset) == 180);
static_assert(offsetof(bbattr, entry_state) == 184);
static_assert(offsetof(bbattr, code_offset) == 188);
static_assert(offsetof(bbattr, code_size) == 192);

// The block a successor entry names.  Block 0 lists its subroutine entries
// negated (every other entry, and every other block's list, is a plain block
// number); whoever indexes the block table or compares block numbers with an
// entry reads it through here.
inline u4 bb_succ_block(u4 entry) { return static_cast<s4>(entry) < 0 ? 0u - entry : entry; }

// bbattr.flags
constexpr u4 BB_KIND_MASK        = 0x3;         // block kind; 1 = in a loop, loop index valid
constexpr u4 BB_KIND_LOOP        = 0x1;
constexpr u4 BB_LOOP_MARK        = 0x200;       // loop mark of the loop optimizer
constexpr u4 BB_HOLDS_CALL_KIND  = 0x1000;      // holds a call of the kinds liveness marks (exp, log; CMOV fcmps)
constexpr u4 BB_DEAD             = 0x2000;      // walks skip it
constexpr u4 BB_HANDLER          = 0x4000;      // first block of an exception handler
constexpr u4 BB_INNERMOST_LOOP   = 0x8000;      // with kind 1: innermost-loop block
constexpr u4 BB_IN_TRY           = 0x20000;     // inside the pc range of some handler entry
constexpr u4 BB_TRY_BOUNDARY     = 0x40000;     // try region differs from a predecessor's
constexpr u4 BB_TRY_START        = 0x80000;     // first block of a handler entry's range
constexpr u4 BB_SUBROUTINE       = 0x100000;    // entry block of a jsr subroutine
constexpr u4 BB_LOOP_HEADER      = 0x400000;    // loop header
constexpr u4 BB_ARRAY_ACCESS     = 0x800000;    // holds an array access
constexpr u4 BB_NO_JOIN_COPY     = 0x1000000;   // tested by the boolean rewriting
constexpr u4 BB_ABSORBED_DIAMOND = 0x4000000;   // absorbed a boolean diamond
constexpr u4 BB_BACKWARD_BRANCH  = 0x08000000;  // ends in a conditional branch backwards
constexpr u4 BB_SWITCH_ENTRY     = 0x10000000;  // linkage made at its entry
constexpr u4 BB_VISITED          = 0x20000000;  // walk mark; placed in the current pass
constexpr u4 BB_LOOP_EXCLUDED    = 0x40000000;  // with kind 1: counted as outside its loop (set by no pass here)
constexpr u4 BB_INLINE_KEEP      = 0x3a203;     // bits a block made for inlined code keeps

// bbattr.flags2
constexpr u4 BB2_SEARCH_MASK     = 0x3;         // read by the register search set-up
constexpr u4 BB2_TRANSFER_POINT  = 0x4;         // carries the transfer point
constexpr u4 BB2_TRANSFER_PC     = 0x8;         // holds the transfer pc
constexpr u4 BB2_HOLDS_CALL      = 0x20;        // holds a call-implying quadruple (set by liveness)
constexpr u4 BB2_RARE            = 0x40;        // rare path: moved towards the end of the DFS order
constexpr u4 BB2_FORWARD_BRANCH  = 0x80;        // ends in a conditional branch forwards
constexpr u4 BB2_FLUSH_TEST      = 0x100;       // tested before out-of-line code is flushed
constexpr u4 BB2_EMPTY_ENTRY     = 0x1000;      // entered with an empty operand stack
constexpr u4 BB2_ENDS_IN_BRANCH  = 0x2000;      // the block ends in a branch
constexpr u4 BB2_RETURNS         = 0x4000;      // every path from the block returns

// One entry of `pc2bb_table` per bytecode pc, plus the sentinel at the code
// length.  Operand bytes carry the entry of their opcode byte.
struct pc2bb_entry {
    u4 block;       // block number (only the low 16 bits are read by the catch tables)
    u4 position;    // catbl index of the instruction's first quadruple
};
static_assert(sizeof(pc2bb_entry) == 8);
static_assert(offsetof(pc2bb_entry, block) == 0);
static_assert(offsetof(pc2bb_entry, position) == 4);

#endif // ORVA_FRONTEND_BB_H
