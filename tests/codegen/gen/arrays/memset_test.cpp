// The array fill (gen_memset), executed over the register manager: an array
// laid out as the VM lays it (length, header, elements from + 8) between
// guard bytes, the quadruple's three operands in locals or constants, the
// fill run, and every byte compared with a reference: exactly the elements
// [first, end) hold the value, nothing around them changed.  Every element
// size, first indexes at every alignment, short ranges that end before the
// alignment steps are done, empty and reversed ranges, and a longer range.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "regman/reg_test_util.h"
#include "codegen/gen/gen_arith.h"

namespace {

constexpr int MAX_ELEMENTS = 48;
constexpr int GUARD = 16;

struct fill_case {
    const char* what;
    u2 type;        // element type code
    int size;
    u4 lo, hi;      // value word and, for 8-byte elements, the high word
};

// Value words with every byte different from the background, and negative
// byte and half-word values whose upper bits the fill must drop.
const fill_case TYPES[] = {
    {"byte", 8, 1, 0xFFFFFF80u, 0},
    {"char", 5, 2, 0xBEEF, 0},
    {"short", 9, 2, 0xFFFF8001u, 0},
    {"int", 10, 4, 0x11223344u, 0},
    {"float", 6, 4, 0x3F800000u, 0},
    {"long, equal words", 11, 8, 0xCAFEF00Du, 0xCAFEF00Du},
    {"double, two words", 7, 8, 0x01234567u, 0x89ABCDEFu},
};

// Register pressure before the fill.
enum pressure {
    NONE,
    OPERANDS_IN_STRING_REGS,   // the array, first and end cached in ecx, edi and eax
    EVERY_REG_DIRTY,           // every register holds a local not yet stored
};
constexpr int DIRTY_FIRST = 4;   // locals 4..10 in the 7 registers

struct buffer {
    alignas(8) u1 bytes[GUARD + 8 + MAX_ELEMENTS * 8 + GUARD];
    u1* object() { return bytes + GUARD; }
    void init(u4 length)
    {
        for (size_t i = 0; i < sizeof bytes; i++)
            bytes[i] = (u1)(i * 7 + 1);
        std::memcpy(object(), &length, 4);
        u4 header = 2;
        std::memcpy(object() + 4, &header, 4);
    }
};

// Brings the fixture to the state before the fill: the operands and, by the
// pressure asked for, registers holding them or dirty locals.
void prepare(rm_fixture* f, pressure p, reg_operand* array, reg_operand* lfirst, reg_operand* lend)
{
    codegen_context* cg = &f->cg;
    if (p == OPERANDS_IN_STRING_REGS) {
        reg_operand* ops[3] = {array, lfirst, lend};
        const u4 masks[3] = {0x04, 0x40, 0x01};   // ecx, edi, eax
        for (int i = 0; i < 3; i++)
            _free_int_reg(cg, _set_rd_int_oprnd(cg, ops[i], masks[i], 0, 0), 0, 0, 0);
    } else if (p == EVERY_REG_DIRTY) {
        for (int r = 0; r < 7; r++) {
            int t = _alloc_int_reg(cg, 1u << r, 0);
            _gen_move_gr_i4(cg, gid(t), 0x1000 + r);
            reg_operand l = local_op(DIRTY_FIRST + r);
            _assoc_int_oprnd(cg, &l, t, 0, 0);
            _free_int_reg(cg, t, 0, 0, 0);
        }
    }
}

void run_fill(const fill_case& c, int first, int end, bool first_const, bool end_const, pressure p)
{
    static rm_fixture f;
    static buffer a, want;
    a.init(MAX_ELEMENTS);
    want = a;
    for (int i = first; i < end; i++) {
        u1* e = want.object() + 8 + i * c.size;
        std::memcpy(e, &c.lo, (size_t)(c.size < 4 ? c.size : 4));
        if (c.size == 8)
            std::memcpy(e + 4, &c.hi, 4);
    }

    machine in = {};
    for (int r = 0; r < 7; r++)
        in.reg[r] = 0xDEAD0000u + (u4)r;
    in.frame[frame_word_of_local(1)] = (u4)(uintptr_t)a.object();
    in.frame[frame_word_of_local(2)] = (u4)first;
    in.frame[frame_word_of_local(3)] = (u4)end;

    quadruple q = {};
    q.opcode = OPC_MEMSET;
    q.subcode = c.type;
    q.value = c.lo;
    q.second = c.hi;
    quadruple* qp = &q;
    reg_operand array = local_op(1), lfirst = local_op(2), lend = local_op(3);
    cg_operands o;
    std::memset(&o, 0, sizeof o);
    o.list[0] = array;
    o.list[1] = first_const ? const_op(first) : lfirst;
    o.list[2] = end_const ? const_op(end) : lend;
    o.list_n = 3;

    // The measuring pass counts what the writing pass writes.
    u4 counted[2];
    for (int pass = 0; pass < 2; pass++) {
        rm_setup(&f, 4, 16, pass == 0 ? CG_PASS_MEASURE : CG_PASS_WRITE);
        prepare(&f, p, &array, &lfirst, &lend);
        u4 size0 = f.cg.code_size;
        u1* code0 = f.cg.code;
        ASSERT_EQ(gen_memset(&f.cg, &qp, &o), 0);
        counted[pass] = pass == 0 ? f.cg.code_size - size0 : (u4)(f.cg.code - code0);
    }
    EXPECT_EQ(counted[0], counted[1]) << "pass 1 counted another length";
    _flush_all_int_regs(&f.cg, 0);
    machine out;
    rm_run(&f, in, &out, 0);

    SCOPED_TRACE(testing::Message() << c.what << ": [" << first << (first_const ? " const" : "") << ", " << end
                                    << (end_const ? " const" : "") << ") pressure " << (int)p);
    for (size_t i = 0; i < sizeof a.bytes; i++)
        if (a.bytes[i] != want.bytes[i]) {
            ADD_FAILURE() << "byte " << (long)i - GUARD - 8 << " of the elements is " << (int)a.bytes[i]
                          << ", expected " << (int)want.bytes[i];
            break;
        }
    EXPECT_EQ(out.frame[frame_word_of_local(1)], (u4)(uintptr_t)a.object());
    EXPECT_EQ(out.frame[frame_word_of_local(2)], (u4)first);
    EXPECT_EQ(out.frame[frame_word_of_local(3)], (u4)end);
    if (p == EVERY_REG_DIRTY) {
        for (int r = 0; r < 7; r++) {
            EXPECT_EQ(out.frame[frame_word_of_local(DIRTY_FIRST + r)], 0x1000u + (u4)r) << "local " << DIRTY_FIRST + r;
        }
    }
}

}  // namespace

// Every element size, first index 0..3, lengths -1 (reversed), 0 (empty),
// 1..9 (the byte fill's alignment steps meet the end) and 37; the indexes
// in locals and as constants.
TEST(ArrayFill, FillsExactlyTheRange)
{
    const int lengths[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 37};
    for (const fill_case& c : TYPES)
        for (int first = 0; first < 4; first++)
            for (int n : lengths)
                for (int k = 0; k < 4; k++)
                    run_fill(c, first, first + n, (k & 1) != 0, (k & 2) != 0, NONE);
}

// The registers the string store needs are taken from whatever held them:
// operands cached there are moved, and locals not yet stored are stored
// (or kept elsewhere) with their values.
TEST(ArrayFill, TakesItsRegistersFromCachedValues)
{
    const int lengths[] = {0, 1, 3, 6, 37};
    for (const fill_case& c : TYPES)
        for (int first = 0; first < 4; first++)
            for (int n : lengths) {
                run_fill(c, first, first + n, false, false, OPERANDS_IN_STRING_REGS);
                run_fill(c, first, first + n, false, false, EVERY_REG_DIRTY);
            }
}
