// Array copies seen by the use-def chain pass.
//
// A static call of java/lang/System.arraycopy whose two arrays the chains
// show to have the same element type becomes the inlined array-copy
// quadruple (operand list: source array, source position, destination
// array, destination position, length), which the code generator expands in
// place.  The five argument copies in front of the call go; their operands
// move into the list with their use-def chains, and the definitions they
// read now name the array copy among their uses.
//
// The element type comes from where each array was made: a new array (its
// type is exact), a field, a call's return type, or a parameter of the
// method (its declared type).  Two arrays of references are taken only when
// the destination is a fresh array of exactly the source's declared type:
// then every element already fits and no store check is needed.
//
// An array copy (made here or by the stack pass) also learns whether its
// two regions are proved apart, and which of its int arguments are
// non-negative constants, so that the generated copy can drop the matching
// run-time tests.  Apart means: two different fresh arrays; a fresh array
// and a parameter of the method; a fresh array whose first use is the copy
// and any other array; or, within one array, constant positions s and d
// with a constant length n where the regions [s, s+n) and [d, d+n) do not
// meet.
//
// Mended: the constant test is done in 64 bits (d + n may pass the int
// range); an argument held in the quadruple's own constant word is never
// moved into the list, which has no word of its own for it (the generated
// copy would read the call's method block as the count); and a fresh array
// counts as first used by the copy only when the copy comes after the
// allocation in its block, with no other use between them.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"

