// The method gates and the call-binding routines, reached from hand-made
// call sites in an executable page.
#include <gtest/gtest.h>
#include <string.h>
#include <sys/mman.h>

#include "lib/rt_stubs.h"
#include "rt_fixture.h"

void ForceCCtoInvokeInterpreterFromJIT(methodblock* mb);

namespace {

// Page layout: the call site at +0 (call rel32, then jmp [rtf_site_continue]),
// the site's stub at +64, a glue area at +96 (two gate stubs), a compiled
// method's pre-header at +150 and its entry at +160 (eax + edx), a landing
// for virtual binding at +200.
constexpr int SITE = 0, STUB = 64, GLUE = 96, PRE = 150, ENTRY = 160, LANDING = 200;

u4 landing_ecx, landing_word;

struct page {
    u1* base;
    u1* at(int off) { return base + off; }
};

void put_rel(u1* insn, u1 opcode, const void* target)
{
    insn[0] = opcode;
    u4 rel = reinterpret_cast<u4>(target) - reinterpret_cast<u4>(insn + 5);
    memcpy(insn + 1, &rel, 4);
}

u4 call_target(u1* call) { u4 rel; memcpy(&rel, call + 1, 4); return reinterpret_cast<u4>(call + 5) + rel; }

page make_page()
{
    void* p = mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(p, MAP_FAILED);
    page pg{static_cast<u1*>(p)};
    memset(pg.base, 0xCC, 4096);
    put_rel(pg.at(SITE), 0xE8, pg.at(STUB));
    u1 jmp_continue[] = {0xFF, 0x25};
    memcpy(pg.at(SITE + 5), jmp_continue, 2);
    void** cont = &rtf_site_continue;
    memcpy(pg.at(SITE + 7), &cont, 4);
    // Pre-header: call __backpatch_invocation, lea esp, [esp], nop, nop.
    put_rel(pg.at(PRE), 0xE8, reinterpret_cast<void*>(&__backpatch_invocation));
    u1 pad[] = {0x8D, 0x24, 0x24, 0x90, 0x90};
    memcpy(pg.at(PRE + 5), pad, 5);
    u1 body[] = {0x01, 0xD0, 0xC3};     // add eax, edx; ret
    memcpy(pg.at(ENTRY), body, 3);
    // Landing of a virtual binding: keeps ecx, takes the word left on the stack.
    u1* l = pg.at(LANDING);
    u4 a1 = reinterpret_cast<u4>(&landing_ecx), a2 = reinterpret_cast<u4>(&landing_word);
    u1 land[] = {0x89, 0x0D, 0, 0, 0, 0, 0x8B, 0x0C, 0x24, 0x89, 0x0D, 0, 0, 0, 0, 0x83, 0xC4, 0x04, 0x01, 0xD0, 0xC3};
    memcpy(land + 2, &a1, 4);
    memcpy(land + 11, &a2, 4);
    memcpy(l, land, sizeof land);
    return pg;
}

// push imm32; jmp rel32 target
void put_stub(u1* at, u4 word, const void* target)
{
    at[0] = 0x68;
    memcpy(at + 1, &word, 4);
    put_rel(at + 5, 0xE9, target);
}

methodblock* new_method(const char* signature, u2 access, u2 args)
{
    auto* mb = static_cast<methodblock*>(calloc(1, sizeof(methodblock)));
    static classblock cls;
    mb->clazz = &cls;
    mb->name = "m";
    mb->signature = signature;
    mb->access = access;
    mb->args_size = args;
    mb->invoker = reinterpret_cast<void*>(&rtf_invoker);
    return mb;
}

u4 run_site(page& pg, u4 eax, u4 edx, u4 ecx = 0, u4 n = 0, const u4* words = nullptr)
{
    u4 r = 0;
    EXPECT_TRUE(rtf_run([&] { r = rtf_run_site(pg.at(SITE), eax, edx, ecx, n, words); }));
    return r;
}

methodblock* compiled_method(page& pg)
{
    methodblock* mb = new_method("(I)I", ACC_COMPILED, 2);
    mb->compiled_code = pg.at(ENTRY);
    return mb;
}

TEST(Gate, BackPatchingGateRebindsTheCallerToCompiledCode)
{
    page pg = make_page();
    methodblock* mb = compiled_method(pg);
    put_stub(pg.at(STUB), reinterpret_cast<u4>(mb), reinterpret_cast<void*>(&__bp_gate_code));
    EXPECT_EQ(run_site(pg, 2, 3), 5u);
    EXPECT_EQ(call_target(pg.at(SITE)), reinterpret_cast<u4>(pg.at(ENTRY))) << "through the pre-header";
    EXPECT_EQ(run_site(pg, 40, 2), 42u);
}

TEST(Gate, PlainGateEntersCompiledCodeWithoutPatching)
{
    page pg = make_page();
    methodblock* mb = compiled_method(pg);
    put_stub(pg.at(STUB), reinterpret_cast<u4>(mb), reinterpret_cast<void*>(&__gate_code));
    EXPECT_EQ(run_site(pg, 2, 3), 5u);
    EXPECT_EQ(call_target(pg.at(SITE)), reinterpret_cast<u4>(pg.at(STUB)));
}

TEST(Gate, InterpreterPathCopiesArgumentsInTheVmOrder)
{
    page pg = make_page();
    // this, I, J (2 words), F, L, D (2 words), [[I: 9 words.
    methodblock* mb = new_method("(IJFLjava/lang/String;D[[I)I", 0, 9);
    mb->counter = 5;
    put_stub(pg.at(STUB), reinterpret_cast<u4>(mb), reinterpret_cast<void*>(&__gate_code));
    u4 words[9];
    for (int i = 0; i < 9; i++)
        words[i] = 0x100 + i;           // the argument area
    rtf_ee()->mode = 1;
    rtf_ee()->transition = 0;
    rtf_invoker_calls = 0;
    EXPECT_EQ(run_site(pg, 0xA0, 0xA1, 0xA2, 9, words), 0x1234u);
    EXPECT_EQ(rtf_edx, 0x5678u);
    EXPECT_EQ(rtf_invoker_calls, 1u);
    EXPECT_EQ(rtf_invoker_seen[0], reinterpret_cast<u4>(mb));  // eax
    EXPECT_EQ(rtf_invoker_seen[1], 0u);                         // ebx: instance method
    EXPECT_EQ(rtf_invoker_seen[2], 9u);                         // ecx: word count
    EXPECT_EQ(rtf_invoker_seen[3], 0xA0u);                      // edx: the receiver
    EXPECT_EQ(rtf_invoker_seen[4], 0u) << "interpreter mode during the call";
    // From [esp+4] up: word 8 .. word 0, then the count.
    const u4 want[10] = {0x108, 0x107, 0x106, 0x105, 0x104, 0x103, 0xA2, 0xA1, 0xA0, 9};
    for (int k = 0; k < 10; k++)
        EXPECT_EQ(rtf_invoker_args[k], want[k]) << "word at esp+" << 4 * (k + 1);
    EXPECT_EQ(rtf_ee()->mode, 1u);
    EXPECT_EQ(rtf_ee()->transition, 0u) << "the interpreter-call record is unlinked";
}

TEST(Gate, InterpreterPathForStaticAndNativeMethods)
{
    page pg = make_page();
    // static (F I J): F from the area; I is the first integer-class word (eax), J in edx and ecx.
    methodblock* mb = new_method("(FIJ)V", ACC_STATIC | ACC_NATIVE, 4);
    mb->counter = 1;
    put_stub(pg.at(STUB), reinterpret_cast<u4>(mb), reinterpret_cast<void*>(&__bp_gate_code));
    u4 words[4] = {0x200, 0x201, 0x202, 0x203};
    rtf_ee()->mode = 7;
    run_site(pg, 0xB0, 0xB1, 0xB2, 4, words);
    EXPECT_EQ(rtf_invoker_seen[1], 1u);                         // ebx: static
    EXPECT_EQ(rtf_invoker_seen[3], reinterpret_cast<u4>(mb->clazz));
    EXPECT_EQ(rtf_invoker_seen[4], 7u) << "a native method leaves the mode word alone";
    const u4 want[5] = {0xB2, 0xB1, 0xB0, 0x200, 4};
    for (int k = 0; k < 5; k++)
        EXPECT_EQ(rtf_invoker_args[k], want[k]) << k;
    EXPECT_EQ(call_target(pg.at(SITE)), reinterpret_cast<u4>(pg.at(STUB))) << "no code: nothing patched";
}

// Float and double words travel in the argument area and do not use up a
// register: the integer-class words after them still come in eax, edx, ecx.
TEST(Gate, InterpreterPathCountsOnlyIntegerClassWordsForRegisters)
{
    struct {
        const char* signature;
        u2 access;
        u2 words;
        u4 want[8];     // word n-1 .. word 0, then the count
    } const cases[] = {
        // J in eax/edx, D from the area, the reference in ecx, [I from the area.
        {"(JDLjava/lang/Object;[I)V", ACC_STATIC, 6, {0x305, 0xC2, 0x303, 0x302, 0xC1, 0xC0, 6}},
        // this in eax, D from the area, I in edx, F from the area, the reference in ecx.
        {"(DIFLjava/lang/Object;)I", 0, 6, {0xC2, 0x304, 0xC1, 0x302, 0x301, 0xC0, 6}},
        // F and D first: I, J's two words in eax, edx, ecx.
        {"(FDIJ)V", ACC_STATIC, 6, {0xC2, 0xC1, 0xC0, 0x302, 0x301, 0x300, 6}},
        // A malformed descriptor (unterminated class name) still fills every
        // word: the words after I copy as integer class.
        {"(ILjava/lang/Object)V", ACC_STATIC, 3, {0xC2, 0xC1, 0xC0, 3}},
    };
    for (const auto& c : cases) {
        page pg = make_page();
        methodblock* mb = new_method(c.signature, c.access, c.words);
        mb->counter = 2;
        put_stub(pg.at(STUB), reinterpret_cast<u4>(mb), reinterpret_cast<void*>(&__gate_code));
        u4 words[8];
        for (u4 i = 0; i < c.words; i++)
            words[i] = 0x300 + i;
        rtf_invoker_calls = 0;
        run_site(pg, 0xC0, 0xC1, 0xC2, c.words, words);
        EXPECT_EQ(rtf_invoker_calls, 1u) << c.signature;
        for (u4 k = 0; k <= c.words; k++)
            EXPECT_EQ(rtf_invoker_args[k], c.want[k]) << c.signature << ", word at esp+" << 4 * (k + 1);
    }
}

TEST(Gate, PendingExceptionIsRaisedInTheCaller)
{
    page pg = make_page();
    methodblock* mb = new_method("()V", ACC_STATIC, 0);
    mb->counter = 3;
    put_stub(pg.at(STUB), reinterpret_cast<u4>(mb), reinterpret_cast<void*>(&__gate_code));
    rtf_thrown_calls = 0;
    rtf_ee()->exception_kind = 1;
    u4 r = 0;
    EXPECT_FALSE(rtf_run([&] { r = rtf_run_site(pg.at(SITE), 0, 0, 0, 0, nullptr); }));
    rtf_ee()->exception_kind = 0;
    EXPECT_EQ(rtf_thrown_calls, 1u);
}

page* compile_page;
methodblock* compile_seen;
u4 compile_transition;

TEST(Gate, CompilesWhenTheCounterIsZeroAndPatchesTheCaller)
{
    page pg = make_page();
    compile_page = &pg;
    methodblock* mb = new_method("(I)I", 0, 2);
    mb->counter = 0;
    put_stub(pg.at(STUB), reinterpret_cast<u4>(mb), reinterpret_cast<void*>(&__bp_gate_code));
    rtf_ee()->transition = 0;
    rtf_compile_hook = [](methodblock* m) {
        compile_seen = m;
        compile_transition = rtf_ee()->transition;
        m->access |= ACC_COMPILED;
        m->compiled_code = compile_page->at(ENTRY);
        return 0;
    };
    EXPECT_EQ(run_site(pg, 20, 22), 42u);
    rtf_compile_hook = nullptr;
    EXPECT_EQ(compile_seen, mb);
    EXPECT_NE(compile_transition, 0u) << "a transition record while compiling";
    EXPECT_EQ(rtf_ee()->transition, 0u);
    EXPECT_EQ(call_target(pg.at(SITE)), reinterpret_cast<u4>(pg.at(ENTRY)));
}

TEST(Gate, FailedCompileCallsTheInvokerThatCompilationLeft)
{
    page pg = make_page();
    methodblock* mb = new_method("(I)I", 0, 2);
    mb->counter = 0;
    mb->invoker = nullptr;              // replaced while compiling
    put_stub(pg.at(STUB), reinterpret_cast<u4>(mb), reinterpret_cast<void*>(&__gate_code));
    rtf_invoker_calls = 0;
    rtf_compile_hook = [](methodblock* m) {
        m->invoker = reinterpret_cast<void*>(&rtf_invoker);
        return 1;
    };
    EXPECT_EQ(run_site(pg, 1, 2), 0x1234u);
    rtf_compile_hook = nullptr;
    EXPECT_EQ(rtf_invoker_calls, 1u);
}

TEST(Binding, InvokestaticInitialTargetGoesThroughThePreHeader)
{
    page pg = make_page();
    methodblock* mb = compiled_method(pg);
    put_stub(pg.at(STUB), reinterpret_cast<u4>(mb), reinterpret_cast<void*>(&__invokestatic_initial_target));
    EXPECT_EQ(run_site(pg, 5, 6), 11u);
    EXPECT_EQ(call_target(pg.at(SITE)), reinterpret_cast<u4>(pg.at(ENTRY)));
}

TEST(Binding, InvokevirtualInitialTargetLeavesTheMethodBlock)
{
    page pg = make_page();
    for (void (*routine)(void) : {&__invokevirtual_initial_target, &__correct_direct_binding}) {
        methodblock* mb = new_method("(I)I", ACC_COMPILED, 2);
        mb->compiled_code = pg.at(LANDING + 10);
        rtf_class* c = rtf_make_class("V", 4);
        c->mt->methods[2] = mb;
        u4* receiver = rtf_new_object(c, 0);
        put_stub(pg.at(STUB), 2, reinterpret_cast<void*>(routine));
        landing_ecx = landing_word = 0;
        EXPECT_EQ(run_site(pg, reinterpret_cast<u4>(receiver), 7, 0x77), reinterpret_cast<u4>(receiver) + 7);
        EXPECT_EQ(landing_ecx, 0x77u);
        EXPECT_EQ(landing_word, reinterpret_cast<u4>(mb));
    }
}

TEST(Binding, ForcedInterpreterGatesCallTheInvoker)
{
    page pg = make_page();
    methodblock* mb = compiled_method(pg);
    // Glue: +0 push mb; jmp __bp_gate_code; +10 push mb; jmp __gate_code.
    put_stub(pg.at(GLUE), reinterpret_cast<u4>(mb), reinterpret_cast<void*>(&__bp_gate_code));
    put_stub(pg.at(GLUE + 10), reinterpret_cast<u4>(mb), reinterpret_cast<void*>(&__gate_code));
    mb->compiled_code = pg.at(GLUE + 10);
    ForceCCtoInvokeInterpreterFromJIT(mb);
    for (int stub : {GLUE, GLUE + 10}) {
        EXPECT_EQ(call_target(pg.at(stub + 5)), reinterpret_cast<u4>(&__bp_gate_code_interpreter));
        put_rel(pg.at(SITE), 0xE8, pg.at(stub));
        rtf_invoker_calls = 0;
        EXPECT_EQ(run_site(pg, 1, 2), 0x1234u);
        EXPECT_EQ(rtf_invoker_calls, 1u);
    }
}

}  // namespace
