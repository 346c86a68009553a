// Commoning (common-subexpression elimination over quadruples): the pass
// entry, candidate collection and scoring, and the exclude table.
//
// A candidate is a value the method computes more than once with the same
// operands: a two-operand operation, an array element or field load (a store
// to the same place counts as an occurrence too), a conversion, a
// method-table load or an address computation.  The entry collects and
// scores them (at most 64 survive, one bit each in a 64-bit set), computes
// per-block local sets, places the computations by lazy code motion
// (df_common_flow.cpp) and rewrites the blocks so that later occurrences copy
// the value from a new local, the candidate's temporary
// (df_common_rewrite.cpp).  New temporaries raise the method's local count
// and ask the driver for copy propagation; the chains and liveness results
// are out of date afterwards.
//
// What keeps the pass sound where the quadruple form is subtle:
//  - a computation is deleted as dead only when it has no destination at
//    all: a result in an argument slot (the operand stack of a call) is read
//    by the call even though it is not a local;
//  - local 0 is taken as the non-null receiver at a join only when no
//    quadruple of the method defines it;
//  - monitors, calls, class initialisation and subroutine calls end the
//    life of memory values (fields, statics, array elements); volatile
//    fields are never candidates;
//  - values that may raise an exception are commoned inside a block only,
//    never moved to another block (the exception would change place).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "driver/driver.h"
#include "driver/options.h"
#include "dataflow/df_commoning.h"
#include "dataflow/df_operand.h"
#include "frontend/qgen.h"

