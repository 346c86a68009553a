// The linker, the class table and resolution, on the real class library
// (ORVA_CLASSES_DIR) and on classes built here: fixed field offsets, the
// Class method table's address, method tables with overrides and miranda
// methods, interface tables, statics, array classes, subtype tests,
// loading errors, constant-pool resolution and strings.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstring>
#include <string>
#include <vector>

#include "classfile_builder.h"
#include "vm.h"
#include "vm_test_env.h"

using namespace cfb;
using vmtest::define;
using vmtest::run_java;
using vmtest::take_pending;

namespace {

fieldblock* field_of(classblock* cb, const char* name)
{
    for (u2 i = 0; i < cb->fields_count; i++) {
        if (std::strcmp(cb->fields[i].name, name) == 0)
            return &cb->fields[i];
    }
    return nullptr;
}

methodblock* method_of(classblock* cb, const char* name)
{
    for (u2 i = 0; i < cb->methods_count; i++) {
        if (std::strcmp(cb->methods[i].name, name) == 0)
            return &cb->methods[i];
    }
    return nullptr;
}

u2* imap(classblock* cb, classblock* iface)
{
    for (u4 i = 0; i < cb->imethodtable->icount; i++) {
        if (cb->imethodtable->itable[i].classdescriptor == iface)
            return cb->imethodtable->itable[i].offsets;
    }
    return nullptr;
}

}  // namespace

// Offsets that compiled code and the replacement bodies read in place.
TEST(Link, FixedFieldOffsetsOfTheLibrary)
{
    REQUIRE_BOOT();
    struct row { const char* cls; const char* field; const char* sig; u4 offset; };
    const row rows[] = {
        {"java/lang/String", "value", "[C", 0},
        {"java/lang/String", "offset", "I", 4},
        {"java/lang/String", "count", "I", 8},
        {"java/util/AbstractList", "modCount", "I", 0},
        {"java/util/Vector", "modCount", "I", 0},
        {"java/util/Vector", "elementData", "[Ljava/lang/Object;", 4},
        {"java/util/Vector", "elementCount", "I", 8},
        {"java/util/Random", "seed", "J", 0},
    };
    run_java([&](EE* ee) {
        for (const row& r : rows) {
            classblock* cb = vm_find_class(ee, r.cls, 0);
            ASSERT_NE(cb, nullptr) << r.cls << " " << take_pending(ee);
            fieldblock* fb = vm_find_field(cb, r.field, r.sig);
            ASSERT_NE(fb, nullptr) << r.cls << "." << r.field;
            EXPECT_EQ(fb->access & ACC_STATIC, 0);
            EXPECT_EQ(fb->value, r.offset) << r.cls << "." << r.field;
        }
    });
}

// Bit 23 of java/lang/Class's method-table address is 0 and every class
// block (Class objects included) has that table in word 0.
TEST(Link, ClassMethodTableAndWordZero)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        ASSERT_NE(vm_find_class(ee, "[[Ljava/lang/String;", 0), nullptr);
        ASSERT_NE(vm_find_class(ee, "java/util/Vector", 0), nullptr) << take_pending(ee);
    });
    method_table* mt = vm_class_Class->methodtable;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(mt) & (1u << 23), 0u);
    EXPECT_EQ(mt->classdescriptor, vm_class_Class);
    ASSERT_GT(vm_nbinclasses, 10);
    for (int i = 0; i < vm_nbinclasses; i++) {
        classblock* cb = vm_binclasses[i];
        EXPECT_EQ(cb->class_methodtable, mt) << cb->name;
        EXPECT_EQ(reinterpret_cast<u1*>(cb)[2] & 0x80, 0) << cb->name;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(cb) % 8, 0u) << cb->name;
        EXPECT_TRUE(cb->state & CS_LINKED) << cb->name;
        EXPECT_NE(cb->imethodtable, nullptr) << cb->name;
        EXPECT_EQ(cb->methodtable->classdescriptor, cb) << cb->name;
        EXPECT_EQ(vm_lookup_class(cb->name), cb) << cb->name;
    }
    for (char c : std::string("ZBCSIJFDV")) {
        classblock* p = vm_primitive_class(c);
        ASSERT_NE(p, nullptr) << c;
        EXPECT_EQ(p->class_methodtable, mt) << c;
        EXPECT_TRUE(p->state & CS_PRIMITIVE);
    }
    EXPECT_STREQ(vm_primitive_class('I')->name, "int");
    EXPECT_EQ(vm_class_of(reinterpret_cast<jref>(vm_class_String)), vm_class_Class);
}

