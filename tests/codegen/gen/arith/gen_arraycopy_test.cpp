// The inline System.arraycopy, executed: arrays laid out as the VM lays
// them (length, header word, elements from + 8), the five operands in
// locals or constants, the copy run, the arrays compared with a reference
// copy (memmove semantics) and the raise path checked.  The raise paths of
// the exception tests are a stand-in here: each conditional jump lands on a
// pad that records the exception code and ends the run.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "regman/reg_test_util.h"
#include "codegen/gen/gen_arith.h"
#include "frontend/qgen.h"

namespace {

// Jumps to the raise pad, patched after the body.
std::vector<u1*> raise_jumps;
u4 raised;   // the exception code the pad records; 0 when none

}  // namespace

// Stand-in for the raise paths: a near conditional jump to the pad.  The
// copy raises through index checks driven by its own flags (kind 10); what
// the raise path reports must be a register id or the constant itself (a
// method block passed as the register made the real raise path fault).
void gen_index_check(codegen_context* cg, int cond, int kind, int, int, int, u4 index, int index_is_constant)
{
    EXPECT_EQ(kind, 10);
    if (!index_is_constant)
        EXPECT_LT(index, 8u) << "the reported index names no register";
    _gen_jmpcc(cg, cond, UNRESOLVED_TARGET, 0);
    if (cg->pass == CG_PASS_WRITE)
        raise_jumps.push_back(cg->code);
}

// The rest of the raise-path generator, left out of this binary with it.
void init_test_and_throw_exception(codegen_context*) {}
void throw_records_moved(codegen_context*, u1*, u1*) {}
void _gen_test_and_throw_exception(codegen_context*, int, int, int, int, int, int, u4, methodblock*, int)
{
    ADD_FAILURE() << "the copy raises through index checks only";
}

