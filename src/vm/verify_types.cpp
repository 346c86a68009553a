// Type-level verifier: type inference over every method of a class, run when
// the class is linked, before it is published, so that the interpreter and
// the compiler only ever see well-typed code.
//
// Requires the structural verifier (verify.cpp) to have accepted every
// method: instructions decode, targets are instruction starts, local indexes
// fit, constant-pool operands carry the right tags and the operand-stack
// depth is consistent.  This pass checks what those rules leave open:
//   - the types of operands, locals, fields, arguments and results, over the
//     lattice top > {int, float, long pair, double pair, return address,
//     uninitialised object of a `new` site, uninitialised this, reference};
//     references carry their class name (arrays in descriptor form) and null
//     is below every reference;
//   - joins: stack entries must agree (references meet at their first common
//     superclass, an interface counts as java/lang/Object), locals that
//     disagree become unusable;
//   - objects are used only after their constructor ran, and a constructor
//     calls its superclass's or another own constructor before it returns;
//   - `ret` returns through a local that holds a return address of a
//     subroutine the code is in.  Subroutines are verified once per calling
//     context (the chain of jsr sites that led there), so their states are
//     exact and need no merging of the callers' locals;
//   - protected members of a superclass in another package are reached only
//     through references of this class or its subclasses.
// Interface types are treated like java/lang/Object: invokeinterface checks
// its receiver when it runs.
//
// Checking whether one class is assignable to another needs the classes
// involved, as in the classic VM.  They are only read (vm_class_for_verifier),
// not linked: linking a subclass of the class being verified would need that
// class published first, a loading cycle.  The read-ahead class block is the
// one a later load links.
//
// Sketch: the code is cut into blocks (pc 0, branch, switch and jsr targets,
// the instruction after each jsr, exception handlers).  A state (locals and
// operand stack) is kept per block and calling context; a worklist runs each
// block from its state, merging into the blocks it reaches and into the
// handlers that cover each instruction, until nothing changes.
//
// Errors: VerifyError "(class: C, method: M signature: S) what at pc N"; an
// error from loading a class the check needs (NoClassDefFoundError ...) is
// raised as it is.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "interp.h"

namespace {

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// A type is (data << 4) | kind.
typedef u4 vtype;
enum vkind : u4 {
    VT_TOP = 0,         // unusable
    VT_INT,
    VT_FLOAT,
    VT_LONG,            // first (lower-index) word of a long
    VT_LONG2,           // its second word
    VT_DOUBLE,
    VT_DOUBLE2,
    VT_NULL,
    VT_UNINIT_THIS,     // `this` in a constructor before super()/this()
    VT_REF,             // data: name id
    VT_UNINIT,          // data: pc of the `new` that made it
    VT_RETADDR,         // data: pc the subroutine returns to
};
inline vtype mk(u4 kind, u4 data = 0) { return data << 4 | kind; }
inline u4 kind_of(vtype t) { return t & 15; }
inline u4 data_of(vtype t) { return t >> 4; }
inline bool is_reference(vtype t) { return kind_of(t) == VT_REF || kind_of(t) == VT_NULL; }
inline bool is_pair_low(vtype t) { return kind_of(t) == VT_LONG || kind_of(t) == VT_DOUBLE; }
inline bool is_pair_high(vtype t) { return kind_of(t) == VT_LONG2 || kind_of(t) == VT_DOUBLE2; }

constexpr const char* OBJECT = "java/lang/Object";
constexpr u4 MAX_CONTEXTS = 512;        // calling contexts of subroutines per method
constexpr u4 NO_BLOCK = 0xFFFFFFFFu;

// Bump allocator for one class's verification, freed whole at the end.
struct arena_chunk {
    arena_chunk* next;
    size_t used;
    size_t size;
    alignas(8) u1 data[1];
};

// Calling context: the jsr that entered the innermost subroutine, and the
// context it was executed in (context 0: the method body itself).
struct context {
    u4 parent;
    u4 jsr_pc;
    u4 entry_pc;                        // subroutine start
    u4 return_pc;                       // instruction after the jsr
};

// Locals [0, nlocals) then the operand stack [0, sp).
struct vstate {
    u2 sp;
    u1 this_uninit;                     // some path has not called super()/this() yet
    u1 queued;                          // on the worklist
    vtype slot[1];
};

struct work_item {
    u4 block;
    u4 ctx;
};

struct tverifier {
    EE* ee;
    classblock* cb;
    methodblock* mb;
    const u1* code;
    u4 len;
    u4 nlocals;
    u4 maxstack;
    bool failed;

    arena_chunk* arena;

    // Interned reference names.
    const char** names;
    u4 nnames;
    u4 names_cap;
    u4* name_hash;                      // open addressing: id + 1, 0 = empty
    u4 name_hash_size;

    // Blocks.
    u4* block_of;                       // per pc, NO_BLOCK when not a block start
    u4* block_pc;
    u4 nblocks;

    // Contexts and states: rows[ctx][block].
    context* contexts;
    u4 ncontexts;
    vstate*** rows;

    work_item* work;
    u4 nwork;
    u4 work_cap;

    // The state being executed.
    vstate* cur;
    u4 pc;
    u4 ctx;

    // Exception handlers with their catch types.
    exception_entry* handlers;
    u4 nhandlers;
    vtype* catch_types;

