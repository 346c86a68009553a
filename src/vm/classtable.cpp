// The loaded-class table and the class loader.
//
// One loader (the bootstrap loader, loader word 0): a class is searched in
// the class library directory (-bootclasspath) first, then in the -cp
// directories; a class named java/... is taken from the library only, so
// user classes cannot impersonate the classes the compiler recognises by
// name.  Array classes are made on demand from their element class;
// primitive classes (int.class ...) are made by the bootstrap and are not
// loaded classes.
//
// Locks: the class-loading lock (a recursive pthread mutex, outermost) is
// held while a class is read, linked, announced and published, so one
// thread loads at a time and the loading stack below detects circular
// hierarchies (ClassCircularityError).  A class becomes visible only after
// it is linked (CS_LINKED) and the class-prepared hook (the compiler's
// preparation) has returned: then it is appended to vm_binclasses under the
// binclass lock (the compiler reads the table under that lock) and inserted
// into the hash table, whose readers take no lock (release/acquire).  No
// Java code runs while the class-loading lock is held.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vm.h"

namespace {

constexpr u4 NBUCKETS = 4096;
constinit classblock* buckets[NBUCKETS];
constinit u4 binclasses_capacity = 0;

constinit pthread_mutex_t classload_mutex = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

// Classes being loaded by the thread that holds the lock (parsed, not yet
// published).
constexpr int MAX_LOADING_DEPTH = 512;
constinit classblock* loading[MAX_LOADING_DEPTH];
constinit int nloading = 0;

// Classes read for the verifier's hierarchy questions but not loaded yet
// (CS_LOADED), with the directory they came from.  Loading takes a class from
// here instead of reading its file again, so each name has one class block.
struct parsed_class {
    classblock* cb;
    const char* from;
    parsed_class* next;
};
constinit parsed_class* parsed_buckets[NBUCKETS];
constinit parsed_class* parsed_free = nullptr;       // entries to reuse (metadata is never freed)

// Primitive classes by descriptor char and primitive array classes by type.
constinit classblock* primitive_classes[9];
constinit classblock* primitive_array_classes[T_LONG + 1];
constexpr char PRIMITIVE_SIGS[9] = {'Z', 'B', 'C', 'S', 'I', 'J', 'F', 'D', 'V'};
constexpr const char* PRIMITIVE_NAMES[9] = {"boolean", "byte", "char", "short", "int",
                                            "long", "float", "double", "void"};
constexpr int PRIMITIVE_TYPES[9] = {T_BOOLEAN, T_BYTE, T_CHAR, T_SHORT, T_INT, T_LONG, T_FLOAT, T_DOUBLE, 0};

constinit imethod_table* array_imethod_table = nullptr;

inline sys_thread* self_of(EE* ee) { return ee ? vm_self(ee) : nullptr; }

u4 name_hash(const char* s)
{
    u4 h = 2166136261u;
    for (; *s; s++)
        h = (h ^ static_cast<u1>(*s)) * 16777619u;
    return h & (NBUCKETS - 1);
}

int primitive_index(char sig)
{
    for (int i = 0; i < 9; i++) {
        if (PRIMITIVE_SIGS[i] == sig)
            return i;
    }
    return -1;
}

// Makes the class visible: compiler hook first (it must have prepared the
// class before compiled code can reach its methods), then the table.
void publish(EE* ee, classblock* cb, const char* from)
{
    if (vm_class_prepared_hook)
        vm_class_prepared_hook(cb);
    orva_sysMonitorEnter(self_of(ee), vm_binclass_lock);
    int n = vm_nbinclasses;
    if (static_cast<u4>(n) == binclasses_capacity) {
        u4 cap = binclasses_capacity ? binclasses_capacity * 2 : 512;
        auto* grown = static_cast<classblock**>(vm_meta_alloc(cap * sizeof(classblock*)));
        if (n)
            std::memcpy(grown, vm_binclasses, n * sizeof(classblock*));
        __atomic_store_n(&vm_binclasses, grown, __ATOMIC_RELEASE);
        binclasses_capacity = cap;
    }
    vm_binclasses[n] = cb;
    __atomic_store_n(&vm_nbinclasses, n + 1, __ATOMIC_RELEASE);
    u4 h = name_hash(cb->name);
    cb->hash_next = buckets[h];
    __atomic_store_n(&buckets[h], cb, __ATOMIC_RELEASE);
    orva_sysMonitorExit(self_of(ee), vm_binclass_lock);
    if (vm_opts.verbose_class && from) {
        char dotted[512];
        std::fprintf(stderr, "[Loaded %s from %s]\n", vm_class_name_dotted(cb, dotted, sizeof dotted),
                     from ? from : "the VM");
    }
}

// A class name in internal form: slash-separated non-empty segments without
// '.', ';' or '['.  Anything else (a dotted name, "../x", "/abs") is never
// turned into a file path.
bool plausible_class_name(const char* name)
{
    const u1* s = reinterpret_cast<const u1*>(name);
    bool segment_empty = true;
    for (; *s; s++) {
        if (*s == '.' || *s == ';' || *s == '[')
            return false;
        if (*s == '/') {
            if (segment_empty)
                return false;
            segment_empty = true;
        } else {
            segment_empty = false;
        }
    }
    return !segment_empty;
}

classblock* loading_class(const char* name)
{
    for (int i = 0; i < nloading; i++) {
        if (std::strcmp(loading[i]->name, name) == 0)
            return loading[i];
    }
    return nullptr;
}

bool is_loading(const char* name) { return loading_class(name) != nullptr; }

// Removes the read-ahead class of this name; returns it (and where it came
// from) or 0.
classblock* take_parsed(const char* name, const char** from)
{
    for (parsed_class** p = &parsed_buckets[name_hash(name)]; *p; p = &(*p)->next) {
        parsed_class* e = *p;
        if (std::strcmp(e->cb->name, name) == 0) {
            *p = e->next;
            e->next = parsed_free;
            parsed_free = e;
            if (from)
                *from = e->from;
            return e->cb;
        }
    }
    return nullptr;
}

classblock* find_parsed(const char* name)
{
    for (parsed_class* e = parsed_buckets[name_hash(name)]; e; e = e->next) {
        if (std::strcmp(e->cb->name, name) == 0)
            return e->cb;
    }
    return nullptr;
}

void add_parsed(classblock* cb, const char* from)
{
    parsed_class* e = parsed_free;
    if (e)
        parsed_free = e->next;
    else
        e = static_cast<parsed_class*>(vm_meta_alloc(sizeof(parsed_class)));
    u4 h = name_hash(cb->name);
    e->cb = cb;
    e->from = vm_meta_strdup(from);
    e->next = parsed_buckets[h];
    parsed_buckets[h] = e;
}

// Reads dir/name.class into a malloc'd buffer.
bool read_file(const char* dir, size_t dirlen, const char* name, u1** bytes, u4* length)
{
    char path[4096];
    int n = std::snprintf(path, sizeof path, "%.*s%s%s.class", static_cast<int>(dirlen), dir,
                          dirlen ? "/" : "", name);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof path)
        return false;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > (64 << 20)) {
        close(fd);
        return false;
    }
    u4 size = static_cast<u4>(st.st_size);
    u1* buf = static_cast<u1*>(std::malloc(size ? size : 1));
    u4 got = 0;
    while (buf && got < size) {
        ssize_t r = read(fd, buf + got, size - got);
        if (r <= 0)
            break;
        got += static_cast<u4>(r);
    }
    close(fd);
    if (!buf || got != size) {
        std::free(buf);
        return false;
    }
    *bytes = buf;
    *length = size;
    return true;
}

