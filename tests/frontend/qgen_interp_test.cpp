// The whole front half proven by running: each method of QgCompute runs in
// our bytecode interpreter and, converted to final quadruples (prescan,
// blocks, first form, stack simulation, stack pass, conversion), in the
// quadruple interpreter of quad_interp.cpp; the results must be equal.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "driver/driver.h"
#include "fe_vm_env.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "inline/inline.h"
#include "quad_interp.h"

namespace qgtest {
bool interpret_static(EE* ee, methodblock* mb, const u4* args, int nargs, u4 result[2]);
}

namespace {

struct nall_scope {
    u4 saved[3];
    explicit nall_scope(bool idioms)
    {
        saved[0] = compile_option_flag;
        saved[1] = compile_option2_flag;
        saved[2] = compile_option3_flag;
        compile_option_flag = OPT1_NALL & ~(idioms ? OPT1_NPSEUDOOP : 0u);
        compile_option2_flag = OPT2_NALL;
        compile_option3_flag = OPT3_NALL;
    }
    ~nall_scope()
    {
        compile_option_flag = saved[0];
        compile_option2_flag = saved[1];
        compile_option3_flag = saved[2];
    }
};

// Front half of one method; null when a stage refuses it.
method_compile_context* final_form(EE* ee, methodblock* mb, method_compile_context* storage, std::string* why)
{
    memset(storage, 0, sizeof *storage);
    // The unresolved references, recorded as the compile driver records them.
    static method_unresolved_info info;
    free_method_unresolved_info(&info);
    initialize_method_unresolved_info(&info);
    resolve_method_call_graph(mb, &info, ee);
    storage->unresolved_info = &info;
    method_compile_context* m = storage;
    if (init_method_compile_context(&m, mb, nullptr, ee) != 0) {
        *why = "context";
        return nullptr;
    }
    m->state_flags |= MCC_MEANTIME_ABSENT | MCC_LIVENESS_UNAVAILABLE;
    if (JITTraverseByteCode(m, ee, 0) != 0)
        *why = "front end";
    else if (BB_stack_regalloc(m) != 0)
        *why = "stack pre-allocation";
    else if (generate_quadruple(m) != 0)
        *why = "conversion";
    else
        return m;
    jit_fast_compile_free_workspace(m);
    return nullptr;
}

const char* const kMethods[][2] = {
    {"gcd", "(II)I"}, {"collatz", "(II)I"}, {"primes", "(II)I"}, {"classify", "(II)I"}, {"sparse", "(II)I"},
    {"lmath", "(II)J"}, {"lcompare", "(II)I"}, {"dmath", "(II)D"}, {"fcompare", "(II)I"}, {"convert", "(II)I"},
    {"minmax", "(II)I"}, {"shifts", "(II)I"}, {"bools", "(II)I"},
};

const s4 kArgs[][2] = {
    {0, 1}, {1, 0}, {12, 18}, {-7, 3}, {100000, 77}, {77, -1000}, {-1000, 100000}, {2147483647, -2147483647 - 1},
    {-2147483647 - 1, 5}, {5, 5}, {255, 256}, {-3, -3},
};

void run_all(bool idioms)
{
    nall_scope opts(idioms);
    FE_REQUIRE_BOOT();
    u4 compared = 0;
    fetest::run([&](EE* ee) {
        classblock* cb = fetest::find_class(ee, "QgCompute", true);
        ASSERT_NE(cb, nullptr);
        for (const auto& name : kMethods) {
            SCOPED_TRACE(name[0]);
            methodblock* mb = fetest::find_method(cb, name[0], name[1]);
            ASSERT_NE(mb, nullptr);
            char ret = name[1][strlen(name[1]) - 1];
            for (const auto& a : kArgs) {
                SCOPED_TRACE(testing::Message() << a[0] << ", " << a[1]);
                u4 args[2] = {static_cast<u4>(a[0]), static_cast<u4>(a[1])};
                u4 expected[2];
                if (!qgtest::interpret_static(ee, mb, args, 2, expected))
                    continue;   // it threw: nothing to compare
                method_compile_context storage;
                std::string why;
                method_compile_context* m = final_form(ee, mb, &storage, &why);
                ASSERT_NE(m, nullptr) << why;
                quad_interp_result r = quad_interpret(m, args, 2, 1000000);
                jit_fast_compile_free_workspace(m);
                ASSERT_TRUE(r.ok) << r.why;
                compared++;
                EXPECT_EQ(r.value[0], expected[0]);
                if (ret == 'J' || ret == 'D')
                    EXPECT_EQ(r.value[1], expected[1]);
            }
        }
    });
    // Only the calls that throw (division by zero) are left out.
    EXPECT_GT(compared, 140u);
}

} // namespace

TEST(QgenInterp, FinalQuadruplesComputeWhatTheBytecodeComputes) { run_all(false); }

// The same with the idiom pass on: minimum, maximum, absolute value and
// conditional moves replace some of the branches.
TEST(QgenInterp, IdiomRewritingsKeepTheResults) { run_all(true); }
