// IA-32 register numbering, condition codes and the encoding tables every
// emitter is built from.
//
// Registers travel between the code-generation parts as small register ids,
// not hardware numbers; one id space serves 32-, 16- and 8-bit operands (for
// 8-bit operands ids 5..8 mean ah, ch, dh, bh).  A register argument is a
// 32-bit word whose low 16 bits are the id; bit REG_NOREC means "do not
// record this register as used" (opcode-extension digits, scratch uses).
// Conditions travel as condition codes 1..17.  The tables below are the only
// place ids and codes become bytes.
#ifndef ORVA_X86_DEFS_H
#define ORVA_X86_DEFS_H

#include <stdint.h>

#include "vm_abi.h"

// ---------------------------------------------------------------------------
// Register ids.  X(id name, 32-bit name, 16-bit name, 8-bit name, hardware
// number, used-register bit, register-manager index)
// ---------------------------------------------------------------------------
#define X86_REGISTERS(X)                                   \
    X(GR_NONE, "---", "--", "--", 0xFFFF, 0x00, -1)        \
    X(GR_EAX,  "eax", "ax", "al", 0,      0x01, 0)         \
    X(GR_EDX,  "edx", "dx", "dl", 2,      0x02, 1)         \
    X(GR_ECX,  "ecx", "cx", "cl", 1,      0x04, 2)         \
    X(GR_EBX,  "ebx", "bx", "bl", 3,      0x08, 3)         \
    X(GR_ESP,  "esp", "sp", "ah", 4,      0x80, -1)        \
    X(GR_EBP,  "ebp", "bp", "ch", 5,      0x10, 4)         \
    X(GR_ESI,  "esi", "si", "dh", 6,      0x20, 5)         \
    X(GR_EDI,  "edi", "di", "bh", 7,      0x40, 6)

enum : u4 {
#define X(id, n32, n16, n8, hw, bit, mgr) id,
    X86_REGISTERS(X)
#undef X
    GR_COUNT
};
static_assert(GR_EAX == 1 && GR_ESP == 5 && GR_EDI == 8 && GR_COUNT == 9);

// The same ids read as high-byte registers (8-bit operands).
constexpr u4 GR_AH = GR_ESP;
constexpr u4 GR_CH = GR_EBP;
constexpr u4 GR_DH = GR_ESI;
constexpr u4 GR_BH = GR_EDI;

constexpr u4 REG_NOREC   = 0x10000;   // operand flag: do not record the register as used
constexpr u4 REG_ID_MASK = 0xFFFF;    // the id part of a register argument

constexpr u2 reg_hw_number[GR_COUNT] = {
#define X(id, n32, n16, n8, hw, bit, mgr) hw,
    X86_REGISTERS(X)
#undef X
};
constexpr u4 reg_used_bit[GR_COUNT] = {
#define X(id, n32, n16, n8, hw, bit, mgr) bit,
    X86_REGISTERS(X)
#undef X
};
constexpr const char* reg_name32[GR_COUNT] = {
#define X(id, n32, n16, n8, hw, bit, mgr) n32,
    X86_REGISTERS(X)
#undef X
};
constexpr const char* reg_name16[GR_COUNT] = {
#define X(id, n32, n16, n8, hw, bit, mgr) n16,
    X86_REGISTERS(X)
#undef X
};
constexpr const char* reg_name8[GR_COUNT] = {
#define X(id, n32, n16, n8, hw, bit, mgr) n8,
    X86_REGISTERS(X)
#undef X
};
// Register id to register-manager index (-1: esp and none are never allocated).
constexpr s4 reg_id_to_mgr[GR_COUNT] = {
#define X(id, n32, n16, n8, hw, bit, mgr) mgr,
    X86_REGISTERS(X)
#undef X
};
// Register-manager index 0..6 to register id; entry 7 is -1.
constexpr s4 reg_mgr_to_id[8] = {GR_EAX, GR_EDX, GR_ECX, GR_EBX, GR_EBP, GR_ESI, GR_EDI, -1};