namespace {

constexpr int SELECTOR_CCCOMMONING = 10;
constexpr s4 THRESHOLDS[8] = {0, 2, 2, 3, 3, 3, 3, 3};
constexpr u4 FLOAT_MODE_KEY = 0x0400;         // key flag: float or double operation in the alternate mode

// The candidate debug range, read once per process (-1: not read yet).
s4 debug_from = -1, debug_upto = -1;

u1 kind_of(const quad_operand& o) { return o.kind & QK_KIND_MASK; }
u1 type_of(const quad_operand& o) { return o.kind >> QT_SHIFT; }
bool is_local(const quad_operand& o) { return kind_of(o) == QK_VARIABLE; }

u2 element_code_of_letter(char c)
{
    switch (c) {
    case 'J': return CME_LONG;
    case 'I': return CME_INT;
    case 'Z': return CME_BOOLEAN;
    case 'B': return CME_BYTE;
    case 'S': return CME_SHORT;
    case 'C': return CME_CHAR;
    case 'F': return CME_FLOAT;
    case 'D': return CME_DOUBLE;
    case 'L': return CME_OBJECT;
    case '[': return CME_ARRAY;
    default: return CME_OTHER;
    }
}

u2 field_hash(const fieldblock* fb)
{
    const char* n = fb->name != nullptr ? fb->name : "";
    u4 first = static_cast<u1>(n[0]), second = first != 0 ? static_cast<u1>(n[1]) : 0;
    u2 code = element_code_of_letter(fb->signature != nullptr ? fb->signature[0] : 0);
    return static_cast<u2>(((second - 'A') * 1024) ^ ((first - 'A') * 16) ^ code);
}

// A constant operand as a key word: kinds 3, 4 and 5 (int-class full constants only).
bool constant_key(const quadruple* q, const quad_operand& o, s4* value)
{
    switch (kind_of(o)) {
    case QK_IMMEDIATE: *value = o.number; return true;
    case QK_NEG_IMMEDIATE: *value = -static_cast<s4>(o.number); return true;
    case QK_CONSTANT:
        if (type_of(o) != QT_INT || (q->flags_a & QA_CONSTANT) == 0)
            return false;
        *value = static_cast<s4>(q->value);
        return true;
    default: return false;
    }
}

// operand_a or operand_b from a source operand: a local, or a constant.
bool source_key(const quadruple* q, const quad_operand& o, s4* word, u2* flags, u2 not_local, u2 two_slot)
{
    if (is_local(o)) {
        *word = o.number;
        if (df_two_slot_type(type_of(o)))
            *flags |= two_slot;
        return true;
    }
    if (!constant_key(q, o, word))
        return false;
    *flags |= not_local;
    return true;
}

bool field_usable(const quadruple* q)
{
    if (q->subcode & 0xC000)            // needs resolution at run time
        return false;
    const auto* fb = reinterpret_cast<const fieldblock*>(q->aux);
    return fb != nullptr && !(fb->access & ACC_VOLATILE);
}

u1 type_of_opcode_row(u1 opcode, u1 first)
{
    // Field opcodes come in the order int, long, float, double, reference.
    static constexpr u1 rows[5] = {QT_INT, QT_LONG, QT_FLOAT, QT_DOUBLE, QT_REF};
    return rows[opcode - first];
}

u4 memory_kind_mask(const commoning_key& k)
{
    u4 c = k.subkey & 0xF;
    switch (k.category) {
    case CMC_ARRAY:
        if (k.opcode == OPC_PALOAD)
            return 0;
        if (c == CME_BOOLEAN || c == CME_BYTE)
            return 0xC0300Cu & 0x3FF00000u;
        if (c == CME_OBJECT || c == CME_ARRAY)
            return 0x300C0300u & 0x3FF00000u;
        if (c >= CME_OTHER)
            return 0x802008u & 0x3FF00000u;
        return 1u << (20 + c);
    case CMC_FIELD: return c < 10 ? 1u << c : 0x3FFu;
    case CMC_STATIC: return c < 10 ? 1u << (10 + c) : 0xFFC00u;
    default: return 0;
    }
}

bool same_key(const commoning_key& a, const commoning_key& b)
{
    return a.hash == b.hash && a.opcode == b.opcode && a.flags == b.flags && a.operand_a == b.operand_a
           && a.operand_b == b.operand_b && a.subkey == b.subkey && a.category == b.category;
}

u4 key_hash(const commoning_key& k)
{
    u4 op = static_cast<u4>(static_cast<s4>(static_cast<int16_t>(k.opcode)));
    u4 sub = static_cast<u4>(static_cast<s4>(static_cast<int16_t>(k.subkey)));
    u4 cat = static_cast<u4>(static_cast<s4>(static_cast<int8_t>(k.category)));
    return (static_cast<u4>(k.flags) << 16) ^ static_cast<u4>(k.operand_a) ^ static_cast<u4>(k.operand_b)
           ^ ((op << 20) | (sub << 4) | cat);
}

// The exclude table hangs from the pass context's fourth word, which lives as
// long as the driver's context (every repetition of the pass sees it); the
// third holds liveness's set size.
commoning_bucket* exclude_table(const dataflow_pass_context* pc)
{
    return reinterpret_cast<commoning_bucket*>(pc->word4);
}
void set_exclude_table(dataflow_pass_context* pc, commoning_bucket* table)
{
    pc->word4 = reinterpret_cast<u4>(table);
}

bool bucket_holds(const commoning_bucket& b, const commoning_key& k)
{
    if (b.first != nullptr && same_key(b.first->key, k))
        return true;
    for (const commoning_link* l = b.rest; l != nullptr; l = l->next)
        if (same_key(l->cand->key, k))
            return true;
    return false;
}

void bucket_add(commoning_table* t, commoning_bucket& b, commoning_candidate* c, commoning_link** spare,
                u4* spare_left)
{
    if (b.first == nullptr) {
        b.first = c;
        return;
    }
    if (*spare_left == 0) {
        *spare = static_cast<commoning_link*>(cm_alloc(t, 64 * sizeof(commoning_link)));
        *spare_left = 64;
    }
    commoning_link* l = (*spare)++;
    (*spare_left)--;
    l->cand = c;
    l->next = b.rest;
    b.rest = l;
}

// ---- collection ------------------------------------------------------------------

void add_occurrence(commoning_table* t, u4 block, commoning_key* k, const quadruple* q, bool load)
{
    method_compile_context* m = t->m;
    k->hash = key_hash(*k);
    commoning_bucket* excluded = exclude_table(t->pc);
    if (excluded != nullptr && bucket_holds(excluded[k->hash % CM_BUCKETS], *k))
        return;
    u4 w = commoning_block_weight(t, block);
    bool store_weight = (opc_info_quadruple[q->opcode] & (OPA_PUTFIELD | OPA_PUTSTATIC)) != 0;
    for (s4 i = 0; i < t->count; i++) {
        commoning_candidate* c = &t->cands[i];
        if (!same_key(c->key, *k))
            continue;
        (store_weight ? c->weight_b : c->weight_a) += w;
        if (load)
            c->quad = *q;
        return;
    }
    if (t->count == t->capacity) {
        s4 capacity = t->capacity == 0 ? 128 : t->capacity * 2;
        auto* grown = static_cast<commoning_candidate*>(
            jit_wmem_alloc(m->pool1, static_cast<u4>(capacity) * sizeof(commoning_candidate)));
        if (t->count > 0)
            memcpy(grown, t->cands, static_cast<u4>(t->count) * sizeof(commoning_candidate));
        t->cands = grown;
        t->capacity = capacity;
    }
    commoning_candidate* c = &t->cands[t->count++];
    memset(c, 0, sizeof *c);
    c->key = *k;
    (store_weight ? c->weight_b : c->weight_a) = w;
    c->temporary = -1;
    c->quad = *q;
}

u4 scaled(u4 v, u4 mul, u4 shift) { return (v * mul) >> shift; }

s4 score_of(const commoning_candidate& c)
{
    u4 v = c.weight_a + c.weight_b;
    const commoning_key& k = c.key;
    if (v > 1) {
        if (k.category == CMC_ARITH && (k.subkey == QOP_MUL || (k.subkey >= 7 && k.subkey <= 13)))
            v = scaled(v, 5, 2);
        if (k.category <= CMC_ADDRESS && !(k.flags & (CMK_A_NOT_LOCAL | CMK_B_NOT_LOCAL))) {
            v = scaled(v, 9, 3);
            if (k.type == QT_REF || k.type == 6)
                v = scaled(v, 5, 2);
        }
        if (k.category == CMC_ARITH) {
            if (k.type != QT_INT)
                v = (v * 4) / 5;
            v = (v * 4) / 5;
        } else if (cm_memory_category(k.category) && k.type != QT_INT && k.type != QT_REF) {
            v = (v * 4) / 5;
        }
        if (v < static_cast<u4>(THRESHOLDS[k.type & 7]))
            v = 0;
    }
    return static_cast<s4>(v);
}

int compare_candidates(const void* a, const void* b)
{
    const auto* x = static_cast<const commoning_candidate*>(a);
    const auto* y = static_cast<const commoning_candidate*>(b);
    if (x->score != y->score)
        return x->score > y->score ? -1 : 1;
    if (x->key.operand_a != y->key.operand_a)
        return x->key.operand_a < y->key.operand_a ? -1 : 1;
    return 0;
}

// Local 0 holds the receiver from entry to exit only when nothing defines it.
bool receiver_never_stored(const method_compile_context* m)
{
    for (u4 b = 0; b < m->bb_count; b++) {
        const bbattr* bb = m->bb_table[b];
        if (bb->flags & BB_DEAD)
            continue;
        for (u4 i = 0; i < bb->quad_count; i++) {
            const quadruple* q = bb->catbl[i];
            if (!df_deleted(q) && is_local(q->result) && q->result.number == 0)
                return false;
        }
    }
    return true;
}

struct nonnull_state {
    u8* entry;
    u8* work;
    u4 words;
    u4 locals;
    bool test(u4 n) const { return n < locals && df_vtest(work, n); }
    void set(u4 n) { if (n < locals) df_vset(work, n); }
    void clear(u4 n) { if (n < locals) df_vclear(work, n); }
};

// Explicit null checks of locals already known non-null become no-operations.
void track_nonnull(commoning_table* t, nonnull_state& nn, u4 block, u4 index)
{
    quadruple* q = t->m->bb_table[block]->catbl[index];
    if (is_local(q->result)) {
        if ((opc_info_quadruple[q->opcode] & OPA_COPY) && df_shape(q) == 1 && is_local(q->src1)
            && nn.test(q->src1.number))
            nn.set(q->result.number);
        else
            nn.clear(q->result.number);
        if (df_two_slot_type(type_of(q->result)))
            nn.clear(q->result.number + 1u);
    }
    if (q->opcode == OPC_ANEWARRAY && is_local(q->result))
        nn.set(q->result.number);
    if (q->opcode == OPC_NULLCHECK && is_local(q->src1)) {
        if (nn.test(q->src1.number))
            ChangeNOP(t->m, static_cast<s4>(block), static_cast<s4>(index));
        else
            nn.set(q->src1.number);
    }
}

void collect(commoning_table* t)
{
    method_compile_context* m = t->m;
    nonnull_state nn{};
    nn.locals = m->local_count;
    nn.words = (nn.locals + 63) / 64;
    u8 frame[2][8];
    if (nn.words <= 8) {
        nn.entry = frame[0];
        nn.work = frame[1];
    } else {
        nn.entry = static_cast<u8*>(cm_alloc(t, nn.words * 8));
        nn.work = static_cast<u8*>(cm_alloc(t, nn.words * 8));
    }
    memset(nn.entry, 0, nn.words * 8);
    memset(nn.work, 0, nn.words * 8);
    if (nn.locals > 0 && !(m->mb->access & ACC_STATIC) && !(m->state_flags & MCC_RECEIVER_NOT_FIXED)
        && receiver_never_stored(m))
        df_vset(nn.entry, 0);

    u4 previous = 0;
    for (u4 o = 0; o < t->order_count; o++) {
        u4 n = t->order[o];
        bbattr* b = m->bb_table[n];
        if (b->quad_count == 0 || (b->flags & BB_DEAD))
            continue;
        const bbattr* p = m->bb_table[previous];
        bool fall_through = b->pred_count == 1 && p->succ_count > 0
                            && (bb_succ_block(p->succ[0]) == n || (p->succ_count > 1 && bb_succ_block(p->succ[1]) == n));
        if (!fall_through)
            memcpy(nn.work, nn.entry, nn.words * 8);
        previous = n;
        for (u4 i = 0; i < b->quad_count; i++) {
            quadruple* q = b->catbl[i];
            if (df_deleted(q))
                continue;
            track_nonnull(t, nn, n, i);
            if (df_deleted(q))
                continue;
            if (cm_dead_computation(q)) {
                ChangeNOP(m, static_cast<s4>(n), static_cast<s4>(i));
                continue;
            }
            commoning_key k;
            bool store = false;
            if (!cm_build_key(m, q, &k, &store))
                continue;
            // A field load right behind the explicit null check of its own
            // destination's object is the check's partner: leave it.
            if (k.category == CMC_FIELD && !store && i > 0 && q->result.number == q->src1.number) {
                const quadruple* before = b->catbl[i - 1];
                if (before->opcode == OPC_NULLCHECK && is_local(before->src1)
                    && before->src1.number == q->src1.number)
                    continue;
            }
            add_occurrence(t, n, &k, q, !store);
        }
    }
}

void build_lookup(commoning_table* t)
{
    memset(t->hash, 0, sizeof t->hash);
    t->local_limit = t->m->local_count;
    t->by_local = static_cast<commoning_bucket*>(cm_alloc(t, (t->local_limit + 1) * sizeof(commoning_bucket)));
    memset(t->by_local, 0, (t->local_limit + 1) * sizeof(commoning_bucket));
    u4 left = static_cast<u4>(t->count) * 2 > 64 ? static_cast<u4>(t->count) * 2 : 64;
    auto* spare = static_cast<commoning_link*>(cm_alloc(t, left * sizeof(commoning_link)));
    for (s4 i = 0; i < t->count; i++) {
        commoning_candidate* c = &t->cands[i];
        bucket_add(t, t->hash[c->key.hash % CM_BUCKETS], c, &spare, &left);
        auto index = [&](s4 local, bool two) {
            if (local < 0 || static_cast<u4>(local) >= t->local_limit)
                return;
            bucket_add(t, t->by_local[local], c, &spare, &left);
            if (two && static_cast<u4>(local) + 1 < t->local_limit)
                bucket_add(t, t->by_local[local + 1], c, &spare, &left);
        };
        if (!(c->key.flags & CMK_A_NOT_LOCAL))
            index(c->key.operand_a, (c->key.flags & CMK_A_TWO_SLOT) != 0);
        if (!(c->key.flags & CMK_B_NOT_LOCAL))
            index(c->key.operand_b, (c->key.flags & CMK_B_TWO_SLOT) != 0);
    }
}

// Candidates that one of their occurrences may raise: they are commoned
// inside a block only.
u8 raising_candidates(commoning_table* t)
{
    method_compile_context* m = t->m;
    u8 set = 0;
    for (u4 n = 0; n < m->bb_count; n++) {
        const bbattr* b = m->bb_table[n];
        if (b->flags & BB_DEAD)
            continue;
        for (u4 i = 0; i < b->quad_count; i++) {
            const quadruple* q = b->catbl[i];
            if (df_deleted(q) || df_exception_class(q) == DF_CANNOT_RAISE)
                continue;
            commoning_key k;
            bool store = false;
            if (!cm_build_key(m, q, &k, &store))
                continue;
            s4 c = commoning_lookup(t, &k);
            if (c >= 0)
                set |= ABIT_llshr[c];
        }
    }
    return set;
}

void save_excluded(commoning_table* t)
{
    if (t->count <= 0)
        return;
    commoning_bucket* table = exclude_table(t->pc);
    if (table == nullptr) {
        table = static_cast<commoning_bucket*>(jit_wmem_alloc(t->m->pool1, CM_BUCKETS * sizeof(commoning_bucket)));
        if (table == nullptr)
            return;
        memset(table, 0, CM_BUCKETS * sizeof(commoning_bucket));
        set_exclude_table(t->pc, table);
    }
    auto* links = static_cast<commoning_link*>(
        jit_wmem_alloc(t->m->pool1, static_cast<u4>(t->count) * sizeof(commoning_link)));
    u4 used = 0;
    auto file = [&](commoning_candidate* c) {
        if (c->temporary >= 0)
            return;
        commoning_bucket& b = table[c->key.hash % CM_BUCKETS];
        if (b.first == nullptr) {
            b.first = c;
            return;
        }
        if (used >= static_cast<u4>(t->count))
            return;
        commoning_link* l = &links[used++];
        l->cand = c;
        l->next = b.rest;
        b.rest = l;
    };
    for (u4 h = 0; h < CM_BUCKETS; h++) {
        if (t->hash[h].first != nullptr)
            file(t->hash[h].first);
        for (commoning_link* l = t->hash[h].rest; l != nullptr; l = l->next)
            file(l->cand);
    }
}

void read_debug_range(commoning_table* t)
{
    if (debug_from < 0) {
        const char* from = getenv("ORVA_SKIPCCFROM");
        const char* upto = getenv("ORVA_SKIPCCUPTO");
        debug_from = from != nullptr ? static_cast<s4>(strtol(from, nullptr, 10)) & 63 : 0;
        debug_upto = upto != nullptr ? static_cast<s4>(strtol(upto, nullptr, 10)) & 63 : 63;
        u8 keep = ~0ull;
        for (s4 i = debug_from; i <= debug_upto; i++)
            keep &= ~ABIT_llshr[i];
        fprintf(stderr, "disable commoning candicate: from CC[%d] upto CC[%d] mask=%016llx\n", debug_from,
                debug_upto, static_cast<unsigned long long>(keep));
    }
    u8 keep = ~0ull;
    for (s4 i = debug_from; i <= debug_upto; i++)
        keep &= ~ABIT_llshr[i];
    t->debug_keep = keep;
}

} // namespace

