// Entries of other stages that the stack pass and the member-access and
// invocation translation call.  The invoke kinds, the library-call
// recognizers and the constant-pool word loads belong to the inlining
// analysis (inline/mi_prescan.h); the margin of a trivial callee belongs to
// the trivial-method expansion, still to come, whose weak stand-in is in
// sp_pending.cpp.
#ifndef ORVA_FRONTEND_SP_EXTERNAL_H
#define ORVA_FRONTEND_SP_EXTERNAL_H

#include "vm_abi.h"
#include "frontend/bb.h"
#include "frontend/quad.h"
#include "inline/mi_prescan.h"

struct method_compile_context;

// Placeholder quadruples to reserve after a call of a trivial method.
u4 trivCountMargin(method_compile_context* m, quadruple** slot, bbattr* b);

#endif // ORVA_FRONTEND_SP_EXTERNAL_H
