// Golden-table tests of the ModRM/SIB encoder and the raw integer emitters:
// every row's bytes must be what GNU as writes for the row's Intel text (or,
// for ALT rows, another encoding objdump decodes to the same instruction),
// and both passes of the two-pass contract must agree on every row.
#include <gtest/gtest.h>

#include "cg_test_util.h"

namespace {

constexpr u4 EAX = GR_EAX, EDX = GR_EDX, ECX = GR_ECX, EBX = GR_EBX, ESP = GR_ESP, EBP = GR_EBP,
             ESI = GR_ESI, EDI = GR_EDI;
constexpr u4 AH = GR_AH, CH = GR_CH, DH = GR_DH, BH = GR_BH;

int os_ds(int n) { orva_os_type = 12; return n; }
int set_os2() { orva_os_type = OS_TYPE_DS_EBP; return 0; }
constexpr u4 TEST_TLA_MASK = 0xFFF00000u;
int set_mask() { orva_tla_mask = TEST_TLA_MASK; return 0; }
u4 here(codegen_context* cg, s4 delta) { return (u4)(uintptr_t)cg->code + (u4)delta; }

// Memory operand written by hand through modrm_and_sib (for the force-disp32
// form no emitter asks for): opcode 8B, reg field = dst.
int load_via_modrm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int force, int absolute)
{
    cg->code[0] = OP_MOV_R_RM;
    int n = 1 + modrm_and_sib(cg, cg->code + 1, dst, base, index, scale, disp, (u1)force, absolute);
    return cg_emitted(cg, n);
}

const golden_row modrm_rows[] = {
    // Every addressing form of modrm_and_sib, as loads.
    ROW("mov eax, [ebx]", _gen_move_gr_mem(cg, EAX, EBX, 0, 0, 0, 4, SEG_NONE)),
    ROW("mov ecx, [ebp]", _gen_move_gr_mem(cg, ECX, EBP, 0, 0, 0, 4, SEG_NONE)),
    ROW("mov edx, [esp]", _gen_move_gr_mem(cg, EDX, ESP, 0, 0, 0, 4, SEG_NONE)),
    ROW("mov edx, [esp+8]", _gen_move_gr_mem(cg, EDX, ESP, 0, 0, 8, 4, SEG_NONE)),
    ROW("mov esi, [esp+0x200]", _gen_move_gr_mem(cg, ESI, ESP, 0, 0, 0x200, 4, SEG_NONE)),
    ROW("mov eax, [ebx+ecx*4+0x1000]", _gen_move_gr_mem(cg, EAX, EBX, ECX, 4, 0x1000, 4, SEG_NONE)),
    ROW("mov esi, [ebx+127]", _gen_move_gr_mem(cg, ESI, EBX, 0, 0, 127, 4, SEG_NONE)),
    ROW("mov esi, [ebx+128]", _gen_move_gr_mem(cg, ESI, EBX, 0, 0, 128, 4, SEG_NONE)),
    ROW("mov esi, [ebx-128]", _gen_move_gr_mem(cg, ESI, EBX, 0, 0, -128, 4, SEG_NONE)),
    ROW("mov esi, [ebx-129]", _gen_move_gr_mem(cg, ESI, EBX, 0, 0, -129, 4, SEG_NONE)),
    ROW("mov edi, [ebp-4]", _gen_move_gr_mem(cg, EDI, EBP, 0, 0, -4, 4, SEG_NONE)),
    ROW("mov edi, [ebp+0x100]", _gen_move_gr_mem(cg, EDI, EBP, 0, 0, 0x100, 4, SEG_NONE)),
    ROW("{disp32} mov eax, [ebx+0x10]", load_via_modrm(cg, EAX, EBX, 0, 0, 0x10, 1, 0)),
    ROW("{disp32} mov eax, [ebx-1]", load_via_modrm(cg, EAX, EBX, 0, 0, -1, 1, 0)),
    ROW("mov ecx, [0x1000]", _gen_move_gr_mem(cg, ECX, 0, 0, 0, 0x1000, 4, SEG_NONE)),
    ROW("mov edx, [ecx*4+0x1000]", _gen_move_gr_mem(cg, EDX, 0, ECX, 4, 0x1000, 4, SEG_NONE)),
    ROW("mov eax, [ebp+ecx*2]", _gen_move_gr_mem(cg, EAX, EBP, ECX, 2, 0, 4, SEG_NONE)),
    ROW("mov eax, [esp+ecx*8+4]", _gen_move_gr_mem(cg, EAX, ESP, ECX, 8, 4, 4, SEG_NONE)),
    ROW("mov ebx, [eax+edi*1]", _gen_move_gr_mem(cg, EBX, EAX, EDI, 1, 0, 4, SEG_NONE)),
    ROW("mov ebx, [esi+edx*2-0x80]", _gen_move_gr_mem(cg, EBX, ESI, EDX, 2, -0x80, 4, SEG_NONE)),
    ROW("mov ebx, [edi+ebp*4+0x7fffffff]", _gen_move_gr_mem(cg, EBX, EDI, EBP, 4, 0x7fffffff, 4, SEG_NONE)),
    ROW("mov ebx, [0xfffffff0]", _gen_move_gr_mem(cg, EBX, 0, 0, 0, (s4)0xfffffff0, 4, SEG_NONE)),
    // Prefixes: explicit segment, the DS rule for ebp bases.
    ROW("mov eax, fs:[ecx]", _gen_move_gr_mem(cg, EAX, ECX, 0, 0, 0, 4, SEG_FS)),
    ROW("mov eax, gs:[ecx+4]", _gen_move_gr_mem(cg, EAX, ECX, 0, 0, 4, 4, SEG_GS)),
    ROW("mov ax, es:[ecx]", _gen_move_gr_mem(cg, EAX, ECX, 0, 0, 0, 2, SEG_ES)),
    ROW("mov eax, ds:[ebp+8]", (set_os2(), os_ds(_gen_move_gr_mem(cg, EAX, EBP, 0, 0, 8, 4, SEG_NONE)))),
    ROW("mov ds:[ebp+8], ecx", (set_os2(), os_ds(_gen_move_mm_gr(cg, EBP, 0, 0, 8, ECX, 4)))),
    ROW("mov eax, [ebx+8]", (set_os2(), os_ds(_gen_move_gr_mem(cg, EAX, EBX, 0, 0, 8, 4, SEG_NONE)))),
    ROW("fld qword ptr ds:[ebp-8]", (set_os2(), os_ds(_gen_move_fr8_mm(cg, EBP, 0, 0, -8)))),
};

