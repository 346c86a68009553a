// Exports of the code-generation core, grouped by the file that defines them.
//
// Register arguments are register-id words (x86_defs.h): low 16 bits the id,
// REG_NOREC set to keep the register out of the used-register mask.  Memory
// operands are (base id, index id, scale 0/1/2/4/8, displacement).  Every
// emitter returns the number of bytes of the instruction(s) it emitted and
// follows the two-pass contract: pass 1 writes only into the scratch area
// `code` points to and adds the length to `code_size` (and the current
// block's size), pass 2 writes at `code` and advances it.
#ifndef ORVA_CODEGEN_H
#define ORVA_CODEGEN_H

#include "codegen/codegen_context.h"
#include "codegen/x86/x86_defs.h"
#include "driver/vmlink.h"

// ---------------------------------------------------------------------------
// Services of other subsystems that the code-generation core calls.
// ---------------------------------------------------------------------------
// Start-up: processor facts and the operating-system code (orva_processor_type,
// orva_processor_mmx, orva_os_type) come from driver/vmlink.h.

// Register manager.
int _alloc_int_reg(codegen_context* cg, u4 mask, int flag);   // manager index 0..6 taken for the caller
void _free_int_reg(codegen_context* cg, int index, int a, int b, int c);
int _num_of_free_int_regs(codegen_context* cg, int which);

// Method glue: the stack-offset records and moved compare-and-jump sites.
sp_offset_info* update_sp_offset_table(codegen_context* cg, s2 sp_offset);
void fix_sp_table_after_cs(codegen_context* cg, sp_offset_info* node, u1* end);
void patch_cmp_jmp_code(codegen_context* cg, u1* old_disp, u1* end);

// Register preferences (inline/mi_regpref.cpp): hands `reg` back unchanged
// and records it as the preferred register of the operand's later uses;
// `ops` is the operand's descriptor (reg_operand), whose third word points
// to the quadruple operand.
int optim_set(codegen_context* cg, int reg, const void* ops);

// Compile pipeline: code-position lists.
u1* fix_cp2imf_after_cs(codegen_context* cg, cp_node* node, u1* start);
cp_node* register_inlined_method_frame(codegen_context* cg, u4 value, u1* position, cp_node** list);

// Run-time support: the routine table `_gen_call` indexes, the x87
// control-word save area `_gen_fldcw_mm` addresses, and the mask that finds
// the thread-local area from esp.
extern "C" void** _GET_DECODE_TABLE_BASE(void);
extern "C" u1* _GET_FCONTROL_WORD_BASE(void);
extern "C" u4 orva_tla_mask;

// ---------------------------------------------------------------------------
// gen_modrm.cpp: the ModRM/SIB encoder and the emission contract
// ---------------------------------------------------------------------------
int modrm_and_sib(codegen_context* cg, u1* out, u4 reg, u4 base, u4 index, int scale, s4 disp,
                  u1 force_disp32, int absolute);
void cg_record_reg(codegen_context* cg, u4 reg);        // unless REG_NOREC
void cg_record_reg_always(codegen_context* cg, u4 reg); // even with REG_NOREC
void cg_record_reg8(codegen_context* cg, u4 reg);       // an 8-bit operand: its containing register
void cg_record_sized(codegen_context* cg, u4 reg, int size);  // 8-bit for sizes 1 and 3
int cg_emitted(codegen_context* cg, int length);        // contract steps 2-4 for `length` bytes at `code`
void cg_count_pass1(codegen_context* cg, u4 length);    // add to code_size and the block's size
int cg_mem_prefix(codegen_context* cg, u1* out, u4 base, int segment); // rule P: 0 or 1 byte
int gen_code_value(int op, u1* insn, int* length, s4 imm, int size, int short_allowed);
void cg_write32(u1* p, u4 v);

