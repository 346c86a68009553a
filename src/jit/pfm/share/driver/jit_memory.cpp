// General and code memory.
//
// One first-fit allocator serves every long-lived need of the compiler from
// large areas: compiled code and its tables (kinds 1 to 3, from code areas,
// which are mmap'd read-write-execute because malloc'd memory is not
// executable), and monitors, work-pool headers and work segments (kinds 4 to
// 6, from malloc'd work areas).  Blocks tile each area; free blocks of all
// areas are in one address-ordered doubly linked list, searched from the head
// for code kinds and from the tail for work kinds.  A block that leaves at
// least 24 spare bytes is split: code requests take its front, work requests
// its back.  Freeing coalesces with free neighbours of the same area.
//
// Code memory of a committed method is released only through the delayed
// free: revocation queues the code on a pending list, `jit_commit_delayed_free`
// makes the pending lists current, and the next allocation or free runs them
// (deregistering the committed-code records and freeing their code chains).
// An atomic guard keeps one thread at a time in the delayed free.
#include <limits.h>
#include <initializer_list>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include "driver/driver.h"

u4 jit_code_area_size;
int jit_mem_inject_failure;

namespace {

u1 mem_lock[SYS_MONITOR_MAX_SIZE] __attribute__((aligned(8)));
u1 mem_lock_unused[SYS_MONITOR_MAX_SIZE] __attribute__((aligned(8)));

mem_block* free_head;
mem_block* free_tail;
mem_block* area_head;           // first block of the first area
mem_block* main_code_area;      // first block of the code area made last

// Delayed-free queues: a node per queued block.
struct delayed_node {
    delayed_node* next;
    void* block;
    rcc* record;                // code list: the record whose range holds the block
};
struct delayed_lists {
    delayed_node* current;
    delayed_node* pending;
};
delayed_lists code_lists;
delayed_lists plain_lists;
volatile u4 delayed_guard;

constexpr u4 CODE_AREA_MIN = 0x1000;

u4 block_size(const mem_block* b) { return b->size_flags & ~MEMB_FLAGS; }
bool block_used(const mem_block* b) { return b->size_flags & MEMB_USED; }
bool block_last(const mem_block* b) { return b->size_flags & MEMB_LAST; }
bool block_work(const mem_block* b) { return b->size_flags & MEMB_WORK; }
u1* payload(mem_block* b) { return reinterpret_cast<u1*>(b + 1); }
mem_block* header_of(const void* p) { return reinterpret_cast<mem_block*>(const_cast<void*>(p)) - 1; }
mem_free_links* links(mem_block* b) { return reinterpret_cast<mem_free_links*>(b + 1); }
mem_block* next_physical(mem_block* b) { return reinterpret_cast<mem_block*>(payload(b) + block_size(b)); }
mem_block** area_link(mem_block* last) { return reinterpret_cast<mem_block**>(payload(last) + block_size(last)); }


void free_list_remove(mem_block* b)
{
    mem_free_links* l = links(b);
    if (l->prev_free != nullptr)
        links(l->prev_free)->next_free = l->next_free;
    else
        free_head = l->next_free;
    if (l->next_free != nullptr)
        links(l->next_free)->prev_free = l->prev_free;
    else
        free_tail = l->prev_free;
}

// Inserts b between its nearest free neighbours by address.
void free_list_insert(mem_block* b)
{
    mem_block* after = nullptr;
    for (mem_block* f = free_tail; f != nullptr; f = links(f)->prev_free) {
        if (f < b) {
            after = f;
            break;
        }
    }
    mem_free_links* l = links(b);
    l->prev_free = after;
    l->next_free = after != nullptr ? links(after)->next_free : free_head;
    if (l->next_free != nullptr)
        links(l->next_free)->prev_free = b;
    else
        free_tail = b;
    if (after != nullptr)
        links(after)->next_free = b;
    else
        free_head = b;
}

// Makes an area of `bytes` at `base` (8-aligned) holding one free block.
mem_block* make_area(u1* base, u4 bytes, bool work)
{
    auto* b = reinterpret_cast<mem_block*>(base);
    b->prev = nullptr;
    b->size_flags = ((bytes - 12) & ~7u) | MEMB_LAST | (work ? MEMB_WORK : 0);
    *area_link(b) = nullptr;
    free_list_insert(b);
    return b;
}

mem_block* new_work_area(u4 bytes)
{
    void* raw = malloc(bytes + 8);
    if (raw == nullptr)
        return nullptr;
    u1* base = reinterpret_cast<u1*>((reinterpret_cast<uintptr_t>(raw) + 7) & ~uintptr_t{7});
    return make_area(base, bytes, true);
}

mem_block* new_code_area(u4 bytes)
{
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    return make_area(static_cast<u1*>(p), bytes, false);
}

mem_block* last_block_of(mem_block* first)
{
    mem_block* b = first;
    while (!block_last(b))
        b = next_physical(b);
    return b;
}

// A new area joins the chain right after the main code buffer.
void chain_area(mem_block* area)
{
    if (main_code_area == nullptr) {
        if (area_head == nullptr) {
            area_head = area;
        } else {
            mem_block* a = area_head;
            for (;;) {
                mem_block** link = area_link(last_block_of(a));
                if (*link == nullptr) {
                    *link = area;
                    break;
                }
                a = *link;
            }
        }
        return;
    }
    mem_block** main_link = area_link(last_block_of(main_code_area));
    *area_link(last_block_of(area)) = *main_link;
    *main_link = area;
}

mem_block* find_fit(u4 need, bool code)
{
    if (code) {
        for (mem_block* f = free_head; f != nullptr; f = links(f)->next_free)
            if (!block_work(f) && block_size(f) >= need)
                return f;
    } else {
        for (mem_block* f = free_tail; f != nullptr; f = links(f)->prev_free)
            if (block_work(f) && block_size(f) >= need)
                return f;
    }
    return nullptr;
}

// Cuts a block of payload `need` out of free block f and marks it used.
mem_block* take(mem_block* f, u4 need, bool code)
{
    u4 size = block_size(f);
    if (size < need + JMEM_SPLIT_MIN) {
        free_list_remove(f);
        f->size_flags |= MEMB_USED;
        return f;
    }
    u4 flags = f->size_flags & (MEMB_LAST | MEMB_WORK);
    mem_block* follower = block_last(f) ? nullptr : next_physical(f);
    if (code) {
        // Front to the request; the rest stays free in f's place in the list.
        mem_free_links saved = *links(f);
        f->size_flags = need | MEMB_USED | (flags & MEMB_WORK);
        mem_block* rest = next_physical(f);
        rest->prev = f;
        rest->size_flags = (size - need - 8) | flags;
        *links(rest) = saved;
        if (saved.prev_free != nullptr)
            links(saved.prev_free)->next_free = rest;
        else
            free_head = rest;
        if (saved.next_free != nullptr)
            links(saved.next_free)->prev_free = rest;
        else
            free_tail = rest;
        if (follower != nullptr)
            follower->prev = rest;
        return f;
    }
    // Back to the request; the front stays free where it is.
    f->size_flags = (size - need - 8) | (flags & MEMB_WORK);
    mem_block* used = next_physical(f);
    used->prev = f;
    used->size_flags = need | MEMB_USED | flags;
    if (follower != nullptr)
        follower->prev = used;
    return used;
}

bool grow(u4 need, bool code)
{
    mem_block* area;
    if (code) {
        if (need + 8 > jit_code_area_size - 8)
            return false;   // does not fit even in a fresh area
        area = new_code_area(jit_code_area_size);
        if (area == nullptr)
            return false;
        chain_area(area);
        main_code_area = area;
        return true;
    }
    u4 bytes = need + 8 > JMEM_WORK_AREA_SIZE ? need + 8 : JMEM_WORK_AREA_SIZE;
    area = new_work_area(bytes + 12);
    if (area == nullptr)
        return false;
    chain_area(area);
    return true;
}

void release(mem_block* b)
{
    b->size_flags &= ~MEMB_USED;
    if (!block_last(b)) {
        mem_block* next = next_physical(b);
        if (!block_used(next)) {
            free_list_remove(next);
            b->size_flags = (block_size(b) + 8 + block_size(next)) | (b->size_flags & MEMB_WORK)
                            | (next->size_flags & MEMB_LAST);
            if (!block_last(b))
                next_physical(b)->prev = b;
        }
    }
    mem_block* prev = b->prev;
    if (prev != nullptr && !block_used(prev)) {
        prev->size_flags = (block_size(prev) + 8 + block_size(b)) | (prev->size_flags & MEMB_WORK)
                           | (b->size_flags & MEMB_LAST);
        if (!block_last(prev))
            next_physical(prev)->prev = prev;
        return;     // prev is already in the list at its place
    }
    free_list_insert(b);
}

u4 code_chain_bytes(void* first_piece)
{
    u4 total = 0;
    for (u1* piece = static_cast<u1*>(first_piece); piece != nullptr;
         piece = *reinterpret_cast<u1**>(piece - 4))
        total += block_size(header_of(piece - 4));
    return total;
}

// Runs one family's current list; the guard is held.
u4 run_code_list(delayed_node* list)
{
    u4 freed = 0;
    while (list != nullptr) {
        rcc* batch[16];
        int n = 0;
        delayed_node* rest = list;
        for (; rest != nullptr && n < 16; rest = rest->next)
            if (rest->record != nullptr)
                batch[n++] = rest->record;
        deregister_committed_code(batch, n);
        for (int i = 0; i < n; i++) {
            freed += code_chain_bytes(batch[i]);
            jit_code_mem_free_chain(batch[i]);
        }
        while (list != rest) {
            delayed_node* next = list->next;
            free(list);
            list = next;
        }
    }
    return freed;
}

u4 run_plain_list(delayed_node* list)
{
    u4 freed = 0;
    while (list != nullptr) {
        delayed_node* next = list->next;
        freed += block_size(header_of(list->block));
        jit_mem_free(list->block);
        free(list);
        list = next;
    }
    return freed;
}

void queue(delayed_node** head, void* block, rcc* record)
{
    auto* n = static_cast<delayed_node*>(malloc(sizeof(delayed_node)));
    if (n == nullptr) {
        fprintf(stderr, "JIT: out of memory queueing a delayed free\n");
        return;     // the block stays allocated: a leak, never a dangling pointer
    }
    n->block = block;
    n->record = record;
    jit_cc_write_lock();    // the list heads are guarded by the registry's lock
    n->next = *head;
    *head = n;
    jit_cc_write_unlock();
}

} // namespace

