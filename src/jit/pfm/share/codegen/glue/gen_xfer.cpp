// The interpreter-to-compiled transfer frame.
//
// A method compiled for a transfer (compile-context flag MCC_MMI2JIT) gets a
// transfer entry block from the front end; its code starts at the position
// the block-list generator notes in the transfer record (TR_CLEARED), with
// the frame fully allocated, every local in its frame slot and no register
// holding anything.  After the writing pass `set_rmmi_info` records that
// entry and, for every interpreter local, the frame slot the compiled code
// reads it from (through the shrinking map and the slot colouring).
//
// At run time the interpreter calls the transfer entry (_mmi2jit_xfer) with
// its transfer record (vm_xfer_state, vm_abi.h) at ebp - 0x20.  Below the
// record the interpreter has laid out the compiled frame's argument words and
// its return-address slot E; the compiled frame is built downward from E:
//
//   E + 4 .. E + 4 nargs   arguments (interpreter locals 0 .. nargs-1)
//   E                      return address into the interpreter's stub
//   E - 20 .. E - 1        exception registration (methods with handlers)
//   E - 8 / E - 28         synchronization node {link, lock}
//   E - FSWL ..            callee-saved register save area
//   E - frame size ..      locals
//   below                  mmi_xfer_resume, popped by the entry
//
// `mmiVerifyTpAndGetWorkSize` checks the record against the interpreter's
// state and answers where the frame builder may run; `mmiGenerateJitFrame`
// builds the frame and returns the mmi_xfer_resume address.
#include <string.h>

#include "codegen/cg_core.h"
#include "codegen/glue/gen_glue.h"
#include "codegen/regman/reg_manager.h"
#include "codegen/regman/reg_records.h"
#include "driver/driver.h"
#include "frontend/qgen.h"

// The committed-code registry belongs to the driver; the code generator's
// test binaries link without it.
rcc* search_committed_code0(u4 pc) __attribute__((weak));

namespace {

constexpr u4 SAVE_ORDER[4] = {GR_EBP, GR_EBX, GR_ESI, GR_EDI};

u4 word_at(u4 address) { return *reinterpret_cast<const u4*>(address); }
void set_word(u4 address, u4 value) { *reinterpret_cast<u4*>(address) = value; }

rcc* committed_code(u4 pc) { return &search_committed_code0 != nullptr ? search_committed_code0(pc) : nullptr; }

// The compiled local that holds interpreter local i after shrinking and
// colouring, or -1 when none does.
s4 compiled_local(method_compile_context* m, u4 i)
{
    s4* map = mcc_transfer_map(m);
    if (map == nullptr)
        return i < m->local_count ? (s4)i : -1;
    u4 count = mcc_transfer_map_count(m);
    if (i >= count)
        return -1;
    s4 s = map[i];
    u2* alias = mcc_alias_table(m);
    if (s < 0 && alias != nullptr && alias[i] < count)
        s = map[alias[i]];
    return s;
}

// Whether compiled local s has a frame slot in the writing pass: arguments
// always, other locals when the measuring pass saw them used.
bool has_frame_slot(codegen_context* cg, s4 s)
{
    if (s < 0 || s >= (s4)cg->m->local_count)
        return false;
    return s < (s4)cg->mb->args_size || (cg->local_table[s] >> 16) != 0;
}

// Offset from E of interpreter local i's slot, or -1 (not carried); `map`
// is scratch of one entry per interpreter local.
s4 transfer_offset(codegen_context* cg, u4 i, s4* map)
{
    method_compile_context* m = cg->m;
    s4 s = compiled_local(m, i);
    if (!has_frame_slot(cg, s))
        return -1;
    if (mcc_transfer_map(m) == nullptr)
        return C_Style_local(cg, s, 0);
    if (!set_rmmi_locals_map_with_coloring(cg, m, nullptr, map, nullptr, (int)i))
        return -1;
    return map[i];
}

}  // namespace

rmmi_info* rmmi_info_of(const methodblock* mb)
{
    if (mb == nullptr || mb->compiled_code_info == nullptr)
        return nullptr;
    return reinterpret_cast<rmmi_info*>(word_at((u4)(uintptr_t)mb->compiled_code_info + RMMI_GLUE_WORD));
}

void set_rmmi_info(codegen_context* cg)
{
    method_compile_context* m = cg->m;
    methodblock* mb = cg->mb;
    if (m == nullptr || mb->compiled_code_info == nullptr)
        return;
    u4 n = mb->nlocals;
    void* piece = nullptr;
    jit_code_mem_alloc(&piece, m, rmmi_info_size(n));
    if (piece == nullptr)
        return;
    auto* r = static_cast<rmmi_info*>(piece);
    memset(r, 0, rmmi_info_size(n));
    r->entry = m->frontend_words[TR_CLEARED];
    r->pc = m->transfer_point;
    r->saved_regs = cg->mci->saved_regs;
    r->frame_size = (u2)glue_frame_size(cg);
    r->handler = mb->exception_table_length != 0 ? (u4)(uintptr_t)cg->mci->handler_entry : 0;
    s4 try_region = -1;
    u4 x = m->frontend_words[TR_ENTRY];
    if (x < m->bb_count && m->bb_table[x] != nullptr)
        try_region = m->bb_table[x]->try_region;
    r->try_index = (u1)(int8_t)try_region;
    // A try region the frame word cannot name, or no transfer entry, leaves
    // the record without a transfer point: every transfer is refused.
    if (try_region < -1 || try_region > 127 || r->entry == 0)
        r->pc = 0;
    s4* map = static_cast<s4*>(jit_wmem_alloc(m->pool1, 4 * n + 4));
    for (u4 i = 0; i < n; i++) {
        s4 offset = transfer_offset(cg, i, map);
        r->local_offset[i] = offset == -1 || offset < -0x8000 || offset > 0x7FFF ? RMMI_NO_LOCAL : (u2)offset;
    }
    set_word((u4)(uintptr_t)mb->compiled_code_info + RMMI_GLUE_WORD, (u4)(uintptr_t)r);
}

