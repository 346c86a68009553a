// Entries shared between the analyses over bytecode-level instruction
// records: the null-check elimination's set phases, its compare folding (also
// used by class flow) and its invocation test.
#ifndef ORVA_DATAFLOW_DF_BCANALYSES_H
#define ORVA_DATAFLOW_DF_BCANALYSES_H

#include "dataflow/dataflow.h"

// GEN and KILL of every block, and the hints for later analyses.
int NullCheck_Init_DataFlow_B(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                              u4 nblocks, dataflow_pass_descriptor* d);
int NullCheck_Init_DataFlow_V(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                              u4 nblocks, dataflow_pass_descriptor* d);
// Marks, folds and removes checks from the solved IN sets.
int NullCheck_Final_DataFlow_B(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                               u4 nblocks, dataflow_pass_descriptor* d);
int NullCheck_Final_DataFlow_V(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                               u4 nblocks, dataflow_pass_descriptor* d);
// 1 when the invocation's receiver must be null-checked (sub-kind 3 to 11).
int Get_INVOKE_NULLCHECK(quadruple** slot);
// Folds the reference compare at `slot` of `block` whose operand was pushed
// by record `producer` of `producer_block`: always taken becomes a jump to
// the target, never taken drops the target edge.  1 when it rewrote.
int ResolveACMP1(method_compile_context* m, u4 block, quadruple** slot, u4 producer_block, u4 producer,
                 int always_taken);

#endif // ORVA_DATAFLOW_DF_BCANALYSES_H
