// Test doubles of the optional passes the two drivers call (the compiler's
// own entries are weak stand-ins, so these take their place in the test
// executable).  Each records its call and answers as the stand-in does
// (leaving the same "not computed" marks), unless a test asks it to fail or
// to report a change.
#include "df_pass_doubles.h"

#include <string.h>

#include "dataflow/dataflow.h"
#include "driver/driver.h"
#include "loop/loop.h"

namespace dftest {

std::vector<std::string> pass_log;
std::string failing_pass;
int commoning_changes_in = -1;          // repetition (0-based) in which commoning reports a change
int commoning_calls = 0;

}  // namespace dftest

namespace {

int answer(const char* name, int ok, int failed)
{
    dftest::pass_log.push_back(name);
    return dftest::failing_pass == name ? failed : ok;
}

}  // namespace

int dataflow_classflow(method_compile_context*, dataflow_pass_context*) { return answer("classflow", 0, 1); }
int dataflow_nullcheck(method_compile_context* m, dataflow_pass_context*)
{
    m->state_flags |= MCC_NULLCHECK_SKIPPED;
    return answer("nullcheck", 0, 1);
}
int dataflow_privatize(method_compile_context*, dataflow_pass_context*) { return answer("privatize", 0, 1); }
int dataflow_typeflow(method_compile_context*, dataflow_pass_context*) { return answer("typeflow", 0, 1); }
int dataflow_arraycheck(method_compile_context*, dataflow_pass_context*) { return answer("arraycheck", 0, 1); }

int cha_opt(method_compile_context*) { return answer("cha_opt", 0, 1); }
int propagate_non_rare_path_with_dfs_search(method_compile_context*) { return answer("rare_path", 0, 1); }
int dataflow_Q_copypropa(method_compile_context*, dataflow_pass_context* pc, int first_run)
{
    pc->flags &= ~(DFP_COPYPROPA_WANTED | DFP_BUSY);
    return answer(first_run ? "copypropa first" : "copypropa", 0, 1);
}
int dataflow_Q_bwd_copypropa(method_compile_context*, dataflow_pass_context*) { return answer("bwd_copypropa", 0, 1); }
int dataflow_Q_deadstore(method_compile_context*, dataflow_pass_context* pc)
{
    pc->flags &= ~DFP_DEADSTORE_WANTED;
    return answer("deadstore", 0, 1);
}
int dataflow_Q_eliminate_explicit_nullcheck(method_compile_context*, dataflow_pass_context*)
{
    return answer("explicit_nullcheck", 0, 1);
}
int dataflow_Q_nullcheck(method_compile_context*, dataflow_pass_context*) { return answer("Q_nullcheck", 0, 1); }
int dataflow_Q_arraycheck(method_compile_context*, dataflow_pass_context*) { return answer("Q_arraycheck", 0, 1); }
int dataflow_Q_commoning(method_compile_context*, dataflow_pass_context* pc)
{
    if (dftest::commoning_calls++ == dftest::commoning_changes_in)
        pc->flags |= DFP_COPYPROPA_WANTED;
    return answer("commoning", 0, 1);
}
int dataflow_Q_movecopy(method_compile_context*, dataflow_pass_context*) { return answer("movecopy", 0, 1); }
int dataflow_Q_UD_DU(method_compile_context*, dataflow_pass_context*) { return answer("ud_du", 0, 1); }
int dataflow_Q_syncopt(method_compile_context*, dataflow_pass_context*) { return answer("syncopt", 0, 1); }
int dataflow_Q_nullexception_propa(method_compile_context*, dataflow_pass_context*)
{
    return answer("nullexception", 0, 1);
}
int dataflow_Q_spoptimize(method_compile_context*) { return answer("spoptimize", 0, 1); }
int dataflow_Q_delayed_index(method_compile_context*) { return answer("delayed_index", 0, 1); }
int dataflow_Q_constraint_back_propa(method_compile_context*, dataflow_pass_context*)
{
    return answer("constraint", 0, 1);
}
int do_loop_optimization2(method_compile_context*, dataflow_pass_context*) { return answer("loopopt", 1, 0); }
int do_shrinking_quadruple(method_compile_context*, dataflow_pass_context*) { return answer("shrink", 0, 1); }
