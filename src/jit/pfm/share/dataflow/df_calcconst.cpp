// Constant folding of one quadruple, asked by copy propagation whenever an
// operand of a foldable quadruple has become constant: evaluation with Java
// semantics into a constant load of the result, algebraic identities into
// moves, compare-branches, switches and bound checks whose inputs are known
// into gotos or no-operations, conditional selects into moves, and
// floating-point division by a power of two into multiplication.
//
// Known operand values come as (kind, value) pairs: CPV_LOCAL a local (value
// = its number), CPV_INT an integer-valued constant (also the value of a
// small constant of long, float or double type), CPV_IMM a non-int constant
// whose storage the value word points at (one word for float; two, low word
// first, for long and double), CPV_PTR the same taken from a kind 6 operand.
//
// Every case whose result cannot be produced exactly is refused and leaves
// the quadruple unchanged: division by zero, the overflowing divisions,
// non-finite or subnormal floating-point values, conversions not handled.
// Floating-point arithmetic runs with the x87 precision control set to the
// operation's own type (24 or 53 bits), so a result is rounded once, as Java
// rounds it; computing in extended precision and storing rounded twice and
// could differ in the last place (fault mended).  Maximum and minimum follow
// Math.max and Math.min: +0.0 is greater than -0.0 (fault mended: the larger
// of two equal operands used to be the second, so max(0.0, -0.0) folded to
// -0.0).
#include <math.h>
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "frontend/qgen.h"
#include "codegen/gen/common_math_decls.h"

