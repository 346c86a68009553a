// Entries of the class-hierarchy analysis that the compile pipeline calls and
// that are still to come.  Every entry is weak: the analysis's own strong
// definition replaces it at link time, and it deletes its entry here when it
// lands.
#include "driver/driver.h"

#define PENDING __attribute__((weak))

// Still to come: withdrawal of the call-site registrations of a compile whose
// code generation failed.  Without the class-hierarchy queries no site is
// ever registered, so there is nothing to withdraw.
PENDING int UnRegistCodeInfo(method_compile_context* m) { return 0; }
