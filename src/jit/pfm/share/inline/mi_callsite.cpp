// Call-site registration: one `mi_call_site` record per invoke instruction of
// a prescanned method, with the first verdicts on inlinability.
//
// A site starts with its invoke kind, its target (or only the signature when
// unresolved) and its dispatch form; bit 12 (candidate) and bit 13 (walk the
// callee) are then set by kind and taken away again by every rule that rules
// the callee out: access, size, native or abstract, handlers, recursion,
// synchronization, names that library code is known to override, and the
// mixed-mode rule (a call the interpreter never executed, i.e. never
// quickened, is only a candidate when its callee is empty, trivial or tiny).
// The checks of the inlinability Part (devirtualization, recursion cycles,
// the fast check) are called through their entries.
#include <string.h>

#include "driver/driver.h"
#include "frontend/frontend.h"
#include "inline/inline.h"
#include "inline/mi_prescan.h"

namespace {

constexpr u4 DISPATCH_SHIFT = 20;
constexpr u4 DISPATCH_STATIC = 0, DISPATCH_SPECIAL = 1, DISPATCH_VIRTUAL = 3, DISPATCH_INTERFACE = 7;
constexpr u4 DISPATCH_RUNTIME = 0x200000;       // bit 21: dispatched at run time
constexpr u4 TARGET_METHOD = 0x100;             // target kind 1: the method block
constexpr u4 MAX_INLINE_BYTES = 512;
constexpr u4 SMALL_BYTES = 16;
constexpr u4 TINY_BYTES = 6;
constexpr u4 BIG_FRAME = 128;

void set_dispatch(mi_call_site* s, u4 d) { s->flags = (s->flags & ~MCS_DISPATCH_MASK) | d << DISPATCH_SHIFT; }
void clear(mi_call_site* s, u4 bits) { s->flags &= ~bits; }
bool trivial(const methodblock* mb) { return (mb->jit_flags & TRIV_KIND_MASK) != 0; }
void not_inlinable(methodblock* mb) { mb->jit_flags = (mb->jit_flags | MBJ_NOT_INLINABLE) & ~MBJ_TRIVIAL_INLINABLE; }

// Private of another class, or protected of a class that is no superclass
// of the caller's.
bool access_refused(const methodblock* caller, const methodblock* t)
{
    if ((t->access & ACC_PRIVATE) && t->clazz != caller->clazz)
        return true;
    return (t->access & ACC_PROTECTED) && !is_superclass(t->clazz, caller->clazz);
}

bool ends_with(const char* s, const char* suffix)
{
    size_t n = strlen(s), k = strlen(suffix);
    return n >= k && strcmp(s + n - k, suffix) == 0;
}

// Kinds 6, 8, 9: a virtual call bound to one target when the class hierarchy
// (or a guess) allows.
void register_virtual(method_compile_context* m, misinfo* caller, mi_call_site* s, methodblock*& t)
{
    methodblock* own = caller->mb;
    bool refused = (compile_option_flag & OPT1_NVINLINING)
                   || ((t->access & (ACC_PRIVATE | ACC_PROTECTED)) && t->clazz != own->clazz);
    if (!refused) {
        int guessed = t != own && check_known_overridden_library_method(t) == 0;
        methodblock* chosen = t == own ? own : select_devirtualization_target(t, &guessed, m->pool1);
        if (chosen != nullptr) {
            if (guessed) {
                s->flags |= MCS_GUESS;
                t = chosen;
            }
            if (chosen->code_length <= MAX_INLINE_BYTES) {
                s->flags |= MCS_CANDIDATE;
                if (!(chosen->jit_flags & MBJ_NOT_INLINABLE) || chosen == own)
                    s->flags |= MCS_ANALYSE;
            }
            if (!(compile_option2_flag & (OPT2_NDBVERSIONING | OPT2_NCHA)))
                s->flags |= MCS_CANDIDATE | MCS_CHA_BOUND;
        }
    }
    set_dispatch(s, DISPATCH_VIRTUAL);
    own->jit_flags |= MBJ_FRAME_UNSAFE;
}

// Kinds 10, 11: an interface call bound to its single implementor.
void register_interface(method_compile_context* m, misinfo* caller, mi_call_site* s, methodblock*& t)
{
    methodblock* own = caller->mb;
    if (!(compile_option2_flag & (OPT2_NINTFINLINING | OPT2_NCHA)) && is_inlinable_interface_class(t)) {
        int found = 0;
        methodblock* impl = nullptr;
        methodblock* bound = IsDirectBindIntf(m, t, nullptr, &found, &impl);
        bool usable = found == 1 && bound != nullptr && bound == impl
                      && (!(impl->access & (ACC_PRIVATE | ACC_PROTECTED)) || impl->clazz == own->clazz);
        if (usable) {
            int guessed = impl != own && check_known_overridden_library_method(impl) == 0;
            methodblock* chosen = select_devirtualization_target(impl, &guessed, m->pool1);
            if (chosen != nullptr && chosen != own) {
                if (guessed)
                    s->flags |= MCS_GUESS;
                if (chosen->code_length <= MAX_INLINE_BYTES)
                    s->flags |= (t->jit_flags & MBJ_NOT_INLINABLE) ? MCS_CANDIDATE : MCS_CANDIDATE | MCS_ANALYSE;
                if ((chosen->access & ACC_FINAL) || (chosen->clazz->access & ACC_FINAL))
                    s->flags |= MCS_FINAL_IMPL;
                if (!(compile_option2_flag & OPT2_NDBVERSIONING))
                    s->flags |= MCS_CANDIDATE | MCS_CHA_BOUND;
                s->interface_mb = t;
                t = chosen;
                s->target = t;
            }
        }
    }
    set_dispatch(s, DISPATCH_INTERFACE);
    own->jit_flags |= MBJ_FRAME_UNSAFE;
}

// Step 6 when the callee is still to be walked.
void judge_walked_site(method_compile_context* m, misinfo* caller, mi_call_site* s, methodblock* t)
{
    methodblock* own = caller->mb;
    if (compile_option_flag & OPT1_NINLININGWOREC) {
        if (t != own)
            clear(s, MCS_CANDIDATE | MCS_ANALYSE);
        return;
    }
    if (compile_option_flag & OPT1_NINLINING)
        return;
    bool refuse = access_refused(own, t)
                  || ((t->jit_flags & MBJ_NOT_INLINABLE) && !(t->jit_flags & MBJ_RECURSIVE))
                  || t->code_length > MAX_INLINE_BYTES || (t->access & (ACC_NATIVE | ACC_ABSTRACT))
                  || t->exception_table_length > 0
                  || ((t->access & ACC_SYNCHRONIZED) && (compile_option_flag & OPT1_NSYNCINLINING))
                  || (t == own && (t->jit_flags & MBJ_RECURSION_CYCLE))
                  || check_recursive_invocation_cycle(caller, t) != 0;
    if (refuse) {
        clear(s, MCS_CANDIDATE | MCS_ANALYSE);
        return;
    }
    if (t->maxstack > BIG_FRAME || t->nlocals > BIG_FRAME || t->code_length >= BIG_FRAME + 1)
        clear(s, MCS_ANALYSE);
    if (t->access & ACC_SYNCHRONIZED)
        s->flags |= MCS_SYNCHRONIZED;
    if (t == own)
        return;
    u4 kind = s->flags & MCS_KIND_MASK;
    bool interface_call = kind == static_cast<u4>(MI_KIND_INTERFACE) || kind == static_cast<u4>(MI_KIND_INTERFACE_RESOLVED);
    bool runtime_unbound = (s->flags & DISPATCH_RUNTIME) && !(s->flags & MCS_CHA_BOUND);
    bool triv_on = !(compile_option2_flag & OPT2_NTRIVINLINING);
    EE* ee = m->inlining != nullptr ? m->inlining->ee : nullptr;
    if (triv_on && !interface_call && !runtime_unbound && trivial(t) && trivJudgeSetFlag(m, ee, t)) {
        clear(s, MCS_ANALYSE);
        s->flags |= MCS_TRIVIAL_CALLEE;
        t->jit_flags |= MBJ_FRAME_SAFE | MBJ_TRIVIAL_INLINABLE;
        return;
    }
    if (!(t->jit_flags & MBJ_NO_EMPTY_MARKS) && !(triv_on && trivial(t))) {
        bool empty = (t->jit_flags & MBJ_EMPTY) != 0;
        bool fast = ((t->jit_flags & MBJ_FAST_CHECKED_OK)
                     && (!(t->jit_flags & MBJ_FAST_CHECK_SEEN) || t->clazz == own->clazz))
                    || (!(t->access & ACC_COMPILED) && t->code_length <= TINY_BYTES
                        && is_direct_inlinable_method_by_fast_check(t, m->inlining));
        if (empty || fast) {
            t->jit_flags |= MBJ_FRAME_SAFE;
            s->flags |= empty ? MCS_EMPTY_CALLEE : MCS_SMALL_CALLEE;
            if (!(s->flags & DISPATCH_RUNTIME))
                s->flags |= MCS_DIRECT_SMALL;
            return;
        }
    }
    if (t->code_length <= SMALL_BYTES)
        s->flags |= MCS_SMALL_CALLEE;
}

} // namespace

