// Native-method glue: the committed code of a native method.
//
// It has the head of any compiled method (interpreter entry glue,
// pre-header), so the interpreter and compiled callers call a native method
// like a compiled one.  The body receives the compiled calling convention
// (the first three integer-class argument words in eax, edx, ecx, the others
// in the caller's area), builds a C frame with the JNI arguments (the EE as
// environment, the class or receiver and every reference as the address of a
// stack word that holds it, 0 for null; a long or double as one 8-byte
// little-endian value), links a transition record on the EE so that stack
// walks find the glue, saves and clears the interpreter frame's JNI words,
// calls the function through the method block's native code word (binding it
// on the spot when the word is 0), narrows the result, undoes the state and
// raises an exception the native left pending.
//
// Frame, offsets from E (esp at the entry point), s = 12 for a synchronized
// method, k spill slots, n JNI words after the environment,
// FS = s + 4k + 4n + 44, Q = -(40 + s + 4k):
//
//   E-4, E-8, E-12     synchronized: lock object, monitor-list link, caller's ebp
//   E-s-4-4i           spill slot i (0: class or receiver; then the register words)
//   E+Q+36             saved ebx
//   E+Q+20 .. E+Q+32   transition record {prev|1, (E-FS-4)|1, ebp, caller's ebp}
//   E+Q+16             E-FS-4
//   E+Q+12             the EE
//   E+Q, +4, +8        interpreter frame words +44, +8, +20 saved for the call
//   E-FS+4+4j          JNI word j
//   E-FS               the environment pointer
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "codegen/cg_core.h"
#include "codegen/glue/gen_glue.h"
#include "driver/driver.h"
#include "lib/descriptor.h"

// The compiled-code exception handler: the raise of a pending exception
// needs it registered, which the run-time support does when it is linked in.
extern "C" void _orva_ExceptionHandler(void) __attribute__((weak));

