// Array access and bounds checks, executed: each case builds one quadruple
// over locals (or constants), runs its generator through the register
// manager, places the raise paths after a jump over them, runs the code and
// checks the element, the result local, or the operand the raiser received.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "regman/reg_test_util.h"
#include "codegen/gen/gen_arith.h"

__attribute__((weak)) s4 orva_processor_cmov_support = 0;

namespace {

// Raiser stand-ins: record the code and edx (the index of an array-bounds
// raise) of the first raise, then return; the code after the raise path
// (further raise paths, then the harness's epilogue) runs on.
extern "C" u4 raised_code, raised_edx;
u4 raised_code, raised_edx;
extern "C" void fake_raise_bounds(void);
extern "C" void fake_raise_null(void);
asm(".text\n"
    "fake_raise_bounds:\n"
    "  cmpl $0, raised_code\n"
    "  jne 1f\n"
    "  movl %edx, raised_edx\n"
    "  movl $0xE0000002, raised_code\n"
    "1: ret\n"
    "fake_raise_null:\n"
    "  cmpl $0, raised_code\n"
    "  jne 1f\n"
    "  movl $0xE000000D, raised_code\n"
    "1: ret\n");

void* fake_decode[160];

using s8 = int64_t;
constexpr int NLOCALS = 8;

struct run {
    rm_fixture f;
    quadruple q;
    quadruple* qp;
    cg_operands o;
    machine in;

    void setup(u1 opcode, u2 subcode)
    {
        rm_setup(&f, 4, NLOCALS);
        init_test_and_throw_exception(&f.cg);
        std::memset(&q, 0, sizeof q);
        q.opcode = opcode;
        q.subcode = subcode;
        qp = &q;
        std::memset(&o, 0, sizeof o);
        for (auto& r : o.r)
            r = CG_EMPTY_OPERAND;
        for (auto& r : o.x)
            r = CG_EMPTY_OPERAND;
        in = {};
        for (int r = 0; r < 7; r++)
            in.reg[r] = 0xDEAD0000u + (u4)r;
        raised_code = 0;
        raised_edx = 0;
    }
    void set_local(int l, u4 v) { in.frame[frame_word_of_local(l)] = v; }
    // Writes back the registers, jumps over the raise paths and runs.
    machine go()
    {
        _flush_all_int_regs(&f.cg, 0);
        u1* over = f.cg.code;
        _gen_jmpcc(&f.cg, COND_ALWAYS, UNRESOLVED_TARGET, 2);
        gen_call_rtlib_to_throw_exception(&f.cg, 0, 0);
        cg_write32(over + 1, (u4)(f.cg.code - (over + 5)));
        machine out;
        rm_run(&f, in, &out, 0);
        return out;
    }
};

// An array in memory as compiled code sees it: length, header, elements.
struct test_array {
    alignas(8) u1 bytes[8 + 64];
    void init(u4 length)
    {
        std::memset(bytes, 0xA5, sizeof bytes);
        std::memcpy(bytes, &length, 4);
        u4 header = 2;
        std::memcpy(bytes + 4, &header, 4);
    }
    u4 address() { return (u4)(uintptr_t)bytes; }
};

reg_operand operand(bool constant, int local, s4 value)
{
    return constant ? const_op(value) : local_op(local);
}

}  // namespace

extern "C" void** _GET_DECODE_TABLE_BASE(void)
{
    fake_decode[44] = reinterpret_cast<void*>(fake_raise_bounds);
    fake_decode[59] = reinterpret_cast<void*>(fake_raise_null);
    return fake_decode;
}

// Unsigned compare (a negative index fails), and the raise path reports the
// index in every operand form.  Fault guarded: with a constant length the
// compare's immediate is the length, yet the message must name the index.
TEST(ArrayBounds, CheckRaisesWithTheIndex)
{
    struct bounds_case {
        bool index_const, length_const;
        s4 index, length;
    };
    const bounds_case cases[] = {
        {false, false, 3, 4}, {false, false, 4, 4}, {false, false, -1, 4}, {false, false, 0, 0},
        {true, false, 0, 4},  {true, false, 4, 4},  {true, false, -1, 4},  {true, false, 0, 0},
        {false, true, 3, 4},  {false, true, 7, 4},  {false, true, -5, 4},  {true, true, 1, 4},
        {true, true, 5, 4},   {true, true, -1, 4},
    };
    static run t;
    for (const bounds_case& c : cases) {
        t.setup(OPC_SIZECHECK, 0);
        t.o.r[2] = operand(c.index_const, 1, c.index);
        t.o.r[4] = operand(c.length_const, 2, c.length);
        t.set_local(1, (u4)c.index);
        t.set_local(2, (u4)c.length);
        gen_sizecheck(&t.f.cg, &t.qp, &t.o);
        t.go();
        bool fails = (u4)c.index >= (u4)c.length;
        SCOPED_TRACE(testing::Message() << "index " << c.index << (c.index_const ? " const" : "") << ", length "
                                        << c.length << (c.length_const ? " const" : ""));
        EXPECT_EQ(raised_code, fails ? 0xE0000002u : 0u);
        if (fails)
            EXPECT_EQ((s4)raised_edx, c.index);
    }
}

