// Class-file reader: bytes -> class block (state CS_LOADED), with the
// acceptance rules of this VM.
//
// Accepted: major versions 45 to 52, any minor.  Rejected with
// ClassFormatError: method-handle, method-type and invokedynamic constants
// (tags 15, 16, 18) and every tag this VM does not know, a BootstrapMethods
// attribute, interface methods other than abstract ones and <clinit> (static
// and default interface methods would reach the compiler as calls it cannot
// resolve), truncated or over-long files, malformed names and descriptors.
// Every method's code is then checked by the structural verifier
// (verify.cpp).
//
// Produces, in the metadata arena: the constant pool (cp[-1] the class,
// cp[0] the tag table, longs and doubles as native little-endian values in
// place, low word first), field blocks (a static field's value word holds its
// ConstantValue index until link time), method blocks with their initial
// invoker, counter, flags, return kind, 4-aligned code padded with 4 zero
// bytes, the compiler's exception table and the interpreter's private copy,
// line numbers.  Nothing is resolved; the superclass is only named.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "vm.h"

void vm_load_error_set(vm_load_error* err, const char* exception, const char* format, ...)
{
    if (err->exception)
        return;                                  // keep the first error
    err->exception = exception;
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(err->message, sizeof err->message, format, ap);
    va_end(ap);
}

// ---------------------------------------------------------------------------
// Descriptors
// ---------------------------------------------------------------------------

namespace {

// A class name in internal form inside an L...; descriptor or a Class entry:
// non-empty slash-separated segments without '.', ';', '['.
bool valid_class_name_chars(const char* s, const char* end)
{
    if (s == end)
        return false;
    bool segment_empty = true;
    for (; s < end; s++) {
        char c = *s;
        if (c == '.' || c == ';' || c == '[')
            return false;
        if (c == '/') {
            if (segment_empty)
                return false;
            segment_empty = true;
        } else {
            segment_empty = false;
        }
    }
    return !segment_empty;
}

}  // namespace

bool vm_skip_field_sig(const char*& s)
{
    int dims = 0;
    while (*s == '[') {
        if (++dims > 255)
            return false;
        s++;
    }
    switch (*s) {
    case 'B': case 'C': case 'D': case 'F': case 'I': case 'J': case 'S': case 'Z':
        s++;
        return true;
    case 'L': {
        const char* start = ++s;
        while (*s && *s != ';')
            s++;
        if (*s != ';' || !valid_class_name_chars(start, s))
            return false;
        s++;
        return true;
    }
    default:
        return false;
    }
}

bool vm_valid_field_sig(const char* s)
{
    return vm_skip_field_sig(s) && *s == 0;
}

bool vm_valid_method_sig(const char* s)
{
    if (*s++ != '(')
        return false;
    while (*s != ')') {
        if (!vm_skip_field_sig(s))
            return false;
    }
    s++;
    if (*s == 'V')
        return s[1] == 0;
    return vm_skip_field_sig(s) && *s == 0;
}

int vm_sig_arg_words(const char* sig)
{
    int words = 0;
    const char* s = sig + 1;
    while (*s && *s != ')') {
        words += (*s == 'J' || *s == 'D') ? 2 : 1;
        if (!vm_skip_field_sig(s))
            return words;
    }
    return words;
}

char vm_sig_return_kind(const char* sig)
{
    const char* r = std::strchr(sig, ')');
    if (!r)
        return 'V';
    char c = r[1];
    return c == '[' ? 'L' : c;
}

// ---------------------------------------------------------------------------
// The reader
// ---------------------------------------------------------------------------

namespace {

struct reader {
    const u1* p;
    const u1* end;
    bool truncated;

