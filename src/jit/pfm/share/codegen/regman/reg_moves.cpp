// Move emitters of the register manager: loads, stores, moves and exchanges
// between integer registers, the x87 stack, local-variable slots and Java
// operand-stack slots, written through the scheduling-aware emit layer.
//
// Frame slots are addressed from esp: displacement = the slot's frame
// position (`C_Style_local` / `C_Style_stack`) minus the current stack offset
// (`mci->sp_offset`, negative below the frame base).  x87 registers are the
// manager's counter values; the emit layer turns counter r into
// st(top - 1 - r) with top = cg->regs.fp_depth, the manager's top counter.
// Emitters that push or pop the x87 stack keep that counter in step; the
// others leave it to their callers.
#include "codegen/regman/reg_manager.h"

static u4 ireg_id(int r)
{
    u4 n = (u4)r & RM_REG_FLAG_MASK;
    if (n >= RM_INT_REGS)
        rm_fatal("register number out of range in a move emitter");
    return (u4)int_reg_to_ia32[n];
}

// Memory-operand flag words of the frame accesses.
constexpr u4 MF_LOAD = 66;            // load from a local or a constant
constexpr u4 MF_STORE_LOCAL = 67;     // store into a local
constexpr u4 MF_STORE_STACK = 3;      // store into an operand-stack slot
constexpr u4 MF_HANDLER_BLOCK = 0x1000000;   // added to stores in a block covered by a handler

static u4 store_flags(codegen_context* cg, u4 base)
{
    bbattr* b = cg->bbtable ? cg->bbtable[cg->cur_bb] : nullptr;
    return (b && (b->flags & BB_HANDLER_COVERED)) ? base | MF_HANDLER_BLOCK : base;
}

static s4 local_disp(codegen_context* cg, s4 local, int second) { return C_Style_local(cg, local, second) - cg->mci->sp_offset; }
static s4 stack_disp(codegen_context* cg, s4 slot, int second) { return C_Style_stack(cg, slot, second) - cg->mci->sp_offset; }

// ---------------------------------------------------------------------------
// Integer registers
// ---------------------------------------------------------------------------

// mov dst, src
int gen_move_ireg_ireg(codegen_context* cg, int dst, int src) { return gen_move_gr_gr(cg, ireg_id(dst), ireg_id(src)); }

// xchg a, b
int gen_swap_ireg_ireg(codegen_context* cg, int a, int b) { return gen_xchg_gr_gr(cg, ireg_id(a), ireg_id(b)); }

// mov reg, [esp + local position - adjustment]
// The narrow-type flags name the types '1' and '2'; locals are whole words,
// so the load is the same.
int gen_move_ireg_local(codegen_context* cg, int r, s4 local, int, int)
{
    return gen_move_gr_mem(cg, ireg_id(r), GR_ESP, 0, 0, local_disp(cg, local, 0), SIZE_DWORD, MF_LOAD);
}

// mov [esp + local position - adjustment], reg
int gen_move_local_ireg(codegen_context* cg, s4 local, int r, int, int)
{
    return gen_move_mm_gr(cg, GR_ESP, 0, 0, local_disp(cg, local, 0), ireg_id(r), SIZE_DWORD,
                          store_flags(cg, MF_STORE_LOCAL));
}

// mov dword [esp + local position - adjustment], value
int gen_move_local_immediate(codegen_context* cg, s4 local, s4 value)
{
    return gen_move_mm_i4(cg, GR_ESP, 0, 0, local_disp(cg, local, 0), value, SIZE_DWORD,
                          store_flags(cg, MF_STORE_LOCAL));
}

// mov reg, value
int gen_move_ireg_rawimmediate(codegen_context* cg, int r, s4 value) { return gen_move_gr_i4(cg, ireg_id(r), value); }

// mov reg, [address]
int gen_move_ireg_memimmediate(codegen_context* cg, int r, u4 address)
{
    return gen_move_gr_mem(cg, ireg_id(r), 0, 0, 0, (s4)address, SIZE_DWORD, MF_LOAD);
}

