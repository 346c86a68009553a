// Name patterns of the per-method option filters.
//
// A pattern is a list of alternatives separated by ':', ';' or '|'; a leading
// '^' negates the whole pattern.  Within an alternative, a run of '*' and '?'
// is one wildcard element (each '?' needs one character, any '*' allows any
// number more), "[...]" a character set ('^' complements, '\' escapes, "a-b"
// a range), and any other run a literal ('\' escapes; ';' inside a literal is
// an ordinary character).  Each element knows the minimum length of what
// follows it, so a '*' followed by a fixed-length tail tries the tail once,
// against the end of the name, instead of at every position.
//
// Patterns are compiled from a filter, matched once and released; they come
// from the VM's heap.
#include <string.h>

#include "driver/driver.h"

namespace {

constexpr u1 PE_LITERAL  = 0;
constexpr u1 PE_WILDCARD = 1;
constexpr u1 PE_SET      = 2;

struct pattern_element {
    pattern_element* next;
    u1 kind;                // PE_*
    u1 star;                // wildcard: any number more
    u1 tail_fixed;          // no later element is a '*' wildcard
    u1 pad;
    u4 question;            // wildcard: characters required
    u4 min_after;           // characters the later elements need
    u4 length;              // literal: characters
    char* text;             // literal: the characters (not terminated)
    u4 set[8];              // set: 256 bits
};

struct pattern_alt {
    pattern_alt* next;
    pattern_element* first;
};

} // namespace

struct name_pattern {
    int negate;
    pattern_alt* alts;
};

namespace {

void* zalloc(size_t n)
{
    void* p = jit_vm_malloc(n);
    if (p != nullptr)
        memset(p, 0, n);
    return p;
}

bool is_alt_separator(char c) { return c == ':' || c == ';' || c == '|'; }

void set_add(pattern_element* e, unsigned char c) { e->set[c >> 5] |= 1u << (c & 31); }
bool set_has(const pattern_element* e, unsigned char c) { return (e->set[c >> 5] >> (c & 31)) & 1; }

// Parses "[...]" starting after the '['; returns the position after the ']'.
const char* parse_set(pattern_element* e, const char* p, const char* end)
{
    bool complement = false;
    if (p < end && *p == '^') {
        complement = true;
        p++;
    }
    while (p < end && *p != ']') {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\\' && p + 1 < end)
            c = static_cast<unsigned char>(*++p);
        p++;
        // "a-b" is a range unless the '-' stands right before ']' (or the end).
        if (p + 1 < end && *p == '-' && p[1] != ']') {
            p++;
            unsigned char d = static_cast<unsigned char>(*p);
            if (d == '\\' && p + 1 < end)
                d = static_cast<unsigned char>(*++p);
            p++;
            if (d < c) {
                unsigned char t = c;
                c = d;
                d = t;
            }
            for (unsigned v = c; v <= d; v++)
                set_add(e, static_cast<unsigned char>(v));
        } else {
            set_add(e, c);
        }
    }
    if (complement)
        for (u4& w : e->set)
            w = ~w;
    return p < end ? p + 1 : p;
}

// Fills min_after and tail_fixed of e and every later element; answers the
// fixed length of the elements from e on and whether one of them is a '*'.
u4 set_min_lengths(pattern_element* e, bool* has_star = nullptr)
{
    if (e == nullptr) {
        if (has_star != nullptr)
            *has_star = false;
        return 0;
    }
    bool later_star;
    u4 later = set_min_lengths(e->next, &later_star);
    e->min_after = later_star ? 0 : later;
    e->tail_fixed = later_star ? 0 : 1;
    u4 own = e->kind == PE_WILDCARD ? e->question : e->kind == PE_SET ? 1 : e->length;
    if (has_star != nullptr)
        *has_star = later_star || (e->kind == PE_WILDCARD && e->star);
    return later + own;
}

// Parses one alternative; returns false when memory runs out.
bool parse_alternative(pattern_alt* alt, const char** pp, const char* end)
{
    const char* p = *pp;
    pattern_element** tail = &alt->first;
    while (p < end && *p != ':' && *p != '|') {
        // A ';' ends the alternative only at an element boundary.
        if (*p == ';')
            break;
        auto* e = static_cast<pattern_element*>(zalloc(sizeof(pattern_element)));
        if (e == nullptr)
            return false;
        *tail = e;
        tail = &e->next;
        if (*p == '*' || *p == '?') {
            e->kind = PE_WILDCARD;
            for (; p < end && (*p == '*' || *p == '?'); p++) {
                if (*p == '*')
                    e->star = 1;
                else
                    e->question++;
            }
        } else if (*p == '[') {
            e->kind = PE_SET;
            p = parse_set(e, p + 1, end);
        } else {
            e->kind = PE_LITERAL;
            e->text = static_cast<char*>(jit_vm_malloc(static_cast<size_t>(end - p)));
            if (e->text == nullptr)
                return false;
            while (p < end && *p != '*' && *p != '?' && *p != '[' && *p != ':' && *p != '|') {
                if (*p == '\\' && p + 1 < end)
                    p++;
                e->text[e->length++] = *p++;
            }
        }
    }
    set_min_lengths(alt->first);
    *pp = p;
    return true;
}

bool match_from(const pattern_element* e, const char* s)
{
    if (e == nullptr)
        return *s == '\0';
    switch (e->kind) {
    case PE_LITERAL:
        if (strlen(s) < e->length || memcmp(s, e->text, e->length) != 0)
            return false;
        return match_from(e->next, s + e->length);
    case PE_SET:
        if (*s == '\0' || !set_has(e, static_cast<unsigned char>(*s)))
            return false;
        return match_from(e->next, s + 1);
    default:
        for (u4 q = 0; q < e->question; q++) {
            if (*s == '\0')
                return false;
            s++;
        }
        if (!e->star)
            return match_from(e->next, s);
        if (e->tail_fixed) {
            size_t rest = strlen(s);
            if (rest < e->min_after)
                return false;
            return match_from(e->next, s + rest - e->min_after);
        }
        for (;;) {
            if (match_from(e->next, s))
                return true;
            if (*s == '\0')
                return false;
            s++;
        }
    }
}

} // namespace

