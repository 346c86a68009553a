// Colouring of local-variable slots on small programs: random straight-line
// programs interpreted before and after the colouring must observe the same
// values (locals that share a slot never hold live values at once), and the
// rules about parameters, monitor entries, two-word values and the register
// counts.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dataflow/df_records.h"
#include "driver/options.h"
#include "frontend/qgen.h"
#include "reg_test_util.h"

namespace {

constexpr u1 KB_INT_VAR = 0x11, KB_LONG_VAR = 0x31, KB_INT_IMM = 0x13;

struct program {
    rm_fixture f;
    std::vector<quadruple> quads;
    std::vector<quadruple*> ptrs;
    u4 succ0[1] = {1}, succ1[1] = {2};
    dataflow_pass_context pc = {};

    void setup(int nlocals, int params)
    {
        rm_setup(&f, 3, nlocals);
        f.mb.args_size = (u2)params;
        f.bb[0].succ = succ0;
        f.bb[0].succ_count = 1;
        f.bb[1].succ = succ1;
        f.bb[1].succ_count = 1;
        f.m.state_flags &= ~MCC_LIVENESS_UNAVAILABLE;
        quads.reserve(512);
    }
    quadruple& add(u1 opcode, int layout)
    {
        quads.push_back(quadruple{});
        quadruple& q = quads.back();
        q.opcode = opcode;
        q.opcount = (u2)layout;
        quad_operand_clear(q.result);
        quad_operand_clear(q.src1);
        quad_operand_clear(q.src2);
        return q;
    }
    void move(int dst, int src, u1 kb = KB_INT_VAR)
    {
        quadruple& q = add(OPC_IMOVE, 1);
        quad_operand_set(q.result, kb, (u2)dst);
        quad_operand_set(q.src1, kb, (u2)src);
    }
    void set(int dst, int imm)
    {
        quadruple& q = add(OPC_ICONST, 1);
        quad_operand_set(q.result, KB_INT_VAR, (u2)dst);
        quad_operand_set(q.src1, KB_INT_IMM, (u2)imm);
    }
    void sum(int dst, int a, int b)
    {
        quadruple& q = add(OPC_IOP2, 2);
        q.op = QOP_ADD;
        quad_operand_set(q.result, KB_INT_VAR, (u2)dst);
        quad_operand_set(q.src1, KB_INT_VAR, (u2)a);
        quad_operand_set(q.src2, KB_INT_VAR, (u2)b);
    }
    void observe(int src)
    {
        quadruple& q = add(OPC_IRETURN, 1);
        quad_operand_set(q.src1, KB_INT_VAR, (u2)src);
    }
    void sync_enter(int dst)
    {
        quadruple& q = add(OPC_SYNCENTER, 0);
        quad_operand_set(q.result, KB_INT_VAR, (u2)dst);
    }
    void finish()
    {
        ptrs.clear();
        for (quadruple& q : quads)
            ptrs.push_back(&q);
        f.bb[1].catbl = ptrs.data();
        f.bb[1].quad_count = (u4)ptrs.size();
    }
    int run_coloring() { return coloring_driver(&f.m, &pc); }

    // The values the program observes (params k start as 1000 + k).
    std::vector<u4> interpret() const
    {
        std::vector<u4> v(f.m.local_count + 2, 0), seen;
        for (int k = 0; k < f.mb.args_size; k++)
            v[k] = 1000u + (u4)k;
        for (const quadruple& q : quads) {
            switch (q.opcode) {
            case OPC_IMOVE: v[q.result.number] = v[q.src1.number]; break;
            case OPC_ICONST: v[q.result.number] = q.src1.number; break;
            case OPC_IOP2: v[q.result.number] = v[q.src1.number] + v[q.src2.number]; break;
            case OPC_IRETURN: seen.push_back(v[q.src1.number]); break;
            default: break;
            }
        }
        return seen;
    }
};

}  // namespace

// Guards against slots shared by locals whose values are live at once.
TEST(RegColor, RandomProgramsKeepTheirMeaning)
{
    for (uint32_t seed = 1; seed <= 200; seed++) {
        program p;
        const int params = 2, nlocals = 14 + (int)(seed % 5);
        p.setup(nlocals, params);
        uint32_t x = seed;
        auto next = [&] {
            x = x * 1103515245u + 12345u;
            return x >> 8;
        };
        std::vector<bool> defined(nlocals, false);
        for (int k = 0; k < params; k++)
            defined[k] = true;
        auto any_defined = [&] {
            for (;;) {
                int l = (int)(next() % (u4)nlocals);
                if (defined[l])
                    return l;
            }
        };
        for (int i = 0; i < 40; i++) {
            int d = params + (int)(next() % (u4)(nlocals - params));
            switch (next() % 4) {
            case 0: p.set(d, (int)(next() & 0xFFF)); break;
            case 1: p.move(d, any_defined()); break;
            case 2: p.sum(d, any_defined(), any_defined()); break;
            default: p.observe(any_defined()); continue;
            }
            defined[d] = true;
        }
        for (int k = 0; k < nlocals; k++)
            if (defined[k])
                p.observe(k);
        p.finish();
        std::vector<u4> before = p.interpret();
        ASSERT_EQ(p.run_coloring(), 0);
        std::vector<u4> after = p.interpret();
        ASSERT_EQ(before, after) << "seed " << seed << ", locals " << nlocals << " -> " << p.f.m.local_count;
        ASSERT_LE(p.f.m.local_count, nlocals);
    }
}

