// Raw integer instruction emitters: moves, loads and stores, ALU operations,
// multiply and divide, shifts, exchanges and string operations.
//
// Each emitter writes one instruction at cg->code and finishes through
// `cg_emitted` (the two-pass contract, gen_modrm.cpp); it returns the length.
// Operands are register-id words and (base, index, scale, disp) memory
// operands; `modrm_and_sib` handles every addressing special case.  An
// emitter decides whether its memory operand is absolute by one of two
// tests: abs_b0 (no base register) or abs_b18 (base not a general register).
#include <stdio.h>

#include "codegen/codegen.h"

static int abs_b0(u4 base) { return (base & REG_ID_MASK) == 0; }
static int abs_b18(u4 base)
{
    u4 id = base & REG_ID_MASK;
    return id < 1 || id > 8;
}
static int wbit(int size) { return (size == SIZE_BYTE || size == SIZE_HIGH_BYTE) ? 0 : 1; }
static u4 id_of(u4 reg) { return reg & REG_ID_MASK; }

// The register operand of a memory form: recorded always (even with the
// no-record flag), an 8-bit one as its containing register.
static int mem_operand_reg(codegen_context* cg, u1* out, u4 reg, int size, u4 base, u4 index, int scale, s4 disp,
                           int absolute)
{
    if (size == SIZE_BYTE) {
        cg_record_reg8(cg, reg & ~REG_NOREC);
        reg |= REG_NOREC;
    } else {
        cg_record_reg_always(cg, reg);
    }
    return modrm_and_sib(cg, out, reg, base, index, scale, disp, 0, absolute);
}

// Size 3 names the high byte of the register given by its low-byte id.
static u4 sized_reg(u4 reg, int size)
{
    return size == SIZE_HIGH_BYTE ? (reg_low_to_high(id_of(reg)) | (reg & ~REG_ID_MASK)) : reg;
}

// ---------------------------------------------------------------------------
// Moves
// ---------------------------------------------------------------------------

// mov dst, imm32
int _gen_move_gr_i4(codegen_context* cg, u4 dst, s4 imm)
{
    u1* p = cg->code;
    cg_record_reg(cg, dst);
    p[0] = (u1)(OP_MOV_R_IMM + reg_hw_number[id_of(dst)]);
    cg_write32(p + 1, (u4)imm);
    return cg_emitted(cg, 5);
}

// mov dst, src  (nothing when the two argument words are equal; the no-record
// flag so makes a self-move with different flags a real instruction)
int _gen_move_gr_gr(codegen_context* cg, u4 dst, u4 src)
{
    if (dst == src)
        return cg_emitted(cg, 0);
    u1* p = cg->code;
    cg_record_reg(cg, dst);
    cg_record_reg(cg, src);
    p[0] = OP_MOV_R_RM;
    p[1] = modrm_reg(dst, src);
    return cg_emitted(cg, 2);
}

// movsx dst, src8 / src16
int _gen_movesx_gr_gr(codegen_context* cg, u4 dst, u4 src, int size)
{
    u1* p = cg->code;
    cg_record_reg(cg, dst);
    cg_record_sized(cg, src, size == SIZE_BYTE ? SIZE_BYTE : SIZE_DWORD);
    p[0] = OP_TWO_BYTE;
    p[1] = size == SIZE_BYTE ? OP_MOVSX_B : (u1)(OP_MOVSX_B + 1);
    p[2] = modrm_reg(dst, src);
    return cg_emitted(cg, 3);
}

// mov dst8/16/32, [mem]
int _gen_move_gr_mem(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int size,
                     int segment)
{
    u1* p = cg->code;
    int n = cg_mem_prefix(cg, p, base, segment);
    switch (size) {
    case SIZE_BYTE: p[n++] = OP_MOV_R_RM - 1; break;
    case SIZE_WORD: p[n++] = PREFIX_OPSIZE; p[n++] = OP_MOV_R_RM; break;
    case SIZE_DWORD: p[n++] = OP_MOV_R_RM; break;
    default: fprintf(stderr, "_gen_move_gr_mem: unknown oprnd size=%d\n", size); break;
    }
    n += mem_operand_reg(cg, p + n, dst, size, base, index, scale, disp, abs_b0(base));
    return cg_emitted(cg, n);
}