name_pattern* compile_pattern(const char* text, int length)
{
    auto* pat = static_cast<name_pattern*>(zalloc(sizeof(name_pattern)));
    if (pat == nullptr)
        return nullptr;
    const char* p = text;
    const char* end = text + length;
    if (p < end && *p == '^') {
        pat->negate = 1;
        p++;
    }
    pattern_alt** tail = &pat->alts;
    for (;;) {
        while (p < end && is_alt_separator(*p))
            p++;
        if (p >= end)
            break;
        auto* alt = static_cast<pattern_alt*>(zalloc(sizeof(pattern_alt)));
        if (alt == nullptr) {
            free_pattern(pat);
            return nullptr;
        }
        *tail = alt;
        tail = &alt->next;
        if (!parse_alternative(alt, &p, end)) {
            free_pattern(pat);
            return nullptr;
        }
    }
    return pat;
}

int is_match(const name_pattern* pattern, const char* name)
{
    bool any = false;
    for (const pattern_alt* a = pattern->alts; a != nullptr && !any; a = a->next)
        any = match_from(a->first, name);
    return (any ? 1 : 0) ^ (pattern->negate ? 1 : 0);
}

void free_pattern(name_pattern* pattern)
{
    if (pattern == nullptr)
        return;
    pattern_alt* a = pattern->alts;
    while (a != nullptr) {
        pattern_element* e = a->first;
        while (e != nullptr) {
            pattern_element* next = e->next;
            jit_vm_free(e->text);
            jit_vm_free(e);
            e = next;
        }
        pattern_alt* next = a->next;
        jit_vm_free(a);
        a = next;
    }
    jit_vm_free(pattern);
}
