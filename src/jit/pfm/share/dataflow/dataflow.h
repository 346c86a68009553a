// Dataflow framework: the two optimizer pass drivers, the iterative solver
// with its four set forms, the flow-graph and loop-table utilities and the
// constant tables; the folder's public functions, grouped by the file that
// defines them.  Records are in df_records.h; the loop-table records in
// loop/loop_records.h.
//
// Results: pass entries answer 0 (ran or switched off) or 1 (failed);
// `bytecode_optimization` answers 1 for success; the DFS-list builders answer
// nonzero for success.  Block 0's negated successor entries are the
// subroutine entries (the front end's entry list: block 1, one handler per
// exception-table entry, one negated entry per subroutine); the "try regions"
// of the DFS list and of the solver's iterators are those subroutines, held in
// the context's subroutine table (`subroutine_info`).
#ifndef ORVA_DATAFLOW_DATAFLOW_H
#define ORVA_DATAFLOW_DATAFLOW_H

#include "vm_abi.h"
#include "frontend/bb.h"
#include "dataflow/df_records.h"
#include "loop/loop_records.h"

struct bbattr;
struct quadruple;
struct EE;

// ---- df_driver.cpp: the optimizer pass drivers ---------------------------------
int bytecode_optimization(method_compile_context* m, int flag, EE* ee);
int quadruple_optimization(method_compile_context* m, int* error);
// Zeroes a pass context and gives it two arenas from the first work pool.
void df_init_pass_context(method_compile_context* m, dataflow_pass_context* pc);
// The arena size the drivers take for a method of this many blocks.
u4 df_arena_size(u4 block_count);
// Error codes stored by quadruple_optimization (10 is the pipeline's preset).
constexpr int QOPT_ERR_PRESET = 10, QOPT_ERR_GENERATE = 11, QOPT_ERR_STRAIGHTEN = 12, QOPT_ERR_DFS = 13,
              QOPT_ERR_UNREACHABLE_LOOPS = 14, QOPT_ERR_COPYPROPA = 15, QOPT_ERR_DEADSTORE = 16,
              QOPT_ERR_NULLCHECK = 18, QOPT_ERR_COMMONING = 19, QOPT_ERR_COPYPROPA_CYCLE = 20,
              QOPT_ERR_DEADSTORE_AFTER = 21, QOPT_ERR_BWD_COPYPROPA = 22, QOPT_ERR_DEADSTORE_COLOR = 23,
              QOPT_ERR_LOOPOPT = 24, QOPT_ERR_LIVEVAR = 26, QOPT_ERR_ATHROW = 27, QOPT_ERR_MEANTIME = 28,
              QOPT_ERR_SPOPTIMIZE = 29, QOPT_ERR_LVAR_TBL = 30, QOPT_ERR_LVATTR_ENTRY = 31,
              QOPT_ERR_LVATTR_BLOCK = 32, QOPT_ERR_MOVECOPY = 33, QOPT_ERR_SHRINK = 35,
              QOPT_ERR_ARRAYCHECK = 36, QOPT_ERR_EXPLICIT_NULL = 37, QOPT_ERR_COPYPROPA_FINAL = 38,
              QOPT_ERR_COLOR = 39, QOPT_ERR_CHA = 50, QOPT_ERR_RARE_PATH = 51, QOPT_ERR_COLORING = 52,
              QOPT_ERR_ARCH = 245;
constexpr int QOPT_ERR_DEADSTORE_CYCLE = 37, QOPT_ERR_CONSTRAINT = 38;     // codes shared by two steps

