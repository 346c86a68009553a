// Field privatization of read-only fields: instance fields of `this` and
// static fields that the method reads in a loop (or three times or more) and
// never writes get a cache local.  The values are loaded once, in new blocks
// placed right after the entry block, and every recorded read becomes a load
// of the cache local.  Runs in the bytecode pass driver before its analyses,
// on the front-end instructions of an instance method with loops.
//
// A value loaded at the method's entry stands for the field only while
// nothing can have changed it or made another thread's write visible:
//   - a field written anywhere in the method (through any base) is never
//     cached, and an unresolved field write gives the pass up;
//   - a read that a call, a monitor operation, a class initialization or any
//     instruction that may run other code can precede (on some path from the
//     entry) must read memory, so its field is not cached;
//   - a static field is cached only when its class is initialized already:
//     the load at the entry then never moves a class initializer;
//   - `this` is never null and the caching loads are resolved accesses, so
//     they cannot throw; only fields read through local 0 of a method that
//     never stores into local 0 are taken.
// Only reads are redirected, so memory is always current where the method
// may throw or leave.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_privatize.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "inline/inline.h"
#include "loop/loop.h"

namespace {

// Read-entry flags.
constexpr u2 FPR_IN_LOOP = 0x1;     // read inside a loop
constexpr u2 FPR_REPEATED = 0x2;    // read three times or more
constexpr u2 FPR_TWO_SLOTS = 0x4;   // long or double
constexpr u2 FPR_STATIC = 0x8;

struct fpr_position {
    u2 block;
    u2 index;
    methodblock* mb;        // method the block's code comes from
    fpr_position* next;
};

struct fpr_roaccess {
    fieldblock* fb;
    fpr_position* positions;    // latest first
    u2 flags;
    u2 count;
    bool cached;
    s4 cache_local;
    u4 type_code;               // PVT_* of the field's signature
    fpr_roaccess* next;
};

struct fpr_defined {
    fieldblock* fb;
    fpr_defined* next;
};

struct fpr_member {
    fpr_roaccess* entry;
    fpr_member* next;
};

struct fpr_group {
    methodblock* key;
    fpr_member* members;
    fpr_member** tail;
    fpr_group* next;
};

struct field_privatization_info {
    fpr_roaccess* ro_instance[4];
    fpr_defined* def_instance[4];
    fpr_roaccess* ro_static[4];
    fpr_defined* def_static[4];
    fpr_group* groups;
    u4 group_count;
    u4 first_cache_block;
    u4 instance_cached;
    u4 static_cached;
    u4 cache_slots;
    // The walk's facts.
    method_compile_context* m;
    s4* first_barrier;          // per block: index of its first barrier, -1 none
    u1* tainted;                // per block: a barrier may precede its entry
};

s4 disable_field_privatization = -1;

template <typename T>
T* scratch(method_compile_context* m, u4 count = 1)
{
    auto* p = static_cast<T*>(jit_wmem_alloc(m->pool2, count * sizeof(T)));
    if (p != nullptr)
        memset(p, 0, count * sizeof(T));
    return p;
}

u4 bucket_of(const fieldblock* fb) { return fb->value & 3; }

bool same_instance_field(const fieldblock* a, const fieldblock* b)
{
    if (a == b)
        return true;
    if (a->value != b->value || a->name == nullptr || b->name == nullptr)
        return false;
    return a->name[0] == b->name[0] && strcmp(a->name, b->name) == 0;
}

bool class_initialized(const classblock* cb) { return cb != nullptr && (cb->state & CS_INITIALIZED) != 0; }

// Type code and slot count of a field by its signature; false for a
// signature the cache locals cannot hold.
bool field_type(const fieldblock* fb, u4* type_code)
{
    switch (fb->signature != nullptr ? fb->signature[0] : 0) {
    case 'B': case 'C': case 'I': case 'S': case 'Z': *type_code = PVT_INT; return true;
    case 'J': *type_code = PVT_LONG | PVT_TWO_SLOTS; return true;
    case 'F': *type_code = PVT_FLOAT; return true;
    case 'D': *type_code = PVT_DOUBLE | PVT_TWO_SLOTS; return true;
    case 'L': case '[': *type_code = PVT_REF; return true;
    default: return false;
    }
}

// ---- list operations -------------------------------------------------------------

fpr_defined* search_defined_fb(fpr_defined* list, const fieldblock* fb, bool is_static)
{
    for (fpr_defined* d = list; d != nullptr; d = d->next)
        if (is_static ? d->fb == fb : same_instance_field(d->fb, fb))
            return d;
    return nullptr;
}

bool add_new_defined_fb(field_privatization_info* fp, fieldblock* fb, bool is_static)
{
    fpr_defined** head = is_static ? &fp->def_static[bucket_of(fb)] : &fp->def_instance[bucket_of(fb)];
    if (search_defined_fb(*head, fb, is_static) != nullptr)
        return true;
    auto* d = scratch<fpr_defined>(fp->m);
    if (d == nullptr)
        return false;
    d->fb = fb;
    d->next = *head;
    *head = d;
    return true;
}

bool add_new_pos_to_list(field_privatization_info* fp, fpr_roaccess* e, u4 block, u4 index)
{
    auto* p = scratch<fpr_position>(fp->m);
    if (p == nullptr)
        return false;
    const bbattr* b = fp->m->bb_table[block];
    p->block = static_cast<u2>(block);
    p->index = static_cast<u2>(index);
    p->mb = b->mb != nullptr ? b->mb : fp->m->mb;
    p->next = e->positions;
    e->positions = p;
    return true;
}

fpr_roaccess* search_and_check_roaccess_fb(fpr_roaccess* list, const fieldblock* fb, bool is_static)
{
    for (fpr_roaccess* e = list; e != nullptr; e = e->next)
        if (is_static ? e->fb == fb : e->fb->value == fb->value)
            return e;
    return nullptr;
}

void become_cached(field_privatization_info* fp, fpr_roaccess* e)
{
    if (e->cached)
        return;
    e->cached = true;
    if (e->flags & FPR_STATIC)
        fp->static_cached++;
    else
        fp->instance_cached++;
    fp->cache_slots += (e->flags & FPR_TWO_SLOTS) ? 2 : 1;
}

fpr_roaccess* add_new_roaccess_fb(field_privatization_info* fp, fieldblock* fb, u2 flags, bool is_static)
{
    fpr_roaccess** head = is_static ? &fp->ro_static[bucket_of(fb)] : &fp->ro_instance[bucket_of(fb)];
    auto* e = scratch<fpr_roaccess>(fp->m);
    if (e == nullptr)
        return nullptr;
    e->fb = fb;
    e->flags = flags;
    e->count = 1;
    e->cache_local = -1;
    e->next = *head;
    *head = e;
    if (flags & FPR_IN_LOOP)
        become_cached(fp, e);
    return e;
}

// One read with access flags `access`: updates or makes the field's entry
// and records the position.
bool record_read(field_privatization_info* fp, fieldblock* fb, u2 access, bool is_static, u4 block, u4 index)
{
    fpr_roaccess** head = is_static ? &fp->ro_static[bucket_of(fb)] : &fp->ro_instance[bucket_of(fb)];
    fpr_roaccess* e = search_and_check_roaccess_fb(*head, fb, is_static);
    if (e == nullptr) {
        e = add_new_roaccess_fb(fp, fb, access, is_static);
        if (e == nullptr)
            return false;
    } else if (!e->cached) {
        if (e->count < 2) {
            e->flags |= access;
            e->count++;
            if (access & FPR_IN_LOOP)
                become_cached(fp, e);
        } else {
            e->flags |= FPR_REPEATED;
            e->count++;
            become_cached(fp, e);
        }
    }
    return add_new_pos_to_list(fp, e, block, index);
}

// Drops from a read list every field that stands in the written list.
void search_and_remove_roaccess_fb(field_privatization_info* fp, fpr_roaccess** head, fpr_defined* defs, bool is_static)
{
    for (fpr_roaccess** link = head; *link != nullptr;) {
        fpr_roaccess* e = *link;
        if (search_defined_fb(defs, e->fb, is_static) != nullptr) {
            if (e->cached) {
                e->cached = false;
                if (is_static)
                    fp->static_cached--;
                else
                    fp->instance_cached--;
                fp->cache_slots -= (e->flags & FPR_TWO_SLOTS) ? 2 : 1;
            }
            *link = e->next;
        } else {
            link = &e->next;
        }
    }
}

// ---- where a cached value may be stale -------------------------------------------

bool walked(const bbattr* b) { return b != nullptr && !(b->flags & BB_DEAD); }

// Marks, per block, its first instruction after which memory may hold other
// values than at the method's entry (a call, a monitor operation, a class
// initialization, a resolution), and the blocks such a point may precede.
// Blocks that the successor lists do not reach from the entry block (handlers,
// subroutines) count as preceded whenever the method has such a point.
bool find_barriers(field_privatization_info* fp)
{
    method_compile_context* m = fp->m;
    u4 n = m->bb_count;
    fp->first_barrier = scratch<s4>(m, n);
    fp->tainted = scratch<u1>(m, n);
    u1* reached = scratch<u1>(m, n);
    u4* work = scratch<u4>(m, n + 1);
    if (fp->first_barrier == nullptr || fp->tainted == nullptr || reached == nullptr || work == nullptr)
        return false;
    privatize_state st;
    memset(&st, 0, sizeof st);
    st.m = m;
    st.capacity = static_cast<s4>(m->max_stack) + 8;
    st.stack = scratch<pv_slot>(m, static_cast<u4>(st.capacity));
    if (st.stack == nullptr)
        return false;
    bool any = false;
    for (u4 block = 0; block < n; block++) {
        fp->first_barrier[block] = -1;
        bbattr* b = m->bb_table[block];
        if (!walked(b))
            continue;
        pv_begin_block(&st, block, 0xFFFFFFFFu);
        for (u4 i = 0; i < b->quad_count; i++) {
            pv_event ev;
            pv_step(&st, b->catbl, i, &ev);
            if (ev.full_kill) {
                fp->first_barrier[block] = static_cast<s4>(i);
                any = true;
                break;
            }
        }
    }
    if (!any)
        return true;
    auto successors = [&](u4 block, auto fn) {
        const bbattr* b = m->bb_table[block];
        if (!walked(b) || block == n - 1)
            return;
        for (u4 s = 0; s < b->succ_count; s++) {
            u4 t = bb_succ_block(b->succ[s]);
            if (t < n)
                fn(t);
        }
    };
    // Reached from the entry along the successor lists.
    u4 top = 0;
    reached[0] = 1;
    work[top++] = 0;
    while (top > 0) {
        u4 block = work[--top];
        successors(block, [&](u4 t) {
            if (!reached[t]) {
                reached[t] = 1;
                work[top++] = t;
            }
        });
    }
    // Preceded by a barrier.
    top = 0;
    for (u4 block = 0; block < n; block++)
        if (walked(m->bb_table[block]) && (!reached[block] || m->subroutine_count > 0)) {
            fp->tainted[block] = 1;
            work[top++] = block;
        }
    for (u4 block = 0; block < n; block++)
        if (fp->first_barrier[block] >= 0)
            successors(block, [&](u4 t) {
                if (!fp->tainted[t]) {
                    fp->tainted[t] = 1;
                    work[top++] = t;
                }
            });
    while (top > 0) {
        u4 block = work[--top];
        successors(block, [&](u4 t) {
            if (!fp->tainted[t]) {
                fp->tainted[t] = 1;
                work[top++] = t;
            }
        });
    }
    return true;
}

bool after_barrier(const field_privatization_info* fp, u4 block, u4 index)
{
    s4 first = fp->first_barrier[block];
    return fp->tainted[block] || (first >= 0 && static_cast<s4>(index) > first);
}

// ---- the scan --------------------------------------------------------------------

enum scan_result { SCAN_OK, SCAN_NO_MEMORY, SCAN_ABORT };

scan_result scan_bytecode_to_collect_field_access_info(field_privatization_info* fp)
{
    method_compile_context* m = fp->m;
    for (u4 block = 0; block < m->bb_count; block++) {
        bbattr* b = m->bb_table[block];
        if (!walked(b))
            continue;
        u2 loop = (b->flags & BB_KIND_LOOP) ? FPR_IN_LOOP : 0;
        for (u4 i = 0; i < b->quad_count; i++) {
            quadruple* q = b->catbl[i];
            u1 op = q->opcode;
            if (op < OPC_IGETFIELD || op > OPC_APUTSTATIC)
                continue;
            bool is_static = op >= OPC_IGETSTATIC;
            bool write = (op >= OPC_IPUTFIELD && op <= OPC_APUTFIELD) || op >= OPC_IPUTSTATIC;
            auto* fb = reinterpret_cast<fieldblock*>(q->aux);
            if (write) {
                if (quad_unresolved(q) || fb == nullptr)
                    return SCAN_ABORT;
                if (!add_new_defined_fb(fp, fb, is_static))
                    return SCAN_NO_MEMORY;
                continue;
            }
            if (quad_unresolved(q) || fb == nullptr || (fb->access & ACC_VOLATILE) || (q->flags_b & QB_ZERO_INIT))
                continue;
            if (!is_static) {
                const quadruple* prev = i > 0 ? b->catbl[i - 1] : nullptr;
                if (prev == nullptr || prev->opcode != OPC_ALOAD || prev->op != 0)
                    continue;
            }
            u4 type;
            bool stale = after_barrier(fp, block, i) || !field_type(fb, &type)
                         || (is_static && !class_initialized(fb->clazz));
            if (stale) {
                // Its value must come from memory here: never cached.
                if (!add_new_defined_fb(fp, fb, is_static))
                    return SCAN_NO_MEMORY;
                continue;
            }
            u2 access = loop;
            if (op == OPC_LGETFIELD || op == OPC_DGETFIELD || op == OPC_LGETSTATIC || op == OPC_DGETSTATIC)
                access |= FPR_TWO_SLOTS;
            if (is_static)
                access |= FPR_STATIC;
            if (!record_read(fp, fb, access, is_static, block, i))
                return SCAN_NO_MEMORY;
        }
    }
    return SCAN_OK;
}

// ---- grouping ----------------------------------------------------------------------

fpr_group* new_group(field_privatization_info* fp, methodblock* key)
{
    auto* g = scratch<fpr_group>(fp->m);
    if (g == nullptr)
        return nullptr;
    g->key = key;
    g->tail = &g->members;
    fp->group_count++;
    return g;
}

bool join_group(field_privatization_info* fp, fpr_group* g, fpr_roaccess* e)
{
    auto* member = scratch<fpr_member>(fp->m);
    if (member == nullptr)
        return false;
    member->entry = e;
    *g->tail = member;
    g->tail = &member->next;
    return true;
}

void move_to_head(fpr_roaccess* e, fpr_position* p)
{
    for (fpr_position** link = &e->positions; *link != nullptr; link = &(*link)->next)
        if (*link == p) {
            *link = p->next;
            p->next = e->positions;
            e->positions = p;
            return;
        }
}

bool group_entry(field_privatization_info* fp, fpr_roaccess* e, fpr_group** own)
{
    const classblock* own_class = fp->m->mb->clazz;
    for (fpr_position* p = e->positions; p != nullptr; p = p->next)
        if (p->mb->clazz == own_class) {
            if (*own == nullptr) {
                *own = new_group(fp, fp->m->mb);
                if (*own == nullptr)
                    return false;
                (*own)->next = fp->groups;
                fp->groups = *own;
            }
            move_to_head(e, p);
            return join_group(fp, *own, e);
        }
    for (fpr_group* g = fp->groups; g != nullptr; g = g->next)
        for (fpr_position* p = e->positions; p != nullptr; p = p->next)
            if (g->key->clazz == p->mb->clazz) {
                move_to_head(e, p);
                return join_group(fp, g, e);
            }
    fpr_group* g = new_group(fp, e->positions->mb);
    if (g == nullptr)
        return false;
    // In front of the others, behind the own-class group.
    fpr_group** link = *own != nullptr ? &(*own)->next : &fp->groups;
    g->next = *link;
    *link = g;
    return join_group(fp, g, e);
}

bool count_up_bb_for_cache_code(field_privatization_info* fp)
{
    fpr_group* own = nullptr;
    for (int kind = 0; kind < 2; kind++)
        for (u4 k = 0; k < 4; k++)
            for (fpr_roaccess* e = kind == 0 ? fp->ro_static[k] : fp->ro_instance[k]; e != nullptr; e = e->next)
                if (e->cached && e->positions != nullptr && !group_entry(fp, e, &own))
                    return false;
    return true;
}

// ---- the new code ------------------------------------------------------------------

u2 shift_local(u4 local, const u4* args) { return static_cast<u2>(local >= args[0] ? local + args[1] : local); }

// Locals at or above the method's local count (the temporaries of inlined
// code) move up behind the cache locals.
void shift_lvar_index_by_cache_space(field_privatization_info* fp)
{
    method_compile_context* m = fp->m;
    const u4 args[2] = {m->local_count, fp->cache_slots};
    for (u4 block = 0; block < m->bb_count; block++) {
        bbattr* b = m->bb_table[block];
        if (!walked(b))
            continue;
        for (u4 i = 0; i < b->quad_count; i++)
            pv_map_locals(b->catbl[i], shift_local, args);
        u4 base = bb_local_base(b);
        if (base != 0 && base >= m->local_count)
            b->word_104 = (b->word_104 & 0xFFFF0000u) | ((base + fp->cache_slots) & 0xFFFF);
    }
}

field_cache_candidate template_of(const fpr_roaccess* e, quadruple* access)
{
    field_cache_candidate c;
    memset(&c, 0, sizeof c);
    c.base = static_cast<int16_t>((e->flags & FPR_STATIC) ? -1 : 0);
    c.fb = e->fb;
    c.type_code = e->type_code;
    c.cache_local = e->cache_local;
    c.first_access = access;
    return c;
}

// The caching code of one group into `out`; answers its length.
u4 caching_code(field_privatization_info* fp, const fpr_group* g, quadruple** out, u4* stack_need)
{
    u4 n = 0;
    for (const fpr_member* mem = g->members; mem != nullptr; mem = mem->next) {
        const fpr_roaccess* e = mem->entry;
        const fpr_position* p = e->positions;
        field_cache_candidate c = template_of(e, fp->m->bb_table[p->block]->catbl[p->index]);
        n += pv_emit_cache_load(fp->m, c, e->cache_local, out + n, stack_need);
    }
    return n;
}

u4 group_length(const fpr_group* g)
{
    u4 n = 0;
    for (const fpr_member* mem = g->members; mem != nullptr; mem = mem->next)
        n += (mem->entry->flags & FPR_STATIC) ? 2 : 3;
    return n;
}

bool generate_bbs_for_field_value_caching(field_privatization_info* fp, u4* stack_need)
{
    method_compile_context* m = fp->m;
    int moved = 0;
    table_expansion(m, fp->group_count + 1, 0, 0, 0, 0, 0, &moved);
    u4 n = m->bb_count;
    bbattr* entry = m->bb_table[0];
    bbattr* terminal = m->bb_table[n - 1];
    u4 old_first = entry->succ[0];
    fp->first_cache_block = n - 1;
    u4 id = n - 1;
    for (fpr_group* g = fp->groups; g != nullptr; g = g->next, id++) {
        bbattr* b = allocate_a_bbattr(m, id, 0, 0, 1, group_length(g));
        if (b == nullptr)
            return false;
        b->loop_depth = 0;
        b->loop_index = -1;
        b->mb = g->key;
        b->local_count = static_cast<u2>(m->local_count + fp->cache_slots);
        b->succ[0] = g->next != nullptr ? id + 1 : old_first;
        b->quad_count = caching_code(fp, g, b->catbl, stack_need);
        m->total_quad_count += b->quad_count;
        m->bb_table[id] = b;
    }
    u4 last = id - 1;
    if (gen_cins_info(m, 0, static_cast<s4>(fp->first_cache_block), static_cast<s4>(last), CINS_AFTER) == 0)
        return false;
    entry->succ[0] = fp->first_cache_block;
    bbattr* header = m->bb_table[old_first];
    if ((header->flags & BB_LOOP_HEADER) && (header->flags & BB_LOOP_MEMBER) && header->loop_index >= 0
        && static_cast<u4>(header->loop_index) < m->loop_count)
        relink_loop_pre_entry_links(mcc_loop(m, static_cast<u4>(header->loop_index)), header, last, 0);
    relink_terminal_link(m, terminal, id);
    m->bb_count = id + 1;
    for (u4 k = fp->first_cache_block; k <= last; k++)
        m->bb_table[k]->stack_word = m->max_stack;
    return true;
}

// An interpreter transfer enters at its own block: it gets the same loads,
// before its final jump.
bool cache_at_transfer_entry(field_privatization_info* fp, u4 stack_need)
{
    method_compile_context* m = fp->m;
    bbattr* x = m->bb_table[m->frontend_words[TR_ENTRY]];
    u4 extra = 0;
    for (fpr_group* g = fp->groups; g != nullptr; g = g->next)
        extra += group_length(g);
    auto* table = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, (x->quad_count + extra) * sizeof(quadruple*)));
    if (table == nullptr)
        return false;
    u4 keep = x->quad_count;
    if (keep > 0) {
        u1 op = x->catbl[keep - 1]->opcode;
        if (op == OPC_OTHER || op == OPC_GOTO)
            keep--;
    }
    memcpy(table, x->catbl, keep * sizeof(quadruple*));
    u4 n = keep;
    for (fpr_group* g = fp->groups; g != nullptr; g = g->next)
        n += caching_code(fp, g, table + n, &stack_need);
    memcpy(table + n, x->catbl + keep, (x->quad_count - keep) * sizeof(quadruple*));
    n += x->quad_count - keep;
    m->total_quad_count += n - x->quad_count;
    x->catbl = table;
    x->quad_count = n;
    return true;
}

