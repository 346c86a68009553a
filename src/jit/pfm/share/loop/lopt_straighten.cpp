// Block merging and straightening.
//
// `bb_straightening` walks the DFS list and cuts it into chains: a chain
// continues from a block B to the next DFS block S when B falls into S and
// nothing else does (B has S as its only successor, S has B as its only
// predecessor), the two agree on loop and try-range membership, and neither
// B's last quadruple nor S's marks forbid it.  Each chain is merged into its
// first block (`bb_merge`): the quadruple arrays are concatenated, gotos inside
// the chain are dropped, the first block takes the last one's successors, and
// the absorbed blocks are flagged 0x2000 (they keep their numbers until the
// next renumbering).  Block 0, block 1 (the method's entry pad) and the exit
// block never join a chain.
//
// Every merged quadruple array is allocated before the first block or map is
// rewritten, so a failing allocation leaves the method untouched and is
// reported as a straightening failure.
#include <stdio.h>
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "loop/loop.h"

namespace {

constexpr u4 MERGE_ACCUMULATED = BB_LOOP_HEAD | BB_LOOP_EXITING | BB_LOOP_FIRST | BB_LOOP_LAST
                                 | BB_LOOP_INNERMOST_HEAD | BB_LOOP_INNERMOST_EXIT | BB_LOOP_HEADER;
static_assert(MERGE_ACCUMULATED == 0x400c78);

struct chain_list {
    bb_chain_node* chain;
    quadruple** merged;         // the chain's merged quadruple array, made up front
    u4 merged_count;
    chain_list* next;
};

u4 chain_quads(method_compile_context* m, const bb_chain_node* c)
{
    u4 total = 0;
    for (; c != nullptr; c = c->next)
        total += m->bb_table[c->block]->quad_count;
    return total;
}

// Turns a quadruple into the empty form that remove_nop squeezes out.
void make_empty(quadruple* q)
{
    q->opcode = OPC_OTHER;
    q->subcode = static_cast<u2>((q->subcode & ~QS_KIND_MASK) | OTHER_NOP_DELETED);
    q->target = 0;
    q->second = 0;
    q->opcount = static_cast<u2>(q->opcount & ~QC_SRC_MASK);
    quad_operand* ops[4] = {&q->result, &q->auxop, &q->src1, &q->src2};
    for (quad_operand* o : ops)
        memset(o, 0, sizeof *o);
    quad_set_source_pc(q, -1);
}

// The merge proper, into an array allocated by the caller.
void merge_into(method_compile_context* m, bb_chain_node* chain, quadruple** array)
{
    bbattr* first = m->bb_table[chain->block];
    bbattr* last = first;
    for (bb_chain_node* c = chain; c->next != nullptr; c = c->next)
        last = m->bb_table[c->next->block];
    u4 count = 0, dropped = 0;
    for (bb_chain_node* c = chain; c != nullptr; c = c->next) {
        bbattr* b = m->bb_table[c->block];
        bool is_last = b == last;
        for (u4 k = 0; k < b->quad_count; k++) {
            quadruple* q = b->catbl[k];
            if (q->opcode == OPC_GOTO && !is_last) {
                dropped++;
                continue;
            }
            if (q->opcode == OPC_GOTO || (q->opcode == OPC_SWITCH && !is_last))
                make_empty(q);
            array[count++] = q;
        }
        if (b != first) {
            b->flags |= BB_DEAD;
            first->flags |= b->flags & MERGE_ACCUMULATED;
        }
    }
    first->flags = (first->flags & ~BB_DFS_RULE) | (last->flags & BB_DFS_RULE);
    first->flags2 = (first->flags2 & ~BB2_FORWARD_BRANCH) | (last->flags2 & BB2_FORWARD_BRANCH);
    if (last != first) {
        first->succ_count = last->succ_count;
        first->succ = last->succ;
        if (last->flags2 & BB2_TRANSFER_PC) {
            last->flags2 &= ~BB2_TRANSFER_PC;
            first->flags2 |= BB2_TRANSFER_PC;
        }
    }
    first->quad_count = count;
    first->catbl = array;
    m->total_quad_count -= dropped;
}

bool agree(u4 a, u4 b, u4 bit) { return (a & bit) == (b & bit); }

// Whether the chain may continue from block b into the block at the next DFS
// position.
bool continues(method_compile_context* m, const bbattr* b, u4 next, int keep_mode)
{
    if (b->quad_count > 0) {
        const quadruple* last = b->catbl[b->quad_count - 1];
        if (last->opcode == OPC_JSR)
            return false;
        if (!keep_mode && last->opcode == OPC_GOTO && (last->subcode & QS_KIND_MASK) != 0)
            return false;
    }
    if (b->succ_count != 1 || b->succ[0] != next)
        return false;
    const bbattr* s = m->bb_table[next];
    if (s->pred_count != 1)
        return false;
    if ((s->flags & BB_STRAIGHT_STOP) || (!keep_mode && (s->flags & BB_JUMP_TARGET)))
        return false;
    if (s->flags2 & BB2_TRANSFER_POINT)
        return false;
    if (!agree(b->flags, s->flags, BB_LOOP_MEMBER) || !agree(b->flags, s->flags, BB_IN_TRY))
        return false;
    bool in_loop = (b->flags & BB_LOOP_MEMBER) != 0;
    if ((in_loop || b->try_region != s->try_region) && b->loop_index != s->loop_index)
        return false;
    if (in_loop && b->loop_depth != s->loop_depth
        && !((b->flags & BB_LOOP_INVALID) && (s->flags & BB_LOOP_INVALID)))
        return false;
    return true;
}

bb_chain_node* node(method_compile_context* m, u4 block)
{
    auto* n = static_cast<bb_chain_node*>(jit_wmem_alloc(m->pool1, sizeof(bb_chain_node)));
    n->block = block;
    n->next = nullptr;
    return n;
}

void map_level(method_compile_context* m, const u4* map, loopattribute* rec, bool full)
{
    if (rec == nullptr)
        return;
    rec->first_id = map[rec->first_id];
    rec->last_id = map[rec->last_id];
    if (full) {
        rec->entry_id = map[rec->entry_id];
        if (rec->entry_block != nullptr)
            rec->entry_block = m->bb_table[map[rec->entry_block->id]];
        if (rec->entry_successor != nullptr)
            rec->entry_successor = m->bb_table[map[rec->entry_successor->id]];
    }
    for (u4 i = 0; i < rec->block_count; i++)
        rec->blocks[i] = m->bb_table[map[rec->blocks[i]->id]];
}

} // namespace

