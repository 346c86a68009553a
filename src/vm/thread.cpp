// Java threads: thread areas, the thread-local area and EE, thin-lock ids,
// thread start and end, sleep and interrupt.
//
// Every thread that runs Java code, compiled code or VM code that calls the
// compiler runs on a 256 KB area aligned to 256 KB (compiled code finds the
// TLA by masking esp with 0xFFFC0000):
//   A+0x0000  TLA page (registration head, EE pointer, magic, fault words,
//             the EE itself at +0x100)
//   A+0x1000  red zone, PROT_NONE for good
//   A+0x2000  yellow zone, PROT_NONE until a stack overflow is handled
//   A+0xA000  the pthread stack (glibc keeps its descriptor and static TLS at
//             the top of it)
// Beside the area each thread owns a Java stack (interpreter frames, with a
// PROT_NONE page above its limit), a JNI local-reference array and an
// alternate signal stack (a stack fault leaves no room on the thread's own
// stack for the kernel's signal frame).
//
// Threads are created joinable and reaped: a finished thread queues itself,
// and the next creation (or the launcher's final wait) joins it and unmaps
// its memory, because a thread cannot unmap the stack it runs on.
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vm.h"

struct sys_thread {
    EE* ee;
    pthread_t tid;
    u4 area;                    // A, 256 KB aligned
    u1* jstack_map;             // Java stack mapping (usable part + guard page)
    u4 jstack_map_size;
    u1* jni_map;                // JNI local-reference array mapping
    u4 jni_map_size;
    u1* altstack;               // alternate signal stack
    void (*fn)(EE*, void*);
    void* arg;
    u4 number;                  // thin-lock number n
    bool daemon;
    bool first;                 // the main Java thread
    bool started;               // pthread_create succeeded
    sys_thread* next;           // live list
    sys_thread* reap_next;      // finished, waiting to be joined and unmapped
    pthread_mutex_t sleep_mutex;
    pthread_cond_t sleep_cond;
};

