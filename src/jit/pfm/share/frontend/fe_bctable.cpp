// Translation of the bytecodes 0x00..0x98 into front-end quadruples:
// constants (the ldc family included), local loads and stores, array
// element access, stack shuffles, arithmetic, shifts, logic, conversions and
// compares.  One row per bytecode fixes the quadruple opcode and the rule
// that fills its fields; stack positions are not written here (the operand
// stack simulation adds them later).  `iinc` belongs to the builder.
//
// The value word of a long, float or double constant is either the address
// of its constant-pool slot or one of 0, -1, -2 standing for the small
// constants; generate_quadruple gives those their meaning.
//
// caload/castore in java/lang/String are emitted without their null and
// bounds checks: the class library is ours, tested interpreted, and its
// char accesses are always in range.
#include <string.h>

#include "driver/driver.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"

namespace {

enum bc_rule : u1 {
    R_NONE,         // no quadruple: the builder fails
    R_NOP,          // OPC_OTHER sub-code 5
    R_CONST,        // constant: value from the row
    R_BIPUSH,
    R_SIPUSH,
    R_LDC,          // one-byte index
    R_LDC_W,        // two-byte index (ldc_w, ldc2_w and their quick forms)
    R_LOCAL,        // operand byte is the local
    R_LOCAL_FIXED,  // the row gives the local
    R_ARRAY,        // sub-code from the row
    R_PLAIN,        // opcode only
    R_OPERATOR,     // operator from the row
    R_STRICT,       // operator, strict rule
    R_DIVIDE,       // operator, body number as for arrays
};

struct bc_row {
    u1 rule;
    u1 quad;        // quadruple opcode
    int16_t arg;    // value, local, sub-code or operator
};

constexpr bc_row row(bc_rule r, u1 q, int a = 0) { return bc_row{static_cast<u1>(r), q, static_cast<int16_t>(a)}; }

constexpr bc_row kRows[0x99] = {
    row(R_NOP, OPC_OTHER, OTHER_NOP_DELETED),                       // 0x00 nop
    row(R_CONST, OPC_ACONST, 0),                                    // aconst_null
    row(R_CONST, OPC_ICONST, -1), row(R_CONST, OPC_ICONST, 0),      // iconst_m1, iconst_0
    row(R_CONST, OPC_ICONST, 1), row(R_CONST, OPC_ICONST, 2),
    row(R_CONST, OPC_ICONST, 3), row(R_CONST, OPC_ICONST, 4),
    row(R_CONST, OPC_ICONST, 5),                                    // 0x08 iconst_5
    row(R_CONST, OPC_LCONST, 0), row(R_CONST, OPC_LCONST, -1),      // lconst_0, lconst_1
    row(R_CONST, OPC_FCONST, 0), row(R_CONST, OPC_FCONST, -1),      // fconst_0, fconst_1
    row(R_CONST, OPC_FCONST, -2),                                   // fconst_2
    row(R_CONST, OPC_DCONST, 0), row(R_CONST, OPC_DCONST, -1),      // dconst_0, dconst_1
    row(R_BIPUSH, OPC_ICONST), row(R_SIPUSH, OPC_ICONST),           // 0x10 bipush, sipush
    row(R_LDC, 0), row(R_LDC_W, 0), row(R_LDC_W, 0),                // ldc, ldc_w, ldc2_w
    row(R_LOCAL, OPC_ILOAD), row(R_LOCAL, OPC_LLOAD), row(R_LOCAL, OPC_FLOAD),  // 0x15..
    row(R_LOCAL, OPC_DLOAD), row(R_LOCAL, OPC_ALOAD),
#define FIXED4(q) row(R_LOCAL_FIXED, q, 0), row(R_LOCAL_FIXED, q, 1), row(R_LOCAL_FIXED, q, 2), row(R_LOCAL_FIXED, q, 3)
    FIXED4(OPC_ILOAD), FIXED4(OPC_LLOAD), FIXED4(OPC_FLOAD), FIXED4(OPC_DLOAD), FIXED4(OPC_ALOAD), // 0x1a..0x2d
    row(R_ARRAY, OPC_IALOAD, 1), row(R_ARRAY, OPC_LALOAD, 0),       // 0x2e iaload, laload
    row(R_ARRAY, OPC_FALOAD, 0), row(R_ARRAY, OPC_DALOAD, 0),
    row(R_ARRAY, OPC_AALOAD, 2), row(R_ARRAY, OPC_IALOAD, 3),       // aaload, baload
    row(R_ARRAY, OPC_IALOAD, 5), row(R_ARRAY, OPC_IALOAD, 4),       // caload, saload
    row(R_LOCAL, OPC_ISTORE), row(R_LOCAL, OPC_LSTORE), row(R_LOCAL, OPC_FSTORE),  // 0x36..
    row(R_LOCAL, OPC_DSTORE), row(R_LOCAL, OPC_ASTORE),
    FIXED4(OPC_ISTORE), FIXED4(OPC_LSTORE), FIXED4(OPC_FSTORE), FIXED4(OPC_DSTORE), FIXED4(OPC_ASTORE), // 0x3b..0x4e
#undef FIXED4
    row(R_ARRAY, OPC_IASTORE, 1), row(R_ARRAY, OPC_LASTORE, 0),     // 0x4f iastore, lastore
    row(R_ARRAY, OPC_FASTORE, 0), row(R_ARRAY, OPC_DASTORE, 0),
    row(R_ARRAY, OPC_AASTORE, 2), row(R_ARRAY, OPC_IASTORE, 3),     // aastore, bastore
    row(R_ARRAY, OPC_IASTORE, 5), row(R_ARRAY, OPC_IASTORE, 4),     // castore, sastore
    row(R_PLAIN, OPC_POP), row(R_PLAIN, OPC_POP2),                  // 0x57 pop, pop2
    row(R_PLAIN, OPC_DUP), row(R_PLAIN, OPC_DUP_X1), row(R_PLAIN, OPC_DUP_X2),  // 0x59..
    row(R_PLAIN, OPC_DUP2), row(R_PLAIN, OPC_DUP2_X1), row(R_PLAIN, OPC_DUP2_X2),
    row(R_PLAIN, OPC_SWAP),                                         // 0x5f swap
#define ARITH(op) row(R_OPERATOR, OPC_IOP2, op), row(R_OPERATOR, OPC_LOP2, op), \
                  row(R_STRICT, OPC_FOP2, op), row(R_STRICT, OPC_DOP2, op)
    ARITH(QOP_ADD), ARITH(QOP_SUB), ARITH(QOP_MUL),                 // 0x60..0x6b
    row(R_DIVIDE, OPC_IOP2, QOP_DIV), row(R_DIVIDE, OPC_LOP2, QOP_DIV),
    row(R_STRICT, OPC_FOP2, QOP_DIV), row(R_STRICT, OPC_DOP2, QOP_DIV),
    row(R_DIVIDE, OPC_IOP2, QOP_REM), row(R_DIVIDE, OPC_LOP2, QOP_REM),
    row(R_STRICT, OPC_FOP2, QOP_REM), row(R_STRICT, OPC_DOP2, QOP_REM),
#undef ARITH
    row(R_OPERATOR, OPC_IOP1, QOP_NEG), row(R_OPERATOR, OPC_LOP1, QOP_NEG),    // 0x74 ineg, lneg
    row(R_STRICT, OPC_FOP1, QOP_NEG), row(R_STRICT, OPC_DOP1, QOP_NEG),
    row(R_OPERATOR, OPC_IOP2, QOP_SHL), row(R_OPERATOR, OPC_LSHIFT, QOP_SHL),   // 0x78 ishl, lshl
    row(R_OPERATOR, OPC_IOP2, QOP_SHR), row(R_OPERATOR, OPC_LSHIFT, QOP_SHR),
    row(R_OPERATOR, OPC_IOP2, QOP_USHR), row(R_OPERATOR, OPC_LSHIFT, QOP_USHR),
    row(R_OPERATOR, OPC_IOP2, QOP_AND), row(R_OPERATOR, OPC_LOP2, QOP_AND),    // 0x7e iand, land
    row(R_OPERATOR, OPC_IOP2, QOP_OR), row(R_OPERATOR, OPC_LOP2, QOP_OR),
    row(R_OPERATOR, OPC_IOP2, QOP_XOR), row(R_OPERATOR, OPC_LOP2, QOP_XOR),
    row(R_NONE, 0),                                                 // 0x84 iinc: the builder's
    row(R_PLAIN, OPC_I2L), row(R_PLAIN, OPC_I2F), row(R_PLAIN, OPC_I2D),        // 0x85..
    row(R_PLAIN, OPC_L2I), row(R_PLAIN, OPC_L2F), row(R_PLAIN, OPC_L2D),
    row(R_OPERATOR, OPC_F2I, 38), row(R_PLAIN, OPC_F2L), row(R_PLAIN, OPC_F2D),  // 0x8b f2i
    row(R_PLAIN, OPC_D2I), row(R_OPERATOR, OPC_D2L, 39), row(R_PLAIN, OPC_D2F),  // 0x8e..0x90
    row(R_OPERATOR, OPC_IOP1, 20), row(R_OPERATOR, OPC_IOP1, 21), row(R_OPERATOR, OPC_IOP1, 22), // i2b..i2s
    row(R_OPERATOR, OPC_LCMP, 0),                                   // 0x94 lcmp
    row(R_OPERATOR, OPC_FCMP, QOP_CMPL), row(R_OPERATOR, OPC_FCMP, QOP_CMPG),
    row(R_OPERATOR, OPC_DCMP, QOP_CMPL), row(R_OPERATOR, OPC_DCMP, QOP_CMPG),  // 0x97, 0x98
};

// A mismatch between the rows and the opcode numbers shows here.
static_assert(kRows[0x15].quad == OPC_ILOAD && kRows[0x2d].quad == OPC_ALOAD && kRows[0x2d].arg == 3);
static_assert(kRows[0x36].quad == OPC_ISTORE && kRows[0x4e].quad == OPC_ASTORE && kRows[0x4e].arg == 3);
static_assert(kRows[0x5f].quad == OPC_SWAP && kRows[0x73].quad == OPC_DOP2 && kRows[0x73].arg == QOP_REM);
static_assert(kRows[0x83].arg == QOP_XOR && kRows[0x90].quad == OPC_D2F && kRows[0x98].quad == OPC_DCMP);

constexpr u1 BC_CALOAD = 0x34, BC_CASTORE = 0x55;
constexpr u1 BC_IDIV = 0x6c;
constexpr u2 QS_LCONST_SMALL = 0x0020;  // long constant within the signed 32-bit range

void set_constant(quadruple* q, u1 opcode, u4 value)
{
    q->opcode = opcode;
    q->value = value;
    q->op = 0;
    q->flags_a |= QA_CONSTANT;
    if (opcode == OPC_LCONST)
        q->subcode |= QS_LCONST_SMALL;
}

void store_body_number(cattr_builder* b, quadruple* q)
{
    if (b->args->body_number > 0)
        q->body = b->args->body_number;
}

int translate_ldc(cattr_builder* b, quadruple* q, u4 index, bool two_word)
{
    u4* cp = b->cb->constantpool;
    if (cp == nullptr || index == 0 || index >= b->cb->constantpool_count)
        return 1;
    const u1* tags = reinterpret_cast<const u1*>(cp[0]);
    u1 type = tags[index];
    u4 tag = type & CONSTANT_TAG_MASK;
    u4 slot = reinterpret_cast<u4>(&cp[index]);
    if (two_word) {
        if (tag == CONSTANT_Long) {
            set_constant(q, OPC_LCONST, slot);
            int64_t v;
            memcpy(&v, &cp[index], sizeof v);
            if (v < INT32_MIN || v > INT32_MAX)
                q->subcode &= static_cast<u2>(~QS_LCONST_SMALL);
            return 0;
        }
        if (tag == CONSTANT_Double) {
            set_constant(q, OPC_DCONST, slot);
            return 0;
        }
        return 1;
    }
    switch (tag) {
    case CONSTANT_Integer: set_constant(q, OPC_ICONST, cp[index]); return 0;
    case CONSTANT_Float: set_constant(q, OPC_FCONST, slot); return 0;
    case CONSTANT_String:
        set_constant(q, OPC_LDC, slot);
        q->target = index;
        if (!(type & CONSTANT_RESOLVED)) {
            q->subcode |= QS_UNRESOLVED;
            b->m->state_flags |= MCC_UNRESOLVED_SEEN;
        } else {
            // A resolved string: the value word holds the interned object.
            q->value = cp[index];
        }
        return 0;
    default: return 1;
    }
}

} // namespace

