// Weak stand-in for the entry of another stage that the stack pass calls
// (declared in sp_external.h); the owner's strong definition replaces it at
// link time, and the owner deletes it here when it lands.
#include "driver/driver.h"
#include "frontend/sp_external.h"
#include "frontend/stackpass.h"
#include "inline/inline.h"

#define PENDING __attribute__((weak))

// Still to come: the trivial-method expansion that uses the margin.  The
// margin already follows the callee's trivial class (and whether it is
// synchronized), so the count and transform phases reserve what the
// expansion will need; until the expansion lands no call carries the
// trivial-callee bit under NINLINING, and the placeholders are deleted
// no-operations anyway.
PENDING u4 trivCountMargin(method_compile_context* m, quadruple** slot, bbattr* b)
{
    quadruple* q = *slot;
    u4 kind = q->subcode & QS_KIND_MASK;
    if (kind != INVK_STATIC && kind != INVK_STATIC_QUICK && kind != INVK_DIRECT && kind != INVK_SUPER)
        return 0;
    methodblock* callee = sp_callee_of(b, q);
    if (callee == nullptr)
        return 0;
    bool sync = (callee->access & ACC_SYNCHRONIZED) != 0;
    switch (callee->jit_flags & TRIV_KIND_MASK) {
    case 0x10: return sync ? 1 : 0;
    case 0x20: case 0x30: case 0x60: case 0x70: return sync ? 2 : 0;
    case 0x40: case 0x50: case 0x80: return sync ? 3 : 1;
    default: return 0;
    }
}
