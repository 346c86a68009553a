// Frame iterator: presents a thread's interpreter frames, compiled frames
// (with the methods inlined into them) and the transition frames of glue and
// native code as one sequence of Java frames, newest first.  The VM walks
// stacks through these functions (frame-interface slots 0-17) and the
// exception filters use them on their own thread.
//
// Compiled frames are found from the return address they hold, through the
// committed-code registry; the caller's frame starts where the method's
// stack-depth table says (get_caller_sp).  Interpreter frames are the VM's
// records chained from EE+8; a frame's link word leads to a compiled caller
// when it differs from its previous-frame word.  Transition records (EE+0x18C)
// mark where compiled code called C or native code.
//
// The iterator holds no EE: the EE of a compiled frame's thread is the one in
// the thread area that contains the frame (address AND the area mask).
#include "driver/driver.h"
#include "lib/rt_support.h"

namespace {

u4 word_at(u4 address) { return *reinterpret_cast<const u4*>(address); }

rcc* code_containing(u4 pc)
{
    return sccc0 != nullptr ? sccc0(pc) : search_committed_code0(pc);
}

EE* ee_of_stack_address(u4 address)
{
    return reinterpret_cast<tla*>(address & TLA_MASK)->ee;
}

// Reads entry i of an array of `width`-byte unsigned values.
u4 read_width(const u1* base, u4 width, u4 i)
{
    switch (width) {
    case 1: return base[i];
    case 2: return reinterpret_cast<const u2*>(base)[i];
    default: return reinterpret_cast<const u4*>(base)[i];
    }
}

void set_end(frame_iterator* it)
{
    it->interp_frame = nullptr;
    it->frame = 0;
    it->committed_code = nullptr;
    it->frame_base = 0;
    it->inlined = nullptr;
    it->kind = FIK_END;
}

// Positions on the compiled frame at A of code C: the innermost method
// inlined at its return address, or the compiled method itself.  A map entry
// naming the compiled method's own record (no enclosing record) is the
// method itself.
void position_compiled(frame_iterator* it, u4 a, rcc* c, inlined_frame* inl)
{
    it->frame = a;
    it->committed_code = c;
    if (inl != nullptr && inl->enclosing != nullptr) {
        it->inlined = inl;
        it->kind = FIK_INLINED;
    } else {
        it->inlined = nullptr;
        it->kind = FIK_COMPILED;
    }
}

void position_compiled_at(frame_iterator* it, u4 a, rcc* c)
{
    position_compiled(it, a, c, search_inlined_method_frame_info(c->cp2imf, c, word_at(a)));
}

// A transition frame area T (or where none can be found).
void position_transition(frame_iterator* it, u4 t)
{
    it->frame = t;
    it->committed_code = nullptr;
    it->inlined = nullptr;
    it->kind = FIK_TRANSITION;
}

void position_interpreter(frame_iterator* it, JavaFrame* frame)
{
    it->interp_frame = frame;
    it->frame = 0;
    it->committed_code = nullptr;
    it->inlined = nullptr;
    it->kind = FIK_INTERPRETER;
}

// Every compiled and transition frame of a walk lies on the walked thread's
// stack, inside the thread area of the frame the walk steps from.  A step
// whose target lies elsewhere has read a frame base or a link that is no
// frame's (a layout the walk does not know): rather than read through it,
// the walk goes on with the interpreter frames, as for a compiled caller
// whose code is gone.
bool on_stack_of(u4 address, u4 from)
{
    return address != 0 && (address & TLA_MASK) == (from & TLA_MASK);
}

void continue_with_interpreter(frame_iterator* it)
{
    if (it->interp_frame == nullptr)
        set_end(it);
    else
        position_interpreter(it, it->interp_frame);
}

// Steps out of the compiled frame at A (kinds 1 and 2).
void step_out_of_compiled(frame_iterator* it)
{
    u4 a = it->frame;
    rcc* c = static_cast<rcc*>(it->committed_code);
    u4 s = get_caller_sp(c, a);
    // A record for this very frame with the exception-path tag carries the
    // stack adjustment of a frame that stopped between calls.
    EE* ee = ee_of_stack_address(a);
    for (u4 h = ee->transition & ~TR_TAG_MASK; h != 0; h = word_at(h) & ~TR_TAG_MASK) {
        const transition_record* r = reinterpret_cast<const transition_record*>(h);
        u4 fa = r->frame & ~1u;
        if (fa > a)
            break;
        if (fa == a && (r->prev & TR_TAG_EXCEPTION_PATH)) {
            s += r->word2 - 4;
            break;
        }
    }
    if (!on_stack_of(s, a)) {
        continue_with_interpreter(it);
        return;
    }
    u4 w = c->md[0] & 0xFFFFFF;
    if (w != 0)
        restore_a_callee_saved_reg(s - w, c->md, SAVED_EBP, &it->frame_base);
    rcc* caller = code_containing(word_at(s));
    if (caller != nullptr)
        position_compiled_at(it, s, caller);
    else if (on_stack_of(it->frame_base - 32, a))
        position_transition(it, it->frame_base - 32);
    else
        continue_with_interpreter(it);
}

void step_out_of_transition(frame_iterator* it)
{
    const u4* t = reinterpret_cast<const u4*>(it->frame);
    if (t[8] == ACT_T_MARKER) {
        position_interpreter(it, it->interp_frame);
        return;
    }
    u4 a = t[8];
    if (!on_stack_of(a, it->frame)) {
        continue_with_interpreter(it);
        return;
    }
    rcc* c = code_containing(word_at(a));
    if (c == nullptr) {
        position_transition(it, a - 32);
        return;
    }
    position_compiled_at(it, a, c);
    it->frame_base = word_at(a - 4);
}

void step_out_of_interpreter(frame_iterator* it)
{
    JavaFrame* i = it->interp_frame;
    if (i == nullptr) {
        set_end(it);
        return;
    }
    u4 link = i->link & ~TR_TAG_MASK;
    if (link == reinterpret_cast<u4>(i->prev) || i->link < 4) {
        // The caller is an interpreter frame.  (A link below 4 that differs
        // from the previous frame is never written; stepping to the previous
        // frame keeps a walk moving instead of repeating this frame.)
        position_interpreter(it, i->prev);
        return;
    }
    const transition_record* r = reinterpret_cast<const transition_record*>(i->trans);
    rcc* c = code_containing(word_at(link));
    if (r != nullptr && (r->prev & TR_TAG_TRANSFER) && c != nullptr) {
        position_compiled(it, link, c, nullptr);
        it->kind = FIK_COMPILED_XFER;
        it->frame_base = r->caller_ebp;
    } else if ((i->link & TR_TAG_MASK) == 0) {
        position_transition(it, link);
    } else if (c == nullptr) {
        // A compiled caller whose code is no longer registered (or never
        // was): its frame cannot be read, so the walk goes on with the
        // interpreter frames.
        position_interpreter(it, i->prev);
        return;
    } else {
        position_compiled_at(it, link, c);
        it->frame_base = r != nullptr && (r->frame & 1) ? r->caller_ebp : word_at(link - 4);
    }
    it->interp_frame = i->prev;
}

}  // namespace

