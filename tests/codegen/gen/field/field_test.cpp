// Field and static access, executed: objects laid out as the VM lays them
// (method table, header word, then the fields from object + 8; byte, char,
// short and boolean fields in 4-byte slots), 32-bit statics in the field
// block's value word, long and double statics through the pointer it holds.
// Resolved accesses are generated from a known field block; unresolved ones
// emit a resolution site whose stub reaches the real resolve stub and
// resolver, which rewrite the site; the second run takes the rewritten site.
#include <gtest/gtest.h>

#include <cstring>

#include "regman/reg_test_util.h"
#include "codegen/gen/gen_arith.h"
#include "codegen/glue/gen_resolve.h"

extern int field_fake_resolutions;

namespace {

constexpr int NLOCALS = 8;

struct obj_t {
    u4 mt;
    u4 header;
    u4 f[12];   // field data: offset k*4 is f[k]
};

struct run {
    rm_fixture f;
    quadruple q;
    quadruple* qp;
    cg_operands o;
    machine in;
    fieldblock fb;
    classblock cls;
    methodblock accessing;
    u4 cp[8];
    u4 static_wide[2];

    void setup(int opcode, const char* sig, u4 offset_or_value)
    {
        rm_setup(&f, 4, NLOCALS);
        std::memset(&q, 0, sizeof q);
        q.opcode = (u1)opcode;
        qp = &q;
        std::memset(&o, 0, sizeof o);
        for (auto& r : o.r) r = CG_EMPTY_OPERAND;
        for (auto& r : o.x) r = CG_EMPTY_OPERAND;
        in = {};
        for (int r = 0; r < 7; r++)
            in.reg[r] = 0xDEAD0000u + (u4)r;
        std::memset(&fb, 0, sizeof fb);
        fb.signature = sig;
        fb.name = "f";
        fb.value = offset_or_value;
        fb.clazz = &cls;
        std::memset(&cls, 0, sizeof cls);
        cls.name = "T";
        cls.state = CS_INITIALIZED;
        cls.constantpool = cp;
        std::memset(&accessing, 0, sizeof accessing);
        accessing.clazz = &cls;
        std::memset(cp, 0, sizeof cp);
    }
    void resolved() { q.aux = (u4)(uintptr_t)&fb; }
    // An unresolved reference to constant-pool entry 3 (the resolver finds fb there).
    void unresolved(bool is_static)
    {
        cp[3] = (u4)(uintptr_t)&fb;
        if (is_static)
            q.op = 3;
        else
            q.target = 3;
        q.context = (u4)(uintptr_t)&accessing;
        if (is_static)
            fb.access = ACC_STATIC;
    }
    void set_local(int l, u4 v) { in.frame[frame_word_of_local(l)] = v; }
    machine go(int fp_out = 0)
    {
        _flush_all_int_regs(&f.cg, 0);
        machine out;
        rm_run(&f, in, &out, fp_out);
        return out;
    }
    // Stubs after the body (leaving room for the harness epilogue), then runs twice.
    machine go_twice(int* resolutions_first, int* resolutions_second, int fp_out = 0)
    {
        _flush_all_int_regs(&f.cg, 0);
        u1* body_end = f.cg.code;
        f.cg.code = body_end + 256;
        gen_call_runtime_resolver(&f.cg);
        f.cg.code = body_end;
        machine out;
        int before = field_fake_resolutions;
        rm_run(&f, in, &out, fp_out);
        *resolutions_first = field_fake_resolutions - before;
        machine out2;
        rm_run(&f, in, &out2, fp_out);
        *resolutions_second = field_fake_resolutions - before - *resolutions_first;
        return out2;
    }
};

run t;

obj_t make_obj()
{
    obj_t o{};
    o.mt = 0x11111111;
    o.header = 0x22222222;
    o.f[0] = 0x12345678;            // int
    o.f[1] = (u4)(s4)(int8_t)-5;    // byte, sign-extended in its slot
    o.f[2] = 0xFFFF;                // char
    o.f[3] = (u4)(s4)(int16_t)-300; // short
    o.f[4] = 0xCAFE0000;            // reference
    o.f[5] = 0x89ABCDEF;            // long low
    o.f[6] = 0x01234567;            // long high
    float fl = -2.5f;
    std::memcpy(&o.f[7], &fl, 4);
    double d = 1.0 / 3.0;
    std::memcpy(&o.f[8], &d, 8);
    return o;
}

struct width_case {
    int opcode;
    const char* sig;
    u4 offset;
};
const width_case INT_WIDTHS[] = {
    {60, "I", 0}, {60, "B", 4}, {60, "C", 8}, {60, "S", 12}, {64, "Ljava/lang/Object;", 16}, {60, "Z", 4},
};

}  // namespace

