// Java monitors: thin locks in the object's lock word, inflated monitors for
// wait/notify and deep nesting, and the contention-flag protocol shared with
// compiled code.
//
// Lock word (object + 4):
//   bits 0-7   header byte, never changed here
//   bits 8-15  thin nesting count: entries beyond the first
//   bits 16-31 thin owner: the owner's thin-lock id (EE+0x154 >> 16)
//   inflated:  0x80000000 | monitor index << 8 | header byte
// Free: bits 8-31 zero.  Only the owner writes a held lock word, so nested
// enters and exits are plain stores; taking a free lock is a CAS.
//
// Contention on a thin lock: the waiting thread sets bit 30 of the object's
// pre-header word under one process-wide mutex, re-reads the lock word and
// sleeps on a condition (10 ms at most, a safety net).  Every thin release
// (compiled code, stubs, this file) tests that bit afterwards and, when set,
// calls orva_monitorFlatExitForJIT, which clears it and wakes the sleepers;
// a sleeper that loses the race sets it again before it sleeps.
//
// Inflated monitors never move and are never freed before the collector
// exists: a table of 4096-entry chunks, index < 2^23.  Each has a short
// internal mutex guarding owner, recursion and the queue of waiting threads
// (FIFO, so notify wakes the longest waiter); the owner does not hold that
// mutex while it runs Java code, so an interrupt can always reach a waiter.
#include <pthread.h>
#include <sys/mman.h>
#include <time.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "vm.h"

namespace {

constexpr u4 LOCK_OWNER_MASK = 0xFFFF0000u;
constexpr u4 LOCK_COUNT_MASK = 0x0000FF00u;
constexpr u4 LOCK_HELD_MASK = 0xFFFFFF00u;     // owner and count: 0 when free
constexpr u4 LOCK_INDEX_MASK = 0x7FFFFF00u;    // inflated: monitor index << 8
constexpr u4 THIN_MAX_COUNT_BITS = 0xFF00u;    // count 255: held 256 times
constexpr u4 CHUNK_ENTRIES = 4096;
constexpr u4 MAX_CHUNKS = (1u << 23) / CHUNK_ENTRIES;
constexpr long CONTENTION_SLEEP_NS = 10 * 1000 * 1000;

struct wait_node {
    wait_node* next;
    EE* ee;
    int notified;
};

struct vm_monitor {
    pthread_mutex_t lock;       // guards every field below; held only briefly
    EE* owner;
    u4 recursion;
    u4 enter_waiters;
    pthread_cond_t enter_cond;  // owner released
    pthread_cond_t wait_cond;   // notify, interrupt
    jref object;
    wait_node* wait_head;
    wait_node* wait_tail;
};

vm_monitor* chunks[MAX_CHUNKS];
u4 next_index = 1;              // index 0 is never given, which helps debugging
pthread_mutex_t table_mutex = PTHREAD_MUTEX_INITIALIZER;

pthread_mutex_t contention_mutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t contention_cond = PTHREAD_COND_INITIALIZER;

inline u4* lockword_of(jref o) { return &o->lockword; }
inline u4 load_lockword(jref o) { return __atomic_load_n(lockword_of(o), __ATOMIC_ACQUIRE); }

inline vm_monitor* monitor_at(u4 index)
{
    return &chunks[index / CHUNK_ENTRIES][index % CHUNK_ENTRIES];
}

inline vm_monitor* monitor_of_word(u4 w)
{
    return monitor_at((w & LOCK_INDEX_MASK) >> LOCK_MONITOR_SHIFT);
}

// A fresh monitor, or 0 when the table is full or memory is exhausted.
u4 new_monitor()
{
    pthread_mutex_lock(&table_mutex);
    u4 index = next_index;
    u4 chunk = index / CHUNK_ENTRIES;
    if (chunk >= MAX_CHUNKS) {
        pthread_mutex_unlock(&table_mutex);
        return 0;
    }
    if (!chunks[chunk]) {
        void* p = mmap(nullptr, CHUNK_ENTRIES * sizeof(vm_monitor), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED) {
            pthread_mutex_unlock(&table_mutex);
            return 0;
        }
        chunks[chunk] = static_cast<vm_monitor*>(p);
    }
    next_index++;
    pthread_mutex_unlock(&table_mutex);

    vm_monitor* m = monitor_at(index);
    pthread_mutex_init(&m->lock, nullptr);
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&m->enter_cond, &attr);
    pthread_cond_init(&m->wait_cond, &attr);
    pthread_condattr_destroy(&attr);
    return index;
}

