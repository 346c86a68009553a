// Replacement bodies of library methods, method gates and call binding,
// resolve-and-retry stubs: the assembly symbols (rt_replace.S, rt_gate.S,
// rt_resolve.S) and the C side
// (replace_methods.cpp, stub_support.cpp, resolvers.cpp).
#ifndef ORVA_LIB_RT_STUBS_H
#define ORVA_LIB_RT_STUBS_H

#include "vm_abi.h"

// One method of a class whose methods are replaced.
struct replace_method_record {
    const char* name;
    const char* signature;
    void (*install)(methodblock* mb);
};
static_assert(sizeof(replace_method_record) == 12);

// One class of the replacement table; `cb` is stored when the class is met.
struct replace_class_record {
    const char* name;
    u4 count;
    const replace_method_record* methods;
    classblock* cb;
};
static_assert(sizeof(replace_class_record) == 16);

constexpr int REPLACE_CLASSES = 3;
constexpr int REPLACE_STRING = 0, REPLACE_RANDOM = 1, REPLACE_VECTOR = 2;
extern replace_class_record replace_class_table[REPLACE_CLASSES];

// A body's stack-depth pair, laid directly after its end.
struct replaced_sp_pair {
    u1* address;
    s4 offset;                          // bytes from the entry stack pointer, <= 0
};
static_assert(sizeof(replaced_sp_pair) == 8);

extern "C" {

// ---- rt_replace.S: the bodies and their data words ---------------------------
#define RT_BODY(name) \
    extern u1 name##_start[], name##_end[], name##_entry[], name##_pairs_end[];
RT_BODY(rt_string_equals)
RT_BODY(rt_random_next)
RT_BODY(rt_vector_elementAt)
RT_BODY(rt_vector_removeElementAt)
RT_BODY(rt_vector_indexOf)
RT_BODY(rt_vector_indexOfFrom)
RT_BODY(rt_vector_removeElement)
RT_BODY(rt_vector_contains)
#undef RT_BODY

extern classblock* rt_string_class;
extern methodblock* rt_string_equals_mb;
extern u4 rt_string_pos_cache;          // 0xDEADBEEF: no class yet
extern u4 rt_string_neg_cache;
extern classblock* rt_random_class;
extern methodblock* rt_random_next_mb;
extern u4 rt_equals_slot;               // method-table slot of equals(Object)
extern classblock* rt_vector_class;
extern methodblock* rt_vector_mb[6];
extern void* rt_vector_enter2;          // synchronized entry, eax and edx live
extern void* rt_vector_enter3;          // synchronized entry, eax, edx and ecx live
extern void* rt_vector_exit_int;        // synchronized exit, integer result
extern void* rt_vector_mp_stubs[3];     // the multiprocessor forms of the three
// Addresses of the nops that become lock prefixes on multiprocessors.
extern u1* rt_replace_lock_sites[];
extern u1* rt_replace_lock_sites_end[];

// ---- replace_methods.cpp: install routines -------------------------------------
void _orva_java_lang_String_equals_Ljava_lang_Object_2_init(methodblock* mb);
void _orva_java_util_Random_next_I_2_init(methodblock* mb);
void _orva_java_util_Vector_elementAt_I_2_init(methodblock* mb);
void _orva_java_util_Vector_indexOf_Ljava_lang_Object_2_init(methodblock* mb);
void _orva_java_util_Vector_indexOf_Ljava_lang_Object_I_3_init(methodblock* mb);
void _orva_java_util_Vector_removeElementAt_Ljava_lang_Object_I_2_init(methodblock* mb);
void _orva_java_util_Vector_removeElement_Ljava_lang_Object_I_2_init(methodblock* mb);
void _orva_java_util_Vector_contains_Ljava_lang_Object_2_init(methodblock* mb);

// ---- rt_gate.S: gates and call binding ------------------------------------------
void __gate_code(void);
void __bp_gate_code(void);
void __bp_gate_code_interpreter(void);  // the interpreter-call path of __bp_gate_code
void __backpatch_invocation(void);
void __invokestatic_initial_target(void);
void __invokevirtual_initial_target(void);
void __correct_direct_binding(void);

// ---- rt_resolve.S, resolvers.cpp: resolve-and-retry stubs and their resolvers ----
void __ldc(void);
void __getfield(void);
void __putfield(void);
void __getstatic(void);
void __putstatic(void);
void __invokevirtual(void);
void __invokestatic(void);
void __execute_clinit(void);
void __new(void);
void __new_quick(void);
void __checkcast(void);
void __checkcast_quick(void);
void __instanceof(void);
void __instanceof_quick(void);
// Answers 1 (run the rewritten site), 0 (exception pending) or the field or
// method block whose static-ness does not match the site.
u4 _orva_ResolveClassConstant_string(u4 index, u1* ret1, const u4* mb_ref, u4 caller_ebp, u4 stub_frame);
u4 _orva_ResolveClassConstant_getstatic(u4 index_word, u1* ret1, u1* site, const u4* mb_ref, u4 caller_ebp,
                                        u4 stub_frame);
u4 _orva_ResolveClassConstant_putstatic(u4 index, u1* ret1, u1* site, const u4* mb_ref, u4 caller_ebp,
                                        u4 stub_frame);
u4 _orva_ResolveClassConstant_getfield(u4 index_word, u1* ret1, u1* site, const u4* mb_ref, u4 caller_ebp,
                                       u4 stub_frame);
u4 _orva_ResolveClassConstant_putfield(u4 index, u1* ret1, u1* site, const u4* mb_ref, u4 caller_ebp,
                                       u4 stub_frame);
u4 _orva_ResolveClassConstant_invokestatic(u4 index_word, u1* ret1, u1* site, const u4* mb_ref, u4 caller_ebp,
                                           u4 stub_frame);
u4 _orva_ResolveClassConstant_invoke(u4 index, u1* ret1, u1* site, const u4* mb_ref, u4 caller_ebp, u4 stub_frame);

}  // extern "C"

// Class preparation's side of the replacement (the driver calls these).
int get_class_index_for_replacing(classblock* cb);
int is_method_replaced(int class_index, methodblock* mb);

// Writes the lock prefixes of the body [start, end) when there is more than
// one processor (idempotent); for tests, `processors` stands for the count.
void rt_adapt_body_to_processors(u1* start, u1* end, int processors);

#endif  // ORVA_LIB_RT_STUBS_H
