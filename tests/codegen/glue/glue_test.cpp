// Method glue: frame layout, stack-depth tables, the interpreter entry glue
// and the native-method glue.  Native glue is generated for a table of
// signatures and called the way the VM calls an invoker (ecx = argument
// words, word 0 highest) or the way compiled code calls a compiled entry,
// on a stack inside an aligned thread area whose EE, interpreter frame and
// transition chain are checked while the native runs and after it returns.
#include <gtest/gtest.h>
#include <setjmp.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include <vector>

#include "codegen/cg_core.h"
#include "codegen/glue/gen_glue.h"
#include "driver/driver.h"

// ---------------------------------------------------------------------------
// glue_call.S
// ---------------------------------------------------------------------------
struct glue_call_record {
    void* entry;            // 0
    const u4* words;        // 4
    u4 nargs;               // 8
    u1* stack;              // 12
    u4 mode;                // 16: 0 invoker call, 1 compiled call
    u4 regs[3];             // 20
    u4 want_fp;             // 32
    u4 saved_esp;           // 36
    u4 esp_before;          // 40
    u4 eax, edx, ebx, ebp;  // 44
    u4 esp_after;           // 60
    double fp;              // 64
    u4 raise_code;          // 72
    u4 raise_ebx, raise_ebp, raise_ecx, raise_esp, raise_ret;   // 76
    u4 sync_enters, sync_obj, sync_ebp;                          // 96
    u4 sync_exits, sync_exit_ebp, sync_exit_eax;                 // 108
};
static_assert(offsetof(glue_call_record, saved_esp) == 36);
static_assert(offsetof(glue_call_record, fp) == 64);
static_assert(offsetof(glue_call_record, raise_code) == 72);
static_assert(offsetof(glue_call_record, raise_ret) == 92);
static_assert(offsetof(glue_call_record, sync_enters) == 96);
static_assert(offsetof(glue_call_record, sync_exit_eax) == 116);

extern "C" int glue_call(glue_call_record* r);
extern "C" void test_raise_thrown(void);
extern "C" void test_raise_linkerror(void);
extern "C" void test_sync_enter(void);
extern "C" void test_sync_exit(void);

// ---------------------------------------------------------------------------
// Services the glue reaches, faked.
// ---------------------------------------------------------------------------
extern "C" {
u4 orva_tla_mask = 0xFFFC0000u;
}
static void* decode[160];
extern "C" void** _GET_DECODE_TABLE_BASE(void) { return decode; }

const char* cg_missing_service;
static sigjmp_buf* missing_target;
void cg_service_missing(const char* name)
{
    cg_missing_service = name;
    if (missing_target != nullptr)
        siglongjmp(*missing_target, 1);
    abort();
}
void* jit_wmem_alloc(work_pool*, u4 size) { return calloc(1, size); }
void jit_code_mem_alloc(void** out, method_compile_context*, u4 size) { *out = malloc(size); }
void save_callee_saved_regs(codegen_context*) {}
s4 orva_os_type = 12;
extern "C" void _orva_ExceptionHandler(void) {}

// Profiler state and services (the glue reads them when it is generated).
u4 jit_jvmpi_internal_flags;
s4 orva_processor_num = 1;
struct profiler_event { u4 ee, object, mb; };
static std::vector<profiler_event> entries, exits;
static void fake_method_entry(EE* ee, u4 object, methodblock* mb)
{
    entries.push_back({(u4)(uintptr_t)ee, object, (u4)(uintptr_t)mb});
}
static void fake_method_exit(EE* ee, methodblock* mb) { exits.push_back({(u4)(uintptr_t)ee, 0, (u4)(uintptr_t)mb}); }

static u1* area;           // 256 KB thread area
static u4* ee_words;       // the EE at area + 0x100
static u4 jframe[16];      // the current interpreter frame
static u4 old_record[4];   // the transition record that is the chain head before the call
static thread_compile_record compile_rec;

static EE* fake_ee(void) { return reinterpret_cast<EE*>(ee_words); }

static void* dyno_result;
static int dyno_calls;
static u4 dyno_frame_word;   // the word at the glue record's frame address
static u4* ee_words_for_dyno(void);
static void* fake_dyno(methodblock*, u4* out)
{
    dyno_calls++;
    u4* rec = reinterpret_cast<u4*>((uintptr_t)ee_words_for_dyno()[EE_TRANSITION / 4]);
    dyno_frame_word = *reinterpret_cast<u4*>((uintptr_t)(rec[1] & ~1u));
    *out = 1;
    return dyno_result;
}

// The fakes go into the record of the VM's services before any test runs.
static const bool fakes_bound = [] {
    vm.jvmpi_method_entry = fake_method_entry;
    vm.jvmpi_method_exit = fake_method_exit;
    vm.EE = fake_ee;
    vm.dynoLink = fake_dyno;
    return true;
}();

static u4* ee_words_for_dyno(void) { return ee_words; }

