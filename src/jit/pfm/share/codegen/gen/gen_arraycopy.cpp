// Inline expansion of System.arraycopy (the OPC_ARRAYCOPY quadruple that the
// stack pass makes of a call whose two arrays are known to have the same
// primitive element type).  Operand list: source array, source position,
// destination array, destination position, length.
//
// Code: the two array lengths are loaded (the null checks: a null array
// faults on the load, which the run-time signal path raises as
// NullPointerException), then the bounds are checked with exact signed
// compares, then the elements move with a string move, or, for an
// overlapping copy toward higher addresses within one array, backwards by
// the run-time routine of the element size.  Every failed check raises
// ArrayIndexOutOfBoundsException.
//
// The checks never combine signs of sums: length - position - count can
// wrap to a positive value (a large constant position with a large count
// passed), so each array is checked as (array length - count) < position
// after the count and the positions are known not to be negative; both
// sides then lie in the int range and the signed compare is exact.  A
// constant position or length that is negative is handled as a value in a
// register with a sign test, so it raises too.
//
// Registers: source in eax, destination in ecx, count in ebx, source
// position in edx and destination position in ebp (unless constants), esi
// and edi for the lengths and the string move.  Every integer register is
// written back first and emptied afterwards.
#include <initializer_list>

#include "codegen/gen/gen_arith.h"
#include "frontend/qgen.h"

namespace {

// Sub-code bits: the operand is known not to be negative.
constexpr u2 AC_SRCPOS_KNOWN = 0x20, AC_DSTPOS_KNOWN = 0x40, AC_LENGTH_KNOWN = 0x80;

// Compare kind of the raise path: the flags are set by our own instruction.
constexpr int CMP_FLAGS_SET = 10;

// Run-time routines: backward movers by element size 1, 2, 4, 8.
constexpr int RT_ARRAYCOPY_BACKWARD_1 = 145;

constexpr int M_EAX = 0, M_EDX = 1, M_ECX = 2, M_EBX = 3, M_EBP = 4, M_ESI = 5, M_EDI = 6;

bool is_constant(const reg_operand* op)
{
    return op->kind == OPND_CONST || op->kind == OPND_XCONST || op->kind == OPND_YCONST;
}

// One integer operand of the copy: a non-negative constant, or a register.
struct ac_value {
    bool constant;
    s4 value;           // the constant
    int reg;            // manager index when not constant
    bool sign_test;     // may be negative: tested at run time
};

}  // namespace

// The operands and the facts of one copy.
struct arraycopy_info {
    reg_operand ops[5];        // source, source position, destination, destination position, length
    ac_value srcpos, dstpos, length;
    int size;                  // element size in bytes
    int size_log;
    bool general;              // the copy may overlap toward higher addresses
};

int get_System_arraycopy_element_info(codegen_context* cg, quadruple** slot, arraycopy_info* info)
{
    quadruple* q = *slot;
    reg_operand list[CG_LIST_MAX];
    int n = set_operand_list(cg, slot, list, CG_LIST_MAX);
    if (n < 5)
        cg_service_missing("array copy without its five operands");
    for (int i = 0; i < 5; i++)
        info->ops[i] = list[i];
    const u2 known[3] = {AC_SRCPOS_KNOWN, AC_DSTPOS_KNOWN, AC_LENGTH_KNOWN};
    ac_value* vals[3] = {&info->srcpos, &info->dstpos, &info->length};
    const reg_operand* vops[3] = {&info->ops[1], &info->ops[3], &info->ops[4]};
    for (int i = 0; i < 3; i++) {
        ac_value* v = vals[i];
        v->reg = -1;
        v->constant = is_constant(vops[i]) && (s4)vops[i]->value >= 0;
        v->value = v->constant ? (s4)vops[i]->value : 0;
        v->sign_test = !v->constant && !(q->subcode & known[i]);
        if (is_constant(vops[i]) && (s4)vops[i]->value < 0)
            v->sign_test = true;   // a negative constant: raised at run time
    }
    info->size_log = (int)(q->subcode & 3);
    info->size = 1 << info->size_log;
    // Overlap toward higher addresses needs the backward copy; two constant
    // positions can rule it out.
    info->general = true;
    if (info->srcpos.constant && info->dstpos.constant) {
        s4 d = info->dstpos.value - info->srcpos.value;
        if (d <= 0 || (info->length.constant && info->length.value <= d))
            info->general = false;
    }
    return 0;
}

