// The committed-code registry, its search cache, and the VM's pc hooks.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string.h>
#include <vector>

#include "driver/driver.h"
#include "fake_vm.h"
#include "lib/lib.h"

namespace {

class Registry : public testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        fake_current_ee = nullptr;
        fake_vm_bind_and_init(fake_vm_new());
        orva_processor_type = GetParam();
        compile_option2_flag = 0;
        init_scc_cache(RCC_MB);
    }
};

// Reference model: per code start, the node record first, then its chain.
struct model {
    std::map<u4, std::vector<rcc*>> groups;

    void insert(rcc* r)
    {
        auto& g = groups[reinterpret_cast<u4>(r->start)];
        if (g.empty())
            g.push_back(r);
        else
            g.insert(g.begin() + 1, r);
    }
    void remove(rcc* r)
    {
        auto it = groups.find(reinterpret_cast<u4>(r->start));
        ASSERT_NE(it, groups.end());
        auto& g = it->second;
        for (size_t i = 0; i < g.size(); i++) {
            if (g[i] == r) {
                g.erase(g.begin() + static_cast<long>(i));
                break;
            }
        }
        if (g.empty())
            groups.erase(it);
    }
    rcc* lookup(u4 pc) const
    {
        auto it = groups.upper_bound(pc);
        if (it == groups.begin())
            return nullptr;
        --it;
        rcc* node = it->second.front();
        return pc <= reinterpret_cast<u4>(node->end) ? node : nullptr;
    }
};

} // namespace

// Random insertions and deletions against the model: inclusive ends, records
// sharing a start, empty placeholder ranges; the AVL invariants hold after
// every step, and lookups agree (through the cache on processor type 5).
TEST_P(Registry, RandomInsertDeleteAgainstAReferenceMap)
{
    std::mt19937 rng(20240611u + static_cast<unsigned>(GetParam()));
    const u4 base = 0x40000000u;
    constexpr int SLOTS = 300;
    static rcc records[SLOTS * 2];
    std::vector<rcc*> live;
    std::vector<rcc*> free_records;
    for (rcc& r : records)
        free_records.push_back(&r);
    methodblock mbs[4] = {};
    model ref;
    for (int step = 0; step < 4000; step++) {
        bool add = live.empty() || (free_records.size() > 0 && rng() % 100 < 55);
        if (add) {
            rcc* r = free_records.back();
            free_records.pop_back();
            u4 slot = rng() % SLOTS;
            u1* start = reinterpret_cast<u1*>(base + slot * 0x100);
            // Ranges of one start are equal, so they never overlap another slot's.
            u4 len = (slot * 37u) % 0x100;
            if (rng() % 8 == 0)
                len = 0;    // an empty, placeholder-like range
            auto g = ref.groups.find(reinterpret_cast<u4>(start));
            if (g != ref.groups.end())
                len = static_cast<u4>(g->second.front()->end - g->second.front()->start);
            register_committed_code0(r, &mbs[rng() % 4], start, start + len, nullptr, nullptr);
            ref.insert(r);
            live.push_back(r);
        } else {
            size_t i = rng() % live.size();
            rcc* r = live[i];
            live.erase(live.begin() + static_cast<long>(i));
            rcc* one[1] = {r};
            deregister_committed_code(one, 1);
            ref.remove(r);
            free_records.push_back(r);
        }
        ASSERT_GE(jit_rcc_check_tree(), 0) << "step " << step;
        ASSERT_EQ(jit_rcc_count(), static_cast<int>(live.size()));
        for (int probe = 0; probe < 4; probe++) {
            u4 pc = base + (rng() % (SLOTS * 0x100 + 0x200)) - 0x100;
            rcc* expected = ref.lookup(pc);
            ASSERT_EQ(search_committed_code0(pc), expected) << std::hex << pc;
            ASSERT_EQ(sccc0(pc), expected) << std::hex << pc;
            ASSERT_EQ(sccc0(pc), expected) << std::hex << pc;     // second time from the cache
            ASSERT_EQ(search_cached_cc0(pc), expected != nullptr ? expected->mb : nullptr);
        }
    }
}