// ---- df_solver.cpp: the solver, bit-word, bit-vector and integer forms ---------
// Storage from arena 1 (top down), else from the first work pool.
void* df_alloc(method_compile_context* m, dataflow_pass_context* pc, u4 bytes);
void df_reset_arena1(dataflow_pass_context* pc);
// Cleared per-block sets for a pass: the caller's `frame` of `frame_count`
// entries when the method's blocks fit, else the second work pool; null when
// the pool is exhausted.
constexpr u4 DF_FRAME_SETS = 64;
dataflow_block_sets* df_block_sets(method_compile_context* m, dataflow_block_sets* frame, u4 frame_count);
int Alloc_DataFlow(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                   dataflow_pass_descriptor* d);
int Alloc_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                     dataflow_pass_descriptor* d, s4 initial);
int Init_DataFlow(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                  dataflow_pass_descriptor* d);
int Iter_DataFlow(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                  dataflow_pass_descriptor* d);
int Final_DataFlow(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                   dataflow_pass_descriptor* d);
int Init_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                    dataflow_pass_descriptor* d);
int Iter_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                    dataflow_pass_descriptor* d);
int Final_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                     dataflow_pass_descriptor* d);
void Free_DataFlow(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                   dataflow_pass_descriptor* d);
void Free_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                     u4 nblocks, dataflow_pass_descriptor* d);
int Dummy_Final_DataFlow_B(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                           dataflow_pass_descriptor*);
int Dummy_Final_DataFlow_V(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                           dataflow_pass_descriptor*);
int Dummy_Final_DataFlow_I(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                           dataflow_pass_descriptor*);
// Iterators (forward: DFS entries 2 .. count-1 then every subroutine's list;
// backward: the reverse, each subroutine list from its end) and visitors.
int DFS_Iter_DataFlow_B(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                        dataflow_pass_descriptor*);
int DFS_Iter_DataFlow_V(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                        dataflow_pass_descriptor*);
int DFS_Iter_DataFlow_I(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                        dataflow_pass_descriptor*);
int RDFS_Iter_DataFlow_B(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int RDFS_Iter_DataFlow_V(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int RDFS_Iter_DataFlow_I(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int Fwd_Visit_DataFlow_B(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int Fwd_Visit_DataFlow_V(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int Bwd_Visit_DataFlow_B(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int Bwd_Visit_DataFlow_V(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int Dom_Visit_DataFlow_B(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int Dom_Visit_DataFlow_V(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int Fwd_Visit_DataFlow_I(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int Bwd_Visit_DataFlow_I(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
// Seeds IN of block 1 with item 0 (the receiver) and recomputes its OUT.  The
// seed marks block 1 touched, so that a back edge into block 1 meets the
// entry facts instead of overwriting them.
int Recv_Init_DataFlow_B(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int Recv_Init_DataFlow_V(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int Recv_Init_DataFlow_I(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
// Marks a block's IN as written by an Init callback (the seed of an entry
// successor), with the same effect on later meets as a forward visit.
inline void df_seed_touched(dataflow_block_sets* sets, u4 block) { sets[block].touched = 1; }
int SAME_BITVEC(const u8* a, const u8* b, s4 n);
s4 NSETS_BASE(u8 word, s4 n);
s4 NSETS_BITVEC(const u8* v, s4 n);
void Dump_DataFlow(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                   dataflow_pass_descriptor*);
void Dump_DataFlow_I(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                     dataflow_pass_descriptor*);
// Bit helpers of the two forms.
inline bool df_test(u8 word, u4 item) { return (word & ABIT_llshr[item]) != 0; }
inline bool df_vtest(const u8* v, u4 item) { return (v[item >> 6] & ABIT_llshr[item & 63]) != 0; }
inline void df_vset(u8* v, u4 item) { v[item >> 6] |= ABIT_llshr[item & 63]; }
inline void df_vclear(u8* v, u4 item) { v[item >> 6] &= ~ABIT_llshr[item & 63]; }

// ---- df_varref.cpp: the reference-list form ---------------------------------------
int Alloc_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets, u4 nblocks,
                     dataflow_pass_descriptor* d);
int Arg_Alloc_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                         u4 nblocks, dataflow_pass_descriptor* d, s4 n);
int Init_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                    dataflow_pass_descriptor*);
int Iter_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                    dataflow_pass_descriptor*);
int Final_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                     dataflow_pass_descriptor*);
void Free_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                     dataflow_pass_descriptor*);
int Dummy_Final_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                           dataflow_pass_descriptor*);
int DFS_Iter_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                        dataflow_pass_descriptor*);
int RDFS_Iter_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int Fwd_Visit_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int Bwd_Visit_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
int Recv_Init_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                         dataflow_pass_descriptor*);
void ADD_VARREF(method_compile_context* m, dataflow_pass_context* pc, varref_list** heads, u4 item, u4 block,
                u4 index);
void DUP_VARREF0(method_compile_context* m, dataflow_pass_context* pc, varref_list** dst, varref_list** src,
                 u4 item);
void DUP_VARREF(method_compile_context* m, dataflow_pass_context* pc, varref_list** dst, varref_list** src,
                s4 n);
int MERGE_VARREF0(method_compile_context* m, dataflow_pass_context* pc, varref_list** dst, varref_list** src,
                  u4 item);
int MERGE_VARREF(method_compile_context* m, dataflow_pass_context* pc, varref_list** dst, varref_list** src,
                 s4 n);
int SAME_VARREF0(const varref_list* a, const varref_list* b);
int SAME_VARREF(varref_list* const* a, varref_list* const* b, s4 n);
int SAME_CHAIN(u4 a, u4 b, int kind_a, int kind_b);
void Dump_DataFlow0_R(const varref_list* list);
void Dump_DataFlow_R(method_compile_context*, dataflow_pass_context*, dataflow_block_sets*, u4,
                     dataflow_pass_descriptor*);

// ---- df_dfs.cpp: the DFS list ------------------------------------------------------
int dfs_search(method_compile_context* m, u4 start, u4* visited, u4* next_free, u4* frames);
int dfs_choose_next_successor(method_compile_context* m, u4 block, const u4* visited, u4* position, u4* phase);
int generate_dfs_list_traditional(method_compile_context* m);
int generate_dfs_list(method_compile_context* m);
int regenerate_dfs_list(method_compile_context* m);
constexpr u1 SUBR_MAIN_FLOW = 0x4;      // subroutine record: its entry lies on the main flow

// ---- df_flowgraph.cpp: flow-graph and loop-table utilities ------------------------
void relink_terminal_link(method_compile_context* m, bbattr* terminal, u4 index);
void relink_loop_pre_entry_links(loop_table_record* loop, bbattr* header, u4 new_value, u4 old_value);
int add_a_loop_pre_entry_link(method_compile_context* m, loop_table_record* loop, bbattr* header, u4 value);
void delete_a_loop_pre_entry_link(loop_table_record* loop, bbattr* header, u4 value);
void detect_loops_within_rare_path(method_compile_context* m);
s4 search_outer_invalid_loop_id(method_compile_context* m, u4 block);
void table_expansion(method_compile_context* m, u4 extra_blocks, u4 extra_entry_successors, u4 extra_loops,
                     u4 extra_terminal_links, u4 extra_subroutines, int grow_loop_bodies, int* out_flag);
void invalidate_a_loop(loop_table_record* loop);
void sort_and_renumber_loops(method_compile_context* m);
void update_maxstack_and_nlocals(method_compile_context* m, void* ignored);
void update_loop_body_extremes(loopattribute* body, bbattr* block);
void update_loop_entry_block(loopattribute* body, bbattr* block);
void remove_bb_from_loop_body(loopattribute* body, bbattr* block);
void delete_bb_from_loop_bb_table(loop_table_record* loop, bbattr* block);
void delete_loop_from_loop_table(method_compile_context* m, s4* loop_id);
void delete_bb_from_loop_exit_table(loop_table_record* loop, bbattr* block);
int eliminate_unreachable_bb_from_loop_table(method_compile_context* m);
void remove_nop(method_compile_context* m);
// The local base and stack base of the method body a block comes from (0 for
// the method's own blocks; the inliner sets them for the blocks of an
// expanded body): the low and high half of the block's word at offset 104.
inline int16_t bb_local_base(const bbattr* b) { return static_cast<int16_t>(b->word_104 & 0xFFFF); }
inline int16_t bb_stack_base(const bbattr* b) { return static_cast<int16_t>(b->word_104 >> 16); }
// A block's register-constraint mask word (filled by the constraint
// back-propagation, cleared by the quadruple driver before it) and its two
// local-variable attribute words (the register manager's per-block list).
inline u4& bb_constraint_word(bbattr* b) { return b->later_108[13]; }
inline u4& bb_lvattr_list(bbattr* b) { return b->later_52; }
inline u4& bb_lvattr_count(bbattr* b) { return b->later_56; }
inline loop_table_record* mcc_loop(method_compile_context* m, u4 index)
{
    return static_cast<loop_table_record*>(m->loop_table[index]);
}

// ---- df_const_table.cpp: the constant tables ----------------------------------------
void Initialize_const_table(method_compile_context* m);
const u4* SearchConstTable(method_compile_context* m, const_table* table, s4 kind, const u4* words);
const u4* AddConstTable(method_compile_context* m, const_table* table, s4 kind, const u4* words);
u4 const_table_hash(s4 kind, const u4* words);
void add_class_constants_to_const_table(method_compile_context* m, const_table* table, classblock* cb);
// The first (constant-pool) and second (folded-constant) tables of a context.
inline const_table* mcc_pool_constants(method_compile_context* m) { return &mcc_const_tables(m)[0]; }
inline const_table* mcc_folded_constants(method_compile_context* m) { return &mcc_const_tables(m)[1]; }

// ---- df_delayidx.cpp: call marking and delayed indexing ------------------------------
int dataflow_Q_spoptimize(method_compile_context* m);
int dataflow_Q_delayed_index(method_compile_context* m);

// ---- df_syncopt.cpp: synchronization optimization --------------------------------
// Removes monitor regions nested in a region on the same object and, on a
// uniprocessor, takes monitors out of simple loops (df_synchoist.cpp).
// Records in df_syncopt.h.  0, or 1 when work memory answers 0.
int dataflow_Q_syncopt(method_compile_context* m, dataflow_pass_context* pc);

// ---- df_constraint.cpp: register constraint back-propagation ------------------------
// Colour bytes: bits 0-6 registers in the register manager's numbering, bit 7
// "fixed".  The pass leaves each quadruple's hint byte (byte81) and each local
// operand's preferred-register bytes, and a join block's entry colours on its
// constraint word.
int dataflow_Q_constraint_back_propa(method_compile_context* m, dataflow_pass_context* pc);
bool quad_reads_local(u4 n, const quadruple* q);
u1 collect_fixed_colors(method_compile_context* m, const u1* colors);
void kill_colors(method_compile_context* m, u1 mask, u1* busy, u1* colors);
void clear_quad_color_constraints(method_compile_context* m);

// ---- df_bcarraycheck.cpp: array bound checks over bytecode (DISABLE_ARRAYCHECK) ---------
// Needs the null check's index-local and array-local vectors (bit i%32 of word
// i/32 is local i); marks proven accesses with QS_NO_BOUNDCHECK.  0 after a
// full run or when switched off, 1 when it stopped early.
int dataflow_arraycheck(method_compile_context* m, dataflow_pass_context* pc);

// ---- dataflow_pending.cpp: passes of other Parts still to come ------------------------
// (weak: each gate and "did nothing" result as its own Part specifies)
int mi2_driver(method_compile_context* m);
void set_compile_status_for_method_inlining(method_compile_context* m);
int cha_opt(method_compile_context* m);
int propagate_non_rare_path_with_dfs_search(method_compile_context* m);
int dataflow_classflow(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_nullcheck(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_privatize(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_typeflow(method_compile_context* m, dataflow_pass_context* pc);
void Initialize_lvar_characteristics(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_Q_deadstore(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_Q_eliminate_explicit_nullcheck(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_Q_nullcheck(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_Q_arraycheck(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_Q_commoning(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_Q_movecopy(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_Q_reachdef(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_Q_UD_DU(method_compile_context* m, dataflow_pass_context* pc);
int TransformForArchitecture(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_Q_nullexception_propa(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_Q_livevar(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_athrow(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_Q_meantime(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_Q_spoptimize(method_compile_context* m);
int dataflow_Q_calldom(method_compile_context* m, dataflow_pass_context* pc);
int dataflow_Q_delayed_index(method_compile_context* m);
int dataflow_Q_constraint_back_propa(method_compile_context* m, dataflow_pass_context* pc);
int coloring_driver(method_compile_context* m, dataflow_pass_context* pc);
int add_and_allocate_color(method_compile_context* m);
int allocate_lvattr_tbl(method_compile_context* m, void* record);
// Reads a DISABLE_* switch once per process: -1 until read, then the value
// (unset counts as 0).
int df_env_switch(s4* holder, const char* name);


// ---- df_typeflow.cpp, df_tfrewrite.cpp: type flow over bytecode ------------------------
// (dataflow_typeflow, declared with the pass entries above; its records in df_typeflow.h)

// ---- df_treedel.cpp: expression-tree deletion over bytecode ------------------------------
// 1 when the stack-form quadruple at (block, index) and the operand trees
// that compute it in its block can all go (with `perform`, they become
// no-operations); 0, and nothing changed, otherwise.
int Delete_BytecodeTree(method_compile_context* m, u4 block, u4 index, int perform);

// ---- df_bcdeadstore.cpp: dead stores over bytecode ------------------------------------------
// Not run by the drivers.  0, or 1 when work memory yields nothing.
int dataflow_deadstore(method_compile_context* m, dataflow_pass_context* pc);
// The store, increment or pop at (block, index): 1 dead (deleted with its
// operand tree), 0 live, 2 not examined or not dead, 3 no memory; *stop: the
// slot where the operand search stopped.
int bytecode_dead_store(method_compile_context* m, u4 block, u4 index, s4* stop);
// 1 when loop `loop_no` is a counted loop that may be deleted.
int CheckDeleteLoop(method_compile_context* m, u4 loop_no, dataflow_pass_context* pc);
// Sends the loop's way in to its exit; 1 when it did.
int DeleteLoop(method_compile_context* m, u4 loop_no);

// ---- df_deadstore.cpp: dead stores over the quadruples ----------------------------------
// (dataflow_Q_deadstore, declared with the pass entries above)

// ---- df_udchain.cpp: the use-def chain pass --------------------------------------------
// (dataflow_Q_UD_DU, declared with the pass entries above)

// ---- df_deadloop.cpp: dead counted loops ------------------------------------------------
// 1 when loop `loop_no` (its level record `entry`) is a counted loop that may
// be removed once nothing it computes is needed.
int CheckDeleteLoopQuad(method_compile_context* m, u4 loop_no, u4 entry);
// Sends the loop's entry edge to its exit; 1 when it did.
int remove_counted_loop(method_compile_context* m, u4 loop_no, u4 entry);

// ---- df_arraycopy.cpp: inlined array copies ---------------------------------------------
// Turns the static call of System.arraycopy in *slot, with its five argument
// copies right in front of it, into an array-copy quadruple when the chains
// show both arrays to have the same element type; else leaves it.
void inline_system_arraycopy(method_compile_context* m, bbattr* block, quadruple** slot);
// The array type text ("[I", "[Ljava/lang/String;") of the value the
// quadruple in *def_slot makes, or null; *exact: a fresh allocation of
// exactly that type; *first_use: ... and *use_slot is the first to read it.
const char* type_of_array_value(method_compile_context* m, bbattr* def_block, quadruple** def_slot,
                                bbattr* use_block, quadruple** use_slot, int* exact, int* first_use);
// Per parameter slot of the method, a pointer to its type in the signature
// (null for the receiver and for slots the signature lacks), and one more
// after the last; the type of slot n runs from entry n to entry n + 1.
// Returns the slot count (the map has one entry more).
u4 build_parameter_slot_map(method_compile_context* m, const char*** out_map);
// Sets the no-overlap word of an array-copy quadruple when the chains prove it.
void classify_arraycopy_overlap(method_compile_context* m, bbattr* block, quadruple** slot);
// Marks the positions and the length that are non-negative constants.
void flag_arraycopy_constants(method_compile_context* m, bbattr* block, quadruple** slot);

// ---- df_qhelpers.cpp: routines shared by the quadruple passes -------------------------
// The block order of the quadruple passes, built once and cached in the pass
// context until its owner drops it.
void CreateDFSforDFQuadruple(method_compile_context* m, dataflow_pass_context* pc, u4* count, u4** order);
// Turns quadruple (block, index) into a deleted no-operation and, while the
// chains are fresh, takes it out of them.
void ChangeNOP(method_compile_context* m, s4 block, s4 index);
// Opens `before` no-operation slots in front of the quadruple at `position`
// and `after` behind it; `*shift` = before.  0 when work memory yields nothing.
u4 InsertNOP_codeattr(method_compile_context* m, u4 block, u4 position, u4 before, u4 after, u4* shift);
quadruple** SkipNopForward(quadruple** from, quadruple** last);
quadruple** SkipNopBackward(quadruple** from, quadruple** first);
int IsLiteralRangeArchitecture(quadruple** slot, s4 value, int position);

// ---- df_calcop.cpp: constant evaluation of operators ------------------------------------
// Operator codes of arithmetic quadruples (two-operand 1..43, one-operand 19..42).
constexpr s4 DF_OP_ADD = 1, DF_OP_SUB = 2, DF_OP_MUL = 3, DF_OP_AND = 4, DF_OP_OR = 5, DF_OP_XOR = 6,
             DF_OP_MAX = 7, DF_OP_MIN = 8, DF_OP_DIV = 12, DF_OP_REM = 13, DF_OP_SHL = 14, DF_OP_SHR = 15,
             DF_OP_USHR = 16, DF_OP_ROTL = 17, DF_OP_ROTR = 18, DF_OP_SHL2 = 43;
constexpr s4 DF_OP_NEG = 19, DF_OP_2B = 20, DF_OP_2C = 21, DF_OP_2S = 22, DF_OP_ABS = 23, DF_OP_NOT = 24,
             DF_OP_SIN = 25, DF_OP_COS = 26, DF_OP_2Z = 40, DF_OP_NOT2 = 42;
// 1 with *result stored, or 0 (refused; nothing stored).
int df_calc_op2(u4 context, s4 code, s4 a, s4 b, s4* result);
int df_calc_op1(u4 context, s4 code, s4 a, s4* result);

// ---- df_copypropa.cpp: forward copy propagation and its between-block phases ------------
int dataflow_Q_copypropa(method_compile_context* m, dataflow_pass_context* pc, int first_run);
int CopyPropa_Local_Q(method_compile_context* m, copypropa_work* w);
int CopyPropa_Iter_B(method_compile_context* m, copypropa_work* w);
int CopyPropa_Iter_V(method_compile_context* m, copypropa_work* w);
void CopyPropa_Final_B(method_compile_context* m, copypropa_work* w);
void CopyPropa_Final_V(method_compile_context* m, copypropa_work* w);
// May the destination of q be renamed to another local?  Not for a jsr, the
// exception object of a handler, an incoming argument or an entry copy: their
// destinations are tied to what the code generator and the run time set up.
bool df_retargetable(const quadruple* q);

// ---- df_bwdcopy.cpp: backward copy propagation ----------------------------------------------
int dataflow_Q_bwd_copypropa(method_compile_context* m, dataflow_pass_context* pc);
int BwdCopyPropa_Q(method_compile_context* m, copypropa_work* w);

// ---- df_calcconst.cpp: constant folding and constant branches --------------------------------
// Operand values are (kind, value) pairs of the CPV_* kinds (df_records.h).
int df_calc_const_disabled();
void df_calc_const_quad(method_compile_context* m, dataflow_pass_context* pc, u4 block, quadruple** slot, s4 k1,
                        u4 v1, s4 k2, u4 v2);
void df_calc_select(method_compile_context* m, dataflow_pass_context* pc, u4 block, quadruple** slot);
int df_decide_const_branch(method_compile_context* m, u4 block, quadruple** slot, const s4* first,
                           const s4* second);
int df_calc_op2_const1(method_compile_context* m, s4 op, int* identity, const s4* c1, const s4* c2, s4* result);
// Typed evaluators: 1 with *result stored, or 0 (refused).
int df_calc_long_op2(s4 op, int64_t a, int64_t b, int64_t* result);
int df_calc_long_shift(s4 op, int64_t a, s4 count, int64_t* result);
int df_calc_long_op1(s4 op, int64_t a, int64_t* result);
int df_calc_float_op2(s4 op, float a, float b, float* result);
int df_calc_float_op1(s4 op, float a, float* result);
int df_calc_double_op2(s4 op, double a, double b, double* result);
int df_calc_double_op1(s4 op, double a, double* result);

// ---- df_qedit.cpp: quadruple and block editing ------------------------------------------
void DecrementBackward(method_compile_context* m, u4 pred, u4 block);
void DecrementAllForward(method_compile_context* m, u4 block);
void remove_unreachable_bb(method_compile_context* m, u4 block);
void update_loops_for_lost_entry(method_compile_context* m, u4 pred, u4 block);
void ClearRarePath(method_compile_context* m, u4 block);
void Delete_Load(method_compile_context* m, u4 block, u4 index, int make_nop);
void Delete_IINC(method_compile_context* m, u4 block, u4 index, int make_nop);
// The exception-table entries of this compile: the compile's own block-level
// table when the front end built it (editing it never touches the VM's
// method block), else the method block's count.
u4 df_exception_entries(const method_compile_context* m);

// ---- df_reachdef.cpp: reaching definitions and the use-def / def-use chains ------------
int dataflow_Q_reachdef(method_compile_context* m, dataflow_pass_context* pc);
int ReachDef_Q_Init_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                               u4 nblocks, dataflow_pass_descriptor* d);
int ReachDef_Q_Fwd_Visit_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc,
                                    dataflow_block_sets* sets, u4 block, dataflow_pass_descriptor* d);
int ReachDef_Q_Final_DataFlow_R(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                                u4 nblocks, dataflow_pass_descriptor* d);
u4 count_parameter_words(method_compile_context* m);
void add_chain_ref(method_compile_context* m, dataflow_pass_context* pc, u4 block, u4 index, quad_ref use);
void add_use_to_def_chains(method_compile_context* m, dataflow_pass_context* pc, const varref_list* defs,
                           u4 block, u4 index);
void clear_quad_chains(method_compile_context* m);
// Pseudo definitions (block 0): a parameter at entry, any variable at a
// handler's entry, any variable after a jsr.
constexpr u4 QREF_PARAMETER = 0xFFFF, QREF_HANDLER = 0xFFFD, QREF_JSR = 0xFFFC;

// ---- df_livevar.cpp: live variables ----------------------------------------------------
int dataflow_Q_livevar(method_compile_context* m, dataflow_pass_context* pc);
int compute_handler_live_sets(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                              u4 nblocks, dataflow_pass_descriptor* d);
// The block's largest count of live variables at one point (liveness), and
// the block's call-dominance IN and OUT (pointers to word arrays).
inline u4& bb_live_max(bbattr* b) { return b->later_108[12]; }
inline u4& bb_calldom_in(bbattr* b) { return b->later_108[10]; }
inline u4& bb_calldom_out(bbattr* b) { return b->later_108[11]; }
// Block sets as the register manager reads them: at most 64 variables
// (locals + 3) in place, low word first; more: word 0 points to the array.
inline u4* df_bb_live_in(bbattr* b) { return &b->later_108[5]; }
inline u4* df_bb_live_out(bbattr* b) { return &b->later_108[7]; }
// The handler-used set the register manager reads (same form).
inline u4* df_mcc_handler_set(method_compile_context* m) { return &m->regman_words[0]; }
// Method counters of the liveness run: call quadruples (opcodes 53..59) and
// those of sub-kind 10 or 11.
inline u4& mcc_call_quads(method_compile_context* m) { return m->three_words[0]; }
inline u4& mcc_call_quads_10_11(method_compile_context* m) { return m->three_words[1]; }
// The last-use table (per local, per block: nodes of quadruple indexes), in
// the context's live-information word.
inline u4& mcc_last_use_table(method_compile_context* m) { return m->pass_word; }
constexpr u4 MBC_MAY_RAISE = 0x01000000;    // a quadruple of the method may raise
struct df_last_use {
    u2 tag;                     // 0xFFFF
    u2 index;                   // quadruple index in the block
    df_last_use* next;
};
static_assert(sizeof(df_last_use) == 8);
static_assert(offsetof(df_last_use, index) == 2);
static_assert(offsetof(df_last_use, next) == 4);

// ---- df_calldom.cpp: call dominance ---------------------------------------------------
int dataflow_Q_calldom(method_compile_context* m, dataflow_pass_context* pc);

// ---- df_athrow.cpp: exit paths ---------------------------------------------------------
int dataflow_athrow(method_compile_context* m, dataflow_pass_context* pc);
constexpr u4 BB2_EXITS_BY_THROW = 0x1;      // every path to the exit ends in an athrow
constexpr u4 BB2_EXITS_PAST_CALL = 0x2;     // every path to the exit passes a call

// ---- df_meantime.cpp: meantime distances -----------------------------------------------
int dataflow_Q_meantime(method_compile_context* m, dataflow_pass_context* pc);
int Meantime_Q_Init_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                               u4 nblocks, dataflow_pass_descriptor* d);
int Meantime_Q_Bwd_Visit_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc,
                                    dataflow_block_sets* sets, u4 block, dataflow_pass_descriptor* d);
int Meantime_Q_Final_DataFlow_I(method_compile_context* m, dataflow_pass_context* pc, dataflow_block_sets* sets,
                                u4 nblocks, dataflow_pass_descriptor* d);
// Up to four register-candidate locals whose next occurrence after a call is
// nearest (hung on the call quadruple's auxiliary operand word).
struct meantime_call_candidates {
    u2* locals;
    u2* locals2;                // always null
    u1 count;
    u1 count2;                  // always 0
    u2 pad;
};
static_assert(sizeof(meantime_call_candidates) == 12);
static_assert(offsetof(meantime_call_candidates, locals2) == 4);
static_assert(offsetof(meantime_call_candidates, count) == 8);
static_assert(offsetof(meantime_call_candidates, count2) == 9);
// (quad_call_candidates / quad_set_call_candidates: df_operand.h)
inline int16_t* df_bb_distance(const bbattr* b) { return reinterpret_cast<int16_t*>(b->later_108[9]); }

// ---- df_lvarchar.cpp: local-variable characteristics ------------------------------------
void Initialize_lvar_characteristics(method_compile_context* m, dataflow_pass_context* pc);
void Initialize_lvar_orig_bytecode(method_compile_context* m, dataflow_pass_context* pc);
void Initialize_short_lifetime_lvar(method_compile_context* m, dataflow_pass_context* pc);
inline bool df_local_in_set(u4 count, const u4* set, u4 local)
{
    return set != nullptr && local < count && (set[local >> 5] >> (local & 31) & 1) != 0;
}

// ---- df_arch.cpp: transformation for the target architecture ------------------------------
int TransformForArchitecture(method_compile_context* m, dataflow_pass_context* pc);
// Signed power-of-two terms whose sum is the multiplier modulo 2^32; the
// number of terms (at most 32).
int decompose_multiplier(u1* shifts, int8_t* signs, u4 multiplier);
void SetQuadrupleWorking(quadruple** slot);

#endif // ORVA_DATAFLOW_DATAFLOW_H
