// Inline monitor enter and exit (thin-lock fast paths) and their slow paths.
//
// Enter: one compare-and-exchange takes a free lock (expected: the object's
// low byte alone; new: the thread id with that byte); a lock this thread
// already holds with a count below 255 gets its count byte incremented;
// everything else (another owner, inflated, count 255) calls the VM.
// Exit: a lock held once by this thread is released inline (then, when the
// contention flag is set, the VM wakes the waiters); a nested hold lowers
// the count byte; everything else calls the VM's exit.
#include "codegen/gen/gen_sync.h"

#include <stdio.h>
#include <stdlib.h>

#include "driver/driver.h"

// The run-time exit of a thin lock the fast path could not release
// (run-time support; arguments object, EE, caller's ebp, return-address slot).
extern "C" int _jit_monitorExitQuicker(u4 object, EE* ee, u4 ebp, u4 stub_frame);

// Weak: binaries that link the code generator without the driver and the
// run-time support (unit tests) still link; a slow path then ends the code
// generation softly instead of calling address 0.
#pragma weak _jit_monitorExitQuicker
#pragma weak orva_processor_num

namespace {

int writing(codegen_context* cg) { return cg->pass == CG_PASS_WRITE; }

u4 id(u4 reg) { return reg & REG_ID_MASK; }

int caller_saved(u4 reg) { return id(reg) == GR_EAX || id(reg) == GR_ECX || id(reg) == GR_EDX; }

// Aims the 8-bit displacement of the short jump that ends just before
// `site` at `target` (writing pass only; measuring-pass sites are scratch).
void aim_short(codegen_context* cg, u1* site, u1* target)
{
    if (!writing(cg) || site == nullptr)
        return;
    s4 rel = (s4)(target - site);
    if (rel != (s4)(int8_t)rel) {
        cg_internal_error("gen_sync: short jump out of range (%d)", (int)rel);
    }
    site[-1] = (u1)rel;
}

// Aims the 32-bit displacement of the near jump that ends at `site`.
void aim_near(codegen_context* cg, u1* site, u1* target)
{
    if (!writing(cg) || site == nullptr)
        return;
    cg_write32(site - 4, (u4)(target - site));
}

// Position after the instruction just emitted (null in the measuring pass).
u1* site_here(codegen_context* cg) { return writing(cg) ? cg->code : nullptr; }

// Multiprocessor: bus-locked compare-and-exchange and release.
int multiprocessor(void) { return &orva_processor_num == nullptr || orva_processor_num > 1; }

void lock_prefix_if_mp(codegen_context* cg)
{
    if (multiprocessor())
        _gen_lock_prefix(cg);
}

// The release of a lock held once: bits 8..31 cleared, the low byte kept.
void gen_thin_release(codegen_context* cg, u4 o)
{
    if (multiprocessor()) {
        _gen_lock_prefix(cg);
        _gen_ARITHMETIC_xmm_i4(cg, ALU_AND, o, 0, 0, SYNC_LOCK_WORD, 0xFF, SIZE_DWORD);
    } else {
        _gen_move_mm_i4(cg, o, 0, 0, SYNC_OWNER_HALF, 0, SIZE_WORD);
    }
}

u4 service_address(void* fn, const char* name)
{
    if (fn == nullptr)
        cg_service_missing(name);
    return (u4)(uintptr_t)fn;
}

} // namespace

u4 sync_reg_bit(u4 reg)
{
    switch (id(reg)) {
    case GR_EAX: return 0x01;
    case GR_EDX: return 0x02;
    case GR_ECX: return 0x04;
    case GR_EBX: return 0x08;
    case GR_EBP: return 0x10;
    case GR_ESI: return 0x20;
    case GR_EDI: return 0x40;
    default: return 0;
    }
}

void init_slow_sync(codegen_context* cg) { cg->mci->slow_sync_state = 0; }

slow_sync_info* register_slow_sync(codegen_context* cg, u4 obj, s4 ee, s4 scratch, u1* first_site,
                                   u1* second_site, u1* return_address, u4 live_mask, u4 kind)
{
    slow_sync_info* s = static_cast<slow_sync_info*>(jit_wmem_alloc(cg->m->pool1, sizeof(slow_sync_info)));
    if (s == nullptr)
        cg_service_missing("work memory for a slow synchronization path");
    s->obj_reg = (u2)id(obj);
    s->ee_reg = (s2)(ee < 0 ? -1 : (s4)id((u4)ee));
    s->scratch_reg = scratch < 0 ? -1 : (s4)id((u4)scratch);
    s->first_site = first_site;
    s->kind = kind;
    s->regs = save_register_info(cg);
    s->second_site = second_site;
    s->return_address = return_address;
    s->live_mask = live_mask;
    s->sp_offset = cg->mci->sp_offset;
    s->pad = 0;
    s->next = reinterpret_cast<slow_sync_info*>((uintptr_t)cg->mci->slow_sync_state);
    cg->mci->slow_sync_state = (u4)(uintptr_t)s;
    return s;
}

