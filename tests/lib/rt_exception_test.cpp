// Exception raising, handling and frame walking on the real VM: hand-written
// compiled frames (rt_frames_test.S) registered as committed code raise
// through the software raisers and the VM's fault raiser; the handler and
// filters of the test copy of the compiler library (started by the VM as its
// compiler) catch in the same compiled frame, unwind through compiled frames
// releasing their monitor lists, hand over to an interpreter activation or
// land at a frame-less registration.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "driver/rcc.h"
#include "rt_test_env.h"

namespace {

constexpr int RT_LL_DIV = 27;
constexpr int RT_ABSTRACTMETHOD = 43, RT_ARRAY_OUTOFBOUNDS = 44, RT_NULL_POINTER = 59, RT_THROWN = 60,
              RT_DIV0 = 61, RT_ILLEGAL_ACCESS = 64;

// A hand-written method: its method block, catch table and depth table, and
// its committed-code registration.
struct code_method {
    methodblock mb;
    u4 exception_table[4];      // JVM entry 0: word 2 = the block-level table
    u4 block_table[4];          // its entry 0: word 2 = the catch-frame directory
    s4 directory[2];            // region 0: {count, records}
    u4 records[4];              // {0, class name or 0, handler, needs object}
    u1 sp_table[8 + 2 + 2];
    rcc* code;
};

// Registers [start, end) for a method named `name` whose depth is 0 words
// from its start and `depth` from `deep`; region 0 catches `catch_class` (0 =
// any) at `handler`.
code_method* make_method(const char* name, char* start, char* deep, char* end, u1 depth,
                         char* handler, const char* catch_class)
{
    auto* m = new code_method();
    std::memset(m, 0, sizeof *m);
    m->mb.clazz = vm_lookup_class("java/lang/Object");
    m->mb.name = name;
    m->mb.signature = "()V";
    if (handler != nullptr) {
        m->records[1] = reinterpret_cast<u4>(catch_class);
        m->records[2] = reinterpret_cast<u4>(handler);
        m->records[3] = 1;
        m->directory[0] = 1;
        m->directory[1] = reinterpret_cast<s4>(m->records);
        // Laid out as the compiler leaves them: the filter must follow both
        // links (it once handed the JVM table itself to the catch lookup).
        m->block_table[2] = reinterpret_cast<u4>(m->directory);
        m->exception_table[2] = reinterpret_cast<u4>(m->block_table);
        m->mb.exception_table = reinterpret_cast<u2*>(m->exception_table);
        m->mb.exception_table_length = 1;
    }
    m->sp_table[0] = 1;                                 // offset width
    m->sp_table[1] = 1;                                 // depth width
    u1* depths = m->sp_table + 10;
    std::memcpy(m->sp_table + 4, &depths, 4);
    m->sp_table[8] = 0;
    m->sp_table[9] = static_cast<u1>(deep - start);
    depths[0] = 0;
    depths[1] = depth;
    m->code = rtt::sym<rcc* (*)(methodblock*, u1*, u1*, const void*, u4, void*, void*)>("rtt_register_code")(
        &m->mb, reinterpret_cast<u1*>(start), reinterpret_cast<u1*>(end - 1), m->sp_table, 0, nullptr, nullptr);
    return m;
}

struct methods {
    code_method* catch_any;
    code_method* fault;
    code_method* div;
    code_method* inner;
    code_method* outer;
};

methods& hand_written()
{
    static methods m = [] {
        methods x;
        x.catch_any = make_method("cfCatch", cf_catch, cf_catch_d5, cf_catch_end, 5, cf_catch_catch, nullptr);
        x.fault = make_method("cfFault", cf_fault, cf_fault_d5, cf_fault_end, 5, cf_fault_catch, nullptr);
        x.div = make_method("cfDiv", cf_div, cf_div_d5, cf_div_end, 5, cf_div_catch, nullptr);
        x.inner = make_method("cfInner", cf_inner, cf_inner_d5, cf_inner_end, 7, nullptr, nullptr);
        x.outer = make_method("cfOuter", cf_outer, cf_outer_d5, cf_outer_end, 5, cf_outer_catch, nullptr);
        rtt_raiser_div0 = rtt::routine(RT_DIV0);
        rtt_ll_div = rtt::routine(RT_LL_DIV);
        rtt_exception_handler = rtt::sym<void* (*)()>("rtt_handler")();
        return x;
    }();
    return m;
}

std::string class_name(jref o)
{
    return o != nullptr ? vm_class_of(o)->name : "(null)";
}

std::string message(EE* ee, jref exc)
{
    JValue r{};
    if (!vm_call_method(ee, exc, vm_class_of(exc), "getMessage", "()Ljava/lang/String;", &r))
        return "(getMessage raised)";
    if (r.u == 0)
        return "(null)";
    char buf[256];
    return vm_string_to_utf(reinterpret_cast<jref>(r.u), buf, sizeof buf);
}

u4 tla_head(EE* ee)
{
    return reinterpret_cast<tla*>(reinterpret_cast<u4>(ee) & TLA_MASK)->registration;
}

class RuntimeExceptions : public testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(rtt::start(&why)) << why;
        hand_written();
    }
};

