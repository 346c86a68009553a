// Array bound-check elimination over bytecode (`dataflow_arraycheck`).
//
// Runs last among the bytecode analyses, on the block quadruples while they
// still pop and push the Java operand stack.  It needs the two local vectors
// of the bytecode null check (which locals serve as array indexes, which hold
// arrays) and marks every array access whose index is proven inside its array
// with QS_NO_BOUNDCHECK; nothing else of the method changes.
//
// Two kinds of facts over the locals that the null check chose:
// - pair facts: index local i and array local a, with an offset range
//   [lo, hi]: a[i + c] is inside the array for every c in the range (two
//   proven indexes prove everything between them);
// - length facts: array local a, a value v: every index 0..v is inside a.
// Sketch: a local walk per block computes GEN and KILL of both kinds with a
// simulated operand stack (entries know "local + constant offset", constants
// and fresh arrays of constant length); an own fixed-point iteration over the
// DFS order joins them (pair sets by intersection, ranges by intersection,
// lengths by minimum); a final walk re-runs each block from its IN values and
// flags the accesses the running facts cover.
//
// Mended faults (each keeps the analysis sound where the plain rules were not):
// - a stack entry that names a local stops naming it when the local is
//   written, and is shifted when the local is incremented, in both walks;
//   otherwise `a[i++]` proves a[i] for the incremented i;
// - every store into a local (typed stores, XSTORE of any type included) kills
//   the facts of that local, array facts as well as index facts;
// - an index local never used with a nonzero offset keeps the exact range
//   [0, 0] on its pairs (the iteration does not carry its ranges), so an
//   increment within a block moves a real range rather than a placeholder;
// - an offset that would leave -128..127 drops the fact (the stack entry
//   becomes an untracked value, the pair leaves the running set) instead of
//   being clamped to a range that was never proven;
// - a block's pair facts reach every successor, whatever the block ends in;
// - methods with jsr subroutines are left alone like methods with handlers
//   (a subroutine entry is not reached through successor lists, so its
//   optimistic start values would never be met down).
#include <stdio.h>
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/qgen.h"

