// Quadruple dispatcher: generates the code of a list of basic blocks.
//
// Per block: the entry state (pending linkage of a predecessor, alignment of
// innermost-loop headers, block address, stack offset, register state, try
// region), then each quadruple handed by its opcode to one operand set-up and
// one generator (the route table below), then the linkage to the successor
// chosen by the opcode of the block's last quadruple.  Out-of-line linkage
// gathered so far is flushed between blocks when control does not fall
// through.  Both passes run the same calls; the pass only decides what is
// recorded (pass-1 offsets, pass-2 stack-offset records).
#include <stdio.h>
#include <stdlib.h>

#include "codegen/cg_core.h"
#include "driver/driver.h"
#include "frontend/qgen.h"

// ---------------------------------------------------------------------------
// Route table.  X(opcode, set-up, route, generator 1, generator 2): a pair is
// resolving / direct (the resolving one when the quadruple's unresolved bit is
// set); for the special routes the names record what the dispatcher calls.
// ---------------------------------------------------------------------------
#define G(name) #name, name
#define N(name) #name, nullptr
#define NONE nullptr, nullptr
#define CG_DISPATCH_ROWS(X)                                                                  \
    X(0, SU_NONE, RT_SPECIAL, N(gen_method_return), N(gen_jmp_gr))                          \
    X(1, SU_INT, RT_GEN, G(gen_move_II), NONE) X(2, SU_INT, RT_GEN, G(gen_move_II), NONE)   \
    X(3, SU_INT, RT_GEN, G(gen_move_II), NONE) X(4, SU_INT, RT_GEN, G(gen_op2_III), NONE)   \
    X(5, SU_INT, RT_GEN, G(gen_op1_II), NONE) X(6, SU_INT, RT_GEN, G(gen_iaload), NONE)     \
    X(7, SU_LIST, RT_GEN, G(gen_iastore), NONE)                                              \
    X(8, SU_INT, RT_SPECIAL, G(gen_cmp_II), N(gen_jmp_and_patch))                            \
    X(9, SU_INT, RT_SPECIAL, G(gen_cmp_II), N(gen_jmp_and_patch))                            \
    X(10, SU_LONG, RT_GEN, G(gen_move_LL), NONE) X(11, SU_LONG, RT_SPECIAL, G(gen_move_LL), NONE) \
    X(12, SU_LONG, RT_GEN, G(gen_move_LL), NONE) X(13, SU_LONG, RT_GEN, G(gen_op2_LLL), NONE) \
    X(14, SU_LONG_INT, RT_GEN, G(gen_op15_LLI), NONE) X(15, SU_LONG, RT_GEN, G(gen_op1_LL), NONE) \
    X(16, SU_INT_LONG, RT_GEN, G(gen_laload), NONE) X(17, SU_LIST, RT_GEN, G(gen_lastore), NONE) \
    X(18, SU_LONG_INT, RT_GEN, G(gen_cmp_ILL), NONE)                                         \
    X(19, SU_FLOAT, RT_GEN, G(gen_move_FF), NONE) X(20, SU_FLOAT, RT_GEN, G(gen_move_FF), NONE) \
    X(21, SU_FLOAT, RT_GEN, G(gen_move_FF), NONE) X(22, SU_FLOAT, RT_GEN, G(gen_op2_FFF), NONE) \
    X(23, SU_FLOAT, RT_GEN, G(gen_op1_FF), NONE) X(24, SU_INT_FLOAT, RT_GEN, G(gen_faload), NONE) \
    X(25, SU_LIST, RT_GEN, G(gen_fastore), NONE) X(26, SU_INT_FLOAT, RT_GEN, G(gen_fcmpu_IFF), NONE) \
    X(27, SU_FLOAT, RT_GEN, G(gen_move_FF), NONE) X(28, SU_FLOAT, RT_GEN, G(gen_move_FF), NONE) \
    X(29, SU_FLOAT, RT_GEN, G(gen_move_FF), NONE) X(30, SU_FLOAT, RT_GEN, G(gen_op2_FFF), NONE) \
    X(31, SU_FLOAT, RT_GEN, G(gen_op1_FF), NONE) X(32, SU_INT_FLOAT, RT_GEN, G(gen_faload), NONE) \
    X(33, SU_LIST, RT_GEN, G(gen_fastore), NONE) X(34, SU_INT_FLOAT, RT_GEN, G(gen_fcmpu_IFF), NONE) \
    X(35, SU_INT, RT_GEN, G(gen_move_II), NONE) X(36, SU_INT, RT_GEN, G(gen_move_II), NONE) \
    X(37, SU_INT, RT_GEN, G(gen_move_II), NONE)                                              \
    X(38, SU_INT, RT_SPECIAL, G(gen_cmp_II), N(gen_jmp_and_patch))                           \
    X(39, SU_INT, RT_SPECIAL, G(gen_cmp_II), N(gen_jmp_and_patch))                           \
    X(40, SU_INT, RT_GEN, G(gen_iaload), NONE) X(41, SU_LIST, RT_GEN, G(gen_iastore), NONE) \
    X(42, SU_NONE, RT_UNEXPECTED, NONE, NONE)                                                \
    X(43, SU_INT, RT_SPECIAL, G(gen_method_ireturn), N(BB_reg_finalize))                     \
    X(44, SU_LONG, RT_SPECIAL, G(gen_method_lreturn), N(BB_reg_finalize))                    \
    X(45, SU_FLOAT, RT_SPECIAL, G(gen_method_freturn), N(BB_reg_finalize))                   \
    X(46, SU_FLOAT, RT_SPECIAL, G(gen_method_freturn), N(BB_reg_finalize))                   \
    X(47, SU_INT, RT_SPECIAL, G(gen_method_ireturn), N(BB_reg_finalize))                     \
    X(48, SU_INT, RT_SPECIAL, G(gen_tableswitch), G(gen_lookupswitch))                       \
    X(49, SU_INT, RT_GEN, G(gen_resolve_new), G(gen_new))                                    \
    X(50, SU_INT, RT_GEN, G(gen_resolve_checkcast), G(gen_and_register_class_cache))         \
    X(51, SU_INT, RT_GEN, G(gen_resolve_instanceof), G(gen_and_register_class_cache))        \
    X(52, SU_INT, RT_GEN, G(gen_monitor), NONE)                                              \
    X(53, SU_INT, RT_SPECIAL, G(gen_normal_invoke), G(gen_optimized_invoke))                 \
    X(54, SU_LONG, RT_SPECIAL, G(gen_normal_invoke), G(gen_optimized_invoke))                \
    X(55, SU_FLOAT, RT_SPECIAL, G(gen_normal_invoke), G(gen_optimized_invoke))               \
    X(56, SU_FLOAT, RT_SPECIAL, G(gen_normal_invoke), G(gen_optimized_invoke))               \
    X(57, SU_INT, RT_SPECIAL, G(gen_normal_invoke), G(gen_optimized_invoke))                 \
    X(58, SU_NONE, RT_SPECIAL, G(gen_normal_invoke), G(gen_optimized_invoke))                \
    X(59, SU_NONE, RT_NOTHING, NONE, NONE)                                                   \
    X(60, SU_INT, RT_GEN, G(gen_resolve_igetfield), G(gen_igetfield))                        \
    X(61, SU_INT_LONG, RT_GEN, G(gen_resolve_lgetfield), G(gen_lgetfield))                   \
    X(62, SU_INT_FLOAT, RT_GEN, G(gen_resolve_fgetfield), G(gen_fgetfield))                  \
    X(63, SU_INT_FLOAT, RT_GEN, G(gen_resolve_fgetfield), G(gen_fgetfield))                  \
    X(64, SU_INT, RT_GEN, G(gen_resolve_igetfield), G(gen_igetfield))                        \
    X(65, SU_INT, RT_GEN, G(gen_resolve_iputfield), G(gen_iputfield))                        \
    X(66, SU_INT_LONG, RT_GEN, G(gen_resolve_lputfield), G(gen_lputfield))                   \
    X(67, SU_INT_FLOAT, RT_GEN, G(gen_resolve_fputfield), G(gen_fputfield))                  \
    X(68, SU_INT_FLOAT, RT_GEN, G(gen_resolve_fputfield), G(gen_fputfield))                  \
    X(69, SU_INT, RT_GEN, G(gen_resolve_iputfield), G(gen_iputfield))                        \
    X(70, SU_INT, RT_GEN, G(gen_resolve_igetstatic), G(gen_igetstatic))                      \
    X(71, SU_LONG, RT_GEN, G(gen_resolve_lgetstatic), G(gen_lgetstatic))                     \
    X(72, SU_FLOAT, RT_GEN, G(gen_resolve_fgetstatic), G(gen_fgetstatic))                    \
    X(73, SU_FLOAT, RT_GEN, G(gen_resolve_fgetstatic), G(gen_fgetstatic))                    \
    X(74, SU_INT, RT_GEN, G(gen_resolve_igetstatic), G(gen_igetstatic))                      \
    X(75, SU_INT, RT_GEN, G(gen_resolve_iputstatic), G(gen_iputstatic))                      \
    X(76, SU_LONG, RT_GEN, G(gen_resolve_lputstatic), G(gen_lputstatic))                     \
    X(77, SU_FLOAT, RT_GEN, G(gen_resolve_fputstatic), G(gen_fputstatic))                    \
    X(78, SU_FLOAT, RT_GEN, G(gen_resolve_fputstatic), G(gen_fputstatic))                    \
    X(79, SU_INT, RT_GEN, G(gen_resolve_iputstatic), G(gen_iputstatic))                      \
    X(80, SU_INT, RT_GEN, G(gen_newarray), NONE) X(81, SU_INT, RT_GEN, G(gen_anewarray), NONE) \
    X(82, SU_INT_LIST, RT_SPECIAL, G(gen_argset_multianewarray), G(gen_multianewarray))      \
    X(83, SU_INT, RT_GEN, G(gen_arraylength), NONE)                                          \
    X(84, SU_INT_LONG, RT_GEN, G(gen_I2L), NONE) X(85, SU_INT_FLOAT, RT_GEN, G(gen_I2F), NONE) \
    X(86, SU_INT_FLOAT, RT_GEN, G(gen_I2F), NONE) X(87, SU_INT_LONG, RT_GEN, G(gen_L2I), NONE) \
    X(88, SU_LONG_INT, RT_SPECIAL, G(gen_I2F), G(gen_L2F))                                   \
    X(89, SU_LONG_INT, RT_SPECIAL, G(gen_I2F), G(gen_L2F))                                   \
    X(90, SU_INT_FLOAT, RT_GEN, G(gen_F2I), NONE) X(91, SU_INT_LONG, RT_GEN, G(gen_F2L), NONE) \
    X(92, SU_FLOAT, RT_GEN, G(gen_move_FF), NONE) X(93, SU_INT_FLOAT, RT_GEN, G(gen_F2I), NONE) \
    X(94, SU_INT_LONG, RT_GEN, G(gen_F2L), NONE) X(95, SU_FLOAT, RT_GEN, G(gen_move_FF), NONE) \
    X(96, SU_NONE, RT_UNEXPECTED, NONE, NONE) X(97, SU_NONE, RT_UNEXPECTED, NONE, NONE)     \
    X(98, SU_NONE, RT_UNEXPECTED, NONE, NONE) X(99, SU_NONE, RT_UNEXPECTED, NONE, NONE)     \
    X(100, SU_NONE, RT_UNEXPECTED, NONE, NONE) X(101, SU_NONE, RT_UNEXPECTED, NONE, NONE)   \
    X(102, SU_NONE, RT_UNEXPECTED, NONE, NONE) X(103, SU_NONE, RT_UNEXPECTED, NONE, NONE)   \
    X(104, SU_NONE, RT_UNEXPECTED, NONE, NONE)                                               \
    X(105, SU_INT, RT_GEN, G(gen_resolve_ldc), G(gen_ldc))                                   \
    X(106, SU_INT, RT_SPECIAL, G(gen_athrow), N(BB_reg_finalize))                            \
    X(107, SU_INT, RT_GEN, G(gen_jsr), NONE)                                                 \
    X(108, SU_NONE, RT_UNEXPECTED, NONE, NONE)                                               \
    X(109, SU_NONE, RT_SPECIAL, N(gen_jmp_and_patch), NONE)                                  \
    X(110, SU_INT, RT_GEN, G(gen_eaddr), NONE)                                               \
    X(111, SU_INT, RT_SPECIAL, N(_get_rd_int_oprnd), N(_assoc_int_oprnd))                    \
    X(112, SU_INT, RT_SPECIAL, N(_get_rd_int_oprnd), N(_assoc_int_oprnd))                    \
    X(113, SU_BY_TYPE, RT_SPECIAL, G(gen_iaload), NONE)                                      \
    X(114, SU_BY_TYPE, RT_SPECIAL, G(gen_iastore), NONE)                                     \
    X(115, SU_NONE, RT_UNEXPECTED, NONE, NONE)                                               \
    X(116, SU_BY_TYPE, RT_SPECIAL, G(gen_ldctable), NONE)                                    \
    X(117, SU_LIST, RT_GEN, G(gen_memset), NONE)                                             \
    X(118, SU_NONE, RT_NOTHING, NONE, NONE)                                                  \
    X(119, SU_LIST, RT_SPECIAL, N(_set_rd_int_oprnd), N(optim_set))                          \
    X(120, SU_LIST, RT_SPECIAL, N(_set_rd_int_oprnd), NONE)                                  \
    X(121, SU_BY_TYPE, RT_SPECIAL, N(_spillout_int_oprnd), N(_get_rd_int_oprnd))             \
    X(122, SU_INT, RT_SPECIAL, N(gen_spset), G(gen_argcopy))                                 \
    X(123, SU_FLOAT, RT_SPECIAL, N(gen_spset), G(gen_argcopy))                               \
    X(124, SU_LONG, RT_SPECIAL, N(gen_spset), G(gen_argcopy))                                \
    X(125, SU_FLOAT, RT_SPECIAL, N(gen_spset), G(gen_argcopy))                               \
    X(126, SU_INT, RT_GEN, G(gen_localcopy), NONE) X(127, SU_NONE, RT_NOTHING, NONE, NONE)  \
    X(128, SU_LONG, RT_GEN, G(gen_localcopy), NONE) X(129, SU_NONE, RT_NOTHING, NONE, NONE) \
    X(130, SU_INT, RT_GEN, G(gen_localcopy), NONE)                                           \
    X(131, SU_INT, RT_GEN, G(gen_classfieldload), NONE)                                      \
    X(132, SU_INT, RT_SPECIAL, G(gen_op2_III), N(gen_jmp_and_patch))                         \
    X(133, SU_NONE, RT_BAD, NONE, NONE)                                                      \
    X(134, SU_INT, RT_GEN, G(gen_move_II), NONE) X(135, SU_FLOAT, RT_GEN, G(gen_move_FF), NONE) \
    X(136, SU_LONG, RT_GEN, G(gen_move_LL), NONE) X(137, SU_FLOAT, RT_GEN, G(gen_move_FF), NONE) \
    X(138, SU_INT, RT_SPECIAL, N(gen_spset), G(gen_argcopy))                                 \
    X(139, SU_INT, RT_SPECIAL, G(gen_explicit_nullpointer_check), N(invalidate_if_lastuse))  \
    X(140, SU_NONE, RT_UNEXPECTED, NONE, NONE)                                               \
    X(141, SU_INT, RT_GEN, G(gen_sizecheck), NONE) X(142, SU_INT, RT_GEN, G(gen_sizecheck_range), NONE) \
    X(143, SU_INT, RT_GEN, G(gen_iaload), NONE)                                              \
    X(144, SU_INT, RT_SPECIAL, N(gen_load_exception_object), N(gen_init_try_region))         \
    X(145, SU_INT, RT_GEN, G(gen_classtypecheck), NONE)                                      \
    X(146, SU_FLOAT, RT_SPECIAL, G(gen_fcmpu_CFF), N(gen_jmp_and_patch))                     \
    X(147, SU_FLOAT, RT_SPECIAL, G(gen_fcmpu_CFF), N(gen_jmp_and_patch))                     \
    X(148, SU_LONG, RT_GEN, G(gen_cmp_CLL), NONE)                                            \
    X(149, SU_INT_LONG, RT_SPECIAL, N(gen_op2_memopX), NONE)                                 \
    X(150, SU_LONG_INT, RT_SPECIAL, N(gen_op2_memopX), NONE)                                 \
    X(151, SU_LIST, RT_SPECIAL, N(gen_op2_memopX), NONE)                                     \
    X(152, SU_NONE, RT_NOTHING, NONE, NONE)                                                  \
    X(153, SU_NONE, RT_GEN, G(gen_inlined_System_arraycopy), NONE)                           \
    X(154, SU_INT, RT_GEN, G(gen_pindown), NONE)                                             \
    X(155, SU_NONE, RT_SPECIAL, N(gen_jmp_and_patch_cha), NONE)                              \
    X(156, SU_NONE, RT_BAD, NONE, NONE)                                                      \
    X(157, SU_INT, RT_GEN, G(gen_load_methodblock), NONE)                                    \
    X(158, SU_INT, RT_GEN, G(gen_load_methodtable), NONE)                                    \
    X(159, SU_NONE, RT_BAD, NONE, NONE) X(160, SU_NONE, RT_BAD, NONE, NONE)                 \
    X(161, SU_NONE, RT_BAD, NONE, NONE) X(162, SU_NONE, RT_BAD, NONE, NONE)                 \
    X(163, SU_NONE, RT_BAD, NONE, NONE) X(164, SU_NONE, RT_BAD, NONE, NONE)                 \
    X(165, SU_INT, RT_SPECIAL, G(gen_methodblockcheck), N(gen_jmp_and_patch))                \
    X(166, SU_INT, RT_SPECIAL, G(gen_mtaddresscheck), N(gen_jmp_and_patch))                  \
    X(167, SU_INT, RT_GEN, G(gen_move_II), NONE)                                             \
    X(168, SU_NONE, RT_GEN, G(gen_syncenter), NONE) X(169, SU_NONE, RT_GEN, G(gen_syncexit), NONE) \
    X(170, SU_NONE, RT_BAD, NONE, NONE) X(171, SU_NONE, RT_BAD, NONE, NONE)                 \
    X(172, SU_NONE, RT_GEN, G(gen_execute_static_initializer), NONE)                         \
    X(173, SU_NONE, RT_BAD, NONE, NONE) X(174, SU_NONE, RT_BAD, NONE, NONE)                 \
    X(175, SU_NONE, RT_BAD, NONE, NONE) X(176, SU_NONE, RT_BAD, NONE, NONE)                 \
    X(177, SU_NONE, RT_BAD, NONE, NONE) X(178, SU_NONE, RT_UNEXPECTED, NONE, NONE)          \
    X(179, SU_INT_LIST, RT_GEN, G(gen_cmove_IIIII), NONE)                                    \
    X(180, SU_INT_LIST, RT_GEN, G(gen_cmove_IIIII), NONE)

