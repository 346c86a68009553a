// The stack pass inside the front half, on real methods (java/SpShapes.java):
// the front end, the stack simulation, the stack pass and the conversion to
// the final form, as the pipeline runs them with every optimization off.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <vector>

#include "fe_vm_env.h"
#include "inline/inline.h"
#include "inline/mi_prescan.h"
#include "sp_test_util.h"

namespace {

using namespace sptest;

struct nall_scope {
    u4 saved[3] = {compile_option_flag, compile_option2_flag, compile_option3_flag};
    nall_scope()
    {
        compile_option_flag = OPT1_NALL;
        compile_option2_flag = OPT2_NALL;
        compile_option3_flag = OPT3_NALL;
    }
    ~nall_scope()
    {
        compile_option_flag = saved[0];
        compile_option2_flag = saved[1];
        compile_option3_flag = saved[2];
    }
};

// Front end and stack pre-allocation (which runs the stack pass); null when
// a stage failed.
method_compile_context* through_stack_pass(EE* ee, methodblock* mb, method_compile_context* storage)
{
    memset(storage, 0, sizeof *storage);
    // The call graph resolved and the unresolved references recorded, as the
    // compile driver does before it compiles.
    static method_unresolved_info info;
    free_method_unresolved_info(&info);
    initialize_method_unresolved_info(&info);
    resolve_method_call_graph(mb, &info, ee);
    storage->unresolved_info = &info;
    method_compile_context* m = storage;
    if (init_method_compile_context(&m, mb, nullptr, ee) != 0)
        return nullptr;
    m->state_flags |= MCC_MEANTIME_ABSENT | MCC_LIVENESS_UNAVAILABLE;
    if (JITTraverseByteCode(m, ee, 0) != 0 || BB_stack_regalloc(m) != 0) {
        jit_fast_compile_free_workspace(m);
        return nullptr;
    }
    return m;
}

std::vector<quadruple*> live(const bbattr* b)
{
    std::vector<quadruple*> v;
    for (u4 i = 0; i < b->quad_count; i++)
        if (!(b->catbl[i]->opcount & QC_DELETED))
            v.push_back(b->catbl[i]);
    return v;
}

methodblock* shape(EE* ee, const char* name, const char* sig)
{
    classblock* cb = fetest::find_class(ee, "SpShapes", false);
    return cb != nullptr ? fetest::find_method(cb, name, sig) : nullptr;
}

// Fault guarded against: clearing the method's first quadruple to make the
// incoming-argument copies wiped its stack tops, and the long constant of
// `static long one() { return 1L; }` was numbered as a local.
TEST(StackPassPipeline, LongConstantFirstKeepsItsStackSlot)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        nall_scope opts;
        method_compile_context storage;
        method_compile_context* m = through_stack_pass(ee, shape(ee, "one", "()J"), &storage);
        ASSERT_NE(m, nullptr);
        bbattr* b = m->bb_table[1];
        ASSERT_GE(b->quad_count, 2u);
        quadruple* lconst = b->catbl[0];
        ASSERT_EQ(lconst->opcode, OPC_LCONST);
        EXPECT_EQ(quad_itop_before(lconst), QTOP_EMPTY);
        EXPECT_EQ(quad_itop_after(lconst), 1);
        u2 locals = m->local_count;
        ASSERT_EQ(generate_quadruple(m), 0);
        // Locals come first in the numbering; the constant lands on the
        // operand stack (its two words, slots 0 and 1), after them.
        EXPECT_EQ(lconst->result.kind, KB_LONG);
        EXPECT_EQ(lconst->result.number, locals);
        jit_fast_compile_free_workspace(m);
    });
}