int bb_merge(method_compile_context* m, bb_chain_node* chain)
{
    if (chain == nullptr || chain->next == nullptr)
        return 1;
    u4 total = chain_quads(m, chain);
    quadruple** array = nullptr;
    if (total > 0) {
        array = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, total * sizeof(quadruple*)));
        if (array == nullptr) {
            fprintf(stderr, "not enough memory\n");
            return 0;
        }
    }
    merge_into(m, chain, array);
    return 1;
}

int bb_straightening(method_compile_context* m, int keep_mode, int* changed)
{
    *changed = 0;
    u4 n = m->bb_count;
    if (n < 4)
        return 0;
    u4 exit = n - 1;
    auto* map = static_cast<u4*>(jit_wmem_alloc(m->pool1, n * sizeof(u4)));
    for (u4 i = 0; i < n; i++)
        map[i] = i;

    // Cut the DFS list into chains.
    chain_list* chains = nullptr;
    chain_list** tail = &chains;
    u4 p = 0;
    while (p < m->dfs_count) {
        auto* entry = static_cast<chain_list*>(jit_wmem_alloc(m->pool1, sizeof(chain_list)));
        memset(entry, 0, sizeof *entry);
        *tail = entry;
        tail = &entry->next;
        u4 b = m->dfs_array[p];
        if (b == 0 || b == exit) {
            entry->chain = node(m, b);
            p++;
            continue;
        }
        bb_chain_node** link = &entry->chain;
        u4 head = 0;
        while (p < m->dfs_count) {
            b = m->dfs_array[p];
            if (b == 0 || b == 1 || b == exit || b >= n) {
                if (entry->chain == nullptr)
                    p++;
                break;
            }
            if (entry->chain == nullptr)
                head = b;
            *link = node(m, b);
            link = &(*link)->next;
            map[b] = head;
            p++;
            if (p >= m->dfs_count || !continues(m, m->bb_table[b], m->dfs_array[p], keep_mode))
                break;
        }
    }

    // Every merged array before anything is rewritten.
    for (chain_list* c = chains; c != nullptr; c = c->next) {
        if (c->chain == nullptr || c->chain->next == nullptr)
            continue;
        c->merged_count = chain_quads(m, c->chain);
        if (c->merged_count == 0)
            continue;
        c->merged = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, c->merged_count * sizeof(quadruple*)));
        if (c->merged == nullptr) {
            fprintf(stderr, "Basic Block Straightening Failed because of Memory Allocation Error\n");
            return 1;
        }
    }

    bbattr* exit_block = m->bb_table[exit];
    for (u4 i = 0; i < exit_block->pred_count; i++)
        if (exit_block->succ[i] < n)
            exit_block->succ[i] = map[exit_block->succ[i]];
    for (chain_list* c = chains; c != nullptr; c = c->next)
        if (c->chain != nullptr && c->chain->next != nullptr)
            merge_into(m, c->chain, c->merged);
    *changed = chains != nullptr;

    for (u4 i = 0; i < m->loop_count; i++) {
        loop_table_record* loop = mcc_loop(m, i);
        if (loop == nullptr)
            continue;
        bool full = !(loop->flags & LOOP_INVALID);
        map_level(m, map, loop->body, full);
        if (full && loop->depth > 1 && loop->levels != nullptr)
            for (s4 k = 0; k < loop->depth; k++)
                if (loop->levels[k] != loop->body)
                    map_level(m, map, loop->levels[k], true);
    }
    return 0;
}