// ---- shared with the other phases -----------------------------------------------

void* cm_alloc(commoning_table* t, u4 bytes)
{
    bytes = (bytes + 3) & ~3u;
    dataflow_pass_context* pc = t->pc;
    if (pc->arena1_base != nullptr && pc->arena1_free >= bytes) {
        pc->arena1_free -= bytes;
        return pc->arena1_base + pc->arena1_free;
    }
    return jit_wmem_alloc(t->m->pool1, bytes);
}

bool cm_two_slot_operand(const quad_operand& o) { return df_two_slot_type(type_of(o)); }

bool cm_dead_computation(const quadruple* q)
{
    switch (q->opcode) {
    case OPC_IOP2: case OPC_LOP2: case OPC_FOP2: case OPC_DOP2:
    case OPC_IALOAD: case OPC_LALOAD: case OPC_FALOAD: case OPC_DALOAD: case OPC_AALOAD: case OPC_PALOAD:
    case OPC_PADD: case OPC_LOAD_METHODBLOCK:
        break;
    default:
        return false;
    }
    // No destination at all: an argument slot or the result location is
    // read later even though it is no local.
    return kind_of(q->result) == QK_NONE && !(opc_info_quadruple[q->opcode] & 0x80078u)
           && df_exception_class(q) == DF_CANNOT_RAISE;
}

