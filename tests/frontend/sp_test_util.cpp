#include "sp_test_util.h"

#include <gtest/gtest.h>
#include "frontend/fe_external.h"

#include <string.h>

namespace sptest {

method_compile_context* new_context(methodblock* mb)
{
    auto* m = new method_compile_context;
    memset(m, 0, sizeof *m);
    m->root = m;
    m->pool1 = jit_wmem_init(0);
    m->pool2 = jit_wmem_init(0);
    m->mb = mb;
    m->max_stack = mb->maxstack;
    m->local_count = mb->nlocals;
    return m;
}

void free_context(method_compile_context* m)
{
    jit_wmem_free(m->pool1);
    jit_wmem_free(m->pool2);
    delete m;
}

namespace {

bbattr* new_block(method_compile_context* m, u4 id)
{
    auto* b = static_cast<bbattr*>(jit_wmem_alloc(m->pool1, sizeof(bbattr)));
    memset(b, 0, sizeof *b);
    b->id = id;
    b->mb = m->mb;
    b->try_region = -1;
    b->max_int_height = 16;
    b->max_float_height = 16;
    return b;
}

}  // namespace

void make_blocks(method_compile_context* m, const std::vector<std::vector<quadruple*>>& bodies)
{
    u4 n = static_cast<u4>(bodies.size()) + 2;
    m->bb_count = m->bb_capacity = n;
    m->bb_table = static_cast<bbattr**>(jit_wmem_alloc(m->pool1, n * sizeof(bbattr*)));
    for (u4 i = 0; i < n; i++)
        m->bb_table[i] = new_block(m, i);
    bbattr* entry = m->bb_table[0];
    entry->succ_count = 1;
    entry->succ = static_cast<u4*>(jit_wmem_alloc(m->pool1, sizeof(u4)));
    entry->succ[0] = 1;
    for (u4 i = 0; i < bodies.size(); i++) {
        bbattr* b = m->bb_table[i + 1];
        b->quad_count = static_cast<u4>(bodies[i].size());
        b->catbl = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, (b->quad_count + 1) * sizeof(quadruple*)));
        for (u4 k = 0; k < b->quad_count; k++)
            b->catbl[k] = bodies[i][k];
        m->total_quad_count += b->quad_count;
    }
}

quadruple* quad(method_compile_context* m, u1 opcode, int P, int Pa, int F, int Fa)
{
    auto* q = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, sizeof(quadruple)));
    quad_clear_fresh(q, 7);
    q->opcode = opcode;
    quad_set_itops(q, static_cast<u2>(P), static_cast<u2>(Pa));
    quad_set_ftops(q, static_cast<u2>(F), static_cast<u2>(Fa));
    return q;
}

void set_stack_list(method_compile_context* m, quadruple* q, const std::vector<u4>& kinds)
{
    u4 n = static_cast<u4>(kinds.size());
    auto* list = static_cast<stack_list*>(jit_wmem_alloc(m->pool1, 12 + 12 * n));
    memset(list, 0, 12 + 12 * n);
    list->count = n;
    for (u4 i = 0; i < n; i++)
        list->entries[i].kind = kinds[i];
    q->target = reinterpret_cast<u4>(list);
    EXPECT_EQ(quad_stack_list(q), list);
}

void set_form(quadruple* q, u4 form)
{
    q->target = form;
    EXPECT_EQ(shuffle_form_code(q), form);
}

std::vector<int> opcodes(const bbattr* b)
{
    std::vector<int> out;
    for (u4 i = 0; i < b->quad_count; i++)
        out.push_back(b->catbl[i]->opcode);
    return out;
}

fake_method::fake_method(const char* sig, u2 access, u2 args_size)
{
    memset(&cb, 0, sizeof cb);
    memset(&mb, 0, sizeof mb);
    cb.name = "Fake";
    mb.clazz = &cb;
    mb.name = "m";
    mb.signature = sig;
    mb.access = access;
    mb.args_size = args_size;
    mb.maxstack = 8;
    mb.nlocals = args_size;
}