namespace {

constexpr u2 AC_SRCPOS_CONSTANT = 0x20, AC_DSTPOS_CONSTANT = 0x40, AC_LENGTH_CONSTANT = 0x80;
constexpr u2 AC_CONSTANT_FLAGS = AC_SRCPOS_CONSTANT | AC_DSTPOS_CONSTANT | AC_LENGTH_CONSTANT;
constexpr int COPY_FOLLOW_LIMIT = 64;
constexpr u4 ARGUMENTS = 5;
constexpr const char* ARRAYCOPY_SIGNATURE = "(Ljava/lang/Object;ILjava/lang/Object;II)V";

// Static call kinds; their value word is the callee's method block.
constexpr u4 CALL_STATIC = 1, CALL_STATIC_QUICK = 2, CALL_DIRECT = 4;

// Element type code of an array type text (its second character), or -1.
int element_code(const char* type)
{
    if (type == nullptr || type[0] != '[')
        return -1;
    switch (type[1]) {
    case 'Z': return 4;
    case 'C': return 5;
    case 'F': return 6;
    case 'D': return 7;
    case 'B': return 8;
    case 'S': return 9;
    case 'I': return 10;
    case 'J': return 11;
    case 'L': case '[': return 2;
    default: return -1;
    }
}

const char* primitive_array_type(u4 kind)
{
    static const char* const kTypes[12] = {nullptr, nullptr, nullptr, nullptr, "[Z", "[C", "[F", "[D",
                                          "[B", "[S", "[I", "[J"};
    return kind < 12 ? kTypes[kind] : nullptr;
}

char* pool_text(method_compile_context* m, const char* from, u4 length)
{
    auto* text = static_cast<char*>(jit_wmem_alloc(m->pool1, length + 1));
    memcpy(text, from, length);
    text[length] = 0;
    return text;
}

// "[" followed by the element class as a type: "[LC;" for a class C, "[" + C
// when C is itself an array class.
const char* object_array_type(method_compile_context* m, const classblock* element)
{
    if (element == nullptr || element->name == nullptr)
        return nullptr;
    u4 n = static_cast<u4>(strlen(element->name));
    bool array = element->name[0] == '[';
    auto* text = static_cast<char*>(jit_wmem_alloc(m->pool1, n + 4));
    char* p = text;
    *p++ = '[';
    if (!array)
        *p++ = 'L';
    memcpy(p, element->name, n);
    p += n;
    if (!array)
        *p++ = ';';
    *p = 0;
    return text;
}

const methodblock* static_callee(const quadruple* q)
{
    u4 kind = quad_kind_nibble(q);
    if (quad_unresolved(q) || q->value == 0 || (kind != CALL_STATIC && kind != CALL_STATIC_QUICK && kind != CALL_DIRECT))
        return nullptr;
    return reinterpret_cast<const methodblock*>(q->value);
}

u4 block_number(const method_compile_context* m, const bbattr* b)
{
    return b->id < m->bb_count && m->bb_table[b->id] == b ? b->id : 0;
}

// Is the quadruple at `use` the first thing to read the value that the
// quadruple at `def` makes?
bool first_use_of(const method_compile_context* m, u4 def_block, u4 def_index, u4 use_block, u4 use_index)
{
    const df_operand* d = df_opnd(&m->bb_table[def_block]->catbl[def_index]->result);
    quad_ref use = make_quad_ref(use_block, use_index);
    if (d->kind & DFO_SINGLE_REF)
        return d->chain == use;
    if (use_block != def_block || use_index <= def_index || d->chain == 0)
        return false;
    bool first = true;
    df_for_each_ref(d, [&](quad_ref r) {
        u4 k = quad_ref_index(r);
        if (quad_ref_block(r) == def_block && k > def_index && k < use_index)
            first = false;
    });
    return first;
}

// What is known of one array operand of a copy.
struct array_fact {
    const char* type;       // its type text, or null
    bool exact;             // a fresh allocation of exactly that type
    bool first_use;         // ... first read by the copy
    bool parameter;         // the method's incoming parameter
    quad_ref origin;        // the defining quadruple of a fresh allocation
};

// The facts of a local operand read at (block, index), through copies (one
// definition each) to where its value was made.
array_fact array_fact_of(method_compile_context* m, const df_operand* o, u4 block, u4 index,
                         const char* const* params, u4 param_slots)
{
    array_fact f{};
    const df_operand* cur = o;
    quad_ref first_def = single_def(o);
    for (int i = 0; i < COPY_FOLLOW_LIMIT; i++) {
        quad_ref def = single_def(cur);
        if (!df_is_local(cur) || df_type(cur) != QT_REF || def == 0)
            return f;
        if (quad_ref_block(def) == 0) {
            // The value the parameter had at entry: its declared type.
            u4 slot = cur->number;
            if (quad_ref_index(def) == QREF_PARAMETER && params != nullptr && slot < param_slots
                && params[slot] != nullptr) {
                f.type = pool_text(m, params[slot], static_cast<u4>(params[slot + 1] - params[slot]));
                f.parameter = true;
            }
            return f;
        }
        const quadruple* q = quad_of(m, def);
        if (q == nullptr)
            return f;
        if ((opc_info_quadruple[q->opcode] & OPA_COPY) && df_shape(q) == 1 && q->opcode != OPC_ALOCALCOPY) {
            cur = df_opnd(const_cast<quad_operand*>(&q->src1));
            continue;
        }
        u4 ob = quad_ref_block(def), oi = quad_ref_index(def);
        int exact = 0, first = 0;
        f.type = type_of_array_value(m, m->bb_table[ob], &m->bb_table[ob]->catbl[oi], m->bb_table[block],
                                     &m->bb_table[block]->catbl[index], &exact, &first);
        f.exact = exact != 0;
        f.first_use = f.exact && first != 0 && def == first_def;
        f.origin = f.exact ? def : 0;
        f.parameter = q->opcode == OPC_ALOCALCOPY && f.type != nullptr;
        return f;
    }
    return f;
}

// The three int arguments as constants, when they all are.
bool constant_value(const quad_operand_list_entry* e, int64_t* value)
{
    switch (e->kind & QK_KIND_MASK) {
    case QK_IMMEDIATE: *value = e->number; return true;
    case QK_NEG_IMMEDIATE: *value = -static_cast<int64_t>(e->number); return true;
    default: return false;
    }
}

// The regions of one copy cannot meet: by where the two arrays were made,
// else by constant positions and length.
bool regions_apart(const array_fact& src, const array_fact& dst, quad_operand_list_entry* const* e)
{
    if (src.exact && dst.exact && src.origin != dst.origin)
        return true;
    if (src.exact && !dst.exact && (dst.parameter || src.first_use))
        return true;
    if (dst.exact && !src.exact && (src.parameter || dst.first_use))
        return true;
    int64_t s, d, n;
    return constant_value(e[1], &s) && constant_value(e[3], &d) && constant_value(e[4], &n)
           && !(d - n < s && s < d + n);
}

bool list_entries(quadruple* q, quad_operand_list_entry** e)
{
    quad_operand_list_entry* x = df_shape(q) == QC_SRC_LIST ? quad_list_head(q) : nullptr;
    for (u4 i = 0; i < ARGUMENTS; i++) {
        if (x == nullptr)
            return false;
        e[i] = x;
        x = x->next;
    }
    return x == nullptr;
}

// Takes `from` out of a definition's use list and puts `to` in its place
// (once, in order).
void move_use(method_compile_context* m, quad_ref def, quad_ref from, quad_ref to)
{
    quadruple* d = quad_of(m, def);
    if (d == nullptr)
        return;
    df_operand* uses = df_opnd(&d->result);
    if (uses->kind & DFO_SINGLE_REF) {
        if (uses->chain == from)
            uses->chain = to;
        return;
    }
    auto** link = reinterpret_cast<varref_list**>(&uses->chain);
    for (varref_list* l = *link; l != nullptr; link = &l->next, l = l->next)
        if (l->ref == from) {
            *link = l->next;
            break;
        }
    add_chain_ref(m, nullptr, quad_ref_block(def), quad_ref_index(def), to);
}

bool is_arraycopy_call(const quadruple* q)
{
    const methodblock* callee = static_callee(q);
    u4 kind = quad_kind_nibble(q);
    return q->opcode == OPC_VCALL && callee != nullptr && (kind == CALL_STATIC || kind == CALL_STATIC_QUICK)
           && callee->name != nullptr && strcmp(callee->name, "arraycopy") == 0 && callee->clazz != nullptr
           && callee->clazz->name != nullptr && strcmp(callee->clazz->name, "java/lang/System") == 0
           && callee->signature != nullptr && strcmp(callee->signature, ARRAYCOPY_SIGNATURE) == 0;
}

// The argument copies of the call at `index`: the five slots right in front
// of it, each filling one argument of its list; push[i] is argument i's.
bool argument_pushes(const bbattr* b, u4 index, quad_operand_list_entry* const* e, u4* push)
{
    if (index < ARGUMENTS)
        return false;
    for (u4 i = 0; i < ARGUMENTS; i++)
        push[i] = 0xFFFFFFFFu;
    for (u4 k = index - ARGUMENTS; k < index; k++) {
        const quadruple* a = b->catbl[k];
        if (df_deleted(a) || !(opc_info_quadruple[a->opcode] & OPA_ARGCOPY) || df_shape(a) != 1
            || quad_operand_kind(a->result) != QK_ARGUMENT)
            return false;
        u4 i = 0;
        while (i < ARGUMENTS && !((e[i]->kind & QK_KIND_MASK) == QK_ARGUMENT && e[i]->number == a->result.number))
            i++;
        if (i == ARGUMENTS || push[i] != 0xFFFFFFFFu)
            return false;
        push[i] = k;
    }
    return true;
}

} // namespace

