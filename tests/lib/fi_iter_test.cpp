// The frame iterator's own rules on synthetic frames: stack depths by code
// offset, the inlined-method map, the frames of two levels of inlining, the
// identity word round trip, the fixed answers; and the refusal path of the
// interpreter-to-compiled transfer entry.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/rcc.h"
#include "lib/rt_support.h"
#include "rt_test_env.h"

namespace {

struct inlined { methodblock* mb; inlined* enclosing; };
struct args_result { u4 word; };

typedef rcc* (*register_fn)(methodblock*, u1*, u1*, const void*, u4, void*, void*);

u1 fake_code[64];               // only its addresses matter
methodblock own_mb, outer_mb, inner_mb;
inlined own_rec{&own_mb, nullptr};
inlined outer_rec{&outer_mb, &own_rec};
inlined inner_rec{&inner_mb, &outer_rec};

// Depth table: offset 8 -> 1 word, 16 -> 2, 32 -> 5.
u1 sp_table[8 + 3 + 3];
// Map: offset 20 -> inner, 24 -> outer, 28 -> the method's own record.
u4 map[3 + 3 + 1];

rcc* code()
{
    static rcc* c = [] {
        own_mb.name = "own";
        outer_mb.name = "outer";
        inner_mb.name = "inner";
        sp_table[0] = 1;
        sp_table[1] = 1;
        u1* depths = sp_table + 11;
        std::memcpy(sp_table + 4, &depths, 4);
        const u1 offsets[3] = {8, 16, 32}, d[3] = {1, 2, 5};
        std::memcpy(sp_table + 8, offsets, 3);
        std::memcpy(depths, d, 3);
        map[0] = 1;
        map[1] = 3;
        map[2] = reinterpret_cast<u4>(&map[6]);
        map[3] = reinterpret_cast<u4>(&inner_rec);
        map[4] = reinterpret_cast<u4>(&outer_rec);
        map[5] = reinterpret_cast<u4>(&own_rec);
        const u1 at[3] = {20, 24, 28};
        std::memcpy(&map[6], at, 3);
        return rtt::sym<register_fn>("rtt_register_code")(&own_mb, fake_code, fake_code + sizeof fake_code - 1,
                                                          sp_table, 0, map, nullptr);
    }();
    return c;
}

template <typename F> F slot(int k) { return reinterpret_cast<F>(orva_FrameIntf[k]); }

class FrameIterator : public testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(rtt::start(&why)) << why;
        code();
    }
};

// The depth of the last entry not above the offset; none before the first.
TEST_F(FrameIterator, CallerStackPointerByCodeOffset)
{
    auto caller_sp = rtt::sym<u4 (*)(rcc*, u4)>("rtt_get_caller_sp");
    auto frame_size = rtt::sym<u4 (*)(rcc*, u4)>("rtt_get_frame_size");
    struct row { u4 offset; u4 depth; } rows[] = {{4, 0}, {8, 1}, {12, 1}, {16, 2}, {20, 2}, {32, 5}, {60, 5}};
    for (const row& r : rows) {
        SCOPED_TRACE(r.offset);
        u4 slot_word = reinterpret_cast<u4>(fake_code) + r.offset;
        EXPECT_EQ(caller_sp(code(), reinterpret_cast<u4>(&slot_word)), reinterpret_cast<u4>(&slot_word) + 4 + 4 * r.depth);
        EXPECT_EQ(frame_size(code(), slot_word), 4 * r.depth);
    }
}

TEST_F(FrameIterator, InlinedMapLookup)
{
    auto search = rtt::sym<void* (*)(const void*, rcc*, u4)>("rtt_search_inlined");
    u4 base = reinterpret_cast<u4>(fake_code);
    EXPECT_EQ(search(map, code(), base + 20), &inner_rec);
    EXPECT_EQ(search(map, code(), base + 24), &outer_rec);
    EXPECT_EQ(search(map, code(), base + 28), &own_rec);
    for (u4 miss : {0u, 19u, 22u, 29u, 40u})
        EXPECT_EQ(search(map, code(), base + miss), nullptr) << miss;
    EXPECT_EQ(search(nullptr, code(), base + 20), nullptr);
}