namespace {

int instruction_length(const u1* code, int pc)
{
    u1 op = code[pc];
    if (op == 196)
        return code[pc + 1] == 132 ? 6 : 4;
    if (op == 170 || op == 171) {
        int p = (pc + 4) & ~3;
        auto be32 = [&](int at) {
            return static_cast<int>(static_cast<u4>(code[at]) << 24 | static_cast<u4>(code[at + 1]) << 16
                                    | static_cast<u4>(code[at + 2]) << 8 | code[at + 3]);
        };
        if (op == 170)
            return p + 12 + 4 * (be32(p + 8) - be32(p + 4) + 1) - pc;
        return p + 8 + 8 * be32(p + 4) - pc;
    }
    return opcode_length[op];
}

}  // namespace

namespace {

const u1* tags_of(const classblock* cb) { return reinterpret_cast<const u1*>(cb->constantpool[0]); }

const char* utf8_at(const classblock* cb, u4 i)
{
    return (tags_of(cb)[i] & CONSTANT_TAG_MASK) == CONSTANT_Utf8 ? reinterpret_cast<const char*>(cb->constantpool[i])
                                                                  : "";
}

const char* class_name_at(const classblock* cb, u4 i)
{
    if (tags_of(cb)[i] & CONSTANT_RESOLVED)
        return reinterpret_cast<const classblock*>(cb->constantpool[i])->name;
    return utf8_at(cb, cb->constantpool[i]);
}

}  // namespace

u4 cp_find_class(const classblock* cb, const char* name)
{
    for (u4 i = 1; i < cb->constantpool_count; i++)
        if ((tags_of(cb)[i] & CONSTANT_TAG_MASK) == CONSTANT_Class && strcmp(class_name_at(cb, i), name) == 0)
            return i;
    return 0;
}

u4 cp_find_ref(const classblock* cb, u1 tag, const char* cls, const char* name)
{
    for (u4 i = 1; i < cb->constantpool_count; i++) {
        u1 t = tags_of(cb)[i];
        if ((t & CONSTANT_TAG_MASK) != tag)
            continue;
        const char* c;
        const char* n;
        if (t & CONSTANT_RESOLVED) {
            if (tag == CONSTANT_Fieldref) {
                auto* fb = reinterpret_cast<const fieldblock*>(cb->constantpool[i]);
                c = fb->clazz->name, n = fb->name;
            } else {
                auto* mb = reinterpret_cast<const methodblock*>(cb->constantpool[i]);
                c = mb->clazz->name, n = mb->name;
            }
        } else {
            u4 w = cb->constantpool[i];
            c = class_name_at(cb, w >> 16);
            n = utf8_at(cb, cb->constantpool[w & 0xFFFF] >> 16);
        }
        if (strcmp(c, cls) == 0 && strcmp(n, name) == 0)
            return i;
    }
    return 0;
}

int find_opcode(const methodblock* mb, u1 opcode, int from)
{
    for (int pc = 0; pc < static_cast<int>(mb->code_length);) {
        if (pc >= from && mb->code[pc] == opcode)
            return pc;
        int len = instruction_length(mb->code, pc);
        if (len <= 0)
            return -1;
        pc += len;
    }
    return -1;
}

bool entry_resolved(const methodblock* mb, int pc)
{
    u4 index = static_cast<u4>(mb->code[pc + 1]) << 8 | mb->code[pc + 2];
    const u1* tags = reinterpret_cast<const u1*>(mb->clazz->constantpool[0]);
    return (tags[index] & CONSTANT_RESOLVED) != 0;
}

void setup_builder(builder_fixture& f, methodblock* mb, EE* ee, u1 opcode, int from)
{
    f.m = new_context(mb);
    f.pc = find_opcode(mb, opcode, from);
    for (int i = 0; i < 8; i++) {
        f.records[i] = static_cast<quadruple*>(jit_wmem_alloc(f.m->pool1, sizeof(quadruple)));
        quad_clear_fresh(f.records[i], f.pc);
        f.slots_storage[i] = f.records[i];
    }
    memset(&f.block, 0, sizeof f.block);
    f.block.mb = mb;
    f.block.id = 1;
    f.args.body_number = 0;
    f.b.m = f.m;
    f.b.block = &f.block;
    f.b.body = mb;
    f.b.cb = mb->clazz;
    f.b.code = mb->code;
    f.b.ee = ee;
    f.b.slots = f.slots_storage;
    f.b.slot_limit = 8;
    f.b.used = 0;
    f.b.args = &f.args;
}

}  // namespace sptest
