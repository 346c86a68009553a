// Class initialisation: the JLS procedure with the class state flags, run
// through the interpreter on classes built here.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

#include "classfile_builder.h"
#include "vm.h"
#include "vm_test_env.h"

using namespace cfb;
using vmtest::define;
using vmtest::run_java;
using vmtest::take_pending;

namespace {

u4 static_value(classblock* cb, const char* name)
{
    fieldblock* fb = vm_find_field(cb, name, "I");
    return fb ? fb->value : 0xDEAD;
}

u1 hi(u2 x) { return u1(x >> 8); }
u1 lo(u2 x) { return u1(x); }

// <clinit>: new <cls>; dup; invokespecial <init>()V; athrow
void throwing_clinit(builder& b, const char* cls)
{
    u2 c = b.klass(cls);
    u2 init = b.methodref(cls, "<init>", "()V");
    method& m = b.add_method("<clinit>", "()V", ACC_STATIC);
    m.max_stack = 2;
    m.max_locals = 0;
    m.code = {NEW, hi(c), lo(c), DUP, INVOKESPECIAL, hi(init), lo(init), ATHROW};
}

std::string detail_message(jref exc)
{
    fieldblock* fb = vm_find_field(vm_class_Throwable, "detailMessage", "Ljava/lang/String;");
    if (!fb || !exc)
        return "?";
    char buf[256];
    return vm_string_to_utf(vm_field<jref>(exc, fb->value), buf, sizeof buf);
}

}  // namespace

// The superclass's <clinit> runs first; ConstantValue statics are set
// before any <clinit>; the flags end as INITIALIZED only.
TEST(Init, OrderAndConstants)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        builder base("t/InitBase");
        base.add_field("ORDER", "I", ACC_PUBLIC | ACC_STATIC);
        u2 order = base.fieldref("t/InitBase", "ORDER", "I");
        method& bc = base.add_method("<clinit>", "()V", ACC_STATIC);
        bc.max_locals = 0;
        bc.code = {GETSTATIC, hi(order), lo(order), BIPUSH, 10, 0x68 /* imul */, ICONST_1, IADD,
                   PUTSTATIC, hi(order), lo(order), RETURN};

        builder d("t/InitDerived");
        d.super_name = "t/InitBase";
        d.add_field("C", "I", ACC_PUBLIC | ACC_STATIC | ACC_FINAL).constant_value = d.integer(7);
        d.add_field("X", "I", ACC_PUBLIC | ACC_STATIC);
        u2 border = d.fieldref("t/InitBase", "ORDER", "I");
        u2 c = d.fieldref("t/InitDerived", "C", "I");
        u2 x = d.fieldref("t/InitDerived", "X", "I");
        method& dc = d.add_method("<clinit>", "()V", ACC_STATIC);
        dc.max_locals = 0;
        dc.code = {GETSTATIC, hi(border), lo(border), BIPUSH, 10, 0x68, 0x05 /* iconst_2 */, IADD,
                   PUTSTATIC, hi(border), lo(border), GETSTATIC, hi(c), lo(c), PUTSTATIC, hi(x), lo(x), RETURN};

        classblock* B = define(ee, base);
        classblock* D = define(ee, d);
        ASSERT_TRUE(B && D) << take_pending(ee);
        EXPECT_EQ(static_value(D, "C"), 7u);                   // before <clinit>
        EXPECT_FALSE(D->state & CS_INITIALIZED);
        ASSERT_TRUE(vm_init_class(ee, D)) << take_pending(ee);
        EXPECT_EQ(static_value(B, "ORDER"), 12u);
        EXPECT_EQ(static_value(D, "X"), 7u);
        EXPECT_EQ(D->state & (CS_INITIALIZED | CS_INITIALIZING | CS_INIT_FAILED), CS_INITIALIZED);
        EXPECT_EQ(B->state & (CS_INITIALIZED | CS_INITIALIZING | CS_INIT_FAILED), CS_INITIALIZED);
        EXPECT_EQ(D->init_thread, nullptr);
        ASSERT_TRUE(vm_init_class(ee, D));                     // once only
        EXPECT_EQ(static_value(B, "ORDER"), 12u);
    });
}