const cg_dispatch_row cg_dispatch_table[OPC_LAST_GENERATED + 1] = {
#define X(opc, setup, route, a, b) {opc, setup, route, a, b},
    CG_DISPATCH_ROWS(X)
#undef X
};
#undef G
#undef N
#undef NONE

// The table is in opcode order by construction; a missing or misplaced row
// fails here.
static constexpr bool dispatch_rows_in_order()
{
    int i = 0;
#define X(opc, setup, route, a, b) if (opc != i++) return false;
    CG_DISPATCH_ROWS(X)
#undef X
    return i == OPC_LAST_GENERATED + 1;
}
static_assert(dispatch_rows_in_order());

// ---------------------------------------------------------------------------
// Small services.
// ---------------------------------------------------------------------------
u4 exchange_jump_cond(u4 cond)
{
    switch (cond) {
    case COND_LT: return COND_GT;
    case COND_GT: return COND_LT;
    case COND_LE: return COND_GE;
    case COND_GE: return COND_LE;
    case COND_A: return COND_B;
    case COND_B: return COND_A;
    case COND_AE: return COND_BE;
    case COND_BE: return COND_AE;
    default: return cond;
    }
}

void gen_spset(codegen_context*, quadruple*) {}

void init_search_reg(codegen_context* cg)
{
    bbattr* bb = cg->bbtable[cg->cur_bb];
    cg->mci->search_state[0] = (u1)(bb->flags2 & BB2_SEARCH_MASK);
    cg->mci->search_state[1] = (u1)(bb->flags & BB_KIND_MASK);
}

