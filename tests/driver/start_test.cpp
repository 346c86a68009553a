// Start-up: VM refusals, the hooks written after success, the second-start
// guard, the version string, processor detection and the processor count.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "driver/driver.h"
#include "fake_vm.h"
#include "lib/lib.h"
#include "linux.h"

namespace {

std::string start_and_capture_stderr(fake_vm* vm)
{
    jit_started = 0;
    testing::internal::CaptureStderr();
    java_lang_Compiler_start(reinterpret_cast<void**>(vm->lv));
    return testing::internal::GetCapturedStderr();
}

bool nothing_written(const fake_vm* vm)
{
    for (u4 v : vm->hook_vars)
        if (v != 0)
            return false;
    for (u4 v : vm->mmi_vars)
        if (v != 0)
            return false;
    return vm->gcv[GCV_CALLBACK_START] == 0 && vm->gcv[GCV_CALLBACK_END] == 0 && vm->handler_registrations == 0;
}

const char* const adapt = "\"Just-in-Time Compiler version 3.6-(Vornel)-JDK1.2\" cannot adapt to this Java Virtual "
                          "Machine version ";

struct refusal_case {
    const char* what;
    u4 version_word;
    int lossless;
    u4 mmi_version_word;
    int mmi_version_answer;
    std::string expected;
};

} // namespace

// A refused VM gets exactly the refusal text and keeps every hook as it wrote it.
TEST(Start, RefusalsPrintTheirReasonAndInstallNothing)
{
    const refusal_case cases[] = {
        {"major 46 (minor and compiler not examined)", 0x072E0004u, 1, MMI_VERSION_WORD, 0x02001001,
         std::string(adapt) + "46-4-7. The reason is orva_java_version=46 must be 45.\n"},
        {"minor 4", 0x062D0004u, 1, MMI_VERSION_WORD, 0x02001001,
         std::string(adapt) + "45-4-6. The reason is orva_java_minor_version=4 must be 3.\n"},
        {"compiler 7", 0x072D0003u, 1, MMI_VERSION_WORD, 0x02001001,
         std::string(adapt) + "45-3-7. The reason is orva_compiler_version=7 is wrong.\n"},
        {"6/45/3 with UseLosslessQuickOpcodes 0", LV_VERSION_WORD, 0, MMI_VERSION_WORD, 0x02001001,
         std::string(adapt)
             + "45-3-6 (UseLosslessQuickOpcodes is FALSE). The reason is GET_UseLossLess=0 must be 1.\n"},
        {"UseLosslessQuickOpcodes 2", LV_VERSION_WORD, 2, MMI_VERSION_WORD, 0x02001001,
         std::string(adapt)
             + "45-3-6 (UseLosslessQuickOpcodes is TRUE). The reason is GET_UseLossLess=2 must be 1.\n"},
        {"MMI 2.1.2", LV_VERSION_WORD, 1, 0x02001002u, 0x02001001,
         std::string(adapt) + "45-3-6. The reason is get link vector failed.\n"},
        {"MMI version function answers 0", LV_VERSION_WORD, 1, MMI_VERSION_WORD, 0,
         std::string("The MMI JIT cannot be attached to this non-MMI JVM.\n") + adapt
             + "45-3-6. The reason is get link vector failed.\n"},
    };
    for (const refusal_case& c : cases) {
        SCOPED_TRACE(c.what);
        fake_vm* vm = fake_vm_new();
        vm->version_word = c.version_word;
        vm->lossless = c.lossless;
        vm->mmi_version_word = c.mmi_version_word;
        vm->mmi_version_answer = c.mmi_version_answer;
        EXPECT_EQ(start_and_capture_stderr(vm), c.expected);
        EXPECT_TRUE(nothing_written(vm));
        EXPECT_EQ(vm->enumerations, 0);
    }
}

