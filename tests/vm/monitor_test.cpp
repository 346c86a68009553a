// Java monitors (thin-lock encodings, nesting and inflation, the contention
// flag protocol shared with compiled code, wait/notify) and the VM's system
// monitors.  Objects here are hand-made headers: no class library needed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "vm.h"

namespace {

// An object header with its pre-header word, 8-aligned like the heap's.
struct alignas(8) FakeObject {
    u4 pad;
    u4 preheader;
    u4 word0;
    u4 lockword;
    jref ref() { return reinterpret_cast<jref>(&word0); }
};

struct FakeThread {
    EE ee{};
    explicit FakeThread(u4 n) { ee.thin_lock_id = n << LOCK_OWNER_SHIFT; ee.thread_index = n; }
};

// The compiled code's inline paths: enter by CAS or owner re-entry below
// count 255, exit by locked AND and a contention-flag test.
void compiled_enter(EE* ee, jref o)
{
    u4 low = o->lockword & LOCK_HDR_MASK;
    u4 expected = low;
    if (__atomic_compare_exchange_n(&o->lockword, &expected, ee->thin_lock_id | low, false,
                                    __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST))
        return;
    u4 w = __atomic_load_n(&o->lockword, __ATOMIC_SEQ_CST);
    if ((w ^ (ee->thin_lock_id | low)) < 0xFF00) {
        __atomic_store_n(&o->lockword, w + LOCK_COUNT_ONE, __ATOMIC_SEQ_CST);
        return;
    }
    orva_monitorEnter2(ee, o);
}

void compiled_exit(EE* ee, jref o)
{
    u4 w = __atomic_load_n(&o->lockword, __ATOMIC_SEQ_CST);
    u4 x = w ^ ee->thin_lock_id;
    if (x <= 0xFF) {
        __atomic_and_fetch(&o->lockword, LOCK_HDR_MASK, __ATOMIC_SEQ_CST);
        if (__atomic_load_n(&vm_preheader(o), __ATOMIC_SEQ_CST) & PREHDR_CONTENTION)
            orva_monitorFlatExitForJIT(ee, o);
        return;
    }
    if (x <= 0xFFFF) {
        __atomic_store_n(&o->lockword, w - LOCK_COUNT_ONE, __ATOMIC_SEQ_CST);
        return;
    }
    orva_monitorExit2(ee, o);
}

template <typename Pred> bool eventually(Pred pred)
{
    for (int i = 0; i < 5000; i++) {
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// The hand-made EEs above belong to no Java thread, so an exception they
// raise must not be built by running Java constructors (that needs the
// thread's own stack area).  When another test of the process has booted the
// class library, hide it for the duration: exceptions then take the VM's
// early form, a pending object whose class is a stand-in.
class NoClassLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = vm_class_Throwable;
        vm_class_Throwable = nullptr;
    }
    void TearDown() override { vm_class_Throwable = saved_; }

private:
    classblock* saved_ = nullptr;
};

}  // namespace

class ThinLock : public NoClassLibrary {};
class ObjectMonitor : public NoClassLibrary {};

TEST_F(ThinLock, EncodingsKeepTheHeaderByte)
{
    FakeObject obj{};
    obj.lockword = T_INT * 8 | LOCK_HDR_ARRAY;      // an int[]: header byte 0x52
    FakeThread t(3);
    jref o = obj.ref();
    EXPECT_EQ(orva_monitorEnter2(&t.ee, o), 1);
    EXPECT_EQ(obj.lockword, 0x00030052u);
    EXPECT_EQ(orva_monitorEnter2(&t.ee, o), 1);
    EXPECT_EQ(obj.lockword, 0x00030152u);
    EXPECT_TRUE(vm_holds_lock(&t.ee, o));
    EXPECT_EQ(orva_monitorExit2(&t.ee, o), 1);
    EXPECT_EQ(obj.lockword, 0x00030052u);
    EXPECT_EQ(orva_monitorExit2(&t.ee, o), 1);
    EXPECT_EQ(obj.lockword, 0x52u);
    EXPECT_FALSE(vm_holds_lock(&t.ee, o));
    EXPECT_EQ(t.ee.exception_kind, 0u);
}

