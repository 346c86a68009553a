// Object generators, executed: each case generates one quadruple over the
// register manager, appends the out-of-line miss and slow paths, and runs it
// (object operands in locals, the result stored to local 0); a rerun of the
// same code shows what the first run left behind (a filled class cache, a
// redirected stub call, a skipped resolution block).  Run-time routines and
// stubs are the real ones; the VM behind them is faked (object_fakes.cpp).
#include <cstring>
#include <vector>

#include "regman/reg_test_util.h"
#include "codegen/gen/gen_arith.h"
#include "codegen/gen/gen_object.h"
#include "object_fakes.h"

namespace {

constexpr int NLOCALS = 8;

struct mtab {
    classblock* cd;
    u4 slots[1];
};

struct object {
    u4 pre;
    u4 word0;
    u4 lock;
    u4 data[6];
    u4 ref() { return (u4)(uintptr_t)&word0; }
};

// A < B < D; C unrelated.
struct world {
    classblock A, B, C, D;
    mtab mA, mB, mC, mD;
    void init()
    {
        classblock* all[4] = {&A, &B, &C, &D};
        mtab* tabs[4] = {&mA, &mB, &mC, &mD};
        const char* names[4] = {"A", "B", "C", "D"};
        for (int i = 0; i < 4; i++) {
            std::memset(all[i], 0, sizeof(classblock));
            all[i]->name = names[i];
            all[i]->state = CS_LINKED | CS_INITIALIZED;
            all[i]->methodtable = reinterpret_cast<method_table*>(tabs[i]);
            tabs[i]->cd = all[i];
        }
        B.superclass = &A;
        D.superclass = &B;
    }
    object make(classblock* c)
    {
        object o{};
        o.word0 = (u4)(uintptr_t)c->methodtable;
        o.lock = 0x11;
        return o;
    }
};

struct orun {
    rm_fixture f;
    quadruple q;
    quadruple* qp;
    cg_operands o;
    machine in;
    classblock ctx_class;
    methodblock ctx;
    u4 cp[16];
    u1 tags[16];
    std::vector<u1> emitted;    // the code as generated, before any run
    size_t body;                // its bytes before the harness's room

    void setup(int opcode)
    {
        reset_fake_vm();
        rm_setup(&f, 4, NLOCALS);
        std::memset(&q, 0, sizeof q);
        q.opcode = (u1)opcode;
        qp = &q;
        f.bb[1].catbl = &qp;
        f.bb[1].quad_count = 1;
        f.cg.cur_quad = 0;
        std::memset(&o, 0, sizeof o);
        for (auto& r : o.r) r = CG_EMPTY_OPERAND;
        for (auto& r : o.x) r = CG_EMPTY_OPERAND;
        in = {};
        for (int r = 0; r < 7; r++)
            in.reg[r] = 0xDEAD0000u + (u4)r;
        std::memset(&ctx_class, 0, sizeof ctx_class);
        std::memset(&ctx, 0, sizeof ctx);
        std::memset(cp, 0, sizeof cp);
        std::memset(tags, 0, sizeof tags);
        ctx_class.name = "Ctx";
        ctx_class.constantpool = cp;
        cp[0] = (u4)(uintptr_t)tags;
        ctx.clazz = &ctx_class;
        q.context = (u4)(uintptr_t)&ctx;
    }
    // A resolved class entry.
    void entry(int index, classblock* cb)
    {
        cp[index] = (u4)(uintptr_t)cb;
        tags[index] = 0x80 | 7;
    }
    // An unresolved class entry that resolves to cb.
    void unresolved_entry(int index, classblock* cb)
    {
        tags[index] = 7;
        fvm.resolve_to[index] = (u4)(uintptr_t)cb;
        q.subcode |= QS_UNRESOLVED;
    }
    void local(int l, u4 v) { in.frame[frame_word_of_local(l)] = v; }
    // Appends the out-of-line paths and runs; answers the raised code (0 none).
    u4 go(machine* out)
    {
        _flush_all_int_regs(&f.cg, 0);
        u1* end = f.cg.code;
        f.cg.code = end + 256;
        gen_call_rtlib_in_class_cache_miss(&f.cg);
        gen_call_allocation_slow_path(&f.cg);
        gen_datatable(&f.cg);      // the class-cache cells
        emitted.assign(f.start, f.cg.code);
        body = (size_t)(end - f.start);
        f.cg.code = end;
        return rerun(out);
    }
    // Runs changed no byte of the code (cache fills write data cells); the
    // harness writes its return path into the room after the body.
    bool code_unchanged()
    {
        size_t tails = body + 256;
        return std::memcmp(emitted.data(), f.start, body) == 0 &&
               std::memcmp(emitted.data() + tails, f.start + tails, emitted.size() - tails) == 0;
    }
    u4 rerun(machine* out)
    {
        fvm.thrown = 0;
        fake_ee.exception_kind = 0;
        *out = {};
        if (setjmp(landing) == 0)
            rm_run(&f, in, out, 0);
        return fvm.thrown;
    }
};

orun t;
world w;

}  // namespace

