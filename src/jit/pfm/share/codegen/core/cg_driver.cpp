// Code-generation driver: turns one method whose quadruples are generated,
// optimised and register-planned into committed IA-32 code.
//
// The one-pass generator runs twice over the same quadruples: pass 1 measures
// (every emitter writes into a 16-byte scratch area in this frame and adds its
// length to code_size), pass 2 writes into a code buffer of exactly the
// measured size.  Between and after the passes the driver resolves the
// recorded jump sites, builds the stack and code-position maps, checks that
// the written code fits, trims the buffer and publishes the code to the
// method block and the thread's compile record.  `JITGenNativeCode_glue` is
// the sibling for native and abstract methods: one writing pass.
//
// Result 0: committed; 1: nothing committed (the method stays with the
// interpreter).  A neighbouring service that is not built yet ends the run the
// same way: `cg_service_missing` jumps back here and the driver answers 1, so
// no compile is ever reported done with a hole in its code.
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "codegen/cg_core.h"
#include "driver/driver.h"
#include "frontend/frontend.h"

// ---------------------------------------------------------------------------
// Soft failure of a missing service.  One code generation runs at a time
// (under the global compile lock), so one recovery point suffices.
// ---------------------------------------------------------------------------
const char* cg_missing_service;

namespace {
struct cg_run_state {
    sigjmp_buf* target;            // recovery point of the running driver, or 0
    method_compile_context* m;
    work_pool* saved_pool;         // the compile context's scratch pool during pass 1
    work_pool* pass1_pool;         // the pass-1 pool while installed
    work_pool* table_pool;         // the driver's table pool
};
cg_run_state cg_run;
}

void cg_service_missing(const char* name)
{
    cg_missing_service = name;
    if (cg_run.target != nullptr)
        siglongjmp(*cg_run.target, 1);
    fprintf(stderr, "JIT internal error: %s is not available\n", name);
    exit(-1);
}

// Undo what the interrupted run changed in the compile context; the pools go
// with the compilation's other pools.
static void cg_recover(void)
{
    method_compile_context* m = cg_run.m;
    if (cg_run.pass1_pool != nullptr) {
        jit_wmem_free(cg_run.pass1_pool);
        m->pool2 = cg_run.saved_pool;
    }
    cg_run.pass1_pool = nullptr;
}

// ---------------------------------------------------------------------------
// Tables carved for one method.
// ---------------------------------------------------------------------------
namespace {
struct cg_tables {
    u4 bb_address_size, backpatch_size, link_size, cp_size, local_size;
};
}

static cg_tables cg_table_sizes(const method_compile_context* m)
{
    u4 nbb = m->bb_count;
    cg_tables t;
    t.bb_address_size = 8 * nbb;
    t.backpatch_size = (u4)sizeof(backpatch_rec) * (3 * nbb + m->switch_target_total);
    t.link_size = (u4)sizeof(bb_link) * nbb;
    t.cp_size = CG_CP_ENTRY_SIZE * m->total_quad_count;
    t.local_size = 4 * (u4)m->local_count;
    return t;
}

u4 cg_table_pool_size(const method_compile_context* m)
{
    cg_tables t = cg_table_sizes(m);
    return t.bb_address_size + t.backpatch_size + t.link_size + t.cp_size + t.local_size;
}

// A table of `size` bytes; a zero-sized table may be absent.  Returns 1 when
// a table with a positive count cannot be carved.
static int carve(work_pool* pool, u4 size, void** out)
{
    *out = nullptr;
    if (size == 0)
        return 0;
    *out = jit_wmem_alloc(pool, size);
    if (*out == nullptr)
        return 1;
    memset(*out, 0, size);
    return 0;
}

static thread_compile_record* cg_compile_record(void)
{
    return vm.EE != nullptr ? jit_compile_record(vm.EE()) : nullptr;
}

// Scheduling of pass 2 by processor class and options.
static int cg_schedule_pass2(void)
{
    if (orva_processor_type == 4 || orva_processor_type == 5)
        return !(compile_option_flag & OPT1_NSCHEDULE);
    return (compile_option_flag & OPT1_SCHEDULE) != 0;
}

static void cg_init_context(codegen_context* cg, method_code_info* mci, method_compile_context* m, u1* scratch)
{
    memset(cg, 0, sizeof(*cg));
    memset(mci, 0, sizeof(*mci));
    cg->mb = m->mb;
    cg->m = m;
    cg->bbtable = m->bb_table;
    cg->loop_table = m->loop_table;
    cg->flags = CG_SCHED_OFF;
    cg->code = scratch;
    cg->mci = mci;
}