namespace {

s4 disable_calc_const = -1;

// Opcodes folded here (the quadruple set's numbering).
constexpr u1 OP_ICONST = OPC_ICONST, OP_IOP2 = OPC_IOP2, OP_IOP1 = OPC_IOP1, OP_IFZ = OPC_IFZ, OP_IFCMP = OPC_IFCMP,
             OP_LCONST = OPC_LCONST, OP_LOP2 = OPC_LOP2, OP_LSHIFT = OPC_LSHIFT, OP_LOP1 = OPC_LOP1,
             OP_LCMP = OPC_LCMP, OP_FCONST = OPC_FCONST, OP_FOP2 = OPC_FOP2, OP_FOP1 = OPC_FOP1,
             OP_DCONST = OPC_DCONST, OP_DOP2 = OPC_DOP2, OP_DOP1 = OPC_DOP1, OP_IFNULL = OPC_IFNULL,
             OP_IFACMP = OPC_IFACMP, OP_SWITCH = OPC_SWITCH, OP_GOTO = OPC_GOTO, OP_SIZECHECK = OPC_SIZECHECK,
             OP_LCMP_BRANCH = OPC_LCMP_BRANCH;

// The operation field that keeps an in-range float-to-int conversion
// foldable (the front end's marking of a checked conversion).
constexpr u2 F2I_FOLDABLE_OP = 38;

constexpr u4 FLOAT_EXP_MASK = 0x7F800000u;
constexpr u4 DOUBLE_HIGH_EXP_MASK = 0x7FF00000u;

u4 float_bits(float f)
{
    u4 w;
    memcpy(&w, &f, 4);
    return w;
}
float bits_float(u4 w)
{
    float f;
    memcpy(&f, &w, 4);
    return f;
}
u8 double_bits(double d)
{
    u8 w;
    memcpy(&w, &d, 8);
    return w;
}
double bits_double(u8 w)
{
    double d;
    memcpy(&d, &w, 8);
    return d;
}

// Finite and not subnormal (zero counts as normal here).
bool float_ok(float f)
{
    u4 e = float_bits(f) & FLOAT_EXP_MASK;
    return e != FLOAT_EXP_MASK && (e != 0 || (float_bits(f) & 0x7FFFFFFFu) == 0);
}
bool double_ok(double d)
{
    u8 w = double_bits(d);
    u4 e = static_cast<u4>(w >> 32) & DOUBLE_HIGH_EXP_MASK;
    return e != DOUBLE_HIGH_EXP_MASK && (e != 0 || (w & 0x7FFFFFFFFFFFFFFFull) == 0);
}

// x87 precision control (bits 8-9 of the control word): 0 = 24 bits,
// 2 = 53 bits; rounding control (bits 10-11) 0 = to nearest.
constexpr u2 CW_PC_RC_MASK = 0x0F00;
constexpr u2 CW_PC_SINGLE = 0x0000, CW_PC_DOUBLE = 0x0200;

u2 fpu_control_word()
{
    u2 cw;
    __asm__ volatile("fnstcw %0" : "=m"(cw) : : "memory");
    return cw;
}
void fpu_load_control_word(u2 cw) { __asm__ volatile("fldcw %0" : : "m"(cw) : "memory"); }

// One binary operation rounded once to the operand type T (float or double).
template <typename T> bool arith_rounded_once(s4 op, T a, T b, T* result)
{
    volatile T va = a, vb = b, vr = 0;
    u2 saved = fpu_control_word();
    fpu_load_control_word(static_cast<u2>((saved & ~CW_PC_RC_MASK) | (sizeof(T) == 4 ? CW_PC_SINGLE : CW_PC_DOUBLE)));
    bool done = true;
    switch (op) {
    case DF_OP_ADD: vr = va + vb; break;
    case DF_OP_SUB: vr = va - vb; break;
    case DF_OP_MUL: vr = va * vb; break;
    case DF_OP_DIV: vr = va / vb; break;
    default: done = false; break;
    }
    fpu_load_control_word(saved);
    *result = vr;
    // A product or quotient of nonzero values that came out zero underflowed:
    // with the wide exponent of the x87 registers it was rounded once in the
    // register and again when stored, so it is not folded.
    if (done && vr == 0 && a != 0 && (op == DF_OP_DIV || b != 0) && (op == DF_OP_MUL || op == DF_OP_DIV))
        return false;
    return done;
}

bool is_neg_zero_float(float f) { return float_bits(f) == 0x80000000u; }
bool is_neg_zero_double(double d) { return double_bits(d) == 0x8000000000000000ull; }

// Math.max / Math.min on ordered (non-NaN) operands.
template <typename T> T java_max(T a, T b, bool (*neg_zero)(T))
{
    if (a == b && a == 0)
        return neg_zero(a) ? b : a;
    return a > b ? a : b;
}
template <typename T> T java_min(T a, T b, bool (*neg_zero)(T))
{
    if (a == b && a == 0)
        return neg_zero(a) ? a : b;
    return a < b ? a : b;
}

// ---- operand values ---------------------------------------------------------------

// The 64-bit value of a long operand pair.
bool long_value(s4 kind, u4 value, int64_t* out)
{
    if (kind == CPV_INT) {
        *out = static_cast<s4>(value);
        return true;
    }
    if ((kind == CPV_IMM || kind == CPV_PTR) && value != 0) {
        const u4* p = reinterpret_cast<const u4*>(static_cast<uintptr_t>(value));
        *out = static_cast<int64_t>(static_cast<u8>(p[0]) | static_cast<u8>(p[1]) << 32);
        return true;
    }
    return false;
}
bool float_value(s4 kind, u4 value, float* out)
{
    if (kind == CPV_INT) {
        *out = static_cast<float>(static_cast<s4>(value));
        return true;
    }
    if ((kind == CPV_IMM || kind == CPV_PTR) && value != 0) {
        *out = bits_float(*reinterpret_cast<const u4*>(static_cast<uintptr_t>(value)));
        return true;
    }
    return false;
}
bool double_value(s4 kind, u4 value, double* out)
{
    if (kind == CPV_INT) {
        *out = static_cast<double>(static_cast<s4>(value));
        return true;
    }
    if ((kind == CPV_IMM || kind == CPV_PTR) && value != 0) {
        const u4* p = reinterpret_cast<const u4*>(static_cast<uintptr_t>(value));
        *out = bits_double(static_cast<u8>(p[0]) | static_cast<u8>(p[1]) << 32);
        return true;
    }
    return false;
}

u1 operand_type(const quad_operand& o) { return o.kind >> QT_SHIFT; }
u1 operand_kind(const quad_operand& o) { return o.kind & QK_KIND_MASK; }

// ---- rebuilding a quadruple ----------------------------------------------------------

void set_no_exception(quadruple* q) { q->opcount |= QC_PERMISSIONS; }

// Clears the header for a rebuilt quadruple; the destination, the source
// pc and the owning method are kept.
void clear_header(quadruple* q, u1 opcode)
{
    s4 pc = quad_source_pc(q);
    u4 context = q->context;
    q->opcode = opcode;
    q->pad1 = 0;
    q->subcode = 0;
    q->target = 0;
    q->second = 0;
    q->op = 0;
    q->count = 0;
    q->aux = 0;
    q->flags_a = 0;
    q->flags_b = 0;
    q->value = 0;
    q->opcount = static_cast<u2>(1 | QC_PERMISSIONS);
    quad_operand_clear(q->src2);
    quad_set_source_pc(q, pc);
    q->context = context;
}

void small_int_source(quadruple* q, s4 v, u1 type)
{
    if (v >= 0 && v <= 65535)
        quad_operand_set(q->src1, quad_kind_byte(QK_IMMEDIATE, type), static_cast<u2>(v));
    else
        quad_operand_set(q->src1, quad_kind_byte(QK_NEG_IMMEDIATE, type), static_cast<u2>(-v));
}

// A value of a constant table as the first source: kind 5 when the
// constant pool already holds it, else kind 6 on the folded-constant table.
void table_source(method_compile_context* m, quadruple* q, s4 table_kind, const u4* words, u1 type)
{
    const u4* at = mcc_const_tables(m) != nullptr ? SearchConstTable(m, mcc_pool_constants(m), table_kind, words)
                                                  : nullptr;
    u1 kind = QK_CONSTANT;
    if (at == nullptr) {
        at = AddConstTable(m, mcc_folded_constants(m), table_kind, words);
        kind = QK_CONST_PTR;
    }
    q->value = reinterpret_cast<u4>(at);
    q->flags_a |= QA_CONSTANT;
    quad_operand_set(q->src1, quad_kind_byte(kind, type), QUAD_NO_NUMBER);
}

void fold_to_int(quadruple* q, s4 v)
{
    clear_header(q, OP_ICONST);
    q->value = static_cast<u4>(v);
    q->flags_a |= QA_CONSTANT;
    if (v >= -65535 && v <= 65535)
        small_int_source(q, v, QT_INT);
    else
        quad_operand_set(q->src1, KB_INT_CONST, QUAD_NO_NUMBER);
}

bool fold_to_long(method_compile_context* m, quadruple* q, int64_t v)
{
    if (mcc_const_tables(m) == nullptr && !(v >= -65535 && v <= 65535))
        return false;
    clear_header(q, OP_LCONST);
    if (v >= -65535 && v <= 65535) {
        small_int_source(q, static_cast<s4>(v), QT_INT);
        return true;
    }
    u4 words[2] = {static_cast<u4>(static_cast<u8>(v)), static_cast<u4>(static_cast<u8>(v) >> 32)};
    table_source(m, q, CONST_KIND_LONG, words, QT_LONG);
    return true;
}

bool fold_to_float(method_compile_context* m, quadruple* q, float v)
{
    if (!float_ok(v))
        return false;
    bool small = float_bits(v) == float_bits(1.0f) || float_bits(v) == float_bits(2.0f);
    if (!small && mcc_const_tables(m) == nullptr)
        return false;
    clear_header(q, OP_FCONST);
    if (small) {
        quad_operand_set(q->src1, quad_kind_byte(QK_IMMEDIATE, QT_FLOAT), v == 1.0f ? 1 : 2);
        return true;
    }
    u4 word = float_bits(v);
    table_source(m, q, CONST_KIND_FLOAT, &word, QT_FLOAT);
    return true;
}

bool fold_to_double(method_compile_context* m, quadruple* q, double v)
{
    if (!double_ok(v))
        return false;
    bool one = double_bits(v) == double_bits(1.0);
    if (!one && mcc_const_tables(m) == nullptr)
        return false;
    clear_header(q, OP_DCONST);
    if (one) {
        quad_operand_set(q->src1, quad_kind_byte(QK_IMMEDIATE, QT_DOUBLE), 1);
        return true;
    }
    u8 bits = double_bits(v);
    u4 words[2] = {static_cast<u4>(bits), static_cast<u4>(bits >> 32)};
    table_source(m, q, CONST_KIND_DOUBLE, words, QT_DOUBLE);
    return true;
}

// The quadruple becomes a move of its destination type from `source`.
void become_move(quadruple* q, const quad_operand& source)
{
    quad_operand src = source;
    u1 type = operand_type(q->result);
    u1 move = opc_table_type[type < 8 ? type : 0].move;
    u4 value = q->value;
    u1 taken = q->flags_a & QA_CONSTANT;
    clear_header(q, move);
    q->src1 = src;
    if (operand_kind(src) == QK_CONSTANT || operand_kind(src) == QK_CONST_PTR) {
        q->value = value;
        q->flags_a |= taken;
    }
}

// ---- branches ----------------------------------------------------------------------

// 1 taken, 0 not taken, -1 undecidable.
int condition_holds(u2 code, s4 a, s4 b)
{
    u4 ua = static_cast<u4>(a), ub = static_cast<u4>(b);
    switch (code) {
    case 2: return a == b;
    case 3: return a != b;
    case 4: return a < b;
    case 5: return a <= b;
    case 6: return a > b;
    case 7: return a >= b;
    case 8: case 20: return ua > ub;
    case 9: case 21: return ua >= ub;
    case 10: case 18: return ua < ub;
    case 11: case 19: return ua <= ub;
    default: return -1;
    }
}

// Blocks whose two loop marks are both set keep their branches.
bool branch_folding_allowed(const bbattr* b) { return (b->flags & 0x3) != 0x3; }

void flow_changed(dataflow_pass_context* pc)
{
    if (pc == nullptr)
        return;
    pc->flags |= DFP_FLOW_CHANGED;
    pc->order = nullptr;
    pc->order_count = 0;
}

// The switch on the constant k keeps successor `chosen` only.
bool decide_switch(method_compile_context* m, u4 block, quadruple** slot, s4 k)
{
    bbattr* b = m->bb_table[block];
    quadruple* q = *slot;
    if (!branch_folding_allowed(b) || b->succ_count == 0)
        return false;
    u4 chosen = 0;
    if ((q->subcode & QS_KIND_MASK) == 0) {
        s4 low = static_cast<s4>(q->target), high = static_cast<s4>(q->second);
        if (low <= k && k <= high)
            chosen = static_cast<u4>(static_cast<int64_t>(k) - low) + 1;
    } else {
        u4 pairs = q->target;
        const u1* table = reinterpret_cast<const u1*>(static_cast<uintptr_t>(q->second));
        auto be32 = [](const u1* p) {
            return static_cast<s4>(static_cast<u4>(p[0]) << 24 | static_cast<u4>(p[1]) << 16
                                   | static_cast<u4>(p[2]) << 8 | p[3]);
        };
        if (table != nullptr && pairs > 0 && be32(table + 8) <= k && k <= be32(table + 8 + 8 * (pairs - 1))) {
            for (u4 i = 0; i < pairs; i++) {
                s4 match = be32(table + 8 + 8 * i);
                if (match == k) {
                    chosen = i + 1;
                    break;
                }
                if (match > k)
                    break;
            }
        }
    }
    if (chosen >= b->succ_count)
        return false;
    u4 keep = b->succ[chosen];
    u4 n = b->succ_count;
    u4* released = static_cast<u4*>(jit_wmem_alloc(m->pool1, n * sizeof(u4)));
    u4 nreleased = 0;
    for (u4 i = 0; i < n; i++)
        if (i != chosen)
            released[nreleased++] = b->succ[i];
    b->succ[0] = keep;
    b->succ_count = 1;
    b->flags2 &= ~BB2_FORWARD_BRANCH;
    b->flags &= ~BB_BACKWARD_BRANCH;
    if (!(b->flags2 & BB2_RARE))
        ClearRarePath(m, keep);
    s4 pc = quad_source_pc(q);
    u4 context = q->context;
    ChangeNOP(m, static_cast<s4>(block), static_cast<s4>(slot - b->catbl));
    clear_header(q, OP_GOTO);
    q->opcount = QC_PERMISSIONS;
    quad_operand_clear(q->src1);
    quad_operand_clear(q->result);
    q->target = keep;
    quad_set_source_pc(q, pc);
    q->context = context;
    for (u4 i = 0; i < nreleased; i++)
        DecrementBackward(m, block, released[i]);
    return true;
}

} // namespace

