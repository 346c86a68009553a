// Entries of the optimizer passes that the two optimizer drivers call and
// that are still to come: the inlining transformations and the
// class-hierarchy guard passes.
//
// Every entry is weak: the pass's own strong definition replaces it at link
// time, and the pass deletes its stand-in here when it lands (the test
// check_standins keeps the list of the stand-ins allowed to remain).  Each
// stand-in keeps the gate of its pass (option bit, environment switch, state
// of the method) and answers what its caller treats as "did nothing"; where
// the pass leaves a mark that tells later stages its results are missing
// (null check skipped), the stand-in leaves that mark, since it computed
// nothing.  Under ORVA_COMPILEOPT=NALL every optional pass is off by its own
// gate.
#include <stdlib.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_commoning.h"

#define PENDING __attribute__((weak))

int df_env_switch(s4* holder, const char* name)
{
    if (*holder < 0) {
        const char* text = getenv(name);
        *holder = text != nullptr ? static_cast<s4>(strtol(text, nullptr, 10)) : 0;
        if (*holder < 0)
            *holder = 1;
    }
    return *holder;
}

// ---- inlining and class-hierarchy guard passes ------------------------------------

// Still to come: the inlining transformations.  Nothing expanded.
PENDING int mi2_driver(method_compile_context* m) { return 0; }

// The hook that closes the inlining status of a compile; it is empty.
PENDING void set_compile_status_for_method_inlining(method_compile_context* m) {}

// Still to come: the class-hierarchy guard optimization (off under NCHAOPT).
PENDING int cha_opt(method_compile_context* m) { return 0; }

// Still to come: rare-path propagation (off under NCHAOPT or NSEPARATE_RARE_PATH).
PENDING int propagate_non_rare_path_with_dfs_search(method_compile_context* m) { return 0; }

