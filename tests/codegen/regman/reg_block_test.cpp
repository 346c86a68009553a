// Register state at block boundaries, executed: random programs in three
// blocks of a diamond (1 -> 2 -> 3 and 1 -> 3), with the entry state of each
// block chosen by the manager (inherited, or a default state from a tile's
// candidates with pending or dirty cached locals), the join moves on the
// fall-through edge and in a linkage stub on the branch edge.  Both paths
// run; each must read the right values and leave every local's newest value
// in its slot.
#include <gtest/gtest.h>

#include <cstring>

#include "reg_program.h"

namespace {

u4 branch_flag;

void raw(rm_fixture* f, std::initializer_list<u1> bytes)
{
    for (u1 b : bytes)
        *f->cg.code++ = b;
}
void raw32(rm_fixture* f, u4 v)
{
    std::memcpy(f->cg.code, &v, 4);
    f->cg.code += 4;
}
void patch_rel32(u1* field, u1* target) { *reinterpret_cast<s4*>(field) = (s4)(target - (field + 4)); }

// Live-in set of a block's operations given its live-out set (bit 63 - i).
u8 live_in_of(const std::vector<prog_op>& ops, u8 live_out)
{
    u8 live = live_out;
    auto bit = [](int l) { return (u8)1 << (63 - l); };
    for (size_t i = ops.size(); i-- > 0;) {
        const prog_op& op = ops[i];
        switch (op.kind) {
        case P_WRITE:
            live &= ~bit(op.a);
            break;
        case P_ADD:
            live &= ~bit(op.a);
            live |= bit(op.b) | bit(op.c);
            break;
        case P_READ:
        case P_READ_MASK:
        case P_TEMP_SUM:
            live |= bit(op.a);
            break;
        default:
            break;
        }
    }
    return live;
}

void store_set(u4* set, u8 v)
{
    set[0] = (u4)v;
    set[1] = (u4)(v >> 32);
}

enum layout { NO_REGIONS, JOIN_IN_OTHER_TILE, ALL_TILES };

struct diamond {
    rm_fixture f;
    u4 succ1[2] = {2, 3}, succ2[1] = {3}, succ3[1] = {4}, succ0[1] = {1};
    local_usage_entry cands[3][17];
    tile_record tiles[3];
};

void set_up(diamond* d, int nlocals, layout lay, uint32_t seed)
{
    rm_setup(&d->f, 5, nlocals);
    bbattr* bb = d->f.bb;
    bb[0].succ = d->succ0;
    bb[0].succ_count = 1;
    bb[1].succ = d->succ1;
    bb[1].succ_count = 2;
    bb[1].pred_count = 1;
    bb[2].succ = d->succ2;
    bb[2].succ_count = 1;
    bb[2].pred_count = 1;
    bb[3].succ = d->succ3;
    bb[3].succ_count = 1;
    bb[3].pred_count = 2;
    if (lay == NO_REGIONS)
        return;
    // Tile k's candidates: a rotating choice of locals with counts 2..9.
    for (int t = 0; t < 3; t++) {
        int n = 0;
        for (int l = 0; l < nlocals; l++) {
            int pick = (l * 3 + t * 7 + (int)seed) % nlocals;   // a permutation: no local twice
            if (n < 6)
                d->cands[t][n++] = {(u4)pick, LU_INT | LU_READ | LU_WRITTEN, 9 - n, 0};
        }
        d->tiles[t] = {};
        d->tiles[t].tile = (u4)t + 1;
        d->tiles[t].int_cands = d->cands[t];
        d->tiles[t].int_count = (u2)n;
    }
    mcc_set_tiles(&d->f.m, d->tiles);
    mcc_tile_count(&d->f.m) = 3;
    bb[1].tile_number = 1;
    bb[2].tile_number = lay == ALL_TILES ? 2 : 1;
    bb[3].tile_number = lay == ALL_TILES ? 3 : 2;
}

}  // namespace