// The unwinder refills a context from a compiled frame's save area: only the
// registers of the frame's set (top byte of md word 0), read in the order the
// prologue stores them (ebp, ebx, esi, edi) with no gap for a skipped one.
TEST_F(FrameIterator, SavedRegistersRefillTheContextInSaveOrder)
{
    auto restore = rtt::sym<void (*)(u4, const u4*, exception_context*)>("rtt_restore_callee_saved_regs");
    ASSERT_NE(restore, nullptr);
    struct row { u4 set; u4 ebp, ebx, esi, edi; } rows[] = {
        {0, 0xB0, 0xB1, 0xB2, 0xB3},
        {SAVED_EBP | SAVED_ESI, 0xA0, 0xB1, 0xA1, 0xB3},
        {SAVED_EBX | SAVED_EDI, 0xB0, 0xA0, 0xB2, 0xA1},
        {SAVED_EBP | SAVED_EBX | SAVED_ESI | SAVED_EDI, 0xA0, 0xA1, 0xA2, 0xA3},
    };
    const u4 area[4] = {0xA0, 0xA1, 0xA2, 0xA3};
    for (const row& r : rows) {
        SCOPED_TRACE(r.set);
        exception_context c;
        std::memset(&c, 0, sizeof c);
        c.ebp = 0xB0, c.ebx = 0xB1, c.esi = 0xB2, c.edi = 0xB3;
        c.eax = 0xEA;
        const u4 md[1] = {r.set << 24};
        restore(reinterpret_cast<u4>(area), md, &c);
        EXPECT_EQ(c.ebp, r.ebp);
        EXPECT_EQ(c.ebx, r.ebx);
        EXPECT_EQ(c.esi, r.esi);
        EXPECT_EQ(c.edi, r.edi);
        EXPECT_EQ(c.eax, 0xEAu);
    }
}

// Two levels of inlining are three frames before the walk leaves the
// compiled frame; the caller's frame base leads to a transition frame area
// whose 0xDEADBEEF word ends the compiled part; identity words round-trip.
TEST_F(FrameIterator, InlinedFramesAndIdentityWords)
{
    vmtest::run_java([&](EE* ee) {
        u4 t[9] = {0, 0, 0, 0, 0, 0, 0, 0, ACT_T_MARKER};
        u4 stack[4] = {reinterpret_cast<u4>(fake_code) + 20, 0, 0, 0x1234};   // depth 2 at 20
        frame_iterator it;
        std::memset(&it, 0, sizeof it);
        it.frame_base = reinterpret_cast<u4>(&t[8]);
        u4 id = reinterpret_cast<u4>(&stack[0]) | 2;
        slot<void (*)(frame_iterator*, u4)>(FI_SET)(&it, id);
        auto method = slot<methodblock* (*)(frame_iterator*)>(FI_METHOD);
        auto prev = slot<void (*)(frame_iterator*)>(FI_PREV);
        auto more = slot<int (*)(frame_iterator*)>(FI_MORE);
        auto get_id = slot<u4 (*)(frame_iterator*)>(FI_GET_ID);
        auto is_jit = slot<int (*)(frame_iterator*)>(FI_IS_JIT_FRAME);
        EXPECT_EQ(it.kind, static_cast<u4>(FIK_INLINED));
        EXPECT_EQ(get_id(&it), id);
        EXPECT_EQ(method(&it), &inner_mb);
        EXPECT_EQ(slot<u1* (*)(frame_iterator*)>(FI_LASTPC)(&it), fake_code + 20);
        prev(&it);
        EXPECT_EQ(method(&it), &outer_mb);
        EXPECT_EQ(it.kind, static_cast<u4>(FIK_INLINED));
        prev(&it);
        EXPECT_EQ(method(&it), &own_mb);
        EXPECT_EQ(it.kind, static_cast<u4>(FIK_COMPILED));
        EXPECT_EQ(is_jit(&it), 1);
        prev(&it);                                      // [stack + 12] is no code
        EXPECT_EQ(it.kind, static_cast<u4>(FIK_TRANSITION));
        EXPECT_EQ(it.frame, reinterpret_cast<u4>(t));
        EXPECT_EQ(is_jit(&it), 0);
        u4 tid = get_id(&it);
        EXPECT_EQ(tid, reinterpret_cast<u4>(t) | 1);
        frame_iterator copy;
        slot<void (*)(frame_iterator*, u4)>(FI_SET)(&copy, tid);
        EXPECT_EQ(copy.kind, static_cast<u4>(FIK_TRANSITION));
        EXPECT_EQ(copy.frame, it.frame);
        prev(&it);                                      // 0xDEADBEEF: the interpreter frame in word 0
        EXPECT_EQ(it.kind, static_cast<u4>(FIK_INTERPRETER));
        EXPECT_EQ(more(&it), 0);

        // An interpreter frame's identity is the frame itself.
        slot<void (*)(frame_iterator*, u4)>(FI_SET)(&copy, reinterpret_cast<u4>(ee->current_frame));
        EXPECT_EQ(copy.kind, static_cast<u4>(FIK_INTERPRETER));
        EXPECT_EQ(get_id(&copy), reinterpret_cast<u4>(ee->current_frame));

        EXPECT_EQ(slot<args_result (*)(frame_iterator*)>(FI_ARGS)(&it).word, 0xFACADEu);
        EXPECT_EQ(slot<void* (*)(frame_iterator*)>(FI_TARGET)(&it), nullptr);
        EXPECT_EQ(slot<int (*)(EE*, int)>(FI_SET_MODE)(ee, 1), 0);
        EXPECT_EQ(slot<int (*)(EE*)>(FI_GET_MODE)(ee), 1);
        slot<int (*)(EE*, int)>(FI_SET_MODE)(ee, 0);
    });
}

