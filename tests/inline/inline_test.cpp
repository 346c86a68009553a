// Inlining limits and records, class-hierarchy entry, trivial methods.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include "driver/driver.h"
#include "fake_vm.h"
#include "frontend/frontend.h"
#include "inline/inline.h"

TEST(InliningLimits, EnvironmentAndDefaults)
{
    struct {
        const char* name;
        const char* value;
        s4* global;
        s4 expected;
    } const rows[] = {
        {"ORVA_INLINEDEPTH", "0", &mi_analysis_depth, 4},
        {"ORVA_INLINEDEPTH", "7", &mi_analysis_depth, 7},
        {"ORVA_EMPTYDEPTH", "-3", &mi_empty_analysis_depth, 10},
        {"ORVA_SMCDEPTH", "x", &mi_sm_check_depth, 10},
        {"ORVA_SMCBCSIZE", "64", &mi_sm_check_bc_size, 64},
        {"ZEK_MIXED_MODE_THRESHOLD", "0", &mi_mmi_before_compile, 0},
        {"ZEK_MIXED_MODE_THRESHOLD", "-1", &mi_mmi_before_compile, 2000},
        {"ZEK_MIXED_MODE_THRESHOLD", "500", &mi_mmi_before_compile, 500},
        {"ORVA_NVINLINEDEPTH", nullptr, &mi_nested_vinvoke_analysis_depth, 2},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.name << "=" << (r.value ? r.value : "(unset)"));
        if (r.value != nullptr)
            setenv(r.name, r.value, 1);
        else
            unsetenv(r.name);
        jit_intialize_method_inlining();
        EXPECT_EQ(*r.global, r.expected);
        unsetenv(r.name);
    }
}

TEST(InliningRecords, MisinfoBucketsAndCallers)
{
    fake_vm_bind_and_init(fake_vm_new());
    classblock* cb = fake_class("M", nullptr,
                                {{"root", "()V", ACC_PUBLIC, std::vector<u1>(3, 0)},
                                 {"a", "()V", ACC_PUBLIC, std::vector<u1>(5, 0)},
                                 {"b", "()V", ACC_PUBLIC, std::vector<u1>(13, 0)}});
    method_compile_context m;
    memset(&m, 0, sizeof m);
    m.mb = &cb->methods[0];
    m.pool1 = jit_wmem_init(0);
    m.inlining = allocate_miainfo(&m, fake_current_ee);
    ASSERT_NE(m.inlining, nullptr);
    EXPECT_EQ(search_existing_misinfo(m.inlining, m.mb), &m.inlining->root);
    misinfo* a = mi_prescan_a_method(&m, &cb->methods[1], &m.inlining->root);
    misinfo* b = mi_prescan_a_method(&m, &cb->methods[2], a);    // lengths 5 and 13 share a bucket
    EXPECT_EQ(search_existing_misinfo(m.inlining, &cb->methods[1]), a);
    EXPECT_EQ(search_existing_misinfo(m.inlining, &cb->methods[2]), b);
    add_a_misinfo_to_caller_list(&m, a, b);     // already its caller
    add_a_misinfo_to_caller_list(&m, &m.inlining->root, b);
    int callers = 0;
    for (mi_caller_node* n = b->callers; n != nullptr; n = n->next)
        callers++;
    EXPECT_EQ(callers, 2);

    bbattr* block = allocate_a_bbattr(&m, 5, 17, 0xFFFFFFFFu, 2, 3);
    EXPECT_EQ(block->flags, BB_INLINE_KEEP);
    EXPECT_EQ(block->id, 5u);
    EXPECT_EQ(block->start_pc, 17u);
    EXPECT_EQ(block->pred_count, 1u);
    EXPECT_EQ(block->try_region, -1);
    EXPECT_NE(block->succ, nullptr);
    EXPECT_NE(block->catbl, nullptr);
    EXPECT_EQ(allocate_a_bbattr(&m, 6, 0, 0, 0, 0)->succ, nullptr);
}

// ---- class-hierarchy entry ---------------------------------------------------------

