// Resolvers behind the resolve-and-retry stubs: each resolves one
// constant-pool reference of a compiled method through the VM, applies the
// checks due at first execution (static-ness, final fields, class
// initialisation, super calls) and rewrites the compiled site in place into
// the instruction that does the access or call directly.
//
// Answers: 1 = run the (rewritten) site again; 0 = a Java exception is
// pending; anything else = the field or method block whose static-ness does
// not match the site, which the stub raises as IncompatibleClassChangeError.
//
// Sites that other threads may be executing are rewritten in a fixed order:
// the first byte must still be the call (else another thread has rewritten
// the site and nothing is written); jmp-to-self (EB FE) over the first two
// bytes; every byte from offset 2 on; last the first two bytes of the final
// instruction.  The final instructions' opcode, ModRM and immediates come
// from the template that the code generator placed behind the out-of-line
// stub: 4 bytes after the stub's return address for field and static sites,
// 3 bytes after it for call sites.  The fixed no-operations written in place
// of an instruction come from the code generator's byte encoder (x86_encode.h).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "codegen/x86/x86_encode.h"
#include "driver/driver.h"
#include "lib/rt_stubs.h"

extern "C" methodblock* fi_current_frame_method(EE* ee);
extern "C" EE* _orva_getee(void);

namespace {

constexpr u4 MASK_STRING = 1u << CONSTANT_String;
constexpr u4 MASK_FIELD = 1u << CONSTANT_Fieldref;
constexpr u4 MASK_METHOD = 1u << CONSTANT_Methodref;
static_assert(MASK_STRING == 0x100 && MASK_FIELD == 0x200 && MASK_METHOD == 0x400);

constexpr u4 LOAD_UNUSED = 0x80000000u;         // getstatic/getfield: only the side effects
constexpr u4 LOAD_LOW_ONLY = 0x40000000u;       // of a long, the low word only
constexpr u4 INVOKE_STATIC = 0x80000000u;       // invokestatic (clear: invokespecial)
constexpr u1 CALL_OPCODE = 0xE8;
constexpr u4 FIELD_TEMPLATE = 4;                // template offset from ret1
constexpr u4 CALL_TEMPLATE = 3;

// Transition record of a resolver: {previous head, stub frame | 1, -, caller's ebp}.
struct transition_record {
    u4 prev;
    u4 frame;
    u4 frame_plain;                     // written by the assembly stubs only
    u4 caller_ebp;
};
static_assert(sizeof(transition_record) == 16);

struct resolve_scope {
    EE* ee;
    transition_record rec;
};

void link(resolve_scope& s, u4 caller_ebp, u4 stub_frame)
{
    s.ee = _orva_getee();
    s.rec.prev = s.ee->transition;
    s.rec.frame = stub_frame | 1;
    s.rec.caller_ebp = caller_ebp;
    s.ee->transition = reinterpret_cast<u4>(&s.rec.prev);
}

void unlink(resolve_scope& s) { s.ee->transition = s.rec.prev & ~3u; }

classblock* class_of(const u4* mb_ref) { return reinterpret_cast<classblock*>(*mb_ref); }

// Resolves entry `index` of the accessing class's pool: its word, or 0 (exception pending).
u4 resolve(resolve_scope& s, const u4* mb_ref, u4 index, u4 mask)
{
    u4* cp = reinterpret_cast<u4*>(class_of(mb_ref)->constantpool);
    if (vm.ResolveClassConstant2(cp, static_cast<int>(index), s.ee, mask, 1) == 0)
        return 0;
    return cp[index];
}

bool pending(EE* ee) { return (ee->exception_kind & 0xFF) != 0; }

void barrier() { asm volatile("" ::: "memory"); }

void put16(u1* at, u2 v)
{
    barrier();
    *reinterpret_cast<volatile u2*>(at) = v;
    barrier();
}

void put32(u1* at, u4 v) { *reinterpret_cast<volatile u4*>(at) = v; }

u2 get16(const u1* at) { u2 v; memcpy(&v, at, 2); return v; }
u4 get32(const u1* at) { u4 v; memcpy(&v, at, 4); return v; }

// Claims the site: false when another thread has already claimed or
// rewritten it.  The test of the call and the jmp $ over it are one locked
// exchange: threads that resolved the same site at once would otherwise all
// rewrite it, the later ones over the finished instruction while others run it.
bool claim_site(u1* site)
{
    u2 seen = *reinterpret_cast<volatile u2*>(site);
    if ((seen & 0xFF) != CALL_OPCODE)
        return false;
    return __atomic_compare_exchange_n(reinterpret_cast<u2*>(site), &seen, static_cast<u2>(0xFEEB), false,
                                       __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);    // EB FE: jmp $
}

// The 4-byte no-operation lea esp, [esp+0] (8-bit displacement) in front of
// a direct call that replaces a 9-byte virtual call.
constexpr x86_fixed_insn LEA_ESP4 = x86_lea_self(X86_HW_ESP, 1);
static_assert(LEA_ESP4.length == 4);

void finish_site(u1* site, const u1* tmpl) { put16(site, get16(tmpl)); }

// The 6-byte no-operation lea eax, [eax+0] (32-bit displacement).
constexpr x86_fixed_insn NOP6 = x86_lea_self(0, 4);
static_assert(NOP6.length == 6);

void finish_nop6(u1* site)
{
    put32(site + 2, get32(NOP6.b + 2));
    put16(site, get16(NOP6.b));
}

// Runs the class's static initializers when they have not run: false when
// they threw.
bool ensure_initialised(resolve_scope& s, classblock* cb)
{
    if (cb->state & CS_INITIALIZED)
        return true;
    vm.ExecuteStaticInitializers(cb);
    return !pending(s.ee);
}

// A final field may be stored only from its own class.
bool final_store_allowed(resolve_scope& s, fieldblock* fb, const u4* mb_ref)
{
    if (!(fb->access & ACC_FINAL))
        return true;
    if (fi_current_frame_method(s.ee) != nullptr && fb->clazz == class_of(mb_ref))
        return true;
    char message[256];
    vm.classname2string(fb->clazz->name, message, sizeof message);
    size_t used = strlen(message);
    vm.jio_snprintf(message + used, sizeof message - used, ": field %s is final", fb->name);
    vm.SignalError(s.ee, "java/lang/IllegalAccessError", message);
    return false;
}

// Stores of a long or of a constant: the parts after the first instruction's address.
void write_store_rest(u1* site, const u1* tmpl, char type, u4 address)
{
    if (type == 'J') {
        if (tmpl[0] == 0xC7) {          // two constant stores, 10 bytes each
            put32(site + 16, get32(tmpl + 16));
            put32(site + 12, address + 4);
            memcpy(site + 10, tmpl + 10, 2);
            put32(site + 6, get32(tmpl + 6));
        } else {                        // two register stores
            put32(site + 8, address + 4);
            memcpy(site + 6, tmpl + 6, 2);
        }
    } else if (type != 'D' && type != 'F' && tmpl[0] == 0xC7) {
        put32(site + 6, get32(tmpl + 6));
    }
}

}  // namespace

