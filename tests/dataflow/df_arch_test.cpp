// The transformation for IA-32: the shift-term decomposition of multipliers,
// and whole methods run through both drivers and then interpreted from their
// final quadruples, which must compute what the Java code computes.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <random>
#include <string>

#include "df_graph.h"
#include "df_vm_env.h"
#include "driver/driver.h"
#include "driver/vmlink.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "inline/inline.h"
#include "quad_interp.h"

namespace {

u4 sum_of_terms(const u1* shifts, const int8_t* signs, int n)
{
    u4 sum = 0;
    for (int i = 0; i < n; i++) {
        u4 term = shifts[i] >= 32 ? 0 : 1u << shifts[i];
        sum += signs[i] < 0 ? 0u - term : term;
    }
    return sum;
}

// Guards the multiplier decomposition: the terms must add up to the
// multiplier modulo 2^32 for every multiplier, 0 and -1 included (a run of
// ones up to bit 31 once lost its terms).
TEST(ArchDecompose, TermsSumToTheMultiplier)
{
    std::mt19937 rng(20240613);
    std::vector<u4> multipliers = {0, 1, 2, 3, 5, 7, 8, 10, 11, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFEu,
                                   0xC0000000u, 0xE0000001u, 0xAAAAAAAAu, 0x55555555u, 0xF0F0F0F0u};
    for (u4 k = 0; k < 32; k++) {
        multipliers.push_back(1u << k);
        multipliers.push_back((1u << k) - 1);
        multipliers.push_back(0u - (1u << k));
    }
    for (int i = 0; i < 20000; i++)
        multipliers.push_back(rng());
    for (u4 c : multipliers) {
        u1 shifts[40];
        int8_t signs[40];
        int n = decompose_multiplier(shifts, signs, c);
        ASSERT_LE(n, 32) << std::hex << c;
        ASSERT_EQ(sum_of_terms(shifts, signs, n), c) << std::hex << c;
    }
}

// The term shapes the multiplication rewrite relies on.
TEST(ArchDecompose, SmallMultipliers)
{
    struct row {
        u4 c;
        int n;
        u1 s0;
        int8_t g0;
        u1 s1;
        int8_t g1;
    };
    const row rows[] = {
        {8, 1, 3, 1, 0, 0},       // a SHL 3
        {7, 2, 0, -1, 3, 1},      // (a SHL 3) - a
        {10, 2, 1, 1, 3, 1},      // (a SHL 3) + (a SHL 1)
        {0xFFFFFFFFu, 1, 0, -1, 0, 0},   // NEG a
        {0, 0, 0, 0, 0, 0},
    };
    for (const row& r : rows) {
        u1 shifts[40];
        int8_t signs[40];
        int n = decompose_multiplier(shifts, signs, r.c);
        SCOPED_TRACE(r.c);
        ASSERT_EQ(n, r.n);
        if (n >= 1) {
            EXPECT_EQ(shifts[0], r.s0);
            EXPECT_EQ(signs[0], r.g0);
        }
        if (n >= 2) {
            EXPECT_EQ(shifts[1], r.s1);
            EXPECT_EQ(signs[1], r.g1);
        }
    }
    u1 shifts[40];
    int8_t signs[40];
    EXPECT_GT(decompose_multiplier(shifts, signs, 11), 2);   // stays a multiplication
}

struct option_scope {
    u4 saved[3];
    s4 saved_type;
    option_scope(u4 w1, u4 w2, u4 w3, s4 processor)
    {
        saved[0] = compile_option_flag;
        saved[1] = compile_option2_flag;
        saved[2] = compile_option3_flag;
        saved_type = orva_processor_type;
        compile_option_flag = w1;
        compile_option2_flag = w2;
        compile_option3_flag = w3;
        orva_processor_type = processor;
    }
    ~option_scope()
    {
        compile_option_flag = saved[0];
        compile_option2_flag = saved[1];
        compile_option3_flag = saved[2];
        orva_processor_type = saved_type;
    }
};

// Both drivers on one fixture method; `inspect` sees the final quadruples.
std::string compile_and(EE* ee, const char* name, const char* sig,
                        const std::function<void(method_compile_context*)>& inspect)
{
    methodblock* mb = dftest::find_method(dftest::find_class(ee, "DfArith", true), name, sig);
    if (mb == nullptr)
        return "no method";
    method_unresolved_info info;
    initialize_method_unresolved_info(&info);
    resolve_method_call_graph(mb, &info, ee);
    method_compile_context storage;
    memset(&storage, 0, sizeof storage);
    storage.mb = mb;
    method_compile_context* m = &storage;
    std::string why;
    if (init_method_compile_context(&m, mb, nullptr, ee) != 0) {
        free_method_unresolved_info(&info);
        return "context";
    }
    m->unresolved_info = &info;
    m->state_flags |= MCC_MEANTIME_ABSENT | MCC_LIVENESS_UNAVAILABLE;
    int error = QOPT_ERR_PRESET;
    if (JITTraverseByteCode(m, ee, 0) != 0)
        why = "front end";
    else if (bytecode_optimization(m, 0, ee) != 1)
        why = "bytecode driver";
    else if (jit_wmem_reset(m->pool2), BB_stack_regalloc(m) == 1)
        why = "stack";
    else if (jit_wmem_reset(m->pool2), quadruple_optimization(m, &error) != 0)
        why = "quadruple driver " + std::to_string(error);
    else
        inspect(m);
    dftest::release_context(m);
    free_method_unresolved_info(&info);
    return why;
}

// The int and long two-operand operations that write a local are in the
// two-address form; "" when they all are.
std::string two_address_violation(method_compile_context* m)
{
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if (b->flags & BB_DEAD)
            continue;
        for (u4 k = 0; k < b->quad_count; k++) {
            quadruple* q = b->catbl[k];
            if (df_deleted(q) || (q->opcode != OPC_IOP2 && q->opcode != OPC_LOP2) || df_shape(q) != 2)
                continue;
            if ((q->result.kind & QK_KIND_MASK) != QK_VARIABLE || (q->flags_b & QB_NO_CODE))
                continue;
            if ((q->src1.kind & QK_KIND_MASK) != QK_VARIABLE || q->src1.number != q->result.number)
                return "block " + std::to_string(i) + " quadruple " + std::to_string(k);
        }
    }
    return "";
}

