// Bytecode to quadruples on real methods: javac's bytecode loaded by our VM
// goes through the front-end driver (blocks, pc map, first-form
// quadruples), the operand-stack simulation and the conversion to the final
// quadruple form.  The table tests leave out the stack pass (its own tests
// cover it; their fixtures hold no shuffle, call or field access that would
// need it); the library walk runs the whole front half.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "driver/driver.h"
#include "fe_vm_env.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "inline/inline.h"

extern int16_t opcode_length[256];

namespace {

constexpr u4 NALL1 = OPT1_NALL, NALL2 = OPT2_NALL, NALL3 = OPT3_NALL;

struct options_scope {
    u4 saved[3];
    options_scope()
    {
        saved[0] = compile_option_flag;
        saved[1] = compile_option2_flag;
        saved[2] = compile_option3_flag;
        compile_option_flag = NALL1;
        compile_option2_flag = NALL2;
        compile_option3_flag = NALL3;
    }
    ~options_scope()
    {
        compile_option_flag = saved[0];
        compile_option2_flag = saved[1];
        compile_option3_flag = saved[2];
    }
};

classblock* fixtures(EE* ee) { return fetest::find_class(ee, "QgFixtures", false); }

// The unresolved references of the methods compiled, recorded as the
// compile driver records them before it takes the compile lock (never freed:
// the tests compile a bounded number of methods).
method_unresolved_info* driver_records(EE* ee, methodblock* mb)
{
    auto* info = static_cast<method_unresolved_info*>(calloc(1, sizeof(method_unresolved_info)));
    initialize_method_unresolved_info(info);
    resolve_method_call_graph(mb, info, ee);
    return info;
}

// The front end of one method, as the driver and the pipeline run it.
method_compile_context* front(EE* ee, methodblock* mb, method_compile_context* storage)
{
    memset(storage, 0, sizeof *storage);
    storage->mb = mb;
    storage->unresolved_info = driver_records(ee, mb);
    method_compile_context* m = storage;
    if (init_method_compile_context(&m, mb, nullptr, ee) != 0)
        return nullptr;
    m->state_flags |= MCC_MEANTIME_ABSENT | MCC_LIVENESS_UNAVAILABLE;
    if (JITTraverseByteCode(m, ee, 0) != 0)
        return nullptr;
    return m;
}

// The stack pre-allocation without the stack pass, then the conversion.
bool to_final_form(method_compile_context* m)
{
    if (m->local_count == 0)
        m->local_count = 1;
    u4 bytes = m->local_count * 2 * sizeof(lvattr_entry);
    auto* table = static_cast<lvattr_entry*>(jit_wmem_alloc(m->pool1, bytes));
    memset(table, 0, bytes);
    mark_parameter_locals(m, table);
    if (m->max_stack != 0 && BB_stack_regalloc_walk(m, m->bb_count, m->dfs_count, m->dfs_array, m->bb_table, table) != 0)
        return false;
    if (method_regalloc(m) != 0)
        return false;
    return generate_quadruple(m) == 0;
}

void release(method_compile_context* m)
{
    if (m != nullptr)
        jit_fast_compile_free_workspace(m);
}

// Live quadruples of a block.
std::vector<quadruple*> live_quads(const bbattr* b)
{
    std::vector<quadruple*> v;
    for (u4 i = 0; i < b->quad_count; i++)
        if (!(b->catbl[i]->opcount & QC_DELETED))
            v.push_back(b->catbl[i]);
    return v;
}

struct const_case {
    const char* name;
    const char* sig;
    u1 opcode;              // first-form opcode of the constant
    s4 value;               // value word, or 0x7fffffff: an address into the pool
    bool lconst_small;      // sub-code bit 0x20 (long constants)
    u1 final_kind;          // kind byte of the converted source
    u2 final_number;        // its number (immediates)
};

constexpr s4 ADDR = 0x7fffffff;

// Constants of every width and every ldc kind, first form and final form.
const const_case kConstCases[] = {
    {"cM1", "()I", OPC_ICONST, -1, false, 20, 1},
    {"c5", "()I", OPC_ICONST, 5, false, 19, 5},
    {"cByte", "()I", OPC_ICONST, 100, false, 19, 100},
    {"cShortMin", "()I", OPC_ICONST, -32768, false, 20, 32768},
    {"cShort", "()I", OPC_ICONST, 1000, false, 19, 1000},
    {"cLdcInt", "()I", OPC_ICONST, 100000, false, 21, 0},
    {"cLdcNegInt", "()I", OPC_ICONST, -70000, false, 21, 0},
    {"cLong1", "()J", OPC_LCONST, -1, true, 19, 1},
    {"cLong0", "()J", OPC_LCONST, 0, true, 19, 0},
    {"cLongSmall", "()J", OPC_LCONST, ADDR, true, 19, 65535},
    {"cLongMid", "()J", OPC_LCONST, ADDR, true, 53, 0},
    {"cLongNeg", "()J", OPC_LCONST, ADDR, true, 20, 5},
    {"cLongBig", "()J", OPC_LCONST, ADDR, false, 53, 0},
    {"cFloat2", "()F", OPC_FCONST, -2, false, 83, 2},
    {"cFloatLdc", "()F", OPC_FCONST, ADDR, false, 85, 0},
    {"cDouble1", "()D", OPC_DCONST, -1, false, 67, 1},
    {"cDoubleLdc", "()D", OPC_DCONST, ADDR, false, 69, 0},
    {"cNull", "()Ljava/lang/Object;", OPC_ACONST, 0, false, 35, 0},
};

class Qgen : public testing::Test {
protected:
    void SetUp() override { FE_REQUIRE_BOOT(); }
};

} // namespace