// Array headers, sizes and classes for every element type.
TEST(Link, ArrayHeadersAndClasses)
{
    REQUIRE_BOOT();
    struct row { int type; const char* name; u4 elem; };
    const row rows[] = {
        {T_BOOLEAN, "[Z", 1}, {T_CHAR, "[C", 2}, {T_FLOAT, "[F", 4}, {T_DOUBLE, "[D", 8},
        {T_BYTE, "[B", 1},    {T_SHORT, "[S", 2}, {T_INT, "[I", 4},  {T_LONG, "[J", 8},
    };
    for (const row& r : rows) {
        jref a = vm_alloc_array_noraise(r.type, 5);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 8, 0u);
        EXPECT_EQ(a->lockword & LOCK_HDR_MASK, u4(r.type * 8 | 2)) << r.name;
        EXPECT_EQ(a->word0, 5u);
        EXPECT_EQ(vm_preheader(a), 0u);
        EXPECT_EQ(vm_array_block_size(r.type, 5), (5 * r.elem + 19) & ~7u);
        classblock* cb = vm_class_of(a);
        ASSERT_NE(cb, nullptr);
        EXPECT_STREQ(cb->name, r.name);
        EXPECT_EQ(cb, vm_primitive_array_class(r.type));
        EXPECT_EQ(cb->type_code, r.type);
        EXPECT_TRUE(vm_is_instance_of(a, cb));
        EXPECT_TRUE(vm_is_instance_of(a, vm_class_Object));
        EXPECT_TRUE(vm_is_instance_of(a, vm_class_Cloneable));
        EXPECT_FALSE(vm_is_instance_of(a, vm_class_String));
    }
    jref z = vm_alloc_array_noraise(T_INT, 0);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(vm_array_block_size(T_INT, 0), 16u);
    EXPECT_EQ(vm_alloc_array_noraise(T_INT, -1), nullptr);
    EXPECT_EQ(vm_array_block_size(T_REFERENCE, 3), (12 + 4 + 19) & ~7u);   // trailing class word

    run_java([&](EE* ee) {
        jref s = vm_new_object_array(ee, vm_class_String, 2);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->lockword & LOCK_HDR_MASK, u4(T_REFERENCE * 8 | 2));
        EXPECT_EQ(vm_array_element_class(s), vm_class_String);
        classblock* sa = vm_class_of(s);
        EXPECT_STREQ(sa->name, "[Ljava/lang/String;");
        EXPECT_EQ(sa->element_class, vm_class_String);
        EXPECT_EQ(vm_class_String->array_class, sa);
        classblock* oa = vm_find_class(ee, "[Ljava/lang/Object;", 0);
        classblock* saa = vm_find_class(ee, "[[Ljava/lang/String;", 0);
        classblock* oaa = vm_find_class(ee, "[[Ljava/lang/Object;", 0);
        classblock* iaa = vm_find_class(ee, "[[I", 0);
        ASSERT_TRUE(oa && saa && oaa && iaa);
        EXPECT_EQ(saa->element_class, sa);
        EXPECT_EQ(saa->dimensions, 2u);
        EXPECT_EQ(saa->superclass, vm_class_Object);
        EXPECT_TRUE(vm_is_instance_of(s, oa));
        EXPECT_TRUE(vm_is_subclass_of(saa, oaa));
        EXPECT_TRUE(vm_is_subclass_of(iaa, oa));          // int[] is an Object
        EXPECT_FALSE(vm_is_subclass_of(vm_primitive_array_class(T_INT), oa));
        EXPECT_FALSE(vm_is_subclass_of(oa, sa));
        EXPECT_TRUE(vm_is_subclass_of(saa, vm_class_Serializable));
        EXPECT_EQ(sa->imethodtable->icount, 2u);
        EXPECT_EQ(vm_find_class(ee, "[V", 0), nullptr);
        EXPECT_EQ(take_pending(ee), "java/lang/NoClassDefFoundError");

        s4 dims[3] = {2, 0, 7};
        jref m = vm_new_multi_array(ee, iaa, 2, dims);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(vm_array_length(m), 2);
        EXPECT_EQ(vm_array_element_class(m), vm_primitive_array_class(T_INT));
        jref row0 = reinterpret_cast<jref>(vm_array_elems<u4>(m)[0]);
        ASSERT_NE(row0, nullptr);
        EXPECT_EQ(vm_array_length(row0), 0);
        s4 bad[2] = {1, -1};
        EXPECT_EQ(vm_new_multi_array(ee, iaa, 2, bad), nullptr);
        EXPECT_EQ(take_pending(ee), "java/lang/NegativeArraySizeException");
    });
}

