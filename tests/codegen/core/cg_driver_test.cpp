// The code-generation driver, pass, dispatcher and branch linkage over small
// hand-built block graphs; the committed code is run.
#include <gtest/gtest.h>

#include <string.h>

#include "cg_driver_fakes.h"

// ---------------------------------------------------------------------------
// A thread compile record the driver publishes into.
// ---------------------------------------------------------------------------
static EE fake_ee_record;
static thread_compile_record fake_tcr;
static EE* fake_ee()
{
    fake_ee_record.compile_record = &fake_tcr;
    return &fake_ee_record;
}
static const bool fake_ee_bound = (vm.EE = fake_ee, true);

// ---------------------------------------------------------------------------
// Builder.
// ---------------------------------------------------------------------------
test_method* make_method(int body_blocks)
{
    auto* t = new test_method();
    memset(&t->cb, 0, sizeof t->cb);
    memset(&t->mb, 0, sizeof t->mb);
    memset(&t->m, 0, sizeof t->m);
    t->cb.name = "T";
    t->mb.clazz = &t->cb;
    t->mb.name = "m";
    t->mb.signature = "()I";
    t->mb.access = ACC_STATIC;
    int n = body_blocks + 2;
    for (int b = 0; b < n; b++) {
        auto* bb = static_cast<bbattr*>(calloc(1, sizeof(bbattr)));
        bb->id = (u4)b;
        bb->pred_count = 1;
        t->blocks.push_back(bb);
        t->dfs.push_back((u4)b);
    }
    t->quads.resize(n);
    t->succ.resize(n);
    for (int b = 0; b + 1 < n; b++)
        t->succ[b] = {(u4)(b + 1)};
    t->m.mb = &t->mb;
    t->m.pool1 = jit_wmem_init(0);
    t->m.pool2 = jit_wmem_init(0);
    return t;
}

quadruple* add_quad(test_method* t, int block, u1 opcode, u4 value, u2 count)
{
    auto* q = static_cast<quadruple*>(calloc(1, sizeof(quadruple)));
    q->opcode = opcode;
    q->value = value;
    q->count = count;
    q->src1.kind = (QT_INT << QT_SHIFT) | QK_VARIABLE;
    q->src1.number = 0;
    t->quads[block].push_back(q);
    return q;
}

quadruple* add_branch(test_method* t, int block, u1 opcode, u2 cond, u4 target, u2 cmp_value)
{
    quadruple* q = add_quad(t, block, opcode);
    q->op = cond;
    q->target = target;
    q->opcount = 2;
    q->src2.kind = (QT_INT << QT_SHIFT) | QK_IMMEDIATE;
    q->src2.number = cmp_value;
    return q;
}

void set_succ(test_method* t, int block, std::vector<u4> succ) { t->succ[block] = succ; }

void finish_method(test_method* t)
{
    int n = (int)t->blocks.size();
    u4 quads = 0;
    for (int b = 0; b < n; b++) {
        bbattr* bb = t->blocks[b];
        bb->quad_count = (u4)t->quads[b].size();
        bb->catbl = t->quads[b].empty() ? nullptr : t->quads[b].data();
        bb->succ_count = (u4)t->succ[b].size();
        bb->succ = t->succ[b].empty() ? nullptr : t->succ[b].data();
        quads += bb->quad_count;
    }
    t->m.bb_count = (u4)n;
    t->m.bb_table = t->blocks.data();
    t->m.dfs_count = (u4)n;
    t->m.dfs_array = t->dfs.data();
    t->m.total_quad_count = quads;
}

u1* code_start(const test_method*) { return fake_tcr.code_start; }
u4 code_len(const test_method*) { return (u4)(fake_tcr.code_end - fake_tcr.code_start); }
int run_int(const test_method*) { return reinterpret_cast<int (*)(void)>(fake_tcr.invoker_entry)(); }

static void reset_fakes()
{
    fakes = fake_state();
    memset(&fake_tcr, 0, sizeof fake_tcr);
    cg_missing_service = nullptr;
}

