// Compile options.
//
// ORVA_COMPILEOPT is read twice at start-up.  `jit_setup_compile_options`
// turns its names into bits of the three option words.  `setCompileOptions`
// turns every token into a per-method option node (a hash table of 256
// buckets); a token followed by {class}{method(signature)} carries a filter and
// is active only while a matching method is compiled.  The driver activates the
// filters for each method (`activateOptions`) and ORs the bits of the active
// names into the words for that one compilation.
//
// Names are compared whole, in both parses and in `queryOption`: comparing over
// the token's length only would let "NINL" select "NINLINING".
#include <string.h>

#include "driver/driver.h"

u4 compile_option_flag;
u4 compile_option2_flag;
u4 compile_option3_flag;

#define ORVA_OPTION_ROW(id, name, mask, per_method) {name, mask, per_method},
const option_name option_names_word1[] = {ORVA_OPTIONS_WORD1(ORVA_OPTION_ROW)};
const option_name option_names_word2[] = {ORVA_OPTIONS_WORD2(ORVA_OPTION_ROW)};
const option_name option_names_word3[] = {ORVA_OPTIONS_WORD3(ORVA_OPTION_ROW)};
#undef ORVA_OPTION_ROW
const int option_names_word1_count = sizeof(option_names_word1) / sizeof(option_names_word1[0]);
const int option_names_word2_count = sizeof(option_names_word2) / sizeof(option_names_word2[0]);
const int option_names_word3_count = sizeof(option_names_word3) / sizeof(option_names_word3[0]);
static_assert(sizeof(option_names_word1) / sizeof(option_name) == 34);
static_assert(sizeof(option_names_word2) / sizeof(option_name) == 36);
static_assert(sizeof(option_names_word3) / sizeof(option_name) == 24);

#define ORVA_SKIPSUBOPT_ROW(row, name) name,
const char* const skipsubopt_array[SKIPSUBOPT_ROWS + 1] = {"", ORVA_SKIPSUBOPT_ROWS(ORVA_SKIPSUBOPT_ROW)};
#undef ORVA_SKIPSUBOPT_ROW

option_node* option_table[OPTION_BUCKETS];
int optionsSet;
int optionFiltersSet;

