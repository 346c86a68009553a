// The natives table and the JNI function table: every native method the
// class library declares is bound; the table's entries are well formed and
// unique; the JNI table has the specification's order and traps the entries
// the VM does not provide; System.arraycopy's checks on real arrays.
#include <gtest/gtest.h>

#include <cstring>
#include <ftw.h>
#include <set>
#include <string>
#include <vector>

#include "vm.h"
#include "vm_test_env.h"

namespace {

const vm_native* const kParts[] = {vm_natives_lang, vm_natives_math, vm_natives_io};

const vm_native* find_entry(const char* clazz, const char* name, const char* sig)
{
    for (const vm_native* part : kParts)
        for (const vm_native* n = part; n->clazz; n++)
            if (!strcmp(n->clazz, clazz) && !strcmp(n->name, name) && !strcmp(n->signature, sig))
                return n;
    return nullptr;
}

std::vector<std::string> class_files;

int collect(const char* path, const struct stat*, int type, struct FTW*)
{
    size_t n = strlen(path);
    if (type == FTW_F && n > 6 && !strcmp(path + n - 6, ".class"))
        class_files.push_back(path);
    return 0;
}

std::vector<u1> read_file(const std::string& path)
{
    std::vector<u1> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    u1 buf[4096];
    size_t k;
    while ((k = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + k);
    fclose(f);
    return bytes;
}

}  // namespace

TEST(NativesTable, EntriesWellFormedAndUnique)
{
    std::set<std::string> seen;
    for (const vm_native* part : kParts) {
        for (const vm_native* n = part; n->clazz; n++) {
            EXPECT_TRUE(vm_valid_method_sig(n->signature)) << n->clazz << "." << n->name << n->signature;
            EXPECT_EQ(strchr(n->clazz, '.'), nullptr) << n->clazz;
            EXPECT_NE(n->fn, nullptr) << n->clazz << "." << n->name;
            std::string key = std::string(n->clazz) + "." + n->name + n->signature;
            EXPECT_TRUE(seen.insert(key).second) << "duplicate " << key;
        }
    }
}

// Every method the class library declares `native` is bound by the table
// (a missing entry would surface only as UnsatisfiedLinkError at run time).
TEST(NativesTable, EveryLibraryNativeIsBound)
{
    vm_heap_init(64u << 20);
    class_files.clear();
    ASSERT_EQ(nftw(ORVA_CLASSES_DIR, collect, 16, FTW_PHYS), 0) << ORVA_CLASSES_DIR;
    ASSERT_GT(class_files.size(), 50u);
    int natives = 0;
    for (const std::string& path : class_files) {
        std::vector<u1> bytes = read_file(path);
        vm_load_error err{};
        classblock* cb = vm_parse_class(bytes.data(), u4(bytes.size()), nullptr, &err);
        ASSERT_NE(cb, nullptr) << path << ": " << err.message;
        for (u2 i = 0; i < cb->methods_count; i++) {
            methodblock* mb = &cb->methods[i];
            if (!(mb->access & ACC_NATIVE))
                continue;
            natives++;
            void* fn = vm_bind_native(mb);
            EXPECT_NE(fn, nullptr) << "no native for " << cb->name << "." << mb->name << mb->signature;
            if (fn) {
                EXPECT_EQ(mb->native_code, fn);
                EXPECT_NE(mb->native_entry, 0u);
                EXPECT_EQ(vm_bind_native(mb), fn);      // rebinding answers the same
            }
        }
    }
    EXPECT_GT(natives, 80);
}

TEST(NativesTable, UnknownMethodIsNotBound)
{
    classblock cb{};
    cb.name = "orva/test/NoNatives";
    methodblock mb{};
    mb.clazz = &cb;
    mb.name = "missing";
    mb.signature = "(I)V";
    mb.access = ACC_NATIVE | ACC_STATIC;
    EXPECT_EQ(vm_bind_native(&mb), nullptr);
    EXPECT_EQ(mb.native_code, nullptr);
    EXPECT_EQ(mb.native_entry, 0u);
}

// ---------------------------------------------------------------------------
// JNI function table
// ---------------------------------------------------------------------------

namespace {

typedef s4 (*jni_version_fn)(EE*);
typedef u1 (*jni_check_fn)(EE*);
typedef u1 (*jni_same_fn)(EE*, jhandle, jhandle);
typedef s4 (*jni_length_fn)(EE*, jhandle);
typedef void (*jni_int_region_fn)(EE*, jhandle, s4, s4, s4*);

// An int[] laid out as the VM lays it out: length word, header byte.
struct fake_int_array {
    u4 preheader;
    u4 length;
    u4 lockword;
    s4 elems[6];
};

}  // namespace

TEST(JniTable, SpecificationOrder)
{
    const void* const* t = vm_jni_function_table;
    EE ee{};
    ee.jni_functions = t;
    EXPECT_EQ(reinterpret_cast<jni_version_fn>(const_cast<void*>(t[4]))(&ee), 0x00010002);
    EXPECT_EQ(reinterpret_cast<jni_check_fn>(const_cast<void*>(t[228]))(&ee), 0);   // ExceptionCheck

    fake_int_array a{};
    a.length = 6;
    a.lockword = (T_INT << 3) | LOCK_HDR_ARRAY;
    u4 ref = reinterpret_cast<u4>(&a.length);
    u4 other = ref;
    EXPECT_EQ(reinterpret_cast<jni_same_fn>(const_cast<void*>(t[24]))(&ee, &ref, &other), 1);  // IsSameObject
    EXPECT_EQ(reinterpret_cast<jni_length_fn>(const_cast<void*>(t[171]))(&ee, &ref), 6);       // GetArrayLength
    s4 in[3] = {7, -8, 9};
    reinterpret_cast<jni_int_region_fn>(const_cast<void*>(t[211]))(&ee, &ref, 2, 3, in);       // SetIntArrayRegion
    s4 out[4] = {};
    reinterpret_cast<jni_int_region_fn>(const_cast<void*>(t[203]))(&ee, &ref, 1, 4, out);      // GetIntArrayRegion
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 7);
    EXPECT_EQ(out[2], -8);
    EXPECT_EQ(out[3], 9);
    EXPECT_EQ(ee.exception_kind, 0u);
    for (int i = 0; i < 233; i++)
        EXPECT_NE(t[i], nullptr) << i;
}