// ---------------------------------------------------------------------------
// Forward branch: block 1 compares and jumps over block 2 (N bytes of
// padding) to block 3.  Pass-1 distance from the end of the 6-byte jcc to
// block 3 is N + 6.
// ---------------------------------------------------------------------------
static test_method* forward_method(int pad)
{
    test_method* t = make_method(3);
    add_quad(t, 1, OPC_ICONST, 5);
    add_branch(t, 1, OPC_IFCMP, COND_EQ, 3, 5);   // cmp eax, 5: 3 bytes
    set_succ(t, 1, {2, 3});
    add_quad(t, 2, OPC_ILOAD, 0, (u2)pad);
    add_quad(t, 2, OPC_ICONST, 1);
    add_quad(t, 2, OPC_IRETURN);
    add_quad(t, 3, OPC_ICONST, 2);
    add_quad(t, 3, OPC_IRETURN);
    set_succ(t, 2, {4});
    set_succ(t, 3, {4});
    finish_method(t);
    return t;
}

// Block 1's conditional jump (after mov (5) and cmp (3)): its form and target.
static bool jcc_is_short(const u1* code) { return code[8] == 0x74; }
static const u1* jcc_target(const u1* code)
{
    if (code[8] == 0x74)
        return code + 10 + (int8_t)code[9];
    s4 rel;
    memcpy(&rel, code + 10, 4);
    return code + 14 + rel;
}
// Measured minus written: the 4-aligned trailer padding (pass 1 counts 4,
// pass 2 writes 0..3) plus 4 bytes per jump written short.
static u4 shrink_without_padding(u4 measured, u4 written, int shorts)
{
    u4 d = measured - written - 4u * (u4)shorts;
    return d >= 1 && d <= 4 ? 0 : d;
}

TEST(CgDriver, ForwardBranchShortNearBoundaryRuns)
{
    // Forward jumps: short only when the pass-1 distance leaves room for the
    // 4 bytes the jump itself loses when it becomes short.
    struct { int pad; bool is_short; } rows[] = {
        {0, true}, {117, true}, {118, false}, {121, false}, {122, false}, {300, false},
    };
    for (auto& r : rows) {
        reset_fakes();
        test_method* t = forward_method(r.pad);
        ASSERT_EQ(JITGenNativeCode_state(&t->m), 0) << r.pad;
        if (getenv("CG_DUMP")) {
            for (u4 i = 0; i < code_len(t); i++)
                fprintf(stderr, "%02x ", code_start(t)[i]);
            fprintf(stderr, "\n");
        }
        EXPECT_EQ(jcc_is_short(code_start(t)), r.is_short) << "pad " << r.pad;
        EXPECT_EQ(run_int(t), 2) << "pad " << r.pad;
        EXPECT_EQ(t->m.code_size, code_len(t));
        EXPECT_LE(t->m.code_size, fakes.last_alloc_size);
        EXPECT_EQ(shrink_without_padding(fakes.last_alloc_size, t->m.code_size, r.is_short), 0u) << r.pad;
    }
}

TEST(CgDriver, ForwardJumpAtPass1Distance127WouldNotReachAsShort)
{
    // Guards the short/near rule: with pass-1 distance 127 (pad 121) the
    // short form would have to span 131 bytes, beyond a signed byte.
    reset_fakes();
    test_method* t = forward_method(121);
    ASSERT_EQ(JITGenNativeCode_state(&t->m), 0);
    const u1* code = code_start(t);
    ASSERT_FALSE(jcc_is_short(code));
    const u1* block3 = code + 8 + 6 + 121 + 5 + 1;
    EXPECT_EQ(block3[0], 0xB8);    // mov eax, 2
    EXPECT_EQ(block3 - (code + 8 + 2), 131);
    EXPECT_EQ(run_int(t), 2);
}

// ---------------------------------------------------------------------------
// Backward branch: block 2 adds 1 and loops to itself while eax < 5.
// Pass-1 distance = -(3 + pad + 3 + 6).
// ---------------------------------------------------------------------------
static test_method* loop_method(int pad)
{
    test_method* t = make_method(3);
    add_quad(t, 1, OPC_ICONST, 0);
    add_quad(t, 2, OPC_IOP2, 2);                  // add eax, 2: 3 bytes
    add_quad(t, 2, OPC_ILOAD, 0, (u2)pad);
    add_branch(t, 2, OPC_IFCMP, COND_LT, 2, 10);  // cmp eax, 10: 3 bytes
    set_succ(t, 2, {3, 2});
    t->blocks[2]->pred_count = 2;
    add_quad(t, 3, OPC_IRETURN);
    set_succ(t, 3, {4});
    finish_method(t);
    return t;
}

