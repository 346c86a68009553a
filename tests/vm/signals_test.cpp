// Hardware faults: the classification table, and the fault raiser's fidelity
// on faults taken in hand-written code copied into an mmap'd page that a
// fake committed-code hook reports as compiled code.  The test handler
// stands where the compiler's handler would: it checks the exception record
// and the register context, rewrites the context, and the raiser must resume
// exactly from it (all eight registers, eip, control word).  Faults outside
// compiled code, in the red zone or a second overflow are fatal reports.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>
#include <cstring>

#include "vm.h"

// Each case: load registers and the x87 control word from a block, execute
// one faulting instruction, then store every register to the block.  Code is
// position independent so it runs from a copy.  Block words: 0-6 eax ebx ecx
// edx esi edi ebp to load, 7 control word, 8 esp at the fault (out), 9-15
// registers after the resume, 16 control word after, 17 esp after.
asm(R"(
        .pushsection .text
        .intel_syntax noprefix
        .macro FCASE name, insn
        .globl \name\()_start, \name\()_fault, \name\()_resume, \name\()_end
\name\()_start:
        push    ebp
        push    ebx
        push    esi
        push    edi
        mov     eax, [esp + 20]
        push    eax
        mov     [eax + 32], esp
        fldcw   [eax + 28]
        mov     ebx, [eax + 4]
        mov     ecx, [eax + 8]
        mov     edx, [eax + 12]
        mov     esi, [eax + 16]
        mov     edi, [eax + 20]
        mov     ebp, [eax + 24]
        mov     eax, [eax]
\name\()_fault:
        \insn
\name\()_resume:
        xchg    eax, [esp]
        mov     [eax + 40], ebx
        mov     [eax + 44], ecx
        mov     [eax + 48], edx
        mov     [eax + 52], esi
        mov     [eax + 56], edi
        mov     [eax + 60], ebp
        fnstcw  [eax + 64]
        mov     [eax + 68], esp
        pop     ecx
        mov     [eax + 36], ecx
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret
\name\()_end:
        .endm
        FCASE fc_null_load, "mov eax, [eax]"
        FCASE fc_null_cmp, "cmp eax, [eax]"
        FCASE fc_idiv_ecx, "idiv ecx"
        FCASE fc_idiv_edx, "idiv edx"
        FCASE fc_probe, "test [esi], eax"
        .att_syntax
        .popsection
)");

#define CASE_SYMBOLS(name)                                                           \
    extern "C" char name##_start[], name##_fault[], name##_resume[], name##_end[];
CASE_SYMBOLS(fc_null_load)
CASE_SYMBOLS(fc_null_cmp)
CASE_SYMBOLS(fc_idiv_ecx)
CASE_SYMBOLS(fc_idiv_edx)
CASE_SYMBOLS(fc_probe)

