// System monitors: the re-entrant locks the VM and the compiler use for their
// own data (loaded-class table, constant-pool resolution, bytecode
// quickening, thread list, the compiler's code and compile locks).
//
// Storage is provided by the caller (at most 64 bytes; we use 40):
//   { pthread_mutex_t (24 bytes, plain), owner sys_thread*, recursion count,
//     lazily allocated pthread_cond_t*, magic }
// All-zero storage is a valid, unlocked monitor (a zeroed glibc mutex is the
// default initializer and the condition variable is created on first wait),
// so the VM's own lock variables need no start-up code and are usable from
// the first instruction, before any thread exists.
//
// Re-entrancy is required: the compiler's code-revocation path holds its
// code lock and takes it again.  The owner is the sys_thread handle the
// caller passes; a caller without one (a thread that is not a Java thread,
// for instance a unit test) is identified by a per-thread token.
#include <pthread.h>
#include <time.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "vm.h"

namespace {

constexpr u4 SYS_MONITOR_MAGIC = 0x4D4F4E53u;  // "SNOM"

struct sys_monitor {
    pthread_mutex_t mutex;      // plain (non-recursive); recursion counted below
    sys_thread* owner;          // 0 when free
    u4 count;                   // entries by the owner
    pthread_cond_t* cond;       // created on first wait / notify
    u4 magic;                   // SYS_MONITOR_MAGIC once initialised (0 = zero storage)
};
static_assert(sizeof(pthread_mutex_t) == 24, "i386 glibc mutex");
static_assert(sizeof(sys_monitor) == SYS_MONITOR_SIZE);
static_assert(SYS_MONITOR_SIZE <= SYS_MONITOR_MAX_SIZE);

// Identity of a thread that has no sys_thread handle.
thread_local char anonymous_self_token;

inline sys_thread* effective_self(sys_thread* self)
{
    return self ? self : reinterpret_cast<sys_thread*>(&anonymous_self_token);
}

inline sys_monitor* as_monitor(void* mon) { return static_cast<sys_monitor*>(mon); }

pthread_cond_t* monitor_cond(sys_monitor* m)
{
    pthread_cond_t* c = __atomic_load_n(&m->cond, __ATOMIC_ACQUIRE);
    if (c)
        return c;
    // Created by the owner only (wait / notify require ownership), so no
    // race between two creators; the CAS is belt and braces.
    auto* fresh = static_cast<pthread_cond_t*>(std::malloc(sizeof(pthread_cond_t)));
    if (!fresh) {
        std::fputs("Internal VM error: out of memory creating a system monitor\n", stderr);
        std::abort();
    }
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(fresh, &attr);
    pthread_condattr_destroy(&attr);
    pthread_cond_t* expected = nullptr;
    if (!__atomic_compare_exchange_n(&m->cond, &expected, fresh, false, __ATOMIC_ACQ_REL,
                                     __ATOMIC_ACQUIRE)) {
        pthread_cond_destroy(fresh);
        std::free(fresh);
        return expected;
    }
    return fresh;
}

[[noreturn]] void monitor_misuse(const char* what)
{
    std::fprintf(stderr, "Internal VM error: system monitor %s by a thread that does not own it\n",
                 what);
    std::abort();
}

}  // namespace

// The VM's exported locks (link-vector slots 27, 28, 87, 104).  Zero storage
// is a valid monitor, see above.
alignas(8) u1 vm_binclass_lock[SYS_MONITOR_MAX_SIZE];
alignas(8) u1 vm_linkclass_lock[SYS_MONITOR_MAX_SIZE];
alignas(8) u1 vm_code_lock[SYS_MONITOR_MAX_SIZE];
alignas(8) u1 vm_queue_lock[SYS_MONITOR_MAX_SIZE];

