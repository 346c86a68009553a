// Control of the wraps of the optional passes (df_pass_wraps.cpp).
#ifndef ORVA_TESTS_DATAFLOW_DF_PASS_WRAPS_H
#define ORVA_TESTS_DATAFLOW_DF_PASS_WRAPS_H

#include <string>
#include <vector>

namespace dftest {

// Names of the passes called, in order (tests clear it).
extern std::vector<std::string> pass_log;
// The pass that answers failure ("" for none); the name is its log name.
extern std::string failing_pass;
// The passes answer as if they did nothing, without running (false: they run).
extern bool stub_passes;
// A stubbed commoning reports a change in its call with this 0-based number
// (-1: never).
extern int commoning_changes_in;
extern int commoning_calls;

inline void reset_passes()
{
    pass_log.clear();
    failing_pass.clear();
    stub_passes = false;
    commoning_changes_in = -1;
    commoning_calls = 0;
}

// A clean slate with the passes stood in: the drivers' own sequencing.
inline void reset_stubbed()
{
    reset_passes();
    stub_passes = true;
}

inline int calls(const std::string& name)
{
    int n = 0;
    for (const std::string& s : pass_log)
        n += s == name;
    return n;
}

}  // namespace dftest

#endif  // ORVA_TESTS_DATAFLOW_DF_PASS_WRAPS_H