bool search_path(const char* path, const char* name, u1** bytes, u4* length, const char** from,
                 size_t* fromlen)
{
    if (!path)
        return false;
    const char* p = path;
    for (;;) {
        const char* end = std::strchr(p, ':');
        size_t len = end ? static_cast<size_t>(end - p) : std::strlen(p);
        bool archive = len > 4 && (std::strncmp(p + len - 4, ".jar", 4) == 0 || std::strncmp(p + len - 4, ".zip", 4) == 0);
        if (!archive) {
            const char* dir = len ? p : ".";
            size_t dlen = len ? len : 1;
            if (read_file(dir, dlen, name, bytes, length)) {
                *from = dir;
                *fromlen = dlen;
                return true;
            }
        }
        if (!end)
            return false;
        p = end + 1;
    }
}

// Links, verifies and publishes a parsed class.  Called with the
// class-loading lock held.
classblock* link_locked(EE* ee, classblock* cb, const char* from)
{
    if (nloading == MAX_LOADING_DEPTH) {
        vm_throw(ee, "java/lang/LinkageError", "class hierarchy too deep");
        return nullptr;
    }
    loading[nloading++] = cb;
    bool ok = vm_link_class(ee, cb);
    nloading--;
    if (!ok)
        return nullptr;
    publish(ee, cb, from);
    return cb;
}

