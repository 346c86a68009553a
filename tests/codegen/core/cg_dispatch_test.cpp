// The dispatcher's route table against the list of generators per opcode,
// its fatal messages, operand descriptors, condition tables, register
// arguments and callee-saved registers, the native/abstract glue, and the
// two passes with instruction scheduling on in pass 2.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "cg_driver_fakes.h"

// ---------------------------------------------------------------------------
// Route table.  The expected generator names per opcode, row by row as the
// dispatcher's opcode list gives them (special routes name what they call).
// ---------------------------------------------------------------------------
struct route_row { int opcode; const char* gen1; const char* gen2; };
static const route_row expected_routes[] = {
    {1, "gen_move_II", nullptr}, {2, "gen_move_II", nullptr}, {3, "gen_move_II", nullptr},
    {35, "gen_move_II", nullptr}, {36, "gen_move_II", nullptr}, {37, "gen_move_II", nullptr},
    {134, "gen_move_II", nullptr}, {167, "gen_move_II", nullptr},
    {4, "gen_op2_III", nullptr}, {5, "gen_op1_II", nullptr},
    {6, "gen_iaload", nullptr}, {40, "gen_iaload", nullptr}, {143, "gen_iaload", nullptr},
    {7, "gen_iastore", nullptr}, {41, "gen_iastore", nullptr},
    {8, "gen_cmp_II", "gen_jmp_and_patch"}, {38, "gen_cmp_II", "gen_jmp_and_patch"},
    {9, "gen_cmp_II", "gen_jmp_and_patch"}, {39, "gen_cmp_II", "gen_jmp_and_patch"},
    {10, "gen_move_LL", nullptr}, {11, "gen_move_LL", nullptr}, {12, "gen_move_LL", nullptr},
    {136, "gen_move_LL", nullptr}, {13, "gen_op2_LLL", nullptr}, {14, "gen_op15_LLI", nullptr},
    {15, "gen_op1_LL", nullptr}, {16, "gen_laload", nullptr}, {17, "gen_lastore", nullptr},
    {18, "gen_cmp_ILL", nullptr},
    {19, "gen_move_FF", nullptr}, {20, "gen_move_FF", nullptr}, {21, "gen_move_FF", nullptr},
    {27, "gen_move_FF", nullptr}, {28, "gen_move_FF", nullptr}, {29, "gen_move_FF", nullptr},
    {92, "gen_move_FF", nullptr}, {95, "gen_move_FF", nullptr}, {135, "gen_move_FF", nullptr},
    {137, "gen_move_FF", nullptr},
    {22, "gen_op2_FFF", nullptr}, {30, "gen_op2_FFF", nullptr}, {23, "gen_op1_FF", nullptr},
    {31, "gen_op1_FF", nullptr}, {24, "gen_faload", nullptr}, {32, "gen_faload", nullptr},
    {25, "gen_fastore", nullptr}, {33, "gen_fastore", nullptr}, {26, "gen_fcmpu_IFF", nullptr},
    {34, "gen_fcmpu_IFF", nullptr},
    {43, "gen_method_ireturn", "BB_reg_finalize"}, {47, "gen_method_ireturn", "BB_reg_finalize"},
    {44, "gen_method_lreturn", "BB_reg_finalize"}, {45, "gen_method_freturn", "BB_reg_finalize"},
    {46, "gen_method_freturn", "BB_reg_finalize"},
    {48, "gen_tableswitch", "gen_lookupswitch"}, {49, "gen_resolve_new", "gen_new"},
    {50, "gen_resolve_checkcast", "gen_and_register_class_cache"},
    {51, "gen_resolve_instanceof", "gen_and_register_class_cache"}, {52, "gen_monitor", nullptr},
    {53, "gen_normal_invoke", "gen_optimized_invoke"}, {54, "gen_normal_invoke", "gen_optimized_invoke"},
    {55, "gen_normal_invoke", "gen_optimized_invoke"}, {56, "gen_normal_invoke", "gen_optimized_invoke"},
    {57, "gen_normal_invoke", "gen_optimized_invoke"}, {58, "gen_normal_invoke", "gen_optimized_invoke"},
    {60, "gen_resolve_igetfield", "gen_igetfield"}, {64, "gen_resolve_igetfield", "gen_igetfield"},
    {61, "gen_resolve_lgetfield", "gen_lgetfield"}, {62, "gen_resolve_fgetfield", "gen_fgetfield"},
    {63, "gen_resolve_fgetfield", "gen_fgetfield"},
    {65, "gen_resolve_iputfield", "gen_iputfield"}, {69, "gen_resolve_iputfield", "gen_iputfield"},
    {66, "gen_resolve_lputfield", "gen_lputfield"}, {67, "gen_resolve_fputfield", "gen_fputfield"},
    {68, "gen_resolve_fputfield", "gen_fputfield"},
    {70, "gen_resolve_igetstatic", "gen_igetstatic"}, {74, "gen_resolve_igetstatic", "gen_igetstatic"},
    {71, "gen_resolve_lgetstatic", "gen_lgetstatic"}, {72, "gen_resolve_fgetstatic", "gen_fgetstatic"},
    {73, "gen_resolve_fgetstatic", "gen_fgetstatic"},
    {75, "gen_resolve_iputstatic", "gen_iputstatic"}, {79, "gen_resolve_iputstatic", "gen_iputstatic"},
    {76, "gen_resolve_lputstatic", "gen_lputstatic"}, {77, "gen_resolve_fputstatic", "gen_fputstatic"},
    {78, "gen_resolve_fputstatic", "gen_fputstatic"},
    {80, "gen_newarray", nullptr}, {81, "gen_anewarray", nullptr},
    {82, "gen_argset_multianewarray", "gen_multianewarray"}, {83, "gen_arraylength", nullptr},
    {84, "gen_I2L", nullptr}, {87, "gen_L2I", nullptr}, {85, "gen_I2F", nullptr}, {86, "gen_I2F", nullptr},
    {88, "gen_I2F", "gen_L2F"}, {89, "gen_I2F", "gen_L2F"}, {90, "gen_F2I", nullptr}, {93, "gen_F2I", nullptr},
    {91, "gen_F2L", nullptr}, {94, "gen_F2L", nullptr}, {105, "gen_resolve_ldc", "gen_ldc"},
    {106, "gen_athrow", "BB_reg_finalize"}, {107, "gen_jsr", nullptr}, {109, "gen_jmp_and_patch", nullptr},
    {110, "gen_eaddr", nullptr}, {116, "gen_ldctable", nullptr}, {117, "gen_memset", nullptr},
    {122, "gen_spset", "gen_argcopy"}, {138, "gen_spset", "gen_argcopy"}, {123, "gen_spset", "gen_argcopy"},
    {125, "gen_spset", "gen_argcopy"}, {124, "gen_spset", "gen_argcopy"},
    {126, "gen_localcopy", nullptr}, {130, "gen_localcopy", nullptr}, {128, "gen_localcopy", nullptr},
    {131, "gen_classfieldload", nullptr}, {132, "gen_op2_III", "gen_jmp_and_patch"},
    {139, "gen_explicit_nullpointer_check", "invalidate_if_lastuse"}, {141, "gen_sizecheck", nullptr},
    {142, "gen_sizecheck_range", nullptr}, {145, "gen_classtypecheck", nullptr},
    {146, "gen_fcmpu_CFF", "gen_jmp_and_patch"}, {147, "gen_fcmpu_CFF", "gen_jmp_and_patch"},
    {148, "gen_cmp_CLL", nullptr}, {149, "gen_op2_memopX", nullptr}, {150, "gen_op2_memopX", nullptr},
    {151, "gen_op2_memopX", nullptr}, {153, "gen_inlined_System_arraycopy", nullptr},
    {154, "gen_pindown", nullptr}, {155, "gen_jmp_and_patch_cha", nullptr},
    {157, "gen_load_methodblock", nullptr}, {158, "gen_load_methodtable", nullptr},
    {165, "gen_methodblockcheck", "gen_jmp_and_patch"}, {166, "gen_mtaddresscheck", "gen_jmp_and_patch"},
    {168, "gen_syncenter", nullptr}, {169, "gen_syncexit", nullptr},
    {172, "gen_execute_static_initializer", nullptr}, {179, "gen_cmove_IIIII", nullptr},
    {180, "gen_cmove_IIIII", nullptr},
};
static const int nothing_opcodes[] = {59, 118, 127, 129, 152};
static const int unexpected_opcodes[] = {42, 96, 97, 98, 99, 100, 101, 102, 103, 104, 108, 115, 140, 178};
static const int bad_opcodes[] = {133, 156, 159, 160, 161, 162, 163, 164, 170, 171, 173, 174, 175, 176, 177};