// The fixed stack offset of the frame: -(F + 4 (L - A)) + 4 (L - K), with F
// the frame size without locals, L the locals, A the argument words and K the
// frame-resident locals (all of them in pass 1).
s2 cg_fixed_stack_offset(codegen_context* cg)
{
    s4 f = getFrameSizeWithoutLocals(cg);
    s4 l = cg->mb->nlocals;
    s4 a = cg->mb->args_size;
    s4 k = cg->pass == CG_PASS_MEASURE ? l : cg->frame_locals;
    return (s2)(-(f + 4 * (l - a)) + 4 * (l - k));
}

static void set_stack_offset(codegen_context* cg, s2 s)
{
    cg_close_window(cg);
    s2 previous = cg->mci->sp_offset;
    cg->mci->sp_offset = s;
    if (cg->pass == CG_PASS_WRITE && s != previous)
        update_sp_offset_table(cg, s);
    cg_open_window(cg);
}

[[noreturn]] static void fatal(const char* format, int value)
{
    fprintf(stderr, format, value);
    exit(-1);
}

// ---------------------------------------------------------------------------
// Operand set-up.
// ---------------------------------------------------------------------------
static void setup_int(codegen_context* cg, quadruple** slot, reg_operand* r)
{
    set_3ioperands(cg, slot, &r[0], &r[2], &r[4]);
}
static void setup_long(codegen_context* cg, quadruple** slot, reg_operand* r)
{
    set_3loperands(cg, slot, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5]);
}
static void setup_float(codegen_context* cg, quadruple** slot, reg_operand* r)
{
    set_3foperands(cg, slot, &r[0], &r[2], &r[4]);
}