static int cg_state_body(method_compile_context* m, codegen_context* cg, method_code_info* mci, u1* scratch)
{
    methodblock* mb = m->mb;
    cg_tables sizes = cg_table_sizes(m);
    work_pool* pool = jit_wmem_init(cg_table_pool_size(m));
    if (pool == nullptr) {
        fprintf(stderr, "JIT GENCODE: Out of Memory (1)\n");
        return 1;
    }
    cg_run.table_pool = pool;
    void *bb_address, *backpatch, *links, *cp_table, *locals;
    if (carve(pool, sizes.bb_address_size, &bb_address) || carve(pool, sizes.backpatch_size, &backpatch) ||
        carve(pool, sizes.link_size, &links) || carve(pool, sizes.cp_size, &cp_table) ||
        carve(pool, sizes.local_size, &locals))
        return 1;

    cg_init_context(cg, mci, m, scratch);
    cg->bb_address = static_cast<u4*>(bb_address);
    cg->backpatch_cursor = backpatch;
    cg_backpatch_limit = static_cast<backpatch_rec*>(backpatch) + sizes.backpatch_size / sizeof(backpatch_rec);
    cg->link_table = links;
    cg->local_table = static_cast<u4*>(locals);

    cg_run.saved_pool = m->pool2;
    work_pool* pass1_pool = jit_wmem_init(0);
    if (pass1_pool == nullptr) {
        // The compile context keeps its scratch pool: later phases of the
        // failing attempt still release it through the context.
        fprintf(stderr, "JIT GENCODE: out of memory in pass1\n");
        return 1;
    }
    m->pool2 = pass1_pool;
    cg_run.pass1_pool = pass1_pool;
    m->extra_code_size = 0;

    u1 iface_scratch[64];
    if (init_invokeinterface_before_1st_pass(cg, &mci->iface_state, iface_scratch) == 1) {
        cg_recover();   // the scratch pool back, the pass-1 pool released
        return 1;
    }

    u4 entry_pad = 0;
    s4 measured = gen_method_code_pass(cg, m, CG_PASS_MEASURE, nullptr, &entry_pad);
    jit_wmem_free(pass1_pool);
    m->pool2 = cg_run.saved_pool;
    cg_run.pass1_pool = nullptr;
    if (measured < 0) {
        jit_wmem_free(pool);
        return 1;
    }

    u4 total = (u4)measured + m->extra_code_size;
    m->extra_code_size = total;
    cg->code_size = total;

    JITbackPatch0(cg, static_cast<backpatch_rec*>(backpatch));
    squeeze_local_variable_index(cg);

    int scheduling = cg_schedule_pass2();
    if (scheduling && cs_method_initialize(cg) != 0)
        scheduling = 0;   // no window record: write unscheduled rather than through a null window
    if (scheduling)
        cg->flags &= ~(CG_SCHED_OFF | CG_SCHED_WINDOW_OPEN);
    else
        cg->flags |= CG_SCHED_OFF;

    void* start_v = nullptr;
    jit_code_mem_alloc(&start_v, m, total);
    if (start_v == nullptr) {
        fprintf(stderr, "JIT GENCODE: Out of Memory (3)\n");
        return 1;
    }
    u1* start = static_cast<u1*>(start_v);

    cg->code = start;
    mci->code_start = start;
    mci->sp_list = nullptr;
    cg->cp_list = nullptr;
    cg->cp_list_aux = nullptr;
    cg->backpatch_cursor = backpatch;
    mci->cp_table = cp_table;
    m->cg_lists[5] = (u4)(uintptr_t)cp_table;
    init_invokeinterface_before_2nd_pass(cg, &mci->iface_state);

    u1* entry = nullptr;
    gen_method_code_pass(cg, m, CG_PASS_WRITE, &entry, &entry_pad);
    u1* end = cg->code;
    u4 used = (u4)(end - start);

    create_sp_offset_info(cg, m, used);
    create_cp2imf_info(cg, m, used);
    create_exc_cp2imf_info(cg, m, used);
    JITbackPatch(static_cast<backpatch_rec*>(backpatch), static_cast<backpatch_rec*>(cg->backpatch_cursor),
                 cg->bb_address);

    if (total < used) {
        fprintf(stderr, "Code buffer is not enough at %s.%s%s. Allocated=%x, Needed=%x\n",
                mb->clazz ? mb->clazz->name : "?", mb->name, mb->signature, total, used);
        exit(-1);
    }
    if (scheduling)
        cs_method_finalize(cg);

    thread_compile_record* rec = cg_compile_record();
    if (rec != nullptr) {
        rec->invoker_entry = entry;
        rec->compiled_entry = entry + 10 + entry_pad;
    }
    if ((s2)(m->state_flags & 0xFFFF) < 0)
        set_rmmi_info(cg);
    jit_code_mem_partial_free(start, end);
    mb->compiled_flags |= MBC_CODE_INSTALLED;
    m->code_size = used;
    if (mb->exception_table_length != 0 && mb->exception_table != nullptr)
        JITsetCatchFrame(m, cg->bb_address);
    if (rec != nullptr) {
        rec->code_start = start;
        rec->code_end = end;
    }
    jit_wmem_free(pool);
    return 0;
}