TEST(Start, AcceptedVmGetsEveryHookAndPreparesLoadedClasses)
{
    fake_vm* vm = fake_vm_new();
    classblock* object = fake_class("java/lang/Object", nullptr, {{"hashCode", "()I"}});
    vm->class_vars[1] = object;
    vm->loaded = {object};
    run_on_java_thread([&](EE*) {
        jit_started = 0;
        java_lang_Compiler_start(reinterpret_cast<void**>(vm->lv));
    });
    const u4* h = vm->hook_vars;
    EXPECT_EQ(h[LV_HOOK_START_GUARD], 0u);
    EXPECT_EQ(h[LV_HOOK_COMPILE], reinterpret_cast<u4>(jit_invokeCompiledEntryMethod));
    EXPECT_EQ(h[LV_HOOK_SIGNAL], reinterpret_cast<u4>(jit_CompiledCodeSignalHandler));
    EXPECT_EQ(h[LV_HOOK_FREE_CLASS], reinterpret_cast<u4>(orva_CompilerFreeClass));
    EXPECT_EQ(h[LV_HOOK_COMPILE_CLASS], reinterpret_cast<u4>(orva_CompilerCompileClass));
    EXPECT_EQ(h[LV_HOOK_COMPILE_CLASSES], reinterpret_cast<u4>(orva_CompilerCompileClasses));
    EXPECT_EQ(h[LV_HOOK_ENABLE], reinterpret_cast<u4>(orva_CompilerEnable));
    EXPECT_EQ(h[LV_HOOK_DISABLE], reinterpret_cast<u4>(orva_CompilerDisable));
    EXPECT_EQ(h[LV_HOOK_15], 0u);
    EXPECT_EQ(h[LV_HOOK_PC_IN_COMPILED], reinterpret_cast<u4>(jit_PCinCompiledCode));
    EXPECT_EQ(h[LV_HOOK_COMPILED_PC], reinterpret_cast<u4>(jit_CompiledCodePC));
    EXPECT_EQ(h[LV_HOOK_18], 0u);
    EXPECT_EQ(vm->lossless, 1);
    EXPECT_EQ(h[LV_HOOK_COMPILED_FRAME_UPDATE], reinterpret_cast<u4>(jit_CompiledFrameUpdate));
    EXPECT_EQ(h[LV_HOOK_INITIALIZE_FOR_COMPILER], reinterpret_cast<u4>(orva_InitializeForCompiler));
    EXPECT_EQ(h[LV_HOOK_COMPILER_LOAD_CLASS], reinterpret_cast<u4>(jit_CompilerLoadClass));
    EXPECT_EQ(h[LV_HOOK_PC_TO_LINE], reinterpret_cast<u4>(jit_CompiledCodePCtoLineNo));
    const u4* m = vm->mmi_vars;
    EXPECT_EQ(m[MMI_HOOK_COMPILE / 4], reinterpret_cast<u4>(jit_invokeCompiledEntryMethod));
    EXPECT_EQ(m[MMI_HOOK_COMPILE_XFER / 4], reinterpret_cast<u4>(jit_invokeCompiledEntryMethod));
    EXPECT_EQ(m[MMI_HOOK_GLOBAL_LOCK / 4], reinterpret_cast<u4>(jit_mmi_global_compile_lock));
    EXPECT_EQ(m[MMI_HOOK_GLOBAL_UNLOCK / 4], reinterpret_cast<u4>(jit_mmi_global_compile_unlock));
    EXPECT_NE(vm->gcv[GCV_CALLBACK_START], 0u);
    EXPECT_NE(vm->gcv[GCV_CALLBACK_END], 0u);
    EXPECT_EQ(vm->enumerations, 2);     // one count, one collection
    EXPECT_EQ(object->methods[0].invoker, fake_code(FK_SELECT_JAVA));
    EXPECT_EQ(classJavaLangObject, object);
    EXPECT_EQ(orva_os_type, 12);
    EXPECT_GE(orva_processor_num, 1);
}

// The guard tests the compiler's own hook, not slot 3 (which start-up itself
// writes 0 into): a second start does nothing.
TEST(Start, SecondStartReturnsAtOnce)
{
    fake_vm* vm = fake_vm_new();
    vm->loaded = {fake_class("java/lang/Object", nullptr, {})};
    run_on_java_thread([&](EE*) {
        jit_started = 0;
        java_lang_Compiler_start(reinterpret_cast<void**>(vm->lv));
        // Even with the started flag lost, the slot-101 hook stops a re-run.
        jit_started = 0;
        java_lang_Compiler_start(reinterpret_cast<void**>(vm->lv));
        java_lang_Compiler_start(reinterpret_cast<void**>(vm->lv));
    });
    EXPECT_EQ(vm->enumerations, 2);
}

TEST(Start, VersionStringIsABoundedCopy)
{
    char big[64];
    memset(big, 'x', sizeof big);
    EXPECT_EQ(jit_CompilerVersion(big, sizeof big), big);
    EXPECT_STREQ(big, "3.6-(Vornel)-JDK1.2");
    char exact[19];
    memset(exact, 'x', sizeof exact);
    jit_CompilerVersion(exact, sizeof exact);
    EXPECT_EQ(memcmp(exact, "3.6-(Vornel)-JDK1.2", 19), 0);   // no room for a terminator
    char small[4] = {'x', 'x', 'x', 'x'};
    jit_CompilerVersion(small, 3);
    EXPECT_EQ(memcmp(small, "3.6x", 4), 0);
}

