// Range facts of the type flow over bytecode: the transfer arithmetic at
// Java's edge values (MIN_VALUE, MAX_VALUE, wrap-around), the refinements a
// compare-and-branch gives its two edges, and the decision of a whole
// transfer list replayed over a block's IN.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_typeflow.h"
#include "frontend/quad.h"

namespace {

constexpr s4 MIN = INT32_MIN, MAX = INT32_MAX;

::testing::AssertionResult same(tf_range got, tf_range want)
{
    if (tf_empty(got) && tf_empty(want))
        return ::testing::AssertionSuccess();
    if (got.lo == want.lo && got.hi == want.hi)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "[" << got.lo << ", " << got.hi << "] instead of [" << want.lo << ", "
                                         << want.hi << "]";
}

// Every operation's result range must hold each value the operation can
// give; the cases pick operands at the ends of the int range.
TEST(TypeflowRanges, BinaryOperationsAtTheEdges)
{
    struct row {
        u2 op;
        tf_range x, y;
        bool yconst;
        tf_range want;
    } rows[] = {
        {QOP_ADD, {0, 10}, {5, 5}, true, {5, 15}},
        {QOP_ADD, {0, MAX}, {1, 1}, true, TF_FULL_RANGE},          // MAX + 1 wraps
        {QOP_ADD, {MIN, -1}, {-1, -1}, true, TF_FULL_RANGE},       // MIN - 1 wraps
        {QOP_SUB, {0, 0}, {MIN, MIN}, true, TF_FULL_RANGE},        // 0 - MIN is MIN, not MAX
        {QOP_SUB, {10, 20}, {1, 5}, false, {5, 19}},
        // max and min are not intersections: all of x below c gives c.
        {QOP_MAX, {0, 3}, {10, 10}, true, {10, 10}},
        {QOP_MIN, {0, 3}, {-5, -5}, true, {-5, -5}},
        {QOP_MAX, {MIN, MAX}, {10, 10}, true, {10, MAX}},
        {QOP_MIN, {MIN, MAX}, {10, 10}, true, {MIN, 10}},
        {QOP_REM, {MIN, MAX}, {10, 10}, true, {-9, 9}},
        {QOP_REM, {0, MAX}, {10, 10}, true, {0, 9}},
        {QOP_REM, {MIN, MAX}, {MIN, MIN}, true, {-MAX, MAX}},
        {QOP_REM, {0, 3}, {-100, 100}, false, {0, 3}},
        {QOP_AND, {MIN, MAX}, {0xFF, 0xFF}, true, {0, 0xFF}},
        {QOP_AND, {MIN, MAX}, {-16, -16}, true, {MIN, MAX - 15}},
        {QOP_SHR, {0, MAX}, {24, 24}, true, {0, 127}},
        {QOP_SHR, {MIN, MAX}, {31, 31}, true, {-1, 0}},
        {QOP_SHR, {MIN, MAX}, {32, 32}, true, {MIN, MAX}},          // the count is taken mod 32
        {QOP_USHR, {MIN, MAX}, {28, 28}, true, {0, 15}},
        {QOP_MUL, {0, 2}, {0, 2}, false, TF_FULL_RANGE},
    };
    for (const row& r : rows)
        EXPECT_TRUE(same(tf_binop_range(r.op, r.x, r.y, r.yconst), r.want)) << "op " << r.op;
}

TEST(TypeflowRanges, IncrementsWrapOrWiden)
{
    EXPECT_TRUE(same(tf_add_const({0, 10}, 1), {1, 11}));
    EXPECT_TRUE(same(tf_add_const({0, MAX}, 1), TF_FULL_RANGE));
    EXPECT_TRUE(same(tf_add_const({MIN, 0}, -1), TF_FULL_RANGE));
    EXPECT_TRUE(same(tf_add_const(TF_EMPTY_RANGE, 1), TF_EMPTY_RANGE));
    // A loop increment widens to the end of the range only when no value
    // of the range can wrap; 0x7FFFFFF0.. counting up may.
    EXPECT_TRUE(same(tf_widen_increment({0, MAX - 1}, 1), {0, MAX}));
    EXPECT_TRUE(same(tf_widen_increment({0x7FFFFFF0, MAX}, 1), TF_FULL_RANGE));
    EXPECT_TRUE(same(tf_widen_increment({0, MAX - 1}, 2), TF_FULL_RANGE));
    EXPECT_TRUE(same(tf_widen_increment({MIN + 2, 0}, -2), {MIN, 0}));
    EXPECT_TRUE(same(tf_widen_increment({MIN + 1, 0}, -2), TF_FULL_RANGE));
}

// (cond, constant, TAKEN, OUT) from a local that starts full.
TEST(TypeflowRanges, RefinementAgainstAConstant)
{
    struct row {
        u1 cond;
        int64_t c;
        tf_range taken, out;
    } rows[] = {
        {TFCC_LT, 10, {MIN, 9}, {10, MAX}},
        {TFCC_LE, 10, {MIN, 10}, {11, MAX}},
        {TFCC_GT, 10, {11, MAX}, {MIN, 10}},
        {TFCC_GE, 10, {10, MAX}, {MIN, 9}},
        {TFCC_LT, MIN, TF_EMPTY_RANGE, TF_FULL_RANGE},    // nothing is below MIN
        {TFCC_GT, MAX, TF_EMPTY_RANGE, TF_FULL_RANGE},
        {TFCC_LE, MAX, TF_FULL_RANGE, TF_EMPTY_RANGE},
        {TFCC_EQ, 7, {7, 7}, TF_FULL_RANGE},
        {TFCC_NE, MIN, {MIN + 1, MAX}, {MIN, MIN}},
        {TFCC_ULT, 10, {0, 9}, TF_FULL_RANGE},
        {TFCC_UGT, 10, TF_FULL_RANGE, {0, 10}},
        {TFCC_LT, int64_t(MAX) + 1, TF_FULL_RANGE, TF_EMPTY_RANGE},   // a bound past the range
    };
    for (const row& r : rows) {
        tf_range t = TF_FULL_RANGE, o = TF_FULL_RANGE;
        tf_refine_const(r.cond, r.c, &t, &o);
        EXPECT_TRUE(same(t, r.taken)) << "cond " << int(r.cond) << " c " << r.c;
        EXPECT_TRUE(same(o, r.out)) << "cond " << int(r.cond) << " c " << r.c;
    }
}

// x compared with a byte value v in -128..127: the fall-through of x < v is
// x >= -128 (not -127), of x <= v is x >= -127.
TEST(TypeflowRanges, RefinementAgainstANarrowValue)
{
    struct row {
        u1 cond;
        tf_range taken, out;
    } rows[] = {
        {TFCC_LT, {MIN, 126}, {-128, MAX}},
        {TFCC_LE, {MIN, 127}, {-127, MAX}},
        {TFCC_GT, {-127, MAX}, {MIN, 127}},
        {TFCC_GE, {-128, MAX}, {MIN, 126}},
    };
    for (const row& r : rows) {
        tf_range t = TF_FULL_RANGE, o = TF_FULL_RANGE;
        tf_refine_range(r.cond, tf_class_range(TFC_BYTE), &t, &o);
        EXPECT_TRUE(same(t, r.taken)) << "cond " << int(r.cond);
        EXPECT_TRUE(same(o, r.out)) << "cond " << int(r.cond);
    }
}

// Replays hand-written transfer lists over one block's IN.
struct replay {
    typeflow_state st{};
    typeflow_block_record rec{};
    typeflow_local_range lr[3];
    std::vector<u1> bytes;

