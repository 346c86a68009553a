// Type flow over bytecode: the range [lo, hi] of every int local at the
// entry of every block, for the rewriting walk of df_tfrewrite.cpp.
//
// Runs among the bytecode analyses, before quadruple generation, over the
// stack-form quadruples of the blocks; needs the DFS list and the successor
// lists, and only touches methods with a loop and without exception
// handlers.  Produces nothing but what the walk does with the ranges.
//
// Sketch: one pass over each block with a simulated operand stack records
// what the block does to its locals as a compact transfer list (a store of
// a narrow value, of a constant, of another local plus a constant, an
// increment, the narrowing a compare-and-branch gives its taken and its
// fall-through edge).  A worklist solver then replays the lists, joining
// each block's OUT (or TAKEN, or a switch case value) into its successors'
// IN until nothing changes.
//
// Soundness rules this implementation holds to where the first design did
// not (each has a fixture or unit test):
// - max(local, c) and min(local, c) are [max(lo, c), max(hi, c)] and
//   [min(lo, c), min(hi, c)], not intersections with [c, MAX] / [MIN, c];
// - a compare of x with a narrow value v in [lo, hi] gives, for x < v, the
//   fall-through x >= lo, and for x <= v, x >= lo + 1;
// - a compare of local + k refines the local only when the local's range at
//   the branch shows that local + k cannot wrap;
// - an increment inside a loop widens to the end of the int range only when
//   no value of the range can wrap; otherwise the range becomes full;
// - a value converted from a local by i2b/i2c/i2s is the converted range,
//   never the local's range intersected with the type;
// - a cycle that no loop record covers still widens its increments, and the
//   solver gives up (nothing is rewritten) past a bound on its sweeps.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_typeflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "loop/loop_records.h"

namespace {

s4 disable_typeflow = -1;

constexpr u4 TF_STACK_IN_FRAME = 64;
constexpr u4 TF_LIST_INITIAL = 32;
constexpr u4 TF_RANGE_BYTES_LIMIT = 0x100000;
constexpr u4 TF_MAX_SWEEPS = 1000;
constexpr u1 SELECT_TYPEFLOW = 11;    // debug selector: increments of a block range widen
constexpr u2 QS_LCONST_INT = 0x0020;  // long constant: the value fits in an int

s4 clamp32(int64_t v) { return v < TF_MIN ? TF_MIN : v > TF_MAX ? TF_MAX : static_cast<s4>(v); }

} // namespace

// ---- range arithmetic ---------------------------------------------------------------------

tf_range tf_class_range(u4 cls)
{
    if (cls >= 8 && cls <= 12)
        cls -= TFC_CLAMP;
    switch (cls) {
    case TFC_CHAR: return {0, 65535};
    case TFC_SHORT: return {-32768, 32767};
    case TFC_BYTE: return {-128, 127};
    case TFC_UBYTE: return {0, 255};
    case TFC_BOOL: return {0, 1};
    default: return TF_FULL_RANGE;
    }
}

tf_range tf_narrow(tf_range r, int64_t lo, int64_t hi)
{
    if (tf_empty(r))
        return TF_EMPTY_RANGE;
    int64_t l = lo > r.lo ? lo : r.lo;
    int64_t h = hi < r.hi ? hi : r.hi;
    if (l > h)
        return TF_EMPTY_RANGE;
    return {static_cast<s4>(l), static_cast<s4>(h)};
}

tf_range tf_add_const(tf_range r, int64_t k)
{
    if (tf_empty(r))
        return r;
    int64_t l = static_cast<int64_t>(r.lo) + k, h = static_cast<int64_t>(r.hi) + k;
    if (l < TF_MIN || h > TF_MAX)
        return TF_FULL_RANGE;
    return {static_cast<s4>(l), static_cast<s4>(h)};
}

tf_range tf_join(tf_range a, tf_range b)
{
    if (tf_empty(a))
        return b;
    if (tf_empty(b))
        return a;
    return {a.lo < b.lo ? a.lo : b.lo, a.hi > b.hi ? a.hi : b.hi};
}

void tf_refine_const(u1 cond, int64_t c, tf_range* taken, tf_range* out)
{
    switch (cond) {
    case TFCC_EQ:
    case TFCC_NE: {
        tf_range* same = cond == TFCC_EQ ? taken : out;
        tf_range* differ = cond == TFCC_EQ ? out : taken;
        *same = tf_narrow(*same, c, c);
        if (!tf_empty(*differ)) {
            // Only a bound equal to c can step inward; [c, c] becomes empty.
            int64_t lo = differ->lo, hi = differ->hi;
            if (lo == c)
                lo++;
            if (hi == c)
                hi--;
            *differ = tf_narrow(*differ, lo, hi);
        }
        return;
    }
    case TFCC_LT: *taken = tf_narrow(*taken, TF_MIN, c - 1); *out = tf_narrow(*out, c, TF_MAX); return;
    case TFCC_LE: *taken = tf_narrow(*taken, TF_MIN, c); *out = tf_narrow(*out, c + 1, TF_MAX); return;
    case TFCC_GT: *taken = tf_narrow(*taken, c + 1, TF_MAX); *out = tf_narrow(*out, TF_MIN, c); return;
    case TFCC_GE: *taken = tf_narrow(*taken, c, TF_MAX); *out = tf_narrow(*out, TF_MIN, c - 1); return;
    case TFCC_UGT:
        if (c >= 0)
            *out = tf_narrow(*out, 0, c);
        return;
    case TFCC_ULT:
        if (c >= 0)
            *taken = tf_narrow(*taken, 0, c - 1);
        return;
    default: return;
    }
}

void tf_refine_range(u1 cond, tf_range v, tf_range* taken, tf_range* out)
{
    if (tf_empty(v))
        return;
    int64_t lo = v.lo, hi = v.hi;
    switch (cond) {
    // x < v: taken x <= hi - 1; fall-through x >= v >= lo.
    case TFCC_LT: *taken = tf_narrow(*taken, TF_MIN, hi - 1); *out = tf_narrow(*out, lo, TF_MAX); return;
    // x <= v: taken x <= hi; fall-through x > v >= lo, so x >= lo + 1.
    case TFCC_LE: *taken = tf_narrow(*taken, TF_MIN, hi); *out = tf_narrow(*out, lo + 1, TF_MAX); return;
    case TFCC_GT: *taken = tf_narrow(*taken, lo + 1, TF_MAX); *out = tf_narrow(*out, TF_MIN, hi); return;
    case TFCC_GE: *taken = tf_narrow(*taken, lo, TF_MAX); *out = tf_narrow(*out, TF_MIN, hi - 1); return;
    case TFCC_UGT:
        if (lo >= 0)
            *out = tf_narrow(*out, 0, hi);
        return;
    case TFCC_ULT:
        if (lo >= 0)
            *taken = tf_narrow(*taken, 0, hi - 1);
        return;
    default: return;
    }
}

tf_range tf_widen_increment(tf_range r, s4 k)
{
    if (tf_empty(r) || k == 0)
        return r;
    if (k > 0)
        return static_cast<int64_t>(r.hi) + k > TF_MAX ? TF_FULL_RANGE : tf_range{r.lo, TF_MAX};
    return static_cast<int64_t>(r.lo) + k < TF_MIN ? TF_FULL_RANGE : tf_range{TF_MIN, r.hi};
}

