// The prescan, the loop marking of call sites, the call-graph resolution, the
// invoke kinds and the special-call recognizers, on real methods of classes
// loaded by our VM (fixtures in java/DfShapes.java) and on malformed methods
// built from them.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "df_graph.h"
#include "df_vm_env.h"
#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "inline/inline.h"
#include "inline/mi_prescan.h"

namespace {

struct option_scope {
    u4 saved[3];
    s4 threshold;
    explicit option_scope(u4 set1 = 0, u4 clear1 = 0)
    {
        saved[0] = compile_option_flag;
        saved[1] = compile_option2_flag;
        saved[2] = compile_option3_flag;
        threshold = mi_mmi_before_compile;
        compile_option_flag = (compile_option_flag | set1) & ~clear1;
    }
    ~option_scope()
    {
        compile_option_flag = saved[0];
        compile_option2_flag = saved[1];
        compile_option3_flag = saved[2];
        mi_mmi_before_compile = threshold;
    }
};

// A compile context for the method with its call graph resolved, as the
// compile driver prepares it before the front end runs.
struct prescan_run {
    method_compile_context storage;
    method_compile_context* m = nullptr;
    method_unresolved_info info;

    bool start(EE* ee, methodblock* mb)
    {
        memset(&storage, 0, sizeof storage);
        storage.mb = mb;
        m = &storage;
        initialize_method_unresolved_info(&info);
        resolve_method_call_graph(mb, &info, ee);
        if (init_method_compile_context(&m, mb, nullptr, ee) != 0)
            return false;
        m->unresolved_info = &info;
        return true;
    }
    misinfo* root() { return &m->inlining->root; }
    std::vector<mi_call_site*> sites()
    {
        std::vector<mi_call_site*> v;
        for (mi_call_site* s = root()->call_sites; s != nullptr; s = s->next)
            v.push_back(s);
        return v;
    }
    void finish()
    {
        dftest::release_context(m);
        free_method_unresolved_info(&info);
    }
};

classblock* shapes(EE* ee) { return dftest::find_class(ee, "DfShapes", false); }

methodblock* method(EE* ee, const char* cls, const char* name, const char* sig)
{
    return dftest::find_method(dftest::find_class(ee, cls, false), name, sig);
}

class Prescan : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

struct loop_case {
    const char* name;
    const char* sig;
    std::vector<bool> in_loop;      // per call site, bytecode order
};

const loop_case kLoopCases[] = {
    {"straight", "(II)I", {}},
    {"loopCall", "(I)I", {true, false}},
    {"nested", "(I)I", {false, true, true}},
    {"forward", "(I)I", {false, false}},
    {"tryCatch", "([II)I", {false}},
    {"whileLoop", "(I)I", {}},
};

} // namespace

// Call sites come in bytecode order; the ones between a backward branch's
// target and the branch are marked as in a loop, a forward branch marks
// nothing.  A method without invoke instructions is frame-traversal safe.
TEST_F(Prescan, CallSitesAndLoopMarks)
{
    option_scope opts(0, OPT1_NINLINING);
    dftest::run([&](EE* ee) {
        for (const loop_case& c : kLoopCases) {
            SCOPED_TRACE(c.name);
            methodblock* mb = dftest::find_method(shapes(ee), c.name, c.sig);
            ASSERT_NE(mb, nullptr);
            mb->jit_flags &= ~MBJ_FRAME_SAFE;
            prescan_run r;
            ASSERT_TRUE(r.start(ee, mb));
            ASSERT_EQ(prescan_bytecode(r.m, r.root(), ee), 0);
            detect_invocations_within_loop(r.root(), r.m->inlining);
            std::vector<mi_call_site*> sites = r.sites();
            ASSERT_EQ(sites.size(), c.in_loop.size());
            for (size_t i = 0; i < sites.size(); i++) {
                EXPECT_EQ((sites[i]->flags & MCS_IN_LOOP) != 0, c.in_loop[i]) << i;
                EXPECT_TRUE(sites[i]->flags & MCS_STALE_LOCATION);
                if (i > 0)
                    EXPECT_GT(sites[i]->pc, sites[i - 1]->pc);
            }
            EXPECT_EQ((mb->jit_flags & MBJ_FRAME_SAFE) != 0, c.in_loop.empty());
            EXPECT_GT(r.root()->block_count, 0u);
            EXPECT_EQ(r.root()->invoke_count, c.in_loop.size());
            const exception_entry* exc = reinterpret_cast<const exception_entry*>(mb->exception_table);
            for (u4 k = 0; k < mb->exception_table_length; k++)
                EXPECT_TRUE(mi_bit(r.root()->live_leaders, exc[k].handler_pc));
            r.finish();
        }
    });
}