// Fault guarded against: the quadruples the stack pass numbers itself (the
// method-table and method-block loads of a virtual call, the element-class
// load of a reference-array store) kept the source count of the quadruple
// they were copied from, 0, so liveness, colouring and the renumbering of
// locals never saw the value they read.
TEST(StackPassPipeline, SelfNumberedQuadruplesCountTheirSources)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        nall_scope opts;
        method_compile_context storage;
        method_compile_context* m =
            through_stack_pass(ee, shape(ee, "loads", "(LSpShapes;[Ljava/lang/Object;Ljava/lang/Object;)I"), &storage);
        ASSERT_NE(m, nullptr);
        ASSERT_EQ(generate_quadruple(m), 0);
        std::vector<int> seen;
        for (u4 i = 1; i + 1 < m->bb_count; i++)
            for (quadruple* q : live(m->bb_table[i])) {
                u2 want;
                switch (q->opcode) {
                case OPC_LOAD_METHODTABLE: want = 1; break;
                case OPC_LOAD_METHODBLOCK: case OPC_PALOAD: want = 2; break;
                default: continue;
                }
                seen.push_back(q->opcode);
                EXPECT_EQ(q->opcount & QC_SRC_MASK, want) << "opcode " << int(q->opcode);
                EXPECT_EQ(quad_operand_kind(q->src1), QK_VARIABLE) << "opcode " << int(q->opcode);
            }
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen, (std::vector<int>{OPC_PALOAD, OPC_LOAD_METHODBLOCK, OPC_LOAD_METHODTABLE}));
        jit_fast_compile_free_workspace(m);
    });
}

TEST(StackPassPipeline, ArgumentCopiesOfRealMethods)
{
    FE_REQUIRE_BOOT();
    struct row {
        const char* name;
        const char* sig;
        std::vector<int> copies;
        u2 reg_args;
    };
    const row rows[] = {
        {"args", "(IJLjava/lang/Object;)I", {OPC_ILOCALCOPY, OPC_LLOCALCOPY}, 0},
        {"inst", "(II)I", {OPC_ALOCALCOPY, OPC_ILOCALCOPY, OPC_ILOCALCOPY}, 4},
        {"one", "()J", {}, 0},
    };
    fetest::run([&](EE* ee) {
        nall_scope opts;
        for (const row& r : rows) {
            method_compile_context storage;
            method_compile_context* m = through_stack_pass(ee, shape(ee, r.name, r.sig), &storage);
            ASSERT_NE(m, nullptr) << r.name;
            bbattr* first = m->bb_table[m->bb_table[0]->succ[0]];
            for (size_t i = 0; i < r.copies.size(); i++)
                EXPECT_EQ(first->catbl[i]->opcode, r.copies[i]) << r.name << " copy " << i;
            EXPECT_NE(first->catbl[r.copies.size()]->opcode, OPC_ILOCALCOPY) << r.name;
            EXPECT_EQ(sp_register_argument_count(m), r.reg_args) << r.name;
            jit_fast_compile_free_workspace(m);
        }
    });
}

TEST(StackPassPipeline, ShufflesAndHandlersOfRealMethods)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        nall_scope opts;
        {
            // a[i]++ on a long array: dup2 of (array, index), dup2_x2 of the
            // old value under them.
            method_compile_context storage;
            method_compile_context* m = through_stack_pass(ee, shape(ee, "shuffle", "([JI)J"), &storage);
            ASSERT_NE(m, nullptr);
            int moves = 0, lmoves = 0;
            for (u4 n = 1; n + 1 < m->bb_count; n++)
                for (quadruple* q : live(m->bb_table[n])) {
                    EXPECT_FALSE(q->opcode >= OPC_DUP && q->opcode <= OPC_SWAP) << "shuffle left";
                    moves += q->opcode == OPC_IMOVE || q->opcode == OPC_AMOVE;
                    lmoves += q->opcode == OPC_LMOVE;
                }
            EXPECT_EQ(moves, 4);    // dup2 (2) and the two word moves of dup2_x2
            EXPECT_EQ(lmoves, 2);
            EXPECT_EQ(generate_quadruple(m), 0);
            jit_fast_compile_free_workspace(m);
        }
        {
            method_compile_context storage;
            method_compile_context* m = through_stack_pass(ee, shape(ee, "handler", "(I)I"), &storage);
            ASSERT_NE(m, nullptr);
            int catches = 0;
            for (u4 n = 1; n + 1 < m->bb_count; n++) {
                bbattr* b = m->bb_table[n];
                if (b->flags & BB_HANDLER) {
                    ASSERT_GT(b->quad_count, 0u);
                    EXPECT_EQ(b->catbl[0]->opcode, OPC_CATCH);
                    EXPECT_EQ(quad_itop_before(b->catbl[0]), 0);     // the exception object
                    catches++;
                }
            }
            EXPECT_EQ(catches, 1);
            EXPECT_EQ(generate_quadruple(m), 0);
            jit_fast_compile_free_workspace(m);
        }
    });
}

