// Array fill: the OPC_MEMSET quadruple that the loop optimizer makes of a
// loop storing one constant into consecutive elements.  Operand list: the
// array, the first index, the end index (the elements [first, end) are
// filled).  The element type is the sub-code's low four bits; the value is
// the quadruple's value word, and for 8-byte elements the `second` word is
// the high word.  The producer puts the null and range checks in front, so
// the fill only writes; an empty or reversed range (end <= first) writes
// nothing.
//
// Code: the bulk is rep stosd with edi = the address of the first element
// left, eax = the 32-bit pattern (the value repeated to fill a doubleword)
// and ecx = the doublewords left.  Byte and half-word elements are first
// stored one at a time with immediate stores until the index is a multiple
// of 4 (bytes) or 2 (half-words), leaving as soon as the index reaches the
// end; the last 1 to 3 bytes or the last half-word then go out of al / ax by
// stosw / stosb.  Alignment is reckoned on the index, not on the address:
// the element area starts 8 bytes into an object that is at least 4-byte
// aligned, so an aligned index is an aligned address, and were it not, the
// stores would still be right (only slower).  The tail is what the end
// index's low bits say, since the bulk starts at an aligned index.
//
// 8-byte elements: when both words are equal (0, -1: every double and long
// zero fill) one rep stosd over twice the count; otherwise a loop of two
// immediate stores per element.
//
// Registers: the working index is ecx; the array and the end index sit in
// edx, ebx, ebp or esi (never in a register the string store writes).
// Everything is written with the scheduling window closed.
#include "codegen/gen/gen_arith.h"

namespace {

constexpr s4 ARRAY_ELEMENTS = 8;    // offset of element 0 in an array
constexpr u4 FILL_OPERAND_REGS = 0x3A;   // manager mask: edx, ebx, ebp, esi
constexpr u4 M_EAX = 0x01, M_ECX = 0x04, M_EDI = 0x40;
constexpr int MAX_EXITS = 8;

// The emission state: the index known at compile time or in ecx, and the
// jumps that leave once the end is reached.
struct fill_state {
    codegen_context* cg;
    const array_fill* f;
    bool idx_const;
    s4 idx;
    bool finished;      // known at compile time: nothing is left
    u1* exits[MAX_EXITS];
    int nexits;
};

void add_exit(fill_state* s, int cond)
{
    u1* j = gi_jshort(s->cg, cond);
    if (s->nexits == MAX_EXITS)
        cg_internal_error("gen_memset: too many exits");
    s->exits[s->nexits++] = j;
}

// Leaves the fill when the index has reached the end (signed, so that a
// reversed range is empty too).
void exit_if_done(fill_state* s)
{
    codegen_context* cg = s->cg;
    const array_fill* f = s->f;
    if (s->idx_const && f->end_const) {
        s->finished = s->idx >= f->end;
    } else if (s->idx_const) {
        _gen_cmp_gr_i4(cg, f->end_reg, s->idx);
        add_exit(s, COND_LE);
    } else if (f->end_const) {
        _gen_cmp_gr_i4(cg, GR_ECX, f->end);
        add_exit(s, COND_GE);
    } else {
        _gen_cmp_gr_gr(cg, GR_ECX, f->end_reg);
        add_exit(s, COND_GE);
    }
}

// One element by an immediate store, then the index advances.
void store_one(fill_state* s)
{
    codegen_context* cg = s->cg;
    const array_fill* f = s->f;
    s4 imm = f->size == 1 ? (s4)(f->lo & 0xFF) : (s4)(f->lo & 0xFFFF);
    if (s->idx_const) {
        _gen_move_mm_i4(cg, f->array, 0, 0, ARRAY_ELEMENTS + s->idx * f->size, imm, f->size);
        s->idx++;
    } else {
        _gen_move_mm_i4(cg, f->array, GR_ECX, f->size, ARRAY_ELEMENTS, imm, f->size);
        _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ECX, 1, SIZE_DWORD);   // inc ecx
    }
    exit_if_done(s);
}

