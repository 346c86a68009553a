// The exception handler routine `_orva_ExceptionHandler`: the routine that
// the raisers (and the VM's fault raiser) call with an exception record, the
// newest registration and a register context.  It walks the registration
// chain from that record toward older ones and asks the filter of each
// record's kind whether that frame handles the event.  When one does, that
// registration becomes the chain head, the transition records below the
// resume stack pointer are dropped, and the caller resumes from the context
// the filter prepared.
//
// While the filters run for an event of compiled code (mode word non-zero),
// a fault record on the transition chain lets the frame iterator step from
// the faulting frame to its callers, so that a stack trace made by a filter
// starts at the raise point.
//
// The walk ends at the oldest registration: a raise that nobody handles is
// answered "continue search", and the raisers end the process on that answer
// (every Java thread's bottom registration handles everything, so this is a
// VM error, not a Java exception).
#include <stdio.h>
#include <stdlib.h>

#include "driver/driver.h"
#include "lib/rt_support.h"

namespace {

u4 word_at(u4 address) { return *reinterpret_cast<const u4*>(address); }

EE* registration_ee(u4 registration)
{
    return reinterpret_cast<EE*>(word_at(registration + REG_EE));
}

bool is_interpreter_registration(u4 registration)
{
    return word_at(registration + REG_HANDLER) == reinterpret_cast<u4>(&_orva_ExceptionHandler);
}

uint64_t answer(u4 eax, u4 edx)
{
    return (static_cast<uint64_t>(edx) << 32) | eax;
}

// Links the fault record when the event comes from compiled code.
void link_fault_record(EE* ee, fault_record* fr, exception_record* record, exception_context* context)
{
    fr->pc = record->address;
    fr->frame = reinterpret_cast<u4>(&fr->pc) | 1;
    fr->adjustment = context->esp - reinterpret_cast<u4>(&fr->pc);
    fr->ebp = context->ebp;
    fr->prev = ee->transition | TR_TAG_EXCEPTION_PATH;
    ee->transition = reinterpret_cast<u4>(fr);
}

void unlink_fault_record(EE* ee, fault_record* fr)
{
    if ((ee->transition & ~TR_TAG_MASK) == reinterpret_cast<u4>(fr))
        ee->transition = fr->prev & ~TR_TAG_MASK;
}

void init_search_state(EE* ee, search_state* state)
{
    state->thrown = nullptr;
    if (jit_unwind_stack)
        fi_init(ee, &state->it);
}

}  // namespace

// A record at the resume stack pointer itself is kept: it lies in the frame
// that resumes.
void rt_install_registration(EE* ee, u4 registration, u4 esp)
{
    reinterpret_cast<tla*>(reinterpret_cast<u4>(ee) & TLA_MASK)->registration = registration;
    u4 head = ee->transition & ~TR_TAG_MASK;
    while (head != 0 && head < esp)
        head = word_at(head) & ~TR_TAG_MASK;
    ee->transition = head;
}

extern "C" __attribute__((force_align_arg_pointer)) uint64_t
_orva_ExceptionHandler0(exception_record* record, u4 registration, exception_context* context)
{
    EE* ee = registration_ee(registration);
    fault_record fr;
    bool linked = ee->mode != EE_MODE_INTERPRETER;
    if (linked)
        link_fault_record(ee, &fr, record, context);
    search_state state;
    init_search_state(ee, &state);
    s4 r = _jvm_ExceptionFilter0(record, registration, context, &state);
    if (r == XF_HANDLED) {
        rt_install_registration(ee, registration, context->esp);
        return answer(XH_CONTINUE_EXECUTION, XH_KIND_FRAMELESS);
    }
    if (linked)
        unlink_fault_record(ee, &fr);
    return answer(XH_CONTINUE_SEARCH, XH_KIND_FRAMELESS);
}

extern "C" __attribute__((force_align_arg_pointer)) uint64_t
_orva_ExceptionHandler(exception_record* record, u4 registration, exception_context* context)
{
    if (is_interpreter_registration(registration) && word_at(registration + REG_METHOD) == 0)
        return _orva_ExceptionHandler0(record, registration, context);
    EE* ee = registration_ee(registration);
    fault_record fr;
    bool linked = ee->mode != EE_MODE_INTERPRETER;
    if (linked)
        link_fault_record(ee, &fr, record, context);
    search_state state;
    init_search_state(ee, &state);

    for (u4 p = registration; p != 0; p = word_at(p + REG_NEXT)) {
        s4 r;
        u4 kind;
        if (!is_interpreter_registration(p)) {
            kind = XH_KIND_COMPILED;
            r = _orva_ExceptionFilter(record, p, context, &state);
        } else if (word_at(p + REG_METHOD) != 0) {
            kind = XH_KIND_INTERPRETER;
            r = _jvm_ExceptionFilter(record, p, context, &state);
        } else {
            kind = XH_KIND_FRAMELESS;
            r = _jvm_ExceptionFilter0(record, p, context, &state);
            if (r != XF_HANDLED) {
                ee->mode = EE_MODE_INTERPRETER;
                if (linked)
                    unlink_fault_record(ee, &fr);
                return answer(static_cast<u4>(r), XH_KIND_FRAMELESS);
            }
        }
        if (r == XF_HANDLED) {
            rt_install_registration(ee, p, context->esp);
            return answer(XH_CONTINUE_EXECUTION, kind);
        }
        if (r == XF_NOT_OURS)
            break;
    }
    if (linked)
        unlink_fault_record(ee, &fr);
    return answer(XH_CONTINUE_SEARCH, 0);
}

extern "C" __attribute__((force_align_arg_pointer)) void
rt_unhandled_raise(exception_record* record, u4 result)
{
    fprintf(stderr, "JIT internal error: exception 0x%08x at 0x%08x was not handled (%u)\n",
            record->code, record->address, result);
    abort();
}

extern "C" __attribute__((force_align_arg_pointer)) void rt_report_missing_routine(u4 return_address)
{
    fprintf(stderr, "JIT internal error: run-time routine called from 0x%08x is not available\n",
            return_address - 5);
    exit(-1);
}
