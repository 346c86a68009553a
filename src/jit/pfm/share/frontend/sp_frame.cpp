// The stack pass `dup2copy`: per block, a count phase and a transform phase.
//
// Input: every live block's `catbl` in the front-end form, with the four stack
// tops of each quadruple recorded by the operand-stack simulation (all 0xFFFF
// on the stackless road).  Output: the same blocks without operand-stack
// shuffles, with the explicit checks, loads and argument copies of calls,
// field and array accesses and allocations, an OPC_CATCH at the head of every
// exception handler and the incoming-argument copies at the head of the
// method's first block.  Blocks 1 .. count-2 are processed; the entry block,
// the exit block and dead blocks are not touched.
//
// The count phase adds up what every case will add; a block that gains
// nothing is rewritten in place.  The transform phase clears each quadruple's
// operand kinds (the tops stay in the value words), runs its case, and fills
// whatever a count case over-reserved with deleted no-operations.
//
// The incoming-argument copies are clones of a cleared copy of the block's
// first quadruple.  The first quadruple itself is left intact: clearing it in
// place (as was once done) wiped the stack tops that its own transform reads,
// so a method starting with, for example, a long constant numbered its result
// as a local.
//
// Results kept in the compile context: max stack (raised where a rewritten
// quadruple uses slots above the instruction's stack), the total quadruple
// count, the invocation count (`invocation_count`), and in the two 16-bit
// counts the pass owns (`stack_counts`): [0] the register-argument count and
// [1] the largest argument-word count of the calls left in the method.
#include <stdio.h>
#include <string.h>

#include "driver/driver.h"
#include "frontend/stackpass.h"
#include "lib/descriptor.h"