// Every class of the library loads and links: the reader and the verifier
// accept what javac produces.
TEST(Link, WholeLibraryLoads)
{
    REQUIRE_BOOT();
    std::vector<std::string> names;
    std::vector<std::string> dirs = {""};
    while (!dirs.empty()) {
        std::string rel = dirs.back();
        dirs.pop_back();
        std::string path = std::string(ORVA_CLASSES_DIR) + (rel.empty() ? "" : "/" + rel);
        DIR* d = opendir(path.c_str());
        ASSERT_NE(d, nullptr) << path;
        // readdir64: the 32-bit readdir fails with EOVERFLOW on a 64-bit
        // file system when the program runs under qemu-i386.
        while (dirent64* e = readdir64(d)) {
            std::string n = e->d_name;
            if (n == "." || n == "..")
                continue;
            std::string r = rel.empty() ? n : rel + "/" + n;
            if (n.size() > 6 && n.compare(n.size() - 6, 6, ".class") == 0)
                names.push_back(r.substr(0, r.size() - 6));
            else if (n.find('.') == std::string::npos)
                dirs.push_back(r);
        }
        closedir(d);
    }
    ASSERT_GT(names.size(), 50u);
    run_java([&](EE* ee) {
        for (const std::string& n : names) {
            classblock* cb = vm_find_class(ee, n.c_str(), 0);
            EXPECT_NE(cb, nullptr) << n << ": " << take_pending(ee);
        }
    });
}

// Field layout, reference map and statics with ConstantValue.
TEST(Link, FieldLayoutAndStatics)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        builder b("t/Fields");
        b.add_field("a", "I");
        b.add_field("b", "J");
        b.add_field("c", "B");
        b.add_field("d", "Ljava/lang/Object;");
        b.add_field("e", "D");
        b.add_field("S", "I", ACC_STATIC | ACC_FINAL).constant_value = b.integer(5);
        b.add_field("L", "J", ACC_STATIC | ACC_FINAL).constant_value = b.longc(0x100000007ull);
        b.add_field("D2", "D", ACC_STATIC);
        b.add_field("STR", "Ljava/lang/String;", ACC_STATIC | ACC_FINAL).constant_value = b.string("hi");
        b.add_default_constructor();
        classblock* cb = define(ee, b);
        ASSERT_NE(cb, nullptr) << take_pending(ee);
        EXPECT_EQ(field_of(cb, "a")->value, 0u);
        EXPECT_EQ(field_of(cb, "b")->value, 8u);
        EXPECT_EQ(field_of(cb, "c")->value, 16u);
        EXPECT_EQ(field_of(cb, "d")->value, 20u);
        EXPECT_EQ(field_of(cb, "e")->value, 24u);
        EXPECT_EQ(cb->instance_size, 32);
        EXPECT_EQ(vm_object_block_size(cb), (32u + 19) & ~7u);
        ASSERT_NE(cb->ref_map, nullptr);
        EXPECT_EQ(cb->ref_map[0], 20 + OBJ_HEADER_SIZE);
        EXPECT_EQ(cb->ref_map[1], 0);
        EXPECT_EQ(field_of(cb, "S")->value, 5u);
        auto* l = reinterpret_cast<u4*>(field_of(cb, "L")->value);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(l) % 8, 0u);
        EXPECT_EQ(l[0], 7u);
        EXPECT_EQ(l[1], 1u);
        auto* d2 = reinterpret_cast<u4*>(field_of(cb, "D2")->value);
        EXPECT_EQ(d2, l + 2);
        jref str = reinterpret_cast<jref>(field_of(cb, "STR")->value);
        ASSERT_NE(str, nullptr);
        EXPECT_EQ(str, vm_intern_utf(ee, "hi"));
        EXPECT_EQ(cb->state, CS_LOADED | CS_LINKED);

        builder s("t/FieldsSub");
        s.super_name = "t/Fields";
        s.add_field("f", "Ljava/lang/String;");
        classblock* sub = define(ee, s);
        ASSERT_NE(sub, nullptr) << take_pending(ee);
        EXPECT_EQ(sub->superclass, cb);
        EXPECT_EQ(field_of(sub, "f")->value, 32u);
        EXPECT_EQ(sub->instance_size, 36);
        EXPECT_EQ(sub->ref_map[0], 28);
        EXPECT_EQ(sub->ref_map[1], 32 + OBJ_HEADER_SIZE);
        EXPECT_EQ(sub->ref_map[2], 0);
        EXPECT_EQ(vm_find_field(sub, "a", "I"), field_of(cb, "a"));

        jref o = vm_alloc_object_noraise(sub);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(reinterpret_cast<method_table*>(o->word0), sub->methodtable);
        EXPECT_EQ(o->lockword, 0u);
        EXPECT_TRUE(vm_is_instance_of(o, cb));
        EXPECT_EQ(vm_class_of(o), sub);
    });
}

