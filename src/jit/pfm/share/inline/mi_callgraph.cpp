// Call-graph resolution before compilation, and the invoke kinds.
//
// The inlining analysis only looks into callees whose constant-pool entries
// are resolved, and resolution may load classes, so the compile driver calls
// `resolve_method_call_graph` before it takes the global compile lock.  The
// walk scans the method and, depth first, the callees that could be inlined,
// and asks the VM to resolve every class, string, field and method reference
// it meets, each in the context of the method that holds it.  References the
// VM cannot resolve are recorded by name in the request's unresolved-reference
// record, where the front end and the prescan find their signatures.
//
// While a callee is scanned it is made to look like the running method: a
// frame marker for it is pushed on the thread's transition chain, with a
// committed-code record that covers the method block (the convention of the
// driver's own marker).  The driver's clean-up pops such markers should work
// memory run out in the middle of the walk.
#include <string.h>

#include "driver/driver.h"
#include "frontend/frontend.h"
#include "inline/inline.h"
#include "inline/mi_prescan.h"

namespace {

constexpr u4 MAX_WALK_FRAMES = 11;
constexpr u4 MIN_SCAN_PCS = 513;
constexpr u4 SHALLOW_DEPTH = 3;     // deeper callees must be tiny
constexpr u4 TINY_CALLEE_BYTES = 15;
constexpr u4 DEEPEST = 9;

// Bytecodes whose constant-pool entry is resolved here.
constexpr u1 BC_LDC = 18, BC_LDC_W = 19, BC_LDC2_W = 20, BC_GETSTATIC = 178, BC_PUTFIELD = 181;
constexpr u1 BC_NEW = 187, BC_ANEWARRAY = 189, BC_CHECKCAST = 192, BC_INSTANCEOF = 193, BC_MULTIANEWARRAY = 197;

struct callee_node {
    methodblock* mb;
    int refused;            // reached through a virtual or interface call
    callee_node* next;
};

struct walk_frame {
    methodblock* mb;
    u4 depth;
    int nested;
    callee_node* callees;   // still to visit
    frame_marker* marker;   // the pseudo frame pushed for the method
    u4* transition;         // its transition record
    rcc* record;            // its committed-code record
};

struct walk {
    EE* ee;
    method_unresolved_info* info;
    work_pool* pool;
    bool collect;           // NINLINING clear: callees are collected
    bool stopped;           // a ThreadDeath is pending: no more resolution
    u4 capacity;            // pcs the vectors hold
    u4* leaders;
    u4* live;
    u4* starts;
    u4* work;
    callee_node* visited;
    walk_frame frames[MAX_WALK_FRAMES];
};

bool is_interface(const methodblock* mb) { return mb->clazz != nullptr && (mb->clazz->access & ACC_INTERFACE); }
bool is_final_target(const methodblock* t)
{
    return (t->clazz->access & ACC_FINAL) || (t->access & (ACC_PRIVATE | ACC_FINAL));
}
bool is_object_method(const methodblock* t)
{
    return t->clazz == classJavaLangObject
           || (t->clazz->name != nullptr && strcmp(t->clazz->name, "java/lang/Object") == 0);
}

void grow_vectors(walk& w, u4 length)
{
    u4 n = length + 1 > MIN_SCAN_PCS ? length + 1 : MIN_SCAN_PCS;
    if (w.capacity >= n)
        return;
    u4 bytes = mi_pc_vector_bytes(n);
    w.leaders = static_cast<u4*>(jit_wmem_alloc(w.pool, bytes));
    w.live = static_cast<u4*>(jit_wmem_alloc(w.pool, bytes));
    w.starts = static_cast<u4*>(jit_wmem_alloc(w.pool, bytes));
    w.work = static_cast<u4*>(jit_wmem_alloc(w.pool, 4 * n));
    w.capacity = n;
}

bool visited(const walk& w, const methodblock* mb)
{
    for (const callee_node* n = w.visited; n != nullptr; n = n->next)
        if (n->mb == mb)
            return true;
    return false;
}

// The pending exception's class name, or null.
const char* pending_class_name(EE* ee)
{
    if (ee->exception_kind == 0 || ee->exception == 0)
        return nullptr;
    const auto* object = reinterpret_cast<const JHandle*>(ee->exception);
    const auto* table = reinterpret_cast<const method_table*>(object->word0);
    return table != nullptr && table->classdescriptor != nullptr ? table->classdescriptor->name : nullptr;
}

// Asks the VM to resolve one entry; a resolution error is swallowed, except a
// ThreadDeath, which stays pending and stops further resolution.
void resolve_entry(walk& w, classblock* cb, u4 index, u1 tag)
{
    if (w.stopped || vm.ResolveClassConstantFromClass2 == nullptr)
        return;
    if (w.ee->exception_kind != 0) {
        w.stopped = true;
        return;
    }
    vm.ResolveClassConstantFromClass2(cb, static_cast<int>(index), w.ee, 1u << tag, 0);
    if (w.ee->exception_kind == 0)
        return;
    const char* name = pending_class_name(w.ee);
    if (name != nullptr && strcmp(name, "java/lang/ThreadDeath") == 0) {
        w.stopped = true;
        return;
    }
    w.ee->exception_kind = 0;
    w.ee->exception = 0;
}

// The target of an invoke instruction as far as the pool says.
methodblock* invoke_target(const methodblock* mb, u1 op, const u1* code, u4 pc, const u1* ins, int* resolved)
{
    u4* cp = mb->clazz->constantpool;
    const u1* tags = reinterpret_cast<const u1*>(cp[0]);
    u4 count = mb->clazz->constantpool_count;
    *resolved = 1;
    if (op == BC_INVOKESUPER_QUICK_) {
        classblock* super = mb->clazz->superclass;
        u4 slot = mi_be16u(code + pc + 1);
        if (super != nullptr && super->methodtable != nullptr && slot < super->methodtable_size)
            return super->methodtable->methods[slot];
        *resolved = 0;
        return nullptr;
    }
    u4 index = (op == BC_INVOKEVIRTUAL_QUICK_ || op == BC_INVOKEVIRTUALOBJECT_QUICK_) ? ins[2] : mi_be16u(code + pc + 1);
    if (index == 0 || index >= count || !(tags[index] & CONSTANT_RESOLVED)) {
        *resolved = 0;
        return nullptr;
    }
    return reinterpret_cast<methodblock*>(cp[index]);
}

void collect_callee(walk& w, walk_frame& f, u1 op, methodblock* target, int resolved)
{
    u4 slot = target != nullptr ? target->slot : 0;
    int kind = resolve_a_method(op, &resolved, f.mb, &target, &slot);
    if (target == nullptr || target == f.mb)
        return;
    u4 depth = f.depth + 1;
    if (depth > SHALLOW_DEPTH && (target->code_length > TINY_CALLEE_BYTES || depth > DEEPEST))
        return;
    int refused = 0;
    if (!is_inlinable_method_invocation(f.mb, &target, kind, f.nested, &refused, w.pool) || target == nullptr)
        return;
    if (visited(w, target))
        return;
    auto* node = static_cast<callee_node*>(jit_wmem_alloc(w.pool, sizeof(callee_node)));
    node->mb = target;
    node->refused = refused;
    node->next = f.callees;
    f.callees = node;
}

// Scans one method; a malformed one is marked rejected and its scan ends.
void scan_method(walk& w, walk_frame& f)
{
    methodblock* mb = f.mb;
    classblock* cb = mb->clazz;
    if (cb == nullptr || cb->constantpool == nullptr || mb->code == nullptr || mb->code_length == 0)
        return;
    u4 length = mb->code_length;
    grow_vectors(w, length);
    u4 bytes = mi_pc_vector_bytes(length);
    memset(w.leaders, 0, bytes);
    memset(w.live, 0, bytes);
    memset(w.starts, 0, bytes);
    if (mi_flow_scan(w.ee, mb, w.leaders, w.live, w.starts, w.work) != 0) {
        mb->jit_flags |= MBJ_PRESCAN_REJECTED;
        return;
    }
    u4* cp = cb->constantpool;
    const u1* tags = reinterpret_cast<const u1*>(cp[0]);
    u4 count = cb->constantpool_count;
    const u1* code = mb->code;
    for (u4 pc = 0; pc < length;) {
        if (mi_bit(w.leaders, pc) && !mi_bit(w.live, pc)) {
            while (pc < length && !mi_bit(w.live, pc))
                pc++;
            continue;
        }
        u1 ins[4];
        u1 op = mi_read_instruction(w.ee, code, length, pc, ins);
        u4 len = mi_instruction_length(code, length, pc);
        if (len == 0)
            return;
        u4 index = 0;
        u1 want = 0;
        if (op == BC_LDC || op == BC_LDC_W || op == BC_LDC2_W) {
            index = op == BC_LDC ? ins[1] : mi_be16u(code + pc + 1);
            want = op == BC_LDC2_W ? CONSTANT_Long : CONSTANT_String;
        } else if (op == BC_NEW || op == BC_ANEWARRAY || op == BC_CHECKCAST || op == BC_INSTANCEOF
                   || op == BC_MULTIANEWARRAY) {
            index = mi_be16u(code + pc + 1);
            want = CONSTANT_Class;
        } else if (op >= BC_GETSTATIC && op <= BC_PUTFIELD) {
            index = mi_be16u(code + pc + 1);
            want = CONSTANT_Fieldref;
        } else if (op >= BC_INVOKEVIRTUAL_ && op <= BC_INVOKEINTERFACE_) {
            index = mi_be16u(code + pc + 1);
            want = op == BC_INVOKEINTERFACE_ ? CONSTANT_InterfaceMethodref : CONSTANT_Methodref;
        }
        if (want != 0) {
            if (index == 0 || index >= count) {
                mb->jit_flags |= MBJ_PRESCAN_REJECTED;
                return;
            }
            u1 tag = tags[index] & CONSTANT_TAG_MASK;
            bool fits = tag == want || (want == CONSTANT_String && (tag == CONSTANT_Integer || tag == CONSTANT_Float))
                        || (want == CONSTANT_Long && tag == CONSTANT_Double);
            if (!fits) {
                mb->jit_flags |= MBJ_PRESCAN_REJECTED;
                return;
            }
            bool needs = want != CONSTANT_Long && tag != CONSTANT_Integer && tag != CONSTANT_Float;
            if (needs && !(tags[index] & CONSTANT_RESOLVED)) {
                resolve_entry(w, cb, index, tag);
                if (!(tags[index] & CONSTANT_RESOLVED) && w.info != nullptr) {
                    const char *cls, *name, *sig;
                    if (tag == CONSTANT_Fieldref)
                        register_unresolved_field_signature_information(cb, w.ee, index, w.info, &cls, &name, &sig);
                    else if (tag == CONSTANT_Methodref || tag == CONSTANT_InterfaceMethodref)
                        register_unresolved_method_signature_information(cb, w.ee, index, w.info, &cls, &name, &sig);
                }
            }
        }
        bool invoke = (op >= BC_INVOKEVIRTUAL_ && op <= BC_INVOKEINTERFACE_)
                      || (op >= BC_INVOKEVIRTUAL_QUICK_ && op <= BC_INVOKEVIRTUALOBJECT_QUICK_)
                      || op == BC_INVOKEVIRTUAL_QUICK_W_;
        if (invoke && w.collect) {
            int resolved = 0;
            methodblock* target = invoke_target(mb, op, code, pc, ins, &resolved);
            collect_callee(w, f, op, target, resolved);
        }
        pc += len;
    }
}

// The callee looks like the running method while it is scanned.
void push_pseudo_frame(walk& w, walk_frame& f)
{
    f.record = static_cast<rcc*>(jit_wmem_alloc(w.pool, sizeof_rcc > 0 ? static_cast<u4>(sizeof_rcc) : RCC_SIZE));
    memset(f.record, 0, sizeof(rcc));
    u1* range = reinterpret_cast<u1*>(f.mb);
    register_committed_code0(f.record, f.mb, range, range, nullptr, nullptr);
    f.marker = static_cast<frame_marker*>(jit_wmem_alloc(w.pool, sizeof(frame_marker)));
    f.transition = static_cast<u4*>(jit_wmem_alloc(w.pool, 16));
    u4 prev_head = w.ee->transition;
    const u4* prev = reinterpret_cast<const u4*>(prev_head & ~TR_TAG_MASK);
    f.marker->mb = f.mb;
    f.marker->flags[0] = f.marker->flags[1] = FRAME_MARKER_FLAG;
    f.marker->pad = 0;
    f.marker->last_word = &f.marker->distance;
    f.marker->zero = 0;
    f.marker->distance = prev != nullptr ? ((prev[1] & ~1u) - 4 - reinterpret_cast<u4>(f.marker)) / 4 : 0;
    f.transition[0] = prev_head;
    f.transition[1] = reinterpret_cast<u4>(f.marker) | 1u;
    f.transition[2] = 0;
    f.transition[3] = prev != nullptr ? prev[3] : 0;
    w.ee->transition = reinterpret_cast<u4>(f.transition);
}

void pop_pseudo_frame(walk& w, walk_frame& f)
{
    if (f.transition != nullptr)
        w.ee->transition = f.transition[0];
    if (f.record != nullptr) {
        rcc* records[1] = {f.record};
        deregister_committed_code(records, 1);
    }
    f.transition = nullptr;
    f.record = nullptr;
}

} // namespace

