// Object generators: allocation (gen_alloc.cpp), class-cache type checks
// (gen_classcache.cpp), and the unresolved type checks, string constants and
// array fill (gen_object.cpp); the monitor quadruples live in gen_sync.cpp.
//
// Calls into C from these sequences follow one discipline: eax, ecx and edx
// are written back (or saved around the call), the x87 stack is written back
// (or spilled and reloaded around the call), arguments are pushed last
// first, the last two are the frame-base register ebp and the address of the
// slot that receives the call's return address, and a 0 result means a Java
// exception is pending in the EE, which is then thrown.
#ifndef ORVA_CODEGEN_GEN_OBJECT_H
#define ORVA_CODEGEN_GEN_OBJECT_H

#include "codegen/cg_core.h"

// Compile-context list words (method_compile_context::cg_lists) that hold
// the record lists of these generators (newest first, emptied per pass).
constexpr int MCC_LIST_CLASS_CACHE = 0;
constexpr int MCC_LIST_ALLOC_SLOW_PATH = 1;

// Run-time routine table entries these generators call.
constexpr int RT_ENTRY_LDC = 0;
constexpr int RT_ENTRY_NEW = 10;
constexpr int RT_ENTRY_CHECKCAST = 11;
constexpr int RT_ENTRY_INSTANCEOF = 12;
constexpr int RT_ENTRY_JIT_CHECKCAST = 19;
constexpr int RT_ENTRY_OBJ_ALLOC = 20;
constexpr int RT_ENTRY_NEWARRAY = 21;
constexpr int RT_ENTRY_ANEWARRAY = 22;
constexpr int RT_ENTRY_ANEWARRAY_QUICK = 23;
constexpr int RT_ENTRY_MULTIANEWARRAY = 24;
constexpr int RT_ENTRY_MULTIANEWARRAY_QUICK = 25;

// Software exception codes these sequences raise.
constexpr u4 EXC_ARRAYSTORE = 0xE0000003u;
constexpr u4 EXC_THROWN = 0xE000000Eu;          // the exception pending in the EE
constexpr u4 EXC_NEGATIVE_ARRAYSIZE = 0xE0000010u;

// Compare kind of _gen_test_and_throw_exception that emits no compare: the
// sequence has set the flags itself.
constexpr int THROW_CMP_NONE = 1;

// Quadruple subcode bits of checkcast read by the class-cache check.
constexpr u2 QS_CAST_NONNULL = 0x0080;      // the operand is known non-null
constexpr u2 QS_CAST_NOT_ARRAY = 0x0040;    // the operand is known not to be an array
constexpr u2 QS_CAST_ARRAY = 0x0100;        // the operand is known to be an array

// Object header facts of the class-cache detour: the header byte of an
// object array, masked with 0xF8, is its element type code (2) times 8.
constexpr s4 OBJ_HEADER_TYPE_MASK = 0xF8;
constexpr s4 OBJ_HEADER_OBJECT_ARRAY = T_REFERENCE << 3;
constexpr s4 CB_SUPERCLASS_WORD = 0x80;      // class block: the direct superclass

// Initial contents of a class-cache cell: never a method table.
constexpr u4 CLASS_CACHE_EMPTY = 0xDEADBEEFu;

// ---------------------------------------------------------------------------
// gen_classcache.cpp
// ---------------------------------------------------------------------------
// class_cache_info.flags
constexpr u2 CACHE_HEADER_TEST = 0x1;      // the fast path tests the header's array bit