int check_and_register_invocation_info(method_compile_context* m, misinfo* caller, int resolved,
                                       methodblock* target, const char* signature, int kind, u4 pc, int tail,
                                       int quick)
{
    auto* s = static_cast<mi_call_site*>(jit_wmem_alloc(m->pool1, sizeof(mi_call_site)));
    if (s == nullptr)
        return 1;
    memset(s, 0, sizeof *s);
    s->slot = -1;
    s->pc = pc;
    s->flags = (resolved ? MCS_RESOLVED : 0) | (static_cast<u4>(kind) & MCS_KIND_MASK) | MCS_STALE_LOCATION;
    methodblock* own = caller->mb;
    methodblock* t = target;
    if (t == nullptr) {
        s->target = const_cast<char*>(signature);
    } else {
        s->slot = static_cast<int16_t>(t->slot);
        s->flags |= TARGET_METHOD;
        s->target = t;
        bool unmarked = !(t->jit_flags & MBJ_NOT_INLINABLE) || t == own;
        switch (kind) {
        case MI_KIND_STATIC:
        case MI_KIND_STATIC_QUICK:
            if (unmarked)
                s->flags |= MCS_CANDIDATE | MCS_ANALYSE;
            set_dispatch(s, DISPATCH_STATIC);
            // The reflective replacement of Class.forName takes two spare
            // quadruple records in the block.
            if (is_forName(t)) {
                caller->special_call_count += 2;
                clear(s, MCS_ANALYSE);
            }
            break;
        case MI_KIND_SPECIAL:
            set_dispatch(s, DISPATCH_SPECIAL);
            break;
        case MI_KIND_NONVIRTUAL:
        case MI_KIND_SUPER:
            if (unmarked)
                s->flags |= MCS_CANDIDATE | MCS_ANALYSE;
            set_dispatch(s, DISPATCH_SPECIAL);
            if (is_newIncetance(t)) {
                caller->special_call_count += 2;
                clear(s, MCS_ANALYSE);
            }
            break;
        case MI_KIND_VIRTUAL:
        case MI_KIND_VIRTUAL_QUICK:
        case MI_KIND_OBJECT:
            register_virtual(m, caller, s, t);
            s->target = t;
            break;
        case MI_KIND_INTERFACE:
        case MI_KIND_INTERFACE_RESOLVED:
            register_interface(m, caller, s, t);
            break;
        default:
            s->flags |= MCS_KIND_RANGE;
            break;
        }
        if (t == own) {
            s->flags |= MCS_SELF_RECURSIVE;
            own->jit_flags = (own->jit_flags | MBJ_NOT_INLINABLE | MBJ_RECURSIVE) & ~MBJ_TRIVIAL_INLINABLE;
        } else if (t->jit_flags & MBJ_FRAME_UNSAFE) {
            if (compile_option3_flag & OPT3_NNESTEDVIRTUAL) {
                not_inlinable(own);
                clear(s, MCS_ANALYSE);
            }
            own->jit_flags |= MBJ_FRAME_UNSAFE;
            s->flags |= MCS_SAFETY_JUDGED;
        }
        if (s->flags & MCS_ANALYSE)
            judge_walked_site(m, caller, s, t);
    }
    // Step 7 onwards applies to every site.
    if (t != nullptr && t != own && (t->jit_flags & MBJ_NOT_INLINABLE))
        clear(s, MCS_ANALYSE);
    if (tail)
        s->flags |= MCS_TAIL;
    if (mi_mmi_before_compile > 0 && t != nullptr && !(m->state_flags & MCC_MMI2JIT) && !quick
        && !(s->flags & (MCS_EMPTY_CALLEE | MCS_TRIVIAL_CALLEE | MCS_SMALL_CALLEE)))
        clear(s, MCS_CANDIDATE | MCS_ANALYSE);
    if (t != nullptr && !(t->jit_flags & MBJ_NOT_INLINABLE) && t->clazz != nullptr) {
        const char* cls = t->clazz->name;
        if (strcmp(t->name, "indexOf") == 0 && strcmp(cls, "java/lang/String") == 0) {
            clear(s, MCS_ANALYSE);
            not_inlinable(t);
        } else if (!trivial(t) && strlen(cls) > 18 && ends_with(cls, "Exception")) {
            clear(s, MCS_CANDIDATE | MCS_ANALYSE);
            not_inlinable(t);
        }
    }
    s->next = caller->call_sites;
    caller->call_sites = s;
    return 0;
}