TEST_F(Qgen, ConstantsOfEveryWidthInBothForms)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        for (const const_case& c : kConstCases) {
            SCOPED_TRACE(c.name);
            methodblock* mb = fetest::find_method(cb, c.name, c.sig);
            ASSERT_NE(mb, nullptr);
            method_compile_context storage;
            method_compile_context* m = front(ee, mb, &storage);
            ASSERT_NE(m, nullptr);
            ASSERT_EQ(m->bb_count, 3u);     // entry, the one block, exit
            bbattr* b = m->bb_table[1];
            ASSERT_EQ(b->quad_count, 2u);
            quadruple* q = b->catbl[0];
            EXPECT_EQ(q->opcode, c.opcode);
            EXPECT_TRUE(q->flags_a & QA_CONSTANT);
            if (c.value == ADDR) {
                const u4* pool = mb->clazz->constantpool;
                EXPECT_GT(q->value, reinterpret_cast<u4>(pool));
                EXPECT_LT(q->value, reinterpret_cast<u4>(pool + mb->clazz->constantpool_count));
            } else {
                EXPECT_EQ(static_cast<s4>(q->value), c.value);
            }
            if (c.opcode == OPC_LCONST)
                EXPECT_EQ((q->subcode & 0x20) != 0, c.lconst_small);
            EXPECT_EQ(quad_source_pc(q), 0);
            ASSERT_TRUE(to_final_form(m));
            EXPECT_EQ(q->src1.kind, c.final_kind);
            if ((c.final_kind & QK_KIND_MASK) == QK_IMMEDIATE || (c.final_kind & QK_KIND_MASK) == QK_NEG_IMMEDIATE)
                EXPECT_EQ(q->src1.number, c.final_number);
            // The constant lands in the first stack variable, B = the locals.
            u4 B = m->previous_local_count;
            EXPECT_EQ(q->result.number, B);
            EXPECT_EQ(q->opcount & QC_SRC_MASK, 1u);
            release(m);
        }
    });
}

// A string constant is an ldc with its pool index; a long pushed by the
// first instruction is a stack variable, never a local (the shape of
// `static long one() { return 1L; }`).
TEST_F(Qgen, LdcStringAndLongResultNumbering)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        method_compile_context storage;
        method_compile_context* m = front(ee, fetest::find_method(cb, "cString", "()Ljava/lang/String;"), &storage);
        ASSERT_NE(m, nullptr);
        quadruple* q = m->bb_table[1]->catbl[0];
        EXPECT_EQ(q->opcode, OPC_LDC);
        EXPECT_NE(q->target, 0u);
        release(m);

        m = front(ee, fetest::find_method(cb, "cLong1", "()J"), &storage);
        ASSERT_NE(m, nullptr);
        ASSERT_TRUE(to_final_form(m));
        std::vector<quadruple*> v = live_quads(m->bb_table[1]);
        ASSERT_EQ(v.size(), 2u);
        u4 B = m->previous_local_count;
        EXPECT_EQ(v[0]->result.kind, KB_LONG);
        EXPECT_EQ(v[0]->result.number, B);          // stack words B, B+1
        EXPECT_EQ(v[1]->opcode, OPC_LRETURN);
        EXPECT_EQ(v[1]->src1.number, B);
        EXPECT_EQ(v[1]->result.kind, 57);
        release(m);
    });
}

// Switches: successors are default first, then the cases in table order.
TEST_F(Qgen, SwitchSuccessorLists)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        for (const char* name : {"table", "lookup"}) {
            SCOPED_TRACE(name);
            method_compile_context storage;
            method_compile_context* m = front(ee, fetest::find_method(cb, name, "(I)I"), &storage);
            ASSERT_NE(m, nullptr);
            bbattr* b = m->bb_table[1];
            quadruple* sw = b->catbl[b->quad_count - 1];
            ASSERT_EQ(sw->opcode, OPC_SWITCH);
            // Four live case blocks follow, the default last in pc order.
            ASSERT_EQ(m->bb_count, 7u);
            if (strcmp(name, "table") == 0) {
                EXPECT_EQ(quad_kind_nibble(sw), 0u);
                EXPECT_EQ(sw->target, 1u);
                EXPECT_EQ(sw->second, 3u);
                ASSERT_EQ(b->succ_count, 4u);
            } else {
                EXPECT_EQ(quad_kind_nibble(sw), 1u);
                EXPECT_EQ(sw->target, 3u);
                ASSERT_EQ(b->succ_count, 4u);
            }
            EXPECT_EQ(b->succ[0], 5u);
            EXPECT_EQ(b->succ[1], 2u);
            EXPECT_EQ(b->succ[2], 3u);
            EXPECT_EQ(b->succ[3], 4u);
            EXPECT_EQ(m->switch_target_total, 4u);
            for (u4 i = 2; i <= 5; i++)
                EXPECT_EQ(m->bb_table[i]->pred_count, 1u);
            release(m);
        }
    });
}