int JITGenNativeCode_state(method_compile_context* m)
{
    register_chapatch_info_to_patched_bb(m);
    if (m->mb->access & ACC_CODE_INSTALLED_MARK)
        return 1;

    codegen_context cg;
    method_code_info mci;
    u1 scratch[CG_PASS1_SCRATCH_SIZE + 16];
    sigjmp_buf recovery;
    cg_run_state outer = cg_run;
    cg_run = {};
    cg_run.m = m;
    cg_run.target = &recovery;
    if (sigsetjmp(recovery, 0) != 0) {
        cg_recover();
        cg_run = outer;
        cg_backpatch_limit = nullptr;
        return 1;
    }
    int r = cg_state_body(m, &cg, &mci, scratch);
    cg_run = outer;
    cg_backpatch_limit = nullptr;
    return r;
}

// ---------------------------------------------------------------------------
// Glue of native and abstract methods.
// ---------------------------------------------------------------------------
static int cg_glue_body(methodblock* mb, method_compile_context* m, codegen_context* cg, method_code_info* mci)
{
    work_pool* pool = jit_wmem_init(0);
    if (pool == nullptr) {
        fprintf(stderr, "JIT GENCODE: Out of Memory (1)\n");
        return 1;
    }
    void* cp_table = jit_wmem_alloc(pool, 2 * CG_CP_ENTRY_SIZE);
    u4 args = mb->args_size;
    u4 glue = getNativeMethodGlueSize(mb);
    u4 size = args <= 3 ? 3 * args + glue + 25 : glue + 34;
    u4 pad = args <= 3 ? 3 * args + 25 : 34;
    void* start_v = nullptr;
    jit_code_mem_alloc(&start_v, m, size);
    if (start_v == nullptr) {
        fprintf(stderr, "JIT GENCODE: Out of Memory (3)\n");
        return 1;
    }
    u1* start = static_cast<u1*>(start_v);
    cg_init_context(cg, mci, m, start);
    cg->pass = CG_PASS_WRITE;
    mci->code_start = start;
    mci->cp_table = cp_table;
    m->cg_lists[5] = (u4)(uintptr_t)cp_table;
    m->pool2 = pool;

    adjust_method_entry_point(cg, mb, &pad);
    u1* entry = cg->code;
    if (mb->access & ACC_ABSTRACT) {
        mci->sp_offset = 0;
        gen_glue4interpreter(cg, pad);
        gen_method_pre_header(cg, m);
        u4 code = mb->name != nullptr && mb->name[0] == '+' ? 0xE0000012u : 0xE0000001u;
        _gen_test_and_throw_exception(cg, 1, 0, 0, 0, 0, 0, code, mb, 0);
        gen_call_rtlib_to_throw_exception(cg, 0, 0);
    } else if (!(mb->access & ACC_NATIVE)) {
        return 0;
    } else {
        if (mb->native_code == nullptr && vm.dynoLink != nullptr) {
            u4 ok = 0;
            void* f = vm.dynoLink(mb, &ok);
            if (f != nullptr && ok)
                mb->native_code = f;
        }
        // A method still unbound gets the full glue too: its binding path
        // asks the VM again on every call while the code word is 0, as the
        // interpreter does, so a library loaded after the compile (a native
        // first called before its System.loadLibrary) is found.  A glue that
        // only raised the link error would keep the method unbound for good.
        gen_JNInativemethod_glue(cg, pad);
    }
    u1* end = cg->code;
    u4 used = (u4)(end - start);
    // The fit is checked before anything is published: a glue longer than its
    // buffer has overwritten code memory, and no entry may point into it.
    if (size < used) {
        fprintf(stderr, "Code buffer is not enough at NATIVE %s.%s%s. Allocated=%x, Needed=%x\n",
                mb->clazz ? mb->clazz->name : "?", mb->name, mb->signature, size, used);
        exit(-1);
    }
    create_sp_offset_info(cg, m, used);
    m->code_size = used;
    thread_compile_record* rec = cg_compile_record();
    if (rec != nullptr) {
        rec->invoker_entry = entry;
        rec->compiled_entry = entry + 10 + pad;
    }
    jit_code_mem_partial_free(start, end);
    if (rec != nullptr) {
        rec->code_start = start;
        rec->code_end = end;
    }
    mb->compiled_flags |= MBC_CODE_INSTALLED;
    jit_wmem_free(pool);
    return 0;
}

int JITGenNativeCode_glue(methodblock* mb, method_compile_context** request)
{
    if (mb->access & ACC_CODE_INSTALLED_MARK)
        return 0;
    method_compile_context* m = *request;
    codegen_context cg;
    method_code_info mci;
    sigjmp_buf recovery;
    cg_run_state outer = cg_run;
    cg_run = {};
    cg_run.m = m;
    cg_run.target = &recovery;
    work_pool* saved = m->pool2;
    if (sigsetjmp(recovery, 0) != 0) {
        m->pool2 = saved;
        cg_run = outer;
        return 1;
    }
    int r = cg_glue_body(mb, m, &cg, &mci);
    m->pool2 = saved;
    cg_run = outer;
    return r;
}
