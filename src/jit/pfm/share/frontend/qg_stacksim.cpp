// Operand-stack simulation and stack pre-allocation.
//
// Walks the blocks in DFS order and simulates the JVM operand stack
// quadruple by quadruple, in two register classes: integer-class words (int,
// reference, both words of a long) and floating-class words (float, both
// words of a double; a double takes one floating register).  It records:
//   - on every quadruple, the integer and floating top before and after it;
//   - on every block, its entry stack (stack table), entry depth and heights,
//     the extremes it reaches and its invocation count;
//   - for every stack word, the quadruple that pushed it and the local it
//     mirrors;
//   - the per-block and per-method constant candidates and local attributes;
//   - on invocations, the list of the stack words at the call; on a few
//     quadruples the first-word flags that let later stages drop null-check
//     and bounds work.
// Requires the front end's quadruples, the DFS list and the subroutine
// table; the quadruple-generation driver has made the method lvattr table.
#include <string.h>

#include "driver/driver.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"

namespace {

constexpr u4 MAX_PUSH = 2;
constexpr u4 MCC_NO_RECEIVER_FACTS = 0x01000000;  // state flag 24: the receiver's facts are not carried

struct stack_effect {
    u1 pop;
    u1 npush;
    u2 push[MAX_PUSH];
};

constexpr stack_effect fx(u1 pop, u2 k0 = 0, u2 k1 = 0)
{
    return stack_effect{pop, static_cast<u1>(k0 == 0 ? 0 : k1 == 0 ? 1 : 2), {k0, k1}};
}

// Stack effect of the opcodes that follow the generic rule (pop words, push
// result kinds); the others have rules of their own in simulate_one.
constexpr stack_effect generic_effect(int op)
{
    switch (op) {
    case OPC_IOP2: case OPC_L2I: return fx(2, SK_INT);
    case OPC_IOP1: case OPC_INSTANCEOF: case OPC_ARRAYLENGTH: case OPC_F2I: return fx(1, SK_INT);
    case OPC_IFZ: case OPC_IFNULL: case OPC_SWITCH: case OPC_MONITOR: return fx(1);
    case OPC_IFCMP: case OPC_IFACMP: return fx(2);
    case OPC_IGETSTATIC: return fx(0, SK_INT);
    case OPC_LGETSTATIC: return fx(0, SK_LONG1, SK_LONG2);
    case OPC_FGETSTATIC: return fx(0, SK_FLOAT);
    case OPC_DGETSTATIC: return fx(0, SK_DOUBLE1, SK_DOUBLE2);
    case OPC_AGETSTATIC: return fx(0, SK_REF);
    case OPC_POP2: return fx(2);
    case OPC_LOP2: return fx(4, SK_LONG1, SK_LONG2);
    case OPC_DOP2: return fx(4, SK_DOUBLE1, SK_DOUBLE2);
    case OPC_LSHIFT: return fx(3, SK_LONG1, SK_LONG2);
    case OPC_LOP1: case OPC_D2L: return fx(2, SK_LONG1, SK_LONG2);
    case OPC_DOP1: case OPC_L2D: return fx(2, SK_DOUBLE1, SK_DOUBLE2);
    case OPC_LALOAD: return fx(2, SK_LONG1, SK_LONG2);
    case OPC_DALOAD: return fx(2, SK_DOUBLE1, SK_DOUBLE2);
    case OPC_IALOAD: return fx(2, SK_INT);
    case OPC_FALOAD: return fx(2, SK_FLOAT);
    case OPC_AALOAD: return fx(2, SK_REF);
    case OPC_IASTORE: case OPC_FASTORE: case OPC_AASTORE: case OPC_MEMSET: return fx(3);
    case OPC_LASTORE: case OPC_DASTORE: return fx(4);
    case OPC_LCMP: case OPC_DCMP: return fx(4, SK_INT);
    case OPC_FOP2: return fx(2, SK_FLOAT);
    case OPC_FOP1: case OPC_I2F: return fx(1, SK_FLOAT);
    case OPC_FCMP: return fx(2, SK_INT);
    case OPC_CHECKCAST: return fx(1, SK_REF);
    case OPC_IGETFIELD: return fx(1, SK_INT);
    case OPC_LGETFIELD: return fx(1, SK_LONG1, SK_LONG2);
    case OPC_FGETFIELD: return fx(1, SK_FLOAT);
    case OPC_DGETFIELD: return fx(1, SK_DOUBLE1, SK_DOUBLE2);
    case OPC_AGETFIELD: return fx(1, SK_REF);
    case OPC_IPUTFIELD: case OPC_FPUTFIELD: case OPC_APUTFIELD: return fx(2);
    case OPC_LPUTFIELD: case OPC_DPUTFIELD: return fx(3);
    case OPC_IPUTSTATIC: case OPC_APUTSTATIC: case OPC_FPUTSTATIC: return fx(1);
    case OPC_LPUTSTATIC: case OPC_DPUTSTATIC: return fx(2);
    case OPC_I2L: case OPC_F2L: return fx(1, SK_LONG1, SK_LONG2);
    case OPC_I2D: case OPC_F2D: return fx(1, SK_DOUBLE1, SK_DOUBLE2);
    case OPC_L2F: case OPC_D2F: return fx(2, SK_FLOAT);
    case OPC_D2I: return fx(2, SK_INT);
    case OPC_POP: return fx(1);
    case OPC_NEWARRAY: case OPC_ANEWARRAY: return fx(1, SK_NEWARRAY);
    case OPC_EADDR: return fx(2, SK_REF);
    case OPC_ACMOVE: return fx(4, SK_REF);
    case OPC_ICMOVE: return fx(4, SK_INT);
    case OPC_LCMOVE: return fx(6, SK_LONG1, SK_LONG2);
    case OPC_FCMOVE: return fx(4, SK_FLOAT);
    case OPC_DCMOVE: return fx(6, SK_DOUBLE1, SK_DOUBLE2);
    default: return fx(0);
    }
}

struct effect_table {
    stack_effect e[OPC_COUNT];
};
constexpr effect_table make_effects()
{
    effect_table t{};
    for (int i = 0; i < OPC_COUNT; i++)
        t.e[i] = generic_effect(i);
    return t;
}
constexpr effect_table kEffects = make_effects();

// Value kinds of the typed loads/stores of the element-type codes (nibble).
u4 words_of_type_code(u4 code) { return code == 7 || code == 11 ? 2 : (code == 2 || (code >= 5 && code <= 12)) ? 1 : 0; }

struct sim {
    method_compile_context* m;
    bbattr* b;
    u4 block;
    u4 locals;                  // n: array-base entries start here
    lvattr_entry* bt;           // block table (or none)
    lvattr_entry* mt;           // method table (or none)
    stack_word* stack;
    u1* marks;
    u2 d, hi, hf;
    u2 max_d, min_d, max_hi, min_hi, max_hf, min_hf;
    const_candidate* bcand;
    const_candidate* mcand;
    u4 bcount, mcount;
    bool string_method;
    bool sync_instance;
};

void note_push(sim& s)
{
    if (s.d > s.max_d) s.max_d = s.d;
    if (s.hi > s.max_hi) s.max_hi = s.hi;
    if (s.hf > s.max_hf) s.max_hf = s.hf;
}

void note_pop(sim& s)
{
    if (s.d < s.min_d) s.min_d = s.d;
    if (s.hi < s.min_hi) s.min_hi = s.hi;
    if (s.hf < s.min_hf) s.min_hf = s.hf;
}

void push(sim& s, u4 kind, s4 local, quadruple** producer)
{
    if (s.d >= s.m->max_stack)
        return;     // a well-formed method never overflows its max stack
    s.stack[s.d] = stack_word{kind, local, producer, 0};
    s.d++;
    if (sk_int_class(kind)) {
        s.hi++;
    } else if (kind == SK_FLOAT) {
        s.hf++;
    } else if (kind == SK_DOUBLE1) {
        if (s.hf < s.m->max_stack)
            s.marks[s.hf] = 1;
        s.hf++;
    }
    note_push(s);
}

void pop(sim& s, u4 n)
{
    for (u4 i = 0; i < n && s.d > 0; i++) {
        u4 kind = s.stack[--s.d].kind;
        if (sk_int_class(kind) && s.hi > 0)
            s.hi--;
        else if (sk_float_register(kind) && s.hf > 0)
            s.hf--;
    }
    note_pop(s);
}

bool producer_in_block(const sim& s, quadruple** p)
{
    return p != nullptr && p >= s.b->catbl && p < s.b->catbl + s.b->quad_count;
}

// First-access bits of a block table entry.
u4 first_bit(const lvattr_entry& e, u4 bit) { return (e.attr & (LVA_FIRST_READ | LVA_FIRST_WRITE)) ? 0 : bit; }

void mark_read(sim& s, u4 local, u4 kind_bit)
{
    if (local >= s.locals)
        return;
    if (s.bt != nullptr)
        s.bt[local].attr |= kind_bit | LVA_ACCESSED | first_bit(s.bt[local], LVA_FIRST_READ);
    if (s.mt != nullptr)
        s.mt[local].attr |= kind_bit | LVA_ACCESSED;
}

void mark_write(sim& s, u4 local, u4 kind_bit, bool first_from_l = false, bool first = false)
{
    if (local >= s.locals)
        return;
    if (s.bt != nullptr) {
        u4 f = first_from_l ? (first ? LVA_FIRST_WRITE : 0) : first_bit(s.bt[local], LVA_FIRST_WRITE);
        s.bt[local].attr |= kind_bit | LVA_ACCESSED | LVA_WRITTEN | f;
    }
    if (s.mt != nullptr)
        s.mt[local].attr |= kind_bit | LVA_ACCESSED | LVA_WRITTEN;
}

void forget_local(sim& s, s4 local, u4 depth)
{
    for (u4 i = 0; i < depth; i++)
        if (s.stack[i].kind == SK_REF && s.stack[i].local == local)
            s.stack[i].local = -1;
}

void forget_ref_mirrors(sim& s, s4 local)
{
    for (u4 i = 0; i < s.d; i++)
        if ((s.stack[i].kind & SK_REF) && s.stack[i].local == local)
            s.stack[i].local = -1;
}

bool pinned_store(const sim& s, const quadruple* q)
{
    return (q->count & 0x2) && (s.b->flags & (BB_LOOP_EXCLUDED | BB_KIND_LOOP)) != BB_KIND_LOOP;
}

void set_flag_bit(method_compile_context* m) { m->qgen_pass_words[0] |= QGF_CLASS_INIT_PENDING; }

void test_class_initialised(sim& s, const classblock* cb)
{
    if (cb == nullptr || !(cb->state & CS_INITIALIZED))
        set_flag_bit(s.m);
}

const u4* pool_of(const sim& s) { return s.b->mb != nullptr ? s.b->mb->clazz->constantpool : nullptr; }

// The local's attribute and array-base entries in one table.
void mark_base(lvattr_entry* t, u4 locals, u4 local, u4 bit, bool count2)
{
    if (t == nullptr)
        return;
    t[local].attr |= bit;
    t[locals + local].attr |= bit;
    t[locals + local].count++;
    if (count2)
        t[locals + local].count2++;
}

void nonnull_fact(sim& s, quadruple* q, u4 local)
{
    if (s.bt == nullptr)
        return;
    if ((s.bt[local].attr & LVA_NONNULL) || (quad_word0(q) & QW_NONNULL))
        quad_or_word0(q, QW_NONNULL);
    s.bt[local].attr |= LVA_NONNULL;
}

// Array access: the reference word sits `ref_depth` words below the top.
void array_access(sim& s, quadruple* q, u4 ref_depth)
{
    if (s.d < ref_depth)
        return;
    stack_word& ref = s.stack[s.d - ref_depth];
    if (!producer_in_block(s, ref.producer)) {
        ref.local = -1;
        ref.producer = nullptr;
    }
    u1 op = q->opcode;
    if ((op == OPC_IALOAD || op == OPC_IASTORE) && quad_kind_nibble(q) == 5 && s.string_method)
        quad_or_word0(q, QW_NO_BOUNDCHECK);
    if (ref.local >= 0 && static_cast<u4>(ref.local) < s.locals) {
        u4 local = static_cast<u4>(ref.local);
        quad_or_word0(*ref.producer, op == OPC_MEMSET ? QW_BASE_PRODUCER : QW_BASE_PRODUCER | QW_ARRAY_PRODUCER);
        bool c2 = op == OPC_AASTORE || !(quad_word0(q) & QW_NO_BOUNDCHECK);
        mark_base(s.bt, s.locals, local, LVA_ARRAY_BASE, c2);
        mark_base(s.mt, s.locals, local, LVA_ARRAY_BASE, c2);
        nonnull_fact(s, q, local);
    }
    if (op == OPC_IASTORE || op == OPC_LASTORE || op == OPC_FASTORE || op == OPC_DASTORE) {
        stack_word& index = s.stack[s.d - ref_depth + 1];
        if (ref.producer != nullptr && index.producer != nullptr) {
            // The producers are marked for the passes that pair them; the
            // store keeps its null and bounds checks (fault mended: marking
            // the store known non-null and in bounds here dropped both
            // checks of every a[i] = v whose operands came from this block,
            // so an out-of-range index wrote outside the array).
            quad_or_word0(*ref.producer, QW_PRODUCER_REF);
            quad_or_word0(*index.producer, QW_PRODUCER_INDEX);
        }
    }
}

void field_access(sim& s, quadruple* q, u4 obj_depth)
{
    if (s.d < obj_depth)
        return;
    stack_word& obj = s.stack[s.d - obj_depth];
    if (!producer_in_block(s, obj.producer)) {
        obj.local = -1;
        obj.producer = nullptr;
    }
    if (obj.local >= 0 && static_cast<u4>(obj.local) < s.locals) {
        u4 local = static_cast<u4>(obj.local);
        quad_or_word0(*obj.producer, QW_BASE_PRODUCER);
        mark_base(s.bt, s.locals, local, LVA_NEW_OBJECT, false);
        mark_base(s.mt, s.locals, local, LVA_NEW_OBJECT, false);
        nonnull_fact(s, q, local);
    }
}

void candidate(sim& s, u4 key1, u4 key2)
{
    s.bcount = put_const_tbl(s.m, s.bcount, s.bcand, key1, key2, 1, s.block);
    s.mcount = put_const_tbl(s.m, s.mcount, s.mcand, key1, key2, 1, s.block);
}

u4 kind_bit_of_load(u1 op, bool second)
{
    switch (op) {
    case OPC_ILOAD: case OPC_ISTORE: return LVA_INT;
    case OPC_LLOAD: case OPC_LSTORE: return second ? LVA_LONG_SECOND : LVA_LONG_FIRST;
    case OPC_FLOAD: case OPC_FSTORE: return LVA_FLOAT;
    case OPC_DLOAD: case OPC_DSTORE: return second ? LVA_DOUBLE_SECOND : LVA_DOUBLE_FIRST;
    default: return LVA_REF;
    }
}

void load_local(sim& s, quadruple** slot, u1 op, u4 local)
{
    switch (op) {
    case OPC_ILOAD: push(s, SK_INT, static_cast<s4>(local), slot); break;
    case OPC_LLOAD:
        push(s, SK_LONG1, static_cast<s4>(local), slot);
        push(s, SK_LONG2, static_cast<s4>(local), slot);
        break;
    case OPC_FLOAD: push(s, SK_FLOAT, static_cast<s4>(local), slot); break;
    case OPC_DLOAD:
        push(s, SK_DOUBLE1, static_cast<s4>(local), slot);
        push(s, SK_DOUBLE2, static_cast<s4>(local), slot);
        break;
    default: push(s, SK_REF, static_cast<s4>(local), slot); break;
    }
    mark_read(s, local, kind_bit_of_load(op, false));
    if (op == OPC_LLOAD || op == OPC_DLOAD)
        mark_read(s, local + 1, kind_bit_of_load(op, true));
}

void store_local(sim& s, quadruple* q, u1 op, u4 local)
{
    bool two = op == OPC_LSTORE || op == OPC_DSTORE;
    stack_word top = s.d > 0 ? s.stack[s.d - 1] : stack_word{0, -1, nullptr, 0};
    pop(s, two ? 2 : 1);
    forget_local(s, static_cast<s4>(local), s.d);
    if (op == OPC_ASTORE && s.bt != nullptr && local < s.locals)
        s.bt[local].attr &= ~(LVA_NONNULL | LVA_NONNULL_2);
    mark_write(s, local, kind_bit_of_load(op, false));
    if (two)
        mark_write(s, local + 1, kind_bit_of_load(op, true));
    if (local >= s.locals)
        return;
    if (op != OPC_LSTORE && pinned_store(s, q)) {
        if (s.bt != nullptr)
            s.bt[local].attr |= LVA_PINNED_STORE;
        if (s.mt != nullptr)
            s.mt[local].attr |= LVA_PINNED_STORE;
    }
    if (op == OPC_ISTORE && top.producer == nullptr && s.mt != nullptr)
        s.mt[local].attr |= LVA_PARAMETER;
    if (op == OPC_ASTORE) {
        lvattr_entry* tables[2] = {s.bt, s.mt};
        for (lvattr_entry* t : tables) {
            if (t == nullptr)
                continue;
            t[local].attr |= top.kind;
            if (top.kind == SK_NEW || top.kind == SK_NEWARRAY)
                t[s.locals + local].count++;
            if (top.kind == SK_NEWARRAY)
                t[s.locals + local].count2++;
        }
    }
}

// Marks the local of a typed store (115) and of the monitor pairs.
void typed_store_mark(sim& s, u4 local, u4 bit1, u4 bit2, bool two)
{
    bool first = s.bt != nullptr && local < s.locals
                 && !(s.bt[local].attr & (LVA_FIRST_READ | LVA_FIRST_WRITE));
    mark_write(s, local, bit1, true, first);
    if (two)
        mark_write(s, local + 1, bit2, true, first);
}

void push_kinds(sim& s, const stack_effect& e, quadruple** slot)
{
    for (u4 i = 0; i < e.npush; i++)
        push(s, e.push[i], -1, slot);
}

void push_type_code(sim& s, u4 code, quadruple** slot)
{
    switch (code) {
    case 2: push(s, SK_REF, -1, slot); break;
    case 5: case 8: case 9: case 10: case 12: push(s, SK_INT, -1, slot); break;
    case 6: push(s, SK_FLOAT, -1, slot); break;
    case 7: push(s, SK_DOUBLE1, -1, slot); push(s, SK_DOUBLE2, -1, slot); break;
    case 11: push(s, SK_LONG1, -1, slot); push(s, SK_LONG2, -1, slot); break;
    default: break;
    }
}

void mark_ref_read(sim& s, u4 local) { mark_read(s, local, LVA_REF); }

void sync_receiver_use(sim& s)
{
    if (!s.sync_instance)
        return;
    if (s.bt != nullptr) {
        s.bt[0].count++;
        s.bt[0].attr |= LVA_ACCESSED | LVA_REF | (s.bt[0].attr < LVA_FIRST_READ ? LVA_FIRST_READ : 0);
    }
    if (s.mt != nullptr) {
        s.mt[0].count++;
        s.mt[0].attr |= LVA_ACCESSED | LVA_REF;
    }
}

// Class nibble of a stack word for the shuffle form codes.
u4 class_nibble(u4 kind)
{
    if (kind == SK_INT) return 1;
    if (kind & 0xE) return 5;
    if (kind == SK_FLOAT) return 2;
    if (kind == SK_LONG1 || kind == SK_LONG2) return 3;
    return 4;
}

u4 form_nibbles(const stack_word* w, u4 n, u4* iregs, u4* fregs)
{
    // One nibble per value: a long or double (two words) gives 0x33 / 0x44
    // over its two nibble places.
    u4 code = 0;
    for (u4 i = 0; i < n; i++) {
        code = code << 4 | class_nibble(w[i].kind);
        if (sk_int_class(w[i].kind)) (*iregs)++;
        else if (sk_float_register(w[i].kind)) (*fregs)++;
    }
    return code;
}

int shuffle(sim& s, quadruple** slot, u1 op)
{
    quadruple* q = *slot;
    u4 copied = op == OPC_DUP || op == OPC_DUP_X1 || op == OPC_DUP_X2 ? 1 : 2;
    u4 below = (op == OPC_DUP_X1 || op == OPC_DUP2_X1) ? 1 : (op == OPC_DUP_X2 || op == OPC_DUP2_X2) ? 2 : 0;
    if (op == OPC_SWAP) {
        copied = 2;
        below = 0;
    }
    if (s.d < copied + below)
        return 0;
    for (u4 i = s.d - copied - below; i < s.d; i++)
        if (s.stack[i].kind == SK_REF)
            s.stack[i].local = -1;
    stack_word top[2], under[2];
    memcpy(top, &s.stack[s.d - copied], copied * sizeof(stack_word));
    memcpy(under, &s.stack[s.d - copied - below], below * sizeof(stack_word));
    u4 iregs = 0, fregs = 0;
    u4 copy_code = form_nibbles(top, copied, &iregs, &fregs);
    u4 ci = 0, cf = 0;
    u4 below_code = form_nibbles(under, below, &ci, &cf);
    iregs += ci;
    fregs += cf;
    if (op == OPC_SWAP) {
        s.stack[s.d - 2] = top[1];
        s.stack[s.d - 1] = top[0];
        q->target = copy_code << 16;
        return 0;
    }
    // New layout: copies, then the words below, then the originals.
    u4 base = s.d - copied - below;
    u4 pushed_i = 0, pushed_f = 0;
    for (u4 i = 0; i < copied; i++) {
        if (sk_int_class(top[i].kind)) pushed_i++;
        else if (sk_float_register(top[i].kind)) pushed_f++;
    }
    if (s.d + copied > s.m->max_stack)
        return 0;
    for (u4 i = 0; i < copied; i++)
        s.stack[base + i] = top[i];
    for (u4 i = 0; i < below; i++)
        s.stack[base + copied + i] = under[i];
    for (u4 i = 0; i < copied; i++)
        s.stack[base + copied + below + i] = top[i];
    for (u4 i = 0; i < copied; i++)
        if (top[i].kind == SK_DOUBLE1) {
            if (s.hf < s.m->max_stack) s.marks[s.hf] = 1;
            if (s.hf + 1 < s.m->max_stack) s.marks[s.hf + 1] = 1;
        }
    s.d = static_cast<u2>(s.d + copied);
    s.hi = static_cast<u2>(s.hi + pushed_i);
    s.hf = static_cast<u2>(s.hf + pushed_f);
    note_push(s);
    q->target = copy_code << 16 | below_code << 24 | fregs << 8 | iregs;
    return 0;
}

// Block entry state of the block named by a value-carrying goto.
void reset_to_entry(sim& s, u4 block)
{
    if (block >= s.m->bb_count)
        return;
    const bbattr* t = s.m->bb_table[block];
    s.d = t->entry_depth;
    s.hi = t->entry_int_height;
    s.hf = t->entry_float_height;
}

int subroutine_call(sim& s, quadruple** slot)
{
    quadruple* q = *slot;
    push(s, SK_REF, -1, slot);
    auto* subs = static_cast<subroutine_info*>(s.m->subroutine_table);
    if (subs == nullptr || q->op >= s.m->subroutine_count)
        return 0;
    subroutine_info* sub = &subs[q->op];
    if (sub->flags & SUBR_NO_SIMULATE)
        return 0;
    if (visit_subroutine(s.m, subs, q->op, s.stack, s.d, s.hi, s.hf) != 0)
        return 1;
    u4 from = s.d >= sub->drop ? s.d - sub->drop : 0;
    for (u4 i = from; i < sub->exit_depth && i < s.m->max_stack; i++)
        s.stack[i] = stack_word{SK_INT, -1, slot, 0};
    s.d = sub->exit_depth;
    s.hi = sub->exit_iheight;
    s.hf = sub->exit_fheight;
    note_push(s);
    note_pop(s);
    return 0;
}

void null_check_mark(sim& s, quadruple** slot)
{
    quadruple* q = *slot;
    u4 n = q->op;
    if (quad_kind_nibble(q) != 0 && n > 0 && s.d >= n) {
        stack_word& recv = s.stack[s.d - n];
        if (recv.local >= 0 && static_cast<u4>(recv.local) < s.locals && s.bt != nullptr)
            nonnull_fact(s, q, static_cast<u4>(recv.local));
        if ((quad_word0(q) & QW_NONNULL) && n == 1 && recv.producer == slot - 1 && slot > s.b->catbl
            && ((*recv.producer)->opcode == OPC_ALOAD || (*recv.producer)->opcode == OPC_DUP)) {
            quad_make_nop(*recv.producer, false);
            quad_make_nop(q, false);
        }
    }
    pop(s, n);
}

void typed_store(sim& s, quadruple** slot)
{
    quadruple* q = *slot;
    u4 local = q->op;
    if (pinned_store(s, q) && local < s.locals) {
        if (s.bt != nullptr) s.bt[local].attr |= LVA_PINNED_STORE;
        if (s.mt != nullptr) s.mt[local].attr |= LVA_PINNED_STORE;
    }
    u4 code = quad_kind_nibble(q);
    u4 words = (code == 2 || code == 5 || code == 6 || (code >= 8 && code <= 10) || code == 12) ? 1
               : (code == 7 || code == 11) ? 2 : 0;
    if (words == 0)
        return;
    // The value stays on the stack: the extremes see it popped and pushed back.
    u2 d = s.d, hi = s.hi, hf = s.hf;
    pop(s, words);
    s.d = d;
    s.hi = hi;
    s.hf = hf;
    note_push(s);
    forget_ref_mirrors(s, static_cast<s4>(local));
    if (words == 2)
        forget_ref_mirrors(s, static_cast<s4>(local + 1));
    switch (code) {
    case 2:
        if (s.bt != nullptr && local < s.locals)
            s.bt[local].attr &= ~(LVA_NONNULL | LVA_NONNULL_2);
        typed_store_mark(s, local, LVA_REF, 0, false);
        break;
    case 6: typed_store_mark(s, local, LVA_FLOAT, 0, false); break;
    case 7: typed_store_mark(s, local, LVA_DOUBLE_FIRST, LVA_DOUBLE_SECOND, true); break;
    case 11: typed_store_mark(s, local, LVA_LONG_FIRST, LVA_LONG_SECOND, true); break;
    default: typed_store_mark(s, local, LVA_INT, 0, false); break;
    }
}

void invocation(sim& s, quadruple** slot, u1 op)
{
    quadruple* q = *slot;
    s.m->invocation_count++;
    s.b->invocation_count++;
    u4 kind = quad_kind_nibble(q);
    if (kind == 10 || kind == 11)
        s.m->float_invocation_count++;
}

int simulate_one(sim& s, quadruple** slot)
{
    quadruple* q = *slot;
    u1 op = q->opcode;
    switch (op) {
    case OPC_ILOAD: case OPC_LLOAD: case OPC_FLOAD: case OPC_DLOAD: case OPC_ALOAD:
        load_local(s, slot, op, q->op);
        return 0;
    case OPC_ICONST: push(s, SK_INT, -1, slot); candidate(s, 1, q->value); return 0;
    case OPC_ACONST: push(s, SK_REF, -1, slot); candidate(s, 1, q->value); return 0;
    case OPC_LCONST: push(s, SK_LONG1, -1, slot); push(s, SK_LONG2, -1, slot); candidate(s, 32, q->value); return 0;
    case OPC_FCONST: push(s, SK_FLOAT, -1, slot); candidate(s, 1024, q->value); return 0;
    case OPC_DCONST:
        push(s, SK_DOUBLE1, -1, slot);
        push(s, SK_DOUBLE2, -1, slot);
        candidate(s, 2048, q->value);
        return 0;
    case OPC_ISTORE: case OPC_LSTORE: case OPC_FSTORE: case OPC_DSTORE: case OPC_ASTORE:
        store_local(s, q, op, q->op);
        return 0;
    case OPC_IINC:
        if (q->op < s.locals) {
            if (s.bt != nullptr)
                s.bt[q->op].attr |= LVA_INT | LVA_ACCESSED | LVA_WRITTEN | first_bit(s.bt[q->op], LVA_FIRST_READ);
            if (s.mt != nullptr)
                s.mt[q->op].attr |= LVA_INT | LVA_ACCESSED | LVA_WRITTEN | LVA_PARAMETER;
        }
        return 0;
    case OPC_IALOAD: case OPC_LALOAD: case OPC_FALOAD: case OPC_DALOAD: case OPC_AALOAD: case OPC_EADDR:
        array_access(s, q, 2);
        break;
    case OPC_IASTORE: case OPC_FASTORE: case OPC_AASTORE: case OPC_MEMSET:
        array_access(s, q, 3);
        break;
    case OPC_LASTORE: case OPC_DASTORE:
        array_access(s, q, 4);
        break;
    case OPC_IGETFIELD: case OPC_LGETFIELD: case OPC_FGETFIELD: case OPC_DGETFIELD: case OPC_AGETFIELD:
        field_access(s, q, 1);
        break;
    case OPC_IPUTFIELD: case OPC_FPUTFIELD: case OPC_APUTFIELD:
        field_access(s, q, 2);
        break;
    case OPC_LPUTFIELD: case OPC_DPUTFIELD:
        field_access(s, q, 3);
        break;
    case OPC_ICALL: case OPC_LCALL: case OPC_FCALL: case OPC_DCALL: case OPC_ACALL: case OPC_VCALL: {
        invocation(s, slot, op);
        if (set_invoke_args(s.m, slot, s.stack, s.d) != 0)
            return 1;
        u4 n = q->count & 0xFF;
        u4 iregs, fregs;
        count_invoke_args(s.m, slot, s.stack, s.d, n, s.bt, &iregs, &fregs);
        pop(s, n);
        forget_ref_locals(s.m, s.stack, s.d);
        static constexpr u2 kResults[6][2] = {{SK_INT, 0}, {SK_LONG1, SK_LONG2}, {SK_FLOAT, 0},
                                              {SK_DOUBLE1, SK_DOUBLE2}, {SK_REF, 0}, {0, 0}};
        for (u2 k : kResults[op - OPC_ICALL])
            if (k != 0)
                push(s, k, -1, slot);
        return 0;
    }
    case OPC_CALL_MARK:
        invocation(s, slot, op);
        if (set_stack_snapshot(s.m, s.stack, s.d, s.hi, s.hf, slot) != 0)
            return 1;
        s.d = s.hi = s.hf = 0;
        note_pop(s);
        return 0;
    case OPC_NEW:
        push(s, SK_NEW, -1, slot);
        if (quad_unresolved(q)) {
            set_flag_bit(s.m);
        } else {
            const u4* cp = pool_of(s);
            const classblock* cb = q->aux != 0 ? reinterpret_cast<const classblock*>(q->aux)
                                   : cp != nullptr ? reinterpret_cast<const classblock*>(cp[q->op]) : nullptr;
            test_class_initialised(s, cb);
        }
        return 0;
    case OPC_LDC:
        push(s, SK_REF, -1, slot);
        if (!quad_unresolved(q))
            candidate(s, 16, q->value);
        else
            test_class_initialised(s, orva_classJavaLangString != nullptr ? *orva_classJavaLangString : nullptr);
        return 0;
    case OPC_ATHROW:
        if (set_invoke_args(s.m, slot, s.stack, s.d) != 0)
            return 1;
        s.d = s.hi = s.hf = 0;
        note_pop(s);
        return 0;
    case OPC_GOTO: {
        u4 nib = quad_kind_nibble(q);
        if (nib == 0)
            return 0;
        reset_to_entry(s, static_cast<u4>(q->op) | static_cast<u4>(q->count) << 16);
        static constexpr u2 kCarried[7][2] = {{0, 0}, {0, 0}, {SK_INT, 0}, {SK_LONG1, SK_LONG2}, {SK_FLOAT, 0},
                                              {SK_DOUBLE1, SK_DOUBLE2}, {SK_REF, 0}};
        if (nib < 7)
            for (u2 k : kCarried[nib])
                if (k != 0)
                    push(s, k, -1, slot);
        return 0;
    }
    case OPC_PLOAD: load_local(s, slot, OPC_ALOAD, q->count); return 0;
    case OPC_PSTORE: store_local(s, q, OPC_ASTORE, q->count); return 0;
    case OPC_NULLCHECK_MARK: null_check_mark(s, slot); return 0;
    case OPC_XSTORE: typed_store(s, slot); return 0;
    case OPC_LDCTABLE: {
        pop(s, 1);
        u4 nib = quad_kind_nibble(q);
        if (nib == 6 || nib == 7 || nib == 10 || nib == 11)
            push_type_code(s, nib, slot);
        return 0;
    }
    case OPC_XALOAD:
        mark_ref_read(s, q->op);
        push_type_code(s, quad_kind_nibble(q), slot);
        return 0;
    case OPC_XASTORE:
        mark_ref_read(s, q->op);
        pop(s, words_of_type_code(quad_kind_nibble(q)));
        return 0;
    case OPC_SYNCENTER:
        forget_ref_mirrors(s, static_cast<s4>(q->count));
        forget_ref_mirrors(s, static_cast<s4>(q->count + 1));
        mark_write(s, q->count, LVA_LONG_FIRST);
        mark_write(s, q->count + 1u, LVA_LONG_SECOND);
        return 0;
    case OPC_SYNCEXIT:
        mark_read(s, q->count, LVA_LONG_FIRST);
        mark_read(s, q->count + 1u, LVA_LONG_SECOND);
        return 0;
    case OPC_JSR:
        return subroutine_call(s, slot);
    case OPC_OTHER:
        switch (quad_kind_nibble(q)) {
        case OTHER_RETURN_VOID: sync_receiver_use(s); break;
        case OTHER_RET: mark_ref_read(s, q->op); break;
        case OTHER_CLINIT: set_flag_bit(s.m); break;
        default: break;
        }
        return 0;
    case OPC_IRETURN: case OPC_LRETURN: case OPC_FRETURN: case OPC_DRETURN: case OPC_ARETURN: {
        static constexpr u2 kReturn[5][2] = {{SK_INT, 0}, {SK_LONG1, SK_LONG2}, {SK_FLOAT, 0},
                                             {SK_DOUBLE1, SK_DOUBLE2}, {SK_REF, 0}};
        stack_word keep[2];
        u4 n = kReturn[op - OPC_IRETURN][1] != 0 ? 2 : 1;
        for (u4 i = 0; i < n; i++)
            keep[i] = s.d >= n ? s.stack[s.d - n + i] : stack_word{kReturn[op - OPC_IRETURN][i], -1, nullptr, 0};
        pop(s, s.d);
        for (u4 i = 0; i < n; i++)
            push(s, kReturn[op - OPC_IRETURN][i], keep[i].local, keep[i].producer);
        sync_receiver_use(s);
        return 0;
    }
    case OPC_DUP: case OPC_DUP2: case OPC_DUP_X1: case OPC_DUP2_X1: case OPC_DUP_X2: case OPC_DUP2_X2:
    case OPC_SWAP:
        return shuffle(s, slot, op);
    case OPC_MULTIANEWARRAY:
        pop(s, q->count);
        push(s, SK_NEWARRAY, -1, slot);
        return 0;
    default:
        break;
    }
    const stack_effect& e = kEffects.e[op];
    pop(s, e.pop);
    push_kinds(s, e, slot);
    if (op >= OPC_IGETFIELD && op <= OPC_APUTFIELD && quad_unresolved(q))
        set_flag_bit(s.m);
    if (op >= OPC_IGETSTATIC && op <= OPC_APUTSTATIC && !quad_unresolved(q)) {
        const u4* cp = pool_of(s);
        const fieldblock* f = q->op != 0 && cp != nullptr ? reinterpret_cast<const fieldblock*>(cp[q->op])
                                                          : reinterpret_cast<const fieldblock*>(q->aux);
        test_class_initialised(s, f != nullptr ? f->clazz : nullptr);
    }
    return 0;
}

bool synchronized_instance(const methodblock* mb) { return (mb->access & (ACC_SYNCHRONIZED | ACC_STATIC)) == ACC_SYNCHRONIZED; }

void load_entry_stack(method_compile_context* m, bbattr* b, stack_word* stack)
{
    auto* table = reinterpret_cast<const stack_word*>(b->stack_table);
    if (table == nullptr)
        return;
    for (u4 i = 0; i < b->entry_depth && i < m->max_stack; i++) {
        if (b->pred_count == 1)
            stack[i] = table[i];
        else
            stack[i] = stack_word{table[i].kind, -1, nullptr, 0};
    }
}

void store_successor(method_compile_context* m, bbattr* s, u2 d, u2 hi, u2 hf, const stack_word* stack)
{
    s->entry_depth = d;
    s->entry_int_height = hi;
    s->entry_float_height = hf;
    auto* table = reinterpret_cast<stack_word*>(s->stack_table);
    if (table != nullptr)
        memcpy(table, stack, d * sizeof(stack_word));
}

} // namespace

