// Scheduling-aware emit layer, integer part: the `gen_*` wrappers the
// quadruple generators and the register manager call instead of the raw
// emitters.
//
// Three kinds of wrapper:
//   scheduled (S): with a scheduling window open, the raw emitter writes
//     into the scheduler's scratch slot, the slot is described (resources
//     read, addressed and written, memory attribute and displacement,
//     latency, pairing class) and handed to `insert_inst`; with the window
//     closed the raw emitter writes directly;
//   outside the window (O): the window is flushed and closed around the raw
//     emitter (calls, jumps out of the block, thread-local stores);
//   composite (C): chooses between other wrappers (short forms by processor
//     class, a borrowed register for a large immediate).
//
// While a window is open `cg->code` is left at the end of the last scheduled
// instruction's bytes in its slot, so a caller can take the address of a
// field it will patch; the scheduler reports the move (patch_cmp_jmp_code).
//
// Resource sets use the used-register bits plus CS_RES_FLAGS, CS_RES_X87 and
// CS_RES_MEMORY: loads read memory, stores write it, so the scheduler never
// moves a load across a store to the same place.  A scheduled jump to an
// out-of-line stub and a signed divide (both may leave the block through an
// exception) read every resource and write memory: nothing before them is
// moved after them, nothing after them before.
#include "codegen/codegen.h"

// ---------------------------------------------------------------------------
// Slot description
// ---------------------------------------------------------------------------

static int window_open(codegen_context* cg) { return (cg->flags & CG_SCHED_WINDOW_OPEN) != 0; }

static u4 bit(u4 reg) { return reg_used_bit[reg & REG_ID_MASK]; }

// A register operand of the given size: an 8-bit id 5..8 is the high byte
// of eax..ebx, the register it reads or changes.
static u4 sbit(u4 reg, int size)
{
    return size == SIZE_BYTE ? reg_used_bit[reg8_container(reg & REG_ID_MASK)] : bit(reg);
}

static u4 addr_bits(u4 base, u4 index, int scale)
{
    u4 id = base & REG_ID_MASK;
    u4 a = (id >= 1 && id <= 8) ? bit(base) : 0;
    if (scale != 0)
        a |= bit(index);
    return a;
}

// Memory reads that count as stack-area accesses for ordering: attribute
// bit 1 without bit 6, or bit 28.
static u4 mem_read_esp(u4 attr)
{
    return ((attr & 0x02) && !(attr & 0x40)) || (attr & 0x10000000) ? bit(GR_ESP) : 0;
}
static u4 mem_read_esp28(u4 attr) { return (attr & 0x10000000) ? bit(GR_ESP) : 0; }

static int proc5(void) { return orva_processor_type == 5; }
static int is_carry_op(int op) { return op == ALU_ADC || op == ALU_SBB; }
static u4 carry_read(int op) { return is_carry_op(op) ? CS_RES_FLAGS : 0; }
static u4 alu_class(int op, u4 other) { return is_carry_op(op) ? 2 : other; }
static int alu_writes_dst(int op) { return op != ALU_CMP && op != ALU_TEST; }

// A memory operand with no attribute bits would read as an empty slot.
static u4 slot_attr(u4 attr) { return attr == 0 ? 0x40 : attr; }

void set_scheduling_info(codegen_context* cg, int length, u4 read, u4 addr, u4 write, u4 attr, s4 disp,
                         s4 latency, u4 cls)
{
    cs_slot* s = cg->cs->scratch;
    // Instructions longer than 7 bytes do not pair on the Pentium pipes: on
    // class 5 they issue alone; on class 4 a pairing instruction keeps the
    // first pipe only up to 11 bytes with MMX.
    if (length > 7) {
        if (orva_processor_type == 5) {
            cls = 0;
        } else if (orva_processor_type == 4 && ((cls & 0xFFFF) == 1 || (cls & 0xFFFF) == 2)) {
            cls = (cls & 0xFFFF0000u) | (orva_processor_mmx && length < 12 ? 2u : 0u);
        }
    }
    s->length = (u4)length;
    s->read = read;
    s->addr = addr;
    s->write = write;
    s->attr = attr;
    s->disp = disp;
    s->latency = latency;
    s->cls = cls;
}

// The scratch slot's fields a raw emitter may set; cleared before it runs.
static void slot_begin(codegen_context* cg)
{
    cs_slot* s = cg->cs->scratch;
    s->jmp_patch = nullptr;
    s->cp_ref = nullptr;
    s->sp_ref = nullptr;
    cg->code = s->bytes;
}

