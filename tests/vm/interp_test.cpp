// The interpreter and its entries: vm_call_java with every result kind
// (through the Java invokers and, for natives, the JNI path of a
// native-only activation), the state it restores (registration chain,
// transition chain, EE+8, Java stack top, mode word), exceptions returned
// pending, stack overflow on the Java stack, and instructions javac does
// not emit (jsr/ret, wide forms).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "classfile_builder.h"
#include "interp.h"
#include "vm_test_env.h"

using namespace cfb;
using vmtest::define;
using vmtest::run_java;
using vmtest::take_pending;

namespace {

u1 hi(u2 x) { return u1(x >> 8); }
u1 lo(u2 x) { return u1(x); }

method& add_static(builder& b, const char* name, const char* sig, u2 stack, u2 locals,
                   std::vector<u1> code)
{
    method& m = b.add_method(name, sig, ACC_PUBLIC | ACC_STATIC);
    m.max_stack = stack;
    m.max_locals = locals;
    m.code = std::move(code);
    return m;
}

// What a call from C++ must leave as it found it.
struct entry_state {
    u4 registration, transition, jstack_top, mode;
    JavaFrame* frame;
};

entry_state state_of(EE* ee)
{
    return {vm_tla_of(ee)->registration, ee->transition, ee->jstack_top, ee->mode, ee->current_frame};
}

void expect_same_state(EE* ee, const entry_state& s)
{
    entry_state now = state_of(ee);
    EXPECT_EQ(now.registration, s.registration);
    EXPECT_EQ(now.transition, s.transition);
    EXPECT_EQ(now.jstack_top, s.jstack_top);
    EXPECT_EQ(now.mode, s.mode);
    EXPECT_EQ(now.frame, s.frame);
}

u4 fbits(float f) { u4 w; std::memcpy(&w, &f, 4); return w; }
u8 dbits(double d) { u8 w; std::memcpy(&w, &d, 8); return w; }

}  // namespace

// Arguments in slot order (a long or double HIGH word first) and results of
// every kind, through interpreted methods and through natives.
TEST(Interp, CallJavaArgumentsAndResults)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        builder b("it/Calls");
        // long addJ(int a, long b) = a + b
        add_static(b, "addJ", "(IJ)J", 4, 3, {ILOAD, 0, 0x85 /* i2l */, LLOAD, 1, 0x61 /* ladd */, LRETURN});
        // double mulD(double a, float b) = a * b
        add_static(b, "mulD", "(DF)D", 4, 3, {0x18 /* dload */, 0, 0x17 /* fload */, 2, 0x8D /* f2d */,
                                              0x6B /* dmul */, 0xAF /* dreturn */});
        // float negF(float) = -f
        add_static(b, "negF", "(F)F", 1, 1, {0x17, 0, 0x76 /* fneg */, 0xAE /* freturn */});
        // Object id(Object) = o
        add_static(b, "id", "(Ljava/lang/Object;)Ljava/lang/Object;", 1, 1, {ALOAD_0, ARETURN});
        // void nothing()
        add_static(b, "nothing", "()V", 0, 0, {RETURN});
        classblock* cb = define(ee, b);
        ASSERT_NE(cb, nullptr) << take_pending(ee);
        entry_state before = state_of(ee);
        JValue r;

        int64_t big = 0x7FFFFFFF00000005ll;
        u4 a1[3] = {u4(-7), u4(u8(big) >> 32), u4(big)};
        r.j = 0;
        ASSERT_TRUE(vm_call_java(ee, vm_find_declared_method(cb, "addJ", "(IJ)J"), a1, 3, &r));
        EXPECT_EQ(r.j, big - 7);
        expect_same_state(ee, before);

        u8 d = dbits(2.5);
        u4 a2[3] = {u4(d >> 32), u4(d), fbits(-4.0f)};
        ASSERT_TRUE(vm_call_java(ee, vm_find_declared_method(cb, "mulD", "(DF)D"), a2, 3, &r));
        EXPECT_EQ(r.d, -10.0);

        u4 a3[1] = {fbits(1.5f)};
        ASSERT_TRUE(vm_call_java(ee, vm_find_declared_method(cb, "negF", "(F)F"), a3, 1, &r));
        EXPECT_EQ(r.f, -1.5f);

        u4 a4[1] = {reinterpret_cast<u4>(cb)};
        ASSERT_TRUE(vm_call_java(ee, vm_find_declared_method(cb, "id", "(Ljava/lang/Object;)Ljava/lang/Object;"),
                                 a4, 1, &r));
        EXPECT_EQ(r.u, reinterpret_cast<u4>(cb));
        EXPECT_TRUE(vm_call_java(ee, vm_find_declared_method(cb, "nothing", "()V"), nullptr, 0, nullptr));
        expect_same_state(ee, before);

        // Natives called directly: a native-only activation, the JNI
        // marshalling of long and double arguments, st(0) results.
        classblock* dbl = vm_find_class(ee, "java/lang/Double", 1);
        classblock* flt = vm_find_class(ee, "java/lang/Float", 1);
        ASSERT_TRUE(dbl && flt) << take_pending(ee);
        u8 bits = dbits(-0.375);
        u4 n1[2] = {u4(bits >> 32), u4(bits)};
        ASSERT_TRUE(vm_call_java(ee, vm_find_declared_method(dbl, "doubleToRawLongBits", "(D)J"), n1, 2, &r));
        EXPECT_EQ(u8(r.j), bits);
        ASSERT_TRUE(vm_call_java(ee, vm_find_declared_method(dbl, "longBitsToDouble", "(J)D"), n1, 2, &r));
        EXPECT_EQ(r.d, -0.375);
        u4 n2[1] = {fbits(3.25f)};
        ASSERT_TRUE(vm_call_java(ee, vm_find_declared_method(flt, "floatToRawIntBits", "(F)I"), n2, 1, &r));
        EXPECT_EQ(r.u, fbits(3.25f));
        ASSERT_TRUE(vm_call_java(ee, vm_find_declared_method(flt, "intBitsToFloat", "(I)F"), n2, 1, &r));
        EXPECT_EQ(r.f, 3.25f);
        expect_same_state(ee, before);
    });
}