tf_range tf_binop_range(u2 op, tf_range x, tf_range y, bool yconst)
{
    if (tf_empty(x) || tf_empty(y))
        return TF_FULL_RANGE;
    int64_t xl = x.lo, xh = x.hi, yl = y.lo, yh = y.hi;
    auto checked = [](int64_t l, int64_t h) -> tf_range {
        if (l < TF_MIN || h > TF_MAX)
            return TF_FULL_RANGE;
        return {static_cast<s4>(l), static_cast<s4>(h)};
    };
    switch (op) {
    case QOP_ADD: return checked(xl + yl, xh + yh);
    case QOP_SUB: return checked(xl - yh, xh - yl);
    case QOP_MAX: return {x.lo > y.lo ? x.lo : y.lo, x.hi > y.hi ? x.hi : y.hi};
    case QOP_MIN: return {x.lo < y.lo ? x.lo : y.lo, x.hi < y.hi ? x.hi : y.hi};
    case QOP_REM: {
        // |x % y| < |y| and the result takes x's sign; y = 0 raises.
        int64_t a = yl < 0 ? -yl : yl, b = yh < 0 ? -yh : yh;
        int64_t mag = (a > b ? a : b) - 1;
        if (mag < 0)
            return TF_FULL_RANGE;
        int64_t lo = xl >= 0 ? 0 : -mag, hi = xh <= 0 ? 0 : mag;
        // Nor is it larger in magnitude than x.
        if (xl >= 0 && xh < hi)
            hi = xh;
        if (xh <= 0 && xl > lo)
            lo = xl;
        return {clamp32(lo), clamp32(hi)};
    }
    case QOP_AND:
        if (yconst) {
            s4 c = y.lo;
            if (c < 0)
                return x.lo >= 0 ? tf_range{0, c & TF_MAX} : tf_range{TF_MIN, c & TF_MAX};
            // x & c lies in [0, c], and in [0, x.hi] when x is not negative.
            return {0, x.lo >= 0 && x.hi < c ? x.hi : c};
        }
        if (x.lo >= 0 && y.lo >= 0)
            return {0, x.hi < y.hi ? x.hi : y.hi};
        return TF_FULL_RANGE;
    case QOP_SHR:
        if (yconst) {
            u4 s = static_cast<u4>(y.lo) & 31;
            return {static_cast<s4>(xl >> s), static_cast<s4>(xh >> s)};
        }
        return TF_FULL_RANGE;
    case QOP_USHR:
        if (yconst) {
            u4 s = static_cast<u4>(y.lo) & 31;
            if (x.lo >= 0)
                return {static_cast<s4>(xl >> s), static_cast<s4>(xh >> s)};
            if (s > 0)
                return {0, static_cast<s4>(0xFFFFFFFFu >> s)};
        }
        return TF_FULL_RANGE;
    default: return TF_FULL_RANGE;
    }
}

// ---- the simulated stack ------------------------------------------------------------------

void tf_stack_reset(typeflow_stack* s) { s->depth = 0; }

namespace {

void fill(typeflow_stack* s, typeflow_stack_entry* e, s4 kind, s4 number, u4 position, u4 cls, tf_range r, u4 two)
{
    e->kind = kind;
    e->two_slot = two;
    e->number = number;
    e->block = s->block;
    e->position = position;
    e->min = r.lo;
    e->max = r.hi;
    e->cls = cls;
}

void mark(typeflow_stack_entry* e) { e->cls |= TFC_DUP; }

} // namespace

void tf_push(typeflow_stack* s, s4 kind, s4 number, u4 position, u4 cls, tf_range r)
{
    if (s->depth >= s->capacity) {
        s->depth = 0;
        return;
    }
    fill(s, &s->slots[s->depth++], kind, number, position, cls, r, 0);
}

void tf_push2(typeflow_stack* s, s4 kind, s4 number, u4 position, u4 cls, tf_range r)
{
    if (s->depth >= s->capacity - 1) {
        s->depth = 0;
        return;
    }
    fill(s, &s->slots[s->depth++], kind, number, position, cls, r, 1);
    fill(s, &s->slots[s->depth++], kind, number, position, cls, r, 1);
}

bool tf_pop(typeflow_stack* s, typeflow_stack_entry* out)
{
    if (s->depth <= 0 || s->slots[s->depth - 1].two_slot) {
        s->depth = 0;
        return false;
    }
    *out = s->slots[--s->depth];
    return true;
}

bool tf_pop2(typeflow_stack* s, typeflow_stack_entry* out)
{
    if (s->depth <= 1) {
        s->depth = 0;
        return false;
    }
    s->depth -= 2;
    *out = s->slots[s->depth];
    return true;
}

void tf_drop(typeflow_stack* s, s4 n)
{
    if (n <= 0)
        return;
    s->depth = n > s->depth ? 0 : s->depth - n;
}

void tf_forget_local(typeflow_stack* s, s4 local)
{
    for (s4 i = 0; i < s->depth; i++) {
        typeflow_stack_entry& e = s->slots[i];
        if (e.kind == TFK_LOCAL && e.number == local) {
            e.kind = TFK_COMPUTED;
            e.number = -1;
            e.cls &= ~TFC_MASK;
            e.min = TF_MIN;
            e.max = TF_MAX;
        }
    }
}

namespace {

// The JVM's stack shuffles; each marks every slot it reads or writes.
void shuffle(typeflow_stack* s, u1 opcode)
{
    s4 d = s->depth, c = s->capacity;
    typeflow_stack_entry* v = s->slots;
    switch (opcode) {
    case OPC_DUP:
        if (!(d > 0 && d < c))
            break;
        mark(&v[d - 1]);
        v[d] = v[d - 1];
        s->depth = d + 1;
        return;
    case OPC_DUP_X1:
        if (!(d > 1 && d < c))
            break;
        mark(&v[d - 1]), mark(&v[d - 2]);
        v[d] = v[d - 1];
        v[d - 1] = v[d - 2];
        v[d - 2] = v[d];
        s->depth = d + 1;
        return;
    case OPC_DUP_X2:
        if (!(d > 2 && d < c))
            break;
        mark(&v[d - 1]), mark(&v[d - 2]), mark(&v[d - 3]);
        v[d] = v[d - 1];
        v[d - 1] = v[d - 2];
        v[d - 2] = v[d - 3];
        v[d - 3] = v[d];
        s->depth = d + 1;
        return;
    case OPC_DUP2:
        if (!(d > 1 && d < c - 1))
            break;
        mark(&v[d - 1]), mark(&v[d - 2]);
        v[d] = v[d - 2];
        v[d + 1] = v[d - 1];
        s->depth = d + 2;
        return;
    case OPC_DUP2_X1:
        if (!(d > 2 && d < c - 1))
            break;
        mark(&v[d - 1]), mark(&v[d - 2]), mark(&v[d - 3]);
        v[d + 1] = v[d - 1];
        v[d] = v[d - 2];
        v[d - 1] = v[d - 3];
        v[d - 2] = v[d + 1];
        v[d - 3] = v[d];
        s->depth = d + 2;
        return;
    case OPC_DUP2_X2:
        if (!(d > 3 && d < c - 1))
            break;
        mark(&v[d - 1]), mark(&v[d - 2]), mark(&v[d - 3]), mark(&v[d - 4]);
        v[d + 1] = v[d - 1];
        v[d] = v[d - 2];
        v[d - 1] = v[d - 3];
        v[d - 2] = v[d - 4];
        v[d - 3] = v[d + 1];
        v[d - 4] = v[d];
        s->depth = d + 2;
        return;
    case OPC_SWAP: {
        if (!(d > 1))
            break;
        mark(&v[d - 1]), mark(&v[d - 2]);
        typeflow_stack_entry t = v[d - 1];
        v[d - 1] = v[d - 2];
        v[d - 2] = t;
        return;
    }
    default: break;
    }
    s->depth = 0;
}

u4 array_element_class(const quadruple* q)
{
    switch (quad_kind_nibble(q)) {
    case 3: return TFC_BYTE;
    case 4: return TFC_SHORT;
    case 5: return TFC_CHAR;
    case 6: return TFC_UBYTE;
    default: return TFC_INT;
    }
}

void push_class(typeflow_stack* s, s4 kind, u4 position, u4 cls)
{
    tf_push(s, kind, -1, position, cls, tf_class_range(cls));
}

} // namespace