int is_existence_of_transfer_point(methodblock* mb, u4 transfer_point)
{
    rmmi_info* r = rmmi_info_of(mb);
    return r != nullptr && transfer_point != 0 && r->pc == transfer_point ? 1 : 0;
}

// The transfer entry block starts with every local in its frame slot, placed
// there by the frame builder at the slot the compiled code reads: the record
// already resolves the shrinking map and the slot colouring, so no local has
// to be copied to an alias slot here.
void gen_copy_data_for_alias_local(codegen_context*) {}
void gen_copy_data_for_alias_local_nshrinklvar(codegen_context*) {}

extern "C" {

// a = E, the state area = the interpreter's transfer record, locals and pc
// its frame's, interp_stack = the address of the entry's return address
// (E - 4: the interpreter calls the entry right below E).
__attribute__((force_align_arg_pointer)) u4
mmiVerifyTpAndGetWorkSize(u4 a, u4 state_area, u4 locals, u4 pc, u4 interp_stack)
{
    const vm_xfer_state* xs = reinterpret_cast<const vm_xfer_state*>(state_area);
    if (xs == nullptr || xs->method == nullptr || xs->frame == nullptr)
        return 0;
    methodblock* mb = xs->method;
    const rmmi_info* r = rmmi_info_of(mb);
    if (r == nullptr || r->pc == 0 || r->pc != pc || (u4)(uintptr_t)xs->pc != pc)
        return 0;
    if (!(mb->access & ACC_COMPILED) || committed_code(r->entry) == nullptr)
        return 0;
    u4 e = xs->return_slot;
    if (a != e || interp_stack + 4 != e || xs->frame->method != mb
        || (u4)(uintptr_t)xs->frame->locals != locals)
        return 0;
    // A synchronized method's frame hands its lock over with it.
    if ((mb->access & ACC_SYNCHRONIZED) && xs->monitor == 0)
        return 0;
    // The frame builder runs below the resume words, with a 16-byte aligned
    // stack at its call (the entry pushes seven argument words).
    u4 resume = e - r->frame_size - sizeof(mmi_xfer_resume);
    return ((resume - 12) & ~15u) + 12;
}

__attribute__((force_align_arg_pointer)) u8
mmiGenerateJitFrame(methodblock* mb, u4 registration, u4 state_area, u4 operand_area, u4 locals, u4 pc,
                    u4 interp_stack)
{
    (void)operand_area;
    (void)pc;
    const vm_xfer_state* xs = reinterpret_cast<const vm_xfer_state*>(state_area);
    const rmmi_info* r = rmmi_info_of(mb);
    u4 e = xs->return_slot;
    u4 n = mb->nlocals;
    // The interpreter's registers as the entry pushed them (ebx, esi, edi
    // downward from interp_stack); the frame below overwrites them.
    u4 ebx = word_at(interp_stack - 4);
    u4 esi = word_at(interp_stack - 8);
    u4 edi = word_at(interp_stack - 12);
    u4 ebp = xs->caller_ebp;
    rcc* code = committed_code(r->entry);
    u4 fswl = code != nullptr ? (code->md[0] & 0xFFFFFF) : 0;

    u4 head = registration;
    bool handlers = mb->exception_table_length != 0;
    if (handlers) {
        // The method's own registration, as its prologue would link it.
        u4 rec = e - 16;
        set_word(rec - 4, word_at(registration - 4));
        set_word(rec, registration);
        set_word(rec + 4, r->handler);
        set_word(rec + 8, 0);
        set_word(rec + 12, (u4)(s4)(int8_t)r->try_index);
        head = rec;
    }
    if (mb->access & ACC_SYNCHRONIZED) {
        // The lock moves into the frame's synchronization node, linked into
        // the registration the entry stub links it to.
        u4 node = handlers ? e - 28 : e - 8;
        set_word(node, word_at(registration + REG_MONITORS));
        set_word(node + 4, xs->monitor);
        set_word(registration + REG_MONITORS, node);
    }
    // The save area restores the interpreter's registers when the method
    // returns; ebp leads frame walkers to the interpreter's transition area.
    u4 values[4] = {ebp, ebx, esi, edi};
    u4 slot = e - fswl;
    for (u4 k = 0; k < 4; k++) {
        if (!(r->saved_regs & reg_used_bit[SAVE_ORDER[k]]))
            continue;
        set_word(slot, values[k]);
        slot += 4;
    }
    const u4* from = reinterpret_cast<const u4*>(locals);
    for (u4 i = 0; i < n; i++)
        if (r->local_offset[i] != RMMI_NO_LOCAL)
            set_word(e + (u4)(s4)(int16_t)r->local_offset[i], from[i]);

    auto* resume = reinterpret_cast<mmi_xfer_resume*>(e - r->frame_size - sizeof(mmi_xfer_resume));
    resume->ebx = ebx;
    resume->esi = esi;
    resume->edi = edi;
    resume->registration = head;
    resume->eax = 0;
    resume->ebp = ebp;
    resume->entry = r->entry;
    return ((u8)n << 32) | (u4)(uintptr_t)resume;
}

}  // extern "C"