// A <clinit> that calls its own class's static method: the recursive
// request by the initialising thread proceeds.  An implemented interface
// is not initialised with the class.
TEST(Init, RecursiveRequestAndInterfaces)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        builder i("t/InitIface");
        i.access = ACC_PUBLIC | ACC_INTERFACE | ACC_ABSTRACT;
        i.add_field("K", "I", ACC_PUBLIC | ACC_STATIC | ACC_FINAL);
        u2 k = i.fieldref("t/InitIface", "K", "I");
        method& ic = i.add_method("<clinit>", "()V", ACC_STATIC);
        ic.max_locals = 0;
        ic.code = {ICONST_1, PUTSTATIC, hi(k), lo(k), RETURN};

        builder r("t/InitRec");
        r.interfaces = {"t/InitIface"};
        r.add_field("X", "I", ACC_STATIC);
        u2 x = r.fieldref("t/InitRec", "X", "I");
        u2 f = r.methodref("t/InitRec", "f", "()V");
        method& rc = r.add_method("<clinit>", "()V", ACC_STATIC);
        rc.max_locals = 0;
        rc.code = {INVOKESTATIC, hi(f), lo(f), RETURN};
        method& fm = r.add_method("f", "()V", ACC_STATIC);
        fm.max_locals = 0;
        fm.code = {GETSTATIC, hi(x), lo(x), ICONST_1, IADD, PUTSTATIC, hi(x), lo(x), RETURN};

        classblock* I = define(ee, i);
        classblock* R = define(ee, r);
        ASSERT_TRUE(I && R) << take_pending(ee);
        ASSERT_TRUE(vm_init_class(ee, R)) << take_pending(ee);
        EXPECT_EQ(static_value(R, "X"), 1u);
        EXPECT_FALSE(I->state & CS_INITIALIZED);
        ASSERT_TRUE(vm_init_class(ee, I)) << take_pending(ee);
        EXPECT_EQ(static_value(I, "K"), 1u);
    });
}

// An exception from <clinit>: wrapped in ExceptionInInitializerError unless
// it is an Error; every later use gets NoClassDefFoundError.
TEST(Init, FailureThenNoClassDefFoundError)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        builder bad("t/InitBad");
        throwing_clinit(bad, "java/lang/IllegalStateException");
        builder err("t/InitError");
        throwing_clinit(err, "java/lang/InternalError");
        builder child("t/InitChildOfBad");
        child.super_name = "t/InitBad";

        classblock* B = define(ee, bad);
        classblock* E = define(ee, err);
        classblock* C = define(ee, child);
        ASSERT_TRUE(B && E && C) << take_pending(ee);

        EXPECT_FALSE(vm_init_class(ee, B));
        ASSERT_TRUE(vm_exception_pending(ee));
        jref eiie = vm_pending_exception(ee);
        EXPECT_EQ(take_pending(ee), "java/lang/ExceptionInInitializerError");
        fieldblock* cause = vm_find_field(vm_class_Throwable, "cause", "Ljava/lang/Throwable;");
        if (cause) {
            jref c = vm_field<jref>(eiie, cause->value);
            ASSERT_NE(c, nullptr);
            EXPECT_STREQ(vm_class_of(c)->name, "java/lang/IllegalStateException");
        }
        EXPECT_EQ(B->state & (CS_INITIALIZED | CS_INITIALIZING | CS_INIT_FAILED), CS_INIT_FAILED);

        EXPECT_FALSE(vm_init_class(ee, B));
        jref ncdfe = vm_pending_exception(ee);
        EXPECT_EQ(take_pending(ee), "java/lang/NoClassDefFoundError");
        EXPECT_EQ(detail_message(ncdfe), "Could not initialize class t.InitBad");

        // A subclass of a failed class fails too, with the same error.
        EXPECT_FALSE(vm_init_class(ee, C));
        EXPECT_EQ(take_pending(ee), "java/lang/NoClassDefFoundError");
        EXPECT_TRUE(C->state & CS_INIT_FAILED);

        EXPECT_FALSE(vm_init_class(ee, E));
        EXPECT_EQ(take_pending(ee), "java/lang/InternalError");
        EXPECT_FALSE(vm_find_class(ee, "t/InitError", 1));
        EXPECT_EQ(take_pending(ee), "java/lang/NoClassDefFoundError");
    });
}