u4 tf_class_of_type(char t)
{
    switch (t) {
    case 'B': return TFC_BYTE;
    case 'C': return TFC_CHAR;
    case 'S': return TFC_SHORT;
    case 'Z': return TFC_BOOL;
    default: return TFC_INT;
    }
}

u4 tf_member_class(const quadruple* q)
{
    // Unresolved (or otherwise marked) references tell nothing.
    if (q->subcode & (QS_UNRESOLVED | 0x4000))
        return TFC_INT;
    if (q->opcode == OPC_ICALL) {
        const methodblock* mb = reinterpret_cast<const methodblock*>(q->value);
        if (mb == nullptr || mb->signature == nullptr)
            return TFC_INT;
        const char* close = strchr(mb->signature, ')');
        return close != nullptr ? tf_class_of_type(close[1]) : TFC_INT;
    }
    const fieldblock* fb = reinterpret_cast<const fieldblock*>(q->aux);
    if (fb == nullptr || fb->signature == nullptr)
        return TFC_INT;
    return tf_class_of_type(fb->signature[0]);
}

tf_range tf_entry_range(const typeflow_stack_entry& e)
{
    if (e.kind == TFK_CONST)
        return {e.number, e.number};
    u4 cls = e.cls & TFC_MASK;
    if (cls >= TFC_CHAR && cls <= 12)
        return tf_class_range(cls);
    switch (cls) {
    case TFC_LOCAL_MAX: return {e.min, TF_MAX};
    case TFC_LOCAL_MIN: return {TF_MIN, e.max};
    case TFC_LOCAL_PLUS: return TF_FULL_RANGE;
    default: return {e.min, e.max};
    }
}

void tf_generic_effect(typeflow_stack* s, const quadruple* q, u4 position)
{
    typeflow_stack_entry v;
    u1 op = q->opcode;
    switch (op) {
    case OPC_OTHER:
        if (quad_kind_nibble(q) == OTHER_RETURN_VOID || quad_kind_nibble(q) == OTHER_RET)
            tf_stack_reset(s);
        return;
    case OPC_ILOAD: case OPC_FLOAD: case OPC_ALOAD:
        tf_push(s, TFK_LOCAL, q->op, position, TFC_NONE, TF_FULL_RANGE);
        return;
    case OPC_ICONST:
        tf_push(s, TFK_CONST, static_cast<s4>(q->value), position, TFC_NONE,
                {static_cast<s4>(q->value), static_cast<s4>(q->value)});
        return;
    case OPC_IALOAD:
        tf_drop(s, 2);
        push_class(s, TFK_COMPUTED, position, array_element_class(q));
        return;
    case OPC_LALOAD: case OPC_DALOAD:
        tf_drop(s, 2);
        tf_push2(s, TFK_COMPUTED, -1, position, TFC_NONE, TF_FULL_RANGE);
        return;
    case OPC_FALOAD: case OPC_AALOAD:
        tf_drop(s, 2);
        push_class(s, TFK_COMPUTED, position, TFC_NONE);
        return;
    case OPC_IASTORE: case OPC_FASTORE: case OPC_AASTORE: tf_drop(s, 3); return;
    case OPC_LASTORE: case OPC_DASTORE:
        tf_pop2(s, &v);
        tf_drop(s, 2);
        return;
    case OPC_LLOAD: case OPC_DLOAD: case OPC_DCONST: case OPC_LGETSTATIC: case OPC_DGETSTATIC:
        tf_push2(s, TFK_COMPUTED, -1, position, TFC_NONE, TF_FULL_RANGE);
        return;
    case OPC_LSTORE: case OPC_DSTORE: case OPC_LPUTSTATIC: case OPC_DPUTSTATIC: case OPC_POP2:
        tf_pop2(s, &v);
        return;
    case OPC_LCONST: {
        // A long known to fit in an int keeps its value as a range.
        if (!(q->subcode & QS_LCONST_INT)) {
            tf_push2(s, TFK_COMPUTED, -1, position, TFC_NONE, TF_FULL_RANGE);
            return;
        }
        s4 c = static_cast<s4>(q->value);
        if (c == 0 || c == -1) {
            s4 v01 = c == 0 ? 0 : 1;
            tf_push2(s, TFK_CONST, v01, position, TFC_LONG_INT, {v01, v01});
        } else {
            s4 low;
            memcpy(&low, reinterpret_cast<const void*>(q->value), 4);
            tf_push2(s, TFK_LONG_CONST, -1, position, TFC_LONG_INT, {low, low});
        }
        return;
    }
    case OPC_LOP2: {
        typeflow_stack_entry y;
        bool have_y = tf_pop2(s, &y);
        bool have_x = tf_pop2(s, &v);
        // x & c with c a non-negative int-sized constant lies in [0, c].
        if (q->op == QOP_AND && have_x && have_y) {
            const typeflow_stack_entry* c = (y.cls & TFC_LONG_INT) && y.min == y.max && y.min >= 0 ? &y
                                            : (v.cls & TFC_LONG_INT) && v.min == v.max && v.min >= 0 ? &v : nullptr;
            if (c != nullptr) {
                tf_push2(s, TFK_COMPUTED, -1, position, TFC_LONG_INT, {0, c->min});
                return;
            }
        }
        tf_push2(s, TFK_COMPUTED, -1, position, TFC_NONE, TF_FULL_RANGE);
        return;
    }
    case OPC_DOP2:
        tf_pop2(s, &v);
        tf_pop2(s, &v);
        tf_push2(s, TFK_COMPUTED, -1, position, TFC_NONE, TF_FULL_RANGE);
        return;
    case OPC_LSHIFT:
        tf_pop(s, &v);
        tf_pop2(s, &v);
        tf_push2(s, TFK_COMPUTED, -1, position, TFC_NONE, TF_FULL_RANGE);
        return;
    case OPC_LOP1: case OPC_DOP1: case OPC_L2D: case OPC_D2L:
        tf_pop2(s, &v);
        tf_push2(s, TFK_COMPUTED, -1, position, TFC_NONE, TF_FULL_RANGE);
        return;
    case OPC_LCMP:
        tf_pop2(s, &v);
        tf_pop2(s, &v);
        tf_push(s, TFK_COMPUTED, -1, position, TFC_RANGE, {-1, 1});
        return;
    case OPC_FCMP: case OPC_DCMP:
        if (op == OPC_FCMP)
            tf_drop(s, 2);
        else
            tf_pop2(s, &v), tf_pop2(s, &v);
        tf_push(s, TFK_COMPUTED, -1, position, TFC_RANGE, {-1, 1});
        return;
    case OPC_FCONST: case OPC_FGETSTATIC: case OPC_NEW: case OPC_AGETSTATIC: case OPC_LDC: case OPC_ACONST:
        push_class(s, TFK_COMPUTED, position, TFC_NONE);
        return;
    case OPC_FSTORE: case OPC_ASTORE: case OPC_IFNULL: case OPC_MONITOR: case OPC_IPUTSTATIC:
    case OPC_FPUTSTATIC: case OPC_APUTSTATIC: case OPC_POP: case OPC_SWITCH:
        tf_pop(s, &v);
        return;
    case OPC_FOP2:
        tf_drop(s, 2);
        push_class(s, TFK_COMPUTED, position, TFC_NONE);
        return;
    case OPC_FOP1: case OPC_CHECKCAST: case OPC_FGETFIELD: case OPC_AGETFIELD: case OPC_I2F: case OPC_NEWARRAY:
    case OPC_ANEWARRAY:
        tf_pop(s, &v);
        push_class(s, TFK_COMPUTED, position, TFC_NONE);
        return;
    case OPC_L2I: case OPC_D2I:
        v.cls = 0;
        tf_pop2(s, &v);
        if (op == OPC_L2I && (v.cls & TFC_LONG_INT))
            tf_push(s, TFK_COMPUTED, -1, position, TFC_RANGE, {v.min, v.max});
        else
            push_class(s, TFK_COMPUTED, position, TFC_INT);
        return;
    case OPC_L2F: case OPC_D2F:
        tf_pop2(s, &v);
        push_class(s, TFK_COMPUTED, position, TFC_NONE);
        return;
    case OPC_IFACMP: tf_drop(s, 2); return;
    case OPC_INSTANCEOF:
        tf_pop(s, &v);
        push_class(s, TFK_COMPUTED, position, TFC_BOOL);
        return;
    case OPC_ICALL:
        tf_drop(s, q->count & 0xFF);
        push_class(s, TFK_FIELD, position, tf_member_class(q));
        return;
    case OPC_LCALL: case OPC_DCALL:
        tf_drop(s, q->count & 0xFF);
        tf_push2(s, TFK_COMPUTED, -1, position, TFC_NONE, TF_FULL_RANGE);
        return;
    case OPC_FCALL: case OPC_ACALL:
        tf_drop(s, q->count & 0xFF);
        push_class(s, TFK_COMPUTED, position, TFC_NONE);
        return;
    case OPC_VCALL: tf_drop(s, q->count & 0xFF); return;
    case OPC_IGETFIELD:
        tf_pop(s, &v);
        push_class(s, TFK_FIELD, position, tf_member_class(q));
        return;
    case OPC_LGETFIELD: case OPC_DGETFIELD: case OPC_I2D: case OPC_F2L: case OPC_F2D:
        tf_pop(s, &v);
        tf_push2(s, TFK_COMPUTED, -1, position, TFC_NONE, TF_FULL_RANGE);
        return;
    case OPC_IPUTFIELD: case OPC_FPUTFIELD: case OPC_APUTFIELD: tf_drop(s, 2); return;
    case OPC_LPUTFIELD: case OPC_DPUTFIELD:
        tf_pop2(s, &v);
        tf_pop(s, &v);
        return;
    case OPC_IGETSTATIC: push_class(s, TFK_STATIC, position, tf_member_class(q)); return;
    case OPC_MULTIANEWARRAY:
        tf_drop(s, q->count);
        push_class(s, TFK_COMPUTED, position, TFC_NONE);
        return;
    case OPC_ARRAYLENGTH:
        tf_pop(s, &v);
        tf_push(s, TFK_COMPUTED, -1, position, TFC_RANGE, {0, TF_MAX});
        return;
    case OPC_F2I:
        tf_pop(s, &v);
        push_class(s, TFK_COMPUTED, position, TFC_INT);
        return;
    case OPC_I2L:
        if (tf_pop(s, &v)) {
            tf_range r = tf_entry_range(v);
            tf_push2(s, TFK_COMPUTED, -1, position, TFC_LONG_INT, r);
        } else {
            tf_push2(s, TFK_COMPUTED, -1, position, TFC_LONG_INT, TF_FULL_RANGE);
        }
        return;
    case OPC_DUP: case OPC_DUP2: case OPC_DUP_X1: case OPC_DUP2_X1: case OPC_DUP_X2: case OPC_DUP2_X2:
    case OPC_SWAP:
        shuffle(s, op);
        return;
    case OPC_NULLCHECK_MARK: tf_drop(s, q->op); return;
    default:
        // Returns, throws, jumps, subroutines and anything later stages make.
        tf_stack_reset(s);
        return;
    }
}

