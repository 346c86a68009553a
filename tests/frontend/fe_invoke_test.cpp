// Translation of the invoke instructions of real methods (fixtures in
// java/SpCalls.java): invocation kinds for the targets of every kind, in
// the forms javac writes and in the quick forms our interpreter writes,
// argument words of unresolved calls, the call-site records, the arraycopy
// flag and the reflective replacements of forName and newInstance.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "fe_vm_env.h"
#include "frontend/sp_external.h"
#include "inline/inline.h"
#include "sp_test_util.h"

namespace {

using namespace sptest;

constexpr u1 BC_INVOKEVIRTUAL = 182, BC_INVOKESPECIAL = 183, BC_INVOKESTATIC = 184, BC_INVOKEINTERFACE = 185;
constexpr u1 BC_INVOKEVIRTUAL_QUICK = 214, BC_INVOKENONVIRTUAL_QUICK = 215, BC_INVOKESUPER_QUICK = 216;
constexpr u1 BC_INVOKESTATIC_QUICK = 217, BC_INVOKEINTERFACE_QUICK = 218, BC_INVOKEVIRTUALOBJECT_QUICK = 219;

struct option_scope {
    u4 saved = compile_option_flag;
    explicit option_scope(bool ninlining)
    {
        compile_option_flag = ninlining ? (saved | OPT1_NINLINING) : (saved & ~OPT1_NINLINING);
    }
    ~option_scope() { compile_option_flag = saved; }
};

classblock* calls_class(EE* ee, bool run)
{
    classblock* cb = fetest::find_class(ee, "SpCalls", false);
    if (cb != nullptr && run) {
        int arg = 1;
        EXPECT_TRUE(fetest::call_static(ee, fetest::find_method(cb, "run", "(I)I"), &arg, 1));
    }
    return cb;
}

// The first invoke (any form) of the method, translated.
struct translated {
    builder_fixture f;
    int result = -1;
    u1 bytecode = 0;
    quadruple* q() { return f.q(); }
    ~translated()
    {
        if (f.m != nullptr)
            free_context(f.m);
    }
};

int first_invoke(const methodblock* mb)
{
    int best = -1;
    for (u1 op : {BC_INVOKEVIRTUAL, BC_INVOKESPECIAL, BC_INVOKESTATIC, BC_INVOKEINTERFACE, BC_INVOKEVIRTUAL_QUICK,
                  BC_INVOKENONVIRTUAL_QUICK, BC_INVOKESUPER_QUICK, BC_INVOKESTATIC_QUICK, BC_INVOKEINTERFACE_QUICK,
                  BC_INVOKEVIRTUALOBJECT_QUICK, static_cast<u1>(226)}) {
        int at = find_opcode(mb, op);
        if (at >= 0 && (best < 0 || at < best))
            best = at;
    }
    return best;
}

void translate_method(translated& t, classblock* cb, EE* ee, const char* name, const char* sig)
{
    methodblock* mb = fetest::find_method(cb, name, sig);
    ASSERT_NE(mb, nullptr) << name;
    int pc = first_invoke(mb);
    ASSERT_GE(pc, 0) << name;
    setup_builder(t.f, mb, ee, mb->code[pc], pc);
    t.bytecode = mb->code[pc];
    t.result = gen_cattr_invoke(&t.f.b, mb->code + pc, static_cast<u4>(pc));
}

// The same instruction bytes at the position of the method's first invoke.
void translate_bytes(translated& t, classblock* cb, EE* ee, const char* name, const char* sig, const u1* ins)
{
    methodblock* mb = fetest::find_method(cb, name, sig);
    ASSERT_NE(mb, nullptr);
    int pc = first_invoke(mb);
    setup_builder(t.f, mb, ee, mb->code[pc], pc);
    t.bytecode = ins[0];
    t.result = gen_cattr_invoke(&t.f.b, ins, static_cast<u4>(pc));
}

TEST(InvokeTranslation, UnresolvedCallsTakeTheirWordsFromTheSignature)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        option_scope opts(true);
        classblock* cb = calls_class(ee, false);
        ASSERT_NE(cb, nullptr);
        if (first_invoke(fetest::find_method(cb, "callVirtual", "()I")) < 0
            || find_opcode(fetest::find_method(cb, "callVirtual", "()I"), BC_INVOKEVIRTUAL) < 0)
            GTEST_SKIP() << "SpCalls already ran in this process";
        struct row {
            const char* name;
            const char* sig;
            int opcode;
            u4 kind;
            u4 words;
        };
        const row rows[] = {
            {"callVirtual", "()I", OPC_ICALL, INVK_VIRTUAL, 4},     // (JI)I plus the receiver
            {"callMix", "()I", OPC_ICALL, INVK_STATIC, 3},          // static (JI)I
            {"callStatic", "()I", OPC_ICALL, INVK_STATIC, 1},
            {"callPrivate", "()I", OPC_ICALL, INVK_SPECIAL_UNRESOLVED, 2},
            {"callInterface", "(Ljava/lang/Runnable;)I", OPC_VCALL, INVK_INTERFACE_UNRESOLVED, 1},
            {"callCopy", "([I[I)V", OPC_VCALL, INVK_STATIC, 5},
        };
        for (const row& r : rows) {
            methodblock* mb = fetest::find_method(cb, r.name, r.sig);
            ASSERT_NE(mb, nullptr) << r.name;
            if (entry_resolved(mb, first_invoke(mb)))
                GTEST_SKIP() << "SpCalls's entries were resolved by a compile in this process";
        }
        for (const row& r : rows) {
            translated t;
            translate_method(t, cb, ee, r.name, r.sig);
            ASSERT_EQ(t.result, 0) << r.name;
            quadruple* q = t.q();
            EXPECT_EQ(q->opcode, r.opcode) << r.name;
            EXPECT_EQ(q->subcode & QS_KIND_MASK, r.kind) << r.name;
            EXPECT_NE(q->subcode & QS_UNRESOLVED, 0) << r.name;
            EXPECT_EQ(q->count, r.words) << r.name;
            EXPECT_EQ(q->value, 0u) << r.name;
            EXPECT_NE(q->op, 0) << r.name;
            EXPECT_EQ(quad_source_pc(q), t.f.pc) << r.name;
            EXPECT_EQ(t.f.m->call_count, 1u) << r.name;
            EXPECT_EQ(t.f.m->max_arg_words, r.words) << r.name;
            EXPECT_EQ(t.f.m->arraycopy_flag, 0u) << r.name;     // an unresolved arraycopy does not count
            EXPECT_NE(t.f.m->state_flags & MCC_UNRESOLVED_SEEN, 0u) << r.name;
        }
    });
}