// Low byte to high byte of the same register (al->ah, dl->dh, cl->ch,
// bl->bh); any other id is returned unchanged.  Used for operand size 3.
constexpr u4 reg_low_to_high(u4 id)
{
    switch (id) {
    case GR_EAX: return GR_AH;
    case GR_EDX: return GR_DH;
    case GR_ECX: return GR_CH;
    case GR_EBX: return GR_BH;
    default: return id;
    }
}
constexpr u4 reg_high_to_low(u4 id)
{
    switch (id) {
    case GR_AH: return GR_EAX;
    case GR_CH: return GR_ECX;
    case GR_DH: return GR_EDX;
    case GR_BH: return GR_EBX;
    default: return id;
    }
}

// The 32-bit register an 8-bit id is part of (ah..bh are in eax..ebx).
constexpr u4 reg8_container(u4 id) { return reg_high_to_low(id); }

// Opcode extension /digit as a register argument: the id whose hardware
// number is the digit, marked not to be recorded.
constexpr u4 digit_ids[8] = {GR_EAX, GR_ECX, GR_EDX, GR_EBX, GR_ESP, GR_EBP, GR_ESI, GR_EDI};
constexpr u4 DIGIT(int d) { return digit_ids[d] | REG_NOREC; }

// ---------------------------------------------------------------------------
// Condition codes.  X(code name, short jcc opcode, listing name)
// near jcc = 0F (short + 0x10), SETcc = 0F (short + 0x20), CMOVcc = 0F (short - 0x30).
// ---------------------------------------------------------------------------
#define X86_CONDITIONS(X)        \
    X(COND_NONE,   0x00, "")     \
    X(COND_ALWAYS, 0xEB, "mp")   \
    X(COND_EQ,     0x74, "e")    \
    X(COND_NE,     0x75, "ne")   \
    X(COND_LT,     0x7C, "l")    \
    X(COND_LE,     0x7E, "le")   \
    X(COND_GT,     0x7F, "g")    \
    X(COND_GE,     0x7D, "ge")   \
    X(COND_A,      0x77, "a")    \
    X(COND_AE,     0x73, "ae")   \
    X(COND_B,      0x72, "b")    \
    X(COND_BE,     0x76, "be")   \
    X(COND_C,      0x72, "c")    \
    X(COND_NC,     0x73, "nc")   \
    X(COND_S,      0x78, "s")    \
    X(COND_NS,     0x79, "ns")   \
    X(COND_P,      0x7A, "p")    \
    X(COND_NP,     0x7B, "np")

enum : u4 {
#define X(code, op, name) code,
    X86_CONDITIONS(X)
#undef X
    COND_COUNT
};
static_assert(COND_ALWAYS == 1 && COND_EQ == 2 && COND_NP == 17 && COND_COUNT == 18);

// Short-jump opcode by condition code; index 0 and 1 hold 0 (code 1 is the
// unconditional jump, encoded by the jump emitter itself).
constexpr u1 jcc_short_opcode[COND_COUNT] = {
#define X(code, op, name) (code == COND_ALWAYS ? (u1)0 : (u1)op),
    X86_CONDITIONS(X)
#undef X
};
constexpr const char* cond_name[COND_COUNT] = {
#define X(code, op, name) name,
    X86_CONDITIONS(X)
#undef X
};
constexpr u1 jcc_near_opcode(u4 cond) { return (u1)(jcc_short_opcode[cond] + 0x10); }
constexpr u1 setcc_opcode(u4 cond)    { return (u1)(jcc_short_opcode[cond] + 0x20); }
constexpr u1 cmovcc_opcode(u4 cond)   { return (u1)(jcc_short_opcode[cond] - 0x30); }