u4 build_parameter_slot_map(method_compile_context* m, const char*** out_map)
{
    const methodblock* mb = m->mb;
    *out_map = nullptr;
    if (mb == nullptr || mb->signature == nullptr || mb->signature[0] != '(')
        return 0;
    u4 slots = count_parameter_words(m);
    auto** map = static_cast<const char**>(jit_wmem_alloc(m->pool1, (slots + 1) * sizeof(const char*)));
    u4 slot = 0;
    if (!(mb->access & ACC_STATIC) && slots > 0)
        map[slot++] = nullptr;
    const char* p = mb->signature + 1;
    while (slot < slots && *p != ')' && *p != 0) {
        map[slot++] = p;
        const char* start = p;
        while (*p == '[')
            p++;
        if (*p == 'L') {
            while (*p != ';' && *p != 0)
                p++;
        }
        if (*p == 0)
            break;
        p++;
        if ((*start == 'D' || *start == 'J') && slot < slots)
            map[slot++] = p;
    }
    // A signature shorter than the slots leaves the rest without a type.
    while (slot < slots)
        map[slot++] = nullptr;
    map[slots] = p;
    *out_map = map;
    return slots;
}

const char* type_of_array_value(method_compile_context* m, bbattr* def_block, quadruple** def_slot, bbattr* use_block,
                                quadruple** use_slot, int* exact, int* first_use)
{
    *exact = 0;
    *first_use = 0;
    const quadruple* q = *def_slot;
    const char* type = nullptr;
    bool fresh = false;
    switch (q->opcode) {
    case OPC_NEWARRAY:
        type = primitive_array_type(q->op);
        fresh = true;
        break;
    case OPC_ANEWARRAY:
        type = object_array_type(m, quad_classblock(q));
        fresh = true;
        break;
    case OPC_MULTIANEWARRAY: {
        const classblock* cb = quad_classblock(q);
        type = cb != nullptr ? cb->name : nullptr;
        fresh = true;
        break;
    }
    case OPC_AGETFIELD: case OPC_AGETSTATIC: {
        const fieldblock* f = quad_field(q, q->opcode == OPC_AGETSTATIC);
        type = f != nullptr ? f->signature : nullptr;
        break;
    }
    case OPC_ACALL: {
        const methodblock* callee = static_callee(q);
        const char* close = callee != nullptr && callee->signature != nullptr ? strchr(callee->signature, ')') : nullptr;
        type = close != nullptr ? close + 1 : nullptr;
        break;
    }
    case OPC_ALOCALCOPY: {
        // The method's own parameter, in the slot its copy names.
        if (q->body != 0 || q->context != reinterpret_cast<u4>(m->mb))
            break;
        const char** map;
        u4 slots = build_parameter_slot_map(m, &map);
        u4 slot = q->src1.number >> 8;
        if (map != nullptr && slot < slots && map[slot] != nullptr)
            type = pool_text(m, map[slot], static_cast<u4>(map[slot + 1] - map[slot]));
        break;
    }
    default:
        break;
    }
    if (type == nullptr || type[0] != '[')
        return type;
    if (fresh) {
        *exact = 1;
        u4 db = block_number(m, def_block), ub = block_number(m, use_block);
        if (db != 0 && ub != 0)
            *first_use = first_use_of(m, db, static_cast<u4>(def_slot - def_block->catbl), ub,
                                      static_cast<u4>(use_slot - use_block->catbl));
    }
    return type;
}