const golden_row move_rows[] = {
    ROW("mov ecx, 0x12345678", _gen_move_gr_i4(cg, ECX, 0x12345678)),
    ROW("mov eax, -1", _gen_move_gr_i4(cg, EAX, -1)),
    ROW("mov edi, 0", _gen_move_gr_i4(cg, EDI, 0)),
    ROW("{load} mov ecx, edx", _gen_move_gr_gr(cg, ECX, EDX)),
    ROW("{load} mov esp, ebp", _gen_move_gr_gr(cg, ESP, EBP)),
    ROW("{load} mov ecx, ecx", _gen_move_gr_gr(cg, ECX, ECX | REG_NOREC)),
    ROW("movsx ecx, dl", _gen_movesx_gr_gr(cg, ECX, EDX, 1)),
    ROW("movsx ecx, ah", _gen_movesx_gr_gr(cg, ECX, AH, 1)),
    ROW("movsx ecx, dx", _gen_movesx_gr_gr(cg, ECX, EDX, 2)),
    ROW("mov cl, [ebx+4]", _gen_move_gr_mem(cg, ECX, EBX, 0, 0, 4, 1, SEG_NONE)),
    ROW("mov ch, [ebx+4]", _gen_move_gr_mem(cg, CH, EBX, 0, 0, 4, 1, SEG_NONE)),
    ROW("mov cx, [ebx+4]", _gen_move_gr_mem(cg, ECX, EBX, 0, 0, 4, 2, SEG_NONE)),
    ROW("mov dl, [ebx+eax*1]", _gen_move_gr_mm(cg, EDX, EBX, EAX, 1, 0)),
    ROW("mov dx, [ebx+eax*2]", _gen_move_gr_mm(cg, EDX, EBX, EAX, 2, 0)),
    ROW("mov edx, [ebx+eax*4]", _gen_move_gr_mm(cg, EDX, EBX, EAX, 4, 0)),
    ROW("mov edx, [ebx+eax*8+4]", _gen_move_gr_mm(cg, EDX, EBX, EAX, 8, 4)),
    ROW("mov dx, [ebx+12]", _gen_move_gr_mm(cg, EDX, EBX, 2, 0, 12)),
    ROW("mov edx, [ebx+12]", _gen_move_gr_mm(cg, EDX, EBX, 4, 0, 12)),
    ROW("mov [ebx], cl", _gen_move_mm_gr(cg, EBX, 0, 0, 0, ECX, 1)),
    ROW("mov [ebx], ah", _gen_move_mm_gr(cg, EBX, 0, 0, 0, AH, 1)),
    ROW("mov [ebx+ecx*2+6], dx", _gen_move_mm_gr(cg, EBX, ECX, 2, 6, EDX, 2)),
    ROW("mov [esp+4], esi", _gen_move_mm_gr(cg, ESP, 0, 0, 4, ESI, 4)),
    ROW("mov [0x2000], ecx", _gen_move_mm_gr(cg, 0, 0, 0, 0x2000, ECX, 4)),
    ROW("mov byte ptr [ebx+4], 0x12", _gen_move_mm_i4(cg, EBX, 0, 0, 4, 0x12, 1)),
    ROW("mov word ptr [ebx+4], 0x1234", _gen_move_mm_i4(cg, EBX, 0, 0, 4, 0x1234, 2)),
    ROW("mov dword ptr [ebx+4], 0x12345678", _gen_move_mm_i4(cg, EBX, 0, 0, 4, 0x12345678, 4)),
    ROW("mov dword ptr [esp], -1", _gen_move_mm_i4(cg, ESP, 0, 0, 0, -1, 4)),
    ROW("mov dword ptr [0x3000], 7", _gen_move_mm_i4(cg, 0, 0, 0, 0x3000, 7, 4)),
    ROW("movsx ecx, byte ptr [ebx+1]", _gen_movesx_gr_xmm(cg, ECX, EBX, 0, 0, 1, 1)),
    ROW("movsx ecx, word ptr [ebx+2]", _gen_movesx_gr_xmm(cg, ECX, EBX, 0, 0, 2, 2)),
    ROW("movzx ecx, byte ptr [ebx+1]", _gen_movezx_gr_xmm(cg, ECX, EBX, 0, 0, 1, 1)),
    ROW("movzx ecx, word ptr [ebx+edx*2]", _gen_movezx_gr_xmm(cg, ECX, EBX, EDX, 2, 0, 2)),
    ROW("movzx esi, byte ptr [edi+3]", _gen_moveXx_gr_mm(cg, ESI, EDI, 1, 0, 3, 0, 0)),
    ROW("movsx esi, word ptr [edi+3]", _gen_moveXx_gr_mm(cg, ESI, EDI, 2, 0, 3, 0, 1)),
    ROW("lea ecx, [ebx+ecx*4+8]", _gen_lea_gr_mm(cg, ECX, EBX, ECX, 4, 8)),
    ROW("lea eax, [esp+0x100]", _gen_lea_gr_mm(cg, EAX, ESP, 0, 0, 0x100)),
    ROW("lea edx, [ebp]", _gen_lea_gr_mm(cg, EDX, EBP, 0, 0, 0)),
    ROW("xchg eax, ecx", _gen_xchg_gr_gr(cg, EAX, ECX)),
    ROW("xchg edi, eax", _gen_xchg_gr_gr(cg, EDI, EAX)),
    ROW("xchg eax, eax", _gen_xchg_gr_gr(cg, EAX, EAX)),
    ROW("xchg edx, ecx", _gen_xchg_gr_gr(cg, ECX, EDX)),
    ROW("xchg [esp], eax", _gen_xchg_gr_mm(cg, EAX, ESP, 0)),
    ROW("xchg [ebx+8], esi", _gen_xchg_gr_mm(cg, ESI, EBX, 8)),
    ROW("cmpxchg [ebx], ecx", _gen_cmpxchg_mm_gr(cg, EBX, 0, 0, 0, ECX)),
    ROW("cmpxchg [ebx+eax*4+8], edx", _gen_cmpxchg_mm_gr(cg, EBX, EAX, 4, 8, EDX)),
    ROW("lock", _gen_lock_prefix(cg)),
    ROW("rep movsb", _gen_rep_movs(cg, 1)),
    ROW("rep movsw", _gen_rep_movs(cg, 2)),
    ROW("rep movsd", _gen_rep_movs(cg, 4)),
    ROW("rep stosb", _gen_rep_stos(cg, 1)),
    ROW("rep stosw", _gen_rep_stos(cg, 2)),
    ROW("rep stosd", _gen_rep_stos(cg, 4)),
    ROW("stosb", _gen_stos(cg, 1)),
    ROW("stosw", _gen_stos(cg, 2)),
    ROW("stosd", _gen_stos(cg, 4)),
};