// ---------------------------------------------------------------------------
// checkcast, instanceof, store check
// ---------------------------------------------------------------------------
TEST(ClassCache, CheckcastFillsTheCacheThenHits)
{
    w.init();
    t.setup(OPC_CHECKCAST);
    t.entry(3, &w.A);
    t.q.op = 3;
    t.o.r[2] = local_op(1);
    ASSERT_EQ(gen_and_register_class_cache(&t.f.cg, &t.qp, &t.o), 0);
    object b = w.make(&w.B), c = w.make(&w.C), d = w.make(&w.D);
    machine out;
    t.local(1, b.ref());
    EXPECT_EQ(t.go(&out), 0u);
    EXPECT_EQ(fvm.instance_calls, 1) << "the first execution misses";
    EXPECT_EQ(t.rerun(&out), 0u);
    EXPECT_EQ(fvm.instance_calls, 1) << "the cache holds B's method table";
    EXPECT_EQ(out.frame[frame_word_of_local(1)], b.ref());
    t.local(1, d.ref());
    EXPECT_EQ(t.rerun(&out), 0u);
    EXPECT_EQ(fvm.instance_calls, 2);
    t.local(1, c.ref());
    EXPECT_EQ(t.rerun(&out), 0xE000000Eu);
    EXPECT_STREQ(fvm.signalled, "java/lang/ClassCastException: C");
    t.local(1, 0);
    int calls = fvm.instance_calls;
    EXPECT_EQ(t.rerun(&out), 0u) << "null passes";
    EXPECT_EQ(fvm.instance_calls, calls);
    t.local(1, b.ref());
    EXPECT_EQ(t.rerun(&out), 0u);
    EXPECT_EQ(fvm.instance_calls, calls + 1) << "D's fill replaced B's";
    EXPECT_TRUE(t.code_unchanged()) << "a fill wrote code";
}

TEST(ClassCache, InstanceofAnswersAndCachesBothWays)
{
    w.init();
    object b = w.make(&w.B), c = w.make(&w.C);
    struct { u4 ref; u4 answer; int calls; } cases[] = {{b.ref(), 1, 1}, {c.ref(), 0, 1}, {0, 0, 0}};
    for (auto& k : cases) {
        t.setup(OPC_INSTANCEOF);
        t.entry(3, &w.A);
        t.q.op = 3;
        t.o.r[0] = local_op(0);
        t.o.r[2] = local_op(1);
        ASSERT_EQ(gen_and_register_class_cache(&t.f.cg, &t.qp, &t.o), 0);
        t.local(1, k.ref);
        machine out;
        EXPECT_EQ(t.go(&out), 0u);
        EXPECT_EQ(out.frame[frame_word_of_local(0)], k.answer);
        EXPECT_EQ(fvm.instance_calls, k.calls);
        EXPECT_EQ(t.rerun(&out), 0u);
        EXPECT_EQ(out.frame[frame_word_of_local(0)], k.answer) << "from the cache";
        EXPECT_EQ(fvm.instance_calls, k.calls) << "positive and negative caches";
        EXPECT_TRUE(t.code_unchanged()) << "a fill wrote code";
    }
}