namespace {

struct Case {
    const char* start;
    const char* fault;
    const char* resume;
    const char* end;
};
#define CASE(name) Case{name##_start, name##_fault, name##_resume, name##_end}

enum Block { B_EAX, B_EBX, B_ECX, B_EDX, B_ESI, B_EDI, B_EBP, B_CW, B_FAULT_ESP,
             B_OUT = 9, B_CW_AFTER = 16, B_ESP_AFTER = 17, B_YELLOW = 18, B_WORDS = 19 };

constexpr int CTX = 0x14;
constexpr int CTX_CW = 0x1C, CTX_EDI = 0x9C, CTX_ESI = 0xA0, CTX_EBX = 0xA4, CTX_EDX = 0xA8,
              CTX_ECX = 0xAC, CTX_EAX = 0xB0, CTX_EBP = 0xB4, CTX_EIP = 0xB8, CTX_ESP = 0xC4;

u1* code_page;

int fake_pc_in_compiled(u4 pc, methodblock* mb)
{
    u4 p = reinterpret_cast<u4>(code_page);
    return pc >= p && pc < p + 4096 ? 1 : 0;
}

enum Action { RESUME_WITH_NEW_REGISTERS, REPAIR_IDIV, DECLINE };

// What the handler saw and how it answers.
struct Seen {
    Action action;
    u4 resume_eip;
    int calls;
    u4 code, flags, address, registration;
    u4 ctx[0xCC / 4];
} seen;

extern "C" int test_handler(u4* record, u4 registration, u1* context)
{
    seen.calls++;
    seen.code = record[0];
    seen.flags = record[1];
    seen.address = record[3];
    seen.registration = registration;
    std::memcpy(seen.ctx, context, sizeof seen.ctx);
    auto reg = [context](int off) -> u4& { return *reinterpret_cast<u4*>(context + off); };
    if (seen.action == DECLINE)
        return 1;                       // "continue the search": nobody handles it
    if (seen.action == REPAIR_IDIV) {
        reg(CTX_EDX) = 0;
        reg(CTX_EIP) += 2;
    } else {
        reg(CTX_EIP) = seen.resume_eip;
        reg(CTX_EAX) = 0xA0A0A0A0;
        reg(CTX_EBX) = 0xB1B1B1B1;
        reg(CTX_ECX) = 0xC2C2C2C2;
        reg(CTX_EDX) = 0xD3D3D3D3;
        reg(CTX_ESI) = 0xE4E4E4E4;
        reg(CTX_EDI) = 0xF5F5F5F5;
        reg(CTX_EBP) = 0x06060606;
        reg(CTX_CW) = X87_CW_JAVA;
    }
    return 0;
}

struct FaultRun {
    Case c;
    u4 block[B_WORDS];
    u4 copy;                // address of the copied case
};

// Runs one case on a Java thread with a registration whose handler is
// test_handler.
void run_on_thread(EE* ee, void* arg)
{
    auto* r = static_cast<FaultRun*>(arg);
    struct {
        EE* ee;
        u4 next;
        u4 handler;
    } reg = {ee, 0, reinterpret_cast<u4>(&test_handler)};
    auto* t = reinterpret_cast<tla*>(ee->area);
    reg.next = t->registration;
    t->registration = reinterpret_cast<u4>(&reg.next);
    size_t len = static_cast<size_t>(r->c.end - r->c.start);
    std::memcpy(code_page, r->c.start, len);
    r->copy = reinterpret_cast<u4>(code_page);
    seen.resume_eip = r->copy + static_cast<u4>(r->c.resume - r->c.start);
    reinterpret_cast<void (*)(u4*)>(code_page)(r->block);
    t->registration = reg.next;
    vm_reprotect_yellow_zone(ee);
    asm volatile("fninit");
    u2 cw = X87_CW_JAVA;
    asm volatile("fldcw %0" : : "m"(cw));
}

class FaultRaiser : public ::testing::Test {
protected:
    void SetUp() override
    {
        vm_install_signal_handlers();
        if (!code_page)
            code_page = static_cast<u1*>(mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                                              MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        vm_hook_pc_in_compiled = reinterpret_cast<void*>(&fake_pc_in_compiled);
        seen = Seen{};
    }
    void TearDown() override { vm_hook_pc_in_compiled = nullptr; }

    // Runs the case; returns the offset of the faulting instruction.
    u4 run(FaultRun& r)
    {
        EE* ee = vm_start_thread_area(run_on_thread, &r, false);
        EXPECT_NE(ee, nullptr);
        vm_wait_non_daemon_threads();
        return r.copy + static_cast<u4>(r.c.fault - r.c.start);
    }
};

void fill(FaultRun& r, u4 eax, u4 ebx, u4 ecx, u4 edx, u4 esi, u4 edi, u4 ebp, u4 cw)
{
    u4 in[] = {eax, ebx, ecx, edx, esi, edi, ebp, cw};
    std::memset(r.block, 0, sizeof r.block);
    std::memcpy(r.block, in, sizeof in);
}

}  // namespace

TEST(FaultClassification, Table)
{
    const u4 A = 0x40000000;
    struct Row {
        const char* what;
        int sig, code;
        u4 addr;
        bool yellow_open, compiled, interp, compiler_text;
        u4 expect;
    };
    const Row rows[] = {
        {"null load in compiled code", SIGSEGV, SEGV_MAPERR, 8, false, true, false, false, FAULT_MEMORY},
        {"null load in the interpreter", SIGSEGV, SEGV_MAPERR, 8, false, false, true, false, FAULT_MEMORY},
        {"SIGBUS in compiled code", SIGBUS, BUS_ADRERR, 0x1000, false, true, false, false, FAULT_MEMORY},
        {"null load in VM code", SIGSEGV, SEGV_MAPERR, 8, false, false, false, false, 0},
        {"null load in the compiler's C code", SIGSEGV, SEGV_MAPERR, 8, false, false, false, true, 0},
        {"division in compiled code", SIGFPE, FPE_INTDIV, 0, false, true, false, false, FAULT_ARITHMETIC},
        {"overflow in compiled code", SIGFPE, FPE_INTOVF, 0, false, true, false, false, FAULT_ARITHMETIC},
        {"division in the interpreter", SIGFPE, FPE_INTDIV, 0, false, false, true, false, FAULT_ARITHMETIC},
        {"division in VM code", SIGFPE, FPE_INTDIV, 0, false, false, false, false, 0},
        {"x87 exception", SIGFPE, FPE_FLTDIV, 0, false, true, false, false, 0},
        {"probe into the yellow zone, compiled", SIGSEGV, SEGV_ACCERR, A + 0x2000, false, true, false, false, FAULT_STACK_OVERFLOW},
        {"probe into the yellow zone top, trampoline", SIGSEGV, SEGV_ACCERR, A + 0x9FFC, false, false, false, true, FAULT_STACK_OVERFLOW},
        {"yellow zone from the interpreter", SIGSEGV, SEGV_ACCERR, A + 0x5000, false, false, true, false, 0},
        {"second overflow while open", SIGSEGV, SEGV_ACCERR, A + 0x5000, true, true, false, false, 0},
        {"red zone", SIGSEGV, SEGV_ACCERR, A + 0x1000, false, true, false, false, 0},
        {"red zone top", SIGSEGV, SEGV_ACCERR, A + 0x1FFF, false, true, false, true, 0},
        {"TLA page is not a stack fault", SIGSEGV, SEGV_ACCERR, A + 0x0FFF, false, true, false, false, FAULT_MEMORY},
        {"just above the yellow zone", SIGSEGV, SEGV_MAPERR, A + 0xA000, false, true, false, false, FAULT_MEMORY},
        {"another thread's zone", SIGSEGV, SEGV_ACCERR, A + 0x42000, false, true, false, false, FAULT_MEMORY},
        {"SIGILL", SIGILL, ILL_ILLOPN, 0, false, true, false, false, 0},
    };
    for (const Row& r : rows) {
        vm_fault_site s = {};
        s.signal = r.sig;
        s.si_code = r.code;
        s.fault_addr = r.addr;
        s.area = A;
        s.yellow_open = r.yellow_open;
        s.in_compiled = r.compiled;
        s.in_interpreter = r.interp;
        s.in_compiler_text = r.compiler_text;
        EXPECT_EQ(vm_classify_fault(s), r.expect) << r.what;
    }
}

TEST_F(FaultRaiser, NullLoadResumesFromTheRewrittenContext)
{
    for (Case c : {CASE(fc_null_load), CASE(fc_null_cmp)}) {
        seen = Seen{};
        FaultRun r = {c, {}, 0};
        fill(r, 0, 0x11111111, 0x22222222, 0x33333333, 0x44444444, 0x55555555, 0x66666666, 0x037F);
        u4 fault = run(r);
        ASSERT_EQ(seen.calls, 1);
        EXPECT_EQ(seen.code, static_cast<u4>(FAULT_MEMORY));
        EXPECT_EQ(seen.flags, 0u);
        EXPECT_EQ(seen.address, fault);
        const u4* ctx = seen.ctx;
        auto at = [ctx](int off) { return ctx[off / 4]; };
        EXPECT_EQ(at(CTX_EIP), fault);
        EXPECT_EQ(at(CTX_EAX), 0u);
        EXPECT_EQ(at(CTX_EBX), 0x11111111u);
        EXPECT_EQ(at(CTX_ECX), 0x22222222u);
        EXPECT_EQ(at(CTX_EDX), 0x33333333u);
        EXPECT_EQ(at(CTX_ESI), 0x44444444u);
        EXPECT_EQ(at(CTX_EDI), 0x55555555u);
        EXPECT_EQ(at(CTX_EBP), 0x66666666u);
        EXPECT_EQ(at(CTX_ESP), r.block[B_FAULT_ESP]);
        EXPECT_EQ(at(CTX_CW) & 0xFFFF, 0x037Fu);
        // Resumed at the new eip with every register from the context.
        EXPECT_EQ(r.block[B_OUT + 0], 0xA0A0A0A0u);
        EXPECT_EQ(r.block[B_OUT + 1], 0xB1B1B1B1u);
        EXPECT_EQ(r.block[B_OUT + 2], 0xC2C2C2C2u);
        EXPECT_EQ(r.block[B_OUT + 3], 0xD3D3D3D3u);
        EXPECT_EQ(r.block[B_OUT + 4], 0xE4E4E4E4u);
        EXPECT_EQ(r.block[B_OUT + 5], 0xF5F5F5F5u);
        EXPECT_EQ(r.block[B_OUT + 6], 0x06060606u);
        EXPECT_EQ(r.block[B_CW_AFTER], static_cast<u4>(X87_CW_JAVA));
        EXPECT_EQ(r.block[B_ESP_AFTER], r.block[B_FAULT_ESP]);
    }
}

TEST_F(FaultRaiser, DivisionByZeroIsAnArithmeticFault)
{
    FaultRun r = {CASE(fc_idiv_ecx), {}, 0};
    fill(r, 7, 1, 0, 0, 2, 3, 4, X87_CW_JAVA);
    u4 fault = run(r);
    ASSERT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.code, static_cast<u4>(FAULT_ARITHMETIC));
    EXPECT_EQ(seen.address, fault);
    EXPECT_EQ(seen.ctx[CTX_EIP / 4], fault);
    EXPECT_EQ(seen.ctx[CTX_ECX / 4], 0u);
    EXPECT_EQ(r.block[B_OUT + 3], 0xD3D3D3D3u);
}