    bool need(u4 n)
    {
        if (truncated || static_cast<u4>(end - p) < n) {
            truncated = true;
            return false;
        }
        return true;
    }
    u1 r1() { return need(1) ? *p++ : 0; }
    u2 r2()
    {
        if (!need(2))
            return 0;
        u2 v = static_cast<u2>(p[0] << 8 | p[1]);
        p += 2;
        return v;
    }
    u4 r4()
    {
        if (!need(4))
            return 0;
        u4 v = static_cast<u4>(p[0]) << 24 | static_cast<u4>(p[1]) << 16 | static_cast<u4>(p[2]) << 8 | p[3];
        p += 4;
        return v;
    }
    const u1* bytes(u4 n)
    {
        if (!need(n))
            return nullptr;
        const u1* b = p;
        p += n;
        return b;
    }
};

// Modified UTF-8 as class files use it: no zero byte, no 4-byte forms.
bool valid_mutf8(const u1* s, u4 n)
{
    for (u4 i = 0; i < n;) {
        u1 b = s[i];
        u4 more;
        if (b == 0)
            return false;
        if (b < 0x80)
            more = 0;
        else if ((b & 0xE0) == 0xC0)
            more = 1;
        else if ((b & 0xF0) == 0xE0)
            more = 2;
        else
            return false;
        if (n - i - 1 < more)
            return false;
        for (u4 k = 1; k <= more; k++) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
        }
        i += 1 + more;
    }
    return true;
}

// Field and method names: not empty, none of . ; [ / (methods also < >,
// except the two special names).
bool valid_member_name(const char* s, bool method)
{
    if (!*s)
        return false;
    if (method && (std::strcmp(s, "<init>") == 0 || std::strcmp(s, "<clinit>") == 0))
        return true;
    for (; *s; s++) {
        char c = *s;
        if (c == '.' || c == ';' || c == '[' || c == '/')
            return false;
        if (method && (c == '<' || c == '>'))
            return false;
    }
    return true;
}

struct parse_state {
    reader in;
    classblock* cb;
    u4* cp;
    u1* tags;
    u2 count;
    int major;
    const char* name;                            // for messages
    vm_load_error* err;
};

constexpr const char* CFE = "java/lang/ClassFormatError";

bool fail(parse_state& ps, const char* format, const char* detail = "")
{
    char text[200];
    std::snprintf(text, sizeof text, format, detail);
    vm_load_error_set(ps.err, CFE, "%s (class %s)", text, ps.name ? ps.name : "?");
    return false;
}

bool truncated(parse_state& ps)
{
    return fail(ps, "Truncated class file");
}

u1 tag_at(parse_state& ps, u4 index)
{
    return index > 0 && index < ps.count ? ps.tags[index] & CONSTANT_TAG_MASK : 0;
}

const char* utf8_at(parse_state& ps, u4 index)
{
    return tag_at(ps, index) == CONSTANT_Utf8 ? reinterpret_cast<const char*>(ps.cp[index]) : nullptr;
}