TEST(CgDriver, BackwardBranchShortNearBoundaryRuns)
{
    struct { int pad; bool is_short; } rows[] = {{0, true}, {116, true}, {117, false}, {400, false}};
    for (auto& r : rows) {
        reset_fakes();
        test_method* t = loop_method(r.pad);
        ASSERT_EQ(JITGenNativeCode_state(&t->m), 0) << r.pad;
        const u1* jcc = code_start(t) + 5 + 3 + r.pad + 3;   // mov, add, pad, cmp
        EXPECT_EQ(jcc[0] == 0x7C, r.is_short) << "pad " << r.pad;
        if (!r.is_short) {
            EXPECT_EQ(jcc[0], 0x0F);
            EXPECT_EQ(jcc[1], 0x8C);
        }
        EXPECT_EQ(run_int(t), 10) << "pad " << r.pad;
        EXPECT_EQ(shrink_without_padding(fakes.last_alloc_size, t->m.code_size, r.is_short), 0u) << r.pad;
    }
}

TEST(CgDriver, TrailerIsAlignedAndEndsTheCode)
{
    reset_fakes();
    test_method* t = forward_method(3);
    ASSERT_EQ(JITGenNativeCode_state(&t->m), 0);
    u1* end = code_start(t) + code_len(t);
    EXPECT_EQ(((uintptr_t)end) % 4, 0u);
    u4 words[2];
    memcpy(words, end - 8, 8);
    EXPECT_EQ(words[0], 0xCCCCCCCCu);
    EXPECT_EQ(words[1], (u4)(uintptr_t)&t->mb);
    EXPECT_TRUE(t->mb.compiled_flags & MBC_CODE_INSTALLED);
    EXPECT_EQ(fakes.catch_frames, 0);   // no exception table
}

TEST(CgDriver, ExceptionTableAddsHandlerJumpAndCatchFrames)
{
    reset_fakes();
    test_method* t = forward_method(3);
    u2 table[8] = {};
    t->mb.exception_table = table;
    t->mb.exception_table_length = 1;
    ASSERT_EQ(JITGenNativeCode_state(&t->m), 0);
    EXPECT_EQ(fakes.catch_frames, 1);
    u1* end = code_start(t) + code_len(t);
    // jmp rel32 to _orva_ExceptionHandler, 0..3 bytes of padding, the trailer.
    int found = 0;
    for (int pad = 0; pad < 4; pad++) {
        u1* p = end - 8 - pad;
        s4 rel;
        memcpy(&rel, p - 4, 4);
        if (p[-5] == 0xE9 && (uintptr_t)(p + rel) == (uintptr_t)&_orva_ExceptionHandler)
            found++;
    }
    EXPECT_EQ(found, 1);
}

TEST(CgDriver, MarkedMethodAllocatesNothing)
{
    reset_fakes();
    test_method* t = forward_method(3);
    t->mb.access |= ACC_CODE_INSTALLED_MARK;
    EXPECT_EQ(JITGenNativeCode_state(&t->m), 1);
    EXPECT_EQ(fakes.code_allocs, 0);
}

TEST(CgDriver, MissingGeneratorFailsSoftly)
{
    // A quadruple whose generator is not built yet: the compile answers 1,
    // nothing is committed and the compile context's scratch pool is back.
    reset_fakes();
    test_method* t = forward_method(3);
    add_quad(t, 3, OPC_NEW);
    std::swap(t->quads[3][1], t->quads[3][2]);   // new before the return
    finish_method(t);
    work_pool* scratch = t->m.pool2;
    EXPECT_EQ(JITGenNativeCode_state(&t->m), 1);
    EXPECT_STREQ(cg_missing_service, "gen_new");
    EXPECT_FALSE(t->mb.compiled_flags & MBC_CODE_INSTALLED);
    EXPECT_EQ(t->m.pool2, scratch);
    EXPECT_EQ(fakes.code_allocs, 0);   // failed in pass 1
    EXPECT_EQ(fake_tcr.code_start, nullptr);
}

