// Synchronized-method entry and exit stubs (routine table entries 65-140)
// on real objects of the VM: the thin lock in the lock word, the frame's
// synchronization area linked into the newest registration's monitor list,
// the registers and x87 entries each member keeps, and the VM paths.
#include <gtest/gtest.h>

#include <cstring>

#include "rt_test_env.h"

namespace {

constexpr int ENTER = 65, ENTER_MP = 95, EXIT = 125, EXIT_MP = 133;
constexpr int INT01 = 0, INT2 = 1, INT3 = 2;
constexpr int VOID = 0, INT = 1, LONG = 2, FP = 3;

int enter_index(int group, int regs, int fp) { return group + 3 * fp + regs; }

// A frame's synchronization area: X - 8 the link word, X - 4 the object.
struct sync_area {
    u4 link;
    u4 object;
    u4 x[1];
};

u4& monitors_of_newest(EE* ee)
{
    u4 p = reinterpret_cast<tla*>(reinterpret_cast<u4>(ee) & TLA_MASK)->registration;
    return *reinterpret_cast<u4*>(p + REG_MONITORS);
}

u4 lockword(jref o) { return reinterpret_cast<JHandle*>(o)->lockword; }

class SyncStubs : public testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(rtt::start(&why)) << why;
    }
};

// Entry on a free lock, nested entry, nested exit, last exit: lock word and
// monitor list at each step, for the plain and the multiprocessor members.
TEST_F(SyncStubs, ThinLockAndMonitorList)
{
    for (int mp = 0; mp < 2; mp++) {
        SCOPED_TRACE(mp ? "mp" : "up");
        vmtest::run_java([&](EE* ee) {
            jref o = vm_new_object(ee, vm_lookup_class("java/lang/Object"));
            u4 id = ee->thin_lock_id;
            u4 low = lockword(o) & 0xFF;
            u4 head = monitors_of_newest(ee);
            sync_area a1{}, a2{};
            u4 regs[3];
            void* enter = rtt::routine(enter_index(mp ? ENTER_MP : ENTER, INT01, 0));
            rtt_sync_call(enter, reinterpret_cast<u4>(o), 0, 0, a1.x, nullptr, 0, regs);
            EXPECT_EQ(regs[0], reinterpret_cast<u4>(o));
            EXPECT_EQ(lockword(o), id | low);
            EXPECT_EQ(a1.object, reinterpret_cast<u4>(o));
            EXPECT_EQ(a1.link, head);
            EXPECT_EQ(monitors_of_newest(ee), reinterpret_cast<u4>(&a1));

            rtt_sync_call(enter, reinterpret_cast<u4>(o), 0, 0, a2.x, nullptr, 0, regs);
            EXPECT_EQ(lockword(o), id | LOCK_COUNT_ONE | low);
            EXPECT_EQ(a2.link, reinterpret_cast<u4>(&a1));
            EXPECT_EQ(monitors_of_newest(ee), reinterpret_cast<u4>(&a2));

            rtt_sync_call(rtt::routine((mp ? EXIT_MP : EXIT) + INT), 0x1234, 0, 0, a2.x, nullptr, 0, regs);
            EXPECT_EQ(regs[0], 0x1234u);
            EXPECT_EQ(lockword(o), id | low);
            EXPECT_EQ(monitors_of_newest(ee), reinterpret_cast<u4>(&a1));

            rtt_sync_call(rtt::routine((mp ? EXIT_MP : EXIT) + VOID), 0, 0, 0, a1.x, nullptr, 0, regs);
            EXPECT_EQ(lockword(o), low);
            EXPECT_EQ(monitors_of_newest(ee), head);
            EXPECT_EQ(ee->exception_kind, 0u);
        });
    }
}