TEST(Start, ProcessorTypeTable)
{
    struct row {
        int cpuid;
        u4 signature;
        const char* override_text;
        s4 type, mmx, cmov;
    } const rows[] = {
        {0, 0x808600, nullptr, 1, 0, 0},      // no CPUID: type 1, override not read
        {0, 0x808600, "5", 1, 0, 0},
        {1, 0x400, nullptr, 3, 0, 0},         // family 4
        {1, 0x500 | 0x800000, nullptr, 4, 1, 0},
        {1, 0x600 | 0x808000, nullptr, 5, 1, 1},
        {1, 0x700, nullptr, 5, 0, 0},
        {1, 0xF00 | 0x8000, nullptr, 5, 0, 1},  // family 15: the low three bits are 7
        {1, 0x300, nullptr, 0, 0, 0},
        {1, 0x808600, "4", 3, 0, 0},
        {1, 0x808600, "5", 4, 1, 0},          // CMOV off, MMX as reported
        {1, 0x400, "6", 5, 0, 0},
        {1, 0x400, "7", 5, 0, 0},
        {1, 0x808600, "x", 0, 1, 1},          // not a number converts as 0
        {1, 0x808600, "9", 0, 1, 1},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.cpuid << " " << std::hex << r.signature << " "
                                        << (r.override_text ? r.override_text : "-"));
        s4 type = -1, mmx = -1, cmov = -1;
        jit_processor_type_from(r.cpuid, r.signature, r.override_text, &type, &mmx, &cmov);
        EXPECT_EQ(type, r.type);
        EXPECT_EQ(mmx, r.mmx);
        EXPECT_EQ(cmov, r.cmov);
    }
}

TEST(Start, ProcessorProbesAnswerOnThisMachine)
{
    ASSERT_EQ(_CPUID_SUPPORT(), 1);
    u4 signature = _GET_CPU_TYPE();
    EXPECT_EQ(signature & ~0x808FF0u, 0u);
    EXPECT_NE(signature & 0xF00, 0u);
    unsigned long long t1 = __x86_rd_time_stamp_counter();
    unsigned long long t2 = __x86_rd_time_stamp_counter();
    EXPECT_GE(t2, t1);
}

TEST(Start, ProcessorCountFromCpuinfo)
{
    char path[] = "/tmp/orva_cpuinfo_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const char text[] = "processor\t: 0\nBogoMIPS\t: 1.0\nbogomips\t: 1.0\nBOGOMIPS : 2\nflags: bogomips\n"
                        "bogoMIPS\t: 3\n  bogomips indented\n";
    ASSERT_EQ(write(fd, text, sizeof text - 1), static_cast<ssize_t>(sizeof text - 1));
    close(fd);
    EXPECT_EQ(jit_count_bogomips(path), 4);
    jit_count_processors(path);
    EXPECT_EQ(orva_processor_num, 4);
    unlink(path);

    testing::internal::CaptureStderr();
    jit_count_processors("/nonexistent/cpuinfo");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "JIT cannot get processor_num. Assuming SMP...\n");
    EXPECT_EQ(orva_processor_num, 2);
}

TEST(Start, AtomicTestAndSetAnswersThePreviousValue)
{
    volatile u4 word = 0;
    EXPECT_EQ(AtomicTestAndSet(&word), 0u);
    EXPECT_EQ(word, 1u);
    EXPECT_EQ(AtomicTestAndSet(&word), 1u);
}

TEST(Start, ThreadAreaCheckAcceptsAVmThread)
{
    fake_vm* vm = fake_vm_new();
    fake_vm_bind(vm);
    run_on_java_thread([](EE* ee) {
        EXPECT_EQ(get_tla_data(TLA_EE), reinterpret_cast<u4>(ee));
        EXPECT_EQ(jit_init_linux(), 0);
    });
}

TEST(StartDeathTest, ThreadAreaCheckRefusesAWrongEE)
{
    fake_vm* vm = fake_vm_new();
    fake_vm_bind(vm);
    EXPECT_EXIT(run_on_java_thread([](EE* ee) {
                    reinterpret_cast<tla*>(reinterpret_cast<u4>(ee) & TLA_MASK)->ee = nullptr;
                    jit_init_linux();
                }),
                testing::ExitedWithCode(1), "jit_init_linux: ERROR, incorrect TLE_EE");
}
