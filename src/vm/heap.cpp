// Memory: the metadata arena and the phase-1 bump heap.
//
// Metadata arena: mmap'd chunks, bump allocation, 8-byte alignment, zeroed,
// never freed and never moved (compiled code embeds the addresses of class,
// method and field blocks, constant-pool slots and method tables).  The first
// chunk is aligned to 16 MB and its first bytes are set aside for the method
// table of java/lang/Class: that address then has bit 23 clear, so the byte
// at class block + 2 never has bit 7 set (compiled checkcast omits its null
// test when that bit is set).
//
// Heap: one reservation of -Xmx bytes, zero-filled by the kernel, one global
// bump pointer advanced with lock cmpxchg.  Object pointers are 8-aligned and
// their blocks start 4 bytes earlier with the pre-header word; block sizes
// are multiples of 8, so every block starts at 4 mod 8.  Memory is never
// reused before the collector exists, so fresh blocks are already zero.
#include <pthread.h>
#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vm.h"

namespace {

constexpr u4 META_FIRST_ALIGN = 16u << 20;     // bit 23 of the first chunk's start is 0
constexpr u4 META_CHUNK = 4u << 20;
constexpr u4 META_CLASS_MT_RESERVE = 4096;     // up to 1023 method-table slots

constinit pthread_mutex_t meta_lock = PTHREAD_MUTEX_INITIALIZER;
constinit u1* meta_pos = nullptr;
constinit u1* meta_end = nullptr;
constinit u1* meta_class_mt = nullptr;         // reserved area, 0 once handed out
constinit method_table* class_methodtable = nullptr;
constinit classblock** unpatched = nullptr;   // class blocks made before Class was linked
constinit u4 nunpatched = 0;
constinit u4 unpatched_capacity = 0;

constinit u1* heap_start = nullptr;
constinit u1* heap_end = nullptr;
constinit u1* heap_top = nullptr;               // start of the next block

[[noreturn]] void meta_exhausted(size_t bytes)
{
    std::fprintf(stderr, "Internal VM error: cannot map %lu bytes of class metadata\n",
                 static_cast<unsigned long>(bytes));
    std::abort();
}

// Maps `bytes` aligned to `align` (a power of two), trimming the slack.
u1* map_aligned(size_t bytes, size_t align)
{
    size_t span = bytes + align;
    void* p = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                   -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    uintptr_t raw = reinterpret_cast<uintptr_t>(p);
    uintptr_t start = (raw + align - 1) & ~(uintptr_t)(align - 1);
    if (start > raw)
        munmap(p, start - raw);
    uintptr_t tail = start + bytes;
    if (raw + span > tail)
        munmap(reinterpret_cast<void*>(tail), raw + span - tail);
    return reinterpret_cast<u1*>(start);
}

// Called with meta_lock held.
void meta_first_chunk_locked()
{
    u1* base = map_aligned(META_CHUNK, META_FIRST_ALIGN);
    if (!base)
        meta_exhausted(META_CHUNK);
    meta_class_mt = base;
    meta_pos = base + META_CLASS_MT_RESERVE;
    meta_end = base + META_CHUNK;
}

}  // namespace

void* vm_meta_alloc(size_t bytes)
{
    bytes = (bytes + 7) & ~static_cast<size_t>(7);
    if (bytes == 0)
        bytes = 8;
    pthread_mutex_lock(&meta_lock);
    if (!meta_pos)
        meta_first_chunk_locked();
    if (static_cast<size_t>(meta_end - meta_pos) < bytes) {
        size_t chunk = bytes > META_CHUNK / 4 ? (bytes + 4095) & ~static_cast<size_t>(4095) : META_CHUNK;
        u1* base = map_aligned(chunk, 4096);
        if (!base) {
            pthread_mutex_unlock(&meta_lock);
            meta_exhausted(bytes);
        }
        if (chunk != META_CHUNK) {
            // A large block gets its own mapping; the current chunk goes on.
            pthread_mutex_unlock(&meta_lock);
            return base;
        }
        meta_pos = base;
        meta_end = base + chunk;
    }
    u1* p = meta_pos;
    meta_pos += bytes;
    pthread_mutex_unlock(&meta_lock);
    return p;
}

char* vm_meta_strdup(const char* s)
{
    size_t n = std::strlen(s) + 1;
    char* d = static_cast<char*>(vm_meta_alloc(n));
    std::memcpy(d, s, n);
    return d;
}