TEST(ClassCache, ArraysAreCachedByElementClassOrHeaderByte)
{
    w.init();
    t.setup(OPC_INSTANCEOF);
    t.entry(3, &w.A);
    t.q.op = 3;
    t.o.r[0] = local_op(0);
    t.o.r[2] = local_op(1);
    ASSERT_EQ(gen_and_register_class_cache(&t.f.cg, &t.qp, &t.o), 0);
    fvm.array_answer_class = &w.A;
    // Object arrays of element class B (length 2, the class after the elements).
    object arr1{}, arr2{};
    for (object* a : {&arr1, &arr2}) {
        a->word0 = 2;
        a->lock = T_REFERENCE << 3 | LOCK_HDR_ARRAY;
        a->data[2] = (u4)(uintptr_t)&w.B;
    }
    machine out;
    t.local(1, arr1.ref());
    EXPECT_EQ(t.go(&out), 0u);
    EXPECT_EQ(out.frame[0], 1u);
    EXPECT_EQ(fvm.instance_calls, 1);
    t.local(1, arr2.ref());
    EXPECT_EQ(t.rerun(&out), 0u);
    EXPECT_EQ(out.frame[0], 1u);
    EXPECT_EQ(fvm.instance_calls, 1) << "same element class: a hit";
    object ints{};
    ints.word0 = 3;
    ints.lock = T_INT << 3 | LOCK_HDR_ARRAY;
    t.local(1, ints.ref());
    EXPECT_EQ(t.rerun(&out), 0u);
    EXPECT_EQ(fvm.instance_calls, 2);
    EXPECT_EQ(t.rerun(&out), 0u);
    EXPECT_EQ(fvm.instance_calls, 2) << "the header byte is cached";
}

TEST(ClassCache, StoreCheckComparesClassThenSuperclassThenAsksTheVm)
{
    w.init();
    object a = w.make(&w.A), b = w.make(&w.B), c = w.make(&w.C), d = w.make(&w.D);
    struct { u4 ref; int calls; u4 thrown; } cases[] = {
        {a.ref(), 0, 0}, {b.ref(), 0, 0}, {d.ref(), 1, 0}, {c.ref(), 1, 0xE0000003u}, {0, 0, 0}};
    for (auto& k : cases) {
        t.setup(OPC_CLASSTYPECHECK);
        t.o.r[2] = local_op(2);
        t.o.r[4] = local_op(1);
        ASSERT_EQ(gen_classtypecheck(&t.f.cg, &t.qp, &t.o), 0);
        t.local(2, (u4)(uintptr_t)&w.A);
        t.local(1, k.ref);
        machine out;
        EXPECT_EQ(t.go(&out), k.thrown);
        EXPECT_EQ(fvm.instance_calls, k.calls);
    }
}

// The unresolved forms run through the real stubs: object in eax, index in
// edx, constant pool in ecx; the stub then points the call at its quick form.
TEST(UnresolvedTypeCheck, StubContractAndRedirection)
{
    w.init();
    object b = w.make(&w.B), c = w.make(&w.C);
    t.setup(OPC_CHECKCAST);
    t.unresolved_entry(5, &w.A);
    t.q.op = 5;
    t.o.r[2] = local_op(1);
    ASSERT_EQ(gen_resolve_checkcast(&t.f.cg, &t.qp, &t.o), 0);
    machine out;
    t.local(1, b.ref());
    EXPECT_EQ(t.go(&out), 0u);
    EXPECT_EQ(fvm.resolutions, 1);
    EXPECT_EQ(fvm.last_mask, 0x80u);
    EXPECT_EQ(t.rerun(&out), 0u);
    EXPECT_EQ(fvm.resolutions, 1) << "redirected to the quick form";
    t.local(1, c.ref());
    EXPECT_EQ(t.rerun(&out), 0xE000000Eu);
    EXPECT_STREQ(fvm.signalled, "java/lang/ClassCastException: C");
    t.local(1, 0);
    EXPECT_EQ(t.rerun(&out), 0u);

    struct { u4 ref; u4 answer; } cases[] = {{b.ref(), 1}, {c.ref(), 0}, {0, 0}};
    t.setup(OPC_INSTANCEOF);
    t.unresolved_entry(5, &w.A);
    t.q.op = 5;
    t.o.r[0] = local_op(0);
    t.o.r[2] = local_op(1);
    ASSERT_EQ(gen_resolve_instanceof(&t.f.cg, &t.qp, &t.o), 0);
    bool first = true;
    for (auto& k : cases) {
        t.local(1, k.ref);
        EXPECT_EQ(first ? t.go(&out) : t.rerun(&out), 0u);
        first = false;
        EXPECT_EQ(out.frame[0], k.answer);
    }
    EXPECT_EQ(fvm.resolutions, 1);
}