bool tf_stack_carries(method_compile_context* m, u4 prev, u4 block)
{
    if (prev >= m->bb_count)
        return false;
    const bbattr* p = m->bb_table[prev];
    const bbattr* b = m->bb_table[block];
    if (b->pred_count != 1)
        return false;
    return (p->succ_count > 0 && p->succ[0] == block) || (p->succ_count > 1 && p->succ[1] == block);
}

// ---- transfer building ---------------------------------------------------------------------

namespace {

struct builder {
    typeflow_state* st;
    typeflow_block_record* rec;
    bool widen;             // increments and local-plus-constant stores widen
    bool failed;
};

void put(builder* b, const void* bytes, u4 n)
{
    typeflow_block_record* r = b->rec;
    if (static_cast<u4>(r->length) + n > r->capacity) {
        u4 cap = r->capacity == 0 ? TF_LIST_INITIAL : r->capacity * 2u;
        while (cap < static_cast<u4>(r->length) + n)
            cap *= 2;
        if (cap > 0xFFFF) {
            b->failed = true;
            return;
        }
        auto* list = static_cast<u1*>(jit_wmem_alloc(b->st->m->pool1, cap));
        if (list == nullptr) {
            b->failed = true;
            return;
        }
        if (r->length > 0)
            memcpy(list, r->list, r->length);
        r->list = list;
        r->capacity = static_cast<u2>(cap);
    }
    memcpy(r->list + r->length, bytes, n);
    r->length = static_cast<u2>(r->length + n);
}

void put1(builder* b, u1 v) { put(b, &v, 1); }
void put2(builder* b, u4 v)
{
    u2 w = static_cast<u2>(v);
    put(b, &w, 2);
}
void put4(builder* b, s4 v) { put(b, &v, 4); }

bool local_ok(builder* b, s4 n) { return n >= 0 && static_cast<u4>(n) < b->st->locals; }

void entry_local(builder* b, u1 code, s4 n)
{
    put1(b, code);
    put2(b, static_cast<u4>(n));
}

void entry_value(builder* b, u1 code, s4 n, s4 value)
{
    entry_local(b, code, n);
    put4(b, value);
}

void entry_range(builder* b, u1 code, s4 n, tf_range r)
{
    entry_local(b, code, n);
    put4(b, r.lo);
    put4(b, r.hi);
}

// An addition of k to local n that may have to widen.
void entry_add(builder* b, s4 n, s4 k)
{
    if (k != 0)
        entry_value(b, b->widen ? TF_WIDEN : TF_ADD, n, k);
}

void store_rule(builder* b, s4 n, bool popped, const typeflow_stack_entry& v)
{
    if (!popped) {
        entry_local(b, TF_FULL, n);
        return;
    }
    u4 cls = v.cls & TFC_MASK;
    if (v.kind == TFK_LOCAL && local_ok(b, v.number)
        && (cls == TFC_NONE || cls == TFC_LOCAL_PLUS || cls == TFC_LOCAL_MAX || cls == TFC_LOCAL_MIN)) {
        if (v.number != n) {
            put1(b, TF_COPY);
            put2(b, static_cast<u4>(n));
            put2(b, static_cast<u4>(v.number));
        }
        if (cls == TFC_LOCAL_PLUS)
            entry_add(b, n, v.min);
        else if (cls == TFC_LOCAL_MAX)
            entry_value(b, TF_MAX_CONST, n, v.min);
        else if (cls == TFC_LOCAL_MIN)
            entry_value(b, TF_MIN_CONST, n, v.max);
        return;
    }
    if (v.kind == TFK_CONST) {
        entry_value(b, TF_CONST, n, v.number);
        return;
    }
    tf_range r = tf_entry_range(v);
    if (tf_full(r) || tf_empty(r))
        entry_local(b, TF_FULL, n);
    else
        entry_range(b, TF_SET, n, r);
}

// Local copy usable by the refinements: exactly a local, or a local plus k.
bool plain_local(builder* b, const typeflow_stack_entry& e)
{
    return e.kind == TFK_LOCAL && local_ok(b, e.number) && (e.cls & TFC_MASK) == TFC_NONE;
}
bool offset_local(builder* b, const typeflow_stack_entry& e)
{
    return e.kind == TFK_LOCAL && local_ok(b, e.number) && (e.cls & TFC_MASK) == TFC_LOCAL_PLUS;
}

u1 exchanged(u1 cond)
{
    switch (cond) {
    case TFCC_LT: return TFCC_GT;
    case TFCC_GT: return TFCC_LT;
    case TFCC_LE: return TFCC_GE;
    case TFCC_GE: return TFCC_LE;
    case TFCC_UGT: return TFCC_ULT;
    case TFCC_ULT: return TFCC_UGT;
    default: return cond;
    }
}

bool known_condition(u1 cond) { return (cond >= TFCC_EQ && cond <= TFCC_GE) || cond == TFCC_UGT || cond == TFCC_ULT; }

void refine_against_const(builder* b, u1 cond, u4 target, const typeflow_stack_entry& local, s4 c)
{
    if (plain_local(b, local)) {
        put1(b, TF_REFINE_CONST);
        put1(b, cond);
        put2(b, target);
        put2(b, static_cast<u4>(local.number));
        put4(b, c);
    } else if (offset_local(b, local)) {
        put1(b, TF_REFINE_PLUS);
        put1(b, cond);
        put2(b, target);
        put2(b, static_cast<u4>(local.number));
        put4(b, c);
        put4(b, local.min);
    }
}

void branch_entries(builder* b, const quadruple* q, bool have_x, const typeflow_stack_entry& x, bool have_y,
                    const typeflow_stack_entry& y)
{
    u1 cond = static_cast<u1>(q->op);
    u4 target = q->target;
    if (!known_condition(cond) || target > 0xFFFF || !have_x)
        return;
    if (q->opcode == OPC_IFZ) {
        refine_against_const(b, cond, target, x, 0);
        return;
    }
    if (!have_y)
        return;
    if (y.kind == TFK_CONST) {
        refine_against_const(b, cond, target, x, y.number);
        return;
    }
    if (x.kind == TFK_CONST) {
        refine_against_const(b, exchanged(cond), target, y, x.number);
        return;
    }
    if (plain_local(b, x) && plain_local(b, y)) {
        if (cond >= TFCC_LT && cond <= TFCC_GE) {
            put1(b, TF_REFINE_LOCALS);
            put1(b, cond);
            put2(b, target);
            put2(b, static_cast<u4>(x.number));
            put2(b, static_cast<u4>(y.number));
        }
        return;
    }
    // A local against a value of a narrow type.
    const typeflow_stack_entry* local = plain_local(b, x) ? &x : plain_local(b, y) ? &y : nullptr;
    if (local == nullptr || cond == TFCC_EQ || cond == TFCC_NE)
        return;
    const typeflow_stack_entry& other = local == &x ? y : x;
    u4 cls = other.cls & TFC_MASK;
    if (other.kind == TFK_LOCAL || !(cls >= TFC_CHAR && cls <= 12))
        return;
    put1(b, TF_REFINE_TYPE);
    put1(b, local == &x ? cond : exchanged(cond));
    put2(b, target);
    put2(b, static_cast<u4>(local->number));
    put1(b, static_cast<u1>(cls >= 8 ? cls - TFC_CLAMP : cls));
}

void binop(builder* b, const quadruple* q, u4 i)
{
    typeflow_stack* s = &b->st->stack;
    typeflow_stack_entry x, y;
    bool have_y = tf_pop(s, &y);
    bool have_x = tf_pop(s, &x);
    if (!have_x || !have_y) {
        push_class(s, TFK_COMPUTED, i, TFC_INT);
        return;
    }
    u2 op = q->op;
    // Relations to a local that the store rule turns into transfer entries.
    const typeflow_stack_entry* local = plain_local(b, x) ? &x : plain_local(b, y) ? &y : nullptr;
    const typeflow_stack_entry* cst = x.kind == TFK_CONST ? &x : y.kind == TFK_CONST ? &y : nullptr;
    if (local != nullptr && cst != nullptr) {
        s4 c = cst->number;
        bool local_first = local == &x;
        if (op == QOP_ADD || (op == QOP_SUB && local_first && c != TF_MIN)) {
            tf_push(s, TFK_LOCAL, local->number, i, TFC_LOCAL_PLUS, {op == QOP_ADD ? c : -c, 0});
            return;
        }
        if (op == QOP_MAX) {
            tf_push(s, TFK_LOCAL, local->number, i, TFC_LOCAL_MAX, {c, TF_MAX});
            return;
        }
        if (op == QOP_MIN) {
            tf_push(s, TFK_LOCAL, local->number, i, TFC_LOCAL_MIN, {TF_MIN, c});
            return;
        }
    }
    tf_range rx = tf_entry_range(x), ry = tf_entry_range(y);
    tf_range r;
    if (x.kind == TFK_CONST && y.kind != TFK_CONST
        && (op == QOP_ADD || op == QOP_AND || op == QOP_MAX || op == QOP_MIN))
        r = tf_binop_range(op, ry, rx, true);
    else
        r = tf_binop_range(op, rx, ry, y.kind == TFK_CONST);
    if (tf_full(r))
        push_class(s, TFK_COMPUTED, i, TFC_INT);
    else
        tf_push(s, TFK_COMPUTED, -1, i, TFC_RANGE, r);
}

tf_range convert_range(u2 op, tf_range v)
{
    switch (op) {
    case QOP_I2B: {
        tf_range t = tf_class_range(TFC_BYTE);
        return !tf_empty(v) && v.lo >= t.lo && v.hi <= t.hi ? v : t;
    }
    case QOP_I2C: {
        tf_range t = tf_class_range(TFC_CHAR);
        return !tf_empty(v) && v.lo >= t.lo && v.hi <= t.hi ? v : t;
    }
    case QOP_I2S: {
        tf_range t = tf_class_range(TFC_SHORT);
        return !tf_empty(v) && v.lo >= t.lo && v.hi <= t.hi ? v : t;
    }
    case QOP_I2Z: case QOP_NOT: return {0, 1};
    case QOP_BOOLNOT: return !tf_empty(v) && v.lo >= 0 && v.hi <= 1 ? tf_range{0, 1} : TF_FULL_RANGE;
    case QOP_NEG: return tf_empty(v) || v.lo == TF_MIN ? TF_FULL_RANGE : tf_range{-v.hi, -v.lo};
    default: return TF_FULL_RANGE;
    }
}

void build_block(builder* b, u4 block)
{
    method_compile_context* m = b->st->m;
    bbattr* bb = m->bb_table[block];
    typeflow_stack* s = &b->st->stack;
    s->block = block;
    for (u4 i = 0; i < bb->quad_count && !b->failed; i++) {
        const quadruple* q = bb->catbl[i];
        if (q->opcount & QC_DELETED)
            continue;
        typeflow_stack_entry v, w;
        switch (q->opcode) {
        case OPC_ISTORE: {
            bool popped = tf_pop(s, &v);
            s4 n = q->op;
            if (local_ok(b, n)) {
                store_rule(b, n, popped, v);
                tf_forget_local(s, n);
            }
            break;
        }
        case OPC_IINC: {
            s4 n = q->op;
            if (local_ok(b, n)) {
                entry_add(b, n, static_cast<int16_t>(q->count));
                tf_forget_local(s, n);
            }
            break;
        }
        case OPC_IOP2: binop(b, q, i); break;
        case OPC_IOP1:
            if (tf_pop(s, &v)) {
                tf_range r = convert_range(q->op, tf_entry_range(v));
                if (tf_full(r))
                    push_class(s, TFK_COMPUTED, i, TFC_INT);
                else
                    tf_push(s, TFK_COMPUTED, -1, i, TFC_RANGE, r);
            } else {
                tf_range r = convert_range(q->op, TF_FULL_RANGE);
                tf_push(s, TFK_COMPUTED, -1, i, tf_full(r) ? TFC_INT : TFC_RANGE, r);
            }
            break;
        case OPC_IFZ: {
            bool have = tf_pop(s, &v);
            branch_entries(b, q, have, v, false, v);
            break;
        }
        case OPC_IFCMP: {
            bool have_y = tf_pop(s, &w);
            bool have_x = tf_pop(s, &v);
            branch_entries(b, q, have_x, v, have_y, w);
            break;
        }
        case OPC_SWITCH: {
            bool have = tf_pop(s, &v);
            typeflow_block_record* r = b->rec;
            if (have && plain_local(b, v) && bb->succ_count > 1) {
                auto* values = static_cast<s4*>(jit_wmem_alloc(m->pool1, bb->succ_count * sizeof(s4)));
                if (values == nullptr) {
                    b->failed = true;
                    break;
                }
                values[0] = 0;
                bool dense = quad_kind_nibble(q) == 0;
                const u1* table = reinterpret_cast<const u1*>(q->second);
                for (u4 j = 1; j < bb->succ_count; j++) {
                    if (dense) {
                        values[j] = static_cast<s4>(q->target + (j - 1));
                    } else {
                        const u1* p = table + 8 * j;
                        values[j] = static_cast<s4>(static_cast<u4>(p[0]) << 24 | static_cast<u4>(p[1]) << 16
                                                    | static_cast<u4>(p[2]) << 8 | p[3]);
                    }
                }
                r->switch_local = v.number;
                r->switch_values = values;
            }
            break;
        }
        default: tf_generic_effect(s, q, i); break;
        }
    }
}

} // namespace