int BB_stack_simulate(method_compile_context* m, bbattr** table, u4 block, u2* depth, u2* iheight, u2* fheight,
                      u1* marks, stack_word* stack)
{
    bbattr* b = table[block];
    bbattr* entry = table[0];
    sim s{};
    s.m = m;
    s.b = b;
    s.block = block;
    s.locals = m->local_count;
    s.bt = static_cast<lvattr_entry*>(b->var_table);
    s.mt = static_cast<lvattr_entry*>(entry->var_table);
    s.stack = stack;
    s.marks = marks;
    s.d = *depth;
    s.hi = *iheight;
    s.hf = *fheight;
    s.max_d = s.min_d = s.d;
    s.max_hi = s.min_hi = s.hi;
    s.max_hf = s.min_hf = s.hf;
    s.bcand = static_cast<const_candidate*>(b->cand_table);
    s.mcand = static_cast<const_candidate*>(entry->cand_table);
    s.bcount = 0;
    s.mcount = entry->cand_count;
    s.string_method = qgen_string_method(m->mb);
    s.sync_instance = synchronized_instance(m->mb);
    b->invocation_count = 0;
    memset(marks, 0, m->max_stack);
    for (u4 i = 0; i < b->quad_count; i++) {
        quadruple** slot = &b->catbl[i];
        quadruple* q = *slot;
        u2 ibefore = static_cast<u2>(s.hi - 1), fbefore = static_cast<u2>(s.hf - 1);
        if (q->opcode < OPC_COUNT && simulate_one(s, slot) != 0)
            return 1;
        quad_set_itops(q, ibefore, static_cast<u2>(s.hi - 1));
        quad_set_ftops(q, fbefore, static_cast<u2>(s.hf - 1));
    }
    b->max_depth = s.max_d;
    b->local_count = s.min_d;
    b->max_int_height = static_cast<int16_t>(s.max_hi);
    b->stack_word = s.min_hi;
    b->max_float_height = static_cast<int16_t>(s.max_hf);
    b->min_float_height = static_cast<int16_t>(s.min_hf);
    b->cand_count = static_cast<u2>(s.bcount);
    entry->cand_count = static_cast<u2>(s.mcount);
    auto* mark_array = static_cast<u1*>(m->mark_array);
    if (mark_array != nullptr)
        for (u4 i = 0; i < m->max_stack; i++)
            mark_array[i] |= marks[i];
    *depth = s.d;
    *iheight = s.hi;
    *fheight = s.hf;
    return 0;
}