// ---------------------------------------------------------------------------
// Segment overrides: 0 CS, 1 SS, 2 DS, 3 ES, 4 FS, 5 GS; SEG_NONE = no override.
// ---------------------------------------------------------------------------
constexpr u1 seg_override[6] = {0x2E, 0x36, 0x3E, 0x26, 0x64, 0x65};
constexpr int SEG_CS = 0, SEG_SS = 1, SEG_DS = 2, SEG_ES = 3, SEG_FS = 4, SEG_GS = 5, SEG_NONE = 6;
constexpr u1 PREFIX_DS = 0x3E;
constexpr u1 PREFIX_OPSIZE = 0x66;
constexpr u1 PREFIX_LOCK = 0xF0;
constexpr u1 PREFIX_REP = 0xF3;
// orva_os_type value under which an ebp-based memory operand takes a DS override.
constexpr int OS_TYPE_DS_EBP = 2;

// ---------------------------------------------------------------------------
// ModRM and SIB tables.
// modrm_table[mode][r/m id][reg id] = mod<<6 | hw(reg)<<3 | hw(r/m); row and
// column 0 hold 0.  sib_table[scale 1,2,4,8][index id][base id] =
// ss<<6 | hw(index)<<3 | hw(base); the row of esp is "no index".
// ---------------------------------------------------------------------------
constexpr int MOD_INDIRECT = 0, MOD_DISP8 = 1, MOD_DISP32 = 2, MOD_REG = 3;

struct x86_table9 { u1 e[GR_COUNT][GR_COUNT]; };

constexpr x86_table9 make_modrm_table(int mode)
{
    x86_table9 t{};
    for (u4 rm = 1; rm < GR_COUNT; rm++)
        for (u4 reg = 1; reg < GR_COUNT; reg++)
            t.e[rm][reg] = (u1)(mode << 6 | reg_hw_number[reg] << 3 | reg_hw_number[rm]);
    return t;
}
constexpr x86_table9 make_sib_table(int ss)
{
    x86_table9 t{};
    for (u4 index = 1; index < GR_COUNT; index++)
        for (u4 base = 1; base < GR_COUNT; base++)
            t.e[index][base] = (u1)(ss << 6 | reg_hw_number[index] << 3 | reg_hw_number[base]);
    return t;
}
constexpr x86_table9 modrm_table[4] = {make_modrm_table(0), make_modrm_table(1),
                                       make_modrm_table(2), make_modrm_table(3)};
constexpr x86_table9 sib_table[4] = {make_sib_table(0), make_sib_table(1),
                                     make_sib_table(2), make_sib_table(3)};
static_assert(modrm_table[MOD_REG].e[GR_EDX][GR_EAX] == 0xC2);
static_assert(modrm_table[MOD_DISP8].e[GR_ESI][GR_ECX] == 0x4E);
static_assert(sib_table[0].e[GR_ESP][GR_EBX] == 0x23);

constexpr u1 modrm_reg(u4 reg, u4 rm) { return modrm_table[MOD_REG].e[rm & REG_ID_MASK][reg & REG_ID_MASK]; }

// ---------------------------------------------------------------------------
// ALU operations.  X(name, reg,r/m opcode (8-bit), r/m,reg opcode (8-bit),
// accumulator,imm opcode (8-bit), /digit with 80/81/83, listing name)
// Ops 5 and 7 encode like 0 and 1 but never take the inc/dec form.  The
// 16/32-bit opcode is the 8-bit one | 1.
// ---------------------------------------------------------------------------
#define X86_ALU_OPS(X)                           \
    X(ALU_ADD,  0x02, 0x00, 0x04, 0, "add")      \
    X(ALU_SUB,  0x2A, 0x28, 0x2C, 5, "sub")      \
    X(ALU_AND,  0x22, 0x20, 0x24, 4, "and")      \
    X(ALU_OR,   0x0A, 0x08, 0x0C, 1, "or")       \
    X(ALU_XOR,  0x32, 0x30, 0x34, 6, "xor")      \
    X(ALU_ADD2, 0x02, 0x00, 0x04, 0, "add")      \
    X(ALU_ADC,  0x12, 0x10, 0x14, 2, "adc")      \
    X(ALU_SUB2, 0x2A, 0x28, 0x2C, 5, "sub")      \
    X(ALU_SBB,  0x1A, 0x18, 0x1C, 3, "sbb")      \
    X(ALU_CMP,  0x3A, 0x38, 0x3C, 7, "cmp")      \
    X(ALU_TEST, 0x84, 0x84, 0xA8, 0, "test")

