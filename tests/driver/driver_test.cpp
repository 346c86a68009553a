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

// Bodies the real pipeline sees.  `ldc` of a class constant is not part of
// this VM's bytecode: the front end refuses it.
const std::vector<u1> RETURN_BODY = {0xb1};                         // return
const std::vector<u1> REFUSED_BODY = {0x12, 0x01, 0x57, 0xb1};      // ldc #1 (a class); pop; return

// The constant pool every loaded class has; constant 1 is the (unresolved)
// class constant that REFUSED_BODY loads, named by constant 2.
void give_constant_pool(classblock* cb)
{
    fake_constant_pool(cb, 3);
    fake_cp_set(cb, 1, CONSTANT_Class, 2);
    fake_cp_set(cb, 2, CONSTANT_Utf8, reinterpret_cast<u4>(cb->name));
}

char hex_buf[16];
const char* hex8(const void* p)
{
    snprintf(hex_buf, sizeof hex_buf, "%8.8x", reinterpret_cast<u4>(p));
    return hex_buf;
}

} // namespace

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

// A method the front end refuses ends with an interpreter invoker and its
// counter at 0xFFFF, and the history says why; the trampoline keeps every
// register and answers in the zero flag.
TEST_F(Driver, RefusedMethodsRevertToTheInterpreter)
{
    classblock* cb = fake_class("Demo", nullptr,
                                {{"run", "()V", ACC_PUBLIC, REFUSED_BODY},
                                 {"sync", "()V", ACC_PUBLIC | ACC_SYNCHRONIZED, REFUSED_BODY},
                                 {"catching", "()V", ACC_PUBLIC, REFUSED_BODY, 1},
                                 {"syncCatching", "()V", ACC_PUBLIC | ACC_SYNCHRONIZED, REFUSED_BODY, 1}});
    give_constant_pool(cb);
    const fake_code_id expected[] = {FK_INVOKE_JAVA, FK_INVOKE_SYNC_JAVA, FK_INVOKE_JAVA_CATCH,
                                     FK_INVOKE_SYNC_JAVA_CATCH};
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
            expected_history += std::string("Compiling ") + hex8(mb) + " [Demo][" + mb->name + "] ()V\n"
                              + "Gave up " + hex8(mb) + " [Demo][" + mb->name + "] ()V: front end\n";
        }
    });
    EXPECT_EQ(read_file(hist), expected_history);
}

// A pending exception ends the request before anything else: every kind of
// method gets its interpreter invoker back, without the lock and unlogged.
TEST_F(Driver, PendingExceptionRevertsWithoutTheLock)
{
    classblock* cb = fake_class("Pending", nullptr,
                                {{"run", "()V", ACC_PUBLIC, RETURN_BODY},
                                 {"sync", "()V", ACC_PUBLIC | ACC_SYNCHRONIZED, RETURN_BODY},
                                 {"catching", "()V", ACC_PUBLIC, RETURN_BODY, 1},
                                 {"syncCatching", "()V", ACC_PUBLIC | ACC_SYNCHRONIZED, RETURN_BODY, 1},
                                 {"lazy", "()V", ACC_PUBLIC | ACC_NATIVE},
                                 {"jni", "()V", ACC_PUBLIC | ACC_NATIVE},
                                 {"jniSync", "()V", ACC_PUBLIC | ACC_NATIVE | ACC_SYNCHRONIZED},
                                 {"abs", "()V", ACC_PUBLIC | ACC_ABSTRACT}});
    cb->methods[5].invoker = fake_code(FK_INVOKE_JNI);
    cb->methods[6].invoker = fake_code(FK_INVOKE_JNI_SYNC);
    const fake_code_id expected[] = {FK_INVOKE_JAVA,        FK_INVOKE_SYNC_JAVA, FK_INVOKE_JAVA_CATCH,
                                     FK_INVOKE_SYNC_JAVA_CATCH, FK_INVOKE_LAZY_NATIVE, FK_INVOKE_JNI,
                                     FK_INVOKE_JNI_SYNC,    FK_INVOKE_ABSTRACT};
    int global_lock_entries = 0;
    on_java_thread([&](EE* ee) {
        orva_InitializeForCompiler(cb);
        vm->on_monitor_enter = [&](void* m) { global_lock_entries += m == orva_global_lock; };
        for (u2 i = 0; i < cb->methods_count; i++) {
            SCOPED_TRACE(cb->methods[i].name);
            ee->exception_kind = 1;
            ee->exception = 0x999;
            request_result r = request(&cb->methods[i], ee);
            EXPECT_EQ(r.regs[6] & EFLAGS_ZF, 0u);
            EXPECT_EQ(cb->methods[i].invoker, fake_code(expected[i]));
            EXPECT_EQ(cb->methods[i].counter, 0xFFFF);
        }
        vm->on_monitor_enter = nullptr;
        ee->exception_kind = 0;
        ee->exception = 0;
    });
    EXPECT_EQ(global_lock_entries, 0);
    EXPECT_EQ(read_file(hist).find("Compiling"), std::string::npos);
}

