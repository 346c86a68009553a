// Scheduling-aware emit layer, x87 part, and the loaders of memory operands
// (`memop` descriptors) into integer registers or onto the x87 stack.
//
// x87 wrappers take the register manager's x87 model registers and convert
// them to stack indexes (st(depth - 1 - r), depth = the model's stack depth).
// Every x87 instruction reads and writes the x87 stack resource, so the
// scheduler keeps them in order among themselves and moves only integer
// work around them.  The memory-operand arithmetic forms are written outside
// the window.
#include "codegen/codegen.h"
#include "codegen/gen/gen_fp.h"
#include "codegen/memop.h"
#include "driver/compile_context.h"
#include "frontend/bb.h"
#include "frontend/quad.h"

int fr_stack_index(codegen_context* cg, int model_reg) { return cg->regs.fp_depth - 1 - model_reg; }

static int window_open(codegen_context* cg) { return (cg->flags & CG_SCHED_WINDOW_OPEN) != 0; }

static u4 addr_bits(u4 base, u4 index, int scale)
{
    u4 id = base & REG_ID_MASK;
    u4 a = (id >= 1 && id <= 8) ? reg_used_bit[id] : 0;
    if (scale != 0)
        a |= reg_used_bit[index & REG_ID_MASK];
    return a;
}

static int proc5(void) { return orva_processor_type == 5; }

// Slot description of an x87 instruction: x87 stack read and written; for
// memory forms the stack-area read rule, the memory resource, the address
// registers, the attribute and the displacement.
struct fp_desc {
    int memory;     // 0 none, 1 load, 2 store
    u4 base, index;
    int scale;
    s4 disp;
    u4 attr;
    u4 extra_write;
};

static void begin_slot(codegen_context* cg)
{
    cs_slot* s = cg->cs->scratch;
    s->jmp_patch = nullptr;
    s->cp_ref = nullptr;
    s->sp_ref = nullptr;
    cg->code = s->bytes;
}

static int finish_slot(codegen_context* cg, int length, const fp_desc& d, s4 latency, u4 cls)
{
    u4 read = CS_RES_X87, write = CS_RES_X87 | d.extra_write, addr = 0, attr = CS_ATTR_NO_MEMORY;
    s4 disp = 0;
    if (d.memory) {
        if ((d.attr & 0x02) && !(d.attr & 0x40))
            read |= reg_used_bit[GR_ESP];
        if (d.memory == 1)
            read |= CS_RES_MEMORY;
        else
            write |= CS_RES_MEMORY;
        addr = addr_bits(d.base, d.index, d.scale);
        attr = d.attr == 0 ? 0x40 : d.attr;
        disp = d.disp;
    }
    set_scheduling_info(cg, length, read, addr, write, attr, disp, latency, cls);
    return insert_inst(cg);
}

template <typename Raw>
static int fp_sched(codegen_context* cg, const fp_desc& d, s4 latency, u4 cls, Raw raw)
{
    if (!window_open(cg))
        return raw();
    begin_slot(cg);
    return finish_slot(cg, raw(), d, latency, cls);
}

template <typename Raw>
static int fp_outside(codegen_context* cg, Raw raw)
{
    int scheduling = !(cg->flags & CG_SCHED_OFF);
    if (window_open(cg) && scheduling) {
        cg->flags &= ~CG_SCHED_WINDOW_OPEN;
        cg->code = cs_bb_finalize(cg);
    }
    int n = raw();
    if (!window_open(cg) && scheduling) {
        cg->flags |= CG_SCHED_WINDOW_OPEN;
        cs_bb_initialize(cg, cg->code);
    }
    return n;
}

static constexpr fp_desc NO_MEM = {0, 0, 0, 0, 0, 0, 0};
static fp_desc load_desc(u4 base, u4 index, int scale, s4 disp, u4 attr) { return {1, base, index, scale, disp, attr, 0}; }
static fp_desc store_desc(u4 base, u4 index, int scale, s4 disp, u4 attr) { return {2, base, index, scale, disp, attr, 0}; }

// ---------------------------------------------------------------------------
// Loads and stores
// ---------------------------------------------------------------------------

