// The arithmetic helpers of the run-time routine table (entries 26-40),
// called as generated code calls them.  The divide helpers' zero divisor
// raises through the handler: see rt_exception_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <cstdint>
#include <limits>

#include "rt_test_env.h"

namespace {

constexpr int LL_MUL = 26, LL_DIV = 27, LL_REM = 28, LI_DIV = 29, LI_REM = 30;
constexpr int POWEROF = 31, LOGOF = 32, EXPOF = 33, MAXOF = 34, MINOF = 35;
constexpr int FLOOROF = 36, FLOOROF2 = 37, CEILOF = 38, CEILOF2 = 39, F2I = 40;

int64_t call_ll(int k, int64_t a, int64_t b)
{
    auto ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
    return static_cast<int64_t>(rtt_call_ll(rtt::routine(k), static_cast<u4>(ua), static_cast<u4>(ua >> 32),
                                            static_cast<u4>(ub), static_cast<u4>(ub >> 32)));
}

int64_t call_li(int k, int64_t a, int32_t b)
{
    auto ua = static_cast<uint64_t>(a);
    return static_cast<int64_t>(rtt_call_li(rtt::routine(k), static_cast<u4>(ua), static_cast<u4>(ua >> 32),
                                            static_cast<u4>(b)));
}

constexpr int64_t MIN = std::numeric_limits<int64_t>::min();
constexpr int64_t MAX = std::numeric_limits<int64_t>::max();

// Java semantics: truncation toward zero, remainder with the dividend's
// sign, MIN / -1 = MIN and MIN % -1 = 0.
int64_t java_div(int64_t a, int64_t b) { return b == -1 ? static_cast<int64_t>(0 - static_cast<uint64_t>(a)) : a / b; }
int64_t java_rem(int64_t a, int64_t b) { return b == -1 ? 0 : a % b; }

TEST(ArithHelpers, LongDivideAndRemainderMatchJava)
{
    ASSERT_NE(rtt::library(), nullptr) << dlerror();
    const int64_t values[] = {0, 1, -1, 2, -2, 7, -7, 3, 0x7FFFFFFF, -0x80000000LL, 0x80000000LL,
                              0xFFFFFFFFLL, 0x100000000LL, -0x100000000LL, 0x123456789ABCDEFLL,
                              -0x123456789ABCDEFLL, MAX, MIN, MAX - 1, MIN + 1, 0x7FFFFFFF00000000LL,
                              0x00000001FFFFFFFFLL, 1000000007LL * 1000000009LL};
    for (int64_t a : values) {
        for (int64_t b : values) {
            if (b == 0)
                continue;
            SCOPED_TRACE(testing::Message() << a << " / " << b);
            EXPECT_EQ(call_ll(LL_DIV, a, b), java_div(a, b));
            EXPECT_EQ(call_ll(LL_REM, a, b), java_rem(a, b));
            EXPECT_EQ(call_ll(LL_MUL, a, b),
                      static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b)));
            if (b >= INT32_MIN && b <= INT32_MAX) {
                EXPECT_EQ(call_li(LI_DIV, a, static_cast<int32_t>(b)), java_div(a, b));
                EXPECT_EQ(call_li(LI_REM, a, static_cast<int32_t>(b)), java_rem(a, b));
            }
        }
    }
}

// The one-too-large estimate of the general case: divisors above 2^32 whose
// shifted estimate overshoots, against many dividends.
TEST(ArithHelpers, LongDivideCorrectsTheEstimate)
{
    uint64_t seed = 12345;
    for (int i = 0; i < 20000; i++) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        int64_t a = static_cast<int64_t>(seed);
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        int64_t b = static_cast<int64_t>(seed >> (i % 40));
        if (b == 0)
            continue;
        ASSERT_EQ(call_ll(LL_DIV, a, b), java_div(a, b)) << a << " / " << b;
        ASSERT_EQ(call_ll(LL_REM, a, b), java_rem(a, b)) << a << " % " << b;
    }
}

