// Pure byte encoders for IA-32 memory operands: no code-generation context,
// so the run-time routines that rewrite compiled code can build their
// instructions with the same encoder the emitters use.
//
// Registers here are hardware numbers 0..7 (eax ecx edx ebx esp ebp esi edi);
// the register field is a hardware number or an opcode-extension digit.
#ifndef ORVA_X86_ENCODE_H
#define ORVA_X86_ENCODE_H

#include "codegen/x86/x86_defs.h"

constexpr int X86_NO_BASE = -1;     // [disp32] (or [index*scale+disp32])
constexpr int X86_HW_ESP = 4;       // as r/m: a SIB byte follows; as SIB index: none
constexpr int X86_HW_EBP = 5;       // as r/m with mod 00: [disp32]

// Displacement size argument: the shortest form (none for a zero
// displacement except with an ebp base), or exactly 1 or 4 bytes.
constexpr int X86_DISP_SHORTEST = -1;

// Writes the ModRM byte, the SIB byte when one is needed and the
// displacement of the memory operand [base + index*scale + disp] at `out`;
// answers the number of bytes written (1..7).  `scale` 0 means no index
// (else 1, 2, 4 or 8).  An absolute operand always has 4 displacement bytes;
// [ebp] never has none, since mod 00 with r/m 101 means [disp32]; an esp
// base always takes a SIB byte.
constexpr int x86_encode_modrm_mem(u1* out, int reg_field, int base, int index, int scale, s4 disp,
                                   int disp_size = X86_DISP_SHORTEST)
{
    int ss = scale == 8 ? 3 : scale == 4 ? 2 : scale == 2 ? 1 : 0;
    bool absolute = base == X86_NO_BASE;
    int sib_base = absolute ? X86_HW_EBP : (base & 7);
    int disp_bytes = disp_size;
    if (absolute)
        disp_bytes = 4;
    else if (disp_bytes < 0)
        disp_bytes = disp == 0 ? 0 : (disp >= -128 && disp <= 127) ? 1 : 4;
    if (!absolute && disp_bytes == 0 && sib_base == X86_HW_EBP)
        disp_bytes = 1;
    int mode = absolute ? 0 : disp_bytes == 4 ? 2 : disp_bytes;
    bool sib = scale != 0 || (!absolute && sib_base == X86_HW_ESP);
    out[0] = (u1)(mode << 6 | (reg_field & 7) << 3 | (sib ? X86_HW_ESP : sib_base));
    int length = 1;
    if (sib) {
        int idx = scale != 0 ? (index & 7) : X86_HW_ESP;
        out[1] = (u1)(ss << 6 | idx << 3 | sib_base);
        length = 2;
    }
    for (int i = 0; i < disp_bytes; i++)
        out[length + i] = (u1)((u4)disp >> (8 * i));
    return length + disp_bytes;
}

// One instruction with a memory operand: opcode, the operand as above and an
// optional 32-bit immediate.  Answers its length.
constexpr int x86_encode_insn_mem(u1* out, u1 opcode, int reg_field, int base, s4 disp, int disp_size,
                                  bool with_imm32 = false, u4 imm32 = 0)
{
    out[0] = opcode;
    int length = 1 + x86_encode_modrm_mem(out + 1, reg_field, base, 0, 0, disp, disp_size);
    if (with_imm32) {
        for (int i = 0; i < 4; i++)
            out[length + i] = (u1)(imm32 >> (8 * i));
        length += 4;
    }
    return length;
}

// Fixed instructions the resolvers write into compiled sites.
struct x86_fixed_insn {
    u1 b[8];
    int length;
};

// lea r, [r+0] with a displacement of exactly `disp_size` bytes (1 or 4): a
// no-operation of a chosen length.
constexpr x86_fixed_insn x86_lea_self(int reg, int disp_size)
{
    x86_fixed_insn insn{};
    insn.b[0] = OP_LEA;
    insn.length = 1 + x86_encode_modrm_mem(insn.b + 1, reg, reg, 0, 0, 0, disp_size);
    return insn;
}
static_assert(x86_lea_self(0, 4).length == 6 && x86_lea_self(0, 4).b[1] == 0x80);
static_assert(x86_lea_self(X86_HW_ESP, 1).length == 4 && x86_lea_self(X86_HW_ESP, 1).b[2] == 0x24);

#endif // ORVA_X86_ENCODE_H
