// The parts of the class-library natives that need no running VM: the text
// conversions behind Double/Float.toString and parseDouble/parseFloat, and
// the j* math functions shared with compiled code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "jmath.h"
#include "vm.h"

namespace {

double dbits(uint64_t b)
{
    double d;
    memcpy(&d, &b, sizeof d);
    return d;
}

float fbits(uint32_t b)
{
    float f;
    memcpy(&f, &b, sizeof f);
    return f;
}

uint64_t bits(double d)
{
    uint64_t b;
    memcpy(&b, &d, sizeof b);
    return b;
}

std::string dtext(double d)
{
    char buf[VM_FP_TEXT_MAX];
    int n = vm_double_to_string(d, buf);
    EXPECT_EQ(n, static_cast<int>(strlen(buf)));
    return buf;
}

std::string ftext(float f)
{
    char buf[VM_FP_TEXT_MAX];
    int n = vm_float_to_string(f, buf);
    EXPECT_EQ(n, static_cast<int>(strlen(buf)));
    return buf;
}

std::u16string u16(const char* s)
{
    std::u16string r;
    for (; *s; s++)
        r.push_back(static_cast<unsigned char>(*s));
    return r;
}

}  // namespace

// Shortest digits and Java's layout; the expected texts are what Java prints
// (where older JDKs print more digits than needed, the shortest form is kept).
TEST(FpFormat, DoubleToString)
{
    struct { uint64_t bits; const char* text; } cases[] = {
        {bits(0.1), "0.1"},
        {bits(1.0), "1.0"},
        {bits(-1.0), "-1.0"},
        {bits(100.0), "100.0"},
        {bits(1e10), "1.0E10"},
        {bits(1e-5), "1.0E-5"},
        {bits(1234567.0), "1234567.0"},
        {bits(9999999.0), "9999999.0"},
        {bits(1e7), "1.0E7"},
        {bits(12345678.0), "1.2345678E7"},
        {bits(0.001), "0.001"},
        {bits(9.999999e-4), "9.999999E-4"},
        {bits(0.0012345), "0.0012345"},
        {bits(123.456), "123.456"},
        {0x8000000000000000ull, "-0.0"},
        {0, "0.0"},
        {0x7FF8000000000000ull, "NaN"},
        {0xFFF8000000000001ull, "NaN"},
        {0x7FF0000000000000ull, "Infinity"},
        {0xFFF0000000000000ull, "-Infinity"},
        {0x7FEFFFFFFFFFFFFFull, "1.7976931348623157E308"},     // Double.MAX_VALUE
        {1, "4.9E-324"},                                        // Double.MIN_VALUE
        {2, "9.9E-324"},        // one digit reads back; the closer two-digit decimal wins
        {3, "1.5E-323"},
        {0x0010000000000000ull, "2.2250738585072014E-308"},     // Double.MIN_NORMAL
        {0x000FFFFFFFFFFFFFull, "2.225073858507201E-308"},      // largest subnormal
        {0x3FE5555555555555ull, "0.6666666666666666"},          // 2/3.0
        {0x3FD5555555555555ull, "0.3333333333333333"},          // 1/3.0
        {0x3FD3333333333334ull, "0.30000000000000004"},         // 0.1 + 0.2
        {0x4040AAAAAAAAAAABull, "33.333333333333336"},          // 100/3.0
        {0x43E0000000000000ull, "9.223372036854776E18"},        // 2^63
        {0x44B52D02C7E14AF6ull, "1.0E23"},
        {0x43A05F35D63DD86Aull, "5.898604108356129E17"},        // JDK 17: ...1293E17
        {0x3F50624DD2F1A9FCull, "0.001"},
        {0x3F50624DD2F1A9FBull, "9.999999999999998E-4"},
        {0x416312D000000000ull, "1.0E7"},
        {0x416312CFFFFFFFFFull, "9999999.999999998"},
        {0x4340000000000000ull, "9.007199254740992E15"},        // 2^53
        {0x3CB0000000000000ull, "2.220446049250313E-16"},       // 2^-52
    };
    for (const auto& c : cases)
        EXPECT_EQ(dtext(dbits(c.bits)), c.text) << std::hex << c.bits;
}