static void run_setup(codegen_context* cg, cg_setup setup, quadruple** slot, cg_operands* o)
{
    switch (setup) {
    case SU_INT: setup_int(cg, slot, o->r); break;
    case SU_LONG: setup_long(cg, slot, o->r); o->long_flag = (*slot)->src1.flags; break;
    case SU_FLOAT: setup_float(cg, slot, o->r); break;
    case SU_LIST: o->list_n = set_operand_list(cg, slot, o->list, CG_LIST_MAX); break;
    case SU_INT_LONG: setup_int(cg, slot, o->r); setup_long(cg, slot, o->x); break;
    case SU_INT_FLOAT: setup_int(cg, slot, o->r); setup_float(cg, slot, o->x); break;
    case SU_LONG_INT:
        setup_long(cg, slot, o->r);
        o->long_flag = (*slot)->src1.kind >> QT_SHIFT == QT_INT ? 0 : 1;
        setup_int(cg, slot, o->x);
        break;
    case SU_INT_LIST: setup_int(cg, slot, o->r); o->list_n = set_operand_list(cg, slot, o->list, CG_LIST_MAX); break;
    case SU_NONE:
    case SU_BY_TYPE: break;
    }
}

static int is_constant(const reg_operand* op)
{
    return op->kind == OPND_CONST || op->kind == OPND_XCONST || op->kind == OPND_YCONST;
}

static bbattr* cur_block(codegen_context* cg) { return cg->bbtable[cg->cur_bb]; }