namespace {

// Jumps to a raise of ArrayIndexOutOfBoundsException on `cond`; the raise
// path reports the failing operand: its register, or the constant.  (The
// raiser reads its index operand as a register id or a value, never as
// anything else: a method block passed there became a move from a "register"
// whose encoding ran into the memory forms, so the raise path itself faulted
// and a NullPointerException came out instead.)
void throw_if(codegen_context* cg, int cond, const ac_value& v)
{
    if (v.constant || v.reg < 0)
        gen_index_check(cg, cond, CMP_FLAGS_SET, 0, 0, 0, (u4)v.value, 1);
    else
        gen_index_check(cg, cond, CMP_FLAGS_SET, 0, 0, 0, gid(v.reg), 0);
}

// Brings operand i into the manager register `r` (mask bit), reusing an
// operand loaded before when it is the same one.
int bind_fixed(codegen_context* cg, arraycopy_info* info, int i, int r, const int* bound)
{
    reg_operand* op = &info->ops[i];
    for (int j = 0; j < i; j++)
        if (bound[j] >= 0 && op_same(op, &info->ops[j])) {
            int t = _alloc_int_reg(cg, 1u << r, 0);
            _gen_move_gr_gr(cg, gid(t), gid(bound[j]));
            return t;
        }
    if (is_constant(op) || op->kind == OPND_ADDR) {
        int t = _alloc_int_reg(cg, 1u << r, 0);
        _gen_move_gr_i4(cg, gid(t), (s4)op->value);
        return t;
    }
    return _set_rd_int_oprnd(cg, op, 1u << r, 0, 0);
}

// lea dst, [array + position * size + extra * size + 8]: a constant position
// folds into the displacement; a position in a register is the index, and
// with `with_count` the count (ebx) is added to it first through dst.
void element_address(codegen_context* cg, const arraycopy_info* info, u4 dst, int array, const ac_value& pos,
                     bool with_count)
{
    int scale = info->size;
    if (pos.constant) {
        s4 disp = OBJ_HEADER_SIZE + pos.value * scale;
        if (with_count)
            _gen_lea_gr_mm(cg, dst, gid(array), GR_EBX, scale, disp);
        else
            _gen_lea_gr_mm(cg, dst, gid(array), 0, 0, disp);
        return;
    }
    if (with_count) {
        _gen_lea_gr_mm(cg, dst, gid(pos.reg), GR_EBX, 1, 0);
        _gen_lea_gr_mm(cg, dst, gid(array), dst, scale, OBJ_HEADER_SIZE);
    } else {
        _gen_lea_gr_mm(cg, dst, gid(array), gid(pos.reg), scale, OBJ_HEADER_SIZE);
    }
}

// mov reg, position (a register or a constant)
void load_position(codegen_context* cg, u4 reg, const ac_value& pos)
{
    if (pos.constant)
        _gen_move_gr_i4(cg, reg, pos.value);
    else
        _gen_move_gr_gr(cg, reg, gid(pos.reg));
}

}  // namespace