TEST(FpFormat, FloatToString)
{
    struct { uint32_t bits; const char* text; } cases[] = {
        {0x3DCCCCCDu, "0.1"},
        {0x3F800000u, "1.0"},
        {0x42C80000u, "100.0"},
        {0x501502F9u, "1.0E10"},
        {0x3727C5ACu, "1.0E-5"},
        {0x4B18967Fu, "9999999.0"},
        {0x4B189680u, "1.0E7"},
        {0x4B800000u, "1.6777216E7"},
        {0x3A83126Fu, "0.001"},
        {0x3EAAAAABu, "0.33333334"},
        {0x3F2AAAABu, "0.6666667"},
        {0x80000000u, "-0.0"},
        {0x7FC00000u, "NaN"},
        {0x7F800000u, "Infinity"},
        {0xFF800000u, "-Infinity"},
        {0x00000001u, "1.4E-45"},                               // Float.MIN_VALUE
        {0x00800000u, "1.1754944E-38"},                         // Float.MIN_NORMAL; JDK 17: 1.17549435E-38
        {0x7F7FFFFFu, "3.4028235E38"},                          // Float.MAX_VALUE
        {0x6A009207u, "3.8858025E25"},                          // closest of two 8-digit decimals
        {0xD7324AD6u, "-1.9603449E14"},                         // JDK 17: -1.96034488E14
    };
    for (const auto& c : cases)
        EXPECT_EQ(ftext(fbits(c.bits)), c.text) << std::hex << c.bits;
}

// Every finite value reads back exactly from its text, in both widths, over
// a fixed pseudo-random sample of bit patterns (normal and subnormal).
TEST(FpFormat, TextReadsBack)
{
    uint64_t seed = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 4000; i++) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        uint64_t b = (i & 3) == 3 ? (seed >> 12) : seed;
        double d = dbits(b);
        if (std::isfinite(d)) {
            std::string t = dtext(d);
            EXPECT_EQ(bits(strtod(t.c_str(), nullptr)), b) << t;
        }
        uint32_t fb = static_cast<uint32_t>(seed >> 32);
        if ((i & 3) == 2)
            fb &= 0x807FFFFFu;
        float f = fbits(fb);
        if (std::isfinite(f)) {
            std::string t = ftext(f);
            float back = strtof(t.c_str(), nullptr);
            EXPECT_EQ(memcmp(&back, &f, sizeof f), 0) << t;
        }
    }
}