bool read_constant_pool(parse_state& ps)
{
    reader& in = ps.in;
    ps.count = in.r2();
    if (in.truncated)
        return truncated(ps);
    if (ps.count == 0)
        return fail(ps, "Illegal constant pool size 0");
    u4* words = static_cast<u4*>(vm_meta_alloc((ps.count + 1u) * 4));
    ps.cp = words + 1;
    // The tag table, then (4-aligned) a copy of the entries' words as read:
    // resolution overwrites cp[i], vm_cp_raw keeps what it named.
    ps.tags = static_cast<u1*>(vm_meta_alloc(vm_cp_raw_offset(ps.count) + 4u * ps.count));
    ps.cp[-1] = reinterpret_cast<u4>(ps.cb);
    ps.cp[0] = reinterpret_cast<u4>(ps.tags);
    for (u4 i = 1; i < ps.count; i++) {
        u1 tag = in.r1();
        if (in.truncated)
            return truncated(ps);
        switch (tag) {
        case CONSTANT_Utf8: {
            u2 len = in.r2();
            const u1* b = in.bytes(len);
            if (!b)
                return truncated(ps);
            if (!valid_mutf8(b, len))
                return fail(ps, "Illegal UTF8 string in constant pool");
            char* s = static_cast<char*>(vm_meta_alloc(len + 1u));
            std::memcpy(s, b, len);
            ps.cp[i] = reinterpret_cast<u4>(s);
            break;
        }
        case CONSTANT_Integer:
        case CONSTANT_Float:
            ps.cp[i] = in.r4();
            break;
        case CONSTANT_Long:
        case CONSTANT_Double: {
            if (i + 1 >= ps.count)
                return fail(ps, "Invalid constant pool entry: long or double in the last slot");
            u4 high = in.r4();
            u4 low = in.r4();
            ps.cp[i] = low;                      // native little-endian value in place
            ps.cp[i + 1] = high;
            ps.tags[i] = tag;
            ps.tags[i + 1] = 0;
            i++;
            continue;
        }
        case CONSTANT_Class:
        case CONSTANT_String:
            ps.cp[i] = in.r2();
            break;
        case CONSTANT_Fieldref:
        case CONSTANT_Methodref:
        case CONSTANT_InterfaceMethodref:
        case CONSTANT_NameAndType: {
            u4 a = in.r2();
            u4 b = in.r2();
            ps.cp[i] = a << 16 | b;
            break;
        }
        case 15: case 16: case 17: case 18: case 19: case 20: {
            char t[8];
            std::snprintf(t, sizeof t, "%u", tag);
            return fail(ps, "Unsupported constant pool tag %s (method handles, method types, "
                            "dynamic constants and modules are not supported)", t);
        }
        default: {
            char t[8];
            std::snprintf(t, sizeof t, "%u", tag);
            return fail(ps, "Unknown constant tag %s in class file", t);
        }
        }
        if (in.truncated)
            return truncated(ps);
        ps.tags[i] = tag;
    }

    std::memcpy(ps.tags + vm_cp_raw_offset(ps.count), ps.cp, 4u * ps.count);

    // Cross-references, now that every entry is known.
    for (u4 i = 1; i < ps.count; i++) {
        u4 w = ps.cp[i];
        switch (ps.tags[i]) {
        case CONSTANT_Class: {
            const char* n = utf8_at(ps, w);
            if (!n)
                return fail(ps, "Invalid constant pool index in Class entry");
            const char* s = n;
            bool ok = n[0] == '[' ? vm_skip_field_sig(s) && *s == 0
                                  : valid_class_name_chars(n, n + std::strlen(n));
            if (!ok)
                return fail(ps, "Illegal class name \"%s\"", n);
            break;
        }
        case CONSTANT_String:
            if (!utf8_at(ps, w))
                return fail(ps, "Invalid constant pool index in String entry");
            break;
        case CONSTANT_Fieldref:
        case CONSTANT_Methodref:
        case CONSTANT_InterfaceMethodref: {
            u4 nat = w & 0xFFFF;
            if (tag_at(ps, w >> 16) != CONSTANT_Class || tag_at(ps, nat) != CONSTANT_NameAndType)
                return fail(ps, "Invalid constant pool reference entry");
            const char* n = utf8_at(ps, ps.cp[nat] >> 16);
            const char* sig = utf8_at(ps, ps.cp[nat] & 0xFFFF);
            if (!n || !sig)
                return fail(ps, "Invalid NameAndType entry");
            bool field = ps.tags[i] == CONSTANT_Fieldref;
            if (!valid_member_name(n, !field))
                return fail(ps, "Illegal member name \"%s\"", n);
            if (field ? !vm_valid_field_sig(sig) : !vm_valid_method_sig(sig))
                return fail(ps, "Illegal descriptor \"%s\"", sig);
            if (!field && n[0] == '<' && vm_sig_return_kind(sig) != 'V')
                return fail(ps, "Method \"%s\" must return void", n);
            break;
        }
        case CONSTANT_NameAndType:
            if (!utf8_at(ps, w >> 16) || !utf8_at(ps, w & 0xFFFF))
                return fail(ps, "Invalid NameAndType entry");
            break;
        default:
            break;
        }
    }
    return true;
}

// Skips an attribute body after its name index has been read.
bool skip_attribute(parse_state& ps)
{
    u4 len = ps.in.r4();
    if (!ps.in.bytes(len))
        return truncated(ps);
    return true;
}