// In pass 2 a load that belongs to an inlined body is attributed to it in
// the code-position list (the record travels with the scheduled instruction).
static void note_inlined_position(codegen_context* cg)
{
    if (cg->pass != CG_PASS_WRITE || cg->m == nullptr || !(cg->m->state_flags & MCC_UNRESOLVED_BODY))
        return;
    quadruple* q = cg->bbtable[cg->cur_bb]->catbl[cg->cur_quad];
    if (q->body == 0)
        return;
    cp_node* node = register_inlined_method_frame(cg, q->body, cg->code, &cg->cp_list);
    if (window_open(cg))
        cg->cs->scratch->cp_ref = node;
}

static int fr_load(codegen_context* cg, int single, u4 base, u4 index, int scale, s4 disp, u4 attr, int note)
{
    if (!window_open(cg)) {
        if (note)
            note_inlined_position(cg);
        return _gen_move_fr_xmm(cg, base, index, scale, disp, single);
    }
    begin_slot(cg);
    if (note)
        note_inlined_position(cg);
    int n = _gen_move_fr_xmm(cg, base, index, scale, disp, single);
    return finish_slot(cg, n, load_desc(base, index, scale, disp, attr), 1, 0x10000);
}

int gen_move_fr_mm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, u4 attr)
{
    return fr_load(cg, 1, base, index, scale, disp, attr, 0);
}
int gen_move_fr8_mm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, u4 attr)
{
    return fr_load(cg, 0, base, index, scale, disp, attr, 0);
}

int gen_move_mm_fr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int pop, u4 attr)
{
    return fp_sched(cg, store_desc(base, index, scale, disp, attr), 0, 0,
                    [&] { return _gen_move_mm_fr(cg, base, index, scale, disp, pop); });
}
int gen_move_mm_fr8(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int pop, u4 attr)
{
    return fp_sched(cg, store_desc(base, index, scale, disp, attr), 0, 0,
                    [&] { return _gen_move_mm_fr8(cg, base, index, scale, disp, pop); });
}

int gen_move_fri_mm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, int size, u4 attr)
{
    fp_desc d = load_desc(base, index, scale, disp, attr);
    d.extra_write = CS_RES_FLAGS;
    return fp_sched(cg, d, 3, 0, [&] { return _gen_move_fri_mm(cg, base, index, scale, disp, size); });
}

int gen_move_mm_fr4i(codegen_context* cg, u4 base, s4 disp, u4 attr)
{
    return fp_sched(cg, store_desc(base, 0, 0, disp, attr), 0, 0, [&] { return _gen_move_mm_fr4i(cg, base, disp); });
}
int gen_move_mm_fr8i(codegen_context* cg, u4 base, s4 disp, u4 attr)
{
    return fp_sched(cg, store_desc(base, 0, 0, disp, attr), 0, 0, [&] { return _gen_move_mm_fr8i(cg, base, disp); });
}

// ---------------------------------------------------------------------------
// Stack registers and arithmetic
// ---------------------------------------------------------------------------

int gen_move_fr_fr_p(codegen_context* cg, int dst, int src, int pop)
{
    int d = fr_stack_index(cg, dst), s = fr_stack_index(cg, src);
    return fp_sched(cg, NO_MEM, 1, 0x10000, [&] { return _gen_move_fr_fr(cg, d, s, pop); });
}
int gen_move_fr_fr(codegen_context* cg, int dst, int src) { return gen_move_fr_fr_p(cg, dst, src, 1); }

int gen_move_fr_imm(codegen_context* cg, int k)
{
    return fp_sched(cg, NO_MEM, 2, k == 0 ? 0x10000u : 0u, [&] { return _gen_move_fr_imm(cg, k); });
}

int gen_xchg_fr_fr(codegen_context* cg, int a, int b)
{
    int i = fr_stack_index(cg, a), j = fr_stack_index(cg, b);
    return fp_sched(cg, NO_MEM, 1, 0x10000, [&] { return _gen_xchg_fr_fr(cg, i, j); });
}

int gen_pop_fr(codegen_context* cg) { return fp_sched(cg, NO_MEM, 1, 0x10000, [&] { return _gen_pop_fr(cg); }); }
int gen_push_fr(codegen_context* cg) { return fp_sched(cg, NO_MEM, 1, 0x10000, [&] { return _gen_push_fr(cg); }); }

template <typename Raw>
static int fr_fr_op(codegen_context* cg, int dst, int src, int pop, s4 latency, Raw raw)
{
    int d = fr_stack_index(cg, dst), s = fr_stack_index(cg, src);
    return fp_sched(cg, NO_MEM, latency, 0x10000, [&] { return raw(cg, d, s, pop); });
}