// An exception out of the called method comes back pending; a Java stack
// exhausted by recursion gives StackOverflowError, not a fault; afterwards
// the thread calls Java normally again.
TEST(Interp, ExceptionsAndStackOverflowReturnPending)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        builder b("it/Throws");
        u2 exc = b.klass("java/lang/IllegalStateException");
        u2 init = b.methodref("java/lang/IllegalStateException", "<init>", "()V");
        add_static(b, "boom", "()I", 2, 0,
                   {NEW, hi(exc), lo(exc), DUP, INVOKESPECIAL, hi(init), lo(init), ATHROW});
        u2 self = b.methodref("it/Throws", "down", "(I)I");
        // int down(int n) = down(n + 1)
        add_static(b, "down", "(I)I", 2, 1, {ILOAD_0, ICONST_1, IADD, INVOKESTATIC, hi(self), lo(self), IRETURN});
        add_static(b, "one", "()I", 1, 0, {ICONST_1, IRETURN});
        classblock* cb = define(ee, b);
        ASSERT_NE(cb, nullptr) << take_pending(ee);
        entry_state before = state_of(ee);
        JValue r;
        r.j = 99;
        EXPECT_FALSE(vm_call_java(ee, vm_find_declared_method(cb, "boom", "()I"), nullptr, 0, &r));
        EXPECT_EQ(take_pending(ee), "java/lang/IllegalStateException");
        expect_same_state(ee, before);

        u4 arg[1] = {0};
        EXPECT_FALSE(vm_call_java(ee, vm_find_declared_method(cb, "down", "(I)I"), arg, 1, &r));
        EXPECT_EQ(take_pending(ee), "java/lang/StackOverflowError");
        expect_same_state(ee, before);

        ASSERT_TRUE(vm_call_java(ee, vm_find_declared_method(cb, "one", "()I"), nullptr, 0, &r));
        EXPECT_EQ(r.i, 1);
    });
}

