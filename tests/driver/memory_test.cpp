// General, code and work memory.
#include <gtest/gtest.h>

#include <setjmp.h>
#include <string.h>

#include "driver/driver.h"
#include "fake_vm.h"

namespace {

const mem_block* header(const void* p) { return static_cast<const mem_block*>(p) - 1; }
u4 payload_size(const void* p) { return header(p)->size_flags & ~MEMB_FLAGS; }
bool used(const void* p) { return header(p)->size_flags & MEMB_USED; }

class Memory : public testing::Test {
protected:
    void SetUp() override
    {
        fake_current_ee = nullptr;
        fake_vm_bind_and_init(fake_vm_new());
    }
};

} // namespace

TEST(MemoryAtomi, Table)
{
    struct {
        const char* text;
        int value;
    } const rows[] = {
        {"1.5M", 0x180000}, {"512k", 524288}, {"2x", 0}, {"", 0}, {"4M", 0x400000}, {"100", 100},
        {"0.5K", 512},      {"m2", 0x200000}, {"1.2.3", 0}, {"-1", 0},
        {"3K2", 32 * 1024},     // the suffix may stand anywhere and multiplies the whole number
        {"1k1m", 0x100000 * 11},   // the last suffix counts
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(jit_atomi(r.text), r.value);
    }
    EXPECT_EQ(jit_atomi(nullptr), 0);
}

TEST_F(Memory, SizeRuleAndFrontSplitOfCodeBlocks)
{
    EXPECT_EQ(jit_mem_payload_size(1), 8u);
    EXPECT_EQ(jit_mem_payload_size(4), 8u);
    EXPECT_EQ(jit_mem_payload_size(5), 16u);
    EXPECT_EQ(jit_mem_payload_size(12), 16u);
    EXPECT_EQ(jit_mem_payload_size(13), 24u);
    auto* a = static_cast<u1*>(jit_mem_alloc(1, JMEM_CODE));
    auto* b = static_cast<u1*>(jit_mem_alloc(1, JMEM_CODE));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(payload_size(a), 8u);
    EXPECT_EQ(b, a + 16);                       // the block spans 16 bytes with its header
    EXPECT_EQ(header(b)->prev, header(a));
    EXPECT_EQ(*reinterpret_cast<EE**>(a + 4), fake_current_ee);   // owner word
    EXPECT_EQ(reinterpret_cast<u4>(a) % 8, 0u);
    EXPECT_EQ(jit_mem_alloc(0, JMEM_CODE), nullptr);
}

TEST_F(Memory, WorkKindsTakeTheBackOfAWorkArea)
{
    auto* a = static_cast<u1*>(jit_mem_alloc(100, JMEM_POOL));
    auto* b = static_cast<u1*>(jit_mem_alloc(100, JMEM_POOL));
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(header(a)->size_flags & MEMB_WORK);
    EXPECT_EQ(b + payload_size(b), a - 8);      // the later block lies in front
    EXPECT_FALSE(jit_inside_code_area(nullptr));
    auto* code = static_cast<u1*>(jit_mem_alloc(100, JMEM_CODE));
    EXPECT_FALSE(header(code)->size_flags & MEMB_WORK);
}

// Freeing a block between two free blocks leaves one block covering all three.
TEST_F(Memory, FreeCoalescesWithBothNeighbours)
{
    auto* a = static_cast<u1*>(jit_mem_alloc(40, JMEM_CODE));
    auto* b = static_cast<u1*>(jit_mem_alloc(40, JMEM_CODE));
    auto* c = static_cast<u1*>(jit_mem_alloc(40, JMEM_CODE));
    auto* guard = static_cast<u1*>(jit_mem_alloc(40, JMEM_CODE));
    ASSERT_EQ(b, a + 56);
    ASSERT_EQ(c, b + 56);
    jit_mem_free(a);
    jit_mem_free(c);
    EXPECT_FALSE(used(a));
    EXPECT_EQ(payload_size(a), 48u);
    jit_mem_free(b);
    EXPECT_EQ(payload_size(a), 3 * 48u + 2 * 8u);
    EXPECT_EQ(header(guard)->prev, header(a));
    // The merged block serves a request of its whole size.
    auto* big = jit_mem_alloc(3 * 48 + 2 * 8 - 4, JMEM_CODE);
    EXPECT_EQ(big, a);
}