// Every condition code, in each form that takes one.
const golden_row cond_rows[] = {
#define SETCC(cc, name) ROW("set" name " al", _gen_setcc_gr(cg, EAX, cc, 1)),
#define CMOVCC(cc, name) ROW("cmov" name " eax, ecx", _gen_cmove_gr_gr(cg, cc, EAX, ECX)),
#define JCC_SHORT(cc, name) JROW("j" name " $+129", _gen_jmpcc(cg, cc, here(cg, 129), 2)),
#define JCC_NEAR(cc, name) JROW("j" name " $+130", _gen_jmpcc(cg, cc, here(cg, 130), 2)),
#define JCC_BACK(cc, name) JROW("j" name " $-126", _gen_jmpcc(cg, cc, here(cg, -126), 2)),
#define JCC_FAR_BACK(cc, name) JROW("j" name " $-127", _gen_jmpcc(cg, cc, here(cg, -127), 2)),
#define CONDS(X) X(COND_EQ, "e") X(COND_NE, "ne") X(COND_LT, "l") X(COND_LE, "le") X(COND_GT, "g") \
    X(COND_GE, "ge") X(COND_A, "a") X(COND_AE, "ae") X(COND_B, "b") X(COND_BE, "be") X(COND_C, "c") \
    X(COND_NC, "nc") X(COND_S, "s") X(COND_NS, "ns") X(COND_P, "p") X(COND_NP, "np")
    CONDS(SETCC) CONDS(CMOVCC) CONDS(JCC_SHORT) CONDS(JCC_NEAR) CONDS(JCC_BACK) CONDS(JCC_FAR_BACK)
    JCC_SHORT(COND_ALWAYS, "mp") JCC_NEAR(COND_ALWAYS, "mp") JCC_BACK(COND_ALWAYS, "mp")
    JCC_FAR_BACK(COND_ALWAYS, "mp")
#undef SETCC
#undef CMOVCC
    // The reg field of SETcc repeats the register; the processor ignores it.
    ALT("setne cl", "0F 95 C9", _gen_setcc_gr(cg, ECX, COND_NE, 1)),
    ALT("setl bl", "0F 9C DB", _gen_setcc_gr(cg, EBX, COND_LT, 1)),
    ALT("setg ah", "0F 9F E4", _gen_setcc_gr(cg, EAX, COND_GT, 3)),
    ALT("setb dh", "0F 92 F6", _gen_setcc_gr(cg, EDX, COND_B, 3)),
    ROW("cmovl edx, [ebx+8]", _gen_cmove_gr_mm(cg, COND_LT, EDX, EBX, 0, 0, 8, 4)),
    ROW("cmova dx, [ebx+8]", _gen_cmove_gr_mm(cg, COND_A, EDX, EBX, 0, 0, 8, 2)),
    ROW("cmove ecx, [0x1000]", _gen_cmove_gr_mm(cg, COND_EQ, ECX, 0, 0, 0, 0x1000, 4)),
    // Short and near requests at the edges of the short range.
    JROW("je $+2", _gen_jmpcc(cg, COND_EQ, here(cg, 2), 1)),
    JROW("jmp $+0x10000", _gen_jmpcc(cg, COND_ALWAYS, here(cg, 0x10000), 2)),
    JROW("jg $-0x10000", _gen_jmpcc(cg, COND_GT, here(cg, -0x10000), 2)),
    JROW("jl $+129", _gen_jmpcc(cg, COND_LT, here(cg, 129), 1)),
    JROW("jl $-126", _gen_jmpcc(cg, COND_LT, here(cg, -126), 1)),
};