[[noreturn]] void monitor_table_full()
{
    std::fputs("Internal VM error: the inflated monitor table is exhausted\n", stderr);
    std::abort();
}

void deadline_after(timespec* t, long ns)
{
    clock_gettime(CLOCK_MONOTONIC, t);
    t->tv_nsec += ns;
    while (t->tv_nsec >= 1000000000L) {
        t->tv_sec++;
        t->tv_nsec -= 1000000000L;
    }
}

void deadline_after_ms(timespec* t, int64_t millis)
{
    deadline_after(t, static_cast<long>(millis % 1000) * 1000000L);
    // Far deadlines saturate instead of wrapping a 32-bit time_t.
    int64_t secs = static_cast<int64_t>(t->tv_sec) + millis / 1000;
    t->tv_sec = secs > 0x7FFFFFFF ? static_cast<time_t>(0x7FFFFFFF) : static_cast<time_t>(secs);
}

void wake_contenders(jref o)
{
    pthread_mutex_lock(&contention_mutex);
    __atomic_and_fetch(&vm_preheader(o), ~PREHDR_CONTENTION, __ATOMIC_SEQ_CST);
    pthread_cond_broadcast(&contention_cond);
    pthread_mutex_unlock(&contention_mutex);
}

// Inflates a thin lock held by `ee`; the monitor takes over the recursion.
vm_monitor* inflate_owned(EE* ee, jref o, u4 recursion)
{
    u4 index = new_monitor();
    if (index == 0)
        monitor_table_full();
    vm_monitor* m = monitor_at(index);
    m->owner = ee;
    m->recursion = recursion;
    m->object = o;
    u4 low = load_lockword(o) & LOCK_HDR_MASK;
    // Full barrier (xchg): the contention flag is read after the new word is
    // visible, so a thread that set it and still saw the thin word is woken.
    __atomic_exchange_n(lockword_of(o), LOCK_INFLATED | (index << LOCK_MONITOR_SHIFT) | low,
                        __ATOMIC_SEQ_CST);
    if (__atomic_load_n(&vm_preheader(o), __ATOMIC_SEQ_CST) & PREHDR_CONTENTION)
        wake_contenders(o);
    return m;
}

void enter_inflated(EE* ee, vm_monitor* m)
{
    pthread_mutex_lock(&m->lock);
    if (m->owner == ee) {
        m->recursion++;
        pthread_mutex_unlock(&m->lock);
        return;
    }
    if (m->owner) {
        u4 saved_state = ee->thread_state;
        ee->thread_state = VM_THREAD_BLOCKED;
        __atomic_store_n(&ee->blocked_on, static_cast<void*>(m), __ATOMIC_SEQ_CST);
        while (m->owner) {
            m->enter_waiters++;
            pthread_cond_wait(&m->enter_cond, &m->lock);
            m->enter_waiters--;
        }
        __atomic_store_n(&ee->blocked_on, static_cast<void*>(nullptr), __ATOMIC_SEQ_CST);
        ee->thread_state = saved_state;
    }
    m->owner = ee;
    m->recursion = 1;
    pthread_mutex_unlock(&m->lock);
}

// Releases one entry; false when `ee` is not the owner.
bool exit_inflated(EE* ee, vm_monitor* m)
{
    pthread_mutex_lock(&m->lock);
    if (m->owner != ee) {
        pthread_mutex_unlock(&m->lock);
        return false;
    }
    if (--m->recursion == 0) {
        m->owner = nullptr;
        if (m->enter_waiters)
            pthread_cond_signal(&m->enter_cond);
    }
    pthread_mutex_unlock(&m->lock);
    return true;
}

// Waiting for a thin lock held by another thread (or the borrowed owner).
void wait_for_thin_release(EE* ee, jref o)
{
    u4 id = ee->thin_lock_id;
    pthread_mutex_lock(&contention_mutex);
    __atomic_or_fetch(&vm_preheader(o), PREHDR_CONTENTION, __ATOMIC_SEQ_CST);
    u4 w = load_lockword(o);
    if ((w & LOCK_HELD_MASK) != 0 && !(w & LOCK_INFLATED) && (w & LOCK_OWNER_MASK) != id) {
        u4 saved_state = ee->thread_state;
        ee->thread_state = VM_THREAD_BLOCKED;
        timespec deadline;
        deadline_after(&deadline, CONTENTION_SLEEP_NS);
        pthread_cond_timedwait(&contention_cond, &contention_mutex, &deadline);
        ee->thread_state = saved_state;
    }
    pthread_mutex_unlock(&contention_mutex);
}