static std::string name_or_empty(const char* s) { return s ? s : ""; }

TEST(CgDispatchTable, EveryOpcodeReachesTheListedGenerators)
{
    for (const route_row& r : expected_routes) {
        const cg_dispatch_row& row = cg_dispatch_table[r.opcode];
        EXPECT_EQ(row.opcode, r.opcode);
        EXPECT_EQ(name_or_empty(row.gen1_name), name_or_empty(r.gen1)) << "opcode " << r.opcode;
        EXPECT_EQ(name_or_empty(row.gen2_name), name_or_empty(r.gen2)) << "opcode " << r.opcode;
        EXPECT_TRUE(row.route == RT_GEN || row.route == RT_SPECIAL) << "opcode " << r.opcode;
        // A named generator of the generator form is wired, not just named.
        if (row.route == RT_GEN) {
            EXPECT_NE(row.gen1, nullptr) << "opcode " << r.opcode;
        }
    }
    for (int opc : nothing_opcodes)
        EXPECT_EQ(cg_dispatch_table[opc].route, RT_NOTHING) << opc;
    for (int opc : unexpected_opcodes)
        EXPECT_EQ(cg_dispatch_table[opc].route, RT_UNEXPECTED) << opc;
    for (int opc : bad_opcodes)
        EXPECT_EQ(cg_dispatch_table[opc].route, RT_BAD) << opc;
    // Every opcode is in exactly one of the lists (0, 111-114, 119-121 and
    // 144 are the dispatcher's own routes).
    int seen[OPC_LAST_GENERATED + 1] = {};
    for (const route_row& r : expected_routes)
        seen[r.opcode]++;
    for (int opc : nothing_opcodes)
        seen[opc]++;
    for (int opc : unexpected_opcodes)
        seen[opc]++;
    for (int opc : bad_opcodes)
        seen[opc]++;
    for (int opc : {0, 111, 112, 113, 114, 119, 120, 121, 144})
        seen[opc]++;
    for (int opc = 0; opc <= OPC_LAST_GENERATED; opc++)
        EXPECT_EQ(seen[opc], 1) << "opcode " << opc;
}

