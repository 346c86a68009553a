// Exception filters: for one registration record, decide whether an event
// is a repairable fault, whether it belongs to compiled code, which Java
// exception class it stands for, whether this frame catches it, and, when it
// does, rewrite the register context so that the raiser resumes in the catch
// code (compiled frames), at the interpreter's restart routine (interpreter
// activations) or at the frame-less landing.  On the way the monitors of
// abandoned synchronized frames are released and, when the catch code wants
// it, the exception object is made with its detail message.
//
// Results: XF_HANDLED (context rewritten), XF_NOT_CAUGHT (go on with the next
// registration), XF_NOT_OURS (not an event of compiled code).
//
// Faults mended here:
// - An exception object is made only when none is pending: a frame-less
//   registration "always" makes one, which would replace a thrown object.
// - `athrow` of null leaves kind 1 with no object: it is a NullPointerException.
// - A memory fault converted into an array-index exception keeps the index in
//   the context's Edx, where the operands of ARRAY_OUTOFBOUNDS are read, so a
//   later filter that makes the object reports the index register's value.
// - The codes whose exception the VM made pending, arriving with none
//   pending, stand for java/lang/UnknownError.
// - The ILLEGAL_ACCESS message names the method in full.
// - A memory or arithmetic fault is ours only when it lies in committed
//   compiled code (it was also accepted anywhere in the interpreter's range).
#include <stdio.h>
#include <string.h>

#include "driver/driver.h"
#include "lib/rt_support.h"

