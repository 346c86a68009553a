// The constant tables: one address in memory for every float, long and double
// constant that a method's quadruples use.
//
// The constant-pool table (reference mode) is filled once per attempt of the
// quadruple passes with the float, long and double entries of the constant
// pools of every class whose code the method holds; its entries point at the
// pool's own words.  The folded-constant table (copy mode) receives the
// values that constant folding computes and no pool holds; they are copied
// into a value array that grows by doubling.  Entries chain in 67 buckets by
// a hash of kind and words; an address once handed out stays valid and keeps
// its value until the compilation's work memory goes (a growth copies the
// array but leaves the old one in the pool, where the earlier addresses
// point).
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"

namespace {

bool two_words(s4 kind) { return kind == CONST_KIND_LONG || kind == CONST_KIND_DOUBLE; }

const_table_entry* find(const const_table* t, s4 kind, const u4* words, u4 hash)
{
    for (const_table_entry* e = t->buckets[hash % CONST_TABLE_BUCKETS]; e != nullptr; e = e->next) {
        if (e->hash != hash || e->kind != kind || e->value[0] != words[0])
            continue;
        if (two_words(kind) && e->value[1] != words[1])
            continue;
        return e;
    }
    return nullptr;
}

classblock* class_of_block(const bbattr* b) { return b->mb != nullptr ? b->mb->clazz : nullptr; }

} // namespace

u4 const_table_hash(s4 kind, const u4* words)
{
    u4 h = static_cast<u4>(kind) << 10;
    if (kind == CONST_KIND_FLOAT)
        h ^= words[0];
    else if (two_words(kind))
        h ^= words[1] ^ words[0];
    return h;
}

const u4* SearchConstTable(method_compile_context*, const_table* table, s4 kind, const u4* words)
{
    if (table->count == 0)
        return nullptr;
    const_table_entry* e = find(table, kind, words, const_table_hash(kind, words));
    return e != nullptr ? e->value : nullptr;
}

const u4* AddConstTable(method_compile_context* m, const_table* table, s4 kind, const u4* words)
{
    u4 hash = const_table_hash(kind, words);
    if (const_table_entry* e = find(table, kind, words, hash))
        return e->value;
    u4 size = two_words(kind) ? 2 : 1;
    const u4* value = words;
    if (table->mode >= 0) {
        if (table->count + (size - 1) >= table->capacity) {
            u4 capacity = table->count == 0 ? CONST_TABLE_FIRST_CAPACITY : 2u * table->capacity;
            auto* grown = static_cast<u4*>(jit_wmem_alloc(m->pool1, capacity * 4));
            if (table->count > 0)
                memcpy(grown, table->values, table->count * 4u);
            table->values = grown;
            table->capacity = capacity;
        }
        u4* slot = table->values + table->count;
        slot[0] = words[0];
        if (size == 2)
            slot[1] = words[1];
        value = slot;
    }
    auto* e = static_cast<const_table_entry*>(jit_wmem_alloc(m->pool1, sizeof(const_table_entry)));
    e->value = value;
    e->hash = hash;
    e->kind = kind;
    u4 bucket = hash % CONST_TABLE_BUCKETS;
    e->next = table->buckets[bucket];
    table->buckets[bucket] = e;
    table->count += size;
    return value;
}

void add_class_constants_to_const_table(method_compile_context* m, const_table* table, classblock* cb)
{
    if (cb == nullptr || cb->constantpool == nullptr)
        return;
    u4* cp = cb->constantpool;
    const u1* tags = reinterpret_cast<const u1*>(cp[0]);
    for (u4 i = 1; i < cb->constantpool_count;) {
        u1 tag = tags[i] & CONSTANT_TAG_MASK;
        if (tag == CONSTANT_Float) {
            AddConstTable(m, table, CONST_KIND_FLOAT, &cp[i]);
            i += 1;
        } else if ((tag == CONSTANT_Long || tag == CONSTANT_Double) && i + 1 < cb->constantpool_count) {
            AddConstTable(m, table, tag, &cp[i]);
            i += 2;
        } else {
            i += 1;
        }
    }
}

void Initialize_const_table(method_compile_context* m)
{
    auto* tables = static_cast<const_table*>(jit_wmem_alloc(m->pool1, 2 * sizeof(const_table)));
    memset(tables, 0, 2 * sizeof(const_table));
    mcc_set_const_tables(m, tables);
    const_table* pool = mcc_pool_constants(m);
    pool->mode = -1;
    classblock* own = m->mb != nullptr ? m->mb->clazz : nullptr;
    add_class_constants_to_const_table(m, pool, own);
    classblock* previous = own;
    for (u4 i = 0; i < m->dfs_count; i++) {
        u4 id = m->dfs_array[i];
        if (id >= m->bb_count)
            continue;
        const bbattr* b = m->bb_table[id];
        if (b->quad_count == 0 || (b->flags & BB_DEAD))
            continue;
        classblock* cb = class_of_block(b);
        if (cb == nullptr || cb == own || cb == previous)
            continue;
        add_class_constants_to_const_table(m, pool, cb);
        previous = cb;
    }
}
