// Catch frames.
//
// The method's JVM exception table becomes three linked tables in code memory
// that outlive the compile: the block-level exception table (built right
// after quadruple generation), the catch-frame directory and its handler
// records (built in the same front-end run), whose handler addresses are
// filled in after code generation.  The same code marks the blocks with their
// try regions.  Out-of-range pcs are clamped: start and handler to the last
// pc, end to the code length (the pc map's sentinel).
//
// Directory slot i lists, for an exception raised in entry i's range, the
// handler records to try in order: entry i itself, then every later entry
// whose range encloses it.  An entry that repeats the previous one gets
// count -1 and no records.
#include <string.h>

#include "codegen/codegen_context.h"
#include "driver/driver.h"
#include "frontend/frontend.h"

namespace {

u4 clamp(u4 pc, u4 limit) { return pc < limit ? pc : limit; }

bool encloses(const bb_exception_entry& outer, const bb_exception_entry& inner)
{
    return outer.start_bb <= inner.start_bb && inner.end_bb <= outer.end_bb;
}

bool same_entry(const bb_exception_entry& a, const bb_exception_entry& b)
{
    return a.start_bb == b.start_bb && a.end_bb == b.end_bb && a.handler_bb == b.handler_bb
           && a.catch_type == b.catch_type;
}

void* code_memory(method_compile_context* m, u4 size)
{
    void* p;
    jit_code_mem_alloc(&p, m, size);
    return p;
}

u4* control_block(methodblock* mb) { return static_cast<u4*>(mb->compiled_code_info); }

// Fills the records of every directory slot; with bb_address the handler
// addresses are written at once.
void fill_directory(method_compile_context* m, u4* cp, const bb_exception_entry* table, u4 n,
                    catch_directory_slot* dir, catch_handler_record* records, const u4* bb_address)
{
    catch_handler_record* next = records;
    for (u4 i = 0; i < n; i++) {
        if (dir[i].count < 0)
            continue;
        dir[i].records = next;
        s4 filled = 0;
        for (u4 j = i; j < n && filled < dir[i].count; j++) {
            if (!encloses(table[j], table[i]))
                continue;
            catch_handler_record& r = next[filled++];
            r.word0 = 0;
            r.class_name = table[j].catch_type != 0 && vm.GetClassConstantClassName != nullptr
                               ? vm.GetClassConstantClassName(cp, table[j].catch_type)
                               : nullptr;
            r.handler = j;
            r.needs_object = 1;
        }
        next += dir[i].count;
    }
    if (bb_address != nullptr)
        set_catch_frame_handlers(m, bb_address);
}

} // namespace

void setBBTryRegionInfo(method_compile_context* m, bbattr** table, u4 count, const pc2bb_entry* map,
                        const exception_entry* exc, u4 n, u4 subroutine_count, methodblock* mb)
{
    if (n == 0)
        return;
    u4 length = mb->code_length;
    for (u4 b = 0; b < count; b++)
        table[b]->try_region = -1;
    for (u4 i = n; i-- > 0;) {
        u4 start = map[clamp(exc[i].start_pc, length - 1)].block & 0xFFFF;
        u4 end = map[clamp(exc[i].end_pc, length)].block & 0xFFFF;
        u4 handler = map[clamp(exc[i].handler_pc, length - 1)].block & 0xFFFF;
        for (u4 b = start; b < end && b < count; b++)
            table[b]->try_region = static_cast<int32_t>(i);
        if (handler < count)
            table[handler]->flags |= BB_HANDLER;
    }
    if (count > 1 && table[1]->try_region != table[0]->try_region)
        table[1]->flags |= BB_TRY_BOUNDARY;
    for (u4 b = 1; b + 1 < count; b++) {
        bbattr* block = table[b];
        for (u4 s = 0; s < block->succ_count; s++) {
            u4 succ = block->succ[s];
            if (succ < count && table[succ]->try_region != block->try_region)
                table[succ]->flags |= BB_TRY_BOUNDARY;
        }
    }
    bbattr* entry = table[0];
    for (u4 s = 0; s < entry->succ_count; s++) {
        s4 succ = static_cast<s4>(entry->succ[s]);
        if (succ < 0 && static_cast<u4>(-succ) < count)
            table[-succ]->flags |= BB_TRY_BOUNDARY;
    }
}