void gen_BBmonitor_enter(codegen_context* cg, u4 obj)
{
    u4 o = id(obj);
    jit_assert(o == GR_EAX || o == GR_ECX || o == GR_EDX);
    u4 s;
    if (o == GR_EAX) {
        // eax receives the expected lock word: the object moves to edx.
        _gen_move_gr_gr(cg, GR_EDX, GR_EAX);
        o = GR_EDX;
        s = GR_ECX;
    } else {
        s = o == GR_EDX ? GR_ECX : GR_EDX;
    }
    _gen_get_ee(cg, s);
    // Expected: unlocked with the object's own low byte; new: our id with it.
    _gen_movezx_gr_xmm(cg, GR_EAX, o, 0, 0, SYNC_LOCK_WORD, SIZE_BYTE);
    _gen_move_gr_mm(cg, s, s, 0, 0, EE_THIN_LOCK_ID);
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_OR, s, GR_EAX, SIZE_DWORD);
    lock_prefix_if_mp(cg);
    _gen_cmpxchg_mm_gr(cg, o, 0, 0, SYNC_LOCK_WORD, s);
    _gen_jmpcc(cg, COND_EQ, UNRESOLVED_TARGET, 1);
    u1* done_site = site_here(cg);
    // eax now holds the lock word found: ours with a count below 255 when
    // it differs from (id | low) in the count byte only, by less than 0xFF.
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_XOR, GR_EAX, s, SIZE_DWORD);
    _gen_cmp_gr_i4(cg, GR_EAX, 0xFF00);
    _gen_jmpcc(cg, COND_AE, UNRESOLVED_TARGET, 4);
    u1* slow_site = site_here(cg);
    _gen_ARITHMETIC_xmm_i4(cg, ALU_ADD, o, 0, 0, SYNC_COUNT_BYTE, 1, SIZE_BYTE);
    u1* done = site_here(cg);
    register_slow_sync(cg, o, -1, (s4)s, nullptr, slow_site, done,
                       sync_reg_bit(o) | sync_reg_bit(GR_EAX) | sync_reg_bit(s), SLOW_SYNC_ENTER);
    aim_short(cg, done_site, done);
}

void gen_BBmonitor_exit(codegen_context* cg, u4 obj)
{
    u4 o = id(obj);
    jit_assert(o == GR_EAX || o == GR_ECX || o == GR_EDX);
    u4 e = o == GR_EDX ? GR_EAX : GR_EDX;
    u4 t = o == GR_ECX ? GR_EAX : GR_ECX;
    _gen_get_ee(cg, e);
    _gen_move_gr_mm(cg, t, o, 0, 0, SYNC_LOCK_WORD);
    _gen_ARITHMETIC_gr_mm(cg, ALU_XOR, t, e, 0, 0, EE_THIN_LOCK_ID);
    _gen_cmp_gr_i4(cg, t, 0xFF);
    _gen_jmpcc(cg, COND_A, UNRESOLVED_TARGET, 1);
    u1* nested_site = site_here(cg);
    // Held once by this thread: release, then wake waiters through the VM.
    gen_thin_release(cg, o);
    _gen_ARITHMETIC_xmm_i4(cg, ALU_TEST, o, 0, 0, SYNC_CONTENTION_BYTE, SYNC_CONTENTION_BIT, SIZE_BYTE);
    _gen_jmpcc(cg, COND_NE, UNRESOLVED_TARGET, 4);
    u1* first_site = site_here(cg);
    _gen_jmpcc(cg, COND_ALWAYS, UNRESOLVED_TARGET, 1);
    u1* done_site = site_here(cg);
    aim_short(cg, nested_site, site_here(cg));
    // Above 0xFFFF: another owner, inflated, or not locked at all.
    _gen_cmp_gr_i4(cg, t, 0xFFFF);
    _gen_jmpcc(cg, COND_A, UNRESOLVED_TARGET, 4);
    u1* second_site = site_here(cg);
    _gen_ARITHMETIC_xmm_i4(cg, ALU_SUB, o, 0, 0, SYNC_COUNT_BYTE, 1, SIZE_BYTE);
    u1* done = site_here(cg);
    register_slow_sync(cg, o, (s4)e, -1, first_site, second_site, done,
                       sync_reg_bit(o) | sync_reg_bit(e) | sync_reg_bit(t), SLOW_SYNC_EXIT);
    aim_short(cg, done_site, done);
}

