// The reference-list form of the dataflow solver: per block and item one
// sorted, duplicate-free list of quadruple references (`varref_list`), the
// operations that copy, merge and compare such lists, and the iterators of
// the form (the passes of this form bring their own visitors).
//
// Lists are ordered by the reference taken as an unsigned word (quadruple
// index in the high half first, then block).  Nodes come from arena 1 of the
// pass context or the first work pool and are never freed one by one: a
// replaced list is simply dropped.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"

namespace {

varref_list* new_node(method_compile_context* m, dataflow_pass_context* pc, quad_ref ref, varref_list* next)
{
    auto* n = static_cast<varref_list*>(df_alloc(m, pc, sizeof(varref_list)));
    n->ref = ref;
    n->next = next;
    return n;
}

// Inserts ref in order; true when it was not there yet.
bool insert(method_compile_context* m, dataflow_pass_context* pc, varref_list** head, quad_ref ref)
{
    varref_list** link = head;
    while (*link != nullptr && (*link)->ref <= ref) {
        if ((*link)->ref == ref)
            return false;
        link = &(*link)->next;
    }
    *link = new_node(m, pc, ref, *link);
    return true;
}

int alloc_heads(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks, u4 n)
{
    u4 bytes = 4 * n;
    for (u4 b = 0; b < nblocks; b++) {
        u8* slots[4] = {&sets[b].in, &sets[b].out, &sets[b].gen, &sets[b].kill};
        for (u8* slot : slots) {
            void* heads = bytes != 0 ? df_alloc(m, pc, bytes) : nullptr;
            if (heads != nullptr)
                memset(heads, 0, bytes);
            df_set_slot_ptr(*slot, heads);
        }
    }
    return 1;
}

} // namespace

int Alloc_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                     dataflow_pass_descriptor* d)
{
    u4 n = d->n > 0 ? static_cast<u4>(d->n) : 0;
    if (u8{16} * n * nblocks > DF_REFS_LIMIT)
        return 0;
    return alloc_heads(m, pc, sets, nblocks, n);
}

int Arg_Alloc_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                         u4 nblocks, dataflow_pass_descriptor*, s4 n)
{
    return alloc_heads(m, pc, sets, nblocks, n > 0 ? static_cast<u4>(n) : 0);
}

int Init_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                    dataflow_pass_descriptor* d)
{
    return d->init_B != nullptr ? d->init_B(m, pc, sets, nblocks, d) : 0;
}

int Iter_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                    dataflow_pass_descriptor* d)
{
    return d->iter_B != nullptr ? d->iter_B(m, pc, sets, nblocks, d) : 0;
}

int Final_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                     dataflow_pass_descriptor* d)
{
    return d->final_B != nullptr ? d->final_B(m, pc, sets, nblocks, d) : 0;
}

void Free_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                     dataflow_pass_descriptor*)
{
}

int Dummy_Final_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                           dataflow_pass_descriptor*)
{
    return 0;
}

// The list form uses the bit-word visitor slot; the order is the same as the
// other forms' (DFS_Iter_DataFlow_B and RDFS_Iter_DataFlow_B call slot 5).
int DFS_Iter_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                        u4 nblocks, dataflow_pass_descriptor* d)
{
    return DFS_Iter_DataFlow_B(m, pc, sets, nblocks, d);
}

int RDFS_Iter_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                         u4 nblocks, dataflow_pass_descriptor* d)
{
    return RDFS_Iter_DataFlow_B(m, pc, sets, nblocks, d);
}

int Fwd_Visit_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*)
{
    return 0;
}
int Bwd_Visit_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*)
{
    return 0;
}
int Recv_Init_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*)
{
    return 0;
}

void ADD_VARREF(method_compile_context* m, dataflow_pass_context* pc, varref_list** heads, u4 item, u4 block,
                u4 index)
{
    insert(m, pc, &heads[item], make_quad_ref(block, index));
}

void DUP_VARREF0(method_compile_context* m, dataflow_pass_context* pc, varref_list** dst, varref_list** src,
                 u4 item)
{
    varref_list* head = nullptr;
    varref_list** tail = &head;
    for (const varref_list* s = src[item]; s != nullptr; s = s->next) {
        *tail = new_node(m, pc, s->ref, nullptr);
        tail = &(*tail)->next;
    }
    dst[item] = head;
}

void DUP_VARREF(method_compile_context* m, dataflow_pass_context* pc, varref_list** dst, varref_list** src, s4 n)
{
    for (s4 i = n - 1; i >= 0; i--)
        DUP_VARREF0(m, pc, dst, src, static_cast<u4>(i));
}

// One walk over both sorted lists; a reference of src missing from dst is
// linked in before the first greater one.
int MERGE_VARREF0(method_compile_context* m, dataflow_pass_context* pc, varref_list** dst, varref_list** src,
                  u4 item)
{
    int added = 0;
    varref_list** link = &dst[item];
    for (const varref_list* s = src[item]; s != nullptr; s = s->next) {
        while (*link != nullptr && (*link)->ref < s->ref)
            link = &(*link)->next;
        if (*link != nullptr && (*link)->ref == s->ref)
            continue;
        *link = new_node(m, pc, s->ref, *link);
        link = &(*link)->next;
        added = 1;
    }
    return added;
}

int MERGE_VARREF(method_compile_context* m, dataflow_pass_context* pc, varref_list** dst, varref_list** src, s4 n)
{
    int added = 0;
    for (s4 i = 0; i < n; i++)
        added |= MERGE_VARREF0(m, pc, dst, src, static_cast<u4>(i));
    return added;
}

int SAME_VARREF0(const varref_list* a, const varref_list* b)
{
    for (; a != nullptr && b != nullptr; a = a->next, b = b->next)
        if (a->ref != b->ref)
            return 0;
    return a == nullptr && b == nullptr;
}

int SAME_VARREF(varref_list* const* a, varref_list* const* b, s4 n)
{
    for (s4 i = 0; i < n; i++)
        if (!SAME_VARREF0(a[i], b[i]))
            return 0;
    return 1;
}

// A chain is one inline reference (nonzero kind) or a list head (kind 0).
int SAME_CHAIN(u4 a, u4 b, int kind_a, int kind_b)
{
    if ((kind_a != 0) != (kind_b != 0))
        return 0;
    if (kind_a != 0)
        return a == b;
    return SAME_VARREF0(reinterpret_cast<const varref_list*>(a), reinterpret_cast<const varref_list*>(b));
}

// Debug hooks: they walk the lists and print nothing.
void Dump_DataFlow0_R(const varref_list* list)
{
    for (; list != nullptr; list = list->next) {
    }
}

void Dump_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                     dataflow_pass_descriptor*)
{
}
