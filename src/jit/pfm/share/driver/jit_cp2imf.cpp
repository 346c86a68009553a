// Inlined-method code-position maps.
//
// While the code generator writes a method it records, for every call and
// faulting instruction inside inlined code, which inlined-method frame the
// code position belongs to (and, separately, the positions of exception
// paths).  After the writing pass each list is packed into a table in code
// memory that the run time reads:
//
//   +0  entry width W in bytes (0, 1, 2 or 4)
//   +4  entry count N
//   +8  address of the offsets array (= table + 12 + 4N)
//   +12 the N values, in registration order
//   then the N code offsets, W bytes each
//
// W is the byte length of the largest offset, 3 widened to 4.
#include <string.h>

#include "codegen/codegen_context.h"
#include "driver/driver.h"

namespace {

u4 significant_bits(u4 v)
{
    u4 bits = 0;
    while (v != 0) {
        bits++;
        v >>= 1;
    }
    return bits;
}

} // namespace

cp_node* register_inlined_method_frame(codegen_context* cg, u4 value, u1* position, cp_node** list)
{
    auto* node = static_cast<cp_node*>(jit_wmem_alloc(cg->m->pool1, sizeof(cp_node)));
    node->next = *list;
    node->offset = static_cast<u4>(position - cg->mci->code_start);
    node->value = value;
    *list = node;
    return node;
}

u1* fix_cp2imf_after_cs(codegen_context* cg, cp_node* node, u1* position)
{
    node->offset = static_cast<u4>(position - cg->mci->code_start);
    return cg->mci->code_start;
}

cp2imf_table* jit_pack_cp2imf(cp_node** list, method_compile_context* m)
{
    // Reverse in place: nodes were pushed at the head.
    cp_node* reversed = nullptr;
    u4 count = 0;
    u4 largest = 0;
    for (cp_node* n = *list; n != nullptr;) {
        cp_node* next = n->next;
        n->next = reversed;
        reversed = n;
        count++;
        if (n->offset > largest)
            largest = n->offset;
        n = next;
    }
    *list = reversed;
    if (count == 0)
        return nullptr;
    u4 width = (significant_bits(largest) + 7) / 8;
    if (width == 3)
        width = 4;
    u4 size = (width + 4) * count + 12;
    void* memory;
    jit_code_mem_alloc(&memory, m, size);
    auto* table = static_cast<cp2imf_table*>(memory);
    if (table == nullptr)
        return nullptr;
    table->width = width;
    table->count = count;
    table->offsets = reinterpret_cast<u1*>(table) + 12 + 4 * count;
    u4 i = 0;
    for (cp_node* n = reversed; n != nullptr; n = n->next, i++) {
        table->values[i] = n->value;
        memcpy(table->offsets + i * width, &n->offset, width);     // little-endian low bytes
    }
    return table;
}

void create_cp2imf_info(codegen_context* cg, method_compile_context* m, u4 used)
{
    thread_compile_record* rec = jit_compile_record(vm.EE != nullptr ? vm.EE() : nullptr);
    cp2imf_table* table = jit_pack_cp2imf(&cg->cp_list, m);
    if (rec != nullptr)
        rec->cp2imf = table;
}

void create_exc_cp2imf_info(codegen_context* cg, method_compile_context* m, u4 used)
{
    thread_compile_record* rec = jit_compile_record(vm.EE != nullptr ? vm.EE() : nullptr);
    cp2imf_table* table = jit_pack_cp2imf(&cg->cp_list_aux, m);
    if (rec != nullptr)
        rec->exc_cp2imf = table;
}
