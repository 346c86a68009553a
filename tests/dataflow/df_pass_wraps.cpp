// Wraps of the optional passes the two drivers call.  dataflow_tests links
// with --wrap for every entry defined here (wrap_options.sh), so each call a
// driver makes lands here first: the wrap records it and then runs the
// compiler's own pass, unless a test asks it to fail or to stand the passes
// in (`stub_passes`: answer as a pass that did nothing, leaving the same
// "not computed" marks, so that the drivers' sequencing can be counted
// without the passes' own decisions).
#include "df_pass_wraps.h"

#include <string.h>

#include "dataflow/dataflow.h"
#include "driver/driver.h"
#include "loop/loop.h"

namespace dftest {

std::vector<std::string> pass_log;
std::string failing_pass;
bool stub_passes = false;
int commoning_changes_in = -1;          // repetition (0-based) in which a stubbed commoning reports a change
int commoning_calls = 0;

}  // namespace dftest

namespace {

// Logs the call; answers `failed` when the test names this pass, `ok` after
// `stub` when the passes are stubbed, and otherwise what the pass answers.
template <class Real, class Stub>
int through(const char* name, int ok, int failed, Real real, Stub stub)
{
    dftest::pass_log.push_back(name);
    if (dftest::failing_pass == name)
        return failed;
    if (dftest::stub_passes) {
        stub();
        return ok;
    }
    return real();
}

void nothing() {}

}  // namespace

// The entries are C++ functions; their wrap and real symbols carry the
// mangled names (P22method_compile_context, P21dataflow_pass_context).
#define MCC "P22method_compile_context"
#define DPC "P21dataflow_pass_context"
#define WRAP(ret, name, mangled, params)                                                       \
    ret real_##name params __asm__("__real_" mangled);                                        \
    ret wrap_##name params __asm__("__wrap_" mangled);                                        \
    ret wrap_##name params

