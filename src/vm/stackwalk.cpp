// Stack walks: the VM's own frame-interface walkers (interpreter frames
// only: iterator kinds 0 and 5), Throwable backtraces and their text.
//
// The walkers follow EE+8 and the frames' prev words.  They are installed
// in frame-interface slots 0-17 at boot; the compiler replaces them with
// walkers that also see compiled frames, so every walk the VM does goes
// through the table (orva_FrameIntf) and works the same with and without a
// compiler.  VM walks skip frames without a method (thread base, call-in
// markers, transition areas).
//
// Backtrace: an int[] of (method block, pc word) pairs, newest first, in
// Throwable.backtrace; pc word = bytecode address for interpreted frames,
// 0 for native methods, 1 for compiled code.  Text of an entry:
// "Class.method(File:line)", "Class.method(File)" without a line table,
// "Class.method(Unknown Source)", "(Native Method)" or "(Compiled Code)".
#include <unistd.h>
#include <cstdio>
#include <cstring>

#include "interp.h"

namespace {

constexpr int MAX_BACKTRACE = 1024;       // frames recorded per throwable
constexpr u4 PC_NATIVE = 0;
constexpr u4 PC_COMPILED = 1;

thread_local int fi_mode;

typedef void (*fi_init_fn)(EE*, frame_iterator*);
typedef void (*fi_clone_fn)(frame_iterator*, frame_iterator*);
typedef void (*fi_prev_fn)(frame_iterator*);
typedef int (*fi_more_fn)(frame_iterator*);
typedef methodblock* (*fi_method_fn)(frame_iterator*);
typedef u1* (*fi_lastpc_fn)(frame_iterator*);
typedef int (*fi_is_jit_fn)(frame_iterator*);
typedef int (*pc_in_compiled_fn)(void* pc, methodblock* mb);

// Frame-interface slot, or the VM's own walker when the table is not set
// up (unit tests, early start-up).
template <typename F> F fi_slot(int slot, F own)
{
    void* p = orva_FrameIntf[slot];
    return p ? reinterpret_cast<F>(p) : own;
}

struct walker {
    fi_init_fn init;
    fi_clone_fn clone;
    fi_prev_fn prev;
    fi_more_fn more;
    fi_method_fn method;
    fi_lastpc_fn lastpc;
    fi_is_jit_fn is_jit;
};

walker current_walker()
{
    walker w;
    w.init = fi_slot<fi_init_fn>(FI_INIT, vm_fi_init);
    w.clone = fi_slot<fi_clone_fn>(FI_CLONE, vm_fi_clone);
    w.prev = fi_slot<fi_prev_fn>(FI_PREV, vm_fi_prev);
    w.more = fi_slot<fi_more_fn>(FI_MORE, vm_fi_more);
    w.method = fi_slot<fi_method_fn>(FI_METHOD, vm_fi_method);
    w.lastpc = fi_slot<fi_lastpc_fn>(FI_LASTPC, vm_fi_lastpc);
    w.is_jit = fi_slot<fi_is_jit_fn>(FI_IS_JIT_FRAME, vm_fi_is_jit_frame);
    return w;
}

// The pc word a backtrace records for the iterator's frame.
u4 frame_pc_word(const walker& w, frame_iterator* it, methodblock* mb)
{
    if (mb->access & ACC_NATIVE)
        return PC_NATIVE;
    u1* pc = w.lastpc(it);
    if (w.is_jit(it))
        return PC_COMPILED;
    if (auto hook = reinterpret_cast<pc_in_compiled_fn>(vm_hook_pc_in_compiled))
        if (pc && hook(pc, mb))
            return PC_COMPILED;
    return reinterpret_cast<u4>(pc);
}

fieldblock* backtrace_field()
{
    static fieldblock* cached;
    if (cached)
        return cached;
    classblock* t = vm_class_Throwable;
    if (!t)
        return nullptr;
    for (u4 i = 0; i < t->fields_count; ++i)
        if (std::strcmp(t->fields[i].name, "backtrace") == 0 && !(t->fields[i].access & ACC_STATIC))
            return cached = &t->fields[i];
    return nullptr;
}

jref backtrace_of(jref throwable)
{
    fieldblock* fb = throwable ? backtrace_field() : nullptr;
    if (!fb)
        return nullptr;
    jref bt = reinterpret_cast<jref>(vm_field<u4>(throwable, fb->value));
    if (!bt || !vm_is_array(bt) || vm_array_type(bt) != T_INT)
        return nullptr;
    return bt;
}

size_t append(char* buf, size_t len, size_t at, const char* s)
{
    while (*s && at + 1 < len)
        buf[at++] = *s++;
    if (len)
        buf[at < len ? at : len - 1] = 0;
    return at;
}

}  // namespace

