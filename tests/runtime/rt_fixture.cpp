// The fake thread area, hand-made objects and the C stand-ins that the
// replacement bodies and the gates call.
#include "rt_fixture.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <setjmp.h>
#include <stdlib.h>
#include <string.h>

#include "driver/vmlink.h"

namespace {

u1* area;
EE* the_ee;
jmp_buf raise_point;
const std::function<void()>* job;
bool finished;

void* thread_main(void*)
{
    if (setjmp(raise_point) == 0) {
        (*job)();
        finished = true;
    }
    return nullptr;
}

alignas(8) u1 heap[1 << 20];
u4 heap_used;

void* take(u4 bytes)
{
    bytes = (bytes + 7) & ~7u;
    void* p = heap + heap_used;
    heap_used += bytes;
    if (heap_used > sizeof heap)
        abort();
    return p;
}

int instance_test(u4 object, classblock* cb, EE* ee)
{
    rtf_instance_calls++;
    return *reinterpret_cast<method_table**>(object) == rtf_string_mt ? 1 : 0;
}

void flat_exit(EE* ee, u4 object) { rtf_flat_exit_calls++; }

}  // namespace

int rtf_instance_calls;
method_table* rtf_string_mt;
int rtf_flat_exit_calls;
int (*rtf_compile_hook)(methodblock* mb);

// The VM services the bodies call, in the record of the VM's services.
static const bool fakes_bound = [] {
    vm.is_instance_of = instance_test;
    vm.monitorFlatExitForJIT = flat_exit;
    return true;
}();

extern "C" {

int _jit_fast_compile(methodblock* mb, EE* ee, u4 transfer_point, u4 extra)
{
    return rtf_compile_hook != nullptr ? rtf_compile_hook(mb) : 1;
}

void rtf_on_raise(void) { longjmp(raise_point, 1); }
}

namespace {

// Every test starts on a thread that has done nothing yet: a test that ends
// with an exception pending (a raise it checked) or with a mode or transition
// word set must not hand them to whichever test runs next.
struct fresh_ee_per_test : ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        if (the_ee != nullptr)
            memset(the_ee, 0, sizeof(EE));
    }
};

const bool fresh_ee_registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new fresh_ee_per_test);
    return true;
}();

}  // namespace

EE* rtf_ee()
{
    if (area == nullptr) {
        if (posix_memalign(reinterpret_cast<void**>(&area), 0x40000, 0x40000) != 0)
            abort();
        memset(area, 0, 0x1000);
        the_ee = static_cast<EE*>(calloc(1, sizeof(EE)));
        reinterpret_cast<u4*>(area)[TLA_EE / 4] = reinterpret_cast<u4>(the_ee);
    }
    return the_ee;
}

bool rtf_run(const std::function<void()>& fn)
{
    rtf_ee();
    job = &fn;
    finished = false;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstack(&attr, area + 0x2000, 0x40000 - 0x2000);
    pthread_t t;
    pthread_create(&t, &attr, thread_main, nullptr);
    pthread_join(t, nullptr);
    pthread_attr_destroy(&attr);
    return finished;
}

rtf_class* rtf_make_class(const char* name, int slots)
{
    auto* c = static_cast<rtf_class*>(take(sizeof(rtf_class)));
    memset(c, 0, sizeof *c);
    c->cb.name = name;
    c->mt = static_cast<method_table*>(take(4 + 4 * slots));
    memset(c->mt, 0, 4 + 4 * slots);
    c->mt->classdescriptor = &c->cb;
    c->cb.methodtable = c->mt;
    c->cb.methodtable_size = static_cast<u2>(slots);
    return c;
}

u4* rtf_new_object(rtf_class* c, int field_words)
{
    u4* block = static_cast<u4*>(take(4 * (3 + field_words) + 4));
    if ((reinterpret_cast<u4>(block + 1) & 7) != 0)
        block++;
    memset(block, 0, 4 * (3 + field_words));
    u4* obj = block + 1;
    obj[0] = reinterpret_cast<u4>(c->mt);
    return obj;
}

u4* rtf_new_array(int type, int length, int elem_size, classblock* elem_class)
{
    u4 data = static_cast<u4>(length * elem_size);
    u4* block = static_cast<u4*>(take(4 * 3 + data + 16));
    if ((reinterpret_cast<u4>(block + 1) & 7) != 0)
        block++;
    memset(block, 0, 4 * 3 + data + 8);
    u4* obj = block + 1;
    obj[0] = static_cast<u4>(length);
    obj[1] = static_cast<u4>((type & 31) * 8 | LOCK_HDR_ARRAY);
    if (type == 2)
        obj[2 + length] = reinterpret_cast<u4>(elem_class);
    return obj;
}
