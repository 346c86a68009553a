// Array bound-check elimination over quadruples (`dataflow_Q_arraycheck`).
//
// Works on the bound checks the stack pass put in front of array accesses
// (OPC_SIZECHECK: one index; OPC_SIZECHECK_RANGE: index + low .. index +
// high, signed 8-bit offsets) whose length operand is the result of the
// array-length load right before them, so that the check is tied to an array
// variable.  An operand that is a copy of a variable, that variable plus a
// constant, or a constant, made earlier in the block (none of them written
// since), is read as what it copies: the stack temporaries of a[i + 1] read
// as i + 1 on the array local a.  A fact (i, a, [L, H]) says that i + k lies inside array a for
// every k in [L, H], for the current values of i and a; a constant fact
// (a, c) says that a's length exceeds c.  Facts are killed by a definition of
// i or a, shifted by i = i +/- d, and met at joins by intersecting the
// ranges.  A range is convex (both ends inside [0, length) puts everything
// between inside too), so two facts of a pair may be merged into their hull.
//
// Steps:
//  1. event collection: one event per check, definition, increment,
//     barrier (a quadruple with a side effect or one that may raise) and
//     jsr, in block visit order;
//  2. backward walk per block: an earlier check is widened to cover the
//     later checks of its pair that nothing between kills or bars (a[i],
//     a[i + 1], a[i + 2] become one range check 0..2 at the first access);
//  3. availability across blocks: an iterative forward solution of the
//     facts at each block's exit;
//  4. rewrite walk: from each block's entry facts, a check that is covered
//     is deleted, one covered at one end is trimmed to the rest.
// Checks are not moved into earlier blocks: only checks that run on every
// path make facts.  A block the interpreter may enter (a transfer point), a
// handler and the method's entry start with no facts.
//
// Mended faults of the rules as first drawn up, each needed for soundness:
//  - every block is scanned for definitions and increments, not only the
//    blocks that hold a check: a block that only writes i or a must kill;
//  - ranges are kept for every index, so an increment always shifts the
//    facts of its index (a fact kept as 0..0 across i = i + 1 is false);
//  - offsets are exact: a sum that leaves -128..127 drops the fact (or is
//    cut to the part that still fits, where a smaller range stays true),
//    never clamped onto a range that was not checked;
//  - a check of t, where t = x + c, is read as a check of x + c only while
//    neither t nor x has been written since that addition;
//  - i % n gives (x, a) only when n is the length of a just loaded and i is
//    known non-negative;
//  - x = (y + z) / 2 gives (x, a) only when the ranges of y and z both hold
//    0 (y and z themselves are inside a) and the sum cannot wrap: the
//    unsigned shift always, a signed halving only when the addition carries
//    a non-negative value range;
//  - a constant check on a negative index is never covered;
//  - a range check with a constant index past 65535 is left alone.
//
// Results: deleted checks (no-operations, pass flag DFP_DEADSTORE_WANTED so
// that dead stores remove their length loads), checks widened into range
// checks or moved onto the base index (use-def chains marked stale).
#include <string.h>

#include "driver/driver.h"
#include "driver/options.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "dataflow/df_arraycheck.h"

namespace {

using namespace arraycheck;

constexpr u2 NO_NUMBER = 0xFFFF;
constexpr s4 NO_CONSTANT = -1;
constexpr s4 TOP_CONSTANT = 0x7FFFFFFF;
constexpr u1 KB_INT_LOCAL = static_cast<u1>(QK_VARIABLE | QT_INT << QT_SHIFT);
constexpr u4 ADD_WINDOW = 32;              // additions t = x + c remembered per block
constexpr u4 RECORD_LIMIT = 0x200000;      // bytes of per-block facts before the pass goes local
constexpr u4 EVENT_LIMIT = 0x40000;        // bytes of the first event list

bool is_local(const quad_operand& o) { return (o.kind & QK_KIND_MASK) == QK_VARIABLE; }
bool is_int_local(const quad_operand& o) { return o.kind == KB_INT_LOCAL; }

// A small constant operand (kinds 3 and 4).
bool small_constant(const quad_operand& o, s4* v)
{
    switch (o.kind & QK_KIND_MASK) {
    case QK_IMMEDIATE: *v = o.number; return true;
    case QK_NEG_IMMEDIATE: *v = -static_cast<s4>(o.number); return true;
    default: return false;
    }
}

bool is_check(const quadruple* q) { return q->opcode == OPC_SIZECHECK || q->opcode == OPC_SIZECHECK_RANGE; }

// A barrier: a quadruple other than a check that writes memory, calls out or
// may raise.  A check must not be moved across it (the exception would come
// first, or the side effect would be lost).
bool is_barrier(const quadruple* q)
{
    if (is_check(q))
        return false;
    return (opc_info_quadruple[q->opcode] & OPA_SIDE_EFFECT) || df_exception_class(q) != DF_CANNOT_RAISE;
}

quadruple* previous_quad(bbattr* bb, u4 k)
{
    if (k == 0)
        return nullptr;
    quadruple** p = SkipNopBackward(&bb->catbl[k - 1], &bb->catbl[0]);
    return p != nullptr ? *p : nullptr;
}

} // namespace

