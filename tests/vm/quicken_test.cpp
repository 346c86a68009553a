// Lossless quickening: after one execution each instruction of the quick
// table is in its quick form, and the operand bytes the compiler reads hold
// the constant-pool index (the method-table slot for invokesuper_quick);
// a second execution gives the same result.  A class with more than 256
// constant-pool entries gets the _w forms.  The pure selection function is
// checked on its refusals (uninitialised classes, offsets beyond a byte).
#include <gtest/gtest.h>

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

// One row: a static method of the test class, where its instruction of
// interest sits, and what the rewrite must leave there.
struct row {
    const char* name;
    const char* sig;
    u4 at;                  // pc of the instruction
    u1 quick;               // expected opcode afterwards
    int b1, b2, b3, b4;     // expected operand bytes (-1: not checked)
    int arg;                // 0 none, 1 a qk/Sub object, 2 a qk/Sub object as Object
    int64_t result;         // expected (int or long) result, INT64_MIN: not checked
};

// qk/Base: fields a (int, offset 0), b (long, offset 8), static s, sl;
// methods v()I (7), final f()I (8), static st()I (9), <init>.
void build_base(builder& b)
{
    b.add_field("a", "I");
    b.add_field("pad", "I");
    b.add_field("b", "J");
    b.add_field("s", "I", ACC_PUBLIC | ACC_STATIC);
    b.add_field("sl", "J", ACC_PUBLIC | ACC_STATIC);
    b.add_default_constructor();
    method& v = b.add_method("v", "()I");
    v.max_stack = 1; v.max_locals = 1;
    v.code = {BIPUSH, 7, IRETURN};
    method& f = b.add_method("f", "()I", ACC_PUBLIC | ACC_FINAL);
    f.max_stack = 1; f.max_locals = 1;
    f.code = {BIPUSH, 8, IRETURN};
    method& st = b.add_method("st", "()I", ACC_PUBLIC | ACC_STATIC);
    st.max_stack = 1; st.max_locals = 0;
    st.code = {BIPUSH, 9, IRETURN};
}

// qk/Sub extends qk/Base implements qk/I: v()I (70), i()I (11), sup()I = super.v().
u2 build_sub(builder& b)
{
    b.super_name = "qk/Base";
    b.interfaces.push_back("qk/I");
    b.add_default_constructor();
    method& v = b.add_method("v", "()I");
    v.max_stack = 1; v.max_locals = 1;
    v.code = {BIPUSH, 70, IRETURN};
    method& i = b.add_method("i", "()I");
    i.max_stack = 1; i.max_locals = 1;
    i.code = {BIPUSH, 11, IRETURN};
    u2 sv = b.methodref("qk/Base", "v", "()I");
    method& s = b.add_method("sup", "()I");
    s.max_stack = 1; s.max_locals = 1;
    s.code = {ALOAD_0, INVOKESPECIAL, hi(sv), lo(sv), IRETURN};
    return sv;
}

method& add_static(builder& b, const char* name, const char* sig, u2 stack, u2 locals,
                   std::vector<u1> code)
{
    method& m = b.add_method(name, sig, ACC_PUBLIC | ACC_STATIC);
    m.max_stack = stack;
    m.max_locals = locals;
    m.code = std::move(code);
    return m;
}

int64_t call(EE* ee, classblock* cb, const row& r, jref sub)
{
    methodblock* mb = vm_find_declared_method(cb, r.name, r.sig);
    if (!mb)
        return INT64_MIN;
    u4 argv[1] = {reinterpret_cast<u4>(sub)};
    JValue res;
    res.j = 0;
    if (!vm_call_java(ee, mb, argv, r.arg ? 1 : 0, &res))
        return INT64_MIN + 1;
    return mb->return_kind == 'J' ? res.j : mb->return_kind == 'I' ? res.i : 0;
}