TEST(CgDriver, BrokenInvariantGivesTheCompileUpAndTheNextCompileRuns)
{
    // An invariant of a generator fails in either pass: the compile answers 1
    // with the failed condition as its reason, nothing is installed, and the
    // process goes on to compile the next method.
    for (int pass : {(int)CG_PASS_MEASURE, (int)CG_PASS_WRITE}) {
        SCOPED_TRACE(pass);
        reset_fakes();
        test_method* t = make_method(1);
        add_quad(t, 1, OPC_ICONST, 1);
        add_quad(t, 1, OPC_IOP2, 4);
        add_quad(t, 1, OPC_IRETURN);
        finish_method(t);
        work_pool* scratch = t->m.pool2;
        fakes.broken_invariant_pass = pass;
        EXPECT_EQ(JITGenNativeCode_state(&t->m), 1);
        ASSERT_NE(cg_missing_service, nullptr);
        EXPECT_NE(strstr(cg_missing_service, "internal error: cg->pass != fakes.broken_invariant_pass"), nullptr)
            << cg_missing_service;
        EXPECT_FALSE(t->mb.compiled_flags & MBC_CODE_INSTALLED);
        EXPECT_EQ(t->m.pool2, scratch);

        fakes.broken_invariant_pass = 0;
        test_method* next = make_method(1);
        add_quad(next, 1, OPC_ICONST, 1);
        add_quad(next, 1, OPC_IOP2, 4);
        add_quad(next, 1, OPC_IRETURN);
        finish_method(next);
        ASSERT_EQ(JITGenNativeCode_state(&next->m), 0);
        EXPECT_TRUE(next->mb.compiled_flags & MBC_CODE_INSTALLED);
        EXPECT_EQ(run_int(next), 5);
    }
}

TEST(CgDriver, FailuresBeforePass1AnswerOne)
{
    reset_fakes();
    test_method* t = forward_method(3);
    work_pool* scratch = t->m.pool2;
    fakes.iface_fails = 1;
    EXPECT_EQ(JITGenNativeCode_state(&t->m), 1);
    EXPECT_EQ(t->m.pool2, scratch);   // the pass-1 pool does not stay installed
    reset_fakes();
    fakes.fail_wmem_init = 2;   // the pass-1 pool
    testing::internal::CaptureStderr();
    EXPECT_EQ(JITGenNativeCode_state(&t->m), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "JIT GENCODE: out of memory in pass1\n");
    EXPECT_EQ(t->m.pool2, scratch);
    reset_fakes();
    fakes.fail_wmem_init = 1;   // the table pool
    testing::internal::CaptureStderr();
    EXPECT_EQ(JITGenNativeCode_state(&t->m), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "JIT GENCODE: Out of Memory (1)\n");
}

TEST(CgDriver, ConditionalBranchToNextBlockIsReversed)
{
    // Block 1 branches to block 2, its fall-through: the branch is reversed
    // to jump to block 3 and the quadruple records it.
    reset_fakes();
    test_method* t = make_method(3);
    add_quad(t, 1, OPC_ICONST, 7);
    quadruple* br = add_branch(t, 1, OPC_IFCMP, COND_EQ, 2, 7);
    set_succ(t, 1, {3, 2});
    add_quad(t, 2, OPC_ICONST, 20);
    add_quad(t, 2, OPC_IRETURN);
    add_quad(t, 3, OPC_ICONST, 30);
    add_quad(t, 3, OPC_IRETURN);
    set_succ(t, 2, {4});
    set_succ(t, 3, {4});
    finish_method(t);
    ASSERT_EQ(JITGenNativeCode_state(&t->m), 0);
    EXPECT_EQ(br->op, COND_NE);
    EXPECT_TRUE(br->subcode & QS_UNRESOLVED);
    EXPECT_EQ(br->target, 3u);
    EXPECT_EQ(run_int(t), 20);   // 7 == 7: falls into block 2
}

