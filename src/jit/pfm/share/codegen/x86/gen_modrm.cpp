// The memory-operand encoder and the emission contract shared by every raw
// emitter.
//
// `modrm_and_sib` turns (reg field, base, index, scale, displacement) into the
// ModRM byte, an optional SIB byte and an optional displacement, recording the
// registers it uses; the bytes come from x86_encode_modrm_mem (x86_encode.h),
// where all of the IA-32 special cases of memory operands live.
//
// The emission contract: an emitter computes its bytes and writes them at
// `code` in both passes (in pass 1 `code` is a scratch area of
// CG_PASS1_SCRATCH_SIZE bytes), then `cg_emitted` either counts them (pass 1:
// `code_size` and the current block's measured size grow, `code` stays) or
// steps over them (pass 2).  Measuring and writing so run the same code.
#include <stdio.h>
#include <stdlib.h>

#include "codegen/codegen.h"
#include "codegen/x86/x86_encode.h"
#include "frontend/bb.h"

void cg_record_reg(codegen_context* cg, u4 reg)
{
    if (!(reg & REG_NOREC))
        cg->mci->used_regs |= (u1)reg_used_bit[reg & REG_ID_MASK];
}

void cg_record_reg_always(codegen_context* cg, u4 reg)
{
    cg->mci->used_regs |= (u1)reg_used_bit[reg & REG_ID_MASK];
}

// An 8-bit operand id 5..8 (ah, ch, dh, bh) is part of eax, ecx, edx, ebx:
// that register is the one changed, so that is the one recorded (the bare
// table bit would be esp, ebp, esi or edi and leave ebx unsaved for bh).
void cg_record_reg8(codegen_context* cg, u4 reg)
{
    if (!(reg & REG_NOREC))
        cg->mci->used_regs |= (u1)reg_used_bit[reg8_container(reg & REG_ID_MASK)];
}

void cg_record_sized(codegen_context* cg, u4 reg, int size)
{
    if (size == SIZE_BYTE || size == SIZE_HIGH_BYTE)
        cg_record_reg8(cg, reg);
    else
        cg_record_reg(cg, reg);
}

void cg_count_pass1(codegen_context* cg, u4 length)
{
    cg->code_size += length;
    if (cg->cur_bb != 0)
        cg->bbtable[cg->cur_bb]->code_size += length;
}

int cg_emitted(codegen_context* cg, int length)
{
    if (cg->pass == CG_PASS_MEASURE)
        cg_count_pass1(cg, (u4)length);
    else
        cg->code += length;
    return length;
}

void cg_write32(u1* p, u4 v)
{
    p[0] = (u1)v;
    p[1] = (u1)(v >> 8);
    p[2] = (u1)(v >> 16);
    p[3] = (u1)(v >> 24);
}

// Prefix rule of the memory-operand emitters: an explicit segment writes its
// override; without one, an ebp-based operand gets a DS override when the
// operating-system code asks for it (ebp-based addressing defaults to SS).
int cg_mem_prefix(codegen_context* cg, u1* out, u4 base, int segment)
{
    if (segment != SEG_NONE) {
        out[0] = seg_override[segment];
        return 1;
    }
    if (orva_os_type == OS_TYPE_DS_EBP && (base & REG_ID_MASK) == GR_EBP) {
        out[0] = PREFIX_DS;
        return 1;
    }
    return 0;
}

// Appends an immediate at insn + *length: one byte when short forms are
// allowed for the op (not test) and it fits; else by operand size.
int gen_code_value(int op, u1* insn, int* length, s4 imm, int size, int short_allowed)
{
    u1* p = insn + *length;
    int n;
    if (short_allowed && op != ALU_TEST && fits_imm8(imm))
        n = 1;
    else if (size == SIZE_BYTE || size == SIZE_HIGH_BYTE)
        n = 1;
    else if (size == SIZE_WORD)
        n = 2;
    else if (size == SIZE_DWORD || !short_allowed)
        n = 4;
    else
        n = 0;
    for (int i = 0; i < n; i++)
        p[i] = (u1)((u4)imm >> (8 * i));
    *length += n;
    return n;
}

static int scale_bits(int scale)
{
    switch (scale) {
    case 1: return 0;
    case 2: return 1;
    case 4: return 2;
    case 8: return 3;
    default:
        fprintf(stderr, "Unsupported scale %d in modrm_and_sib\n", scale);
        exit(-1);
    }
}

int modrm_and_sib(codegen_context* cg, u1* out, u4 reg, u4 base, u4 index, int scale, s4 disp,
                  u1 force_disp32, int absolute)
{
    if (scale != 0)
        (void)scale_bits(scale);   // rejects a scale other than 1, 2, 4, 8

    // mod 00 with r/m 101 means [disp32]: an absolute operand is "ebp" in the
    // encoding but ebp itself is not used, so it is not recorded.
    u4 eff_base = absolute ? (GR_EBP | REG_NOREC) : base;
    // r/m 100 means "a SIB byte follows".
    u4 rm = scale != 0 ? (GR_ESP | REG_NOREC) : eff_base;
    cg_record_reg(cg, rm);
    cg_record_reg(cg, reg);
    // [esp+...] always needs a SIB (r/m 100 is the SIB escape); so does an index.
    if ((base & REG_ID_MASK) == GR_ESP || scale != 0) {
        if (scale == 0) {
            cg->mci->used_regs |= (u1)reg_used_bit[GR_ESP];
        } else {
            cg_record_reg(cg, index);
        }
        cg_record_reg(cg, eff_base);
    }

    int base_hw = absolute ? X86_NO_BASE : (int)reg_hw_number[base & REG_ID_MASK];
    int index_hw = scale != 0 ? (int)reg_hw_number[index & REG_ID_MASK] : 0;
    int disp_size = force_disp32 && disp != 0 ? 4 : X86_DISP_SHORTEST;
    return x86_encode_modrm_mem(out, reg_hw_number[reg & REG_ID_MASK], base_hw, index_hw, scale, disp, disp_size);
}