const golden_row alu_rows[] = {
    // reg, reg for every operation, both widths and the high bytes.
#define ALU_RR(op, name) ROW("{load} " name " ecx, edx", _gen_ARITHMETIC_xgr_xgr(cg, op, ECX, EDX, 4)),
#define ALU_RR8(op, name) ROW("{load} " name " cl, ah", _gen_ARITHMETIC_xgr_xgr(cg, op, ECX, AH, 1)),
#define ALU_OPS(X) X(ALU_ADD, "add") X(ALU_SUB, "sub") X(ALU_AND, "and") X(ALU_OR, "or") X(ALU_XOR, "xor") \
    X(ALU_ADC, "adc") X(ALU_SBB, "sbb") X(ALU_CMP, "cmp")
    ALU_OPS(ALU_RR) ALU_OPS(ALU_RR8)
    ROW("{load} add esi, edi", _gen_ARITHMETIC_xgr_xgr(cg, ALU_ADD2, ESI, EDI, 4)),
    ROW("{load} sub esi, edi", _gen_ARITHMETIC_xgr_xgr(cg, ALU_SUB2, ESI, EDI, 4)),
    ROW("test edx, ecx", _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, ECX, EDX, 4)),
    ROW("test bh, al", _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, EAX, BH, 1)),
    ROW("{load} cmp eax, ebx", _gen_cmp_gr_gr(cg, EAX, EBX)),
    // reg, imm: inc/dec, accumulator short forms, imm8 and imm32.
    ROW("add eax, 1000", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, EAX, 1000, 4)),
    ROW("add eax, 100", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, EAX, 100, 4)),
    ROW("inc ecx", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, ECX, 1, 4)),
    ROW("inc ecx", _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, ECX, -1, 4)),
    ROW("dec edi", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, EDI, -1, 4)),
    ROW("dec edi", _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, EDI, 1, 4)),
    ROW("inc cx", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, ECX, 1, 2)),
    ROW("inc al", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, EAX, 1, 1)),
    ROW("dec bl", _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, EBX, 1, 1)),
    ROW("inc ah", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, EAX, 1, 3)),
    ROW("dec dh", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, EDX, -1, 3)),
    ROW("add ecx, 1", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD2, ECX, 1, 4)),
    ROW("sub ecx, -1", _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB2, ECX, -1, 4)),
    ROW("sub eax, 1000", _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, EAX, 1000, 4)),
    ROW("or eax, -1", _gen_ARITHMETIC_xgr_i4(cg, ALU_OR, EAX, -1, 4)),
    ROW("or ecx, -1", _gen_ARITHMETIC_xgr_i4(cg, ALU_OR, ECX, -1, 4)),
    ROW("and edx, 0x7f", _gen_ARITHMETIC_xgr_i4(cg, ALU_AND, EDX, 0x7F, 4)),
    ROW("and edx, 0x80", _gen_ARITHMETIC_xgr_i4(cg, ALU_AND, EDX, 0x80, 4)),
    ROW("and edx, -128", _gen_ARITHMETIC_xgr_i4(cg, ALU_AND, EDX, -128, 4)),
    ROW("and edx, -129", _gen_ARITHMETIC_xgr_i4(cg, ALU_AND, EDX, -129, 4)),
    ROW("xor esi, 0x12345678", _gen_ARITHMETIC_xgr_i4(cg, ALU_XOR, ESI, 0x12345678, 4)),
    ROW("adc ecx, 5", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADC, ECX, 5, 4)),
    ROW("sbb ecx, 0", _gen_ARITHMETIC_xgr_i4(cg, ALU_SBB, ECX, 0, 4)),
    ROW("adc eax, 0x100", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADC, EAX, 0x100, 4)),
    ROW("cmp ebx, 127", _gen_cmp_gr_i4(cg, EBX, 127)),
    ROW("cmp ebx, 128", _gen_cmp_gr_i4(cg, EBX, 128)),
    ROW("cmp cx, 5", _gen_ARITHMETIC_xgr_i4(cg, ALU_CMP, ECX, 5, 2)),
    ROW("cmp ax, 5", _gen_ARITHMETIC_xgr_i4(cg, ALU_CMP, EAX, 5, 2)),
    ROW("add ax, 1000", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, EAX, 1000, 2)),
    ROW("add cx, 1000", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, ECX, 1000, 2)),
    ROW("add al, 100", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, EAX, 100, 1)),
    ROW("add al, 200", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, EAX, 200, 1)),
    ROW("and cl, 0x0f", _gen_ARITHMETIC_xgr_i4(cg, ALU_AND, ECX, 0x0F, 1)),
    ROW("cmp ah, 0x40", _gen_ARITHMETIC_xgr_i4(cg, ALU_CMP, EAX, 0x40, 3)),
    ROW("cmp bh, 0xc0", _gen_ARITHMETIC_xgr_i4(cg, ALU_CMP, EBX, 0xC0, 3)),
    // test: the accumulator form only for a byte or a large immediate.
    ALT("test eax, 5", "F7 C0 05 00 00 00", _gen_ARITHMETIC_xgr_i4(cg, ALU_TEST, EAX, 5, 4)),
    ROW("test eax, 1000", _gen_ARITHMETIC_xgr_i4(cg, ALU_TEST, EAX, 1000, 4)),
    ROW("test ecx, 5", _gen_ARITHMETIC_xgr_i4(cg, ALU_TEST, ECX, 5, 4)),
    ROW("test al, 5", _gen_ARITHMETIC_xgr_i4(cg, ALU_TEST, EAX, 5, 1)),
    ROW("test cl, 0x80", _gen_ARITHMETIC_xgr_i4(cg, ALU_TEST, ECX, 0x80, 1)),
    ROW("test ah, 5", _gen_ARITHMETIC_xgr_i4(cg, ALU_TEST, EAX, 5, 3)),
    ROW("test dx, 0x100", _gen_ARITHMETIC_xgr_i4(cg, ALU_TEST, EDX, 0x100, 2)),
    ROW("add esp, 16", _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, ESP, 16, 4)),
    ROW("sub esp, 0x400", _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, ESP, 0x400, 4)),
    // memory, imm
    ROW("inc dword ptr [ebx]", _gen_ARITHMETIC_xmm_i4(cg, ALU_ADD, EBX, 0, 0, 0, 1, 4)),
    ROW("dec word ptr [ebx+4]", _gen_ARITHMETIC_xmm_i4(cg, ALU_SUB, EBX, 0, 0, 4, 1, 2)),
    ROW("inc byte ptr [ebx+ecx*1]", _gen_ARITHMETIC_xmm_i4(cg, ALU_SUB, EBX, ECX, 1, 0, -1, 1)),
    ROW("add dword ptr [ebx], 1", _gen_ARITHMETIC_xmm_i4(cg, ALU_ADD2, EBX, 0, 0, 0, 1, 4)),
    ROW("cmp byte ptr [ebx], 5", _gen_cmp_mm_imm(cg, EBX, 0, 0, 0, 5, 1)),
    ROW("cmp dword ptr [esp+8], 1000", _gen_cmp_mm_i4(cg, ESP, 8, 1000)),
    ROW("cmp dword ptr [esp+8], -2", _gen_cmp_mm_i4(cg, ESP, 8, -2)),
    ROW("cmp word ptr [ebp-2], 0x1234", _gen_cmp_mm_imm(cg, EBP, 0, 0, -2, 0x1234, 2)),
    ROW("test dword ptr [ebx], 5", _gen_ARITHMETIC_xmm_i4(cg, ALU_TEST, EBX, 0, 0, 0, 5, 4)),
    ROW("test byte ptr [ebx+3], 0x80", _gen_ARITHMETIC_xmm_i4(cg, ALU_TEST, EBX, 0, 0, 3, 0x80, 1)),
    ROW("and word ptr [ebx], 0x7f", _gen_ARITHMETIC_xmm_i4(cg, ALU_AND, EBX, 0, 0, 0, 0x7F, 2)),
    ROW("add dword ptr [0x1000], 5", _gen_ARITHMETIC_mm_i4(cg, ALU_ADD, 0, 0, 0, 0x1000, 5)),
    ROW("sbb dword ptr [esi+edi*8+0x200], 0x12345", _gen_ARITHMETIC_mm_i4(cg, ALU_SBB, ESI, EDI, 8, 0x200, 0x12345)),
    // memory, reg and reg, memory
    ROW("add [ebx], ecx", _gen_ARITHMETIC_mm_gr(cg, ALU_ADD, EBX, 0, 0, 0, ECX)),
    ROW("cmp [ebx+8], al", _gen_ARITHMETIC_xmm_gr(cg, ALU_CMP, EBX, 0, 0, 8, EAX, 1)),
    ROW("sub [ebp-8], dx", _gen_ARITHMETIC_xmm_gr(cg, ALU_SUB, EBP, 0, 0, -8, EDX, 2)),
    ROW("or [0x1000], esi", _gen_ARITHMETIC_xmm_gr(cg, ALU_OR, 0, 0, 0, 0x1000, ESI, 4)),
    ROW("cmp [esp+4], edi", _gen_cmp_mm_gr(cg, ESP, 4, EDI)),
    ROW("cmp [ecx+eax*4], ebx", _gen_cmp_xmm_gr(cg, ECX, EAX, 4, 0, EBX, 4)),
    ROW("add ecx, [ebx]", _gen_ARITHMETIC_gr_mm(cg, ALU_ADD, ECX, EBX, 0, 0, 0)),
    ROW("xor al, [ebx+1]", _gen_ARITHMETIC_gr_xmm(cg, ALU_XOR, EAX, EBX, 0, 0, 1, 1)),
    ROW("adc dx, [ebx+2]", _gen_ARITHMETIC_gr_xmm(cg, ALU_ADC, EDX, EBX, 0, 0, 2, 2)),
    ROW("cmp esi, [esp+12]", _gen_cmp_gr_mm(cg, ESI, ESP, 12)),
    // multiply, divide, negate, shifts
    ROW("imul ecx, ecx, 10", _gen_mul_gr_i4(cg, ECX, 10)),
    ROW("imul ecx, ecx, -128", _gen_mul_gr_i4(cg, ECX, -128)),
    ROW("imul ecx, ecx, 1000", _gen_mul_gr_i4(cg, ECX, 1000)),
    ROW("imul ecx, edx", _gen_mul_gr_gr(cg, ECX, EDX)),
    ROW("imul ecx", _gen_imul_gr(cg, ECX)),
    ROW("mul ecx", _gen_umul_gr(cg, ECX)),
    ROW("idiv ecx", _gen_div_gr(cg, ECX)),
    ROW("div ebx", _gen_udiv_gr(cg, EBX)),
    ROW("neg esi", _gen_neg_gr(cg, ESI)),
    ROW("cdq", _gen_cdq(cg)),
    ROW("shl ecx, 1", _gen_SHIFT_gr_i4(cg, SHIFT_SHL, ECX, 1)),
    ROW("sar ecx, 5", _gen_SHIFT_gr_i4(cg, SHIFT_SAR, ECX, 5)),
    ROW("shr edi, 31", _gen_SHIFT_gr_i4(cg, SHIFT_SHR, EDI, 31)),
    ROW("sar edx, 1", _gen_SHIFT_gr_i4(cg, SHIFT_SAR, EDX, 1)),
    ROW("shl eax, cl", _gen_SHIFT_gr(cg, SHIFT_SHL, EAX)),
    ROW("sar eax, cl", _gen_SHIFT_gr(cg, SHIFT_SAR, EAX)),
    ROW("shr edx, cl", _gen_SHIFT_gr(cg, SHIFT_SHR, EDX)),
    ROW("shld ecx, edx, 4", _gen_SHIFT8_gr_gr_i4(cg, SHIFT_SHLD, ECX, EDX, 4)),
    ROW("shrd eax, edx, 31", _gen_SHIFT8_gr_gr_i4(cg, SHIFT_SHRD, EAX, EDX, 31)),
    ROW("shld ecx, edx, cl", _gen_SHIFT8_gr_gr_gr(cg, SHIFT_SHLD, ECX, EDX)),
    ROW("shrd ecx, edx, cl", _gen_SHIFT8_gr_gr_gr(cg, SHIFT_SHRD, ECX, EDX)),
};