namespace {

// Options that are never per-method: a filter given with them is dropped.
const char* const global_only_options[] = {"NCHA"};

// Node blocks and the string arena, from the VM's heap.
constexpr int NODES_PER_BLOCK = 512 / sizeof(option_node);
option_node* node_block;
int node_block_used = NODES_PER_BLOCK;
char* arena;
size_t arena_left;

option_node* new_node()
{
    if (node_block_used == NODES_PER_BLOCK) {
        auto* block = static_cast<option_node*>(jit_vm_malloc(NODES_PER_BLOCK * sizeof(option_node)));
        if (block == nullptr)
            return nullptr;
        node_block = block;
        node_block_used = 0;
    }
    option_node* n = &node_block[node_block_used++];
    memset(n, 0, sizeof(*n));
    return n;
}

char* copy_string(const char* text, size_t length)
{
    if (length + 1 > arena_left) {
        size_t size = ((length + 1) & ~size_t{3}) + 48;
        if (size < 256)
            size = 256;
        char* block = static_cast<char*>(jit_vm_malloc(size));
        if (block == nullptr)
            return nullptr;
        arena = block;
        arena_left = size;
    }
    char* s = arena;
    memcpy(s, text, length);
    s[length] = '\0';
    arena += length + 1;
    arena_left -= length + 1;
    return s;
}

bool name_equals(const char* node_name, const char* text, size_t length)
{
    return strncmp(node_name, text, length) == 0 && node_name[length] == '\0';
}

option_node* lookup(const char* text, size_t length)
{
    u4 bucket = hasher(text, static_cast<int>(length)) & (OPTION_BUCKETS - 1);
    for (option_node* n = option_table[bucket]; n != nullptr; n = n->next)
        if (name_equals(n->name, text, length))
            return n;
    return nullptr;
}

option_node* lookup_or_create(const char* text, size_t length)
{
    option_node* n = lookup(text, length);
    if (n != nullptr)
        return n;
    n = new_node();
    char* name = n != nullptr ? copy_string(text, length) : nullptr;
    if (name == nullptr) {
        fprintf(stderr, "JIT: out of memory for the option %.*s\n", static_cast<int>(length), text);
        return nullptr;
    }
    n->name = name;
    n->active = 1;
    u4 bucket = hasher(text, static_cast<int>(length)) & (OPTION_BUCKETS - 1);
    n->next = option_table[bucket];
    option_table[bucket] = n;
    return n;
}

// ORs the mask of the first row named exactly by the token; 1 when found.
bool apply_token(const option_name* table, int count, const char* token, size_t length, u4* word)
{
    for (int i = 0; i < count; i++) {
        if (name_equals(table[i].name, token, length)) {
            *word |= table[i].mask;
            return true;
        }
    }
    return false;
}

// One filter group "class}{method(signature)"; *next receives the start of
// the following group, or 0.
bool group_matches(const char* group, const char* class_name, const char* method_name,
                   const char* signature, const char** next)
{
    *next = nullptr;
    const char* class_end = strchr(group, '}');
    if (class_end == nullptr)
        class_end = group + strlen(group);
    const char* method = *class_end != '\0' && class_end[1] != '\0' ? class_end + 2 : class_end + strlen(class_end);
    const char* method_end = method + strcspn(method, "}(");
    const char* sig_end = method_end;
    if (*method_end == '(')
        sig_end = method_end + strcspn(method_end, "}");
    if (sig_end[0] == '}' && sig_end[1] == '{')
        *next = sig_end + 2;

    name_pattern* cp = compile_pattern(group, static_cast<int>(class_end - group));
    bool ok = cp != nullptr && class_name != nullptr && is_match(cp, class_name);
    free_pattern(cp);
    if (!ok)
        return false;
    name_pattern* mp = compile_pattern(method, static_cast<int>(method_end - method));
    ok = mp != nullptr && method_name != nullptr && is_match(mp, method_name);
    free_pattern(mp);
    if (!ok)
        return false;
    if (*method_end == '(') {
        size_t n = static_cast<size_t>(sig_end - method_end);
        if (signature == nullptr || strlen(signature) != n || strncmp(signature, method_end, n) != 0)
            return false;
    }
    return true;
}

} // namespace

void jit_setup_compile_options(const char* text)
{
    if (text == nullptr)
        return;
    const char* p = text;
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == ';')
            p++;
        if (*p == '\0')
            return;
        const char* start = p;
        while (*p != '\0' && *p != ':')
            p++;
        size_t length = static_cast<size_t>(p - start);
        apply_token(option_names_word1, option_names_word1_count, start, length, &compile_option_flag);
        apply_token(option_names_word2, option_names_word2_count, start, length, &compile_option2_flag);
        apply_token(option_names_word3, option_names_word3_count, start, length, &compile_option3_flag);
        if (*p == ':')
            p++;
    }
}

void setCompileOptions(const char* text)
{
    if (text == nullptr)
        return;
    optionsSet = 1;
    const char* p = text;
    while (*p != '\0') {
        const char* start = p;
        while (*p != '\0' && *p != ':' && *p != '{')
            p++;
        size_t length = static_cast<size_t>(p - start);
        option_node* node = length > 0 ? lookup_or_create(start, length) : nullptr;
        if (*p == '{') {
            optionFiltersSet = 1;
            const char* filter = p + 1;
            const char* q = filter;
            while (*q != '\0' && !(*q == '}' && q[1] != '{'))
                q++;
            if (node != nullptr) {
                char* copy = copy_string(filter, static_cast<size_t>(q - filter));
                if (copy != nullptr) {
                    node->filter = copy;
                    node->active = 0;
                }
            }
            p = *q != '\0' ? q + 1 : q;
        } else if (*p == ':') {
            p++;
        }
    }
    for (const char* name : global_only_options) {
        option_node* n = lookup(name, strlen(name));
        if (n != nullptr) {
            n->filter = nullptr;
            n->active = 1;
        }
    }
}

void activateOptions(const char* class_name, const char* method_name, const char* signature)
{
    if (!optionFiltersSet)
        return;
    for (option_node* bucket : option_table)
        for (option_node* n = bucket; n != nullptr; n = n->next)
            if (n->filter != nullptr)
                n->active = static_cast<u1>(process_filter(n->filter, class_name, method_name, signature));
}

