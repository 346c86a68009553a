// Weak stand-ins for the code-generation services of later optimizer work:
// the memory-operand handlers that fold a method-table or method-block load
// into the guard that an inlined virtual call tests.  The quadruple does not
// reach the code generator until its producer lands; each is weak, so the real
// definition replaces it with no change here, and it is deleted then (the
// test check_standins keeps the list of the stand-ins allowed to remain).
//
// Reaching one ends the running code generation softly: the driver answers 1
// and the method stays with the interpreter; nothing is committed.
#include "codegen/cg_core.h"

#define PENDING __attribute__((weak))

#define HANDLER(name)                                                                              \
    PENDING int name(codegen_context*, memop*, reg_operand*, reg_operand*, quadruple**, int, int, int, int) \
    {                                                                                              \
        cg_service_missing(#name);                                                                 \
    }
HANDLER(getregs_methodtable)
HANDLER(getregs_methodblock)
#undef HANDLER
