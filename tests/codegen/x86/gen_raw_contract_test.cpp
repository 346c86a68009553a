// The raw emitters' contract beyond the byte table: register recording, the
// jump emitter's two passes, calls through the routine table, stack-depth
// records, messages for bad operands, and emitted code run on the processor.
#include <gtest/gtest.h>

#include <cstring>

#include "cg_test_util.h"

namespace {

constexpr u4 EAX = GR_EAX, EDX = GR_EDX, ECX = GR_ECX, EBX = GR_EBX, ESP = GR_ESP, EBP = GR_EBP,
             ESI = GR_ESI, EDI = GR_EDI;

cg_fixture f;

// ---------------------------------------------------------------------------
// Used-register recording
// ---------------------------------------------------------------------------
struct record_case {
    const char* what;
    int (*emit)(codegen_context* cg);
    u1 used;
};
const record_case record_cases[] = {
    {"[ebx+ecx*4] records base, index and reg", [](codegen_context* cg) { return _gen_move_gr_mem(cg, EAX, EBX, ECX, 4, 0, 4, SEG_NONE); }, 0x01 | 0x08 | 0x04},
    {"absolute does not record ebp", [](codegen_context* cg) { return _gen_move_gr_mem(cg, EDX, 0, 0, 0, 0x1000, 4, SEG_NONE); }, 0x02},
    {"[esp+8] records esp", [](codegen_context* cg) { return _gen_move_gr_mem(cg, ESI, ESP, 0, 0, 8, 4, SEG_NONE); }, 0x20 | 0x80},
    {"flagged base is not recorded", [](codegen_context* cg) { return _gen_lea_gr_mm(cg, EDI, EBX | REG_NOREC, 0, 0, 4); }, 0x40},
    {"flagged register operands are not recorded", [](codegen_context* cg) { return _gen_move_gr_gr(cg, ESI | REG_NOREC, EDI | REG_NOREC); }, 0},
    {"opcode digit is not recorded", [](codegen_context* cg) { return _gen_move_mm_i4(cg, EBP, 0, 0, 8, 1, 4); }, 0x10},
    {"store source is always recorded", [](codegen_context* cg) { return _gen_move_mm_gr(cg, EBX, 0, 0, 0, ESI | REG_NOREC, 4); }, 0x08 | 0x20},
    {"bh records ebx, the register it changes", [](codegen_context* cg) { return _gen_setcc_gr(cg, EBX, COND_EQ, 3); }, 0x08},
    {"dh as a byte operand records edx", [](codegen_context* cg) { return _gen_move_gr_mem(cg, GR_DH, EBX, 0, 0, 0, 1, SEG_NONE); }, 0x02 | 0x08},
    {"8-bit ALU on ah records eax", [](codegen_context* cg) { return _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, EAX, 5, 3); }, 0x01},
    {"push records, stack untouched in the mask", [](codegen_context* cg) { return _gen_push(cg, EBP); }, 0x10},
    {"indirect call records base and edx", [](codegen_context* cg) { return _gen_call_indirect(cg, ESI, 8); }, 0x20 | 0x02},
    {"indirect jump records base and esp", [](codegen_context* cg) { return _gen_jmp_indirect(cg, ESI, 8); }, 0x20 | 0x80},
    {"x87 memory operand records only the address registers", [](codegen_context* cg) { return _gen_move_fr_xmm(cg, EBX, EDI, 8, 0, 0); }, 0x08 | 0x40},
};

TEST(RawEmitters, UsedRegisterRecording)
{
    for (const record_case& c : record_cases) {
        cg_setup(&f, CG_PASS_WRITE);
        c.emit(&f.cg);
        EXPECT_EQ(f.mci.used_regs, c.used) << c.what;
    }
}

TEST(RawEmitters, EqualMoveWritesNothing)
{
    cg_setup(&f, CG_PASS_WRITE);
    EXPECT_EQ(_gen_move_gr_gr(&f.cg, ECX, ECX), 0);
    EXPECT_EQ(f.cg.code, f.buf);
    EXPECT_EQ(f.mci.used_regs, 0);
    cg_setup(&f, CG_PASS_MEASURE);
    EXPECT_EQ(_gen_move_gr_gr(&f.cg, ECX, ECX), 0);
    EXPECT_EQ(f.cg.code_size, 0u);
    EXPECT_EQ(_gen_SHIFT8_gr_gr_i4(&f.cg, SHIFT_SHLD, ECX, EDX, 0), 0);
    EXPECT_EQ(f.cg.code_size, 0u);
}

