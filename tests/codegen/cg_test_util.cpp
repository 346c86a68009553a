// Fixture, fakes and the golden-table checker shared by the code-generation tests.
#include "cg_test_util.h"

#include "driver/driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include <sys/mman.h>

// ---------------------------------------------------------------------------
// Fixture
// ---------------------------------------------------------------------------
void cg_setup(cg_fixture* f, int pass, u4 offset)
{
    std::memset(f, 0, sizeof *f);
    f->bbt[0] = &f->bb[0];
    f->bbt[1] = &f->bb[1];
    f->bbt[2] = &f->bb[2];
    f->cg.bbtable = f->bbt;
    f->cg.cur_bb = 1;
    f->cg.mci = &f->mci;
    f->cg.flags = CG_SCHED_OFF;
    f->cg.pass = (u2)pass;
    std::memset(f->scratch, 0xA5, sizeof f->scratch);
    f->cg.code = pass == CG_PASS_MEASURE ? f->scratch : f->buf + offset;
    f->mci.code_start = f->buf;
}

bool cg_scratch_guard_intact(const cg_fixture* f)
{
    for (size_t i = CG_PASS1_SCRATCH_SIZE; i < sizeof f->scratch; i++)
        if (f->scratch[i] != 0xA5)
            return false;
    return true;
}

// Processor facts start-up would set.
s4 orva_processor_type = 4;
// Multiprocessor facts read by the generators (lock prefixes); weak, so a
// test that sets its own wins.
__attribute__((weak)) s4 orva_processor_num = 1;
__attribute__((weak)) s4 orva_processor_cmov_support = 1;
s4 orva_processor_mmx = 0;
s4 orva_os_type = 12;

// ---------------------------------------------------------------------------
// Fake register manager
// ---------------------------------------------------------------------------
u4 fake_free_regs = 0x7F;
int fake_alloc_count;
int fake_free_count;

void fake_regs_reset(u4 free_mask)
{
    fake_free_regs = free_mask;
    fake_alloc_count = 0;
    fake_free_count = 0;
}

int _alloc_int_reg(codegen_context*, u4 mask, int)
{
    fake_alloc_count++;
    for (int i = 0; i < 7; i++)
        if ((mask & fake_free_regs) & (1u << i)) {
            fake_free_regs &= ~(1u << i);
            return i;
        }
    ADD_FAILURE() << "fake _alloc_int_reg: no free register in mask " << mask;
    return 0;
}

void _free_int_reg(codegen_context*, int index, int, int, int)
{
    fake_free_count++;
    fake_free_regs |= 1u << index;
}

int _num_of_free_int_regs(codegen_context*, int)
{
    return __builtin_popcount(fake_free_regs & 0x7F);
}

// ---------------------------------------------------------------------------
// Recorders of the method glue's and pipeline's services
// ---------------------------------------------------------------------------
std::vector<sp_offset_info*> fake_sp_nodes;
std::vector<std::pair<u1*, u1*>> fake_jmp_patches;
std::vector<std::pair<cp_node*, u1*>> fake_cp_fixes;
void* fake_decode_table[160];
u1 fake_fcontrol_area[64];
u1* fake_fcontrol_base = (u1*)0x123400;

void fake_records_reset()
{
    for (sp_offset_info* n : fake_sp_nodes)
        delete n;
    fake_sp_nodes.clear();
    fake_jmp_patches.clear();
    fake_cp_fixes.clear();
}

sp_offset_info* update_sp_offset_table(codegen_context* cg, s2 sp)
{
    u4 offset = (u4)(cg->code - cg->mci->code_start);
    u2 depth = (u2)((u2)(-sp) >> 2);
    if (!fake_sp_nodes.empty() && fake_sp_nodes.back()->offset == offset) {
        fake_sp_nodes.back()->depth = depth;
        return fake_sp_nodes.back();
    }
    sp_offset_info* n = new sp_offset_info{fake_sp_nodes.empty() ? nullptr : fake_sp_nodes.back(), offset, depth};
    fake_sp_nodes.push_back(n);
    cg->mci->sp_list = n;
    return n;
}

void fix_sp_table_after_cs(codegen_context* cg, sp_offset_info* node, u1* end)
{
    node->offset = (u4)(end - cg->mci->code_start);
}

void patch_cmp_jmp_code(codegen_context*, u1* old_disp, u1* end)
{
    fake_jmp_patches.push_back({old_disp, end});
}

u1* fix_cp2imf_after_cs(codegen_context* cg, cp_node* node, u1* start)
{
    node->offset = (u4)(start - cg->mci->code_start);
    fake_cp_fixes.push_back({node, start});
    return cg->mci->code_start;
}

bool fake_wmem_exhausted;
void* jit_wmem_alloc(work_pool*, u4 size)
{
    return fake_wmem_exhausted ? nullptr : std::calloc(1, size);
}

