// Conversion to the final quadruple form: the first step of the quadruple
// optimizations.
//
// Walks every quadruple once and rewrites it from the front-end form
// (bytecode local indices, operand-stack tops, a signed constant) into the
// quadruple form: three operand descriptors naming variables of one
// method-wide numbering, immediates or constants, the source count and the
// permission bits.  On the way: a compare fused with the branch after it, a
// move folded into the store after it, OPC_IINC made an add, the shuffles'
// leftovers dropped, and every class that a resolved OPC_NEW allocates
// entered into the class hierarchy.
//
// Variable numbering (B = bytecode locals, SI/SF = int/float stack slots):
//   0 .. B-1              locals (an int, long or reference local L below A-1
//                         of the argument remap moves to T+L)
//   B .. B+SI-1           int-stack slots: depth d is B+d
//   B+SI .. B+SI+SF-1     float-stack slots, widened: a slot that ever holds
//                         a double takes two numbers (the simulation's slot
//                         marks are the widening table)
//   T = B+SI+SF ..        remapped locals, then the trivial expansion's temporaries
// A long or double takes two consecutive numbers; the descriptor names the
// lower one (the high word; the low word is the higher number).
#include <string.h>

#include "driver/driver.h"
#include "frontend/fe_external.h"
#include "frontend/qgen.h"
#include "inline/inline.h"