TEST(ArithHelpers, PowerOf)
{
    struct row { double x, y; bool computed; double expect; } rows[] = {
        {-8.0, 3.0, true, -512.0}, {-8.0, 2.0, true, 64.0}, {2.0, 10.0, true, 1024.0},
        {-8.0, 2.5, false, 0}, {0.0, -1.0, false, 0}, {0.0, 0.0, true, 1.0}, {-0.0, 0.0, true, 1.0},
        {0.0, 3.0, true, 0.0}, {2.0, NAN, false, 0}, {INFINITY, 2.0, false, 0},
        {-1.0, 2147483649.0, true, -1.0},   // odd above 2^31: the sign comes from a 64-bit parity
        {-1.0, 4294967296.0, true, 1.0}, {9.0, 0.5, true, 3.0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.x << " ^ " << r.y);
        double out[2] = {0, 0};
        u4 eax = rtt_call_pow(rtt::routine(POWEROF), r.x, r.y, out);
        ASSERT_EQ(eax, r.computed ? 1u : 0u);
        if (r.computed) {
            EXPECT_NEAR(out[0], r.expect, std::fabs(r.expect) * 1e-12);
        } else {
            // Declined: y and x as they were.
            EXPECT_TRUE(out[0] == r.y || (std::isnan(out[0]) && std::isnan(r.y)));
            EXPECT_EQ(out[1], r.x);
        }
    }
}

TEST(ArithHelpers, ExpAndLog)
{
    double out;
    EXPECT_EQ(rtt_call_x87_1(rtt::routine(EXPOF), -650.5, &out), 0u);
    EXPECT_EQ(out, -650.5);
    EXPECT_EQ(rtt_call_x87_1(rtt::routine(EXPOF), -650.0, &out), 1u);
    EXPECT_NEAR(out, std::exp(-650.0), std::exp(-650.0) * 1e-12);
    EXPECT_EQ(rtt_call_x87_1(rtt::routine(EXPOF), 1.0, &out), 1u);
    EXPECT_NEAR(out, M_E, 1e-15);
    EXPECT_EQ(rtt_call_x87_1(rtt::routine(EXPOF), 1000.0, &out), 1u);
    EXPECT_TRUE(std::isinf(out));
    EXPECT_EQ(rtt_call_x87_1(rtt::routine(EXPOF), NAN, &out), 0u);
    rtt_call_x87_1(rtt::routine(LOGOF), M_E, &out);
    EXPECT_NEAR(out, 1.0, 1e-15);
    rtt_call_x87_1(rtt::routine(LOGOF), 0.0, &out);
    EXPECT_TRUE(std::isinf(out) && out < 0);
    rtt_call_x87_1(rtt::routine(LOGOF), -1.0, &out);
    EXPECT_TRUE(std::isnan(out));
}

TEST(ArithHelpers, MaxMinOfEqualOrUnordered)
{
    struct row { double x, y, max, min; } rows[] = {
        {0.0, -0.0, 0.0, -0.0}, {-0.0, 0.0, 0.0, -0.0}, {-0.0, -0.0, -0.0, -0.0}, {1.0, 1.0, 1.0, 1.0},
        {NAN, 1.0, NAN, NAN}, {1.0, NAN, NAN, NAN},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.x << ", " << r.y);
        double out;
        rtt_call_maxmin(rtt::routine(MAXOF), r.x, r.y, &out);
        EXPECT_TRUE(std::isnan(r.max) ? std::isnan(out) : out == r.max && std::signbit(out) == std::signbit(r.max));
        rtt_call_maxmin(rtt::routine(MINOF), r.x, r.y, &out);
        EXPECT_TRUE(std::isnan(r.min) ? std::isnan(out) : out == r.min && std::signbit(out) == std::signbit(r.min));
    }
}

TEST(ArithHelpers, FloorAndCeiling)
{
    const double xs[] = {-0.5, -0.0, 0.0, 0.5, 1.5, 2.5, -1.5, -2.5, 3.0, -3.0, 1e300, -1e-300};
    for (double x : xs) {
        SCOPED_TRACE(x);
        for (int k : {FLOOROF, FLOOROF2}) {
            double out;
            rtt_call_x87_1(rtt::routine(k), x, &out);
            EXPECT_EQ(out, std::floor(x));
            EXPECT_EQ(std::signbit(out), std::signbit(std::floor(x)));
        }
        for (int k : {CEILOF, CEILOF2}) {
            double out;
            rtt_call_x87_1(rtt::routine(k), x, &out);
            EXPECT_EQ(out, std::ceil(x));
            EXPECT_EQ(std::signbit(out), std::signbit(std::ceil(x)));
        }
    }
    double out;
    rtt_call_x87_1(rtt::routine(FLOOROF), NAN, &out);
    EXPECT_TRUE(std::isnan(out));
}