// ---------------------------------------------------------------------------
// gen_raw.cpp: integer moves, ALU, multiply/divide, shifts, string ops
// ---------------------------------------------------------------------------
int _gen_move_gr_i4(codegen_context* cg, u4 dst, s4 imm);
int _gen_move_gr_gr(codegen_context* cg, u4 dst, u4 src);
int _gen_movesx_gr_gr(codegen_context* cg, u4 dst, u4 src, int size);
int _gen_move_gr_mem(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int size, int segment);
int _gen_move_gr_mm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp);
int _gen_move_mm_gr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, u4 src, int size);
int _gen_move_mm_i4(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, s4 imm, int size);
int _gen_moveXx_gr_mm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int size, int is_signed);
int _gen_movesx_gr_xmm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int size);
int _gen_movezx_gr_xmm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int size);
int _gen_lea_gr_mm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp);
int _gen_xchg_gr_gr(codegen_context* cg, u4 a, u4 b);
int _gen_xchg_gr_mm(codegen_context* cg, u4 reg, u4 base, s4 disp);
int _gen_cmpxchg_mm_gr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, u4 reg);
int _gen_lock_prefix(codegen_context* cg);
int _gen_rep_movs(codegen_context* cg, int size);
int _gen_rep_stos(codegen_context* cg, int size);
int _gen_stos(codegen_context* cg, int size);
int _gen_setcc_gr(codegen_context* cg, u4 reg, int cond, int size);
int _gen_cmove_gr_gr(codegen_context* cg, int cond, u4 dst, u4 src);
int _gen_cmove_gr_mm(codegen_context* cg, int cond, u4 dst, u4 base, u4 index, int scale, s4 disp, int size);

int _gen_ARITHMETIC_xgr_xgr(codegen_context* cg, int op, u4 dst, u4 src, int size);
int _gen_ARITHMETIC_xgr_i4(codegen_context* cg, int op, u4 reg, s4 imm, int size);
int _gen_ARITHMETIC_xmm_i4(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, s4 imm, int size);
int _gen_ARITHMETIC_mm_i4(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, s4 imm);
int _gen_ARITHMETIC_xmm_gr(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, u4 src, int size);
int _gen_ARITHMETIC_mm_gr(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, u4 src);
int _gen_ARITHMETIC_gr_xmm(codegen_context* cg, int op, u4 dst, u4 base, u4 index, int scale, s4 disp, int size);
int _gen_ARITHMETIC_gr_mm(codegen_context* cg, int op, u4 dst, u4 base, u4 index, int scale, s4 disp);
int _gen_cmp_gr_gr(codegen_context* cg, u4 a, u4 b);
int _gen_cmp_gr_i4(codegen_context* cg, u4 reg, s4 imm);
int _gen_cmp_gr_mm(codegen_context* cg, u4 reg, u4 base, s4 disp);
int _gen_cmp_xmm_gr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, u4 reg, int size);
int _gen_cmp_mm_gr(codegen_context* cg, u4 base, s4 disp, u4 reg);
int _gen_cmp_mm_imm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, s4 imm, int size);
int _gen_cmp_mm_i4(codegen_context* cg, u4 base, s4 disp, s4 imm);
int _gen_mul_gr_i4(codegen_context* cg, u4 reg, s4 imm);
int _gen_mul_gr_gr(codegen_context* cg, u4 dst, u4 src);
int _gen_imul_gr(codegen_context* cg, u4 reg);
int _gen_umul_gr(codegen_context* cg, u4 reg);
int _gen_div_gr(codegen_context* cg, u4 reg);
int _gen_udiv_gr(codegen_context* cg, u4 reg);
int _gen_neg_gr(codegen_context* cg, u4 reg);
int _gen_cdq(codegen_context* cg);
int _gen_SHIFT_gr_i4(codegen_context* cg, int kind, u4 reg, int count);
int _gen_SHIFT_gr(codegen_context* cg, int kind, u4 reg);
int _gen_SHIFT8_gr_gr_i4(codegen_context* cg, int kind, u4 dst, u4 src, int count);
int _gen_SHIFT8_gr_gr_gr(codegen_context* cg, int kind, u4 dst, u4 src);