namespace {

class Hierarchy : public testing::Test {
protected:
    void SetUp() override
    {
        fake_vm_bind_and_init(fake_vm_new());
        compile_option2_flag = 0;
        jit_init_cha();
        object = fake_class("java/lang/Object", nullptr, {{"hashCode", "()I"}, {"toString", "()Ljava/lang/String;"}});
        iface = fake_class("I", object, {{"run", "()V", ACC_PUBLIC | ACC_ABSTRACT}}, ACC_PUBLIC | ACC_INTERFACE);
        fake_build_interface_table(iface);
        a = fake_class("A", object, {{"hashCode", "()I"}, {"size", "()I"}, {"gone", "()V", ACC_PUBLIC | ACC_ABSTRACT}},
                       ACC_PUBLIC | ACC_ABSTRACT);
        b = fake_class("B", a, {{"size", "()I"}, {"run", "()V"}});
        fake_implements(b, iface);
        c = fake_class("C", object, {{"run", "()V"}});
        fake_implements(c, iface);
    }

    static cha_class_info* rec(classblock* cb) { return cha_record(cb); }

    classblock *object, *iface, *a, *b, *c;
};

} // namespace

TEST_F(Hierarchy, RecordsLinksAndOverrideBits)
{
    for (classblock* cb : {object, iface, a, b, c})
        ASSERT_EQ(AddClass(cb, 0, 1, 1), 0);
    // The root: a record and a cleared bit vector, no links.
    EXPECT_EQ(rec(object)->entered, 1u);
    EXPECT_EQ(rec(object)->override_word_count, 1u);
    EXPECT_EQ(rec(object)->override_bits[0], 0u);
    EXPECT_EQ(rec(object)->subclass_count, 2u);     // A and C; never the interface
    EXPECT_EQ(rec(object)->subclasses[0], rec(a));
    EXPECT_EQ(rec(object)->subclasses[1], rec(c));
    // A overrides hashCode (slot 0), inherits toString (slot 1), adds size
    // (slot 2) and an abstract gone (slot 3).
    EXPECT_TRUE(cha_bit(rec(a), 0));
    EXPECT_FALSE(cha_bit(rec(a), 1));
    EXPECT_TRUE(cha_bit(rec(a), 2));
    EXPECT_FALSE(cha_bit(rec(a), 3));
    EXPECT_FALSE(cha_bit(rec(b), 0));
    EXPECT_TRUE(cha_bit(rec(b), 2));
    // The interface: linked under the classes naming it, counted per implementor.
    EXPECT_EQ(rec(iface)->subclass_count, 2u);
    EXPECT_EQ(rec(iface)->implementor_count, 2u);
    EXPECT_EQ(rec(iface)->override_word_count, 1u);
    EXPECT_EQ(rec(iface)->override_bits[0], 0u);
    EXPECT_LT(rec(object)->class_id, rec(c)->class_id);
}

TEST_F(Hierarchy, RepeatedAndUnflaggedEntriesChangeNothing)
{
    AddClass(object, 0, 1, 1);
    AddClass(a, 1, 0, 0);
    cha_class_info copy = *rec(a);
    EXPECT_EQ(AddClass(a, 1, 0, 0), 0);
    EXPECT_EQ(memcmp(&copy, rec(a), sizeof copy), 0);
    c->state = CS_LOADED;       // not linked yet
    EXPECT_EQ(AddClass(c, 0, 1, 1), 0);
    EXPECT_EQ(rec(c), nullptr);
    compile_option2_flag = OPT2_NCHA;
    EXPECT_EQ(AddClass(b, 1, 0, 0), 0);
    EXPECT_EQ(rec(b), nullptr);
    EXPECT_EQ(fake_monitor_depth(g_vm->binclass_lock), 0);
}

// A superclass record made early (not entered) leaves every inherited slot's
// bit clear; new slots still count.
TEST_F(Hierarchy, SuperclassNotYetEntered)
{
    AddClass(b, 1, 0, 0);
    EXPECT_NE(rec(a), nullptr);
    EXPECT_EQ(rec(a)->entered, 0u);
    EXPECT_FALSE(cha_bit(rec(b), 2));   // size overrides A's, but A is not entered
}