static void setup_area(void)
{
    if (area == nullptr) {
        u1* raw = static_cast<u1*>(mmap(nullptr, 0x80000, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        area = reinterpret_cast<u1*>(((uintptr_t)raw + 0x3FFFF) & ~(uintptr_t)0x3FFFF);
        decode[RT_THROW_THROWN] = (void*)&test_raise_thrown;
        decode[RT_THROW_LINKERROR] = (void*)&test_raise_linkerror;
        for (int k = RT_SYNC_ENTER_FIRST; k < RT_SYNC_EXIT_FIRST; k++)
            decode[k] = (void*)&test_sync_enter;
        for (int k = RT_SYNC_EXIT_FIRST; k <= 140; k++)
            decode[k] = (void*)&test_sync_exit;
        decode[RT_BACKPATCH_INVOCATION] = (void*)&abort;
    }
    memset(area, 0, 0x1000);
    ee_words = reinterpret_cast<u4*>(area + 0x100);
    reinterpret_cast<u4*>(area)[1] = (u4)(uintptr_t)ee_words;
    memset(jframe, 0, sizeof jframe);
    jframe[JF_JNI_TOP / 4] = 0x1111;
    jframe[JF_JNI_FRAMES / 4] = 0x2222;
    jframe[JF_JNI_CRITICAL / 4] = 0x3333;
    ee_words[EE_CURRENT_FRAME / 4] = (u4)(uintptr_t)jframe;
    ee_words[EE_TRANSITION / 4] = (u4)(uintptr_t)old_record;
    ee_words[EE_COMPILE_RECORD / 4] = (u4)(uintptr_t)&compile_rec;
}

// ---------------------------------------------------------------------------
// What the natives see.
// ---------------------------------------------------------------------------
struct native_view {
    int calls;
    void* env;
    u4* first;              // class or receiver reference
    u4 args[8];
    long long j;
    double d[2];
    u4* refs[2];
    u4 head;                // EE transition head during the call
    u4 rec[4];              // the record it points to
    u4 critical, top, frames;
    u4 ret_addr;            // the native's return address
};
static native_view seen;
static u4 ret_value;
static long long ret_long;
static int raise_in_native;

static void note_state(void* env, u4* first)
{
    seen.calls++;
    seen.env = env;
    seen.first = first;
    seen.head = ee_words[EE_TRANSITION / 4];
    memcpy(seen.rec, reinterpret_cast<u4*>((uintptr_t)seen.head), sizeof seen.rec);
    seen.critical = jframe[JF_JNI_CRITICAL / 4];
    seen.top = jframe[JF_JNI_TOP / 4];
    seen.frames = jframe[JF_JNI_FRAMES / 4];
    // The glue leaves the environment work and frame state alone otherwise:
    // a native may change the interpreter frame's JNI words; the glue puts
    // them back.
    jframe[JF_JNI_TOP / 4] = 0x9999;
    jframe[JF_JNI_CRITICAL / 4] = 0x7777;
    if (raise_in_native)
        ee_words[EE_EXCEPTION_KIND / 4] = 1;
}

#define NOTE() (note_state(env, first), seen.ret_addr = (u4)(uintptr_t)__builtin_return_address(0))

extern "C" {
static void nat_v(void* env, u4* first) { NOTE(); }
static u4 nat_ret(void* env, u4* first) { NOTE(); return ret_value; }
static long long nat_retj(void* env, u4* first) { NOTE(); return ret_long; }
static float nat_retf(void* env, u4* first) { NOTE(); return 2.5f; }
static double nat_retd(void* env, u4* first) { NOTE(); return -7.25; }
static int nat_iiii(void* env, u4* first, int a, int b, int c, int d)
{
    NOTE();
    seen.args[0] = a; seen.args[1] = b; seen.args[2] = c; seen.args[3] = d;
    return a * 1000 + b * 100 + c * 10 + d;
}
static void nat_j(void* env, u4* first, long long x) { NOTE(); seen.j = x; }
static void nat_di(void* env, u4* first, double d, int i) { NOTE(); seen.d[0] = d; seen.args[0] = i; }
static int nat_ddi(void* env, u4* first, double a, double b, int i)
{
    NOTE();
    seen.d[0] = a; seen.d[1] = b; seen.args[0] = i;
    return i + 1;
}
static int nat_iji(void* env, u4* first, int a, long long x, int b)
{
    NOTE();
    seen.args[0] = a; seen.j = x; seen.args[1] = b;
    return 77;
}
static u4* nat_refs(void* env, u4* first, u4* a, u4* b)
{
    NOTE();
    seen.refs[0] = a; seen.refs[1] = b;
    return b;
}
static float nat_fz(void* env, u4* first, float f, int z) { NOTE(); seen.args[0] = z; return f * 2; }
}

// ---------------------------------------------------------------------------
// Generating a glue.
// ---------------------------------------------------------------------------
struct glue {
    classblock cb;
    methodblock mb;
    method_compile_context m;
    method_code_info mci;
    codegen_context cg;
    u1* start;
    u1* invoker;
    u1* compiled;
    u4 used;
    u4 budget;
    const u1* table;
};

static u1* code_area(void)
{
    static u1* page;
    static u4 used;
    if (page == nullptr)
        page = static_cast<u1*>(mmap(nullptr, 1 << 20, PROT_READ | PROT_WRITE | PROT_EXEC,
                                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    u1* p = page + used;
    used += 16384;
    if (used >= (1 << 20))
        used = 0;
    return p;
}

static u2 args_of(const char* sig, int is_static)
{
    u2 n = is_static ? 0 : 1;
    for (const char* p = sig + 1; *p != ')'; p++) {
        if (*p == 'J' || *p == 'D')
            n += 2;
        else if (*p == 'L') {
            while (*p != ';')
                p++;
            n++;
        } else if (*p == '[') {
            while (*p == '[')
                p++;
            if (*p == 'L') {
                while (*p != ';')
                    p++;
            }
            n++;
        } else {
            n++;
        }
    }
    return n;
}

// Returns 0 when the glue declined (a routine is missing).
static int make_glue(glue* g, const char* sig, u2 access, void* fn, u4 start_offset = 0)
{
    setup_area();
    cg_missing_service = nullptr;
    memset(g, 0, sizeof *g);
    g->cb.name = "Glue";
    g->mb.clazz = &g->cb;
    g->mb.name = "nat";
    g->mb.signature = sig;
    g->mb.access = (u2)(access | GLUE_ACC_NATIVE);
    g->mb.args_size = args_of(sig, access & GLUE_ACC_STATIC);
    g->mb.native_code = fn;
    g->m.mb = &g->mb;
    g->m.pool2 = reinterpret_cast<work_pool*>(1);
    g->start = code_area() + start_offset;
    g->cg.mb = &g->mb;
    g->cg.m = &g->m;
    g->cg.mci = &g->mci;
    g->cg.flags = CG_SCHED_OFF;
    g->cg.pass = CG_PASS_WRITE;
    g->cg.code = g->start;
    g->mci.code_start = g->start;
    u4 a = g->mb.args_size;
    u4 pad = a <= 3 ? 3 * a + 25 : 34;
    g->budget = pad + getNativeMethodGlueSize(&g->mb);
    sigjmp_buf target;
    missing_target = &target;
    if (sigsetjmp(target, 0) != 0) {
        missing_target = nullptr;
        return 0;
    }
    adjust_method_entry_point(&g->cg, &g->mb, &pad);
    g->invoker = g->cg.code;
    gen_JNInativemethod_glue(&g->cg, pad);
    g->compiled = g->invoker + pad + 10;
    g->used = (u4)(g->cg.code - g->start);
    compile_rec.md_word1 = 0;
    create_sp_offset_info(&g->cg, &g->m, g->used);
    g->table = reinterpret_cast<const u1*>((uintptr_t)compile_rec.md_word1);
    missing_target = nullptr;
    return 1;
}

static glue_call_record call_rec;
static u4 call_words[64];

// Calls the glue; words in Java slot order (a long's high half first).
static int call_glue(glue* g, std::vector<u4> words, int want_fp = 0, int compiled = 0)
{
    setup_area();
    memset(&seen, 0, sizeof seen);
    memset(&call_rec, 0, sizeof call_rec);
    for (size_t i = 0; i < words.size(); i++)
        call_words[i] = words[i];
    call_rec.entry = compiled ? g->compiled : g->invoker;
    call_rec.words = call_words;
    call_rec.nargs = (u4)words.size();
    call_rec.stack = area + 0x3F000;
    call_rec.want_fp = (u4)want_fp;
    call_rec.mode = (u4)compiled;
    return glue_call(&call_rec);
}

static u4 E_of(void) { return call_rec.esp_before - 4; }

// The state every returning call must leave.
static void expect_restored(void)
{
    EXPECT_EQ(call_rec.esp_after, call_rec.esp_before) << "the caller pops the arguments";
    EXPECT_EQ(call_rec.ebx, 0xB0B0B0B0u);
    EXPECT_EQ(call_rec.ebp, 0xE0E0E0E0u);
    EXPECT_EQ(ee_words[EE_TRANSITION / 4], (u4)(uintptr_t)old_record);
    EXPECT_EQ(jframe[JF_JNI_TOP / 4], 0x1111u);
    EXPECT_EQ(jframe[JF_JNI_FRAMES / 4], 0x2222u);
    EXPECT_EQ(jframe[JF_JNI_CRITICAL / 4], 0x3333u);
}

// The state the native saw: the glue's record at the chain head.
static void expect_native_state(glue* g)
{
    EXPECT_EQ(seen.env, (void*)ee_words);
    EXPECT_EQ(seen.critical, 0u);
    EXPECT_EQ(seen.top, 0x1111u);
    EXPECT_EQ(seen.frames, 0x2222u);
    EXPECT_EQ(seen.rec[0], (u4)(uintptr_t)old_record | 1);
    EXPECT_EQ(seen.rec[3], 0xE0E0E0E0u) << "word 3: the caller's ebp";
    EXPECT_EQ(seen.rec[1] & 1, 1u);
    u4 frame = seen.rec[1] & ~1u;
    EXPECT_EQ(*reinterpret_cast<u4*>((uintptr_t)frame), seen.ret_addr) << "frame address holds the return address";
    // The table gives the glue's depth at the native call: the return-
    // address slot + 4 x depth + 4 is E, the slot of the glue's own return
    // address, from where a walk continues into the caller.
    u4 off = seen.ret_addr - (u4)(uintptr_t)g->start;
    u4 depth = sp_offset_table_depth(g->table, off);
    EXPECT_EQ(frame + 4 * depth + 4, E_of());
}

TEST(NativeGlue, StaticNoParametersPassesEnvAndClassSlot)
{
    glue g;
    ASSERT_TRUE(make_glue(&g, "()V", GLUE_ACC_STATIC, (void*)&nat_v));
    EXPECT_LE(g.used, g.budget);
    EXPECT_EQ((uintptr_t)g.compiled % 16, 0u) << "entry point aligned";
    ASSERT_EQ(call_glue(&g, {}), 1);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(*seen.first, (u4)(uintptr_t)&g.cb);
    // FS = 52: the class slot is at E - 4.
    EXPECT_EQ((u4)(uintptr_t)seen.first, E_of() - 4);
    EXPECT_EQ(seen.rec[1] & ~1u, E_of() - 52 - 4) << "frame address E - FS - 4";
    expect_native_state(&g);
    expect_restored();
    // The trailer: 0xCCCCCCCC and the method block.
    const u4* tail = reinterpret_cast<const u4*>(g.start + g.used - 8);
    EXPECT_EQ(tail[0], 0xCCCCCCCCu);
    EXPECT_EQ(tail[1], (u4)(uintptr_t)&g.mb);
    EXPECT_EQ(g.used % 4, 0u);
}

TEST(NativeGlue, InstanceIntsFromRegistersAndCallerArea)
{
    glue g;
    ASSERT_TRUE(make_glue(&g, "(IIII)I", 0, (void*)&nat_iiii));
    EXPECT_LE(g.used, g.budget);
    u4 receiver = 0x12345678;
    ASSERT_EQ(call_glue(&g, {receiver, 1, 2, 3, 4}), 1);
    EXPECT_EQ(*seen.first, receiver);
    EXPECT_EQ(seen.args[0], 1u);
    EXPECT_EQ(seen.args[1], 2u);
    EXPECT_EQ(seen.args[2], 3u);
    EXPECT_EQ(seen.args[3], 4u);
    EXPECT_EQ(call_rec.eax, 1234u);
    expect_native_state(&g);
    expect_restored();
}

TEST(NativeGlue, CompiledCallTakesRegisterArguments)
{
    glue g;
    ASSERT_TRUE(make_glue(&g, "(IIII)I", 0, (void*)&nat_iiii));
    setup_area();
    // Compiled convention: receiver, 5, 6 in eax, edx, ecx; the caller's
    // area holds all words, the register ones unused (garbage here).
    call_rec = {};
    memset(&seen, 0, sizeof seen);
    u4 words[5] = {0xBAD0, 0xBAD1, 0xBAD2, 7, 8};
    call_rec.entry = g.compiled;
    call_rec.words = words;
    call_rec.nargs = 5;
    call_rec.stack = area + 0x3F000;
    call_rec.mode = 1;
    call_rec.regs[0] = 0xABCD;
    call_rec.regs[1] = 5;
    call_rec.regs[2] = 6;
    ASSERT_EQ(glue_call(&call_rec), 1);
    EXPECT_EQ(*seen.first, 0xABCDu);
    EXPECT_EQ(seen.args[0], 5u);
    EXPECT_EQ(seen.args[1], 6u);
    EXPECT_EQ(seen.args[2], 7u);
    EXPECT_EQ(seen.args[3], 8u);
    EXPECT_EQ(call_rec.eax, 5678u);
}

TEST(NativeGlue, LongArgumentsAreLittleEndianValues)
{
    long long v = 0x1122334455667788LL;
    u4 hi = (u4)((unsigned long long)v >> 32), lo = (u4)v;
    struct { const char* sig; u2 access; std::vector<u4> words; } cases[] = {
        {"(J)V", 0, {0x42, hi, lo}},                   // both halves in edx, ecx
        {"(J)V", GLUE_ACC_STATIC, {hi, lo}},           // eax, edx
        {"(IIJ)V", GLUE_ACC_STATIC, {9, 9, hi, lo}},   // first half in ecx, second in memory
    };
    for (auto& c : cases) {
        glue g;
        ASSERT_TRUE(make_glue(&g, c.sig, c.access, (void*)&nat_j));
        // (IIJ) passes its ints first; read the long from the last two JNI words.
        ASSERT_EQ(call_glue(&g, c.words), 1) << c.sig;
        if (strcmp(c.sig, "(IIJ)V") != 0)
            EXPECT_EQ(seen.j, v) << c.sig;
        expect_restored();
    }
}

TEST(NativeGlue, MixedIntLongInt)
{
    glue g;
    ASSERT_TRUE(make_glue(&g, "(IJI)I", 0, (void*)&nat_iji));
    long long v = -5000000000LL;
    u4 hi = (u4)((unsigned long long)v >> 32), lo = (u4)v;
    ASSERT_EQ(call_glue(&g, {0x77, 31, hi, lo, 32}), 1);
    EXPECT_EQ(seen.args[0], 31u);
    EXPECT_EQ(seen.j, v);
    EXPECT_EQ(seen.args[1], 32u);
    EXPECT_EQ(call_rec.eax, 77u);
}

TEST(NativeGlue, DoublesComeFromTheCallerArea)
{
    double d = 3.75, e = -1e300;
    u4 dw[2], ew[2];
    memcpy(dw, &d, 8);
    memcpy(ew, &e, 8);
    {
        glue g;
        ASSERT_TRUE(make_glue(&g, "(DI)V", GLUE_ACC_STATIC, (void*)&nat_di));
        ASSERT_EQ(call_glue(&g, {dw[1], dw[0], 42}), 1);
        EXPECT_EQ(seen.d[0], d);
        EXPECT_EQ(seen.args[0], 42u);
        expect_restored();
    }
    {
        glue g;
        ASSERT_TRUE(make_glue(&g, "(DDI)I", GLUE_ACC_STATIC, (void*)&nat_ddi));
        ASSERT_EQ(call_glue(&g, {dw[1], dw[0], ew[1], ew[0], 9}), 1);
        EXPECT_EQ(seen.d[0], d);
        EXPECT_EQ(seen.d[1], e);
        EXPECT_EQ(seen.args[0], 9u);
        EXPECT_EQ(call_rec.eax, 10u);
    }
}

TEST(NativeGlue, FloatArgumentAndResult)
{
    glue g;
    ASSERT_TRUE(make_glue(&g, "(FZ)F", GLUE_ACC_STATIC, (void*)&nat_fz));
    float f = 1.25f;
    u4 fw;
    memcpy(&fw, &f, 4);
    ASSERT_EQ(call_glue(&g, {fw, 1}, 1), 1);
    EXPECT_EQ(call_rec.fp, 2.5);
    EXPECT_EQ(seen.args[0], 1u);
    expect_restored();
}

TEST(NativeGlue, ReferencesAreSlotAddressesOrNull)
{
    glue g;
    ASSERT_TRUE(make_glue(&g, "(Ljava/lang/Object;[[I)[[I", GLUE_ACC_STATIC, (void*)&nat_refs));
    ASSERT_EQ(call_glue(&g, {0, 0xCAFE0}), 1);
    EXPECT_EQ(seen.refs[0], nullptr) << "null passes as 0";
    ASSERT_NE(seen.refs[1], nullptr);
    EXPECT_EQ(*seen.refs[1], 0xCAFE0u);
    EXPECT_EQ(call_rec.eax, 0xCAFE0u) << "the reference result is dereferenced";
    ASSERT_EQ(call_glue(&g, {0xAB0, 0}), 1);
    EXPECT_EQ(*seen.refs[0], 0xAB0u);
    EXPECT_EQ(seen.refs[1], nullptr);
    EXPECT_EQ(call_rec.eax, 0u) << "a null reference result stays null";
    expect_restored();
}

TEST(NativeGlue, IntegerResultsAreNarrowed)
{
    struct { const char* sig; u4 value; u4 expected; } cases[] = {
        {"()Z", 0x100, 0},         {"()Z", 0x101, 1},          {"()B", 0xFF, 0xFFFFFFFF},
        {"()B", 0x17F, 0x7F},      {"()C", 0xFFFFFFFF, 0xFFFF}, {"()S", 0x18000, 0xFFFF8000},
        {"()S", 0x7FFF, 0x7FFF},   {"()I", 0xDEADBEEF, 0xDEADBEEF},
    };
    for (auto& c : cases) {
        glue g;
        ASSERT_TRUE(make_glue(&g, c.sig, GLUE_ACC_STATIC, (void*)&nat_ret));
        ret_value = c.value;
        ASSERT_EQ(call_glue(&g, {}), 1);
        EXPECT_EQ(call_rec.eax, c.expected) << c.sig << " " << std::hex << c.value;
        expect_restored();
    }
}

TEST(NativeGlue, LongFloatDoubleResults)
{
    {
        glue g;
        ASSERT_TRUE(make_glue(&g, "()J", GLUE_ACC_STATIC, (void*)&nat_retj));
        ret_long = 0x0102030405060708LL;
        ASSERT_EQ(call_glue(&g, {}), 1);
        EXPECT_EQ(call_rec.eax, 0x05060708u);
        EXPECT_EQ(call_rec.edx, 0x01020304u);
        expect_restored();
    }
    {
        glue g;
        ASSERT_TRUE(make_glue(&g, "()F", GLUE_ACC_STATIC, (void*)&nat_retf));
        ASSERT_EQ(call_glue(&g, {}, 1), 1);
        EXPECT_EQ(call_rec.fp, 2.5);
    }
    {
        glue g;
        ASSERT_TRUE(make_glue(&g, "()D", 0, (void*)&nat_retd));
        ASSERT_EQ(call_glue(&g, {5}, 1), 1);
        EXPECT_EQ(call_rec.fp, -7.25);
        expect_restored();
    }
}

TEST(NativeGlue, PendingExceptionIsRaisedAfterTheStateIsUndone)
{
    glue g;
    ASSERT_TRUE(make_glue(&g, "(I)I", GLUE_ACC_STATIC, (void*)&nat_ret));
    raise_in_native = 1;
    int r = call_glue(&g, {3});
    raise_in_native = 0;
    ASSERT_EQ(r, 2);
    EXPECT_EQ(call_rec.raise_code, (u4)RT_THROW_THROWN);
    EXPECT_EQ(call_rec.raise_ebx, 0xB0B0B0B0u) << "ebx restored before the raise";
    EXPECT_EQ(ee_words[EE_TRANSITION / 4], (u4)(uintptr_t)old_record);
    EXPECT_EQ(jframe[JF_JNI_CRITICAL / 4], 0x3333u);
    EXPECT_EQ(jframe[JF_JNI_TOP / 4], 0x1111u);
    // The raiser's return address lies in the glue, and the table gives the
    // depth that leads to the caller's stack pointer.
    u4 off = call_rec.raise_ret - (u4)(uintptr_t)g.start;
    EXPECT_LT(off, g.used);
    u4 depth = sp_offset_table_depth(g.table, off);
    EXPECT_EQ(call_rec.raise_esp + 4 * depth + 4, E_of());
    ee_words[EE_EXCEPTION_KIND / 4] = 0;
}

TEST(NativeGlue, UnboundFunctionIsBoundOnTheFirstCall)
{
    glue g;
    ASSERT_TRUE(make_glue(&g, "(IIII)I", 0, (void*)&nat_iiii));
    g.mb.native_code = nullptr;
    dyno_result = (void*)&nat_iiii;
    dyno_calls = 0;
    ASSERT_EQ(call_glue(&g, {0x55, 4, 3, 2, 1}), 1);
    EXPECT_EQ(dyno_calls, 1);
    EXPECT_EQ(g.mb.native_code, (void*)&nat_iiii);
    EXPECT_EQ(call_rec.eax, 4321u) << "arguments already marshalled survive the binding";
    expect_restored();
    // While the binding service ran, the record's frame address held a
    // position in the glue whose depth leads a walk to E.
    u4 off = dyno_frame_word - (u4)(uintptr_t)g.start;
    EXPECT_LT(off, g.used);
    EXPECT_EQ(4 * sp_offset_table_depth(g.table, off), 3u * 4 + 5 * 4 + 44) << "depth FS / 4 at the call";
    ASSERT_EQ(call_glue(&g, {0x55, 1, 1, 1, 1}), 1);
    EXPECT_EQ(dyno_calls, 1) << "bound for later calls";
}

TEST(NativeGlue, UnbindableFunctionRaisesLinkErrorWithNothingLeftLinked)
{
    glue g;
    ASSERT_TRUE(make_glue(&g, "(I)V", GLUE_ACC_STATIC | GLUE_ACC_SYNCHRONIZED, (void*)&nat_v));
    g.mb.native_code = nullptr;
    dyno_result = nullptr;
    ASSERT_EQ(call_glue(&g, {1}), 2);
    EXPECT_EQ(call_rec.raise_code, (u4)RT_THROW_LINKERROR);
    EXPECT_EQ(call_rec.raise_ecx, (u4)(uintptr_t)&g.mb);
    EXPECT_EQ(call_rec.raise_ebx, 0xB0B0B0B0u);
    EXPECT_EQ(call_rec.raise_ebp, 0xE0E0E0E0u) << "the caller's ebp is back before the raise";
    EXPECT_EQ(ee_words[EE_TRANSITION / 4], (u4)(uintptr_t)old_record);
    EXPECT_EQ(jframe[JF_JNI_CRITICAL / 4], 0x3333u);
    EXPECT_EQ(g.mb.native_code, nullptr);
    u4 depth = sp_offset_table_depth(g.table, call_rec.raise_ret - (u4)(uintptr_t)g.start);
    EXPECT_EQ(call_rec.raise_esp + 4 * depth + 4, E_of());
}

TEST(NativeGlue, ProfilerEventsAroundTheCall)
{
    jit_jvmpi_internal_flags = 1;
    entries.clear();
    exits.clear();
    glue g;
    int made = make_glue(&g, "(IJ)J", 0, (void*)&nat_retj);
    glue s;
    int made_static = make_glue(&s, "()V", GLUE_ACC_STATIC | GLUE_ACC_SYNCHRONIZED, (void*)&nat_v);
    jit_jvmpi_internal_flags = 0;
    ASSERT_TRUE(made && made_static);
    EXPECT_LE(g.used, g.budget);
    EXPECT_LE(s.used, s.budget);
    ret_long = -2;
    ASSERT_EQ(call_glue(&g, {0x600, 1, 2, 3}), 1);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].ee, (u4)(uintptr_t)ee_words);
    EXPECT_EQ(entries[0].object, 0x600u) << "the receiver";
    EXPECT_EQ(entries[0].mb, (u4)(uintptr_t)&g.mb);
    ASSERT_EQ(exits.size(), 1u);
    EXPECT_EQ(exits[0].mb, (u4)(uintptr_t)&g.mb);
    EXPECT_EQ(call_rec.eax, 0xFFFFFFFEu) << "the result survives the exit event";
    EXPECT_EQ(call_rec.edx, 0xFFFFFFFFu);
    expect_restored();
    ASSERT_EQ(call_glue(&s, {}), 1);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].object, (u4)(uintptr_t)&s.cb) << "the class of a static method";
    EXPECT_EQ(call_rec.sync_exits, 1u);
    expect_restored();
}

