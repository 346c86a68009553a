// Test entries of libjitrt_test.so: the addresses of the run-time routines
// and a way to register hand-written code as committed code, for tests that
// run against the real VM.  Everything else in the library is hidden, as in
// libjit.so.
#include <stdlib.h>

#include "driver/driver.h"
#include "lib/rt_support.h"

#define RTT_EXPORT extern "C" __attribute__((visibility("default")))

RTT_EXPORT void* rtt_routine(int index)
{
    return _GET_DECODE_TABLE_BASE()[index];
}

RTT_EXPORT void* rtt_thread_death_raiser(void)
{
    return reinterpret_cast<void*>(THROW_EXCEPTION_THREAD_DEATH);
}

RTT_EXPORT void* rtt_handler(void)
{
    return reinterpret_cast<void*>(_orva_ExceptionHandler);
}

RTT_EXPORT void* rtt_xfer(void)
{
    return reinterpret_cast<void*>(_mmi2jit_xfer);
}

RTT_EXPORT u1* rtt_fcontrol_words(void)
{
    return _GET_FCONTROL_WORD_BASE();
}

RTT_EXPORT u4 rtt_tla_mask(void)
{
    return orva_tla_mask;
}

// Registers [start, end] as the code of `mb` with the stack-depth table and
// inlined-method map given; md0 = machine-dependent word 0.
RTT_EXPORT rcc* rtt_register_code(methodblock* mb, u1* start, u1* end, const void* sp_table, u4 md0,
                                  void* cp2imf, void* exc_cp2imf)
{
    rcc* r = static_cast<rcc*>(calloc(1, sizeof(rcc)));
    register_committed_code0(r, mb, start, end, cp2imf, exc_cp2imf);
    r->md[0] = md0;
    r->md[1] = reinterpret_cast<u4>(sp_table);
    return r;
}

RTT_EXPORT void rtt_deregister_code(rcc* r)
{
    deregister_committed_code(&r, 1);
}

RTT_EXPORT u4 rtt_get_caller_sp(rcc* code, u4 frame)
{
    return get_caller_sp(code, frame);
}

RTT_EXPORT u4 rtt_get_frame_size(rcc* code, u4 pc)
{
    return get_frame_size(code, pc);
}

RTT_EXPORT void* rtt_search_inlined(const void* map, rcc* code, u4 pc)
{
    return search_inlined_method_frame_info(map, code, pc);
}

RTT_EXPORT void rtt_restore_callee_saved_regs(u4 area, const u4* md, exception_context* context)
{
    restore_callee_saved_regs_to_context(area, md, context);
}

RTT_EXPORT void rtt_set_unwind_stack(int on)
{
    jit_unwind_stack = on;
}

RTT_EXPORT methodblock* rtt_get_mb_from_methodtable(u4* guess, u4 receiver, methodblock* imb)
{
    return _jit_get_mb_from_methodtable(guess, receiver, imb, 0, 0);
}

RTT_EXPORT int rtt_check_exception_origin(u4 code, u4 address)
{
    return check_exception_origin(code, address);
}
