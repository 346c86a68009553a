// Method descriptors: the one walk over "(IJ[Ljava/lang/String;D)V" that
// every part of the compiler uses for parameter kinds, argument words and the
// return type (the front end's call words, the stack pass's argument copies,
// the register linkage, the prologue, the native glue, the gates' argument
// copy).
//
// The VM checks descriptors when it loads a class, so compiled methods only
// ever carry well-formed ones; the walk still checks every step, never reads
// past the terminating NUL, and answers DK_MALFORMED for a missing '(', an
// unterminated or empty class name, a '[' not followed by a type, an unknown
// letter (a 'V' parameter included), a missing ')', nothing after ')' and
// bytes after the return type.  Each caller picks its own safe answer for a
// malformed descriptor (refuse the method, stop at the broken parameter).
//
//   desc_walk w = desc_begin(mb->signature);
//   for (desc_item t = desc_next(&w); t.kind > DK_MALFORMED; t = desc_next(&w))
//       words += t.words;
//   desc_item r = desc_return(&w);      // DK_MALFORMED when any part is broken
#ifndef ORVA_LIB_DESCRIPTOR_H
#define ORVA_LIB_DESCRIPTOR_H

#include "vm_abi.h"

// Kind of one descriptor type.  Every value above DK_MALFORMED is a type.
enum desc_kind : u1 {
    DK_END = 0,         // the parameter list is over (the walk passed ')')
    DK_MALFORMED,       // the descriptor is broken here; the walk stays broken
    DK_INT,
    DK_LONG,
    DK_FLOAT,
    DK_DOUBLE,
    DK_REF,             // a class or an array
    DK_BYTE,
    DK_CHAR,
    DK_SHORT,
    DK_BOOLEAN,
    DK_VOID,            // return type only
};

// One type of a descriptor.
struct desc_item {
    u1 kind;            // desc_kind
    u1 words;           // stack words: 2 long or double, 0 void, end or malformed, else 1
    char letter;        // its first character ('[' for an array); 0 at the end or when malformed
    u1 pad;
};
static_assert(sizeof(desc_item) == 4);
static_assert(offsetof(desc_item, kind) == 0);
static_assert(offsetof(desc_item, words) == 1);
static_assert(offsetof(desc_item, letter) == 2);
static_assert(offsetof(desc_item, pad) == 3);

// A walk over one descriptor.
struct desc_walk {
    const char* p;      // next character; nullptr once the descriptor proved malformed
    u1 params_done;     // 1: ')' passed, the return type comes next
    u1 pad[3];
};
static_assert(sizeof(desc_walk) == 8);
static_assert(offsetof(desc_walk, p) == 0);
static_assert(offsetof(desc_walk, params_done) == 4);
static_assert(offsetof(desc_walk, pad) == 5);

constexpr desc_item desc_item_of(u1 kind, char letter)
{
    u1 words = kind == DK_LONG || kind == DK_DOUBLE ? 2 : kind > DK_MALFORMED && kind != DK_VOID ? 1 : 0;
    return desc_item{kind, words, letter, 0};
}

// The kind of a primitive type letter, DK_MALFORMED for any other character.
constexpr u1 desc_primitive_kind(char c)
{
    switch (c) {
    case 'I': return DK_INT;
    case 'J': return DK_LONG;
    case 'F': return DK_FLOAT;
    case 'D': return DK_DOUBLE;
    case 'B': return DK_BYTE;
    case 'C': return DK_CHAR;
    case 'S': return DK_SHORT;
    case 'Z': return DK_BOOLEAN;
    default: return DK_MALFORMED;
    }
}

// Float-class types travel in the x87 stack or memory, never in the integer
// argument registers.
constexpr bool desc_is_float(u1 kind) { return kind == DK_FLOAT || kind == DK_DOUBLE; }

// Reads one type at *pp and moves *pp past it; `allow_void` for a return
// type.  On DK_MALFORMED *pp is left alone.
constexpr desc_item desc_type(const char** pp, bool allow_void)
{
    const char* p = *pp;
    char first = *p;
    while (*p == '[')
        p++;
    bool array = p != *pp;
    if (*p == 'L') {
        const char* name = ++p;
        while (*p != '\0' && *p != ';')
            p++;
        if (*p != ';' || p == name)
            return desc_item_of(DK_MALFORMED, 0);       // unterminated or empty class name
        *pp = p + 1;
        return desc_item_of(DK_REF, first);
    }
    if (*p == 'V' && allow_void && !array) {
        *pp = p + 1;
        return desc_item_of(DK_VOID, 'V');
    }
    u1 kind = desc_primitive_kind(*p);
    if (kind == DK_MALFORMED)
        return desc_item_of(DK_MALFORMED, 0);           // unknown letter, or '[' without a type
    *pp = p + 1;
    return array ? desc_item_of(DK_REF, '[') : desc_item_of(kind, first);
}

// Starts a walk at the descriptor's '('.
constexpr desc_walk desc_begin(const char* descriptor)
{
    if (descriptor == nullptr || descriptor[0] != '(')
        return desc_walk{nullptr, 0, {0, 0, 0}};
    return desc_walk{descriptor + 1, 0, {0, 0, 0}};
}

// The next parameter; DK_END once ')' is passed (and on every call after it),
// DK_MALFORMED when the descriptor is broken at this point.
constexpr desc_item desc_next(desc_walk* w)
{
    if (w->p == nullptr)
        return desc_item_of(DK_MALFORMED, 0);
    if (w->params_done)
        return desc_item_of(DK_END, 0);
    if (*w->p == ')') {
        w->p++;
        w->params_done = 1;
        return desc_item_of(DK_END, 0);
    }
    desc_item t = desc_type(&w->p, false);
    if (t.kind == DK_MALFORMED)
        w->p = nullptr;                                 // includes the NUL of a missing ')'
    return t;
}

// The return type, after the parameters that are left.  DK_MALFORMED when
// any part of the descriptor is broken, nothing follows ')' or bytes follow
// the return type.
constexpr desc_item desc_return(desc_walk* w)
{
    desc_item t = desc_next(w);
    while (t.kind > DK_MALFORMED)
        t = desc_next(w);
    if (t.kind == DK_MALFORMED)
        return t;
    t = desc_type(&w->p, true);
    if (t.kind == DK_MALFORMED || *w->p != '\0') {
        w->p = nullptr;
        return desc_item_of(DK_MALFORMED, 0);
    }
    return t;
}

// The return type of a whole descriptor, DK_MALFORMED when it is broken.
constexpr desc_item desc_return_of(const char* descriptor)
{
    desc_walk w = desc_begin(descriptor);
    return desc_return(&w);
}

// 1 when the whole descriptor is well formed.
constexpr bool desc_well_formed(const char* descriptor) { return desc_return_of(descriptor).kind != DK_MALFORMED; }

#endif // ORVA_LIB_DESCRIPTOR_H
