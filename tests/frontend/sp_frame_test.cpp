// The stack pass's frame: blocks it leaves alone, handler heads, the
// incoming-argument copies and register-argument counts, the filler of
// over-reserved slots and the refusal of a case that outgrows its reserve.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "fe_vm_env.h"
#include "sp_test_util.h"

namespace {

using namespace sptest;

TEST(StackPassFrame, PlainBlockIsRewrittenInPlace)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        method_compile_context* m = new_context(&fm.mb);
        quadruple* a = quad(m, OPC_ICONST, -1, 0);
        a->result.kind = KB_INT;
        a->src1.kind = KB_INT;
        a->flags_a = QA_CONSTANT;
        quadruple* r = quad(m, OPC_IRETURN, 0, -1);
        make_blocks(m, {{a, r}});
        bbattr* b = m->bb_table[1];
        quadruple** before = b->catbl;
        ASSERT_EQ(dup2copy(m), 0);
        EXPECT_EQ(b->catbl, before);
        EXPECT_EQ(b->quad_count, 2u);
        // Only the per-quadruple clearing happened; the tops stay.
        EXPECT_EQ(a->result.kind, 0);
        EXPECT_EQ(a->src1.kind, 0);
        EXPECT_EQ(a->flags_a, 0);
        EXPECT_EQ(quad_itop_after(a), 0);
        EXPECT_EQ(m->invocation_count, 0u);
        free_context(m);
    });
}

TEST(StackPassFrame, HandlerHeadGetsCatch)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        method_compile_context* m = new_context(&fm.mb);
        quadruple* body = quad(m, OPC_OTHER, -1, -1);
        quadruple* store = quad(m, OPC_ASTORE, 0, -1, 2, 2);
        make_blocks(m, {{body}, {store}});
        bbattr* h = m->bb_table[2];
        h->flags |= BB_HANDLER;
        ASSERT_EQ(dup2copy(m), 0);
        ASSERT_EQ(h->quad_count, 2u);
        quadruple* c = h->catbl[0];
        EXPECT_EQ(c->opcode, OPC_CATCH);
        EXPECT_EQ(quad_itop_before(c), 0);
        EXPECT_EQ(quad_itop_after(c), 0);
        EXPECT_EQ(quad_ftop_before(c), 2);
        EXPECT_EQ(quad_ftop_after(c), 2);
        EXPECT_EQ(h->catbl[1], store);
        EXPECT_EQ(m->total_quad_count, 3u);
        free_context(m);
    });
}

TEST(StackPassFrame, EntryExitAndDeadBlocksAreNotTouched)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        method_compile_context* m = new_context(&fm.mb);
        quadruple* dup = quad(m, OPC_DUP2, 1, 3);
        set_form(dup, 0x110002);
        quadruple* live = quad(m, OPC_OTHER);
        make_blocks(m, {{live}, {dup}});
        m->bb_table[2]->flags |= BB_DEAD;
        quadruple** dead_before = m->bb_table[2]->catbl;
        ASSERT_EQ(dup2copy(m), 0);
        EXPECT_EQ(m->bb_table[2]->catbl, dead_before);
        EXPECT_EQ(m->bb_table[2]->quad_count, 1u);
        EXPECT_EQ(dup->opcode, OPC_DUP2);
        EXPECT_EQ(m->bb_table[0]->quad_count, 0u);
        EXPECT_EQ(m->bb_table[3]->quad_count, 0u);
        free_context(m);
    });
}

struct copy_row {
    int opcode;
    int result;     // local slot
    int index;      // running integer-argument index
    int slot;       // the argument's local slot (high byte of the source)
};

struct signature_case {
    const char* sig;
    u2 access;
    u2 args_size;
    std::vector<copy_row> copies;
    u2 reg_args;
};

