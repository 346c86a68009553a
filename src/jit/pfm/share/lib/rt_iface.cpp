// Interface dispatch, C side: the implementing method of an interface
// method for a receiver, found in the receiver class's interface method
// table {count, {interface, u2 method-table index per interface method}}.
// The position where the interface was found is remembered in the call
// site's guess word and tried first next time; a guess is always checked,
// so a stale or concurrently written one only costs a scan.
#include <string.h>

#include "driver/driver.h"
#include "lib/rt_support.h"

namespace {

constexpr int MESSAGE_LENGTH = 256;

void append(char* buffer, const char* text)
{
    size_t used = strlen(buffer);
    vm.jio_snprintf(buffer + used, MESSAGE_LENGTH - used, "%s", text);
}

void append_class_name(char* buffer, const char* name)
{
    size_t used = strlen(buffer);
    vm.classname2string(name, buffer + used, static_cast<int>(MESSAGE_LENGTH - used));
}

}  // namespace

// Position of interface `cb` in `t`: the guess when it matches, else the
// highest matching position (-1 when none).
s4 rt_find_interface(const imethod_table* t, classblock* cb, u4 guess)
{
    if (guess < t->icount && t->itable[guess].classdescriptor == cb)
        return static_cast<s4>(guess);
    for (s4 i = static_cast<s4>(t->icount) - 1; i >= 0; i--)
        if (t->itable[i].classdescriptor == cb)
            return i;
    return -1;
}

extern "C" __attribute__((force_align_arg_pointer, noinline)) methodblock*
_jit_get_mb_from_methodtable(u4* guess, u4 receiver, methodblock* imb, u4 caller_ebp, u4 stub_frame)
{
    EE* ee = _orva_getee();
    transition_record r;
    r.prev = ee->transition;
    r.frame = (stub_frame != 0 ? stub_frame : reinterpret_cast<u4>(__builtin_frame_address(0)) + 4) | 1;
    r.caller_ebp = caller_ebp;
    ee->transition = reinterpret_cast<u4>(&r);
    methodblock* result = nullptr;
    if (receiver == 0) {
        vm.SignalError(ee, "java/lang/NullPointerException", nullptr);
    } else {
        const method_table* mt = reinterpret_cast<const method_table*>(reinterpret_cast<const JHandle*>(receiver)->word0);
        classblock* cls = mt->classdescriptor;
        const imethod_table* t = cls->imethodtable;
        s4 at = rt_find_interface(t, imb->clazz, *guess);
        if (at >= 0) {
            if (static_cast<u4>(at) != *guess)
                *guess = static_cast<u4>(at);
            result = mt->methods[t->itable[at].offsets[imb->slot]];
        } else {
            char message[MESSAGE_LENGTH] = "";
            append(message, "class ");
            append_class_name(message, cls->name);
            append(message, " does not implement interface ");
            append_class_name(message, imb->clazz->name);
            vm.SignalError(ee, "java/lang/IncompatibleClassChangeError", message);
        }
    }
    ee->transition = r.prev & ~TR_TAG_MASK;
    return result;
}
