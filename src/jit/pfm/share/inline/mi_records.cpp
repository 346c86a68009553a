// Inlining limits and analysis records.
//
// Start-up reads six limits from the environment (each kept only when it
// passes its test; otherwise the default stays).  Each compilation gets one
// `inlining_context` in its main work pool; the analysis makes one `misinfo`
// per distinct method of the call tree, found again through eight buckets by
// the method's bytecode length.  Blocks for code that the expansion adds are
// made here too.
#include <stdlib.h>
#include <string.h>

#include "driver/driver.h"
#include "frontend/bb.h"
#include "inline/inline.h"

s4 mi_analysis_depth;
s4 mi_empty_analysis_depth;
s4 mi_sm_check_depth;
s4 mi_sm_check_bc_size;
s4 mi_mmi_before_compile;
s4 mi_nested_vinvoke_analysis_depth;

namespace {

// The value of a variable parsed with strtol, or the fallback when it is not
// set or fails the test.
s4 limit(const char* name, s4 fallback, bool zero_allowed)
{
    const char* text = getenv(name);
    if (text == nullptr)
        return fallback;
    long v = strtol(text, nullptr, 10);
    if (v > 0 || (zero_allowed && v == 0 && text[0] != '\0'))
        return static_cast<s4>(v);
    return fallback;
}

u4 bucket_of(const methodblock* mb) { return mb->code_length & (MI_BUCKETS - 1); }

void* pool_zalloc(method_compile_context* m, u4 size)
{
    void* p = jit_wmem_alloc(m->pool1, size);
    if (p != nullptr)
        memset(p, 0, size);
    return p;
}

} // namespace

void jit_intialize_method_inlining(void)
{
    mi_analysis_depth = limit("ORVA_INLINEDEPTH", 4, false);
    mi_empty_analysis_depth = limit("ORVA_EMPTYDEPTH", 10, false);
    mi_sm_check_depth = limit("ORVA_SMCDEPTH", 10, false);
    mi_sm_check_bc_size = limit("ORVA_SMCBCSIZE", 128, false);
    mi_mmi_before_compile = limit("ZEK_MIXED_MODE_THRESHOLD", 2000, true);
    mi_nested_vinvoke_analysis_depth = limit("ORVA_NVINLINEDEPTH", 2, false);
}

inlining_context* allocate_miainfo(method_compile_context* m, EE* ee)
{
    auto* ic = static_cast<inlining_context*>(pool_zalloc(m, sizeof(inlining_context)));
    if (ic == nullptr)
        return nullptr;
    ic->m = m;
    ic->ee = ee;
    ic->root.mb = m->mb;
    if (m->mb != nullptr)
        ic->buckets[bucket_of(m->mb)] = &ic->root;
    return ic;
}

misinfo* mi_prescan_a_method(method_compile_context* m, methodblock* mb, misinfo* caller)
{
    auto* mi = static_cast<misinfo*>(pool_zalloc(m, sizeof(misinfo)));
    if (mi == nullptr)
        return nullptr;
    mi->mb = mb;
    if (caller != nullptr) {
        auto* node = static_cast<mi_caller_node*>(pool_zalloc(m, sizeof(mi_caller_node)));
        if (node == nullptr)
            return nullptr;
        node->caller = caller;
        mi->callers = node;
    }
    // Entered in its bucket, so that search_existing_misinfo finds it.
    inlining_context* ic = m->inlining;
    if (ic != nullptr) {
        mi->hash_next = ic->buckets[bucket_of(mb)];
        ic->buckets[bucket_of(mb)] = mi;
    }
    return mi;
}

misinfo* search_existing_misinfo(inlining_context* ic, methodblock* mb)
{
    for (misinfo* mi = ic->buckets[bucket_of(mb)]; mi != nullptr; mi = mi->hash_next)
        if (mi->mb == mb)
            return mi;
    return nullptr;
}

void add_a_misinfo_to_caller_list(method_compile_context* m, misinfo* caller, misinfo* callee)
{
    for (mi_caller_node* n = callee->callers; n != nullptr; n = n->next)
        if (n->caller == caller)
            return;
    auto* node = static_cast<mi_caller_node*>(pool_zalloc(m, sizeof(mi_caller_node)));
    if (node == nullptr)
        return;
    node->caller = caller;
    node->next = callee->callers;
    callee->callers = node;
}

bbattr* allocate_a_bbattr(method_compile_context* m, u4 id, u4 start_pc, u4 flags, u4 succ_count,
                          u4 quad_count)
{
    auto* b = static_cast<bbattr*>(pool_zalloc(m, sizeof(bbattr)));
    if (b == nullptr)
        return nullptr;
    b->try_region = -1;
    b->flags = flags & BB_INLINE_KEEP;
    b->id = id;
    b->start_pc = start_pc;
    b->pred_count = 1;
    b->succ_count = succ_count;
    if (succ_count >= 1) {
        b->succ = static_cast<u4*>(pool_zalloc(m, succ_count * 4));
        if (b->succ == nullptr)
            return nullptr;
    }
    b->quad_count = quad_count;
    if (quad_count >= 1) {
        b->catbl = static_cast<quadruple**>(pool_zalloc(m, quad_count * 4));
        if (b->catbl == nullptr)
            return nullptr;
    }
    return b;
}
