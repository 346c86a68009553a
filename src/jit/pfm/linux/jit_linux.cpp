// Start-up check of the thread-local area.
//
// Compiled code and the run-time stubs find the current thread's EE and its
// exception-registration chain by masking the stack pointer.  Before the
// compiler is used, `jit_init_linux` checks on the starting thread that the
// VM has set that up: a registration is installed, the registration's EE word
// and the area's EE word are the thread's EE.  A mismatch ends the process,
// because compiled code could not run correctly on such a VM.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "driver/driver.h"
#include "linux.h"

extern "C" int jit_checkpoint_linux(int n)
{
    printf("jit_checkpoint_linux: %d\n", n);
    return n;
}

extern "C" u4 get_tla_data(int offset)
{
    volatile u4 local = 0;
    u4 base = reinterpret_cast<u4>(&local) & TLA_MASK;
    return *reinterpret_cast<const u4*>(base + static_cast<u4>(offset));
}

// The VM's signal handling asks this hook first; compiled code's faults are
// handled through the registration chain instead, so it handles nothing.
extern "C" int jit_CompiledCodeSignalHandler(void)
{
    return 0;
}

extern "C" int jit_init_linux(void)
{
    const char* pause = getenv("ORVA_INIT_PAUSE");
    long seconds = pause != nullptr ? strtol(pause, nullptr, 10) : 0;
    if (seconds > 0) {
        printf("jit_init_linux: ORVA_INIT_PAUSE");
        for (long k = seconds; k >= 0; k--) {
            printf(" %ld", k);
            fflush(stdout);
            sleep(1);
        }
        printf(" GO\n");
        jit_checkpoint_linux(0);
    }
    EE* ee = vm.EE != nullptr ? vm.EE() : nullptr;
    const char* error = nullptr;
    u4 registration = get_tla_data(TLA_REGISTRATION);
    if (registration == 0)
        error = "no MMI handler";
    else if (*reinterpret_cast<const u4*>(registration + REG_EE) != reinterpret_cast<u4>(ee))
        error = "incorrect MMI handler";
    else if (get_tla_data(TLA_EE) != reinterpret_cast<u4>(ee))
        error = "incorrect TLE_EE";
    if (error != nullptr) {
        fprintf(stderr, "\njit_init_linux: ERROR, %s\n\n", error);
        exit(1);
    }
    return 0;
}