extern "C" {

void fi_init(EE* ee, frame_iterator* it)
{
    set_end(it);
    it->interp_frame = ee->current_frame;
    u4 h = ee->transition & ~TR_TAG_MASK;
    if (h == 0) {
        it->kind = FIK_INTERPRETER;
        return;
    }
    const transition_record* r = reinterpret_cast<const transition_record*>(h);
    u4 f = r->frame & ~1u;
    if (ee->mode == EE_MODE_INTERPRETER) {
        rcc* c = (r->prev & TR_TAG_TRANSFER) ? code_containing(word_at(f)) : nullptr;
        if (c != nullptr) {
            position_compiled(it, f, c, nullptr);
            it->kind = FIK_COMPILED_XFER;
            it->frame_base = r->caller_ebp;
        } else {
            position_transition(it, f);
        }
        return;
    }
    rcc* c = code_containing(word_at(f));
    if (c == nullptr) {
        it->kind = FIK_INTERPRETER;
        return;
    }
    inlined_frame* inl = nullptr;
    if (r->prev & TR_TAG_EXCEPTION_PATH)
        inl = search_inlined_method_frame_info(c->exc_cp2imf, c, word_at(f));
    if (inl == nullptr)
        inl = search_inlined_method_frame_info(c->cp2imf, c, word_at(f));
    position_compiled(it, f, c, inl);
    it->frame_base = r->caller_ebp;
}

void fi_clone(frame_iterator* src, frame_iterator* dst)
{
    *dst = *src;
}

void fi_prev(frame_iterator* it)
{
    switch (it->kind) {
    case FIK_INLINED: {
        inlined_frame* enc = static_cast<inlined_frame*>(it->inlined)->enclosing;
        if (enc == nullptr || enc->enclosing == nullptr) {
            it->inlined = nullptr;
            it->kind = FIK_COMPILED;
        } else {
            it->inlined = enc;
        }
        return;
    }
    case FIK_COMPILED:
    case FIK_COMPILED_XFER:
        step_out_of_compiled(it);
        return;
    case FIK_TRANSITION:
        step_out_of_transition(it);
        return;
    case FIK_INTERPRETER:
        step_out_of_interpreter(it);
        return;
    default:
        set_end(it);
        return;
    }
}

int fi_more(frame_iterator* it)
{
    return it->frame != 0 || it->interp_frame != nullptr ? 1 : 0;
}

methodblock* fi_method(frame_iterator* it)
{
    if (it->committed_code != nullptr) {
        if (it->kind == FIK_INLINED)
            return static_cast<inlined_frame*>(it->inlined)->mb;
        return static_cast<rcc*>(it->committed_code)->mb;
    }
    if (it->frame != 0)
        return reinterpret_cast<methodblock*>(word_at(it->frame + 4));
    return it->interp_frame != nullptr ? it->interp_frame->method : nullptr;
}

u1* fi_lastpc(frame_iterator* it)
{
    if (it->committed_code != nullptr)
        return reinterpret_cast<u1*>(word_at(it->frame));
    if (it->frame != 0)
        return reinterpret_cast<u1*>(word_at(it->frame + 8));
    return it->interp_frame != nullptr ? it->interp_frame->lastpc : nullptr;
}

void* fi_target(frame_iterator* it)
{
    return nullptr;
}

// Returned in memory; the callee removes the hidden result pointer, which is
// what the i386 ABI does for every structure result.
fi_args_result fi_args(frame_iterator* it)
{
    return fi_args_result{0xFACADE};
}

int fi_current_frame_exists(EE* ee)
{
    u4 h = ee->transition & ~TR_TAG_MASK;
    if (h != 0)
        return reinterpret_cast<const transition_record*>(h)->frame >= 2 ? 1 : 0;
    return ee->current_frame != nullptr ? 1 : 0;
}

methodblock* fi_current_frame_method(EE* ee)
{
    u4 h = ee->transition & ~TR_TAG_MASK;
    if (h == 0)
        return ee->current_frame != nullptr ? ee->current_frame->method : nullptr;
    u4 f = reinterpret_cast<const transition_record*>(h)->frame & ~1u;
    u4 pc = word_at(f);
    if (rcc* c = code_containing(pc)) {
        inlined_frame* inl = search_inlined_method_frame_info(c->cp2imf, c, pc);
        return inl != nullptr ? inl->mb : c->mb;
    }
    return reinterpret_cast<methodblock*>(word_at(f + 4));
}

u1* fi_current_frame_lastpc(EE* ee)
{
    u4 h = ee->transition & ~TR_TAG_MASK;
    if (h == 0)
        return ee->current_frame != nullptr ? ee->current_frame->lastpc : nullptr;
    u4 f = reinterpret_cast<const transition_record*>(h)->frame & ~1u;
    u4 pc = word_at(f);
    if (code_containing(pc) != nullptr)
        return reinterpret_cast<u1*>(pc);
    return reinterpret_cast<u1*>(word_at(f + 8));
}

u4 fi_current_frame_address(EE* ee)
{
    u4 h = ee->transition & ~TR_TAG_MASK;
    if (h != 0)
        return reinterpret_cast<const transition_record*>(h)->frame & ~1u;
    return reinterpret_cast<u4>(ee->current_frame);
}

int fi_set_mode(EE* ee, int mode)
{
    int previous = static_cast<int>(ee->mode);
    ee->mode = static_cast<u4>(mode);
    return previous;
}

int fi_get_mode(EE* ee)
{
    return static_cast<int>(ee->mode);
}

void _orva_ThreadPostException(void)
{
}

int fi_is_JIT_frame(frame_iterator* it)
{
    return it->committed_code != nullptr ? 1 : 0;
}

u4 fi_GetID(frame_iterator* it)
{
    switch (it->kind) {
    case FIK_COMPILED:
    case FIK_COMPILED_XFER:
    case FIK_INLINED:
        return it->frame | 2;
    case FIK_TRANSITION:
        return it->frame | 1;
    default:
        return reinterpret_cast<u4>(it->interp_frame);
    }
}

void fi_set(frame_iterator* it, u4 id)
{
    u4 base = it->frame_base;           // not restored from an identity word
    set_end(it);
    it->frame_base = base;
    u4 address = id & ~3u;
    switch (id & 3) {
    case 1:
        position_transition(it, address);
        return;
    case 2:
        if (rcc* c = code_containing(word_at(address)))
            position_compiled_at(it, address, c);
        else
            position_transition(it, address);
        return;
    default:
        position_interpreter(it, reinterpret_cast<JavaFrame*>(id));
        return;
    }
}

// The depth index for code offset `offset`: the last entry not above it,
// -1 when the offset lies before the first entry (or there is no table).
static s4 depth_index(const sp_offset_table* t, u4 offset)
{
    if (t == nullptr)
        return -1;
    const u1* offsets = reinterpret_cast<const u1*>(t) + sizeof(sp_offset_table);
    u4 n = static_cast<u4>(t->depths - offsets) / t->offset_width;
    s4 found = -1;
    for (u4 i = 0; i < n; i++) {
        if (read_width(offsets, t->offset_width, i) > offset)
            break;
        found = static_cast<s4>(i);
    }
    return found;
}

static u4 depth_at(rcc* code, u4 pc)
{
    const sp_offset_table* t = reinterpret_cast<const sp_offset_table*>(code->md[1]);
    s4 i = depth_index(t, pc - reinterpret_cast<u4>(code->start));
    return i < 0 ? 0 : read_width(t->depths, t->depth_width, static_cast<u4>(i));
}

u4 get_caller_sp(rcc* code, u4 frame)
{
    return frame + 4 + 4 * depth_at(code, word_at(frame));
}

u4 get_frame_size(rcc* code, u4 pc)
{
    return 4 * depth_at(code, pc);
}

inlined_frame* search_inlined_method_frame_info(const void* map, rcc* code, u4 pc)
{
    if (map == nullptr || code == nullptr)
        return nullptr;
    const cp2imf_table* t = static_cast<const cp2imf_table*>(map);
    u4 width = *static_cast<const u1*>(map);
    u4 n = t->count;
    if (n == 0 || width == 0)
        return nullptr;
    u4 offset = pc - reinterpret_cast<u4>(code->start);
    if (offset < read_width(t->offsets, width, 0) || offset > read_width(t->offsets, width, n - 1))
        return nullptr;
    u4 lo = 0;
    u4 hi = n - 1;
    while (hi >= lo + 2) {
        u4 mid = (lo + hi) / 2;
        u4 v = read_width(t->offsets, width, mid);
        if (v == offset)
            return reinterpret_cast<inlined_frame*>(t->values[mid]);
        if (v < offset)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    if (read_width(t->offsets, width, hi) == offset)
        return reinterpret_cast<inlined_frame*>(t->values[hi]);
    if (read_width(t->offsets, width, lo) == offset)
        return reinterpret_cast<inlined_frame*>(t->values[lo]);
    return nullptr;
}

// The frame base as this function's caller received it.
__attribute__((noinline)) u4 get_frame_base(void)
{
    u4 ebp;
    asm volatile("movl (%%ebp), %0" : "=r"(ebp));
    return ebp;
}

}  // extern "C"

// The saved registers of a compiled frame lie at consecutive words upward
// from its save area, in the order ebp, ebx, esi, edi, for those in the set
// (top byte of machine-dependent word 0), as the prologue stores them.
extern "C" void restore_a_callee_saved_reg(u4 area, const u4* md, u4 reg_bit, u4* out)
{
    static constexpr u4 order[4] = {SAVED_EBP, SAVED_EBX, SAVED_ESI, SAVED_EDI};
    u4 set = md[0] >> 24;
    u4 slot = area;
    for (u4 bit : order) {
        if (!(set & bit))
            continue;
        if (bit == reg_bit) {
            *out = word_at(slot);
            return;
        }
        slot += 4;
    }
}

extern "C" void restore_callee_saved_regs_to_context(u4 area, const u4* md, exception_context* context)
{
    restore_a_callee_saved_reg(area, md, SAVED_EBP, &context->ebp);
    restore_a_callee_saved_reg(area, md, SAVED_EBX, &context->ebx);
    restore_a_callee_saved_reg(area, md, SAVED_ESI, &context->esi);
    restore_a_callee_saved_reg(area, md, SAVED_EDI, &context->edi);
}