TEST(FieldAccess, ResolvedGetfieldOfEveryIntWidth)
{
    for (const auto& c : INT_WIDTHS) {
        obj_t obj = make_obj();
        t.setup(c.opcode, c.sig, c.offset);
        t.resolved();
        t.o.r[0] = local_op(0);
        t.o.r[2] = local_op(1);
        t.set_local(1, (u4)(uintptr_t)&obj);
        ASSERT_EQ(gen_igetfield(&t.f.cg, &t.qp, &t.o), 0);
        machine out = t.go();
        EXPECT_EQ(out.frame[0], obj.f[c.offset / 4]) << c.sig;
    }
}

TEST(FieldAccess, ResolvedPutfieldOfEveryIntWidthRegisterAndConstant)
{
    for (const auto& c : INT_WIDTHS)
        for (bool constant : {false, true}) {
            obj_t obj = make_obj();
            obj_t before = obj;
            u4 value = 0xA5A50000u + c.offset;
            t.setup(c.opcode + 5, c.sig, c.offset);
            t.resolved();
            t.o.r[2] = local_op(1);
            t.o.r[4] = constant ? const_op((s4)value) : local_op(2);
            t.set_local(1, (u4)(uintptr_t)&obj);
            t.set_local(2, value);
            ASSERT_EQ(gen_iputfield(&t.f.cg, &t.qp, &t.o), 0);
            t.go();
            before.f[c.offset / 4] = value;
            EXPECT_EQ(std::memcmp(&obj, &before, sizeof obj), 0) << c.sig << " constant " << constant;
        }
}