int gen_inlined_System_arraycopy(codegen_context* cg, quadruple** slot, cg_operands*)
{
    arraycopy_info info;
    get_System_arraycopy_element_info(cg, slot, &info);

    // Every register is written back: the copy uses them all.
    _flush_all_int_regs(cg, 1);
    gi_seq s;
    gi_seq_begin(cg, &s);

    int bound[5] = {-1, -1, -1, -1, -1};
    bound[0] = bind_fixed(cg, &info, 0, M_EAX, bound);
    bound[2] = bind_fixed(cg, &info, 2, M_ECX, bound);
    bound[4] = bind_fixed(cg, &info, 4, M_EBX, bound);
    info.length.reg = bound[4];
    info.length.constant = false;   // the count is in ebx from here on
    if (!info.srcpos.constant)
        info.srcpos.reg = bound[1] = bind_fixed(cg, &info, 1, M_EDX, bound);
    if (!info.dstpos.constant)
        info.dstpos.reg = bound[3] = bind_fixed(cg, &info, 3, M_EBP, bound);
    int esi = _alloc_int_reg(cg, 1u << M_ESI, 0);
    int edi = _alloc_int_reg(cg, 1u << M_EDI, 0);

    // Null checks: the array lengths.
    _gen_move_gr_mm(cg, GR_EDI, GR_ECX, 0, 0, 0);
    _gen_move_gr_mm(cg, GR_ESI, GR_EAX, 0, 0, 0);

    // Signs, then (length - count) < position for each array.
    for (const ac_value* v : {&info.srcpos, &info.dstpos, &info.length}) {
        if (!v->sign_test)
            continue;
        _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, gid(v->reg), gid(v->reg), SIZE_DWORD);
        throw_if(cg, COND_S, *v);
    }
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_SUB, GR_EDI, GR_EBX, SIZE_DWORD);
    if (info.dstpos.constant)
        _gen_cmp_gr_i4(cg, GR_EDI, info.dstpos.value);
    else
        _gen_cmp_gr_gr(cg, GR_EDI, gid(info.dstpos.reg));
    throw_if(cg, COND_LT, info.dstpos);
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_SUB, GR_ESI, GR_EBX, SIZE_DWORD);
    if (info.srcpos.constant)
        _gen_cmp_gr_i4(cg, GR_ESI, info.srcpos.value);
    else
        _gen_cmp_gr_gr(cg, GR_ESI, gid(info.srcpos.reg));
    throw_if(cg, COND_LT, info.srcpos);

    // Overlap toward higher addresses within one array: copy backwards.
    u1* to_forward[3] = {nullptr, nullptr, nullptr};
    u1* to_end = nullptr;
    if (info.general) {
        _gen_cmp_gr_gr(cg, GR_EAX, GR_ECX);
        to_forward[0] = gi_jshort(cg, COND_NE);
        if (info.srcpos.constant && info.dstpos.constant) {
            // d > 0 here; overlap when the count exceeds d.
            _gen_cmp_gr_i4(cg, GR_EBX, info.dstpos.value - info.srcpos.value);
            to_forward[1] = gi_jshort(cg, COND_LE);
        } else {
            // Both positions are known not to be negative: no overflow.
            load_position(cg, GR_ESI, info.dstpos);
            if (info.srcpos.constant)
                _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, GR_ESI, info.srcpos.value, SIZE_DWORD);
            else
                _gen_ARITHMETIC_xgr_xgr(cg, ALU_SUB, GR_ESI, gid(info.srcpos.reg), SIZE_DWORD);
            to_forward[1] = gi_jshort(cg, COND_LE);
            _gen_cmp_gr_gr(cg, GR_ESI, GR_EBX);
            to_forward[2] = gi_jshort(cg, COND_GE);
        }
        element_address(cg, &info, GR_ESI, bound[0], info.srcpos, true);
        element_address(cg, &info, GR_EDI, bound[2], info.dstpos, true);
        _gen_call(cg, RT_ARRAYCOPY_BACKWARD_1 + info.size_log);
        to_end = gi_jshort(cg, COND_ALWAYS);
    }
    for (u1* j : to_forward)
        gi_land(cg, j);

    // Forward: a string move of the elements (doublewords for 8-byte ones).
    element_address(cg, &info, GR_ESI, bound[0], info.srcpos, false);
    element_address(cg, &info, GR_EDI, bound[2], info.dstpos, false);
    _gen_move_gr_gr(cg, GR_ECX, GR_EBX);
    if (info.size == 8)
        _gen_SHIFT_gr_i4(cg, SHIFT_SHL, GR_ECX, 1);
    _gen_rep_movs(cg, info.size == 8 ? SIZE_DWORD : info.size);
    gi_land(cg, to_end);

    // The operands are consumed; every register the expansion wrote is emptied.
    for (int i = 0; i < 5; i++)
        if (bound[i] >= 0)
            _free_int_reg(cg, bound[i], 0, 0, 0);
    _free_int_reg(cg, esi, 0, 0, 0);
    _free_int_reg(cg, edi, 0, 0, 0);
    for (int i = 0; i < 5; i++)
        if (!is_constant(&info.ops[i]))
            invalidate_if_lastuse(cg, &info.ops[i]);
    for (int r = 0; r < RM_INT_REGS; r++)
        _free_int_reg(cg, r, 1, (int)RM_ALL_INT, 0);
    gi_seq_end(cg, &s);
    return 0;
}