int gen_add_fr_fr(codegen_context* cg, int dst, int src, int pop) { return fr_fr_op(cg, dst, src, pop, 3, _gen_add_fr_fr); }
int gen_sub_fr_fr(codegen_context* cg, int dst, int src, int pop) { return fr_fr_op(cg, dst, src, pop, 1, _gen_sub_fr_fr); }
int gen_subr_fr_fr(codegen_context* cg, int dst, int src, int pop) { return fr_fr_op(cg, dst, src, pop, 1, _gen_subr_fr_fr); }
int gen_divr_fr_fr(codegen_context* cg, int dst, int src, int pop) { return fr_fr_op(cg, dst, src, pop, 1, _gen_divr_fr_fr); }
int gen_mul_fr_fr(codegen_context* cg, int dst, int src, int pop)
{
    return fr_fr_op(cg, dst, src, pop, proc5() ? 5 : 3, _gen_mul_fr_fr);
}
int gen_div_fr_fr(codegen_context* cg, int dst, int src, int pop)
{
    return fr_fr_op(cg, dst, src, pop, proc5() ? 17 : 39, _gen_div_fr_fr);
}

int gen_rem_fr_fr(codegen_context* cg) { return fp_sched(cg, NO_MEM, 70, 0, [&] { return _gen_rem_fr_fr(cg); }); }
int gen_ieee_rem_fr_fr(codegen_context* cg) { return fp_sched(cg, NO_MEM, 70, 0, [&] { return _gen_ieee_rem_fr_fr(cg); }); }
int gen_neg_fr(codegen_context* cg) { return fp_sched(cg, NO_MEM, 1, 0, [&] { return _gen_neg_fr(cg); }); }
int gen_abs_fr(codegen_context* cg) { return fp_sched(cg, NO_MEM, 1, 0x10000, [&] { return _gen_abs_fr(cg); }); }
int gen_math_fr(codegen_context* cg, int k)
{
    return fp_sched(cg, NO_MEM, k == FMATH_RNDINT ? 9 : 16, 0, [&] { return _gen_math_fr(cg, k); });
}
int gen_sqrt_fr(codegen_context* cg) { return fp_sched(cg, NO_MEM, 70, 0x10000, [&] { return _gen_sqrt_fr(cg); }); }
int gen_finit(codegen_context* cg) { return fp_sched(cg, NO_MEM, 12, 0, [&] { return _gen_finit(cg); }); }

// A catch block empties the x87 stack the thrower may have left behind.
// FNINIT also puts the control word back to 64-bit precision, so the
// method's own word follows at once; the two stay in this order, outside
// the scheduling window.
int gen_finit_in_catch(codegen_context* cg)
{
    s4 word = (cg->flags & FPM_MASK) == FPM_SINGLE ? FCW_SINGLE_NEAREST : FCW_DOUBLE_NEAREST;
    return fp_outside(cg, [&] {
        int n = _gen_finit(cg);
        return n + _gen_fldcw_mm(cg, word);
    });
}

// fldcw of the control-word save area: an absolute operand, no address registers.
int gen_fldcw_mm(codegen_context* cg, s4 offset, u4 attr)
{
    fp_desc d = load_desc(0, 0, 0, offset, attr);
    return fp_sched(cg, d, 7, 0, [&] { return _gen_fldcw_mm(cg, offset); });
}

int gen_add_fr_mm(codegen_context* cg, int, u4 base, u4 index, int scale, s4 disp, int size)
{
    return fp_outside(cg, [&] { return _gen_ARITHMETIC_fr_mm(cg, FOP_ADD, base, index, scale, disp, size); });
}
int gen_sub_fr_mm(codegen_context* cg, int, u4 base, u4 index, int scale, s4 disp, int size)
{
    return fp_outside(cg, [&] { return _gen_ARITHMETIC_fr_mm(cg, FOP_SUB, base, index, scale, disp, size); });
}
int gen_subr_fr_mm(codegen_context* cg, int, u4 base, u4 index, int scale, s4 disp, int size)
{
    return fp_outside(cg, [&] { return _gen_ARITHMETIC_fr_mm(cg, FOP_SUBR, base, index, scale, disp, size); });
}
int gen_mul_fr_mm(codegen_context* cg, int, u4 base, u4 index, int scale, s4 disp, int size)
{
    return fp_outside(cg, [&] { return _gen_ARITHMETIC_fr_mm(cg, FOP_MUL, base, index, scale, disp, size); });
}
int gen_div_fr_mm(codegen_context* cg, int, u4 base, u4 index, int scale, s4 disp, int size)
{
    return fp_outside(cg, [&] { return _gen_ARITHMETIC_fr_mm(cg, FOP_DIV, base, index, scale, disp, size); });
}
int gen_divr_fr_mm(codegen_context* cg, int, u4 base, u4 index, int scale, s4 disp, int size)
{
    return fp_outside(cg, [&] { return _gen_ARITHMETIC_fr_mm(cg, FOP_DIVR, base, index, scale, disp, size); });
}