// mov dst, [mem] with the size taken from the scale (scale 0: the index
// argument carries the size, 2 = word, else doubleword)
int _gen_move_gr_mm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp)
{
    int size;
    switch (scale) {
    case 0: size = id_of(index) == 2 ? SIZE_WORD : SIZE_DWORD; break;
    case 1: size = SIZE_BYTE; break;
    case 2: size = SIZE_WORD; break;
    case 4: case 8: size = SIZE_DWORD; break;
    default:
        // modrm_and_sib ends the process for this scale.
        fprintf(stderr, "_gen_move_gr_mm: wrong scale=%d\n", scale);
        size = SIZE_DWORD;
        break;
    }
    return _gen_move_gr_mem(cg, dst, base, index, scale, disp, size, SEG_NONE);
}

// mov [mem], src8/16/32
int _gen_move_mm_gr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, u4 src, int size)
{
    u1* p = cg->code;
    int n = cg_mem_prefix(cg, p, base, SEG_NONE);
    switch (size) {
    case SIZE_BYTE: p[n++] = OP_MOV_RM_R - 1; break;
    case SIZE_WORD: p[n++] = PREFIX_OPSIZE; p[n++] = OP_MOV_RM_R; break;
    case SIZE_DWORD: p[n++] = OP_MOV_RM_R; break;
    default: fprintf(stderr, "_gen_move_mm_gr: unknown oprnd size=%d\n", size); break;
    }
    n += mem_operand_reg(cg, p + n, src, size, base, index, scale, disp, abs_b18(base));
    return cg_emitted(cg, n);
}

// mov byte/word/dword [mem], imm
int _gen_move_mm_i4(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, s4 imm, int size)
{
    u1* p = cg->code;
    int n = cg_mem_prefix(cg, p, base, SEG_NONE);
    switch (size) {
    case SIZE_BYTE: p[n++] = OP_MOV_RM_IMM - 1; break;
    case SIZE_WORD: p[n++] = PREFIX_OPSIZE; p[n++] = OP_MOV_RM_IMM; break;
    case SIZE_DWORD: p[n++] = OP_MOV_RM_IMM; break;
    default: fprintf(stderr, "_gen_move_mm_i4: unknown oprnd size=%d\n", size); break;
    }
    n += modrm_and_sib(cg, p + n, DIGIT(0), base, index, scale, disp, 0, abs_b18(base));
    gen_code_value(ALU_ADD, p, &n, imm, size, 0);
    return cg_emitted(cg, n);
}

// movsx/movzx dst, byte/word [mem]  (size 0: byte when the index argument is 1, else word)
int _gen_moveXx_gr_mm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int size,
                      int is_signed)
{
    u1* p = cg->code;
    int n = cg_mem_prefix(cg, p, base, SEG_NONE);
    if (size == 0)
        size = id_of(index) == 1 ? SIZE_BYTE : SIZE_WORD;
    p[n++] = OP_TWO_BYTE;
    u1 op = is_signed ? OP_MOVSX_B : OP_MOVZX_B;
    switch (size) {
    case SIZE_BYTE: p[n++] = op; break;
    case SIZE_WORD: p[n++] = (u1)(op + 1); break;
    default: fprintf(stderr, "_gen_moveXx_gr_mm: unknown size=%d\n", size); break;
    }
    n += mem_operand_reg(cg, p + n, dst, SIZE_DWORD, base, index, scale, disp, abs_b18(base));
    return cg_emitted(cg, n);
}

int _gen_movesx_gr_xmm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int size)
{
    return _gen_moveXx_gr_mm(cg, dst, base, index, scale, disp, size, 1);
}

int _gen_movezx_gr_xmm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int size)
{
    return _gen_moveXx_gr_mm(cg, dst, base, index, scale, disp, size, 0);
}

// lea dst, [mem]
int _gen_lea_gr_mm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp)
{
    u1* p = cg->code;
    p[0] = OP_LEA;
    int n = 1 + modrm_and_sib(cg, p + 1, dst, base, index, scale, disp, 0, abs_b18(base));
    return cg_emitted(cg, n);
}