// A loop: the backward branch marks its block, the exit list holds the
// returning block, the DFS list starts with the entry block and ends with
// the exit block.
TEST_F(Qgen, LoopEdgesAndDfsList)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        method_compile_context storage;
        method_compile_context* m = front(ee, fetest::find_method(cb, "loop", "(I)I"), &storage);
        ASSERT_NE(m, nullptr);
        u4 n = m->bb_count;
        ASSERT_GE(n, 5u);
        EXPECT_EQ(m->dfs_array[0], 0u);
        EXPECT_EQ(m->dfs_array[m->dfs_count - 1], n - 1);
        bbattr* exit = m->bb_table[n - 1];
        ASSERT_EQ(exit->pred_count, 1u);
        bool backward = false;
        for (u4 i = 1; i + 1 < n; i++)
            backward |= (m->bb_table[i]->flags & BB_BACKWARD_BRANCH) != 0
                        || (m->bb_table[i]->flags2 & BB2_FORWARD_BRANCH) != 0;
        EXPECT_TRUE(backward);
        ASSERT_TRUE(to_final_form(m));
        release(m);
    });
}

// iinc by -1 becomes an add of the negative immediate 1; a wide iinc keeps
// its 16-bit increment; wide loads and stores reach locals above 255.
TEST_F(Qgen, IincAndWideForms)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        method_compile_context storage;
        method_compile_context* m = front(ee, fetest::find_method(cb, "dec", "(I)I"), &storage);
        ASSERT_NE(m, nullptr);
        bbattr* b = m->bb_table[1];
        ASSERT_GE(b->quad_count, 2u);
        EXPECT_EQ(b->catbl[0]->opcode, OPC_IINC);
        EXPECT_EQ(static_cast<int16_t>(b->catbl[0]->count), -1);
        EXPECT_EQ(b->catbl[1]->opcode, OPC_IINC);
        EXPECT_EQ(b->catbl[1]->count, 300u);
        EXPECT_EQ(quad_source_pc(b->catbl[1]), 4);      // the widened instruction's pc
        ASSERT_TRUE(to_final_form(m));
        quadruple* q = b->catbl[0];
        EXPECT_EQ(q->opcode, OPC_IOP2);
        EXPECT_EQ(q->op, QOP_ADD);
        EXPECT_EQ(q->src2.kind, KB_INT_NEGIMM);
        EXPECT_EQ(q->src2.number, 1u);
        EXPECT_EQ(q->result.number, 0u);
        EXPECT_EQ(b->catbl[1]->src2.kind, KB_INT_IMM);
        EXPECT_EQ(b->catbl[1]->src2.number, 300u);
        release(m);

        m = front(ee, fetest::find_method(cb, "wide", "(I)I"), &storage);
        ASSERT_NE(m, nullptr);
        b = m->bb_table[1];
        bool saw_wide_store = false, saw_wide_iinc = false;
        for (u4 i = 0; i < b->quad_count; i++) {
            quadruple* w = b->catbl[i];
            if (w->opcode == OPC_ISTORE && w->op == 260)
                saw_wide_store = true;
            if (w->opcode == OPC_IINC && w->op == 260 && w->count == 1000)
                saw_wide_iinc = true;
        }
        EXPECT_TRUE(saw_wide_store);
        EXPECT_TRUE(saw_wide_iinc);
        ASSERT_TRUE(to_final_form(m));
        release(m);
    });
}

// A long compare followed by a branch fuses into one compare-and-branch.
TEST_F(Qgen, LongCompareFusesWithItsBranch)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        method_compile_context storage;
        method_compile_context* m = front(ee, fetest::find_method(cb, "lless", "(JJ)Z"), &storage);
        ASSERT_NE(m, nullptr);
        bbattr* b = m->bb_table[1];
        ASSERT_TRUE(to_final_form(m));
        std::vector<quadruple*> v = live_quads(b);
        ASSERT_EQ(v.size(), 3u);
        EXPECT_EQ(v[2]->opcode, OPC_LCMP_BRANCH);
        EXPECT_EQ(v[2]->op, QCC_GE);
        EXPECT_EQ(v[2]->src1.kind, KB_LONG);
        u4 B = m->previous_local_count;
        EXPECT_EQ(v[2]->src1.number, B);
        EXPECT_EQ(v[2]->src2.number, B + 2);
        EXPECT_EQ(v[2]->result.kind & QK_KIND_MASK, QK_NONE);
        release(m);
    });
}

// Double arithmetic: each float-stack slot that holds a double takes two
// variable numbers, so the second double operand lies two numbers above the
// first and a float pushed above them two numbers further.
TEST_F(Qgen, DoubleSlotsAreWidened)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        method_compile_context storage;
        method_compile_context* m = front(ee, fetest::find_method(cb, "dmix", "(DDF)D"), &storage);
        ASSERT_NE(m, nullptr);
        ASSERT_TRUE(to_final_form(m));
        std::vector<quadruple*> v = live_quads(m->bb_table[1]);
        // dload_0, dload_2, dmul, fload 4, f2d, dadd, dreturn
        ASSERT_EQ(v.size(), 7u);
        u4 base = m->previous_local_count + m->int_stack_size;
        EXPECT_EQ(v[0]->result.number, base);
        EXPECT_EQ(v[1]->result.number, base + 2);
        EXPECT_EQ(v[2]->opcode, OPC_DOP2);
        EXPECT_EQ(v[2]->src1.number, base);
        EXPECT_EQ(v[2]->src2.number, base + 2);
        EXPECT_EQ(v[2]->result.number, base);
        EXPECT_EQ(v[3]->result.kind, KB_FLOAT);
        EXPECT_EQ(v[3]->result.number, base + 2);
        EXPECT_EQ(v[5]->src1.number, base);
        EXPECT_EQ(v[5]->src2.number, base + 2);
        release(m);
    });
}