namespace {

constexpr u4 SIG_MAX_WORDS = 256;

// What the glue knows about one native method.
struct native_frame {
    methodblock* mb;
    int is_static;
    int sync;
    u4 args;          // argument words, receiver included
    u4 n;             // JNI words after the environment pointer
    s4 s;             // 12 for a synchronized method
    u4 k;             // spill slots
    s4 fs;            // frame size
    s4 q;             // base of the saved-state block
    int ret;          // return character
    s2 spill_of[SIG_MAX_WORDS];   // per Java argument word: its spill slot, or -1
};

s4 at(codegen_context* cg, s4 x) { return x - cg->mci->sp_offset; }

// The return type's first letter ('[' for an array), 0 when the descriptor
// is malformed.
int return_char(methodblock* mb) { return (u1)desc_return_of(mb->signature).letter; }

// Spill walk shared by counting and emitting; records each word's slot.
int spill_walk(codegen_context* cg, methodblock* mb, int emit, s4 base, s2* spill_of)
{
    static const u4 regs[3] = {GR_EAX, GR_EDX, GR_ECX};
    u4 args = mb->args_size;
    if (spill_of != nullptr)
        for (u4 i = 0; i < SIG_MAX_WORDS; i++)
            spill_of[i] = -1;
    int count = 0;
    if (mb->access & GLUE_ACC_STATIC) {
        if (emit)
            _gen_move_mm_i4(cg, GR_ESP, 0, 0, at(cg, base - 4), (s4)(uintptr_t)mb->clazz, SIZE_DWORD);
        count = 1;
    }
    if (args == 0)
        return count;
    int used = 0;
    u4 words = 0;
    auto store = [&](u4 w) {
        if (emit)
            _gen_move_mm_gr(cg, GR_ESP, 0, 0, at(cg, base - 4 - 4 * count), regs[used], SIZE_DWORD);
        if (spill_of != nullptr && w < SIG_MAX_WORDS)
            spill_of[w] = (s2)count;
        used++;
        count++;
    };
    if (!(mb->access & GLUE_ACC_STATIC)) {
        if (emit)
            _gen_move_mm_gr(cg, GR_ESP, 0, 0, at(cg, base - 4), GR_EAX, SIZE_DWORD);
        if (spill_of != nullptr)
            spill_of[0] = 0;
        count = 1;
        used = 1;
        words = 1;
    }
    desc_walk walk = desc_begin(mb->signature);
    while (words < args && used <= 2) {
        desc_item t = desc_next(&walk);
        if (t.kind <= DK_MALFORMED)
            break;
        if (desc_is_float(t.kind)) {
            words += t.words;
        } else if (t.kind == DK_LONG) {
            store(words);
            if (used < 3)
                store(words + 1);
            words += 2;
        } else {
            store(words);
            words += 1;
        }
    }
    return count;
}

// Checks the parameters against the argument size: every parameter well
// formed up to ')', the words adding up.  0 when sound.  (The return type has
// its own check and message.)
int check_signature(methodblock* mb)
{
    u4 words = (mb->access & GLUE_ACC_STATIC) ? 0 : 1;
    desc_walk walk = desc_begin(mb->signature);
    desc_item t = desc_next(&walk);
    for (; t.kind > DK_MALFORMED; t = desc_next(&walk))
        words += t.words;
    if (t.kind == DK_MALFORMED)
        return 1;
    return words != mb->args_size || words >= SIG_MAX_WORDS;
}

// Forward conditional jump, near form, patched by `land`.
u1* jump_near(codegen_context* cg, int cond)
{
    _gen_jmpcc(cg, cond, UNRESOLVED_TARGET, 2);
    return cg->code;
}

void land(codegen_context* cg, u1* after_jump)
{
    cg_write32(after_jump - 4, (u4)(cg->code - after_jump));
}

// Short forward jump over code of known small size, patched by land_short.
u1* jump_short(codegen_context* cg, int cond)
{
    cg->code[0] = (u1)(0x70 + (cond == COND_EQ ? 0x4 : 0x5));
    cg->code[1] = 0;
    cg_emitted(cg, 2);
    return cg->code;
}

void land_short(codegen_context* cg, u1* after_jump)
{
    s4 d = (s4)(cg->code - after_jump);
    if (d > 127) {
        cg_internal_error("gen_JNInativemethod_glue: short jump out of range (%d)", (int)d);
    }
    after_jump[-1] = (u1)d;
}

// The stack depth changed by something other than a push, pop or esp
// arithmetic at this position (a path entered by a jump).
void set_depth(codegen_context* cg, s4 sp)
{
    cg->mci->sp_offset = (s2)sp;
    cg_sp_changed(cg);
}

// Source of Java argument word w.
s4 place(codegen_context* cg, const native_frame* f, u4 w)
{
    (void)cg;
    if (w < SIG_MAX_WORDS && f->spill_of[w] >= 0)
        return -f->s - 4 - 4 * f->spill_of[w];
    return 4 * (s4)(f->args - w);
}

void load_word(codegen_context* cg, u4 reg, s4 x) { _gen_move_gr_mm(cg, reg, GR_ESP, 0, 0, at(cg, x)); }
void store_word(codegen_context* cg, s4 x, u4 reg) { _gen_move_mm_gr(cg, GR_ESP, 0, 0, at(cg, x), reg, SIZE_DWORD); }

void marshal_arguments(codegen_context* cg, const native_frame* f)
{
    u4 j = 1;
    u4 w = f->is_static ? 0 : 1;
    auto r = [](u4 jj) { return (jj & 1) ? GR_ECX : GR_EDX; };
    auto dst = [&](u4 jj) { return -f->fs + 4 + 4 * (s4)jj; };
    desc_walk walk = desc_begin(f->mb->signature);
    for (desc_item t = desc_next(&walk); t.kind > DK_MALFORMED; t = desc_next(&walk)) {
        if (t.words == 2) {
            load_word(cg, r(j + 1), place(cg, f, w + 1));
            load_word(cg, r(j), place(cg, f, w));
            store_word(cg, dst(j), r(j + 1));
            store_word(cg, dst(j + 1), r(j));
            j += 2;
            w += 2;
        } else if (t.kind == DK_REF) {
            s4 x = place(cg, f, w);
            _gen_ARITHMETIC_xgr_xgr(cg, ALU_XOR, r(j), r(j), SIZE_DWORD);
            _gen_cmp_mm_i4(cg, GR_ESP, at(cg, x), 0);
            u1* over = jump_short(cg, COND_EQ);
            _gen_lea_gr_mm(cg, r(j), GR_ESP, 0, 0, at(cg, x));
            land_short(cg, over);
            store_word(cg, dst(j), r(j));
            j += 1;
            w += 1;
        } else {
            load_word(cg, r(j), place(cg, f, w));
            store_word(cg, dst(j), r(j));
            j += 1;
            w += 1;
        }
    }
}

// Puts back the interpreter frame words and unlinks the transition record.
// Uses eax, ecx, edx; leaves ecx = the EE.
void undo_native_state(codegen_context* cg, const native_frame* f)
{
    load_word(cg, GR_ECX, f->q + 12);
    _gen_move_gr_mm(cg, GR_EAX, GR_ECX, 0, 0, EE_CURRENT_FRAME);
    load_word(cg, GR_EDX, f->q);
    _gen_move_mm_gr(cg, GR_EAX, 0, 0, JF_JNI_CRITICAL, GR_EDX, SIZE_DWORD);
    load_word(cg, GR_EDX, f->q + 4);
    _gen_move_mm_gr(cg, GR_EAX, 0, 0, JF_JNI_TOP, GR_EDX, SIZE_DWORD);
    load_word(cg, GR_EDX, f->q + 8);
    _gen_move_mm_gr(cg, GR_EAX, 0, 0, JF_JNI_FRAMES, GR_EDX, SIZE_DWORD);
}

void unlink_record(codegen_context* cg, const native_frame* f)
{
    // The chain head goes back to the previous record: word 0 without its
    // tag bits.
    load_word(cg, GR_EDX, f->q + 20);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_AND, GR_EDX, ~3, SIZE_DWORD);
    _gen_move_mm_gr(cg, GR_ECX, 0, 0, EE_TRANSITION, GR_EDX, SIZE_DWORD);
}

