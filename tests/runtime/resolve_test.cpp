// The resolve-and-retry stubs and their resolvers, driven through hand-made
// compiled sites: each site calls an out-of-line stub laid out as the code
// generator lays it out (saved registers, index, method block, the call of
// the run-time stub, the pops and ret, then the template of the final
// instruction), runs once through the resolver and then as rewritten.
#include <gtest/gtest.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>

#include <vector>

#include "driver/driver.h"
#include "lib/rt_stubs.h"
#include "rt_fixture.h"

extern "C" {
void __getfield(void);
void __putfield(void);
void __getstatic(void);
void __putstatic(void);
void __invokevirtual(void);
void __invokestatic(void);
void __execute_clinit(void);
void __new(void);
void __new_quick(void);
void __checkcast(void);
void __checkcast_quick(void);
void __instanceof(void);
void __instanceof_quick(void);
void __invokeinterface(void);
void __invokeinterface_quick(void);
extern u4 rtf_icc_edx, rtf_icc_ecx, rtf_icc_kind;
}

// The allocation, cast and initialisation routines the class stubs call.
namespace {
int clinit_calls, new_calls, alloc_calls, cast_calls;
bool clinit_throws, cast_fails;
u4 new_object_word = 0x7000;
}
extern "C" u4 _orva_ExecuteStaticInitializers(classblock* cb, u4, u4)
{
    clinit_calls++;
    if (clinit_throws)
        return 0;
    cb->state |= CS_INITIALIZED;
    return 1;
}
extern "C" u4 _jit_New(int index, classblock**, u4* cp, u4, u4) { new_calls++; return new_object_word + index; }
extern "C" u4 _orva_ObjAlloc(classblock* cb, u4, u4) { alloc_calls++; return reinterpret_cast<u4>(cb) + 1; }
extern "C" u4 _jit_checkcast(u4 object, classblock* cb, u4, u4) { cast_calls++; return object == 0 || !cast_fails; }
extern "C" u4 _orva_is_instance_of(u4 object, classblock* cb) { return object != 0 && object == reinterpret_cast<u4>(cb); }

// ---- the VM services the resolvers call ----

namespace {

u4 pool[16];
u1 tags[16];
bool fail_resolution;
int resolutions, initialisations;
char signalled[256];
methodblock* current_method;
classblock* object_class_ptr;
int super_call_answer;

int fake_resolve(u4* cp, int index, EE* ee, u4 mask, int init)
{
    resolutions++;
    if (fail_resolution) {
        ee->exception_kind = 1;
        return 0;
    }
    return 1;
}

int fake_initialise(classblock* cb)
{
    initialisations++;
    cb->state |= CS_INITIALIZED;
    return 1;
}

void fake_signal(EE* ee, const char* cls, const char* message)
{
    snprintf(signalled, sizeof signalled, "%s: %s", cls, message);
    ee->exception_kind = 1;
}

char* fake_classname(const char* name, char* buffer, int length)
{
    snprintf(buffer, static_cast<size_t>(length), "%s", name);
    for (char* p = buffer; *p; p++)
        if (*p == '/')
            *p = '.';
    return buffer;
}

int fake_snprintf(char* buffer, size_t length, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(buffer, length, format, ap);
    va_end(ap);
    return n;
}

int fake_super_call(classblock*, methodblock*) { return super_call_answer; }

}  // namespace

// The fakes go into the record of the VM's services before any test runs.
static const bool fakes_bound = [] {
    vm.ResolveClassConstant2 = fake_resolve;
    vm.ExecuteStaticInitializers = fake_initialise;
    vm.SignalError = fake_signal;
    vm.classname2string = fake_classname;
    vm.jio_snprintf = fake_snprintf;
    vm.isSpecialSuperCall = fake_super_call;
    return true;
}();
classblock** orva_classJavaLangObject = &object_class_ptr;

extern "C" methodblock* fi_current_frame_method(EE*) { return current_method; }
extern "C" EE* _orva_getee(void) { return rtf_ee(); }

