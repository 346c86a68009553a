// Translation of field, static, allocation and type-check instructions of
// real methods (fixtures in java/SpFields.java), with their constant-pool
// entries unresolved (the class was only loaded) and resolved and quickened
// (after the interpreter ran the code).
#include <gtest/gtest.h>

#include <string.h>

#include <utility>
#include <vector>

#include "fe_vm_env.h"
#include "sp_test_util.h"

namespace {

using namespace sptest;

constexpr u1 BC_GETSTATIC = 178, BC_PUTSTATIC = 179, BC_GETFIELD = 180, BC_PUTFIELD = 181, BC_NEW = 187;
constexpr u1 BC_ANEWARRAY = 189, BC_CHECKCAST = 192, BC_INSTANCEOF = 193, BC_MULTIANEWARRAY = 197;
constexpr u1 BC_GETFIELD_QUICK = 206, BC_GETFIELD2_QUICK = 208, BC_GETSTATIC_QUICK = 210, BC_GETSTATIC2_QUICK = 212;
constexpr u1 BC_NEW_QUICK = 221, BC_ANEWARRAY_QUICK = 222, BC_MULTIANEWARRAY_QUICK = 223;
constexpr u1 BC_CHECKCAST_QUICK = 224, BC_INSTANCEOF_QUICK = 225;

// Translates the instruction `ins` as if it stood at the fixture's pc.
int translate(builder_fixture& f, const u1* ins) { return gen_cattr_member(&f.b, ins, static_cast<u4>(f.pc)); }

// Every field access of a method, in pc order, translated one by one.
std::vector<quadruple> translate_all(methodblock* mb, EE* ee, std::initializer_list<u1> opcodes, u4 state = 0)
{
    std::vector<quadruple> out;
    int pc = 0;
    for (;;) {
        int best = -1;
        for (u1 op : opcodes) {
            int at = find_opcode(mb, op, pc);
            if (at >= 0 && (best < 0 || at < best))
                best = at;
        }
        if (best < 0)
            break;
        builder_fixture f;
        setup_builder(f, mb, ee, mb->code[best], best);
        f.m->state_flags |= state;
        EXPECT_EQ(translate(f, mb->code + best), 0);
        out.push_back(*f.q());
        free_context(f.m);
        pc = best + 1;
    }
    return out;
}

std::vector<int> ops_of(const std::vector<quadruple>& qs)
{
    std::vector<int> out;
    for (const quadruple& q : qs)
        out.push_back(q.opcode);
    return out;
}

classblock* fields_class(EE* ee, bool run)
{
    classblock* cb = fetest::find_class(ee, "SpFields", false);
    if (cb != nullptr && run) {
        int arg = 5;
        EXPECT_TRUE(fetest::call_static(ee, fetest::find_method(cb, "run", "(I)I"), &arg, 1));
    }
    return cb;
}

// The order matters: the unresolved forms are looked at before any code of
// the class ran; the process runs each test on its own under ctest, but the
// whole binary may run in one process, so each test re-checks what it needs.
TEST(MemberTranslation, UnresolvedStaticsAndFieldsKeepTheirIndex)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        classblock* cb = fields_class(ee, false);
        ASSERT_NE(cb, nullptr);
        methodblock* rs = fetest::find_method(cb, "readStatics", "()I");
        if (find_opcode(rs, BC_GETSTATIC) < 0)
            GTEST_SKIP() << "SpFields already ran in this process";
        const std::pair<const char*, u1> unresolved_sites[] = {
            {"readStatics", BC_GETSTATIC}, {"readFields", BC_GETFIELD}, {"makeSmall", BC_NEW},
            {"makeCube", BC_MULTIANEWARRAY}};
        for (const auto& [name, op] : unresolved_sites) {
            methodblock* mb = nullptr;
            for (u4 i = 0; i < cb->methods_count && mb == nullptr; i++)
                if (strcmp(cb->methods[i].name, name) == 0)
                    mb = &cb->methods[i];
            ASSERT_NE(mb, nullptr) << name;
            int at = find_opcode(mb, op);
            ASSERT_GE(at, 0) << name;
            if (entry_resolved(mb, at))
                GTEST_SKIP() << "SpFields's entries were resolved by a compile in this process";
        }
        std::vector<quadruple> qs = translate_all(rs, ee, {BC_GETSTATIC});
        const std::vector<int> want = {OPC_IGETSTATIC, OPC_LGETSTATIC, OPC_FGETSTATIC, OPC_DGETSTATIC, OPC_AGETSTATIC};
        EXPECT_EQ(ops_of(qs), want);
        for (const quadruple& q : qs) {
            EXPECT_NE(q.subcode & QS_UNRESOLVED, 0);
            EXPECT_NE(q.op, 0);             // the index
            EXPECT_EQ(q.aux, 0u);
            EXPECT_EQ(q.body, 0);
        }
        methodblock* rf = fetest::find_method(cb, "readFields", "()I");
        qs = translate_all(rf, ee, {BC_GETFIELD});
        const std::vector<int> want_fields = {OPC_IGETFIELD, OPC_LGETFIELD, OPC_FGETFIELD, OPC_DGETFIELD,
                                              OPC_AGETFIELD, OPC_IGETFIELD};
        EXPECT_EQ(ops_of(qs), want_fields);
        for (const quadruple& q : qs) {
            EXPECT_NE(q.subcode & QS_UNRESOLVED, 0);
            EXPECT_NE(q.target, 0u);
        }
        // Unresolved quadruples carry the body number when the context asks.
        builder_fixture f;
        setup_builder(f, rf, ee, BC_GETFIELD);
        f.m->state_flags |= MCC_UNRESOLVED_BODY;
        EXPECT_EQ(translate(f, rf->code + f.pc), 0);
        EXPECT_EQ(f.q()->body, 0);
        EXPECT_NE(f.m->state_flags & MCC_UNRESOLVED_SEEN, 0u);
        free_context(f.m);
        // Allocation and type checks, unresolved: operator word = index, no class.
        methodblock* ms = fetest::find_method(cb, "makeSmall", "()Ljava/lang/Object;");
        setup_builder(f, ms, ee, BC_NEW);
        f.args.body_number = 3;
        EXPECT_EQ(translate(f, ms->code + f.pc), 0);
        EXPECT_EQ(f.q()->opcode, OPC_NEW);
        EXPECT_NE(f.q()->subcode & QS_UNRESOLVED, 0);
        EXPECT_EQ(f.q()->aux, 0u);
        EXPECT_EQ(f.q()->op, cp_find_class(cb, "SpSmall"));
        EXPECT_EQ(f.q()->body, 3);          // new carries a body number above 0
        free_context(f.m);
        methodblock* mc = fetest::find_method(cb, "makeCube", "()Ljava/lang/Object;");
        setup_builder(f, mc, ee, BC_MULTIANEWARRAY);
        EXPECT_EQ(translate(f, mc->code + f.pc), 0);
        EXPECT_EQ(f.q()->opcode, OPC_MULTIANEWARRAY);
        EXPECT_EQ(f.q()->count, 3);
        EXPECT_NE(f.q()->subcode & QS_UNRESOLVED, 0);
        free_context(f.m);
        methodblock* mt = fetest::find_method(cb, "test", "(Ljava/lang/Object;)Z");
        setup_builder(f, mt, ee, BC_INSTANCEOF);
        f.args.body_number = 3;
        EXPECT_EQ(translate(f, mt->code + f.pc), 0);
        EXPECT_EQ(f.q()->opcode, OPC_INSTANCEOF);
        EXPECT_EQ(f.q()->body, 0);          // instanceof: only under the context's request
        EXPECT_EQ(f.m->typecheck_count, 1u);
        free_context(f.m);
    });
}