// Registers the raise paths restore before raising: ebx always, and ebp of
// a synchronized method (it holds E for the synchronization stubs).
void restore_for_raise(codegen_context* cg, const native_frame* f)
{
    load_word(cg, GR_EBX, f->q + 36);
    if (f->sync)
        load_word(cg, GR_EBP, -12);
}

}  // namespace

// ---------------------------------------------------------------------------
// Exported pieces
// ---------------------------------------------------------------------------
u4 getNativeMethodGlueSize(methodblock* mb)
{
    u4 size = 26 * (u4)mb->args_size + 374;
    if (mb->access & GLUE_ACC_SYNCHRONIZED)
        size = 26 * (u4)mb->args_size + 419;
    if (glue_profiler_flags() & 1)
        size += 67;
    // The near branch to the binding path and the state restore before a
    // link-error raise.
    return size + 48;
}

int spill_JNI_register_args(codegen_context* cg, methodblock* mb, int emit, s4 base)
{
    return spill_walk(cg, mb, emit, base, nullptr);
}

int native_exit_kind(int ret)
{
    switch (ret) {
    case 'B': case 'C': case 'L': case 'S': case 'Z': case '[':
        return 'I';
    case 'F':
        return 'D';
    default:
        return ret;
    }
}

void gen_JNI_result_conversion(codegen_context* cg, int ignored, int ret)
{
    (void)ignored;
    switch (ret) {
    case 'B':
        _gen_SHIFT_gr_i4(cg, SHIFT_SHL, GR_EAX, 24);
        _gen_SHIFT_gr_i4(cg, SHIFT_SAR, GR_EAX, 24);
        break;
    case 'S':
        _gen_SHIFT_gr_i4(cg, SHIFT_SHL, GR_EAX, 16);
        _gen_SHIFT_gr_i4(cg, SHIFT_SAR, GR_EAX, 16);
        break;
    case 'Z':
        _gen_ARITHMETIC_xgr_i4(cg, ALU_AND, GR_EAX, 0xFF, SIZE_DWORD);
        break;
    case 'C':
        _gen_ARITHMETIC_xgr_i4(cg, ALU_AND, GR_EAX, 0xFFFF, SIZE_DWORD);
        break;
    case 'I': case 'J': case 'L': case '[': case 'F': case 'D': case 'V':
        break;
    default:
        fprintf(stderr, "Unknown SIGNATURE for nativemethod !!\n");
        exit(-1);
    }
}

const char* native_glue_missing_routine(methodblock* mb)
{
    if (&_orva_ExceptionHandler == nullptr)
        return "_orva_ExceptionHandler";
    if (!rt_routine_present(RT_THROW_THROWN))
        return "THROW_EXCEPTION_THROWN";
    if (!rt_routine_present(RT_THROW_LINKERROR))
        return "THROW_EXCEPTION_LINKERROR";
    if (mb->access & GLUE_ACC_SYNCHRONIZED) {
        if (!rt_routine_present(sync_enter_routine(mb)))
            return "the synchronized-method entry stub";
        if (!rt_routine_present(sync_exit_routine(mb, native_exit_kind(return_char(mb)))))
            return "the synchronized-method exit stub";
    }
    return nullptr;
}