TEST(RawEmittersDeathTest, UnsupportedScaleEndsTheProcess)
{
    for (int scale : {3, 5, 16}) {
        cg_setup(&f, CG_PASS_WRITE);
        EXPECT_EXIT(_gen_move_gr_mem(&f.cg, EAX, EBX, ECX, scale, 0, 4, SEG_NONE), testing::ExitedWithCode(255),
                    "Unsupported scale " + std::to_string(scale) + " in modrm_and_sib");
    }
    cg_setup(&f, CG_PASS_WRITE);
    EXPECT_EXIT(_gen_move_gr_mm(&f.cg, EAX, EBX, ECX, 6, 0), testing::ExitedWithCode(255),
                "_gen_move_gr_mm: wrong scale=6\n(.|\n)*Unsupported scale 6 in modrm_and_sib");
}

TEST(RawEmitters, UnknownSizeMessagesLeaveOutTheOpcode)
{
    cg_setup(&f, CG_PASS_WRITE);
    testing::internal::CaptureStderr();
    int n = _gen_move_gr_mem(&f.cg, EAX, EBX, 0, 0, 8, 3, SEG_NONE);
    n += _gen_move_mm_gr(&f.cg, EBX, 0, 0, 8, EAX, 8);
    n += _gen_move_mm_i4(&f.cg, EBX, 0, 0, 8, 5, 0);
    n += _gen_moveXx_gr_mm(&f.cg, EAX, EBX, 0, 0, 8, 4, 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "_gen_move_gr_mem: unknown oprnd size=3\n_gen_move_mm_gr: unknown oprnd size=8\n"
              "_gen_move_mm_i4: unknown oprnd size=0\n_gen_moveXx_gr_mm: unknown size=4\n");
    EXPECT_EQ(hex_bytes(f.buf, (size_t)n), "43 08 43 08 43 08 05 00 00 00 0F 43 08");
}

TEST(RawEmitters, ThreadLocalOffsetIsReportedAndIgnored)
{
    cg_setup(&f, CG_PASS_WRITE);
    orva_tla_mask = 0xFFFC0000u;
    testing::internal::CaptureStderr();
    int n = _gen_move_gr_fs(&f.cg, ECX, 8);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "_gen_move_gr_fs: offset 8 != 0\n");
    EXPECT_EQ(hex_bytes(f.buf, (size_t)n), "8B CC 81 E1 00 00 FC FF 8B 09");
}

// ---------------------------------------------------------------------------
// Jumps and calls
// ---------------------------------------------------------------------------
TEST(RawEmitters, JumpPass1CountsTheLongFormAndWritesNothing)
{
    struct { int cond, size; u4 length; } cases[] = {{COND_EQ, 1, 2}, {COND_ALWAYS, 1, 2}, {COND_ALWAYS, 2, 5}, {COND_NE, 2, 6}};
    for (auto c : cases) {
        cg_setup(&f, CG_PASS_MEASURE);
        u1 before[sizeof f.scratch];
        std::memcpy(before, f.scratch, sizeof before);
        EXPECT_EQ(_gen_jmpcc(&f.cg, c.cond, UNRESOLVED_TARGET, c.size), (int)c.length);
        EXPECT_EQ(f.cg.code_size, c.length);
        EXPECT_EQ(f.bb[1].code_size, c.length);
        EXPECT_EQ(std::memcmp(before, f.scratch, sizeof before), 0) << "pass 1 wrote jump bytes";
    }
}

