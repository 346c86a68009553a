// Register arguments ("optlink") and callee-saved registers.
//
// Compiled methods pass their first three integer argument words in EAX, EDX
// and ECX, everything else in the argument area.  A method saves in its
// prologue only the callee-saved registers (EBP, EBX, ESI, EDI, in that
// order) its code uses: pass 1 does not know them yet and reserves the
// longest form (four 7-byte stores as NOP padding); pass 2 saves what pass 1
// found in `used_regs`.  The frame walker and the unwinder read the saved
// words back in the same order.
#include <string.h>

#include "codegen/cg_core.h"
#include "driver/driver.h"
#include "lib/descriptor.h"

static constexpr u4 int_arg_regs[3] = {GR_EAX, GR_EDX, GR_ECX};
static constexpr u4 callee_saved_order[4] = {GR_EBP, GR_EBX, GR_ESI, GR_EDI};
static constexpr u4 CALLEE_SAVED_MASK = 0x78;
static constexpr int SAVE_STORE_BYTES = 7;   // mov [esp + disp32], reg

u4 bit_int_regpass;

u4 int_regpass_reg(u4 i) { return int_arg_regs[(i & 0x3FFFFFFFu) % 3]; }

// No floating-point argument registers: the table the run time could install
// is absent, so every entry reads as none.
u4 fp_regpass_reg(u4) { return GR_NONE; }

u4 get_optlink_reg_bit(void)
{
    return reg_used_bit[GR_EAX] | reg_used_bit[GR_EDX] | reg_used_bit[GR_ECX];
}

void init_optlink(void) { bit_int_regpass = get_optlink_reg_bit(); }

int n_this_callee_saved_regs(codegen_context* cg)
{
    return cg->pass == CG_PASS_MEASURE ? 4 : cg->mci->saved_count;
}

// Integer argument words of a signature; *has_float is set for F or D.  A
// malformed descriptor counts up to its broken parameter.
int cg_count_int_arg_words(const char* sig, int is_static, int* has_float)
{
    int n = is_static ? 0 : 1;
    *has_float = 0;
    desc_walk w = desc_begin(sig);
    for (desc_item t = desc_next(&w); t.kind > DK_MALFORMED; t = desc_next(&w)) {
        if (desc_is_float(t.kind))
            *has_float = 1;
        else
            n += t.words;
    }
    return n;
}

static u1 prologue_registers(const methodblock* mb)
{
    u1 regs = 0;
    if (mb->exception_table_length != 0)
        regs |= (u1)reg_used_bit[GR_EBX];
    if (mb->access & ACC_SYNCHRONIZED)
        regs |= (u1)reg_used_bit[GR_EBP];
    return regs;
}

void init_use_regs(codegen_context* cg)
{
    method_code_info* mci = cg->mci;
    if (cg->pass == CG_PASS_MEASURE) {
        mci->saved_regs = CALLEE_SAVED_MASK;
        mci->saved_count = 4;
    } else if ((compile_option2_flag & OPT2_UNWIND_STACK) || cg->mb->exception_table_length == 0) {
        // The prologue's own registers count as found even when the body
        // never names them: ebx links the exception registration, ebp
        // carries the frame base to the synchronized-method stubs.
        u1 found = (u1)(mci->used_regs | prologue_registers(cg->mb));
        u1 saved = 0, count = 0;
        for (u4 r : callee_saved_order) {
            u1 bit = (u1)reg_used_bit[r];
            if ((found & bit) && count < mci->saved_count) {
                saved |= bit;
                count++;
            }
        }
        mci->saved_regs = saved;
        mci->saved_count = count;
    } else {
        mci->saved_regs = CALLEE_SAVED_MASK;
        mci->saved_count = 4;
    }
    mci->used_regs = 0;
    int has_float = 0;
    int words = cg_count_int_arg_words(cg->mb->signature, (cg->mb->access & ACC_STATIC) != 0, &has_float);
    for (int i = 0; i < words && i < 3; i++)
        mci->used_regs |= (u1)reg_used_bit[int_arg_regs[i]];
    mci->int_arg_words = (u1)words;
    mci->reg_linkage = words < 4 && !has_float;
}

// Saves (or restores) the registers of `mask` in callee-saved order, one
// word each from the frame offset `offset`.
static void move_saved(codegen_context* cg, s4 offset, u4 mask, int store)
{
    s4 slot = offset;
    for (u4 r : callee_saved_order) {
        if (!(mask & reg_used_bit[r]))
            continue;
        s4 d = slot - cg->mci->sp_offset;
        if (store)
            gen_move_mm_gr(cg, GR_ESP | REG_NOREC, 0, 0, d, r | REG_NOREC, SIZE_DWORD, 3);
        else
            gen_move_gr_mm(cg, r | REG_NOREC, GR_ESP | REG_NOREC, 0, 0, d, 3);
        slot += 4;
    }
}

static void reserve(codegen_context* cg, int bytes) { _gen_nop(cg, bytes); }

void save_callee_saved_regs(codegen_context* cg)
{
    if (cg->pass == CG_PASS_MEASURE) {
        reserve(cg, 4 * SAVE_STORE_BYTES);
    } else {
        s4 frame = getFrameSizeWithoutLocals(cg);
        move_saved(cg, -frame, cg->mci->saved_regs, 1);
        thread_compile_record* rec = vm.EE != nullptr ? jit_compile_record(vm.EE()) : nullptr;
        if (rec != nullptr)
            rec->md_word0 = ((u4)frame & 0xFFFFFFu) | ((u4)cg->mci->saved_regs << 24);
    }
    cg->mci->used_regs = 0;
}