TEST(NativeGlue, SynchronizedNativesLockAroundTheCall)
{
    {
        glue g;
        ASSERT_TRUE(make_glue(&g, "(I)I", GLUE_ACC_SYNCHRONIZED, (void*)&nat_ret));
        EXPECT_LE(g.used, g.budget);
        ret_value = 0x1FF;
        ASSERT_EQ(call_glue(&g, {0x4444, 2}), 1);
        EXPECT_EQ(call_rec.sync_enters, 1u);
        EXPECT_EQ(call_rec.sync_obj, 0x4444u) << "the receiver is the lock";
        EXPECT_EQ(call_rec.sync_ebp, E_of());
        EXPECT_EQ(call_rec.sync_exits, 1u);
        EXPECT_EQ(call_rec.sync_exit_ebp, E_of());
        EXPECT_EQ(call_rec.eax, 0x1FFu);
        expect_restored();
    }
    {
        glue g;
        ASSERT_TRUE(make_glue(&g, "()V", GLUE_ACC_STATIC | GLUE_ACC_SYNCHRONIZED, (void*)&nat_v));
        ASSERT_EQ(call_glue(&g, {}), 1);
        EXPECT_EQ(call_rec.sync_obj, (u4)(uintptr_t)&g.cb) << "the class is the lock";
        EXPECT_EQ(call_rec.sync_exits, 1u);
        EXPECT_EQ(seen.rec[1] & ~1u, E_of() - 64 - 4) << "FS = 64";
        expect_restored();
    }
}