// ---- applying a transfer list and solving ---------------------------------------------------

namespace {

u2 get2(const u1* p)
{
    u2 v;
    memcpy(&v, p, 2);
    return v;
}
s4 get4(const u1* p)
{
    s4 v;
    memcpy(&v, p, 4);
    return v;
}

tf_range out_of(const typeflow_local_range& r) { return {r.out_min, r.out_max}; }
tf_range taken_of(const typeflow_local_range& r) { return {r.taken_min, r.taken_max}; }
void set_out(typeflow_local_range& r, tf_range v) { r.out_min = v.lo, r.out_max = v.hi; }
void set_taken(typeflow_local_range& r, tf_range v) { r.taken_min = v.lo, r.taken_max = v.hi; }

bool in_range(u4 n, u4 locals) { return n < locals; }

// Refinement set-up: the local's TAKEN starts as its OUT.
typeflow_local_range* refined(typeflow_local_range* lr, u4 locals, u4 n, u4 target)
{
    if (!in_range(n, locals))
        return nullptr;
    lr[n].target = static_cast<s4>(target);
    lr[n].taken_min = lr[n].out_min;
    lr[n].taken_max = lr[n].out_max;
    return &lr[n];
}

void refine_locals(typeflow_local_range* a, typeflow_local_range* b, u1 cond)
{
    tf_range ta = taken_of(*a), tb = taken_of(*b), oa = out_of(*a), ob = out_of(*b);
    if (tf_empty(ta) || tf_empty(tb))
        return;
    int64_t one = 1;
    switch (cond) {
    case TFCC_LT:   // a < b taken; a >= b fall-through
        set_taken(*a, tf_narrow(ta, TF_MIN, tb.hi - one));
        set_taken(*b, tf_narrow(tb, ta.lo + one, TF_MAX));
        set_out(*a, tf_narrow(oa, ob.lo, TF_MAX));
        set_out(*b, tf_narrow(ob, TF_MIN, oa.hi));
        return;
    case TFCC_LE:
        set_taken(*a, tf_narrow(ta, TF_MIN, tb.hi));
        set_taken(*b, tf_narrow(tb, ta.lo, TF_MAX));
        set_out(*a, tf_narrow(oa, ob.lo + one, TF_MAX));
        set_out(*b, tf_narrow(ob, TF_MIN, oa.hi - one));
        return;
    case TFCC_GT:
        set_taken(*a, tf_narrow(ta, tb.lo + one, TF_MAX));
        set_taken(*b, tf_narrow(tb, TF_MIN, ta.hi - one));
        set_out(*a, tf_narrow(oa, TF_MIN, ob.hi));
        set_out(*b, tf_narrow(ob, oa.lo, TF_MAX));
        return;
    case TFCC_GE:
        set_taken(*a, tf_narrow(ta, tb.lo, TF_MAX));
        set_taken(*b, tf_narrow(tb, TF_MIN, ta.hi));
        set_out(*a, tf_narrow(oa, TF_MIN, ob.hi - one));
        set_out(*b, tf_narrow(ob, oa.lo + one, TF_MAX));
        return;
    default: return;
    }
}

} // namespace

