// The hand-written bodies of String.equals, Random.next and the Vector
// methods, called directly with hand-made objects.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "lib/rt_stubs.h"
#include "rt_fixture.h"

namespace {

constexpr int EQUALS_SLOT = 3;

struct world {
    rtf_class* string_class;
    rtf_class* object_class;
    rtf_class* other_class;
    rtf_class* vector_class;
    methodblock string_equals;
    methodblock other_equals;
};

// Answers "equal" when both objects hold the same first field (compiled convention).
__attribute__((regparm(3))) int other_equals_code(u4* self, u4* arg)
{
    return arg != nullptr && !(arg[1] & LOCK_HDR_ARRAY) && arg[0] == self[0] && arg[2] == self[2];
}

world& W()
{
    static world* w;
    if (w == nullptr) {
        w = new world();
        memset(&w->string_equals, 0, sizeof(methodblock));
        memset(&w->other_equals, 0, sizeof(methodblock));
        w->string_class = rtf_make_class("java/lang/String", 8);
        w->object_class = rtf_make_class("java/lang/Object", 8);
        w->other_class = rtf_make_class("Other", 8);
        w->vector_class = rtf_make_class("java/util/Vector", 8);
        w->string_equals.clazz = &w->string_class->cb;
        w->string_equals.compiled_code = rt_string_equals_entry;
        w->string_class->mt->methods[EQUALS_SLOT] = &w->string_equals;
        w->other_equals.compiled_code = reinterpret_cast<void*>(&other_equals_code);
        w->other_class->mt->methods[EQUALS_SLOT] = &w->other_equals;
        rtf_string_mt = w->string_class->mt;
    }
    rt_string_class = &w->string_class->cb;
    rt_string_equals_mb = &w->string_equals;
    rt_equals_slot = EQUALS_SLOT;
    return *w;
}

u4* make_string(const std::u16string& s, int offset = 0)
{
    u4* chars = rtf_new_array(5, static_cast<int>(s.size()) + offset + 1, 2, nullptr);
    memcpy(reinterpret_cast<u1*>(chars + 2) + 2 * offset, s.data(), 2 * s.size());
    u4* str = rtf_new_object(W().string_class, 4);
    str[2] = reinterpret_cast<u4>(chars);
    str[3] = static_cast<u4>(offset);
    str[4] = static_cast<u4>(s.size());
    return str;
}

u4 string_equals(u4* a, u4* b)
{
    u4 r = 0;
    EXPECT_TRUE(rtf_run([&] { r = rtf_call(rt_string_equals_entry, reinterpret_cast<u4>(a), reinterpret_cast<u4>(b), 0); }));
    return r;
}

void reset_caches()
{
    rt_string_pos_cache = 0xDEADBEEF;
    rt_string_neg_cache = 0xDEADBEEF;
    rtf_instance_calls = 0;
}

TEST(StringEquals, ComparesCharsOfEveryCountAndOffset)
{
    W();
    reset_caches();
    const std::u16string words[] = {u"", u"a", u"ab", u"abc", u"abcd", u"abcde", u"\u00e9t\u00e9\uffff"};
    for (const auto& w : words) {
        u4* s = make_string(w);
        EXPECT_EQ(string_equals(s, s), 1u);
        EXPECT_EQ(string_equals(s, make_string(w, 3)), 1u) << "copy at an offset, length " << w.size();
        for (const auto& other : words)
            EXPECT_EQ(string_equals(s, make_string(other, 1)), w == other ? 1u : 0u);
        for (size_t k = 0; k < w.size(); k++) {
            std::u16string d = w;
            d[k] ^= 0x100;
            EXPECT_EQ(string_equals(s, make_string(d)), 0u) << "differs at " << k << " of " << w.size();
        }
    }
}

TEST(StringEquals, NullIsFalse)
{
    W();
    EXPECT_EQ(string_equals(make_string(u"x"), nullptr), 0u);
}

TEST(StringEquals, ArraysAreFalseWithoutTheInstanceTest)
{
    W();
    reset_caches();
    u4* s = make_string(u"a");
    // Every element type, with contents that would match "a" if read as a String.
    struct { int type, size; } kinds[] = {{2, 4}, {4, 1}, {5, 2}, {6, 4}, {7, 8}, {8, 1}, {9, 2}, {10, 4}, {11, 8}};
    for (auto k : kinds) {
        for (int length : {0, 1, 3}) {
            u4* a = rtf_new_array(k.type, length, k.size, &W().string_class->cb);
            EXPECT_EQ(string_equals(s, a), 0u) << "type " << k.type << " length " << length;
        }
    }
    EXPECT_EQ(rtf_instance_calls, 0);
    EXPECT_EQ(rt_string_pos_cache, 0xDEADBEEFu);
    EXPECT_EQ(rt_string_neg_cache, 0xDEADBEEFu);
}

TEST(StringEquals, OtherClassesAreAskedOnceAndCached)
{
    W();
    reset_caches();
    u4* s = make_string(u"a");
    u4* o = rtf_new_object(W().other_class, 4);
    EXPECT_EQ(string_equals(s, o), 0u);
    EXPECT_EQ(rtf_instance_calls, 1);
    EXPECT_EQ(rt_string_neg_cache, reinterpret_cast<u4>(W().other_class->mt));
    EXPECT_EQ(string_equals(s, o), 0u);
    EXPECT_EQ(rtf_instance_calls, 1) << "the negative cache answers";
    EXPECT_EQ(string_equals(s, make_string(u"a")), 1u);
    EXPECT_EQ(rtf_instance_calls, 2);
    EXPECT_EQ(rt_string_pos_cache, reinterpret_cast<u4>(W().string_class->mt));
    EXPECT_EQ(string_equals(s, make_string(u"a")), 1u);
    EXPECT_EQ(rtf_instance_calls, 2) << "the positive cache answers";
    EXPECT_EQ(string_equals(s, rtf_new_object(W().object_class, 1)), 0u);
    EXPECT_EQ(rtf_instance_calls, 3);
}

TEST(StringEquals, InterpreterEntryTakesTheVmArguments)
{
    W();
    u4* a = make_string(u"abc");
    u4* b = make_string(u"abc", 2);
    u4 words[] = {reinterpret_cast<u4>(a), reinterpret_cast<u4>(b)};
    u4 r = 0;
    rtf_ee()->mode = 0;
    ASSERT_TRUE(rtf_run([&] { r = rtf_call_invoker(rt_string_equals_start, 2, words); }));
    EXPECT_EQ(r, 1u);
    EXPECT_EQ(rtf_ee()->mode, 1u) << "the interpreter entry marks compiled code";
}

// ---- Random.next ----

u4 next_bits(u4* rnd, int bits)
{
    u4 r = 0;
    EXPECT_TRUE(rtf_run([&] { r = rtf_call(rt_random_next_entry, reinterpret_cast<u4>(rnd), static_cast<u4>(bits), 0); }));
    return r;
}

TEST(RandomNext, FollowsTheFormulaForEveryBitCount)
{
    rtf_class* c = rtf_make_class("java/util/Random", 2);
    const unsigned long long seeds[] = {0, 1, 0xFFFFFFFFull, 0xFFFFFFFFFFFFull, 0x5DEECE66Dull, 0x123456789ABCull,
                                        0xFFFFFFFFFFF5ull};
    const int bit_counts[] = {0, 1, 8, 16, 31, 32, 33, 47, 48, 49, 63, 64, -1, -16, (int)0x80000000};
    for (int processors : {1, 2}) {
        rt_adapt_body_to_processors(rt_random_next_start, rt_random_next_end, processors);
        for (auto seed : seeds) {
            for (int bits : bit_counts) {
                u4* r = rtf_new_object(c, 2);
                memcpy(r + 2, &seed, 8);
                unsigned long long expect = (seed * 0x5DEECE66Dull + 0xB) & ((1ull << 48) - 1);
                u4 got = next_bits(r, bits);
                unsigned long long now;
                memcpy(&now, r + 2, 8);
                EXPECT_EQ(now, expect);
                EXPECT_EQ(got, static_cast<u4>(expect >> ((48 - bits) & 63))) << "seed " << seed << " bits " << bits;
            }
        }
    }
    int locked = 0;
    for (u1* p = rt_random_next_start; p < rt_random_next_end; p++)
        locked += p[0] == 0xF0 && p[1] == 0x0F && p[2] == 0xC7;
    EXPECT_EQ(locked, 1) << "cmpxchg8b carries the lock prefix on multiprocessors";
}

// ---- Vector ----

u4* make_vector(int count, int capacity, const std::vector<u4>& elems)
{
    u4* data = rtf_new_array(2, capacity, 4, nullptr);
    for (int i = 0; i < count; i++)
        data[2 + i] = elems[i];
    u4* v = rtf_new_object(W().vector_class, 4);
    v[2] = 100;                         // modCount
    v[3] = reinterpret_cast<u4>(data);
    v[4] = static_cast<u4>(count);
    return v;
}

u4 elem(u4* v, int i) { return reinterpret_cast<u4*>(v[3])[2 + i]; }

struct call_result {
    bool returned;
    u4 eax;
};

call_result vcall(u1* entry, u4* v, u4 edx, u4 ecx = 0)
{
    call_result r{};
    rtf_raise_vector = v;
    rtf_raised_index = 0xDEAD;
    r.returned = rtf_run([&] { r.eax = rtf_call(entry, reinterpret_cast<u4>(v), edx, ecx); });
    rtf_raise_vector = nullptr;
    return r;
}

void reset_stub_counts()
{
    rtf_enter_calls = rtf_exit_calls = 0;
    rtf_flat_exit_calls = 0;
}

TEST(VectorElementAt, FastPathBorrowsAndFreesTheLock)
{
    W();
    reset_stub_counts();
    u4* v = make_vector(3, 4, {11, 22, 33});
    v[1] = 0x10;                        // a header byte the lock keeps
    for (int i = 0; i < 3; i++) {
        call_result r = vcall(rt_vector_elementAt_entry, v, i);
        ASSERT_TRUE(r.returned);
        EXPECT_EQ(r.eax, 11u * (i + 1));
        EXPECT_EQ(v[1], 0x10u);
    }
    EXPECT_EQ(rtf_enter_calls, 0u);
    EXPECT_EQ(rtf_flat_exit_calls, 0);
}

TEST(VectorElementAt, OutOfRangeRaisesWithTheIndexAndTheLockFree)
{
    W();
    for (u4 index : {0xFFFFFFFFu, 3u, 4u, 0x80000000u, 0x7FFFFFFFu}) {
        u4* v = make_vector(3, 4, {1, 2, 3});
        call_result r = vcall(rt_vector_elementAt_entry, v, index);
        EXPECT_FALSE(r.returned);
        EXPECT_EQ(rtf_raised_index, index);
        EXPECT_EQ(rtf_raise_lockword, 0u) << "released before the raise";
    }
}

TEST(VectorElementAt, ContendedReleaseWakesTheVm)
{
    W();
    reset_stub_counts();
    u4* v = make_vector(2, 2, {5, 6});
    v[-1] = 0x40000000;                 // contention flag
    call_result r = vcall(rt_vector_elementAt_entry, v, 1);
    EXPECT_TRUE(r.returned);
    EXPECT_EQ(r.eax, 6u);
    EXPECT_EQ(rtf_flat_exit_calls, 1);
    EXPECT_EQ(v[1], 0u);
}

TEST(VectorElementAt, HeldLockGoesThroughTheMonitorStubs)
{
    W();
    reset_stub_counts();
    u4* v = make_vector(2, 2, {5, 6});
    v[1] = 0x00030000;                  // held by thread 3
    call_result r = vcall(rt_vector_elementAt_entry, v, 0);
    EXPECT_TRUE(r.returned);
    EXPECT_EQ(r.eax, 5u);
    EXPECT_EQ(rtf_enter_calls, 1u);
    EXPECT_EQ(rtf_exit_calls, 1u);
    EXPECT_EQ(rtf_enter_lockword, 0x00030000u);
    v[1] = 0x7FFF0000;                  // borrowed by another thread's body
    r = vcall(rt_vector_elementAt_entry, v, 2);
    EXPECT_FALSE(r.returned);
    EXPECT_EQ(rtf_raised_index, 2u);
    EXPECT_EQ(rtf_enter_calls, 2u);
    EXPECT_EQ(rtf_exit_calls, 1u) << "the raise leaves the monitor to the exception filter";
}

TEST(VectorRemoveElementAt, ShiftsDownClearsTheSlotAndCountsOnce)
{
    W();
    for (int size = 1; size <= 6; size++) {
        for (int at = 0; at < size; at++) {
            for (bool held : {false, true}) {
                std::vector<u4> elems;
                for (int i = 0; i < size; i++)
                    elems.push_back(10 + i);
                u4* v = make_vector(size, size + 1, elems);
                reinterpret_cast<u4*>(v[3])[2 + size] = 0x99;   // beyond the count: untouched
                if (held)
                    v[1] = 0x00050000;
                call_result r = vcall(rt_vector_removeElementAt_entry, v, at);
                ASSERT_TRUE(r.returned);
                EXPECT_EQ(v[2], 101u);
                EXPECT_EQ(v[4], static_cast<u4>(size - 1));
                for (int i = 0; i < size - 1; i++)
                    EXPECT_EQ(elem(v, i), 10u + i + (i >= at)) << size << " at " << at;
                EXPECT_EQ(elem(v, size - 1), 0u);
                EXPECT_EQ(elem(v, size), 0x99u);
                EXPECT_EQ(v[1], held ? 0x00050000u : 0u);
            }
        }
    }
}

TEST(VectorRemoveElementAt, OutOfRangeCountsThenRaises)
{
    W();
    for (u4 index : {0xFFFFFFFFu, 2u}) {
        u4* v = make_vector(2, 2, {1, 2});
        call_result r = vcall(rt_vector_removeElementAt_entry, v, index);
        EXPECT_FALSE(r.returned);
        EXPECT_EQ(rtf_raised_index, index);
        EXPECT_EQ(v[2], 101u) << "modCount counts before the check";
        EXPECT_EQ(v[4], 2u);
        EXPECT_EQ(rtf_raise_lockword, 0u);
    }
}

struct search_world {
    u4* a;
    u4* b;
    u4* a2;                             // equal to a, another object
    u4* arr;
    u4* o1;                             // Other objects, equal when their field is equal
    u4* o1b;
    u4* v;
};

search_world make_search()
{
    search_world s{};
    s.a = make_string(u"a");
    s.b = make_string(u"bb");
    s.a2 = make_string(u"a", 1);
    s.arr = rtf_new_array(10, 1, 4, nullptr);
    s.o1 = rtf_new_object(W().other_class, 1);
    s.o1[2] = 7;
    s.o1b = rtf_new_object(W().other_class, 1);
    s.o1b[2] = 7;
    auto w = [](u4* p) { return reinterpret_cast<u4>(p); };
    // [b, null, a, arr, o1, a]
    s.v = make_vector(6, 8, {w(s.b), 0, w(s.a), w(s.arr), w(s.o1), w(s.a)});
    return s;
}

TEST(VectorSearch, IndexOfContainsAndIndexOfFrom)
{
    W();
    reset_stub_counts();
    search_world s = make_search();
    auto w = [](u4* p) { return reinterpret_cast<u4>(p); };
    struct row {
        u4 key;
        s4 index_of;
        s4 from3;
    } rows[] = {
        {w(s.a2), 2, 5},                        // String: the String body, by value
        {w(s.b), 0, -1},
        {w(make_string(u"zz")), -1, -1},
        {0, 1, -1},                             // null: by identity
        {w(s.arr), 3, 3},                       // an array: by identity
        {w(rtf_new_array(10, 1, 4, nullptr)), -1, -1},
        {w(s.o1b), 4, 4},                       // another class: its equals through the slot
    };
    for (const row& r : rows) {
        call_result c = vcall(rt_vector_indexOf_entry, s.v, r.key);
        ASSERT_TRUE(c.returned);
        EXPECT_EQ(static_cast<s4>(c.eax), r.index_of);
        c = vcall(rt_vector_contains_entry, s.v, r.key);
        EXPECT_EQ(c.eax, r.index_of >= 0 ? 1u : 0u);
        c = vcall(rt_vector_indexOfFrom_entry, s.v, r.key, 3);
        EXPECT_EQ(static_cast<s4>(c.eax), r.from3);
        for (u4 start : {6u, 7u, 0x7FFFFFFFu}) {
            c = vcall(rt_vector_indexOfFrom_entry, s.v, r.key, start);
            EXPECT_EQ(static_cast<s4>(c.eax), -1);
        }
    }
    EXPECT_EQ(rtf_enter_calls, rtf_exit_calls);
    EXPECT_EQ(s.v[2], 100u) << "searches do not count";
}

TEST(VectorSearch, NegativeStartRaisesWithTheMonitorHeld)
{
    W();
    reset_stub_counts();
    search_world s = make_search();
    for (u4 start : {0xFFFFFFFFu, 0x80000000u}) {
        call_result c = vcall(rt_vector_indexOfFrom_entry, s.v, reinterpret_cast<u4>(s.a), start);
        EXPECT_FALSE(c.returned);
        EXPECT_EQ(rtf_raised_index, start);
    }
    EXPECT_EQ(rtf_enter_calls, 2u);
    EXPECT_EQ(rtf_exit_calls, 0u);
}

TEST(VectorSearch, RemoveElementCountsOnceFoundOrNot)
{
    W();
    search_world s = make_search();
    auto w = [](u4* p) { return reinterpret_cast<u4>(p); };
    call_result c = vcall(rt_vector_removeElement_entry, s.v, w(make_string(u"zz")));
    EXPECT_EQ(c.eax, 0u);
    EXPECT_EQ(s.v[2], 101u);
    EXPECT_EQ(s.v[4], 6u);
    c = vcall(rt_vector_removeElement_entry, s.v, w(s.a2));
    EXPECT_EQ(c.eax, 1u);
    EXPECT_EQ(s.v[2], 102u);
    EXPECT_EQ(s.v[4], 5u);
    const u4 rest[] = {w(s.b), 0, w(s.arr), w(s.o1), w(s.a)};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(elem(s.v, i), rest[i]);
    EXPECT_EQ(elem(s.v, 5), 0u);
    c = vcall(rt_vector_removeElement_entry, s.v, 0);
    EXPECT_EQ(c.eax, 1u);
    EXPECT_EQ(s.v[4], 4u);
    EXPECT_EQ(elem(s.v, 1), w(s.arr));
}

}  // namespace
