// Class flow over the bytecode-level instruction records.
//
// For every reference local the analysis computes, at each block boundary,
// the set of classes the local may hold.  Classes come from the signature,
// allocations, string constants, casts, field types, invocation results and
// array elements, and flow through local-to-local copies.  A first walk
// simulates the operand stack of each block and turns its reference stores
// into a small effect program; a union dataflow over the DFS order solves the
// per-block sets; a second walk replays the blocks from their solved IN sets
// and
//   - removes checkcasts proven to succeed and marks the others with what is
//     known of the operand (an array, or not an array),
//   - turns an instanceof of a local that holds only a fresh object of a
//     matching class into the constant 1,
//   - decides the inlining guards that compare such an object's class,
//   - hangs on every invocation and athrow the possible classes of each
//     argument.
//
// An empty set means that no path stored into the local; "any class" is
// class index 0.  Exception handlers may be entered with whatever the try
// region left in the locals: they start with any class for every local.
// The element class of an array local is taken only from a set holding one
// class: with two array classes the elements may be of either.
#include <stdlib.h>
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/qgen.h"
#include "dataflow/df_bcanalyses.h"
#include "dataflow/df_bcstack.h"
#include "frontend/frontend.h"

namespace {

s4 disable_classflow = -1;

// Kinds of a class-table entry.
constexpr u4 CK_FIELD = 0x10000000;         // the declared type of a field (identity: the field block)
constexpr u4 CK_DECLARED = 0x20000000;      // this class or a subclass, or null
constexpr u4 CK_EXACT = 0x40000000;         // exactly this class (a fresh object, a string constant)
constexpr u4 CK_EXACT_NAME = 0xC0000000;    // exactly this class, known by name only
constexpr u4 CK_TOP = 0xC0000000;

struct classflow_class_entry {
    void* identity;             // class block, field block, or null
    const char* name;
    u4 length;
    u4 kind;
};
static_assert(sizeof(classflow_class_entry) == 16);
constexpr s4 CF_CLASSES = 64;

// States of a stack slot.
enum : s4 {
    S_NONE = 0, S_LOCAL = 1, S_CONST = 2, S_NEW = 3, S_NAMED = 4, S_NEWREFARRAY = 5, S_NEWMULTI = 6,
    S_ELEMENT = 7, S_ELEMTEXT = 8, S_DECLARED = 9, S_CAST = 10, S_FIELD = 11, S_INT = 12, S_FLOAT = 13,
    S_LONG = 14, S_DOUBLE = 15
};
constexpr u4 SF_SHUFFLED = 0x80000000;      // moved or copied by a stack instruction
constexpr u4 SF_UNRESOLVED = 0x40000000;    // state 3: the allocation is unresolved
constexpr u4 SF_POSITION = 0x3F;

struct cf_slot {
    s4 state;
    u4 two;
    u4 value;
    u4 block;
    u4 index;
    u4 flags;
    void mark() { flags |= SF_SHUFFLED; }
};
static_assert(sizeof(cf_slot) == 24);

struct classflow_block_record {
    u8* sets;                   // per tracked local: IN, OUT
    u1* effects;
    u2 length;
    u2 capacity;
};
static_assert(sizeof(classflow_block_record) == 12);

// Effect codes of a block's program.
constexpr u1 E_CLASS = 1, E_COPY = 2, E_ELEMENT = 3;

struct classflow_state {
    abstract_stack<cf_slot> st;
    u4 block;                   // the stack's current block
    classflow_class_entry* classes;
    s4 count;
    s4 capacity;
    dataflow_pass_context* pc;
    classflow_block_record* blocks;
    int16_t* tracked;           // local -> tracked index, -1
    u2* reverse;                // tracked index -> local
    int16_t ntracked;
    u4 nlocals;
    // Rewrite walk.
    bool rewrite;
    s4 allocated;               // tracked locals that have sets
    u8* current;                // current set per tracked local of the block
    u4 index;                   // instruction being walked
    bool stop;
};

const u8 ANY = ABIT_llshr[0];

// ---- class table -------------------------------------------------------------------

s4 intern(method_compile_context* m, classflow_state* s, const classflow_class_entry& key)
{
    if (s->classes == nullptr) {
        s->classes = static_cast<classflow_class_entry*>(
            jit_wmem_alloc(m->pool2, CF_CLASSES * sizeof(classflow_class_entry)));
        if (s->classes == nullptr)
            return 0;
        memset(s->classes, 0, CF_CLASSES * sizeof(classflow_class_entry));
        s->capacity = CF_CLASSES;
        s->count = 1;
    }
    for (s4 i = 1; i < s->count; i++) {
        const classflow_class_entry& e = s->classes[i];
        if (e.identity == key.identity && e.kind == key.kind && e.length == key.length
            && (e.length == 0 || memcmp(e.name, key.name, e.length) == 0))
            return i;
    }
    if (s->count >= s->capacity)
        return 0;
    s->classes[s->count] = key;
    return s->count++;
}

const classflow_class_entry* entry_of(const classflow_state* s, s4 index)
{
    return s->classes != nullptr && index > 0 && index < s->count ? &s->classes[index] : nullptr;
}

// The one class of a set: its index, 0 for {any class}, -1 for none (empty,
// two or more classes).
s4 single_class(u8 set)
{
    if (set == 0 || (set & (set - 1)) != 0)
        return -1;
    return __builtin_clzll(set);
}

s4 tracked_of(const classflow_state* s, u4 local)
{
    return local < s->nlocals ? s->tracked[local] : -1;
}

// The tracked index of a local, made on first use; -1 when it cannot have one.
s4 track(classflow_state* s, u4 local)
{
    if (local >= s->nlocals)
        return -1;
    if (s->tracked[local] >= 0)
        return s->tracked[local];
    if (s->rewrite && s->ntracked >= s->allocated)
        return -1;
    s4 t = s->ntracked++;
    s->tracked[local] = static_cast<int16_t>(t);
    s->reverse[t] = static_cast<u2>(local);
    return t;
}

u8 current_set(const classflow_state* s, u4 local)
{
    s4 t = tracked_of(s, local);
    return t >= 0 && t < s->allocated ? s->current[t] : 0;
}

// ---- names -------------------------------------------------------------------------

u4 text_length(const char* t) { return t != nullptr ? static_cast<u4>(strlen(t)) : 0; }

// Plain form of a name: a leading "L" is skipped (unless `keep_l`); a
// trailing ";" of a name that is not an array or object descriptor is cut.
classflow_class_entry normalised(void* identity, const char* name, u4 kind, bool keep_l)
{
    u4 len = text_length(name);
    if (!keep_l && len > 0 && name[0] == 'L') {
        name++;
        len--;
    }
    if (len > 0 && name[0] != 'L' && name[0] != '[' && name[len - 1] == ';')
        len--;
    return classflow_class_entry{identity, name, len, kind};
}

// The element name of an array class name at dimension position p: the text
// after the "[" found there, without a leading "L" and a trailing ";".
bool element_name(const classflow_class_entry* c, u4 p, const char** name, u4* len)
{
    if (c == nullptr || c->name == nullptr || p >= c->length || c->name[p] != '[')
        return false;
    const char* t = c->name + p + 1;
    u4 n = c->length - p - 1;
    if (n > 0 && t[0] == 'L') {
        t++;
        n--;
    }
    if (n > 0 && t[n - 1] == ';')
        n--;
    *name = t;
    *len = n;
    return true;
}

// The class index of the element of the array a local holds (set `source`).
s4 element_class(method_compile_context* m, classflow_state* s, u8 source, u4 p)
{
    s4 c = single_class(source);
    if (c <= 0)
        return 0;
    const char* name;
    u4 len;
    if (!element_name(entry_of(s, c), p, &name, &len))
        return 0;
    return intern(m, s, classflow_class_entry{nullptr, name, len, CK_DECLARED});
}

const char* bracketed_name(method_compile_context* m, const char* element)
{
    u4 n = text_length(element);
    auto* t = static_cast<char*>(jit_wmem_alloc(m->pool1, n + 4));
    if (t == nullptr)
        return nullptr;
    t[0] = '[';
    t[1] = 'L';
    memcpy(t + 2, element, n);
    t[n + 2] = ';';
    t[n + 3] = 0;
    return t;
}

// The store key of a slot in states 3 to 11 (but 7).
bool slot_key(method_compile_context* m, const cf_slot& v, classflow_class_entry* key)
{
    switch (v.state) {
    case S_NEW: case S_NEWMULTI: {
        auto* cb = reinterpret_cast<classblock*>(v.value);
        *key = normalised(cb, cb->name, CK_EXACT, true);
        break;
    }
    case S_NEWREFARRAY: {
        auto* cb = reinterpret_cast<classblock*>(v.value);
        const char* name = bracketed_name(m, cb->name);
        if (name == nullptr)
            return false;
        *key = normalised(nullptr, name, CK_EXACT, true);
        break;
    }
    case S_NAMED:
        *key = normalised(nullptr, reinterpret_cast<const char*>(v.value), CK_EXACT, false);
        return true;
    case S_ELEMTEXT: case S_DECLARED:
        *key = normalised(nullptr, reinterpret_cast<const char*>(v.value), CK_DECLARED, false);
        return true;
    case S_CAST: {
        auto* cb = reinterpret_cast<classblock*>(v.value);
        *key = classflow_class_entry{cb, cb->name, text_length(cb->name), CK_DECLARED};
        return true;
    }
    case S_FIELD: {
        auto* fb = reinterpret_cast<fieldblock*>(v.value);
        *key = normalised(fb, fb->signature, CK_FIELD, false);
        return true;
    }
    default:
        return false;
    }
    if (v.flags & SF_UNRESOLVED) {
        key->kind = CK_EXACT_NAME;
        key->identity = nullptr;
    }
    return true;
}

// ---- effects -----------------------------------------------------------------------

void put16(u1* p, u4 v)
{
    u2 h = static_cast<u2>(v);
    memcpy(p, &h, 2);
}
u4 get16(const u1* p)
{
    u2 h;
    memcpy(&h, p, 2);
    return h;
}

bool classflow_grow_effects(method_compile_context* m, classflow_block_record* r, u4 need)
{
    if (static_cast<u4>(r->length) + need <= r->capacity)
        return true;
    u4 capacity = r->capacity == 0 ? 16 : 2u * r->capacity;
    while (capacity < static_cast<u4>(r->length) + need)
        capacity *= 2;
    if (capacity > 0xFFFF)
        return false;
    auto* bytes = static_cast<u1*>(jit_wmem_alloc(m->pool2, capacity));
    if (bytes == nullptr)
        return false;
    if (r->length > 0)
        memcpy(bytes, r->effects, r->length);
    r->effects = bytes;
    r->capacity = static_cast<u2>(capacity);
    return true;
}

void append(method_compile_context* m, classflow_state* s, u4 block, const u1* effect, u4 size)
{
    classflow_block_record* r = &s->blocks[block];
    u1 any[4] = {E_CLASS, 0, 0, 0};
    if (!classflow_grow_effects(m, r, size)) {
        // No room: the destination is recorded as any class instead.
        memcpy(any + 1, effect + 1, 2);
        if (!classflow_grow_effects(m, r, 4))
            return;
        effect = any;
        size = 4;
    }
    memcpy(r->effects + r->length, effect, size);
    r->length = static_cast<u2>(r->length + size);
}

// L gets class index c.
void give_class(method_compile_context* m, classflow_state* s, u4 local, s4 c)
{
    s4 t = track(s, local);
    if (t < 0)
        return;
    if (s->rewrite) {
        if (t < s->allocated)
            s->current[t] = ABIT_llshr[c];
        return;
    }
    u1 e[4] = {E_CLASS, 0, 0, static_cast<u1>(c)};
    put16(e + 1, static_cast<u4>(t));
    append(m, s, s->block, e, 4);
}

// L gets what `source` holds (E_COPY), or the element class of the array
// class `source` holds, read at position p (E_ELEMENT).
void give_from(method_compile_context* m, classflow_state* s, u4 local, u4 source, u1 kind, u4 p)
{
    s4 t = track(s, local);
    s4 f = track(s, source);
    if (t < 0)
        return;
    if (f < 0) {
        give_class(m, s, local, 0);
        return;
    }
    if (s->rewrite) {
        if (t < s->allocated) {
            auto held = f < s->allocated ? s->current[f] : ANY;
            s->current[t] = kind == E_COPY ? held : ABIT_llshr[element_class(m, s, held, p)];
        }
        return;
    }
    u1 e[6] = {kind};
    put16(e + 1, static_cast<u4>(t));
    put16(e + 3, static_cast<u4>(f));
    e[5] = static_cast<u1>(p & SF_POSITION);
    append(m, s, s->block, e, kind == E_COPY ? 5 : 6);
}

void give_copy(method_compile_context* m, classflow_state* s, u4 local, u4 source)
{
    give_from(m, s, local, source, E_COPY, 0);
}

void give_element(method_compile_context* m, classflow_state* s, u4 local, u4 source, u4 p)
{
    give_from(m, s, local, source, E_ELEMENT, p);
}

// ---- the simulation ----------------------------------------------------------------

void push(classflow_state* s, s4 state, u4 value, u4 flags = 0)
{
    cf_slot* p = s->st.push_slot();
    if (p != nullptr)
        *p = cf_slot{state, 0, value, s->block, s->index, flags};
}
void push2(classflow_state* s, s4 state)
{
    s->st.push2(cf_slot{state, 0, 0xFFFFFFFFu, s->block, s->index, 0});
}
void pop(classflow_state* s) { s->st.pop(); }
void pop2(classflow_state* s) { s->st.pop2(); }

bool unresolved(const quadruple* q) { return (q->subcode & 0xC000) != 0; }

const classblock* method_class(const bbattr* b) { return b->mb != nullptr ? b->mb->clazz : nullptr; }

// The resolved class entry k of the block's constant pool, or none.
classblock* resolved_class(const bbattr* b, u4 k)
{
    const classblock* cb = method_class(b);
    if (cb == nullptr || cb->constantpool == nullptr || k == 0 || k >= cb->constantpool_count)
        return nullptr;
    const u1* tags = reinterpret_cast<const u1*>(cb->constantpool[0]);
    if (tags[k] != (CONSTANT_RESOLVED | CONSTANT_Class))
        return nullptr;
    return reinterpret_cast<classblock*>(cb->constantpool[k]);
}

void element_rule(method_compile_context* m, classflow_state* s, cf_slot* a)
{
    if (a == nullptr) {
        push(s, S_NONE, 0xFFFFFFFFu);
        return;
    }
    const char* text = nullptr;
    switch (a->state) {
    case S_LOCAL:
        push(s, S_ELEMENT, a->value, 0);
        return;
    case S_ELEMENT: {
        cf_slot again = *a;
        u4 p = again.flags & SF_POSITION;
        if (p < SF_POSITION)
            p++;
        again.flags = (again.flags & ~SF_POSITION) | p;
        s->st.push(again);
        return;
    }
    case S_NAMED: case S_ELEMTEXT: case S_DECLARED:
        text = reinterpret_cast<const char*>(a->value);
        break;
    case S_FIELD:
        text = reinterpret_cast<fieldblock*>(a->value)->signature;
        break;
    case S_NEWREFARRAY:
        push(s, S_ELEMTEXT, reinterpret_cast<u4>(reinterpret_cast<classblock*>(a->value)->name));
        return;
    case S_NEW: case S_NEWMULTI: {
        const char* name = reinterpret_cast<classblock*>(a->value)->name;
        if (name != nullptr && name[0] == '[')
            push(s, S_ELEMTEXT, reinterpret_cast<u4>(name + 1));
        else
            push(s, S_NONE, 0xFFFFFFFFu);
        return;
    }
    default:
        push(s, S_NONE, 0xFFFFFFFFu);
        return;
    }
    if (text != nullptr && text[0] == '[')
        push(s, S_ELEMTEXT, reinterpret_cast<u4>(text + 1));
    else
        push(s, S_NONE, 0xFFFFFFFFu);
}

void field_rule(method_compile_context* m, classflow_state* s, const bbattr* b, const quadruple* q, u4 k)
{
    const fieldblock* fb = nullptr;
    if (k == 0) {
        fb = reinterpret_cast<const fieldblock*>(q->aux);
    } else if (unresolved(q)) {
        const char* sig = get_field_signature(const_cast<classblock*>(method_class(b)), k, m);
        if (sig != nullptr)
            push(s, S_DECLARED, reinterpret_cast<u4>(sig));
        else
            push(s, S_NONE, 0xFFFFFFFFu);
        return;
    } else {
        const classblock* cb = method_class(b);
        if (cb != nullptr && cb->constantpool != nullptr && k < cb->constantpool_count) {
            const u1* tags = reinterpret_cast<const u1*>(cb->constantpool[0]);
            if (tags[k] == (CONSTANT_RESOLVED | CONSTANT_Fieldref))
                fb = reinterpret_cast<const fieldblock*>(cb->constantpool[k]);
        }
    }
    if (fb != nullptr && fb->signature != nullptr)
        push(s, S_FIELD, reinterpret_cast<u4>(fb));
    else
        push(s, S_NONE, 0xFFFFFFFFu);
}

void invocation_rule(method_compile_context* m, classflow_state* s, const bbattr* b, const quadruple* q)
{
    if ((q->subcode & QS_KIND_MASK) == 12) {
        push(s, S_NONE, 0xFFFFFFFFu);
        return;
    }
    const char* sig = nullptr;
    if (q->op == 0) {
        const methodblock* mb = reinterpret_cast<const methodblock*>(q->value);
        sig = mb != nullptr ? mb->signature : nullptr;
    } else {
        const char* name = nullptr;
        const char* clname = nullptr;
        get_method_name_sig_and_clname(const_cast<classblock*>(method_class(b)), q->op, m, 0, &name, &sig, &clname);
    }
    const char* ret = sig != nullptr ? strchr(sig, ')') : nullptr;
    if (ret != nullptr && ret[1] != 0)
        push(s, S_DECLARED, reinterpret_cast<u4>(ret + 1));
    else
        push(s, S_NONE, 0xFFFFFFFFu);
}

// The store rule for a store into local L (opcodes 37 and 115 of kind 2).
void store_rule(method_compile_context* m, classflow_state* s, bbattr* b, quadruple* q, bool keep)
{
    u4 L = q->op;
    cf_slot* popped = s->st.pop();
    cf_slot v = popped != nullptr ? *popped : cf_slot{};
    if (popped == nullptr) {
        give_class(m, s, L, 0);
    } else if (v.state == S_LOCAL && v.value == L) {
        if (!keep && v.block == s->block && !(v.flags & SF_SHUFFLED) && v.index < b->quad_count) {
            quad_make_nop(b->catbl[v.index], false);
            quad_make_nop(q, false);
        }
    } else if (v.state == S_LOCAL) {
        give_copy(m, s, L, v.value);
    } else if (v.state == S_ELEMENT) {
        give_element(m, s, L, v.value, v.flags & SF_POSITION);
    } else {
        classflow_class_entry key;
        if (slot_key(m, v, &key))
            give_class(m, s, L, intern(m, s, key));
        else
            give_class(m, s, L, 0);
    }
    if (keep && popped != nullptr)
        s->st.push(v);
    s->st.forget_if([L](const cf_slot& x) { return x.state == S_LOCAL && x.value == L; },
                    [](cf_slot& x) {
                        x.state = S_NONE;
                        x.value = 0xFFFFFFFFu;
                    });
}

bool named(const classflow_class_entry* e, const char* text)
{
    u4 n = text_length(text);
    return e->length == n && memcmp(e->name, text, n) == 0;
}

// Classes every array is assignable to.
bool array_supertype(const classflow_class_entry* e)
{
    static const char* const names[] = {"java/lang/Object", "java/io/Serializable", "java/lang/Cloneable",
                                        "Ljava/lang/Object;", "Ljava/io/Serializable;", "Ljava/lang/Cloneable;"};
    for (const char* n : names)
        if (named(e, n))
            return true;
    return false;
}

EE* current_ee() { return vm.EE != nullptr ? vm.EE() : nullptr; }

bool is_subclass(classblock* c, classblock* super)
{
    EE* ee = current_ee();
    return vm.is_subclass_of != nullptr && c != nullptr && super != nullptr && vm.is_subclass_of(c, super, ee) != 0;
}

// The single class entry of the local a slot copies, or none.
const classflow_class_entry* single_of_local(const classflow_state* s, u4 local, bool* any)
{
    *any = false;
    s4 c = single_class(current_set(s, local));
    if (tracked_of(s, local) < 0 || c < 0)
        return nullptr;
    if (c == 0) {
        *any = true;
        return nullptr;
    }
    return entry_of(s, c);
}

void checkcast(method_compile_context* m, classflow_state* s, bbattr* b, quadruple* q)
{
    // A proven cast gives the slot back the mark it had before the cast:
    // a copy a dup made must keep its mark, or the load it came from could
    // be folded away under the copy.
    cf_slot* top = s->st.top();
    u4 mark_before = top != nullptr ? top->flags & SF_SHUFFLED : 0;
    s->st.mark_top();
    cf_slot* popped = s->st.pop();
    classblock* C = unresolved(q) ? nullptr : resolved_class(b, q->op);
    if (C == nullptr) {
        push(s, S_NONE, 0xFFFFFFFFu);
        return;
    }
    cf_slot v = popped != nullptr ? *popped : cf_slot{};
    if (s->rewrite && popped != nullptr && v.state == S_LOCAL) {
        bool any;
        const classflow_class_entry* E = single_of_local(s, v.value, &any);
        if (E != nullptr) {
            bool proven = (!(E->kind & CK_FIELD) && E->identity != nullptr
                           && is_subclass(static_cast<classblock*>(E->identity), C))
                          || (E->length >= 1 && named(E, C->name));
            if (proven) {
                quad_make_nop(q, false);
                v.flags = (v.flags & ~SF_SHUFFLED) | mark_before;
                s->st.push(v);
                return;
            }
            if (E->length >= 1) {
                q->subcode &= ~0x0140;
                if (E->name[0] == '[')
                    q->subcode |= 0x0100;
                else if (!array_supertype(E))
                    q->subcode |= 0x0040;
            }
        }
    }
    if (popped != nullptr && v.state != S_NONE && !(C->access & ACC_FINAL))
        s->st.push(v);
    else
        push(s, S_CAST, reinterpret_cast<u4>(C));
}

void instanceof(method_compile_context* m, classflow_state* s, bbattr* b, quadruple* q)
{
    cf_slot* popped = s->st.pop();
    if (s->rewrite && popped != nullptr && popped->state == S_LOCAL && !(popped->flags & SF_SHUFFLED)
        && !unresolved(q) && popped->block == s->block && popped->index < b->quad_count
        && b->catbl[popped->index]->opcode == OPC_ALOAD) {
        classblock* C = resolved_class(b, q->op);
        bool any;
        const classflow_class_entry* E = single_of_local(s, popped->value, &any);
        if (C != nullptr && E != nullptr && (E->kind & CK_TOP) == CK_EXACT && E->identity != nullptr
            && is_subclass(static_cast<classblock*>(E->identity), C)) {
            quad_make_nop(b->catbl[popped->index], false);
            u4 pc_word = q->src2.value;
            quad_make_nop(q, false);
            q->opcode = OPC_ICONST;
            q->subcode = 0;
            q->value = 1;
            q->flags_a |= QA_CONSTANT;  // a constant an optimization made
            q->src2.value = pc_word;
        }
    }
    push(s, S_INT, 0xFFFFFFFFu);
}

// ---- argument hints ----------------------------------------------------------------

struct argument_hint {
    u1 flags;                   // bit 0: exactly this class
    u1 kind;                    // 0 class block, 1 field block, 2 name text
    u2 length;                  // kind 2
    u4 value;
    argument_hint* next;
};
static_assert(sizeof(argument_hint) == 12);

struct hint_list {
    argument_hint* head;
    argument_hint* tail;
};

void add_hint(method_compile_context* m, hint_list* l, u1 kind, u4 value, u4 length, bool exact)
{
    auto* h = static_cast<argument_hint*>(jit_wmem_alloc(m->pool1, sizeof(argument_hint)));
    if (h == nullptr)
        return;
    h->flags = exact ? 1 : 0;
    h->kind = kind;
    h->length = static_cast<u2>(length);
    h->value = value;
    h->next = nullptr;
    if (l->tail != nullptr)
        l->tail->next = h;
    else
        l->head = h;
    l->tail = h;
}

void hints_of(method_compile_context* m, classflow_state* s, const cf_slot& v, hint_list* l)
{
    switch (v.state) {
    case S_LOCAL: {
        u8 set = current_set(s, v.value);
        if (tracked_of(s, v.value) < 0 || (set & ANY))
            return;
        for (s4 i = 1; i < 64; i++) {
            if (!(set & ABIT_llshr[i]))
                continue;
            const classflow_class_entry* e = entry_of(s, i);
            if (e == nullptr)
                continue;
            if (e->kind & CK_FIELD && (e->kind & CK_TOP) == 0)
                add_hint(m, l, 1, reinterpret_cast<u4>(e->identity), 0, false);
            else if (e->identity != nullptr)
                add_hint(m, l, 0, reinterpret_cast<u4>(e->identity), 0, (e->kind & CK_EXACT) != 0);
            else
                add_hint(m, l, 2, reinterpret_cast<u4>(e->name), e->length, (e->kind & CK_EXACT) != 0);
        }
        return;
    }
    case S_NEW: case S_NEWMULTI:
        add_hint(m, l, 0, v.value, 0, true);
        return;
    case S_CAST:
        add_hint(m, l, 0, v.value, 0, false);
        return;
    case S_FIELD:
        add_hint(m, l, 1, v.value, 0, false);
        return;
    case S_NAMED: case S_ELEMTEXT: case S_DECLARED: {
        classflow_class_entry k = normalised(nullptr, reinterpret_cast<const char*>(v.value), 0, false);
        add_hint(m, l, 2, reinterpret_cast<u4>(k.name), k.length, v.state == S_NAMED);
        return;
    }
    case S_NEWREFARRAY: {
        const char* name = bracketed_name(m, reinterpret_cast<classblock*>(v.value)->name);
        if (name != nullptr)
            add_hint(m, l, 2, reinterpret_cast<u4>(name), text_length(name), true);
        return;
    }
    case S_ELEMENT: {
        s4 c = single_class(current_set(s, v.value));
        const char* name;
        u4 len;
        if (c > 0 && element_name(entry_of(s, c), v.flags & SF_POSITION, &name, &len))
            add_hint(m, l, 2, reinterpret_cast<u4>(name), len, false);
        return;
    }
    default:
        return;
    }
}

void classflow_argument_hints(method_compile_context* m, classflow_state* s, quadruple* q, s4 n)
{
    if (n < 1)
        return;
    s4 d = s->st.depth;
    if (d < n) {
        s->st.clear();
        return;
    }
    s->st.depth = d - n;
    auto* words = static_cast<u4*>(jit_wmem_alloc(m->pool1, 12u * static_cast<u4>(d + 1)));
    if (words == nullptr)
        return;
    memset(words, 0, 12u * static_cast<u4>(d + 1));
    words[0] = static_cast<u4>(d);
    q->target = reinterpret_cast<u4>(words);
    for (s4 i = d - n; i < d; i++) {
        const cf_slot& v = s->st.slots[i];
        if (v.two) {
            i++;
            continue;
        }
        hint_list l{nullptr, nullptr};
        hints_of(m, s, v, &l);
        words[3 + 3 * i] = reinterpret_cast<u4>(l.head);
    }
}

// ---- guards ------------------------------------------------------------------------

void guard(method_compile_context* m, classflow_state* s, bbattr* b, quadruple** slot)
{
    quadruple* q = *slot;
    cf_slot* popped = s->st.pop();
    if (!s->rewrite || popped == nullptr)
        return;
    u4 kind = q->subcode & QS_KIND_MASK;
    if ((kind != 1 && kind != 2) || popped->state != S_LOCAL || (popped->flags & SF_SHUFFLED))
        return;
    bool any;
    const classflow_class_entry* E = single_of_local(s, popped->value, &any);
    // Both guards compare the object's class: only a fresh object of a class
    // known by its class block decides them.
    if (E == nullptr || (E->kind & CK_TOP) != CK_EXACT || E->identity == nullptr)
        return;
    auto* cb = static_cast<classblock*>(E->identity);
    bool equal;
    if (kind == 2) {
        const u4* cell = reinterpret_cast<const u4*>(q->second);
        if (cell == nullptr)
            return;
        equal = *cell == reinterpret_cast<u4>(cb);
    } else {
        const method_table* mt = cb->methodtable;
        u4 k = q->src2.value & 0xFFFF;
        if (mt == nullptr || k >= cb->methodtable_size)
            return;
        equal = q->second == reinterpret_cast<u4>(mt->methods[k]);
    }
    bool taken;
    if (q->op == QCC_EQ)
        taken = equal;
    else if (q->op == QCC_NE)
        taken = !equal;
    else {
        s->stop = true;
        return;
    }
    if (ResolveACMP1(m, s->block, slot, popped->block, popped->index, taken ? 1 : 0) == 1)
        s->pc->flags |= DFP_FLOW_CHANGED;
}

// ---- the per-opcode simulation ------------------------------------------------------

void simulate(method_compile_context* m, classflow_state* s, bbattr* b, quadruple** slot)
{
    quadruple* q = *slot;
    u1 op = q->opcode;
    if (op > 183) {
        s->st.clear();
        return;
    }
    switch (op) {
    case OPC_OTHER: {
        u4 kind = q->subcode & QS_KIND_MASK;
        if (kind == 1 || kind == 2)
            s->st.clear();
        return;
    }
    case OPC_ILOAD: case OPC_IGETSTATIC: push(s, S_INT, 0xFFFFFFFFu); return;
    case OPC_ICONST: case OPC_ACONST: push(s, S_CONST, q->value); return;
    case OPC_ISTORE: case OPC_IFZ: case OPC_FSTORE: case OPC_SWITCH: case OPC_MONITOR: case OPC_IPUTSTATIC:
    case OPC_FPUTSTATIC: case OPC_APUTSTATIC: case OPC_POP: case OPC_PSTORE: case OPC_XASTORE:
        pop(s);
        return;
    case OPC_IOP2: pop(s); pop(s); push(s, S_INT, 0xFFFFFFFFu); return;
    case OPC_IOP1: case OPC_IGETFIELD: case OPC_ARRAYLENGTH: case OPC_F2I:
        pop(s);
        push(s, S_INT, 0xFFFFFFFFu);
        return;
    case OPC_IALOAD: pop(s); pop(s); push(s, S_INT, 0xFFFFFFFFu); return;
    case OPC_LALOAD: pop(s); pop(s); push2(s, S_LONG); return;
    case OPC_FALOAD: pop(s); pop(s); push(s, S_FLOAT, 0xFFFFFFFFu); return;
    case OPC_DALOAD: pop(s); pop(s); push2(s, S_DOUBLE); return;
    case OPC_AALOAD: {
        pop(s);
        cf_slot* a = s->st.pop();
        cf_slot copy = a != nullptr ? *a : cf_slot{};
        element_rule(m, s, a != nullptr ? &copy : nullptr);
        return;
    }
    case OPC_IASTORE: case OPC_FASTORE: case OPC_AASTORE: pop(s); pop(s); pop(s); return;
    case OPC_LASTORE: case OPC_DASTORE: pop2(s); pop(s); pop(s); return;
    case OPC_IFCMP: case OPC_IFACMP: case OPC_IPUTFIELD: case OPC_FPUTFIELD: case OPC_APUTFIELD:
        s->st.pop_n(2);
        return;
    case OPC_LLOAD: case OPC_LCONST: case OPC_LGETSTATIC: push2(s, S_LONG); return;
    case OPC_LSTORE: case OPC_DSTORE: case OPC_LPUTSTATIC: case OPC_DPUTSTATIC: case OPC_POP2: pop2(s); return;
    case OPC_LOP2: pop2(s); pop2(s); push2(s, S_LONG); return;
    case OPC_LSHIFT: pop(s); pop2(s); push2(s, S_LONG); return;
    case OPC_LOP1: case OPC_D2L: pop2(s); push2(s, S_LONG); return;
    case OPC_LCMP: case OPC_DCMP: pop2(s); pop2(s); push(s, S_INT, 0xFFFFFFFFu); return;
    case OPC_FLOAD: case OPC_FCONST: case OPC_FGETSTATIC: push(s, S_FLOAT, 0xFFFFFFFFu); return;
    case OPC_FOP2: case OPC_FCMP: case OPC_EADDR: s->st.pop_n(2); push(s, S_NONE, 0xFFFFFFFFu); return;
    case OPC_FOP1: case OPC_FGETFIELD: case OPC_I2F: pop(s); push(s, S_FLOAT, 0xFFFFFFFFu); return;
    case OPC_DLOAD: case OPC_DCONST: case OPC_DGETSTATIC: push2(s, S_DOUBLE); return;
    case OPC_DOP2: pop2(s); pop2(s); push2(s, S_DOUBLE); return;
    case OPC_DOP1: case OPC_L2D: pop2(s); push2(s, S_DOUBLE); return;
    case OPC_ALOAD: push(s, S_LOCAL, q->op); return;
    case OPC_ASTORE: store_rule(m, s, b, q, false); return;
    case OPC_IFNULL:
        if (s->rewrite)
            guard(m, s, b, slot);
        else
            pop(s);
        return;
    case OPC_IINC: case OPC_GOTO: case OPC_SYNCENTER: case OPC_SYNCEXIT: return;
    case OPC_IRETURN: case OPC_LRETURN: case OPC_FRETURN: case OPC_DRETURN: case OPC_ARETURN: case OPC_JSR:
        s->st.clear();
        return;
    case OPC_NEW: {
        if (unresolved(q)) {
            push(s, S_NONE, 0xFFFFFFFFu);
            return;
        }
        classblock* cb = q->aux != 0 ? reinterpret_cast<classblock*>(q->aux) : resolved_class(b, q->op);
        if (cb == nullptr)
            push(s, S_NONE, 0xFFFFFFFFu);
        else
            push(s, S_NEW, reinterpret_cast<u4>(cb), 0);
        return;
    }
    case OPC_CHECKCAST: checkcast(m, s, b, q); return;
    case OPC_INSTANCEOF: instanceof(m, s, b, q); return;
    case OPC_ICALL: case OPC_LCALL: case OPC_FCALL: case OPC_DCALL: case OPC_ACALL: case OPC_VCALL:
    case OPC_CALL_MARK: {
        if (s->rewrite)
            classflow_argument_hints(m, s, q, q->count & 0xFF);
        else
            s->st.pop_n(q->count & 0xFF);
        switch (op) {
        case OPC_ICALL: push(s, S_INT, 0xFFFFFFFFu); break;
        case OPC_LCALL: push2(s, S_LONG); break;
        case OPC_FCALL: push(s, S_FLOAT, 0xFFFFFFFFu); break;
        case OPC_DCALL: push2(s, S_DOUBLE); break;
        case OPC_ACALL: invocation_rule(m, s, b, q); break;
        default: break;
        }
        return;
    }
    case OPC_LGETFIELD: case OPC_I2L: case OPC_F2L: pop(s); push2(s, S_LONG); return;
    case OPC_DGETFIELD: case OPC_I2D: case OPC_F2D: pop(s); push2(s, S_DOUBLE); return;
    case OPC_AGETFIELD: pop(s); field_rule(m, s, b, q, q->target); return;
    case OPC_AGETSTATIC: field_rule(m, s, b, q, q->op); return;
    case OPC_LPUTFIELD: case OPC_DPUTFIELD: pop2(s); pop(s); return;
    case OPC_NEWARRAY: {
        pop(s);
        static const char letters[] = "ZCFDBSIJ";
        auto* t = static_cast<char*>(jit_wmem_alloc(m->pool1, 3));
        if (t == nullptr) {
            push(s, S_NONE, 0xFFFFFFFFu);
            return;
        }
        u4 code = q->op;
        if (code >= 4 && code <= 11) {
            t[0] = '[';
            t[1] = letters[code - 4];
            t[2] = 0;
        } else {
            t[0] = 0;
        }
        push(s, S_NAMED, reinterpret_cast<u4>(t));
        return;
    }
    case OPC_ANEWARRAY: {
        pop(s);
        classblock* cb = unresolved(q) ? nullptr : (q->aux != 0 ? reinterpret_cast<classblock*>(q->aux)
                                                                : resolved_class(b, q->op));
        if (cb == nullptr)
            push(s, S_NONE, 0xFFFFFFFFu);
        else
            push(s, S_NEWREFARRAY, reinterpret_cast<u4>(cb), 1);
        return;
    }
    case OPC_MULTIANEWARRAY: {
        s->st.pop_n(q->count);
        classblock* cb = unresolved(q) ? nullptr : (q->aux != 0 ? reinterpret_cast<classblock*>(q->aux)
                                                                : resolved_class(b, q->op));
        if (cb == nullptr)
            push(s, S_NONE, 0xFFFFFFFFu);
        else
            push(s, S_NEWMULTI, reinterpret_cast<u4>(cb), q->count & SF_POSITION);
        return;
    }
    case OPC_L2I: case OPC_D2I: pop2(s); push(s, S_INT, 0xFFFFFFFFu); return;
    case OPC_L2F: case OPC_D2F: pop2(s); push(s, S_FLOAT, 0xFFFFFFFFu); return;
    case OPC_DUP: s->st.dup(); return;
    case OPC_DUP2: s->st.dup2(); return;
    case OPC_DUP_X1: s->st.dup_x1(); return;
    case OPC_DUP2_X1: s->st.dup2_x1(); return;
    case OPC_DUP_X2: s->st.dup_x2(); return;
    case OPC_DUP2_X2: s->st.dup2_x2(); return;
    case OPC_SWAP: s->st.swap(); return;
    case OPC_LDC: push(s, S_NAMED, reinterpret_cast<u4>("java/lang/String")); return;
    case OPC_ATHROW:
        if (s->rewrite)
            classflow_argument_hints(m, s, q, 1);
        else
            s->st.pop_n(1);
        return;
    case OPC_NULLCHECK_MARK: s->st.pop_n(q->op); return;
    case OPC_PLOAD: case OPC_XALOAD: push(s, S_NONE, 0xFFFFFFFFu); return;
    case OPC_XSTORE:
        s->st.mark_top();
        if ((q->subcode & QS_KIND_MASK) == 2)
            store_rule(m, s, b, q, true);
        return;
    case OPC_LDCTABLE: pop(s); push(s, S_NONE, 0xFFFFFFFFu); return;
    case OPC_ACMOVE: case OPC_ICMOVE: case OPC_FCMOVE:
        pop(s); pop(s); pop(s); pop(s);
        push(s, S_NONE, 0xFFFFFFFFu);
        return;
    case OPC_LCMOVE: case OPC_DCMOVE:
        pop2(s); pop2(s); pop(s); pop(s);
        push(s, S_NONE, 0xFFFFFFFFu);
        return;
    default:
        if (op >= 117 && op <= 178)
            s->st.clear();
        return;
    }
}

// The block walk of both walks.  The rewrite walk starts each block from its
// solved IN sets.
void walk(method_compile_context* m, classflow_state* s)
{
    u4 previous = 0;
    for (u4 i = 0; i < m->dfs_count && !s->stop; i++) {
        u4 id = m->dfs_array[i];
        if (id >= m->bb_count)
            continue;
        bbattr* b = m->bb_table[id];
        if (b->quad_count == 0 || (b->flags & BB_DEAD))
            continue;
        const bbattr* prev = m->bb_table[previous];
        bool chained = b->pred_count == 1
                       && ((prev->succ_count >= 1 && prev->succ[0] == id) || (prev->succ_count >= 2 && prev->succ[1] == id));
        if (!chained)
            s->st.clear();
        s->block = id;
        if (s->rewrite) {
            const u8* sets = s->blocks[id].sets;
            for (s4 t = 0; t < s->allocated; t++)
                s->current[t] = sets != nullptr ? sets[2 * t] : 0;
        }
        for (u4 k = 0; k < b->quad_count && !s->stop; k++) {
            s->index = k;
            simulate(m, s, b, &b->catbl[k]);
        }
        previous = id;
    }
}

// ---- entry facts, solve ---------------------------------------------------------------

void classflow_entry_facts(method_compile_context* m, classflow_state* s)
{
    methodblock* mb = m->mb;
    if (mb == nullptr || mb->signature == nullptr)
        return;
    s->block = 0;
    u4 local = 0;
    if (!(mb->access & ACC_STATIC)) {
        classblock* cb = mb->clazz;
        if (cb != nullptr)
            give_class(m, s, 0, intern(m, s, classflow_class_entry{cb, cb->name, text_length(cb->name), CK_DECLARED}));
        local = 1;
    }
    const char* p = strchr(mb->signature, '(');
    if (p == nullptr)
        return;
    p++;
    while (*p != 0 && *p != ')') {
        const char* start = p;
        switch (*p) {
        case 'D': case 'J':
            local += 2;
            p++;
            continue;
        case 'L': {
            const char* end = strchr(p, ';');
            if (end == nullptr)
                return;
            give_class(m, s, local, intern(m, s, classflow_class_entry{nullptr, start, static_cast<u4>(end - start + 1), CK_DECLARED}));
            local++;
            p = end + 1;
            continue;
        }
        case '[': {
            while (*p == '[')
                p++;
            const char* end = p;
            if (*p == 'L') {
                end = strchr(p, ';');
                if (end == nullptr)
                    return;
            }
            if (*end == 0)
                return;
            give_class(m, s, local, intern(m, s, classflow_class_entry{nullptr, start, static_cast<u4>(end - start + 1), CK_DECLARED}));
            local++;
            p = end + 1;
            continue;
        }
        default:
            local++;
            p++;
            continue;
        }
    }
}

// OUT = IN, then the block's effects.  1 when an OUT set changed.
int classflow_transfer(method_compile_context* m, classflow_state* s, u4 block)
{
    classflow_block_record* r = &s->blocks[block];
    u8* sets = r->sets;
    s4 n = s->ntracked;
    u8 kept[64];
    u8* old = n <= 64 ? kept : static_cast<u8*>(jit_wmem_alloc(m->pool2, 8u * static_cast<u4>(n)));
    if (old == nullptr)
        return 0;
    for (s4 t = 0; t < n; t++) {
        old[t] = sets[2 * t + 1];
        sets[2 * t + 1] = sets[2 * t];
    }
    for (u4 k = 0; k < r->length;) {
        const u1* e = r->effects + k;
        u4 dest = get16(e + 1);
        if (e[0] == E_CLASS) {
            if (dest < static_cast<u4>(n))
                sets[2 * dest + 1] = ABIT_llshr[e[3] & 63];
            k += 4;
        } else if (e[0] == E_COPY) {
            u4 src = get16(e + 3);
            if (dest < static_cast<u4>(n) && src < static_cast<u4>(n))
                sets[2 * dest + 1] = sets[2 * src + 1];
            k += 5;
        } else {
            u4 src = get16(e + 3);
            if (dest < static_cast<u4>(n) && src < static_cast<u4>(n))
                sets[2 * dest + 1] = ABIT_llshr[element_class(m, s, sets[2 * src + 1], e[5])];
            k += 6;
        }
    }
    for (s4 t = 0; t < n; t++)
        if (old[t] != sets[2 * t + 1])
            return 1;
    return 0;
}

// Exception handlers are entered with whatever the try region left.
bool handler_entry(const method_compile_context* m, u4 block)
{
    if (m->bb_table[block]->flags & BB_HANDLER)
        return true;
    const bbattr* e = m->bb_table[0];
    for (u4 k = 1; k < e->succ_count; k++)
        if (bb_succ_block(e->succ[k]) == block)
            return true;
    return false;
}

bool classflow_solve(method_compile_context* m, classflow_state* s)
{
    s4 n = s->ntracked;
    u4 nblocks = m->bb_count;
    if (n <= 0)
        return true;
    u4 bytes = 16u * static_cast<u4>(n) * nblocks;
    auto* all = static_cast<u8*>(jit_wmem_alloc(m->pool2, bytes));
    if (all == nullptr)
        return false;
    memset(all, 0, bytes);
    for (u4 b = 0; b < nblocks; b++)
        s->blocks[b].sets = all + 2u * static_cast<u4>(n) * b;
    for (u4 b = 1; b + 1 < nblocks; b++)
        if (handler_entry(m, b))
            for (s4 t = 0; t < n; t++)
                s->blocks[b].sets[2 * t] = ANY;
    auto* pending = static_cast<u1*>(jit_wmem_alloc(m->pool2, nblocks));
    if (pending == nullptr)
        return false;
    memset(pending, 1, nblocks);
    u4 exit_id = nblocks - 1;
    for (bool changed = true; changed;) {
        changed = false;
        for (u4 i = 0; i < m->dfs_count; i++) {
            u4 id = m->dfs_array[i];
            if (id >= nblocks || id == exit_id)
                continue;
            bbattr* b = m->bb_table[id];
            if (b->flags & BB_DEAD)
                continue;
            if (pending[id]) {
                pending[id] = 0;
                changed |= classflow_transfer(m, s, id) != 0;
            }
            // A block flagged so (the interpreter's transfer entry) passes nothing on.
            if (b->flags2 & BB2_ENDS_IN_BRANCH)
                continue;
            const u8* out = s->blocks[id].sets;
            for (u4 k = b->succ_count; k-- > 0;) {
                u4 t = bb_succ_block(b->succ[k]);
                if (t >= nblocks || t == exit_id)
                    continue;
                if (changed)
                    pending[t] = 1;
                u8* in = s->blocks[t].sets;
                for (s4 x = 0; x < n; x++) {
                    u8 joined = in[2 * x] | out[2 * x + 1];
                    if (joined != in[2 * x]) {
                        in[2 * x] = joined;
                        pending[t] = 1;
                        changed = true;
                    }
                }
            }
        }
    }
    return true;
}

// The method's invocation instructions.  The compile context's count is
// made later, by quadruple generation; until then the blocks are counted.
u4 invocations(const method_compile_context* m)
{
    if (m->invocation_count != 0)
        return m->invocation_count;
    u4 n = 0;
    for (u4 i = 0; i < m->bb_count; i++) {
        const bbattr* b = m->bb_table[i];
        if (b == nullptr || (b->flags & BB_DEAD))
            continue;
        for (u4 k = 0; k < b->quad_count; k++) {
            u1 op = b->catbl[k]->opcode;
            if (op >= OPC_ICALL && op <= OPC_CALL_MARK)
                n++;
        }
    }
    return n;
}

} // namespace