methodblock* JIT_quickSelectionSuperMethod(methodblock* caller, methodblock* target)
{
    if (caller == nullptr || target == nullptr || vm.isSpecialSuperCall == nullptr)
        return target;
    if (!vm.isSpecialSuperCall(caller->clazz, target))
        return target;
    classblock* super = caller->clazz->superclass;
    if (super == nullptr || super->methodtable == nullptr || target->slot >= super->methodtable_size)
        return target;
    return super->methodtable->methods[target->slot];
}

int resolve_a_method(u1 op, int* resolved, methodblock* caller, methodblock** target, u4* slot)
{
    methodblock* t = *target;
    auto drop = [&] {
        *target = t = nullptr;
        *resolved = 0;
    };
    switch (op) {
    case BC_INVOKEVIRTUAL_:
        if (t != nullptr && ((t->access & ACC_STATIC) || is_interface(t)))
            drop();
        if (t == nullptr)
            return MI_KIND_VIRTUAL;
        if (is_final_target(t))
            return MI_KIND_NONVIRTUAL;
        return is_object_method(t) ? MI_KIND_OBJECT : MI_KIND_VIRTUAL;
    case BC_INVOKESPECIAL_: {
        if (t == nullptr)
            return MI_KIND_SPECIAL;
        int kind = MI_KIND_NONVIRTUAL;
        methodblock* selected = JIT_quickSelectionSuperMethod(caller, t);
        if (selected != t) {
            kind = MI_KIND_SUPER;
            if (slot != nullptr)
                *slot = t->slot;
            *target = t = selected;
        }
        if (t == nullptr || (t->access & (ACC_STATIC | ACC_ABSTRACT)) || is_interface(t)) {
            drop();
            return MI_KIND_SPECIAL;
        }
        return kind;
    }
    case BC_INVOKESTATIC_:
        if (t != nullptr && (!(t->access & ACC_STATIC) || (t->access & ACC_ABSTRACT) || is_interface(t)))
            drop();
        return MI_KIND_STATIC;
    case BC_INVOKEINTERFACE_:
        if (t != nullptr && !is_interface(t))
            drop();
        return *resolved ? MI_KIND_INTERFACE_RESOLVED : MI_KIND_INTERFACE;
    case BC_INVOKEVIRTUAL_QUICK_:
    case BC_INVOKEVIRTUAL_QUICK_W_:
        if (t != nullptr && is_final_target(t))
            return MI_KIND_NONVIRTUAL;
        if (t != nullptr && is_object_method(t))
            return MI_KIND_OBJECT;
        return MI_KIND_VIRTUAL_QUICK;
    case BC_INVOKENONVIRTUAL_QUICK_:
        return MI_KIND_NONVIRTUAL;
    case BC_INVOKESUPER_QUICK_:
        return MI_KIND_SUPER;
    case BC_INVOKESTATIC_QUICK_:
        return MI_KIND_STATIC_QUICK;
    case BC_INVOKEINTERFACE_QUICK_:
        return MI_KIND_INTERFACE_RESOLVED;
    case BC_INVOKEVIRTUALOBJECT_QUICK_:
        return MI_KIND_OBJECT;
    default:
        return MI_KIND_NONE;
    }
}