TEST_F(ThinLock, NestingInflatesOnlyPastCount255)
{
    struct Row { int depth; bool inflated; u4 count_byte; };
    const Row rows[] = {
        {1, false, 0}, {254, false, 253}, {255, false, 254}, {256, false, 255},
        {257, true, 0}, {300, true, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.depth);
        FakeObject obj{};
        FakeThread t(7), other(8);
        jref o = obj.ref();
        for (int i = 0; i < r.depth; i++)
            ASSERT_EQ(orva_monitorEnter2(&t.ee, o), 1);
        EXPECT_EQ((obj.lockword & LOCK_INFLATED) != 0, r.inflated);
        if (!r.inflated) {
            EXPECT_EQ(obj.lockword >> 16, 7u);
            EXPECT_EQ((obj.lockword >> 8) & 0xFF, r.count_byte);
        }
        EXPECT_TRUE(vm_holds_lock(&t.ee, o));
        EXPECT_FALSE(vm_holds_lock(&other.ee, o));
        for (int i = 0; i < r.depth; i++)
            ASSERT_EQ(orva_monitorExit2(&t.ee, o), 1) << "exit " << i;
        EXPECT_FALSE(vm_holds_lock(&t.ee, o));
        // One exit too many is an IllegalMonitorStateException.
        EXPECT_EQ(orva_monitorExit2(&t.ee, o), 0);
        EXPECT_EQ(t.ee.exception_kind, 1u);
        EXPECT_NE(t.ee.exception, 0u);
        // Released for good: another thread takes it without blocking.
        EXPECT_EQ(orva_monitorEnter2(&other.ee, o), 1);
        EXPECT_TRUE(vm_holds_lock(&other.ee, o));
        EXPECT_EQ(orva_monitorExit2(&other.ee, o), 1);
    }
}

TEST_F(ThinLock, ExitByNonOwnerIsIllegal)
{
    FakeObject obj{};
    FakeThread owner(1), intruder(2);
    jref o = obj.ref();
    EXPECT_EQ(orva_monitorExit2(&intruder.ee, o), 0);      // free lock
    EXPECT_EQ(intruder.ee.exception_kind, 1u);
    vm_clear_pending(&intruder.ee);
    orva_monitorEnter2(&owner.ee, o);
    EXPECT_EQ(orva_monitorExit2(&intruder.ee, o), 0);      // thin, other owner
    EXPECT_EQ(intruder.ee.exception_kind, 1u);
    EXPECT_EQ(obj.lockword, 1u << 16);                     // untouched
    vm_clear_pending(&intruder.ee);
    EXPECT_EQ(vm_monitor_notify(&intruder.ee, o, false), 0);
    EXPECT_EQ(intruder.ee.exception_kind, 1u);
    orva_monitorExit2(&owner.ee, o);
}

TEST_F(ThinLock, ContentionFlagIsSetByWaiterAndClearedByRelease)
{
    FakeObject obj{};
    FakeThread holder(1), waiter(2);
    jref o = obj.ref();
    orva_monitorEnter2(&holder.ee, o);
    std::atomic<int> acquired{0};
    std::thread t([&] {
        orva_monitorEnter2(&waiter.ee, o);
        acquired = 1;
        orva_monitorExit2(&waiter.ee, o);
    });
    ASSERT_TRUE(eventually([&] { return (obj.preheader & PREHDR_CONTENTION) != 0; }));
    EXPECT_EQ(acquired.load(), 0);
    EXPECT_EQ(obj.lockword, 1u << 16);                     // the waiter did not inflate
    // Released the way compiled code does: locked AND, then the flag test.
    compiled_exit(&holder.ee, o);
    t.join();
    EXPECT_EQ(acquired.load(), 1);
    EXPECT_EQ(obj.preheader & PREHDR_CONTENTION, 0u);
    EXPECT_EQ(obj.lockword, 0u);
}

TEST_F(ThinLock, BorrowedOwnerBlocksUntilReleased)
{
    FakeObject obj{};
    obj.lockword = LOCK_BORROWED_OWNER << LOCK_OWNER_SHIFT;     // a Vector body holds it
    FakeThread t1(1);
    jref o = obj.ref();
    std::atomic<int> acquired{0};
    std::thread t([&] {
        orva_monitorEnter2(&t1.ee, o);
        acquired = 1;
    });
    ASSERT_TRUE(eventually([&] { return (obj.preheader & PREHDR_CONTENTION) != 0; }));
    EXPECT_EQ(acquired.load(), 0);
    // The body's release: a 16-bit store of 0 at o+6, then the flag test.
    __atomic_store_n(reinterpret_cast<u2*>(reinterpret_cast<u1*>(o) + 6), u2{0}, __ATOMIC_SEQ_CST);
    if (obj.preheader & PREHDR_CONTENTION)
        orva_monitorFlatExitForJIT(&t1.ee, o);
    t.join();
    EXPECT_EQ(obj.lockword, 1u << 16);
}