// xchg a, b  (with eax the one-byte 90+r form; 90 when both are eax)
int _gen_xchg_gr_gr(codegen_context* cg, u4 a, u4 b)
{
    u1* p = cg->code;
    cg_record_reg(cg, a);
    cg_record_reg(cg, b);
    if (id_of(a) == GR_EAX) {
        p[0] = (u1)(OP_XCHG_EAX + reg_hw_number[id_of(b)]);
        return cg_emitted(cg, 1);
    }
    if (id_of(b) == GR_EAX) {
        p[0] = (u1)(OP_XCHG_EAX + reg_hw_number[id_of(a)]);
        return cg_emitted(cg, 1);
    }
    p[0] = OP_XCHG;
    p[1] = modrm_reg(a, b);
    return cg_emitted(cg, 2);
}

// xchg [base+disp], reg
int _gen_xchg_gr_mm(codegen_context* cg, u4 reg, u4 base, s4 disp)
{
    u1* p = cg->code;
    p[0] = OP_XCHG;
    int n = 1 + modrm_and_sib(cg, p + 1, reg, base, 0, 0, disp, 0, abs_b18(base));
    return cg_emitted(cg, n);
}

// cmpxchg [mem], reg  (no lock prefix: see _gen_lock_prefix)
int _gen_cmpxchg_mm_gr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, u4 reg)
{
    u1* p = cg->code;
    p[0] = OP_TWO_BYTE;
    p[1] = OP_CMPXCHG;
    int n = 2 + modrm_and_sib(cg, p + 2, reg, base, index, scale, disp, 0, abs_b18(base));
    return cg_emitted(cg, n);
}

// lock
int _gen_lock_prefix(codegen_context* cg)
{
    cg->code[0] = PREFIX_LOCK;
    return cg_emitted(cg, 1);
}

static int string_op(codegen_context* cg, int rep, u1 op8, int size)
{
    u1* p = cg->code;
    int n = 0;
    if (size == SIZE_WORD)
        p[n++] = PREFIX_OPSIZE;
    if (rep)
        p[n++] = PREFIX_REP;
    p[n++] = (u1)(op8 | wbit(size));
    return cg_emitted(cg, n);
}

// rep movsb / movsw / movsd
int _gen_rep_movs(codegen_context* cg, int size) { return string_op(cg, 1, OP_MOVS, size); }
// rep stosb / stosw / stosd
int _gen_rep_stos(codegen_context* cg, int size) { return string_op(cg, 1, OP_STOS, size); }
// stosb / stosw / stosd
int _gen_stos(codegen_context* cg, int size) { return string_op(cg, 0, OP_STOS, size); }

// setcc reg8  (the reg field repeats the register: the processor ignores it)
int _gen_setcc_gr(codegen_context* cg, u4 reg, int cond, int size)
{
    u1* p = cg->code;
    reg = sized_reg(reg, size);
    cg_record_reg8(cg, reg);
    p[0] = OP_TWO_BYTE;
    p[1] = setcc_opcode((u4)cond);
    p[2] = modrm_reg(reg, reg);
    return cg_emitted(cg, 3);
}

// cmovcc dst, src
int _gen_cmove_gr_gr(codegen_context* cg, int cond, u4 dst, u4 src)
{
    u1* p = cg->code;
    cg_record_reg(cg, dst);
    cg_record_reg(cg, src);
    p[0] = OP_TWO_BYTE;
    p[1] = cmovcc_opcode((u4)cond);
    p[2] = modrm_reg(dst, src);
    return cg_emitted(cg, 3);
}

// cmovcc dst, [mem]
int _gen_cmove_gr_mm(codegen_context* cg, int cond, u4 dst, u4 base, u4 index, int scale, s4 disp,
                     int size)
{
    u1* p = cg->code;
    int n = cg_mem_prefix(cg, p, base, SEG_NONE);
    if (size == SIZE_WORD)
        p[n++] = PREFIX_OPSIZE;
    p[n++] = OP_TWO_BYTE;
    p[n++] = cmovcc_opcode((u4)cond);
    n += modrm_and_sib(cg, p + n, dst, base, index, scale, disp, 0, abs_b0(base));
    return cg_emitted(cg, n);
}

// ---------------------------------------------------------------------------
// ALU operations
// ---------------------------------------------------------------------------

