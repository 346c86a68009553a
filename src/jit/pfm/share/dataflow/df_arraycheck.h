// Records of the array bound-check elimination over quadruples
// (df_arraycheck.cpp): the event of one relevant quadruple, the fact sets
// with their offset ranges, and the fact rules, which the tests drive
// directly.
#ifndef ORVA_DATAFLOW_DF_ARRAYCHECK_H
#define ORVA_DATAFLOW_DF_ARRAYCHECK_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"
#include "frontend/quad.h"
#include "dataflow/df_records.h"

struct method_compile_context;
struct dataflow_pass_context;

namespace arraycheck {

// Event kinds (low four bits of `kind`) and marks.
constexpr u2 EV_CHECK = 0;          // a bound check tied to an array: gives the pair or the constant
constexpr u2 EV_KILL = 1;           // a definition of a variable
constexpr u2 EV_KILL_ALL = 2;       // jsr: every fact dies
constexpr u2 EV_INCREMENT = 3;      // x = x + d; d in `low`
constexpr u2 EV_BARRIER = 4;        // side effect or possible raise: no check moves across it
constexpr u2 EV_MIDPOINT = 5;       // x = (y + z) / 2; y and z in `low` and `high`
constexpr u2 EV_DONE = 6;           // a deleted check
constexpr u2 EV_GENERATE = 7;       // a fact proven without a check (new array, remainder)
constexpr u2 EV_KIND_MASK = 0x000F;
constexpr u2 EVK_CONSTANT = 0x8000; // the index is the constant in `index`
constexpr u4 NO_EVENTS = 0xFFFFFFFFu;

struct event {
    u2 position;        // the block's position in the visit order
    u2 block;
    u2 kind;
    u2 index;           // index variable, or the constant index
    u2 array;           // array variable
    int8_t low;         // offset range of the check; an increment's constant
    int8_t high;
    u4 quad_index;      // the quadruple's slot in its block
    quadruple* quad;
};
static_assert(sizeof(event) == 20);
static_assert(offsetof(event, position) == 0);
static_assert(offsetof(event, block) == 2);
static_assert(offsetof(event, kind) == 4);
static_assert(offsetof(event, index) == 6);
static_assert(offsetof(event, array) == 8);
static_assert(offsetof(event, low) == 10);
static_assert(offsetof(event, high) == 11);
static_assert(offsetof(event, quad_index) == 12);
static_assert(offsetof(event, quad) == 16);

// Sub-code bits read on an int two-operand operation.
constexpr u2 QS_FIRST_NONNEGATIVE = 0x0020;   // the first operand is known non-negative
constexpr u2 QS_VALUE_RANGE = 0x8000;         // carries a value range (low bound in `target`)

constexpr s4 OFFSET_MIN = -128, OFFSET_MAX = 127;

// Facts at one point: per index a 64-bit set over the array numbers (item a
// is ABIT_llshr[a]) with a [low, high] range per pair, and per array the
// largest constant index known inside it (-1 none).
struct facts {
    u8* pairs;
    s4* cmax;
    int8_t* low;        // [index * narray + array]
    int8_t* high;
    u4 nindex;
    u4 narray;
};

u4 facts_bytes(u4 nindex, u4 narray);
void facts_bind(facts* f, u1* storage, u4 nindex, u4 narray);
void facts_clear(facts* f);
void facts_top(facts* f);
void facts_copy(facts* dst, const facts* src);
bool facts_equal(const facts* a, const facts* b);
bool facts_has(const facts* f, u4 i, u4 a, s4* low, s4* high);
// Pair (i, a) with [low, high]; the array's constant rises to high - low.
void facts_put(facts* f, u4 i, u4 a, s4 low, s4 high);
void facts_drop(facts* f, u4 i, u4 a);
void facts_kill_array(facts* f, u4 a);
void facts_kill_all(facts* f);
void facts_shift(facts* f, u4 i, s4 d);
void facts_meet(facts* dst, const facts* src);
bool offset_fits(s4 v);

// The offsets of a range check (0 for a plain check) and their setter,
// which turns the check into a plain one when both are 0.
s4 check_low(const quadruple* q);
s4 check_high(const quadruple* q);
void set_check_range(quadruple* q, s4 low, s4 high);

// What one run did.
struct counters {
    u4 checks;          // checks tied to an array
    u4 deleted;
    u4 widened;
    u4 trimmed;
    u4 hoisted;         // checks placed at the end of a branching block
};

struct pass_graph {
    method_compile_context* m;
    u4* npred;
    u4** pred;
};
bool build_predecessors(method_compile_context* m, pass_graph* g);

// The pass without its gates; adds what it did to `out` when given.
void arraycheck_run(method_compile_context* m, dataflow_pass_context* pc, counters* out);

} // namespace arraycheck

#endif // ORVA_DATAFLOW_DF_ARRAYCHECK_H
