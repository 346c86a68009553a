// Invocation operand lists and constant candidates: services of the
// operand-stack simulation.
//
// At every invocation quadruple the simulated stack is recorded as a list
// hung on the quadruple's second word (a three-word header whose first word
// is the count, then 12-byte entries bottom of the stack first), with a
// value range for int words pushed by a constant or a ranged move; the
// argument registers of each class are counted and the receiver's non-null
// fact is carried.  For the constants a block pushes, a four-entry table per
// block and one for the method (on the entry block) keep the most used ones.
#include <string.h>

#include "driver/driver.h"
#include "frontend/qgen.h"

namespace {

constexpr u4 FULL_RANGE_LOW = 0x80000000u, FULL_RANGE_HIGH = 0x7fffffffu;
constexpr u1 RANGE_SECOND_BYTE = 3;

quad_operand* range_operand(method_compile_context* m, u4 low, u4 high)
{
    auto* r = static_cast<quad_operand*>(jit_wmem_alloc(m->pool1, sizeof(quad_operand)));
    if (r == nullptr)
        return nullptr;
    memset(r, 0, sizeof *r);
    r->flags = RANGE_SECOND_BYTE;
    // Second and third words: low and high.
    u4* words = reinterpret_cast<u4*>(r);
    words[1] = low;
    words[2] = high;
    return r;
}

// Value range of an int word from its producer, when one is known.
bool int_range(const quadruple* p, u4* low, u4* high)
{
    if (p->opcode == OPC_ICONST) {
        *low = *high = p->value;
        return true;
    }
    if (p->opcode == OPC_ILOAD && (quad_word0(p) & QW_UNRESOLVED)) {
        const u4* words = reinterpret_cast<const u4*>(p);
        *low = words[1];
        *high = words[4];
        return !(*low == FULL_RANGE_LOW && *high == FULL_RANGE_HIGH);
    }
    return false;
}

} // namespace

u4 put_const_tbl(method_compile_context* m, u4 n, const_candidate* table, u4 key1, u4 key2, u4 inc, u4 block)
{
    if (table == nullptr)
        return n;
    for (u4 i = 0; i < n; i++)
        if (table[i].key1 == key1 && table[i].key2 == key2) {
            table[i].count += inc;
            return n;
        }
    if (n > 3)
        return n;
    table[n] = const_candidate{key1, inc, key2, block};
    return n + 1;
}

stack_list* resize_arg_list(method_compile_context* m, quadruple** slot, u4 n)
{
    quadruple* q = *slot;
    stack_list* old = quad_stack_list(q);
    if (old != nullptr && old->count == n)
        return old;
    if (old != nullptr && old->count > n) {
        memmove(old->entries, old->entries + (old->count - n), n * sizeof(stack_list_entry));
        old->count = n;
        return old;
    }
    u4 bytes = 12 + 12 * n;
    auto* list = static_cast<stack_list*>(jit_wmem_alloc(m->pool1, bytes));
    if (list == nullptr)
        return nullptr;
    memset(list, 0, bytes);
    list->count = n;
    if (old != nullptr)
        memcpy(list->entries + (n - old->count), old->entries, old->count * sizeof(stack_list_entry));
    q->target = reinterpret_cast<u4>(list);
    return list;
}

int set_invoke_args(method_compile_context* m, quadruple** slot, const stack_word* stack, s4 n)
{
    quadruple* q = *slot;
    if (n <= 0) {
        q->target = 0;
        return 0;
    }
    stack_list* list = resize_arg_list(m, slot, static_cast<u4>(n));
    if (list == nullptr)
        return 1;
    for (s4 i = 0; i < n; i++) {
        stack_list_entry& e = list->entries[i];
        e.kind = stack[i].kind;
        e.producer = stack[i].producer;
        e.range = nullptr;
        u4 low, high;
        if (stack[i].kind == SK_INT && stack[i].producer != nullptr && int_range(*stack[i].producer, &low, &high)) {
            e.range = range_operand(m, low, high);
            if (e.range == nullptr)
                return 1;
        }
    }
    q->target = reinterpret_cast<u4>(list);
    return 0;
}

void dump_trace_stack(method_compile_context* m, const stack_word* stack, u4 depth) {}

void count_invoke_args(method_compile_context* m, quadruple** slot, stack_word* stack, u4 depth, u4 n,
                       lvattr_entry* block_table, u4* iregs, u4* fregs)
{
    dump_trace_stack(m, stack, depth);
    quadruple* q = *slot;
    u4 ints = 0, floats = 0;
    u4 base = depth >= n ? depth - n : 0;
    for (u4 i = base; i < depth; i++) {
        stack_word& w = stack[i];
        switch (w.kind) {
        case SK_INT: case SK_LONG1: case SK_LONG2: ints++; break;
        case SK_REF: case SK_NEW: case SK_NEWARRAY:
            ints++;
            if (w.producer != nullptr)
                quad_or_word0(*w.producer, QW_REF_ARGUMENT);
            break;
        case SK_FLOAT: case SK_DOUBLE1: floats++; break;
        default: break;
        }
    }
    u4 kind = quad_kind_nibble(q);
    if (n > 0 && base < depth && kind != 1 && kind != 2) {
        stack_word& first = stack[base];
        if ((first.kind & SK_REF) && first.local >= 0 && block_table != nullptr) {
            lvattr_entry& e = block_table[first.local];
            if ((e.attr & LVA_NONNULL) || (quad_word0(q) & QW_NONNULL))
                quad_or_word0(q, QW_NONNULL);
            e.attr |= LVA_NONNULL;
        }
    }
    *iregs = ints;
    *fregs = floats;
}

void forget_ref_locals(method_compile_context* m, stack_word* stack, u4 depth)
{
    for (u4 i = 0; i < depth; i++)
        if (stack[i].kind == SK_REF)
            stack[i].local = -1;
}

int set_stack_snapshot(method_compile_context* m, const stack_word* stack, u4 depth, u2 iheight, u2 fheight,
                       quadruple** slot)
{
    quadruple* q = *slot;
    quad_set_itops(q, quad_itop_before(q), QTOP_EMPTY);
    quad_set_ftops(q, quad_ftop_before(q), QTOP_EMPTY);
    if (depth == 0) {
        q->target = 0;
        return 0;
    }
    u4 bytes = 12 + 12 * depth;
    auto* list = static_cast<stack_list*>(jit_wmem_alloc(m->pool1, bytes));
    if (list == nullptr)
        return 1;
    memset(list, 0, bytes);
    list->count = depth;
    for (u4 k = 0; k < depth; k++) {
        const stack_word& w = stack[depth - 1 - k];
        list->entries[k] = stack_list_entry{nullptr, w.kind, w.producer};
    }
    q->target = reinterpret_cast<u4>(list);
    return 0;
}