std::vector<cp_node*> fake_cp_nodes;
cp_node* register_inlined_method_frame(codegen_context* cg, u4 value, u1* position, cp_node** list)
{
    cp_node* n = new cp_node{*list, (u4)(position - cg->mci->code_start), value};
    *list = n;
    fake_cp_nodes.push_back(n);
    return n;
}

extern "C" void** _GET_DECODE_TABLE_BASE(void) { return fake_decode_table; }
extern "C" u1* _GET_FCONTROL_WORD_BASE(void) { return fake_fcontrol_base; }

processor_scope::processor_scope(s4 t, s4 m, s4 os_type)
    : type(orva_processor_type), mmx(orva_processor_mmx), os(orva_os_type)
{
    orva_processor_type = t;
    orva_processor_mmx = m;
    orva_os_type = os_type;
}

processor_scope::~processor_scope()
{
    orva_processor_type = type;
    orva_processor_mmx = mmx;
    orva_os_type = os;
}

u1* exec_page()
{
    static u1* page = nullptr;
    if (page == nullptr) {
        void* p = mmap(nullptr, 65536, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            std::abort();
        page = (u1*)p;
    }
    return page;
}

// ---------------------------------------------------------------------------
// Golden table
// ---------------------------------------------------------------------------
std::string hex_bytes(const u1* p, size_t n)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; i++) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
        s += b;
    }
    return s;
}

static const std::map<std::string, std::string>& golden_table()
{
    static std::map<std::string, std::string> table;
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        std::ifstream in(ORVA_X86_GOLDEN);
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#')
                continue;
            std::istringstream fields(line);
            std::string text, as_bytes, expected;
            std::getline(fields, text, '\t');
            std::getline(fields, as_bytes, '\t');
            std::getline(fields, expected, '\t');
            table[text] = expected;
        }
    }
    return table;
}

bool golden_lookup(const std::string& text, std::string* expected)
{
    auto& t = golden_table();
    auto it = t.find(text);
    if (it == t.end())
        return false;
    *expected = it->second;
    return true;
}

// With ORVA_GOLDEN_DUMP set, the rows are appended to that file (text, tab,
// alternative bytes) for tests/tools/x86_golden.py instead of being checked.
static bool dump_golden_rows(const golden_row* rows, size_t n)
{
    const char* path = std::getenv("ORVA_GOLDEN_DUMP");
    if (path == nullptr)
        return false;
    std::ofstream out(path, std::ios::app);
    for (size_t i = 0; i < n; i++)
        out << rows[i].text << '\t' << (rows[i].alt ? rows[i].alt : "") << '\n';
    return true;
}

void check_golden_rows(const golden_row* rows, size_t n)
{
    static cg_fixture f;
    if (dump_golden_rows(rows, n))
        return;
    for (size_t i = 0; i < n; i++) {
        const golden_row& r = rows[i];
        SCOPED_TRACE(r.text);
        std::string expected;
        if (!golden_lookup(r.text, &expected)) {
            ADD_FAILURE() << "row missing from x86_golden.txt (run tests/tools/x86_golden.py): " << r.text;
            continue;
        }
        if (r.alt) {
            EXPECT_EQ(expected, r.alt) << "table and row disagree on the alternative bytes";
        }

        // Pass 2: the bytes.
        cg_setup(&f, CG_PASS_WRITE, r.misalign);
        u1* start = f.cg.code;
        int ret = r.emit(&f.cg);
        int len = (int)(f.cg.code - start);
        EXPECT_EQ(hex_bytes(start, (size_t)len), expected);
        if (r.check_ret) {
            EXPECT_EQ(ret, len) << "result is not the written length";
        }
        EXPECT_EQ(f.cg.code_size, 0u) << "pass 2 must not count";
        EXPECT_EQ(f.bb[1].code_size, 0u);

        // Pass 1: nothing written outside the scratch area, code stays,
        // code_size and the block size grow by the measured length.
        cg_setup(&f, CG_PASS_MEASURE);
        u1* scratch = f.cg.code;
        ret = r.emit(&f.cg);
        if (r.check_ret) {
            EXPECT_EQ((u4)ret, f.cg.code_size) << "pass-1 result is not the counted length";
        }
        EXPECT_EQ(f.cg.code, scratch) << "pass 1 moved the output position";
        EXPECT_TRUE(cg_scratch_guard_intact(&f)) << "pass 1 wrote past the scratch area";
        if (r.exact_pass1) {
            EXPECT_EQ(f.cg.code_size, (u4)len) << "pass 1 and pass 2 lengths differ";
        } else {
            EXPECT_GE(f.cg.code_size, (u4)len) << "pass 1 counted less than pass 2 wrote";
        }
        EXPECT_EQ(f.bb[1].code_size, f.cg.code_size) << "block size and code size differ";
        EXPECT_EQ(f.bb[0].code_size + f.bb[2].code_size, 0u);
    }
}

// Register preferences belong to the inlining subsystem: the choice is kept.
int optim_set(codegen_context*, int reg, const void*) { return reg; }