void build_bb_exception_table(method_compile_context* m, const pc2bb_entry* map)
{
    methodblock* mb = m->mb;
    u4 n = mb->exception_table_length;
    if (n == 0 || mb->exception_table == nullptr)
        return;
    auto* exc = reinterpret_cast<exception_entry*>(mb->exception_table);
    setBBTryRegionInfo(m, m->bb_table, m->bb_count, map, exc, n, m->subroutine_count, mb);
    auto* table = static_cast<bb_exception_entry*>(code_memory(m, n * sizeof(bb_exception_entry)));
    if (table == nullptr)
        return;     // the allocator reported it; the compile fails later without tables
    jit_code_mem_partial_free(table, reinterpret_cast<u1*>(table) + n * sizeof(bb_exception_entry));
    u4 length = mb->code_length;
    for (u4 i = 0; i < n; i++) {
        table[i].start_bb = static_cast<u2>(map[clamp(exc[i].start_pc, length - 1)].block);
        table[i].end_bb = static_cast<u2>(map[clamp(exc[i].end_pc, length)].block);
        table[i].handler_bb = static_cast<u2>(map[clamp(exc[i].handler_pc, length - 1)].block);
        table[i].catch_type = exc[i].catch_type;
    }
    m->exc_count = n;
    m->exc_count2 = n;
    m->exc_bb_table = table;
    exc[0].compiled_table = reinterpret_cast<u4>(table);
}

void link_exception_handler_blocks(method_compile_context* m)
{
    auto* table = static_cast<bb_exception_entry*>(m->exc_bb_table);
    if (table == nullptr)
        return;
    bbattr** blocks = m->bb_table;
    bbattr* entry = blocks[0];
    for (u4 i = 0; i < m->exc_count; i++) {
        const bb_exception_entry& e = table[i];
        if (e.start_bb < m->bb_count)
            blocks[e.start_bb]->flags |= BB_TRY_START;
        if (1 + i < entry->succ_count && e.handler_bb < m->bb_count) {
            entry->succ[1 + i] = e.handler_bb;
            blocks[e.handler_bb]->pred_count++;
        }
        for (u4 b = e.start_bb; b < e.end_bb && b < m->bb_count; b++)
            blocks[b]->flags |= BB_IN_TRY;
    }
}

void updateCatchFrame(method_compile_context* m, u4* cp, bb_exception_entry* table, u4 n)
{
    if (n == 0 || table == nullptr)
        return;
    auto* dir = static_cast<catch_directory_slot*>(code_memory(m, n * sizeof(catch_directory_slot)));
    if (dir == nullptr)
        return;
    jit_code_mem_partial_free(dir, reinterpret_cast<u1*>(dir) + n * sizeof(catch_directory_slot));
    u4 total = 0;
    for (u4 i = 0; i < n; i++) {
        dir[i].records = nullptr;
        if (i > 0 && same_entry(table[i], table[i - 1])) {
            dir[i].count = -1;
            continue;
        }
        s4 count = 1;
        for (u4 j = i + 1; j < n; j++)
            if (encloses(table[j], table[i]))
                count++;
        dir[i].count = count;
        total += static_cast<u4>(count);
    }
    auto* records = static_cast<catch_handler_record*>(code_memory(m, total * sizeof(catch_handler_record)));
    if (records == nullptr)
        return;
    jit_code_mem_partial_free(records, reinterpret_cast<u1*>(records) + total * sizeof(catch_handler_record));
    m->catch_frame_table = dir;
    fill_directory(m, cp, table, n, dir, records, nullptr);
}

int JITallocateCatchFrame(method_compile_context* m)
{
    updateCatchFrame(m, m->mb->clazz->constantpool, static_cast<bb_exception_entry*>(m->exc_bb_table),
                     m->exc_count);
    return 0;
}

