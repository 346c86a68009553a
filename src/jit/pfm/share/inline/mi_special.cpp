// Recognizers of special library calls, asked by the quadruple generator at
// every invoke and by the call-site registration: the java/lang/Math
// functions that become arithmetic quadruples, getCallerClassLoader of
// java/lang/ClassLoader (a constant: the loader of the method being
// compiled), the forName and newInstance methods of java/lang/Class (which
// the generator replaces by their variants with more arguments), and the
// unresolved constructor "java/lang/Integer" "<init>" "(I)V".
//
// The Math table and the java/lang/Class method blocks are looked up once
// and kept for the life of the process (the table in general memory).
#include <string.h>

#include "driver/driver.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "inline/mi_prescan.h"

namespace {

struct math_row {
    u1 index;
    const char* name;
    const char* signature;
    u2 opcode;              // quadruple opcode
    u2 operation;           // its operation code
};

// Indices 9, 11 to 14, 19, 25 and 28 stay empty.
constexpr math_row kMathRows[] = {
    {0, "abs", "(I)I", OPC_IOP1, 23},    {1, "max", "(II)I", OPC_IOP2, 7},     {2, "min", "(II)I", OPC_IOP2, 8},
    {3, "abs", "(J)J", OPC_LOP1, 23},    {4, "max", "(JJ)J", OPC_LOP2, 7},     {5, "min", "(JJ)J", OPC_LOP2, 8},
    {6, "abs", "(F)F", OPC_FOP1, 23},    {7, "max", "(FF)F", OPC_FOP2, 7},     {8, "min", "(FF)F", OPC_FOP2, 8},
    {10, "abs", "(D)D", OPC_DOP1, 23},   {15, "ceil", "(D)D", OPC_DOP1, 34},   {16, "cos", "(D)D", OPC_DOP1, 26},
    {17, "exp", "(D)D", OPC_DOP1, 31},   {18, "floor", "(D)D", OPC_DOP1, 35},  {20, "log", "(D)D", OPC_DOP1, 32},
    {21, "max", "(DD)D", OPC_DOP2, 7},   {22, "min", "(DD)D", OPC_DOP2, 8},    {23, "pow", "(DD)D", OPC_DOP2, 11},
    {24, "rint", "(D)D", OPC_DOP1, 36},  {26, "sin", "(D)D", OPC_DOP1, 25},   {27, "sqrt", "(D)D", OPC_DOP1, 33},
};
constexpr u4 MATH_TABLE_SIZE = 29;

struct math_entry {
    methodblock* mb;
    u2 opcode;
    u2 operation;
};
static_assert(sizeof(math_entry) == 8);

math_entry* math_table;
methodblock* cached_forName;
methodblock* cached_forName0;
methodblock* cached_newInstance;
methodblock* cached_newInstance1;

template <typename T> T* load_acquire(T** p) { return __atomic_load_n(p, __ATOMIC_ACQUIRE); }
template <typename T> void store_release(T** p, T* v) { __atomic_store_n(p, v, __ATOMIC_RELEASE); }

bool bootstrap_class_named(const classblock* cb, const char* name)
{
    return cb != nullptr && cb->loader == 0 && cb->name != nullptr && strcmp(cb->name, name) == 0;
}

// The first method of java/lang/Class with the name.
methodblock* class_method(methodblock** cache, const char* name)
{
    methodblock* mb = load_acquire(cache);
    if (mb != nullptr)
        return mb;
    classblock* cls = orva_class(orva_classJavaLangClass);
    if (cls == nullptr)
        return nullptr;
    for (u2 i = 0; i < cls->methods_count; i++) {
        if (strcmp(cls->methods[i].name, name) == 0) {
            store_release(cache, &cls->methods[i]);
            return &cls->methods[i];
        }
    }
    return nullptr;
}

// The range of table entries for the signature's first argument type.
bool math_range(const char* signature, u4* first, u4* last)
{
    switch (signature != nullptr && signature[0] == '(' ? signature[1] : 0) {
    case 'I': *first = 0, *last = 2; return true;
    case 'J': *first = 3, *last = 5; return true;
    case 'F': *first = 6, *last = 9; return true;
    case 'D': *first = 10, *last = 28; return true;
    default: return false;
    }
}

void apply(quadruple* q, u2 opcode, u2 operation)
{
    q->opcode = static_cast<u1>(opcode);
    q->op = operation;
    q->target = 0xFFFFFFFFu;
}

} // namespace

