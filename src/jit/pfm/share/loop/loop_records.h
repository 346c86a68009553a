// Records of the loop table and of the code-insertion protocol.
//
// The compile context's loop table is an array of `loop_table_record`
// pointers (count `loop_count`, capacity `mcc_loop_capacity`), indexed by a
// block's loop index.  A record stands for one loop nest; each nesting level
// of the nest is one `loopattribute`, the outermost (the "main attribute" or
// body record) also reachable directly.  A collapsed region (flag 0x20,
// "invalid" loop) has only its main attribute.  The loop builder fills these
// records; the flow-graph utilities keep them consistent when blocks are
// deleted, inserted, renumbered or merged.
//
// A code-insertion record (`cins_info`) says where blocks that a
// transformation appended before the exit block belong; `bb_renumbering`
// consumes the list.
#ifndef ORVA_LOOP_LOOP_RECORDS_H
#define ORVA_LOOP_LOOP_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"

struct bbattr;

// A node of the pre-entry (incoming-block) and entering-edge lists.
struct loop_link {
    u4 value;                   // a block number
    loop_link* next;
};
static_assert(sizeof(loop_link) == 8);

// One nesting level of a loop nest (also the body record of a collapsed region).
struct loopattribute {
    loop_link* pre_entry;       // blocks from which edges enter the header
    u4 first_id;                // lowest block number of the level
    u4 entry_id;                // header block number
    bbattr* entry_block;        // the entry pad made by loop reshaping; 0 before
    bbattr* entry_successor;    // the designated successor of the entry (the header block)
    u4 last_id;                 // highest block number of the level
    u4 block_count;
    u4 capacity;
    bbattr** blocks;            // the level's blocks, header last
    int16_t level;              // nesting level, 0 innermost
    int16_t exit_count;
    u4* exits;                  // block numbers of the exiting edges' sources
    loop_link* entering;        // entering edges (source blocks)
};
static_assert(sizeof(loopattribute) == 48);
static_assert(offsetof(loopattribute, pre_entry) == 0);
static_assert(offsetof(loopattribute, first_id) == 4);
static_assert(offsetof(loopattribute, entry_id) == 8);
static_assert(offsetof(loopattribute, entry_block) == 12);
static_assert(offsetof(loopattribute, entry_successor) == 16);
static_assert(offsetof(loopattribute, last_id) == 20);
static_assert(offsetof(loopattribute, block_count) == 24);
static_assert(offsetof(loopattribute, capacity) == 28);
static_assert(offsetof(loopattribute, blocks) == 32);
static_assert(offsetof(loopattribute, level) == 36);
static_assert(offsetof(loopattribute, exit_count) == 38);
static_assert(offsetof(loopattribute, exits) == 40);
static_assert(offsetof(loopattribute, entering) == 44);

// One loop nest of the loop table.  The front end's transfer-point moves
// read the flags, the body pointer and the body's entry pad and block array
// by these positions.
struct loop_table_record {
    u4 id;                      // index in the loop table
    u4 flags;                   // LOOP_* bits
    u4 state;                   // 1: may be removed
    int16_t depth;              // nesting levels (entries of `levels`)
    int16_t pending_blocks;     // extra blocks a transformation will add to the body
    loopattribute* body;        // main attribute: the outermost level
    loopattribute** levels;     // one per level, index 0 innermost; 0 for a collapsed region
    s4 outer_invalid_id;        // nonzero: inside a collapsed region (weighs 10)
    loop_table_record* enclosing;   // the collapsed region holding this nest
    u4 version_count;
    void* versions;
    void* lvattr_table;         // local-variable attribute tables of the nest (register manager)
    u2 lvattr_count;
    u2 pad46;
    void* lvattr_table2;
    u2 lvattr_count2;
    u2 pad54;
    u4 later[4];                // fields of the loop optimizer
};
static_assert(sizeof(loop_table_record) == 72);
static_assert(offsetof(loop_table_record, id) == 0);
static_assert(offsetof(loop_table_record, flags) == 4);
static_assert(offsetof(loop_table_record, state) == 8);
static_assert(offsetof(loop_table_record, depth) == 12);
static_assert(offsetof(loop_table_record, pending_blocks) == 14);
static_assert(offsetof(loop_table_record, body) == 16);
static_assert(offsetof(loop_table_record, levels) == 20);
static_assert(offsetof(loop_table_record, outer_invalid_id) == 24);
static_assert(offsetof(loop_table_record, enclosing) == 28);
static_assert(offsetof(loop_table_record, version_count) == 32);
static_assert(offsetof(loop_table_record, versions) == 36);
static_assert(offsetof(loop_table_record, lvattr_table) == 40);
static_assert(offsetof(loop_table_record, lvattr_count) == 44);
static_assert(offsetof(loop_table_record, lvattr_table2) == 48);
static_assert(offsetof(loop_table_record, lvattr_count2) == 52);
static_assert(offsetof(loop_table_record, later) == 56);