namespace {

// Permission (no-exception) bits of the operand-count word, all four: cannot raise.
constexpr u2 PERM_ALL = 0xF000;
constexpr u2 PERM_NO_NULL_EXCEPTION = 0x2000;    // raises no NullPointerException
constexpr u2 PERM_NO_INDEX_EXCEPTION = 0x1000;   // raises no array index or size exception
constexpr u2 PERM_NO_NULL_OR_INDEX = PERM_NO_NULL_EXCEPTION | PERM_NO_INDEX_EXCEPTION;
constexpr u1 KB_ARG_REF = 34;
constexpr u1 KB_REF_IMM = 35, KB_ADDR_CONST = 37, KB_VMPTR_CONST = 117;
constexpr u1 KB_LONG_CONST = 53, KB_FLOAT_IMM = 83, KB_FLOAT_CONST = 85, KB_DOUBLE_IMM = 67, KB_DOUBLE_CONST = 69;
constexpr u1 RETURN_REG = 1;
constexpr u2 OP_IOP1_DROP = QOP_I2Z, OP_IOP1_BOOL = QOP_NOT, OP_IOP1_BOOL_LOCAL = QOP_BOOLNOT;

struct conv {
    method_compile_context* m;
    bbattr* b;
    u4 B, SI, SF, A, T;
    const int8_t* widen;
    u4 widen_len;
    s4 S, R, F, F1, FR;
    const lvattr_entry* method_table;
};

u2 num(s4 v) { return static_cast<u2>(v); }

void set(quad_operand& o, u1 kind_byte, s4 number)
{
    o.kind = kind_byte;
    o.flags &= static_cast<u1>(~QF_FRESH_CLR);
    o.number = num(number);
}

void clear_operand(quad_operand& o) { quad_operand_clear(o); }

void set_sources(quadruple* q, u2 n) { q->opcount = static_cast<u2>((q->opcount & ~QC_SRC_MASK) | n); }

// Sources of the quadruples the stack pass numbers itself.
u2 prenumbered_sources(u1 op)
{
    switch (op) {
    case OPC_PALOAD: case OPC_PADD: case OPC_LOAD_METHODBLOCK: return 2;
    case OPC_LOAD_METHODTABLE: case OPC_METHODBLOCKCHECK: case OPC_MTADDRESSCHECK: return 1;
    default: return 0;
    }
}

void set_perms(quadruple* q, u2 perms) { q->opcount = static_cast<u2>((q->opcount & ~QC_PERMISSIONS) | perms); }

// Shifted float-stack position of slot f (f < 0: empty).
s4 float_position(const conv& c, s4 f)
{
    if (c.widen == nullptr || f < 0)
        return f;
    u4 n = static_cast<u4>(f) < c.widen_len ? static_cast<u4>(f) : c.widen_len;
    return sum_signed_bytes(c.m, c.widen, n) + (static_cast<s4>(f) - static_cast<s4>(n));
}

s4 top(u2 v) { return static_cast<int16_t>(v); }

// Local L of an int, long or reference access.
s4 moved_local(const conv& c, u4 L)
{
    if (c.A != 0 && L + 1 < c.A)
        return static_cast<s4>(c.T + L);
    return static_cast<s4>(L);
}

// Signed constant as an immediate (19 / 20) or a constant in the value word (21).
void int_constant(quadruple* q, quad_operand& o, s4 v, u1 wide_kind)
{
    if (v >= 0 && v <= 65535)
        set(o, KB_INT_IMM, v);
    else if (v < 0 && v >= -65535)
        set(o, KB_INT_NEGIMM, -v);
    else
        set(o, wide_kind, 0);
}

void make_nop(quadruple* q)
{
    quad_make_nop(q, true);
    clear_operand(q->result);
    clear_operand(q->auxop);
    clear_operand(q->src1);
    set_sources(q, 0);
}

// Kind bytes of the stack value of a type letter for result/source.
struct typed {
    u1 kb;
    bool fp;
    bool two;
};
constexpr typed TY_INT{KB_INT, false, false}, TY_LONG{KB_LONG, false, true}, TY_FLOAT{KB_FLOAT, true, false},
    TY_DOUBLE{KB_DOUBLE, true, true}, TY_REF{KB_REF, false, false};

// The stack slot of the result / the top source of a value of type t.
s4 result_slot(const conv& c, typed t) { return t.fp ? c.FR : t.two ? c.R - 1 : c.R; }
s4 source_slot(const conv& c, typed t) { return t.fp ? c.F : t.two ? c.S - 1 : c.S; }

typed type_of_code(u4 code, bool* ok)
{
    *ok = true;
    switch (code) {
    case 2: return TY_REF;
    case 5: case 8: case 9: case 10: case 12: return TY_INT;
    case 6: return TY_FLOAT;
    case 7: return TY_DOUBLE;
    case 11: return TY_LONG;
    default: *ok = false; return TY_INT;
    }
}

int call_operands(conv& c, quadruple** slot)
{
    quadruple* q = *slot;
    u4 kind = quad_kind_nibble(q);
    stack_list* list = quad_stack_list(q);
    quad_operand_list_entry* target_entry = nullptr;
    u2 first_source = q->src1.number;
    quad_set_list_head(q, nullptr);
    if (kind >= 6 && kind <= 9) {
        if (Set_OPRAND(KB_VMPTR, num(static_cast<s4>(c.B) + first_source), q, c.m) != 0)
            return 1;
        target_entry = quad_list_head(q);
    }
    u4 words = q->count & 0xFF;
    u4 int_index = 0, float_index = 0, position = 0;
    bool any = false;
    if (list != nullptr) {
        u4 from = list->count >= words ? list->count - words : 0;
        for (u4 i = from; i < list->count; i++) {
            u4 type = list->entries[i].kind;
            int r = 0;
            switch (type) {
            case SK_INT: r = Set_OPRAND_pair(16, static_cast<u1>(position), static_cast<u1>(int_index++), 0, 0, q, c.m); any = true; break;
            case SK_REF: case SK_NEW: case SK_NEWARRAY:
                r = Set_OPRAND_pair(32, static_cast<u1>(position), static_cast<u1>(int_index++), 0, 0, q, c.m);
                any = true;
                break;
            case SK_LONG1: r = Set_OPRAND_pair(48, static_cast<u1>(position), static_cast<u1>(int_index++), 0, 0, q, c.m); any = true; break;
            case SK_LONG2: int_index++; break;
            case SK_FLOAT: r = Set_OPRAND_pair(80, static_cast<u1>(position), static_cast<u1>(float_index++), 0, 0, q, c.m); any = true; break;
            case SK_DOUBLE1: r = Set_OPRAND_pair(64, static_cast<u1>(position), static_cast<u1>(float_index++), 0, 0, q, c.m); any = true; break;
            default: break;
            }
            if (r != 0)
                return 1;
            position = (position + 1) & 0xFF;
        }
    }
    if (target_entry != nullptr)
        target_entry->extra = int_index >= 3 ? 0x78 : int_index == 2 ? 0x7C : int_index == 1 ? 0x7E : 0;
    set_sources(q, target_entry == nullptr && !any ? 0 : QC_SRC_LIST);
    clear_operand(q->auxop);
    set_perms(q, PERM_NO_NULL_OR_INDEX);
    return 0;
}

bool is_move_for_store(u1 move, u1 store)
{
    return (move == OPC_IMOVE && store == OPC_ISTORE) || (move == OPC_LMOVE && store == OPC_LSTORE)
           || (move == OPC_FMOVE && store == OPC_FSTORE) || (move == OPC_DMOVE && store == OPC_DSTORE)
           || (move == OPC_AMOVE && store == OPC_ASTORE);
}

bool param_bit_clear(const conv& c, u4 local)
{
    return c.method_table == nullptr || local >= c.B || !(c.method_table[local].attr & LVA_PARAMETER);
}

// Returns the number of following quadruples consumed (skipped), or -1 on failure.
int convert(conv& c, quadruple** slot, quadruple** end)
{
    quadruple* q = *slot;
    quadruple* prev = slot > c.b->catbl ? slot[-1] : nullptr;
    quadruple* next = slot + 1 < end ? slot[1] : nullptr;
    u1 op = q->opcode;
    u4 L = q->op;
    set_perms(q, PERM_ALL);
    clear_operand(q->auxop);
    u2 nsrc = 0;
    bool keep_result = false, keep_src1 = false, keep_src2 = false;
    switch (op) {
    case OPC_ILOAD: case OPC_LLOAD: case OPC_FLOAD: case OPC_DLOAD: case OPC_ALOAD: {
        typed t = op == OPC_ILOAD ? TY_INT : op == OPC_LLOAD ? TY_LONG : op == OPC_FLOAD ? TY_FLOAT
                  : op == OPC_DLOAD ? TY_DOUBLE : TY_REF;
        set(q->result, t.kb, result_slot(c, t));
        set(q->src1, t.kb, t.fp ? static_cast<s4>(L) : moved_local(c, L));
        keep_result = keep_src1 = true;
        nsrc = 1;
        break;
    }
    case OPC_ICONST:
        set(q->result, KB_INT, c.R);
        int_constant(q, q->src1, static_cast<s4>(q->value), KB_INT_CONST);
        keep_result = keep_src1 = true;
        nsrc = 1;
        break;
    case OPC_LCONST: {
        set(q->result, KB_LONG, c.R - 1);
        s4 v = static_cast<s4>(q->value);
        if (v == 0 || v == -1) {
            set(q->src1, KB_INT_IMM, v == 0 ? 0 : 1);
        } else {
            const u4* w = reinterpret_cast<const u4*>(q->value);
            s4 low = static_cast<s4>(w[0]), high = static_cast<s4>(w[1]);
            if (high == 0 && low >= 0 && low <= 65535)
                set(q->src1, KB_INT_IMM, low);
            else if (high == -1 && low < 0 && low >= -65535)
                set(q->src1, KB_INT_NEGIMM, -low);
            else
                set(q->src1, KB_LONG_CONST, 0);
        }
        keep_result = keep_src1 = true;
        nsrc = 1;
        break;
    }
    case OPC_FCONST: {
        set(q->result, KB_FLOAT, c.FR);
        s4 v = static_cast<s4>(q->value);
        if (v == 0 || v == -1 || v == -2)
            set(q->src1, KB_FLOAT_IMM, -v);
        else
            set(q->src1, KB_FLOAT_CONST, 0);
        keep_result = keep_src1 = true;
        nsrc = 1;
        break;
    }
    case OPC_DCONST: {
        set(q->result, KB_DOUBLE, c.FR);
        s4 v = static_cast<s4>(q->value);
        if (v == 0 || v == -1)
            set(q->src1, KB_DOUBLE_IMM, -v);
        else
            set(q->src1, KB_DOUBLE_CONST, 0);
        keep_result = keep_src1 = true;
        nsrc = 1;
        break;
    }
    case OPC_ACONST:
        set(q->result, KB_REF, c.R);
        if (q->op == 0) {
            set(q->src1, q->value != 0 ? KB_VMPTR_CONST : KB_REF_IMM, static_cast<s4>(q->value & 0xFFFF));
            nsrc = 1;
        } else {
            u2 field = static_cast<u2>(q->src2.value >> 16);
            q->opcode = OPC_CLASSFIELDLOAD;
            set(q->src1, KB_VMPTR_CONST, static_cast<s4>(q->value & 0xFFFF));
            set(q->src2, KB_INT_IMM, field);
            keep_src2 = true;
            nsrc = 2;
        }
        keep_result = keep_src1 = true;
        break;
    case OPC_ISTORE: case OPC_LSTORE: case OPC_FSTORE: case OPC_DSTORE: case OPC_ASTORE: {
        typed t = op == OPC_ISTORE ? TY_INT : op == OPC_LSTORE ? TY_LONG : op == OPC_FSTORE ? TY_FLOAT
                  : op == OPC_DSTORE ? TY_DOUBLE : TY_REF;
        set(q->result, t.kb, t.fp ? static_cast<s4>(L) : moved_local(c, L));
        set(q->src1, t.kb, source_slot(c, t));
        if (prev != nullptr && is_move_for_store(prev->opcode, op) && !(prev->opcount & QC_DELETED)
            && quad_operand_kind(prev->src1) == QK_VARIABLE && prev->result.number == q->src1.number) {
            q->src1 = prev->src1;
            make_nop(prev);
        }
        keep_result = keep_src1 = true;
        nsrc = 1;
        break;
    }
    case OPC_IOP2: case OPC_LOP2: case OPC_FOP2: case OPC_DOP2: {
        if (op == OPC_IOP2) {
            set(q->src1, KB_INT, c.S - 1);
            set(q->src2, KB_INT, c.S);
            set(q->result, KB_INT, c.R);
        } else if (op == OPC_LOP2) {
            set(q->src1, KB_LONG, c.S - 3);
            set(q->src2, KB_LONG, c.S - 1);
            set(q->result, KB_LONG, c.R - 1);
        } else {
            u1 kb = op == OPC_FOP2 ? KB_FLOAT : KB_DOUBLE;
            set(q->src1, kb, c.F1);
            set(q->src2, kb, c.F);
            set(q->result, kb, c.FR);
        }
        if ((op == OPC_IOP2 || op == OPC_LOP2) && (q->op == QOP_DIV || q->op == QOP_REM))
            set_perms(q, PERM_NO_NULL_OR_INDEX);
        set_sources(q, 2);
        return 0;
    }
    case OPC_LSHIFT:
        set(q->src1, KB_LONG, c.S - 2);
        set(q->src2, KB_INT, c.S);
        set(q->result, KB_LONG, c.R - 1);
        set_sources(q, 2);
        return 0;
    case OPC_IOP1: case OPC_LOP1: case OPC_FOP1: case OPC_DOP1: {
        if (op == OPC_IOP1) {
            set(q->src1, KB_INT, c.S);
            set(q->result, KB_INT, c.R);
        } else if (op == OPC_LOP1) {
            set(q->src1, KB_LONG, c.S - 1);
            set(q->result, KB_LONG, c.R - 1);
        } else {
            u1 kb = op == OPC_FOP1 ? KB_FLOAT : KB_DOUBLE;
            set(q->src1, kb, c.F);
            set(q->result, kb, c.FR);
        }
        clear_operand(q->src2);
        set_sources(q, 1);
        if (op != OPC_IOP1)
            return 0;
        bool load_before = prev != nullptr && prev->opcode == OPC_ILOAD && !(prev->opcount & QC_DELETED);
        bool store_after = next != nullptr && next->opcode == OPC_ISTORE;
        if (q->op == OP_IOP1_DROP && load_before && store_after && prev->src1.number == next->op
            && param_bit_clear(c, next->op)) {
            make_nop(prev);
            make_nop(q);
            make_nop(next);
            return 1;
        }
        if (q->op == OP_IOP1_BOOL && load_before && store_after && param_bit_clear(c, prev->src1.number)
            && (next->op == prev->src1.number || param_bit_clear(c, next->op)))
            q->op = OP_IOP1_BOOL_LOCAL;
        if (load_before) {
            q->src1 = prev->src1;
            make_nop(prev);
        }
        return 0;
    }
    case OPC_IALOAD: case OPC_LALOAD: case OPC_FALOAD: case OPC_DALOAD: case OPC_AALOAD: {
        typed t = op == OPC_IALOAD ? TY_INT : op == OPC_LALOAD ? TY_LONG : op == OPC_FALOAD ? TY_FLOAT
                  : op == OPC_DALOAD ? TY_DOUBLE : TY_REF;
        set(q->src1, KB_REF, c.S - 1);
        set(q->src2, KB_INT, c.S);
        set(q->result, t.kb, result_slot(c, t));
        set_sources(q, 2);
        return 0;
    }
    case OPC_IASTORE: case OPC_LASTORE: case OPC_FASTORE: case OPC_DASTORE: case OPC_AASTORE: {
        if (q->flags_a & QA_LIST_BUILT) {
            quad_operand_list_entry* h = quad_list_head(q);
            if (h != nullptr)
                h->number = num(h->number + static_cast<s4>(c.B));
        } else {
            quad_set_list_head(q, nullptr);
            int r;
            if (op == OPC_LASTORE)
                r = Set_OPRAND(KB_REF, num(c.S - 3), q, c.m) | Set_OPRAND(KB_INT, num(c.S - 2), q, c.m)
                    | Set_OPRAND(KB_LONG, num(c.S - 1), q, c.m);
            else if (op == OPC_FASTORE || op == OPC_DASTORE)
                r = Set_OPRAND(KB_REF, num(c.S - 1), q, c.m) | Set_OPRAND(KB_INT, num(c.S), q, c.m)
                    | Set_OPRAND(op == OPC_FASTORE ? KB_FLOAT : KB_DOUBLE, num(c.F), q, c.m);
            else
                r = Set_OPRAND(KB_REF, num(c.S - 2), q, c.m) | Set_OPRAND(KB_INT, num(c.S - 1), q, c.m)
                    | Set_OPRAND(op == OPC_AASTORE ? KB_REF : KB_INT, num(c.S), q, c.m);
            if (r != 0)
                return -1;
        }
        clear_operand(q->result);
        clear_operand(q->src2);
        set_sources(q, QC_SRC_LIST);
        return 0;
    }
    case OPC_IFZ: case OPC_SWITCH:
        set(q->src1, KB_INT, c.S);
        nsrc = 1;
        keep_src1 = true;
        break;
    case OPC_IFCMP:
        set(q->src1, KB_INT, c.S - 1);
        set(q->src2, KB_INT, c.S);
        nsrc = 2;
        keep_src1 = keep_src2 = true;
        break;
    case OPC_IFNULL:
        set(q->src1, KB_REF, c.S);
        nsrc = 1;
        keep_src1 = true;
        break;
    case OPC_IFACMP:
        set(q->src1, KB_REF, c.S - 1);
        set(q->src2, KB_REF, c.S);
        nsrc = 2;
        keep_src1 = keep_src2 = true;
        break;
    case OPC_LCMP: case OPC_FCMP: case OPC_DCMP: {
        if (op == OPC_LCMP) {
            set(q->src1, KB_LONG, c.S - 3);
            set(q->src2, KB_LONG, c.S - 1);
        } else {
            u1 kb = op == OPC_FCMP ? KB_FLOAT : KB_DOUBLE;
            set(q->src1, kb, c.F1);
            set(q->src2, kb, c.F);
        }
        set_sources(q, 2);
        if (next != nullptr && next->opcode == OPC_IFZ) {
            q->opcode = op == OPC_LCMP ? OPC_LCMP_BRANCH : op == OPC_FCMP ? OPC_FCMP_BRANCH : OPC_DCMP_BRANCH;
            // The float compare's NaN rule (4 less, 6 greater) moves to the
            // count word so that the branch condition can take the operator word.
            if (op != OPC_LCMP)
                q->count = q->op;
            q->op = next->op;
            q->target = next->target;
            clear_operand(q->result);
            make_nop(next);
            return 1;
        }
        set(q->result, KB_INT, c.R);
        return 0;
    }
    case OPC_IINC: {
        q->opcode = OPC_IOP2;
        s4 inc = static_cast<int16_t>(q->count);
        q->count = 0;
        q->op = QOP_ADD;
        set(q->result, KB_INT, moved_local(c, L));
        set(q->src1, KB_INT, moved_local(c, L));
        int_constant(q, q->src2, inc, KB_INT_CONST);
        set_sources(q, 2);
        return 0;
    }
    case OPC_IRETURN: case OPC_LRETURN: case OPC_FRETURN: case OPC_DRETURN: case OPC_ARETURN: {
        static constexpr typed kTypes[5] = {TY_INT, TY_LONG, TY_FLOAT, TY_DOUBLE, TY_REF};
        static constexpr u1 kReturnKinds[5] = {25, 57, 89, 73, 41};
        typed t = kTypes[op - OPC_IRETURN];
        set(q->src1, t.kb, source_slot(c, t));
        set(q->result, kReturnKinds[op - OPC_IRETURN], 0);
        if (op == OPC_IRETURN || op == OPC_ARETURN) {
            q->src1.flags |= QF_FIXED_REG;
            q->src1.reg = RETURN_REG;
        }
        clear_operand(q->src2);
        set_sources(q, 1);
        return 0;
    }
    case OPC_NEW: {
        set(q->result, KB_REF, c.R);
        clear_operand(q->src1);
        clear_operand(q->src2);
        set_sources(q, 0);
        if (quad_unresolved(q)) {
            set_perms(q, 0);
            return 0;
        }
        classblock* cb = reinterpret_cast<classblock*>(q->aux);
        if (cb == nullptr && c.b->mb != nullptr && c.b->mb->clazz->constantpool != nullptr)
            cb = reinterpret_cast<classblock*>(c.b->mb->clazz->constantpool[q->op]);
        if (cb != nullptr) {
            set_perms(q, (cb->state & CS_INITIALIZED) ? PERM_ALL : 0);
            AddClass(cb, 0, 1, 1);
        }
        return 0;
    }
    case OPC_CHECKCAST: case OPC_MONITOR: case OPC_ATHROW:
        set(q->src1, KB_REF, c.S);
        clear_operand(q->result);
        clear_operand(q->src2);
        set_sources(q, 1);
        set_perms(q, PERM_NO_NULL_OR_INDEX);
        return 0;
    case OPC_INSTANCEOF: case OPC_IGETFIELD: case OPC_AGETFIELD:
    case OPC_LGETFIELD: case OPC_FGETFIELD: case OPC_DGETFIELD: {
        typed t = op == OPC_LGETFIELD ? TY_LONG : op == OPC_FGETFIELD ? TY_FLOAT : op == OPC_DGETFIELD ? TY_DOUBLE
                  : op == OPC_AGETFIELD ? TY_REF : TY_INT;
        set(q->src1, KB_REF, c.S);
        set(q->result, t.kb, result_slot(c, t));
        clear_operand(q->src2);
        set_sources(q, 1);
        if ((op == OPC_INSTANCEOF || op == OPC_IGETFIELD || op == OPC_AGETFIELD) && prev != nullptr
            && prev->opcode == OPC_ALOAD && !(prev->opcount & QC_DELETED)) {
            q->src1 = prev->src1;
            make_nop(prev);
        }
        if ((op == OPC_IGETFIELD || op == OPC_AGETFIELD) && quad_unresolved(q))
            set_perms(q, 0);
        return 0;
    }
    case OPC_ICALL: case OPC_LCALL: case OPC_FCALL: case OPC_DCALL: case OPC_ACALL: case OPC_VCALL: {
        static constexpr typed kTypes[5] = {TY_INT, TY_LONG, TY_FLOAT, TY_DOUBLE, TY_REF};
        if (op == OPC_VCALL)
            clear_operand(q->result);
        else
            set(q->result, kTypes[op - OPC_ICALL].kb, result_slot(c, kTypes[op - OPC_ICALL]));
        clear_operand(q->src2);
        if (call_operands(c, slot) != 0)
            return -1;
        if (q->subcode & QS_TRIVIAL_CALL)
            return trivGenerateQuadruple(c.m, slot, c.b, num(static_cast<s4>(c.T)), num(static_cast<s4>(c.A)));
        return 0;
    }
    case OPC_IPUTFIELD: case OPC_LPUTFIELD: case OPC_FPUTFIELD: case OPC_DPUTFIELD: case OPC_APUTFIELD: {
        clear_operand(q->result);
        if ((q->flags_b & QB_ZERO_INIT) && (q->flags_a & QA_LIST_BUILT)) {
            // A zeroing store made behind the allocation of a small object:
            // its stack tops are the allocation's, its first source already
            // names the new object's stack slot, and the value is a zero of
            // the field's type.
            set(q->src1, KB_REF, static_cast<s4>(c.B) + q->src1.number);
            u1 zero = op == OPC_LPUTFIELD   ? quad_kind_byte(QK_IMMEDIATE, QT_LONG)
                      : op == OPC_FPUTFIELD ? KB_FLOAT_IMM
                      : op == OPC_DPUTFIELD ? KB_DOUBLE_IMM
                                            : KB_INT_IMM;
            set(q->src2, zero, 0);
        } else if (op == OPC_IPUTFIELD || op == OPC_APUTFIELD) {
            set(q->src1, KB_REF, c.S - 1);
            set(q->src2, op == OPC_IPUTFIELD ? KB_INT : KB_REF, c.S);
        } else if (op == OPC_LPUTFIELD) {
            set(q->src1, KB_REF, c.S - 2);
            set(q->src2, KB_LONG, c.S - 1);
        } else {
            set(q->src1, KB_REF, c.S);
            set(q->src2, op == OPC_FPUTFIELD ? KB_FLOAT : KB_DOUBLE, c.F);
        }
        set_sources(q, 2);
        return 0;
    }
    case OPC_IGETSTATIC: case OPC_LGETSTATIC: case OPC_FGETSTATIC: case OPC_DGETSTATIC: case OPC_AGETSTATIC: {
        static constexpr typed kTypes[5] = {TY_INT, TY_LONG, TY_FLOAT, TY_DOUBLE, TY_REF};
        typed t = kTypes[op - OPC_IGETSTATIC];
        set(q->result, t.kb, result_slot(c, t));
        clear_operand(q->src1);
        clear_operand(q->src2);
        set_sources(q, 0);
        return 0;
    }
    case OPC_IPUTSTATIC: case OPC_LPUTSTATIC: case OPC_FPUTSTATIC: case OPC_DPUTSTATIC: case OPC_APUTSTATIC: {
        static constexpr typed kTypes[5] = {TY_INT, TY_LONG, TY_FLOAT, TY_DOUBLE, TY_REF};
        typed t = kTypes[op - OPC_IPUTSTATIC];
        clear_operand(q->result);
        set(q->src1, t.kb, source_slot(c, t));
        clear_operand(q->src2);
        set_sources(q, 1);
        return 0;
    }
    case OPC_NEWARRAY:
        if ((q->flags_b & QB_ZERO_INIT) && prev != nullptr)
            int_constant(q, q->src1, static_cast<s4>(prev->value), KB_INT_CONST);
        else
            set(q->src1, KB_INT, c.S);
        set(q->result, KB_REF, c.R);
        clear_operand(q->src2);
        set_sources(q, 1);
        set_perms(q, PERM_NO_NULL_OR_INDEX);
        return 0;
    case OPC_ANEWARRAY:
        set(q->src1, KB_INT, c.S);
        set(q->result, KB_REF, c.R);
        clear_operand(q->src2);
        set_sources(q, 1);
        set_perms(q, PERM_NO_NULL_OR_INDEX);
        return 0;
    case OPC_MULTIANEWARRAY: {
        u4 d = q->count;
        set(q->result, KB_REF, c.R);
        clear_operand(q->src2);
        if (d == 0) {
            clear_operand(q->src1);
            set_sources(q, 0);
        } else if (d == 1) {
            set(q->src1, KB_INT, c.S);
            set_sources(q, 1);
        } else if (d == 2) {
            set(q->src1, KB_INT, c.S - 1);
            set(q->src2, KB_INT, c.S);
            set_sources(q, 2);
        } else {
            quad_set_list_head(q, nullptr);
            for (u4 i = 0; i < d; i++)
                if (Set_OPRAND(KB_INT, num(c.S - static_cast<s4>(d) + 1 + static_cast<s4>(i)), q, c.m) != 0)
                    return -1;
            set_sources(q, QC_SRC_LIST);
        }
        set_perms(q, quad_unresolved(q) ? 0 : PERM_NO_NULL_OR_INDEX);
        return 0;
    }
    case OPC_ARRAYLENGTH:
        set(q->src1, KB_REF, c.S);
        set(q->result, KB_INT, c.R);
        clear_operand(q->src2);
        set_sources(q, 1);
        return 0;
    case OPC_ARRAYLENGTH_MARK:
        // The length of an array access's bounds or store check: the stack
        // pass numbered it (array and temporary); the stack tops it carries
        // are those of the access, whose top is the index or the value.
        q->opcode = OPC_ARRAYLENGTH;
        set(q->src1, KB_REF, q->src1.number + static_cast<s4>(c.B));
        set(q->result, KB_INT, q->result.number + static_cast<s4>(c.B));
        clear_operand(q->src2);
        set_sources(q, 1);
        return 0;
    case OPC_PALOAD:
        // The element class of an object array for the store check of
        // aastore, made by the stack pass: the length slot becomes the class.
        set(q->result, KB_INT, q->result.number + static_cast<s4>(c.B));
        set(q->src1, KB_REF, q->src1.number + static_cast<s4>(c.B));
        set(q->src2, KB_INT, q->src2.number + static_cast<s4>(c.B));
        set_sources(q, 2);
        return 0;
    case OPC_I2L: case OPC_I2F: case OPC_I2D: case OPC_L2I: case OPC_L2F: case OPC_L2D:
    case OPC_F2I: case OPC_F2L: case OPC_F2D: case OPC_D2I: case OPC_D2L: case OPC_D2F: {
        static constexpr typed kFrom[12] = {TY_INT, TY_INT, TY_INT, TY_LONG, TY_LONG, TY_LONG,
                                            TY_FLOAT, TY_FLOAT, TY_FLOAT, TY_DOUBLE, TY_DOUBLE, TY_DOUBLE};
        static constexpr typed kTo[12] = {TY_LONG, TY_FLOAT, TY_DOUBLE, TY_INT, TY_FLOAT, TY_DOUBLE,
                                          TY_INT, TY_LONG, TY_DOUBLE, TY_INT, TY_LONG, TY_FLOAT};
        u4 i = static_cast<u4>(op - OPC_I2L);
        set(q->src1, kFrom[i].kb, source_slot(c, kFrom[i]));
        set(q->result, kTo[i].kb, result_slot(c, kTo[i]));
        clear_operand(q->src2);
        set_sources(q, 1);
        return 0;
    }
    case OPC_POP: case OPC_POP2:
        make_nop(q);
        return 0;
    case OPC_LDC:
        set(q->src1, KB_ADDR_CONST, 0);
        set(q->result, KB_REF, c.R);
        clear_operand(q->src2);
        set_sources(q, 1);
        return 0;
    case OPC_JSR:
        set(q->result, KB_REF, c.S + 1);
        clear_operand(q->src1);
        clear_operand(q->src2);
        set_sources(q, 0);
        return 0;
    case OPC_NULLCHECK_MARK:
        if (c.S <= c.R)
            return 0;
        if (!(q->subcode & QS_NO_NULLCHECK)) {
            q->opcode = OPC_NULLCHECK;
            set(q->src1, KB_REF, c.S);
            clear_operand(q->result);
            clear_operand(q->src2);
            q->flags_a |= QA_NULLCHECK_VARIANT;
            set_sources(q, 1);
            set_perms(q, PERM_NO_INDEX_EXCEPTION);
        } else {
            make_nop(q);
        }
        return 0;
    case OPC_GOTO: {
        u4 sub = quad_kind_nibble(q);
        clear_operand(q->result);
        clear_operand(q->src1);
        clear_operand(q->src2);
        set_sources(q, 0);
        if (sub == 0) {
            return 0;
        }
        if (sub == 1)
            return 0;
        static constexpr typed kTypes[5] = {TY_INT, TY_LONG, TY_FLOAT, TY_DOUBLE, TY_REF};
        static constexpr u1 kMoves[5] = {OPC_IMOVE, OPC_LMOVE, OPC_FMOVE, OPC_DMOVE, OPC_AMOVE};
        if (sub > 6)
            return 0;
        typed t = kTypes[sub - 2];
        s4 from = source_slot(c, t), to = result_slot(c, t);
        if (from != to) {
            q->opcode = kMoves[sub - 2];
            quad_set_kind_nibble(q, 0);
            set(q->src1, t.kb, from);
            set(q->result, t.kb, to);
            set_sources(q, 1);
        }
        return 0;
    }
    case OPC_EADDR:
        set(q->src1, KB_REF, c.S - 1);
        set(q->src2, KB_INT, c.S);
        set(q->result, KB_EADDR, c.R);
        set_sources(q, 2);
        return 0;
    case OPC_PLOAD:
        set(q->src1, KB_EADDR, q->count);
        set(q->result, KB_EADDR, c.R);
        clear_operand(q->src2);
        set_sources(q, 1);
        return 0;
    case OPC_PSTORE:
        set(q->src1, KB_EADDR, c.S);
        set(q->result, KB_EADDR, q->count);
        clear_operand(q->src2);
        set_sources(q, 1);
        return 0;
    case OPC_XALOAD: {
        bool ok;
        typed t = type_of_code(quad_kind_nibble(q), &ok);
        set(q->src1, KB_EADDR, q->op);
        int_constant(q, q->src2, static_cast<int16_t>(q->count), KB_INT_CONST);
        if (ok)
            set(q->result, t.kb, result_slot(c, t));
        set_sources(q, 2);
        return 0;
    }
    case OPC_XASTORE: {
        bool ok;
        typed t = type_of_code(quad_kind_nibble(q), &ok);
        s4 disp = static_cast<int16_t>(q->count);
        quad_set_list_head(q, nullptr);
        int r = Set_OPRAND(KB_EADDR, q->op, q, c.m);
        r |= disp >= 0 ? Set_OPRAND(KB_INT_IMM, num(disp), q, c.m) : Set_OPRAND(KB_INT_NEGIMM, num(-disp), q, c.m);
        if (ok)
            r |= Set_OPRAND(t.kb, num(source_slot(c, t)), q, c.m);
        if (r != 0)
            return -1;
        clear_operand(q->result);
        clear_operand(q->src2);
        set_sources(q, QC_SRC_LIST);
        return 0;
    }
    case OPC_XSTORE: {
        if (q->count & 0x1) {
            q->opcode = OPC_PINDOWN;
            set(q->result, KB_REF, moved_local(c, L));
            set(q->src1, KB_REF, c.S);
            clear_operand(q->src2);
            set_sources(q, 1);
            return 0;
        }
        u4 code = quad_kind_nibble(q);
        bool ok;
        typed t = type_of_code(code, &ok);
        if (!ok)
            return 0;
        q->opcode = code == 6 ? OPC_FSTORE : code == 7 ? OPC_DSTORE : code == 11 ? OPC_LSTORE : OPC_ISTORE;
        set(q->result, t.kb, t.fp ? static_cast<s4>(L) : moved_local(c, L));
        set(q->src1, t.kb, source_slot(c, t));
        clear_operand(q->src2);
        set_sources(q, 1);
        return 0;
    }
    case OPC_LDCTABLE: {
        u4 code = quad_kind_nibble(q);
        if (code == 8 || code == 9)
            return 0;
        bool ok;
        typed t = type_of_code(code, &ok);
        set(q->src1, KB_INT, c.S);
        if (ok)
            set(q->result, t.kb, result_slot(c, t));
        clear_operand(q->src2);
        set_sources(q, 1);
        return 0;
    }
    case OPC_MEMSET: {
        quad_set_list_head(q, nullptr);
        if ((Set_OPRAND(KB_REF, num(c.S - 2), q, c.m) | Set_OPRAND(KB_INT, num(c.S - 1), q, c.m)
             | Set_OPRAND(KB_INT, num(c.S), q, c.m)) != 0)
            return -1;
        clear_operand(q->result);
        clear_operand(q->src2);
        set_sources(q, QC_SRC_LIST);
        u2 bits = q->subcode & 0xE0;
        set_perms(q, bits == 0xE0 ? PERM_ALL : (bits & 0x80) && bits != 0xE0 && (bits & 0x60) != 0x60 ? PERM_NO_NULL_EXCEPTION
                     : (bits & 0x60) == 0x60 && !(bits & 0x80) ? PERM_NO_INDEX_EXCEPTION : 0);
        return 0;
    }
    case OPC_FIXREGS: case OPC_UNFIXREGS: {
        quad_set_list_head(q, nullptr);
        for (u4 i = 0; i < 4; i++)
            if (Set_OPRAND(KB_INT, num(static_cast<s4>(c.T + c.A + i)), q, c.m) != 0)
                return -1;
        set_sources(q, QC_SRC_LIST);
        return 0;
    }
    case OPC_IARGCOPY: case OPC_FARGCOPY: case OPC_LARGCOPY: case OPC_DARGCOPY: case OPC_AARGCOPY: {
        bool fp = op == OPC_FARGCOPY || op == OPC_DARGCOPY;
        s4 n = q->src1.number;
        s4 source = fp ? static_cast<s4>(c.B + c.SI) + float_position(c, n) : static_cast<s4>(c.B) + n;
        q->src1.number = num(source);
        // The argument's type is the copy's own: the copy is a clone of the
        // call, whose result descriptor says nothing about the argument.
        u1 type = op == OPC_IARGCOPY ? QT_INT : op == OPC_FARGCOPY ? QT_FLOAT : op == OPC_LARGCOPY ? QT_LONG
                : op == OPC_DARGCOPY ? QT_DOUBLE : QT_REF;
        // The source is the operand-stack variable of the argument's type
        // (the clone of the call carries no source kind of its own).
        q->src1.kind = quad_kind_byte(QK_VARIABLE, type);
        q->result.kind = quad_kind_byte(QK_ARGUMENT, type);
        u4 index = q->result.number & 0xFF;
        if (!fp && index < 3) {
            q->src1.flags |= QF_FIXED_REG;
            q->src1.reg = static_cast<u1>(1u << index);
        }
        if (fp || index >= 3)
            c.m->qgen_pass_words[1] |= QGF_STACK_ARGUMENTS;
        set_sources(q, 1);
        return 0;
    }
    case OPC_ILOCALCOPY: case OPC_FLOCALCOPY: case OPC_LLOCALCOPY: case OPC_DLOCALCOPY: case OPC_ALOCALCOPY:
        if (c.A != 0 && q->result.number < 3)
            q->result.number = num(q->result.number + static_cast<s4>(c.T));
        set_sources(q, 1);
        set_perms(q, 0);
        return 0;
    case OPC_IMOVE: case OPC_LMOVE: case OPC_AMOVE:
        q->result.number = num(q->result.number + static_cast<s4>(c.B));
        q->src1.number = num(q->src1.number + static_cast<s4>(c.B));
        set_sources(q, 1);
        return 0;
    case OPC_FMOVE: case OPC_DMOVE:
        q->result.number = num(static_cast<s4>(c.B + c.SI) + float_position(c, q->result.number));
        q->src1.number = num(static_cast<s4>(c.B + c.SI) + float_position(c, q->src1.number));
        set_sources(q, 1);
        return 0;
    case OPC_NULLCHECK:
        // Made by the stack pass with an operand-stack relative number.
        q->src1.kind = KB_REF;
        q->src1.number = num(q->src1.number + static_cast<s4>(c.B));
        set_sources(q, 1);
        set_perms(q, PERM_NO_INDEX_EXCEPTION);
        return 0;
    case OPC_SIZECHECK: case OPC_SIZECHECK_RANGE:
        q->src1.kind = KB_INT;
        q->src2.kind = KB_INT;
        q->src1.number = num(q->src1.number + static_cast<s4>(c.B));
        q->src2.number = num(q->src2.number + static_cast<s4>(c.B));
        set_sources(q, 2);
        set_perms(q, PERM_NO_NULL_EXCEPTION);
        return 0;
    case OPC_PADD: case OPC_LOAD_METHODBLOCK: case OPC_LOAD_METHODTABLE:
    case OPC_METHODBLOCKCHECK: case OPC_MTADDRESSCHECK: case OPC_VMPTR_DEF: {
        quad_operand* ops[3] = {&q->result, &q->src1, &q->src2};
        for (quad_operand* o : ops)
            if (quad_operand_kind(*o) == QK_VARIABLE)
                o->number = num(o->number + static_cast<s4>(c.B));
        // The stack pass made these from copies of other quadruples; their
        // source count must name their own sources, or every later pass
        // (liveness, renumbering, colouring) misses the value they read.
        set_sources(q, prenumbered_sources(op));
        return 0;
    }
    case OPC_CATCH:
        set(q->result, KB_REF, c.S);
        clear_operand(q->src1);
        clear_operand(q->src2);
        set_sources(q, 0);
        return 0;
    case OPC_CLASSTYPECHECK:
        q->src1.kind = KB_INT;
        q->src2.kind = KB_REF;
        q->src1.number = num(q->src1.number + static_cast<s4>(c.B));
        q->src2.number = num(q->src2.number + static_cast<s4>(c.B));
        set_sources(q, 2);
        set_perms(q, PERM_NO_NULL_OR_INDEX);
        return 0;
    case OPC_ARGSLOT:
        q->result.kind = KB_ARG_REF;
        clear_operand(q->src1);
        clear_operand(q->src2);
        set_sources(q, 0);
        set_perms(q, 0);
        return 0;
    case OPC_ARRAYCOPY: {
        quad_set_list_head(q, nullptr);
        int r = Set_OPRAND_byte(KB_REF, num(c.S - 4), 1, 1, q, c.m) | Set_OPRAND_byte(KB_INT, num(c.S - 3), 2, 1, q, c.m)
                | Set_OPRAND(KB_REF, num(c.S - 2), q, c.m) | Set_OPRAND(KB_INT, num(c.S - 1), q, c.m)
                | Set_OPRAND_byte(KB_INT, num(c.S), 4, 1, q, c.m);
        if (r != 0)
            return -1;
        clear_operand(q->result);
        set_sources(q, QC_SRC_LIST);
        return 0;
    }
    case OPC_CHA_GUARD:
        clear_operand(q->result);
        clear_operand(q->src1);
        clear_operand(q->src2);
        set_sources(q, 0);
        return 0;
    case OPC_SYNCENTER: {
        u4 sub = quad_kind_nibble(q);
        if (sub == 1) {
            set(q->src1, KB_REF, moved_local(c, q->target));
        } else if (sub == 2) {
            set(q->src1, KB_VMPTR_CONST, 0);
            q->value = q->target;
            q->flags_a |= QA_CONSTANT;
        }
        set(q->result, KB_LONG, q->count);
        clear_operand(q->src2);
        set_sources(q, 1);
        set_perms(q, 0);
        return 0;
    }
    case OPC_SYNCEXIT:
        set(q->src1, KB_LONG, q->count);
        clear_operand(q->result);
        clear_operand(q->src2);
        set_sources(q, 1);
        return 0;
    case OPC_CLINIT: {
        clear_operand(q->result);
        clear_operand(q->src1);
        clear_operand(q->src2);
        set_sources(q, 0);
        set_perms(q, 0);
        const classblock* cb = reinterpret_cast<const classblock*>(q->value);
        if (cb != nullptr && (cb->state & CS_INITIALIZED) && cb->name != nullptr
            && strcmp(cb->name, "java/lang/Integer") == 0)
            q->flags_a |= QA_STRING_OR_INTEGER;
        return 0;
    }
    case OPC_ACMOVE: case OPC_ICMOVE: case OPC_LCMOVE: case OPC_FCMOVE: case OPC_DCMOVE: {
        quad_set_list_head(q, nullptr);
        int r;
        if (op == OPC_LCMOVE) {
            r = Set_OPRAND(KB_INT, num(c.S - 5), q, c.m) | Set_OPRAND(KB_INT, num(c.S - 4), q, c.m)
                | Set_OPRAND(KB_LONG, num(c.S - 3), q, c.m) | Set_OPRAND(KB_LONG, num(c.S - 1), q, c.m);
            set(q->result, KB_LONG, c.R - 1);
        } else if (op == OPC_FCMOVE || op == OPC_DCMOVE) {
            u1 kb = op == OPC_FCMOVE ? KB_FLOAT : KB_DOUBLE;
            r = Set_OPRAND(KB_INT, num(c.S - 1), q, c.m) | Set_OPRAND(KB_INT, num(c.S), q, c.m)
                | Set_OPRAND(kb, num(c.F1), q, c.m) | Set_OPRAND(kb, num(c.F), q, c.m);
            set(q->result, kb, c.FR);
        } else {
            u1 kb = op == OPC_ACMOVE ? KB_REF : KB_INT;
            r = Set_OPRAND(KB_INT, num(c.S - 3), q, c.m) | Set_OPRAND(KB_INT, num(c.S - 2), q, c.m)
                | Set_OPRAND(kb, num(c.S - 1), q, c.m) | Set_OPRAND(kb, num(c.S), q, c.m);
            set(q->result, kb, c.R);
        }
        if (r != 0)
            return -1;
        set_sources(q, QC_SRC_LIST);
        return 0;
    }
    case OPC_OTHER:
        switch (quad_kind_nibble(q)) {
        case OTHER_RETURN_VOID: case OTHER_NOP:
            clear_operand(q->result);
            clear_operand(q->src1);
            clear_operand(q->src2);
            set_sources(q, 0);
            return 0;
        case OTHER_RET:
            set(q->src1, KB_REF, moved_local(c, L));
            clear_operand(q->result);
            clear_operand(q->src2);
            set_sources(q, 1);
            return 0;
        case OTHER_CLINIT: {
            q->opcode = OPC_CLINIT;
            quad_set_kind_nibble(q, 0);
            u4 at = static_cast<u4>(q->op) | static_cast<u4>(q->count) << 16;
            q->value = at != 0 ? *reinterpret_cast<const u4*>(at) : 0;
            clear_operand(q->result);
            clear_operand(q->src1);
            clear_operand(q->src2);
            set_sources(q, 0);
            set_perms(q, 0);
            return 0;
        }
        case OTHER_NOP_DELETED:
            make_nop(q);
            return 0;
        default:
            return 0;
        }
    default:
        return 0;
    }
    if (!keep_result)
        clear_operand(q->result);
    if (!keep_src1)
        clear_operand(q->src1);
    if (!keep_src2)
        clear_operand(q->src2);
    set_sources(q, nsrc);
    return 0;
}

// An operand of kind 0 carries the number 65535, whatever the conversion
// left in it (the list head of source count 3 is not an operand).
void none_means_no_number(quadruple* q)
{
    quad_operand* ops[4] = {&q->result, &q->auxop, &q->src1, &q->src2};
    for (int i = 0; i < 4; i++) {
        if (i == 2 && (q->opcount & QC_SRC_MASK) == QC_SRC_LIST)
            continue;
        if ((ops[i]->kind & QK_KIND_MASK) == QK_NONE)
            ops[i]->number = QUAD_NO_NUMBER;
    }
}

u4 max_top_plus_one(const method_compile_context* m, bool floating)
{
    u4 best = 0;
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        const bbattr* b = m->bb_table[i];
        if (b->flags & BB_DEAD)
            continue;
        s4 h = floating ? b->max_float_height : b->max_int_height;
        if (h > static_cast<s4>(best))
            best = static_cast<u4>(h);
        for (u4 k = 0; k < b->quad_count; k++) {
            const quadruple* q = b->catbl[k];
            u2 t[2] = {floating ? quad_ftop_before(q) : quad_itop_before(q),
                       floating ? quad_ftop_after(q) : quad_itop_after(q)};
            for (u2 v : t)
                if (v != QTOP_EMPTY && v + 1u > best)
                    best = v + 1u;
        }
    }
    return best;
}

} // namespace