TEST(InvokeTranslation, BadReturnTypeFailsTheBlock)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        option_scope opts(true);
        classblock* cb = calls_class(ee, false);
        methodblock* mb = fetest::find_method(cb, "callVirtual", "()I");
        int pc = find_opcode(mb, BC_INVOKEVIRTUAL);
        if (pc < 0)
            GTEST_SKIP() << "SpCalls already ran in this process";
        if (entry_resolved(mb, pc))
            GTEST_SKIP() << "SpCalls's entries were resolved by a compile in this process";
        u4 index = static_cast<u4>(mb->code[pc + 1] << 8 | mb->code[pc + 2]);
        builder_fixture f;
        setup_builder(f, mb, ee, BC_INVOKEVIRTUAL);
        // The driver's record of the unresolved reference names a return type
        // that does not exist.
        method_unresolved_info info;
        initialize_method_unresolved_info(&info);
        unresolved_ref_entry e{};
        e.key = &cb->constantpool[index];
        e.class_name = "SpCalls";
        e.name = "plain";
        e.signature = "(JI)X";
        info.methods[unresolved_bucket(e.key)] = &e;
        f.m->unresolved_info = &info;
        EXPECT_EQ(gen_cattr_invoke(&f.b, mb->code + pc, static_cast<u4>(pc)), 1);
        free_context(f.m);
    });
}

struct kind_row {
    const char* name;
    const char* sig;
    u1 quick;
    int opcode;
    u4 kind;
};