TEST(FpParse, JavaGrammar)
{
    struct { const char* text; int rc; uint64_t dbits; uint32_t fbits; } cases[] = {
        {"", FP_PARSE_EMPTY, 0, 0},
        {"  ", FP_PARSE_EMPTY, 0, 0},
        {" 1e ", FP_PARSE_BAD, 0, 0},
        {"1.0x", FP_PARSE_BAD, 0, 0},
        {".", FP_PARSE_BAD, 0, 0},
        {"1.", FP_PARSE_OK, 0x3FF0000000000000ull, 0x3F800000u},
        {".5", FP_PARSE_OK, 0x3FE0000000000000ull, 0x3F000000u},
        {"+.5e-3", FP_PARSE_OK, 0x3F40624DD2F1A9FCull, 0x3A03126Fu},
        {"-0", FP_PARSE_OK, 0x8000000000000000ull, 0x80000000u},
        {"NaN", FP_PARSE_OK, 0x7FF8000000000000ull, 0x7FC00000u},
        {"-NaN", FP_PARSE_OK, 0x7FF8000000000000ull, 0x7FC00000u},
        {"+Infinity", FP_PARSE_OK, 0x7FF0000000000000ull, 0x7F800000u},
        {"-Infinity", FP_PARSE_OK, 0xFFF0000000000000ull, 0xFF800000u},
        {"Infinityf", FP_PARSE_BAD, 0, 0},
        {"infinity", FP_PARSE_BAD, 0, 0},
        {"nan", FP_PARSE_BAD, 0, 0},
        {"1e5f", FP_PARSE_OK, 0x40F86A0000000000ull, 0x47C35000u},
        {"1e5d", FP_PARSE_OK, 0x40F86A0000000000ull, 0x47C35000u},
        {"1D", FP_PARSE_OK, 0x3FF0000000000000ull, 0x3F800000u},
        {"1f5", FP_PARSE_BAD, 0, 0},
        {"1dd", FP_PARSE_BAD, 0, 0},
        {"0x1.8p1", FP_PARSE_OK, 0x4008000000000000ull, 0x40400000u},
        {"0x.8p1f", FP_PARSE_OK, 0x3FF0000000000000ull, 0x3F800000u},
        {"0x1p", FP_PARSE_BAD, 0, 0},
        {"0x1.8", FP_PARSE_BAD, 0, 0},
        {"0x", FP_PARSE_BAD, 0, 0},
        {"1_0", FP_PARSE_BAD, 0, 0},
        {"1e+", FP_PARSE_BAD, 0, 0},
        {"1ee5", FP_PARSE_BAD, 0, 0},
        {"e5", FP_PARSE_BAD, 0, 0},
        {"+", FP_PARSE_BAD, 0, 0},
        {"- 1", FP_PARSE_BAD, 0, 0},
        {"1.2.3", FP_PARSE_MULTIPLE_POINTS, 0, 0},
        {"..", FP_PARSE_MULTIPLE_POINTS, 0, 0},
        {" -1.2.f ", FP_PARSE_MULTIPLE_POINTS, 0, 0},
        {"1.2e3.4", FP_PARSE_BAD, 0, 0},
        {"1.2x.3", FP_PARSE_BAD, 0, 0},
        {"0x1..p1", FP_PARSE_BAD, 0, 0},
        {"\t12.5\n", FP_PARSE_OK, 0x4029000000000000ull, 0x41480000u},
        {"1.5e400", FP_PARSE_OK, 0x7FF0000000000000ull, 0x7F800000u},
        {"1e-400", FP_PARSE_OK, 0, 0},
        {"  -1.0E-5D  ", FP_PARSE_OK, 0xBEE4F8B588E368F1ull, 0xB727C5ACu},
        {"0x1.fffffeP+127", FP_PARSE_OK, 0x47EFFFFFE0000000ull, 0x7F7FFFFFu},
        {"3.4028236e38", FP_PARSE_OK, 0x47EFFFFFF514A7BCull, 0x7F800000u},
        {"1.4e-45", FP_PARSE_OK, 0x369FF868BF4D956Aull, 0x00000001u},
        {"7e-46", FP_PARSE_OK, 0x368FF868BF4D956Aull, 0x00000000u},
        {"99999999", FP_PARSE_OK, 0x4197D783FC000000ull, 0x4CBEBC20u},   // float rounds once
        {"1.00000017881393432617187499", FP_PARSE_OK, 0x3FF0000030000000ull, 0x3F800001u},
    };
    for (const auto& c : cases) {
        std::u16string s = u16(c.text);
        const u2* chars = reinterpret_cast<const u2*>(s.data());
        s4 n = static_cast<s4>(s.size());
        double d = 0;
        float f = 0;
        EXPECT_EQ(vm_parse_double(chars, n, &d, nullptr, nullptr), c.rc) << c.text;
        EXPECT_EQ(vm_parse_float(chars, n, &f, nullptr, nullptr), c.rc) << c.text;
        if (c.rc == FP_PARSE_OK) {
            uint32_t fb;
            memcpy(&fb, &f, sizeof fb);
            EXPECT_EQ(bits(d), c.dbits) << c.text;
            EXPECT_EQ(fb, c.fbits) << c.text;
        }
    }
}

