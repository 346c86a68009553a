// Thread areas: the 256 KB aligned area with its TLA page and EE, the red and
// yellow zones, the per-thread state a Java thread starts with (x87 control
// word, direction flag, alternate signal stack, thin-lock id), thin-lock id
// reuse, and sleep / wait interrupted by another thread.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <set>
#include <thread>

#include "vm.h"

namespace {

struct Observed {
    EE* ee_seen;
    u4 esp;
    u2 control_word;
    u4 eflags;
    stack_t altstack;
    u4 tla_ee;
    u4 tla_magic;
};

void observe(EE* ee, void* arg)
{
    auto* o = static_cast<Observed*>(arg);
    o->ee_seen = vm_current_ee();
    u4 esp;
    asm volatile("movl %%esp, %0" : "=r"(esp));
    o->esp = esp;
    asm volatile("fnstcw %0" : "=m"(o->control_word));
    asm volatile("pushfl\n\tpopl %0" : "=r"(o->eflags));
    sigaltstack(nullptr, &o->altstack);
    auto* t = reinterpret_cast<tla*>(esp & TLA_MASK);
    o->tla_ee = reinterpret_cast<u4>(t->ee);
    o->tla_magic = t->magic;
}

// Whether the process may read `p`: write(2) into a pipe copies the byte and
// answers EFAULT when it cannot.  (/dev/null would not do: the kernel's null
// device never touches the buffer, so every address looks readable.)  The byte
// is read back at once so the pipe never fills.
bool readable(u4 p)
{
    static int fds[2] = {-1, -1};
    if (fds[0] < 0 && pipe(fds) != 0)
        return false;
    if (write(fds[1], reinterpret_cast<void*>(p), 1) != 1)
        return false;
    char byte;
    return read(fds[0], &byte, 1) == 1;
}

void idle(EE*, void*) {}

}  // namespace

TEST(ThreadArea, LayoutAndInitialState)
{
    Observed o{};
    EE* ee = vm_start_thread_area(observe, &o, false);
    ASSERT_NE(ee, nullptr);
    u4 a = reinterpret_cast<u4>(ee) & TLA_MASK;
    vm_wait_non_daemon_threads();

    EXPECT_EQ(reinterpret_cast<u4>(ee) - a, static_cast<u4>(TLA_EE_OFFSET));
    EXPECT_EQ(o.ee_seen, ee);
    EXPECT_EQ(o.esp & TLA_MASK, a);                         // the stack lies in the area
    EXPECT_GT(o.esp, a + THREAD_AREA_STACK);
    EXPECT_EQ(o.tla_ee, reinterpret_cast<u4>(ee));
    EXPECT_EQ(o.tla_magic, TLA_MAGIC_VALUE);
    EXPECT_EQ(o.control_word, X87_CW_JAVA);
    EXPECT_EQ(o.eflags & 0x400, 0u);                        // DF clear
    EXPECT_EQ(o.altstack.ss_flags & SS_DISABLE, 0);
    EXPECT_GE(o.altstack.ss_size, 64u * 1024);
    EXPECT_EQ(vm_current_ee(), nullptr);                    // not a Java thread here
}

TEST(ThreadArea, ZonesAndEeWordsWhileRunning)
{
    struct Probe {
        std::atomic<int> go{0};
        bool red, yellow_low, yellow_high, stack_ok, tla_ok;
        EE copy;
    } p{};
    auto body = [](EE* ee, void* arg) {
        auto* pr = static_cast<Probe*>(arg);
        u4 a = ee->area;
        pr->tla_ok = readable(a) && readable(a + 0xFFF);
        pr->red = readable(a + THREAD_AREA_RED);
        pr->yellow_low = readable(a + THREAD_AREA_YELLOW);
        pr->yellow_high = readable(a + THREAD_AREA_STACK - 4);
        pr->stack_ok = readable(a + THREAD_AREA_STACK);
        pr->copy = *ee;
    };
    EE* ee = vm_start_thread_area(body, &p, false);
    ASSERT_NE(ee, nullptr);
    vm_wait_non_daemon_threads();
    EXPECT_TRUE(p.tla_ok);
    EXPECT_FALSE(p.red);
    EXPECT_FALSE(p.yellow_low);
    EXPECT_FALSE(p.yellow_high);
    EXPECT_TRUE(p.stack_ok);
    const EE& e = p.copy;
    EXPECT_EQ(e.area, reinterpret_cast<u4>(ee) - TLA_EE_OFFSET);
    EXPECT_EQ(e.nstack_limit, e.area + THREAD_AREA_STACK);
    EXPECT_NE(e.sys_thread, nullptr);
    EXPECT_NE(e.current_frame, nullptr);                    // thread base frame
    EXPECT_GT(e.jstack_limit, e.jstack_base);
    EXPECT_GE(e.jstack_top, e.jstack_base);
    EXPECT_NE(e.jni_locals, nullptr);
    EXPECT_GT(e.jni_capacity, 0u);
    u4 n = e.thin_lock_id >> 16;
    EXPECT_EQ(e.thin_lock_id & 0xFFFF, 0u);
    EXPECT_GE(n, 1u);
    EXPECT_LE(n, 0x7FFEu);
    EXPECT_EQ(e.thread_index, n);
    EXPECT_EQ(e.mode, 0u);
}