TEST(InvokeTranslation, KindsOfQuickenedCalls)
{
    FE_REQUIRE_BOOT();
    const kind_row rows[] = {
        {"callStatic", "()I", BC_INVOKESTATIC_QUICK, OPC_ICALL, INVK_STATIC_QUICK},
        {"callPrivate", "()I", BC_INVOKENONVIRTUAL_QUICK, OPC_ICALL, INVK_DIRECT},
        {"callFinal", "()I", BC_INVOKENONVIRTUAL_QUICK, OPC_ICALL, INVK_DIRECT},
        {"callVirtual", "()I", BC_INVOKEVIRTUAL_QUICK, OPC_ICALL, INVK_VIRTUAL_QUICK},
        {"base", "(I)I", BC_INVOKESUPER_QUICK, OPC_ICALL, INVK_SUPER},      // super.base(x)
        {"callInterface", "(Ljava/lang/Runnable;)I", BC_INVOKEINTERFACE_QUICK, OPC_VCALL, INVK_INTERFACE},
        {"callObject", "(Ljava/lang/Object;)I", BC_INVOKEVIRTUALOBJECT_QUICK, OPC_ICALL, INVK_OBJECT},
        {"callString", "(Ljava/lang/String;)Ljava/lang/String;", BC_INVOKENONVIRTUAL_QUICK, OPC_ACALL, INVK_DIRECT},
        {"callCopy", "([I[I)V", BC_INVOKESTATIC_QUICK, OPC_VCALL, INVK_STATIC_QUICK},
    };
    fetest::run([&](EE* ee) {
        option_scope opts(true);
        classblock* cb = calls_class(ee, true);
        ASSERT_NE(cb, nullptr);
        for (const kind_row& r : rows) {
            translated t;
            translate_method(t, cb, ee, r.name, r.sig);
            ASSERT_EQ(t.result, 0) << r.name;
            EXPECT_EQ(t.bytecode, r.quick) << r.name << ": the interpreter wrote another form";
            quadruple* q = t.q();
            EXPECT_EQ(q->opcode, r.opcode) << r.name;
            EXPECT_EQ(q->subcode & QS_KIND_MASK, r.kind) << r.name;
            EXPECT_EQ(q->subcode & QS_UNRESOLVED, 0) << r.name;
            auto* callee = reinterpret_cast<methodblock*>(q->value);
            ASSERT_NE(callee, nullptr) << r.name;
            EXPECT_EQ(q->count & 0xFF, callee->args_size) << r.name;
            if (r.kind == INVK_SUPER) {
                EXPECT_EQ(q->op, callee->slot) << r.name;          // the slot, not an index
                EXPECT_EQ(strcmp(callee->clazz->name, "SpBase"), 0) << r.name;
            }
            if (r.quick == BC_INVOKEINTERFACE_QUICK) {
                methodblock* mb = fetest::find_method(cb, r.name, r.sig);
                EXPECT_EQ(q->count >> 8, mb->code[t.f.pc + 4]) << r.name;
            } else {
                EXPECT_EQ(q->count >> 8, 0) << r.name;
            }
            EXPECT_EQ(t.f.m->arraycopy_flag, strcmp(r.name, "callCopy") == 0 ? 1u : 0u) << r.name;
        }
    });
}

