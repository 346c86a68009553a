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

// ---- ipa_store.cpp: inter-procedural store summaries --------------------------
// A summary: bits 0-9 instance fields written, 10-19 static fields, 20-29
// array elements, one bit per type in the order long, int, boolean, byte,
// short, char, float, double, class reference, array reference; bit 30 the
// method may throw; bit 31 computed.  IPA_TYPE_* hold one type's three bits.
constexpr s4 IPA_TYPE_LONG    = 0x100401;
constexpr s4 IPA_TYPE_INT     = 0x200802;
constexpr s4 IPA_TYPE_BOOLEAN = 0x401004;
constexpr s4 IPA_TYPE_BYTE    = 0x802008;
constexpr s4 IPA_TYPE_SHORT   = 0x1004010;
constexpr s4 IPA_TYPE_CHAR    = 0x2008020;
constexpr s4 IPA_TYPE_FLOAT   = 0x4010040;
constexpr s4 IPA_TYPE_DOUBLE  = 0x8020080;
constexpr s4 IPA_TYPE_CLASS   = 0x10040100;
constexpr s4 IPA_TYPE_ARRAY   = 0x20080200;
constexpr s4 IPA_FIELD_BITS   = 0x3FF;          // instance fields
constexpr s4 IPA_STATIC_BITS  = 0xFFC00;        // static fields
constexpr s4 IPA_ARRAY_BITS   = 0x3FF00000;     // array elements
constexpr s4 IPA_MAY_THROW    = 0x40000000;
constexpr s4 IPA_ANYTHING     = 0x7FFFFFFF;     // may write anything (and throw)
constexpr s4 IPA_COMPUTED     = static_cast<s4>(0x80000000u);
constexpr u4 IPA_ANALYSIS_STARTED = 0x80000000; // summary record: the analysis has begun
constexpr u4 IPA_MB_FLAG_MASK = 0xE0400006;     // compact-form bits ORed into methodblock::jit_flags

// The summary record hung from a method's misinfo (work memory).
struct ipa_summary_record {
    misinfo* mis;
    u4 marker;                  // IPA_ANALYSIS_STARTED once the analysis has begun
    s4 final_summary;           // with the callees merged; negative once computed
    s4 own_summary;             // from the method's own code
};
static_assert(sizeof(ipa_summary_record) == 16);
static_assert(offsetof(ipa_summary_record, mis) == 0);
static_assert(offsetof(ipa_summary_record, marker) == 4);
static_assert(offsetof(ipa_summary_record, final_summary) == 8);
static_assert(offsetof(ipa_summary_record, own_summary) == 12);

// The summary of a method, computed on first use (negative: computed).  A
// method that cannot be analysed answers -1, except System.arraycopy, which
// writes array elements of every type and may throw.
s4 ipa_check_stored(method_compile_context* m, methodblock* mb, methodblock* caller, int flags, int depth);
// The bits of `mask` that a call of `callee` may write: all of them under
// NIPA or NIPA_ST; a callee that may throw from a caller that may throw
// counts as writing anything.
int dynamic_reg_propa_if(method_compile_context* m, int flags, methodblock* callee, int mask, int caller_summary);
// The compact form: 0x2 int, 0x4 long/boolean/byte/short/char, 0x400000
// references, 0x20000000 float/double, 0x40000000 may throw, 0x80000000
// computed.
u4 IPAmb_shrink(s4 summary);

#endif // ORVA_INLINE_INLINE_H