    replay(tf_range in0, tf_range in1 = TF_FULL_RANGE)
    {
        memset(lr, 0, sizeof lr);
        lr[0].in_min = in0.lo, lr[0].in_max = in0.hi;
        lr[1].in_min = in1.lo, lr[1].in_max = in1.hi;
        lr[2].in_min = MIN, lr[2].in_max = MAX;
        st.locals = 3;
        st.blocks = &rec;
        rec.ranges = lr;
    }
    replay& b(u1 v) { bytes.push_back(v); return *this; }
    replay& h(u2 v) { b(static_cast<u1>(v)); return b(static_cast<u1>(v >> 8)); }
    replay& w(s4 v)
    {
        u4 u = static_cast<u4>(v);
        for (int i = 0; i < 4; i++)
            b(static_cast<u1>(u >> (8 * i)));
        return *this;
    }
    void run()
    {
        rec.list = bytes.data();
        rec.length = static_cast<u2>(bytes.size());
        typeflow_apply(&st, 0);
    }
    tf_range out(int n) const { return {lr[n].out_min, lr[n].out_max}; }
    tf_range taken(int n) const { return {lr[n].taken_min, lr[n].taken_max}; }
};

TEST(TypeflowApply, RefinementThroughLocalPlusConstantOnlyWithoutWrap)
{
    // x + 1 < 5 with x in [0, 100]: x <= 3 taken, x >= 4 fall-through.
    replay a({0, 100});
    a.b(TF_REFINE_PLUS).b(TFCC_LT).h(9).h(0).w(5).w(1).run();
    EXPECT_TRUE(same(a.taken(0), {0, 3}));
    EXPECT_TRUE(same(a.out(0), {4, 100}));
    EXPECT_EQ(a.lr[0].target, 9);
    // With x possibly MAX, x + 1 may wrap below 5: nothing is learnt.
    replay f({0, MAX});
    f.b(TF_REFINE_PLUS).b(TFCC_LT).h(9).h(0).w(5).w(1).run();
    EXPECT_TRUE(same(f.taken(0), {0, MAX}));
    EXPECT_TRUE(same(f.out(0), {0, MAX}));
}

TEST(TypeflowApply, MaxAndMinOfALocal)
{
    replay r({0, 3}, {20, 30});
    r.b(TF_MAX_CONST).h(0).w(10).b(TF_MIN_CONST).h(1).w(25).run();
    EXPECT_TRUE(same(r.out(0), {10, 10}));
    EXPECT_TRUE(same(r.out(1), {20, 25}));
}

TEST(TypeflowApply, StoresCopiesAndTwoLocalCompares)
{
    // l2 = 7; l1 = l0; i0 < l1 ... with l0 in [0, 10] and l1 in [5, 5] first.
    replay r({0, 10}, {5, 5});
    r.b(TF_CONST).h(2).w(7);
    r.b(TF_REFINE_LOCALS).b(TFCC_LT).h(4).h(0).h(1).run();
    EXPECT_TRUE(same(r.out(2), {7, 7}));
    EXPECT_TRUE(same(r.taken(0), {0, 4}));     // l0 < 5
    EXPECT_TRUE(same(r.out(0), {5, 10}));      // l0 >= 5
    EXPECT_TRUE(same(r.taken(1), {5, 5}));
    replay c({0, 10}, {5, 5});
    c.b(TF_COPY).h(1).h(0).b(TF_WIDEN).h(1).w(1).run();
    EXPECT_TRUE(same(c.out(1), {0, MAX}));
}

} // namespace