int df_calc_const_disabled() { return df_env_switch(&disable_calc_const, "DISABLE_CALC_CONST"); }

int df_decide_const_branch(method_compile_context* m, u4 block, quadruple** slot, const s4* first, const s4* second)
{
    bbattr* b = m->bb_table[block];
    quadruple* q = *slot;
    int taken = condition_holds(q->op, *first, second != nullptr ? *second : 0);
    if (taken < 0 || !branch_folding_allowed(b) || b->succ_count != 2)
        return 0;
    u4 target = q->target;
    u4 released;
    if (taken) {
        if (b->succ[0] == target) {
            released = b->succ[1];
        } else {
            released = b->succ[0];
            b->succ[0] = b->succ[1];
        }
    } else {
        if (b->succ[0] == target) {
            released = b->succ[0];
            b->succ[0] = b->succ[1];
        } else {
            released = b->succ[1];
        }
    }
    s4 pc = quad_source_pc(q);
    u4 context = q->context;
    ChangeNOP(m, static_cast<s4>(block), static_cast<s4>(slot - b->catbl));
    if (taken) {
        clear_header(q, OP_GOTO);
        q->opcount = QC_PERMISSIONS;
        quad_operand_clear(q->src1);
        quad_operand_clear(q->result);
        q->target = target;
        quad_set_source_pc(q, pc);
        q->context = context;
    }
    b->succ_count = 1;
    b->flags2 &= ~BB2_FORWARD_BRANCH;
    b->flags &= ~BB_BACKWARD_BRANCH;
    if (!(b->flags2 & BB2_RARE))
        ClearRarePath(m, b->succ[0]);
    DecrementBackward(m, block, released);
    return 1;
}