// ---------------------------------------------------------------------------
// Memory-operand loaders
// ---------------------------------------------------------------------------

static u4 id(s4 reg) { return (u4)reg & REG_ID_MASK; }
static int is_gr(s4 reg) { return reg >= 1 && reg <= 8; }

// A 1- or 2-byte value into a 32-bit register: sign-extended with movsx;
// zero-extended with movzx on class 5, and elsewhere, for a frame slot (a
// whole word, so a doubleword read stays inside it), with a doubleword load
// and a mask.  Other operands may end at the end of mapped memory, so a
// wider read than the value is never made for them.
int gen_move_gr4_memop(codegen_context* cg, u4 dst, const memop* m)
{
    u4 base = id(m->base), index = id(m->index);
    if (m->size == 1 || m->size == 2) {
        if (m->is_signed)
            return gen_movesx_gr_xmm(cg, dst, base, index, m->scale, m->disp, m->size, m->form);
        if (proc5() || base != GR_ESP)
            return gen_movezx_gr_xmm(cg, dst, base, index, m->scale, m->disp, m->size, m->form);
        int n = gen_move_gr_mem(cg, dst, base, index, m->scale, m->disp, SIZE_DWORD, m->form);
        n += gen_arithmetic_gr_i4(cg, ALU_AND, dst, m->size == 1 ? 0xFF : 0xFFFF);
        return n;
    }
    return gen_move_gr_mem(cg, dst, base, index, m->scale, m->disp, SIZE_DWORD, m->form);
}

int gen_move_gr4h_memop(codegen_context* cg, u4 dst, const memop* m)
{
    return gen_move_gr_mem(cg, dst, id(m->base), id(m->index), m->scale, m->disp2, SIZE_DWORD, m->form);
}

// An 8-byte value into lo:hi.  The load order keeps the address registers
// alive until the last load that needs them.
int gen_move_gr8_memop(codegen_context* cg, u4 lo, u4 hi, const memop* m)
{
    if (!is_gr((s4)hi))
        return gen_move_gr4_memop(cg, lo, m);
    if (m->size <= 4) {
        int n = gen_move_gr4_memop(cg, lo, m);
        n += gen_move_gr_gr(cg, hi, lo);
        n += gen_shift_gr_i4(cg, SHIFT_SAR, hi, 31);
        return n;
    }
    u4 base = id(m->base), index = id(m->index);
    auto used_in_address = [&](u4 reg) {
        return (is_gr((s4)base) && id(reg) == base) || (m->scale != 0 && id(reg) == index);
    };
    int n = 0;
    if (!used_in_address(lo)) {
        n += gen_move_gr_mem(cg, lo, base, index, m->scale, m->disp, SIZE_DWORD, m->form);
        n += gen_move_gr4h_memop(cg, hi, m);
    } else if (!used_in_address(hi)) {
        n += gen_move_gr4h_memop(cg, hi, m);
        n += gen_move_gr_mem(cg, lo, base, index, m->scale, m->disp, SIZE_DWORD, m->form);
    } else {
        n += gen_lea_gr_mm(cg, hi, base, index, m->scale, m->disp);
        n += gen_move_gr_mem(cg, lo, hi, 0, 0, 0, SIZE_DWORD, m->form);
        n += gen_move_gr_mem(cg, hi, hi, 0, 0, m->disp2 - m->disp, SIZE_DWORD, m->form);
    }
    return n;
}

// A float (size 4) or double onto the x87 stack.
int gen_move_fr_memop(codegen_context* cg, const memop* m)
{
    return fr_load(cg, m->size == 4, id(m->base), id(m->index), m->scale, m->disp, m->form, 1);
}

// An int (size 4) or long onto the x87 stack.
int gen_move_fri_memop(codegen_context* cg, const memop* m)
{
    return gen_move_fri_mm(cg, id(m->base), id(m->index), m->scale, m->disp, m->size == 4 ? 4 : 8, m->form);
}
