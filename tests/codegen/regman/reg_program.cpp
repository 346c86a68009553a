// Random integer programs through the register manager (see reg_program.h).
#include "reg_program.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

u4 checkpoint_words[512];

namespace {

void checkpoint(reg_program* p, int r)
{
    int k = p->next_checkpoint++;
    gen_move_mm_gr(&p->f->cg, 0, 0, 0, (s4)(uintptr_t)&checkpoint_words[k], (u4)int_reg_to_ia32[r], SIZE_DWORD, 0x43);
}

u4 id(int r) { return (u4)int_reg_to_ia32[r]; }

}  // namespace

prog_op reg_program::random_op()
{
    auto local = [&] { return (int)(next() % (u4)nlocals); };
    prog_op op = {};
    switch (next() % 8) {
    case 0:
    case 1:
        op = {P_WRITE, local(), 0, 0, next()};
        break;
    case 2:
    case 3:
        op = {P_READ, local(), 0, 0, 0};
        break;
    case 4:
        op.kind = P_ADD;
        op.a = local();
        op.b = local();
        op.c = local();
        break;
    case 5:
        op = {P_READ_MASK, local(), 0, 0, 1u << (next() % 7) | ((next() & 1) ? 1u << (next() % 7) : 0)};
        break;
    case 6:
        op = {P_TEMP_SUM, local(), 0, 0, next() & 0xFFFF};
        break;
    default:
        op = (next() & 1) ? prog_op{P_SPILL, local(), 0, 0, next() & 1} : prog_op{P_FLUSH_KILL, 0, 0, 0, 0};
        break;
    }
    return op;
}

void reg_program::emit(const prog_op& op)
{
    prog_trace_op(op);
    codegen_context* cg = &f->cg;
    reg_operand oa = local_op(op.a), ob = local_op(op.b), oc = local_op(op.c);
    switch (op.kind) {
    case P_WRITE: {
        prog_trace_state(f, "   ");
        int r = _get_wt_int_oprnd(cg, &oa, 1, 0);
        gen_move_ireg_rawimmediate(cg, r, (s4)op.imm);
        _assoc_int_oprnd(cg, &oa, r, 0, 0);
        _free_int_reg(cg, r, 0, 0, 0);
        break;
    }
    case P_READ: {
        int r = _get_rd_int_oprnd(cg, &oa, 0, -1);
        checkpoint(this, r);
        _free_int_reg(cg, r, 0, 0, 0);
        break;
    }
    case P_ADD: {   // a = b + c
        int rb = _get_rd_int_oprnd(cg, &ob, 0, -1);
        int rc = _get_rd_int_oprnd(cg, &oc, 0, -1);
        int ra = _get_wt_int_oprnd(cg, &oa, 1, 0);
        if (ra == rc && ra != rb) {
            gen_arithmetic_gr_gr(cg, ALU_ADD, id(ra), id(rb));
        } else {
            gen_move_gr_gr(cg, id(ra), id(rb));
            gen_arithmetic_gr_gr(cg, ALU_ADD, id(ra), id(rc));
        }
        _assoc_int_oprnd(cg, &oa, ra, 0, 0);
        _free_int_reg(cg, rb, 0, 0, 0);
        _free_int_reg(cg, rc, 0, 0, 0);
        _free_int_reg(cg, ra, 0, 0, 0);
        break;
    }
    case P_READ_MASK: {
        int r = _set_rd_int_oprnd(cg, &oa, op.imm, 0, 0);
        if (!(op.imm >> r & 1))
            ADD_FAILURE() << "_set_rd_int_oprnd returned " << r << " outside mask " << op.imm;
        checkpoint(this, r);
        _free_int_reg(cg, r, 0, 0, 0);
        break;
    }
    case P_TEMP_SUM: {
        int t = _alloc_int_reg(cg, RM_ALL_INT, 0);
        gen_move_ireg_rawimmediate(cg, t, (s4)op.imm);
        int r = _get_rd_int_oprnd(cg, &oa, 0, -1);
        if (r == t)
            ADD_FAILURE() << "a locked temporary was handed out again";
        gen_arithmetic_gr_gr(cg, ALU_ADD, id(t), id(r));
        checkpoint(this, t);
        _free_int_reg(cg, r, 0, 0, 0);
        _free_int_reg(cg, t, 0, 0, 1);
        break;
    }
    case P_SPILL:
        _spillout_int_oprnd(cg, &oa, (int)op.imm);
        break;
    case P_FLUSH_KILL:
        _flush_int_regs(cg, RM_KILL_REGS, 0, 0, 0);
        break;
    }
}

void eval(const prog_op& op, prog_state* s)
{
    switch (op.kind) {
    case P_WRITE:
        s->value[op.a] = op.imm;
        break;
    case P_READ:
    case P_READ_MASK:
        s->checkpoints.push_back(s->value[op.a]);
        break;
    case P_ADD:
        s->value[op.a] = s->value[op.b] + s->value[op.c];
        break;
    case P_TEMP_SUM:
        s->checkpoints.push_back(s->value[op.a] + op.imm);
        break;
    default:
        break;
    }
}

bool verify_program(const prog_state& s, const machine& out, int nlocals, const char* what)
{
    for (size_t k = 0; k < s.checkpoints.size(); k++)
        if (checkpoint_words[k] != s.checkpoints[k]) {
            ADD_FAILURE() << what << ": checkpoint " << k << " read " << checkpoint_words[k] << ", expected "
                          << s.checkpoints[k];
            return false;
        }
    for (int l = 0; l < nlocals; l++)
        if (out.frame[frame_word_of_local(l)] != s.value[l]) {
            ADD_FAILURE() << what << ": local " << l << " holds " << out.frame[frame_word_of_local(l)]
                          << ", expected " << s.value[l];
            return false;
        }
    return true;
}

bool prog_tracing() { static int t = std::getenv("REG_TRACE") != nullptr; return t; }

void prog_trace_state(rm_fixture* f, const char* where)
{
    if (!prog_tracing())
        return;
    register_info* c = CUR(&f->cg);
    std::printf("%s @%zu:", where, (size_t)(f->cg.code - f->start));
    for (int r = 0; r < 7; r++)
        std::printf(" r%d=%c%d/%03x", r, c->ient[r].kind ? c->ient[r].kind : '-', c->ient[r].index, sw_get(c->imask, r));
    std::printf("\n");
}

void prog_trace_op(const prog_op& op)
{
    if (prog_tracing())
        std::printf("  op %d a%d b%d c%d imm%u\n", op.kind, op.a, op.b, op.c, op.imm);
}