TEST(FieldAccess, ResolvedLongGetAndPut)
{
    obj_t obj = make_obj();
    t.setup(61, "J", 20);
    t.resolved();
    t.o.r[2] = local_op(2);
    t.o.x[0] = local_op(0);
    t.o.x[1] = local_op(1);
    t.set_local(2, (u4)(uintptr_t)&obj);
    ASSERT_EQ(gen_lgetfield(&t.f.cg, &t.qp, &t.o), 0);
    machine out = t.go();
    EXPECT_EQ(out.frame[0], 0x89ABCDEFu);
    EXPECT_EQ(out.frame[1], 0x01234567u);

    // Stores: registers, two constants, and a low word with no high half (widened).
    struct { bool lo_const; bool has_hi; u4 lo, hi, want_hi; } cases[] = {
        {false, true, 0x11112222, 0x33334444, 0x33334444},
        {true, true, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
        {false, false, 0x80000001, 0, 0xFFFFFFFF},
        {false, false, 0x7FFFFFFF, 0, 0},
    };
    for (const auto& c : cases) {
        obj_t o2 = make_obj();
        t.setup(66, "J", 20);
        t.resolved();
        t.o.r[2] = local_op(2);
        t.o.x[4] = c.lo_const ? const_op((s4)c.lo) : local_op(0);
        t.o.x[5] = !c.has_hi ? CG_EMPTY_OPERAND : c.lo_const ? const_op((s4)c.hi) : local_op(1);
        t.set_local(0, c.lo);
        t.set_local(1, c.hi);
        t.set_local(2, (u4)(uintptr_t)&o2);
        ASSERT_EQ(gen_lputfield(&t.f.cg, &t.qp, &t.o), 0);
        t.go();
        EXPECT_EQ(o2.f[5], c.lo);
        EXPECT_EQ(o2.f[6], c.want_hi);
        EXPECT_EQ(o2.f[4], 0xCAFE0000u);   // neighbours untouched
        EXPECT_EQ(o2.f[7], make_obj().f[7]);
    }
}

TEST(FieldAccess, ResolvedFloatAndDoubleGetfieldAndFloatPutfield)
{
    obj_t obj = make_obj();
    for (int opcode : {62, 63}) {
        t.setup(opcode, opcode == 62 ? "F" : "D", opcode == 62 ? 28 : 32);
        t.resolved();
        t.o.r[2] = local_op(1);
        t.o.x[0] = stack_op(0, 0, opcode == 62 ? 'F' : 'D');
        t.set_local(1, (u4)(uintptr_t)&obj);
        ASSERT_EQ(gen_fgetfield(&t.f.cg, &t.qp, &t.o), 0);
        machine out = t.go(1);
        ASSERT_EQ(out.fp.size(), 1u);
        EXPECT_EQ(out.fp[0], opcode == 62 ? -2.5 : 1.0 / 3.0);
    }
    t.setup(67, "F", 28);
    t.resolved();
    t.o.r[2] = local_op(1);
    t.o.x[4] = local_op(2, 'F');
    t.set_local(1, (u4)(uintptr_t)&obj);
    t.set_local(2, float_bits(7.75f));
    ASSERT_EQ(gen_fputfield(&t.f.cg, &t.qp, &t.o), 0);
    t.go();
    float got;
    std::memcpy(&got, &obj.f[7], 4);
    EXPECT_EQ(got, 7.75f);
}

TEST(FieldAccess, ResolvedStatics)
{
    // 32-bit: the value word of the field block.
    t.setup(70, "I", 0x13572468);
    t.resolved();
    t.o.r[0] = local_op(0);
    ASSERT_EQ(gen_igetstatic(&t.f.cg, &t.qp, &t.o), 0);
    EXPECT_EQ(t.go().frame[0], 0x13572468u);

    t.setup(75, "S", 0);
    t.resolved();
    t.o.r[2] = const_op(-300);
    ASSERT_EQ(gen_iputstatic(&t.f.cg, &t.qp, &t.o), 0);
    t.go();
    EXPECT_EQ(t.fb.value, (u4)-300);

    // long and double: through the pointer.
    u4 wide[2] = {0xAAAABBBB, 0xCCCCDDDD};
    t.setup(71, "J", (u4)(uintptr_t)wide);
    t.resolved();
    t.o.r[0] = local_op(0);
    t.o.r[1] = local_op(1);
    ASSERT_EQ(gen_lgetstatic(&t.f.cg, &t.qp, &t.o), 0);
    machine out = t.go();
    EXPECT_EQ(out.frame[0], 0xAAAABBBBu);
    EXPECT_EQ(out.frame[1], 0xCCCCDDDDu);

    t.setup(76, "J", (u4)(uintptr_t)wide);
    t.resolved();
    t.o.r[2] = const_op(-1);
    t.o.r[3] = const_op(-1);
    ASSERT_EQ(gen_lputstatic(&t.f.cg, &t.qp, &t.o), 0);
    t.go();
    EXPECT_EQ(wide[0], 0xFFFFFFFFu);
    EXPECT_EQ(wide[1], 0xFFFFFFFFu);

    double dv = -6.25;
    t.setup(73, "D", (u4)(uintptr_t)&dv);
    t.resolved();
    t.o.r[0] = stack_op(0, 0, 'D');
    ASSERT_EQ(gen_fgetstatic(&t.f.cg, &t.qp, &t.o), 0);
    out = t.go(1);
    ASSERT_EQ(out.fp.size(), 1u);
    EXPECT_EQ(out.fp[0], -6.25);
}

TEST(FieldAccess, UnusedGetfieldOfNonNullObjectEmitsNothing)
{
    t.setup(60, "I", 0);
    t.resolved();
    t.q.flags_b = 0xF0;
    t.o.r[2] = local_op(1);
    u1* before = t.f.cg.code;
    ASSERT_EQ(gen_igetfield(&t.f.cg, &t.qp, &t.o), 0);
    EXPECT_EQ(t.f.cg.code, before);
}

// ---------------------------------------------------------------------------
// Unresolved sites through the resolve stubs
// ---------------------------------------------------------------------------
TEST(FieldResolve, GetfieldSiteIsRewrittenAndRunsDirectlyAfterwards)
{
    for (const auto& c : INT_WIDTHS) {
        obj_t obj = make_obj();
        t.setup(c.opcode, c.sig, c.offset);
        t.unresolved(false);
        t.o.r[0] = local_op(0);
        t.o.r[2] = local_op(1);
        t.set_local(1, (u4)(uintptr_t)&obj);
        ASSERT_EQ(gen_resolve_igetfield(&t.f.cg, &t.qp, &t.o), 0);
        u1* site = resolve_anchor_list(&t.f.m)->site_end - 5;
        EXPECT_EQ(site[0], 0xE8);
        EXPECT_EQ(t.f.cg.code - site, 6);
        int first, second;
        machine out = t.go_twice(&first, &second);
        EXPECT_EQ(first, 1) << c.sig;
        EXPECT_EQ(second, 0) << c.sig;
        EXPECT_EQ(out.frame[0], obj.f[c.offset / 4]) << c.sig;
        EXPECT_EQ(site[0], 0x8B);   // mov reg, [base + disp32]
        u4 disp;
        std::memcpy(&disp, site + 2, 4);
        EXPECT_EQ(disp, OBJ_HEADER_SIZE + c.offset);
    }
}

TEST(FieldResolve, PutfieldOfRegisterAndLongConstantSites)
{
    obj_t obj = make_obj();
    t.setup(65, "I", 12);
    t.unresolved(false);
    t.o.r[2] = local_op(1);
    t.o.r[4] = local_op(2);
    t.set_local(1, (u4)(uintptr_t)&obj);
    t.set_local(2, 0x5555AAAA);
    ASSERT_EQ(gen_resolve_iputfield(&t.f.cg, &t.qp, &t.o), 0);
    int first, second;
    t.go_twice(&first, &second);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(obj.f[3], 0x5555AAAAu);

    obj_t o2 = make_obj();
    t.setup(66, "J", 20);
    t.unresolved(false);
    t.o.r[2] = local_op(1);
    t.o.x[4] = const_op(-1);
    t.o.x[5] = const_op(-1);
    t.set_local(1, (u4)(uintptr_t)&o2);
    ASSERT_EQ(gen_resolve_lputfield(&t.f.cg, &t.qp, &t.o), 0);
    u1* site = resolve_anchor_list(&t.f.m)->site_end - 5;
    EXPECT_EQ(t.f.cg.code - site, 20);   // call + 15 NOPs: two 10-byte stores
    t.go_twice(&first, &second);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(o2.f[5], 0xFFFFFFFFu);
    EXPECT_EQ(o2.f[6], 0xFFFFFFFFu);
    EXPECT_EQ(o2.f[7], make_obj().f[7]);
}

TEST(FieldResolve, StaticSites)
{
    t.setup(70, "I", 0x24681357);
    t.unresolved(true);
    t.o.r[0] = local_op(0);
    ASSERT_EQ(gen_resolve_igetstatic(&t.f.cg, &t.qp, &t.o), 0);
    int first, second;
    machine out = t.go_twice(&first, &second);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(out.frame[0], 0x24681357u);

    u4 wide[2] = {0x01020304, 0x05060708};
    t.setup(71, "J", (u4)(uintptr_t)wide);
    t.unresolved(true);
    t.o.r[0] = local_op(0);
    t.o.r[1] = local_op(1);
    ASSERT_EQ(gen_resolve_lgetstatic(&t.f.cg, &t.qp, &t.o), 0);
    out = t.go_twice(&first, &second);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(out.frame[0], 0x01020304u);
    EXPECT_EQ(out.frame[1], 0x05060708u);

    t.setup(75, "I", 0);
    t.unresolved(true);
    t.o.r[2] = const_op(-77);
    ASSERT_EQ(gen_resolve_iputstatic(&t.f.cg, &t.qp, &t.o), 0);
    u1* site = resolve_anchor_list(&t.f.m)->site_end - 5;
    EXPECT_EQ(t.f.cg.code - site, 10);
    t.go_twice(&first, &second);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(t.fb.value, (u4)-77);
}

TEST(FieldResolve, EqualSitesShareOneStub)
{
    obj_t obj = make_obj();
    t.setup(60, "I", 0);
    t.unresolved(false);
    t.o.r[0] = local_op(0);
    t.o.r[2] = local_op(1);
    t.set_local(1, (u4)(uintptr_t)&obj);
    ASSERT_EQ(gen_resolve_igetfield(&t.f.cg, &t.qp, &t.o), 0);
    _flush_all_int_regs(&t.f.cg, 0);
    ASSERT_EQ(gen_resolve_igetfield(&t.f.cg, &t.qp, &t.o), 0);
    resolve_backpatch_anchor* a = resolve_anchor_list(&t.f.m);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a->next, nullptr);
    bool same = same_resolve_backpatch_anchor(a, a->next);
    u1* s1 = a->next->site_end;
    u1* s2 = a->site_end;
    int first, second;
    machine out = t.go_twice(&first, &second);
    EXPECT_EQ(out.frame[0], 0x12345678u);
    EXPECT_TRUE(same);
    EXPECT_EQ(first, 2);   // one stub, each site resolved on its own first run
    EXPECT_EQ(s1[-5], 0x8B);
    EXPECT_EQ(s2[-5], 0x8B);
}