namespace {

constexpr int SC_REGISTER_ARGS = 0;     // stack_counts[0]
constexpr int SC_ARG_HIGH_WATER = 1;    // stack_counts[1]

// The case group of a quadruple opcode.
enum sp_case : u1 { CASE_NONE, CASE_SHUFFLE, CASE_INVOKE, CASE_ARRAY, CASE_OBJECT };

constexpr sp_case case_of(u1 op)
{
    if (op >= OPC_DUP && op <= OPC_SWAP)
        return CASE_SHUFFLE;
    if (op >= OPC_ICALL && op <= OPC_CALL_MARK)
        return CASE_INVOKE;
    switch (op) {
    case OPC_IALOAD: case OPC_LALOAD: case OPC_FALOAD: case OPC_DALOAD: case OPC_AALOAD:
    case OPC_IASTORE: case OPC_LASTORE: case OPC_FASTORE: case OPC_DASTORE: case OPC_AASTORE:
    case OPC_EADDR:
        return CASE_ARRAY;
    case OPC_IFNULL: case OPC_NEW: case OPC_MONITOR: case OPC_LDC: case OPC_ATHROW: case OPC_NULLCHECK_MARK:
        return CASE_OBJECT;
    default:
        return op >= OPC_IGETFIELD && op <= OPC_ARRAYLENGTH ? CASE_OBJECT : CASE_NONE;
    }
}

u4 count_case(stack_pass_state* s, quadruple* q)
{
    switch (case_of(q->opcode)) {
    case CASE_SHUFFLE: return sp_count_shuffle(s, q);
    case CASE_INVOKE: return sp_count_invoke(s, q);
    case CASE_ARRAY: return sp_count_array(s, q);
    case CASE_OBJECT: return sp_count_object(s, q);
    default: return 0;
    }
}

int transform_case(stack_pass_state* s, quadruple* q)
{
    switch (case_of(q->opcode)) {
    case CASE_SHUFFLE: return sp_transform_shuffle(s, q);
    case CASE_INVOKE: return sp_transform_invoke(s, q);
    case CASE_ARRAY: return sp_transform_array(s, q);
    case CASE_OBJECT: return sp_transform_object(s, q);
    default: return sp_store(s, q);
    }
}

// Operand descriptors whose kind and flag bytes the transform phase clears.
void clear_operand_kinds(quadruple* q)
{
    q->result.kind = q->result.flags = 0;
    q->auxop.kind = q->auxop.flags = 0;
    q->src1.kind = q->src1.flags = 0;
    q->src2.kind = q->src2.flags = 0;
}

// The template of the incoming-argument copies: a copy of the block's first
// quadruple with its operand-count word, flags, operand kinds, register bytes
// and value words, context word and the two bytes after it cleared.
void make_argument_template(quadruple* tmpl, const quadruple* first)
{
    memcpy(tmpl, first, sizeof *tmpl);
    tmpl->opcount = 0;
    tmpl->flags_a = 0;
    tmpl->flags_b = 0;
    clear_operand_kinds(tmpl);
    quad_operand* ops[3] = {&tmpl->result, &tmpl->src1, &tmpl->src2};
    for (quad_operand* o : ops) {
        o->reg = 0;
        o->second = 0;
        o->value = 0;
    }
    tmpl->context = 0;
    tmpl->byte80 = 0;
    tmpl->byte81 = 0;
}

bool is_first_block(const method_compile_context* m, const bbattr* b)
{
    const bbattr* entry = m->bb_table[0];
    return entry->succ_count > 0 && entry->succ != nullptr && static_cast<s4>(entry->succ[0]) == static_cast<s4>(b->id);
}

// The exception-object load at the head of a handler: a fresh record, not a
// clone, carrying the tops of the block's first quadruple.
quadruple* make_catch(stack_pass_state* s)
{
    auto* c = static_cast<quadruple*>(jit_wmem_alloc(s->m->pool1, sizeof(quadruple)));
    memset(c, 0, sizeof *c);
    c->opcode = OPC_CATCH;
    u2 p = QTOP_EMPTY, f = QTOP_EMPTY;
    if (s->old_count > 0) {
        p = quad_itop_before(s->old_catbl[0]);
        f = quad_ftop_before(s->old_catbl[0]);
    }
    quad_set_itops(c, p, p);
    quad_set_ftops(c, f, f);
    return c;
}

// One block: count phase, new array, head insertions, transform phase,
// fillers.  0 or 1.
int rewrite_block(stack_pass_state* s, bbattr* b, u4* added)
{
    method_compile_context* m = s->m;
    s->block = b;
    s->old_catbl = b->catbl;
    s->old_count = b->quad_count;

    u4 counter = 0;
    bool handler_head = (b->flags & BB_HANDLER) != 0;
    if (handler_head)
        counter = 1;
    bool first_block = is_first_block(m, b);
    quadruple tmpl;
    if (first_block) {
        u4 copies = 0;
        u2 reg_args = 0;
        if (sp_argument_walk(s, m->mb, nullptr, false, &copies, &reg_args) != 0)
            return 1;
        counter += copies;
    }
    for (u4 i = 0; i < s->old_count; i++) {
        s->read = &s->old_catbl[i];
        counter += count_case(s, s->old_catbl[i]);
    }

    quadruple** array = s->old_catbl;
    if (counter != 0) {
        u4 n = s->old_count + counter;
        array = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, n * sizeof(quadruple*)));
        if (array == nullptr) {
            fprintf(stderr, "not enough memory\n");
            return 1;
        }
    }
    s->write = array;
    s->array_end = array + s->old_count + counter;

    if (handler_head) {
        s->write_limit = s->array_end;
        if (sp_store(s, make_catch(s)) != 0)
            return 1;
    }
    if (first_block) {
        // The copies are clones of a cleared copy of the first quadruple; the
        // first quadruple keeps its stack tops for its own transform.
        quadruple blank;
        memset(&blank, 0, sizeof blank);
        make_argument_template(&tmpl, s->old_count > 0 ? s->old_catbl[0] : &blank);
        u4 copies = 0;
        u2 reg_args = 0;
        s->write_limit = s->array_end;
        if (sp_argument_walk(s, m->mb, &tmpl, true, &copies, &reg_args) != 0)
            return 1;
        m->stack_counts[SC_REGISTER_ARGS] = reg_args;
    }

    for (u4 i = 0; i < s->old_count; i++) {
        s->read = &s->old_catbl[i];
        quadruple* q = *s->read;
        // In place, a case may only write where it reads; otherwise up to the
        // end of the new array.
        s->write_limit = counter == 0 ? s->read + 1 : s->array_end;
        q->opcount = 0;
        s->P = quad_itop_before(q);
        s->Pa = quad_itop_after(q);
        s->F = quad_ftop_before(q);
        s->Fa = quad_ftop_after(q);
        clear_operand_kinds(q);
        q->flags_a = 0;
        q->flags_b = 0;
        if (transform_case(s, q) != 0)
            return 1;
    }

    if (counter != 0) {
        quadruple* last = s->old_count > 0 ? s->old_catbl[s->old_count - 1] : nullptr;
        s->write_limit = s->array_end;
        while (s->write < s->array_end) {
            quadruple* filler;
            if (last != nullptr) {
                filler = sp_clone(s, last);
            } else {
                filler = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
                memset(filler, 0, sizeof *filler);
            }
            sp_make_placeholder(filler);
            *s->write++ = filler;
        }
        b->catbl = array;
        b->quad_count += counter;
        *added += counter;
    }
    return 0;
}

} // namespace