s4 java_mul_constants(s4 a)
{
    auto mul = [](s4 x, s4 c) { return static_cast<s4>(static_cast<u4>(x) * static_cast<u4>(c)); };
    s4 s = mul(a, 3);
    s ^= mul(a, 5);
    s = static_cast<s4>(static_cast<u4>(s) + static_cast<u4>(mul(a, 6)));
    s ^= mul(a, 7);
    s = static_cast<s4>(static_cast<u4>(s) + static_cast<u4>(mul(a, 8)));
    s ^= mul(a, 9);
    s = static_cast<s4>(static_cast<u4>(s) + static_cast<u4>(mul(a, 10)));
    s ^= mul(a, 11);
    s = static_cast<s4>(static_cast<u4>(s) + static_cast<u4>(mul(a, 15)));
    s ^= mul(a, 24);
    s = static_cast<s4>(static_cast<u4>(s) + static_cast<u4>(mul(a, -1)));
    s ^= mul(a, -8);
    s = static_cast<s4>(static_cast<u4>(s) + static_cast<u4>(mul(a, -7)));
    s ^= mul(a, 0);
    s = static_cast<s4>(static_cast<u4>(s) + static_cast<u4>(mul(a, 1)));
    s ^= mul(a, 65535);
    s = static_cast<s4>(static_cast<u4>(s) + static_cast<u4>(mul(a, -65535)));
    s ^= mul(a, 0x7FFF);
    s = static_cast<s4>(static_cast<u4>(s) + static_cast<u4>(mul(a, 0x8001)));
    return s;
}
u4 add(u4 a, u4 b) { return a + b; }
s4 java_mul_in_place(s4 a, s4 b)
{
    u4 x = static_cast<u4>(a) * 10u, y = static_cast<u4>(b) * static_cast<u4>(-3);
    x *= 7u;
    return static_cast<s4>(x - y);
}
s4 java_reversed(s4 a, s4 x)
{
    x = static_cast<s4>(static_cast<u4>(a) - static_cast<u4>(x));
    x = static_cast<s4>(add(static_cast<u4>(a), static_cast<u4>(x)));
    x = static_cast<s4>((static_cast<u4>(a) << 3) - static_cast<u4>(x));
    s4 d = x | 1;
    s4 q = (a == INT32_MIN && d == -1) ? a : a / d;
    return static_cast<s4>(static_cast<u4>(q) - static_cast<u4>(x));
}
u8 java_longs(s4 a, s4 b)
{
    u8 x = static_cast<u8>(static_cast<int64_t>(a)), y = static_cast<u8>(static_cast<int64_t>(b));
    x = y - x;
    y = x * 31 + y;
    x = (y ^ x) - (x << 5);
    return x + y * y;
}
s4 java_absolute(s4 a, s4 b)
{
    u4 x = a < 0 ? 0u - static_cast<u4>(a) : static_cast<u4>(a);
    x = x - static_cast<u4>(b);
    return static_cast<s4>(static_cast<s4>(x) < 0 ? 0u - x : x);
}