// op dst, src  (reg,r/m form; sizes 1 and 4)
int _gen_ARITHMETIC_xgr_xgr(codegen_context* cg, int op, u4 dst, u4 src, int size)
{
    u1* p = cg->code;
    cg_record_sized(cg, dst, size);
    cg_record_sized(cg, src, size);
    p[0] = (u1)(alu_table[op].reg_rm | wbit(size));
    p[1] = modrm_reg(dst, src);
    return cg_emitted(cg, 2);
}

static int is_inc(int op, s4 imm) { return (op == ALU_ADD && imm == 1) || (op == ALU_SUB && imm == -1); }
static int incdec_applies(int op, s4 imm) { return (op == ALU_ADD || op == ALU_SUB) && (imm == 1 || imm == -1); }

// General immediate form: 80/81/83 /digit (F6/F7 /0 for test).
static u1 alu_imm_opcode(int op, s4 imm, int size)
{
    if (op == ALU_TEST)
        return (u1)(OP_TEST_IMM | wbit(size));
    if (fits_imm8(imm) && (size == SIZE_WORD || size == SIZE_DWORD))
        return OP_ALU_SIMM8;
    return (u1)(OP_ALU_IMM8 | wbit(size));
}

// op reg, imm  (inc/dec for +-1, the accumulator short form, else 80/81/83)
int _gen_ARITHMETIC_xgr_i4(codegen_context* cg, int op, u4 reg, s4 imm, int size)
{
    u1* p = cg->code;
    int n = 0;
    if (size == SIZE_WORD)
        p[n++] = PREFIX_OPSIZE;
    if (incdec_applies(op, imm)) {
        int inc = is_inc(op, imm);
        if (size == SIZE_WORD || size == SIZE_DWORD) {
            cg_record_reg(cg, reg);
            p[n++] = (u1)((inc ? OP_INC_R : OP_DEC_R) + reg_hw_number[id_of(reg)]);
        } else {
            u4 r = sized_reg(reg, size);
            cg_record_reg8(cg, r);
            p[n++] = OP_INCDEC_RM;
            p[n++] = modrm_reg(DIGIT(inc ? DIGIT_INC : DIGIT_DEC), r);
        }
    } else if (id_of(reg) == GR_EAX && size != SIZE_HIGH_BYTE && (size == SIZE_BYTE || !fits_imm8(imm))) {
        // The accumulator form saves the ModRM byte only when the immediate
        // is a byte anyway or is too large for the sign-extended imm8 form.
        cg_record_reg(cg, reg);
        p[n++] = (u1)(alu_table[op].acc_imm | wbit(size));
        gen_code_value(op, p, &n, imm, size, 0);
    } else {
        u4 r = sized_reg(reg, size);
        cg_record_sized(cg, r, size);
        p[n++] = alu_imm_opcode(op, imm, size);
        p[n++] = modrm_reg(DIGIT(alu_table[op].digit), r);
        gen_code_value(op, p, &n, imm, size, 1);
    }
    int length = cg_emitted(cg, n);
    // add/sub esp move the tracked stack depth (an 8-bit id 5 is ah, not esp).
    if (id_of(reg) == GR_ESP && size == SIZE_DWORD) {
        if (op == ALU_ADD || op == ALU_ADD2) {
            cg->mci->sp_offset = (s2)(cg->mci->sp_offset + imm);
            cg_sp_changed(cg);
        } else if (op == ALU_SUB || op == ALU_SUB2) {
            cg->mci->sp_offset = (s2)(cg->mci->sp_offset - imm);
            cg_sp_changed(cg);
        }
    }
    return length;
}

// op size [mem], imm  (inc/dec for +-1; the stack depth is not touched)
int _gen_ARITHMETIC_xmm_i4(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, s4 imm,
                           int size)
{
    u1* p = cg->code;
    int n = cg_mem_prefix(cg, p, base, SEG_NONE);
    if (size == SIZE_WORD)
        p[n++] = PREFIX_OPSIZE;
    if (incdec_applies(op, imm)) {
        p[n++] = (u1)(OP_INCDEC_RM | wbit(size));
        n += modrm_and_sib(cg, p + n, DIGIT(is_inc(op, imm) ? DIGIT_INC : DIGIT_DEC), base, index, scale,
                           disp, 0, abs_b18(base));
    } else {
        p[n++] = alu_imm_opcode(op, imm, size);
        n += modrm_and_sib(cg, p + n, DIGIT(alu_table[op].digit), base, index, scale, disp, 0, abs_b18(base));
        gen_code_value(op, p, &n, imm, size, 1);
    }
    return cg_emitted(cg, n);
}

