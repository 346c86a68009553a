// Class preparation and the compile driver, entered through the compile
// trampoline on a Java thread as the VM enters them.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "driver/driver.h"
#include "fake_vm.h"
#include "inline/inline.h"
#include "lib/lib.h"

extern "C" u4 call_trampoline(methodblock* mb, u4 transfer_point, u4 out[7]);

namespace {

// What the stand-ins of the later pipeline stages do in this test binary.
enum class stage { pending, exhaust_work_memory, exhaust_before_lock, publish_nothing, publish_code };
stage pipeline = stage::pending;

constexpr u4 EFLAGS_ZF = 0x40;

struct request_result {
    u4 regs[7];
    u4 transition_after;
    void* record_after;
    int lock_depth;
};

request_result request(methodblock* mb, EE* ee)
{
    request_result r{};
    u4 transition_before = ee->transition;
    call_trampoline(mb, 0, r.regs);
    r.transition_after = ee->transition;
    r.record_after = ee->compile_record;
    r.lock_depth = fake_monitor_depth(orva_global_lock);
    EXPECT_EQ(r.transition_after, transition_before);
    return r;
}

std::string read_file(FILE* f)
{
    fflush(f);
    rewind(f);
    std::string s;
    char buf[256];
    while (fgets(buf, sizeof buf, f) != nullptr)
        s += buf;
    return s;
}

class Driver : public testing::Test {
protected:
    void SetUp() override
    {
        pipeline = stage::pending;
        vm = fake_vm_new();
        hist = tmpfile();
        compile_option_flag = compile_option2_flag = compile_option3_flag = 0;
        jit_reset_method_options();
        jit_skipsubopt_init(nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override
    {
        hist_fp = nullptr;
        fclose(hist);
    }
    // Runs fn on a Java thread with the compiler bound and initialised.
    void on_java_thread(const std::function<void(EE*)>& fn)
    {
        run_on_java_thread([&](EE* ee) {
            fake_vm_bind_and_init(vm);
            jit_init_cha();
            hist_fp = hist;
            fn(ee);
            hist_fp = nullptr;
        });
    }
    fake_vm* vm;
    FILE* hist;
};

char hex_buf[16];
const char* hex8(const void* p)
{
    snprintf(hex_buf, sizeof hex_buf, "%8.8x", reinterpret_cast<u4>(p));
    return hex_buf;
}

} // namespace

// ---- stand-ins of the later stages -------------------------------------------------

int JITTraverseByteCode(method_compile_context* m, EE* ee, int flag)
{
    if (pipeline == stage::exhaust_work_memory)
        jit_wmem_alloc(m->pool1, 0xFFFFFF00u);
    return 1;
}

// The call-graph resolution runs before the global compile lock is taken.
void resolve_method_call_graph(methodblock* mb, method_unresolved_info* info, EE* ee)
{
    if (pipeline == stage::exhaust_before_lock) {
        work_pool* pool = jit_wmem_init(0);
        jit_wmem_alloc(pool, 0xFFFFFF00u);
    }
}

int JITGenNativeCode_glue(methodblock* mb, method_compile_context** request)
{
    if (pipeline == stage::publish_nothing)
        return 0;
    if (pipeline != stage::publish_code)
        return 1;
    void* code = nullptr;
    jit_code_mem_alloc(&code, *request, 32);
    memset(code, 0xC3, 32);
    thread_compile_record* rec = jit_compile_record(::vm.EE());
    rec->code_start = static_cast<u1*>(code);
    rec->code_end = static_cast<u1*>(code) + 31;
    rec->invoker_entry = code;
    rec->compiled_entry = static_cast<u1*>(code) + 10;
    return 0;
}

// ---- class preparation ---------------------------------------------------------------

TEST_F(Driver, PreparationGivesEveryMethodItsInvokerSelector)
{
    classblock* cb = fake_class("Prep", nullptr,
                                {{"plain", "()V"},
                                 {"sync", "()V", ACC_PUBLIC | ACC_SYNCHRONIZED},
                                 {"catching", "()V", ACC_PUBLIC, {0xb1}, 1},
                                 {"syncCatching", "()V", ACC_PUBLIC | ACC_SYNCHRONIZED, {0xb1}, 1},
                                 {"lazy", "()V", ACC_PUBLIC | ACC_NATIVE},
                                 {"jni", "()V", ACC_PUBLIC | ACC_NATIVE},
                                 {"jniSync", "()V", ACC_PUBLIC | ACC_NATIVE | ACC_SYNCHRONIZED},
                                 {"abs", "()V", ACC_PUBLIC | ACC_ABSTRACT},
                                 {"<clinit>", "()V", ACC_STATIC}});
    cb->methods[5].invoker = fake_code(FK_INVOKE_JNI);
    cb->methods[6].invoker = fake_code(FK_INVOKE_JNI_SYNC);
    for (u2 i = 0; i < cb->methods_count; i++)
        cb->methods[i].compiled_flags = 0x77;
    const fake_code_id expected[] = {FK_SELECT_JAVA, FK_SELECT_SYNC_JAVA, FK_SELECT_JAVA_CATCH,
                                     FK_SELECT_SYNC_JAVA_CATCH, FK_SELECT_LAZY_NATIVE, FK_SELECT_JNI,
                                     FK_SELECT_JNI_SYNC, FK_INVOKE_ABSTRACT, FK_INVOKE_JAVA};
    on_java_thread([&](EE*) { EXPECT_EQ(orva_InitializeForCompiler(cb), 0); });
    for (u2 i = 0; i < cb->methods_count; i++) {
        SCOPED_TRACE(cb->methods[i].name);
        EXPECT_EQ(cb->methods[i].invoker, fake_code(expected[i]));
        EXPECT_EQ(cb->methods[i].compiled_flags, 0u);
        EXPECT_NE(cb->methods[i].compiled_code_info, nullptr);
    }
    EXPECT_EQ(read_file(hist), std::string("Resolving ") + hex8(cb) + " [Prep] 0001/0003\n");
    EXPECT_NE(cb->cha_info, nullptr);
    EXPECT_EQ(cb->methods[0].jit_flags & 0xF0, 16u);     // no code: an empty method
}

// Superclasses and interfaces are prepared before the classes below them,
// whatever the order of the VM's class cache.
TEST_F(Driver, StartupWalkPreparesSuperclassesFirst)
{
    classblock* object = fake_class("java/lang/Object", nullptr, {});
    classblock* iface = fake_class("Iface", object, {}, ACC_PUBLIC | ACC_INTERFACE | ACC_ABSTRACT);
    classblock* super = fake_class("Super", object, {});
    classblock* sub = fake_class("Sub", super, {});
    fake_implements(sub, iface);
    classblock* loose = fake_class("Loose", object, {});
    vm->loaded = {sub, loose, iface, super, object};
    on_java_thread([&](EE*) { EXPECT_EQ(jit_prepare_loaded_classes(), 0); });
    std::string h = read_file(hist);
    auto at = [&](const char* name) { return h.find(std::string("[") + name + "]"); };
    EXPECT_LT(at("java/lang/Object"), at("Super"));
    EXPECT_LT(at("Super"), at("Sub"));
    EXPECT_LT(at("Iface"), at("Sub"));
    EXPECT_NE(at("Loose"), std::string::npos);
    for (classblock* cb : vm->loaded)
        EXPECT_EQ(static_cast<u4*>(cb->cha_info)[1], 1u) << cb->name;   // entered
    EXPECT_EQ(fake_monitor_depth(vm->binclass_lock), 0);
}

TEST_F(Driver, StartupWalkFailsCleanlyWithoutMemory)
{
    classblock* object = fake_class("java/lang/Object", nullptr, {});
    vm->loaded = {object};
    vm->lv[LV_MALLOC] = reinterpret_cast<u4>(+[](size_t) -> void* { return nullptr; });
    on_java_thread([&](EE*) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(jit_prepare_loaded_classes(), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "JIT: out of memory preparing 1 loaded classes\n");
    });
    EXPECT_EQ(fake_monitor_depth(vm->binclass_lock), 0);
    EXPECT_EQ(object->methods_count, 0);
}

TEST_F(Driver, StartupWalkEndsTheProcessOnACycle)
{
    classblock* a = fake_class("CycleA", nullptr, {});
    classblock* b = fake_class("CycleB", a, {});
    a->superclass = b;
    vm->loaded = {a, b};
    EXPECT_EXIT(on_java_thread([&](EE*) { jit_prepare_loaded_classes(); }), testing::ExitedWithCode(255),
                "the loaded classes Cycle. and Cycle. form a cycle");
}

TEST_F(Driver, UnloadingAClassThatWasNeverPrepared)
{
    classblock* cb = fake_class("Never", nullptr, {{"m", "()V"}});
    cb->state = CS_LOADED;
    cb->methods[0].compiled_code = reinterpret_cast<void*>(0x1234);
    on_java_thread([&](EE*) { orva_CompilerFreeClass(cb); });
    EXPECT_EQ(read_file(hist), std::string("Unloading ") + hex8(cb) + " [Never] 0001/0001\n");
    EXPECT_EQ(cb->methods[0].compiled_code, reinterpret_cast<void*>(0x1234));
}

TEST_F(Driver, ReplacementBodyIsCommittedInPlace)
{
    classblock* cb = fake_class("Repl", nullptr, {{"equals", "(Ljava/lang/Object;)Z"}});
    methodblock* mb = &cb->methods[0];
    static u1 body[64];
    on_java_thread([&](EE* ee) {
        EXPECT_EQ(orva_replace_a_method(mb, body, body + 63, body + 8, 0, 0x28, body), nullptr);
        EXPECT_EQ(ee->compile_record, nullptr);
        rcc* r = search_committed_code0(reinterpret_cast<u4>(body + 20));
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->mb, mb);
        EXPECT_EQ(r->md[0], 0x10000028u);
        EXPECT_EQ(orva_replace_a_method(mb, body, body + 63, body + 8, 0, 0x28, body), nullptr);
        EXPECT_EQ(jit_rcc_count(), 1);
    });
    EXPECT_EQ(mb->access & (ACC_COMPILED | ACC_REPLACED_BODY), ACC_COMPILED | ACC_REPLACED_BODY);
    EXPECT_EQ(mb->compiled_flags & 0x400, 0x400u);
    EXPECT_EQ(mb->compiled_code, body + 8);
    EXPECT_EQ(mb->invoker, body);
}

