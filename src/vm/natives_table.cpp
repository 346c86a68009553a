// natives_table.cpp - binding native methods to their C++ functions.
//
// The class library's natives live in one table made of the per-file parts
// (vm_natives_lang, vm_natives_math, vm_natives_io, vm_natives_reflect,
// vm_natives_file), searched by class name,
// method name and signature.  A method not in the table is looked up as a
// JNI symbol in the process (dlsym of "Java_<class>_<method>", then the
// overloaded form "Java_<class>_<method>__<arguments>"), so a program or a
// test that links its own natives with exported symbols can use them.
// Binding stores the function in mb->native_code and the table position + 1
// in mb->native_entry (0 for a JNI symbol); rebinding a bound method
// returns the stored function.

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <pthread.h>
#include <sys/stat.h>

#include "vm.h"

namespace {

constexpr const vm_native* kNativeParts[] = {
    vm_natives_lang,
    vm_natives_math,
    vm_natives_io,
    vm_natives_reflect,
    vm_natives_file,
};

// Position (from 0) of the entry for the method in the whole table, or -1.
int find_native(const char* clazz, const char* name, const char* sig, void** fn)
{
    int base = 0;
    for (const vm_native* part : kNativeParts) {
        int i = 0;
        for (; part[i].clazz; i++) {
            const vm_native& n = part[i];
            if (strcmp(n.name, name) == 0 && strcmp(n.clazz, clazz) == 0 &&
                strcmp(n.signature, sig) == 0) {
                *fn = n.fn;
                return base + i;
            }
        }
        base += i;
    }
    return -1;
}

// JNI short-name mangling of one UTF-8 component: '/' separates packages,
// '_' '; '[' are escaped as _1 _2 _3, other non-alphanumerics as _0xxxx.
bool mangle(const char* s, const char* end, char*& out, const char* limit)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
    const unsigned char* e = reinterpret_cast<const unsigned char*>(end);
    while (p < e) {
        unsigned c = *p++;
        if (c >= 0x80) {
            // Modified UTF-8 sequence to one UTF-16 unit.
            if ((c & 0xE0) == 0xC0 && p < e) {
                c = ((c & 0x1F) << 6) | (*p++ & 0x3F);
            } else if ((c & 0xF0) == 0xE0 && p + 1 < e) {
                c = ((c & 0x0F) << 12) | ((p[0] & 0x3F) << 6) | (p[1] & 0x3F);
                p += 2;
            }
        }
        char tmp[8];
        const char* piece = tmp;
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            tmp[0] = static_cast<char>(c);
            tmp[1] = 0;
        } else if (c == '/') {
            piece = "_";
        } else if (c == '_') {
            piece = "_1";
        } else if (c == ';') {
            piece = "_2";
        } else if (c == '[') {
            piece = "_3";
        } else {
            snprintf(tmp, sizeof tmp, "_0%04x", c & 0xFFFF);
        }
        size_t k = strlen(piece);
        if (out + k >= limit)
            return false;
        memcpy(out, piece, k);
        out += k;
    }
    *out = 0;
    return true;
}

// Handles of the loaded user libraries.  Appended under the lock; readers
// see a count whose handles are stored (release/acquire on the count).
constexpr int kMaxLibraries = 256;
void* loaded_libraries[kMaxLibraries];
int loaded_count;
pthread_mutex_t libraries_lock = PTHREAD_MUTEX_INITIALIZER;

void* lookup_symbol(const char* sym)
{
    if (void* fn = dlsym(RTLD_DEFAULT, sym))
        return fn;
    int n = __atomic_load_n(&loaded_count, __ATOMIC_ACQUIRE);
    for (int i = 0; i < n; i++)
        if (void* fn = dlsym(loaded_libraries[i], sym))
            return fn;
    return nullptr;
}

void* find_jni_symbol(methodblock* mb)
{
    char sym[1024];
    char* out = sym;
    const char* limit = sym + sizeof sym;
    const char* cls = mb->clazz->name;
    memcpy(out, "Java_", 5);
    out += 5;
    if (!mangle(cls, cls + strlen(cls), out, limit) || out + 1 >= limit)
        return nullptr;
    *out++ = '_';
    if (!mangle(mb->name, mb->name + strlen(mb->name), out, limit))
        return nullptr;
    if (void* fn = lookup_symbol(sym))
        return fn;
    const char* args = mb->signature + 1;
    const char* args_end = strchr(args, ')');
    if (!args_end || out + 2 >= limit)
        return nullptr;
    *out++ = '_';
    *out++ = '_';
    if (!mangle(args, args_end, out, limit))
        return nullptr;
    return lookup_symbol(sym);
}

}  // namespace

bool vm_load_library(EE* ee, const char* path)
{
    struct stat st;
    if (stat(path, &st) != 0) {
        vm_throwf(ee, "java/lang/UnsatisfiedLinkError", "Can't load library: %s", path);
        return false;
    }
    pthread_mutex_lock(&libraries_lock);
    // dlopen of an open library answers its handle again: keep it once.
    void* handle = dlopen(path, RTLD_LAZY | RTLD_LOCAL);
    const char* why = handle ? nullptr : dlerror();
    bool known = false;
    for (int i = 0; handle && i < loaded_count; i++)
        known |= loaded_libraries[i] == handle;
    bool full = handle && !known && loaded_count == kMaxLibraries;
    if (handle && !known && !full) {
        loaded_libraries[loaded_count] = handle;
        __atomic_store_n(&loaded_count, loaded_count + 1, __ATOMIC_RELEASE);
    } else if (known) {
        dlclose(handle);                    // drops the extra reference only
    }
    pthread_mutex_unlock(&libraries_lock);
    if (!handle) {
        vm_throwf(ee, "java/lang/UnsatisfiedLinkError", "%s: %s", path, why ? why : "cannot load");
        return false;
    }
    if (full) {
        dlclose(handle);
        vm_throwf(ee, "java/lang/UnsatisfiedLinkError", "%s: too many native libraries", path);
        return false;
    }
    return true;
}

void* vm_bind_native(methodblock* mb)
{
    if (void* bound = __atomic_load_n(&mb->native_code, __ATOMIC_ACQUIRE))
        return bound;
    void* fn = nullptr;
    int index = find_native(mb->clazz->name, mb->name, mb->signature, &fn);
    u4 entry = 0;
    if (index >= 0)
        entry = static_cast<u4>(index) + 1;
    else
        fn = find_jni_symbol(mb);
    if (!fn)
        return nullptr;
    // Concurrent binders store the same values; the function last, so that
    // a reader that sees it sees the entry too.
    mb->native_entry = entry;
    __atomic_store_n(&mb->native_code, fn, __ATOMIC_RELEASE);
    return fn;
}
