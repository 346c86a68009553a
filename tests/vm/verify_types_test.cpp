// The type-level verifier: one row per rule, each a method body that is well
// formed (the structural verifier accepts it) but wrong in its types, and
// must give VerifyError when its class is linked; controls that must link.
// Without the type pass most of these bodies crash the interpreter (a field
// or method-table slot read past the object, an int used as a pointer).
#include <gtest/gtest.h>

#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <functional>
#include <string>
#include <vector>

#include "classfile_builder.h"
#include "vm_test_env.h"

using namespace cfb;
using namespace vmtest;

namespace {

u1 hi(u2 x) { return u1(x >> 8); }
u1 lo(u2 x) { return u1(x); }

enum : u1 {
    ICONST_2 = 0x05, FCONST_0 = 0x0B, ILOAD_1 = 0x1B, FLOAD_1 = 0x23, ALOAD_2 = 0x2C,
    IALOAD = 0x2E, AALOAD = 0x32, ISTORE_1 = 0x3C, LSTORE_1 = 0x40, FSTORE_1 = 0x44,
    ASTORE_1 = 0x4C, ASTORE_2 = 0x4D, IASTORE = 0x4F, POP2 = 0x58, SWAP = 0x5F, FRETURN = 0xAE,
    ARRAYLENGTH = 0xBE, IF_ICMPEQ = 0x9F, IFNULL = 0xC6,
};
constexpr u1 T_BYTE_CODE = 8, T_INT_CODE = 10;

// Fixture classes the rows refer to: t/Base { int x; void v(); }, t/Derived
// extends t/Base { void extra(); int y; }, p/Prot { protected int pf; }.
void define_fixtures(EE* ee)
{
    static bool done = false;
    if (done)
        return;
    done = true;
    builder base("vt/Base");
    base.add_default_constructor();
    base.add_field("x", "I");
    base.add_method("v", "()V");
    ASSERT_NE(define(ee, base), nullptr) << take_pending(ee);
    builder derived("vt/Derived");
    derived.super_name = "vt/Base";
    derived.add_default_constructor();
    derived.add_field("y", "I");
    derived.add_method("extra", "()V");
    derived.add_method("extra2", "()V");
    ASSERT_NE(define(ee, derived), nullptr) << take_pending(ee);
    builder prot("vp/Prot");
    prot.add_default_constructor();
    prot.add_field("pf", "I", ACC_PROTECTED);
    ASSERT_NE(define(ee, prot), nullptr) << take_pending(ee);
}

struct row {
    const char* what;
    const char* sig;                    // of the static method m under test
    std::function<void(builder&, method&)> edit;
    const char* error;                  // 0: must link; else a part of the VerifyError message
    u2 major = 52;
    const char* super_name = "java/lang/Object";
};

// Defines a class with static method m(sig) whose body `edit` writes; the
// VerifyError message ("" when it linked, the exception class otherwise).
std::string link_result(EE* ee, const row& r)
{
    static int serial = 0;
    std::string name = "vq/T" + std::to_string(serial++);
    builder b(name);
    b.major = r.major;
    b.super_name = r.super_name;
    method& m = b.add_method("m", r.sig, ACC_PUBLIC | ACC_STATIC);
    m.max_stack = 4;
    m.max_locals = 4;
    r.edit(b, m);
    if (define(ee, b))
        return "";
    jref exc = vm_pending_exception(ee);
    std::string cls = take_pending(ee);
    if (cls != "java/lang/VerifyError")
        return cls;
    methodblock* get = vm_find_method(vm_class_of(exc), "getMessage", "()Ljava/lang/String;");
    JValue v;
    u4 self = reinterpret_cast<u4>(exc);
    if (!get || !vm_call_java(ee, get, &self, 1, &v))
        return "VerifyError without message";
    char buf[512];
    return std::string("VerifyError: ") + vm_string_to_utf(reinterpret_cast<jref>(v.u), buf, sizeof buf);
}

}  // namespace