TEST_F(FaultRaiser, IdivOverflowRepairResumesTwoBytesLater)
{
    // 0x80000000 / -1 with the divisor in ecx: the filter's repair sets
    // Edx = 0 and steps over the 2-byte idiv; eax keeps 0x80000000.
    seen.action = REPAIR_IDIV;
    FaultRun r = {CASE(fc_idiv_ecx), {}, 0};
    fill(r, 0x80000000, 0x1234, 0xFFFFFFFF, 0xFFFFFFFF, 0x5678, 0x9ABC, 0xDEF0, X87_CW_JAVA);
    u4 fault = run(r);
    ASSERT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.code, static_cast<u4>(FAULT_ARITHMETIC));
    EXPECT_EQ(seen.ctx[CTX_EDX / 4], 0xFFFFFFFFu);
    EXPECT_EQ(reinterpret_cast<u1*>(fault)[1], 0xF9);   // ModRM of idiv ecx
    EXPECT_EQ(r.block[B_OUT + 0], 0x80000000u);
    EXPECT_EQ(r.block[B_OUT + 3], 0u);
    EXPECT_EQ(r.block[B_OUT + 2], 0xFFFFFFFFu);
    EXPECT_EQ(r.block[B_OUT + 1], 0x1234u);
    EXPECT_EQ(r.block[B_OUT + 4], 0x5678u);
    EXPECT_EQ(r.block[B_OUT + 5], 0x9ABCu);
    EXPECT_EQ(r.block[B_OUT + 6], 0xDEF0u);
}

