// Call sites and their out-of-line code: direct calls of static and private
// methods, virtual calls, calls of java.lang.Object methods on any
// reference, interface calls with a guessed method block, the stubs after
// the method body that resolve or re-target them, and the class-hierarchy
// patch sites of directly bound calls.
//
// Both passes register every site.  The measuring pass keeps no records
// (except the interface array, whose miss paths are measured for real): each
// registration adds the largest stub it can need to the method's extra code
// size.  The writing pass pushes a record per site in the method's work
// pool; the stub passes after the body point each site at its stub.
#ifndef ORVA_CODEGEN_GEN_CALLSITE_H
#define ORVA_CODEGEN_GEN_CALLSITE_H

#include "codegen/cg_core.h"

// ---------------------------------------------------------------------------
// Direct call site (static, special, private, final): one record per site.
// ---------------------------------------------------------------------------
struct invoke_back_patch_record {
    invoke_back_patch_record* next;
    u1* site;              // first byte of the call instruction
    u4 x;                  // kind 3: constant-pool index; else the callee's compiled-code slot address
    u4 y;                  // kind 3: accessing method block; else 0
    u1* stub;              // the site's initial-target stub (filled by the stub pass)
    u2 kind;               // INVOKE_SITE_*
    s2 sp_offset;          // stack offset at the site less the pushed return address
    u2 block;
    u2 quad;
};
static_assert(sizeof(invoke_back_patch_record) == 28);
static_assert(offsetof(invoke_back_patch_record, next) == 0);
static_assert(offsetof(invoke_back_patch_record, site) == 4);
static_assert(offsetof(invoke_back_patch_record, x) == 8);
static_assert(offsetof(invoke_back_patch_record, y) == 12);
static_assert(offsetof(invoke_back_patch_record, stub) == 16);
static_assert(offsetof(invoke_back_patch_record, kind) == 20);
static_assert(offsetof(invoke_back_patch_record, sp_offset) == 22);
static_assert(offsetof(invoke_back_patch_record, block) == 24);
static_assert(offsetof(invoke_back_patch_record, quad) == 26);

constexpr u2 INVOKE_SITE_UNRESOLVED = 3;   // resolved at run time by __invokestatic
constexpr u2 INVOKE_SITE_COMPILED = 4;     // the callee had code when the site was written
constexpr u2 INVOKE_SITE_NOT_COMPILED = 5; // calls the callee's initial-target stub

// ---------------------------------------------------------------------------
// Virtual call site resolved at run time, or the out-of-line path of a call
// of a java.lang.Object method.
// ---------------------------------------------------------------------------
struct invokevirtualobject_record {
    invokevirtualobject_record* next;
    u1* site_end;          // just after the call or jne whose rel32 is patched
    u4 r;                  // kind 3: base << 8 | destination register id; else the return address
    u4 x;                  // kind 3: constant-pool index; else the method-table slot
    u4 y;                  // kind 3: accessing method block; else the callee
    method_compile_context* m;
    s2 sp_offset;
    u2 block;
    u2 quad;
    u1 kind;               // VOBJ_UNRESOLVED or VOBJ_OUT_OF_LINE
    u1 pad;
};
static_assert(sizeof(invokevirtualobject_record) == 32);
static_assert(offsetof(invokevirtualobject_record, site_end) == 4);
static_assert(offsetof(invokevirtualobject_record, r) == 8);
static_assert(offsetof(invokevirtualobject_record, x) == 12);
static_assert(offsetof(invokevirtualobject_record, y) == 16);
static_assert(offsetof(invokevirtualobject_record, m) == 20);
static_assert(offsetof(invokevirtualobject_record, sp_offset) == 24);
static_assert(offsetof(invokevirtualobject_record, block) == 26);
static_assert(offsetof(invokevirtualobject_record, quad) == 28);
static_assert(offsetof(invokevirtualobject_record, kind) == 30);

constexpr u1 VOBJ_SLOT_KNOWN = 1;    // the method-table load is written inline
constexpr u1 VOBJ_UNRESOLVED = 3;
constexpr u1 VOBJ_OUT_OF_LINE = 2;   // an Object method's call for receivers that are arrays

// ---------------------------------------------------------------------------
// Interface call site with a guessed method block: seven words, kept in an
// array that both passes fill in the same order.
// ---------------------------------------------------------------------------
struct invokeinterface_site_record {
    methodblock* imb;      // the interface method (its class and its index in the interface)
    u1* jump;              // the jg to the miss path (address of the instruction)
    u4 is_short;           // first byte non-zero: the 2-byte form
    u4 ecx_value;          // the guess byte's address
    u4 reg;                // register id that receives the method block
    u1* back;              // where the miss path returns
    s4 sp_offset;
};
static_assert(sizeof(invokeinterface_site_record) == 28);
static_assert(offsetof(invokeinterface_site_record, jump) == 4);
static_assert(offsetof(invokeinterface_site_record, is_short) == 8);
static_assert(offsetof(invokeinterface_site_record, ecx_value) == 12);
static_assert(offsetof(invokeinterface_site_record, reg) == 16);
static_assert(offsetof(invokeinterface_site_record, back) == 20);
static_assert(offsetof(invokeinterface_site_record, sp_offset) == 24);