TEST(NativeGlue, BudgetHoldsForLongSignatures)
{
    std::string many = "(";
    for (int i = 0; i < 40; i++)
        many += i % 4 == 0 ? "Ljava/lang/Object;" : i % 4 == 1 ? "J" : i % 4 == 2 ? "D" : "I";
    many += ")V";
    std::string refs = "(";
    for (int i = 0; i < 60; i++)
        refs += "[Ljava/lang/String;";
    refs += ")Ljava/lang/Object;";
    const char* sigs[] = {"(JJJ)J", "(Ljava/lang/String;II[B)Ljava/lang/Object;", "(DDDDDDDD)D", many.c_str(), refs.c_str()};
    for (u4 profiler : {0u, 1u}) {
        jit_jvmpi_internal_flags = profiler;
        for (const char* sig : sigs) {
            for (u2 access : {(u2)0, (u2)GLUE_ACC_STATIC, (u2)GLUE_ACC_SYNCHRONIZED,
                              (u2)(GLUE_ACC_STATIC | GLUE_ACC_SYNCHRONIZED)}) {
                for (u4 offset : {0u, 1u, 3u, 15u}) {
                    glue g;
                    ASSERT_TRUE(make_glue(&g, sig, access, (void*)&nat_v, offset));
                    EXPECT_LE(g.used, g.budget) << sig << " access " << access << " profiler " << profiler;
                }
            }
        }
    }
    jit_jvmpi_internal_flags = 0;
}