// test cl, bit; jz past the stores of `n` elements
void stores_if_index_bit(fill_state* s, int bit, int n)
{
    _gen_ARITHMETIC_xgr_i4(s->cg, ALU_TEST, GR_ECX, bit, SIZE_BYTE);
    u1* skip = gi_jshort(s->cg, COND_EQ);
    for (int i = 0; i < n; i++)
        store_one(s);
    gi_land(s->cg, skip);
}

// Byte and half-word elements up to a doubleword-aligned index.
void align_prologue(fill_state* s)
{
    int per_word = 4 / s->f->size;   // elements per doubleword: 4 or 2
    if (s->idx_const) {
        for (int k = (-s->idx) & (per_word - 1); k > 0 && !s->finished; k--)
            store_one(s);
        return;
    }
    if (per_word == 4) {
        // index 1 or 3 mod 4: one byte; then index 2 mod 4: two more.
        stores_if_index_bit(s, 1, 1);
        stores_if_index_bit(s, 2, 2);
    } else {
        stores_if_index_bit(s, 1, 1);
    }
}

// test end, bit (the byte form where the register has one)
void test_end_bit(codegen_context* cg, u4 reg, int bit)
{
    bool has_low_byte = reg == GR_EAX || reg == GR_ECX || reg == GR_EDX || reg == GR_EBX;
    _gen_ARITHMETIC_xgr_i4(cg, ALU_TEST, reg, bit, has_low_byte ? SIZE_BYTE : SIZE_DWORD);
}

// The last elements of a byte or half-word fill from al / ax: the end
// index's low bits (the bulk ended on an aligned index).
void tail_stores(fill_state* s)
{
    codegen_context* cg = s->cg;
    const array_fill* f = s->f;
    const int bits[2] = {2, 1};
    for (int b : bits) {
        if (f->size == 2 && b == 2)
            continue;
        int width = f->size == 2 ? SIZE_WORD : b == 2 ? SIZE_WORD : SIZE_BYTE;
        if (f->end_const) {
            if (f->end & b)
                _gen_stos(cg, width);
            continue;
        }
        test_end_bit(cg, f->end_reg, b);
        u1* skip = gi_jshort(cg, COND_EQ);
        _gen_stos(cg, width);
        gi_land(cg, skip);
    }
}

// 8-byte elements whose words differ: ecx elements from edi, two stores each.
void store_loop_8(fill_state* s)
{
    codegen_context* cg = s->cg;
    u1* top = cg->code;
    _gen_move_mm_i4(cg, GR_EDI, 0, 0, 0, (s4)s->f->lo, SIZE_DWORD);
    _gen_move_mm_i4(cg, GR_EDI, 0, 0, 4, (s4)s->f->hi, SIZE_DWORD);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_EDI, 8, SIZE_DWORD);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, GR_ECX, 1, SIZE_DWORD);    // dec ecx
    _gen_jmpcc(cg, COND_NE, (u4)(uintptr_t)top, 1);
}

}  // namespace

int array_fill_element_size(u4 type)
{
    switch (type) {
    case 2: case 6: case 10: return 4;
    case 5: case 9: return 2;
    case 8: return 1;
    case 7: case 11: return 8;
    default: return 0;
    }
}