// An exception handler block starts with one reference word on the stack.
TEST_F(Qgen, HandlerEntryStack)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        method_compile_context storage;
        method_compile_context* m = front(ee, fetest::find_method(cb, "guarded", "(II)I"), &storage);
        ASSERT_NE(m, nullptr);
        bbattr* entry = m->bb_table[0];
        ASSERT_GE(entry->succ_count, 2u);
        u4 handler = entry->succ[1];
        ASSERT_TRUE(to_final_form(m));
        EXPECT_EQ(m->bb_table[handler]->entry_depth, 1u);
        EXPECT_EQ(m->bb_table[handler]->entry_int_height, 1u);
        EXPECT_TRUE(m->bb_table[handler]->flags & BB_HANDLER);
        release(m);
    });
}

// Array accesses mark their block and the local that supplies the array.
TEST_F(Qgen, ArrayAccessMarksTheBaseLocal)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        method_compile_context storage;
        method_compile_context* m = front(ee, fetest::find_method(cb, "arr", "([II)I"), &storage);
        ASSERT_NE(m, nullptr);
        EXPECT_TRUE(m->bb_table[1]->flags & BB_ARRAY_ACCESS);
        ASSERT_TRUE(to_final_form(m));
        auto* mt = static_cast<lvattr_entry*>(m->bb_table[0]->var_table);
        ASSERT_NE(mt, nullptr);
        EXPECT_TRUE(mt[0].attr & LVA_ARRAY_BASE);
        EXPECT_TRUE(mt[0].attr & LVA_PARAMETER);
        EXPECT_TRUE(mt[1].attr & LVA_INT);
        release(m);
    });
}

// The length read before a bounds or store check is made by the stack pass
// with operand-stack numbers; it once took the access's own stack tops
// instead, so it read the length of the index or the stored value, and the
// element class of aastore read registers nothing had loaded.
TEST_F(Qgen, ArrayChecksReadTheArrayAndItsLength)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        struct {
            const char* name;
            const char* sig;
            int checks;     // bounds checks in the method
            bool store;     // aastore: also a store check
        } const cases[] = {
            {"arr", "([II)I", 2, false},
            {"astore", "([Ljava/lang/Object;ILjava/lang/Object;)V", 1, true},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            method_compile_context storage;
            method_compile_context* m = front(ee, fetest::find_method(cb, c.name, c.sig), &storage);
            ASSERT_NE(m, nullptr);
            ASSERT_EQ(BB_stack_regalloc(m), 0);
            ASSERT_EQ(generate_quadruple(m), 0);
            int checks = 0, store_checks = 0;
            for (u4 i = 1; i + 1 < m->bb_count; i++) {
                const bbattr* b = m->bb_table[i];
                const quadruple* length = nullptr;
                const quadruple* element_class = nullptr;
                for (u4 k = 0; k < b->quad_count; k++) {
                    const quadruple* q = b->catbl[k];
                    if (q->opcount & QC_DELETED)
                        continue;
                    if (q->opcode == OPC_ARRAYLENGTH) {
                        length = q;
                    } else if (q->opcode == OPC_SIZECHECK) {
                        ASSERT_NE(length, nullptr);
                        EXPECT_EQ(q->src2.number, length->result.number);
                        checks++;
                    } else if (q->opcode == OPC_PALOAD) {
                        ASSERT_NE(length, nullptr);
                        EXPECT_EQ(q->src1.kind, KB_REF);
                        EXPECT_EQ(q->src1.number, length->src1.number);
                        EXPECT_EQ(q->src2.number, length->result.number);
                        EXPECT_EQ(q->opcount & QC_SRC_MASK, 2u);
                        element_class = q;
                    } else if (q->opcode == OPC_CLASSTYPECHECK) {
                        ASSERT_NE(element_class, nullptr);
                        EXPECT_EQ(q->src1.number, element_class->result.number);
                        store_checks++;
                    } else if (q->opcode == OPC_IALOAD || q->opcode == OPC_IASTORE || q->opcode == OPC_AASTORE) {
                        // The array: the load's first source, the store's first list entry.
                        ASSERT_NE(length, nullptr);
                        const quad_operand_list_entry* h = quad_list_head(q);
                        u2 array = q->opcode == OPC_IALOAD ? q->src1.number : h != nullptr ? h->number : 0xFFFF;
                        EXPECT_EQ(length->src1.kind, KB_REF);
                        EXPECT_EQ(length->src1.number, array);
                        EXPECT_NE(length->result.number, array);
                        length = nullptr;
                    }
                }
            }
            EXPECT_EQ(checks, c.checks);
            EXPECT_EQ(store_checks, c.store ? 1 : 0);
            release(m);
        }
    });
}