TEST_F(ThinLock, NoLostWakeupsBetweenCompiledAndVmPaths)
{
    FakeObject obj{};
    FakeThread a(1), b(2);
    jref o = obj.ref();
    int counter = 0;
    constexpr int N = 20000;
    auto start = std::chrono::steady_clock::now();
    std::thread ta([&] {
        for (int i = 0; i < N; i++) {
            compiled_enter(&a.ee, o);
            counter++;
            compiled_exit(&a.ee, o);
        }
    });
    std::thread tb([&] {
        for (int i = 0; i < N; i++) {
            orva_monitorEnter2(&b.ee, o);
            orva_monitorEnter2(&b.ee, o);
            counter++;
            orva_monitorExit2(&b.ee, o);
            orva_monitorExit2(&b.ee, o);
        }
    });
    ta.join();
    tb.join();
    EXPECT_EQ(counter, 2 * N);
    EXPECT_EQ(obj.lockword, 0u);
    EXPECT_EQ(a.ee.exception_kind | b.ee.exception_kind, 0u);
    auto secs = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(secs, 60);
}

TEST_F(ObjectMonitor, WaitInflatesAndRestoresRecursion)
{
    FakeObject obj{};
    FakeThread t(5);
    jref o = obj.ref();
    orva_monitorEnter2(&t.ee, o);
    orva_monitorEnter2(&t.ee, o);
    EXPECT_EQ(vm_monitor_wait(&t.ee, o, 20), 1);          // times out
    EXPECT_NE(obj.lockword & LOCK_INFLATED, 0u);
    EXPECT_TRUE(vm_holds_lock(&t.ee, o));
    EXPECT_EQ(orva_monitorExit2(&t.ee, o), 1);
    EXPECT_TRUE(vm_holds_lock(&t.ee, o));
    EXPECT_EQ(orva_monitorExit2(&t.ee, o), 1);
    EXPECT_FALSE(vm_holds_lock(&t.ee, o));
    EXPECT_EQ(vm_monitor_wait(&t.ee, o, 0), 0);           // not owner
    EXPECT_EQ(t.ee.exception_kind, 1u);
    vm_clear_pending(&t.ee);
    orva_monitorEnter2(&t.ee, o);
    EXPECT_EQ(vm_monitor_wait(&t.ee, o, -1), 0);          // negative timeout
    EXPECT_EQ(t.ee.exception_kind, 1u);
    orva_monitorExit2(&t.ee, o);
}

