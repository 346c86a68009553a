// The instruction scheduler: its pairing rules as tables, the window's ring
// of stages, placement by dependences, the records that travel with moved
// instructions, and a property test: random instruction sequences written
// scheduled and unscheduled compute the same registers and memory when run.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "cg_test_util.h"

namespace {

constexpr u4 EAX = GR_EAX, EDX = GR_EDX, ECX = GR_ECX, EBX = GR_EBX, ESP = GR_ESP, EBP = GR_EBP,
             ESI = GR_ESI, EDI = GR_EDI;

cs_slot slot_of(u4 cls, u4 attr = 0x100, s4 disp = 0)
{
    cs_slot s{};
    s.cls = cls;
    s.attr = attr;
    s.disp = disp;
    return s;
}

// ---------------------------------------------------------------------------
// Two-slot rules, bank conflicts, pairing refusals
// ---------------------------------------------------------------------------
TEST(Scheduler, TwoSlotRules)
{
    const int E = -1;   // an empty slot
    struct { int s0, s1, c, want; } rows[] = {
        {E, E, 0, 0}, {E, E, 1, 0}, {E, E, 2, 0}, {E, E, 5, 0}, {E, E, 3, 1}, {E, E, 4, 1}, {E, E, 6, -1},
        {1, E, 1, 1}, {2, E, 3, 1}, {1, E, 2, -1}, {2, E, 4, -1}, {1, E, 0, -1},
        {4, E, 4, 1}, {5, E, 4, 1}, {4, E, 1, -1}, {5, E, 3, -1},
        {0, E, 1, -1}, {3, E, 1, -1}, {6, E, 4, -1},
        {E, 3, 1, 0}, {E, 3, 2, 0}, {E, 3, 4, -1}, {E, 4, 4, 0}, {E, 5, 4, 0}, {E, 5, 2, -1},
        {E, 0, 1, -1}, {E, 1, 1, -1}, {E, 2, 2, -1}, {E, 6, 4, -1}, {E, 3, 0, -1},
        {1, 1, 1, -1}, {4, 3, 4, -1},
        // the placed slot's class is compared whole: 0x10001 is not 1
        {0x10001, E, 1, -1},
    };
    for (auto r : rows) {
        cs_slot s0 = slot_of((u4)r.s0), s1 = slot_of((u4)r.s1), n = slot_of((u4)r.c);
        EXPECT_EQ(cs_two_slot_rule(r.s0 == E ? nullptr : &s0, r.s1 == E ? nullptr : &s1, &n), r.want)
            << r.s0 << " " << r.s1 << " " << r.c;
    }
    // Bank conflict with slot 0 refuses an otherwise pairing instruction.
    cs_slot s0 = slot_of(1, 0x04, 8), n = slot_of(1, 0x04, 40);
    EXPECT_EQ(cs_two_slot_rule(&s0, nullptr, &n), -1);
    n.disp = 44;
    EXPECT_EQ(cs_two_slot_rule(&s0, nullptr, &n), 1);
}

TEST(Scheduler, BankConflictByDisplacementModulo32)
{
    struct { u4 a_attr; s4 a_disp; u4 b_attr; s4 b_disp; int want; } rows[] = {
        {0x02, 0, 0x02, 32, 1},  {0x04, 8, 0x11, 40, 1},   {0x08, 4, 0x02, 8, 0},
        {0x02, -1, 0x02, 31, 0}, {0x02, -1, 0x02, -33, 1}, {0x02, -32, 0x02, 0, 1},
        {0x100, 0, 0x02, 0, 0},  {0x02, 0, 0x100, 0, 0},   {0x10, 0, 0x02, 0, 0},
        {0x06, 0, 0x02, 0, 0},   {0x0A, 0, 0x02, 0, 0},
    };
    for (auto r : rows) {
        cs_slot a = slot_of(1, r.a_attr, r.a_disp), b = slot_of(1, r.b_attr, r.b_disp);
        EXPECT_EQ(cs_bank_conflict(&a, &b), r.want) << std::hex << r.a_attr << " " << std::dec << r.a_disp << " " << r.b_disp;
    }
}

TEST(Scheduler, PairingRefusals)
{
    struct { u4 a; s4 ad; u4 b; s4 bd; int want; } rows[] = {
        {0x10000100, 0, 0, 0, 0},                  // empty second slot
        {0x100, 0, 0x10000001, 0, 0},              // exactly 256: never refused
        {0x10000000, 0, 0x10000004, 0, 1},         // two serial ones
        {0x02, 0, 0x01000001, 0, 1},               // b reads memory with a pairing bit
        {0x02, 0, 0x09, 0, 1},
        {0x11, 0, 0x10000002, 0, 1},               // b serial, a reads memory with a pairing bit
        {0x01000001, 0, 0x01000001, 4, 1},
        {0x02, 8, 0x04, 40, 1},                    // neither reads memory: bank conflict
        {0x02, 8, 0x04, 44, 0},
        {0x03, 8, 0x05, 8, 0},                     // one reads memory, kinds differ
        {0x03, 8, 0x02, 8, 1},                     // same data kind, same displacement
        {0x03, 8, 0x02, 12, 0},
        {0x11, 8, 0x10, 12, 1},                    // same other kind: always
        {0x01, 0, 0x40, 0, 1},                     // kind 0 both
    };
    for (auto r : rows) {
        cs_slot a = slot_of(0x10001, r.a, r.ad), b = slot_of(0x10001, r.b, r.bd);
        EXPECT_EQ(cs_pair_refused(&a, &b), r.want) << std::hex << r.a << " " << r.b;
    }
}

TEST(Scheduler, DependenceTest)
{
    cs_slot p{}, n{};
    p.write = 0x01; p.read = 0x02; p.addr = 0x08;
    n.read = 0x01;
    EXPECT_EQ(cs_depend(&n, &p), 1);
    n = {}; n.write = 0x02;
    EXPECT_EQ(cs_depend(&n, &p), 2);
    n = {}; n.write = 0x08;
    EXPECT_EQ(cs_depend(&n, &p), 2);
    n = {}; n.write = 0x01;
    EXPECT_EQ(cs_depend(&n, &p), 3);
    n = {}; n.read = 0x08; n.write = 0x10;
    EXPECT_EQ(cs_depend(&n, &p), 0);
}

// ---------------------------------------------------------------------------
// The window
// ---------------------------------------------------------------------------
cg_fixture f;
cs_window win;

void open(int proc)
{
    orva_processor_type = proc;
    cg_setup(&f, CG_PASS_WRITE);
    f.cg.cs = &win;
    f.cg.flags = CG_SCHED_WINDOW_OPEN;
    cs_bb_initialize(&f.cg, f.buf);
}

// Inserts a one-byte "instruction" whose byte names it.
void put(u1 name, u4 read, u4 addr, u4 write, u4 cls, s4 latency, u4 attr = 0x100)
{
    cs_slot* s = win.scratch;
    s->read = read;
    s->addr = addr;
    s->write = write;
    s->cls = cls;
    s->latency = latency;
    s->attr = attr;
    s->disp = 0;
    s->length = 1;
    s->bytes[0] = name;
    insert_inst(&f.cg);
}

// The pending stages as text: stages separated by '|', slots by ' ', '.' empty.
std::string stages()
{
    std::string out;
    int w = cs_stage_width();
    for (int r = 0; r < win.pending; r++) {
        if (r)
            out += '|';
        for (int k = 0; k < w; k++) {
            cs_slot* s = win.stage[(win.ring_start + r) % CS_STAGES][k];
            out += s->attr ? (char)s->bytes[0] : '.';
        }
    }
    return out;
}

TEST(Scheduler, EmptyWindowFinalizesInPlace)
{
    processor_scope ps(4);
    open(4);
    EXPECT_EQ(cs_bb_finalize(&f.cg), f.buf);
}

TEST(Scheduler, FullRingWritesTheOldestStageFirst)
{
    processor_scope ps(4);
    open(4);
    for (char c = 'a'; c <= 'h'; c++)
        put((u1)c, 0, 0, 0, 0, 1);          // class 0 issues alone: one stage each
    EXPECT_EQ(win.pending, 8);
    EXPECT_EQ(win.output, f.buf) << "nothing written while the ring has room";
    put('i', 0, 0, 0, 0, 1);
    EXPECT_EQ(win.output, f.buf + 1);
    EXPECT_EQ(f.buf[0], 'a');
    EXPECT_EQ(stages(), "b.|c.|d.|e.|f.|g.|h.|i.");
    u1* end = cs_bb_finalize(&f.cg);
    EXPECT_EQ(std::string((char*)f.buf, (size_t)(end - f.buf)), "abcdefghi");
}

TEST(Scheduler, PairsIndependentInstructionsAndKeepsDependentOnesApart)
{
    processor_scope ps(4);
    open(4);
    put('a', 0x01, 0, 0x01, 1, 1);      // eax
    put('b', 0x02, 0, 0x02, 1, 1);      // edx: pairs with a
    put('c', 0x01, 0, 0x04, 1, 1);      // reads eax: after a's stage
    put('d', 0x08, 0, 0x08, 1, 1);      // ebx: pairs with c
    EXPECT_EQ(stages(), "ab|cd");
    put('e', 0x10, 0, 0x10, 1, 1);      // independent: a new stage (both full)
    put('f', 0x20, 0, 0x20, 0, 1);      // class 0: alone
    EXPECT_EQ(stages(), "ab|cd|e.|f.");
    put('g', 0x40, 0, 0x40, 3, 1);      // class 3 pairs as second with e (class 1)
    EXPECT_EQ(stages(), "ab|cd|eg|f.");
}

TEST(Scheduler, AddressDependenceLandsTwoStagesLater)
{
    processor_scope ps(4);
    open(4);
    put('a', 0, 0, 0x08, 1, 1);         // writes ebx
    put('b', 0, 0x08, 0x01, 1, 1, 0x02); // load eax from [ebx]
    EXPECT_EQ(stages(), "a.|..|b.");
    // An independent instruction fills the gap.
    put('c', 0x20, 0, 0x20, 1, 1);
    EXPECT_EQ(stages(), "ac|..|b.");
}

TEST(Scheduler, LatencyKeepsReadersBehindBusyStages)
{
    processor_scope ps(4);
    open(4);
    put('m', 0x04, 0, 0x04 | 0x100, 0, 4);  // imul ecx: 4 stages in flight
    put('r', 0x04, 0, 0x01, 1, 1);          // reads ecx
    put('x', 0x02, 0, 0x02, 1, 1);          // independent
    EXPECT_EQ(stages(), "m.|x.|..|..|r.");
    for (int r = 0; r < 4; r++)
        EXPECT_EQ(win.busy[r] & 0x04, 0x04u) << r;
}

TEST(Scheduler, AntiDependenceKeepsOrder)
{
    processor_scope ps(4);
    open(4);
    put('a', 0x01, 0, 0x02, 1, 1);      // reads eax
    put('b', 0x04, 0, 0x01, 1, 1);      // writes eax: not before a
    EXPECT_EQ(stages(), "ab");
    put('c', 0x08, 0, 0x04, 1, 1);      // writes what b reads, b the last slot: next stage
    EXPECT_EQ(stages(), "ab|c.");
}

TEST(Scheduler, KeepInOrderGoesAfterEverything)
{
    processor_scope ps(4);
    open(4);
    put('a', 0x01, 0, 0x01, 0, 1);
    put('b', 0x02, 0, 0x02, 0, 1);
    put('k', 0, 0, 0, 1, 1, CS_ATTR_KEEP_ORDER | 0x100);
    EXPECT_EQ(stages(), "a.|bk");
}

TEST(Scheduler, ThreeSlotRulesOnClass5)
{
    processor_scope ps(5);
    open(5);
    put('a', 0x01, 0, 0x01, 0x10001, 9);   // latency becomes 0 on class 5
    put('b', 0x02, 0, 0x02, 0x10001, 9);
    EXPECT_EQ(stages(), ".ab");
    for (int r = 0; r < CS_STAGES; r++)
        EXPECT_EQ(win.busy[r], 0u);
    put('c', 0x04, 0, 0x04, 0x10001, 1);   // independent: in front of both
    EXPECT_EQ(stages(), "cab");
    put('d', 0x08, 0, 0x08, 0x00001, 1);   // upper half 0: only an empty stage
    EXPECT_EQ(stages(), "cab|d..");
    put('e', 0x08, 0, 0x10, 0x10001, 1);   // reads what d writes: after it
    EXPECT_EQ(stages(), "cab|de.");
    open(5);
    put('a', 0x01, 0, 0x01, 0x10001, 1);
    put('b', 0x02, 0, 0x02, 0x10001, 1);
    put('x', 0x01, 0, 0x20, 0x10001, 1);   // depends on a (slot 1): after both
    EXPECT_EQ(stages(), "abx");
    open(5);
    put('a', 0x01, 0, 0x01, 0x10001, 1, 0x10000004);
    put('b', 0x02, 0, 0x02, 0x10001, 1, 0x10000004);
    put('x', 0x40, 0, 0x20, 0x10001, 1, 0x10000004);   // serial pairing conflict with a and b
    EXPECT_EQ(stages(), "abx");
}

// Records that travel with moved instructions are corrected when written.
TEST(Scheduler, FlushCorrectsTravellingRecords)
{
    processor_scope ps(4);
    fake_records_reset();
    open(4);
    static sp_offset_info sp_node;
    static cp_node cp;
    put('a', 0, 0, 0x08, 1, 1);
    // b: a 2-byte instruction carrying all three records; it waits for a.
    cs_slot* s = win.scratch;
    *s = {};
    s->read = 0x08; s->write = 0x01; s->cls = 1; s->latency = 1; s->attr = 0x100; s->length = 2;
    s->bytes[0] = 'b'; s->bytes[1] = 'B';
    s->jmp_patch = s->bytes + 1;
    s->sp_ref = &sp_node;
    s->cp_ref = &cp;
    u1* old_field = s->jmp_patch;
    insert_inst(&f.cg);
    put('c', 0x20, 0, 0x20, 1, 1);          // moves in front of b
    u1* end = cs_bb_finalize(&f.cg);
    EXPECT_EQ(std::string((char*)f.buf, (size_t)(end - f.buf)), "acbB");
    ASSERT_EQ(fake_jmp_patches.size(), 1u);
    EXPECT_EQ(fake_jmp_patches[0].first, old_field);
    EXPECT_EQ(fake_jmp_patches[0].second, f.buf + 4);
    EXPECT_EQ(sp_node.offset, 4u);           // end of b
    EXPECT_EQ(cp.offset, 2u);                // start of b
}

TEST(Scheduler, MethodInitializeCarvesTheWindow)
{
    static char fake_m[1024];
    cg_setup(&f, CG_PASS_WRITE);
    f.cg.m = (method_compile_context*)fake_m;
    EXPECT_EQ(cs_method_initialize(&f.cg), 0);
    EXPECT_NE(f.cg.cs, nullptr);
    EXPECT_EQ(f.cg.cs->pending, 0);
    std::free(f.cg.cs);
    fake_wmem_exhausted = true;
    EXPECT_EQ(cs_method_initialize(&f.cg), 1);
    fake_wmem_exhausted = false;
}

// ---------------------------------------------------------------------------
// Property: scheduled and unscheduled code compute the same state.
// ---------------------------------------------------------------------------
// Registers eax, ecx, edx, ebx, esi take random values; ebp points at a
// 64-word memory area; edi is an address register written only by lea.
constexpr u4 DATA_REGS[] = {EAX, ECX, EDX, EBX, ESI};

struct gen_state {
    std::mt19937* rng;
    int pick(int n) { return (int)((*rng)() % (u4)n); }
    u4 reg() { return DATA_REGS[pick(5)]; }
    s4 imm() { return pick(4) == 0 ? (s4)(*rng)() : pick(256) - 128; }
    // A memory operand: [ebp + 4k] or [edi + 4k], within the area.
    void mem(u4* base, s4* disp)
    {
        *base = pick(2) ? EBP : EDI;
        *disp = 4 * pick(16);
    }
};

void random_instruction(codegen_context* cg, gen_state& g)
{
    u4 a = g.reg(), b = g.reg(), base;
    s4 disp;
    int ops[] = {ALU_ADD, ALU_SUB, ALU_AND, ALU_OR, ALU_XOR};
    switch (g.pick(22)) {
    case 0: gen_move_gr_i4(cg, a, g.imm()); break;
    case 1: gen_move_gr_gr(cg, a, b); break;
    case 2: gen_arithmetic_gr_gr(cg, ops[g.pick(5)], a, b); break;
    case 3: gen_arithmetic_gr_i4(cg, ops[g.pick(5)], a, g.imm()); break;
    case 4: gen_mul_gr_gr(cg, a, b); break;
    case 5: gen_shift_gr_i4(cg, g.pick(3), a, g.pick(32)); break;
    case 6: g.mem(&base, &disp); gen_move_gr_mem(cg, a, base, 0, 0, disp, 4, 0x02); break;
    case 7: g.mem(&base, &disp); gen_move_mm_gr(cg, base, 0, 0, disp, a, 4, 0x02); break;
    case 8: g.mem(&base, &disp); gen_arithmetic_gr_mm(cg, ops[g.pick(5)], a, base, 0, 0, disp, 0x02); break;
    case 9: g.mem(&base, &disp); gen_arithmetic_mm_gr(cg, ops[g.pick(5)], base, 0, 0, disp, a, 0x02); break;
    case 10: g.mem(&base, &disp); gen_arithmetic_mm_i4(cg, ops[g.pick(5)], base, 0, 0, disp, g.imm(), 0x02); break;
    case 11: gen_cmp_gr_gr(cg, a, b); gen_setcc_gr(cg, b, COND_EQ + g.pick(16), 1); break;
    case 12: gen_cmp_gr_i4(cg, a, g.imm()); gen_cmove_gr_gr(cg, COND_EQ + g.pick(16), b, g.reg()); break;
    case 13: gen_neg_gr(cg, a); break;
    case 14: gen_lea_gr_mm(cg, a, b, g.reg(), 1 << g.pick(4), g.imm()); break;
    case 15: gen_lea_gr_mm(cg, EDI, EBP, 0, 0, 4 * g.pick(16)); break;
    case 16: gen_xchg_gr_gr(cg, a, b); break;
    case 17: gen_mul_gr_i4(cg, a, g.imm()); break;
    case 18: gen_cdq(cg); break;
    case 19: gen_push(cg, a, 0, 0x100); gen_pop(cg, b, 0, 0x100); break;
    case 20: g.mem(&base, &disp); gen_movezx_gr_xmm(cg, a, base, 0, 0, disp + g.pick(4), 1, 0x02); break;
    case 21: gen_arithmetic_gr_gr(cg, ALU_ADD2, a, b); gen_arithmetic_gr_gr(cg, ALU_ADC, b, a); break;
    }
}

struct machine_state {
    u4 regs[8];      // eax ecx edx ebx esi edi(ebp-relative index) ; see run()
    u4 mem[64];
};

// Emits f(state*): loads the registers, runs the body, stores them back.
// With `scheduled` the body is emitted into an open scheduling window.
u1* build(std::vector<u1>* code, u4 seed, int length, bool scheduled)
{
    static cs_window w;
    cg_setup(&f, CG_PASS_WRITE);
    u1* start = exec_page() + (scheduled ? 32768 : 0);
    f.cg.code = start;
    f.mci.code_start = start;
    f.cg.cs = &w;
    // prologue: save callee-saved registers; ebp = state
    _gen_push(&f.cg, EBP);
    _gen_push(&f.cg, EBX);
    _gen_push(&f.cg, ESI);
    _gen_push(&f.cg, EDI);
    _gen_move_gr_mem(&f.cg, EBP, ESP, 0, 0, 20, 4, SEG_NONE);
    const u4 order[] = {EAX, ECX, EDX, EBX, ESI};
    for (int i = 0; i < 5; i++)
        _gen_move_gr_mem(&f.cg, order[i], EBP, 0, 0, 4 * i, 4, SEG_NONE);
    _gen_lea_gr_mm(&f.cg, EDI, EBP, 0, 0, 32 + 4 * 5);      // a valid address register
    _gen_lea_gr_mm(&f.cg, EBP, EBP, 0, 0, 32);              // ebp = memory area
    if (scheduled) {
        f.cg.flags = CG_SCHED_WINDOW_OPEN;
        cs_bb_initialize(&f.cg, f.cg.code);
    }
    std::mt19937 rng(seed);
    gen_state g{&rng};
    for (int i = 0; i < length; i++)
        random_instruction(&f.cg, g);
    if (scheduled) {
        f.cg.flags = 0;
        f.cg.code = cs_bb_finalize(&f.cg);
    }
    // epilogue: store registers (state = ebp - 32), restore, return
    _gen_lea_gr_mm(&f.cg, EBP, EBP, 0, 0, -32);
    for (int i = 0; i < 5; i++)
        _gen_move_mm_gr(&f.cg, EBP, 0, 0, 4 * i, order[i], 4);
    _gen_move_mm_gr(&f.cg, EBP, 0, 0, 20, EDI, 4);
    _gen_pop(&f.cg, EDI);
    _gen_pop(&f.cg, ESI);
    _gen_pop(&f.cg, EBX);
    _gen_pop(&f.cg, EBP);
    _gen_ret(&f.cg);
    code->assign(start, f.cg.code);
    return start;
}

void run_property(int proc, int mmx, u4 first_seed, int count)
{
    processor_scope ps(proc, mmx);
    fake_regs_reset(0x7F);
    int reordered = 0;
    for (u4 seed = first_seed; seed < first_seed + (u4)count; seed++) {
        int length = 3 + (int)(seed % 38);
        std::vector<u1> plain, sched;
        u1* f_plain = build(&plain, seed, length, false);
        u1* f_sched = build(&sched, seed, length, true);
        ASSERT_EQ(plain.size(), sched.size()) << "seed " << seed;
        if (plain != sched)
            reordered++;
        // state: 5 registers, edi slot, 2 spare words, then 64 memory words
        u4 init[8 + 64];
        std::mt19937 rng(seed * 7919u + 1);
        for (u4& v : init)
            v = rng();
        u4 s1[8 + 64], s2[8 + 64];
        std::memcpy(s1, init, sizeof init);
        std::memcpy(s2, init, sizeof init);
        ((void (*)(u4*))f_plain)(s1);
        ((void (*)(u4*))f_sched)(s2);
        s1[5] -= (u4)(uintptr_t)s1;   // edi: compare as an offset into the state
        s2[5] -= (u4)(uintptr_t)s2;
        if (std::memcmp(s1, s2, sizeof s1) != 0) {
            ADD_FAILURE() << "proc " << proc << " seed " << seed << " length " << length << "\nplain: "
                          << hex_bytes(plain.data(), plain.size()) << "\nsched: " << hex_bytes(sched.data(), sched.size());
            return;
        }
    }
    EXPECT_GT(reordered, count / 2) << "the scheduler hardly moved anything";
}

TEST(SchedulerProperty, SameStateOnClass3) { run_property(3, 0, 1000, 400); }
TEST(SchedulerProperty, SameStateOnClass4) { run_property(4, 0, 2000, 400); }
TEST(SchedulerProperty, SameStateOnClass4Mmx) { run_property(4, 1, 3000, 300); }
TEST(SchedulerProperty, SameStateOnClass5) { run_property(5, 0, 4000, 400); }

}  // namespace