int build_math_replacement_table(classblock* cb)
{
    if (load_acquire(&math_table) != nullptr)
        return 1;
    auto* table = static_cast<math_entry*>(jit_mem_alloc(MATH_TABLE_SIZE * sizeof(math_entry), JMEM_CODE_TABLE));
    if (table == nullptr)
        return 0;
    memset(table, 0, MATH_TABLE_SIZE * sizeof(math_entry));
    for (u2 i = 0; i < cb->methods_count; i++) {
        methodblock* mb = &cb->methods[i];
        if (!(mb->access & ACC_STATIC))
            continue;
        for (const math_row& r : kMathRows) {
            if (strcmp(mb->name, r.name) == 0 && strcmp(mb->signature, r.signature) == 0) {
                table[r.index] = {mb, r.opcode, r.operation};
                break;
            }
        }
    }
    store_release(&math_table, table);
    return 1;
}

int find_math_replacement(quadruple** slot, methodblock* mb)
{
    if (mb == nullptr || !bootstrap_class_named(mb->clazz, "java/lang/Math"))
        return 0;
    if (load_acquire(&math_table) == nullptr && !build_math_replacement_table(mb->clazz))
        return 0;
    u4 first, last;
    if (!math_range(mb->signature, &first, &last))
        return 0;
    for (u4 i = first; i <= last; i++) {
        if (math_table[i].mb == mb) {
            apply(*slot, math_table[i].opcode, math_table[i].operation);
            return 1;
        }
    }
    return 0;
}

int find_math_replacement_by_name(quadruple** slot, const char* class_name, const char* name, const char* signature)
{
    if (class_name == nullptr || name == nullptr || signature == nullptr || strcmp(class_name, "java/lang/Math") != 0)
        return 0;
    for (const math_row& r : kMathRows) {
        if (strcmp(name, r.name) == 0 && strcmp(signature, r.signature) == 0) {
            apply(*slot, r.opcode, r.operation);
            return 1;
        }
    }
    return 0;
}

int replace_getCallerClassLoader(quadruple** slot, methodblock* mb, u4* loader_slot)
{
    if (mb == nullptr || loader_slot == nullptr || !bootstrap_class_named(mb->clazz, "java/lang/ClassLoader")
        || strcmp(mb->name, "getCallerClassLoader") != 0)
        return 0;
    quadruple* q = *slot;
    s4 pc = quad_source_pc(q);
    quad_clear_fresh(q, pc);
    q->opcode = OPC_ACONST;
    q->value = *loader_slot;
    q->flags_a |= QA_CONSTANT;
    q->opcount = static_cast<u2>((q->opcount & ~QC_SRC_MASK) | 1);
    q->result.kind = static_cast<u1>(QT_REF << QT_SHIFT);
    return 1;
}

int is_specific_native_invocation(quadruple** slot, methodblock* mb, u4* loader_slot, const char* class_name,
                                  const char* name, const char* signature)
{
    bool pseudo = !(compile_option_flag & OPT1_NPSEUDOOP);
    if (mb != nullptr) {
        if (pseudo && find_math_replacement(slot, mb))
            return 1;
        return loader_slot != nullptr && replace_getCallerClassLoader(slot, mb, loader_slot);
    }
    return pseudo && find_math_replacement_by_name(slot, class_name, name, signature);
}

int is_newIncetance(methodblock* mb) { return mb != nullptr && mb == class_method(&cached_newInstance, "newInstance"); }
int is_forName(methodblock* mb) { return mb != nullptr && mb == class_method(&cached_forName, "forName"); }
methodblock* get_newInstance1(void) { return class_method(&cached_newInstance1, "newInstance1"); }
methodblock* get_forName0(void) { return class_method(&cached_forName0, "forName0"); }

void check_unresolved_method_invocation(quadruple** slot, const char* class_name, const char* name,
                                        const char* signature)
{
    if (class_name != nullptr && name != nullptr && signature != nullptr
        && strcmp(class_name, "java/lang/Integer") == 0 && strcmp(name, "<init>") == 0
        && strcmp(signature, "(I)V") == 0)
        (*slot)->subcode |= QS_INTEGER_INIT;
}

void mi_special_reset(void)
{
    store_release(&math_table, static_cast<math_entry*>(nullptr));
    store_release(&cached_forName, static_cast<methodblock*>(nullptr));
    store_release(&cached_forName0, static_cast<methodblock*>(nullptr));
    store_release(&cached_newInstance, static_cast<methodblock*>(nullptr));
    store_release(&cached_newInstance1, static_cast<methodblock*>(nullptr));
}