// ---------------------------------------------------------------------------
// gen_raw_stack.cpp: push/pop with stack-depth records, calls, jumps,
// thread-local area access, data words, NOP filling and alignment
// ---------------------------------------------------------------------------
void cg_sp_changed(codegen_context* cg);   // stack-depth entry rule after sp_offset changed
int _gen_push(codegen_context* cg, u4 reg);
int _gen_push_mem(codegen_context* cg, u4 base, s4 disp, int segment);
int _gen_push_mm(codegen_context* cg, u4 base, s4 disp);
int _gen_push_imm(codegen_context* cg, s4 imm);
int _gen_pop(codegen_context* cg, u4 reg);
int _gen_call(codegen_context* cg, int k);
int _gen_call_(codegen_context* cg, u4 target);
int _gen_call_gr(codegen_context* cg, u4 reg);
int _gen_call_indirect_mm(codegen_context* cg, u4 base);
int _gen_call_indirect(codegen_context* cg, u4 base, s4 disp);
int _gen_jmp_indirect(codegen_context* cg, u4 base, s4 disp);
int _gen_jmp_gr(codegen_context* cg, int ignored1, int ignored2, u4 reg);
int _gen_jmp_indirect_mm(codegen_context* cg, int ignored1, int ignored2, u4 base);
int _gen_jmpcc(codegen_context* cg, int cond, u4 target, int size);
int _gen_ret(codegen_context* cg);
int _gen_addr(codegen_context* cg, u4 word);
int _gen_addr1(codegen_context* cg, u1 byte);
int _gen_move_gr_fs(codegen_context* cg, u4 dst, s4 offset);
int _gen_move_eax_fs(codegen_context* cg);
int _gen_get_ee(codegen_context* cg, u4 reg);
int _gen_push_ee(codegen_context* cg, u4 reg);
int _gen_move_fs_gr(codegen_context* cg, u4 src);
int _gen_move_fs_esp(codegen_context* cg);
int _gen_move_fs_eax(codegen_context* cg);
int _gen_push_fs(codegen_context* cg, s4 offset);
int _gen_nop(codegen_context* cg, int count);
void _make_code_align(codegen_context* cg, int offset, int alignment);
void _prevent_DCU_splits_nbytes(codegen_context* cg, int offset, int n);

// ---------------------------------------------------------------------------
// gen_x87.cpp: x87 emitters (stack indexes 0..7 = st(0)..st(7))
// ---------------------------------------------------------------------------
int _gen_move_fr_xmm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int single);
int _gen_move_fr_mm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp);
int _gen_move_fr8_mm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp);
int _gen_move_xmm_fr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int pop, int single);
int _gen_move_mm_fr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int pop);
int _gen_move_mm_fr8(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int pop);
int _gen_move_fri_mm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int size);
int _gen_move_fr4i_mm(codegen_context* cg, u4 base, s4 disp);
int _gen_move_fr8i_mm(codegen_context* cg, u4 base, s4 disp);
int _gen_move_mm_frxi(codegen_context* cg, u4 base, s4 disp, int pop, int is32);
int _gen_move_mm_fr4i(codegen_context* cg, u4 base, s4 disp);
int _gen_move_mm_fr8i(codegen_context* cg, u4 base, s4 disp);
int _gen_move_fr_imm(codegen_context* cg, int k);
int _gen_fldcw_mm(codegen_context* cg, s4 offset);
int _gen_move_fr_fr(codegen_context* cg, int dst, int src, int pop);
int _gen_xchg_fr_fr(codegen_context* cg, int i, int j);
int _gen_pop_fr(codegen_context* cg);
int _gen_push_fr(codegen_context* cg);
int _gen_fdecstp(codegen_context* cg);
int _gen_fincstp(codegen_context* cg);
int _gen_cmp_fr_fr(codegen_context* cg, int i, int ignored, int pop);
int _gen_cmpi_fr_fr(codegen_context* cg, int i, int ignored, int pop);
int _gen_fnstsw(codegen_context* cg);
int _gen_sahf(codegen_context* cg);
int _gen_test_fr(codegen_context* cg);
int _gen_fxam(codegen_context* cg);
int _gen_finit(codegen_context* cg);
int _gen_neg_fr(codegen_context* cg);
int _gen_abs_fr(codegen_context* cg);
int _gen_sqrt_fr(codegen_context* cg);
int _gen_rem_fr_fr(codegen_context* cg);
int _gen_ieee_rem_fr_fr(codegen_context* cg);
int _gen_math_fr(codegen_context* cg, int k);
int _gen_add_fr_fr(codegen_context* cg, int dst, int src, int pop);
int _gen_mul_fr_fr(codegen_context* cg, int dst, int src, int pop);
int _gen_sub_fr_fr(codegen_context* cg, int dst, int src, int pop);
int _gen_subr_fr_fr(codegen_context* cg, int dst, int src, int pop);
int _gen_div_fr_fr(codegen_context* cg, int dst, int src, int pop);
int _gen_divr_fr_fr(codegen_context* cg, int dst, int src, int pop);
int _gen_ARITHMETIC_fr_mm(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, int size);

