// The scheduler's report of a moved compare-and-jump: every record that
// holds the address of the jump's displacement follows the jump.  Raise-path
// records are the ones kept so far (gen_throw.cpp).
#include "codegen/cg_core.h"

void patch_cmp_jmp_code(codegen_context* cg, u1* old_disp, u1* end)
{
    throw_records_moved(cg, old_disp, end);
}