void* vm_meta_alloc_class_methodtable(size_t bytes)
{
    pthread_mutex_lock(&meta_lock);
    if (!meta_pos)
        meta_first_chunk_locked();
    u1* p = nullptr;
    if (meta_class_mt && bytes <= META_CLASS_MT_RESERVE) {
        p = meta_class_mt;
        meta_class_mt = nullptr;
    }
    pthread_mutex_unlock(&meta_lock);
    return p;
}

classblock* vm_meta_alloc_classblock()
{
    // 8 bytes in front: the pre-header word at cb-4, and cb itself 8-aligned
    // like every object pointer.
    u1* block = static_cast<u1*>(vm_meta_alloc(CB_SIZE + 8));
    classblock* cb = reinterpret_cast<classblock*>(block + 8);
    for (;;) {
        pthread_mutex_lock(&meta_lock);
        if (class_methodtable) {
            cb->class_methodtable = class_methodtable;
            break;
        }
        if (nunpatched < unpatched_capacity) {
            unpatched[nunpatched++] = cb;
            break;
        }
        // Grow the list outside the lock (vm_meta_alloc takes it).
        u4 cap = unpatched_capacity ? unpatched_capacity * 2 : 64;
        pthread_mutex_unlock(&meta_lock);
        auto* grown = static_cast<classblock**>(vm_meta_alloc(cap * sizeof(classblock*)));
        pthread_mutex_lock(&meta_lock);
        if (cap > unpatched_capacity) {
            if (nunpatched)
                std::memcpy(grown, unpatched, nunpatched * sizeof(classblock*));
            unpatched = grown;
            unpatched_capacity = cap;
        }
        pthread_mutex_unlock(&meta_lock);
    }
    pthread_mutex_unlock(&meta_lock);
    return cb;
}

void vm_patch_classblock_word0(method_table* class_mt)
{
    pthread_mutex_lock(&meta_lock);
    class_methodtable = class_mt;
    for (u4 i = 0; i < nunpatched; i++)
        unpatched[i]->class_methodtable = class_mt;
    nunpatched = 0;
    pthread_mutex_unlock(&meta_lock);
}

void vm_heap_init(u4 heap_bytes)
{
    if (heap_start)
        return;
    heap_bytes = (heap_bytes + 4095) & ~4095u;
    if (heap_bytes < (1u << 20))
        heap_bytes = 1u << 20;
    void* p = mmap(nullptr, heap_bytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) {
        std::fprintf(stderr, "Error: could not reserve %u bytes for the object heap\n", heap_bytes);
        std::exit(1);
    }
    heap_start = static_cast<u1*>(p);
    heap_end = heap_start + heap_bytes;
    heap_top = heap_start + 4;                  // blocks start at 4 mod 8
    // The metadata arena's first chunk is made now, before any class block,
    // so that the Class method-table reserve is its first allocation.
    pthread_mutex_lock(&meta_lock);
    if (!meta_pos)
        meta_first_chunk_locked();
    pthread_mutex_unlock(&meta_lock);
}

jref vm_heap_alloc_raw(u4 size)
{
    u1* top = __atomic_load_n(&heap_top, __ATOMIC_RELAXED);
    for (;;) {
        if (!top || size > static_cast<u4>(heap_end - top))
            return nullptr;
        if (__atomic_compare_exchange_n(&heap_top, &top, top + size, true, __ATOMIC_ACQ_REL,
                                        __ATOMIC_RELAXED))
            return reinterpret_cast<jref>(top + 4);
    }
}

u4 vm_object_block_size(classblock* cb)
{
    return (static_cast<u4>(cb->instance_size) + 19) & ~7u;
}

u4 vm_array_block_size(int type, s4 length)
{
    uint64_t data = static_cast<uint64_t>(static_cast<u4>(length)) * vm_type_size(type);
    if (type == T_REFERENCE)
        data += 4;                               // trailing element-class word
    uint64_t size = (data + 19) & ~static_cast<uint64_t>(7);
    return size > 0xFFFFFFF0u ? 0xFFFFFFF8u : static_cast<u4>(size);
}

jref vm_alloc_object_noraise(classblock* cb)
{
    jref o = vm_heap_alloc_raw(vm_object_block_size(cb));
    if (o)
        o->word0 = reinterpret_cast<u4>(cb->methodtable);
    return o;
}