TEST(FieldResolve, SharedStubIsCalledByBothSites)
{
    t.setup(60, "I", 0);
    t.unresolved(false);
    t.o.r[0] = local_op(0);
    t.o.r[2] = local_op(1);
    ASSERT_EQ(gen_resolve_igetfield(&t.f.cg, &t.qp, &t.o), 0);
    _flush_all_int_regs(&t.f.cg, 0);
    ASSERT_EQ(gen_resolve_igetfield(&t.f.cg, &t.qp, &t.o), 0);
    _flush_all_int_regs(&t.f.cg, 0);
    resolve_backpatch_anchor* a = resolve_anchor_list(&t.f.m);
    u1* e1 = a->next->site_end;
    u1* e2 = a->site_end;
    u1* body_end = t.f.cg.code;
    t.f.cg.code = body_end + 256;
    gen_call_runtime_resolver(&t.f.cg);
    u4 d1, d2;
    std::memcpy(&d1, e1 - 4, 4);
    std::memcpy(&d2, e2 - 4, 4);
    EXPECT_EQ(e1 + (s4)d1, e2 + (s4)d2);   // the same stub
    EXPECT_EQ(e1 + (s4)d1, body_end + 256);
    EXPECT_EQ(resolve_anchor_list(&t.f.m)->next, nullptr);   // the second anchor was merged
}