// Fault guarded: under NINLINING no site is registered, which must not make a
// method with invoke instructions look frame-traversal safe.
TEST_F(Prescan, FrameSafeOnlyWithoutInvokes)
{
    option_scope opts(OPT1_NINLINING);
    dftest::run([&](EE* ee) {
        for (const char* name : {"loopCall", "straight"}) {
            methodblock* mb = dftest::find_method(shapes(ee), name, name[0] == 'l' ? "(I)I" : "(II)I");
            ASSERT_NE(mb, nullptr);
            mb->jit_flags &= ~MBJ_FRAME_SAFE;
            prescan_run r;
            ASSERT_TRUE(r.start(ee, mb));
            ASSERT_EQ(prescan_bytecode(r.m, r.root(), ee), 0);
            EXPECT_EQ(r.root()->call_sites, nullptr);
            EXPECT_EQ((mb->jit_flags & MBJ_FRAME_SAFE) != 0, name[0] == 's') << name;
            r.finish();
        }
    });
}

namespace {

struct malformed_case {
    const char* what;
    std::vector<u1> code;
    u2 max_locals;
    bool rejected;
    s4 handler_pc = -1;         // one catch-all entry with this handler
};

// Constant-pool indexes of a kind in the class's pool (0 when none).
u4 pool_index(classblock* cb, u1 tag)
{
    const u1* tags = reinterpret_cast<const u1*>(cb->constantpool[0]);
    for (u4 i = 1; i < cb->constantpool_count; i++)
        if ((tags[i] & CONSTANT_TAG_MASK) == tag)
            return i;
    return 0;
}

} // namespace

// Fault guarded: every local index at or above max_locals (max_locals - 1
// for long and double) is refused, whatever the local count; and the other
// malformed shapes: bad constant-pool indexes and kinds, branches and
// handlers outside the code, no constant pool.
TEST_F(Prescan, MalformedMethodsAreRejected)
{
    option_scope opts(0, OPT1_NINLINING);
    dftest::run([&](EE* ee) {
        classblock* cb = shapes(ee);
        ASSERT_NE(cb, nullptr);
        u4 method_ref = pool_index(cb, CONSTANT_Methodref);
        u4 field_ref = pool_index(cb, CONSTANT_Fieldref);
        u4 string = pool_index(cb, CONSTANT_String);
        ASSERT_NE(method_ref * field_ref * string, 0u);
        auto hi = [](u4 i) { return static_cast<u1>(i >> 8); };
        auto lo = [](u4 i) { return static_cast<u1>(i); };
        std::vector<malformed_case> cases = {
            {"iload_0 without locals", {0x1a, 0xac}, 0, true},
            {"iload 4 of 4", {0x15, 4, 0xac}, 4, true},
            {"iload 4 of 5", {0x15, 4, 0xac}, 5, false},
            {"lload 3 of 4", {0x16, 3, 0x88, 0xac}, 4, true},
            {"lload 3 of 5", {0x16, 3, 0x88, 0xac}, 5, false},
            {"dstore_3 of 4", {0x0e, 0x4a, 0xb1}, 4, true},
            {"dstore_3 of 5", {0x0e, 0x4a, 0xb1}, 5, false},
            {"wide iload 300 of 300", {0xc4, 0x15, 0x01, 0x2c, 0xac}, 300, true},
            {"wide iload 300 of 301", {0xc4, 0x15, 0x01, 0x2c, 0xac}, 301, false},
            {"iinc 7 of 7", {0x84, 7, 1, 0xb1}, 7, true},
            {"goto outside", {0xa7, 0x00, 0x64}, 1, true},
            {"fall-through past the end", {0x03, 0x99, 0x00, 0x03}, 1, true},
            {"ldc 0", {0x12, 0, 0xb0}, 1, true},
            {"ldc past the pool", {0x13, 0xff, 0xff, 0xb0}, 1, true},
            {"ldc of a method reference", {0x13, hi(method_ref), lo(method_ref), 0xb0}, 1, true},
            {"ldc of a string", {0x13, hi(string), lo(string), 0xb0}, 1, false},
            {"invokestatic of a field", {0xb8, hi(field_ref), lo(field_ref), 0xb1}, 1, true},
            {"getstatic of a method", {0xb2, hi(method_ref), lo(method_ref), 0xb1}, 1, true},
            {"handler past the end", {0xb1}, 1, true, 5},
        };
        for (malformed_case& c : cases) {
            SCOPED_TRACE(c.what);
            // Code is 4-aligned and padded with zero bytes, as the VM keeps it.
            std::vector<u4> words((c.code.size() + 8) / 4, 0);
            memcpy(words.data(), c.code.data(), c.code.size());
            exception_entry entry{};
            methodblock mb{};
            mb.clazz = cb;
            mb.name = "malformed";
            mb.signature = "()V";
            mb.access = ACC_STATIC;
            mb.code = reinterpret_cast<u1*>(words.data());
            mb.code_length = static_cast<u4>(c.code.size());
            mb.nlocals = c.max_locals;
            if (c.handler_pc >= 0) {
                entry.end_pc = 1;
                entry.handler_pc = static_cast<u2>(c.handler_pc);
                mb.exception_table = reinterpret_cast<u2*>(&entry);
                mb.exception_table_length = 1;
            }
            prescan_run r;
            ASSERT_TRUE(r.start(ee, &mb));
            EXPECT_EQ(prescan_bytecode(r.m, r.root(), ee), c.rejected ? 1 : 0);
            EXPECT_EQ((mb.jit_flags & MBJ_PRESCAN_REJECTED) != 0, c.rejected);
            r.finish();
        }
        // A class without a constant pool.
        classblock bare{};
        bare.name = "Bare";
        u4 code[2] = {0xb1, 0};
        methodblock mb{};
        mb.clazz = &bare;
        mb.name = "m";
        mb.signature = "()V";
        mb.code = reinterpret_cast<u1*>(code);
        mb.code_length = 1;
        prescan_run r;
        memset(&r.storage, 0, sizeof r.storage);
        r.storage.mb = &mb;
        r.m = &r.storage;
        ASSERT_EQ(init_method_compile_context(&r.m, &mb, nullptr, ee), 0);
        EXPECT_EQ(prescan_bytecode(r.m, r.root(), ee), 1);
        EXPECT_TRUE(mb.jit_flags & MBJ_PRESCAN_REJECTED);
        dftest::release_context(r.m);
    });
}

