// The interpreter-to-compiled transfer: the record set_rmmi_info leaves for
// the transfer, the verification of an interpreter's transfer request, and
// the frame the builder lays out from it.
#include "codegen/glue/gen_glue.h"
#include "codegen/regman/reg_records.h"
#include "driver/driver.h"
#include "driver/rcc.h"
#include "frontend/bb.h"
#include "frontend/qgen.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

void set_rmmi_info(codegen_context* cg);
// The transfer support's run-time entries (lib/rt_support.h, whose records
// this test does not need).
extern "C" u4 mmiVerifyTpAndGetWorkSize(u4 eax, u4 state_area, u4 locals, u4 bytecode_pc, u4 interp_stack);
extern "C" uint64_t mmiGenerateJitFrame(methodblock* mb, u4 registration, u4 state_area, u4 operand_area,
                                        u4 locals, u4 bytecode_pc, u4 interp_stack);

namespace {

// Code memory for the record (the compile's code-memory chain is not
// modelled); off, the code generator's stand-in answer (no memory).
bool xfer_code_memory = false;
rcc fake_code;

}  // namespace

void jit_code_mem_alloc(void** out, method_compile_context*, u4 size)
{
    *out = xfer_code_memory ? std::calloc(1, size) : nullptr;
}

rcc* search_committed_code0(u4 pc)
{
    u4 start = (u4)(uintptr_t)fake_code.start, end = (u4)(uintptr_t)fake_code.end;
    return start != 0 && pc >= start && pc <= end ? &fake_code : nullptr;
}

namespace {

// A method of 2 argument words and 6 locals, compiled for a transfer: locals
// 2 and 4 are used by the code (frame indices 2 and 3 after squeezing), 3
// and 5 are not.
struct xfer_method {
    struct {
        codegen_context cg;
        method_code_info mci;
    } f;
    method_compile_context m;
    methodblock mb;
    bbattr entry;
    bbattr* table[2];
    u4 glue[8];
    u4 local_table[6];

    void build(u2 access, u2 handlers, s4 try_region)
    {
        std::memset(&f, 0, sizeof f);
        f.cg.pass = CG_PASS_WRITE;
        f.cg.mci = &f.mci;
        std::memset(&m, 0, sizeof m);
        std::memset(&mb, 0, sizeof mb);
        std::memset(&entry, 0, sizeof entry);
        std::memset(glue, 0, sizeof glue);
        mb.args_size = 2;
        mb.nlocals = 6;
        mb.access = access;
        mb.exception_table_length = handlers;
        mb.compiled_code_info = glue;
        m.mb = &mb;
        m.local_count = 6;
        m.transfer_point = 0x5000;
        entry.try_region = try_region;
        table[0] = nullptr;
        table[1] = &entry;
        m.bb_table = table;
        m.bb_count = 2;
        m.frontend_words[TR_ENTRY] = 1;
        m.frontend_words[TR_CLEARED] = 0x7000;
        const u4 weights[6] = {0, 0, 0x50002, 0, 0x10003, 0};
        std::memcpy(local_table, weights, sizeof local_table);
        f.cg.m = &m;
        f.cg.mb = &mb;
        f.cg.local_table = local_table;
        f.cg.frame_locals = 4;
        f.mci.saved_regs = (u1)(reg_used_bit[GR_EBX] | reg_used_bit[GR_EDI]);
        f.mci.saved_count = 2;
        f.mci.handler_entry = reinterpret_cast<u1*>(0x7400);
    }
};

TEST(GenXfer, RecordPlacesEveryCarriedLocal)
{
    // Guards against a record that names slots the writing pass never gave a
    // frame word, or that misses the argument words above E.
    xfer_code_memory = true;
    struct row {
        u2 access;
        u2 handlers;
        s4 try_region;
        u4 fswl;          // 8 (two saved registers), + 20 handlers, + 8 synchronized
        u4 pc;            // 0: refused for good
    };
    const row rows[] = {
        {0, 0, -1, 8, 0x5000},
        {ACC_SYNCHRONIZED, 2, 3, 36, 0x5000},
        {0, 1, 200, 28, 0},      // a try region the frame's byte cannot name
    };
    for (const row& r : rows) {
        auto* t = new xfer_method;
        t->build(r.access, r.handlers, r.try_region);
        set_rmmi_info(&t->f.cg);
        const rmmi_info* rec = rmmi_info_of(&t->mb);
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec, reinterpret_cast<rmmi_info*>(t->glue[RMMI_GLUE_WORD / 4]));
        EXPECT_EQ(rec->entry, 0x7000u);
        EXPECT_EQ(rec->pc, r.pc);
        EXPECT_EQ(rec->saved_regs, t->f.mci.saved_regs);
        EXPECT_EQ(rec->frame_size, r.fswl + 8);
        EXPECT_EQ(rec->handler, r.handlers ? 0x7400u : 0u);
        if (r.try_region <= 127)
            EXPECT_EQ((int8_t)rec->try_index, r.try_region);
        const s4 expect[6] = {8, 4, (s4)(8 - r.fswl - 4 * 2 - 4), -1, (s4)(8 - r.fswl - 4 * 3 - 4), -1};
        for (int i = 0; i < 6; i++)
            EXPECT_EQ(rec->local_offset[i], expect[i] == -1 ? RMMI_NO_LOCAL : (u2)expect[i]) << "local " << i;
        EXPECT_EQ(is_existence_of_transfer_point(&t->mb, 0x5000), r.pc != 0 ? 1 : 0);
        EXPECT_EQ(is_existence_of_transfer_point(&t->mb, 0x5004), 0);
        delete t;
    }
    xfer_code_memory = false;
}