namespace {

s4 disable_arraycheck = -1;

// Kinds of a simulated stack entry.
constexpr s4 AK_UNTRACKED = 1;     // nothing known
constexpr s4 AK_LOCAL = 2;         // a local's value plus `offset`
constexpr s4 AK_CONSTANT = 3;      // an int constant
constexpr s4 AK_FRESH = 4;         // a freshly allocated array of constant length

constexpr s4 OFFSET_MIN = -128;
constexpr s4 OFFSET_MAX = 127;
constexpr s4 LENGTH_UNKNOWN = -1;
constexpr s4 LENGTH_TOP = 0x7fffffff;            // optimistic start of the iteration
constexpr u4 RECORD_SPACE_LIMIT = 0x40000;
constexpr u4 MAX_PAIR_ARRAYS = 64;               // pair sets are one 64-bit word

// An index producer (ILOAD or IOP2) carrying a value range left by an earlier
// analysis: sign bit of the first word, bounds in `target` and `aux`.
constexpr u2 QS_VALUE_RANGE = 0x8000;

struct ac_entry {
    s4 kind;
    s4 second;          // 1 on both halves of a two-slot value
    s4 value;           // local, constant or length; -1 otherwise
    s4 pblock;          // producer block
    s4 pindex;          // producer's index in that block
    s4 offset;          // AK_LOCAL: the constant added, within -128..127
};

struct ac_stack {
    ac_entry* slot;
    s4 depth;
    s4 capacity;
    s4 block;           // block being walked
};

// Per-block facts; null for block 0, the exit block and skipped blocks.
struct ac_record {
    u8* gen;            // per index local: pairs established in the block
    u8* kill;           // per index local: pairs destroyed in the block
    u8* in;
    u8* out;
    int8_t* gen_lo;     // I rows of A columns
    int8_t* gen_hi;
    int8_t* in_lo;
    int8_t* in_hi;
    int8_t* out_lo;
    int8_t* out_hi;
    s4* agen;           // per array local: largest index proven in the block
    s4* ain;
    s4* aout;
    u1* akilled;        // the array local is stored into in the block
};

struct ac_run {
    method_compile_context* m;
    int16_t* imap;           // local -> index-local number, -1
    int16_t* amap;           // local -> array-local number, -1
    u4 nlocals;
    u4 I, A;
    u1* offset_used;    // per index local
    u4 local_index_accesses;
    u4 const_index_accesses;
    ac_record** rec;    // by block number
    bool pairs;         // pair facts are kept (A <= 64)
    bool final_walk;
    ac_stack st;
};

// ---- simulated stack -----------------------------------------------------------------

void st_empty(ac_stack& s) { s.depth = 0; }

void st_push(ac_stack& s, s4 kind, s4 value, s4 offset, s4 pindex)
{
    if (s.depth >= s.capacity) {
        st_empty(s);
        return;
    }
    if (kind == AK_LOCAL && (offset < OFFSET_MIN || offset > OFFSET_MAX))
        kind = AK_UNTRACKED, value = -1, offset = 0;
    s.slot[s.depth++] = ac_entry{kind, 0, value, s.block, pindex, offset};
}

void st_push_one(ac_stack& s, s4 pindex) { st_push(s, AK_UNTRACKED, -1, 0, pindex); }

void st_push2(ac_stack& s, s4 pindex)
{
    if (s.depth >= s.capacity - 1) {
        st_empty(s);
        return;
    }
    s.slot[s.depth++] = ac_entry{AK_UNTRACKED, 1, -1, s.block, pindex, 0};
    s.slot[s.depth++] = ac_entry{AK_UNTRACKED, 1, -1, s.block, pindex, 0};
}

// Pops one entry into *out; false (and an empty stack) when there is none or
// it is half of a two-slot value.
bool st_pop(ac_stack& s, ac_entry* out)
{
    if (s.depth <= 0)
        return false;
    if (s.slot[s.depth - 1].second) {
        st_empty(s);
        return false;
    }
    *out = s.slot[--s.depth];
    return true;
}

void st_pop1(ac_stack& s)
{
    ac_entry e;
    st_pop(s, &e);
}

void st_pop2(ac_stack& s)
{
    if (s.depth < 2)
        st_empty(s);
    else
        s.depth -= 2;
}

void st_drop(ac_stack& s, s4 n)
{
    s.depth = n >= s.depth ? 0 : s.depth - (n > 0 ? n : 0);
}

// The dup family and swap: `need` entries below the top are rearranged into
// the pattern, `grow` new entries.  Too few entries or too little room empty
// the stack.
void st_shuffle(ac_stack& s, u1 opcode)
{
    s4 d = s.depth;
    ac_entry* v = s.slot;
    auto room = [&](s4 need, s4 grow) {
        if (d < need || d + grow > s.capacity) {
            st_empty(s);
            return false;
        }
        return true;
    };
    switch (opcode) {
    case OPC_DUP:
        if (room(1, 1)) { v[d] = v[d - 1]; s.depth = d + 1; }
        return;
    case OPC_DUP_X1:
        if (room(2, 1)) { v[d] = v[d - 1]; v[d - 1] = v[d - 2]; v[d - 2] = v[d]; s.depth = d + 1; }
        return;
    case OPC_DUP_X2:
        if (room(3, 1)) {
            v[d] = v[d - 1]; v[d - 1] = v[d - 2]; v[d - 2] = v[d - 3]; v[d - 3] = v[d];
            s.depth = d + 1;
        }
        return;
    case OPC_DUP2:
        if (room(2, 2)) { v[d] = v[d - 2]; v[d + 1] = v[d - 1]; s.depth = d + 2; }
        return;
    case OPC_DUP2_X1:
        if (room(3, 2)) {
            v[d + 1] = v[d - 1]; v[d] = v[d - 2]; v[d - 1] = v[d - 3];
            v[d - 2] = v[d + 1]; v[d - 3] = v[d];
            s.depth = d + 2;
        }
        return;
    case OPC_DUP2_X2:
        if (room(4, 2)) {
            v[d + 1] = v[d - 1]; v[d] = v[d - 2]; v[d - 1] = v[d - 3]; v[d - 2] = v[d - 4];
            v[d - 3] = v[d + 1]; v[d - 4] = v[d];
            s.depth = d + 2;
        }
        return;
    default:        // swap
        if (d < 2) {
            st_empty(s);
            return;
        }
        ac_entry t = v[d - 1];
        v[d - 1] = v[d - 2];
        v[d - 2] = t;
        return;
    }
}

// A local was written: entries holding its old value no longer name it.
void st_forget_local(ac_stack& s, s4 local)
{
    for (s4 k = 0; k < s.depth; k++)
        if (s.slot[k].kind == AK_LOCAL && s.slot[k].value == local)
            s.slot[k] = ac_entry{AK_UNTRACKED, s.slot[k].second, -1, s.slot[k].pblock, s.slot[k].pindex, 0};
}

// The local grew by d: an entry old + c is new + (c - d).
void st_shift_local(ac_stack& s, s4 local, s4 d)
{
    for (s4 k = 0; k < s.depth; k++) {
        ac_entry& e = s.slot[k];
        if (e.kind != AK_LOCAL || e.value != local)
            continue;
        s4 c = e.offset - d;
        if (c < OFFSET_MIN || c > OFFSET_MAX)
            e = ac_entry{AK_UNTRACKED, e.second, -1, e.pblock, e.pindex, 0};
        else
            e.offset = c;
    }
}

// ---- facts ---------------------------------------------------------------------------

u8 bit(u4 a) { return u8{1} << a; }
u8 all_arrays(const ac_run& r) { return r.A >= 64 ? ~u8{0} : bit(r.A) - 1; }
s4 index_no(const ac_run& r, s4 local) { return local >= 0 && static_cast<u4>(local) < r.nlocals ? r.imap[local] : -1; }
s4 array_no(const ac_run& r, s4 local) { return local >= 0 && static_cast<u4>(local) < r.nlocals ? r.amap[local] : -1; }
s4 smax(s4 a, s4 b) { return a > b ? a : b; }
s4 smin(s4 a, s4 b) { return a < b ? a : b; }

// The pair sets and array lengths a walk works on: GEN in the local walk, the
// running IN values in the final walk.
u8* pair_set(ac_run& r, ac_record* c) { return r.final_walk ? c->in : c->gen; }
int8_t* pair_lo(ac_run& r, ac_record* c) { return r.final_walk ? c->in_lo : c->gen_lo; }
int8_t* pair_hi(ac_run& r, ac_record* c) { return r.final_walk ? c->in_hi : c->gen_hi; }
s4* length_of(ac_run& r, ac_record* c) { return r.final_walk ? c->ain : c->agen; }

void flag(quadruple* q) { q->subcode |= QS_NO_BOUNDCHECK; }

// A store into local L (two-slot values also cover L + 1); `fresh` is the
// length of a freshly allocated array stored, or -1.
void local_written(ac_run& r, ac_record* c, s4 local, bool two, s4 fresh)
{
    for (s4 l = local; l <= local + (two ? 1 : 0); l++) {
        st_forget_local(r.st, l);
        if (c == nullptr)
            continue;
        s4 i = index_no(r, l);
        if (i >= 0 && r.pairs) {
            pair_set(r, c)[i] = 0;
            if (!r.final_walk)
                c->kill[i] = all_arrays(r);
        }
        s4 a = array_no(r, l);
        if (a >= 0) {
            if (r.pairs)
                for (u4 k = 0; k < r.I; k++) {
                    pair_set(r, c)[k] &= ~bit(a);
                    if (!r.final_walk)
                        c->kill[k] |= bit(a);
                }
            s4* len = length_of(r, c);
            len[a] = LENGTH_UNKNOWN;
            if (!r.final_walk)
                c->akilled[a] = 1;
            if (l == local && fresh > 0)
                len[a] = smax(len[a], fresh - 1);
        }
    }
}

// iinc of local L by d.
void local_incremented(ac_run& r, ac_record* c, s4 local, s4 d)
{
    st_shift_local(r.st, local, d);
    s4 i = index_no(r, local);
    if (c == nullptr || i < 0 || !r.pairs)
        return;
    if (!r.final_walk) {
        c->gen[i] = 0;
        c->kill[i] = all_arrays(r);
        return;
    }
    // The running range moves with the local; a range leaving the offset
    // domain drops its pair.
    for (u4 a = 0; a < r.A; a++) {
        if (!(c->in[i] & bit(a)))
            continue;
        u4 cell = i * r.A + a;
        s4 lo = c->in_lo[cell] - d, hi = c->in_hi[cell] - d;
        if (lo < OFFSET_MIN || hi > OFFSET_MAX || lo > OFFSET_MAX || hi < OFFSET_MIN) {
            c->in[i] &= ~bit(a);
            continue;
        }
        c->in_lo[cell] = static_cast<int8_t>(lo);
        c->in_hi[cell] = static_cast<int8_t>(hi);
    }
}

// The value range of the quadruple that produced an index, when an earlier
// analysis left one with both bounds non-negative.
bool producer_range(ac_run& r, const ac_entry& x, s4* lo, s4* hi)
{
    if (x.pblock <= 0 || static_cast<u4>(x.pblock) >= r.m->bb_count || x.pindex < 0)
        return false;
    bbattr* b = r.m->bb_table[x.pblock];
    if (static_cast<u4>(x.pindex) >= b->quad_count)
        return false;
    const quadruple* p = b->catbl[x.pindex];
    if ((p->opcode != OPC_ILOAD && p->opcode != OPC_IOP2) || !(p->subcode & QS_VALUE_RANGE))
        return false;
    *lo = static_cast<s4>(p->target);
    *hi = static_cast<s4>(p->aux);
    return *lo >= 0 && *hi >= 0;
}

// Index local i, offset c, array local a.
void local_index_access(ac_run& r, ac_record* c, quadruple* q, const ac_entry& x, u4 i, u4 a)
{
    s4 off = x.offset;
    u4 cell = i * r.A + a;
    u8* set = pair_set(r, c);
    int8_t* lo = pair_lo(r, c);
    int8_t* hi = pair_hi(r, c);
    s4* len = length_of(r, c);
    if (!r.final_walk) {
        if (off != 0)
            r.offset_used[i] = 1;
        r.local_index_accesses++;
    }
    if (set[i] & bit(a)) {
        if (r.final_walk && lo[cell] <= off && off <= hi[cell]) {
            flag(q);
        } else {
            lo[cell] = static_cast<int8_t>(smin(lo[cell], off));
            hi[cell] = static_cast<int8_t>(smax(hi[cell], off));
            len[a] = smax(len[a], hi[cell] - lo[cell]);
        }
    } else {
        set[i] |= bit(a);
        lo[cell] = hi[cell] = static_cast<int8_t>(off);
        len[a] = smax(len[a], 0);
    }
}

// The access rule: the index and the array are on top of the stack.
void access(ac_run& r, ac_record* c, quadruple* q)
{
    ac_entry x, y;
    if (!st_pop(r.st, &x) || !st_pop(r.st, &y))
        return;
    if (y.kind == AK_FRESH) {
        if (!r.final_walk && x.kind == AK_CONSTANT && x.value >= 0 && x.value < y.value)
            flag(q);
        return;
    }
    if (y.kind != AK_LOCAL || c == nullptr)
        return;
    s4 a = array_no(r, y.value);
    if (a < 0)
        return;
    s4* len = length_of(r, c);
    s4 i = x.kind == AK_LOCAL ? index_no(r, x.value) : -1;
    if (x.kind == AK_CONSTANT) {
        if (!r.final_walk) {
            len[a] = smax(len[a], x.value);
            r.const_index_accesses++;
        } else if (len[a] < x.value) {
            len[a] = x.value;
        } else if (x.value >= 0) {
            flag(q);
        }
    } else if (i >= 0 && r.pairs) {
        local_index_access(r, c, q, x, static_cast<u4>(i), static_cast<u4>(a));
        s4 lo, hi;
        if (r.final_walk && r.const_index_accesses > 0 && !(q->subcode & QS_NO_BOUNDCHECK)
            && producer_range(r, x, &lo, &hi)) {
            if (len[a] >= hi)
                flag(q);
            else
                len[a] = smax(len[a], lo);
        }
    } else {
        len[a] = smax(len[a], 0);
    }
}

// IOP2: local + constant and local - constant stay tracked.
void offset_rule(ac_run& r, const quadruple* q, s4 k)
{
    ac_entry right, left;
    if (!st_pop(r.st, &right) || !st_pop(r.st, &left)) {
        st_push_one(r.st, k);
        return;
    }
    int64_t off = 0;
    s4 local = -1;
    if (left.kind == AK_LOCAL && right.kind == AK_CONSTANT && (q->op == QOP_ADD || q->op == QOP_SUB)) {
        local = left.value;
        off = q->op == QOP_ADD ? int64_t{left.offset} + right.value : int64_t{left.offset} - right.value;
    } else if (left.kind == AK_CONSTANT && right.kind == AK_LOCAL && q->op == QOP_ADD) {
        local = right.value;
        off = int64_t{right.offset} + left.value;
    }
    if (local < 0 || off < OFFSET_MIN || off > OFFSET_MAX)
        st_push_one(r.st, k);
    else
        st_push(r.st, AK_LOCAL, local, static_cast<s4>(off), k);
}

// Slots an XSTORE takes, by its type code (0: the code stores nothing known).
s4 xstore_words(const quadruple* q)
{
    u4 code = quad_kind_nibble(q);
    if (code == 2 || code == 5 || code == 6 || (code >= 8 && code <= 10) || code == 12)
        return 1;
    return code == 7 || code == 11 ? 2 : 0;
}

// One quadruple's effect on the stack and the facts.
void step(ac_run& r, ac_record* c, quadruple* q, s4 k)
{
    ac_stack& s = r.st;
    switch (q->opcode) {
    case OPC_OTHER: {
        u4 sub = quad_kind_nibble(q);
        if (sub == OTHER_RETURN_VOID || sub == OTHER_RET)
            st_empty(s);
        return;
    }
    case OPC_ILOAD: case OPC_ALOAD: st_push(s, AK_LOCAL, q->op, 0, k); return;
    case OPC_ICONST: case OPC_ACONST: st_push(s, AK_CONSTANT, static_cast<s4>(q->value), 0, k); return;
    case OPC_IOP2: offset_rule(r, q, k); return;
    case OPC_NEWARRAY: case OPC_ANEWARRAY: {
        ac_entry n;
        if (st_pop(s, &n) && n.kind == AK_CONSTANT)
            st_push(s, AK_FRESH, n.value, 0, k);
        else
            st_push_one(s, k);
        return;
    }
    case OPC_FLOAD: case OPC_FCONST: case OPC_NEW: case OPC_IGETSTATIC: case OPC_FGETSTATIC:
    case OPC_AGETSTATIC: case OPC_LDC: case OPC_PLOAD: case OPC_XALOAD:
        st_push_one(s, k); return;
    case OPC_LLOAD: case OPC_LCONST: case OPC_DLOAD: case OPC_DCONST: case OPC_LGETSTATIC: case OPC_DGETSTATIC:
        st_push2(s, k); return;
    case OPC_IOP1: case OPC_FOP1: case OPC_CHECKCAST: case OPC_INSTANCEOF: case OPC_IGETFIELD: case OPC_FGETFIELD:
    case OPC_AGETFIELD: case OPC_ARRAYLENGTH: case OPC_I2F: case OPC_F2I: case OPC_LDCTABLE:
        st_pop1(s); st_push_one(s, k); return;
    case OPC_LGETFIELD: case OPC_DGETFIELD: case OPC_I2L: case OPC_I2D: case OPC_F2L: case OPC_F2D:
        st_pop1(s); st_push2(s, k); return;
    case OPC_IFZ: case OPC_IFNULL: case OPC_SWITCH: case OPC_MONITOR: case OPC_IPUTSTATIC: case OPC_FPUTSTATIC:
    case OPC_APUTSTATIC: case OPC_POP: case OPC_XASTORE: case OPC_LSHIFT:
        st_pop1(s); return;
    case OPC_PSTORE: st_pop1(s); local_written(r, c, q->count, false, -1); return;
    case OPC_ISTORE: case OPC_FSTORE: st_pop1(s); local_written(r, c, q->op, false, -1); return;
    case OPC_LSTORE: case OPC_DSTORE: st_pop2(s); local_written(r, c, q->op, true, -1); return;
    case OPC_ASTORE: {
        ac_entry v;
        bool fresh = st_pop(s, &v) && v.kind == AK_FRESH;
        local_written(r, c, q->op, false, fresh ? v.value : -1);
        return;
    }
    case OPC_XSTORE: {
        s4 words = xstore_words(q);
        if (words == 2)
            st_pop2(s);
        else if (words == 1)
            st_pop1(s);
        local_written(r, c, q->op, words == 2, -1);
        return;
    }
    case OPC_IINC: local_incremented(r, c, q->op, static_cast<int16_t>(q->count)); return;
    case OPC_IFCMP: case OPC_IFACMP: case OPC_IPUTFIELD: case OPC_FPUTFIELD: case OPC_APUTFIELD:
        st_drop(s, 2); return;
    case OPC_FOP2: case OPC_FCMP: case OPC_EADDR: st_drop(s, 2); st_push_one(s, k); return;
    case OPC_POP2: case OPC_LPUTSTATIC: case OPC_DPUTSTATIC: case OPC_LOP2: case OPC_DOP2: st_pop2(s); return;
    case OPC_LASTORE: case OPC_DASTORE: st_pop2(s); access(r, c, q); return;
    case OPC_IASTORE: case OPC_FASTORE: case OPC_AASTORE: st_pop1(s); access(r, c, q); return;
    case OPC_IALOAD: case OPC_FALOAD: case OPC_AALOAD: access(r, c, q); st_push_one(s, k); return;
    case OPC_LALOAD: case OPC_DALOAD: access(r, c, q); st_push2(s, k); return;
    case OPC_LCMP: case OPC_DCMP: st_pop2(s); st_pop2(s); st_push_one(s, k); return;
    case OPC_L2I: case OPC_L2F: case OPC_D2I: case OPC_D2F: st_pop2(s); st_push_one(s, k); return;
    case OPC_LPUTFIELD: case OPC_DPUTFIELD: st_pop2(s); st_pop1(s); return;
    case OPC_LOP1: case OPC_DOP1: case OPC_L2D: case OPC_D2L: case OPC_GOTO: case OPC_CHA_GUARD: case OPC_SYNCENTER: case OPC_SYNCEXIT:
        return;
    case OPC_IRETURN: case OPC_LRETURN: case OPC_FRETURN: case OPC_DRETURN: case OPC_ARETURN: case OPC_ATHROW:
        st_empty(s); return;
    case OPC_ICALL: case OPC_FCALL: case OPC_ACALL: st_drop(s, q->count & 0xFF); st_push_one(s, k); return;
    case OPC_LCALL: case OPC_DCALL: st_drop(s, q->count & 0xFF); st_push2(s, k); return;
    case OPC_VCALL: case OPC_CALL_MARK: st_drop(s, q->count & 0xFF); return;
    case OPC_MULTIANEWARRAY: st_drop(s, q->count); st_push_one(s, k); return;
    case OPC_NULLCHECK_MARK: st_drop(s, q->op); return;
    case OPC_DUP: case OPC_DUP2: case OPC_DUP_X1: case OPC_DUP2_X1: case OPC_DUP_X2: case OPC_DUP2_X2: case OPC_SWAP:
        st_shuffle(s, q->opcode); return;
    case OPC_ACMOVE: case OPC_ICMOVE: case OPC_FCMOVE: st_drop(s, 4); st_push_one(s, k); return;
    case OPC_LCMOVE: case OPC_DCMOVE: st_pop2(s); st_pop2(s); st_drop(s, 2); st_push_one(s, k); return;
    default:
        printf("%d\n", q->opcode);
        st_empty(s);
        return;
    }
}

// Walks the blocks in DFS order, carrying the stack into a block with a single
// predecessor that the previous block leads to.
void walk(ac_run& r)
{
    method_compile_context* m = r.m;
    const bbattr* prev = m->bb_table[0];
    st_empty(r.st);
    for (u4 n = 0; n < m->dfs_count; n++) {
        u4 id = m->dfs_array[n];
        bbattr* b = m->bb_table[id];
        if (b->quad_count == 0 || (b->flags & BB_DEAD))
            continue;
        bool carried = b->pred_count == 1
                       && ((prev->succ_count > 0 && prev->succ[0] == id) || (prev->succ_count > 1 && prev->succ[1] == id));
        if (!carried)
            st_empty(r.st);
        r.st.block = static_cast<s4>(id);
        ac_record* c = r.rec[id];
        for (u4 k = 0; k < b->quad_count; k++)
            step(r, c, b->catbl[k], static_cast<s4>(k));
        prev = b;
    }
}

// ---- records and the iteration -------------------------------------------------------

bool has_record(const method_compile_context* m, u4 b)
{
    return b > 0 && b + 1 < m->bb_count && !(m->bb_table[b]->flags & BB_DEAD);
}

template <class T>
T* carve(u1*& p, u4 count)
{
    T* t = reinterpret_cast<T*>(p);
    p += (count * sizeof(T) + 7) & ~7u;
    return t;
}

// Sizes and allocates the block records; false when they exceed the limit.
bool set_up_records(ac_run& r)
{
    method_compile_context* m = r.m;
    u4 cells = r.pairs ? (r.I * r.A + 3) & ~3u : 0;
    u4 pair_words = r.pairs ? r.I : 0;
    u4 per_block = 4 * ((pair_words * 8 + 7) & ~7u) + 6 * ((cells + 7) & ~7u) + 3 * ((r.A * 4 + 7) & ~7u)
                   + ((r.A + 7) & ~7u);
    u4 blocks = 0;
    for (u4 b = 0; b < m->bb_count; b++)
        blocks += has_record(m, b) ? 1 : 0;
    r.rec = static_cast<ac_record**>(jit_wmem_alloc(m->pool2, m->bb_count * sizeof(ac_record*)));
    memset(r.rec, 0, m->bb_count * sizeof(ac_record*));
    if (static_cast<uint64_t>(per_block) * blocks > RECORD_SPACE_LIMIT)
        return false;
    for (u4 b = 0; b < m->bb_count; b++) {
        if (!has_record(m, b))
            continue;
        auto* c = static_cast<ac_record*>(jit_wmem_alloc(m->pool2, sizeof(ac_record) + per_block + 8));
        u1* p = reinterpret_cast<u1*>(c + 1);
        p = reinterpret_cast<u1*>((reinterpret_cast<uintptr_t>(p) + 7) & ~uintptr_t{7});
        memset(p, 0, per_block);
        c->gen = carve<u8>(p, pair_words);
        c->kill = carve<u8>(p, pair_words);
        c->in = carve<u8>(p, pair_words);
        c->out = carve<u8>(p, pair_words);
        c->gen_lo = carve<int8_t>(p, cells);
        c->gen_hi = carve<int8_t>(p, cells);
        c->in_lo = carve<int8_t>(p, cells);
        c->in_hi = carve<int8_t>(p, cells);
        c->out_lo = carve<int8_t>(p, cells);
        c->out_hi = carve<int8_t>(p, cells);
        c->agen = carve<s4>(p, r.A);
        c->ain = carve<s4>(p, r.A);
        c->aout = carve<s4>(p, r.A);
        c->akilled = carve<u1>(p, r.A);
        for (u4 a = 0; a < r.A; a++)
            c->agen[a] = LENGTH_UNKNOWN;
        r.rec[b] = c;
    }
    return true;
}

bool entry_successor(const method_compile_context* m, u4 b)
{
    const bbattr* e = m->bb_table[0];
    for (u4 k = 0; k < e->succ_count; k++)
        if (e->succ[k] == b)
            return true;
    return false;
}

// Start values: optimistic everywhere but at the method's entry.  A fact kind
// that the local walk never established starts (and stays) empty.  Ranges of
// index locals that never carried an offset are exactly [0, 0].
void start_values(ac_run& r)
{
    method_compile_context* m = r.m;
    for (u4 b = 0; b < m->bb_count; b++) {
        ac_record* c = r.rec[b];
        if (c == nullptr)
            continue;
        bool entry = entry_successor(m, b);
        for (u4 i = 0; i < (r.pairs ? r.I : 0); i++) {
            c->in[i] = entry || r.local_index_accesses == 0 ? 0 : all_arrays(r);
            c->out[i] = 0;
            for (u4 a = 0; a < r.A; a++) {
                u4 cell = i * r.A + a;
                bool ranged = r.offset_used[i] != 0;
                c->in_lo[cell] = static_cast<int8_t>(ranged ? OFFSET_MIN : 0);
                c->in_hi[cell] = static_cast<int8_t>(ranged ? OFFSET_MAX : 0);
                c->out_lo[cell] = c->in_lo[cell];
                c->out_hi[cell] = c->in_hi[cell];
            }
        }
        for (u4 a = 0; a < r.A; a++) {
            c->ain[a] = entry || r.const_index_accesses == 0 ? LENGTH_UNKNOWN : LENGTH_TOP;
            c->aout[a] = LENGTH_UNKNOWN;
        }
    }
}

bool set_byte(int8_t* cell, s4 v)
{
    if (*cell == static_cast<int8_t>(v))
        return false;
    *cell = static_cast<int8_t>(v);
    return true;
}

// OUT of index local i in block record c; true when anything changed.
bool pair_out(ac_run& r, ac_record* c, u4 i)
{
    bool changed = false;
    bool plain = c->gen[i] == 0 && c->kill[i] == 0;
    u8 survive = c->in[i] & ~c->kill[i];
    u8 out = plain ? c->in[i] : survive | c->gen[i];
    if (out != c->out[i])
        changed = true;
    c->out[i] = out;
    if (!r.offset_used[i] || out == 0)
        return changed;
    for (u4 a = 0; a < r.A; a++) {
        u4 cell = i * r.A + a;
        bool in_gen = !plain && (c->gen[i] & bit(a));
        bool in_in = plain ? (out & bit(a)) != 0 : (survive & bit(a)) != 0;
        s4 lo, hi;
        if (in_gen && in_in) {
            lo = smin(c->in_lo[cell], c->gen_lo[cell]);
            hi = smax(c->in_hi[cell], c->gen_hi[cell]);
        } else if (in_gen) {
            lo = c->gen_lo[cell], hi = c->gen_hi[cell];
        } else if (in_in) {
            lo = c->in_lo[cell], hi = c->in_hi[cell];
        } else {
            continue;
        }
        changed |= set_byte(&c->out_lo[cell], lo);
        changed |= set_byte(&c->out_hi[cell], hi);
    }
    return changed;
}

void pair_meet(ac_run& r, const ac_record* c, ac_record* s, u4 i)
{
    s->in[i] &= c->out[i];
    if (!r.offset_used[i])
        return;
    for (u4 a = 0; a < r.A; a++) {
        if (!(s->in[i] & bit(a)))
            continue;
        u4 cell = i * r.A + a;
        s->in_lo[cell] = static_cast<int8_t>(smax(s->in_lo[cell], c->out_lo[cell]));
        s->in_hi[cell] = static_cast<int8_t>(smin(s->in_hi[cell], c->out_hi[cell]));
    }
}

void iterate(ac_run& r)
{
    method_compile_context* m = r.m;
    start_values(r);
    for (bool again = true; again;) {
        again = false;
        for (u4 n = 0; n < m->dfs_count; n++) {
            u4 id = m->dfs_array[n];
            ac_record* c = r.rec[id];
            if (c == nullptr)
                continue;
            const bbattr* b = m->bb_table[id];
            if (r.local_index_accesses > 0)
                for (u4 i = 0; i < r.I; i++) {
                    again |= pair_out(r, c, i);
                    for (u4 k = 0; k < b->succ_count; k++)
                        if (b->succ[k] < m->bb_count && r.rec[b->succ[k]] != nullptr)
                            pair_meet(r, c, r.rec[b->succ[k]], i);
                }
            if (r.const_index_accesses > 0)
                for (u4 a = 0; a < r.A; a++) {
                    s4 out = smax(c->akilled[a] ? LENGTH_UNKNOWN : c->ain[a], c->agen[a]);
                    if (out != c->aout[a])
                        again = true;
                    c->aout[a] = out;
                    for (u4 k = 0; k < b->succ_count; k++)
                        if (b->succ[k] < m->bb_count && r.rec[b->succ[k]] != nullptr)
                            r.rec[b->succ[k]]->ain[a] = smin(r.rec[b->succ[k]]->ain[a], out);
                }
        }
    }
}

// Dense numbers of the locals set in a vector.
u4 number_locals(const u4* vector, int16_t* map, u4 nlocals)
{
    u4 n = 0;
    for (u4 l = 0; l < nlocals; l++)
        map[l] = vector != nullptr && (vector[l >> 5] >> (l & 31) & 1) ? static_cast<int16_t>(n++) : int16_t{-1};
    return n;
}

} // namespace

