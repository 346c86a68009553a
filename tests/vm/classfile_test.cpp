// The class-file reader: what it builds from a well-formed class, and the
// malformed files it must reject with ClassFormatError (never a crash).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "classfile_builder.h"
#include "vm.h"

using namespace cfb;

namespace {

struct parse_result {
    classblock* cb;
    vm_load_error err;
};

parse_result parse(builder& b, const char* expected = nullptr)
{
    std::vector<u1> bytes = b.build();
    parse_result r{};
    r.cb = vm_parse_class(bytes.data(), u4(bytes.size()), expected, &r.err);
    return r;
}

parse_result parse_bytes(const std::vector<u1>& bytes)
{
    parse_result r{};
    r.cb = vm_parse_class(bytes.data(), u4(bytes.size()), nullptr, &r.err);
    return r;
}

builder simple_class(const std::string& name = "t/Simple")
{
    builder b(name);
    b.add_default_constructor();
    b.add_field("x", "I");
    return b;
}

}  // namespace

// Every table, copy and initial value a method block starts with.
TEST(ClassFile, WellFormedClassBlock)
{
    builder b("t/Shapes");
    b.add_field("a", "I", ACC_PRIVATE | 0x1000 /* synthetic: dropped */);
    b.add_field("b", "J", ACC_PUBLIC | ACC_STATIC | ACC_FINAL).constant_value = b.longc(0x1122334455667788ull);
    b.add_default_constructor();
    method& plain = b.add_method("f", "(IJLjava/lang/String;[D)I", ACC_PUBLIC | 0x0040 | 0x0080 /* bridge, varargs */);
    plain.max_locals = 7;
    plain.code = {ICONST_0, IRETURN};
    plain.lines = {{0, 17}, {1, 18}};
    method& sync = b.add_method("g", "()V", ACC_PUBLIC | ACC_STATIC | ACC_SYNCHRONIZED);
    sync.code = {NOP, NOP, RETURN, POP, RETURN};           // 5 bytes: padding matters
    sync.max_stack = 1;
    sync.handlers = {{0, 2, 3, 0}};
    b.add_method("h", "()[Ljava/lang/Object;", ACC_PUBLIC | ACC_ABSTRACT);
    b.add_method("n", "(D)D", ACC_PUBLIC | ACC_NATIVE);
    b.add_method("<clinit>", "()V", ACC_STATIC);
    b.access |= ACC_ABSTRACT;
    u2 long_index = b.fields[1].constant_value;

    parse_result r = parse(b, "t/Shapes");
    ASSERT_NE(r.cb, nullptr) << r.err.message;
    classblock* cb = r.cb;
    EXPECT_STREQ(cb->name, "t/Shapes");
    EXPECT_STREQ(cb->super_name, "java/lang/Object");
    EXPECT_EQ(cb->state, CS_LOADED);
    EXPECT_EQ(cb->access, (ACC_PUBLIC | ACC_SUPER | ACC_ABSTRACT) & CLASS_ACCESS_MASK);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(cb) % 8, 0u);

    // Constant pool: owner at -1, tag table at 0, long in place low word first.
    u4* cp = cb->constantpool;
    EXPECT_EQ(vm_cp_class_of(cp), cb);
    EXPECT_EQ(vm_cp_tags(cp)[long_index], CONSTANT_Long);
    EXPECT_EQ(cp[long_index], 0x55667788u);
    EXPECT_EQ(cp[long_index + 1], 0x11223344u);

    ASSERT_EQ(cb->fields_count, 2);
    EXPECT_EQ(cb->fields[0].access, ACC_PRIVATE);
    EXPECT_EQ(cb->fields[1].index, 1);
    EXPECT_EQ(cb->fields[1].value, long_index);             // ConstantValue index until link time

    ASSERT_EQ(cb->methods_count, 6);
    methodblock* init = &cb->methods[0];
    methodblock* f = &cb->methods[1];
    methodblock* g = &cb->methods[2];
    methodblock* h = &cb->methods[3];
    methodblock* n = &cb->methods[4];
    methodblock* clinit = &cb->methods[5];
    EXPECT_EQ(init->vm_flags, MBF_INIT);
    EXPECT_EQ(clinit->vm_flags, MBF_CLINIT | MBF_EMPTY_BODY);
    EXPECT_EQ(f->access, ACC_PUBLIC);
    EXPECT_EQ(f->args_size, 1 + 1 + 2 + 1 + 1);
    EXPECT_EQ(f->return_kind, 'I');
    EXPECT_EQ(h->return_kind, 'L');
    EXPECT_EQ(g->args_size, 0);
    EXPECT_EQ(f->counter, vm_opts.threshold);
    EXPECT_EQ(f->index, 1);
    EXPECT_EQ(f->compiled_code, nullptr);
    EXPECT_EQ(f->native_code, nullptr);

    EXPECT_EQ(f->invoker, reinterpret_cast<void*>(&orva_invokeJavaMethod));
    EXPECT_EQ(g->invoker, reinterpret_cast<void*>(&orva_invokeSynchronizedJavaMethodWithCatch));
    EXPECT_EQ(h->invoker, reinterpret_cast<void*>(&orva_invokeAbstractMethod));
    EXPECT_EQ(n->invoker, reinterpret_cast<void*>(&orva_invokeLazyNativeMethod));
    EXPECT_EQ(h->code, nullptr);

    // Code: 4-aligned, then at least 4 zero bytes.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(g->code) % 4, 0u);
    EXPECT_EQ(g->code_length, 5u);
    for (u4 i = 5; i < 12; i++)
        EXPECT_EQ(g->code[i], 0) << i;

    // The interpreter's exception table is a separate copy of the compiler's.
    ASSERT_EQ(g->exception_table_length, 1);
    ASSERT_EQ(g->vm_exception_table_length, 1);
    EXPECT_NE(g->exception_table, g->vm_exception_table);
    auto* e = reinterpret_cast<exception_entry*>(g->vm_exception_table);
    EXPECT_EQ(e->start_pc, 0);
    EXPECT_EQ(e->end_pc, 2);
    EXPECT_EQ(e->handler_pc, 3);
    EXPECT_EQ(e->compiled_table, 0u);
    EXPECT_EQ(std::memcmp(g->exception_table, g->vm_exception_table, sizeof(exception_entry)), 0);

    ASSERT_EQ(f->line_number_table_length, 2);
    EXPECT_EQ(vm_line_number(f, f->code), 17);
    EXPECT_EQ(vm_line_number(f, f->code + 1), 18);
    EXPECT_EQ(vm_line_number(f, f->code + 2), -1);
}