TEST(InvokeTranslation, KindsOfResolvedCallsInJavacForms)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        option_scope opts(true);
        classblock* cb = calls_class(ee, true);
        ASSERT_NE(cb, nullptr);
        struct row {
            const char* what;
            u1 bc;
            const char* cls;
            const char* name;
            u4 kind;
            bool unresolved;
        };
        const row rows[] = {
            {"invokevirtual of a plain method", BC_INVOKEVIRTUAL, "SpCalls", "plain", INVK_VIRTUAL, false},
            {"invokevirtual of a final method", BC_INVOKEVIRTUAL, "SpCalls", "sealed", INVK_DIRECT, false},
            {"invokevirtual of a String method", BC_INVOKEVIRTUAL, "java/lang/String", "toString", INVK_DIRECT, false},
            {"invokevirtual of an Object method", BC_INVOKEVIRTUAL, "java/lang/Object", "hashCode", INVK_OBJECT, false},
            {"invokevirtual of a static method", BC_INVOKEVIRTUAL, "SpCalls", "twice", INVK_VIRTUAL, true},
            {"invokestatic of an instance method", BC_INVOKESTATIC, "SpCalls", "plain", INVK_STATIC, true},
            {"invokespecial of a private method", BC_INVOKESPECIAL, "SpCalls", "secret", INVK_DIRECT, false},
            // javac names the superclass's own method: the super-call
            // selection finds that same method, a direct call.
            {"invokespecial of a super method", BC_INVOKESPECIAL, "SpBase", "base", INVK_DIRECT, false},
            {"invokespecial of a static method", BC_INVOKESPECIAL, "SpCalls", "twice", INVK_SPECIAL_UNRESOLVED, true},
        };
        for (const row& r : rows) {
            u4 index = cp_find_ref(cb, CONSTANT_Methodref, r.cls, r.name);
            ASSERT_NE(index, 0u) << r.what;
            ASSERT_TRUE((reinterpret_cast<const u1*>(cb->constantpool[0])[index] & CONSTANT_RESOLVED) != 0) << r.what;
            u1 ins[5] = {r.bc, static_cast<u1>(index >> 8), static_cast<u1>(index), 0, 0};
            translated t;
            translate_bytes(t, cb, ee, "callVirtual", "()I", ins);
            ASSERT_EQ(t.result, 0) << r.what;
            quadruple* q = t.q();
            EXPECT_EQ(q->subcode & QS_KIND_MASK, r.kind) << r.what;
            EXPECT_EQ((q->subcode & QS_UNRESOLVED) != 0, r.unresolved) << r.what;
            EXPECT_EQ(q->value == 0, r.unresolved) << r.what;
            if (r.kind == INVK_SUPER) {
                auto* callee = reinterpret_cast<methodblock*>(q->value);
                EXPECT_EQ(q->op, callee->slot) << r.what;
            } else {
                EXPECT_EQ(q->op, index) << r.what;
            }
        }
        // An interface method through invokeinterface; the fifth byte rides
        // along in the count word.
        u4 run = cp_find_ref(cb, CONSTANT_InterfaceMethodref, "java/lang/Runnable", "run");
        ASSERT_NE(run, 0u);
        u1 ins[5] = {BC_INVOKEINTERFACE, static_cast<u1>(run >> 8), static_cast<u1>(run), 1, 7};
        translated t;
        translate_bytes(t, cb, ee, "callVirtual", "()I", ins);
        ASSERT_EQ(t.result, 0);
        EXPECT_EQ(t.q()->subcode & QS_KIND_MASK, INVK_INTERFACE);
        EXPECT_EQ(t.q()->count, 1 | 7 << 8);
    });
}

TEST(InvokeTranslation, CallSiteRecordsFollowTheCalls)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        option_scope opts(false);
        classblock* cb = calls_class(ee, true);
        translated t;
        methodblock* mb = fetest::find_method(cb, "callObject", "(Ljava/lang/Object;)I");
        int pc = first_invoke(mb);
        ASSERT_GE(pc, 0);
        setup_builder(t.f, mb, ee, mb->code[pc], pc);
        pc2bb_entry map[64] = {};
        map[pc].block = 1;
        map[pc].position = 3;
        t.f.args.pc_map = map;
        mi_call_site passed{}, here{}, later{};
        passed.pc = 0;
        passed.flags = MCS_CANDIDATE | MCS_ANALYSE;
        passed.next = &here;
        here.pc = static_cast<u4>(pc);
        here.flags = INVK_VIRTUAL | MCS_ANALYSE | MCS_TRIVIAL_CALLEE | MCS_STALE_LOCATION;
        here.next = &later;
        later.pc = 200;
        later.flags = MCS_CANDIDATE;
        if (pc == 0)
            passed.pc = 0, t.f.b.site_cursor = &here;
        else
            t.f.b.site_cursor = &passed;
        ASSERT_EQ(gen_cattr_invoke(&t.f.b, mb->code + pc, static_cast<u4>(pc)), 0);
        quadruple* q = t.q();
        // The analysis did not see an Object method: the call is dispatched
        // through the method block.
        EXPECT_EQ(q->subcode & QS_KIND_MASK, INVK_VIRTUAL_QUICK);
        EXPECT_NE(q->subcode & QS_TRIVIAL_CALL, 0);
        EXPECT_EQ(t.f.block.invocation_count, 1u);
        EXPECT_EQ(here.block, 1);
        EXPECT_EQ(here.position, 3);
        EXPECT_EQ(here.flags & MCS_STALE_LOCATION, 0u);
        if (pc != 0) {
            EXPECT_EQ(passed.flags & (MCS_CANDIDATE | MCS_ANALYSE), 0u);
        }
        EXPECT_EQ(t.f.b.site_cursor, &later);
        EXPECT_EQ(later.flags, MCS_CANDIDATE);
    });
}