TEST(ArithHelpers, CorrectedFloatToInteger)
{
    struct row { double x; u4 eax, edx; } rows[] = {
        {INFINITY, 0x7FFFFFFF, 0xFFFFFFFF}, {-INFINITY, 0x80000000, 0}, {NAN, 0, 0}, {-NAN, 0, 0},
        {1e30, 0x7FFFFFFF, 0xFFFFFFFF}, {-1e30, 0x80000000, 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.x);
        u8 v = rtt_call_f2i(rtt::routine(F2I), r.x);
        EXPECT_EQ(static_cast<u4>(v), r.eax);
        EXPECT_EQ(static_cast<u4>(v >> 32), r.edx);
    }
}

}  // namespace

namespace {

// __lookupswitch (entry 1) over the instruction's big-endian pairs: a hit on
// the first, a middle and the last pair, misses below, between and above,
// signed order, and zero pairs (one probe of the default/count words).
TEST(LookupSwitch, SelectsTheJumpTableWord)
{
    const s4 matches[] = {-5, -1, 0, 3, 100, 0x7FFFFFFF};
    const int n = 6;
    u4 insn[2 + 2 * n];
    insn[0] = __builtin_bswap32(77);            // default offset
    insn[1] = __builtin_bswap32(n);             // pair count
    for (int i = 0; i < n; i++) {
        insn[2 + 2 * i] = __builtin_bswap32(static_cast<u4>(matches[i]));
        insn[3 + 2 * i] = __builtin_bswap32(1000 + i);
    }
    void* stub = rtt::routine(1);
    for (int i = 0; i < n; i++)
        EXPECT_EQ(rtt_call_lookupswitch(stub, &insn[2], n - 1, matches[i]), i + 1) << matches[i];
    for (s4 key : {INT32_MIN, -6, -2, 1, 2, 99, 101, 0x7FFFFFFE})
        EXPECT_EQ(rtt_call_lookupswitch(stub, &insn[2], n - 1, key), 0) << key;
    // Zero pairs: the probe at index -1 reads the default and count words;
    // even a key equal to the pair-count word selects the default.
    u4 empty[2] = {__builtin_bswap32(5), 0};
    EXPECT_EQ(rtt_call_lookupswitch(stub, &empty[2], -1, 7), 0);
    EXPECT_EQ(rtt_call_lookupswitch(stub, &empty[2], -1, 0), 0);
    for (int k = 1; k <= n; k++) {              // every prefix length
        for (int i = 0; i < k; i++)
            EXPECT_EQ(rtt_call_lookupswitch(stub, &insn[2], k - 1, matches[i]), i + 1);
        EXPECT_EQ(rtt_call_lookupswitch(stub, &insn[2], k - 1, -100), 0);
    }
}

}  // namespace

namespace {

// The array copy routines (entries 141-148) against memmove: every element
// size and direction, counts 0-40, every source and destination alignment,
// disjoint arrays and overlaps in the direction each routine serves;
// nothing outside the copied range is written.
TEST(ArrayCopy, MatchesMemmoveAndStaysInRange)
{
    const u4 sizes[4] = {1, 2, 4, 8};
    for (int backward = 0; backward < 2; backward++) {
        for (int s = 0; s < 4; s++) {
            void* fn = rtt::routine(141 + 4 * backward + s);
            u4 size = sizes[s];
            for (u4 count = 0; count <= 40; count++) {
                for (u4 src_off = 0; src_off < 8; src_off += size < 4 ? size : 4) {
                    for (int shift : {-24, -3 * static_cast<int>(size), 0, 200, 3 * static_cast<int>(size), 24}) {
                        // Overlaps only in the routine's direction: backward
                        // copies toward higher addresses, forward toward lower.
                        int span = static_cast<int>(count * size);
                        if ((shift > 0 && shift < span && !backward) || (shift < 0 && -shift < span && backward))
                            continue;
                        alignas(8) u1 mem[1024], want[1024];
                        for (int i = 0; i < 1024; i++)
                            mem[i] = static_cast<u1>(i * 7 + 3);
                        std::memcpy(want, mem, sizeof mem);
                        u1* src = mem + 64 + src_off;
                        u1* dst = src + shift;
                        std::memmove(want + (dst - mem), want + (src - mem), count * size);
                        const u1* s_arg = backward ? src + count * size : src;
                        u1* d_arg = backward ? dst + count * size : dst;
                        ASSERT_EQ(rtt_call_copy(fn, s_arg, d_arg, count), 1);
                        ASSERT_EQ(std::memcmp(mem, want, sizeof mem), 0)
                            << "size " << size << (backward ? " backward" : " forward") << " count " << count
                            << " src+" << src_off << " shift " << shift;
                    }
                }
            }
        }
    }
}

}  // namespace