TEST(FieldResolve, LongGetfieldWithoutHighHalfAndDoubleGetfield)
{
    obj_t obj = make_obj();
    t.setup(61, "J", 20);
    t.unresolved(false);
    t.o.r[2] = local_op(2);
    t.o.x[0] = local_op(0);
    t.set_local(2, (u4)(uintptr_t)&obj);
    ASSERT_EQ(gen_resolve_lgetfield(&t.f.cg, &t.qp, &t.o), 0);
    resolve_backpatch_anchor* a = resolve_anchor_list(&t.f.m);
    EXPECT_EQ(t.f.cg.code - (a->site_end - 5), 6);
    EXPECT_NE(a->a & RESOLVE_A_LOW_ONLY, 0u);
    int first, second;
    machine out = t.go_twice(&first, &second);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(out.frame[0], 0x89ABCDEFu);

    t.setup(63, "D", 32);
    t.unresolved(false);
    t.o.r[2] = local_op(1);
    t.o.x[0] = stack_op(0, 0, 'D');
    t.set_local(1, (u4)(uintptr_t)&obj);
    ASSERT_EQ(gen_resolve_fgetfield(&t.f.cg, &t.qp, &t.o), 0);
    out = t.go_twice(&first, &second, 1);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    ASSERT_EQ(out.fp.size(), 1u);
    EXPECT_EQ(out.fp[0], 1.0 / 3.0);
}

TEST(FieldResolve, UnusedGetfieldOfNonNullObjectKeepsSiteWithoutTemplate)
{
    obj_t obj = make_obj();
    t.setup(60, "I", 0);
    t.unresolved(false);
    t.q.flags_b = 0xF0;
    t.o.r[2] = local_op(1);
    t.set_local(1, (u4)(uintptr_t)&obj);
    ASSERT_EQ(gen_resolve_igetfield(&t.f.cg, &t.qp, &t.o), 0);
    resolve_backpatch_anchor* a = resolve_anchor_list(&t.f.m);
    u1* site = a->site_end - 5;
    EXPECT_NE(a->a & RESOLVE_A_NO_RESULT, 0u);
    int first, second;
    t.go_twice(&first, &second);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(site[0], 0x8D);   // the resolver's 6-byte no-operation
}

TEST(FieldResolve, MeasuringPassReservesStubBytes)
{
    rm_fixture f;
    rm_setup(&f, 4, NLOCALS, CG_PASS_MEASURE);
    init_resolve_backpatch_anchor(&f.m);
    u4 before = f.m.extra_code_size;
    gen_resolution_site(&f.cg, 60, 3, 0, 0, 1, -1, 1, 1);
    EXPECT_EQ(f.m.extra_code_size - before, RESOLVE_STUB_RESERVE);
    EXPECT_EQ(resolve_anchor_list(&f.m), nullptr);
}