// Lowers a translated call through the stack pass on its own block.
std::vector<int> lower_call(quadruple* q, methodblock* body, const std::vector<u4>& stack, bbattr** out_block,
                            method_compile_context** out_m)
{
    method_compile_context* m = new_context(body);
    quadruple* c = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
    memcpy(c, q, sizeof *c);
    int P = -1;
    for (u4 k : stack)
        P += (k == ARG_FLOAT || k == ARG_DOUBLE1 || k == ARG_DOUBLE2) ? 0 : 1;
    quad_set_itops(c, static_cast<u2>(P), static_cast<u2>(-1));
    quad_set_ftops(c, static_cast<u2>(-1), static_cast<u2>(-1));
    set_stack_list(m, c, stack);
    make_blocks(m, {{c}});
    EXPECT_EQ(dup2copy(m), 0);
    *out_block = m->bb_table[1];
    *out_m = m;
    return opcodes(m->bb_table[1]);
}

// Fault guarded against: a call of StringBuffer's toString was marked as a
// String method because only 16 characters of the class name were compared.
TEST(InvokeTranslation, StringBufferToStringIsNotAStringMethod)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        option_scope opts(true);
        classblock* cb = calls_class(ee, true);
        for (const char* name : {"callString", "callBuffer"}) {
            translated t;
            const char* sig = strcmp(name, "callString") == 0 ? "(Ljava/lang/String;)Ljava/lang/String;"
                                                              : "(Ljava/lang/StringBuffer;)Ljava/lang/String;";
            translate_method(t, cb, ee, name, sig);
            ASSERT_EQ(t.result, 0);
            EXPECT_EQ(t.q()->subcode & QS_KIND_MASK, INVK_DIRECT) << name;
            bbattr* b;
            method_compile_context* m;
            lower_call(t.q(), fetest::find_method(cb, name, sig), {ARG_REF}, &b, &m);
            quadruple* call = b->catbl[b->quad_count - 1];
            EXPECT_EQ(call->opcode, OPC_ACALL);
            EXPECT_EQ((call->flags_a & QA_STRING_OR_INTEGER) != 0, strcmp(name, "callString") == 0) << name;
            free_context(m);
        }
    });
}

TEST(InvokeTranslation, ReflectiveCallsBecomeTheirReplacements)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        classblock* cb = calls_class(ee, true);
        ASSERT_NE(get_forName0(), nullptr);
        ASSERT_NE(get_newInstance1(), nullptr);
        struct row {
            const char* name;
            const char* sig;
            methodblock* replacement;
            u4 kind;
            u4 words;
        };
        const row rows[] = {
            {"callForName", "()Ljava/lang/Class;", get_forName0(), INVK_STATIC_QUICK, 3},
            {"callNewInstance", "(Ljava/lang/Class;)Ljava/lang/Object;", get_newInstance1(), INVK_DIRECT, 3},
        };
        for (const row& r : rows) {
            {
                option_scope opts(true);
                translated t;
                translate_method(t, cb, ee, r.name, r.sig);
                ASSERT_EQ(t.result, 0);
                EXPECT_EQ(t.f.b.used, 0u) << r.name << ": NINLINING keeps the call";
                EXPECT_NE(reinterpret_cast<methodblock*>(t.q()->value), r.replacement);
            }
            option_scope opts(false);
            translated t;
            translate_method(t, cb, ee, r.name, r.sig);
            ASSERT_EQ(t.result, 0);
            ASSERT_EQ(t.f.b.used, 2u) << r.name;
            quadruple** s = t.f.b.slots;
            bool for_name = r.kind == INVK_STATIC_QUICK;
            EXPECT_EQ(s[0]->opcode, for_name ? OPC_ICONST : OPC_ACONST) << r.name;
            EXPECT_EQ(s[0]->value, for_name ? 1u : reinterpret_cast<u4>(cb)) << r.name;
            EXPECT_EQ(s[0]->op, 0) << r.name;
            EXPECT_NE(s[0]->flags_a & QA_CONSTANT, 0) << r.name;
            EXPECT_EQ(s[1]->opcode, OPC_ACONST) << r.name;
            EXPECT_EQ(s[1]->value, reinterpret_cast<u4>(cb)) << r.name;
            EXPECT_EQ(s[1]->op, 1) << r.name;
            EXPECT_EQ(s[1]->src2.value >> 16, 32u) << r.name;
            EXPECT_EQ(quad_source_pc(s[0]), -1) << r.name;
            EXPECT_EQ(s[2]->opcode, OPC_ACALL) << r.name;
            EXPECT_EQ(s[2]->subcode & QS_KIND_MASK, r.kind) << r.name;
            EXPECT_EQ(s[2]->op, 0) << r.name;
            EXPECT_EQ(reinterpret_cast<methodblock*>(s[2]->value), r.replacement) << r.name;
            EXPECT_EQ(s[2]->count, r.words) << r.name;
            EXPECT_EQ(quad_source_pc(s[2]), t.f.pc) << r.name;
            EXPECT_GE(t.f.b.temporaries, 2u) << r.name;
        }
    });
}