TEST(RawEmitters, JumpPass2ShortensKnownTargetsAndKeepsOpenOnesNear)
{
    cg_setup(&f, CG_PASS_WRITE, 64);
    u4 pos = (u4)(uintptr_t)f.cg.code;
    EXPECT_EQ(_gen_jmpcc(&f.cg, COND_LT, pos + 100, 2), 2);           // counted 6 in pass 1
    EXPECT_EQ(hex_bytes(f.buf + 64, 2), "7C 62");
    u1* at = f.cg.code;
    EXPECT_EQ(_gen_jmpcc(&f.cg, COND_LT, UNRESOLVED_TARGET, 2), 6);
    EXPECT_EQ(hex_bytes(at, 6), "0F 8C BE BA FE CA");
    at = f.cg.code;
    EXPECT_EQ(_gen_jmpcc(&f.cg, COND_ALWAYS, UNRESOLVED_TARGET, 2), 5);
    EXPECT_EQ(hex_bytes(at, 5), "E9 BE BA FE CA");
    at = f.cg.code;
    EXPECT_EQ(_gen_jmpcc(&f.cg, COND_GE, UNRESOLVED_TARGET, 1), 2);
    EXPECT_EQ(hex_bytes(at, 2), "7D BE");
}

TEST(RawEmittersDeathTest, ShortJumpOutOfRangeEndsTheProcess)
{
    cg_setup(&f, CG_PASS_WRITE, 64);
    u4 pos = (u4)(uintptr_t)f.cg.code;
    EXPECT_EXIT(_gen_jmpcc(&f.cg, COND_EQ, pos + 130, 1), testing::ExitedWithCode(255), "short jump out of range");
}

TEST(RawEmitters, CallsThroughTheRoutineTable)
{
    cg_setup(&f, CG_PASS_WRITE);
    fake_decode_table[17] = (void*)(f.buf + 0x1000);
    EXPECT_EQ(_gen_call(&f.cg, 17), 5);
    EXPECT_EQ(hex_bytes(f.buf, 5), "E8 FB 0F 00 00");
    EXPECT_EQ(_gen_call_(&f.cg, UNRESOLVED_TARGET), 5);
    EXPECT_EQ(hex_bytes(f.buf + 5, 5), "E8 BE BA FE CA");
}

// ---------------------------------------------------------------------------
// Stack depth
// ---------------------------------------------------------------------------
TEST(RawEmitters, StackDepthIsTrackedAndRecordedAfterEachChange)
{
    static char fake_m;
    cg_setup(&f, CG_PASS_WRITE);
    f.cg.m = (method_compile_context*)&fake_m;
    fake_records_reset();
    f.mci.sp_offset = -8;
    _gen_push(&f.cg, EBX);                                     // 1 byte, -12
    _gen_push_imm(&f.cg, 1000);                                // 5 bytes, -16
    _gen_push_mm(&f.cg, ESP, 4);                               // 4 bytes, -20
    _gen_ARITHMETIC_xgr_i4(&f.cg, ALU_SUB, ESP, 12, 4);         // 3 bytes, -32
    _gen_ARITHMETIC_xgr_i4(&f.cg, ALU_ADD, ESP, 1, 3);          // add ah, 1: no change
    _gen_ARITHMETIC_xgr_i4(&f.cg, ALU_ADD2, ESP, 28, 4);        // -4
    _gen_pop(&f.cg, ECX);                                      // 0, still recorded
    _gen_ARITHMETIC_xgr_i4(&f.cg, ALU_XOR, ESP, 0, 4);          // not a depth change
    EXPECT_EQ(f.mci.sp_offset, 0);
    std::vector<std::pair<u4, u2>> got;
    for (auto* n : fake_sp_nodes)
        got.push_back({n->offset, n->depth});
    std::vector<std::pair<u4, u2>> want = {{1, 3}, {6, 4}, {10, 5}, {13, 8}, {18, 1}, {19, 0}};
    EXPECT_EQ(got, want);

    // Pass 1 and a context without compile context record nothing.
    fake_records_reset();
    cg_setup(&f, CG_PASS_MEASURE);
    f.cg.m = (method_compile_context*)&fake_m;
    _gen_push(&f.cg, EBX);
    EXPECT_EQ(f.mci.sp_offset, -4);
    cg_setup(&f, CG_PASS_WRITE);
    _gen_pop(&f.cg, EBX);
    EXPECT_EQ(f.mci.sp_offset, 4);
    EXPECT_TRUE(fake_sp_nodes.empty());
}

