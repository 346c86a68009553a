// Copy primitives over quadruples and blocks: pointer copies of a block's
// quadruple array (the quadruples shared), content copies into existing or
// fresh records, emptying a range of a block's quadruples, and the block
// duplicator of the recursion transformations, which appends a copy of a
// block of the method with its blocks, locals, subroutine records and lock
// slots moved by given offsets.
//
// The duplicator works on the front-end form (before quadruple generation):
// a local access names its local in the operator word, the sub-kind nibble is
// the operand form of opcode 0 and of jumps, and a return becomes a jump to
// the continuation block whose form (2 to 6) says which value it carries.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/qgen.h"
#include "inline/inline.h"

namespace {

constexpr u4 BB_REDIRECTED_JUMP_TARGET = 0x200000;   // target of a jump made from a return

void* zalloc(method_compile_context* m, u4 bytes)
{
    void* p = jit_wmem_alloc(m->pool1, bytes);
    if (p != nullptr)
        memset(p, 0, bytes);
    return p;
}

bool is_return(u1 op) { return op >= OPC_IRETURN && op <= OPC_ARETURN; }

// The copied block's last quadruple leaves the inlined body by an exception
// (an empty quadruple of form 2 or a throw), so it stays with the terminal.
bool exception_exit(const quadruple* q)
{
    return q != nullptr && ((q->opcode == OPC_OTHER && quad_kind_nibble(q) == OTHER_RET) || q->opcode == OPC_ATHROW);
}

struct offsets {
    u4 block, local, table, lock;
    s4 continuation;     // -1 none
    u4 terminal;
};

void make_jump_to_continuation(quadruple* q, const offsets& o, u4 form)
{
    q->opcode = OPC_GOTO;
    quad_set_kind_nibble(q, form);
    q->target = static_cast<u4>(o.continuation);
    q->second = o.block + 1;
}

// Copies constant-table payloads so that the copy owns them.
void copy_constant_array(method_compile_context* m, quadruple* q)
{
    u4 kind = quad_kind_nibble(q);
    u4 element = kind == 7 ? 8 : 4;
    u4 bytes = q->count * element;
    if (q->value == 0 || bytes == 0)
        return;
    void* copy = jit_wmem_alloc(m->pool1, bytes);
    memcpy(copy, reinterpret_cast<const void*>(q->value), bytes);
    q->value = reinterpret_cast<u4>(copy);
}

// Returns true when the quadruple became a jump from a return.
bool renumber(method_compile_context* m, quadruple* q, const offsets& o)
{
    u1 op = q->opcode;
    if (op > OPC_SYNCEXIT)
        return false;
    bool has_cont = o.continuation >= 0;
    switch (op) {
    case OPC_OTHER:
        if (quad_kind_nibble(q) == OTHER_RETURN_VOID && has_cont) {
            make_jump_to_continuation(q, o, OTHER_RETURN_VOID);
            return true;
        }
        if (quad_kind_nibble(q) == OTHER_RET)
            q->op = static_cast<u2>(q->op + o.local);
        return false;
    case OPC_ILOAD: case OPC_ISTORE: case OPC_LLOAD: case OPC_LSTORE: case OPC_FLOAD: case OPC_FSTORE:
    case OPC_DLOAD: case OPC_DSTORE: case OPC_ALOAD: case OPC_ASTORE: case OPC_IINC: case OPC_XALOAD:
    case OPC_XASTORE: case OPC_XSTORE:
        q->op = static_cast<u2>(q->op + o.local);
        return false;
    case OPC_IFZ: case OPC_IFCMP: case OPC_IFNULL: case OPC_IFACMP:
        q->target += o.block;
        return false;
    case OPC_JSR:
        q->second = o.table + q->op;
        q->target += o.block;
        return false;
    case OPC_GOTO:
        if (q->target < o.terminal)
            q->target += o.block;
        if (quad_kind_nibble(q) != 0)
            q->second += o.block;
        return false;
    case OPC_PLOAD: case OPC_PSTORE:
        q->count = static_cast<u2>(q->count + o.local);
        return false;
    case OPC_LDCTABLE:
        if (quad_kind_nibble(q) == 6 || quad_kind_nibble(q) == 7 || quad_kind_nibble(q) == 10)
            copy_constant_array(m, q);
        return false;
    case OPC_CHA_GUARD:
        q->target += o.block;
        return false;
    case OPC_SYNCENTER: case OPC_SYNCEXIT:
        q->op = static_cast<u2>(q->op + o.lock);
        q->count = static_cast<u2>(q->count + o.local);
        if (quad_kind_nibble(q) == 1)
            q->aux += o.local;
        return false;
    default:
        if (is_return(op) && has_cont) {
            make_jump_to_continuation(q, o, 2u + (op - OPC_IRETURN));
            return true;
        }
        return false;
    }
}

void append_terminal_link(method_compile_context* m, bbattr* terminal, u4 id)
{
    auto* links = static_cast<u4*>(jit_wmem_alloc(m->pool1, (terminal->pred_count + 1) * 4));
    if (terminal->pred_count > 0)
        memcpy(links, terminal->succ, terminal->pred_count * 4);
    links[terminal->pred_count++] = id;
    terminal->succ = links;
}

} // namespace

