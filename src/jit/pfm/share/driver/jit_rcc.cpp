// Committed-code registry.
//
// Every compiled method (and every compile request in progress, through a
// placeholder whose empty range is the method block's address) has an `rcc`
// in one AVL tree keyed by code start.  Records with the same start share a
// tree node: the node is the first record and the others hang from its
// same_next chain.  A pc belongs to a record when start <= pc <= end.
//
// All tree operations run under one VM system monitor, `cc_lock` (the read and
// write wrappers enter the same monitor).  On processor types 4 and 5 a
// 128-entry direct-mapped cache of {pc, record} pairs sits in front of the
// tree; an entry is read and written as one 8-byte unit with a locked
// compare-and-exchange.  Entries are written while the lock is still held, and
// deregistration invalidates them under the same lock, so a removed record is
// never found through the cache.  Lookups that find nothing are not cached: a
// later registration at that pc does not invalidate entries.
#include <string.h>

#include "driver/driver.h"

s4 sizeof_rcc;
s4 rcc_mb_offset;
s4 rcc_start_offset;
s4 rcc_end_offset;
s4 rcc_cp2imf_offset;
s4 rcc_exc_cp2imf_offset;
s4 rcc_md_offset;

rcc* (*sccc0)(u4 pc);
methodblock* (*search_cached_cc0)(u4 pc);