namespace {

constexpr u4 ALT_STACK_SIZE = 64 * 1024;
constexpr u4 JNI_LOCAL_CAPACITY = 16384;
constexpr u4 DEFAULT_JAVA_STACK = 2 * 1024 * 1024;
constexpr u4 PTHREAD_STACK_SIZE = THREAD_AREA_SIZE - THREAD_AREA_STACK;   // 0x36000
constexpr u4 MAX_THREAD_NUMBER = 0x7FFE;   // 0x7FFF is the borrowed owner
static_assert(PTHREAD_STACK_SIZE == 0x36000);

thread_local EE* tls_ee;

// Under vm_queue_lock.
sys_thread* live_threads;
sys_thread* reap_list;
int nondaemon_count;
u4 next_fresh_number = 1;
u2* free_numbers;           // stack of returned numbers
u4 free_number_count;
bool first_thread_made;
bool first_ended_uncaught;

const u2 java_control_word = X87_CW_JAVA;

inline sys_thread* self_or_null()
{
    EE* ee = tls_ee;
    return ee ? vm_self(ee) : nullptr;
}

void queue_lock() { orva_sysMonitorEnter(self_or_null(), vm_queue_lock); }
void queue_unlock() { orva_sysMonitorExit(self_or_null(), vm_queue_lock); }

// Thin-lock number 1..0x7FFE, or 0 when all are in use.  Under the queue lock.
u4 take_number()
{
    if (free_number_count > 0)
        return free_numbers[--free_number_count];
    if (next_fresh_number <= MAX_THREAD_NUMBER)
        return next_fresh_number++;
    return 0;
}

void return_number(u4 n)
{
    if (!free_numbers)
        free_numbers = static_cast<u2*>(std::calloc(MAX_THREAD_NUMBER + 1, sizeof(u2)));
    free_numbers[free_number_count++] = static_cast<u2>(n);
}

void unmap_thread_memory(sys_thread* st)
{
    if (st->area)
        munmap(reinterpret_cast<void*>(st->area), THREAD_AREA_SIZE);
    if (st->jstack_map)
        munmap(st->jstack_map, st->jstack_map_size);
    if (st->jni_map)
        munmap(st->jni_map, st->jni_map_size);
    if (st->altstack)
        munmap(st->altstack, ALT_STACK_SIZE);
    pthread_mutex_destroy(&st->sleep_mutex);
    pthread_cond_destroy(&st->sleep_cond);
    std::free(st);
}

// Joins and frees every finished thread.
void reap_finished_threads()
{
    queue_lock();
    sys_thread* list = reap_list;
    reap_list = nullptr;
    queue_unlock();
    while (list) {
        sys_thread* st = list;
        list = st->reap_next;
        pthread_join(st->tid, nullptr);
        unmap_thread_memory(st);
    }
}

void* map_anonymous(size_t size, int prot)
{
    void* p = mmap(nullptr, size, prot, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

// One 256 KB area aligned to 256 KB: map twice the size and trim.
u4 map_thread_area()
{
    u1* raw = static_cast<u1*>(map_anonymous(2 * THREAD_AREA_SIZE, PROT_READ | PROT_WRITE));
    if (!raw)
        return 0;
    u4 start = reinterpret_cast<u4>(raw);
    u4 area = (start + THREAD_AREA_SIZE - 1) & TLA_MASK;
    if (area > start)
        munmap(raw, area - start);
    u4 tail = start + 2 * THREAD_AREA_SIZE - (area + THREAD_AREA_SIZE);
    if (tail)
        munmap(reinterpret_cast<void*>(area + THREAD_AREA_SIZE), tail);
    return area;
}

void thread_end(sys_thread* st)
{
    EE* ee = st->ee;
    ee->thread_state = VM_THREAD_TERMINATED;
    stack_t off = {};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    queue_lock();
    for (sys_thread** p = &live_threads; *p; p = &(*p)->next) {
        if (*p == st) {
            *p = st->next;
            break;
        }
    }
    return_number(st->number);
    st->reap_next = reap_list;
    reap_list = st;
    if (!st->daemon) {
        nondaemon_count--;
        orva_sysMonitorNotifyAll(vm_self(ee), vm_queue_lock);
    }
    queue_unlock();
    tls_ee = nullptr;
}

void* thread_entry(void* p)
{
    auto* st = static_cast<sys_thread*>(p);
    EE* ee = st->ee;
    // Compiled code assumes this x87 state on entry; VM code is SSE-based.
    asm volatile("fninit\n\tfldcw %0\n\tcld" : : "m"(java_control_word));
    tls_ee = ee;
    // The fault raiser puts %gs back to this base (fault_raiser.S).
    u4 tls_base;
    asm volatile("movl %%gs:0, %0" : "=r"(tls_base));   // glibc's TCB points to itself
    reinterpret_cast<tla*>(ee->area)->tls_base = tls_base;
    stack_t ss = {};
    ss.ss_sp = st->altstack;
    ss.ss_size = ALT_STACK_SIZE;
    sigaltstack(&ss, nullptr);
    ee->thread_state = VM_THREAD_RUNNABLE;

    vm_thread_base(ee, st->fn, st->arg);

    if (ee->exception_kind) {
        // Only a raise that passed every other registration gets here.
        if (ee->exception)
            vm_print_uncaught(ee, vm_pending_exception(ee));
        vm_clear_pending(ee);
        // The thread function was abandoned before it could end the Java
        // thread; threads joining it must still be released.
        vm_end_java_thread(ee);
        if (st->first)
            first_ended_uncaught = true;
    }
    thread_end(st);
    return nullptr;
}

}  // namespace

EE* vm_current_ee()
{
    return tls_ee;
}

EE* vm_start_thread_area(void (*fn)(EE*, void*), void* arg, bool daemon)
{
    reap_finished_threads();

    auto* st = static_cast<sys_thread*>(std::calloc(1, sizeof(sys_thread)));
    if (!st)
        return nullptr;
    pthread_mutex_init(&st->sleep_mutex, nullptr);
    pthread_condattr_t cattr;
    pthread_condattr_init(&cattr);
    pthread_condattr_setclock(&cattr, CLOCK_MONOTONIC);
    pthread_cond_init(&st->sleep_cond, &cattr);
    pthread_condattr_destroy(&cattr);
    st->fn = fn;
    st->arg = arg;
    st->daemon = daemon;

    u4 jsize = vm_opts.java_stack_size ? vm_opts.java_stack_size : DEFAULT_JAVA_STACK;
    jsize = (jsize + 4095) & ~4095u;
    st->area = map_thread_area();
    st->jstack_map_size = jsize + 4096;
    st->jstack_map = static_cast<u1*>(map_anonymous(st->jstack_map_size, PROT_READ | PROT_WRITE));
    st->jni_map_size = JNI_LOCAL_CAPACITY * 4;
    st->jni_map = static_cast<u1*>(map_anonymous(st->jni_map_size, PROT_READ | PROT_WRITE));
    st->altstack = static_cast<u1*>(map_anonymous(ALT_STACK_SIZE, PROT_READ | PROT_WRITE));
    if (!st->area || !st->jstack_map || !st->jni_map || !st->altstack) {
        unmap_thread_memory(st);
        return nullptr;
    }
    u4 a = st->area;
    // Red and yellow zones; a PROT_NONE page above the Java stack's limit is
    // the backstop behind the interpreter's explicit checks.
    if (mprotect(reinterpret_cast<void*>(a + THREAD_AREA_RED),
                 THREAD_AREA_RED_SIZE + THREAD_AREA_YELLOW_SIZE, PROT_NONE) != 0
        || mprotect(st->jstack_map + jsize, 4096, PROT_NONE) != 0) {
        unmap_thread_memory(st);
        return nullptr;
    }

    auto* t = reinterpret_cast<tla*>(a);
    t->registration = 0;
    t->ee = &t->ee_storage;
    t->magic = TLA_MAGIC_VALUE;
    EE* ee = t->ee;                       // the kernel zero-filled the page
    ee->jni_functions = vm_jni_function_table;
    ee->sys_thread = st;
    ee->area = a;
    ee->nstack_limit = a + THREAD_AREA_STACK;
    ee->jstack_base = reinterpret_cast<u4>(st->jstack_map);
    ee->jstack_limit = ee->jstack_base + jsize;
    ee->jstack_top = ee->jstack_base;
    ee->jni_locals = reinterpret_cast<u4*>(st->jni_map);
    ee->jni_capacity = JNI_LOCAL_CAPACITY;
    ee->thread_state = VM_THREAD_NEW;
    ee->hash_seed = static_cast<u4>(a >> 18) * 2654435761u + 1;
    st->ee = ee;

    queue_lock();
    st->number = take_number();
    if (st->number == 0) {
        queue_unlock();
        unmap_thread_memory(st);
        return nullptr;
    }
    ee->thread_index = st->number;
    ee->thin_lock_id = st->number << LOCK_OWNER_SHIFT;
    st->first = !first_thread_made;
    first_thread_made = true;
    st->next = live_threads;
    live_threads = st;
    if (!daemon)
        nondaemon_count++;

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstack(&attr, reinterpret_cast<void*>(a + THREAD_AREA_STACK), PTHREAD_STACK_SIZE);
    // Created under the queue lock so that the new thread is listed before
    // it can end; it takes the lock itself only at its end.
    // The new thread's TLS base goes through the shared descriptor slot under
    // qemu-i386: no fault repair may write that slot meanwhile.
    vm_tls_guard_enter();
    int rc = pthread_create(&st->tid, &attr, thread_entry, st);
    vm_tls_guard_leave();
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        live_threads = st->next;
        if (!daemon)
            nondaemon_count--;
        return_number(st->number);
        queue_unlock();
        unmap_thread_memory(st);
        return nullptr;
    }
    st->started = true;
    queue_unlock();
    return ee;
}

void vm_wait_non_daemon_threads()
{
    queue_lock();
    while (nondaemon_count > 0)
        orva_sysMonitorWait(self_or_null(), vm_queue_lock, 0);
    queue_unlock();
    reap_finished_threads();
}

bool vm_first_thread_ended_uncaught()
{
    return first_ended_uncaught;
}

void vm_enumerate_threads(void (*fn)(EE*, void*), void* arg)
{
    queue_lock();
    for (sys_thread* st = live_threads; st; st = st->next)
        fn(st->ee, arg);
    queue_unlock();
}

// ---------------------------------------------------------------------------
// java.lang.Thread support
// ---------------------------------------------------------------------------

namespace {

void set_thread_field(jref obj, const char* name, const char* sig, u4 value)
{
    if (!vm_class_Thread)
        return;
    fieldblock* fb = vm_find_field(vm_class_of(obj), name, sig);
    if (!fb || (fb->access & ACC_STATIC))
        return;
    if (sig[0] == 'Z' || sig[0] == 'B')
        vm_field<u1>(obj, fb->value) = static_cast<u1>(value);
    else
        vm_field<u4>(obj, fb->value) = value;
}

u4 get_thread_field(jref obj, const char* name, const char* sig)
{
    fieldblock* fb = vm_class_Thread ? vm_find_field(vm_class_of(obj), name, sig) : nullptr;
    if (!fb || (fb->access & ACC_STATIC))
        return 0;
    return sig[0] == 'Z' || sig[0] == 'B' ? vm_field<u1>(obj, fb->value) : vm_field<u4>(obj, fb->value);
}

void java_thread_main(EE* ee, void* arg)
{
    jref obj = static_cast<jref>(arg);
    // The thread names itself before any Java code runs (currentThread,
    // interrupt from other threads).
    ee->thread_object = reinterpret_cast<u4>(obj);
    orva_monitorEnter2(ee, obj);
    set_thread_field(obj, "eetop", "I", reinterpret_cast<u4>(ee));
    orva_monitorExit2(ee, obj);

    methodblock* run = vm_find_method(vm_class_of(obj), "run", "()V");
    if (run) {
        u4 argv[1] = {reinterpret_cast<u4>(obj)};
        vm_call_java(ee, run, argv, 1, nullptr);
    }
    if (vm_exception_pending(ee)) {
        jref exc = vm_pending_exception(ee);
        vm_clear_pending(ee);
        vm_print_uncaught(ee, exc);
        vm_clear_pending(ee);
    }
    vm_end_java_thread(ee);
}

}  // namespace

void vm_end_java_thread(EE* ee)
{
    jref obj = reinterpret_cast<jref>(ee->thread_object);
    if (!obj || !vm_class_Thread)
        return;
    // Thread end as join sees it: alive false, then notifyAll on the object.
    jref pending = vm_exception_pending(ee) ? vm_pending_exception(ee) : nullptr;
    vm_clear_pending(ee);
    orva_monitorEnter2(ee, obj);
    if (get_thread_field(obj, "alive", "Z")) {
        set_thread_field(obj, "alive", "Z", 0);
        set_thread_field(obj, "eetop", "I", 0);
        vm_monitor_notify(ee, obj, true);
    }
    orva_monitorExit2(ee, obj);
    vm_clear_pending(ee);
    if (pending)
        vm_set_pending(ee, pending);
}

EE* vm_start_java_thread(EE* ee, jref thread_object, bool daemon)
{
    // alive before the thread exists: it may end before this returns, and
    // join must not miss that.
    set_thread_field(thread_object, "alive", "Z", 1);
    EE* t = vm_start_thread_area(java_thread_main, thread_object, daemon);
    if (!t) {
        set_thread_field(thread_object, "alive", "Z", 0);
        vm_throw(ee, "java/lang/OutOfMemoryError", "unable to create new native thread");
        return nullptr;
    }
    // Make the EE findable at once unless the thread has already ended.
    orva_monitorEnter2(ee, thread_object);
    if (get_thread_field(thread_object, "alive", "Z") && !get_thread_field(thread_object, "eetop", "I"))
        set_thread_field(thread_object, "eetop", "I", reinterpret_cast<u4>(t));
    orva_monitorExit2(ee, thread_object);
    return t;
}

int vm_thread_sleep(EE* ee, int64_t millis)
{
    if (millis < 0) {
        vm_throw(ee, "java/lang/IllegalArgumentException", "timeout value is negative");
        return 0;
    }
    sys_thread* st = vm_self(ee);
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(millis / 1000);
    deadline.tv_nsec += static_cast<long>(millis % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec++;
        deadline.tv_nsec -= 1000000000L;
    }
    u4 saved_state = ee->thread_state;
    ee->thread_state = VM_THREAD_WAITING;
    pthread_mutex_lock(&st->sleep_mutex);
    int rc = 0;
    while (!__atomic_load_n(&ee->interrupted, __ATOMIC_SEQ_CST) && rc != ETIMEDOUT && millis > 0)
        rc = pthread_cond_timedwait(&st->sleep_cond, &st->sleep_mutex, &deadline);
    pthread_mutex_unlock(&st->sleep_mutex);
    ee->thread_state = saved_state;
    if (__atomic_exchange_n(&ee->interrupted, 0u, __ATOMIC_SEQ_CST)) {
        vm_throw(ee, "java/lang/InterruptedException", "sleep interrupted");
        return 0;
    }
    return 1;
}

void vm_thread_interrupt(EE* target)
{
    __atomic_store_n(&target->interrupted, 1u, __ATOMIC_SEQ_CST);
    sys_thread* st = vm_self(target);
    pthread_mutex_lock(&st->sleep_mutex);
    pthread_cond_broadcast(&st->sleep_cond);
    pthread_mutex_unlock(&st->sleep_mutex);
    vm_monitor_wake_waiter(target);
}

bool vm_thread_interrupted(EE* ee, bool clear)
{
    if (clear)
        return __atomic_exchange_n(&ee->interrupted, 0u, __ATOMIC_SEQ_CST) != 0;
    return __atomic_load_n(&ee->interrupted, __ATOMIC_SEQ_CST) != 0;
}

// ---------------------------------------------------------------------------
// Thread services of the link vector
// ---------------------------------------------------------------------------

// Stopping the world arrives with the collector; with one mutator at a time
// in these phases they have nothing to do.
extern "C" void orva_sysThreadSingle() {}
extern "C" void orva_sysThreadMulti() {}

extern "C" void orva_sysThreadEnumerateOver(void (*fn)(sys_thread*, void*), void* arg)
{
    queue_lock();
    for (sys_thread* st = live_threads; st; st = st->next)
        fn(st, arg);
    queue_unlock();
}

extern "C" void* orva_sysThreadStackTop(sys_thread* st)
{
    return st ? reinterpret_cast<void*>(st->area + THREAD_AREA_SIZE) : nullptr;
}
