// Store summaries of real methods (fixtures in tests/dataflow/java/
// DfStores.java): what each method may write, transitively, and the query the
// commoning pass makes at a call.
#include <gtest/gtest.h>

#include <string.h>

#include "df_graph.h"
#include "df_vm_env.h"
#include "driver/driver.h"
#include "inline/inline.h"
#include "inline/mi_prescan.h"

namespace {

class StoreSummary : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

struct summary_case {
    const char* name;
    const char* sig;
    s4 summary;
};

constexpr s4 C = IPA_COMPUTED;
const summary_case kCases[] = {
    {"setCount", "(I)V", C | (IPA_TYPE_INT & IPA_FIELD_BITS)},
    {"addTotal", "(J)V", C | (IPA_TYPE_LONG & IPA_STATIC_BITS)},
    {"fill", "([BB)V", C | ((IPA_TYPE_BOOLEAN | IPA_TYPE_BYTE) & IPA_ARRAY_BITS)},
    {"pure", "(I)I", C},
    {"callsPure", "(I)V", C},
    // Only the throw counts: the store lies on the uncaught-throw path.
    {"fail", "(I)V", C | IPA_MAY_THROW},
    // Mutual recursion ends, with both writing anything.
    {"even", "(I)I", -1},
    {"odd", "(I)I", -1},
    // System.arraycopy writes every array element kind and may throw.
    {"copy", "(I)V", static_cast<s4>(0xFFF00000u)},
    // Monitors are synchronization points: not "writes nothing".
    {"lockOnly", "()V", -1},
    {"syncMethod", "()V", -1},
    {"callsVirtual", "()V", -1},
    {"callsFinal", "()V", C | (IPA_TYPE_INT & IPA_FIELD_BITS)},
};

// A compile context for a method of DfStores, as the driver makes it.
method_compile_context* context_for(EE* ee, methodblock* mb, method_compile_context* storage)
{
    memset(storage, 0, sizeof *storage);
    storage->mb = mb;
    method_compile_context* m = storage;
    if (init_method_compile_context(&m, mb, nullptr, ee) != 0)
        return nullptr;
    return m;
}

} // namespace

TEST_F(StoreSummary, SummariesOfFixtureMethods)
{
    dftest::run([&](EE* ee) {
        classblock* cb = dftest::find_class(ee, "DfStores", true);
        ASSERT_NE(cb, nullptr);
        ASSERT_TRUE(dftest::call_static(ee, dftest::find_method(cb, "drive", "()V"), nullptr, 0));
        method_compile_context storage;
        method_compile_context* m = context_for(ee, dftest::find_method(cb, "pure", "(I)I"), &storage);
        ASSERT_NE(m, nullptr);
        for (const summary_case& c : kCases) {
            SCOPED_TRACE(c.name);
            methodblock* mb = dftest::find_method(cb, c.name, c.sig);
            ASSERT_NE(mb, nullptr);
            s4 s = ipa_check_stored(m, mb, m->mb, 0, 0);
            EXPECT_EQ(static_cast<u4>(s), static_cast<u4>(c.summary));
            // Asked again, the record answers the same.
            EXPECT_EQ(ipa_check_stored(m, mb, m->mb, 0, 0), s);
            if (s != -1 && !(mb->access & ACC_NATIVE))
                EXPECT_EQ(mb->jit_flags & IPA_MB_FLAG_MASK, IPAmb_shrink(s) & IPA_MB_FLAG_MASK);
        }
        dftest::release_context(m);
    });
}

// The query at a call: the bits of the mask the callee may write; every bit
// under NIPA or NIPA_ST; a throwing callee seen from a throwing caller writes
// anything.
TEST_F(StoreSummary, QueryAtACall)
{
    dftest::run([&](EE* ee) {
        classblock* cb = dftest::find_class(ee, "DfStores", true);
        ASSERT_NE(cb, nullptr);
        ASSERT_TRUE(dftest::call_static(ee, dftest::find_method(cb, "drive", "()V"), nullptr, 0));
        method_compile_context storage;
        method_compile_context* m = context_for(ee, dftest::find_method(cb, "pure", "(I)I"), &storage);
        ASSERT_NE(m, nullptr);
        methodblock* set_count = dftest::find_method(cb, "setCount", "(I)V");
        methodblock* fail = dftest::find_method(cb, "fail", "(I)V");
        const s4 int_field = IPA_TYPE_INT & IPA_FIELD_BITS, long_static = IPA_TYPE_LONG & IPA_STATIC_BITS;
        struct {
            methodblock* callee;
            s4 mask, caller;
            u4 option3;
            s4 expected;
        } rows[] = {
            {set_count, int_field | long_static, 0, 0, int_field},
            {set_count, long_static, 0, 0, 0},
            {set_count, long_static, 0, OPT3_NIPA, long_static},
            {set_count, long_static, 0, OPT3_NIPA_ST, long_static},
            {fail, long_static, 0, 0, 0},
            {fail, long_static, IPA_MAY_THROW, 0, long_static},
        };
        u4 saved = compile_option3_flag;
        for (const auto& r : rows) {
            compile_option3_flag = saved | r.option3;
            EXPECT_EQ(dynamic_reg_propa_if(m, 0, r.callee, r.mask, r.caller), r.expected) << r.callee->name;
        }
        compile_option3_flag = saved;
        EXPECT_EQ(IPAmb_shrink(C | int_field), 0x80000002u);
        EXPECT_EQ(IPAmb_shrink(-1), 0xE0400006u);
        dftest::release_context(m);
    });
}