void resolve_method_call_graph(methodblock* mb, method_unresolved_info* info, EE* ee)
{
    if (mb == nullptr || ee == nullptr || mb->code == nullptr || mb->code_length == 0)
        return;
    work_pool* pool = jit_wmem_init(0);
    if (pool == nullptr)
        return;
    walk* w = static_cast<walk*>(jit_wmem_alloc(pool, sizeof(walk)));
    memset(w, 0, sizeof *w);
    w->ee = ee;
    w->info = info;
    w->pool = pool;
    w->collect = !(compile_option_flag & OPT1_NINLINING);
    auto* root = static_cast<callee_node*>(jit_wmem_alloc(pool, sizeof(callee_node)));
    root->mb = mb;
    root->refused = 0;
    root->next = nullptr;
    w->visited = root;

    u4 sp = 1;
    w->frames[0].mb = mb;
    scan_method(*w, w->frames[0]);
    while (sp > 0) {
        walk_frame& top = w->frames[sp - 1];
        callee_node* next = top.callees;
        if (next == nullptr) {
            pop_pseudo_frame(*w, top);
            sp--;
            continue;
        }
        top.callees = next->next;
        if (visited(*w, next->mb) || sp >= MAX_WALK_FRAMES)
            continue;
        next->next = w->visited;
        w->visited = next;
        walk_frame& f = w->frames[sp++];
        memset(&f, 0, sizeof f);
        f.mb = next->mb;
        f.depth = top.depth + 1;
        f.nested = top.nested || next->refused;
        push_pseudo_frame(*w, f);
        scan_method(*w, f);
    }
    jit_wmem_free(pool);
}