struct sched_desc {
    u4 read, addr, write, attr;
    s4 disp, latency;
    u4 cls;
};

// Finishes a scheduled instruction the raw emitter wrote `length` bytes of.
static int sched_end(codegen_context* cg, int length, const sched_desc& d)
{
    if (length == 0)
        return 0;
    set_scheduling_info(cg, length, d.read, d.addr, d.write, d.attr, d.disp, d.latency, d.cls);
    return insert_inst(cg);
}

// S kind: run `raw` into the slot (window open) or directly.
template <typename Raw>
static int sched(codegen_context* cg, const sched_desc& d, Raw raw)
{
    if (!window_open(cg))
        return raw();
    slot_begin(cg);
    return sched_end(cg, raw(), d);
}

// O kind: flush and close the window around `raw`, then reopen it.
template <typename Raw>
static int outside(codegen_context* cg, Raw raw)
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

static int keep_flags(codegen_context* cg) { return (cg->flags & CG_KEEP_FLAGS) != 0; }

static int no_free_reg(codegen_context* cg) { return _num_of_free_int_regs(cg, -1) == 0; }

// Pass 1 reserves 3 bytes for the forms that pass 2 may write through a
// borrowed register instead (a register is free now; it may not be then).
static void reserve_borrow(codegen_context* cg, u4 attr)
{
    if (cg->pass == CG_PASS_MEASURE && !(attr & 0x80))
        cg_count_pass1(cg, 3);
}

static int size_from_scale(int scale, u4 index)
{
    switch (scale) {
    case 1: return SIZE_BYTE;
    case 2: return SIZE_WORD;
    case 0: return (index & REG_ID_MASK) == 2 ? SIZE_WORD : SIZE_DWORD;
    default: return SIZE_DWORD;
    }
}

// Borrowed registers: any of the seven the manager allocates.
static int borrow_reg(codegen_context* cg, u4* reg)
{
    int index = _alloc_int_reg(cg, 0x7F, 0);
    *reg = (u4)reg_mgr_to_id[index];
    return index;
}
static void return_reg(codegen_context* cg, int index) { _free_int_reg(cg, index, 0, 0, 1); }

// ---------------------------------------------------------------------------
// Moves
// ---------------------------------------------------------------------------

int gen_move_gr_i4_5bytes(codegen_context* cg, u4 dst, s4 imm)
{
    return sched(cg, {0, 0, bit(dst), CS_ATTR_NO_MEMORY, 0, 1, 0x10001},
                 [&] { return _gen_move_gr_i4(cg, dst, imm); });
}

// 0 and -1 take the short flag-changing forms unless the flags are live.
int gen_move_gr_i4(codegen_context* cg, u4 dst, s4 imm)
{
    if (imm == 0 && !keep_flags(cg))
        return gen_arithmetic_gr_gr(cg, ALU_XOR, dst, dst);
    if (imm == -1 && !keep_flags(cg))
        return gen_arithmetic_gr_i4(cg, ALU_OR, dst, -1);
    return gen_move_gr_i4_5bytes(cg, dst, imm);
}

int gen_move_gr_gr(codegen_context* cg, u4 dst, u4 src)
{
    if (dst == src)
        return 0;
    return sched(cg, {bit(src), 0, bit(dst), CS_ATTR_NO_MEMORY, 0, 1, 0x10001},
                 [&] { return _gen_move_gr_gr(cg, dst, src); });
}

int gen_move_gr_mem(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int size, u4 attr)
{
    if (size == 0)
        size = (index & REG_ID_MASK) == 2 ? SIZE_WORD : SIZE_DWORD;
    else if (size == 8)
        size = SIZE_DWORD;
    return sched(cg, {mem_read_esp(attr) | CS_RES_MEMORY, addr_bits(base, index, scale), sbit(dst, size),
                      slot_attr(attr), disp, 1, 0x10001},
                 [&] { return _gen_move_gr_mem(cg, dst, base, index, scale, disp, size, SEG_NONE); });
}

// Load with the size taken from the scale (scale 0: the index argument
// carries the size, 2 = word, else doubleword).
int gen_move_gr_mm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, u4 attr)
{
    return gen_move_gr_mem(cg, dst, base, index, scale, disp, size_from_scale(scale, index), attr);
}