// A range check covers index + low .. index + high, both ends, exactly: the
// array-check pass merges a[i], a[i + 1], a[i + 2] into one of them, so
// checking the first index alone (as this generator once did) let a[i + 2]
// past the end.  Indexes at the ends of the int range must not wrap into a
// passing compare.  The raise reports the end that failed (the low end first).
TEST(ArrayBounds, RangeCheckCoversBothEnds)
{
    struct range_case {
        bool index_const, length_const;
        s4 index, low, high, length;
    };
    const range_case cases[] = {
        {false, false, 0, 0, 2, 3},          {false, false, 1, 0, 2, 3},
        {false, false, -1, 0, 2, 3},         {false, false, 1, -1, 1, 3},
        {false, false, 0, -1, 1, 3},         {false, false, 2, -2, -1, 3},
        {false, false, 1, -2, -1, 3},        {false, false, 5, 1, 1, 6},
        {false, false, 5, 1, 1, 7},          {false, false, -3, 3, 5, 6},
        {false, false, -4, 3, 5, 6},         {false, false, 0x7FFFFFFF, 1, 2, 100},
        {false, false, 0x7FFFFFFF, -128, 127, 0x7FFFFFFF},
        {false, false, (s4)0x80000000, -1, 0, 100}, {false, false, (s4)0x80000005, -128, -120, 0x7FFFFFFF},
        {false, true, 3, 0, 1, 5},           {false, true, 4, 0, 1, 5},
        {false, true, 2, -3, 0, 5},          {true, false, 2, 0, 2, 5},
        {true, false, 3, 0, 2, 5},           {true, false, 1, -2, 0, 5},
        {true, true, 1, 1, 3, 5},            {true, true, 2, 1, 3, 5},
    };
    static run t;
    for (const range_case& c : cases) {
        t.setup(OPC_SIZECHECK_RANGE, 0);
        quad_set_range(&t.q, c.low, c.high);
        t.o.r[2] = operand(c.index_const, 1, c.index);
        t.o.r[4] = operand(c.length_const, 2, c.length);
        t.set_local(1, (u4)c.index);
        t.set_local(2, (u4)c.length);
        gen_sizecheck_range(&t.f.cg, &t.qp, &t.o);
        t.go();
        s8 first = (s8)c.index + c.low, last = (s8)c.index + c.high;
        bool low_fails = first < 0 || first >= c.length;
        bool fails = low_fails || last >= c.length;
        SCOPED_TRACE(testing::Message() << "index " << c.index << (c.index_const ? " const" : "") << " + "
                                        << c.low << ".." << c.high << ", length " << c.length
                                        << (c.length_const ? " const" : ""));
        EXPECT_EQ(raised_code, fails ? 0xE0000002u : 0u);
        if (fails)
            EXPECT_EQ((s4)raised_edx, (s4)(u4)(low_fails ? first : last));
    }
}

// Two checks in one block that both can fail get a raise path each, and the
// one that fails reports its own index.
TEST(ArrayBounds, EachCheckHasItsOwnRaisePath)
{
    static run t;
    for (int failing = 0; failing < 2; failing++) {
        t.setup(OPC_SIZECHECK, 0);
        t.set_local(1, failing == 0 ? 9u : 1u);
        t.set_local(2, failing == 1 ? 11u : 2u);
        t.set_local(3, 4);
        t.o.r[2] = local_op(1);
        t.o.r[4] = local_op(3);
        gen_sizecheck(&t.f.cg, &t.qp, &t.o);
        t.o.r[2] = local_op(2);
        gen_sizecheck(&t.f.cg, &t.qp, &t.o);
        t.go();
        EXPECT_EQ(raised_code, 0xE0000002u);
        EXPECT_EQ(raised_edx, failing == 0 ? 9u : 11u);
    }
}

