// Allocation, cast and monitor routines: the C routines that do, for
// compiled code, the work that needs the VM (objects and arrays, class
// resolution for allocation, static initializers, casts and instance tests).
// Reached through stubs or directly through the run-time routine table.
//
// Each call into the VM that may walk the stack, run Java code or raise is
// bracketed by a transition record {previous head, stub frame | 1, -, the
// caller's ebp}: the frames above the stub frame are compiled frames whose
// frame base is that ebp.  A routine called directly from compiled code
// passes 0 as the stub frame; its own return-address slot (which holds the
// return address into compiled code) then serves.
//
// Failure: 0 with a Java exception pending in the EE; the caller raises it
// (THROW_EXCEPTION_THROWN).  The record is unlinked on every path.
#include "driver/driver.h"
#include "lib/rt_support.h"

namespace {

constexpr int NAME_LENGTH = 256;
constexpr u1 CP_RESOLVED = 0x80;

EE* current_ee()
{
    return _orva_getee();
}

void link_record(EE* ee, transition_record* r, u4 caller_ebp, u4 stub_frame)
{
    r->prev = ee->transition;
    r->frame = stub_frame | 1;
    r->caller_ebp = caller_ebp;
    ee->transition = reinterpret_cast<u4>(r);
}

void unlink_record(EE* ee, transition_record* r)
{
    ee->transition = r->prev & ~TR_TAG_MASK;
}

// The slot holding the return address of the routine that calls this one.
#define OWN_FRAME(stub_frame) \
    ((stub_frame) != 0 ? (stub_frame) : reinterpret_cast<u4>(__builtin_frame_address(0)) + 4)

void signal_named(EE* ee, const char* exception, const char* class_name)
{
    char printable[NAME_LENGTH];
    vm.classname2string(class_name, printable, NAME_LENGTH);
    vm.SignalError(ee, exception, printable);
}

bool resolved(const u4* cp, int index)
{
    const u1* tags = reinterpret_cast<const u1*>(cp[0]);
    return (tags[index] & CP_RESOLVED) != 0;
}

u4 new_object_array(EE* ee, classblock* element, s4 length)
{
    if (length < 0) {
        vm.SignalError(ee, "java/lang/NegativeArraySizeException", nullptr);
        return 0;
    }
    u4 array = vm.AllocArray(ee, T_REFERENCE, length);
    if (array == 0) {
        vm.SignalError(ee, "java/lang/OutOfMemoryError", nullptr);
        return 0;
    }
    // The element class lives in the word after the last element.
    reinterpret_cast<u4*>(array)[2 + length] = reinterpret_cast<u4>(element);
    return array;
}

}  // namespace