int dataflow_classflow(method_compile_context* m, dataflow_pass_context* pc)
{
    if (df_env_switch(&disable_classflow, "DISABLE_CLASSFLOW") != 0)
        return 0;
    if (invocations(m) == 0 || m->local_count == 0 || m->subroutine_count > 0
        || static_cast<u4>(m->bb_count) * m->local_count * 16u > 0x40000u || m->max_stack == 0)
        return 0;

    cf_slot frame_slots[64];
    classflow_block_record frame_blocks[64];
    classflow_state s{};
    s.pc = pc;
    s.nlocals = m->local_count;
    s.st.capacity = m->max_stack;
    s.st.slots = m->max_stack > 64 ? static_cast<cf_slot*>(jit_wmem_alloc(m->pool2, m->max_stack * sizeof(cf_slot)))
                                   : frame_slots;
    s.blocks = m->bb_count > 64 ? static_cast<classflow_block_record*>(
                   jit_wmem_alloc(m->pool2, m->bb_count * sizeof(classflow_block_record)))
                                : frame_blocks;
    if (s.st.slots == nullptr || s.blocks == nullptr)
        return 1;
    memset(s.blocks, 0, m->bb_count * sizeof(classflow_block_record));
    s.tracked = static_cast<int16_t*>(jit_wmem_alloc(m->pool2, 2u * s.nlocals));
    s.reverse = static_cast<u2*>(jit_wmem_alloc(m->pool2, 2u * s.nlocals));
    if (s.tracked == nullptr || s.reverse == nullptr)
        return 1;
    memset(s.tracked, 0xFF, 2u * s.nlocals);
    memset(s.reverse, 0xFF, 2u * s.nlocals);

    classflow_entry_facts(m, &s);
    walk(m, &s);
    if (s.classes == nullptr)
        return 0;
    if (!classflow_solve(m, &s))
        return 1;

    s.rewrite = true;
    s.allocated = s.ntracked;
    u8 current_frame[64];
    s.current = s.allocated <= 64 ? current_frame
                                  : static_cast<u8*>(jit_wmem_alloc(m->pool2, 8u * static_cast<u4>(s.allocated)));
    if (s.current == nullptr)
        return 1;
    s.st.clear();
    walk(m, &s);
    return 0;
}