// ---------------------------------------------------------------------------
// Compare-and-branch.
// ---------------------------------------------------------------------------
static void branch_tail(codegen_context* cg, quadruple* q, u4 cond, s4 next)
{
    u4 b = (u4)cg->cur_bb;
    bbattr* bb = cur_block(cg);
    u4 target = q->target;
    u4 fall = bb->succ_count != 0 ? bb->succ[0] : target;
    if (bb->flags2 & BB2_FORWARD_BRANCH)
        BB_change_register_info_before_branch(cg, b, fall);
    else if (bb->flags & BB_BACKWARD_BRANCH)
        BB_change_register_info_before_branch(cg, b, target);
    gen_jmp_and_patch(cg, cond, target, b, next, 0);
}

static void dispatch_compare_branch(codegen_context* cg, quadruple** slot, cg_operands* o, s4 next)
{
    quadruple* q = *slot;
    cg->branch_quad = cg->cur_quad;
    u4 cond = q->op;
    if (q->opcode == OPC_IFZ || q->opcode == OPC_IFNULL) {
        o->r[4] = {OPND_CONST, 'I', 0, 0, nullptr};
    } else if (is_constant(&o->r[2]) && !is_constant(&o->r[4])) {
        reg_operand t = o->r[2];
        o->r[2] = o->r[4];
        o->r[4] = t;
        if (!(q->subcode & QS_UNRESOLVED))
            cond = exchange_jump_cond(cond);
    }
    gen_cmp_II(cg, slot, o);
    branch_tail(cg, q, cond, next);
}

static void dispatch_op2_branch(codegen_context* cg, quadruple** slot, cg_operands* o, s4 next)
{
    quadruple* q = *slot;
    cg->branch_quad = cg->cur_quad;
    u4 operation = q->op;
    u4 cond = q->count;
    const reg_operand& d = o->r[0];
    const reg_operand& s1 = o->r[2];
    if (d.kind == s1.kind && d.type == s1.type && d.value == s1.value) {
        gen_op2_III(cg, slot, o);
        if (operation == QOP_ADD && cond == COND_LT) {
            cond = COND_S;
        } else if (cond != COND_EQ && cond != COND_NE) {
            cg_operands c = *o;
            c.r[2] = d;
            c.r[4] = {OPND_CONST, 'I', 0, 0, nullptr};
            gen_cmp_II(cg, slot, &c);
        }
    } else if (operation == QOP_SUB) {
        gen_cmp_II(cg, slot, o);
    } else if (operation == QOP_AND) {
        gen_test_II(cg, slot, o);
    }
    branch_tail(cg, q, cond, next);
}

static void dispatch_fcmp_branch(codegen_context* cg, quadruple** slot, cg_operands* o, s4 next)
{
    quadruple* q = *slot;
    cg->branch_quad = cg->cur_quad;
    u4 b = (u4)cg->cur_bb;
    bbattr* bb = cur_block(cg);
    u4 cond = q->op;
    u4 target = q->target;
    if (next >= 0 && target == (u4)next && reverse_jump_cond(cond) != cond) {
        cond = reverse_jump(cg, cond, b, target);
        target = bb->succ_count > 1 ? bb->succ[1] : q->target;
    }
    cond = (u4)gen_fcmpu_CFF(cg, slot, o);
    gen_jmp_and_patch(cg, cond, target, b, next, 0);
}

// ---------------------------------------------------------------------------
// Calls.
// ---------------------------------------------------------------------------
static void dispatch_call(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    u4 previous = gen_fp_set_mode(cg, 0x2000);
    gen_setup_parameters_optlink(cg, slot);
    if (q->opcount & QC_SRC_MASK)
        o->list_n = set_operand_list(cg, slot, o->list, CG_LIST_MAX);
    if (q->subcode & QS_UNRESOLVED)
        gen_normal_invoke(cg, slot, o);
    else
        gen_optimized_invoke(cg, slot, o);
    gen_clear_parameters_optlink(cg, slot);
    set_return_register(cg, slot, o);
    gen_fp_set_mode(cg, previous);
    cg->spset_done = 0;
}

// ---------------------------------------------------------------------------
// Typed array access and the register-manager-only routes.
// ---------------------------------------------------------------------------
static void dispatch_xaccess(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    u4 type = q->subcode & QS_KIND_MASK;
    int load = q->opcode == OPC_XALOAD;
    if (!load)
        o->list_n = set_operand_list(cg, slot, o->list, CG_LIST_MAX);
    switch (type) {
    case 2: case 5: case 8: case 9: case 10: {
        if (load) {
            if (type == 2)
                setup_int(cg, slot, o->r);
            gen_iaload(cg, slot, o);
        } else {
            static const u1 size_code[11] = {0, 0, 2, 0, 0, 5, 0, 0, 3, 4, 1};
            o->long_flag = (u1)(8 | size_code[type]);
            gen_iastore(cg, slot, o);
        }
        break;
    }
    case 6: case 7:
        if (load) {
            setup_int(cg, slot, o->r);
            setup_float(cg, slot, o->x);
            gen_faload(cg, slot, o);
        } else {
            gen_fastore(cg, slot, o);
        }
        break;
    case 11:
        if (load) {
            setup_int(cg, slot, o->r);
            setup_long(cg, slot, o->x);
            gen_laload(cg, slot, o);
        } else {
            gen_lastore(cg, slot, o);
        }
        break;
    default:
        break;
    }
}

static void dispatch_pload(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    int r = (q->src1.flags & 0x01) ? _get_rd_int_oprnd(cg, &o->r[2], 0, -1) : _get_wt_int_oprnd(cg, &o->r[2], 0, -1);
    _assoc_int_oprnd(cg, &o->r[0], r, 0, 1);
}

static void dispatch_fixregs(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    static const u4 masks[3] = {0x08, 0x20, 0x40};   // ebx, esi, edi
    for (int i = 0; i < 3 && i < o->list_n; i++) {
        int r = _set_rd_int_oprnd(cg, &o->list[i], masks[i], 0, 0);
        if ((*slot)->opcode == OPC_FIXREGS)
            _assoc_int_oprnd(cg, &o->list[i], optim_set(cg, r, &o->list[i]), 0, 1);
    }
}