TEST(CgDriver, ConstantFirstOperandIsExchanged)
{
    // A compare whose first source is a constant and condition 9 (above or
    // equal) is generated with swapped sources and condition 11.
    reset_fakes();
    test_method* t = make_method(3);
    add_quad(t, 1, OPC_ICONST, 0);
    quadruple* br = add_branch(t, 1, OPC_IFCMP, COND_AE, 3, 0);
    br->src1.kind = (QT_INT << QT_SHIFT) | QK_IMMEDIATE;
    br->src1.number = 4;
    br->src2.kind = (QT_INT << QT_SHIFT) | QK_VARIABLE;
    br->src2.number = 1;
    set_succ(t, 1, {2, 3});
    add_quad(t, 2, OPC_IRETURN);
    add_quad(t, 3, OPC_IRETURN);
    set_succ(t, 2, {4});
    set_succ(t, 3, {4});
    finish_method(t);
    ASSERT_EQ(JITGenNativeCode_state(&t->m), 0);
    EXPECT_EQ(fakes.last_cmp_a.kind, OPND_LOCAL);
    EXPECT_EQ(fakes.last_cmp_b.kind, OPND_CONST);
    EXPECT_EQ(fakes.last_cmp_b.value, 4u);
    // jae became jbe (short form 0x76) after mov eax (5) and cmp eax, 4 (3).
    EXPECT_EQ(code_start(t)[8], 0x76);
}

TEST(CgDriver, ReconcilingStubIsWrittenAndJumpedThrough)
{
    // The edge 1 -> 3 needs reconciliation code; block 3 has two
    // predecessors, so the stub goes after the blocks and the branch goes
    // through it.
    reset_fakes();
    test_method* t = forward_method(3);
    t->blocks[3]->pred_count = 2;
    fakes.reconcile_from = 1;
    fakes.reconcile_to = 3;
    fakes.reconcile_bytes = 3;
    ASSERT_EQ(JITGenNativeCode_state(&t->m), 0);
    EXPECT_EQ(run_int(t), 2);
    // The jcc goes to the stub (3 nops and a jmp to block 3), flushed
    // between block 2 (which returns) and block 3.
    const u1* code = code_start(t);
    const u1* stub = jcc_target(code);
    EXPECT_EQ(stub[0], 0x90);
    EXPECT_EQ(stub[2], 0x90);
    const u1* dest = nullptr;
    if (stub[3] == 0xEB) {
        dest = stub + 5 + (int8_t)stub[4];
    } else {
        ASSERT_EQ(stub[3], 0xE9);
        s4 rel;
        memcpy(&rel, stub + 4, 4);
        dest = stub + 8 + rel;
    }
    EXPECT_EQ(dest[0], 0xB8);   // block 3: mov eax, 2
    EXPECT_EQ(dest[1], 2);
}

TEST(CgDriver, EmptyBlocksAndDeletedQuadruplesProduceNothing)
{
    reset_fakes();
    test_method* a = forward_method(10);
    ASSERT_EQ(JITGenNativeCode_state(&a->m), 0);
    u4 plain = a->m.code_size;
    reset_fakes();
    test_method* b = forward_method(10);
    quadruple* dead = add_quad(b, 2, OPC_ICONST, 99);
    dead->opcount |= QC_DELETED;
    std::swap(b->quads[2][1], b->quads[2][3]);
    std::swap(b->quads[2][2], b->quads[2][3]);
    finish_method(b);
    ASSERT_EQ(JITGenNativeCode_state(&b->m), 0);
    EXPECT_EQ(b->m.code_size, plain);
    EXPECT_EQ(run_int(b), 2);
}