// An interpreter's transfer request laid out as the VM's transfer stub lays
// it: the transfer record, the argument words and E, the entry's return
// address at E - 4 and its three saved registers below.
struct xfer_request {
    methodblock mb;
    JavaFrame frame;
    u4 glue[8];
    u4 locals[6];
    alignas(16) u4 stack[512];
    vm_xfer_state* xs;
    rmmi_info* rec;
    u4 e;
    u4 registration[6];          // {EE, next, handler, monitors, ...} with P = &registration[1]

    void build(u2 access, u2 handlers)
    {
        std::memset(this, 0, sizeof *this);
        mb.args_size = 2;
        mb.nlocals = 6;
        mb.access = (u2)(access | ACC_COMPILED);
        mb.exception_table_length = handlers;
        mb.compiled_code_info = glue;
        frame.method = &mb;
        frame.locals = locals;
        for (u4 i = 0; i < 6; i++)
            locals[i] = 0x100 + i;
        rec = static_cast<rmmi_info*>(std::calloc(1, rmmi_info_size(6)));
        rec->entry = 0x9000;
        rec->pc = 0x5000;
        rec->saved_regs = (u1)(reg_used_bit[GR_EBP] | reg_used_bit[GR_ESI]);
        rec->try_index = 0xFF;
        rec->frame_size = 48;
        rec->handler = 0x9400;
        const s2 offsets[6] = {8, 4, -40, -1, -44, -48};
        for (int i = 0; i < 6; i++)
            rec->local_offset[i] = offsets[i] == -1 ? RMMI_NO_LOCAL : (u2)offsets[i];
        glue[RMMI_GLUE_WORD / 4] = (u4)(uintptr_t)rec;
        fake_code.start = reinterpret_cast<u1*>(0x8F00);
        fake_code.end = reinterpret_cast<u1*>(0x9800);
        fake_code.md[0] = handlers ? 36 : 16;   // FSWL: registration, lock node, two saved registers
        u4 top = (u4)(uintptr_t)&stack[480];
        xs = reinterpret_cast<vm_xfer_state*>(top);
        xs->frame = &frame;
        xs->method = &mb;
        xs->pc = reinterpret_cast<u1*>(0x5000);
        xs->caller_ebp = 0xEB0;
        e = top - 12 - 4 * 2 - 4;     // below the stub's saved registers and two argument words
        xs->return_slot = e;
        stack[(e - 4 - (u4)(uintptr_t)stack) / 4 - 1] = 0xB0B;   // ebx
        stack[(e - 4 - (u4)(uintptr_t)stack) / 4 - 2] = 0x515;   // esi
        stack[(e - 4 - (u4)(uintptr_t)stack) / 4 - 3] = 0xD1D;   // edi
        registration[0] = 0xEE;
        registration[2] = 0x9999;
        registration[3] = 0x1234;     // monitor-list head
    }
    ~xfer_request() { std::free(rec); }
    u4 verify(u4 pc) { return verify_with(e, (u4)(uintptr_t)locals, pc, e - 4); }
    u4 verify_with(u4 a, u4 loc, u4 pc, u4 stack_above)
    {
        return mmiVerifyTpAndGetWorkSize(a, (u4)(uintptr_t)xs, loc, pc, stack_above);
    }
    u4 at(u4 address) const { return *reinterpret_cast<const u4*>(address); }
};