void check_rows(EE* ee, classblock* cb, jref sub, const std::vector<row>& rows)
{
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        methodblock* mb = vm_find_declared_method(cb, r.name, r.sig);
        ASSERT_NE(mb, nullptr);
        int64_t first = call(ee, cb, r, sub);
        EXPECT_EQ(take_pending(ee), "");
        const u1* pc = mb->code + r.at;
        EXPECT_EQ(pc[0], r.quick);
        const int want[4] = {r.b1, r.b2, r.b3, r.b4};
        for (int k = 0; k < 4; ++k) {
            if (want[k] >= 0) {
                EXPECT_EQ(pc[1 + k], want[k]) << "operand byte " << k + 1;
            }
        }
        int64_t second = call(ee, cb, r, sub);
        EXPECT_EQ(take_pending(ee), "");
        EXPECT_EQ(first, second);
        if (r.result != INT64_MIN) {
            EXPECT_EQ(first, r.result);
        }
    }
}

// qk/I, qk/Base and qk/Sub, defined once per process.
classblock* base_classes(EE* ee)
{
    if (classblock* sub = vm_lookup_class("qk/Sub"))
        return sub;
    builder i("qk/I");
    i.access = ACC_PUBLIC | ACC_INTERFACE | ACC_ABSTRACT;
    i.add_method("i", "()I", ACC_PUBLIC | ACC_ABSTRACT);
    builder base("qk/Base");
    build_base(base);
    builder sub("qk/Sub");
    build_sub(sub);
    if (!define(ee, i) || !define(ee, base))
        return nullptr;
    return define(ee, sub);
}

}  // namespace

