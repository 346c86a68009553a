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

struct decision {
    const char* what;
    int proc;           // processor class
    bool keep_flags;
    u4 free_regs;       // fake register manager's free set (manager indexes)
    int (*emit)(codegen_context* cg);
    const char* bytes;
};

const decision decisions[] = {
    // 0 and -1: xor / or unless the flags are live.
    {"load 0", 4, false, 0x7F, [](codegen_context* cg) { return gen_move_gr_i4(cg, ECX, 0); }, "33 C9"},
    {"load 0 keeping flags", 4, true, 0x7F, [](codegen_context* cg) { return gen_move_gr_i4(cg, ECX, 0); }, "B9 00 00 00 00"},
    {"load -1", 5, false, 0x7F, [](codegen_context* cg) { return gen_move_gr_i4(cg, ECX, -1); }, "83 C9 FF"},
    {"load -1 keeping flags", 5, true, 0x7F, [](codegen_context* cg) { return gen_move_gr_i4(cg, ECX, -1); }, "B9 FF FF FF FF"},
    {"load 7", 3, false, 0x7F, [](codegen_context* cg) { return gen_move_gr_i4(cg, EBX, 7); }, "BB 07 00 00 00"},
    // Compare with 0 is a test; operations that change nothing are left out.
    {"cmp eax, 0", 4, false, 0x7F, [](codegen_context* cg) { return gen_cmp_gr_i4(cg, EAX, 0); }, "85 C0"},
    {"cmp eax, 3", 4, false, 0x7F, [](codegen_context* cg) { return gen_cmp_gr_i4(cg, EAX, 3); }, "83 F8 03"},
    {"add ecx, 0", 4, false, 0x7F, [](codegen_context* cg) { return gen_arithmetic_gr_i4(cg, ALU_ADD, ECX, 0); }, ""},
    {"xor ecx, 0", 4, false, 0x7F, [](codegen_context* cg) { return gen_arithmetic_gr_i4(cg, ALU_XOR, ECX, 0); }, ""},
    {"and ecx, -1", 4, false, 0x7F, [](codegen_context* cg) { return gen_arithmetic_gr_i4(cg, ALU_AND, ECX, -1); }, ""},
    {"and ecx, 0", 4, false, 0x7F, [](codegen_context* cg) { return gen_arithmetic_gr_i4(cg, ALU_AND, ECX, 0); }, "33 C9"},
    {"add (carry) ecx, 0 kept", 4, false, 0x7F, [](codegen_context* cg) { return gen_arithmetic_gr_i4(cg, ALU_ADD2, ECX, 0); }, "83 C1 00"},
    {"add for cc ecx, 0 kept", 4, false, 0x7F, [](codegen_context* cg) { return gen_arithmetic_gr_i4_for_cc(cg, ALU_ADD, ECX, 0); }, "83 C1 00"},
    {"or [ebx], 0", 4, false, 0x7F, [](codegen_context* cg) { return gen_arithmetic_mm_i4(cg, ALU_OR, EBX, 0, 0, 0, 0, 9); }, ""},
    {"shift by 0", 4, false, 0x7F, [](codegen_context* cg) { return gen_shift_gr_i4(cg, SHIFT_SHL, ECX, 0); }, ""},
    {"mov ecx, ecx", 4, false, 0x7F, [](codegen_context* cg) { return gen_move_gr_gr(cg, ECX, ECX); }, ""},
    // cdq or its substitute.
    {"cdq class 5", 5, false, 0x7F, [](codegen_context* cg) { return gen_cdq(cg); }, "99"},
    {"cdq class 4", 4, false, 0x7F, [](codegen_context* cg) { return gen_cdq(cg); }, "8B D0 C1 FA 1F"},
    {"cdq class 3", 3, false, 0x7F, [](codegen_context* cg) { return gen_cdq(cg); }, "8B D0 C1 FA 1F"},
    // Narrow unsigned loads.
    {"byte unsigned class 5", 5, false, 0x7F, [](codegen_context* cg) { memop m = mem(ESP, 8, 1, 0); return gen_move_gr4_memop(cg, ECX, &m); }, "0F B6 4C 24 08"},
    {"byte unsigned slot class 4", 4, false, 0x7F, [](codegen_context* cg) { memop m = mem(ESP, 8, 1, 0); return gen_move_gr4_memop(cg, ECX, &m); }, "8B 4C 24 08 81 E1 FF 00 00 00"},
    {"word unsigned slot class 3", 3, false, 0x7F, [](codegen_context* cg) { memop m = mem(ESP, 8, 2, 0); return gen_move_gr4_memop(cg, ECX, &m); }, "8B 4C 24 08 81 E1 FF FF 00 00"},
    {"byte unsigned heap class 4", 4, false, 0x7F, [](codegen_context* cg) { memop m = mem(EBX, 12, 1, 0); return gen_move_gr4_memop(cg, ECX, &m); }, "0F B6 4B 0C"},
    {"byte signed class 4", 4, false, 0x7F, [](codegen_context* cg) { memop m = mem(EBX, 12, 1, 1); return gen_move_gr4_memop(cg, ECX, &m); }, "0F BE 4B 0C"},
    {"word signed class 5", 5, false, 0x7F, [](codegen_context* cg) { memop m = mem(EBX, 12, 2, 1); return gen_move_gr4_memop(cg, ECX, &m); }, "0F BF 4B 0C"},
    {"dword", 4, false, 0x7F, [](codegen_context* cg) { memop m = mem(EBX, 12, 4, 0); return gen_move_gr4_memop(cg, ECX, &m); }, "8B 4B 0C"},
    // Constant stores: direct for a short operand, else through a borrowed
    // register (eax is manager index 0, the first free); a 16-bit store on
    // class 5 always borrows.
    {"store imm short", 4, false, 0x7F, [](codegen_context* cg) { return gen_move_mm_i4(cg, EBX, 0, 0, 8, 5, 4, 9); }, "C7 43 08 05 00 00 00"},
    {"store imm far borrows", 4, false, 0x7F, [](codegen_context* cg) { return gen_move_mm_i4(cg, EBX, 0, 0, 0x200, 5, 4, 9); }, "B8 05 00 00 00 89 83 00 02 00 00"},
    {"store imm scaled borrows", 4, false, 0x7E, [](codegen_context* cg) { return gen_move_mm_i4(cg, EBX, ESI, 4, 0, 5, 4, 9); }, "BA 05 00 00 00 89 14 B3"},
    {"store imm far, no free register", 4, false, 0, [](codegen_context* cg) { return gen_move_mm_i4(cg, EBX, 0, 0, 0x200, 5, 4, 9); }, "C7 83 00 02 00 00 05 00 00 00"},
    {"store word class 4", 4, false, 0x7F, [](codegen_context* cg) { return gen_move_mm_i4(cg, EBX, 0, 0, 8, 5, 2, 9); }, "66 C7 43 08 05 00"},
    {"store word class 5 borrows", 5, false, 0x7F, [](codegen_context* cg) { return gen_move_mm_i4(cg, EBX, 0, 0, 8, 5, 2, 9); }, "B8 05 00 00 00 66 89 43 08"},
    {"store word 0 class 5 borrows", 5, false, 0x7F, [](codegen_context* cg) { return gen_move_mm_i4(cg, EBX, 0, 0, 8, 0, 2, 9); }, "33 C0 66 89 43 08"},
    // Compare memory with a constant: a borrowed register for a far frame
    // or absolute doubleword.
    {"cmp far slot borrows", 4, false, 0x7F, [](codegen_context* cg) { return gen_cmp_mm_imm(cg, ESP, 0, 0, 0x200, 7, 4, 9); }, "B8 07 00 00 00 39 84 24 00 02 00 00"},
    {"cmp far absolute borrows", 4, false, 0x7F, [](codegen_context* cg) { return gen_cmp_mm_imm(cg, 0, 0, 0, 0x4000, 7, 4, 9); }, "B8 07 00 00 00 39 05 00 40 00 00"},
    {"cmp far heap direct", 4, false, 0x7F, [](codegen_context* cg) { return gen_cmp_mm_imm(cg, EBX, 0, 0, 0x200, 7, 4, 9); }, "83 BB 00 02 00 00 07"},
    {"cmp near slot direct", 4, false, 0x7F, [](codegen_context* cg) { return gen_cmp_mm_imm(cg, ESP, 0, 0, 8, 7, 4, 9); }, "83 7C 24 08 07"},
    {"cmp far slot, no free register", 4, false, 0, [](codegen_context* cg) { return gen_cmp_mm_imm(cg, ESP, 0, 0, 0x200, 7, 4, 9); }, "83 BC 24 00 02 00 00 07"},
    // Constant-index folding keeps the element size.
    {"byte load, constant index", 4, false, 0x7F, [](codegen_context* cg) { return gen_move_gr_mm_(cg, ECX, EBX, 5, 'C', 1, 12, 9); }, "8A 4B 11"},
    {"word zx load, constant index", 4, false, 0x7F, [](codegen_context* cg) { return gen_movezx_gr_mm_(cg, ECX, EBX, 3, 'C', 2, 12, 9); }, "0F B7 4B 12"},
    {"dword load, register index", 4, false, 0x7F, [](codegen_context* cg) { return gen_move_gr_mm_(cg, ECX, EBX, EDX, 'R', 4, 12, 9); }, "8B 4C 93 0C"},
    {"double store, constant index", 4, false, 0x7F, [](codegen_context* cg) { return gen_move_mm_fr8_(cg, EBX, 2, 'C', 8, 16, 1, 9); }, "DD 5B 20"},
    {"float store, constant index", 4, false, 0x7F, [](codegen_context* cg) { return gen_move_mm_fr_(cg, EBX, 2, 'C', 4, 16, 1, 9); }, "D9 5B 18"},
    // x87 model registers become stack indexes (depth 3: model 2 is st(0)).
    {"fld model 0", 4, false, 0x7F, [](codegen_context* cg) { cg->regs.fp_depth = 3; return gen_move_fr_fr_p(cg, 2, 0, 0); }, "D9 C2"},
    {"fsubp model", 4, false, 0x7F, [](codegen_context* cg) { cg->regs.fp_depth = 3; return gen_sub_fr_fr(cg, 0, 2, 1); }, "DE EA"},
    {"fxch model", 4, false, 0x7F, [](codegen_context* cg) { cg->regs.fp_depth = 4; return gen_xchg_fr_fr(cg, 3, 1); }, "D9 CA"},
    {"push_fr class 5", 5, false, 0x7F, [](codegen_context* cg) { return gen_push_fr(cg); }, "D9 EE"},
    {"push_fr class 4", 4, false, 0x7F, [](codegen_context* cg) { return gen_push_fr(cg); }, "D9 F6"},
    // Compare-and-move units.
    {"cmp; jl over mov", 4, false, 0x7F, [](codegen_context* cg) { return gen_cmp_gr_gr_jmp_move_gr_gr(cg, EAX, EBX, COND_LT, ECX, EDX); }, "3B C3 7C 02 8B CA"},
    {"test; jne over xor", 4, false, 0x7F, [](codegen_context* cg) { return gen_cmp_gr_i4_jmp_move_gr_i4(cg, EAX, 0, COND_NE, ECX, 0); }, "85 C0 75 02 33 C9"},
    {"cmp; je over mov imm", 4, false, 0x7F, [](codegen_context* cg) { return gen_cmp_gr_i4_jmp_move_gr_i4(cg, EAX, 9, COND_EQ, ECX, 1); }, "83 F8 09 74 05 B9 01 00 00 00"},
};

TEST(EmitLayer, DecisionsByProcessorClass)
{
    for (const decision& d : decisions) {
        processor_scope ps(d.proc);
        fake_regs_reset(d.free_regs);
        cg_setup(&f, CG_PASS_WRITE);
        if (d.keep_flags)
            f.cg.flags |= CG_KEEP_FLAGS;
        int n = d.emit(&f.cg);
        EXPECT_EQ(n, f.cg.code - f.buf) << d.what;
        EXPECT_EQ(hex_bytes(f.buf, (size_t)(f.cg.code - f.buf)), d.bytes) << d.what;
        EXPECT_EQ(fake_alloc_count, fake_free_count) << d.what << ": a borrowed register was not returned";
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