const s4 kArgs[][2] = {
    {0, 1}, {1, 0}, {12, 18}, {-7, 3}, {100000, 77}, {77, -1000}, {INT32_MAX, INT32_MIN}, {INT32_MIN, 5}, {-3, -3},
};

class Arch : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

// Every fixture method computes, from its final quadruples, what Java
// computes: under NALL and with every option on, on a processor where
// multiplication is rewritten and on one where it is kept; the int and long
// operations end in the two-address form.
TEST_F(Arch, RewrittenMethodsComputeTheJavaResults)
{
    struct method {
        const char* name;
        const char* sig;
        std::function<u8(s4, s4)> java;
    };
    const method methods[] = {
        {"mulConstants", "(I)I", [](s4 a, s4) { return static_cast<u8>(static_cast<u4>(java_mul_constants(a))); }},
        {"mulInPlace", "(II)I", [](s4 a, s4 b) { return static_cast<u8>(static_cast<u4>(java_mul_in_place(a, b))); }},
        {"reversed", "(II)I", [](s4 a, s4 b) { return static_cast<u8>(static_cast<u4>(java_reversed(a, b))); }},
        {"longs", "(II)J", [](s4 a, s4 b) { return java_longs(a, b); }},
        {"absolute", "(II)I", [](s4 a, s4 b) { return static_cast<u8>(static_cast<u4>(java_absolute(a, b))); }},
    };
    struct setting {
        const char* label;
        u4 w1, w2, w3;
        s4 processor;
    };
    const setting settings[] = {
        {"NALL", OPT1_NALL, OPT2_NALL, OPT3_NALL, 4},
        {"all on", 0, 0, OPT3_NNEWDFS, 4},
        {"NALL, type 5", OPT1_NALL, OPT2_NALL, OPT3_NALL, 5},
    };
    u4 compared = 0;
    dftest::run([&](EE* ee) {
        for (const setting& st : settings) {
            option_scope scope(st.w1, st.w2, st.w3, st.processor);
            for (const method& mt : methods) {
                SCOPED_TRACE(std::string(st.label) + " " + mt.name);
                bool one_arg = strcmp(mt.sig, "(I)I") == 0;
                std::string why = compile_and(ee, mt.name, mt.sig, [&](method_compile_context* m) {
                    if (st.processor != 5)
                        EXPECT_EQ(two_address_violation(m), "");
                    for (const auto& a : kArgs) {
                        u4 args[2] = {static_cast<u4>(a[0]), static_cast<u4>(a[1])};
                        quad_interp_result r = quad_interpret(m, args, one_arg ? 1 : 2, 100000);
                        ASSERT_TRUE(r.ok) << r.why;
                        u8 got = r.value[0] | static_cast<u8>(r.value[1]) << 32;
                        u8 want = mt.java(a[0], a[1]);
                        if (mt.sig[strlen(mt.sig) - 1] != 'J') {
                            got &= 0xFFFFFFFFu;
                            want &= 0xFFFFFFFFu;
                        }
                        EXPECT_EQ(got, want) << a[0] << ", " << a[1];
                        compared++;
                    }
                });
                EXPECT_EQ(why, "");
            }
        }
    });
    EXPECT_EQ(compared, 3u * 5u * (sizeof kArgs / sizeof kArgs[0]));
}

} // namespace