extern "C" {

u4 _orva_ResolveClassConstant_string(u4 index, u1* ret1, const u4* mb_ref, u4 caller_ebp, u4 stub_frame)
{
    resolve_scope s;
    link(s, caller_ebp, stub_frame);
    u4 word = resolve(s, mb_ref, index, MASK_STRING);
    unlink(s);
    if (word == 0)
        return 0;
    ret1[-24] = 26;                     // the short jump in front of the call now skips it
    return 1;
}

u4 _orva_ResolveClassConstant_getstatic(u4 index_word, u1* ret1, u1* site, const u4* mb_ref, u4 caller_ebp,
                                        u4 stub_frame)
{
    resolve_scope s;
    link(s, caller_ebp, stub_frame);
    auto* fb = reinterpret_cast<fieldblock*>(resolve(s, mb_ref, index_word & 0x3FFFFFFF, MASK_FIELD));
    u4 answer = 1;
    if (fb == nullptr || !ensure_initialised(s, fb->clazz)) {
        answer = 0;
    } else if (!(fb->access & ACC_STATIC)) {
        answer = reinterpret_cast<u4>(fb);
    } else if (claim_site(site)) {
        const u1* tmpl = ret1 + FIELD_TEMPLATE;
        if (index_word & LOAD_UNUSED) {
            finish_nop6(site);
        } else {
            char type = fb->signature[0];
            u4 address = (type == 'D' || type == 'J') ? fb->value : reinterpret_cast<u4>(&fb->value);
            if (type == 'J' && !(index_word & LOAD_LOW_ONLY)) {
                put32(site + 8, address + 4);
                memcpy(site + 6, tmpl + 6, 2);
            }
            put32(site + 2, address);
            finish_site(site, tmpl);
        }
    }
    unlink(s);
    return answer;
}

u4 _orva_ResolveClassConstant_putstatic(u4 index, u1* ret1, u1* site, const u4* mb_ref, u4 caller_ebp,
                                        u4 stub_frame)
{
    resolve_scope s;
    link(s, caller_ebp, stub_frame);
    auto* fb = reinterpret_cast<fieldblock*>(resolve(s, mb_ref, index, MASK_FIELD));
    u4 answer = 1;
    if (fb == nullptr || !ensure_initialised(s, fb->clazz)) {
        answer = 0;
    } else if (!(fb->access & ACC_STATIC)) {
        answer = reinterpret_cast<u4>(fb);
    } else if (!final_store_allowed(s, fb, mb_ref)) {
        answer = 0;
    } else if (claim_site(site)) {
        const u1* tmpl = ret1 + FIELD_TEMPLATE;
        char type = fb->signature[0];
        u4 address = (type == 'D' || type == 'J') ? fb->value : reinterpret_cast<u4>(&fb->value);
        write_store_rest(site, tmpl, type, address);
        put32(site + 2, address);
        finish_site(site, tmpl);
    }
    unlink(s);
    return answer;
}

u4 _orva_ResolveClassConstant_getfield(u4 index_word, u1* ret1, u1* site, const u4* mb_ref, u4 caller_ebp,
                                       u4 stub_frame)
{
    resolve_scope s;
    link(s, caller_ebp, stub_frame);
    auto* fb = reinterpret_cast<fieldblock*>(resolve(s, mb_ref, index_word & 0x3FFFFFFF, MASK_FIELD));
    u4 answer = 1;
    if (fb == nullptr) {
        answer = 0;
    } else if (fb->access & ACC_STATIC) {
        answer = reinterpret_cast<u4>(fb);
    } else if (claim_site(site)) {
        const u1* tmpl = ret1 + FIELD_TEMPLATE;
        if (index_word & LOAD_UNUSED) {
            finish_nop6(site);
        } else {
            u4 displacement = fb->value + OBJ_HEADER_SIZE;
            if (fb->signature[0] == 'J' && !(index_word & LOAD_LOW_ONLY)) {
                put32(site + 8, displacement + 4);
                memcpy(site + 6, tmpl + 6, 2);
            }
            put32(site + 2, displacement);
            finish_site(site, tmpl);
        }
    }
    unlink(s);
    return answer;
}

u4 _orva_ResolveClassConstant_putfield(u4 index, u1* ret1, u1* site, const u4* mb_ref, u4 caller_ebp,
                                       u4 stub_frame)
{
    resolve_scope s;
    link(s, caller_ebp, stub_frame);
    auto* fb = reinterpret_cast<fieldblock*>(resolve(s, mb_ref, index, MASK_FIELD));
    u4 answer = 1;
    if (fb == nullptr) {
        answer = 0;
    } else if (fb->access & ACC_STATIC) {
        answer = reinterpret_cast<u4>(fb);
    } else if (!final_store_allowed(s, fb, mb_ref)) {
        answer = 0;
    } else if (claim_site(site)) {
        const u1* tmpl = ret1 + FIELD_TEMPLATE;
        u4 displacement = fb->value + OBJ_HEADER_SIZE;
        write_store_rest(site, tmpl, fb->signature[0], displacement);
        put32(site + 2, displacement);
        finish_site(site, tmpl);
    }
    unlink(s);
    return answer;
}

u4 _orva_ResolveClassConstant_invokestatic(u4 index_word, u1* ret1, u1* site, const u4* mb_ref, u4 caller_ebp,
                                           u4 stub_frame)
{
    resolve_scope s;
    link(s, caller_ebp, stub_frame);
    auto* mb = reinterpret_cast<methodblock*>(resolve(s, mb_ref, index_word & 0x7FFFFFFF, MASK_METHOD));
    u4 answer = 1;
    bool is_static_site = index_word & INVOKE_STATIC;
    if (mb == nullptr || !ensure_initialised(s, mb->clazz)) {
        answer = 0;
    } else if (is_static_site != ((mb->access & ACC_STATIC) != 0)) {
        answer = reinterpret_cast<u4>(mb);
    } else {
        if (!is_static_site && vm.isSpecialSuperCall(class_of(mb_ref), mb) != 0) {
            classblock* super = class_of(mb_ref)->superclass;
            mb = super->methodtable->methods[mb->slot];
        }
        // Only the call's displacement changes: one 32-bit store.
        if (mb->access & ACC_COMPILED) {
            put32(site + 1, reinterpret_cast<u4>(mb->compiled_code) - reinterpret_cast<u4>(site) - 5);
        } else {
            put32(ret1 + 4, reinterpret_cast<u4>(mb));     // the out-of-line stub's push imm32
            put32(site + 1, reinterpret_cast<u4>(ret1 + 3) - reinterpret_cast<u4>(site) - 5);
        }
    }
    unlink(s);
    return answer;
}

u4 _orva_ResolveClassConstant_invoke(u4 index, u1* ret1, u1* site, const u4* mb_ref, u4 caller_ebp, u4 stub_frame)
{
    resolve_scope s;
    link(s, caller_ebp, stub_frame);
    auto* mb = reinterpret_cast<methodblock*>(resolve(s, mb_ref, index, MASK_METHOD));
    u4 answer = 1;
    if (mb == nullptr) {
        answer = 0;
    } else if (mb->access & ACC_STATIC) {
        answer = reinterpret_cast<u4>(mb);
    } else if (claim_site(site)) {
        const u1* tmpl = ret1 + CALL_TEMPLATE;
        if ((mb->access & (ACC_COMPILED | ACC_PRIVATE)) == (ACC_COMPILED | ACC_PRIVATE)) {
            // lea esp, [esp+0] then a direct call, which returns to site + 9:
            // the end of the method-table load and the indirect call it replaces.
            memcpy(site + 2, LEA_ESP4.b + 2, 2);
            site[4] = CALL_OPCODE;
            put32(site + 5, reinterpret_cast<u4>(mb->compiled_code) - reinterpret_cast<u4>(site) - 9);
            put16(site, get16(LEA_ESP4.b));
        } else if (orva_classJavaLangObject != nullptr && mb->clazz == *orva_classJavaLangObject) {
            fprintf(stderr, "----- Code Modification for INVOKEVIRTUALOBJECT %s/%s\n", mb->clazz->name, mb->name);
            exit(-1);
        } else {
            put32(site + 2, mb->slot * 4 + 4);
            finish_site(site, tmpl);
        }
    }
    unlink(s);
    return answer;
}

}  // extern "C"