// Called with the class-loading lock held.
classblock* define_locked(EE* ee, const char* name, const u1* bytes, u4 length, const char* from)
{
    vm_load_error err;
    classblock* cb = vm_parse_class(bytes, length, name, &err);
    if (!cb) {
        vm_throw(ee, err.exception, err.message);
        return nullptr;
    }
    if (vm_lookup_class(cb->name) || is_loading(cb->name)) {
        vm_throwf(ee, "java/lang/LinkageError", "duplicate class definition: %s", cb->name);
        return nullptr;
    }
    take_parsed(cb->name, nullptr);     // a definition from bytes replaces a read-ahead copy
    return link_locked(ee, cb, from);
}

// Reads the class file of `name` from the class path into a malloc'd
// buffer; false (nothing raised) when there is none.
bool find_class_file(const char* name, u1** bytes, u4* length, char* where, size_t wherelen)
{
    const char* from = nullptr;
    size_t fromlen = 0;
    bool found = search_path(vm_opts.bootclasspath, name, bytes, length, &from, &fromlen);
    if (!found && std::strncmp(name, "java/", 5) != 0)
        found = search_path(vm_opts.classpath ? vm_opts.classpath : ".", name, bytes, length, &from, &fromlen);
    if (found)
        std::snprintf(where, wherelen, "%.*s", static_cast<int>(fromlen), from);
    return found;
}

classblock* load_class(EE* ee, const char* name)
{
    if (!plausible_class_name(name)) {
        vm_throw(ee, "java/lang/NoClassDefFoundError", name);
        return nullptr;
    }
    vm_classload_lock();
    classblock* cb = vm_lookup_class(name);
    if (cb) {
        vm_classload_unlock();
        return cb;
    }
    if (is_loading(name)) {
        vm_classload_unlock();
        vm_throw(ee, "java/lang/ClassCircularityError", name);
        return nullptr;
    }
    const char* read_from = nullptr;
    cb = take_parsed(name, &read_from);
    if (cb) {
        cb = link_locked(ee, cb, read_from);
        vm_classload_unlock();
        return cb;
    }
    u1* bytes = nullptr;
    u4 length = 0;
    char where[1024];
    if (!find_class_file(name, &bytes, &length, where, sizeof where)) {
        vm_classload_unlock();
        vm_throw(ee, "java/lang/NoClassDefFoundError", name);
        return nullptr;
    }
    cb = define_locked(ee, name, bytes, length, where);
    std::free(bytes);
    vm_classload_unlock();
    return cb;
}

// A copy of java/lang/Object's method table with word 0 = cb.
method_table* object_table_copy(classblock* cb)
{
    classblock* object = vm_class_Object;
    u4 n = object ? object->methodtable_size : 0;
    auto* mt = static_cast<method_table*>(vm_meta_alloc(4 * (1 + static_cast<size_t>(n))));
    mt->classdescriptor = cb;
    if (n)
        std::memcpy(mt->methods, object->methodtable->methods, n * sizeof(methodblock*));
    cb->methodtable_size = static_cast<u2>(n);
    return mt;
}

imethod_table* arrays_imethod_table()
{
    if (array_imethod_table)
        return array_imethod_table;
    if (!vm_class_Cloneable || !vm_class_Serializable)
        return vm_empty_imethod_table();
    auto* it = static_cast<imethod_table*>(vm_meta_alloc(4 + 16));
    u2* none = static_cast<u2*>(vm_meta_alloc(sizeof(u2)));
    it->icount = 2;
    it->itable[0].classdescriptor = vm_class_Cloneable;
    it->itable[0].offsets = none;
    it->itable[1].classdescriptor = vm_class_Serializable;
    it->itable[1].offsets = none;
    array_imethod_table = it;
    return it;
}

