// Work memory pools.
//
// Everything that lives only during one compilation comes from work pools:
// bump allocation in segments of general memory, no individual frees, release
// of a whole pool at once.  Exhaustion is not reported to the caller: the
// allocator leaves the compilation by siglongjmp to the buffer named by the
// thread's compile record, so allocation sites need no checks.  The pools of
// a thread are listed on its compile record (newest first), so the driver can
// release everything after a compilation however it ended.
//
// With no compile record on the thread there is nowhere to jump to: exhaustion
// then prints a message and ends the process instead of jumping into a dead
// frame.
#include <stdlib.h>
#include <string.h>

#include "driver/driver.h"

namespace {

EE* current_ee() { return vm.EE != nullptr ? vm.EE() : nullptr; }

work_segment* new_segment(u4 size)
{
    auto* s = static_cast<work_segment*>(jit_mem_alloc(size + sizeof(work_segment), JMEM_SEGMENT));
    if (s == nullptr)
        return nullptr;
    s->next = nullptr;
    s->size = size;
    return s;
}

void unlink_pool(thread_compile_record* rec, work_pool* pool)
{
    if (pool->newer != nullptr)
        pool->newer->older = pool->older;
    else if (rec != nullptr && rec->pools == pool)
        rec->pools = pool->older;
    if (pool->older != nullptr)
        pool->older->newer = pool->newer;
    pool->newer = pool->older = nullptr;
}

void free_segments(work_segment* s)
{
    while (s != nullptr) {
        work_segment* next = s->next;
        jit_mem_free(s);
        s = next;
    }
}

[[noreturn]] void exhausted(u4 size)
{
    thread_compile_record* rec = jit_compile_record(current_ee());
    if (rec != nullptr && rec->jump != nullptr)
        siglongjmp(*rec->jump, -1);
    fprintf(stderr, "JIT: work memory exhausted (%u bytes) outside a compilation\n", size);
    exit(1);
}

} // namespace

work_pool* jit_wmem_init(u4 size)
{
    if (size == 0)
        size = WMEM_SEGMENT_SIZE;
    auto* pool = static_cast<work_pool*>(jit_mem_alloc(sizeof(work_pool), JMEM_POOL));
    if (pool == nullptr)
        return nullptr;
    work_segment* seg = new_segment(size);
    if (seg == nullptr) {
        jit_mem_free(pool);
        return nullptr;
    }
    pool->seg_count = 1;
    pool->first = pool->current = seg;
    pool->bump = work_segment_bytes(seg);
    pool->newer = nullptr;
    pool->older = nullptr;
    thread_compile_record* rec = jit_compile_record(current_ee());
    if (rec != nullptr) {
        pool->older = rec->pools;
        if (pool->older != nullptr)
            pool->older->newer = pool;
        rec->pools = pool;
    }
    return pool;
}

void* jit_wmem_alloc(work_pool* pool, u4 size)
{
    if (size == 0)
        return nullptr;
    size = (size + 3u) & ~3u;
    work_segment* cur = pool->current;
    u1* limit = work_segment_bytes(cur) + cur->size;
    if (static_cast<u4>(limit - pool->bump) >= size) {
        u1* p = pool->bump;
        pool->bump += size;
        return p;
    }
    // A later segment (left by a clear) that is large enough becomes current;
    // the too-small ones are released on the way.
    while (cur->next != nullptr) {
        work_segment* s = cur->next;
        if (s->size >= size) {
            pool->current = s;
            pool->bump = work_segment_bytes(s) + size;
            return work_segment_bytes(s);
        }
        cur->next = s->next;
        jit_mem_free(s);
        pool->seg_count--;
    }
    u4 want = size <= WMEM_SEGMENT_SIZE ? WMEM_SEGMENT_SIZE : (size > cur->size ? size : cur->size);
    work_segment* seg = new_segment(want);
    if (seg == nullptr && want != size)
        seg = new_segment(size);
    if (seg == nullptr)
        exhausted(size);
    cur->next = seg;
    pool->current = seg;
    pool->seg_count++;
    pool->bump = work_segment_bytes(seg) + size;
    return work_segment_bytes(seg);
}

void jit_wmem_free(work_pool* pool)
{
    if (pool == nullptr)
        return;
    unlink_pool(jit_compile_record(current_ee()), pool);
    free_segments(pool->first);
    jit_mem_free(pool);
}

void jit_wmem_clear(work_pool* pool)
{
    pool->current = pool->first;
    pool->bump = work_segment_bytes(pool->first);
}

void jit_wmem_reset(work_pool* pool)
{
    free_segments(pool->first->next);
    pool->first->next = nullptr;
    pool->seg_count = 1;
    jit_wmem_clear(pool);
}

u4 jit_wmem_pool_size(const work_pool* pool)
{
    u4 total = 0;
    for (const work_segment* s = pool->first; s != nullptr; s = s->next)
        total += s->size;
    return total;
}

void jit_wmem_clean_after_compilation(EE* ee)
{
    thread_compile_record* rec = jit_compile_record(ee);
    if (rec == nullptr)
        return;
    // Records pushed above the compile's frame marker (the pseudo frames of the
    // call-graph walk) are popped, and their placeholder code deregistered.
    // Only when the marker is really on the chain: otherwise the walk would
    // pop records that belong to the VM.
    if (rec->marker != nullptr) {
        u4 marker = reinterpret_cast<u4>(rec->marker);
        bool present = false;
        for (u4 head = ee->transition; head != 0; head = *reinterpret_cast<u4*>(head) & ~TR_TAG_MASK) {
            if ((reinterpret_cast<u4*>(head)[1] & ~1u) == marker) {
                present = true;
                break;
            }
        }
        while (present && ee->transition != 0) {
            u4* record = reinterpret_cast<u4*>(ee->transition);
            u4 at = record[1] & ~1u;
            if (at == marker)
                break;
            rcc* placeholder = search_committed_code0(*reinterpret_cast<u4*>(at));
            if (placeholder != nullptr)
                deregister_committed_code(&placeholder, 1);
            ee->transition = record[0] & ~TR_TAG_MASK;
        }
    }
    while (rec->pools != nullptr) {
        work_pool* pool = rec->pools;
        unlink_pool(rec, pool);
        free_segments(pool->first);
        jit_mem_free(pool);
    }
}

void jit_wmem_free_newer_than(EE* ee, work_pool* keep)
{
    thread_compile_record* rec = jit_compile_record(ee);
    if (rec == nullptr)
        return;
    while (rec->pools != nullptr && rec->pools != keep) {
        work_pool* pool = rec->pools;
        unlink_pool(rec, pool);
        free_segments(pool->first);
        jit_mem_free(pool);
    }
}
