// Bytecode front end and quadruple generation: the folder's public functions,
// grouped by the file that defines them.  Records are in quad.h, bb.h,
// catch.h and cpool.h.
#ifndef ORVA_FRONTEND_FRONTEND_H
#define ORVA_FRONTEND_FRONTEND_H

#include "vm_abi.h"
#include "frontend/bb.h"
#include "frontend/catch.h"
#include "frontend/cpool.h"
#include "frontend/quad.h"

struct method_compile_context;
struct misinfo;
struct codegen_context;

// ---- quad_tables.cpp: opcode attribute tables --------------------------------
void jit_quadruple_initialize(void);

// ---- fe_pc2bb.cpp: the pc-to-block map ----------------------------------------
pc2bb_entry* generate_pc2bb_table(method_compile_context* m, misinfo* mis, u4 first_block);
void update_pc2bb_table(pc2bb_entry* table, u4 pc, u4 added, misinfo* mis);
u4 count_block_instructions(const u4* leaders, const u4* starts, u4 code_length, u4 leader_pc);

// ---- fe_catch.cpp: catch frames ------------------------------------------------
void build_bb_exception_table(method_compile_context* m, const pc2bb_entry* map);
void link_exception_handler_blocks(method_compile_context* m);
void setBBTryRegionInfo(method_compile_context* m, bbattr** table, u4 count, const pc2bb_entry* map,
                        const exception_entry* exc, u4 n, u4 subroutine_count, methodblock* mb);
int JITallocateCatchFrame(method_compile_context* m);
void updateCatchFrame(method_compile_context* m, u4* cp, bb_exception_entry* table, u4 n);
int JITsetCatchFrame(method_compile_context* m, const u4* bb_address);
void set_catch_frame_handlers(method_compile_context* m, const u4* bb_address);
void compileCatchFrame(method_compile_context* m, u4* cp, bb_exception_entry* table, u4 n,
                       const u4* bb_address);
int getExcLongjmpTargetBB(codegen_context* state, int index, classblock* thrown);
int match_catch_class_name(classblock* cls, classblock* thrown, const char* name);
void prolog_rejit_info(method_compile_context* m, u4 existing);
void epilog_rejit_info(method_compile_context* m);
constexpr int NCCB_REJIT_WORD = 6;      // control-block word holding the re-compilation cell

// ---- fe_cpool.cpp: constant-pool accessors -------------------------------------
const char* get_signature_of_name_and_type_with_lock(classblock* cb, EE* ee, u4 index);
signed char get_field_signature_type_from_cp_with_lock(classblock* cb, EE* ee, u4 index);
const char* get_field_signature_from_cp_with_lock(classblock* cb, EE* ee, u4 index);
void get_field_names_from_cp_with_lock(classblock* cb, EE* ee, u4 index, const char** class_name,
                                       const char** name, const char** signature);
void get_method_names_from_cp_with_lock(classblock* cb, EE* ee, u4 index, const char** class_name,
                                        const char** name, const char** signature);
void get_method_name_sig_and_clname_from_cp_with_lock(classblock* cb, EE* ee, u4 index, const char** name,
                                                      const char** signature, const char** class_name);
void initialize_method_unresolved_info(method_unresolved_info* info);
void free_method_unresolved_info(method_unresolved_info* info);
void register_unresolved_field_signature_information(classblock* cb, EE* ee, u4 index,
                                                     method_unresolved_info* info, const char** class_name,
                                                     const char** name, const char** signature);
void register_unresolved_method_signature_information(classblock* cb, EE* ee, u4 index,
                                                      method_unresolved_info* info, const char** class_name,
                                                      const char** name, const char** signature);
signed char get_field_signature_type(classblock* cb, u4 index, method_compile_context* m);
const char* get_field_signature(classblock* cb, u4 index, method_compile_context* m);
int get_method_name_sig_and_clname(classblock* cb, u4 index, method_compile_context* m, u4 ignored,
                                   const char** name, const char** signature, const char** class_name);
u2 get_method_args_size(methodblock* mb, const char* signature);
char get_method_return_type(const char* signature);
int check_is_volatile(classblock* cb, u4 index);
// 1 when a is b or a proper superclass of b that is not a root class: a root
// class (java/lang/Object) is never reported, so 0 does not mean "not a
// superclass" - use is_same_or_superclass for that question.
int is_superclass(classblock* a, classblock* b);
int is_same_or_superclass(classblock* a, classblock* b);
classblock* find_core_java_lang_class(const char* class_name);
int jit_resolve_method_under_java_lang(classblock* cb, u4 index, const char* class_name,
                                       const char* method_name, const char* signature, EE* ee);

#endif // ORVA_FRONTEND_FRONTEND_H
