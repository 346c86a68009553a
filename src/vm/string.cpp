// Strings: creation from UTF-8 and from chars, the intern table, and
// conversion back to C strings.
//
// java/lang/String's first fields are value (char[], obj+8), offset (int,
// obj+12) and count (int, obj+16): the compiled String.equals body reads them
// there, and the bootstrap checks the library against these offsets.
//
// UTF-8 input is decoded leniently: class files use modified UTF-8 (U+0000
// as C0 80, supplementary characters as two 3-byte surrogates), C strings
// from the system may hold standard 4-byte forms; both decode to the same
// UTF-16.  Malformed bytes become U+FFFD.  Output is standard UTF-8 except
// U+0000, written as C0 80 so that the C string is not cut short.
//
// The intern table (open addressing, Java hash codes) is guarded by its own
// leaf mutex; objects are allocated outside it.  Its strings are roots for
// the collector.
#include <pthread.h>

#include <cstdlib>
#include <cstring>

#include "vm.h"

namespace {

constexpr u4 STRING_VALUE = 0;       // offsets from obj+8
constexpr u4 STRING_OFFSET = 4;
constexpr u4 STRING_COUNT = 8;

constinit pthread_mutex_t intern_mutex = PTHREAD_MUTEX_INITIALIZER;
constinit jref* intern_table = nullptr;
constinit u4 intern_capacity = 0;    // power of two
constinit u4 intern_count = 0;

// Decodes UTF-8 into out (when non-null); returns the number of chars.
s4 decode_utf8(const char* utf8, u2* out)
{
    const u1* s = reinterpret_cast<const u1*>(utf8);
    s4 n = 0;
    while (*s) {
        u4 c = *s;
        u4 more = 0;
        if (c >= 0xF0 && c < 0xF8) {
            more = 3;
            c &= 0x07;
        } else if (c >= 0xE0 && c < 0xF0) {
            more = 2;
            c &= 0x0F;
        } else if (c >= 0xC0 && c < 0xE0) {
            more = 1;
            c &= 0x1F;
        } else if (c >= 0x80) {
            c = 0xFFFD;
            more = 0;
        }
        u4 k = 1;
        for (; k <= more; k++) {
            if ((s[k] & 0xC0) != 0x80)
                break;
            c = c << 6 | (s[k] & 0x3F);
        }
        if (k <= more) {                         // truncated sequence
            c = 0xFFFD;
            k = 1;
        }
        s += k;
        if (c >= 0x10000) {
            if (out) {
                c -= 0x10000;
                out[n] = static_cast<u2>(0xD800 | (c >> 10));
                out[n + 1] = static_cast<u2>(0xDC00 | (c & 0x3FF));
            }
            n += 2;
        } else {
            if (out)
                out[n] = static_cast<u2>(c);
            n++;
        }
    }
    return n;
}

// Encodes chars as UTF-8 into out (when non-null) up to `room` bytes,
// never splitting a character; returns the bytes used.
size_t encode_utf8(const u2* chars, s4 n, char* out, size_t room)
{
    size_t used = 0;
    for (s4 i = 0; i < n; i++) {
        u4 c = chars[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && chars[i + 1] >= 0xDC00 && chars[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (chars[i + 1] - 0xDC00);
            i++;
        }
        u1 bytes[4];
        size_t len;
        if (c != 0 && c < 0x80) {
            bytes[0] = static_cast<u1>(c);
            len = 1;
        } else if (c < 0x800) {
            bytes[0] = static_cast<u1>(0xC0 | (c >> 6));
            bytes[1] = static_cast<u1>(0x80 | (c & 0x3F));
            len = 2;
        } else if (c < 0x10000) {
            bytes[0] = static_cast<u1>(0xE0 | (c >> 12));
            bytes[1] = static_cast<u1>(0x80 | ((c >> 6) & 0x3F));
            bytes[2] = static_cast<u1>(0x80 | (c & 0x3F));
            len = 3;
        } else {
            bytes[0] = static_cast<u1>(0xF0 | (c >> 18));
            bytes[1] = static_cast<u1>(0x80 | ((c >> 12) & 0x3F));
            bytes[2] = static_cast<u1>(0x80 | ((c >> 6) & 0x3F));
            bytes[3] = static_cast<u1>(0x80 | (c & 0x3F));
            len = 4;
        }
        if (out) {
            if (used + len > room)
                break;
            std::memcpy(out + used, bytes, len);
        }
        used += len;
    }
    return used;
}

u4 chars_hash(const u2* chars, s4 n)
{
    u4 h = 0;
    for (s4 i = 0; i < n; i++)
        h = 31 * h + chars[i];
    return h;
}

bool string_equals(jref s, const u2* chars, s4 n)
{
    return vm_string_length(s) == n && std::memcmp(vm_string_chars(s), chars, n * sizeof(u2)) == 0;
}

// Called with intern_mutex held.
jref intern_lookup_locked(const u2* chars, s4 n, u4 h)
{
    if (!intern_capacity)
        return nullptr;
    for (u4 i = h & (intern_capacity - 1);; i = (i + 1) & (intern_capacity - 1)) {
        jref s = intern_table[i];
        if (!s)
            return nullptr;
        if (string_equals(s, chars, n))
            return s;
    }
}

// Called with intern_mutex held; false when the table cannot grow.
bool intern_insert_locked(jref s, u4 h)
{
    if ((intern_count + 1) * 2 > intern_capacity) {
        u4 cap = intern_capacity ? intern_capacity * 2 : 1024;
        jref* grown = static_cast<jref*>(std::calloc(cap, sizeof(jref)));
        if (!grown)
            return false;
        for (u4 i = 0; i < intern_capacity; i++) {
            jref old = intern_table[i];
            if (!old)
                continue;
            u4 j = chars_hash(vm_string_chars(old), vm_string_length(old)) & (cap - 1);
            while (grown[j])
                j = (j + 1) & (cap - 1);
            grown[j] = old;
        }
        std::free(intern_table);
        intern_table = grown;
        intern_capacity = cap;
    }
    u4 i = h & (intern_capacity - 1);
    while (intern_table[i])
        i = (i + 1) & (intern_capacity - 1);
    intern_table[i] = s;
    intern_count++;
    return true;
}

// Looks chars up, or inserts `fresh` (made by the caller outside the lock).
jref intern_chars(EE* ee, const u2* chars, s4 n, jref fresh)
{
    u4 h = chars_hash(chars, n);
    pthread_mutex_lock(&intern_mutex);
    jref s = intern_lookup_locked(chars, n, h);
    if (!s && fresh) {
        if (intern_insert_locked(fresh, h)) {
            s = fresh;
        } else {
            pthread_mutex_unlock(&intern_mutex);
            vm_throw(ee, "java/lang/OutOfMemoryError", nullptr);
            return nullptr;
        }
    }
    pthread_mutex_unlock(&intern_mutex);
    return s;
}

}  // namespace

jref vm_new_string_chars(EE* ee, const u2* chars, s4 n)
{
    jref value = vm_new_array(ee, T_CHAR, n);
    if (!value)
        return nullptr;
    if (n)
        std::memcpy(vm_array_data(value), chars, n * sizeof(u2));
    jref s = vm_new_object(ee, vm_class_String);
    if (!s)
        return nullptr;
    vm_field<u4>(s, STRING_VALUE) = reinterpret_cast<u4>(value);
    vm_field<s4>(s, STRING_OFFSET) = 0;
    vm_field<s4>(s, STRING_COUNT) = n;
    return s;
}

jref vm_new_string_utf(EE* ee, const char* utf8)
{
    s4 n = decode_utf8(utf8, nullptr);
    jref value = vm_new_array(ee, T_CHAR, n);
    if (!value)
        return nullptr;
    decode_utf8(utf8, vm_array_elems<u2>(value));
    jref s = vm_new_object(ee, vm_class_String);
    if (!s)
        return nullptr;
    vm_field<u4>(s, STRING_VALUE) = reinterpret_cast<u4>(value);
    vm_field<s4>(s, STRING_OFFSET) = 0;
    vm_field<s4>(s, STRING_COUNT) = n;
    return s;
}

jref vm_intern(EE* ee, jref str)
{
    return intern_chars(ee, vm_string_chars(str), vm_string_length(str), str);
}

jref vm_intern_utf(EE* ee, const char* utf8)
{
    u2 small[128];
    s4 n = decode_utf8(utf8, nullptr);
    u2* chars = n <= 128 ? small : static_cast<u2*>(std::malloc(n * sizeof(u2)));
    if (!chars) {
        vm_throw(ee, "java/lang/OutOfMemoryError", nullptr);
        return nullptr;
    }
    decode_utf8(utf8, chars);
    jref s = intern_chars(ee, chars, n, nullptr);
    if (!s) {
        jref fresh = vm_new_string_chars(ee, chars, n);
        if (fresh)
            s = intern_chars(ee, chars, n, fresh);
    }
    if (chars != small)
        std::free(chars);
    return s;
}

s4 vm_string_length(jref str)
{
    return vm_field<s4>(str, STRING_COUNT);
}

const u2* vm_string_chars(jref str)
{
    jref value = reinterpret_cast<jref>(vm_field<u4>(str, STRING_VALUE));
    return vm_array_elems<u2>(value) + vm_field<s4>(str, STRING_OFFSET);
}

char* vm_string_to_utf(jref str, char* buf, size_t len)
{
    if (!len)
        return buf;
    if (!str) {
        std::strncpy(buf, "null", len - 1);
        buf[len - 1] = 0;
        return buf;
    }
    size_t used = encode_utf8(vm_string_chars(str), vm_string_length(str), buf, len - 1);
    buf[used] = 0;
    return buf;
}

char* vm_string_to_utf_alloc(jref str)
{
    if (!str)
        return strdup("null");
    const u2* chars = vm_string_chars(str);
    s4 n = vm_string_length(str);
    size_t bytes = encode_utf8(chars, n, nullptr, 0);
    char* out = static_cast<char*>(std::malloc(bytes + 1));
    if (!out)
        return nullptr;
    encode_utf8(chars, n, out, bytes);
    out[bytes] = 0;
    return out;
}