bool transfer_entry_known(const method_compile_context* m)
{
    u4 x = m->frontend_words[TR_ENTRY];
    return x > 0 && x + 1 < m->bb_count && walked(m->bb_table[x]);
}

bool generate_code_for_field_access(field_privatization_info* fp)
{
    method_compile_context* m = fp->m;
    s4 next = static_cast<s4>(m->local_count);
    for (fpr_group* g = fp->groups; g != nullptr; g = g->next)
        for (fpr_member* mem = g->members; mem != nullptr; mem = mem->next) {
            mem->entry->cache_local = next;
            next += (mem->entry->flags & FPR_TWO_SLOTS) ? 2 : 1;
        }
    u4 stack_need = 0;
    if (!generate_bbs_for_field_value_caching(fp, &stack_need))
        return false;
    if ((m->state_flags & MCC_MMI2JIT) && !cache_at_transfer_entry(fp, stack_need))
        return false;
    // Every recorded read becomes a load of its cache local.
    for (fpr_group* g = fp->groups; g != nullptr; g = g->next)
        for (fpr_member* mem = g->members; mem != nullptr; mem = mem->next) {
            const fpr_roaccess* e = mem->entry;
            for (const fpr_position* p = e->positions; p != nullptr; p = p->next) {
                bbattr* b = m->bb_table[p->block];
                quadruple* old = b->catbl[p->index];
                auto* q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
                if (q == nullptr)
                    return false;
                memset(q, 0, sizeof *q);
                q->opcode = pv_opcode_table[e->type_code & PVT_MASK][0];
                q->op = static_cast<u2>(e->cache_local);
                q->body = old->body;
                quad_set_source_pc(q, quad_source_pc(old));
                b->catbl[p->index] = q;
                if (!(e->flags & FPR_STATIC))
                    quad_make_nop(b->catbl[p->index - 1], false);
            }
        }
    if (stack_need > m->max_stack)
        m->max_stack = static_cast<u2>(stack_need);
    for (u4 k = fp->first_cache_block; k < fp->first_cache_block + fp->group_count; k++)
        m->bb_table[k]->stack_word = m->max_stack;
    return true;
}