// Registers and x87 entries kept by each entry member and each exit member.
TEST_F(SyncStubs, MembersKeepTheirRegisters)
{
    vmtest::run_java([&](EE* ee) {
        jref o = vm_new_object(ee, vm_lookup_class("java/lang/Object"));
        for (int regs_kind : {INT01, INT2, INT3}) {
            for (int fp = 0; fp <= 4; fp++) {
                SCOPED_TRACE(testing::Message() << "regs " << regs_kind << " fp " << fp);
                double in[4] = {1.5, -2.25, 1e300, 3.0000000000000004};
                double v[4];
                std::memcpy(v, in, sizeof v);
                sync_area a{};
                u4 regs[3];
                rtt_sync_call(rtt::routine(enter_index(ENTER, regs_kind, fp)), reinterpret_cast<u4>(o), 0xEDEDEDED,
                              0xECECECEC, a.x, v, fp, regs);
                EXPECT_EQ(regs[0], reinterpret_cast<u4>(o));
                if (regs_kind >= INT2)
                    EXPECT_EQ(regs[1], 0xEDEDEDEDu);
                if (regs_kind >= INT3)
                    EXPECT_EQ(regs[2], 0xECECECECu);
                EXPECT_EQ(std::memcmp(v, in, sizeof(double) * fp), 0);
                EXPECT_EQ(lockword(o) >> 16, ee->thin_lock_id >> 16);
                double r = -0.1;
                rtt_sync_call(rtt::routine(EXIT + FP), 0, 0, 0, a.x, &r, 1, regs);
                EXPECT_EQ(r, -0.1);
                EXPECT_EQ(lockword(o) >> 8, 0u);
            }
        }
        sync_area a{};
        u4 regs[3];
        rtt_sync_call(rtt::routine(enter_index(ENTER, INT01, 0)), reinterpret_cast<u4>(o), 0, 0, a.x, nullptr, 0, regs);
        rtt_sync_call(rtt::routine(EXIT + LONG), 0x89ABCDEF, 0x01234567, 0, a.x, nullptr, 0, regs);
        EXPECT_EQ(regs[0], 0x89ABCDEFu);
        EXPECT_EQ(regs[1], 0x01234567u);
        EXPECT_EQ(lockword(o) >> 8, 0u);
    });
}

// The 255th nested entry is still counted inline; an exit of a lock this
// thread does not hold goes to the VM, which makes IllegalMonitorStateException
// pending, and leaves the transition chain as it was.
TEST_F(SyncStubs, CountLimitAndTheVmPath)
{
    vmtest::run_java([&](EE* ee) {
        jref o = vm_new_object(ee, vm_lookup_class("java/lang/Object"));
        u4 low = lockword(o) & 0xFF;
        reinterpret_cast<JHandle*>(o)->lockword = ee->thin_lock_id | (254u << 8) | low;
        sync_area a{};
        u4 regs[3];
        u4 head = monitors_of_newest(ee);
        rtt_sync_call(rtt::routine(ENTER), reinterpret_cast<u4>(o), 0, 0, a.x, nullptr, 0, regs);
        EXPECT_EQ(lockword(o), ee->thin_lock_id | (255u << 8) | low);
        monitors_of_newest(ee) = head;
        reinterpret_cast<JHandle*>(o)->lockword = low;

        // The frame base as the VM's call-outs leave it: X = T + 32 of a
        // transition frame area whose word 8 is 0xDEADBEEF, so a stack walk
        // made by the VM's exit (for the exception's trace) ends cleanly.
        u4 t[9] = {0, 0, 0, 0, 0, 0, head, reinterpret_cast<u4>(o), ACT_T_MARKER};
        u4 transition = ee->transition;
        rtt_sync_call(rtt::routine(EXIT + INT), 77, 0, 0, &t[8], nullptr, 0, regs);
        EXPECT_EQ(regs[0], 77u);
        EXPECT_EQ(ee->transition, transition);
        EXPECT_EQ(vmtest::take_pending(ee), "java/lang/IllegalMonitorStateException");
    });
}

}  // namespace