// Fault guarded against: the call of newInstance was rewritten before the
// replacement method was looked up; without newInstance1 the rewritten call
// had no callee.  The call must stay as it is.
TEST(InvokeTranslation, MissingReplacementLeavesTheCallAlone)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        classblock* cls = fetest::class_Class();
        methodblock* target = nullptr;
        for (u2 i = 0; i < cls->methods_count; i++)
            if (strcmp(cls->methods[i].name, "newInstance1") == 0)
                target = &cls->methods[i];
        ASSERT_NE(target, nullptr);
        const char* saved = target->name;
        target->name = "newInstanceX";
        mi_special_reset();         // forget a replacement looked up before
        ASSERT_EQ(get_newInstance1(), nullptr);
        classblock* cb = calls_class(ee, true);
        {
            option_scope opts(false);
            translated t;
            translate_method(t, cb, ee, "callNewInstance", "(Ljava/lang/Class;)Ljava/lang/Object;");
            EXPECT_EQ(t.result, 0);
            EXPECT_EQ(t.f.b.used, 0u);
            EXPECT_EQ(t.q()->opcode, OPC_ACALL);
            auto* callee = reinterpret_cast<methodblock*>(t.q()->value);
            ASSERT_NE(callee, nullptr);
            EXPECT_STREQ(callee->name, "newInstance");
            EXPECT_EQ(t.f.b.slots[1]->opcode, 0);           // the spare records are untouched
            EXPECT_EQ(quad_source_pc(t.f.b.slots[1]), t.f.pc);
        }
        target->name = saved;
        mi_special_reset();
        EXPECT_EQ(get_newInstance1(), target);
    });
}

TEST(InvokeTranslation, ResolvedForNameThroughTheConstantPool)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        classblock* cb = calls_class(ee, false);
        methodblock* mb = fetest::find_method(cb, "callForName", "()Ljava/lang/Class;");
        int pc = find_opcode(mb, BC_INVOKESTATIC);
        if (pc < 0)
            GTEST_SKIP() << "SpCalls already ran in this process";
        option_scope opts(false);
        // First meeting: the entry is resolved on the spot (a java/lang
        // class), but the call itself stays unresolved.
        {
            translated t;
            translate_method(t, cb, ee, "callForName", "()Ljava/lang/Class;");
            ASSERT_EQ(t.result, 0);
            EXPECT_EQ(t.f.b.used, 0u);
            EXPECT_NE(t.q()->subcode & QS_UNRESOLVED, 0);
            EXPECT_EQ(t.q()->subcode & QS_KIND_MASK, INVK_STATIC);
        }
        // Next time the entry is resolved: kind 1 and the replacement.
        translated t;
        translate_method(t, cb, ee, "callForName", "()Ljava/lang/Class;");
        ASSERT_EQ(t.result, 0);
        ASSERT_EQ(t.f.b.used, 2u);
        quadruple* call = t.f.b.slots[2];
        EXPECT_EQ(call->subcode & QS_KIND_MASK, INVK_STATIC);
        EXPECT_EQ(call->subcode & QS_UNRESOLVED, 0);
        EXPECT_EQ(call->op, 0);
        EXPECT_EQ(reinterpret_cast<methodblock*>(call->value), get_forName0());
    });
}

}  // namespace