// What a compiled frame's catch block receives, raised by each software
// raiser, and the state the handler leaves: the frame's registration removed
// by the frame itself, no exception pending, mode word 1, the transition
// chain as before.
TEST_F(RuntimeExceptions, CatchInTheSameCompiledFrame)
{
    struct row { int raiser; u4 edx; bool ecx_mb; const char* cls; const char* msg; } rows[] = {
        {RT_NULL_POINTER, 0, false, "java/lang/NullPointerException", "(null)"},
        {RT_ARRAY_OUTOFBOUNDS, 7, false, "java/lang/ArrayIndexOutOfBoundsException", "7"},
        {RT_ARRAY_OUTOFBOUNDS, static_cast<u4>(-3), false, "java/lang/ArrayIndexOutOfBoundsException", "-3"},
        {RT_DIV0, 0, false, "java/lang/ArithmeticException", "/ by zero"},
        {RT_ABSTRACTMETHOD, 0, true, "java/lang/AbstractMethodError", "cfCatch"},
        {RT_ILLEGAL_ACCESS, 0, true, "java/lang/IllegalAccessError",
         "access non-public method java/lang/Object.cfCatch through an interface"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.cls);
        vmtest::run_java([&](EE* ee) {
            u4 head = tla_head(ee);
            u4 transition = ee->transition;
            u4 ecx = r.ecx_mb ? reinterpret_cast<u4>(&hand_written().catch_any->mb) : 0;
            jref exc = reinterpret_cast<jref>(rtt_enter(reinterpret_cast<void*>(cf_catch),
                                                   reinterpret_cast<u4>(rtt::routine(r.raiser)), r.edx, ecx));
            EXPECT_EQ(tla_head(ee), head);
            EXPECT_EQ(ee->transition, transition);
            EXPECT_EQ(ee->exception_kind, 0u);
            EXPECT_EQ(ee->mode, static_cast<u4>(EE_MODE_COMPILED));
            ee->mode = EE_MODE_INTERPRETER;
            EXPECT_EQ(class_name(exc), r.cls);
            EXPECT_EQ(message(ee, exc), r.msg);
            vm_clear_pending(ee);
        });
    }
}

// THROWN raises the pending exception itself: the catch receives that very
// object and no new one is made.
TEST_F(RuntimeExceptions, ThrownRaisesThePendingObject)
{
    vmtest::run_java([&](EE* ee) {
        vm_throw(ee, "java/lang/IllegalStateException", "mine");
        jref pending = vm_pending_exception(ee);
        ASSERT_NE(pending, nullptr);
        jref exc = reinterpret_cast<jref>(rtt_enter(reinterpret_cast<void*>(cf_catch),
                                               reinterpret_cast<u4>(rtt::routine(RT_THROWN)), 0, 0));
        ee->mode = EE_MODE_INTERPRETER;
        EXPECT_EQ(exc, pending);
        EXPECT_EQ(message(ee, exc), "mine");
        EXPECT_EQ(ee->exception_kind, 0u);
    });
}

// A zero divisor reaching the long divide helper raises ArithmeticException
// at the helper's call site, caught by the calling frame.
TEST_F(RuntimeExceptions, LongDivideByZeroRaisesThroughTheHandler)
{
    vmtest::run_java([&](EE* ee) {
        jref exc = reinterpret_cast<jref>(rtt_enter(reinterpret_cast<void*>(cf_div), 10, 0, 0));
        ee->mode = EE_MODE_INTERPRETER;
        EXPECT_EQ(class_name(exc), "java/lang/ArithmeticException");
        EXPECT_EQ(message(ee, exc), "/ by zero");
    });
}