// A compiled frame whose caller is no code and whose carried frame base is
// compiled code's ebp (any value), and a transition frame whose caller word
// is neither the marker nor a stack address: the walk goes on with the
// interpreter frames instead of reading through them.
TEST_F(FrameIterator, StepsThroughNoFrameGoOnWithTheInterpreterFrames)
{
    vmtest::run_java([&](EE* ee) {
        auto prev = slot<void (*)(frame_iterator*)>(FI_PREV);
        auto more = slot<int (*)(frame_iterator*)>(FI_MORE);
        JavaFrame* interp = ee->current_frame;
        ASSERT_NE(interp, nullptr);
        u4 here = reinterpret_cast<u4>(&interp);
        u4 below = (here & TLA_MASK) - 0x20;       // just outside this thread's area
        const u4 bases[] = {1, below, 0xFFFFFFE5};
        for (u4 base : bases) {
            u4 stack[4] = {reinterpret_cast<u4>(fake_code) + 28, 0, 0, 0x1234};   // own frame, depth 2
            frame_iterator it;
            std::memset(&it, 0, sizeof it);
            slot<void (*)(frame_iterator*, u4)>(FI_SET)(&it, reinterpret_cast<u4>(&stack[0]) | 2);
            ASSERT_EQ(it.kind, static_cast<u4>(FIK_COMPILED));
            it.frame_base = base;
            it.interp_frame = interp;
            prev(&it);
            EXPECT_EQ(it.kind, static_cast<u4>(FIK_INTERPRETER)) << std::hex << base;
            EXPECT_EQ(it.interp_frame, interp);
            it.interp_frame = nullptr;
            slot<void (*)(frame_iterator*, u4)>(FI_SET)(&it, reinterpret_cast<u4>(&stack[0]) | 2);
            it.frame_base = base;
            prev(&it);
            EXPECT_EQ(more(&it), 0) << std::hex << base;
        }
        const u4 callers[] = {4, below};
        for (u4 caller : callers) {
            u4 t[9] = {0, 0, 0, 0, 0, 0, 0, 0, caller};
            frame_iterator it;
            std::memset(&it, 0, sizeof it);
            slot<void (*)(frame_iterator*, u4)>(FI_SET)(&it, reinterpret_cast<u4>(t) | 1);
            ASSERT_EQ(it.kind, static_cast<u4>(FIK_TRANSITION));
            it.interp_frame = interp;
            prev(&it);
            EXPECT_EQ(it.kind, static_cast<u4>(FIK_INTERPRETER)) << std::hex << caller;
            EXPECT_EQ(it.interp_frame, interp);
        }
    });
}

// A refused transfer returns to the interpreter with ebx, esi, edi as they
// were, the bytecode position stored in the frame's state area, and the
// mode word 0.
TEST_F(FrameIterator, RefusedTransferReturnsToTheInterpreter)
{
    vmtest::run_java([&](EE* ee) {
        methodblock mb{};
        u4 state[8] = {0, reinterpret_cast<u4>(&mb), 0, 0, 0, 0, 0, 0};
        u4 out[3];
        ee->mode = EE_MODE_COMPILED;
        rtt_call_xfer(rtt::sym<void* (*)()>("rtt_xfer")(), reinterpret_cast<u4>(&mb), &state[8], 0x5E5E5E5E,
                      0xD1D1D1D1, out);
        EXPECT_EQ(out[0], 0x0B0B0B0Bu);
        EXPECT_EQ(out[1], 0x5E5E5E5Eu);
        EXPECT_EQ(out[2], 0xD1D1D1D1u);
        EXPECT_EQ(state[2], 0x5E5E5E5Eu);
        EXPECT_EQ(ee->mode, static_cast<u4>(EE_MODE_INTERPRETER));
    });
}

}  // namespace
