// The structural verifier: each row is one method body that must be
// rejected (or accepted) when its class is read.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "classfile_builder.h"
#include "vm.h"

using namespace cfb;

namespace {

struct outcome {
    bool accepted;
    std::string error;
    std::string message;
};

// Reads class t/V with one static method m(II)I whose body `edit` writes.
outcome check(const std::function<void(builder&, method&)>& edit, u2 major = 52)
{
    builder b("t/V");
    b.major = major;
    b.add_field("f", "I");
    b.add_field("j", "J", ACC_STATIC);
    method& m = b.add_method("m", "(II)I", ACC_PUBLIC | ACC_STATIC);
    m.max_stack = 4;
    m.max_locals = 4;
    m.code = {ILOAD_0, IRETURN};
    edit(b, m);
    std::vector<u1> bytes = b.build();
    vm_load_error err;
    classblock* cb = vm_parse_class(bytes.data(), u4(bytes.size()), nullptr, &err);
    return outcome{cb != nullptr, err.exception ? err.exception : "", err.message};
}

u1 hi(u2 x) { return u1(x >> 8); }
u1 lo(u2 x) { return u1(x); }

}  // namespace

TEST(Verifier, RejectsMalformedCode)
{
    struct row {
        const char* what;
        std::function<void(builder&, method&)> edit;
        const char* error;
        u2 major;
    };
    const char* VE = "java/lang/VerifyError";
    const char* CFE = "java/lang/ClassFormatError";
    const row rows[] = {
        {"branch into the middle of an instruction",
         [](builder&, method& m) { m.code = {BIPUSH, 1, IFEQ, 0xFF, 0xFF, ILOAD_0, IRETURN}; }, VE, 52},
        {"branch before the code",
         [](builder&, method& m) { m.code = {GOTO, 0x80, 0x00}; }, VE, 52},
        {"branch past the end",
         [](builder&, method& m) { m.code = {GOTO, 0x00, 0x10}; }, VE, 52},
        {"local index = max_locals",
         [](builder&, method& m) { m.code = {ILOAD, 4, IRETURN}; }, VE, 52},
        {"long local in the last slot",
         [](builder&, method& m) { m.code = {LCONST_0, LSTORE, 3, ICONST_0, IRETURN}; }, VE, 52},
        {"wide load beyond max_locals",
         [](builder&, method& m) { m.code = {WIDE, ILOAD, 0x01, 0x00, IRETURN}; }, VE, 52},
        {"iinc beyond max_locals",
         [](builder&, method& m) { m.code = {IINC, 9, 1, ILOAD_0, IRETURN}; }, VE, 52},
        {"arguments do not fit into the locals",
         [](builder&, method& m) { m.max_locals = 1; }, VE, 52},
        {"getfield of a Methodref",
         [](builder& b, method& m) {
             u2 i = b.methodref("t/V", "m", "(II)I");
             m.code = {ACONST_NULL, GETFIELD, hi(i), lo(i), IRETURN};
         }, VE, 52},
        {"invokevirtual of a Fieldref",
         [](builder& b, method& m) {
             u2 i = b.fieldref("t/V", "f", "I");
             m.code = {ACONST_NULL, INVOKEVIRTUAL, hi(i), lo(i), IRETURN};
         }, VE, 52},
        {"ldc of a Long",
         [](builder& b, method& m) {
             u2 i = b.longc(5);
             m.code = {LDC, lo(i), IRETURN};
         }, VE, 52},
        {"constant-pool index out of range",
         [](builder&, method& m) { m.code = {LDC_W, 0x7F, 0xFF, IRETURN}; }, VE, 52},
        {"stack above max_stack",
         [](builder&, method& m) { m.max_stack = 2; m.code = {ICONST_0, ICONST_0, ICONST_0, IADD, IADD, IRETURN}; }, VE, 52},
        {"pop from an empty stack",
         [](builder&, method& m) { m.code = {POP, ICONST_0, IRETURN}; }, VE, 52},
        {"inconsistent stack height at a join",
         [](builder&, method& m) { m.code = {ILOAD_0, IFEQ, 0, 4, ICONST_0, ICONST_1, IRETURN}; }, VE, 52},
        {"falling off the end of the code",
         [](builder&, method& m) { m.code = {ICONST_0, POP}; }, VE, 52},
        {"truncated operand",
         [](builder&, method& m) { m.code = {ICONST_0, BIPUSH}; }, VE, 52},
        {"undefined opcode",
         [](builder&, method& m) { m.code = {BREAKPOINT, ILOAD_0, IRETURN}; }, VE, 52},
        {"quick opcode in a class file",
         [](builder&, method& m) { m.code = {0xD6, 0, 0, ILOAD_0, IRETURN}; }, VE, 52},
        {"bad wide form",
         [](builder&, method& m) { m.code = {WIDE, IADD, 0, 0, ILOAD_0, IRETURN}; }, VE, 52},
        {"return type mismatch",
         [](builder&, method& m) { m.code = {RETURN}; }, VE, 52},
        {"jsr in version 51",
         [](builder&, method& m) { m.code = {JSR, 0, 4, ILOAD_0, IRETURN}; }, VE, 51},
        {"handler in the middle of an instruction",
         [](builder&, method& m) {
             m.code = {BIPUSH, 1, IRETURN};
             m.handlers = {{0, 2, 1, 0}};
         }, VE, 52},
        {"handler range end inside an instruction",
         [](builder&, method& m) {
             m.code = {BIPUSH, 1, IRETURN, ATHROW};
             m.handlers = {{0, 1, 3, 0}};
         }, VE, 52},
        {"empty handler range",
         [](builder&, method& m) {
             m.code = {ICONST_0, IRETURN, ATHROW};
             m.handlers = {{1, 1, 2, 0}};
         }, VE, 52},
        {"tableswitch with low > high",
         [](builder&, method& m) {
             m.code = {ILOAD_0, TABLESWITCH, 0, 0, 0, 0, 0, 16, 0, 0, 0, 1, 0, 0, 0, 0, ICONST_0, IRETURN};
         }, VE, 52},
        {"tableswitch target outside the code",
         [](builder&, method& m) {
             m.code = {ILOAD_0, TABLESWITCH, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0,
                       0, 0, 0x40, 0, ICONST_0, IRETURN};
         }, VE, 52},
        {"unsorted lookupswitch",
         [](builder&, method& m) {
             m.code = {ILOAD_0, LOOKUPSWITCH, 0, 0, 0, 0, 0, 27, 0, 0, 0, 2,
                       0, 0, 0, 5, 0, 0, 0, 27, 0, 0, 0, 1, 0, 0, 0, 27, ICONST_0, IRETURN};
         }, VE, 52},
        {"invokeinterface with the wrong count",
         [](builder& b, method& m) {
             u2 i = b.imethodref("java/lang/Runnable", "run", "()V");
             m.code = {ACONST_NULL, INVOKEINTERFACE, hi(i), lo(i), 2, 0, ICONST_0, IRETURN};
         }, VE, 52},
        {"invokevirtual of <init>",
         [](builder& b, method& m) {
             u2 i = b.methodref("java/lang/Object", "<init>", "()V");
             m.code = {ACONST_NULL, INVOKEVIRTUAL, hi(i), lo(i), ICONST_0, IRETURN};
         }, VE, 52},
        {"new of an array class",
         [](builder& b, method& m) {
             u2 i = b.klass("[I");
             m.code = {NEW, hi(i), lo(i), POP, ICONST_0, IRETURN};
         }, VE, 52},
        {"newarray of an unknown type",
         [](builder&, method& m) { m.code = {ICONST_1, NEWARRAY, 3, POP, ICONST_0, IRETURN}; }, VE, 52},
        {"multianewarray with more dimensions than its class",
         [](builder& b, method& m) {
             u2 i = b.klass("[[I");
             m.code = {ICONST_1, ICONST_1, ICONST_1, MULTIANEWARRAY, hi(i), lo(i), 3, POP, ICONST_0, IRETURN};
         }, VE, 52},
        {"invokedynamic",
         [](builder& b, method& m) {
             u2 i = b.nat("x", "()V");
             m.code = {INVOKEDYNAMIC, hi(i), lo(i), 0, 0, ICONST_0, IRETURN};
         }, CFE, 52},
    };
    for (const row& r : rows) {
        outcome o = check(r.edit, r.major);
        EXPECT_FALSE(o.accepted) << r.what;
        EXPECT_EQ(o.error, r.error) << r.what << ": " << o.message;
    }
}