namespace {

struct kind_case {
    const char* cls;
    const char* name;
    const char* sig;
    std::vector<int> before;        // kinds of the sites, bytecode order, unquickened
    std::vector<int> after;         // once the interpreter has quickened them
};

// area() virtual, fin() final, priv() private, stat() static, s.area()
// interface, o.hashCode() a method of java/lang/Object; super.area().
const kind_case kKindCases[] = {
    {"DfBase", "callAll", "(LDfShape;Ljava/lang/Object;)I",
     {MI_KIND_VIRTUAL, MI_KIND_NONVIRTUAL, MI_KIND_NONVIRTUAL, MI_KIND_STATIC, MI_KIND_INTERFACE_RESOLVED,
      MI_KIND_OBJECT},
     {MI_KIND_VIRTUAL_QUICK, MI_KIND_NONVIRTUAL, MI_KIND_NONVIRTUAL, MI_KIND_STATIC_QUICK,
      MI_KIND_INTERFACE_RESOLVED, MI_KIND_OBJECT}},
    // The selection finds the instruction's own target: kind 4 until the
    // interpreter quickens it into invokesuper_quick.
    {"DfDerived", "area", "()I", {MI_KIND_NONVIRTUAL}, {MI_KIND_SUPER}},
};

std::vector<int> site_kinds(prescan_run& r)
{
    std::vector<int> v;
    for (mi_call_site* s : r.sites())
        v.push_back(static_cast<int>(s->flags & MCS_KIND_MASK));
    return v;
}

} // namespace