// Method tables: overrides reuse the superclass slot, new methods append,
// private/static/<init> stay out; miranda methods fill interface slots of a
// class that does not implement them; interface tables map each
// interface's own method numbers to slots.
TEST(Link, MethodTablesMirandasAndInterfaceTables)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        builder i1("t/I1");
        i1.access = ACC_PUBLIC | ACC_INTERFACE | ACC_ABSTRACT;
        i1.add_method("a", "()V", ACC_PUBLIC | ACC_ABSTRACT);
        i1.add_method("b", "()I", ACC_PUBLIC | ACC_ABSTRACT);
        builder i2("t/I2");
        i2.access = ACC_PUBLIC | ACC_INTERFACE | ACC_ABSTRACT;
        i2.interfaces = {"t/I1"};
        i2.add_method("c", "(J)V", ACC_PUBLIC | ACC_ABSTRACT);
        builder a("t/A");
        a.access = ACC_PUBLIC | ACC_SUPER | ACC_ABSTRACT;
        a.interfaces = {"t/I2"};
        a.add_default_constructor();
        a.add_method("a", "()V");
        a.add_method("toString", "()Ljava/lang/String;").code = {ACONST_NULL, ARETURN};
        a.add_method("p", "()V", ACC_PRIVATE);
        a.add_method("s", "()V", ACC_PUBLIC | ACC_STATIC);
        builder bb("t/B");
        bb.super_name = "t/A";
        bb.add_default_constructor();
        bb.add_method("b", "()I").code = {ICONST_0, IRETURN};
        bb.add_method("c", "(J)V").max_locals = 3;

        classblock* I1 = define(ee, i1);
        ASSERT_NE(I1, nullptr) << take_pending(ee);
        classblock* I2 = define(ee, i2);
        ASSERT_NE(I2, nullptr) << take_pending(ee);
        classblock* A = define(ee, a);
        ASSERT_NE(A, nullptr) << take_pending(ee);
        classblock* B = define(ee, bb);
        ASSERT_NE(B, nullptr) << take_pending(ee);

        // Interfaces number their own methods from 0.
        EXPECT_EQ(method_of(I1, "a")->slot, 0u);
        EXPECT_EQ(method_of(I1, "b")->slot, 1u);
        EXPECT_EQ(method_of(I2, "c")->slot, 0u);
        EXPECT_EQ(I1->superclass, vm_class_Object);
        EXPECT_EQ(I1->imethodtable->icount, 0u);
        EXPECT_TRUE(vm_is_subclass_of(I2, I1));
        EXPECT_FALSE(vm_is_subclass_of(I1, I2));
        EXPECT_TRUE(vm_is_subclass_of(I2, vm_class_Object));

        // The implements entries of the pool are resolved at link time.
        ASSERT_EQ(A->implements_count, 1);
        EXPECT_TRUE(vm_cp_tags(A->constantpool)[A->implements[0]] & CONSTANT_RESOLVED);
        EXPECT_EQ(A->constantpool[A->implements[0]], reinterpret_cast<u4>(I2));
        EXPECT_EQ(A->interfaces[0], I2);

        classblock* O = vm_class_Object;
        methodblock* obj_tostring = vm_find_declared_method(O, "toString", "()Ljava/lang/String;");
        ASSERT_NE(obj_tostring, nullptr);
        methodblock* a_tostring = method_of(A, "toString");
        EXPECT_EQ(a_tostring->slot, obj_tostring->slot);            // override reuses the slot
        EXPECT_EQ(A->methodtable->methods[a_tostring->slot], a_tostring);
        EXPECT_EQ(O->methodtable->methods[obj_tostring->slot], obj_tostring);
        methodblock* a_a = method_of(A, "a");
        EXPECT_EQ(a_a->slot, u4(O->methodtable_size));              // first new slot
        for (u4 k = 0; k < A->methodtable_size; k++) {
            methodblock* m = A->methodtable->methods[k];
            EXPECT_STRNE(m->name, "p");
            EXPECT_STRNE(m->name, "s");
            EXPECT_STRNE(m->name, "<init>");
        }

        // A leaves b and c open: two mirandas with slots after a.
        ASSERT_EQ(A->miranda_count, 2);
        EXPECT_EQ(A->methodtable_size, O->methodtable_size + 3);
        for (u2 k = 0; k < A->miranda_count; k++) {
            methodblock* m = &A->mirandas[k];
            EXPECT_EQ(m->vm_flags, MBF_MIRANDA);
            EXPECT_EQ(m->access, ACC_PUBLIC | ACC_ABSTRACT);
            EXPECT_EQ(m->clazz, A);
            EXPECT_EQ(m->invoker, reinterpret_cast<void*>(&orva_invokeAbstractMethod));
            EXPECT_EQ(A->methodtable->methods[m->slot], m);
        }
        methodblock* mir_b = vm_find_method(A, "b", "()I");
        ASSERT_NE(mir_b, nullptr);
        EXPECT_EQ(mir_b->vm_flags, MBF_MIRANDA);                    // resolves to the miranda
        EXPECT_EQ(mir_b->args_size, 1);
        EXPECT_EQ(mir_b->return_kind, 'I');

        // B implements them in the miranda slots.
        methodblock* b_b = method_of(B, "b");
        methodblock* b_c = method_of(B, "c");
        EXPECT_EQ(b_b->slot, mir_b->slot);
        EXPECT_EQ(B->miranda_count, 0);
        EXPECT_EQ(B->methodtable_size, A->methodtable_size);
        EXPECT_EQ(B->methodtable->methods[a_a->slot], a_a);

        // Interface tables: every interface, own numbering -> slot.
        EXPECT_EQ(A->imethodtable->icount, 2u);
        EXPECT_EQ(B->imethodtable->icount, 2u);
        u2* b_i1 = imap(B, I1);
        u2* b_i2 = imap(B, I2);
        ASSERT_TRUE(b_i1 && b_i2);
        EXPECT_EQ(b_i1[0], a_a->slot);
        EXPECT_EQ(b_i1[1], b_b->slot);
        EXPECT_EQ(b_i2[0], b_c->slot);
        EXPECT_EQ(B->methodtable->methods[b_i2[0]], b_c);
        EXPECT_TRUE(vm_is_subclass_of(B, I1));
        EXPECT_TRUE(vm_is_subclass_of(B, A));
        EXPECT_FALSE(vm_is_subclass_of(A, B));
        EXPECT_FALSE(vm_is_subclass_of(vm_class_String, I1));

        // A class without interfaces shares the empty table {0, 0, 0}.
        classblock* obj = vm_class_Object;
        EXPECT_EQ(obj->imethodtable, vm_empty_imethod_table());
        EXPECT_EQ(reinterpret_cast<u4*>(obj->imethodtable)[1], 0u);
        EXPECT_EQ(reinterpret_cast<u4*>(obj->imethodtable)[2], 0u);
    });
}