TEST(Verifier, AcceptsWellFormedCode)
{
    struct row {
        const char* what;
        std::function<void(builder&, method&)> edit;
        u2 major;
    };
    const row rows[] = {
        {"plain", [](builder&, method&) {}, 52},
        {"last local, one word", [](builder&, method& m) { m.code = {ILOAD, 3, IRETURN}; }, 52},
        {"long in the last two slots",
         [](builder&, method& m) { m.code = {LCONST_0, LSTORE, 2, ICONST_0, IRETURN}; }, 52},
        {"loop with a consistent height",
         [](builder&, method& m) { m.code = {IINC, 0, 1, ILOAD_0, IFEQ, 0xFF, 0xFC, ILOAD_0, IRETURN}; }, 52},
        {"goto_w backwards to the start",
         [](builder&, method& m) { m.code = {ILOAD_0, IFEQ, 0, 8, GOTO_W, 0xFF, 0xFF, 0xFF, 0xFC, ILOAD_0, IRETURN}; }, 52},
        {"handler gets depth 1",
         [](builder&, method& m) {
             m.code = {ILOAD_0, IRETURN, POP, ICONST_0, IRETURN};
             m.handlers = {{0, 2, 2, 0}};
         }, 52},
        {"tableswitch with padding",
         [](builder&, method& m) {
             // pc 1: opcode, pc 2-3 padding, default +19, low 0, high 0, one target +19.
             m.code = {ILOAD_0, TABLESWITCH, 0, 0, 0, 0, 0, 19, 0, 0, 0, 0, 0, 0, 0, 0,
                       0, 0, 0, 19, ICONST_0, IRETURN};
         }, 52},
        {"lookupswitch with sorted keys",
         [](builder&, method& m) {
             m.code = {ILOAD_0, LOOKUPSWITCH, 0, 0, 0, 0, 0, 27, 0, 0, 0, 2,
                       0, 0, 0, 1, 0, 0, 0, 27, 0, 0, 0, 5, 0, 0, 0, 27, ICONST_0, IRETURN};
         }, 52},
        {"jsr and ret in version 50",
         [](builder&, method& m) {
             // 0 jsr +5; 3 iload_0; 4 ireturn; 5 astore_2... as astore 2; 7 ret 2
             m.code = {JSR, 0, 5, ILOAD_0, IRETURN, ASTORE, 2, RET, 2};
         }, 50},
        {"getstatic of a long, putfield",
         [](builder& b, method& m) {
             u2 j = b.fieldref("t/V", "j", "J");
             u2 f = b.fieldref("t/V", "f", "I");
             m.code = {GETSTATIC, hi(j), lo(j), LSTORE, 2, ACONST_NULL, ICONST_0, PUTFIELD, hi(f), lo(f),
                       ICONST_0, IRETURN};
         }, 52},
        {"invokestatic with a long argument",
         [](builder& b, method& m) {
             u2 i = b.methodref("java/lang/Long", "valueOf", "(J)Ljava/lang/Long;");
             m.code = {LCONST_0, INVOKESTATIC, hi(i), lo(i), POP, ICONST_0, IRETURN};
         }, 52},
        {"ldc of a Class in version 49",
         [](builder& b, method& m) {
             u2 i = b.klass("java/lang/String");
             m.code = {LDC, lo(i), POP, ICONST_0, IRETURN};
         }, 49},
        {"multianewarray", [](builder& b, method& m) {
             u2 i = b.klass("[[I");
             m.code = {ICONST_1, ICONST_1, MULTIANEWARRAY, hi(i), lo(i), 2, POP, ICONST_0, IRETURN};
         }, 52},
    };
    for (const row& r : rows) {
        outcome o = check(r.edit, r.major);
        EXPECT_TRUE(o.accepted) << r.what << ": " << o.error << " " << o.message;
    }
}
