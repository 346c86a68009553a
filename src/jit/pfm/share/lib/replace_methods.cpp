// The table of library methods that run hand-written bodies instead of
// compiled bytecode, the lookup that class preparation makes for every
// class and method, and one install routine per body.
//
// An install routine adapts its body to the machine (lock prefixes on
// multiprocessors, the multiprocessor forms of the synchronized-method
// stubs), stores the method and class blocks into the body's data words and
// binds the body as the method's committed code: its entry point becomes the
// compiled code, its interpreter entry the invoker.
//
// A body is bound only when everything it calls exists in this library:
// the Vector bodies need the synchronized-method stubs and the exception
// handler (their index checks raise), and the searching ones call `equals`
// through compiled-code slots, which hold gate stubs only once the method
// glue exists.  A method whose body cannot run keeps its normal invoker.
#include <string.h>

#include "driver/driver.h"
#include "lib/rt_stubs.h"

// Present only when the exception handler of compiled code is linked in.
extern "C" void _orva_ExceptionHandler(void) __attribute__((weak));

namespace {

constexpr const char* EQUALS_NAME = "equals";
constexpr const char* EQUALS_SIGNATURE = "(Ljava/lang/Object;)Z";

constexpr replace_method_record string_methods[] = {
    {"equals", "(Ljava/lang/Object;)Z", _orva_java_lang_String_equals_Ljava_lang_Object_2_init},
};
constexpr replace_method_record random_methods[] = {
    {"next", "(I)I", _orva_java_util_Random_next_I_2_init},
};
constexpr replace_method_record vector_methods[] = {
    {"elementAt", "(I)Ljava/lang/Object;", _orva_java_util_Vector_elementAt_I_2_init},
    {"indexOf", "(Ljava/lang/Object;)I", _orva_java_util_Vector_indexOf_Ljava_lang_Object_2_init},
    {"indexOf", "(Ljava/lang/Object;I)I", _orva_java_util_Vector_indexOf_Ljava_lang_Object_I_3_init},
    {"removeElementAt", "(I)V", _orva_java_util_Vector_removeElementAt_Ljava_lang_Object_I_2_init},
    {"removeElement", "(Ljava/lang/Object;)Z", _orva_java_util_Vector_removeElement_Ljava_lang_Object_I_2_init},
    {"contains", "(Ljava/lang/Object;)Z", _orva_java_util_Vector_contains_Ljava_lang_Object_2_init},
};
enum vector_method { VEC_ELEMENT_AT, VEC_INDEX_OF, VEC_INDEX_OF_FROM, VEC_REMOVE_AT, VEC_REMOVE, VEC_CONTAINS };

// What a body needs besides itself.
constexpr u1 NEEDS_STUBS = 0x1;         // synchronized-method entry and exit stubs
constexpr u1 NEEDS_HANDLER = 0x2;       // the exception handler (the body raises)
constexpr u1 NEEDS_EQUALS = 0x4;        // callable compiled-code slots of equals
constexpr u1 NEEDS_WALK = 0x8;          // a stack-depth table, so that frames above the body can be walked
constexpr u1 vector_needs[] = {
    NEEDS_STUBS | NEEDS_HANDLER | NEEDS_WALK,                   // elementAt
    NEEDS_STUBS | NEEDS_EQUALS | NEEDS_WALK,                    // indexOf(Object)
    NEEDS_STUBS | NEEDS_HANDLER | NEEDS_EQUALS | NEEDS_WALK,    // indexOf(Object, int)
    NEEDS_STUBS | NEEDS_HANDLER | NEEDS_WALK,                   // removeElementAt
    NEEDS_STUBS | NEEDS_EQUALS | NEEDS_WALK,                    // removeElement
    NEEDS_STUBS | NEEDS_EQUALS | NEEDS_WALK,                    // contains
};
static_assert(sizeof vector_needs == sizeof vector_methods / sizeof vector_methods[0]);

// java/lang/Object's equals(Object), found from any class through its superclasses.
methodblock* object_equals(classblock* cb)
{
    while (cb != nullptr && cb->superclass != nullptr)
        cb = cb->superclass;
    if (cb == nullptr)
        return nullptr;
    for (u2 i = 0; i < cb->methods_count; i++) {
        methodblock* mb = &cb->methods[i];
        if (strcmp(mb->name, EQUALS_NAME) == 0 && strcmp(mb->signature, EQUALS_SIGNATURE) == 0)
            return mb;
    }
    return nullptr;
}

// Whether this library builds the stack-depth table of a body: a body
// whose frame cannot be walked must not raise, block or call Java code
// (an exception's stack trace, a monitor wait or a collection walks it).
// Answered once, by building the table of one body for `mb` and dropping it.
int walk_answer = -1;

bool body_tables_built(methodblock* mb)
{
    if (walk_answer >= 0)
        return walk_answer != 0;
    EE* ee = vm.EE != nullptr ? vm.EE() : nullptr;
    if (ee == nullptr)
        return false;
    thread_compile_record rec;
    memset(&rec, 0, sizeof rec);
    rec.prev = jit_compile_record(ee);
    ee->compile_record = &rec;
    method_compile_context m;
    memset(&m, 0, sizeof m);
    m.mb = mb;
    u4 pairs = static_cast<u4>((rt_vector_elementAt_pairs_end - rt_vector_elementAt_end) / sizeof(replaced_sp_pair));
    create_sp_offset_info_for_replaced_method(&m, rt_vector_elementAt_start, rt_vector_elementAt_end, pairs);
    walk_answer = rec.md_word1 != 0;
    jit_wmem_clean_after_compilation(ee);
    ee->compile_record = rec.prev;
    return walk_answer != 0;
}

bool body_can_run(methodblock* mb, u1 needs)
{
    classblock* cb = mb->clazz;
    if ((needs & NEEDS_STUBS)
        && (rt_vector_enter2 == nullptr || rt_vector_enter3 == nullptr || rt_vector_exit_int == nullptr))
        return false;
    if ((needs & NEEDS_HANDLER) && _orva_ExceptionHandler == nullptr)
        return false;
    if (needs & NEEDS_EQUALS) {
        // Object's equals is prepared before any subclass; its slot holds
        // a gate stub (or code) once the method glue exists.
        methodblock* eq = object_equals(cb);
        if (eq == nullptr || eq->compiled_code == nullptr)
            return false;
    }
    if ((needs & NEEDS_WALK) && !body_tables_built(mb))
        return false;
    return true;
}

// Binds the body: its entry point as compiled code, its start as invoker.
void bind_body(methodblock* mb, u1* start, u1* end, u1* entry, u1* pairs_end, u4 saved_regs)
{
    u4 pairs = static_cast<u4>((pairs_end - end) / sizeof(replaced_sp_pair));
    orva_replace_a_method(mb, start, end, entry, pairs, saved_regs, start);
}

// The multiprocessor forms of the synchronized-method stubs, once.
void use_mp_stubs(void)
{
    if (orva_processor_num <= 1)
        return;
    void** words[] = {&rt_vector_enter2, &rt_vector_enter3, &rt_vector_exit_int};
    for (int i = 0; i < 3; i++)
        if (rt_vector_mp_stubs[i] != nullptr)
            *words[i] = rt_vector_mp_stubs[i];
}

void install_vector(methodblock* mb, vector_method which, u1* start, u1* end, u1* entry, u1* pairs_end,
                    u4 saved_regs)
{
    rt_adapt_body_to_processors(start, end, orva_processor_num);
    use_mp_stubs();
    if (rt_equals_slot == 2 || rt_string_equals_mb == nullptr) {
        methodblock* eq = object_equals(mb->clazz);
        if (eq != nullptr)
            rt_equals_slot = eq->slot;
    }
    rt_vector_mb[which] = mb;
    rt_vector_class = mb->clazz;
    bind_body(mb, start, end, entry, pairs_end, saved_regs);
}

}  // namespace