// One slow path.  The object register (and, for the exits, the EE register)
// is kept across the VM calls when the call may clobber it: the register
// state restored at the return names them as holding the same values.
static void gen_one_slow_sync(codegen_context* cg, slow_sync_info* s)
{
    if (cg->mci->sp_offset != s->sp_offset) {
        cg->mci->sp_offset = s->sp_offset;
        cg_sp_changed(cg);
    }
    u4 o = s->obj_reg;
    int keep_o = caller_saved(o);
    u1* join_site = nullptr;
    if (s->first_site != nullptr || s->kind != SLOW_SYNC_ENTER) {
        // Released inline with the contention flag set: wake the waiters.
        aim_near(cg, s->first_site, site_here(cg));
        restore_register_info(cg, s->regs);
        u4 e = (u4)s->ee_reg;
        if (keep_o)
            _gen_push(cg, o);
        _gen_push(cg, o);
        _gen_push(cg, e);
        _gen_call_(cg, service_address((void*)vm.monitorFlatExitForJIT,
                                    "vm.monitorFlatExitForJIT"));
        _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ESP, 8, SIZE_DWORD);
        if (keep_o)
            _gen_pop(cg, o);
        _gen_jmpcc(cg, COND_ALWAYS, UNRESOLVED_TARGET, 1);
        join_site = site_here(cg);
    }
    aim_near(cg, s->second_site, site_here(cg));
    restore_register_info(cg, s->regs);
    if (s->kind == SLOW_SYNC_ENTER) {
        if (keep_o)
            _gen_push(cg, o);
        _gen_push(cg, o);
        _gen_push_ee(cg, o == GR_EAX ? GR_ECX : GR_EAX);
        _gen_call_(cg, service_address((void*)vm.monitorEnter2,
                                    "vm.monitorEnter2"));
        _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ESP, 8, SIZE_DWORD);
        if (keep_o)
            _gen_pop(cg, o);
    } else {
        u4 e = (u4)s->ee_reg;
        int keep_e = s->kind == SLOW_SYNC_EXIT || caller_saved(e);
        if (keep_o)
            _gen_push(cg, o);
        if (keep_e)
            _gen_push(cg, e);
        // _jit_monitorExitQuicker(object, EE, caller's ebp, return-address slot)
        _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, GR_ESP, 16, SIZE_DWORD);
        _gen_move_mm_gr(cg, GR_ESP, 0, 0, 4, e, SIZE_DWORD);
        _gen_move_mm_gr(cg, GR_ESP, 0, 0, 0, o, SIZE_DWORD);
        _gen_lea_gr_mm(cg, GR_EDX, GR_ESP, 0, 0, -4);
        _gen_move_mm_gr(cg, GR_ESP, 0, 0, 8, GR_EBP, SIZE_DWORD);
        _gen_move_mm_gr(cg, GR_ESP, 0, 0, 12, GR_EDX, SIZE_DWORD);
        _gen_call_(cg, service_address((void*)&_jit_monitorExitQuicker, "_jit_monitorExitQuicker"));
        _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ESP, 16, SIZE_DWORD);
        if (keep_e)
            _gen_pop(cg, e);
        if (keep_o)
            _gen_pop(cg, o);
        // A pending exception (IllegalMonitorStateException) is thrown
        // here; compared in memory so that no register is disturbed.
        _gen_cmp_mm_imm(cg, e, 0, 0, SYNC_EE_PENDING, 0, SIZE_DWORD);
        // The compare is made: compare kind 1 asks the raise emitter for none
        // (kind 0 would emit a compare of its own on register 0).
        _gen_test_and_throw_exception(cg, COND_NE, 1, 0, 0, 0, 0, 0xE000000Eu, cg->mb, 0);
    }
    aim_short(cg, join_site, site_here(cg));
    restore_register_info(cg, s->regs);
    _gen_jmpcc(cg, COND_ALWAYS, writing(cg) ? (u4)(uintptr_t)s->return_address : UNRESOLVED_TARGET, 4);
}

void gen_slow_sync_target(codegen_context* cg)
{
    for (slow_sync_info* s = reinterpret_cast<slow_sync_info*>((uintptr_t)cg->mci->slow_sync_state); s != nullptr;
         s = s->next)
        gen_one_slow_sync(cg, s);
}
