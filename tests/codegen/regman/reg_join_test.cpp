// Register-state changes at joins, executed: every way three cached locals
// can sit in four integer registers (or not at all) in the current state,
// against every way a target state can expect them; every arrangement of up
// to four x87 cached locals against every other.  After the emitted moves,
// each register and x87 slot the target names holds the newest value of its
// local, and each local the target does not keep clean in a register has its
// newest value in its frame slot.
#include <gtest/gtest.h>

#include <vector>

#include "reg_test_util.h"

namespace {

constexpr int NL = 3;           // locals 0..2
constexpr int NR = 4;           // eax, edx, ecx, ebx
constexpr u4 V_BASE = 0xA00;    // register value of a dirty local k: V_BASE + k (newer than its slot)
constexpr u4 M_BASE = 0xB00;    // slot value of local k

struct int_placement {
    int reg[NL];                // register of local k, -1 when not held
};

std::vector<int_placement> all_int_placements()
{
    std::vector<int_placement> out;
    for (int a = -1; a < NR; a++)
        for (int b = -1; b < NR; b++)
            for (int c = -1; c < NR; c++) {
                if ((a >= 0 && (a == b || a == c)) || (b >= 0 && b == c))
                    continue;
                out.push_back({{a, b, c}});
            }
    return out;
}

void place_local(register_entry* e, u4* masks, int r, int local, u4 status)
{
    e[r] = {RK_LOCAL, RT_INT, 0, local, nullptr};
    sw_put(masks, r, status);
}

const u4 BUSY_VALID = SW(RS_ASSIGNED) | SW(RS_BUSY) | SW(RS_VALID);

// Runs one current/target pair; returns false (with a message) on a mismatch.
bool check_int_change(const int_placement& cur, const int_placement& tgt, int processor, bool others_busy)
{
    orva_processor_type = processor;
    rm_fixture f;
    rm_setup(&f, 4, 8);
    register_info* c = CUR(&f.cg);
    for (int k = 0; k < NL; k++)
        if (cur.reg[k] >= 0) {
            u4 st = BUSY_VALID | (k != 1 ? SW(RS_DIRTY) : 0);
            place_local(c->ient, c->imask, cur.reg[k], k, st);
            place_local(c->init_ient, c->init_imask, cur.reg[k], k, st);
        }
    // Optionally esi, edi, ebp cache clean locals 5..7 that both states keep,
    // so that a cycle finds no free work register.
    register_info* ri = allocate_register_info(&f.cg);
    clear_register_info(&f.cg, ri);
    ri->int_map_count = -1;
    ri->fp_map_count = -1;
    if (others_busy)
        for (int r = RM_EBP; r <= RM_EDI; r++) {
            place_local(c->ient, c->imask, r, r + 1, BUSY_VALID);
            place_local(ri->ient, ri->imask, r, r + 1, BUSY_VALID);
        }
    for (int k = 0; k < NL; k++)
        if (tgt.reg[k] >= 0)
            place_local(ri->ient, ri->imask, tgt.reg[k], k, BUSY_VALID | (k == 2 ? SW(RS_DIRTY) : 0));
    gen_change_int_registers(&f.cg, ri, 0, 1, 2, 0);

    machine in = {}, out;
    for (int r = 0; r < 7; r++)
        in.reg[r] = 0xDEAD0000u + (u4)r;
    for (int k = 0; k < 8; k++)
        in.frame[frame_word_of_local(k)] = M_BASE + (u4)k;
    auto dirty = [](int k) { return k != 1; };
    for (int k = 0; k < NL; k++)
        if (cur.reg[k] >= 0)
            in.reg[cur.reg[k]] = (dirty(k) ? V_BASE : M_BASE) + (u4)k;   // a clean register equals its slot
    if (others_busy)
        for (int r = RM_EBP; r <= RM_EDI; r++)
            in.reg[r] = M_BASE + (u4)(r + 1);
    rm_run(&f, in, &out, 0);

    bool ok = true;
    auto fail = [&](const char* what, int k) {
        ADD_FAILURE() << what << " local " << k << " cur {" << cur.reg[0] << "," << cur.reg[1] << "," << cur.reg[2]
                      << "} tgt {" << tgt.reg[0] << "," << tgt.reg[1] << "," << tgt.reg[2] << "} proc " << processor
                      << " others_busy " << others_busy << "\n code " << emitted_hex(&f);
        ok = false;
    };
    for (int k = 0; k < NL && ok; k++) {
        u4 newest = (cur.reg[k] >= 0 && dirty(k) ? V_BASE : M_BASE) + (u4)k;
        u4 slot = out.frame[frame_word_of_local(k)];
        int r = tgt.reg[k];
        if (r >= 0) {
            if (out.reg[r] != newest)
                fail("register value", k);
            else if (!sw_has(ri->imask, r, RS_DIRTY) && slot != newest)
                fail("slot of a clean register", k);
            else if (c->ient[r].kind != RK_LOCAL || c->ient[r].index != k)
                fail("model entry", k);
        } else if (slot != newest) {
            fail("slot value", k);
        }
    }
    if (others_busy)
        for (int r = RM_EBP; r <= RM_EDI && ok; r++)
            if (out.reg[r] != M_BASE + (u4)(r + 1))
                fail("bystander register", r);
    return ok;
}

}  // namespace