TEST(RegBlock, CachedLocalsAcrossADiamond)
{
    const int nlocals = 10;
    for (bool before_branch : {false, true})
    for (bool liveness : {false, true})
    for (layout lay : {NO_REGIONS, JOIN_IN_OTHER_TILE, ALL_TILES})
        for (uint32_t seed = 1; seed <= 60; seed++) {
            diamond d;
            set_up(&d, nlocals, lay, seed);
            rm_fixture& f = d.f;
            codegen_context* cg = &f.cg;
            reg_program p = {&f, nlocals, seed * 7919u};
            std::vector<prog_op> k1, k2, k3;
            for (int i = 0; i < 12; i++)
                k1.push_back(p.random_op());
            for (int i = 0; i < 12; i++)
                k2.push_back(p.random_op());
            for (int i = 0; i < 12; i++)
                k3.push_back(p.random_op());
            if (liveness) {
                // Every local is live at the end (the test reads all slots).
                u8 all = 0;
                for (int l = 0; l < nlocals; l++)
                    all |= (u8)1 << (63 - l);
                u8 in3 = live_in_of(k3, all), in2 = live_in_of(k2, in3), in1 = live_in_of(k1, in2 | in3);
                store_set(bb_live_out(&f.bb[3]), all);
                store_set(bb_live_in(&f.bb[3]), in3);
                store_set(bb_live_out(&f.bb[2]), in3);
                store_set(bb_live_in(&f.bb[2]), in2);
                store_set(bb_live_out(&f.bb[1]), in2 | in3);
                store_set(bb_live_in(&f.bb[1]), in1);
                f.m.state_flags &= ~MCC_LIVENESS_UNAVAILABLE;
            }

            // Block 1; its entry state is made as block 0 hands it over.
            prepare_reg_alloc(cg);
            if (before_branch)
                bb_set_reginfo(&f.bb[3], create_default_register_info(cg, 3));
            cg->cur_bb = 1;
            BB_reg_initialize(cg, 1);
            for (const prog_op& op : k1)
                p.emit(op);
            // Branch to block 3 when the flag is set.  Either the target's
            // state is recorded now and the change goes to a stub after the
            // body, or the target already has its state (made up front) and
            // the change is emitted before the branch, on both paths.
            register_info* at_branch = nullptr;
            if (before_branch) {
                BB_change_register_info_before_branch(cg, 1, 3);
            } else {
                BB_set_register_info(cg, 1, 3, 0);
                at_branch = save_register_info(cg);
            }
            raw(&f, {0x83, 0x3D});
            raw32(&f, (u4)(uintptr_t)&branch_flag);
            raw(&f, {0x00, 0x0F, 0x85});
            u1* to_stub = f.cg.code;
            raw32(&f, 0);
            BB_reg_finalize(cg, 1, 2, 1);
            prog_trace_state(&f, "into 2");
            // Block 2 (fall-through).
            cg->cur_bb = 2;
            BB_reg_initialize(cg, 2);
            for (const prog_op& op : k2)
                p.emit(op);
            prog_trace_state(&f, "end of 2");
            BB_reg_finalize(cg, 2, 3, 1);
            prog_trace_state(&f, "changed");
            // Block 3.
            u1* block3 = f.cg.code;
            cg->cur_bb = 3;
            BB_reg_initialize(cg, 3);
            prog_trace_state(&f, "entry 3");
            for (const prog_op& op : k3)
                p.emit(op);
            _flush_all_regs(cg, 0);
            raw(&f, {0xE9});
            u1* to_end = f.cg.code;
            raw32(&f, 0);
            if (before_branch) {
                patch_rel32(to_stub, block3);
            } else {
                // The linkage stub of the branch edge.
                patch_rel32(to_stub, f.cg.code);
                cg->cur_bb = 1;
                restore_register_info(cg, at_branch);
                BB_change_register_info(cg, 1, 3);
                raw(&f, {0xE9});
                u1* back = f.cg.code;
                raw32(&f, 0);
                patch_rel32(back, block3);
            }
            patch_rel32(to_end, f.cg.code);

            machine in = {}, out;
            for (int r = 0; r < 7; r++)
                in.reg[r] = 0xDEAD0000u + (u4)r;
            for (int l = 0; l < nlocals; l++)
                in.frame[frame_word_of_local(l)] = 0x100u * (u4)(l + 1);
            for (u4 taken : {0u, 1u}) {
                branch_flag = taken;
                std::memset(checkpoint_words, 0, sizeof checkpoint_words);
                prog_state st;
                for (int l = 0; l < nlocals; l++)
                    st.value.push_back(in.frame[frame_word_of_local(l)]);
                for (const prog_op& op : k1)
                    eval(op, &st);
                for (const prog_op& op : k2) {
                    if (!taken)
                        eval(op, &st);
                    else if (op.kind == P_READ || op.kind == P_READ_MASK || op.kind == P_TEMP_SUM)
                        st.checkpoints.push_back(0);   // block 2 does not run
                }
                for (const prog_op& op : k3)
                    eval(op, &st);
                rm_run(&f, in, &out, 0);
                std::string what = std::string(before_branch ? "change before the branch, " : "") +
                                   (liveness ? "live sets, " : "") + "layout " + std::to_string(lay) + " seed " + std::to_string(seed) +
                                   (taken ? " branch taken" : " fall-through");
                if (!verify_program(st, out, nlocals, what.c_str()))
                    return;
            }
        }
}