void set_catch_frame_handlers(method_compile_context* m, const u4* bb_address)
{
    auto* table = static_cast<bb_exception_entry*>(m->exc_bb_table);
    auto* dir = static_cast<catch_directory_slot*>(m->catch_frame_table);
    if (table == nullptr || dir == nullptr)
        return;
    table[0].directory = dir;
    for (u4 i = 0; i < m->exc_count; i++) {
        for (s4 k = 0; k < dir[i].count; k++) {
            catch_handler_record& r = dir[i].records[k];
            u2 handler_bb = table[r.handler].handler_bb;
            r.handler = bb_address[handler_bb];
            const bbattr* hb = handler_bb < m->bb_count ? m->bb_table[handler_bb] : nullptr;
            bool drops_object = hb != nullptr && hb->quad_count != 0 && hb->catbl[0]->opcode == OPC_CATCH
                                && (hb->catbl[0]->result.kind & QK_KIND_MASK) == QK_NONE;
            r.needs_object = drops_object ? 0 : 1;
        }
    }
}

int JITsetCatchFrame(method_compile_context* m, const u4* bb_address)
{
    set_catch_frame_handlers(m, bb_address);
    return 0;
}

void compileCatchFrame(method_compile_context* m, u4* cp, bb_exception_entry* table, u4 n, const u4* bb_address)
{
    updateCatchFrame(m, cp, table, n);
    set_catch_frame_handlers(m, bb_address);
}

int match_catch_class_name(classblock* cls, classblock* thrown, const char* name)
{
    for (classblock* c = thrown; c != nullptr; c = c->superclass)
        if (strcmp(c->name, name) == 0)
            return c->loader == cls->loader ? 1 : 0;
    return 0;
}

int getExcLongjmpTargetBB(codegen_context* state, int index, classblock* thrown)
{
    if (index < 0)
        return -1;
    methodblock* mb = state->mb;
    auto* exc = reinterpret_cast<exception_entry*>(mb->exception_table);
    if (exc == nullptr || static_cast<u4>(index) >= mb->exception_table_length)
        return -1;
    auto* table = reinterpret_cast<bb_exception_entry*>(exc[0].compiled_table);
    if (table == nullptr)
        return -1;
    classblock* cls = state->bbtable[state->cur_bb]->mb->clazz;
    auto catches = [&](const bb_exception_entry& e) {
        if (e.catch_type == 0)
            return true;
        const char* name = vm.GetClassConstantClassName(cls->constantpool, e.catch_type);
        return name != nullptr && match_catch_class_name(cls, thrown, name) != 0;
    };
    const bb_exception_entry& e = table[index];
    if (catches(e))
        return e.handler_bb;
    for (u4 j = static_cast<u4>(index) + 1; j < mb->exception_table_length; j++)
        if (encloses(table[j], e) && catches(table[j]))
            return table[j].handler_bb;
    return -1;
}

void prolog_rejit_info(method_compile_context* m, u4 existing)
{
    u4* ccb = control_block(m->mb);
    if (existing != 0 && ccb != nullptr && ccb[NCCB_REJIT_WORD] != 0) {
        m->rejit_cell = reinterpret_cast<void**>(ccb[NCCB_REJIT_WORD]);
        m->rejit_new_list = 0;
        return;
    }
    m->rejit_cell = static_cast<void**>(jit_wmem_alloc(m->pool1, sizeof(void*)));
    *m->rejit_cell = nullptr;
    m->rejit_new_list = 1;
}

void epilog_rejit_info(method_compile_context* m)
{
    if (!m->rejit_new_list || m->rejit_cell == nullptr)
        return;
    u4* ccb = control_block(m->mb);
    if (ccb == nullptr)
        return;
    const u4* list = static_cast<const u4*>(*m->rejit_cell);
    if (list == nullptr || list[0] == 0) {
        ccb[NCCB_REJIT_WORD] = 0;
        return;
    }
    u4 bytes = 12 + 8 * list[0];
    auto* cell = static_cast<u4*>(code_memory(m, 4 + bytes));
    if (cell == nullptr)
        return;
    memcpy(cell + 1, list, bytes);
    cell[0] = reinterpret_cast<u4>(cell + 1);
    ccb[NCCB_REJIT_WORD] = reinterpret_cast<u4>(cell);
}