// Seven integer locals besides the parameters: nothing merged, and the
// transfer liveness set is all ones.
TEST(RegColor, FewLocalsAreLeftAlone)
{
    program p;
    p.setup(8, 1);
    for (int l = 1; l < 8; l++)
        p.set(l, l);
    for (int l = 1; l < 8; l++)
        p.observe(l);
    p.finish();
    mcc_transfer_map_count(&p.f.m) = 3;
    ASSERT_EQ(p.run_coloring(), 0);
    EXPECT_EQ(p.f.m.local_count, 8);
    u4* live = mcc_transfer_live(&p.f.m);
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live[0], 0xFFFFFFFFu);
}

// Sequential lifetimes are merged down to the register count; parameters keep
// their numbers even where they do not interfere.
TEST(RegColor, ChainOfShortLivesIsMergedParametersKept)
{
    program p;
    p.setup(12, 2);
    p.move(2, 0);
    for (int l = 3; l < 12; l++)
        p.move(l, l - 1);
    p.observe(11);
    p.observe(1);
    p.finish();
    ASSERT_EQ(p.run_coloring(), 0);
    EXPECT_EQ(p.f.m.local_count, 2 + 7);
    EXPECT_EQ(p.quads[0].src1.number, 0);
    EXPECT_EQ(p.quads.back().src1.number, 1);
    EXPECT_EQ((std::vector<u4>{1000, 1001}), p.interpret());
}

// A dead block left behind by a merge may still list quadruples that now
// belong to a live block: they are renumbered once, not once per listing.
TEST(RegColor, QuadruplesListedByADeadBlockRenumberedOnce)
{
    program p;
    p.setup(12, 2);
    p.f.m.bb_count = 4;     // entry, body, the dead block, exit
    p.succ1[0] = 3;
    // 2 and 3 end before the others start and merge; 4 .. 11 overlap and
    // move down, so a second renumbering would move them again.
    p.set(2, 7);
    p.observe(2);
    p.set(3, 8);
    p.observe(3);
    for (int l = 4; l < 12; l++)
        p.set(l, 10 + l);
    for (int l = 4; l < 12; l++)
        p.observe(l);
    p.finish();
    p.f.bb[2].flags |= BB_DEAD;
    p.f.bb[2].catbl = p.ptrs.data();
    p.f.bb[2].quad_count = (u4)p.ptrs.size();
    std::vector<u4> before = p.interpret();
    ASSERT_EQ(p.run_coloring(), 0);
    ASSERT_LT(p.f.m.local_count, 12);
    EXPECT_EQ(before, p.interpret());
}

// A local defined by a monitor entry shares its slot with no other.
TEST(RegColor, MonitorEntryLocalSharesWithNone)
{
    program p;
    p.setup(12, 0);
    p.sync_enter(0);
    for (int l = 1; l < 12; l++) {
        p.set(l, l);
        p.observe(l);
    }
    p.finish();
    ASSERT_EQ(p.run_coloring(), 0);
    EXPECT_LT(p.f.m.local_count, 12);
    int mon = p.quads[0].result.number;
    for (size_t i = 1; i < p.quads.size(); i++) {
        if (p.quads[i].opcode == OPC_ICONST) {
            EXPECT_NE(p.quads[i].result.number, mon);
        }
    }
}

// A long is merged only as a whole two-word run, never with a one-word local.
TEST(RegColor, LongsMergeOnlyAsRuns)
{
    program p;
    p.setup(14, 0);
    // Ten one-word locals with sequential lives, then two longs with
    // sequential lives.
    for (int l = 0; l < 10; l++) {
        p.set(l, l);
        p.observe(l);
    }
    p.move(10, 10, KB_LONG_VAR);   // long at 10/11
    p.move(12, 10, KB_LONG_VAR);   // long at 12/13, after the first dies
    p.observe(12);
    p.finish();
    ASSERT_EQ(p.run_coloring(), 0);
    const quadruple& last_move = p.quads[p.quads.size() - 2];
    int a = last_move.src1.number, b = last_move.result.number;
    EXPECT_TRUE(a == b || a + 1 < b || b + 1 < a) << a << " " << b;
    for (size_t i = 0; i < 20; i++) {
        if (p.quads[i].opcode != OPC_ICONST)
            continue;
        int n = p.quads[i].result.number;
        EXPECT_TRUE(n != a && n != a + 1 && n != b && n != b + 1) << n;
    }
}

// More than 64 locals: the sets take the array form.
TEST(RegColor, ManyLocals)
{
    program p;
    p.setup(70, 0);
    for (int l = 0; l < 70; l++) {
        p.set(l, l);
        p.observe(l);
    }
    p.finish();
    std::vector<u4> before = p.interpret();
    ASSERT_EQ(p.run_coloring(), 0);
    EXPECT_EQ(p.f.m.local_count, 7);
    EXPECT_EQ(before, p.interpret());
    u8 set[2] = {~(u8)0, (u8)1 << 63};
    EXPECT_EQ(count_set_bits(set, 65), 65);
    EXPECT_STREQ(Conv_bit(set + 1, 4, 2), "10 00 ");
}

// Turned off by NSHRINKLVAR, and without live information nothing changes.
TEST(RegColor, OffSwitchesAndMissingLiveness)
{
    program p;
    p.setup(12, 0);
    for (int l = 0; l < 12; l++) {
        p.set(l, l);
        p.observe(l);
    }
    p.finish();
    compile_option_flag |= OPT1_NSHRINKLVAR;
    EXPECT_EQ(p.run_coloring(), 0);
    compile_option_flag &= ~OPT1_NSHRINKLVAR;
    EXPECT_EQ(p.f.m.local_count, 12);
}