TEST_F(ObjectMonitor, NotifyWakesTheWaiterWhichReacquires)
{
    FakeObject obj{};
    FakeThread waiter(1), notifier(2);
    jref o = obj.ref();
    std::atomic<int> state{0};
    std::thread t([&] {
        orva_monitorEnter2(&waiter.ee, o);
        state = 1;
        int rc = vm_monitor_wait(&waiter.ee, o, 0);
        state = rc == 1 && vm_holds_lock(&waiter.ee, o) ? 2 : 3;
        orva_monitorExit2(&waiter.ee, o);
    });
    ASSERT_TRUE(eventually([&] { return state.load() == 1; }));
    // The waiter released the monitor inside wait: we can take it.
    orva_monitorEnter2(&notifier.ee, o);
    EXPECT_EQ(vm_monitor_notify(&notifier.ee, o, false), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(state.load(), 1);                           // still blocked on re-entry
    orva_monitorExit2(&notifier.ee, o);
    t.join();
    EXPECT_EQ(state.load(), 2);
}

TEST_F(ObjectMonitor, NotifyAllWakesEveryWaiter)
{
    FakeObject obj{};
    FakeThread notifier(10);
    FakeThread w[4] = {FakeThread(11), FakeThread(12), FakeThread(13), FakeThread(14)};
    jref o = obj.ref();
    std::atomic<int> waiting{0}, done{0};
    std::thread ts[4];
    for (int i = 0; i < 4; i++) {
        ts[i] = std::thread([&, i] {
            orva_monitorEnter2(&w[i].ee, o);
            waiting++;
            if (vm_monitor_wait(&w[i].ee, o, 0) == 1)
                done++;
            orva_monitorExit2(&w[i].ee, o);
        });
    }
    ASSERT_TRUE(eventually([&] {
        orva_monitorEnter2(&notifier.ee, o);
        bool all = waiting.load() == 4;     // each counted while it held the monitor
        orva_monitorExit2(&notifier.ee, o);
        return all;
    }));
    orva_monitorEnter2(&notifier.ee, o);
    vm_monitor_notify(&notifier.ee, o, true);
    orva_monitorExit2(&notifier.ee, o);
    for (auto& t : ts)
        t.join();
    EXPECT_EQ(done.load(), 4);
}

// ---------------------------------------------------------------------------
// System monitors
// ---------------------------------------------------------------------------

TEST(SysMonitor, SizeAndReentrancy)
{
    EXPECT_EQ(orva_sysMonitorSizeof(), 40);
    alignas(8) u1 storage[SYS_MONITOR_MAX_SIZE];
    orva_sysMonitorInit(storage);
    auto* self = reinterpret_cast<sys_thread*>(0x1234);
    EXPECT_EQ(orva_sysMonitorEntered(self, storage), 0);
    orva_sysMonitorEnter(self, storage);
    orva_sysMonitorEnter(self, storage);        // re-entry must not deadlock
    orva_sysMonitorEnter(self, storage);
    EXPECT_EQ(orva_sysMonitorEntered(self, storage), 1);
    EXPECT_EQ(orva_sysMonitorEntered(nullptr, storage), 0);
    orva_sysMonitorExit(self, storage);
    orva_sysMonitorExit(self, storage);
    EXPECT_EQ(orva_sysMonitorEntered(self, storage), 1);
    orva_sysMonitorExit(self, storage);
    EXPECT_EQ(orva_sysMonitorEntered(self, storage), 0);
}

TEST(SysMonitor, ZeroStorageAndVmLocksWork)
{
    alignas(8) u1 zero[SYS_MONITOR_MAX_SIZE] = {};
    orva_sysMonitorEnter(nullptr, zero);
    orva_sysMonitorEnter(nullptr, zero);
    EXPECT_EQ(orva_sysMonitorEntered(nullptr, zero), 1);
    orva_sysMonitorExit(nullptr, zero);
    orva_sysMonitorExit(nullptr, zero);
    vm_init_locks();
    for (u1* lock : {vm_binclass_lock, vm_linkclass_lock, vm_code_lock, vm_queue_lock}) {
        orva_sysMonitorEnter(nullptr, lock);
        EXPECT_EQ(orva_sysMonitorEntered(nullptr, lock), 1);
        orva_sysMonitorExit(nullptr, lock);
    }
}

TEST(SysMonitor, MutualExclusionAndWaitNotify)
{
    alignas(8) u1 mon[SYS_MONITOR_MAX_SIZE];
    orva_sysMonitorInit(mon);
    int counter = 0;
    auto worker = [&](uintptr_t id) {
        auto* self = reinterpret_cast<sys_thread*>(id);
        for (int i = 0; i < 5000; i++) {
            orva_sysMonitorEnter(self, mon);
            orva_sysMonitorEnter(self, mon);
            counter++;
            orva_sysMonitorExit(self, mon);
            orva_sysMonitorExit(self, mon);
        }
    };
    std::thread t1(worker, 0x100), t2(worker, 0x200);
    t1.join();
    t2.join();
    EXPECT_EQ(counter, 10000);

    // A timed wait returns with the recursion restored; notify wakes a waiter.
    auto* a = reinterpret_cast<sys_thread*>(0x300);
    orva_sysMonitorEnter(a, mon);
    orva_sysMonitorEnter(a, mon);
    orva_sysMonitorWait(a, mon, 10);
    EXPECT_EQ(orva_sysMonitorEntered(a, mon), 1);
    orva_sysMonitorExit(a, mon);
    EXPECT_EQ(orva_sysMonitorEntered(a, mon), 1);
    orva_sysMonitorExit(a, mon);

    std::atomic<int> phase{0};
    std::thread waiter([&] {
        auto* w = reinterpret_cast<sys_thread*>(0x400);
        orva_sysMonitorEnter(w, mon);
        phase = 1;
        while (phase.load() != 2)
            orva_sysMonitorWait(w, mon, 0);
        orva_sysMonitorExit(w, mon);
    });
    ASSERT_TRUE(eventually([&] { return phase.load() == 1; }));
    orva_sysMonitorEnter(a, mon);                // only possible once the waiter waits
    phase = 2;
    orva_sysMonitorNotifyAll(a, mon);
    orva_sysMonitorExit(a, mon);
    waiter.join();
}