// A block whose remainder would be below 24 bytes is taken whole.
TEST_F(Memory, SmallRemainderIsNotSplitOff)
{
    auto* a = static_cast<u1*>(jit_mem_alloc(60, JMEM_CODE));     // payload 64
    auto* guard = jit_mem_alloc(8, JMEM_CODE);
    ASSERT_EQ(payload_size(a), 64u);
    jit_mem_free(a);
    auto* b = static_cast<u1*>(jit_mem_alloc(44, JMEM_CODE));     // needs 48: remainder 16
    EXPECT_EQ(b, a);
    EXPECT_EQ(payload_size(b), 64u);
    jit_mem_free(b);
    auto* c = static_cast<u1*>(jit_mem_alloc(36, JMEM_CODE));     // needs 40: remainder 24
    EXPECT_EQ(c, a);
    EXPECT_EQ(payload_size(c), 40u);
    (void)guard;
}

TEST_F(Memory, PartialFreeReturnsTheTail)
{
    auto* a = static_cast<u1*>(jit_mem_alloc(200, JMEM_CODE));
    auto* next = static_cast<u1*>(jit_mem_alloc(8, JMEM_CODE));
    jit_mem_partial_free(a, a + 20);
    EXPECT_EQ(payload_size(a), 24u);
    const mem_block* rest = reinterpret_cast<const mem_block*>(a + 24);
    EXPECT_FALSE(rest->size_flags & MEMB_USED);
    EXPECT_EQ(header(next)->prev, rest);
    // Less than 24 bytes to give back: nothing changes.
    auto* b = static_cast<u1*>(jit_mem_alloc(40, JMEM_CODE));
    jit_mem_partial_free(b, b + 32);
    EXPECT_EQ(payload_size(b), 48u);
    jit_mem_partial_free(b, b + 21);        // keeps 24, gives back exactly 24
    EXPECT_EQ(payload_size(b), 24u);
}

// Code memory is executable: a tiny function written into it runs.
TEST_F(Memory, CodeMemoryIsExecutable)
{
    method_compile_context m;
    memset(&m, 0, sizeof m);
    void* piece = nullptr;
    jit_code_mem_alloc(&piece, &m, 8);
    ASSERT_NE(piece, nullptr);
    const u1 code[] = {0xB8, 42, 0, 0, 0, 0xC3};     // mov eax, 42; ret
    memcpy(piece, code, sizeof code);
    auto f = reinterpret_cast<int (*)(void)>(piece);
    EXPECT_EQ(f(), 42);
    EXPECT_TRUE(jit_inside_code_area(piece));
    void* second = nullptr;
    jit_code_mem_alloc(&second, &m, 4);
    EXPECT_EQ(m.code_mem_chain, piece);
    EXPECT_EQ(*reinterpret_cast<void**>(static_cast<u1*>(piece) - 4), second);   // linked after the head
}

TEST_F(Memory, LargeCodeRequestFailsWithoutGrowth)
{
    EXPECT_EQ(jit_mem_alloc(jit_code_area_size, JMEM_CODE), nullptr);
    EXPECT_NE(jit_mem_alloc(jit_code_area_size / 2, JMEM_CODE), nullptr);
    EXPECT_NE(jit_mem_alloc(jit_code_area_size / 2, JMEM_CODE), nullptr);  // a new area is made
}

// ---- work pools -------------------------------------------------------------

TEST_F(Memory, PoolBumpAndSegments)
{
    work_pool* pool = jit_wmem_init(0);
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->first->size, WMEM_SEGMENT_SIZE);
    auto* a = static_cast<u1*>(jit_wmem_alloc(pool, 3));
    auto* b = static_cast<u1*>(jit_wmem_alloc(pool, 1));
    EXPECT_EQ(b, a + 4);
    EXPECT_EQ(jit_wmem_alloc(pool, 0), nullptr);
    // More than a segment: a segment of exactly the request.
    void* big = jit_wmem_alloc(pool, 20000);
    EXPECT_NE(big, nullptr);
    EXPECT_EQ(pool->current->size, 20000u);
    EXPECT_EQ(pool->seg_count, 2u);
    // Reset keeps one segment and restarts at its beginning.
    jit_wmem_reset(pool);
    EXPECT_EQ(pool->seg_count, 1u);
    EXPECT_EQ(jit_wmem_alloc(pool, 8), a);
    // Clear keeps the later segments for reuse.
    jit_wmem_alloc(pool, 16000);
    jit_wmem_alloc(pool, 16000);
    work_segment* second = pool->first->next;
    jit_wmem_clear(pool);
    jit_wmem_alloc(pool, 16000);
    EXPECT_EQ(jit_wmem_alloc(pool, 16000), work_segment_bytes(second));
    jit_wmem_free(pool);
}