bool cm_build_key(const method_compile_context* m, const quadruple* q, commoning_key* k, bool* store)
{
    memset(k, 0, sizeof *k);
    *store = false;
    u1 op = q->opcode;
    switch (op) {
    case OPC_IOP2: case OPC_LOP2: case OPC_FOP2: case OPC_DOP2: {
        if (df_exception_class(q) != DF_CANNOT_RAISE || !is_local(q->result) || df_shape(q) != 2)
            return false;
        k->category = CMC_ARITH;
        k->type = op == OPC_IOP2 ? QT_INT : op == OPC_LOP2 ? QT_LONG : op == OPC_FOP2 ? QT_FLOAT : QT_DOUBLE;
        k->opcode = op;
        k->subkey = q->op;
        if (!source_key(q, q->src1, &k->operand_a, &k->flags, CMK_A_NOT_LOCAL, CMK_A_TWO_SLOT)
            || !source_key(q, q->src2, &k->operand_b, &k->flags, CMK_B_NOT_LOCAL, CMK_B_TWO_SLOT))
            return false;
        if (cm_two_slot_operand(q->result))
            k->flags |= CMK_TWO_SLOT;
        if ((op == OPC_FOP2 || op == OPC_DOP2) && (q->pad1 & 0x1))
            k->flags |= FLOAT_MODE_KEY;
        return true;
    }
    case OPC_IALOAD: case OPC_LALOAD: case OPC_FALOAD: case OPC_DALOAD: case OPC_AALOAD: {
        if (!is_local(q->result) || !is_local(q->src1) || df_shape(q) != 2)
            return false;
        k->category = CMC_ARRAY;
        k->opcode = op;
        switch (op) {
        case OPC_IALOAD: {
            u2 e = static_cast<u2>(quad_kind_nibble(q));
            k->subkey = e == 6 ? CME_OTHER : e;
            k->type = QT_INT;
            break;
        }
        case OPC_LALOAD: k->subkey = CME_LONG; k->type = QT_LONG; break;
        case OPC_FALOAD: k->subkey = CME_FLOAT; k->type = QT_FLOAT; break;
        case OPC_DALOAD: k->subkey = CME_DOUBLE; k->type = QT_DOUBLE; break;
        default: k->subkey = CME_ARRAY; k->type = QT_REF; break;
        }
        k->operand_a = q->src1.number;
        if (!source_key(q, q->src2, &k->operand_b, &k->flags, CMK_B_NOT_LOCAL, CMK_B_TWO_SLOT))
            return false;
        if (cm_two_slot_operand(q->result))
            k->flags |= CMK_TWO_SLOT;
        return true;
    }
    case OPC_IASTORE: case OPC_LASTORE: case OPC_FASTORE: case OPC_DASTORE: case OPC_AASTORE: {
        if (df_shape(q) != QC_SRC_LIST)
            return false;
        const quad_operand_list_entry* a = quad_list_head(q);
        const quad_operand_list_entry* i = a != nullptr ? a->next : nullptr;
        if (i == nullptr || i->next == nullptr || (a->kind & QK_KIND_MASK) != QK_VARIABLE)
            return false;
        *store = true;
        k->category = CMC_ARRAY;
        switch (op) {
        case OPC_IASTORE: k->opcode = OPC_IALOAD; k->subkey = static_cast<u2>(quad_kind_nibble(q)); k->type = QT_INT; break;
        case OPC_LASTORE: k->opcode = OPC_LALOAD; k->subkey = CME_LONG; k->type = QT_LONG; break;
        case OPC_FASTORE: k->opcode = OPC_FALOAD; k->subkey = CME_FLOAT; k->type = QT_FLOAT; break;
        case OPC_DASTORE: k->opcode = OPC_DALOAD; k->subkey = CME_DOUBLE; k->type = QT_DOUBLE; break;
        default: k->opcode = OPC_AALOAD; k->subkey = CME_ARRAY; k->type = QT_REF; break;
        }
        if (k->subkey == 6)
            k->subkey = CME_OTHER;
        k->operand_a = a->number;
        u1 ik = i->kind & QK_KIND_MASK;
        if (ik == QK_VARIABLE) {
            k->operand_b = i->number;
        } else if (ik == QK_IMMEDIATE) {
            k->operand_b = i->number;
            k->flags |= CMK_B_NOT_LOCAL;
        } else if (ik == QK_NEG_IMMEDIATE) {
            k->operand_b = -static_cast<s4>(i->number);
            k->flags |= CMK_B_NOT_LOCAL;
        } else {
            return false;
        }
        if (df_two_slot_type(k->type))
            k->flags |= CMK_TWO_SLOT;
        return true;
    }
    case OPC_IGETFIELD: case OPC_LGETFIELD: case OPC_FGETFIELD: case OPC_DGETFIELD: case OPC_AGETFIELD:
    case OPC_IPUTFIELD: case OPC_LPUTFIELD: case OPC_FPUTFIELD: case OPC_DPUTFIELD: case OPC_APUTFIELD: {
        bool put = op >= OPC_IPUTFIELD;
        if (!field_usable(q) || !is_local(q->src1))
            return false;
        if (!put && !is_local(q->result))
            return false;
        if (put && df_shape(q) != 2)
            return false;
        *store = put;
        k->category = CMC_FIELD;
        k->type = type_of_opcode_row(op, put ? OPC_IPUTFIELD : OPC_IGETFIELD);
        k->opcode = static_cast<u2>(opc_table_type[k->type].getfield);
        k->operand_a = q->src1.number;
        k->operand_b = static_cast<s4>(q->aux);
        k->subkey = field_hash(reinterpret_cast<const fieldblock*>(q->aux));
        k->flags = CMK_B_NOT_LOCAL;
        if (df_two_slot_type(k->type))
            k->flags |= CMK_TWO_SLOT;
        return true;
    }
    case OPC_IGETSTATIC: case OPC_LGETSTATIC: case OPC_FGETSTATIC: case OPC_DGETSTATIC: case OPC_AGETSTATIC:
    case OPC_IPUTSTATIC: case OPC_LPUTSTATIC: case OPC_FPUTSTATIC: case OPC_DPUTSTATIC: case OPC_APUTSTATIC: {
        bool put = op >= OPC_IPUTSTATIC;
        if (!field_usable(q))
            return false;
        if (!put && !is_local(q->result))
            return false;
        if (put && df_shape(q) != 1)
            return false;
        *store = put;
        k->category = CMC_STATIC;
        k->type = type_of_opcode_row(op, put ? OPC_IPUTSTATIC : OPC_IGETSTATIC);
        k->opcode = static_cast<u2>(opc_table_type[k->type].getstatic);
        k->operand_a = 0;
        k->operand_b = static_cast<s4>(q->aux);
        k->subkey = field_hash(reinterpret_cast<const fieldblock*>(q->aux));
        k->flags = CMK_A_NOT_LOCAL | CMK_B_NOT_LOCAL;
        if (df_two_slot_type(k->type))
            k->flags |= CMK_TWO_SLOT;
        return true;
    }
    case OPC_I2L: case OPC_I2F: case OPC_I2D: case OPC_L2I: case OPC_L2F: case OPC_L2D:
    case OPC_F2I: case OPC_F2L: case OPC_F2D: case OPC_D2I: case OPC_D2L: case OPC_D2F:
    case OPC_LOAD_METHODTABLE: {
        if (!is_local(q->result) || !is_local(q->src1) || df_shape(q) != 1)
            return false;
        k->category = CMC_UNARY;
        k->type = type_of(q->result);
        k->opcode = op;
        k->operand_a = q->src1.number;
        k->operand_b = -1;
        k->flags = CMK_B_NOT_LOCAL;
        if (cm_two_slot_operand(q->result))
            k->flags |= CMK_TWO_SLOT;
        if (cm_two_slot_operand(q->src1))
            k->flags |= CMK_A_TWO_SLOT;
        return true;
    }
    case OPC_PADD: case OPC_LOAD_METHODBLOCK: {
        if (!is_local(q->result) || !is_local(q->src1) || df_shape(q) != 2)
            return false;
        k->category = CMC_ADDRESS;
        k->type = type_of(q->result);
        k->opcode = op;
        k->operand_a = q->src1.number;
        if (!source_key(q, q->src2, &k->operand_b, &k->flags, CMK_B_NOT_LOCAL, CMK_B_TWO_SLOT))
            return false;
        if (cm_two_slot_operand(q->result))
            k->flags |= CMK_TWO_SLOT;
        if (cm_two_slot_operand(q->src1))
            k->flags |= CMK_A_TWO_SLOT;
        return true;
    }
    default:
        return false;
    }
    (void)m;
}

