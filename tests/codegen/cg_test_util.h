// Shared fixture of the code-generation tests: a code-generation context over
// a code buffer, a fake register manager and recorders for the stack-offset,
// jump-patch and code-position services, and the golden encoding table.
#ifndef ORVA_TESTS_CG_TEST_UTIL_H
#define ORVA_TESTS_CG_TEST_UTIL_H

#include <string>
#include <vector>

#include "codegen/codegen.h"
#include "frontend/bb.h"

// The fakes' records (the real ones belong to the method glue).
struct sp_offset_info {
    sp_offset_info* next;
    u4 offset;
    u2 depth;
};

struct cg_fixture {
    codegen_context cg;
    method_code_info mci;
    bbattr bb[3];
    bbattr* bbt[3];
    alignas(64) u1 buf[8192];
    u1 scratch[CG_PASS1_SCRATCH_SIZE + 32];   // scratch area plus a guard
};

// A zeroed fixture in the given pass; pass 1 points `code` at the scratch
// area (guard filled with 0xA5), pass 2 at buf + offset.  cur_bb = 1.
void cg_setup(cg_fixture* f, int pass, u4 offset = 0);
bool cg_scratch_guard_intact(const cg_fixture* f);

// Fake register manager: manager indexes 0..6 free unless taken.
extern u4 fake_free_regs;          // bit per manager index
extern int fake_alloc_count;       // _alloc_int_reg calls
extern int fake_free_count;        // _free_int_reg calls
void fake_regs_reset(u4 free_mask = 0x7F);

// Recorders.
extern std::vector<sp_offset_info*> fake_sp_nodes;      // update_sp_offset_table, oldest first
extern std::vector<std::pair<u1*, u1*>> fake_jmp_patches; // patch_cmp_jmp_code (old, end)
extern std::vector<std::pair<cp_node*, u1*>> fake_cp_fixes; // fix_cp2imf_after_cs (node, start)
void fake_records_reset();
extern std::vector<cp_node*> fake_cp_nodes;            // register_inlined_method_frame
extern bool fake_wmem_exhausted;                        // jit_wmem_alloc answers null
extern void* fake_decode_table[160];
extern u1 fake_fcontrol_area[64];
extern u1* fake_fcontrol_base;   // what _GET_FCONTROL_WORD_BASE answers (0x123400 by default)

// Processor state for a test; restores the previous values when destroyed.
struct processor_scope {
    s4 type, mmx, os;
    processor_scope(s4 t, s4 m = 0, s4 os_type = 12);
    ~processor_scope();
};

// ---------------------------------------------------------------------------
// Golden encoding rows.  The text is GNU as Intel syntax (';' separates the
// instructions of a sequence); tests/tools/x86_golden.py collects the rows
// from the test binary (ORVA_GOLDEN_DUMP), assembles the texts with
// `as --32` and writes x86_golden.txt.  An ALT row names the bytes our
// emitter writes where they are another legal encoding of the same
// instruction (the tool checks with objdump that both decode to the same
// text).
// ---------------------------------------------------------------------------
struct golden_row {
    const char* text;
    const char* alt;      // expected bytes when not as's, else null
    u4 misalign;          // code position offset from a 64-byte boundary
    bool exact_pass1;     // pass 1 counts exactly the pass-2 length
    bool check_ret;       // the emitter's result is the length it wrote
    int (*emit)(codegen_context* cg);
};
// ROW: an instruction (sequence); the body is an expression giving the length.
#define ROW(text, ...) {text, nullptr, 0, true, true, [](codegen_context* cg) -> int { return __VA_ARGS__; }}
// ALT: as ROW, but our bytes are another legal encoding of the text.
#define ALT(text, bytes, ...) {text, bytes, 0, true, true, [](codegen_context* cg) -> int { return __VA_ARGS__; }}
// JROW: a jump; pass 1 counts the longest form.
#define JROW(text, ...) {text, nullptr, 0, false, true, [](codegen_context* cg) -> int { return __VA_ARGS__; }}
// PADROW: NOP filling, exact in pass 1 but its result is not a length.
#define PADROW(text, ...) {text, nullptr, 0, true, false, [](codegen_context* cg) -> int { return __VA_ARGS__; }}
// ROWAT: alignment padding at a code position misalign bytes past a 64-byte
// boundary; pass 1 counts the worst case.
#define ROWAT(text, misalign, ...) {text, nullptr, misalign, false, false, [](codegen_context* cg) -> int { __VA_ARGS__; return 0; }}

// An executable page for running emitted code (cdecl functions).
u1* exec_page();

std::string hex_bytes(const u1* p, size_t n);
// Expected bytes of a row text from x86_golden.txt ("" and false when absent).
bool golden_lookup(const std::string& text, std::string* expected);
// Checks every row: pass-2 bytes equal the table's; pass 1 writes only the
// scratch area, leaves `code` and counts the length in code_size and the
// block size (exactly, or at least the pass-2 length for jumps and padding).
void check_golden_rows(const golden_row* rows, size_t n);

#endif