// ---------------------------------------------------------------------------
// Fatal messages: a one-block method holding the quadruple.
// ---------------------------------------------------------------------------
static void compile_single(u1 opcode, u2 subcode)
{
    test_method* t = make_method(1);
    quadruple* q = add_quad(t, 1, opcode);
    q->subcode = subcode;
    add_quad(t, 1, OPC_IRETURN);
    finish_method(t);
    JITGenNativeCode_state(&t->m);
}

TEST(CgDispatchDeath, FatalOpcodesEndTheProcessWithTheirMessage)
{
    EXPECT_EXIT(compile_single(42, 0), testing::ExitedWithCode(255), "Unexpected Bytecode 42\n");
    EXPECT_EXIT(compile_single(181, 0), testing::ExitedWithCode(255), "Bad Single OPCODE found \\(opcode no=181\\)");
    EXPECT_EXIT(compile_single(133, 0), testing::ExitedWithCode(255), "Bad Single OPCODE found \\(opcode no=133\\)");
    EXPECT_EXIT(compile_single(0, 3), testing::ExitedWithCode(255), "Bad SUBOPCODE for OPC_OTHER no=3\n");
}

// ---------------------------------------------------------------------------
// Condition tables.
// ---------------------------------------------------------------------------
TEST(CgConditions, ExchangeAndReverse)
{
    struct { u4 in, exchanged, reversed; } rows[] = {
        {COND_ALWAYS, COND_ALWAYS, COND_ALWAYS}, {COND_EQ, COND_EQ, COND_NE}, {COND_NE, COND_NE, COND_EQ},
        {COND_LT, COND_GT, COND_GE}, {COND_LE, COND_GE, COND_GT}, {COND_GT, COND_LT, COND_LE},
        {COND_GE, COND_LE, COND_LT}, {COND_A, COND_B, COND_BE}, {COND_AE, COND_BE, COND_B},
        {COND_B, COND_A, COND_AE}, {COND_BE, COND_AE, COND_A}, {COND_C, COND_C, COND_NC},
        {COND_NC, COND_NC, COND_C}, {COND_S, COND_S, COND_NS}, {COND_NS, COND_NS, COND_S},
        {COND_P, COND_P, COND_NP}, {COND_NP, COND_NP, COND_P},
    };
    for (auto& r : rows) {
        EXPECT_EQ(exchange_jump_cond(r.in), r.exchanged) << r.in;
        EXPECT_EQ(reverse_jump_cond(r.in), r.reversed) << r.in;
    }
}

