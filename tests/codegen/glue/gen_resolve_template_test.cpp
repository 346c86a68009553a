// Golden rows of the bytes the resolvers copy into compiled sites: the
// field and static templates behind the resolve stubs (based and absolute
// loads, stores, constant stores, x87 loads and stores, always with a 32-bit
// displacement the resolver overwrites) and the fixed no-operations the
// resolvers write in place of a site; plus the forms of the shared operand
// encoder that no emitter row reaches (forced displacement sizes).
#include <gtest/gtest.h>

#include "cg_test_util.h"
#include "codegen/x86/x86_encode.h"

// From codegen/glue/gen_resolve.h, whose core header clashes with this fixture's.
int emit_resolve_template_insn(codegen_context* cg, u1 opcode, int reg_field, int base_hw, bool with_imm, u4 imm);
void cg_emit_raw(codegen_context* cg, const u1* bytes, int n);

namespace {

constexpr int EAX = 0, ECX = 1, EDX = 2, EBX = 3, ESP = 4, EBP = 5, ESI = 6, EDI = 7, ABS = -1;

int fixed(codegen_context* cg, const x86_fixed_insn& insn)
{
    cg_emit_raw(cg, insn.b, insn.length);
    return insn.length;
}

// An operand through the pure encoder, as lea (no opcode-specific forms).
int lea(codegen_context* cg, int reg, int base, int index, int scale, s4 disp, int disp_size)
{
    u1 b[8] = {OP_LEA};
    int n = 1 + x86_encode_modrm_mem(b + 1, reg, base, index, scale, disp, disp_size);
    cg_emit_raw(cg, b, n);
    return n;
}

const golden_row template_rows[] = {
    ROW("mov ecx, [ebx+0xdeadbeef]", emit_resolve_template_insn(cg, OP_MOV_R_RM, ECX, EBX, false, 0)),
    ROW("mov edi, [ebp+0xdeadbeef]", emit_resolve_template_insn(cg, OP_MOV_R_RM, EDI, EBP, false, 0)),
    ROW("mov eax, [esi+0xdeadbeef]", emit_resolve_template_insn(cg, OP_MOV_R_RM, EAX, ESI, false, 0)),
    ROW("mov edx, [0xdeadbeef]", emit_resolve_template_insn(cg, OP_MOV_R_RM, EDX, ABS, false, 0)),
    ROW("mov [edi+0xdeadbeef], esi", emit_resolve_template_insn(cg, OP_MOV_RM_R, ESI, EDI, false, 0)),
    ROW("mov [0xdeadbeef], ebx", emit_resolve_template_insn(cg, OP_MOV_RM_R, EBX, ABS, false, 0)),
    ROW("mov dword ptr [eax+0xdeadbeef], 0x12345678",
        emit_resolve_template_insn(cg, OP_MOV_RM_IMM, 0, EAX, true, 0x12345678)),
    ROW("mov dword ptr [0xdeadbeef], 0xfffffff0",
        emit_resolve_template_insn(cg, OP_MOV_RM_IMM, 0, ABS, true, 0xFFFFFFF0u)),
    ROW("fld dword ptr [edx+0xdeadbeef]", emit_resolve_template_insn(cg, FPU_D9, DIGIT_FLD, EDX, false, 0)),
    ROW("fld qword ptr [0xdeadbeef]", emit_resolve_template_insn(cg, FPU_DD, DIGIT_FLD, ABS, false, 0)),
    ROW("fst dword ptr [ecx+0xdeadbeef]", emit_resolve_template_insn(cg, FPU_D9, DIGIT_FST, ECX, false, 0)),
    ROW("fstp qword ptr [ebx+0xdeadbeef]", emit_resolve_template_insn(cg, FPU_DD, DIGIT_FSTP, EBX, false, 0)),
    ROW("fstp dword ptr [0xdeadbeef]", emit_resolve_template_insn(cg, FPU_D9, DIGIT_FSTP, ABS, false, 0)),
    ROW("{disp32} lea eax, [eax+0]", fixed(cg, x86_lea_self(EAX, 4))),
    ROW("{disp8} lea esp, [esp+0]", fixed(cg, x86_lea_self(ESP, 1))),
    // Forced sizes and the special bases of the pure encoder.
    ROW("{disp32} lea ecx, [edx+4]", lea(cg, ECX, EDX, 0, 0, 4, 4)),
    ROW("{disp32} lea ecx, [esp+4]", lea(cg, ECX, ESP, 0, 0, 4, 4)),
    ROW("lea esi, [ebp+0]", lea(cg, ESI, EBP, 0, 0, 0, X86_DISP_SHORTEST)),
    ROW("lea esi, [esp]", lea(cg, ESI, ESP, 0, 0, 0, X86_DISP_SHORTEST)),
    ROW("lea ebx, [ecx*8+0x100]", lea(cg, EBX, ABS, ECX, 8, 0x100, X86_DISP_SHORTEST)),
    ROW("lea eax, [ebp+edi*2]", lea(cg, EAX, EBP, EDI, 2, 0, X86_DISP_SHORTEST)),
    ROW("lea edi, [esi+eax*4-128]", lea(cg, EDI, ESI, EAX, 4, -128, X86_DISP_SHORTEST)),
};

}  // namespace

TEST(GoldenX86, ResolveTemplates) { check_golden_rows(template_rows, std::size(template_rows)); }
