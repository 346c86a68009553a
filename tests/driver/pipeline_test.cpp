// The compile pipeline's own pieces: context set-up, return-path marking,
// rare-path ordering and the packed code-position maps.
#include <gtest/gtest.h>

#include <string.h>

#include "codegen/codegen_context.h"
#include "driver/driver.h"
#include "fake_vm.h"
#include "frontend/frontend.h"
#include "inline/inline.h"

namespace {

class Pipeline : public testing::Test {
protected:
    void SetUp() override
    {
        fake_current_ee = nullptr;
        fake_vm_bind_and_init(fake_vm_new());
        memset(&m, 0, sizeof m);
        cb = fake_class("P", nullptr, {{"m", "()V", ACC_PUBLIC, std::vector<u1>(4, 0)}});
        cb->methods[0].maxstack = 3;
        cb->methods[0].nlocals = 2;
    }
    method_compile_context m;
    classblock* cb;
};

quadruple* quad(method_compile_context* m, u1 opcode, u2 subcode = 0, u4 target = 0)
{
    auto* q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
    memset(q, 0, sizeof *q);
    q->opcode = opcode;
    q->subcode = subcode;
    q->target = target;
    return q;
}

// Blocks 0..n-1 with the given successors and last quadruples.
void make_blocks(method_compile_context* m, const std::vector<std::vector<u4>>& succ,
                 const std::vector<quadruple*>& last)
{
    m->bb_count = static_cast<u4>(succ.size());
    m->bb_table = static_cast<bbattr**>(jit_wmem_alloc(m->pool1, m->bb_count * 4));
    for (u4 b = 0; b < m->bb_count; b++) {
        bbattr* block = allocate_a_bbattr(m, b, 0, 0, static_cast<u4>(succ[b].size()), last[b] ? 1 : 0);
        for (size_t s = 0; s < succ[b].size(); s++)
            block->succ[s] = succ[b][s];
        if (last[b] != nullptr)
            block->catbl[0] = last[b];
        m->bb_table[b] = block;
    }
}

} // namespace

// The driver's root context stays where the driver put it; only contexts of
// unfolded bodies come from their pool.
TEST_F(Pipeline, ContextSetUpKeepsTheDriversContext)
{
    method_compile_context* holder = &m;
    ASSERT_EQ(init_method_compile_context(&holder, &cb->methods[0], nullptr, fake_current_ee), 0);
    EXPECT_EQ(holder, &m);
    EXPECT_EQ(m.root, &m);
    EXPECT_EQ(m.max_stack, 3);
    EXPECT_EQ(m.local_count, 2);
    EXPECT_TRUE(m.state_flags & MCC_CREATED);
    EXPECT_NE(m.pool1, nullptr);
    EXPECT_NE(m.pool2, nullptr);
    EXPECT_NE(m.pool3, nullptr);
    ASSERT_NE(m.inlining, nullptr);
    EXPECT_EQ(m.inlining->m, &m);

    method_compile_context* body = nullptr;
    ASSERT_EQ(init_method_compile_context(&body, &cb->methods[0], &m, fake_current_ee), 0);
    EXPECT_NE(body, nullptr);
    EXPECT_NE(body, &m);
    EXPECT_EQ(body->root, &m);

    m.use_count = 2;
    jit_fast_compile_free_workspace(&m);
    EXPECT_NE(m.pool1, nullptr);
    jit_fast_compile_free_workspace(&m);
    EXPECT_EQ(m.pool1, nullptr);
    EXPECT_EQ(m.pool3, nullptr);
}

TEST_F(Pipeline, ContextSetUpFailsCleanly)
{
    method_compile_context* holder = nullptr;
    jit_mem_inject_failure = 1;
    EXPECT_EQ(init_method_compile_context(&holder, &cb->methods[0], nullptr, fake_current_ee), 1);
    EXPECT_EQ(holder, nullptr);
    jit_mem_inject_failure = 4;     // pool 1 (header, segment), pool 2 (header, then its segment fails)
    holder = nullptr;
    EXPECT_EQ(init_method_compile_context(&holder, &cb->methods[0], nullptr, fake_current_ee), 1);
    EXPECT_EQ(holder, nullptr);
    jit_mem_inject_failure = 0;
}

// One attempt with the later stages pending: the front end fails, the
// attempt's scratch pool and workspace are released.
TEST_F(Pipeline, AttemptFailsAtTheFrontEndAndReleasesItsPools)
{
    thread_compile_record rec;
    memset(&rec, 0, sizeof rec);
    fake_current_ee->compile_record = &rec;
    method_compile_context* holder = &m;
    compile_option_flag = OPT1_NBCOPT;
    EXPECT_EQ(JITGenNativeCode(&cb->methods[0], &holder, 2, 0), 1);
    EXPECT_EQ(compile_option2_flag, 0xFFEFFFFEu);   // every optimization off but UNWIND_STACK and NCHA
    EXPECT_EQ(compile_option3_flag, 0xFFFFFFFFu);
    EXPECT_EQ(m.pool1, nullptr);
    EXPECT_EQ(m.pool2, nullptr);
    EXPECT_EQ(rec.pools, nullptr);
    compile_option_flag = compile_option2_flag = compile_option3_flag = 0;
    cb->methods[0].access |= ACC_COMPILED;      // compiled meanwhile: 0 without a context
    method_compile_context* none = nullptr;
    EXPECT_EQ(JITGenNativeCode(&cb->methods[0], &none, 2, 0), 0);
    EXPECT_EQ(none, nullptr);
    fake_current_ee->compile_record = nullptr;
}