// x87 operation codes of _gen_ARITHMETIC_fr_mm and _gen_math_fr.
constexpr int FOP_ADD = 0, FOP_SUB = 1, FOP_MUL = 2, FOP_DIV = 3, FOP_SUBR = 4, FOP_DIVR = 5,
              FOP_COM = 6, FOP_COMP = 7;
constexpr int FMATH_SIN = 25, FMATH_COS = 26, FMATH_TAN = 27, FMATH_RNDINT = 36;

// ---------------------------------------------------------------------------
// gen_emit.cpp: scheduling-aware integer wrappers.  Memory forms take the
// memory operand's attribute word `attr`; the `_` forms take the index's
// operand kind (`'C'`: a constant index, folded into the displacement).
// ---------------------------------------------------------------------------
void set_scheduling_info(codegen_context* cg, int length, u4 read, u4 addr, u4 write, u4 attr, s4 disp,
                         s4 latency, u4 cls);
int gen_move_gr_i4_5bytes(codegen_context* cg, u4 dst, s4 imm);
int gen_move_gr_i4(codegen_context* cg, u4 dst, s4 imm);
int gen_move_gr_gr(codegen_context* cg, u4 dst, u4 src);
int gen_move_gr_mem(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int size, u4 attr);
int gen_move_gr_mm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, u4 attr);
int gen_move_mm_gr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, u4 src, int size, u4 attr);
int gen_move_mm_i4(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, s4 imm, int size, u4 attr);
int gen_movesx_gr_gr(codegen_context* cg, u4 dst, u4 src, int size);
int gen_movesx_gr_xmm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int size, u4 attr);
int gen_movezx_gr_xmm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int size, u4 attr);
int gen_movesx_gr_mm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, u4 attr);
int gen_movezx_gr_mm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, u4 attr);
int gen_lea_gr_mm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp);
int gen_move_gr_mm_(codegen_context* cg, u4 dst, u4 base, u4 index, char kind, int scale, s4 disp, u4 attr);
int gen_move_mm_gr_(codegen_context* cg, u4 base, u4 index, char kind, int scale, s4 disp, u4 src, int size, u4 attr);
int gen_move_mm_i4_(codegen_context* cg, u4 base, u4 index, char kind, int scale, s4 disp, s4 imm, int size, u4 attr);
int gen_movesx_gr_mm_(codegen_context* cg, u4 dst, u4 base, u4 index, char kind, int scale, s4 disp, u4 attr);
int gen_movezx_gr_mm_(codegen_context* cg, u4 dst, u4 base, u4 index, char kind, int scale, s4 disp, u4 attr);
int gen_lea_gr_mm_(codegen_context* cg, u4 dst, u4 base, u4 index, char kind, int scale, s4 disp);
int gen_move_fr_mm_(codegen_context* cg, u4 base, u4 index, char kind, int scale, s4 disp, u4 attr);
int gen_move_fr8_mm_(codegen_context* cg, u4 base, u4 index, char kind, int scale, s4 disp, u4 attr);
int gen_move_mm_fr_(codegen_context* cg, u4 base, u4 index, char kind, int scale, s4 disp, int pop, u4 attr);
int gen_move_mm_fr8_(codegen_context* cg, u4 base, u4 index, char kind, int scale, s4 disp, int pop, u4 attr);
int gen_push(codegen_context* cg, u4 reg, s4 disp, u4 attr);
int gen_push_imm(codegen_context* cg, s4 imm, s4 disp, u4 attr);
int gen_pop(codegen_context* cg, u4 reg, s4 disp, u4 attr);
int gen_push_mm(codegen_context* cg, u4 base, s4 disp);
int gen_move_fs_eax(codegen_context* cg);
int gen_call(codegen_context* cg, int k);
int gen_call_(codegen_context* cg, u4 target);
int gen_call_indirect(codegen_context* cg, u4 base, s4 disp);
int gen_jmp_gr(codegen_context* cg, int ignored1, int ignored2, u4 reg);
int gen_jmp_short(codegen_context* cg, int cond, u4 target);
int gen_jmp(codegen_context* cg, int cond, u4 target);
int gen_jmp_schedule(codegen_context* cg, int cond, u4 target, int size);
int gen_cmp_gr_gr(codegen_context* cg, u4 a, u4 b);
int gen_cmp_gr_i4(codegen_context* cg, u4 reg, s4 imm);
int gen_test_gr_gr(codegen_context* cg, u4 a, u4 b, int size);
int gen_test_gr_i4(codegen_context* cg, u4 reg, s4 imm, int size);
int gen_cmp_gr_xmm(codegen_context* cg, u4 reg, u4 base, u4 index, int scale, s4 disp, int size, u4 attr);
int gen_cmp_xmm_gr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, u4 reg, int size, u4 attr);
int gen_cmp_mm_imm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, s4 imm, int size, u4 attr);
int gen_arithmetic_gr_gr(codegen_context* cg, int op, u4 dst, u4 src);
int gen_arithmetic_gr_i4(codegen_context* cg, int op, u4 reg, s4 imm);
int gen_arithmetic_gr_i4_for_cc(codegen_context* cg, int op, u4 reg, s4 imm);
int gen_arithmetic_gr_mm(codegen_context* cg, int op, u4 dst, u4 base, u4 index, int scale, s4 disp, u4 attr);
int gen_arithmetic_xmm_gr(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, u4 src, int size, u4 attr);
int gen_arithmetic_mm_gr(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, u4 src, u4 attr);
int gen_arithmetic_xmm_i4(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, s4 imm, int size, u4 attr);
int gen_arithmetic_mm_i4(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, s4 imm, u4 attr);
int gen_mul_gr_i4(codegen_context* cg, u4 reg, s4 imm);
int gen_mul_gr_gr(codegen_context* cg, u4 dst, u4 src);
int gen_imul_gr(codegen_context* cg, u4 reg);
int gen_umul_gr(codegen_context* cg, u4 reg);
int gen_div_gr(codegen_context* cg, u4 reg);
int gen_shift_gr_i4(codegen_context* cg, int kind, u4 reg, int count);
int gen_shift_gr(codegen_context* cg, int kind, u4 reg);
int gen_shift8_gr_gr_i4(codegen_context* cg, int kind, u4 dst, u4 src, int count);
int gen_shift8_gr_gr_gr(codegen_context* cg, int kind, u4 dst, u4 src, u4 count_reg);
int gen_xchg_gr_gr(codegen_context* cg, u4 a, u4 b);
int gen_neg_gr(codegen_context* cg, u4 reg);
int gen_cdq(codegen_context* cg);
int gen_cmove_gr_gr(codegen_context* cg, int cond, u4 dst, u4 src);
int gen_cmove_gr_mm(codegen_context* cg, int cond, u4 dst, u4 base, u4 index, int scale, s4 disp, int size, u4 attr);
int gen_setcc_gr(codegen_context* cg, u4 reg, int cond, int size);
int gen_cmp_gr_gr_jmp_move_gr_gr(codegen_context* cg, u4 a, u4 b, int cond, u4 dst, u4 src);
int gen_cmp_gr_i4_jmp_move_gr_i4(codegen_context* cg, u4 reg, s4 imm, int cond, u4 dst, s4 imm2);