// Package-private methods are overridden only from the same package; final
// methods not at all.
TEST(Link, OverrideRules)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        builder p("p1/P");
        p.add_default_constructor();
        p.add_method("m", "()V", 0);
        builder q("p2/Q");
        q.super_name = "p1/P";
        q.add_method("m", "()V", ACC_PUBLIC);
        builder r("p1/R");
        r.super_name = "p1/P";
        r.add_method("m", "()V", ACC_PUBLIC);
        classblock* P = define(ee, p);
        classblock* Q = define(ee, q);
        classblock* R = define(ee, r);
        ASSERT_TRUE(P && Q && R) << take_pending(ee);
        EXPECT_NE(method_of(Q, "m")->slot, method_of(P, "m")->slot);
        EXPECT_EQ(method_of(R, "m")->slot, method_of(P, "m")->slot);
        EXPECT_EQ(Q->methodtable->methods[method_of(P, "m")->slot], method_of(P, "m"));

        builder f("t/Final");
        f.add_default_constructor();
        f.add_method("m", "()V", ACC_PUBLIC | ACC_FINAL);
        builder g("t/OverridesFinal");
        g.super_name = "t/Final";
        g.add_method("m", "()V", ACC_PUBLIC);
        ASSERT_NE(define(ee, f), nullptr) << take_pending(ee);
        EXPECT_EQ(define(ee, g), nullptr);
        EXPECT_EQ(take_pending(ee), "java/lang/VerifyError");
        EXPECT_EQ(vm_lookup_class("t/OverridesFinal"), nullptr);

        builder fc("t/FinalClass");
        fc.access |= ACC_FINAL;
        builder sub("t/SubOfFinal");
        sub.super_name = "t/FinalClass";
        ASSERT_NE(define(ee, fc), nullptr) << take_pending(ee);
        EXPECT_EQ(define(ee, sub), nullptr);
        EXPECT_EQ(take_pending(ee), "java/lang/VerifyError");

        builder ci("t/ImplementsAClass");
        ci.interfaces = {"java/lang/String"};
        EXPECT_EQ(define(ee, ci), nullptr);
        EXPECT_EQ(take_pending(ee), "java/lang/IncompatibleClassChangeError");

        builder ei("t/ExtendsAnInterface");
        ei.super_name = "java/lang/Runnable";
        EXPECT_EQ(define(ee, ei), nullptr);
        EXPECT_EQ(take_pending(ee), "java/lang/IncompatibleClassChangeError");
    });
}

