// Control of the optional-pass doubles (df_pass_doubles.cpp).
#ifndef ORVA_TESTS_DATAFLOW_DF_PASS_DOUBLES_H
#define ORVA_TESTS_DATAFLOW_DF_PASS_DOUBLES_H

#include <string>
#include <vector>

namespace dftest {

// Names of the passes called, in order (tests clear it).
extern std::vector<std::string> pass_log;
// The pass that answers failure ("" for none); the name is its log name.
extern std::string failing_pass;
// Commoning reports a change in its call with this 0-based number (-1: never).
extern int commoning_changes_in;
extern int commoning_calls;

inline void reset_passes()
{
    pass_log.clear();
    failing_pass.clear();
    commoning_changes_in = -1;
    commoning_calls = 0;
}

inline int calls(const std::string& name)
{
    int n = 0;
    for (const std::string& s : pass_log)
        n += s == name;
    return n;
}

}  // namespace dftest

#endif  // ORVA_TESTS_DATAFLOW_DF_PASS_DOUBLES_H