TEST(FieldResolve, StaticInitializerSiteBecomesNoOperation)
{
    t.setup(172, "I", 0);
    t.cls.state = 0;                       // not initialised when compiled
    t.q.value = (u4)(uintptr_t)&t.cls;
    u1* before = t.f.cg.code;
    ASSERT_EQ(gen_execute_static_initializer(&t.f.cg, &t.qp, &t.o), 0);
    EXPECT_EQ(t.f.cg.code - before, 6);
    resolve_backpatch_anchor* a = resolve_anchor_list(&t.f.m);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->context, 0u);
    u1* site = a->site_end - 5;
    t.cls.state = CS_INITIALIZED;          // initialised by the time the code runs
    int first, second;
    t.go_twice(&first, &second);
    EXPECT_EQ(site[0], 0x8D);              // lea eax, [eax+0]

    // An initialised class needs no site.
    t.setup(172, "I", 0);
    t.q.value = (u4)(uintptr_t)&t.cls;
    before = t.f.cg.code;
    ASSERT_EQ(gen_execute_static_initializer(&t.f.cg, &t.qp, &t.o), 0);
    EXPECT_EQ(t.f.cg.code, before);
}

TEST(FieldResolve, ConstantPutfieldWithNoFreeRegisterTakesImmediateForm)
{
    obj_t obj = make_obj();
    t.setup(65, "I", 8);
    t.unresolved(false);
    t.o.r[2] = local_op(1);
    t.o.r[4] = const_op(-12345);
    t.set_local(1, (u4)(uintptr_t)&obj);
    int held[7];
    int n = 0;
    for (int k = 0; k < 6; k++)   // leave one register for the object
        held[n++] = _alloc_int_reg(&t.f.cg, RM_ALL_INT, 0);
    ASSERT_EQ(gen_resolve_iputfield(&t.f.cg, &t.qp, &t.o), 0);
    for (int k = 0; k < n; k++)
        _free_int_reg(&t.f.cg, held[k], 0, 0, 0);
    resolve_backpatch_anchor* a = resolve_anchor_list(&t.f.m);
    EXPECT_NE((u4)a->b & RESOLVE_B_CONST, 0u);
    EXPECT_EQ(t.f.cg.code - (a->site_end - 5), 10);
    int first, second;
    t.go_twice(&first, &second);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(obj.f[2], (u4)-12345);
    EXPECT_EQ(obj.f[1], make_obj().f[1]);
    EXPECT_EQ(obj.f[3], make_obj().f[3]);
}

TEST(FieldResolve, SiteNeverStraddlesA32ByteLineOnMultiprocessors)
{
    extern s4 orva_processor_num;
    orva_processor_num = 2;
    for (int skew = 28; skew < 34; skew++) {
        t.setup(70, "I", 5);
        t.unresolved(true);
        t.o.r[0] = local_op(0);
        u1* base = (u1*)(((uintptr_t)t.f.cg.code + 63) & ~(uintptr_t)31);
        t.f.cg.code = base + skew;
        ASSERT_EQ(gen_resolve_igetstatic(&t.f.cg, &t.qp, &t.o), 0);
        u1* site = resolve_anchor_list(&t.f.m)->site_end - 5;
        EXPECT_EQ(site[0], 0xE8);
        EXPECT_EQ((uintptr_t)site / 32, (uintptr_t)(site + 1) / 32) << skew;
    }
    orva_processor_num = 1;
}

TEST(FieldResolve, FloatPutfieldSite)
{
    obj_t obj = make_obj();
    t.setup(67, "F", 28);
    t.unresolved(false);
    t.o.r[2] = local_op(1);
    t.o.x[4] = local_op(2, 'F');
    t.set_local(1, (u4)(uintptr_t)&obj);
    t.set_local(2, float_bits(-0.125f));
    ASSERT_EQ(gen_resolve_fputfield(&t.f.cg, &t.qp, &t.o), 0);
    resolve_backpatch_anchor* a = resolve_anchor_list(&t.f.m);
    EXPECT_EQ((a->x87_state >> 8) & 0xFF, 1u);   // the value is live across the resolver call
    int first, second;
    t.go_twice(&first, &second);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    float got;
    std::memcpy(&got, &obj.f[7], 4);
    EXPECT_EQ(got, -0.125f);
    EXPECT_EQ(obj.f[8], make_obj().f[8]);
}

