// The test interpreter of final quadruples (see quad_interp.h).
#include "quad_interp.h"

#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <vector>

#include "driver/driver.h"
#include "frontend/qgen.h"

namespace {

using u8 = uint64_t;
using s8 = int64_t;

struct machine {
    const method_compile_context* m;
    std::vector<u4> vars;
    const u4* args;
    u4 nargs;
    std::string why;
};

u4 type_of(u1 kind_byte) { return kind_byte >> QT_SHIFT; }
bool wide(u4 type) { return type == QT_LONG || type == QT_DOUBLE; }

float f_of(u4 bits) { float f; memcpy(&f, &bits, 4); return f; }
u4 bits_of(float f) { u4 b; memcpy(&b, &f, 4); return b; }
double d_of(u8 bits) { double d; memcpy(&d, &bits, 8); return d; }
u8 bits_of(double d) { u8 b; memcpy(&b, &d, 8); return b; }

// A value of the operand's type from an immediate.
u8 from_immediate(u4 type, s8 v)
{
    switch (type) {
    case QT_FLOAT: return bits_of(static_cast<float>(v));
    case QT_DOUBLE: return bits_of(static_cast<double>(v));
    case QT_LONG: return static_cast<u8>(v);
    default: return static_cast<u4>(static_cast<s4>(v));
    }
}

bool get(machine& mc, const quadruple* q, u1 kind_byte, u2 number, u8* out)
{
    u4 type = type_of(kind_byte);
    switch (kind_byte & QK_KIND_MASK) {
    case QK_VARIABLE:
        if (number + (wide(type) ? 1u : 0u) >= mc.vars.size()) {
            mc.why = "variable out of range";
            return false;
        }
        *out = wide(type) ? (static_cast<u8>(mc.vars[number]) << 32 | mc.vars[number + 1]) : mc.vars[number];
        return true;
    case QK_IMMEDIATE: *out = from_immediate(type, number); return true;
    case QK_NEG_IMMEDIATE: *out = from_immediate(type, -static_cast<s8>(number)); return true;
    case QK_CONSTANT:
    case QK_CONST_PTR:
        if (type == QT_LONG || type == QT_DOUBLE) {
            const u4* w = reinterpret_cast<const u4*>(q->value);
            *out = static_cast<u8>(w[1]) << 32 | w[0];
        } else if (type == QT_FLOAT) {
            *out = *reinterpret_cast<const u4*>(q->value);
        } else {
            *out = q->value;
        }
        return true;
    case QK_ARGUMENT: {
        u4 slot = number >> 8;
        *out = slot < mc.nargs ? mc.args[slot] : 0;
        return true;
    }
    default:
        mc.why = "operand kind " + std::to_string(kind_byte & QK_KIND_MASK);
        return false;
    }
}

bool set(machine& mc, const quad_operand& o, u8 v)
{
    if ((o.kind & QK_KIND_MASK) != QK_VARIABLE) {
        mc.why = "result kind " + std::to_string(o.kind & QK_KIND_MASK);
        return false;
    }
    bool w = wide(type_of(o.kind));
    if (o.number + (w ? 1u : 0u) >= mc.vars.size()) {
        mc.why = "result variable out of range";
        return false;
    }
    if (w) {
        mc.vars[o.number] = static_cast<u4>(v >> 32);
        mc.vars[o.number + 1] = static_cast<u4>(v);
    } else {
        mc.vars[o.number] = static_cast<u4>(v);
    }
    return true;
}

bool src(machine& mc, const quadruple* q, int which, u8* out)
{
    const quad_operand& o = which == 1 ? q->src1 : q->src2;
    return get(mc, q, o.kind, o.number, out);
}

bool compare(s8 a, s8 b, u2 cond)
{
    switch (cond) {
    case QCC_ALWAYS: return true;
    case QCC_EQ: return a == b;
    case QCC_NE: return a != b;
    case QCC_LT: return a < b;
    case QCC_LE: return a <= b;
    case QCC_GT: return a > b;
    case QCC_GE: return a >= b;
    default: return false;
    }
}

// Three-way floating compare with a NaN rule (4: NaN as less, 6: as greater).
s4 fcmp(double a, double b, u2 rule)
{
    if (isnan(a) || isnan(b))
        return rule == QOP_CMPG ? 1 : -1;
    return a < b ? -1 : a > b ? 1 : 0;
}

s4 d2i(double d)
{
    if (isnan(d)) return 0;
    if (d >= 2147483647.0) return INT32_MAX;
    if (d <= -2147483648.0) return INT32_MIN;
    return static_cast<s4>(d);
}

s8 d2l(double d)
{
    if (isnan(d)) return 0;
    if (d >= 9223372036854775807.0) return INT64_MAX;
    if (d <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<s8>(d);
}

bool int_op(machine& mc, u2 op, s4 a, s4 b, s4* r)
{
    switch (op) {
    case QOP_ADD: *r = static_cast<s4>(static_cast<u4>(a) + static_cast<u4>(b)); return true;
    case QOP_SUB: *r = static_cast<s4>(static_cast<u4>(a) - static_cast<u4>(b)); return true;
    case QOP_MUL: *r = static_cast<s4>(static_cast<u4>(a) * static_cast<u4>(b)); return true;
    case QOP_AND: *r = a & b; return true;
    case QOP_OR: *r = a | b; return true;
    case QOP_XOR: *r = a ^ b; return true;
    case 7: *r = a > b ? a : b; return true;
    case 8: *r = a < b ? a : b; return true;
    case QOP_DIV: case QOP_REM:
        if (b == 0) { mc.why = "division by zero"; return false; }
        if (a == INT32_MIN && b == -1) { *r = op == QOP_DIV ? a : 0; return true; }
        *r = op == QOP_DIV ? a / b : a % b;
        return true;
    case QOP_SHL: *r = static_cast<s4>(static_cast<u4>(a) << (b & 31)); return true;
    case QOP_SHR: *r = a >> (b & 31); return true;
    case QOP_USHR: *r = static_cast<s4>(static_cast<u4>(a) >> (b & 31)); return true;
    default: mc.why = "int operator " + std::to_string(op); return false;
    }
}

bool long_op(machine& mc, u2 op, s8 a, s8 b, s8* r)
{
    switch (op) {
    case QOP_ADD: *r = static_cast<s8>(static_cast<u8>(a) + static_cast<u8>(b)); return true;
    case QOP_SUB: *r = static_cast<s8>(static_cast<u8>(a) - static_cast<u8>(b)); return true;
    case QOP_MUL: *r = static_cast<s8>(static_cast<u8>(a) * static_cast<u8>(b)); return true;
    case QOP_AND: *r = a & b; return true;
    case QOP_OR: *r = a | b; return true;
    case QOP_XOR: *r = a ^ b; return true;
    case 7: *r = a > b ? a : b; return true;
    case 8: *r = a < b ? a : b; return true;
    case QOP_DIV: case QOP_REM:
        if (b == 0) { mc.why = "division by zero"; return false; }
        if (a == INT64_MIN && b == -1) { *r = op == QOP_DIV ? a : 0; return true; }
        *r = op == QOP_DIV ? a / b : a % b;
        return true;
    case QOP_SHL: *r = static_cast<s8>(static_cast<u8>(a) << (b & 63)); return true;
    case QOP_SHR: *r = a >> (b & 63); return true;
    case QOP_USHR: *r = static_cast<s8>(static_cast<u8>(a) >> (b & 63)); return true;
    default: mc.why = "long operator " + std::to_string(op); return false;
    }
}

bool double_op(machine& mc, u2 op, double a, double b, double* r)
{
    volatile double v;
    switch (op) {
    case QOP_ADD: v = a + b; break;
    case QOP_SUB: v = a - b; break;
    case QOP_MUL: v = a * b; break;
    case QOP_DIV: v = a / b; break;
    case QOP_REM: v = fmod(a, b); break;
    case 7: v = a > b ? a : b; break;
    case 8: v = a < b ? a : b; break;
    default: mc.why = "floating operator " + std::to_string(op); return false;
    }
    *r = v;
    return true;
}

bool float_op(machine& mc, u2 op, float a, float b, float* r)
{
    volatile float v;
    switch (op) {
    case QOP_ADD: v = a + b; break;
    case QOP_SUB: v = a - b; break;
    case QOP_MUL: v = a * b; break;
    case QOP_DIV: v = a / b; break;
    case QOP_REM: v = fmodf(a, b); break;
    case 7: v = a > b ? a : b; break;
    case 8: v = a < b ? a : b; break;
    default: mc.why = "floating operator " + std::to_string(op); return false;
    }
    *r = v;
    return true;
}

u4 list_operands(machine& mc, const quadruple* q, u8* out, u4 max)
{
    u4 n = 0;
    for (const quad_operand_list_entry* e = quad_list_head(q); e != nullptr && n < max; e = e->next)
        if (!get(mc, q, static_cast<u1>(e->kind), e->number, &out[n++]))
            return 0;
    return n;
}

enum step_result { STEP_NEXT, STEP_JUMP, STEP_RETURN, STEP_FAIL };

step_result conversion(machine& mc, const quadruple* q)
{
    u8 a;
    if (!src(mc, q, 1, &a))
        return STEP_FAIL;
    u8 r = 0;
    switch (q->opcode) {
    case OPC_I2L: r = static_cast<u8>(static_cast<s8>(static_cast<s4>(a))); break;
    case OPC_I2F: { volatile float f = static_cast<float>(static_cast<s4>(a)); r = bits_of(static_cast<float>(f)); break; }
    case OPC_I2D: r = bits_of(static_cast<double>(static_cast<s4>(a))); break;
    case OPC_L2I: r = static_cast<u4>(a); break;
    case OPC_L2F: { volatile float f = static_cast<float>(static_cast<s8>(a)); r = bits_of(static_cast<float>(f)); break; }
    case OPC_L2D: { volatile double d = static_cast<double>(static_cast<s8>(a)); r = bits_of(static_cast<double>(d)); break; }
    case OPC_F2I: r = static_cast<u4>(d2i(f_of(static_cast<u4>(a)))); break;
    case OPC_F2L: r = static_cast<u8>(d2l(f_of(static_cast<u4>(a)))); break;
    case OPC_F2D: r = bits_of(static_cast<double>(f_of(static_cast<u4>(a)))); break;
    case OPC_D2I: r = static_cast<u4>(d2i(d_of(a))); break;
    case OPC_D2L: r = static_cast<u8>(d2l(d_of(a))); break;
    case OPC_D2F: { volatile float f = static_cast<float>(d_of(a)); r = bits_of(static_cast<float>(f)); break; }
    default: break;
    }
    return set(mc, q->result, r) ? STEP_NEXT : STEP_FAIL;
}

// One quadruple; *next receives the block of a jump.
step_result step(machine& mc, const bbattr* b, const quadruple* q, u4* next, u8* ret)
{
    u8 a = 0, c = 0;
    u1 op = q->opcode;
    switch (op) {
    case OPC_ILOAD: case OPC_LLOAD: case OPC_FLOAD: case OPC_DLOAD: case OPC_ALOAD:
    case OPC_ISTORE: case OPC_LSTORE: case OPC_FSTORE: case OPC_DSTORE: case OPC_ASTORE:
    case OPC_ICONST: case OPC_LCONST: case OPC_FCONST: case OPC_DCONST: case OPC_ACONST:
    case OPC_IMOVE: case OPC_LMOVE: case OPC_FMOVE: case OPC_DMOVE: case OPC_AMOVE:
    case OPC_ILOCALCOPY: case OPC_LLOCALCOPY: case OPC_FLOCALCOPY: case OPC_DLOCALCOPY: case OPC_ALOCALCOPY:
        if (!src(mc, q, 1, &a))
            return STEP_FAIL;
        return set(mc, q->result, a) ? STEP_NEXT : STEP_FAIL;
    case OPC_IOP2: {
        s4 r;
        if (!src(mc, q, 1, &a) || !src(mc, q, 2, &c) || !int_op(mc, q->op, static_cast<s4>(a), static_cast<s4>(c), &r))
            return STEP_FAIL;
        return set(mc, q->result, static_cast<u4>(r)) ? STEP_NEXT : STEP_FAIL;
    }
    case OPC_LOP2: case OPC_LSHIFT: {
        s8 r;
        if (!src(mc, q, 1, &a) || !src(mc, q, 2, &c))
            return STEP_FAIL;
        s8 rhs = op == OPC_LSHIFT ? static_cast<s4>(c) : static_cast<s8>(c);
        if (!long_op(mc, q->op, static_cast<s8>(a), rhs, &r))
            return STEP_FAIL;
        return set(mc, q->result, static_cast<u8>(r)) ? STEP_NEXT : STEP_FAIL;
    }
    case OPC_FOP2: {
        float r;
        if (!src(mc, q, 1, &a) || !src(mc, q, 2, &c)
            || !float_op(mc, q->op, f_of(static_cast<u4>(a)), f_of(static_cast<u4>(c)), &r))
            return STEP_FAIL;
        return set(mc, q->result, bits_of(r)) ? STEP_NEXT : STEP_FAIL;
    }
    case OPC_DOP2: {
        double r;
        if (!src(mc, q, 1, &a) || !src(mc, q, 2, &c) || !double_op(mc, q->op, d_of(a), d_of(c), &r))
            return STEP_FAIL;
        return set(mc, q->result, bits_of(r)) ? STEP_NEXT : STEP_FAIL;
    }
    case OPC_IOP1: case OPC_LOP1: case OPC_FOP1: case OPC_DOP1: {
        if (!src(mc, q, 1, &a))
            return STEP_FAIL;
        u8 r;
        if (op == OPC_IOP1) {
            s4 v = static_cast<s4>(a);
            switch (q->op) {
            case QOP_NEG: r = static_cast<u4>(-static_cast<u4>(v)); break;
            case QOP_I2B: r = static_cast<u4>(static_cast<s4>(static_cast<int8_t>(v))); break;
            case QOP_I2C: r = static_cast<u2>(v); break;
            case QOP_I2S: r = static_cast<u4>(static_cast<s4>(static_cast<int16_t>(v))); break;
            case 23: r = static_cast<u4>(v < 0 ? -static_cast<u4>(v) : static_cast<u4>(v)); break;
            case 24: case 42: r = v == 0 ? 1 : 0; break;
            default: mc.why = "int unary operator " + std::to_string(q->op); return STEP_FAIL;
            }
        } else if (op == OPC_LOP1) {
            s8 v = static_cast<s8>(a);
            r = q->op == QOP_NEG ? -static_cast<u8>(v) : static_cast<u8>(v < 0 ? -v : v);
        } else if (op == OPC_FOP1) {
            float v = f_of(static_cast<u4>(a));
            r = bits_of(q->op == QOP_NEG ? -v : fabsf(v));
        } else {
            double v = d_of(a);
            r = bits_of(q->op == QOP_NEG ? -v : fabs(v));
        }
        return set(mc, q->result, r) ? STEP_NEXT : STEP_FAIL;
    }
    case OPC_LCMP: case OPC_FCMP: case OPC_DCMP: {
        if (!src(mc, q, 1, &a) || !src(mc, q, 2, &c))
            return STEP_FAIL;
        s4 r;
        if (op == OPC_LCMP)
            r = static_cast<s8>(a) < static_cast<s8>(c) ? -1 : static_cast<s8>(a) > static_cast<s8>(c) ? 1 : 0;
        else if (op == OPC_FCMP)
            r = fcmp(f_of(static_cast<u4>(a)), f_of(static_cast<u4>(c)), q->op);
        else
            r = fcmp(d_of(a), d_of(c), q->op);
        return set(mc, q->result, static_cast<u4>(r)) ? STEP_NEXT : STEP_FAIL;
    }
    case OPC_IFZ: case OPC_IFNULL: case OPC_IFCMP: case OPC_IFACMP: case OPC_LCMP_BRANCH: case OPC_FCMP_BRANCH:
    case OPC_DCMP_BRANCH: {
        if (!src(mc, q, 1, &a))
            return STEP_FAIL;
        bool two = op != OPC_IFZ && op != OPC_IFNULL;
        if (two && !src(mc, q, 2, &c))
            return STEP_FAIL;
        bool taken;
        if (op == OPC_LCMP_BRANCH)
            taken = compare(static_cast<s8>(a), static_cast<s8>(c), q->op);
        else if (op == OPC_FCMP_BRANCH)
            taken = compare(fcmp(f_of(static_cast<u4>(a)), f_of(static_cast<u4>(c)), q->count), 0, q->op);
        else if (op == OPC_DCMP_BRANCH)
            taken = compare(fcmp(d_of(a), d_of(c), q->count), 0, q->op);
        else
            taken = compare(static_cast<s4>(a), two ? static_cast<s4>(c) : 0, q->op);
        *next = taken ? q->target : b->succ[0];
        return STEP_JUMP;
    }
    case OPC_GOTO:
        *next = q->target;
        return STEP_JUMP;
    case OPC_SWITCH: {
        if (!src(mc, q, 1, &a))
            return STEP_FAIL;
        s4 v = static_cast<s4>(a);
        *next = b->succ[0];
        if (quad_kind_nibble(q) == 0) {
            s4 low = static_cast<s4>(q->target), high = static_cast<s4>(q->second);
            if (v >= low && v <= high)
                *next = b->succ[1 + (v - low)];
        } else {
            const u1* p = reinterpret_cast<const u1*>(q->second);
            for (u4 i = 0; i < q->target; i++) {
                const u1* k = p + 8 + 8 * i;
                s4 key = static_cast<s4>(static_cast<u4>(k[0]) << 24 | static_cast<u4>(k[1]) << 16
                                         | static_cast<u4>(k[2]) << 8 | k[3]);
                if (key == v) {
                    *next = b->succ[1 + i];
                    break;
                }
            }
        }
        return STEP_JUMP;
    }
    case OPC_I2L: case OPC_I2F: case OPC_I2D: case OPC_L2I: case OPC_L2F: case OPC_L2D:
    case OPC_F2I: case OPC_F2L: case OPC_F2D: case OPC_D2I: case OPC_D2L: case OPC_D2F:
        return conversion(mc, q);
    case OPC_ICMOVE: case OPC_ACMOVE: {
        u8 v[4];
        if (list_operands(mc, q, v, 4) != 4)
            return STEP_FAIL;
        bool cond = compare(static_cast<s4>(v[0]), static_cast<s4>(v[1]), q->op);
        return set(mc, q->result, cond ? v[2] : v[3]) ? STEP_NEXT : STEP_FAIL;
    }
    case OPC_IRETURN: case OPC_LRETURN: case OPC_FRETURN: case OPC_DRETURN: case OPC_ARETURN:
        if (!src(mc, q, 1, ret))
            return STEP_FAIL;
        return STEP_RETURN;
    case OPC_OTHER:
        switch (quad_kind_nibble(q)) {
        case OTHER_RETURN_VOID: *ret = 0; return STEP_RETURN;
        case OTHER_NOP: case OTHER_NOP_DELETED: return STEP_NEXT;
        default: break;
        }
        break;
    case OPC_NOP118: case OPC_CALL_MARK:
        return STEP_NEXT;
    default:
        break;
    }
    char buf[64];
    snprintf(buf, sizeof buf, "opcode %u sub %u", op, quad_kind_nibble(q));
    mc.why = buf;
    return STEP_FAIL;
}

} // namespace

quad_interp_result quad_interpret(const method_compile_context* m, const u4* args, u4 nargs, u4 step_limit)
{
    quad_interp_result r{false, "", {0, 0}, 0};
    machine mc{m, std::vector<u4>(m->local_count + 2u, 0), args, nargs, ""};
    for (u4 i = 0; i < nargs && i < mc.vars.size(); i++)
        mc.vars[i] = args[i];
    const bbattr* entry = m->bb_table[0];
    u4 block = entry->succ_count > 0 ? entry->succ[0] : 1;
    u4 exit = m->bb_count - 1;
    while (r.steps < step_limit) {
        if (block >= exit) {
            r.why = "fell into the exit block";
            return r;
        }
        const bbattr* b = m->bb_table[block];
        u4 next = b->succ_count > 0 ? b->succ[0] : exit;
        bool jumped = false;
        for (u4 k = 0; k < b->quad_count && !jumped; k++) {
            const quadruple* q = b->catbl[k];
            if (q->opcount & QC_DELETED)
                continue;
            r.steps++;
            u8 ret = 0;
            switch (step(mc, b, q, &next, &ret)) {
            case STEP_NEXT: break;
            case STEP_JUMP: jumped = true; break;
            case STEP_RETURN:
                r.ok = true;
                r.value[0] = static_cast<u4>(ret);
                r.value[1] = static_cast<u4>(ret >> 32);
                return r;
            case STEP_FAIL:
                r.why = mc.why;
                return r;
            }
        }
        block = next;
    }
    r.why = "step limit";
    return r;
}