namespace {

// Front-end-only opcodes that the final form must not hold.
bool front_end_only(u1 op)
{
    return op == OPC_IINC || (op >= OPC_POP && op <= OPC_SWAP) || op == OPC_NULLCHECK_MARK || op == OPC_XSTORE
           || op == OPC_ARRAYLENGTH_MARK || op == OPC_VMPTR_DEF;
}

// The number of the array an element access reads or writes, or -1.
s4 accessed_array(const quadruple* q)
{
    u4 attr = opc_info_quadruple[q->opcode];
    if (attr & OPA_ARRAY_LOAD)
        return q->src1.number;
    if ((attr & OPA_ARRAY_STORE) && (q->opcount & QC_SRC_MASK) == QC_SRC_LIST && quad_list_head(q) != nullptr)
        return quad_list_head(q)->number;
    return -1;
}

// The bounds check the stack pass puts in front of an access: the length is
// read from the accessed array into the temporary the check compares with.
// (Fault mended: the length read once named the stored value and the slot
// below the array, the access's own stack tops.)
std::string check_bounds_triple(const std::vector<const quadruple*>& live, size_t k)
{
    const quadruple* len = live[k];
    if (len->opcode != OPC_ARRAYLENGTH || k + 2 >= live.size() || live[k + 1]->opcode != OPC_SIZECHECK)
        return "";
    const quadruple* check = live[k + 1];
    if (check->src2.number != len->result.number)
        return "bounds check does not compare with the length read before it";
    s4 array = accessed_array(live[k + 2]);
    if (array >= 0 && array != len->src1.number)
        return "length read from another variable than the accessed array";
    return "";
}

// Checks the invariants of the final form; the first violation, or "".
std::string check_final_form(const method_compile_context* m)
{
    char buf[160];
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        const bbattr* b = m->bb_table[i];
        if (b->flags & BB_DEAD)
            continue;
        std::vector<const quadruple*> live;
        for (u4 k = 0; k < b->quad_count; k++)
            if (!(b->catbl[k]->opcount & QC_DELETED))
                live.push_back(b->catbl[k]);
        for (size_t k = 0; k < live.size(); k++) {
            snprintf(buf, sizeof buf, "block %u live quad %zu opcode %u: ", i, k, live[k]->opcode);
            std::string bad = check_bounds_triple(live, k);
            if (!bad.empty())
                return std::string(buf) + bad;
        }
        for (u4 k = 0; k < b->quad_count; k++) {
            const quadruple* q = b->catbl[k];
            if (q->opcount & QC_DELETED)
                continue;
            snprintf(buf, sizeof buf, "block %u quad %u opcode %u: ", i, k, q->opcode);
            if (q->opcode > OPC_LAST_GENERATED || front_end_only(q->opcode))
                return std::string(buf) + "opcode left";
            // An argument copy's operands carry its own type: the code
            // generator passes a float argument as a double otherwise.
            static const u1 copy_type[5] = {QT_INT, QT_FLOAT, QT_LONG, QT_DOUBLE, QT_REF};
            int copy = q->opcode >= OPC_IARGCOPY && q->opcode <= OPC_DARGCOPY ? q->opcode - OPC_IARGCOPY
                       : q->opcode == OPC_AARGCOPY                             ? 4 : -1;
            if (copy >= 0 && (q->result.kind >> QT_SHIFT != copy_type[copy] || q->src1.kind >> QT_SHIFT != copy_type[copy]))
                return std::string(buf) + "argument copy without its type";
            const quad_operand* ops[3] = {&q->result, &q->src1, &q->src2};
            u4 nsrc = q->opcount & QC_SRC_MASK;
            for (int o = 0; o < 3; o++) {
                if (o == 1 && nsrc == QC_SRC_LIST)
                    continue;
                if (o > 0 && static_cast<u4>(o) > nsrc)
                    continue;
                const quad_operand* d = ops[o];
                if ((d->kind & QK_KIND_MASK) == QK_NONE && d->number != QUAD_NO_NUMBER)
                    return std::string(buf) + "operand of kind 0 with a number";
                if ((d->kind & QK_KIND_MASK) == QK_VARIABLE && d->number >= m->local_count)
                    return std::string(buf) + "variable above the numbering";
            }
            if (nsrc == QC_SRC_LIST && quad_list_head(q) == nullptr)
                return std::string(buf) + "source count 3 without a list";
            if (nsrc == QC_SRC_LIST) {
                for (const quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
                    if ((e->kind & QK_KIND_MASK) == QK_VARIABLE && e->number >= m->local_count)
                        return std::string(buf) + "list variable above the numbering";
            }
        }
    }
    return "";
}

// The rest of the front half on a context the front end filled; the failing
// stage or "".
std::string front_half_of(EE* ee, method_compile_context* m)
{
    std::string why;
    if (m->max_stack == 0)
        for (u4 i = 1; i + 1 < m->bb_count; i++)
            for (u4 q = 0; q < m->bb_table[i]->quad_count; q++) {
                m->bb_table[i]->catbl[q]->result.value = 0xFFFFFFFFu;
                m->bb_table[i]->catbl[q]->src1.value = 0xFFFFFFFFu;
            }
    if (BB_stack_regalloc(m) != 0)
        why = "stack pre-allocation";
    else if (generate_quadruple(m) != 0)
        why = "conversion";
    else if (generate_Q_lvar_tbl(m) != 0)
        why = "usage tables";
    else
        why = check_final_form(m);
    return why;
}

// The front half as the pipeline runs it under NALL; the failing stage or "".
std::string front_half(EE* ee, methodblock* mb)
{
    method_compile_context storage;
    method_compile_context* m = front(ee, mb, &storage);
    if (m == nullptr)
        return "front end";
    std::string why = front_half_of(ee, m);
    release(m);
    return why;
}

// Whether the method loads a class constant with ldc: the translation has
// no quadruple for it (only int, float and string constants), so the front
// end refuses the method and it stays interpreted.
bool loads_class_constant(const methodblock* mb)
{
    const u1* code = mb->code;
    const u4* cp = mb->clazz->constantpool;
    const u1* tags = reinterpret_cast<const u1*>(cp[0]);
    for (u4 pc = 0; pc < mb->code_length;) {
        u1 op = code[pc];
        if (op == 18 || op == 19 || op == 203 || op == 204) {
            u4 index = (op == 18 || op == 203) ? code[pc + 1] : static_cast<u4>(code[pc + 1] << 8 | code[pc + 2]);
            if ((tags[index] & CONSTANT_TAG_MASK) == CONSTANT_Class)
                return true;
        }
        u4 len = opcode_length[op] > 0 ? static_cast<u4>(opcode_length[op]) : 0;
        if (len == 0) {
            if (op == 196) {
                len = code[pc + 1] == 132 ? 6 : 4;
            } else {
                u4 p = (pc + 4) & ~3u;
                auto be32 = [&](u4 at) {
                    return static_cast<s4>(static_cast<u4>(code[at]) << 24 | static_cast<u4>(code[at + 1]) << 16
                                           | static_cast<u4>(code[at + 2]) << 8 | code[at + 3]);
                };
                len = op == 170 ? p + 12 + 4 * static_cast<u4>(be32(p + 8) - be32(p + 4) + 1) - pc
                                : p + 8 + 8 * static_cast<u4>(be32(p + 4)) - pc;
            }
        }
        pc += len;
    }
    return false;
}

void class_files(const std::string& dir, const std::string& prefix, std::vector<std::string>* out)
{
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        return;
    // readdir64: the 32-bit readdir fails on file systems with 64-bit inodes.
    while (dirent64* e = readdir64(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..")
            continue;
        std::string path = dir + "/" + n;
        if (n.size() > 6 && n.compare(n.size() - 6, 6, ".class") == 0)
            out->push_back(prefix + n.substr(0, n.size() - 6));
        else if (n.find('.') == std::string::npos)
            class_files(path, prefix + n + "/", out);
    }
    closedir(d);
}

} // namespace

// Every method of the class library and of the fixtures goes through the
// front half to final quadruples without an error, but for the methods that
// load a class constant, which the front end refuses as its table says.
TEST_F(Qgen, EveryLibraryMethodReachesTheFinalForm)
{
    options_scope opts;
    std::vector<std::string> names;
    class_files(ORVA_CLASSES_DIR, "", &names);
    class_files(FE_FIXTURE_CLASSES, "", &names);
    ASSERT_GT(names.size(), 20u);
    fetest::run([&](EE* ee) {
        u4 methods = 0;
        std::vector<std::string> failures;
        for (const std::string& name : names) {
            classblock* cb = fetest::find_class(ee, name.c_str(), false);
            if (cb == nullptr)
                continue;
            for (u4 i = 0; i < cb->methods_count; i++) {
                methodblock* mb = &cb->methods[i];
                if ((mb->access & (ACC_NATIVE | ACC_ABSTRACT)) || mb->code_length == 0)
                    continue;
                methods++;
                std::string why = front_half(ee, mb);
                if (why == "front end" && loads_class_constant(mb))
                    continue;
                if (!why.empty())
                    failures.push_back(name + "." + mb->name + mb->signature + ": " + why);
            }
        }
        EXPECT_GT(methods, 100u);
        for (size_t i = 0; i < failures.size() && i < 40; i++)
            ADD_FAILURE() << failures[i];
        EXPECT_EQ(failures.size(), 0u);
    });
}

// The usage tables give a long variable n its high-word bit on n and its
// low-word bit on n+1: the low word takes the higher number.
TEST_F(Qgen, LongVariableHalvesInTheUsageTable)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        method_compile_context storage;
        method_compile_context* m = front(ee, fetest::find_method(cb, "lmix", "(JI)J"), &storage);
        ASSERT_NE(m, nullptr);
        ASSERT_EQ(BB_stack_regalloc(m), 0);
        ASSERT_EQ(generate_quadruple(m), 0);
        ASSERT_EQ(generate_Q_lvar_tbl(m), 0);
        auto* mt = static_cast<var_usage_entry*>(m->bb_table[0]->var_table);
        ASSERT_NE(mt, nullptr);
        EXPECT_EQ(mt[0].flags & (VU_LONG_HIGH | VU_LONG_LOW), VU_LONG_HIGH);
        EXPECT_EQ(mt[1].flags & (VU_LONG_HIGH | VU_LONG_LOW), VU_LONG_LOW);
        EXPECT_TRUE(mt[0].flags & VU_USED);
        EXPECT_EQ(mt[0].use_count, mt[1].use_count);
        EXPECT_TRUE(mt[2].flags & VU_INT);
        release(m);
    });
}

