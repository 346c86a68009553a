// VM services, routine table and raise landings of the object tests.
//
// The VM's class world is a few hand-made classes whose instance test walks
// the superclass chain; allocation hands out zeroed blocks laid out as the
// VM lays them (pre-header word, method table or length, header word, data).
// Raised exceptions land in C and long-jump back to the test, which learns
// the software exception code.
#include "object_fakes.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

#include "regman/reg_test_util.h"

#include "lib/rt_stubs.h"

// The allocation and cast routines of the run-time support (rt_alloc.cpp).
extern "C" {
u4 _orva_ObjAlloc(classblock* cb, u4 caller_ebp, u4 stub_frame);
u4 _jit_checkcast(u4 object, classblock* cb, u4 caller_ebp, u4 stub_frame);
u4 _jit_newarray(int type, s4 length, u4 caller_ebp, u4 stub_frame);
u4 _jit_anewarray(int index, s4 length, u4* cp, u4 caller_ebp, u4 stub_frame);
u4 _jit_anewarray_quick(int index, s4 length, u4* cp, u4 caller_ebp, u4 stub_frame);
u4 _jit_multianewarray(int index, int dims, u4* cp, s4* dim_words, u4 caller_ebp, u4 stub_frame);
u4 _jit_multianewarray_quick(int index, int dims, u4* cp, s4* dim_words, u4 caller_ebp, u4 stub_frame);
}

s4 orva_processor_num = 1;

// Data pieces (the class-cache cells): from a plain data array, apart from
// the code page.
void jit_data_mem_alloc(void** out, method_compile_context*, u4 size)
{
    static u4 words[512];
    static u4 used;
    u4 n = (size + 3) / 4;
    if (used + n > 512)
        used = 0;
    *out = &words[used];
    used += n;
}
s4 orva_processor_cmov_support = 1;
u4 orva_tla_mask = TLA_MASK;

fake_vm fvm;
jmp_buf landing;
EE fake_ee;

// ---------------------------------------------------------------------------
// Raise landings
// ---------------------------------------------------------------------------
[[noreturn]] static void land(u4 code)
{
    fvm.thrown = code;
    longjmp(landing, 1);
}
extern "C" {
__attribute__((force_align_arg_pointer, noreturn)) void land_thrown(void) { land(0xE000000Eu); }
__attribute__((force_align_arg_pointer, noreturn)) void land_arraystore(void) { land(0xE0000003u); }
__attribute__((force_align_arg_pointer, noreturn)) void land_negative(void) { land(0xE0000010u); }
__attribute__((force_align_arg_pointer, noreturn)) void THROW_EXCEPTION_THROWN(void) { land(0xE000000Eu); }
void THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_field(void) { __builtin_trap(); }
void THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokevirtual(void) { __builtin_trap(); }
void THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_static(void) { __builtin_trap(); }
}

void _gen_test_and_throw_exception(codegen_context* cg, int cond, int kind, int, int, int, int, u4 code,
                                   methodblock*, int)
{
    EXPECT_EQ(kind, 1) << "the sequences set the flags themselves";
    void* target = code == 0xE000000Eu   ? (void*)land_thrown
                   : code == 0xE0000003u ? (void*)land_arraystore
                   : code == 0xE0000010u ? (void*)land_negative
                                         : nullptr;
    ASSERT_NE(target, nullptr) << std::hex << code;
    _gen_jmpcc(cg, cond, cg->pass == CG_PASS_WRITE ? (u4)(uintptr_t)target : UNRESOLVED_TARGET, 4);
}

// The rest of the raise-path generator, which these tests leave out: no
// record lists to keep, and no array sequence runs here.
void init_test_and_throw_exception(codegen_context*) {}
void throw_records_moved(codegen_context*, u1*, u1*) {}
void gen_index_check(codegen_context*, int, int, int, int, int, u4, int) { ADD_FAILURE() << "no array checks here"; }

// ---------------------------------------------------------------------------
// Class world
// ---------------------------------------------------------------------------
static int fake_instance_of(u4 object, classblock* cb, EE*)
{
    fvm.instance_calls++;
    const JHandle* h = reinterpret_cast<const JHandle*>(object);
    if (h->lockword & LOCK_HDR_ARRAY)
        return cb == fvm.array_answer_class;
    for (classblock* c = reinterpret_cast<method_table*>(h->word0)->classdescriptor; c != nullptr; c = c->superclass)
        if (c == cb)
            return 1;
    return 0;
}

static u4* new_block(u4 data_bytes)
{
    u4* b = static_cast<u4*>(calloc(1, 12 + data_bytes + 8));
    return b + 1;   // the object: word 0 after the pre-header
}

static u4 fake_alloc_object(EE*, classblock* cb)
{
    fvm.alloc_object_calls++;
    if (fvm.refuse_alloc)
        return 0;
    u4* o = new_block(cb->instance_size);
    o[0] = (u4)(uintptr_t)cb->methodtable;
    return (u4)(uintptr_t)o;
}

static u4 fake_alloc_array(EE*, int type, int length)
{
    fvm.alloc_array_calls++;
    fvm.last_array_type = type;
    if (fvm.refuse_alloc)
        return 0;
    u4 size = type == T_REFERENCE ? 4 : type == T_LONG || type == T_DOUBLE ? 8 : type == T_INT || type == T_FLOAT ? 4
              : type == T_CHAR || type == T_SHORT ? 2 : 1;
    u4* o = new_block(size * (u4)length + 4);
    o[0] = (u4)length;
    o[1] = (u4)(type & 31) << 3 | LOCK_HDR_ARRAY;
    return (u4)(uintptr_t)o;
}