// A record found through the cache is never found again once deregistered.
TEST_P(Registry, DeregisteredRecordIsNotFoundThroughTheCache)
{
    static rcc r;
    static methodblock mb;
    u1* start = reinterpret_cast<u1*>(0x50000000u);
    register_committed_code0(&r, &mb, start, start + 0x40, nullptr, nullptr);
    u4 pc = reinterpret_cast<u4>(start + 0x10);
    EXPECT_EQ(sccc0(pc), &r);
    EXPECT_EQ(sccc0(pc), &r);
    rcc* one[1] = {&r};
    deregister_committed_code(one, 1);
    EXPECT_EQ(sccc0(pc), nullptr);
    EXPECT_EQ(search_cached_cc0(pc), nullptr);
    // A lookup that found nothing is not remembered: new code at that pc is found.
    static rcc r2;
    register_committed_code0(&r2, &mb, start, start + 0x40, nullptr, nullptr);
    EXPECT_EQ(sccc0(pc), &r2);
}

INSTANTIATE_TEST_SUITE_P(ProcessorTypes, Registry, testing::Values(3, 5));

TEST(RegistryEdges, EndIsInclusiveAndEqualStartsShareANode)
{
    fake_vm_bind_and_init(fake_vm_new());
    static rcc a, b;
    static methodblock ma, mbb;
    u1* start = reinterpret_cast<u1*>(0x60000000u);
    register_committed_code0(&a, &ma, start, start + 0x20, nullptr, nullptr);
    register_committed_code0(&b, &mbb, start, start + 0x20, nullptr, nullptr);
    EXPECT_EQ(search_committed_code(reinterpret_cast<u4>(start + 0x20)), &ma);
    EXPECT_EQ(search_committed_code(reinterpret_cast<u4>(start + 0x21)), nullptr);
    EXPECT_EQ(a.count, 2u);
    rcc* one[1] = {&a};
    deregister_committed_code(one, 1);
    EXPECT_EQ(search_committed_code(reinterpret_cast<u4>(start)), &mbb);
    EXPECT_GE(jit_rcc_check_tree(), 0);
}

// n records deregistered in one call lower the count by n; a record that is
// not registered is left alone.
TEST(RegistryEdges, DeregisteringSeveralCountsEachOne)
{
    fake_vm_bind_and_init(fake_vm_new());
    static rcc r[3];
    static rcc stranger;
    static methodblock mb;
    for (int i = 0; i < 3; i++) {
        u1* s = reinterpret_cast<u1*>(0x61000000u + i * 0x100);
        register_committed_code0(&r[i], &mb, s, s + 0x10, nullptr, nullptr);
    }
    EXPECT_EQ(jit_rcc_count(), 3);
    stranger.start = reinterpret_cast<u1*>(0x61000000u);
    rcc* all[5] = {&r[0], nullptr, &stranger, &r[1], &r[2]};
    deregister_committed_code(all, 5);
    EXPECT_EQ(jit_rcc_count(), 0);
    EXPECT_EQ(jit_rcc_check_tree(), 0);
}

TEST(RegistryEdges, PlaceholderIsSkippedAndLeavesItsMethodAlone)
{
    fake_vm_bind_and_init(fake_vm_new());
    classblock* cb = fake_class("P", nullptr, {{"m", "()V"}});
    methodblock* mb = &cb->methods[0];
    mb->access |= ACC_COMPILED;
    static rcc placeholder, real;
    register_committed_code0(&placeholder, mb, reinterpret_cast<u1*>(mb), reinterpret_cast<u1*>(mb), nullptr, nullptr);
    u1* start = reinterpret_cast<u1*>(0x62000000u);
    register_committed_code0(&real, mb, start, start + 8, nullptr, nullptr);
    int seen = 0;
    walk_committed_code([](rcc* r, int, void* arg) { ++*static_cast<int*>(arg); }, &seen, 0);
    EXPECT_EQ(seen, 1);
    rcc* one[1] = {&placeholder};
    deregister_committed_code(one, 1);
    EXPECT_EQ(mb->access & ACC_COMPILED, ACC_COMPILED);
}

