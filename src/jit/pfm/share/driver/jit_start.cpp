// Compiler start-up: the two exported entry points of libjit.so.
//
// This is the placeholder body: it identifies itself and installs no hook, so
// the VM keeps interpreting.  The real start-up (link-vector binding, options,
// processor detection, class preparation) replaces it.
#include <cstring>

#include "vm_abi.h"

extern "C" __attribute__((visibility("default"))) void jit_CompilerVersion(char* buffer, int length)
{
    static const char version[] = "3.6-(Vornel)-JDK1.2";
    if (buffer == nullptr || length <= 0)
        return;
    std::strncpy(buffer, version, static_cast<size_t>(length));
}

extern "C" __attribute__((visibility("default"))) void java_lang_Compiler_start(void** link_vector)
{
    (void)link_vector;
}