// ---------------------------------------------------------------------------
// The VM's frame-interface walkers
// ---------------------------------------------------------------------------

extern "C" void vm_fi_init(EE* ee, frame_iterator* it)
{
    std::memset(it, 0, sizeof *it);
    it->interp_frame = ee ? ee->current_frame : nullptr;
    it->kind = it->interp_frame ? FIK_INTERPRETER : FIK_END;
}

extern "C" void vm_fi_clone(frame_iterator* src, frame_iterator* dst)
{
    *dst = *src;
}

extern "C" void vm_fi_prev(frame_iterator* it)
{
    if (it->kind == FIK_END)
        return;
    JavaFrame* f = it->interp_frame ? it->interp_frame->prev : nullptr;
    it->interp_frame = f;
    it->kind = f ? FIK_INTERPRETER : FIK_END;
}

extern "C" int vm_fi_more(frame_iterator* it)
{
    return it->kind != FIK_END;
}

extern "C" methodblock* vm_fi_method(frame_iterator* it)
{
    return it->kind == FIK_INTERPRETER && it->interp_frame ? it->interp_frame->method : nullptr;
}

extern "C" u1* vm_fi_lastpc(frame_iterator* it)
{
    return it->kind == FIK_INTERPRETER && it->interp_frame ? it->interp_frame->lastpc : nullptr;
}

extern "C" void* vm_fi_target(frame_iterator*)
{
    return nullptr;
}

extern "C" u4 vm_fi_frame_address(frame_iterator* it)
{
    if (it->kind >= FIK_COMPILED && it->kind <= FIK_TRANSITION)
        return it->frame & ~TR_TAG_MASK;
    if (it->kind != FIK_INTERPRETER || !it->interp_frame)
        return 0;
    JavaFrame* f = it->interp_frame;
    if (f->activation)
        return vm_reg_address(f->activation);
    EE* ee = vm_current_ee();
    return ee ? ee->area + THREAD_AREA_SIZE : 0;
}

// The current frame: the newest frame with a method.
static JavaFrame* current_method_frame(EE* ee)
{
    for (JavaFrame* f = ee ? ee->current_frame : nullptr; f; f = f->prev)
        if (f->method)
            return f;
    return nullptr;
}

extern "C" int vm_fi_current_frame_exists(EE* ee)
{
    return current_method_frame(ee) != nullptr;
}

extern "C" methodblock* vm_fi_current_frame_method(EE* ee)
{
    JavaFrame* f = current_method_frame(ee);
    return f ? f->method : nullptr;
}

extern "C" u1* vm_fi_current_frame_lastpc(EE* ee)
{
    JavaFrame* f = current_method_frame(ee);
    return f ? f->lastpc : nullptr;
}

extern "C" u4 vm_fi_current_frame_address(EE* ee)
{
    frame_iterator it;
    std::memset(&it, 0, sizeof it);
    it.interp_frame = current_method_frame(ee);
    it.kind = it.interp_frame ? FIK_INTERPRETER : FIK_END;
    return vm_fi_frame_address(&it);
}

extern "C" int vm_fi_set_mode(EE*, int mode)
{
    int old = fi_mode;
    fi_mode = mode;
    return old;
}

extern "C" int vm_fi_get_mode(EE*)
{
    return fi_mode;
}

extern "C" void vm_fi_thread_post_exception(EE*, jref) {}

extern "C" int vm_fi_is_jit_frame(frame_iterator*)
{
    return 0;
}

extern "C" u4 vm_fi_get_id(frame_iterator* it)
{
    return reinterpret_cast<u4>(it->interp_frame);
}

extern "C" void vm_fi_set(frame_iterator* it, u4 id)
{
    std::memset(it, 0, sizeof *it);
    it->interp_frame = reinterpret_cast<JavaFrame*>(id);
    it->kind = id ? FIK_INTERPRETER : FIK_END;
}

