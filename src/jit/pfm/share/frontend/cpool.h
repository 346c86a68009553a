// Records of the constant-pool accessors: the unresolved field and method
// references recorded for one compilation, with their names copied once so
// that later phases read them without the VM's class-linking lock.
#ifndef ORVA_FRONTEND_CPOOL_H
#define ORVA_FRONTEND_CPOOL_H

#include <stddef.h>

#include "vm_abi.h"

struct work_pool;

struct unresolved_ref_entry {
    unresolved_ref_entry* next;
    u4* key;                        // address of the constant-pool entry's word
    const char* class_name;
    const char* name;
    const char* signature;
};
static_assert(sizeof(unresolved_ref_entry) == 20);

constexpr int UNRESOLVED_BUCKETS = 8;

struct method_unresolved_info {
    work_pool* pool;                // made at the first registration
    unresolved_ref_entry* fields[UNRESOLVED_BUCKETS];
    unresolved_ref_entry* methods[UNRESOLVED_BUCKETS];
};
static_assert(sizeof(method_unresolved_info) == 68);

// Bucket of an entry: bits 4..6 of its key address.
inline u4 unresolved_bucket(const u4* key) { return (reinterpret_cast<u4>(key) >> 4) & 7; }

#endif // ORVA_FRONTEND_CPOOL_H
