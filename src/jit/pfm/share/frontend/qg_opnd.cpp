// Operand lists and small quadruple-building services.
//
// Appending to a quadruple's operand list (the list hangs from the first
// source when the source count is 3; entries are appended at the tail), the
// fresh-record and no-operation forms of a quadruple, the position shift of
// widened float-stack slots, and the services the stack pass uses to expand
// a small allocation into zeroing stores and to recognise an array copy.
// Everything is allocated from the compilation's first work pool.
#include <stdio.h>
#include <string.h>

#include "driver/driver.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"

void quad_clear_fresh(quadruple* q, s4 source_pc)
{
    q->opcode = 0;
    q->pad1 = 0;
    q->subcode = 0;
    q->target = 0;
    q->second = 0;
    q->op = 0;
    q->count = 0;
    q->aux = 0;
    q->opcount = QC_PERMISSIONS;
    q->flags_a = 0;
    q->flags_b = 0;
    q->value = 0;
    q->context = 0;
    q->byte80 = 0;
    q->byte81 = 0;
    q->body = 0;
    quad_operand* ops[4] = {&q->result, &q->auxop, &q->src1, &q->src2};
    for (quad_operand* o : ops) {
        o->kind = 0;
        o->flags = 0;
        o->reg = 0;
        o->second = 0;
    }
    q->result.value = 0;
    q->src1.value = 0;
    q->src2.value = static_cast<u4>(source_pc);
}

void quad_make_nop(quadruple* q, bool deleted)
{
    q->opcode = OPC_OTHER;
    q->pad1 = 0;
    q->subcode = OTHER_NOP_DELETED;
    q->target = 0;
    q->second = 0;
    q->op = 0;
    q->count = 0;
    q->aux = 0;
    q->context = 0;
    q->body = 0;
    quad_set_source_pc(q, -1);
    if (deleted)
        q->opcount |= QC_DELETED;
}

namespace {

// Appends one zeroed entry at the tail of q's list; none when the pool is out.
quad_operand_list_entry* append_entry(quadruple* q, method_compile_context* m)
{
    auto* e = static_cast<quad_operand_list_entry*>(jit_wmem_alloc(m->pool1, sizeof(quad_operand_list_entry)));
    if (e == nullptr) {
        fprintf(stderr, "not enough memory for making quadruple\n");
        return nullptr;
    }
    memset(e, 0, sizeof *e);
    quad_operand_list_entry* head = quad_list_head(q);
    if (head == nullptr) {
        quad_set_list_head(q, e);
    } else {
        while (head->next != nullptr)
            head = head->next;
        head->next = e;
    }
    return e;
}

} // namespace

int Set_OPRAND(u2 kind, u2 number, quadruple* q, method_compile_context* m)
{
    quad_operand_list_entry* e = append_entry(q, m);
    if (e == nullptr)
        return 1;
    e->kind = kind;
    e->number = number;
    return 0;
}

int Set_OPRAND_byte(u2 kind, u2 number, u1 extra, int flag, quadruple* q, method_compile_context* m)
{
    quad_operand_list_entry* e = append_entry(q, m);
    if (e == nullptr)
        return 1;
    e->kind = static_cast<u2>(flag ? (kind | QL_FIXED) : kind);
    e->number = number;
    e->extra = extra;
    return 0;
}

int Set_OPRAND_pair(u2 type, u1 position, u1 index, u1 extra, int flag, quadruple* q, method_compile_context* m)
{
    quad_operand_list_entry* e = append_entry(q, m);
    if (e == nullptr)
        return 1;
    e->kind = static_cast<u2>(type | QK_ARGUMENT | (flag ? QL_FIXED : 0));
    e->number = static_cast<u2>(index | position << 8);
    e->extra = extra;
    return 0;
}

s4 sum_signed_bytes(method_compile_context* m, const int8_t* table, u4 n)
{
    if (n == 0)
        return 0;
    s4 sum = static_cast<s4>(n);
    for (u4 i = 0; i < n; i++)
        sum += table[i];
    return sum;
}

s4 sum_signed_bytes_plus_count(method_compile_context* m, const int8_t* table, u4 n)
{
    return sum_signed_bytes(m, table, n);
}

int is_small_count(method_compile_context* m, const u4* count)
{
    return (*count - 1u) < 3u ? 1 : 0;
}