quadruple* sp_clone(stack_pass_state* s, const quadruple* q)
{
    auto* c = static_cast<quadruple*>(jit_wmem_alloc(s->m->pool1, sizeof(quadruple)));
    memcpy(c, q, sizeof *c);
    return c;
}

int sp_store(stack_pass_state* s, quadruple* q)
{
    if (s->write >= s->write_limit) {
        fprintf(stderr, "stack pass: block %u outgrew its reserved quadruples\n", s->block->id);
        return 1;
    }
    *s->write++ = q;
    return 0;
}

void sp_raise_int_height(stack_pass_state* s, s4 v)
{
    bbattr* b = s->block;
    s4 old = b->max_int_height;
    if (old >= v)
        return;
    b->max_int_height = static_cast<int16_t>(v);
    if (static_cast<s4>(s->m->max_stack) < v)
        s->m->max_stack = static_cast<u2>(s->m->max_stack + (v - old));
}

void sp_make_placeholder(quadruple* q)
{
    q->opcode = OPC_OTHER;
    q->subcode = OTHER_NOP_DELETED;
}

int sp_argument_walk(stack_pass_state* s, const methodblock* mb, const quadruple* tmpl, bool store, u4* copies,
                     u2* reg_args)
{
    *copies = 0;
    *reg_args = 0;
    u4 slot = 0, k = 0, f = 0;
    auto copy = [&](u1 opcode, u1 result_kind, u1 source_kind) -> int {
        (*copies)++;
        if (!store)
            return 0;
        quadruple* c = sp_clone(s, tmpl);
        c->opcode = opcode;
        c->result.kind = result_kind;
        c->result.number = static_cast<u2>(slot);
        c->src1.kind = source_kind;
        c->src1.number = static_cast<u2>((k & 0xFF) | (slot & 0xFF) << 8);
        return sp_store(s, c);
    };
    const u1 arg_int = quad_kind_byte(QK_ARGUMENT, QT_INT);
    const u1 arg_ref = quad_kind_byte(QK_ARGUMENT, QT_REF);
    const u1 arg_long = quad_kind_byte(QK_ARGUMENT, QT_LONG);
    if (!(mb->access & ACC_STATIC)) {
        if (copy(OPC_ALOCALCOPY, KB_REF, arg_ref) != 0)
            return 1;
        slot = 1;
        k = 1;
    }
    // A descriptor shorter than the argument size ends the copies at its ')';
    // any broken part, also past the argument size, refuses the method.
    desc_walk w = desc_begin(mb->signature);
    while (slot < mb->args_size) {
        desc_item t = desc_next(&w);
        if (t.kind <= DK_MALFORMED)
            break;
        switch (t.kind) {
        case DK_LONG:
            // Tested before the increments: a long whose first word is the
            // third integer word still gets its copy.
            if (k <= 2 && copy(OPC_LLOCALCOPY, KB_LONG, arg_long) != 0)
                return 1;
            slot += 2, k += 2;
            break;
        case DK_REF:
            if (k <= 2 && copy(OPC_ALOCALCOPY, KB_REF, arg_ref) != 0)
                return 1;
            slot += 1, k += 1;
            break;
        case DK_FLOAT:
            slot += 1, f += 1;
            break;
        case DK_DOUBLE:
            slot += 2, f += 1;
            break;
        default:
            if (k <= 2 && copy(OPC_ILOCALCOPY, KB_INT, arg_int) != 0)
                return 1;
            slot += 1, k += 1;
            break;
        }
    }
    if (desc_return(&w).kind == DK_MALFORMED) {
        fprintf(stderr, "stack pass: malformed signature %s\n", mb->signature != nullptr ? mb->signature : "");
        return 1;
    }
    if (store) {
        u4 n = (k <= 3 && f == 0) ? k : 0;
        *reg_args = static_cast<u2>(n != 0 ? n + 1 : 0);
    }
    return 0;
}

u2 sp_register_argument_count(const method_compile_context* m) { return m->stack_counts[SC_REGISTER_ARGS]; }

u2 sp_invocation_arg_high_water(const method_compile_context* m) { return m->stack_counts[SC_ARG_HIGH_WATER]; }

int dup2copy(method_compile_context* m)
{
    stack_pass_state s;
    memset(&s, 0, sizeof s);
    s.m = m;
    u4 added = 0;
    for (u4 n = 1; n + 1 < m->bb_count; n++) {
        bbattr* b = m->bb_table[n];
        if (b == nullptr || (b->flags & BB_DEAD))
            continue;
        if (rewrite_block(&s, b, &added) != 0)
            return 1;
    }
    m->total_quad_count += added;
    m->stack_counts[SC_ARG_HIGH_WATER] = s.arg_high_water;
    m->invocation_count = s.invocation_count;
    return 0;
}