// ---- the compile driver ----------------------------------------------------------------

// A request that fails ends with the method on an interpreter invoker and its
// counter at 0xFFFF, and the history says why; the trampoline keeps every
// register and answers in the zero flag.
TEST_F(Driver, RequestsRevertToTheInterpreter)
{
    classblock* cb = fake_class("Demo", nullptr,
                                {{"run", "()V"},
                                 {"sync", "()V", ACC_PUBLIC | ACC_SYNCHRONIZED},
                                 {"catching", "()V", ACC_PUBLIC, {0xb1}, 1},
                                 {"syncCatching", "()V", ACC_PUBLIC | ACC_SYNCHRONIZED, {0xb1}, 1},
                                 {"lazy", "()V", ACC_PUBLIC | ACC_NATIVE},
                                 {"jni", "()V", ACC_PUBLIC | ACC_NATIVE},
                                 {"jniSync", "()V", ACC_PUBLIC | ACC_NATIVE | ACC_SYNCHRONIZED}});
    cb->methods[5].invoker = fake_code(FK_INVOKE_JNI);
    cb->methods[6].invoker = fake_code(FK_INVOKE_JNI_SYNC);
    const fake_code_id expected[] = {FK_INVOKE_JAVA,       FK_INVOKE_SYNC_JAVA, FK_INVOKE_JAVA_CATCH,
                                     FK_INVOKE_SYNC_JAVA_CATCH, FK_INVOKE_LAZY_NATIVE, FK_INVOKE_JNI,
                                     FK_INVOKE_JNI_SYNC};
    std::string expected_history = std::string("Resolving ") + hex8(cb) + " [Demo] 0001/0003\n";
    on_java_thread([&](EE* ee) {
        orva_InitializeForCompiler(cb);
        int records = jit_rcc_count();
        for (u2 i = 0; i < cb->methods_count; i++) {
            methodblock* mb = &cb->methods[i];
            SCOPED_TRACE(mb->name);
            request_result r = request(mb, ee);
            EXPECT_EQ(r.regs[0], reinterpret_cast<u4>(mb));
            EXPECT_EQ(r.regs[1], 0x11111111u);
            EXPECT_EQ(r.regs[2], 0x22222222u);
            EXPECT_EQ(r.regs[3], 0x33333333u);
            EXPECT_EQ(r.regs[4], 0u);
            EXPECT_EQ(r.regs[5], 0x44444444u);
            EXPECT_EQ(r.regs[6] & EFLAGS_ZF, 0u);       // not compiled
            EXPECT_EQ(r.record_after, nullptr);
            EXPECT_EQ(r.lock_depth, 0);
            EXPECT_EQ(mb->invoker, fake_code(expected[i]));
            EXPECT_EQ(mb->counter, 0xFFFF);
            EXPECT_EQ(mb->access & ACC_COMPILED, 0);
            EXPECT_EQ(jit_rcc_count(), records);        // the placeholder is gone
            EXPECT_EQ(ee->mode, 0u);
            const char* why = (mb->access & ACC_NATIVE) ? "method glue" : "front end";
            expected_history += std::string("Compiling ") + hex8(mb) + " [Demo][" + mb->name + "] ()V\n"
                              + "Gave up " + hex8(mb) + " [Demo][" + mb->name + "] ()V: " + why + "\n";
        }
    });
    EXPECT_EQ(read_file(hist), expected_history);
}