enum : u4 {
#define X(name, rrm, rmr, acc, digit, text) name,
    X86_ALU_OPS(X)
#undef X
    ALU_COUNT
};
static_assert(ALU_ADD == 0 && ALU_CMP == 9 && ALU_TEST == 10);

struct alu_encoding {
    u1 reg_rm;    // op reg, r/m (8-bit form)
    u1 rm_reg;    // op r/m, reg (8-bit form); test is symmetric: 84
    u1 acc_imm;   // op al, imm8
    u1 digit;     // /digit with 80/81/83 (F6/F7 /0 for test)
    const char* name;
};
constexpr alu_encoding alu_table[ALU_COUNT] = {
#define X(name, rrm, rmr, acc, digit, text) {rrm, rmr, acc, digit, text},
    X86_ALU_OPS(X)
#undef X
};

// Shift kinds: X(name, /digit with C1/D1/D3 or the 0F opcode of the imm8 form)
constexpr u4 SHIFT_SHL = 0, SHIFT_SAR = 1, SHIFT_SHR = 2, SHIFT_SHLD = 3, SHIFT_SHRD = 4;
constexpr u1 shift_digit[3] = {4, 7, 5};

// ---------------------------------------------------------------------------
// Opcodes and /digits, digit beside opcode.
// ---------------------------------------------------------------------------
constexpr u1 OP_TWO_BYTE   = 0x0F;
constexpr u1 OP_MOV_R_RM   = 0x8B;   // mov r32, r/m32  (8A: 8-bit)
constexpr u1 OP_MOV_RM_R   = 0x89;   // mov r/m32, r32  (88: 8-bit)
constexpr u1 OP_MOV_RM_IMM = 0xC7;   // mov r/m32, imm32 /0  (C6: 8-bit)
constexpr u1 OP_MOV_R_IMM  = 0xB8;   // mov r32, imm32: B8+r
constexpr u1 OP_MOVSX_B    = 0xBE;   // 0F BE movsx r32, r/m8 (BF: r/m16)
constexpr u1 OP_MOVZX_B    = 0xB6;   // 0F B6 movzx r32, r/m8 (B7: r/m16)
constexpr u1 OP_LEA        = 0x8D;
constexpr u1 OP_XCHG_EAX   = 0x90;   // xchg eax, r32: 90+r (90 alone: nop)
constexpr u1 OP_XCHG       = 0x87;
constexpr u1 OP_CMPXCHG    = 0xB1;   // 0F B1
constexpr u1 OP_MOVS       = 0xA4;   // A5 for 16/32
constexpr u1 OP_STOS       = 0xAA;   // AB for 16/32
constexpr u1 OP_SETCC_BASE = 0x90;   // 0F 90+cc
constexpr u1 OP_CMOV_BASE  = 0x40;   // 0F 40+cc
constexpr u1 OP_ALU_IMM8   = 0x80;   // 80 /digit ib (81: 16/32-bit imm)
constexpr u1 OP_ALU_SIMM8  = 0x83;   // 83 /digit ib, sign-extended
constexpr u1 OP_TEST_IMM   = 0xF6;   // F6 /0 ib (F7: imm16/32)
constexpr u1 OP_INC_R      = 0x40;   // 40+r
constexpr u1 OP_DEC_R      = 0x48;   // 48+r
constexpr u1 OP_INCDEC_RM  = 0xFE;   // FE /0 inc, /1 dec (FF: 16/32)
constexpr u1 DIGIT_INC = 0, DIGIT_DEC = 1;
constexpr u1 OP_IMUL_IMM8  = 0x6B;   // imul r32, r/m32, imm8
constexpr u1 OP_IMUL_IMM32 = 0x69;   // imul r32, r/m32, imm32
constexpr u1 OP_IMUL_R_RM  = 0xAF;   // 0F AF
constexpr u1 OP_GRP3       = 0xF7;   // F7 /digit:
constexpr u1 DIGIT_NEG = 3, DIGIT_MUL = 4, DIGIT_IMUL = 5, DIGIT_DIV = 6, DIGIT_IDIV = 7;
constexpr u1 OP_CDQ        = 0x99;
constexpr u1 OP_SHIFT_1    = 0xD1;   // D1 /digit: by 1
constexpr u1 OP_SHIFT_IMM  = 0xC1;   // C1 /digit ib
constexpr u1 OP_SHIFT_CL   = 0xD3;   // D3 /digit: by cl
constexpr u1 OP_SHLD_IMM   = 0xA4;   // 0F A4 (0F A5: by cl)
constexpr u1 OP_SHRD_IMM   = 0xAC;   // 0F AC (0F AD: by cl)
constexpr u1 OP_PUSH_R     = 0x50;   // 50+r
constexpr u1 OP_POP_R      = 0x58;   // 58+r
constexpr u1 OP_PUSH_IMM8  = 0x6A;
constexpr u1 OP_PUSH_IMM32 = 0x68;
constexpr u1 OP_GRP5       = 0xFF;   // FF /digit:
constexpr u1 DIGIT_CALL_IND = 2, DIGIT_JMP_IND = 4, DIGIT_PUSH_RM = 6;
constexpr u1 OP_CALL_REL32 = 0xE8;
constexpr u1 OP_JMP_REL32  = 0xE9;
constexpr u1 OP_JMP_REL8   = 0xEB;
constexpr u1 OP_RET        = 0xC3;
constexpr u1 OP_NOP        = 0x90;

