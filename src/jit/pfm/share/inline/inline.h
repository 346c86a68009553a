// Inlining, class-hierarchy analysis and trivial methods: the folder's public
// functions, grouped by the file that defines them.  Records are in
// mi_records.h and cha.h.
#ifndef ORVA_INLINE_INLINE_H
#define ORVA_INLINE_INLINE_H

#include "vm_abi.h"
#include "inline/cha.h"
#include "inline/mi_records.h"

struct bbattr;
struct quadruple;
struct method_compile_context;

// ---- mi_records.cpp: inlining limits and analysis records -------------------
void jit_intialize_method_inlining(void);
inlining_context* allocate_miainfo(method_compile_context* m, EE* ee);
misinfo* mi_prescan_a_method(method_compile_context* m, methodblock* mb, misinfo* caller);
misinfo* search_existing_misinfo(inlining_context* ic, methodblock* mb);
void add_a_misinfo_to_caller_list(method_compile_context* m, misinfo* caller, misinfo* callee);
bbattr* allocate_a_bbattr(method_compile_context* m, u4 id, u4 start_pc, u4 flags, u4 succ_count,
                          u4 quad_count);

// ---- mi_copy.cpp: block and quadruple copy utilities -------------------------
// Pointer copy (the quadruples shared), content copy into the records dst
// already points to, and content copy into fresh records.
void catbl_ncopy(quadruple** dst, quadruple* const* src, u4 count);
void codeattr_ncopy(quadruple** dst, quadruple* const* src, u4 count);
void catbl_ncopy_with_allocation(quadruple** dst, quadruple* const* src, u4 count, method_compile_context* m);
// Quadruples first..last (inclusive) of the block become empty quadruples.
void fill_nop_in_bb(bbattr* b, u4 first, u4 last);
bbattr* duplicate_a_bbattr_for_inlining(u4 new_id, bbattr* src, u4 block_offset, u4 local_offset, u4 table_offset,
                                        u4 lock_offset, bbattr* call_block, bbattr* continuation, bbattr* terminal,
                                        u4 terminal_id, method_compile_context* m);

// ---- cha_class.cpp: class-hierarchy records and class entry -----------------
void jit_init_cha(void);
int AddClass(classblock* cb, int a1, int a2, int only_if_flagged);
void DeleteClass(classblock* cb);
// Unlinks an override record from its class and patches back its sites.
void cha_remove_override_record(cha_class_info* owner, cha_override_record* record);

// ---- triv_judge.cpp: trivial-method recognition ------------------------------
constexpr u4 TRIV_KIND_MASK  = 0xF0;    // the kind in bits 4 to 7 of the compiler flag word
constexpr u4 TRIV_KIND_SHIFT = 4;
void trivJudgeTrivialInvokers(classblock* cb);
u4 trivMatchingTrivialInvokers(classblock* cb, methodblock* mb);
int triv_for_passthru(const u4* first, const u4* second);
int triv_for_getAfield(const u4* first, const u4* second);
int triv_for_putXstatic(const u4* first, const u4* second);
int triv_for_putAfield(const u4* first, const u4* second);
int triv_for_passthruX(const u4* first, const u4* second);
int trivJudgeSetFlag(method_compile_context* m, EE* ee, methodblock* mb);

#endif // ORVA_INLINE_INLINE_H