TEST(VerifyTypes, RejectsIllTypedCode)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        define_fixtures(ee);
        const row rows[] = {
            {"getfield on an int", "()I", [](builder& b, method& m) {
                 u2 f = b.fieldref("vt/Base", "x", "I");
                 m.code = {ICONST_0, GETFIELD, hi(f), lo(f), IRETURN};
             }, "Expecting to find object/array on stack"},
            {"getfield on an object of another class", "()I", [](builder& b, method& m) {
                 u2 f = b.fieldref("vt/Derived", "y", "I");
                 u2 s = b.string("s");
                 m.code = {LDC, lo(s), GETFIELD, hi(f), lo(f), IRETURN};
             }, "Incompatible type for getting or setting field"},
            {"getfield of a subclass field on the superclass", "(Lvt/Base;)I", [](builder& b, method& m) {
                 u2 f = b.fieldref("vt/Derived", "y", "I");
                 m.code = {ALOAD_0, GETFIELD, hi(f), lo(f), IRETURN};
             }, "Incompatible type for getting or setting field"},
            {"putfield of a float into an int field", "(Lvt/Base;)V", [](builder& b, method& m) {
                 u2 f = b.fieldref("vt/Base", "x", "I");
                 m.code = {ALOAD_0, FCONST_0, PUTFIELD, hi(f), lo(f), RETURN};
             }, "Expecting to find integer on stack"},
            {"putstatic of a String into an int[] static", "()V", [](builder& b, method& m) {
                 b.add_field("a", "[I", ACC_STATIC);
                 u2 f = b.fieldref(b.name, "a", "[I");
                 u2 s = b.string("s");
                 m.code = {LDC, lo(s), PUTSTATIC, hi(f), lo(f), RETURN};
             }, "Incompatible object argument"},
            {"iaload on an int", "()I", [](builder&, method& m) { m.code = {ICONST_0, ICONST_0, IALOAD, IRETURN}; },
             "Expecting to find object/array on stack"},
            {"newarray byte then iastore (writes past the array)", "()V", [](builder&, method& m) {
                 m.code = {ICONST_1, NEWARRAY, T_BYTE_CODE, ICONST_0, ICONST_0, IASTORE, RETURN};
             }, "array of the instruction's type"},
            {"aaload on an int[]", "()V", [](builder&, method& m) {
                 m.code = {ICONST_1, NEWARRAY, T_INT_CODE, ICONST_0, AALOAD, POP, RETURN};
             }, "array of objects or arrays"},
            {"arraylength on a String", "()I", [](builder& b, method& m) {
                 u2 s = b.string("s");
                 m.code = {LDC, lo(s), ARRAYLENGTH, IRETURN};
             }, "Expecting to find array on stack"},
            {"invokevirtual of a subclass method on the superclass", "(Lvt/Base;)V", [](builder& b, method& m) {
                 u2 e = b.methodref("vt/Derived", "extra2", "()V");
                 m.code = {ALOAD_0, INVOKEVIRTUAL, hi(e), lo(e), RETURN};
             }, "Incompatible object argument for function call"},
            {"an int passed for a String argument", "()V", [](builder& b, method& m) {
                 u2 e = b.methodref("java/lang/String", "valueOf", "(Ljava/lang/Object;)Ljava/lang/String;");
                 m.code = {ICONST_1, INVOKESTATIC, hi(e), lo(e), POP, RETURN};
             }, "Expecting to find object/array on stack"},
            {"athrow of a String", "()V", [](builder& b, method& m) {
                 u2 s = b.string("s");
                 m.code = {LDC, lo(s), ATHROW};
             }, "Can only throw Throwable objects"},
            {"areturn of the superclass from a method returning the subclass", "(Lvt/Base;)Lvt/Derived;",
             [](builder&, method& m) { m.code = {ALOAD_0, ARETURN}; }, "Incompatible object argument"},
            {"freturn of an int", "()F", [](builder&, method& m) { m.code = {ICONST_0, FRETURN}; },
             "Expecting to find float on stack"},
            {"uninitialised object used", "()V", [](builder& b, method& m) {
                 u2 c = b.klass("vt/Base");
                 u2 v = b.methodref("vt/Base", "v", "()V");
                 m.code = {NEW, hi(c), lo(c), INVOKEVIRTUAL, hi(v), lo(v), RETURN};
             }, "Expecting to find object/array on stack"},
            {"constructor of another class on a new object", "()V", [](builder& b, method& m) {
                 u2 c = b.klass("vt/Base");
                 u2 i = b.methodref("vt/Derived", "<init>", "()V");
                 m.code = {NEW, hi(c), lo(c), INVOKESPECIAL, hi(i), lo(i), RETURN};
             }, "Call to wrong initialization method"},
            {"constructor that never calls super()", "()V", [](builder& b, method&) {
                 method& c = b.add_method("<init>", "()V");
                 c.max_locals = 1;
                 c.code = {RETURN};
             }, "Constructor must call super() or this()"},
            {"int and float meet on the stack", "(I)I", [](builder&, method& m) {
                 // 0 iload_0; 1 ifeq +7 -> 8; 4 iconst_0; 5 goto +4 -> 9; 8 fconst_0; 9 pop; 10 iconst_0; 11 ireturn
                 m.code = {ILOAD_0, IFEQ, 0, 7, ICONST_0, GOTO, 0, 4, FCONST_0, POP, ICONST_0, IRETURN};
             }, "Incompatible types on the operand stack"},
            {"a local that is int on one path and float on the other", "(I)I", [](builder&, method& m) {
                 // 0 iload_0; 1 ifeq +8 -> 9; 4 iconst_0; 5 istore_1; 6 goto +5 -> 11; 9 fconst_0; 10 fstore_1;
                 // 11 iload_1; 12 ireturn
                 m.code = {ILOAD_0, IFEQ, 0, 8, ICONST_0, ISTORE_1, GOTO, 0, 5, FCONST_0, FSTORE_1, ILOAD_1, IRETURN};
             }, "Register does not contain an integer"},
            {"half of a long popped", "()V", [](builder&, method& m) { m.code = {LCONST_0, POP, POP, RETURN}; },
             "Attempt to split long or double"},
            {"half of a long loaded as an int", "()I", [](builder&, method& m) {
                 m.code = {LCONST_0, LSTORE_1, ILOAD_1, IRETURN};
             }, "Register does not contain an integer"},
            {"iinc of a float local", "()V", [](builder&, method& m) {
                 m.code = {FCONST_0, FSTORE_1, IINC, 1, 1, RETURN};
             }, "Register does not contain an integer"},
            {"ret on a local holding an int", "()V", [](builder&, method& m) {
                 m.code = {ICONST_0, ISTORE_1, RET, 1};
             }, "Expecting to find return address in local", 49},
            {"jsr into itself", "()V", [](builder&, method& m) {
                 // 0 jsr +4 -> 4; 3 return; 4 astore_1; 5 jsr -1 -> 4 (recursive); 8 return
                 m.code = {JSR, 0, 4, RETURN, ASTORE_1, JSR, 0xFF, 0xFF, RETURN};
             }, "Recursive call to jsr entry", 49},
            {"return address used after the subroutine returned", "()V", [](builder&, method& m) {
                 // 0 jsr +6 -> 6; 3 ret 1 (local 1 still holds the old address); 5 nop; 6 astore_1; 7 ret 1
                 m.code = {JSR, 0, 6, RET, 1, NOP, ASTORE_1, RET, 1};
             }, "Return address of a subroutine the code is not in", 49},
            {"protected field of a superclass in another package through a superclass reference",
             "(Lvp/Prot;)I", [](builder& b, method& m) {
                 u2 f = b.fieldref("vp/Prot", "pf", "I");
                 m.code = {ALOAD_0, GETFIELD, hi(f), lo(f), IRETURN};
             }, "Bad access to protected data", 52, "vp/Prot"},
            {"catch type that is not a Throwable", "()V", [](builder& b, method& m) {
                 u2 s = b.klass("java/lang/String");
                 m.code = {NOP, RETURN, POP, RETURN};
                 m.handlers = {{0, 1, 2, s}};
             }, "Catch type is not a subclass of Throwable"},
            {"invokespecial of a method of an unrelated class", "(Lvt/Base;)V", [](builder& b, method& m) {
                 u2 v = b.methodref("vt/Base", "v", "()V");
                 m.code = {ALOAD_0, INVOKESPECIAL, hi(v), lo(v), RETURN};
             }, "Bad invokespecial instruction"},
            {"swap of a long", "()V", [](builder&, method& m) { m.code = {LCONST_0, SWAP, POP2, RETURN}; },
             "Attempt to split long or double"},
        };
        for (const row& r : rows) {
            std::string got = link_result(ee, r);
            EXPECT_NE(got.find(r.error), std::string::npos) << r.what << ": got \"" << got << "\"";
            EXPECT_NE(got.find("at pc "), std::string::npos) << r.what << ": " << got;
        }
    });
}