    vtype object_type;
    vtype string_type;
    vtype class_type;
    vtype throwable_type;
};

void* arena_alloc(tverifier& v, size_t n)
{
    n = (n + 7) & ~static_cast<size_t>(7);
    arena_chunk* c = v.arena;
    if (!c || c->used + n > c->size) {
        size_t size = n > 60000 ? n : 60000;
        c = static_cast<arena_chunk*>(std::malloc(sizeof(arena_chunk) + size));
        if (!c)
            return nullptr;
        c->next = v.arena;
        c->used = 0;
        c->size = size;
        v.arena = c;
    }
    void* p = c->data + c->used;
    c->used += n;
    std::memset(p, 0, n);
    return p;
}

void arena_free(tverifier& v)
{
    while (v.arena) {
        arena_chunk* next = v.arena->next;
        std::free(v.arena);
        v.arena = next;
    }
}

// ---------------------------------------------------------------------------
// Errors
// ---------------------------------------------------------------------------

bool fail(tverifier& v, const char* what)
{
    if (!v.failed) {
        v.failed = true;
        if (!vm_exception_pending(v.ee))
            vm_throwf(v.ee, "java/lang/VerifyError", "(class: %s, method: %s signature: %s) %s at pc %u",
                      v.cb->name, v.mb->name, v.mb->signature, what, v.pc);
    }
    return false;
}

// A class-loading error (already pending) ends the verification as it is.
bool fail_pending(tverifier& v)
{
    v.failed = true;
    return false;
}

bool out_of_memory(tverifier& v)
{
    if (!v.failed) {
        v.failed = true;
        vm_throw(v.ee, "java/lang/OutOfMemoryError", "verifier");
    }
    return false;
}

// ---------------------------------------------------------------------------
// Names
// ---------------------------------------------------------------------------

u4 hash_bytes(const char* s, size_t n)
{
    u4 h = 2166136261u;
    for (size_t i = 0; i < n; i++)
        h = (h ^ static_cast<u1>(s[i])) * 16777619u;
    return h;
}

bool grow_names(tverifier& v)
{
    u4 cap = v.names_cap ? v.names_cap * 2 : 64;
    auto* names = static_cast<const char**>(arena_alloc(v, cap * sizeof(const char*)));
    auto* hash = static_cast<u4*>(arena_alloc(v, 2 * cap * sizeof(u4)));
    if (!names || !hash)
        return false;
    if (v.nnames)
        std::memcpy(names, v.names, v.nnames * sizeof(const char*));
    for (u4 id = 0; id < v.nnames; id++) {
        u4 h = hash_bytes(names[id], std::strlen(names[id])) & (2 * cap - 1);
        while (hash[h])
            h = (h + 1) & (2 * cap - 1);
        hash[h] = id + 1;
    }
    v.names = names;
    v.names_cap = cap;
    v.name_hash = hash;
    v.name_hash_size = 2 * cap;
    return true;
}

// The reference type of the name s[0, n); 0 (top) when out of memory.
vtype ref_named(tverifier& v, const char* s, size_t n)
{
    if (v.nnames == v.names_cap && !grow_names(v)) {
        out_of_memory(v);
        return mk(VT_TOP);
    }
    u4 mask = v.name_hash_size - 1;
    u4 h = hash_bytes(s, n) & mask;
    for (; v.name_hash[h]; h = (h + 1) & mask) {
        const char* e = v.names[v.name_hash[h] - 1];
        if (std::strncmp(e, s, n) == 0 && e[n] == 0)
            return mk(VT_REF, v.name_hash[h] - 1);
    }
    char* copy = static_cast<char*>(arena_alloc(v, n + 1));
    if (!copy) {
        out_of_memory(v);
        return mk(VT_TOP);
    }
    std::memcpy(copy, s, n);
    u4 id = v.nnames++;
    v.names[id] = copy;
    v.name_hash[h] = id + 1;
    return mk(VT_REF, id);
}

vtype ref_named(tverifier& v, const char* s) { return ref_named(v, s, std::strlen(s)); }
const char* name_of(tverifier& v, vtype t) { return v.names[data_of(t)]; }

// Type of the field descriptor at s (advanced past it) into out[0..words).
int descriptor_type(tverifier& v, const char*& s, vtype out[2])
{
    switch (*s++) {
    case 'Z': case 'B': case 'C': case 'S': case 'I':
        out[0] = mk(VT_INT);
        return 1;
    case 'F':
        out[0] = mk(VT_FLOAT);
        return 1;
    case 'J':
        out[0] = mk(VT_LONG);
        out[1] = mk(VT_LONG2);
        return 2;
    case 'D':
        out[0] = mk(VT_DOUBLE);
        out[1] = mk(VT_DOUBLE2);
        return 2;
    case 'L': {
        const char* end = std::strchr(s, ';');
        out[0] = ref_named(v, s, static_cast<size_t>(end - s));
        s = end + 1;
        return 1;
    }
    case '[': {
        const char* start = s - 1;
        while (*s == '[')
            s++;
        if (*s == 'L')
            s = std::strchr(s, ';');
        s++;
        out[0] = ref_named(v, start, static_cast<size_t>(s - start));
        return 1;
    }
    default:
        return 0;   // 'V'
    }
}

// Element type of an array name ("[I" -> int, "[[I" -> "[I", "[LA;" -> A).
vtype element_of(tverifier& v, const char* array_name)
{
    const char* s = array_name + 1;
    vtype t[2];
    descriptor_type(v, s, t);
    return t[0];
}

// Array whose elements have the reference type t.
vtype array_of(tverifier& v, const char* element)
{
    size_t n = std::strlen(element);
    char* buf = static_cast<char*>(std::malloc(n + 4));
    if (!buf) {
        out_of_memory(v);
        return mk(VT_TOP);
    }
    if (element[0] == '[')
        std::snprintf(buf, n + 4, "[%s", element);
    else
        std::snprintf(buf, n + 4, "[L%s;", element);
    vtype t = ref_named(v, buf);
    std::free(buf);
    return t;
}

// ---------------------------------------------------------------------------
// Class hierarchy
// ---------------------------------------------------------------------------

// The class of a (non-array) name, possibly only read ahead (its superclass
// then only named); 0 with the loading error pending.
classblock* class_named(tverifier& v, const char* name)
{
    if (std::strcmp(name, v.cb->name) == 0)
        return v.cb;
    classblock* c = vm_class_for_verifier(v.ee, name);
    if (!c)
        fail_pending(v);
    return c;
}

// The superclass of c (0 for java/lang/Object); false on a loading error.
bool super_of(tverifier& v, classblock* c, classblock** out)
{
    *out = c->superclass;
    if (*out || !c->super_name)
        return true;
    *out = class_named(v, c->super_name);
    return *out != nullptr;
}

// 1 when class d is s or a superclass of s, 0 when not, -1 on an error.
int is_superclass(tverifier& v, classblock* s, classblock* d)
{
    int depth = 0;
    for (classblock* c = s; c;) {
        if (c == d || std::strcmp(c->name, d->name) == 0)
            return 1;
        if (++depth > 4096) {
            fail(v, "Circular or too deep class hierarchy");
            return -1;
        }
        if (!super_of(v, c, &c))
            return -1;
    }
    return 0;
}

bool is_primitive_descriptor(char c) { return c != 'L' && c != '['; }

// Is a reference of class/array `src` assignable to `dst`?  1 yes, 0 no,
// -1 loading failed (pending).
int names_assignable(tverifier& v, const char* src, const char* dst)
{
    if (src == dst || std::strcmp(src, dst) == 0 || std::strcmp(dst, OBJECT) == 0)
        return 1;
    if (dst[0] == '[') {
        if (src[0] != '[')
            return 0;
        if (is_primitive_descriptor(src[1]) || is_primitive_descriptor(dst[1]))
            return src[1] == dst[1] && src[2] == 0 && dst[2] == 0;
        vtype es = element_of(v, src);
        vtype ed = element_of(v, dst);
        if (v.failed)
            return -1;
        return names_assignable(v, name_of(v, es), name_of(v, ed));
    }
    classblock* d = class_named(v, dst);
    if (!d)
        return -1;
    if (d->access & ACC_INTERFACE)
        return 1;
    if (src[0] == '[')
        return 0;
    classblock* s = class_named(v, src);
    if (!s)
        return -1;
    if (s->access & ACC_INTERFACE)
        return 0;
    return is_superclass(v, s, d);
}

// 1 when a value of type src may be stored where dst is expected.
int assignable(tverifier& v, vtype src, vtype dst)
{
    if (src == dst || kind_of(dst) == VT_TOP)
        return 1;
    if (kind_of(dst) != VT_REF)
        return 0;
    if (kind_of(src) == VT_NULL)
        return 1;
    if (kind_of(src) != VT_REF)
        return 0;
    return names_assignable(v, name_of(v, src), name_of(v, dst));
}

// First common superclass of two different reference names.
vtype common_superclass(tverifier& v, vtype a, vtype b)
{
    const char* na = name_of(v, a);
    const char* nb = name_of(v, b);
    if (na[0] == '[' || nb[0] == '[') {
        if (na[0] != '[' || nb[0] != '[' || is_primitive_descriptor(na[1]) || is_primitive_descriptor(nb[1]))
            return v.object_type;
        vtype ea = element_of(v, na);
        vtype eb = element_of(v, nb);
        if (v.failed)
            return mk(VT_TOP);
        vtype e = ea == eb ? ea : common_superclass(v, ea, eb);
        if (v.failed)
            return mk(VT_TOP);
        return array_of(v, name_of(v, e));
    }
    classblock* ca = class_named(v, na);
    classblock* cb = ca ? class_named(v, nb) : nullptr;
    if (!cb)
        return mk(VT_TOP);
    if ((ca->access & ACC_INTERFACE) || (cb->access & ACC_INTERFACE))
        return v.object_type;
    int depth = 0;
    for (classblock* c = ca; c;) {
        int r = is_superclass(v, cb, c);
        if (r < 0)
            return mk(VT_TOP);
        if (r)
            return c == ca ? a : ref_named(v, c->name);
        if (++depth > 4096) {
            fail(v, "Circular or too deep class hierarchy");
            return mk(VT_TOP);
        }
        if (!super_of(v, c, &c))
            return mk(VT_TOP);
    }
    return v.object_type;
}

// Join of two types; `strict` (stack entries) fails on a conflict, locals
// become top.  Sets *changed when the result differs from `old`.
bool merge_type(tverifier& v, vtype old, vtype in, bool strict, vtype* out)
{
    if (old == in) {
        *out = old;
        return true;
    }
    if (is_reference(old) && is_reference(in)) {
        if (kind_of(old) == VT_NULL)
            *out = in;
        else if (kind_of(in) == VT_NULL)
            *out = old;
        else
            *out = common_superclass(v, old, in);
        return !v.failed;
    }
    if (strict)
        return fail(v, "Incompatible types on the operand stack at a join");
    *out = mk(VT_TOP);
    return true;
}

// ---------------------------------------------------------------------------
// States, contexts, worklist
// ---------------------------------------------------------------------------

size_t state_size(tverifier& v)
{
    return offsetof(vstate, slot) + (v.nlocals + v.maxstack + 1) * sizeof(vtype);
}

vtype* locals_of(vstate* s) { return s->slot; }
vtype* stack_of(tverifier& v, vstate* s) { return s->slot + v.nlocals; }

bool enqueue(tverifier& v, u4 block, u4 ctx)
{
    vstate* s = v.rows[ctx][block];
    if (s->queued)
        return true;
    if (v.nwork == v.work_cap) {
        u4 cap = v.work_cap ? v.work_cap * 2 : 64;
        auto* w = static_cast<work_item*>(arena_alloc(v, cap * sizeof(work_item)));
        if (!w)
            return out_of_memory(v);
        if (v.nwork)
            std::memcpy(w, v.work, v.nwork * sizeof(work_item));
        v.work = w;
        v.work_cap = cap;
    }
    s->queued = 1;
    v.work[v.nwork++] = work_item{block, ctx};
    return true;
}

bool ensure_row(tverifier& v, u4 ctx)
{
    if (v.rows[ctx])
        return true;
    v.rows[ctx] = static_cast<vstate**>(arena_alloc(v, v.nblocks * sizeof(vstate*)));
    return v.rows[ctx] ? true : out_of_memory(v);
}

// Merges `in` (locals, and `sp` stack entries from `stack`) into the state
// of a block in a context.
bool merge_into(tverifier& v, u4 block, u4 ctx, const vtype* locals, const vtype* stack, u4 sp, u1 this_uninit)
{
    if (!ensure_row(v, ctx))
        return false;
    vstate*& dst = v.rows[ctx][block];
    if (!dst) {
        dst = static_cast<vstate*>(arena_alloc(v, state_size(v)));
        if (!dst)
            return out_of_memory(v);
        std::memcpy(locals_of(dst), locals, v.nlocals * sizeof(vtype));
        std::memcpy(stack_of(v, dst), stack, sp * sizeof(vtype));
        dst->sp = static_cast<u2>(sp);
        dst->this_uninit = this_uninit;
        return enqueue(v, block, ctx);
    }
    if (dst->sp != sp)
        return fail(v, "Inconsistent stack height");
    bool changed = false;
    vtype* dl = locals_of(dst);
    for (u4 i = 0; i < v.nlocals; i++) {
        vtype t;
        if (!merge_type(v, dl[i], locals[i], false, &t))
            return false;
        if (t != dl[i]) {
            dl[i] = t;
            changed = true;
        }
    }
    vtype* ds = stack_of(v, dst);
    for (u4 i = 0; i < sp; i++) {
        vtype t;
        if (!merge_type(v, ds[i], stack[i], true, &t))
            return false;
        if (t != ds[i]) {
            ds[i] = t;
            changed = true;
        }
    }
    if (this_uninit && !dst->this_uninit) {
        dst->this_uninit = 1;
        changed = true;
    }
    return changed ? enqueue(v, block, ctx) : true;
}

bool flow(tverifier& v, u4 target, u4 ctx)
{
    u4 b = target < v.len ? v.block_of[target] : NO_BLOCK;
    if (b == NO_BLOCK)
        return fail(v, "Internal verifier error: branch target is not a block");
    return merge_into(v, b, ctx, locals_of(v.cur), stack_of(v, v.cur), v.cur->sp, v.cur->this_uninit);
}

// ---------------------------------------------------------------------------
// Operand stack and locals of the current state
// ---------------------------------------------------------------------------

bool push(tverifier& v, vtype t)
{
    if (kind_of(t) == VT_TOP && v.failed)
        return false;
    if (v.cur->sp >= v.maxstack)
        return fail(v, "Stack size too large");
    stack_of(v, v.cur)[v.cur->sp++] = t;
    return true;
}

bool push_words(tverifier& v, const vtype* t, int n)
{
    for (int i = 0; i < n; i++) {
        if (!push(v, t[i]))
            return false;
    }
    return true;
}

bool pop_any(tverifier& v, vtype* out)
{
    if (v.cur->sp == 0)
        return fail(v, "Unable to pop operand off an empty stack");
    *out = stack_of(v, v.cur)[--v.cur->sp];
    return true;
}

bool pop_kind(tverifier& v, u4 kind, const char* what)
{
    vtype t;
    if (!pop_any(v, &t))
        return false;
    if (kind_of(t) != kind)
        return fail(v, what);
    return true;
}

bool pop_int(tverifier& v) { return pop_kind(v, VT_INT, "Expecting to find integer on stack"); }
bool pop_float(tverifier& v) { return pop_kind(v, VT_FLOAT, "Expecting to find float on stack"); }
bool pop_long(tverifier& v)
{
    return pop_kind(v, VT_LONG2, "Expecting to find long on stack") && pop_kind(v, VT_LONG, "Expecting to find long on stack");
}
bool pop_double(tverifier& v)
{
    return pop_kind(v, VT_DOUBLE2, "Expecting to find double on stack")
           && pop_kind(v, VT_DOUBLE, "Expecting to find double on stack");
}

// An initialised reference or null.
bool pop_reference(tverifier& v, vtype* out)
{
    if (!pop_any(v, out))
        return false;
    if (!is_reference(*out))
        return fail(v, "Expecting to find object/array on stack");
    return true;
}

// A value of descriptor type words t[0..n): checked against the expected type.
bool pop_typed(tverifier& v, const vtype* t, int n)
{
    if (n == 2) {
        vtype a, b;
        if (!pop_any(v, &b) || !pop_any(v, &a))
            return false;
        if (a != t[0] || b != t[1])
            return fail(v, kind_of(t[0]) == VT_LONG ? "Expecting to find long on stack" : "Expecting to find double on stack");
        return true;
    }
    vtype a;
    if (!pop_any(v, &a))
        return false;
    if (kind_of(t[0]) == VT_REF) {
        if (!is_reference(a))
            return fail(v, "Expecting to find object/array on stack");
        int r = assignable(v, a, t[0]);
        if (r < 0)
            return false;
        if (!r)
            return fail(v, "Incompatible object argument for function call");
        return true;
    }
    if (a != t[0])
        return fail(v, kind_of(t[0]) == VT_INT ? "Expecting to find integer on stack" : "Expecting to find float on stack");
    return true;
}

bool pop_primitive(tverifier& v, char c)
{
    switch (c) {
    case 'I': return pop_int(v);
    case 'F': return pop_float(v);
    case 'J': return pop_long(v);
    default: return pop_double(v);
    }
}

bool push_primitive(tverifier& v, char c)
{
    switch (c) {
    case 'I': return push(v, mk(VT_INT));
    case 'F': return push(v, mk(VT_FLOAT));
    case 'J': return push(v, mk(VT_LONG)) && push(v, mk(VT_LONG2));
    default: return push(v, mk(VT_DOUBLE)) && push(v, mk(VT_DOUBLE2));
    }
}

// Pops the operands named in `pops` (top first) and pushes `result` (0: none).
bool arith(tverifier& v, const char* pops, char result)
{
    for (; *pops; pops++) {
        if (!pop_primitive(v, *pops))
            return false;
    }
    return result ? push_primitive(v, result) : true;
}

// Writing local k invalidates the other half of a long or double it was part of.
void clobber_local(tverifier& v, u4 k)
{
    vtype* l = locals_of(v.cur);
    if (is_pair_low(l[k]) && k + 1 < v.nlocals)
        l[k + 1] = mk(VT_TOP);
    if (is_pair_high(l[k]) && k > 0)
        l[k - 1] = mk(VT_TOP);
}

void store_local(tverifier& v, u4 k, vtype t)
{
    clobber_local(v, k);
    locals_of(v.cur)[k] = t;
}

void store_local_pair(tverifier& v, u4 k, vtype lo, vtype hi)
{
    clobber_local(v, k);
    clobber_local(v, k + 1);
    locals_of(v.cur)[k] = lo;
    locals_of(v.cur)[k + 1] = hi;
}

bool load_local(tverifier& v, u4 op_kind, u4 k)
{
    vtype* l = locals_of(v.cur);
    switch (op_kind) {
    case VT_INT:
    case VT_FLOAT:
        if (kind_of(l[k]) != op_kind)
            return fail(v, op_kind == VT_INT ? "Register does not contain an integer" : "Register does not contain a float");
        return push(v, l[k]);
    case VT_LONG:
    case VT_DOUBLE:
        if (kind_of(l[k]) != op_kind || kind_of(l[k + 1]) != op_kind + 1)
            return fail(v, op_kind == VT_LONG ? "Register pair does not contain a long" : "Register pair does not contain a double");
        return push(v, l[k]) && push(v, l[k + 1]);
    default: {
        vtype t = l[k];
        u4 kind = kind_of(t);
        if (kind != VT_REF && kind != VT_NULL && kind != VT_UNINIT && kind != VT_UNINIT_THIS)
            return fail(v, "Register does not contain an object reference");
        return push(v, t);
    }
    }
}

bool store_from_stack(tverifier& v, u4 op_kind, u4 k)
{
    vtype t;
    switch (op_kind) {
    case VT_INT:
    case VT_FLOAT:
        if (!pop_kind(v, op_kind, op_kind == VT_INT ? "Expecting to find integer on stack" : "Expecting to find float on stack"))
            return false;
        store_local(v, k, mk(op_kind));
        return true;
    case VT_LONG:
    case VT_DOUBLE:
        if (!(op_kind == VT_LONG ? pop_long(v) : pop_double(v)))
            return false;
        store_local_pair(v, k, mk(op_kind), mk(op_kind + 1));
        return true;
    default: {
        if (!pop_any(v, &t))
            return false;
        u4 kind = kind_of(t);
        if (kind != VT_REF && kind != VT_NULL && kind != VT_UNINIT && kind != VT_UNINIT_THIS && kind != VT_RETADDR)
            return fail(v, "Expecting to find object/array on stack");
        store_local(v, k, t);
        return true;
    }
    }
}

// The stack word k from the top (1 = top) must not be the upper word of a
// long or double: an instruction that moves or drops the k words above the
// boundary would split it.
bool boundary(tverifier& v, u4 k)
{
    if (k > v.cur->sp)
        return fail(v, "Unable to pop operand off an empty stack");
    if (is_pair_high(stack_of(v, v.cur)[v.cur->sp - k]))
        return fail(v, "Attempt to split long or double on the stack");
    return true;
}

// dup family and swap: the top `n` words are copied below the next `depth`.
bool dup_words(tverifier& v, u4 n, u4 depth)
{
    if (!boundary(v, n) || (depth && !boundary(v, n + depth)))
        return false;
    if (v.cur->sp + n > v.maxstack)
        return fail(v, "Stack size too large");
    vtype* s = stack_of(v, v.cur);
    u4 sp = v.cur->sp;
    vtype copy[4];
    for (u4 i = 0; i < n; i++)
        copy[i] = s[sp - n + i];
    std::memmove(s + sp - n - depth + n, s + sp - n - depth, (n + depth) * sizeof(vtype));
    for (u4 i = 0; i < n; i++)
        s[sp - n - depth + i] = copy[i];
    v.cur->sp = static_cast<u2>(sp + n);
    return true;
}

// Replaces every occurrence of `from` in the current state by `to`.
void replace_everywhere(tverifier& v, vtype from, vtype to)
{
    vtype* l = locals_of(v.cur);
    for (u4 i = 0; i < v.nlocals; i++) {
        if (l[i] == from)
            l[i] = to;
    }
    vtype* s = stack_of(v, v.cur);
    for (u4 i = 0; i < v.cur->sp; i++) {
        if (s[i] == from)
            s[i] = to;
    }
}

// ---------------------------------------------------------------------------
// Constant-pool operands
// ---------------------------------------------------------------------------

inline u2 read_u2(const u1* p) { return static_cast<u2>(p[0] << 8 | p[1]); }
inline s4 read_s2(const u1* p) { return static_cast<int16_t>(read_u2(p)); }
inline s4 read_s4(const u1* p)
{
    return static_cast<s4>(static_cast<u4>(p[0]) << 24 | static_cast<u4>(p[1]) << 16 | static_cast<u4>(p[2]) << 8 | p[3]);
}

// The verifier runs before any instruction of the class executes, so the
// constant pool's original words are still in place; it reads the copy the
// reader keeps anyway.
const char* cp_utf8(tverifier& v, u4 index) { return reinterpret_cast<const char*>(vm_cp_raw(v.cb->constantpool)[index]); }
const char* cp_class_name(tverifier& v, u4 index) { return cp_utf8(v, vm_cp_raw(v.cb->constantpool)[index]); }

struct member_ref {
    const char* clazz;
    const char* name;
    const char* sig;
};

member_ref cp_member(tverifier& v, u4 index)
{
    const u4* raw = vm_cp_raw(v.cb->constantpool);
    u4 w = raw[index];
    u4 nat = raw[w & 0xFFFF];
    return member_ref{cp_class_name(v, w >> 16), cp_utf8(v, nat >> 16), cp_utf8(v, nat & 0xFFFF)};
}

// The superclass of the verified class named `name`, or 0 when `name` is not
// one of its superclasses.
classblock* superclass_named(tverifier& v, const char* name)
{
    for (classblock* c = v.cb->superclass; c; c = c->superclass) {
        if (std::strcmp(c->name, name) == 0)
            return c;
    }
    return nullptr;
}

// Protected members of a superclass in another package are reached only
// through this class or its subclasses.
bool check_protected(tverifier& v, const member_ref& m, bool is_method, vtype receiver)
{
    if (kind_of(receiver) == VT_NULL)
        return true;
    classblock* ref = superclass_named(v, m.clazz);
    if (!ref)
        return true;
    classblock* owner;
    u2 access;
    if (is_method) {
        methodblock* mb = vm_find_method(ref, m.name, m.sig);
        if (!mb)
            return true;        // resolution raises NoSuchMethodError
        owner = mb->clazz;
        access = mb->access;
    } else {
        fieldblock* fb = vm_find_field(ref, m.name, m.sig);
        if (!fb)
            return true;
        owner = fb->clazz;
        access = fb->access;
    }
    if (!(access & ACC_PROTECTED) || vm_same_package(owner->name, v.cb->name))
        return true;
    // Arrays answer Object's protected clone() (their own public one).
    if (is_method && name_of(v, receiver)[0] == '[' && std::strcmp(m.name, "clone") == 0)
        return true;
    int r = names_assignable(v, name_of(v, receiver), v.cb->name);
    if (r < 0)
        return false;
    return r ? true : fail(v, "Bad access to protected data");
}

// ---------------------------------------------------------------------------
// Instructions
// ---------------------------------------------------------------------------

bool do_field(tverifier& v, u1 op, u4 index)
{
    member_ref m = cp_member(v, index);
    vtype ft[2];
    const char* s = m.sig;
    int n = descriptor_type(v, s, ft);
    if (v.failed)
        return false;
    vtype owner = ref_named(v, m.clazz);
    switch (op) {
    case OPC_GETSTATIC:
        return push_words(v, ft, n);
    case OPC_PUTSTATIC:
        return pop_typed(v, ft, n);
    case OPC_GETFIELD: {
        vtype recv;
        if (!pop_reference(v, &recv))
            return false;
        int r = assignable(v, recv, owner);
        if (r < 0)
            return false;
        if (!r)
            return fail(v, "Incompatible type for getting or setting field");
        return check_protected(v, m, false, recv) && push_words(v, ft, n);
    }
    default: {     // putfield
        if (!pop_typed(v, ft, n))
            return false;
        vtype recv;
        if (!pop_any(v, &recv))
            return false;
        if (kind_of(recv) == VT_UNINIT_THIS) {
            // A constructor may set its own class's fields before super().
            if (std::strcmp(m.clazz, v.cb->name) != 0)
                return fail(v, "Bad access to a field of an uninitialized object");
            for (u2 i = 0; i < v.cb->fields_count; i++) {
                fieldblock* fb = &v.cb->fields[i];
                if (std::strcmp(fb->name, m.name) == 0 && std::strcmp(fb->signature, m.sig) == 0)
                    return true;
            }
            return fail(v, "Bad access to a field of an uninitialized object");
        }
        if (!is_reference(recv))
            return fail(v, "Expecting to find object/array on stack");
        int r = assignable(v, recv, owner);
        if (r < 0)
            return false;
        if (!r)
            return fail(v, "Incompatible type for getting or setting field");
        return check_protected(v, m, false, recv);
    }
    }
}

bool do_invoke(tverifier& v, u1 op, u4 index)
{
    member_ref m = cp_member(v, index);
    // Arguments, checked from the last one down.
    vtype args[2 * 256];
    int words[256];
    int nargs = 0;
    const char* s = m.sig + 1;
    while (*s != ')') {
        if (nargs == 256)
            return fail(v, "Too many arguments in signature");
        words[nargs] = descriptor_type(v, s, &args[2 * nargs]);
        nargs++;
    }
    if (v.failed)
        return false;
    for (int i = nargs - 1; i >= 0; i--) {
        if (!pop_typed(v, &args[2 * i], words[i]))
            return false;
    }
    s++;
    vtype ret[2];
    int nret = descriptor_type(v, s, ret);
    if (v.failed)
        return false;
    vtype owner = ref_named(v, m.clazz);
    bool is_init = std::strcmp(m.name, "<init>") == 0;
    if (op == OPC_INVOKESPECIAL && is_init) {
        vtype recv;
        if (!pop_any(v, &recv))
            return false;
        vtype made;
        if (kind_of(recv) == VT_UNINIT) {
            u4 new_pc = data_of(recv);
            const char* made_name = cp_class_name(v, read_u2(v.code + new_pc + 1));
            if (std::strcmp(made_name, m.clazz) != 0)
                return fail(v, "Call to wrong initialization method");
            made = owner;
        } else if (kind_of(recv) == VT_UNINIT_THIS) {
            bool own = std::strcmp(m.clazz, v.cb->name) == 0;
            bool super = v.cb->superclass && std::strcmp(m.clazz, v.cb->superclass->name) == 0;
            if (!own && !super)
                return fail(v, "Call to wrong initialization method");
            made = ref_named(v, v.cb->name);
            v.cur->this_uninit = 0;
        } else {
            return fail(v, "Expecting to find uninitialized object on stack");
        }
        replace_everywhere(v, recv, made);
        return push_words(v, ret, nret);
    }
    if (op != OPC_INVOKESTATIC) {
        vtype recv;
        if (!pop_reference(v, &recv))
            return false;
        if (op == OPC_INVOKEVIRTUAL || op == OPC_INVOKESPECIAL) {
            int r = assignable(v, recv, owner);
            if (r < 0)
                return false;
            if (!r)
                return fail(v, "Incompatible object argument for function call");
        }
        if (op == OPC_INVOKESPECIAL) {
            // A private method of this class or a superclass method called
            // on this class's objects.
            if (std::strcmp(m.clazz, v.cb->name) != 0 && !superclass_named(v, m.clazz))
                return fail(v, "Bad invokespecial instruction: current class isn't assignable to reference class");
            int r = assignable(v, recv, ref_named(v, v.cb->name));
            if (r < 0)
                return false;
            if (!r)
                return fail(v, "Incompatible object argument for function call");
        }
        if (op == OPC_INVOKEVIRTUAL && !check_protected(v, m, true, recv))
            return false;
    }
    return push_words(v, ret, nret);
}

// Primitive array instructions: the array type they accept (null always).
bool pop_array_of(tverifier& v, const char* a, const char* b)
{
    vtype t;
    if (!pop_reference(v, &t))
        return false;
    if (kind_of(t) == VT_NULL)
        return true;
    const char* n = name_of(v, t);
    if (std::strcmp(n, a) == 0 || (b && std::strcmp(n, b) == 0))
        return true;
    return fail(v, "Expecting to find array of the instruction's type on stack");
}

// aaload/aastore: an array of references or arrays (or null); its element
// type in *elem (null for a null array).
bool pop_reference_array(tverifier& v, vtype* elem)
{
    vtype t;
    if (!pop_reference(v, &t))
        return false;
    if (kind_of(t) == VT_NULL) {
        *elem = mk(VT_NULL);
        return true;
    }
    const char* n = name_of(v, t);
    if (n[0] != '[' || is_primitive_descriptor(n[1]))
        return fail(v, "Expecting to find array of objects or arrays on stack");
    *elem = element_of(v, n);
    return !v.failed;
}

bool do_new(tverifier& v)
{
    vtype t = mk(VT_UNINIT, v.pc);
    vtype* s = stack_of(v, v.cur);
    for (u4 i = 0; i < v.cur->sp; i++) {
        if (s[i] == t)
            return fail(v, "Uninitialized object of this new is still on the stack");
    }
    // An object of an earlier run of this `new` left in a local is unusable.
    vtype* l = locals_of(v.cur);
    for (u4 i = 0; i < v.nlocals; i++) {
        if (l[i] == t)
            l[i] = mk(VT_TOP);
    }
    return push(v, t);
}

bool do_jsr(tverifier& v, u4 target, u4 return_pc)
{
    for (u4 c = v.ctx; c; c = v.contexts[c].parent) {
        if (v.contexts[c].entry_pc == target)
            return fail(v, "Recursive call to jsr entry");
    }
    u4 child = 0;
    for (u4 c = 1; c < v.ncontexts; c++) {
        if (v.contexts[c].parent == v.ctx && v.contexts[c].jsr_pc == v.pc) {
            child = c;
            break;
        }
    }
    if (!child) {
        if (v.ncontexts == MAX_CONTEXTS)
            return fail(v, "Subroutines too complex to verify");
        child = v.ncontexts++;
        v.contexts[child] = context{v.ctx, v.pc, target, return_pc};
    }
    if (!push(v, mk(VT_RETADDR, return_pc)))
        return false;
    return flow(v, target, child);
}

bool do_ret(tverifier& v, u4 local)
{
    vtype t = locals_of(v.cur)[local];
    if (kind_of(t) != VT_RETADDR)
        return fail(v, "Expecting to find return address in local");
    u4 r = data_of(t);
    for (u4 c = v.ctx; c; c = v.contexts[c].parent) {
        if (v.contexts[c].return_pc == r)
            return flow(v, r, v.contexts[c].parent);
    }
    return fail(v, "Return address of a subroutine the code is not in");
}

bool do_return(tverifier& v, u1 op)
{
    switch (op) {
    case OPC_IRETURN: return pop_int(v);
    case OPC_LRETURN: return pop_long(v);
    case OPC_FRETURN: return pop_float(v);
    case OPC_DRETURN: return pop_double(v);
    case OPC_ARETURN: {
        const char* s = std::strchr(v.mb->signature, ')') + 1;
        vtype t[2];
        descriptor_type(v, s, t);
        return !v.failed && pop_typed(v, t, 1);
    }
    default:
        if (v.cur->this_uninit)
            return fail(v, "Constructor must call super() or this()");
        return true;
    }
}

// Executes the instruction at v.pc on v.cur.  *falls: control continues
// with the next instruction.
bool execute(tverifier& v, bool* falls)
{
    const u1* ip = v.code + v.pc;
    u1 op = *ip;
    *falls = true;
    switch (op) {
    case OPC_NOP: return true;
    case OPC_ACONST_NULL: return push(v, mk(VT_NULL));
    case OPC_ICONST_M1: case OPC_ICONST_0: case OPC_ICONST_1: case OPC_ICONST_2:
    case OPC_ICONST_3: case OPC_ICONST_4: case OPC_ICONST_5:
    case OPC_BIPUSH: case OPC_SIPUSH:
        return push(v, mk(VT_INT));
    case OPC_LCONST_0: case OPC_LCONST_1: return push_primitive(v, 'J');
    case OPC_FCONST_0: case OPC_FCONST_1: case OPC_FCONST_2: return push(v, mk(VT_FLOAT));
    case OPC_DCONST_0: case OPC_DCONST_1: return push_primitive(v, 'D');
    case OPC_LDC: case OPC_LDC_W: {
        u4 index = op == OPC_LDC ? ip[1] : read_u2(ip + 1);
        switch (vm_cp_tags(v.cb->constantpool)[index] & CONSTANT_TAG_MASK) {
        case CONSTANT_Integer: return push(v, mk(VT_INT));
        case CONSTANT_Float: return push(v, mk(VT_FLOAT));
        case CONSTANT_String: return push(v, v.string_type);
        default: return push(v, v.class_type);
        }
    }
    case OPC_LDC2_W:
        return push_primitive(v, (vm_cp_tags(v.cb->constantpool)[read_u2(ip + 1)] & CONSTANT_TAG_MASK) == CONSTANT_Long ? 'J' : 'D');

    case OPC_ILOAD: return load_local(v, VT_INT, ip[1]);
    case OPC_LLOAD: return load_local(v, VT_LONG, ip[1]);
    case OPC_FLOAD: return load_local(v, VT_FLOAT, ip[1]);
    case OPC_DLOAD: return load_local(v, VT_DOUBLE, ip[1]);
    case OPC_ALOAD: return load_local(v, VT_REF, ip[1]);
    case OPC_ILOAD_0: case OPC_ILOAD_1: case OPC_ILOAD_2: case OPC_ILOAD_3:
        return load_local(v, VT_INT, op - OPC_ILOAD_0);
    case OPC_LLOAD_0: case OPC_LLOAD_1: case OPC_LLOAD_2: case OPC_LLOAD_3:
        return load_local(v, VT_LONG, op - OPC_LLOAD_0);
    case OPC_FLOAD_0: case OPC_FLOAD_1: case OPC_FLOAD_2: case OPC_FLOAD_3:
        return load_local(v, VT_FLOAT, op - OPC_FLOAD_0);
    case OPC_DLOAD_0: case OPC_DLOAD_1: case OPC_DLOAD_2: case OPC_DLOAD_3:
        return load_local(v, VT_DOUBLE, op - OPC_DLOAD_0);
    case OPC_ALOAD_0: case OPC_ALOAD_1: case OPC_ALOAD_2: case OPC_ALOAD_3:
        return load_local(v, VT_REF, op - OPC_ALOAD_0);

    case OPC_IALOAD: return pop_int(v) && pop_array_of(v, "[I", nullptr) && push(v, mk(VT_INT));
    case OPC_LALOAD: return pop_int(v) && pop_array_of(v, "[J", nullptr) && push_primitive(v, 'J');
    case OPC_FALOAD: return pop_int(v) && pop_array_of(v, "[F", nullptr) && push(v, mk(VT_FLOAT));
    case OPC_DALOAD: return pop_int(v) && pop_array_of(v, "[D", nullptr) && push_primitive(v, 'D');
    case OPC_BALOAD: return pop_int(v) && pop_array_of(v, "[B", "[Z") && push(v, mk(VT_INT));
    case OPC_CALOAD: return pop_int(v) && pop_array_of(v, "[C", nullptr) && push(v, mk(VT_INT));
    case OPC_SALOAD: return pop_int(v) && pop_array_of(v, "[S", nullptr) && push(v, mk(VT_INT));
    case OPC_AALOAD: {
        vtype elem;
        return pop_int(v) && pop_reference_array(v, &elem) && push(v, elem);
    }

    case OPC_ISTORE: return store_from_stack(v, VT_INT, ip[1]);
    case OPC_LSTORE: return store_from_stack(v, VT_LONG, ip[1]);
    case OPC_FSTORE: return store_from_stack(v, VT_FLOAT, ip[1]);
    case OPC_DSTORE: return store_from_stack(v, VT_DOUBLE, ip[1]);
    case OPC_ASTORE: return store_from_stack(v, VT_REF, ip[1]);
    case OPC_ISTORE_0: case OPC_ISTORE_1: case OPC_ISTORE_2: case OPC_ISTORE_3:
        return store_from_stack(v, VT_INT, op - OPC_ISTORE_0);
    case OPC_LSTORE_0: case OPC_LSTORE_1: case OPC_LSTORE_2: case OPC_LSTORE_3:
        return store_from_stack(v, VT_LONG, op - OPC_LSTORE_0);
    case OPC_FSTORE_0: case OPC_FSTORE_1: case OPC_FSTORE_2: case OPC_FSTORE_3:
        return store_from_stack(v, VT_FLOAT, op - OPC_FSTORE_0);
    case OPC_DSTORE_0: case OPC_DSTORE_1: case OPC_DSTORE_2: case OPC_DSTORE_3:
        return store_from_stack(v, VT_DOUBLE, op - OPC_DSTORE_0);
    case OPC_ASTORE_0: case OPC_ASTORE_1: case OPC_ASTORE_2: case OPC_ASTORE_3:
        return store_from_stack(v, VT_REF, op - OPC_ASTORE_0);

    case OPC_IASTORE: return pop_int(v) && pop_int(v) && pop_array_of(v, "[I", nullptr);
    case OPC_LASTORE: return pop_long(v) && pop_int(v) && pop_array_of(v, "[J", nullptr);
    case OPC_FASTORE: return pop_float(v) && pop_int(v) && pop_array_of(v, "[F", nullptr);
    case OPC_DASTORE: return pop_double(v) && pop_int(v) && pop_array_of(v, "[D", nullptr);
    case OPC_BASTORE: return pop_int(v) && pop_int(v) && pop_array_of(v, "[B", "[Z");
    case OPC_CASTORE: return pop_int(v) && pop_int(v) && pop_array_of(v, "[C", nullptr);
    case OPC_SASTORE: return pop_int(v) && pop_int(v) && pop_array_of(v, "[S", nullptr);
    case OPC_AASTORE: {
        // The element's class is checked when the store runs.
        vtype value, elem;
        return pop_reference(v, &value) && pop_int(v) && pop_reference_array(v, &elem);
    }

    case OPC_POP: {
        vtype t;
        return boundary(v, 1) && pop_any(v, &t);
    }
    case OPC_POP2: {
        vtype t;
        return boundary(v, 2) && pop_any(v, &t) && pop_any(v, &t);
    }
    case OPC_DUP: return dup_words(v, 1, 0);
    case OPC_DUP_X1: return dup_words(v, 1, 1);
    case OPC_DUP_X2: return dup_words(v, 1, 2);
    case OPC_DUP2: return dup_words(v, 2, 0);
    case OPC_DUP2_X1: return dup_words(v, 2, 1);
    case OPC_DUP2_X2: return dup_words(v, 2, 2);
    case OPC_SWAP: {
        if (!boundary(v, 1) || !boundary(v, 2))
            return false;
        vtype* s = stack_of(v, v.cur) + v.cur->sp;
        vtype t = s[-1];
        s[-1] = s[-2];
        s[-2] = t;
        return true;
    }

    case OPC_IADD: case OPC_ISUB: case OPC_IMUL: case OPC_IDIV: case OPC_IREM:
    case OPC_ISHL: case OPC_ISHR: case OPC_IUSHR: case OPC_IAND: case OPC_IOR: case OPC_IXOR:
        return arith(v, "II", 'I');
    case OPC_LADD: case OPC_LSUB: case OPC_LMUL: case OPC_LDIV: case OPC_LREM:
    case OPC_LAND: case OPC_LOR: case OPC_LXOR:
        return arith(v, "JJ", 'J');
    case OPC_LSHL: case OPC_LSHR: case OPC_LUSHR: return arith(v, "IJ", 'J');
    case OPC_FADD: case OPC_FSUB: case OPC_FMUL: case OPC_FDIV: case OPC_FREM: return arith(v, "FF", 'F');
    case OPC_DADD: case OPC_DSUB: case OPC_DMUL: case OPC_DDIV: case OPC_DREM: return arith(v, "DD", 'D');
    case OPC_INEG: return arith(v, "I", 'I');
    case OPC_LNEG: return arith(v, "J", 'J');
    case OPC_FNEG: return arith(v, "F", 'F');
    case OPC_DNEG: return arith(v, "D", 'D');
    case OPC_IINC:
        if (kind_of(locals_of(v.cur)[ip[1]]) != VT_INT)
            return fail(v, "Register does not contain an integer");
        return true;
    case OPC_I2L: return arith(v, "I", 'J');
    case OPC_I2F: return arith(v, "I", 'F');
    case OPC_I2D: return arith(v, "I", 'D');
    case OPC_L2I: return arith(v, "J", 'I');
    case OPC_L2F: return arith(v, "J", 'F');
    case OPC_L2D: return arith(v, "J", 'D');
    case OPC_F2I: return arith(v, "F", 'I');
    case OPC_F2L: return arith(v, "F", 'J');
    case OPC_F2D: return arith(v, "F", 'D');
    case OPC_D2I: return arith(v, "D", 'I');
    case OPC_D2L: return arith(v, "D", 'J');
    case OPC_D2F: return arith(v, "D", 'F');
    case OPC_I2B: case OPC_I2C: case OPC_I2S: return arith(v, "I", 'I');
    case OPC_LCMP: return arith(v, "JJ", 'I');
    case OPC_FCMPL: case OPC_FCMPG: return arith(v, "FF", 'I');
    case OPC_DCMPL: case OPC_DCMPG: return arith(v, "DD", 'I');

    case OPC_IFEQ: case OPC_IFNE: case OPC_IFLT: case OPC_IFGE: case OPC_IFGT: case OPC_IFLE:
        return pop_int(v) && flow(v, v.pc + read_s2(ip + 1), v.ctx);
    case OPC_IF_ICMPEQ: case OPC_IF_ICMPNE: case OPC_IF_ICMPLT: case OPC_IF_ICMPGE:
    case OPC_IF_ICMPGT: case OPC_IF_ICMPLE:
        return pop_int(v) && pop_int(v) && flow(v, v.pc + read_s2(ip + 1), v.ctx);
    case OPC_IF_ACMPEQ: case OPC_IF_ACMPNE: {
        vtype a, b;
        return pop_reference(v, &a) && pop_reference(v, &b) && flow(v, v.pc + read_s2(ip + 1), v.ctx);
    }
    case OPC_IFNULL: case OPC_IFNONNULL: {
        vtype a;
        return pop_reference(v, &a) && flow(v, v.pc + read_s2(ip + 1), v.ctx);
    }
    case OPC_GOTO:
        *falls = false;
        return flow(v, v.pc + read_s2(ip + 1), v.ctx);
    case OPC_GOTO_W:
        *falls = false;
        return flow(v, v.pc + read_s4(ip + 1), v.ctx);
    case OPC_JSR:
        *falls = false;
        return do_jsr(v, v.pc + read_s2(ip + 1), v.pc + 3);
    case OPC_JSR_W:
        *falls = false;
        return do_jsr(v, v.pc + read_s4(ip + 1), v.pc + 5);
    case OPC_RET:
        *falls = false;
        return do_ret(v, ip[1]);
    case OPC_TABLESWITCH: case OPC_LOOKUPSWITCH: {
        *falls = false;
        if (!pop_int(v))
            return false;
        const u1* base = v.code + ((v.pc + 4) & ~3u);
        if (!flow(v, v.pc + read_s4(base), v.ctx))
            return false;
        if (op == OPC_TABLESWITCH) {
            int64_t n = static_cast<int64_t>(read_s4(base + 8)) - read_s4(base + 4) + 1;
            for (int64_t k = 0; k < n; k++) {
                if (!flow(v, v.pc + read_s4(base + 12 + 4 * k), v.ctx))
                    return false;
            }
        } else {
            s4 n = read_s4(base + 4);
            for (s4 k = 0; k < n; k++) {
                if (!flow(v, v.pc + read_s4(base + 12 + 8 * k), v.ctx))
                    return false;
            }
        }
        return true;
    }
    case OPC_IRETURN: case OPC_LRETURN: case OPC_FRETURN: case OPC_DRETURN:
    case OPC_ARETURN: case OPC_RETURN:
        *falls = false;
        return do_return(v, op);

    case OPC_GETSTATIC: case OPC_PUTSTATIC: case OPC_GETFIELD: case OPC_PUTFIELD:
        return do_field(v, op, read_u2(ip + 1));
    case OPC_INVOKEVIRTUAL: case OPC_INVOKESPECIAL: case OPC_INVOKESTATIC: case OPC_INVOKEINTERFACE:
        return do_invoke(v, op, read_u2(ip + 1));

    case OPC_NEW: return do_new(v);
    case OPC_NEWARRAY: {
        static constexpr const char* names[] = {"[Z", "[C", "[F", "[D", "[B", "[S", "[I", "[J"};
        return pop_int(v) && push(v, ref_named(v, names[ip[1] - T_BOOLEAN]));
    }
    case OPC_ANEWARRAY:
        return pop_int(v) && push(v, array_of(v, cp_class_name(v, read_u2(ip + 1))));
    case OPC_ARRAYLENGTH: {
        vtype t;
        if (!pop_reference(v, &t))
            return false;
        if (kind_of(t) == VT_REF && name_of(v, t)[0] != '[')
            return fail(v, "Expecting to find array on stack");
        return push(v, mk(VT_INT));
    }
    case OPC_ATHROW: {
        *falls = false;
        vtype t;
        if (!pop_reference(v, &t))
            return false;
        int r = assignable(v, t, v.throwable_type);
        if (r < 0)
            return false;
        return r ? true : fail(v, "Can only throw Throwable objects");
    }
    case OPC_CHECKCAST: {
        vtype t;
        return pop_reference(v, &t) && push(v, ref_named(v, cp_class_name(v, read_u2(ip + 1))));
    }
    case OPC_INSTANCEOF: {
        vtype t;
        return pop_reference(v, &t) && push(v, mk(VT_INT));
    }
    case OPC_MONITORENTER: case OPC_MONITOREXIT: {
        vtype t;
        return pop_reference(v, &t);
    }
    case OPC_WIDE: {
        u4 k = read_u2(ip + 2);
        switch (ip[1]) {
        case OPC_ILOAD: return load_local(v, VT_INT, k);
        case OPC_LLOAD: return load_local(v, VT_LONG, k);
        case OPC_FLOAD: return load_local(v, VT_FLOAT, k);
        case OPC_DLOAD: return load_local(v, VT_DOUBLE, k);
        case OPC_ALOAD: return load_local(v, VT_REF, k);
        case OPC_ISTORE: return store_from_stack(v, VT_INT, k);
        case OPC_LSTORE: return store_from_stack(v, VT_LONG, k);
        case OPC_FSTORE: return store_from_stack(v, VT_FLOAT, k);
        case OPC_DSTORE: return store_from_stack(v, VT_DOUBLE, k);
        case OPC_ASTORE: return store_from_stack(v, VT_REF, k);
        case OPC_IINC:
            if (kind_of(locals_of(v.cur)[k]) != VT_INT)
                return fail(v, "Register does not contain an integer");
            return true;
        default:      // ret
            *falls = false;
            return do_ret(v, k);
        }
    }
    case OPC_MULTIANEWARRAY: {
        for (u4 i = 0; i < ip[3]; i++) {
            if (!pop_int(v))
                return false;
        }
        return push(v, ref_named(v, cp_class_name(v, read_u2(ip + 1))));
    }
    default:
        return fail(v, "Bad instruction");
    }
}

// ---------------------------------------------------------------------------
// Driver
// ---------------------------------------------------------------------------

bool mark_block(tverifier& v, u4 pc)
{
    if (pc >= v.len)
        return fail(v, "Illegal target of jump or branch");
    v.block_of[pc] = 0;
    return true;
}

// Block starts: pc 0, every target, every jsr's return point, every handler.
bool find_blocks(tverifier& v)
{
    for (u4 pc = 0; pc < v.len; pc++)
        v.block_of[pc] = NO_BLOCK;
    if (!mark_block(v, 0))
        return false;
    for (u4 pc = 0; pc < v.len;) {
        const u1* ip = v.code + pc;
        u4 n = vm_bytecode_length(v.code, v.len, pc);
        v.pc = pc;
        if (n == 0)
            return fail(v, "Truncated or malformed instruction");
        switch (*ip) {
        case OPC_IFEQ: case OPC_IFNE: case OPC_IFLT: case OPC_IFGE: case OPC_IFGT: case OPC_IFLE:
        case OPC_IF_ICMPEQ: case OPC_IF_ICMPNE: case OPC_IF_ICMPLT: case OPC_IF_ICMPGE:
        case OPC_IF_ICMPGT: case OPC_IF_ICMPLE: case OPC_IF_ACMPEQ: case OPC_IF_ACMPNE:
        case OPC_IFNULL: case OPC_IFNONNULL: case OPC_GOTO:
            if (!mark_block(v, pc + read_s2(ip + 1)))
                return false;
            break;
        case OPC_JSR:
            if (!mark_block(v, pc + read_s2(ip + 1)) || !mark_block(v, pc + n))
                return false;
            break;
        case OPC_GOTO_W:
            if (!mark_block(v, pc + read_s4(ip + 1)))
                return false;
            break;
        case OPC_JSR_W:
            if (!mark_block(v, pc + read_s4(ip + 1)) || !mark_block(v, pc + n))
                return false;
            break;
        case OPC_TABLESWITCH: case OPC_LOOKUPSWITCH: {
            const u1* base = v.code + ((pc + 4) & ~3u);
            if (!mark_block(v, pc + read_s4(base)))
                return false;
            if (*ip == OPC_TABLESWITCH) {
                int64_t count = static_cast<int64_t>(read_s4(base + 8)) - read_s4(base + 4) + 1;
                for (int64_t k = 0; k < count; k++) {
                    if (!mark_block(v, pc + read_s4(base + 12 + 4 * k)))
                        return false;
                }
            } else {
                for (s4 k = 0; k < read_s4(base + 4); k++) {
                    if (!mark_block(v, pc + read_s4(base + 12 + 8 * k)))
                        return false;
                }
            }
            break;
        }
        default:
            break;
        }
        pc += n;
    }
    for (u4 i = 0; i < v.nhandlers; i++) {
        if (!mark_block(v, v.handlers[i].handler_pc))
            return false;
    }
    v.nblocks = 0;
    for (u4 pc = 0; pc < v.len; pc++) {
        if (v.block_of[pc] != NO_BLOCK)
            v.block_of[pc] = v.nblocks++;
    }
    v.block_pc = static_cast<u4*>(arena_alloc(v, v.nblocks * sizeof(u4)));
    if (!v.block_pc)
        return out_of_memory(v);
    for (u4 pc = 0; pc < v.len; pc++) {
        if (v.block_of[pc] != NO_BLOCK)
            v.block_pc[v.block_of[pc]] = pc;
    }
    return true;
}

// Catch types must be Throwables.
bool check_handlers(tverifier& v)
{
    v.catch_types = static_cast<vtype*>(arena_alloc(v, (v.nhandlers + 1) * sizeof(vtype)));
    if (!v.catch_types)
        return out_of_memory(v);
    for (u4 i = 0; i < v.nhandlers; i++) {
        u2 ct = v.handlers[i].catch_type;
        v.pc = v.handlers[i].handler_pc;
        if (ct == 0) {
            v.catch_types[i] = v.throwable_type;
            continue;
        }
        v.catch_types[i] = ref_named(v, cp_class_name(v, ct));
        int r = assignable(v, v.catch_types[i], v.throwable_type);
        if (r < 0)
            return false;
        if (!r)
            return fail(v, "Catch type is not a subclass of Throwable");
    }
    return true;
}

// The handlers covering v.pc receive the locals before the instruction.
bool flow_to_handlers(tverifier& v)
{
    for (u4 i = 0; i < v.nhandlers; i++) {
        const exception_entry& h = v.handlers[i];
        if (v.pc < h.start_pc || v.pc >= h.end_pc)
            continue;
        if (!merge_into(v, v.block_of[h.handler_pc], v.ctx, locals_of(v.cur), &v.catch_types[i], 1,
                        v.cur->this_uninit))
            return false;
    }
    return true;
}

bool initial_state(tverifier& v)
{
    vstate* s = v.cur;
    vtype* l = locals_of(s);
    u4 k = 0;
    if (!(v.mb->access & ACC_STATIC)) {
        if ((v.mb->vm_flags & MBF_INIT) && v.cb->superclass) {
            l[k++] = mk(VT_UNINIT_THIS);
            s->this_uninit = 1;
        } else {
            l[k++] = ref_named(v, v.cb->name);
        }
    }
    const char* sig = v.mb->signature + 1;
    while (*sig != ')') {
        vtype t[2];
        int n = descriptor_type(v, sig, t);
        if (k + n > v.nlocals)
            return fail(v, "Arguments can't fit into locals");
        for (int i = 0; i < n; i++)
            l[k++] = t[i];
    }
    return !v.failed && merge_into(v, 0, 0, l, stack_of(v, s), 0, s->this_uninit);
}

bool run_block(tverifier& v, u4 block, u4 ctx)
{
    vstate* in = v.rows[ctx][block];
    in->queued = 0;
    std::memcpy(v.cur, in, state_size(v));
    v.ctx = ctx;
    v.pc = v.block_pc[block];
    for (;;) {
        if (!flow_to_handlers(v))
            return false;
        bool falls;
        if (!execute(v, &falls))
            return false;
        if (!falls)
            return true;
        u4 next = v.pc + vm_bytecode_length(v.code, v.len, v.pc);
        if (next >= v.len)
            return fail(v, "Falling off the end of the code");
        if (v.block_of[next] != NO_BLOCK)
            return merge_into(v, v.block_of[next], ctx, locals_of(v.cur), stack_of(v, v.cur), v.cur->sp,
                              v.cur->this_uninit);
        v.pc = next;
    }
}

bool verify_method_types(tverifier& v)
{
    v.code = v.mb->code;
    v.len = v.mb->code_length;
    v.nlocals = v.mb->nlocals;
    v.maxstack = v.mb->maxstack;
    v.handlers = reinterpret_cast<exception_entry*>(v.mb->vm_exception_table);
    v.nhandlers = v.mb->vm_exception_table_length;
    v.pc = 0;
    v.block_of = static_cast<u4*>(arena_alloc(v, v.len * sizeof(u4)));
    v.contexts = static_cast<context*>(arena_alloc(v, MAX_CONTEXTS * sizeof(context)));
    v.rows = static_cast<vstate***>(arena_alloc(v, MAX_CONTEXTS * sizeof(vstate**)));
    v.cur = static_cast<vstate*>(arena_alloc(v, state_size(v)));
    if (!v.block_of || !v.contexts || !v.rows || !v.cur)
        return out_of_memory(v);
    v.ncontexts = 1;
    v.nwork = 0;
    if (!find_blocks(v) || !check_handlers(v) || !initial_state(v))
        return false;
    while (v.nwork) {
        work_item w = v.work[--v.nwork];
        if (!run_block(v, w.block, w.ctx))
            return false;
    }
    return true;
}

}  // namespace

bool vm_verify_class_types(EE* ee, classblock* cb)
{
    for (u2 i = 0; i < cb->methods_count; i++) {
        methodblock* mb = &cb->methods[i];
        if (!mb->code)
            continue;
        tverifier v = {};
        v.ee = ee;
        v.cb = cb;
        v.mb = mb;
        v.object_type = ref_named(v, OBJECT);
        v.string_type = ref_named(v, "java/lang/String");
        v.class_type = ref_named(v, "java/lang/Class");
        v.throwable_type = ref_named(v, "java/lang/Throwable");
        bool ok = !v.failed && verify_method_types(v);
        arena_free(v);
        if (!ok) {
            if (!vm_exception_pending(ee))
                vm_throw(ee, "java/lang/VerifyError", cb->name);
            return false;
        }
    }
    return true;
}
