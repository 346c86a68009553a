// Class-hierarchy records: one `cha_class_info` per prepared class (hung in the
// class block's class-hierarchy slot), the override records of methods that a
// query answered bindable, and the patch entries of the call sites that rely
// on those answers.  General memory of kind 3, kept for the life of the
// process; every record is read and written under `orva_cha_lock`.
#ifndef ORVA_INLINE_CHA_H
#define ORVA_INLINE_CHA_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"

struct cha_override_record;
struct cha_unload_record;

struct cha_class_info {
    u4 excluded;                    // nonzero: nothing below this class is bindable
    u4 entered;                     // class entry has run for the class
    cha_override_record* override_records;
    cha_unload_record* unload_records;
    classblock* clazz;
    u4 subclass_capacity;
    u4 subclass_count;
    cha_class_info** subclasses;    // direct subclasses; for an interface, its implementors
    u4 override_word_count;         // (method-table slots + 31) / 32
    u4* override_bits;              // slot s: word s / 32, mask 0x80000000 >> (s % 32)
    u4 implementor_count;           // interfaces: entered classes listing it
    u4 class_id;                    // serial number of the record
};
static_assert(sizeof(cha_class_info) == 48);
static_assert(offsetof(cha_class_info, excluded) == 0);
static_assert(offsetof(cha_class_info, entered) == 4);
static_assert(offsetof(cha_class_info, override_records) == 8);
static_assert(offsetof(cha_class_info, unload_records) == 12);
static_assert(offsetof(cha_class_info, clazz) == 16);
static_assert(offsetof(cha_class_info, subclass_capacity) == 20);
static_assert(offsetof(cha_class_info, subclass_count) == 24);
static_assert(offsetof(cha_class_info, subclasses) == 28);
static_assert(offsetof(cha_class_info, override_word_count) == 32);
static_assert(offsetof(cha_class_info, override_bits) == 36);
static_assert(offsetof(cha_class_info, implementor_count) == 40);
static_assert(offsetof(cha_class_info, class_id) == 44);

struct cha_patch_entry {
    u4 site;                        // patchable instruction in compiled code
    u4 patch;                       // handed to CallBackInvalidateCode unchanged
    methodblock* method;            // compiled method holding the site; 0 = withdrawn
    u1* code_start;                 // that method's code start
    u4 class_id;                    // class id of the method's class at registration
};
static_assert(sizeof(cha_patch_entry) == 20);

struct cha_override_record {
    cha_override_record* next;
    u4 bindable;
    methodblock* method;
    u4 entry_capacity;
    u4 entry_count;
    cha_patch_entry* entries;
};
static_assert(sizeof(cha_override_record) == 24);

struct cha_unload_entry {
    u4 site;
    u4 patch;
    methodblock* method;
    u1* code_start;
};

struct cha_unload_record {
    cha_unload_record* next;
    methodblock* method;
    u4 entry_capacity;
    u4 entry_count;
    cha_unload_entry* entries;
};

constexpr u4 CHA_SUBCLASS_CAPACITY = 4;

inline cha_class_info* cha_record(const classblock* cb)
{
    return cb != nullptr ? static_cast<cha_class_info*>(cb->cha_info) : nullptr;
}

inline bool cha_bit(const cha_class_info* r, u4 slot)
{
    return slot / 32 < r->override_word_count && (r->override_bits[slot / 32] & (0x80000000u >> (slot % 32)));
}

extern u1 orva_cha_lock[SYS_MONITOR_MAX_SIZE];
extern u4 cha_class_id_counter;

#endif // ORVA_INLINE_CHA_H