bool read_fields(parse_state& ps)
{
    reader& in = ps.in;
    classblock* cb = ps.cb;
    u2 n = in.r2();
    if (in.truncated)
        return truncated(ps);
    cb->fields_count = n;
    cb->fields = n ? static_cast<fieldblock*>(vm_meta_alloc(n * sizeof(fieldblock))) : nullptr;
    bool is_interface = cb->access & ACC_INTERFACE;
    for (u2 i = 0; i < n; i++) {
        fieldblock* fb = &cb->fields[i];
        u2 access = in.r2();
        const char* name = utf8_at(ps, in.r2());
        const char* sig = utf8_at(ps, in.r2());
        u2 nattr = in.r2();
        if (in.truncated)
            return truncated(ps);
        if (!name || !sig)
            return fail(ps, "Invalid field name or descriptor index");
        if (!valid_member_name(name, false))
            return fail(ps, "Illegal field name \"%s\"", name);
        if (!vm_valid_field_sig(sig))
            return fail(ps, "Illegal field descriptor \"%s\"", sig);
        int vis = (access & ACC_PUBLIC ? 1 : 0) + (access & ACC_PRIVATE ? 1 : 0) + (access & ACC_PROTECTED ? 1 : 0);
        if (vis > 1 || ((access & ACC_FINAL) && (access & ACC_VOLATILE)))
            return fail(ps, "Illegal field modifiers for \"%s\"", name);
        if (is_interface && (access & (ACC_PUBLIC | ACC_STATIC | ACC_FINAL)) != (ACC_PUBLIC | ACC_STATIC | ACC_FINAL))
            return fail(ps, "Illegal modifiers for interface field \"%s\"", name);
        fb->clazz = cb;
        fb->name = name;
        fb->signature = sig;
        fb->access = access & FIELD_ACCESS_MASK;
        fb->index = i;
        fb->value = 0;
        for (u2 a = 0; a < nattr; a++) {
            const char* an = utf8_at(ps, in.r2());
            if (in.truncated)
                return truncated(ps);
            if (an && std::strcmp(an, "ConstantValue") == 0 && (access & ACC_STATIC)) {
                u4 len = in.r4();
                u2 index = in.r2();
                if (in.truncated)
                    return truncated(ps);
                if (len != 2)
                    return fail(ps, "Invalid ConstantValue attribute length");
                u1 tag = tag_at(ps, index);
                bool ok;
                switch (sig[0]) {
                case 'I': case 'S': case 'C': case 'B': case 'Z': ok = tag == CONSTANT_Integer; break;
                case 'F': ok = tag == CONSTANT_Float; break;
                case 'J': ok = tag == CONSTANT_Long; break;
                case 'D': ok = tag == CONSTANT_Double; break;
                default: ok = tag == CONSTANT_String && std::strcmp(sig, "Ljava/lang/String;") == 0; break;
                }
                if (!ok)
                    return fail(ps, "Bad ConstantValue for field \"%s\"", name);
                fb->value = index;               // replaced by the value at link time
            } else if (!skip_attribute(ps)) {
                return false;
            }
        }
        for (u2 k = 0; k < i; k++) {
            if (std::strcmp(cb->fields[k].name, name) == 0 && std::strcmp(cb->fields[k].signature, sig) == 0)
                return fail(ps, "Duplicate field \"%s\"", name);
        }
    }
    return true;
}

