// Compile-time statistics (ORVA_COMPILE_TIME): the compiling thread's CPU
// time spent in each compile, summed over the run and printed to stderr when
// the VM exits, with the bytecode size of the methods that produced code.
// A developer's measure of what the optimizer costs per KB of bytecode;
// compiles abandoned through the driver's jump are not counted.

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "driver/driver.h"

namespace {

int enabled;
u4 compiles;
u4 produced;
unsigned long long bytecode_bytes;
unsigned long long nanos;

void report(void)
{
    double ms = static_cast<double>(nanos) / 1e6;
    double kb = static_cast<double>(bytecode_bytes) / 1024.0;
    fprintf(stderr, "compile time: %u compiles, %u produced code, %llu bytecode bytes, %.1f ms, %.2f ms/KB\n",
            compiles, produced, bytecode_bytes, ms, kb > 0 ? ms / kb : 0.0);
}

} // namespace

void jit_compile_time_init(void)
{
    const char* s = getenv("ORVA_COMPILE_TIME");
    enabled = s != nullptr && s[0] != '\0' && strcmp(s, "0") != 0;
    if (enabled && vm.AtExit != nullptr)
        reinterpret_cast<int (*)(void (*)(void))>(vm.AtExit)(report);
}

unsigned long long jit_compile_time_start(void)
{
    if (!enabled)
        return 0;
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<unsigned long long>(t.tv_sec) * 1000000000u + static_cast<unsigned long long>(t.tv_nsec);
}

// Called under the global compile lock: plain counters suffice.
void jit_compile_time_add(const methodblock* mb, unsigned long long start, int result)
{
    if (!enabled)
        return;
    nanos += jit_compile_time_start() - start;
    compiles++;
    if (result == 0) {
        produced++;
        bytecode_bytes += mb->code_length;
    }
}
