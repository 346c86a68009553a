// Raw emitters for the stack, calls, jumps, the thread-local area, data
// words in the code, NOP filling and alignment.
//
// Pushes, pops and add/sub esp keep `sp_offset` of the method_code_info (bytes
// relative to the frame base) and, in the writing pass, record each change in
// the stack-offset list the frame iterator later reads (`cg_sp_changed`).
// Jumps are measured at their longest form in pass 1 and written short in
// pass 2 when the target is known and in range; an open target is written as
// the marker 0xCAFEBABE and patched later.
#include <stdio.h>
#include <stdlib.h>

#include "codegen/cg_core.h"

static u4 id_of(u4 reg) { return reg & REG_ID_MASK; }
static int abs_b0(u4 base) { return (base & REG_ID_MASK) == 0; }
static int abs_b18(u4 base)
{
    u4 id = base & REG_ID_MASK;
    return id < 1 || id > 8;
}

// Stack-depth entry rule: every change is recorded (pass 2, with a compile
// context), at the code position after the changing instruction.  A change
// back to offset 0 is recorded too: leaving it out would let a later call at
// that depth be attributed the previous, deeper depth.  With a scheduling
// window open the record travels with the instruction in the scratch slot
// and the scheduler corrects its position when the instruction is placed.
void cg_sp_changed(codegen_context* cg)
{
    if (cg->pass != CG_PASS_WRITE || cg->m == nullptr)
        return;
    sp_offset_info* node = update_sp_offset_table(cg, cg->mci->sp_offset);
    if (cg->flags & CG_SCHED_WINDOW_OPEN)
        cg->cs->scratch->sp_ref = node;
}

static int stack_changed(codegen_context* cg, int length, int delta)
{
    int n = cg_emitted(cg, length);
    cg->mci->sp_offset = (s2)(cg->mci->sp_offset + delta);
    cg_sp_changed(cg);
    return n;
}

// ---------------------------------------------------------------------------
// Push and pop
// ---------------------------------------------------------------------------

// push reg
int _gen_push(codegen_context* cg, u4 reg)
{
    cg_record_reg(cg, reg);
    cg->code[0] = (u1)(OP_PUSH_R + reg_hw_number[id_of(reg)]);
    return stack_changed(cg, 1, -4);
}

// push dword [base+disp]
int _gen_push_mem(codegen_context* cg, u4 base, s4 disp, int segment)
{
    u1* p = cg->code;
    int n = cg_mem_prefix(cg, p, base, segment);
    p[n++] = OP_GRP5;
    n += modrm_and_sib(cg, p + n, DIGIT(DIGIT_PUSH_RM), base, 0, 0, disp, 0, abs_b0(base));
    return stack_changed(cg, n, -4);
}

int _gen_push_mm(codegen_context* cg, u4 base, s4 disp) { return _gen_push_mem(cg, base, disp, SEG_NONE); }

// push imm8 / imm32
int _gen_push_imm(codegen_context* cg, s4 imm)
{
    u1* p = cg->code;
    if (fits_imm8(imm)) {
        p[0] = OP_PUSH_IMM8;
        p[1] = (u1)imm;
        return stack_changed(cg, 2, -4);
    }
    p[0] = OP_PUSH_IMM32;
    cg_write32(p + 1, (u4)imm);
    return stack_changed(cg, 5, -4);
}

// pop reg
int _gen_pop(codegen_context* cg, u4 reg)
{
    cg_record_reg(cg, reg);
    cg->code[0] = (u1)(OP_POP_R + reg_hw_number[id_of(reg)]);
    return stack_changed(cg, 1, 4);
}

// ---------------------------------------------------------------------------
// Calls and jumps
// ---------------------------------------------------------------------------

static int rel32_insn(codegen_context* cg, u1 opcode, u4 target)
{
    u1* p = cg->code;
    p[0] = opcode;
    u4 rel = target == UNRESOLVED_TARGET ? UNRESOLVED_TARGET : target - ((u4)(uintptr_t)p + 5);
    cg_write32(p + 1, rel);
    return cg_emitted(cg, 5);
}

// call <run-time routine k>
int _gen_call(codegen_context* cg, int k)
{
    void** table = _GET_DECODE_TABLE_BASE();
    u4 target = (u4)(uintptr_t)table[k];
    u1* p = cg->code;
    p[0] = OP_CALL_REL32;
    cg_write32(p + 1, target - ((u4)(uintptr_t)p + 5));
    return cg_emitted(cg, 5);
}

// call target  (0xCAFEBABE: open target, the field keeps the marker)
int _gen_call_(codegen_context* cg, u4 target) { return rel32_insn(cg, OP_CALL_REL32, target); }

// call reg
int _gen_call_gr(codegen_context* cg, u4 reg)
{
    u1* p = cg->code;
    cg_record_reg(cg, reg);
    p[0] = OP_GRP5;
    p[1] = modrm_reg(DIGIT(DIGIT_CALL_IND), reg);
    return cg_emitted(cg, 2);
}

