// Compiled exception tables: the block-level exception table (one entry per
// JVM exception-table entry), the catch-frame directory and its handler
// records.  All three live in code memory with the compiled method; the run
// time's exception filter reads them.
#ifndef ORVA_FRONTEND_CATCH_H
#define ORVA_FRONTEND_CATCH_H

#include <stddef.h>

#include "vm_abi.h"

struct bb_exception_entry {
    u2 start_bb;                    // block of min(start pc, code length - 1)
    u2 end_bb;                      // block of min(end pc, code length): exclusive
    u2 handler_bb;                  // block of min(handler pc, code length - 1)
    u2 pad6;
    void* directory;                // entry 0 only: the catch-frame directory
    u2 catch_type;                  // constant-pool class index, 0 = any
    u2 pad14;
};
static_assert(sizeof(bb_exception_entry) == 16);
static_assert(offsetof(bb_exception_entry, start_bb) == 0);
static_assert(offsetof(bb_exception_entry, end_bb) == 2);
static_assert(offsetof(bb_exception_entry, handler_bb) == 4);
static_assert(offsetof(bb_exception_entry, directory) == 8);
static_assert(offsetof(bb_exception_entry, catch_type) == 12);

struct catch_handler_record {
    u4 word0;                       // not written by the compiler
    const char* class_name;         // 0 catches everything
    u4 handler;                     // while compiling: JVM entry index; then the handler's address
    u4 needs_object;                // 0 when the handler starts with a catch that drops the object
};
static_assert(sizeof(catch_handler_record) == 16);

struct catch_directory_slot {
    s4 count;                       // handler records; -1 when the entry repeats the previous one
    catch_handler_record* records;
};
static_assert(sizeof(catch_directory_slot) == 8);

#endif // ORVA_FRONTEND_CATCH_H
