// Resolution sites: a field or static access (or a static-initializer run)
// whose constant-pool entry is not resolved at compile time is emitted as a
// 5-byte call into an out-of-line stub after the method body, padded to the
// length of the final instruction(s).  The stub loads the index, the x87
// live-state word and the accessing method block and calls the run-time
// routine, whose resolver rewrites the site from the template written right
// after the stub's ret.  Both passes register every site; only the writing
// pass keeps records (the measuring pass reserves their stub bytes).
#ifndef ORVA_CODEGEN_GEN_RESOLVE_H
#define ORVA_CODEGEN_GEN_RESOLVE_H

#include "codegen/cg_core.h"

// One resolution site waiting for its stub.  Work memory of the compile.
struct resolve_backpatch_anchor {
    resolve_backpatch_anchor* next;
    u1* site_end;          // just after the site's call
    u2 opcode;             // 60..79 field and static kinds, 172 static initializer
    u2 block;              // block of the site
    u4 context;            // accessing method block (0 for opcode 172)
    u4 a;                  // constant-pool index with flag bits 31/30, or the class block (172)
    u4 x87_state;          // live x87 stack at the site (get_fp_live_status)
    s4 b, c, d;            // register numbers or constants per opcode; -1 unused
    s2 sp_offset;          // stack offset at the site less the pushed return address
    u2 quad;               // quadruple index of the site within its block
};
static_assert(sizeof(resolve_backpatch_anchor) == 40);
static_assert(offsetof(resolve_backpatch_anchor, site_end) == 4);
static_assert(offsetof(resolve_backpatch_anchor, opcode) == 8);
static_assert(offsetof(resolve_backpatch_anchor, context) == 12);
static_assert(offsetof(resolve_backpatch_anchor, a) == 16);
static_assert(offsetof(resolve_backpatch_anchor, x87_state) == 20);
static_assert(offsetof(resolve_backpatch_anchor, b) == 24);
static_assert(offsetof(resolve_backpatch_anchor, sp_offset) == 36);

// The compile context's list word that holds the anchor list head.
constexpr int MCC_LIST_RESOLVE_ANCHORS = 2;

// Stub bytes reserved per site in the measuring pass: three pushes, three
// 5-byte loads, the call, three pops and ret (27), then the longest template
// (two 10-byte constant stores).
constexpr u4 RESOLVE_STUB_RESERVE = 48;

// Flag bits of argument A.
constexpr u4 RESOLVE_A_NO_RESULT = 0x80000000u;   // loads: only the resolution's side effects
constexpr u4 RESOLVE_A_LOW_ONLY = 0x40000000u;    // long loads: the low word only
constexpr u4 RESOLVE_B_CONST = 0x80000000u;       // putfield: C (and D) are constants

// Run-time routine table entries.
constexpr int RT_ENTRY_GETSTATIC = 2, RT_ENTRY_PUTSTATIC = 3, RT_ENTRY_GETFIELD = 4, RT_ENTRY_PUTFIELD = 5,
              RT_ENTRY_EXECUTE_CLINIT = 155;

constexpr u4 CG_PLACEHOLDER = 0xCAFEBABEu;     // call target patched later
constexpr u4 CG_TEMPLATE_DISP = 0xDEADBEEFu;   // template displacement / address

resolve_backpatch_anchor* resolve_anchor_list(method_compile_context* m);
void register_resolve_backpatch_anchor(codegen_context* cg, u1* site_end, u2 opcode, u4 a, u4 x87_state, s4 b,
                                       s4 c, s4 d, u4 context);
int same_resolve_backpatch_anchor(const resolve_backpatch_anchor* a, const resolve_backpatch_anchor* b);
// The whole site: DCU padding on multiprocessors, call 0xCAFEBABE, `nops`
// NOP bytes, the anchor.  The scheduling window must be closed.
void gen_resolution_site(codegen_context* cg, u2 opcode, u4 a, u4 x87_state, s4 b, s4 c, s4 d, u4 context,
                         int nops);
void _gen_execute_static_initializer(codegen_context* cg, classblock* cb);

// One template instruction: `opcode`, the register field (hardware number or
// digit), [base_hw + 0xDEADBEEF] or [0xDEADBEEF] when base_hw < 0, and the
// 32-bit immediate when `with_imm`.  The resolver copies its opcode and ModRM
// and writes the displacement at offset 2.  Answers the length written.
int emit_resolve_template_insn(codegen_context* cg, u1 opcode, int reg_field, int base_hw, bool with_imm, u4 imm);

// Raw bytes at the code position (window closed): counted in pass 1.
void cg_emit_raw(codegen_context* cg, const u1* bytes, int n);

#endif // ORVA_CODEGEN_GEN_RESOLVE_H