int visit_subroutine(method_compile_context* m, subroutine_info* subs, u4 index, stack_word* stack, u2 depth,
                     u2 iheight, u2 fheight)
{
    subroutine_info* s = &subs[index];
    if (s->visited != 0)
        return 0;
    // Marked before the walk so that a subroutine reached again from inside
    // itself is not re-entered.
    s->visited = 1;
    return subroutine_stack_regalloc(m, s, stack, depth, iheight, fheight);
}

int subroutine_stack_regalloc(method_compile_context* m, subroutine_info* s, stack_word* stack, u2 depth,
                              u2 iheight, u2 fheight)
{
    u4 S = m->max_stack;
    auto* marks = static_cast<u1*>(jit_wmem_alloc(m->pool1, S));
    auto* work = static_cast<stack_word*>(jit_wmem_alloc(m->pool1, S * sizeof(stack_word)));
    auto* exit_stack = static_cast<stack_word*>(jit_wmem_alloc(m->pool1, S * sizeof(stack_word)));
    if (marks == nullptr || work == nullptr || exit_stack == nullptr)
        return 1;
    u2 d = depth, hi = iheight, hf = fheight;
    bool have_exit = false;
    int16_t lowest = static_cast<int16_t>(depth);
    for (u4 k = 0; k < s->block_count; k++) {
        bbattr* b = m->bb_table[s->blocks[k]];
        if ((b->flags & BB_DEAD) || b->quad_count == 0)
            continue;
        if (k == 0) {
            b->entry_depth = depth;
            b->entry_int_height = iheight;
            b->entry_float_height = fheight;
            auto* table = reinterpret_cast<stack_word*>(b->stack_table);
            for (u4 i = 0; i < depth && i < S; i++) {
                stack_word w{stack[i].kind, -1, nullptr, 0};
                work[i] = w;
                if (table != nullptr)
                    table[i] = w;
            }
        } else {
            load_entry_stack(m, b, work);
        }
        d = b->entry_depth;
        hi = b->entry_int_height;
        hf = b->entry_float_height;
        if (BB_stack_simulate(m, m->bb_table, b->id, &d, &hi, &hf, marks, work) != 0)
            return 1;
        if (static_cast<int16_t>(b->local_count) < lowest)
            lowest = static_cast<int16_t>(b->local_count);
        const quadruple* last = b->catbl[b->quad_count - 1];
        if (!have_exit && last->opcode == OPC_OTHER && quad_kind_nibble(last) == OTHER_RET) {
            memcpy(exit_stack, work, d * sizeof(stack_word));
            s->exit_depth = d;
            s->exit_iheight = hi;
            s->exit_fheight = hf;
            have_exit = true;
        }
        for (u4 i = 0; i < b->succ_count; i++) {
            u4 t = b->succ[i];
            if (t + 1 >= m->bb_count)
                continue;
            store_successor(m, m->bb_table[t], d, hi, hf, work);
        }
    }
    if (!have_exit) {
        memcpy(exit_stack, work, d * sizeof(stack_word));
        s->exit_depth = d;
        s->exit_iheight = hi;
        s->exit_fheight = hf;
    }
    s->drop = static_cast<u2>(static_cast<int16_t>(depth) - lowest);
    s->exit_stack = exit_stack;
    return 0;
}