bool read_code(parse_state& ps, methodblock* mb)
{
    reader& in = ps.in;
    u4 attr_len = in.r4();
    const u1* attr_end = in.p + attr_len;
    if (!in.need(attr_len))
        return truncated(ps);
    mb->maxstack = in.r2();
    mb->nlocals = in.r2();
    u4 len = in.r4();
    if (in.truncated)
        return truncated(ps);
    if (len == 0 || len >= 65536)
        return fail(ps, "Invalid code length in method \"%s\"", mb->name);
    const u1* code = in.bytes(len);
    if (!code)
        return truncated(ps);
    // 4-aligned (the arena gives 8), padded with at least 4 zero bytes.
    u1* copy = static_cast<u1*>(vm_meta_alloc(((len + 3) & ~3u) + 4));
    std::memcpy(copy, code, len);
    mb->code = copy;
    mb->code_length = len;

    u2 nexc = in.r2();
    if (in.truncated)
        return truncated(ps);
    if (nexc) {
        auto* shared = static_cast<exception_entry*>(vm_meta_alloc(nexc * sizeof(exception_entry)));
        auto* mine = static_cast<exception_entry*>(vm_meta_alloc(nexc * sizeof(exception_entry)));
        for (u2 i = 0; i < nexc; i++) {
            exception_entry e = {};
            e.start_pc = in.r2();
            e.end_pc = in.r2();
            e.handler_pc = in.r2();
            e.catch_type = in.r2();
            if (e.catch_type != 0 && tag_at(ps, e.catch_type) != CONSTANT_Class)
                return fail(ps, "Invalid catch type in method \"%s\"", mb->name);
            shared[i] = e;
            mine[i] = e;
        }
        if (in.truncated)
            return truncated(ps);
        mb->exception_table = reinterpret_cast<u2*>(shared);
        mb->vm_exception_table = reinterpret_cast<u2*>(mine);
        mb->exception_table_length = nexc;
        mb->vm_exception_table_length = nexc;
    }

    u2 nattr = in.r2();
    for (u2 a = 0; a < nattr; a++) {
        const char* an = utf8_at(ps, in.r2());
        if (in.truncated)
            return truncated(ps);
        if (an && std::strcmp(an, "LineNumberTable") == 0) {
            u4 alen = in.r4();
            u2 nlines = in.r2();
            if (in.truncated)
                return truncated(ps);
            if (alen != 2u + 4u * nlines)
                return fail(ps, "Invalid LineNumberTable in method \"%s\"", mb->name);
            u4 old = mb->line_number_table_length;
            if (old + nlines > 0xFFFF)
                return fail(ps, "Too many line numbers in method \"%s\"", mb->name);
            u2* table = static_cast<u2*>(vm_meta_alloc((old + nlines) * 4u));
            if (old)
                std::memcpy(table, mb->line_number_table, old * 4u);
            for (u2 k = 0; k < nlines; k++) {
                u2 pc = in.r2();
                u2 line = in.r2();
                if (pc >= len)
                    return fail(ps, "Invalid pc in LineNumberTable of method \"%s\"", mb->name);
                table[2 * (old + k)] = pc;
                table[2 * (old + k) + 1] = line;
            }
            if (in.truncated)
                return truncated(ps);
            mb->line_number_table = table;
            mb->line_number_table_length = static_cast<u2>(old + nlines);
        } else if (!skip_attribute(ps)) {
            return false;
        }
    }
    if (in.p != attr_end)
        return fail(ps, "Code attribute length mismatch in method \"%s\"", mb->name);
    return true;
}

bool check_method_modifiers(parse_state& ps, methodblock* mb, u2 access)
{
    const char* name = mb->name;
    int vis = (access & ACC_PUBLIC ? 1 : 0) + (access & ACC_PRIVATE ? 1 : 0) + (access & ACC_PROTECTED ? 1 : 0);
    if (vis > 1)
        return fail(ps, "Illegal method modifiers for \"%s\"", name);
    if (access & ACC_ABSTRACT) {
        if (access & (ACC_PRIVATE | ACC_STATIC | ACC_FINAL | ACC_SYNCHRONIZED | ACC_NATIVE | ACC_STRICT))
            return fail(ps, "Illegal abstract method modifiers for \"%s\"", name);
    }
    if (std::strcmp(name, "<init>") == 0 && (access & (ACC_STATIC | ACC_FINAL | ACC_SYNCHRONIZED | ACC_NATIVE | ACC_ABSTRACT)))
        return fail(ps, "Illegal constructor modifiers in class");
    if (ps.cb->access & ACC_INTERFACE) {
        if (std::strcmp(name, "<clinit>") == 0)
            return true;
        // Static, default and private interface methods are not supported.
        if ((access & (ACC_PUBLIC | ACC_ABSTRACT)) != (ACC_PUBLIC | ACC_ABSTRACT))
            return fail(ps, "Interface method \"%s\" is not abstract: static and default "
                            "interface methods are not supported", name);
    }
    return true;
}