int gen_move_mm_gr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, u4 src, int size, u4 attr)
{
    return sched(cg, {sbit(src, size) | mem_read_esp(attr), addr_bits(base, index, scale), CS_RES_MEMORY,
                      slot_attr(attr), disp, 1, 1},
                 [&] { return _gen_move_mm_gr(cg, base, index, scale, disp, src, size); });
}

int gen_move_mm_i4(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, s4 imm, int size, u4 attr)
{
    int word_on_5 = proc5() && size == SIZE_WORD;
    int none_free = no_free_reg(cg);
    if (!word_on_5 && ((fits_imm8(disp) && ((index & REG_ID_MASK) == 0 || scale < 2)) || none_free)) {
        if (none_free)
            attr |= CS_ATTR_NO_SPLIT;
        return sched(cg, {mem_read_esp28(attr), addr_bits(base, index, scale), CS_RES_MEMORY, slot_attr(attr),
                          disp, proc5() ? 2 : 1, disp == 0 ? 1u : 0u},
                     [&] { return _gen_move_mm_i4(cg, base, index, scale, disp, imm, size); });
    }
    // A 16-bit immediate store (66 C7) decodes slowly on class 5, and a
    // large displacement or scaled index makes the immediate form long:
    // go through a borrowed register.
    u4 reg;
    int mgr = borrow_reg(cg, &reg);
    int n = gen_move_gr_i4(cg, reg, imm);
    n += gen_move_mm_gr(cg, base, index, scale, disp, reg, size, attr);
    return_reg(cg, mgr);
    return n;
}

int gen_movesx_gr_gr(codegen_context* cg, u4 dst, u4 src, int size)
{
    return sched(cg, {sbit(src, size), 0, bit(dst), CS_ATTR_NO_MEMORY, 0, proc5() ? 1 : 3, 0x10000},
                 [&] { return _gen_movesx_gr_gr(cg, dst, src, size); });
}

static int movex(codegen_context* cg, int is_signed, u4 dst, u4 base, u4 index, int scale, s4 disp, int size,
                 u4 attr)
{
    return sched(cg, {mem_read_esp28(attr) | CS_RES_MEMORY, addr_bits(base, index, scale), bit(dst),
                      slot_attr(attr), disp, proc5() ? 1 : 3, 0x10000},
                 [&] { return _gen_moveXx_gr_mm(cg, dst, base, index, scale, disp, size, is_signed); });
}

int gen_movesx_gr_xmm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int size, u4 attr)
{
    return movex(cg, 1, dst, base, index, scale, disp, size, attr);
}
int gen_movezx_gr_xmm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, int size, u4 attr)
{
    return movex(cg, 0, dst, base, index, scale, disp, size, attr);
}
// The size is the scale (scale 0: the index argument carries 1 or 2).
int gen_movesx_gr_mm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, u4 attr)
{
    return movex(cg, 1, dst, base, index, scale, disp, scale, attr);
}
int gen_movezx_gr_mm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp, u4 attr)
{
    return movex(cg, 0, dst, base, index, scale, disp, scale, attr);
}

int gen_lea_gr_mm(codegen_context* cg, u4 dst, u4 base, u4 index, int scale, s4 disp)
{
    return sched(cg, {0, addr_bits(base, index, scale), bit(dst), CS_ATTR_NO_MEMORY, 0, 1, 0x10001},
                 [&] { return _gen_lea_gr_mm(cg, dst, base, index, scale, disp); });
}

// ---------------------------------------------------------------------------
// Constant-index forms: kind 'C' folds index x scale into the displacement.
// The operand size is fixed before folding: the folded operand has no
// scale left to carry it.
// ---------------------------------------------------------------------------
static void fold_const_index(char kind, u4* index, int* scale, s4* disp, int element)
{
    if (kind != 'C')
        return;
    *disp += (s4)*index * element;
    *index = 0;
    *scale = 0;
}