// Two threads ask for the same class at once: <clinit> runs once and the
// second thread returns only after it has completed.
TEST(Init, ConcurrentRequestsRunClinitOnce)
{
    REQUIRE_BOOT();
    builder s("t/InitSlow");
    s.add_field("COUNT", "I", ACC_PUBLIC | ACC_STATIC);
    s.add_field("DONE", "I", ACC_PUBLIC | ACC_STATIC);
    u2 count = s.fieldref("t/InitSlow", "COUNT", "I");
    u2 done = s.fieldref("t/InitSlow", "DONE", "I");
    u2 big = s.integer(300000);
    method& m = s.add_method("<clinit>", "()V", ACC_STATIC);
    m.max_locals = 1;
    m.max_stack = 2;
    // COUNT++; for (i = 300000; i != 0; i--) ; DONE = 1
    m.code = {GETSTATIC, hi(count), lo(count), ICONST_1, IADD, PUTSTATIC, hi(count), lo(count),
              LDC_W, hi(big), lo(big), ISTORE_0,
              IINC, 0, 0xFF, ILOAD_0, 0x9A /* ifne */, 0xFF, 0xFC,
              ICONST_1, PUTSTATIC, hi(done), lo(done), RETURN};
    classblock* S = nullptr;
    run_java([&](EE* ee) {
        S = define(ee, s);
        ASSERT_NE(S, nullptr) << take_pending(ee);
    });
    ASSERT_NE(S, nullptr);

    std::atomic<int> ok{0};
    std::atomic<int> saw_done{0};
    std::atomic<int> started{0};
    struct arg_t { classblock* cb; std::atomic<int>* ok; std::atomic<int>* saw_done; std::atomic<int>* started; };
    arg_t arg{S, &ok, &saw_done, &started};
    auto body = [](EE* ee, void* p) {
        auto* a = static_cast<arg_t*>(p);
        a->started->fetch_add(1);
        while (a->started->load() < 2) {
        }
        if (vm_init_class(ee, a->cb))
            a->ok->fetch_add(1);
        if (static_value(a->cb, "DONE") == 1)
            a->saw_done->fetch_add(1);
    };
    ASSERT_NE(vm_start_thread_area(body, &arg, false), nullptr);
    ASSERT_NE(vm_start_thread_area(body, &arg, false), nullptr);
    vm_wait_non_daemon_threads();
    EXPECT_EQ(ok.load(), 2);
    EXPECT_EQ(saw_done.load(), 2);
    EXPECT_EQ(static_value(S, "COUNT"), 1u);
}

// The Java part of the bootstrap: String and StackOverflowError initialised,
// the preallocated throwables constructed.
TEST(Init, BootstrapJavaPart)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        ASSERT_TRUE(vm_bootstrap_classes(ee)) << take_pending(ee);
        ASSERT_NE(vm_preallocated_oom, nullptr);
        ASSERT_NE(vm_preallocated_internal, nullptr);
        EXPECT_STREQ(vm_class_of(vm_preallocated_oom)->name, "java/lang/OutOfMemoryError");
        EXPECT_STREQ(vm_class_of(vm_preallocated_internal)->name, "java/lang/InternalError");
        EXPECT_TRUE(vm_class_String->state & CS_INITIALIZED);
        classblock* soe = vm_lookup_class("java/lang/StackOverflowError");
        ASSERT_NE(soe, nullptr);
        EXPECT_TRUE(soe->state & CS_INITIALIZED);
        EXPECT_TRUE(vm_class_Throwable->state & CS_INITIALIZED);
        jref oom = vm_preallocated_oom;
        ASSERT_TRUE(vm_bootstrap_classes(ee));                 // a second call changes nothing
        EXPECT_EQ(vm_preallocated_oom, oom);
    });
}