// Invoke kinds for real targets: the call-graph walk resolves the entries, the
// prescan registers each site with its kind; the interpreter's quick forms
// give the kinds of their own rows.
TEST_F(Prescan, InvokeKindsOfRealTargets)
{
    option_scope opts(0, OPT1_NINLINING);
    dftest::run([&](EE* ee) {
        for (int pass = 0; pass < 2; pass++) {
            if (pass == 1) {
                methodblock* drive = dftest::find_method(shapes(ee), "drive", "()I");
                ASSERT_NE(drive, nullptr);
                ASSERT_TRUE(dftest::call_static(ee, drive, nullptr, 0));
            }
            for (const kind_case& c : kKindCases) {
                SCOPED_TRACE(std::string(c.cls) + "." + c.name + (pass ? " quickened" : ""));
                methodblock* mb = method(ee, c.cls, c.name, c.sig);
                ASSERT_NE(mb, nullptr);
                u4 transition = ee->transition;
                prescan_run r;
                ASSERT_TRUE(r.start(ee, mb));
                EXPECT_EQ(ee->transition, transition);
                ASSERT_EQ(prescan_bytecode(r.m, r.root(), ee), 0);
                EXPECT_EQ(site_kinds(r), pass ? c.after : c.before);
                for (mi_call_site* s : r.sites())
                    EXPECT_TRUE(s->flags & MCS_RESOLVED);
                r.finish();
            }
        }
        // A super call naming java/lang/Object's toString from DfDerived selects
        // DfBase's override and reports the named method's slot.
        methodblock* derived = method(ee, "DfDerived", "area", "()I");
        methodblock* object_to_string = method(ee, "java/lang/Object", "toString", "()Ljava/lang/String;");
        methodblock* base_to_string = method(ee, "DfBase", "toString", "()Ljava/lang/String;");
        ASSERT_NE(object_to_string, nullptr);
        methodblock* target = object_to_string;
        u4 slot = 0;
        int resolved = 1;
        EXPECT_EQ(resolve_a_method(BC_INVOKESPECIAL_, &resolved, derived, &target, &slot), MI_KIND_SUPER);
        EXPECT_EQ(target, base_to_string);
        EXPECT_EQ(slot, object_to_string->slot);
        // A static target named by invokevirtual is dropped.
        methodblock* stat = method(ee, "DfBase", "stat", "()I");
        target = stat;
        resolved = 1;
        EXPECT_EQ(resolve_a_method(BC_INVOKEVIRTUAL_, &resolved, derived, &target, &slot), MI_KIND_VIRTUAL);
        EXPECT_EQ(target, nullptr);
        EXPECT_EQ(resolved, 0);
        target = stat;
        resolved = 1;
        EXPECT_EQ(resolve_a_method(BC_INVOKEINTERFACE_, &resolved, derived, &target, &slot), MI_KIND_INTERFACE);
    });
}

// The registration's verdicts on some real callees.
TEST_F(Prescan, SiteVerdicts)
{
    option_scope opts(0, OPT1_NINLINING);
    dftest::run([&](EE* ee) {
        auto sites_of = [&](const char* name, const char* sig, prescan_run& r) {
            methodblock* mb = dftest::find_method(shapes(ee), name, sig);
            EXPECT_TRUE(r.start(ee, mb));
            EXPECT_EQ(prescan_bytecode(r.m, r.root(), ee), 0);
            return r.sites();
        };
        {
            // Any "indexOf" of java/lang/String is never inlined.
            prescan_run r;
            auto s = sites_of("indexOfCall", "(Ljava/lang/String;)I", r);
            ASSERT_EQ(s.size(), 1u);
            EXPECT_FALSE(s[0]->flags & MCS_ANALYSE);
            EXPECT_TRUE(static_cast<methodblock*>(s[0]->target)->jit_flags & MBJ_NOT_INLINABLE);
            r.finish();
        }
        {
            // A class name longer than 18 characters ending in "Exception".
            prescan_run r;
            auto s = sites_of("exceptionNames", "()I", r);
            ASSERT_EQ(s.size(), 2u);
            EXPECT_FALSE(s[0]->flags & (MCS_CANDIDATE | MCS_ANALYSE));
            EXPECT_TRUE(s[1]->flags & MCS_CANDIDATE);
            r.finish();
        }
        {
            prescan_run r;
            auto s = sites_of("tail", "(I)I", r);
            ASSERT_EQ(s.size(), 1u);
            EXPECT_TRUE(s[0]->flags & MCS_TAIL);
            r.finish();
        }
        {
            prescan_run r;
            auto s = sites_of("selfRec", "(I)I", r);
            ASSERT_EQ(s.size(), 1u);
            EXPECT_TRUE(s[0]->flags & MCS_SELF_RECURSIVE);
            EXPECT_TRUE(r.m->mb->jit_flags & MBJ_RECURSIVE);
            r.finish();
        }
        // A call the interpreter never executed keeps its candidacy only for a
        // small callee, unless the threshold is 0.
        for (s4 threshold : {2000, 0}) {
            mi_mmi_before_compile = threshold;
            prescan_run r;
            auto s = sites_of("callsBig", "(I)I", r);
            ASSERT_EQ(s.size(), 1u);
            EXPECT_EQ((s[0]->flags & MCS_CANDIDATE) != 0, threshold == 0) << threshold;
            r.finish();
        }
    });
}