TEST(Quicken, EveryFormAfterOneExecution)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        classblock* subc = base_classes(ee);
        ASSERT_NE(subc, nullptr) << take_pending(ee);

        builder t("qk/T");
        u2 c1234 = t.integer(1234);
        u2 str = t.string("quick");
        u2 lng = t.longc(0x123456789ull);
        u2 fa = t.fieldref("qk/Base", "a", "I");
        u2 fb = t.fieldref("qk/Base", "b", "J");
        u2 fs = t.fieldref("qk/Base", "s", "I");
        u2 fsl = t.fieldref("qk/Base", "sl", "J");
        u2 mv = t.methodref("qk/Base", "v", "()I");
        u2 mf = t.methodref("qk/Base", "f", "()I");
        u2 mh = t.methodref("java/lang/Object", "hashCode", "()I");
        u2 mst = t.methodref("qk/Base", "st", "()I");
        u2 mi = t.imethodref("qk/I", "i", "()I");
        u2 cbase = t.klass("qk/Base");
        u2 minit = t.methodref("qk/Base", "<init>", "()V");
        u2 caai = t.klass("[[I");
        add_static(t, "ldcI", "()I", 1, 0, {LDC, lo(c1234), IRETURN});
        add_static(t, "ldcS", "()Ljava/lang/Object;", 1, 0, {LDC, lo(str), ARETURN});
        add_static(t, "ldcW", "()I", 1, 0, {LDC_W, hi(c1234), lo(c1234), IRETURN});
        add_static(t, "ldc2", "()J", 2, 0, {LDC2_W, hi(lng), lo(lng), LRETURN});
        add_static(t, "gfI", "(Lqk/Base;)I", 1, 1, {ALOAD_0, GETFIELD, hi(fa), lo(fa), IRETURN});
        add_static(t, "gfJ", "(Lqk/Base;)J", 2, 1, {ALOAD_0, GETFIELD, hi(fb), lo(fb), LRETURN});
        add_static(t, "pfI", "(Lqk/Base;)I", 2, 1,
                   {ALOAD_0, BIPUSH, 5, PUTFIELD, hi(fa), lo(fa), ICONST_1, IRETURN});
        add_static(t, "pfJ", "(Lqk/Base;)I", 3, 1,
                   {ALOAD_0, LCONST_0, PUTFIELD, hi(fb), lo(fb), ICONST_1, IRETURN});
        add_static(t, "gs", "()I", 1, 0, {GETSTATIC, hi(fs), lo(fs), IRETURN});
        add_static(t, "gsJ", "()J", 2, 0, {GETSTATIC, hi(fsl), lo(fsl), LRETURN});
        add_static(t, "ps", "()I", 1, 0, {BIPUSH, 3, PUTSTATIC, hi(fs), lo(fs), ICONST_1, IRETURN});
        add_static(t, "psJ", "()I", 2, 0, {LCONST_0, PUTSTATIC, hi(fsl), lo(fsl), ICONST_1, IRETURN});
        add_static(t, "iv", "(Lqk/Base;)I", 1, 1, {ALOAD_0, INVOKEVIRTUAL, hi(mv), lo(mv), IRETURN});
        add_static(t, "ifin", "(Lqk/Base;)I", 1, 1, {ALOAD_0, INVOKEVIRTUAL, hi(mf), lo(mf), IRETURN});
        add_static(t, "iobj", "(Ljava/lang/Object;)I", 1, 1,
                   {ALOAD_0, INVOKEVIRTUAL, hi(mh), lo(mh), POP, ICONST_1, IRETURN});
        add_static(t, "is", "()I", 1, 0, {INVOKESTATIC, hi(mst), lo(mst), IRETURN});
        add_static(t, "ii", "(Lqk/I;)I", 1, 1, {ALOAD_0, INVOKEINTERFACE, hi(mi), lo(mi), 1, 0, IRETURN});
        add_static(t, "nw", "()I", 2, 0,
                   {NEW, hi(cbase), lo(cbase), DUP, INVOKESPECIAL, hi(minit), lo(minit), POP, ICONST_1, IRETURN});
        add_static(t, "an", "()I", 1, 0, {ICONST_1, ANEWARRAY, hi(cbase), lo(cbase), POP, ICONST_1, IRETURN});
        add_static(t, "man", "()I", 2, 0,
                   {ICONST_1, ICONST_1, MULTIANEWARRAY, hi(caai), lo(caai), 2, POP, ICONST_1, IRETURN});
        add_static(t, "cc", "(Ljava/lang/Object;)I", 1, 1,
                   {ALOAD_0, CHECKCAST, hi(cbase), lo(cbase), POP, ICONST_1, IRETURN});
        add_static(t, "io", "(Ljava/lang/Object;)I", 1, 1, {ALOAD_0, 0xC1, hi(cbase), lo(cbase), IRETURN});
        classblock* tc = define(ee, t);
        ASSERT_NE(tc, nullptr) << take_pending(ee);

        jref obj = vm_new_object(ee, subc);
        ASSERT_NE(obj, nullptr);
        vm_field<s4>(obj, 0) = 42;
        vm_field<int64_t>(obj, 8) = 0x1122334455667788ll;
        methodblock* v = vm_find_declared_method(subc->superclass, "v", "()I");
        ASSERT_NE(v, nullptr);
        methodblock* hc = vm_find_declared_method(vm_class_Object, "hashCode", "()I");
        ASSERT_NE(hc, nullptr);
        u1 vslot = u1(v->slot), hslot = u1(hc->slot);
        const int64_t any = INT64_MIN;
        std::vector<row> rows = {
            {"ldcI", "()I", 0, OPC_LDC_QUICK, lo(c1234), -1, -1, -1, 0, 1234},
            {"ldcS", "()Ljava/lang/Object;", 0, OPC_LDC_QUICK, lo(str), -1, -1, -1, 0, any},
            {"ldcW", "()I", 0, OPC_LDC_W_QUICK, hi(c1234), lo(c1234), -1, -1, 0, 1234},
            {"ldc2", "()J", 0, OPC_LDC2_W_QUICK, hi(lng), lo(lng), -1, -1, 0, 0x123456789ll},
            {"gfI", "(Lqk/Base;)I", 1, OPC_GETFIELD_QUICK, 0, lo(fa), -1, -1, 1, 42},
            {"gfJ", "(Lqk/Base;)J", 1, OPC_GETFIELD2_QUICK, 2, lo(fb), -1, -1, 1, 0x1122334455667788ll},
            {"pfI", "(Lqk/Base;)I", 3, OPC_PUTFIELD_QUICK, 0, lo(fa), -1, -1, 1, 1},
            {"pfJ", "(Lqk/Base;)I", 2, OPC_PUTFIELD2_QUICK, 2, lo(fb), -1, -1, 1, 1},
            {"ps", "()I", 2, OPC_PUTSTATIC_QUICK, hi(fs), lo(fs), -1, -1, 0, 1},
            {"gs", "()I", 0, OPC_GETSTATIC_QUICK, hi(fs), lo(fs), -1, -1, 0, 3},
            {"psJ", "()I", 1, OPC_PUTSTATIC2_QUICK, hi(fsl), lo(fsl), -1, -1, 0, 1},
            {"gsJ", "()J", 0, OPC_GETSTATIC2_QUICK, hi(fsl), lo(fsl), -1, -1, 0, 0},
            {"iv", "(Lqk/Base;)I", 1, OPC_INVOKEVIRTUAL_QUICK, vslot, lo(mv), -1, -1, 1, 70},
            {"ifin", "(Lqk/Base;)I", 1, OPC_INVOKENONVIRTUAL_QUICK, hi(mf), lo(mf), -1, -1, 1, 8},
            {"iobj", "(Ljava/lang/Object;)I", 1, OPC_INVOKEVIRTUALOBJECT_QUICK, hslot, lo(mh), -1, -1, 2, 1},
            {"is", "()I", 0, OPC_INVOKESTATIC_QUICK, hi(mst), lo(mst), -1, -1, 0, 9},
            {"ii", "(Lqk/I;)I", 1, OPC_INVOKEINTERFACE_QUICK, hi(mi), lo(mi), 1, 0, 1, 11},
            {"nw", "()I", 0, OPC_NEW_QUICK, hi(cbase), lo(cbase), -1, -1, 0, 1},
            {"nw", "()I", 4, OPC_INVOKENONVIRTUAL_QUICK, hi(minit), lo(minit), -1, -1, 0, 1},
            {"an", "()I", 1, OPC_ANEWARRAY_QUICK, hi(cbase), lo(cbase), -1, -1, 0, 1},
            {"man", "()I", 2, OPC_MULTIANEWARRAY_QUICK, hi(caai), lo(caai), 2, -1, 0, 1},
            {"cc", "(Ljava/lang/Object;)I", 1, OPC_CHECKCAST_QUICK, hi(cbase), lo(cbase), -1, -1, 2, 1},
            {"io", "(Ljava/lang/Object;)I", 1, OPC_INSTANCEOF_QUICK, hi(cbase), lo(cbase), -1, -1, 2, 1},
        };
        check_rows(ee, tc, obj, rows);

        // invokesuper_quick keeps the method-table slot of the superclass method.
        methodblock* sup = vm_find_declared_method(subc, "sup", "()I");
        ASSERT_NE(sup, nullptr);
        u4 argv[1] = {reinterpret_cast<u4>(obj)};
        JValue r;
        for (int k = 0; k < 2; ++k) {
            r.j = 0;
            ASSERT_TRUE(vm_call_java(ee, sup, argv, 1, &r)) << take_pending(ee);
            EXPECT_EQ(r.i, 7);
            EXPECT_EQ(sup->code[1], OPC_INVOKESUPER_QUICK);
            EXPECT_EQ(sup->code[2], hi(u2(v->slot)));
            EXPECT_EQ(sup->code[3], lo(u2(v->slot)));
        }
    });
}