TEST(GenXfer, VerificationRule)
{
    // Guards against a transfer into a frame that does not match what the
    // compiled code was built for (another pc, another frame, a stack laid
    // out differently, a synchronized frame without its lock).
    struct row {
        const char* what;
        u2 access;
        int change;
        bool accepted;
    };
    const row rows[] = {
        {"matching request", 0, 0, true},
        {"another pc", 0, 1, false},
        {"no transfer point in the record", 0, 2, false},
        {"eax is not E", 0, 3, false},
        {"entry not called right below E", 0, 4, false},
        {"other locals", 0, 5, false},
        {"frame of another method", 0, 6, false},
        {"synchronized without its lock", ACC_SYNCHRONIZED, 0, false},
        {"synchronized with its lock", ACC_SYNCHRONIZED, 7, true},
        {"method no longer compiled", 0, 8, false},
        {"entry outside committed code", 0, 9, false},
    };
    for (const row& r : rows) {
        auto* q = new xfer_request;
        q->build(r.access, 0);
        methodblock other{};
        u4 a = q->e, loc = (u4)(uintptr_t)q->locals, pc = 0x5000, above = q->e - 4;
        switch (r.change) {
        case 1: pc = 0x5008; break;
        case 2: q->rec->pc = 0; break;
        case 3: a = q->e - 4; break;
        case 4: above = q->e - 8; break;
        case 5: loc += 4; break;
        case 6: q->frame.method = &other; break;
        case 7: q->xs->monitor = 0xAB; break;
        case 8: q->mb.access &= (u2)~ACC_COMPILED; break;
        case 9: q->rec->entry = 0x100; break;
        }
        u4 w = q->verify_with(a, loc, pc, above);
        if (!r.accepted) {
            EXPECT_EQ(w, 0u) << r.what;
        } else {
            // Room for the frame and the resume words above, and a 16-byte
            // aligned stack at the frame builder's call (seven pushes).
            EXPECT_LE(w, q->e - 48 - sizeof(mmi_xfer_resume)) << r.what;
            EXPECT_GT(w, q->e - 48 - sizeof(mmi_xfer_resume) - 16) << r.what;
            EXPECT_EQ((w - 28) % 16, 0u) << r.what;
        }
        delete q;
    }
}

TEST(GenXfer, FrameBuiltFromTheRecord)
{
    // Guards against locals landing in other slots than the record names,
    // registers saved out of order, and a lost lock or registration.
    for (u2 handlers : {0, 1}) {
        auto* q = new xfer_request;
        q->build(ACC_SYNCHRONIZED, handlers);
        q->xs->monitor = 0xAB;
        u4 p = (u4)(uintptr_t)&q->registration[1];
        u4 e = q->e;
        u8 result = mmiGenerateJitFrame(&q->mb, p, (u4)(uintptr_t)q->xs, 0, (u4)(uintptr_t)q->locals, 0x5000,
                                        e - 4);
        EXPECT_EQ((u4)(result >> 32), 6u);
        // Locals: arguments above E, the others below; local 3 not carried.
        EXPECT_EQ(q->at(e + 8), 0x100u);
        EXPECT_EQ(q->at(e + 4), 0x101u);
        EXPECT_EQ(q->at(e - 40), 0x102u);
        EXPECT_EQ(q->at(e - 44), 0x104u);
        EXPECT_EQ(q->at(e - 48), 0x105u);
        // Save area at E - FSWL in ebp, ebx, esi, edi order, saved ones only.
        u4 save = e - (handlers ? 36 : 16);
        EXPECT_EQ(q->at(save), 0xEB0u);
        EXPECT_EQ(q->at(save + 4), 0x515u);
        // The synchronization node in the registration's monitor list.
        u4 node = handlers ? e - 28 : e - 8;
        EXPECT_EQ(q->at(p + REG_MONITORS), node);
        EXPECT_EQ(q->at(node), 0x1234u);
        EXPECT_EQ(q->at(node + 4), 0xABu);
        u4 head = p;
        if (handlers) {
            head = e - 16;
            EXPECT_EQ(q->at(head - 4), 0xEEu);
            EXPECT_EQ(q->at(head), p);
            EXPECT_EQ(q->at(head + 4), 0x9400u);
            EXPECT_EQ(q->at(head + 12), 0xFFFFFFFFu);
        }
        // The resume words right below the frame.
        auto* resume = reinterpret_cast<const mmi_xfer_resume*>((u4)result);
        EXPECT_EQ((u4)result, e - 48 - (u4)sizeof(mmi_xfer_resume));
        EXPECT_EQ(resume->ebx, 0xB0Bu);
        EXPECT_EQ(resume->esi, 0x515u);
        EXPECT_EQ(resume->edi, 0xD1Du);
        EXPECT_EQ(resume->registration, head);
        EXPECT_EQ(resume->ebp, 0xEB0u);
        EXPECT_EQ(resume->entry, 0x9000u);
        delete q;
    }
}

}  // namespace