int df_calc_op2_const1(method_compile_context*, s4 op, int* identity, const s4* c1, const s4* c2, s4* result)
{
    *identity = 0;
    if (c1 != nullptr && c2 != nullptr)
        return df_calc_op2(0, op, *c1, *c2, result);
    if (c1 == nullptr && c2 == nullptr)
        return 0;
    s4 c = c1 != nullptr ? *c1 : *c2;
    bool second = c2 != nullptr;
    switch (op) {
    case DF_OP_ADD: *identity = c == 0; return 0;
    case DF_OP_SUB: *identity = second && c == 0; return 0;
    case DF_OP_MUL:
        if (c == 0) {
            *result = 0;
            return 1;
        }
        *identity = c == 1;
        return 0;
    case DF_OP_AND:
        if (c == 0) {
            *result = 0;
            return 1;
        }
        *identity = c == -1;
        return 0;
    case DF_OP_OR:
        if (c == -1) {
            *result = -1;
            return 1;
        }
        *identity = c == 0;
        return 0;
    case DF_OP_DIV: *identity = second && c == 1; return 0;
    case DF_OP_REM:
        if (second && c == 1) {
            *result = 0;
            return 1;
        }
        return 0;
    case DF_OP_SHL: case DF_OP_SHR: case DF_OP_USHR: case DF_OP_SHL2: *identity = second && (c & 31) == 0; return 0;
    default: return 0;
    }
}

int df_calc_long_op2(s4 op, int64_t a, int64_t b, int64_t* result)
{
    u8 ua = static_cast<u8>(a), ub = static_cast<u8>(b);
    switch (op) {
    case DF_OP_ADD: *result = static_cast<int64_t>(ua + ub); return 1;
    case DF_OP_SUB: *result = static_cast<int64_t>(ua - ub); return 1;
    case DF_OP_MUL: *result = static_cast<int64_t>(ua * ub); return 1;
    case DF_OP_AND: *result = a & b; return 1;
    case DF_OP_OR: *result = a | b; return 1;
    case DF_OP_XOR: *result = a ^ b; return 1;
    case DF_OP_MAX: *result = b <= a ? a : b; return 1;
    case DF_OP_MIN: *result = a <= b ? a : b; return 1;
    case DF_OP_DIV:
    case DF_OP_REM:
        if (b == 0)
            return 0;
        if (b == -1)
            *result = op == DF_OP_DIV ? static_cast<int64_t>(0 - ua) : 0;
        else
            *result = op == DF_OP_DIV ? a / b : a % b;
        return 1;
    default: return 0;
    }
}

