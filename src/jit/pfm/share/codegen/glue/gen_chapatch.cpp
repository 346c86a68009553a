// Class-hierarchy patch sites: a call bound directly because the class
// hierarchy shows a single implementation starts its block with a patch
// site; after the body an 11-byte template holds the jump from the site to
// the general path:
//
//   byte 0      L, the length of the jump (2 or 5)
//   1 .. L      EB rel8 or E9 rel32, relative to the site
//   1 + L ..    NOP filler; bytes 6 .. 5 + L receive the site's bytes when
//               it is patched
//
// While the assumption holds the site runs its own code.  When a loaded
// class overrides the method, the class-hierarchy analysis writes the jump
// over the site (CallBackInvalidateCode); an assumption that fails already
// at the end of code generation is patched at once.  On multiprocessors the
// first two bytes of a site never cross a 32-byte line, so the 16-bit stores
// of the rewrite are single stores.
#include <string.h>

#include "codegen/glue/gen_callsite.h"
#include "driver/driver.h"
#include "driver/options.h"
#include "inline/cha.h"

// Services of the class-hierarchy analysis, absent from the code
// generator's own test binaries (an absent answer counts as "no longer
// bindable": the site takes the general path).
methodblock* IsDirectBind(method_compile_context* m, methodblock* mb);
methodblock* IsDirectBindIntf(method_compile_context* m, methodblock* imb, classblock* receiver, int* kind,
                              methodblock** impl);
void RegistMethodOverrideCodePtr(codegen_context* cg, methodblock* callee, u4 site, u4 patch, methodblock* caller,
                                 u1* code_start);
#pragma weak IsDirectBind
#pragma weak IsDirectBindIntf
#pragma weak RegistMethodOverrideCodePtr
#pragma weak orva_cha_lock
#pragma weak orva_processor_num

namespace {

constexpr u1 GUARD_OPCODE = OPC_CHA_GUARD;
constexpr u1 INTERFACE_GUARD = 5;   // kind nibble of a guard on an interface call

struct cha_list {
    cha_patch_record* head;
    cha_patch_record* tail;
    cha_patch_record* cursor;   // pass 2: the next record to fill
};
static_assert(sizeof(cha_list) == sizeof(method_code_info::cha_lists));

cha_list* list_of(codegen_context* cg) { return reinterpret_cast<cha_list*>(cg->mci->cha_lists); }

bool writing(codegen_context* cg) { return cg->pass == CG_PASS_WRITE; }
bool multiprocessor(void) { return &orva_processor_num != nullptr && orva_processor_num > 1; }

// The guard's direct successor (the side the dispatcher links to).
u4 direct_successor(const bbattr* b, const quadruple* g)
{
    u4 which = (g->op & 0xF) == 2 && b->succ_count > 1 ? 1 : 0;
    return b->succ_count != 0 ? b->succ[which] : g->target;
}

u4 other_successor(const bbattr* b, const quadruple* g)
{
    u4 which = (g->op & 0xF) == 2 && b->succ_count > 1 ? 1 : 0;
    return b->succ_count > 1 ? b->succ[1 - which] : g->target;
}

void store16(u1* p, const u1* v) { __atomic_store_n(reinterpret_cast<u2*>(p), (u2)(v[0] | v[1] << 8), __ATOMIC_SEQ_CST); }

void enter_cha_lock(void)
{
    if (&orva_cha_lock != nullptr && vm.sysMonitorEnter != nullptr && vm.EE != nullptr)
        vm.sysMonitorEnter(orva_sys_thread(vm.EE()), orva_cha_lock);
}

void leave_cha_lock(void)
{
    if (&orva_cha_lock != nullptr && vm.sysMonitorExit != nullptr && vm.EE != nullptr)
        vm.sysMonitorExit(orva_sys_thread(vm.EE()), orva_cha_lock);
}

bool still_bindable(codegen_context* cg, const cha_patch_record* r)
{
    if (r->is_interface) {
        if (&IsDirectBindIntf == nullptr)
            return false;
        int kind = 0;
        methodblock* impl = nullptr;
        methodblock* found = IsDirectBindIntf(cg->m, r->method, nullptr, &kind, &impl);
        return kind == 1 && found == impl && found != nullptr;
    }
    return &IsDirectBind != nullptr && IsDirectBind(cg->m, r->method) == r->method;
}

} // namespace

void register_chapatch_info_to_patched_bb(method_compile_context* m)
{
    for (u4 b = 1; b + 1 < m->bb_count; b++) {
        bbattr* bb = m->bb_table[b];
        if (bb == nullptr || (bb->flags & BB_DEAD) || bb->quad_count == 0)
            continue;
        quadruple** slot = &bb->catbl[bb->quad_count - 1];
        if ((*slot)->opcode != GUARD_OPCODE)
            continue;
        u4 d = direct_successor(bb, *slot);
        // A chain of blocks that hold nothing but the same guard leads to the site.
        for (u4 steps = 0; steps < m->bb_count && d < m->bb_count; steps++) {
            bbattr* db = m->bb_table[d];
            if (db == nullptr || db->quad_count != 1 || db->catbl[0]->opcode != GUARD_OPCODE ||
                db->catbl[0]->target != (*slot)->target)
                break;
            d = direct_successor(db, db->catbl[0]);
        }
        if (d >= m->bb_count || m->bb_table[d] == nullptr)
            continue;
        auto* e = static_cast<cha_block_entry*>(jit_wmem_alloc(m->pool1, sizeof(cha_block_entry)));
        if (e == nullptr)
            continue;
        e->guard = slot;
        e->block = b;
        e->next = cha_block_entries(m->bb_table[d]);
        set_cha_block_entries(m->bb_table[d], e);
    }
}

