// The test double's frame iterator, installed in frame-interface slots 0-17
// as the compiler installs its own.  It presents interpreter frames (the
// VM's records chained from the EE), the test double's compiled frames
// (found by return address in its committed-code registry) and transition
// frame areas as one sequence, newest first, by the rules the VM's records
// are built for: T areas end in 0xDEADBEEF, an interpreter frame's link word
// differs from its previous-frame word when its caller is compiled code, and
// transition records carry the frame base.
//
// The test double does not inline, so kind 3 never occurs, and its compiled
// frames keep the frame base they were given (no saved-register maps).
#include <cstring>

#include "fakejit.h"

namespace {

inline u4 word_at(u4 address) { return *reinterpret_cast<u4*>(address); }

// The address just above the compiled frame whose return-address slot is A.
u4 caller_sp(const fj_code* c, u4 a)
{
    u4 offset = word_at(a) - c->start;
    int i = 0;
    while (i < c->ndepths && c->offsets[i] < offset)
        i++;
    if (i == c->ndepths || c->offsets[i] > offset)
        i--;
    if (i < 0)
        return a + 4;
    return a + 4 + 4 * c->depths[i];
}

void set_compiled(frame_iterator* it, u4 a, const fj_code* c)
{
    it->frame = a;
    it->committed_code = const_cast<fj_code*>(c);
    it->kind = FIK_COMPILED;
    it->inlined = nullptr;
}

extern "C" void fi_init(EE* ee, frame_iterator* it)
{
    std::memset(it, 0, sizeof *it);
    it->interp_frame = ee->current_frame;
    u4 rec = ee->transition & ~TR_TAG_MASK;
    if (!rec) {
        it->kind = FIK_INTERPRETER;
        return;
    }
    u4 f = word_at(rec + 4) & ~1u;
    if (ee->mode == EE_MODE_INTERPRETER) {
        if (word_at(rec) & TR_TAG_TRANSFER) {
            it->kind = FIK_COMPILED_XFER;
            it->frame = f;
            it->committed_code = const_cast<fj_code*>(fj_find_code(word_at(f)));
            it->frame_base = word_at(rec + 12);
        } else {
            it->kind = FIK_TRANSITION;
            it->frame = f;
        }
        return;
    }
    const fj_code* c = fj_find_code(word_at(f));
    if (!c) {
        it->kind = FIK_INTERPRETER;
        return;
    }
    set_compiled(it, f, c);
    it->frame_base = word_at(rec + 12);
}

extern "C" void fi_clone(frame_iterator* src, frame_iterator* dst)
{
    *dst = *src;
}

extern "C" void fi_prev(frame_iterator* it)
{
    switch (it->kind) {
    case FIK_COMPILED:
    case FIK_COMPILED_XFER:
    case FIK_INLINED: {
        u4 a = it->frame;
        u4 s = caller_sp(static_cast<const fj_code*>(it->committed_code), a);
        EE* ee = fj.current_ee();
        for (u4 r = ee->transition & ~TR_TAG_MASK; r; r = word_at(r) & ~TR_TAG_MASK) {
            u4 fa = word_at(r + 4) & ~1u;
            if (fa > a)
                break;
            if (fa == a && (word_at(r) & TR_TAG_EXCEPTION_PATH)) {
                s += word_at(r + 8) - 4;
                break;
            }
        }
        const fj_code* c = fj_find_code(word_at(s));
        if (!c) {
            it->kind = FIK_TRANSITION;
            it->frame = it->frame_base - 32;
            it->committed_code = nullptr;
        } else {
            set_compiled(it, s, c);
        }
        return;
    }
    case FIK_TRANSITION: {
        u4 t = it->frame;
        u4 caller = word_at(t + 32);
        if (caller == FJ_DEADBEEF) {
            it->kind = FIK_INTERPRETER;
            it->frame = 0;
            it->committed_code = nullptr;
            return;
        }
        const fj_code* c = fj_find_code(word_at(caller));
        if (c) {
            set_compiled(it, caller, c);
            it->frame_base = word_at(caller - 4);
        } else {
            it->frame = caller - 32;
        }
        return;
    }
    case FIK_INTERPRETER: {
        JavaFrame* f = it->interp_frame;
        if (!f) {
            std::memset(it, 0, sizeof *it);
            return;
        }
        u4 link = f->link & ~TR_TAG_MASK;
        if (link == reinterpret_cast<u4>(f->prev)) {
            it->interp_frame = f->prev;
            return;
        }
        if (link < 4) {
            // The iterator would stand still; the VM promises never to
            // write such a link, so a walk that meets one is a failure.
            fj_note_failure("interpreter frame %p has link %#x and prev %p", static_cast<void*>(f),
                            f->link, static_cast<void*>(f->prev));
            std::memset(it, 0, sizeof *it);
            return;
        }
        u4 trans = f->trans;
        it->interp_frame = f->prev;
        if (trans && (word_at(trans) & TR_TAG_TRANSFER)) {
            it->kind = FIK_COMPILED_XFER;
            it->frame = link;
            it->committed_code = const_cast<fj_code*>(fj_find_code(word_at(link)));
            it->frame_base = word_at(trans + 12);
        } else if ((f->link & TR_TAG_MASK) == 0) {
            it->kind = FIK_TRANSITION;
            it->frame = link;
            it->committed_code = nullptr;
        } else {
            const fj_code* c = fj_find_code(word_at(link));
            if (!c) {
                fj_note_failure("interpreter frame %p links to %#x, which holds no compiled return address",
                                static_cast<void*>(f), link);
                std::memset(it, 0, sizeof *it);
                return;
            }
            set_compiled(it, link, c);
            it->frame_base = trans && (word_at(trans + 4) & 1) ? word_at(trans + 12) : word_at(link - 4);
        }
        return;
    }
    default:
        std::memset(it, 0, sizeof *it);
        return;
    }
}

extern "C" int fi_more(frame_iterator* it)
{
    return it->frame != 0 || it->interp_frame != nullptr ? 1 : 0;
}

extern "C" methodblock* fi_method(frame_iterator* it)
{
    if (it->committed_code)
        return static_cast<const fj_code*>(it->committed_code)->mb;
    if (it->frame)
        return reinterpret_cast<methodblock*>(word_at(it->frame + 4));
    return it->interp_frame ? it->interp_frame->method : nullptr;
}

extern "C" u1* fi_lastpc(frame_iterator* it)
{
    if (it->committed_code)
        return reinterpret_cast<u1*>(word_at(it->frame));
    if (it->frame)
        return reinterpret_cast<u1*>(word_at(it->frame + 8));
    return it->interp_frame ? it->interp_frame->lastpc : nullptr;
}

extern "C" void* fi_target(frame_iterator*) { return nullptr; }

struct fi_args_result {
    u4 value;
};
// Returned in memory through a hidden pointer that the callee pops.
extern "C" fi_args_result fi_args(frame_iterator*)
{
    return {0xFACADE};
}

extern "C" int fi_current_frame_exists(EE* ee)
{
    u4 rec = ee->transition & ~TR_TAG_MASK;
    if (rec)
        return word_at(rec + 4) >= 2 ? 1 : 0;
    return ee->current_frame ? 1 : 0;
}

extern "C" methodblock* fi_current_frame_method(EE* ee)
{
    u4 rec = ee->transition & ~TR_TAG_MASK;
    if (rec) {
        u4 f = word_at(rec + 4) & ~1u;
        if (const fj_code* c = fj_find_code(word_at(f)))
            return c->mb;
        return reinterpret_cast<methodblock*>(word_at(f + 4));
    }
    return ee->current_frame ? ee->current_frame->method : nullptr;
}

extern "C" u1* fi_current_frame_lastpc(EE* ee)
{
    u4 rec = ee->transition & ~TR_TAG_MASK;
    if (rec) {
        u4 f = word_at(rec + 4) & ~1u;
        if (fj_find_code(word_at(f)))
            return reinterpret_cast<u1*>(word_at(f));
        return reinterpret_cast<u1*>(word_at(f + 8));
    }
    return ee->current_frame ? ee->current_frame->lastpc : nullptr;
}

extern "C" u4 fi_current_frame_address(EE* ee)
{
    u4 rec = ee->transition & ~TR_TAG_MASK;
    if (rec)
        return word_at(rec + 4) & ~1u;
    return reinterpret_cast<u4>(ee->current_frame);
}

extern "C" u4 fi_set_mode(EE* ee, u4 mode)
{
    u4 old = ee->mode;
    ee->mode = mode;
    return old;
}

extern "C" u4 fi_get_mode(EE* ee) { return ee->mode; }

extern "C" void orva_ThreadPostException() {}

extern "C" int fi_is_JIT_frame(frame_iterator* it) { return it->committed_code ? 1 : 0; }

extern "C" u4 fi_GetID(frame_iterator* it)
{
    switch (it->kind) {
    case FIK_COMPILED:
    case FIK_COMPILED_XFER:
    case FIK_INLINED: return it->frame | 2;
    case FIK_TRANSITION: return it->frame | 1;
    default: return reinterpret_cast<u4>(it->interp_frame);
    }
}

extern "C" void fi_set(frame_iterator* it, u4 id)
{
    u4 base = it->frame_base;
    std::memset(it, 0, sizeof *it);
    it->frame_base = base;
    switch (id & 3) {
    case 1:
        it->kind = FIK_TRANSITION;
        it->frame = id & ~3u;
        break;
    case 2:
        if (const fj_code* c = fj_find_code(word_at(id & ~3u)))
            set_compiled(it, id & ~3u, c);
        break;
    default:
        it->kind = FIK_INTERPRETER;
        it->interp_frame = reinterpret_cast<JavaFrame*>(id);
        break;
    }
}

}  // namespace