int df_calc_long_shift(s4 op, int64_t a, s4 count, int64_t* result)
{
    u4 n = static_cast<u4>(count) & 63;
    switch (op) {
    case DF_OP_SHL: case DF_OP_SHL2: *result = static_cast<int64_t>(static_cast<u8>(a) << n); return 1;
    case DF_OP_SHR: *result = a >> n; return 1;
    case DF_OP_USHR: *result = static_cast<int64_t>(static_cast<u8>(a) >> n); return 1;
    default: return 0;
    }
}

int df_calc_long_op1(s4 op, int64_t a, int64_t* result)
{
    u8 ua = static_cast<u8>(a);
    switch (op) {
    case DF_OP_NEG: *result = static_cast<int64_t>(0 - ua); return 1;
    case DF_OP_ABS: *result = a < 0 ? static_cast<int64_t>(0 - ua) : a; return 1;
    default: return 0;
    }
}

namespace {

bool fp_ok(float f) { return float_ok(f); }
bool fp_ok(double d) { return double_ok(d); }

// Two-operand float or double folding: Java's MAX/MIN (signed zeros, NaN)
// or the arithmetic rounded once to the operands' type.
template <typename T> int calc_fp_op2(s4 op, T a, T b, bool (*neg_zero)(T), T* result)
{
    if (!fp_ok(a) || !fp_ok(b))
        return 0;
    T r;
    if (op == DF_OP_MAX)
        r = java_max(a, b, neg_zero);
    else if (op == DF_OP_MIN)
        r = java_min(a, b, neg_zero);
    else if (!arith_rounded_once(op, a, b, &r))
        return 0;
    if (!fp_ok(r))
        return 0;
    *result = r;
    return 1;
}

} // namespace

int df_calc_float_op2(s4 op, float a, float b, float* result)
{
    return calc_fp_op2(op, a, b, is_neg_zero_float, result);
}

int df_calc_float_op1(s4 op, float a, float* result)
{
    if (!float_ok(a))
        return 0;
    u4 w = float_bits(a);
    switch (op) {
    case DF_OP_NEG: *result = bits_float(w ^ 0x80000000u); return 1;
    case DF_OP_ABS: *result = bits_float(w & 0x7FFFFFFFu); return 1;
    default: return 0;
    }
}

int df_calc_double_op2(s4 op, double a, double b, double* result)
{
    return calc_fp_op2(op, a, b, is_neg_zero_double, result);
}

int df_calc_double_op1(s4 op, double a, double* result)
{
    if (!double_ok(a))
        return 0;
    u8 w = double_bits(a);
    double r;
    switch (op) {
    case DF_OP_NEG: r = bits_double(w ^ 0x8000000000000000ull); break;
    case DF_OP_ABS: r = bits_double(w & 0x7FFFFFFFFFFFFFFFull); break;
    default: {
        // The Math functions of the VM, as compiled code calls them.
        double (*fn)(double) = nullptr;
        switch (op) {
        case 25: fn = jsin; break;
        case 26: fn = jcos; break;
        case 27: fn = jtan; break;
        case 28: fn = jasin; break;
        case 29: fn = jacos; break;
        case 30: fn = jatan; break;
        case 31: fn = jexp; break;
        case 32: fn = jlog; break;
        case 33: fn = jsqrt; break;
        case 34: fn = jceil; break;
        case 35: fn = jfloor; break;
        default: return 0;
        }
        if (fn == nullptr)
            return 0;
        volatile double v = fn(a);
        r = v;
        break;
    }
    }
    if (!double_ok(r))
        return 0;
    *result = r;
    return 1;
}