TEST(NativeGlue, DeclinesWhenARoutineIsMissing)
{
    setup_area();
    void* saved = decode[RT_THROW_THROWN];
    decode[RT_THROW_THROWN] = nullptr;
    glue g;
    EXPECT_EQ(make_glue(&g, "()V", GLUE_ACC_STATIC, (void*)&nat_v), 0);
    EXPECT_STREQ(cg_missing_service, "THROW_EXCEPTION_THROWN");
    decode[RT_THROW_THROWN] = saved;
}

TEST(NativeGlue, SpillCountsAndExitKinds)
{
    struct { const char* sig; u2 access; int k; } cases[] = {
        {"()V", GLUE_ACC_STATIC, 1},  {"(J)V", 0, 3},        {"(IIII)I", 0, 3},
        {"(DI)V", GLUE_ACC_STATIC, 2}, {"(DDI)I", GLUE_ACC_STATIC, 2}, {"(FFF)V", GLUE_ACC_STATIC, 1},
        {"(IIJ)V", GLUE_ACC_STATIC, 4}, {"()V", 0, 1},
    };
    for (auto& c : cases) {
        glue g;
        memset(&g, 0, sizeof g);
        g.mb.signature = c.sig;
        g.mb.access = c.access;
        g.mb.args_size = args_of(c.sig, c.access & GLUE_ACC_STATIC);
        EXPECT_EQ(spill_JNI_register_args(&g.cg, &g.mb, 0, 0), c.k) << c.sig;
    }
    EXPECT_EQ(native_exit_kind('Z'), 'I');
    EXPECT_EQ(native_exit_kind('['), 'I');
    EXPECT_EQ(native_exit_kind('F'), 'D');
    EXPECT_EQ(native_exit_kind('J'), 'J');
    EXPECT_EQ(native_exit_kind('V'), 'V');
}