extern "C" {

__attribute__((force_align_arg_pointer, noinline)) u4 _orva_ObjAlloc(classblock* cb, u4 caller_ebp, u4 stub_frame)
{
    EE* ee = current_ee();
    transition_record r;
    link_record(ee, &r, caller_ebp, OWN_FRAME(stub_frame));
    u4 object = vm.AllocObject(ee, cb);
    if (object == 0)
        signal_named(ee, "java/lang/OutOfMemoryError", cb->name);
    unlink_record(ee, &r);
    return object;
}

__attribute__((force_align_arg_pointer, noinline)) u4
_orva_ExecuteStaticInitializers(classblock* cb, u4 caller_ebp, u4 stub_frame)
{
    EE* ee = current_ee();
    transition_record r;
    link_record(ee, &r, caller_ebp, OWN_FRAME(stub_frame));
    vm.ExecuteStaticInitializers(cb);
    unlink_record(ee, &r);
    return ee->exception_kind == 0 ? 1 : 0;
}

__attribute__((force_align_arg_pointer, noinline)) u4
_jit_checkcast(u4 object, classblock* cb, u4 caller_ebp, u4 stub_frame)
{
    if (object == 0)
        return 1;
    EE* ee = current_ee();
    int r = vm.is_instance_of(object, cb, ee);
    if (r == 0) {
        transition_record rec;
        link_record(ee, &rec, caller_ebp, OWN_FRAME(stub_frame));
        const JHandle* h = reinterpret_cast<const JHandle*>(object);
        classblock* cls = (h->lockword & LOCK_HDR_ARRAY)
                              ? orva_class(orva_classJavaLangObject)
                              : reinterpret_cast<const method_table*>(h->word0)->classdescriptor;
        signal_named(ee, "java/lang/ClassCastException", cls->name);
        unlink_record(ee, &rec);
    }
    return static_cast<u4>(r);
}

__attribute__((force_align_arg_pointer)) u4 _orva_is_instance_of(u4 object, classblock* cb)
{
    if (object == 0)
        return 0;
    return vm.is_instance_of(object, cb, current_ee()) != 0 ? 1 : 0;
}

__attribute__((force_align_arg_pointer, noinline)) u4
_jit_New(int index, classblock** accessing, u4* cp, u4 caller_ebp, u4 stub_frame)
{
    EE* ee = current_ee();
    u4 frame = OWN_FRAME(stub_frame);
    transition_record r;
    link_record(ee, &r, caller_ebp, frame);
    u4 result = 0;
    classblock* cb = resolved(cp, index) ? reinterpret_cast<classblock*>(cp[index]) : nullptr;
    if (cb == nullptr || !(cb->state & CS_LINKED))
        vm.ResolveClassConstant2(cp, index, ee, 1u << CONSTANT_Class, 1);
    if (ee->exception_kind == 0) {
        cb = reinterpret_cast<classblock*>(cp[index]);
        if (cb->access & (ACC_INTERFACE | ACC_ABSTRACT))
            vm.SignalError(ee, "java/lang/InstantiationError", cb->name);
        else if (!vm.VerifyClassAccess(*accessing, cb, 1))
            vm.SignalError(ee, "java/lang/IllegalAccessError", cb->name);
        else if (!(cb->state & CS_INITIALIZED))
            vm.ExecuteStaticInitializers(cb);
        if (ee->exception_kind == 0)
            result = _orva_ObjAlloc(cb, caller_ebp, frame);
    }
    unlink_record(ee, &r);
    return result;
}

__attribute__((force_align_arg_pointer, noinline)) u4
_jit_newarray(int type, s4 length, u4 caller_ebp, u4 stub_frame)
{
    EE* ee = current_ee();
    transition_record r;
    link_record(ee, &r, caller_ebp, OWN_FRAME(stub_frame));
    u4 array = 0;
    if (length < 0) {
        vm.SignalError(ee, "java/lang/NegativeArraySizeException", nullptr);
    } else {
        array = vm.AllocArray(ee, type, length);
        if (array == 0)
            vm.SignalError(ee, "java/lang/OutOfMemoryError", nullptr);
    }
    unlink_record(ee, &r);
    return array;
}

__attribute__((force_align_arg_pointer, noinline)) u4
_jit_anewarray_quick(int index, s4 length, u4* cp, u4 caller_ebp, u4 stub_frame)
{
    EE* ee = current_ee();
    transition_record r;
    link_record(ee, &r, caller_ebp, OWN_FRAME(stub_frame));
    u4 array = new_object_array(ee, reinterpret_cast<classblock*>(cp[index]), length);
    unlink_record(ee, &r);
    return array;
}

__attribute__((force_align_arg_pointer, noinline)) u4
_jit_anewarray(int index, s4 length, u4* cp, u4 caller_ebp, u4 stub_frame)
{
    EE* ee = current_ee();
    u4 frame = OWN_FRAME(stub_frame);
    if (!resolved(cp, index)) {
        transition_record r;
        link_record(ee, &r, caller_ebp, frame);
        vm.ResolveClassConstant2(cp, index, ee, 1u << CONSTANT_Class, 0);
        unlink_record(ee, &r);
        if (ee->exception_kind != 0)
            return 0;
    }
    return _jit_anewarray_quick(index, length, cp, caller_ebp, frame);
}

__attribute__((force_align_arg_pointer, noinline)) u4
_jit_multianewarray_quick(int index, int dims, u4* cp, s4* dim_words, u4 caller_ebp, u4 stub_frame)
{
    EE* ee = current_ee();
    transition_record r;
    link_record(ee, &r, caller_ebp, OWN_FRAME(stub_frame));
    u4 array = 0;
    bool negative = false;
    for (int i = dims - 1; i >= 0 && !negative; i--)
        negative = dim_words[i] < 0;
    if (negative) {
        vm.SignalError(ee, "java/lang/NegativeArraySizeException", nullptr);
    } else {
        array = vm.MultiArrayAlloc(dims, reinterpret_cast<classblock*>(cp[index]), &dim_words[dims - 1]);
        if (array == 0 && ee->exception_kind == 0)
            vm.SignalError(ee, "java/lang/OutOfMemoryError", nullptr);
    }
    unlink_record(ee, &r);
    return array;
}

__attribute__((force_align_arg_pointer, noinline)) u4
_jit_multianewarray(int index, int dims, u4* cp, s4* dim_words, u4 caller_ebp, u4 stub_frame)
{
    EE* ee = current_ee();
    u4 frame = OWN_FRAME(stub_frame);
    if (!resolved(cp, index)) {
        transition_record r;
        link_record(ee, &r, caller_ebp, frame);
        vm.ResolveClassConstant2(cp, index, ee, 1u << CONSTANT_Class, 0);
        unlink_record(ee, &r);
        if (ee->exception_kind != 0)
            return 0;
    }
    return _jit_multianewarray_quick(index, dims, cp, dim_words, caller_ebp, frame);
}

}  // extern "C"
