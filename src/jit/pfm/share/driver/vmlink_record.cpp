// The record `vm`: the VM's functions and tables as start-up copies them from
// the link vector and the MMI table (driver/jit_linkvec.cpp).  On its own so
// that unit tests which link only part of the compiler (the code-generation
// core, the run-time stubs) link it too and bind fakes into it.
#include "driver/vmlink.h"

vm_services vm;

// Assembly addresses the members at VM_<name> = word index * 4 in list order.
#define ORVA_COUNT_MEMBER(slot, name, type) +1
static_assert(sizeof(vm_services) == 4 * (0 ORVA_LV_SERVICES(ORVA_COUNT_MEMBER) ORVA_MMI_SERVICES(ORVA_COUNT_MEMBER)
                                          ORVA_VM_TABLES(ORVA_COUNT_MEMBER)));
#undef ORVA_COUNT_MEMBER
static_assert(offsetof(vm_services, ZEKCompileCodeLinkVector) == sizeof(vm_services) - 4);