// java/lang/Math functions become arithmetic quadruples (not under NPSEUDOOP,
// not tan); getCallerClassLoader becomes the caller's loader; the unresolved
// Integer constructor is marked.
TEST_F(Prescan, SpecialLibraryCalls)
{
    dftest::run([&](EE* ee) {
        quadruple q{};
        quadruple* slot = &q;
        methodblock* abs_i = method(ee, "java/lang/Math", "abs", "(I)I");
        methodblock* pow = method(ee, "java/lang/Math", "pow", "(DD)D");
        methodblock* tan = method(ee, "java/lang/Math", "tan", "(D)D");
        ASSERT_NE(abs_i, nullptr);
        ASSERT_NE(pow, nullptr);
        q.opcode = OPC_ICALL;
        EXPECT_EQ(is_specific_native_invocation(&slot, abs_i, nullptr, nullptr, nullptr, nullptr), 1);
        EXPECT_EQ(q.opcode, OPC_IOP1);
        EXPECT_EQ(q.op, 23);
        EXPECT_EQ(q.target, 0xFFFFFFFFu);
        q.opcode = OPC_DCALL;
        EXPECT_EQ(is_specific_native_invocation(&slot, pow, nullptr, nullptr, nullptr, nullptr), 1);
        EXPECT_EQ(q.opcode, OPC_DOP2);
        EXPECT_EQ(q.op, 11);
        if (tan != nullptr) {
            q.opcode = OPC_DCALL;
            EXPECT_EQ(is_specific_native_invocation(&slot, tan, nullptr, nullptr, nullptr, nullptr), 0);
            EXPECT_EQ(q.opcode, OPC_DCALL);
        }
        q.opcode = OPC_DCALL;
        EXPECT_EQ(is_specific_native_invocation(&slot, nullptr, nullptr, "java/lang/Math", "sqrt", "(D)D"), 1);
        EXPECT_EQ(q.op, 33);
        {
            option_scope opts(OPT1_NPSEUDOOP);
            q.opcode = OPC_ICALL;
            EXPECT_EQ(is_specific_native_invocation(&slot, abs_i, nullptr, nullptr, nullptr, nullptr), 0);
            EXPECT_EQ(q.opcode, OPC_ICALL);
            methodblock* loader = method(ee, "java/lang/ClassLoader", "getCallerClassLoader", "()Ljava/lang/ClassLoader;");
            ASSERT_NE(loader, nullptr);
            u4 loader_word = 0x1234;
            q.opcode = OPC_ACALL;
            EXPECT_EQ(is_specific_native_invocation(&slot, loader, &loader_word, nullptr, nullptr, nullptr), 1);
            EXPECT_EQ(q.opcode, OPC_ACONST);
            EXPECT_EQ(q.value, 0x1234u);
            EXPECT_EQ(q.opcount & QC_SRC_MASK, 1);
            EXPECT_EQ(q.result.kind, 0x20);
        }
        q.subcode = 0;
        check_unresolved_method_invocation(&slot, "java/lang/Integer", "<init>", "(I)V");
        EXPECT_TRUE(q.subcode & QS_INTEGER_INIT);
        q.subcode = 0;
        check_unresolved_method_invocation(&slot, "java/lang/Integer", "<init>", "(Ljava/lang/String;)V");
        EXPECT_FALSE(q.subcode & QS_INTEGER_INIT);
        methodblock* for_name = method(ee, "java/lang/Class", "forName", "(Ljava/lang/String;)Ljava/lang/Class;");
        ASSERT_NE(for_name, nullptr);
        EXPECT_EQ(is_forName(for_name), 1);
        EXPECT_EQ(is_newIncetance(for_name), 0);
        ASSERT_NE(get_forName0(), nullptr);
        EXPECT_STREQ(get_forName0()->name, "forName0");
        ASSERT_NE(get_newInstance1(), nullptr);
        EXPECT_STREQ(get_newInstance1()->name, "newInstance1");
    });
}

