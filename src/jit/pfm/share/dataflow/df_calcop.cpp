// Compile-time evaluation of the integer operators of the quadruple language
// on 32-bit constants, with Java int semantics (arithmetic wraps modulo
// 2^32).  A folder answers 1 with the result stored, or 0 to refuse: every
// case it does not fold, including each division or remainder that would
// trap or overflow and every shift right of a negative value (whose
// arithmetic and logical forms differ), is refused and the caller keeps the
// quadruple.  Pure: no state, no allocation, no messages.
#include "dataflow/dataflow.h"

namespace {

constexpr s4 INT_MIN_VALUE = static_cast<s4>(0x80000000u);

u4 wrap(u4 v) { return v; }

} // namespace

int df_calc_op2(u4, s4 code, s4 a, s4 b, s4* result)
{
    u4 ua = static_cast<u4>(a), ub = static_cast<u4>(b);
    s4 r;
    switch (code) {
    case DF_OP_ADD: r = static_cast<s4>(wrap(ua + ub)); break;
    case DF_OP_SUB: r = static_cast<s4>(wrap(ua - ub)); break;
    case DF_OP_MUL: r = static_cast<s4>(wrap(ua * ub)); break;
    case DF_OP_AND: r = a & b; break;
    case DF_OP_OR: r = a | b; break;
    case DF_OP_XOR: r = a ^ b; break;
    case DF_OP_MAX: r = b >= a ? b : a; break;
    case DF_OP_MIN: r = b <= a ? b : a; break;
    case DF_OP_DIV:
    case DF_OP_REM:
        if (b == 0 || b == INT_MIN_VALUE || a == INT_MIN_VALUE)
            return 0;
        r = code == DF_OP_DIV ? a / b : a % b;
        break;
    case DF_OP_SHL:
    case DF_OP_SHL2: r = static_cast<s4>(ua << (ub & 31)); break;
    case DF_OP_SHR:
    case DF_OP_USHR:
        if (a < 0)
            return 0;
        r = a >> (b & 31);
        break;
    default: return 0;
    }
    *result = r;
    return 1;
}

int df_calc_op1(u4, s4 code, s4 a, s4* result)
{
    u4 ua = static_cast<u4>(a);
    s4 r;
    switch (code) {
    case DF_OP_NEG: r = static_cast<s4>(0u - ua); break;
    case DF_OP_2B: r = static_cast<int8_t>(ua & 0xFF); break;
    case DF_OP_2C: r = static_cast<s4>(ua & 0xFFFF); break;
    case DF_OP_2S: r = static_cast<int16_t>(ua & 0xFFFF); break;
    case DF_OP_ABS: r = a >= 0 ? a : static_cast<s4>(0u - ua); break;
    case DF_OP_NOT:
    case DF_OP_NOT2: r = a == 0 ? 1 : 0; break;
    case DF_OP_2Z: r = a != 0 ? 1 : 0; break;
    default: return 0;
    }
    *result = r;
    return 1;
}