// Replays block `block`'s list over IN; answers whether OUT or TAKEN moved.
int typeflow_apply(typeflow_state* st, u4 block)
{
    typeflow_block_record* rec = &st->blocks[block];
    typeflow_local_range* lr = rec->ranges;
    u4 L = st->locals;
    for (u4 n = 0; n < L; n++) {
        typeflow_local_range& r = lr[n];
        r.prev_out_min = r.out_min, r.prev_out_max = r.out_max;
        r.prev_taken_min = r.taken_min, r.prev_taken_max = r.taken_max;
        r.out_min = r.in_min, r.out_max = r.in_max;
    }
    const u1* p = rec->list;
    const u1* end = p + rec->length;
    while (p < end) {
        u1 code = *p++;
        if (code == TF_REFINE_LOCALS) {
            u1 cond = p[0];
            u4 target = get2(p + 1), a = get2(p + 3), b = get2(p + 5);
            p += 7;
            typeflow_local_range* ra = refined(lr, L, a, target);
            typeflow_local_range* rb = refined(lr, L, b, target);
            if (ra != nullptr && rb != nullptr && a != b)
                refine_locals(ra, rb, cond);
            continue;
        }
        if (code == TF_REFINE_CONST || code == TF_REFINE_PLUS || code == TF_REFINE_TYPE) {
            u1 cond = p[0];
            u4 target = get2(p + 1), n = get2(p + 3);
            typeflow_local_range* r = refined(lr, L, n, target);
            tf_range t = r != nullptr ? taken_of(*r) : TF_FULL_RANGE, o = t;
            if (code == TF_REFINE_CONST) {
                tf_refine_const(cond, get4(p + 5), &t, &o);
                p += 9;
            } else if (code == TF_REFINE_PLUS) {
                s4 c = get4(p + 5), k = get4(p + 9);
                p += 13;
                // local + k cond c says local cond c - k only while local + k cannot wrap.
                if (r != nullptr && !tf_empty(o) && static_cast<int64_t>(o.lo) + k >= TF_MIN
                    && static_cast<int64_t>(o.hi) + k <= TF_MAX)
                    tf_refine_const(cond, static_cast<int64_t>(c) - k, &t, &o);
            } else {
                tf_refine_range(cond, tf_class_range(p[5]), &t, &o);
                p += 6;
            }
            if (r != nullptr) {
                set_taken(*r, t);
                set_out(*r, o);
            }
            continue;
        }
        u4 n = get2(p);
        p += 2;
        if (code == TF_COPY) {
            u4 from = get2(p);
            p += 2;
            if (in_range(n, L) && in_range(from, L))
                set_out(lr[n], out_of(lr[from]));
            continue;
        }
        s4 a = 0, b = 0;
        if (code == TF_INTERSECT || code == TF_SET) {
            a = get4(p), b = get4(p + 4);
            p += 8;
        } else if (code >= TF_SET_MIN && code <= TF_ADD) {
            a = get4(p);
            p += 4;
        } else if (code == TF_WIDEN || code == TF_MAX_CONST || code == TF_MIN_CONST) {
            a = get4(p);
            p += 4;
        }
        if (!in_range(n, L))
            continue;
        typeflow_local_range& r = lr[n];
        tf_range o = out_of(r);
        switch (code) {
        case TF_FULL: o = TF_FULL_RANGE; break;
        case TF_KEEP: break;
        case TF_INTERSECT: o = tf_narrow(o, a, b); break;
        case TF_SET: o = {a, b}; break;
        case TF_SET_MIN: if (!tf_empty(o)) o.lo = a; break;
        case TF_SET_MAX: if (!tf_empty(o)) o.hi = a; break;
        case TF_CONST: o = {a, a}; break;
        case TF_ADD: o = tf_add_const(o, a); break;
        case TF_WIDEN: o = tf_widen_increment(o, a); break;
        case TF_MAX_CONST:
            if (!tf_empty(o))
                o = {o.lo > a ? o.lo : a, o.hi > a ? o.hi : a};
            break;
        case TF_MIN_CONST:
            if (!tf_empty(o))
                o = {o.lo < a ? o.lo : a, o.hi < a ? o.hi : a};
            break;
        default:
            if (code >= TF_SET_TYPE && code < TF_CLAMP_TYPE)
                o = tf_class_range(code);
            else if (code >= TF_CLAMP_TYPE && code < TF_INTERSECT) {
                tf_range t = tf_class_range(code);
                o = tf_narrow(o, t.lo, t.hi);
            }
            break;
        }
        set_out(r, o);
    }
    int changed = 0;
    for (u4 n = 0; n < L && changed != 3; n++) {
        const typeflow_local_range& r = lr[n];
        if (r.out_min != r.prev_out_min || r.out_max != r.prev_out_max)
            changed |= 1;
        if (r.target != 0 && (r.taken_min != r.prev_taken_min || r.taken_max != r.prev_taken_max))
            changed |= 2;
    }
    return changed;
}