namespace {

constexpr u2 SRCPOS_KNOWN = 0x20, DSTPOS_KNOWN = 0x40, LENGTH_KNOWN = 0x80;
constexpr u4 AIOOBE = 0xE0000002u;

// A Java array of `n` elements of `size` bytes: length, header, elements.
struct jarray {
    std::vector<u4> words;
    int size;
    jarray(int n, int size_, int type) : words(2 + (n * size_ + 3) / 4 + 1), size(size_)
    {
        words[0] = (u4)n;
        words[1] = 2u | (u4)type << 3;
        u1* e = elems();
        for (int i = 0; i < n * size; i++)
            e[i] = (u1)(i * 7 + type);
    }
    u1* elems() { return reinterpret_cast<u1*>(&words[2]); }
    u4 addr() { return (u4)(uintptr_t)words.data(); }
};

// An operand: a local holding `value`, or a constant.
struct opnd {
    bool constant;
    s4 value;
};

struct copy_case {
    const char* what;
    int type;           // element type code
    int src_n, dst_n;   // array lengths; dst_n 0: the source array itself
    opnd srcpos, dstpos, length;
    u2 known;           // sub-code bits: operands known not to be negative
    bool raises;
};

int log_size(int type) { return type & 3; }

quad_operand_list_entry entry_of(u1 type, const opnd& o, u2 local)
{
    quad_operand_list_entry e = {};
    if (!o.constant) {
        e.kind = (u2)(type << QT_SHIFT | QK_VARIABLE);
        e.number = local;
    } else if (o.value >= 0) {
        e.kind = (u2)(QT_INT << QT_SHIFT | QK_IMMEDIATE);
        e.number = (u2)o.value;
    } else {
        e.kind = (u2)(QT_INT << QT_SHIFT | QK_NEG_IMMEDIATE);
        e.number = (u2)-o.value;
    }
    return e;
}

void run_case(const copy_case& c)
{
    static rm_fixture f;
    rm_setup(&f, 4, 8);
    const int size = 1 << log_size(c.type);
    jarray src(c.src_n, size, c.type);
    jarray dst_own(c.dst_n > 0 ? c.dst_n : 0, size, c.type);
    jarray& dst = c.dst_n > 0 ? dst_own : src;
    // The reference result.
    std::vector<u1> want(dst.elems(), dst.elems() + dst.words[0] * size);
    s4 sp = c.srcpos.value, dp = c.dstpos.value, len = c.length.value;
    bool fails = sp < 0 || dp < 0 || len < 0 || (int64_t)sp + len > (int64_t)src.words[0] || (int64_t)dp + len > (int64_t)dst.words[0];
    ASSERT_EQ(fails, c.raises) << c.what << ": the table's expectation";
    if (!fails)
        std::memmove(want.data() + dp * size, src.elems() + sp * size, (size_t)len * size);

    // Locals: 0 source, 1 source position, 2 destination, 3 destination position, 4 length.
    machine in = {};
    in.frame[frame_word_of_local(0)] = src.addr();
    in.frame[frame_word_of_local(1)] = (u4)sp;
    in.frame[frame_word_of_local(2)] = dst.addr();
    in.frame[frame_word_of_local(3)] = (u4)dp;
    in.frame[frame_word_of_local(4)] = (u4)len;
    quad_operand_list_entry list[5] = {
        entry_of(QT_REF, {false, 0}, 0), entry_of(QT_INT, c.srcpos, 1),
        entry_of(QT_REF, {false, 0}, c.dst_n > 0 ? 2 : 0), entry_of(QT_INT, c.dstpos, 3),
        entry_of(QT_INT, c.length, 4),
    };
    for (int i = 0; i < 4; i++)
        list[i].next = &list[i + 1];
    quadruple q = {};
    q.opcode = OPC_ARRAYCOPY;
    q.subcode = (u2)(c.type | c.known);
    q.opcount = QC_SRC_LIST;
    quad_set_list_head(&q, &list[0]);
    quadruple* qp = &q;
    raise_jumps.clear();
    raised = 0;
    ASSERT_EQ(gen_inlined_System_arraycopy(&f.cg, &qp, nullptr), 0);
    // The pad after the body: record the code and end the run.
    u1* body_end = f.cg.code;
    f.cg.code = body_end + 256;
    u1* pad = f.cg.code;
    _gen_move_mm_i4(&f.cg, 0, 0, 0, (s4)(uintptr_t)&raised, (s4)AIOOBE, SIZE_DWORD);
    _gen_jmpcc(&f.cg, COND_ALWAYS, UNRESOLVED_TARGET, 0);
    cg_write32(f.cg.code - 4, (u4)(body_end - f.cg.code));
    for (u1* end : raise_jumps)
        cg_write32(end - 4, (u4)(pad - end));
    f.cg.code = body_end;
    EXPECT_EQ(fp_top(&f.cg), fp_bottom(&f.cg));
    machine out;
    rm_run(&f, in, &out, 0);
    EXPECT_EQ(raised, c.raises ? AIOOBE : 0u) << c.what;
    EXPECT_EQ(std::memcmp(want.data(), dst.elems(), want.size()), 0) << c.what;
    // Nothing outside the destination's elements changed.
    EXPECT_EQ(dst.words[0], (u4)(c.dst_n > 0 ? c.dst_n : c.src_n)) << c.what;
}

constexpr opnd L(s4 v) { return {false, v}; }
constexpr opnd K(s4 v) { return {true, v}; }

// Element types: 4 boolean, 5 char, 6 float, 7 double, 8 byte, 9 short, 10 int, 11 long.
const copy_case CASES[] = {
    {"int, constant positions, two arrays", 10, 10, 12, K(2), K(3), L(6), LENGTH_KNOWN, false},
    {"int, all in locals", 10, 10, 12, L(0), L(5), L(7), 0, false},
    {"long", 11, 6, 6, L(1), K(0), L(5), 0, false},
    {"double", 7, 5, 9, K(0), K(4), K(5), 0, false},
    {"float", 6, 5, 9, K(1), L(2), L(3), 0, false},
    {"byte, odd count", 8, 23, 30, L(3), L(5), L(17), 0, false},
    {"char", 5, 9, 9, L(1), L(0), L(8), 0, false},
    {"short", 9, 9, 9, K(0), K(1), K(8), 0, false},
    {"boolean", 4, 7, 7, L(0), L(0), L(7), 0, false},
    {"zero count at the end", 10, 4, 4, L(4), L(4), L(0), 0, false},
    // One array, both directions and every size.
    {"byte, same array, up", 8, 40, 0, L(1), L(6), L(30), 0, false},
    {"byte, same array, up, constant positions", 8, 40, 0, K(1), K(6), L(30), 0, false},
    {"byte, same array, down", 8, 40, 0, L(6), L(1), L(30), 0, false},
    {"char, same array, up", 5, 20, 0, L(0), L(3), L(17), 0, false},
    {"int, same array, up, constants", 10, 20, 0, K(2), K(5), K(15), 0, false},
    {"int, same array, no overlap", 10, 20, 0, K(0), K(10), K(10), 0, false},
    {"long, same array, up", 11, 10, 0, L(0), L(1), L(9), 0, false},
    {"long, same array, down", 11, 10, 0, L(1), L(0), L(9), 0, false},
    {"double, same array, up, register count", 7, 10, 0, K(0), K(3), L(7), LENGTH_KNOWN, false},
    // Bounds.
    {"source position past the end", 10, 10, 10, L(11), L(0), L(0), 0, true},
    {"count past the source end", 10, 10, 10, L(5), L(0), L(6), 0, true},
    {"count past the destination end", 10, 10, 10, L(0), K(5), L(6), 0, true},
    {"negative source position", 10, 10, 10, L(-1), L(0), L(1), 0, true},
    {"negative destination position, constant", 10, 10, 10, L(0), K(-2), L(1), 0, true},
    {"negative source position, all constants", 10, 10, 10, K(-1), K(0), K(1), 0, true},
    {"negative destination position, all constants, known bits", 10, 10, 10, K(0), K(-3), K(2),
     SRCPOS_KNOWN | DSTPOS_KNOWN | LENGTH_KNOWN, true},
    {"negative count, constant", 8, 10, 10, K(0), K(0), K(-1), 0, true},
    {"negative count in a register", 8, 10, 10, K(0), K(0), L(-1), 0, true},
    // A large constant position and a large count that is known not to be
    // negative: length - count - position wraps to a positive value.
    {"position plus count overflows", 10, 16, 16, K(0), K(0x7FFFFFF0), L(0x7FFFFFF0), LENGTH_KNOWN, true},
    {"position plus count overflows, registers", 8, 16, 16, L(0x7FFFFFF0), L(0), L(0x7FFFFFF0), 0, true},
    {"both sides overflow, all known not negative", 10, 16, 16, L(0x7FFFFFF0), L(0x7FFFFFF0), L(0x7FFFFFF0),
     SRCPOS_KNOWN | DSTPOS_KNOWN | LENGTH_KNOWN, true},
    {"both sides overflow, constant positions", 8, 16, 16, K(60000), K(60000), L(0x7FFFFFFF - 59990),
     LENGTH_KNOWN, true},
};

}  // namespace

TEST(GenArraycopy, CopiesAndBoundsAsJava)
{
    for (const copy_case& c : CASES)
        run_case(c);
}