TEST(VerifyTypes, AcceptsWellTypedCode)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        define_fixtures(ee);
        const row rows[] = {
            {"Derived and Base meet as Base, then Base's field", "(ILvt/Derived;Lvt/Base;)I",
             [](builder& b, method& m) {
                 u2 f = b.fieldref("vt/Base", "x", "I");
                 // 0 iload_0; 1 ifeq +7 -> 8; 4 aload_1; 5 goto +4 -> 9; 8 aload_2; 9 getfield x; 12 ireturn
                 m.code = {ILOAD_0, IFEQ, 0, 7, ALOAD_1, GOTO, 0, 4, ALOAD_2, GETFIELD, hi(f), lo(f), IRETURN};
             }, nullptr},
            {"null meets an array", "(I)I", [](builder&, method& m) {
                 // 0 iload_0; 1 ifeq +9 -> 10; 4 iconst_1; 5 newarray int; 7 goto +4 -> 11;
                 // 10 aconst_null; 11 arraylength; 12 ireturn
                 m.code = {ILOAD_0, IFEQ, 0, 9, ICONST_1, NEWARRAY, T_INT_CODE, GOTO, 0, 4, ACONST_NULL,
                           ARRAYLENGTH, IRETURN};
             }, nullptr},
            {"new, dup, constructor, use", "()V", [](builder& b, method& m) {
                 u2 c = b.klass("vt/Derived");
                 u2 i = b.methodref("vt/Derived", "<init>", "()V");
                 u2 v = b.methodref("vt/Base", "v", "()V");
                 m.code = {NEW, hi(c), lo(c), DUP, INVOKESPECIAL, hi(i), lo(i), INVOKEVIRTUAL, hi(v), lo(v), RETURN};
             }, nullptr},
            {"subroutine called where a local is an int, then where it is a float", "(I)I",
             [](builder&, method& m) {
                 // 0 iconst_1; 1 istore_1; 2 jsr +14 -> 16; 5 iload_1; 6 pop; 7 fconst_0; 8 fstore_1;
                 // 9 jsr +7 -> 16; 12 fload_1; 13 pop; 14 iload_0; 15 ireturn; 16 astore_2; 17 ret 2
                 m.code = {ICONST_1, ISTORE_1, JSR, 0, 14, ILOAD_1, POP, FCONST_0, FSTORE_1, JSR, 0, 7,
                           FLOAD_1, POP, ILOAD_0, IRETURN, ASTORE_2, RET, 2};
             }, nullptr, 49},
            {"protected field through this class's own reference", "(Lvq/Sub;)I", [](builder& b, method& m) {
                 b.name = "vq/Sub";
                 u2 f = b.fieldref("vp/Prot", "pf", "I");
                 m.code = {ALOAD_0, GETFIELD, hi(f), lo(f), IRETURN};
             }, nullptr, 52, "vp/Prot"},
            {"clone of an array (Object's protected method)", "([I)Ljava/lang/Object;", [](builder& b, method& m) {
                 u2 c = b.methodref("[I", "clone", "()Ljava/lang/Object;");
                 m.code = {ALOAD_0, INVOKEVIRTUAL, hi(c), lo(c), ARETURN};
             }, nullptr},
            {"lookupswitch without pairs", "(I)I", [](builder&, method& m) {
                 // 0 iload_0; 1 lookupswitch, pad to 4, default +11 -> 12, npairs 0; 12 iload_0; 13 ireturn
                 m.code = {ILOAD_0, LOOKUPSWITCH, 0, 0, 0, 0, 0, 11, 0, 0, 0, 0, ILOAD_0, IRETURN};
             }, nullptr},
        };
        for (const row& r : rows)
            EXPECT_EQ(link_result(ee, r), "") << r.what;
    });
}

