// Start-up entries of the run-time support: the frame iterator goes into the
// VM's frame-interface table, the exception handler is registered with the
// VM, and the interpreter-to-compiled transfer entry is handed to the MMI.
// The start-up sequence calls these once, on the starting Java thread, after
// the link vector has been read.
#include "driver/driver.h"
#include "lib/rt_support.h"

namespace {

template <typename F>
u4 fn(F* f) { return reinterpret_cast<u4>(f); }

}  // namespace

void jit_fill_frame_interface(u4* table)
{
    if (table == nullptr)
        return;
    table[FI_INIT] = fn(fi_init);
    table[FI_CLONE] = fn(fi_clone);
    table[FI_PREV] = fn(fi_prev);
    table[FI_MORE] = fn(fi_more);
    table[FI_METHOD] = fn(fi_method);
    table[FI_LASTPC] = fn(fi_lastpc);
    table[FI_TARGET] = fn(fi_target);
    table[FI_ARGS] = fn(fi_args);
    table[FI_CURRENT_FRAME_EXISTS] = fn(fi_current_frame_exists);
    table[FI_CURRENT_FRAME_METHOD] = fn(fi_current_frame_method);
    table[FI_CURRENT_FRAME_LASTPC] = fn(fi_current_frame_lastpc);
    table[FI_CURRENT_FRAME_ADDRESS] = fn(fi_current_frame_address);
    table[FI_SET_MODE] = fn(fi_set_mode);
    table[FI_GET_MODE] = fn(fi_get_mode);
    table[FI_THREAD_POST_EXCEPTION] = fn(_orva_ThreadPostException);
    table[FI_IS_JIT_FRAME] = fn(fi_is_JIT_frame);
    table[FI_GET_ID] = fn(fi_GetID);
    table[FI_SET] = fn(fi_set);
}

void jit_register_exception_handler(EE* ee)
{
    if (ee != nullptr && vm.mmijExceptionRegisterHandler != nullptr)
        vm.mmijExceptionRegisterHandler(ee, reinterpret_cast<void*>(_orva_ExceptionHandler));
}

extern "C" void* jit_mmi2jit_entry(void)
{
    return reinterpret_cast<void*>(_mmi2jit_xfer);
}