TEST(JniTableDeathTest, UnprovidedEntryTrapsWithItsIndex)
{
    typedef void (*fn)();
    const void* define_class = vm_jni_function_table[5];
    EXPECT_DEATH(reinterpret_cast<fn>(const_cast<void*>(define_class))(), "JNI function 5 is not implemented");
}

// ---------------------------------------------------------------------------
// System.arraycopy on real arrays (needs the bootstrapped class library)
// ---------------------------------------------------------------------------

namespace {

typedef void (*arraycopy_fn)(EE*, jhandle, jhandle, s4, jhandle, s4, s4);

arraycopy_fn arraycopy()
{
    const vm_native* n = find_entry("java/lang/System", "arraycopy", "(Ljava/lang/Object;ILjava/lang/Object;II)V");
    return n ? reinterpret_cast<arraycopy_fn>(n->fn) : nullptr;
}

}  // namespace

TEST(Arraycopy, OverlapAndChecks)
{
    std::string why;
    if (!vmtest::boot(&why))
        GTEST_SKIP() << why;
    arraycopy_fn copy = arraycopy();
    ASSERT_NE(copy, nullptr);
    bool ran = vmtest::run_java([&](EE* ee) {
        jref a = vm_new_array(ee, T_INT, 10);
        ASSERT_NE(a, nullptr);
        s4* e = vm_array_elems<s4>(a);
        for (int i = 0; i < 10; i++)
            e[i] = i;
        u4 ha = reinterpret_cast<u4>(a);
        copy(ee, nullptr, &ha, 0, &ha, 2, 6);              // overlapping, upwards
        EXPECT_EQ(vmtest::take_pending(ee), "");
        const s4 up[10] = {0, 1, 0, 1, 2, 3, 4, 5, 8, 9};
        EXPECT_EQ(memcmp(e, up, sizeof up), 0);
        copy(ee, nullptr, &ha, 3, &ha, 1, 7);              // overlapping, downwards
        const s4 down[10] = {0, 1, 2, 3, 4, 5, 8, 9, 8, 9};
        EXPECT_EQ(memcmp(e, down, sizeof down), 0);

        copy(ee, nullptr, nullptr, 0, &ha, 0, 0);
        EXPECT_EQ(vmtest::take_pending(ee), "java/lang/NullPointerException");
        copy(ee, nullptr, &ha, 1, &ha, 0, 0x7FFFFFFF);     // end wraps past 2^31
        EXPECT_EQ(vmtest::take_pending(ee), "java/lang/ArrayIndexOutOfBoundsException");
        copy(ee, nullptr, &ha, 10, &ha, 10, 0);            // empty range at the end
        EXPECT_EQ(vmtest::take_pending(ee), "");
        jref l = vm_new_array(ee, T_LONG, 10);
        u4 hl = reinterpret_cast<u4>(l);
        copy(ee, nullptr, &ha, 0, &hl, 0, 1);
        EXPECT_EQ(vmtest::take_pending(ee), "java/lang/ArrayStoreException");

        // Object[] {s, s, obj, s} into String[]: two elements copied, then the store check fails.
        jref objs = vm_new_object_array(ee, vm_class_Object, 4);
        jref strs = vm_new_object_array(ee, vm_class_String, 4);
        ASSERT_TRUE(objs && strs);
        jref s = vm_new_string_utf(ee, "s");
        jref o = vm_new_object(ee, vm_class_Object);
        jref* oe = vm_array_elems<jref>(objs);
        oe[0] = s;
        oe[1] = s;
        oe[2] = o;
        oe[3] = s;
        u4 ho = reinterpret_cast<u4>(objs), hs = reinterpret_cast<u4>(strs);
        copy(ee, nullptr, &ho, 0, &hs, 0, 4);
        EXPECT_EQ(vmtest::take_pending(ee), "java/lang/ArrayStoreException");
        jref* se = vm_array_elems<jref>(strs);
        EXPECT_EQ(se[0], s);
        EXPECT_EQ(se[1], s);
        EXPECT_EQ(se[2], nullptr);
        EXPECT_EQ(se[3], nullptr);
    });
    ASSERT_TRUE(ran);
}
