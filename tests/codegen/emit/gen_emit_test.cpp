// The emit layer's instruction-selection decisions, by processor class,
// keep-flags state and free registers; the slot descriptions it hands the
// scheduler; windows around calls; the pass-1 reserve.
#include <gtest/gtest.h>

#include "cg_test_util.h"
#include "codegen/memop.h"
#include "driver/compile_context.h"
#include "frontend/quad.h"

namespace {

constexpr u4 EAX = GR_EAX, EDX = GR_EDX, ECX = GR_ECX, EBX = GR_EBX, ESP = GR_ESP, EBP = GR_EBP, ESI = GR_ESI;

cg_fixture f;

memop mem(s4 base, s4 disp, s4 size, int is_signed)
{
    memop m{};
    m.base = base;
    m.disp = disp;
    m.size = size;
    m.is_signed = (u1)is_signed;
    m.form = 4;
    return m;
}

// Runs one emitter call with the processor class, keep-flags state and free
// registers of an instruction-selection decision; a register the emitter
// borrows must be returned.
int decide(codegen_context* cg, int proc, bool keep_flags, u4 free_regs, int (*emit)(codegen_context* cg))
{
    orva_processor_type = proc;
    if (keep_flags)
        cg->flags |= CG_KEEP_FLAGS;
    fake_regs_reset(free_regs);
    u1* start = cg->code;
    int n = emit(cg);
    if (cg->code != start)
        EXPECT_EQ(n, cg->code - start) << "result is not the written length";
    EXPECT_EQ(fake_alloc_count, fake_free_count) << "a borrowed register was not returned";
    return n;
}

// DECIDE: a golden row written under (processor class, keep flags, free
// registers); pass 1 counts exactly.  DECIDE_RESERVE: a compare pass 2 may
// write through a borrowed register, for which pass 1 reserves more (its
// pass-1 result is the length without the reserve).
#define DECIDE(text, proc, keep, free_regs, ...)                                                 \
    {text, nullptr, 0, true, true, [](codegen_context* c) -> int {                               \
         return decide(c, proc, keep, free_regs, [](codegen_context* cg) -> int { return __VA_ARGS__; }); }}
#define DECIDE_RESERVE(text, proc, keep, free_regs, ...)                                         \
    {text, nullptr, 0, false, false, [](codegen_context* c) -> int {                              \
         return decide(c, proc, keep, free_regs, [](codegen_context* cg) -> int { return __VA_ARGS__; }); }}

// The emit layer's instruction-selection decisions; the bytes are what GNU as
// writes for each text (x86_golden.txt).
const golden_row decision_rows[] = {
    // 0 and -1: xor / or unless the flags are live.
    DECIDE("{load} xor ecx, ecx", 4, false, 0x7F, gen_move_gr_i4(cg, ECX, 0)),
    DECIDE("mov ecx, 0", 4, true, 0x7F, gen_move_gr_i4(cg, ECX, 0)),
    DECIDE("or ecx, -1", 5, false, 0x7F, gen_move_gr_i4(cg, ECX, -1)),
    DECIDE("mov ecx, -1", 5, true, 0x7F, gen_move_gr_i4(cg, ECX, -1)),
    DECIDE("mov ebx, 7", 3, false, 0x7F, gen_move_gr_i4(cg, EBX, 7)),
    // Compare with 0 is a test.
    DECIDE("test eax, eax", 4, false, 0x7F, gen_cmp_gr_i4(cg, EAX, 0)),
    DECIDE("cmp eax, 3", 4, false, 0x7F, gen_cmp_gr_i4(cg, EAX, 3)),
    // and with 0 clears; the carry-using add and an add for its flags stay.
    DECIDE("{load} xor ecx, ecx", 4, false, 0x7F, gen_arithmetic_gr_i4(cg, ALU_AND, ECX, 0)),
    DECIDE("add ecx, 0", 4, false, 0x7F, gen_arithmetic_gr_i4(cg, ALU_ADD2, ECX, 0)),
    DECIDE("add ecx, 0", 4, false, 0x7F, gen_arithmetic_gr_i4_for_cc(cg, ALU_ADD, ECX, 0)),
    // cdq on class 5, mov + sar below.
    DECIDE("cdq", 5, false, 0x7F, gen_cdq(cg)),
    DECIDE("{load} mov edx, eax; sar edx, 31", 4, false, 0x7F, gen_cdq(cg)),
    DECIDE("{load} mov edx, eax; sar edx, 31", 3, false, 0x7F, gen_cdq(cg)),
    // Narrow loads: movzx, or a dword load and a mask from a stack slot.
    DECIDE("movzx ecx, byte ptr [esp+8]", 5, false, 0x7F,
           [](codegen_context* cg) { memop m = mem(ESP, 8, 1, 0); return gen_move_gr4_memop(cg, ECX, &m); }(cg)),
    DECIDE("mov ecx, [esp+8]; and ecx, 0xff", 4, false, 0x7F,
           [](codegen_context* cg) { memop m = mem(ESP, 8, 1, 0); return gen_move_gr4_memop(cg, ECX, &m); }(cg)),
    DECIDE("mov ecx, [esp+8]; and ecx, 0xffff", 3, false, 0x7F,
           [](codegen_context* cg) { memop m = mem(ESP, 8, 2, 0); return gen_move_gr4_memop(cg, ECX, &m); }(cg)),
    DECIDE("movzx ecx, byte ptr [ebx+12]", 4, false, 0x7F,
           [](codegen_context* cg) { memop m = mem(EBX, 12, 1, 0); return gen_move_gr4_memop(cg, ECX, &m); }(cg)),
    DECIDE("movsx ecx, byte ptr [ebx+12]", 4, false, 0x7F,
           [](codegen_context* cg) { memop m = mem(EBX, 12, 1, 1); return gen_move_gr4_memop(cg, ECX, &m); }(cg)),
    DECIDE("movsx ecx, word ptr [ebx+12]", 5, false, 0x7F,
           [](codegen_context* cg) { memop m = mem(EBX, 12, 2, 1); return gen_move_gr4_memop(cg, ECX, &m); }(cg)),
    DECIDE("mov ecx, [ebx+12]", 4, false, 0x7F,
           [](codegen_context* cg) { memop m = mem(EBX, 12, 4, 0); return gen_move_gr4_memop(cg, ECX, &m); }(cg)),
    // Immediate stores: direct, or through a borrowed register for a far or
    // indexed destination and for 16-bit stores on class 5; direct when no
    // register is free.
    DECIDE("mov dword ptr [ebx+8], 5", 4, false, 0x7F, gen_move_mm_i4(cg, EBX, 0, 0, 8, 5, 4, 9)),
    DECIDE("mov eax, 5; mov [ebx+0x200], eax", 4, false, 0x7F, gen_move_mm_i4(cg, EBX, 0, 0, 0x200, 5, 4, 9)),
    DECIDE("mov edx, 5; mov [ebx+esi*4], edx", 4, false, 0x7E, gen_move_mm_i4(cg, EBX, ESI, 4, 0, 5, 4, 9)),
    DECIDE("mov dword ptr [ebx+0x200], 5", 4, false, 0, gen_move_mm_i4(cg, EBX, 0, 0, 0x200, 5, 4, 9)),
    DECIDE("mov word ptr [ebx+8], 5", 4, false, 0x7F, gen_move_mm_i4(cg, EBX, 0, 0, 8, 5, 2, 9)),
    DECIDE("mov eax, 5; mov [ebx+8], ax", 5, false, 0x7F, gen_move_mm_i4(cg, EBX, 0, 0, 8, 5, 2, 9)),
    DECIDE("{load} xor eax, eax; mov [ebx+8], ax", 5, false, 0x7F, gen_move_mm_i4(cg, EBX, 0, 0, 8, 0, 2, 9)),
    // Compares of memory with an immediate.
    DECIDE_RESERVE("mov eax, 7; cmp [esp+0x200], eax", 4, false, 0x7F, gen_cmp_mm_imm(cg, ESP, 0, 0, 0x200, 7, 4, 9)),
    DECIDE_RESERVE("mov eax, 7; cmp ds:[0x4000], eax", 4, false, 0x7F, gen_cmp_mm_imm(cg, 0, 0, 0, 0x4000, 7, 4, 9)),
    DECIDE_RESERVE("cmp dword ptr [ebx+0x200], 7", 4, false, 0x7F, gen_cmp_mm_imm(cg, EBX, 0, 0, 0x200, 7, 4, 9)),
    DECIDE_RESERVE("cmp dword ptr [esp+8], 7", 4, false, 0x7F, gen_cmp_mm_imm(cg, ESP, 0, 0, 8, 7, 4, 9)),
    DECIDE("cmp dword ptr [esp+0x200], 7", 4, false, 0, gen_cmp_mm_imm(cg, ESP, 0, 0, 0x200, 7, 4, 9)),
    // Array element forms: constant index folded into the displacement.
    DECIDE("mov cl, [ebx+17]", 4, false, 0x7F, gen_move_gr_mm_(cg, ECX, EBX, 5, 'C', 1, 12, 9)),
    DECIDE("movzx ecx, word ptr [ebx+18]", 4, false, 0x7F, gen_movezx_gr_mm_(cg, ECX, EBX, 3, 'C', 2, 12, 9)),
    DECIDE("mov ecx, [ebx+edx*4+12]", 4, false, 0x7F, gen_move_gr_mm_(cg, ECX, EBX, EDX, 'R', 4, 12, 9)),
    DECIDE("fstp qword ptr [ebx+32]", 4, false, 0x7F, gen_move_mm_fr8_(cg, EBX, 2, 'C', 8, 16, 1, 9)),
    DECIDE("fstp dword ptr [ebx+24]", 4, false, 0x7F, gen_move_mm_fr_(cg, EBX, 2, 'C', 4, 16, 1, 9)),
    // The x87 stack model.
    DECIDE("fld st(2)", 4, false, 0x7F, (cg->regs.fp_depth = 3, gen_move_fr_fr_p(cg, 2, 0, 0))),
    DECIDE("fsubp st(2), st", 4, false, 0x7F, (cg->regs.fp_depth = 3, gen_sub_fr_fr(cg, 0, 2, 1))),
    DECIDE("fxch st(2)", 4, false, 0x7F, (cg->regs.fp_depth = 4, gen_xchg_fr_fr(cg, 3, 1))),
    DECIDE("fldz", 5, false, 0x7F, gen_push_fr(cg)),
    DECIDE("fdecstp", 4, false, 0x7F, gen_push_fr(cg)),
    // Compare, branch over a move.
    DECIDE("{load} cmp eax, ebx; jl 1f; {load} mov ecx, edx; 1:", 4, false, 0x7F,
           gen_cmp_gr_gr_jmp_move_gr_gr(cg, EAX, EBX, COND_LT, ECX, EDX)),
    DECIDE("test eax, eax; jne 1f; {load} xor ecx, ecx; 1:", 4, false, 0x7F,
           gen_cmp_gr_i4_jmp_move_gr_i4(cg, EAX, 0, COND_NE, ECX, 0)),
    DECIDE("cmp eax, 9; je 1f; mov ecx, 1; 1:", 4, false, 0x7F,
           gen_cmp_gr_i4_jmp_move_gr_i4(cg, EAX, 9, COND_EQ, ECX, 1)),
};

TEST(GoldenX86, EmitLayerDecisions)
{
    processor_scope ps(4);
    check_golden_rows(decision_rows, std::size(decision_rows));
    fake_regs_reset(0x7F);
}

// Operations that are no-ops write nothing.
TEST(EmitLayer, NoOperationsWriteNothing)
{
    int (*const emits[])(codegen_context* cg) = {
        [](codegen_context* cg) { return gen_arithmetic_gr_i4(cg, ALU_ADD, ECX, 0); },
        [](codegen_context* cg) { return gen_arithmetic_gr_i4(cg, ALU_XOR, ECX, 0); },
        [](codegen_context* cg) { return gen_arithmetic_gr_i4(cg, ALU_AND, ECX, -1); },
        [](codegen_context* cg) { return gen_arithmetic_mm_i4(cg, ALU_OR, EBX, 0, 0, 0, 0, 9); },
        [](codegen_context* cg) { return gen_shift_gr_i4(cg, SHIFT_SHL, ECX, 0); },
        [](codegen_context* cg) { return gen_move_gr_gr(cg, ECX, ECX); },
    };
    processor_scope ps(4);
    for (size_t i = 0; i < std::size(emits); i++) {
        fake_regs_reset(0x7F);
        cg_setup(&f, CG_PASS_WRITE);
        int n = emits[i](&f.cg);
        EXPECT_EQ(n, 0) << i;
        EXPECT_EQ(f.cg.code, f.buf) << i;
    }
}

// Pass 1 counts 3 more bytes for the forms pass 2 may write through a
// borrowed register, unless no register is free (then pass 2 cannot borrow).
TEST(EmitLayer, MeasuringReservesForBorrowedRegisters)
{
    processor_scope ps(4);
    for (u4 free_regs : {0x7Fu, 0u}) {
        fake_regs_reset(free_regs);
        cg_setup(&f, CG_PASS_MEASURE);
        int n = gen_cmp_mm_imm(&f.cg, EBX, 0, 0, 8, 7, 4, 9);
        EXPECT_EQ(f.cg.code_size, (u4)n + (free_regs ? 3 : 0));
        cg_setup(&f, CG_PASS_MEASURE);
        n = gen_arithmetic_gr_mm(&f.cg, ALU_ADD, ECX, EBX, 0, 0, 8, free_regs ? 9 : 0x89);
        EXPECT_EQ(f.cg.code_size, (u4)n + (free_regs ? 3 : 0));
    }
}

TEST(EmitLayer, LongInstructionRule)
{
    struct { int proc, mmx, length; u4 cls, want; } cases[] = {
        {5, 0, 7, 0x10001, 0x10001}, {5, 0, 8, 0x10001, 0}, {4, 1, 8, 0x10001, 0x10002}, {4, 1, 11, 2, 2},
        {4, 1, 12, 1, 0},            {4, 0, 8, 1, 0},        {4, 1, 8, 0x10003, 0x10003}, {3, 0, 10, 1, 1},
    };
    static cs_window cs;
    for (auto c : cases) {
        processor_scope ps(c.proc, c.mmx);
        cg_setup(&f, CG_PASS_WRITE);
        f.cg.cs = &cs;
        cs.scratch = &cs.slots[0];
        set_scheduling_info(&f.cg, c.length, 1, 2, 3, 0x100, 4, 5, c.cls);
        EXPECT_EQ(cs.scratch->cls, c.want) << c.proc << " " << c.mmx << " " << c.length;
        EXPECT_EQ(cs.scratch->length, (u4)c.length);
    }
}

// ---------------------------------------------------------------------------
// With a window open
// ---------------------------------------------------------------------------
cs_window window;

void open_window(int proc)
{
    orva_processor_type = proc;
    cg_setup(&f, CG_PASS_WRITE);
    f.cg.cs = &window;
    f.cg.flags = CG_SCHED_WINDOW_OPEN;
    cs_bb_initialize(&f.cg, f.buf);
}

u1* close_window()
{
    f.cg.flags &= ~CG_SCHED_WINDOW_OPEN;
    return cs_bb_finalize(&f.cg);
}

TEST(EmitLayer, CallsCloseAndReopenTheWindow)
{
    processor_scope ps(4);
    open_window(4);
    fake_decode_table[3] = f.buf + 0x100;
    gen_move_gr_i4(&f.cg, ECX, 5);
    gen_move_gr_i4(&f.cg, EDX, 6);
    gen_call(&f.cg, 3);                 // everything before it is written first
    EXPECT_TRUE(f.cg.flags & CG_SCHED_WINDOW_OPEN);
    gen_move_gr_i4(&f.cg, EBX, 7);
    u1* end = close_window();
    EXPECT_EQ(hex_bytes(f.buf, (size_t)(end - f.buf)),
              "B9 05 00 00 00 BA 06 00 00 00 E8 F1 00 00 00 BB 07 00 00 00");
}

TEST(EmitLayer, ScheduledJumpReportsItsDisplacement)
{
    processor_scope ps(4);
    fake_records_reset();
    open_window(4);
    gen_cmp_gr_gr(&f.cg, EAX, EBX);
    gen_jmp_schedule(&f.cg, COND_AE, UNRESOLVED_TARGET, 2);
    u1* field_in_slot = f.cg.code - 4;     // where a caller records the field
    u1* end = close_window();
    EXPECT_EQ(hex_bytes(f.buf, (size_t)(end - f.buf)), "3B C3 0F 83 BE BA FE CA");
    ASSERT_EQ(fake_jmp_patches.size(), 1u);
    EXPECT_EQ(fake_jmp_patches[0].first, field_in_slot);
    EXPECT_EQ(fake_jmp_patches[0].second, end);
}

// A scheduled jump with a known target is written outside the window: a
// displacement computed in the slot would be wrong after the move.
TEST(EmitLayer, ScheduledJumpToKnownTargetIsWrittenInPlace)
{
    processor_scope ps(4);
    open_window(4);
    gen_move_gr_i4(&f.cg, ECX, 1);
    gen_jmp_schedule(&f.cg, COND_EQ, (u4)(uintptr_t)f.buf, 2);
    u1* end = close_window();
    EXPECT_EQ(hex_bytes(f.buf, (size_t)(end - f.buf)), "B9 01 00 00 00 74 F9");
}

TEST(EmitLayer, StackRecordsTravelWithScheduledPushes)
{
    processor_scope ps(4);
    static char fake_m;
    fake_records_reset();
    open_window(4);
    f.cg.m = (method_compile_context*)&fake_m;
    gen_move_gr_i4(&f.cg, ECX, 1);
    gen_push(&f.cg, EDX, 0, 0x100);
    gen_push_imm(&f.cg, 1000, 0, 0x100);
    gen_pop(&f.cg, EBX, 0, 0x100);
    u1* end = close_window();
    std::string code = hex_bytes(f.buf, (size_t)(end - f.buf));
    ASSERT_EQ(fake_sp_nodes.size(), 3u);
    // Each record's offset is the end of its instruction in the written code.
    const char* wants[] = {"52", "68 E8 03 00 00", "5B"};
    for (int i = 0; i < 3; i++) {
        u4 off = fake_sp_nodes[i]->offset;
        std::string want = wants[i];
        size_t len = (want.size() + 1) / 3;
        ASSERT_GE(off, len);
        EXPECT_EQ(hex_bytes(f.buf + off - len, len), want) << code;
    }
    EXPECT_EQ(fake_sp_nodes[0]->depth, 1);
    EXPECT_EQ(fake_sp_nodes[1]->depth, 2);
    EXPECT_EQ(fake_sp_nodes[2]->depth, 1);
}

// A float load of an inlined body's quadruple is attributed to that body in
// the code-position list, at the load's start, also after scheduling moved it.
TEST(EmitLayer, InlinedLoadsRecordTheirCodePosition)
{
    processor_scope ps(4);
    static method_compile_context m;
    static quadruple q;
    static quadruple* catbl[1] = {&q};
    m.state_flags = MCC_UNRESOLVED_BODY;
    q.body = 3;
    memop d = mem(EBX, 8, 4, 0);
    for (bool scheduled : {false, true}) {
        fake_records_reset();
        fake_cp_nodes.clear();
        if (scheduled)
            open_window(4);
        else
            cg_setup(&f, CG_PASS_WRITE);
        f.cg.m = &m;
        f.bb[1].catbl = catbl;
        gen_move_gr_i4(&f.cg, ECX, 1);
        gen_move_gr_i4(&f.cg, EDX, 2);
        gen_move_fr_memop(&f.cg, &d);
        u1* end = scheduled ? close_window() : f.cg.code;
        ASSERT_EQ(fake_cp_nodes.size(), 1u);
        EXPECT_EQ(fake_cp_nodes[0]->value, 3u);
        u4 at = fake_cp_nodes[0]->offset;
        EXPECT_EQ(hex_bytes(f.buf + at, 3), "D9 43 08") << hex_bytes(f.buf, (size_t)(end - f.buf));
        EXPECT_EQ(f.cg.cp_list, fake_cp_nodes[0]);
    }
    // Not recorded without the state bit, nor for the method's own quadruples.
    fake_cp_nodes.clear();
    cg_setup(&f, CG_PASS_WRITE);
    f.cg.m = &m;
    f.bb[1].catbl = catbl;
    q.body = 0;
    gen_move_fr_memop(&f.cg, &d);
    m.state_flags = 0;
    q.body = 3;
    gen_move_fr_memop(&f.cg, &d);
    EXPECT_TRUE(fake_cp_nodes.empty());
}

}  // namespace
