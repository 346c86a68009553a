// Call sites and their out-of-line stubs: the writing pass never needs more
// stub bytes than the measuring pass reserved (on one processor and with the
// multiprocessor line padding), the stubs have the shape the run-time
// resolvers rely on (the initial-target push right after the resolve stub's
// ret, the method-table template three bytes after the return address), each
// site is aimed at its stub, and class-hierarchy patch sites are rewritten
// into the jump of their template.
#include <gtest/gtest.h>

#include <cstring>

// The core's header first: its set-up enum shares a name with the fixture's
// set-up function, which then hides it.
#include "codegen/glue/gen_callsite.h"
#include "cg_test_util.h"
#include "driver/compile_context.h"
#include "frontend/quad.h"

extern s4 orva_processor_num;

namespace {

struct site_case {
    const char* name;
    int processors;
    void (*emit)(codegen_context* cg, methodblock* mb);
    u1 stub_first;   // first byte of the stub the site is aimed at
};

methodblock callee;

void direct_unresolved(codegen_context* cg, methodblock*) { gen_invokestatic_quick_core(cg, nullptr, 17, INVOKE_SITE_UNRESOLVED); }
void direct_not_compiled(codegen_context* cg, methodblock* mb) { gen_invokestatic_quick_core(cg, mb, 0, INVOKE_SITE_COMPILED); }
void virtual_unresolved(codegen_context* cg, methodblock*)
{
    gen_invokevirtual_quick_core(cg, GR_ESI, GR_EDI, 23, 0x1234, VOBJ_UNRESOLVED);
}
void object_method(codegen_context* cg, methodblock* mb) { gen_invokevirtualobject_quick_core(cg, GR_EBX, GR_EBP, mb, VOBJ_OUT_OF_LINE); }

const site_case cases[] = {
    {"direct, unresolved", 1, direct_unresolved, 0x50},
    {"direct, unresolved, MP", 2, direct_unresolved, 0x50},
    {"direct, not compiled", 1, direct_not_compiled, 0x68},
    {"direct, not compiled, MP", 2, direct_not_compiled, 0x68},
    {"virtual, unresolved", 1, virtual_unresolved, 0x50},
    {"virtual, unresolved, MP", 2, virtual_unresolved, 0x50},
    {"Object method, array receiver", 1, object_method, 0xE8},
    {"Object method, array receiver, MP", 2, object_method, 0xE8},
};

struct site_run {
    cg_fixture f;
    method_compile_context m;
    quadruple q;
    quadruple* slots[1];

    void setup(int pass)
    {
        cg_setup(&f, pass, 13);   // an odd start, so that line padding shows
        std::memset(&m, 0, sizeof m);
        std::memset(&q, 0, sizeof q);
        q.context = 0x5678;
        slots[0] = &q;
        f.bb[1].catbl = slots;
        f.bb[1].quad_count = 1;
        f.cg.m = &m;
        init_invoke_back_patch(&m);
        init_invokevirtualobject(&m);
    }
};

// The call instruction (E8) in [p, end) and the address after it.
u1* after_call(u1* p, u1* end)
{
    for (; p + 5 <= end; p++)
        if (*p == 0xE8)
            return p + 5;
    return nullptr;
}

}  // namespace

TEST(CallSites, StubsFitTheirReserveAndSitesCallThem)
{
    std::memset(&callee, 0, sizeof callee);
    callee.slot = 9;
    s4 saved = orva_processor_num;
    for (const site_case& c : cases) {
        SCOPED_TRACE(c.name);
        orva_processor_num = c.processors;
        static site_run r;
        r.setup(CG_PASS_MEASURE);
        c.emit(&r.f.cg, &callee);
        u4 site_bytes = r.f.cg.code_size;
        u4 reserve = r.m.extra_code_size;
        EXPECT_GT(reserve, 0u);

        r.setup(CG_PASS_WRITE);
        u1* site = r.f.cg.code;
        c.emit(&r.f.cg, &callee);
        u1* body_end = r.f.cg.code;
        EXPECT_LE((u4)(body_end - site), site_bytes) << "the site grew";
        gen_invoke_initial_target(&r.m, &r.f.cg);
        u1* stubs_end = r.f.cg.code;
        EXPECT_LE((u4)(stubs_end - body_end), reserve) << "stubs longer than reserved";

        // The site's displacement (a call, or the jne of an Object method)
        // leads to the first stub.
        u1* end = after_call(site, body_end);
        if (c.emit == object_method) {
            end = site + 4 + 6;   // test byte [eax+4], 2; jne rel32
            ASSERT_EQ(site[4], 0x0F);
        }
        ASSERT_NE(end, nullptr);
        s4 rel;
        std::memcpy(&rel, end - 4, 4);
        EXPECT_EQ(end + rel, body_end);
        // (the out-of-line call of an Object method may start with line padding)
        if (c.stub_first != 0xE8 || c.processors == 1)
            EXPECT_EQ(*body_end, c.stub_first);
        if (c.processors > 1 && c.emit != object_method) {
            // The patched field stays inside one 32-byte line.
            u1* field = c.emit == virtual_unresolved ? end - 5 : end - 4;
            u4 first = (u4)(field - r.f.buf), last = first + (c.emit == virtual_unresolved ? 1 : 3);
            EXPECT_EQ(((uintptr_t)r.f.buf + first) / 32, ((uintptr_t)r.f.buf + last) / 32);
        }
        if (c.stub_first == 0x50) {
            // pop ebx; pop eax; ret after the run-time call, then what the
            // resolver finds three bytes on.
            u1* ret1 = after_call(body_end, stubs_end);
            ASSERT_NE(ret1, nullptr);
            EXPECT_EQ(ret1[0], 0x5B);
            EXPECT_EQ(ret1[1], 0x58);
            EXPECT_EQ(ret1[2], 0xC3);
            if (c.emit == direct_unresolved) {
                EXPECT_EQ(ret1[3], 0x68) << "initial-target push";
            } else {
                EXPECT_EQ(ret1[3], 0x8B) << "method-table load template";
                EXPECT_EQ(ret1[4], 0x80 | (7 << 3) | 6) << "mov edi, [esi + disp32]";
            }
        }
    }
    orva_processor_num = saved;
}

TEST(CallSites, ClassHierarchySiteTakesTheTemplateJump)
{
    struct {
        const char* name;
        u1 tmpl[CHA_TEMPLATE_SIZE];
        u4 length;
    } rows[] = {
        {"near", {5, 0xE9, 0x10, 0x20, 0x30, 0x40, 0x90, 0x90, 0x90, 0x90, 0x90}, 5},
        {"short", {2, 0xEB, 0x22, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90}, 2},
    };
    for (auto& row : rows) {
        SCOPED_TRACE(row.name);
        alignas(4) u1 site[8] = {0x8B, 0x45, 0x08, 0x03, 0x45, 0x0C, 0xC3, 0xCC};
        u1 before[8];
        std::memcpy(before, site, sizeof site);
        cha_rewrite_site(site, row.tmpl);
        EXPECT_EQ(0, std::memcmp(site, row.tmpl + 1, row.length)) << "the site holds the jump";
        EXPECT_EQ(0, std::memcmp(row.tmpl + 6, before, row.length)) << "the template keeps the old bytes";
        EXPECT_EQ(0, std::memcmp(site + row.length, before + row.length, sizeof site - row.length));
    }
}