// ---------------------------------------------------------------------------
// gen_emit_x87.cpp: scheduling-aware x87 wrappers (register operands are
// x87 model registers: st(depth - 1 - r)) and the memory-operand loaders
// ---------------------------------------------------------------------------
struct memop;
int fr_stack_index(codegen_context* cg, int model_reg);
int gen_move_fr_mm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, u4 attr);
int gen_move_fr8_mm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, u4 attr);
int gen_move_mm_fr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int pop, u4 attr);
int gen_move_mm_fr8(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int pop, u4 attr);
int gen_move_fri_mm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int size, u4 attr);
int gen_move_mm_fr4i(codegen_context* cg, u4 base, s4 disp, u4 attr);
int gen_move_mm_fr8i(codegen_context* cg, u4 base, s4 disp, u4 attr);
int gen_move_fr_fr_p(codegen_context* cg, int dst, int src, int pop);
int gen_move_fr_fr(codegen_context* cg, int dst, int src);
int gen_move_fr_imm(codegen_context* cg, int k);
int gen_xchg_fr_fr(codegen_context* cg, int a, int b);
int gen_pop_fr(codegen_context* cg);
int gen_push_fr(codegen_context* cg);
int gen_add_fr_fr(codegen_context* cg, int dst, int src, int pop);
int gen_sub_fr_fr(codegen_context* cg, int dst, int src, int pop);
int gen_subr_fr_fr(codegen_context* cg, int dst, int src, int pop);
int gen_mul_fr_fr(codegen_context* cg, int dst, int src, int pop);
int gen_div_fr_fr(codegen_context* cg, int dst, int src, int pop);
int gen_divr_fr_fr(codegen_context* cg, int dst, int src, int pop);
int gen_rem_fr_fr(codegen_context* cg);
int gen_ieee_rem_fr_fr(codegen_context* cg);
int gen_neg_fr(codegen_context* cg);
int gen_abs_fr(codegen_context* cg);
int gen_math_fr(codegen_context* cg, int k);
int gen_sqrt_fr(codegen_context* cg);
int gen_finit(codegen_context* cg);
int gen_finit_in_catch(codegen_context* cg);
int gen_fldcw_mm(codegen_context* cg, s4 offset, u4 attr);
int gen_add_fr_mm(codegen_context* cg, int ignored, u4 base, u4 index, int scale, s4 disp, int size);
int gen_sub_fr_mm(codegen_context* cg, int ignored, u4 base, u4 index, int scale, s4 disp, int size);
int gen_subr_fr_mm(codegen_context* cg, int ignored, u4 base, u4 index, int scale, s4 disp, int size);
int gen_mul_fr_mm(codegen_context* cg, int ignored, u4 base, u4 index, int scale, s4 disp, int size);
int gen_div_fr_mm(codegen_context* cg, int ignored, u4 base, u4 index, int scale, s4 disp, int size);
int gen_divr_fr_mm(codegen_context* cg, int ignored, u4 base, u4 index, int scale, s4 disp, int size);
int gen_move_gr4_memop(codegen_context* cg, u4 dst, const memop* m);
int gen_move_gr4h_memop(codegen_context* cg, u4 dst, const memop* m);
int gen_move_gr8_memop(codegen_context* cg, u4 lo, u4 hi, const memop* m);
int gen_move_fr_memop(codegen_context* cg, const memop* m);
int gen_move_fri_memop(codegen_context* cg, const memop* m);