TEST_F(Driver, PendingExceptionRevertsWithoutTheLock)
{
    classblock* cb = fake_class("Pending", nullptr, {{"run", "()V"}});
    int global_lock_entries = 0;
    on_java_thread([&](EE* ee) {
        orva_InitializeForCompiler(cb);
        vm->on_monitor_enter = [&](void* m) { global_lock_entries += m == orva_global_lock; };
        ee->exception_kind = 1;
        ee->exception = 0x999;
        request_result r = request(&cb->methods[0], ee);
        vm->on_monitor_enter = nullptr;
        EXPECT_EQ(r.regs[6] & EFLAGS_ZF, 0u);
        ee->exception_kind = 0;
    });
    EXPECT_EQ(global_lock_entries, 0);
    EXPECT_EQ(cb->methods[0].invoker, fake_code(FK_INVOKE_JAVA));
    EXPECT_EQ(cb->methods[0].counter, 0xFFFF);
    EXPECT_EQ(read_file(hist).find("Compiling"), std::string::npos);
}

TEST_F(Driver, SkipFiltersLeaveTheInvokerAlone)
{
    classblock* cb = fake_class("Demo", nullptr, {{"run", "()V"}, {"walk", "()V"}});
    on_java_thread([&](EE* ee) {
        orva_InitializeForCompiler(cb);
        setCompileOptions("SKIP{Demo}{run}");
        testing::internal::CaptureStdout();
        request(&cb->methods[0], ee);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Skipped Compiling [Demo][run]\n");
        jit_reset_method_options();
        jit_skipsubopt_init(nullptr, "walk", "OFF", nullptr, nullptr);
        testing::internal::CaptureStdout();
        request(&cb->methods[1], ee);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Skipped Compiling [Demo][walk]\n");
    });
    for (u2 i = 0; i < 2; i++) {
        EXPECT_EQ(cb->methods[i].invoker, fake_code(FK_SELECT_JAVA));
        EXPECT_EQ(cb->methods[i].counter, 2000);
    }
}