TEST_F(Memory, PoolsAreListedOnTheCompileRecord)
{
    thread_compile_record rec;
    memset(&rec, 0, sizeof rec);
    fake_current_ee->compile_record = &rec;
    work_pool* p1 = jit_wmem_init(0);
    work_pool* p2 = jit_wmem_init(64);
    EXPECT_EQ(rec.pools, p2);
    EXPECT_EQ(p2->older, p1);
    EXPECT_EQ(p2->first->size, 64u);
    jit_wmem_free(p2);
    EXPECT_EQ(rec.pools, p1);
    jit_wmem_init(0);
    jit_wmem_clean_after_compilation(fake_current_ee);
    EXPECT_EQ(rec.pools, nullptr);
    fake_current_ee->compile_record = nullptr;
}

// Exhaustion inside a compilation longjmps to the record's buffer; the
// clean-up then leaves no pool behind.
TEST_F(Memory, ExhaustionLongjmpsAndCleanupLeavesNoPools)
{
    thread_compile_record rec;
    memset(&rec, 0, sizeof rec);
    sigjmp_buf buf;
    rec.jump = &buf;
    fake_current_ee->compile_record = &rec;
    work_pool* pool = jit_wmem_init(0);
    jit_wmem_init(0);
    volatile int reached = 0;
    int value = sigsetjmp(buf, 0);
    if (value == 0) {
        jit_wmem_alloc(pool, 0xFFFFFF00u);
        reached = 1;
    }
    EXPECT_EQ(value, -1);
    EXPECT_EQ(reached, 0);
    jit_wmem_clean_after_compilation(fake_current_ee);
    EXPECT_EQ(rec.pools, nullptr);
    fake_current_ee->compile_record = nullptr;
}

TEST_F(Memory, InitFailsCleanlyWhenTheSegmentCannotBeHad)
{
    jit_mem_inject_failure = 2;     // the header succeeds, the segment fails
    EXPECT_EQ(jit_wmem_init(0), nullptr);
    EXPECT_EQ(jit_mem_inject_failure, 0);
}

TEST(MemoryDeathTest, ExhaustionWithoutACompileRecordEndsWithAMessage)
{
    EXPECT_EXIT(
        {
            fake_current_ee = nullptr;
            fake_vm_bind_and_init(fake_vm_new());
            work_pool* pool = jit_wmem_init(0);
            jit_wmem_alloc(pool, 0xFFFFFF00u);
        },
        testing::ExitedWithCode(1), "work memory exhausted");
}

// ---- delayed free -----------------------------------------------------------

TEST_F(Memory, DelayedFreeDeregistersAndFreesTheCodeChain)
{
    classblock* cb = fake_class("Demo", nullptr, {{"m", "()V"}});
    methodblock* mb = &cb->methods[0];
    jit_nccb_malloc(cb);
    method_compile_context m;
    memset(&m, 0, sizeof m);
    m.mb = mb;
    void* record = nullptr;
    jit_code_mem_alloc(&record, &m, RCC_SIZE);
    void* code = nullptr;
    jit_code_mem_alloc(&code, &m, 64);
    u1* start = static_cast<u1*>(code);
    register_committed_code(static_cast<rcc*>(record), &m, start, start + 63, nullptr, nullptr);
    mb->access |= ACC_COMPILED;
    mb->compiled_flags |= 1;
    ASSERT_EQ(search_committed_code(reinterpret_cast<u4>(start + 10)), mb);

    jit_mem_delayed_free1(start + 10);
    jit_mem_delayed_free1(start + 20);      // already queued: not twice
    EXPECT_EQ(search_committed_code(reinterpret_cast<u4>(start + 10)), mb);  // only pending
    jit_mem_free(jit_mem_alloc(8, JMEM_CODE));
    EXPECT_EQ(search_committed_code(reinterpret_cast<u4>(start + 10)), mb);  // not committed yet
    jit_commit_delayed_free();
    jit_mem_free(jit_mem_alloc(8, JMEM_CODE));   // the next allocation runs the queue
    EXPECT_EQ(search_committed_code(reinterpret_cast<u4>(start + 10)), nullptr);
    EXPECT_FALSE(used(static_cast<u1*>(record) - 4));
    EXPECT_FALSE(used(start - 4));
    // Code queued for the delayed free belongs to an unloaded class: its method
    // block is left alone.
    EXPECT_EQ(mb->access & ACC_COMPILED, ACC_COMPILED);
}