// ---------------------------------------------------------------------------
// cs_sched.cpp: the instruction scheduler
// ---------------------------------------------------------------------------
int cs_method_initialize(codegen_context* cg);
void cs_method_finalize(codegen_context* cg);
void cs_bb_initialize(codegen_context* cg, u1* code);
u1* cs_bb_finalize(codegen_context* cg);
int insert_inst(codegen_context* cg);
void flush_stage(codegen_context* cg, int stage);
void flush_buff(codegen_context* cg);
int cs_stage_width(void);                      // 3 on processor class 5, else 2
int cs_depend(const cs_slot* n, const cs_slot* p);   // 0 none, 1 true, 2 anti, 3 output
int cs_bank_conflict(const cs_slot* a, const cs_slot* b);
int cs_pair_refused(const cs_slot* a, const cs_slot* b);
int cs_two_slot_rule(const cs_slot* s0, const cs_slot* s1, const cs_slot* n);  // -1 refused, else slot

// ---------------------------------------------------------------------------
// gen_memset.cpp: the array fill's emitter (gen_memset, OPC_MEMSET, chooses the
// registers and calls it).
// ---------------------------------------------------------------------------
// The fill with its registers in place, as gen_memset hands it to the
// emitter: the array in a register other than eax, ecx and edi; the first
// index a constant or copied into ecx; the end index a constant or in a
// register other than eax, ecx and edi; eax, ecx and edi free to write.
struct array_fill {
    int size;              // element size: 1, 2, 4 or 8
    u4 lo, hi;             // the element's bits (hi: the high word of an 8-byte element)
    u4 array;              // register id of the array
    u1 first_const;        // the first index is `first`; else it is in ecx
    u1 end_const;          // the end index is `end`; else it is in `end_reg`
    u1 pad[2];
    s4 first, end;
    u4 end_reg;
};
// Element size of a fill's type code (low four bits of the sub-code), 0 for
// a type the fill does not know.
int array_fill_element_size(u4 type);
// Emits the fill of elements [first, end) (nothing when end <= first) with
// the scheduling window closed; answers the length written (pass 2) or
// counted (pass 1).
int emit_array_fill(codegen_context* cg, const array_fill* f);

#endif // ORVA_CODEGEN_H