int BB_stack_regalloc_walk(method_compile_context* m, u4 block_count, u4 dfs_count, const u4* dfs, bbattr** table,
                           lvattr_entry* method_table)
{
    u4 S = m->max_stack;
    if (S == 0)
        return 0;
    auto* mark_array = static_cast<u1*>(jit_wmem_alloc(m->pool1, S));
    auto* marks = static_cast<u1*>(jit_wmem_alloc(m->pool1, S));
    auto* stacks = static_cast<stack_word*>(jit_wmem_alloc(m->pool1, (block_count - 1) * S * sizeof(stack_word)));
    if (mark_array == nullptr || marks == nullptr || stacks == nullptr)
        return 1;
    memset(mark_array, 0, S);
    memset(stacks, 0, (block_count - 1) * S * sizeof(stack_word));
    m->mark_array = mark_array;
    m->float_slot_count = static_cast<u2>(S);
    for (u4 i = 0; i + 1 < block_count; i++)
        table[i]->stack_table = reinterpret_cast<u4>(stacks + i * S);
    stack_word* working = stacks;

    bool tables = !(m->state_flags & MCC_NO_USAGE_TABLE);
    if (tables) {
        auto* pool = static_cast<work_pool*>(m->bb_table_pool);
        if (pool == nullptr) {
            pool = jit_wmem_init(0);
            if (pool == nullptr)
                return 1;
            m->bb_table_pool = pool;
        }
        u4 bytes = m->local_count * 2 * sizeof(lvattr_entry);
        for (u4 i = 1; i + 1 < block_count; i++) {
            bbattr* b = table[i];
            if ((b->flags & BB_DEAD) || b->quad_count == 0)
                continue;
            b->var_table = jit_wmem_alloc(pool, bytes);
            if (b->var_table == nullptr)
                return 1;
            memset(b->var_table, 0, bytes);
        }
        auto* cands = static_cast<u1*>(jit_wmem_alloc(m->pool2, (block_count - 1) * CONST_TABLE_BYTES));
        if (cands == nullptr)
            return 1;
        memset(cands, 0, (block_count - 1) * CONST_TABLE_BYTES);
        for (u4 i = 0; i + 1 < block_count; i++) {
            table[i]->cand_table = cands + i * CONST_TABLE_BYTES;
            table[i]->cand_count = 0;
        }
    }
    bbattr* entry = table[0];
    entry->entry_depth = entry->entry_int_height = entry->entry_float_height = 0;
    entry->var_table = method_table;
    entry->invocation_count = 0;
    if (block_count > 2) {
        bbattr* first = table[entry->succ_count > 0 ? entry->succ[0] : 1];
        first->entry_depth = first->entry_int_height = first->entry_float_height = 0;
        if (!(m->mb->access & ACC_STATIC) && first->var_table != nullptr)
            static_cast<lvattr_entry*>(first->var_table)[0].attr |= LVA_NONNULL;
    }
    table[block_count - 1]->invocation_count = 0;
    for (u4 i = 1; i < entry->succ_count; i++) {
        s4 n = static_cast<s4>(entry->succ[i]);
        u4 id = static_cast<u4>(n < 0 ? -n : n);
        if (id == 0 || id + 1 >= block_count)
            continue;
        bbattr* h = table[id];
        h->entry_float_height = 0;
        if (h->flags2 & BB2_EMPTY_ENTRY) {
            h->entry_depth = h->entry_int_height = 0;
        } else {
            h->entry_depth = h->entry_int_height = 1;
            reinterpret_cast<stack_word*>(h->stack_table)[0] = stack_word{SK_REF, -1, nullptr, 0};
        }
    }
    bool instance = !(m->mb->access & ACC_STATIC);
    for (u4 k = 1; k < dfs_count; k++) {
        u4 id = dfs[k];
        if (id == 0 || id + 1 >= block_count)
            continue;
        bbattr* b = table[id];
        if ((b->flags & BB_DEAD))
            continue;
        load_entry_stack(m, b, working);
        u2 d = b->entry_depth, hi = b->entry_int_height, hf = b->entry_float_height;
        if (BB_stack_simulate(m, table, id, &d, &hi, &hf, marks, working) != 0)
            return 1;
        for (u4 i = 0; i < b->succ_count; i++) {
            u4 t = b->succ[i];
            if (t + 1 >= block_count)
                continue;
            bbattr* s = table[t];
            store_successor(m, s, d, hi, hf, working);
            auto* st = static_cast<lvattr_entry*>(s->var_table);
            auto* bt = static_cast<lvattr_entry*>(b->var_table);
            if (st == nullptr || bt == nullptr)
                continue;
            if (instance && !(m->state_flags & MCC_NO_RECEIVER_FACTS))
                st[0].attr = st[0].attr | bt[0].attr | LVA_NONNULL;
            if (s->pred_count == 1)
                for (u4 l = 0; l < m->local_count; l++)
                    st[l].attr |= bt[l].attr & LVA_NONNULL;
        }
    }
    return 0;
}