// The argument analysis's operand routines and the quadruple generator's
// table loads.
TEST_F(Prescan, OperandRoutines)
{
    struct xconst_row {
        std::vector<u1> code;
        u1 opcode;
        s4 value;
    };
    const xconst_row rows[] = {
        {{0x01}, OPC_ACONST, 0},  {{0x02}, OPC_ICONST, -1}, {{0x08}, OPC_ICONST, 5},   {{0x09}, OPC_LCONST, 0},
        {{0x0a}, OPC_LCONST, -1}, {{0x0d}, OPC_FCONST, -2}, {{0x0f}, OPC_DCONST, -1},  {{0x10, 0xf0}, OPC_ICONST, -16},
        {{0x11, 0x80, 0x00}, OPC_ICONST, -32768}, {{0x15, 3}, OPC_ICONST, -1},
    };
    dftest::run([&](EE* ee) {
        method_compile_context storage;
        memset(&storage, 0, sizeof storage);
        methodblock* mb = dftest::find_method(shapes(ee), "leaf", "(I)I");
        storage.mb = mb;
        method_compile_context* m = &storage;
        ASSERT_EQ(init_method_compile_context(&m, mb, nullptr, ee), 0);
        for (const xconst_row& r : rows) {
            quadruple* q = nullptr;
            EXPECT_EQ(generate_xconst_from_bytecode(&q, r.code.data(), m), 0);
            ASSERT_NE(q, nullptr);
            EXPECT_EQ(q->opcode, r.opcode) << int(r.code[0]);
            EXPECT_EQ(static_cast<s4>(q->value), r.value) << int(r.code[0]);
            EXPECT_EQ((q->subcode & 0x20) != 0, r.opcode == OPC_LCONST);
        }
        const u1 iload[] = {0x15, 7}, aload_2[] = {0x2c}, wide[] = {0xc4, 0x19, 0x01, 0x00}, iadd[] = {0x60};
        EXPECT_EQ(get_xload_index(iload), 7);
        EXPECT_EQ(get_xload_index(aload_2), 2);
        EXPECT_EQ(get_xload_index(wide), 256);
        EXPECT_EQ(get_xload_index(iadd), -1);
        u4 table[3] = {11, 22, 33};
        quadruple q{};
        quadruple* slot = &q;
        store_table_word_in_record(m, &slot, table, 2);
        EXPECT_EQ(q.aux, 33u);
        store_table_word_or_vm_default_in_record(m, &slot, table, 0);
        EXPECT_EQ(q.aux, reinterpret_cast<u4>(orva_class(orva_classJavaLangString)));
        q.aux = 0;
        q.subcode |= QS_UNRESOLVED;
        store_table_word_in_record(m, &slot, table, 1);
        EXPECT_EQ(q.aux, 0u);
        dftest::release_context(m);
    });
}

// Fault guarded: a try range that begins or ends inside a straight run of
// code must still start and end on block boundaries; otherwise the catch
// frames (blocks from the start block up to the end block) leave out the
// covered code and a compiled method does not catch its own exception.
TEST_F(Prescan, TryRangeBoundariesStartBlocks)
{
    dftest::run([&](EE* ee) {
        for (const char* name : {"nestedTry", "tryCatch"}) {
            SCOPED_TRACE(name);
            methodblock* mb = dftest::find_method(shapes(ee), name, "([II)I");
            ASSERT_NE(mb, nullptr);
            ASSERT_GT(mb->exception_table_length, 0u);
            prescan_run r;
            ASSERT_TRUE(r.start(ee, mb));
            ASSERT_EQ(prescan_bytecode(r.m, r.root(), ee), 0);
            const exception_entry* exc = reinterpret_cast<const exception_entry*>(mb->exception_table);
            bool mid_block_start = false;
            for (u4 k = 0; k < mb->exception_table_length; k++) {
                EXPECT_TRUE(mi_bit(r.root()->live_leaders, exc[k].start_pc)) << "entry " << k;
                if (exc[k].end_pc < mb->code_length)
                    EXPECT_TRUE(mi_bit(r.root()->leaders, exc[k].end_pc)) << "entry " << k;
                mid_block_start |= exc[k].start_pc != 0;
            }
            if (name[0] == 'n')
                EXPECT_TRUE(mid_block_start);   // the fixture still shows the fault
            r.finish();
        }
    });
}