TEST(Quicken, WideFormsBeyondByteIndexes)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        classblock* subc = base_classes(ee);
        ASSERT_NE(subc, nullptr) << take_pending(ee);
        builder w("qk/W");
        for (int k = 0; k < 300; ++k)
            w.integer(u4(100000 + k));
        u2 fa = w.fieldref("qk/Base", "a", "I");
        u2 fb = w.fieldref("qk/Base", "b", "J");
        u2 mv = w.methodref("qk/Base", "v", "()I");
        u2 big = w.integer(777);
        ASSERT_GT(fa, 255);
        add_static(w, "gfW", "(Lqk/Base;)I", 1, 1, {ALOAD_0, GETFIELD, hi(fa), lo(fa), IRETURN});
        add_static(w, "gfJW", "(Lqk/Base;)J", 2, 1, {ALOAD_0, GETFIELD, hi(fb), lo(fb), LRETURN});
        add_static(w, "pfW", "(Lqk/Base;)I", 2, 1,
                   {ALOAD_0, BIPUSH, 9, PUTFIELD, hi(fa), lo(fa), ICONST_1, IRETURN});
        add_static(w, "ivW", "(Lqk/Base;)I", 1, 1, {ALOAD_0, INVOKEVIRTUAL, hi(mv), lo(mv), IRETURN});
        add_static(w, "ldcW", "()I", 1, 0, {LDC_W, hi(big), lo(big), IRETURN});
        classblock* wc = define(ee, w);
        ASSERT_NE(wc, nullptr) << take_pending(ee);
        jref obj = vm_new_object(ee, subc);
        vm_field<s4>(obj, 0) = 5;
        vm_field<int64_t>(obj, 8) = -2;
        std::vector<row> rows = {
            {"gfW", "(Lqk/Base;)I", 1, OPC_GETFIELD_QUICK_W, hi(fa), lo(fa), -1, -1, 1, 5},
            {"gfJW", "(Lqk/Base;)J", 1, OPC_GETFIELD_QUICK_W, hi(fb), lo(fb), -1, -1, 1, -2},
            {"pfW", "(Lqk/Base;)I", 3, OPC_PUTFIELD_QUICK_W, hi(fa), lo(fa), -1, -1, 1, 1},
            {"ivW", "(Lqk/Base;)I", 1, OPC_INVOKEVIRTUAL_QUICK_W, hi(mv), lo(mv), -1, -1, 1, 70},
            {"ldcW", "()I", 0, OPC_LDC_W_QUICK, hi(big), lo(big), -1, -1, 0, 777},
        };
        check_rows(ee, wc, obj, rows);
        EXPECT_EQ(vm_field<s4>(obj, 0), 9);
    });
}

