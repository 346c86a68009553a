// The working graph of loop detection, shared by the loop-table builder
// (lopt_loops.cpp) and the branch reversal along the DFS order
// (lopt_layout.cpp).  Everything here lives in the second work pool and dies
// at the end of the loop stage.
#ifndef ORVA_LOOP_LOPT_SCC_H
#define ORVA_LOOP_LOPT_SCC_H

#include "vm_abi.h"

struct bbattr;
struct method_compile_context;
struct scc_node;
struct scc_loop;

// scc_link.flags; setting one also sets it on the link's source node.
constexpr u4 SCC_LINK_BACK         = 0x1;   // back edge
constexpr u4 SCC_LINK_CROSS_REGION = 0x2;   // between two regions (main flow, handlers, subroutines)
constexpr u4 SCC_LINK_TO_EXIT      = 0x4;   // to the method's exit block
constexpr u4 SCC_LINK_OUTSIDE      = 0x8;   // from or to a block outside every region
constexpr u4 SCC_LINK_INTO_FLUSH   = 0x10;  // into a flush-tested block from one that is not
constexpr u4 SCC_LINK_INTO_RARE    = 0x20;  // into a rare block from one that is not

// scc_node.flags (besides the link flags above).
constexpr u4 SCC_NODE_MARKED        = 0x40;   // the block carries the transfer point
constexpr u4 SCC_NODE_IN_LOOP       = 0x80;
constexpr u4 SCC_NODE_MARKED_HEADER = 0x100;  // header of a loop flagged SCC_LOOP_MARKED
constexpr u4 SCC_NODE_HEADER        = 0x200;  // heads a loop
constexpr u4 SCC_NODE_DONE          = 0x400;

// scc_loop.flags
constexpr u4 SCC_LOOP_MANY_INNER   = 0x1;   // two or more inner loops
constexpr u4 SCC_LOOP_IS_LOOP      = 0x2;
constexpr u4 SCC_LOOP_METHOD       = 0x4;   // record 0: the method itself
constexpr u4 SCC_LOOP_CROSS_REGION = 0x10;  // the collection met an edge from another region
constexpr u4 SCC_LOOP_IN_TRY       = 0x20;  // header or a collected predecessor lies in a try region
constexpr u4 SCC_LOOP_MARKED       = 0x40;  // holds a block that carries the transfer point
constexpr u4 SCC_LOOP_FLUSH_EXIT   = 0x80;  // an edge leaves it into a flush-tested block
constexpr u4 SCC_LOOP_RESERVED     = 0x100; // never set by the detection; keeps a loop from nesting simply

// loop_table_record.flags: the nest's header or an entering block lies in a
// try region.
constexpr u4 LOOP_IN_TRY_REGION = 0x200000;

struct scc_link {
    scc_node* target;
    u4 flags;
    scc_link* next;
    u4 number;
    scc_link* mirror;           // the same edge on the other end's list
};

struct scc_nodelist {
    scc_node* item;
    scc_nodelist* next;
};

struct scc_node {
    bbattr* block;
    u4 flags;
    scc_link* preds;
    scc_link* succs;
    u4 id;                      // block number
    u4 dfs_pos;
    s4 region;                  // -1: outside every region
    u4 loop;                    // number of the innermost loop, 0 outside loops
    scc_node* rep;              // header of the loop that absorbed this node
    scc_loop* header_of;        // the loop this node heads
};

struct scc_loop {
    scc_loop* sibling;
    scc_loop* child;
    scc_loop* parent;
    u4 flags;
    scc_node* header;
    scc_nodelist* body;         // the loop's own blocks, header and inner loops excluded
    u4 body_count;
    u4 number;
};

struct scc_graph {
    method_compile_context* m;
    scc_node** by_block;        // by block number; null for blocks outside the DFS list
    scc_node** order;           // by DFS position
    u4 count;
    u4 back_edges;
    scc_loop* loops;            // [0] the method, then by loop number - base + 1
    u4 loop_capacity;
    u4 loop_base;               // the first loop number
    u4 next_number;
    u4 loop_count;
};

// lopt_loops.cpp
u4 init_node_and_link(method_compile_context* m, scc_graph* g);
scc_loop* detect_scc(method_compile_context* m, scc_graph* g);
scc_node* scc_representative(scc_node* n);

#endif // ORVA_LOOP_LOPT_SCC_H