// Class files found on the class path, and what is not found there.
TEST(Link, ClassPathLoadingErrors)
{
    REQUIRE_BOOT();
    builder c1("t/Cycle1");
    c1.super_name = "t/Cycle2";
    builder c2("t/Cycle2");
    c2.super_name = "t/Cycle1";
    vmtest::write_class("t/Cycle1", c1.build());
    vmtest::write_class("t/Cycle2", c2.build());
    builder self("t/SelfInterface");
    self.access = ACC_PUBLIC | ACC_INTERFACE | ACC_ABSTRACT;
    self.interfaces = {"t/SelfInterface"};
    vmtest::write_class("t/SelfInterface", self.build());
    builder fake("java/lang/Impostor");
    vmtest::write_class("java/lang/Impostor", fake.build());
    builder renamed("t/Other");
    vmtest::write_class("t/Renamed", renamed.build());
    builder ok("t/OnPath");
    ok.add_default_constructor();
    vmtest::write_class("t/OnPath", ok.build());
    std::vector<u1> broken = ok.build();
    broken.resize(broken.size() / 2);
    vmtest::write_class("t/Broken", broken);

    run_java([&](EE* ee) {
        struct row { const char* name; const char* error; };
        const row rows[] = {
            {"t/Cycle1", "java/lang/ClassCircularityError"},
            {"t/SelfInterface", "java/lang/ClassCircularityError"},
            {"t/Missing", "java/lang/NoClassDefFoundError"},
            {"java/lang/Impostor", "java/lang/NoClassDefFoundError"},
            {"t/Renamed", "java/lang/NoClassDefFoundError"},
            {"t/Broken", "java/lang/ClassFormatError"},
            {"[Lt/Missing;", "java/lang/NoClassDefFoundError"},
            {"[Q", "java/lang/NoClassDefFoundError"},
            {"t.OnPath", "java/lang/NoClassDefFoundError"},       // dotted: never a path
            {"../t/OnPath", "java/lang/NoClassDefFoundError"},
            {"/t/OnPath", "java/lang/NoClassDefFoundError"},
            {"t//OnPath", "java/lang/NoClassDefFoundError"},
        };
        for (const row& r : rows) {
            EXPECT_EQ(vm_find_class(ee, r.name, 0), nullptr) << r.name;
            EXPECT_EQ(take_pending(ee), r.error) << r.name;
        }
        // A failure leaves nothing half-loaded behind; the next load retries.
        EXPECT_EQ(vm_lookup_class("t/Cycle1"), nullptr);
        EXPECT_EQ(vm_lookup_class("t/Cycle2"), nullptr);
        classblock* cb = vm_find_class(ee, "t/OnPath", 0);
        ASSERT_NE(cb, nullptr) << take_pending(ee);
        EXPECT_EQ(vm_find_class(ee, "t/OnPath", 0), cb);
        EXPECT_EQ(cb->loader, 0u);
        // A second definition of a loaded class is refused.
        std::vector<u1> again = ok.build();
        EXPECT_EQ(vm_define_class(ee, nullptr, again.data(), u4(again.size())), nullptr);
        EXPECT_EQ(take_pending(ee), "java/lang/LinkageError");
        EXPECT_EQ(vm_lookup_class("t/OnPath"), cb);
    });
}