// ---------------------------------------------------------------------------
// Allocation
// ---------------------------------------------------------------------------
TEST(Allocation, NewTakesTheQuickEntryBelowTheLimit)
{
    w.init();
    struct { u2 size; int refuse; int quick; int routine; u4 block; } cases[] = {
        {8, 0, 1, 0, 24},      // (8 + 19) & ~7
        {8, 1, 1, 1, 24},      // the quick entry refuses: the slow path allocates
        {364, 0, 1, 0, 376},   // the largest object the quick entry serves
        {365, 0, 0, 1, 0},     // (365 + 19) & ~7 = 384: the smallest that takes the routine
        {368, 0, 0, 1, 0},     // 384: always the routine
    };
    for (auto& k : cases) {
        t.setup(OPC_NEW);
        w.D.instance_size = k.size;
        t.q.aux = (u4)(uintptr_t)&w.D;
        t.o.r[0] = local_op(0);
        ASSERT_EQ(gen_new(&t.f.cg, &t.qp, &t.o), 0);
        fvm.refuse_quick = k.refuse;
        machine out;
        EXPECT_EQ(t.go(&out), 0u);
        EXPECT_EQ(fvm.quick_calls, k.quick) << k.size;
        EXPECT_EQ(fvm.alloc_object_calls, k.routine) << k.size;
        if (k.quick) {
            EXPECT_EQ(fvm.quick_size, k.block);
            EXPECT_EQ(fvm.quick_flags, 0u);
            EXPECT_EQ(fvm.quick_word0, (u4)(uintptr_t)&w.mD);
        }
        u4 obj = out.frame[0];
        ASSERT_NE(obj, 0u);
        EXPECT_EQ(reinterpret_cast<u4*>(obj)[0], (u4)(uintptr_t)&w.mD);
    }
    // Out of memory in the routine: the pending OutOfMemoryError is thrown.
    t.setup(OPC_NEW);
    t.q.aux = (u4)(uintptr_t)&w.D;
    t.o.r[0] = local_op(0);
    ASSERT_EQ(gen_new(&t.f.cg, &t.qp, &t.o), 0);
    fvm.refuse_quick = fvm.refuse_alloc = 1;
    machine out;
    EXPECT_EQ(t.go(&out), 0xE000000Eu);
    EXPECT_STREQ(fvm.signalled, "java/lang/OutOfMemoryError: D");
}

TEST(Allocation, NewOfAnUninitialisedClassInitialisesItOnce)
{
    w.init();
    w.D.instance_size = 8;
    w.D.state = CS_LINKED;
    t.setup(OPC_NEW);
    t.entry(4, &w.D);
    t.q.op = 4;
    t.q.aux = (u4)(uintptr_t)&w.D;
    t.o.r[0] = local_op(0);
    ASSERT_EQ(gen_new(&t.f.cg, &t.qp, &t.o), 0);
    machine out;
    EXPECT_EQ(t.go(&out), 0u);
    EXPECT_EQ(fvm.clinit_calls, 1);
    EXPECT_EQ(reinterpret_cast<u4*>(out.frame[0])[0], (u4)(uintptr_t)&w.mD);
    EXPECT_EQ(t.rerun(&out), 0u);
    EXPECT_EQ(fvm.clinit_calls, 1);
    EXPECT_EQ(fvm.alloc_object_calls, 2);
}