TEST_F(Pipeline, ReturnPathMarking)
{
    m.pool1 = jit_wmem_init(0);
    // 0 entry -> 1; 1 -> 2, 3; 2 returns; 3 -> 4 (branch to 4); 4 returns; 5 throws; 6 exit.
    quadruple* ret = quad(&m, OPC_IRETURN);
    quadruple* vret = quad(&m, OPC_OTHER, OTHER_RETURN_VOID);
    quadruple* jump = quad(&m, OPC_GOTO, 0, 4);
    make_blocks(&m, {{1}, {2, 3}, {}, {4}, {}, {}, {}}, {nullptr, quad(&m, OPC_IFZ), ret, jump, vret,
                                                         quad(&m, OPC_ATHROW), nullptr});
    m.bb_table[3]->flags2 |= BB2_ENDS_IN_BRANCH;
    EXPECT_EQ(mark_normal_return_paths(&m, 1, 1), 1);
    EXPECT_TRUE(m.bb_table[1]->flags2 & BB2_RETURNS);
    EXPECT_TRUE(m.bb_table[3]->flags2 & BB2_RETURNS);
    EXPECT_EQ(mark_normal_return_paths(&m, 5, 1), 0);
    // A block reached with more than one predecessor is not followed.
    m.bb_table[2]->flags &= ~BB_VISITED;
    m.bb_table[2]->flags2 &= ~BB2_RETURNS;
    m.bb_table[2]->catbl[0] = quad(&m, OPC_IFZ);
    m.bb_table[2]->pred_count = 2;
    EXPECT_EQ(mark_normal_return_paths(&m, 2, 0), 0);
}

TEST_F(Pipeline, RarePathsMoveTowardsTheEnd)
{
    m.pool1 = jit_wmem_init(0);
    make_blocks(&m, {{}, {}, {}, {}, {}, {}}, {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr});
    m.bb_table[2]->flags2 |= BB2_RARE;
    m.bb_table[4]->flags2 |= BB2_RARE;
    u4 order[] = {0, 2, 1, 4, 3, 5};
    m.dfs_array = order;
    m.dfs_count = 6;
    jit_separate_rare_paths(&m);
    std::vector<u4> got(m.dfs_array, m.dfs_array + 6);
    EXPECT_EQ(got, (std::vector<u4>{0, 1, 3, 2, 4, 5}));
}

TEST_F(Pipeline, CodePositionMapsArePackedInRegistrationOrder)
{
    m.pool1 = jit_wmem_init(0);
    u1 code[0x20000];
    method_code_info mci;
    memset(&mci, 0, sizeof mci);
    mci.code_start = code;
    codegen_context cg;
    memset(&cg, 0, sizeof cg);
    cg.m = &m;
    cg.mci = &mci;
    thread_compile_record rec;
    memset(&rec, 0, sizeof rec);
    fake_current_ee->compile_record = &rec;

    struct {
        std::vector<u4> offsets;
        u4 width;
    } const rows[] = {
        {{0, 17, 255}, 1}, {{0x100, 3}, 2}, {{0xFFFF}, 2}, {{0x10000, 1}, 4}, {{0}, 0},
    };
    for (const auto& r : rows) {
        cg.cp_list = nullptr;
        u4 value = 100;
        for (u4 off : r.offsets)
            register_inlined_method_frame(&cg, value++, code + off, &cg.cp_list);
        create_cp2imf_info(&cg, &m, 0);
        auto* t = static_cast<cp2imf_table*>(rec.cp2imf);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->width, r.width);
        ASSERT_EQ(t->count, r.offsets.size());
        EXPECT_EQ(t->offsets, reinterpret_cast<u1*>(t) + 12 + 4 * t->count);
        for (u4 i = 0; i < t->count; i++) {
            EXPECT_EQ(t->values[i], 100 + i);
            u4 off = 0;
            memcpy(&off, t->offsets + i * t->width, t->width);
            EXPECT_EQ(off, r.offsets[i]);
        }
    }
    // An empty list stores no table.
    cg.cp_list_aux = nullptr;
    rec.exc_cp2imf = reinterpret_cast<void*>(1);
    create_exc_cp2imf_info(&cg, &m, 0);
    EXPECT_EQ(rec.exc_cp2imf, nullptr);
    // Scheduling moved an instruction: its node follows.
    cp_node* n = register_inlined_method_frame(&cg, 7, code + 40, &cg.cp_list);
    EXPECT_EQ(fix_cp2imf_after_cs(&cg, n, code + 44), code);
    EXPECT_EQ(n->offset, 44u);
    fake_current_ee->compile_record = nullptr;
}