// loop_table_record.flags
constexpr u4 LOOP_INVALID      = 0x20;          // collapsed region: only the main attribute
constexpr u4 LOOP_HAS_MARKED   = 0x1000;        // holds a block whose flags2 has 0x4
constexpr u4 LOOP_VERSIONED    = 0x10000;
constexpr u4 LOOP_ABOVE_LIMIT  = 0x40000;
constexpr u4 LOOP_RARE_PATH    = 0x100000;      // the nest lies on a rare path
constexpr u4 LOOP_FRESH        = 0x80000000;    // set on records made by table_expansion

// Block marks of the loop table (bbattr.flags).
constexpr u4 BB_LOOP_MEMBER      = 0x1;         // every block of every level
constexpr u4 BB_LOOP_INVALID     = 0x2;         // every block of a collapsed region
constexpr u4 BB_LOOP_HEAD        = 0x8;         // header of every level
constexpr u4 BB_LOOP_EXITING     = 0x10;        // an exit edge leaves the block
constexpr u4 BB_LOOP_FIRST       = 0x20;        // lowest block of an outermost level
constexpr u4 BB_LOOP_LAST        = 0x40;        // highest block of an outermost level
constexpr u4 BB_LOOP_INNER_HEAD  = 0x80;
constexpr u4 BB_LOOP_INNER_EXIT  = 0x100;
constexpr u4 BB_LOOP_INNERMOST_HEAD = 0x400;
constexpr u4 BB_LOOP_INNERMOST_EXIT = 0x800;
constexpr u4 BB_LOOP_ENTRY_MARKS = BB_LOOP_HEAD | BB_LOOP_INNER_HEAD | BB_LOOP_INNERMOST_HEAD;   // 0x488
constexpr u4 BB_LOOP_EXIT_MARKS  = BB_LOOP_EXITING | BB_LOOP_INNER_EXIT | BB_LOOP_INNERMOST_EXIT; // 0x910
constexpr u4 BB_FROM_HANDLER     = 0x10000;     // placed by a search from a handler block
constexpr u4 BB_STRAIGHT_STOP    = 0x40000;     // never merged into its predecessor
constexpr u4 BB_JUMP_TARGET      = 0x200000;    // target of a jump made by a recursion transformation
constexpr u4 BB_DFS_RULE         = 0x08000000;  // successor rule of the DFS order (branch sense)
constexpr u4 BB_LOOP_REMOVED     = 0x80000000;  // removed from the loop tables
static_assert(BB_LOOP_ENTRY_MARKS == 0x488 && BB_LOOP_EXIT_MARKS == 0x910);

// Code-insertion record.
struct cins_info {
    cins_info* next;
    s4 kind;                    // 0: after the anchor; otherwise before it
    s4 bbid;                    // the anchor: an existing block
    s4 first;                   // first appended block to move there
    s4 last;                    // last one (inclusive)
};
static_assert(sizeof(cins_info) == 20);
static_assert(offsetof(cins_info, next) == 0);
static_assert(offsetof(cins_info, kind) == 4);
static_assert(offsetof(cins_info, bbid) == 8);
static_assert(offsetof(cins_info, first) == 12);
static_assert(offsetof(cins_info, last) == 16);

constexpr s4 CINS_AFTER = 0;
constexpr s4 CINS_BEFORE = 1;

#endif // ORVA_LOOP_LOOP_RECORDS_H