// Reversing a branch to the fall-through block swaps the successors and
// negates the condition in one step; a condition without a negation must
// leave the branch alone, or the swapped successors would invert it.
TEST(CgConditions, ReverseJumpOnlyWithANegation)
{
    struct { u4 cond, returned; bool reversed; } rows[] = {
        {COND_LT, COND_GE, true}, {COND_NS, COND_S, true}, {COND_P, COND_NP, true},
        {COND_ALWAYS, COND_ALWAYS, false}, {COND_NONE, COND_NONE, false},
    };
    for (auto& r : rows) {
        u4 succ[2] = {5, 7};
        quadruple q = {};
        q.opcode = OPC_IFCMP;
        q.op = (u2)r.cond;
        q.target = 5;
        quadruple* catbl[1] = {&q};
        bbattr bb = {};
        bb.succ_count = 2;
        bb.succ = succ;
        bb.catbl = catbl;
        bb.quad_count = 1;
        bbattr* table[1] = {&bb};
        codegen_context cg = {};
        cg.bbtable = table;
        cg.branch_quad = 0;
        EXPECT_EQ(reverse_jump(&cg, r.cond, 0, 7), r.returned) << r.cond;
        EXPECT_EQ(succ[0], r.reversed ? 7u : 5u) << r.cond;
        EXPECT_EQ(succ[1], r.reversed ? 5u : 7u) << r.cond;
        EXPECT_EQ(q.op, r.returned) << r.cond;
        EXPECT_EQ((q.subcode & QS_UNRESOLVED) != 0, r.reversed) << r.cond;
    }
}

// ---------------------------------------------------------------------------
// Operand descriptors.
// ---------------------------------------------------------------------------
static quad_operand qop(u1 type, u1 kind, u2 number)
{
    quad_operand op = {};
    op.kind = (u1)(type << QT_SHIFT | kind);
    op.number = number;
    return op;
}

TEST(CgOperands, IntegerDescriptorsByKind)
{
    test_method* t = make_method(1);
    finish_method(t);
    codegen_context cg = {};
    cg.m = &t->m;
    quadruple q = {};
    q.value = 0x12345;
    quadruple* slot = &q;
    u4 pointed = 77;
    struct { quad_operand op; char kind; u4 value; bool has_source; } rows[] = {
        {qop(QT_INT, QK_NONE, 65535), 0, 0xFFFFFFFFu, false},
        {qop(QT_INT, QK_VARIABLE, 4), 'L', 4, true},
        {qop(QT_LONG, QK_VARIABLE, 4), 'L', 5, true},
        {qop(QT_INT, QK_ARGUMENT, 0x0203), 'S', 3, true},
        {qop(QT_INT, QK_IMMEDIATE, 9), 'C', 9, false},
        {qop(QT_INT, QK_NEG_IMMEDIATE, 9), 'C', (u4)-9, false},
        {qop(QT_REF, QK_CONSTANT, 0), 'A', 0x12345, false},
        {qop(QT_INT, QK_CONSTANT, 0), 'C', 0x12345, false},
    };
    for (auto& r : rows) {
        reg_operand out = {};
        set_ioperand(&cg, &slot, &out, &r.op);
        EXPECT_EQ(out.kind, r.kind);
        EXPECT_EQ(out.value, r.value);
        EXPECT_EQ(out.source != nullptr, r.has_source);
    }
    q.value = (u4)(uintptr_t)&pointed;
    quad_operand p = qop(QT_INT, QK_CONST_PTR, 0);
    reg_operand out = {};
    set_ioperand(&cg, &slot, &out, &p);
    EXPECT_EQ(out.value, 77u);
    reg_operand arg = {};
    quad_operand a = qop(QT_INT, QK_ARGUMENT, 0x0203);
    set_ioperand(&cg, &slot, &arg, &a);
    EXPECT_EQ(arg.aux, 2);
}