// The message quotes the trimmed text; non-ASCII characters are rejected,
// never truncated into something that parses.
TEST(FpParse, TrimRangeAndWideChars)
{
    std::u16string s = u"\t 1e \n";
    s4 b = -1, e = -1;
    double d;
    EXPECT_EQ(vm_parse_double(reinterpret_cast<const u2*>(s.data()), static_cast<s4>(s.size()), &d, &b, &e),
              FP_PARSE_BAD);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(e, 4);
    std::u16string w = u"1\u0131";      // U+0131 would become '1' if narrowed to a byte
    EXPECT_EQ(vm_parse_double(reinterpret_cast<const u2*>(w.data()), 2, &d, nullptr, nullptr), FP_PARSE_BAD);
    std::u16string w2 = u"\u0131";
    EXPECT_EQ(vm_parse_double(reinterpret_cast<const u2*>(w2.data()), 1, &d, nullptr, nullptr), FP_PARSE_BAD);
}

// Java's special cases where C99 differs, and exact rounding functions.
TEST(JMath, JavaSpecialCases)
{
    const double nan = NAN, inf = INFINITY;
    EXPECT_TRUE(std::isnan(jpow(1.0, nan)));        // C99: 1
    EXPECT_TRUE(std::isnan(jpow(1.0, inf)));        // C99: 1
    EXPECT_TRUE(std::isnan(jpow(-1.0, -inf)));      // C99: 1
    EXPECT_EQ(jpow(nan, 0.0), 1.0);
    EXPECT_EQ(jpow(nan, -0.0), 1.0);
    EXPECT_TRUE(std::isnan(jpow(-2.0, 0.5)));
    EXPECT_EQ(jpow(-0.0, -3.0), -inf);
    EXPECT_EQ(jpow(2.0, 10.0), 1024.0);
    EXPECT_EQ(jpow(0.5, inf), 0.0);

    struct { double x, rint, floor, ceil; } r[] = {
        {2.5, 2.0, 2.0, 3.0},
        {3.5, 4.0, 3.0, 4.0},
        {-2.5, -2.0, -3.0, -2.0},
        {0.5, 0.0, 0.0, 1.0},
        {-0.5, -0.0, -1.0, -0.0},
        {-0.3, -0.0, -1.0, -0.0},
        {0.7, 1.0, 0.0, 1.0},
        {-1.5, -2.0, -2.0, -1.0},
        {1e300, 1e300, 1e300, 1e300},
        {4503599627370495.5, 4503599627370496.0, 4503599627370495.0, 4503599627370496.0},
        {-4503599627370495.5, -4503599627370496.0, -4503599627370496.0, -4503599627370495.0},
        {0.49999999999999994, 0.0, 0.0, 1.0},
        {-0.0, -0.0, -0.0, -0.0},
        {0.0, 0.0, 0.0, 0.0},
        {-inf, -inf, -inf, -inf},
    };
    for (const auto& c : r) {
        EXPECT_EQ(bits(jrint(c.x)), bits(c.rint)) << c.x;
        EXPECT_EQ(bits(jfloor(c.x)), bits(c.floor)) << c.x;
        EXPECT_EQ(bits(jceil(c.x)), bits(c.ceil)) << c.x;
    }
    EXPECT_TRUE(std::isnan(jrint(nan)) && std::isnan(jfloor(nan)) && std::isnan(jceil(nan)));

    EXPECT_EQ(bits(jfabs(-0.0)), bits(0.0));
    EXPECT_EQ(jfabs(-inf), inf);
    EXPECT_TRUE(std::isnan(jsqrt(-1.0)));
    EXPECT_EQ(bits(jsqrt(-0.0)), bits(-0.0));
    EXPECT_EQ(jsqrt(2.0), 1.4142135623730951);
    EXPECT_EQ(jmod(5.5, 2.0), 1.5);
    EXPECT_EQ(jmod(-5.5, 2.0), -1.5);
    EXPECT_EQ(jmod(5.0, inf), 5.0);
    EXPECT_TRUE(std::isnan(jmod(5.0, 0.0)));
    EXPECT_EQ(jremainder(5.5, 2.0), -0.5);
    EXPECT_EQ(jremainder(3.0, 2.0), -1.0);
    EXPECT_EQ(jatan2(0.0, -1.0), 3.141592653589793);
    EXPECT_EQ(bits(jatan2(-0.0, 1.0)), bits(-0.0));
    EXPECT_EQ(jcbrt(-27.0), -3.0);
    EXPECT_EQ(jlog10(1000.0), 3.0);
    EXPECT_TRUE(std::isnan(jlog(-1.0)));
    EXPECT_EQ(jlog(0.0), -inf);
    EXPECT_TRUE(std::isnan(jsin(inf)));
}