namespace {

// ---- building code ----

struct code {
    u1* base;
    u4 used = 0;
    u1* here() { return base + used; }
    void b(std::initializer_list<int> bytes) { for (int x : bytes) base[used++] = static_cast<u1>(x); }
    void w(u4 v) { memcpy(base + used, &v, 4); used += 4; }
    void rel(u1 opcode, const void* target)
    {
        base[used] = opcode;
        u4 r = reinterpret_cast<u4>(target) - reinterpret_cast<u4>(base + used + 5);
        memcpy(base + used + 1, &r, 4);
        used += 5;
    }
    void continue_jmp()                 // jmp [rtf_site_continue]
    {
        b({0xFF, 0x25});
        w(reinterpret_cast<u4>(&rtf_site_continue));
    }
};

code new_code()
{
    void* p = mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    code c{static_cast<u1*>(p)};
    memset(c.base, 0xCC, 4096);
    return c;
}

struct field_site {
    code c;
    u1* site;
};

// A field or static site of `size` bytes calling an out-of-line stub that
// calls `stub` with eax = index word, ebx = accessing method, ecx = x87 word,
// followed by the template.  `pre` and `post` are bytes around the site.
field_site make_field_site(void (*stub)(void), u4 index_word, methodblock* accessor, u4 x87, u4 size,
                           const std::vector<int>& tmpl, const std::vector<int>& pre = {},
                           const std::vector<int>& post = {})
{
    field_site f{new_code(), nullptr};
    code& c = f.c;
    for (int x : pre) c.b({x});
    f.site = c.here();
    u1* ool = c.base + 512;
    c.rel(0xE8, ool);
    for (u4 i = 5; i < size; i++) c.b({0x90});
    for (int x : post) c.b({x});
    c.continue_jmp();
    c.used = 512;
    c.b({0x50, 0x51, 0x53});            // push eax, ecx, ebx
    c.b({0xB8}); c.w(index_word);
    c.b({0xBB}); c.w(reinterpret_cast<u4>(accessor));
    c.b({0xB9}); c.w(x87);
    c.rel(0xE8, reinterpret_cast<void*>(stub));
    c.b({0x5B, 0x59, 0x58, 0xC3});      // pop ebx, ecx, eax; ret
    for (int x : tmpl) c.b({x});
    return f;
}

classblock* new_class(const char* name)
{
    auto* cb = static_cast<classblock*>(calloc(1, sizeof(classblock)));
    cb->name = name;
    cb->constantpool = reinterpret_cast<decltype(cb->constantpool)>(pool);
    cb->state = CS_INITIALIZED;
    return cb;
}

methodblock* accessor_of(classblock* cb)
{
    auto* mb = static_cast<methodblock*>(calloc(1, sizeof(methodblock)));
    mb->clazz = cb;
    return mb;
}

fieldblock* new_field(classblock* cb, const char* name, const char* sig, u2 access, u4 value)
{
    auto* fb = static_cast<fieldblock*>(calloc(1, sizeof(fieldblock)));
    fb->clazz = cb;
    fb->name = name;
    fb->signature = sig;
    fb->access = access;
    fb->value = value;
    return fb;
}

void reset()
{
    fail_resolution = false;
    resolutions = initialisations = 0;
    signalled[0] = 0;
    rtf_ee()->exception_kind = 0;
    rtf_ee()->transition = 0;
    rtf_thrown_calls = 0;
    rtf_icc_kind = 0;
}

u4 run(u1* at, u4 eax, u4 edx = 0, u4 ecx = 0, bool* returned = nullptr)
{
    u4 r = 0;
    bool ok = rtf_run([&] { r = rtf_run_site(at, eax, edx, ecx, 0, nullptr); });
    if (returned != nullptr)
        *returned = ok;
    else
        EXPECT_TRUE(ok);
    return r;
}

TEST(ResolveField, GetfieldRewritesTheSiteAndKeepsTheX87Stack)
{
    reset();
    classblock* cb = new_class("p/C");
    methodblock* acc = accessor_of(cb);
    pool[3] = reinterpret_cast<u4>(new_field(cb, "f", "I", 0, 4));
    // fld dword a; fld qword b; fld qword c  ...site...  fstp qword c'; fstp qword b'; fstp dword a'
    static float a = 1.5f, a2;
    static double b = 2.25, c = -3.125, b2, c2;
    auto addr = [](void* p) { u4 v = reinterpret_cast<u4>(p); return std::vector<int>{int(v & 0xFF), int(v >> 8 & 0xFF), int(v >> 16 & 0xFF), int(v >> 24)}; };
    std::vector<int> pre = {0xD9, 0x05}, post = {0xDD, 0x1D};
    for (int x : addr(&a)) pre.push_back(x);
    pre.insert(pre.end(), {0xDD, 0x05});
    for (int x : addr(&b)) pre.push_back(x);
    pre.insert(pre.end(), {0xDD, 0x05});
    for (int x : addr(&c)) pre.push_back(x);
    for (int x : addr(&c2)) post.push_back(x);
    post.insert(post.end(), {0xDD, 0x1D});
    for (int x : addr(&b2)) post.push_back(x);
    post.insert(post.end(), {0xD9, 0x1D});
    for (int x : addr(&a2)) post.push_back(x);
    u4 m = 3, n = 3;                    // ST0, ST1 doubles, ST2 a float
    u4 live = m | (m << (24 - n)) | (n << 8) | (n << 24);
    field_site f = make_field_site(&__getfield, 3, acc, live, 6, {0x8B, 0x80, 0, 0, 0, 0}, pre, post);
    u4 obj[4] = {0, 0, 0x11, 0x22};     // the field at offset 4: obj + 12
    EXPECT_EQ(run(f.c.base, reinterpret_cast<u4>(obj)), 0x22u);
    EXPECT_EQ(a2, a);
    EXPECT_EQ(b2, b);
    EXPECT_EQ(c2, c);
    const u1 want[6] = {0x8B, 0x80, 12, 0, 0, 0};
    EXPECT_EQ(memcmp(f.site, want, 6), 0);
    EXPECT_EQ(rtf_ee()->transition, 0u);
    a2 = 0;
    EXPECT_EQ(run(f.c.base, reinterpret_cast<u4>(obj)), 0x22u);
    EXPECT_EQ(resolutions, 1) << "the rewritten site runs without the stub";
    EXPECT_EQ(a2, a);
}

TEST(ResolveField, UnusedLoadBecomesANoOperation)
{
    reset();
    classblock* cb = new_class("p/C");
    pool[3] = reinterpret_cast<u4>(new_field(cb, "f", "I", 0, 4));
    field_site f = make_field_site(&__getfield, 3 | 0x80000000u, accessor_of(cb), 0, 6, {0x8B, 0x80, 0, 0, 0, 0});
    EXPECT_EQ(run(f.c.base, 0x55), 0x55u);
    const u1 want[6] = {0x8D, 0x80, 0, 0, 0, 0};
    EXPECT_EQ(memcmp(f.site, want, 6), 0);
}

TEST(ResolveField, GetstaticOfALongLoadsBothWordsUnlessLowOnly)
{
    for (bool low_only : {false, true}) {
        reset();
        classblock* cb = new_class("p/C");
        cb->state = 0;
        static u4 value[2] = {0x01020304, 0x05060708};
        pool[5] = reinterpret_cast<u4>(new_field(cb, "l", "J", ACC_STATIC, reinterpret_cast<u4>(value)));
        // mov eax, [abs]; mov edx, [abs]
        field_site f = make_field_site(&__getstatic, 5 | (low_only ? 0x40000000u : 0), accessor_of(cb), 0, 12,
                                       {0x8B, 0x05, 0, 0, 0, 0, 0x8B, 0x15, 0, 0, 0, 0});
        u4 r = run(f.c.base, 0, 0x77);
        EXPECT_EQ(initialisations, 1);
        EXPECT_EQ(r, 0x01020304u);
        EXPECT_EQ(rtf_edx, low_only ? 0x77u : 0x05060708u);
        EXPECT_EQ(f.site[6], low_only ? 0x90 : 0x8B) << "the second half keeps its padding when only the low word is wanted";
    }
}

TEST(ResolveField, PutfieldOfAConstantAndStaticnessMismatch)
{
    reset();
    classblock* cb = new_class("p/C");
    pool[2] = reinterpret_cast<u4>(new_field(cb, "f", "I", 0, 0));
    // mov dword [eax+disp], 0x12345678
    field_site f = make_field_site(&__putfield, 2, accessor_of(cb), 0, 10,
                                   {0xC7, 0x80, 0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12});
    u4 obj[3] = {0, 0, 0};
    run(f.c.base, reinterpret_cast<u4>(obj));
    EXPECT_EQ(obj[2], 0x12345678u);

    reset();
    fieldblock* s = new_field(cb, "s", "I", ACC_STATIC, 0);
    pool[4] = reinterpret_cast<u4>(s);
    field_site g = make_field_site(&__getfield, 4, accessor_of(cb), 0, 6, {0x8B, 0x80, 0, 0, 0, 0});
    bool returned = true;
    run(g.c.base, reinterpret_cast<u4>(obj), 0, 0, &returned);
    EXPECT_FALSE(returned);
    EXPECT_EQ(rtf_icc_kind, 1u);
    EXPECT_EQ(rtf_icc_edx, reinterpret_cast<u4>(s));
    EXPECT_EQ(rtf_icc_ecx, 0u);
    EXPECT_EQ(g.site[0], 0xE8) << "left unresolved";
    EXPECT_EQ(rtf_ee()->transition, 0u);
}

TEST(ResolveField, PutstaticOfAFinalFieldFromAnotherClassIsIllegal)
{
    reset();
    classblock* owner = new_class("p/Owner");
    classblock* other = new_class("p/Other");
    pool[6] = reinterpret_cast<u4>(new_field(owner, "limit", "I", ACC_STATIC | ACC_FINAL, 0));
    current_method = accessor_of(other);
    field_site f = make_field_site(&__putstatic, 6, accessor_of(other), 0, 6, {0x89, 0x05, 0, 0, 0, 0});
    bool returned = true;
    run(f.c.base, 9, 0, 0, &returned);
    EXPECT_FALSE(returned);
    EXPECT_EQ(rtf_thrown_calls, 1u);
    EXPECT_STREQ(signalled, "java/lang/IllegalAccessError: p.Owner: field limit is final");
    EXPECT_EQ(f.site[0], 0xE8);

    reset();
    fieldblock* fb = reinterpret_cast<fieldblock*>(pool[6]);
    field_site g = make_field_site(&__putstatic, 6, accessor_of(owner), 0, 6, {0x89, 0x05, 0, 0, 0, 0});
    run(g.c.base, 9);
    EXPECT_EQ(fb->value, 9u) << "stored from its own class";
}

TEST(ResolveField, FailedResolutionRaisesThePendingException)
{
    reset();
    classblock* cb = new_class("p/C");
    fail_resolution = true;
    field_site f = make_field_site(&__getfield, 3, accessor_of(cb), 0, 6, {0x8B, 0x80, 0, 0, 0, 0});
    bool returned = true;
    run(f.c.base, 0, 0, 0, &returned);
    EXPECT_FALSE(returned);
    EXPECT_EQ(rtf_thrown_calls, 1u);
    EXPECT_EQ(rtf_ee()->transition, 0u);
}

TEST(ResolveField, SiteRewrittenByAnotherThreadIsLeftAlone)
{
    reset();
    classblock* cb = new_class("p/C");
    pool[3] = reinterpret_cast<u4>(new_field(cb, "f", "I", 0, 0));
    u4 site[2] = {0x90909090, 0x90909090};
    u1 ret1[16] = {};
    u4 mb_word = reinterpret_cast<u4>(cb);
    u4 r = 0;
    rtf_run([&] { r = _orva_ResolveClassConstant_getfield(3, ret1, reinterpret_cast<u1*>(site), &mb_word, 0, 0); });
    EXPECT_EQ(r, 1u);
    EXPECT_EQ(site[0], 0x90909090u);
}

// ---- call sites ----

struct call_site {
    code c;
    u1* site;
    u1* ret1;
};

// pre; site (call of the out-of-line stub, padded to `size`); post; then the
// out-of-line stub: push eax, ebx; eax = index; ebx = accessor; call `stub`;
// pop ebx, eax; ret; then `tmpl`.
call_site make_call_site(void (*stub)(void), u4 index_word, methodblock* accessor, u4 size,
                         const std::vector<int>& pre, const std::vector<int>& post, const std::vector<int>& tmpl)
{
    call_site s{new_code(), nullptr, nullptr};
    code& c = s.c;
    for (int x : pre) c.b({x});
    s.site = c.here();
    c.rel(0xE8, c.base + 512);
    for (u4 i = 5; i < size; i++) c.b({0x90});
    for (int x : post) c.b({x});
    c.continue_jmp();
    c.used = 512;
    c.b({0x50, 0x53});
    c.b({0xB8}); c.w(index_word);
    c.b({0xBB}); c.w(reinterpret_cast<u4>(accessor));
    c.rel(0xE8, reinterpret_cast<void*>(stub));
    s.ret1 = c.here();
    c.b({0x5B, 0x58, 0xC3});
    for (int x : tmpl) c.b({x});
    return s;
}

// A compiled method at +1024 (add eax, edx; ret) or +1040 (sub eax, edx; ret).
u1* add_code(code& c) { c.used = 1024; c.b({0x01, 0xD0, 0xC3}); return c.base + 1024; }
u1* sub_code(code& c) { c.used = 1040; c.b({0x29, 0xD0, 0xC3}); return c.base + 1040; }

methodblock* new_callee(classblock* cb, u2 access, void* code, u4 slot)
{
    auto* mb = static_cast<methodblock*>(calloc(1, sizeof(methodblock)));
    mb->clazz = cb;
    mb->name = "m";
    mb->signature = "(I)I";
    mb->access = access;
    mb->args_size = 2;
    mb->slot = slot;
    mb->compiled_code = code;
    mb->invoker = reinterpret_cast<void*>(&rtf_invoker);
    return mb;
}

u4 call_target(const u1* call) { u4 r; memcpy(&r, call + 1, 4); return reinterpret_cast<u4>(call + 5) + r; }

const std::vector<int> VIRTUAL_PRE = {0x8B, 0x08};              // mov ecx, [eax]
const std::vector<int> VIRTUAL_POST = {0xFF, 0x51, 0x48};       // call [ecx+0x48]
const std::vector<int> VIRTUAL_TEMPLATE = {0x8B, 0x89, 0, 0, 0, 0};   // mov ecx, [ecx+disp32]

TEST(ResolveCall, InvokevirtualBecomesTheMethodTableLoad)
{
    reset();
    rtf_class* rc = rtf_make_class("p/V", 4);
    call_site s = make_call_site(&__invokevirtual, 7, accessor_of(new_class("p/A")), 6, VIRTUAL_PRE, VIRTUAL_POST,
                                 VIRTUAL_TEMPLATE);
    methodblock* target = new_callee(&rc->cb, ACC_COMPILED, add_code(s.c), 2);
    rc->mt->methods[2] = target;
    pool[7] = reinterpret_cast<u4>(target);
    u4* receiver = rtf_new_object(rc, 0);
    EXPECT_EQ(run(s.c.base, reinterpret_cast<u4>(receiver), 5), reinterpret_cast<u4>(receiver) + 5);
    const u1 want[6] = {0x8B, 0x89, 12, 0, 0, 0};
    EXPECT_EQ(memcmp(s.site, want, 6), 0);
    EXPECT_EQ(run(s.c.base, reinterpret_cast<u4>(receiver), 6), reinterpret_cast<u4>(receiver) + 6);
    EXPECT_EQ(resolutions, 1);
}

TEST(ResolveCall, PrivateCompiledMethodIsCalledDirectlyAtItsEntry)
{
    reset();
    rtf_class* rc = rtf_make_class("p/V", 4);
    call_site s = make_call_site(&__invokevirtual, 7, accessor_of(new_class("p/A")), 6, VIRTUAL_PRE, VIRTUAL_POST,
                                 VIRTUAL_TEMPLATE);
    u1* entry = add_code(s.c);
    methodblock* target = new_callee(&rc->cb, ACC_COMPILED | ACC_PRIVATE, entry, 2);
    pool[7] = reinterpret_cast<u4>(target);
    u4* receiver = rtf_new_object(rc, 0);
    EXPECT_EQ(run(s.c.base, reinterpret_cast<u4>(receiver), 9), reinterpret_cast<u4>(receiver) + 9);
    EXPECT_EQ(s.site[0], 0x8D);
    EXPECT_EQ(s.site[1], 0x64);
    EXPECT_EQ(s.site[4], 0xE8);
    EXPECT_EQ(call_target(s.site + 4), reinterpret_cast<u4>(entry)) << "the entry itself, not 4 bytes into it";
}

TEST(ResolveCall, InvokestaticBindsCompiledCodeOrTheInitialTarget)
{
    reset();
    classblock* cb = new_class("p/S");
    call_site s = make_call_site(&__invokestatic, 8 | 0x80000000u, accessor_of(cb), 5, {}, {},
                                 {0x68, 0, 0, 0, 0});
    u1* entry = add_code(s.c);
    pool[8] = reinterpret_cast<u4>(new_callee(cb, ACC_STATIC | ACC_COMPILED, entry, 0));
    EXPECT_EQ(run(s.c.base, 30, 12), 42u);
    EXPECT_EQ(call_target(s.site), reinterpret_cast<u4>(entry));

    // Not compiled: the call goes to the out-of-line push of the method block,
    // then through the initial target into the method's gate.
    reset();
    call_site t = make_call_site(&__invokestatic, 8 | 0x80000000u, accessor_of(cb), 5, {}, {}, {0x68, 0, 0, 0, 0});
    code& c = t.c;
    c.used = static_cast<u4>(t.ret1 + 3 + 5 - c.base);
    c.rel(0xE9, reinterpret_cast<void*>(&__invokestatic_initial_target));
    u1* glue = c.base + 1100;
    methodblock* callee = new_callee(cb, ACC_STATIC, glue + 10, 0);
    callee->counter = 4;
    c.used = 1100;
    c.b({0x68}); c.w(reinterpret_cast<u4>(callee)); c.rel(0xE9, reinterpret_cast<void*>(&__bp_gate_code));
    c.b({0x68}); c.w(reinterpret_cast<u4>(callee)); c.rel(0xE9, reinterpret_cast<void*>(&__gate_code));
    pool[8] = reinterpret_cast<u4>(callee);
    rtf_invoker_calls = 0;
    EXPECT_EQ(run(c.base, 1, 2), 0x1234u);
    EXPECT_EQ(rtf_invoker_calls, 1u);
    u4 pushed;
    memcpy(&pushed, t.ret1 + 4, 4);
    EXPECT_EQ(pushed, reinterpret_cast<u4>(callee));
    EXPECT_EQ(call_target(t.site), reinterpret_cast<u4>(t.ret1 + 3));
}

TEST(ResolveCall, InvokespecialOfASuperMethodBindsTheSuperclassEntry)
{
    reset();
    rtf_class* super = rtf_make_class("p/Super", 4);
    classblock* sub = new_class("p/Sub");
    sub->superclass = &super->cb;
    call_site s = make_call_site(&__invokestatic, 9, accessor_of(sub), 5, {}, {}, {0x68, 0, 0, 0, 0});
    methodblock* referenced = new_callee(sub, ACC_COMPILED, add_code(s.c), 1);
    super->mt->methods[1] = new_callee(&super->cb, ACC_COMPILED, sub_code(s.c), 1);
    pool[9] = reinterpret_cast<u4>(referenced);
    super_call_answer = 1;
    EXPECT_EQ(run(s.c.base, 50, 8), 42u);
    super_call_answer = 0;
}

TEST(ResolveCall, StaticnessMismatchRaisesWithTheMethodBlock)
{
    reset();
    classblock* cb = new_class("p/S");
    call_site s = make_call_site(&__invokestatic, 8 | 0x80000000u, accessor_of(cb), 5, {}, {}, {0x68, 0, 0, 0, 0});
    methodblock* instance = new_callee(cb, ACC_COMPILED, add_code(s.c), 0);
    pool[8] = reinterpret_cast<u4>(instance);
    bool returned = true;
    run(s.c.base, 1, 2, 0, &returned);
    EXPECT_FALSE(returned);
    EXPECT_EQ(rtf_icc_kind, 3u);
    EXPECT_EQ(rtf_icc_edx, reinterpret_cast<u4>(instance));
    EXPECT_EQ(rtf_icc_ecx, 2u);
    EXPECT_EQ(rtf_ee()->transition, 0u);
}

// ---- interface sites ----

// A class whose interface method table lists `interfaces` (each interface's
// method 0 at method-table slot `slot`).
rtf_class* implementing(const char* name, std::initializer_list<classblock*> interfaces, methodblock* impl, u4 slot)
{
    rtf_class* rc = rtf_make_class(name, 4);
    rc->mt->methods[slot] = impl;
    auto* t = static_cast<imethod_table*>(calloc(1, 4 + 8 * (interfaces.size() + 1)));
    auto* offsets = static_cast<u2*>(calloc(1, 4));
    offsets[0] = static_cast<u2>(slot);
    for (classblock* i : interfaces) {
        t->itable[t->icount].classdescriptor = i;
        t->itable[t->icount++].offsets = offsets;
    }
    rc->cb.imethodtable = t;
    return rc;
}

// The generated plain interface site: mov ebx, pool; mov edi, index;
// call __invokeinterface; the method block word, the guess cell's address,
// the descriptor; then the continuation.  Polymorphic calls rewrite only the
// guess cell: after the first call's patching no code byte changes.
TEST(InterfaceSite, PolymorphicCallsRewriteTheGuessCellNotTheCode)
{
    reset();
    classblock* iface = new_class("p/I");
    classblock* other = new_class("p/J");
    methodblock* imb = new_callee(iface, 0, nullptr, 0);
    code c = new_code();
    methodblock* add = new_callee(other, ACC_COMPILED, add_code(c), 1);
    methodblock* sub = new_callee(other, ACC_COMPILED, sub_code(c), 2);
    u4* a = rtf_new_object(implementing("p/A", {iface}, add, 1), 0);
    u4* b = rtf_new_object(implementing("p/B", {other, iface}, sub, 2), 0);
    u4* neither = rtf_new_object(implementing("p/N", {other}, sub, 2), 0);
    pool[5] = reinterpret_cast<u4>(imb);
    static u4 guess_cell;
    guess_cell = 0;
    c.used = 0;
    c.b({0xBB}); c.w(reinterpret_cast<u4>(pool));
    c.b({0xBF}); c.w(5);
    u1* call = c.here();
    c.rel(0xE8, reinterpret_cast<void*>(&__invokeinterface));
    c.w(0xCAFEBABE);
    c.w(reinterpret_cast<u4>(&guess_cell));
    c.w(0x31);
    c.continue_jmp();

    EXPECT_EQ(run(c.base, reinterpret_cast<u4>(b), 2), reinterpret_cast<u4>(b) - 2);
    EXPECT_EQ(resolutions, 1);
    EXPECT_EQ(call_target(call), reinterpret_cast<u4>(&__invokeinterface_quick));
    u4 patched_mb;
    memcpy(&patched_mb, call + 5, 4);
    EXPECT_EQ(patched_mb, reinterpret_cast<u4>(imb));
    EXPECT_EQ(guess_cell, 1u);
    std::vector<u1> patched(c.base, c.base + 4096);

    struct step {
        u4* receiver;
        u4 result;
        u4 guess;
    } steps[] = {
        {a, reinterpret_cast<u4>(a) + 2, 0},
        {b, reinterpret_cast<u4>(b) - 2, 1},
        {b, reinterpret_cast<u4>(b) - 2, 1},
        {a, reinterpret_cast<u4>(a) + 2, 0},
    };
    for (const step& s : steps) {
        EXPECT_EQ(run(c.base, reinterpret_cast<u4>(s.receiver), 2), s.result);
        EXPECT_EQ(guess_cell, s.guess);
    }
    EXPECT_EQ(resolutions, 1);

    bool returned = true;
    run(c.base, reinterpret_cast<u4>(neither), 2, 0, &returned);
    EXPECT_FALSE(returned);
    EXPECT_EQ(rtf_thrown_calls, 1u);
    EXPECT_STREQ(signalled, "java/lang/IncompatibleClassChangeError: class p.N does not implement interface p.I");
    EXPECT_EQ(guess_cell, 0u) << "a failed lookup keeps the guess";
    EXPECT_EQ(rtf_ee()->transition, 0u);
    EXPECT_EQ(memcmp(patched.data(), c.base, patched.size()), 0) << "a call after the patching wrote code";
}

TEST(ResolveString, LdcBlockRunsOnceThenIsJumpedOver)
{
    reset();
    classblock* cb = new_class("p/L");
    pool[4] = 0x5150;                   // the interned String
    code c = new_code();
    // jmp short +0; the 23-byte resolution block; pop ebx, ecx, eax; continue.
    c.b({0xEB, 0x00});
    c.b({0x50, 0x51, 0x53});
    c.b({0xB8}); c.w(4);
    c.b({0xBB}); c.w(reinterpret_cast<u4>(accessor_of(cb)));
    c.b({0xB9}); c.w(0);
    c.rel(0xE8, reinterpret_cast<void*>(&__ldc));
    u1* ret1 = c.here();
    c.b({0x5B, 0x59, 0x58});
    c.continue_jmp();
    EXPECT_EQ(run(c.base, 0x31, 0x32, 0x33), 0x31u);
    EXPECT_EQ(rtf_edx, 0x32u);
    EXPECT_EQ(c.base[1], 26);
    EXPECT_EQ(resolutions, 1);
    EXPECT_EQ(ret1 - c.base, 25);
    EXPECT_EQ(run(c.base, 0x41), 0x41u);
    EXPECT_EQ(resolutions, 1) << "the jump now skips the block";
}

// ---- class stubs ----

// A site that calls `stub` directly with eax, edx, ecx as given (the
// code generator's convention for these stubs), then continues.
code direct_site(void (*stub)(void))
{
    code c = new_code();
    c.rel(0xE8, reinterpret_cast<void*>(stub));
    c.continue_jmp();
    return c;
}

TEST(ClassStubs, NewResolvesOnceThenAllocatesThroughTheQuickStub)
{
    reset();
    code c = direct_site(&__new);
    new_calls = alloc_calls = 0;
    u4 cp[8] = {};
    cp[3] = 0x4000;
    EXPECT_EQ(run(c.base, 3, 0x99, reinterpret_cast<u4>(cp)), new_object_word + 3);
    EXPECT_EQ(call_target(c.base), reinterpret_cast<u4>(&__new_quick));
    EXPECT_EQ(run(c.base, 3, 0x99, reinterpret_cast<u4>(cp)), 0x4001u);
    EXPECT_EQ(new_calls, 1);
    EXPECT_EQ(alloc_calls, 1);
}

TEST(ClassStubs, InstanceofAnswersAndRedirectsEvenForNull)
{
    reset();
    u4 cp[8] = {};
    cp[2] = 0x1234;                     // the "class": the fake instance test matches it
    for (u4 object : {0u, 0x1234u, 0x999u}) {
        code c = direct_site(&__instanceof);
        EXPECT_EQ(run(c.base, object, 2, reinterpret_cast<u4>(cp)), object == 0x1234u ? 1u : 0u);
        EXPECT_EQ(call_target(c.base), reinterpret_cast<u4>(&__instanceof_quick));
        EXPECT_EQ(run(c.base, object, 2, reinterpret_cast<u4>(cp)), object == 0x1234u ? 1u : 0u);
    }
    EXPECT_EQ(resolutions, 3);
    EXPECT_EQ(rtf_ee()->transition, 0u);
}

TEST(ClassStubs, CheckcastSucceedsForNullAndRaisesOnFailure)
{
    reset();
    u4 cp[8] = {};
    cp[5] = 0x55;
    code c = direct_site(&__checkcast);
    cast_fails = false;
    EXPECT_NE(run(c.base, 0, 5, reinterpret_cast<u4>(cp)), 0u);
    EXPECT_EQ(call_target(c.base), reinterpret_cast<u4>(&__checkcast_quick));
    cast_fails = true;
    bool returned = true;
    run(c.base, 0x77, 5, reinterpret_cast<u4>(cp), &returned);
    EXPECT_FALSE(returned);
    EXPECT_EQ(rtf_thrown_calls, 1u);
    cast_fails = false;
    fail_resolution = true;
    code d = direct_site(&__checkcast);
    run(d.base, 0x77, 5, reinterpret_cast<u4>(cp), &returned);
    EXPECT_FALSE(returned);
    EXPECT_EQ(call_target(d.base), reinterpret_cast<u4>(&__checkcast)) << "unresolved: not redirected";
    EXPECT_EQ(rtf_ee()->transition, 0u);
}

// clinit site: call the out-of-line stub (push eax, ecx; eax = class; ecx = x87 word;
// call __execute_clinit; pop ecx, eax; ret), 1 byte of padding, continue.
TEST(ClassStubs, ExecuteClinitRunsOnceAndErasesTheSite)
{
    for (bool initialised : {false, true}) {
        reset();
        clinit_calls = 0;
        clinit_throws = false;
        classblock* cb = new_class("p/I");
        cb->state = initialised ? CS_INITIALIZED : 0;
        code c = new_code();
        u1* site = c.here();
        c.rel(0xE8, c.base + 512);
        c.b({0x90});
        c.continue_jmp();
        c.used = 512;
        c.b({0x50, 0x51});
        c.b({0xB8}); c.w(reinterpret_cast<u4>(cb));
        c.b({0xB9}); c.w(0);
        c.rel(0xE8, reinterpret_cast<void*>(&__execute_clinit));
        c.b({0x59, 0x58, 0xC3});
        EXPECT_EQ(run(c.base, 0x31, 0x32), 0x31u);
        EXPECT_EQ(rtf_edx, 0x32u);
        EXPECT_EQ(clinit_calls, initialised ? 0 : 1);
        const u1 want[6] = {0x8D, 0x80, 0, 0, 0, 0};
        EXPECT_EQ(memcmp(site, want, 6), 0);
        EXPECT_EQ(run(c.base, 0x41), 0x41u);
    }
    reset();
    clinit_throws = true;
    classblock* cb = new_class("p/T");
    cb->state = 0;
    code c = new_code();
    c.rel(0xE8, c.base + 512);
    c.b({0x90});
    c.continue_jmp();
    c.used = 512;
    c.b({0x50, 0x51});
    c.b({0xB8}); c.w(reinterpret_cast<u4>(cb));
    c.b({0xB9}); c.w(0);
    c.rel(0xE8, reinterpret_cast<void*>(&__execute_clinit));
    c.b({0x59, 0x58, 0xC3});
    bool returned = true;
    run(c.base, 0, 0, 0, &returned);
    EXPECT_FALSE(returned);
    EXPECT_EQ(rtf_thrown_calls, 1u);
    EXPECT_EQ(c.base[0], 0xE8) << "a throwing initializer leaves the site";
    clinit_throws = false;
}

}  // namespace