replace_class_record replace_class_table[REPLACE_CLASSES] = {
    {"java/lang/String", 1, string_methods, nullptr},
    {"java/util/Random", 1, random_methods, nullptr},
    {"java/util/Vector", sizeof vector_methods / sizeof vector_methods[0], vector_methods, nullptr},
};

int get_class_index_for_replacing(classblock* cb)
{
    for (int i = 0; i < REPLACE_CLASSES; i++) {
        if (strcmp(cb->name, replace_class_table[i].name) == 0) {
            replace_class_table[i].cb = cb;
            return i;
        }
    }
    return -1;
}

int is_method_replaced(int class_index, methodblock* mb)
{
    if (class_index < 0 || class_index >= REPLACE_CLASSES)
        return -1;
    if (class_index == REPLACE_RANDOM && orva_processor_type != 4 && orva_processor_type != 5)
        return -1;      // no cmpxchg8b
    if (mb->clazz->loader != 0)
        return -1;
    const replace_class_record& rec = replace_class_table[class_index];
    for (u4 i = 0; i < rec.count; i++) {
        const replace_method_record& m = rec.methods[i];
        if (strcmp(mb->name, m.name) != 0 || strcmp(mb->signature, m.signature) != 0)
            continue;
        if (class_index == REPLACE_VECTOR && !body_can_run(mb, vector_needs[i]))
            return -1;
        return static_cast<int>(i);
    }
    return -1;
}