TEST_F(Driver, SkipFiltersLeaveTheInvokerAlone)
{
    classblock* cb = fake_class("Demo", nullptr, {{"run", "()V", ACC_PUBLIC, RETURN_BODY},
                                                  {"walk", "()V", ACC_PUBLIC, RETURN_BODY}});
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
    classblock* cb = fake_class("Demo", nullptr, {{"run", "()V", ACC_PUBLIC, REFUSED_BODY}});
    give_constant_pool(cb);
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

// A bytecode method goes through the whole pipeline and its code is
// registered and installed.
TEST_F(Driver, JavaMethodIsCompiledAndInstalled)
{
    classblock* cb = fake_class("Whole", nullptr, {{"run", "()V", ACC_PUBLIC, RETURN_BODY}});
    give_constant_pool(cb);
    methodblock* mb = &cb->methods[0];
    on_java_thread([&](EE* ee) {
        orva_InitializeForCompiler(cb);
        int records = jit_rcc_count();
        compile_option_flag = OPT1_COMPILING;
        testing::internal::CaptureStdout();
        request_result r = request(mb, ee);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(r.regs[6] & EFLAGS_ZF, 0u);       // compiled
        EXPECT_EQ(r.lock_depth, 0);
        EXPECT_EQ(jit_rcc_count(), records + 1);
        EXPECT_EQ(jit_PCinCompiledCode(reinterpret_cast<u4>(mb->compiled_code), mb), 1);
        EXPECT_EQ(out, std::string("Compiling [Whole][run]\n") + hex8(mb->compiled_code) + "  [Whole][run]\n");
        EXPECT_EQ(ee->mode, 1u);                    // the caller continues in compiled code
    });
    EXPECT_EQ(mb->access & ACC_COMPILED, ACC_COMPILED);
    EXPECT_EQ(mb->compiled_flags & 1, 1u);
    EXPECT_NE(mb->invoker, fake_code(FK_SELECT_JAVA));
    EXPECT_EQ(mb->counter, 2000);
    EXPECT_EQ(read_file(hist).find("Gave up"), std::string::npos);
}

// Native and abstract methods get their glue; an already compiled method is
// answered at once.
TEST_F(Driver, GlueIsRegisteredAndInstalled)
{
    classblock* cb = fake_class("Glue", nullptr,
                                {{"nat", "(I)I", ACC_PUBLIC | ACC_NATIVE},
                                 {"syncNat", "(JD)V", ACC_PUBLIC | ACC_NATIVE | ACC_SYNCHRONIZED},
                                 {"jni", "()V", ACC_PUBLIC | ACC_NATIVE},
                                 {"abs", "()V", ACC_PUBLIC | ACC_ABSTRACT}});
    cb->methods[2].invoker = fake_code(FK_INVOKE_JNI);
    on_java_thread([&](EE* ee) {
        orva_InitializeForCompiler(cb);
        for (u2 i = 0; i < cb->methods_count; i++) {
            methodblock* mb = &cb->methods[i];
            SCOPED_TRACE(mb->name);
            int records = jit_rcc_count();
            u4 mode_before = ee->mode;
            request_result r = request(mb, ee);
            EXPECT_NE(r.regs[6] & EFLAGS_ZF, 0u);   // compiled
            EXPECT_EQ(jit_rcc_count(), records + 1);
            auto* code = static_cast<u1*>(mb->invoker);
            EXPECT_GT(static_cast<u1*>(mb->compiled_code), code);
            EXPECT_EQ(jit_PCinCompiledCode(reinterpret_cast<u4>(code), mb), 1);
            EXPECT_EQ(jit_PCinCompiledCode(reinterpret_cast<u4>(mb->compiled_code), mb), 1);
            // A native method keeps the caller's mode; the abstract one's glue is compiled code.
            EXPECT_EQ(ee->mode, (mb->access & ACC_NATIVE) ? mode_before : 1u);
            EXPECT_EQ(mb->access & ACC_COMPILED, ACC_COMPILED);
            EXPECT_EQ(mb->compiled_flags & 1, 1u);
            request_result again = request(mb, ee);
            EXPECT_NE(again.regs[6] & EFLAGS_ZF, 0u);
            EXPECT_EQ(jit_rcc_count(), records + 1);
            std::string line = std::string(hex8(mb->compiled_code)) + "  ";
            std::string h = read_file(hist);
            size_t at = h.find(line);
            ASSERT_NE(at, std::string::npos);
            EXPECT_EQ(h.substr(at + line.size() + 8), std::string(" [Glue][") + mb->name + "] " + mb->signature + "\n");
            EXPECT_NE(h.substr(at + line.size(), 8), "00000000");   // the glue's size
        }
    });
}

// Code installed by someone else while the request ran (as a replacement
// body is) is kept: an attempt that published nothing installs nothing.
TEST_F(Driver, CodeInstalledMeanwhileIsKept)
{
    classblock* cb = fake_class("Glue", nullptr, {{"nat", "()V", ACC_PUBLIC | ACC_NATIVE},
                                                  {"run", "()V", ACC_PUBLIC, RETURN_BODY}});
    give_constant_pool(cb);
    static u1 body[64];
    on_java_thread([&](EE* ee) {
        orva_InitializeForCompiler(cb);
        for (u2 i = 0; i < cb->methods_count; i++) {
            methodblock* mb = &cb->methods[i];
            SCOPED_TRACE(mb->name);
            // The first monitor the compile enters under the global lock.
            vm->on_monitor_enter = [&](void* m) {
                if (m != orva_global_lock && fake_monitor_depth(orva_global_lock) > 0 && !(mb->access & ACC_COMPILED)) {
                    mb->compiled_code = body + 8;
                    mb->invoker = body;
                    mb->access |= ACC_COMPILED;
                }
            };
            request_result r = request(mb, ee);
            vm->on_monitor_enter = nullptr;
            EXPECT_NE(r.regs[6] & EFLAGS_ZF, 0u);
            EXPECT_EQ(mb->invoker, body);
            EXPECT_EQ(mb->compiled_code, body + 8);
        }
    });
}

// A memory request that fails anywhere in a compile request ends it cleanly:
// the lock is free, the compile record and frame records are gone, the
// method is either compiled or back on its interpreter invoker, and a request
// without a failure compiles.  The Java body is long enough that the
// call-graph walk needs a second work segment (an exhaustion before the lock)
// and the attempt as well; a native method's glue fails on its code memory.
TEST_F(Driver, MemoryFailureAnywhereEndsTheRequestCleanly)
{
    std::vector<u1> long_body(4200, 0x00);      // nops
    long_body.push_back(0xb1);
    const struct {
        fake_method_spec method;
        fake_code_id reverted;
        std::vector<const char*> reasons;       // each given by some failure
        bool before_lock;                       // some failure ends the request before the lock
    } kinds[] = {
        {{"run", "()V", ACC_PUBLIC, long_body}, FK_INVOKE_JAVA, {"work memory exhausted", "code generation"}, true},
        {{"nat", "(I)I", ACC_PUBLIC | ACC_NATIVE}, FK_INVOKE_LAZY_NATIVE, {"method glue"}, false},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.method.name);
        std::string reasons;
        bool before_lock = false;
        int failures = 0;
        on_java_thread([&](EE* ee) {
            for (int n = 1;; n++) {
                SCOPED_TRACE(n);
                classblock* cb = fake_class("Hungry", nullptr, {kind.method});
                give_constant_pool(cb);
                methodblock* mb = &cb->methods[0];
                orva_InitializeForCompiler(cb);
                int records = jit_rcc_count();
                int global_lock_entries = 0;
                vm->on_monitor_enter = [&](void* m) { global_lock_entries += m == orva_global_lock; };
                jit_mem_inject_failure = n;
                request_result r = request(mb, ee);
                bool injected = jit_mem_inject_failure == 0;
                jit_mem_inject_failure = 0;
                vm->on_monitor_enter = nullptr;
                EXPECT_EQ(r.lock_depth, 0);
                EXPECT_EQ(r.record_after, nullptr);
                bool compiled = (r.regs[6] & EFLAGS_ZF) != 0;
                EXPECT_EQ(compiled, (mb->access & ACC_COMPILED) != 0);
                EXPECT_EQ(jit_rcc_count(), records + (compiled ? 1 : 0));
                if (!compiled) {
                    EXPECT_EQ(mb->invoker, fake_code(kind.reverted));
                    EXPECT_EQ(mb->counter, 0xFFFF);
                }
                if (!injected) {
                    EXPECT_TRUE(compiled);
                    break;
                }
                failures++;
                before_lock |= !compiled && global_lock_entries == 0;
                ASSERT_LT(n, 2000);
            }
        });
        std::string h = read_file(hist);
        for (const char* reason : kind.reasons)
            EXPECT_NE(h.find(kind.method.signature + ": " + reason), std::string::npos) << reason;
        EXPECT_EQ(before_lock, kind.before_lock);
        EXPECT_GT(failures, 2);
    }
}

TEST_F(Driver, HexMasksAndBreakPoints)
{
    classblock* cb = fake_class("Brk", nullptr, {{"m", "()V", ACC_PUBLIC, RETURN_BODY}});
    give_constant_pool(cb);
    on_java_thread([&](EE* ee) {
        orva_InitializeForCompiler(cb);
        setCompileOptions("break_before{Brk}{m}:break_after{Brk}{m}");
        testing::internal::CaptureStdout();
        request(&cb->methods[0], ee);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "---> break_before: {Brk}{m()V}\n---> break_after:  {Brk}{m()V}\n");
    });
}