int dataflow_arraycheck(method_compile_context* m, dataflow_pass_context* pc)
{
    if (df_env_switch(&disable_arraycheck, "DISABLE_ARRAYCHECK"))
        return 0;
    if ((pc->flags & (DFP_ARRAY_HINT | DFP_LOCAL_VECTORS)) != (DFP_ARRAY_HINT | DFP_LOCAL_VECTORS)
        || df_exception_entries(m) > 0 || m->subroutine_count > 0 || m->max_stack < 1)
        return 0;
    ac_run r;
    memset(&r, 0, sizeof r);
    r.m = m;
    r.nlocals = pc->local_count;
    r.imap = static_cast<int16_t*>(jit_wmem_alloc(m->pool2, (r.nlocals + 1) * sizeof(int16_t)));
    r.amap = static_cast<int16_t*>(jit_wmem_alloc(m->pool2, (r.nlocals + 1) * sizeof(int16_t)));
    r.I = number_locals(pc->index_locals, r.imap, r.nlocals);
    r.A = number_locals(pc->array_locals, r.amap, r.nlocals);
    r.offset_used = static_cast<u1*>(jit_wmem_alloc(m->pool2, r.I + 1));
    memset(r.offset_used, 0, r.I + 1);
    r.pairs = r.A <= MAX_PAIR_ARRAYS;
    r.st.capacity = m->max_stack;
    r.st.slot = static_cast<ac_entry*>(jit_wmem_alloc(m->pool2, (m->max_stack + 2) * sizeof(ac_entry)));
    if (!set_up_records(r))
        return 1;
    walk(r);
    if (r.local_index_accesses == 0 && r.const_index_accesses == 0)
        return 1;
    if (!r.pairs)
        return 0;
    iterate(r);
    r.final_walk = true;
    walk(r);
    return 0;
}