// Files the reader must refuse, each with the error class it raises.
TEST(ClassFile, MalformedFilesAreRejected)
{
    struct row {
        const char* what;
        std::function<void(builder&)> edit;
        const char* error;
    };
    const char* CFE = "java/lang/ClassFormatError";
    const row rows[] = {
        {"bad magic", [](builder& b) { b.magic = 0xCAFEBABF; }, CFE},
        {"version 53", [](builder& b) { b.major = 53; }, CFE},
        {"version 44", [](builder& b) { b.major = 44; }, CFE},
        {"invokedynamic constant",
         [](builder& b) { b.raw(18, {0, 0, 0, 1}); }, CFE},
        {"method handle constant",
         [](builder& b) { b.raw(15, {1, 0, 1}); }, CFE},
        {"unknown constant tag", [](builder& b) { b.raw(2, {0, 0}); }, CFE},
        {"BootstrapMethods attribute",
         [](builder& b) { b.class_attributes.push_back({"BootstrapMethods", {0, 0}}); }, CFE},
        {"invokedynamic instruction",
         [](builder& b) {
             u2 i = b.methodref("t/Simple", "m", "()V");
             method& m = b.add_method("m", "()V", ACC_PUBLIC | ACC_STATIC);
             m.code = {INVOKEDYNAMIC, u1(i >> 8), u1(i), 0, 0, RETURN};
         }, CFE},
        {"interface default method",
         [](builder& b) {
             b.methods.clear();
             b.fields.clear();
             b.access = ACC_PUBLIC | ACC_INTERFACE | ACC_ABSTRACT;
             b.add_method("m", "()V", ACC_PUBLIC);
         }, CFE},
        {"interface static method",
         [](builder& b) {
             b.methods.clear();
             b.fields.clear();
             b.access = ACC_PUBLIC | ACC_INTERFACE | ACC_ABSTRACT;
             b.add_method("m", "()V", ACC_PUBLIC | ACC_STATIC);
         }, CFE},
        {"interface without ACC_ABSTRACT",
         [](builder& b) {
             b.methods.clear();
             b.fields.clear();
             b.access = ACC_PUBLIC | ACC_INTERFACE;
         }, CFE},
        {"abstract method with code",
         [](builder& b) { b.add_method("m", "()V", ACC_PUBLIC | ACC_ABSTRACT).has_code = true; }, CFE},
        {"concrete method without code",
         [](builder& b) { b.add_method("m", "()V").has_code = false; }, CFE},
        {"duplicate method", [](builder& b) { b.add_default_constructor(); }, CFE},
        {"duplicate field", [](builder& b) { b.add_field("x", "I"); }, CFE},
        {"bad method descriptor", [](builder& b) { b.add_method("m", "(I"); }, CFE},
        {"bad field descriptor", [](builder& b) { b.add_field("y", "Q"); }, CFE},
        {"void field", [](builder& b) { b.add_field("y", "V"); }, CFE},
        {"bad class name in descriptor", [](builder& b) { b.add_field("y", "L;"); }, CFE},
        {"illegal field name", [](builder& b) { b.add_field("a.b", "I"); }, CFE},
        {"<init> returning int", [](builder& b) { b.add_method("<init>", "(I)I").code = {ICONST_0, IRETURN}; }, CFE},
        {"missing superclass", [](builder& b) { b.super_name = ""; }, CFE},
        {"array superclass", [](builder& b) { b.super_name = "[I"; }, CFE},
        {"ConstantValue of the wrong type",
         [](builder& b) {
             field& f = b.add_field("y", "I", ACC_STATIC);
             f.constant_value = b.string("no");
         }, CFE},
        {"more than 255 argument words",
         [](builder& b) { b.add_method("m", "(" + std::string(128, 'J') + ")V", ACC_PUBLIC | ACC_NATIVE); }, CFE},
        {"abstract and final class", [](builder& b) { b.access |= ACC_ABSTRACT | ACC_FINAL; }, CFE},
    };
    for (const row& r : rows) {
        builder b = simple_class();
        r.edit(b);
        parse_result p = parse(b);
        EXPECT_EQ(p.cb, nullptr) << r.what;
        ASSERT_NE(p.err.exception, nullptr) << r.what;
        EXPECT_STREQ(p.err.exception, r.error) << r.what << ": " << p.err.message;
        EXPECT_NE(p.err.message[0], 0) << r.what;
    }
}