const golden_row stack_rows[] = {
    ROW("push ecx", _gen_push(cg, ECX)),
    ROW("push ebp", _gen_push(cg, EBP)),
    ROW("pop edi", _gen_pop(cg, EDI)),
    ROW("push dword ptr [ebx+4]", _gen_push_mm(cg, EBX, 4)),
    ROW("push dword ptr [esp+8]", _gen_push_mm(cg, ESP, 8)),
    ROW("push dword ptr [0x1000]", _gen_push_mm(cg, 0, 0x1000)),
    ROW("push dword ptr fs:[eax]", _gen_push_mem(cg, EAX, 0, SEG_FS)),
    ROW("push -128", _gen_push_imm(cg, -128)),
    ROW("push 127", _gen_push_imm(cg, 127)),
    ROW("push 128", _gen_push_imm(cg, 128)),
    ROW("push -129", _gen_push_imm(cg, -129)),
    ROW("push 0x12345678", _gen_push_imm(cg, 0x12345678)),
    ROW("call ecx", _gen_call_gr(cg, ECX)),
    ROW("call dword ptr [ebx]", _gen_call_indirect_mm(cg, EBX)),
    ROW("call dword ptr [esp]", _gen_call_indirect_mm(cg, ESP)),
    ROW("call dword ptr [ebp]", _gen_call_indirect_mm(cg, EBP)),
    ROW("call dword ptr [ebx+8]", _gen_call_indirect(cg, EBX, 8)),
    ROW("call dword ptr [ebx+0x1000]", _gen_call_indirect(cg, EBX, 0x1000)),
    ROW("call dword ptr [esi]", _gen_call_indirect(cg, ESI, 0)),
    ROW("jmp dword ptr [ebx+8]", _gen_jmp_indirect(cg, EBX, 8)),
    ROW("jmp dword ptr [eax-4]", _gen_jmp_indirect(cg, EAX, -4)),
    ROW("jmp ecx", _gen_jmp_gr(cg, 0, 0, ECX)),
    ROW("jmp dword ptr [ecx]", _gen_jmp_indirect_mm(cg, 0, 0, ECX)),
    ROW("call $+0x1000", _gen_call_(cg, here(cg, 0x1000))),
    ROW("call $-0x20", _gen_call_(cg, here(cg, -0x20))),
    ROW("ret", _gen_ret(cg)),
    ROW(".long 0x12345678", _gen_addr(cg, 0x12345678)),
    ROW(".byte 0xcc", _gen_addr1(cg, 0xCC)),
    // Thread-local area.
    ROW("{load} mov ecx, esp; and ecx, 0xfff00000; mov ecx, [ecx]", (set_mask(), _gen_move_gr_fs(cg, ECX, 0))),
    ROW("{load} mov eax, esp; and eax, 0xfff00000; mov eax, [eax]", (set_mask(), _gen_move_eax_fs(cg))),
    ROW("{load} mov esi, esp; and esi, 0xfff00000; mov esi, [esi+4]", (set_mask(), _gen_get_ee(cg, ESI))),
    ROW("{load} mov edx, esp; and edx, 0xfff00000; mov edx, [edx+4]; push edx", (set_mask(), _gen_push_ee(cg, EDX))),
    ROW("push ecx; {load} mov ecx, esp; and ecx, 0xfff00000; mov [ecx], eax; pop ecx", (set_mask(), _gen_move_fs_eax(cg))),
    ROW("push edx; {load} mov edx, esp; and edx, 0xfff00000; mov [edx], ecx; pop edx", (set_mask(), _gen_move_fs_gr(cg, ECX))),
    ROW("push ecx; {load} mov ecx, esp; and ecx, 0xfff00000; mov [ecx], esp; add dword ptr [ecx], 4; pop ecx", (set_mask(), _gen_move_fs_esp(cg))),
    ROW("push eax; {load} mov eax, esp; and eax, 0xfff00000; mov eax, [eax]; xchg [esp], eax", (set_mask(), _gen_push_fs(cg, 0))),
};