TEST_F(Driver, CompilingOptionAndHexSelectorPrint)
{
    classblock* cb = fake_class("Demo", nullptr, {{"run", "()V"}});
    setenv("ORVA_SKIPHEX1", "1g2", 1);
    on_java_thread([&](EE* ee) {
        orva_InitializeForCompiler(cb);
        jit_skipsubopt_init("Demo", nullptr, "HEX", nullptr, nullptr);
        compile_option2_flag = 0x5;
        testing::internal::CaptureStdout();
        request(&cb->methods[0], ee);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "\tFlags set to:\t00000102\t00000005\t00000000\n");
        EXPECT_EQ(compile_option_flag, 0u);     // restored after the request
        jit_skipsubopt_init(nullptr, nullptr, nullptr, nullptr, nullptr);
        cb->methods[0].invoker = fake_code(FK_SELECT_JAVA);
        compile_option_flag = OPT1_COMPILING;
        testing::internal::CaptureStdout();
        request(&cb->methods[0], ee);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Compiling [Demo][run]\n");
    });
    unsetenv("ORVA_SKIPHEX1");
}

// Work memory running out inside an attempt ends the attempt: the pools go,
// the lock is released, the method goes back to the interpreter, and the next
// request works.
TEST_F(Driver, ExhaustionInsideAnAttempt)
{
    classblock* cb = fake_class("Hungry", nullptr, {{"a", "()V"}, {"b", "()V"}});
    on_java_thread([&](EE* ee) {
        orva_InitializeForCompiler(cb);
        pipeline = stage::exhaust_work_memory;
        request_result r = request(&cb->methods[0], ee);
        EXPECT_EQ(r.lock_depth, 0);
        EXPECT_EQ(r.record_after, nullptr);
        pipeline = stage::pending;
        request(&cb->methods[1], ee);
    });
    EXPECT_EQ(cb->methods[0].invoker, fake_code(FK_INVOKE_JAVA));
    EXPECT_EQ(cb->methods[0].counter, 0xFFFF);
    EXPECT_EQ(cb->methods[1].counter, 0xFFFF);
}

