// Interpreter-to-compiled-code transfer points.
//
// A transfer compile (context flag MCC_MMI2JIT) compiles a method while an
// interpreter frame of it runs, so that the frame can continue in compiled
// code at the transfer pc.  The front end gives the method a transfer entry
// block, reached from the entry block, that jumps to the block where
// execution resumes; later passes may move the transfer point to a loop's
// entry pad or to a following block.
//
// The transfer record lives in the context's front-end words (TR_*): entry
// block (twice), block holding the transfer pc, resume block, a cleared word
// and the resume block's try region.
#include <string.h>

#include "driver/driver.h"
#include "frontend/fe_external.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "lib/rt_support.h"

namespace {

constexpr u4 FI_ENTRIES = 18;           // frame-iterator entries of the frame interface

// Words of the loop optimizer's loop record and body record that the moves
// touch: record = {id, flags, state, depth|pending, body, levels, outer id},
// body = {pre-entry links, first id, header id, entry pad block, successor,
// last id, block count, capacity, block array, exit count, exit array}.
constexpr u4 LOOP_FLAGS_WORD = 1;
constexpr u4 LOOP_BODY_WORD = 4;
constexpr u4 BODY_ENTRY_PAD = 3;
constexpr u4 BODY_BLOCKS = 8;
constexpr u4 LOOP_MOVED_TP = 0x40000;
constexpr u4 LOOP_TP_BITS = 0x11000;
constexpr u4 LOOP_HAS_TP = 0x1000;

} // namespace

int initialize_lvar_access_for_mmi2jit(method_compile_context* m)
{
    EE* ee = vm.EE != nullptr ? vm.EE() : nullptr;
    frame_iterator it{};
    if (ee == nullptr || vm.FrameIntf == nullptr)
        return 0;
    fi_init(ee, &it);
    fi_prev(&it);
    typedef void* (*local_access_fn)(frame_iterator* it);
    auto access = reinterpret_cast<local_access_fn>(vm.FrameIntf[FI_ENTRIES]);
    m->mmi_local_access = access != nullptr ? access(&it) : nullptr;
    return 0;
}

void attach_mmi_transfer_block(method_compile_context* m, bbattr* x, pc2bb_entry* pc_map)
{
    u4 pc = m->transfer_point - reinterpret_cast<u4>(m->mb->code);
    if (pc > m->mb->code_length)
        pc = 0;
    bbattr* p = m->bb_table[pc_map[pc].block];
    u4 r_id = p->succ_count > 0 ? p->succ[p->succ_count - 1] : m->bb_count - 1;
    bbattr* r = m->bb_table[r_id];
    bbattr* entry = m->bb_table[0];
    entry->succ[entry->succ_count++] = x->id;
    x->pred_count = 1;
    x->succ = static_cast<u4*>(jit_wmem_alloc(m->pool1, 4));
    x->succ[0] = r_id;
    x->succ_count = 1;
    r->pred_count++;
    x->flags2 |= BB2_RARE;
    auto* q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
    quad_clear_fresh(q, -1);
    q->opcode = OPC_GOTO;
    q->target = r_id;
    x->catbl = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, sizeof(quadruple*)));
    x->catbl[0] = q;
    x->quad_count = 1;
    m->total_quad_count++;
    x->try_region = r->try_region;
    u4* tr = m->frontend_words;
    tr[TR_ENTRY] = x->id;
    tr[TR_ENTRY2] = x->id;
    tr[TR_PC_BLOCK] = p->id;
    tr[TR_RESUME] = r_id;
    tr[TR_CLEARED] = 0;
    tr[TR_TRY] = static_cast<u4>(r->try_region);
    p->flags2 |= BB2_TRANSFER_PC;
    r->flags2 |= BB2_TRANSFER_POINT;
    x->flags2 |= BB2_EMPTY_ENTRY | BB2_ENDS_IN_BRANCH;
}

void move_mmi_tp_to_succeeding_bb(method_compile_context* m, void* loop, u4* transfer_record)
{
    u4* record = static_cast<u4*>(loop);
    u4* body = reinterpret_cast<u4*>(record[LOOP_BODY_WORD]);
    u4 first = body != nullptr ? reinterpret_cast<u4*>(body[BODY_BLOCKS])[0] : transfer_record[TR_RESUME];
    bbattr* first_block = m->bb_table[first];
    if (first_block->succ_count == 0)
        return;
    bbattr* carrier = m->bb_table[first_block->succ[0]];
    bbattr* old = m->bb_table[transfer_record[TR_RESUME]];
    old->flags2 &= ~BB2_TRANSFER_POINT;
    carrier->flags2 |= BB2_TRANSFER_POINT;
    transfer_record[TR_RESUME] = carrier->id;
    if (record[LOOP_FLAGS_WORD] & LOOP_MOVED_TP) {
        record[LOOP_FLAGS_WORD] &= ~LOOP_MOVED_TP;
        return;
    }
    record[LOOP_FLAGS_WORD] &= ~LOOP_TP_BITS;
    if ((carrier->flags & BB_KIND_LOOP) && m->loop_table != nullptr && carrier->loop_index >= 0)
        static_cast<u4*>(m->loop_table[carrier->loop_index])[LOOP_FLAGS_WORD] |= LOOP_HAS_TP;
}

void move_tp_to_entry_pad(method_compile_context* m, void* loop, bbattr* block, u4* edge)
{
    u4* record = static_cast<u4*>(loop);
    u4* body = reinterpret_cast<u4*>(record[LOOP_BODY_WORD]);
    if (body == nullptr || body[BODY_ENTRY_PAD] == 0)
        return;
    bbattr* pad = reinterpret_cast<bbattr*>(body[BODY_ENTRY_PAD]);
    pad->flags2 |= BB2_TRANSFER_POINT;
    block->flags2 &= ~BB2_TRANSFER_POINT;
    m->frontend_words[TR_RESUME] = pad->id;
    bbattr* s = m->bb_table[edge[0]];
    if (s->succ_count > 0) {
        m->bb_table[s->succ[0]]->pred_count--;
        pad->pred_count++;
        s->succ[0] = pad->id;
        if (s->quad_count > 0 && s->catbl[s->quad_count - 1]->opcode == OPC_GOTO)
            s->catbl[s->quad_count - 1]->target = pad->id;
    }
    edge[1] = 0;
}
