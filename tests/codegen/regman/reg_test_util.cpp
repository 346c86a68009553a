// Fixture, harness and stand-ins of the services of other subsystems for the
// register manager's tests.
#include "reg_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

#include "dataflow/df_records.h"
#include "driver/driver.h"
#include "frontend/qgen.h"

// ---------------------------------------------------------------------------
// Services of other subsystems
// ---------------------------------------------------------------------------
s4 orva_processor_type = 4;
s4 orva_processor_mmx = 0;
// Multiprocessor facts read by the generators (lock prefixes); weak, so a
// test that sets its own wins.
__attribute__((weak)) s4 orva_processor_num = 1;
__attribute__((weak)) s4 orva_processor_cmov_support = 1;
s4 orva_os_type = 12;
u4 compile_option_flag = 0;
u4 compile_option3_flag = 0;

// The run time's table, laid out as it is: floats 0.0, 1.0, 2.0 at +0, +4,
// +8, then doubles 0.0 and 1.0 at +12 and +20.
static struct __attribute__((packed)) {
    float f[3];
    double d[2];
} fconst_table = {{0.0f, 1.0f, 2.0f}, {0.0, 1.0}};
static_assert(sizeof(fconst_table) == 28);
extern "C" u1* _GET_FCONST_BASE(void) { return reinterpret_cast<u1*>(&fconst_table); }

void* jit_wmem_alloc(work_pool*, u4 size) { return std::calloc(1, size ? size : 4); }

u1* fix_cp2imf_after_cs(codegen_context* cg, cp_node*, u1*) { return cg->mci->code_start; }
cp_node* register_inlined_method_frame(codegen_context*, u4, u1*, cp_node**) { return nullptr; }

u4 put_const_tbl(method_compile_context*, u4 n, const_candidate* table, u4 key1, u4 key2, u4 inc, u4 block)
{
    for (u4 i = 0; i < n; i++)
        if (table[i].key1 == key1 && table[i].key2 == key2) {
            table[i].count += inc;
            return n;
        }
    if (n > 3)
        return n;
    table[n] = const_candidate{key1, inc, key2, block};
    return n + 1;
}

void remove_nop(method_compile_context*) {}

// Liveness stand-in: the tests fill the blocks' live sets themselves.
int dataflow_Q_livevar(method_compile_context*, dataflow_pass_context*) { return 0; }

int datatable_registrations;
// Weak: binaries that link the data table itself use the real one.
__attribute__((weak)) void register_datatable(codegen_context*, int, const u4*, int, u1*) { datatable_registrations++; }

// ---------------------------------------------------------------------------
// Fixture
// ---------------------------------------------------------------------------
static int fixture_nlocals;
static int dummy_pool;