void catbl_ncopy(quadruple** dst, quadruple* const* src, u4 count)
{
    if (count > 0)
        memmove(dst, src, count * sizeof(quadruple*));
}

void codeattr_ncopy(quadruple** dst, quadruple* const* src, u4 count)
{
    for (u4 i = 0; i < count; i++)
        if (dst[i] != src[i])
            memcpy(dst[i], src[i], sizeof(quadruple));
}

void catbl_ncopy_with_allocation(quadruple** dst, quadruple* const* src, u4 count, method_compile_context* m)
{
    if (count == 0)
        return;
    auto* fresh = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, count * sizeof(quadruple)));
    for (u4 i = 0; i < count; i++) {
        memcpy(&fresh[i], src[i], sizeof(quadruple));
        dst[i] = &fresh[i];
    }
}

void fill_nop_in_bb(bbattr* b, u4 first, u4 last)
{
    for (u4 i = first; i <= last && i < b->quad_count; i++) {
        quadruple* q = b->catbl[i];
        memset(q, 0, sizeof *q);
        q->target = 0xFFFFFFFFu;
        q->opcode = OPC_OTHER;
        quad_set_kind_nibble(q, OTHER_NOP_DELETED);
        quad_set_source_pc(q, -1);
    }
}

bbattr* duplicate_a_bbattr_for_inlining(u4 new_id, bbattr* src, u4 block_offset, u4 local_offset, u4 table_offset,
                                        u4 lock_offset, bbattr* call_block, bbattr* continuation, bbattr* terminal,
                                        u4 terminal_id, method_compile_context* m)
{
    auto* b = static_cast<bbattr*>(zalloc(m, sizeof(bbattr)));
    b->flags = src->flags | (call_block->flags & BB_INLINE_KEEP);
    b->flags2 = src->flags2;
    b->loop_depth = src->loop_depth;
    b->loop_index = src->loop_index;
    b->id = new_id;
    b->try_region = -1;
    if (src->flags & BB_DEAD)
        return b;
    b->quad_count = src->quad_count;
    b->start_pc = src->start_pc;
    b->pred_count = src->pred_count;
    b->succ_count = src->succ_count;
    b->mb = src->mb;
    b->succ = static_cast<u4*>(zalloc(m, (src->succ_count + 1) * 4));
    b->catbl = static_cast<quadruple**>(zalloc(m, (src->quad_count + 1) * sizeof(quadruple*)));

    offsets o = {block_offset, local_offset, table_offset, lock_offset,
                 continuation != nullptr ? static_cast<s4>(continuation->id) : -1, terminal_id};
    const quadruple* last = src->quad_count > 0 ? src->catbl[src->quad_count - 1] : nullptr;
    for (u4 k = 0; k < src->succ_count; k++) {
        u4 s = src->succ[k];
        if (s != terminal_id) {
            b->succ[k] = s + block_offset;
        } else if (continuation != nullptr && !exception_exit(last)) {
            b->succ[k] = continuation->id;
            continuation->pred_count++;
        } else {
            b->succ[k] = terminal_id;
            append_terminal_link(m, terminal, new_id);
        }
    }

    catbl_ncopy_with_allocation(b->catbl, src->catbl, src->quad_count, m);
    bool jumped = false;
    for (u4 k = 0; k < b->quad_count; k++)
        jumped |= renumber(m, b->catbl[k], o);
    if (jumped) {
        u4 first = block_offset + 1;
        bbattr* marked = first < new_id && first < m->bb_count ? m->bb_table[first] : b;
        marked->flags |= BB_REDIRECTED_JUMP_TARGET;
    }
    return b;
}