// Instructions javac leaves out: jsr/ret (class files before version 51),
// the wide forms, switches with negative keys, MIN / -1.
TEST(Interp, RareInstructions)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        builder b("it/Rare");
        b.major = 50;
        // local0 = 0; jsr S; return local0;  S: astore_1; iinc 0 7; ret 1
        add_static(b, "jsr", "()I", 1, 2,
                   {ICONST_0, ISTORE_0, JSR, 0, 5, ILOAD_0, IRETURN, 0x4C /* astore_1 */, IINC, 0, 7, RET, 1});
        // wide: local300 = 1000; local300 += -2; return local300
        add_static(b, "wide", "()I", 1, 301,
                   {0x11 /* sipush */, 0x03, 0xE8, WIDE, ISTORE, 0x01, 0x2C, WIDE, IINC, 0x01, 0x2C, 0xFF, 0xFE,
                    WIDE, ILOAD, 0x01, 0x2C, IRETURN});
        // tableswitch on -1..1 of the argument: -1 -> 10, 0 -> 20, 1 -> 30, else 40
        std::vector<u1> ts = {ILOAD_0, TABLESWITCH, 0, 0,                    // pad to 4
                              0, 0, 0, 36,                                    // default -> 1+36 = 37
                              0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 1,             // low -1, high 1
                              0, 0, 0, 27, 0, 0, 0, 30, 0, 0, 0, 33,          // -> 28, 31, 34
                              BIPUSH, 10, IRETURN, BIPUSH, 20, IRETURN, BIPUSH, 30, IRETURN,
                              BIPUSH, 40, IRETURN};
        add_static(b, "tsw", "(I)I", 1, 1, ts);
        // lookupswitch: -100000 -> 1, 7 -> 2, else 3
        std::vector<u1> ls = {ILOAD_0, LOOKUPSWITCH, 0, 0,
                              0, 0, 0, 31,                                    // default -> 32
                              0, 0, 0, 2,
                              0xFF, 0xFE, 0x79, 0x60, 0, 0, 0, 27,            // -100000 -> 28
                              0, 0, 0, 7, 0, 0, 0, 29,                        // 7 -> 30
                              ICONST_1, IRETURN, 0x05 /* iconst_2 */, IRETURN, 0x06 /* iconst_3 */, IRETURN};
        add_static(b, "lsw", "(I)I", 1, 1, ls);
        // int idiv(int a, int b) = a / b + a % b  (MIN / -1 stays MIN, remainder 0)
        add_static(b, "idiv", "(II)I", 3, 2, {ILOAD_0, 0x1B /* iload_1 */, 0x6C /* idiv */, ILOAD_0, 0x1B, 0x70 /* irem */,
                                              IADD, IRETURN});
        classblock* cb = define(ee, b);
        ASSERT_NE(cb, nullptr) << take_pending(ee);
        JValue r;
        ASSERT_TRUE(vm_call_java(ee, vm_find_declared_method(cb, "jsr", "()I"), nullptr, 0, &r)) << take_pending(ee);
        EXPECT_EQ(r.i, 7);
        ASSERT_TRUE(vm_call_java(ee, vm_find_declared_method(cb, "wide", "()I"), nullptr, 0, &r)) << take_pending(ee);
        EXPECT_EQ(r.i, 998);
        struct { s4 in, out; } tcases[] = {{-1, 10}, {0, 20}, {1, 30}, {2, 40}, {-2, 40}, {INT_MIN, 40}};
        for (auto& c : tcases) {
            u4 a[1] = {u4(c.in)};
            ASSERT_TRUE(vm_call_java(ee, vm_find_declared_method(cb, "tsw", "(I)I"), a, 1, &r)) << take_pending(ee);
            EXPECT_EQ(r.i, c.out) << c.in;
        }
        struct { s4 in, out; } lcases[] = {{-100000, 1}, {7, 2}, {0, 3}, {INT_MAX, 3}};
        for (auto& c : lcases) {
            u4 a[1] = {u4(c.in)};
            ASSERT_TRUE(vm_call_java(ee, vm_find_declared_method(cb, "lsw", "(I)I"), a, 1, &r)) << take_pending(ee);
            EXPECT_EQ(r.i, c.out) << c.in;
        }
        u4 d1[2] = {u4(INT_MIN), u4(-1)};
        ASSERT_TRUE(vm_call_java(ee, vm_find_declared_method(cb, "idiv", "(II)I"), d1, 2, &r));
        EXPECT_EQ(r.i, INT_MIN);
        u4 d2[2] = {7, 0};
        EXPECT_FALSE(vm_call_java(ee, vm_find_declared_method(cb, "idiv", "(II)I"), d2, 2, &r));
        EXPECT_EQ(take_pending(ee), "java/lang/ArithmeticException");
    });
}

// The frames of a call from C++: the call-in marker links to the frame that
// was current, the first frame of the callee's activation to the marker,
// and the VM's own walkers see exactly the Java frames.
TEST(Interp, CallInFramesAndWalkers)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        JavaFrame* base = ee->current_frame;
        ASSERT_NE(base, nullptr);
        EXPECT_EQ(base->flags, u4(JFF_BASE));
        EXPECT_EQ(base->prev, nullptr);
        frame_iterator it;
        vm_fi_init(ee, &it);
        EXPECT_EQ(it.kind, u4(FIK_INTERPRETER));
        EXPECT_EQ(vm_fi_method(&it), nullptr);
        vm_fi_prev(&it);
        EXPECT_FALSE(vm_fi_more(&it));
        EXPECT_FALSE(vm_fi_current_frame_exists(ee));
        // The thread base frame lies outside every activation: its frame
        // address is the end of the thread area.
        vm_fi_init(ee, &it);
        EXPECT_EQ(vm_fi_frame_address(&it), ee->area + THREAD_AREA_SIZE);
    });
}