namespace {

bool primitive_descriptor(char c)
{
    return c == 'B' || c == 'C' || c == 'D' || c == 'F' || c == 'I' || c == 'J' || c == 'S' || c == 'U' || c == 'Z';
}

classblock* superclass_of(classblock* cb)
{
    return cb->superclass;
}

} // namespace

int is_small_primitive_instance(method_compile_context* m, classblock* cb, u4* count)
{
    u4 n = 0;
    bool primitive = true;
    for (classblock* c = cb; c != nullptr; c = superclass_of(c)) {
        for (u4 i = 0; i < c->fields_count; i++) {
            const fieldblock* f = &c->fields[i];
            if (f->access & ACC_STATIC)
                continue;
            if (f->signature == nullptr || !primitive_descriptor(f->signature[0]))
                primitive = false;
            else
                n++;
        }
    }
    *count = n;
    return primitive && n >= 1 && n <= 3 ? 1 : 0;
}

quadruple** gen_instance_field_init_quads(method_compile_context* m, quadruple** cursor, quadruple* tmpl,
                                          u2 object, classblock* cb)
{
    for (classblock* c = cb; c != nullptr; c = superclass_of(c)) {
        for (u4 i = 0; i < c->fields_count; i++) {
            fieldblock* f = &c->fields[i];
            if (f->access & ACC_STATIC)
                continue;
            cursor++;
            auto* q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
            memcpy(q, tmpl, sizeof *q);
            *cursor = q;
            switch (f->signature[0]) {
            case 'D': q->opcode = OPC_DPUTFIELD; break;
            case 'F': q->opcode = OPC_FPUTFIELD; break;
            case 'J': q->opcode = OPC_LPUTFIELD; break;
            default: q->opcode = OPC_IPUTFIELD; break;
            }
            q->target = 0;
            q->aux = reinterpret_cast<u4>(f);
            q->src1.number = object;
            q->src2.number = 0;
            q->flags_b |= QB_ZERO_INIT;
            q->flags_a |= QA_LIST_BUILT;
        }
    }
    return cursor;
}

quadruple** gen_array_zero_init_quads(method_compile_context* m, u4 ignored, quadruple** cursor,
                                      quadruple* tmpl, u2 array, u4 count)
{
    for (u4 i = 0; i < count; i++) {
        cursor++;
        auto* q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
        memcpy(q, tmpl, sizeof *q);
        *cursor = q;
        u2 code = tmpl->op;
        switch (code) {
        case 4: case 8: q->opcode = OPC_IASTORE; quad_set_kind_nibble(q, 3); break;
        case 5: q->opcode = OPC_IASTORE; quad_set_kind_nibble(q, 5); break;
        case 9: q->opcode = OPC_IASTORE; quad_set_kind_nibble(q, 4); break;
        case 10: q->opcode = OPC_IASTORE; quad_set_kind_nibble(q, 1); break;
        case 6: q->opcode = OPC_FASTORE; break;
        case 7: q->opcode = OPC_DASTORE; break;
        case 11: q->opcode = OPC_LASTORE; break;
        default: break;
        }
        q->flags_a |= QA_LIST_BUILT;
        quad_set_list_head(q, nullptr);
        Set_OPRAND(KB_REF, array, q, m);
        Set_OPRAND(KB_INT_IMM, static_cast<u2>(i), q, m);
        switch (code) {
        case 4: case 5: case 8: case 9: case 10: Set_OPRAND(KB_INT_IMM, 0, q, m); break;
        case 6: Set_OPRAND(quad_kind_byte(QK_IMMEDIATE, QT_FLOAT), 0, q, m); break;
        case 7: Set_OPRAND(quad_kind_byte(QK_IMMEDIATE, QT_DOUBLE), 0, q, m); break;
        case 11: Set_OPRAND(quad_kind_byte(QK_IMMEDIATE, QT_LONG), 0, q, m); break;
        default: break;
        }
    }
    return cursor;
}

int get_array_element_type_code(method_compile_context* m, const stack_value_type* v, const char** descriptor)
{
    if (v == nullptr || v->source == nullptr)
        return -1;
    const char* d = "";
    switch (v->form) {
    case 1: d = reinterpret_cast<const char* const*>(v->source)[1]; break;
    case 0: d = reinterpret_cast<const char* const*>(v->source)[3]; break;
    case 2: {
        char* copy = static_cast<char*>(jit_wmem_alloc(m->pool2, v->length + 1));
        memcpy(copy, v->source, v->length);
        copy[v->length] = 0;
        d = copy;
        break;
    }
    default: break;
    }
    if (descriptor != nullptr)
        *descriptor = d;
    if (d == nullptr || d[0] == 0)
        return -1;
    switch (d[1]) {
    case 'B': return 8;
    case 'C': return 5;
    case 'D': return 7;
    case 'F': return 6;
    case 'I': return 10;
    case 'J': return 11;
    case 'L': case '[': return 2;
    case 'S': return 9;
    case 'U': return 12;
    case 'Z': return 4;
    default: return -1;
    }
}

