// Stack-depth records and the packed stack-pointer table.
//
// Compiled code keeps no frame pointer, so a frame's base is found from a
// return address only through the depth of esp at that point of the code.
// The writing pass records every change of esp as (code offset after the
// instruction, depth in words); after the pass the records are packed into a
// table in code memory whose address travels with the committed code:
//
//   byte 0  width of a code offset (1, 2 or 4)
//   byte 1  width of a depth (0, 1 or 2)
//   word 1  address of the depth array (= end of the offset array)
//   byte 8  the offsets, ascending, then the depths in the same order
//
// The recording entries are weak only so that the code-generation core's
// unit tests can put recorders in their place.
#include <stdio.h>
#include <string.h>

#include "codegen/cg_core.h"
#include "codegen/glue/gen_glue.h"
#include "driver/driver.h"

#define SUBSTITUTABLE __attribute__((weak))

// Absent from the method glue's own test binary.
#pragma weak jit_wmem_init

SUBSTITUTABLE sp_offset_info* update_sp_offset_table(codegen_context* cg, s2 sp_offset)
{
    method_code_info* mci = cg->mci;
    u4 offset = (u4)(cg->code - mci->code_start);
    u2 depth = (u2)((u2)(-sp_offset) >> 2);
    sp_offset_info* head = mci->sp_list;
    if (head != nullptr && head->offset == offset) {
        head->depth = depth;
        return head;
    }
    work_pool* pool = cg->m != nullptr ? cg->m->pool2 : nullptr;
    sp_offset_info* node =
        pool != nullptr ? static_cast<sp_offset_info*>(jit_wmem_alloc(pool, sizeof(sp_offset_info))) : nullptr;
    if (node == nullptr)
        cg_service_missing("work memory for the stack-depth records");
    node->next = head;
    node->offset = offset;
    node->depth = depth;
    mci->sp_list = node;
    return node;
}

SUBSTITUTABLE void fix_sp_table_after_cs(codegen_context* cg, sp_offset_info* node, u1* end)
{
    node->offset = (u4)(end - cg->mci->code_start);
}

static u4 significant_bits(u4 v)
{
    u4 n = 0;
    while (v != 0) {
        n++;
        v >>= 1;
    }
    return n;
}

static void put_le(u1* p, u4 v, u4 width)
{
    for (u4 i = 0; i < width; i++)
        p[i] = (u1)(v >> (8 * i));
}

static u4 get_le(const u1* p, u4 width)
{
    u4 v = 0;
    for (u4 i = 0; i < width; i++)
        v |= (u4)p[i] << (8 * i);
    return v;
}

static sp_offset_info* reverse_list(sp_offset_info* head)
{
    sp_offset_info* prev = nullptr;
    while (head != nullptr) {
        sp_offset_info* next = head->next;
        head->next = prev;
        prev = head;
        head = next;
    }
    return prev;
}

// Widths and size of the table of an ascending list.
static u4 measure_list(const sp_offset_info* list, u4* w1_out, u4* w2_out, u4* n_out)
{
    u4 n = 0, offset_bits = 0, depth_bits = 0;
    for (const sp_offset_info* p = list; p != nullptr; p = p->next) {
        n++;
        u4 b = significant_bits(p->offset);
        if (b > offset_bits)
            offset_bits = b;
        b = significant_bits(p->depth);
        if (b > depth_bits)
            depth_bits = b;
    }
    u4 w1 = (offset_bits + 7) / 8;
    if (w1 == 3)
        w1 = 4;
    // One entry at offset 0 still takes one byte: the reader counts the
    // entries by dividing the offset array's length by this width.
    if (w1 == 0 && n != 0)
        w1 = 1;
    u4 w2 = (depth_bits + 7) / 8;
    *w1_out = w1;
    *w2_out = w2;
    *n_out = n;
    return n == 0 ? 0 : SPT_HEADER_SIZE + n * (w1 + w2);
}