TEST(RawEmitters, MeasuringPassCountsWorstCasePadding)
{
    cg_setup(&f, CG_PASS_MEASURE);
    _make_code_align(&f.cg, 0, 16);
    EXPECT_EQ(f.cg.code_size, 16u);
    _prevent_DCU_splits_nbytes(&f.cg, 1, 4);
    EXPECT_EQ(f.cg.code_size, 19u);
    EXPECT_EQ(f.bb[1].code_size, 19u);
    // Already aligned / not crossing: nothing in pass 2.
    cg_setup(&f, CG_PASS_WRITE, 32);
    _make_code_align(&f.cg, 0, 32);
    _prevent_DCU_splits_nbytes(&f.cg, 0, 32);
    EXPECT_EQ(f.cg.code, f.buf + 32);
    // Pass 2 pads at most n - 1 bytes for any start.
    for (u4 start = 0; start < 64; start++)
        for (int n = 1; n <= 8; n++) {
            cg_setup(&f, CG_PASS_WRITE, start);
            _prevent_DCU_splits_nbytes(&f.cg, 0, n);
            u4 p = (u4)(uintptr_t)f.cg.code;
            EXPECT_LE(f.cg.code - (f.buf + start), n - 1);
            EXPECT_EQ(p / 32, (p + n - 1) / 32) << start << " " << n;
        }
}

// ---------------------------------------------------------------------------
// Execution: emitted code run as cdecl functions.
// ---------------------------------------------------------------------------
struct exec_ctx {
    cg_fixture* fx;
    u1* entry;
};
exec_ctx begin_function()
{
    cg_setup(&f, CG_PASS_WRITE);
    f.cg.code = exec_page();
    f.mci.code_start = exec_page();
    return {&f, f.cg.code};
}

TEST(RawEmittersRun, AddTwoArguments)
{
    exec_ctx e = begin_function();
    _gen_move_gr_mem(&f.cg, EAX, ESP, 0, 0, 4, 4, SEG_NONE);
    _gen_ARITHMETIC_gr_mm(&f.cg, ALU_ADD, EAX, ESP, 0, 0, 8);
    _gen_ret(&f.cg);
    auto fn = (int (*)(int, int))e.entry;
    EXPECT_EQ(fn(40, 2), 42);
    EXPECT_EQ(fn(-7, 3), -4);
}

// setcc, cmovcc and jcc for every condition against less, equal and greater
// operands, signed and unsigned, compared with what C++ computes.
bool expect_cond(int cond, s4 a, s4 b)
{
    u4 ua = (u4)a, ub = (u4)b;
    switch (cond) {
    case COND_EQ: return a == b;
    case COND_NE: return a != b;
    case COND_LT: return a < b;
    case COND_LE: return a <= b;
    case COND_GT: return a > b;
    case COND_GE: return a >= b;
    case COND_A: return ua > ub;
    case COND_AE: case COND_NC: return ua >= ub;
    case COND_B: case COND_C: return ua < ub;
    case COND_BE: return ua <= ub;
    case COND_S: return (s4)(ua - ub) < 0;
    case COND_NS: return (s4)(ua - ub) >= 0;
    case COND_P: case COND_NP: {
        int bits = __builtin_popcount((ua - ub) & 0xFF);
        return (cond == COND_P) == (bits % 2 == 0);
    }
    }
    return false;
}