void init_cha_patch(codegen_context* cg)
{
    cha_list* l = list_of(cg);
    if (!writing(cg)) {
        l->head = l->tail = l->cursor = nullptr;
        return;
    }
    l->cursor = l->head;
}

void register_cha_patch_list(codegen_context* cg, bbattr** table, u4 block)
{
    bbattr* bb = table[block];
    cha_block_entry* entries = cha_block_entries(bb);
    if (entries == nullptr)
        return;
    int open = (cg->flags & (CG_SCHED_OFF | CG_SCHED_WINDOW_OPEN)) == CG_SCHED_WINDOW_OPEN;
    if (open)
        cg_close_window(cg);
    // The rewrite stores the site's first two bytes at once.
    if (multiprocessor())
        _prevent_DCU_splits_nbytes(cg, 0, 2);
    cha_list* l = list_of(cg);
    if (!writing(cg)) {
        // The site may need up to 5 bytes of padding in the writing pass.
        cg_count_pass1(cg, CHA_SITE_RESERVE);
        for (cha_block_entry* e = entries; e != nullptr; e = e->next) {
            auto* r = static_cast<cha_patch_record*>(jit_wmem_alloc(cg->m->pool1, sizeof(cha_patch_record)));
            if (r == nullptr)
                cg_service_missing("class-hierarchy patch record memory");
            memset(r, 0, sizeof(*r));
            quadruple* g = *e->guard;
            bbattr* gb = table[e->block];
            r->method = reinterpret_cast<methodblock*>((uintptr_t)g->value);
            r->pass1_site = cg->code_size;
            r->target = other_successor(gb, g);
            r->alternative = g->target;
            r->block = block;
            r->is_interface = (g->subcode & QS_KIND_MASK) == INTERFACE_GUARD;
            if (l->tail != nullptr)
                l->tail->next = r;
            else
                l->head = r;
            l->tail = r;
        }
    } else {
        u1* site = cg->code;
        s4 room = (s4)bb->code_size - (s4)CHA_SITE_RESERVE;
        s4 padded = 0;
        for (cha_block_entry* e = entries; e != nullptr && l->cursor != nullptr; e = e->next) {
            cha_patch_record* r = l->cursor;
            l->cursor = r->next;
            r->site = site;
            s4 need = (r->is_short ? 2 : 5) - room - padded;
            if (need > 0) {
                _gen_nop(cg, (int)need);
                padded += need;
            }
        }
    }
    if (open)
        cg_open_window(cg);
}

void gen_cha_patch(codegen_context* cg, u1* code_start)
{
    cha_list* l = list_of(cg);
    if (l->head == nullptr)
        return;
    int open = (cg->flags & (CG_SCHED_OFF | CG_SCHED_WINDOW_OPEN)) == CG_SCHED_WINDOW_OPEN;
    if (open)
        cg_close_window(cg);
    bool locked = !(compile_option2_flag & OPT2_NCHA);
    if (locked && writing(cg))
        enter_cha_lock();
    for (cha_patch_record* r = l->head; r != nullptr; r = r->next) {
        u4 target = r->target;
        if (!writing(cg)) {
            bbattr* tb = cg->bbtable[target];
            if (tb == nullptr || tb->quad_count == 0)
                target = r->alternative;
            u4 t1 = cg->bbtable[target]->pass1_offset;
            r->is_short = (u4)(t1 - r->pass1_site + 126) < 256;
            cg_count_pass1(cg, CHA_TEMPLATE_SIZE);
            continue;
        }
        u1* to = reinterpret_cast<u1*>((uintptr_t)cg->bb_address[target]);
        if (to == nullptr)
            to = reinterpret_cast<u1*>((uintptr_t)cg->bb_address[r->alternative]);
        u1 t[CHA_TEMPLATE_SIZE];
        memset(t, OP_NOP, sizeof t);
        if (r->is_short) {
            t[0] = 2;
            t[1] = OP_JMP_REL8;
            t[2] = (u1)(to - (r->site + 2));
        } else {
            t[0] = 5;
            t[1] = OP_JMP_REL32;
            cg_write32(t + 2, (u4)(uintptr_t)to - (u4)(uintptr_t)(r->site + 5));
        }
        u1* tmpl = cg->code;
        memcpy(cg->code, t, sizeof t);
        cg->code += sizeof t;
        if (still_bindable(cg, r)) {
            if (&RegistMethodOverrideCodePtr != nullptr)
                RegistMethodOverrideCodePtr(cg, r->method, (u4)(uintptr_t)r->site, (u4)(uintptr_t)tmpl, cg->mb,
                                            code_start);
        } else {
            cha_rewrite_site(r->site, tmpl);
        }
    }
    if (locked && writing(cg))
        leave_cha_lock();
    if (open)
        cg_open_window(cg);
}

void cha_rewrite_site(u1* site, u1* tmpl)
{
    u4 length = tmpl[0];
    if (length == 5) {
        memcpy(tmpl + 6, site, 5);
        static const u1 self_jump[2] = {OP_JMP_REL8, 0xFE};
        store16(site, self_jump);   // a thread arriving now waits here
        memcpy(site + 2, tmpl + 3, 3);
        store16(site, tmpl + 1);
    } else if (length == 2) {
        memcpy(tmpl + 6, site, 2);
        store16(site, tmpl + 1);
    }
}

void CallBackInvalidateCode(u4 site, u4 patch)
{
    cha_rewrite_site(reinterpret_cast<u1*>((uintptr_t)site), reinterpret_cast<u1*>((uintptr_t)patch));
}