// Every class of the class library links, and so passes the verifier.  (The
// 64-bit directory calls: inode numbers of the build tree may not fit 32 bits.)
TEST(VerifyTypes, WholeClassLibraryVerifies)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        std::vector<std::string> dirs = {""};
        int count = 0;
        while (!dirs.empty()) {
            std::string rel = dirs.back();
            dirs.pop_back();
            std::string path = std::string(ORVA_CLASSES_DIR) + "/" + rel;
            DIR* d = opendir(path.c_str());
            ASSERT_NE(d, nullptr) << path;
            while (dirent64* e = readdir64(d)) {
                std::string n = e->d_name;
                if (n == "." || n == "..")
                    continue;
                struct stat64 st;
                if (stat64((path + n).c_str(), &st) != 0)
                    continue;
                if (S_ISDIR(st.st_mode)) {
                    dirs.push_back(rel + n + "/");
                } else if (n.size() > 6 && n.compare(n.size() - 6, 6, ".class") == 0) {
                    std::string cls = rel + n.substr(0, n.size() - 6);
                    EXPECT_NE(vm_find_class(ee, cls.c_str(), 0), nullptr) << cls << ": " << take_pending(ee);
                    count++;
                }
            }
            closedir(d);
        }
        EXPECT_GT(count, 100);
    });
}
