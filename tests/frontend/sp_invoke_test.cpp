// Invocation lowering in the stack pass: the checks and loads each
// invocation kind puts in front of its argument copies, the copies with their
// positions and register countdowns, and the recognised String calls.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "fe_vm_env.h"
#include "sp_test_util.h"

namespace {

using namespace sptest;

// A callee made by hand: a class (initialised or not) and a method of a
// method-table slot.
struct fake_callee {
    classblock cb;
    methodblock mb;
    fake_callee(const char* cls, u2 class_access, bool initialised, const char* name, const char* sig)
    {
        memset(&cb, 0, sizeof cb);
        memset(&mb, 0, sizeof mb);
        cb.name = cls;
        cb.access = class_access;
        cb.state = CS_LINKED | (initialised ? CS_INITIALIZED : 0);
        mb.clazz = &cb;
        mb.name = name;
        mb.signature = sig;
        mb.slot = 5;
    }
};

// A call quadruple of the given kind whose callee is held in its value word.
quadruple* call(method_compile_context* m, u1 opcode, u4 kind, methodblock* callee, int P, int F,
                const std::vector<u4>& stack, u4 arg_words, u2 extra_subcode = 0)
{
    quadruple* q = quad(m, opcode, P, -1, F, -1);
    quad_set_kind_nibble(q, kind);
    q->subcode |= extra_subcode;
    q->op = 0;
    q->value = reinterpret_cast<u4>(callee);
    q->count = static_cast<u2>(arg_words);
    set_stack_list(m, q, stack);
    return q;
}

struct lowered {
    method_compile_context* m;
    bbattr* b;
};

lowered lower(fake_method& fm, quadruple* (*make)(method_compile_context*))
{
    method_compile_context* m = new_context(&fm.mb);
    quadruple* q = make(m);
    make_blocks(m, {{q}});
    EXPECT_EQ(dup2copy(m), 0);
    return {m, m->bb_table[1]};
}

fake_callee virtual_target("Target", 0, true, "f", "(II)V");
fake_callee static_cold("Cold", 0, false, "s", "(JD)V");
fake_callee static_warm("Warm", 0, true, "s", "()V");

TEST(InvokeLowering, VirtualCallThroughTheMethodBlock)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        lowered l = lower(fm, [](method_compile_context* m) {
            // Two int words below the call's own two arguments.
            return call(m, OPC_VCALL, INVK_VIRTUAL_GUARDED, &virtual_target.mb, 3, -1,
                        {ARG_INT, ARG_INT, ARG_INT, ARG_INT}, 2);
        });
        const std::vector<int> want = {OPC_NULLCHECK, OPC_LOAD_METHODTABLE, OPC_LOAD_METHODBLOCK,
                                       OPC_IARGCOPY, OPC_IARGCOPY, OPC_VCALL};
        ASSERT_EQ(opcodes(l.b), want);
        quadruple** q = l.b->catbl;
        EXPECT_EQ(q[0]->src1.number, 2);                // S = the word below the arguments + 1
        EXPECT_EQ(q[0]->flags_a & QA_NULLCHECK_VARIANT, 0);
        EXPECT_EQ(q[1]->src1.number, 2);
        EXPECT_EQ(q[1]->result.number, 4);              // P+1
        EXPECT_EQ(q[2]->src1.number, 4);
        EXPECT_EQ(q[2]->src2.number, 5);                // the callee's slot
        EXPECT_EQ(q[2]->result.number, 5);              // P+2
        EXPECT_EQ(q[3]->src1.number, 3);                // last argument first
        EXPECT_EQ(q[3]->result.number, 1 | 1 << 8);     // countdown 1, position 1
        EXPECT_EQ(q[4]->src1.number, 2);
        EXPECT_EQ(q[4]->result.number, 0 | 0 << 8);
        EXPECT_EQ(q[3]->src2.value & 0xFFFF, 2u);
        EXPECT_EQ(q[5]->src1.number, 5);                // the call reads the method block
        EXPECT_EQ(l.b->max_int_height, 16);             // already above P+3
        // The copies' slots are recorded in the stack list.
        stack_list* list = quad_stack_list(q[5]);
        EXPECT_EQ(list->entries[3].producer, &l.b->catbl[3]);
        EXPECT_EQ(list->entries[2].producer, &l.b->catbl[4]);
        EXPECT_EQ(l.m->invocation_count, 1u);
        EXPECT_EQ(sp_invocation_arg_high_water(l.m), 2);
        free_context(l.m);
    });
}

TEST(InvokeLowering, LongAndDoubleArgumentsOfAColdStaticCall)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        lowered l = lower(fm, [](method_compile_context* m) {
            return call(m, OPC_VCALL, INVK_STATIC, &static_cold.mb, 1, 0,
                        {ARG_LONG1, ARG_LONG2, ARG_DOUBLE1, ARG_DOUBLE2}, 4);
        });
        const std::vector<int> want = {OPC_CLINIT, OPC_OTHER, OPC_DARGCOPY, OPC_OTHER, OPC_LARGCOPY, OPC_VCALL};
        ASSERT_EQ(opcodes(l.b), want);
        quadruple** q = l.b->catbl;
        EXPECT_EQ(q[0]->value, reinterpret_cast<u4>(&static_cold.cb));
        EXPECT_EQ(q[2]->src1.number, 0);                // the double's floating slot
        EXPECT_EQ(q[2]->result.number, 0 | 2 << 8);
        EXPECT_EQ(q[4]->src1.number, 0);                // the long's lower word
        EXPECT_EQ(q[4]->result.number, 0 | 0 << 8);     // countdown 2 -> 1 (placeholder) -> 0
        EXPECT_EQ(q[5]->result.number, 1 | 2 << 8);     // 1 floating and 2 integer words
        free_context(l.m);
    });
}