rcc* replace_a_method(methodblock* mb, int class_index, int entry)
{
    replace_class_table[class_index].methods[entry].install(mb);
    return nullptr;
}

extern "C" {

void _orva_java_lang_String_equals_Ljava_lang_Object_2_init(methodblock* mb)
{
    // The virtual slot that the Vector searches read from an argument's method table.
    method_table* mt = mb->clazz->methodtable;
    u4 slot = mb->slot;
    for (u4 k = 0; mt != nullptr && k < mb->clazz->methodtable_size; k++) {
        if (mt->methods[k] == mb) {
            slot = k;
            break;
        }
    }
    rt_equals_slot = slot;
    rt_string_equals_mb = mb;
    rt_string_class = mb->clazz;
    bind_body(mb, rt_string_equals_start, rt_string_equals_end, rt_string_equals_entry, rt_string_equals_pairs_end, 0);
}

void _orva_java_util_Random_next_I_2_init(methodblock* mb)
{
    rt_adapt_body_to_processors(rt_random_next_start, rt_random_next_end, orva_processor_num);
    rt_random_next_mb = mb;
    rt_random_class = mb->clazz;
    bind_body(mb, rt_random_next_start, rt_random_next_end, rt_random_next_entry, rt_random_next_pairs_end, 0);
}

// Saved-register word 12: the frame holds ebp, ebx, esi and edi from 12
// bytes below the entry stack pointer down.
#define VECTOR_INSTALL(fn, which, body, saved) \
    void fn(methodblock* mb) \
    { \
        install_vector(mb, which, body##_start, body##_end, body##_entry, body##_pairs_end, saved); \
    }

VECTOR_INSTALL(_orva_java_util_Vector_elementAt_I_2_init, VEC_ELEMENT_AT, rt_vector_elementAt, 0)
VECTOR_INSTALL(_orva_java_util_Vector_indexOf_Ljava_lang_Object_2_init, VEC_INDEX_OF, rt_vector_indexOf, 12)
VECTOR_INSTALL(_orva_java_util_Vector_indexOf_Ljava_lang_Object_I_3_init, VEC_INDEX_OF_FROM, rt_vector_indexOfFrom, 12)
VECTOR_INSTALL(_orva_java_util_Vector_removeElementAt_Ljava_lang_Object_I_2_init, VEC_REMOVE_AT,
               rt_vector_removeElementAt, 0)
VECTOR_INSTALL(_orva_java_util_Vector_removeElement_Ljava_lang_Object_I_2_init, VEC_REMOVE, rt_vector_removeElement, 12)
VECTOR_INSTALL(_orva_java_util_Vector_contains_Ljava_lang_Object_2_init, VEC_CONTAINS, rt_vector_contains, 12)

}  // extern "C"