bool read_methods(parse_state& ps)
{
    reader& in = ps.in;
    classblock* cb = ps.cb;
    u2 n = in.r2();
    if (in.truncated)
        return truncated(ps);
    cb->methods_count = n;
    cb->methods = n ? static_cast<methodblock*>(vm_meta_alloc(n * sizeof(methodblock))) : nullptr;
    u4 threshold = vm_opts.threshold > MB_COUNTER_MAX ? MB_COUNTER_MAX : vm_opts.threshold;
    for (u2 i = 0; i < n; i++) {
        methodblock* mb = &cb->methods[i];
        u2 access = in.r2();
        const char* name = utf8_at(ps, in.r2());
        const char* sig = utf8_at(ps, in.r2());
        u2 nattr = in.r2();
        if (in.truncated)
            return truncated(ps);
        if (!name || !sig)
            return fail(ps, "Invalid method name or descriptor index");
        if (!valid_member_name(name, true))
            return fail(ps, "Illegal method name \"%s\"", name);
        if (!vm_valid_method_sig(sig))
            return fail(ps, "Illegal method descriptor \"%s\"", sig);
        bool clinit = std::strcmp(name, "<clinit>") == 0;
        bool init = std::strcmp(name, "<init>") == 0;
        if ((clinit && std::strcmp(sig, "()V") != 0) || (init && vm_sig_return_kind(sig) != 'V'))
            return fail(ps, "Illegal descriptor for \"%s\"", name);
        if (clinit)
            access = (access & ACC_STRICT) | ACC_STATIC;
        mb->clazz = cb;
        mb->name = name;
        mb->signature = sig;
        mb->index = i;
        if (!check_method_modifiers(ps, mb, access))
            return false;
        mb->access = access & METHOD_ACCESS_MASK;
        int words = vm_sig_arg_words(sig) + ((access & ACC_STATIC) ? 0 : 1);
        if (words > 255)
            return fail(ps, "Too many arguments in method \"%s\"", name);
        mb->args_size = static_cast<u2>(words);
        mb->counter = static_cast<u2>(threshold);
        mb->return_kind = static_cast<u1>(vm_sig_return_kind(sig));
        mb->vm_flags = (init ? MBF_INIT : 0) | (clinit ? MBF_CLINIT : 0);

        bool have_code = false;
        for (u2 a = 0; a < nattr; a++) {
            const char* an = utf8_at(ps, in.r2());
            if (in.truncated)
                return truncated(ps);
            if (an && std::strcmp(an, "Code") == 0) {
                if (have_code)
                    return fail(ps, "Multiple Code attributes in method \"%s\"", name);
                have_code = true;
                if (!read_code(ps, mb))
                    return false;
            } else if (!skip_attribute(ps)) {
                return false;
            }
        }
        bool wants_code = !(access & (ACC_ABSTRACT | ACC_NATIVE));
        if (have_code != wants_code)
            return fail(ps, wants_code ? "Absent Code attribute in method \"%s\""
                                       : "Code attribute in native or abstract method \"%s\"", name);
        if (mb->code_length == 1 && mb->code[0] == 0xB1)       // a lone `return`
            mb->vm_flags |= MBF_EMPTY_BODY;
        mb->invoker = vm_initial_invoker(mb);
        for (u2 k = 0; k < i; k++) {
            if (std::strcmp(cb->methods[k].name, name) == 0 && std::strcmp(cb->methods[k].signature, sig) == 0)
                return fail(ps, "Duplicate method \"%s\"", name);
        }
    }
    return true;
}

bool read_class_attributes(parse_state& ps)
{
    reader& in = ps.in;
    u2 nattr = in.r2();
    for (u2 a = 0; a < nattr; a++) {
        const char* an = utf8_at(ps, in.r2());
        if (in.truncated)
            return truncated(ps);
        if (an && std::strcmp(an, "SourceFile") == 0) {
            u4 len = in.r4();
            const char* file = utf8_at(ps, in.r2());
            if (in.truncated)
                return truncated(ps);
            if (len != 2 || !file)
                return fail(ps, "Invalid SourceFile attribute");
            ps.cb->source_file = file;
        } else if (an && std::strcmp(an, "BootstrapMethods") == 0) {
            return fail(ps, "BootstrapMethods attribute: invokedynamic is not supported");
        } else if (!skip_attribute(ps)) {
            return false;
        }
    }
    return !in.truncated || truncated(ps);
}

}  // namespace