// ---------------------------------------------------------------------------
// Backtraces
// ---------------------------------------------------------------------------

// Positions the iterator on the newest frame to record: past frames without
// a method, fillInStackTrace and the throwable's own constructors.
static void skip_to_thrower(const walker& w, frame_iterator* it, classblock* tcls)
{
    for (; w.more(it); w.prev(it)) {
        methodblock* mb = w.method(it);
        if (!mb)
            continue;
        if (std::strcmp(mb->name, "fillInStackTrace") == 0 && vm_is_subclass_of(mb->clazz, vm_class_Throwable))
            continue;
        if (std::strcmp(mb->name, "<init>") == 0 && vm_is_subclass_of(tcls, mb->clazz)
            && vm_is_subclass_of(mb->clazz, vm_class_Throwable))
            continue;
        return;
    }
}

void vm_fill_in_stack_trace(EE* ee, jref throwable)
{
    fieldblock* fb = backtrace_field();
    if (!fb || !throwable)
        return;
    classblock* tcls = vm_class_of(throwable);
    walker w = current_walker();
    // Two walks: count, then record into an array of the right size.
    frame_iterator start, it;
    w.init(ee, &start);
    skip_to_thrower(w, &start, tcls);
    int n = 0;
    for (w.clone(&start, &it); w.more(&it) && n < MAX_BACKTRACE; w.prev(&it))
        if (w.method(&it))
            n++;
    jref bt = vm_alloc_array_noraise(T_INT, 2 * n);
    vm_field<u4>(throwable, fb->value) = reinterpret_cast<u4>(bt);
    if (!bt)
        return;
    u4* words = vm_array_elems<u4>(bt);
    int k = 0;
    for (w.clone(&start, &it); w.more(&it) && k < n; w.prev(&it)) {
        methodblock* mb = w.method(&it);
        if (!mb)
            continue;
        words[2 * k] = reinterpret_cast<u4>(mb);
        words[2 * k + 1] = frame_pc_word(w, &it, mb);
        k++;
    }
}

int vm_backtrace_depth(jref throwable)
{
    jref bt = backtrace_of(throwable);
    return bt ? vm_array_length(bt) / 2 : 0;
}

char* vm_frame_text(methodblock* mb, const u1* pc, char* buf, size_t len)
{
    if (!len)
        return buf;
    char cls[256];
    vm_class_name_dotted(mb->clazz, cls, sizeof cls);
    size_t at = append(buf, len, 0, cls);
    at = append(buf, len, at, ".");
    at = append(buf, len, at, mb->name);
    at = append(buf, len, at, "(");
    u4 pcw = reinterpret_cast<u4>(pc);
    if ((mb->access & ACC_NATIVE) || pcw == PC_NATIVE) {
        at = append(buf, len, at, "Native Method");
    } else if (pcw == PC_COMPILED) {
        at = append(buf, len, at, "Compiled Code");
    } else {
        const char* src = mb->clazz->source_file;
        int line = vm_line_number(mb, pc);
        if (!src) {
            at = append(buf, len, at, "Unknown Source");
        } else if (line >= 0) {
            char num[16];
            std::snprintf(num, sizeof num, ":%d", line);
            at = append(buf, len, at, src);
            at = append(buf, len, at, num);
        } else {
            at = append(buf, len, at, src);
        }
    }
    append(buf, len, at, ")");
    return buf;
}

char* vm_backtrace_line(jref throwable, int index, char* buf, size_t len)
{
    jref bt = backtrace_of(throwable);
    if (!bt || index < 0 || index >= vm_array_length(bt) / 2)
        return nullptr;
    const u4* w = vm_array_elems<u4>(bt);
    auto* mb = reinterpret_cast<methodblock*>(w[2 * index]);
    return vm_frame_text(mb, reinterpret_cast<const u1*>(w[2 * index + 1]), buf, len);
}

void vm_dump_java_stack(EE* ee, int fd)
{
    walker w = current_walker();
    frame_iterator it;
    w.init(ee, &it);
    char line[512];
    for (; w.more(&it); w.prev(&it)) {
        methodblock* mb = w.method(&it);
        if (!mb)
            continue;
        u4 pcw = frame_pc_word(w, &it, mb);
        vm_frame_text(mb, reinterpret_cast<const u1*>(pcw), line, sizeof line);
        dprintf(fd, "\tat %s\n", line);
    }
}