int gen_move_gr_mm_(codegen_context* cg, u4 dst, u4 base, u4 index, char kind, int scale, s4 disp, u4 attr)
{
    int size = size_from_scale(scale, index);
    fold_const_index(kind, &index, &scale, &disp, scale);
    return gen_move_gr_mem(cg, dst, base, index, scale, disp, size, attr);
}
int gen_move_mm_gr_(codegen_context* cg, u4 base, u4 index, char kind, int scale, s4 disp, u4 src, int size, u4 attr)
{
    fold_const_index(kind, &index, &scale, &disp, scale);
    return gen_move_mm_gr(cg, base, index, scale, disp, src, size, attr);
}
int gen_move_mm_i4_(codegen_context* cg, u4 base, u4 index, char kind, int scale, s4 disp, s4 imm, int size, u4 attr)
{
    fold_const_index(kind, &index, &scale, &disp, scale);
    return gen_move_mm_i4(cg, base, index, scale, disp, imm, size, attr);
}
int gen_movesx_gr_mm_(codegen_context* cg, u4 dst, u4 base, u4 index, char kind, int scale, s4 disp, u4 attr)
{
    int size = scale != 0 ? scale : (int)(index & REG_ID_MASK);
    fold_const_index(kind, &index, &scale, &disp, scale);
    return gen_movesx_gr_xmm(cg, dst, base, index, scale, disp, size, attr);
}
int gen_movezx_gr_mm_(codegen_context* cg, u4 dst, u4 base, u4 index, char kind, int scale, s4 disp, u4 attr)
{
    int size = scale != 0 ? scale : (int)(index & REG_ID_MASK);
    fold_const_index(kind, &index, &scale, &disp, scale);
    return gen_movezx_gr_xmm(cg, dst, base, index, scale, disp, size, attr);
}
int gen_lea_gr_mm_(codegen_context* cg, u4 dst, u4 base, u4 index, char kind, int scale, s4 disp)
{
    fold_const_index(kind, &index, &scale, &disp, scale);
    return gen_lea_gr_mm(cg, dst, base, index, scale, disp);
}
int gen_move_fr_mm_(codegen_context* cg, u4 base, u4 index, char kind, int scale, s4 disp, u4 attr)
{
    fold_const_index(kind, &index, &scale, &disp, scale);
    return gen_move_fr_mm(cg, base, index, scale, disp, attr);
}
int gen_move_fr8_mm_(codegen_context* cg, u4 base, u4 index, char kind, int scale, s4 disp, u4 attr)
{
    fold_const_index(kind, &index, &scale, &disp, scale);
    return gen_move_fr8_mm(cg, base, index, scale, disp, attr);
}
int gen_move_mm_fr_(codegen_context* cg, u4 base, u4 index, char kind, int scale, s4 disp, int pop, u4 attr)
{
    fold_const_index(kind, &index, &scale, &disp, 4);
    return gen_move_mm_fr(cg, base, index, scale, disp, pop, attr);
}
int gen_move_mm_fr8_(codegen_context* cg, u4 base, u4 index, char kind, int scale, s4 disp, int pop, u4 attr)
{
    fold_const_index(kind, &index, &scale, &disp, 8);
    return gen_move_mm_fr8(cg, base, index, scale, disp, pop, attr);
}

// ---------------------------------------------------------------------------
// Stack, calls and jumps
// ---------------------------------------------------------------------------

int gen_push(codegen_context* cg, u4 reg, s4 disp, u4 attr)
{
    return sched(cg, {bit(reg), bit(GR_ESP), bit(GR_ESP) | CS_RES_MEMORY, slot_attr(attr), disp, 1, 1},
                 [&] { return _gen_push(cg, reg); });
}
int gen_push_imm(codegen_context* cg, s4 imm, s4 disp, u4 attr)
{
    return sched(cg, {0, bit(GR_ESP), bit(GR_ESP) | CS_RES_MEMORY, slot_attr(attr), disp, 1, 1},
                 [&] { return _gen_push_imm(cg, imm); });
}
int gen_pop(codegen_context* cg, u4 reg, s4 disp, u4 attr)
{
    return sched(cg, {CS_RES_MEMORY, bit(GR_ESP), bit(reg) | bit(GR_ESP), slot_attr(attr), disp, 1, 1},
                 [&] { return _gen_pop(cg, reg); });
}