void gen_JNInativemethod_glue(codegen_context* cg, u4 pad)
{
    methodblock* mb = cg->mb;
    if (check_signature(mb)) {
        fprintf(stderr, "Bad signature for nativemethod %s%s\n", mb->name, mb->signature);
        exit(-1);
    }
    const char* missing = native_glue_missing_routine(mb);
    if (missing != nullptr)
        cg_service_missing(missing);

    native_frame f;
    f.mb = mb;
    f.is_static = (mb->access & GLUE_ACC_STATIC) != 0;
    f.sync = (mb->access & GLUE_ACC_SYNCHRONIZED) != 0;
    f.args = mb->args_size;
    f.n = f.args + (f.is_static ? 1 : 0);
    f.s = f.sync ? 12 : 0;
    f.ret = return_char(mb);
    // A malformed return type ends the process before any code.
    if (f.ret == 0) {
        fprintf(stderr, "Unknown SIGNATURE for nativemethod !!\n");
        exit(-1);
    }

    // 1. Head.
    cg->mci->sp_offset = 0;
    gen_glue4interpreter(cg, pad);
    gen_method_pre_header(cg, cg->m);
    // 2. Profiler entry event.
    gen_jvmpi_method_entry_hook(cg);
    // 3. Frame and ebx.
    f.k = (u4)spill_walk(cg, mb, 0, 0, f.spill_of);
    f.fs = f.s + 4 * (s4)f.k + 4 * (s4)f.n + 44;
    f.q = -(40 + f.s + 4 * (s4)f.k);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, GR_ESP, f.fs, SIZE_DWORD);
    store_word(cg, f.q + 36, GR_EBX);
    // 4. Spill the register arguments.
    spill_walk(cg, mb, 1, -f.s, nullptr);
    // 5. JNI word 0: the address of spill slot 0.
    _gen_lea_gr_mm(cg, GR_EDX, GR_ESP, 0, 0, at(cg, -f.s - 4));
    store_word(cg, -f.fs + 4, GR_EDX);
    // 6. The other JNI words.
    marshal_arguments(cg, &f);
    // 7. Transition record and the interpreter frame's JNI words.
    _gen_get_ee(cg, GR_EAX);
    _gen_lea_gr_mm(cg, GR_EDX, GR_ESP, 0, 0, at(cg, -f.fs - 4));
    _gen_move_gr_gr(cg, GR_ECX, GR_EBP);
    store_word(cg, f.q + 32, GR_ECX);
    store_word(cg, f.q + 28, GR_EBP);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_OR, GR_EDX, 1, SIZE_DWORD);
    store_word(cg, f.q + 24, GR_EDX);
    _gen_lea_gr_mm(cg, GR_EDX, GR_ESP, 0, 0, at(cg, -f.fs - 4));
    _gen_move_gr_mm(cg, GR_ECX, GR_EAX, 0, 0, EE_TRANSITION);
    store_word(cg, f.q + 16, GR_EDX);
    _gen_lea_gr_mm(cg, GR_EDX, GR_ESP, 0, 0, at(cg, f.q + 20));
    _gen_ARITHMETIC_xgr_i4(cg, ALU_OR, GR_ECX, 1, SIZE_DWORD);
    _gen_move_mm_gr(cg, GR_EAX, 0, 0, EE_TRANSITION, GR_EDX, SIZE_DWORD);
    store_word(cg, f.q + 20, GR_ECX);
    _gen_move_gr_gr(cg, GR_EBX, GR_EAX);
    store_word(cg, f.q + 12, GR_EAX);
    _gen_move_gr_mm(cg, GR_EAX, GR_EAX, 0, 0, EE_CURRENT_FRAME);
    _gen_move_gr_mm(cg, GR_EDX, GR_EAX, 0, 0, JF_JNI_CRITICAL);
    _gen_move_gr_mm(cg, GR_ECX, GR_EAX, 0, 0, JF_JNI_TOP);
    _gen_move_mm_i4(cg, GR_EAX, 0, 0, JF_JNI_CRITICAL, 0, SIZE_DWORD);
    store_word(cg, f.q, GR_EDX);
    _gen_move_gr_mm(cg, GR_EDX, GR_EAX, 0, 0, JF_JNI_FRAMES);
    store_word(cg, f.q + 4, GR_ECX);
    store_word(cg, f.q + 8, GR_EDX);
    // 8. Synchronized: lock the class or receiver.
    if (f.sync) {
        load_word(cg, GR_EAX, -f.s - 4);
        store_word(cg, -12, GR_EBP);
        gen_monitor_enter(cg);
    }
    // 9. The call through the native code word; a word of 0 is bound first.
    u4 code_word = (u4)(uintptr_t)&mb->native_code;
    _gen_move_gr_i4(cg, GR_ECX, (s4)code_word);
    store_word(cg, -f.fs, GR_EBX);
    _gen_cmp_mm_i4(cg, GR_ECX, 0, 0);
    u1* to_bind = jump_near(cg, COND_EQ);
    u1* call_site = cg->code;
    _gen_call_indirect(cg, GR_ECX, 0);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ESP, 4 * (s4)f.n + 4, SIZE_DWORD);
    // 10. A reference result is a JNI reference.
    if (f.ret == 'L' || f.ret == '[') {
        _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, GR_EAX, GR_EAX, SIZE_DWORD);
        u1* null_ref = jump_short(cg, COND_EQ);
        _gen_move_gr_mm(cg, GR_EAX, GR_EAX, 0, 0, 0);
        land_short(cg, null_ref);
    }
    // 11. Undo the state of step 7, keeping the result.
    int keeps_eax = f.ret != 'V' && f.ret != 'F' && f.ret != 'D';
    if (f.ret == 'J')
        _gen_push(cg, GR_EDX);
    if (keeps_eax)
        _gen_push(cg, GR_EAX);
    undo_native_state(cg, &f);
    if (keeps_eax)
        _gen_pop(cg, GR_EAX);
    unlink_record(cg, &f);
    if (f.ret == 'J')
        _gen_pop(cg, GR_EDX);
    // 12. Profiler exit event.
    gen_jvmpi_method_exit_hook(cg);
    // 13. A pending exception is raised.
    _gen_move_gr_mm(cg, GR_ECX, GR_ECX, 0, 0, EE_EXCEPTION_KIND);
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, GR_ECX, GR_ECX, SIZE_BYTE);
    s4 raise_depth = cg->mci->sp_offset;
    u1* to_thrown = jump_near(cg, COND_NE);
    // 14. Result and return.
    gen_JNI_result_conversion(cg, 0, f.ret);
    if (f.sync) {
        gen_monitor_exit(cg, native_exit_kind(f.ret));
        load_word(cg, GR_EBP, -12);
    }
    load_word(cg, GR_EBX, f.q + 36);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ESP, -cg->mci->sp_offset, SIZE_DWORD);
    _gen_ret(cg);
    // 15. Binding path, entered with the arguments in place.  The word at
    // the record's frame address (E-FS-4) first receives the address of the
    // call instruction, so that a stack walk while the binding service runs
    // finds a position in this glue there, with the depth of the call.
    land(cg, to_bind);
    set_depth(cg, -f.fs);
    _gen_push_imm(cg, (s4)(uintptr_t)call_site);
    _gen_push(cg, GR_EAX);
    _gen_push(cg, GR_EDX);
    _gen_push(cg, GR_ECX);
    _gen_move_gr_i4(cg, GR_ECX, (s4)(uintptr_t)vm.dynoLink);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, GR_ESP, 4, SIZE_DWORD);
    _gen_move_gr_gr(cg, GR_EDX, GR_ESP);
    _gen_push(cg, GR_EDX);
    _gen_push_imm(cg, (s4)(uintptr_t)mb);
    _gen_call_gr(cg, GR_ECX);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ESP, 12, SIZE_DWORD);
    _gen_ARITHMETIC_xgr_xgr(cg, ALU_TEST, GR_EAX, GR_EAX, SIZE_DWORD);
    s4 link_depth = cg->mci->sp_offset;
    u1* to_link_error = jump_near(cg, COND_EQ);
    _gen_move_mm_gr(cg, 0, 0, 0, (s4)code_word, GR_EAX, SIZE_DWORD);
    _gen_pop(cg, GR_ECX);
    _gen_pop(cg, GR_EDX);
    _gen_pop(cg, GR_EAX);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ESP, 4, SIZE_DWORD);
    _gen_jmpcc(cg, COND_ALWAYS, (u4)(uintptr_t)call_site, 2);
    // 16. Raise paths.  The exception left pending by the native: the state
    // is already undone.
    land(cg, to_thrown);
    set_depth(cg, raise_depth);
    restore_for_raise(cg, &f);
    _gen_call(cg, RT_THROW_THROWN);
    _gen_nop(cg, 1);
    // No function to bind: the transition record and the interpreter frame
    // words are put back first, as on the normal path, so that nothing of
    // the abandoned frame stays linked on the EE.
    land(cg, to_link_error);
    set_depth(cg, link_depth);
    undo_native_state(cg, &f);
    unlink_record(cg, &f);
    restore_for_raise(cg, &f);
    _gen_move_gr_i4(cg, GR_ECX, (s4)(uintptr_t)mb);
    _gen_call(cg, RT_THROW_LINKERROR);
    _gen_nop(cg, 1);
    // 17. Trailer.
    _make_code_align(cg, 0, 4);
    _gen_addr(cg, 0xCCCCCCCCu);
    _gen_addr(cg, (u4)(uintptr_t)mb);
}