// The inflated monitor of an object the thread owns (a thin lock is inflated
// first), or 0 with IllegalMonitorStateException pending.
vm_monitor* owned_monitor(EE* ee, jref o)
{
    if (!o) {
        vm_throw(ee, "java/lang/NullPointerException", nullptr);
        return nullptr;
    }
    u4 w = load_lockword(o);
    if (w & LOCK_INFLATED) {
        vm_monitor* m = monitor_of_word(w);
        if (__atomic_load_n(&m->owner, __ATOMIC_RELAXED) == ee)
            return m;
    } else if ((w & LOCK_HELD_MASK) != 0 && (w & LOCK_OWNER_MASK) == ee->thin_lock_id) {
        return inflate_owned(ee, o, ((w & LOCK_COUNT_MASK) >> 8) + 1);
    }
    vm_throw(ee, "java/lang/IllegalMonitorStateException", "current thread not owner");
    return nullptr;
}

void unlink_waiter(vm_monitor* m, wait_node* node)
{
    wait_node* prev = nullptr;
    for (wait_node* n = m->wait_head; n; prev = n, n = n->next) {
        if (n != node)
            continue;
        if (prev)
            prev->next = n->next;
        else
            m->wait_head = n->next;
        if (m->wait_tail == n)
            m->wait_tail = prev;
        return;
    }
}

}  // namespace

extern "C" int orva_monitorEnter2(EE* ee, jref o)
{
    if (!o) {
        vm_throw(ee, "java/lang/NullPointerException", nullptr);
        return 0;
    }
    u4 id = ee->thin_lock_id;
    for (;;) {
        u4 w = load_lockword(o);
        if ((w & LOCK_HELD_MASK) == 0) {
            if (__atomic_compare_exchange_n(lockword_of(o), &w, w | id, false, __ATOMIC_ACQUIRE,
                                            __ATOMIC_RELAXED))
                return 1;
            continue;
        }
        if (w & LOCK_INFLATED) {
            enter_inflated(ee, monitor_of_word(w));
            return 1;
        }
        if ((w & LOCK_OWNER_MASK) == id) {
            if ((w & LOCK_COUNT_MASK) != THIN_MAX_COUNT_BITS)
                __atomic_store_n(lockword_of(o), w + LOCK_COUNT_ONE, __ATOMIC_RELAXED);
            else
                inflate_owned(ee, o, 257);     // the 256 thin entries and this one
            return 1;
        }
        wait_for_thin_release(ee, o);
    }
}

extern "C" int orva_monitorExit2(EE* ee, jref o)
{
    if (!o) {
        vm_throw(ee, "java/lang/NullPointerException", nullptr);
        return 0;
    }
    u4 w = load_lockword(o);
    if (w & LOCK_INFLATED) {
        if (exit_inflated(ee, monitor_of_word(w)))
            return 1;
    } else {
        u4 x = w ^ ee->thin_lock_id;
        if ((w & LOCK_HELD_MASK) != 0 && x <= LOCK_HDR_MASK) {
            // Locked AND: a full barrier, so the flag test below cannot pass
            // a contender's flag store (it then sees the free word).
            __atomic_and_fetch(lockword_of(o), LOCK_HDR_MASK, __ATOMIC_SEQ_CST);
            if (__atomic_load_n(&vm_preheader(o), __ATOMIC_SEQ_CST) & PREHDR_CONTENTION)
                orva_monitorFlatExitForJIT(ee, o);
            return 1;
        }
        if ((w & LOCK_HELD_MASK) != 0 && x <= 0xFFFFu) {
            __atomic_store_n(lockword_of(o), w - LOCK_COUNT_ONE, __ATOMIC_RELEASE);
            return 1;
        }
    }
    vm_throw(ee, "java/lang/IllegalMonitorStateException", "current thread not owner");
    return 0;
}

extern "C" void orva_monitorFlatExitForJIT(EE* ee, jref o)
{
    wake_contenders(o);
}