TEST_F(FaultRaiser, IdivWithTheDivisorInEdxIsReportedAsItIs)
{
    FaultRun r = {CASE(fc_idiv_edx), {}, 0};
    fill(r, 0x80000000, 0, 0, 0xFFFFFFFF, 0, 0, 0, X87_CW_JAVA);
    u4 fault = run(r);
    ASSERT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.code, static_cast<u4>(FAULT_ARITHMETIC));
    EXPECT_EQ(reinterpret_cast<u1*>(fault)[1], 0xFA);
    EXPECT_EQ(seen.ctx[CTX_EDX / 4], 0xFFFFFFFFu);
}

TEST_F(FaultRaiser, YellowZoneProbeOpensTheZoneOnce)
{
    for (int round = 0; round < 2; round++) {
        seen = Seen{};
        FaultRun r = {CASE(fc_probe), {}, 0};
        // esi is set on the thread (the area is not known before).
        auto body = [](EE* ee, void* arg) {
            auto* rr = static_cast<FaultRun*>(arg);
            rr->block[B_ESI] = ee->area + THREAD_AREA_YELLOW + 0x3000;
            run_on_thread(ee, rr);
            // Protected again once the frame is far enough above the zone.
            rr->block[B_YELLOW] = reinterpret_cast<tla*>(ee->area)->yellow_state;
        };
        fill(r, 0, 0, 0, 0, 0, 0, 0, X87_CW_JAVA);
        EE* ee = vm_start_thread_area(body, &r, false);
        ASSERT_NE(ee, nullptr);
        vm_wait_non_daemon_threads();
        ASSERT_EQ(seen.calls, 1);
        EXPECT_EQ(seen.code, static_cast<u4>(FAULT_STACK_OVERFLOW));
        EXPECT_EQ(seen.address, r.copy + static_cast<u4>(fc_probe_fault - fc_probe_start));
        EXPECT_EQ(r.block[B_YELLOW], 0u);
    }
}

