// Stand-ins for services the code-generation core calls but that other
// subsystems own and have not provided yet (the register manager, the method
// glue's stack-offset and jump-site records, the run-time routine table,
// x87 control-word area and thread-local-area mask).  Each is a weak symbol, so the owner's real definition replaces it
// without any change here; remove an entry once its owner has landed.
//
// No code generation runs before the pipeline exists, so none of these is
// reached in a working system; reaching one means a service is missing, and
// the process ends with a message rather than emitting wrong code.
#include <stdio.h>
#include <stdlib.h>

#include "codegen/codegen.h"

#define PENDING_SERVICE __attribute__((weak))

[[noreturn]] static void missing(const char* name)
{
    fprintf(stderr, "JIT internal error: %s is not available\n", name);
    exit(-1);
}

PENDING_SERVICE int _alloc_int_reg(codegen_context*, u4, int) { missing("_alloc_int_reg"); }
PENDING_SERVICE void _free_int_reg(codegen_context*, int, int, int, int) { missing("_free_int_reg"); }
PENDING_SERVICE int _num_of_free_int_regs(codegen_context*, int) { missing("_num_of_free_int_regs"); }
PENDING_SERVICE void patch_cmp_jmp_code(codegen_context*, u1*, u1*) { missing("patch_cmp_jmp_code"); }
extern "C" PENDING_SERVICE void** _GET_DECODE_TABLE_BASE(void) { missing("_GET_DECODE_TABLE_BASE"); }
extern "C" PENDING_SERVICE u1* _GET_FCONTROL_WORD_BASE(void) { missing("_GET_FCONTROL_WORD_BASE"); }
// The thread-local-area mask: the run-time support sets it at start-up.
extern "C" {
PENDING_SERVICE u4 orva_tla_mask = 0;
}