namespace {

u4 word_at(u4 address) { return *reinterpret_cast<const u4*>(address); }

constexpr int MESSAGE_LENGTH = 256;

bool in_interpreter(u4 address)
{
    return address >= orva_mmipIARLow && address < orva_mmipIARHigh;
}

bool in_compiled_code(u4 address)
{
    if (search_cached_cc0 != nullptr)
        return search_cached_cc0(address) != nullptr;
    return search_committed_code(address) != nullptr;
}

// Register number (ModRM/SIB numbering) to its value in the context.
u4 context_register(const exception_context* context, u4 number)
{
    switch (number & 7) {
    case 0: return context->eax;
    case 1: return context->ecx;
    case 2: return context->edx;
    case 3: return context->ebx;
    case 4: return context->esp;
    case 5: return context->ebp;
    case 6: return context->esi;
    default: return context->edi;
    }
}

u4 java_control_word()
{
    return *reinterpret_cast<const u4*>(_GET_FCONTROL_WORD_BASE());
}

// The class of an object; arrays (header byte bits 3-7) count as Object.
classblock* class_of_object(u4 object)
{
    const JHandle* h = reinterpret_cast<const JHandle*>(object);
    if (h->lockword & 0xF8)
        return classJavaLangObject != nullptr ? classJavaLangObject : orva_class(orva_classJavaLangObject);
    return reinterpret_cast<const method_table*>(h->word0)->classdescriptor;
}

// Determines the class of the event once per walk (search state word 0).
classblock* exception_class(EE* ee, exception_record* record, exception_context* context,
                            search_state* state, u4* op1, u4* op2, bool compiled_filter)
{
    if (state->thrown != nullptr)
        return state->thrown;
    bool pending = compiled_filter ? ee->exception_kind != 0 && ee->exception != 0
                                   : ee->exception_kind != 0;
    classblock* cls = nullptr;
    if (pending && ee->exception != 0) {
        cls = class_of_object(ee->exception);
    } else {
        if (pending && record->code == SWX_THROWN)
            record->code = SWX_NULL_POINTER;        // athrow of null
        fault_to_array_bounds_exception(ee, record, context, op1, op2);
        const char* name = rt_exception_class_name(record->code);
        cls = rt_GetThrowableClass(ee, name);
        if (cls == nullptr && ee->exception != 0)
            cls = class_of_object(ee->exception);   // the VM's own failure object
        ee->exception_kind = 0;
    }
    state->thrown = cls;
    return cls;
}

bool jvmpi_exit_events()
{
    const jvmpi_info* j = orva_jvmpi_info;
    if (j == nullptr)
        return false;
    return (j->words[1] & 0x41) == 0x41 || (j->words[0] != 0 && (j->words[0] & 0x8));
}

typedef void (*fi_init_fn)(EE*, frame_iterator*);
typedef void (*fi_step_fn)(frame_iterator*);
typedef int (*fi_more_fn)(frame_iterator*);
typedef methodblock* (*fi_method_fn)(frame_iterator*);
typedef u4 (*fi_address_fn)(frame_iterator*);

// Posts method-exit events for the frames unwound up to `bound`, through
// the VM's frame interface.  `check_first`: the bound is tested before the
// frame is posted (interpreter registrations) instead of after the step.
void post_method_exits(EE* ee, u4 bound, bool check_first)
{
    if (vm.FrameIntf == nullptr || vm.jvmpi_method_exit == nullptr)
        return;
    u4* fi = vm.FrameIntf;
    auto init = reinterpret_cast<fi_init_fn>(fi[FI_INIT]);
    auto prev = reinterpret_cast<fi_step_fn>(fi[FI_PREV]);
    auto more = reinterpret_cast<fi_more_fn>(fi[FI_MORE]);
    auto method = reinterpret_cast<fi_method_fn>(fi[FI_METHOD]);
    auto address = reinterpret_cast<fi_address_fn>(fi[FI_FRAME_ADDRESS]);
    frame_iterator it;
    init(ee, &it);
    methodblock* top = method(&it);
    if (top != nullptr && (top->access & ACC_NATIVE) && more(&it))
        prev(&it);
    while (more(&it)) {
        if (check_first && address(&it) >= bound)
            break;
        methodblock* mb = method(&it);
        bool inlined = it.kind == FIK_INLINED;
        if (check_first && mb != nullptr && !inlined)
            vm.jvmpi_method_exit(ee, mb);
        prev(&it);
        if (!check_first) {
            if (address(&it) >= bound)
                break;
            if (mb != nullptr && !inlined)
                vm.jvmpi_method_exit(ee, mb);
        }
    }
}

void release_monitor_list(u4 registration, EE* ee, int synchronized_flag)
{
    u4* head = reinterpret_cast<u4*>(registration + REG_MONITORS);
    if (*head != 0)
        _orva_ReleaseMonitors(head, ee, synchronized_flag);
}

void append(char* buffer, const char* text)
{
    size_t used = strlen(buffer);
    vm.jio_snprintf(buffer + used, MESSAGE_LENGTH - used, "%s", text);
}

void append_class_name(char* buffer, const char* name)
{
    size_t used = strlen(buffer);
    vm.classname2string(name, buffer + used, static_cast<int>(MESSAGE_LENGTH - used));
}

void incompatible_class_change_message(u4 op1, u4 op2, char* buffer)
{
    const char* did = (op1 & 1) ? "" : " did not";
    size_t used;
    if (!(op1 & 2)) {
        const fieldblock* fb = reinterpret_cast<const fieldblock*>(op2);
        append_class_name(buffer, fb->clazz->name);
        used = strlen(buffer);
        vm.jio_snprintf(buffer + used, MESSAGE_LENGTH - used, ": field %s%s used to be static",
                          fb->name, did);
    } else if (!(op2 & 1)) {
        const methodblock* mb = reinterpret_cast<const methodblock*>(op2);
        append_class_name(buffer, mb->clazz->name);
        used = strlen(buffer);
        vm.jio_snprintf(buffer + used, MESSAGE_LENGTH - used, ": method %s%s%s used to be static",
                          mb->name, mb->signature, did);
    } else {
        append(buffer, "class ");
        append_class_name(buffer, reinterpret_cast<const classblock*>(op2 & ~1u)->name);
        append(buffer, " does not implement interface ");
        append_class_name(buffer, reinterpret_cast<const classblock*>(op1 & ~3u)->name);
    }
}

// Rewrites the context to resume at a catch block of the compiled frame P.
void resume_in_compiled(EE* ee, u4 registration, exception_context* context, rcc* code, u4 catch_pc)
{
    ee->exception_kind = 0;
    fi_set_mode(ee, EE_MODE_COMPILED);
    context->control_word = java_control_word();
    context->eip = catch_pc;
    context->esp = registration + CREG_BOUND - get_frame_size(code, catch_pc);
    context->eax = ee->exception;
}

}  // namespace