struct kind_case {
    const char* name;
    u4 kind;
    u2 subcode;
    std::vector<int> want;
    bool variant;
};

TEST(InvokeLowering, ChecksByKind)
{
    FE_REQUIRE_BOOT();
    const kind_case cases[] = {
        {"static, class initialised", INVK_STATIC, 0, {OPC_AARGCOPY, OPC_VCALL}, false},
        {"direct", INVK_DIRECT, 0, {OPC_NULLCHECK, OPC_AARGCOPY, OPC_VCALL}, true},
        {"direct, receiver non-null", INVK_DIRECT, QS_NO_NULLCHECK, {OPC_AARGCOPY, OPC_VCALL}, false},
        {"unresolved special", INVK_SPECIAL_UNRESOLVED, QS_UNRESOLVED, {OPC_NULLCHECK, OPC_AARGCOPY, OPC_VCALL}, true},
        // Nothing after these checks touches the receiver: the check must stay.
        {"super", INVK_SUPER, 0, {OPC_NULLCHECK, OPC_AARGCOPY, OPC_VCALL}, true},
        {"interface", INVK_INTERFACE, 0, {OPC_NULLCHECK, OPC_AARGCOPY, OPC_VCALL}, true},
        {"object method", INVK_OBJECT, 0, {OPC_NULLCHECK, OPC_LOAD_METHODTABLE, OPC_AARGCOPY, OPC_VCALL}, false},
        {"unresolved virtual", INVK_VIRTUAL, QS_UNRESOLVED,
         {OPC_NULLCHECK, OPC_LOAD_METHODTABLE, OPC_AARGCOPY, OPC_VCALL}, false},
        {"resolved virtual", INVK_VIRTUAL, QS_NO_NULLCHECK,
         {OPC_LOAD_METHODTABLE, OPC_LOAD_METHODBLOCK, OPC_AARGCOPY, OPC_VCALL}, false},
        {"quick virtual", INVK_VIRTUAL_QUICK, 0,
         {OPC_NULLCHECK, OPC_LOAD_METHODTABLE, OPC_LOAD_METHODBLOCK, OPC_AARGCOPY, OPC_VCALL}, false},
        {"no checks", INVK_NONE, 0, {OPC_AARGCOPY, OPC_VCALL}, false},
    };
    fetest::run([&](EE*) {
        for (const kind_case& c : cases) {
            fake_method fm("()V", ACC_STATIC, 0);
            method_compile_context* m = new_context(&fm.mb);
            quadruple* q = call(m, OPC_VCALL, c.kind, &static_warm.mb, 0, -1, {ARG_REF}, 1, c.subcode);
            make_blocks(m, {{q}});
            ASSERT_EQ(dup2copy(m), 0) << c.name;
            bbattr* b = m->bb_table[1];
            EXPECT_EQ(opcodes(b), c.want) << c.name;
            if (b->catbl[0]->opcode == OPC_NULLCHECK) {
                EXPECT_EQ((b->catbl[0]->flags_a & QA_NULLCHECK_VARIANT) != 0, c.variant) << c.name;
                EXPECT_EQ(b->catbl[0]->src1.number, 0) << c.name;      // the receiver
            }
            free_context(m);
        }
    });
}

// Fault guarded against: the String-method mark compared only the first 16
// characters of the class name, so StringBuffer's and StringBuilder's
// toString were taken for String's.
TEST(InvokeLowering, StringCallsAreRecognisedByTheWholeClassName)
{
    FE_REQUIRE_BOOT();
    struct string_case {
        const char* cls;
        u2 access;
        const char* name;
        const char* sig;
        bool marked;
    };
    const string_case cases[] = {
        {"java/lang/String", ACC_FINAL, "toString", "()Ljava/lang/String;", true},
        {"java/lang/String", ACC_FINAL, "indexOf", "(I)I", true},
        {"java/lang/String", ACC_FINAL, "<init>", "(Ljava/lang/StringBuffer;)V", true},
        {"java/lang/String", ACC_FINAL, "<init>", "([C)V", false},
        {"java/lang/String", ACC_FINAL, "length", "()I", false},
        {"java/lang/String", 0, "toString", "()Ljava/lang/String;", false},
        {"java/lang/StringBuffer", ACC_FINAL, "toString", "()Ljava/lang/String;", false},
        {"java/lang/StringBuilder", ACC_FINAL, "indexOf", "(Ljava/lang/String;)I", false},
    };
    fetest::run([&](EE*) {
        for (const string_case& c : cases) {
            fake_callee callee(c.cls, c.access, true, c.name, c.sig);
            fake_method fm("()V", ACC_STATIC, 0);
            method_compile_context* m = new_context(&fm.mb);
            quadruple* q = call(m, OPC_ACALL, INVK_DIRECT, &callee.mb, 0, -1, {ARG_REF}, 1);
            make_blocks(m, {{q}});
            ASSERT_EQ(dup2copy(m), 0);
            EXPECT_EQ((q->flags_a & QA_STRING_OR_INTEGER) != 0, c.marked) << c.cls << "." << c.name << c.sig;
            free_context(m);
        }
    });
}

TEST(InvokeLowering, CallWithoutArgumentListFailsCleanly)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        method_compile_context* m = new_context(&fm.mb);
        quadruple* q = call(m, OPC_VCALL, INVK_STATIC, &static_warm.mb, 0, -1, {}, 1);
        q->target = 0;
        make_blocks(m, {{q}});
        testing::internal::CaptureStderr();
        EXPECT_EQ(dup2copy(m), 1);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("no argument list"), std::string::npos);
        free_context(m);
    });
}

}  // namespace