int vm_monitor_wait(EE* ee, jref o, int64_t millis)
{
    if (millis < 0) {
        vm_throw(ee, "java/lang/IllegalArgumentException", "timeout value is negative");
        return 0;
    }
    vm_monitor* m = owned_monitor(ee, o);
    if (!m)
        return 0;
    if (__atomic_exchange_n(&ee->interrupted, 0u, __ATOMIC_SEQ_CST)) {
        vm_throw(ee, "java/lang/InterruptedException", nullptr);
        return 0;
    }
    timespec deadline = {};
    if (millis > 0)
        deadline_after_ms(&deadline, millis);

    pthread_mutex_lock(&m->lock);
    wait_node node = {nullptr, ee, 0};
    if (m->wait_tail)
        m->wait_tail->next = &node;
    else
        m->wait_head = &node;
    m->wait_tail = &node;
    u4 saved = m->recursion;
    m->owner = nullptr;
    m->recursion = 0;
    if (m->enter_waiters)
        pthread_cond_signal(&m->enter_cond);
    u4 saved_state = ee->thread_state;
    ee->thread_state = VM_THREAD_WAITING;
    __atomic_store_n(&ee->blocked_on, static_cast<void*>(m), __ATOMIC_SEQ_CST);
    int rc = 0;
    while (!node.notified && !__atomic_load_n(&ee->interrupted, __ATOMIC_SEQ_CST)
           && rc != ETIMEDOUT) {
        if (millis > 0)
            rc = pthread_cond_timedwait(&m->wait_cond, &m->lock, &deadline);
        else
            pthread_cond_wait(&m->wait_cond, &m->lock);
    }
    if (!node.notified)
        unlink_waiter(m, &node);
    while (m->owner) {
        m->enter_waiters++;
        pthread_cond_wait(&m->enter_cond, &m->lock);
        m->enter_waiters--;
    }
    __atomic_store_n(&ee->blocked_on, static_cast<void*>(nullptr), __ATOMIC_SEQ_CST);
    m->owner = ee;
    m->recursion = saved;
    ee->thread_state = saved_state;
    bool notified = node.notified != 0;
    pthread_mutex_unlock(&m->lock);

    // Notified and interrupted at once: return normally, the flag stays set.
    if (!notified && __atomic_exchange_n(&ee->interrupted, 0u, __ATOMIC_SEQ_CST)) {
        vm_throw(ee, "java/lang/InterruptedException", nullptr);
        return 0;
    }
    return 1;
}

int vm_monitor_notify(EE* ee, jref o, bool all)
{
    vm_monitor* m = owned_monitor(ee, o);
    if (!m)
        return 0;
    pthread_mutex_lock(&m->lock);
    bool woke = false;
    while (m->wait_head) {
        wait_node* n = m->wait_head;
        m->wait_head = n->next;
        if (!m->wait_head)
            m->wait_tail = nullptr;
        n->next = nullptr;
        n->notified = 1;
        woke = true;
        if (!all)
            break;
    }
    if (woke)
        pthread_cond_broadcast(&m->wait_cond);
    pthread_mutex_unlock(&m->lock);
    return 1;
}

void vm_monitor_wake_waiter(EE* target)
{
    auto* m = static_cast<vm_monitor*>(__atomic_load_n(&target->blocked_on, __ATOMIC_SEQ_CST));
    if (!m)
        return;
    pthread_mutex_lock(&m->lock);
    pthread_cond_broadcast(&m->wait_cond);
    pthread_mutex_unlock(&m->lock);
}

bool vm_holds_lock(EE* ee, jref o)
{
    if (!o)
        return false;
    u4 w = load_lockword(o);
    if (w & LOCK_INFLATED)
        return __atomic_load_n(&monitor_of_word(w)->owner, __ATOMIC_RELAXED) == ee;
    return (w & LOCK_HELD_MASK) != 0 && (w & LOCK_OWNER_MASK) == ee->thin_lock_id;
}

// Link-vector forms of wait and notify (same code as Object.wait/notify).
extern "C" void orva_monitorWait2(EE* ee, jref o, int64_t millis)
{
    vm_monitor_wait(ee, o, millis);
}

extern "C" void orva_monitorNotify2(EE* ee, jref o)
{
    vm_monitor_notify(ee, o, false);
}

extern "C" void orva_monitorNotifyAll2(EE* ee, jref o)
{
    vm_monitor_notify(ee, o, true);
}