namespace {

// Typed folding of a quadruple whose operands are not both locals.  1 when
// the quadruple was rebuilt.
int fold_typed(method_compile_context* m, quadruple* q, s4 k1, u4 v1, s4 k2, u4 v2)
{
    s4 op = q->op;
    switch (q->opcode) {
    case OP_IOP1:
        if (k1 == CPV_IMM || k1 == CPV_PTR) {
            s4 r;
            if (v1 != 0 && df_calc_op1(0, op, *reinterpret_cast<const s4*>(static_cast<uintptr_t>(v1)), &r)) {
                fold_to_int(q, r);
                return 1;
            }
        }
        return 0;
    case OP_LOP2: {
        int64_t a, b, r;
        if (long_value(k1, v1, &a) && long_value(k2, v2, &b) && df_calc_long_op2(op, a, b, &r))
            return fold_to_long(m, q, r);
        return 0;
    }
    case OP_LSHIFT: {
        int64_t a, r;
        if (k2 == CPV_INT && long_value(k1, v1, &a) && df_calc_long_shift(op, a, static_cast<s4>(v2), &r))
            return fold_to_long(m, q, r);
        return 0;
    }
    case OP_LOP1: {
        int64_t a, r;
        if (long_value(k1, v1, &a) && df_calc_long_op1(op, a, &r))
            return fold_to_long(m, q, r);
        return 0;
    }
    case OP_FOP2: {
        float a, b, r;
        if (operand_type(q->src1) == QT_FLOAT && operand_type(q->src2) == QT_FLOAT && float_value(k1, v1, &a)
            && float_value(k2, v2, &b) && df_calc_float_op2(op, a, b, &r))
            return fold_to_float(m, q, r);
        return 0;
    }
    case OP_FOP1: {
        float a, r;
        if (operand_type(q->src1) == QT_FLOAT && operand_type(q->result) == QT_FLOAT && float_value(k1, v1, &a)
            && df_calc_float_op1(op, a, &r))
            return fold_to_float(m, q, r);
        return 0;
    }
    case OP_DOP2: {
        double a, b, r;
        if (operand_type(q->src1) == QT_DOUBLE && operand_type(q->src2) == QT_DOUBLE && double_value(k1, v1, &a)
            && double_value(k2, v2, &b) && df_calc_double_op2(op, a, b, &r))
            return fold_to_double(m, q, r);
        return 0;
    }
    case OP_DOP1: {
        double a, r;
        if (operand_type(q->src1) == QT_DOUBLE && operand_type(q->result) == QT_DOUBLE && double_value(k1, v1, &a)
            && df_calc_double_op1(op, a, &r))
            return fold_to_double(m, q, r);
        return 0;
    }
    default: break;
    }
    if (q->opcode < OPC_I2L || q->opcode > OPC_D2F || (k1 != CPV_IMM && k1 != CPV_PTR))
        return 0;
    // Conversions of a non-int constant, by the source's type.
    switch (q->opcode) {
    case OPC_L2I: case OPC_L2F: case OPC_L2D: {
        int64_t a;
        if (!long_value(k1, v1, &a))
            return 0;
        if (q->opcode == OPC_L2I) {
            fold_to_int(q, static_cast<s4>(a));
            return 1;
        }
        return q->opcode == OPC_L2F ? fold_to_float(m, q, static_cast<float>(a))
                                    : fold_to_double(m, q, static_cast<double>(a));
    }
    case OPC_D2I: case OPC_D2F: {
        double a;
        if (!double_value(k1, v1, &a) || !double_ok(a))
            return 0;
        if (q->opcode == OPC_D2F) {
            volatile float f = static_cast<float>(a);
            return fold_to_float(m, q, f);
        }
        s4 r = a >= 2147483647.0 ? 0x7FFFFFFF : a <= -2147483648.0 ? static_cast<s4>(0x80000000u) : static_cast<s4>(a);
        fold_to_int(q, r);
        return 1;
    }
    case OPC_F2I: case OPC_F2D: {
        float a;
        if (!float_value(k1, v1, &a) || !float_ok(a))
            return 0;
        if (q->opcode == OPC_F2D)
            return fold_to_double(m, q, static_cast<double>(a));
        if (a >= 2147483648.0f) {
            fold_to_int(q, 0x7FFFFFFF);
            return 1;
        }
        if (a <= -2147483648.0f) {
            fold_to_int(q, static_cast<s4>(0x80000000u));
            return 1;
        }
        if (q->op != F2I_FOLDABLE_OP)
            return 0;
        fold_to_int(q, static_cast<s4>(a));
        return 1;
    }
    default: return 0;
    }
}

// Conversions of an integer-valued constant.
int fold_int_conversion(method_compile_context* m, quadruple* q, s4 v)
{
    switch (q->opcode) {
    case OPC_I2L: case OPC_F2L: case OPC_D2L: return fold_to_long(m, q, v);
    case OPC_I2F: case OPC_L2F: case OPC_D2F: {
        volatile float f = static_cast<float>(v);
        return fold_to_float(m, q, f);
    }
    case OPC_I2D: case OPC_L2D: case OPC_F2D: return fold_to_double(m, q, static_cast<double>(v));
    case OPC_L2I: case OPC_F2I: case OPC_D2I: fold_to_int(q, v); return 1;
    default: return 0;
    }
}

bool is_power_of_two_float(float f) { return (float_bits(f) & 0x007FFFFFu) == 0 && f > 0; }
bool is_power_of_two_double(double d) { return (double_bits(d) & 0x000FFFFFFFFFFFFFull) == 0 && d > 0; }

// f / 2^k becomes f * 2^-k; then x * 1.0 a move and x * -1.0 a negation.
void strength_reduce_fp(method_compile_context* m, quadruple* q, s4 k2, u4 v2)
{
    bool is_float = q->opcode == OP_FOP2;
    u1 type = is_float ? QT_FLOAT : QT_DOUBLE;
    if (operand_type(q->src1) != type || operand_type(q->src2) != type)
        return;
    u1 k = operand_kind(q->src2);
    bool imm_free = !(q->flags_a & QA_CONSTANT) || k == QK_CONSTANT || k == QK_CONST_PTR;
    if (q->op == DF_OP_DIV && imm_free && mcc_const_tables(m) != nullptr) {
        bool done = false;
        if (is_float) {
            float d;
            if (float_value(k2, v2, &d) && is_power_of_two_float(d) && float_ok(d)) {
                float r = 1.0f / d;   // exact: a power of two
                if (float_ok(r)) {
                    if (float_bits(r) == float_bits(1.0f) || float_bits(r) == float_bits(2.0f)) {
                        quad_operand_set(q->src2, quad_kind_byte(QK_IMMEDIATE, type), r == 1.0f ? 1 : 2);
                        if (k == QK_CONSTANT || k == QK_CONST_PTR)
                            q->flags_a &= ~QA_CONSTANT;
                    } else {
                        u4 w = float_bits(r);
                        const u4* at = SearchConstTable(m, mcc_pool_constants(m), CONST_KIND_FLOAT, &w);
                        u1 kind = QK_CONSTANT;
                        if (at == nullptr) {
                            at = AddConstTable(m, mcc_folded_constants(m), CONST_KIND_FLOAT, &w);
                            kind = QK_CONST_PTR;
                        }
                        q->value = reinterpret_cast<u4>(at);
                        q->flags_a |= QA_CONSTANT;
                        quad_operand_set(q->src2, quad_kind_byte(kind, type), QUAD_NO_NUMBER);
                    }
                    q->op = DF_OP_MUL;
                    done = true;
                }
            }
        } else {
            double d;
            if (double_value(k2, v2, &d) && is_power_of_two_double(d) && double_ok(d)) {
                double r = 1.0 / d;
                if (double_ok(r)) {
                    if (double_bits(r) == double_bits(1.0)) {
                        quad_operand_set(q->src2, quad_kind_byte(QK_IMMEDIATE, type), 1);
                        if (k == QK_CONSTANT || k == QK_CONST_PTR)
                            q->flags_a &= ~QA_CONSTANT;
                    } else {
                        u8 bits = double_bits(r);
                        u4 w[2] = {static_cast<u4>(bits), static_cast<u4>(bits >> 32)};
                        const u4* at = SearchConstTable(m, mcc_pool_constants(m), CONST_KIND_DOUBLE, w);
                        u1 kind = QK_CONSTANT;
                        if (at == nullptr) {
                            at = AddConstTable(m, mcc_folded_constants(m), CONST_KIND_DOUBLE, w);
                            kind = QK_CONST_PTR;
                        }
                        q->value = reinterpret_cast<u4>(at);
                        q->flags_a |= QA_CONSTANT;
                        quad_operand_set(q->src2, quad_kind_byte(kind, type), QUAD_NO_NUMBER);
                    }
                    q->op = DF_OP_MUL;
                    done = true;
                }
            }
        }
        if (!done)
            return;
        // The second operand now stands as rewritten above.
        k = operand_kind(q->src2);
        if (k == QK_IMMEDIATE) {
            k2 = CPV_INT;
            v2 = q->src2.number;
        } else {
            k2 = k == QK_CONSTANT ? CPV_IMM : CPV_PTR;
            v2 = q->value;
        }
    }
    if (q->op != DF_OP_MUL)
        return;
    double c;
    if (is_float) {
        float f;
        if (!float_value(k2, v2, &f))
            return;
        c = f;
    } else if (!double_value(k2, v2, &c)) {
        return;
    }
    if (c != 1.0 && c != -1.0)
        return;
    bool negate = c == -1.0;
    quad_operand src = q->src1;
    u4 value = q->value;
    u1 taken = operand_kind(src) == QK_CONSTANT || operand_kind(src) == QK_CONST_PTR ? (q->flags_a & QA_CONSTANT) : 0;
    u1 opcode = negate ? (is_float ? OP_FOP1 : OP_DOP1) : static_cast<u1>(is_float ? OPC_FMOVE : OPC_DMOVE);
    u4 exc = q->opcount & QC_PERMISSIONS;
    clear_header(q, opcode);
    q->opcount = static_cast<u2>(1 | exc);
    q->src1 = src;
    if (taken) {
        q->value = value;
        q->flags_a |= taken;
    }
    if (negate)
        q->op = DF_OP_NEG;
}

bool both_locals(s4 k1, s4 k2) { return k1 == CPV_LOCAL && k2 == CPV_LOCAL; }

bool commutative(u2 op) { return op == DF_OP_ADD || (op >= DF_OP_MUL && op <= DF_OP_MIN); }

} // namespace