// Resolution: word first, tag bit 0x80, the values the quickened forms use.
TEST(Link, ConstantPoolResolution)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        builder t("t/Target");
        t.add_default_constructor();
        t.add_field("pad", "I");
        t.add_field("x", "J");
        t.add_field("secret", "I", ACC_PRIVATE);
        t.add_method("v", "()V");
        classblock* T = define(ee, t);
        ASSERT_NE(T, nullptr) << take_pending(ee);

        builder u("t/User");
        u.add_default_constructor();
        u2 cls = u.klass("t/Target");
        u2 fx = u.fieldref("t/Target", "x", "J");
        u2 fpad = u.fieldref("t/Target", "pad", "I");
        u2 fsecret = u.fieldref("t/Target", "secret", "I");
        u2 fmissing = u.fieldref("t/Target", "nope", "I");
        u2 mv = u.methodref("t/Target", "v", "()V");
        u2 mtostring = u.methodref("t/Target", "toString", "()Ljava/lang/String;");
        u2 irun = u.imethodref("java/lang/Runnable", "run", "()V");
        u2 wrong_kind = u.imethodref("t/Target", "v", "()V");
        u2 str = u.string("h\xc3\xa9llo");
        u2 num = u.integer(77);
        u2 missing_cls = u.klass("t/NotThere");
        classblock* U = define(ee, u);
        ASSERT_NE(U, nullptr) << take_pending(ee);
        u4* cp = U->constantpool;
        u1* tags = vm_cp_tags(cp);

        EXPECT_STREQ(vm_cp_class_name(cp, cls), "t/Target");
        EXPECT_EQ(vm_resolve_constant(ee, cp, cls, 1u << CONSTANT_Class), reinterpret_cast<u4>(T));
        EXPECT_EQ(tags[cls], CONSTANT_Class | CONSTANT_RESOLVED);
        EXPECT_EQ(cp[cls], reinterpret_cast<u4>(T));
        EXPECT_STREQ(vm_cp_class_name(cp, cls), "t/Target");

        u4 fb = vm_resolve_constant(ee, cp, fx, 1u << CONSTANT_Fieldref);
        ASSERT_NE(fb, 0u) << take_pending(ee);
        EXPECT_EQ(reinterpret_cast<fieldblock*>(fb)->value, 8u);   // offset from obj+8
        EXPECT_EQ(tags[fx], CONSTANT_Fieldref | CONSTANT_RESOLVED);
        EXPECT_EQ(vm_resolve_constant(ee, cp, fx, 1u << CONSTANT_Fieldref), fb);   // again: same word

        u4 mb = vm_resolve_constant(ee, cp, mv, 1u << CONSTANT_Methodref);
        ASSERT_NE(mb, 0u) << take_pending(ee);
        EXPECT_EQ(reinterpret_cast<methodblock*>(mb), method_of(T, "v"));
        EXPECT_EQ(T->methodtable->methods[reinterpret_cast<methodblock*>(mb)->slot], method_of(T, "v"));
        u4 ts = vm_resolve_constant(ee, cp, mtostring, 1u << CONSTANT_Methodref);
        ASSERT_NE(ts, 0u);
        EXPECT_EQ(reinterpret_cast<methodblock*>(ts)->clazz, vm_class_Object);   // inherited

        u4 run = vm_resolve_constant(ee, cp, irun, 1u << CONSTANT_InterfaceMethodref);
        ASSERT_NE(run, 0u) << take_pending(ee);
        EXPECT_EQ(reinterpret_cast<methodblock*>(run)->slot, 0u);          // Runnable's method 0

        u4 s = vm_resolve_constant(ee, cp, str, 1u << CONSTANT_String);
        ASSERT_NE(s, 0u);
        EXPECT_EQ(reinterpret_cast<jref>(s), vm_intern_utf(ee, "h\xc3\xa9llo"));
        EXPECT_EQ(vm_string_length(reinterpret_cast<jref>(s)), 5);
        EXPECT_EQ(vm_string_chars(reinterpret_cast<jref>(s))[1], 0xE9);
        EXPECT_EQ(vm_resolve_constant(ee, cp, num, 1u << CONSTANT_Integer), 77u);

        struct bad { u2 index; u4 mask; const char* error; };
        const bad rows[] = {
            {fpad, 1u << CONSTANT_Methodref, "java/lang/IncompatibleClassChangeError"},
            {wrong_kind, 1u << CONSTANT_InterfaceMethodref, "java/lang/IncompatibleClassChangeError"},
            {fsecret, 1u << CONSTANT_Fieldref, "java/lang/IllegalAccessError"},
            {fmissing, 1u << CONSTANT_Fieldref, "java/lang/NoSuchFieldError"},
            {missing_cls, 1u << CONSTANT_Class, "java/lang/NoClassDefFoundError"},
        };
        for (const bad& r : rows) {
            EXPECT_EQ(vm_resolve_constant(ee, cp, r.index, r.mask), 0u) << r.index;
            EXPECT_EQ(take_pending(ee), r.error) << r.index;
            EXPECT_FALSE(tags[r.index] & CONSTANT_RESOLVED) << r.index;
        }

        // invokespecial from U of Object.toString is a super call; of
        // <init> or of a private method it is not.
        methodblock* tostring = vm_find_declared_method(vm_class_Object, "toString", "()Ljava/lang/String;");
        EXPECT_TRUE(vm_is_special_super_call(U, tostring));
        EXPECT_FALSE(vm_is_special_super_call(U, method_of(vm_class_Object, "<init>")));
        EXPECT_FALSE(vm_is_special_super_call(T, method_of(T, "v")));
    });
}

