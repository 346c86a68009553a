// Catch-table services of the run time.
//
// `testCatcher` answers which handler of a compiled method catches an
// exception class raised in a try region: the method's block-level exception
// table (whose third word points at the catch-frame directory) lists, per
// region, the handler records {word, class name or 0, handler address,
// needs-object flag} in the order they are tried.  `rt_GetThrowableClass`
// loads the class a software exception stands for.
#include <string.h>

#include "driver/driver.h"

u4 testCatcher(int index, void* catch_table, int unused, classblock* thrown, u4* extra)
{
    if (index < 0 || catch_table == nullptr || thrown == nullptr)
        return 0;
    const s4* directory = reinterpret_cast<const s4*>(static_cast<const u4*>(catch_table)[2]);
    if (directory == nullptr)
        return 0;
    // A slot that repeats the previous entry (-1) has no records of its own.
    int slot = index;
    while (slot > 0 && directory[2 * slot] == -1)
        slot--;
    s4 count = directory[2 * slot];
    const u4* records = reinterpret_cast<const u4*>(directory[2 * slot + 1]);
    for (s4 i = 0; i < count; i++) {
        const u4* r = records + 4 * i;
        const char* name = reinterpret_cast<const char*>(r[1]);
        // The thrown class, then each superclass that itself has a superclass.
        for (classblock* c = thrown; c != nullptr; c = c->superclass) {
            if (c != thrown && c->superclass == nullptr)
                break;
            if (name == nullptr || strcmp(name, c->name) == 0) {
                if (extra != nullptr)
                    *extra = r[3];
                return r[2];
            }
        }
    }
    return 0;
}

classblock* rt_GetThrowableClass(EE* ee, const char* class_name)
{
    classblock* cb = vm.FindClassFromClass(ee, class_name, 1, nullptr);
    if (cb == nullptr)
        cb = vm.FindClassFromClass(ee, "java/lang/UnknownError", 1, nullptr);
    if (cb == nullptr) {
        ee->exception = vm.exceptionInternalObject(1);
        ee->exception_kind = 1;
        return nullptr;
    }
    // Clearing the object but setting the flag would leave a "pending"
    // exception with no object: both are cleared.
    ee->exception = 0;
    ee->exception_kind = 0;
    return cb;
}