int queryOption(const char* name)
{
    option_node* n = lookup(name, strlen(name));
    return n != nullptr ? n->active : 0;
}

void jit_apply_method_options(u4* word1, u4* word2, u4* word3)
{
    if (queryOption("NALL")) {
        *word1 |= OPT1_NALL;
        *word2 |= OPT2_NALL;
        *word3 = 0xFFFFFFFFu;
    }
    struct {
        const option_name* table;
        int count;
        u4* word;
    } const tables[] = {
        {option_names_word1, option_names_word1_count, word1},
        {option_names_word2, option_names_word2_count, word2},
        {option_names_word3, option_names_word3_count, word3},
    };
    for (const auto& t : tables)
        for (int i = 0; i < t.count; i++)
            if (t.table[i].per_method && queryOption(t.table[i].name))
                *t.word |= t.table[i].mask;
}

void jit_reset_method_options(void)
{
    // The nodes and strings stay allocated: the table never shrinks in
    // production, and tests only need a clean slate.
    memset(option_table, 0, sizeof(option_table));
    optionsSet = 0;
    optionFiltersSet = 0;
    node_block_used = NODES_PER_BLOCK;
    arena_left = 0;
}

void spewOptions(FILE* stream, int global)
{
    if (stream == nullptr)
        return;
    fprintf(stream, "%s Options:\n", global ? "Global" : "Active");
    for (option_node* bucket : option_table) {
        for (option_node* n = bucket; n != nullptr; n = n->next) {
            if (!(n->active || (global && n->filter != nullptr)))
                continue;
            fprintf(stream, "\t%s", n->name);
            if (global && n->filter != nullptr)
                fprintf(stream, "%c%s%c", '{', n->filter, '}');
            fprintf(stream, "\n");
        }
    }
}

int process_filter(const char* filter, const char* class_name, const char* method_name,
                   const char* signature)
{
    if (filter == nullptr || filter[0] == '\0')
        return 0;
    const char* group = filter;
    while (group != nullptr) {
        const char* next;
        if (group_matches(group, class_name, method_name, signature, &next))
            return 1;
        group = next;
    }
    return 0;
}

u4 hasher(const char* key, int length)
{
    static constexpr u4 T[17] = {0,          0x352B9D8F, 0x57A675BB, 0x3A8B24EB, 0x2E52202B,
                                 0x26B7E13A, 0x40DE49A3, 0x43E9D23F, 0x2095066A, 0x4367090B,
                                 0x59AD218B, 0x1DAC4FB6, 0x4E9EC3AB, 0x6EEF8BE9, 0x112D2940,
                                 0x45ED4CD3, 0x187BCE76};
    if (length <= 0)
        return 0;
    const auto* k = reinterpret_cast<const unsigned char*>(key);
    u4 sum = 0;
    int pos = 0;
    int first = (length - 1) % 7 + 1;
    for (int j = 0; pos < length; j++) {
        unsigned char b[7] = {0, 0, 0, 0, 0, 0, 0};
        int take = j == 0 ? first : 7;
        for (int i = 0; i < take; i++)
            b[7 - take + i] = k[pos + i];
        pos += take;
        u4 a = (static_cast<u4>(static_cast<s4>(static_cast<int8_t>(b[0])) >> 4) << 24)
               | (u4{b[1]} << 16) | (u4{b[3]} << 8) | b[5];
        u4 c = (u4{b[0] & 15u} << 24) | (u4{b[2]} << 16) | (u4{b[4]} << 8) | b[6];
        int m = j % 8;
        a += T[2 * m + 1];
        c += T[2 * m + 2];
        u4 lo = (a & 0xFFFF) * (c & 0xFFFF);
        u4 mid = (a & 0xFFFF) * (c >> 16) + (c & 0xFFFF) * (a >> 16) + (lo >> 16);
        u4 h = (lo & 0xFFFF) + ((mid & 0x7FFF) << 16) + (mid >> 15) + 2 * (a >> 16) * (c >> 16);
        if (h & 0x80000000u)
            h = (h & 0x7FFFFFFFu) + 1;
        sum += h;
        if (sum & 0x80000000u)
            sum = (sum & 0x7FFFFFFFu) + 1;
    }
    return sum;
}