// `new` of an initialised class with one to three primitive fields is
// followed by one zeroing store per field; in the final form each store
// names the new object (the allocation's result) and the constant 0.
TEST(StackPassPipeline, ZeroingStoresOfASmallObjectNameTheNewObject)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        nall_scope opts;
        classblock* cb = fetest::find_class(ee, "SpFields", false);
        ASSERT_NE(cb, nullptr);
        ASSERT_NE(fetest::find_class(ee, "SpSmall", true), nullptr);    // initialised
        method_compile_context storage;
        method_compile_context* m =
            through_stack_pass(ee, fetest::find_method(cb, "makeSmall", "()Ljava/lang/Object;"), &storage);
        ASSERT_NE(m, nullptr);
        bbattr* b = m->bb_table[1];
        std::vector<quadruple*> q = live(b);
        ASSERT_GE(q.size(), 3u);
        ASSERT_EQ(q[0]->opcode, OPC_NEW);
        EXPECT_NE(q[0]->flags_b & QB_ZERO_INIT, 0);
        ASSERT_EQ(q[1]->opcode, OPC_IPUTFIELD);
        ASSERT_EQ(q[2]->opcode, OPC_IPUTFIELD);
        EXPECT_EQ(q[1]->src1.number, quad_itop_after(q[0]));   // the object, stack-relative
        ASSERT_EQ(generate_quadruple(m), 0);
        for (int i = 1; i <= 2; i++) {
            EXPECT_EQ(q[i]->src1.kind, KB_REF) << "store " << i;
            EXPECT_EQ(q[i]->src1.number, q[0]->result.number) << "store " << i;
            EXPECT_EQ(q[i]->src2.kind, KB_INT_IMM) << "store " << i;
            EXPECT_EQ(q[i]->src2.number, 0) << "store " << i;
        }
        jit_fast_compile_free_workspace(m);
    });
}

// The zeroing stores of a long, a float and a double field store the zero
// immediate of their own type into the new object.
TEST(StackPassPipeline, ZeroingStoresOfWideAndFloatingFieldsStoreTypedZeros)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        nall_scope opts;
        classblock* cb = fetest::find_class(ee, "SpFields", false);
        ASSERT_NE(cb, nullptr);
        ASSERT_NE(fetest::find_class(ee, "SpMixed", true), nullptr);    // initialised
        method_compile_context storage;
        method_compile_context* m =
            through_stack_pass(ee, fetest::find_method(cb, "makeMixed", "()Ljava/lang/Object;"), &storage);
        ASSERT_NE(m, nullptr);
        std::vector<quadruple*> q = live(m->bb_table[1]);
        ASSERT_GE(q.size(), 4u);
        ASSERT_EQ(q[0]->opcode, OPC_NEW);
        ASSERT_EQ(generate_quadruple(m), 0);
        struct {
            u1 opcode;
            u1 zero_kind;   // immediate of the field's type
        } const want[3] = {{OPC_LPUTFIELD, 51}, {OPC_FPUTFIELD, 83}, {OPC_DPUTFIELD, 67}};
        for (int i = 0; i < 3; i++) {
            quadruple* s = q[i + 1];
            EXPECT_EQ(s->opcode, want[i].opcode) << "store " << i;
            EXPECT_EQ(s->src1.kind, KB_REF) << "store " << i;
            EXPECT_EQ(s->src1.number, q[0]->result.number) << "store " << i;
            EXPECT_EQ(s->src2.kind, want[i].zero_kind) << "store " << i;
            EXPECT_EQ(s->src2.number, 0) << "store " << i;
            EXPECT_EQ(s->opcount & QC_SRC_MASK, 2) << "store " << i;
            EXPECT_EQ(s->result.number, QUAD_NO_NUMBER) << "store " << i;
        }
        jit_fast_compile_free_workspace(m);
    });
}

}  // namespace