int jit_atomi(const char* text)
{
    if (text == nullptr || *text == '\0')
        return 0;
    long long integer = 0, fraction = 0, scale = 1;
    long long multiplier = 1;
    bool in_fraction = false;
    for (const char* p = text; *p != '\0'; p++) {
        char c = *p;
        if (c >= '0' && c <= '9') {
            if (in_fraction) {
                if (scale < 1000000000LL) {
                    fraction = fraction * 10 + (c - '0');
                    scale *= 10;
                }
            } else if (integer < INT_MAX) {
                integer = integer * 10 + (c - '0');
            }
        } else if (c == '.' && !in_fraction) {
            in_fraction = true;
        } else if (c == 'K' || c == 'k') {
            multiplier = 1024;
        } else if (c == 'M' || c == 'm') {
            multiplier = 0x100000;
        } else {
            return 0;
        }
    }
    long long value = integer * multiplier + fraction * multiplier / scale;
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

void jit_setup_buf_size(const char* text)
{
    jit_code_area_size = static_cast<u4>(jit_atomi(text));
}

int jit_init_memory_manager(void)
{
    if (jit_code_area_size == 0)
        jit_code_area_size = static_cast<u4>(jit_atomi(getenv("ORVA_BUFSIZE")));
    if (jit_code_area_size == 0)
        jit_code_area_size = JMEM_DEFAULT_CODE_SIZE;
    if (jit_code_area_size < CODE_AREA_MIN)
        jit_code_area_size = CODE_AREA_MIN;
    jit_code_area_size = (jit_code_area_size + 0xFFFu) & ~0xFFFu;
    if (vm.sysMonitorInit != nullptr) {
        vm.sysMonitorInit(mem_lock);
        vm.sysMonitorInit(mem_lock_unused);
    }
    free_head = free_tail = nullptr;
    area_head = main_code_area = nullptr;
    for (int i = 0; i < 2; i++) {
        mem_block* area = new_work_area(JMEM_WORK_AREA_SIZE);
        if (area != nullptr)
            chain_area(area);
    }
    mem_block* code = new_code_area(jit_code_area_size);
    if (code == nullptr) {
        fprintf(stderr, "JIT: cannot map %u bytes of code memory\n", jit_code_area_size);
        return 1;
    }
    chain_area(code);
    main_code_area = code;
    code_lists = delayed_lists{};
    plain_lists = delayed_lists{};
    delayed_guard = 0;
    return 0;
}

void* jit_mem_alloc(u4 size, int kind)
{
    if (size == 0)
        return nullptr;
    if (jit_mem_inject_failure > 0 && --jit_mem_inject_failure == 0)
        return nullptr;
    jit_do_delayed_free();
    u4 need = jit_mem_payload_size(size);
    if (need < size)
        return nullptr;     // wrapped around: no such block
    bool code = jit_mem_kind_is_code(kind);
    jit_monitor_enter(mem_lock);
    mem_block* f = find_fit(need, code);
    if (f == nullptr && grow(need, code))
        f = find_fit(need, code);
    mem_block* b = f != nullptr ? take(f, need, code) : nullptr;
    jit_monitor_exit(mem_lock);
    if (b == nullptr)
        return nullptr;
    EE* owner = vm.EE != nullptr ? vm.EE() : nullptr;
    *reinterpret_cast<EE**>(payload(b) + block_size(b) - 4) = owner;
    return payload(b);
}

void jit_mem_free(void* address)
{
    if (address == nullptr)
        return;
    jit_do_delayed_free();
    jit_monitor_enter(mem_lock);
    release(header_of(address));
    jit_monitor_exit(mem_lock);
}

u4 jit_mem_payload_of(const void* p)
{
    return block_size(header_of(p));
}

void jit_mem_partial_free(void* block, void* end)
{
    if (block == nullptr)
        return;
    mem_block* b = header_of(block);
    u1* start = payload(b);
    if (static_cast<u1*>(end) < start)
        return;
    u4 kept = (static_cast<u4>(static_cast<u1*>(end) - start) + 7u) & ~7u;
    u4 size = block_size(b);
    if (kept > size || size - kept < JMEM_SPLIT_MIN)
        return;
    jit_monitor_enter(mem_lock);
    u4 flags = b->size_flags & (MEMB_LAST | MEMB_WORK);
    mem_block* follower = block_last(b) ? nullptr : next_physical(b);
    b->size_flags = kept | MEMB_USED | (flags & MEMB_WORK);
    mem_block* rest = next_physical(b);
    rest->prev = b;
    rest->size_flags = (size - kept - 8) | flags;
    if (follower != nullptr) {
        if (!block_used(follower)) {
            free_list_remove(follower);
            rest->size_flags = (block_size(rest) + 8 + block_size(follower)) | (flags & MEMB_WORK)
                               | (follower->size_flags & MEMB_LAST);
            if (!block_last(rest))
                next_physical(rest)->prev = rest;
        } else {
            follower->prev = rest;
        }
    }
    free_list_insert(rest);
    jit_monitor_exit(mem_lock);
}

// Finds one used work-area block whose owner word is `owner`.
static mem_block* find_owned(EE* owner)
{
    for (mem_block* area = area_head; area != nullptr;) {
        mem_block* b = area;
        for (;;) {
            if (block_used(b) && block_work(b)
                && *reinterpret_cast<EE**>(payload(b) + block_size(b) - 4) == owner)
                return b;
            if (block_last(b))
                break;
            b = next_physical(b);
        }
        area = *area_link(b);
    }
    return nullptr;
}

void jit_mem_free_all(EE* owner)
{
    // Coalescing moves block boundaries, so every release starts a new scan.
    jit_monitor_enter(mem_lock);
    for (mem_block* b = find_owned(owner); b != nullptr; b = find_owned(owner))
        release(b);
    jit_monitor_exit(mem_lock);
}

int jit_inside_code_area(const void* address)
{
    const u1* a = static_cast<const u1*>(address);
    for (mem_block* area = area_head; area != nullptr;) {
        mem_block* last = last_block_of(area);
        if (a >= reinterpret_cast<u1*>(area) && a < payload(last) + block_size(last))
            return 1;
        if (area == main_code_area)
            break;
        area = *area_link(last);
    }
    return 0;
}

// A piece of `kind` for the compilation's chain (its first word links it).
static u1* chained_piece(method_compile_context* m, u4 size, int kind)
{
    u4 n = (size < 8 ? 8 : size) + 4;
    auto* p = static_cast<u1*>(jit_mem_alloc(n, kind));
    if (p == nullptr)
        return nullptr;
    u1* piece = p + 4;
    auto** link = reinterpret_cast<u1**>(p);
    if (m->code_mem_chain == nullptr) {
        *link = nullptr;
        m->code_mem_chain = piece;
    } else {
        u1** head_link = reinterpret_cast<u1**>(static_cast<u1*>(m->code_mem_chain) - 4);
        *link = *head_link;
        *head_link = piece;
    }
    return piece;
}

void jit_code_mem_alloc(void** out, method_compile_context* m, u4 size)
{
    *out = chained_piece(m, size, JMEM_CODE);
}

// Data that compiled code writes while it runs stays off the pages that hold
// code: a store to such a page makes an emulator (and some processors) drop
// or re-check the code translated from it, under threads that run that code.
// The piece comes from a work area, is chained and freed with the code, and
// belongs to no thread.
void jit_data_mem_alloc(void** out, method_compile_context* m, u4 size)
{
    u1* piece = chained_piece(m, size, JMEM_DATA);
    if (piece != nullptr) {
        mem_block* b = header_of(piece - 4);
        *reinterpret_cast<EE**>(payload(b) + block_size(b) - 4) = nullptr;
    }
    *out = piece;
}

void jit_code_mem_partial_free(void* piece, void* end)
{
    u1* p = static_cast<u1*>(piece);
    u1* e = static_cast<u1*>(end);
    if (e < p + 8)
        e = p + 8;
    jit_mem_partial_free(p - 4, e);
}

void jit_code_mem_free_chain(void* first_piece)
{
    u1* piece = static_cast<u1*>(first_piece);
    while (piece != nullptr) {
        u1* next = *reinterpret_cast<u1**>(piece - 4);
        jit_mem_free(piece - 4);
        piece = next;
    }
}

void jit_mem_delayed_free1(void* code_block)
{
    rcc* record = search_committed_code0(reinterpret_cast<u4>(code_block));
    if (record != nullptr) {
        if (record->flags & RCC_F_DELAYED_FREE)
            return;     // already queued: freeing it twice would corrupt the arena
        set_cc_delayed_free(record);
    }
    queue(&code_lists.pending, code_block, record);
}

void jit_mem_delayed_free2(void* block)
{
    if (block != nullptr)
        queue(&plain_lists.pending, block, nullptr);
}

void jit_commit_delayed_free(void)
{
    jit_cc_write_lock();
    for (delayed_lists* l : {&code_lists, &plain_lists}) {
        if (l->current == nullptr && l->pending != nullptr) {
            l->current = l->pending;
            l->pending = nullptr;
        }
    }
    jit_cc_write_unlock();
}

int jit_do_delayed_free(void)
{
    if (code_lists.current == nullptr && plain_lists.current == nullptr)
        return 0;
    if (AtomicTestAndSet(&delayed_guard) != 0)
        return 0;
    jit_cc_write_lock();
    delayed_node* code = code_lists.current;
    delayed_node* plain = plain_lists.current;
    code_lists.current = nullptr;
    plain_lists.current = nullptr;
    jit_cc_write_unlock();
    u4 freed = run_code_list(code) + run_plain_list(plain);
    delayed_guard = 0;
    return static_cast<int>(freed);
}

void* jit_nccb_malloc(classblock* cb)
{
    void* first = nullptr;
    struct {
        methodblock* methods;
        u2 count;
    } const arrays[] = {{cb->methods, cb->methods_count}, {cb->mirandas, cb->miranda_count}};
    for (const auto& a : arrays) {
        if (a.count == 0 || a.methods == nullptr)
            continue;
        auto* blocks = static_cast<u1*>(jit_mem_alloc(a.count * NCCB_SIZE, JMEM_CONTROL));
        if (blocks == nullptr) {
            fprintf(stderr, "JIT: out of code memory for the control blocks of %s\n", cb->name);
            continue;   // the methods keep no control block; their glue is not made
        }
        memset(blocks, 0, a.count * NCCB_SIZE);
        for (u2 i = 0; i < a.count; i++) {
            u1* ccb = blocks + i * NCCB_SIZE;
            // Word 8 links the control blocks of one array; the last link is 0.
            reinterpret_cast<u4*>(ccb)[8] = i + 1 < a.count ? reinterpret_cast<u4>(ccb + NCCB_SIZE) : 0;
            a.methods[i].compiled_code_info = ccb;
        }
        if (first == nullptr)
            first = blocks;
    }
    return first;
}

void jit_nccb_free(classblock* cb)
{
    if (cb->methods_count != 0 && cb->methods != nullptr)
        jit_mem_free(cb->methods[0].compiled_code_info);
}