// Store into an operand-stack slot: mov [esp + d], reg when the slot lies at
// or above esp; push reg when it is the word just below esp; otherwise lower
// esp to the slot first.
template <typename Store, typename Push>
static int store_to_stack_slot(codegen_context* cg, int slot, Store store, Push push)
{
    s4 d = stack_disp(cg, slot, 0);
    if (d >= 0)
        return store(d);
    if (d == -4)
        return push();
    int n = gen_arithmetic_gr_i4(cg, ALU_SUB, GR_ESP, -d);
    return n + store(stack_disp(cg, slot, 0));
}

int gen_move_stack_ireg(codegen_context* cg, int slot, int r)
{
    u4 id = ireg_id(r);
    return store_to_stack_slot(
        cg, slot,
        [&](s4 d) { return gen_move_mm_gr(cg, GR_ESP, 0, 0, d, id, SIZE_DWORD, store_flags(cg, MF_STORE_STACK)); },
        [&] { return gen_push(cg, id, cg->mci->sp_offset - 4, MF_STORE_STACK); });
}

int gen_move_stack_ival(codegen_context* cg, int slot, s4 value)
{
    return store_to_stack_slot(
        cg, slot,
        [&](s4 d) { return gen_move_mm_i4(cg, GR_ESP, 0, 0, d, value, SIZE_DWORD, store_flags(cg, MF_STORE_STACK)); },
        [&] { return gen_push_imm(cg, value, cg->mci->sp_offset - 4, MF_STORE_STACK); });
}

// mov [esp + slot position - adjustment], reg, never a push (raw emitter)
int _gen_rewrite_stack_ireg(codegen_context* cg, int slot, int r)
{
    return _gen_move_mm_gr(cg, GR_ESP, 0, 0, stack_disp(cg, slot, 0), ireg_id(r), SIZE_DWORD);
}

// Copy a local to an operand-stack slot: from its register when one caches
// it, by push [mem] when the slot is the word below esp, else through a free
// register, which then caches the local.
int gen_move_stack_local(codegen_context* cg, int slot, const reg_operand* local)
{
    u4 before = cg->code_size;
    u1* start = cg->code;
    if (is_cached_int_oprnd(cg, local)) {
        int r = _get_rd_int_oprnd(cg, local, 0, -1);
        gen_move_stack_ireg(cg, slot, r);
        _free_int_reg(cg, r, 0, 0, 0);
    } else if (stack_disp(cg, slot, 0) == -4) {
        gen_push_mm(cg, GR_ESP, local_disp(cg, (s4)local->value, 0));
    } else {
        int r = _alloc_free_ireg(cg, RM_ALL_INT, 0, nullptr);
        _load_int_oprnd(cg, r, local);
        gen_move_stack_ireg(cg, slot, r);
        _invalidate_iregs(cg, r, local);
        ireg_read_binding(cg, r, local);
        sw_clear(CUR(cg)->imask, r, SW(RS_LOCKED));
    }
    return cg->pass == CG_PASS_MEASURE ? (int)(cg->code_size - before) : (int)(cg->code - start);
}

// push reg / push imm / pop reg; the manager counts the words it pushed.
int gen_push_ireg(codegen_context* cg, int r)
{
    RM(cg)->pushed_words++;
    return gen_push(cg, ireg_id(r), cg->mci->sp_offset - 4, MF_STORE_STACK);
}
int gen_push_immediate(codegen_context* cg, s4 value)
{
    RM(cg)->pushed_words++;
    return gen_push_imm(cg, value, cg->mci->sp_offset - 4, MF_STORE_STACK);
}
int gen_pop_ireg(codegen_context* cg, int r)
{
    RM(cg)->pushed_words--;
    return gen_pop(cg, ireg_id(r), cg->mci->sp_offset, MF_LOAD);
}

// ---------------------------------------------------------------------------
// x87 stack
// ---------------------------------------------------------------------------