// Compiled code may call the functions with 24-bit precision control in
// force; the results must not change and the caller's word must survive.
// The call is made from assembly: the arguments are copied with integer
// moves and the result is stored before anything else touches the x87
// (qemu's x87 rounds even plain loads to the precision in force).
struct cw_call {
    void* fn;
    uint16_t cw;            // control word for the call
    uint16_t after;         // control word found after it
    uint16_t standard;      // 0x037F, restored before the result is stored
    uint16_t pad;
    double args[2];
    double result;
};

static void call_under_cw(cw_call* c)
{
    __asm__ volatile(
        "subl $16, %%esp\n\t"
        "movl 12(%%edi), %%eax\n\t"
        "movl %%eax, 0(%%esp)\n\t"
        "movl 16(%%edi), %%eax\n\t"
        "movl %%eax, 4(%%esp)\n\t"
        "movl 20(%%edi), %%eax\n\t"
        "movl %%eax, 8(%%esp)\n\t"
        "movl 24(%%edi), %%eax\n\t"
        "movl %%eax, 12(%%esp)\n\t"
        "fldcw 4(%%edi)\n\t"
        "call *0(%%edi)\n\t"
        "fnstcw 6(%%edi)\n\t"
        "fldcw 8(%%edi)\n\t"
        "fstpl 28(%%edi)\n\t"
        "addl $16, %%esp"
        :
        : "D"(c)
        : "eax", "ecx", "edx", "memory", "cc");
}

TEST(JMath, IndependentOfX87ControlWord)
{
    static_assert(offsetof(cw_call, args) == 12 && offsetof(cw_call, result) == 28);
    struct { void* f; double x, y; } cases[] = {
        {(void*)jsin, 0.7, 0}, {(void*)jcos, 0.7, 0}, {(void*)jtan, 0.7, 0},
        {(void*)jasin, 0.3, 0}, {(void*)jacos, 0.3, 0}, {(void*)jatan, 0.3, 0},
        {(void*)jexp, 1.3, 0}, {(void*)jlog, 1.3, 0}, {(void*)jlog10, 1.3, 0},
        {(void*)jsinh, 1.3, 0}, {(void*)jcosh, 1.3, 0}, {(void*)jtanh, 0.3, 0},
        {(void*)jcbrt, 1.3, 0}, {(void*)jsin, 1e22, 0}, {(void*)jpow, 1.3, 2.7},
        {(void*)jatan2, 0.3, 0.7}, {(void*)jmod, 10.3, 0.7}, {(void*)jremainder, 10.3, 0.7},
        {(void*)jrint, 2.5, 0}, {(void*)jsqrt, 2.0, 0},
    };
    const uint16_t control_words[] = {0x037F, 0x027F, 0x007F, 0x0C7F};
    for (const auto& c : cases) {
        double expected = 0;
        for (uint16_t cw : control_words) {
            cw_call call = {c.f, cw, 0, 0x037F, 0, {c.x, c.y}, 0};
            call_under_cw(&call);
            EXPECT_EQ(call.after, cw);
            if (cw == 0x037F)
                expected = call.result;
            EXPECT_EQ(bits(call.result), bits(expected)) << c.x << " cw " << std::hex << cw;
        }
    }
}