// ---------------------------------------------------------------------------
// Interpreter entry glue
// ---------------------------------------------------------------------------
TEST(InterpreterGlue, RegisterWordsFollowTheSignature)
{
    struct { const char* sig; u2 access; std::vector<int> words; } cases[] = {
        {"()V", GLUE_ACC_STATIC, {}},
        {"(JJ)V", 0, {0, 1, 2}},
        {"(DI)V", GLUE_ACC_STATIC, {2}},
        {"(FJ)V", GLUE_ACC_STATIC, {1, 2}},
        {"([[Ljava/lang/String;IZ)V", 0, {0, 1, 2}},
        {"(IIJ)V", GLUE_ACC_STATIC, {0, 1, 2}},
    };
    for (auto& c : cases) {
        methodblock mb = {};
        mb.signature = c.sig;
        mb.access = c.access;
        int words[3];
        int n = glue_register_words(&mb, words);
        ASSERT_EQ(n, (int)c.words.size()) << c.sig;
        for (int i = 0; i < n; i++)
            EXPECT_EQ(words[i], c.words[i]) << c.sig << " register " << i;
    }
}

TEST(InterpreterGlue, PaddedToItsLengthAndJumpsToTheEntry)
{
    for (u2 access : {(u2)GLUE_ACC_STATIC, (u2)(GLUE_ACC_STATIC | GLUE_ACC_NATIVE)}) {
        for (u4 args = 0; args <= 5; args++) {
            std::string sig = "(";
            for (u4 i = 0; i < args; i++)
                sig += "I";
            sig += ")V";
            glue g;
            memset(&g, 0, sizeof g);
            g.mb.signature = sig.c_str();
            g.mb.access = access;
            g.mb.args_size = (u2)args;
            g.cg.mb = &g.mb;
            g.cg.mci = &g.mci;
            g.cg.pass = CG_PASS_WRITE;
            u1 buf[64];
            g.cg.code = buf;
            g.mci.code_start = buf;
            // A Java method's glue is padded to its measured length; a
            // native's to the fixed reserve.
            u4 pad = glue_length(&g.cg, 0);
            if (access & GLUE_ACC_NATIVE) {
                u4 reserve = args <= 3 ? 3 * args + 25 : 34;
                EXPECT_LE(pad, reserve) << sig;
                pad = reserve;
            }
            g.cg.code = buf;
            u4 length = glue_length(&g.cg, pad);
            EXPECT_EQ((u4)(g.cg.code - buf), pad) << sig;
            // The jmp short lands on the entry point: after the padding and
            // the 10-byte pre-header.
            u1* jmp = buf + length - 2;
            EXPECT_EQ(jmp[0], 0xEB);
            EXPECT_EQ(jmp + 2 + jmp[1], buf + pad + 10) << sig;
            // lea edi, [esp+ecx*4] first.
            EXPECT_EQ(buf[0], 0x8D);
            EXPECT_EQ(buf[1], 0x3C);
            EXPECT_EQ(buf[2], 0x8C);
        }
    }
}