// ---------------------------------------------------------------------------
// x87 escape opcodes and their /digits, digit beside opcode.  A register form
// is the escape byte and fpu_reg_form(digit, i) naming st(i).
// ---------------------------------------------------------------------------
constexpr u1 FPU_D8 = 0xD8;   // D8 /digit: st(0) op= float [mem] or st(i)
constexpr u1 FPU_DC = 0xDC;   // DC /digit: st(0) op= double [mem]; st(i) op= st(0)
constexpr u1 FPU_DE = 0xDE;   // DE: the DC register forms, popping
constexpr u1 DIGIT_FADD = 0, DIGIT_FMUL = 1, DIGIT_FCOM = 2, DIGIT_FCOMP = 3, DIGIT_FSUB = 4, DIGIT_FSUBR = 5,
             DIGIT_FDIV = 6, DIGIT_FDIVR = 7;
constexpr u1 FPU_D9 = 0xD9;   // D9 /digit: float [mem]; fld st(i), fxch st(i)
constexpr u1 FPU_DD = 0xDD;   // DD /digit: double [mem]; fst st(i), fstp st(i)
constexpr u1 DIGIT_FLD = 0, DIGIT_FXCH = 1, DIGIT_FST = 2, DIGIT_FSTP = 3, DIGIT_FLDCW = 5;
constexpr u1 FPU_DB = 0xDB;   // DB /digit: int32 [mem]; fcomi st(i)
constexpr u1 FPU_DF = 0xDF;   // DF /digit: int64 [mem]; fcomip st(i)
constexpr u1 DIGIT_FILD = 0, DIGIT_FIST = 2, DIGIT_FISTP = 3, DIGIT_FILD64 = 5, DIGIT_FCOMI = 6, DIGIT_FISTP64 = 7;

constexpr u1 fpu_reg_form(u1 digit, int i) { return (u1)(0xC0 + (digit << 3) + i); }
static_assert(fpu_reg_form(DIGIT_FSTP, 1) == 0xD9 && fpu_reg_form(DIGIT_FCOMI, 0) == 0xF0);

// Marker of a jump or call target that is still open; back-patching replaces it.
constexpr u4 UNRESOLVED_TARGET = 0xCAFEBABE;

// Operand sizes: 1 byte, 2 word (66 prefix), 3 high byte, 4 doubleword.
constexpr int SIZE_BYTE = 1, SIZE_WORD = 2, SIZE_HIGH_BYTE = 3, SIZE_DWORD = 4;

constexpr bool fits_imm8(s4 v) { return v >= -128 && v <= 127; }

#endif // ORVA_X86_DEFS_H