void inline_system_arraycopy(method_compile_context* m, bbattr* b, quadruple** slot)
{
    quadruple* q = *slot;
    quad_operand_list_entry* e[ARGUMENTS];
    u4 push[ARGUMENTS];
    u4 block = block_number(m, b), index = static_cast<u4>(slot - b->catbl);
    if (block == 0 || !is_arraycopy_call(q))
        return;
    if (!list_entries(q, e) || !argument_pushes(b, index, e, push))
        return;
    quadruple* a[ARGUMENTS];
    for (u4 i = 0; i < ARGUMENTS; i++)
        a[i] = b->catbl[push[i]];
    // Positions and length: locals, or constants the list can hold.
    static constexpr u4 kInts[3] = {1, 3, 4};
    for (u4 i : kInts) {
        u1 kind = quad_operand_kind(a[i]->src1);
        if (quad_operand_type(a[i]->src1) != QT_INT || (kind != QK_VARIABLE && kind != QK_IMMEDIATE))
            return;
        if (kind == QK_VARIABLE && !(df_opnd(&a[i]->src1)->kind & DFO_SINGLE_REF))
            return;
    }
    const char** params;
    u4 param_slots = build_parameter_slot_map(m, &params);
    array_fact src = array_fact_of(m, df_opnd(&a[0]->src1), block, push[0], params, param_slots);
    array_fact dst = array_fact_of(m, df_opnd(&a[2]->src1), block, push[2], params, param_slots);
    int code = element_code(src.type);
    if (code < 0 || element_code(dst.type) != code || src.type[1] != dst.type[1])
        return;
    if (code == 2 && (!dst.exact || strcmp(src.type, dst.type) != 0))
        return;
    // The argument copies go; their operands and chains move into the list.
    quad_ref call = make_quad_ref(block, index);
    quad_operand_list_entry* head = nullptr;
    for (u4 i = ARGUMENTS; i-- > 0;) {
        auto* x = static_cast<quad_operand_list_entry*>(jit_wmem_alloc(m->pool1, sizeof(quad_operand_list_entry)));
        memset(x, 0, sizeof *x);
        df_operand* from = df_opnd(&a[i]->src1);
        df_operand* to = df_opnd(x);
        // Liveness and register marks are made again later; the chain stays.
        to->kind = static_cast<u2>(from->kind & (0xFF | DFO_SINGLE_REF));
        to->number = from->number;
        to->chain = from->chain;
        quad_ref pushed = make_quad_ref(block, push[i]);
        df_for_each_ref(from, [&](quad_ref d) { move_use(m, d, pushed, call); });
        df_clear_chain(from);
        ChangeNOP(m, static_cast<s4>(block), static_cast<s4>(push[i]));
        if (i == ARGUMENTS - 1) {
            // The length closes the list: position 4, fixed.
            x->extra = 4;
            x->kind |= QL_FIXED;
        }
        x->next = head;
        head = x;
    }
    q->opcode = OPC_ARRAYCOPY;
    quad_set_kind_nibble(q, static_cast<u4>(code));
    q->subcode &= static_cast<u2>(~AC_CONSTANT_FLAGS);
    quad_set_list_head(q, head);
    q->opcount = static_cast<u2>((q->opcount & ~QC_SRC_MASK) | QC_SRC_LIST);
    list_entries(q, e);
    q->op = regions_apart(src, dst, e) ? 1 : 0;
    flag_arraycopy_constants(m, b, slot);
}

