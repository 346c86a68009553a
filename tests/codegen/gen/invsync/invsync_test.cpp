// Call sequences and inline monitor enter/exit: code is generated (both
// passes; the writing pass never longer than the measuring pass) and
// executed on a stack inside a test thread area.  Callees are hand-written
// regparm(3) functions (eax, edx, ecx = argument words 0..2; word 3 and up
// on the stack, the last word nearest the return address); the VM's
// monitor functions are recording fakes that implement the thin-lock
// protocol's slow paths.
#include <gtest/gtest.h>
#include <math.h>
#include <setjmp.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include <functional>

#include "codegen/cg_core.h"
#include "codegen/gen/gen_invoke.h"
#include "codegen/gen/gen_sync.h"
#include "driver/driver.h"
#include "common/jmath.h"

// ---------------------------------------------------------------------------
// Harness (invsync_run.S)
// ---------------------------------------------------------------------------
struct run_record {
    void* entry;        // 0
    u1* stack;          // 4
    u4 nwords;          // 8
    const u4* words;    // 12
    u4 eax, edx, ecx;   // 16
    u4 out_eax, out_edx;// 28
    u4 want_fp;         // 36
    double fp;          // 40
    u4 saved_esp;       // 48
    u4 thrown;          // 52
};
static_assert(offsetof(run_record, out_eax) == 28);
static_assert(offsetof(run_record, fp) == 40);
static_assert(offsetof(run_record, saved_esp) == 48);
static_assert(offsetof(run_record, thrown) == 52);
extern "C" int run_snippet(run_record* r);
extern "C" void test_thrown(void);

// ---------------------------------------------------------------------------
// Services the generators reach, faked.
// ---------------------------------------------------------------------------
extern "C" {
u4 orva_tla_mask = 0xFFFC0000u;
}
static void* decode[160];
extern "C" void** _GET_DECODE_TABLE_BASE(void) { return decode; }
static u1 fcw_area[64];
extern "C" u1* _GET_FCONTROL_WORD_BASE(void) { return fcw_area; }
const char* cg_missing_service;
void cg_service_missing(const char* name)
{
    cg_missing_service = name;
    abort();
}
void* jit_wmem_alloc(work_pool*, u4 size) { return calloc(1, size); }
sp_offset_info* update_sp_offset_table(codegen_context*, s2) { return nullptr; }
s4 orva_os_type = 12;
s4 orva_processor_num = 1;
s4 orva_processor_type = 6;

static int saves, restores;
static register_info* const SNAPSHOT = reinterpret_cast<register_info*>(0x5A5A0);
register_info* save_register_info(codegen_context*) { saves++; return SNAPSHOT; }
void restore_register_info(codegen_context*, register_info* ri)
{
    EXPECT_EQ(ri, SNAPSHOT);
    restores++;
}
void _gen_test_and_throw_exception(codegen_context* cg, int cond, int, int, int, int, int, u4 code,
                                   methodblock*, int)
{
    EXPECT_EQ(code, 0xE000000Eu);
    _gen_jmpcc(cg, cond, cg->pass == CG_PASS_WRITE ? (u4)(uintptr_t)&test_thrown : UNRESOLVED_TARGET, 4);
}

// The VM's monitor functions: recording fakes.
struct vm_call { int enters, flat_exits, quick_exits; u4 ee, obj; };
static vm_call calls;
static u4* the_ee;
static int raise_on_exit;
static int fake_enter(EE* ee, u4 obj)
{
    calls.enters++;
    calls.ee = (u4)(uintptr_t)ee;
    calls.obj = obj;
    return 1;
}
static void fake_flat_exit(EE* ee, u4 obj)
{
    calls.flat_exits++;
    calls.ee = (u4)(uintptr_t)ee;
    calls.obj = obj;
    reinterpret_cast<u4*>((uintptr_t)obj)[-1] &= ~0x40000000u;   // the VM clears the flag
}
static const bool fakes_bound = [] {
    vm.monitorEnter2 = fake_enter;
    vm.monitorFlatExitForJIT = fake_flat_exit;
    return true;
}();
static u4 quick_ebp, quick_slot;
extern "C" int _jit_monitorExitQuicker(u4 obj, EE* ee, u4 ebp, u4 slot)
{
    calls.quick_exits++;
    calls.ee = (u4)(uintptr_t)ee;
    calls.obj = obj;
    quick_ebp = ebp;
    quick_slot = slot;
    if (raise_on_exit)
        reinterpret_cast<u4*>(ee)[SYNC_EE_PENDING / 4] = 1;
    // A C routine leaves nothing in the caller-saved registers: make that
    // visible, so code that reads one after the call reads garbage.
    asm volatile("movl $0xBAD0BAD1, %%ecx\n\tmovl $0xBAD0BAD2, %%edx" ::: "ecx", "edx");
    return 0;
}

