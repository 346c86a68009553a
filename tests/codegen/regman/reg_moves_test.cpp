// Move emitters: register numbering, frame addressing from esp, stores into
// operand-stack slots below esp, and the x87 stack-bottom spill sequence.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "reg_test_util.h"

static machine filled_machine()
{
    machine m = {};
    for (int r = 0; r < 7; r++)
        m.reg[r] = 0x1000 + (u4)r;
    for (int k = 0; k < 64; k++)
        m.frame[k] = 0xF0000 + (u4)k;
    return m;
}

// Manager register 4 is ebp: a move from it names emitter id 6, and frame
// addressing never uses ebp as a base.
TEST(RegMoves, ManagerRegisterNumbersAndFrameAddressing)
{
    EXPECT_EQ(int_reg_to_ia32[RM_EBP], (s4)GR_EBP);
    EXPECT_EQ(ia32_to_int_reg_bit[GR_EBP], 0x10u);
    EXPECT_EQ(ia32_to_int_reg_bit[GR_ESP], 0x80u);
    rm_fixture f;
    rm_setup(&f, 4, 8);
    gen_move_ireg_ireg(&f.cg, RM_EAX, RM_EBP);        // mov eax, ebp
    gen_move_ireg_local(&f.cg, RM_EBP, 2, 0, 0);       // mov ebp, [esp + d]
    // Local 2 sits at E - 12; esp = E - 64 (8 locals, 8 stack words): d = 52.
    EXPECT_EQ(emitted_hex(&f), "8B C5 8B 6C 24 34");
}

// Every store emitter, executed: locals, immediates, operand-stack slots
// (plain, the word just below esp by a push, further below by sub esp).
TEST(RegMoves, StoresReachTheirSlots)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    gen_move_local_ireg(&f.cg, 3, RM_ESI, 0, 0);
    gen_move_local_immediate(&f.cg, 4, 77);
    gen_move_stack_ireg(&f.cg, 0, RM_EDI);            // slot 0: above esp
    // Raise esp above the last stack slot: slot 7 becomes the word below esp.
    gen_arithmetic_gr_i4(&f.cg, ALU_ADD, GR_ESP, 4);
    s2 before = f.mci.sp_offset;
    gen_move_stack_ireg(&f.cg, 7, RM_EBX);            // push
    EXPECT_EQ(f.mci.sp_offset, before - 4);
    gen_arithmetic_gr_i4(&f.cg, ALU_ADD, GR_ESP, 16);  // slot 5 two words below esp now
    gen_move_stack_ival(&f.cg, 5, -9);                // sub esp, 8; mov dword [esp], -9
    EXPECT_EQ(f.mci.sp_offset, C_Style_stack(&f.cg, 5, 0));
    gen_move_ireg_local(&f.cg, RM_EAX, 3, 0, 0);
    machine in = filled_machine(), out;
    rm_run(&f, in, &out, 0);
    EXPECT_EQ(out.frame[frame_word_of_local(3)], 0x1005u);
    EXPECT_EQ(out.frame[frame_word_of_local(4)], 77u);
    EXPECT_EQ(out.frame[frame_word_of_stack(0)], 0x1006u);
    EXPECT_EQ(out.frame[frame_word_of_stack(7)], 0x1003u);
    EXPECT_EQ(out.frame[frame_word_of_stack(5)], (u4)-9);
    EXPECT_EQ(out.reg[RM_EAX], 0x1005u);
}

// A store to the slot just below esp is one push; further below esp lowers
// it by the whole distance first.
TEST(RegMoves, StackSlotBelowEspShapes)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    f.mci.sp_offset = (s2)(C_Style_stack(&f.cg, 2, 0) + 4);   // slot 2 is the word below esp
    gen_move_stack_ireg(&f.cg, 2, RM_EDX);
    EXPECT_EQ(emitted_hex(&f), "52");
    rm_setup(&f, 4, 8);
    f.mci.sp_offset = (s2)(C_Style_stack(&f.cg, 2, 0) + 12);
    gen_move_stack_ireg(&f.cg, 2, RM_EDX);
    EXPECT_EQ(emitted_hex(&f), "83 EC 0C 89 14 24");
}

// gen_spillout_stack_freg takes the n deepest x87 entries off the stack into
// their operand-stack slots; the entries above keep their order.  Every n
// from 1 to 4 over a full stack of 8.
TEST(RegMoves, SpillOutStackBottomKeepsOrder)
{
    for (int n = 1; n <= 4; n++) {
        rm_fixture f;
        rm_setup(&f, 4, 8);
        fp_top(&f.cg) = 8;   // counters 0..7 live, as the harness loads 8 values
        int slots[4];
        s4 regs[4];
        int dbl[4] = {};
        for (int k = 0; k < n; k++) {
            slots[k] = k;
            regs[k] = k;
        }
        gen_spillout_stack_freg(&f.cg, n, slots, regs, dbl);
        machine in = filled_machine(), out;
        for (int k = 0; k < 8; k++)
            in.fp.push_back(10.0 + k);
        rm_run(&f, in, &out, 8 - n);
        SCOPED_TRACE(n);
        for (int k = 0; k < n; k++)
            EXPECT_EQ(bits_float(out.frame[frame_word_of_stack(k)]), (float)(10 + k));
        for (int k = 0; k < 8 - n; k++)
            EXPECT_EQ(out.fp[k], 10.0 + n + k);
        EXPECT_EQ((out.fpu_status >> 11) & 7, 0);   // the stack is empty after the stores
    }
}

// A double local occupies two slots and its eight bytes start at the second,
// lower one: (high word in local n, low word in local n + 1), the layout the
// caller gives a double parameter.  Reading at the first slot took the high
// word of the double and the word above it (`static double idd(double a)`
// returned garbage).
TEST(RegMoves, DoubleLocalsAddressTheirSecondSlot)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    gen_move_freg_local(&f.cg, 0, 2, 1);           // fld qword local 2 (slots 2, 3)
    gen_move_local_freg_p(&f.cg, 5, 0, 1, 1);      // fstp qword local 5 (slots 5, 6)
    machine in = filled_machine(), out;
    const double v = -1234.5678;
    u8 bits;
    std::memcpy(&bits, &v, 8);
    in.frame[frame_word_of_local(2)] = (u4)(bits >> 32);
    in.frame[frame_word_of_local(3)] = (u4)bits;
    rm_run(&f, in, &out, 0);
    EXPECT_EQ(out.frame[frame_word_of_local(5)], (u4)(bits >> 32));
    EXPECT_EQ(out.frame[frame_word_of_local(6)], (u4)bits);
    EXPECT_EQ(out.frame[frame_word_of_local(4)], in.frame[frame_word_of_local(4)]);   // the slot above is untouched

    // A double parameter (words 0, 1 of a two-word argument list) lies at
    // E + 8 (word 0, high) and E + 4 (word 1, low): fld qword [E + 4].
    rm_setup(&f, 4, 8);
    f.mb.args_size = 2;
    gen_move_freg_local(&f.cg, 0, 0, 1);
    s4 want = 4 - f.mci.sp_offset;
    char hex[32];
    std::snprintf(hex, sizeof hex, "DD 44 24 %02X", (unsigned)want);
    EXPECT_EQ(emitted_hex(&f), hex);
}