s4 remap_body_local(cattr_builder* b, quadruple* q, u4 local, bool is_load)
{
    const cattr_gen_args* a = b->args;
    if (!a->inline_flag || a->inline_record == nullptr)
        return static_cast<s4>(local);
    const inline_arg_record* r = a->inline_record;
    u4 w = r->arg_words;
    if (local < w) {
        if (is_load && (r->arg_flags[local] & INLINE_ARG_CONSTANT)) {
            const quadruple* c = reinterpret_cast<const quadruple*>(r->entries[local]);
            q->opcode = c->opcode;
            q->value = c->value;
            q->op = 0;
            q->flags_a |= QA_CONSTANT;
            return -1;
        }
        if (r->entries[local] >= 0)
            return static_cast<u2>(r->entries[local]);
        return static_cast<u2>(local + a->local_base + r->entries[local] + 1);
    }
    return static_cast<u2>(local + a->local_base + r->entries[w] + 1);
}

int gen_cattr_basic(cattr_builder* b, u1 opcode, const u1* ins, u4 pc)
{
    if (opcode > 0x98)
        return 1;
    quadruple* q = b->slots[b->used];
    const bc_row& r = kRows[opcode];
    switch (static_cast<bc_rule>(r.rule)) {
    case R_NONE:
        return 1;
    case R_NOP:
        q->opcode = OPC_OTHER;
        quad_set_kind_nibble(q, OTHER_NOP_DELETED);
        return 0;
    case R_CONST:
        set_constant(q, r.quad, static_cast<u4>(static_cast<s4>(r.arg)));
        return 0;
    case R_BIPUSH:
        set_constant(q, OPC_ICONST, static_cast<u4>(static_cast<s4>(static_cast<int8_t>(ins[1]))));
        return 0;
    case R_SIPUSH:
        set_constant(q, OPC_ICONST, static_cast<u4>(static_cast<s4>(static_cast<int16_t>(ins[1] << 8 | ins[2]))));
        return 0;
    case R_LDC:
        return translate_ldc(b, q, ins[1], false);
    case R_LDC_W:
        return translate_ldc(b, q, static_cast<u4>(ins[1] << 8 | ins[2]), opcode == 0x14);
    case R_LOCAL:
    case R_LOCAL_FIXED: {
        u4 local = r.rule == R_LOCAL ? ins[1] : static_cast<u4>(r.arg);
        bool load = r.quad == OPC_ILOAD || r.quad == OPC_LLOAD || r.quad == OPC_FLOAD || r.quad == OPC_DLOAD
                    || r.quad == OPC_ALOAD;
        q->opcode = r.quad;
        s4 n = remap_body_local(b, q, local, load);
        if (n >= 0)
            q->op = static_cast<u2>(n);
        return 0;
    }
    case R_ARRAY:
        q->opcode = r.quad;
        quad_set_kind_nibble(q, static_cast<u4>(r.arg));
        b->block->flags |= BB_ARRAY_ACCESS;
        store_body_number(b, q);
        if ((opcode == BC_CALOAD || opcode == BC_CASTORE) && b->cb->name != nullptr
            && strcmp(b->cb->name, "java/lang/String") == 0)
            q->subcode |= QS_NO_NULLCHECK | QS_NO_BOUNDCHECK;
        return 0;
    case R_PLAIN:
        q->opcode = r.quad;
        return 0;
    case R_OPERATOR:
    case R_STRICT:
    case R_DIVIDE:
        q->opcode = r.quad;
        q->op = static_cast<u2>(r.arg);
        if (r.rule == R_STRICT && (b->body->access & ACC_STRICT))
            q->target |= 1;
        if (r.rule == R_DIVIDE)
            store_body_number(b, q);
        return 0;
    }
    (void)BC_IDIV;
    return 1;
}