TEST_F(Hierarchy, OverridingRemovesAncestorRecordsAndPatchesTheirSites)
{
    AddClass(object, 0, 1, 1);
    AddClass(a, 0, 1, 1);
    // Two override records on A: size (overridden by B) and hashCode (not).
    static rcc code;
    classblock* caller = fake_class("Caller", object, {{"call", "()V"}});
    AddClass(caller, 0, 1, 1);
    // The caller's code: two 2-byte call-site sequences; each patch template
    // is its length, the new bytes, and room for the bytes it replaces.
    alignas(16) static u1 start[0x100];
    memset(start, 0x90, sizeof start);
    static u1 patch[2][8] = {{2, 0xEB, 0x10}, {2, 0xEB, 0x20}};
    register_committed_code0(&code, &caller->methods[0], start, start + 0x100, nullptr, nullptr);
    static cha_patch_entry entries[2];
    entries[0] = {reinterpret_cast<u4>(start + 0x10), reinterpret_cast<u4>(patch[0]), &caller->methods[0], start,
                  rec(caller)->class_id};
    entries[1] = {reinterpret_cast<u4>(start + 0x20), reinterpret_cast<u4>(patch[1]), &caller->methods[0], start,
                  rec(caller)->class_id + 99};   // stale class id
    static cha_override_record size_rec = {nullptr, 1, &a->methods[1], 2, 2, entries};
    static cha_override_record hash_rec = {&size_rec, 1, &a->methods[0], 0, 0, nullptr};
    rec(a)->override_records = &hash_rec;

    AddClass(b, 0, 1, 1);
    EXPECT_EQ(rec(a)->override_records, &hash_rec);
    EXPECT_EQ(hash_rec.next, nullptr);
    EXPECT_EQ(start[0x10], 0xEB);           // patched; the bytes it replaced are kept
    EXPECT_EQ(start[0x11], 0x10);
    EXPECT_EQ(patch[0][6], 0x90);
    EXPECT_EQ(patch[0][7], 0x90);
    EXPECT_EQ(start[0x20], 0x90);           // the stale entry is not patched
    EXPECT_EQ(start[0x21], 0x90);
    EXPECT_EQ(size_rec.entries, nullptr);
}

TEST_F(Hierarchy, SecondImplementorRemovesTheInterfacesRecords)
{
    for (classblock* cb : {object, iface, a})
        AddClass(cb, 0, 1, 1);
    static cha_override_record r2 = {nullptr, 1, &iface->methods[0], 0, 0, nullptr};
    static cha_override_record r1 = {&r2, 1, &iface->methods[0], 0, 0, nullptr};
    rec(iface)->override_records = &r1;
    AddClass(b, 0, 1, 1);
    EXPECT_EQ(rec(iface)->implementor_count, 1u);
    EXPECT_EQ(rec(iface)->override_records, &r1);
    AddClass(c, 0, 1, 1);
    EXPECT_EQ(rec(iface)->implementor_count, 2u);
    EXPECT_EQ(rec(iface)->override_records, nullptr);
}

// A failed subclass-array growth or bit vector never leaves an optimistic
// answer: the affected record is excluded.
TEST_F(Hierarchy, AllocationFailuresExcludeTheAffectedRecords)
{
    AddClass(object, 0, 1, 1);
    AddClass(a, 0, 1, 1);
    std::vector<classblock*> subs;
    for (int i = 0; i < 3; i++) {
        subs.push_back(fake_class("S" + std::to_string(i), a, {}));
        AddClass(subs.back(), 0, 1, 1);
    }
    EXPECT_EQ(rec(a)->excluded, 0u);
    classblock* fifth = fake_class("S4", a, {});
    jit_mem_inject_failure = 3;     // record and subclass array succeed, the bit vector fails
    AddClass(fifth, 0, 1, 1);
    jit_mem_inject_failure = 0;
    EXPECT_EQ(rec(fifth)->excluded, 1u);
    EXPECT_EQ(rec(a)->subclass_count, 4u);
    EXPECT_EQ(rec(a)->excluded, 0u);
    classblock* sixth = fake_class("S5", a, {});
    jit_mem_inject_failure = 4;     // A's full subclass array cannot grow
    AddClass(sixth, 0, 1, 1);
    jit_mem_inject_failure = 0;
    EXPECT_EQ(rec(a)->subclass_count, 4u);
    EXPECT_EQ(rec(a)->excluded, 1u);
    classblock* bare = fake_class("Bare", object, {{"x", "()V"}});
    jit_mem_inject_failure = 3;     // the bit vector of the new class fails
    AddClass(bare, 0, 1, 1);
    jit_mem_inject_failure = 0;
    EXPECT_EQ(rec(bare)->excluded, 1u);
    EXPECT_EQ(rec(bare)->override_bits, nullptr);
}

