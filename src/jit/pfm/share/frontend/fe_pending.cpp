// Weak stand-ins for the entries of later stages that the front half calls.
//
// Each definition here is weak: the owning stage's strong definition
// replaces it at link time, and each stage deletes its stand-in when it
// lands.  Each answers with the result its caller treats as "did nothing";
// under NALL their own gates keep these passes off anyway.
#include "driver/driver.h"
#include "frontend/fe_external.h"
#include "inline/inline.h"

#define PENDING __attribute__((weak))

// ---- inlining analysis --------------------------------------------------------

// Still to come: the inlining decision.  Nothing is chosen for inlining.
PENDING int mi2_analysis_driver(method_compile_context* m) { return 0; }

// ---- flow-graph utilities and loops --------------------------------------------

// Still to come: the switch rewriting (loop optimizer).  No change.
PENDING int do_switch_optimization(method_compile_context* m, bbattr* b) { return 0; }

// ---- trivial methods --------------------------------------------------------------

// Still to come: trivial-method expansion.  The call stays a call.
PENDING int trivGenerateQuadruple(method_compile_context* m, quadruple** slot, bbattr* b, u2 first_free,
                                  u2 remap_bound)
{
    return 0;
}