// Hardware faults in compiled code, through the VM's fault raiser: a load
// with a non-zero SIB base is an array index (message: the index register),
// a null base a null pointer; MIN / -1 with the divisor in ecx is repaired,
// with the divisor in edx it is a division by zero.  The exception's stack
// trace starts at the faulting compiled method.
TEST_F(RuntimeExceptions, HardwareFaultsInCompiledCode)
{
    struct row { u4 eax, edx, ecx; const char* cls; const char* msg; } rows[] = {
        {0, 5, 0x10, "java/lang/ArrayIndexOutOfBoundsException", "5"},
        {0, 5, 0, "java/lang/NullPointerException", "(null)"},
        {0x7FFF0002, 0, 0, "java/lang/ArithmeticException", "/ by zero"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.cls);
        vmtest::run_java([&](EE* ee) {
            ee->mode = EE_MODE_COMPILED;
            jref exc = reinterpret_cast<jref>(rtt_enter(reinterpret_cast<void*>(cf_fault), r.eax, r.edx, r.ecx));
            ee->mode = EE_MODE_INTERPRETER;
            EXPECT_EQ(class_name(exc), r.cls);
            EXPECT_EQ(message(ee, exc), r.msg);
            char line[256];
            ASSERT_GE(vm_backtrace_depth(exc), 1);
            EXPECT_NE(std::strstr(vm_backtrace_line(exc, 0, line, sizeof line), "cfFault"), nullptr) << line;
        });
    }
    vmtest::run_java([&](EE* ee) {
        ee->mode = EE_MODE_COMPILED;
        u4 eax = rtt_enter(reinterpret_cast<void*>(cf_fault), 0x7FFF0001, 0, 0);
        ee->mode = EE_MODE_INTERPRETER;
        EXPECT_EQ(eax, 0x80000000u);
        EXPECT_EQ(ee->exception_kind, 0u);
    });
}

// Only faults in committed compiled code become Java exceptions: a memory or
// arithmetic fault in the interpreter or in a VM native is a VM error (the
// filter once took any pc of the interpreter's range for compiled code, and
// such a fault came back as a NullPointerException).
TEST_F(RuntimeExceptions, OnlyCompiledCodeFaultsAreJavaExceptions)
{
    auto origin = rtt::sym<int (*)(u4, u4)>("rtt_check_exception_origin");
    ASSERT_NE(origin, nullptr);
    u4 interp[2];
    vm_interpreter_range(interp);
    const u4 compiled = reinterpret_cast<u4>(cf_fault_d5);
    const u4 native = reinterpret_cast<u4>(&vm_new_object);
    for (u4 code : {u4(FAULT_MEMORY), u4(FAULT_ARITHMETIC)}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(origin(code, compiled), 1);
        EXPECT_EQ(origin(code, interp[0]), 0);
        EXPECT_EQ(origin(code, interp[1] - 1), 0);
        EXPECT_EQ(origin(code, native), 0);
    }
    EXPECT_EQ(origin(FAULT_STACK_OVERFLOW, native), 1);     // the VM decided that one itself
}

// An exception raised in a frame that does not catch it passes through that
// frame, whose monitor list is released, to the caller's catch.  When the
// monitor exit itself throws, that exception is raised in its place.
TEST_F(RuntimeExceptions, UnwindingReleasesMonitorLists)
{
    vmtest::run_java([&](EE* ee) {
        jref o = vm_new_object(ee, vm_lookup_class("java/lang/Object"));
        ASSERT_NE(o, nullptr);
        orva_monitorEnter2(ee, o);
        ASSERT_NE(reinterpret_cast<JHandle*>(o)->lockword >> 8, 0u);
        jref exc = reinterpret_cast<jref>(rtt_enter(reinterpret_cast<void*>(cf_outer),
                                               reinterpret_cast<u4>(rtt::routine(RT_NULL_POINTER)), 0, reinterpret_cast<u4>(o)));
        ee->mode = EE_MODE_INTERPRETER;
        EXPECT_EQ(class_name(exc), "java/lang/NullPointerException");
        EXPECT_EQ(reinterpret_cast<JHandle*>(o)->lockword >> 8, 0u);   // released

        // Not held: the exit throws IllegalMonitorStateException.
        exc = reinterpret_cast<jref>(rtt_enter(reinterpret_cast<void*>(cf_outer),
                                          reinterpret_cast<u4>(rtt::routine(RT_NULL_POINTER)), 0, reinterpret_cast<u4>(o)));
        ee->mode = EE_MODE_INTERPRETER;
        EXPECT_EQ(class_name(exc), "java/lang/IllegalMonitorStateException");
        EXPECT_EQ(ee->exception_kind, 0u);
    });
}