namespace {

// Joins `from` into IN of local n of block s; true when IN grew.
bool widen_in(typeflow_local_range& r, tf_range from)
{
    tf_range in = {r.in_min, r.in_max};
    tf_range j = tf_join(in, from);
    if (j.lo == in.lo && j.hi == in.hi)
        return false;
    r.in_min = j.lo, r.in_max = j.hi;
    return true;
}

bool solve(typeflow_state* st, u4* worklist)
{
    method_compile_context* m = st->m;
    u4 L = st->locals;
    u4 exit_id = m->bb_count - 1;
    for (u4 sweep = 0;; sweep++) {
        if (sweep >= TF_MAX_SWEEPS)
            return false;
        bool any = false;
        for (u4 d = 0; d < m->dfs_count; d++) {
            u4 block = m->dfs_array[d];
            if (block >= exit_id)
                continue;
            typeflow_block_record* rec = &st->blocks[block];
            if (rec->ranges == nullptr || !(worklist[block >> 5] & (1u << (block & 31))))
                continue;
            worklist[block >> 5] &= ~(1u << (block & 31));
            any = true;
            typeflow_apply(st, block);
            bbattr* bb = m->bb_table[block];
            if (bb->flags & BB_DEAD)
                continue;
            for (u4 j = 0; j < bb->succ_count; j++) {
                u4 s = bb_succ_block(bb->succ[j]);
                if (s >= exit_id || st->blocks[s].ranges == nullptr)
                    continue;
                typeflow_local_range* to = st->blocks[s].ranges;
                bool grew = false;
                for (u4 n = 0; n < L; n++) {
                    const typeflow_local_range& r = rec->ranges[n];
                    tf_range from = out_of(r);
                    if (j == 1 && r.target != 0 && static_cast<u4>(r.target) == s)
                        from = taken_of(r);
                    if (j >= 1 && rec->switch_values != nullptr && static_cast<s4>(n) == rec->switch_local)
                        from = {rec->switch_values[j], rec->switch_values[j]};
                    grew |= widen_in(to[n], from);
                }
                if (grew)
                    worklist[s >> 5] |= 1u << (s & 31);
            }
        }
        if (!any)
            return true;
    }
}

// Blocks on a cycle of the flow graph (strongly connected with themselves),
// by an iterative Tarjan walk.  Increments in them widen even where no loop
// record marks the block.
void mark_cyclic(method_compile_context* m, u1* cyclic)
{
    u4 n = m->bb_count;
    auto* index = static_cast<s4*>(jit_wmem_alloc(m->pool1, n * 4 * sizeof(s4)));
    s4* low = index + n;
    s4* stack = low + n;
    s4* next = stack + n;    // successor cursor of each block on the walk
    auto* on = static_cast<u1*>(jit_wmem_alloc(m->pool1, n));
    auto* call = static_cast<u4*>(jit_wmem_alloc(m->pool1, n * sizeof(u4)));
    for (u4 i = 0; i < n; i++)
        index[i] = -1, on[i] = 0, cyclic[i] = 0;
    s4 counter = 0, sp = 0, depth = 0;
    for (u4 root = 0; root < n; root++) {
        if (index[root] >= 0 || (m->bb_table[root]->flags & BB_DEAD))
            continue;
        call[depth++] = root;
        index[root] = low[root] = counter++;
        next[root] = 0;
        stack[sp++] = static_cast<s4>(root);
        on[root] = 1;
        while (depth > 0) {
            u4 v = call[depth - 1];
            bbattr* b = m->bb_table[v];
            // The exit block's list names its predecessors.
            if (v + 1 < n && static_cast<u4>(next[v]) < b->succ_count) {
                u4 w = bb_succ_block(b->succ[next[v]++]);
                if (w >= n || (m->bb_table[w]->flags & BB_DEAD))
                    continue;
                if (w == v)
                    cyclic[v] = 1;
                if (index[w] < 0) {
                    index[w] = low[w] = counter++;
                    next[w] = 0;
                    stack[sp++] = static_cast<s4>(w);
                    on[w] = 1;
                    call[depth++] = w;
                } else if (on[w] && index[w] < low[v]) {
                    low[v] = index[w];
                }
                continue;
            }
            depth--;
            if (depth > 0) {
                u4 parent = call[depth - 1];
                if (low[v] < low[parent])
                    low[parent] = low[v];
            }
            if (low[v] == index[v]) {
                s4 top = sp;
                while (sp > 0 && stack[sp - 1] != static_cast<s4>(v))
                    on[stack[--sp]] = 0;
                on[stack[--sp]] = 0;
                if (top - sp > 1)
                    for (s4 k = sp; k < top; k++)
                        cyclic[stack[k]] = 1;
            }
        }
    }
}

struct debug_range {
    s4 from = -1, upto = -1;
};

debug_range read_debug_range(method_compile_context* m)
{
    debug_range d;
    if ((m->selector & 0xFF) != SELECT_TYPEFLOW)
        return d;
    const char* f = getenv("ORVA_SKIPBBFROM");
    const char* u = getenv("ORVA_SKIPBBUPTO");
    if (f != nullptr)
        d.from = static_cast<s4>(strtol(f, nullptr, 10));
    if (u != nullptr)
        d.upto = static_cast<s4>(strtol(u, nullptr, 10));
    if (f != nullptr && u == nullptr)
        d.upto = 65535;
    if (f == nullptr && u != nullptr)
        d.from = 0;
    if (f != nullptr || u != nullptr)
        printf("force typeflow on IINC : from BB[%d] upto BB[%d]\n", d.from, d.upto);
    return d;
}

void parameter_ranges(method_compile_context* m, typeflow_local_range* lr, u4 L)
{
    const char* sig = m->mb->signature;
    if (sig == nullptr || *sig != '(')
        return;
    u4 n = (m->mb->access & ACC_STATIC) ? 0 : 1;
    for (const char* p = sig + 1; *p != '\0' && *p != ')'; p++, n++) {
        tf_range r = TF_FULL_RANGE;
        switch (*p) {
        case 'B': r = tf_class_range(TFC_BYTE); break;
        case 'C': r = tf_class_range(TFC_CHAR); break;
        case 'S': r = tf_class_range(TFC_SHORT); break;
        case 'Z': r = tf_class_range(TFC_BOOL); break;
        case 'J': case 'D': n++; break;
        case 'L':
            while (*p != '\0' && *p != ';')
                p++;
            break;
        case '[':
            while (*p == '[')
                p++;
            if (*p == 'L')
                while (*p != '\0' && *p != ';')
                    p++;
            break;
        default: break;
        }
        if (*p == '\0')
            return;
        if (n < L)
            lr[n].in_min = r.lo, lr[n].in_max = r.hi;
    }
}

bool has_handlers(const method_compile_context* m)
{
    return df_exception_entries(m) > 0 || (m->mb != nullptr && m->mb->exception_table_length > 0);
}

} // namespace