namespace {

constexpr const char* ARRAYCOPY_SIG = "(Ljava/lang/Object;ILjava/lang/Object;II)V";
constexpr u2 QS_SRCPOS_KNOWN = 0x20, QS_DSTPOS_KNOWN = 0x40, QS_LENGTH_KNOWN = 0x80;

// Element type code and descriptor of an array value from the quadruple
// that pushed it: a new primitive array, or a resolved field of array type.
int producer_array_code(quadruple** producer, const char** descriptor)
{
    static const char* const kPrimitive[12] = {nullptr, nullptr, nullptr, nullptr, "[Z", "[C", "[F", "[D",
                                              "[B", "[S", "[I", "[J"};
    if (producer == nullptr)
        return -1;
    const quadruple* p = *producer;
    if (p->opcode == OPC_NEWARRAY && p->op >= 4 && p->op <= 11) {
        *descriptor = kPrimitive[p->op];
        return p->op;
    }
    if ((p->opcode == OPC_AGETFIELD || p->opcode == OPC_AGETSTATIC) && !quad_unresolved(p) && p->aux != 0) {
        const fieldblock* f = reinterpret_cast<const fieldblock*>(p->aux);
        *descriptor = f->signature;
        switch (f->signature[0] == '[' ? f->signature[1] : 0) {
        case 'B': return 8;
        case 'C': return 5;
        case 'D': return 7;
        case 'F': return 6;
        case 'I': return 10;
        case 'J': return 11;
        case 'S': return 9;
        case 'Z': return 4;
        case 'L': case '[': return 2;
        default: return -1;
        }
    }
    return -1;
}

} // namespace

// The common element type code when the call is an array copy that may be
// inlined, else -1.  The element types come from the quadruples that pushed
// the two arrays (a new primitive array, or a resolved array-typed field);
// reference arrays are never taken, since their store checks cannot be
// proven here, and the out flag stays 0.
int check_system_arraycopy(method_compile_context* m, bbattr* b, quadruple** slot, u4* out_flag)
{
    if (out_flag != nullptr)
        *out_flag = 0;
    quadruple* q = *slot;
    if ((q->count & 0xFF) != 5 || quad_unresolved(q) || q->value == 0)
        return -1;
    const methodblock* callee = reinterpret_cast<const methodblock*>(q->value);
    if (callee->name == nullptr || callee->name[0] != 'a' || strcmp(callee->name, "arraycopy") != 0
        || callee->clazz == nullptr || strcmp(callee->clazz->name, "java/lang/System") != 0
        || strcmp(callee->signature, ARRAYCOPY_SIG) != 0)
        return -1;
    if (compile_option2_flag & OPT2_NINLINE_ARRAYCOPY)
        return -1;
    const stack_list* list = quad_stack_list(q);
    if (list == nullptr || list->count < 5)
        return -1;
    const stack_list_entry* a = list->entries + (list->count - 5);
    const char *sd = nullptr, *dd = nullptr;
    int src = producer_array_code(a[0].producer, &sd);
    int dst = producer_array_code(a[2].producer, &dd);
    if (src < 0 || src != dst || src == 2 || sd == nullptr || dd == nullptr || strcmp(sd, dd) != 0)
        return -1;
    static constexpr u2 kKnown[3] = {QS_SRCPOS_KNOWN, QS_DSTPOS_KNOWN, QS_LENGTH_KNOWN};
    static constexpr u4 kEntry[3] = {1, 3, 4};
    for (u4 i = 0; i < 3; i++) {
        const stack_list_entry& e = a[kEntry[i]];
        const quadruple* p = e.producer != nullptr ? *e.producer : nullptr;
        if (p != nullptr && p->opcode == OPC_ICONST) {
            if (static_cast<s4>(p->value) < 0)
                return -1;
            q->subcode |= kKnown[i];
        } else {
            q->subcode &= static_cast<u2>(~kKnown[i]);
        }
    }
    return src;
}