// ---- bytecode analyses and guard passes ----
WRAP(int, dataflow_classflow, "_Z18dataflow_classflow" MCC DPC, (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("classflow", 0, 1, [&] { return real_dataflow_classflow(m, pc); }, nothing);
}
WRAP(int, dataflow_nullcheck, "_Z18dataflow_nullcheck" MCC DPC, (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("nullcheck", 0, 1, [&] { return real_dataflow_nullcheck(m, pc); },
                   [&] { m->state_flags |= MCC_NULLCHECK_SKIPPED; });
}
WRAP(int, dataflow_privatize, "_Z18dataflow_privatize" MCC DPC, (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("privatize", 0, 1, [&] { return real_dataflow_privatize(m, pc); }, nothing);
}
WRAP(int, dataflow_typeflow, "_Z17dataflow_typeflow" MCC DPC, (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("typeflow", 0, 1, [&] { return real_dataflow_typeflow(m, pc); }, nothing);
}
WRAP(int, dataflow_arraycheck, "_Z19dataflow_arraycheck" MCC DPC, (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("arraycheck", 0, 1, [&] { return real_dataflow_arraycheck(m, pc); }, nothing);
}
WRAP(int, cha_opt, "_Z7cha_opt" MCC, (method_compile_context* m))
{
    return through("cha_opt", 0, 1, [&] { return real_cha_opt(m); }, nothing);
}
WRAP(int, propagate_non_rare_path_with_dfs_search, "_Z39propagate_non_rare_path_with_dfs_search" MCC,
     (method_compile_context* m))
{
    return through("rare_path", 0, 1, [&] { return real_propagate_non_rare_path_with_dfs_search(m); }, nothing);
}

// ---- quadruple passes ----
WRAP(int, dataflow_Q_copypropa, "_Z20dataflow_Q_copypropa" MCC DPC "i",
     (method_compile_context* m, dataflow_pass_context* pc, int first_run))
{
    return through(first_run ? "copypropa first" : "copypropa", 0, 1,
                   [&] { return real_dataflow_Q_copypropa(m, pc, first_run); },
                   [&] { pc->flags &= ~(DFP_COPYPROPA_WANTED | DFP_BUSY); });
}
WRAP(int, dataflow_Q_bwd_copypropa, "_Z24dataflow_Q_bwd_copypropa" MCC DPC,
     (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("bwd_copypropa", 0, 1, [&] { return real_dataflow_Q_bwd_copypropa(m, pc); }, nothing);
}
WRAP(int, dataflow_Q_deadstore, "_Z20dataflow_Q_deadstore" MCC DPC, (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("deadstore", 0, 1, [&] { return real_dataflow_Q_deadstore(m, pc); },
                   [&] { pc->flags &= ~DFP_DEADSTORE_WANTED; });
}
WRAP(int, dataflow_Q_eliminate_explicit_nullcheck, "_Z39dataflow_Q_eliminate_explicit_nullcheck" MCC DPC,
     (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("explicit_nullcheck", 0, 1, [&] { return real_dataflow_Q_eliminate_explicit_nullcheck(m, pc); },
                   nothing);
}
WRAP(int, dataflow_Q_nullcheck, "_Z20dataflow_Q_nullcheck" MCC DPC, (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("Q_nullcheck", 0, 1, [&] { return real_dataflow_Q_nullcheck(m, pc); }, nothing);
}
WRAP(int, dataflow_Q_arraycheck, "_Z21dataflow_Q_arraycheck" MCC DPC, (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("Q_arraycheck", 0, 1, [&] { return real_dataflow_Q_arraycheck(m, pc); }, nothing);
}
WRAP(int, dataflow_Q_commoning, "_Z20dataflow_Q_commoning" MCC DPC, (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("commoning", 0, 1, [&] { return real_dataflow_Q_commoning(m, pc); }, [&] {
        if (dftest::commoning_calls++ == dftest::commoning_changes_in)
            pc->flags |= DFP_COPYPROPA_WANTED;
    });
}
WRAP(int, dataflow_Q_movecopy, "_Z19dataflow_Q_movecopy" MCC DPC, (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("movecopy", 0, 1, [&] { return real_dataflow_Q_movecopy(m, pc); }, nothing);
}
WRAP(int, dataflow_Q_UD_DU, "_Z16dataflow_Q_UD_DU" MCC DPC, (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("ud_du", 0, 1, [&] { return real_dataflow_Q_UD_DU(m, pc); }, nothing);
}
WRAP(int, dataflow_Q_syncopt, "_Z18dataflow_Q_syncopt" MCC DPC, (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("syncopt", 0, 1, [&] { return real_dataflow_Q_syncopt(m, pc); }, nothing);
}
WRAP(int, dataflow_Q_nullexception_propa, "_Z30dataflow_Q_nullexception_propa" MCC DPC,
     (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("nullexception", 0, 1, [&] { return real_dataflow_Q_nullexception_propa(m, pc); }, nothing);
}

// ---- late passes and the loop optimizer ----
WRAP(int, dataflow_Q_spoptimize, "_Z21dataflow_Q_spoptimize" MCC, (method_compile_context* m))
{
    return through("spoptimize", 0, 1, [&] { return real_dataflow_Q_spoptimize(m); }, nothing);
}
WRAP(int, dataflow_Q_delayed_index, "_Z24dataflow_Q_delayed_index" MCC, (method_compile_context* m))
{
    return through("delayed_index", 0, 1, [&] { return real_dataflow_Q_delayed_index(m); }, nothing);
}
WRAP(int, dataflow_Q_constraint_back_propa, "_Z32dataflow_Q_constraint_back_propa" MCC DPC,
     (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("constraint", 0, 1, [&] { return real_dataflow_Q_constraint_back_propa(m, pc); }, nothing);
}
// The loop optimizer answers 1 for success.
WRAP(int, do_loop_optimization2, "_Z21do_loop_optimization2" MCC DPC, (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("loopopt", 1, 0, [&] { return real_do_loop_optimization2(m, pc); }, nothing);
}
WRAP(int, do_shrinking_quadruple, "_Z22do_shrinking_quadruple" MCC DPC, (method_compile_context* m, dataflow_pass_context* pc))
{
    return through("shrink", 0, 1, [&] { return real_do_shrinking_quadruple(m, pc); }, nothing);
}