// caload in java/lang/String loses its null and bounds checks (the class is
// ours and its char accesses stay in range); the same caload elsewhere keeps them.
TEST_F(Qgen, StringCharAccessWithoutChecks)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        method_compile_context storage;
        method_compile_context* m = front(ee, fetest::find_method(cb, "ch", "([CI)C"), &storage);
        ASSERT_NE(m, nullptr);
        quadruple* q = m->bb_table[1]->catbl[2];
        ASSERT_EQ(q->opcode, OPC_IALOAD);
        EXPECT_EQ(quad_kind_nibble(q), 5u);
        EXPECT_EQ(q->subcode & (QS_NO_NULLCHECK | QS_NO_BOUNDCHECK), 0);
        release(m);

        classblock* string = fetest::class_String();
        bool seen = false;
        for (u4 i = 0; i < string->methods_count && !seen; i++) {
            methodblock* mb = &string->methods[i];
            if (mb->code_length == 0 || (mb->access & ACC_NATIVE))
                continue;
            m = front(ee, mb, &storage);
            if (m == nullptr)
                continue;
            for (u4 b = 1; b + 1 < m->bb_count; b++)
                for (u4 k = 0; k < m->bb_table[b]->quad_count; k++) {
                    quadruple* c = m->bb_table[b]->catbl[k];
                    if (c->opcode == OPC_IALOAD && quad_kind_nibble(c) == 5) {
                        seen = true;
                        EXPECT_EQ(c->subcode & (QS_NO_NULLCHECK | QS_NO_BOUNDCHECK), QS_NO_NULLCHECK | QS_NO_BOUNDCHECK);
                    }
                }
            release(m);
        }
        EXPECT_TRUE(seen);
    });
}