int gen_push_mm(codegen_context* cg, u4 base, s4 disp) { return outside(cg, [&] { return _gen_push_mm(cg, base, disp); }); }
int gen_move_fs_eax(codegen_context* cg) { return outside(cg, [&] { return _gen_move_fs_eax(cg); }); }
int gen_call(codegen_context* cg, int k) { return outside(cg, [&] { return _gen_call(cg, k); }); }
int gen_call_(codegen_context* cg, u4 target) { return outside(cg, [&] { return _gen_call_(cg, target); }); }
int gen_call_indirect(codegen_context* cg, u4 base, s4 disp)
{
    return outside(cg, [&] { return _gen_call_indirect(cg, base, disp); });
}
int gen_jmp_gr(codegen_context* cg, int a, int b, u4 reg) { return outside(cg, [&] { return _gen_jmp_gr(cg, a, b, reg); }); }
int gen_jmp_short(codegen_context* cg, int cond, u4 target)
{
    return outside(cg, [&] { return _gen_jmpcc(cg, cond, target, 1); });
}
int gen_jmp(codegen_context* cg, int cond, u4 target) { return outside(cg, [&] { return _gen_jmpcc(cg, cond, target, 2); }); }

// A jump to an out-of-line stub kept in the window.  Its displacement field
// travels with the slot (the caller reads its address at cg->code - 1 or
// - 4) and is reported when the jump is written out.  A known target is
// written outside the window: a displacement computed inside the slot would
// point elsewhere once the jump moves.
int gen_jmp_schedule(codegen_context* cg, int cond, u4 target, int size)
{
    if (!window_open(cg) || target != UNRESOLVED_TARGET)
        return outside(cg, [&] { return _gen_jmpcc(cg, cond, target, size); });
    slot_begin(cg);
    int n = _gen_jmpcc(cg, cond, target, size);
    cg->cs->scratch->jmp_patch = cg->code - (n == 2 ? 1 : 4);
    return sched_end(cg, n, {~0u, 0, CS_RES_MEMORY, CS_ATTR_SERIAL | CS_ATTR_NO_MEMORY, 0, 1, 0x10003});
}

// ---------------------------------------------------------------------------
// Compares
// ---------------------------------------------------------------------------

int gen_cmp_gr_gr(codegen_context* cg, u4 a, u4 b)
{
    return sched(cg, {bit(a) | bit(b), 0, CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, proc5() ? 1 : 0, 0x10001},
                 [&] { return _gen_cmp_gr_gr(cg, a, b); });
}

int gen_cmp_gr_i4(codegen_context* cg, u4 reg, s4 imm)
{
    if (imm == 0)
        return gen_test_gr_gr(cg, reg, reg, SIZE_DWORD);
    return sched(cg, {bit(reg), 0, CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, proc5() ? 1 : 0, 0x10001},
                 [&] { return _gen_cmp_gr_i4(cg, reg, imm); });
}

int gen_test_gr_gr(codegen_context* cg, u4 a, u4 b, int size)
{
    return sched(cg, {sbit(a, size) | sbit(b, size), 0, CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, 0, 0x10001},
                 [&] { return _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, a, b, size); });
}

int gen_test_gr_i4(codegen_context* cg, u4 reg, s4 imm, int size)
{
    u4 cls = (reg & REG_ID_MASK) == GR_EAX ? 0x10001 : 0x10000;
    return sched(cg, {sbit(reg, size), 0, CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, 0, cls},
                 [&] { return _gen_ARITHMETIC_xgr_i4(cg, ALU_TEST, reg, imm, size); });
}

int gen_cmp_gr_xmm(codegen_context* cg, u4 reg, u4 base, u4 index, int scale, s4 disp, int size, u4 attr)
{
    reserve_borrow(cg, attr);
    return sched(cg, {sbit(reg, size) | mem_read_esp(attr) | CS_RES_MEMORY, addr_bits(base, index, scale),
                      CS_RES_FLAGS, slot_attr(attr), disp, 1, 1},
                 [&] { return _gen_ARITHMETIC_gr_xmm(cg, ALU_CMP, reg, base, index, scale, disp, size); });
}

int gen_cmp_xmm_gr(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, u4 reg, int size, u4 attr)
{
    reserve_borrow(cg, attr);
    return sched(cg, {sbit(reg, size) | mem_read_esp(attr) | CS_RES_MEMORY, addr_bits(base, index, scale),
                      CS_RES_FLAGS, slot_attr(attr), disp, 2, 1},
                 [&] { return _gen_cmp_xmm_gr(cg, base, index, scale, disp, reg, size); });
}