// Size of the buffer the code-generation driver lends for the first sites.
constexpr u4 IFACE_SCRATCH_BYTES = 64;

// The compile context's list words of the two record lists.
constexpr int MCC_LIST_INVOKE_BACK_PATCH = 3;
constexpr int MCC_LIST_INVOKEVIRTUALOBJECT = 4;

// Stub bytes reserved per registration in the measuring pass.
constexpr u4 INVOKE_STUB_RESERVE_UNRESOLVED = 34;   // resolve stub (20) + initial-target stub (10), rounded
constexpr u4 INVOKE_STUB_RESERVE_DIRECT = 15;       // initial-target stub (10) and slack
constexpr u4 VOBJ_STUB_RESERVE_UNRESOLVED = 26;     // resolve stub (20) + the method-table template (6)
constexpr u4 VOBJ_STUB_RESERVE_OUT_OF_LINE = 25;    // padding (3) + call + jmp; its own direct record reserves 15

// Run-time routine table entries called from here.
constexpr int RT_ENTRY_INVOKEVIRTUAL = 6, RT_ENTRY_INVOKESTATIC = 8, RT_ENTRY_INVOKEINTERFACE = 9,
              RT_ENTRY_IFACE_GUESS = 41, RT_ENTRY_INITIAL_TARGET = 152;

// Method block: its compiled-code slot lies 72 bytes from its start.
constexpr s4 MB_COMPILED_SLOT = 0x48;
// Class block: the interface method table.
constexpr s4 CB_INTERFACE_TABLE = 0x6C;
// Constant-pool index bit of a static call site.
constexpr u4 INVOKE_INDEX_STATIC = 0x80000000u;

// ---- gen_callsite.cpp --------------------------------------------------------
invoke_back_patch_record* invoke_back_patch_list(method_compile_context* m);
invokevirtualobject_record* invokevirtualobject_list(method_compile_context* m);
void register_invoke_back_patch(codegen_context* cg, u1* site, u4 x, u4 y, u2 kind);
void register_invokevirtualobject_site(u1* site_end, u4 r, u4 x, u4 y, codegen_context* cg, u1 kind);
void register_invokeinterface_site(codegen_context* cg, methodblock* imb, u1* site, u4 ecx_value, u4 reg, u1* back);
// Direct call of `mb` (kind 3: through the constant-pool index `cp_index`).
void gen_invokestatic_quick_core(codegen_context* cg, methodblock* mb, u4 cp_index, int kind);
void gen_invokestatic_quick(codegen_context* cg, methodblock* mb, u4 cp_index, int kind);
// Virtual call through method-table slot `slot_or_index` of the method table
// in `base` (kind 1) or through a constant-pool index resolved at run time
// (kind 3); `dest` receives the method block.  Register ids.
void gen_invokevirtual_quick_core(codegen_context* cg, u4 base, u4 dest, u4 slot_or_index, u4 y, int kind);
// Call of java.lang.Object method `mb` on the receiver in eax; the method
// table goes through `scratch`.
void gen_invokevirtualobject_quick_core(codegen_context* cg, u4 base, u4 scratch, methodblock* mb, int kind);
void gen_invokevirtualobject_quick(codegen_context* cg, u4 base, u4 scratch, methodblock* mb);
// Interface call resolved at run time (receiver in eax).
void gen_invokeinterface_core(codegen_context* cg, u4 descriptor, u4 cp_index, methodblock* context);
// Interface call through the guessed method block (receiver in eax); ra and
// rb are the two lowest registers of the free mask (manager bits).
void gen_fast_invokeinterface(codegen_context* cg, methodblock* imb, u4 ecx_value, u4 free_mask);
// The code position of an out-of-line call belongs to the site's inlined method.
void cg_register_inlined_position(codegen_context* cg);

// ---- gen_chapatch.cpp --------------------------------------------------------
// A block's class-hierarchy patch entries (before code generation).
struct cha_block_entry {
    cha_block_entry* next;
    quadruple** guard;     // the guard quadruple's slot
    u4 block;              // the guard's block
};
static_assert(sizeof(cha_block_entry) == 12);

struct cha_patch_record {
    cha_patch_record* next;
    methodblock* method;   // the guarded method
    u4 pass1_site;         // pass-1 code position of the site
    u4 target;             // the general path
    u4 alternative;        // used when the target block has no code
    u4 block;              // the site's block
    u1* site;              // pass 2
    u1 is_short;           // the patch jump is EB rel8
    u1 is_interface;
    u2 pad;
};
static_assert(sizeof(cha_patch_record) == 32);
constexpr u4 CHA_TEMPLATE_SIZE = 11;
constexpr u4 CHA_SITE_RESERVE = 5;
// A block's patch entries hang from its record word.
inline cha_block_entry* cha_block_entries(const bbattr* b) { return reinterpret_cast<cha_block_entry*>((uintptr_t)b->word_168); }
inline void set_cha_block_entries(bbattr* b, cha_block_entry* e) { b->word_168 = (u4)(uintptr_t)e; }
// Rewrites a site with the jump of its template (another thread may be running it).
void cha_rewrite_site(u1* site, u1* tmpl);

#endif // ORVA_CODEGEN_GEN_CALLSITE_H