// NOP filling of every length up to 16, and alignment padding.
const golden_row pad_rows[] = {
#define L7 "{disp32} lea esp, [esp+0]"
#define L6 "{disp32} lea eax, [eax+0]"
#define L4 "{disp8} lea esp, [esp+0]"
#define L3 "lea esp, [esp]"
#define L2 "lea eax, [eax]"
#define L1 "nop"
    PADROW(L1, _gen_nop(cg, 1)),
    PADROW(L2, _gen_nop(cg, 2)),
    PADROW(L3, _gen_nop(cg, 3)),
    PADROW(L4, _gen_nop(cg, 4)),
    PADROW(L4 "; " L1, _gen_nop(cg, 5)),
    PADROW(L6, _gen_nop(cg, 6)),
    PADROW(L7, _gen_nop(cg, 7)),
    PADROW(L7 "; " L1, _gen_nop(cg, 8)),
    PADROW(L7 "; " L2, _gen_nop(cg, 9)),
    PADROW(L7 "; " L3, _gen_nop(cg, 10)),
    PADROW(L7 "; " L4, _gen_nop(cg, 11)),
    PADROW(L7 "; " L4 "; " L1, _gen_nop(cg, 12)),
    PADROW(L7 "; " L6, _gen_nop(cg, 13)),
    PADROW(L7 "; " L7, _gen_nop(cg, 14)),
    PADROW(L7 "; " L7 "; " L1, _gen_nop(cg, 15)),
    PADROW(L7 "; " L7 "; " L2, _gen_nop(cg, 16)),
    ROWAT(L6 "; " L6, 20, _make_code_align(cg, 0, 32)),          // pad 12: two 6-byte pieces
    ROWAT(L7 "; " L6, 19, _make_code_align(cg, 0, 32)),          // pad 13
    ROWAT(L3, 1, _make_code_align(cg, 0, 4)),
    ROWAT(L1, 2, _make_code_align(cg, 1, 4)),                    // aligns code + 1
    ROWAT(L7 "; " L7 "; " L7 "; " L7 "; " L3, 1, _make_code_align(cg, 0, 32)),
    ROWAT(L1, 30, _prevent_DCU_splits_nbytes(cg, 1, 4)),         // bytes 31..34 would cross
    ROWAT(L4 "; " L1, 59, _prevent_DCU_splits_nbytes(cg, 0, 8)), // 59..66 cross the 64 line
};

TEST(GoldenX86, AddressingForms) { check_golden_rows(modrm_rows, std::size(modrm_rows)); }
TEST(GoldenX86, Moves) { check_golden_rows(move_rows, std::size(move_rows)); }
TEST(GoldenX86, ConditionCodes) { check_golden_rows(cond_rows, std::size(cond_rows)); }
TEST(GoldenX86, Arithmetic) { check_golden_rows(alu_rows, std::size(alu_rows)); }
TEST(GoldenX86, StackCallsThreadLocal) { check_golden_rows(stack_rows, std::size(stack_rows)); }
TEST(GoldenX86, PaddingAndAlignment) { check_golden_rows(pad_rows, std::size(pad_rows)); }

}  // namespace