void df_calc_const_quad(method_compile_context* m, dataflow_pass_context* pc, u4 block, quadruple** slot, s4 k1,
                        u4 v1, s4 k2, u4 v2)
{
    quadruple* q = *slot;
    if (df_shape(q) == 0 || df_calc_const_disabled())
        return;
    s4 op = q->op;
    u1 opcode = q->opcode;
    bool int1 = k1 == CPV_INT, int2 = k2 == CPV_INT;
    s4 a = static_cast<s4>(v1), b = static_cast<s4>(v2);
    bool folded = false, decided = false;
    int identity = 0;
    s4 r;
    if (!int1 && !int2) {
        if (k1 == k2 && v1 == v2 && k1 != CPV_NONE) {
            if (opcode == OP_LCMP) {
                fold_to_int(q, 0);
                folded = true;
            } else if (opcode == OP_IFCMP || opcode == OP_IFACMP || opcode == OP_LCMP_BRANCH) {
                s4 zero = 0;
                decided = df_decide_const_branch(m, block, slot, &zero, &zero) != 0;
            }
        }
    } else if (int2 && !int1) {
        if (opcode == OP_IOP2 && df_calc_op2_const1(m, op, &identity, nullptr, &b, &r)) {
            fold_to_int(q, r);
            folded = true;
        }
    } else if (int1 && !int2) {
        switch (opcode) {
        case OP_IOP2:
            if (df_calc_op2_const1(m, op, &identity, &a, nullptr, &r)) {
                fold_to_int(q, r);
                folded = true;
            }
            break;
        case OP_IOP1:
            if (df_calc_op1(0, op, a, &r)) {
                fold_to_int(q, r);
                folded = true;
            }
            break;
        case OP_IFZ: case OP_IFNULL: {
            s4 zero = 0;
            decided = df_decide_const_branch(m, block, slot, &a, &zero) != 0;
            break;
        }
        case OP_SWITCH:
            decided = decide_switch(m, block, slot, a);
            break;
        default:
            if (opcode >= OPC_I2L && opcode <= OPC_D2F && !both_locals(k1, k2))
                folded = fold_int_conversion(m, q, a) != 0;
            break;
        }
    } else {
        switch (opcode) {
        case OP_IFCMP: case OP_IFACMP: case OP_LCMP_BRANCH:
            decided = df_decide_const_branch(m, block, slot, &a, &b) != 0;
            break;
        case OP_LCMP:
            fold_to_int(q, a > b ? 1 : a == b ? 0 : -1);
            folded = true;
            break;
        case OP_SIZECHECK:
            if (a >= 0 && a < b) {
                ChangeNOP(m, static_cast<s4>(block), static_cast<s4>(slot - m->bb_table[block]->catbl));
                folded = true;
            }
            break;
        case OP_IOP2:
            if (df_calc_op2(0, op, a, b, &r)) {
                fold_to_int(q, r);
                folded = true;
            }
            break;
        default: break;
        }
    }
    if (decided) {
        flow_changed(pc);
        return;
    }
    if (!folded && !both_locals(k1, k2))
        folded = fold_typed(m, q, k1, v1, k2, v2) != 0;
    if (folded)
        return;
    if (opcode == OP_IOP2 && int2 && b != 0)
        set_no_exception(q);
    if (identity) {
        // The constant operand drops out: the other one is moved.
        become_move(q, int1 ? q->src2 : q->src1);
        return;
    }
    if ((opcode == OP_FOP2 || opcode == OP_DOP2) && !(k1 == CPV_INT || k1 == CPV_IMM || k1 == CPV_PTR)
        && (k2 == CPV_INT || k2 == CPV_IMM || k2 == CPV_PTR)) {
        strength_reduce_fp(m, q, k2, v2);
        if (q->opcode != opcode)
            return;
    }
    if ((opcode == OP_IOP2 || opcode == OP_LOP2 || opcode == OP_FOP2 || opcode == OP_DOP2) && commutative(q->op)
        && df_shape(q) == 2 && operand_kind(q->src2) == QK_VARIABLE && operand_kind(q->src1) != QK_ARGUMENT
        && operand_kind(q->src1) >= QK_VARIABLE && operand_kind(q->src1) <= QK_CONST_PTR
        && !(operand_kind(q->src1) == QK_VARIABLE && q->src1.number <= q->src2.number)) {
        quad_operand t = q->src1;
        q->src1 = q->src2;
        q->src2 = t;
    }
}