static u1* exec_page()
{
    static u1* page = nullptr;
    if (page == nullptr) {
        void* p = mmap(nullptr, 1 << 20, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            std::abort();
        page = static_cast<u1*>(p);
    }
    return page;
}

// The harness prologue lives at the page start; the code under test after it.
constexpr u4 HARNESS_ROOM = 512;

void rm_setup(rm_fixture* f, int nblocks, int nlocals, int pass)
{
    std::memset(f, 0, sizeof *f);
    fixture_nlocals = nlocals;
    for (int b = 0; b < RM_TEST_BLOCKS; b++) {
        f->bbt[b] = &f->bb[b];
        f->bb[b].id = (u4)b;
    }
    for (int i = 0; i < 64; i++)
        f->local_table[i] = (u4)i;
    f->mb.args_size = 0;
    f->mb.nlocals = (u2)nlocals;
    f->m.mb = &f->mb;
    f->m.local_count = (u2)nlocals;
    f->m.bb_count = (u4)nblocks;
    f->m.bb_table = f->bbt;
    f->m.pool1 = reinterpret_cast<work_pool*>(&dummy_pool);
    f->m.pool2 = reinterpret_cast<work_pool*>(&dummy_pool);
    f->m.state_flags = MCC_LIVENESS_UNAVAILABLE | MCC_MEANTIME_ABSENT;   // no liveness, no tick arrays (as the pipeline sets them)
    f->cg.m = &f->m;
    f->cg.mb = &f->mb;
    f->cg.bbtable = f->bbt;
    f->cg.mci = &f->mci;
    f->cg.flags = CG_SCHED_OFF;
    f->cg.pass = (u2)pass;
    f->cg.local_table = f->local_table;
    f->cg.frame_locals = nlocals;
    f->cg.cur_bb = 1;
    f->mci.code_start = exec_page();
    f->mci.sp_offset = (s2)(-4 * (nlocals + RM_TEST_STACK_SLOTS));
    f->start_sp = f->mci.sp_offset;
    f->start = exec_page() + HARNESS_ROOM;
    static u1 scratch[64];
    f->cg.code = pass == CG_PASS_WRITE ? f->start : scratch;
    initialize_reg_alloc(&f->cg, f->m.pool1);
}

reg_operand local_op(s4 local, char type) { return {RK_LOCAL, type, 0, (u4)local, nullptr}; }
reg_operand stack_op(s4 index, u2 slot, char type) { return {RK_STACK, type, slot, (u4)index, nullptr}; }
reg_operand const_op(s4 value, char type) { return {RK_CONST, type, 0, (u4)value, nullptr}; }

int frame_word_of_local(s4 local) { return local; }
int frame_word_of_stack(s4 slot) { return fixture_nlocals + slot; }

u4 float_bits(float v)
{
    u4 w;
    std::memcpy(&w, &v, 4);
    return w;
}
float bits_float(u4 w)
{
    float v;
    std::memcpy(&v, &w, 4);
    return v;
}

std::string emitted_hex(const rm_fixture* f)
{
    std::string s;
    char b[4];
    for (const u1* p = f->start; p < f->cg.code; p++) {
        std::snprintf(b, sizeof b, p == f->start ? "%02X" : " %02X", *p);
        s += b;
    }
    return s;
}

// ---------------------------------------------------------------------------
// Harness: hand-encoded prologue and epilogue around the code under test.
// ---------------------------------------------------------------------------
u1* rm_frame_base;

namespace {

struct harness_data {
    u4 saved_esp;
    u4 frame_esp;
    u4 reg_in[7], reg_out[7];
    double fp_in[8], fp_out[8];
    u2 status;
    u2 host_cw;     // the caller's x87 control word, put back after the run
};
harness_data hd;
alignas(16) u1 frame_area[16384];

// Hardware numbers of the manager's registers.
constexpr u1 hw_of[7] = {0, 2, 1, 3, 5, 6, 7};

struct writer {
    u1* p;
    void b(u1 v) { *p++ = v; }
    void w(u4 v)
    {
        std::memcpy(p, &v, 4);
        p += 4;
    }
    void abs_modrm(u1 op, u1 reg, const void* addr)
    {
        b(op);
        b((u1)(0x05 | reg << 3));
        w((u4)(uintptr_t)addr);
    }
};

}  // namespace

void rm_run(rm_fixture* f, const machine& in, machine* out, int fp_out)
{
    ASSERT_EQ(f->cg.pass, CG_PASS_WRITE);
    ASSERT_LE(in.fp.size(), 8u);
    ASSERT_LE(fp_out, 8);
    u1* page = exec_page();
    u1* body_end = f->cg.code;
    u1* E = rm_frame_base != nullptr ? rm_frame_base : frame_area + 8192;
    for (int k = 0; k < 64; k++)
        std::memcpy(E - 4 - 4 * k, &in.frame[k], 4);
    hd = {};
    hd.frame_esp = (u4)(uintptr_t)(E + f->start_sp);
    for (int r = 0; r < 7; r++)
        hd.reg_in[r] = in.reg[r];
    for (size_t k = 0; k < in.fp.size(); k++)
        hd.fp_in[k] = in.fp[k];

    // Prologue at the page start, jumping to the code under test.
    writer w{page};
    w.b(0x55);
    w.b(0x53);
    w.b(0x56);
    w.b(0x57);
    w.abs_modrm(0x89, 4, &hd.saved_esp);     // mov [saved], esp
    w.abs_modrm(0xD9, 7, &hd.host_cw);       // fnstcw [host_cw]
    w.abs_modrm(0x8B, 4, &hd.frame_esp);     // mov esp, [frame_esp]
    w.b(0xDB);
    w.b(0xE3);                               // fninit
    for (size_t k = 0; k < in.fp.size(); k++)
        w.abs_modrm(0xDD, 0, &hd.fp_in[k]);  // fld qword [fp_in + 8k]
    for (int r = 0; r < 7; r++)
        w.abs_modrm(0x8B, hw_of[r], &hd.reg_in[r]);
    w.b(0xE9);                               // jmp start
    w.w((u4)(f->start - (w.p + 4)));
    if (w.p > f->start)
        std::abort();

    // Epilogue after the code under test.
    writer e{body_end};
    for (int r = 0; r < 7; r++)
        e.abs_modrm(0x89, hw_of[r], &hd.reg_out[r]);
    for (int k = 0; k < fp_out; k++)
        e.abs_modrm(0xDD, 3, &hd.fp_out[fp_out - 1 - k]);   // fstp qword: top first
    e.abs_modrm(0xDD, 7, &hd.status);                        // fnstsw [status]
    // The code under test may leave 24-bit precision (or fninit's 64-bit)
    // behind; the host's own arithmetic in later tests must not inherit it.
    e.abs_modrm(0xD9, 5, &hd.host_cw);                       // fldcw [host_cw]
    e.abs_modrm(0x8B, 4, &hd.saved_esp);
    e.b(0x5F);
    e.b(0x5E);
    e.b(0x5B);
    e.b(0x5D);
    e.b(0xC3);

    // The code under test may leave another x87 control word (24-bit
    // precision): the host's is restored so that no later test computes
    // its expectations in it.
    u2 host_cw;
    asm volatile("fnstcw %0" : "=m"(host_cw));
    reinterpret_cast<void (*)()>(page)();
    asm volatile("fldcw %0" : : "m"(host_cw));

    for (int r = 0; r < 7; r++)
        out->reg[r] = hd.reg_out[r];
    for (int k = 0; k < 64; k++)
        std::memcpy(&out->frame[k], E - 4 - 4 * k, 4);
    out->fp.assign(hd.fp_out, hd.fp_out + fp_out);
    out->fpu_status = hd.status;
}

// Register preferences belong to the inlining subsystem: the choice is kept.
int optim_set(codegen_context*, int reg, const void*) { return reg; }