TEST(RegJoin, EveryIntegerMergePattern)
{
    s4 saved = orva_processor_type;
    std::vector<int_placement> all = all_int_placements();
    ASSERT_EQ(all.size(), 73u);
    int failures = 0;
    for (const int_placement& cur : all)
        for (const int_placement& tgt : all)
            for (int processor : {4, 5})
                for (bool busy : {false, true})
                    if (!check_int_change(cur, tgt, processor, busy) && ++failures > 5)
                        goto done;
done:
    orva_processor_type = saved;
}

// A three-register cycle (eax to edx, edx to ecx, ecx to eax): two exchanges on
// a family-6 processor; four moves through a free work register otherwise.
TEST(RegJoin, CycleShapes)
{
    s4 saved = orva_processor_type;
    int_placement cur = {{0, 1, 2}}, tgt = {{1, 2, 0}};
    orva_processor_type = 5;
    {
        rm_fixture f;
        rm_setup(&f, 4, 8);
        register_info* c = CUR(&f.cg);
        register_info* ri = allocate_register_info(&f.cg);
        clear_register_info(&f.cg, ri);
        for (int k = 0; k < 3; k++) {
            place_local(c->ient, c->imask, cur.reg[k], k, BUSY_VALID);
            place_local(ri->ient, ri->imask, tgt.reg[k], k, BUSY_VALID);
        }
        gen_change_int_registers(&f.cg, ri, 0, 1, 2, 0);
        EXPECT_EQ(emitted_hex(&f), "87 CA 92");   // xchg edx, ecx; xchg eax, edx
    }
    orva_processor_type = 4;
    {
        rm_fixture f;
        rm_setup(&f, 4, 8);
        register_info* c = CUR(&f.cg);
        register_info* ri = allocate_register_info(&f.cg);
        clear_register_info(&f.cg, ri);
        for (int k = 0; k < 3; k++) {
            place_local(c->ient, c->imask, cur.reg[k], k, BUSY_VALID);
            place_local(ri->ient, ri->imask, tgt.reg[k], k, BUSY_VALID);
        }
        gen_change_int_registers(&f.cg, ri, 0, 1, 2, 0);
        EXPECT_EQ(emitted_hex(&f), "8B D9 8B CA 8B D0 8B C3");   // ebx <- ecx, ecx <- edx, edx <- eax, eax <- ebx
    }
    orva_processor_type = saved;
}

// ---------------------------------------------------------------------------
// x87
// ---------------------------------------------------------------------------
namespace {

constexpr int NF = 4;   // float locals 0..3

std::vector<std::vector<int>> all_arrangements()
{
    std::vector<std::vector<int>> out;
    std::vector<int> cur;
    auto rec = [&](auto&& self) -> void {
        out.push_back(cur);
        if ((int)cur.size() == NF)
            return;
        for (int k = 0; k < NF; k++) {
            bool used = false;
            for (int x : cur)
                used |= x == k;
            if (used)
                continue;
            cur.push_back(k);
            self(self);
            cur.pop_back();
        }
    };
    rec(rec);
    return out;
}

void place_fp(register_info* ri, const std::vector<int>& seq, bool dirty_even)
{
    for (size_t p = 0; p < seq.size(); p++) {
        int k = seq[p];
        register_entry e = {RK_LOCAL, RT_FLOAT, 0, k, nullptr};
        u4 st = BUSY_VALID | ((dirty_even && k % 2 == 0) ? SW(RS_DIRTY) : 0);
        ri->fent[p] = e;
        ri->init_fent[p] = e;
        sw_put(ri->fmask, (int)p, st);
        sw_put(ri->init_fmask, (int)p, st);
    }
    ri->fp_bottom = 0;
    ri->fp_top = (s4)seq.size();
}

bool check_fp_change(const std::vector<int>& cur, const std::vector<int>& tgt)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    place_fp(CUR(&f.cg), cur, true);
    fp_top(&f.cg) = (s4)cur.size();
    register_info* ri = allocate_register_info(&f.cg);
    clear_register_info(&f.cg, ri);
    place_fp(ri, tgt, false);
    gen_change_fp_registers(&f.cg, ri, 0, 1, 2);

