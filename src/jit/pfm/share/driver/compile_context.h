// The records of one compilation: the method compile context every phase of
// the pipeline fills, the thread compile record the driver pushes on the
// thread's EE, and the frame marker through which stack walkers see the method
// being compiled.
//
// The driver zeroes a `method_compile_context` in its own frame for each
// request and keeps it there for the whole attempt; `init_method_compile_context`
// fills it; the inliner makes a fresh one (in work memory) for a body it
// unfolds, linked to the root.  Fields without a settled meaning are named by
// their role and left to the passes that own them; the tail is reserved for
// passes still to come.  No constructors or destructors: these records live on
// frames a longjmp abandons.
#ifndef ORVA_DRIVER_COMPILE_CONTEXT_H
#define ORVA_DRIVER_COMPILE_CONTEXT_H

#include <setjmp.h>
#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"

struct bbattr;
struct work_pool;
struct inlining_context;
struct method_unresolved_info;
struct pc2bb_entry;

// ---------------------------------------------------------------------------
// method_compile_context.state_flags
// (the low 16 bits are read as a signed half-word by several users)
// ---------------------------------------------------------------------------
constexpr u4 MCC_UNRESOLVED_BODY   = 0x100;       // unresolved quadruples carry the body number
constexpr u4 MCC_GIVE_UP           = 0x200;       // give up optimizing (the attempt fails hard)
constexpr u4 MCC_UNRESOLVED_SEEN   = 0x800;       // an unresolved reference was met
constexpr u4 MCC_RARE_PATH_ORDER   = 0x2000;      // gates the rare-path ordering of the DFS list
constexpr u4 MCC_MMI2JIT           = 0x8000;      // compile for an interpreter transfer (s16 < 0)
constexpr u4 MCC_LIVENESS_UNAVAILABLE = 0x40000;   // no liveness results: set before the front end, cleared by liveness
constexpr u4 MCC_MEANTIME_ABSENT   = 0x200000;    // no meantime distances: set before the front end
constexpr u4 MCC_QUAD_FORM         = 0x400000;    // the quadruple form is in force
constexpr u4 MCC_NO_IDIOMS         = 0x08000000;  // cleared unless NBCOPT
constexpr u4 MCC_CREATED           = 0x20000000;  // set when the context is initialised
constexpr u4 MCC_TILE_CARRY        = 0x40000000;  // a block's flags2 0x20 reached its loop/tile record
constexpr u4 MCC_NO_USAGE_TABLE    = 0x80000000;  // no per-block tables (level 0, or no usage table)

// The compiler's compiled-code flags word of a method block (+0x34).
constexpr u4 MBC_CODE_INSTALLED  = 0x1;           // compiled code is installed
constexpr u4 MBC_REPLACED_BODY   = 0x400;         // a hand-written replacement body
constexpr u4 MBC_TRANSFER_POINT  = 0x02000000;    // the code holds an MMI2JIT transfer point

// Sizes of the context and of its reserved tail.
constexpr u4 MCC_SIZE = 952;