// Removal searches every entry and takes out only a record it finds.
TEST_F(Hierarchy, DeleteClassRemovesOnlyWhatItFinds)
{
    for (classblock* cb : {object, iface, a, b, c})
        AddClass(cb, 0, 1, 1);
    cha_class_info* crec = rec(c);
    DeleteClass(b);
    EXPECT_EQ(rec(b), nullptr);
    EXPECT_EQ(rec(a)->subclass_count, 0u);
    EXPECT_EQ(rec(iface)->subclass_count, 1u);
    EXPECT_EQ(rec(iface)->subclasses[0], crec);
    // A class whose record is no longer in its superclass's array: nothing else moves.
    classblock* d = fake_class("D", object, {});
    AddClass(d, 0, 1, 1);
    u4 before = rec(object)->subclass_count;
    rec(object)->subclass_count--;      // d's entry is gone already
    DeleteClass(d);
    EXPECT_EQ(rec(object)->subclass_count, before - 1);
    EXPECT_EQ(rec(object)->subclasses[0], rec(a));
    EXPECT_EQ(rec(object)->subclasses[1], crec);
}

// ---- trivial methods -------------------------------------------------------------

TEST(TrivialMethods, KindsByPattern)
{
    fake_vm_bind_and_init(fake_vm_new());
    struct {
        const char* what;
        std::vector<u1> code;
        u2 access;
        int exceptions;
        u4 kind;
    } const rows[] = {
        {"return", {0xb1}, ACC_PUBLIC, 0, 16},
        {"empty", {}, ACC_PUBLIC, 0, 16},
        {"iconst_0 ireturn", {0x03, 0xac}, ACC_PUBLIC, 0, 32},
        {"aconst_null areturn", {0x01, 0xb0}, ACC_PUBLIC, 0, 32},
        {"aload_1 areturn", {0x2b, 0xb0}, ACC_PUBLIC, 0, 32},
        {"iload_1 ireturn", {0x1b, 0xac}, ACC_PUBLIC, 0, 0},
        {"ldc areturn", {0x12, 0x07, 0xb0}, ACC_PUBLIC, 0, 48},
        {"ldc lreturn", {0x12, 0x07, 0xad}, ACC_PUBLIC, 0, 0},
        {"getstatic dreturn", {0xb2, 0x00, 0x05, 0xaf}, ACC_PUBLIC, 0, 64},
        {"iload_0 putstatic return", {0x1a, 0xb3, 0x00, 0x05, 0xb1}, ACC_STATIC, 0, 80},
        {"aload_0 getfield ireturn", {0x2a, 0xb4, 0x00, 0x05, 0xac}, ACC_PUBLIC, 0, 96},
        {"aload_0 iload_1 putfield return", {0x2a, 0x1b, 0xb5, 0x00, 0x05, 0xb1}, ACC_PUBLIC, 0, 112},
        {"aload_1 invokevirtual return", {0x2b, 0xb6, 0x00, 0x05, 0xb1}, ACC_PUBLIC, 0, 144},
        {"aload_0 invokestatic areturn", {0x2a, 0xb8, 0x00, 0x05, 0xb0}, ACC_PUBLIC, 0, 144},
        {"aload_0 aload_1 invokespecial return", {0x2a, 0x2b, 0xb7, 0x00, 0x05, 0xb1}, ACC_PUBLIC, 0, 160},
        {"aload_0 dload_1 invokevirtual areturn", {0x2a, 0x27, 0xb6, 0x00, 0x05, 0xb0}, ACC_PUBLIC, 0, 160},
        {"aload_0 istore_1 invokevirtual return", {0x2a, 0x3c, 0xb6, 0x00, 0x05, 0xb1}, ACC_PUBLIC, 0, 0},
        {"seven bytes", {0x2a, 0xb4, 0x00, 0x05, 0x04, 0x60, 0xac}, ACC_PUBLIC, 0, 0},
        {"return with a handler", {0xb1}, ACC_PUBLIC, 1, 0},
        {"native", {}, ACC_PUBLIC | ACC_NATIVE, 0, 0},
        {"abstract", {}, ACC_PUBLIC | ACC_ABSTRACT, 0, 0},
    };
    std::vector<fake_method_spec> specs;
    for (const auto& r : rows)
        specs.push_back({r.what, "()V", r.access, r.code, r.exceptions});
    classblock* cb = fake_class("Trivial", nullptr, specs);
    for (u2 i = 0; i < cb->methods_count; i++)
        cb->methods[i].jit_flags = 0xFFFFFFFFu;     // stale kind bits are cleared
    trivJudgeTrivialInvokers(cb);
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(rows[i].what);
        EXPECT_EQ(cb->methods[i].jit_flags & TRIV_KIND_MASK, rows[i].kind);
        EXPECT_EQ(cb->methods[i].jit_flags & ~TRIV_KIND_MASK, ~TRIV_KIND_MASK);   // other verdicts kept
    }
}