static void dispatch_regfix(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    u4 data_type = q->src1.kind >> QT_SHIFT;
    int fp = data_type == QT_DOUBLE || data_type == QT_FLOAT;
    reg_operand* op;
    if (fp) {
        setup_float(cg, slot, o->r);
        op = &o->r[2];
    } else if (data_type == QT_LONG) {
        setup_long(cg, slot, o->r);
        op = &o->r[2];
    } else {
        setup_int(cg, slot, o->r);
        op = &o->r[2];
    }
    if (q->target & 1) {
        if (fp)
            _spillout_fp_oprnd(cg, op);
        else
            _spillout_int_oprnd(cg, op, 1);
    } else if (q->target & 2) {
        if (fp)
            _assoc_fp_oprnd(cg, op, _get_rd_fp_oprnd(cg, op, 0), 0, 0);
        else
            _assoc_int_oprnd(cg, op, _get_rd_int_oprnd(cg, op, 0, -1), 0, 1);
    } else {
        if (fp)
            _free_fp_reg(cg, _get_rd_fp_oprnd(cg, op, 0), 0);
        else
            _free_int_reg(cg, _get_rd_int_oprnd(cg, op, 0, -1), 0, 0, 1);
    }
}

static void dispatch_return(codegen_context* cg, quadruple** slot, cg_operands* o, cg_generator* gen)
{
    gen_fp_set_mode(cg, 1024);
    gen(cg, slot, o);
    BB_reg_finalize(cg, (u4)cg->cur_bb, cg->m->bb_count - 1, 1);
}

static void dispatch_other(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    u4 sub = (*slot)->subcode & QS_KIND_MASK;
    switch (sub) {
    case OTHER_RETURN_VOID:
        dispatch_return(cg, slot, o, gen_method_return);
        break;
    case OTHER_RET: {
        setup_int(cg, slot, o->r);
        int r = _get_rd_int_oprnd(cg, &o->r[2], 0, -1);
        _assoc_int_oprnd(cg, &o->r[2], r, 0, 1);
        gen_fp_set_mode(cg, 1024);
        BB_reg_finalize(cg, (u4)cg->cur_bb, cg->m->bb_count - 1, 1);
        gen_jmp_gr(cg, 0, 0, (u4)reg_mgr_to_id[r & 7]);
        break;
    }
    case OTHER_NOP:
    case OTHER_NOP_DELETED:
        break;
    default:
        fatal("Bad SUBOPCODE for OPC_OTHER no=%d\n", (int)sub);
    }
}