TEST(ThreadArea, ThinLockIdsAreUniqueAmongLiveThreadsAndReused)
{
    struct Gate {
        std::atomic<int> release{0};
    } gate;
    auto hold = [](EE*, void* arg) {
        auto* g = static_cast<Gate*>(arg);
        while (!g->release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    std::set<u4> ids;
    for (int i = 0; i < 8; i++) {
        EE* ee = vm_start_thread_area(hold, &gate, false);
        ASSERT_NE(ee, nullptr);
        EXPECT_TRUE(ids.insert(ee->thin_lock_id).second) << "duplicate id";
    }
    gate.release = 1;
    vm_wait_non_daemon_threads();
    // Numbers come back: many short threads never exhaust them.
    std::set<u4> later;
    for (int i = 0; i < 300; i++) {
        EE* ee = vm_start_thread_area(idle, nullptr, false);
        ASSERT_NE(ee, nullptr) << i;
        later.insert(ee->thin_lock_id);
        vm_wait_non_daemon_threads();
    }
    EXPECT_LE(later.size(), 16u);
}

TEST(ThreadArea, SleepAndWaitAreInterruptible)
{
    struct Shared {
        std::atomic<int> state{0};
        int sleep_rc, wait_rc;
        u4 kind_after_sleep, flag_after_sleep;
        u4 kind_after_wait;
        alignas(8) u4 obj[4];
    } s{};
    auto body = [](EE* ee, void* arg) {
        auto* sh = static_cast<Shared*>(arg);
        sh->state = 1;
        sh->sleep_rc = vm_thread_sleep(ee, 100000);
        sh->kind_after_sleep = ee->exception_kind;
        sh->flag_after_sleep = ee->interrupted;
        vm_clear_pending(ee);
        jref o = reinterpret_cast<jref>(&sh->obj[2]);
        orva_monitorEnter2(ee, o);
        sh->state = 2;
        sh->wait_rc = vm_monitor_wait(ee, o, 0);
        sh->kind_after_wait = ee->exception_kind;
        vm_clear_pending(ee);
        orva_monitorExit2(ee, o);
    };
    EE* ee = vm_start_thread_area(body, &s, false);
    ASSERT_NE(ee, nullptr);
    while (s.state.load() != 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    vm_thread_interrupt(ee);
    while (s.state.load() != 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    vm_thread_interrupt(ee);
    vm_wait_non_daemon_threads();
    EXPECT_EQ(s.sleep_rc, 0);
    EXPECT_EQ(s.kind_after_sleep, 1u);
    EXPECT_EQ(s.flag_after_sleep, 0u);                      // cleared by the exception
    EXPECT_EQ(s.wait_rc, 0);
    EXPECT_EQ(s.kind_after_wait, 1u);
}

TEST(ThreadArea, ThreadServicesOfTheLinkVector)
{
    struct Count {
        int n;
        sys_thread* want;
        bool found;
    };
    std::atomic<int> release{0};
    auto hold = [](EE*, void* arg) {
        auto* r = static_cast<std::atomic<int>*>(arg);
        while (!r->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    EE* ee = vm_start_thread_area(hold, &release, true);    // a daemon
    ASSERT_NE(ee, nullptr);
    Count c{0, vm_self(ee), false};
    orva_sysThreadEnumerateOver([](sys_thread* st, void* arg) {
        auto* cc = static_cast<Count*>(arg);
        cc->n++;
        cc->found |= st == cc->want;
    }, &c);
    EXPECT_TRUE(c.found);
    EXPECT_EQ(reinterpret_cast<u4>(orva_sysThreadStackTop(vm_self(ee))), ee->area + THREAD_AREA_SIZE);
    vm_wait_non_daemon_threads();                           // does not wait for daemons
    release = 1;
}