TEST(TrivialMethods, JudgeResolvesAndChecksTheField)
{
    fake_vm_bind_and_init(fake_vm_new());
    classblock* other = fake_class("Other", nullptr, {});
    classblock* cb = fake_class("Judge", nullptr,
                                {{"getS", "()I", ACC_STATIC, {0xb2, 0x00, 0x05, 0xac}},
                                 {"setFinalOther", "()V", ACC_STATIC, {0x03, 0xb3, 0x00, 0x06, 0xb1}},
                                 {"setOwn", "()V", ACC_STATIC, {0x03, 0xb3, 0x00, 0x07, 0xb1}},
                                 {"getUnresolved", "()I", ACC_STATIC, {0xb2, 0x00, 0x08, 0xac}},
                                 {"empty", "()V", ACC_PUBLIC, {0xb1}},
                                 {"pass", "()V", ACC_PUBLIC, {0x2a, 0xb6, 0x00, 0x05, 0xb1}}});
    trivJudgeTrivialInvokers(cb);
    fake_constant_pool(cb, 10);
    auto field = [](classblock* owner, u2 access) {
        auto* fb = static_cast<fieldblock*>(calloc(1, sizeof(fieldblock)));
        fb->clazz = owner;
        fb->name = "f";
        fb->signature = "I";
        fb->access = access;
        return fb;
    };
    fake_cp_set(cb, 5, CONSTANT_Fieldref | CONSTANT_RESOLVED, reinterpret_cast<u4>(field(cb, ACC_STATIC)));
    fake_cp_set(cb, 6, CONSTANT_Fieldref | CONSTANT_RESOLVED,
                reinterpret_cast<u4>(field(other, ACC_STATIC | ACC_FINAL)));
    fake_cp_set(cb, 7, CONSTANT_Fieldref | CONSTANT_RESOLVED, reinterpret_cast<u4>(field(cb, ACC_STATIC | ACC_FINAL)));
    fake_cp_set(cb, 8, CONSTANT_Fieldref, (1u << 16) | 2u);    // the fake VM never resolves it
    EE* ee = fake_current_ee;
    EXPECT_EQ(trivJudgeSetFlag(nullptr, ee, &cb->methods[0]), 1);
    EXPECT_EQ(trivJudgeSetFlag(nullptr, ee, &cb->methods[1]), 0);   // final field of another class
    EXPECT_EQ(trivJudgeSetFlag(nullptr, ee, &cb->methods[2]), 1);
    EXPECT_EQ(trivJudgeSetFlag(nullptr, ee, &cb->methods[3]), 0);   // does not resolve
    EXPECT_EQ(ee->exception_kind, 0u);
    EXPECT_EQ(trivJudgeSetFlag(nullptr, ee, &cb->methods[4]), 1);
    EXPECT_EQ(trivJudgeSetFlag(nullptr, ee, &cb->methods[5]), 0);   // pass-throughs are never expanded
    EXPECT_EQ(trivJudgeSetFlag(nullptr, ee, nullptr), 0);
}