// Every proper prefix of a valid class file is a truncated file, and any
// trailing byte is one too many.
TEST(ClassFile, TruncationAndTrailingBytes)
{
    builder b = simple_class();
    method& m = b.add_method("m", "(J)J", ACC_PUBLIC | ACC_STATIC);
    m.code = {LLOAD, 0, LRETURN};
    m.lines = {{0, 1}};
    b.fields[0].constant_value = 0;
    b.add_field("K", "I", ACC_STATIC | ACC_FINAL).constant_value = b.integer(7);
    b.class_attributes.push_back({"SourceFile", {0, 0}});
    std::vector<u1> full = b.build();
    // Point the SourceFile attribute at a real Utf8 entry ("K").
    u2 k = b.utf8s.at("K");
    full[full.size() - 2] = u1(k >> 8);
    full[full.size() - 1] = u1(k);
    ASSERT_NE(parse_bytes(full).cb, nullptr);
    for (size_t len = 0; len < full.size(); len++) {
        std::vector<u1> cut(full.begin(), full.begin() + long(len));
        parse_result p = parse_bytes(cut);
        ASSERT_EQ(p.cb, nullptr) << "prefix of " << len << " bytes";
        EXPECT_STREQ(p.err.exception, "java/lang/ClassFormatError") << len;
    }
    full.push_back(0);
    parse_result p = parse_bytes(full);
    EXPECT_EQ(p.cb, nullptr);
    EXPECT_STREQ(p.err.exception, "java/lang/ClassFormatError");
}