TEST(CgOperands, LongImmediatesAndVariables)
{
    test_method* t = make_method(1);
    finish_method(t);
    codegen_context cg = {};
    cg.m = &t->m;
    quadruple q = {};
    quadruple* slot = &q;
    reg_operand lo, hi;
    quad_operand neg5 = qop(QT_LONG, QK_NEG_IMMEDIATE, 5);
    set_loperand(&cg, &slot, &lo, &hi, &neg5);
    EXPECT_EQ(lo.kind, 'C');
    EXPECT_EQ((s4)lo.value, -5);
    EXPECT_EQ(hi.kind, 'C');
    EXPECT_EQ((s4)hi.value, -1);
    quad_operand var = qop(QT_LONG, QK_VARIABLE, 6);
    var.flags = 0x02;
    var.second = 0x44;
    set_loperand(&cg, &slot, &lo, &hi, &var);
    EXPECT_EQ(lo.value, 7u);
    EXPECT_EQ(hi.value, 6u);
    ASSERT_NE(lo.source, nullptr);
    EXPECT_EQ(lo.source->flags & 1, 1);   // last use carried from bit 1
    EXPECT_EQ(lo.source->reg, 0x44);
    EXPECT_EQ(hi.source->reg, var.reg);
}

// long-to-float and long-to-double of a source the front end left typed
// int reach gen_I2F with I2F's operand sets: the int source in r[2], the
// float destination in x[0].  (They were once handed the long set-up, so the
// destination read from x[0] was an int operand.)  A long source still goes
// to gen_L2F with the long set-up.
TEST(CgOperands, LongToFloatOfAnIntSource)
{
    struct row { u1 opcode; u1 src_type; const char* generator; char dst_type; };
    const row rows[] = {
        {OPC_L2F, QT_INT, "gen_I2F", 'F'}, {OPC_L2D, QT_INT, "gen_I2F", 'D'},
        {OPC_L2F, QT_LONG, "gen_L2F", 'F'}, {OPC_L2D, QT_LONG, "gen_L2F", 'D'},
    };
    for (const row& r : rows) {
        fakes.conv_generator = nullptr;
        test_method* t = make_method(1);
        quadruple* q = add_quad(t, 1, r.opcode);
        q->result = qop(r.dst_type == 'F' ? QT_FLOAT : QT_DOUBLE, QK_VARIABLE, 1);
        q->src1 = qop(r.src_type, QK_VARIABLE, 4);
        add_quad(t, 1, OPC_IRETURN);
        finish_method(t);
        JITGenNativeCode_state(&t->m);
        ASSERT_NE(fakes.conv_generator, nullptr) << "opcode " << (int)r.opcode;
        EXPECT_STREQ(fakes.conv_generator, r.generator) << "opcode " << (int)r.opcode;
        if (r.src_type == QT_INT) {
            EXPECT_EQ(fakes.conv_ops.x[0].kind, 'L');
            EXPECT_EQ(fakes.conv_ops.x[0].type, r.dst_type);
            EXPECT_EQ(fakes.conv_ops.x[0].value, 1u);
            EXPECT_EQ(fakes.conv_ops.r[2].kind, 'L');
            EXPECT_EQ(fakes.conv_ops.r[2].type, 'I');
            EXPECT_EQ(fakes.conv_ops.r[2].value, 4u);
        } else {
            EXPECT_EQ(fakes.conv_ops.r[2].value, 5u);   // the low word of the long at 4
            EXPECT_EQ(fakes.conv_ops.r[3].value, 4u);
        }
    }
}