void classify_arraycopy_overlap(method_compile_context* m, bbattr* b, quadruple** slot)
{
    quadruple* q = *slot;
    quad_operand_list_entry* e[ARGUMENTS];
    u4 block = block_number(m, b), index = static_cast<u4>(slot - b->catbl);
    if (q->op != 0 || block == 0 || !list_entries(q, e))
        return;
    const char** params;
    u4 param_slots = build_parameter_slot_map(m, &params);
    array_fact src = array_fact_of(m, df_opnd(e[0]), block, index, params, param_slots);
    array_fact dst = array_fact_of(m, df_opnd(e[2]), block, index, params, param_slots);
    if (regions_apart(src, dst, e))
        q->op = 1;
}

void flag_arraycopy_constants(method_compile_context*, bbattr*, quadruple** slot)
{
    quadruple* q = *slot;
    quad_operand_list_entry* e[ARGUMENTS];
    if (!list_entries(q, e))
        return;
    const u2 flags[3] = {AC_SRCPOS_CONSTANT, AC_DSTPOS_CONSTANT, AC_LENGTH_CONSTANT};
    const u4 at[3] = {1, 3, 4};
    for (u4 i = 0; i < 3; i++)
        if ((e[at[i]]->kind & QK_KIND_MASK) == QK_IMMEDIATE)
            q->subcode |= flags[i];
}