namespace {

u1 cc_lock[SYS_MONITOR_MAX_SIZE] __attribute__((aligned(8)));
rcc* root;
int record_count;

// ---- search cache ----------------------------------------------------------
constexpr u4 SCC_ENTRIES = 128;
uint64_t scc_cache[SCC_ENTRIES] __attribute__((aligned(8)));
s4 scc_mb_offset = RCC_MB;

uint64_t scc_pack(u4 pc, rcc* r) { return uint64_t{pc} | (uint64_t{reinterpret_cast<u4>(r)} << 32); }
u4 scc_pc(uint64_t e) { return static_cast<u4>(e); }
rcc* scc_record(uint64_t e) { return reinterpret_cast<rcc*>(static_cast<u4>(e >> 32)); }

// One locked 8-byte compare-and-exchange reads the whole entry.
uint64_t scc_read(u4 index) { return __sync_val_compare_and_swap(&scc_cache[index], uint64_t{0}, uint64_t{0}); }

void scc_write(u4 index, uint64_t value)
{
    uint64_t old = scc_cache[index];
    for (;;) {
        uint64_t seen = __sync_val_compare_and_swap(&scc_cache[index], old, value);
        if (seen == old)
            return;
        old = seen;
    }
}

// ---- AVL tree ---------------------------------------------------------------

// Rebalances *p after its left subtree became two higher; answers whether
// the subtree's height dropped (deletion) - after an insertion it never grows.
bool rotate_right(rcc** p)
{
    rcc* n = *p;
    rcc* l = n->left;
    if (l->balance <= 0) {
        n->left = l->right;
        l->right = n;
        bool shrank = l->balance != 0;
        if (l->balance == 0) {
            n->balance = -1;
            l->balance = +1;
        } else {
            n->balance = 0;
            l->balance = 0;
        }
        *p = l;
        return shrank;
    }
    rcc* lr = l->right;
    l->right = lr->left;
    n->left = lr->right;
    lr->left = l;
    lr->right = n;
    n->balance = lr->balance == -1 ? +1 : 0;
    l->balance = lr->balance == +1 ? -1 : 0;
    lr->balance = 0;
    *p = lr;
    return true;
}

bool rotate_left(rcc** p)
{
    rcc* n = *p;
    rcc* r = n->right;
    if (r->balance >= 0) {
        n->right = r->left;
        r->left = n;
        bool shrank = r->balance != 0;
        if (r->balance == 0) {
            n->balance = +1;
            r->balance = -1;
        } else {
            n->balance = 0;
            r->balance = 0;
        }
        *p = r;
        return shrank;
    }
    rcc* rl = r->left;
    r->left = rl->right;
    n->right = rl->left;
    rl->right = r;
    rl->left = n;
    n->balance = rl->balance == +1 ? -1 : 0;
    r->balance = rl->balance == -1 ? +1 : 0;
    rl->balance = 0;
    *p = rl;
    return true;
}

// Answers whether the subtree at *p grew.
bool insert(rcc** p, rcc* rec)
{
    rcc* n = *p;
    if (n == nullptr) {
        rec->same_next = nullptr;
        rec->balance = 0;
        rec->count = 1;
        rec->left = rec->right = nullptr;
        *p = rec;
        return true;
    }
    if (rec->start == n->start) {
        rec->same_next = n->same_next;
        rec->left = rec->right = nullptr;
        n->same_next = rec;
        n->count++;
        return false;
    }
    if (rec->start < n->start) {
        if (!insert(&n->left, rec))
            return false;
        if (--n->balance == 0)
            return false;
        if (n->balance == -1)
            return true;
        rotate_right(p);
        return false;
    }
    if (!insert(&n->right, rec))
        return false;
    if (++n->balance == 0)
        return false;
    if (n->balance == +1)
        return true;
    rotate_left(p);
    return false;
}

// After the left subtree of *p shrank: answers whether *p shrank.
bool left_shrank(rcc** p)
{
    rcc* n = *p;
    if (++n->balance == 1)
        return false;
    if (n->balance == 0)
        return true;
    return rotate_left(p);
}

bool right_shrank(rcc** p)
{
    rcc* n = *p;
    if (--n->balance == -1)
        return false;
    if (n->balance == 0)
        return true;
    return rotate_right(p);
}

// Detaches the node with the largest start from the subtree at *p.
bool remove_max(rcc** p, rcc** out)
{
    rcc* n = *p;
    if (n->right != nullptr) {
        if (remove_max(&n->right, out))
            return right_shrank(p);
        return false;
    }
    *out = n;
    *p = n->left;
    return true;
}

// Removes rec; answers whether the subtree at *p shrank.  *found tells
// whether rec was registered at all.
bool remove(rcc** p, rcc* rec, bool* found)
{
    rcc* n = *p;
    if (n == nullptr)
        return false;
    if (rec->start < n->start) {
        if (remove(&n->left, rec, found))
            return left_shrank(p);
        return false;
    }
    if (rec->start > n->start) {
        if (remove(&n->right, rec, found))
            return right_shrank(p);
        return false;
    }
    if (n != rec) {
        // rec hangs in the node's chain, or is not registered at all.
        for (rcc* c = n; c->same_next != nullptr; c = c->same_next) {
            if (c->same_next == rec) {
                c->same_next = rec->same_next;
                n->count--;
                *found = true;
                return false;
            }
        }
        return false;
    }
    *found = true;
    if (n->same_next != nullptr) {
        // The next record of the chain takes over the node.
        rcc* next = n->same_next;
        next->left = n->left;
        next->right = n->right;
        next->balance = n->balance;
        next->count = n->count - 1;
        *p = next;
        return false;
    }
    if (n->left == nullptr) {
        *p = n->right;
        return true;
    }
    if (n->right == nullptr) {
        *p = n->left;
        return true;
    }
    rcc* max;
    bool shrank = remove_max(&n->left, &max);
    max->left = n->left;
    max->right = n->right;
    max->balance = n->balance;
    *p = max;
    return shrank ? left_shrank(p) : false;
}

rcc* lookup(u4 pc)
{
    u1* a = reinterpret_cast<u1*>(pc);
    rcc* n = root;
    while (n != nullptr) {
        if (a < n->start)
            n = n->left;
        else if (a > n->end)
            n = n->right;
        else
            return n;
    }
    return nullptr;
}

rcc* plain_sccc0(u4 pc) { return search_committed_code0(pc); }

methodblock* plain_search_cached_cc0(u4 pc) { return search_committed_code(pc); }

rcc* cached_sccc0(u4 pc)
{
    u4 index = pc & (SCC_ENTRIES - 1);
    if (scc_pc(scc_cache[index]) == pc) {
        uint64_t e = scc_read(index);
        if (scc_pc(e) == pc)
            return scc_record(e);
    }
    jit_cc_read_lock();
    rcc* r = lookup(pc);
    if (r != nullptr)
        scc_write(index, scc_pack(pc, r));
    jit_cc_read_unlock();
    return r;
}

methodblock* cached_search_cached_cc0(u4 pc)
{
    rcc* r = cached_sccc0(pc);
    return r != nullptr ? *reinterpret_cast<methodblock**>(reinterpret_cast<u1*>(r) + scc_mb_offset) : nullptr;
}

void reset_method_block(rcc* r)
{
    methodblock* mb = r->mb;
    EE* ee = vm.EE != nullptr ? vm.EE() : nullptr;
    mb->access &= static_cast<u2>(~ACC_COMPILED);
    mb->compiled_flags &= ~MBC_CODE_INSTALLED;
    // Calls through the compiled-code slot go to the method's gate again; a
    // method without a control block has no gate, and gets no slot.
    mb->compiled_code = mb->compiled_code_info != nullptr
                            ? static_cast<u1*>(mb->compiled_code_info) + NCCB_GATE_OFFSET
                            : nullptr;
    if (mb->access & ACC_ABSTRACT) {
        // An abstract method has no native function to bind: the JNI selector
        // would report a link error instead of AbstractMethodError.
        mb->invoker = vm.invokeAbstractMethod;
        return;
    }
    if (mb->access & ACC_NATIVE) {
        u4 ok = 0;
        if (vm.dynoLink != nullptr)
            vm.dynoLink(mb, &ok);
        void* custom = nullptr;
        if (mb->access & ACC_SYNCHRONIZED)
            mb->invoker = vm.SelectInvokeJNISynchronizedNativeMethod;
        else if (vm.mmijGetCustomSelectInvoker != nullptr
                 && (custom = vm.mmijGetCustomSelectInvoker(ee, mb, 1)) != nullptr)
            mb->invoker = custom;
        else
            mb->invoker = vm.SelectInvokeJNINativeMethod;
        return;
    }
    bool sync = mb->access & ACC_SYNCHRONIZED;
    if (mb->exception_table_length != 0)
        mb->invoker = sync ? vm.SelectInvokeSynchronizedJavaMethodWithCatch : vm.SelectInvokeJavaMethodWithCatch;
    else
        mb->invoker = sync ? vm.SelectInvokeSynchronizedJavaMethod : vm.SelectInvokeJavaMethod;
}

void walk(rcc* n, int depth, rcc_walker callback, void* argument)
{
    if (n == nullptr)
        return;
    walk(n->left, depth + 1, callback, argument);
    for (rcc* c = n; c != nullptr; c = c->same_next)
        if (c->start != c->end)
            callback(c, depth, argument);
    walk(n->right, depth + 1, callback, argument);
}

void set_marks(rcc* n, bool mark)
{
    if (n == nullptr)
        return;
    for (rcc* c = n; c != nullptr; c = c->same_next)
        c->flags = mark ? (c->flags | RCC_F_MARKED) : (c->flags & ~RCC_F_MARKED);
    set_marks(n->left, mark);
    set_marks(n->right, mark);
}

rcc* unmarked_head;

void collect_unmarked(rcc* n)
{
    if (n == nullptr)
        return;
    collect_unmarked(n->right);
    for (rcc* c = n; c != nullptr; c = c->same_next) {
        if (c->start != c->end && (c->flags & (RCC_F_DELAYED_FREE | RCC_F_MARKED)) == 0) {
            c->flags = reinterpret_cast<u4>(unmarked_head);
            unmarked_head = c;
        }
    }
    collect_unmarked(n->left);
}

} // namespace