namespace {

// NALL with the idiom pass switched on.
struct idioms_scope : options_scope {
    idioms_scope() { compile_option_flag &= ~OPT1_NPSEUDOOP; }
};

} // namespace

// Choosing the smaller of two int locals collapses into one block ending in
// an OPC_IOP2 minimum; a float-valued select is left as branches.
TEST_F(Qgen, IdiomPassMinimumAndSelect)
{
    idioms_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        method_compile_context storage;
        method_compile_context* m = front(ee, fetest::find_method(cb, "min2", "(II)I"), &storage);
        ASSERT_NE(m, nullptr);
        bbattr* b = m->bb_table[1];
        std::vector<quadruple*> v = live_quads(b);
        ASSERT_EQ(v.size(), 4u);
        EXPECT_EQ(v[2]->opcode, OPC_IOP2);
        EXPECT_EQ(v[2]->op, 8u);                    // minimum
        EXPECT_EQ(v[3]->opcode, OPC_IRETURN);
        EXPECT_TRUE(m->bb_table[2]->flags & BB_DEAD);
        EXPECT_TRUE(m->bb_table[3]->flags & BB_DEAD);
        EXPECT_TRUE(m->bb_table[4]->flags & BB_DEAD);
        ASSERT_EQ(b->succ_count, 1u);
        EXPECT_EQ(b->succ[0], m->bb_count - 1);
        EXPECT_EQ(m->total_quad_count, 4u);
        release(m);

        m = front(ee, fetest::find_method(cb, "fsel", "(FFFF)F"), &storage);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->bb_table[1]->succ_count, 2u);
        EXPECT_FALSE(m->bb_table[2]->flags & BB_DEAD);
        release(m);

        // An int select with a store in both arms becomes a conditional move;
        // the join (with its own use of the value) stays a block of its own.
        m = front(ee, fetest::find_method(cb, "choose", "(III)I"), &storage);
        ASSERT_NE(m, nullptr);
        v = live_quads(m->bb_table[1]);
        bool cmove = false;
        for (quadruple* q : v)
            cmove |= q->opcode == OPC_ICMOVE && q->op == QCC_GE;
        EXPECT_TRUE(cmove);
        ASSERT_TRUE(to_final_form(m));
        release(m);
    });
}

// A transfer compile gets a transfer entry block that jumps to the block
// where the interpreter resumes and inherits its try region.
TEST_F(Qgen, TransferEntryBlock)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        methodblock* mb = fetest::find_method(cb, "loop", "(I)I");
        ASSERT_NE(mb, nullptr);
        method_compile_context storage;
        memset(&storage, 0, sizeof storage);
        storage.unresolved_info = driver_records(ee, mb);
        method_compile_context* m = &storage;
        ASSERT_EQ(init_method_compile_context(&m, mb, nullptr, ee), 0);
        m->state_flags |= MCC_MMI2JIT;
        // The pc of the loop's backward branch: the block that holds it
        // continues at the loop header (its last successor).
        u4 branch_pc = 0;
        for (u4 pc = 0; pc < mb->code_length; pc++)
            if (mb->code[pc] == 0xa1 || mb->code[pc] == 0xa2)
                branch_pc = pc;
        m->transfer_point = reinterpret_cast<u4>(mb->code) + branch_pc;
        ASSERT_EQ(JITTraverseByteCode(m, ee, 0), 0);
        u4 x = m->bb_count - 2;
        bbattr* xb = m->bb_table[x];
        ASSERT_EQ(xb->quad_count, 1u);
        EXPECT_EQ(xb->catbl[0]->opcode, OPC_GOTO);
        EXPECT_EQ(quad_source_pc(xb->catbl[0]), -1);
        ASSERT_EQ(xb->succ_count, 1u);
        u4 r = xb->succ[0];
        EXPECT_EQ(xb->catbl[0]->target, r);
        EXPECT_TRUE(xb->flags2 & BB2_RARE);
        EXPECT_EQ(xb->flags2 & (BB2_EMPTY_ENTRY | BB2_ENDS_IN_BRANCH), BB2_EMPTY_ENTRY | BB2_ENDS_IN_BRANCH);
        EXPECT_TRUE(m->bb_table[r]->flags2 & BB2_TRANSFER_POINT);
        EXPECT_EQ(xb->try_region, m->bb_table[r]->try_region);
        bbattr* entry = m->bb_table[0];
        EXPECT_EQ(entry->succ[entry->succ_count - 1], x);
        EXPECT_EQ(m->frontend_words[TR_ENTRY], x);
        EXPECT_EQ(m->frontend_words[TR_RESUME], r);
        release(m);
    });
}