TEST(StackPassFrame, ArgumentCopiesAndRegisterArgumentCount)
{
    FE_REQUIRE_BOOT();
    const signature_case cases[] = {
        {"()V", ACC_STATIC, 0, {}, 0},
        {"()V", 0, 1, {{OPC_ALOCALCOPY, 0, 0, 0}}, 2},
        {"(JJ)V", ACC_STATIC, 4, {{OPC_LLOCALCOPY, 0, 0, 0}, {OPC_LLOCALCOPY, 2, 2, 2}}, 0},
        {"(IF)V", ACC_STATIC, 2, {{OPC_ILOCALCOPY, 0, 0, 0}}, 0},
        {"(II)I", 0, 3, {{OPC_ALOCALCOPY, 0, 0, 0}, {OPC_ILOCALCOPY, 1, 1, 1}, {OPC_ILOCALCOPY, 2, 2, 2}}, 4},
        {"(J)V", ACC_STATIC, 2, {{OPC_LLOCALCOPY, 0, 0, 0}}, 3},
        {"(J)V", 0, 3, {{OPC_ALOCALCOPY, 0, 0, 0}, {OPC_LLOCALCOPY, 1, 1, 1}}, 4},
        {"(IJ)V", ACC_STATIC, 3, {{OPC_ILOCALCOPY, 0, 0, 0}, {OPC_LLOCALCOPY, 1, 1, 1}}, 4},
        {"(IIII)V", ACC_STATIC, 4,
         {{OPC_ILOCALCOPY, 0, 0, 0}, {OPC_ILOCALCOPY, 1, 1, 1}, {OPC_ILOCALCOPY, 2, 2, 2}}, 0},
        {"(DI)V", ACC_STATIC, 3, {{OPC_ILOCALCOPY, 2, 0, 2}}, 0},
        {"(Ljava/lang/String;[I[[Ljava/lang/Object;)V", ACC_STATIC, 3,
         {{OPC_ALOCALCOPY, 0, 0, 0}, {OPC_ALOCALCOPY, 1, 1, 1}, {OPC_ALOCALCOPY, 2, 2, 2}}, 4},
        {"(BCSZ)Z", ACC_STATIC, 4,
         {{OPC_ILOCALCOPY, 0, 0, 0}, {OPC_ILOCALCOPY, 1, 1, 1}, {OPC_ILOCALCOPY, 2, 2, 2}}, 0},
    };
    fetest::run([&](EE*) {
        for (const signature_case& c : cases) {
            fake_method fm(c.sig, c.access, c.args_size);
            method_compile_context* m = new_context(&fm.mb);
            quadruple* first = quad(m, OPC_ALOAD, -1, 0, -1, -1);
            make_blocks(m, {{first}});
            ASSERT_EQ(dup2copy(m), 0) << c.sig;
            bbattr* b = m->bb_table[1];
            ASSERT_EQ(b->quad_count, c.copies.size() + 1) << c.sig;
            for (size_t i = 0; i < c.copies.size(); i++) {
                const quadruple* q = b->catbl[i];
                const copy_row& w = c.copies[i];
                EXPECT_EQ(q->opcode, w.opcode) << c.sig << " copy " << i;
                EXPECT_EQ(q->result.number, w.result) << c.sig << " copy " << i;
                EXPECT_EQ(q->src1.number, w.index | w.slot << 8) << c.sig << " copy " << i;
                u1 type = w.opcode == OPC_ILOCALCOPY ? QT_INT : w.opcode == OPC_LLOCALCOPY ? QT_LONG : QT_REF;
                EXPECT_EQ(q->result.kind, quad_kind_byte(QK_VARIABLE, type)) << c.sig;
                EXPECT_EQ(q->src1.kind, quad_kind_byte(QK_ARGUMENT, type)) << c.sig;
            }
            EXPECT_EQ(b->catbl[c.copies.size()], first) << c.sig;
            EXPECT_EQ(sp_register_argument_count(m), c.reg_args) << c.sig;
            free_context(m);
        }
    });
}

// Fault guarded against: the argument walk used to accept a broken
// descriptor when the break lay past the argument size or after ')' (an
// unterminated class name ran to the end of the string and counted as one
// word); every such method is now refused before any copy is made.
TEST(StackPassFrame, MalformedDescriptorRefusesTheMethod)
{
    FE_REQUIRE_BOOT();
    const struct { const char* sig; u2 access; u2 args_size; } cases[] = {
        {"(ILjava/lang/String)V", ACC_STATIC, 2},
        {"(I[)V", ACC_STATIC, 1},
        {"()Q", ACC_STATIC, 0},
        {"(I)", 0, 2},
        {"(I)VI", ACC_STATIC, 1},
    };
    fetest::run([&](EE*) {
        for (const auto& c : cases) {
            fake_method fm(c.sig, c.access, c.args_size);
            method_compile_context* m = new_context(&fm.mb);
            quadruple* first = quad(m, OPC_ALOAD, -1, 0, -1, -1);
            make_blocks(m, {{first}});
            EXPECT_NE(dup2copy(m), 0) << c.sig;
            free_context(m);
        }
    });
}