// One class-cache check site (80 bytes, compilation work pool).
struct class_cache_info {
    class_cache_info* next;
    u4 kind;                 // OPC_CHECKCAST, OPC_INSTANCEOF or OPC_CLASSTYPECHECK
    u4 cls;                  // class block (kind 145: the element-class register id)
    s2 sp_offset;            // stack offset at the site
    u2 block;                // block and quadruple of the site (error attribution)
    u2 quad;
    u2 flags;                // CACHE_* bits
    u1* cell;                // the address field of the inline compare with the cache cell
    u1* miss_site;           // just after the near jump to the miss path
    u4 fp_live;              // x87 live-state word at the site: the miss path spills and reloads it
    reg_operand object;      // copies of the operand descriptors
    reg_operand result;
    u1* continue_address;    // where the fast path ends
    u1* null_site;           // instanceof: just after the near jump taken for null
    u1* header_site;         // just after the near jump of the header test; 0 none
    u1* compare;             // the inline compare instruction
    u4 scratch;              // register id t
    u4 obj_reg;              // register id o
};
static_assert(sizeof(class_cache_info) == 80);
static_assert(offsetof(class_cache_info, kind) == 4);
static_assert(offsetof(class_cache_info, cls) == 8);
static_assert(offsetof(class_cache_info, sp_offset) == 12);
static_assert(offsetof(class_cache_info, block) == 14);
static_assert(offsetof(class_cache_info, quad) == 16);
static_assert(offsetof(class_cache_info, flags) == 18);
static_assert(offsetof(class_cache_info, cell) == 20);
static_assert(offsetof(class_cache_info, miss_site) == 24);
static_assert(offsetof(class_cache_info, fp_live) == 28);
static_assert(offsetof(class_cache_info, object) == 32);
static_assert(offsetof(class_cache_info, result) == 44);
static_assert(offsetof(class_cache_info, continue_address) == 56);
static_assert(offsetof(class_cache_info, null_site) == 60);
static_assert(offsetof(class_cache_info, header_site) == 64);
static_assert(offsetof(class_cache_info, compare) == 68);
static_assert(offsetof(class_cache_info, scratch) == 72);
static_assert(offsetof(class_cache_info, obj_reg) == 76);

// The class a type-check or allocation quadruple names (resolved entries).
classblock* quad_class(const quadruple* q);
// The constant pool whose index the quadruple carries.
u4* quad_constant_pool(codegen_context* cg, const quadruple* q);
// The method block whose constant pool the quadruple's index refers to.
methodblock* quad_context(codegen_context* cg, const quadruple* q);

// Emits the inline check and registers its miss path.  `kind` is the
// opcode; for OPC_CLASSTYPECHECK `cls` is the register id holding the
// element class and `obj` the value register.  obj and t are register ids.
void emit_class_cache_check(codegen_context* cg, u4 kind, u4 cls, u4 obj, u4 t);
// The two accesses of a cache cell at absolute address `cell` (reg a
// register id): cmp reg, [cell] and mov [cell], reg.  Answer their lengths.
int emit_class_cache_compare(codegen_context* cg, u4 reg, u4 cell);
int emit_class_cache_store(codegen_context* cg, u4 cell, u4 reg);

// ---------------------------------------------------------------------------
// Helpers shared by the three files (gen_alloc.cpp)
// ---------------------------------------------------------------------------
// eax, edx, ecx and the x87 stack written back and emptied in the model.
void obj_write_back_for_call(codegen_context* cg);
// esp moved by `delta` bytes (negative: down) with the stack offset kept
// current; `keep_flags` uses lea so that the condition flags survive.
void obj_adjust_esp(codegen_context* cg, s4 delta, int keep_flags);
// The code-position record of an inlined body at the current position
// (a call whose return address the frame walk must attribute).
void obj_note_inlined_position(codegen_context* cg);
// A jump to the raise path of `code` when `cond` holds on the flags set.
void obj_throw_if(codegen_context* cg, int cond, u4 code);
// Spills the x87 entries that a live-state word describes to the machine
// stack (top first) and reloads them; the reload keeps the flags.
void obj_spill_x87(codegen_context* cg, u4 live);
void obj_reload_x87(codegen_context* cg, u4 live);
// Near jump to an address known in the writing pass.
void obj_jmp_to(codegen_context* cg, int cond, u1* target);
// Aims the near (4-byte) or short (1-byte) jump that ends at `site` here.
void obj_aim_near_here(codegen_context* cg, u1* site);
void obj_aim_short_here(codegen_context* cg, u1* site);
u1* obj_site_here(codegen_context* cg);

#endif // ORVA_CODEGEN_GEN_OBJECT_H
