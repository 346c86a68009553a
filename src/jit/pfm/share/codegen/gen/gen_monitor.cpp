// Monitor quadruples: monitorenter and monitorexit, and the entry and exit
// of a synchronized region (an inlined synchronized method), built on the
// thin-lock fast paths and slow paths of gen_sync.cpp.
//
// A synchronized region keeps a two-word monitor node {next node, object}
// in a pair of local slots.  Its entry stores the object, takes the lock and
// pushes the node on the monitor list of the newest exception registration;
// its exit unlinks the node first and then releases the lock, so a node is
// listed only while its monitor is held and the exception filter releases
// exactly the monitors of the frames it unwinds.
#include "codegen/gen/gen_arith.h"
#include "codegen/glue/gen_glue.h"
#include "codegen/gen/gen_object.h"
#include "codegen/gen/gen_sync.h"


namespace {

// Frame displacement (from esp) of word `second` of the monitor node.
s4 node_disp(codegen_context* cg, const quadruple* q, int second)
{
    return C_Style_local(cg, (s4)q->count, 1) - cg->mci->sp_offset + (second ? 4 : 0);
}

// reg = the newest exception registration (word 0 of the thread-local area).
void load_registration(codegen_context* cg, u4 reg)
{
    _gen_move_gr_gr(cg, reg, GR_ESP);
    _gen_ARITHMETIC_xgr_i4(cg, ALU_AND, reg, (s4)orva_tla_mask, SIZE_DWORD);
    _gen_move_gr_mm(cg, reg, reg, 0, 0, 0);
}

constexpr s4 REGISTRATION_MONITORS = 8;   // registration + 8: head of its monitor list
constexpr u4 THROW_NULL_POINTER = 0xE000000Du;

} // namespace

// monitorenter (op 0) and monitorexit (op 1).  The object is read into a
// kill register; writing the kill registers back empties them in the model
// but leaves the object in its register for the fast path.
int gen_monitor(codegen_context* cg, quadruple** slot, cg_operands* o)
{
    quadruple* q = *slot;
    reg_operand* obj = &o->r[2];
    if (op_is_imm(obj)) {
        // The null constant: entering or leaving its monitor raises at once.
        _gen_test_and_throw_exception(cg, COND_ALWAYS, 0, 0, 0, 0, 0, THROW_NULL_POINTER, nullptr, 0);
        return 0;
    }
    int r = _set_rd_int_oprnd(cg, obj, RM_KILL_REGS, 0, 0);
    obj_write_back_for_call(cg);
    int reopen = (cg->flags & CG_SCHED_WINDOW_OPEN) != 0;
    if (reopen)
        cg_close_window(cg);
    if (q->op == 0)
        gen_BBmonitor_enter(cg, gid(r));
    else
        gen_BBmonitor_exit(cg, gid(r));
    if (reopen)
        cg_open_window(cg);
    return 0;
}

// Entry of a synchronized region (an inlined synchronized method): the
// lock object (a local, or the class of a static method) is stored into the
// node's object word, the lock is taken, and the node is pushed on the
// monitor list of the newest exception registration, so that an exception
// unwinding the frame releases it.
int gen_syncenter(codegen_context* cg, quadruple** slot, cg_operands*)
{
    quadruple* q = *slot;
    reg_operand obj;
    u4 kind = q->subcode & QS_KIND_MASK;
    if (kind == 2 || (q->flags_a & QA_CONSTANT)) {
        obj = {OPND_CONST, 'I', 0, q->value, nullptr};
    } else {
        obj = {OPND_LOCAL, 'I', 0, (u4)q->src1.number, &q->src1};
    }
    int r = -1;
    if (obj.kind == OPND_LOCAL)
        r = _set_rd_int_oprnd(cg, &obj, RM_KILL_REGS, 0, 0);
    obj_write_back_for_call(cg);
    int reopen = (cg->flags & CG_SCHED_WINDOW_OPEN) != 0;
    if (reopen)
        cg_close_window(cg);
    u4 o = r >= 0 ? gid(r) : GR_ECX;
    if (r < 0)
        _gen_move_gr_i4(cg, o, (s4)obj.value);
    _gen_move_mm_gr(cg, GR_ESP, 0, 0, node_disp(cg, q, 1), o, SIZE_DWORD);
    gen_BBmonitor_enter(cg, o);
    // eax, ecx and edx are free again; link the node.
    load_registration(cg, GR_ECX);
    _gen_move_gr_mm(cg, GR_EDX, GR_ECX, 0, 0, REGISTRATION_MONITORS);
    _gen_move_mm_gr(cg, GR_ESP, 0, 0, node_disp(cg, q, 0), GR_EDX, SIZE_DWORD);
    _gen_lea_gr_mm(cg, GR_EDX, GR_ESP, 0, 0, node_disp(cg, q, 0));
    _gen_move_mm_gr(cg, GR_ECX, 0, 0, REGISTRATION_MONITORS, GR_EDX, SIZE_DWORD);
    if (reopen)
        cg_open_window(cg);
    return 0;
}

// Exit of a synchronized region: the node is unlinked first, then the lock
// released (so a node is listed only while its monitor is held).
int gen_syncexit(codegen_context* cg, quadruple** slot, cg_operands*)
{
    quadruple* q = *slot;
    obj_write_back_for_call(cg);
    int reopen = (cg->flags & CG_SCHED_WINDOW_OPEN) != 0;
    if (reopen)
        cg_close_window(cg);
    load_registration(cg, GR_EAX);
    _gen_move_gr_mm(cg, GR_EDX, GR_ESP, 0, 0, node_disp(cg, q, 0));
    _gen_move_mm_gr(cg, GR_EAX, 0, 0, REGISTRATION_MONITORS, GR_EDX, SIZE_DWORD);
    _gen_move_gr_mm(cg, GR_ECX, GR_ESP, 0, 0, node_disp(cg, q, 1));
    gen_BBmonitor_exit(cg, GR_ECX);
    if (reopen)
        cg_open_window(cg);
    return 0;
}