TEST(CgOperands, OperandListClearsTheRest)
{
    test_method* t = make_method(1);
    finish_method(t);
    codegen_context cg = {};
    cg.m = &t->m;
    quadruple q = {};
    q.opcount = QC_SRC_LIST;
    quad_operand_list_entry e2 = {(u2)(QT_INT << QT_SHIFT | QK_IMMEDIATE), 8, 0, {}, 0, nullptr};
    quad_operand_list_entry e1 = {(u2)(QT_INT << QT_SHIFT | QK_VARIABLE), 3, 0, {}, 0, &e2};
    quad_operand_list_entry* head = &e1;
    memcpy(&q.src1, &head, sizeof head);
    quadruple* slot = &q;
    reg_operand out[5];
    memset(out, 0x5A, sizeof out);
    EXPECT_EQ(set_operand_list(&cg, &slot, out, 5), 2);
    EXPECT_EQ(out[0].kind, 'L');
    EXPECT_EQ(out[1].kind, 'C');
    EXPECT_EQ(out[1].value, 8u);
    for (int i = 2; i < 5; i++) {
        EXPECT_EQ(out[i].kind, 0);
        EXPECT_EQ(out[i].value, 0xFFFFFFFFu);
        EXPECT_EQ(out[i].source, nullptr);
    }
}

// The operator is read from the operator word; the sub-code word (kind
// nibble, reversal mark) says nothing about calls.
TEST(CgOperands, NeedCall)
{
    quadruple q = {};
    struct { u1 opcode; u2 op; u1 k1, k2; int expected; } rows[] = {
        {OPC_NEW, 0, 0, 0, 1}, {OPC_VCALL, 0, 0, 0, 1}, {OPC_CALL_MARK, 0, 0, 0, 1}, {OPC_CLINIT, 0, 0, 0, 1},
        {OPC_MULTIANEWARRAY, 0, 0, 0, 1}, {OPC_LOP2, 12, 0x11, 0x11, 0}, {OPC_LOP2, 12, 0x31, 0x11, 1},
        {OPC_LOP2, 3, 0x31, 0x31, 1}, {OPC_LOP2, 1, 0x31, 0x31, 0}, {OPC_DOP2, 11, 0, 0, 1},
        {OPC_FOP2, 3, 0, 0, 0}, {OPC_DOP1, 31, 0, 0, 1}, {OPC_FOP1, 32, 0, 0, 1}, {OPC_FOP1, 19, 0, 0, 0},
        {OPC_IOP2, 12, 0, 0, 0},
    };
    for (auto& r : rows) {
        q.opcode = r.opcode;
        q.op = r.op;
        q.subcode = 0;
        q.src1.kind = r.k1;
        q.src2.kind = r.k2;
        EXPECT_EQ(NeedCall(&q), r.expected) << (int)r.opcode << " " << r.op;
    }
}

TEST(CgOperands, SignatureReturnKind)
{
    methodblock mb = {};
    struct { const char* sig; int kind; } rows[] = {
        {"()I", 1}, {"(J)Ljava/lang/Object;", 1}, {"()[I", 1}, {"()J", 2}, {"(I)F", 3}, {"()D", 4}, {"()V", 0},
        {"(I", 9}, {"()Q", 9},
    };
    for (auto& r : rows) {
        mb.signature = r.sig;
        EXPECT_EQ(signature_return_kind(9, &mb), r.kind) << r.sig;
    }
}

// ---------------------------------------------------------------------------
// Register arguments and callee-saved registers.
// ---------------------------------------------------------------------------
TEST(CgRegArgs, ArgumentWordsAndLinkage)
{
    struct { const char* sig; bool is_static; u1 words; u1 used; u1 linkage; } rows[] = {
        {"(IJ)V", true, 3, 0x07, 1},
        {"(D)V", true, 0, 0x00, 0},
        {"(I[[Ljava/lang/String;J)V", false, 5, 0x07, 0},
        {"()V", false, 1, 0x01, 1},
        {"([JLa;)I", true, 2, 0x03, 1},
    };
    for (auto& r : rows) {
        methodblock mb = {};
        mb.signature = r.sig;
        mb.access = r.is_static ? ACC_STATIC : 0;
        codegen_context cg = {};
        method_code_info mci = {};
        cg.mb = &mb;
        cg.mci = &mci;
        cg.pass = CG_PASS_MEASURE;
        init_use_regs(&cg);
        EXPECT_EQ(mci.int_arg_words, r.words) << r.sig;
        EXPECT_EQ(mci.used_regs, r.used) << r.sig;
        EXPECT_EQ(mci.reg_linkage, r.linkage) << r.sig;
        EXPECT_EQ(mci.saved_regs, 0x78);
        EXPECT_EQ(mci.saved_count, 4);
    }
}

