// Monitor exit on the VM's path, for the synchronized-method exit stubs: a
// lock that is not thinly held by this thread at count 0..255 (another
// owner, an inflated monitor, or not held at all).  The VM's exit can block
// and wake threads, so a transition record says that the frames above the
// stub's return-address slot are compiled frames whose frame base is `ebp`.
// A failure (a monitor not owned) stays pending in the EE; the stub returns
// normally and compiled code raises it at its next check.
#include "driver/driver.h"
#include "lib/rt_support.h"

extern "C" __attribute__((force_align_arg_pointer)) int
_jit_monitorExitQuicker(u4 object, EE* ee, u4 ebp, u4 stub_frame)
{
    transition_record record;
    record.prev = ee->transition;
    record.frame = stub_frame | 1;
    record.caller_ebp = ebp;
    ee->transition = reinterpret_cast<u4>(&record);
    int result = vm.monitorExit2(ee, object);
    ee->transition = record.prev & ~TR_TAG_MASK;
    return result;
}