// Deregistering a compiled method's code gives it back a selector and its gate.
TEST(RegistryEdges, DeregistrationResetsTheMethodBlock)
{
    fake_vm_bind_and_init(fake_vm_new());
    classblock* cb = fake_class("R", nullptr,
                                {{"plain", "()V"},
                                 {"sync", "()V", ACC_PUBLIC | ACC_SYNCHRONIZED},
                                 {"nat", "()V", ACC_PUBLIC | ACC_NATIVE}});
    jit_nccb_malloc(cb);
    static rcc recs[3];
    void* const expected[3] = {fake_code(FK_SELECT_JAVA), fake_code(FK_SELECT_SYNC_JAVA), fake_code(FK_SELECT_JNI)};
    for (int i = 0; i < 3; i++) {
        methodblock* mb = &cb->methods[i];
        mb->access |= ACC_COMPILED;
        mb->compiled_flags = 1;
        u1* s = reinterpret_cast<u1*>(0x63000000u + i * 0x100);
        register_committed_code0(&recs[i], mb, s, s + 8, nullptr, nullptr);
        rcc* one[1] = {&recs[i]};
        deregister_committed_code(one, 1);
        EXPECT_EQ(mb->access & ACC_COMPILED, 0);
        EXPECT_EQ(mb->compiled_flags & 1, 0u);
        EXPECT_EQ(mb->compiled_code, static_cast<u1*>(mb->compiled_code_info) + 10);
        EXPECT_EQ(mb->invoker, expected[i]);
    }
}

TEST(RegistryEdges, DumpShowsBalanceAndNumber)
{
    fake_vm_bind_and_init(fake_vm_new());
    classblock* cb = fake_class("D", nullptr, {{"m", "(I)V"}});
    static rcc r;
    u1* s = reinterpret_cast<u1*>(0x64000000u);
    register_committed_code0(&r, &cb->methods[0], s, s + 0x10, nullptr, nullptr);
    char buffer[DUMP_CC_INFO_MAX];
    dump_cc_info(buffer, &r, 3, 16);
    EXPECT_STREQ(buffer, "[B3]0x64000000-0x64000010 (size=16 bytes, cnt=1) D.m(I)V");
}

TEST(RegistryEdges, MarksAndTheUnmarkedList)
{
    fake_vm_bind_and_init(fake_vm_new());
    static rcc r[3];
    static methodblock mb;
    for (int i = 0; i < 3; i++) {
        u1* s = reinterpret_cast<u1*>(0x65000000u + i * 0x100);
        register_committed_code0(&r[i], &mb, s, s + 0x10, nullptr, nullptr);
    }
    mark_committed_code_by_pc(0x65000105u);
    set_cc_delayed_free(&r[2]);
    rcc* head = list_unmarked_committed_code();
    ASSERT_EQ(head, &r[0]);
    EXPECT_EQ(get_unmarked_cc_next(head), nullptr);
    unmark_committed_code();
}

// ---- the VM's pc hooks ---------------------------------------------------------

