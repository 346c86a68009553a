// Fakes of the object tests (object_fakes.cpp): what the VM was asked, and
// the landing of raised exceptions.
#ifndef ORVA_TESTS_OBJECT_FAKES_H
#define ORVA_TESTS_OBJECT_FAKES_H

#include <gtest/gtest.h>
#include <setjmp.h>

#include "codegen/cg_core.h"
#include "driver/vmlink.h"

struct fake_vm {
    int instance_calls, alloc_object_calls, alloc_array_calls, quick_calls, resolutions, clinit_calls;
    int refuse_quick, refuse_alloc;
    u4 quick_word0, quick_flags, quick_size;
    int last_array_type;
    u4 last_mask;
    int multi_dims;
    classblock* multi_class;
    s4 multi_lengths[4];
    u4 resolve_to[16];              // what the resolver puts into constant-pool entry i
    classblock* array_answer_class; // the class every array is an instance of
    u4 thrown;                      // software exception code that reached a landing
    char signalled[160];            // the last exception signalled to the VM
};
extern fake_vm fvm;
extern jmp_buf landing;
extern EE fake_ee;
void reset_fake_vm(void);

#endif