// One quadruple.  Returns 1 when a switch generator fails.
static int dispatch_quad(codegen_context* cg, quadruple** slot, s4 next)
{
    quadruple* q = *slot;
    u4 opc = q->opcode;
    if (opc > (u4)OPC_LAST_GENERATED)
        fatal("Bad Single OPCODE found (opcode no=%d)\n", (int)opc);
    const cg_dispatch_row& row = cg_dispatch_table[opc];
    cg_operands o;
    for (int i = 0; i < 6; i++)
        o.r[i] = o.x[i] = CG_EMPTY_OPERAND;
    o.list_n = 0;
    o.long_flag = 0;

    switch (row.route) {
    case RT_NOTHING: return 0;
    case RT_UNEXPECTED: fatal("Unexpected Bytecode %d\n", (int)opc);
    case RT_BAD: fatal("Bad Single OPCODE found (opcode no=%d)\n", (int)opc);
    case RT_GEN:
        run_setup(cg, row.setup, slot, &o);
        if (opc == OPC_LCMP_BRANCH)
            cg->branch_quad = cg->cur_quad;   // its generator branches itself
        if (opc == OPC_LCONST && memop_is_defined(cg, &o.r[0]))
            return 0;
        if (row.gen2 != nullptr && !(q->subcode & QS_UNRESOLVED))
            row.gen2(cg, slot, &o);
        else
            row.gen1(cg, slot, &o);
        // Instanceof's generators drop the object before they bind the
        // result, which may live in the object's own stack slot.
        if (opc == OPC_MONITOR)
            invalidate_if_lastuse(cg, &o.r[2]);
        return 0;
    case RT_SPECIAL: break;
    }

    run_setup(cg, row.setup, slot, &o);
    switch (opc) {
    case OPC_OTHER: dispatch_other(cg, slot, &o); break;
    case OPC_IFZ: case OPC_IFCMP: case OPC_IFNULL: case OPC_IFACMP: dispatch_compare_branch(cg, slot, &o, next); break;
    case OPC_LCONST:
        if (!memop_is_defined(cg, &o.r[0]))
            gen_move_LL(cg, slot, &o);
        break;
    case OPC_IRETURN: case OPC_ARETURN: dispatch_return(cg, slot, &o, gen_method_ireturn); break;
    case OPC_LRETURN: dispatch_return(cg, slot, &o, gen_method_lreturn); break;
    case OPC_FRETURN: case OPC_DRETURN: dispatch_return(cg, slot, &o, gen_method_freturn); break;
    case OPC_SWITCH: {
        int r = (q->subcode & QS_KIND_MASK) == 0 ? gen_tableswitch(cg, slot, &o) : gen_lookupswitch(cg, slot, &o);
        if (r == 1)
            return 1;
        break;
    }
    case OPC_ICALL: case OPC_LCALL: case OPC_FCALL: case OPC_DCALL: case OPC_ACALL: case OPC_VCALL:
        dispatch_call(cg, slot, &o);
        break;
    case OPC_MULTIANEWARRAY:
        // The first dimension is last used by its push; the array that the
        // call returns takes the same operand-stack variable, so dropping
        // the dimension after the call would drop the new array instead.
        gen_argset_multianewarray(cg, slot, &o);
        invalidate_if_lastuse(cg, &o.r[2]);
        gen_multianewarray(cg, slot, &o);
        break;
    case OPC_L2F: case OPC_L2D:
        if (o.long_flag == 0) {
            // An int source: gen_I2F takes the int set-up in r[] and the
            // float one in x[] (its destination), as for I2F itself.
            setup_int(cg, slot, o.r);
            setup_float(cg, slot, o.x);
            gen_I2F(cg, slot, &o);
        } else
            gen_L2F(cg, slot, &o);
        break;
    case OPC_ATHROW:
        gen_athrow(cg, slot, &o);
        BB_reg_finalize(cg, (u4)cg->cur_bb, cg->m->bb_count - 1, 1);
        break;
    case OPC_GOTO: {
        bbattr* bb = cur_block(cg);
        gen_jmp_and_patch(cg, COND_ALWAYS, bb->succ_count != 0 ? bb->succ[0] : q->target, (u4)cg->cur_bb, next, 1);
        break;
    }
    case OPC_PLOAD: case OPC_PSTORE: dispatch_pload(cg, slot, &o); break;
    case OPC_XALOAD: case OPC_XASTORE: dispatch_xaccess(cg, slot, &o); break;
    case OPC_LDCTABLE: {
        u4 type = q->subcode & QS_KIND_MASK;
        if (type == 6 || type == 7)
            setup_float(cg, slot, o.r);
        else if (type == 10)
            setup_int(cg, slot, o.r);
        else if (type == 11)
            setup_long(cg, slot, o.r);
        gen_ldctable(cg, slot, &o);
        break;
    }
    case OPC_FIXREGS: case OPC_UNFIXREGS: dispatch_fixregs(cg, slot, &o); break;
    case OPC_REGFIX: dispatch_regfix(cg, slot, &o); break;
    case OPC_IARGCOPY: case OPC_AARGCOPY: case OPC_FARGCOPY: case OPC_DARGCOPY: case OPC_LARGCOPY:
        if (!cg->spset_done) {
            gen_spset(cg, q);
            cg->spset_done = 1;
        }
        gen_argcopy(cg, slot, &o);
        break;
    case OPC_IOP2_BRANCH: dispatch_op2_branch(cg, slot, &o, next); break;
    case OPC_NULLCHECK:
        gen_explicit_nullpointer_check(cg, slot, &o);
        invalidate_if_lastuse(cg, &o.r[2]);
        break;
    case OPC_CATCH:
        gen_load_exception_object(cg, &o.r[0]);
        gen_init_try_region(cg, (u4)cur_block(cg)->try_region);
        gen_finit_in_catch(cg);
        break;
    case OPC_FCMP_BRANCH: case OPC_DCMP_BRANCH: dispatch_fcmp_branch(cg, slot, &o, next); break;
    case OPC_MEMOP2_I: gen_op2_memopX(cg, q->op, &o.r[2], &o.r[4], &o.x[0], &o.x[1], slot); break;
    case OPC_MEMOP2_L: gen_op2_memopX(cg, q->op, &o.x[2], &o.x[4], &o.r[4], &o.r[5], slot); break;
    case OPC_MEMOP2_X: {
        reg_operand none = CG_EMPTY_OPERAND;
        gen_op2_memopX(cg, q->op, o.list_n > 0 ? &o.list[0] : nullptr, o.list_n > 1 ? &o.list[1] : nullptr,
                       o.list_n > 2 ? &o.list[2] : &none, o.list_n > 3 ? &o.list[3] : &none, slot);
        break;
    }
    case OPC_CHA_GUARD: {
        bbattr* bb = cur_block(cg);
        u4 which = (q->op & 0xF) == 2 && bb->succ_count > 1 ? 1 : 0;
        cg_close_window(cg);
        gen_jmp_and_patch_cha(cg, bb->succ_count != 0 ? bb->succ[which] : q->target, (u4)cg->cur_bb, next, 0);
        cg_open_window(cg);
        break;
    }
    case OPC_METHODBLOCKCHECK: case OPC_MTADDRESSCHECK:
        if (opc == OPC_METHODBLOCKCHECK)
            gen_methodblockcheck(cg, slot, &o);
        else
            gen_mtaddresscheck(cg, slot, &o);
        cg->branch_quad = cg->cur_quad;
        gen_jmp_and_patch(cg, q->op, q->target, (u4)cg->cur_bb, next, 0);
        break;
    default:
        fatal("Bad Single OPCODE found (opcode no=%d)\n", (int)opc);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Blocks.
// ---------------------------------------------------------------------------
static void hand_over_after_jsr(codegen_context* cg, bbattr* bb, quadruple* q)
{
    auto* subs = static_cast<subroutine_info*>(cg->m->subroutine_table);
    if (subs != nullptr && q->op < cg->m->subroutine_count && (subs[q->op].flags & 0x02))
        return;
    if (bb->succ_count == 0)
        return;
    u4 succ = bb->succ[0];
    bbattr* s = cg->bbtable[succ];
    create_default_register_info(cg, succ);
    clear_current_register_info(cg);
    set_stack_offset(cg, cg_fixed_stack_offset(cg));
    BB_reg_finalize(cg, (u4)cg->cur_bb, succ, 1);
    s->entry_state = (s->entry_state & ~0xFFu) | 1;
    s->entry_stack_offset = (u2)cg->mci->sp_offset;
}

// Successor linkage by the last quadruple's opcode; returns whether a linkage
// is still needed after the block.
static int link_successor(codegen_context* cg, bbattr* bb, s4 next)
{
    u4 b = (u4)cg->cur_bb;
    quadruple* last = bb->catbl[bb->quad_count - 1];
    u4 opc = last->opcode;
    u4 first = bb->succ_count != 0 ? bb->succ[0] : cg->m->bb_count - 1;
    switch (opc) {
    case OPC_IFZ: case OPC_IFCMP: case OPC_IFNULL: case OPC_IFACMP: case OPC_IOP2_BRANCH:
    case OPC_FCMP_BRANCH: case OPC_DCMP_BRANCH: case OPC_LCMP_BRANCH:
    case OPC_METHODBLOCKCHECK: case OPC_MTADDRESSCHECK:
        first = bb->succ_count != 0 ? bb->succ[0] : first;
        gen_jmp_and_patch(cg, COND_ALWAYS, first, b, next, 1);
        return (s4)first != next;
    case OPC_CHA_GUARD: {
        u4 which = (last->op & 0xF) == 2 && bb->succ_count > 1 ? 1 : 0;
        u4 succ = bb->succ_count != 0 ? bb->succ[which] : first;
        gen_jmp_and_patch_cha(cg, succ, b, next, 1);
        return (s4)succ != next;
    }
    case OPC_OTHER: {
        u4 sub = last->subcode & QS_KIND_MASK;
        if (sub == OTHER_RETURN_VOID || sub == OTHER_RET)
            return 1;
        gen_jmp_and_patch(cg, COND_ALWAYS, first, b, next, 1);
        return (s4)first != next;
    }
    case OPC_IRETURN: case OPC_LRETURN: case OPC_FRETURN: case OPC_DRETURN: case OPC_ARETURN: case OPC_ATHROW:
        return 1;
    case OPC_SWITCH: case OPC_GOTO:
        return (s4)first != next;
    case OPC_JSR:
        hand_over_after_jsr(cg, bb, last);
        return 1;
    default:
        gen_jmp_and_patch(cg, COND_ALWAYS, first, b, next, 1);
        return (s4)first != next;
    }
}

static int is_return(const quadruple* q)
{
    return (q->opcode >= OPC_IRETURN && q->opcode <= OPC_ARETURN) ||
           (q->opcode == OPC_OTHER && (q->subcode & QS_KIND_MASK) == OTHER_RETURN_VOID);
}

static void enter_block(codegen_context* cg, u4 b, bbattr* bb)
{
    method_compile_context* m = cg->m;
    bb_link* links = static_cast<bb_link*>(cg->link_table);
    u4 nbb = m->bb_count;
    if (!(bb->flags & BB_SWITCH_ENTRY) && !(bb->pred_count == 1 || (bb->entry_state & 0xFF))) {
        u4 w = links[b].waiting;
        if (links[w].pending)
            gen_single_bb_linkage(cg, w, links[w].target, 0);
    }
    // The block's address is an exact position: a window left open by a
    // returning block before is closed first.
    cg_close_window(cg);
    if ((bb->flags & BB_INNERMOST_LOOP) && (bb->flags & BB_LOOP_HEADER))
        _make_code_align(cg, 0, 16);
    if (cg->pass == CG_PASS_MEASURE)
        bb->pass1_offset = cg->code_size;
    if (bb->flags2 & BB2_EMPTY_ENTRY) {
        set_stack_offset(cg, cg_fixed_stack_offset(cg));
        // The transfer entry: where the interpreter's transfer continues
        // (the transfer record's free word keeps it for set_rmmi_info).
        cg_close_window(cg);
        if (cg->pass == CG_PASS_WRITE)
            m->frontend_words[TR_CLEARED] = (u4)(uintptr_t)cg->code;
        gen_change_execmode(cg, 1);
        if (compile_option_flag & OPT1_NSHRINKLVAR)
            gen_copy_data_for_alias_local_nshrinklvar(cg);
        else
            gen_copy_data_for_alias_local(cg);
        cg_close_window(cg);
    }
    cg->bb_address[b] = (u4)(uintptr_t)cg->code;
    cg->bb_address[nbb + b] = 0;
    cg->cur_bb = (s4)b;
    if (cg->bb_scratch != nullptr)
        *static_cast<s4*>(cg->bb_scratch) = -1;
    cg->mci->slot_count = (u2)(cg->mb->nlocals + m->max_stack + 11);
    cg->mci->fp_pop_pending = 0;
    cg_open_window(cg);
    if (bb->flags & BB_SWITCH_ENTRY)
        gen_switch_entry_bb_linkage(cg, links[b].waiting, b);
    else if (bb->pred_count == 1)
        gen_single_bb_linkage(cg, links[b].waiting, b, 1);
    if (bb->entry_state & 0xFF)
        set_stack_offset(cg, (s2)bb->entry_stack_offset);
    else if ((bb->flags & BB_HANDLER) || (bb->flags2 & BB2_EMPTY_ENTRY))
        set_stack_offset(cg, cg_fixed_stack_offset(cg));
    bb->code_offset = cg->code_size;
    if (m->max_stack != 0)
        BB_reg_initialize(cg, b);
    if (cg->mb->exception_table_length != 0 && (bb->flags & BB_TRY_BOUNDARY)) {
        cg_close_window(cg);
        gen_init_try_region(cg, (u4)bb->try_region);
        cg_open_window(cg);
    }
    init_search_reg(cg);
    register_cha_patch_list(cg, cg->bbtable, b);
}

int gen_code_for_bb_list(codegen_context* cg, u4* blocks, s4 count)
{
    method_compile_context* m = cg->m;
    for (s4 i = 0; i < count; i++) {
        u4 b = blocks[i];
        s4 next = i + 1 < count ? (s4)blocks[i + 1] : -1;
        bbattr* bb = cg->bbtable[b];
        if (bb->quad_count == 0 || (bb->flags & (BB_DEAD | BB_GENERATED)))
            continue;
        enter_block(cg, b, bb);
        for (u4 j = 0; j < bb->quad_count; j++) {
            cg->cur_quad = (s4)j;
            cg->quad_start = 1;
            quadruple** slot = &bb->catbl[j];
            if ((*slot)->opcount & QC_DELETED)
                continue;
            if (dispatch_quad(cg, slot, next) == 1)
                return 1;
            if (!(m->optimizer_byte & MCC_NO_TICK))
                _TICK(cg, slot, 3);
        }
        if (cg->mci->fp_pop_pending) {
            reg_operand top = {OPND_ARG, 'D', 0, 0, nullptr};
            int r = _get_rd_fp_oprnd(cg, &top, 0);
            gen_pop_fr(cg);
            _free_fp_reg(cg, r, 0);
        }
        int needed = link_successor(cg, bb, next);
        if (!is_return(bb->catbl[bb->quad_count - 1]))
            cg_close_window(cg);
        bb->flags |= BB_GENERATED;
        if (needed && next >= 0) {
            bbattr* nb = cg->bbtable[next];
            if (!(nb->flags2 & BB2_FLUSH_TEST) && (nb->flags & BB_KIND_MASK) != BB_KIND_LOOP) {
                gen_bb_linkage(cg, 0);
                gen_guess_and_load_mb(cg);
                gen_call_rtlib_to_throw_exception(cg, 0, 0);
            }
        }
    }
    return 0;
}