s4 commoning_lookup(commoning_table* t, commoning_key* k)
{
    k->hash = key_hash(*k);
    const commoning_bucket& b = t->hash[k->hash % CM_BUCKETS];
    const commoning_candidate* found = nullptr;
    if (b.first != nullptr && same_key(b.first->key, *k))
        found = b.first;
    for (const commoning_link* l = b.rest; found == nullptr && l != nullptr; l = l->next)
        if (same_key(l->cand->key, *k))
            found = l->cand;
    if (found == nullptr)
        return -1;
    s4 index = static_cast<s4>(found - t->cands);
    return index < t->count ? index : -1;
}

u2 commoning_block_weight(commoning_table* t, u4 block)
{
    if (t->weights[block] > 0)
        return t->weights[block];
    method_compile_context* m = t->m;
    const bbattr* b = m->bb_table[block];
    u4 w = 1;
    if ((b->flags & BB_KIND_MASK) == BB_KIND_LOOP && b->loop_index >= 0
        && static_cast<u4>(b->loop_index) < m->loop_count) {
        const loop_table_record* loop = mcc_loop(m, static_cast<u4>(b->loop_index));
        if (loop->flags & LOOP_INVALID) {
            w = 10;
        } else {
            u4 k = b->loop_depth > 0 ? b->loop_depth : 1;
            if (k > 4)
                k = 4;
            for (u4 i = 0; i < k; i++)
                w *= 10;
            if (search_outer_invalid_loop_id(m, block) != 0 && w < 10000)
                w *= 10;
        }
    }
    if (b->flags2 & BB2_RARE)
        w /= 10;
    t->weights[block] = static_cast<u2>(w);
    return static_cast<u2>(w);
}