// op dword [mem], imm
int _gen_ARITHMETIC_mm_i4(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, s4 imm)
{
    return _gen_ARITHMETIC_xmm_i4(cg, op, base, index, scale, disp, imm, SIZE_DWORD);
}

// op size [mem], src
int _gen_ARITHMETIC_xmm_gr(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, u4 src,
                           int size)
{
    u1* p = cg->code;
    int n = cg_mem_prefix(cg, p, base, SEG_NONE);
    if (size == SIZE_WORD)
        p[n++] = PREFIX_OPSIZE;
    p[n++] = (u1)(alu_table[op].rm_reg | wbit(size));
    n += mem_operand_reg(cg, p + n, src, size, base, index, scale, disp, abs_b18(base));
    return cg_emitted(cg, n);
}

// op dword [mem], src
int _gen_ARITHMETIC_mm_gr(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, u4 src)
{
    return _gen_ARITHMETIC_xmm_gr(cg, op, base, index, scale, disp, src, SIZE_DWORD);
}

// op dst, size [mem]
int _gen_ARITHMETIC_gr_xmm(codegen_context* cg, int op, u4 dst, u4 base, u4 index, int scale, s4 disp,
                           int size)
{
    u1* p = cg->code;
    int n = cg_mem_prefix(cg, p, base, SEG_NONE);
    if (size == SIZE_WORD)
        p[n++] = PREFIX_OPSIZE;
    p[n++] = (u1)(alu_table[op].reg_rm | wbit(size));
    n += mem_operand_reg(cg, p + n, dst, size, base, index, scale, disp, abs_b18(base));
    return cg_emitted(cg, n);
}

// op dst, dword [mem]
int _gen_ARITHMETIC_gr_mm(codegen_context* cg, int op, u4 dst, u4 base, u4 index, int scale, s4 disp)
{
    return _gen_ARITHMETIC_gr_xmm(cg, op, dst, base, index, scale, disp, SIZE_DWORD);
}

// cmp a, b
int _gen_cmp_gr_gr(codegen_context* cg, u4 a, u4 b) { return _gen_ARITHMETIC_xgr_xgr(cg, ALU_CMP, a, b, SIZE_DWORD); }
// cmp reg, imm
int _gen_cmp_gr_i4(codegen_context* cg, u4 reg, s4 imm) { return _gen_ARITHMETIC_xgr_i4(cg, ALU_CMP, reg, imm, SIZE_DWORD); }
// cmp reg, [base+disp]
int _gen_cmp_gr_mm(codegen_context* cg, u4 reg, u4 base, s4 disp)
{
    return _gen_ARITHMETIC_gr_xmm(cg, ALU_CMP, reg, base, 0, 0, disp, SIZE_DWORD);
}
// cmp size [mem], reg
int _gen_cmp_xmm_gr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, u4 reg, int size)
{
    return _gen_ARITHMETIC_xmm_gr(cg, ALU_CMP, base, index, scale, disp, reg, size);
}
// cmp [base+disp], reg
int _gen_cmp_mm_gr(codegen_context* cg, u4 base, s4 disp, u4 reg)
{
    return _gen_ARITHMETIC_xmm_gr(cg, ALU_CMP, base, 0, 0, disp, reg, SIZE_DWORD);
}
// cmp size [mem], imm
int _gen_cmp_mm_imm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, s4 imm, int size)
{
    return _gen_ARITHMETIC_xmm_i4(cg, ALU_CMP, base, index, scale, disp, imm, size);
}
// cmp dword [base+disp], imm
int _gen_cmp_mm_i4(codegen_context* cg, u4 base, s4 disp, s4 imm)
{
    return _gen_ARITHMETIC_xmm_i4(cg, ALU_CMP, base, 0, 0, disp, imm, SIZE_DWORD);
}

// ---------------------------------------------------------------------------
// Multiply, divide, negate
// ---------------------------------------------------------------------------