void df_calc_select(method_compile_context* m, dataflow_pass_context*, u4 block, quadruple** slot)
{
    quadruple* q = *slot;
    if (df_shape(q) != QC_SRC_LIST || df_calc_const_disabled())
        return;
    quad_operand_list_entry* e[4];
    quad_operand_list_entry* p = quad_list_head(q);
    for (int i = 0; i < 4; i++) {
        if (p == nullptr)
            return;
        e[i] = p;
        p = p->next;
    }
    if (p != nullptr)
        return;
    auto int_const = [&](const quad_operand_list_entry* x, s4* v) {
        switch (x->kind & QK_KIND_MASK) {
        case QK_IMMEDIATE: *v = x->number; return true;
        case QK_NEG_IMMEDIATE: *v = -static_cast<s4>(x->number); return true;
        case QK_CONSTANT:
            if (((x->kind >> QT_SHIFT) & 0xF) != QT_INT)
                return false;
            *v = static_cast<s4>(q->value);
            return true;
        default: return false;
        }
    };
    auto same = [](const quad_operand_list_entry* x, const quad_operand_list_entry* y) {
        return (x->kind & 0xFF) == (y->kind & 0xFF) && x->number == y->number
               && (x->kind & QK_KIND_MASK) != QK_CONSTANT && (x->kind & QK_KIND_MASK) != QK_CONST_PTR;
    };
    s4 a, b;
    const quad_operand_list_entry* chosen = nullptr;
    u2 code = q->op;
    if (int_const(e[0], &a) && int_const(e[1], &b) && ((code >= 2 && code <= 8) || code == 10)) {
        int holds = condition_holds(code, a, b);
        if (holds >= 0)
            chosen = holds ? e[2] : e[3];
    } else if (same(e[2], e[3])) {
        chosen = e[2];
    }
    if (chosen == nullptr)
        return;
    quad_operand src{};
    src.kind = static_cast<u1>(chosen->kind & 0xFF);
    src.number = chosen->number;
    u1 ck = src.kind & QK_KIND_MASK;
    if (ck != QK_VARIABLE && ck != QK_IMMEDIATE && ck != QK_NEG_IMMEDIATE && ck != QK_CONSTANT && ck != QK_CONST_PTR)
        return;
    (void)m;
    (void)block;
    become_move(q, src);
}