u8 cm_local_readers(const commoning_table* t, u4 local)
{
    if (local >= t->local_limit)
        return 0;
    const commoning_bucket& b = t->by_local[local];
    u8 set = 0;
    if (b.first != nullptr)
        set |= ABIT_llshr[b.first - t->cands];
    for (const commoning_link* l = b.rest; l != nullptr; l = l->next)
        set |= ABIT_llshr[l->cand - t->cands];
    return set;
}

u8 cm_category_set(const commoning_table* t, u1 category)
{
    u8 set = 0;
    for (s4 i = 0; i < t->count; i++)
        if (t->cands[i].key.category == category)
            set |= ABIT_llshr[i];
    return set;
}

s4 Commoning_Create_Table(method_compile_context* m, commoning_table* t)
{
    collect(t);
    for (s4 i = 0; i < t->count; i++)
        t->cands[i].score = score_of(t->cands[i]);
    if (t->count > 1)
        qsort(t->cands, static_cast<size_t>(t->count), sizeof(commoning_candidate), compare_candidates);
    s4 kept = t->count;
    while (kept > 0 && t->cands[kept - 1].score <= 1)
        kept--;
    t->count = kept > static_cast<s4>(CM_MAX) ? static_cast<s4>(CM_MAX) : kept;
    t->memory_union = 0;
    t->no_exception = 0;
    for (s4 i = 0; i < t->count; i++) {
        commoning_candidate* c = &t->cands[i];
        c->memory_kinds = memory_kind_mask(c->key);
        t->memory_union |= c->memory_kinds;
        if (!(opc_info_quadruple[c->key.opcode] & OPA_MAY_RAISE) && df_exception_class(&c->quad) == DF_CANNOT_RAISE)
            t->no_exception |= ABIT_llshr[i];
    }
    if (t->count > 0) {
        build_lookup(t);
        t->may_raise = raising_candidates(t);
    }
    (void)m;
    return t->count;
}

