// Records of the compiler's memory managers: the general/code allocator's
// block header and areas, and the per-compilation work pools.
//
// General memory is cut from large areas: code areas (kinds 1 to 3) are
// mmap'd read-write-execute, because compiled code runs from them; work areas
// (every other kind) come from malloc.  Blocks tile an area completely; each
// carries a two-word header before its payload, the payload of an allocated
// block ends with its owner word (the allocating thread's EE), and the word
// after the last block of an area links to the next area.  Free blocks of all
// areas form one doubly linked list kept in address order.
#ifndef ORVA_DRIVER_MEMORY_H
#define ORVA_DRIVER_MEMORY_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"

// Kinds of general memory.
constexpr int JMEM_CODE_TABLE = 1;      // read-only tables kept with code (Math table)
constexpr int JMEM_CODE       = 2;      // code memory of a compiled method
constexpr int JMEM_CONTROL    = 3;      // compiled-code control blocks, class-hierarchy records
constexpr int JMEM_MONITOR    = 4;      // VM system monitor storage
constexpr int JMEM_POOL       = 5;      // work-pool header
constexpr int JMEM_SEGMENT    = 6;      // work-pool segment
constexpr int JMEM_DATA       = 7;      // words compiled code writes at run time (class-cache cells)

inline bool jit_mem_kind_is_code(int kind) { return kind >= JMEM_CODE_TABLE && kind <= JMEM_CONTROL; }

// Block header, two words before the payload.
struct mem_block {
    mem_block* prev;            // physically preceding block of the same area; 0 for the first
    u4 size_flags;              // payload bytes (multiple of 8) | MEMB_* flags
};
static_assert(sizeof(mem_block) == 8);
static_assert(offsetof(mem_block, prev) == 0);
static_assert(offsetof(mem_block, size_flags) == 4);

constexpr u4 MEMB_USED = 0x1;           // block handed out
constexpr u4 MEMB_LAST = 0x2;           // last block of its area; the area link follows it
constexpr u4 MEMB_WORK = 0x4;           // block of a work area
constexpr u4 MEMB_FLAGS = 0x7;

// A free block's first two payload words.
struct mem_free_links {
    mem_block* prev_free;
    mem_block* next_free;
};

constexpr u4 JMEM_WORK_AREA_SIZE  = 0x80000;    // start-up and minimum work area
constexpr u4 JMEM_DEFAULT_CODE_SIZE = 0x400000; // ORVA_BUFSIZE default
constexpr u4 JMEM_SPLIT_MIN       = 24;         // a remainder below this is not split off

// Payload bytes needed for a request of n bytes: n rounded up to 4, plus the
// owner word, rounded up to 8.
constexpr u4 jit_mem_payload_size(u4 n) { return (((n + 3u) & ~3u) + 11u) & ~7u; }

// ---------------------------------------------------------------------------
// Work pools.
// ---------------------------------------------------------------------------
struct work_segment {
    work_segment* next;
    u4 size;                    // usable bytes after this header
};
static_assert(sizeof(work_segment) == 8);

struct work_pool {
    work_pool* newer;           // links of the thread's pool list
    work_pool* older;
    u4 seg_count;
    u1* bump;                   // next free byte of the current segment
    work_segment* first;
    work_segment* current;
};
static_assert(sizeof(work_pool) == 24);
static_assert(offsetof(work_pool, newer) == 0);
static_assert(offsetof(work_pool, older) == 4);
static_assert(offsetof(work_pool, seg_count) == 8);
static_assert(offsetof(work_pool, bump) == 12);
static_assert(offsetof(work_pool, first) == 16);
static_assert(offsetof(work_pool, current) == 20);

constexpr u4 WMEM_SEGMENT_SIZE = 16376;     // 16384 less the segment header

inline u1* work_segment_bytes(work_segment* s) { return reinterpret_cast<u1*>(s + 1); }

#endif // ORVA_DRIVER_MEMORY_H
