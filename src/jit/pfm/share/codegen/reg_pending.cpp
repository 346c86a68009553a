// Stand-ins for services of other subsystems that the register manager calls
// but whose owners have not provided them yet.  Each is weak, so the owner's
// definition replaces it; remove an entry when its owner lands.
//
// Reaching one means a service is missing: the process ends with a message
// rather than emitting wrong code.
#include <stdio.h>
#include <stdlib.h>

#include "codegen/reg_manager.h"

#define PENDING_SERVICE __attribute__((weak))

[[noreturn]] static void missing(const char* name)
{
    fprintf(stderr, "JIT internal error: %s is not available\n", name);
    exit(-1);
}

// The method's data table (the out-of-line code after the body): registers a
// constant and patches the 4-byte address field that loads it.
PENDING_SERVICE void register_datatable(codegen_context*, int, const u4*, int, u1*) { missing("register_datatable"); }