int dataflow_Q_commoning(method_compile_context* m, dataflow_pass_context* pc)
{
    if ((compile_option2_flag & OPT2_NQCOMMONING) || !(m->state_flags & MCC_QUAD_FORM))
        return 0;
    pc->flags |= DFP_BUSY;
    df_reset_arena1(pc);
    commoning_table t;
    memset(&t, 0, sizeof t);
    t.m = m;
    t.pc = pc;
    t.capacity = 64;
    t.cands = static_cast<commoning_candidate*>(jit_wmem_alloc(m->pool1, 64 * sizeof(commoning_candidate)));
    t.nblocks = m->bb_count;
    t.weights = static_cast<u2*>(cm_alloc(&t, m->bb_count * sizeof(u2)));
    memset(t.weights, 0, m->bb_count * sizeof(u2));
    u4 count = 0;
    u4* order = nullptr;
    CreateDFSforDFQuadruple(m, pc, &count, &order);
    // Removed blocks take no part; the cached order stays as it is.
    t.order = static_cast<u4*>(cm_alloc(&t, (count + 1) * sizeof(u4)));
    for (u4 i = 0; i < count; i++)
        if (order[i] < m->bb_count && !(m->bb_table[order[i]]->flags & BB_DEAD))
            t.order[t.order_count++] = order[i];
    t.debug_keep = ~0ull;

    if (Commoning_Create_Table(m, &t) > 0 && m->bb_count <= CM_MAX_BLOCKS) {
        if (m->selector == SELECTOR_CCCOMMONING)
            read_debug_range(&t);
        u4 bytes = m->bb_count * sizeof(commoning_block_sets);
        t.values = static_cast<commoning_block_sets*>(cm_alloc(&t, bytes));
        t.stores = static_cast<commoning_block_sets*>(cm_alloc(&t, bytes));
        t.nodes = static_cast<commoning_flow_node*>(cm_alloc(&t, m->bb_count * sizeof(commoning_flow_node)));
        memset(t.values, 0, bytes);
        memset(t.stores, 0, bytes);
        memset(t.nodes, 0, m->bb_count * sizeof(commoning_flow_node));
        if (Commoning_Init_Dataflow_B(m, &t) != 0) {
            Commoning_Iterate_Dataflow_B(m, &t);
            Commoning_Final_Dataflow_B(m, &t);
            if (t.new_locals > 0) {
                pc->flags |= DFP_COPYPROPA_WANTED;
                m->local_count = static_cast<u2>(m->local_count + t.new_locals);
                m->state_flags |= MCC_REACHDEF_STALE;
                save_excluded(&t);
            }
        }
    }
    pc->flags &= ~DFP_BUSY;
    return 0;
}