// fld dword/qword [esp + local position - adjustment].  A double occupies
// the local's two slots; its eight bytes start at the second slot, the one
// at the lower address (word 1 of a double parameter lies below word 0).
int gen_move_freg_local(codegen_context* cg, s4, s4 local, int is_double)
{
    s4 d = local_disp(cg, local, is_double ? 1 : 0);
    return is_double ? gen_move_fr8_mm(cg, GR_ESP, 0, 0, d, MF_LOAD) : gen_move_fr_mm(cg, GR_ESP, 0, 0, d, MF_LOAD);
}

// fild dword [esp + local position - adjustment]
int gen_move_fregi_local(codegen_context* cg, s4, s4 local)
{
    return gen_move_fri_mm(cg, GR_ESP, 0, 0, local_disp(cg, local, 0), SIZE_DWORD, MF_LOAD);
}

// fild qword/dword [address]
int gen_move_fregi_memimmediate(codegen_context* cg, s4, u4 address, int is_double)
{
    return gen_move_fri_mm(cg, 0, 0, 0, (s4)address, is_double ? 8 : SIZE_DWORD, MF_LOAD);
}

// fldz (kind 0), fld1 (kind 1), fld qword [float-constant table + 8] (kind 2)
int gen_move_freg_rawimmediate(codegen_context* cg, s4, s4 kind)
{
    if (kind == 0 || kind == 1)
        return gen_move_fr_imm(cg, kind);
    // The table holds 2.0 as a float at +8 (the doubles start at +12): a
    // qword load there would read 2.0f and the next word as one double.
    return gen_move_fr_mm(cg, 0, 0, 0, (s4)(uintptr_t)(_GET_FCONST_BASE() + 8), MF_LOAD);
}

// fld dword/qword [address]
int gen_move_freg_idximmediate(codegen_context* cg, s4, u4 address, int is_double)
{
    return is_double ? gen_move_fr8_mm(cg, 0, 0, 0, (s4)address, MF_LOAD)
                     : gen_move_fr_mm(cg, 0, 0, 0, (s4)address, MF_LOAD);
}

// fld dword/qword [0xDEADBEEF]; the constant goes into the method's data
// table, which patches the address field.  Written outside the scheduling
// window so that the field's address is final.
int gen_move_freg_genimmediate(codegen_context* cg, s4, u4 constant, int is_double)
{
    int scheduling = !(cg->flags & CG_SCHED_OFF);
    if ((cg->flags & CG_SCHED_WINDOW_OPEN) && scheduling) {
        cg->flags &= ~CG_SCHED_WINDOW_OPEN;
        cg->code = cs_bb_finalize(cg);
    }
    const s4 placeholder = (s4)0xDEADBEEF;
    int n = is_double ? gen_move_fr8_mm(cg, 0, 0, 0, placeholder, MF_LOAD)
                      : gen_move_fr_mm(cg, 0, 0, 0, placeholder, MF_LOAD);
    register_datatable(cg, is_double ? 4 : 3, reinterpret_cast<const u4*>((uintptr_t)constant), is_double ? 8 : 4,
                       cg->pass == CG_PASS_WRITE ? cg->code - 4 : nullptr);
    if (!(cg->flags & CG_SCHED_WINDOW_OPEN) && scheduling) {
        cg->flags |= CG_SCHED_WINDOW_OPEN;
        cs_bb_initialize(cg, cg->code);
    }
    return n;
}

// fld dword/qword [esp + slot position - adjustment]; add esp, 4 (8)
int gen_move_freg_stack(codegen_context* cg, int slot, s4, int is_double)
{
    s4 d = stack_disp(cg, slot, is_double);
    int n = is_double ? gen_move_fr8_mm(cg, GR_ESP, 0, 0, d, MF_LOAD) : gen_move_fr_mm(cg, GR_ESP, 0, 0, d, MF_LOAD);
    return n + gen_arithmetic_gr_i4(cg, ALU_ADD, GR_ESP, is_double ? 8 : 4);
}

// Bring a spilled operand-stack value back: push it; when it belongs below
// the top (target is not the old top), fstp it into place.
int gen_spillin_freg_stack(codegen_context* cg, s4 target, int slot, int is_double)
{
    s4 old = fp_top(cg);
    fp_top(cg)++;
    int n = gen_move_freg_stack(cg, slot, target, is_double);
    if (target != old) {
        n += gen_move_fr_fr_p(cg, target, fp_top(cg) - 1, 1);
        fp_top(cg)--;
        RM(cg)->fp_spill_count--;
    }
    return n;
}