TEST(MemberTranslation, ResolvedAndQuickenedForms)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        classblock* cb = fields_class(ee, true);
        ASSERT_NE(cb, nullptr);
        methodblock* rs = fetest::find_method(cb, "readStatics", "()I");
        std::vector<quadruple> qs = translate_all(rs, ee, {BC_GETSTATIC_QUICK, BC_GETSTATIC2_QUICK, BC_GETSTATIC});
        const std::vector<int> want = {OPC_IGETSTATIC, OPC_LGETSTATIC, OPC_FGETSTATIC, OPC_DGETSTATIC, OPC_AGETSTATIC};
        EXPECT_EQ(ops_of(qs), want);
        for (const quadruple& q : qs) {
            EXPECT_EQ(q.subcode & QS_UNRESOLVED, 0);
            EXPECT_EQ(q.op, 0);
            ASSERT_NE(q.aux, 0u);
            EXPECT_EQ(reinterpret_cast<fieldblock*>(q.aux)->clazz, cb);
        }
        EXPECT_GE(find_opcode(rs, BC_GETSTATIC_QUICK), 0) << "the interpreter did not quicken";

        // A final int static of an initialised class is a constant; a final
        // long one is not.
        methodblock* rl = fetest::find_method(cb, "readLimit", "()I");
        qs = translate_all(rl, ee, {BC_GETSTATIC_QUICK, BC_GETSTATIC});
        ASSERT_EQ(qs.size(), 1u);
        EXPECT_EQ(qs[0].opcode, OPC_ICONST);
        EXPECT_EQ(qs[0].value, 42u);
        EXPECT_NE(qs[0].flags_a & QA_CONSTANT, 0);
        EXPECT_EQ(qs[0].op, 0);
        EXPECT_EQ(qs[0].aux, 0u);
        methodblock* rb = fetest::find_method(cb, "readBig", "()J");
        qs = translate_all(rb, ee, {BC_GETSTATIC2_QUICK, BC_GETSTATIC});
        ASSERT_EQ(qs.size(), 1u);
        EXPECT_EQ(qs[0].opcode, OPC_LGETSTATIC);

        methodblock* rf = fetest::find_method(cb, "readFields", "()I");
        qs = translate_all(rf, ee, {BC_GETFIELD_QUICK, BC_GETFIELD2_QUICK, BC_GETFIELD, 227});
        const std::vector<int> want_fields = {OPC_IGETFIELD, OPC_LGETFIELD, OPC_FGETFIELD, OPC_DGETFIELD,
                                              OPC_AGETFIELD, OPC_IGETFIELD};
        EXPECT_EQ(ops_of(qs), want_fields);
        for (const quadruple& q : qs) {
            EXPECT_EQ(q.subcode & QS_UNRESOLVED, 0);
            EXPECT_EQ(q.target, 0u);
            EXPECT_NE(q.aux, 0u);
        }

        // Allocation: the class block in the aux pointer.
        builder_fixture f;
        methodblock* ms = fetest::find_method(cb, "makeSmall", "()Ljava/lang/Object;");
        setup_builder(f, ms, ee, BC_NEW_QUICK);
        ASSERT_GE(f.pc, 0);
        EXPECT_EQ(translate(f, ms->code + f.pc), 0);
        EXPECT_EQ(f.q()->opcode, OPC_NEW);
        EXPECT_EQ(f.q()->subcode & QS_UNRESOLVED, 0);
        EXPECT_EQ(reinterpret_cast<classblock*>(f.q()->aux), fetest::find_class(ee, "SpSmall", false));
        free_context(f.m);
        methodblock* ma = fetest::find_method(cb, "makeArrays", "()Ljava/lang/Object;");
        setup_builder(f, ma, ee, BC_ANEWARRAY_QUICK);
        ASSERT_GE(f.pc, 0);
        EXPECT_EQ(translate(f, ma->code + f.pc), 0);
        EXPECT_EQ(f.q()->opcode, OPC_ANEWARRAY);
        EXPECT_EQ(reinterpret_cast<classblock*>(f.q()->aux), fetest::class_String());
        free_context(f.m);
        methodblock* mc = fetest::find_method(cb, "makeCube", "()Ljava/lang/Object;");
        setup_builder(f, mc, ee, BC_MULTIANEWARRAY_QUICK);
        ASSERT_GE(f.pc, 0);
        EXPECT_EQ(translate(f, mc->code + f.pc), 0);
        EXPECT_EQ(f.q()->count, 3);
        EXPECT_EQ(strcmp(reinterpret_cast<classblock*>(f.q()->aux)->name, "[[[I"), 0);
        free_context(f.m);
        methodblock* mk = fetest::find_method(cb, "cast", "(Ljava/lang/Object;)Ljava/lang/String;");
        setup_builder(f, mk, ee, BC_CHECKCAST_QUICK);
        ASSERT_GE(f.pc, 0);
        EXPECT_EQ(translate(f, mk->code + f.pc), 0);
        EXPECT_EQ(f.q()->opcode, OPC_CHECKCAST);
        EXPECT_EQ(f.q()->subcode & QS_UNRESOLVED, 0);
        EXPECT_EQ(f.q()->op, cp_find_class(cb, "java/lang/String"));
        EXPECT_EQ(f.m->typecheck_count, 1u);
        free_context(f.m);
        (void)BC_CHECKCAST;
        (void)BC_INSTANCEOF_QUICK;
        (void)BC_ANEWARRAY;
    });
}

