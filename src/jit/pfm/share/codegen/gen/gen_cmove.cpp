// Conditional move of ints: destination = (a cond b) ? t : f.  The values
// are read into registers first, the result register is loaded with f
// before the compare (a move leaves the flags alone), then the compare and
// either CMOVcc from t's register or, for an immediate t or a processor
// without CMOV, a short jump on the reversed condition around `mov r,t`.
// An absent t or f stands for the destination's current value (the
// one-sided forms).
#include <cstdio>

#include "codegen/gen/gen_arith.h"

int fp_has_cmov(void);

namespace {

constexpr int NSRC = 4;  // a, b, t, f

bool is_cond(int c) { return c >= (int)COND_EQ && c <= (int)COND_BE; }

void load_value(codegen_context* cg, u4 dst, const reg_operand* op, int reg)
{
    if (reg < 0)
        gen_move_gr_i4(cg, dst, (s4)op->value);
    else if (gid(reg) != dst)
        gen_move_gr_gr(cg, dst, gid(reg));
}

bool is_imm_value(const reg_operand* op) { return op_is_imm(op) || op->kind == OPND_ADDR; }

}  // namespace

int gen_cmove_IIIII(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    int cond = (int)(*slot)->op;
    reg_operand* dst = &o->r[0];
    if (!is_cond(cond)) {
        fprintf(stderr, "conditional move with an invalid condition %d\n", cond);
        return 1;
    }
    reg_operand src[NSRC];
    for (int i = 0; i < NSRC; i++)
        src[i] = i < o->list_n ? o->list[i] : CG_EMPTY_OPERAND;
    if (op_absent(&src[0]) || op_absent(&src[1])) {
        fprintf(stderr, "conditional move without its compared values\n");
        return 1;
    }
    // An absent value keeps the destination.
    for (int i = 2; i < NSRC; i++)
        if (op_absent(&src[i]))
            src[i] = *dst;
    if (op_absent(&src[2]) || op_absent(&src[3])) {
        fprintf(stderr, "conditional move without a destination to keep\n");
        return 1;
    }

    // Registers of the non-immediate values, each distinct operand read once.
    int reg[NSRC];
    bool owner[NSRC];
    u4 held = 0;
    for (int i = 0; i < NSRC; i++) {
        reg[i] = -1;
        owner[i] = false;
        if (is_imm_value(&src[i]))
            continue;
        for (int j = 0; j < i; j++)
            if (!is_imm_value(&src[j]) && op_same(&src[i], &src[j]))
                reg[i] = reg[j];
        if (reg[i] < 0) {
            reg[i] = gi_read(cg, &src[i], slot, RM_ALL_INT, 0);
            owner[i] = true;
            held |= rbit(reg[i]);
        }
    }
    // An immediate a is compared from a temporary.
    int atmp = -1;
    if (reg[0] < 0) {
        atmp = gi_alloc(cg, RM_ALL_INT, held);
        held |= rbit(atmp);
        gen_move_gr_i4(cg, gid(atmp), (s4)src[0].value);
    }
    int ra = reg[0] >= 0 ? reg[0] : atmp;

    int r = gi_alloc(cg, RM_ALL_INT, held);
    load_value(cg, gid(r), &src[3], reg[3]);
    if (reg[1] < 0)
        gen_cmp_gr_i4(cg, gid(ra), (s4)src[1].value);
    else
        gen_cmp_gr_gr(cg, gid(ra), gid(reg[1]));
    if (reg[2] >= 0 && fp_has_cmov()) {
        gen_cmove_gr_gr(cg, cond, gid(r), gid(reg[2]));
    } else {
        gi_seq s;
        gi_seq_begin(cg, &s);
        u1* p = gi_jshort(cg, (int)reverse_jump_cond((u4)cond));
        load_value(cg, gid(r), &src[2], reg[2]);
        gi_land(cg, p);
        gi_seq_end(cg, &s);
    }

    if (atmp >= 0)
        _free_int_reg(cg, atmp, 0, 0, 0);
    for (int i = 0; i < NSRC; i++) {
        if (!owner[i])
            continue;
        if (op_same(&src[i], dst))
            _free_int_reg(cg, reg[i], 0, 0, 0);
        else
            gi_done(cg, &src[i], reg[i]);
    }
    gi_bind(cg, dst, r);
    return 0;
}