TEST(CgDriver, InLoopBranchReconcilesInLine)
{
    // A backward branch inside one loop whose edge needs reconciliation: the
    // code is written in line, skipped by the reversed short branch, and the
    // jump to the loop header follows it.
    for (int pad : {0, 150}) {
        reset_fakes();
        test_method* t = loop_method(pad);
        bbattr* b2 = t->blocks[2];
        b2->flags |= BB_KIND_LOOP | BB_LOOP_HEADER;
        b2->loop_depth = 1;
        fakes.reconcile_from = 2;
        fakes.reconcile_to = 2;
        fakes.reconcile_bytes = 2;
        ASSERT_EQ(JITGenNativeCode_state(&t->m), 0);
        const u1* jcc = code_start(t) + 5 + 3 + pad + 3;
        EXPECT_EQ(jcc[0], 0x7D) << pad;          // jge over the reconciliation (reversed jl)
        EXPECT_EQ(jcc[2], 0x90);
        EXPECT_EQ(jcc[3], 0x90);
        const u1* jmp = jcc + 4;
        EXPECT_TRUE(jmp[0] == 0xEB || jmp[0] == 0xE9) << pad;
        EXPECT_EQ(jcc + 2 + jcc[1], jmp + (jmp[0] == 0xEB ? 2 : 5));
        EXPECT_EQ(run_int(t), 10) << pad;
    }
}

// Reconciliation code of 120 bytes and more: with the jump after it the
// skip would pass 127 bytes, so the reversed branch is written near.  (A
// short skip's displacement wrapped and landed inside the reconciliation.)
TEST(CgDriver, InLoopBranchSkipsLongReconciliationNear)
{
    for (int bytes : {120, 122, 123, 130, 300}) {
        reset_fakes();
        test_method* t = loop_method(0);
        bbattr* b2 = t->blocks[2];
        b2->flags |= BB_KIND_LOOP | BB_LOOP_HEADER;
        b2->loop_depth = 1;
        fakes.reconcile_from = 2;
        fakes.reconcile_to = 2;
        fakes.reconcile_bytes = bytes;
        ASSERT_EQ(JITGenNativeCode_state(&t->m), 0);
        const u1* jcc = code_start(t) + 5 + 3 + 3;
        const u1* nops;
        if (bytes + 5 <= 127) {
            EXPECT_EQ(jcc[0], 0x7D) << bytes;                  // jge short
            nops = jcc + 2;
            EXPECT_EQ(nops + jcc[1], nops + bytes + (nops[bytes] == 0xEB ? 2 : 5)) << bytes;
        } else {
            EXPECT_EQ(jcc[0], 0x0F) << bytes;                  // jge near
            EXPECT_EQ(jcc[1], 0x8D) << bytes;
            nops = jcc + 6;
            s4 d;
            memcpy(&d, jcc + 2, 4);
            EXPECT_EQ(nops + d, nops + bytes + (nops[bytes] == 0xEB ? 2 : 5)) << bytes;
        }
        EXPECT_EQ(nops[0], 0x90) << bytes;
        EXPECT_EQ(nops[bytes - 1], 0x90) << bytes;
        EXPECT_EQ(run_int(t), 10) << bytes;
    }
}

TEST(CgDriver, BlockListedTwiceIsGeneratedOnce)
{
    reset_fakes();
    test_method* a = forward_method(4);
    ASSERT_EQ(JITGenNativeCode_state(&a->m), 0);
    u4 once = a->m.code_size;
    reset_fakes();
    test_method* b = forward_method(4);
    b->dfs = {0, 1, 2, 3, 2, 4};
    finish_method(b);
    b->m.dfs_count = 6;
    ASSERT_EQ(JITGenNativeCode_state(&b->m), 0);
    EXPECT_EQ(b->m.code_size, once);
    EXPECT_EQ(run_int(b), 2);
}

TEST(CgDriver, MoreRecordedJumpsThanTheTableHoldsFailSoftly)
{
    // The back-patch table holds 3 records per block; a block that records
    // more must not write past it: the compile ends softly.
    reset_fakes();
    test_method* t = make_method(1);
    add_quad(t, 1, OPC_ICONST, 1);
    for (int i = 0; i < 10; i++)
        add_branch(t, 1, OPC_IFCMP, COND_EQ, 2, 7);
    add_quad(t, 1, OPC_IRETURN);
    finish_method(t);
    EXPECT_EQ(JITGenNativeCode_state(&t->m), 1);
    EXPECT_STREQ(cg_missing_service, "room in the back-patch table");
    EXPECT_FALSE(t->mb.compiled_flags & MBC_CODE_INSTALLED);
}