TEST(CgRegArgs, Pass2SavesWhatPass1Used)
{
    methodblock mb = {};
    mb.signature = "()V";
    mb.access = ACC_STATIC;
    codegen_context cg = {};
    method_code_info mci = {};
    cg.mb = &mb;
    cg.mci = &mci;
    cg.pass = CG_PASS_MEASURE;
    init_use_regs(&cg);
    mci.used_regs |= reg_used_bit[GR_ESI];
    cg.pass = CG_PASS_WRITE;
    init_use_regs(&cg);
    EXPECT_EQ(mci.saved_regs, reg_used_bit[GR_ESI]);
    EXPECT_EQ(mci.saved_count, 1);
    // With an exception table all four are saved, unless UNWIND_STACK.
    u2 table[8] = {};
    mb.exception_table = table;
    mb.exception_table_length = 1;
    cg.pass = CG_PASS_MEASURE;
    init_use_regs(&cg);
    mci.used_regs = reg_used_bit[GR_ESI];
    cg.pass = CG_PASS_WRITE;
    init_use_regs(&cg);
    EXPECT_EQ(mci.saved_regs, 0x78);
    compile_option2_flag |= OPT2_UNWIND_STACK;
    cg.pass = CG_PASS_MEASURE;
    init_use_regs(&cg);
    mci.used_regs = reg_used_bit[GR_ESI];
    cg.pass = CG_PASS_WRITE;
    init_use_regs(&cg);
    compile_option2_flag &= ~OPT2_UNWIND_STACK;
    // The exception registration of the prologue uses ebx: it is saved even
    // when the body never names it.
    EXPECT_EQ(mci.saved_regs, reg_used_bit[GR_ESI] | reg_used_bit[GR_EBX]);
    // A synchronized method hands the frame base to its stubs in ebp.
    mb.exception_table = nullptr;
    mb.exception_table_length = 0;
    mb.access |= ACC_SYNCHRONIZED;
    cg.pass = CG_PASS_MEASURE;
    init_use_regs(&cg);
    mci.used_regs = 0;
    cg.pass = CG_PASS_WRITE;
    init_use_regs(&cg);
    mb.access &= ~ACC_SYNCHRONIZED;
    EXPECT_EQ(mci.saved_regs, reg_used_bit[GR_EBP]);
}

TEST(CgRegArgs, PackedSaveSetsAndRegisterArguments)
{
    // The unwinder's reading of a save area is tested with the run-time
    // support (tests/lib/fi_iter_test.cpp).
    u4 packed[5];
    pack_csr(reg_used_bit[GR_EBX] | reg_used_bit[GR_EDI], packed, 10, 20, 30, 40);
    EXPECT_EQ(packed[0], 2u);
    EXPECT_EQ(packed[1], 10u);
    EXPECT_EQ(packed[2], 40u);
    u4 dst[2];
    copy_csr(dst, packed);
    EXPECT_EQ(dst[1], 40u);
    init_optlink();
    EXPECT_EQ(bit_int_regpass, 0x07u);
    EXPECT_EQ(int_regpass_reg(0), GR_EAX);
    EXPECT_EQ(int_regpass_reg(2 | 0xC0000000u), GR_ECX);
}

TEST(CgRegArgs, SaveWritesOnlyTheSavedRegistersIntoPass1Room)
{
    // Pass 1 reserves 28 bytes; pass 2 writes one store of ESI at the first
    // save slot (-frame size - sp offset from esp).
    methodblock mb = {};
    codegen_context cg = {};
    method_code_info mci = {};
    u1 buf[64];
    memset(buf, 0, sizeof buf);
    cg.mb = &mb;
    cg.mci = &mci;
    cg.flags = CG_SCHED_OFF;
    cg.pass = CG_PASS_MEASURE;
    u1 scratch[32];
    cg.code = scratch;
    save_callee_saved_regs(&cg);
    EXPECT_EQ(cg.code_size, 28u);
    cg.pass = CG_PASS_WRITE;
    cg.code = buf;
    mci.code_start = buf;
    mci.saved_regs = reg_used_bit[GR_ESI];
    mci.saved_count = 1;
    mci.sp_offset = -8;
    save_callee_saved_regs(&cg);
    // getFrameSizeWithoutLocals is 0 in the fakes: mov [esp+8], esi
    const u1 expect[] = {0x89, 0x74, 0x24, 0x08};
    EXPECT_EQ(cg.code - buf, 4);
    EXPECT_EQ(memcmp(buf, expect, 4), 0);
}

