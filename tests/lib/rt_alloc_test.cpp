// Allocation, cast and instance-test routines (run-time routine table
// entries 18-25), called as compiled code calls them directly (stub frame
// 0): results, the exceptions they leave pending, and the transition chain
// restored on every path.
#include <gtest/gtest.h>

#include <string>

#include "rt_test_env.h"

namespace {

typedef u4 (*is_instance_fn)(jref, classblock*);
typedef u4 (*checkcast_fn)(jref, classblock*, u4, u4);
typedef u4 (*objalloc_fn)(classblock*, u4, u4);
typedef u4 (*newarray_fn)(int, s4, u4, u4);
typedef u4 (*anewarray_fn)(int, s4, u4*, u4, u4);
typedef u4 (*multianewarray_fn)(int, int, u4*, s4*, u4, u4);

class AllocRoutines : public testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(rtt::start(&why)) << why;
    }
};

std::string message_of_pending(EE* ee)
{
    jref exc = vm_pending_exception(ee);
    JValue r{};
    vm_clear_pending(ee);
    if (!vm_call_method(ee, exc, vm_class_of(exc), "getMessage", "()Ljava/lang/String;", &r) || r.u == 0)
        return "(null)";
    char buf[128];
    return vm_string_to_utf(reinterpret_cast<jref>(r.u), buf, sizeof buf);
}

TEST_F(AllocRoutines, ArraysAndNegativeLengths)
{
    vmtest::run_java([&](EE* ee) {
        u4 transition = ee->transition;
        auto newarray = reinterpret_cast<newarray_fn>(rtt::routine(21));
        u4 a = newarray(T_INT, 0, 0, 0);
        ASSERT_NE(a, 0u);
        EXPECT_EQ(reinterpret_cast<JHandle*>(a)->word0, 0u);            // length 0
        EXPECT_EQ(newarray(T_INT, -1, 0, 0), 0u);
        EXPECT_EQ(vmtest::take_pending(ee), "java/lang/NegativeArraySizeException");
        EXPECT_EQ(ee->transition, transition);

        // A constant pool whose entry 1 is resolved: String, then [[I.
        u1 tags[2] = {0, CONSTANT_Class | CONSTANT_RESOLVED};
        classblock* string = vm_find_class(ee, "java/lang/String", 1);
        u4 cp[2] = {reinterpret_cast<u4>(tags), reinterpret_cast<u4>(string)};
        u4 s = reinterpret_cast<anewarray_fn>(rtt::routine(23))(1, 3, cp, 0, 0);
        ASSERT_NE(s, 0u);
        EXPECT_EQ(reinterpret_cast<u4*>(s)[2 + 3], reinterpret_cast<u4>(string));   // element class
        EXPECT_EQ(reinterpret_cast<anewarray_fn>(rtt::routine(23))(1, -5, cp, 0, 0), 0u);
        EXPECT_EQ(vmtest::take_pending(ee), "java/lang/NegativeArraySizeException");

        cp[1] = reinterpret_cast<u4>(vm_find_class(ee, "[[I", 0));
        ASSERT_NE(cp[1], 0u);
        auto multi = reinterpret_cast<multianewarray_fn>(rtt::routine(25));
        for (int negative = 0; negative < 2; negative++) {
            s4 dims[2] = {negative ? -1 : 3, negative ? 3 : -1};     // word 1 is the outermost
            EXPECT_EQ(multi(1, 2, cp, dims, 0, 0), 0u);
            EXPECT_EQ(vmtest::take_pending(ee), "java/lang/NegativeArraySizeException");
        }
        s4 dims[2] = {4, 2};
        u4 m = multi(1, 2, cp, dims, 0, 0);
        ASSERT_NE(m, 0u);
        EXPECT_EQ(reinterpret_cast<JHandle*>(m)->word0, 2u);
        u4 inner = reinterpret_cast<u4*>(m)[2];
        EXPECT_EQ(reinterpret_cast<JHandle*>(inner)->word0, 4u);
        EXPECT_EQ(ee->transition, transition);
    });
}