void vm_init_locks()
{
    // Nothing to do beyond marking them: zero storage is already valid.  Kept
    // as an explicit step so that start-up order is visible in the launcher.
    u1* const locks[] = {vm_binclass_lock, vm_linkclass_lock, vm_code_lock, vm_queue_lock};
    for (u1* lock : locks) {
        sys_monitor* m = as_monitor(lock);
        if (m->magic == 0 && m->owner == nullptr)
            m->magic = SYS_MONITOR_MAGIC;
    }
}

extern "C" int orva_sysMonitorSizeof()
{
    return SYS_MONITOR_SIZE;
}

extern "C" void orva_sysMonitorInit(void* mon)
{
    sys_monitor* m = as_monitor(mon);
    pthread_mutex_init(&m->mutex, nullptr);
    m->owner = nullptr;
    m->count = 0;
    m->cond = nullptr;
    m->magic = SYS_MONITOR_MAGIC;
}

extern "C" void orva_sysMonitorEnter(sys_thread* self, void* mon)
{
    sys_monitor* m = as_monitor(mon);
    sys_thread* me = effective_self(self);
    // Only the owner itself ever stores its own handle, so reading `owner`
    // equal to me without the mutex is exact.
    if (__atomic_load_n(&m->owner, __ATOMIC_RELAXED) == me) {
        m->count++;
        return;
    }
    pthread_mutex_lock(&m->mutex);
    __atomic_store_n(&m->owner, me, __ATOMIC_RELAXED);
    m->count = 1;
}

extern "C" void orva_sysMonitorExit(sys_thread* self, void* mon)
{
    sys_monitor* m = as_monitor(mon);
    if (__atomic_load_n(&m->owner, __ATOMIC_RELAXED) != effective_self(self) || m->count == 0)
        monitor_misuse("exited");
    if (--m->count == 0) {
        __atomic_store_n(&m->owner, static_cast<sys_thread*>(nullptr), __ATOMIC_RELAXED);
        pthread_mutex_unlock(&m->mutex);
    }
}

extern "C" int orva_sysMonitorEntered(sys_thread* self, void* mon)
{
    sys_monitor* m = as_monitor(mon);
    return __atomic_load_n(&m->owner, __ATOMIC_RELAXED) == effective_self(self) ? 1 : 0;
}

// Waits until notified or `millis` milliseconds passed (0 or negative: no
// time limit).  The recursion count is restored when the wait ends.
extern "C" void orva_sysMonitorWait(sys_thread* self, void* mon, int64_t millis)
{
    sys_monitor* m = as_monitor(mon);
    sys_thread* me = effective_self(self);
    if (__atomic_load_n(&m->owner, __ATOMIC_RELAXED) != me)
        monitor_misuse("waited on");
    pthread_cond_t* cond = monitor_cond(m);
    u4 saved = m->count;
    m->count = 0;
    __atomic_store_n(&m->owner, static_cast<sys_thread*>(nullptr), __ATOMIC_RELAXED);
    if (millis > 0) {
        timespec deadline;
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += static_cast<time_t>(millis / 1000);
        deadline.tv_nsec += static_cast<long>(millis % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec++;
            deadline.tv_nsec -= 1000000000L;
        }
        pthread_cond_timedwait(cond, &m->mutex, &deadline);
    } else {
        pthread_cond_wait(cond, &m->mutex);
    }
    __atomic_store_n(&m->owner, me, __ATOMIC_RELAXED);
    m->count = saved;
}

extern "C" void orva_sysMonitorNotify(sys_thread* self, void* mon)
{
    sys_monitor* m = as_monitor(mon);
    if (__atomic_load_n(&m->owner, __ATOMIC_RELAXED) != effective_self(self))
        monitor_misuse("notified");
    pthread_cond_signal(monitor_cond(m));
}

extern "C" void orva_sysMonitorNotifyAll(sys_thread* self, void* mon)
{
    sys_monitor* m = as_monitor(mon);
    if (__atomic_load_n(&m->owner, __ATOMIC_RELAXED) != effective_self(self))
        monitor_misuse("notified");
    pthread_cond_broadcast(monitor_cond(m));
}