static void write_table(const sp_offset_info* list, u1* out, u4 w1, u4 w2, u4 n)
{
    memset(out, 0, SPT_HEADER_SIZE);
    out[0] = (u1)w1;
    out[1] = (u1)w2;
    u1* offsets = out + SPT_HEADER_SIZE;
    u1* depths = offsets + n * w1;
    put_le(out + 4, (u4)(uintptr_t)depths, 4);
    u4 i = 0;
    for (const sp_offset_info* p = list; p != nullptr; p = p->next, i++) {
        put_le(offsets + i * w1, p->offset, w1);
        put_le(depths + i * w2, p->depth, w2);
    }
}

u4 pack_sp_offset_list(sp_offset_info** list, u1* out)
{
    *list = reverse_list(*list);
    u4 w1, w2, n;
    u4 size = measure_list(*list, &w1, &w2, &n);
    if (out != nullptr && size != 0)
        write_table(*list, out, w1, w2, n);
    return size;
}

void create_sp_offset_info(codegen_context* cg, method_compile_context* m, u4 used)
{
    (void)used;
    sp_offset_info* list = reverse_list(cg->mci->sp_list);
    cg->mci->sp_list = list;
    u4 w1, w2, n;
    u4 size = measure_list(list, &w1, &w2, &n);
    u1* table = nullptr;
    if (size != 0) {
        void* out = nullptr;
        jit_code_mem_alloc(&out, m, size);
        if (out == nullptr)
            cg_service_missing("code memory for the stack-pointer table");
        table = static_cast<u1*>(out);
        write_table(list, table, w1, w2, n);
    }
    thread_compile_record* rec = vm.EE != nullptr ? jit_compile_record(vm.EE()) : nullptr;
    if (rec != nullptr)
        rec->md_word1 = (u4)(uintptr_t)table;
}

// The lookup the frame iterator performs: the entry that holds from its own
// offset up to the next entry.
u4 sp_offset_table_depth(const u1* table, u4 offset)
{
    if (table == nullptr)
        return 0;
    u4 w1 = table[0], w2 = table[1];
    const u1* depths = reinterpret_cast<const u1*>((uintptr_t)get_le(table + 4, 4));
    const u1* offsets = table + SPT_HEADER_SIZE;
    u4 n = w1 != 0 ? (u4)(depths - offsets) / w1 : 1;
    s4 i = 0;
    while (i < (s4)n && get_le(offsets + (u4)i * w1, w1) < offset)
        i++;
    if (i == (s4)n || get_le(offsets + (u4)i * w1, w1) > offset)
        i--;
    return i < 0 ? 0 : get_le(depths + (u4)i * w2, w2);
}

// A hand-written replacement body comes with its pairs (code address,
// stack offset in bytes) laid directly after its end; its table is built as
// a method's is, through a context of its own in the writing pass.  The
// records live in a work pool of the compile record's thread, released with
// the body's other work memory.
int create_sp_offset_info_for_replaced_method(method_compile_context* m, u1* start, u1* end, u4 pairs)
{
    if (pairs == 0)
        return 0;
    struct pair {
        u1* address;
        s4 offset;
    };
    static_assert(sizeof(pair) == 8);
    const pair* p = reinterpret_cast<const pair*>(end);
    work_pool* pool = &jit_wmem_init != nullptr ? jit_wmem_init(pairs * (u4)sizeof(sp_offset_info)) : nullptr;
    if (pool == nullptr)
        return 1;
    work_pool* saved = m->pool2;
    m->pool2 = pool;
    codegen_context cg;
    method_code_info mci;
    memset(&cg, 0, sizeof cg);
    memset(&mci, 0, sizeof mci);
    cg.pass = CG_PASS_WRITE;
    cg.m = m;
    cg.mb = m->mb;
    cg.mci = &mci;
    cg.flags = CG_SCHED_OFF;
    mci.code_start = start;
    for (u4 i = 0; i < pairs; i++) {
        cg.code = p[i].address;
        update_sp_offset_table(&cg, (s2)p[i].offset);
    }
    create_sp_offset_info(&cg, m, (u4)(end - start));
    m->pool2 = saved;
    return 0;
}