// Folded loads: a resolved getfield or getstatic whose only user reads the
// value straight from memory.  The definer emits nothing; the user's
// operand is the field ([object + 8 + offset]) or the static, addressed by
// the memory-operand handlers.  F2I of a folded float field, and int adds of
// a folded int field and of a folded static.
namespace {

constexpr u1 FOLD = 0x20;

quad_operand qvar(u1 type, u2 number, u1 flags = 0)
{
    quad_operand q = {};
    q.kind = (u1)(type << QT_SHIFT | QK_VARIABLE);
    q.number = number;
    q.flags = flags;
    return q;
}

struct folded {
    quadruple def, use;
    quadruple* list[2];

    // def: getfield/getstatic into a folded temporary 6; use reads it.
    void build(u1 def_opcode, u1 def_type, u1 use_opcode)
    {
        std::memset(&def, 0, sizeof def);
        std::memset(&use, 0, sizeof use);
        def.opcode = def_opcode;
        def.aux = (u4)(uintptr_t)&t.fb;
        def.result = qvar(def_type, 6, FOLD);
        def.src1 = qvar(QT_REF, 1);
        def.opcount = 1;
        use.opcode = use_opcode;
        use.src1 = qvar(def_type, 6, FOLD);
        use.opcount = 1;
        list[0] = &def;
        list[1] = &use;
        t.f.bb[1].catbl = list;
        t.f.bb[1].quad_count = 2;
    }
};

}  // namespace

TEST(FieldAccess, FoldedLoadsAreReadByTheirUser)
{
    static folded k;
    const float floats[] = {-2.5f, 7.75f, 16777216.0f};   // in range: no run-time routine here
    for (float v : floats) {
        obj_t obj = make_obj();
        std::memcpy(&obj.f[7], &v, 4);
        t.setup(62, "F", 28);
        t.set_local(1, (u4)(uintptr_t)&obj);
        k.build(62, QT_FLOAT, OPC_F2I);
        // The getfield: folded, nothing emitted.
        t.f.cg.cur_quad = 0;
        t.o.x[0] = {RK_LOCAL, 'F', 0, 6, &k.def.result};
        t.o.r[2] = local_op(1);
        u1* before = t.f.cg.code;
        ASSERT_EQ(gen_fgetfield(&t.f.cg, &k.list[0], &t.o), 0);
        EXPECT_EQ(t.f.cg.code, before) << "a folded getfield emits nothing";
        // The conversion reads the field.
        t.f.cg.cur_quad = 1;
        for (auto& r : t.o.r) r = CG_EMPTY_OPERAND;
        for (auto& r : t.o.x) r = CG_EMPTY_OPERAND;
        t.o.r[0] = local_op(0);
        t.o.x[2] = {RK_LOCAL, 'F', 0, 6, &k.use.src1};
        ASSERT_EQ(gen_F2I(&t.f.cg, &k.list[1], &t.o), 0);
        machine out = t.go();
        EXPECT_EQ((s4)out.frame[0], (s4)v) << v;
        EXPECT_EQ(fp_top(&t.f.cg), fp_bottom(&t.f.cg));
    }

    // int field + local, and int static + local.
    for (bool is_static : {false, true}) {
        obj_t obj = make_obj();
        t.setup(is_static ? 70 : 60, "I", is_static ? 0x01020304u : 0u);
        t.set_local(1, (u4)(uintptr_t)&obj);
        t.set_local(2, 0x10);
        k.build(is_static ? 70 : 60, QT_INT, OPC_IOP2);
        k.use.op = QOP_ADD;
        k.use.opcount = 2;
        k.use.src2 = qvar(QT_INT, 2);
        t.f.cg.cur_quad = 1;
        t.o.r[0] = local_op(0);
        t.o.r[2] = {RK_LOCAL, 'I', 0, 6, &k.use.src1};
        t.o.r[4] = local_op(2);
        t.o.r[4].source = &k.use.src2;
        t.q = k.use;
        ASSERT_EQ(gen_op2_III(&t.f.cg, &k.list[1], &t.o), 0);
        machine out = t.go();
        EXPECT_EQ(out.frame[0], (is_static ? 0x01020304u : obj.f[0]) + 0x10) << "static " << is_static;
    }
}