// jsr and ret: the subroutine entry is listed (negated) among the entry
// block's successors, the jsr's block continues at the return point, and the
// ret's block ends in the exit block.  A subroutine that never reaches its
// ret sends the calling block to the exit block instead.
TEST_F(Qgen, SubroutinesKeptAndNonReturningOnesRedirected)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fetest::find_class(ee, "QgJsr", false);
        ASSERT_NE(cb, nullptr);
        method_compile_context storage;
        method_compile_context* m = front(ee, fetest::find_method(cb, "sub", "(I)I"), &storage);
        ASSERT_NE(m, nullptr);
        ASSERT_EQ(m->bb_count, 5u);
        ASSERT_EQ(m->subroutine_count, 1u);
        bbattr* entry = m->bb_table[0];
        ASSERT_EQ(entry->succ_count, 2u);
        EXPECT_EQ(static_cast<s4>(entry->succ[1]), -3);
        quadruple* jsr = m->bb_table[1]->catbl[0];
        EXPECT_EQ(jsr->opcode, OPC_JSR);
        EXPECT_EQ(jsr->target, 3u);
        EXPECT_EQ(jsr->op, 0u);
        ASSERT_EQ(m->bb_table[1]->succ_count, 1u);
        EXPECT_EQ(m->bb_table[1]->succ[0], 2u);
        EXPECT_TRUE(m->bb_table[3]->flags & BB_SUBROUTINE);
        bbattr* s = m->bb_table[3];
        quadruple* ret = s->catbl[s->quad_count - 1];
        EXPECT_EQ(ret->opcode, OPC_OTHER);
        EXPECT_EQ(quad_kind_nibble(ret), OTHER_RET);
        EXPECT_EQ(ret->op, 1u);
        EXPECT_EQ(s->succ[0], 4u);
        bbattr* exit = m->bb_table[4];
        EXPECT_EQ(exit->pred_count, 2u);
        auto* subs = static_cast<subroutine_info*>(m->subroutine_table);
        EXPECT_EQ(subs[0].flags & SUBR_NEVER_RETURNS, 0);
        ASSERT_EQ(subs[0].block_count, 1u);
        EXPECT_EQ(subs[0].blocks[0], 3u);
        EXPECT_EQ(front_half_of(ee, m), "");
        release(m);

        m = front(ee, fetest::find_method(cb, "never", "(I)I"), &storage);
        ASSERT_NE(m, nullptr);
        subs = static_cast<subroutine_info*>(m->subroutine_table);
        ASSERT_NE(subs, nullptr);
        EXPECT_TRUE(subs[0].flags & SUBR_NEVER_RETURNS);
        ASSERT_EQ(m->bb_table[1]->succ_count, 1u);
        EXPECT_EQ(m->bb_table[1]->succ[0], m->bb_count - 1);
        EXPECT_EQ(front_half_of(ee, m), "");
        release(m);
    });
}

// The stackless road: a method whose max stack is 0 gets no simulation; a
// synchronized instance method records its receiver's use, a static one has
// no table; invocations are counted per block and per method.
TEST_F(Qgen, StacklessMethods)
{
    options_scope opts;
    fetest::run([&](EE* ee) {
        classblock* cb = fixtures(ee);
        ASSERT_NE(cb, nullptr);
        method_compile_context storage;
        method_compile_context* m = front(ee, fetest::find_method(cb, "twice", "()V"), &storage);
        ASSERT_NE(m, nullptr);
        ASSERT_EQ(m->max_stack, 0u);
        ASSERT_EQ(BB_stack_regalloc(m), 0);
        EXPECT_EQ(m->local_count, 1u);              // raised from 0
        EXPECT_EQ(m->invocation_count, 2u);
        EXPECT_EQ(m->bb_table[1]->invocation_count, 2u);
        EXPECT_EQ(m->float_invocation_count, 0u);
        EXPECT_EQ(m->bb_table[0]->var_table, nullptr);
        release(m);

        m = front(ee, fetest::find_method(cb, "syncNop", "()V"), &storage);
        ASSERT_NE(m, nullptr);
        ASSERT_EQ(BB_stack_regalloc(m), 0);
        auto* t = static_cast<lvattr_entry*>(m->bb_table[0]->var_table);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t[0].count, 1u);
        EXPECT_EQ(t[0].attr, 0x10000002u);
        release(m);

        m = front(ee, fetest::find_method(cb, "staticSyncNop", "()V"), &storage);
        ASSERT_NE(m, nullptr);
        ASSERT_EQ(BB_stack_regalloc(m), 0);
        EXPECT_EQ(m->bb_table[0]->var_table, nullptr);
        release(m);
    });
}