jref vm_alloc_array_noraise(int type, s4 length)
{
    if (length < 0)
        return nullptr;
    jref o = vm_heap_alloc_raw(vm_array_block_size(type, length));
    if (o) {
        o->word0 = static_cast<u4>(length);
        o->lockword = static_cast<u4>((type & 31) * 8 | LOCK_HDR_ARRAY);
    }
    return o;
}

jref vm_new_object(EE* ee, classblock* cb)
{
    jref o = vm_alloc_object_noraise(cb);
    if (!o) {
        char name[256];
        vm_throw(ee, "java/lang/OutOfMemoryError", vm_class_name_dotted(cb, name, sizeof name));
    }
    return o;
}

jref vm_new_array(EE* ee, int type, s4 length)
{
    if (length < 0) {
        vm_throw(ee, "java/lang/NegativeArraySizeException", nullptr);
        return nullptr;
    }
    jref o = vm_alloc_array_noraise(type, length);
    if (!o)
        vm_throw(ee, "java/lang/OutOfMemoryError", nullptr);
    return o;
}

jref vm_new_object_array(EE* ee, classblock* element_class, s4 length)
{
    jref o = vm_new_array(ee, T_REFERENCE, length);
    if (o)
        vm_array_element_class(o) = element_class;
    return o;
}

namespace {

jref new_multi(EE* ee, classblock* cb, int ndims, const s4* dims)
{
    if (cb->type_code != T_REFERENCE)
        return vm_new_array(ee, cb->type_code, dims[0]);
    jref a = vm_new_object_array(ee, cb->element_class, dims[0]);
    if (!a || ndims == 1)
        return a;
    u4* elems = vm_array_elems<u4>(a);
    for (s4 i = 0; i < dims[0]; i++) {
        jref sub = new_multi(ee, cb->element_class, ndims - 1, dims + 1);
        if (!sub)
            return nullptr;
        elems[i] = reinterpret_cast<u4>(sub);
    }
    return a;
}

}  // namespace

jref vm_new_multi_array(EE* ee, classblock* cb, int ndims, const s4* dims)
{
    for (int i = 0; i < ndims; i++) {
        if (dims[i] < 0) {
            vm_throw(ee, "java/lang/NegativeArraySizeException", nullptr);
            return nullptr;
        }
    }
    if (ndims < 1 || !(cb->state & CS_ARRAY) || static_cast<u4>(ndims) > cb->dimensions) {
        vm_throw(ee, "java/lang/InternalError", "bad multianewarray dimensions");
        return nullptr;
    }
    return new_multi(ee, cb, ndims, dims);
}

bool vm_heap_contains(const void* p)
{
    const u1* b = static_cast<const u1*>(p);
    return b >= heap_start && b < __atomic_load_n(&heap_top, __ATOMIC_ACQUIRE);
}

u4 vm_heap_used()
{
    return heap_start ? static_cast<u4>(__atomic_load_n(&heap_top, __ATOMIC_RELAXED) - heap_start) : 0;
}

u4 vm_heap_capacity()
{
    return static_cast<u4>(heap_end - heap_start);
}

void vm_heap_bounds(u4* start, u4* end)
{
    *start = reinterpret_cast<u4>(heap_start);
    *end = reinterpret_cast<u4>(heap_end);
}

u4 vm_identity_hash(jref o)
{
    static constinit u4 hash_state = 0x2545F491u;
    u4* pre = &vm_preheader(o);
    u4 old = __atomic_load_n(pre, __ATOMIC_RELAXED);
    if (old & PREHDR_HASHED)
        return old & PREHDR_HASH_MASK;
    // Weyl sequence through a xorshift mix; any non-zero 29-bit value will do.
    u4 h;
    do {
        u4 x = __atomic_add_fetch(&hash_state, 0x9E3779B9u, __ATOMIC_RELAXED);
        x ^= x >> 16;
        x *= 0x7FEB352Du;
        x ^= x >> 15;
        x *= 0x846CA68Bu;
        x ^= x >> 16;
        h = x & PREHDR_HASH_MASK;
    } while (h == 0);
    // The contention flag may change under us: only our bits are added.
    while (!(old & PREHDR_HASHED)) {
        if (__atomic_compare_exchange_n(pre, &old, old | PREHDR_HASHED | h, true, __ATOMIC_ACQ_REL,
                                        __ATOMIC_RELAXED))
            return h;
    }
    return old & PREHDR_HASH_MASK;
}