void jit_init_register_committed_code(void)
{
    sizeof_rcc = RCC_SIZE;
    rcc_mb_offset = RCC_MB;
    rcc_start_offset = RCC_START;
    rcc_end_offset = RCC_END;
    rcc_cp2imf_offset = RCC_CP2IMF;
    rcc_exc_cp2imf_offset = RCC_EXC_CP2IMF;
    rcc_md_offset = RCC_MD;
    if (vm.sysMonitorInit != nullptr)
        vm.sysMonitorInit(cc_lock);
    root = nullptr;
    record_count = 0;
    init_scc_cache(RCC_MB);
}

void init_scc_cache(s4 parameter)
{
    memset(scc_cache, 0xFF, sizeof(scc_cache));     // pc -1 in every entry
    if ((orva_processor_type == PROCESSOR_TYPE_PENTIUM || orva_processor_type == PROCESSOR_TYPE_P6)
        && !(compile_option2_flag & OPT2_NSCC_CACHE)) {
        scc_mb_offset = parameter;
        sccc0 = cached_sccc0;
        search_cached_cc0 = cached_search_cached_cc0;
    } else {
        sccc0 = plain_sccc0;
        search_cached_cc0 = plain_search_cached_cc0;
    }
}

void register_committed_code(rcc* record, method_compile_context* m, u1* start, u1* end, void* map,
                             void* exc_map)
{
    register_committed_code0(record, m->mb, start, end, map, exc_map);
}

void register_committed_code0(rcc* record, methodblock* mb, u1* start, u1* end, void* map, void* exc_map)
{
    record->mb = mb;
    record->start = start;
    record->end = end;
    record->cp2imf = map;
    record->exc_cp2imf = exc_map;
    record->flags = 0;
    thread_compile_record* rec = jit_compile_record(vm.EE != nullptr ? vm.EE() : nullptr);
    if (rec != nullptr) {
        record->md[0] = rec->md_word0;
        record->md[1] = rec->md_word1;
        record->md[2] = rec->md_word2;
    } else {
        record->md[0] = record->md[1] = record->md[2] = 0;
    }
    jit_cc_write_lock();
    insert(&root, record);
    record_count++;
    jit_cc_write_unlock();
}