classblock* make_array_class(EE* ee, classblock* element)
{
    classblock* cb = vm_meta_alloc_classblock();
    size_t n = std::strlen(element->name);
    char* name = static_cast<char*>(vm_meta_alloc(n + 4));
    if (element->state & CS_PRIMITIVE)
        std::snprintf(name, n + 4, "[%c", static_cast<char>(element->type_code));
    else if (element->state & CS_ARRAY)
        std::snprintf(name, n + 4, "[%s", element->name);
    else
        std::snprintf(name, n + 4, "[L%s;", element->name);
    cb->name = name;
    cb->superclass = vm_class_Object;
    cb->access = static_cast<u2>((element->access & ACC_PUBLIC) | ACC_FINAL | ACC_ABSTRACT);
    if (element->state & CS_PRIMITIVE) {
        int i = primitive_index(static_cast<char>(element->type_code));
        cb->type_code = static_cast<u2>(PRIMITIVE_TYPES[i]);
        cb->access = ACC_PUBLIC | ACC_FINAL | ACC_ABSTRACT;
    } else {
        cb->type_code = T_REFERENCE;
    }
    cb->element_class = element;
    cb->dimensions = (element->state & CS_ARRAY) ? element->dimensions + 1 : 1;
    cb->methodtable = object_table_copy(cb);
    cb->imethodtable = arrays_imethod_table();
    cb->ref_map = static_cast<u2*>(vm_meta_alloc(sizeof(u2)));
    cb->source_file = nullptr;
    cb->state = CS_LOADED | CS_LINKED | CS_INITIALIZED | CS_ARRAY;
    // Announced and published before the element's cache points at it, so
    // no thread uses it before the compiler has prepared it.
    publish(ee, cb, nullptr);
    __atomic_store_n(&element->array_class, cb, __ATOMIC_RELEASE);
    return cb;
}

classblock* find_array_class(EE* ee, const char* name)
{
    if (!vm_valid_field_sig(name)) {
        vm_throw(ee, "java/lang/NoClassDefFoundError", name);
        return nullptr;
    }
    const char* e = name + 1;
    classblock* element;
    if (*e == '[') {
        element = vm_find_class(ee, e, 0);
    } else if (*e == 'L') {
        size_t len = std::strlen(e) - 2;
        char* inner = static_cast<char*>(std::malloc(len + 1));
        if (!inner) {
            vm_throw(ee, "java/lang/OutOfMemoryError", nullptr);
            return nullptr;
        }
        std::memcpy(inner, e + 1, len);
        inner[len] = 0;
        element = vm_find_class(ee, inner, 0);
        std::free(inner);
    } else {
        element = vm_primitive_class(*e);
    }
    if (!element)
        return nullptr;
    return vm_array_class_of(ee, element);
}

}  // namespace

void vm_classload_lock()
{
    pthread_mutex_lock(&classload_mutex);
}

void vm_classload_unlock()
{
    pthread_mutex_unlock(&classload_mutex);
}

classblock* vm_class_for_verifier(EE* ee, const char* name)
{
    vm_classload_lock();
    classblock* cb = vm_lookup_class(name);
    if (!cb)
        cb = loading_class(name);
    if (!cb)
        cb = find_parsed(name);
    if (!cb) {
        u1* bytes = nullptr;
        u4 length = 0;
        char where[1024];
        if (!plausible_class_name(name) || !find_class_file(name, &bytes, &length, where, sizeof where)) {
            vm_classload_unlock();
            vm_throw(ee, "java/lang/NoClassDefFoundError", name);
            return nullptr;
        }
        vm_load_error err;
        cb = vm_parse_class(bytes, length, name, &err);
        std::free(bytes);
        if (!cb) {
            vm_classload_unlock();
            vm_throw(ee, err.exception, err.message);
            return nullptr;
        }
        add_parsed(cb, where);
    }
    vm_classload_unlock();
    return cb;
}

classblock* vm_lookup_class(const char* name)
{
    for (classblock* cb = __atomic_load_n(&buckets[name_hash(name)], __ATOMIC_ACQUIRE); cb; cb = cb->hash_next) {
        if (std::strcmp(cb->name, name) == 0)
            return cb;
    }
    return nullptr;
}

classblock* vm_find_class(EE* ee, const char* name, int init)
{
    if (!name || !*name) {
        vm_throw(ee, "java/lang/NoClassDefFoundError", name ? name : "null");
        return nullptr;
    }
    classblock* cb = vm_lookup_class(name);
    if (!cb) {
        if (name[0] == '[')
            cb = find_array_class(ee, name);
        else
            cb = load_class(ee, name);
        if (!cb)
            return nullptr;
    }
    if (init && !(cb->state & CS_INITIALIZED) && !vm_init_class(ee, cb))
        return nullptr;
    return cb;
}