// fst(p) dword/qword [esp + local position - adjustment]
int gen_move_local_freg_p(codegen_context* cg, s4 local, s4, int is_double, int pop)
{
    s4 d = local_disp(cg, local, is_double ? 1 : 0);
    u4 f = store_flags(cg, MF_STORE_LOCAL);
    return is_double ? gen_move_mm_fr8(cg, GR_ESP, 0, 0, d, pop, f) : gen_move_mm_fr(cg, GR_ESP, 0, 0, d, pop, f);
}
int gen_move_local_freg(codegen_context* cg, s4 local, s4 c, int is_double)
{
    return gen_move_local_freg_p(cg, local, c, is_double, 1);
}

// fst(p) into an operand-stack slot, lowering esp first when the slot lies below it.
int gen_move_stack_freg0(codegen_context* cg, int slot, s4, int is_double, int pop)
{
    int n = 0;
    s4 d = stack_disp(cg, slot, is_double);
    if (d < 0) {
        n += gen_arithmetic_gr_i4(cg, ALU_SUB, GR_ESP, -d);
        d = stack_disp(cg, slot, is_double);
    }
    u4 f = store_flags(cg, MF_STORE_STACK);
    return n + (is_double ? gen_move_mm_fr8(cg, GR_ESP, 0, 0, d, pop, f) : gen_move_mm_fr(cg, GR_ESP, 0, 0, d, pop, f));
}
int gen_move_stack_freg(codegen_context* cg, int slot, s4 c, int is_double)
{
    return gen_move_stack_freg0(cg, slot, c, is_double, 1);
}

// fxch between hardware st(0) and st(i) while the counters do not describe
// the hardware stack (during a spill of the stack bottom).
static int fxch_st(codegen_context* cg, int i)
{
    if (i == 0)
        return 0;
    return gen_xchg_fr_fr(cg, fp_top(cg) - 1, fp_top(cg) - 1 - i);
}

// Store the n deepest entries (counter values regs[], deepest first) into
// their operand-stack slots (a slot of -1: just drop the entry) and take
// them off the hardware stack, keeping
// the order of the entries above: each is exchanged with st(0), stored with
// a pop, and the displaced top value is rotated back to st(0) (fxch st(1),
// st(2), ... st(d - 2)).  The counters are left as they are: the bottom
// entries become holes of the model.
int gen_spillout_stack_freg(codegen_context* cg, int n, const int* slots, const s4* regs, const int* doubles)
{
    int len = 0;
    for (int k = 0; k < n; k++) {
        int depth = fp_top(cg) - regs[k];          // hardware entries from this one to the top
        len += fxch_st(cg, depth - 1);
        if (slots[k] >= 0) {
            len += gen_move_stack_freg(cg, slots[k], fp_top(cg) - 1, doubles[k]);
            RM(cg)->fp_spill_count++;
        } else {
            len += gen_pop_fr(cg);   // nothing to keep: dropped
        }
        for (int i = 1; i <= depth - 2; i++)
            len += fxch_st(cg, i);
    }
    return len;
}

// fxch a, b
int gen_swap_freg_freg(codegen_context* cg, s4 a, s4 b)
{
    if (a == b)
        return 0;
    return gen_xchg_fr_fr(cg, a, b);
}

// fld st(src) into the new top dst (the manager has already raised the top
// counter for dst, so the source is one deeper than its counter says), or
// fst st(dst) from the top.
int gen_move_freg_freg(codegen_context* cg, s4 dst, s4 src)
{
    if (dst == fp_top(cg) - 1)
        src++;
    return gen_move_fr_fr_p(cg, dst, src, 0);
}

// fstp st(0): drop the top
int gen_pop_freg(codegen_context* cg)
{
    fp_top(cg)--;
    return gen_pop_fr(cg);
}

// Room on the top without a value
int gen_push_freg(codegen_context* cg)
{
    fp_top(cg)++;
    return gen_push_fr(cg);
}