    machine in = {}, out;
    for (int k = 0; k < 8; k++)
        in.frame[frame_word_of_local(k)] = float_bits(200.0f + (float)k);
    for (int k : cur)
        in.fp.push_back(k % 2 == 0 ? 100.0 + k : 200.0 + k);   // a clean slot equals its local
    rm_run(&f, in, &out, (int)tgt.size());

    auto newest = [&](int k) {
        for (int x : cur)
            if (x == k && k % 2 == 0)
                return 100.0 + k;
        return 200.0 + k;
    };
    bool ok = fp_top(&f.cg) == (s4)tgt.size() && ((out.fpu_status >> 11) & 7) == 0;
    for (size_t p = 0; p < tgt.size() && ok; p++) {
        ok = out.fp[p] == newest(tgt[p]);
        const register_entry& e = CUR(&f.cg)->fent[p];
        ok = ok && e.kind == RK_LOCAL && e.index == tgt[p];
    }
    for (int k = 0; k < NF && ok; k++)
        ok = bits_float(out.frame[frame_word_of_local(k)]) == (float)newest(k);
    if (!ok) {
        std::string a, b;
        for (int x : cur)
            a += std::to_string(x);
        for (int x : tgt)
            b += std::to_string(x);
        ADD_FAILURE() << "x87 change from [" << a << "] to [" << b << "]: code " << emitted_hex(&f) << " top "
                      << fp_top(&f.cg) << " status " << out.fpu_status;
    }
    return ok;
}

}  // namespace

TEST(RegJoin, EveryX87ArrangementOfUpToFourLocals)
{
    std::vector<std::vector<int>> all = all_arrangements();
    ASSERT_EQ(all.size(), 65u);
    int failures = 0;
    for (const auto& cur : all)
        for (const auto& tgt : all)
            if (!check_fp_change(cur, tgt) && ++failures > 5)
                return;
}

// On an edge with live sets: a current x87 local dead on leaving is popped
// without a store; a target local dead on entry gets a placeholder slot
// without a load; an operand-stack value the target does not hold goes to
// its slot.
TEST(RegJoin, X87ChangeWithDeadLocalsAndStackValues)
{
    rm_fixture f;
    rm_setup(&f, 4, 8);
    f.m.state_flags &= ~MCC_LIVENESS_UNAVAILABLE;
    u4* out1 = bb_live_out(&f.bb[1]);
    u4* in2 = bb_live_in(&f.bb[2]);
    out1[1] = 0x40000000u;   // local 1 live out of block 1 (bit 62); local 0 dead
    in2[1] = 0x40000000u;    // local 1 live into block 2; local 2 dead there
    register_info* c = CUR(&f.cg);
    auto put = [](register_info* ri, int s, register_entry e, u4 st) {
        ri->fent[s] = e;
        ri->init_fent[s] = e;
        sw_put(ri->fmask, s, st);
        sw_put(ri->init_fmask, s, st);
    };
    put(c, 0, {RK_LOCAL, RT_FLOAT, 0, 0, nullptr}, BUSY_VALID | SW(RS_DIRTY));   // dead on leaving
    put(c, 1, {RK_LOCAL, RT_FLOAT, 0, 1, nullptr}, BUSY_VALID);
    put(c, 2, {RK_STACK, RT_FLOAT, 3, 0, nullptr}, BUSY_VALID | SW(RS_DIRTY));  // not expected
    fp_top(&f.cg) = 3;
    c->fp_stack_count = 1;
    register_info* ri = allocate_register_info(&f.cg);
    clear_register_info(&f.cg, ri);
    put(ri, 0, {RK_LOCAL, RT_FLOAT, 0, 1, nullptr}, BUSY_VALID);
    put(ri, 1, {RK_LOCAL, RT_FLOAT, 0, 2, nullptr}, BUSY_VALID);   // dead on entry
    ri->fp_top = 2;
    gen_change_fp_registers(&f.cg, ri, 1, 1, 2);
    EXPECT_EQ(fp_top(&f.cg), 2);
    machine in = {}, out;
    for (int k = 0; k < 64; k++)
        in.frame[k] = float_bits(500.0f + (float)k);
    in.fp = {10.0, 11.0, 12.0};
    rm_run(&f, in, &out, 2);
    EXPECT_EQ(out.fp[0], 11.0);                                       // local 1 kept
    EXPECT_EQ(bits_float(out.frame[frame_word_of_local(0)]), 500.0f);  // dead: not stored
    EXPECT_EQ(bits_float(out.frame[frame_word_of_stack(3)]), 12.0f);   // stack value stored
    EXPECT_EQ(bits_float(out.frame[frame_word_of_local(2)]), 502.0f);
    EXPECT_EQ((out.fpu_status >> 11) & 7, 0);
}