classblock* vm_define_class(EE* ee, const char* expected_name, const u1* bytes, u4 length)
{
    vm_classload_lock();
    classblock* cb = define_locked(ee, expected_name, bytes, length, "memory");
    vm_classload_unlock();
    return cb;
}

classblock* vm_array_class_noraise(classblock* element)
{
    classblock* cb = __atomic_load_n(&element->array_class, __ATOMIC_ACQUIRE);
    if (cb)
        return cb;
    if (element->state & CS_PRIMITIVE) {
        int i = primitive_index(static_cast<char>(element->type_code));
        if (i >= 0 && PRIMITIVE_TYPES[i])
            return vm_primitive_array_class(PRIMITIVE_TYPES[i]);
    }
    vm_classload_lock();
    cb = element->array_class;
    if (!cb)
        cb = make_array_class(vm_current_ee(), element);
    vm_classload_unlock();
    return cb;
}

classblock* vm_array_class_of(EE* ee, classblock* element)
{
    classblock* cb = __atomic_load_n(&element->array_class, __ATOMIC_ACQUIRE);
    if (cb)
        return cb;
    if ((element->state & CS_PRIMITIVE) && element->type_code == 'V') {
        vm_throw(ee, "java/lang/NoClassDefFoundError", "[V");
        return nullptr;
    }
    if (element->dimensions >= 255) {
        vm_throw(ee, "java/lang/IllegalArgumentException", "array with more than 255 dimensions");
        return nullptr;
    }
    if (element->state & CS_PRIMITIVE)
        return vm_array_class_noraise(element);
    vm_classload_lock();
    cb = element->array_class;
    if (!cb)
        cb = make_array_class(ee, element);
    vm_classload_unlock();
    return cb;
}

classblock* vm_primitive_array_class(int type)
{
    return type >= T_BOOLEAN && type <= T_LONG ? primitive_array_classes[type] : nullptr;
}

classblock* vm_primitive_class(char sig)
{
    int i = primitive_index(sig);
    return i >= 0 ? primitive_classes[i] : nullptr;
}

// Primitive classes and their array classes (bootstrap, after Object,
// Cloneable and Serializable are linked).
void vm_make_primitive_classes(EE* ee)
{
    vm_classload_lock();
    for (int i = 0; i < 9; i++) {
        if (primitive_classes[i])
            continue;
        classblock* cb = vm_meta_alloc_classblock();
        cb->name = PRIMITIVE_NAMES[i];
        cb->access = ACC_PUBLIC | ACC_FINAL | ACC_ABSTRACT;
        cb->type_code = static_cast<u2>(PRIMITIVE_SIGS[i]);
        cb->methodtable = object_table_copy(cb);
        cb->imethodtable = vm_empty_imethod_table();
        cb->ref_map = static_cast<u2*>(vm_meta_alloc(sizeof(u2)));
        cb->state = CS_LOADED | CS_LINKED | CS_INITIALIZED | CS_PRIMITIVE;
        primitive_classes[i] = cb;
    }
    for (int i = 0; i < 9; i++) {
        int type = PRIMITIVE_TYPES[i];
        if (type && !primitive_array_classes[type])
            primitive_array_classes[type] = make_array_class(ee, primitive_classes[i]);
    }
    vm_classload_unlock();
}

void vm_enumerate_classes(void (*fn)(classblock*, void*), void* arg)
{
    int n = __atomic_load_n(&vm_nbinclasses, __ATOMIC_ACQUIRE);
    classblock** table = __atomic_load_n(&vm_binclasses, __ATOMIC_ACQUIRE);
    for (int i = 0; i < n; i++) {
        if (table[i]->state & CS_LINKED)
            fn(table[i], arg);
    }
}

char* vm_class_name_dotted(classblock* cb, char* buf, size_t len)
{
    if (!len)
        return buf;
    size_t i = 0;
    for (const char* s = cb->name; *s && i + 1 < len; s++, i++)
        buf[i] = *s == '/' ? '.' : *s;
    buf[i] = 0;
    return buf;
}