struct method_compile_context {
    method_compile_context* root;   // outermost context; itself for the root
    u4 state_flags;                 // MCC_* bits
    u4 selector;                    // debug selector of a method the skip filters match
    work_pool* pool1;               // main pool: the context, code positions, blocks, quadruples
    work_pool* pool2;               // scratch pool: reset between phases
    work_pool* pool3;               // released with pool 1
    u4 use_count;                   // attempts holding the workspace
    methodblock* mb;                // the method compiled
    method_unresolved_info* unresolved_info;   // unresolved references recorded by the driver
    u2 max_stack;                   // copied from the method block, raised by the stack pass
    u2 local_count;                 // copied from the method block
    void* inliner_word;             // inlining analysis
    u2 stack_counts[2];             // written by the stack pass
    u2 max_int_height;              // largest per-block value of the stack pre-allocation
    u2 max_float_height;            // likewise for the floating heights
    u2 loop_word16;                 // loop optimizer and front end
    u2 pad_42;
    u4 total_quad_count;            // raised by every pass that adds quadruples
    u4 switch_target_total;         // successor total of the switch quadruples
    u4 bb_count;                    // blocks in the block table
    u4 bb_capacity;                 // allocated entries of the block table
    bbattr** bb_table;              // block pointers by number
    u4 dfs_count;                   // entries of the DFS order
    u4* dfs_array;                  // block numbers in depth-first order
    u4 loop_count;                  // loop optimizer
    u4 loop_word2;                  // loop optimizer
    void** loop_table;              // loop records by a block's loop index
    u4 pass_word;                   // register manager and quadruple passes
    u1* tile_table;                 // 24-byte tile records (counted from 1)
    u4 frontend_word;               // front end and table_expansion
    u4 subroutine_count;            // exception structure: subroutine records
    void* subroutine_table;
    void* handler_lists;            // handler lists and try regions
    void* try_regions;
    void* catch_frame_table;        // compiled catch-frame directory
    u4 invocation_count;            // set by quadruple generation
    u4 float_invocation_count;
    u4 inliner_words[3];            // inlining expansion
    inlining_context* inlining;     // made by allocate_miainfo at creation
    u4 inliner_word2;               // cleared at creation
    u4 cg_lists[8];                 // code generators' record lists (MCC_LIST_*); [5] the code-position table
    void* lopt;                     // loop optimizer; cleared at creation
    u1 optimizer_byte;              // quadruple optimization driver; cleared at creation
    u1 pad_153[3];
    u4 code_size;                   // bytes of generated code
    u4 extra_code_size;             // out-of-line bytes planned in the measuring pass
    void* code_mem_chain;           // code-memory pieces of this compilation; first = the rcc
    u4 rejit_new_list;              // 1 when this compile made its own re-compilation list
    void** rejit_cell;              // cell holding the re-compilation list
    u4 transfer_point;              // interpreter pc of an MMI2JIT transfer, 0 otherwise
    u4 frontend_words[6];           // front end and inliner
    u4 regman_words[2];             // register manager
    u4 five_words[5];               // cleared at creation
    void* mmi_local_access;         // the interpreter's local-access record (transfer)
    u4 loop_regman_words[3];        // loop optimizer and register manager
    u4 inliner_words3[3];           // inlining decision
    u4 stack_map_word;              // cleared before each attempt
    u4 three_words[3];              // cleared at creation
    u4 last_word;                   // catch-frame builder, front end, loop optimizer
    // Further fields of the front end and quadruple generation.
    u4 call_count;                  // call quadruples
    u2 max_arg_words;               // largest argument-word count of a call
    u2 pad_286;
    u4 typecheck_count;             // checkcast and instanceof quadruples
    u4 arraycopy_flag;              // a resolved System.arraycopy call was met
    u2 int_stack_size;              // variable numbering of generate_quadruple
    u2 float_stack_size;
    u2 arg_remap_bound;
    u2 float_slot_count;            // entries of float_slot_table
    int8_t* float_slot_table;       // one signed byte per float-stack slot
    void* bb_table_pool;            // quadruple-generation driver and stack simulation
    void* mark_array;
    void* split_map;
    void* qgen_subroutines;
    u4 qgen_pass_words[2];          // flag words of the stack simulation and later passes
    // Catch tables.
    u4 exc_count;                   // JVM exception-table entries
    void* exc_bb_table;             // block-level exception table (code memory)
    u4 exc_count2;                  // second copy of the entry count
    // Local splitting and the variable numbering of the quadruple form.
    u4 split_word;                  // cleared by the local splitting
    u4 locals_before_split;         // local count before the splitting
    u4 previous_local_count;        // bytecode locals (B) before generate_quadruple renumbered
    u2 extra_counts[2];             // temporaries added by the trivial-method expansion
    u4 reserved[(MCC_SIZE - 400) / 4];   // fields of passes still to come
};
static_assert(sizeof(method_compile_context) == MCC_SIZE);