// Fault guarded against: the incoming-argument copies used to be made by
// clearing the method's first quadruple in place before the transform phase
// read its stack tops, so a method starting with a long constant
// (static long one() { return 1L; }) lost its tops and numbered the
// constant's result as a local.
TEST(StackPassFrame, FirstQuadruplesKeepTheirStackTops)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        {
            fake_method fm("()J", ACC_STATIC, 0);
            method_compile_context* m = new_context(&fm.mb);
            quadruple* lconst = quad(m, OPC_LCONST, -1, 1, -1, -1);
            lconst->value = static_cast<u4>(-1);
            quadruple* ret = quad(m, OPC_LRETURN, 1, -1, -1, -1);
            make_blocks(m, {{lconst, ret}});
            ASSERT_EQ(dup2copy(m), 0);
            EXPECT_EQ(quad_itop_before(lconst), QTOP_EMPTY);
            EXPECT_EQ(quad_itop_after(lconst), 1);
            EXPECT_EQ(quad_ftop_before(lconst), QTOP_EMPTY);
            EXPECT_EQ(quad_source_pc(lconst), 7);
            free_context(m);
        }
        {
            // With copies made, they come from a cleared copy and the first
            // quadruple still has its tops and source pc.
            fake_method fm("(JI)J", 0, 4);
            method_compile_context* m = new_context(&fm.mb);
            quadruple* lconst = quad(m, OPC_LCONST, -1, 1, -1, -1);
            lconst->flags_b = QB_ZERO_INIT;
            lconst->context = 0x1234;
            quadruple* ret = quad(m, OPC_LRETURN, 1, -1, -1, -1);
            make_blocks(m, {{lconst, ret}});
            ASSERT_EQ(dup2copy(m), 0);
            bbattr* b = m->bb_table[1];
            ASSERT_EQ(b->quad_count, 4u);
            EXPECT_EQ(b->catbl[2], lconst);
            EXPECT_EQ(quad_itop_after(lconst), 1);
            EXPECT_EQ(quad_source_pc(lconst), 7);
            EXPECT_EQ(lconst->context, 0x1234u);
            for (int i = 0; i < 2; i++) {
                const quadruple* c = b->catbl[i];
                EXPECT_EQ(c->result.value, 0u);
                EXPECT_EQ(c->src1.value, 0u);
                EXPECT_EQ(c->src2.value, 0u);
                EXPECT_EQ(c->context, 0u);
                EXPECT_EQ(c->flags_b, 0);
            }
            free_context(m);
        }
    });
}

TEST(StackPassFrame, OverReservedSlotsBecomeNoOperations)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        method_compile_context* m = new_context(&fm.mb);
        // A multi-slot pop that claims three words but pops one.
        quadruple* pop = quad(m, OPC_NULLCHECK_MARK, 1, 0, -1, -1);
        pop->op = 3;
        quadruple* last = quad(m, OPC_OTHER, 0, 0);
        quad_set_kind_nibble(last, OTHER_RETURN_VOID);
        make_blocks(m, {{pop, last}});
        ASSERT_EQ(dup2copy(m), 0);
        bbattr* b = m->bb_table[1];
        ASSERT_EQ(b->quad_count, 4u);
        EXPECT_EQ(b->catbl[0]->opcode, OPC_POP);
        EXPECT_EQ(b->catbl[1], last);
        for (int i = 2; i < 4; i++) {
            EXPECT_EQ(b->catbl[i]->opcode, OPC_OTHER);
            EXPECT_EQ(b->catbl[i]->subcode & QS_KIND_MASK, OTHER_NOP_DELETED);
            EXPECT_NE(b->catbl[i], last);
        }
        EXPECT_EQ(m->total_quad_count, 4u);
        free_context(m);
    });
}

TEST(StackPassFrame, CaseThatOutgrowsItsReserveFailsCleanly)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        method_compile_context* m = new_context(&fm.mb);
        // Claims one word, pops three: the transform would write past the
        // block's array.
        quadruple* pop = quad(m, OPC_NULLCHECK_MARK, 2, -1, -1, -1);
        pop->op = 1;
        quadruple* after = quad(m, OPC_OTHER);
        make_blocks(m, {{pop, after}});
        bbattr* b = m->bb_table[1];
        testing::internal::CaptureStderr();
        EXPECT_EQ(dup2copy(m), 1);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("outgrew"), std::string::npos) << err;
        EXPECT_EQ(b->catbl[1], after);      // the next quadruple was not overwritten
        free_context(m);
    });
}

}  // namespace