int dataflow_typeflow(method_compile_context* m, dataflow_pass_context* pc)
{
    if (df_env_switch(&disable_typeflow, "DISABLE_TYPEFLOW") != 0)
        return 0;
    // A subroutine's effect on the locals never reaches its return point in
    // the block graph (the jsr's block goes straight on), so none is analysed.
    if (has_handlers(m) || m->subroutine_count > 0 || !(pc->flags & DFP_TYPEFLOW) || m->bb_count < 2 || m->dfs_array == nullptr)
        return 0;
    u4 B = m->bb_count;
    auto* cyclic = static_cast<u1*>(jit_wmem_alloc(m->pool1, B));
    if (cyclic == nullptr)
        return 1;
    mark_cyclic(m, cyclic);
    bool loops = m->loop_count >= 1;
    for (u4 i = 0; i < B && !loops; i++)
        loops = cyclic[i] != 0;
    if (!loops)
        return 0;
    if (m->max_stack == 0)
        return 1;
    u4 L = m->local_count;
    if (L == 0 || static_cast<uint64_t>(L) * sizeof(typeflow_local_range) * (B - 1) > TF_RANGE_BYTES_LIMIT)
        return 0;

    typeflow_stack_entry frame_slots[TF_STACK_IN_FRAME];
    typeflow_state st{};
    st.m = m;
    st.pc = pc;
    st.locals = L;
    st.stack.capacity = m->max_stack;
    st.stack.slots = frame_slots;
    if (m->max_stack > TF_STACK_IN_FRAME) {
        st.stack.slots = static_cast<typeflow_stack_entry*>(
            jit_wmem_alloc(m->pool1, m->max_stack * sizeof(typeflow_stack_entry)));
        if (st.stack.slots == nullptr)
            return 1;
    }
    u4 words = (B + 31) / 32;
    auto* worklist = static_cast<u4*>(jit_wmem_alloc(m->pool1, words * 4));
    st.blocks = static_cast<typeflow_block_record*>(jit_wmem_alloc(m->pool1, B * sizeof(typeflow_block_record)));
    if (worklist == nullptr || st.blocks == nullptr)
        return 1;
    memset(worklist, 0, words * 4);
    memset(st.blocks, 0, B * sizeof(typeflow_block_record));
    for (u4 i = 0; i < B; i++)
        st.blocks[i].switch_local = -1;

    // Transfer lists, in DFS order, the stack carried into a sole successor.
    debug_range dbg = read_debug_range(m);
    builder b{&st, nullptr, false, false};
    bool any_list = false;
    u4 prev = B;
    for (u4 d = 0; d < m->dfs_count; d++) {
        u4 block = m->dfs_array[d];
        if (block >= B - 1)
            continue;
        bbattr* bb = m->bb_table[block];
        if (bb->quad_count == 0 || (bb->flags & BB_DEAD))
            continue;
        if (!tf_stack_carries(m, prev, block))
            tf_stack_reset(&st.stack);
        b.rec = &st.blocks[block];
        b.widen = (bb->flags & BB_LOOP_MEMBER) || cyclic[block]
                  || (dbg.from >= 0 && static_cast<s4>(block) >= dbg.from && static_cast<s4>(block) <= dbg.upto);
        build_block(&b, block);
        if (b.failed)
            return 1;
        any_list |= b.rec->length > 0;
        prev = block;
    }
    if (!any_list)
        return 0;

    for (u4 block = B - 1; block-- > 0;) {
        bbattr* bb = m->bb_table[block];
        if (bb->flags & BB_DEAD)
            continue;
        auto* lr = static_cast<typeflow_local_range*>(jit_wmem_alloc(m->pool1, L * sizeof(typeflow_local_range)));
        if (lr == nullptr)
            return 1;
        for (u4 n = 0; n < L; n++) {
            typeflow_local_range& r = lr[n];
            r.in_min = block == 0 ? TF_MIN : TF_MAX;
            r.in_max = block == 0 ? TF_MAX : TF_MIN;
            r.out_min = r.taken_min = TF_MIN;
            r.out_max = r.taken_max = TF_MAX;
            r.prev_out_min = r.prev_taken_min = TF_MIN;
            r.prev_out_max = r.prev_taken_max = TF_MAX;
            r.target = 0;
        }
        st.blocks[block].ranges = lr;
        worklist[block >> 5] |= 1u << (block & 31);
    }
    parameter_ranges(m, st.blocks[0].ranges, L);
    if (!solve(&st, worklist))
        return 0;
    typeflow_rewrite(&st, cyclic);
    return 0;
}
