// Entries of other stages that the front half calls: the prescan and the
// flow-graph utilities, the stack pass, the inlining analysis, the loop
// optimizer and the register manager.  Only the front half's own files
// include this header; fe_pending.cpp keeps a weak stand-in for each entry
// whose owner has not landed (the owner's strong definition replaces it at
// link time), and the entries whose owners landed are declared here in the
// same form as in their owners' headers.
#ifndef ORVA_FRONTEND_FE_EXTERNAL_H
#define ORVA_FRONTEND_FE_EXTERNAL_H

#include <stdint.h>

#include "vm_abi.h"
#include "frontend/qgen.h"

struct method_compile_context;
struct misinfo;
struct mi_call_site;

// Prescan and instruction lengths (inline/mi_prescan.h); the inlining decision.
int prescan_bytecode(method_compile_context* m, misinfo* mis, EE* ee);
extern int16_t opcode_length[256];
void update_location_info_of_method_invocation_info(mi_call_site* site, pc2bb_entry* pc_map);
int mi2_analysis_driver(method_compile_context* m);

// Flow-graph utilities (dataflow/dataflow.h) and loops.
int generate_dfs_list(method_compile_context* m);
int construct_loops(method_compile_context* m);
int do_switch_optimization(method_compile_context* m, bbattr* b);
int check_and_transform_short_circuit_evaluation(method_compile_context* m, bbattr* b);
int do_shrinking_and_sorting_lvar_tbl(method_compile_context* m);

// Stack pass (frontend/stackpass.h).
int dup2copy(method_compile_context* m);

// Trivial-method expansion, block copies.
int trivGenerateQuadruple(method_compile_context* m, quadruple** slot, bbattr* b, u2 first_free,
                          u2 remap_bound);
void fill_nop_in_bb(bbattr* b, u4 first, u4 last);   // inline/mi_copy.cpp

// Register manager (codegen).
int loop_localreg_alloc(method_compile_context* m);
int tile_reg_alloc(method_compile_context* m, var_usage_entry* method_table);

#endif // ORVA_FRONTEND_FE_EXTERNAL_H