namespace arraycheck {

// ---- range-check quadruple -----------------------------------------------------------

s4 check_low(const quadruple* q) { return q->opcode == OPC_SIZECHECK_RANGE ? quad_range_low(q) : 0; }
s4 check_high(const quadruple* q) { return q->opcode == OPC_SIZECHECK_RANGE ? quad_range_high(q) : 0; }
void set_check_range(quadruple* q, s4 low, s4 high)
{
    q->opcode = low == 0 && high == 0 ? OPC_SIZECHECK : OPC_SIZECHECK_RANGE;
    quad_set_range(q, low, high);
}

// ---- facts ------------------------------------------------------------------------------

bool offset_fits(s4 v) { return v >= OFFSET_MIN && v <= OFFSET_MAX; }

u4 facts_bytes(u4 nindex, u4 narray) { return nindex * 8 + narray * 4 + 2 * nindex * narray; }

void facts_bind(facts* f, u1* storage, u4 nindex, u4 narray)
{
    f->pairs = reinterpret_cast<u8*>(storage);
    f->cmax = reinterpret_cast<s4*>(storage + nindex * 8);
    f->low = reinterpret_cast<int8_t*>(storage + nindex * 8 + narray * 4);
    f->high = f->low + nindex * narray;
    f->nindex = nindex;
    f->narray = narray;
}

void facts_clear(facts* f)
{
    memset(f->pairs, 0, f->nindex * 8);
    for (u4 a = 0; a < f->narray; a++)
        f->cmax[a] = NO_CONSTANT;
    memset(f->low, 0, 2 * f->nindex * f->narray);
}

void facts_top(facts* f)
{
    u8 all = f->narray == 64 ? ~0ull : ~(~0ull >> f->narray);
    for (u4 i = 0; i < f->nindex; i++)
        f->pairs[i] = all;
    for (u4 a = 0; a < f->narray; a++)
        f->cmax[a] = TOP_CONSTANT;
    memset(f->low, static_cast<u1>(static_cast<int8_t>(OFFSET_MIN)), f->nindex * f->narray);
    memset(f->high, OFFSET_MAX, f->nindex * f->narray);
}

void facts_copy(facts* dst, const facts* src)
{
    memcpy(dst->pairs, src->pairs, facts_bytes(src->nindex, src->narray));
}

bool facts_equal(const facts* a, const facts* b)
{
    if (memcmp(a->pairs, b->pairs, a->nindex * 8 + a->narray * 4) != 0)
        return false;
    for (u4 i = 0; i < a->nindex; i++)
        for (u4 k = 0; k < a->narray; k++)
            if (df_test(a->pairs[i], k)) {
                u4 s = i * a->narray + k;
                if (a->low[s] != b->low[s] || a->high[s] != b->high[s])
                    return false;
            }
    return true;
}

bool facts_has(const facts* f, u4 i, u4 a, s4* low, s4* high)
{
    if (!df_test(f->pairs[i], a))
        return false;
    *low = f->low[i * f->narray + a];
    *high = f->high[i * f->narray + a];
    return true;
}

void facts_put(facts* f, u4 i, u4 a, s4 low, s4 high)
{
    f->pairs[i] |= ABIT_llshr[a];
    f->low[i * f->narray + a] = static_cast<int8_t>(low);
    f->high[i * f->narray + a] = static_cast<int8_t>(high);
    // Both ends inside: the length exceeds high - low.
    if (high - low > f->cmax[a])
        f->cmax[a] = high - low;
}

void facts_drop(facts* f, u4 i, u4 a) { f->pairs[i] &= ~ABIT_llshr[a]; }

void facts_kill_array(facts* f, u4 a)
{
    for (u4 i = 0; i < f->nindex; i++)
        f->pairs[i] &= ~ABIT_llshr[a];
    f->cmax[a] = NO_CONSTANT;
}

void facts_kill_all(facts* f)
{
    memset(f->pairs, 0, f->nindex * 8);
    for (u4 a = 0; a < f->narray; a++)
        f->cmax[a] = NO_CONSTANT;
}

// i became i + d: every fact of i moves by -d.  What leaves -128..127 is cut
// to the part that still fits (a part of a checked range stays checked);
// nothing left drops the fact.
void facts_shift(facts* f, u4 i, s4 d)
{
    for (u4 a = 0; a < f->narray; a++) {
        if (!df_test(f->pairs[i], a))
            continue;
        u4 s = i * f->narray + a;
        s4 low = f->low[s] - d, high = f->high[s] - d;
        if (low < OFFSET_MIN)
            low = OFFSET_MIN;
        if (high > OFFSET_MAX)
            high = OFFSET_MAX;
        if (low > high) {
            facts_drop(f, i, a);
            continue;
        }
        f->low[s] = static_cast<int8_t>(low);
        f->high[s] = static_cast<int8_t>(high);
    }
}

// dst = dst meet src: pairs in both, range the intersection (empty drops).
void facts_meet(facts* dst, const facts* src)
{
    for (u4 i = 0; i < dst->nindex; i++) {
        dst->pairs[i] &= src->pairs[i];
        for (u4 a = 0; a < dst->narray && dst->pairs[i] != 0; a++) {
            if (!df_test(dst->pairs[i], a))
                continue;
            u4 s = i * dst->narray + a;
            s4 low = dst->low[s] > src->low[s] ? dst->low[s] : src->low[s];
            s4 high = dst->high[s] < src->high[s] ? dst->high[s] : src->high[s];
            if (low > high) {
                facts_drop(dst, i, a);
                continue;
            }
            dst->low[s] = static_cast<int8_t>(low);
            dst->high[s] = static_cast<int8_t>(high);
        }
    }
    for (u4 a = 0; a < dst->narray; a++)
        if (src->cmax[a] < dst->cmax[a])
            dst->cmax[a] = src->cmax[a];
}

// ---- the pass ---------------------------------------------------------------------------

namespace {

struct add_entry {
    u2 t;          // t = x + c
    u2 x;
    s4 c;
};

struct pass {
    method_compile_context* m;
    dataflow_pass_context* pc;
    u4 order_count;
    u4* order;
    u4 nvars;
    int16_t* index_of;         // per variable: index number or -1
    int16_t* array_of;         // per variable: array number or -1
    u4 nindex;
    u4 narray;
    event* ev;
    u4 count;
    u4 capacity;
    u4* ev_first;              // per block: its events [first, end)
    u4* ev_end;
    u1* visited;               // per block: in the visit order
    add_entry adds[ADD_WINDOW];
    u4 nadds;
    counters* stats;
    bool operands_changed;
};

bool push(pass* p, u4 pos, u4 block, u2 kind, u2 index, u2 array, s4 low, s4 high, u4 k, quadruple* q)
{
    if (p->count == p->capacity) {
        u4 cap = p->capacity * 2;
        event* bigger = static_cast<event*>(jit_wmem_alloc(p->m->pool1, cap * sizeof(event)));
        if (bigger == nullptr)
            return false;
        memcpy(bigger, p->ev, p->count * sizeof(event));
        p->ev = bigger;
        p->capacity = cap;
    }
    event* e = &p->ev[p->count++];
    e->position = static_cast<u2>(pos);
    e->block = static_cast<u2>(block);
    e->kind = kind;
    e->index = index;
    e->array = array;
    e->low = static_cast<int8_t>(low);
    e->high = static_cast<int8_t>(high);
    e->quad_index = k;
    e->quad = q;
    return true;
}

bool last_is_barrier(const pass* p, u4 first)
{
    return p->count > first && (p->ev[p->count - 1].kind & EV_KIND_MASK) == EV_BARRIER;
}

// A write of v ends every remembered addition that defines v or reads it.
void forget_adds(pass* p, u2 v)
{
    u4 n = 0;
    for (u4 k = 0; k < p->nadds; k++)
        if (p->adds[k].t != v && p->adds[k].x != v)
            p->adds[n++] = p->adds[k];
    p->nadds = n;
}

const add_entry* find_add(const pass* p, u2 t)
{
    for (u4 k = p->nadds; k-- > 0;)
        if (p->adds[k].t == t)
            return &p->adds[k];
    return nullptr;
}

// A small constant operand, or an int variable that holds one.
bool known_constant(const pass* p, const quad_operand& o, s4* v)
{
    if (small_constant(o, v))
        return true;
    const add_entry* e = is_int_local(o) ? find_add(p, o.number) : nullptr;
    if (e == nullptr || e->x != NO_NUMBER)
        return false;
    *v = e->c;
    return true;
}

constexpr u1 KB_INT_IMMEDIATE = static_cast<u1>(QK_IMMEDIATE | QT_INT << QT_SHIFT);

// The check's index becomes the constant c (0 .. 65535).
void set_constant_index(pass* p, quadruple* q, s4 c)
{
    if (is_local(q->src1)) {
        p->operands_changed = true;
        p->m->state_flags |= MCC_REACHDEF_STALE;
    }
    q->src1.kind = KB_INT_IMMEDIATE;
    q->src1.flags = 0;
    q->src1.number = static_cast<u2>(c);
    q->src1.value = 0;
}

constexpr u1 KB_REF_LOCAL = static_cast<u1>(QK_VARIABLE | QT_REF << QT_SHIFT);

// t = x + c (c = 0 for a copy of an int or a reference; x = NO_NUMBER for a
// constant c), with x taken back through the additions and copies
// remembered before (read before q's own write, so that S = S + 1 still
// resolves), so that a check of a stack copy of i, or of i + 1 computed into
// a temporary, reads as a check of i itself, and one of a temporary holding
// 9 as a check of the constant 9.
bool addition_of(const pass* p, const quadruple* q, add_entry* out)
{
    s4 c;
    u2 x;
    if (q->opcode == OPC_ICONST && is_int_local(q->result) && small_constant(q->src1, &c)) {
        x = NO_NUMBER;
    } else if ((opc_info_quadruple[q->opcode] & OPA_COPY) && df_shape(q) == 1 && is_local(q->result)
               && q->result.kind == q->src1.kind
               && (q->result.kind == KB_INT_LOCAL || q->result.kind == KB_REF_LOCAL)) {
        x = q->src1.number;
        c = 0;
    } else if (q->opcode != OPC_IOP2 || (q->op != QOP_ADD && q->op != QOP_SUB) || !is_int_local(q->result)) {
        return false;
    } else if (is_int_local(q->src1) && known_constant(p, q->src2, &c)) {
        x = q->src1.number;
        c = q->op == QOP_ADD ? c : -c;
    } else if (q->op == QOP_ADD && known_constant(p, q->src1, &c) && is_int_local(q->src2)) {
        x = q->src2.number;
    } else {
        return false;
    }
    if (x != NO_NUMBER) {
        if (const add_entry* base = find_add(p, x)) {
            x = base->x;
            c += base->c;
        }
    }
    if (x == q->result.number || c < -0xFFFF || c > 0xFFFF)
        return false;
    *out = {q->result.number, x, c};
    return true;
}

void remember_add(pass* p, const add_entry& e)
{
    if (p->nadds == ADD_WINDOW) {
        memmove(&p->adds[0], &p->adds[1], (ADD_WINDOW - 1) * sizeof(add_entry));
        p->nadds--;
    }
    p->adds[p->nadds++] = e;
}

// x = x + d or x = x - d with |d| < 128: d, else 0.
s4 increment_of(const quadruple* q)
{
    if (q->opcode != OPC_IOP2 || (q->op != QOP_ADD && q->op != QOP_SUB) || !is_int_local(q->result))
        return 0;
    s4 c;
    if (is_int_local(q->src1) && q->src1.number == q->result.number && small_constant(q->src2, &c))
        c = q->op == QOP_ADD ? c : -c;
    else if (q->op == QOP_ADD && small_constant(q->src1, &c) && is_int_local(q->src2)
             && q->src2.number == q->result.number)
        ;
    else
        return 0;
    return c > -128 && c < 128 ? c : 0;
}

// x = (y + z) >>> 1, or / 2 and >> 1 when the sum is known non-negative.
bool midpoint_of(bbattr* bb, u4 k, const quadruple* q, u2* y, u2* z)
{
    if (q->opcode != OPC_IOP2 || !is_int_local(q->result) || !is_int_local(q->src1))
        return false;
    s4 c;
    if (!small_constant(q->src2, &c))
        return false;
    bool unsigned_half = q->op == QOP_USHR && c == 1;
    bool signed_half = (q->op == QOP_DIV && c == 2) || (q->op == QOP_SHR && c == 1);
    if (!unsigned_half && !signed_half)
        return false;
    const quadruple* s = previous_quad(bb, k);
    if (s == nullptr || s->opcode != OPC_IOP2 || s->op != QOP_ADD || !is_int_local(s->result)
        || s->result.number != q->src1.number || !is_int_local(s->src1) || !is_int_local(s->src2))
        return false;
    if (s->result.number == s->src1.number || s->result.number == s->src2.number)
        return false;
    // A signed halving of a wrapped sum is negative: only a sum known to be
    // non-negative (a carried range, low bound in the second word) is safe.
    if (signed_half && !((s->subcode & QS_VALUE_RANGE) && static_cast<s4>(s->target) >= 0))
        return false;
    if (s->src1.number >= 128 || s->src2.number >= 128)
        return false;
    *y = s->src1.number;
    *z = s->src2.number;
    return true;
}

// x = i % n, n the length of array a loaded just before, i known non-negative:
// x is inside a.  (A zero length raises before x is written.)
bool remainder_of(const pass* p, bbattr* bb, u4 k, const quadruple* q, u2* array)
{
    if (q->opcode != OPC_IOP2 || q->op != QOP_REM || !is_int_local(q->result) || !is_int_local(q->src2)
        || !is_int_local(q->src1) || !(q->subcode & QS_FIRST_NONNEGATIVE))
        return false;
    const quadruple* l = previous_quad(bb, k);
    if (l == nullptr || l->opcode != OPC_ARRAYLENGTH || !is_int_local(l->result) || !is_local(l->src1)
        || l->result.number != q->src2.number || l->src1.number == l->result.number)
        return false;
    u2 a = l->src1.number;
    if (const add_entry* copy = find_add(p, a); copy != nullptr && copy->c == 0 && copy->x != NO_NUMBER)
        a = copy->x;
    if (q->result.number == a || q->result.number == l->src1.number)
        return false;
    *array = a;
    return true;
}

// A new array of constant length n > 0: its length exceeds n - 1.
bool new_array_length(const pass* p, const quadruple* q, s4* n)
{
    if (q->opcode != OPC_NEWARRAY && q->opcode != OPC_ANEWARRAY && q->opcode != OPC_MULTIANEWARRAY)
        return false;
    if (q->opcode == OPC_MULTIANEWARRAY && df_shape(q) == QC_SRC_LIST)
        return false;
    if (!is_local(q->result))
        return false;
    s4 length = -1;
    if ((q->src1.kind & QK_KIND_MASK) == QK_IMMEDIATE)
        length = q->src1.number;
    else if (const add_entry* c = is_int_local(q->src1) ? find_add(p, q->src1.number) : nullptr; c && c->x == NO_NUMBER)
        length = c->c;
    if (length <= 0 || length > 0x10000)
        return false;
    *n = length;
    return true;
}

bool collect_definition(pass* p, u4 pos, u4 b, bbattr* bb, u4 k, quadruple* q)
{
    u2 v = q->result.number;
    s4 d = increment_of(q);
    u2 y, z, array;
    s4 n;
    bool ok;
    if (d != 0) {
        ok = push(p, pos, b, EV_INCREMENT, v, 0, d, 0, k, q);
    } else if (midpoint_of(bb, k, q, &y, &z)) {
        ok = push(p, pos, b, EV_MIDPOINT, v, 0, y, z, k, q);
    } else {
        ok = push(p, pos, b, EV_KILL, v, 0, 0, 0, k, q);
        if (ok && df_two_slot_type(q->result.kind >> QT_SHIFT & 0xF))
            ok = push(p, pos, b, EV_KILL, static_cast<u2>(v + 1), 0, 0, 0, k, q);
        if (ok && remainder_of(p, bb, k, q, &array))
            ok = push(p, pos, b, EV_GENERATE, v, array, 0, 0, k, q);
        else if (ok && new_array_length(p, q, &n))
            ok = push(p, pos, b, EV_GENERATE | EVK_CONSTANT, static_cast<u2>(n - 1), v, 0, 0, k, q);
    }
    forget_adds(p, v);
    if (df_two_slot_type(q->result.kind >> QT_SHIFT & 0xF))
        forget_adds(p, static_cast<u2>(v + 1));
    return ok;
}

bool collect_check(pass* p, u4 pos, u4 b, bbattr* bb, u4 k, quadruple* q, u4 first)
{
    const quadruple* l = previous_quad(bb, k);
    if (l == nullptr || l->opcode != OPC_ARRAYLENGTH || !is_int_local(l->result) || !is_local(l->src1)
        || !is_int_local(q->src2) || l->result.number != q->src2.number || l->src1.number == l->result.number)
        return true;                        // not tied to an array: left alone
    u2 array = l->src1.number;
    if (const add_entry* copy = find_add(p, array); copy != nullptr && copy->c == 0 && copy->x != NO_NUMBER)
        array = copy->x;
    s4 low = check_low(q), high = check_high(q);
    p->stats->checks++;
    const add_entry* add = is_int_local(q->src1) ? find_add(p, q->src1.number) : nullptr;
    bool constant_index = (q->src1.kind & QK_KIND_MASK) == QK_IMMEDIATE || (add != nullptr && add->x == NO_NUMBER);
    if (constant_index) {
        s4 c = (q->src1.kind & QK_KIND_MASK) == QK_IMMEDIATE ? q->src1.number : add->c;
        // The worse end decides; an index below zero always raises and is
        // left alone, as is one past what an immediate holds.
        if (c + low < 0 || c + high > 0xFFFF)
            return true;
        if (q->opcode == OPC_SIZECHECK_RANGE || (q->src1.kind & QK_KIND_MASK) != QK_IMMEDIATE) {
            set_constant_index(p, q, c + high);
            set_check_range(q, 0, 0);
        }
        c = q->src1.number;
        if ((bb->flags & BB_IN_TRY) && !last_is_barrier(p, first)
            && !push(p, pos, b, EV_BARRIER, 0, 0, 0, 0, k, q))
            return false;
        return push(p, pos, b, EV_CHECK | EVK_CONSTANT, static_cast<u2>(c), array, 0, 0, k, q);
    }
    if (!is_int_local(q->src1))
        return true;
    u2 index = q->src1.number;
    if (add != nullptr && offset_fits(add->c + low) && offset_fits(add->c + high)) {
        index = add->x;
        low += add->c;
        high += add->c;
    }
    if ((bb->flags & BB_IN_TRY) && !last_is_barrier(p, first) && !push(p, pos, b, EV_BARRIER, 0, 0, 0, 0, k, q))
        return false;
    return push(p, pos, b, EV_CHECK, index, array, low, high, k, q);
}

bool collect_events(pass* p)
{
    method_compile_context* m = p->m;
    for (u4 pos = 0; pos < p->order_count; pos++) {
        u4 b = p->order[pos];
        bbattr* bb = m->bb_table[b];
        if (bb == nullptr || (bb->flags & BB_DEAD) || p->visited[b])
            continue;
        p->visited[b] = 1;
        u4 first = p->count;
        p->ev_first[b] = first;
        p->nadds = 0;
        for (u4 k = 0; k < bb->quad_count; k++) {
            quadruple* q = bb->catbl[k];
            if (q == nullptr || df_deleted(q))
                continue;
            if (is_check(q)) {
                if (!collect_check(p, pos, b, bb, k, q, first))
                    return false;
                continue;
            }
            if (is_barrier(q) && !last_is_barrier(p, first) && !push(p, pos, b, EV_BARRIER, 0, 0, 0, 0, k, q))
                return false;
            if (q->opcode == OPC_JSR && !push(p, pos, b, EV_KILL_ALL, 0, 0, 0, 0, k, q))
                return false;
            add_entry add;
            bool is_add = addition_of(p, q, &add);
            if (is_local(q->result) && !collect_definition(p, pos, b, bb, k, q))
                return false;
            if (is_add)
                remember_add(p, add);
        }
        p->ev_end[b] = p->count;
    }
    return true;
}

// Index numbers for every checked variable, array numbers for the first 64
// arrays from the highest variable number down.
bool number_variables(pass* p)
{
    method_compile_context* m = p->m;
    u4 nvars = 0;
    for (u4 e = 0; e < p->count; e++) {
        const event& v = p->ev[e];
        u2 kind = v.kind & EV_KIND_MASK;
        if (kind == EV_CHECK || kind == EV_GENERATE) {
            if (!(v.kind & EVK_CONSTANT) && v.index + 1u > nvars)
                nvars = v.index + 1u;
            if (v.array + 1u > nvars)
                nvars = v.array + 1u;
        }
    }
    if (nvars == 0)
        return false;
    p->nvars = nvars;
    p->index_of = static_cast<int16_t*>(jit_wmem_alloc(m->pool1, nvars * 2));
    p->array_of = static_cast<int16_t*>(jit_wmem_alloc(m->pool1, nvars * 2));
    if (p->index_of == nullptr || p->array_of == nullptr)
        return false;
    memset(p->index_of, 0xFF, nvars * 2);
    memset(p->array_of, 0xFF, nvars * 2);
    for (u4 e = 0; e < p->count; e++) {
        const event& v = p->ev[e];
        u2 kind = v.kind & EV_KIND_MASK;
        if (kind == EV_CHECK || kind == EV_GENERATE) {
            if (!(v.kind & EVK_CONSTANT) && p->index_of[v.index] < 0)
                p->index_of[v.index] = static_cast<int16_t>(p->nindex++);
            p->array_of[v.array] = 0;       // seen
        }
    }
    for (u4 v = nvars; v-- > 0;) {
        if (p->array_of[v] < 0)
            continue;
        if (p->narray < 64)
            p->array_of[v] = static_cast<int16_t>(p->narray++);
        else
            p->array_of[v] = -1;
    }
    return p->narray > 0;
}

int16_t index_number(const pass* p, u2 v) { return v < p->nvars ? p->index_of[v] : -1; }
int16_t array_number(const pass* p, u2 v) { return v < p->nvars ? p->array_of[v] : -1; }

// Local v was written: no fact names it, as an index or as an array.
void facts_kill_local(const pass* p, facts* f, u2 v)
{
    s4 i = index_number(p, v), a = array_number(p, v);
    if (i >= 0)
        f->pairs[i] = 0;
    if (a >= 0)
        facts_kill_array(f, static_cast<u4>(a));
}

// Drops the events that concern no numbered variable.
void filter_events(pass* p)
{
    u4 n = 0;
    for (u4 pos = 0; pos < p->order_count; pos++) {
        u4 b = p->order[pos];
        if (!p->visited[b] || p->ev_first[b] == NO_EVENTS)
            continue;
        u4 first = p->ev_first[b], end = p->ev_end[b];
        p->ev_first[b] = n;
        for (u4 e = first; e < end; e++) {
            const event& v = p->ev[e];
            bool keep;
            switch (v.kind & EV_KIND_MASK) {
            case EV_CHECK:
            case EV_GENERATE:
                keep = array_number(p, v.array) >= 0
                       && ((v.kind & EVK_CONSTANT) || index_number(p, v.index) >= 0);
                break;
            case EV_KILL:
            case EV_MIDPOINT:
            case EV_INCREMENT:
                keep = index_number(p, v.index) >= 0 || array_number(p, v.index) >= 0;
                break;
            default:
                keep = true;
                break;
            }
            if (keep)
                p->ev[n++] = v;
        }
        p->ev_end[b] = n;
        p->ev_first[b] = p->ev_first[b] == n ? NO_EVENTS : p->ev_first[b];
        if (p->ev_first[b] == NO_EVENTS)
            p->ev_end[b] = NO_EVENTS;
    }
    p->count = n;
}

// Moves a check onto its base index with the offsets [low, high].
void rewrite_check(pass* p, event* e, s4 low, s4 high)
{
    quadruple* q = e->quad;
    if (!is_int_local(q->src1) || q->src1.number != e->index) {
        q->src1.kind = KB_INT_LOCAL;
        q->src1.flags = 0;
        q->src1.number = e->index;
        q->src1.value = 0;
        p->operands_changed = true;
        p->m->state_flags |= MCC_REACHDEF_STALE;   // the chains no longer describe this read
    }
    set_check_range(q, low, high);
    e->low = static_cast<int8_t>(low);
    e->high = static_cast<int8_t>(high);
}

void delete_check(pass* p, event* e)
{
    if (!df_deleted(e->quad)) {
        ChangeNOP(p->m, e->block, static_cast<s4>(e->quad_index));
        p->stats->deleted++;
        p->pc->flags |= DFP_DEADSTORE_WANTED;
    }
    e->kind = EV_DONE;
}

// Backward walk of one block: a check takes over the later checks of its
// pair (or a larger constant) that nothing between kills or bars.
void widen_block(pass* p, u4 b, facts* u)
{
    facts_clear(u);
    for (u4 e = p->ev_end[b]; e-- > p->ev_first[b];) {
        event* v = &p->ev[e];
        switch (v->kind & EV_KIND_MASK) {
        case EV_CHECK: {
            s4 a = array_number(p, v->array);
            if (v->kind & EVK_CONSTANT) {
                s4 c = v->index;
                if (u->cmax[a] >= c) {
                    if (u->cmax[a] > c && !df_deleted(v->quad)) {
                        set_constant_index(p, v->quad, u->cmax[a]);
                        v->index = static_cast<u2>(u->cmax[a]);
                        p->stats->widened++;
                    }
                } else {
                    u->cmax[a] = c;
                }
                break;
            }
            s4 i = index_number(p, v->index), low, high;
            if (!facts_has(u, i, a, &low, &high)) {
                u->pairs[i] |= ABIT_llshr[a];
                u->low[i * u->narray + a] = v->low;
                u->high[i * u->narray + a] = v->high;
                break;
            }
            if (low <= v->low && v->high <= high) {
                // Already needed by a later check: this one is as wide as that.
                if (!df_deleted(v->quad) && (low < v->low || v->high < high)) {
                    rewrite_check(p, v, low, high);
                    p->stats->widened++;
                }
                break;
            }
            low = low < v->low ? low : v->low;
            high = high > v->high ? high : v->high;
            u->low[i * u->narray + a] = static_cast<int8_t>(low);
            u->high[i * u->narray + a] = static_cast<int8_t>(high);
            if (!df_deleted(v->quad)) {
                rewrite_check(p, v, low, high);
                p->stats->widened++;
            }
            break;
        }
        case EV_KILL:
        case EV_MIDPOINT:
            facts_kill_local(p, u, v->index);
            break;
        case EV_INCREMENT: {
            s4 i = index_number(p, v->index), a = array_number(p, v->index);
            if (a >= 0)
                facts_kill_array(u, static_cast<u4>(a));
            if (i < 0)
                break;
            // Later, i + k is (i before) + d + k.
            for (u4 k = 0; k < u->narray; k++) {
                if (!df_test(u->pairs[i], k))
                    continue;
                u4 s = i * u->narray + k;
                s4 low = u->low[s] + v->low, high = u->high[s] + v->low;
                if (!offset_fits(low) || !offset_fits(high)) {
                    facts_drop(u, i, k);
                    continue;
                }
                u->low[s] = static_cast<int8_t>(low);
                u->high[s] = static_cast<int8_t>(high);
            }
            break;
        }
        case EV_KILL_ALL:
        case EV_BARRIER:
            facts_kill_all(u);
            break;
        default:
            break;
        }
    }
}

// Forward walk of one block from `f` (its entry facts); with `rewrite`
// covered checks are deleted and partly covered ones trimmed.
void walk_block(pass* p, u4 b, facts* f, bool rewrite)
{
    for (u4 e = p->ev_first[b]; e < p->ev_end[b]; e++) {
        event* v = &p->ev[e];
        u2 kind = v->kind & EV_KIND_MASK;
        switch (kind) {
        case EV_CHECK:
        case EV_GENERATE: {
            s4 a = array_number(p, v->array);
            bool covered = false;
            if (v->kind & EVK_CONSTANT) {
                s4 c = v->index;
                if (c <= f->cmax[a])
                    covered = true;
                else
                    f->cmax[a] = c;
            } else {
                s4 i = index_number(p, v->index), low, high;
                if (!facts_has(f, i, a, &low, &high)) {
                    facts_put(f, i, a, v->low, v->high);
                } else if (low <= v->low && v->high <= high) {
                    covered = true;
                } else {
                    if (rewrite && kind == EV_CHECK && !df_deleted(v->quad)) {
                        s4 nlow = v->low, nhigh = v->high;
                        if (low <= nlow && nlow <= high)
                            nlow = high + 1;        // low end covered
                        else if (low <= nhigh && nhigh <= high)
                            nhigh = low - 1;        // high end covered
                        if (nlow != v->low || nhigh != v->high) {
                            rewrite_check(p, v, nlow, nhigh);
                            p->stats->trimmed++;
                        }
                    }
                    facts_put(f, i, a, low < v->low ? low : v->low, high > v->high ? high : v->high);
                }
            }
            if (covered && rewrite && kind == EV_CHECK) {
                if (e > p->ev_first[b] && (p->ev[e - 1].kind & EV_KIND_MASK) == EV_BARRIER
                    && p->ev[e - 1].quad_index == v->quad_index)
                    p->ev[e - 1].kind = EV_DONE;
                delete_check(p, v);
            }
            break;
        }
        case EV_KILL: {
            s4 i = index_number(p, v->index), a = array_number(p, v->index);
            if (i >= 0)
                f->pairs[i] = 0;
            if (a >= 0)
                facts_kill_array(f, static_cast<u4>(a));
            break;
        }
        case EV_INCREMENT: {
            s4 i = index_number(p, v->index), a = array_number(p, v->index);
            if (a >= 0)
                facts_kill_array(f, static_cast<u4>(a));
            if (i >= 0)
                facts_shift(f, static_cast<u4>(i), v->low);
            break;
        }
        case EV_MIDPOINT: {
            // y and z inside a (0 in both ranges) put (y + z) / 2 inside a.
            s4 x = index_number(p, v->index), y = index_number(p, static_cast<u2>(v->low)),
               z = index_number(p, static_cast<u2>(v->high)), ax = array_number(p, v->index);
            u8 both = 0;
            if (x >= 0 && y >= 0 && z >= 0) {
                both = f->pairs[y] & f->pairs[z];
                for (u4 a = 0; a < f->narray; a++) {
                    if (!df_test(both, a))
                        continue;
                    s4 yl, yh, zl, zh;
                    facts_has(f, static_cast<u4>(y), a, &yl, &yh);
                    facts_has(f, static_cast<u4>(z), a, &zl, &zh);
                    if (yl > 0 || yh < 0 || zl > 0 || zh < 0)
                        both &= ~ABIT_llshr[a];
                }
            }
            if (x >= 0)
                f->pairs[x] = 0;
            if (ax >= 0)
                facts_kill_array(f, static_cast<u4>(ax));
            for (u4 a = 0; a < f->narray && both != 0; a++)
                if (df_test(both, a))
                    facts_put(f, static_cast<u4>(x), a, 0, 0);
            break;
        }
        case EV_KILL_ALL:
            facts_kill_all(f);
            break;
        default:
            break;
        }
    }
}

// Entry facts of block b: the meet of its predecessors' exits.  The entry
// block, a block the interpreter may hand over to, and a block with a
// predecessor outside the walk start empty.
void entry_facts(const pass_graph* g, u4 b, facts* into, const facts* exits, const u1* visited, u4 entry)
{
    bbattr* bb = g->m->bb_table[b];
    if (b == entry || g->npred[b] == 0 || (bb->flags2 & BB2_TRANSFER_POINT)) {
        facts_clear(into);
        return;
    }
    for (u4 k = 0; k < g->npred[b]; k++) {
        u4 pb = g->pred[b][k];
        if (!visited[pb]) {
            facts_clear(into);
            return;
        }
        if (k == 0)
            facts_copy(into, &exits[pb]);
        else
            facts_meet(into, &exits[pb]);
    }
}

// ---- hoisting into a branching block -------------------------------------------------
//
// A block that ends in a branch, where every arm begins with a check of the
// same pair, checks that pair itself, behind its last barrier or write of
// the index or the array; the arms' checks are then covered by the facts
// that flow into them.  What every path anticipates is solved backward from
// an empty start, so that a path that never reaches a check (a loop that
// does not end) anticipates nothing.  Soundness rests on these limits:
//  - the arms are the block's own: each has the block as its only
//    predecessor and is neither a handler, a subroutine nor a block the
//    interpreter may enter, so every run that reaches an arm's check has
//    passed the hoisted one with the same index and array;
//  - nothing between the hoisted check and an arm's first check may raise
//    or write memory (barriers stop anticipation), and the block is outside
//    every try range, so no handler of the method sees locals written in
//    between;
//  - an arm's check has no null check of its own in front of it, so the
//    array was proven non-null on entry to the arm, which is the block's
//    exit: the inserted length load reads a live array;
//  - every arm begins with the same check (the same pair and range), and
//    the hoisted check is that check: it raises exactly when the arm's would,
//    with the same index, and the arm's first check always goes.

constexpr u4 ANTICIPATION_SWEEPS = 64;

struct placement {
    u4 block;
    s4 after;            // catbl index the check goes behind; -1: the block's start
    u2 index;
    u2 array;
    s4 low;
    s4 high;
    quadruple length;    // the successor's length load and check, as shapes
    quadruple check;
    bool inserted;
    bool emitted;
};

// Backward over block b's events: f, what every path from the block's end
// checks before anything kills or bars it, becomes the same at its start.
void anticipate_block(const pass* p, u4 b, facts* f)
{
    if (p->ev_first[b] == NO_EVENTS)
        return;
    for (u4 e = p->ev_end[b]; e-- > p->ev_first[b];) {
        const event* v = &p->ev[e];
        switch (v->kind & EV_KIND_MASK) {
        case EV_CHECK: {
            if (v->kind & EVK_CONSTANT)
                break;
            s4 a = array_number(p, v->array), i = index_number(p, v->index), low, high;
            if (a < 0 || i < 0)
                break;
            if (facts_has(f, static_cast<u4>(i), static_cast<u4>(a), &low, &high)) {
                low = low < v->low ? low : v->low;
                high = high > v->high ? high : v->high;
            } else {
                low = v->low;
                high = v->high;
            }
            u4 s = static_cast<u4>(i) * f->narray + static_cast<u4>(a);
            f->pairs[i] |= ABIT_llshr[a];
            f->low[s] = static_cast<int8_t>(low);
            f->high[s] = static_cast<int8_t>(high);
            break;
        }
        case EV_KILL:
        case EV_MIDPOINT:
            facts_kill_local(p, f, v->index);
            break;
        case EV_INCREMENT: {
            s4 i = index_number(p, v->index), a = array_number(p, v->index);
            if (a >= 0)
                facts_kill_array(f, static_cast<u4>(a));
            if (i >= 0)
                facts_shift(f, static_cast<u4>(i), -v->low);   // later i + k is i + d + k here
            break;
        }
        case EV_KILL_ALL:
        case EV_BARRIER:
            facts_kill_all(f);
            break;
        default:
            break;
        }
    }
}

bool exit_block(const pass* p, u4 b) { return b + 1 == p->m->bb_count; }

// What every successor of b anticipates at its start; nothing when a
// successor lies outside the walk or b has none.
void anticipated_at_exit(const pass* p, u4 b, const facts* ant, facts* into)
{
    bbattr* bb = p->m->bb_table[b];
    facts_clear(into);
    for (u4 k = 0; k < bb->succ_count; k++) {
        u4 s = bb_succ_block(bb->succ[k]);
        if (s >= p->m->bb_count || !p->visited[s] || exit_block(p, s)) {
            facts_clear(into);
            return;
        }
        if (k == 0)
            facts_copy(into, &ant[s]);
        else
            facts_meet(into, &ant[s]);
    }
}

// Anticipation at every block's start, from the empty start up; false when
// it does not settle within the sweeps allowed.
bool solve_anticipation(const pass* p, facts* ant, facts* run)
{
    u4 entry = p->order[0];
    for (u4 sweep = 0; sweep < ANTICIPATION_SWEEPS; sweep++) {
        bool changed = false;
        for (u4 pos = p->order_count; pos-- > 0;) {
            u4 b = p->order[pos];
            if (!p->visited[b] || b == entry || exit_block(p, b))
                continue;
            anticipated_at_exit(p, b, ant, run);
            anticipate_block(p, b, run);
            if (!facts_equal(run, &ant[b])) {
                facts_copy(&ant[b], run);
                changed = true;
            }
        }
        if (!changed)
            return true;
    }
    return false;
}

bool hoist_candidate(const pass* p, const pass_graph* g, u4 b)
{
    bbattr* bb = p->m->bb_table[b];
    if (b == p->order[0] || exit_block(p, b) || bb->succ_count < 2 || bb->quad_count == 0
        || (bb->flags & (BB_IN_TRY | BB_HANDLER | BB_SUBROUTINE | BB_DEAD)) || (bb->flags2 & BB2_TRANSFER_POINT))
        return false;
    for (u4 k = 0; k < bb->succ_count; k++) {
        if (static_cast<s4>(bb->succ[k]) < 0)
            return false;
        u4 s = bb->succ[k];
        if (s >= p->m->bb_count || s == b || !p->visited[s] || exit_block(p, s) || g->npred[s] != 1
            || g->pred[s][0] != b)
            return false;
        bbattr* sb = p->m->bb_table[s];
        if ((sb->flags & (BB_HANDLER | BB_SUBROUTINE | BB_DEAD)) || (sb->flags2 & BB2_TRANSFER_POINT))
            return false;
    }
    return true;
}

s4 last_live_quad(const bbattr* bb)
{
    for (u4 k = bb->quad_count; k-- > 0;)
        if (bb->catbl[k] != nullptr && !df_deleted(bb->catbl[k]))
            return static_cast<s4>(k);
    return -1;
}

// The first check of (index, array) in block s, with its length load.
const event* first_check(const pass* p, u4 s, u2 index, u2 array)
{
    if (p->ev_first[s] == NO_EVENTS)
        return nullptr;
    for (u4 e = p->ev_first[s]; e < p->ev_end[s]; e++) {
        const event* v = &p->ev[e];
        if ((v->kind & EV_KIND_MASK) == EV_CHECK && !(v->kind & EVK_CONSTANT) && v->index == index
            && v->array == array)
            return v;
    }
    return nullptr;
}

// Where in b a check of (index, array) may go: behind the last quadruple
// that may raise, has a side effect or writes either variable (quadruples,
// not events: a run of barriers makes one event at its first quadruple);
// -1 for the block's start, -2 when the block's last quadruple is one.
bool bars_or_writes(const quadruple* q, u2 index, u2 array)
{
    if (is_barrier(q) || q->opcode == OPC_JSR)
        return true;
    if (!is_local(q->result))
        return false;
    u2 v = q->result.number;
    bool two = df_two_slot_type(q->result.kind >> QT_SHIFT & 0xF);
    return v == index || v == array || (two && (v + 1u == index || v + 1u == array));
}

s4 placement_slot(const bbattr* bb, s4 last, u2 index, u2 array)
{
    for (s4 k = last; k >= 0; k--) {
        const quadruple* q = bb->catbl[k];
        if (q == nullptr || df_deleted(q) || !bars_or_writes(q, index, array))
            continue;
        return k == last ? -2 : k;
    }
    return -1;
}

// The checks to hoist, into `out` (grown in the first work pool).
u4 choose_placements(pass* p, const pass_graph* g, const facts* ant, const facts* exits, facts* run,
                     facts* arm, placement** out)
{
    method_compile_context* m = p->m;
    u4 count = 0, capacity = 0;
    placement* list = nullptr;
    for (u4 pos = 1; pos < p->order_count; pos++) {
        u4 b = p->order[pos];
        if (!p->visited[b] || !hoist_candidate(p, g, b))
            continue;
        bbattr* bb = m->bb_table[b];
        anticipated_at_exit(p, b, ant, run);
        s4 last = last_live_quad(bb);
        if (last < 0)
            continue;
        const quadruple* terminator = bb->catbl[last];
        for (u4 v = 0; v < p->nvars; v++) {
            s4 i = p->index_of[v];
            if (i < 0 || run->pairs[i] == 0)
                continue;
            for (u4 v2 = 0; v2 < p->nvars; v2++) {
                s4 a = p->array_of[v2], low, high, el, eh;
                if (a < 0 || !facts_has(run, static_cast<u4>(i), static_cast<u4>(a), &low, &high))
                    continue;
                if (facts_has(&exits[b], static_cast<u4>(i), static_cast<u4>(a), &el, &eh))
                    continue;       // known at the branch already: the arms see it
                const event* source = nullptr;
                bool every_arm = true;
                for (u4 k = 0; k < bb->succ_count && every_arm; k++) {
                    u4 s = bb->succ[k];
                    facts_clear(arm);
                    anticipate_block(p, s, arm);
                    s4 ul, uh;
                    const event* c = first_check(p, s, static_cast<u2>(v), static_cast<u2>(v2));
                    every_arm = facts_has(arm, static_cast<u4>(i), static_cast<u4>(a), &ul, &uh) && low <= ul
                                && uh <= high && c != nullptr && c->low == ul && c->high == uh
                                && c->quad->body == terminator->body && c->quad->context == terminator->context
                                && (source == nullptr || (source->low == ul && source->high == uh));
                    if (every_arm && source == nullptr)
                        source = c;
                }
                // Every arm begins with the very same check: the hoisted one
                // raises exactly when the arm's would, with the same index.
                if (!every_arm || source == nullptr)
                    continue;
                const quadruple* length = previous_quad(m->bb_table[source->block], source->quad_index);
                if (length == nullptr || length->opcode != OPC_ARRAYLENGTH)
                    continue;
                s4 after = placement_slot(bb, last, static_cast<u2>(v), static_cast<u2>(v2));
                if (after == -2)
                    continue;       // the branch itself writes the index or the array
                if (count == capacity) {
                    u4 cap = capacity == 0 ? 8 : capacity * 2;
                    auto* bigger = static_cast<placement*>(jit_wmem_alloc(m->pool1, cap * sizeof(placement)));
                    if (bigger == nullptr)
                        break;
                    if (count != 0)
                        memcpy(bigger, list, count * sizeof(placement));
                    list = bigger;
                    capacity = cap;
                }
                placement* pl = &list[count++];
                pl->block = b;
                pl->after = after;
                pl->index = static_cast<u2>(v);
                pl->array = static_cast<u2>(v2);
                pl->low = source->low;
                pl->high = source->high;
                memcpy(&pl->length, length, sizeof(quadruple));
                memcpy(&pl->check, source->quad, sizeof(quadruple));
                pl->inserted = false;
            }
        }
    }
    *out = list;
    return count;
}

void fresh_operand(quad_operand* o, u1 kind, u2 number)
{
    o->kind = kind;
    o->flags = 0;
    o->number = number;
    o->reg = 0;
    o->second = 0;
    o->pad6 = 0;
    o->value = 0;
}

// Opens the slots and writes the length load and the check of every
// placement, the later ones of a block first so that earlier slots keep
// their indexes.
void insert_placements(pass* p, placement* list, u4 count)
{
    method_compile_context* m = p->m;
    // Block ascending, slot descending.
    for (u4 x = 1; x < count; x++)
        for (u4 y = x; y > 0; y--) {
            placement& l = list[y - 1];
            placement& r = list[y];
            if (l.block < r.block || (l.block == r.block && l.after >= r.after))
                break;
            placement t;
            memcpy(&t, &l, sizeof t);
            memcpy(&l, &r, sizeof t);
            memcpy(&r, &t, sizeof t);
        }
    u2 length_local = m->local_count;
    bool local_made = false;
    for (u4 x = 0; x < count; x++) {
        placement& pl = list[x];
        u4 shift;
        u4 at = pl.after < 0 ? 0 : static_cast<u4>(pl.after);
        if (InsertNOP_codeattr(m, pl.block, at, pl.after < 0 ? 2 : 0, pl.after < 0 ? 0 : 2, &shift) == 0)
            continue;
        if (!local_made) {
            m->local_count = static_cast<u2>(m->local_count + 1);
            local_made = true;
        }
        bbattr* bb = m->bb_table[pl.block];
        u4 first = pl.after < 0 ? 0 : at + 1;
        quadruple* length = bb->catbl[first];
        quadruple* check = bb->catbl[first + 1];
        memcpy(length, &pl.length, sizeof(quadruple));
        length->opcount = static_cast<u2>(length->opcount & ~QC_DELETED);
        fresh_operand(&length->result, KB_INT_LOCAL, length_local);
        fresh_operand(&length->src1, KB_REF_LOCAL, pl.array);
        memcpy(check, &pl.check, sizeof(quadruple));
        check->opcount = static_cast<u2>(check->opcount & ~QC_DELETED);
        fresh_operand(&check->src1, KB_INT_LOCAL, pl.index);
        fresh_operand(&check->src2, KB_INT_LOCAL, length_local);
        set_check_range(check, pl.low, pl.high);
        bb->flags |= BB_ARRAY_ACCESS;
        pl.inserted = true;
        p->stats->hoisted++;
    }
    if (local_made)
        m->state_flags |= MCC_REACHDEF_STALE;
}

// The event list again, with a fact event behind every inserted check and
// the slots of the events behind it moved up by the two new quadruples.
bool add_placed_facts(pass* p, placement* list, u4 count)
{
    method_compile_context* m = p->m;
    u4 placed = 0;
    for (u4 x = 0; x < count; x++) {
        placed += list[x].inserted ? 1 : 0;
        list[x].emitted = false;
    }
    if (placed == 0)
        return false;
    u4 capacity = p->count + placed + 8;
    event* fresh = static_cast<event*>(jit_wmem_alloc(m->pool1, capacity * sizeof(event)));
    u1* seen = static_cast<u1*>(jit_wmem_alloc(m->pool1, m->bb_count));
    if (fresh == nullptr || seen == nullptr)
        return false;
    memset(seen, 0, m->bb_count);
    u4 n = 0;
    for (u4 pos = 0; pos < p->order_count; pos++) {
        u4 b = p->order[pos];
        if (!p->visited[b] || seen[b])
            continue;
        seen[b] = 1;
        bool has_events = p->ev_first[b] != NO_EVENTS, any = has_events;
        for (u4 x = 0; x < count && !any; x++)
            any = list[x].inserted && list[x].block == b;
        if (!any)
            continue;
        u4 first = n, from = has_events ? p->ev_first[b] : 0, end = has_events ? p->ev_end[b] : 0;
        for (u4 e = from;; e++) {
            s4 k = e < end ? static_cast<s4>(p->ev[e].quad_index) : 0x7FFFFFFF;
            for (u4 x = 0; x < count; x++) {
                placement& pl = list[x];
                if (!pl.inserted || pl.emitted || pl.block != b || pl.after >= k)
                    continue;
                pl.emitted = true;
                event* v = &fresh[n++];
                v->position = static_cast<u2>(pos);
                v->block = static_cast<u2>(b);
                v->kind = EV_GENERATE;
                v->index = pl.index;
                v->array = pl.array;
                v->low = static_cast<int8_t>(pl.low);
                v->high = static_cast<int8_t>(pl.high);
                v->quad_index = static_cast<u4>(pl.after + 2);
                v->quad = nullptr;
            }
            if (e >= end)
                break;
            event* v = &fresh[n++];
            *v = p->ev[e];
            for (u4 x = 0; x < count; x++)
                if (list[x].inserted && list[x].block == b && list[x].after < k)
                    v->quad_index += 2;
        }
        p->ev_first[b] = first;
        p->ev_end[b] = n;
    }
    p->ev = fresh;
    p->count = n;
    p->capacity = capacity;
    return true;
}

} // namespace

// Predecessor lists from the successor lists (block 0's negated entries
// taken by their value), each predecessor once.
bool build_predecessors(method_compile_context* m, pass_graph* g)
{
    u4 n = m->bb_count;
    g->m = m;
    g->npred = static_cast<u4*>(jit_wmem_alloc(m->pool1, n * 4));
    g->pred = static_cast<u4**>(jit_wmem_alloc(m->pool1, n * sizeof(u4*)));
    if (g->npred == nullptr || g->pred == nullptr)
        return false;
    memset(g->npred, 0, n * 4);
    for (u4 b = 0; b < n; b++) {
        bbattr* bb = m->bb_table[b];
        if (bb == nullptr || (bb->flags & BB_DEAD))
            continue;
        for (u4 k = 0; k < bb->succ_count; k++) {
            s4 s = static_cast<s4>(bb->succ[k]);
            s = s < 0 ? -s : s;
            if (static_cast<u4>(s) < n)
                g->npred[s]++;
        }
    }
    for (u4 b = 0; b < n; b++) {
        g->pred[b] = g->npred[b] != 0 ? static_cast<u4*>(jit_wmem_alloc(m->pool1, g->npred[b] * 4)) : nullptr;
        if (g->npred[b] != 0 && g->pred[b] == nullptr)
            return false;
        g->npred[b] = 0;
    }
    for (u4 b = n; b-- > 0;) {
        bbattr* bb = m->bb_table[b];
        if (bb == nullptr || (bb->flags & BB_DEAD))
            continue;
        for (u4 k = bb->succ_count; k-- > 0;) {
            s4 s = static_cast<s4>(bb->succ[k]);
            s = s < 0 ? -s : s;
            if (static_cast<u4>(s) >= n)
                continue;
            u4* list = g->pred[s];
            if (g->npred[s] > 0 && list[g->npred[s] - 1] == b)
                continue;
            list[g->npred[s]++] = b;
        }
    }
    return true;
}

void arraycheck_run(method_compile_context* m, dataflow_pass_context* pc, counters* out)
{
    counters local{};
    pass p{};
    p.m = m;
    p.pc = pc;
    p.stats = out != nullptr ? out : &local;
    bool any = false;
    u4 quads = 0;
    for (u4 b = 0; b < m->bb_count; b++) {
        bbattr* bb = m->bb_table[b];
        if (bb == nullptr || (bb->flags & BB_DEAD))
            continue;
        any |= (bb->flags & BB_ARRAY_ACCESS) != 0;
        quads += bb->quad_count;
    }
    if (!any || quads * sizeof(event) > EVENT_LIMIT)
        return;
    CreateDFSforDFQuadruple(m, pc, &p.order_count, &p.order);
    if (p.order_count == 0)
        return;
    u4 n = m->bb_count;
    p.capacity = quads + 8;
    p.ev = static_cast<event*>(jit_wmem_alloc(m->pool1, p.capacity * sizeof(event)));
    p.ev_first = static_cast<u4*>(jit_wmem_alloc(m->pool1, n * 4));
    p.ev_end = static_cast<u4*>(jit_wmem_alloc(m->pool1, n * 4));
    p.visited = static_cast<u1*>(jit_wmem_alloc(m->pool1, n));
    if (p.ev == nullptr || p.ev_first == nullptr || p.ev_end == nullptr || p.visited == nullptr)
        return;
    memset(p.visited, 0, n);
    for (u4 b = 0; b < n; b++)
        p.ev_first[b] = p.ev_end[b] = NO_EVENTS;
    if (!collect_events(&p) || !number_variables(&p))
        return;
    filter_events(&p);
    if (p.count == 0 || p.nindex + p.narray == 0)
        return;
    u4 fbytes = facts_bytes(p.nindex, p.narray);
    u1* scratch = static_cast<u1*>(df_alloc(m, pc, fbytes));
    if (scratch == nullptr)
        return;
    facts run;
    facts_bind(&run, scratch, p.nindex, p.narray);

    for (u4 b = 0; b < n; b++)
        if (p.visited[b] && p.ev_first[b] != NO_EVENTS)
            widen_block(&p, b, &run);

    // Exit facts of every block, solved forward from the optimistic start
    // (every block of the walk but the entry holds everything).  Too large a
    // method keeps its facts within blocks.
    facts* exits = nullptr;
    pass_graph g{};
    u4 entry = p.order[0];
    if (static_cast<unsigned long long>(fbytes) * n <= RECORD_LIMIT && build_predecessors(m, &g)) {
        exits = static_cast<facts*>(jit_wmem_alloc(m->pool1, n * sizeof(facts)));
        u1* store = static_cast<u1*>(jit_wmem_alloc(m->pool1, fbytes * n));
        if (store == nullptr)
            exits = nullptr;
        for (u4 b = 0; exits != nullptr && b < n; b++) {
            facts_bind(&exits[b], store + fbytes * b, p.nindex, p.narray);
            if (p.visited[b] && b != entry)
                facts_top(&exits[b]);
            else
                facts_clear(&exits[b]);
        }
    }
    auto solve_exits = [&]() {
        for (bool changed = exits != nullptr; changed;) {
            changed = false;
            for (u4 pos = 0; pos < p.order_count; pos++) {
                u4 b = p.order[pos];
                if (!p.visited[b] || b == entry)
                    continue;
                entry_facts(&g, b, &run, exits, p.visited, entry);
                if (p.ev_first[b] != NO_EVENTS)
                    walk_block(&p, b, &run, false);
                if (!facts_equal(&run, &exits[b])) {
                    facts_copy(&exits[b], &run);
                    changed = true;
                }
            }
        }
    };
    solve_exits();

    // Checks every arm of a branch begins with move up into the branching
    // block; the facts are then solved again with them.
    facts* ant = exits != nullptr ? static_cast<facts*>(jit_wmem_alloc(m->pool1, n * sizeof(facts))) : nullptr;
    u1* ant_store = ant != nullptr ? static_cast<u1*>(jit_wmem_alloc(m->pool1, fbytes * (n + 1))) : nullptr;
    if (ant_store != nullptr) {
        for (u4 b = 0; b < n; b++) {
            facts_bind(&ant[b], ant_store + fbytes * b, p.nindex, p.narray);
            facts_clear(&ant[b]);
        }
        facts arm;
        facts_bind(&arm, ant_store + fbytes * n, p.nindex, p.narray);
        placement* list = nullptr;
        u4 count = solve_anticipation(&p, ant, &run) ? choose_placements(&p, &g, ant, exits, &run, &arm, &list) : 0;
        if (count != 0) {
            insert_placements(&p, list, count);
            if (add_placed_facts(&p, list, count)) {
                for (u4 b = 0; b < n; b++) {
                    if (p.visited[b] && b != entry)
                        facts_top(&exits[b]);
                    else
                        facts_clear(&exits[b]);
                }
                solve_exits();
            }
        }
    }

    for (u4 pos = 0; pos < p.order_count; pos++) {
        u4 b = p.order[pos];
        if (!p.visited[b] || p.ev_first[b] == NO_EVENTS)
            continue;
        if (exits != nullptr)
            entry_facts(&g, b, &run, exits, p.visited, entry);
        else
            facts_clear(&run);
        walk_block(&p, b, &run, true);
    }
    if (p.operands_changed)
        m->state_flags |= MCC_REACHDEF_STALE;
}

} // namespace arraycheck

int dataflow_Q_arraycheck(method_compile_context* m, dataflow_pass_context* pc)
{
    if ((compile_option2_flag & OPT2_NQARRAYCHECK) || !(m->state_flags & MCC_QUAD_FORM))
        return 0;
    pc->flags |= DFP_BUSY;
    df_reset_arena1(pc);
    arraycheck::arraycheck_run(m, pc, nullptr);
    pc->flags &= ~DFP_BUSY;
    return 0;
}