TEST(Allocation, NewarrayLengthsAndSizes)
{
    struct {
        const char* what;
        int type;
        bool constant;
        s4 length;
        int refuse_quick;
        int quick;           // quick entry called
        u4 block;            // its block size
        int routine;         // _jit_newarray called
        u4 thrown;
    } cases[] = {
        {"int[5] constant", T_INT, true, 5, 0, 1, 32, 0, 0},
        {"int[5]", T_INT, false, 5, 0, 1, 32, 0, 0},
        {"int[0]", T_INT, false, 0, 0, 1, 16, 0, 0},
        {"char[3]", T_CHAR, false, 3, 0, 1, 24, 0, 0},
        {"long[2]", T_LONG, false, 2, 0, 1, 32, 0, 0},
        {"byte[9]", T_BYTE, true, 9, 0, 1, 24, 0, 0},
        {"int[5], quick entry refuses", T_INT, false, 5, 1, 1, 32, 1, 0},
        {"int[5] constant, quick entry refuses", T_INT, true, 5, 1, 1, 32, 1, 0},
        {"int[100]: too large for the quick entry", T_INT, false, 100, 0, 0, 0, 1, 0},
        {"int[91] constant: 383 bytes", T_INT, true, 91, 0, 1, 376, 0, 0},
        {"int[-1]: the routine raises without allocating", T_INT, false, -1, 0, 0, 0, 0, 0xE000000Eu},
        {"int[-1] constant", T_INT, true, -1, 0, 0, 0, 0, 0xE0000010u},
    };
    for (auto& k : cases) {
        t.setup(OPC_NEWARRAY);
        t.q.op = (u2)k.type;
        t.o.r[0] = local_op(0);
        t.o.r[2] = k.constant ? const_op(k.length) : local_op(1);
        t.local(1, (u4)k.length);
        ASSERT_EQ(gen_newarray(&t.f.cg, &t.qp, &t.o), 0) << k.what;
        fvm.refuse_quick = k.refuse_quick;
        machine out;
        EXPECT_EQ(t.go(&out), k.thrown) << k.what;
        EXPECT_EQ(fvm.quick_calls, k.quick) << k.what;
        EXPECT_EQ(fvm.alloc_array_calls, k.routine) << k.what;
        if (k.quick) {
            EXPECT_EQ(fvm.quick_size, k.block) << k.what;
            EXPECT_EQ(fvm.quick_flags, (u4)(k.type << 3 | 2)) << k.what;
            EXPECT_EQ(fvm.quick_word0, (u4)k.length) << k.what;
        }
        if (k.thrown == 0xE000000Eu)
            EXPECT_STREQ(fvm.signalled, "java/lang/NegativeArraySizeException") << k.what;
        if (k.thrown == 0) {
            ASSERT_NE(out.frame[0], 0u) << k.what;
            EXPECT_EQ(reinterpret_cast<u4*>(out.frame[0])[0], (u4)k.length) << k.what;
        }
    }
    // A length of 2^28 or more never reaches the quick entry.
    t.setup(OPC_NEWARRAY);
    t.q.op = T_INT;
    t.o.r[0] = local_op(0);
    t.o.r[2] = local_op(1);
    t.local(1, 0x10000000u);
    ASSERT_EQ(gen_newarray(&t.f.cg, &t.qp, &t.o), 0);
    fvm.refuse_alloc = 1;
    machine out;
    EXPECT_EQ(t.go(&out), 0xE000000Eu);
    EXPECT_EQ(fvm.quick_calls, 0);
    EXPECT_EQ(fvm.alloc_array_calls, 1);
}

TEST(Allocation, ObjectArraysKeepTheirElementClassAfterTheElements)
{
    w.init();
    struct { bool constant; int refuse; bool unresolved; } cases[] = {
        {true, 0, false}, {false, 0, false}, {false, 1, false}, {true, 1, false}, {false, 0, true}};
    for (auto& k : cases) {
        t.setup(OPC_ANEWARRAY);
        if (k.unresolved) {
            t.unresolved_entry(4, &w.B);
        } else {
            t.entry(4, &w.B);
            t.q.aux = (u4)(uintptr_t)&w.B;
        }
        t.q.op = 4;
        t.o.r[0] = local_op(0);
        t.o.r[2] = k.constant ? const_op(3) : local_op(1);
        t.local(1, 3);
        ASSERT_EQ(gen_anewarray(&t.f.cg, &t.qp, &t.o), 0);
        fvm.refuse_quick = k.refuse;
        machine out;
        EXPECT_EQ(t.go(&out), 0u);
        u4* a = reinterpret_cast<u4*>(out.frame[0]);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a[0], 3u);
        EXPECT_EQ(a[2 + 3], (u4)(uintptr_t)&w.B);
        EXPECT_EQ(fvm.resolutions, k.unresolved ? 1 : 0);
        if (!k.unresolved && !k.refuse) {
            EXPECT_EQ(fvm.quick_size, (3u * 4 + 4 + 19) & ~7u);
            EXPECT_EQ(fvm.quick_flags, (u4)(T_REFERENCE << 3 | 2));
        }
    }
}

TEST(Allocation, MultianewarrayPassesTheDimensionsOutermostFirst)
{
    w.init();
    t.setup(OPC_MULTIANEWARRAY);
    t.entry(6, &w.A);
    t.q.aux = (u4)(uintptr_t)&w.A;
    t.q.op = 6;
    t.q.count = 2;
    t.o.r[0] = local_op(0);
    t.o.r[2] = local_op(1);
    t.o.r[4] = const_op(7);
    t.local(1, 4);
    s2 before = t.f.cg.mci->sp_offset;
    ASSERT_EQ(gen_argset_multianewarray(&t.f.cg, &t.qp, &t.o), 0);
    ASSERT_EQ(gen_multianewarray(&t.f.cg, &t.qp, &t.o), 0);
    EXPECT_EQ(t.f.cg.mci->sp_offset, before);
    machine out;
    EXPECT_EQ(t.go(&out), 0u);
    EXPECT_EQ(out.frame[0], 0x5151u);
    EXPECT_EQ(fvm.multi_dims, 2);
    EXPECT_EQ(fvm.multi_class, &w.A);
    EXPECT_EQ(fvm.multi_lengths[0], 4);
    EXPECT_EQ(fvm.multi_lengths[1], 7);
}

