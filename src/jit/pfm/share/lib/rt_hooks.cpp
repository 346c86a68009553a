// Program-counter and frame hooks for the VM.
//
// The VM asks these while it walks stacks, prints stack traces and loads
// classes; start-up writes their addresses into the link vector.  They answer
// from the committed-code registry (whose search takes the registry's lock,
// so any thread may call them) or give fixed answers.
#include "driver/driver.h"
#include "lib/lib.h"

extern "C" int jit_PCinCompiledCode(u4 pc, methodblock* mb)
{
    methodblock* found = search_committed_code(pc);
    if (mb != nullptr)
        return found == mb ? 1 : 0;
    return found != nullptr ? 1 : 0;
}

extern "C" u4 jit_CompiledCodePC(JavaFrame* frame)
{
    return reinterpret_cast<u4>(frame->lastpc);     // the record's seventh word
}

extern "C" int jit_CompiledFrameUpdate(void* ignored)
{
    return 0;
}

extern "C" void jit_CompilerLoadClass(void* ignored)
{
}

// Compiled code carries no line-number information.
extern "C" int jit_CompiledCodePCtoLineNo(u4 ignored)
{
    return -1;
}
