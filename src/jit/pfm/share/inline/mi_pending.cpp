// Checks of the inlining analysis that the prescan, the call-site
// registration and the call-graph walk ask, and that the inlinability and
// class-hierarchy analyses still have to build.
//
// Every entry is weak: the analysis's strong definition replaces it, and it
// deletes its stand-in here when it lands.  Each answers the way that keeps a
// call a plain call: nothing inlinable, no devirtualization target, no
// direct binding; no method-block verdict is written.
#include "driver/driver.h"
#include "inline/inline.h"
#include "inline/mi_prescan.h"

#define PENDING __attribute__((weak))

// Still to come: inlinability of a call found by the call-graph walk.
PENDING int is_inlinable_method_invocation(methodblock* caller, methodblock** target, int kind, int nested,
                                           int* refused, work_pool* pool)
{
    return 0;
}

// Still to come: devirtualization through the class hierarchy.  No target.
PENDING methodblock* select_devirtualization_target(methodblock* mb, int* guessed, work_pool* pool)
{
    return nullptr;
}

// Still to come: the table of library methods that user classes are known to
// override.  Nothing listed.
PENDING int check_known_overridden_library_method(methodblock* mb) { return 1; }

// Still to come: interface devirtualization.  No interface accepted.
PENDING int is_inlinable_interface_class(methodblock* mb) { return 0; }

// Still to come: the recursion cycle search.  No cycle found (the decision
// that would act on a candidate is still to come as well).
PENDING int check_recursive_invocation_cycle(misinfo* caller, methodblock* mb) { return 0; }

// Still to come: the direct-inlining fast check.  Not passed.
PENDING int is_direct_inlinable_method_by_fast_check(methodblock* mb, inlining_context* ic) { return 0; }

// Still to come: direct binding of interface calls.  Nothing found.
PENDING methodblock* IsDirectBindIntf(method_compile_context* m, methodblock* imb, classblock* receiver, int* kind,
                                      methodblock** impl)
{
    if (kind != nullptr)
        *kind = 2;
    if (impl != nullptr)
        *impl = nullptr;
    return nullptr;
}