TEST(Link, StringsAndInterning)
{
    REQUIRE_BOOT();
    run_java([&](EE* ee) {
        // U+0000 and a supplementary character, in modified and in standard UTF-8.
        jref a = vm_new_string_utf(ee, "a\xc0\x80" "b\xed\xa0\xbd\xed\xb8\x80");
        jref b = vm_new_string_utf(ee, "a\xc0\x80" "b\xf0\x9f\x98\x80");
        ASSERT_TRUE(a && b);
        EXPECT_EQ(vm_string_length(a), 5);
        EXPECT_EQ(vm_string_length(b), 5);
        EXPECT_EQ(std::memcmp(vm_string_chars(a), vm_string_chars(b), 10), 0);
        EXPECT_EQ(vm_string_chars(a)[1], 0);
        EXPECT_EQ(vm_string_chars(a)[3], 0xD83D);
        EXPECT_NE(a, b);
        EXPECT_EQ(vm_intern(ee, a), a);
        EXPECT_EQ(vm_intern(ee, b), a);
        char buf[32];
        EXPECT_STREQ(vm_string_to_utf(a, buf, sizeof buf), "a\xc0\x80" "b\xf0\x9f\x98\x80");
        EXPECT_STREQ(vm_string_to_utf(a, buf, 5), "a\xc0\x80" "b");    // never splits a character
        EXPECT_STREQ(vm_string_to_utf(nullptr, buf, sizeof buf), "null");
        char* heap = vm_string_to_utf_alloc(b);
        EXPECT_STREQ(heap, "a\xc0\x80" "b\xf0\x9f\x98\x80");
        free(heap);
        jref s = vm_new_string_utf(ee, "java/lang/String");
        EXPECT_EQ(vm_class_of(s), vm_class_String);
        EXPECT_EQ(vm_intern_utf(ee, "zz-unique"), vm_intern_utf(ee, "zz-unique"));
        u2 chars[3] = {'z', 'z', '-'};
        EXPECT_EQ(vm_string_length(vm_new_string_chars(ee, chars, 3)), 3);
        // Many distinct strings force the intern table to grow.
        std::vector<jref> kept;
        for (int i = 0; i < 3000; i++) {
            std::string t = "intern-" + std::to_string(i);
            kept.push_back(vm_intern_utf(ee, t.c_str()));
        }
        for (int i = 0; i < 3000; i += 97) {
            std::string t = "intern-" + std::to_string(i);
            EXPECT_EQ(vm_intern_utf(ee, t.c_str()), kept[size_t(i)]);
        }
        EXPECT_EQ(vm_identity_hash(a), vm_identity_hash(a));
        EXPECT_NE(vm_identity_hash(a), 0u);
        EXPECT_TRUE(vm_preheader(a) & PREHDR_HASHED);
    });
}

namespace {
std::vector<classblock*> announced;
bool announced_unpublished = true;
bool announced_linked = true;
void record_prepared(classblock* cb)
{
    announced.push_back(cb);
    announced_unpublished = announced_unpublished && vm_lookup_class(cb->name) == nullptr;
    announced_linked = announced_linked && (cb->state & CS_LINKED);
}
size_t announced_at(classblock* cb)
{
    for (size_t i = 0; i < announced.size(); i++) {
        if (announced[i] == cb)
            return i;
    }
    return ~size_t(0);
}
}  // namespace

// The class-prepared hook sees each new class once, linked but not yet
// visible, supertypes before subtypes, array classes too; the enumeration
// visits every loaded class once.
TEST(Link, PreparedHookAndEnumeration)
{
    REQUIRE_BOOT();
    builder i("t/HookI");
    i.access = ACC_PUBLIC | ACC_INTERFACE | ACC_ABSTRACT;
    builder a("t/HookA");
    builder b("t/HookB");
    b.super_name = "t/HookA";
    b.interfaces = {"t/HookI"};
    vmtest::write_class("t/HookI", i.build());
    vmtest::write_class("t/HookA", a.build());
    vmtest::write_class("t/HookB", b.build());
    announced.clear();
    vm_class_prepared_hook = record_prepared;
    run_java([&](EE* ee) {
        ASSERT_NE(vm_find_class(ee, "[[Lt/HookB;", 0), nullptr) << take_pending(ee);
    });
    vm_class_prepared_hook = nullptr;
    classblock* A = vm_lookup_class("t/HookA");
    classblock* B = vm_lookup_class("t/HookB");
    classblock* I = vm_lookup_class("t/HookI");
    classblock* BA = vm_lookup_class("[Lt/HookB;");
    classblock* BAA = vm_lookup_class("[[Lt/HookB;");
    ASSERT_TRUE(A && B && I && BA && BAA);
    EXPECT_EQ(announced.size(), 5u);
    EXPECT_TRUE(announced_unpublished);
    EXPECT_TRUE(announced_linked);
    EXPECT_LT(announced_at(A), announced_at(B));
    EXPECT_LT(announced_at(I), announced_at(B));
    EXPECT_LT(announced_at(B), announced_at(BA));
    EXPECT_LT(announced_at(BA), announced_at(BAA));

    struct counts { int a = 0, b = 0, total = 0; } c;
    vm_enumerate_classes([](classblock* cb, void* p) {
        auto* k = static_cast<counts*>(p);
        k->total++;
        k->a += std::strcmp(cb->name, "t/HookA") == 0;
        k->b += std::strcmp(cb->name, "[[Lt/HookB;") == 0;
    }, &c);
    EXPECT_EQ(c.a, 1);
    EXPECT_EQ(c.b, 1);
    EXPECT_EQ(c.total, vm_nbinclasses);
}