// Loads of every element size with sign or zero extension, through a
// register index and a constant one.
TEST(ArrayAccess, LoadsOfEveryElementType)
{
    struct load_case {
        u1 opcode;
        u2 kind;
        int size;
        u8 raw;        // the element's bytes
        s4 expect;     // the Java value
    };
    const load_case cases[] = {
        {OPC_IALOAD, 1, 4, 0x80000001u, (s4)0x80000001},
        {OPC_IALOAD, 3, 1, 0x80, -128},
        {OPC_IALOAD, 3, 1, 0x7F, 127},
        {OPC_IALOAD, 4, 2, 0x8000, -32768},
        {OPC_IALOAD, 5, 2, 0x8000, 32768},
        {OPC_IALOAD, 5, 2, 0xFFFF, 65535},
        {OPC_AALOAD, 2, 4, 0x12345678, 0x12345678},
    };
    static run t;
    static test_array a;
    for (const load_case& c : cases)
        for (int index_const = 0; index_const < 2; index_const++) {
            const u4 index = 3;
            a.init(8);
            std::memcpy(a.bytes + 8 + index * (u4)c.size, &c.raw, (size_t)c.size);
            t.setup(c.opcode, c.kind);
            t.o.r[0] = local_op(0);
            t.o.r[2] = local_op(1);
            t.o.r[4] = operand(index_const != 0, 2, (s4)index);
            t.set_local(1, a.address());
            t.set_local(2, index);
            gen_iaload(&t.f.cg, &t.qp, &t.o);
            machine out = t.go();
            EXPECT_EQ((s4)out.frame[frame_word_of_local(0)], c.expect)
                << "opcode " << (int)c.opcode << " kind " << c.kind << (index_const ? " const index" : "");
        }
}

// Stores of every element size from a register and from a constant (0 in
// an int or char element goes through a register), leaving the neighbours
// alone; long elements in two words.
TEST(ArrayAccess, StoresOfEveryElementType)
{
    struct store_case {
        u2 kind;
        int size;
        s4 value;
    };
    const store_case cases[] = {{1, 4, -7}, {1, 4, 0}, {3, 1, -2}, {3, 1, 0}, {4, 2, -3}, {5, 2, 0xFFFF}, {5, 2, 0}};
    static run t;
    static test_array a;
    for (const store_case& c : cases)
        for (int value_const = 0; value_const < 2; value_const++)
            for (int index_const = 0; index_const < 2; index_const++) {
                const u4 index = 2;
                a.init(8);
                t.setup(OPC_IASTORE, c.kind);
                t.o.list[0] = local_op(1);
                t.o.list[1] = operand(index_const != 0, 2, (s4)index);
                t.o.list[2] = operand(value_const != 0, 3, c.value);
                t.o.list_n = 3;
                t.set_local(1, a.address());
                t.set_local(2, index);
                t.set_local(3, (u4)c.value);
                gen_iastore(&t.f.cg, &t.qp, &t.o);
                t.go();
                SCOPED_TRACE(testing::Message() << "kind " << c.kind << " value " << c.value
                                                << (value_const ? " const" : "") << (index_const ? " const index" : ""));
                u1 expect[72];
                std::memset(expect, 0xA5, sizeof expect);
                u4 length = 8, header = 2;
                std::memcpy(expect, &length, 4);
                std::memcpy(expect + 4, &header, 4);
                std::memcpy(expect + 8 + index * (u4)c.size, &c.value, (size_t)c.size);
                EXPECT_EQ(std::memcmp(a.bytes, expect, sizeof expect), 0);
            }
    // long: both words, from registers and from a constant.
    for (int value_const = 0; value_const < 2; value_const++) {
        a.init(4);
        t.setup(OPC_LASTORE, 0);
        const s8 v = (s8)0xF123456789ABCDEFull;
        t.o.list[0] = local_op(1);
        t.o.list[1] = local_op(2);
        if (value_const) {
            t.o.list[2] = const_op((s4)(u4)v);
            t.o.list[3] = const_op((s4)(u4)((u8)v >> 32));
        } else {
            t.o.list[2] = local_op(4);
            t.o.list[3] = local_op(3);
        }
        t.o.list_n = 4;
        t.set_local(1, a.address());
        t.set_local(2, 1);
        t.set_local(4, (u4)v);
        t.set_local(3, (u4)((u8)v >> 32));
        gen_lastore(&t.f.cg, &t.qp, &t.o);
        t.go();
        s8 stored;
        std::memcpy(&stored, a.bytes + 8 + 8, 8);
        EXPECT_EQ(stored, v) << (value_const ? "const" : "registers");
    }
}

// The length load and a store through the null constant (which raises
// NullPointerException instead of writing).
TEST(ArrayAccess, LengthAndNullConstantStore)
{
    static run t;
    static test_array a;
    a.init(37);
    t.setup(OPC_ARRAYLENGTH, 0);
    t.o.r[0] = local_op(0);
    t.o.r[2] = local_op(1);
    t.set_local(1, a.address());
    gen_arraylength(&t.f.cg, &t.qp, &t.o);
    machine out = t.go();
    EXPECT_EQ(out.frame[frame_word_of_local(0)], 37u);

    t.setup(OPC_IASTORE, 1);
    t.o.list[0] = const_op(0);
    t.o.list[1] = const_op(0);
    t.o.list[2] = const_op(5);
    t.o.list_n = 3;
    gen_iastore(&t.f.cg, &t.qp, &t.o);
    t.go();
    EXPECT_EQ(raised_code, 0xE000000Du);
}