TEST(MemberTranslation, EntriesThatDoNotSuitTheInstruction)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        classblock* cb = fields_class(ee, true);
        ASSERT_NE(cb, nullptr);
        u4 counter = cp_find_ref(cb, CONSTANT_Fieldref, "SpFields", "counter");
        u4 count = cp_find_ref(cb, CONSTANT_Fieldref, "SpFields", "count");
        u4 fixed = cp_find_ref(cb, CONSTANT_Fieldref, "SpFields", "fixed");
        ASSERT_NE(counter, 0u);
        ASSERT_NE(count, 0u);
        ASSERT_NE(fixed, 0u);
        methodblock* any = fetest::find_method(cb, "readFields", "()I");
        struct row {
            const char* name;
            u1 bc;
            u4 index;
            int opcode;
            bool unresolved;
        };
        const row rows[] = {
            {"getfield of a static field", BC_GETFIELD, counter, OPC_IGETFIELD, true},
            {"getstatic of an instance field", BC_GETSTATIC, count, OPC_IGETSTATIC, true},
            {"putfield of its own final field", BC_PUTFIELD, fixed, OPC_IPUTFIELD, false},
            {"putstatic of an instance field", BC_PUTSTATIC, count, OPC_IPUTSTATIC, true},
        };
        for (const row& r : rows) {
            ASSERT_TRUE((reinterpret_cast<const u1*>(cb->constantpool[0])[r.index] & CONSTANT_RESOLVED) != 0
                        || fetest::resolve(ee, cb, r.index, 1u << CONSTANT_Fieldref))
                << r.name;
            builder_fixture f;
            setup_builder(f, any, ee, BC_GETFIELD_QUICK);
            u1 ins[4] = {r.bc, static_cast<u1>(r.index >> 8), static_cast<u1>(r.index), 0};
            EXPECT_EQ(translate(f, ins), 0) << r.name;
            EXPECT_EQ(f.q()->opcode, r.opcode) << r.name;
            EXPECT_EQ((f.q()->subcode & QS_UNRESOLVED) != 0, r.unresolved) << r.name;
            u4 kept = r.bc == BC_GETFIELD || r.bc == BC_PUTFIELD ? f.q()->target : f.q()->op;
            EXPECT_EQ(kept, r.unresolved ? r.index : 0u) << r.name;
            free_context(f.m);
        }
        // The same final field written from another class: a class block
        // that shares SpFields' pool but is not SpFields.
        classblock other;
        memcpy(&other, cb, sizeof other);
        builder_fixture f;
        setup_builder(f, any, ee, BC_GETFIELD_QUICK);
        f.b.cb = &other;
        u1 ins[4] = {BC_PUTFIELD, static_cast<u1>(fixed >> 8), static_cast<u1>(fixed), 0};
        EXPECT_EQ(translate(f, ins), 0);
        EXPECT_NE(f.q()->subcode & QS_UNRESOLVED, 0);
        EXPECT_EQ(f.q()->target, fixed);
        free_context(f.m);

        // `new` of an abstract class is left to the run time; `new_quick` of
        // the same class is not (the interpreter checked it).
        u4 abstract_class = cp_find_class(cb, "SpAbstract");
        ASSERT_NE(abstract_class, 0u);
        ASSERT_TRUE(fetest::resolve(ee, cb, abstract_class, 1u << CONSTANT_Class));
        u1 n1[4] = {BC_NEW, static_cast<u1>(abstract_class >> 8), static_cast<u1>(abstract_class), 0};
        setup_builder(f, any, ee, BC_GETFIELD_QUICK);
        EXPECT_EQ(translate(f, n1), 0);
        EXPECT_NE(f.q()->subcode & QS_UNRESOLVED, 0);
        EXPECT_EQ(f.q()->aux, 0u);
        free_context(f.m);
        u1 n2[4] = {BC_NEW_QUICK, static_cast<u1>(abstract_class >> 8), static_cast<u1>(abstract_class), 0};
        setup_builder(f, any, ee, BC_GETFIELD_QUICK);
        EXPECT_EQ(translate(f, n2), 0);
        EXPECT_EQ(f.q()->subcode & QS_UNRESOLVED, 0);
        EXPECT_EQ(reinterpret_cast<classblock*>(f.q()->aux), fetest::find_class(ee, "SpAbstract", false));
        free_context(f.m);
    });
}

TEST(MemberTranslation, NullCheckMarks)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        classblock* cb = fields_class(ee, false);
        methodblock* any = fetest::find_method(cb, "readFields", "()I");
        struct row {
            u1 ins[3];
            int op;
            int sub;
            int body;
        };
        const row rows[] = {
            {{220, 3, 1}, 3, 1, 2},     // invokeignored_quick, receiver tested
            {{220, 3, 0}, 3, 0, 0},     // not tested: no body number
            {{229, 0, 0}, 1, 1, 2},     // nonnull_quick
        };
        for (const row& r : rows) {
            builder_fixture f;
            setup_builder(f, any, ee, any->code[0]);
            f.args.body_number = 2;
            EXPECT_EQ(translate(f, r.ins), 0);
            EXPECT_EQ(f.q()->opcode, OPC_NULLCHECK_MARK);
            EXPECT_EQ(f.q()->op, r.op);
            EXPECT_EQ(f.q()->subcode & QS_KIND_MASK, static_cast<u4>(r.sub));
            EXPECT_EQ(f.q()->body, r.body);
            free_context(f.m);
        }
    });
}

}  // namespace