TEST_F(AllocRoutines, ObjectsCastsAndInstanceTests)
{
    vmtest::run_java([&](EE* ee) {
        classblock* object = vm_find_class(ee, "java/lang/Object", 1);
        classblock* string = vm_find_class(ee, "java/lang/String", 1);
        jref o = reinterpret_cast<jref>(reinterpret_cast<objalloc_fn>(rtt::routine(20))(object, 0, 0));
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(vm_class_of(o), object);

        auto is_instance = reinterpret_cast<is_instance_fn>(rtt::routine(18));
        auto checkcast = reinterpret_cast<checkcast_fn>(rtt::routine(19));
        jref s = vm_new_string_utf(ee, "x");
        EXPECT_EQ(is_instance(nullptr, object), 0u);
        EXPECT_EQ(is_instance(s, object), 1u);
        EXPECT_EQ(is_instance(o, string), 0u);
        EXPECT_NE(checkcast(nullptr, string, 0, 0), 0u);
        EXPECT_NE(checkcast(s, object, 0, 0), 0u);
        EXPECT_EQ(checkcast(o, string, 0, 0), 0u);
        EXPECT_EQ(message_of_pending(ee), "java.lang.Object");
        jref ints = vm_new_array(ee, T_INT, 2);
        EXPECT_EQ(checkcast(ints, string, 0, 0), 0u);
        EXPECT_EQ(message_of_pending(ee), "java.lang.Object");      // arrays name Object
    });
}

}  // namespace

namespace {

std::string pending_message(EE* ee)
{
    return message_of_pending(ee);
}

// Interface dispatch: the fast path's miss routine (entry 41) and the plain
// path's lookup.  String implements CharSequence; Object does not.
TEST_F(AllocRoutines, InterfaceDispatch)
{
    vmtest::run_java([&](EE* ee) {
        classblock* string = vm_find_class(ee, "java/lang/String", 1);
        classblock* chars = vm_find_class(ee, "java/lang/CharSequence", 1);
        classblock* object = vm_find_class(ee, "java/lang/Object", 1);
        methodblock* imb = vm_find_method(chars, "length", "()I");
        methodblock* impl = vm_find_method(string, "length", "()I");
        ASSERT_TRUE(imb && impl);
        jref s = vm_new_string_utf(ee, "abc");
        jref o = vm_new_object(ee, object);
        const imethod_table* t = string->imethodtable;
        s4 at = -1;
        for (u4 i = 0; i < t->icount; i++)
            if (t->itable[i].classdescriptor == chars)
                at = static_cast<s4>(i);
        ASSERT_GE(at, 0);

        void* miss = rtt::routine(41);
        u1 guess = 200;                         // beyond the count: scanned
        EXPECT_EQ(rtt_enter(miss, reinterpret_cast<u4>(s), reinterpret_cast<u4>(imb), reinterpret_cast<u4>(&guess)),
                  reinterpret_cast<u4>(impl));
        EXPECT_EQ(guess, static_cast<u1>(at));
        EXPECT_EQ(rtt_enter(miss, reinterpret_cast<u4>(s), reinterpret_cast<u4>(imb), reinterpret_cast<u4>(&guess)),
                  reinterpret_cast<u4>(impl));

        u4 result = 0;
        int how = rtt_frameless(miss, reinterpret_cast<u4>(o), reinterpret_cast<u4>(imb), reinterpret_cast<u4>(&guess),
                                reinterpret_cast<void*>(vm_frameless_landing),
                                rtt::sym<void* (*)()>("rtt_handler")(), &result);
        ee->mode = EE_MODE_INTERPRETER;
        EXPECT_EQ(how, 2);
        EXPECT_EQ(pending_message(ee), "class java.lang.Object does not implement interface java.lang.CharSequence");

        auto lookup = rtt::sym<methodblock* (*)(u4*, u4, methodblock*)>("rtt_get_mb_from_methodtable");
        u4 word = 0;
        EXPECT_EQ(lookup(&word, reinterpret_cast<u4>(s), imb), impl);
        EXPECT_EQ(word, static_cast<u4>(at));
        EXPECT_EQ(lookup(&word, 0, imb), nullptr);
        EXPECT_EQ(vmtest::take_pending(ee), "java/lang/NullPointerException");
        EXPECT_EQ(lookup(&word, reinterpret_cast<u4>(o), imb), nullptr);
        EXPECT_EQ(pending_message(ee), "class java.lang.Object does not implement interface java.lang.CharSequence");
    });
}

}  // namespace