// Fatal faults: a report on stderr and SIGABRT.
namespace {

// Through a volatile pointer: a constant null store may be dropped as UB.
volatile int* volatile null_pointer;

void fault_in_vm_code()
{
    auto body = [](EE* ee, void*) { *null_pointer = 1; };
    vm_start_thread_area(body, nullptr, false);
    vm_wait_non_daemon_threads();
}

// A probe at `offset` in the area from fake compiled code.
void probe_in_area(u4 offset)
{
    code_page = static_cast<u1*>(mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    vm_hook_pc_in_compiled = reinterpret_cast<void*>(&fake_pc_in_compiled);
    static FaultRun r = {CASE(fc_probe), {}, 0};
    static u4 where;
    where = offset;
    auto body = [](EE* ee, void* arg) {
        auto* rr = static_cast<FaultRun*>(arg);
        rr->block[B_ESI] = ee->area + where;
        auto* t = reinterpret_cast<tla*>(ee->area);
        struct {
            EE* ee;
            u4 next;
            u4 handler;
        } reg = {ee, t->registration, reinterpret_cast<u4>(&test_handler)};
        t->registration = reinterpret_cast<u4>(&reg.next);
        std::memcpy(code_page, rr->c.start, static_cast<size_t>(rr->c.end - rr->c.start));
        seen.resume_eip = reinterpret_cast<u4>(code_page) + static_cast<u4>(rr->c.resume - rr->c.start);
        reinterpret_cast<void (*)(u4*)>(code_page)(rr->block);
    };
    vm_install_signal_handlers();
    vm_start_thread_area(body, &r, false);
    vm_wait_non_daemon_threads();
}

// A fault that the handler chain declines (answer 1) must not resume at an
// eip nobody set.
void declined_fault()
{
    vm_install_signal_handlers();
    code_page = static_cast<u1*>(mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    vm_hook_pc_in_compiled = reinterpret_cast<void*>(&fake_pc_in_compiled);
    seen = Seen{};
    seen.action = DECLINE;
    static FaultRun r = {CASE(fc_null_load), {}, 0};
    vm_start_thread_area(run_on_thread, &r, false);
    vm_wait_non_daemon_threads();
}

void fault_off_java_threads()
{
    *null_pointer = 1;
}

}  // namespace

TEST(FatalFault, FaultInVmCodeAborts)
{
    vm_install_signal_handlers();
    EXPECT_EXIT(fault_in_vm_code(), ::testing::KilledBySignal(SIGABRT),
                "Internal VM error: SIGSEGV .* at 0x.*fault outside compiled code");
}

TEST(FatalFault, RedZoneAccessAborts)
{
    EXPECT_EXIT(probe_in_area(THREAD_AREA_RED + 0x10), ::testing::KilledBySignal(SIGABRT),
                "red zone");
}

TEST(FatalFault, FaultOffJavaThreadsAborts)
{
    vm_install_signal_handlers();
    EXPECT_EXIT(fault_off_java_threads(), ::testing::KilledBySignal(SIGABRT), "not a Java thread");
}

TEST(FatalFault, DeclinedEventAborts)
{
    EXPECT_EXIT(declined_fault(), ::testing::KilledBySignal(SIGABRT),
                "unhandled exception event 0xb at 0x");
}