classblock* vm_parse_class(const u1* bytes, u4 length, const char* expected_name, vm_load_error* err)
{
    err->exception = nullptr;
    err->message[0] = 0;
    parse_state ps = {};
    ps.in = reader{bytes, bytes + length, false};
    ps.err = err;
    ps.name = expected_name;
    reader& in = ps.in;

    u4 magic = in.r4();
    u2 minor = in.r2();
    u2 major = in.r2();
    if (in.truncated) {
        truncated(ps);
        return nullptr;
    }
    if (magic != 0xCAFEBABEu) {
        char m[16];
        std::snprintf(m, sizeof m, "0x%08X", magic);
        fail(ps, "Incompatible magic value %s in class file", m);
        return nullptr;
    }
    if (major < 45 || major > 52) {
        char v[32];
        std::snprintf(v, sizeof v, "%u.%u", major, minor);
        fail(ps, "Unsupported class file version %s (this VM reads 45 to 52)", v);
        return nullptr;
    }
    ps.major = major;

    classblock* cb = vm_meta_alloc_classblock();
    ps.cb = cb;
    if (!read_constant_pool(ps))
        return nullptr;
    cb->constantpool = ps.cp;
    cb->constantpool_count = ps.count;

    u2 access = in.r2();
    u2 this_index = in.r2();
    u2 super_index = in.r2();
    if (in.truncated) {
        truncated(ps);
        return nullptr;
    }
    if (tag_at(ps, this_index) != CONSTANT_Class) {
        fail(ps, "Invalid this_class index");
        return nullptr;
    }
    const char* name = reinterpret_cast<const char*>(ps.cp[ps.cp[this_index]]);
    ps.name = name;
    if (name[0] == '[') {
        fail(ps, "Illegal class name");
        return nullptr;
    }
    if (expected_name && std::strcmp(name, expected_name) != 0) {
        vm_load_error_set(err, "java/lang/NoClassDefFoundError", "%s (wrong name: %s)", expected_name, name);
        return nullptr;
    }
    if (access & ACC_INTERFACE) {
        if (!(access & ACC_ABSTRACT) || (access & ACC_FINAL)) {
            fail(ps, "Illegal class modifiers");
            return nullptr;
        }
    } else if ((access & ACC_FINAL) && (access & ACC_ABSTRACT)) {
        fail(ps, "Illegal class modifiers");
        return nullptr;
    }
    cb->name = name;
    cb->access = access & CLASS_ACCESS_MASK;
    cb->imethodtable = nullptr;
    if (super_index == 0) {
        if (std::strcmp(name, "java/lang/Object") != 0) {
            fail(ps, "Invalid superclass index 0");
            return nullptr;
        }
    } else {
        if (tag_at(ps, super_index) != CONSTANT_Class) {
            fail(ps, "Invalid superclass index");
            return nullptr;
        }
        const char* super_name = reinterpret_cast<const char*>(ps.cp[ps.cp[super_index]]);
        if (super_name[0] == '[' || std::strcmp(name, "java/lang/Object") == 0) {
            fail(ps, "Invalid superclass \"%s\"", super_name);
            return nullptr;
        }
        if ((access & ACC_INTERFACE) && std::strcmp(super_name, "java/lang/Object") != 0) {
            fail(ps, "Interface with superclass \"%s\"", super_name);
            return nullptr;
        }
        cb->super_name = super_name;
    }

    u2 nintf = in.r2();
    if (in.truncated) {
        truncated(ps);
        return nullptr;
    }
    if (nintf) {
        cb->implements = static_cast<u2*>(vm_meta_alloc(nintf * 2u));
        for (u2 i = 0; i < nintf; i++) {
            u2 idx = in.r2();
            if (tag_at(ps, idx) != CONSTANT_Class && !in.truncated) {
                fail(ps, "Invalid interface index");
                return nullptr;
            }
            cb->implements[i] = idx;
        }
    }
    cb->implements_count = nintf;
    if (!read_fields(ps) || !read_methods(ps) || !read_class_attributes(ps))
        return nullptr;
    if (in.p != in.end) {
        fail(ps, "Extra bytes at the end of the class file");
        return nullptr;
    }
    for (u2 i = 0; i < cb->methods_count; i++) {
        methodblock* mb = &cb->methods[i];
        if (mb->code && !vm_verify_method(cb, mb, major, err))
            return nullptr;
    }
    cb->state = CS_LOADED;
    return cb;
}