// ---------------------------------------------------------------------------
// Prologue
// ---------------------------------------------------------------------------
TEST(Prologue, RegistrationRecordAndHandlerSlot)
{
    setup_area();
    glue g;
    memset(&g, 0, sizeof g);
    g.mb.signature = "()V";
    g.mb.access = GLUE_ACC_STATIC;
    g.mb.exception_table_length = 1;
    g.m.local_count = 0;
    g.cg.mb = &g.mb;
    g.cg.m = &g.m;
    g.m.pool2 = reinterpret_cast<work_pool*>(1);
    g.cg.mci = &g.mci;
    g.cg.pass = CG_PASS_WRITE;
    u1 buf[256];
    memset(buf, 0, sizeof buf);
    g.cg.code = buf;
    g.mci.code_start = buf;
    // The glue's length as the measuring pass leaves it.
    codegen_context measure = g.cg;
    u1 tmp[64];
    measure.code = tmp;
    u4 pad = glue_length(&measure, 0);
    gen_method_prolog(&g.cg, &pad);
    ASSERT_NE(g.mci.handler_entry_slot, nullptr);
    EXPECT_EQ(*g.mci.handler_entry_slot, 0xDEADBEEFu);
    EXPECT_EQ(g.mci.sp_offset, -20) << "the 20-byte registration is the frame";
    // sub esp, 20 right after the glue and the pre-header.
    u1* p = buf + pad + 10;
    EXPECT_EQ(p[0], 0x83);
    EXPECT_EQ(p[1], 0xEC);
    EXPECT_EQ(p[2], 20);
}

TEST(Prologue, StaticSynchronizedKeepsTheFirstArgument)
{
    setup_area();
    classblock cb = {};
    glue g;
    memset(&g, 0, sizeof g);
    g.mb.clazz = &cb;
    g.mb.signature = "(II)V";
    g.mb.access = GLUE_ACC_STATIC | GLUE_ACC_SYNCHRONIZED;
    g.mb.args_size = 2;
    g.cg.mb = &g.mb;
    g.cg.mci = &g.mci;
    g.cg.pass = CG_PASS_WRITE;
    u1 buf[64];
    g.cg.code = buf;
    g.mci.code_start = buf;
    gen_monitor_enter(&g.cg);
    EXPECT_EQ(buf[0], 0x50) << "push eax";
    EXPECT_EQ(buf[1], 0xB8) << "mov eax, class";
    EXPECT_EQ(*reinterpret_cast<u4*>(buf + 2), (u4)(uintptr_t)&cb);
    EXPECT_EQ(g.cg.code[-1], 0x58) << "pop eax";
    EXPECT_EQ(g.mci.sp_offset, 0);
    // Two integer argument registers: shape 1.
    EXPECT_EQ(sync_enter_routine(&g.mb), RT_SYNC_ENTER_FIRST + 1);
    g.mb.exception_table_length = 1;
    EXPECT_EQ(sync_enter_routine(&g.mb), RT_SYNC_ENTER_FIRST + 16);
    EXPECT_EQ(sync_exit_routine(&g.mb, 'D'), RT_SYNC_EXIT_FIRST + 3 + 4);
}