// A frame that does not catch, under a frame-less registration: the landing
// stub is taken with the exception pending (a new object for a code, the
// thrown object itself for THROWN).
TEST_F(RuntimeExceptions, FramelessLanding)
{
    code_method* m = hand_written().catch_any;
    m->records[1] = reinterpret_cast<u4>("java/lang/ArithmeticException");     // catches only this
    void* handler = rtt::sym<void* (*)()>("rtt_handler")();
    vmtest::run_java([&](EE* ee) {
        u4 head = tla_head(ee);
        u4 result = 0;
        int how = rtt_frameless(reinterpret_cast<void*>(cf_catch),
                                reinterpret_cast<u4>(rtt::routine(RT_NULL_POINTER)), 0, 0,
                                reinterpret_cast<void*>(vm_frameless_landing), handler, &result);
        ee->mode = EE_MODE_INTERPRETER;
        EXPECT_EQ(how, 2);
        EXPECT_EQ(tla_head(ee), head);
        EXPECT_EQ(vmtest::take_pending(ee), "java/lang/NullPointerException");

        vm_throw(ee, "java/lang/IllegalStateException", "kept");
        jref pending = vm_pending_exception(ee);
        how = rtt_frameless(reinterpret_cast<void*>(cf_catch), reinterpret_cast<u4>(rtt::routine(RT_THROWN)), 0, 0,
                            reinterpret_cast<void*>(vm_frameless_landing), handler, &result);
        ee->mode = EE_MODE_INTERPRETER;
        EXPECT_EQ(how, 2);
        EXPECT_EQ(vm_pending_exception(ee), pending);
        vm_clear_pending(ee);

        // The frame still catches its own class.
        how = rtt_frameless(reinterpret_cast<void*>(cf_catch), reinterpret_cast<u4>(rtt::routine(RT_DIV0)), 0, 0,
                            reinterpret_cast<void*>(vm_frameless_landing), handler, &result);
        ee->mode = EE_MODE_INTERPRETER;
        EXPECT_EQ(how, 1);
        EXPECT_EQ(class_name(reinterpret_cast<jref>(result)), "java/lang/ArithmeticException");
    });
    m->records[1] = 0;
}

// ---- interpreter <-> compiled ------------------------------------------

std::vector<std::string> walked;

extern "C" void walk_callback()
{
    EE* ee = orva_EE();
    frame_iterator it;
    auto init = reinterpret_cast<void (*)(EE*, frame_iterator*)>(orva_FrameIntf[FI_INIT]);
    auto prev = reinterpret_cast<void (*)(frame_iterator*)>(orva_FrameIntf[FI_PREV]);
    auto more = reinterpret_cast<int (*)(frame_iterator*)>(orva_FrameIntf[FI_MORE]);
    auto method = reinterpret_cast<methodblock* (*)(frame_iterator*)>(orva_FrameIntf[FI_METHOD]);
    auto is_jit = reinterpret_cast<int (*)(frame_iterator*)>(orva_FrameIntf[FI_IS_JIT_FRAME]);
    walked.clear();
    init(ee, &it);
    for (int guard = 0; more(&it) && guard < 64; guard++) {
        if (methodblock* mb = method(&it))
            walked.push_back(std::string(mb->name) + (is_jit(&it) ? "*" : ""));
        prev(&it);
    }
}

classblock* handover_class(EE* ee)
{
    static classblock* cb = nullptr;
    if (cb != nullptr)
        return cb;
    std::ifstream in(std::string(RTT_CLASSES) + "/RtHandover.class", std::ios::binary);
    std::vector<u1> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty())
        return nullptr;
    vmtest::write_class("RtHandover", bytes);
    cb = vm_find_class(ee, "RtHandover", 1);
    if (cb == nullptr)
        return nullptr;
    methodblock* callee = vm_find_method(cb, "callee", "(I)I");
    callee->invoker = reinterpret_cast<void*>(cf_callee);
    callee->compiled_code = reinterpret_cast<void*>(cf_callee);
    callee->access |= ACC_COMPILED;
    callee->counter = MB_COUNTER_NEVER;
    code_method* m = make_method("callee", cf_callee, cf_callee_d5, cf_callee_end, 5, nullptr, nullptr);
    m->code->mb = callee;
    rtt_callback = reinterpret_cast<void*>(walk_callback);
    return cb;
}

// Interpreted caller, compiled callee: a normal return, an exception raised
// in the compiled callee caught by the interpreted caller (through the VM's
// restart stub), and a stack walk from C code called by the compiled callee
// through a stub: compiled callee, then the interpreted caller.
TEST_F(RuntimeExceptions, InterpreterActivationCatchesFromCompiledCode)
{
    vmtest::run_java([&](EE* ee) {
        classblock* cb = handover_class(ee);
        ASSERT_NE(cb, nullptr) << vmtest::take_pending(ee);
        struct row { int x; int result; } rows[] = {{5, 105}, {0, -1}, {2, 102}};
        for (const row& r : rows) {
            SCOPED_TRACE(r.x);
            JValue v{};
            ASSERT_EQ(vm_call_method(ee, 0, cb, "caller", "(I)I", &v, r.x), 1) << vmtest::take_pending(ee);
            EXPECT_EQ(v.i, r.result);
            EXPECT_EQ(ee->exception_kind, 0u);
        }
        ASSERT_GE(walked.size(), 2u);
        EXPECT_EQ(walked[0], "callee*");
        EXPECT_EQ(walked[1], "caller");
    });
}

}  // namespace