void save_callee_saved_regs2(codegen_context* cg)
{
    if (cg->pass == CG_PASS_MEASURE) {
        reserve(cg, SAVE_STORE_BYTES);
        return;
    }
    u4 mask = cg->mci->saved_regs;
    for (u4 r : callee_saved_order)
        if (mask & reg_used_bit[r]) {
            move_saved(cg, -getFrameSizeWithoutLocals(cg), reg_used_bit[r], 1);
            break;
        }
}

void save_callee_saved_regs_nm(codegen_context* cg, s4 offset, u4 mask) { move_saved(cg, offset, mask, 1); }

void restore_callee_saved_regs(codegen_context* cg)
{
    if (cg->pass == CG_PASS_MEASURE)
        reserve(cg, 4 * SAVE_STORE_BYTES);
    else
        move_saved(cg, -getFrameSizeWithoutLocals(cg), cg->mci->saved_regs, 0);
}

void restore_callee_saved_regs2(codegen_context* cg)
{
    if (cg->pass == CG_PASS_MEASURE) {
        reserve(cg, 4 * SAVE_STORE_BYTES);
        return;
    }
    u4 mask = cg->mci->saved_regs;
    for (u4 r : callee_saved_order)
        if (mask & reg_used_bit[r]) {
            move_saved(cg, -getFrameSizeWithoutLocals(cg), reg_used_bit[r], 0);
            break;
        }
}

void restore_callee_saved_regs_nm(codegen_context* cg, s4 offset, u4 mask) { move_saved(cg, offset, mask, 0); }

int is_callee_saved(codegen_context* cg, u4 bit)
{
    return cg->pass == CG_PASS_MEASURE ? 1 : (cg->mci->saved_regs & bit) != 0;
}

void pack_csr(u4 mask, u4* out, u4 ebx, u4 ebp, u4 esi, u4 edi)
{
    u4 n = 0;
    for (u4 r : callee_saved_order) {
        if (!(mask & reg_used_bit[r]))
            continue;
        out[1 + n++] = r == GR_EBX ? ebx : r == GR_EBP ? ebp : r == GR_ESI ? esi : edi;
    }
    out[0] = n;
}

void copy_csr(u4* destination, const u4* packed) { memcpy(destination, packed + 1, packed[0] * 4); }

// The entry block starts without a register state of its own.
void setup_BB0_reginfo(codegen_context* cg)
{
    if (cg->m->bb_count != 0)
        cg->bbtable[0]->later_108[0] = 0;
}

u4 wo_ireg_bit(u4 mask, u4 reg) { return mask & ~reg_used_bit[reg & REG_ID_MASK]; }
s4 get_specific_target_reg(void) { return -1; }
u4 output_int_reg_mask(u4, u4, u4 mask) { return ~mask & 0x7F; }

// ---------------------------------------------------------------------------
// A call's register arguments.  The first three integer argument words are
// forced into EAX, EDX, ECX (the register manager moves any other value out
// of a register before it takes it, so a value that sits in another argument
// register is never lost); everything else goes to its stack slot.
// ---------------------------------------------------------------------------
static s2 body_entry_offset(codegen_context* cg)
{
    method_compile_context* m = cg->m;
    if (m->dfs_count < 2)
        return cg->mci->sp_offset;
    return (s2)m->bb_table[m->dfs_array[1]]->entry_stack_offset;
}

static void adjust_esp(codegen_context* cg, s2 wanted)
{
    s2 now = cg->mci->sp_offset;
    if (now == wanted)
        return;
    s4 diff = (s4)now - (s4)wanted;
    if (diff > 0)
        gen_arithmetic_gr_i4(cg, ALU_SUB, GR_ESP | REG_NOREC, diff);
    else
        gen_arithmetic_gr_i4(cg, ALU_ADD, GR_ESP | REG_NOREC, -diff);
    cg->mci->sp_offset = wanted;
}

void gen_setup_parameters_optlink(codegen_context* cg, quadruple** slot)
{
    quadruple* q = *slot;
    if (cg->m->max_stack == 0 || (q->opcount & QC_SRC_MASK) == 0)
        return;
    cg_operands o;
    int n = set_operand_list(cg, slot, o.list, CG_LIST_MAX);
    // An integer-class word's register is chosen by its index among the
    // integer-class words (the operand's value), not by its place in the
    // list: a long's low word comes first in the list but is the second
    // word of the pair.
    for (int i = 0; i < n; i++) {
        reg_operand* op = &o.list[i];
        if (op->kind != OPND_ARG)
            continue;
        if (op->type == 'F' || op->type == 'D') {
            _spillout_fp_oprnd(cg, op);
            continue;
        }
        if (op->value < 3) {
            int r = _set_rd_int_oprnd(cg, op, reg_used_bit[int_arg_regs[op->value]], 0, 0);
            _assoc_int_oprnd(cg, op, r, 0, 1);
        } else {
            _spillout_int_oprnd(cg, op, 1);
        }
    }
    // The callee's argument words lie at E + 4 (n - i) of its frame, the
    // register-borne ones included: a callee writes a cached argument local
    // back to that home word.  The area is therefore reserved for every call
    // with arguments, not only for one with words on the stack; otherwise the
    // callee's write-back lands on this frame's saved registers and locals.
    s4 words = q->count & 0xFF;   // the high byte carries an interface call's slot
    if (words != 0)
        adjust_esp(cg, (s2)(body_entry_offset(cg) - 4 * words));
}

void gen_clear_parameters_optlink(codegen_context* cg, quadruple** slot)
{
    if ((*slot)->flags_a & QA_LAST_CALL)
        adjust_esp(cg, body_entry_offset(cg));
}