// The selection refuses forms whose condition does not hold yet.
TEST(Quicken, SelectionRefusals)
{
    classblock cls;
    std::memset(&cls, 0, sizeof cls);
    cls.name = "qk/Fake";
    fieldblock f;
    std::memset(&f, 0, sizeof f);
    f.clazz = &cls;
    f.name = "x";
    f.signature = "I";
    vm_quick_rewrite rw;

    // statics, invokestatic and new only once the class is initialised
    f.access = ACC_STATIC;
    EXPECT_FALSE(vm_quick_form(OPC_GETSTATIC, 3, reinterpret_cast<u4>(&f), nullptr, 0, &rw));
    EXPECT_FALSE(vm_quick_form(OPC_PUTSTATIC, 3, reinterpret_cast<u4>(&f), nullptr, 0, &rw));
    EXPECT_FALSE(vm_quick_form(OPC_NEW, 3, reinterpret_cast<u4>(&cls), nullptr, 0, &rw));
    cls.state = CS_LOADED | CS_LINKED | CS_INITIALIZED;
    EXPECT_TRUE(vm_quick_form(OPC_GETSTATIC, 3, reinterpret_cast<u4>(&f), nullptr, 0, &rw));
    EXPECT_EQ(rw.opcode, OPC_GETSTATIC_QUICK);
    EXPECT_EQ(rw.mask, 0);
    EXPECT_TRUE(vm_quick_form(OPC_NEW, 3, reinterpret_cast<u4>(&cls), nullptr, 0, &rw));
    EXPECT_EQ(rw.opcode, OPC_NEW_QUICK);
    cls.access = ACC_ABSTRACT;
    EXPECT_FALSE(vm_quick_form(OPC_NEW, 3, reinterpret_cast<u4>(&cls), nullptr, 0, &rw));

    // a field beyond offset 1020 takes the _w form
    struct { u4 off; u2 index; u1 op; } cases[] = {
        {1020, 255, OPC_GETFIELD_QUICK},
        {1024, 255, OPC_GETFIELD_QUICK_W},
        {0, 256, OPC_GETFIELD_QUICK_W},
    };
    f.access = 0;
    for (auto& c : cases) {
        f.value = c.off;
        ASSERT_TRUE(vm_quick_form(OPC_GETFIELD, c.index, reinterpret_cast<u4>(&f), nullptr, 0, &rw));
        EXPECT_EQ(rw.opcode, c.op) << c.off << " " << c.index;
        if (c.op == OPC_GETFIELD_QUICK) {
            EXPECT_EQ(rw.mask, 3);
            EXPECT_EQ(rw.bytes[0], c.off / 4);
            EXPECT_EQ(rw.bytes[1], c.index);
        } else {
            EXPECT_EQ(rw.mask, 0);
        }
    }
    // opcodes outside the table are never rewritten
    EXPECT_FALSE(vm_quick_form(OPC_IADD, 0, 0, nullptr, 0, &rw));
}
