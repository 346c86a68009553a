// The VM side of the quadruple-interpreter test: runs a static method in our
// bytecode interpreter and answers its 64-bit result (its header would clash
// with the compiler's, see fe_vm_env.h).
#include "vm.h"

namespace qgtest {

// False when the method threw (the exception is cleared).
bool interpret_static(EE* ee, methodblock* mb, const u4* args, int nargs, u4 result[2])
{
    if (!vm_init_class(ee, mb->clazz)) {
        vm_clear_pending(ee);
        return false;
    }
    JValue r;
    r.j = 0;
    if (!vm_call_java(ee, mb, args, static_cast<u4>(nargs), &r)) {
        vm_clear_pending(ee);
        return false;
    }
    result[0] = r.w[0];
    result[1] = r.w[1];
    return true;
}

}  // namespace qgtest