// imul reg, reg, imm
int _gen_mul_gr_i4(codegen_context* cg, u4 reg, s4 imm)
{
    u1* p = cg->code;
    int n = 0;
    cg_record_reg(cg, reg);
    p[n++] = fits_imm8(imm) ? OP_IMUL_IMM8 : OP_IMUL_IMM32;
    p[n++] = modrm_reg(reg, reg);
    gen_code_value(ALU_ADD, p, &n, imm, SIZE_DWORD, 1);
    return cg_emitted(cg, n);
}

// imul dst, src
int _gen_mul_gr_gr(codegen_context* cg, u4 dst, u4 src)
{
    u1* p = cg->code;
    cg_record_reg(cg, dst);
    cg_record_reg(cg, src);
    p[0] = OP_TWO_BYTE;
    p[1] = OP_IMUL_R_RM;
    p[2] = modrm_reg(dst, src);
    return cg_emitted(cg, 3);
}

static int grp3(codegen_context* cg, u4 reg, int digit)
{
    u1* p = cg->code;
    cg_record_reg(cg, reg);
    p[0] = OP_GRP3;
    p[1] = modrm_reg(DIGIT(digit), reg);
    return cg_emitted(cg, 2);
}

// imul reg  (edx:eax = eax * reg, signed)
int _gen_imul_gr(codegen_context* cg, u4 reg) { return grp3(cg, reg, DIGIT_IMUL); }
// mul reg
int _gen_umul_gr(codegen_context* cg, u4 reg) { return grp3(cg, reg, DIGIT_MUL); }
// idiv reg
int _gen_div_gr(codegen_context* cg, u4 reg) { return grp3(cg, reg, DIGIT_IDIV); }
// div reg
int _gen_udiv_gr(codegen_context* cg, u4 reg) { return grp3(cg, reg, DIGIT_DIV); }
// neg reg
int _gen_neg_gr(codegen_context* cg, u4 reg) { return grp3(cg, reg, DIGIT_NEG); }

// cdq
int _gen_cdq(codegen_context* cg)
{
    cg->code[0] = OP_CDQ;
    return cg_emitted(cg, 1);
}

// ---------------------------------------------------------------------------
// Shifts
// ---------------------------------------------------------------------------

// shl/sar/shr reg, count
int _gen_SHIFT_gr_i4(codegen_context* cg, int kind, u4 reg, int count)
{
    u1* p = cg->code;
    cg_record_reg(cg, reg);
    u1 modrm = modrm_reg(DIGIT(shift_digit[kind]), reg);
    if (count == 1) {
        p[0] = OP_SHIFT_1;
        p[1] = modrm;
        return cg_emitted(cg, 2);
    }
    p[0] = OP_SHIFT_IMM;
    p[1] = modrm;
    p[2] = (u1)count;
    return cg_emitted(cg, 3);
}

// shl/sar/shr reg, cl
int _gen_SHIFT_gr(codegen_context* cg, int kind, u4 reg)
{
    u1* p = cg->code;
    cg_record_reg(cg, reg);
    p[0] = OP_SHIFT_CL;
    p[1] = modrm_reg(DIGIT(shift_digit[kind]), reg);
    return cg_emitted(cg, 2);
}

// shld/shrd dst, src, count  (nothing for count 0)
int _gen_SHIFT8_gr_gr_i4(codegen_context* cg, int kind, u4 dst, u4 src, int count)
{
    if (count == 0)
        return cg_emitted(cg, 0);
    u1* p = cg->code;
    cg_record_reg(cg, dst);
    cg_record_reg(cg, src);
    p[0] = OP_TWO_BYTE;
    p[1] = kind == (int)SHIFT_SHLD ? OP_SHLD_IMM : OP_SHRD_IMM;
    p[2] = modrm_reg(src, dst);
    p[3] = (u1)count;
    return cg_emitted(cg, 4);
}

// shld/shrd dst, src, cl
int _gen_SHIFT8_gr_gr_gr(codegen_context* cg, int kind, u4 dst, u4 src)
{
    u1* p = cg->code;
    cg_record_reg(cg, dst);
    cg_record_reg(cg, src);
    p[0] = OP_TWO_BYTE;
    p[1] = (u1)((kind == (int)SHIFT_SHLD ? OP_SHLD_IMM : OP_SHRD_IMM) + 1);
    p[2] = modrm_reg(src, dst);
    return cg_emitted(cg, 3);
}