void fj_install_frame_interface(void** table)
{
    table[FI_INIT] = reinterpret_cast<void*>(&fi_init);
    table[FI_CLONE] = reinterpret_cast<void*>(&fi_clone);
    table[FI_PREV] = reinterpret_cast<void*>(&fi_prev);
    table[FI_MORE] = reinterpret_cast<void*>(&fi_more);
    table[FI_METHOD] = reinterpret_cast<void*>(&fi_method);
    table[FI_LASTPC] = reinterpret_cast<void*>(&fi_lastpc);
    table[FI_TARGET] = reinterpret_cast<void*>(&fi_target);
    table[FI_ARGS] = reinterpret_cast<void*>(&fi_args);
    table[FI_CURRENT_FRAME_EXISTS] = reinterpret_cast<void*>(&fi_current_frame_exists);
    table[FI_CURRENT_FRAME_METHOD] = reinterpret_cast<void*>(&fi_current_frame_method);
    table[FI_CURRENT_FRAME_LASTPC] = reinterpret_cast<void*>(&fi_current_frame_lastpc);
    table[FI_CURRENT_FRAME_ADDRESS] = reinterpret_cast<void*>(&fi_current_frame_address);
    table[FI_SET_MODE] = reinterpret_cast<void*>(&fi_set_mode);
    table[FI_GET_MODE] = reinterpret_cast<void*>(&fi_get_mode);
    table[FI_THREAD_POST_EXCEPTION] = reinterpret_cast<void*>(&orva_ThreadPostException);
    table[FI_IS_JIT_FRAME] = reinterpret_cast<void*>(&fi_is_JIT_frame);
    table[FI_GET_ID] = reinterpret_cast<void*>(&fi_GetID);
    table[FI_SET] = reinterpret_cast<void*>(&fi_set);
}
