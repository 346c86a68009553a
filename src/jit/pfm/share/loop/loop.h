// Loop optimizer and control-flow transformations: the folder's public
// functions, grouped by the file that defines them.  Records are in
// loop_records.h.
#ifndef ORVA_LOOP_LOOP_H
#define ORVA_LOOP_LOOP_H

#include "vm_abi.h"
#include "loop/loop_records.h"

struct method_compile_context;
struct dataflow_pass_context;
struct bbattr;
struct quadruple;

// ---- lopt_bbrenum.cpp: code insertions and block renumbering ---------------------
// Records that the appended blocks first..last belong after (kind 0) or before
// (any other kind) the block `bbid`.  1, or 0 when work memory answers 0.
int gen_cins_info(method_compile_context* m, s4 bbid, s4 first, s4 last, s4 kind);
// Applies the insertion list, drops deleted blocks and renumbers every block
// reference of the method; the caller has recorded at least one insertion.
// With renumber_dfs the DFS list is renumbered in place (else the caller
// rebuilds it).  1 on success, 0 when the new table cannot be had.
int bb_renumbering(method_compile_context* m, int renumber_dfs);
s4 sort_cins_list_and_get_first_insert_bbid(method_compile_context* m);
bbattr** change_bb_id_and_gen_new_bb_table(method_compile_context* m, s4 last_existing, u4* out_count);
void copy_back_bb_table(method_compile_context* m, bbattr** table, u4 count);

// ---- lopt_straighten.cpp: block merging and straightening -------------------------
// A chain: block numbers in layout order.
struct bb_chain_node {
    u4 block;
    bb_chain_node* next;
};
// Merges the chain into its first block; 1 on success (also for a single
// block), 0 with "not enough memory\n" when the new quadruple array cannot be
// had.
int bb_merge(method_compile_context* m, bb_chain_node* chain);
// Joins the chains of blocks that follow each other in DFS order without a
// branch.  0 on success (*changed tells whether chains were formed), 1 on
// failure with "Basic Block Straightening Failed because of Memory Allocation
// Error\n".  A failed merge is a failure: every allocation is made before the
// first block is rewritten.
int bb_straightening(method_compile_context* m, int keep_mode, int* changed);

// ---- lopt_gotoelim.cpp: conditional moves and branch inversion -------------------
// 1 when an if-conversion changed the blocks, else 0.
int bb_goto_elimination(method_compile_context* m);
// The negated condition code; a code without one is returned unchanged.
u2 reverse_branch_condition(u2 code);
bool is_empty_goto_block(const bbattr* b);
void convert_to_conditional_move(method_compile_context* m, bbattr* b, bbattr* s0, bbattr* s1, quadruple* br);

// ---- lopt_shrink.cpp: local-variable table shrinking ------------------------------
// Both keep the old-to-new map in the context's transfer map (the register
// manager's accessors in codegen/regman/reg_records.h).  0, or 1 when memory ran out.
int do_shrinking_quadruple(method_compile_context* m, dataflow_pass_context* pc);
int do_shrinking_and_sorting_lvar_tbl(method_compile_context* m);
// Renumbers the local operands through a map over m->local_count locals
// (0xFFFFFFFF = dropped); call it before lowering the local count.
void rewrite_quadruple_for_shrinking(method_compile_context* m, const u4* map);
void dump_shrink_table(method_compile_context* m, u4 length);

// ---- lopt_shortcircuit.cpp: chains of "local != 0 ||" tests into one test of their OR ----
// (declared for the idiom pass in frontend/fe_external.h) 1 when it rewrote the chain.
int check_and_transform_short_circuit_evaluation(method_compile_context* m, bbattr* b);


// ---- lopt_loops.cpp: loop detection and the loop table ----------------------------
// The loop stage: branch reversal, the loop table, the nests on rare paths.
// 0, or 1 when the block layout refused the graph.  Nothing under NBBDFSSORT.
int construct_loops(method_compile_context* m);
// Rebuilds the loop table from the block graph and the DFS list; leaves the
// count 0 for a graph that is not reducible.  Always 1.
int construct_loop_structure(method_compile_context* m);

// ---- lopt_layout.cpp: block layout by loops, branch reversal ----------------------
// Renumbers the blocks so that each loop is one run from its header; 0, or 1
// when the graph is not reducible (nothing changed then).
int bb_straightening_basedon_scc(method_compile_context* m);
// Makes each conditional branch whose target is the next block in DFS order
// fall through there.  Always 1.
int reverse_cond_along_dfs(method_compile_context* m);
// The negated condition code of a branch; a code without one is returned
// unchanged (such a branch is never reversed).
u2 loop_reverse_condition(u2 code);

// ---- lopt_dfs.cpp: the DFS list with its roots in precise order -----------------
// The classic list, reordered: the first block's walk, the handlers', the
// transfer entry's last.  1, or 0 when no list could be built.
int generate_dfs_list_with_precise_ehandler(method_compile_context* m);

// ---- loop_pending.cpp: loop Parts still to come (weak stand-ins) ------------------
// Loop-controller duplication and entry/exit pads; 1, or 0 when a step failed.
int generate_precise_linfo(method_compile_context* m);
int bb_goto_elimination(method_compile_context* m);
int do_loop_optimization2(method_compile_context* m, dataflow_pass_context* pc);
int do_shrinking_quadruple(method_compile_context* m, dataflow_pass_context* pc);
void calcurate_space_fpr_field_privatization(method_compile_context* m, u4* count);
int do_field_privatization(method_compile_context* m, int* regenerate);

#endif // ORVA_LOOP_LOOP_H