int gen_cmp_mm_imm(codegen_context* cg, u4 base, u4 index, int scale, s4 disp, s4 imm, int size, u4 attr)
{
    u4 b = base & REG_ID_MASK;
    if (!fits_imm8(disp) && !no_free_reg(cg) && size == SIZE_DWORD && (b == 0 || b == GR_ESP) && scale == 0) {
        u4 reg;
        int mgr = borrow_reg(cg, &reg);
        int n = gen_move_gr_i4(cg, reg, imm);
        n += gen_cmp_xmm_gr(cg, base, index, scale, disp, reg, SIZE_DWORD, attr);
        return_reg(cg, mgr);
        return n;
    }
    if (no_free_reg(cg))
        attr |= CS_ATTR_NO_SPLIT;
    reserve_borrow(cg, attr);
    return sched(cg, {mem_read_esp28(attr) | CS_RES_MEMORY, addr_bits(base, index, scale), CS_RES_FLAGS,
                      slot_attr(attr), disp, 2, 1},
                 [&] { return _gen_cmp_mm_imm(cg, base, index, scale, disp, imm, size); });
}

// ---------------------------------------------------------------------------
// Arithmetic
// ---------------------------------------------------------------------------

int gen_arithmetic_gr_gr(codegen_context* cg, int op, u4 dst, u4 src)
{
    return sched(cg, {bit(dst) | bit(src) | carry_read(op), 0, bit(dst) | CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, 1,
                      alu_class(op, 0x10001)},
                 [&] { return _gen_ARITHMETIC_xgr_xgr(cg, op, dst, src, SIZE_DWORD); });
}

// Operations that change nothing: add/sub/or/xor 0 and and -1 (ops 5 and 7
// stay: the next instruction consumes their carry).
static int changes_nothing(int op, s4 imm)
{
    return ((op == ALU_ADD || op == ALU_SUB || op == ALU_OR || op == ALU_XOR) && imm == 0) ||
           (op == ALU_AND && imm == -1);
}

int gen_arithmetic_gr_i4(codegen_context* cg, int op, u4 reg, s4 imm)
{
    if (changes_nothing(op, imm))
        return 0;
    if (op == ALU_AND && imm == 0)
        return gen_arithmetic_gr_gr(cg, ALU_XOR, reg, reg);
    return sched(cg, {bit(reg) | carry_read(op), 0, bit(reg) | CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, 1,
                      alu_class(op, 0x10001)},
                 [&] { return _gen_ARITHMETIC_xgr_i4(cg, op, reg, imm, SIZE_DWORD); });
}

// As gen_arithmetic_gr_i4 for an instruction whose flags are consumed: never skipped.
int gen_arithmetic_gr_i4_for_cc(codegen_context* cg, int op, u4 reg, s4 imm)
{
    return sched(cg, {bit(reg) | carry_read(op), 0, bit(reg) | CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, proc5() ? 1 : 0,
                      0x10001},
                 [&] { return _gen_ARITHMETIC_xgr_i4(cg, op, reg, imm, SIZE_DWORD); });
}

int gen_arithmetic_gr_mm(codegen_context* cg, int op, u4 dst, u4 base, u4 index, int scale, s4 disp, u4 attr)
{
    reserve_borrow(cg, attr);
    return sched(cg, {bit(dst) | carry_read(op) | mem_read_esp28(attr) | CS_RES_MEMORY,
                      addr_bits(base, index, scale), bit(dst) | CS_RES_FLAGS, slot_attr(attr), disp, 2,
                      alu_class(op, 1)},
                 [&] { return _gen_ARITHMETIC_gr_mm(cg, op, dst, base, index, scale, disp); });
}

int gen_arithmetic_xmm_gr(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, u4 src, int size,
                          u4 attr)
{
    u4 write = CS_RES_FLAGS | (alu_writes_dst(op) ? CS_RES_MEMORY : 0);
    return sched(cg, {sbit(src, size) | carry_read(op) | mem_read_esp28(attr) | CS_RES_MEMORY,
                      addr_bits(base, index, scale), write, slot_attr(attr), disp, 3, alu_class(op, 1)},
                 [&] { return _gen_ARITHMETIC_xmm_gr(cg, op, base, index, scale, disp, src, size); });
}

int gen_arithmetic_mm_gr(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, u4 src, u4 attr)
{
    return gen_arithmetic_xmm_gr(cg, op, base, index, scale, disp, src, SIZE_DWORD, attr);
}