static u4 fake_multi_alloc(int dims, classblock* cls, s4* outermost)
{
    fvm.multi_dims = dims;
    fvm.multi_class = cls;
    for (int i = 0; i < dims && i < 4; i++)
        fvm.multi_lengths[i] = outermost[-i];
    return 0x5151;
}

static int fake_resolve(u4* cp, int index, EE*, u4 mask, int)
{
    fvm.resolutions++;
    fvm.last_mask = mask;
    u1* tags = reinterpret_cast<u1*>((uintptr_t)cp[0]);
    tags[index] |= 0x80;
    cp[index] = fvm.resolve_to[index];
    return 1;
}

static void fake_signal(EE* ee, const char* name, const char* detail)
{
    snprintf(fvm.signalled, sizeof fvm.signalled, "%s%s%s", name, detail ? ": " : "", detail ? detail : "");
    ee->exception_kind = 1;
}
static char* fake_classname(const char* name, char* buffer, int length)
{
    snprintf(buffer, (size_t)length, "%s", name);
    return buffer;
}
static int fake_snprintf(char* buffer, size_t length, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(buffer, length, format, ap);
    va_end(ap);
    return n;
}
static int fake_super(classblock*, methodblock*) { return 0; }
static int fake_clinit(classblock* cb)
{
    fvm.clinit_calls++;
    cb->state |= CS_INITIALIZED;
    return 0;
}
static int fake_access(classblock*, classblock*, int) { return 1; }

static classblock* object_class_slot;
classblock** orva_classJavaLangObject = &object_class_slot;

extern "C" EE* _orva_getee(void) { return &fake_ee; }
extern "C" methodblock* fi_current_frame_method(EE*) { return nullptr; }

// The monitor slow paths are not taken by these tests (vm.monitorEnter2 and
// vm.monitorFlatExitForJIT stay null).
extern "C" int _jit_monitorExitQuicker(u4, EE*, u4, u4) { __builtin_trap(); }

// ---------------------------------------------------------------------------
// The collector's quick entry and the routine table
// ---------------------------------------------------------------------------
static void* fake_quick_alloc(EE*, u4 word0, u4 flags, u4 size)
{
    fvm.quick_calls++;
    fvm.quick_word0 = word0;
    fvm.quick_flags = flags;
    fvm.quick_size = size;
    if (fvm.refuse_quick)
        return nullptr;
    u4* o = new_block(size);
    o[0] = word0;
    o[1] = flags & 0xFF;
    return o;
}
static u4 gc_vector[GCV_SIZE];

// The fakes go into the record of the VM's services before any test runs.
static const bool fakes_bound = [] {
    vm.is_instance_of = fake_instance_of;
    vm.AllocObject = fake_alloc_object;
    vm.AllocArray = fake_alloc_array;
    vm.MultiArrayAlloc = fake_multi_alloc;
    vm.ResolveClassConstant2 = fake_resolve;
    vm.ExecuteStaticInitializers = fake_clinit;
    vm.SignalError = fake_signal;
    vm.classname2string = fake_classname;
    vm.jio_snprintf = fake_snprintf;
    vm.isSpecialSuperCall = fake_super;
    vm.VerifyClassAccess = fake_access;
    vm.GCLinkVector = gc_vector;
    return true;
}();

extern "C" void** _GET_DECODE_TABLE_BASE(void)
{
    static void* table[160];
    table[0] = reinterpret_cast<void*>(&__ldc);
    table[10] = reinterpret_cast<void*>(&__new);
    table[11] = reinterpret_cast<void*>(&__checkcast);
    table[12] = reinterpret_cast<void*>(&__instanceof);
    table[19] = reinterpret_cast<void*>(&_jit_checkcast);
    table[20] = reinterpret_cast<void*>(&_orva_ObjAlloc);
    table[21] = reinterpret_cast<void*>(&_jit_newarray);
    table[22] = reinterpret_cast<void*>(&_jit_anewarray);
    table[23] = reinterpret_cast<void*>(&_jit_anewarray_quick);
    table[24] = reinterpret_cast<void*>(&_jit_multianewarray);
    table[25] = reinterpret_cast<void*>(&_jit_multianewarray_quick);
    return table;
}

// A thread area aligned as the VM aligns them (word 1 the EE), holding the
// frames the tests run on: the real stubs find the EE by masking esp.
static void set_up_thread_area(void)
{
    if (rm_frame_base != nullptr)
        return;
    u1* raw = static_cast<u1*>(mmap(nullptr, 0x80000, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    u1* area = reinterpret_cast<u1*>(((uintptr_t)raw + 0x3FFFF) & ~(uintptr_t)0x3FFFF);
    reinterpret_cast<EE**>(area)[1] = &fake_ee;
    rm_frame_base = area + 0x30000;
}

void reset_fake_vm(void)
{
    set_up_thread_area();
    fvm = {};
    fake_ee = {};
    gc_vector[GCV_QUICK_ALLOC] = (u4)(uintptr_t)fake_quick_alloc;
    gc_vector[GCV_QUICK_ALLOC_NEW] = (u4)(uintptr_t)fake_quick_alloc;
}