int emit_array_fill(codegen_context* cg, const array_fill* f)
{
    u1* start = cg->code;
    u4 start_size = cg->code_size;
    fill_state s = {cg, f, f->first_const != 0, f->first, false, {}, 0};

    exit_if_done(&s);    // an empty range
    if (!s.finished && f->size < 4)
        align_prologue(&s);
    if (!s.finished) {
        // edi: the first element left
        if (s.idx_const)
            _gen_lea_gr_mm(cg, GR_EDI, f->array, 0, 0, ARRAY_ELEMENTS + s.idx * f->size);
        else
            _gen_lea_gr_mm(cg, GR_EDI, f->array, GR_ECX, f->size, ARRAY_ELEMENTS);
        // ecx: the elements left, then the doublewords
        bool words_equal = f->size != 8 || f->lo == f->hi;
        int shift = f->size == 1 ? 2 : f->size == 2 ? 1 : 0;
        if (s.idx_const && f->end_const) {
            u4 n = (u4)(f->end - s.idx);
            _gen_move_gr_i4(cg, GR_ECX, (s4)(f->size == 8 && words_equal ? n * 2 : n >> shift));
        } else {
            if (s.idx_const) {
                _gen_move_gr_gr(cg, GR_ECX, f->end_reg);
                if (s.idx != 0)
                    _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, GR_ECX, s.idx, SIZE_DWORD);
            } else {
                _gen_neg_gr(cg, GR_ECX);
                if (f->end_const)
                    _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ECX, f->end, SIZE_DWORD);
                else
                    _gen_ARITHMETIC_xgr_xgr(cg, ALU_ADD, GR_ECX, f->end_reg, SIZE_DWORD);
            }
            if (f->size == 8 && words_equal)
                _gen_SHIFT_gr_i4(cg, SHIFT_SHL, GR_ECX, 1);
            else if (shift != 0)
                _gen_SHIFT_gr_i4(cg, SHIFT_SHR, GR_ECX, shift);
        }
        if (!words_equal) {
            store_loop_8(&s);
        } else {
            u4 pattern = f->size == 1 ? (f->lo & 0xFF) * 0x01010101u
                       : f->size == 2 ? (f->lo & 0xFFFF) * 0x00010001u : f->lo;
            _gen_move_gr_i4(cg, GR_EAX, (s4)pattern);
            _gen_rep_stos(cg, SIZE_DWORD);
            if (f->size < 4)
                tail_stores(&s);
        }
    }
    for (int i = 0; i < s.nexits; i++)
        gi_land(cg, s.exits[i]);
    return cg->pass == CG_PASS_WRITE ? (int)(cg->code - start) : (int)(cg->code_size - start_size);
}

int gen_memset(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    u4 type = q->subcode & QS_KIND_MASK;
    int size = array_fill_element_size(type);
    if (size == 0)
        cg_internal_error("gen_memset: unknown element type %d", (int)type);
    if (o->list_n < 3)
        cg_internal_error("gen_memset: %d operands", o->list_n);
    reg_operand* array = &o->list[0];
    reg_operand* first = &o->list[1];
    reg_operand* end = &o->list[2];

    bool first_const = op_is_imm(first), end_const = op_is_imm(end);
    bool empty = op_same(first, end) || (first_const && end_const && (s4)end->value <= (s4)first->value);
    if (empty) {
        gi_done(cg, first, -1);
        gi_done(cg, end, -1);
        gi_done(cg, array, -1);
        return 0;
    }
    array_fill f = {};
    f.size = size;
    f.lo = q->value;
    f.hi = size == 8 ? q->second : 0;
    f.first_const = first_const;
    f.end_const = end_const;
    f.first = first_const ? (s4)first->value : 0;
    f.end = end_const ? (s4)end->value : 0;

    int ra = gi_read(cg, array, slot, FILL_OPERAND_REGS, 0);
    int re = end_const ? -1 : gi_read(cg, end, slot, FILL_OPERAND_REGS, rbit(ra));
    u4 held = rbit(ra) | rbit(re);
    int rc = first_const ? gi_alloc(cg, M_ECX, held) : gi_copy(cg, first, slot, M_ECX, held);
    int rdi = gi_alloc(cg, M_EDI, held | rbit(rc));
    int rax = gi_alloc(cg, M_EAX, held | rbit(rc) | rbit(rdi));
    f.array = gid(ra);
    f.end_reg = re >= 0 ? gid(re) : 0;

    gi_seq seq;
    gi_seq_begin(cg, &seq);
    emit_array_fill(cg, &f);
    gi_seq_end(cg, &seq);

    _free_int_reg(cg, rax, 0, 0, 0);
    _free_int_reg(cg, rdi, 0, 0, 0);
    _free_int_reg(cg, rc, 0, 0, 0);
    gi_done(cg, first, -1);
    gi_done(cg, end, re);
    gi_done(cg, array, ra);
    return 0;
}