TEST(RawEmittersRun, ConditionTruthTable)
{
    const s4 values[][2] = {{1, 2}, {2, 2}, {3, 2}, {-1, 1}, {1, -1}, {INT32_MIN, INT32_MAX}, {0, 0}, {5, 2}};
    for (int cond = COND_EQ; cond <= (int)COND_NP; cond++) {
        // f(a, b): cmp a, b; setcc al; movzx eax, al  -- and a cmov and a jcc variant.
        exec_ctx e = begin_function();
        _gen_move_gr_mem(&f.cg, ECX, ESP, 0, 0, 4, 4, SEG_NONE);
        _gen_cmp_gr_mm(&f.cg, ECX, ESP, 8);
        _gen_move_gr_i4(&f.cg, EAX, 0);
        _gen_setcc_gr(&f.cg, EAX, cond, 1);
        _gen_ret(&f.cg);
        u1* cmov_entry = f.cg.code;
        _gen_move_gr_mem(&f.cg, ECX, ESP, 0, 0, 4, 4, SEG_NONE);
        _gen_move_gr_i4(&f.cg, EAX, 0);
        _gen_move_gr_i4(&f.cg, EDX, 1);
        _gen_cmp_gr_mm(&f.cg, ECX, ESP, 8);
        _gen_cmove_gr_gr(&f.cg, cond, EAX, EDX);
        _gen_ret(&f.cg);
        u1* jcc_entry = f.cg.code;
        _gen_move_gr_mem(&f.cg, ECX, ESP, 0, 0, 4, 4, SEG_NONE);
        _gen_move_gr_i4(&f.cg, EAX, 1);
        _gen_cmp_gr_mm(&f.cg, ECX, ESP, 8);
        u1* jump = f.cg.code;
        _gen_jmpcc(&f.cg, cond, (u4)(uintptr_t)jump + 2 + 5, 1);   // over the mov
        _gen_move_gr_i4(&f.cg, EAX, 0);
        _gen_ret(&f.cg);
        for (auto& v : values) {
            bool want = expect_cond(cond, v[0], v[1]);
            EXPECT_EQ(((int (*)(s4, s4))e.entry)(v[0], v[1]), want) << "set" << cond_name[cond] << " " << v[0] << "," << v[1];
            EXPECT_EQ(((int (*)(s4, s4))cmov_entry)(v[0], v[1]), want) << "cmov" << cond_name[cond];
            EXPECT_EQ(((int (*)(s4, s4))jcc_entry)(v[0], v[1]), want) << "j" << cond_name[cond];
        }
    }
}

// The thread-local sequences find their words through the mask: run them
// on a fake "stack" inside an aligned area whose words 0 and 1 are known.
TEST(RawEmittersRun, ThreadLocalAccess)
{
    alignas(4096) static u4 area[1024];
    area[0] = 0x1111;
    area[1] = 0x2222;
    orva_tla_mask = ~4095u;
    // f(sp, value): esp = sp; eax = TLA word 0; ecx = EE; store value as word 0; restore.
    exec_ctx e = begin_function();
    _gen_push(&f.cg, EBX);
    _gen_push(&f.cg, ESI);
    _gen_move_gr_mem(&f.cg, ESI, ESP, 0, 0, 16, 4, SEG_NONE);    // value
    _gen_move_gr_gr(&f.cg, EBX, ESP);
    _gen_move_gr_mem(&f.cg, ESP, ESP, 0, 0, 12, 4, SEG_NONE);    // esp = sp
    _gen_move_eax_fs(&f.cg);
    _gen_get_ee(&f.cg, EDX);
    _gen_move_fs_gr(&f.cg, ESI);
    _gen_ARITHMETIC_xgr_xgr(&f.cg, ALU_ADD, EAX, EDX, 4);
    _gen_move_gr_gr(&f.cg, ESP, EBX);
    _gen_pop(&f.cg, ESI);
    _gen_pop(&f.cg, EBX);
    _gen_ret(&f.cg);
    auto fn = (u4 (*)(u4*, u4))e.entry;
    EXPECT_EQ(fn(&area[900], 0x5555), 0x3333u);
    EXPECT_EQ(area[0], 0x5555u);
    EXPECT_EQ(area[1], 0x2222u);

    // _gen_move_fs_esp stores the esp of the sequence's start.
    e = begin_function();
    _gen_move_gr_gr(&f.cg, EDX, ESP);
    _gen_move_gr_mem(&f.cg, ESP, ESP, 0, 0, 4, 4, SEG_NONE);
    _gen_move_fs_esp(&f.cg);
    _gen_move_gr_gr(&f.cg, ESP, EDX);
    _gen_ret(&f.cg);
    ((void (*)(u4*))e.entry)(&area[800]);
    EXPECT_EQ(area[0], (u4)(uintptr_t)&area[800]);
}

}  // namespace