// call dword [base]
int _gen_call_indirect_mm(codegen_context* cg, u4 base)
{
    u1* p = cg->code;
    p[0] = OP_GRP5;
    int n = 1 + modrm_and_sib(cg, p + 1, DIGIT(DIGIT_CALL_IND), base, 0, 0, 0, 0, abs_b18(base));
    return cg_emitted(cg, n);
}

// FF /digit [base+disp] straight from the ModRM table: no SIB and no [ebp]
// rule, so callers never pass esp, or ebp with displacement 0.  The digit's
// register id is recorded as if it were an operand.
static int grp5_direct(codegen_context* cg, u4 digit_id, u4 base, s4 disp)
{
    u1* p = cg->code;
    int mode = disp == 0 ? MOD_INDIRECT : fits_imm8(disp) ? MOD_DISP8 : MOD_DISP32;
    cg_record_reg(cg, base);
    cg_record_reg(cg, digit_id);
    p[0] = OP_GRP5;
    p[1] = modrm_table[mode].e[id_of(base)][digit_id];
    int n = 2;
    if (mode == MOD_DISP8)
        p[n++] = (u1)disp;
    else if (mode == MOD_DISP32) {
        cg_write32(p + n, (u4)disp);
        n += 4;
    }
    return cg_emitted(cg, n);
}

// call dword [base+disp]
int _gen_call_indirect(codegen_context* cg, u4 base, s4 disp) { return grp5_direct(cg, GR_EDX, base, disp); }
// jmp dword [base+disp]
int _gen_jmp_indirect(codegen_context* cg, u4 base, s4 disp) { return grp5_direct(cg, GR_ESP, base, disp); }

// jmp reg
int _gen_jmp_gr(codegen_context* cg, int ignored1, int ignored2, u4 reg)
{
    u1* p = cg->code;
    cg_record_reg(cg, reg);
    p[0] = OP_GRP5;
    p[1] = modrm_reg(DIGIT(DIGIT_JMP_IND), reg);
    return cg_emitted(cg, 2);
}

// jmp dword [base]
int _gen_jmp_indirect_mm(codegen_context* cg, int ignored1, int ignored2, u4 base)
{
    u1* p = cg->code;
    p[0] = OP_GRP5;
    int n = 1 + modrm_and_sib(cg, p + 1, DIGIT(DIGIT_JMP_IND), base, 0, 0, 0, 0, abs_b18(base));
    return cg_emitted(cg, n);
}

// jcc/jmp target; size 1 asks for the short form, 2 for the near form.
int _gen_jmpcc(codegen_context* cg, int cond, u4 target, int size)
{
    if (cg->pass == CG_PASS_MEASURE) {
        // Nothing is written: the longest form the size allows is counted.
        u4 length = size == 1 ? 2 : cond == (int)COND_ALWAYS ? 5 : 6;
        cg_count_pass1(cg, length);
        return (int)length;
    }
    u1* p = cg->code;
    u4 pos = (u4)(uintptr_t)p;
    int is_short = size == 1;
    if (!is_short && target != UNRESOLVED_TARGET && target - pos + 126 <= 255)
        is_short = 1;
    int length = is_short ? 2 : cond == (int)COND_ALWAYS ? 5 : 6;
    u4 rel = target == UNRESOLVED_TARGET ? UNRESOLVED_TARGET : target - (pos + (u4)length);
    if (is_short && target != UNRESOLVED_TARGET && (s4)rel != (s4)(int8_t)rel) {
        // A short jump asked for a target it cannot reach: writing the
        // truncated displacement would jump somewhere else.
        cg_internal_error("_gen_jmpcc: short jump out of range (%d)", (int)(s4)rel);
    }
    int n = 0;
    if (is_short) {
        p[n++] = cond == (int)COND_ALWAYS ? OP_JMP_REL8 : jcc_short_opcode[cond];
        p[n++] = (u1)rel;
    } else {
        if (cond == (int)COND_ALWAYS) {
            p[n++] = OP_JMP_REL32;
        } else {
            p[n++] = OP_TWO_BYTE;
            p[n++] = jcc_near_opcode((u4)cond);
        }
        cg_write32(p + n, rel);
        n += 4;
    }
    return cg_emitted(cg, n);
}

// ret
int _gen_ret(codegen_context* cg)
{
    cg->code[0] = OP_RET;
    return cg_emitted(cg, 1);
}

// A data word / byte in the code.
int _gen_addr(codegen_context* cg, u4 word)
{
    cg_write32(cg->code, word);
    return cg_emitted(cg, 4);
}

int _gen_addr1(codegen_context* cg, u1 byte)
{
    cg->code[0] = byte;
    return cg_emitted(cg, 1);
}

// ---------------------------------------------------------------------------
// Thread-local area: at esp & orva_tla_mask; word 0 is the exception
// registration word, word 1 the execution environment.  The mask's value at
// code-generation time is written as an immediate.
// ---------------------------------------------------------------------------

static int tla_base(codegen_context* cg, u4 reg)
{
    int n = _gen_move_gr_gr(cg, reg, GR_ESP);
    n += _gen_ARITHMETIC_xgr_i4(cg, ALU_AND, reg, (s4)orva_tla_mask, SIZE_DWORD);
    return n;
}