TEST(ClassFile, WrongNameIsNoClassDefFoundError)
{
    builder b = simple_class("t/Actual");
    parse_result p = parse(b, "t/Expected");
    EXPECT_EQ(p.cb, nullptr);
    EXPECT_STREQ(p.err.exception, "java/lang/NoClassDefFoundError");
    EXPECT_NE(std::strstr(p.err.message, "t/Actual"), nullptr) << p.err.message;
}

// Random single-byte corruptions of a valid file: each is accepted or
// rejected with a message, never a crash (the run itself is the check).
TEST(ClassFile, CorruptedBytesNeverCrash)
{
    builder b = simple_class();
    u2 fr = b.fieldref("t/Simple", "x", "I");
    method& m = b.add_method("get", "()I");
    m.code = {ALOAD_0, GETFIELD, u1(fr >> 8), u1(fr), IRETURN};
    std::vector<u1> full = b.build();
    u4 state = 12345;
    int rejected = 0;
    for (int i = 0; i < 3000; i++) {
        std::vector<u1> bytes = full;
        state = state * 1103515245u + 12345u;
        size_t pos = (state >> 8) % bytes.size();
        state = state * 1103515245u + 12345u;
        bytes[pos] = u1(state >> 16);
        parse_result p = parse_bytes(bytes);
        if (!p.cb) {
            rejected++;
            EXPECT_NE(p.err.exception, nullptr);
        }
    }
    EXPECT_GT(rejected, 0);
}

TEST(ClassFile, Descriptors)
{
    struct row { const char* sig; bool method; bool valid; int words; char ret; };
    const row rows[] = {
        {"()V", true, true, 0, 'V'},
        {"(IJD[[Ljava/lang/String;Z)[I", true, true, 1 + 2 + 2 + 1 + 1, 'L'},
        {"(Ljava/lang/Object;)J", true, true, 1, 'J'},
        {"(V)V", true, false, 0, 0},
        {"()", true, false, 0, 0},
        {"(L)V", true, false, 0, 0},
        {"(Ljava//String;)V", true, false, 0, 0},
        {"()VV", true, false, 0, 0},
        {"[I", false, true, 0, 0},
        {"Ljava/lang/String;", false, true, 0, 0},
        {"Ljava.lang.String;", false, false, 0, 0},
        {"Ljava/lang/String", false, false, 0, 0},
        {"II", false, false, 0, 0},
    };
    for (const row& r : rows) {
        bool ok = r.method ? vm_valid_method_sig(r.sig) : vm_valid_field_sig(r.sig);
        EXPECT_EQ(ok, r.valid) << r.sig;
        if (r.method && r.valid) {
            EXPECT_EQ(vm_sig_arg_words(r.sig), r.words) << r.sig;
            EXPECT_EQ(vm_sig_return_kind(r.sig), r.ret) << r.sig;
        }
    }
    std::string deep(256, '[');
    EXPECT_FALSE(vm_valid_field_sig((deep + "I").c_str()));
    EXPECT_TRUE(vm_valid_field_sig((deep.substr(1) + "I").c_str()));
}