int gen_arithmetic_xmm_i4(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, s4 imm, int size,
                          u4 attr)
{
    if (changes_nothing(op, imm))
        return 0;
    attr |= CS_ATTR_NO_SPLIT;
    u4 write = CS_RES_FLAGS | (alu_writes_dst(op) ? CS_RES_MEMORY : 0);
    return sched(cg, {carry_read(op) | mem_read_esp28(attr) | CS_RES_MEMORY, addr_bits(base, index, scale), write,
                      slot_attr(attr), disp, 3, alu_class(op, 1)},
                 [&] { return _gen_ARITHMETIC_xmm_i4(cg, op, base, index, scale, disp, imm, size); });
}

int gen_arithmetic_mm_i4(codegen_context* cg, int op, u4 base, u4 index, int scale, s4 disp, s4 imm, u4 attr)
{
    return gen_arithmetic_xmm_i4(cg, op, base, index, scale, disp, imm, SIZE_DWORD, attr);
}

int gen_mul_gr_i4(codegen_context* cg, u4 reg, s4 imm)
{
    return sched(cg, {bit(reg), 0, bit(reg) | CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, proc5() ? 4 : 11, 0},
                 [&] { return _gen_mul_gr_i4(cg, reg, imm); });
}

int gen_mul_gr_gr(codegen_context* cg, u4 dst, u4 src)
{
    return sched(cg, {bit(dst) | bit(src), 0, bit(dst) | CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, proc5() ? 4 : 11, 0x10000},
                 [&] { return _gen_mul_gr_gr(cg, dst, src); });
}

int gen_imul_gr(codegen_context* cg, u4 reg)
{
    return sched(cg, {bit(reg) | bit(GR_EAX), 0, bit(GR_EAX) | bit(GR_EDX) | CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0,
                      proc5() ? 4 : 11, 0x10000},
                 [&] { return _gen_imul_gr(cg, reg); });
}

int gen_umul_gr(codegen_context* cg, u4 reg)
{
    return sched(cg, {bit(reg) | bit(GR_EAX), 0, bit(GR_EAX) | bit(GR_EDX) | CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0,
                      proc5() ? 4 : 11, 0x10000},
                 [&] { return _gen_umul_gr(cg, reg); });
}

// idiv reg: reads edx:eax (edx too, which the divide consumes from cdq); a
// zero divisor raises, so it is a barrier like a stub jump.
int gen_div_gr(codegen_context* cg, u4 reg)
{
    return sched(cg, {~0u, 0, bit(GR_EAX) | bit(GR_EDX) | CS_RES_FLAGS | CS_RES_MEMORY,
                      CS_ATTR_SERIAL | CS_ATTR_NO_MEMORY, 0, proc5() ? 17 : 41, 0},
                 [&] { return _gen_div_gr(cg, reg); });
}

int gen_shift_gr_i4(codegen_context* cg, int kind, u4 reg, int count)
{
    if (count == 0)
        return 0;
    return sched(cg, {bit(reg), 0, bit(reg) | CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, 1, 0x10002},
                 [&] { return _gen_SHIFT_gr_i4(cg, kind, reg, count); });
}

int gen_shift_gr(codegen_context* cg, int kind, u4 reg)
{
    return sched(cg, {bit(reg) | bit(GR_ECX), 0, bit(reg) | CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, proc5() ? 1 : 4,
                      0x10000},
                 [&] { return _gen_SHIFT_gr(cg, kind, reg); });
}

int gen_shift8_gr_gr_i4(codegen_context* cg, int kind, u4 dst, u4 src, int count)
{
    return sched(cg, {bit(dst) | bit(src), 0, bit(dst) | bit(src) | CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, 4, 0},
                 [&] { return _gen_SHIFT8_gr_gr_i4(cg, kind, dst, src, count); });
}

int gen_shift8_gr_gr_gr(codegen_context* cg, int kind, u4 dst, u4 src, u4 count_reg)
{
    return sched(cg, {bit(dst) | bit(src) | bit(count_reg), 0, bit(dst) | CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, 4, 0},
                 [&] { return _gen_SHIFT8_gr_gr_gr(cg, kind, dst, src); });
}

int gen_xchg_gr_gr(codegen_context* cg, u4 a, u4 b)
{
    int with_eax = (a & REG_ID_MASK) == GR_EAX || (b & REG_ID_MASK) == GR_EAX;
    return sched(cg, {bit(a) | bit(b), 0, bit(a) | bit(b), CS_ATTR_NO_MEMORY, 0, with_eax ? 2 : 3, 0},
                 [&] { return _gen_xchg_gr_gr(cg, a, b); });
}