// Drops the cached entries whose signature the cache locals cannot hold and
// fills in the type codes of the rest.
void settle_types(field_privatization_info* fp)
{
    for (int kind = 0; kind < 2; kind++)
        for (u4 k = 0; k < 4; k++)
            for (fpr_roaccess* e = kind == 0 ? fp->ro_static[k] : fp->ro_instance[k]; e != nullptr; e = e->next)
                if (e->cached && !field_type(e->fb, &e->type_code)) {
                    e->cached = false;
                    if (kind == 0)
                        fp->static_cached--;
                    else
                        fp->instance_cached--;
                    fp->cache_slots -= (e->flags & FPR_TWO_SLOTS) ? 2 : 1;
                }
}

int privatize(field_privatization_info* fp, int* changed)
{
    method_compile_context* m = fp->m;
    if (!find_barriers(fp))
        return 0;
    scan_result scanned = scan_bytecode_to_collect_field_access_info(fp);
    if (scanned == SCAN_NO_MEMORY)
        return 0;
    if (scanned == SCAN_ABORT)
        return 1;
    for (u4 k = 0; k < 4; k++)
        search_and_remove_roaccess_fb(fp, &fp->ro_static[k], fp->def_static[k], true);
    for (u4 k = 0; k < 4; k++)
        search_and_remove_roaccess_fb(fp, &fp->ro_instance[k], fp->def_instance[k], false);
    settle_types(fp);
    if (fp->instance_cached + fp->static_cached == 0)
        return 1;
    if (!count_up_bb_for_cache_code(fp))
        return 0;
    shift_lvar_index_by_cache_space(fp);
    if (!generate_code_for_field_access(fp))
        return 0;
    m->local_count = static_cast<u2>(m->local_count + fp->cache_slots);
    *changed = 1;
    return 1;
}

// Forms the pass leaves alone: a receiver that local 0 may not hold, an
// entry block without a first successor, a transfer entry it cannot find.
bool unsupported(const method_compile_context* m)
{
    if (m->mb == nullptr || m->mb->clazz == nullptr || m->bb_count < 3 || m->bb_table[0] == nullptr
        || m->bb_table[0]->succ_count == 0)
        return true;
    u4 first = m->bb_table[0]->succ[0];
    if (first == 0 || first + 1 >= m->bb_count)
        return true;
    if ((m->state_flags & MCC_MMI2JIT) && !transfer_entry_known(m))
        return true;
    return local0_stored(m);
}

} // namespace

void calcurate_space_fpr_field_privatization(method_compile_context* m, u4* count) { *count = *count * 2 + 1; }

int do_field_privatization(method_compile_context* m, int* changed)
{
    if (df_env_switch(&disable_field_privatization, "DISABLE_LPRIVATIZE") != 0 || unsupported(m))
        return 1;
    auto* fp = scratch<field_privatization_info>(m);
    if (fp == nullptr)
        return 0;
    fp->m = m;
    int result = privatize(fp, changed);
    jit_wmem_clear(m->pool2);
    return result;
}