// Exhaustion before the lock ends the request through the driver's own
// buffer: the method reverts, no lock is held, no pool is left.
TEST_F(Driver, ExhaustionBeforeTheLock)
{
    classblock* cb = fake_class("Early", nullptr, {{"a", "()V"}});
    int global_lock_entries = 0;
    on_java_thread([&](EE* ee) {
        orva_InitializeForCompiler(cb);
        pipeline = stage::exhaust_before_lock;
        vm->on_monitor_enter = [&](void* m) { global_lock_entries += m == orva_global_lock; };
        request_result r = request(&cb->methods[0], ee);
        vm->on_monitor_enter = nullptr;
        EXPECT_EQ(r.lock_depth, 0);
        EXPECT_EQ(r.record_after, nullptr);
        EXPECT_EQ(r.regs[6] & EFLAGS_ZF, 0u);
    });
    EXPECT_EQ(global_lock_entries, 0);
    EXPECT_EQ(cb->methods[0].invoker, fake_code(FK_INVOKE_JAVA));
    EXPECT_EQ(cb->methods[0].counter, 0xFFFF);
}

// A "success" that published no code installs nothing.
TEST_F(Driver, SuccessWithoutCodeIsNotInstalled)
{
    classblock* cb = fake_class("Glue", nullptr, {{"nat", "()V", ACC_PUBLIC | ACC_NATIVE}});
    on_java_thread([&](EE* ee) {
        orva_InitializeForCompiler(cb);
        pipeline = stage::publish_nothing;
        request_result r = request(&cb->methods[0], ee);
        EXPECT_EQ(r.regs[6] & EFLAGS_ZF, 0u);
    });
    methodblock* mb = &cb->methods[0];
    EXPECT_EQ(mb->access & ACC_COMPILED, 0);
    EXPECT_EQ(mb->invoker, fake_code(FK_INVOKE_LAZY_NATIVE));
}

TEST_F(Driver, PublishedCodeIsRegisteredAndInstalled)
{
    classblock* cb = fake_class("Glue", nullptr, {{"nat", "(I)I", ACC_PUBLIC | ACC_NATIVE}});
    methodblock* mb = &cb->methods[0];
    on_java_thread([&](EE* ee) {
        orva_InitializeForCompiler(cb);
        pipeline = stage::publish_code;
        request_result r = request(mb, ee);
        EXPECT_NE(r.regs[6] & EFLAGS_ZF, 0u);       // compiled
        auto* code = static_cast<u1*>(mb->invoker);
        EXPECT_EQ(mb->compiled_code, code + 10);
        EXPECT_EQ(jit_PCinCompiledCode(reinterpret_cast<u4>(code + 31), mb), 1);
        EXPECT_EQ(ee->mode, 0u);                    // a native method keeps the caller's mode
        // Already compiled: answered at once.
        pipeline = stage::pending;
        request_result again = request(mb, ee);
        EXPECT_NE(again.regs[6] & EFLAGS_ZF, 0u);
    });
    EXPECT_EQ(mb->access & ACC_COMPILED, ACC_COMPILED);
    EXPECT_EQ(mb->compiled_flags & 1, 1u);
    std::string h = read_file(hist);
    EXPECT_NE(h.find(std::string(hex8(mb->compiled_code)) + "  00000000 [Glue][nat] (I)I\n"), std::string::npos);
}

TEST_F(Driver, HexMasksAndBreakPoints)
{
    classblock* cb = fake_class("Brk", nullptr, {{"m", "()V"}});
    on_java_thread([&](EE* ee) {
        orva_InitializeForCompiler(cb);
        setCompileOptions("break_before{Brk}{m}:break_after{Brk}{m}");
        testing::internal::CaptureStdout();
        request(&cb->methods[0], ee);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "---> break_before: {Brk}{m()V}\n---> break_after:  {Brk}{m()V}\n");
    });
}