// ---------------------------------------------------------------------------
// Thread area, code buffer, generation in both passes.
// ---------------------------------------------------------------------------
static u1* area;
static u1* area_stack_top() { return area + 0x30000; }

static void setup_area(void)
{
    if (area == nullptr) {
        u1* raw = static_cast<u1*>(mmap(nullptr, 0x80000, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        area = reinterpret_cast<u1*>(((uintptr_t)raw + 0x3FFFF) & ~(uintptr_t)0x3FFFF);
    }
    memset(area, 0, 0x1000);
    the_ee = reinterpret_cast<u4*>(area + 0x200);
    reinterpret_cast<u4*>(area)[1] = (u4)(uintptr_t)the_ee;
    the_ee[EE_THIN_LOCK_ID / 4] = 0x00050000;   // thread number 5
    memset(&calls, 0, sizeof calls);
    raise_on_exit = 0;
}

static u1* code_area(void)
{
    static u1* page;
    if (page == nullptr)
        page = static_cast<u1*>(mmap(nullptr, 1 << 16, PROT_READ | PROT_WRITE | PROT_EXEC,
                                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    return page;
}

struct gen_env {
    methodblock mb;
    method_compile_context m;
    method_code_info mci;
    codegen_context cg;
    u1 scratch[64];
};

// Generates `body` between `pop ebx` and `push ebx; ret`, then `tail`
// (out-of-line code after the snippet).  Returns the entry.
static u1* generate(std::function<void(codegen_context*)> body,
                    std::function<void(codegen_context*)> tail = nullptr)
{
    static gen_env g;
    u4 measured = 0;
    u1* start = code_area();
    for (u2 pass : {CG_PASS_MEASURE, CG_PASS_WRITE}) {
        memset(&g, 0, sizeof g);
        g.m.mb = &g.mb;
        g.m.pool1 = reinterpret_cast<work_pool*>(1);
        g.cg.mb = &g.mb;
        g.cg.m = &g.m;
        g.cg.mci = &g.mci;
        g.cg.flags = CG_SCHED_OFF;
        g.cg.pass = pass;
        g.cg.code = pass == CG_PASS_WRITE ? start : g.scratch;
        g.mci.code_start = start;
        init_slow_sync(&g.cg);
        _gen_pop(&g.cg, GR_EBX);
        body(&g.cg);
        _gen_push(&g.cg, GR_EBX);
        _gen_ret(&g.cg);
        EXPECT_EQ(g.mci.sp_offset, 0) << "stack offset out of balance";
        if (tail)
            tail(&g.cg);
        if (pass == CG_PASS_MEASURE)
            measured = g.cg.code_size;
    }
    u4 written = (u4)(g.cg.code - start);
    EXPECT_LE(written, measured) << "the writing pass grew";
    return start;
}

static int run(u1* entry, run_record* r)
{
    r->entry = entry;
    r->stack = area_stack_top();
    return run_snippet(r);
}

// ---------------------------------------------------------------------------
// Thin locks
// ---------------------------------------------------------------------------
struct test_object {
    u4 pre;      // -4: contention flag at bit 30
    u4 word0;    // 0: method table
    u4 lock;     // 4: lock word
    u4 field;
};

static constexpr u4 ID = 0x00050000;

static u1* gen_enter(u4 reg, test_object* o)
{
    u4 obj = (u4)(uintptr_t)&o->word0;
    return generate(
        [=](codegen_context* cg) {
            _gen_move_gr_i4(cg, reg, (s4)obj);
            gen_BBmonitor_enter(cg, reg);
            // Return the object register: it must still hold the object.
            u4 now = reg == GR_EAX ? GR_EDX : reg;
            if (now != GR_EAX)
                _gen_move_gr_gr(cg, GR_EAX, now);
        },
        [](codegen_context* cg) { gen_slow_sync_target(cg); });
}

static u1* gen_exit(u4 reg, test_object* o)
{
    u4 obj = (u4)(uintptr_t)&o->word0;
    return generate(
        [=](codegen_context* cg) {
            _gen_move_gr_i4(cg, reg, (s4)obj);
            gen_BBmonitor_exit(cg, reg);
            if (reg != GR_EAX)
                _gen_move_gr_gr(cg, GR_EAX, reg);
        },
        [](codegen_context* cg) { gen_slow_sync_target(cg); });
}

struct lock_case {
    const char* what;
    u4 before;        // lock word
    u4 pre;           // word below the object
    u4 after;         // lock word expected
    int vm_calls;     // enter: vm.monitorEnter2; exit: FlatExit + ExitQuicker
};

static const lock_case enter_cases[] = {
    {"free", 0x00000011, 0, ID | 0x11, 0},
    {"own once", ID | 0x11, 0, ID | 0x0111, 0},
    {"own 254", ID | 0xFD11, 0, ID | 0xFE11, 0},
    {"own 255 (count full)", ID | 0xFF11, 0, ID | 0xFF11, 1},
    {"other owner", 0x00070011, 0, 0x00070011, 1},
    {"borrowed owner 0x7FFF", 0x7FFF0011, 0, 0x7FFF0011, 1},
    {"inflated", 0x80001211, 0, 0x80001211, 1},
};

class MonitorEnter : public ::testing::TestWithParam<std::tuple<u4, int, int>> {};

TEST_P(MonitorEnter, LockWordTable)
{
    auto [reg, mp, ci] = GetParam();
    const lock_case& c = enter_cases[ci];
    setup_area();
    orva_processor_num = mp ? 2 : 1;
    test_object o = {c.pre, 0x1234, c.before, 0};
    u1* entry = gen_enter(reg, &o);
    run_record r = {};
    ASSERT_EQ(run(entry, &r), 1);
    EXPECT_EQ(o.lock, c.after) << c.what;
    EXPECT_EQ(calls.enters, c.vm_calls) << c.what;
    EXPECT_EQ(r.out_eax, (u4)(uintptr_t)&o.word0) << c.what << ": object register lost";
    if (c.vm_calls) {
        EXPECT_EQ(calls.obj, (u4)(uintptr_t)&o.word0);
        EXPECT_EQ(calls.ee, (u4)(uintptr_t)the_ee);
    }
    orva_processor_num = 1;
}

INSTANTIATE_TEST_SUITE_P(All, MonitorEnter,
                         ::testing::Combine(::testing::Values(GR_EAX, GR_ECX, GR_EDX), ::testing::Values(0, 1),
                                            ::testing::Range(0, (int)(sizeof enter_cases / sizeof enter_cases[0]))));

static const lock_case exit_cases[] = {
    {"own once", ID | 0x11, 0, 0x11, 0},
    {"own once, contended", ID | 0x11, 0x40000000, 0x11, 1},
    {"own twice", ID | 0x0111, 0, ID | 0x11, 0},
    {"own 255", ID | 0xFF11, 0, ID | 0xFE11, 0},
    {"other owner", 0x00070011, 0, 0x00070011, 1},
    {"inflated", 0x80001211, 0, 0x80001211, 1},
    {"not locked", 0x00000011, 0, 0x00000011, 1},
};

class MonitorExit : public ::testing::TestWithParam<std::tuple<u4, int, int>> {};

TEST_P(MonitorExit, LockWordTable)
{
    auto [reg, mp, ci] = GetParam();
    const lock_case& c = exit_cases[ci];
    setup_area();
    orva_processor_num = mp ? 2 : 1;
    test_object o = {c.pre, 0x1234, c.before, 0};
    u1* entry = gen_exit(reg, &o);
    run_record r = {};
    ASSERT_EQ(run(entry, &r), 1);
    EXPECT_EQ(o.lock, c.after) << c.what;
    EXPECT_EQ(calls.flat_exits + calls.quick_exits, c.vm_calls) << c.what;
    if (c.pre != 0) {
        EXPECT_EQ(calls.flat_exits, 1) << c.what;
    }
    EXPECT_EQ(o.pre & 0x40000000u, 0u) << c.what;
    EXPECT_EQ(r.out_eax, (u4)(uintptr_t)&o.word0) << c.what << ": object register lost";
    if (c.vm_calls) {
        EXPECT_EQ(calls.obj, (u4)(uintptr_t)&o.word0);
        EXPECT_EQ(calls.ee, (u4)(uintptr_t)the_ee);
    }
    orva_processor_num = 1;
}

INSTANTIATE_TEST_SUITE_P(All, MonitorExit,
                         ::testing::Combine(::testing::Values(GR_EAX, GR_ECX, GR_EDX), ::testing::Values(0, 1),
                                            ::testing::Range(0, (int)(sizeof exit_cases / sizeof exit_cases[0]))));

// The pending-exception test after the run-time exit reads the EE register,
// a caller-saved register the C call clobbers: it must be the one kept across
// the call, whichever register holds the object.
TEST(MonitorExitSlowPath, PendingExceptionIsThrownThere)
{
    for (u4 reg : {GR_EAX, GR_ECX, GR_EDX}) {
        setup_area();
        raise_on_exit = 1;
        test_object o = {0, 0x1234, 0x00070011, 0};
        u1* entry = gen_exit(reg, &o);
        run_record r = {};
        EXPECT_EQ(run(entry, &r), 2) << "object in register " << reg;
        EXPECT_EQ(r.thrown, 0xE000000Eu) << "object in register " << reg;
        EXPECT_EQ(calls.quick_exits, 1);
    }
}

TEST(MonitorExitSlowPath, QuickerGetsEbpAndTheReturnAddressSlot)
{
    setup_area();
    test_object o = {0, 0x1234, 0x80000111, 0};
    u1* entry = gen_exit(GR_ECX, &o);
    run_record r = {};
    ASSERT_EQ(run(entry, &r), 1);
    ASSERT_EQ(calls.quick_exits, 1);
    // The slot lies inside the test stack, just below the arguments.
    EXPECT_LT(quick_slot, (u4)(uintptr_t)area_stack_top());
    EXPECT_GT(quick_slot, (u4)(uintptr_t)area_stack_top() - 64);
}

TEST(MonitorSlowPath, RegisterStateSnapshotTakenAndRestored)
{
    setup_area();
    saves = restores = 0;
    test_object o = {0, 0x1234, 0, 0};
    gen_enter(GR_ECX, &o);
    EXPECT_EQ(saves, 2);          // one fast path, two passes
    EXPECT_EQ(restores, 4);       // entry and return of the slow path, two passes
    saves = restores = 0;
    gen_exit(GR_ECX, &o);
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(restores, 6);       // contention entry, second entry, return
}

// ---------------------------------------------------------------------------
// Call sequences
// ---------------------------------------------------------------------------
#define REGCALL __attribute__((regparm(3), noinline))
extern "C" {
REGCALL static int callee0(void) { return 42; }
REGCALL static int callee1(int a) { return a * 3; }
REGCALL static int callee3(int a, int b, int c) { return a * 100 + b * 10 + c; }
// Words 3 and 4 on the stack: word 4 (the last) nearest the return address.
REGCALL static int callee5(int a, int b, int c, int w4, int w3)
{
    return a * 10000 + b * 1000 + c * 100 + w3 * 10 + w4;
}
REGCALL static long long callee_long(int lo, int hi) { return ((long long)(u4)hi << 32) | (u4)lo; }
REGCALL static double callee_double(int a, int b) { return (double)a / (double)b; }
REGCALL static int callee_stack_only(int a, int b, int c, int w5, int w4, int w3)
{
    return (w3 - 1) * 100 + (w4 - 1) * 10 + (w5 - 1) + a + b + c;
}
}

struct call_case {
    const char* what;
    void* callee;
    u4 regs[3];
    u4 nstack;
    u4 stack[3];     // argument words 3.. in order (word 3 first)
    int result;      // 0 eax, 1 edx:eax, 2 st(0)
    u4 eax, edx;
    double fp;
};

static const call_case call_cases[] = {
    {"()I", (void*)callee0, {0, 0, 0}, 0, {}, 0, 42, 0, 0},
    {"(I)I", (void*)callee1, {7, 0, 0}, 0, {}, 0, 21, 0, 0},
    {"(III)I", (void*)callee3, {1, 2, 3}, 0, {}, 0, 123, 0, 0},
    {"(IIIII)I", (void*)callee5, {1, 2, 3}, 2, {4, 5}, 0, 12345, 0, 0},
    {"(IIIIII)I words 3..5 on the stack", (void*)callee_stack_only, {0, 0, 0}, 3, {2, 3, 4}, 0, 123, 0, 0},
    {"(II)J", (void*)callee_long, {0x89ABCDEF, 0x01234567, 0}, 0, {}, 1, 0x89ABCDEF, 0x01234567, 0},
    {"(II)D", (void*)callee_double, {3, 4, 0}, 0, {}, 2, 0, 0, 0.75},
};

static void check_call(const call_case& c, u1* entry)
{
    run_record r = {};
    r.eax = c.regs[0];
    r.edx = c.regs[1];
    r.ecx = c.regs[2];
    r.nwords = c.nstack;
    r.words = c.stack;
    r.want_fp = c.result == 2;
    ASSERT_EQ(run(entry, &r), 1) << c.what;
    if (c.result == 2) {
        EXPECT_EQ(r.fp, c.fp) << c.what;
    } else {
        EXPECT_EQ(r.out_eax, c.eax) << c.what;
        if (c.result == 1) {
            EXPECT_EQ(r.out_edx, c.edx) << c.what;
        }
    }
}

TEST(CallSequence, ThroughTheCompiledCodeSlot)
{
    setup_area();
    for (const call_case& c : call_cases) {
        static methodblock mb;
        mb.compiled_code = c.callee;
        u1* entry = generate([](codegen_context* cg) { gen_call_compiled_slot(cg, &mb); });
        check_call(c, entry);
        // Later compilation (or a gate) changes the slot: the call follows it.
        mb.compiled_code = (void*)callee0;
        if (c.callee != (void*)callee0 && c.result == 0) {
            run_record r = {};
            ASSERT_EQ(run(entry, &r), 1);
            EXPECT_EQ(r.out_eax, 42u) << c.what;
        }
    }
}

// The receiver is argument word 0 (eax): a virtual call through method-table
// slot k reaches the method block in word 1 + k and calls its compiled code
// with the receiver and the other argument words where they were.
REGCALL static int slot_marker0(int recv, int b, int c) { return 1000 + b + c; }
REGCALL static int slot_marker1(int recv, int b, int c) { return 2000 + b + c; }
REGCALL static int slot_receiver(int recv, int b, int c, int w3) { return recv - b - c - w3; }

TEST(CallSequence, VirtualThroughTheMethodTable)
{
    setup_area();
    static methodblock mbs[3];
    static u4 mt[4];
    static u4 object[3];
    mbs[0].compiled_code = (void*)slot_marker0;
    mbs[1].compiled_code = (void*)slot_marker1;
    mbs[2].compiled_code = (void*)slot_receiver;
    mt[0] = 0xC1A55;
    for (int k = 0; k < 3; k++)
        mt[1 + k] = (u4)(uintptr_t)&mbs[k];
    object[1] = (u4)(uintptr_t)mt;   // the object is &object[1]: word 0 the method table
    u4 recv = (u4)(uintptr_t)&object[1];
    const u4 expect[3] = {1000 + 20 + 3, 2000 + 20 + 3, recv - 20 - 3 - 7};
    const u4 stack_word[1] = {7};
    for (u4 slot = 0; slot < 3; slot++) {
        // Scratch esi: the argument registers stay untouched.
        u1* entry = generate([=](codegen_context* cg) { gen_call_virtual_slot(cg, GR_EAX, GR_ESI, slot); });
        run_record r = {};
        r.eax = recv;
        r.edx = 20;
        r.ecx = 3;
        r.nwords = 1;
        r.words = stack_word;
        ASSERT_EQ(run(entry, &r), 1);
        EXPECT_EQ(r.out_eax, expect[slot]) << "slot " << slot;
    }
    // The scratch register may be the receiver's own.
    u1* entry = generate([](codegen_context* cg) {
        _gen_move_gr_gr(cg, GR_ESI, GR_EAX);
        gen_call_virtual_slot(cg, GR_ESI, GR_ESI, 1);
    });
    run_record r = {};
    r.eax = recv;
    r.edx = 1;
    r.ecx = 2;
    ASSERT_EQ(run(entry, &r), 1);
    EXPECT_EQ(r.out_eax, 2003u);
}

// ---------------------------------------------------------------------------
// Intrinsics
// ---------------------------------------------------------------------------
static classblock cls_object, cls_class, cls_math, cls_strict, cls_other;
static void name_classes(void)
{
    cls_object.name = "java/lang/Object";
    cls_class.name = "java/lang/Class";
    cls_math.name = "java/lang/Math";
    cls_strict.name = "java/lang/StrictMath";
    cls_other.name = "java/lang/Number";
}
REGCALL static int real_call_marker(void) { return 0x77; }

TEST(Intrinsic, GetClassInlineAndArrayCall)
{
    setup_area();
    name_classes();
    static methodblock m;
    m.clazz = &cls_object;
    m.name = "getClass";
    m.signature = "()Ljava/lang/Class;";
    m.compiled_code = (void*)real_call_marker;
    u1* entry = generate([](codegen_context* cg) { ASSERT_EQ(gen_intrinsic_invoke(cg, &m), 1); });
    static u4 mt[2] = {0xC1A55B10u, 0};
    static u4 obj[3] = {0, (u4)(uintptr_t)mt, 0x00000000};
    run_record r = {};
    r.eax = (u4)(uintptr_t)&obj[1];
    ASSERT_EQ(run(entry, &r), 1);
    EXPECT_EQ(r.out_eax, 0xC1A55B10u);
    obj[2] = 0x2;                    // flag bit 1: word 0 is not a method table
    r = {};
    r.eax = (u4)(uintptr_t)&obj[1];
    ASSERT_EQ(run(entry, &r), 1);
    EXPECT_EQ(r.out_eax, 0x77u);
}

TEST(Intrinsic, GetNameCachedOrCall)
{
    setup_area();
    name_classes();
    static methodblock m;
    m.clazz = &cls_class;
    m.name = "getName";
    m.signature = "()Ljava/lang/String;";
    m.compiled_code = (void*)real_call_marker;
    u1* entry = generate([](codegen_context* cg) { ASSERT_EQ(gen_intrinsic_invoke(cg, &m), 1); });
    static u4 cb[32];
    cb[INVOKE_CB_NAME_STRING / 4] = 0x5757;
    run_record r = {};
    r.eax = (u4)(uintptr_t)cb;
    ASSERT_EQ(run(entry, &r), 1);
    EXPECT_EQ(r.out_eax, 0x5757u);
    cb[INVOKE_CB_NAME_STRING / 4] = 0;
    r = {};
    r.eax = (u4)(uintptr_t)cb;
    ASSERT_EQ(run(entry, &r), 1);
    EXPECT_EQ(r.out_eax, 0x77u);
}

TEST(Intrinsic, OtherMethodsDecline)
{
    name_classes();
    methodblock m = {};
    m.clazz = &cls_other;
    m.name = "getClass";
    m.signature = "()Ljava/lang/Class;";
    codegen_context cg = {};
    u1 buf[64];
    cg.pass = CG_PASS_WRITE;
    cg.code = buf;
    EXPECT_EQ(gen_intrinsic_invoke(&cg, &m), 0);
    EXPECT_EQ(cg.code, buf);
}

struct math_case {
    classblock* cls;
    const char* name;
    const char* sig;
    int replaced;
    double a, b, expect;
};

// The compiler library refers to the math library weakly (it lives in the
// VM); a static archive member is linked only for a strong reference.
extern "C" {
__attribute__((used)) void* math_library_used[] = {(void*)jsin, (void*)jcos, (void*)jtan, (void*)jasin, (void*)jacos,
                                   (void*)jatan, (void*)jexp, (void*)jrint, (void*)jfloor, (void*)jceil,
                                   (void*)jlog, (void*)jsqrt, (void*)jcosh, (void*)jsinh, (void*)jtanh,
                                   (void*)jlog10, (void*)jfabs, (void*)jpow, (void*)jatan2,
                                   (void*)jremainder, (void*)jmod};
}

TEST(Intrinsic, MathLibraryCalls)
{
    ASSERT_NE(math_library_used[0], nullptr);
    setup_area();
    name_classes();
    const math_case cases[] = {
        {&cls_math, "sin", "(D)D", 1, 0.5, 0, sin(0.5)},
        {&cls_strict, "sin", "(D)D", 1, 0.5, 0, sin(0.5)},
        {&cls_math, "sqrt", "(D)D", 1, 2.0, 0, sqrt(2.0)},
        {&cls_math, "abs", "(D)D", 1, -3.5, 0, 3.5},
        {&cls_math, "floor", "(D)D", 1, -1.5, 0, -2.0},
        {&cls_math, "pow", "(DD)D", 1, 2.0, 10.0, 1024.0},
        {&cls_math, "atan2", "(DD)D", 1, 1.0, 2.0, atan2(1.0, 2.0)},
        {&cls_strict, "IEEEremainder", "(DD)D", 1, 5.0, 3.0, -1.0},
        {&cls_math, "max", "(DD)D", 0, 0, 0, 0},
        {&cls_math, "min", "(DD)D", 0, 0, 0, 0},
        {&cls_math, "hypot", "(DD)D", 0, 0, 0, 0},
        {&cls_math, "toRadians", "(D)D", 0, 0, 0, 0},
        {&cls_math, "toDegrees", "(D)D", 0, 0, 0, 0},
        {&cls_math, "abs", "(I)I", 0, 0, 0, 0},
        {&cls_other, "sin", "(D)D", 0, 0, 0, 0},
    };
    for (const math_case& c : cases) {
        methodblock m = {};
        m.clazz = c.cls;
        m.name = c.name;
        m.signature = c.sig;
        std::string what = std::string(c.cls->name) + "." + c.name + c.sig;
        if (!c.replaced) {
            codegen_context cg = {};
            u1 buf[64];
            cg.pass = CG_PASS_WRITE;
            cg.code = buf;
            EXPECT_EQ(gen_intrinsic_invoke(&cg, &m), 0) << what;
            EXPECT_EQ(cg.code, buf) << what << ": declined but emitted";
            continue;
        }
        int got = -1;
        u1* entry = generate([&](codegen_context* cg) { got = gen_intrinsic_invoke(cg, &m); });
        EXPECT_EQ(got, 1) << what;
        // Java argument order: the first argument at the higher address.
        u4 words[4];
        u4 n = 0;
        auto put = [&](double d) {
            u4 w[2];
            memcpy(w, &d, 8);
            words[n++] = w[1];
            words[n++] = w[0];
        };
        put(c.a);
        if (strcmp(c.sig, "(DD)D") == 0)
            put(c.b);
        run_record r = {};
        r.nwords = n;
        r.words = words;
        r.want_fp = 1;
        ASSERT_EQ(run(entry, &r), 1) << what;
        EXPECT_EQ(r.fp, c.expect) << what;
    }
}