// ---------------------------------------------------------------------------
// Pass 2 scheduled: the same methods, the same results.
// ---------------------------------------------------------------------------
static int forward_result(int pad)
{
    test_method* t = make_method(3);
    add_quad(t, 1, OPC_ICONST, 5);
    add_branch(t, 1, OPC_IFCMP, COND_EQ, 3, 5);
    set_succ(t, 1, {2, 3});
    add_quad(t, 2, OPC_ILOAD, 0, (u2)pad);
    add_quad(t, 2, OPC_ICONST, 1);
    add_quad(t, 2, OPC_IRETURN);
    add_quad(t, 3, OPC_ICONST, 2);
    add_quad(t, 3, OPC_IOP2, 3);
    add_quad(t, 3, OPC_IRETURN);
    set_succ(t, 2, {4});
    set_succ(t, 3, {4});
    finish_method(t);
    if (JITGenNativeCode_state(&t->m) != 0)
        return -1;
    EXPECT_LE(t->m.code_size, fakes.last_alloc_size);
    return run_int(t);
}

TEST(CgDriverScheduled, Pass2WithSchedulingRuns)
{
    s4 saved = orva_processor_type;
    for (s4 type : {4, 5}) {
        orva_processor_type = type;
        for (int pad : {0, 117, 118, 200})
            EXPECT_EQ(forward_result(pad), 5) << "type " << type << " pad " << pad;
    }
    orva_processor_type = saved;
}

// ---------------------------------------------------------------------------
// Glue of native and abstract methods.
// ---------------------------------------------------------------------------
static u4 thrown_code;
static u4 glue_size_value = 40;
u4 getNativeMethodGlueSize(methodblock*) { return glue_size_value; }
void gen_glue4interpreter(codegen_context*, u4) {}
void gen_method_pre_header(codegen_context*, method_compile_context*) {}
void _gen_test_and_throw_exception(codegen_context* cg, int, int, int, int, int, int, u4 code, methodblock*, int)
{
    thrown_code = code;
    _gen_nop(cg, 5);
}
static int jni_glue_calls;
void gen_JNInativemethod_glue(codegen_context* cg, u4)
{
    jni_glue_calls++;
    _gen_nop(cg, 10);
}

static u4 glue_for(u2 access, const char* name, u2 args, void* native)
{
    test_method* t = make_method(0);
    finish_method(t);
    t->mb.access = access;
    t->mb.name = name;
    t->mb.args_size = args;
    t->mb.native_code = native;
    method_compile_context* request = &t->m;
    thrown_code = 0;
    jni_glue_calls = 0;
    EXPECT_EQ(JITGenNativeCode_glue(&t->mb, &request), 0);
    return fakes.last_alloc_size;
}

TEST(CgGlue, BufferSizesAndExceptionCodes)
{
    int dummy;
    EXPECT_EQ(glue_for(ACC_NATIVE, "n", 3, &dummy), 3 * 3 + 40 + 25u);
    EXPECT_EQ(glue_for(ACC_NATIVE, "n", 4, &dummy), 40 + 34u);
    glue_for(ACC_ABSTRACT, "+x", 1, nullptr);
    EXPECT_EQ(thrown_code, 0xE0000012u);
    glue_for(ACC_ABSTRACT, "x", 1, nullptr);
    EXPECT_EQ(thrown_code, 0xE0000001u);
    EXPECT_EQ(jni_glue_calls, 0);
}

TEST(CgGlue, UnboundNativeGetsTheBindingGlue)
{
    // Guards against a native compiled before its library is loaded (a call
    // that failed to link, then System.loadLibrary) keeping a glue that only
    // raises UnsatisfiedLinkError: the full glue binds on each call until
    // the VM finds the function.
    int dummy;
    glue_for(ACC_NATIVE, "bound", 1, &dummy);
    EXPECT_EQ(jni_glue_calls, 1);
    glue_for(ACC_NATIVE, "unbound", 1, nullptr);
    EXPECT_EQ(jni_glue_calls, 1);
    EXPECT_EQ(thrown_code, 0u) << "no raise-only stub";
}