// ---------------------------------------------------------------------------
// ldc and monitors
// ---------------------------------------------------------------------------
TEST(Ldc, TheResolutionBlockRunsOnce)
{
    t.setup(OPC_LDC);
    t.q.subcode = QS_UNRESOLVED;
    t.q.target = 6;
    t.q.value = (u4)(uintptr_t)&t.cp[6];
    t.tags[6] = 8;
    fvm.resolve_to[6] = 0xABCD0000u;
    t.o.r[0] = local_op(0);
    ASSERT_EQ(gen_resolve_ldc(&t.f.cg, &t.qp, &t.o), 0);
    machine out;
    EXPECT_EQ(t.go(&out), 0u);
    EXPECT_EQ(out.frame[0], 0xABCD0000u);
    EXPECT_EQ(fvm.last_mask, 0x100u);
    EXPECT_EQ(t.rerun(&out), 0u);
    EXPECT_EQ(out.frame[0], 0xABCD0000u);
    EXPECT_EQ(fvm.resolutions, 1);
    // The block kept every register it borrowed.
    EXPECT_EQ(out.reg[RM_EBX], 0xDEAD0003u);

    t.setup(OPC_LDC);
    t.q.target = 6;
    t.cp[6] = 0x5EED0000u;
    t.o.r[0] = local_op(0);
    ASSERT_EQ(gen_ldc(&t.f.cg, &t.qp, &t.o), 0);
    EXPECT_EQ(t.go(&out), 0u);
    EXPECT_EQ(out.frame[0], 0x5EED0000u);
}

TEST(Monitor, EnterThenExitLeavesTheLockWordAsItWas)
{
    w.init();
    fake_ee.thin_lock_id = 0x00050000;
    object a = w.make(&w.A);
    for (int both = 0; both < 2; both++) {
        t.setup(OPC_MONITOR);
        fake_ee.thin_lock_id = 0x00050000;
        t.o.r[2] = local_op(1);
        t.q.op = 0;
        ASSERT_EQ(gen_monitor(&t.f.cg, &t.qp, &t.o), 0);
        if (both) {
            t.q.op = 1;
            ASSERT_EQ(gen_monitor(&t.f.cg, &t.qp, &t.o), 0);
        }
        t.local(1, a.ref());
        a.lock = 0x11;
        machine out;
        EXPECT_EQ(t.go(&out), 0u);
        EXPECT_EQ(a.lock, both ? 0x11u : 0x00050011u);
    }
}

// An inlined synchronized method's region: the node {next, object} in the
// local pair 2-3 is pushed on the newest registration's monitor list while
// the lock is held, and popped before the lock is released.
TEST(Monitor, SynchronizedRegionLinksItsNodeWhileTheLockIsHeld)
{
    w.init();
    object a = w.make(&w.A);
    static u4 registration[4];
    u4* area = nullptr;
    for (int both = 0; both < 2; both++) {
        t.setup(OPC_SYNCENTER);
        area = reinterpret_cast<u4*>(rm_frame_base - 0x30000);   // the thread area of the run
        area[0] = (u4)(uintptr_t)registration;
        fake_ee.thin_lock_id = 0x00050000;
        registration[2] = 0x1234;
        t.q.subcode = 1;
        t.q.src1.number = 1;
        t.q.count = 2;
        ASSERT_EQ(gen_syncenter(&t.f.cg, &t.qp, &t.o), 0);
        if (both) {
            t.q.opcode = OPC_SYNCEXIT;
            ASSERT_EQ(gen_syncexit(&t.f.cg, &t.qp, &t.o), 0);
        }
        t.local(1, a.ref());
        a.lock = 0x11;
        machine out;
        EXPECT_EQ(t.go(&out), 0u);
        if (both) {
            EXPECT_EQ(a.lock, 0x11u);
            EXPECT_EQ(registration[2], 0x1234u);
            continue;
        }
        EXPECT_EQ(a.lock, 0x00050011u);
        u4* node = reinterpret_cast<u4*>((uintptr_t)registration[2]);
        ASSERT_NE(registration[2], 0x1234u);
        EXPECT_EQ(node[0], 0x1234u);
        EXPECT_EQ(node[1], a.ref());
    }
    area[0] = 0;
}