// ---------------------------------------------------------------------------
// Frame layout
// ---------------------------------------------------------------------------
TEST(FrameLayout, LocalsArgumentsAndStackSlots)
{
    glue g;
    memset(&g, 0, sizeof g);
    g.mb.args_size = 2;
    g.mb.access = GLUE_ACC_SYNCHRONIZED;
    g.m.local_count = 6;
    u4 table[6] = {};
    g.cg.mb = &g.mb;
    g.cg.m = &g.m;
    g.cg.mci = &g.mci;
    g.cg.local_table = table;
    g.cg.pass = CG_PASS_MEASURE;
    // Measuring: 8 sync + 16 saved registers.
    EXPECT_EQ(getFrameSizeWithoutLocals(&g.cg), 24);
    EXPECT_EQ(C_Style_local(&g.cg, 0, 0), 8);
    EXPECT_EQ(C_Style_local(&g.cg, 0, 1), 4) << "a two-word argument in slots 0, 1 lies at E+4";
    EXPECT_EQ(C_Style_local(&g.cg, 2, 0), 8 - 24 - 8 - 4);
    C_Style_local(&g.cg, 5, 0);
    EXPECT_EQ(C_Style_stack(&g.cg, 0, 0), -(24 + 16) - 4);
    squeeze_local_variable_index(&g.cg);
    EXPECT_EQ(g.cg.frame_locals, 4) << "locals 2 and 5 used";
    g.cg.pass = CG_PASS_WRITE;
    g.mci.saved_count = 1;
    EXPECT_EQ(getFrameSizeWithoutLocals(&g.cg), 12);
    EXPECT_EQ(C_Style_local(&g.cg, 2, 0), 8 - 12 - 8 - 4);
    EXPECT_EQ(C_Style_local(&g.cg, 5, 0), 8 - 12 - 12 - 4) << "squeezed next to local 2";
    EXPECT_EQ(C_Style_stack(&g.cg, 1, 1), -(12 + 8) - 4 - 8);
    EXPECT_EQ(glue_frame_size(&g.cg), 20u);
}

TEST(FrameLayout, StaticWithoutArgumentsAndEmptyFrame)
{
    glue g;
    memset(&g, 0, sizeof g);
    g.m.local_count = 1;
    u4 table[1] = {};
    g.cg.mb = &g.mb;
    g.cg.m = &g.m;
    g.cg.mci = &g.mci;
    g.cg.local_table = table;
    g.cg.pass = CG_PASS_MEASURE;
    g.mb.exception_table_length = 1;
    EXPECT_EQ(C_Style_local(&g.cg, 0, 0), -(20 + 16) - 4);
    g.mb.exception_table_length = 0;
    squeeze_local_variable_index(&g.cg);
    g.cg.pass = CG_PASS_WRITE;
    g.mci.saved_count = 0;
    EXPECT_EQ(glue_frame_size(&g.cg), 4u);
    table[0] = 0;
    squeeze_local_variable_index(&g.cg);
    EXPECT_EQ(glue_frame_size(&g.cg), 0u) << "no used local, nothing saved: no frame";
}

TEST(FrameLayout, UseWeightSaturates)
{
    glue g;
    memset(&g, 0, sizeof g);
    g.m.local_count = 2;
    u4 table[2] = {};
    bbattr bb = {};
    bbattr* bbt[1] = {&bb};
    bb.flags = 1;   // loop block: weight 256
    g.cg.mb = &g.mb;
    g.cg.m = &g.m;
    g.cg.mci = &g.mci;
    g.cg.local_table = table;
    g.cg.bbtable = bbt;
    g.cg.pass = CG_PASS_MEASURE;
    for (int i = 0; i < 300; i++)
        count_and_map_local(&g.cg, 1, 0);
    squeeze_local_variable_index(&g.cg);
    EXPECT_EQ(g.cg.frame_locals, 1) << "a local used 300 times in a loop keeps its slot";
}

// ---------------------------------------------------------------------------
// Stack-pointer tables
// ---------------------------------------------------------------------------
static sp_offset_info* sp_list(std::vector<std::pair<u4, u2>> entries)
{
    sp_offset_info* head = nullptr;
    for (auto& e : entries) {
        auto* n = new sp_offset_info{head, e.first, e.second};
        head = n;
    }
    return head;
}

TEST(SpTable, WidthsAndLookup)
{
    struct { std::vector<std::pair<u4, u2>> e; u1 w1, w2; } cases[] = {
        {{{3, 1}, {200, 2}, {255, 0}}, 1, 1},
        {{{3, 1}, {0x100, 300}}, 2, 2},
        {{{3, 0}, {0x10000, 0}}, 4, 0},
        // One entry at offset 0 still has a one-byte offset: a width of 0
        // would leave the reader dividing by zero.
        {{{0, 0}}, 1, 0},
    };
    for (auto& c : cases) {
        sp_offset_info* list = sp_list(c.e);
        u1 buf[256];
        u4 size = pack_sp_offset_list(&list, buf);
        EXPECT_EQ(buf[0], c.w1);
        EXPECT_EQ(buf[1], c.w2);
        EXPECT_EQ(size, 8 + c.e.size() * (c.w1 + c.w2));
    }
    sp_offset_info* list = sp_list({{5, 1}, {10, 3}, {20, 0}});
    u1 buf[64];
    pack_sp_offset_list(&list, buf);
    EXPECT_EQ(sp_offset_table_depth(buf, 2), 0u) << "before the first entry";
    EXPECT_EQ(sp_offset_table_depth(buf, 5), 1u);
    EXPECT_EQ(sp_offset_table_depth(buf, 9), 1u);
    EXPECT_EQ(sp_offset_table_depth(buf, 10), 3u);
    EXPECT_EQ(sp_offset_table_depth(buf, 19), 3u);
    EXPECT_EQ(sp_offset_table_depth(buf, 500), 0u);
    EXPECT_EQ(sp_offset_table_depth(nullptr, 7), 0u);
}

TEST(SpTable, ChangesAtOnePositionKeepTheLastDepth)
{
    glue g;
    memset(&g, 0, sizeof g);
    u1 buf[16];
    g.cg.m = &g.m;
    g.m.pool2 = reinterpret_cast<work_pool*>(1);
    g.cg.mci = &g.mci;
    g.mci.code_start = buf;
    g.cg.code = buf + 4;
    update_sp_offset_table(&g.cg, -8);
    update_sp_offset_table(&g.cg, -12);
    ASSERT_NE(g.mci.sp_list, nullptr);
    EXPECT_EQ(g.mci.sp_list->next, nullptr);
    EXPECT_EQ(g.mci.sp_list->depth, 3);
    EXPECT_EQ(g.mci.sp_list->offset, 4u);
}