void deregister_committed_code(rcc** records, int n)
{
    jit_cc_write_lock();
    for (int i = 0; i < n; i++) {
        rcc* r = records[i];
        if (r == nullptr)
            continue;
        bool found = false;
        remove(&root, r, &found);
        if (!found)
            continue;   // never registered, or already removed: touch nothing
        // Counted once per removed record, not once per call.
        record_count--;
        invalidate_scc_cache(r);
        if (!(r->flags & RCC_F_DELAYED_FREE) && r->start != r->end)
            reset_method_block(r);
    }
    jit_cc_write_unlock();
}

rcc* search_committed_code0(u4 pc)
{
    jit_cc_read_lock();
    rcc* r = lookup(pc);
    jit_cc_read_unlock();
    return r;
}

methodblock* search_committed_code(u4 pc)
{
    rcc* r = search_committed_code0(pc);
    return r != nullptr ? r->mb : nullptr;
}

rcc* search_committed_codearea(u4 pc, u4* start, u4* end)
{
    rcc* r = search_committed_code0(pc);
    *start = r != nullptr ? reinterpret_cast<u4>(r->start) : 0;
    *end = r != nullptr ? reinterpret_cast<u4>(r->end) : 0;
    return r;
}

void mark_committed_code_by_pc(u4 pc)
{
    jit_cc_write_lock();
    rcc* r = lookup(pc);
    if (r != nullptr)
        r->flags |= RCC_F_MARKED;
    jit_cc_write_unlock();
}

void unmark_committed_code(void)
{
    jit_cc_write_lock();
    set_marks(root, false);
    jit_cc_write_unlock();
}

rcc* list_unmarked_committed_code(void)
{
    jit_cc_write_lock();
    unmarked_head = nullptr;
    collect_unmarked(root);
    rcc* head = unmarked_head;
    jit_cc_write_unlock();
    return head;
}

rcc* get_unmarked_cc_next(rcc* record)
{
    return reinterpret_cast<rcc*>(record->flags);
}

void set_cc_delayed_free(rcc* record)
{
    record->flags |= RCC_F_DELAYED_FREE;
}

void walk_committed_code(rcc_walker callback, void* argument, int extra)
{
    jit_cc_read_lock();
    walk(root, 0, callback, argument);
    jit_cc_read_unlock();
}

void jit_cc_read_lock(void) { jit_monitor_enter(cc_lock); }
void jit_cc_read_unlock(void) { jit_monitor_exit(cc_lock); }
void jit_cc_write_lock(void) { jit_monitor_enter(cc_lock); }
void jit_cc_write_unlock(void) { jit_monitor_exit(cc_lock); }

void invalidate_scc_cache(rcc* record)
{
    for (u4 i = 0; i < SCC_ENTRIES; i++)
        if (scc_record(scc_cache[i]) == record)
            scc_write(i, scc_pack(0xFFFFFFFFu, nullptr));
}

// `size` is the figure printed; the buffer must hold DUMP_CC_INFO_MAX bytes.
int dump_cc_info(char* buffer, rcc* record, int number, int size)
{
    char balance = record->balance == -1 ? 'L' : record->balance == 0 ? 'B' : record->balance == 1 ? 'R' : '?';
    methodblock* mb = record->mb;
    return snprintf(buffer, DUMP_CC_INFO_MAX, "[%c%d]%p-%p (size=%d bytes, cnt=%d) %s.%s%s", balance, number,
                    static_cast<void*>(record->start), static_cast<void*>(record->end), size,
                    static_cast<int>(record->count),
                    mb != nullptr && mb->clazz != nullptr ? mb->clazz->name : "?",
                    mb != nullptr ? mb->name : "?", mb != nullptr ? mb->signature : "");
}

int jit_rcc_count(void)
{
    return record_count;
}

namespace {

// Height of the subtree, or -1 when an order, balance or count invariant fails.
int check_subtree(const rcc* n, const u1* low, const u1* high)
{
    if (n == nullptr)
        return 0;
    if ((low != nullptr && n->start <= low) || (high != nullptr && n->start >= high))
        return -1;
    u4 chained = 1;
    for (const rcc* c = n->same_next; c != nullptr; c = c->same_next, chained++)
        if (c->start != n->start)
            return -1;
    if (chained != n->count)
        return -1;
    int l = check_subtree(n->left, low, n->start);
    int r = check_subtree(n->right, n->start, high);
    if (l < 0 || r < 0 || r - l != n->balance || n->balance < -1 || n->balance > 1)
        return -1;
    return 1 + (l > r ? l : r);
}

} // namespace

int jit_rcc_check_tree(void)
{
    jit_cc_read_lock();
    int h = check_subtree(root, nullptr, nullptr);
    jit_cc_read_unlock();
    return h;
}