TEST(PcHooks, CompiledCodeQueries)
{
    fake_vm_bind_and_init(fake_vm_new());
    static rcc r;
    static methodblock a, b;
    u1* s = reinterpret_cast<u1*>(0x66000000u);
    register_committed_code0(&r, &a, s, s + 0x10, nullptr, nullptr);
    EXPECT_EQ(jit_PCinCompiledCode(0x66000008u, nullptr), 1);
    EXPECT_EQ(jit_PCinCompiledCode(0x66000008u, &a), 1);
    EXPECT_EQ(jit_PCinCompiledCode(0x66000008u, &b), 0);
    EXPECT_EQ(jit_PCinCompiledCode(0x67000000u, nullptr), 0);
    EXPECT_EQ(jit_PCinCompiledCode(0x67000000u, &a), 0);
    EXPECT_EQ(jit_CompiledCodePCtoLineNo(0x66000008u), -1);
    EXPECT_EQ(jit_CompiledCodePCtoLineNo(0), -1);
    EXPECT_EQ(jit_CompiledFrameUpdate(nullptr), 0);
    JavaFrame frame{};
    frame.lastpc = reinterpret_cast<u1*>(0x1234);
    EXPECT_EQ(jit_CompiledCodePC(&frame), 0x1234u);
}

// ---- catch-table services -------------------------------------------------------

TEST(Catcher, HandlersAreTriedInOrderAgainstTheClassChain)
{
    fake_vm_bind_and_init(fake_vm_new());
    classblock* object = fake_class("java/lang/Object", nullptr, {});
    classblock* throwable = fake_class("java/lang/Throwable", object, {});
    classblock* ioe = fake_class("java/io/IOException", throwable, {});
    u4 records[3][4] = {{0, reinterpret_cast<u4>("java/lang/Error"), 0x100, 1},
                        {0, reinterpret_cast<u4>("java/lang/Throwable"), 0x200, 0},
                        {0, 0, 0x300, 1}};
    s4 directory[6] = {3, static_cast<s4>(reinterpret_cast<u4>(records)), -1, 0, 0, 0};
    u4 table[4] = {0, 0, reinterpret_cast<u4>(directory), 0};
    u4 extra = 7;
    EXPECT_EQ(testCatcher(0, table, 0, ioe, &extra), 0x200u);
    EXPECT_EQ(extra, 0u);
    EXPECT_EQ(testCatcher(1, table, 0, ioe, &extra), 0x200u);   // a repeat uses the entry before it
    EXPECT_EQ(testCatcher(-1, table, 0, ioe, &extra), 0u);
    // Object is never compared by name; the catch-all answers.
    u4 only_object[1][4] = {{0, reinterpret_cast<u4>("java/lang/Object"), 0x400, 1}};
    s4 dir2[2] = {1, static_cast<s4>(reinterpret_cast<u4>(only_object))};
    u4 table2[4] = {0, 0, reinterpret_cast<u4>(dir2), 0};
    EXPECT_EQ(testCatcher(0, table2, 0, ioe, &extra), 0u);
}

// Success leaves no exception pending at all (not a flag without an object).
TEST(Catcher, ThrowableClassLookupClearsOrSetsBothWords)
{
    fake_vm* vm = fake_vm_new();
    fake_vm_bind_and_init(vm);
    classblock* error = fake_class("java/lang/UnknownError", nullptr, {});
    classblock* npe = fake_class("java/lang/NullPointerException", nullptr, {});
    vm->find_class = [&](const char* name) -> classblock* {
        if (strcmp(name, "java/lang/NullPointerException") == 0)
            return npe;
        if (strcmp(name, "java/lang/UnknownError") == 0)
            return error;
        return nullptr;
    };
    EE* ee = fake_current_ee;
    ee->exception = 0x1111;
    ee->exception_kind = 1;
    EXPECT_EQ(rt_GetThrowableClass(ee, "java/lang/NullPointerException"), npe);
    EXPECT_EQ(ee->exception_kind, 0u);
    EXPECT_EQ(ee->exception, 0u);
    EXPECT_EQ(rt_GetThrowableClass(ee, "no/Such"), error);
    vm->find_class = [](const char*) -> classblock* { return nullptr; };
    EXPECT_EQ(rt_GetThrowableClass(ee, "no/Such"), nullptr);
    EXPECT_EQ(ee->exception_kind, 1u);
    EXPECT_EQ(ee->exception, 0xABCD0000u);
}