extern "C" {

int CheckNonContinueable(exception_record* record)
{
    return record->flags != 0 ? 1 : 0;
}

int check_exception_origin(u4 code, u4 address)
{
    if (code == FAULT_STACK_OVERFLOW)
        return 1;
    // Only a fault in committed compiled code stands for a Java exception; one
    // in the VM's own code (the interpreter checks explicitly, natives never
    // fault on purpose) is a VM error and must not become a
    // NullPointerException.
    if (code == FAULT_ARITHMETIC || code == FAULT_MEMORY)
        return in_compiled_code(address) ? 1 : 0;
    if (code >= SWX_FIRST && code <= SWX_LAST)
        return 1;
    return 2;
}

int recover_continuable_fault(exception_record* record, exception_context* context)
{
    u4 at = record->address;
    if (record->code == FAULT_ARITHMETIC && context->eax == 0x80000000u && context->edx == 0xFFFFFFFFu) {
        if (!in_interpreter(at) && !in_compiled_code(at))
            return 0;
        u1 modrm = reinterpret_cast<const u1*>(at)[1];
        // idiv by ecx, ebx, ebp, esi or edi: quotient overflow of MIN / -1.
        if (modrm != 0xF9 && modrm != 0xFB && modrm != 0xFD && modrm != 0xFE && modrm != 0xFF)
            return 0;
        if (context_register(context, modrm & 7) != 0xFFFFFFFFu)
            return 0;
        context->edx = 0;
        context->eip = at + 2;
        return 1;
    }
    if (record->code == FAULT_CONTINUABLE && (in_interpreter(at) || in_compiled_code(at))) {
        context->edx = 0;
        return 1;
    }
    return 0;
}

void get_exception_operands(u4 code, exception_context* context, u4* op1, u4* op2)
{
    switch (code) {
    case SWX_ABSTRACTMETHOD:
    case SWX_LINKERROR:
    case SWX_ILLEGAL_ACCESS:
        *op1 = context->ecx;
        break;
    case SWX_ARRAY_OUTOFBOUNDS:
        *op1 = context->edx;
        break;
    case SWX_INCOMPATIBLE_CLASS_CHANGE:
        *op1 = context->ecx;
        *op2 = context->edx;
        break;
    default:
        break;
    }
}

void fault_to_array_bounds_exception(EE* ee, exception_record* record, exception_context* context,
                                     u4* op1, u4* op2)
{
    u4 code = record->code;
    if (ee->mode != EE_MODE_INTERPRETER) {
        if (code != FAULT_MEMORY)
            return;
        const u1* insn = reinterpret_cast<const u1*>(record->address);
        // mov r32, [base + index*scale + disp8]
        if (insn[0] != 0x8B || (insn[1] & 0xC7) != 0x44)
            return;
        u1 sib = insn[2];
        u4 base = sib & 7;
        if (base != 4 && context_register(context, base) == 0)
            return;                     // a null base stays a null pointer
        record->code = SWX_ARRAY_OUTOFBOUNDS;
        u4 index = (sib >> 3) & 7;
        if (index != 4)
            *op1 = context_register(context, index);
        context->edx = *op1;
        return;
    }
    if (code != FAULT_STACK_OVERFLOW && code != FAULT_ARITHMETIC && code != FAULT_MEMORY)
        return;
    u4 head = ee->transition & ~TR_TAG_MASK;
    if (head != 0) {
        u4 frame = reinterpret_cast<const transition_record*>(head)->frame & ~1u;
        *reinterpret_cast<u4*>(frame + 8) = context->esi;
    }
}

const char* rt_exception_class_name(u4 code)
{
    switch (code) {
    case FAULT_STACK_OVERFLOW: return "java/lang/StackOverflowError";
    case FAULT_ARITHMETIC: return "java/lang/ArithmeticException";
    case FAULT_MEMORY: return "java/lang/NullPointerException";
    case SWX_ABSTRACTMETHOD: return "java/lang/AbstractMethodError";
    case SWX_ARRAY_OUTOFBOUNDS: return "java/lang/ArrayIndexOutOfBoundsException";
    case SWX_ARRAYSTORE: return "java/lang/ArrayStoreException";
    case SWX_INCOMPATIBLE_CLASS_CHANGE: return "java/lang/IncompatibleClassChangeError";
    case SWX_LINKERROR: return "java/lang/UnsatisfiedLinkError";
    case SWX_NULL_POINTER: return "java/lang/NullPointerException";
    case SWX_THROWN: return "java/lang/NullPointerException";     // nothing pending
    case SWX_DIV0: return "java/lang/ArithmeticException";
    case SWX_NEGATIVE_ARRAYSIZE: return "java/lang/NegativeArraySizeException";
    case SWX_OUT_OF_MEMORY: return "java/lang/OutOfMemoryError";
    case SWX_ILLEGAL_ACCESS: return "java/lang/IllegalAccessError";
    default: return "java/lang/UnknownError";
    }
}

void make_exception_message(EE* ee, u4 code, u4 op1, u4 op2, char* buffer, int length)
{
    buffer[0] = '\0';
    switch (code) {
    case FAULT_ARITHMETIC:
    case SWX_DIV0:
        vm.jio_snprintf(buffer, length, "/ by zero");
        break;
    case SWX_ABSTRACTMETHOD:
    case SWX_LINKERROR:
        if (op1 != 0)
            vm.jio_snprintf(buffer, length, "%s", reinterpret_cast<const methodblock*>(op1)->name);
        break;
    case SWX_ARRAY_OUTOFBOUNDS:
        vm.jio_snprintf(buffer, length, "%d", static_cast<s4>(op1));
        break;
    case SWX_INCOMPATIBLE_CLASS_CHANGE:
        incompatible_class_change_message(op1, op2, buffer);
        break;
    case SWX_ILLEGAL_ACCESS:
        if (op1 != 0) {
            const methodblock* mb = reinterpret_cast<const methodblock*>(op1);
            vm.jio_snprintf(buffer, length, "access non-public method %s.%s through an interface",
                              mb->clazz->name, mb->name);
        }
        break;
    default:
        break;
    }
}

// Makes the exception pending with its message, unless one is pending
// already (a thrown object is never replaced).
void make_exception_object(EE* ee, u4 code, u4 op1, u4 op2, classblock* cls)
{
    if (ee->exception != 0 || cls == nullptr)
        return;
    char message[MESSAGE_LENGTH];
    make_exception_message(ee, code, op1, op2, message, MESSAGE_LENGTH);
    vm.SignalError(ee, cls->name, message[0] != '\0' ? message : nullptr);
}

void _orva_ReleaseMonitors(u4* head, EE* ee, int synchronized_flag)
{
    u4 kind = ee->exception_kind;
    u4 object = ee->exception;
    ee->exception_kind = 0;
    for (const monitor_node* n = reinterpret_cast<const monitor_node*>(*head); n != nullptr; n = n->next)
        vm.monitorExit2(ee, n->object);
    *head = 0;
    if (ee->exception_kind != 0)
        THROW_EXCEPTION_THROWN();       // a monitor exit threw: raise it from here
    ee->exception_kind = kind;
    ee->exception = object;
}

// The compiled method's block-level catch table, hooked on the VM's first
// exception-table entry; its own third word leads to the catch-frame
// directory.  The VM's table is not the catch frame: its third word is this
// hook, so reading it as the directory took handler counts from block numbers.
namespace {
void* catch_frame_of(const methodblock* mb)
{
    if (mb->exception_table == nullptr || mb->exception_table_length == 0)
        return nullptr;
    return reinterpret_cast<void*>(reinterpret_cast<const exception_entry*>(mb->exception_table)[0].compiled_table);
}
} // namespace

void unwind_frames_restore_context(frame_iterator* it, exception_context* context, rcc* target)
{
    while (fi_more(it)) {
        if (it->committed_code == target)
            return;
        if (it->committed_code == nullptr) {
            while (fi_more(it) && it->committed_code == nullptr)
                fi_prev(it);
            if (!fi_more(it))
                return;
            u4 f = it->frame;
            context->ebp = word_at(f - 4);
            context->ebx = word_at(f - 12);
            context->esi = word_at(f - 28);
            context->edi = word_at(f - 32);
            if (it->committed_code == target)
                return;
        }
        rcc* left = static_cast<rcc*>(it->committed_code);
        bool was_compiled = it->kind != FIK_INLINED;
        fi_prev(it);
        if (left != nullptr && was_compiled && (left->md[0] & 0xFFFFFF) != 0 && it->frame != 0)
            restore_callee_saved_regs_to_context(it->frame - (left->md[0] & 0xFFFFFF), left->md, context);
    }
}

__attribute__((force_align_arg_pointer)) s4
_orva_ExceptionFilter(exception_record* record, u4 p, exception_context* context, search_state* state)
{
    if (recover_continuable_fault(record, context))
        return XF_HANDLED;
    if (check_exception_origin(record->code, record->address) != 1)
        return XF_NOT_OURS;
    rcc* code = sccc0 != nullptr ? sccc0(word_at(p + REG_HANDLER))
                                 : search_committed_code0(word_at(p + REG_HANDLER));
    if (code == nullptr)
        return XF_NOT_CAUGHT;           // not a registration of ours
    methodblock* mb = code->mb;
    s4 try_index = static_cast<s4>(word_at(p + CREG_TRY_INDEX));
    EE* ee = reinterpret_cast<EE*>(word_at(p + REG_EE));
    u4 op1 = 0, op2 = 0;
    get_exception_operands(record->code, context, &op1, &op2);
    classblock* cls = exception_class(ee, record, context, state, &op1, &op2, true);
    u4 needs_object = 0;
    u4 catch_pc = testCatcher(try_index, catch_frame_of(mb), 0, cls, &needs_object);
    release_monitor_list(p, ee, 0);
    if (catch_pc == 0)
        return XF_NOT_CAUGHT;
    if (jvmpi_exit_events())
        post_method_exits(ee, p + CREG_BOUND, false);
    if (needs_object) {
        op1 = op2 = 0;
        get_exception_operands(record->code, context, &op1, &op2);
        fault_to_array_bounds_exception(ee, record, context, &op1, &op2);
        make_exception_object(ee, record->code, op1, op2, cls);
    }
    resume_in_compiled(ee, p, context, code, catch_pc);
    if (jit_unwind_stack) {
        rcc* target = sccc0 != nullptr ? sccc0(catch_pc) : search_committed_code0(catch_pc);
        unwind_frames_restore_context(&state->it, context, target);
    }
    return XF_HANDLED;
}

__attribute__((force_align_arg_pointer)) s4
_jvm_ExceptionFilter(exception_record* record, u4 p, exception_context* context, search_state* state)
{
    if (recover_continuable_fault(record, context))
        return XF_HANDLED;
    if (check_exception_origin(record->code, record->address) != 1)
        return XF_NOT_OURS;
    EE* ee = reinterpret_cast<EE*>(word_at(p + REG_EE));
    methodblock* mb = reinterpret_cast<methodblock*>(word_at(p + REG_METHOD));
    u4 op1 = 0, op2 = 0;
    get_exception_operands(record->code, context, &op1, &op2);
    classblock* cls = exception_class(ee, record, context, state, &op1, &op2, false);
    int needs_object = 0;
    u4 handler = vm.mmipExceptionMethodHandler(ee, word_at(p + REG_STATE), mb, cls, &needs_object);
    release_monitor_list(p, ee, mb->access & ACC_SYNCHRONIZED);
    if (handler == 0)
        return XF_NOT_CAUGHT;
    if (jvmpi_exit_events())
        post_method_exits(ee, p + REG_BOUND, true);
    if (needs_object)
        make_exception_object(ee, record->code, op1, op2, cls);
    ee->exception_kind = 0;
    fi_set_mode(ee, EE_MODE_INTERPRETER);
    context->control_word = java_control_word();
    context->eip = reinterpret_cast<u4>(vm.mmipExceptionExecuteRestart);
    context->esi = handler;
    context->ebp = p + REG_SAVE_EIP;
    context->esp = word_at(p + REG_RESUME);
    context->eax = ee->exception;
    return XF_HANDLED;
}

__attribute__((force_align_arg_pointer)) s4
_jvm_ExceptionFilter0(exception_record* record, u4 p, exception_context* context, search_state* state)
{
    if (CheckNonContinueable(record))
        return XF_NOT_OURS;
    if (recover_continuable_fault(record, context))
        return XF_HANDLED;
    if (check_exception_origin(record->code, record->address) != 1)
        return XF_NOT_OURS;
    EE* ee = reinterpret_cast<EE*>(word_at(p + REG_EE));
    if (jvmpi_exit_events())
        post_method_exits(ee, p + REG_BOUND, true);
    u4 op1 = 0, op2 = 0;
    get_exception_operands(record->code, context, &op1, &op2);
    classblock* cls = exception_class(ee, record, context, state, &op1, &op2, false);
    release_monitor_list(p, ee, 0);
    make_exception_object(ee, record->code, op1, op2, cls);
    fi_set_mode(ee, EE_MODE_INTERPRETER);
    context->control_word = java_control_word();
    context->eip = word_at(p + REG_RESUME);
    context->ebp = p + REG_SAVE_EIP;
    context->esp = p + REG_RESUME;
    return XF_HANDLED;
}

}  // extern "C"