// mov dst, esp; and dst, mask; mov dst, [dst]
int _gen_move_gr_fs(codegen_context* cg, u4 dst, s4 offset)
{
    if (offset != 0)
        fprintf(stderr, "_gen_move_gr_fs: offset %d != 0\n", offset);
    int n = tla_base(cg, dst);
    n += _gen_move_gr_mm(cg, dst, dst, 0, 0, 0);
    return n;
}

int _gen_move_eax_fs(codegen_context* cg) { return _gen_move_gr_fs(cg, GR_EAX, 0); }

// mov reg, esp; and reg, mask; mov reg, [reg+4]
int _gen_get_ee(codegen_context* cg, u4 reg)
{
    int n = tla_base(cg, reg);
    n += _gen_move_gr_mm(cg, reg, reg, 0, 0, 4);
    return n;
}

int _gen_push_ee(codegen_context* cg, u4 reg)
{
    int n = _gen_get_ee(cg, reg);
    n += _gen_push(cg, reg);
    return n;
}

// push t; mov t, esp; and t, mask; mov [t], src; pop t  (t = ecx, or edx for src ecx)
int _gen_move_fs_gr(codegen_context* cg, u4 src)
{
    u4 t = id_of(src) == GR_ECX ? GR_EDX : GR_ECX;
    int n = _gen_push(cg, t);
    n += tla_base(cg, t);
    n += _gen_move_mm_gr(cg, t, 0, 0, 0, src, SIZE_DWORD);
    if (id_of(src) == GR_ESP) {
        // esp was read after the push of t: store the value it had before
        // the sequence, not the address of the saved t.
        n += _gen_ARITHMETIC_xmm_i4(cg, ALU_ADD2, t, 0, 0, 0, 4, SIZE_DWORD);
    }
    n += _gen_pop(cg, t);
    return n;
}

int _gen_move_fs_esp(codegen_context* cg) { return _gen_move_fs_gr(cg, GR_ESP); }
int _gen_move_fs_eax(codegen_context* cg) { return _gen_move_fs_gr(cg, GR_EAX); }

// push eax; <eax = TLA word 0>; xchg [esp], eax
int _gen_push_fs(codegen_context* cg, s4 offset)
{
    int n = _gen_push(cg, GR_EAX);
    n += _gen_move_gr_fs(cg, GR_EAX, offset);
    n += _gen_xchg_gr_mm(cg, GR_EAX, GR_ESP, 0);
    return n;
}

// ---------------------------------------------------------------------------
// NOP filling and alignment
// ---------------------------------------------------------------------------

// The filler pieces, largest first; each is an lea that changes nothing.
struct nop_piece {
    int length;
    u1 bytes[7];
};
static constexpr nop_piece nop_pieces[] = {
    {7, {0x8D, 0xA4, 0x24, 0x00, 0x00, 0x00, 0x00}},   // lea esp, [esp+0] (disp32)
    {6, {0x8D, 0x80, 0x00, 0x00, 0x00, 0x00}},         // lea eax, [eax+0] (disp32)
    {4, {0x8D, 0x64, 0x24, 0x00}},                     // lea esp, [esp+0] (disp8)
    {3, {0x8D, 0x24, 0x24}},                           // lea esp, [esp]
    {2, {0x8D, 0x00}},                                 // lea eax, [eax]
    {1, {OP_NOP}},                                     // nop
};

// count bytes of filler, each piece under the emission contract; returns the
// remaining count (0).
int _gen_nop(codegen_context* cg, int count)
{
    while (count > 0) {
        const nop_piece* piece = nop_pieces;
        while (piece->length > count)
            piece++;
        for (int i = 0; i < piece->length; i++)
            cg->code[i] = piece->bytes[i];
        cg_emitted(cg, piece->length);
        count -= piece->length;
    }
    return count;
}

// Pad until code + offset is a multiple of alignment.  Pass 1 counts the
// whole alignment as the worst case.
void _make_code_align(codegen_context* cg, int offset, int alignment)
{
    if (cg->pass == CG_PASS_MEASURE) {
        cg_count_pass1(cg, (u4)alignment);
        return;
    }
    if (alignment <= 1)
        return;
    u4 p = (u4)(uintptr_t)cg->code + (u4)offset;
    u4 a = (u4)alignment;
    u4 pad = (p + a - 1) / a * a - p;
    if (pad == 12) {
        // two 6-byte pieces instead of 7 + 4 + 1
        _gen_nop(cg, 6);
        _gen_nop(cg, 6);
    } else {
        _gen_nop(cg, (int)pad);
    }
}

// Keep the n bytes at code + offset (a field patched later) inside one
// 32-byte line, so the patch is a single aligned store.  Pass 1 counts n - 1.
void _prevent_DCU_splits_nbytes(codegen_context* cg, int offset, int n)
{
    if (cg->pass == CG_PASS_MEASURE) {
        cg_count_pass1(cg, (u4)(n - 1));
        return;
    }
    u4 p = (u4)(uintptr_t)cg->code + (u4)offset;
    if ((p + (u4)n - 1) / 32 != p / 32)
        _make_code_align(cg, offset, 32);
}