int generate_quadruple(method_compile_context* m)
{
    conv c{};
    c.m = m;
    c.B = m->local_count;
    u4 SI = max_top_plus_one(m, false);
    u4 SF = max_top_plus_one(m, true);
    if (m->max_int_height > SI)
        SI = m->max_int_height;
    if (m->max_float_height > SF)
        SF = m->max_float_height;
    c.widen = static_cast<const int8_t*>(m->mark_array);
    c.widen_len = m->float_slot_count;
    bool any = false;
    u4 W = 0;
    for (u4 i = 0; c.widen != nullptr && i < c.widen_len; i++)
        if (c.widen[i] != 0) {
            any = true;
            W++;
        }
    if (!any)
        c.widen = nullptr;
    m->float_slot_table = const_cast<int8_t*>(c.widen);
    SF += W;
    c.SI = SI;
    c.SF = SF;
    c.A = m->arg_remap_bound;
    c.T = c.B + SI + SF;
    if (c.T > 65535)
        return 1;
    m->int_stack_size = static_cast<u2>(SI);
    m->float_stack_size = static_cast<u2>(SF);
    m->extra_counts[0] = m->extra_counts[1] = 0;
    c.method_table = static_cast<const lvattr_entry*>(m->bb_table[0]->var_table);
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if (b->quad_count == 0 || (b->flags & BB_DEAD))
            continue;
        c.b = b;
        if (c.widen != nullptr && b->max_float_height > 0) {
            s4 e = b->max_float_height;
            s4 shifted = sum_signed_bytes_plus_count(m, c.widen, static_cast<u4>(e) < c.widen_len ? e : c.widen_len);
            if (shifted > static_cast<s4>(m->max_stack))
                m->max_stack = static_cast<u2>(m->max_stack + (shifted - e));
            b->max_float_height = static_cast<int16_t>(shifted);
        }
        for (u4 k = 0; k < b->quad_count; k++) {
            // The trivial-method expansion may replace the block's array.
            quadruple** slot = &b->catbl[k];
            quadruple** end = b->catbl + b->quad_count;
            quadruple* q = *slot;
            if (q->opcode > OPC_DCMOVE)
                continue;
            s4 it_b = top(quad_itop_before(q)), it_a = top(quad_itop_after(q));
            s4 ft_b = top(quad_ftop_before(q)), ft_a = top(quad_ftop_after(q));
            c.S = static_cast<s4>(c.B) + it_b;
            c.R = static_cast<s4>(c.B) + it_a;
            c.F = static_cast<s4>(c.B + c.SI) + float_position(c, ft_b);
            c.F1 = static_cast<s4>(c.B + c.SI) + float_position(c, ft_b - 1);
            c.FR = static_cast<s4>(c.B + c.SI) + float_position(c, ft_a);
            q->context = reinterpret_cast<u4>(b->mb);
            if (q->opcount & QC_DELETED)
                continue;
            int skip = convert(c, slot, end);
            if (skip < 0)
                return 1;
            k += static_cast<u4>(skip);
            none_means_no_number(*slot);
        }
    }
    u4 total = c.SI + c.SF + c.A + m->extra_counts[0] + m->extra_counts[1];
    m->previous_local_count = c.B;
    m->local_count = static_cast<u2>(c.B + total);
    m->state_flags |= MCC_QUAD_FORM;
    return 0;
}