// The map of the local-table shrinking (per local number before the first
// shrink, its number now or -1 when dropped).  It lives in the last words of
// `reserved`; the interpreter hand-over reads it as the transfer map and the
// local-variable characteristics read it to find the method's own locals.
constexpr int MCC_RESERVED_WORDS = (int)(sizeof(((method_compile_context*)nullptr)->reserved) / 4);
constexpr int MCC_TAIL_TRANSFER_MAP = 3;   // counted from the last word
inline s4* mcc_shrink_map(const method_compile_context* m)
{
    return reinterpret_cast<s4*>(m->reserved[MCC_RESERVED_WORDS - 1 - MCC_TAIL_TRANSFER_MAP]);
}
inline void mcc_set_shrink_map(method_compile_context* m, s4* map)
{
    m->reserved[MCC_RESERVED_WORDS - 1 - MCC_TAIL_TRANSFER_MAP] = reinterpret_cast<u4>(map);
}
static_assert(offsetof(method_compile_context, root) == 0);
static_assert(offsetof(method_compile_context, state_flags) == 4);
static_assert(offsetof(method_compile_context, selector) == 8);
static_assert(offsetof(method_compile_context, pool1) == 12);
static_assert(offsetof(method_compile_context, pool2) == 16);
static_assert(offsetof(method_compile_context, pool3) == 20);
static_assert(offsetof(method_compile_context, use_count) == 24);
static_assert(offsetof(method_compile_context, mb) == 28);
static_assert(offsetof(method_compile_context, unresolved_info) == 32);
static_assert(offsetof(method_compile_context, max_stack) == 36);
static_assert(offsetof(method_compile_context, local_count) == 38);
static_assert(offsetof(method_compile_context, inliner_word) == 40);
static_assert(offsetof(method_compile_context, stack_counts) == 44);
static_assert(offsetof(method_compile_context, max_int_height) == 48);
static_assert(offsetof(method_compile_context, max_float_height) == 50);
static_assert(offsetof(method_compile_context, loop_word16) == 52);
static_assert(offsetof(method_compile_context, total_quad_count) == 56);
static_assert(offsetof(method_compile_context, switch_target_total) == 60);
static_assert(offsetof(method_compile_context, bb_count) == 64);
static_assert(offsetof(method_compile_context, bb_capacity) == 68);
static_assert(offsetof(method_compile_context, bb_table) == 72);
static_assert(offsetof(method_compile_context, dfs_count) == 76);
static_assert(offsetof(method_compile_context, dfs_array) == 80);
static_assert(offsetof(method_compile_context, loop_count) == 84);
static_assert(offsetof(method_compile_context, loop_word2) == 88);
static_assert(offsetof(method_compile_context, loop_table) == 92);
static_assert(offsetof(method_compile_context, pass_word) == 96);
static_assert(offsetof(method_compile_context, tile_table) == 100);
static_assert(offsetof(method_compile_context, frontend_word) == 104);
static_assert(offsetof(method_compile_context, subroutine_count) == 108);
static_assert(offsetof(method_compile_context, subroutine_table) == 112);
static_assert(offsetof(method_compile_context, handler_lists) == 116);
static_assert(offsetof(method_compile_context, try_regions) == 120);
static_assert(offsetof(method_compile_context, catch_frame_table) == 124);
static_assert(offsetof(method_compile_context, invocation_count) == 128);
static_assert(offsetof(method_compile_context, float_invocation_count) == 132);
static_assert(offsetof(method_compile_context, inliner_words) == 136);
static_assert(offsetof(method_compile_context, inlining) == 148);
static_assert(offsetof(method_compile_context, inliner_word2) == 152);
static_assert(offsetof(method_compile_context, cg_lists) == 156);
static_assert(offsetof(method_compile_context, lopt) == 188);
static_assert(offsetof(method_compile_context, optimizer_byte) == 192);
static_assert(offsetof(method_compile_context, code_size) == 196);
static_assert(offsetof(method_compile_context, extra_code_size) == 200);
static_assert(offsetof(method_compile_context, code_mem_chain) == 204);
static_assert(offsetof(method_compile_context, rejit_new_list) == 208);
static_assert(offsetof(method_compile_context, rejit_cell) == 212);
static_assert(offsetof(method_compile_context, transfer_point) == 216);
static_assert(offsetof(method_compile_context, frontend_words) == 220);
static_assert(offsetof(method_compile_context, regman_words) == 244);
static_assert(offsetof(method_compile_context, five_words) == 252);
static_assert(offsetof(method_compile_context, mmi_local_access) == 272);
static_assert(offsetof(method_compile_context, loop_regman_words) == 276);
static_assert(offsetof(method_compile_context, inliner_words3) == 288);
static_assert(offsetof(method_compile_context, stack_map_word) == 300);
static_assert(offsetof(method_compile_context, three_words) == 304);
static_assert(offsetof(method_compile_context, last_word) == 316);
static_assert(offsetof(method_compile_context, call_count) == 320);
static_assert(offsetof(method_compile_context, max_arg_words) == 324);
static_assert(offsetof(method_compile_context, typecheck_count) == 328);
static_assert(offsetof(method_compile_context, arraycopy_flag) == 332);
static_assert(offsetof(method_compile_context, int_stack_size) == 336);
static_assert(offsetof(method_compile_context, float_stack_size) == 338);
static_assert(offsetof(method_compile_context, arg_remap_bound) == 340);
static_assert(offsetof(method_compile_context, float_slot_count) == 342);
static_assert(offsetof(method_compile_context, float_slot_table) == 344);
static_assert(offsetof(method_compile_context, bb_table_pool) == 348);
static_assert(offsetof(method_compile_context, mark_array) == 352);
static_assert(offsetof(method_compile_context, split_map) == 356);
static_assert(offsetof(method_compile_context, qgen_subroutines) == 360);
static_assert(offsetof(method_compile_context, qgen_pass_words) == 364);
static_assert(offsetof(method_compile_context, exc_count) == 372);
static_assert(offsetof(method_compile_context, exc_bb_table) == 376);
static_assert(offsetof(method_compile_context, exc_count2) == 380);
static_assert(offsetof(method_compile_context, split_word) == 384);
static_assert(offsetof(method_compile_context, locals_before_split) == 388);
static_assert(offsetof(method_compile_context, previous_local_count) == 392);
static_assert(offsetof(method_compile_context, extra_counts) == 396);
static_assert(offsetof(method_compile_context, reserved) == 400);

