// Weak stand-ins for the entries of later stages that the front half calls.
//
// Each definition here is weak: the owning stage's strong definition
// replaces it at link time, and each stage deletes its stand-in when it
// lands.  Each answers with the result its caller treats as "did nothing";
// under NALL their own gates keep these passes off anyway.
#include <string.h>

#include "driver/driver.h"
#include "frontend/fe_external.h"
#include "inline/inline.h"

#define PENDING __attribute__((weak))

// ---- inlining analysis --------------------------------------------------------

// Still to come: the inlining decision.  Nothing is chosen for inlining.
PENDING int mi2_analysis_driver(method_compile_context* m) { return 0; }

// ---- flow-graph utilities and loops --------------------------------------------

// Still to come: loop construction (loop optimizer).  No loops are built.
PENDING int construct_loops(method_compile_context* m) { return 0; }

// Still to come: switch and short-circuit rewriting (loop optimizer).  No change.
PENDING int do_switch_optimization(method_compile_context* m, bbattr* b) { return 0; }
PENDING int check_and_transform_short_circuit_evaluation(method_compile_context* m, bbattr* b) { return 0; }

// Still to come: local-variable table shrinking (loop optimizer).  Nothing shrunk.
PENDING int do_shrinking_and_sorting_lvar_tbl(method_compile_context* m) { return 0; }

// ---- trivial methods, block copies -------------------------------------------------

// Still to come: trivial-method expansion.  The call stays a call.
PENDING int trivGenerateQuadruple(method_compile_context* m, quadruple** slot, bbattr* b, u2 first_free,
                                  u2 remap_bound)
{
    return 0;
}

// Still to come: the block copy utilities of the inliner.  The stand-in turns
// every quadruple of the block into a no-operation, all the idiom pass asks of it.
PENDING void fill_nop_in_bb(method_compile_context* m, bbattr* b)
{
    for (u4 i = 0; i < b->quad_count; i++)
        quad_make_nop(b->catbl[i], false);
}