int gen_neg_gr(codegen_context* cg, u4 reg)
{
    return sched(cg, {bit(reg), 0, bit(reg) | CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, 1, 0x10001},
                 [&] { return _gen_neg_gr(cg, reg); });
}

// cdq on class 5; elsewhere mov edx, eax; sar edx, 31 pairs better.
int gen_cdq(codegen_context* cg)
{
    if (proc5())
        return sched(cg, {bit(GR_EAX), 0, bit(GR_EDX), CS_ATTR_NO_MEMORY, 0, 2, 0x10000},
                     [&] { return _gen_cdq(cg); });
    int n = gen_move_gr_gr(cg, GR_EDX, GR_EAX);
    n += gen_shift_gr_i4(cg, SHIFT_SAR, GR_EDX, 31);
    return n;
}

// ---------------------------------------------------------------------------
// Conditional forms
// ---------------------------------------------------------------------------

int gen_cmove_gr_gr(codegen_context* cg, int cond, u4 dst, u4 src)
{
    if (dst == src)
        return 0;
    return sched(cg, {bit(src) | CS_RES_FLAGS, 0, bit(dst), CS_ATTR_NO_MEMORY, 0, 1, 0},
                 [&] { return _gen_cmove_gr_gr(cg, cond, dst, src); });
}

int gen_cmove_gr_mm(codegen_context* cg, int cond, u4 dst, u4 base, u4 index, int scale, s4 disp, int size, u4 attr)
{
    if (size == 0)
        size = (index & REG_ID_MASK) == 2 ? SIZE_WORD : SIZE_DWORD;
    else if (size == 8)
        size = SIZE_DWORD;
    if (!window_open(cg))
        return _gen_cmove_gr_mm(cg, cond, dst, base, index, scale, disp, size);
    slot_begin(cg);
    int n = _gen_cmove_gr_mm(cg, cond, dst, base, index, scale, disp, size);
    cg->cs->scratch->jmp_patch = cg->code - 4;
    return sched_end(cg, n, {CS_RES_FLAGS | mem_read_esp(attr) | CS_RES_MEMORY, addr_bits(base, index, scale),
                             bit(dst), slot_attr(attr), disp, 1, 0});
}

int gen_setcc_gr(codegen_context* cg, u4 reg, int cond, int size)
{
    return sched(cg, {CS_RES_FLAGS, 0, sbit(reg, size), CS_ATTR_NO_MEMORY, 0, 1, 0x10000},
                 [&] { return _gen_setcc_gr(cg, reg, cond, size); });
}

// cmp a, b; j<cond> over the move; mov dst, src  -- one scheduling unit.
int gen_cmp_gr_gr_jmp_move_gr_gr(codegen_context* cg, u4 a, u4 b, int cond, u4 dst, u4 src)
{
    auto raw = [&] {
        int n = _gen_cmp_gr_gr(cg, a, b);
        u1* jcc = cg->code;
        n += _gen_jmpcc(cg, cond, UNRESOLVED_TARGET, 1);
        int move = _gen_move_gr_gr(cg, dst, src);
        jcc[1] = (u1)move;   // the displacement skips the move
        return n + move;
    };
    return sched(cg, {bit(a) | bit(b) | bit(dst) | bit(src), 0, bit(dst) | CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, 1, 0},
                 raw);
}

// cmp reg, imm (test reg, reg for 0); j<cond> over the move; mov dst, imm2
// (xor dst, dst for 0)  -- one scheduling unit.
int gen_cmp_gr_i4_jmp_move_gr_i4(codegen_context* cg, u4 reg, s4 imm, int cond, u4 dst, s4 imm2)
{
    auto raw = [&] {
        int n = imm == 0 ? _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, reg, reg, SIZE_DWORD) : _gen_cmp_gr_i4(cg, reg, imm);
        u1* jcc = cg->code;
        n += _gen_jmpcc(cg, cond, UNRESOLVED_TARGET, 1);
        int move = imm2 == 0 ? _gen_ARITHMETIC_xgr_xgr(cg, ALU_XOR, dst, dst, SIZE_DWORD)
                             : _gen_move_gr_i4(cg, dst, imm2);
        jcc[1] = (u1)move;   // the displacement skips the move
        return n + move;
    };
    return sched(cg, {bit(reg) | bit(dst), 0, bit(dst) | CS_RES_FLAGS, CS_ATTR_NO_MEMORY, 0, 1, 0}, raw);
}