// ---------------------------------------------------------------------------
// Thread compile record: 14 words in the driver's frame, linked from the
// thread's EE (EE_COMPILE_RECORD) so that nested activity of the same thread
// finds the active compilation.
// ---------------------------------------------------------------------------
struct frame_marker;

struct thread_compile_record {
    thread_compile_record* prev;    // 0: the previously active record
    sigjmp_buf* jump;               // 1: where work-memory exhaustion longjmps
    frame_marker* marker;           // 2: the driver's frame marker
    methodblock* mb;                // 3: the method compiled
    u1* code_start;                 // 4: generated code
    u1* code_end;                   // 5
    void* compiled_entry;           // 6: for the compiled-code slot
    void* invoker_entry;            // 7: for the invoker slot
    work_pool* pools;               // 8: head of the thread's work-pool list
    void* cp2imf;                   // 9: inlined-method map for the registry
    void* exc_cp2imf;               // 10: exception-path map
    u4 md_word0;                    // 11: low 24 bits a value, top byte a kind (0x10 replaced)
    u4 md_word1;                    // 12: the stack-pointer table (also flag-byte address)
    u4 md_word2;                    // 13: a further machine word
};
static_assert(sizeof(thread_compile_record) == 56);
static_assert(offsetof(thread_compile_record, prev) == 0);
static_assert(offsetof(thread_compile_record, jump) == 4);
static_assert(offsetof(thread_compile_record, marker) == 8);
static_assert(offsetof(thread_compile_record, mb) == 12);
static_assert(offsetof(thread_compile_record, code_start) == 16);
static_assert(offsetof(thread_compile_record, code_end) == 20);
static_assert(offsetof(thread_compile_record, compiled_entry) == 24);
static_assert(offsetof(thread_compile_record, invoker_entry) == 28);
static_assert(offsetof(thread_compile_record, pools) == 32);
static_assert(offsetof(thread_compile_record, cp2imf) == 36);
static_assert(offsetof(thread_compile_record, exc_cp2imf) == 40);
static_assert(offsetof(thread_compile_record, md_word0) == 44);
static_assert(offsetof(thread_compile_record, md_word1) == 48);
static_assert(offsetof(thread_compile_record, md_word2) == 52);

constexpr u4 TCR_MD_KIND_REPLACED = 0x10u << 24;   // md_word0 kind of a replacement body
constexpr u4 TCR_MD_VALUE_MASK    = 0x00FFFFFFu;

// Frame marker: five words on the driver's frame.  The transition record the
// driver pushes points at it (tagged with bit 0), so walkers see the method
// being compiled.
struct frame_marker {
    methodblock* mb;                // the method compiled
    u1 flags[2];                    // both 4
    u2 pad;
    u4* last_word;                  // address of `distance`
    u4 zero;
    u4 distance;                    // words from the marker to the caller's frame
};
static_assert(sizeof(frame_marker) == 20);
static_assert(offsetof(frame_marker, mb) == 0);
static_assert(offsetof(frame_marker, flags) == 4);
static_assert(offsetof(frame_marker, last_word) == 8);
static_assert(offsetof(frame_marker, zero) == 12);
static_assert(offsetof(frame_marker, distance) == 16);

constexpr u1 FRAME_MARKER_FLAG = 4;

// The thread's active compile record.
inline thread_compile_record* jit_compile_record(EE* ee)
{
    return ee ? static_cast<thread_compile_record*>(ee->compile_record) : nullptr;
}

#endif // ORVA_DRIVER_COMPILE_CONTEXT_H
